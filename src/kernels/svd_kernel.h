// src/kernels/svd_kernel.h: the Golub-Kahan-Reinsch singular value decomposition, its sort and column permutation.
#ifndef MATRIX_SRC_KERNELS_SVD_KERNEL_H
#define MATRIX_SRC_KERNELS_SVD_KERNEL_H

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Convergence tests allowed per singular value before SvdDecompose gives
/// up: at most 29 QR sweeps, the 30th test being the last. The limit of the
/// Golub-Reinsch procedure as published (Numerical Recipes, svdcmp).
constexpr int kSvdMaxTests = 30;

/// Returns the number of doubles of workspace that SvdDecompose needs.
std::size_t SvdDecomposeWorkspace(std::size_t m, std::size_t n);

/// Decomposes an m x n matrix A = U*diag(w)*V' (m < n allowed) in four
/// phases, indices from 1 and every sum from 0.0 in increasing index;
/// "x with the sign of y" is |x| for y >= 0.0 and -|x| otherwise:
///  1. Householder bidiagonalisation, for i = 1..n: l = i+1, e(i) =
///     scale*g; for i <= m a column reflection scaled by scale = sum of
///     |a(k,i)|, k >= i (g = -(sqrt(s) with the sign of f), h = f*g - s,
///     a(i,i) = f - g, each later column updated by (s/h)*a(:,i)); w(i) =
///     scale*g; for i <= m, i != n the row reflection scaled by the sum of
///     |a(i,k)|, k >= l, e(k) = a(i,k)/h, rows l..m updated by s*e(k);
///     anorm = max(anorm, |w(i)| + |e(i)|) (a NaN never raises it).
///  2. for i = n..1: V(j,i) = (a(i,j)/a(i,l))/g and the right-hand
///     transformations accumulated into V, its row and column i cleared,
///     V(i,i) = 1.0, g = e(i), l = i.
///  3. for i = min(m,n)..1: the left-hand transformations accumulated into
///     a (f = (s/a(i,i))*(1.0/w(i))), a(i,i) += 1.0.
///  4. for k = n..1, up to kSvdMaxTests tests: the split test on |e(l)| +
///     anorm == anorm or |w(l-1)| + anorm == anorm, the cancellation by
///     rotations of SafeHypot when w(l-1) is negligible, and while l < k
///     one implicitly shifted QR sweep (shift from the trailing 2 x 2 block)
///     rotating columns of V and a; a converged negative w(k) is negated
///     with column k of V.
/// Phases 2 and 3 and every rotation of a and V only write a and V: w and
/// e, hence the singular values, come out the same with or without them.
///   m, n [in]     rows and columns of A, m >= 1, n >= 1
///   a    [in,out] A; on exit U (m x n, orthonormal columns where w is non-
///                 zero) when v is not null, else undefined; column-major,
///                 lda >= m
///   w    [out]    n singular values, w[i * incw], non-negative when
///                 converged, unsorted
///   incw [in]     stride of w, >= 1
///   v    [out]    V (n x n orthogonal), column-major, ldv >= n; or null to
///                 compute the singular values only (phases 2 and 3 and the
///                 rotations skipped)
///   work [out]    SvdDecomposeWorkspace(m, n) doubles
///   path [in]     kPlain: phase 1 in four passes over the trailing block
///                 per step, as written; otherwise in two. kFastest also
///                 runs phase 1's updates and the rotations of U and V in
///                 AVX-512 lanes where the processor has them, shares the
///                 large steps of phase 1 among the threads by columns, and
///                 the large reflections of phases 2 and 3 by groups of
///                 columns. The same bits every way.
/// Returns 0 when every singular value converged. Otherwise the k (from 1)
/// at whose kSvdMaxTests-th test the sweeps were abandoned: w(1..k), that
/// value and the ones not yet reached, are then set to NaN (with V and U as
/// they stood).
/// Source: Golub & Reinsch, Numer. Math. 14 (1970) 403-420, in the form of
/// Press, Teukolsky, Vetterling & Flannery, Numerical Recipes, 2nd ed.,
/// Section 2.6 (svdcmp).
KernelStatus SvdDecompose(std::size_t m, std::size_t n, double *a, std::size_t lda, double *w,
                          std::size_t incw, double *v, std::size_t ldv, double *work,
                          KernelPath path = KernelPath::kFastest);

/// Sorts positions 0..n-1 so that values[positions[i] * inc] decreases with
/// i: an insertion sort in which each value moves ahead of an earlier one
/// only while strictly greater, so equal values (and NaNs, which compare
/// with nothing) keep their order.
///   n         [in]  number of values
///   values    [in]  values[i * inc], inc >= 1
///   positions [out] n entries, a permutation of 0..n-1
void SortDescending(std::size_t n, const double *values, std::size_t inc, std::uint32_t *positions);

/// Rearranges the columns of an m x n matrix in place so that new column i
/// is old column positions[i]. Follows the cycles of the permutation, moving
/// each column once through one scratch column; elements are moved, never
/// computed.
///   m, n      [in]     rows and columns
///   a         [in,out] the matrix, column-major, lda >= max(1, m)
///   positions [in]     n entries, a permutation of 0..n-1
///   column    [out]    workspace of m doubles
///   visited   [out]    workspace of n bytes (a mark per column)
void PermuteColumns(std::size_t m, std::size_t n, double *a, std::size_t lda,
                    const std::uint32_t *positions, double *column, unsigned char *visited);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_SVD_KERNEL_H
