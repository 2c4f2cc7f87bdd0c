// src/kernels/qr_kernel.h: Householder QR factorisation with optional column pivoting.
#ifndef MATRIX_SRC_KERNELS_QR_KERNEL_H
#define MATRIX_SRC_KERNELS_QR_KERNEL_H

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_path.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Entries of magnitude at most this count as zero when columns are ranked
/// for pivoting, so that rounding noise left in an eliminated column never
/// makes it the pivot. An absolute threshold, fixed by the library's
/// definition of the pivot choice.
constexpr double kColumnNormCutoff = 1.0e-12;

/// Reflections whose normalising factor |c(k)| is at most this are left out
/// of Q. Since each Householder vector is formed from its column scaled to a
/// largest magnitude of 1, |c(k)| is at least 1 for every real reflection,
/// so only the zero columns (c(k) = 0) fall under it.
constexpr double kReflectionSkip = 1.0e-15;

/// Returns the Euclidean length of a vector with small entries cut off:
///   scale = 1.0, sum = 0.0; for each x(i) with |x(i)| > kColumnNormCutoff
///   (NaN is skipped), a = |x(i)|:
///     scale >= a:  sum = sum + (a/scale)^2
///     otherwise:   sum = sum*(scale/a)^2 + 1.0, scale = a
///   result sqrt(sum)*scale.
///   count  [in] number of entries
///   x      [in] the vector, entries x[i * stride]
///   stride [in] >= 1
///   path   [in] kFastest: AVX-512 or AVX2 for a contiguous vector where
///               the processor has them; otherwise the scalar loop. The same
///               bits.
/// Source: the scaled sum of squares of LAPACK's DNRM2 (Hammarling's
/// algorithm), with the cut-off added.
double ColumnNorm(std::size_t count, const double *x, std::size_t stride,
                  KernelPath path = KernelPath::kFastest);

/// Reduces an m x n matrix to upper trapezoidal form by K Householder
/// reflections, K = n when m > n and m - 1 otherwise, optionally pivoting
/// columns. For step k = 0..K-1:
///   with pivoting: the first column j >= k whose ColumnNorm of rows k..m-1
///     is strictly the largest (from 0.0; column k when all are 0) is
///     swapped with column k, in perm as well;
///   scale = max |a(i,k)| over i >= k (from |a(k,k)|; NaN does not raise
///     it). If scale is 0.0: c[k] = d[k] = 0.0 and nothing else changes.
///     Otherwise a(i,k) /= scale and sum += a(i,k)^2 for increasing i from
///     0.0; sigma = sqrt(sum), negated unless a(k,k) >= 0.0 (so a NaN gives
///     a negative sigma); a(k,k) += sigma; c[k] = a(k,k)*sigma;
///     d[k] = -(sigma*scale); then for each column j > k:
///     tau = (0.0 + sum over i >= k of a(i,j)*a(i,k)) / c[k] and
///     a(i,j) -= tau*a(i,k) for i >= k.
/// With pivoting and m < n, the last row is pivoted once more (the same
/// choice with k = m - 1). When m <= n, d[m-1] = a(m-1, m-1).
///   m, n  [in]     rows and columns, m >= 1, n >= 1
///   a     [in,out] A on entry; on exit column k holds the k-th Householder
///                  vector v(k) in rows k..m-1 for k < K, and the rest of R
///                  above the diagonal; column-major, lda >= m
///   perm  [out]    null (no pivoting) or n entries: perm[j] is the column
///                  of A now in column j
///   c     [out]    K entries: the normalising factors, H(k) = I - v v'/c[k]
///   d     [out]    min(m, n) entries: the diagonal of R
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithm 5.4.1
/// (Householder QR with column pivoting), with the scaling of Businger &
/// Golub, Numer. Math. 7 (1965).
void HouseholderQr(std::size_t m, std::size_t n, double *a, std::size_t lda, std::uint32_t *perm,
                   double *c, double *d);

/// Returns the number of doubles of workspace that HouseholderFormQ needs
/// for an m x m Q.
std::size_t HouseholderFormQWorkspace(std::size_t m);

/// Forms Q = H(0)*H(1)*...*H(K-1) from HouseholderQr's reflections. Q starts
/// as the identity; when m > 1:
///   step 0 (if |c[0]| > kReflectionSkip): with t = -1.0/c[0], for each
///     column j, f = t*v(j) and Q(i,j) = Q(i,j) + f*v(i);
///   step k = 1..K-1 (if |c[k]| > kReflectionSkip): with p = m - k, W is the
///     p x p identity updated the same way with v(k) and t = -1.0/c[k]; then
///     Q(i, k+j) = 0.0 + Q(i,k)*W(0,j) + ... + Q(i,m-1)*W(p-1,j), from the
///     old values of row i, products added in increasing index.
///   m, k  [in]  order of Q, number of reflections K (K <= m; K >= 1 when
///               m > 1)
///   v     [in]  HouseholderQr's a: v(k) in rows k..m-1 of column k,
///               column-major, ldv >= m
///   c     [in]  K normalising factors
///   q     [out] Q, m x m, column-major, ldq >= m; must not overlap v
///   work  [out] HouseholderFormQWorkspace(m) doubles
/// Source: forward accumulation of the factored form (Golub & Van Loan,
/// Matrix Computations, 4th ed., Section 5.1.6), each reflection applied as
/// an explicit matrix W through the in-order product of MatrixProduct.
void HouseholderFormQ(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                      const double *c, double *q, std::size_t ldq, double *work);

/// Returns the number of doubles of workspace that HouseholderQrFast needs
/// for n columns.
std::size_t HouseholderQrFastWorkspace(std::size_t n);

/// The fast order of HouseholderQr: the same K reflections with the same
/// scaling, sign convention, c[k] and d[k] formulas and pivot rule (the
/// first strictly longest remaining column, the last row of a wide matrix
/// pivoted once more), in an order of its own, blocked in panels of 32
/// reflections (LAPACK's xLAQPS scheme):
///   - within a panel, column k first subtracts F'(q, k) times the panel's
///     earlier vectors q (increasing q, rows k..); its reflection then
///     gives, for every column j > k, F'(i, j) = tau*DotFast(v, A(k.., j))
///     + sum over q < i of F'(q, j)*aux(q), aux(q) = -tau*DotFast(v, v(q))
///     (tau = 1/c[k], 0 when no reflection), and row k of those columns is
///     finished by subtracting V(k, q)*F'(q, j) for q = 0..i in turn;
///   - at the panel's end the rows below it take A -= V*F' through
///     MatrixProductUpdate (subtracting in increasing q);
///   - with pivoting, the remaining column lengths are updated from the
///     finished row rather than recomputed (LAPACK's xGEQP3 rule); a
///     length that has lost half its digits, or has fallen to the cut-off's
///     reach (at most 2*sqrt(rows)*kColumnNormCutoff), ends the panel and is
///     recomputed by ColumnNorm after the update, so columns that ColumnNorm
///     counts as zero are still never chosen over longer ones;
///   - a column with no reflection (scale 0.0) is set to zeros.
/// Every step treats the columns right of the panel independently, so
/// they may be split between threads without changing a bit.
///   m, n, a, lda, perm, c, d as HouseholderQr
///   work [out] HouseholderQrFastWorkspace(n) doubles
///   path [in]  as DotFast (and passed to the products)
/// Source: Quintana-Orti, Sun & Bischof, "A BLAS-3 version of the QR
/// factorization with column pivoting", SIAM J. Sci. Comput. 19(5), 1998;
/// the length update of Drmac & Bujanovic, ACM TOMS 35(2), 2008.
void HouseholderQrFast(std::size_t m, std::size_t n, double *a, std::size_t lda,
                       std::uint32_t *perm, double *c, double *d, double *work,
                       KernelPath path = KernelPath::kFastest);

/// Returns the sum of x[i]*y[i] for i < count in the fast order's fixed
/// arrangement: partial sum p (p = 0..15) adds the products with
/// i % 16 == p in increasing i, each from 0.0, and the result is the
/// pairwise sum (((p0 + p1) + (p2 + p3)) + ((p4 + p5) + (p6 + p7))) +
/// (((p8 + p9) + (p10 + p11)) + ((p12 + p13) + (p14 + p15))).
///   path [in] kFastest: AVX2 where the processor has it; kPlain: scalar
///             loops. Both give the same bits, as do the fast-order kernels
///             below that take a path.
double DotFast(std::size_t count, const double *x, const double *y,
               KernelPath path = KernelPath::kFastest);

/// y(i) = y(i) - t*x(i) for i < count, each element on its own.
///   path [in] as DotFast: the same bits either way
void SubtractMultiple(std::size_t count, double t, const double *x, double *y,
                      KernelPath path = KernelPath::kFastest);

/// Returns the number of doubles of workspace that HouseholderFormQFast
/// needs for an m x m Q.
std::size_t HouseholderFormQFastWorkspace(std::size_t m);

/// Forms Q = H(0)*H(1)*...*H(K-1) in the fast order, blocked: Q starts as
/// the identity, and for each block of b = 32 reflections s..s+b-1 (the
/// last block first, shorter when K is not a multiple of 32), with V the
/// p x b matrix of their vectors (p = m - s, zeros above each vector) and
/// T the upper triangular b x b matrix with H(s)*...*H(s+b-1) = I - V*T*V'
/// (T(i,i) = 1/c[s+i], or 0.0 when |c[s+i]| <= kReflectionSkip, and
/// T(0..i-1, i) = -T(i,i) * (T(0..i-1, 0..i-1) * z), z(j) the DotFast of
/// vectors j and i over rows i.., each T sum in increasing index):
///   W = V' * Q(s.., s..) by MatrixProduct (in-order sums over rows),
///   W2(r, j) = sum over q >= r of T(r,q)*W(q,j) (increasing q),
///   Q(s.., s..) -= V * W2 by MatrixProductUpdate (subtracting, increasing).
/// Every step treats the columns of Q independently.
///   m, k, v, ldv, c, q, ldq as HouseholderFormQ
///   work [out] HouseholderFormQFastWorkspace(m) doubles
///   path [in]  as DotFast (and passed to the products)
/// Source: the compact WY representation (Schreiber & Van Loan, SIAM J.
/// Sci. Stat. Comput. 10(1), 1989), accumulated backwards as in LAPACK's
/// DORGQR.
void HouseholderFormQFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                          const double *c, double *q, std::size_t ldq, double *work,
                          KernelPath path = KernelPath::kFastest);

/// Returns the number of doubles of workspace that HouseholderApplyQFast
/// needs for m rows and ncols columns.
std::size_t HouseholderApplyQFastWorkspace(std::size_t m, std::size_t ncols);

/// B := Q*B for Q = H(0)*H(1)*...*H(K-1), in the blocks of
/// HouseholderFormQFast (the last block first, each with the same V and T):
/// W = V' * B(s.., :), W2 = T*W by MatrixProduct (each sum over all of
/// T's row, in increasing index, the zeros below the diagonal included),
/// B(s.., :) -= V * W2, over all ncols columns. For finite B and
/// reflections this is HouseholderFormQFast applied to the identity, bit
/// for bit (a sum stays +0.0 until its first term).
///   m, k, v, ldv, c [in] as HouseholderFormQ
///   ncols           [in] columns of B
///   b               [in,out] B, m x ncols, column-major, ldb >= m
///   work            [out] HouseholderApplyQFastWorkspace(m, ncols) doubles
///   path            [in] as HouseholderFormQFast
void HouseholderApplyQFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                           const double *c, std::size_t ncols, double *b, std::size_t ldb,
                           double *work, KernelPath path = KernelPath::kFastest);

/// Applies Q' = H(K-1)*...*H(0) to the columns of B in the fast order: for
/// k = 0..K-1 (skipping |c[k]| <= kReflectionSkip) each column takes
/// s = DotFast of v(k) and B(k..m-1, j), tau = s / c[k], B(i,j) -= tau*v(i)
/// for i >= k. Columns are independent.
///   m, k, v, ldv, c [in] as HouseholderFormQ
///   ncols           [in] columns of B
///   b               [in,out] B, m x ncols, column-major, ldb >= m
///   path            [in] as DotFast
void HouseholderApplyQtFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                            const double *c, std::size_t ncols, double *b, std::size_t ldb,
                            KernelPath path = KernelPath::kFastest);

/// Finishes R in place after Q has been formed: zeros every element below
/// the diagonal in the first min(m-1, n) columns, then sets a(i,i) = d[i]
/// for i < min(m, n).
///   m, n [in]     rows and columns, m >= 1, n >= 1
///   a    [in,out] HouseholderQr's a, column-major, lda >= m
///   d    [in]     min(m, n) diagonal elements
void HouseholderFinishR(std::size_t m, std::size_t n, double *a, std::size_t lda, const double *d);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_QR_KERNEL_H
