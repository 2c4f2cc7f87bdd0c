// src/kiv0lang/exception.cpp: the exception root and the out-of-memory exception.
#include <kiv/exception.h>

#include <utility>

namespace kiv {

IException::IException(const WString &message) : m_message(message) {}
IException::IException(const IException &other) = default;
IException::IException(IException &&other) noexcept : m_message(std::move(other.m_message)) {}
IException &IException::operator=(const IException &other) = default;
IException &IException::operator=(IException &&other) noexcept {
    m_message = std::move(other.m_message);
    return *this;
}
IException::~IException() = default;

const WString &IException::GetMessage() const { return m_message; }

// The text fits the string's inline storage, so throwing this exception
// never needs the memory that just ran out.
CExhaustedMemoryException::CExhaustedMemoryException() : IException(L"Out of memory") {}
CExhaustedMemoryException::CExhaustedMemoryException(const CExhaustedMemoryException &other) =
    default;
CExhaustedMemoryException::~CExhaustedMemoryException() = default;

}  // namespace kiv
