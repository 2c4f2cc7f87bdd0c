// src/reduce/class_order.h: the order of the elements of every class, and
// sorting, maxima and minima on it for the arrays that are not real double.
//
// Private to the library. Real elements compare by value in their own
// class (64-bit integers exactly, single without a detour); char as its
// unsigned code units. Complex elements compare by modulus, hypot of the
// parts taken in double, then by angle atan2(im, re) in double, brought
// into (-pi, pi] (the angle -pi, of a negative real part with an imaginary
// -0, counts as pi). An element is NaN when a part is NaN: it is never
// less or greater than another, the infinite modulus hypot gives it
// notwithstanding. +0 and -0, and complex elements of one modulus and one
// angle, compare equal.
//
// Sorting on this order is stable; NaNs go last ascending and first
// descending, in their order in the line: as the real double sort.
// Maxima and minima start each line from its first element and take a later
// one only when it is strictly greater (smaller), as the real double path
// does, so a NaN is chosen only when it starts its line.
#ifndef MATRIX_SRC_REDUCE_CLASS_ORDER_H
#define MATRIX_SRC_REDUCE_CLASS_ORDER_H

#include <matrix/cmatrix.h>
#include <matrix/reduce.h>

namespace kiv {
namespace matrix {
namespace reduce {

/// Sorts every line of A along dim (1 <= dim <= A's dimensions) into Y, an
/// array of A's shape, class and complexity, and when `positions` is not
/// null stores there the 1-based positions the elements came from. A is a
/// numeric array of any class (char included) but real double. Throws
/// CNotImplementedException for the classes that hold no numbers,
/// kiv::CExhaustedMemoryException.
void SortOtherClass(const CMatrix *A, unsigned int dim, SortOrder order, CMatrix *Y,
                    double *positions);

/// Returns the maxima (kMax) or minima of A along dim (at least 1) as a new
/// array of A's class and complexity shaped as the real double path shapes
/// them, and when `I` is not null a new real double array of the positions
/// into *I. A is numeric but neither real double nor char. Throws
/// CNotImplementedException for the classes that hold no numbers,
/// kiv::CExhaustedMemoryException; then nothing is left allocated and *I is
/// unchanged.
template <bool kMax>
CMatrix *ExtremeOtherClass(const CMatrix *A, unsigned int dim, CMatrix **I);

/// The element-wise maximum (kMax) or minimum of A and B when either is
/// complex, on the order above, with implicit expansion: Max takes B(i)
/// where B(i) is greater than A(i), otherwise A(i); Min takes A(i) where
/// A(i) is less than B(i), otherwise B(i); so a NaN on either side gives
/// A's element to Max and B's to Min, as for real operands. The result is
/// complex single when either operand is single, else complex double, and
/// made real when every imaginary part of it is zero. Operands of double,
/// single, char or logical; an integer class or a class that holds no
/// numbers throws CNotImplementedException; other shapes
/// CArrayDimsMustMatchForBinaryOpException; kiv::CExhaustedMemoryException.
template <bool kMax>
CMatrix *ComplexPairExtreme(const CMatrix *A, const CMatrix *B);

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_REDUCE_CLASS_ORDER_H
