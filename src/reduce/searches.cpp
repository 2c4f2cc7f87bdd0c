// src/reduce/searches.cpp: Nnz, Find, Isequal and Tobool.
#include <matrix/reduce.h>

#include <matrix/exceptions.h>
#include <matrix/iterators.h>
#include <matrix/mx.h>

#include <cstdint>
#include <cstring>

#include "core/array_holder.h"

namespace kiv {
namespace matrix {

namespace {

const double *DoubleData(const CMatrix *a) { return static_cast<const double *>(a->GetPr()); }

// A k-element result of Find: a row when A has exactly one row, else a column.
CMatrix *NewPositionArray(const CMatrix *A, std::uint32_t k) {
    return A->GetDimensions()[0] == 1 ? mxCreateDoubleMatrix(1, k, mxComplexityReal)
                                      : mxCreateDoubleMatrix(k, 1, mxComplexityReal);
}

// True when any element of `count` elements of type T at `data` is zero.
template <typename T>
bool AnyZero(const void *data, std::uint32_t count) {
    const T *p = static_cast<const T *>(data);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (p[i] == T(0)) return true;
    }
    return false;
}

}  // namespace

unsigned int Nnz(const CMatrix *A) {
    const std::uint32_t n = A->GetNoElems();
    std::uint32_t count = 0;
    if (A->IsDouble()) {
        const double *p = DoubleData(A);
        for (std::uint32_t i = 0; i < n; ++i) count += p[i] != 0.0;
        return count;
    }
    CMatrixLogicalIterator it(A);
    for (std::uint32_t i = 0; i < n; ++i) count += it.GetNextLogical();
    return count;
}

CMatrix *Find(const CMatrix *A) {
    const std::uint32_t k = Nnz(A);
    if (k == 0) return mxCreateDoubleMatrix(0, 0, mxComplexityReal);
    if (!A->IsDouble()) throw CNotImplementedException();

    CMatrix *result = NewPositionArray(A, k);
    double *out = mxGetPr(result);
    const double *p = DoubleData(A);
    const std::uint32_t n = A->GetNoElems();
    for (std::uint32_t i = 0, j = 0; i < n; ++i) {
        if (p[i] != 0.0) out[j++] = i + 1.0;
    }
    return result;
}

void Find(CMatrix *&R, CMatrix *&C, const CMatrix *A) {
    R = nullptr;
    C = nullptr;
    const std::uint32_t k = Nnz(A);
    if (k == 0) {
        ArrayHolder rows(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        C = mxCreateDoubleMatrix(0, 0, mxComplexityReal);
        R = rows.release();
        return;
    }
    ArrayHolder rows(NewPositionArray(A, k));
    ArrayHolder columns(NewPositionArray(A, k));
    if (!A->IsDouble()) throw CNotImplementedException();

    // Trailing dimensions fold into the columns.
    const std::uint32_t m = A->GetDimensions()[0];
    const std::uint32_t n = A->GetNoElems() / m;
    const double *p = DoubleData(A);
    double *r = mxGetPr(rows.get());
    double *c = mxGetPr(columns.get());
    std::uint32_t j = 0;
    for (std::uint32_t col = 0; col < n; ++col, p += m) {
        for (std::uint32_t row = 0; row < m; ++row) {
            if (p[row] != 0.0) {
                r[j] = row + 1.0;
                c[j] = col + 1.0;
                ++j;
            }
        }
    }
    R = rows.release();
    C = columns.release();
}

void Find(CMatrix *&R, CMatrix *&C, CMatrix *&V, const CMatrix *A) {
    V = nullptr;
    Find(R, C, A);
    ArrayHolder rows(R), columns(C);
    R = nullptr;
    C = nullptr;

    const std::uint32_t k = rows->GetNoElems();
    ArrayHolder values(mxCreateNumericArray(rows->GetNoDimensions(), rows->GetDimensions(),
                                            A->GetClassID(), A->GetComplexity()));
    if (k > 0) {
        if (!A->IsDouble()) throw CNotImplementedException();
        const std::uint32_t m = A->GetDimensions()[0];
        const double *r = mxGetPr(rows.get());
        const double *c = mxGetPr(columns.get());
        const double *re = DoubleData(A);
        const double *im = mxGetPi(A);
        double *vr = mxGetPr(values.get());
        double *vi = mxGetPi(values.get());
        for (std::uint32_t j = 0; j < k; ++j) {
            const std::size_t at =
                (static_cast<std::size_t>(c[j]) - 1) * m + (static_cast<std::size_t>(r[j]) - 1);
            vr[j] = re[at];
            if (im != nullptr) vi[j] = im[at];
        }
    }
    R = rows.release();
    C = columns.release();
    V = values.release();
}

bool Isequal(unsigned int n, const CMatrix **arrays) {
    if (n < 2) throw CFunctionErrorException(L"Not enough input arguments");
    const CMatrix *first = arrays[0];
    const std::uint32_t nDims = first->GetNoDimensions();
    for (unsigned int k = 1; k < n; ++k) {
        const CMatrix *other = arrays[k];
        if (other->GetNoDimensions() != nDims || other->GetClassID() != first->GetClassID() ||
            std::memcmp(other->GetDimensions(), first->GetDimensions(),
                        nDims * sizeof(unsigned int)) != 0) {
            return false;
        }
    }
    if (!first->IsDouble()) throw CNotImplementedException();

    const std::uint32_t count = first->GetNoElems();
    const double *a = DoubleData(first);
    for (unsigned int k = 1; k < n; ++k) {
        const double *b = DoubleData(arrays[k]);
        // Equal values compare equal; a NaN on either side compares unequal.
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!(a[i] == b[i])) return false;
        }
    }
    return true;
}

bool Isequal(const CMatrix *A, const CMatrix *B) {
    const CMatrix *arrays[] = {A, B};
    return Isequal(2, arrays);
}

bool Tobool(const CMatrix *A) {
    const std::uint32_t n = A->GetNoElems();
    if (n == 0) return false;
    if (!A->IsNumeric()) throw CNotImplementedException();
    if (n == 1) {
        const double x = mxGetScalar(A);
        return x != 0.0;  // NaN is true
    }
    // Each element is tested in its own class: reading narrower elements as
    // doubles would mix neighbouring elements into one value.
    const void *p = A->GetPr();
    switch (A->GetClassID()) {
        case mxClassDouble: return !AnyZero<double>(p, n);
        case mxClassSingle: return !AnyZero<float>(p, n);
        case mxClassUint8: return !AnyZero<std::uint8_t>(p, n);
        case mxClassInt8: return !AnyZero<std::int8_t>(p, n);
        case mxClassChar:
        case mxClassUint16: return !AnyZero<std::uint16_t>(p, n);
        case mxClassInt16: return !AnyZero<std::int16_t>(p, n);
        case mxClassUint32: return !AnyZero<std::uint32_t>(p, n);
        case mxClassInt32: return !AnyZero<std::int32_t>(p, n);
        case mxClassUint64: return !AnyZero<std::uint64_t>(p, n);
        case mxClassInt64: return !AnyZero<std::int64_t>(p, n);
        default: throw CNotImplementedException();  // no element data to test
    }
}

}  // namespace matrix
}  // namespace kiv
