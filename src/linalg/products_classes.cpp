// src/linalg/products_classes.cpp: Trace, Dot and Cross of complex and single arrays.
#include <matrix/linalg.h>

#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <complex>
#include <cstddef>

#include "core/array_holder.h"
#include "kernels/scalar_types.h"
#include "linalg/class_operands.h"
#include "linalg/complex_storage.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {
namespace linalg {

namespace {

using kernels::RealType;

// Element i of A (of T's real class) as T; a real A's imaginary part is 0.
template <class T>
T At(const CMatrix *A, std::size_t i) {
    using R = RealType<T>;
    const R re = static_cast<const R *>(A->GetPr())[i];
    if constexpr (kernels::kIsComplex<T>) {
        const R *im = static_cast<const R *>(A->GetPi());
        return T(re, im != nullptr ? im[i] : R(0));
    } else {
        return re;
    }
}

template <class T>
T Add(T x, T y) {
    if constexpr (kernels::kIsComplex<T>) {
        return T(x.real() + y.real(), x.imag() + y.imag());
    } else {
        return x + y;
    }
}

template <class T>
ArrayHolder Create(const unsigned int *dims, mxClassID id) {
    return ArrayHolder(mxCreateNumericArray(
        2, dims, id, kernels::kIsComplex<T> ? mxComplexityComplex : mxComplexityReal));
}

template <class T>
void Put(CMatrix *out, std::size_t i, T x) {
    using R = RealType<T>;
    if constexpr (kernels::kIsComplex<T>) {
        static_cast<R *>(out->GetPr())[i] = x.real();
        static_cast<R *>(out->GetPi())[i] = x.imag();
    } else {
        static_cast<R *>(out->GetPr())[i] = x;
    }
}

template <class Run>
auto ByType(mxClassID id, bool complex, Run run) {
    if (id == mxClassSingle) return complex ? run(std::complex<float>{}) : run(float{});
    return complex ? run(std::complex<double>{}) : run(double{});
}

}  // namespace

CMatrix *TraceClasses(const CMatrix *A) {
    RequireTwoDimensions(A);
    RequireFloatingClass(A, L"Trace");
    const std::size_t n = Rows(A);
    if (n != Columns(A)) throw CMatrixMustBeSquareException();
    const mxClassID id = WorkingClass(A);
    const InClass a(A, id);
    return ByType(id, a->IsComplex(), [&](auto t) {
        using T = decltype(t);
        T sum = T(0);
        for (std::size_t i = 0; i < n; ++i) sum = Add(sum, At<T>(a.get(), i * n + i));
        const unsigned int one[2] = {1, 1};
        ArrayHolder S = Create<T>(one, id);
        Put(S.get(), 0, sum);
        return S.release();
    });
}

CMatrix *DotClasses(const CMatrix *A, const CMatrix *B) {
    RequireFloatingClass(A, L"Dot");
    RequireFloatingClass(B, L"Dot");
    const bool vectors = A->IsVector() && B->IsVector() && A->GetNoElems() == B->GetNoElems();
    if (!vectors && (Rows(A) != Rows(B) || Columns(A) != Columns(B)))
        throw CMatrixDimsMustAgreeException();
    const mxClassID id = WorkingClass(A, B);
    const InClass a(A, id);
    const InClass b(B, id);
    // Two vectors give one sum; matrices one per column (the 0 x 0 pair 0).
    const std::size_t m = vectors ? A->GetNoElems() : Rows(A);
    const std::size_t columns = vectors || A->IsEmpty() ? 1 : Columns(A);
    const bool empty = !vectors && A->IsEmpty();
    return ByType(id, a->IsComplex() || b->IsComplex(), [&](auto t) {
        using T = decltype(t);
        const unsigned int dims[2] = {1, static_cast<unsigned int>(columns)};
        ArrayHolder D = Create<T>(dims, id);
        for (std::size_t j = 0; j < columns; ++j) {
            T sum = T(0);
            for (std::size_t i = 0; !empty && i < m; ++i)
                sum = Add(sum, kernels::ConjMul(At<T>(a.get(), j * m + i), At<T>(b.get(), j * m + i)));
            Put(D.get(), j, sum);
        }
        return D.release();
    });
}

CMatrix *CrossClasses(const CMatrix *A, const CMatrix *B) {
    RequireFloatingClass(A, L"Cross");
    RequireFloatingClass(B, L"Cross");
    const bool same = A->GetNoDimensions() == 2 && B->GetNoDimensions() == 2 && Rows(A) == Rows(B) &&
                      Columns(A) == Columns(B);
    if (!same || A->GetNoElems() != 3 || !A->IsVector()) {
        throw CFunctionErrorException(
            L"A and B must be of length 3 in the dimension in which the cross product is taken");
    }
    const mxClassID id = WorkingClass(A, B);
    const InClass a(A, id);
    const InClass b(B, id);
    return ByType(id, a->IsComplex() || b->IsComplex(), [&](auto t) {
        using T = decltype(t);
        T x[3], y[3];
        for (std::size_t i = 0; i < 3; ++i) {
            x[i] = At<T>(a.get(), i);
            y[i] = At<T>(b.get(), i);
        }
        ArrayHolder R = Create<T>(A->GetDimensions(), id);
        for (std::size_t i = 0; i < 3; ++i) {
            const std::size_t p = (i + 1) % 3, q = (i + 2) % 3;
            const T u = kernels::Mul(x[p], y[q]), v = kernels::Mul(x[q], y[p]);
            if constexpr (kernels::kIsComplex<T>) {
                Put(R.get(), i, T(u.real() - v.real(), u.imag() - v.imag()));
            } else {
                Put(R.get(), i, u - v);
            }
        }
        return R.release();
    });
}

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv
