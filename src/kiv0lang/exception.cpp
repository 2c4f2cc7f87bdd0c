// src/kiv0lang/exception.cpp: the exception root and the out-of-memory exception.
#include <kiv/exception.h>

#include <cstring>
#include <utility>

namespace kiv {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char kEllipsis[] = "...";

// Writes the UTF-8 form of one code point to `out` and returns its length
// (1 to 4 bytes); surrogates and values beyond U+10FFFF become U+FFFD.
int EncodeUtf8(char32_t c, char *out) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementCharacter;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Fills `out` (IException::kMaxWhatBytes bytes) with the UTF-8 form of the
// wide text, joining UTF-16 surrogate pairs where wchar_t is 16 bits wide.
// A text that does not fit is cut after the last whole character that
// leaves room for the ellipsis.
void FillUtf8(const WString &text, char *out) {
    constexpr int kCapacity = IException::kMaxWhatBytes - 1;  // NUL excluded
    constexpr int kEllipsisBytes = sizeof(kEllipsis) - 1;
    const wchar_t *chars = text.c_str();
    const int length = text.GetLength();
    int used = 0;
    int lastFitWithEllipsis = 0;
    for (int i = 0; i < length; ++i) {
        char32_t c = static_cast<char32_t>(chars[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
            const char32_t low = static_cast<char32_t>(chars[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        char bytes[4];
        const int n = EncodeUtf8(c, bytes);
        if (used + n > kCapacity) {
            std::memcpy(out + lastFitWithEllipsis, kEllipsis, kEllipsisBytes);
            out[lastFitWithEllipsis + kEllipsisBytes] = '\0';
            return;
        }
        std::memcpy(out + used, bytes, n);
        used += n;
        if (used + kEllipsisBytes <= kCapacity) lastFitWithEllipsis = used;
    }
    out[used] = '\0';
}

}  // namespace

IException::IException(const WString &message) : m_message(message) { FillUtf8(m_message, m_what); }
IException::IException(const IException &other)
    : std::exception(other), m_message(other.m_message) {
    std::memcpy(m_what, other.m_what, sizeof m_what);
}
IException::IException(IException &&other) noexcept
    : std::exception(other), m_message(std::move(other.m_message)) {
    std::memcpy(m_what, other.m_what, sizeof m_what);
}
IException &IException::operator=(const IException &other) {
    m_message = other.m_message;
    std::memcpy(m_what, other.m_what, sizeof m_what);
    return *this;
}
IException &IException::operator=(IException &&other) noexcept {
    m_message = std::move(other.m_message);
    std::memcpy(m_what, other.m_what, sizeof m_what);
    return *this;
}
IException::~IException() = default;

const WString &IException::GetMessage() const { return m_message; }

const char *IException::what() const noexcept { return m_what; }

// The text fits the string's inline storage, so throwing this exception
// never needs the memory that just ran out.
CExhaustedMemoryException::CExhaustedMemoryException() : IException(L"Out of memory") {}
CExhaustedMemoryException::CExhaustedMemoryException(const CExhaustedMemoryException &other) =
    default;
CExhaustedMemoryException::~CExhaustedMemoryException() = default;

}  // namespace kiv
