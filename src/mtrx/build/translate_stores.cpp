// src/mtrx/build/translate_stores.cpp: the innermost loops checked ahead
// that only store elements. Their results go to the arrays as computed,
// the NaN test of each folded into one flag the C++ compiler can vectorize;
// a NaN (or an infinity) anywhere runs the loop again with the library's operations (the
// arrays it reads are unchanged, so every element is computed from the same
// operands), for the NaN bits the interpreter gives.
#include "build/translator.h"

#include <cctype>
#include <functional>

namespace mtrx {
namespace build {

bool Translator::StoresOnly(const Stmt &s) const {
    if (s.body.empty()) return false;
    std::set<int> stored, read;
    // Numbers, scalar variables, element reads and arithmetic: nothing with
    // an effect of its own, such as a call drawing random numbers.
    std::function<bool(const Expr &)> pure = [&](const Expr &e) {
        switch (e.kind) {
            case Expr::Kind::Number: return true;
            case Expr::Kind::Name: return IsVariable(e) && Scalar(e.slot);
            case Expr::Kind::Call:
                if (DoubleCall(e) || !ElementRead(e) || !m_scope->views.count(e.slot)) return false;
                read.insert(e.slot);
                break;
            case Expr::Kind::Unary:
            case Expr::Kind::Binary: break;
            default: return false;
        }
        for (const ExprPtr &a : e.args)
            if (!pure(*a)) return false;
        return true;
    };
    for (const Stmt &x : s.body) {
        if (!ElementStore(x) || x.show || !m_scope->views.count(x.targets[0].slot) || !pure(*x.value))
            return false;
        for (const ExprPtr &a : x.targets[0].path[0].subscripts)
            if (!pure(*a)) return false;
        stored.insert(x.targets[0].slot);
    }
    for (int slot : stored)
        if (read.count(slot)) return false;
    return true;
}

void Translator::UncheckedLoop(const Stmt &s, const std::string &n, const std::string &index, int at) {
    const std::string k = "loopK" + n, var = Var(s.slot);
    const std::string head = "for (long long " + k + " = 0; " + k + " != loopCount" + n + "; ++" + k + ") {";
    const std::string value = var + " = loopFirst" + n + " + static_cast<double>(" + k + ") * loopStep" + n + ";";
    const std::string integer = "const long long loopI" + n + " = " + index + ";";
    std::string last = var + " = loopFirst" + n + " + static_cast<double>(loopCount" + n + " - 1) * loopStep" + n +
                       ";";
    // The flag of a loop whose variable's last value is copied out when it
    // ran: set in its body's first statement, which the forms below skip.
    const auto ran = m_ranFlags.find(&s.body);
    const std::string ranLine = ran != m_ranFlags.end() ? " " + ran->second + " = true;" : std::string();
    const auto plain = [&](int indent) {
        Line(indent, head);
        Line(indent + 1, value);
        Line(indent + 1, integer);
        Statements(s.body, indent + 1);
        Line(indent, "}");
    };
    if (!StoresOnly(s)) {
        plain(at);
        return;
    }
    // X(i, c) = Y(i, c) over i = a:b, X and Y different arrays, c not i:
    // a run of consecutive elements copied, the two never overlapping (X's
    // data is its own, unshared when its view was taken).
    const Stmt &first = s.body[0];
    const Expr &source = *first.value;
    const auto &subscripts = first.targets[0].path[0].subscripts;
    const auto run = [&](const Expr &e) {
        const Expr *v = &e;
        if (e.kind == Expr::Kind::Binary && (e.op == Op::Plus || e.op == Op::Minus) &&
            !Mentions(*e.args[1], s.slot))
            v = e.args[0].get();
        return v->kind == Expr::Kind::Name && v->slot == s.slot;
    };
    bool copy = s.body.size() == 1 && s.value->kind == Expr::Kind::Range && s.value->args.size() == 2 &&
                source.kind == Expr::Kind::Call &&
                source.slot != first.targets[0].slot && source.args.size() == subscripts.size() &&
                run(*subscripts[0]);
    std::string to;
    for (std::size_t d = 0; copy && d < subscripts.size(); ++d) {
        copy = IndexCode(*subscripts[d]) == IndexCode(*source.args[d]) &&
               (d == 0 || !Mentions(*subscripts[d], s.slot));
        to += (d ? ", " : "") + IndexCode(*subscripts[d]);
    }
    if (copy) {
        Comment(first, at);
        Line(at, "if (loopCount" + n + " > 0) {");
        Line(at + 1, "const long long " + k + " = 0;");
        Line(at + 1, integer);
        Line(at + 1, "__builtin_memcpy(" + m_scope->views.at(first.targets[0].slot) + "p.At(" + to + "), " +
                         m_scope->views.at(source.slot) + "p.At(" + to + "), static_cast<std::size_t>(loopCount" +
                         n + ") * sizeof(double));");
        Line(at + 1, last + ranLine);
        Line(at, "}");
        return;
    }
    const std::string flag = "loopNaN" + n;
    bool tested = false;
    // The stores first, in a text of their own.
    std::ostringstream saved;
    saved.swap(m_out);
    for (const Stmt &x : s.body) {
        Comment(x, at + 1);
        Reads reads;
        Reads *outer = OpenReads(reads);
        const std::string exact = ScalarCode(*x.value), raw = RawCode(*x.value);
        const std::string pre = CloseReads(outer);
        std::string subs;
        for (const ExprPtr &a : x.targets[0].path[0].subscripts) subs += IndexCode(*a) + ", ";
        Line(at + 1, "{");
        if (!pre.empty()) Line(at + 2, pre);
        if (exact.find("rt.") == std::string::npos) {
            Line(at + 2, "const double x = " + exact + ";");
        } else {
            Line(at + 2, "const double x = " + raw + ";");
            Line(at + 2, flag + " |= Elements::Unfinite(x);");
            tested = true;
        }
        Line(at + 2, m_scope->views.at(x.targets[0].slot) + "p.Put(" + subs + "x);");
        Line(at + 1, "}");
    }
    const std::string stores = m_out.str();
    m_out.swap(saved);
    // The variable's value in each round only where the body computes with
    // it (subscripts are in integers): a conversion of the counter to
    // double in each round keeps SSE2 from vectorizing.
    const auto part = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    bool valued = false;
    for (std::size_t p = stores.find(var); p != std::string::npos && !valued; p = stores.find(var, p + 1))
        valued = (p == 0 || !part(stores[p - 1])) &&
                 (p + var.size() == stores.size() || !part(stores[p + var.size()]));
    // An infinite result runs the loop again too: rarely, and as exactly.
    if (tested) Line(at, "unsigned long long " + flag + " = 0;");
    Line(at, head);
    if (valued) Line(at + 1, value);
    Line(at + 1, integer);
    m_out << stores;
    Line(at, "}");
    if (!valued || !ranLine.empty())
        Line(at, "if (loopCount" + n + " > 0) {" + (valued ? std::string() : " " + last) + ranLine + " }");
    if (tested) {
        Line(at, "if (__builtin_expect(" + flag + " != 0, 0)) {");
        plain(at + 1);
        Line(at, "}");
    }
}

}  // namespace build
}  // namespace mtrx
