// src/index/iterators.cpp: iterators over index arrays and masks of class double or uint32.
#include <matrix/iterators.h>

#include <matrix/exceptions.h>

#include <cstdint>
#include <cstring>

#include "index/positions.h"

namespace kiv {
namespace matrix {

namespace {

template <typename T>
T Read(const char *&cursor) {
    T value;
    std::memcpy(&value, cursor, sizeof value);
    cursor += sizeof value;
    return value;
}

}  // namespace

CMatrixIndexIterator::CMatrixIndexIterator(const CMatrix *index)
    : m_reader(nullptr), m_cursor(static_cast<const char *>(index->GetPr())) {
    switch (index->GetClassID()) {
        case mxClassDouble: m_reader = &GetNextIndexDouble; break;
        case mxClassUint32: m_reader = &GetNextIndexUint32; break;
        default: throw CNotImplementedException();
    }
}

CMatrixIndexIterator &CMatrixIndexIterator::operator=(const CMatrixIndexIterator &other) = default;
CMatrixIndexIterator &CMatrixIndexIterator::operator=(CMatrixIndexIterator &&other) = default;

unsigned int CMatrixIndexIterator::GetNextIndex() { return m_reader(m_cursor); }

unsigned int CMatrixIndexIterator::GetNextIndexDouble(const char *&cursor) {
    return DoubleIndexToPosition(Read<double>(cursor));
}

unsigned int CMatrixIndexIterator::GetNextIndexUint32(const char *&cursor) {
    return Read<std::uint32_t>(cursor);
}

CMatrixLogicalIterator::CMatrixLogicalIterator(const CMatrix *mask)
    : m_reader(nullptr), m_cursor(static_cast<const char *>(mask->GetPr())) {
    switch (mask->GetClassID()) {
        case mxClassDouble: m_reader = &GetNextLogicalDouble; break;
        case mxClassUint32: m_reader = &GetNextLogicalUint32; break;
        default: throw CNotImplementedException();
    }
}

CMatrixLogicalIterator &CMatrixLogicalIterator::operator=(const CMatrixLogicalIterator &other) =
    default;
CMatrixLogicalIterator &CMatrixLogicalIterator::operator=(CMatrixLogicalIterator &&other) = default;

bool CMatrixLogicalIterator::GetNextLogical() { return m_reader(m_cursor); }

bool CMatrixLogicalIterator::GetNextLogicalDouble(const char *&cursor) {
    return Read<double>(cursor) != 0.0;
}

bool CMatrixLogicalIterator::GetNextLogicalUint32(const char *&cursor) {
    return Read<std::uint32_t>(cursor) != 0;
}

}  // namespace matrix
}  // namespace kiv
