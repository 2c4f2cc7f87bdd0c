// include/matrix/reduce.h: reductions along a dimension (sums, products,
// truth tests, maxima and minima), searches and tests.
#ifndef MATRIX_REDUCE_H
#define MATRIX_REDUCE_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Reductions along a dimension (1-based); without dim the default dimension.
//
// Along dimension dim each line of A (the elements that differ only in their
// subscript dim) gives one element of the result, which has A's shape with
// dimension dim set to 1 (trailing lengths of 1 beyond the second dropped: a
// 2x3x4 array reduced along 3 gives 2x3). The elements of a line are taken
// from the first to the last, always in that order, so results are
// reproducible bit for bit:
//   Sum: 0.0, then + each element (plain double addition; a line of -0
//        sums to +0; a NaN or opposite infinities give NaN);
//   Prod: 1.0, then * each element;
//   All: 1.0, or 0.0 once an element equals 0.0 (NaN counts as non-zero);
//   Any: 0.0, or 1.0 once an element does not equal 0.0.
// A line of no elements gives 0, 1, 1 and 0 respectively, so Sum of a 0x3
// array is the row [0 0 0]. Sum and Prod return plain double arrays; All and
// Any return logical arrays (class double, logical flag set). Along a
// dimension beyond the last, Sum and Prod return a new array sharing A's
// data, flags included (every element unchanged, -0 too), and All and Any a
// new logical array of A's shape holding 1.0 where A's element is not 0.0.
//
// Default dimension (the one-argument forms): a vector (two dimensions, at
// least one element, one of the first two lengths 1) is reduced along its
// length (dimension 2 for a row or a 1x1 array, else 1); any other array
// along dimension 1, or, when it has three or more dimensions and its first
// length is 1, along its first dimension whose length is not 1 (a 1x1x3
// array gives 1x1). Sum and Prod of the 0x0 array are the 1x1 doubles 0 and
// 1; All and Any of it are 1x0 logical arrays.
//
// Real double arrays are reduced as above (the logical flag is ignored).
// Sum, Prod, Cumsum, Cumprod and Mean take every numeric class and char
// too: the array is converted to double (Cast; exact but for 64-bit
// integers beyond 2^53), reduced as above, and the result converted back:
// an integer class stays (Mean gives double), saturating and rounding
// halves away from zero; single stays, rounded once from the double result
// (not accumulated in single: the double sum is the more accurate, and
// the same on every path); char and logical give double. Sum, Cumsum and
// Mean of a complex array reduce each part; Prod and Cumprod of a complex
// array fold each line from 1 + 0i, first to last, with the product
// (xr*yr - xi*yi) + (xr*yi + xi*yr)i in complex double, and keep it complex
// (single for single). All and Any take every numeric class and char,
// complex included: an element is true when either part is not 0.
// A dim of 0 throws CFunctionErrorException("Dimension argument must be a
// positive integer") before anything else; cell, struct and the other
// classes throw CNotImplementedException, also for 0x0 arrays; a failed
// allocation throws kiv::CExhaustedMemoryException. A is never changed, and
// a failed call leaves nothing allocated.

/// Returns the sums of A along its default dimension: a new real double
/// array owned by the caller (1x1 holding 0 for the 0x0 array). Throws
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Sum(const CMatrix *A);
/// Returns the in-order sums of A along dimension dim (1 = down each column,
/// 2 = along each row, ...): a new real double array owned by the caller.
/// Throws CFunctionErrorException (dim 0), CNotImplementedException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Sum(const CMatrix *A, unsigned int dim);
/// Returns the products of A along its default dimension: a new real double
/// array owned by the caller (1x1 holding 1 for the 0x0 array). Throws
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Prod(const CMatrix *A);
/// Returns the in-order products of A along dimension dim: a new real double
/// array owned by the caller. Throws CFunctionErrorException (dim 0),
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Prod(const CMatrix *A, unsigned int dim);
/// Tests whether every element along A's default dimension is non-zero:
/// returns a new logical array owned by the caller. Throws
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *All(const CMatrix *A);
/// Tests whether every element along dimension dim is non-zero: returns a
/// new logical array owned by the caller. Throws CFunctionErrorException
/// (dim 0), CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *All(const CMatrix *A, unsigned int dim);
/// Tests whether some element along A's default dimension is non-zero:
/// returns a new logical array owned by the caller. Throws
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Any(const CMatrix *A);
/// Tests whether some element along dimension dim is non-zero: returns a new
/// logical array owned by the caller. Throws CFunctionErrorException (dim 0),
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Any(const CMatrix *A, unsigned int dim);

// Running sums and products, means, variances and sorting along a
// dimension (1-based); without dim the default dimension of Sum above (a
// vector along its length, else dimension 1 or, for three or more
// dimensions with a first length of 1, the first length that is not 1).
// Real double arrays are reduced as below (the logical flag is ignored);
// the other classes as the paragraphs above and below say. A dim of 0
// throws CFunctionErrorException("Dimension argument must be a positive
// integer") before anything else; cell, struct and the other classes that
// hold no numbers throw CNotImplementedException; a failed allocation throws
// kiv::CExhaustedMemoryException. A is never changed, and a failed call
// leaves nothing allocated. Results are new real double arrays owned by the
// caller, except where a shared copy is named.
//
// Cumsum and Cumprod keep A's shape: element k of a line is the fold of its
// elements 0..k exactly as Sum and Prod fold the line (0.0 or 1.0, then each
// element in turn, first to last), so the last element of a line equals Sum
// or Prod of it bit for bit, and a leading -0 becomes +0 in Cumsum. Along a
// dimension beyond the last they return a new array sharing A's data, as
// Sum and Prod do.
//
// Mean, Var and Std reduce like Sum (the dimension becomes 1). Mean is Sum
// along the dimension divided once by the line's length n (so a line of no
// elements gives 0/0, a NaN); along a dimension beyond the last it is A's
// shared copy, as Sum is. Var first takes the line's mean m as Mean does,
// then sums (x - m)^2 over the line in order from 0.0, and divides the sum by
// n - 1, or by 1 when n is 1 (a single element has variance 0, a non-finite
// one NaN); a line of no elements gives NaN. Std is sqrt of Var, element by
// element. Mean, Var and Std of the 0x0 array are the 1x1 NaN.
//
// Var and Std of single arrays are those of their double values, rounded
// once to single. Of a complex array (double or single) they are real: the
// line's mean m is (the in-order sum of the real parts over n) + (the same
// of the imaginary parts)i, and the squared moduli |x - m|^2 = dr*dr + di*di
// are summed in order from 0.0 and divided by n - 1 (by 1 when n is 1).
// The integer classes and char throw CFunctionErrorException("Var: the
// argument must be double or single", and "Std: ..." alike).

/// Returns the running sums of A along its default dimension, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Cumsum(const CMatrix *A);
/// Returns the running sums of A along dimension dim, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Cumsum(const CMatrix *A, unsigned int dim);
/// Returns the running products of A along its default dimension.
[[nodiscard]] MATRIX_API CMatrix *Cumprod(const CMatrix *A);
/// Returns the running products of A along dimension dim.
[[nodiscard]] MATRIX_API CMatrix *Cumprod(const CMatrix *A, unsigned int dim);
/// Returns the means of A along its default dimension (1x1 NaN for 0x0).
[[nodiscard]] MATRIX_API CMatrix *Mean(const CMatrix *A);
/// Returns the means of A along dimension dim: Sum, then one division by
/// the length of the lines.
[[nodiscard]] MATRIX_API CMatrix *Mean(const CMatrix *A, unsigned int dim);
/// Returns the variances of A along its default dimension, normalised by
/// n - 1 (1x1 NaN for 0x0).
[[nodiscard]] MATRIX_API CMatrix *Var(const CMatrix *A);
/// Returns the variances of A along dimension dim, normalised by n - 1.
[[nodiscard]] MATRIX_API CMatrix *Var(const CMatrix *A, unsigned int dim);
/// Returns the standard deviations of A along its default dimension: the
/// square roots of Var(A).
[[nodiscard]] MATRIX_API CMatrix *Std(const CMatrix *A);
/// Returns the standard deviations of A along dimension dim.
[[nodiscard]] MATRIX_API CMatrix *Std(const CMatrix *A, unsigned int dim);

/// The direction of Sort.
enum class SortOrder {
    kAscend,   // smallest first, NaNs last
    kDescend,  // largest first, NaNs first
};

// Sort orders every line of A (the elements that differ only in their
// subscript dim) and keeps A's shape, class and complexity, a logical array
// staying logical. Every class that holds numbers is sorted, char included;
// cell, struct and the others throw CNotImplementedException. Real elements
// are ordered by value in their own class (64-bit integers exactly); complex
// ones by modulus (hypot of the parts, in double), then by angle (atan2 of
// the parts, in double, in (-pi, pi]: -pi counts as pi); a complex element
// with a NaN part is a NaN. The sort is stable: elements that
// compare equal, +0 and -0 among them, keep their order in the line, in
// either direction. NaNs, whatever their bits, go last in ascending order
// and first in descending order, also in their order in the line. Each
// element keeps its bits. The positions of the two-output forms are the
// 1-based positions along the line that the sorted elements came from,
// stored as whole-number doubles, in an array shaped like A. Along a
// dimension beyond the last, the values are a new array sharing A's data,
// with A's flags, and every position is 1. The two-output forms check their
// arguments first (then Y and I keep what they held), then set Y and I to
// null; if an allocation fails they release what they made, and Y and I
// stay null.

/// Sorts A in ascending order along its default dimension.
[[nodiscard]] MATRIX_API CMatrix *Sort(const CMatrix *A);
/// Sorts A in the given order along its default dimension.
[[nodiscard]] MATRIX_API CMatrix *Sort(const CMatrix *A, SortOrder order);
/// Sorts A in ascending order along dimension dim.
[[nodiscard]] MATRIX_API CMatrix *Sort(const CMatrix *A, unsigned int dim);
/// Sorts A in the given order along dimension dim.
[[nodiscard]] MATRIX_API CMatrix *Sort(const CMatrix *A, unsigned int dim, SortOrder order);
/// Stores into Y A sorted in ascending order along its default dimension
/// and into I the positions the elements came from.
MATRIX_API void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A);
/// Stores into Y A sorted in the given order along its default dimension
/// and into I the positions.
MATRIX_API void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A, SortOrder order);
/// Stores into Y A sorted in ascending order along dimension dim and into I
/// the positions.
MATRIX_API void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim);
/// Stores into Y A sorted in the given order along dimension dim and into I
/// the positions.
MATRIX_API void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim, SortOrder order);

// Maxima and minima along a dimension (1-based), with and without positions;
// the element-wise maximum and minimum of two arrays are in elementwise.h.
//
// Along dimension dim each line of A (the elements that differ only in their
// subscript dim) starts from its first element and takes a later element
// only when it is strictly greater (Max) or smaller (Min). So the first of
// equal extrema wins, and of +0 and -0 the first is kept. NaN is missing
// data: a line's NaNs are passed over (a line that starts with NaN starts
// from its first other element), and the result is NaN, at position 1, only
// when every element of the line is NaN. (A complex line that starts with
// an element with a NaN part still gives that element.)
// Positions are 1-based along the line, stored as whole-number doubles.
//
// The result has A's shape with dimension dim set to 1; a dimension of
// length 0 stays 0, so reducing along an empty dimension gives an empty
// result (Max of a 0x3 array is 0x3, of a 3x0 array 1x0). Along a dimension
// beyond the last the result is a new array sharing A's data, with A's
// flags (the logical flag included), and every position is 1.
//
// Default dimension of Max(A) and Min(A): a vector (two dimensions, at
// least one element, one of the first two lengths 1) is reduced along its
// length (dimension 2 for a row or a 1x1 array, else 1); any other array
// along dimension 1, or, when it has three or more dimensions and its first
// length is 1, along its first dimension whose length is not 1. The
// two-output forms Max(Y, I, A) and Min(Y, I, A) use the same vector rule but
// otherwise always dimension 1: for a 1x1x4 array Max(A) is 1x1 while
// Max(Y, I, A) returns Y equal to A and I all ones.
//
// Every class that holds numbers is accepted, in every form (the logical
// flag is ignored). The values keep A's class and complexity; char gives
// double. Real elements compare by value in their own class (64-bit integers
// exactly); complex ones on Sort's order (modulus, then angle), where a
// complex element with a NaN part plays the part of NaN above. Checks run in
// this order: a dim of 0 throws CFunctionErrorException("Dimension argument
// must be a positive integer"), then cell, struct and the other classes
// throw CNotImplementedException; in both cases nothing is created and Y and
// I keep what they held. Otherwise the two-output forms
// first set Y and I to null; if an allocation fails
// (kiv::CExhaustedMemoryException) they release what they made, and Y and
// I stay null.

/// Returns the maxima of A along its default dimension (see above): a new
/// real double array owned by the caller. Throws CNotImplementedException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Max(const CMatrix *A);
/// Returns the maxima of A along dimension dim (1 = down each column,
/// 2 = along each row, ...): a new real double array owned by the caller.
/// Throws CFunctionErrorException (dim 0), CNotImplementedException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Max(const CMatrix *A, unsigned int dim);
/// Stores into Y the maxima of A along the default dimension of the
/// two-output forms (see above) and into I their 1-based positions: two new
/// real double arrays of one shape, owned by the caller. Throws
/// CNotImplementedException, kiv::CExhaustedMemoryException.
MATRIX_API void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A);
/// Stores into Y the maxima of A along dimension dim and into I their
/// 1-based positions: two new real double arrays owned by the caller. Throws
/// CFunctionErrorException (dim 0), CNotImplementedException,
/// kiv::CExhaustedMemoryException.
MATRIX_API void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim);
/// Returns the minima of A along its default dimension; as Max(A).
[[nodiscard]] MATRIX_API CMatrix *Min(const CMatrix *A);
/// Returns the minima of A along dimension dim; as Max(A, dim).
[[nodiscard]] MATRIX_API CMatrix *Min(const CMatrix *A, unsigned int dim);
/// Stores the minima of A and their positions into Y and I; as Max(Y, I, A).
MATRIX_API void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A);
/// Stores the minima of A along dim and their positions into Y and I; as
/// Max(Y, I, A, dim).
MATRIX_API void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim);

// Options of the reductions: every dimension at once, a set of dimensions,
// and NaN as missing data.
//
// A set of dimensions `dims` (1-based, distinct, in any order; those beyond
// the last dimension have length 1) reduces the elements that differ only
// in those subscripts: each such group is one line, its elements taken in
// column-major order of A, and the line is reduced exactly as the
// one-dimension form reduces a line (same fold, same order), so a set of
// one dimension d equals the form with dim d bit for bit, and the set of
// every dimension equals the "All" form. The result has A's shape with the
// lengths in `dims` set to 1 (Max and Min of an empty line keep length 0
// there). The "All" forms reduce every element of A as one line, in
// column-major order: a 1x1 result (Max and Min of an empty array give
// 0x0). Classes, saturation and rounding are those of the one-dimension
// forms.
//
// NanFlag::kOmit passes over NaN elements (a complex element with a NaN
// part): Sum adds the others (an all-NaN line gives 0), Prod multiplies
// them (1), Mean divides their sum by their count (an all-NaN line gives
// NaN). NanFlag::kInclude, the default, is the plain fold for Sum, Prod and
// Mean; for Max and Min it makes a line holding a NaN give NaN at the
// position of its first NaN, while kOmit is their plain rule (NaN only for
// a line of NaNs). Integer, char and logical arrays hold no NaN: the flag
// changes nothing for them.
//
// The positions of Max and Min over a set of dimensions or every dimension
// are linear (1-based, column-major) positions into A.
//
// Checks: a dimension of 0 throws CFunctionErrorException("Dimension
// argument must be a positive integer"), a repeated one
// CFunctionErrorException("Dimensions must not repeat"), an empty set
// CFunctionErrorException("The set of dimensions must not be empty"); the
// classes are checked as by the one-dimension forms. A is never changed, and
// a failed call leaves nothing allocated (the two-output forms leave Y and I
// null).

/// Whether NaN elements take part in a reduction.
enum class NanFlag {
    kInclude,  // NaN propagates (Sum, Prod, Mean by default; Max and Min on request)
    kOmit,     // NaN is missing data (Max and Min by default)
};

/// Returns the sum of every element of A, as one line (1x1).
[[nodiscard]] MATRIX_API CMatrix *SumAll(const CMatrix *A, NanFlag nan = NanFlag::kInclude);
/// Returns the sums of A over the set of dimensions `dims`.
[[nodiscard]] MATRIX_API CMatrix *Sum(const CMatrix *A, unsigned int nDims, const unsigned int *dims,
                                      NanFlag nan = NanFlag::kInclude);
/// Returns the sums of A along dim, NaN elements passed over with kOmit.
[[nodiscard]] MATRIX_API CMatrix *Sum(const CMatrix *A, unsigned int dim, NanFlag nan);
/// Returns the product of every element of A (1x1).
[[nodiscard]] MATRIX_API CMatrix *ProdAll(const CMatrix *A, NanFlag nan = NanFlag::kInclude);
/// Returns the products of A over the set of dimensions `dims`.
[[nodiscard]] MATRIX_API CMatrix *Prod(const CMatrix *A, unsigned int nDims, const unsigned int *dims,
                                       NanFlag nan = NanFlag::kInclude);
/// Returns the products of A along dim, NaN elements passed over with kOmit.
[[nodiscard]] MATRIX_API CMatrix *Prod(const CMatrix *A, unsigned int dim, NanFlag nan);
/// Returns the mean of every element of A (1x1; NaN for no elements).
[[nodiscard]] MATRIX_API CMatrix *MeanAll(const CMatrix *A, NanFlag nan = NanFlag::kInclude);
/// Returns the means of A over the set of dimensions `dims`.
[[nodiscard]] MATRIX_API CMatrix *Mean(const CMatrix *A, unsigned int nDims, const unsigned int *dims,
                                       NanFlag nan = NanFlag::kInclude);
/// Returns the means of A along dim, NaN elements passed over with kOmit.
[[nodiscard]] MATRIX_API CMatrix *Mean(const CMatrix *A, unsigned int dim, NanFlag nan);
/// Tests whether every element of A is non-zero (logical 1x1).
[[nodiscard]] MATRIX_API CMatrix *AllAll(const CMatrix *A);
/// Tests whether every element over the set of dimensions is non-zero.
[[nodiscard]] MATRIX_API CMatrix *All(const CMatrix *A, unsigned int nDims, const unsigned int *dims);
/// Tests whether some element of A is non-zero (logical 1x1).
[[nodiscard]] MATRIX_API CMatrix *AnyAll(const CMatrix *A);
/// Tests whether some element over the set of dimensions is non-zero.
[[nodiscard]] MATRIX_API CMatrix *Any(const CMatrix *A, unsigned int nDims, const unsigned int *dims);
/// Stores into Y the maximum of every element of A and into I its linear
/// position.
MATRIX_API void MaxAll(CMatrix *&Y, CMatrix *&I, const CMatrix *A, NanFlag nan = NanFlag::kOmit);
/// Stores into Y the maxima of A over the set of dimensions and into I
/// their linear positions in A (for one dimension the positions along it).
MATRIX_API void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int nDims,
                    const unsigned int *dims, NanFlag nan = NanFlag::kOmit);
/// Stores into Y the minimum of every element of A and into I its linear
/// position.
MATRIX_API void MinAll(CMatrix *&Y, CMatrix *&I, const CMatrix *A, NanFlag nan = NanFlag::kOmit);
/// Stores into Y the minima of A over the set of dimensions and into I
/// their linear positions in A (for one dimension the positions along it).
MATRIX_API void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int nDims,
                    const unsigned int *dims, NanFlag nan = NanFlag::kOmit);

// Searches and tests. An element is non-zero when it is not equal to 0 (a
// complex element when either part is not): NaN counts as non-zero, both
// zeros do not. Every class that holds numbers is searched, char included.
// The logical flag plays no part. Arguments are never changed.

/// Counts the non-zero elements of A. Throws CNotImplementedException for
/// cell, struct and the other classes that hold no numbers, also when A is
/// empty.
MATRIX_API unsigned int Nnz(const CMatrix *A);
/// Returns the 1-based linear positions of the k non-zero elements of A, in
/// increasing order, as a new real double array owned by the caller: 1-by-k
/// when A's first length is 1, k-by-1 otherwise, and 0x0 when k is 0. Throws
/// CNotImplementedException when Nnz does, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Find(const CMatrix *A);
/// Stores into R the 1-based row numbers and into C the column numbers of
/// the non-zero elements of A, in the order of Find(A); the lengths behind
/// the second fold into the columns (a 2x2x2 array has columns 1 to 4). R
/// and C are new real double arrays of Find(A)'s shape, owned by the caller.
/// R and C are set to null first, without releasing what they held; after a
/// failure both are null and nothing is left allocated. Throws as Find(A).
MATRIX_API void Find(CMatrix *&R, CMatrix *&C, const CMatrix *A);
/// Does Find(R, C, A) and stores into V the values of those elements: a new
/// array of R's shape with A's class and complexity (the imaginary parts of
/// a complex A come along), owned by the caller; 0x0 when A has no non-zero
/// elements. R, C and V are set to null first, without releasing what they
/// held; after a failure all three are null and nothing is left allocated.
/// Throws as Find(A).
MATRIX_API void Find(CMatrix *&R, CMatrix *&C, CMatrix *&V, const CMatrix *A);
/// Tests whether the arrays arrays[0..n) are all equal to the first: same
/// number of dimensions and lengths, and equal values element by element,
/// whatever the classes: values compare exactly (isequal('a', 97),
/// int8(1) and single(1) are equal; uint64 values beyond 2^53 against
/// doubles without rounding), both parts of complex elements (a real
/// element's imaginary part is 0), +0 equals -0, and a NaN on either side
/// makes the arrays unequal. Cell arrays are equal when every slot is, an
/// empty slot equal to a 0x0 array of numbers; a cell and another class are
/// not. A different shape gives false whatever the classes. Allocates
/// nothing. Throws CFunctionErrorException ("Not enough input arguments")
/// when n < 2, and CNotImplementedException when arrays of one shape reach
/// a struct or another class that holds no numbers.
MATRIX_API bool Isequal(unsigned int n, const CMatrix **arrays);
/// Tests A and B for equality; the same as Isequal with n = 2.
MATRIX_API bool Isequal(const CMatrix *A, const CMatrix *B);
/// Returns the truth of A as a condition: false when A has no elements;
/// otherwise true exactly when no element equals zero (NaN counts as true;
/// a complex element is zero only when both of its parts are). Every
/// numeric class is accepted, each element read in its own class, and a
/// real one-element array through mxGetScalar. Allocates nothing for a real
/// array (a complex one is tested through a logical array of its truth,
/// which may throw CExhaustedMemoryException). Throws
/// CNotImplementedException for a non-empty array whose class holds no
/// numbers (cell, struct; sparse and code 0 with more than one element).
MATRIX_API bool Tobool(const CMatrix *A);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_REDUCE_H
