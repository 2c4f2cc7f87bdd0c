// src/mtrx/text.h: the string class: string values, their conversions from
// other values, and the operators and concatenation that take strings.
// Strings hold UTF-8 text; char arrays hold UTF-16 code units.
#ifndef MTRX_TEXT_H
#define MTRX_TEXT_H

#include "parser.h"
#include "value.h"

#include <string>
#include <vector>

namespace mtrx {

/// The 1x1 string array holding `text` (UTF-8).
Value StringScalar(std::string text);

/// True for a 1x1 string array.
bool IsStringScalar(const Value &v);

/// The text of a char row or a string scalar (a name, a word) in `out`;
/// false for any other value.
bool WordOf(const Value &v, std::string &out);

/// Source text without the blanks between its tokens (`@(x) x + 1` is
/// @(x)x+1), except inside quotes and brackets, where blanks separate
/// elements: how an anonymous function is shown and named in a stack.
std::string CompactText(const std::string &text);

/// The text of a number as string(x) and num2str(x) give it: "%.Ng" with
/// N = max(floor(log10(|x|)), 0) + 5 (at most 17), a whole number without
/// decimals, "NaN", "Inf", "-Inf"; -0 is "0".
std::string NumberString(double x);

/// The number of UTF-16 code units of UTF-8 `text` (its length as a char
/// row): a code point above U+FFFF counts two, a malformed byte one.
std::size_t Units(const std::string &text);

/// The UTF-16 code units of UTF-8 `text`, as CharFromUtf8 decodes it.
std::vector<double> CodeUnits(const std::string &text);

/// Appends the UTF-8 bytes of code unit or code point `code` (below
/// 0x110000) to `out`. A surrogate is written as the three bytes of its
/// value, to be paired or replaced by WellFormed.
void AppendCode(std::string &out, unsigned int code);

/// `text` with each encoded high surrogate followed by an encoded low one
/// replaced by the code point of the pair, and any other encoded surrogate
/// or malformed byte by U+FFFD.
std::string WellFormed(const std::string &text);

/// The elements of a real array of any numeric class, logical or char, as
/// doubles in column-major order.
std::vector<double> RealNumbers(const Array &a);

/// `v` as a string array, as string(v) converts it: a string array as it
/// is; a char row (or '') one string, a char matrix a column of its rows; a
/// real numeric array each element by NumberString, a logical one "true" or
/// "false", in the array's shape; a cell of char rows and strings a string
/// array of the cell's shape. Anything else throws mtrx::Error naming `who`.
StringArray ToStrings(const Value &v, const std::string &who);

/// a op b when a or b is a string array. + joins texts, == ~= < <= > >=
/// compare them by UTF-16 code units (a logical array), element by element with
/// a 1x1 operand expanded; the other operand converts by ToStrings. Any
/// other operator throws mtrx::Error naming the operator and the classes.
Value StringBinary(Op op, const Value &a, const Value &b);

/// op a for a string array a: a transpose of a matrix of strings; any other
/// operator throws mtrx::Error naming it.
Value StringUnary(Op op, const Value &a);

/// A string array as a cell of string scalars, and back (an element that
/// is not a string scalar becomes "").
CellArray StringCells(const StringArray &s);
StringArray CellStrings(const CellArray &c);

/// The [...] of rows some item of which is a string: every item converts
/// by ToStrings, items of a row join side by side (equal row counts), rows
/// one above the other (equal column counts); empty items are left out.
Value JoinStrings(const std::vector<std::vector<Value>> &rows);

/// The elements of a string array at the positions `taken` (column-major,
/// zero-based), in an array of `dims`.
Value StringElements(const StringArray &s, const Dims &dims, const std::vector<std::size_t> &taken);

}  // namespace mtrx

#endif  // MTRX_TEXT_H
