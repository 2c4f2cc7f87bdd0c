// src/mtrx/main.cpp: the mtrx command: runs a script file, a snippet or
// standard input, or holds an interactive session at a prompt.
#include "session.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#if defined(MTRX_EDITLINE)
#include <editline/readline.h>
#elif defined(MTRX_READLINE)
#include <readline/history.h>
#include <readline/readline.h>
#endif

namespace {

const char kUsage[] =
    "Usage: mtrx [FILE | -e CODE | -i]\n"
    "Runs a program in the matrix language: the script FILE, the snippet CODE,\n"
    "or, with no arguments, an interactive session when standard input is a\n"
    "terminal and otherwise the program read from standard input.\n"
    "\n"
    "  -e CODE     run CODE\n"
    "  -i          interactive session, even when standard input is not a terminal\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "At the prompt, a statement left open (a block, a bracket, a '...') reads\n"
    "further lines; an error is shown and the session goes on; 'exit', 'quit'\n"
    "or the end of input ends it.\n";

const char kPrompt[] = ">> ";
const char kContinuation[] = ".. ";

// Prints "error: [FILE:LINE: ]MESSAGE" to standard error, after whatever the
// program displayed before it failed.
void ReportError(const mtrx::ScriptError &e) {
    std::cout.flush();
    std::cerr << "error: ";
    if (!e.File().empty()) std::cerr << e.File() << ':' << e.Line() << ": ";
    std::cerr << e.what() << '\n';
}

// Runs `source`; on an error reports it and returns 1. `file` is empty for
// snippets and standard input.
int RunSource(const std::string &source, const std::string &file) {
    mtrx::Session session(std::cout);
    try {
        session.Run(source, file);
        std::cout.flush();
        return 0;
    } catch (const mtrx::ScriptError &e) {
        ReportError(e);
        return 1;
    }
}

// Reads one line after showing `prompt`; false at the end of input. With a
// line-editing library and a terminal, lines can be edited and recalled.
bool ReadLine(const char *prompt, bool editing, std::string &line) {
#if defined(MTRX_EDITLINE) || defined(MTRX_READLINE)
    if (editing) {
        char *text = readline(prompt);
        if (text == nullptr) return false;
        line = text;
        if (!line.empty()) add_history(text);
        std::free(text);
        return true;
    }
#else
    (void)editing;
#endif
    std::cout << prompt << std::flush;
    return static_cast<bool>(std::getline(std::cin, line));
}

// True for a line that asks to leave the session.
bool IsExit(const std::string &line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return false;
    const auto last = line.find_last_not_of(" \t\r;");
    const std::string word = line.substr(first, last + 1 - first);
    return word == "exit" || word == "quit";
}

// The interactive session: one workspace for every statement typed. A
// statement that further lines could complete keeps reading at the
// continuation prompt; a failed one is reported and the session goes on.
int Interact(bool editing) {
    mtrx::Session session(std::cout);
    std::string pending, line;
    for (;;) {
        const bool more = ReadLine(pending.empty() ? kPrompt : kContinuation, editing, line);
        if (!more) {
            // Ends the last prompt's line; an unfinished statement is run for
            // its error.
            std::cout << '\n' << std::flush;
            if (pending.empty()) return 0;
        } else {
            if (pending.empty() && IsExit(line)) return 0;
            pending += line;
            pending += '\n';
            if (mtrx::NeedsMoreInput(pending)) continue;
        }
        try {
            session.Run(pending);
            std::cout.flush();
        } catch (const mtrx::ScriptError &e) {
            ReportError(e);
        }
        pending.clear();
        if (!more) return 0;
    }
}

}  // namespace

int main(int argc, char **argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (first == "--version") {
        std::cout << "mtrx " MTRX_VERSION "\n";
        return 0;
    }
    const bool terminal = isatty(STDIN_FILENO) != 0;
    if ((argc == 1 && terminal) || (first == "-i" && argc == 2)) {
        return Interact(terminal && isatty(STDOUT_FILENO) != 0);
    }
    if (argc == 1) {
        std::ostringstream text;
        text << std::cin.rdbuf();
        return RunSource(text.str(), "");
    }
    if (first == "-e" && argc == 3) return RunSource(argv[2], "");
    if (argc != 2 || (!first.empty() && first[0] == '-')) {
        std::cerr << kUsage;
        return 2;
    }
    std::ifstream file(first, std::ios::binary);
    if (!file) {
        std::cerr << "error: cannot open '" << first << "'\n";
        return 1;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return RunSource(text.str(), first);
}
