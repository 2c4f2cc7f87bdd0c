// include/kiv/exception.h: the exception root and the out-of-memory exception.
#ifndef KIV_EXCEPTION_H
#define KIV_EXCEPTION_H

#include <kiv/export.h>
#include <kiv/wstring.h>

#include <exception>

namespace kiv {

/// Root of every exception of the kiv libraries: it holds the message.
///
/// It derives from std::exception, so `catch (const std::exception &)` sees
/// every exception of the libraries; what() gives the message in UTF-8.
/// Exceptions are thrown by value and caught by reference. The UTF-8 text is
/// made once, at construction, in storage inside the object, so neither
/// throwing, copying nor what() allocates beyond what the wide message needs.
class KIV0LANG_API IException : public std::exception {
protected:
    IException(const WString &message);

public:
    IException(const IException &other);
    IException(IException &&other) noexcept;
    IException &operator=(const IException &other);
    IException &operator=(IException &&other) noexcept;
    ~IException() override;

    /// Returns the message given at construction.
    const WString &GetMessage() const;

    /// Returns the message in UTF-8, NUL-terminated and never null. A
    /// message longer than kMaxWhatBytes - 1 bytes is cut at a character
    /// boundary and ends in "...". The text lives as long as the exception.
    const char *what() const noexcept override;

    /// Size of the inline storage of what()'s text, the NUL included.
    static constexpr int kMaxWhatBytes = 256;

private:
    WString m_message;
    char m_what[kMaxWhatBytes];
};

/// Thrown by value when storage cannot be obtained. Its message is short
/// enough to be stored without allocating.
class KIV0LANG_API CExhaustedMemoryException : public IException {
public:
    CExhaustedMemoryException();
    CExhaustedMemoryException(const CExhaustedMemoryException &other);
    ~CExhaustedMemoryException() override;
};

}  // namespace kiv

#endif  // KIV_EXCEPTION_H
