// include/matrix/display.h: the command-window text of an array, `name = value`.
#ifndef MATRIX_DISPLAY_H
#define MATRIX_DISPLAY_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

#include <string>

namespace kiv {
namespace matrix {

// The display format. Every rule is stated once here; the text is UTF-8,
// lines end with "\n", and nothing depends on the locale (the decimal point
// is always '.').
//
// Numbers. NaN (any NaN pattern), Inf and -Inf are spelled so, and -0
// prints as +0 does; a negative value that four decimals round to zero
// keeps its sign ("-0.0000"). Double and single arrays whose finite values are all whole
// and below 1e9 in magnitude print without decimals ("5", "-12"); every
// other double or single array prints with four decimals ("3.1416",
// "-0.5000"). The integer classes print their exact values without
// decimals, and an array with the logical flag prints 0 or 1 (1 for any
// non-zero value), whatever its class.
//
// Decimal scale. For decimal output, let e be the power of ten of the
// largest finite magnitude (both parts of a complex array counted) once
// rounded to five significant digits. With -3 <= e <= 2 values print as
// they are. Otherwise a scalar prints in exponent form ("1.0000e+10",
// "4.5000e-05") and a larger array prints a common factor line,
// "   1.0e+03 *" and a blank line, before its rows, which hold the values
// divided by 10^e ("1.2346" for 1234.56). In a real decimal array an exact
// zero prints as a bare "0".
//
// Complex elements read "a + bi" or "a - bi", both parts in decimal form
// (integer classes without decimals): "3.0000 + 2.0000i",
// "0.0000 - 1.0000i". The sign is that of the imaginary part.
//
// Scalars (1x1 numeric arrays): "x = 5", then a blank line.
//
// Matrices: "A =", a blank line, one line per row, a blank line. Every
// element is right-aligned in a field as wide as the array's widest element
// text, after a separator: 3 spaces with a field of at least 3 for whole
// doubles ("     1     2"), 3 spaces with a field of at least 7 for decimal
// values ("    3.1416   -2.5000"; for complex values the real parts, and
// the imaginary magnitudes with at least 6, are aligned each), 2 spaces
// with no minimum for the integer classes and logical arrays ("  1  0").
// The width is common to all columns and pages.
//
// Column blocks: when a row is longer than 80 characters the columns are
// split into blocks of as many as fit in 80 (at least one), each block
// headed by "  Columns 1 through 8", "  Columns 9 and 10" or "  Column 11"
// and a blank line, and followed by a blank line. A factor line comes once,
// before the first block.
//
// N-d arrays print page by page: each m x n page as a matrix headed by
// "A(:,:,2) =" (further subscripts as in "A(:,:,1,3)"), pages in
// column-major order, with one common format.
//
// Empty arrays: "A = [](0x3)", all lengths joined by 'x' ("[](1x0x2)"),
// then a blank line; an empty cell array "C = {}(0x3)". A 0x0 or 1x0 char
// array prints "s = ''".
//
// Char arrays are text, each character code c written as the Unicode
// character U+00cc (UTF-8). A row prints "s = 'text'"; any other shape
// prints "s =", a blank line, each row as "    'text'" on a line of its
// own, a blank line; N-d char arrays page by page.
//
// Cell arrays print like matrices of element summaries, each left-aligned
// after 4 spaces in a field as wide as the widest summary (trailing spaces
// dropped): an empty slot "[]", a real or complex numeric 1x1 "[5]" or
// "[3.0000 + 2.0000i]" (the scalar text), a char row or 0x0 char "'text'",
// a 0x0 numeric "[]", and anything else its size and class, "[2x3 double]",
// "[1x4 logical]", "[2x2 int8]" or "{1x2 cell}". Arrays of the struct,
// sparse and unknown classes print their summary: "S = [1x1 struct]".
//
// No name: the same text without the "A =" line and the blank line after
// it, and without the last blank line: "5\n" for a scalar, the rows alone
// for a matrix, "text\n" for a char row (no quotes), char rows unquoted and
// not indented, "[](0x3)\n" for an empty array. Pages keep their headers,
// without a name: "(:,:,2) =".

/// Returns the text the command window shows for `name = a`: `a` (not
/// null) in the format described above, ended by its final newline (and
/// blank line when named). An empty `name` gives the value alone, as
/// described under "No name"; any other name is used as given. `a` is not
/// changed. Throws kiv::CExhaustedMemoryException, and leaves nothing
/// behind, when storage for the text cannot be obtained.
MATRIX_API std::string DisplayText(const CMatrix *a, const std::string &name);

/// Returns the text of one real double in the scalar form above: "5",
/// "-0.5000", "3.1416", "1.0000e+10", "NaN", "-Inf" (-0 gives "0"), without
/// a newline. Throws kiv::CExhaustedMemoryException when storage for the
/// text cannot be obtained.
MATRIX_API std::string DisplayNumber(double x);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_DISPLAY_H
