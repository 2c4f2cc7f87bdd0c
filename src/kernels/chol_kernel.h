// src/kernels/chol_kernel.h: the row-oriented Cholesky factorisation R'*R = A.
#ifndef MATRIX_SRC_KERNELS_CHOL_KERNEL_H
#define MATRIX_SRC_KERNELS_CHOL_KERNEL_H

#include <cstddef>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Computes the upper triangular R with R'*R = A from the upper triangle of
/// A (the diagonal included; the strictly lower triangle is never read).
/// For each row j = 0..n-1:
///   x = A(j,j) - R(j-1,j)^2 - R(j-2,j)^2 - ... - R(0,j)^2, one square at a
///       time in that decreasing order;
///   x < 0.0: stop and return j + 1 (0.0 and NaN pass);
///   R(j,j) = sqrt(x);
///   R(j,i) = (A(j,i) - R(0,j)*R(0,i) - ... - R(j-1,j)*R(j-1,i)) / R(j,j)
///       for i = j+1..n-1, products subtracted in increasing k.
/// A zero x therefore gives R(j,j) = 0.0 and infinities or NaNs to its
/// right, without a report.
///   n [in]  order of A, n >= 0
///   a [in]  A, column-major, lda >= max(1, n); only the upper triangle is
///           read
///   r [out] R, column-major, ldr >= max(1, n); the strictly lower triangle
///           is set to 0.0. After a failure at row j only rows 0..j-1 and
///           the zeros are defined. Must not overlap a.
///   path [in] kFastest: blocks of rows meet through the product kernel
///           (on several threads from order 256, panels of 64 to 192
///           rows, narrower towards the end, the next factored while the
///           rest take the current one); kPlain: row by row over the whole
///           matrix, as written above
/// Returns 0 when every x was non-negative or NaN, else the row (from 1)
/// whose x was negative.
/// Source: the Cholesky algorithm in its row (inner product) form, Golub &
/// Van Loan, Matrix Computations, 4th ed., Section 4.2.5.
KernelStatus CholeskyUpper(std::size_t n, const double *a, std::size_t lda, double *r,
                           std::size_t ldr, KernelPath path = KernelPath::kFastest);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_CHOL_KERNEL_H
