// src/array/array.cpp: construction, reading out and element stores of Array.
#include <matrix/array.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace kiv {
namespace matrix {

void Array::ThrowNullArray() { throw CFunctionErrorException(L"Null array"); }
void Array::ThrowNotImplemented() { throw CNotImplementedException(); }
void Array::ThrowNonPositive() { throw CIndexIntoMatrixNegativeOrZeroException(); }
void Array::ThrowExceeds() { throw CIndexExceedsMatrixDimensionsException(); }

Array::Array() : m_a(mxCreateDoubleMatrix(0, 0, mxComplexityReal)) {}

Array::Array(double x) : m_a(matrix::Scalar(x)) {}

Array::Array(const double *row, std::size_t n, RowTag)
    : m_a(n > UINT32_MAX ? throw kiv::CExhaustedMemoryException()
                         : mxDoubleMatrix(1, static_cast<unsigned int>(n), row, nullptr)) {}

long long Array::WholePosition(double x) {
    if (!(x == std::floor(x)))
        throw CFunctionErrorException(
            L"Subscript indices must either be real positive integers or logicals.");
    // 2^63 and beyond: past every array's end; far below zero: not positive.
    if (x >= 9223372036854775808.0) return LLONG_MAX;
    if (x < -9223372036854775808.0) return LLONG_MIN;
    return static_cast<long long>(x);
}

Array::Array(std::initializer_list<std::initializer_list<double>> rows) : m_a(nullptr) {
    const unsigned int m = static_cast<unsigned int>(rows.size());
    const unsigned int n = m ? static_cast<unsigned int>(rows.begin()->size()) : 0;
    for (const auto &row : rows) {
        if (row.size() != n) throw CAllRowsMustHaveSameColumns();
    }
    m_a = mxCreateDoubleMatrix(m, n, mxComplexityReal);
    // The lists come by rows; the array stores columns.
    double *pr = mxGetPr(m_a);
    unsigned int i = 0;
    for (const auto &row : rows) {
        unsigned int j = 0;
        for (double x : row) pr[static_cast<std::size_t>(j++) * m + i] = x;
        ++i;
    }
}

// A column of 2^32 values or more is a length outside the data model; it
// must not pass for the length it wraps to.
Array::Array(const std::vector<double> &column)
    : m_a(column.size() > UINT32_MAX ? throw kiv::CExhaustedMemoryException()
                                     : mxDoubleMatrix(static_cast<unsigned int>(column.size()), 1,
                                                      column.data(), nullptr)) {}

Array::Array(unsigned int m, unsigned int n, const std::vector<double> &values) : m_a(nullptr) {
    if (values.size() != static_cast<std::size_t>(m) * n)
        throw CFunctionErrorException(L"The number of values does not match the size");
    m_a = mxDoubleMatrix(m, n, values.data(), nullptr);
}

Array::Array(unsigned int m, unsigned int n, const double *values)
    : m_a(mxDoubleMatrix(m, n, values, nullptr)) {}

Array::Array(const char *text) : m_a(mxCreateString(text)) {}

// The standard containers report exhaustion with std::bad_alloc; callers of
// the library catch kiv::CExhaustedMemoryException.
std::vector<unsigned int> Array::Dims() const {
    const unsigned int *d = m_a->GetDimensions();
    try {
        return std::vector<unsigned int>(d, d + m_a->GetNoDimensions());
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

unsigned int Array::Size(unsigned int dim) const {
    if (dim == 0) ThrowNonPositive();
    return dim <= m_a->GetNoDimensions() ? m_a->GetDimensions()[dim - 1] : 1;
}

double Array::Scalar() const {
    if (m_a->GetNoElems() != 1) throw CFunctionErrorException(L"The array is not a scalar");
    return mxGetScalar(m_a);
}

std::vector<double> Array::ToVector() const {
    const double *pr = Data();
    try {
        return std::vector<double>(pr, pr + m_a->GetNoElems());
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

DoubleSpan Array::MutableData() {
    if (!m_a->IsDouble()) ThrowNotImplemented();
    m_a->GetOwnCopy();
    return {static_cast<double *>(m_a->GetPr()), m_a->GetNoElems()};
}

void Array::SetAt(long long i, double x) {
    const unsigned int n = m_a->GetNoElems();
    if (i >= 1 && static_cast<unsigned long long>(i) <= n && m_a->IsDouble() && !m_a->IsComplex() &&
        !m_a->IsLogical()) {
        m_a->GetOwnCopy();
        static_cast<double *>(m_a->GetPr())[i - 1] = x;
        return;
    }
    (*this)(Subscript(i)) = x;
}

void Array::SetAt(long long i, long long j, double x) {
    const unsigned int n = m_a->GetNoElems();
    const unsigned long long m = m_a->GetDimensions()[0];
    if (i >= 1 && j >= 1 && static_cast<unsigned long long>(i) <= m &&
        static_cast<unsigned long long>(j) <= (m ? n / m : 0) && m_a->IsDouble() &&
        !m_a->IsComplex() && !m_a->IsLogical()) {
        m_a->GetOwnCopy();
        static_cast<double *>(m_a->GetPr())[(j - 1) * m + (i - 1)] = x;
        return;
    }
    (*this)(Subscript(i), Subscript(j)) = x;
}

RangeSpec::operator Array() const {
    if (first.fromEnd || step.fromEnd || last.fromEnd)
        throw CFunctionErrorException(L"End is only valid in a subscript");
    return Array::Adopt(Colon(first.value, step.value, last.value));
}

}  // namespace matrix
}  // namespace kiv
