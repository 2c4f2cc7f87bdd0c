// src/kiv0lang/wstring.cpp: the wide string.
#include <kiv/wstring.h>

#include <kiv/exception.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

namespace kiv {

namespace {

// Returns a heap block for `capacity` characters and the NUL.
wchar_t *AllocateChars(int capacity) {
    const std::size_t count = static_cast<std::size_t>(capacity) + 1;
    auto *block = static_cast<wchar_t *>(::operator new(count * sizeof(wchar_t), std::nothrow));
    if (block == nullptr) throw CExhaustedMemoryException();
    return block;
}

}  // namespace

WString::WString() : m_data(m_inline), m_length(0), m_capacity(kInlineCapacity) {
    m_inline[0] = L'\0';
}

WString::WString(const wchar_t *text) : WString() {
    if (text == nullptr) return;
    const std::size_t length = std::wcslen(text);
    if (length > static_cast<std::size_t>(INT_MAX - 1)) throw CExhaustedMemoryException();
    std::wmemcpy(GetBufferSetLength(static_cast<int>(length)), text, length);
}

WString::WString(const WString &other) : WString() {
    std::wmemcpy(GetBufferSetLength(other.m_length), other.m_data,
                 static_cast<std::size_t>(other.m_length));
}

WString::WString(WString &&other) noexcept : WString() {
    if (other.IsInline()) {
        std::wmemcpy(m_inline, other.m_inline, static_cast<std::size_t>(other.m_length) + 1);
        m_length = other.m_length;
    } else {
        m_data = other.m_data;
        m_length = other.m_length;
        m_capacity = other.m_capacity;
        other.m_data = other.m_inline;
        other.m_capacity = kInlineCapacity;
    }
    other.m_length = 0;
    other.m_inline[0] = L'\0';
}

WString &WString::operator=(const WString &other) {
    if (this != &other) {
        WString copy(other);
        *this = std::move(copy);
    }
    return *this;
}

WString &WString::operator=(WString &&other) noexcept {
    if (this != &other) {
        this->~WString();
        new (this) WString(std::move(other));
    }
    return *this;
}

WString::~WString() {
    if (!IsInline()) ::operator delete(m_data);
}

wchar_t *WString::GetBufferSetLength(int length) {
    if (length < 0) length = 0;
    if (length > m_capacity) {
        // Grow geometrically so that repeated appends stay linear.
        int capacity = m_capacity;
        while (capacity < length) {
            capacity = capacity > INT_MAX / 2 - 1 ? INT_MAX - 1 : capacity * 2 + 1;
        }
        wchar_t *block = AllocateChars(capacity);
        std::wmemcpy(block, m_data, static_cast<std::size_t>(m_length));
        if (!IsInline()) ::operator delete(m_data);
        m_data = block;
        m_capacity = capacity;
    }
    if (length > m_length) {
        std::wmemset(m_data + m_length, L'\0', static_cast<std::size_t>(length - m_length));
    }
    m_length = length;
    m_data[m_length] = L'\0';
    return m_data;
}

const wchar_t *WString::c_str() const { return m_data; }

int WString::GetLength() const { return m_length; }

bool WString::operator==(const WString &other) const {
    return m_length == other.m_length &&
           std::wmemcmp(m_data, other.m_data, static_cast<std::size_t>(m_length)) == 0;
}

bool WString::operator!=(const WString &other) const { return !(*this == other); }

}  // namespace kiv
