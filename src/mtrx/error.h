// src/mtrx/error.h: the interpreter's own errors, carrying a source line.
#ifndef MTRX_ERROR_H
#define MTRX_ERROR_H

#include <stdexcept>
#include <string>

namespace mtrx {

/// An error of the interpreter itself (syntax, unknown name, bad call) or
/// raised by error(); the library's exceptions pass through unchanged.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string &message, int line = 0, bool atEnd = false)
        : std::runtime_error(message), m_line(line), m_atEnd(atEnd) {}
    /// The source line, or 0 when the error belongs to the running statement.
    int Line() const { return m_line; }
    /// True for a syntax error found at the end of the input: more lines
    /// could complete the program.
    bool AtEnd() const { return m_atEnd; }
    /// The identifier given to error('component:id', ...), else empty.
    const std::string &Identifier() const { return m_identifier; }
    void SetIdentifier(std::string id) { m_identifier = std::move(id); }

private:
    int m_line;
    bool m_atEnd;
    std::string m_identifier;
};

/// A bound of mtrx::Limits was reached. try/catch does not catch it, so a
/// bounded run always ends.
class LimitError : public Error {
public:
    using Error::Error;
};

/// The program was interrupted (Ctrl-C). Like a limit, try/catch does not
/// catch it.
class InterruptError : public LimitError {
public:
    using LimitError::LimitError;
};

/// exit or quit: the program ends with a status. Like a limit, try/catch
/// does not catch it.
class ExitError : public LimitError {
public:
    explicit ExitError(int status) : LimitError("exit"), m_status(status) {}
    int Status() const { return m_status; }

private:
    int m_status;
};

}  // namespace mtrx

#endif  // MTRX_ERROR_H
