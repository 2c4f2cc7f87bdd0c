// src/mtrx/build/translate.cpp: walks the resolved syntax tree of a program
// and writes the C++ that runs it over the runtime. Every value is the
// runtime's dynamic Value; operands are evaluated in the interpreter's
// order (braced lists fix C++'s), and subscripts and arguments are filled
// lazily, as the interpreter evaluates them, so that `end` and the checks
// see what they see there.
#include "build/translator.h"

#include "error.h"
#include "runtime/runtime.h"
#include "value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace mtrx {

namespace build {

const char *ComparisonOperator(Op op) {
    return op == Op::Eq   ? " == "
           : op == Op::Ne ? " != "
           : op == Op::Lt ? " < "
           : op == Op::Le ? " <= "
           : op == Op::Gt ? " > "
                          : " >= ";
}

const char *OpName(Op op) {
    switch (op) {
        case Op::Plus: return "Op::Plus";
        case Op::Minus: return "Op::Minus";
        case Op::Mtimes: return "Op::Mtimes";
        case Op::Mrdivide: return "Op::Mrdivide";
        case Op::Mldivide: return "Op::Mldivide";
        case Op::Mpower: return "Op::Mpower";
        case Op::Times: return "Op::Times";
        case Op::Rdivide: return "Op::Rdivide";
        case Op::Ldivide: return "Op::Ldivide";
        case Op::Power: return "Op::Power";
        case Op::Or: return "Op::Or";
        case Op::And: return "Op::And";
        case Op::Eq: return "Op::Eq";
        case Op::Ne: return "Op::Ne";
        case Op::Lt: return "Op::Lt";
        case Op::Le: return "Op::Le";
        case Op::Gt: return "Op::Gt";
        case Op::Ge: return "Op::Ge";
        case Op::Uminus: return "Op::Uminus";
        case Op::Uplus: return "Op::Uplus";
        case Op::Not: return "Op::Not";
        case Op::Ctranspose: return "Op::Ctranspose";
        case Op::Transpose: return "Op::Transpose";
        default: return "Op::None";
    }
}

std::string Quote(const std::string &text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7f || c == '?') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Number(double x) {
    if (std::isinf(x)) return x > 0 ? "HUGE_VAL" : "-HUGE_VAL";
    if (std::isnan(x)) return "NAN";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", x);
    std::string s = buffer;
    // The shortest form that reads back the same, for reading.
    for (int digits = 1; digits < 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, x);
        if (std::strtod(buffer, nullptr) == x) {
            s = buffer;
            break;
        }
    }
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

std::string Translator::Steps(const Target &t, int line) {
    std::string out = "{";
    for (std::size_t k = 0; k < t.path.size(); ++k) {
        const Accessor &a = t.path[k];
        out += k ? ", " : "";
        const auto count = std::to_string(a.subscripts.size());
        switch (a.kind) {
            case Accessor::Kind::Paren:
                out += "Step::Paren(" + count + ", " + Fill(a.subscripts, 0) + ")";
                break;
            case Accessor::Kind::Brace:
                out += "Step::Brace(" + count + ", " + Fill(a.subscripts, 0) + ")";
                break;
            case Accessor::Kind::Field:
                if (a.subscripts.empty())
                    out += "Step::Field(" + Quote(a.field) + ")";
                else
                    out += "Step::Dynamic([&] { return " + Expression(*a.subscripts[0]) + "; })";
                break;
        }
    }
    (void)line;
    return out + "}";
}

void Translator::Show(const std::string &name, const std::string &var, bool show, int indent) {
    if (show) Line(indent, "rt.Show(" + Quote(name) + ", " + var + ");");
}

void Translator::Assign(const Stmt &s, int indent) {
    const bool deletion = s.value->kind == Expr::Kind::Matrix && s.value->rows.empty();
    // c{I}, s.name and s(I).name may name several places.
    const auto listTarget = [](const Target &t) {
        const std::size_t n = t.path.size();
        if (t.name.empty()) return false;
        if (n == 1 && t.path[0].kind != Accessor::Kind::Paren) return true;
        return n == 2 && t.path[0].kind == Accessor::Kind::Paren &&
               t.path[1].kind == Accessor::Kind::Field;
    };
    if (s.targets.size() == 1 && !(s.bracketed && listTarget(s.targets[0]))) {
        const Target &t = s.targets[0];
        if (t.name.empty()) {
            Line(indent, Expression(*s.value) + ";");
            return;
        }
        const std::string var = Var(t.slot);
        if (!m_scope->workspace && ElementStore(s)) {
            ElementStoreStatement(s, indent);
            return;
        }
        if (!m_scope->workspace && LogicalElementStore(s)) {
            LogicalElementStoreStatement(s, indent);
            return;
        }
        if (!m_scope->workspace && IntegerElementStore(s)) {
            IntegerElementStoreStatement(s, indent);
            return;
        }
        if (!m_scope->workspace && PlainElementStore(s)) {
            PlainElementStoreStatement(s, indent);
            return;
        }
        if (t.path.empty() && (Logical(t.slot) || Integer(t.slot))) {
            TypedAssign(s, indent);
            return;
        }
        if (t.path.empty() && Scalar(t.slot)) {
            // One test of the result for NaN: only then is it computed again
            // operation by operation for the library's NaN bits.
            Reads reads;
            Reads *saved = OpenReads(reads);
            const std::string exact = ScalarCode(*s.value), raw = RawCode(*s.value);
            const std::string pre = CloseReads(saved);
            if (m_scope->raw && pre.empty()) {
                Line(indent, Var(t.slot) + " = " + raw + ";");
            } else if (exact.find("rt.") == std::string::npos && pre.empty()) {
                Line(indent, Var(t.slot) + " = " + exact + ";");
            } else if (pre.empty() && NumberClass(*s.value) != kAny) {
                Line(indent, Var(t.slot) + " = " + raw + ";");
            } else {
                Line(indent, "{");
                if (!pre.empty()) Line(indent + 1, pre);
                Line(indent + 1, "const double raw = " + raw + ";");
                Line(indent + 1, Var(t.slot) + " = __builtin_expect(raw == raw, 1) ? raw : " + Cold(exact) + ";");
                Line(indent, "}");
            }
            Show(t.name, "Value(" + var + ")", s.show, indent);
            return;
        }
        if (t.path.empty()) {
            Line(indent, var + " = " + Expression(*s.value) + ";");
        } else {
            Line(indent, "{");
            Line(indent + 1, "const Value rhs = " + Expression(*s.value) + ";");
            Line(indent + 1, var + " = rt.Assign(" + var + ", " + Steps(t, s.line) + ", rhs, " +
                                 (deletion ? "true" : "false") + ");");
            Line(indent, "}");
        }
        Show(t.name, var, s.show, indent);
        return;
    }
    if (TypedOutputs(s, indent)) return;
    const Expr &e = *s.value;
    Line(indent, "{");
    // The places each target names, counted before the right side runs.
    std::string total;
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        const Target &t = s.targets[k];
        if (!listTarget(t)) {
            total += (k ? " + 1" : "1");
            continue;
        }
        const std::string n = "n" + std::to_string(k);
        Line(indent + 1, "const std::size_t " + n + " = rt.ListCount(" + VarValue(t.slot) + ", " +
                             Steps(t, s.line) + ");");
        total += (k ? " + " : "") + n;
    }
    Line(indent + 1, "const std::size_t total = " + total + ";");
    std::string values;
    if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) {
        if (m_scope->function && e.args.empty() && !IsVariable(e) &&
            (e.text == "nargin" || e.text == "nargout"))
            values = std::string("Values{call.") + (e.text == "nargin" ? "Nargin()}" : "Nargout()}");
        else
            values = CallList(e, "static_cast<unsigned int>(total)");
    } else if (e.kind == Expr::Kind::CellIndex) {
        values = "rt.BraceList(" + Expression(*e.args[0]) + ", " + std::to_string(e.args.size() - 1) +
                 ", " + Fill(e.args, 1) + ")";
    } else if (e.kind == Expr::Kind::Field && e.args.size() == 1) {
        values = "rt.FieldList(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
    } else {
        values = "Values{Runtime::Raise(\"Only a function call or a list (c{:}, s.name) can give "
                 "several outputs\")}";
    }
    Line(indent + 1, "Values out = " + values + ";");
    if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call)
        Line(indent + 1, "Runtime::NeedOutputs(out, total, " + Quote(e.text) + ");");
    else
        Line(indent + 1, "Runtime::NeedValues(out, total);");
    Line(indent + 1, "std::size_t next = 0;");
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        const Target &t = s.targets[k];
        if (t.name.empty()) {
            Line(indent + 1, "++next;");
            continue;
        }
        const std::string var = Var(t.slot);
        if (listTarget(t)) {
            // One place takes its value as a single target does.
            const std::string n = "n" + std::to_string(k);
            Line(indent + 1, "if (" + n + " == 1)");
            Line(indent + 2, var + " = rt.Assign(" + var + ", " + Steps(t, s.line) +
                                 ", std::move(out[next++]), " + (deletion ? "true" : "false") + ");");
            Line(indent + 1, "else");
            Line(indent + 2, var + " = rt.AssignList(" + var + ", " + Steps(t, s.line) +
                                 ", Runtime::Take(out, next, " + n + "));");
            Show(t.name, var, s.show, indent + 1);
            continue;
        }
        const std::string value = "std::move(out[next++])";
        if (t.path.empty())
            Line(indent + 1, var + " = " + value + ";");
        else
            Line(indent + 1, var + " = rt.Assign(" + var + ", " + Steps(t, s.line) + ", " + value +
                                 ", " + (deletion ? "true" : "false") + ");");
        Show(t.name, var, s.show, indent + 1);
    }
    Line(indent, "}");
}

void Translator::ScalarLoopStatement(const Stmt &s, const std::string &loop, int indent) {
    std::vector<std::pair<std::string, std::string>> copies;  // variable, copy
    std::vector<int> slots;
    for (int slot : m_scope->scalars) {
        if (!Mentions(s, slot, false)) continue;
        const std::string var = Var(slot);
        copies.emplace_back(var, var + "r");
        slots.push_back(slot);
    }
    // Logical and integer variables too, after the doubles.
    const std::size_t doubles = copies.size();
    std::vector<int> typed(m_scope->logicals.begin(), m_scope->logicals.end());
    for (const auto &i : m_scope->integers) typed.push_back(i.first);
    for (int slot : typed) {
        if (!Mentions(s, slot, false)) continue;
        const std::string var = Var(slot);
        copies.emplace_back(var, var + "r");
        slots.push_back(slot);
    }
    // The outermost such loop is a function of its own: in the function
    // around it, large and full of calls, the compiler keeps the loop's
    // counters and copies in memory; alone, they live in registers.
    const bool own = m_scope->loops == 0;
    Line(indent, own ? "[&]() MTRX_STATEMENTS {" : "{");
    if (!loop.empty())
        Line(indent + 1, loop + ";");
    for (std::size_t k = 0; k < copies.size(); ++k)
        Line(indent + 1, (k < doubles ? "double " : "auto ") + copies[k].second + " = " +
                             copies[k].first + ";");
    for (std::size_t k = 0; k < doubles; ++k) Line(indent + 1, "Detach(" + copies[k].second + ");");
    for (std::size_t k = 0; k < slots.size(); ++k) m_scope->copies[slots[k]] = copies[k].second;
    ++m_scope->loops;
    if (loop.empty()) {
        // The condition cannot fail: no place to set.
        Line(indent + 1, "while (" + Condition(*s.value) + ") {");
        Statements(s.body, indent + 2);
        Line(indent + 1, "}");
    } else {
        CountedLoop(s, indent + 1);
    }
    --m_scope->loops;
    m_scope->copies.clear();
    for (std::size_t k = 0; k < doubles; ++k) Line(indent + 1, "Detach(" + copies[k].second + ");");
    for (const auto &c : copies) Line(indent + 1, c.first + " = " + c.second + ";");
    Line(indent, own ? "}();" : "}");
}

void Translator::CountedLoop(const Stmt &s, int indent) {
    // Whole numbers run as a counted loop, the general case through Next:
    // the body is written twice, once for each.
    const std::string n = std::to_string(m_scope->loops);
    // Element k is First() + k * Step(), exactly the sum of the steps before
    // it: every value, product and sum here is a whole number below 2^53.
    // From a counter rather than a running sum, so that no double is carried
    // from one iteration to the next but the program's own.
    Line(indent, "if (loop" + n + ".Whole()) {");
    Line(indent + 1, "const double loopFirst" + n + " = loop" + n + ".First();");
    Line(indent + 1, "const double loopStep" + n + " = loop" + n + ".Step();");
    Line(indent + 1, "const long long loopCount" + n + " = static_cast<long long>(loop" + n + ".Count());");
    const auto header = [&](int at) {
        Line(at, "for (long long loopK" + n + " = 0; loopK" + n + " != loopCount" + n + "; ++loopK" + n +
                     ") {");
        Line(at + 1, Var(s.slot) + " = loopFirst" + n + " + static_cast<double>(loopK" + n +
                         ") * loopStep" + n + ";");
    };
    // Here the variable is a whole number below 2^52, unless a loop
    // inside runs it over other values.
    std::function<bool(const Block &)> relooped = [&](const Block &block) {
        for (const Stmt &x : block) {
            if (x.kind == Stmt::Kind::For && x.slot == s.slot) return true;
            for (const auto &branch : x.branches)
                if (relooped(branch.second)) return true;
            if (relooped(x.body) || relooped(x.handler)) return true;
        }
        return false;
    };
    const bool whole = !relooped(s.body) && !m_scope->wholes.count(s.slot);
    // first:last steps by 1: a constant stride for the C++ compiler.
    const bool unit = s.value->kind == Expr::Kind::Range && s.value->args.size() == 2;
    if (whole) m_scope->wholes.insert(s.slot);
    // Loop versioning: when every element access of the body is in range
    // at both ends of the loop, it is in range at every value between (the
    // subscripts move with the variable, one way), and the body runs on
    // plain loads and stores; otherwise, for its growth and errors as the
    // interpreter has them, on checked ones.
    const std::string last = "loopLast" + n;
    std::set<int> used;
    const std::string checks =
        whole && !m_scope->unchecked ? HoistedChecks(s, "loopFirst" + n, last, used) : std::string();
    int at = indent + 1;
    if (!checks.empty()) {
        Line(at, "const double " + last + " = loopFirst" + n + " + static_cast<double>(loopCount" + n +
                     " - 1) * loopStep" + n + ";");
        Line(at, "if (loopCount" + n + " > 0 && " + checks + ") {");
        // The checked loop as a function of its own, on copies of the
        // copies: the function around it keeps its checked versions'
        // values live too, which would send this one's to memory.
        std::vector<std::pair<int, std::string>> saved;
        for (int slot : m_scope->scalars) {
            const auto copy = m_scope->copies.find(slot);
            if (copy == m_scope->copies.end() || (slot != s.slot && !Mentions(s, slot, false))) continue;
            saved.emplace_back(slot, copy->second);
            Line(at + 1, "double " + copy->second + "u = " + copy->second + ";");
            copy->second += "u";
        }
        Line(at + 1, "[&]() MTRX_LOOP_STATEMENTS {");
        for (int slot : used) {
            const std::string &view = m_scope->views.at(slot);
            Line(at + 2, "const Elements::Plain " + view + "p = " + view + ".Unchecked();");
        }
        // The variable's values in integers too, exactly: whole numbers
        // below 2^53.
        Line(at + 2, "const long long loopFirstI" + n + " = static_cast<long long>(loopFirst" + n +
                         "), loopStepI" + n + " = static_cast<long long>(loopStep" + n + ");");
        for (const auto &c : saved) Line(at + 2, "double " + c.second + "v = " + c.second + "u;");
        for (const auto &c : saved) m_scope->copies[c.first] = c.second + "v";
        m_scope->unchecked = true;
        m_scope->indices[s.slot] = "loopI" + n;
        UncheckedLoop(s, n, "loopFirstI" + n + " + loopK" + n + (unit ? "" : " * loopStepI" + n), at + 2);
        m_scope->unchecked = false;
        m_scope->indices.clear();
        for (const auto &c : saved) Line(at + 2, c.second + "u = " + c.second + "v;");
        Line(at + 1, "}();");
        for (const auto &c : saved) {
            Line(at + 1, c.second + " = " + c.second + "u;");
            m_scope->copies[c.first] = c.second;
        }
        Line(at, "} else {");
        ++at;
    }
    // A loop inside one checked ahead: its values were checked with it,
    // whole numbers (its range's ends and step are), in integers too.
    const bool inside = m_scope->unchecked && whole;
    if (inside) {
        m_scope->indices[s.slot] = "loopI" + n;
        UncheckedLoop(s, n,
                      "static_cast<long long>(loopFirst" + n + ") + loopK" + n +
                          (unit ? "" : " * static_cast<long long>(loopStep" + n + ")"),
                      at);
        m_scope->indices.erase(s.slot);
    } else {
        header(at);
        Statements(s.body, at + 1);
        Line(at, "}");
    }
    if (!checks.empty()) Line(indent + 1, "}");
    if (whole) m_scope->wholes.erase(s.slot);
    Line(indent, "} else {");
    // Never taken inside a loop checked ahead; checked all the same.
    const bool unchecked = m_scope->unchecked;
    const std::map<int, std::string> indices = m_scope->indices;
    m_scope->unchecked = false;
    m_scope->indices.clear();
    Line(indent + 1, "while (loop" + n + ".Next(" + Var(s.slot) + ")) {");
    Statements(s.body, indent + 2);
    Line(indent + 1, "}");
    m_scope->unchecked = unchecked;
    m_scope->indices = indices;
    Line(indent, "}");
}

void Translator::Declare(int slot, const std::string &name, const std::string &init) {
    if (Scalar(slot))
        Line(1, "double " + Local(name) + " = 0.0;");
    else if (Logical(slot))
        Line(1, "bool " + Local(name) + " = false;");
    else if (Integer(slot))
        Line(1, m_scope->integers.at(slot) + " " + Local(name) + " = 0;");
    else
        Line(1, "Value " + Local(name) + " = " + init + ";");
}

void Translator::Guarded(const std::string &statements) {
    Line(1, "try {");
    m_out << statements;
    Line(1, "} catch (...) {");
    Line(2, "call.Fail();");
    Line(2, "throw;");
    Line(1, "}");
}

void Translator::Statements(const Block &block, int indent) {
    const auto ran = m_ranFlags.find(&block);
    if (ran != m_ranFlags.end()) Line(indent, ran->second + " = true;");
    for (std::size_t k = 0; k < block.size(); ++k) {
        if (k + 1 < block.size() && NaNPair(block[k], block[k + 1])) {
            NaNPairStatement(block[k], block[k + 1], indent);
            ++k;
        } else {
            Statement(block[k], indent);
        }
    }
}

bool Translator::NaNPair(const Stmt &a, const Stmt &b) const {
    const auto tested = [this](const Stmt &s) {
        return !m_scope->workspace && s.kind == Stmt::Kind::Assign && Infallible(s) &&
               ScalarExpr(*s.value) && NumberClass(*s.value) == kAny &&
               ScalarCode(*s.value).find("rt.") != std::string::npos;
    };
    return tested(a) && tested(b) && a.targets[0].slot != b.targets[0].slot &&
           !Mentions(*b.value, a.targets[0].slot);
}

void Translator::NaNPairStatement(const Stmt &a, const Stmt &b, int indent) {
    Comment(a, indent);
    Comment(b, indent);
    // b reads nothing a assigns: both computed first, then one test of
    // the two for NaN; on a NaN, both again through the library, in order.
    Line(indent, "{");
    Line(indent + 1, "const double raw1 = " + RawCode(*a.value) + ";");
    Line(indent + 1, "const double raw2 = " + RawCode(*b.value) + ";");
    Line(indent + 1, "if (__builtin_expect(!__builtin_isunordered(raw1, raw2), 1)) {");
    Line(indent + 2, Var(a.targets[0].slot) + " = raw1;");
    Line(indent + 2, Var(b.targets[0].slot) + " = raw2;");
    Line(indent + 1, "} else {");
    Line(indent + 2, Var(a.targets[0].slot) + " = " + Cold(ScalarCode(*a.value)) + ";");
    Line(indent + 2, Var(b.targets[0].slot) + " = " + Cold(ScalarCode(*b.value)) + ";");
    Line(indent + 1, "}");
    Line(indent, "}");
}

void Translator::Comment(const Stmt &s, int indent) {
    std::string text = s.line > 0 && static_cast<std::size_t>(s.line) <= m_lines.size()
                           ? m_lines[static_cast<std::size_t>(s.line) - 1]
                           : std::string();
    const std::size_t start = text.find_first_not_of(" \t");
    text = start == std::string::npos ? std::string() : text.substr(start);
    if (text.size() > 72) text = text.substr(0, 69) + "...";
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    // A comment ending in a backslash would continue onto the next line.
    while (!text.empty() && text.back() == '\\') text.pop_back();
    Line(indent, "// " + m_file + ":" + std::to_string(s.line) + ": " + text);
}

void Translator::Statement(const Stmt &s, int indent) {
    Comment(s, indent);
    // A statement that can neither fail nor call anything needs no place:
    // the next one that can sets it.
    // Typed statements fail only by an element error, whose place is all
    // the error needs: they set it without the call that makes the line
    // the frame's running one.
    // Nor do the statements of a loop body checked ahead: their element
    // accesses are in range and their arithmetic cannot fail.
    const bool typedCall = s.value && HasTypedCall(*s.value);
    if (!Infallible(s) &&
        !(m_scope->unchecked && s.kind == Stmt::Kind::Assign && TypedLocal(s) && !typedCall))
        Line(indent, (TypedLocal(s) && !typedCall ? "call.Where(" : "call.At(") + std::to_string(s.line) + ");");
    switch (s.kind) {
        case Stmt::Kind::Expression: {
            const Expr &e = *s.value;
            const std::string ans = s.slot >= 0 ? Var(s.slot) : std::string("ans_");
            if (e.kind == Expr::Kind::CellIndex || (e.kind == Expr::Kind::Field && e.args.size() == 1)) {
                const std::string values =
                    e.kind == Expr::Kind::CellIndex
                        ? "rt.BraceList(" + Expression(*e.args[0]) + ", " +
                              std::to_string(e.args.size() - 1) + ", " + Fill(e.args, 1) + ")"
                        : "rt.FieldList(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
                Line(indent, "for (Value &v : " + values + ") {");
                Line(indent + 1, ans + " = std::move(v);");
                Show("ans", ans, s.show, indent + 1);
                Line(indent, "}");
                return;
            }
            if (e.kind == Expr::Kind::Name && IsVariable(e) && (Scalar(e.slot) || Logical(e.slot) || Integer(e.slot))) {
                Show(e.text, VarValue(e.slot), s.show, indent);
                return;
            }
            if (e.kind == Expr::Kind::Name && IsVariable(e)) {
                // A variable named alone is shown under its own name.
                const std::string var = Var(e.slot);
                Line(indent, "if (!" + var + ".IsUnset()) {");
                Show(e.text, var, s.show, indent + 1);
                Line(indent, "} else {");
                Line(indent + 1, "Values out = " + FunctionCall(e, 0) + ";");
                Line(indent + 1, "if (!out.empty()) {");
                Line(indent + 2, ans + " = std::move(out[0]);");
                Show("ans", ans, s.show, indent + 2);
                Line(indent + 1, "}");
                Line(indent, "}");
                return;
            }
            if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) &&
                !(m_scope->function && e.args.empty() && !IsVariable(e) &&
                  (e.text == "nargin" || e.text == "nargout"))) {
                // A call as a statement asks for no output and may return none.
                Line(indent, "{");
                Line(indent + 1, "Values out = " + CallList(e, 0) + ";");
                Line(indent + 1, "if (!out.empty()) {");
                Line(indent + 2, ans + " = std::move(out[0]);");
                Show("ans", ans, s.show, indent + 2);
                Line(indent + 1, "}");
                Line(indent, "}");
                return;
            }
            Line(indent, ans + " = " + Expression(e) + ";");
            Show("ans", ans, s.show, indent);
            return;
        }
        case Stmt::Kind::Assign: Assign(s, indent); return;
        case Stmt::Kind::If: {
            for (std::size_t k = 0; k < s.branches.size(); ++k) {
                Line(indent, (k ? "} else if (" : "if (") + Condition(*s.branches[k].first) + ") {");
                Statements(s.branches[k].second, indent + 1);
            }
            if (!s.body.empty()) {
                Line(indent, "} else {");
                Statements(s.body, indent + 1);
            }
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::While: {
            if (ViewLoop(s, indent)) return;
            if (m_scope->copies.empty() && Infallible(s) && ScalarOnly(s.body)) {
                ScalarLoopStatement(s, std::string(), indent);
                return;
            }
            if (Infallible(s))
                Line(indent, "while (" + Condition(*s.value) + ") {");
            else
                Line(indent, "while ((call.Where(" + std::to_string(s.line) + "), " +
                                 Condition(*s.value) + ")) {");
            ++m_scope->loops;
            Statements(s.body, indent + 1);
            --m_scope->loops;
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::For: {
            const auto exit = m_exitCopies.find(&s);
            if (exit != m_exitCopies.end() && !m_ranFlags.count(&s.body)) {
                // The variable's last value, copied out of the loop's own
                // slot when it ran: an empty loop leaves it as it was.
                const std::string ran = "ran" + std::to_string(++m_ranCount);
                Line(indent, "{");
                Line(indent + 1, "bool " + ran + " = false;");
                m_ranFlags[&s.body] = ran;
                Statement(s, indent + 1);
                m_ranFlags.erase(&s.body);
                const int inner = exit->second.first, outer = exit->second.second;
                Line(indent + 1, "if (" + ran + ") " + Var(outer) + " = " +
                                     (Scalar(outer) ? Var(inner) : VarValue(inner)) + ";");
                Line(indent, "}");
                return;
            }
            if (ViewLoop(s, indent)) return;
            const Expr &r = *s.value;
            std::string loop;
            if (Scalar(s.slot)) {
                loop = "ScalarLoop loop" + std::to_string(m_scope->loops + 1) + "(";
                for (std::size_t k = 0; k < r.args.size(); ++k)
                    loop += (k ? ", " : "") + Standalone(*r.args[k], false);
                loop += ")";
                if (m_scope->copies.empty() && ScalarOnly(s.body)) {
                    ScalarLoopStatement(s, loop, indent);
                    return;
                }
                if (ScalarOnly(s.body)) {
                    // An inner loop of one running on copies: counted too.
                    Line(indent, "{");
                    Line(indent + 1, loop + ";");
                    ++m_scope->loops;
                    CountedLoop(s, indent + 1);
                    --m_scope->loops;
                    Line(indent, "}");
                    return;
                }
            } else if (r.kind == Expr::Kind::Range) {
                loop = "Loop loop(rt, Values{";
                for (std::size_t k = 0; k < r.args.size(); ++k)
                    loop += (k ? ", " : "") + Expression(*r.args[k]);
                loop += "}, true)";
            } else {
                loop = "Loop loop(rt, " + Expression(r) + ")";
            }
            const std::string name =
                Scalar(s.slot) ? "loop" + std::to_string(m_scope->loops + 1) : std::string("loop");
            Line(indent, "for (" + loop + "; " + name + ".Next(" + Var(s.slot) + ");) {");
            ++m_scope->loops;
            Statements(s.body, indent + 1);
            --m_scope->loops;
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::Switch: {
            Line(indent, "{");
            Line(indent + 1, "const Value subject = " + Expression(*s.value) + ";");
            for (std::size_t k = 0; k < s.branches.size(); ++k) {
                Line(indent + 1, (k ? "} else if (rt.Case(subject, " : "if (rt.Case(subject, ") +
                                     Expression(*s.branches[k].first) + ")) {");
                Statements(s.branches[k].second, indent + 2);
            }
            if (s.branches.empty()) {
                Line(indent + 1, "{");
            } else {
                Line(indent + 1, "} else {");
            }
            Statements(s.body, indent + 2);
            Line(indent + 1, "}");
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::Try: {
            Line(indent, "try {");
            ++m_scope->tries;
            Statements(s.body, indent + 1);
            --m_scope->tries;
            Line(indent, "} catch (const LimitError &) {");
            Line(indent + 1, "throw;");
            Line(indent, "} catch (const std::exception &error) {");
            Line(indent + 1, "call.Caught(error, " +
                                 (s.name.empty() ? std::string("nullptr") : "&" + Var(s.slot)) +
                                 ");");
            Statements(s.handler, indent + 1);
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::Break:
        case Stmt::Kind::Continue:
            if (m_scope->loops > 0) {
                Line(indent, s.kind == Stmt::Kind::Break ? "break;" : "continue;");
                return;
            }
            // Outside a loop they end the function or script, as return does.
            [[fallthrough]];
        case Stmt::Kind::Return:
            m_scope->usesDone = true;
            Line(indent, "goto done;");
            return;
    }
}

void Translator::Function(std::size_t k, bool typed, const std::string &key) {
    const ::mtrx::Function &f = VersionOf(k, key);
    const std::string name = key.empty() ? f.name : key;
    const auto version = m_versions.find(name);
    // A version's arguments and the outputs it gives.
    const std::size_t count = version != m_versions.end() ? version->second.nargin : f.params.size();
    const std::size_t given = version != m_versions.end() && version->second.nargout
                                  ? version->second.nargout
                                  : f.outputSlots.size();
    Scope scope;
    FunctionScope(f, scope);
    m_scope = &scope;
    if (typed) {
        TypedScope(k, scope, key);
        m_scope = &scope;
    } else if (UsesWorkspace(f.body)) {
        KeepInFrame(scope, f.names.size());
    } else {
        std::set<int> candidates = scope.assigned;
        for (int slot : f.paramSlots) candidates.erase(slot);
        for (int slot : f.outputSlots) candidates.erase(slot);
        InferScalars(f.body, candidates);
    }
    std::ostringstream saved;
    saved.swap(m_out);
    Body(f.body, false);
    const std::string statements = m_out.str();
    m_out.swap(saved);

    std::string outs;
    for (std::size_t j = 0; j < f.outputs.size(); ++j) outs += (j ? ", " : "") + f.outputs[j];
    std::string params;
    for (std::size_t j = 0; j < f.params.size(); ++j) params += (j ? ", " : "") + f.params[j];
    Line(0, "// function [" + outs + "] = " + f.name + "(" + params + ")  (" + m_file + ":" +
                std::to_string(f.line) + ")");
    const bool several = f.outputSlots.size() > 1;
    if (typed) {
        // Called with every parameter, a double; for one output, or for
        // nargout of several with the second on stored in more[0]...
        std::string doubles;
        for (std::size_t j = 0; j < count; ++j) doubles += ParamType(name, j) + Var(f.paramSlots[j]);
        if (several) doubles += ", unsigned int nargout, double *more";
        Line(0, m_typedResults.at(name) + " " + TypedName(name) + "(Runtime &rt" + doubles + ") {");
        Line(1, "Scope call(rt, " + std::to_string(m_index) + ", " + std::to_string(k) + ", Scope::Direct()" +
                    (several ? ", nargout" : count < f.params.size() ? ", 1u" : "") +
                    (count < f.params.size() ? ", " + std::to_string(count) + "u" : "") + ");");
    } else {
        Line(0, "Values " + FunctionName(f.name) +
                    "(Runtime &rt, const Values &args, unsigned int nargout) {");
        Line(1, "Scope call(rt, " + std::to_string(m_index) + ", " + std::to_string(k) +
                    ", args.size(), nargout);");
    }
    // As doubles, which the cold paths' lambdas copy (the frame they cannot).
    Line(1, "const double narginCount = call.NarginCount(), nargoutCount = call.NargoutCount();");
    const std::size_t named = f.params.size() - (f.varargin ? 1 : 0);
    for (std::size_t slot = 0; slot < f.names.size(); ++slot) {
        std::string init = "Value::Unset()";
        for (std::size_t j = 0; j < f.paramSlots.size(); ++j) {
            if (f.paramSlots[j] != static_cast<int>(slot) || (typed && j >= count)) continue;
            init = f.varargin && j + 1 == f.paramSlots.size() && j >= named
                       ? "Scope::Varargin(args, " + std::to_string(named) + ")"
                       : "Scope::Arg(args, " + std::to_string(j) + ")";
        }
        if (typed && init != "Value::Unset()") {
            continue;  // a parameter of the C++ function
        } else if (typed && !scope.assigned.count(static_cast<int>(slot))) {
            continue;  // no variable here: a parameter left out, a name of a function
        } else if (scope.workspace) {
            // The frame's slots start unset.
            if (init != "Value::Unset()") Line(1, Var(static_cast<int>(slot)) + " = " + init + ";");
        } else {
            Declare(static_cast<int>(slot), f.names[slot], init);
        }
    }
    Guarded(statements);
    if (scope.usesDone) Line(0, "done:");
    if (typed) {
        if (several) {
            Line(1, "if (more) {");
            for (std::size_t j = 1; j < given; ++j)
                Line(2, "if (nargout > " + std::to_string(j) + ") more[" + std::to_string(j - 1) +
                            "] = " + Var(f.outputSlots[j]) + ";");
            Line(1, "}");
        }
        Line(1, "return " + Var(f.outputSlots[0]) + ";");
        Line(0, "}");
        Line(0, "");
        m_scope = nullptr;
        return;
    }
    std::string outputs;
    for (std::size_t j = 0; j < f.outputSlots.size(); ++j)
        outputs += (j ? ", &" : "&") + Var(f.outputSlots[j]);
    Line(1, "return call.Outputs({" + outputs + "}, nargout);");
    Line(0, "}");
    Line(0, "");
    m_scope = nullptr;
}

void Translator::Script() {
    const Program &p = m_unit->program;
    Scope scope;
    scope.names = &p.names;
    CollectAssigned(p.statements, scope.assigned);
    m_scope = &scope;
    if (UsesWorkspace(p.statements))
        KeepInFrame(scope, p.names.size());
    else
        InferScalars(p.statements, scope.assigned);
    std::ostringstream saved;
    saved.swap(m_out);
    Body(p.statements, true);
    const std::string statements = m_out.str();
    m_out.swap(saved);
    Line(0, "// The statements of " + m_file + ".");
    Line(0, "void Script(Runtime &rt) {");
    Line(1, "Scope call(rt);");
    if (scope.workspace) Line(1, "call.Workspace();");
    for (std::size_t slot = 0; slot < p.names.size() && !scope.workspace; ++slot)
        Declare(static_cast<int>(slot), p.names[slot], "Value::Unset()");
    Guarded(statements);
    if (scope.usesDone) {
        Line(0, "done:;");
    }
    Line(0, "}");
    m_scope = nullptr;
}

void Translator::TypedFunctions(std::vector<std::string> &doubles) {
    const Program &p = m_unit->program;
    // Local functions over doubles are known before any call to them is
    // written.
    for (std::size_t k = 0; k < p.functions.size(); ++k) {
        Scope trial;
        if (!DoubleScope(k, trial)) continue;
        const ::mtrx::Function &f = p.functions[k];
        m_doubleFunctions.emplace(f.name, f.params.size());
        std::string params;
        for (std::size_t j = 0; j < f.params.size(); ++j) params += ", double";
        doubles.push_back("double " + PureName(f.name, false) + "(Runtime &rt" + params + ");");
        doubles.push_back("inline double " + PureName(f.name, true) + "(Runtime &rt" + params + ");");
    }
    for (const auto &v : m_versions) {
        Scope trial;
        if (!DoubleScope(v.second.k, trial, v.first)) continue;
        m_doubleFunctions.emplace(v.first, v.second.nargin);
        std::string params;
        for (std::size_t j = 0; j < v.second.nargin; ++j) params += ", double";
        doubles.push_back("double " + PureName(v.first, false) + "(Runtime &rt" + params + ");");
        doubles.push_back("inline double " + PureName(v.first, true) + "(Runtime &rt" + params + ");");
    }
    // The typed ones: first every candidate, then those whose parameters
    // and output stay doubles given the others are typed, until none drops.
    for (const ::mtrx::Function &f : p.functions) m_typedOutputs.emplace(f.name, f.outputs.size());
    for (std::size_t k = 0; k < p.functions.size(); ++k)
        if (!m_doubleFunctions.count(p.functions[k].name) && !p.functions[k].params.empty()) {
            m_typedFunctions.emplace(p.functions[k].name, p.functions[k].params.size());
            m_arrayParams.emplace(p.functions[k].name, IndexedParams(p.functions[k]));
            m_logicalParams.emplace(p.functions[k].name, TestedParams(p.functions[k]));
        }
    for (const auto &v : m_versions) {
        if (m_doubleFunctions.count(v.first)) continue;
        m_typedFunctions.emplace(v.first, v.second.nargin);
        m_typedOutputs.emplace(v.first, v.second.f->outputs.size());
        m_arrayParams.emplace(v.first, IndexedParams(*v.second.f));
        m_logicalParams.emplace(v.first, TestedParams(*v.second.f));
    }
    // A tested parameter stays a double unless every call in the file
    // passes it a logical expression: calls passing doubles keep their
    // typed call.
    LogicalArguments(p.statements);
    for (const ::mtrx::Function &f : p.functions) LogicalArguments(f.body);
    // A function's result type found may change its callers': passes
    // until none changes (a few, or the typed versions are left out). Then
    // the parameters given logical and integer scalars, and again.
    for (int round = 0; round < 3; ++round) {
    if (round) SurveyArguments();
    for (int pass = 0, dropped = 1; dropped; ++pass) {
        dropped = 0;
        const std::map<std::string, std::string> results = m_typedResults;
        for (std::size_t k = 0; k < p.functions.size(); ++k) {
            if (!m_typedFunctions.count(p.functions[k].name)) continue;
            Scope trial;
            if (TypedScope(k, trial)) continue;
            m_typedFunctions.erase(p.functions[k].name);
            dropped = 1;
        }
        for (const auto &v : m_versions) {
            if (!m_typedFunctions.count(v.first)) continue;
            Scope trial;
            if (TypedScope(v.second.k, trial, v.first)) continue;
            m_typedFunctions.erase(v.first);
            dropped = 1;
        }
        if (results != m_typedResults) {
            dropped = 1;
            if (pass > 8)
                for (const auto &r : m_typedResults)
                    if (r.second != "double") m_typedFunctions.erase(r.first);
        }
    }
    }
    for (const auto &v : m_versions) {
        if (!m_typedFunctions.count(v.first)) continue;
        std::string params;
        for (std::size_t j = 0; j < v.second.nargin; ++j) params += ParamType(v.first, j);
        if (v.second.f->outputs.size() > 1) params += ", unsigned int, double *";
        doubles.push_back(m_typedResults.at(v.first) + " " + TypedName(v.first) + "(Runtime &rt" + params + ");");
    }
    for (std::size_t k = 0; k < p.functions.size(); ++k) {
        if (!m_typedFunctions.count(p.functions[k].name)) continue;
        std::string params;
        for (std::size_t j = 0; j < p.functions[k].params.size(); ++j)
            params += ParamType(p.functions[k].name, j);
        if (p.functions[k].outputs.size() > 1) params += ", unsigned int, double *";
        doubles.push_back(m_typedResults.at(p.functions[k].name) + " ft_" + FunctionName(p.functions[k].name) +
                          "(Runtime &rt" + params + ");");
    }
}

void Translator::FunctionVersions(std::size_t k) {
    const std::string &name = m_unit->program.functions[k].name;
    Function(k);
    if (m_doubleFunctions.count(name)) {
        DoubleFunction(k);
        DoubleFunction(k, true);
    }
    if (m_typedFunctions.count(name)) Function(k, true);
    for (const auto &v : m_versions) {
        if (v.second.k != k) continue;
        if (m_doubleFunctions.count(v.first)) {
            DoubleFunction(k, false, v.first);
            DoubleFunction(k, true, v.first);
        }
        if (m_typedFunctions.count(v.first)) Function(k, true, v.first);
    }
}

std::string Translator::Code(bool script, const std::vector<std::string> &intro,
                             const std::string &path) {
    MakeVersions();
    SplitAll();
    const Program &p = m_unit->program;
    std::vector<std::string> doubles;
    TypedFunctions(doubles);
    // The program's functions and statements first: their calls find the
    // function files to compile in, and those files' calls more.
    std::ostringstream saved;
    saved.swap(m_out);
    for (std::size_t k = 0; k < p.functions.size(); ++k) FunctionVersions(k);
    if (script) Script();
    std::vector<std::string> bodies;
    AnonymousBodies(bodies);
    const std::string code = m_out.str();
    m_out.swap(saved);
    for (std::size_t k = 1; k < m_files->files.size(); ++k) {
        try {
            Translator file(m_files->files[k].path, m_files->files[k].source, k, m_files);
            file.FileFunctions();
        } catch (const BuildError &) {
            // Left to the interpreter, which reads the file when called.
        } catch (const Error &) {
        }
    }
    for (const std::string &line : intro) Line(0, line);
    Line(0, "#include \"runtime/runtime.h\"");
    Line(0, "#include \"error.h\"");
    Line(0, "");
    Line(0, "#include <cmath>");
    Line(0, "");
    Line(0, "using namespace mtrx;");
    Line(0, "");
    Line(0, "namespace {");
    Line(0, "");
    // The sources, parsed again at the start for the names, lines and
    // anonymous functions that messages and handles refer to.
    const std::vector<SourceFiles::File> &files = m_files->files;
    for (std::size_t k = 0; k < files.size(); ++k) {
        const std::string &source = k ? files[k].source : m_source;
        std::string delimiter = "mtrx";
        while (source.find(")" + delimiter + "\"") != std::string::npos) delimiter += "x";
        Line(0, "const char kSource" + (k ? std::to_string(k) : std::string()) + "[] = R\"" +
                    delimiter + "(" + source + ")" + delimiter + "\";");
    }
    Line(0, "");
    std::vector<std::vector<std::string>> natives(files.size());
    for (const ::mtrx::Function &f : p.functions) natives[0].push_back(FunctionName(f.name));
    std::vector<std::vector<std::string>> anonymous(files.size());
    anonymous[0] = bodies;
    for (std::size_t k = 1; k < files.size(); ++k) {
        natives[k] = files[k].functions;
        anonymous[k] = files[k].anonymous;
    }
    for (const std::vector<std::string> &names : natives)
        for (const std::string &name : names)
            Line(0, "Values " + name + "(Runtime &rt, const Values &args, unsigned int nargout);");
    for (const std::string &declaration : doubles) Line(0, declaration);
    for (const SourceFiles::File &file : files)
        if (!file.script.empty()) Line(0, "void " + file.script + "(Runtime &rt);");
    for (std::size_t k = 1; k < files.size(); ++k)
        for (const std::string &declaration : files[k].declarations) Line(0, declaration);
    if (m_files->sites) Line(0, "CallSite sites[" + std::to_string(m_files->sites) + "];");
    Line(0, "");
    m_out << code;
    for (std::size_t k = 1; k < files.size(); ++k) m_out << files[k].code;
    Line(0, "");
    Line(0, "}  // namespace");
    Line(0, "");
    // The runtime's list of the sources with their compiled functions.
    std::string list = "{\n";
    for (std::size_t k = 0; k < files.size(); ++k) {
        std::string functions;
        for (const std::string &name : natives[k]) functions += (functions.empty() ? "" : ", ") + name;
        std::string bodyList;
        for (const std::string &name : anonymous[k])
            bodyList += (bodyList.empty() ? "" : ", ") + name;
        list += "        {" + Quote(k ? files[k].path : path) + ", kSource" +
                (k ? std::to_string(k) : std::string()) + ", {" + functions + "}, {" + bodyList +
                "}" + (files[k].script.empty() ? "" : ", " + files[k].script) + "},\n";
    }
    return list + "    }";
}

std::string Translator::Run() {
    const std::string sources =
        Code(true,
             {"// Compiled by mtrx build from " + m_file + ": one C++ function per function of",
              "// the program and of the function and script files it calls, each statement after a",
              "// comment with its place and text."},
             m_file);
    Line(0, "int main(int argc, char **argv) {");
    Line(1, "return Runtime::Main(argc, argv, " + sources + ", Script);");
    Line(0, "}");
    return m_out.str();
}

}  // namespace build

std::string Translate(const std::string &file, const std::string &source) {
    std::unique_ptr<build::Translator> t;
    try {
        t = std::make_unique<build::Translator>(file, source);
    } catch (const Error &e) {
        // A syntax error, reported as the interpreter reports it.
        throw BuildError("error: " + file + ":" + std::to_string(e.Line()) + ": " + e.what());
    }
    return t->Run();
}

}  // namespace mtrx
