// src/mtrx/build/translate_scalars.cpp: calls of built-in functions on real
// double scalars inside typed code, as plain calls of the library's element
// routines (runtime/scalars.h).
#include "build/translator.h"

namespace mtrx {
namespace build {

namespace {

// The built-ins whose result is a real double scalar for every real double
// scalar operand, by name and operand count, with their scalar routine.
// Not sqrt, log, asin, acos, power and their kin: a negative or large
// operand gives a complex result there.
struct ScalarBuiltin {
    const char *name;
    std::size_t operands;
    const char *routine;
};
const ScalarBuiltin kScalarBuiltins[] = {
    {"abs", 1, "scalars::Abs"},     {"floor", 1, "scalars::Floor"}, {"ceil", 1, "scalars::Ceil"},
    {"fix", 1, "scalars::Fix"},     {"round", 1, "scalars::Round"}, {"sign", 1, "scalars::Sign"},
    {"mod", 2, "scalars::Mod"},     {"rem", 2, "scalars::Rem"},     {"max", 2, "scalars::Max"},
    {"min", 2, "scalars::Min"},     {"hypot", 2, "scalars::Hypot"}, {"atan2", 2, "scalars::Atan2"},
    {"sin", 1, "scalars::Sin"},     {"cos", 1, "scalars::Cos"},     {"tan", 1, "scalars::Tan"},
    {"atan", 1, "scalars::Atan"},   {"sinh", 1, "scalars::Sinh"},   {"cosh", 1, "scalars::Cosh"},
    {"tanh", 1, "scalars::Tanh"},   {"exp", 1, "scalars::Exp"},
    // Constants, as the built-ins make them.
    {"pi", 0, "3.141592653589793"},
    {"Inf", 0, "std::numeric_limits<double>::infinity()"},
    {"inf", 0, "std::numeric_limits<double>::infinity()"},
    {"NaN", 0, "std::numeric_limits<double>::quiet_NaN()"},
    {"nan", 0, "std::numeric_limits<double>::quiet_NaN()"},
    {"eps", 0, "std::numeric_limits<double>::epsilon()"},
};

}  // namespace

const char *Translator::ScalarBuiltinRoutine(const Expr &e, bool reads) const {
    if ((e.kind != Expr::Kind::Call && e.kind != Expr::Kind::Name) || IsVariable(e) ||
        m_functions.count(e.text))
        return nullptr;
    const ScalarBuiltin *found = nullptr;
    for (const ScalarBuiltin &b : kScalarBuiltins)
        if (e.text == b.name && e.args.size() == b.operands) found = &b;
    if (!found) return nullptr;
    for (const ExprPtr &a : e.args)
        if (!ScalarExpr(*a, reads)) return nullptr;
    // A function or script file of the name, where the interpreter looks
    // before its built-ins, is what the call runs. The lookup only fills
    // the translator's caches of the files it has looked for.
    if (const_cast<Translator *>(this)->ScriptFile(e.text) || m_functionFiles.count(e.text))
        return nullptr;
    return found->routine;
}

std::string Translator::ScalarBuiltinCode(const Expr &e, bool raw) const {
    std::string out = ScalarBuiltinRoutine(e, true);
    if (e.args.empty()) return out;
    out += "(";
    for (std::size_t k = 0; k < e.args.size(); ++k)
        out += (k ? ", " : "") + DoubleCode(*e.args[k], raw);
    return out + ")";
}

namespace {

bool Comparison(const Expr &e) {
    return e.kind == Expr::Kind::Binary && e.op >= Op::Eq && e.op <= Op::Ge;
}

}  // namespace

bool Translator::LogicalExpr(const Expr &e, bool reads) const {
    switch (e.kind) {
        case Expr::Kind::Name:
        case Expr::Kind::Call:
            if (e.kind == Expr::Kind::Name && e.slot >= 0 && Logical(e.slot)) return true;
            if (LogicalElementRead(e)) return reads;
            if (DoubleCall(e)) return reads && TypedResult(e) == "bool";
            // true and false where they are the built-ins.
            if ((e.text != "true" && e.text != "false") || !e.args.empty() || IsVariable(e) ||
                m_functions.count(e.text))
                return false;
            return !const_cast<Translator *>(this)->ScriptFile(e.text) &&
                   !m_functionFiles.count(e.text);
        case Expr::Kind::Binary:
            // The library compares the values, a logical one as 0 or 1.
            // Integers of at most 32 bits compare exactly as doubles.
            return Comparison(e) &&
                   (ScalarExpr(*e.args[0], reads) || LogicalExpr(*e.args[0], reads) ||
                    IntegerType(*e.args[0], reads)) &&
                   (ScalarExpr(*e.args[1], reads) || LogicalExpr(*e.args[1], reads) ||
                    IntegerType(*e.args[1], reads));
        case Expr::Kind::Unary: return e.op == Op::Not && LogicalExpr(*e.args[0], reads);
        case Expr::Kind::ShortCircuit:
            return LogicalExpr(*e.args[0], reads) && LogicalExpr(*e.args[1], reads);
        default: return false;
    }
}

std::string Translator::LogicalCode(const Expr &e) const {
    switch (e.kind) {
        case Expr::Kind::Name:
        case Expr::Kind::Call:
            if (e.kind == Expr::Kind::Name && e.slot >= 0 && Logical(e.slot)) return Var(e.slot);
            if (LogicalElementRead(e)) return LogicalReadCode(e);
            if (DoubleCall(e)) return ReadCode(e);
            return e.text == "true" ? "true" : "false";
        case Expr::Kind::Binary: {
            // Comparisons see no NaN bits: the plain operators. The left
            // operand's reads come first, as there.
            const char *op = ComparisonOperator(e.op);
            const std::string a = RawCode(*e.args[0]);
            return "(" + a + op + RawCode(*e.args[1]) + ")";
        }
        case Expr::Kind::Unary: return "(!" + LogicalCode(*e.args[0]) + ")";
        default:
            // The right operand's reads happen only when it is evaluated.
            return "(" + LogicalStandalone(*e.args[0]) + (e.op == Op::AndAnd ? " && " : " || ") +
                   LogicalStandalone(*e.args[1]) + ")";
    }
}

std::string Translator::LogicalStandalone(const Expr &e) const {
    return WithOwnReads([&] { return LogicalCode(e); });
}

void Translator::TypedAssign(const Stmt &s, int indent) {
    const Target &t = s.targets[0];
    Line(indent, Var(t.slot) + " = " +
                     (Logical(t.slot) ? LogicalStandalone(*s.value) : IntegerStandalone(*s.value)) +
                     ";");
    Show(t.name, VarValue(t.slot), s.show, indent);
}

namespace {

// The integer classes of at most 32 bits, by the name of their conversion.
// (64-bit integers have exact operations of their own: left to the
// runtime's values.)
const char *const kIntegerClasses[][2] = {
    {"int8", "std::int8_t"},   {"uint8", "std::uint8_t"}, {"int16", "std::int16_t"},
    {"uint16", "std::uint16_t"}, {"int32", "std::int32_t"}, {"uint32", "std::uint32_t"},
};

// The two-operand built-ins of integers whose element is the double one
// converted once, as the arithmetic.
const char *IntegerRoutine(const std::string &name) {
    return name == "mod"   ? "scalars::Mod"
           : name == "rem" ? "scalars::Rem"
           : name == "max" ? "scalars::Max"
           : name == "min" ? "scalars::Min"
                           : nullptr;
}

const char *IntegerOperator(Op op) {
    switch (op) {
        case Op::Plus: return " + ";
        case Op::Minus: return " - ";
        case Op::Times:
        case Op::Mtimes: return " * ";
        case Op::Rdivide:
        case Op::Mrdivide: return " / ";
        default: return nullptr;
    }
}

}  // namespace

const char *Translator::IntegerType(const Expr &e, bool reads) const {
    const auto number = [&](const Expr &x) { return ScalarExpr(x, reads) || LogicalExpr(x, reads); };
    // The class of two operands, one of them an integer: two classes of
    // integers do not mix.
    const auto pair = [&](const Expr &x, const Expr &y) -> const char * {
        const char *a = IntegerType(x, reads);
        const char *b = IntegerType(y, reads);
        if (a && b) return std::string(a) == b ? a : nullptr;
        if (a && number(y)) return a;
        if (b && number(x)) return b;
        return nullptr;
    };
    switch (e.kind) {
        case Expr::Kind::Name:
        case Expr::Kind::Call: {
            if (e.kind == Expr::Kind::Name && e.slot >= 0 && Integer(e.slot))
                return m_scope->integers.at(e.slot).c_str();
            if (const char *type = IntegerElementRead(e)) return reads ? type : nullptr;
            if (DoubleCall(e)) {
                // A typed call giving an integer.
                const std::string &type = TypedResult(e);
                return reads && type != "double" && type != "bool" ? type.c_str() : nullptr;
            }
            if (e.kind != Expr::Kind::Call || IsVariable(e) || m_functions.count(e.text))
                return nullptr;
            const char *type = nullptr;
            if (e.args.size() == 2 && IntegerRoutine(e.text)) {
                type = pair(*e.args[0], *e.args[1]);
            } else if (e.args.size() == 1) {
                for (const auto &c : kIntegerClasses)
                    if (e.text == c[0]) type = c[1];
                if (type && !(number(*e.args[0]) || IntegerType(*e.args[0], reads))) type = nullptr;
            }
            if (!type || const_cast<Translator *>(this)->ScriptFile(e.text) ||
                m_functionFiles.count(e.text))
                return nullptr;
            return type;
        }
        case Expr::Kind::Binary:
            return IntegerOperator(e.op) ? pair(*e.args[0], *e.args[1]) : nullptr;
        default: return nullptr;
    }
}

// Each operation is the library's: the double operation on the operands'
// values (exact for integers of at most 32 bits), converted once. A NaN
// converts to 0 whatever its bits, so the plain C++ operators serve.
std::string Translator::IntegerCode(const Expr &e) const {
    const std::string type = IntegerType(e);
    if (e.kind == Expr::Kind::Name) return Var(e.slot);
    if (IntegerElementRead(e)) return IntegerReadCode(e);
    if (e.kind == Expr::Kind::Call && DoubleCall(e)) return ReadCode(e);
    if (e.kind == Expr::Kind::Call && e.args.size() == 1)
        return "scalars::ToInteger<" + type + ">(" + RawCode(*e.args[0]) + ")";
    const std::string a = RawCode(*e.args[0]);
    if (e.kind == Expr::Kind::Call)
        return "scalars::ToInteger<" + type + ">(" + IntegerRoutine(e.text) + "(" + a + ", " +
               RawCode(*e.args[1]) + "))";
    return "scalars::ToInteger<" + type + ">(" + a + IntegerOperator(e.op) + RawCode(*e.args[1]) +
           ")";
}

std::string Translator::IntegerStandalone(const Expr &e) const {
    return WithOwnReads([&] { return IntegerCode(e); });
}

}  // namespace build
}  // namespace mtrx
