// src/mtrx/evaluator.h: runs a parsed program over a workspace of arrays.
#ifndef MTRX_EVALUATOR_H
#define MTRX_EVALUATOR_H

#include "parser.h"

#include <matrix/array.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace mtrx {

using kiv::matrix::Array;

/// A built-in function: takes the argument values, stores its result in
/// `out` and returns true, or returns false when it has no result (disp).
using Builtin = bool (*)(const std::vector<Array> &args, Array &out, std::ostream &display);

/// Returns the built-in called `name`, or null.
Builtin FindBuiltin(const std::string &name);

/// The interpreter state: variables and the line being run.
class Evaluator {
public:
    /// Results that are shown go to `display`.
    explicit Evaluator(std::ostream &display) : m_display(display) {}

    /// Runs the statements in order. Throws mtrx::Error or the library's
    /// exceptions; Line() then names the statement that failed.
    void Run(const Block &program);
    int Line() const { return m_line; }

private:
    enum class Flow { Normal, Break, Continue };
    // One array being subscripted, for end.
    struct EndContext {
        const Array *array;
        unsigned int position;
        unsigned int count;
    };

    Flow Execute(const Block &block);
    Flow Execute(const Stmt &s);
    Array Evaluate(const Expr &e);
    Array Call(const Expr &e);
    std::vector<kiv::matrix::Subscript> Subscripts(const Array &a,
                                                   const std::vector<ExprPtr> &args);
    void Show(const std::string &name, const Array &value);

    std::ostream &m_display;
    std::map<std::string, Array> m_vars;
    std::vector<EndContext> m_ends;
    int m_line = 0;
};

}  // namespace mtrx

#endif  // MTRX_EVALUATOR_H
