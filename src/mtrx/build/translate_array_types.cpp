// src/mtrx/build/translate_array_types.cpp: the expressions whose value is
// a real double array (or scalar) whenever their operands are, by one table
// of operators and built-ins. The operation itself stays the runtime's call;
// only the variable it is assigned to becomes a typed array, whose elements
// compiled loops then read and write as doubles.
#include "build/translator.h"

namespace mtrx {
namespace build {

namespace {

// How a built-in's result follows from its operands.
enum class ArrayRule {
    // Real double operands, one of them an array: a real double result.
    // Not sqrt, log, acos, asin, power and their kin: a negative or large
    // element gives a complex result there.
    kReal,
    // Real double operands, scalars or arrays: a real double array.
    kMade,
    // Any operands: a real double (sizes, counts, positions).
    kAny,
};
struct ArrayBuiltin {
    const char *name;
    ArrayRule rule;
};
const ArrayBuiltin kArrayBuiltins[] = {
    {"abs", ArrayRule::kReal},      {"floor", ArrayRule::kReal},     {"ceil", ArrayRule::kReal},
    {"fix", ArrayRule::kReal},      {"round", ArrayRule::kReal},     {"sign", ArrayRule::kReal},
    {"mod", ArrayRule::kReal},      {"rem", ArrayRule::kReal},       {"max", ArrayRule::kReal},
    {"min", ArrayRule::kReal},      {"hypot", ArrayRule::kReal},     {"atan2", ArrayRule::kReal},
    {"sin", ArrayRule::kReal},      {"cos", ArrayRule::kReal},       {"tan", ArrayRule::kReal},
    {"atan", ArrayRule::kReal},     {"sinh", ArrayRule::kReal},      {"cosh", ArrayRule::kReal},
    {"tanh", ArrayRule::kReal},     {"exp", ArrayRule::kReal},       {"sum", ArrayRule::kReal},
    {"prod", ArrayRule::kReal},     {"cumsum", ArrayRule::kReal},    {"cumprod", ArrayRule::kReal},
    {"mean", ArrayRule::kReal},     {"diff", ArrayRule::kReal},      {"sort", ArrayRule::kReal},
    {"fliplr", ArrayRule::kReal},   {"flipud", ArrayRule::kReal},    {"reshape", ArrayRule::kReal},
    {"repmat", ArrayRule::kReal},   {"transpose", ArrayRule::kReal}, {"diag", ArrayRule::kReal},
    {"triu", ArrayRule::kReal},     {"tril", ArrayRule::kReal},      {"kron", ArrayRule::kReal},
    {"dot", ArrayRule::kReal},      {"norm", ArrayRule::kReal},      {"horzcat", ArrayRule::kReal},
    {"vertcat", ArrayRule::kReal},  {"inv", ArrayRule::kReal},       {"det", ArrayRule::kReal},
    {"linspace", ArrayRule::kMade}, {"logspace", ArrayRule::kMade},  {"colon", ArrayRule::kMade},
    {"numel", ArrayRule::kAny},     {"length", ArrayRule::kAny},     {"ndims", ArrayRule::kAny},
    {"size", ArrayRule::kAny},      {"find", ArrayRule::kAny},
};

const ArrayBuiltin *FindArrayBuiltin(const std::string &name) {
    for (const ArrayBuiltin &b : kArrayBuiltins)
        if (name == b.name) return &b;
    return nullptr;
}

bool WholeNumber(const Expr &e) {
    return e.kind == Expr::Kind::Number && e.number == static_cast<double>(static_cast<long long>(e.number)) &&
           e.number < 0x1p52 && e.number > -0x1p52;
}

}  // namespace

bool Translator::DoubleArrayResult(const Expr &e, const std::function<bool(const Expr &)> &array) const {
    const auto real = [&](const Expr &a) { return ScalarExpr(a) || array(a); };
    // In arithmetic a logical scalar takes part as the double 0 or 1.
    const auto arithmetic = [&](const Expr &a) { return real(a) || LogicalExpr(a); };
    switch (e.kind) {
        case Expr::Kind::Call: {
            if (IsVariable(e)) {
                // Any subscripts of a real double array select real doubles
                // (or fail as the interpreter's indexing does).
                return m_scope->arrays.count(e.slot) != 0;
            }
            const ArrayBuiltin *b = FindArrayBuiltin(e.text);
            // A function of the file's own or a file of the name is what the
            // interpreter calls before its built-ins.
            if (!b || e.args.empty() || m_functions.count(e.text) ||
                const_cast<Translator *>(this)->ScriptFile(e.text) || m_functionFiles.count(e.text))
                return false;
            if (b->rule == ArrayRule::kAny) return true;
            bool anyArray = b->rule == ArrayRule::kMade;
            for (const ExprPtr &a : e.args) {
                if (!real(*a)) return false;
                anyArray = anyArray || array(*a);
            }
            return anyArray;
        }
        case Expr::Kind::Range:
            for (const ExprPtr &a : e.args)
                if (!real(*a)) return false;
            return true;
        case Expr::Kind::Matrix:
            for (const auto &row : e.rows)
                for (const ExprPtr &a : row)
                    if (!real(*a)) return false;
            return true;
        case Expr::Kind::Unary: return (e.op == Op::Uminus || e.op == Op::Uplus) && array(*e.args[0]);
        case Expr::Kind::Postfix:
            return (e.op == Op::Transpose || e.op == Op::Ctranspose) && array(*e.args[0]);
        case Expr::Kind::Binary: {
            const Expr &a = *e.args[0], &b = *e.args[1];
            switch (e.op) {
                case Op::Plus:
                case Op::Minus:
                case Op::Times:
                case Op::Rdivide:
                case Op::Ldivide:
                case Op::Mtimes:
                case Op::Mrdivide:
                case Op::Mldivide:
                    return arithmetic(a) && arithmetic(b) && (array(a) || array(b));
                // A real power is real for a whole exponent, or a base that is
                // not negative.
                case Op::Power:
                    return (array(a) && WholeNumber(b)) ||
                           (a.kind == Expr::Kind::Number && a.number >= 0.0 && array(b));
                case Op::Mpower: return array(a) && WholeNumber(b);
                default: return false;
            }
        }
        default: return false;
    }
}

bool Translator::ArraySize(const Expr &e) const {
    if (e.kind != Expr::Kind::Call || IsVariable(e) || e.args.empty() || e.args.size() > 2 ||
        (e.text != "numel" && e.text != "length" && e.text != "size") ||
        (e.text == "size") != (e.args.size() == 2))
        return false;
    const Expr &v = *e.args[0];
    if (v.kind != Expr::Kind::Name || !IsVariable(v) || !m_scope->arrays.count(v.slot)) return false;
    if (e.args.size() == 2 && (!WholeNumber(*e.args[1]) || e.args[1]->number < 1.0 ||
                               e.args[1]->number > 64.0))
        return false;
    return !m_functions.count(e.text) && !const_cast<Translator *>(this)->ScriptFile(e.text) &&
           !m_functionFiles.count(e.text);
}

std::string Translator::ArraySizeCode(const Expr &e) const {
    // Through rt, not the frame: the code computing a NaN again out of line
    // copies what it reads, and a frame cannot be copied.
    const std::string v = Var(e.args[0]->slot);
    if (e.text == "size")
        return "Elements::Size(rt, " + v + ", " + std::to_string(static_cast<int>(e.args[1]->number)) +
               "u)";
    return (e.text == "numel" ? "Elements::Numel(rt, " : "Elements::Length(rt, ") + v + ")";
}

}  // namespace build
}  // namespace mtrx
