// src/linalg/mldivide.cpp: the matrix divisions A\B and A/B.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/order.h>
#include <matrix/shape.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/array_holder.h"
#include "kernels/kernel_support.h"
#include "kernels/mldivide_kernel.h"
#include "kernels/norm_kernel.h"
#include "kernels/qr_kernel.h"
#include "linalg/class_operands.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

namespace {

// A square system by Gaussian elimination on a copy of A and B side by
// side, which gives the operations of the one-pass solve on every element.
// The two-output Eig solves from the same factorisation code. With rcond,
// A is factored on its own and then B solved from the factors (the same
// bits), and the factors give the estimate of the reciprocal condition.
void SolveSquare(const CMatrix *A, const CMatrix *B, CMatrix *X, double *rcond) {
    const std::size_t n = linalg::Rows(A);
    const std::size_t k = linalg::Columns(B);
    const std::size_t ld = kernels::SpreadLeadingDimension(n);
    linalg::Scratch<double> ab(ld * (n + k));
    linalg::Scratch<std::size_t> pivot(n);
    linalg::Scratch<double> r(n);
    linalg::CopyMatrix(ab.Get(), ld, linalg::Data(A), n, n, n);
    linalg::CopyMatrix(ab.Get() + ld * n, ld, linalg::Data(B), n, n, k);
    if (rcond == nullptr) {
        kernels::GaussSolveAugmented(n, k, ab.Get(), ld, pivot.Get(), r.Get(), linalg::Data(X), n);
        return;
    }
    kernels::GaussFactor(n, ab.Get(), ld, pivot.Get(), r.Get());
    kernels::GaussSolveFactored(n, k, ab.Get(), ld, pivot.Get(), r.Get(), ab.Get() + ld * n, ld,
                                linalg::Data(X), n);
    linalg::Scratch<double> work(3 * n);
    *rcond = kernels::GaussReciprocalCondition(n, ab.Get(), ld, pivot.Get(), r.Get(),
                                               kernels::MatrixNorm1(n, n, linalg::Data(A), n),
                                               work.Get());
}

enum class Triangle { kUpper, kLower, kNeither };

// Whether square A is upper or lower triangular (upper when diagonal). Each
// scan stops at the first element on the wrong side that is not zero, so a
// full matrix costs a look at a few elements.
Triangle TriangleOf(const CMatrix *A) {
    const std::size_t n = linalg::Rows(A);
    const double *a = linalg::Data(A);
    auto zeroBelow = [&] {
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = j + 1; i < n; ++i)
                if (a[i + j * n] != 0.0) return false;
        }
        return true;
    };
    auto zeroAbove = [&] {
        for (std::size_t j = 1; j < n; ++j) {
            for (std::size_t i = 0; i < j; ++i)
                if (a[i + j * n] != 0.0) return false;
        }
        return true;
    };
    if (zeroBelow()) return Triangle::kUpper;
    if (zeroAbove()) return Triangle::kLower;
    return Triangle::kNeither;
}

// A non-square system through QR with column pivoting: the least-squares
// solution when A is tall, a basic one when it is wide, with at most as
// many non-zero components as R has leading diagonal elements above eps.
CMatrix *SolveNonSquare(const CMatrix *A, const CMatrix *B, ArrayHolder X) {
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    const unsigned int k = linalg::Columns(B);

    CMatrix *q;
    CMatrix *r;
    CMatrix *e;
    Qr(q, r, e, A, false);
    ArrayHolder Q(q);
    ArrayHolder R(r);
    ArrayHolder E(e);

    // The rank threshold is eps itself, not scaled by any norm of A.
    const std::size_t rank =
        kernels::TriangularRank(std::min(m, n), linalg::Data(R.get()), m, mxGetEps());
    {
        linalg::Scratch<double> y(rank);
        kernels::QrSolve(m, n, k, rank, linalg::Data(Q.get()), m, linalg::Data(R.get()), m,
                         linalg::Data(B), m, linalg::Data(X.get()), n, y.Get());
    }
    Q.reset();
    R.reset();
    return Mtimes(E.get(), X.get());
}

// The fast order's non-square solve: the reflections are applied to a copy
// of B instead of forming Q, and the rows of the solution are permuted
// directly. The rank is counted on R's diagonal as in SolveNonSquare.
CMatrix *SolveNonSquareFast(const CMatrix *A, const CMatrix *B, ArrayHolder X) {
    const std::size_t m = linalg::Rows(A);
    const std::size_t n = linalg::Columns(A);
    const std::size_t k = linalg::Columns(B);
    const std::size_t steps = m > n ? n : m - 1;

    const std::size_t ld = kernels::SpreadLeadingDimension(m);
    linalg::Scratch<double> r(ld * n);
    linalg::Scratch<double> qtb(ld * k);
    linalg::Scratch<double> c(steps);
    linalg::Scratch<double> d(std::min(m, n));
    linalg::Scratch<std::uint32_t> perm(n);
    linalg::Scratch<double> work(kernels::HouseholderQrFastWorkspace(n));
    linalg::Scratch<double> solved(n);
    linalg::CopyMatrix(r.Get(), ld, linalg::Data(A), m, m, n);
    linalg::CopyMatrix(qtb.Get(), ld, linalg::Data(B), m, m, k);

    kernels::HouseholderQrFast(m, n, r.Get(), ld, perm.Get(), c.Get(), d.Get(), work.Get());
    kernels::HouseholderApplyQtFast(m, steps, r.Get(), ld, c.Get(), k, qtb.Get(), ld);
    kernels::HouseholderFinishR(m, n, r.Get(), ld, d.Get());

    const std::size_t rank = kernels::TriangularRank(std::min(m, n), r.Get(), ld, mxGetEps());
    double *x = linalg::Data(X.get());
    for (std::size_t j = 0; j < k; ++j) {
        std::fill(solved.Get() + rank, solved.Get() + n, 0.0);
        kernels::BackSubstitute(rank, r.Get(), ld, qtb.Get() + j * ld, 1, solved.Get(), 1);
        for (std::size_t i = 0; i < n; ++i) x[perm.Get()[i] + j * n] = solved.Get()[i];
    }
    return X.release();
}

}  // namespace

namespace {

// A\B, and with rcond the estimate of a square A's reciprocal condition
// (NaN for the other forms).
CMatrix *Solve(const CMatrix *A, const CMatrix *B, double *rcond) {
    if (rcond != nullptr) *rcond = mxGetNaN();
    if (A->GetNoElems() == 1) return Ldivide(A, B);
    linalg::RequireTwoDimensions(A);
    linalg::RequireTwoDimensions(B);
    if (!linalg::IsRealDouble(A) || !linalg::IsRealDouble(B))
        return linalg::SolveClasses(A, B, rcond);
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    const unsigned int k = linalg::Columns(B);
    if (linalg::Rows(B) != m) throw CMatrixDimsMustAgreeException();
    if (m == 0) return Zeros(n, k);

    ArrayHolder X(mxCreateDoubleMatrix(n, k, mxComplexityReal));
    if (X->GetNoElems() == 0) return X.release();
    if (m == n) {
        // The fast order solves a triangular A by substitution, as written
        // code does (y = L\b; x = U\y): no interchanges, no elimination.
        const Triangle shape = GetOrder() == Order::kFast ? TriangleOf(A) : Triangle::kNeither;
        if (shape == Triangle::kNeither) {
            SolveSquare(A, B, X.get(), rcond);
            return X.release();
        }
        const bool lower = shape == Triangle::kLower;
        kernels::TriangularSolve(n, k, lower, linalg::Data(A), n, linalg::Data(B), n,
                                 linalg::Data(X.get()), n);
        if (rcond != nullptr) {
            linalg::Scratch<double> work(3 * std::size_t{n});
            *rcond = kernels::TriangularReciprocalCondition(
                n, lower, linalg::Data(A), n, kernels::MatrixNorm1(n, n, linalg::Data(A), n),
                work.Get());
        }
        return X.release();
    }
    if (GetOrder() == Order::kFast) return SolveNonSquareFast(A, B, std::move(X));
    return SolveNonSquare(A, B, std::move(X));
}

}  // namespace

CMatrix *Mldivide(const CMatrix *A, const CMatrix *B) { return Solve(A, B, nullptr); }

CMatrix *Mldivide(const CMatrix *A, const CMatrix *B, double &rcond) {
    double estimate;
    CMatrix *X = Solve(A, B, &estimate);
    rcond = estimate;
    return X;
}

double Rcond(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    if (!linalg::IsRealDouble(A)) return linalg::RcondClasses(A);
    const std::size_t n = linalg::Rows(A);
    if (linalg::Columns(A) != n) throw CMatrixMustBeSquareException();
    if (n == 0) return mxGetInf();
    const std::size_t ld = kernels::SpreadLeadingDimension(n);
    linalg::Scratch<double> a(ld * n);
    linalg::Scratch<std::size_t> pivot(n);
    linalg::Scratch<double> r(n);
    linalg::Scratch<double> work(3 * n);
    linalg::CopyMatrix(a.Get(), ld, linalg::Data(A), n, n, n);
    kernels::GaussFactor(n, a.Get(), ld, pivot.Get(), r.Get());
    return kernels::GaussReciprocalCondition(n, a.Get(), ld, pivot.Get(), r.Get(),
                                             kernels::MatrixNorm1(n, n, linalg::Data(A), n),
                                             work.Get());
}

CMatrix *Mrdivide(const CMatrix *A, const CMatrix *B) {
    double rcond;
    return Mrdivide(A, B, rcond);
}

CMatrix *Mrdivide(const CMatrix *A, const CMatrix *B, double &rcond) {
    // X*B = A as B'*X' = A'. A one-element divisor of another class divides
    // element by element, where every class computes; otherwise the
    // operands' class is tested before any transpose is made.
    if (B->GetNoElems() == 1 && !(linalg::IsRealDouble(A) && linalg::IsRealDouble(B))) {
        rcond = mxGetNaN();  // no solve, no estimate
        return Rdivide(A, B);
    }
    linalg::RequireFloatingClass(A, L"Mrdivide");
    linalg::RequireFloatingClass(B, L"Mrdivide");
    const bool realDouble = linalg::IsRealDouble(A) && linalg::IsRealDouble(B);
    const auto transpose = realDouble ? Ctranspose : linalg::ConjugateTransposeClasses;
    ArrayHolder Bt(transpose(B));
    ArrayHolder At(transpose(A));
    ArrayHolder Xt(Mldivide(Bt.get(), At.get(), rcond));
    Bt.reset();
    At.reset();
    return transpose(Xt.get());
}

}  // namespace matrix
}  // namespace kiv
