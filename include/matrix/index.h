// include/matrix/index.h: indexed reference, assignment and deletion.
#ifndef MATRIX_INDEX_H
#define MATRIX_INDEX_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

#include <vector>

namespace kiv {
namespace matrix {

/// Returns A(I), the elements of `A` that the subscript `I` selects, as a new
/// array owned by the caller. `A` may be of any class; `A` and `I` are never
/// changed.
///
/// `I` is the colon (a 1x1 char array holding ':'), a mask (logical flag set)
/// or an index array of 1-based positions (class double, each value rounded
/// as floor(x + 0.5), or uint32). Only the real part of `I` is read.
/// - Colon: a numel(A) x 1 array sharing the data of `A` (nothing copied).
/// - Mask, of class double: the elements at its true positions (not 0, so
///   NaN is true and -0 false), in order. The mask may be longer than `A`
///   while its extra elements are false. Without a true element the result
///   is a 0x0 real double array. A vector `A` (any class, cells included;
///   two dimensions, one of them 1, not empty) gives a column when it has more than one row and
///   a row otherwise; any other `A` gives a row for a two-dimensional
///   one-row mask and a column otherwise.
/// - Index array: element k of the result is A(I(k)); positions may repeat.
///   A vector `A` with a non-empty two-dimensional vector `I` gives a row
///   when `A` has one row and a column otherwise. A vector `A` with an empty
///   two-dimensional `I` gives 0x1 when `A` has several rows and `I` one row,
///   1x0 when `A` has several columns and `I` one column, and the shape of
///   `I` otherwise. Every other case has the shape of `I`, all its
///   dimensions included.
/// Selected elements keep the class and complexity of `A`; the result has no
/// flags, so indexing a logical array gives a plain one. A cell array's
/// selected slots each hold an array object of their own sharing the
/// element's data, so `A` and the result may be destroyed in either order.
///
/// Throws, the first offending element in storage order deciding:
/// CIndexIntoMatrixNegativeOrZeroException for an index that rounds to 0 or
/// below or is NaN; CIndexExceedsMatrixDimensionsException for an index, or
/// the last true mask position, beyond numel(A); CNotImplementedException for
/// an index array of a class other than double and uint32, or a mask other
/// than double; kiv::CExhaustedMemoryException when the result cannot be
/// allocated. Nothing is left allocated after a throw.
[[nodiscard]] MATRIX_API CMatrix *Indexref(const CMatrix *A, const CMatrix *I);
/// Returns A(I,J), the rows `I` of the columns `J` of `A`, as a new array
/// owned by the caller. The columns of `A` are all its dimensions after the
/// first folded together: an N-dimensional `A` is addressed as
/// rows x End(A, 2, 2). `A`, `I` and `J` are never changed.
///
/// Each subscript is the colon, a mask or an index array, read as for
/// Indexref(A, I) but against the rows (for `I`) or the columns (for `J`);
/// here a mask may be of class double or uint32.
/// - `I` without elements: a 0 x m real double array, m being the number of
///   positions `J` selects (0 when `J` has no elements either; a mask `J`
///   must then be of class double).
/// - Otherwise `J` without elements: an m x 0 real double array, m from `I`.
/// - Both colons: a rows x columns array sharing the data of `A`.
/// - Otherwise a two-dimensional array of (positions of `I`) x (positions of
///   `J`) whose element (i, j) is A(I(i), J(j)), with the class and
///   complexity of `A` and no flags; cell slots are shared as for
///   Indexref(A, I).
///
/// Throws the exceptions of Indexref(A, I) with the rows and the columns as
/// limits; `I` is checked before `J`, each first offending element first.
/// Also throws kiv::CExhaustedMemoryException when the folded column count
/// does not fit in 32 bits. Nothing is left allocated after a throw.
[[nodiscard]] MATRIX_API CMatrix *Indexref(const CMatrix *A, const CMatrix *I, const CMatrix *J);
/// Returns A(S1, ..., Sn), n = S.size(), as a new array owned by the caller;
/// `A` and the subscripts are never changed. One or two subscripts give
/// exactly Indexref(A, S[0]) or Indexref(A, S[0], S[1]).
///
/// With n >= 3 `A` is addressed as n dimensions: those of `A` beyond the
/// n-th are folded into the last subscript (its extent is End(A, n, n)),
/// and those it lacks have length 1. Each subscript is the colon, a mask
/// (class double or uint32) or an index array (double, rounded as
/// floor(x + 0.5), or uint32), read against its extent as the subscripts of
/// Indexref(A, I, J) are. The result has one dimension per subscript, its
/// length the number of positions the subscript selects (trailing lengths of
/// 1 dropped), and element (i1, ..., in) is A(S1(i1), ..., Sn(in)); it has the
/// class and complexity of `A`, no flags, and cell slots shared as for
/// Indexref(A, I). When a subscript selects nothing the result is a real
/// double array of that shape.
///
/// Throws CFunctionErrorException "Indexref: no subscript given" for an empty
/// list; otherwise the exceptions of Indexref(A, I, J), the subscripts
/// checked in order, each first offending element first, and
/// kiv::CExhaustedMemoryException when the result would have 2^32 elements
/// or more. Nothing is left allocated after a throw.
[[nodiscard]] MATRIX_API CMatrix *Indexref(const CMatrix *A, const std::vector<const CMatrix *> &S);

/// Assigns A(I) = B: writes the elements of B, in column-major order, to the
/// 1-based linear positions that I names in A. Subscripts of both forms are
/// the colon (mxCreateColonIndex), a mask (logical flag set: its true
/// elements, NaN included) or an index array (each value rounded as
/// floor(x + 0.5)), of class double or uint32; a subscript may name a
/// position more than once, and the last write wins. A right-hand side that
/// is A itself is read as A was before the call.
///
/// A position beyond A's element count grows A first, new elements zero: a
/// column (more than one row) to a longer column, any other vector (of any
/// class: a cell grows as a numeric array does) or an array without
/// elements and at most one row to a row. A scalar B (numeric,
/// 1x1) is written to every position; otherwise B needs one element per
/// position. B must have A's class. A complex B makes A complex (zero
/// elsewhere); a real B leaves A's imaginary parts. A's data are unshared
/// before they are written, so arrays sharing them are unaffected. A cell A
/// gets, in each written slot, an array of its own sharing the data of B's
/// element, and releases the element the slot held.
///
/// A(:) = B: A without elements stays as it is. A double scalar B fills a
/// double A (complex exactly when B is). Otherwise B needs A's element count,
/// and A is replaced by a new array sharing B's data, shape, class and flags
/// (the old array is destroyed and the reference set to the new one).
///
/// Throws, in this order:
/// - CInAssignAIBElementsMustBeSameException when I has no elements and B
///   more than one; A unchanged.
/// - For A(:) = B: CNotImplementedException for a double scalar B and an A
///   that is not double, CInAssignAColonBElementsMustBeSameException when
///   the counts differ (or A has no elements and B more than one); A
///   unchanged.
/// - CNotImplementedException for a subscript of another class;
///   CIndexIntoMatrixNegativeOrZeroException for an index that rounds to 0
///   or below, or is NaN; kiv::CExhaustedMemoryException for an index that
///   rounds to 2^32 or more. The first offending element decides; A
///   unchanged.
/// - CInAssignAMBACantBeResizedException when A must grow but is neither a
///   vector nor an array without elements of at most one row; A unchanged.
/// - CInAssignAIBElementsMustBeSameException when B is not a scalar and its
///   element count differs from the number of positions; A left grown.
/// - CNotImplementedException when B's class differs from A's; A left grown,
///   made complex when B is, and unshared, but not written.
/// - kiv::CExhaustedMemoryException when storage cannot be obtained; A left
///   at most grown, made complex and unshared, never partly written.
MATRIX_API void Indexassign(CMatrix *&A, const CMatrix *I, const CMatrix *B);

/// Assigns A(I,J) = B: writes B, in column-major order, to the rows that I
/// names and the columns that J names in A, for each column position and
/// within it each row position. The columns of an A of more than two
/// dimensions are its later dimensions folded together. Subscripts are read
/// as for the one-subscript form; a colon stands for all of A's rows or
/// columns, but when A has no elements and only one subscript is a colon, it
/// stands for B's rows (or B's columns), and A grows to take B while keeping
/// its other extent (A = zeros(0,5); A(:,3) = [1;2] gives 2x5).
///
/// Positions beyond A's rows or columns grow A first, new elements zero; an
/// A of more than two dimensions is then first folded to rows by columns. B
/// must have A's class; a B without elements writes nothing. A scalar B is
/// written to every addressed element; otherwise B's rows must match the row
/// positions and its columns the column positions. Complex parts, copy on
/// write, cell slots and a right-hand side that is A itself are treated as
/// in the one-subscript form.
///
/// A(:,:) = B: a scalar B fills A, which must then be double (an A without
/// elements stays as it is); any other B must have A's rows and columns,
/// unless A is 0x0, and A is replaced by a new array sharing B's data.
///
/// Throws, in this order:
/// - CInAssignAMMBDimensionMustBeSameException when I and J both have no
///   elements and B more than one; A unchanged.
/// - CAssignHasMoreRHSDimsThanSubsExcpetion when B has more than two
///   dimensions; A unchanged.
/// - For A(:,:) = B: CInAssignAColonBElementsMustBeSameException when a
///   non-scalar B has other rows or columns than A, CNotImplementedException
///   when a scalar B or the A it would fill is not double; A unchanged.
/// - The subscript exceptions of the one-subscript form, I before J; A
///   unchanged.
/// - CNotImplementedException when B's class differs from A's; A left grown
///   (and folded), not written.
/// - CInAssignAMMBDimensionMustBeSameException when B's rows or columns do
///   not match the positions; A left grown (and folded), not written.
/// - kiv::CExhaustedMemoryException when storage cannot be obtained; A left
///   at most folded, grown, made complex and unshared, never partly written.
MATRIX_API void Indexassign(CMatrix *&A, const CMatrix *I, const CMatrix *J, const CMatrix *B);
/// Assigns A(S1, ..., Sn) = B, n = S.size(). One or two subscripts do
/// exactly Indexassign(A, S[0], B) or Indexassign(A, S[0], S[1], B).
///
/// With n >= 3 `A` is addressed as for Indexref(A, S) (later dimensions
/// folded into the last subscript, missing ones of length 1), and B is
/// written in column-major order to the positions (S1(i1), ..., Sn(in)),
/// the first subscript varying fastest; a position named twice keeps the
/// last write. Subscripts are read as for Indexassign(A, I, J, B). When `A`
/// has no elements, its colons stand for B's lengths other than 1, in order
/// (a subscript that is not a colon and whose element count is the next
/// such length, and not 1, is matched with it), and for 1 once those run out:
/// A = [] with A(:,:,2) = ones(2,3) gives 2x3x2.
///
/// A position beyond an extent grows `A` first, new elements zero (empty
/// slots in a cell array, \0 in a char array); an `A` of more dimensions
/// than subscripts is folded to the n addressed dimensions before it grows.
/// Trailing lengths of 1 are dropped. A scalar B (numeric, 1x1) is written to
/// every position; any other B must have the lengths of the selection once
/// the lengths of 1 are left out of both (a 1x3 B fits A(1,1:3,2) and
/// A(1:3,1,1)). B must have A's class. Complex parts, copy on write, cell
/// slots and a right-hand side that is `A` itself are treated as in
/// Indexassign(A, I, B). A selection without elements writes nothing and
/// leaves `A` as it is.
///
/// Throws, in this order, `A` unchanged:
/// - CFunctionErrorException "Indexassign: no subscript given" for an empty
///   list.
/// - The subscript exceptions of Indexassign(A, I, B), subscripts in order.
/// - CInAssignAMMBDimensionMustBeSameException when the selection has no
///   elements and B more than one.
/// - CNotImplementedException when B's class differs from A's.
/// - CInAssignAMMBDimensionMustBeSameException when a non-scalar B does not
///   match the selection's lengths.
/// - kiv::CExhaustedMemoryException when the grown array does not fit in 32
///   bits or storage cannot be obtained for it.
/// Then kiv::CExhaustedMemoryException when the data cannot be made complex
/// or unshared, or cell shares cannot be made: `A` left at most grown
/// (folded), made complex and unshared, never partly written.
MATRIX_API void Indexassign(CMatrix *&A, const std::vector<const CMatrix *> &S, const CMatrix *B);

/// Deletes the elements of `A` at the positions that `I` selects
/// (A(I) = []): `A` is replaced by a new array, owned by the caller, holding
/// the remaining elements in storage order, and the old array is destroyed
/// (arrays sharing its data keep them).
///
/// `I` is the colon, which empties `A` as Empty(A) does (a 0x0 real double
/// array; a 0x0 `A` is kept); a mask (logical flag set, class double or
/// uint32); or an index array (class double, rounded as floor(x + 0.5), or
/// uint32), whose repeated positions count once. A subscript without
/// elements, or a mask without a true element, leaves `A` as it is.
/// The remainder is a column when `A` is two-dimensional with one column,
/// and a row otherwise (a matrix loses its shape). It keeps the class and
/// complexity of `A` and has no flags. The remaining slots of a cell array
/// hold array objects of their own sharing the elements' data.
///
/// Throws CIndexExceedsMatrixDimensionsException for any position outside
/// 1..numel(A): 0, negative, NaN or too large; CNotImplementedException for
/// a subscript of a class other than double and uint32;
/// kiv::CExhaustedMemoryException when the remainder cannot be allocated.
/// After a throw `A` is the same array, unchanged, and nothing is left
/// allocated.
MATRIX_API void Indexdelete(CMatrix *&A, const CMatrix *I);
/// Deletes rows or columns of `A`: A(:,J) = [] as IndexdeleteColumn(A, J)
/// when `I` is the colon, else A(I,:) = [] as IndexdeleteRow(A, I) when `J`
/// is the colon, so A(:,:) = [] empties `A`.
///
/// Throws CFunctionErrorException "At least one of two indices must be a
/// colon" when neither subscript is the colon, even when one has no
/// elements; otherwise what the function called throws. After a throw `A`
/// is the same array, unchanged.
MATRIX_API void Indexdelete(CMatrix *&A, const CMatrix *I, const CMatrix *J);
/// Deletes A(S1, ..., Sn) (A(S1, ..., Sn) = []), n = S.size(). One or two
/// subscripts do exactly Indexdelete(A, S[0]) or Indexdelete(A, S[0], S[1])
/// (which needs a literal colon).
///
/// With n >= 3 `A` is addressed as for Indexref(A, S). A subscript covers its
/// dimension when it is the colon or selects each of its positions; all
/// subscripts but one must cover theirs, and the positions that one selects
/// are deleted along its dimension. When every subscript covers its
/// dimension, the first that is not a colon is the one deleted along (its
/// length becomes 0), and colons only empty `A` as Empty(A) does. Subscripts
/// are read as for Indexdelete(A, I) against their extents (repeated
/// positions count once); a deleting subscript that selects nothing leaves
/// `A` as it is. Otherwise `A` is replaced by a new array, owned by the
/// caller, of the addressed lengths with the deleted dimension shortened
/// (trailing lengths of 1 dropped), the remaining elements in order, and the
/// old array is destroyed. Class, complexity, flags and cell slots as for
/// Indexdelete(A, I).
///
/// Throws CFunctionErrorException "Indexdelete: no subscript given" for an
/// empty list; the exceptions of Indexdelete(A, I) for each subscript in
/// order, against its extent; CFunctionErrorException "Indexdelete: a null
/// assignment can have only one non-colon index" when two or more
/// subscripts do not cover their dimensions; kiv::CExhaustedMemoryException
/// when the remainder cannot be allocated. After a throw `A` is the same
/// array, unchanged, and nothing is left allocated.
MATRIX_API void Indexdelete(CMatrix *&A, const std::vector<const CMatrix *> &S);
/// Deletes the rows of `A` that `I` selects (A(I,:) = []): `A` is replaced
/// by a new two-dimensional array, owned by the caller, of
/// (rows - deleted rows) x columns, where the columns are all dimensions
/// after the first folded together; the old array is destroyed. `I` is read
/// as for Indexdelete(A, I), against the rows: the colon empties `A`, and a
/// subscript selecting nothing leaves `A` as it is. Class, complexity, flags
/// and cell slots as for Indexdelete(A, I).
///
/// Throws CIndexExceedsMatrixDimensionsException for a position outside
/// 1..rows, CNotImplementedException for a subscript of a class other than
/// double and uint32, kiv::CExhaustedMemoryException when the remainder
/// cannot be allocated or the folded column count does not fit in 32 bits.
/// After a throw `A` is the same array, unchanged.
MATRIX_API void IndexdeleteRow(CMatrix *&A, const CMatrix *I);
/// Deletes the columns of `A` that `J` selects (A(:,J) = []): `A` is
/// replaced by a new two-dimensional array, owned by the caller, of
/// rows x (columns - deleted columns), where the columns are all dimensions
/// after the first folded together; the old array is destroyed. `J` is read
/// as for Indexdelete(A, I), against the columns: the colon empties `A`, and
/// a subscript selecting nothing leaves `A` as it is. Class, complexity,
/// flags and cell slots as for Indexdelete(A, I).
///
/// Throws CIndexExceedsMatrixDimensionsException for a position outside
/// 1..columns, CNotImplementedException for a subscript of a class other
/// than double and uint32, kiv::CExhaustedMemoryException when the
/// remainder cannot be allocated or the folded column count does not fit in
/// 32 bits. After a throw `A` is the same array, unchanged.
MATRIX_API void IndexdeleteColumn(CMatrix *&A, const CMatrix *J);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_INDEX_H
