// include/kiv/exception.h: the exception root and the out-of-memory exception.
#ifndef KIV_EXCEPTION_H
#define KIV_EXCEPTION_H

#include <kiv/export.h>
#include <kiv/wstring.h>

namespace kiv {

/// Root of every exception of the kiv libraries: it holds the message.
///
/// The hierarchy has no virtual members (no virtual destructor): exceptions
/// are thrown by value, caught by reference and told apart by static type.
class KIV0LANG_API IException {
protected:
    IException(const WString &message);

public:
    IException(const IException &other);
    IException(IException &&other) noexcept;
    IException &operator=(const IException &other);
    IException &operator=(IException &&other) noexcept;
    ~IException();

    /// Returns the message given at construction.
    const WString &GetMessage() const;

private:
    WString m_message;
};

/// Thrown by value when storage cannot be obtained. Its message is short
/// enough to be stored without allocating.
class KIV0LANG_API CExhaustedMemoryException : public IException {
public:
    CExhaustedMemoryException();
    CExhaustedMemoryException(const CExhaustedMemoryException &other);
    ~CExhaustedMemoryException();
};

}  // namespace kiv

#endif  // KIV_EXCEPTION_H
