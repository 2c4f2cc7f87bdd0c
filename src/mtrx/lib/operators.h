// src/mtrx/lib/operators.h: which library function implements each
// operator of the language. The one table the evaluator applies, keyed by
// the parser's Op, for any other consumer of the syntax tree to share.
#ifndef MTRX_LIB_OPERATORS_H
#define MTRX_LIB_OPERATORS_H

#include "parser.h"
#include "value.h"

#include <string>

namespace mtrx {

class Evaluator;

/// Applies a binary operator to two arrays. The evaluator is there for the
/// warnings a solve may give.
using BinaryFunction = Array (*)(const Array &a, const Array &b, Evaluator &evaluator);
/// Applies a unary (prefix or postfix) operator.
using UnaryFunction = Array (*)(const Array &a);

struct BinaryOperator {
    const char *op;        // as written: "+", ".*", "\\", "==", ...
    const char *function;  // the language's name of it: "plus", "times", "mldivide", ...
    BinaryFunction apply;
};

struct UnaryOperator {
    const char *op;  // "-", "+", "~" before an operand; "'" and ".'" after one
    const char *function;
    UnaryFunction apply;
};

/// The row of a binary operator (Op::Plus .. Op::Ge) and of a unary one
/// (Op::Uminus .. Op::Transpose).
const BinaryOperator &BinaryRow(Op op);
const UnaryOperator &UnaryRow(Op op);

/// a op b through the table: whatever the library function throws.
inline Array ApplyBinary(Op op, const Array &a, const Array &b, Evaluator &evaluator) {
    return BinaryRow(op).apply(a, b, evaluator);
}

/// op a through the table.
inline Array ApplyUnary(Op op, const Array &a) { return UnaryRow(op).apply(a); }

}  // namespace mtrx

#endif  // MTRX_LIB_OPERATORS_H
