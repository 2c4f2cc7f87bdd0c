// src/mtrx/build/translate_arrays.cpp: variables that are real double
// arrays wherever they are read, whose elements read by whole scalar
// subscripts are doubles, and loops that read and write them through views
// of their data.
#include "build/translator.h"

#include <cmath>
#include <fstream>
#include <functional>

namespace mtrx {
namespace build {

namespace {

// Constructors that give a real double array of any real double scalar
// sizes (or fail as the call does).
const std::set<std::string> kDoubleConstructors = {"zeros", "ones", "rand", "randn", "eye"};

// Every assignment to a slot: whole, element stores, and any other.
struct ArrayWrites {
    std::vector<const Stmt *> plain;
    std::vector<const Stmt *> stores;
    bool other = false;
};

void CollectArrayWrites(const Block &block, std::map<int, ArrayWrites> &out) {
    for (const Stmt &s : block) {
        if (s.kind == Stmt::Kind::Assign) {
            for (const Target &t : s.targets) {
                if (t.name.empty()) continue;
                if (s.targets.size() == 1 && t.path.empty())
                    out[t.slot].plain.push_back(&s);
                else if (s.targets.size() == 1 && t.path.size() == 1 &&
                         t.path[0].kind == Accessor::Kind::Paren)
                    out[t.slot].stores.push_back(&s);
                else
                    out[t.slot].other = true;
            }
        }
        if ((s.kind == Stmt::Kind::For || s.kind == Stmt::Kind::Expression ||
             s.kind == Stmt::Kind::Try) &&
            s.slot >= 0)
            out[s.slot].other = true;
        for (const auto &branch : s.branches) CollectArrayWrites(branch.second, out);
        CollectArrayWrites(s.body, out);
        CollectArrayWrites(s.handler, out);
    }
}

}  // namespace

bool AssignedFirst(const Block &block, int slot, const Stmt *first);

bool Translator::ElementRead(const Expr &e) const {
    if (e.kind != Expr::Kind::Call || e.slot < 0 || !IsVariable(e) || !m_scope->arrays.count(e.slot) ||
        e.args.empty() || e.args.size() > 2)
        return false;
    for (const ExprPtr &a : e.args)
        if (!ScalarExpr(*a, false)) return false;
    return true;
}

bool Translator::ElementStore(const Stmt &s) const {
    if (s.kind != Stmt::Kind::Assign || s.targets.size() != 1) return false;
    const Target &t = s.targets[0];
    if (t.name.empty() || !m_scope->arrays.count(t.slot) || t.path.size() != 1 ||
        t.path[0].kind != Accessor::Kind::Paren || t.path[0].subscripts.empty() ||
        t.path[0].subscripts.size() > 2)
        return false;
    for (const ExprPtr &a : t.path[0].subscripts)
        if (!ScalarExpr(*a, false)) return false;
    return ScalarExpr(*s.value);
}

bool Translator::HasReads(const Expr &e) const {
    if (ElementRead(e) || TypedCall(e) || LogicalElementRead(e) || IntegerElementRead(e)) return true;
    return AnyOperand(e, [this](const Expr &a) { return HasReads(a); });
}

bool Translator::Whole(const Expr &e, bool operand) const {
    switch (e.kind) {
        case Expr::Kind::Number:
            return e.number == static_cast<double>(static_cast<long long>(e.number)) &&
                   e.number < 0x1p52 && e.number > -0x1p52;
        case Expr::Kind::Name: return e.slot >= 0 && m_scope->wholes.count(e.slot) != 0;
        case Expr::Kind::Binary:
            return !operand && (e.op == Op::Plus || e.op == Op::Minus) && Whole(*e.args[0], true) &&
                   Whole(*e.args[1], true);
        default: return false;
    }
}

const std::set<std::string> &Translator::DoubleConstructors() {
    if (m_constructors) return *m_constructors;
    // The constructors as the program finds them: a function of its own or
    // a file of that name comes first.
    m_constructors = std::make_unique<std::set<std::string>>();
    const std::vector<std::string> folders = SearchFolders();
    for (const std::string &name : kDoubleConstructors) {
        bool file = m_functions.count(name) != 0;
        for (const std::string &folder : folders)
            file = file || std::ifstream(folder + "/" + name + ".mtrx").good();
        if (!file) m_constructors->insert(name);
    }
    return *m_constructors;
}

bool Translator::InferArrays(const Block &block, const std::set<int> &candidates) {
    std::map<int, ArrayWrites> writes;
    CollectArrayWrites(block, writes);
    if (!candidates.empty()) {
        m_scope->arrays = m_scope->givenArrays;
        for (int slot : candidates) {
            const ArrayWrites &w = writes[slot];
            if (!w.other && !w.plain.empty() && AssignedFirst(block, slot, w.plain[0]))
                m_scope->arrays.insert(slot);
        }
    }
    const std::set<std::string> &constructors = DoubleConstructors();
    std::function<bool(const Expr &)> arrayValue = [&](const Expr &e) {
        if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) && !IsVariable(e) &&
            constructors.count(e.text)) {
            for (const ExprPtr &a : e.args)
                if (!ScalarExpr(*a)) return false;
            return true;
        }
        if (e.kind == Expr::Kind::Name && IsVariable(e)) return m_scope->arrays.count(e.slot) != 0;
        if (e.kind == Expr::Kind::Matrix) {
            for (const auto &row : e.rows)
                for (const ExprPtr &a : row)
                    if (!ScalarExpr(*a)) return false;
            return true;
        }
        return DoubleArrayResult(e, arrayValue);
    };
    bool dropped = false;
    for (auto it = m_scope->arrays.begin(); it != m_scope->arrays.end();) {
        const ArrayWrites &w = writes[*it];
        // No value is both: a scalar's values are never arrays' values.
        bool keep = true;
        for (const Stmt *s : w.plain) keep = keep && arrayValue(*s->value);
        for (const Stmt *s : w.stores) keep = keep && ElementStore(*s);
        if (keep) {
            ++it;
        } else {
            it = m_scope->arrays.erase(it);
            dropped = true;
        }
    }
    return InferOtherArrays(block, candidates, arrayValue) || dropped;
}

bool Translator::TypedLocal(const Stmt &s) const {
    // A condition tested again sets no running line: no call in it.
    // Comparisons of scalars, under ~, && and ||.
    const auto condition = [&](const Expr &e) {
        return ((e.kind == Expr::Kind::Binary && e.op >= Op::Eq && e.op <= Op::Ge &&
                 ScalarExpr(*e.args[0]) && ScalarExpr(*e.args[1])) ||
                LogicalExpr(e, true)) &&
               !HasTypedCall(e);
    };
    switch (s.kind) {
        case Stmt::Kind::Assign:
            if (ElementStore(s)) return !s.show;
            if (TypedSeveral(s)) {
                for (const Target &t : s.targets)
                    if (!t.name.empty() && !Scalar(t.slot)) return false;
                return !s.show;
            }
            return s.targets.size() == 1 && s.targets[0].path.empty() && !s.targets[0].name.empty() &&
                   Scalar(s.targets[0].slot) && !s.show;
        case Stmt::Kind::For: return Scalar(s.slot);
        case Stmt::Kind::While: return condition(*s.value);
        case Stmt::Kind::If:
            for (const auto &branch : s.branches)
                if (!condition(*branch.first)) return false;
            return true;
        case Stmt::Kind::Break:
        case Stmt::Kind::Continue: return true;
        default: return false;
    }
}

std::string Translator::Standalone(const Expr &e, bool raw) {
    return WithOwnReads([&] { return DoubleCode(e, raw); });
}

std::string Translator::ReadCode(const Expr &e) const {
    if (m_reads) {
        const auto known = m_reads->names.find(&e);
        if (known != m_reads->names.end()) return known->second;
    }
    std::string subs;
    if (!DoubleCall(e))
        for (const ExprPtr &a : e.args) subs += ", " + ScalarCode(*a);
    const auto view = m_scope->views.find(e.slot);
    bool whole = true;
    for (const ExprPtr &a : e.args) whole = whole && Whole(*a);
    if (m_scope->unchecked && !DoubleCall(e) && view != m_scope->views.end()) {
        subs.clear();
        for (const ExprPtr &a : e.args) subs += (subs.empty() ? "" : ", ") + IndexCode(*a);
    }
    const std::string code = DoubleCall(e) ? DoubleCallee(e) + "(rt" + TypedArgs(e) + TypedTail(e) + ")"
                             : m_scope->unchecked && view != m_scope->views.end()
                                 ? view->second + "p.Load(" + subs + ")"
                             : view != m_scope->views.end()
                                 ? view->second + (whole ? ".GetWhole(call, " : ".Get(call, ") +
                                       Var(e.slot) + subs + ")"
                                 : "Elements::Read(call, " + Var(e.slot) + subs + ")";
    if (!m_reads) return code;
    const std::string name = "e" + std::to_string(++m_readCount);
    // A typed call's value is of its result's type.
    m_reads->lines.push_back("const auto " + name + " = " + code + ";");
    m_reads->names.emplace(&e, name);
    return name;
}

void Translator::ElementStoreStatement(const Stmt &s, int indent) {
    const Target &t = s.targets[0];
    // The right side first, then the subscripts, as the interpreter.
    Reads reads;
    Reads *saved = OpenReads(reads);
    const std::string exact = ScalarCode(*s.value), raw = RawCode(*s.value);
    const std::string pre = CloseReads(saved);
    std::string subs;
    for (const ExprPtr &a : t.path[0].subscripts) subs += ", " + ScalarCode(*a);
    Line(indent, "{");
    if (!pre.empty()) Line(indent + 1, pre);
    if (exact.find("rt.") == std::string::npos) {
        Line(indent + 1, "const double x = " + exact + ";");
    } else {
        Line(indent + 1, "const double raw = " + raw + ";");
        Line(indent + 1, "const double x = __builtin_expect(raw == raw, 1) ? raw : " + Cold(exact) + ";");
    }
    const auto view = m_scope->views.find(t.slot);
    if (m_scope->unchecked && view != m_scope->views.end()) {
        std::string plain;
        for (const ExprPtr &a : t.path[0].subscripts) plain += IndexCode(*a) + ", ";
        Line(indent + 1, view->second + "p.Put(" + plain + "x);");
        Line(indent, "}");
        Show(t.name, Var(t.slot), s.show, indent);
        return;
    }
    bool whole = true;
    for (const ExprPtr &a : t.path[0].subscripts) whole = whole && Whole(*a);
    Line(indent + 1, view != m_scope->views.end()
                         ? view->second + (whole ? ".SetWhole(call, " : ".Set(call, ") + Var(t.slot) +
                               subs + ", x);"
                         : "Elements::Store(call, " + Var(t.slot) + subs + ", x);");
    Line(indent, "}");
    Show(t.name, Var(t.slot), s.show, indent);
}

bool Translator::PlainElementStore(const Stmt &s) const {
    if (s.kind != Stmt::Kind::Assign || s.targets.size() != 1) return false;
    const Target &t = s.targets[0];
    if (t.name.empty() || t.path.size() != 1 || t.path[0].kind != Accessor::Kind::Paren ||
        t.path[0].subscripts.empty() || t.path[0].subscripts.size() > 2 ||
        (s.value->kind == Expr::Kind::Matrix && s.value->rows.empty()))
        return false;
    for (const ExprPtr &a : t.path[0].subscripts)
        if (!ScalarExpr(*a, false)) return false;
    return true;
}

void Translator::PlainElementStoreStatement(const Stmt &s, int indent) {
    const Target &t = s.targets[0];
    const std::vector<ExprPtr> &subscripts = t.path[0].subscripts;
    const std::string var = Var(t.slot), n = std::to_string(subscripts.size());
    Line(indent, "{");
    // The right side first, then the subscripts, as the interpreter.
    Line(indent + 1, "const Value rhs = " + Expression(*s.value) + ";");
    std::string adds;
    for (std::size_t k = 0; k < subscripts.size(); ++k) {
        Line(indent + 1, "const double s" + std::to_string(k) + " = " + ScalarCode(*subscripts[k]) + ";");
        adds += " l.Add(Value(s" + std::to_string(k) + "));";
    }
    Line(indent + 1, "if (!Elements::StoreInPlace(" + var + ", rhs, " + n + ", s0, " +
                         (subscripts.size() == 2 ? "s1" : "0.0") + "))");
    Line(indent + 2, var + " = rt.Assign(" + var + ", {Step::Paren(" + n + ", [&](List &l) {" + adds +
                         " })}, rhs, false);");
    Line(indent, "}");
    Show(t.name, var, s.show, indent);
}

namespace {

// Whether every mention of `slot` in e is an element read.
bool OnlyElements(const Expr &e, int slot,
                  const std::function<bool(const Expr &)> &read) {
    if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) && e.slot == slot) return read(e);
    if (e.kind == Expr::Kind::AnonFunction) {
        for (int captured : e.captures)
            if (captured == slot) return false;
        return true;
    }
    return !AnyOperand(e, [&](const Expr &a) { return !OnlyElements(a, slot, read); });
}

}  // namespace

bool Translator::ViewLoop(const Stmt &s, int indent) {
    if (!m_scope->views.empty()) return false;
    const std::function<bool(const Expr &)> read = [this](const Expr &e) { return ElementRead(e); };
    // Every mention an element read or store: nothing else can come to
    // share the data the view writes.
    std::function<bool(const Stmt &, int, bool &)> only = [&](const Stmt &x, int slot,
                                                             bool &written) {
        if (ElementStore(x) && x.targets[0].slot == slot) {
            written = true;
            return OnlyElements(*x.value, slot, read);
        }
        for (const Target &t : x.targets) {
            if (t.slot == slot) return false;
            for (const Accessor &a : t.path)
                for (const ExprPtr &e : a.subscripts)
                    if (!OnlyElements(*e, slot, read)) return false;
        }
        if (x.value && !OnlyElements(*x.value, slot, read)) return false;
        if ((x.kind == Stmt::Kind::For || x.kind == Stmt::Kind::Expression ||
             x.kind == Stmt::Kind::Try) &&
            x.slot == slot)
            return false;
        for (const auto &branch : x.branches) {
            if (branch.first && !OnlyElements(*branch.first, slot, read)) return false;
            for (const Stmt &y : branch.second)
                if (!only(y, slot, written)) return false;
        }
        for (const Stmt &y : x.body)
            if (!only(y, slot, written)) return false;
        for (const Stmt &y : x.handler)
            if (!only(y, slot, written)) return false;
        return true;
    };
    std::vector<std::pair<int, bool>> taken;
    for (int slot : m_scope->arrays) {
        bool written = false;
        if (Mentions(s, slot, false) && only(s, slot, written)) taken.emplace_back(slot, written);
    }
    if (taken.empty()) return false;
    Line(indent, "{");
    for (const auto &[slot, written] : taken) {
        const std::string view = Var(slot) + "v";
        Line(indent + 1, "Elements " + view + ";");
        Line(indent + 1, view + ".Take(" + Var(slot) + ", " + (written ? "true" : "false") + ");");
        m_scope->views[slot] = view;
    }
    Statement(s, indent + 1);
    m_scope->views.clear();
    Line(indent, "}");
    return true;
}

std::string Translator::IndexCode(const Expr &e) const {
    switch (e.kind) {
        case Expr::Kind::Number: return std::to_string(static_cast<long long>(e.number)) + "LL";
        case Expr::Kind::Name:
            return m_scope->indices.count(e.slot) ? m_scope->indices.at(e.slot)
                                                  : "static_cast<long long>(" + Var(e.slot) + ")";
        default:
            return "(" + IndexCode(*e.args[0]) + (e.op == Op::Plus ? " + " : " - ") +
                   IndexCode(*e.args[1]) + ")";
    }
}

std::string Translator::HoistedChecks(const Stmt &s, const std::string &first,
                                      const std::string &last, std::set<int> &used) {
    if (m_scope->workspace || !m_scope->copies.count(s.slot)) return std::string();
    // The statements the body may hold, and the variables it assigns.
    std::set<int> assigned;
    std::function<bool(const Block &)> allowed = [&](const Block &block) {
        for (const Stmt &x : block) {
            switch (x.kind) {
                case Stmt::Kind::Assign:
                    if (x.show || !TypedLocal(x)) return false;
                    for (const Target &t : x.targets)
                        if (!t.name.empty()) assigned.insert(t.slot);
                    break;
                case Stmt::Kind::If:
                    if (!TypedLocal(x)) return false;
                    for (const auto &branch : x.branches)
                        if (!allowed(branch.second)) return false;
                    if (!allowed(x.body)) return false;
                    break;
                case Stmt::Kind::For:
                    if (!Scalar(x.slot) || x.value->kind != Expr::Kind::Range || !ScalarOnly(x.body))
                        return false;
                    assigned.insert(x.slot);
                    if (!allowed(x.body)) return false;
                    break;
                case Stmt::Kind::While:
                    if (!TypedLocal(x) || !allowed(x.body)) return false;
                    break;
                case Stmt::Kind::Break:
                case Stmt::Kind::Continue: break;
                default: return false;
            }
        }
        return true;
    };
    if (!allowed(s.body) || assigned.count(s.slot)) return std::string();
    // The loops inside, while their bodies are walked: the code of the
    // values their variable's least and greatest values are at least and
    // at most (each end of the range at both ends of this loop).
    std::map<int, std::pair<std::set<std::string>, std::set<std::string>>> inner;
    std::set<std::string> terms;  // checks of the invariant variables
    std::vector<std::string> fits;
    bool ok = true;
    // A subscript's terms: whole numbers, variables the body leaves alone,
    // and one loop variable at most, under + and -; its slot into `loop`,
    // the sign it is taken with into `sign`.
    std::function<bool(const Expr &, int, int &, int &, int &)> affine =
        [&](const Expr &e, int sign, int &count, int &loop, int &loopSign) {
            if (++count > 8) return false;
            switch (e.kind) {
                case Expr::Kind::Number:
                    return e.number >= -0x1p44 && e.number <= 0x1p44 &&
                           e.number == static_cast<double>(static_cast<long long>(e.number));
                case Expr::Kind::Name:
                    if (!IsVariable(e) || !Scalar(e.slot)) return false;
                    if (e.slot == s.slot || inner.count(e.slot)) {
                        if (loop >= 0) return false;
                        loop = e.slot;
                        loopSign = sign;
                        return true;
                    }
                    if (assigned.count(e.slot)) return false;
                    terms.insert("Elements::WholeTerm(" + Var(e.slot) + ")");
                    return true;
                case Expr::Kind::Binary:
                    return (e.op == Op::Plus || e.op == Op::Minus) &&
                           affine(*e.args[0], sign, count, loop, loopSign) &&
                           affine(*e.args[1], e.op == Op::Minus ? -sign : sign, count, loop, loopSign);
                default: return false;
            }
        };
    // e's value before the loop with the variable `slot` at `value`.
    const auto at = [&](const Expr &e, int slot, const std::string &value) {
        std::string &copy = m_scope->copies[slot];
        const std::string saved = copy;
        copy = "(" + value + ")";
        const std::string code = RawCode(e);
        m_scope->copies[slot] = saved;
        return code;
    };
    const auto access = [&](int slot, const std::vector<ExprPtr> &subscripts) {
        const auto view = m_scope->views.find(slot);
        if (view == m_scope->views.end()) return false;
        const std::string head = view->second + ".Fits(" + std::to_string(subscripts.size()) + ", ";
        for (std::size_t k = 0; k < subscripts.size(); ++k) {
            const Expr &a = *subscripts[k];
            int count = 0, loop = -1, sign = 1;
            if (!affine(a, 1, count, loop, sign)) return false;
            const std::string fit = head + std::to_string(k) + ", ";
            if (loop < 0) {
                const std::string x = RawCode(a);
                fits.push_back(fit + x + ", " + x + ")");
            } else if (loop == s.slot) {
                for (const std::string &end : {first, last}) {
                    const std::string x = at(a, loop, end);
                    fits.push_back(fit + x + ", " + x + ")");
                }
            } else {
                // Least at the least value of the variable, or at its
                // greatest when taken with a minus sign.
                const auto &bounds = inner.at(loop);
                for (const std::string &v : sign > 0 ? bounds.first : bounds.second)
                    fits.push_back(fit + at(a, loop, v) + ", 1.0)");
                for (const std::string &v : sign > 0 ? bounds.second : bounds.first)
                    fits.push_back(fit + "1.0, " + at(a, loop, v) + ")");
            }
        }
        used.insert(slot);
        return true;
    };
    std::function<void(const Expr &)> reads = [&](const Expr &e) {
        if (e.kind == Expr::Kind::AnonFunction) ok = false;
        if (!ok) return;
        if (e.kind == Expr::Kind::Call && !DoubleCall(e) && ElementRead(e)) {
            ok = access(e.slot, e.args);
            return;
        }
        for (const ExprPtr &a : e.args) reads(*a);
        for (const auto &row : e.rows)
            for (const ExprPtr &a : row) reads(*a);
    };
    // An inner loop's range: ends of one loop variable (this loop's or an
    // enclosing inner loop's) and invariants, a whole step of known sign.
    const auto range = [&](const Stmt &x) {
        const Expr &r = *x.value;
        int step = 1;
        if (r.args.size() == 3) {
            const Expr *e = r.args[1].get();
            if (e->kind == Expr::Kind::Unary && e->op == Op::Uminus && e->args.size() == 1) {
                step = -1;
                e = e->args[0].get();
            }
            if (e->kind != Expr::Kind::Number || e->number == 0.0 || !(std::fabs(e->number) <= 0x1p44) ||
                e->number != static_cast<double>(static_cast<long long>(e->number)))
                return false;
            if (e->number < 0.0) step = -step;
        }
        std::set<std::string> ends[2];
        for (int k = 0; k < 2; ++k) {
            const Expr &e = *r.args[k == 0 ? 0 : r.args.size() - 1];
            int count = 0, loop = -1, sign = 1;
            if (!affine(e, 1, count, loop, sign)) return false;
            if (loop < 0) {
                ends[k].insert(RawCode(e));
            } else if (loop == s.slot) {
                ends[k].insert(at(e, loop, first));
                ends[k].insert(at(e, loop, last));
            } else {
                // The variable of a loop around this one: the end's least
                // value (its start's when stepping up) at that variable's
                // least, or at its greatest when taken with a minus sign.
                const bool least = (k == 0) == (step > 0);
                const auto &bounds = inner.at(loop);
                for (const std::string &v : least == (sign > 0) ? bounds.first : bounds.second)
                    ends[k].insert(at(e, loop, v));
            }
        }
        inner[x.slot] = step > 0 ? std::make_pair(ends[0], ends[1]) : std::make_pair(ends[1], ends[0]);
        return true;
    };
    std::function<bool(const Block &)> walk = [&](const Block &block) {
        for (const Stmt &x : block) {
            switch (x.kind) {
                case Stmt::Kind::Assign:
                    reads(*x.value);
                    if (ok && ElementStore(x)) ok = access(x.targets[0].slot, x.targets[0].path[0].subscripts);
                    break;
                case Stmt::Kind::If:
                    for (const auto &branch : x.branches) {
                        reads(*branch.first);
                        ok = ok && walk(branch.second);
                    }
                    ok = ok && walk(x.body);
                    break;
                case Stmt::Kind::For:
                    ok = ok && range(x) && walk(x.body);
                    inner.erase(x.slot);
                    break;
                case Stmt::Kind::While:
                    reads(*x.value);
                    ok = ok && walk(x.body);
                    break;
                default: break;
            }
            if (!ok) return false;
        }
        return true;
    };
    if (!walk(s.body) || fits.empty()) return std::string();
    std::string out;
    for (const std::string &t : terms) out += t + " && ";
    std::set<std::string> seen;
    for (const std::string &t : fits)
        if (seen.insert(t).second) out += t + " && ";
    return out.substr(0, out.size() - 4);
}

}  // namespace build
}  // namespace mtrx
