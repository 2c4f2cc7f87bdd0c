// include/matrix/concat.h: horizontal and vertical concatenation, and along any dimension.
#ifndef MATRIX_CONCAT_H
#define MATRIX_CONCAT_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Concatenation accepts arrays of every numeric class, char and cell, real
// or complex, and returns a new array owned by the caller. Operands without
// elements are skipped, except that when no operand has elements they decide
// the empty result's shape (see each function). The result's class comes
// from the operands with elements (from every operand when none has any):
//   - cell when any operand is a cell, even an empty one; an array operand
//     with elements then sits alone in one slot, so [c, 5] is {c{:}, 5}
//     and [{}, 5] is {5}; slots hold shared copies;
//   - else an integer class when any has one: the leftmost integer class
//     (the others convert to it, saturating);
//   - else char when any is char (numbers become code units: rounded
//     toward zero, NaN 0, saturated to 0..65535);
//   - else single when any is single, else double;
//   - logical (double with the logical flag) when every one is logical.
// The result is complex when any of them is complex (a real operand's
// imaginary parts are zero); complex with an integer class or char throws
// CNotImplementedException. Conversions are those of Cast (elementwise.h).
// The operands are checked in order before the result is created, first
// every operand's class, then the shapes, and a throw leaves them unchanged.
// Every form taking separate operands requires a non-null first operand `a`;
// the operands are `a` and the arguments after it up to, not including, the
// first null pointer, so Horzcat(a, nullptr) is a shared copy of `a` and
// Horzcat(a, b, nullptr) joins two operands.

/// Returns [A1, A2, ..., An], the operands `arrays[0..n)` (none of them null)
/// side by side. With n == 1 returns a new array sharing the data of
/// arrays[0], of any class and shape, unchecked. With n == 0 returns 0x0.
/// Otherwise the operands with elements must have the same number of rows R
/// and the result is R x (sum of their columns). When no operand has elements,
/// only the non-0x0 operands count: with C the sum of their columns and R the
/// largest of their row counts, the result is R x 0 when C is 0, 0 x C when R
/// is 0, and 0x0 when neither is. The result's class is as described above.
/// Throws CNotImplementedException for an operand of struct or another
/// class, with more than two dimensions, or complex beside an integer class
/// or char; CAllColumnsMustHaveSameRows when the row counts differ;
/// kiv::CExhaustedMemoryException when storage cannot be obtained or the
/// result's shape does not fit in 32 bits.
[[nodiscard]] MATRIX_API CMatrix *Horzcat(unsigned int n, const CMatrix **arrays);
/// Returns a new array sharing the data of `a` (any class; not null).
[[nodiscard]] MATRIX_API CMatrix *Horzcat(const CMatrix *a);
/// Returns [a, b] as Horzcat(2, ...), or a shared copy of `a` when `b` is null.
[[nodiscard]] MATRIX_API CMatrix *Horzcat(const CMatrix *a, const CMatrix *b);
/// Returns [a, b, c] as Horzcat(3, ...); the operands end at the first null.
[[nodiscard]] MATRIX_API CMatrix *Horzcat(const CMatrix *a, const CMatrix *b, const CMatrix *c);
/// Returns [a, b, c, d, ...] as Horzcat(n, ...) over `a` and the further
/// `const CMatrix *` arguments before the first null one; the list must end
/// with a null pointer unless b, c or d is null. `a` must not be null.
[[nodiscard]] MATRIX_API CMatrix *Horzcat(const CMatrix *a, const CMatrix *b, const CMatrix *c,
                                          const CMatrix *d, ...);

/// Returns [A1; A2; ...; An], the operands `arrays[0..n)` (none of them null)
/// one above the other. With n == 1 returns a new array sharing the data of
/// arrays[0], of any class and shape, unchecked. With n == 0 returns 0x0.
/// Otherwise the operands with elements must have the same number of columns
/// C and the result is (sum of their rows) x C. When no operand has elements,
/// only the non-0x0 operands count: with R the sum of their rows and C the
/// largest of their column counts, the result is R x 0 when C is 0, 0 x C
/// when R is 0, and 0x0 when neither is. The result's class is as described
/// above. Throws CNotImplementedException for an operand of struct or
/// another class, with more than two dimensions, or complex beside an
/// integer class or char; CAllRowsMustHaveSameColumns when the column counts differ;
/// kiv::CExhaustedMemoryException when storage cannot be obtained or the
/// result's shape does not fit in 32 bits.
[[nodiscard]] MATRIX_API CMatrix *Vertcat(unsigned int n, const CMatrix **arrays);
/// Returns a new array sharing the data of `a` (any class; not null).
[[nodiscard]] MATRIX_API CMatrix *Vertcat(const CMatrix *a);
/// Returns [a; b] as Vertcat(2, ...), or a shared copy of `a` when `b` is null.
[[nodiscard]] MATRIX_API CMatrix *Vertcat(const CMatrix *a, const CMatrix *b);
/// Returns [a; b; c] as Vertcat(3, ...); the operands end at the first null.
[[nodiscard]] MATRIX_API CMatrix *Vertcat(const CMatrix *a, const CMatrix *b, const CMatrix *c);
/// Returns [a; b; c; d; ...] as Vertcat(n, ...) over `a` and the further
/// `const CMatrix *` arguments before the first null one; the list must end
/// with a null pointer unless b, c or d is null. `a` must not be null.
[[nodiscard]] MATRIX_API CMatrix *Vertcat(const CMatrix *a, const CMatrix *b, const CMatrix *c,
                                          const CMatrix *d, ...);

/// Returns the operands `arrays[0..n)` (none of them null) joined along the
/// 1-based dimension dim: Cat(1, ...) is [A1; A2; ...] and Cat(2, ...) is
/// [A1, A2, ...]. With n == 1 returns a new array sharing the data of
/// arrays[0], of any class and shape, unchecked. When every operand has two
/// dimensions and dim is 1 or 2, the result, its class and the exceptions
/// are exactly those of Vertcat or Horzcat. Otherwise the operands with
/// elements must have the same length in every dimension but dim (a length
/// beyond an operand's last dimension is 1); the result has those lengths,
/// the sum of their lengths along dim, and max(dim, their numbers of
/// dimensions) dimensions (trailing lengths of 1 dropped), so Cat(3, A, B)
/// of two m x n matrices is m x n x 2. Operands without elements are
/// skipped; when no operand has elements the result is 0x0 of the class
/// the operands give. Classes are as for Horzcat. The result is a new array
/// owned by the caller; the operands are checked before it is created and
/// are not changed. Throws CFunctionErrorException "Dimension argument must
/// be a positive integer" (dim 0, checked first), CNotImplementedException
/// (as for Horzcat), CFunctionErrorException
/// "Dimensions of arrays being concatenated are not consistent", the
/// exceptions of Horzcat and Vertcat in their cases, and
/// kiv::CExhaustedMemoryException when the result's length along dim does
/// not fit in 32 bits or storage cannot be obtained.
[[nodiscard]] MATRIX_API CMatrix *Cat(unsigned int dim, unsigned int n, const CMatrix **arrays);
/// Returns Cat(dim, 2, {a, b}), or a shared copy of `a` when `b` is null.
[[nodiscard]] MATRIX_API CMatrix *Cat(unsigned int dim, const CMatrix *a, const CMatrix *b);
/// Returns Cat(dim, 3, {a, b, c}); the operands end at the first null.
[[nodiscard]] MATRIX_API CMatrix *Cat(unsigned int dim, const CMatrix *a, const CMatrix *b,
                                      const CMatrix *c);
/// Returns Cat(dim, n, ...) over `a` and the further `const CMatrix *`
/// arguments before the first null one; the list must end with a null
/// pointer unless b, c or d is null. `a` must not be null.
[[nodiscard]] MATRIX_API CMatrix *Cat(unsigned int dim, const CMatrix *a, const CMatrix *b,
                                      const CMatrix *c, const CMatrix *d, ...);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_CONCAT_H
