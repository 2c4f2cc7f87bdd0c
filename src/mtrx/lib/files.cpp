// src/mtrx/lib/files.cpp: files and folders: isfile, isfolder, dir, ls, pwd,
// cd, mkdir, rmdir, delete, copyfile, movefile, fileparts, fullfile,
// tempdir, tempname, getenv, setenv.
#include "lib/files.h"

#include "evaluator.h"
#include "lib/options.h"
#include "lib/support.h"
#include "text.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fnmatch.h>
#include <random>

namespace mtrx {

namespace km = kiv::matrix;
namespace fs = std::filesystem;

int PathKind(const std::string &name) {
    if (name.empty() || name.find('\0') != std::string::npos) return 0;
    std::error_code ec;
    const fs::file_status status = fs::status(name, ec);
    if (ec) return 0;
    if (fs::is_directory(status)) return 7;
    return fs::exists(status) ? 2 : 0;
}

namespace {

bool HasWildcard(const std::string &name) { return name.find_first_of("*?") != std::string::npos; }

// The names a pattern with * or ? matches in its folder, sorted; the name
// itself when it has no wildcard.
std::vector<fs::path> Matches(const std::string &pattern) {
    if (!HasWildcard(pattern)) return {fs::path(pattern)};
    const fs::path p(pattern);
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    const std::string leaf = p.filename().string();
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (fnmatch(leaf.c_str(), name.c_str(), FNM_PERIOD) == 0)
            out.push_back(p.has_parent_path() ? folder / name : fs::path(name));
    }
    std::sort(out.begin(), out.end());
    return out;
}

Value Text(const std::string &s) { return Value(CharArray(s)); }

// The text argument k, checked as a path.
std::string PathArg(const Args &args, std::size_t k) {
    if (!args.IsText(k)) args.Refuse(k, "a file or folder name as text");
    return CheckedPath(args.GetText(k), args.Name());
}

Outs Isfile(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) return {Logical(false)};
    const std::string name = args.GetText(0);
    std::error_code ec;
    return {Logical(!name.empty() && fs::is_regular_file(name, ec))};
}

Outs Isfolder(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) return {Logical(false)};
    return {Logical(PathKind(args.GetText(0)) == 7)};
}

// The local time of a file's last change, as seconds since 1970.
std::time_t ChangeTime(const fs::path &path) {
    std::error_code ec;
    const fs::file_time_type t = fs::last_write_time(path, ec);
    if (ec) return 0;
    const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        t - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    return std::chrono::system_clock::to_time_t(system);
}

// dir, dir(name or pattern), listing = dir(...): a struct array with name,
// folder, date, bytes, isdir and datenum, sorted by name.
Outs Dir(const Args &args, BuiltinCall &c) {
    const std::string name = args.empty() ? "." : PathArg(args, 0);
    std::vector<fs::path> entries;
    std::error_code ec;
    if (!HasWildcard(name) && fs::is_directory(name, ec)) {
        entries = {fs::path(name) / ".", fs::path(name) / ".."};
        std::vector<fs::path> inside;
        for (fs::directory_iterator it(name, ec), end; !ec && it != end; it.increment(ec))
            inside.push_back(it->path());
        std::sort(inside.begin(), inside.end());
        entries.insert(entries.end(), inside.begin(), inside.end());
    } else {
        for (const fs::path &p : Matches(name))
            if (fs::exists(p, ec)) entries.push_back(p);
    }
    if (c.nargout == 0) {
        if (entries.empty()) {
            c.evaluator.Warn("", "No match for '" + name + "'.");
            return {};
        }
        std::string text;
        for (const fs::path &p : entries) text += p.filename().string() + "  ";
        c.display << '\n' << text << "\n\n";
        return {};
    }
    StructArray out;
    out.dims = {static_cast<unsigned int>(entries.size()), 1};
    out.fields = {"name", "folder", "date", "bytes", "isdir", "datenum"};
    for (const fs::path &p : entries) {
        const bool folder = fs::is_directory(p, ec);
        const std::time_t when = ChangeTime(p);
        std::tm local{};
        localtime_r(&when, &local);
        char date[64];
        std::strftime(date, sizeof date, "%d-%b-%Y %H:%M:%S", &local);
        const double datenum = 719529.0 + (static_cast<double>(when) + local.tm_gmtoff) / 86400.0;
        const fs::path absolute = fs::absolute(p, ec).lexically_normal();
        std::string parent = fs::absolute(p, ec).parent_path().lexically_normal().string();
        if (parent.size() > 1 && parent.back() == '/') parent.pop_back();
        (void)absolute;
        const double bytes = folder ? 0.0 : static_cast<double>(fs::file_size(p, ec));
        out.values.push_back(Text(p.filename().string()));
        out.values.push_back(Text(parent));
        out.values.push_back(Text(date));
        out.values.push_back(Value(ec ? 0.0 : bytes));
        out.values.push_back(Value(Logical(folder)));
        out.values.push_back(Value(datenum));
    }
    if (entries.empty()) out.dims = {0, 1};
    return {Value(std::move(out))};
}

// ls, ls(pattern): the names, '.' and '..' left out; with an output a char
// matrix of them.
Outs Ls(const Args &args, BuiltinCall &c) {
    const std::string name = args.empty() ? "." : PathArg(args, 0);
    std::vector<std::string> names;
    std::error_code ec;
    if (!HasWildcard(name) && fs::is_directory(name, ec)) {
        for (fs::directory_iterator it(name, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end());
    } else {
        for (const fs::path &p : Matches(name))
            if (fs::exists(p, ec)) names.push_back(p.string());
    }
    if (names.empty() && HasWildcard(name)) throw Error("'ls': no match for '" + name + "'");
    if (names.empty() && !fs::exists(name, ec))
        throw Error("'ls': cannot access '" + name + "': No such file or directory");
    if (c.nargout > 0) return {Value(names.empty() ? Array::Adopt(km::mxCreateString("")) : CharRows(names))};
    std::string text;
    for (const std::string &n : names) text += n + "  ";
    if (!text.empty()) c.display << text << "\n\n";
    return {};
}

Outs Pwd(const Args &, BuiltinCall &c) {
    std::error_code ec;
    const std::string here = fs::current_path(ec).string();
    (void)c;
    return {Text(here)};
}

// cd, cd(folder), old = cd(folder).
Outs Cd(const Args &args, BuiltinCall &c) {
    std::error_code ec;
    const std::string here = fs::current_path(ec).string();
    if (args.empty()) {
        if (c.nargout > 0) return {Text(here)};
        c.display << "\n" << here << "\n\n";
        return {};
    }
    const std::string folder = PathArg(args, 0);
#ifdef MTRX_FILE_SANDBOX
    throw Error("'cd': this build stays in its working folder");
#endif
    fs::current_path(folder, ec);
    if (ec) throw Error("'cd': cannot change to '" + folder + "': " + ec.message());
    // Function files are found in the current folder: look them up again.
    c.evaluator.ForgetFunctionFiles();
    if (c.nargout > 0) return {Text(here)};
    return {};
}

// The outputs [status, msg, msgid] of the folder and copy functions.
Outs Status(bool ok, const std::string &message, const std::string &id) {
    return {Value(Logical(ok)), Text(message), Text(id)};
}

// [status, msg, msgid] = mkdir(folder), mkdir(parent, folder): parents made
// as needed; a folder already there is a success with a message.
Outs Mkdir(const Args &args, BuiltinCall &c) {
    fs::path folder(PathArg(args, 0));
    if (args.Has(1)) folder /= PathArg(args, 1);
    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
        if (c.nargout == 0) c.evaluator.Warn("mtrx:mkdir:DirectoryExists", "Directory already exists.");
        return Status(true, "Directory already exists.", "mtrx:mkdir:DirectoryExists");
    }
    fs::create_directories(folder, ec);
    if (ec) {
        const std::string message = "Cannot create folder '" + folder.string() + "': " + ec.message();
        if (c.nargout == 0) throw Error("'mkdir': " + message);
        return Status(false, message, "mtrx:mkdir:OSError");
    }
    return Status(true, "", "");
}

// [status, msg, msgid] = rmdir(folder), rmdir(folder, 's'): 's' removes
// what the folder holds too.
Outs Rmdir(const Args &args, BuiltinCall &c) {
    const std::string folder = PathArg(args, 0);
    bool all = false;
    if (args.Has(1)) {
        if (!IsWord(args, 1, "s")) args.Refuse(1, "'s'");
        all = true;
    }
    std::error_code ec;
    std::string message;
    if (!fs::is_directory(folder, ec)) {
        message = "'" + folder + "' is not a folder.";
    } else if (all) {
        fs::remove_all(folder, ec);
    } else {
        fs::remove(folder, ec);
    }
    if (ec) message = "Cannot remove '" + folder + "': " + ec.message();
    if (!message.empty() && c.nargout == 0) throw Error("'rmdir': " + message);
    return Status(message.empty(), message, message.empty() ? "" : "mtrx:rmdir:OSError");
}

// delete file ..., with * and ? wildcards: a name that matches nothing warns.
Outs Delete(const Args &args, BuiltinCall &c) {
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string name = PathArg(args, k);
        const std::vector<fs::path> found = Matches(name);
        bool any = false;
        std::error_code ec;
        for (const fs::path &p : found) {
            if (fs::is_directory(p, ec)) continue;
            if (!fs::exists(fs::symlink_status(p, ec))) continue;
            if (!fs::remove(p, ec) || ec)
                throw Error("'delete': cannot delete '" + p.string() + "': " + ec.message());
            any = true;
        }
        if (!any) c.evaluator.Warn("mtrx:deleteNotFound", "File '" + name + "' not found.");
    }
    return {};
}

// [status, msg, msgid] = copyfile(source, destination) and movefile: a
// source with wildcards or a folder destination keeps the names; folders
// copy with what they hold.
Outs CopyOrMove(const Args &args, BuiltinCall &c, bool move) {
    const std::string source = PathArg(args, 0);
    const std::string target = args.Has(1) ? PathArg(args, 1) : std::string(".");
    if (args.Has(2) && !IsWord(args, 2, "f")) args.Refuse(2, "'f'");
    std::error_code ec;
    std::string message;
    const std::vector<fs::path> found = Matches(source);
    std::vector<fs::path> sources;
    for (const fs::path &p : found)
        if (fs::exists(p, ec)) sources.push_back(p);
    if (sources.empty()) message = "No matching files were found for '" + source + "'.";
    const bool intoFolder = fs::is_directory(target, ec) || sources.size() > 1;
    if (message.empty() && sources.size() > 1 && !fs::is_directory(target, ec))
        message = "Cannot copy several files to '" + target + "': it is not a folder.";
    for (const fs::path &p : sources) {
        if (!message.empty()) break;
        const fs::path to = intoFolder && !(fs::is_directory(p, ec) && !fs::exists(target, ec))
                                ? fs::path(target) / p.filename()
                                : fs::path(target);
        if (!move) {
            std::uintmax_t bytes = 0;
            if (fs::is_directory(p, ec)) {
                for (fs::recursive_directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec))
                    if (it->is_regular_file(ec)) bytes += it->file_size(ec);
            } else {
                bytes = fs::file_size(p, ec);
            }
            ec.clear();
            ChargeWrite(c, static_cast<std::size_t>(std::min<std::uintmax_t>(bytes, SIZE_MAX)));
        }
        if (move) {
            fs::rename(p, to, ec);
            if (ec && ec == std::errc::cross_device_link) {
                ec.clear();
                fs::copy(p, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
                if (!ec) fs::remove_all(p, ec);
            }
        } else {
            fs::copy(p, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        }
        if (ec) message = "Cannot " + std::string(move ? "move" : "copy") + " '" + p.string() + "' to '" + to.string() + "': " + ec.message();
    }
    if (!message.empty() && c.nargout == 0) throw Error("'" + c.name + "': " + message);
    return Status(message.empty(), message, message.empty() ? "" : "mtrx:" + c.name + ":OSError");
}

Outs Copyfile(const Args &args, BuiltinCall &c) { return CopyOrMove(args, c, false); }
Outs Movefile(const Args &args, BuiltinCall &c) { return CopyOrMove(args, c, true); }

// A text result of the kind of argument k: a string for a string, else char.
Value Like(const Args &args, std::size_t k, const std::string &text) {
    if (args[k].tag() == Tag::String) return StringScalar(text);
    return Text(text);
}

// [folder, name, ext] = fileparts(file).
Outs Fileparts(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) args.Refuse(0, "a file name as text");
    const std::string file = args.GetText(0);
    const std::size_t slash = file.rfind('/');
    std::string folder = slash == std::string::npos ? "" : file.substr(0, slash);
    if (slash == 0) folder = "/";
    const std::string leaf = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::size_t dot = leaf.rfind('.');
    const std::string name = dot == std::string::npos ? leaf : leaf.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : leaf.substr(dot);
    return {Like(args, 0, folder), Like(args, 0, name), Like(args, 0, ext)};
}

// fullfile(part, ...): the parts joined by '/', doubled separators made one.
Outs Fullfile(const Args &args, BuiltinCall &) {
    std::string out;
    bool anyString = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k) && !(args[k].IsArray() && args[k].array().Numel() == 0))
            args.Refuse(k, "a file or folder name as text");
        anyString = anyString || args[k].tag() == Tag::String;
        const std::string part = args.IsText(k) ? args.GetText(k) : std::string();
        if (part.empty()) continue;
        if (!out.empty() && out.back() != '/') out += '/';
        out += out.empty() ? part : part.substr(part.find_first_not_of('/') == std::string::npos ? part.size() : part.find_first_not_of('/'));
    }
    std::string collapsed;
    for (char ch : out)
        if (!(ch == '/' && !collapsed.empty() && collapsed.back() == '/')) collapsed += ch;
    if (anyString) return {StringScalar(collapsed)};
    return {Text(collapsed)};
}

std::string TempFolder() {
    const char *env = std::getenv("TMPDIR");
    std::string folder = env && *env ? env : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

Outs Tempdir(const Args &, BuiltinCall &) { return {Text(TempFolder())}; }

// tempname, tempname(folder), tempname(folder, prefix): a name no file has
// yet, "tp" and random hexadecimal digits by default.
Outs Tempname(const Args &args, BuiltinCall &) {
    std::string folder = args.Has(0) ? args.GetText(0) : TempFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string prefix = args.Has(1) ? args.GetText(1) : "tp";
    static std::mt19937_64 generator{std::random_device{}()};
    std::error_code ec;
    std::string name;
    do {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(generator()));
        name = folder + prefix + hex;
    } while (fs::exists(name, ec));
    return {Text(name)};
}

Outs Getenv(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) args.Refuse(0, "the name of an environment variable");
    const char *value = std::getenv(args.GetText(0).c_str());
    if (!value) return {Value(Array::Adopt(km::mxCreateNumericArray(2, std::vector<unsigned int>{0, 0}.data(), km::mxClassChar, km::mxComplexityReal)))};
    return {Like(args, 0, value)};
}

Outs Setenv(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) args.Refuse(0, "the name of an environment variable");
    const std::string name = args.GetText(0);
    if (name.empty() || name.find('=') != std::string::npos || name.find('\0') != std::string::npos)
        args.Refuse(0, "a name without '=' (and not empty)");
    const std::string value = args.Has(1) ? args.GetText(1) : "";
#ifdef MTRX_FILE_SANDBOX
    // The environment outlives one generated program: it stays as it is.
    throw Error("'setenv': this build leaves the environment unchanged");
#endif
    if (value.find('\0') != std::string::npos) args.Refuse(1, "text without a NUL character");
    ::setenv(name.c_str(), value.c_str(), 1);
    return {};
}

const BuiltinEntry kEntries[] = {
    {"isfile", Isfile, 1, 1, 1, "isfile(name)", "True when name is a file (not a folder)."},
    {"isfolder", Isfolder, 1, 1, 1, "isfolder(name)", "True when name is a folder."},
    {"dir", Dir, 0, 1, 1, "dir, dir(name), listing = dir(pattern)",
     "Lists a folder or the files a * or ? pattern matches: struct array of name, folder, date, "
     "bytes, isdir, datenum."},
    {"ls", Ls, 0, 1, 1, "ls, ls(pattern), names = ls(...)", "Lists the names in a folder."},
    {"pwd", Pwd, 0, 0, 1, "pwd, folder = pwd", "The current folder."},
    {"cd", Cd, 0, 1, 1, "cd, cd(folder), old = cd(folder)", "Shows or changes the current folder."},
    {"mkdir", Mkdir, 1, 2, 3, "[status, msg, msgid] = mkdir(folder), mkdir(parent, folder)",
     "Makes a folder (and its parents)."},
    {"rmdir", Rmdir, 1, 2, 3, "[status, msg, msgid] = rmdir(folder), rmdir(folder, 's')",
     "Removes an empty folder, or with 's' the folder and all it holds."},
    {"delete", Delete, 1, kAny, 0, "delete name ..., delete('*.txt')",
     "Deletes files; * and ? match names."},
    {"copyfile", Copyfile, 1, 3, 3, "[status, msg, msgid] = copyfile(source, destination)",
     "Copies files or folders; * and ? match names."},
    {"movefile", Movefile, 1, 3, 3, "[status, msg, msgid] = movefile(source, destination)",
     "Moves or renames files or folders; * and ? match names."},
    {"fileparts", Fileparts, 1, 1, 3, "[folder, name, ext] = fileparts(file)",
     "Splits a file name into its folder, name and extension."},
    {"fullfile", Fullfile, 0, kAny, 1, "f = fullfile(folder, ..., name)",
     "Joins folder and file names with '/'."},
    {"tempdir", Tempdir, 0, 0, 1, "tempdir", "The folder for temporary files, with a final '/'."},
    {"tempname", Tempname, 0, 2, 1, "tempname, tempname(folder, prefix)",
     "A name for a temporary file that does not exist yet."},
    {"getenv", Getenv, 1, 1, 1, "value = getenv(name)",
     "The value of an environment variable; '' when it is not set."},
    {"setenv", Setenv, 1, 2, 0, "setenv(name, value)", "Sets an environment variable."},
};

}  // namespace

Library FilesLibrary() {
    return {"files", "files and folders", kEntries, sizeof kEntries / sizeof kEntries[0]};
}

}  // namespace mtrx
