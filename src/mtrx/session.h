// src/mtrx/session.h: the interpreter's entry point for the command, the
// prompt and the fuzzer.
#ifndef MTRX_SESSION_H
#define MTRX_SESSION_H

#include <cstdint>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace mtrx {

class Evaluator;

/// Bounds on a running program. The defaults suit a user's scripts; the
/// fuzzer tightens them so that no input runs for long.
struct Limits {
    /// Statements and loop iterations run per call of Session::Run; 0 means
    /// no bound. Beyond it the program fails with "Step limit reached". A
    /// run with a bound is meant to end promptly: pause does not wait in it.
    std::uint64_t max_steps = 0;
    /// Nested function calls; beyond it the call fails with a recursion
    /// error.
    unsigned int max_call_depth = 256;
};

/// One frame an error passed through: a function, or a script file.
struct StackEntry {
    std::string file;  // the file the code is in
    std::string name;  // the function, or the script file's base name
    int line;          // 0 for an anonymous function, which has no lines
};

/// A program that failed: the message (the library's exception text
/// exactly, or the interpreter's own) and where it failed.
class ScriptError : public std::runtime_error {
public:
    ScriptError(const std::string &message, std::string file, int line,
                std::vector<StackEntry> stack = {})
        : std::runtime_error(message), m_file(std::move(file)), m_line(line),
          m_stack(std::move(stack)) {}
    /// The script file that was running, empty for snippets, the prompt and
    /// standard input.
    const std::string &File() const { return m_file; }
    int Line() const { return m_line; }
    /// The functions and script files the error passed through, innermost
    /// first; snippets, the prompt and standard input are not among them.
    const std::vector<StackEntry> &Stack() const { return m_stack; }

private:
    std::string m_file;
    int m_line;
    std::vector<StackEntry> m_stack;
};

/// A program that stopped because Interrupt() asked it to. The workspace
/// keeps whatever the statements before the stop assigned.
class Interrupted : public ScriptError {
public:
    using ScriptError::ScriptError;
};

/// A program that ended itself with exit or quit: the command ends with
/// Status(). The workspace keeps whatever the statements before it assigned.
/// A ScriptError, so that a caller that only knows failures still stops.
class Exit : public ScriptError {
public:
    Exit(int status, std::string file, int line)
        : ScriptError("exit", std::move(file), line), m_status(status) {}
    int Status() const { return m_status; }

private:
    int m_status;
};

/// Asks the program running in any session of this process to stop: it
/// stops with Interrupted ("Operation terminated by user") at its next
/// statement, loop iteration or function call, and try/catch does not catch
/// it. Safe in a signal handler (it only sets a lock-free atomic flag) and
/// from any thread. A request that no program takes stays pending until
/// TakeInterrupt().
void Interrupt() noexcept;

/// Withdraws a pending request of Interrupt(); true when there was one.
bool TakeInterrupt() noexcept;

/// Where input() and keyboard read the user's lines.
enum class Console {
    kNone,      // nowhere: the program itself comes from standard input
    kLines,     // standard input, which is not a terminal
    kTerminal,  // a terminal, or the interactive session of `mtrx -i`
};

/// Sets where input() and keyboard read, for every session of the process;
/// until it is called, nowhere (they fail, and keyboard only warns).
void SetConsole(Console console) noexcept;

/// One workspace: variables persist from one Run to the next, as at the
/// prompt.
class Session {
public:
    /// Displayed results and printed text go to `display`.
    explicit Session(std::ostream &display, const Limits &limits = Limits());
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    /// Runs `source`. `file` names the script in messages and adds its folder
    /// to the function search path; it is empty for snippets, lines typed at
    /// the prompt and standard input. Throws ScriptError; the workspace keeps
    /// whatever the statements before the failure assigned.
    void Run(const std::string &source, const std::string &file = "");

    /// Runs `source` as typed at the prompt: as Run, except that each
    /// function it defines must end with its `end`, and stays defined for
    /// the rest of the session (found after a calling file's own functions,
    /// before function files and built-ins), also when the statements fail.
    void RunTyped(const std::string &source);

    /// Writes each figure drawn in or changed since it was last written to
    /// FOLDER/figureN.png (the current folder when `folder` is empty) and
    /// returns the paths written. Throws std::runtime_error when one cannot
    /// be written, or when this build writes no pictures and a figure is
    /// left.
    std::vector<std::string> WriteUnsavedFigures(const std::string &folder);

private:
    void RunSource(const std::string &source, const std::string &file, bool typed);

    std::unique_ptr<Evaluator> m_evaluator;
};

/// Prints "error: [FILE:LINE: ]MESSAGE" to standard error, after flushing
/// what the program displayed before it failed, then "Error in NAME (line
/// N)" for each function or script file it passed through, innermost first.
void ReportError(const ScriptError &e);

/// True when `source` is the start of a program that further lines could
/// complete (an open block, bracket or continuation, a function without its
/// `end`), as at the prompt.
bool NeedsMoreInput(const std::string &source);

}  // namespace mtrx

#endif  // MTRX_SESSION_H
