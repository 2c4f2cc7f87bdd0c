// src/mtrx/build/translate_expr.cpp: the code of expressions, calls and
// subscripts over the runtime's dynamic values, evaluated in the
// interpreter's order.
#include "build/translator.h"

namespace mtrx {
namespace build {

std::string Translator::FunctionCall(const Expr &e, const std::string &n) {
    const std::string args = e.kind == Expr::Kind::Call ? Arguments(e.args, 0) : "Values{}";
    // nargin and nargout of a function's own call come first, as there.
    if (m_scope->function && e.args.empty() && (e.text == "nargin" || e.text == "nargout"))
        return std::string("Values{call.") + (e.text == "nargin" ? "Nargin()}" : "Nargout()}");
    const auto local = m_functions.find(e.text);
    if (local != m_functions.end()) return FunctionName(e.text) + "(rt, " + args + ", " + n + ")";
    // display(x) shows x under its name, which it takes from the call.
    if (e.text == "display" && e.kind == Expr::Kind::Call && e.args.size() == 1 &&
        e.args[0]->kind == Expr::Kind::Name)
        return "rt.CallNamed(\"display\", " + args + ", " + n + ", " + Quote(e.args[0]->text) + ")";
    FindFunctionFile(e.text);
    // A function file found now is most likely found again when the
    // program runs: the site remembers the lookup.
    if (m_functionFiles.count(e.text))
        return "rt.Call(sites[" + std::to_string(m_files->sites++) + "], " + Quote(e.text) + ", " +
               args + ", " + n + ")";
    return "rt.Call(" + Quote(e.text) + ", " + args + ", " + n + ")";
}

std::string Translator::CallList(const Expr &e, const std::string &nargout) {
    const std::string call = FunctionCall(e, nargout);
    if (!IsVariable(e)) return call;
    const std::string var = VarValue(e.slot);
    std::string value;
    if (e.kind == Expr::Kind::Name) {
        value = "Values{" + var + "}";
    } else {
        value = "rt.IndexName(" + var + ", " + std::to_string(e.args.size()) + ", " +
                Fill(e.args, 0) + ", " + nargout + ")";
    }
    // A double variable is always set where it is read.
    if (Scalar(e.slot) || Logical(e.slot) || Integer(e.slot)) return value;
    return "(!" + Var(e.slot) + ".IsUnset() ? " + value + " : " + call + ")";
}

std::string Translator::Arguments(const std::vector<ExprPtr> &args, std::size_t first) {
    bool lists = false;
    for (std::size_t k = first; k < args.size(); ++k) {
        const Expr::Kind kind = args[k]->kind;
        lists = lists || kind == Expr::Kind::Colon || kind == Expr::Kind::CellIndex ||
                kind == Expr::Kind::Field;
    }
    if (!lists) {
        if (args.size() == first) return "Values{}";
        std::string out = "ArgList{";
        for (std::size_t k = first; k < args.size(); ++k)
            out += (k > first ? ", " : "") + Expression(*args[k]);
        return out + "}";
    }
    const std::string list = "a" + std::to_string(++m_lists);
    std::string out = "rt.Args([&](List &" + list + ") {";
    for (std::size_t k = first; k < args.size(); ++k) out += " " + ListItem(list, *args[k]) + ";";
    --m_lists;
    return out + " })";
}

std::string Translator::ListItem(const std::string &list, const Expr &e) {
    if (e.kind == Expr::Kind::Colon) return list + ".Colon()";
    if (e.kind == Expr::Kind::CellIndex)
        return list + ".Brace(" + Expression(*e.args[0]) + ", " +
               std::to_string(e.args.size() - 1) + ", " + Fill(e.args, 1) + ")";
    if (e.kind == Expr::Kind::Field && e.args.size() == 1)
        return list + ".Field(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
    return list + ".Add(" + Expression(e) + ")";
}

std::string Translator::Fill(const std::vector<ExprPtr> &args, std::size_t first) {
    if (args.size() == first) return "nullptr";
    const std::string list = "s" + std::to_string(++m_lists);
    std::string out = "[&](List &" + list + ") {";
    const auto count = static_cast<unsigned int>(args.size() - first);
    for (std::size_t k = first; k < args.size(); ++k) {
        m_ends.push_back({list, static_cast<unsigned int>(k - first + 1), count});
        // A subscript is one value: c{I} and s.name in it must select one.
        const Expr &a = *args[k];
        out += " " + (a.kind == Expr::Kind::Colon ? list + ".Colon()"
                                                   : list + ".Add(" + Expression(a) + ")") +
               ";";
        m_ends.pop_back();
    }
    --m_lists;
    return out + " }";
}

std::string Translator::Rows(const Expr &e) {
    std::string out = "{";
    for (std::size_t r = 0; r < e.rows.size(); ++r) {
        out += r ? ", " : "";
        bool lists = false;
        for (const ExprPtr &item : e.rows[r])
            lists = lists || item->kind == Expr::Kind::CellIndex || item->kind == Expr::Kind::Field;
        if (!lists) {
            out += "Values{";
            for (std::size_t k = 0; k < e.rows[r].size(); ++k)
                out += (k ? ", " : "") + Expression(*e.rows[r][k]);
            out += "}";
            continue;
        }
        const std::string list = "a" + std::to_string(++m_lists);
        out += "rt.Args([&](List &" + list + ") {";
        for (const ExprPtr &item : e.rows[r]) out += " " + ListItem(list, *item) + ";";
        out += " })";
        --m_lists;
    }
    return out + "}";
}

std::string Translator::Expression(const Expr &e) {
    if (e.kind != Expr::Kind::Number && ScalarExpr(e)) return "Value(" + Standalone(e, false) + ")";
    if (LogicalExpr(e)) return "Runtime::Logical(" + LogicalStandalone(e) + ")";
    if (IntegerType(e)) return "scalars::Box(" + IntegerStandalone(e) + ")";
    switch (e.kind) {
        case Expr::Kind::Number: return "Value(" + Number(e.number) + ")";
        case Expr::Kind::Imaginary: return "Runtime::Imaginary(" + Number(e.number) + ")";
        case Expr::Kind::String: return "Runtime::Char(" + Quote(e.text) + ")";
        case Expr::Kind::StringScalar: return "Runtime::String(" + Quote(e.text) + ")";
        case Expr::Kind::Name:
        case Expr::Kind::Call: {
            if (e.kind == Expr::Kind::Name && IsVariable(e)) {
                const std::string var = Var(e.slot);
                return "(!" + var + ".IsUnset() ? " + var + " : Runtime::First(" +
                       FunctionCall(e, 1) + ", " + Quote(e.text) + "))";
            }
            if (m_scope->function && e.args.empty() && !IsVariable(e) &&
                (e.text == "nargin" || e.text == "nargout"))
                return std::string("call.") + (e.text == "nargin" ? "Nargin()" : "Nargout()");
            // An element of a dynamic variable: one value, read in place.
            if (e.kind == Expr::Kind::Call && IsVariable(e) && !Scalar(e.slot) &&
                !Logical(e.slot) && !Integer(e.slot)) {
                const std::string var = Var(e.slot);
                return "(!" + var + ".IsUnset() ? rt.IndexOne(" + VarValue(e.slot) + ", " +
                       std::to_string(e.args.size()) + ", " + Fill(e.args, 0) + ", " +
                       Quote(e.text) + ") : Runtime::First(" + FunctionCall(e, 1) + ", " +
                       Quote(e.text) + "))";
            }
            return "Runtime::First(" + CallList(e, 1) + ", " + Quote(e.text) + ")";
        }
        case Expr::Kind::Index:
            return "rt.Index(" + Expression(*e.args[0]) + ", " + std::to_string(e.args.size() - 1) +
                   ", " + Fill(e.args, 1) + ")";
        case Expr::Kind::CellIndex:
            return "rt.Brace(" + Expression(*e.args[0]) + ", " + std::to_string(e.args.size() - 1) +
                   ", " + Fill(e.args, 1) + ")";
        case Expr::Kind::Field:
            if (e.args.size() > 1)
                return "[&] { const Value base = " + Expression(*e.args[0]) +
                       "; return rt.Field(base, rt.FieldName(" + Expression(*e.args[1]) + ")); }()";
            return "rt.Field(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
        case Expr::Kind::Colon: return "Runtime::Raise(\"A bare ':' is only valid in a subscript\")";
        case Expr::Kind::EndWord: {
            if (m_ends.empty()) return "Runtime::Raise(\"'end' is only valid in a subscript\")";
            const EndContext &c = m_ends.back();
            return c.list + ".End(" + std::to_string(c.position) + ", " + std::to_string(c.count) +
                   ")";
        }
        case Expr::Kind::Matrix: return "rt.Matrix(" + Rows(e) + ")";
        case Expr::Kind::CellLiteral: return "rt.Cell(" + Rows(e) + ")";
        case Expr::Kind::Range: {
            std::string out = "rt.Range({";
            for (std::size_t k = 0; k < e.args.size(); ++k)
                out += (k ? ", " : "") + Expression(*e.args[k]);
            return out + "})";
        }
        case Expr::Kind::Binary:
            return "rt.Binary(" + std::string(OpName(e.op)) + ", {" + Expression(*e.args[0]) +
                   ", " + Expression(*e.args[1]) + "})";
        case Expr::Kind::Unary:
        case Expr::Kind::Postfix:
            return "rt.Unary(" + std::string(OpName(e.op)) + ", " + Expression(*e.args[0]) + ")";
        case Expr::Kind::ShortCircuit:
            return "Runtime::Logical(rt.Operand(" + Expression(*e.args[0]) + ") " +
                   (e.op == Op::AndAnd ? "&&" : "||") + " rt.Operand(" + Expression(*e.args[1]) +
                   "))";
        case Expr::Kind::FuncHandle:
            if (!m_functions.count(e.text)) FindFunctionFile(e.text);
            return "rt.Handle(" + Quote(e.text) + ", " + std::to_string(m_index) + ")";
        case Expr::Kind::AnonFunction: {
            std::size_t k = 0;
            while (k < m_anonymous.size() && m_anonymous[k] != &e) ++k;
            if (k == m_anonymous.size()) Unsupported("this anonymous function", e.line);
            std::string out =
                "rt.Anonymous(" + std::to_string(m_index) + ", " + std::to_string(k) + ", Values{";
            for (std::size_t j = 0; j < e.captures.size(); ++j)
                out += (j ? ", " : "") +
                       (m_scope->assigned.count(e.captures[j]) ? VarValue(e.captures[j])
                                                               : std::string("Value::Unset()"));
            return out + "})";
        }
    }
    Unsupported("this expression", e.line);
}

std::string Translator::Condition(const Expr &e) {
    if (LogicalExpr(e)) return LogicalStandalone(e);
    if (e.kind == Expr::Kind::Binary && e.op >= Op::Eq && e.op <= Op::Ge && ScalarExpr(*e.args[0]) &&
        ScalarExpr(*e.args[1])) {
        // Two doubles compare as the library compares them, NaN included.
        const char *op = ComparisonOperator(e.op);
        Reads reads;
        Reads *saved = OpenReads(reads);
        const std::string a = RawCode(*e.args[0]);
        const std::string b = RawCode(*e.args[1]);
        const std::string pre = CloseReads(saved);
        const std::string compare = "(" + a + op + b + ")";
        return pre.empty() ? compare : "[&] { " + pre + "return " + compare + "; }()";
    }
    const auto comparison = [&](const Expr &x) {
        return x.kind == Expr::Kind::ShortCircuit ||
               (x.kind == Expr::Kind::Binary && x.op >= Op::Eq && x.op <= Op::Ge &&
                ScalarExpr(*x.args[0]) && ScalarExpr(*x.args[1]));
    };
    if (e.kind == Expr::Kind::Unary && e.op == Op::Not) {
        // ~ of a logical scalar; of a double, true for 0 only, and the
        // library's error for NaN.
        const Expr &x = *e.args[0];
        if (comparison(x)) return "!(" + Condition(x) + ")";
        if (ScalarExpr(x))
            return "[&] { const double v = " + Standalone(x, false) +
                   "; return v == v ? v == 0.0 : rt.Truth(rt.Unary(Op::Not, Value(v))); }()";
    }
    if (e.kind == Expr::Kind::ShortCircuit) {
        const auto operand = [&](const Expr &x) {
            const bool plain = comparison(x) || (x.kind == Expr::Kind::Unary && x.op == Op::Not &&
                                                 comparison(*x.args[0]));
            return plain ? "(" + Condition(x) + ")" : "rt.Operand(" + Expression(x) + ")";
        };
        return operand(*e.args[0]) + (e.op == Op::AndAnd ? " && " : " || ") + operand(*e.args[1]);
    }
    return "rt.Truth(" + Expression(e) + ")";
}

}  // namespace build
}  // namespace mtrx
