// src/mtrx/main.cpp: the mtrx command: runs a script file, a snippet or
// standard input, or holds an interactive session at a prompt.
#include "build/command.h"
#include "lib/registry.h"
#include "session.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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
    "Usage: mtrx [--figures DIR] [FILE | -e CODE | -i]\n"
    "Runs a program in the matrix language: the script FILE, the snippet CODE,\n"
    "or, with no arguments, an interactive session when standard input is a\n"
    "terminal and otherwise the program read from standard input.\n"
    "\n"
    "  -e CODE     run CODE\n"
    "  build FILE  compile the script FILE to a native program (mtrx build --help)\n"
    "  -i          interactive session, even when standard input is not a terminal\n"
    "  --figures DIR  where figures left unsaved at the end are written, as\n"
    "              figure1.png, figure2.png, ... (the current folder by default)\n"
    "  --functions the reference of the built-in functions, in Markdown\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "At the prompt, a statement left open (a block, a bracket, a '...', a\n"
    "function before its 'end') reads further lines, and a function defined\n"
    "there stays defined; an error is shown and the session goes on; Ctrl-C\n"
    "stops the running statement or discards the line being typed; 'exit',\n"
    "'quit' or the end of input ends it. Ctrl-C ends a script with status 130.\n";

const char kPrompt[] = ">> ";
const char kContinuation[] = ".. ";
const char kInterrupted[] = "Operation terminated by user";

// Ctrl-C while a script runs: the program stops at its next statement, loop
// iteration or call, and mtrx ends with status 130. A second Ctrl-C before
// it gets there (a long library call) ends the process at once.
volatile std::sig_atomic_t g_scriptInterrupts = 0;

extern "C" void OnScriptInterrupt(int) {
    if (g_scriptInterrupts != 0) _exit(130);
    g_scriptInterrupts = 1;
    mtrx::Interrupt();
}

// Ctrl-C at the prompt: stops the running statement, or discards the line
// being typed; the session and its workspace go on.
extern "C" void OnPromptInterrupt(int) { mtrx::Interrupt(); }

// Sends SIGINT to `handler`. Without `restart`, a read waiting for input
// returns EINTR, so that the prompt sees Ctrl-C at once.
void CatchInterrupts(void (*handler)(int), bool restart) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    sigaction(SIGINT, &action, nullptr);
}

// A script run in the background of a shell, where SIGINT is ignored, keeps
// ignoring it.
void CatchScriptInterrupts() {
    struct sigaction current {};
    if (sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
    CatchInterrupts(OnScriptInterrupt, true);
}

// After Ctrl-C: a write to the terminal it cut short leaves an error on the
// stream, which would silence everything shown after it.
void ResetOutput() {
    std::cout.clear();
    std::clearerr(stdout);
}

using mtrx::ReportError;

// The folder of --figures: where figures left unsaved are written.
std::string g_figureFolder;

// Writes the figures the program left unsaved, naming each on standard
// error; a figure that cannot be written turns a status of 0 into 1.
int Finish(mtrx::Session &session, int status) {
    try {
        for (const std::string &path : session.WriteUnsavedFigures(g_figureFolder))
            std::cerr << "figure written: " << path << '\n';
    } catch (const std::exception &e) {
        std::cerr << "error: figures not written: " << e.what() << '\n';
        if (status == 0) status = 1;
    }
    return status;
}

// Runs `source`; on an error reports it and returns 1, when interrupted 130.
// `file` is empty for snippets and standard input. Figures left unsaved are
// written at the end, also after an error.
int RunSource(const std::string &source, const std::string &file) {
    mtrx::Session session(std::cout);
    try {
        session.Run(source, file);
        std::cout.flush();
        return Finish(session, 0);
    } catch (const mtrx::Exit &e) {
        std::cout.flush();
        return Finish(session, e.Status());
    } catch (const mtrx::Interrupted &) {
        std::cout.flush();
        std::cerr << kInterrupted << '\n';
        return 130;
    } catch (const mtrx::ScriptError &e) {
        ReportError(e);
        return Finish(session, 1);
    }
}

enum class Input { Line, End, Interrupted };

#if defined(MTRX_EDITLINE) || defined(MTRX_READLINE)
// Set when Ctrl-C ended the line being edited.
bool g_lineInterrupted = false;
#endif

#if defined(MTRX_READLINE)
// Readline's key reader: a plain read, except that Ctrl-C (a read cut
// short, or an interrupt already pending) ends the line as Enter would, and
// the line is then discarded. (Readline itself would retry the read.)
// libedit needs none: its read gives up on EINTR and readline() returns.
int ReadKey(FILE *in) {
    for (;;) {
        if (mtrx::TakeInterrupt()) {
            g_lineInterrupted = true;
            return '\n';
        }
        unsigned char c;
        const ssize_t n = read(fileno(in), &c, 1);
        if (n == 1) return c;
        if (n == 0 || errno != EINTR) return EOF;
    }
}
#endif

// Reads one line after showing `prompt`. Ctrl-C while the line is typed
// discards it. With a line-editing library and a terminal, lines can be
// edited and recalled.
Input ReadLine(const char *prompt, bool editing, std::string &line) {
    // A Ctrl-C that came after the last statement ended has nothing left to
    // stop.
    mtrx::TakeInterrupt();
#if defined(MTRX_EDITLINE) || defined(MTRX_READLINE)
    if (editing) {
        g_lineInterrupted = false;
        char *text = readline(prompt);
        if (g_lineInterrupted || mtrx::TakeInterrupt()) {
            if (text == nullptr) std::cout << '\n' << std::flush;
            std::free(text);
            return Input::Interrupted;
        }
        if (text == nullptr) return Input::End;
        line = text;
        if (!line.empty()) add_history(text);
        std::free(text);
        return Input::Line;
    }
#else
    (void)editing;
#endif
    std::cout << prompt << std::flush;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (mtrx::TakeInterrupt()) {
        // The terminal has dropped what was typed; the next prompt starts on
        // a line of its own.
        std::cin.clear();
        std::clearerr(stdin);
        std::cout << '\n' << std::flush;
        return Input::Interrupted;
    }
    return read ? Input::Line : Input::End;
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
    CatchInterrupts(OnPromptInterrupt, false);
#if defined(MTRX_READLINE)
    // SIGINT reaches OnPromptInterrupt, and ReadKey sees it, also while a
    // line is edited.
    rl_catch_signals = 0;
    rl_getc_function = ReadKey;
#endif
    std::string pending, line;
    for (;;) {
        const Input input = ReadLine(pending.empty() ? kPrompt : kContinuation, editing, line);
        if (input == Input::Interrupted) {
            // Ctrl-C drops the line and any statement left open before it.
            pending.clear();
            continue;
        }
        const bool more = input == Input::Line;
        if (!more) {
            // Ends the last prompt's line; an unfinished statement is run for
            // its error.
            std::cout << '\n' << std::flush;
            if (pending.empty()) return Finish(session, 0);
        } else {
            if (pending.empty() && IsExit(line)) return Finish(session, 0);
            pending += line;
            pending += '\n';
            if (mtrx::NeedsMoreInput(pending)) continue;
        }
        try {
            session.RunTyped(pending);
            std::cout.flush();
        } catch (const mtrx::Exit &e) {
            std::cout.flush();
            return Finish(session, e.Status());
        } catch (const mtrx::Interrupted &) {
            ResetOutput();
            std::cout.flush();
            // At a terminal the message goes below the ^C it echoed.
            std::cerr << (editing ? "\n" : "") << kInterrupted << '\n';
        } catch (const mtrx::ScriptError &e) {
            ReportError(e);
        }
        pending.clear();
        if (!more) return Finish(session, 0);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1 && std::string(argv[1]) == "--figures") {
        if (argc < 3 || argv[2][0] == '\0') {
            std::cerr << kUsage;
            return 2;
        }
        g_figureFolder = argv[2];
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (first == "--functions") {
        std::cout << mtrx::FunctionsMarkdown();
        return 0;
    }
    if (first == "build") return mtrx::BuildCommand(argc - 2, argv + 2);
    if (first == "--version") {
        std::cout << "mtrx " MTRX_VERSION "\n";
        return 0;
    }
    const bool terminal = isatty(STDIN_FILENO) != 0;
    if ((argc == 1 && terminal) || (first == "-i" && argc == 2)) {
        mtrx::SetConsole(mtrx::Console::kTerminal);
        return Interact(terminal && isatty(STDOUT_FILENO) != 0);
    }
    // input() reads standard input unless the program itself is read there.
    mtrx::SetConsole(argc == 1 ? mtrx::Console::kNone
                     : terminal ? mtrx::Console::kTerminal
                                : mtrx::Console::kLines);
    CatchScriptInterrupts();
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
