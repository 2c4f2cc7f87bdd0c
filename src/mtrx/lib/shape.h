// src/mtrx/lib/shape.h: concatenation of values of every kind, for the
// built-ins and the matrix brackets.
#ifndef MTRX_LIB_SHAPE_H
#define MTRX_LIB_SHAPE_H

#include "value.h"

#include <string>
#include <vector>

namespace mtrx {

/// The values joined along dimension dim (1-based): struct arrays element by
/// element (same field names, the first's order; [] operands skipped), cells
/// of anything slot by slot (any other operand beside a cell taken as
/// CellOfOne of it), arrays as the library's Cat joins them. `name`
/// names the caller in messages.
Value JoinValues(unsigned int dim, const std::vector<Value> &items, const std::string &name);

/// A value as it joins cells: a 1x1 cell holding it, or a 0x0 cell for an
/// empty array (concatenation leaves those out).
Value CellOfOne(Value v);

/// The transpose of a struct array (of two dimensions; more are refused).
Value TransposeRecords(const Value &v);

/// first:step:last (step null for 1) of any operand classes: an integer
/// class when an operand has one (the others converted to it first; two
/// different integer classes are refused), else single when one is single,
/// char when every operand is char, else double. The elements are those of
/// the double range, converted to the class.
Value RangeValue(const Value &first, const Value *step, const Value &last);

}  // namespace mtrx

#endif  // MTRX_LIB_SHAPE_H
