// src/linalg/lu_classes.cpp: LU, determinants and square solves of complex and single matrices.
#include <matrix/linalg.h>
#include <matrix/linalg_extra.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/order.h>

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/array_holder.h"
#include "kernels/lu_classes.h"
#include "kernels/lu_kernel.h"
#include "kernels/scalar_types.h"
#include "linalg/class_operands.h"
#include "linalg/complex_storage.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {
namespace linalg {

namespace {

using kernels::RealType;

// Scratch elements of T: complex ones live in a buffer of twice as many
// reals, the layout std::complex guarantees.
template <class T>
class Elements {
public:
    explicit Elements(std::size_t n) : m_reals(kernels::kIsComplex<T> ? 2 * n : n) {}
    T *Get() const { return reinterpret_cast<T *>(m_reals.Get()); }

private:
    Scratch<RealType<T>> m_reals;
};

// Workspace for the blocked path of a complex factorisation of order n
// (none for a real one).
template <class T>
class BlockedWork {
public:
    explicit BlockedWork(std::size_t n)
        : m_reals(kernels::kIsComplex<T> ? kernels::typed::BlockedWorkspace(n) : 0) {}
    RealType<T> *Get() const { return m_reals.Get(); }

private:
    Scratch<RealType<T>> m_reals;
};

// The n x n (or rows x cols) array of class id, complex for a complex T.
template <class T>
ArrayHolder Create(std::size_t rows, std::size_t cols, mxClassID id) {
    const unsigned int dims[2] = {static_cast<unsigned int>(rows),
                                  static_cast<unsigned int>(cols)};
    return ArrayHolder(mxCreateNumericArray(
        2, dims, id, kernels::kIsComplex<T> ? mxComplexityComplex : mxComplexityReal));
}

// A's count elements as T (A of T's real class; a real A gets imaginary
// parts 0 for a complex T).
template <class T>
void Load(const CMatrix *A, T *to, std::size_t count) {
    if constexpr (kernels::kIsComplex<T>) {
        Interleave<RealType<T>>(A, to, count);
    } else {
        const T *from = static_cast<const T *>(A->GetPr());
        std::copy(from, from + count, to);
    }
}

// count elements into out, from its element `first` on.
template <class T>
void Store(const T *from, CMatrix *out, std::size_t count, std::size_t first = 0) {
    if constexpr (kernels::kIsComplex<T>) {
        Split<RealType<T>>(from, out, count, first);
    } else {
        std::copy(from, from + count, static_cast<T *>(out->GetPr()) + first);
    }
}

// Drops the imaginary part of a result of the arithmetic operators when it
// is all zero, as the element-wise arithmetic does.
template <class R>
void RealWhenPossible(CMatrix *X) {
    const R *im = static_cast<const R *>(X->GetPi());
    if (im == nullptr) return;
    for (std::size_t i = 0, n = X->GetNoElems(); i < n; ++i)
        if (im[i] != 0) return;
    X->ToReal();
}

// Calls run(T{}) with T the element type of class id, complex or not.
template <class Run>
auto ByType(mxClassID id, bool complex, Run run) {
    if (id == mxClassSingle) {
        return complex ? run(std::complex<float>{}) : run(float{});
    }
    return complex ? run(std::complex<double>{}) : run(double{});
}

template <class T>
void FactorLu(const CMatrix *A, CMatrix *&L, CMatrix *&U, CMatrix **P, mxClassID id) {
    using R = RealType<T>;
    const std::size_t n = Rows(A);
    ArrayHolder l = Create<T>(n, n, id), u = Create<T>(n, n, id), p;
    if (P != nullptr) p = Create<R>(n, n, id);
    if (n > 0) {
        Elements<T> lu(n * n);
        Load(A, lu.Get(), n * n);
        Scratch<std::int32_t> ipiv(n);
        Scratch<R> scale(n);
        int parity;
        const BlockedWork<T> work(n);
        kernels::typed::LuCrout(n, lu.Get(), n, ipiv.Get(), parity, scale.Get(),
                                kernels::KernelPath::kFastest, work.Get());
        Scratch<std::uint32_t> perm(n);
        kernels::PivotsToPermutation(n, ipiv.Get(), perm.Get());
        // U: the upper triangle, zeros below. L: the multipliers below a
        // unit diagonal, row i of P*A's L at row perm[i] in the two-output
        // form (A = L*U).
        Elements<T> column(n);
        for (std::size_t j = 0; j < n; ++j) {
            const T *c = lu.Get() + j * n;
            for (std::size_t i = 0; i < n; ++i) column.Get()[i] = i <= j ? c[i] : T(0);
            Store(column.Get(), u.get(), n, j * n);
            for (std::size_t i = 0; i < n; ++i) {
                const T value = i > j ? c[i] : T(i == j ? 1 : 0);
                column.Get()[P != nullptr ? i : perm.Get()[i]] = value;
            }
            Store(column.Get(), l.get(), n, j * n);
        }
        if (P != nullptr) {
            R *pp = static_cast<R *>(p->GetPr());
            std::fill(pp, pp + n * n, R(0));
            for (std::size_t i = 0; i < n; ++i) pp[i + perm.Get()[i] * n] = R(1);
        }
    }
    L = l.release();
    U = u.release();
    if (P != nullptr) *P = p.release();
}

template <class T>
CMatrix *Determinant(const CMatrix *A, mxClassID id) {
    using R = RealType<T>;
    const std::size_t n = Rows(A);
    T det = T(1);
    if (n > 0) {
        Elements<T> lu(n * n);
        Load(A, lu.Get(), n * n);
        Scratch<std::int32_t> ipiv(n);
        Scratch<R> scale(n);
        int parity;
        const BlockedWork<T> work(n);
        kernels::typed::LuCrout(n, lu.Get(), n, ipiv.Get(), parity, scale.Get(),
                                kernels::KernelPath::kFastest, work.Get());
        for (std::size_t i = 0; i < n; ++i) det = kernels::Mul(det, lu.Get()[i + i * n]);
        if (parity < 0) det = -det;
    }
    ArrayHolder D = Create<T>(1, 1, id);
    Store(&det, D.get(), 1);
    return D.release();
}

// Whether square A (n x n, as T) is upper or lower triangular, as the
// double solve asks it in the fast order.
enum class Triangle { kUpper, kLower, kNeither };
template <class T>
Triangle TriangleOf(std::size_t n, const T *a) {
    bool upper = true, lower = true;
    for (std::size_t j = 0; j < n && (upper || lower); ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            if (a[i + j * n] == T(0)) continue;
            if (i > j) upper = false;
            if (i < j) lower = false;
        }
    }
    return upper ? Triangle::kUpper : lower ? Triangle::kLower : Triangle::kNeither;
}

template <class T>
CMatrix *SolveSquare(const CMatrix *A, const CMatrix *B, double *rcond, mxClassID id) {
    using R = RealType<T>;
    const std::size_t n = Rows(A), k = Columns(B);
    ArrayHolder X = Create<T>(n, k, id);
    Elements<T> a(n * n), b(n * k), x(n * k), work(3 * n);
    Load(A, a.Get(), n * n);
    Load(B, b.Get(), n * k);
    const Triangle shape = GetOrder() == Order::kFast ? TriangleOf(n, a.Get()) : Triangle::kNeither;
    R estimate = 0;
    if (shape != Triangle::kNeither) {
        const bool lower = shape == Triangle::kLower;
        kernels::typed::TriangularSolve(n, k, lower, a.Get(), n, b.Get(), n, x.Get(), n);
        if (rcond != nullptr) {
            estimate = kernels::typed::TriangularReciprocalCondition(
                n, lower, a.Get(), n, kernels::typed::MatrixNorm1(n, n, a.Get(), n), work.Get());
        }
    } else {
        const R anorm = rcond != nullptr ? kernels::typed::MatrixNorm1(n, n, a.Get(), n) : R(0);
        Scratch<std::size_t> pivot(n);
        Elements<T> r(n);
        const BlockedWork<T> blocked(n);
        kernels::typed::GaussFactor(n, a.Get(), n, pivot.Get(), r.Get(),
                                    kernels::KernelPath::kFastest, blocked.Get());
        kernels::typed::GaussSolveFactored(n, k, a.Get(), n, pivot.Get(), r.Get(), b.Get(), n,
                                           x.Get(), n);
        if (rcond != nullptr) {
            estimate = kernels::typed::GaussReciprocalCondition(n, a.Get(), n, pivot.Get(),
                                                                r.Get(), anorm, work.Get());
        }
    }
    if (rcond != nullptr) *rcond = static_cast<double>(estimate);
    Store(x.Get(), X.get(), n * k);
    RealWhenPossible<R>(X.get());
    return X.release();
}

template <class T>
double ReciprocalCondition(const CMatrix *A) {
    using R = RealType<T>;
    const std::size_t n = Rows(A);
    Elements<T> a(n * n), r(n), work(3 * n);
    Scratch<std::size_t> pivot(n);
    Load(A, a.Get(), n * n);
    const R anorm = kernels::typed::MatrixNorm1(n, n, a.Get(), n);
    const BlockedWork<T> blocked(n);
    kernels::typed::GaussFactor(n, a.Get(), n, pivot.Get(), r.Get(),
                                kernels::KernelPath::kFastest, blocked.Get());
    return static_cast<double>(kernels::typed::GaussReciprocalCondition(
        n, a.Get(), n, pivot.Get(), r.Get(), anorm, work.Get()));
}

// The checks of the square forms, in order, for an operand of another class;
// returns the class it computes in.
mxClassID RequireSquareOfClass(const CMatrix *A, const wchar_t *fn) {
    RequireTwoDimensions(A);
    RequireFloatingClass(A, fn);
    if (Rows(A) != Columns(A)) throw CMatrixMustBeSquareException();
    return WorkingClass(A);
}

}  // namespace

void LuClasses(CMatrix *&L, CMatrix *&U, CMatrix **P, const CMatrix *A) {
    const mxClassID id = RequireSquareOfClass(A, L"Lu");
    const InClass a(A, id);
    if (IsRealDouble(a.get())) {
        // char: its values as a double matrix.
        if (P != nullptr) return Lu(L, U, *P, a.get());
        return Lu(L, U, a.get());
    }
    ByType(id, a->IsComplex(), [&](auto t) {
        FactorLu<decltype(t)>(a.get(), L, U, P, id);
        return 0;
    });
}

CMatrix *DeterminantClasses(const CMatrix *A) {
    RequireTwoDimensions(A);
    RequireFloatingClass(A, L"Det");
    const mxClassID id = WorkingClass(A);
    if (Rows(A) == 0 && Columns(A) == 0) {
        const unsigned int dims[2] = {1, 1};
        ArrayHolder one(mxCreateNumericArray(2, dims, id, mxComplexityReal));
        if (id == mxClassSingle) {
            *static_cast<float *>(one->GetPr()) = 1.0f;
        } else {
            *static_cast<double *>(one->GetPr()) = 1.0;
        }
        return one.release();
    }
    if (Rows(A) != Columns(A)) throw CMatrixMustBeSquareException();
    const InClass a(A, id);
    if (IsRealDouble(a.get())) return Scalar(Det(a.get()));
    return ByType(id, a->IsComplex(),
                  [&](auto t) { return Determinant<decltype(t)>(a.get(), id); });
}

CMatrix *SolveClasses(const CMatrix *A, const CMatrix *B, double *rcond) {
    RequireFloatingClass(A, L"Mldivide");
    RequireFloatingClass(B, L"Mldivide");
    const mxClassID id = WorkingClass(A, B);
    const unsigned int m = Rows(A), n = Columns(A), k = Columns(B);
    if (Rows(B) != m) throw CMatrixDimsMustAgreeException();
    const InClass a(A, id);
    const InClass b(B, id);
    if (IsRealDouble(a.get()) && IsRealDouble(b.get())) {
        if (rcond == nullptr) return Mldivide(a.get(), b.get());
        return Mldivide(a.get(), b.get(), *rcond);
    }
    // No equations gives zeros, no unknowns or right-hand sides nothing.
    if (m == 0 || k == 0 || n == 0) {
        const unsigned int dims[2] = {n, k};
        ArrayHolder Z(mxCreateNumericArray(2, dims, id, mxComplexityReal));
        if (id == mxClassSingle) {
            std::fill_n(static_cast<float *>(Z->GetPr()), Z->GetNoElems(), 0.0f);
        } else {
            std::fill_n(static_cast<double *>(Z->GetPr()), Z->GetNoElems(), 0.0);
        }
        return Z.release();
    }
    if (m != n) {
        unsigned int rank;
        double tol;
        return LeastSquares(a.get(), b.get(), rank, tol);
    }
    const bool complex = a->IsComplex() || b->IsComplex();
    return ByType(id, complex, [&](auto t) {
        return SolveSquare<decltype(t)>(a.get(), b.get(), rcond, id);
    });
}

CMatrix *ConjugateTransposeClasses(const CMatrix *A) {
    if (A->GetNoDimensions() > 2) throw CTransposeOnNDArrayNotDefinedException();
    const mxClassID id = WorkingClass(A);
    const InClass a(A, id);
    const std::size_t m = Rows(A), n = Columns(A);
    return ByType(id, a->IsComplex(), [&](auto t) {
        using T = decltype(t);
        ArrayHolder X = Create<T>(n, m, id);
        Elements<T> from(m * n), to(m * n);
        Load(a.get(), from.Get(), m * n);
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < m; ++i) to.Get()[j + i * n] = kernels::Conj(from.Get()[i + j * m]);
        Store(to.Get(), X.get(), m * n);
        return X.release();
    });
}

double RcondClasses(const CMatrix *A) {
    const mxClassID id = RequireSquareOfClass(A, L"Rcond");
    const InClass a(A, id);
    if (IsRealDouble(a.get())) return Rcond(a.get());
    if (Rows(A) == 0) return mxGetInf();
    return ByType(id, a->IsComplex(),
                  [&](auto t) { return ReciprocalCondition<decltype(t)>(a.get()); });
}

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv
