// include/matrix/display.h: the command-window text of an array, `name = value`.
#ifndef MATRIX_DISPLAY_H
#define MATRIX_DISPLAY_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

#include <string>
#include <vector>

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
// Char arrays are text: each element is a UTF-16 code unit, written as
// UTF-8 as Utf8Text describes (a lone surrogate becomes U+FFFD). A row prints "s = 'text'"; any other shape
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

/// The number formats of DisplayOptions.
enum class NumberFormat {
    kShort,   // four decimals: the format described above
    kLong,    // fifteen decimals (seven for single)
    kShortE,  // exponent form with four decimals
    kLongE,   // exponent form with fifteen decimals (seven for single)
    kShortG,  // five significant digits, fixed or exponent form
    kLongG,   // fifteen significant digits (eight for single)
    kRat,     // the nearest small fraction
};

/// The layouts of DisplayOptions.
enum class DisplayLayout {
    kPlain,    // the layout described above
    kSession,  // the interactive session's layout, described below
};

/// How DisplayText(a, name, options) writes an array.
struct DisplayOptions {
    NumberFormat format = NumberFormat::kShort;
    DisplayLayout layout = DisplayLayout::kPlain;
    bool compact = false;  // no blank lines
};

// Options. The default options give exactly the text of DisplayText(a,
// name). The number format changes only double and single arrays: the
// integer classes, logical arrays, char and the summaries of other classes
// print as above in every format, as do NaN, Inf and -Inf, and -0 prints
// as 0 throughout.
//
// Whole arrays. In every format a real double or single array whose finite
// values are all whole and below 1e9 in magnitude prints without decimals
// ("5", "-12"), in the fields of whole numbers. The formats below apply to
// every other (and every complex) float array, in the fields of decimal
// values (separator 3, least width 7, imaginary magnitudes at least 6).
//
// long: as short with 15 decimals (7 for single arrays), the decimal scale
// taken at 16 significant digits (8 for single) and values printing as they
// are for -3 <= e <= 1: "3.141592653589793", "0.333333333333333",
// "31.415926535897931", the scalar 100*pi as "3.141592653589793e+02", and
// a larger array with the factor line "   1.0e+02 *" as in short.
//
// short e, long e: every element in exponent form with 4 or 15 decimals
// (7 for single in long e), scalars and arrays alike and without a factor
// line: "3.1416e+00", "3.141592653589793e+00", an exact zero "0.0000e+00".
//
// short g, long g: every element in the shorter of fixed and exponent form
// with 5 or 15 significant digits (8 for single in long g), trailing zeros
// dropped, as C's "%.5g": "3.1416", "1.2346e+05", "0.001",
// "3.14159265358979"; no factor line.
//
// rat: every finite element as the first convergent p/q of the continued
// fraction of its magnitude (computed in double arithmetic, at most 64
// terms) with |x - p/q| <= 1e-6*|x|, signed: "355/113", "1/3", "-5/2", and
// "3" when q is 1; exact zero is "0". An element with no such convergent
// whose numerator and denominator are both below 1e15 (1e-20, 1e300)
// prints in short e form. Fields are right-aligned, at least 3 wide
// (imaginary magnitudes at least 1) after 3 spaces, as wide as the widest.
//
// Session layout: the interactive session's text.
// - A numeric scalar is a one-element matrix: "x =", a blank line, its
//   field as in a matrix row, a blank line: "x =\n\n     3\n\n",
//   "x =\n\n    3.1416\n\n", "x =\n\n   1.0000e+10\n\n" (exponent form,
//   as a scalar of the plain layout).
// - Real double and single matrices print as in the plain layout.
// - Complex elements: 2 spaces, the real text right-aligned, " ", the sign,
//   then the imaginary magnitude right-aligned and "i". In the fixed forms
//   (short, long, scaled) both fields are at least a sign, one digit, the
//   point and the decimals wide ("   3.0000 + 4.0000i", "  -0.5000
//   +13.2500i"); in the other forms the real field is as wide as the widest
//   real text and at least one more than the widest unsigned one, and the
//   imaginary field one more than the widest magnitude ("   3 + 4i").
// - The integer classes: 2 spaces and fields as wide as the widest text
//   and at least one more than the widest unsigned one ("  -128   127");
//   logical arrays: 3 spaces and fields as wide as the widest ("   1   0").
// - Class line: a two-dimensional integer class, logical or single array,
//   and a char array of other than one row, shows a class line and a blank
//   line after the name line: its class for a scalar ("  int8",
//   "  logical", "  single"), else its size, class and kind, "  1x3 int8
//   row vector", "  3x1 single column vector", "  2x2 uint16 matrix",
//   logical and char arrays being an array of any shape ("  1x2 logical
//   array", "  2x3 char array"): "a =\n\n  1x2 logical array\n\n   1   0\n\n".
// - Empty arrays: a 0x0 numeric or logical array "x =\n\n     []\n\n";
//   any other empty array "  <size> empty <class> matrix" ("array" when it
//   has more than two dimensions), where the class is double, single, int8,
//   ..., uint64, logical, struct: "x =\n\n  0x3 empty double matrix\n\n";
//   empty char and cell arrays of every shape "  0x0 empty char array",
//   "  1x0 empty char array", "  0x3 empty cell array".
// - Char arrays: each row as "    'text'" on a line of its own, a row
//   included (and without a class line): "s =\n\n    'text'\n\n".
// - Cell arrays: the class line "  1x2 cell array" and a blank line, then
//   the rows of element texts, each left-aligned after 4 spaces in a field
//   as wide as the widest of its column over all pages (trailing spaces
//   dropped; column blocks take as many columns as fit in 80 characters):
//   "    {[1]}    {'abc'}". An element text is: a numeric or logical
//   1x1 "{[1]}" or "{[3.0000 + 2.0000i]}" (its plain scalar text in the
//   chosen format), a non-empty char row "{'abc'}", an empty slot
//   "{0x0 double}", anything else its size and class: "{2x3 double}",
//   "{0x0 char}", "{1x4 logical}", "{1x2 cell}".
// - Struct, sparse and unknown arrays: "S =\n\n  1x1 struct array\n\n".
// - Arrays of more than two dimensions print page by page as in the plain
//   layout, with the fields above and no class line.
// - No name (the text of the language's disp): the value lines alone, with
//   no name line, no class line and no blank line: "     3\n",
//   "    3.1416\n", "   1   0\n" for a logical row, "    {[1]}    {'abc'}\n";
//   char rows unquoted and not indented ("text\n"); an empty array gives
//   no text at all. Pages keep their "(:,:,2) =" headers.
//
// Compact: the loose text with every blank line left out, in either layout:
// "x =\n     3\n", "x = 5\n".

/// Returns the text for `name = a` (`a` not null) under `options`, as
/// described above; DisplayText(a, name) is the same as this with default
/// options. `a` is not changed. Throws CFunctionErrorException "DisplayText,
/// DisplayNumber: unknown number format" for a format outside NumberFormat
/// (a layout outside DisplayLayout is the plain one), and
/// kiv::CExhaustedMemoryException, leaving nothing behind, when storage for
/// the text cannot be obtained.
MATRIX_API std::string DisplayText(const CMatrix *a, const std::string &name,
                                   const DisplayOptions &options);

/// Returns the text of one real double as a scalar of the plain layout in
/// `format`, without a newline: DisplayNumber(x, NumberFormat::kShort) is
/// DisplayNumber(x); "3.141592653589793", "3.1416e+00", "355/113". Throws
/// as DisplayText(a, name, options).
MATRIX_API std::string DisplayNumber(double x, NumberFormat format);

// Text conversion. A char array holds UTF-16 code units, one per element.
// Its UTF-8 text takes the elements in column-major order: a unit below
// 0xD800 or above 0xDFFF is that code point, a high surrogate (0xD800 to
// 0xDBFF) followed by a low one (0xDC00 to 0xDFFF) the one code point the
// pair encodes, and any other surrogate U+FFFD.

/// Returns the UTF-8 text of a char array `a` (not null) as described
/// above; an empty string for an array of any other class. `a` is not
/// changed. Throws kiv::CExhaustedMemoryException when storage for the text
/// cannot be obtained.
MATRIX_API std::string Utf8Text(const CMatrix *a);

/// Returns a new 1 x L char array, owned by the caller, of the UTF-16 code
/// units of the UTF-8 text `text` (1x0 for ""). Code points above U+FFFF
/// take a surrogate pair. A byte that does not begin a well-formed UTF-8
/// sequence (a stray continuation byte, a truncated or overlong sequence,
/// an encoded surrogate, a value above U+10FFFF, bytes 0xC0, 0xC1 and 0xF5
/// to 0xFF) decodes as one U+FFFD, and decoding resumes at the next byte.
/// Throws kiv::CExhaustedMemoryException, leaving nothing behind, when
/// storage cannot be obtained.
[[nodiscard]] MATRIX_API CMatrix *CharFromUtf8(const std::string &text);

/// Returns a new m x n char array, owned by the caller, whose row i holds the
/// code units of the UTF-8 text utf8Rows[i] (decoded as CharFromUtf8 does)
/// followed by blanks (U+0020) up to n, the most code units of any row:
/// {"ab", "c"} gives ['ab'; 'c ']. No rows give 0x0; rows that are all ""
/// give m x 0. Throws as CharFromUtf8.
[[nodiscard]] MATRIX_API CMatrix *CharRows(const std::vector<std::string> &utf8Rows);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_DISPLAY_H
