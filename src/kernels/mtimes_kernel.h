// src/kernels/mtimes_kernel.h: the matrix product in one fixed order of operations.
#ifndef MATRIX_SRC_KERNELS_MTIMES_KERNEL_H
#define MATRIX_SRC_KERNELS_MTIMES_KERNEL_H

#include <cstddef>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Returns the number of doubles of workspace that MatrixProduct uses for an
/// m x k left operand and n columns, or 0 when the product is too small for
/// a packed copy of A to pay (MatrixProduct then reads A in place). Space
/// for one product serves every product no larger in m, n and k.
std::size_t MatrixProductWorkspace(std::size_t m, std::size_t n, std::size_t k);

/// Returns packing space for a product of these sizes (see MatrixProduct's
/// `work`): MatrixProductWorkspace(m, n, k) doubles belonging to the calling
/// thread, or null when the product does not pack or no space could be
/// had. The same space serves every call on the thread, so it is only good
/// until the next call.
double *PackingSpace(std::size_t m, std::size_t n, std::size_t k);

/// Computes C = A * B, every element as one in-order inner product:
///   C(i, j) = (...((0.0 + A(i,0)*B(0,j)) + A(i,1)*B(1,j)) + ...) + A(i,k-1)*B(k-1,j)
/// Each product is rounded, then added to an accumulator that starts at 0.0,
/// in increasing p; no fused multiply-add, no reassociation. So the result
/// is bit for bit that of the plain triple loop, however the loops are
/// blocked: several elements are accumulated side by side, and a long sum is
/// carried through C between passes over blocks of p, which stores and
/// reloads it unchanged. With k = 0 every C(i, j) is 0.0.
///   m, n, k [in]  A is m x k, B is k x n, C is m x n; any may be 0
///   a       [in]  A, column-major, lda >= max(1, m)
///   b       [in]  B, column-major, ldb >= max(1, k)
///   c       [out] C, column-major, ldc >= max(1, m); must not overlap a or
///                 b. Its previous contents are never read.
///   work    [in,out] MatrixProductWorkspace(m, n, k) doubles, or null (then
///                 A is read in place); must not overlap the matrices
///   path    [in]  kFastest: the widest vector code this processor has;
///                 kAvx2: vector code no wider than AVX2; kPlain: the
///                 portable tiles only
/// Source: the dot product formulation of the product (Golub & Van Loan,
/// Matrix Computations, 4th ed., Section 1.1), blocked for registers and
/// caches as in the Goto/BLIS scheme (Van Zee & van de Geijn, ACM TOMS
/// 41(3), 2015) but without splitting any element's sum.
void MatrixProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                   const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                   KernelPath path = KernelPath::kFastest);

/// How MatrixProductUpdate meets each product with the running value:
/// adds it, subtracts it, or adds it unless its element of A is 0.0 (then
/// the value stays as it is, even when the element of B is infinite or
/// NaN; a NaN element of A counts as not 0.0).
enum class UpdateSign { kAdd, kSubtract, kAddUnlessZero };

/// The order in which MatrixProductUpdate takes each element's products.
enum class SumOrder { kIncreasing, kDecreasing };

/// Continues C with the products of A * B, every element in increasing p
/// (or, with SumOrder::kDecreasing, from p = k-1 down to 0):
///   C(i, j) = (...((C(i, j) ± A(i,0)*B(0,j)) ± A(i,1)*B(1,j)) ± ...) ± A(i,k-1)*B(k-1,j)
/// with ± as `sign` says: each product is rounded, then met with the
/// running value, which starts as C's element. Blocked as MatrixProduct,
/// with the same arguments; C must not share elements with A or B, and
/// k = 0 leaves C as it is. This is the trailing update of a blocked
/// elimination or substitution that must keep each element's
/// one-at-a-time order.
void MatrixProductUpdate(std::size_t m, std::size_t n, std::size_t k, const double *a,
                         std::size_t lda, const double *b, std::size_t ldb, double *c,
                         std::size_t ldc, double *work, UpdateSign sign,
                         SumOrder order = SumOrder::kIncreasing,
                         KernelPath path = KernelPath::kFastest);

/// MatrixProductUpdate within one matrix x (leading dimension ld), in the
/// increasing order, with the calling thread's PackingSpace: rows i0 ..
/// i1 - 1 of columns c0 .. c1 - 1 meet the products of their entries in
/// columns k0 .. k1 - 1 with rows k0 .. k1 - 1 of the same columns. The
/// update step of the blocked eliminations; the three blocks must not
/// overlap, and an empty range leaves x as it is.
void UpdateBlockInPlace(double *x, std::size_t ld, std::size_t i0, std::size_t i1, std::size_t k0,
                        std::size_t k1, std::size_t c0, std::size_t c1, UpdateSign sign);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_MTIMES_KERNEL_H
