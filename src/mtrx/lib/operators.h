// src/mtrx/lib/operators.h: which library function implements each
// operator of the language. The one table the evaluator applies, for any
// other consumer of the syntax tree to share.
#ifndef MTRX_LIB_OPERATORS_H
#define MTRX_LIB_OPERATORS_H

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

/// The binary operator written `op`, or null.
const BinaryOperator *FindBinaryOperator(const std::string &op);
/// The unary operator written `op`, or null.
const UnaryOperator *FindUnaryOperator(const std::string &op);

/// a op b through the table. Throws mtrx::Error for an unknown operator and
/// whatever the library function throws.
Array ApplyBinary(const std::string &op, const Array &a, const Array &b, Evaluator &evaluator);

/// op a through the table (op is "-", "+", "~", "'" or ".'"). Throws
/// mtrx::Error for an unknown operator.
Array ApplyUnary(const std::string &op, const Array &a);

}  // namespace mtrx

#endif  // MTRX_LIB_OPERATORS_H
