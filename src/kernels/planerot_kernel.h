// src/kernels/planerot_kernel.h: the overflow-avoiding hypotenuse and the 2 x 2 Givens rotation.
#ifndef MATRIX_SRC_KERNELS_PLANEROT_KERNEL_H
#define MATRIX_SRC_KERNELS_PLANEROT_KERNEL_H

#include <cstddef>

namespace kiv {
namespace matrix {
namespace kernels {

/// Returns sqrt(a^2 + b^2) without overflow or harmful underflow: with
/// p = |a| and q = |b|,
///   p > q:      sqrt((q/p)^2 + 1.0) * p
///   q == 0.0:   p (0.0, or NaN when a is NaN)
///   otherwise:  sqrt((p/q)^2 + 1.0) * q
/// each step rounded in that order (the quotient squared, plus 1.0, square
/// root, times the larger magnitude). An infinite argument gives +Inf (two
/// infinities too); otherwise a NaN argument gives NaN.
/// Source: the scaled hypotenuse of Press, Teukolsky, Vetterling & Flannery,
/// Numerical Recipes, 2nd ed., Section 2.6 (pythag).
double SafeHypot(double a, double b);

/// Builds the Givens rotation G that turns x = [x0; x1] into [r; 0]:
///   r = SafeHypot(x0, x1);
///   r == 0.0:  G = I;
///   otherwise: c = x0/r, s = x1/r, G = [c s; -s c].
///   x0, x1 [in]  the vector
///   g      [out] G, 2 x 2, column-major (c, -s, s, c), ldg >= 2
/// Returns r, never negative (NaN when x holds a NaN).
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Section 5.1.8.
double PlaneRotation(double x0, double x1, double *g, std::size_t ldg);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_PLANEROT_KERNEL_H
