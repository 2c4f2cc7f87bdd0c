// src/kiv0lang/print.cpp: kiv_wprintf, wide formatting written to stdout as UTF-8.
#include <kiv/print.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

namespace {

// Formatting doubles the buffer until the text fits. vswprintf reports a
// too-small buffer and an encoding error alike, so growth stops here.
constexpr std::size_t kInitialChars = 256;
constexpr std::size_t kMaxChars = std::size_t{1} << 28;

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of one code point; surrogates and values beyond
// U+10FFFF become U+FFFD.
void AppendUtf8(std::string &out, char32_t c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementCharacter;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Converts wide text to UTF-8, joining UTF-16 surrogate pairs where wchar_t
// is 16 bits wide.
std::string ToUtf8(const wchar_t *text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
            const char32_t low = static_cast<char32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace

int kiv_wprintf(const wchar_t *format, ...) {
    if (format == nullptr) return -1;
    try {
        std::size_t capacity = kInitialChars;
        for (;;) {
            std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[capacity]);
            if (!buffer) return -1;
            va_list args;
            va_start(args, format);
            const int written = std::vswprintf(buffer.get(), capacity, format, args);
            va_end(args);
            if (written >= 0) {
                const std::string utf8 = ToUtf8(buffer.get(), static_cast<std::size_t>(written));
                // fwrite keeps stdout byte-oriented, so printf may follow.
                if (std::fwrite(utf8.data(), 1, utf8.size(), stdout) != utf8.size()) return -1;
                return written;
            }
            if (capacity >= kMaxChars) return -1;
            capacity *= 2;
        }
    } catch (const std::bad_alloc &) {
        return -1;
    }
}
