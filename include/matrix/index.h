// include/matrix/index.h: indexed reference, assignment and deletion.
#ifndef MATRIX_INDEX_H
#define MATRIX_INDEX_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// A(I), A(I,J)
MATRIX_API CMatrix *Indexref(const CMatrix *A, const CMatrix *I);
MATRIX_API CMatrix *Indexref(const CMatrix *A, const CMatrix *I, const CMatrix *J);

/// Assigns A(I) = B: writes the elements of B, in column-major order, to the
/// 1-based linear positions that I names in A. Subscripts of both forms are
/// the colon (mxCreateColonIndex), a mask (logical flag set: its true
/// elements, NaN included) or an index array (each value rounded as
/// floor(x + 0.5)), of class double or uint32; a subscript may name a
/// position more than once, and the last write wins. A right-hand side that
/// is A itself is read as A was before the call.
///
/// A position beyond A's element count grows A first, new elements zero: a
/// column (more than one row) to a longer column, any other vector or an
/// array without elements and at most one row to a row. A scalar B (numeric,
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

// A(I) = [], A(I,J) = [], A(I,:) = [], A(:,J) = []
MATRIX_API void Indexdelete(CMatrix *&A, const CMatrix *I);
MATRIX_API void Indexdelete(CMatrix *&A, const CMatrix *I, const CMatrix *J);
MATRIX_API void IndexdeleteRow(CMatrix *&A, const CMatrix *I);
MATRIX_API void IndexdeleteColumn(CMatrix *&A, const CMatrix *J);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_INDEX_H
