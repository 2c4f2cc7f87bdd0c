// src/mtrx/lib/console.cpp: the session's search path for function files
// (addpath, rmpath, path) and reading from the user (input, keyboard).
#include "lib/options.h"
#include "lib/support.h"

#include "evaluator.h"
#include "session.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace mtrx {

namespace {

std::atomic<Console> g_console{Console::kNone};

// The folders of path text: parts between ':', empty ones dropped, a
// trailing '/' removed so that one folder is written one way.
std::vector<std::string> SplitPath(const std::string &text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        std::string folder = text.substr(start, colon == std::string::npos ? colon : colon - start);
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (!folder.empty()) out.push_back(std::move(folder));
        if (colon == std::string::npos) return out;
        start = colon + 1;
    }
}

std::string JoinPath(const std::vector<std::string> &folders) {
    std::string text;
    for (const std::string &folder : folders) text += (text.empty() ? "" : ":") + folder;
    return text;
}

bool IsFolder(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folders that the text arguments name, each argument a folder or a
// path text joined by ':'.
std::vector<std::string> FolderArgs(const Args &args, const std::vector<std::size_t> &positions) {
    std::vector<std::string> out;
    for (std::size_t k : positions) {
        if (!args.IsText(k)) args.Refuse(k, "a folder name as text");
        for (std::string &folder : SplitPath(args.GetText(k))) out.push_back(std::move(folder));
    }
    return out;
}

// addpath(folder, ...), addpath(folder, ..., '-end'): the folders go to the
// front of the path in the order given (or to its end), each once; a folder
// that does not exist is skipped with a warning. With an output, the path
// before the change.
Outs Addpath(const Args &args, BuiltinCall &c) {
    bool atEnd = false;
    std::vector<std::size_t> positions;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const int word = WordIndex(args, k, {"-end", "-begin"});
        if (word >= 0) {
            atEnd = word == 0;
        } else {
            positions.push_back(k);
        }
    }
    if (positions.empty()) throw Error("'addpath' needs a folder to add");
    const std::vector<std::string> old = c.evaluator.SearchPath();
    std::vector<std::string> added;
    for (std::string &folder : FolderArgs(args, positions)) {
        if (!IsFolder(folder)) {
            c.evaluator.Warn("mtrx:nonexistentFolder",
                             "Name is nonexistent or not a directory: " + folder);
            continue;
        }
        if (std::find(added.begin(), added.end(), folder) == added.end())
            added.push_back(std::move(folder));
    }
    std::vector<std::string> path;
    for (const std::string &folder : old)
        if (std::find(added.begin(), added.end(), folder) == added.end()) path.push_back(folder);
    path.insert(atEnd ? path.end() : path.begin(), added.begin(), added.end());
    c.evaluator.SetSearchPath(std::move(path));
    if (c.nargout == 0) return {};
    return {Value(CharArray(JoinPath(old)))};
}

// rmpath(folder, ...): the folders leave the path; one not on it warns.
Outs Rmpath(const Args &args, BuiltinCall &c) {
    std::vector<std::size_t> positions(args.size());
    for (std::size_t k = 0; k < args.size(); ++k) positions[k] = k;
    const std::vector<std::string> old = c.evaluator.SearchPath();
    std::vector<std::string> path = old;
    for (const std::string &folder : FolderArgs(args, positions)) {
        auto it = std::find(path.begin(), path.end(), folder);
        if (it == path.end()) {
            c.evaluator.Warn("mtrx:folderNotOnPath", "\"" + folder + "\" not found in path.");
            continue;
        }
        path.erase(it);
    }
    c.evaluator.SetSearchPath(std::move(path));
    if (c.nargout == 0) return {};
    return {Value(CharArray(JoinPath(old)))};
}

// path shows the search path; p = path returns it joined by ':'; path(p)
// replaces it, and path(p1, p2) with p1 before p2.
Outs Path(const Args &args, BuiltinCall &c) {
    const std::vector<std::string> old = c.evaluator.SearchPath();
    if (!args.empty()) {
        std::vector<std::size_t> positions(args.size());
        for (std::size_t k = 0; k < args.size(); ++k) positions[k] = k;
        std::vector<std::string> path;
        for (std::string &folder : FolderArgs(args, positions))
            if (std::find(path.begin(), path.end(), folder) == path.end())
                path.push_back(std::move(folder));
        c.evaluator.SetSearchPath(std::move(path));
    }
    if (c.nargout > 0) return {Value(CharArray(JoinPath(old)))};
    if (!args.empty()) return {};
    std::string text =
        "Function files are found in the calling file's folder, the current "
        "folder, then:\n\n";
    for (const std::string &folder : old) text += "    " + folder + '\n';
    if (old.empty()) text += "    (no other folder)\n";
    c.display << text << '\n';
    return {};
}

// One line from the user for `who`, after `prompt`; false at the end of
// input. Fails where there is nothing to read from.
bool ReadUserLine(BuiltinCall &c, const char *who, const std::string &prompt, std::string &line) {
    const Console console = g_console.load();
    if (console == Console::kNone)
        throw Error(std::string("'") + who +
                    "' has no line to read: the program itself comes from standard input");
    c.display << prompt << std::flush;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (!read) {
        // The stream stays usable for the next prompt, also after Ctrl-C.
        std::cin.clear();
        std::clearerr(stdin);
    }
    // Ctrl-C at the prompt cuts the read short: the program stops here.
    c.evaluator.Poll();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return read;
}

// input(prompt) reads a line and evaluates it as an expression in the
// caller's workspace (an empty line gives []); input(prompt, 's') returns
// the line as text. At a terminal a line that fails to evaluate shows its
// error and asks again.
Outs Input(const Args &args, BuiltinCall &c) {
    if (!args.IsText(0)) args.Refuse(0, "a prompt as text");
    const std::string prompt = args.GetText(0);
    const bool text = args.Has(1);
    if (text && !IsWord(args, 1, "s")) args.Refuse(1, "'s'");
    for (;;) {
        std::string line;
        if (!ReadUserLine(c, "input", prompt, line))
            throw Error("'input' reached the end of standard input");
        if (text) return {Value(CharArray(line))};
        if (line.find_first_not_of(" \t") == std::string::npos) return {Value()};
        try {
            return {c.evaluator.EvaluateHere(Compile(line, ""))};
        } catch (const LimitError &) {
            throw;
        } catch (const std::exception &e) {
            const std::string message = std::string(e.what()) == "Expected one expression"
                                            ? "'input' expects an expression, not '" + line + "'"
                                            : std::string(e.what());
            if (g_console.load() != Console::kTerminal) throw Error(message);
            c.display.flush();
            std::cerr << "error: " << message << '\n';
        }
    }
}

// keyboard: at a terminal, runs the statements typed at a "K>> " prompt in
// the caller's workspace until 'dbcont', 'return' or the end of input; an
// error is shown and the prompt comes back. Elsewhere it only warns.
Outs Keyboard(const Args &, BuiltinCall &c) {
    if (g_console.load() != Console::kTerminal) {
        c.evaluator.Warn("mtrx:keyboard",
                         "keyboard needs a terminal to read from; the program goes on");
        return {};
    }
    std::string pending;
    for (;;) {
        std::string line;
        if (!ReadUserLine(c, "keyboard", pending.empty() ? "K>> " : ".. ", line)) {
            c.display << '\n' << std::flush;
            return {};
        }
        if (pending.empty()) {
            const auto first = line.find_first_not_of(" \t");
            const auto last = line.find_last_not_of(" \t;");
            const std::string word =
                first == std::string::npos ? "" : line.substr(first, last + 1 - first);
            if (word == "dbcont" || word == "return") return {};
        }
        pending += line + '\n';
        if (NeedsMoreInput(pending)) continue;
        try {
            c.evaluator.RunHere(Compile(pending, ""));
        } catch (const LimitError &) {
            throw;
        } catch (const std::exception &e) {
            c.display.flush();
            std::cerr << "error: " << e.what() << '\n';
        }
        pending.clear();
    }
}

const BuiltinEntry kEntries[] = {
    {"addpath", Addpath, 1, kAny, 1, "addpath(folder, ...), addpath(folder, '-end')",
     "Puts folders at the front of the function search path (or at its end); a missing "
     "folder warns."},
    {"rmpath", Rmpath, 1, kAny, 1, "rmpath(folder, ...)",
     "Takes folders off the function search path."},
    {"path", Path, 0, 2, 1, "path, p = path, path(p), path(p1, p2)",
     "Shows the function search path, returns it joined by ':', or replaces it."},
    {"input", Input, 1, 2, 1, "x = input(prompt), s = input(prompt, 's')",
     "Reads a line from the user: evaluated as an expression, or as text with 's'."},
    {"keyboard", Keyboard, 0, 0, 0, "keyboard",
     "At a terminal, runs typed statements in the caller's workspace until dbcont."},
};

}  // namespace

void SetConsole(Console console) noexcept { g_console.store(console); }

Library ConsoleLibrary() {
    return {"console", "The search path, reading from the user", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
