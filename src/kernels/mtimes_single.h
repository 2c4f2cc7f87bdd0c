// src/kernels/mtimes_single.h: the matrix product in single precision, in one fixed order.
#ifndef MATRIX_SRC_KERNELS_MTIMES_SINGLE_H
#define MATRIX_SRC_KERNELS_MTIMES_SINGLE_H

#include <cstddef>

#include "kernels/kernel_support.h"
#include "kernels/mtimes_kernel.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Computes C = A * B in float, every element as one in-order inner product:
///   C(i, j) = (...((0.0f + A(i,0)*B(0,j)) + A(i,1)*B(1,j)) + ...) + A(i,k-1)*B(k-1,j)
/// each product rounded to float, then added to the float accumulator, in
/// increasing p; no fused multiply-add, no reassociation, no wider
/// intermediate. This is the double MatrixProduct's order on float
/// elements, so the result is bit for bit that of the plain triple loop in
/// float, whichever path and however many threads run it: vector lanes
/// hold different rows' sums, and a sum carried through C between passes
/// over blocks of p is stored and reloaded unchanged. With k = 0 every
/// C(i, j) is 0.0f.
///   m, n, k [in]  A is m x k, B is k x n, C is m x n; any may be 0
///   a, b    [in]  A and B, column-major, lda >= max(1, m), ldb >= max(1, k)
///   c       [out] C, ldc >= max(1, m); must not overlap a or b; its
///                 previous contents are never read
///   path    [in]  kFastest: AVX-512 tiles of 64 x 6 sums where the
///                 processor has them, else AVX2 tiles of 16 x 6; kAvx2: no
///                 wider than AVX2; kPlain: the portable 4 x 4 tiles, reading
///                 A in place
/// The vector paths pack blocks of A into space of their own thread (made
/// on first use and kept); when none can be had they take the plain path,
/// which gives the same bits.
void MatrixProduct(std::size_t m, std::size_t n, std::size_t k, const float *a, std::size_t lda,
                   const float *b, std::size_t ldb, float *c, std::size_t ldc,
                   KernelPath path = KernelPath::kFastest);

/// Continues C with the products of A * B, every element in increasing p:
///   C(i, j) = (...((C(i, j) ± A(i,0)*B(0,j)) ± A(i,1)*B(1,j)) ± ...) ± A(i,k-1)*B(k-1,j)
/// in float, with ± as `sign` says (UpdateSign, as the double
/// MatrixProductUpdate); k = 0 leaves C as it is. Otherwise as
/// MatrixProduct above.
void MatrixProductUpdate(std::size_t m, std::size_t n, std::size_t k, const float *a,
                         std::size_t lda, const float *b, std::size_t ldb, float *c,
                         std::size_t ldc, UpdateSign sign, KernelPath path = KernelPath::kFastest);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_MTIMES_SINGLE_H
