// src/kernels/exp_kernel.h: the library's exponential, one element or many.
#ifndef MATRIX_SRC_KERNELS_EXP_KERNEL_H
#define MATRIX_SRC_KERNELS_EXP_KERNEL_H

#include <cstddef>

#include "kernels/kernel_path.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// The library's exp(x), the same bits on every processor and path. With
/// N = 256 and k = round-to-nearest-even(x * (N / ln 2)), x = k ln2/N + r
/// (ln2/N split in two so that r carries no rounding but the last one), and
///   exp(x) = 2^floor(k/N) * 2^((k mod N)/N) * exp(r),
/// 2^(j/N) from a table of two doubles each (correctly rounded head, the
/// rest in the tail), exp(r) - 1 by its Taylor polynomial to r^5 (|r| <=
/// ln2/512), every step a rounded double add or multiply (no fused ones).
/// Accuracy: at most 0.503 ulp from the exact value (0.5 of it the final
/// rounding), so nearly all results are the correctly rounded ones;
/// subnormal results are rounded once, to their own precision. Special
/// values: NaN gives NaN (x quieted), +Inf gives +Inf and -Inf +0; a result
/// beyond the largest double is +Inf, one below half the smallest
/// subnormal +0; exp(+-0) is 1.
double ExpOf(double x);

/// y[i] = ExpOf(x[i]) for i < n, several elements at once on the AVX2 and
/// AVX-512 paths; every path gives ExpOf's bits. y may be x itself, and
/// otherwise must not overlap it.
///   path [in] kFastest: the widest vector code the process may use;
///             kAvx2: at most AVX2; kPlain: ExpOf one element at a time
void ExpArray(std::size_t n, const double *x, double *y, KernelPath path = KernelPath::kFastest);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_EXP_KERNEL_H
