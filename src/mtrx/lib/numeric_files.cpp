// src/mtrx/lib/numeric_files.cpp: matrices of numbers in text files:
// readmatrix, writematrix, csvread, csvwrite, dlmread, dlmwrite, load and
// save of numeric text (-ascii); load and save of workspace files go on to
// lib/workspace_files.cpp.
#include "lib/files.h"
#include "lib/workspace_files.h"

#include "evaluator.h"
#include "format.h"
#include "lib/options.h"
#include "lib/support.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

namespace mtrx {

namespace km = kiv::matrix;
namespace fs = std::filesystem;

namespace {

// How a reader treats what is not a number.
enum class Reader {
    kTable,  // readmatrix: text fields and missing ones are NaN, text lines on top skipped
    kDelimited,  // dlmread, csvread: empty and missing fields are 0, text is an error
    kLoad,   // load: '%' comments, every row as long as the first, text is an error
};

std::string Trim(const std::string &s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

// The number a whole field holds: decimal, with an exponent (e, E, d, D),
// or Inf and NaN by name; false for anything else.
bool ParseNumber(const std::string &field, double &value) {
    std::string t = field;
    for (char &ch : t)
        if (ch == 'd' || ch == 'D') ch = 'e';
    if (t.empty()) return false;
    std::size_t k = 0;
    std::string sign;
    if (t[0] == '+' || t[0] == '-') sign = t.substr(0, 1), k = 1;
    const std::string body = t.substr(k);
    if (strcasecmp(body.c_str(), "inf") == 0 || strcasecmp(body.c_str(), "nan") == 0) {
        value = (body[0] == 'i' || body[0] == 'I') ? HUGE_VAL : std::nan("");
        if (sign == "-") value = -value;
        return true;
    }
    // Only digits, one point and an exponent: strtod would take hexadecimal too.
    std::size_t digits = 0;
    while (k < t.size() && std::isdigit(static_cast<unsigned char>(t[k]))) ++k, ++digits;
    if (k < t.size() && t[k] == '.') {
        ++k;
        while (k < t.size() && std::isdigit(static_cast<unsigned char>(t[k]))) ++k, ++digits;
    }
    if (digits == 0) return false;
    if (k < t.size() && (t[k] == 'e' || t[k] == 'E')) {
        ++k;
        if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
        std::size_t e = 0;
        while (k < t.size() && std::isdigit(static_cast<unsigned char>(t[k]))) ++k, ++e;
        if (e == 0) return false;
    }
    if (k != t.size()) return false;
    value = std::strtod(t.c_str(), nullptr);
    return true;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = nl + 1;
    }
    return lines;
}

// The fields of a line: split at `delimiter`, or at runs of blanks (and,
// for load, commas) when it is 0.
std::vector<std::string> Fields(const std::string &line, char delimiter, bool commas) {
    std::vector<std::string> out;
    if (delimiter) {
        std::size_t start = 0;
        while (true) {
            const std::size_t at = line.find(delimiter, start);
            out.push_back(Trim(line.substr(start, at == std::string::npos ? std::string::npos : at - start)));
            if (at == std::string::npos) break;
            start = at + 1;
        }
        return out;
    }
    std::string field;
    for (char ch : line) {
        if (ch == ' ' || ch == '\t' || ch == '\r' || (commas && ch == ',')) {
            if (!field.empty()) out.push_back(field);
            field.clear();
        } else {
            field += ch;
        }
    }
    if (!field.empty()) out.push_back(field);
    return out;
}

bool TextLine(const std::vector<std::string> &fields);

// The delimiter of a table's lines: the first of comma, tab and semicolon
// that every line of numbers holds, else blanks (0).
char Detect(const std::vector<std::string> &lines) {
    for (char d : {',', '\t', ';'}) {
        bool all = false;
        for (const std::string &line : lines) {
            if (TextLine(Fields(line, d, false)) && TextLine(Fields(line, 0, false))) continue;
            all = line.find(d) != std::string::npos;
            if (!all) break;
        }
        if (all) return d;
    }
    return 0;
}

// A text line (not a line of numbers): some field is not empty and no number.
bool TextLine(const std::vector<std::string> &fields) {
    double v;
    for (const std::string &f : fields)
        if (!f.empty() && !ParseNumber(f, v)) return true;
    return false;
}

struct Table {
    std::vector<std::vector<double>> rows;
    std::size_t cols = 0;
};

[[noreturn]] void Malformed(const std::string &who, const std::string &file, std::size_t line,
                            const std::string &field) {
    throw Error("'" + who + "': file '" + file + "', line " + std::to_string(line) + ": '" + field +
                "' is not a number");
}

// Reads the numbers of `text`, skipping `skipRows` lines first (and, for
// kTable, the text lines on top).
Table ReadTable(const std::string &text, const std::string &file, const std::string &who,
                Reader reader, char delimiter, bool detect, std::size_t skipRows,
                bool skipText = true) {
    std::vector<std::string> lines = Lines(text);
    std::size_t first = std::min(skipRows, lines.size());
    if (reader == Reader::kLoad) {
        for (std::string &line : lines) {
            const std::size_t pct = line.find('%');
            if (pct != std::string::npos) line.erase(pct);
        }
    }
    if (detect) {
        std::vector<std::string> sample;
        for (std::size_t k = first; k < lines.size() && sample.size() < 50; ++k)
            if (!Trim(lines[k]).empty()) sample.push_back(lines[k]);
        delimiter = reader == Reader::kLoad ? 0 : Detect(sample);
    }
    const bool commas = reader == Reader::kLoad;
    if (reader == Reader::kTable && skipText) {
        while (first < lines.size() &&
               (Trim(lines[first]).empty() || TextLine(Fields(lines[first], delimiter, commas))))
            ++first;
    }
    Table t;
    std::size_t loadCols = 0;
    std::size_t loadLine = 0;
    for (std::size_t k = first; k < lines.size(); ++k) {
        if (Trim(lines[k]).empty()) {
            if (reader == Reader::kTable || reader == Reader::kLoad) continue;
        }
        const std::vector<std::string> fields = Fields(lines[k], delimiter, commas);
        if (fields.empty() && reader == Reader::kLoad) continue;
        std::vector<double> row;
        for (const std::string &f : fields) {
            double v = 0;
            if (f.empty()) {
                v = reader == Reader::kTable ? std::nan("") : 0.0;
            } else if (!ParseNumber(f, v)) {
                if (reader != Reader::kTable) Malformed(who, file, k + 1, f);
                v = std::nan("");
            }
            row.push_back(v);
        }
        if (reader == Reader::kLoad) {
            if (loadCols == 0) {
                loadCols = row.size();
                loadLine = k + 1;
            } else if (row.size() != loadCols) {
                throw Error("'" + who + "': file '" + file + "', line " + std::to_string(k + 1) +
                            " has " + std::to_string(row.size()) + " values where line " +
                            std::to_string(loadLine) + " has " + std::to_string(loadCols));
            }
        }
        t.cols = std::max(t.cols, row.size());
        t.rows.push_back(std::move(row));
    }
    return t;
}

// The table as an array from row r0 and column c0 (0-based) through r1 and
// c1 (inclusive, npos: the last), missing fields filled with `fill`.
Array ToArray(const Table &t, double fill, std::size_t r0 = 0, std::size_t c0 = 0,
              std::size_t r1 = std::string::npos, std::size_t c1 = std::string::npos) {
    const std::size_t rows = t.rows.size();
    const std::size_t cols = t.cols;
    const std::size_t rEnd = std::min(r1 == std::string::npos ? rows : r1 + 1, rows);
    const std::size_t cEnd = std::min(c1 == std::string::npos ? cols : c1 + 1, cols);
    if (r0 >= rEnd || c0 >= cEnd) return Array::Zeros(0, 0);
    const unsigned int m = static_cast<unsigned int>(rEnd - r0);
    const unsigned int n = static_cast<unsigned int>(cEnd - c0);
    Array out = Array::Zeros(m, n);
    double *d = out.MutableData().begin();
    for (unsigned int j = 0; j < n; ++j) {
        for (unsigned int i = 0; i < m; ++i) {
            const std::vector<double> &row = t.rows[r0 + i];
            d[static_cast<std::size_t>(j) * m + i] = c0 + j < row.size() ? row[c0 + j] : fill;
        }
    }
    return out;
}

std::string FileArg(const Args &args, std::size_t k) {
    if (!args.IsText(k)) args.Refuse(k, "a file name");
    return CheckedPath(args.GetText(k), args.Name());
}

// A delimiter given by name or as the character ('\t' written out too).
char DelimiterArg(const Args &args, std::size_t k) {
    if (!args.IsText(k)) args.Refuse(k, "a delimiter");
    std::string d = args.GetText(k);
    std::string lower = d;
    lower = LowerWord(lower);
    if (lower == "comma") return ',';
    if (lower == "tab" || d == "\\t") return '\t';
    if (lower == "space" || lower == "whitespace") return ' ';
    if (lower == "semi" || lower == "semicolon") return ';';
    if (lower == "bar" || lower == "pipe") return '|';
    if (d.size() != 1) args.Refuse(k, "one delimiter character or 'comma', 'tab', 'space', 'semi', 'bar'");
    return d[0];
}

// A whole number from 0 up (an offset).
std::size_t Offset(const Args &args, std::size_t k) {
    const double v = args.GetScalar(k);
    if (!(v >= 0) || v != std::floor(v) || v > 1e9) args.Refuse(k, "a whole number from 0 up");
    return static_cast<std::size_t>(v);
}

// The range of readmatrix: 'B2', 'B2:D5' or [r1 c1 r2 c2] (from 1), as
// zero-based first row, first column, last row, last column (npos: to the
// end).
std::vector<std::size_t> RangeArg(const Args &args, std::size_t k) {
    const char *what = "a range such as 'B2', 'B2:D5' or [r1 c1 r2 c2]";
    std::vector<std::size_t> out{0, 0, std::string::npos, std::string::npos};
    if (!args.IsText(k)) {
        const Array &a = args.GetArray(k);
        if (a.Numel() != 4 || IsCell(a) || IsComplex(a)) args.Refuse(k, what);
        const Array d = Array::Adopt(km::Cast(a.get(), km::mxClassDouble));
        for (int j = 0; j < 4; ++j)
            if (!(d.Data()[j] >= 1) || d.Data()[j] != std::floor(d.Data()[j]) || d.Data()[j] > 1e9)
                args.Refuse(k, what);
        out = {static_cast<std::size_t>(d.Data()[0]) - 1, static_cast<std::size_t>(d.Data()[1]) - 1,
               static_cast<std::size_t>(d.Data()[2]) - 1, static_cast<std::size_t>(d.Data()[3]) - 1};
    } else {
        const std::string text = args.GetText(k);
        std::size_t at = 0;
        // One corner: letters for the column, digits for the row.
        const auto corner = [&](std::size_t &row, std::size_t &col) {
            std::size_t c = 0, r = 0, letters = 0, digits = 0;
            while (at < text.size() && std::isalpha(static_cast<unsigned char>(text[at])) && letters < 4)
                c = c * 26 + static_cast<std::size_t>(std::toupper(static_cast<unsigned char>(text[at++])) - 'A' + 1), ++letters;
            while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && digits < 9)
                r = r * 10 + static_cast<std::size_t>(text[at++] - '0'), ++digits;
            if (letters == 0 || digits == 0 || r == 0) args.Refuse(k, what);
            row = r - 1;
            col = c - 1;
        };
        corner(out[0], out[1]);
        if (at < text.size() && text[at] == ':') {
            ++at;
            corner(out[2], out[3]);
        }
        if (at != text.size()) args.Refuse(k, what);
    }
    if (out[2] != std::string::npos && (out[2] < out[0] || out[3] < out[1])) args.Refuse(k, what);
    return out;
}

// A = readmatrix(file, 'Delimiter', d, 'NumHeaderLines', n, 'Range', r).
Outs Readmatrix(const Args &args, BuiltinCall &) {
    const std::string file = FileArg(args, 0);
    char delimiter = 0;
    bool detect = true;
    std::size_t header = 0;
    std::vector<std::size_t> range;
    bool ranged = false;
    for (std::size_t k = 1; k < args.size(); k += 2) {
        if (!args.IsText(k)) args.Refuse(k, "an option name");
        std::string option = args.GetText(k);
        option = LowerWord(option);
        if (!args.Has(k + 1)) throw Error("'readmatrix': the option '" + args.GetText(k) + "' needs a value");
        if (option == "delimiter") {
            delimiter = DelimiterArg(args, k + 1);
            if (delimiter == ' ') delimiter = 0;
            detect = false;
        } else if (option == "numheaderlines") {
            header = Offset(args, k + 1);
        } else if (option == "range") {
            range = RangeArg(args, k + 1);
            ranged = true;
        } else if (option == "filetype") {
            if (args.GetText(k + 1) != "text" && args.GetText(k + 1) != "delimitedtext")
                args.Refuse(k + 1, "'text' or 'delimitedtext'");
        } else {
            throw Error("'readmatrix': unknown option '" + args.GetText(k) +
                        "': use 'Delimiter', 'NumHeaderLines', 'Range' or 'FileType'");
        }
    }
    const std::string text = ReadWholeFile(file, "readmatrix");
    if (!ranged) {
        Table t = ReadTable(text, file, "readmatrix", Reader::kTable, delimiter, detect, header);
        return {ToArray(t, std::nan(""))};
    }
    // A range counts the file's lines from its first, text lines included.
    Table t = ReadTable(text, file, "readmatrix", Reader::kTable, delimiter, detect, range[0], false);
    const std::size_t rows = range[2] == std::string::npos ? range[2] : range[2] - range[0];
    return {ToArray(t, std::nan(""), 0, range[1], rows, range[3])};
}

// dlmread(file), dlmread(file, delim), dlmread(file, delim, r, c),
// dlmread(file, delim, [r1 c1 r2 c2]); offsets from 0.
Outs Dlmread(const Args &args, BuiltinCall &c) {
    const std::string file = FileArg(args, 0);
    const bool csv = c.name == "csvread";
    std::size_t at = 1;
    char delimiter = ',';
    bool detect = !csv;
    if (!csv && args.Has(1)) {
        if (args.IsText(1)) {
            delimiter = DelimiterArg(args, 1);
            if (delimiter == ' ') delimiter = 0;
            detect = false;
        } else if (!(args[1].IsArray() && args[1].array().Numel() == 0)) {
            args.Refuse(1, "a delimiter");
        }
        at = 2;
    }
    std::size_t r0 = 0, c0 = 0, r1 = std::string::npos, c1 = std::string::npos;
    if (args.Has(at)) {
        const Array &first = args.GetArray(at);
        if (first.Numel() == 4 && !args.Has(at + 1)) {
            const Array d = Array::Adopt(km::Cast(first.get(), km::mxClassDouble));
            for (int k = 0; k < 4; ++k)
                if (!(d.Data()[k] >= 0) || d.Data()[k] != std::floor(d.Data()[k]) || d.Data()[k] > 1e9)
                    args.Refuse(at, "a range [r1 c1 r2 c2] of whole numbers from 0 up");
            r0 = static_cast<std::size_t>(d.Data()[0]);
            c0 = static_cast<std::size_t>(d.Data()[1]);
            r1 = static_cast<std::size_t>(d.Data()[2]);
            c1 = static_cast<std::size_t>(d.Data()[3]);
        } else {
            if (!args.Has(at + 1)) throw Error("'" + c.name + "' needs both a row and a column offset");
            if (args.Has(at + 2)) throw Error("Too many input arguments for '" + c.name + "'");
            r0 = Offset(args, at);
            c0 = Offset(args, at + 1);
        }
    }
    const std::string text = ReadWholeFile(file, c.name);
    // Lines above the range are not read, so that they may hold text.
    Table t = ReadTable(text, file, c.name, Reader::kDelimited, delimiter, detect, r0);
    if (r1 != std::string::npos && r1 < r0) return {Array::Zeros(0, 0)};
    if (r1 != std::string::npos) r1 -= r0;
    return {ToArray(t, 0.0, 0, c0, r1, c1)};
}

// The text of one number as dlmwrite and writematrix write it.
std::string Number(double v, const std::string &format) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format.c_str(), v);
    return buffer;
}

// The real numbers of a numeric, logical or char array, as doubles.
Array NumbersOf(const Args &args, std::size_t k) {
    if (!args[k].IsArray()) args.Refuse(k, "a numeric, logical or char array");
    const Array &a = args.GetArray(k);
    if (IsCell(a) || IsComplex(a)) args.Refuse(k, "a real numeric, logical or char array");
    if (a.NDims() > 2) args.Refuse(k, "a matrix (two dimensions)");
    return Array::Adopt(km::Cast(a.get(), km::mxClassDouble));
}

// The rows of `a` as delimited text: `rowOffset` rows of delimiters above,
// `colOffset` delimiters before each row.
std::string DelimitedText(const Array &a, char delimiter, const std::string &format,
                          const std::string &newline, std::size_t rowOffset = 0,
                          std::size_t colOffset = 0, bool formatIsFull = false) {
    const unsigned int m = a.Rows();
    const unsigned int n = m ? a.Numel() / m : 0;
    std::string out;
    for (std::size_t r = 0; r < rowOffset; ++r)
        out += std::string(n + colOffset > 0 ? n + colOffset - 1 : 0, delimiter) + newline;
    const double *d = a.Data();
    for (unsigned int i = 0; i < m; ++i) {
        out += std::string(colOffset, delimiter);
        for (unsigned int j = 0; j < n; ++j) {
            if (j) out += delimiter;
            const double v = d[static_cast<std::size_t>(j) * m + i];
            out += formatIsFull ? Format(format, {Value(v)}, "dlmwrite") : Number(v, format);
        }
        out += newline;
    }
    return out;
}

// writematrix(A, file, 'Delimiter', d): 15 significant digits.
Outs Writematrix(const Args &args, BuiltinCall &c) {
    const Array a = NumbersOf(args, 0);
    const std::string file = FileArg(args, 1);
    char delimiter = ',';
    for (std::size_t k = 2; k < args.size(); k += 2) {
        if (!args.IsText(k)) args.Refuse(k, "an option name");
        std::string option = args.GetText(k);
        option = LowerWord(option);
        if (!args.Has(k + 1)) throw Error("'writematrix': the option '" + args.GetText(k) + "' needs a value");
        if (option == "delimiter") {
            delimiter = DelimiterArg(args, k + 1);
        } else if (option == "filetype") {
            if (args.GetText(k + 1) != "text" && args.GetText(k + 1) != "delimitedtext")
                args.Refuse(k + 1, "'text' or 'delimitedtext'");
        } else {
            throw Error("'writematrix': unknown option '" + args.GetText(k) +
                        "': use 'Delimiter' or 'FileType'");
        }
    }
    const std::string text = DelimitedText(a, delimiter, "%.15g", "\n");
    ChargeWrite(c, text.size());
    ReplaceFile(file, text, "writematrix");
    return {};
}

// dlmwrite(file, M), (file, M, delim), (file, M, delim, r, c),
// (file, M, 'delimiter', d, 'precision', p, 'newline', nl, 'roffset', r,
// 'coffset', c), '-append' anywhere after M; csvwrite(file, M, r, c).
Outs Dlmwrite(const Args &args, BuiltinCall &c) {
    const std::string file = FileArg(args, 0);
    const Array a = NumbersOf(args, 1);
    char delimiter = ',';
    std::string format = "%.5g";
    bool full = false;
    std::string newline = "\n";
    std::size_t r = 0, col = 0;
    bool append = false;
    std::vector<std::size_t> rest;
    for (std::size_t k = 2; k < args.size(); ++k) {
        if (args.IsText(k) && args.GetText(k) == "-append") {
            append = true;
        } else {
            rest.push_back(k);
        }
    }
    if (c.name == "csvwrite") {
        if (append) throw Error("Too many input arguments for 'csvwrite'");
        if (rest.size() == 1 || rest.size() > 2) throw Error("'csvwrite' takes both a row and a column offset");
        if (rest.size() == 2) {
            r = Offset(args, rest[0]);
            col = Offset(args, rest[1]);
        }
    } else if (!rest.empty()) {
        std::string first = args.IsText(rest[0]) ? args.GetText(rest[0]) : std::string();
        std::string lower = first;
        lower = LowerWord(lower);
        const bool named = lower == "delimiter" || lower == "precision" || lower == "newline" ||
                           lower == "roffset" || lower == "coffset";
        if (!named) {
            delimiter = args.IsText(rest[0]) ? DelimiterArg(args, rest[0]) : ',';
            if (rest.size() == 2) throw Error("'dlmwrite' needs both a row and a column offset");
            if (rest.size() > 3) throw Error("Too many input arguments for 'dlmwrite'");
            if (rest.size() == 3) {
                r = Offset(args, rest[1]);
                col = Offset(args, rest[2]);
            }
        } else {
            for (std::size_t k = 0; k < rest.size(); k += 2) {
                const std::size_t at = rest[k];
                if (!args.IsText(at)) args.Refuse(at, "an attribute name");
                std::string name = args.GetText(at);
                name = LowerWord(name);
                if (k + 1 >= rest.size()) throw Error("'dlmwrite': the attribute '" + args.GetText(at) + "' needs a value");
                const std::size_t v = rest[k + 1];
                if (name == "delimiter") {
                    delimiter = DelimiterArg(args, v);
                } else if (name == "precision") {
                    if (args.IsText(v)) {
                        format = args.GetText(v);
                        full = true;
                    } else {
                        format = "%." + std::to_string(std::min(args.GetPositive(v), 17u)) + "g";
                    }
                } else if (name == "newline") {
                    const std::string nl = args.GetText(v);
                    if (nl == "pc") newline = "\r\n";
                    else if (nl == "unix") newline = "\n";
                    else args.Refuse(v, "'pc' or 'unix'");
                } else if (name == "roffset") {
                    r = Offset(args, v);
                } else if (name == "coffset") {
                    col = Offset(args, v);
                } else {
                    throw Error("'dlmwrite': unknown attribute '" + args.GetText(at) +
                                "': use 'delimiter', 'precision', 'newline', 'roffset' or 'coffset'");
                }
            }
        }
    }
    std::string text = DelimitedText(a, delimiter, format, newline, r, col, full);
    std::error_code ec;
    if (append && fs::exists(file, ec)) text = ReadWholeFile(file, c.name) + text;
    ChargeWrite(c, text.size());
    ReplaceFile(file, text, c.name);
    return {};
}

// The variable name load gives a file: its base name, with characters a
// name cannot hold made '_', and 'X' in front when it does not start with a
// letter.
std::string VariableName(const std::string &file) {
    std::string name = fs::path(file).stem().string();
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') ch = '_';
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = "X" + name;
    return name.substr(0, 63);
}

// load file.txt, A = load('file.txt'), load('-ascii', file): numeric text;
// workspace files elsewhere.
Outs Load(const Args &args, BuiltinCall &c) {
    if (LoadsWorkspace(args)) return LoadWorkspace(args, c);
    std::string file;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "a file name or '-ascii'");
        const std::string word = args.GetText(k);
        if (word == "-ascii") continue;
        if (!word.empty() && word[0] == '-') throw Error("'load': unknown option '" + word + "'");
        if (!file.empty()) throw Error("'load' reads one numeric text file: choosing variables needs a workspace file");
        file = word;
    }
    if (file.empty()) throw Error("'load' needs a file name");
    file = CheckedPath(file, "load");
    const std::string text = ReadWholeFile(file, "load");
    const Table t = ReadTable(text, file, "load", Reader::kLoad, 0, false, 0);
    Array a = ToArray(t, 0.0);
    if (c.nargout > 0) return {a};
    c.evaluator.SetVariable(VariableName(file), Value(a));
    return {};
}

// save file.txt A B -ascii -double -tabs: each variable's rows, eight (or
// with -double sixteen) significant digits in exponent form. Without -ascii
// a workspace file.
Outs Save(const Args &args, BuiltinCall &c) {
    bool ascii = false;
    for (std::size_t k = 0; k < args.size(); ++k)
        ascii = ascii || (args.IsText(k) && args.GetText(k) == "-ascii");
    if (!ascii) return SaveWorkspace(args, c);
    std::string file;
    std::vector<std::string> names;
    bool twice = false, tabs = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "a file name, a variable name or an option");
        const std::string word = args.GetText(k);
        if (word == "-ascii") continue;
        if (word == "-double") twice = true;
        else if (word == "-tabs") tabs = true;
        else if (!word.empty() && word[0] == '-') throw Error("'save': unknown option '" + word + "'");
        else if (file.empty()) file = word;
        else names.push_back(word);
    }
    if (file.empty()) throw Error("'save' needs a file name");
    file = CheckedPath(file, "save");
    std::vector<std::pair<std::string, Value>> values;
    if (names.empty()) {
        for (const VariableInfo &v : c.evaluator.Variables()) values.push_back({v.name, *v.value});
    } else {
        for (const std::string &name : names) {
            const Value *v = c.evaluator.Variable(name);
            if (!v) throw Error("'save': there is no variable '" + name + "'");
            values.push_back({name, *v});
        }
    }
    const char *format = twice ? "%.16e" : "%.7e";
    std::string text;
    for (const auto &entry : values) {
        const Value &v = entry.second;
        if (!v.IsArray() || IsCell(v.array()) || IsComplex(v.array()) || v.array().NDims() > 2) {
            c.evaluator.Warn("mtrx:save:notNumeric", "Variable '" + entry.first +
                             "' is not a real numeric, char or logical matrix: not saved.");
            continue;
        }
        const Array a = Array::Adopt(km::Cast(v.array().get(), km::mxClassDouble));
        const unsigned int m = a.Rows();
        const unsigned int n = m ? a.Numel() / m : 0;
        for (unsigned int i = 0; i < m; ++i) {
            for (unsigned int j = 0; j < n; ++j) {
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, format, a.Data()[static_cast<std::size_t>(j) * m + i]);
                std::string number = buffer;
                if (tabs) {
                    text += (j ? "\t" : "") + number;
                } else {
                    text += (number[0] == '-' ? "  " : "   ") + number;
                }
            }
            text += '\n';
        }
    }
    ChargeWrite(c, text.size());
    ReplaceFile(file, text, "save");
    return {};
}

const BuiltinEntry kEntries[] = {
    {"readmatrix", Readmatrix, 1, kAny, 1,
     "A = readmatrix(file, 'Delimiter', d, 'NumHeaderLines', n, 'Range', 'B2:D5')",
     "Reads a matrix of numbers from a delimited text file (comma, tab, semicolon or blanks "
     "found); text lines on top skipped, empty and text fields NaN."},
    {"writematrix", Writematrix, 2, kAny, 0, "writematrix(A, file, 'Delimiter', d)",
     "Writes a matrix to a delimited text file, 15 significant digits."},
    {"csvread", Dlmread, 1, 3, 1, "A = csvread(file), csvread(file, r, c)",
     "Reads comma-separated numbers from row r and column c on (from 0); empty fields 0."},
    {"csvwrite", Dlmwrite, 2, 4, 0, "csvwrite(file, A), csvwrite(file, A, r, c)",
     "Writes comma-separated numbers, five significant digits."},
    {"dlmread", Dlmread, 1, 4, 1,
     "A = dlmread(file, delim, r, c), dlmread(file, delim, [r1 c1 r2 c2])",
     "Reads delimited numbers from row r and column c on (from 0); empty fields 0."},
    {"dlmwrite", Dlmwrite, 2, kAny, 0,
     "dlmwrite(file, A, delim, r, c), dlmwrite(file, A, 'precision', p, '-append')",
     "Writes delimited numbers (',' and five significant digits by default)."},
    {"load", Load, 0, kAny, 1,
     "load f x y, S = load('f.mat', 'x'), load file.txt, A = load('file.txt', '-ascii')",
     "Reads the variables of an HDF5 workspace file (all, or those named; '*' matches any run) "
     "into the workspace or as the fields of S; a numeric text file into the variable named "
     "after it or the output."},
    {"save", Save, 0, kAny, 0,
     "save f x y, save('f.mat', 'x', '-append'), save(f, '-struct', 's'), save f.txt A -ascii",
     "Writes variables (all when none is named; '*' matches any run) to an HDF5 workspace file, "
     "'.mat' added to a name without extension, or as numeric text (-ascii -double -tabs)."},
};

}  // namespace

Library NumericFilesLibrary() {
    return {"numeric files", "matrices of numbers in text files", kEntries,
            sizeof kEntries / sizeof kEntries[0]};
}

}  // namespace mtrx
