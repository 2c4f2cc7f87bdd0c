// src/mtrx/build/translate_functions.cpp: local functions of double scalars
// that can neither fail nor call anything, compiled a second time as C++
// functions over doubles for the calls that pass doubles.
#include "build/translator.h"

#include <functional>

namespace mtrx {
namespace build {

bool AssignedFirst(const Block &block, int slot, const Stmt *first);

bool Translator::DoubleScope(std::size_t k, Scope &scope, const std::string &key) {
    const ::mtrx::Function &f = VersionOf(k, key);
    const auto version = m_versions.find(key);
    const std::size_t count = version != m_versions.end() ? version->second.nargin : f.params.size();
    if (f.varargin || f.outputs.size() != 1 || f.outputs[0] == "varargout") return false;
    scope.function = &f;
    scope.names = &f.names;
    scope.frameless = true;
    std::set<int> written;
    CollectAssigned(f.body, written);
    std::set<int> params;
    for (std::size_t j = 0; j < count; ++j) {
        // A parameter is the argument throughout: never written, never ~.
        const int slot = f.paramSlots[j];
        if (slot < 0 || written.count(slot)) return false;
        params.insert(slot);
    }
    scope.assigned = written;
    scope.assigned.insert(params.begin(), params.end());
    scope.assigned.insert(f.outputSlots[0]);
    m_scope = &scope;
    const bool noCalls = m_noCalls;
    m_noCalls = true;
    InferScalars(f.body, written, params);
    bool ok = true;
    for (int slot : scope.assigned) ok = ok && Scalar(slot);
    // Statements that can neither fail nor call: without a return, and
    // leaving the function only at its end.
    std::function<bool(const Block &, bool)> pure = [&](const Block &block, bool top) {
        for (const Stmt &s : block) {
            if (!Infallible(s) || s.kind == Stmt::Kind::Return) return false;
            if (top && (s.kind == Stmt::Kind::Break || s.kind == Stmt::Kind::Continue)) return false;
            for (const auto &branch : s.branches)
                if (!pure(branch.second, top && s.kind == Stmt::Kind::If)) return false;
            if (!pure(s.body, top && s.kind == Stmt::Kind::If)) return false;
        }
        return true;
    };
    ok = ok && scope.arrays.empty() && pure(f.body, true);
    // The output is set by a statement of the body itself, before any
    // other mention of it.
    bool set = false;
    for (const Stmt &s : f.body) {
        if (!Mentions(s, f.outputSlots[0], false)) continue;
        set = s.kind == Stmt::Kind::Assign && s.targets.size() == 1 && s.targets[0].path.empty() &&
              s.targets[0].slot == f.outputSlots[0] && !Mentions(*s.value, f.outputSlots[0]);
        break;
    }
    // Split into stretches, a double output is set wherever the function
    // ends (no read of it at the end finds it unset).
    if (m_unsetReads.count(&f.body)) set = true;
    m_noCalls = noCalls;
    m_scope = nullptr;
    return ok && set;
}

bool Translator::DoubleCall(const Expr &e, unsigned int nargout) const {
    if (m_noCalls || (e.kind != Expr::Kind::Call && e.kind != Expr::Kind::Name) || IsVariable(e))
        return false;
    const std::string key = VersionKey(e, nargout);
    auto f = m_typedFunctions.find(key);
    if (m_doubleFunctions.count(key)) f = m_doubleFunctions.find(key);
    else if (f == m_typedFunctions.end()) return false;
    if (e.args.size() != f->second) return false;
    const auto arrays = m_arrayParams.find(key);
    const auto logicals = m_logicalParams.find(key);
    for (std::size_t j = 0; j < e.args.size(); ++j) {
        const Expr &a = *e.args[j];
        if (arrays != m_arrayParams.end() && arrays->second[j]) {
            if (a.kind != Expr::Kind::Name || !IsVariable(a) || !m_scope->arrays.count(a.slot)) return false;
        } else if (logicals != m_logicalParams.end() && logicals->second[j]) {
            if (!LogicalExpr(a, false)) return false;
        } else if (!IntegerParam(key, j).empty()) {
            const char *type = IntegerType(a, false);
            if (!type || IntegerParam(key, j) != type) return false;
        } else if (!ScalarExpr(a)) {
            return false;
        }
    }
    return true;
}

std::string Translator::TypedArgs(const Expr &e, unsigned int nargout) const {
    const std::string key = VersionKey(e, nargout);
    const auto arrays = m_arrayParams.find(key);
    const auto logicals = m_logicalParams.find(key);
    std::string args;
    for (std::size_t j = 0; j < e.args.size(); ++j)
        args += ", " + (arrays != m_arrayParams.end() && arrays->second[j] ? Var(e.args[j]->slot)
                        : logicals != m_logicalParams.end() && logicals->second[j]
                            ? LogicalCode(*e.args[j])
                        : !IntegerParam(key, j).empty() ? IntegerCode(*e.args[j])
                                                         : ScalarCode(*e.args[j]));
    return args;
}

namespace {

bool IndexedIn(const Expr &e, int slot) {
    if (e.kind == Expr::Kind::Call && e.slot == slot && !e.args.empty()) return true;
    return AnyOperand(e, [slot](const Expr &a) { return IndexedIn(a, slot); });
}

bool IndexedIn(const Block &block, int slot) {
    for (const Stmt &s : block) {
        if (s.value && IndexedIn(*s.value, slot)) return true;
        for (const Target &t : s.targets)
            for (const Accessor &a : t.path)
                for (const ExprPtr &x : a.subscripts)
                    if (IndexedIn(*x, slot)) return true;
        for (const auto &branch : s.branches)
            if ((branch.first && IndexedIn(*branch.first, slot)) || IndexedIn(branch.second, slot))
                return true;
        if (IndexedIn(s.body, slot) || IndexedIn(s.handler, slot)) return true;
    }
    return false;
}

bool TestedIn(const Expr &e, int slot) {
    if (e.kind == Expr::Kind::Name && e.slot == slot) return true;
    if ((e.kind == Expr::Kind::Unary && e.op == Op::Not) || e.kind == Expr::Kind::ShortCircuit)
        return AnyOperand(e, [slot](const Expr &a) { return TestedIn(a, slot); });
    return false;
}

bool TestedIn(const Block &block, int slot) {
    for (const Stmt &s : block) {
        if (s.kind == Stmt::Kind::While && TestedIn(*s.value, slot)) return true;
        for (const auto &branch : s.branches)
            if ((s.kind == Stmt::Kind::If && branch.first && TestedIn(*branch.first, slot)) ||
                TestedIn(branch.second, slot))
                return true;
        if (TestedIn(s.body, slot) || TestedIn(s.handler, slot)) return true;
    }
    return false;
}

}  // namespace

void Translator::LogicalArguments(const Block &block) {
    std::function<void(const Expr &)> walk = [&](const Expr &e) {
        // The function's own and its versions'.
        std::vector<std::string> keys{e.text};
        for (auto v = m_versions.lower_bound(e.text + "/"); v != m_versions.end() && v->first.compare(0, e.text.size() + 1, e.text + "/") == 0; ++v)
            keys.push_back(v->first);
        for (const std::string &key : keys) {
        const auto logicals = m_logicalParams.find(key);
        if ((e.kind == Expr::Kind::Call || e.kind == Expr::Kind::Name) && logicals != m_logicalParams.end())
            for (std::size_t j = 0; j < logicals->second.size(); ++j) {
                const Expr *a = j < e.args.size() ? e.args[j].get() : nullptr;
                const bool logical =
                    a && (((a->kind == Expr::Kind::Name || a->kind == Expr::Kind::Call) && a->args.empty() &&
                           (a->text == "true" || a->text == "false")) ||
                          (a->kind == Expr::Kind::Binary && a->op >= Op::Eq && a->op <= Op::Ge) ||
                          (a->kind == Expr::Kind::Unary && a->op == Op::Not) ||
                          a->kind == Expr::Kind::ShortCircuit);
                if (a && !logical) logicals->second[j] = false;
            }
        }
        AnyOperand(e, [&](const Expr &a) {
            walk(a);
            return false;
        });
    };
    for (const Stmt &s : block) {
        if (s.value) walk(*s.value);
        for (const Target &t : s.targets)
            for (const Accessor &a : t.path)
                for (const ExprPtr &x : a.subscripts) walk(*x);
        for (const auto &branch : s.branches) {
            if (branch.first) walk(*branch.first);
            LogicalArguments(branch.second);
        }
        LogicalArguments(s.body);
        LogicalArguments(s.handler);
    }
}

std::vector<bool> Translator::TestedParams(const ::mtrx::Function &f) const {
    std::vector<bool> out;
    for (int slot : f.paramSlots) out.push_back(slot >= 0 && TestedIn(f.body, slot));
    return out;
}

std::vector<bool> Translator::IndexedParams(const ::mtrx::Function &f) const {
    std::vector<bool> out;
    for (int slot : f.paramSlots) out.push_back(slot >= 0 && IndexedIn(f.body, slot));
    return out;
}

bool Translator::HasTypedCall(const Expr &e) const {
    if (TypedCall(e)) return true;
    return AnyOperand(e, [this](const Expr &a) { return HasTypedCall(a); });
}

bool Translator::TypedScope(std::size_t k, Scope &scope, const std::string &given) {
    const ::mtrx::Function &f = VersionOf(k, given);
    const std::string key = given.empty() ? f.name : given;
    const auto version = m_versions.find(key);
    // The parameters given (a version's first ones) and the outputs that
    // must be set (a version's asked for).
    const std::size_t count = version != m_versions.end() ? version->second.nargin : f.params.size();
    const std::size_t asked = version != m_versions.end() && version->second.nargout
                                  ? version->second.nargout
                                  : f.outputSlots.size();
    if (f.varargin || f.params.empty() || f.outputs.empty()) return false;
    for (const std::string &name : f.outputs)
        if (name == "varargout") return false;
    scope.function = &f;
    scope.names = &f.names;
    std::set<int> written;
    CollectAssigned(f.body, written);
    std::set<int> params;
    for (std::size_t j = 0; j < f.paramSlots.size(); ++j) {
        const int slot = f.paramSlots[j];
        if (j >= count) {
            // One left out: unset until the body sets it, a ~ never read.
            if (slot >= 0 && params.count(slot)) return false;
            continue;
        }
        // A parameter is the argument throughout: never written, never ~.
        if (slot < 0 || written.count(slot) || params.count(slot)) return false;
        params.insert(slot);
    }
    scope.assigned = written;
    scope.assigned.insert(params.begin(), params.end());
    scope.assigned.insert(f.outputSlots.begin(), f.outputSlots.end());
    if (UsesWorkspace(f.body)) return false;
    // The parameters it indexes are the callers' real double arrays.
    const auto indexed = m_arrayParams.find(key);
    std::set<int> doubles = params;
    for (std::size_t j = 0; indexed != m_arrayParams.end() && j < count; ++j)
        if (indexed->second[j]) {
            doubles.erase(f.paramSlots[j]);
            scope.givenArrays.insert(f.paramSlots[j]);
        }
    const auto tested = m_logicalParams.find(key);
    for (std::size_t j = 0; tested != m_logicalParams.end() && j < count; ++j)
        if (tested->second[j] && !scope.givenArrays.count(f.paramSlots[j])) {
            doubles.erase(f.paramSlots[j]);
            scope.givenLogicals.insert(f.paramSlots[j]);
        }
    for (std::size_t j = 0; j < count; ++j) {
        const std::string &type = IntegerParam(key, j);
        if (type.empty() || scope.givenArrays.count(f.paramSlots[j]) || scope.givenLogicals.count(f.paramSlots[j]))
            continue;
        doubles.erase(f.paramSlots[j]);
        scope.givenIntegers.emplace(f.paramSlots[j], type);
    }
    scope.arrays = scope.givenArrays;
    m_scope = &scope;
    std::set<int> candidates = scope.assigned;
    for (int slot : params) candidates.erase(slot);
    InferScalars(f.body, candidates, doubles);
    // Every output a double set wherever the function ends, so that no
    // count of outputs asked for finds one unset.
    bool ok = true;
    // The first output may be a logical or integer scalar too: the type
    // the function's C++ version returns.
    const int first = f.outputSlots[0];
    std::string result = "double";
    if (Logical(first)) result = "bool";
    else if (Integer(first)) result = m_scope->integers.at(first);
    m_typedResults[key] = result;
    ok = ok && (Scalar(first) || Logical(first) || Integer(first));
    for (std::size_t j = 1; j < asked; ++j) ok = ok && Scalar(f.outputSlots[j]);
    for (int slot : doubles) ok = ok && Scalar(slot);
    for (int slot : scope.givenArrays) ok = ok && m_scope->arrays.count(slot);
    for (int slot : scope.givenLogicals) ok = ok && m_scope->logicals.count(slot);
    for (const auto &integer : scope.givenIntegers) ok = ok && m_scope->integers.count(integer.first);
    m_scope = nullptr;
    return ok;
}

void Translator::DoubleFunction(std::size_t k, bool raw, const std::string &key) {
    const ::mtrx::Function &f = VersionOf(k, key);
    const auto version = m_versions.find(key);
    const std::size_t count = version != m_versions.end() ? version->second.nargin : f.params.size();
    const std::string name = key.empty() ? f.name : key;
    Scope scope;
    DoubleScope(k, scope, key);
    scope.raw = raw;
    m_scope = &scope;
    std::ostringstream saved;
    saved.swap(m_out);
    Statements(f.body, 1);
    const std::string statements = m_out.str();
    m_out.swap(saved);
    std::string params;
    for (std::size_t j = 0; j < count; ++j) params += ", double " + Local(f.params[j]);
    if (raw) {
        Line(0, "// " + f.name + " over doubles in plain C++ operators: exact unless it gives NaN.");
        Line(0, "inline double " + PureName(name, true) + "(Runtime &rt" + params + ") {");
    } else {
        Line(0, "// " + f.name + " over doubles: it can neither fail nor call, so it needs no frame.");
        Line(0, "double " + PureName(name, false) + "(Runtime &rt" + params + ") {");
    }
    Line(1, "NoFrame call;");
    for (int slot : scope.assigned) {
        bool param = false;
        for (std::size_t j = 0; j < count; ++j) param = param || f.paramSlots[j] == slot;
        if (!param) Line(1, "double " + Var(slot) + " = 0.0;");
    }
    m_out << statements;
    Line(1, "return " + Var(f.outputSlots[0]) + ";");
    Line(0, "}");
    Line(0, "");
    m_scope = nullptr;
}

bool Translator::TypedSeveral(const Stmt &s) const {
    if (s.kind != Stmt::Kind::Assign || s.targets.size() < 2) return false;
    const auto n = static_cast<unsigned int>(s.targets.size());
    if (!TypedCall(*s.value, n)) return false;
    const auto outputs = m_typedOutputs.find(VersionKey(*s.value, n));
    // More targets than outputs: the general call's count check reports it.
    if (outputs == m_typedOutputs.end() || s.targets.size() > outputs->second) return false;
    const auto result = m_typedResults.find(VersionKey(*s.value, n));
    if (result != m_typedResults.end() && result->second != "double") return false;
    for (const Target &t : s.targets)
        if (!t.path.empty()) return false;
    return true;
}

bool Translator::TypedOutputs(const Stmt &s, int indent) {
    if (!TypedSeveral(s)) return false;
    const Expr &e = *s.value;
    Reads reads;
    Reads *saved = OpenReads(reads);
    const std::size_t n = s.targets.size();
    const std::string args = TypedArgs(e, static_cast<unsigned int>(n));
    const std::string pre = CloseReads(saved);
    Line(indent, "{");
    if (!pre.empty()) Line(indent + 1, pre);
    Line(indent + 1, "double more[" + std::to_string(n - 1) + "];");
    Line(indent + 1, "const double first = " + DoubleCallee(e, static_cast<unsigned int>(n)) + "(rt" + args + ", " + std::to_string(n) +
                         "u, more);");
    // Left to right, as the general path stores them.
    for (std::size_t k = 0; k < n; ++k) {
        const Target &t = s.targets[k];
        if (t.name.empty()) continue;
        const std::string value = k ? "more[" + std::to_string(k - 1) + "]" : std::string("first");
        if (Scalar(t.slot)) {
            Line(indent + 1, Var(t.slot) + " = " + value + ";");
            Show(t.name, "Value(" + Var(t.slot) + ")", s.show, indent + 1);
        } else {
            Line(indent + 1, Var(t.slot) + " = Value(" + value + ");");
            Show(t.name, Var(t.slot), s.show, indent + 1);
        }
    }
    Line(indent, "}");
    return true;
}

}  // namespace build
}  // namespace mtrx
