// src/mtrx/evaluator.cpp: walks the syntax tree; every operator is a library call.
#include "evaluator.h"

#include "error.h"

#include <matrix/display.h>

#include <cmath>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// A^B: the library has no matrix power, so a square matrix is raised to a
// whole exponent by repeated products; scalars use Power.
Array MatrixPower(const Array &a, const Array &b) {
    if (a.Numel() == 1 && b.Numel() == 1) return km::Power(a, b);
    if (b.Numel() == 1 && a.NDims() == 2 && a.Rows() == a.Cols()) {
        const double k = b.Scalar();
        if (k >= 0 && k == std::floor(k) && k < 1e6) {
            Array r = Array::Eye(a.Rows());
            for (double i = 0; i < k; ++i) r = km::Mtimes(r, a);
            return r;
        }
    }
    throw Error("Matrix power needs a square matrix and a whole non-negative exponent");
}

Array ApplyBinary(const std::string &op, const Array &a, const Array &b) {
    switch (op[0]) {
        case '+': return km::Plus(a, b);
        case '-': return km::Minus(a, b);
        case '*': return km::Mtimes(a, b);
        case '/': return km::Mrdivide(a, b);
        case '\\': return km::Mldivide(a, b);
        case '^': return MatrixPower(a, b);
        case '|': return km::Or(a, b);
        case '&': return km::And(a, b);
        case '.':
            switch (op[1]) {
                case '*': return km::Times(a, b);
                case '/': return km::Rdivide(a, b);
                case '\\': return km::Ldivide(a, b);
                default: return km::Power(a, b);
            }
        case '=': return km::Eq(a, b);
        case '~': return km::Ne(a, b);
        case '<': return op.size() == 1 ? km::Lt(a, b) : km::Le(a, b);
        default: return op.size() == 1 ? km::Gt(a, b) : km::Ge(a, b);
    }
}

}  // namespace

void Evaluator::Run(const Block &program) {
    if (Execute(program) != Flow::Normal) return;
}

Evaluator::Flow Evaluator::Execute(const Block &block) {
    for (const Stmt &s : block) {
        const Flow f = Execute(s);
        if (f != Flow::Normal) return f;
    }
    return Flow::Normal;
}

Evaluator::Flow Evaluator::Execute(const Stmt &s) {
    m_line = s.line;
    switch (s.kind) {
        case Stmt::Kind::Expression: {
            const Expr &e = *s.value;
            // A variable named alone is shown under its own name.
            if (e.kind == Expr::Kind::Name) {
                auto it = m_vars.find(e.text);
                if (it != m_vars.end()) {
                    if (s.show) Show(e.text, it->second);
                    return Flow::Normal;
                }
            }
            Array value;
            // A bare function name or call may have no result (disp).
            if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) &&
                !m_vars.count(e.text)) {
                std::vector<Array> args;
                for (const ExprPtr &a : e.args) args.push_back(Evaluate(*a));
                const Builtin f = FindBuiltin(e.text);
                if (!f) throw Error("Undefined function or variable '" + e.text + "'");
                if (!f(args, value, m_display)) return Flow::Normal;
            } else {
                value = Evaluate(e);
            }
            m_vars["ans"] = value;
            if (s.show) Show("ans", value);
            return Flow::Normal;
        }
        case Stmt::Kind::Assign: {
            Array value = Evaluate(*s.value);
            if (!s.indexed) {
                m_vars[s.name] = std::move(value);
            } else {
                // Work on a shared copy so that a failed assignment leaves the
                // variable as it was.
                auto it = m_vars.find(s.name);
                Array target = it != m_vars.end() ? it->second : Array();
                const bool deletion = s.value->kind == Expr::Kind::Matrix && s.value->rows.empty();
                std::vector<km::Subscript> subs = Subscripts(target, s.subscripts);
                if (subs.size() == 1) {
                    if (deletion)
                        target(subs[0]) = km::Empty();
                    else
                        target(subs[0]) = value;
                } else if (deletion) {
                    target(subs[0], subs[1]) = km::Empty();
                } else {
                    target(subs[0], subs[1]) = value;
                }
                m_vars[s.name] = std::move(target);
            }
            if (s.show) Show(s.name, m_vars[s.name]);
            return Flow::Normal;
        }
        case Stmt::Kind::If:
            for (const auto &branch : s.branches) {
                if (km::Tobool(Evaluate(*branch.first))) return Execute(branch.second);
                m_line = s.line;
            }
            return Execute(s.body);
        case Stmt::Kind::While:
            for (;;) {
                m_line = s.line;
                if (!km::Tobool(Evaluate(*s.value))) return Flow::Normal;
                if (Execute(s.body) == Flow::Break) return Flow::Normal;
            }
        case Stmt::Kind::For: {
            const Array range = Evaluate(*s.value);
            const unsigned int columns = range.IsEmpty() ? 0 : range.Numel() / range.Rows();
            for (unsigned int j = 1; j <= columns; ++j) {
                m_line = s.line;
                m_vars[s.name] = range(km::Subscript(km::All), km::Subscript(j));
                if (Execute(s.body) == Flow::Break) break;
            }
            return Flow::Normal;
        }
        case Stmt::Kind::Break: return Flow::Break;
        case Stmt::Kind::Continue: return Flow::Continue;
    }
    return Flow::Normal;
}

void Evaluator::Show(const std::string &name, const Array &value) {
    m_display << km::DisplayText(value.get(), name);
}

std::vector<km::Subscript> Evaluator::Subscripts(const Array &a, const std::vector<ExprPtr> &args) {
    if (args.empty() || args.size() > 2) throw Error("Only one or two subscripts are supported");
    std::vector<km::Subscript> subs;
    const auto count = static_cast<unsigned int>(args.size());
    for (unsigned int k = 0; k < count; ++k) {
        if (args[k]->kind == Expr::Kind::Colon) {
            subs.push_back(km::Subscript(km::All));
            continue;
        }
        m_ends.push_back({&a, k + 1, count});
        try {
            subs.emplace_back(Evaluate(*args[k]));
        } catch (...) {
            m_ends.pop_back();
            throw;
        }
        m_ends.pop_back();
    }
    return subs;
}

Array Evaluator::Call(const Expr &e) {
    auto it = m_vars.find(e.text);
    if (it != m_vars.end()) {
        if (e.kind == Expr::Kind::Name || e.args.empty()) return it->second;
        const Array a = it->second;
        std::vector<km::Subscript> subs = Subscripts(a, e.args);
        return subs.size() == 1 ? a(subs[0]) : a(subs[0], subs[1]);
    }
    const Builtin f = FindBuiltin(e.text);
    if (!f) throw Error("Undefined function or variable '" + e.text + "'");
    std::vector<Array> args;
    for (const ExprPtr &arg : e.args) {
        if (arg->kind == Expr::Kind::Colon) throw Error("A bare ':' is only valid in a subscript");
        args.push_back(Evaluate(*arg));
    }
    Array out;
    if (!f(args, out, m_display)) throw Error("'" + e.text + "' returns no value");
    return out;
}

Array Evaluator::Evaluate(const Expr &e) {
    switch (e.kind) {
        case Expr::Kind::Number: return Array(e.number);
        case Expr::Kind::String: return Array(e.text);
        case Expr::Kind::Name:
        case Expr::Kind::Call: return Call(e);
        case Expr::Kind::Colon: throw Error("A bare ':' is only valid in a subscript");
        case Expr::Kind::EndWord: {
            if (m_ends.empty()) throw Error("'end' is only valid in a subscript");
            const EndContext &c = m_ends.back();
            return Array(km::End(*c.array, c.position, c.count));
        }
        case Expr::Kind::Matrix: {
            Array result;
            bool first = true;
            for (const auto &row : e.rows) {
                std::vector<Array> items;
                std::vector<const km::CMatrix *> raw;
                for (const ExprPtr &item : row) {
                    items.push_back(Evaluate(*item));
                    raw.push_back(items.back().get());
                }
                Array joined =
                    Array::Adopt(km::Horzcat(static_cast<unsigned int>(raw.size()), raw.data()));
                if (first) {
                    result = std::move(joined);
                    first = false;
                } else {
                    result = km::Vertcat(result, joined);
                }
            }
            return result;
        }
        case Expr::Kind::Range: {
            const double first = Evaluate(*e.args[0]).Scalar();
            const double second = Evaluate(*e.args[1]).Scalar();
            if (e.args.size() == 2) return Array::Adopt(km::Colon(first, second));
            const double last = Evaluate(*e.args[2]).Scalar();
            return Array::Adopt(km::Colon(first, second, last));
        }
        case Expr::Kind::Binary: {
            const Array a = Evaluate(*e.args[0]);
            const Array b = Evaluate(*e.args[1]);
            return ApplyBinary(e.text, a, b);
        }
        case Expr::Kind::Unary: {
            const Array a = Evaluate(*e.args[0]);
            if (e.text == "-") return km::Uminus(a);
            if (e.text == "~") return km::Not(a);
            return a;
        }
        case Expr::Kind::Postfix: {
            const Array a = Evaluate(*e.args[0]);
            return e.text == "'" ? km::Ctranspose(a) : km::Transpose(a);
        }
        case Expr::Kind::ShortCircuit: {
            const bool left = km::Tobool(Evaluate(*e.args[0]));
            if (e.text == "&&" ? !left : left) return Array(left ? 1.0 : 0.0);
            return Array(km::Tobool(Evaluate(*e.args[1])) ? 1.0 : 0.0);
        }
    }
    throw Error("Unknown expression");
}

}  // namespace mtrx
