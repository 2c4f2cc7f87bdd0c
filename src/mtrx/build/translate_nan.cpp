// src/mtrx/build/translate_nan.cpp: the double variables that are never
// NaN. A double expression's plain C++ result has the library's bits unless
// it is NaN, so the code tests each result for NaN and then computes it
// again through the library; an expression shown never to be NaN needs no
// test.
#include "build/translator.h"

#include <cmath>
#include <functional>

namespace mtrx {
namespace build {

namespace {

// Magnitudes under which a finite operand keeps a sum or difference finite
// (far below half a unit in the last place of the largest double), and a
// product or quotient with the literal finite.
constexpr double kSmallTerm = 0x1p52;

}  // namespace

int Translator::NumberClass(const Expr &e) const {
    const auto literal = [](const Expr &x) {
        return x.kind == Expr::Kind::Number && std::isfinite(x.number);
    };
    switch (e.kind) {
        case Expr::Kind::Number:
            return std::isfinite(e.number) ? kFinite : std::isnan(e.number) ? kAny : kNotNaN;
        case Expr::Kind::Name: {
            const auto known = m_scope->numbers.find(e.slot);
            return IsVariable(e) && Scalar(e.slot) && known != m_scope->numbers.end() ? known->second
                                                                                       : kAny;
        }
        case Expr::Kind::Unary: return e.op == Op::Uminus ? NumberClass(*e.args[0]) : kAny;
        case Expr::Kind::Binary: break;
        default: return kAny;
    }
    const Expr &x = *e.args[0], &y = *e.args[1];
    const int a = NumberClass(x), b = NumberClass(y);
    switch (e.op) {
        case Op::Plus:
        case Op::Minus:
            // Inf - Inf is the only NaN of non-NaN operands.
            if (a == kFinite && b == kFinite) {
                const bool small = (literal(x) && std::fabs(x.number) <= kSmallTerm) ||
                                   (literal(y) && std::fabs(y.number) <= kSmallTerm);
                return small ? kFinite : kNotNaN;
            }
            return std::max(a, b) == kNotNaN && std::min(a, b) == kFinite ? kNotNaN : kAny;
        case Op::Times:
        case Op::Mtimes: {
            // Inf * 0 is the only NaN of non-NaN operands.
            const Expr *c = literal(y) ? &y : literal(x) ? &x : nullptr;
            if (a == kFinite && b == kFinite) return c && std::fabs(c->number) <= 1.0 ? kFinite : kNotNaN;
            return std::max(a, b) == kNotNaN && c && c->number != 0.0 ? kNotNaN : kAny;
        }
        case Op::Rdivide:
        case Op::Mrdivide:
            // 0 / 0 and Inf / Inf are the NaNs of non-NaN operands.
            if (a == kAny || !literal(y) || y.number == 0.0) return kAny;
            return a == kFinite && std::fabs(y.number) >= 1.0 ? kFinite : kNotNaN;
        default: return kAny;
    }
}

void Translator::InferNumbers(const Block &block, const std::set<int> &given) {
    // Every assignment of each double variable, and the ranges of the loops
    // over it.
    std::map<int, std::vector<const Expr *>> values, ranges;
    std::function<void(const Block &)> collect = [&](const Block &b) {
        for (const Stmt &s : b) {
            if (s.kind == Stmt::Kind::Assign && s.targets.size() == 1 && s.targets[0].path.empty() &&
                Scalar(s.targets[0].slot))
                values[s.targets[0].slot].push_back(s.value.get());
            // The outputs of a call, of any class a call gives.
            if (s.kind == Stmt::Kind::Assign && s.targets.size() > 1)
                for (const Target &t : s.targets)
                    if (!t.name.empty() && Scalar(t.slot)) values[t.slot].push_back(s.value.get());
            if (s.kind == Stmt::Kind::For && Scalar(s.slot)) ranges[s.slot].push_back(s.value.get());
            for (const auto &branch : s.branches) collect(branch.second);
            collect(s.body);
            collect(s.handler);
        }
    };
    collect(block);
    m_scope->numbers.clear();
    for (int slot : m_scope->scalars) m_scope->numbers[slot] = given.count(slot) ? kAny : kFinite;
    // From every variable finite, each assignment's class widens its
    // variable's until none changes.
    for (bool changed = true; changed;) {
        changed = false;
        for (auto &[slot, cls] : m_scope->numbers) {
            int widest = cls;
            for (const Expr *v : values[slot]) widest = std::max(widest, NumberClass(*v));
            // A range of finite numbers gives finite numbers.
            for (const Expr *r : ranges[slot]) {
                bool finite = r->kind == Expr::Kind::Range;
                if (finite)
                    for (const ExprPtr &a : r->args) finite = finite && NumberClass(*a) == kFinite;
                widest = std::max(widest, static_cast<int>(finite ? kFinite : kAny));
            }
            if (widest != cls) {
                cls = widest;
                changed = true;
            }
        }
    }
}

}  // namespace build
}  // namespace mtrx
