// src/mtrx/lib/session.cpp: the session commands: the workspace (clear,
// who, whos, exist), the display (disp, display, format, clc, more),
// warnings, pauses, help, and leaving (exit, quit).
#include "lib/files.h"
#include "lib/support.h"
#include "lib/workspace_files.h"

#include "evaluator.h"
#include "format.h"
#include "lexer.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// The longest name a variable may have.
constexpr std::size_t kNameLengthMax = 63;

// Argument k as a number; in command form (`pause 2`, `exit 1`) it comes as
// text, which must then be a number written out.
double CommandNumber(const Args &args, std::size_t k, const std::string &what) {
    if (!args.IsText(k)) return args.GetScalar(k);
    const std::string text = args.GetText(k);
    char *end = nullptr;
    const double x = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') args.Refuse(k, what);
    return x;
}

Outs Clc(const Args &, BuiltinCall &c) {
    // Only a terminal has a screen to clear; a file or a pipe keeps its text.
    if (&c.display == &std::cout && isatty(STDOUT_FILENO))
        c.display << "\033[H\033[2J" << std::flush;
    return {};
}

Outs Clear(const Args &args, BuiltinCall &c) {
    std::vector<std::string> names;
    bool variables = args.empty();
    bool functions = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string word = args.GetText(k);
        if (word == "all" || word == "-all") {
            variables = functions = true;
        } else if (word == "functions" || word == "-functions") {
            functions = true;
        } else if (word == "variables" || word == "-variables") {
            variables = true;
        } else {
            names.push_back(word);
        }
    }
    if (variables) names.clear();
    if (variables || !names.empty()) c.evaluator.ClearVariables(names);
    if (functions) c.evaluator.ForgetFunctionFiles();
    return {};
}

Outs More(const Args &args, BuiltinCall &) {
    if (args.size() == 1) {
        const std::string word = args.GetText(0);
        if (word != "on" && word != "off") args.Refuse(0, "'on' or 'off'");
    }
    return {};
}

// The names of the workspace that the patterns (none: all) select.
std::vector<VariableInfo> Selected(const Args &args, BuiltinCall &c) {
    std::vector<VariableInfo> all = c.evaluator.Variables();
    if (args.empty()) return all;
    std::vector<VariableInfo> out;
    for (const VariableInfo &v : all)
        for (std::size_t k = 0; k < args.size(); ++k)
            if (args.GetText(k) == v.name) {
                out.push_back(v);
                break;
            }
    return out;
}

Outs Who(const Args &args, BuiltinCall &c) {
    const std::vector<VariableInfo> vars = Selected(args, c);
    if (c.nargout == 1) {
        CellArray names;
        names.dims = {static_cast<unsigned int>(vars.size()), 1};
        for (const VariableInfo &v : vars) names.items.emplace_back(Array(v.name));
        return {Value(std::move(names))};
    }
    if (vars.empty()) return {};
    std::size_t width = 0;
    for (const VariableInfo &v : vars) width = std::max(width, v.name.size());
    width += 2;
    // As many names a line as fit in 80 columns, each in a column as wide as
    // the longest name and two blanks.
    const std::size_t perLine = std::max<std::size_t>(1, 80 / width);
    std::string text = "Your variables are:\n\n";
    for (std::size_t k = 0; k < vars.size(); ++k) {
        std::string cell = vars[k].name;
        if ((k + 1) % perLine != 0 && k + 1 != vars.size()) cell.resize(width, ' ');
        text += cell;
        if ((k + 1) % perLine == 0 || k + 1 == vars.size()) text += '\n';
    }
    c.display << text << '\n';
    return {};
}

// The bytes the elements of a value take: 8 a double, 16 a complex double,
// 2 a character, 1 a logical, the width of an integer class; a cell or a
// struct the sum of what it holds; a handle nothing of its own.
double Bytes(const Value &v) {
    double sum = 0;
    switch (v.tag()) {
        case Tag::Struct:
            for (const Value &f : v.structure().values) sum += Bytes(f);
            return sum;
        case Tag::Cell:
            for (const Value &item : v.cell().items) sum += Bytes(item);
            return sum;
        case Tag::String:
            for (const std::string &s : v.strings().items) sum += static_cast<double>(s.size());
            return sum;
        case Tag::Scalar: return 8;
        case Tag::Array: break;
        default: return 0;
    }
    const Array &a = v.array();
    double each = 8;
    if (a.IsLogical()) {
        each = 1;
    } else {
        switch (a.ClassID()) {
            case km::mxClassChar: each = 2; break;
            case km::mxClassSingle: each = 4; break;
            case km::mxClassInt8:
            case km::mxClassUint8: each = 1; break;
            case km::mxClassInt16:
            case km::mxClassUint16: each = 2; break;
            case km::mxClassInt32:
            case km::mxClassUint32: each = 4; break;
            default: each = 8; break;
        }
        if (IsComplex(a)) each *= 2;
    }
    return each * a.Numel();
}

std::string SizeText(const Value &v) {
    return DimsText(v.Dimensions());
}

std::string ClassOf(const Value &v) {
    return v.ClassName();
}

std::string Padded(std::string s, std::size_t width, bool right = false) {
    if (s.size() >= width) return s;
    return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

std::string Trimmed(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

Outs Whos(const Args &args, BuiltinCall &c) {
    // whos -file FILE names...: the variables of a workspace file instead.
    NamedValues loaded;
    std::vector<VariableInfo> vars;
    if (args.Has(0) && args.IsText(0) && args.GetText(0) == "-file") {
        if (!args.Has(1)) throw Error("'whos -file' needs a file name");
        std::vector<std::string> patterns;
        for (std::size_t k = 2; k < args.size(); ++k) patterns.push_back(args.GetText(k));
        loaded = ReadWorkspaceFile(args.GetText(1), patterns, c, "whos");
        for (const auto &entry : loaded) vars.push_back({entry.first, &entry.second});
    } else {
        vars = Selected(args, c);
    }
    if (vars.empty()) return {};
    std::size_t nameWidth = 4;
    std::size_t sizeWidth = 4;
    std::size_t bytesWidth = 5;
    std::size_t classWidth = 5;
    std::vector<std::string> bytes;
    for (const VariableInfo &v : vars) {
        char number[32];
        std::snprintf(number, sizeof number, "%.0f", Bytes(*v.value));
        bytes.push_back(number);
        nameWidth = std::max(nameWidth, v.name.size());
        sizeWidth = std::max(sizeWidth, SizeText(*v.value).size());
        bytesWidth = std::max(bytesWidth, bytes.back().size());
        classWidth = std::max(classWidth, ClassOf(*v.value).size());
    }
    // Columns: the name and the size left-aligned and followed by at least
    // four blanks, the bytes right-aligned, the class, then the attributes
    // (none of the language's values has any).
    nameWidth += 4;
    sizeWidth += 4;
    classWidth += 4;
    std::string text = "  " + Padded("Name", nameWidth) + Padded("Size", sizeWidth) +
                       Padded("Bytes", bytesWidth, true) + "  " + Padded("Class", classWidth) +
                       "Attributes\n\n";
    for (std::size_t k = 0; k < vars.size(); ++k) {
        const Value &v = *vars[k].value;
        text += Trimmed("  " + Padded(vars[k].name, nameWidth) + Padded(SizeText(v), sizeWidth) +
                        Padded(bytes[k], bytesWidth, true) + "  " + ClassOf(v)) +
                "\n";
    }
    c.display << text << '\n';
    return {};
}

Outs Exist(const Args &args, BuiltinCall &c) {
    const std::string name = args.GetText(0);
    int found = c.evaluator.Exist(name);
    // A folder of that name, when nothing else has it.
    if ((found == 0 || found == 2) && PathKind(name) == 7) found = 7;
    if (args.size() == 1) return {Value(static_cast<double>(found))};
    const std::string kind = args.GetText(1);
    // exist(name, kind) asks about one kind only.
    if (kind == "var") return {Value(c.evaluator.Variable(name) ? 1.0 : 0.0)};
    if (kind == "builtin") return {Value(FindBuiltin(name) ? 5.0 : 0.0)};
    if (kind == "dir") return {Value(PathKind(name) == 7 ? 7.0 : 0.0)};
    if (kind == "file") {
        const Value *v = c.evaluator.Variable(name);
        if (!v && (found == 2 || found == 7)) return {Value(static_cast<double>(found))};
        // A variable hides the file from Exist(): ask the file system.
        return {Value(static_cast<double>(PathKind(name)))};
    }
    args.Refuse(1, "'var', 'builtin', 'file' or 'dir'");
}

Outs Isvarname(const Args &args, BuiltinCall &) {
    if (!args.IsText(0) || (args[0].IsArray() && args[0].array().Rows() > 1))
        return {Logical(false)};
    const std::string s = args.GetText(0);
    bool ok = !s.empty() && s.size() <= kNameLengthMax &&
              std::isalpha(static_cast<unsigned char>(s[0])) && !IsKeyword(s);
    for (char ch : s) ok = ok && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
    return {Logical(ok)};
}

Outs Warning(const Args &args, BuiltinCall &c) {
    const std::string first = args.GetText(0);
    if (first == "off" || first == "on") {
        if (args.size() > 2) throw Error("Too many input arguments for 'warning'");
        c.evaluator.SetWarning(args.size() == 2 ? args.GetText(1) : "all", first == "on");
        return {};
    }
    const auto [identifier, message] = MessageOf(args, "warning");
    if (message.empty()) return {};
    c.evaluator.Warn(identifier, message);
    return {};
}

// Waits for one key on a terminal; Ctrl-C stops the program.
void WaitForKey(Evaluator &evaluator) {
    termios saved;
    const bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (raw) {
        termios keys = saved;
        keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &keys);
    }
    try {
        for (;;) {
            evaluator.Poll();
            pollfd in{STDIN_FILENO, POLLIN, 0};
            if (poll(&in, 1, 50) > 0) {
                char key;
                if (read(STDIN_FILENO, &key, 1) != 1) {}
                break;
            }
        }
    } catch (...) {
        if (raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        throw;
    }
    if (raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

Outs Pause(const Args &args, BuiltinCall &c) {
    c.display.flush();
    const char *const what = "a number of seconds from 0 up";
    const double seconds = args.empty() ? INFINITY : CommandNumber(args, 0, what);
    if (!(seconds >= 0)) args.Refuse(0, what);
    if (c.evaluator.Bounded()) return {};
    if (std::isinf(seconds)) {
        // Without a terminal there is no key to wait for.
        if (isatty(STDIN_FILENO)) WaitForKey(c.evaluator);
        return {};
    }
    // Slices of at most 50 ms, so that Ctrl-C stops a long pause.
    // (A pause beyond 10^9 seconds, some 30 years, is cut to that.)
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(std::min(seconds, 1e9)));
    for (;;) {
        c.evaluator.Poll();
        const auto now = Clock::now();
        if (now >= end) break;
        const Clock::duration slice = std::chrono::milliseconds(50);
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, slice));
    }
    return {};
}

Outs Disp(const Args &args, BuiltinCall &c) {
    ShowValue(c.display, args[0], c.evaluator.Display());
    return {};
}

Outs Display(const Args &args, BuiltinCall &c) {
    std::string name = "ans";
    if (c.site && c.site->args.size() == 1 && c.site->args[0]->kind == Expr::Kind::Name)
        name = c.site->args[0]->text;
    Show(c.display, name, args[0], c.evaluator.Display());
    return {};
}

Outs FormatBuiltin(const Args &args, BuiltinCall &c) {
    std::vector<std::string> words;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "a format mode as text");
        words.push_back(args.GetText(k));
    }
    ApplyFormat(c.evaluator.Display(), words);
    return {};
}

Outs ExitBuiltin(const Args &args, BuiltinCall &c) {
    const char *const what = "a whole number from 0 to 255";
    const double status = args.empty() ? 0.0 : CommandNumber(args, 0, what);
    if (!(status >= 0 && status <= 255 && status == std::floor(status))) args.Refuse(0, what);
    c.display.flush();
    throw ExitError(static_cast<int>(status));
}

// The names of a library's entries, wrapped to lines of at most 76
// characters after an indent of 4.
std::string NameLines(const Library &library) {
    std::string text;
    std::string line = "   ";
    for (std::size_t k = 0; k < library.count; ++k) {
        const std::string name = library.entries[k].name;
        if (line.size() + 1 + name.size() > 76) {
            text += line + '\n';
            line = "   ";
        }
        line += ' ' + name;
    }
    return text + line + '\n';
}

Outs Help(const Args &args, BuiltinCall &c) {
    std::string text;
    if (args.empty()) {
        text = "Built-in functions, by library (help NAME shows one function or library):\n";
        for (const Library &library : Libraries()) {
            text += '\n' + std::string(library.name) + ": " + library.title + '\n';
            text += NameLines(library);
        }
        c.display << text;
        return {};
    }
    const std::string name = args.GetText(0);
    if (const BuiltinEntry *entry = FindBuiltin(name)) {
        c.display << entry->usage << "\n    " << entry->help << '\n';
        return {};
    }
    for (const Library &library : Libraries()) {
        if (name != library.name) continue;
        text = std::string(library.name) + ": " + library.title + "\n\n";
        for (std::size_t k = 0; k < library.count; ++k)
            text += "  " + Padded(library.entries[k].name, 12) + library.entries[k].help + '\n';
        c.display << text;
        return {};
    }
    c.display << "No help for '" << name << "': it is neither a built-in function nor a library.\n";
    return {};
}

const BuiltinEntry kEntries[] = {
    {"clc", Clc, 0, 0, 0, "clc", "Clears the terminal; does nothing when the output is not one."},
    {"clear", Clear, 0, kAny, 0, "clear, clear x y, clear a*, clear all, clear functions",
     "Removes variables (all, or the names and patterns given) of the running workspace; "
     "'functions' forgets the function files read, 'all' both."},
    {"who", Who, 0, kAny, 1, "who, who x y, names = who", "Lists the variables by name."},
    {"whos", Whos, 0, kAny, 0, "whos, whos x y, whos -file f.mat",
     "Lists the variables (of the workspace, or of a workspace file) with their size, bytes and class."},
    {"exist", Exist, 1, 2, 1, "exist(name), exist(name, 'var'|'builtin'|'file'|'dir')",
     "1 for a variable, 2 for a file or a function file on the path, 5 for a built-in, 7 for a folder, 0 otherwise."},
    {"isvarname", Isvarname, 1, 1, 1, "isvarname(s)", "True when s may name a variable."},
    {"more", More, 0, 1, 0, "more off, more on", "Accepted; the output is never paged."},
    {"warning", Warning, 1, kAny, 0,
     "warning(format, ...), warning('id:part', format, ...), warning('off', id), "
     "warning('on', id), warning('off', 'all')",
     "Prints 'Warning: TEXT' on the error stream and goes on; 'off' and 'on' silence or restore "
     "warnings by identifier."},
    {"pause", Pause, 0, 1, 0, "pause(seconds), pause",
     "Waits; without an argument, for a key when the input is a terminal."},
    {"disp", Disp, 1, 1, 0, "disp(x)", "Shows a value without its name."},
    {"display", Display, 1, 1, 0, "display(x)",
     "Shows a value with its name, as a statement does."},
    {"format", FormatBuiltin, 0, 3, 0,
     "format, format MODE: short, long, short e, long e, short g, long g, rat, compact, loose",
     "How values are shown: the number format, and compact drops the blank lines; format alone "
     "is short and loose."},
    {"help", Help, 0, 1, 0, "help, help NAME", "Lists the libraries, or describes one function."},
    {"exit", ExitBuiltin, 0, 1, 0, "exit, exit(status)", "Ends the program with a status (0)."},
    {"quit", ExitBuiltin, 0, 1, 0, "quit, quit(status)", "Ends the program with a status (0)."},
};

}  // namespace

Library SessionLibrary() {
    return {"session", "The session: workspace, display, warnings, help", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
