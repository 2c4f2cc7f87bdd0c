// include/matrix/shape.h: transposes, triangular parts, reshaping and shape queries.
#ifndef MATRIX_SHAPE_H
#define MATRIX_SHAPE_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Every function returning a CMatrix * returns a new array owned by the
// caller and leaves its argument unchanged; a failed check creates nothing.
// Each throws kiv::CExhaustedMemoryException when storage cannot be obtained
// or a length it computes does not fit in 32 bits.

/// Returns the transpose of an m x n real or complex double array: the n x m
/// double array whose element (j, i) is element (i, j) of `a`, complex when
/// `a` is, logical when `a` is (no other flag is kept). Throws
/// CTransposeOnNDArrayNotDefinedException for more than two dimensions (this
/// check comes first) and CNotImplementedException for a class other than
/// double.
[[nodiscard]] MATRIX_API CMatrix *Transpose(const CMatrix *a);
/// Returns the complex-conjugate transpose: as Transpose, with the imaginary
/// part negated (its sign bit flipped, so 0 becomes -0). Throws as Transpose.
[[nodiscard]] MATRIX_API CMatrix *Ctranspose(const CMatrix *a);
/// Returns the lower triangular part of a double array seen as m x c (m its
/// first length, c = End(a, 2, 2), the product of the others): an m x c double array, flags
/// 0, complex when `a` is, holding element (i, j) where i >= j - k and 0
/// elsewhere. k = 0 is the main diagonal, k > 0 above it, k < 0 below it.
/// Throws CNotImplementedException for a class other than double.
[[nodiscard]] MATRIX_API CMatrix *Tril(const CMatrix *a, int k);
/// Returns the upper triangular part, as Tril but holding element (i, j)
/// where i <= j - k. Throws CNotImplementedException for a class other than
/// double.
[[nodiscard]] MATRIX_API CMatrix *Triu(const CMatrix *a, int k);

/// Returns Reshape(a, 2, {m, n}).
[[nodiscard]] MATRIX_API CMatrix *Reshape(CMatrix *a, unsigned int m, unsigned int n);
/// Returns Reshape(a, 3, {m, n, p}).
[[nodiscard]] MATRIX_API CMatrix *Reshape(CMatrix *a, unsigned int m, unsigned int n,
                                          unsigned int p);
/// Returns a new array that shares the data of `a` (any class; nothing is
/// copied) and has the shape dims[0..nDims), trailing lengths of 1 beyond the
/// second dropped; the elements keep their column-major order. Throws
/// CFunctionErrorException "Size vector must have at least two elements" when
/// nDims < 2 and "The number of elements can't change" when the product of
/// the lengths differs from the element count of `a`.
[[nodiscard]] MATRIX_API CMatrix *Reshape(CMatrix *a, unsigned int nDims, const unsigned int *dims);
/// Returns A(:): a new (number of elements) x 1 array sharing the data of `a`
/// (any class; nothing is copied).
[[nodiscard]] MATRIX_API CMatrix *Tocolumn(const CMatrix *a);
/// Returns A(:,:): a new m x End(a, 2, 2) array sharing the data of `a` (any
/// class; nothing is copied), m being the first length. Throws
/// kiv::CExhaustedMemoryException when End(a, 2, 2) does.
[[nodiscard]] MATRIX_API CMatrix *Tomatrix(const CMatrix *a);

/// Returns the value of `end` at position k (one-based) of a subscript with n
/// positions: 1 when k exceeds the number of dimensions; else the element
/// count when n is 1; else the length of dimension k when k < n or n equals
/// the number of dimensions; else (the last position, before the last
/// dimension) the product of the lengths of dimensions k to the last. Throws
/// CFunctionErrorException "End: iDim>iIdxs" when k > n,
/// CIndexIntoMatrixNegativeOrZeroException when k is 0, and
/// kiv::CExhaustedMemoryException when that product does not fit in 32 bits
/// (possible only when an earlier length is 0).
MATRIX_API unsigned int End(const CMatrix *a, unsigned int k, unsigned int n);
/// Returns 0 for an array without elements, else its largest length.
MATRIX_API unsigned int Length(const CMatrix *a);
/// Returns a 1x1 double array (not logical) holding 1.0 when `a` has no
/// elements (any length 0, as in 0x3) and 0.0 otherwise.
[[nodiscard]] MATRIX_API CMatrix *Isempty(const CMatrix *a);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SHAPE_H
