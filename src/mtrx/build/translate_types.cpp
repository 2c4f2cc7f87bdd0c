// src/mtrx/build/translate_types.cpp: which variables are real double
// scalars wherever they are read, so that they can be C++ doubles, and the
// code of the expressions over them.
#include "build/translator.h"

#include <functional>

namespace mtrx {
namespace build {

void Translator::CollectAssigned(const Block &block, std::set<int> &out) {
    for (const Stmt &s : block) {
        for (const Target &t : s.targets)
            if (!t.name.empty()) out.insert(t.slot);
        if ((s.kind == Stmt::Kind::For || s.kind == Stmt::Kind::Expression ||
             s.kind == Stmt::Kind::Try) &&
            s.slot >= 0 && !(s.kind == Stmt::Kind::Try && s.name.empty()))
            out.insert(s.slot);
        const auto exit = m_exitCopies.find(&s);
        if (exit != m_exitCopies.end()) out.insert(exit->second.second);
        for (const auto &branch : s.branches) CollectAssigned(branch.second, out);
        CollectAssigned(s.body, out);
        CollectAssigned(s.handler, out);
    }
}

void Translator::FunctionScope(const ::mtrx::Function &f, Scope &scope) {
    scope.function = &f;
    scope.names = &f.names;
    for (int slot : f.paramSlots)
        if (slot >= 0) scope.assigned.insert(slot);
    for (int slot : f.outputSlots) scope.assigned.insert(slot);
    CollectAssigned(f.body, scope.assigned);
}

bool Mentions(const Expr &e, int slot) {
    if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) && e.slot == slot) return true;
    if (e.kind == Expr::Kind::AnonFunction) {
        for (int captured : e.captures)
            if (captured == slot) return true;
        return false;
    }
    return AnyOperand(e, [slot](const Expr &a) { return Mentions(a, slot); });
}

bool Mentions(const Block &block, int slot, bool skipLoopsOver);

// Whether statement s reads or writes `slot`; with skipLoopsOver, the
// bodies of for loops over `slot` are left out.
bool Mentions(const Stmt &s, int slot, bool skipLoopsOver) {
    for (const Target &t : s.targets) {
        if (t.slot == slot) return true;
        for (const Accessor &a : t.path)
            for (const ExprPtr &e : a.subscripts)
                if (Mentions(*e, slot)) return true;
    }
    if (s.value && Mentions(*s.value, slot)) return true;
    if (s.kind == Stmt::Kind::For && s.slot == slot) {
        if (skipLoopsOver) return false;
        return true;
    }
    if ((s.kind == Stmt::Kind::Expression || s.kind == Stmt::Kind::Try) && s.slot == slot)
        return true;
    for (const auto &branch : s.branches)
        if ((branch.first && Mentions(*branch.first, slot)) ||
            Mentions(branch.second, slot, skipLoopsOver))
            return true;
    return Mentions(s.body, slot, skipLoopsOver) || Mentions(s.handler, slot, skipLoopsOver);
}

bool Mentions(const Block &block, int slot, bool skipLoopsOver) {
    for (const Stmt &s : block)
        if (Mentions(s, slot, skipLoopsOver)) return true;
    return false;
}

// Whether the first statement naming `slot` is `first`, an assignment not
// reading it, and every later mention is in the block holding `first`, after
// it: inside if, for and while statements that hold every mention, the
// variable is assigned before every read however often they run.
bool AssignedFirst(const Block &block, int slot, const Stmt *first) {
    for (auto s = block.begin(); s != block.end(); ++s) {
        if (!Mentions(*s, slot, false)) continue;
        if (&*s == first) return !Mentions(*s->value, slot);
        if (s->kind != Stmt::Kind::If && s->kind != Stmt::Kind::For && s->kind != Stmt::Kind::While)
            return false;
        for (auto t = std::next(s); t != block.end(); ++t)
            if (Mentions(*t, slot, false)) return false;
        if ((s->value && Mentions(*s->value, slot)) || (s->kind == Stmt::Kind::For && s->slot == slot))
            return false;
        const Block *inner = nullptr;
        int blocks = 0;
        for (const auto &branch : s->branches) {
            if (branch.first && Mentions(*branch.first, slot)) return false;
            if (Mentions(branch.second, slot, false)) inner = &branch.second, ++blocks;
        }
        if (Mentions(s->body, slot, false)) inner = &s->body, ++blocks;
        return blocks == 1 && AssignedFirst(*inner, slot, first);
    }
    return false;
}

// Every assignment to a slot: plain ones, by for loops, and any other.
struct Writes {
    std::vector<const Stmt *> plain;
    std::vector<const Stmt *> loops;
    std::vector<int> copies;  // the slots of loop variables copied out at a loop's end
    bool other = false;
};

void CollectWrites(const Block &block, std::map<int, Writes> &out) {
    for (const Stmt &s : block) {
        if (s.kind == Stmt::Kind::Assign) {
            // Several whole variables are plain too: the typed call of a
            // function of several double outputs gives each a double.
            bool single = true;
            for (const Target &t : s.targets) single = single && t.path.empty();
            for (const Target &t : s.targets)
                if (!t.name.empty()) {
                    if (single)
                        out[t.slot].plain.push_back(&s);
                    else
                        out[t.slot].other = true;
                }
        }
        if (s.kind == Stmt::Kind::For) out[s.slot].loops.push_back(&s);
        if ((s.kind == Stmt::Kind::Expression || s.kind == Stmt::Kind::Try) && s.slot >= 0)
            out[s.slot].other = true;
        for (const auto &branch : s.branches) CollectWrites(branch.second, out);
        CollectWrites(s.body, out);
        CollectWrites(s.handler, out);
    }
}


// The C++ forms of the operators of real double scalars: the runtime's
// (a NaN result computed again by the library) and the plain one.
struct DoubleOperator {
    Op op;
    const char *exact;
    const char *raw;
};
const DoubleOperator kDoubleOperators[] = {
    {Op::Plus, "rt.Add(", " + "},    {Op::Minus, "rt.Sub(", " - "},
    {Op::Times, "rt.Mul(", " * "},   {Op::Mtimes, "rt.Mul(", " * "},
    {Op::Rdivide, "rt.Div(", " / "}, {Op::Mrdivide, "rt.Div(", " / "},
};

const DoubleOperator *FindDoubleOperator(Op op) {
    for (const DoubleOperator &d : kDoubleOperators)
        if (d.op == op) return &d;
    return nullptr;
}

namespace {

// A whole number literal as an exponent (of magnitude below 2^52).
bool WholePower(const Expr &e) {
    return e.kind == Expr::Kind::Number && e.number < 0x1p52 && e.number > -0x1p52 &&
           e.number == static_cast<double>(static_cast<long long>(e.number));
}

}  // namespace

bool Translator::ScalarExpr(const Expr &e, bool reads) const {
    switch (e.kind) {
        case Expr::Kind::Number: return true;
        case Expr::Kind::Name:
            return (e.slot >= 0 && Scalar(e.slot)) || CountName(e) || ScalarBuiltinRoutine(e, reads);
        case Expr::Kind::Call:
            return (reads && (ElementRead(e) || (DoubleCall(e) && TypedResult(e) == "double"))) ||
                   ScalarBuiltinRoutine(e, reads) || ArraySize(e);
        case Expr::Kind::Unary: return e.op == Op::Uminus && ScalarExpr(*e.args[0], reads);
        case Expr::Kind::Binary:
            // A real power is real for a whole exponent.
            if ((e.op == Op::Power || e.op == Op::Mpower) && WholePower(*e.args[1]))
                return ScalarExpr(*e.args[0], reads) || LogicalExpr(*e.args[0], reads);
            // A logical operand takes part as the double 0 or 1.
            return FindDoubleOperator(e.op) &&
                   (ScalarExpr(*e.args[0], reads) || LogicalExpr(*e.args[0], reads)) &&
                   (ScalarExpr(*e.args[1], reads) || LogicalExpr(*e.args[1], reads));
        default: return false;
    }
}

// Raw: the plain C++ operators, whose result's bits are the library's
// unless it is NaN (a NaN operand or a NaN made on the way always makes the
// result NaN); comparisons do not see NaN bits. The operands' code is made
// left first, so that their element reads are hoisted in the
// interpreter's order.
std::string Translator::DoubleCode(const Expr &e, bool raw) const {
    if (!ScalarExpr(e) && LogicalExpr(e)) return "(" + LogicalCode(e) + " ? 1.0 : 0.0)";
    if (!ScalarExpr(e) && IntegerType(e)) return "static_cast<double>(" + IntegerCode(e) + ")";
    switch (e.kind) {
        case Expr::Kind::Number: return Number(e.number);
        case Expr::Kind::Name:
            if (CountName(e)) return e.text == "nargin" ? "narginCount" : "nargoutCount";
            return e.slot >= 0 && Scalar(e.slot) ? Var(e.slot) : ScalarBuiltinCode(e, raw);
        case Expr::Kind::Call: {
            if (DoubleCall(e) && !TypedCall(e)) {
                // A function over doubles neither fails nor touches anything:
                // called in place, in its raw form in raw code.
                std::string args;
                for (const ExprPtr &a : e.args) args += ", " + DoubleCode(*a, raw);
                return PureName(VersionKey(e, 1), raw) + "(rt" + args + ")";
            }
            if (ArraySize(e)) return ArraySizeCode(e);
            return ScalarBuiltinRoutine(e, true) ? ScalarBuiltinCode(e, raw) : ReadCode(e);
        }
        case Expr::Kind::Unary: {
            const std::string x = DoubleCode(*e.args[0], raw);
            return raw ? "(- " + x + ")" : "rt.Neg(" + x + ")";
        }
        default: {
            if (e.op == Op::Power || e.op == Op::Mpower)
                return "scalars::Power(" + DoubleCode(*e.args[0], raw) + ", " + Number(e.args[1]->number) + ")";
            const DoubleOperator &d = *FindDoubleOperator(e.op);
            const std::string a = DoubleCode(*e.args[0], raw);
            const std::string b = DoubleCode(*e.args[1], raw);
            return raw ? "(" + a + d.raw + b + ")" : d.exact + a + ", " + b + ")";
        }
    }
}

void Translator::InferScalars(const Block &block, std::set<int> candidates,
                              const std::set<int> &given) {
    std::set<int> original = candidates;
    std::map<int, Writes> writes;
    CollectWrites(block, writes);
    std::function<void(const Block &)> exits = [&](const Block &b) {
        for (const Stmt &s : b) {
            const auto exit = m_exitCopies.find(&s);
            if (exit != m_exitCopies.end()) {
                writes[exit->second.second].copies.push_back(exit->second.first);
                original.erase(exit->second.second);
            }
            for (const auto &branch : s.branches) exits(branch.second);
            exits(s.body);
            exits(s.handler);
        }
    };
    exits(block);
    const auto unset = m_unsetReads.find(&block);
    for (auto it = candidates.begin(); it != candidates.end();) {
        const Writes &w = writes[*it];
        bool keep = !w.other;
        if (unset != m_unsetReads.end()) {
            // Split into stretches: no read of this one finds it unset.
            keep = keep && !unset->second[static_cast<std::size_t>(*it)];
        } else {
            keep = keep && (w.plain.empty() != w.loops.empty());
            if (keep && !w.plain.empty()) keep = AssignedFirst(block, *it, w.plain[0]);
            // A loop variable is read only inside its loops.
            if (keep && !w.loops.empty()) keep = !Mentions(block, *it, true);
            if (keep && !w.loops.empty())
                for (const Stmt *loop : w.loops) keep = keep && !Mentions(*loop->value, *it);
        }
        it = keep ? std::next(it) : candidates.erase(it);
    }
    // Logical scalars: among the same candidates, those every assignment
    // gives a logical scalar.
    m_scope->logicals.clear();
    m_scope->integers.clear();
    for (int slot : candidates)
        if (writes[slot].loops.empty()) m_scope->logicals.insert(slot);
    m_scope->logicals.insert(m_scope->givenLogicals.begin(), m_scope->givenLogicals.end());
    // Every assignment must give a double scalar, given the others are (and
    // the arrays are double arrays, given the scalars are).
    candidates.insert(given.begin(), given.end());
    m_scope->scalars = candidates;
    // Integer scalars: of the class the first conversion that one of their
    // assignments gives names.
    m_scope->integers.insert(m_scope->givenIntegers.begin(), m_scope->givenIntegers.end());
    for (int slot : m_scope->logicals)
        for (const Stmt *s : writes[slot].plain)
            if (const char *type = IntegerType(*s->value))
                if (!m_scope->integers.count(slot)) m_scope->integers.emplace(slot, type);
    InferArrays(block, original);
    for (bool changed = true; changed;) {
        changed = InferArrays(block, std::set<int>());
        for (auto it = m_scope->scalars.begin(); it != m_scope->scalars.end();) {
            const Writes &w = writes[*it];
            bool keep = true;
            for (const Stmt *s : w.plain)
                keep = keep && (s->targets.size() == 1 ? ScalarExpr(*s->value) : TypedSeveral(*s));
            for (int from : w.copies) keep = keep && Scalar(from);
            for (const Stmt *s : w.loops) {
                const Expr &r = *s->value;
                keep = keep && r.kind == Expr::Kind::Range;
                if (keep)
                    for (const ExprPtr &a : r.args) keep = keep && ScalarExpr(*a);
            }
            if (keep) {
                ++it;
            } else {
                it = m_scope->scalars.erase(it);
                changed = true;
            }
        }
        for (auto it = m_scope->logicals.begin(); it != m_scope->logicals.end();) {
            bool keep = true;
            for (const Stmt *s : writes[*it].plain) keep = keep && LogicalExpr(*s->value);
            it = keep ? std::next(it) : m_scope->logicals.erase(it);
            changed = changed || !keep;
        }
        for (auto it = m_scope->integers.begin(); it != m_scope->integers.end();) {
            bool keep = true;
            for (const Stmt *s : writes[it->first].plain) {
                const char *type = IntegerType(*s->value);
                keep = keep && type && it->second == type;
            }
            it = keep ? std::next(it) : m_scope->integers.erase(it);
            changed = changed || !keep;
        }
    }
    for (int slot : m_scope->scalars) m_scope->logicals.erase(slot);
    for (int slot : m_scope->scalars) m_scope->integers.erase(slot);
    // Values both (x(i), abs(x(i)) of an array x) are doubles in C++.
    for (int slot : m_scope->scalars) m_scope->arrays.erase(slot);
    for (int slot : m_scope->logicals) m_scope->logicalArrays.erase(slot);
    for (const auto &integer : m_scope->integers) m_scope->integerArrays.erase(integer.first);
    InferNumbers(block, given);
}

bool Translator::Infallible(const Stmt &s) const {
    const auto scalarCondition = [&](const Expr &e) {
        return (e.kind == Expr::Kind::Binary && e.op >= Op::Eq && e.op <= Op::Ge &&
                ScalarExpr(*e.args[0], false) && ScalarExpr(*e.args[1], false)) ||
               LogicalExpr(e, false);
    };
    switch (s.kind) {
        case Stmt::Kind::Assign:
            return s.targets.size() == 1 && s.targets[0].path.empty() && !s.targets[0].name.empty() &&
                   (Scalar(s.targets[0].slot) || Logical(s.targets[0].slot) ||
                    Integer(s.targets[0].slot)) &&
                   !s.show && !HasReads(*s.value);
        case Stmt::Kind::For: return Scalar(s.slot) && !HasReads(*s.value);
        case Stmt::Kind::While: return scalarCondition(*s.value);
        case Stmt::Kind::If:
            for (const auto &branch : s.branches)
                if (!scalarCondition(*branch.first)) return false;
            return true;
        case Stmt::Kind::Break:
        case Stmt::Kind::Continue:
        case Stmt::Kind::Return: return true;
        default: return false;
    }
}

// A block of scalar arithmetic and control only: it can neither fail nor
// call anything, and leaves only at its end, by break or by continue.
bool Translator::ScalarOnly(const Block &block) const {
    for (const Stmt &s : block) {
        if (s.kind == Stmt::Kind::Return) return false;
        // Element reads and stores fail only by throwing, which ends the
        // function unless a try of its own catches it: only then would
        // the loop's copies be missed.
        if (!Infallible(s) && !(m_scope->tries == 0 && TypedLocal(s))) return false;
        for (const auto &branch : s.branches)
            if (!ScalarOnly(branch.second)) return false;
        if (!ScalarOnly(s.body)) return false;
    }
    return true;
}

// A loop of scalar arithmetic only runs on copies of the scalars it names,
// written back when it ends: the variables themselves live across the calls
// elsewhere in the function, which sends them to memory, and a variable in
// memory puts a store and a load on every iteration's chain of dependences.
// Nothing in the loop can throw or return, so the copies are always written
// back.

}  // namespace build
}  // namespace mtrx
