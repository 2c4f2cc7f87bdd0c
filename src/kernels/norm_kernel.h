// src/kernels/norm_kernel.h: vector p-norms and the matrix 1-, infinity- and Frobenius norms.
#ifndef MATRIX_SRC_KERNELS_NORM_KERNEL_H
#define MATRIX_SRC_KERNELS_NORM_KERNEL_H

#include <cstddef>

namespace kiv {
namespace matrix {
namespace kernels {

/// Returns the p-norm of a vector of count >= 1 entries:
///   p == 0.0:   +Inf;
///   p == +Inf:  max |x(i)|, p == -Inf: min |x(i)|, each from |x(0)| on,
///               a later entry replacing it only when strictly beyond (so a
///               NaN after the first is passed over);
///   p == 1.0:   0.0 + |x(0)| + |x(1)| + ... in storage order;
///   otherwise:  pow(0.0 + pow(|x(0)|, p) + pow(|x(1)|, p) + ..., 1.0/p),
///               the C library's pow, sum in storage order (p = 2.0 too).
///   count [in] number of entries, >= 1
///   x     [in] x[i * inc], inc >= 1
double VectorNorm(std::size_t count, const double *x, std::size_t inc, double p);

/// Returns the largest column sum of magnitudes of an m x n matrix: each
/// column summed from 0.0 top to bottom, the running maximum from 0.0
/// replaced only by a strictly larger sum (NaN sums are passed over).
///   a [in] column-major, lda >= max(1, m)
double MatrixNorm1(std::size_t m, std::size_t n, const double *a, std::size_t lda);

/// Returns the largest row sum of magnitudes of an m x n matrix: each row
/// summed from 0.0 left to right, the running maximum from 0.0 over rows in
/// increasing order, replaced only by a strictly larger sum.
///   a    [in]  column-major, lda >= max(1, m)
///   work [out] m doubles (the row sums, accumulated column by column,
///              which keeps each row's order)
double MatrixNormInf(std::size_t m, std::size_t n, const double *a, std::size_t lda, double *work);

/// Returns sqrt(0.0 + a(0,0)^2 + a(1,0)^2 + ...), the squares summed in
/// storage (column-major) order, without scaling.
///   a [in] column-major, lda >= max(1, m)
double FrobeniusNorm(std::size_t m, std::size_t n, const double *a, std::size_t lda);

/// Returns the first of the count values of largest magnitude: w(0), then
/// each later w(i) with |w(i)| strictly greater than the magnitude kept.
///   w [in] w[i * inc], count >= 1, inc >= 1
double LargestMagnitude(std::size_t count, const double *w, std::size_t inc);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_NORM_KERNEL_H
