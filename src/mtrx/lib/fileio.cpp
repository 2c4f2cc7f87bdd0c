// src/mtrx/lib/fileio.cpp: low-level file input and output: fopen, fclose,
// fgetl, fgets, fscanf, sscanf, fread, fwrite, the position functions,
// fileread, type and textscan, over the session's table of open files.
#include "lib/files.h"

#include "evaluator.h"
#include "format.h"
#include "lib/options.h"
#include "lib/support.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <unistd.h>

namespace mtrx {

namespace km = kiv::matrix;
namespace fs = std::filesystem;

// ---------------------------------------------------------------- the table

FileTable::FileTable() {
    m_standard[0] = {stdin, "\"stdin\"", "r", false, true, false, ""};
    m_standard[1] = {nullptr, "\"stdout\"", "w", false, false, true, ""};
    m_standard[2] = {nullptr, "\"stderr\"", "w", false, false, true, ""};
}

FileTable::~FileTable() { CloseAll(); }

int FileTable::Open(const std::string &path, const std::string &mode,
                    const std::string &permission, bool bigEndian, std::string &message) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        message = "Is a directory";
        return -1;
    }
    std::FILE *f = std::fopen(path.c_str(), mode.c_str());
    if (!f) {
        message = std::strerror(errno);
        return -1;
    }
    int fid = 3;
    while (m_files.count(fid)) ++fid;
    OpenFile &file = m_files[fid];
    file.stream = f;
    file.name = path;
    file.permission = permission;
    file.big_endian = bigEndian;
    file.readable = mode[0] == 'r' || mode.find('+') != std::string::npos;
    file.writable = mode[0] != 'r' || mode.find('+') != std::string::npos;
    message.clear();
    return fid;
}

bool FileTable::Close(int fid) {
    auto it = m_files.find(fid);
    if (it == m_files.end()) return false;
    std::fclose(it->second.stream);
    m_files.erase(it);
    return true;
}

void FileTable::CloseAll() {
    for (auto &entry : m_files) std::fclose(entry.second.stream);
    m_files.clear();
}

OpenFile *FileTable::Find(double fid) {
    if (!(fid >= 0 && fid < 2147483647.0) || fid != std::floor(fid)) return nullptr;
    const int k = static_cast<int>(fid);
    if (k < 3) return &m_standard[k];
    auto it = m_files.find(k);
    return it == m_files.end() ? nullptr : &it->second;
}

std::vector<int> FileTable::Identifiers() const {
    std::vector<int> out;
    for (const auto &entry : m_files) out.push_back(entry.first);
    return out;
}

FileTable &FilesOf(Evaluator &evaluator) { return evaluator.Files(); }

void ChargeWrite(BuiltinCall &c, std::size_t bytes) {
#ifdef MTRX_FILE_SANDBOX
    // Generated programs loop: bound what one of them may put on the disk.
    std::size_t &written = FilesOf(c.evaluator).written;
    if (bytes > kSandboxWriteLimit - std::min(written, kSandboxWriteLimit))
        throw Error("'" + c.name + "': this build writes at most 16 MiB in a session");
    written += bytes;
#else
    (void)c;
    (void)bytes;
#endif
}

std::string CheckedPath(const std::string &name, const std::string &who) {
    if (name.empty()) throw Error("'" + who + "' needs a file name, not an empty text");
    if (name.find('\0') != std::string::npos)
        throw Error("'" + who + "': a file name cannot hold a NUL character");
#ifdef MTRX_FILE_SANDBOX
    // The fuzz build runs generated programs: they reach only plain names
    // below the working folder (tools/fuzz.sh runs in an empty temporary one).
    const fs::path p(name);
    bool inside = p.is_relative();
    for (const fs::path &part : p) inside = inside && part != "..";
    if (!inside)
        throw Error("'" + who + "': this build reaches only files below the working folder");
#endif
    return name;
}

std::string ReadWholeFile(const std::string &path, const std::string &who) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw Error("'" + who + "': cannot open '" + path + "': it is a folder");
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) throw Error("'" + who + "': cannot open '" + path + "': " + std::strerror(errno));
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) throw Error("'" + who + "': cannot read '" + path + "'");
    return bytes;
}

void ReplaceFile(const std::string &path, const std::string &bytes, const std::string &who) {
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> buffer(temp.begin(), temp.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0)
        throw Error("'" + who + "': cannot write '" + path + "': " + std::strerror(errno));
    temp = buffer.data();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const int reason = errno;
    const bool closed = ::close(fd) == 0;
    if (done != bytes.size() || !closed) {
        std::remove(temp.c_str());
        throw Error("'" + who + "': cannot write '" + path + "': " + std::strerror(reason));
    }
    // A new file gets the usual permissions, not mkstemp's private ones.
    std::error_code ec;
    const fs::file_status old = fs::status(target, ec);
    fs::permissions(temp,
                    fs::exists(old) ? old.permissions()
                                    : fs::perms::owner_read | fs::perms::owner_write |
                                          fs::perms::group_read | fs::perms::others_read,
                    ec);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int why = errno;
        std::remove(temp.c_str());
        throw Error("'" + who + "': cannot write '" + path + "': " + std::strerror(why));
    }
}

namespace {

const char kInvalidFid[] =
    "Invalid file identifier.  Use fopen to generate a valid file identifier.";

// The file of argument k: an open identifier, or the error every file
// function gives for a closed or unknown one.
OpenFile &FileArg(const Args &args, std::size_t k, BuiltinCall &c) {
    double fid = 0;
    if (!args[k].RealScalar(fid)) {
        if (!args[k].IsArray() || args[k].array().Numel() != 1 || IsChar(args[k].array()) ||
            IsCell(args[k].array()))
            throw Error(kInvalidFid);
        fid = km::mxGetScalar(args[k].array().get());
    }
    OpenFile *file = FilesOf(c.evaluator).Find(fid);
    if (!file) throw Error(kInvalidFid);
    return *file;
}

// A file's name in a message: in quotes, unless it is "stdin" and its kin,
// which carry their own.
std::string Quoted(const std::string &name) {
    return !name.empty() && name[0] == '"' ? name : "'" + name + "'";
}

// The stream of a file opened for reading.
std::FILE *ReadStream(OpenFile &file, const std::string &who, BuiltinCall &c) {
    if (!file.stream || !file.readable)
        throw Error("'" + who + "': " + Quoted(file.name) + " is not open for reading");
#ifdef MTRX_FILE_SANDBOX
    if (file.stream == stdin) throw Error("'" + who + "': this build does not read standard input");
#endif
    (void)c;
    return file.stream;
}

// Writes bytes to a file open for writing, the display for 1, the error
// stream for 2. False when the file took fewer.
bool WriteTo(OpenFile &file, const std::string &bytes, const std::string &who, BuiltinCall &c) {
    if (&file == FilesOf(c.evaluator).Find(1)) {
        c.display << bytes;
        return true;
    }
    if (&file == FilesOf(c.evaluator).Find(2)) {
        c.display.flush();
        std::cerr << bytes;
        return true;
    }
    if (!file.stream || !file.writable)
        throw Error("'" + who + "': " + Quoted(file.name) + " is not open for writing");
    ChargeWrite(c, bytes.size());
    // Between a read and a write the C stream needs a positioning call.
    std::fseek(file.stream, 0, SEEK_CUR);
    return std::fwrite(bytes.data(), 1, bytes.size(), file.stream) == bytes.size();
}

}  // namespace

double PrintToFile(const Args &args, BuiltinCall &c, const std::string &text) {
    OpenFile &file = FileArg(args, 0, c);
    return WriteTo(file, text, "fprintf", c) ? static_cast<double>(text.size()) : 0.0;
}

namespace {

// The byte order a machine format names: true for big-endian.
bool BigEndian(const std::string &format, const std::string &who) {
    std::string f = format;
    f = LowerWord(f);
    if (f == "n" || f == "native" || f == "l" || f == "ieee-le" || f == "ieee-le.l64" || f == "a" ||
        f == "s")
        return f == "s";
    if (f == "b" || f == "ieee-be" || f == "ieee-be.l64") return true;
    throw Error("'" + who + "': unknown machine format '" + format +
                "': use 'native', 'ieee-le' or 'ieee-be'");
}

// fid = fopen(name, permission, machinefmt, encoding), [fid, msg] = ...,
// fids = fopen('all'), [name, permission, machinefmt, encoding] = fopen(fid).
Outs Fopen(const Args &args, BuiltinCall &c) {
    FileTable &table = FilesOf(c.evaluator);
    if (!args.IsText(0)) {
        if (args.size() > 1) throw Error("Too many input arguments for 'fopen'");
        OpenFile *file = nullptr;
        double fid = 0;
        if (args[0].RealScalar(fid)) file = table.Find(fid);
        if (!file) return {Value(CharArray("")), Value(CharArray("")), Value(CharArray("")), Value(CharArray(""))};
        return {Value(CharArray(file->name)), Value(CharArray(file->permission)),
                Value(CharArray(file->big_endian ? "ieee-be" : "ieee-le")),
                Value(CharArray("UTF-8"))};
    }
    const std::string name = args.GetText(0);
    if (name == "all" && args.size() == 1) {
        const std::vector<int> fids = table.Identifiers();
        Array out = Array::Zeros(1, static_cast<unsigned int>(fids.size()));
        if (fids.empty()) out = Array::Zeros(0, 0);
        for (std::size_t k = 0; k < fids.size(); ++k) out.MutableData().begin()[k] = fids[k];
        return {out};
    }
    std::string permission = args.GetText(1, "r");
    std::string mode;
    std::string kind;
    for (char ch : permission) {
        if (ch == 't' || ch == 'b') {
            kind = ch;
        } else {
            mode += ch;
        }
    }
    static const char *const kModes[] = {"r", "w", "a", "r+", "w+", "a+"};
    if (std::find_if(std::begin(kModes), std::end(kModes),
                     [&](const char *m) { return mode == m; }) == std::end(kModes) ||
        permission.size() > mode.size() + 1)
        throw Error("'fopen': invalid permission '" + permission +
                    "': use r, w, a, r+, w+ or a+, with t or b");
    const bool big = args.Has(2) && BigEndian(args.GetText(2), "fopen");
    if (args.Has(3)) {
        std::string enc = args.GetText(3);
        std::transform(enc.begin(), enc.end(), enc.begin(), [](unsigned char ch) { return std::toupper(ch); });
        if (enc != "UTF-8" && enc != "UTF8")
            throw Error("'fopen': only the UTF-8 encoding is supported, not '" + args.GetText(3) + "'");
    }
    std::string message;
    const int fid = table.Open(CheckedPath(name, "fopen"), mode + "b",
                               kind == "t" ? permission : mode.substr(0, 1) + "b" + mode.substr(1),
                               big, message);
    return {Value(static_cast<double>(fid)), Value(CharArray(message))};
}

// fclose(fid), fclose('all'): 0.
Outs Fclose(const Args &args, BuiltinCall &c) {
    FileTable &table = FilesOf(c.evaluator);
    if (args.IsText(0)) {
        if (args.GetText(0) != "all") args.Refuse(0, "a file identifier or 'all'");
        table.CloseAll();
        return {Value(0.0)};
    }
    const OpenFile &file = FileArg(args, 0, c);
    double fid = 0;
    if (!args[0].RealScalar(fid)) fid = km::mxGetScalar(args[0].array().get());
    // Standard input, output and error stay open.
    if (fid >= 3 && !table.Close(static_cast<int>(fid))) throw Error(kInvalidFid);
    (void)file;
    return {Value(0.0)};
}

// One line of the file, with its newline when `keep`, or -1 at the end.
Value ReadLine(const Args &args, BuiltinCall &c, bool keep) {
    std::FILE *f = ReadStream(FileArg(args, 0, c), c.name, c);
    std::size_t limit = std::numeric_limits<std::size_t>::max();
    if (keep && args.Has(1)) {
        const double n = args.GetScalar(1);
        if (!(n >= 1)) args.Refuse(1, "a count of characters from 1 up");
        if (n < 1e15) limit = static_cast<std::size_t>(n);
    }
    std::string line;
    int ch = EOF;
    bool any = false;
    while (line.size() < limit && (ch = std::fgetc(f)) != EOF) {
        any = true;
        if (ch == '\n') {
            if (keep) line += '\n';
            break;
        }
        line += static_cast<char>(ch);
    }
    if (!any) return Value(-1.0);
    return Value(CharArray(line));
}

Outs Fgetl(const Args &args, BuiltinCall &c) { return {ReadLine(args, c, false)}; }

Outs Fgets(const Args &args, BuiltinCall &c) { return {ReadLine(args, c, true)}; }

// The remaining bytes of a readable stream; its position moves to the end.
std::string ReadRest(std::FILE *f) {
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    return bytes;
}

// ------------------------------------------------------------- the scanner

// One piece of a scan format: a conversion, a literal character, or a run of
// white space (matching any run, none included).
struct ScanItem {
    enum Kind { kLiteral, kSpace, kConversion } kind = kLiteral;
    char literal = 0;
    char type = 0;  // d i u o x f e g s c, or n (textscan's any number)
    bool skip = false;
    std::size_t width = 0;  // 0: none
    std::string bits;       // textscan: the class suffix of %d8 ... %u64, %f32
};

std::vector<ScanItem> ParseScanFormat(const std::string &format, const std::string &who,
                                      bool textscan) {
    std::vector<ScanItem> items;
    for (std::size_t k = 0; k < format.size(); ++k) {
        const char ch = format[k];
        ScanItem item;
        if (ch == '\\' && k + 1 < format.size() && std::strchr("ntr\\", format[k + 1])) {
            ++k;
            item.kind = ScanItem::kSpace;
            if (format[k] == '\\') {
                item.kind = ScanItem::kLiteral;
                item.literal = '\\';
            }
        } else if (std::isspace(static_cast<unsigned char>(ch))) {
            item.kind = ScanItem::kSpace;
        } else if (ch == '%' && k + 1 < format.size() && format[k + 1] == '%') {
            item.literal = '%';
            ++k;
        } else if (ch == '%') {
            item.kind = ScanItem::kConversion;
            ++k;
            if (k < format.size() && format[k] == '*') {
                item.skip = true;
                ++k;
            }
            while (k < format.size() && std::isdigit(static_cast<unsigned char>(format[k]))) {
                item.width = std::min<std::size_t>(item.width * 10 + (format[k] - '0'), 1u << 30);
                ++k;
            }
            // Precision digits (%5.2f) only bound the width for reading.
            if (k < format.size() && format[k] == '.') {
                ++k;
                while (k < format.size() && std::isdigit(static_cast<unsigned char>(format[k]))) ++k;
            }
            while (k < format.size() && std::strchr("lhL", format[k])) ++k;
            if (k >= format.size() || !std::strchr(textscan ? "dufsncq" : "diuoxfegsc", format[k]))
                throw Error("'" + who + "': unsupported conversion in the format '" + format + "'");
            item.type = format[k];
            if (item.type == 'q') item.type = 's';
            if (textscan) {
                while (k + 1 < format.size() && std::isdigit(static_cast<unsigned char>(format[k + 1])))
                    item.bits += format[++k];
                if (!item.bits.empty() &&
                    !((item.type == 'f' && (item.bits == "32" || item.bits == "64")) ||
                      ((item.type == 'd' || item.type == 'u') &&
                       (item.bits == "8" || item.bits == "16" || item.bits == "32" ||
                        item.bits == "64"))))
                    throw Error("'" + who + "': unsupported conversion in the format '" + format + "'");
            }
        } else {
            item.literal = ch;
        }
        if (item.kind == ScanItem::kSpace && !items.empty() && items.back().kind == ScanItem::kSpace)
            continue;
        items.push_back(item);
    }
    return items;
}

bool IsBlank(char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; }

// Reads a number of `type` at text[at...] within `width` characters (0: any):
// true with the value and `at` past it.
bool ScanNumber(const std::string &text, std::size_t &at, char type, std::size_t width,
                double &value) {
    const std::size_t end = width ? std::min(text.size(), at + width) : text.size();
    std::size_t k = at;
    std::string digits;
    if (k < end && (text[k] == '+' || text[k] == '-')) digits += text[k++];
    if (type == 'f' || type == 'e' || type == 'g' || type == 'n') {
        // Inf and NaN by name, any case.
        for (const char *word : {"inf", "nan"}) {
            if (end - k >= 3 && strncasecmp(text.c_str() + k, word, 3) == 0) {
                value = word[0] == 'i' ? HUGE_VAL : std::nan("");
                if (digits == "-") value = -value;
                at = k + 3;
                return true;
            }
        }
        std::size_t mantissa = 0;
        while (k < end && std::isdigit(static_cast<unsigned char>(text[k]))) digits += text[k++], ++mantissa;
        if (k < end && text[k] == '.') {
            digits += text[k++];
            while (k < end && std::isdigit(static_cast<unsigned char>(text[k]))) digits += text[k++], ++mantissa;
        }
        if (mantissa == 0) return false;
        if (k < end && (text[k] == 'e' || text[k] == 'E' || text[k] == 'd' || text[k] == 'D')) {
            std::size_t j = k + 1;
            std::string exponent = "e";
            if (j < end && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
            if (j < end && std::isdigit(static_cast<unsigned char>(text[j]))) {
                while (j < end && std::isdigit(static_cast<unsigned char>(text[j]))) exponent += text[j++];
                digits += exponent;
                k = j;
            }
        }
        value = std::strtod(digits.c_str(), nullptr);
        at = k;
        return true;
    }
    const int base = type == 'x' ? 16 : type == 'o' ? 8 : 10;
    std::size_t count = 0;
    double v = 0;
    while (k < end) {
        const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(text[k])));
        int d = -1;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        if (d < 0 || d >= base) break;
        v = v * base + d;
        ++k;
        ++count;
    }
    if (count == 0) return false;
    value = digits == "-" ? -v : v;
    at = k;
    return true;
}

// What fscanf and sscanf read: the values, how many conversions matched, the
// characters consumed, and whether every conversion was a text one.
struct Scanned {
    std::vector<double> values;
    std::size_t count = 0;
    std::size_t consumed = 0;
    bool text_only = true;
    bool mismatch = false;
};

Scanned Scan(const std::string &text, const std::string &format, std::size_t limit,
             const std::string &who) {
    const std::vector<ScanItem> items = ParseScanFormat(format, who, false);
    Scanned out;
    bool anyConversion = false;
    for (const ScanItem &item : items) {
        if (item.kind == ScanItem::kConversion && !item.skip) {
            anyConversion = true;
            if (item.type != 's' && item.type != 'c') out.text_only = false;
        }
    }
    if (!anyConversion) out.text_only = false;
    std::size_t at = 0;
    bool stop = items.empty();
    while (!stop) {
        const std::size_t cycleStart = at;
        for (const ScanItem &item : items) {
            if (item.kind == ScanItem::kSpace) {
                while (at < text.size() && IsBlank(text[at])) ++at;
                continue;
            }
            if (item.kind == ScanItem::kLiteral) {
                if (at < text.size() && text[at] == item.literal) {
                    ++at;
                    continue;
                }
                out.mismatch = at < text.size();
                stop = true;
                break;
            }
            if (out.values.size() >= limit) {
                stop = true;
                break;
            }
            if (item.type != 'c')
                while (at < text.size() && IsBlank(text[at])) ++at;
            if (at >= text.size()) {
                stop = true;
                break;
            }
            if (item.type == 's' || item.type == 'c') {
                const std::size_t width = item.width ? item.width : (item.type == 'c' ? 1 : text.size());
                const std::size_t from = at;
                while (at < text.size() && at - from < width && (item.type == 'c' || !IsBlank(text[at])))
                    ++at;
                if (!item.skip) {
                    // Characters as their UTF-16 code units.
                    const Array chars = CharArray(text.substr(from, at - from));
                    const std::uint16_t *units = static_cast<const std::uint16_t *>(chars.get()->GetPr());
                    for (unsigned int k = 0; k < chars.Numel() && out.values.size() < limit; ++k)
                        out.values.push_back(units[k]);
                    ++out.count;
                }
                continue;
            }
            double value = 0;
            if (!ScanNumber(text, at, item.type, item.width, value)) {
                out.mismatch = true;
                stop = true;
                break;
            }
            if (!item.skip) {
                out.values.push_back(value);
                ++out.count;
            }
        }
        if (at >= text.size() || at == cycleStart || !anyConversion) stop = true;
    }
    out.consumed = at;
    return out;
}

// The size argument of fscanf and fread: the largest number of elements,
// and the rows of the result (0: a column of what was read).
void SizeArg(const Args &args, std::size_t k, std::size_t &limit, double &rows, double &cols) {
    limit = std::numeric_limits<std::size_t>::max();
    rows = 0;
    cols = HUGE_VAL;
    if (!args.Has(k)) return;
    const Array &a = args.GetArray(k);
    const auto count = [&](double v, bool infOk) {
        if (std::isnan(v) || v < 0 || (v != std::floor(v) && !std::isinf(v)) || (std::isinf(v) && !infOk))
            args.Refuse(k, "a size: n, Inf or [m n] of whole numbers (n may be Inf)");
        return v;
    };
    if (a.Numel() == 1 && !IsChar(a) && !IsCell(a)) {
        const double n = count(km::mxGetScalar(a.get()), true);
        if (!std::isinf(n)) limit = static_cast<std::size_t>(std::min(n, 9e15));
        return;
    }
    if (a.Numel() != 2 || IsChar(a) || IsCell(a) || IsComplex(a))
        args.Refuse(k, "a size: n, Inf or [m n] of whole numbers (n may be Inf)");
    const Array d = Array::Adopt(km::Cast(a.get(), km::mxClassDouble));
    rows = count(d.Data()[0], false);
    cols = count(d.Data()[1], true);
    // The rows become an array dimension.
    if (rows > 4294967295.0) args.Refuse(k, "a size whose rows fit in 32 bits");
    if (!std::isinf(cols)) limit = static_cast<std::size_t>(std::min(rows * cols, 9e15));
    if (rows == 0) limit = 0;
}

// The values in a column, or `rows` rows filled column by column, the last
// column padded with zeros.
Array Shaped(const std::vector<double> &values, double rows) {
    const std::size_t n = values.size();
    if (rows <= 0) {
        Array out = Array::Zeros(static_cast<unsigned int>(n), n ? 1 : 0);
        std::copy(values.begin(), values.end(), out.MutableData().begin());
        return out;
    }
    const unsigned int m = static_cast<unsigned int>(rows);
    const unsigned int cols = static_cast<unsigned int>((n + m - 1) / m);
    Array out = Array::Zeros(m, cols);
    std::copy(values.begin(), values.end(), out.MutableData().begin());
    return out;
}

// The output of fscanf and sscanf: a char row when every conversion is %s
// or %c and no size shapes it, else doubles.
Value ScanResult(const Scanned &s, double rows, bool sized) {
    if (s.text_only && !sized) {
        Array out = Array::Adopt(km::mxCreateNumericArray(
            2, std::vector<unsigned int>{1, static_cast<unsigned int>(s.values.size())}.data(),
            km::mxClassChar, km::mxComplexityReal));
        if (s.values.empty()) out = Array::Adopt(km::mxCreateString(""));
        std::uint16_t *units = static_cast<std::uint16_t *>(out.get()->GetPr());
        for (std::size_t k = 0; k < s.values.size(); ++k) units[k] = static_cast<std::uint16_t>(s.values[k]);
        return Value(out);
    }
    if (s.values.empty()) return Value(Array::Zeros(0, 0));
    return Value(Shaped(s.values, rows));
}

std::string ScanMessage(const Scanned &s) { return s.mismatch ? "Matching failure in format." : ""; }

// [A, count, errmsg] = fscanf(fid, format, size): the file's position moves
// past what was read.
Outs Fscanf(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    std::FILE *f = ReadStream(file, "fscanf", c);
    const std::string format = args.GetText(1);
    std::size_t limit;
    double rows, cols;
    SizeArg(args, 2, limit, rows, cols);
    const long start = std::ftell(f);
    const std::string text = ReadRest(f);
    const Scanned s = Scan(text, format, limit, "fscanf");
    if (start >= 0) std::fseek(f, start + static_cast<long>(s.consumed), SEEK_SET);
    return {ScanResult(s, rows, args.Has(2)), Value(static_cast<double>(s.count)),
            Value(CharArray(ScanMessage(s)))};
}

// [A, count, errmsg, nextindex] = sscanf(text, format, size).
Outs Sscanf(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) args.Refuse(0, "text");
    const std::string text = args.GetText(0);
    const std::string format = args.GetText(1);
    std::size_t limit;
    double rows, cols;
    SizeArg(args, 2, limit, rows, cols);
    const Scanned s = Scan(text, format, limit, "sscanf");
    // nextindex counts characters, not UTF-8 bytes.
    const double next = static_cast<double>(CharArray(text.substr(0, s.consumed)).Numel()) + 1;
    return {ScanResult(s, rows, args.Has(2)), Value(static_cast<double>(s.count)),
            Value(CharArray(ScanMessage(s))), Value(next)};
}

// ---------------------------------------------------------- binary reading

// A precision of fread and fwrite: the class and width in the file, and the
// class of fread's result.
struct Precision {
    km::mxClassID source = km::mxClassUint8;
    std::size_t bytes = 1;
    km::mxClassID out = km::mxClassDouble;
    std::size_t block = 1;  // N of 'N*type': elements between skips
    bool char8 = false;     // 'char': 8-bit codes that become char units
};

bool SourceNamed(std::string name, Precision &p) {
    struct Named {
        const char *name;
        km::mxClassID id;
        std::size_t bytes;
    };
    static const Named kNames[] = {
        {"uint8", km::mxClassUint8, 1},   {"uchar", km::mxClassUint8, 1},
        {"unsigned char", km::mxClassUint8, 1}, {"int8", km::mxClassInt8, 1},
        {"schar", km::mxClassInt8, 1},    {"signed char", km::mxClassInt8, 1},
        {"integer*1", km::mxClassInt8, 1}, {"uint16", km::mxClassUint16, 2},
        {"ushort", km::mxClassUint16, 2}, {"int16", km::mxClassInt16, 2},
        {"short", km::mxClassInt16, 2},   {"integer*2", km::mxClassInt16, 2},
        {"uint32", km::mxClassUint32, 4}, {"uint", km::mxClassUint32, 4},
        {"ulong", km::mxClassUint32, 4},  {"int32", km::mxClassInt32, 4},
        {"int", km::mxClassInt32, 4},     {"long", km::mxClassInt32, 4},
        {"integer*4", km::mxClassInt32, 4}, {"uint64", km::mxClassUint64, 8},
        {"int64", km::mxClassInt64, 8},   {"integer*8", km::mxClassInt64, 8},
        {"single", km::mxClassSingle, 4}, {"float32", km::mxClassSingle, 4},
        {"float", km::mxClassSingle, 4},  {"real*4", km::mxClassSingle, 4},
        {"double", km::mxClassDouble, 8}, {"float64", km::mxClassDouble, 8},
        {"real*8", km::mxClassDouble, 8}, {"char", km::mxClassChar, 1},
        {"char*1", km::mxClassChar, 1},
    };
    while (!name.empty() && name.back() == ' ') name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    for (const Named &n : kNames) {
        if (name == n.name) {
            p.char8 = n.id == km::mxClassChar;
            p.source = p.char8 ? km::mxClassUint8 : n.id;
            p.bytes = n.bytes;
            return true;
        }
    }
    return false;
}

Precision ParsePrecision(const std::string &text, const std::string &who, bool reading) {
    Precision p;
    std::string rest = text;
    const std::size_t star = rest.find('*');
    if (star != std::string::npos && star > 0 &&
        std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(star),
                    [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); })) {
        p.block = static_cast<std::size_t>(std::min(std::atof(rest.substr(0, star).c_str()), 1e9));
        if (p.block == 0) p.block = 1;
        rest = rest.substr(star + 1);
    }
    bool same = false;
    std::string outName;
    if (!rest.empty() && rest[0] == '*') {
        same = true;
        rest = rest.substr(1);
    }
    const std::size_t arrow = rest.find("=>");
    if (arrow != std::string::npos) {
        outName = rest.substr(arrow + 2);
        rest = rest.substr(0, arrow);
    }
    if (!SourceNamed(rest, p))
        throw Error("'" + who + "': unknown precision '" + text + "'");
    if (!reading) return p;
    if (same) {
        p.out = p.char8 ? km::mxClassChar : p.source;
    } else if (!outName.empty()) {
        Precision o;
        if (!SourceNamed(outName, o)) throw Error("'" + who + "': unknown precision '" + text + "'");
        p.out = o.char8 ? km::mxClassChar : o.source;
    }
    return p;
}

void Swap(unsigned char *bytes, std::size_t width) { std::reverse(bytes, bytes + width); }

bool HostBigEndian() {
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 0;
}

// Reads one character of UTF-8 text from f as UTF-16 units into `units`
// (two for a character beyond U+FFFF, none at the end of the file); bytes
// that are not UTF-8 give U+FFFD each. Returns the count of bytes read.
std::size_t ReadUtf8Char(std::FILE *f, std::vector<std::uint16_t> &units) {
    const int lead = std::fgetc(f);
    if (lead == EOF) return 0;
    const auto b = static_cast<unsigned char>(lead);
    int more = 0;
    std::uint32_t code = b;
    if (b >= 0xC2 && b <= 0xDF) {
        more = 1;
        code = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        more = 2;
        code = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3;
        code = b & 0x07u;
    } else if (b >= 0x80) {
        units.push_back(0xFFFD);
        return 1;
    }
    std::size_t used = 1;
    for (int k = 0; k < more; ++k) {
        const int next = std::fgetc(f);
        if (next == EOF || (next & 0xC0) != 0x80) {
            if (next != EOF) std::ungetc(next, f);
            units.push_back(0xFFFD);
            return used;
        }
        code = (code << 6) | (static_cast<std::uint32_t>(next) & 0x3Fu);
        ++used;
    }
    const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (code < least[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        units.push_back(0xFFFD);
    } else if (code >= 0x10000) {
        code -= 0x10000;
        units.push_back(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
        units.push_back(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FFu)));
    } else {
        units.push_back(static_cast<std::uint16_t>(code));
    }
    return used;
}

// fread of the 'char' precision: characters of the file's UTF-8 text, each
// element one UTF-16 unit (a character beyond U+FFFF takes two, and is left
// unread when only one place remains); `skip` bytes follow each block.
Array ReadChars(std::FILE *f, std::size_t limit, double rows, const Precision &p, long skip,
                std::size_t &n) {
    std::vector<std::uint16_t> units;
    std::size_t characters = 0;
    while (units.size() < limit) {
        const long at = std::ftell(f);
        const std::size_t before = units.size();
        if (ReadUtf8Char(f, units) == 0) break;
        if (units.size() > limit) {
            units.resize(before);
            std::fseek(f, at, SEEK_SET);
            break;
        }
        ++characters;
        if (skip > 0 && characters % p.block == 0) std::fseek(f, skip, SEEK_CUR);
    }
    n = units.size();
    unsigned int m = static_cast<unsigned int>(n), k = n ? 1 : 0;
    if (rows > 0) {
        m = static_cast<unsigned int>(rows);
        k = n ? static_cast<unsigned int>((n + m - 1) / m) : 0;
    }
    const unsigned int dims[2] = {m, k};
    Array raw = Array::Adopt(km::mxCreateNumericArray(2, dims, km::mxClassChar, km::mxComplexityReal));
    if (n) std::copy(units.begin(), units.end(), static_cast<std::uint16_t *>(raw.get()->GetPr()));
    return p.out == km::mxClassChar ? raw : Array::Adopt(km::Cast(raw.get(), p.out));
}

// [A, count] = fread(fid, size, precision, skip, machinefmt).
Outs Fread(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    std::FILE *f = ReadStream(file, "fread", c);
    std::size_t sizeAt = 1;
    // fread(fid, precision) leaves the size out.
    if (args.Has(1) && args.IsText(1)) sizeAt = args.size();
    std::size_t limit;
    double rows, cols;
    SizeArg(args, sizeAt, limit, rows, cols);
    const std::size_t precAt = sizeAt == 1 ? 2 : 1;
    const Precision p = ParsePrecision(args.Has(precAt) ? args.GetText(precAt) : "uint8", "fread", true);
    double skipValue = args.Has(precAt + 1) ? args.GetScalar(precAt + 1) : 0;
    if (!(skipValue >= 0) || skipValue > 2147483647.0 || skipValue != std::floor(skipValue))
        args.Refuse(precAt + 1, "a count of bytes to skip, a whole number from 0 up");
    const long skip = static_cast<long>(skipValue);
    const bool big = args.Has(precAt + 2) ? BigEndian(args.GetText(precAt + 2), "fread") : file.big_endian;
    if (p.char8) {
        std::size_t n = 0;
        Array out = ReadChars(f, limit, rows, p, skip, n);
        return {out, Value(static_cast<double>(n))};
    }
    std::vector<unsigned char> data;
    std::size_t n = 0;
    unsigned char element[8];
    while (n < limit) {
        const std::size_t got = std::fread(element, 1, p.bytes, f);
        if (got < p.bytes) {
            // A partial element at the end is dropped, as C's reads do.
            break;
        }
        if (big != HostBigEndian()) Swap(element, p.bytes);
        data.insert(data.end(), element, element + p.bytes);
        ++n;
        if (skip > 0 && n % p.block == 0) std::fseek(f, skip, SEEK_CUR);
    }
    unsigned int m = static_cast<unsigned int>(n), k = n ? 1 : 0;
    if (rows > 0) {
        m = static_cast<unsigned int>(rows);
        k = static_cast<unsigned int>((n + m - 1) / m);
    } else if (n == 0) {
        m = 0;
        k = 0;
    }
    if (rows > 0 && n == 0) k = 0;
    const unsigned int dims[2] = {m, k};
    Array raw = Array::Adopt(km::mxCreateNumericArray(2, dims, p.source, km::mxComplexityReal));
    const std::size_t total = static_cast<std::size_t>(m) * k * p.bytes;
    if (total) {
        std::memset(raw.get()->GetPr(), 0, total);
        std::memcpy(raw.get()->GetPr(), data.data(), data.size());
    }
    Array out = p.out == p.source ? raw : Array::Adopt(km::Cast(raw.get(), p.out));
    return {out, Value(static_cast<double>(n))};
}

// count = fwrite(fid, A, precision, skip, machinefmt).
Outs Fwrite(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    Array a;
    if (args[1].tag() == Tag::String) {
        a = CharArray(args.GetText(1));
    } else {
        a = args.GetArray(1);
    }
    if (IsCell(a) || IsComplex(a)) args.Refuse(1, "a real numeric, char or logical array");
    const Precision p = ParsePrecision(args.Has(2) ? args.GetText(2) : "uint8", "fwrite", false);
    const double skipValue = args.Has(3) ? args.GetScalar(3) : 0;
    if (!(skipValue >= 0) || skipValue > 2147483647.0 || skipValue != std::floor(skipValue))
        args.Refuse(3, "a count of bytes to skip, a whole number from 0 up");
    const bool big = args.Has(4) ? BigEndian(args.GetText(4), "fwrite") : file.big_endian;
    if (p.char8) {
        // Characters go through the file's UTF-8 encoding: numbers are
        // character codes, each element one UTF-16 unit.
        const Array units = IsChar(a) ? a : Array::Adopt(km::Cast(a.get(), km::mxClassChar));
        const std::size_t n = units.Numel();
        if (skipValue != 0) throw Error("'fwrite': a skip is not supported with the 'char' precision");
        return {Value(WriteTo(file, Text(units), "fwrite", c) ? static_cast<double>(n) : 0.0)};
    }
    const Array converted = Array::Adopt(km::Cast(a.get(), p.source));
    const unsigned char *bytes = static_cast<const unsigned char *>(converted.get()->GetPr());
    const std::size_t n = converted.Numel();
    const bool swap = big != HostBigEndian();
    std::string text;
    if (skipValue == 0) {
        text.assign(reinterpret_cast<const char *>(bytes), n * p.bytes);
        if (swap)
            for (std::size_t k = 0; k < n; ++k) Swap(reinterpret_cast<unsigned char *>(&text[k * p.bytes]), p.bytes);
        return {Value(WriteTo(file, text, "fwrite", c) ? static_cast<double>(n) : 0.0)};
    }
    // With a skip, each block of elements follows a jump of that many bytes.
    if (!file.stream) throw Error("'fwrite': a skip needs a file, not the display");
    std::size_t written = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k % p.block == 0) {
            ChargeWrite(c, static_cast<std::size_t>(skipValue) + p.bytes);
            std::fseek(file.stream, static_cast<long>(skipValue), SEEK_CUR);
        }
        unsigned char element[8];
        std::memcpy(element, bytes + k * p.bytes, p.bytes);
        if (swap) Swap(element, p.bytes);
        if (std::fwrite(element, 1, p.bytes, file.stream) != p.bytes) break;
        ++written;
    }
    return {Value(static_cast<double>(written))};
}

// --------------------------------------------------------------- positions

Outs Feof(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    if (!file.stream) return {Value(0.0)};
    std::FILE *f = file.stream;
    // At the end already when no byte is left, so that a loop of fgetl
    // until feof stops after the last line.
    if (f == stdin) return {Value(std::feof(f) ? 1.0 : 0.0)};
    const int ch = std::fgetc(f);
    if (ch == EOF) return {Value(1.0)};
    std::ungetc(ch, f);
    return {Value(0.0)};
}

// [message, errnum] = ferror(fid), ferror(fid, 'clear').
Outs Ferror(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    if (args.Has(1)) {
        if (args.GetText(1) != "clear") args.Refuse(1, "'clear'");
        file.error.clear();
        if (file.stream) std::clearerr(file.stream);
    }
    const bool failed = !file.error.empty() || (file.stream && std::ferror(file.stream));
    const std::string text = !file.error.empty() ? file.error : failed ? "Read or write failed." : "";
    return {Value(CharArray(text)), Value(failed ? -1.0 : 0.0)};
}

Outs Frewind(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    if (file.stream) std::rewind(file.stream);
    return {};
}

// status = fseek(fid, offset, origin): 0, or -1 with the reason kept for ferror.
Outs Fseek(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    const double offset = args.GetScalar(1);
    if (offset != std::floor(offset) || std::fabs(offset) > 9e15) args.Refuse(1, "a whole number of bytes");
    int origin = SEEK_SET;
    if (args.Has(2)) {
        if (args.IsText(2)) {
            const std::string o = args.GetText(2);
            if (o == "bof") origin = SEEK_SET;
            else if (o == "cof") origin = SEEK_CUR;
            else if (o == "eof") origin = SEEK_END;
            else args.Refuse(2, "'bof', 'cof', 'eof', -1, 0 or 1");
        } else {
            const double o = args.GetScalar(2);
            if (o == -1) origin = SEEK_SET;
            else if (o == 0) origin = SEEK_CUR;
            else if (o == 1) origin = SEEK_END;
            else args.Refuse(2, "'bof', 'cof', 'eof', -1, 0 or 1");
        }
    } else {
        throw Error("Not enough input arguments for 'fseek'");
    }
    if (!file.stream || file.stream == stdin) return {Value(-1.0)};
    if (std::fseek(file.stream, static_cast<long>(offset), origin) != 0) {
        file.error = "Offset is bad - before beginning-of-file.";
        return {Value(-1.0)};
    }
    return {Value(0.0)};
}

Outs Ftell(const Args &args, BuiltinCall &c) {
    OpenFile &file = FileArg(args, 0, c);
    if (!file.stream || file.stream == stdin) return {Value(-1.0)};
    return {Value(static_cast<double>(std::ftell(file.stream)))};
}

// ------------------------------------------------------------ whole files

Outs Fileread(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) args.Refuse(0, "a file name");
    return {Value(CharArray(ReadWholeFile(CheckedPath(args.GetText(0), "fileread"), "fileread")))};
}

// type NAME shows a file, or NAME.mtrx when NAME has no extension.
Outs Type(const Args &args, BuiltinCall &c) {
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "a file name");
        std::string name = CheckedPath(args.GetText(k), "type");
        std::error_code ec;
        if (!fs::exists(name, ec) && fs::path(name).extension().empty() && fs::exists(name + ".mtrx", ec))
            name += ".mtrx";
        std::string text = ReadWholeFile(name, "type");
        if (!text.empty() && text.back() != '\n') text += '\n';
        c.display << '\n' << text << '\n';
    }
    return {};
}

// C = textscan(fid or text, format, N, 'Delimiter', d, 'HeaderLines', n):
// a cell of one column per conversion.
Outs Textscan(const Args &args, BuiltinCall &c) {
    std::string text;
    std::FILE *f = nullptr;
    long start = 0;
    if (args.IsText(0)) {
        text = args.GetText(0);
    } else {
        f = ReadStream(FileArg(args, 0, c), "textscan", c);
        start = std::ftell(f);
        text = ReadRest(f);
    }
    const std::string format = args.Has(1) ? args.GetText(1) : "%f";
    std::size_t at = 2;
    std::size_t repeat = std::numeric_limits<std::size_t>::max();
    if (args.Has(2) && !args.IsText(2)) {
        const double n = args.GetScalar(2);
        if (std::isnan(n) || (n != std::floor(n) && !std::isinf(n)))
            args.Refuse(2, "a count of repeats (Inf or -1 for all)");
        if (n >= 0 && !std::isinf(n)) repeat = static_cast<std::size_t>(std::min(n, 9e15));
        at = 3;
    }
    std::string delimiters;
    std::size_t header = 0;
    for (; at < args.size(); at += 2) {
        if (!args.IsText(at)) args.Refuse(at, "an option name");
        std::string option = args.GetText(at);
        option = LowerWord(option);
        if (!args.Has(at + 1)) throw Error("'textscan': the option '" + args.GetText(at) + "' needs a value");
        if (option == "delimiter") {
            std::vector<std::string> parts;
            if (args[at + 1].IsCell()) {
                for (const Value &v : args[at + 1].cell().items)
                    parts.push_back(IsText(v) ? Text(v.array()) : std::string());
            } else {
                parts.push_back(args.GetText(at + 1));
            }
            for (const std::string &d : parts) {
                if (d == "\\t") delimiters += '\t';
                else if (d == "\\n") delimiters += '\n';
                else delimiters += d;
            }
        } else if (option == "headerlines") {
            header = args.GetLength(at + 1);
        } else {
            throw Error("'textscan': unknown option '" + args.GetText(at) + "': use 'Delimiter' or 'HeaderLines'");
        }
    }
    const std::vector<ScanItem> items = ParseScanFormat(format, "textscan", true);
    std::size_t pos = 0;
    for (std::size_t h = 0; h < header && pos < text.size(); ++h) {
        const std::size_t nl = text.find('\n', pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
    }
    // One column per kept conversion: numbers, or texts.
    struct Column {
        const ScanItem *item;
        std::vector<double> numbers;
        std::vector<std::string> texts;
    };
    std::vector<Column> columns;
    for (const ScanItem &item : items)
        if (item.kind == ScanItem::kConversion && !item.skip) columns.push_back({&item, {}, {}});
    const auto isDelimiter = [&](char ch) { return !delimiters.empty() && delimiters.find(ch) != std::string::npos; };
    const auto isSpace = [&](char ch) { return (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\b') && !isDelimiter(ch); };
    bool afterDelimiter = false;
    bool stop = columns.empty();
    std::size_t rounds = 0;
    while (!stop && rounds < repeat) {
        const std::size_t roundStart = pos;
        std::size_t column = 0;
        for (const ScanItem &item : items) {
            if (item.kind == ScanItem::kSpace) continue;
            while (pos < text.size() && isSpace(text[pos]) && text[pos] != '\n') ++pos;
            // A delimiter at the end of a line or of the text ends an empty field.
            const bool emptyAtEnd = item.kind == ScanItem::kConversion && afterDelimiter &&
                                    (pos >= text.size() || text[pos] == '\n');
            if (!emptyAtEnd) {
                while (pos < text.size() && isSpace(text[pos])) {
                    if (text[pos] == '\n') afterDelimiter = false;
                    ++pos;
                }
            }
            if (item.kind == ScanItem::kLiteral) {
                if (pos < text.size() && text[pos] == item.literal) {
                    ++pos;
                    // A literal between conversions separates fields as a
                    // delimiter does: one at the end of a line leaves the
                    // next field empty.
                    afterDelimiter = std::any_of(&item + 1, items.data() + items.size(),
                                                 [](const ScanItem &later) {
                                                     return later.kind == ScanItem::kConversion;
                                                 });
                    continue;
                }
                stop = true;
                break;
            }
            if (pos >= text.size() && !emptyAtEnd) {
                stop = true;
                break;
            }
            // A delimiter where a field starts (after another, or at the
            // start of a line) ends an empty field too.
            const bool empty = emptyAtEnd || isDelimiter(text[pos]);
            double value = std::nan("");
            std::string word;
            if (empty && (item.type == 's' || item.type == 'c')) {
                // An empty text field.
            } else if (item.type == 's' || item.type == 'c') {
                const std::size_t from = pos;
                const std::size_t width = item.width ? item.width : (item.type == 'c' ? 1 : text.size());
                while (pos < text.size() && pos - from < width &&
                       (item.type == 'c' || (!isSpace(text[pos]) && !isDelimiter(text[pos]))))
                    ++pos;
                word = text.substr(from, pos - from);
            } else if (!empty) {
                if (!ScanNumber(text, pos, 'f', item.width, value)) {
                    stop = true;
                    break;
                }
            }
            if (!item.skip) {
                Column &col = columns[column++];
                if (item.type == 's' || item.type == 'c') {
                    col.texts.push_back(word);
                } else {
                    col.numbers.push_back(value);
                }
            }
            while (pos < text.size() && isSpace(text[pos]) && text[pos] != '\n') ++pos;
            afterDelimiter = pos < text.size() && isDelimiter(text[pos]);
            if (afterDelimiter) ++pos;
            if (emptyAtEnd) afterDelimiter = false;
        }
        if (pos == roundStart || pos >= text.size()) stop = true;
        ++rounds;
    }
    if (f && start >= 0) std::fseek(f, start + static_cast<long>(pos), SEEK_SET);
    CellArray out;
    out.dims = {1, static_cast<unsigned int>(columns.size())};
    for (const Column &col : columns) {
        const ScanItem &item = *col.item;
        if (item.type == 's') {
            CellArray texts;
            texts.dims = {static_cast<unsigned int>(col.texts.size()), 1};
            // An empty field gives '', as the literal does.
            for (const std::string &t : col.texts)
                texts.items.push_back(t.empty() ? Value(Array::Adopt(km::CharRows({})))
                                                : Value(CharArray(t)));
            out.items.push_back(Value(std::move(texts)));
            continue;
        }
        if (item.type == 'c') {
            std::vector<std::string> rows(col.texts);
            Array chars = CharRows(rows.empty() ? std::vector<std::string>{} : rows);
            out.items.push_back(Value(rows.empty() ? Array::Adopt(km::mxCreateString("")) : chars));
            continue;
        }
        Array numbers = Array::Zeros(static_cast<unsigned int>(col.numbers.size()), 1);
        std::copy(col.numbers.begin(), col.numbers.end(), numbers.MutableData().begin());
        km::mxClassID id = km::mxClassDouble;
        if (item.type == 'd' || item.type == 'u') {
            const std::string bits = item.bits.empty() ? "32" : item.bits;
            const bool u = item.type == 'u';
            id = bits == "8" ? (u ? km::mxClassUint8 : km::mxClassInt8)
                 : bits == "16" ? (u ? km::mxClassUint16 : km::mxClassInt16)
                 : bits == "64" ? (u ? km::mxClassUint64 : km::mxClassInt64)
                                : (u ? km::mxClassUint32 : km::mxClassInt32);
        } else if (item.bits == "32") {
            id = km::mxClassSingle;
        }
        out.items.push_back(Value(id == km::mxClassDouble ? numbers : Array::Adopt(km::Cast(numbers.get(), id))));
    }
    return {Value(std::move(out))};
}

const BuiltinEntry kEntries[] = {
    {"fopen", Fopen, 1, 4, 4,
     "fid = fopen(name, permission, machinefmt), [fid, msg] = fopen(...), fids = fopen('all')",
     "Opens a file ('r', 'w', 'a', 'r+', 'w+', 'a+', with 't' or 'b'): its identifier, or -1 "
     "and the reason."},
    {"fclose", Fclose, 1, 1, 1, "fclose(fid), fclose('all')", "Closes an open file, or every one."},
    {"fgetl", Fgetl, 1, 1, 1, "line = fgetl(fid)",
     "The next line of a file without its newline; -1 at the end."},
    {"fgets", Fgets, 1, 2, 1, "line = fgets(fid), fgets(fid, nchar)",
     "The next line of a file with its newline; -1 at the end."},
    {"fscanf", Fscanf, 2, 3, 3, "[A, count, msg] = fscanf(fid, format, size)",
     "Reads formatted numbers or text from a file, the format repeating; size n, Inf or [m n]."},
    {"sscanf", Sscanf, 2, 3, 4, "[A, count, msg, next] = sscanf(text, format, size)",
     "Reads formatted numbers or text from a text, as fscanf."},
    {"fread", Fread, 1, 5, 2, "[A, count] = fread(fid, size, precision, skip, machinefmt)",
     "Reads binary data: precisions uint8 ... int64, single, double, char, with '*type' and "
     "'type=>type' classes."},
    {"fwrite", Fwrite, 2, 5, 1, "count = fwrite(fid, A, precision, skip, machinefmt)",
     "Writes the elements of A as binary data of the precision (uint8 by default)."},
    {"feof", Feof, 1, 1, 1, "feof(fid)", "1 when no byte is left to read in the file, else 0."},
    {"ferror", Ferror, 1, 2, 2, "[msg, errnum] = ferror(fid), ferror(fid, 'clear')",
     "The last read, write or seek failure of a file."},
    {"frewind", Frewind, 1, 1, 0, "frewind(fid)", "Moves to the start of a file."},
    {"fseek", Fseek, 2, 3, 1, "status = fseek(fid, offset, origin)",
     "Moves in a file from 'bof', 'cof' or 'eof' (-1, 0, 1): 0, or -1 on failure."},
    {"ftell", Ftell, 1, 1, 1, "position = ftell(fid)", "The byte position in a file."},
    {"fileread", Fileread, 1, 1, 1, "text = fileread(name)", "The whole text of a file."},
    {"type", Type, 1, kAny, 0, "type name", "Shows the text of a file (NAME.mtrx for a bare name)."},
    {"textscan", Textscan, 1, kAny, 1,
     "C = textscan(fid or text, format, N, 'Delimiter', d, 'HeaderLines', n)",
     "Reads columns of formatted data into a cell: %f %d %u as numeric columns, %s as cells "
     "of text."},
};

}  // namespace

Library FileioLibrary() {
    return {"fileio", "file input and output", kEntries, sizeof kEntries / sizeof kEntries[0]};
}

}  // namespace mtrx
