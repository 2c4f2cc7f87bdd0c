// src/mtrx/format.h: the text built-ins: sprintf's formatting and num2str.
#ifndef MTRX_FORMAT_H
#define MTRX_FORMAT_H

#include "value.h"

#include <string>
#include <vector>

namespace mtrx {

/// Formats `args` with `format` as sprintf does, giving UTF-8 text. The format takes the
/// escapes \n \t \\ \a \r \b \f \v, \xHH (hexadecimal) and \NNN (octal) character
/// codes, and the conversions %d %i %u %c %s %f %e %g %E %G %x %X %o %% with
/// flags, width, precision and an ignored length modifier (l, ll, h), laid out as C's printf lays
/// them out; a '*' width or precision takes the next item, as in C. Numeric
/// arguments give one item per element, a char argument one text item, a
/// string argument one text item per element; a text under a numeric
/// conversion gives its UTF-16 code units, and %c or %s of a whole number
/// below 0x110000 the character of that code (a surrogate pair written unit
/// by unit joins; a lone surrogate becomes U+FFFD); the
/// format repeats while items remain and output stops at the first conversion
/// left without one. Whole values print under %d %i %u at any magnitude (a
/// negative one under %u with its sign); %d %i %u %x %o of a value that is not
/// whole, and %x %o of a negative one, print as %e with the same flags, width
/// and precision; Inf, -Inf and NaN print by name in every numeric
/// conversion. `who` names the built-in in errors.
std::string Format(const std::string &format, const std::vector<Value> &args,
                   const std::string &who);

/// The rows of num2str(a): whole values as integers, others with at least
/// five significant digits, columns right-aligned two blanks apart.
std::vector<std::string> NumberText(const Array &a);

/// The rows of num2str(a, digits): every element as %.<digits>g.
std::vector<std::string> NumberText(const Array &a, int digits);

}  // namespace mtrx

#endif  // MTRX_FORMAT_H
