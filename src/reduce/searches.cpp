// src/reduce/searches.cpp: Nnz, Find, Isequal and Tobool.
#include <matrix/reduce.h>

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/array_holder.h"
#include "core/operand_checks.h"

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

// The arrays that are not real double are searched through their truth:
// a logical array of A's shape, true where an element is not zero (for a
// complex element, where either part is not). Cell, struct and sparse
// arrays are refused.
ArrayHolder Truth(const CMatrix *A) {
    if (!A->IsNumeric() || A->IsSparse()) throw CNotImplementedException();
    return ArrayHolder(Ne(A, 0.0));
}

// True for an element of the array `a` (any numeric class) at index i and
// one of `b` at index j that have the same value: see Isequal.
__extension__ typedef __int128 Wide;  // every 64-bit integer, signed or not

struct Number {
    bool whole;  // an integer class or char: `integer` holds the value
    Wide integer;
    double real;  // otherwise the real part
    double imag;
};

Number ReadNumber(const CMatrix *a, std::size_t i) {
    const void *re = a->GetPr();
    const void *im = a->GetPi();
    Number x{true, 0, 0.0, 0.0};
    const auto read = [&](auto element) -> void {
        using T = decltype(element);
        const T value = static_cast<const T *>(re)[i];
        if constexpr (std::is_floating_point_v<T>) {
            x.whole = false;
            x.real = static_cast<double>(value);
        } else {
            x.integer = value;
        }
        if (im != nullptr) x.imag = static_cast<double>(static_cast<const T *>(im)[i]);
    };
    switch (a->GetClassID()) {
        case mxClassDouble: read(double{}); break;
        case mxClassSingle: read(float{}); break;
        case mxClassInt8: read(std::int8_t{}); break;
        case mxClassUint8: read(std::uint8_t{}); break;
        case mxClassInt16: read(std::int16_t{}); break;
        case mxClassChar:
        case mxClassUint16: read(std::uint16_t{}); break;
        case mxClassInt32: read(std::int32_t{}); break;
        case mxClassUint32: read(std::uint32_t{}); break;
        case mxClassInt64: read(std::int64_t{}); break;
        case mxClassUint64: read(std::uint64_t{}); break;
        default: throw CNotImplementedException();
    }
    return x;
}

// A whole number and a double are equal when the double is that whole
// number exactly (a NaN never is).
bool SameValue(Wide whole, double d) {
    constexpr double kTwo64 = 18446744073709551616.0;
    if (!(d == std::trunc(d)) || !(std::fabs(d) < kTwo64)) return false;
    return static_cast<Wide>(d) == whole;
}

bool SameNumber(const Number &x, const Number &y) {
    if (!(x.imag == y.imag)) return false;
    if (x.whole && y.whole) return x.integer == y.integer;
    if (x.whole) return SameValue(x.integer, y.real);
    if (y.whole) return SameValue(y.integer, x.real);
    return x.real == y.real;
}

bool SameShape(const CMatrix *a, const CMatrix *b) {
    const std::uint32_t nDims = a->GetNoDimensions();
    return b->GetNoDimensions() == nDims &&
           std::memcmp(a->GetDimensions(), b->GetDimensions(), nDims * sizeof(unsigned int)) == 0;
}

bool IsEmptySlot(const CMatrix *a) {
    return a == nullptr || (a->IsNumeric() && a->GetNoElems() == 0 && a->GetNoDimensions() == 2 &&
                            a->GetDimensions()[0] == 0 && a->GetDimensions()[1] == 0);
}

// Two arrays equal as Isequal says; cells slot by slot, an empty slot equal
// to a 0x0 array of numbers.
bool Equal(const CMatrix *a, const CMatrix *b) {
    if (a == nullptr || b == nullptr) return IsEmptySlot(a) && IsEmptySlot(b);
    if (!SameShape(a, b)) return false;
    if (a->IsCell() || b->IsCell()) {
        if (!a->IsCell() || !b->IsCell()) return false;
        for (std::uint32_t i = 0, n = a->GetNoElems(); i < n; ++i) {
            if (!Equal(mxGetCell(a, i), mxGetCell(b, i))) return false;
        }
        return true;
    }
    if (!a->IsNumeric() || a->IsSparse() || !b->IsNumeric() || b->IsSparse())
        throw CNotImplementedException();
    const std::uint32_t count = a->GetNoElems();
    if (a->GetClassID() == mxClassDouble && b->GetClassID() == mxClassDouble &&
        a->GetPi() == nullptr && b->GetPi() == nullptr) {
        const double *x = DoubleData(a);
        const double *y = DoubleData(b);
        // Equal values compare equal; a NaN on either side compares unequal.
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!(x[i] == y[i])) return false;
        }
        return true;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!SameNumber(ReadNumber(a, i), ReadNumber(b, i))) return false;
    }
    return true;
}

}  // namespace

unsigned int Nnz(const CMatrix *A) {
    const std::uint32_t n = A->GetNoElems();
    std::uint32_t count = 0;
    if (IsRealDouble(A)) {
        const double *p = DoubleData(A);
        for (std::uint32_t i = 0; i < n; ++i) count += p[i] != 0.0;
        return count;
    }
    const ArrayHolder truth = Truth(A);
    const double *p = DoubleData(truth.get());
    for (std::uint32_t i = 0; i < n; ++i) count += p[i] != 0.0;
    return count;
}

CMatrix *Find(const CMatrix *A) {
    if (!IsRealDouble(A)) return Find(Truth(A).get());
    const std::uint32_t k = Nnz(A);
    if (k == 0) return mxCreateDoubleMatrix(0, 0, mxComplexityReal);

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
    if (!IsRealDouble(A)) {
        Find(R, C, Truth(A).get());
        return;
    }
    const std::uint32_t k = Nnz(A);
    if (k == 0) {
        ArrayHolder rows(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        C = mxCreateDoubleMatrix(0, 0, mxComplexityReal);
        R = rows.release();
        return;
    }
    ArrayHolder rows(NewPositionArray(A, k));
    ArrayHolder columns(NewPositionArray(A, k));

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
        // Elements are copied as they are, in whatever class.
        const std::size_t size = A->GetElementSize();
        const std::uint32_t m = A->GetDimensions()[0];
        const double *r = mxGetPr(rows.get());
        const double *c = mxGetPr(columns.get());
        const char *re = static_cast<const char *>(A->GetPr());
        const char *im = static_cast<const char *>(A->GetPi());
        char *vr = static_cast<char *>(values->GetPr());
        char *vi = static_cast<char *>(values->GetPi());
        for (std::uint32_t j = 0; j < k; ++j) {
            const std::size_t at =
                (static_cast<std::size_t>(c[j]) - 1) * m + (static_cast<std::size_t>(r[j]) - 1);
            std::memcpy(vr + j * size, re + at * size, size);
            if (im != nullptr) std::memcpy(vi + j * size, im + at * size, size);
        }
    }
    R = rows.release();
    C = columns.release();
    V = values.release();
}

bool Isequal(unsigned int n, const CMatrix **arrays) {
    if (n < 2) throw CFunctionErrorException(L"Not enough input arguments");
    for (unsigned int k = 1; k < n; ++k) {
        if (!Equal(arrays[0], arrays[k])) return false;
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
    // A complex element is zero only when both of its parts are.
    if (A->IsComplex()) {
        const ArrayHolder truth = Truth(A);
        return !AnyZero<double>(truth->GetPr(), n);
    }
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
