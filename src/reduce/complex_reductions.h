// src/reduce/complex_reductions.h: the reductions of complex arrays that do
// not split into the parts (products, variances), and Var and Std of the
// other classes.
//
// Private to the library. A complex array of any class is converted to
// complex double (Cast), reduced there in a stated order and the result
// converted back to single for a single array (rounded once from the double
// result); every other class gives double.
//   Prod and Cumprod: each line is folded from 1 + 0i, first to last, with
//   the product of kernels::Mul ((xr*yr - xi*yi) + (xr*yi + xi*yr)i). A line
//   of no elements gives 1 + 0i. The result stays complex.
//   Var and Std: the line's mean m is (sum of the real parts, in order from
//   0.0, over n) + (the same of the imaginary parts)i; then the squared
//   moduli |x - m|^2 = dr*dr + di*di are summed in order from 0.0 and
//   divided by n - 1 (by 1 when n is 1). The result is real; Std is its
//   square root. A line of no elements gives NaN.
// Var and Std of a real single array are those of its double values,
// rounded once to single: the double sums are the more accurate, and the
// result is the same on every path. Integer and char arrays are refused
// with CFunctionErrorException, as the language refuses them.
#ifndef MATRIX_SRC_REDUCE_COMPLEX_REDUCTIONS_H
#define MATRIX_SRC_REDUCE_COMPLEX_REDUCTIONS_H

#include <matrix/cmatrix.h>

namespace kiv {
namespace matrix {
namespace reduce {

/// Prod (cumulative false) or Cumprod of a complex A along dim (at least 1;
/// beyond the last dimension A's shared copy), or with dim 0 along the
/// default dimension (the 0x0 array's product is the scalar 1).
CMatrix *ComplexProducts(const CMatrix *A, unsigned int dim, bool cumulative);

/// Var (root false) or Std of an A that is not real double, along dim, or
/// with dim 0 along the default dimension (the 0x0 array gives NaN).
CMatrix *SpreadOtherClass(const CMatrix *A, unsigned int dim, bool root);

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_REDUCE_COMPLEX_REDUCTIONS_H
