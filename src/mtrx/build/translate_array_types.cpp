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
    const auto known = m_arrayResults.find(&e);
    if (known != m_arrayResults.end()) return known->second;
    bool out = false;
    // Each operand is tested as an array once: the tests recur down the
    // expression.
    const auto real = [&](const Expr &a, bool isArray) { return isArray || ScalarExpr(a); };
    switch (e.kind) {
        case Expr::Kind::Call: {
            if (IsVariable(e)) {
                // Any subscripts of a real double array select real doubles
                // (or fail as the interpreter's indexing does).
                out = m_scope->arrays.count(e.slot) != 0;
                break;
            }
            const ArrayBuiltin *b = FindArrayBuiltin(e.text);
            // A function of the file's own or a file of the name is what the
            // interpreter calls before its built-ins.
            if (!b || e.args.empty() || m_functions.count(e.text) ||
                const_cast<Translator *>(this)->ScriptFile(e.text) || m_functionFiles.count(e.text))
                break;
            out = b->rule == ArrayRule::kAny;
            if (out) break;
            bool anyArray = b->rule == ArrayRule::kMade, all = true;
            for (const ExprPtr &a : e.args) {
                const bool isArray = array(*a);
                all = all && real(*a, isArray);
                anyArray = anyArray || isArray;
            }
            out = all && anyArray;
            break;
        }
        case Expr::Kind::Range:
        case Expr::Kind::Matrix: {
            out = true;
            for (const ExprPtr &a : e.args) out = out && real(*a, array(*a));
            for (const auto &row : e.rows)
                for (const ExprPtr &a : row) out = out && real(*a, array(*a));
            break;
        }
        case Expr::Kind::Unary: out = (e.op == Op::Uminus || e.op == Op::Uplus) && array(*e.args[0]); break;
        case Expr::Kind::Postfix:
            out = (e.op == Op::Transpose || e.op == Op::Ctranspose) && array(*e.args[0]);
            break;
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
                case Op::Mldivide: {
                    // In arithmetic a logical takes part as the double 0 or 1.
                    const bool arrayA = array(a) || LogicalArrayResult(a, array);
                    const bool arrayB = array(b) || LogicalArrayResult(b, array);
                    out = (arrayA || arrayB) && (arrayA || ScalarExpr(a) || LogicalExpr(a)) &&
                          (arrayB || ScalarExpr(b) || LogicalExpr(b));
                    break;
                }
                // A real power is real for a whole exponent, or a base that is
                // not negative.
                case Op::Power:
                    out = (WholeNumber(b) && array(a)) ||
                          (a.kind == Expr::Kind::Number && a.number >= 0.0 && array(b));
                    break;
                case Op::Mpower: out = WholeNumber(b) && array(a); break;
                default: break;
            }
            break;
        }
        default: break;
    }
    m_arrayResults.emplace(&e, out);
    return out;
}

bool Translator::LogicalArrayResult(const Expr &e, const std::function<bool(const Expr &)> &array) const {
    const auto known = m_logicalResults.find(&e);
    if (known != m_logicalResults.end()) return known->second;
    const auto builtin = [&](const Expr &c) {
        return !IsVariable(c) && !m_functions.count(c.text) &&
               !const_cast<Translator *>(this)->ScriptFile(c.text) && !m_functionFiles.count(c.text);
    };
    bool out = false;
    switch (e.kind) {
        case Expr::Kind::Name: out = IsVariable(e) && m_scope->logicalArrays.count(e.slot) != 0; break;
        case Expr::Kind::Call:
            if (IsVariable(e)) {
                out = m_scope->logicalArrays.count(e.slot) != 0;
            } else if ((e.text == "true" || e.text == "false") && !e.args.empty() && builtin(e)) {
                out = true;
                for (const ExprPtr &a : e.args) out = out && ScalarExpr(*a);
            } else if ((e.text == "isnan" || e.text == "isinf" || e.text == "isfinite") &&
                       e.args.size() == 1 && builtin(e)) {
                out = array(*e.args[0]);
            }
            break;
        case Expr::Kind::Unary:
            out = e.op == Op::Not && (array(*e.args[0]) || LogicalArrayResult(*e.args[0], array));
            break;
        case Expr::Kind::Binary:
            // Comparisons, & and | of numbers, logicals and arrays of
            // either, one of them an array.
            if ((e.op >= Op::Eq && e.op <= Op::Ge) || e.op == Op::And || e.op == Op::Or) {
                const Expr &a = *e.args[0], &b = *e.args[1];
                const bool arrayA = array(a) || LogicalArrayResult(a, array);
                const bool arrayB = array(b) || LogicalArrayResult(b, array);
                out = (arrayA || arrayB) && (arrayA || ScalarExpr(a) || LogicalExpr(a)) &&
                      (arrayB || ScalarExpr(b) || LogicalExpr(b));
            }
            break;
        default: break;
    }
    m_logicalResults.emplace(&e, out);
    return out;
}

namespace {

// Every assignment to a slot: whole, element stores, and any other.
void CollectLogicalWrites(const Block &block, std::map<int, std::vector<const Stmt *>> &plain,
                          std::map<int, std::vector<const Stmt *>> &stores, std::set<int> &other) {
    for (const Stmt &s : block) {
        if (s.kind == Stmt::Kind::Assign) {
            for (const Target &t : s.targets) {
                if (t.name.empty()) continue;
                if (s.targets.size() == 1 && t.path.empty())
                    plain[t.slot].push_back(&s);
                else if (s.targets.size() == 1 && t.path.size() == 1 &&
                         t.path[0].kind == Accessor::Kind::Paren)
                    stores[t.slot].push_back(&s);
                else
                    other.insert(t.slot);
            }
        }
        if ((s.kind == Stmt::Kind::For || s.kind == Stmt::Kind::Expression ||
             s.kind == Stmt::Kind::Try) &&
            s.slot >= 0)
            other.insert(s.slot);
        for (const auto &branch : s.branches) CollectLogicalWrites(branch.second, plain, stores, other);
        CollectLogicalWrites(s.body, plain, stores, other);
        CollectLogicalWrites(s.handler, plain, stores, other);
    }
}

}  // namespace

bool AssignedFirst(const Block &block, int slot, const Stmt *first);

bool Translator::InferOtherArrays(const Block &block, const std::set<int> &candidates,
                                    const std::function<bool(const Expr &)> &array) {
    std::map<int, std::vector<const Stmt *>> plain, stores;
    std::set<int> other;
    CollectLogicalWrites(block, plain, stores, other);
    if (!candidates.empty()) {
        m_scope->logicalArrays.clear();
        for (int slot : candidates)
            if (!other.count(slot) && !plain[slot].empty() && AssignedFirst(block, slot, plain[slot][0]))
                m_scope->logicalArrays.insert(slot);
    }
    if (!candidates.empty()) {
        m_scope->integerArrays.clear();
        // Of the class the first assignment gives, once the arrays that
        // one reads have theirs.
        for (std::size_t found = 1; found;) {
            found = 0;
            for (int slot : m_scope->logicalArrays) {
                if (m_scope->integerArrays.count(slot)) continue;
                if (const char *type = IntegerArrayResult(*plain[slot][0]->value, array)) {
                    m_scope->integerArrays.emplace(slot, type);
                    ++found;
                }
            }
            m_arrayResults.clear();
            m_logicalResults.clear();
        }
    }
    bool dropped = false;
    for (auto it = m_scope->integerArrays.begin(); it != m_scope->integerArrays.end();) {
        bool keep = true;
        for (const Stmt *s : plain[it->first]) {
            const char *type = IntegerArrayResult(*s->value, array);
            keep = keep && type && it->second == type;
        }
        for (const Stmt *s : stores[it->first]) keep = keep && IntegerElementStore(*s);
        if (keep) {
            ++it;
        } else {
            it = m_scope->integerArrays.erase(it);
            dropped = true;
        }
    }
    for (auto it = m_scope->logicalArrays.begin(); it != m_scope->logicalArrays.end();) {
        bool keep = true;
        for (const Stmt *s : plain[*it]) keep = keep && LogicalArrayResult(*s->value, array);
        for (const Stmt *s : stores[*it]) keep = keep && LogicalElementStore(*s);
        if (keep) {
            ++it;
        } else {
            it = m_scope->logicalArrays.erase(it);
            dropped = true;
        }
    }
    m_arrayResults.clear();
    m_logicalResults.clear();
    return dropped;
}

namespace {

// The integer classes of at most 32 bits, by the name of their conversion.
const char *const kIntegerArrayClasses[][2] = {
    {"int8", "std::int8_t"},     {"uint8", "std::uint8_t"}, {"int16", "std::int16_t"},
    {"uint16", "std::uint16_t"}, {"int32", "std::int32_t"}, {"uint32", "std::uint32_t"},
};

const char *IntegerClass(const std::string &name) {
    for (const auto &c : kIntegerArrayClasses)
        if (name == c[0]) return c[1];
    return nullptr;
}

}  // namespace

const char *Translator::IntegerArrayResult(const Expr &e,
                                           const std::function<bool(const Expr &)> &array) const {
    const auto builtin = [&](const Expr &c) {
        return !IsVariable(c) && !m_functions.count(c.text) &&
               !const_cast<Translator *>(this)->ScriptFile(c.text) && !m_functionFiles.count(c.text);
    };
    switch (e.kind) {
        case Expr::Kind::Name:
        case Expr::Kind::Call: {
            if (IsVariable(e)) {
                // Any subscripts of the array select elements of its class.
                const auto known = m_scope->integerArrays.find(e.slot);
                return known != m_scope->integerArrays.end() ? known->second.c_str() : nullptr;
            }
            if (e.kind != Expr::Kind::Call || e.args.empty() || !builtin(e)) return nullptr;
            if (const char *type = IntegerClass(e.text)) {
                // The conversion of a double, logical or integer array.
                const Expr &a = *e.args[0];
                return e.args.size() == 1 && (array(a) || LogicalArrayResult(a, array) ||
                                              IntegerArrayResult(a, array))
                           ? type
                           : nullptr;
            }
            // zeros(..., 'int32') and ones(..., 'int32') of double sizes.
            const Expr &last = *e.args.back();
            if ((e.text != "zeros" && e.text != "ones") || e.args.size() < 2 ||
                last.kind != Expr::Kind::String)
                return nullptr;
            for (std::size_t k = 0; k + 1 < e.args.size(); ++k)
                if (!ScalarExpr(*e.args[k])) return nullptr;
            return IntegerClass(last.text);
        }
        case Expr::Kind::Unary: return e.op == Op::Uminus ? IntegerArrayResult(*e.args[0], array) : nullptr;
        case Expr::Kind::Binary: {
            // A product * or quotient / of an array and a scalar is the
            // element-wise one.
            const bool scalarOnly = e.op == Op::Mtimes || e.op == Op::Mrdivide;
            if (e.op != Op::Plus && e.op != Op::Minus && e.op != Op::Times && e.op != Op::Rdivide &&
                !scalarOnly)
                return nullptr;
            const Expr &a = *e.args[0], &b = *e.args[1];
            const char *ta = IntegerArrayResult(a, array);
            const char *tb = IntegerArrayResult(b, array);
            if (ta && tb) return std::string(ta) == tb && !scalarOnly ? ta : nullptr;
            // The other operand a double or logical, or an integer scalar of
            // the class: two classes of integers do not mix.
            const auto other = [&](const Expr &x, const char *type) {
                const char *scalar = IntegerType(x);
                if (scalar) return std::string(scalar) == type;
                return ScalarExpr(x) || LogicalExpr(x) ||
                       (!scalarOnly && (array(x) || LogicalArrayResult(x, array)));
            };
            if (e.op == Op::Mrdivide && !ta) return nullptr;
            if (ta) return other(b, ta) ? ta : nullptr;
            if (tb) return other(a, tb) ? tb : nullptr;
            return nullptr;
        }
        default: return nullptr;
    }
}

const char *Translator::IntegerElementRead(const Expr &e) const {
    if (e.kind != Expr::Kind::Call || e.slot < 0 || !IsVariable(e) || e.args.empty() || e.args.size() > 2)
        return nullptr;
    const auto known = m_scope->integerArrays.find(e.slot);
    if (known == m_scope->integerArrays.end()) return nullptr;
    for (const ExprPtr &a : e.args)
        if (!ScalarExpr(*a, false)) return nullptr;
    return known->second.c_str();
}

std::string Translator::IntegerReadCode(const Expr &e) const {
    if (m_reads) {
        const auto known = m_reads->names.find(&e);
        if (known != m_reads->names.end()) return known->second;
    }
    const std::string type = IntegerElementRead(e);
    const std::string j = e.args.size() == 2 ? ScalarCode(*e.args[1]) : "0.0";
    const std::string code = "Elements::ReadInteger<" + type + ">(call, " + Var(e.slot) + ", " +
                             std::to_string(e.args.size()) + "u, " + ScalarCode(*e.args[0]) + ", " + j +
                             ")";
    if (!m_reads) return code;
    const std::string name = "e" + std::to_string(++m_readCount);
    m_reads->lines.push_back("const " + type + " " + name + " = " + code + ";");
    m_reads->names.emplace(&e, name);
    return name;
}

bool Translator::IntegerElementStore(const Stmt &s) const {
    if (s.kind != Stmt::Kind::Assign || s.targets.size() != 1) return false;
    const Target &t = s.targets[0];
    const auto known = m_scope->integerArrays.find(t.slot);
    if (t.name.empty() || known == m_scope->integerArrays.end() || t.path.size() != 1 ||
        t.path[0].kind != Accessor::Kind::Paren || t.path[0].subscripts.empty() ||
        t.path[0].subscripts.size() > 2)
        return false;
    for (const ExprPtr &a : t.path[0].subscripts)
        if (!ScalarExpr(*a, false)) return false;
    const char *type = IntegerType(*s.value);
    return type && known->second == type;
}

void Translator::IntegerElementStoreStatement(const Stmt &s, int indent) {
    const Target &t = s.targets[0];
    const std::string type = m_scope->integerArrays.at(t.slot);
    // The right side first, then the subscripts, as the interpreter.
    Reads reads;
    Reads *saved = OpenReads(reads);
    const std::string x = IntegerCode(*s.value);
    const std::string pre = CloseReads(saved);
    const auto &subs = t.path[0].subscripts;
    Line(indent, "{");
    if (!pre.empty()) Line(indent + 1, pre);
    Line(indent + 1, "const " + type + " x = " + x + ";");
    Line(indent + 1, "Elements::StoreInteger<" + type + ">(call, " + Var(t.slot) + ", " +
                         std::to_string(subs.size()) + "u, " + ScalarCode(*subs[0]) + ", " +
                         (subs.size() == 2 ? ScalarCode(*subs[1]) : std::string("0.0")) + ", x);");
    Line(indent, "}");
    Show(t.name, Var(t.slot), s.show, indent);
}

bool Translator::LogicalElementRead(const Expr &e) const {
    if (e.kind != Expr::Kind::Call || e.slot < 0 || !IsVariable(e) ||
        !m_scope->logicalArrays.count(e.slot) || e.args.empty() || e.args.size() > 2)
        return false;
    for (const ExprPtr &a : e.args)
        if (!ScalarExpr(*a, false)) return false;
    return true;
}

std::string Translator::LogicalReadCode(const Expr &e) const {
    if (m_reads) {
        const auto known = m_reads->names.find(&e);
        if (known != m_reads->names.end()) return known->second;
    }
    const std::string j = e.args.size() == 2 ? ScalarCode(*e.args[1]) : "0.0";
    const std::string code = "Elements::ReadLogical(call, " + Var(e.slot) + ", " +
                             std::to_string(e.args.size()) + "u, " + ScalarCode(*e.args[0]) + ", " + j +
                             ")";
    if (!m_reads) return code;
    const std::string name = "e" + std::to_string(++m_readCount);
    m_reads->lines.push_back("const bool " + name + " = " + code + ";");
    m_reads->names.emplace(&e, name);
    return name;
}

bool Translator::LogicalElementStore(const Stmt &s) const {
    if (s.kind != Stmt::Kind::Assign || s.targets.size() != 1) return false;
    const Target &t = s.targets[0];
    if (t.name.empty() || !m_scope->logicalArrays.count(t.slot) || t.path.size() != 1 ||
        t.path[0].kind != Accessor::Kind::Paren || t.path[0].subscripts.empty() ||
        t.path[0].subscripts.size() > 2)
        return false;
    for (const ExprPtr &a : t.path[0].subscripts)
        if (!ScalarExpr(*a, false)) return false;
    return LogicalExpr(*s.value);
}

void Translator::LogicalElementStoreStatement(const Stmt &s, int indent) {
    const Target &t = s.targets[0];
    // The right side first, then the subscripts, as the interpreter.
    Reads reads;
    Reads *saved = OpenReads(reads);
    const std::string x = LogicalCode(*s.value);
    const std::string pre = CloseReads(saved);
    const auto &subs = t.path[0].subscripts;
    Line(indent, "{");
    if (!pre.empty()) Line(indent + 1, pre);
    Line(indent + 1, "const bool x = " + x + ";");
    Line(indent + 1, "Elements::StoreLogical(call, " + Var(t.slot) + ", " + std::to_string(subs.size()) +
                         "u, " + ScalarCode(*subs[0]) + ", " +
                         (subs.size() == 2 ? ScalarCode(*subs[1]) : std::string("0.0")) + ", x);");
    Line(indent, "}");
    Show(t.name, Var(t.slot), s.show, indent);
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
