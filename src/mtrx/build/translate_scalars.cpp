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
    {"tanh", 1, "scalars::Tanh"},
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

}  // namespace build
}  // namespace mtrx
