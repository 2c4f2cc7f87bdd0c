// src/mtrx/lib/support.h: helpers the library files share (not installed,
// not part of the registry's interface).
#ifndef MTRX_LIB_SUPPORT_H
#define MTRX_LIB_SUPPORT_H

#include "arrays.h"
#include "error.h"
#include "lib/registry.h"
#include "value.h"

#include <matrix/matrix.h>

#include <cstddef>
#include <string>
#include <vector>

namespace mtrx {

using Outs = std::vector<Value>;

/// The logical scalar b.
inline Array Logical(bool b) {
    Array out(b ? 1.0 : 0.0);
    kiv::matrix::mxSetLogical(out.get());
    return out;
}

inline bool IsText(const Value &v) { return v.IsArray() && IsChar(v.array()); }

/// The message of error(...) and warning(...) and its identifier: the
/// arguments are ('text'), ('format', values...) or ('component:id',
/// 'format', values...); an identifier has a colon and no blank. The text
/// alone is taken as it is, never as a format. `name` names the caller in
/// the format's messages.
struct IdentifiedMessage {
    std::string identifier;
    std::string message;
};
IdentifiedMessage MessageOf(const Args &args, const char *name);

/// The rows as one char matrix, short rows padded with blanks.
Array CharRows(const std::vector<std::string> &rows);

/// The lengths of zeros(...) and its kin, from position `first` on: none
/// (1x1), n (n x n), m, n, ... or one row of lengths.
std::vector<unsigned int> Lengths(const Args &args, std::size_t first = 0);

/// f(A) of one array argument.
template <Array (*F)(const Array &)>
Outs Unary(const Args &args, BuiltinCall &) {
    return {F(args.GetArray(0))};
}

/// f(A) of the shape of any value (Args::GetShape).
template <Array (*F)(const Array &)>
Outs Shape(const Args &args, BuiltinCall &) {
    return {F(args.GetShape(0))};
}

/// f(A, B) of two array arguments.
template <Array (*F)(const Array &, const Array &)>
Outs Binary(const Args &args, BuiltinCall &) {
    return {F(args.GetArray(0), args.GetArray(1))};
}

}  // namespace mtrx

#endif  // MTRX_LIB_SUPPORT_H
