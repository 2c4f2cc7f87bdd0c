// src/mtrx/lib/texts.h: texts in their three forms (a char row, a string
// array, a cell of texts), shared by the text libraries.
#ifndef MTRX_LIB_TEXTS_H
#define MTRX_LIB_TEXTS_H

#include "lib/support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mtrx {

/// Texts read as strings, to be given back in the form they came in.
struct Texts {
    enum class Form { Char, String, Cell };
    Form form;
    StringArray s;
};

/// Argument k as texts: a char row (or ''), a string array, or a cell of
/// char rows and strings; anything else is refused.
Texts TextsOf(const Args &args, std::size_t k);

/// The texts in `form`: a string array, a cell of char rows of the same
/// shape, or the char row of the first text.
Value Back(Texts::Form form, StringArray s);

/// The UTF-16 code units of a char array, in column-major order.
std::vector<std::uint16_t> ArrayUnits(const Array &a);

/// The rows x cols char array of `units` (column-major).
Array CharOfUnits(const std::vector<std::uint16_t> &units, unsigned int rows, unsigned int cols);

/// The UTF-16 code units of UTF-8 `text`.
std::vector<std::uint16_t> TextUnits(const std::string &text);

/// The texts of argument k as patterns: one text (a char row or a string
/// scalar), or those of a cell or string array; anything else is refused.
std::vector<std::string> Patterns(const Args &args, std::size_t k);

/// The pieces of s between its delimiters, the longest delimiter matching
/// at a place winning; a run of delimiters counts as one, so the pieces
/// are empty only at the ends.
std::vector<std::string> SplitAt(const std::string &s, const std::vector<std::string> &delimiters);

/// A logical array of `dims`, all false.
Array FalseArray(const Dims &dims);

/// sort of a cell of char rows or of a string array: the arguments and
/// outputs of sort.
std::vector<Value> SortCellOfTexts(const Args &args, BuiltinCall &c);

}  // namespace mtrx

#endif  // MTRX_LIB_TEXTS_H
