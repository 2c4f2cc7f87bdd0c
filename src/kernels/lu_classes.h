// src/kernels/lu_classes.h: the LU family's kernels on float, complex<float> and complex<double>.
#ifndef MATRIX_SRC_KERNELS_LU_CLASSES_H
#define MATRIX_SRC_KERNELS_LU_CLASSES_H

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_support.h"
#include "kernels/scalar_types.h"

namespace kiv {
namespace matrix {
namespace kernels {
namespace typed {

// The double kernels' steps (lu_kernel.h, mldivide_kernel.h) written once
// for an element type T: float, std::complex<float> or std::complex<double>
// (double is instantiated too, and gives the double kernels' plain paths'
// bits). Arithmetic is T's own, in T's precision, through scalar_types.h:
// a product is Mul, a quotient Div (Smith's method), each then met with the
// running value part by part. Where the double text compares magnitudes
// (row scales, pivot searches) these compare Abs1(x) = |re| + |im| (the
// measure of the reference BLAS's icamax/izamax; |x| for a real T); a
// pivot is zero when both its parts are. Norms and the condition estimate
// use the modulus. A complex update of the factorisations is taken part by
// part (SubProduct and AddProductUnlessZero below), not through Mul, so
// that the real product kernels can take it. The plain paths run column
// by column with no blocking; the factorisations also have a blocked path
// (the default; for a complex T only when given workspace), whose halves
// of the columns meet through the real product kernels (float or double)
// with every element's operations in the same order, so the same bits.

/// Reals of workspace the blocked path of a complex factorisation of order
/// n takes (interleaved copies of the parts of one update).
std::size_t BlockedWorkspace(std::size_t n);

/// LuCrout (lu_kernel.h) on T: s(i) = 1 / max_j Abs1(A(i,j)) (0 for a zero
/// row; NaN does not count); for j = 1..n: a(i,j) = a(i,j) - a(i,k)*a(k,j)
/// for k = 1..min(i,j)-1 in increasing k, for a complex T part by part:
/// re = (re - xr*tr) + xi*ti, im = (im - xr*ti) - xi*tr (x = a(i,k),
/// t = a(k,j), each product rounded, then met); the pivot row is the
/// last i >= j with the largest s(i)*Abs1(a(i,j)); rows interchanged whole;
/// a zero pivot becomes kLuZeroPivot (real); a(i,j) = Mul(a(i,j),
/// Div(1, a(j,j))) for i > j. Arguments and result as LuCrout's (scale: n
/// reals), with LuWanted::kFactors. work: BlockedWorkspace(n) reals for a
/// complex T's blocked path, or null.
template <class T>
KernelStatus LuCrout(std::size_t n, T *a, std::size_t lda, std::int32_t *ipiv, int &parity,
                     RealType<T> *scale, KernelPath path = KernelPath::kFastest,
                     RealType<T> *work = nullptr);

/// GaussFactor (mldivide_kernel.h) on T, rows interchanged whole: for each
/// j the pivot is the first largest Abs1(A(i,j)), i >= j; piv = A(j,j), or
/// kGaussZeroPivot when it is zero; r = Div(1, piv); A(j,j) = 1; unless r is
/// exactly 1, A(j,c) = Mul(A(j,c), r) for c > j; for i > j, f = -A(i,j)
/// is kept in A(i,j) and A(i,c) += f*A(j,c) for c > j unless f is 0; for a
/// complex T part by part, re = (re + fr*tr) - fi*ti, im = (im + fr*ti) +
/// fi*tr (t = A(j,c)), the two products with fr left out when fr is 0 and
/// the two with fi when fi is 0 (as the eigenvectors' complex elimination
/// does). work as LuCrout's.
template <class T>
void GaussFactor(std::size_t n, T *a, std::size_t lda, std::size_t *pivot, T *r,
                 KernelPath path = KernelPath::kFastest, RealType<T> *work = nullptr);

/// Solves A*X = B from GaussFactor's record, as the double
/// GaussSolveFactored: the interchanges of every step, then for each
/// j = 0..n-1 row j of B is multiplied by r(j) (unless r(j) is exactly 1)
/// and row i > j adds f(i,j) times row j as GaussFactor's update does; then the
/// back substitution of TriangularSolve with the unit upper triangle.
/// b is destroyed; x must not overlap a or b.
template <class T>
void GaussSolveFactored(std::size_t n, std::size_t k, const T *a, std::size_t lda,
                        const std::size_t *pivot, const T *r, T *b, std::size_t ldb, T *x,
                        std::size_t ldx);

/// TriangularSolve's plain path on T: x(q) = Div(b(q) - s(q), T(q,q)),
/// s(q) = 0 + Mul(T(q,c), x(c)) + ... over the solved columns c, nearest
/// the start first (c = n-1 down for upper T, c = 0 up for lower T).
template <class T>
void TriangularSolve(std::size_t n, std::size_t k, bool lower, const T *t, std::size_t ldt,
                     const T *b, std::size_t ldb, T *x, std::size_t ldx);

/// The largest column sum of moduli (each column from 0 in increasing
/// row, the maximum replaced only by a strictly larger sum).
template <class T>
RealType<T> MatrixNorm1(std::size_t m, std::size_t n, const T *a, std::size_t lda);

/// 1/(||A||_1 * est), est the estimate of ||A^-1||_1 of
/// EstimateInverseNorm1 (condition_estimate.h) from GaussFactor's factors.
/// For a complex T the signs are y(i)/|y(i)| (1 where y(i) is 0), the
/// second solve is with A's conjugate transpose, the largest element is
/// the first of largest modulus, and the test of repeated signs is left
/// out (as in Higham's complex algorithm). 0 when anorm is 0 or a pivot
/// was replaced, NaN when the factors hold NaN.
///   work [out] 3n elements of T
template <class T>
RealType<T> GaussReciprocalCondition(std::size_t n, const T *a, std::size_t lda,
                                     const std::size_t *pivot, const T *r, RealType<T> anorm,
                                     T *work);

/// The same estimate for a triangular T from TriangularSolve above; 0 when
/// anorm is 0 or a diagonal element is zero.
template <class T>
RealType<T> TriangularReciprocalCondition(std::size_t n, bool lower, const T *t, std::size_t ldt,
                                          RealType<T> anorm, T *work);

}  // namespace typed
}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_LU_CLASSES_H
