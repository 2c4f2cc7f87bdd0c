// include/kiv/wstring.h: the base library's wide string.
#ifndef KIV_WSTRING_H
#define KIV_WSTRING_H

#include <kiv/export.h>

namespace kiv {

/// A growable string of wchar_t characters with value semantics.
///
/// Short texts (up to kInlineCapacity characters) live inside the object, so
/// that copying a short message, such as the one of an out-of-memory
/// exception, never allocates. Longer texts live in one heap block owned by
/// the string. A failed allocation throws kiv::CExhaustedMemoryException and
/// leaves the string as it was.
class KIV0LANG_API WString {
public:
    /// Creates an empty string.
    WString();
    /// Copies a NUL-terminated text; a null pointer gives the empty string.
    WString(const wchar_t *text);
    WString(const WString &other);
    WString(WString &&other) noexcept;
    WString &operator=(const WString &other);
    WString &operator=(WString &&other) noexcept;
    ~WString();

    /// Makes the string exactly `length` characters long and returns a
    /// writable buffer of that many characters (the terminating NUL is kept
    /// by the string). Characters that were already there are kept; new ones
    /// are L'\0' until the caller writes them. A negative length counts as 0.
    wchar_t *GetBufferSetLength(int length);

    /// Returns the NUL-terminated text; never null.
    const wchar_t *c_str() const;
    /// Returns the number of characters.
    int GetLength() const;

    /// True when both strings have the same length and characters.
    bool operator==(const WString &other) const;
    bool operator!=(const WString &other) const;

private:
    static constexpr int kInlineCapacity = 15;

    bool IsInline() const { return m_data == m_inline; }

    wchar_t *m_data;  // m_inline or a heap block of m_capacity + 1 characters
    int m_length;
    int m_capacity;  // characters that fit in m_data, the NUL excluded
    wchar_t m_inline[kInlineCapacity + 1];
};

}  // namespace kiv

#endif  // KIV_WSTRING_H
