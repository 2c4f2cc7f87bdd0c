// src/kernels/mldivide_kernel.h: elimination, back substitution, QR solve.
#ifndef MATRIX_SRC_KERNELS_MLDIVIDE_KERNEL_H
#define MATRIX_SRC_KERNELS_MLDIVIDE_KERNEL_H

#include <cstddef>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// The value that replaces a pivot that is exactly zero (either sign) in
/// GaussSolve, so that a singular system gives huge finite values rather
/// than an error. Fixed by the library's definition of the solve.
constexpr double kGaussZeroPivot = 1.0e-14;

/// Solves U*x = b for an upper triangular U, from the last row up:
///   x(n-1) = b(n-1) / U(n-1,n-1);
///   x(i) = (b(i) - s) / U(i,i), s = 0.0 + U(i,n-1)*x(n-1) + ... + U(i,i+1)*x(i+1)
///   (products added in that decreasing order of columns).
/// The sums are built column by column (x(q) times column q of U added to
/// every s(i) above it), which adds each s(i)'s products in exactly that
/// order; they are kept in x until their element is solved.
///   n    [in]  order of U; n = 0 does nothing
///   u    [in]  U, column-major, ldu >= max(1, n); only the upper triangle
///              is read; the diagonal should not be zero
///   b    [in]  right-hand side, entries b[i * incb], incb >= 1
///   x    [out] solution, entries x[i * incx], incx >= 1; must not overlap
///              b or u
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithm 3.1.2
/// (row-oriented back substitution), evaluated column-oriented.
void BackSubstitute(std::size_t n, const double *u, std::size_t ldu, const double *b,
                    std::size_t incb, double *x, std::size_t incx);

/// Solves A*X = B by Gaussian elimination with partial pivoting in unit
/// diagonal form. For each column j = 0..n-1:
///   the pivot is the first largest |A(i,j)|, i >= j (a later element wins
///   only if strictly larger); rows j and pivot are interchanged in columns
///   j..n-1 of A and in all of B;
///   piv = A(j,j), or kGaussZeroPivot when it is exactly 0.0; r = 1.0/piv;
///   A(j,j) = 1.0; unless r is exactly 1.0, row j of A (columns j+1..n-1)
///   and of B is multiplied by r;
///   for each row i > j: f = -A(i,j), A(i,j) = 0.0, and unless f is 0.0,
///   A(i,c) += f*A(j,c) for c > j and B(i,c) += f*B(j,c) for every c.
/// Then each column of X is BackSubstitute of the unit upper triangular A
/// with the same column of B.
///   n, k [in]     order of A, number of right-hand sides
///   a    [in,out] A, destroyed (the f are left below the diagonal);
///                 column-major, lda >= max(1, n)
///   b    [in,out] B (n x k), destroyed; ldb >= max(1, n)
///   x    [out]    X (n x k), ldx >= max(1, n); must not overlap a or b
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithm 3.4.1
/// (Gaussian elimination with partial pivoting), applied to the right-hand
/// sides as it goes.
void GaussSolve(std::size_t n, std::size_t k, double *a, std::size_t lda, double *b,
                std::size_t ldb, double *x, std::size_t ldx);

/// GaussSolve's elimination of A alone, recorded so that any number of
/// right-hand sides can be solved later by GaussSolveFactored with the
/// same bits as GaussSolve (up to the sign and payload of NaNs), without
/// eliminating A again. Every element of A takes exactly GaussSolve's
/// operations in the same order (the same pivot choice, kGaussZeroPivot,
/// r = 1.0/piv, scaling unless r is exactly 1.0, and A(i,c) += f*A(j,c)
/// unless f is 0.0), but the work is blocked: halves of the columns meet
/// through MatrixProductUpdate. The multipliers f = -A(i,j) are kept below
/// the diagonal and travel with their rows through the interchanges of
/// later steps (GaussSolve interchanges only columns j.. onwards; moving
/// whole rows changes which row holds a value, never a value).
///   n     [in]     order of A; n = 0 does nothing
///   a     [in,out] A; on return the unit upper triangle of the eliminated
///                  A, and below the diagonal the multipliers, each in the
///                  row that ends up holding the values it was applied to;
///                  column-major, lda >= max(1, n)
///   pivot [out]    n entries: the row interchanged with row j at step j
///                  (j itself when there was no interchange)
///   r     [out]    n entries: the r of step j
///   path  [in]     kFastest: blocked as above (on several threads from
///                  order 256, panels of 64 to 192 columns, narrower
///                  towards the end, the next eliminated while the rest
///                  take the current one); kPlain: the steps one after the
///                  other over the whole matrix, unblocked
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithm 3.4.1,
/// blocked as in Toledo, "Locality of reference in LU decomposition with
/// partial pivoting", SIAM J. Matrix Anal. Appl. 18(4), 1997.
void GaussFactor(std::size_t n, double *a, std::size_t lda, std::size_t *pivot, double *r,
                 KernelPath path = KernelPath::kFastest);

/// Solves A*X = B from GaussFactor's record of A, giving every element of B
/// GaussSolve's operations in the same order: for each j = 0..n-1, rows j
/// and pivot[j] of B are interchanged; unless r[j] is exactly 1.0, row j is
/// multiplied by r[j]; each row i > j adds f(i,j) times row j unless
/// f(i,j) is 0.0. Then each column of X is BackSubstitute of the unit upper
/// triangle of A with the same column of B. Since the multipliers travel
/// with their rows, the interchanges are all made first; the rest is
/// blocked for several columns at once, each element keeping its order
/// (the back substitution's sums still run from the last column back).
///   n, k     [in]     order of A, number of right-hand sides
///   a        [in]     GaussFactor's A, lda >= max(1, n)
///   pivot, r [in]     GaussFactor's records, n entries each
///   b        [in,out] B (n x k), destroyed; ldb >= max(1, n)
///   x        [out]    X (n x k), ldx >= max(1, n); must not overlap a or b
void GaussSolveFactored(std::size_t n, std::size_t k, const double *a, std::size_t lda,
                        const std::size_t *pivot, const double *r, double *b, std::size_t ldb,
                        double *x, std::size_t ldx);

/// GaussFactor and GaussSolveFactored in one, on A and B side by side: the
/// same X, pivot and r, and the same unit upper triangle of A. B's columns
/// take each block's steps as A's columns to their right do (on several
/// threads from order 256, each panel's), while its multipliers are near in
/// the cache, and the multipliers below the diagonal are left without the
/// interchanges of later steps (no later step reads them).
///   n, k     [in]     order of A, number of right-hand sides
///   ab       [in,out] [A B], n x (n + k), column-major, lda >= max(1, n);
///                     destroyed
///   pivot, r [out]    GaussFactor's records, n entries each
///   x        [out]    X (n x k), ldx >= max(1, n); must not overlap ab
void GaussSolveAugmented(std::size_t n, std::size_t k, double *ab, std::size_t lda,
                         std::size_t *pivot, double *r, double *x, std::size_t ldx);

/// Solves T*X = B for a triangular T by substitution, without interchanges.
/// Upper T, from the last row up; lower T, from the first row down:
///   x(q) = (b(q) - s(q)) / T(q,q), s(q) = 0.0 + T(q,c)*x(c) + ...
/// over the columns c already solved, nearest the start first (c = n-1
/// down to q+1 for upper T, as BackSubstitute; c = 0 up to q-1 for lower
/// T); the first row solved is x = b / T(q,q). A zero diagonal element
/// gives the infinities and NaNs this arithmetic gives.
///   n, k  [in]  order of T, number of right-hand sides; either may be 0
///   lower [in]  whether T is lower (otherwise upper) triangular; only
///               that triangle, the diagonal included, is read
///   t     [in]  T, column-major, ldt >= max(1, n)
///   b     [in]  B (n x k), ldb >= max(1, n)
///   x     [out] X (n x k), ldx >= max(1, n); must not overlap t or b
///   path  [in]  kPlain: one column at a time, row by row; otherwise
///               blocked, the columns shared among the threads when they
///               are many, and the same bits: each sum keeps its order
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithms 3.1.1
/// and 3.1.2, evaluated column-oriented.
void TriangularSolve(std::size_t n, std::size_t k, bool lower, const double *t, std::size_t ldt,
                     const double *b, std::size_t ldb, double *x, std::size_t ldx,
                     KernelPath path = KernelPath::kFastest);

/// Estimates the reciprocal condition number 1/(||A||_1 * ||A^-1||_1) of a
/// square A from GaussFactor's factors (P*A = L*U with L lower, its
/// diagonal 1/r(j) and below it the negated multipliers, U unit upper):
/// ||A^-1||_1 by EstimateInverseNorm1, whose solves with A are
/// GaussSolveFactored's and whose solves with A' take U' (forward), L'
/// (backward) and the interchanges in reverse, each sum in the order of
/// its substitution.
///   n        [in]  order, n >= 1
///   a        [in]  GaussFactor's A, lda >= max(1, n)
///   pivot, r [in]  GaussFactor's records
///   anorm    [in]  ||A||_1 of the matrix factored
///   work     [out] 3n doubles
/// Returns 0.0 when anorm is 0.0 or a pivot was exactly zero (replaced by
/// kGaussZeroPivot), NaN when the factors hold NaN, else the estimate.
double GaussReciprocalCondition(std::size_t n, const double *a, std::size_t lda,
                                const std::size_t *pivot, const double *r, double anorm,
                                double *work);

/// The same estimate for a triangular T, from TriangularSolve's plain path
/// and the substitution with T' (forward for upper T, backward for lower).
///   n, lower, t, ldt [in] as TriangularSolve; n >= 1
///   anorm            [in] ||T||_1
///   work             [out] 3n doubles
/// Returns 0.0 when anorm is 0.0 or a diagonal element is zero, NaN when T
/// holds NaN, else the estimate.
double TriangularReciprocalCondition(std::size_t n, bool lower, const double *t, std::size_t ldt,
                                     double anorm, double *work);

/// Returns the number r of leading diagonal elements R(0,0), R(1,1), ...
/// (at most count of them) whose magnitude exceeds tol; the count stops at
/// the first that does not (NaN included).
///   count [in] number of diagonal elements to look at
///   r     [in] R, column-major, ldr >= max(1, count)
///   tol   [in] the threshold, compared as given
std::size_t TriangularRank(std::size_t count, const double *r, std::size_t ldr, double tol);

/// Solves A*X = B through A*E = Q*R, in the least-squares (m > n) or basic
/// (m < n) sense, up to the permutation E, which the caller applies to X.
/// For each column j of B: y(i) = 0.0 + B(0,j)*Q(0,i) + ... +
/// B(m-1,j)*Q(m-1,i) (y = Q'*b, increasing index; only i < rank is
/// needed), X(rank..n-1, j) = 0.0, and X(0..rank-1, j) is BackSubstitute of
/// R's leading rank x rank triangle with y.
///   m, n, k [in]  Q is m x m, R is m x n, B is m x k, X is n x k
///   rank    [in]  rank <= min(m, n); R(i,i) must not be zero for i < rank
///   q       [in]  Q, ldq >= max(1, m)
///   r       [in]  R, ldr >= max(1, m)
///   b       [in]  B, ldb >= max(1, m)
///   x       [out] X, ldx >= max(1, n); must not overlap the others
///   y       [out] workspace of rank doubles
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Section 5.5.5
/// (the basic solution through QR with column pivoting).
void QrSolve(std::size_t m, std::size_t n, std::size_t k, std::size_t rank, const double *q,
             std::size_t ldq, const double *r, std::size_t ldr, const double *b, std::size_t ldb,
             double *x, std::size_t ldx, double *y);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_MLDIVIDE_KERNEL_H
