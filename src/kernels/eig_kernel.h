// src/kernels/eig_kernel.h: balancing, reduction to Hessenberg form and the shifted QR eigenvalue iteration.
#ifndef MATRIX_SRC_KERNELS_EIG_KERNEL_H
#define MATRIX_SRC_KERNELS_EIG_KERNEL_H

#include <cstddef>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Convergence tests allowed per eigenvalue (the current active block)
/// before HessenbergEigenvalues gives up; exceptional shifts are made before
/// the 11th and the 21st. The limits of the Francis QR procedure as published
/// (Numerical Recipes, hqr; EISPACK hqr).
constexpr int kEigMaxTests = 30;
constexpr int kEigFirstExceptionalShift = 10;
constexpr int kEigSecondExceptionalShift = 20;

/// Balance's stopping factor: a scaling is applied only when it reduces the
/// row and column sums by more than 5 percent (Parlett & Reinsch).
constexpr double kBalanceGain = 0.95;

/// Scales rows and columns of a square matrix by powers of 2 until their
/// off-diagonal sums are balanced, A := D^-1*A*D. Passes over i = 1..n
/// repeat until a pass changes nothing; for each i, with c and r the sums
/// of |a(j,i)| and |a(i,j)| over j != i (from 0.0, increasing j), skipped
/// when c or r is 0.0 or not finite:
///   f = 1.0, s = c + r; while c < r/2: c *= 4, f *= 2; while c > r*2:
///   c *= 0.25, f *= 0.5; if (c + r)/f < kBalanceGain*s: row i *= 1.0/f,
///   then column i *= f.
/// The scalings are exact (powers of 2), so the eigenvalues are unchanged.
///   n     [in]     order, n >= 0
///   a     [in,out] column-major, lda >= max(1, n)
///   scale [out]    null, or n entries: D(i,i), the product of the f applied
///                  to row and column i (1.0 for none), so that the result
///                  is D^-1*A*D; recording changes no element of A
/// Source: Parlett & Reinsch, Numer. Math. 13 (1969) 293-304, in the form
/// of Numerical Recipes, 2nd ed., Section 11.5 (balanc).
void Balance(std::size_t n, double *a, std::size_t lda, double *scale = nullptr);

/// Reduces a square matrix to upper Hessenberg form by Gaussian elimination
/// with pivoting (similarity transformations), indices from 1: for
/// m = 2..n-1, the first j >= m of largest |a(j,m-1)| is the pivot x (rows
/// and then columns j and m interchanged when j != m); if x != 0.0, for
/// each i = m+1..n with y = a(i,m-1) != 0.0: y /= x, a(i,m-1) = y, a(i,j) -=
/// y*a(m,j) for j = m..n, a(j,m) += y*a(j,i) for j = 1..n. Nothing happens
/// for n < 3.
///   n     [in]     order, n >= 0
///   a     [in,out] column-major, lda >= max(1, n); on exit the Hessenberg
///                  matrix on and above the subdiagonal, the multipliers
///                  below it
///   pivot [out]    null, or n entries: pivot[m-1] is the row (from 1)
///                  interchanged with row m at step m (m itself for none);
///                  entries 0 and n-1 are set to 1 and n. Recording changes
///                  no element of A
/// Source: Wilkinson & Reinsch, Handbook for Automatic Computation II
/// (elmhes), in the form of Numerical Recipes, 2nd ed., Section 11.5.
void ReduceToHessenberg(std::size_t n, double *a, std::size_t lda, std::size_t *pivot = nullptr);

/// Maps a vector of the Hessenberg matrix back to the matrix it was
/// reduced from (Balance, when scale is not null, then ReduceToHessenberg):
/// for m = n-1 down to 2 (from 1), z(i) = z(i) + a(i,m-1)*z(m) for
/// i = m+1..n, then z(m) and z(pivot[m-1]) are interchanged; finally
/// z(i) = z(i)*scale[i-1]. Each element takes its operations in that order.
///   n     [in]     order
///   a     [in]     ReduceToHessenberg's a (only the multipliers are read)
///   pivot [in]     ReduceToHessenberg's pivot record
///   scale [in]     Balance's scale record, or null when not balanced
///   z     [in,out] n entries
void HessenbergBackTransform(std::size_t n, const double *a, std::size_t lda,
                             const std::size_t *pivot, const double *scale, double *z);

/// Returns the number of doubles of workspace that HessenbergShiftedFactor
/// needs for order n.
std::size_t HessenbergShiftedWorkspace(std::size_t n);

/// Factors H - shift*I for an upper Hessenberg H by Gaussian elimination
/// with partial pivoting between neighbouring rows, for
/// HessenbergShiftedSolve. For j = 0..n-2, rows j and j+1 are interchanged
/// when |U(j+1,j)| > |U(j,j)|; a pivot that is exactly 0.0 is replaced by
/// tiny; l(j) = U(j+1,j)/U(j,j) and U(j+1,c) -= l(j)*U(j,c) for c > j.
/// A last diagonal element of exactly 0.0 is replaced by tiny as well.
///   n     [in]  order, n >= 1
///   h     [in]  H on and above the subdiagonal (entries below it are not
///               read), column-major, ldh >= n
///   shift [in]  the shift
///   tiny  [in]  the replacement of a zero pivot (> 0)
///   work  [out] HessenbergShiftedWorkspace(n) doubles: the factors
///   path  [in]  kPlain: the steps one at a time across the columns;
///               otherwise blocks of steps column by column. The same bits
///               either way: each element meets the steps in order.
void HessenbergShiftedFactor(std::size_t n, const double *h, std::size_t ldh, double shift,
                             double tiny, double *work, KernelPath path = KernelPath::kFastest);

/// Solves (H - shift*I)*x = b from HessenbergShiftedFactor's work: the
/// interchanges and multipliers applied to b in increasing j, then U's
/// back substitution column by column from the last: x(c) = x(c)/U(c,c),
/// then x(r) -= x(c)*U(r,c) for every r < c.
///   n    [in]  order
///   work [in]  the factors
///   b    [in]  n entries
///   x    [out] n entries; may not overlap b
///   path [in]  as DotFast: the same bits either way
void HessenbergShiftedSolve(std::size_t n, const double *work, const double *b, double *x,
                            KernelPath path = KernelPath::kFastest);

/// Finds the eigenvalues of an upper Hessenberg matrix by the Francis
/// double-shift QR algorithm with exceptional shifts, deflating one real
/// root or a 2 x 2 block at a time from the bottom (indices from 1, sums
/// from 0.0 in increasing index): a subdiagonal a(l,l-1) is negligible when
/// |a(l,l-1)| + s == s, s = |a(l-1,l-1)| + |a(l,l)| (anorm, the sum of the
/// Hessenberg part's magnitudes, when s is 0.0); a 2 x 2 block gives
/// p = 0.5*(y - x), q = p*p + w, z = sqrt(|q|) and either two real roots
/// x + z, x - w/z (z = p + (z with the sign of p)) or the pair x + p +/- zi;
/// each new shift is preceded by kEigMaxTests, kEigFirstExceptionalShift and
/// kEigSecondExceptionalShift tests of the active block, the last giving up.
///   n  [in]     order, n >= 0
///   a  [in,out] the Hessenberg matrix (entries below the subdiagonal are
///               overwritten, never read as matrix elements); destroyed;
///               column-major, lda >= max(1, n)
///   wr [out]    n real parts; element i is the eigenvalue deflated at
///               diagonal position i (not sorted)
///   wi [out]    n imaginary parts (a complex pair at i, i+1 as -z, +z)
/// Returns 0 when every eigenvalue was found. Otherwise nn > 0: the active
/// block 1..nn was abandoned at its kEigMaxTests-th test, and wr(1..nn) and
/// wi(1..nn) are set to NaN.
/// Source: Francis (1961-62); Martin, Peters & Wilkinson, Numer. Math. 14
/// (1970) 219-231 (hqr), in the form of Numerical Recipes, 2nd ed.,
/// Section 11.6.
KernelStatus HessenbergEigenvalues(std::size_t n, double *a, std::size_t lda, double *wr,
                                   double *wi);

/// Replaces each complex eigenvalue by its modulus: for every i with
/// |wi[i]| > threshold, wr[i] = sqrt(wr[i]^2 + wi[i]^2) (the square of wr
/// first) and wi[i] = 0.0.
///   n         [in]     number of eigenvalues
///   wr, wi    [in,out] n entries each
///   threshold [in]     the imaginary magnitude above which a value counts
///                      as complex (eps)
void ComplexToModulus(std::size_t n, double *wr, double *wi, double threshold);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_EIG_KERNEL_H
