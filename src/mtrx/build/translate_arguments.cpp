// src/mtrx/build/translate_arguments.cpp: the classes of the arguments the
// calls of typed functions pass, as each caller's inference finds them. A
// parameter every call passes a logical scalar for becomes a C++ bool, one
// every call passes an integer scalar of a single class for an integer of
// that class; a call passing anything else there keeps the general path.
// The classes found may type more of the callers' variables: the survey is
// run again after the functions are typed with them.
#include "build/translator.h"

#include <functional>

namespace mtrx {
namespace build {

void Translator::SurveyArguments() {
    const Program &p = m_unit->program;
    // By key, for each parameter: the classes passed ("" for anything but
    // a double, logical or integer scalar).
    std::map<std::string, std::vector<std::set<std::string>>> passed;
    // A variable of no type yet, as one the call's own typing may make:
    // the class of the first of its assignments in the body that gives a
    // logical or integer scalar ("" for none).
    const Block *body = nullptr;
    std::function<std::string(const Block &, int)> hint = [&](const Block &block, int slot) {
        for (const Stmt &s : block) {
            if (s.kind == Stmt::Kind::Assign && s.targets.size() == 1 && s.targets[0].slot == slot &&
                s.targets[0].path.empty()) {
                if (const char *integer = IntegerType(*s.value, false)) return std::string(integer);
                if (LogicalExpr(*s.value, false)) return std::string("bool");
            }
            for (const auto &branch : s.branches) {
                const std::string found = hint(branch.second, slot);
                if (!found.empty()) return found;
            }
            for (const Block *inner : {&s.body, &s.handler}) {
                const std::string found = hint(*inner, slot);
                if (!found.empty()) return found;
            }
        }
        return std::string();
    };
    std::function<void(const Expr &, const Stmt &)> visit = [&](const Expr &e, const Stmt &s) {
        if ((e.kind == Expr::Kind::Call || e.kind == Expr::Kind::Name) && !IsVariable(e) &&
            m_functions.count(e.text)) {
            const bool several = s.kind == Stmt::Kind::Assign && s.targets.size() > 1 && s.value.get() == &e;
            const std::string key = VersionKey(e, several ? static_cast<unsigned int>(s.targets.size()) : 1u);
            const auto count = m_typedFunctions.find(key);
            if (count != m_typedFunctions.end() && count->second == e.args.size()) {
                std::vector<std::set<std::string>> &classes = passed[key];
                classes.resize(e.args.size());
                for (std::size_t j = 0; j < e.args.size(); ++j) {
                    const Expr &a = *e.args[j];
                    const char *integer = IntegerType(a, false);
                    const bool untyped = a.kind == Expr::Kind::Name && IsVariable(a) && !Scalar(a.slot) &&
                                         !Logical(a.slot) && !Integer(a.slot);
                    classes[j].insert(ScalarExpr(a) ? "double"
                                      : LogicalExpr(a, false) ? "bool"
                                      : integer ? integer
                                      : untyped ? hint(*body, a.slot)
                                                : "");
                }
            }
        }
        AnyOperand(e, [&](const Expr &a) {
            visit(a, s);
            return false;
        });
    };
    // The callers as their code is written: the script's statements, each
    // function's general version and its typed ones.
    if (!p.statements.empty() && !UsesWorkspace(p.statements)) {
        Scope scope;
        scope.names = &p.names;
        CollectAssigned(p.statements, scope.assigned);
        m_scope = &scope;
        InferScalars(p.statements, scope.assigned);
        body = &p.statements;
        EachExpr(p.statements, visit);
        m_scope = nullptr;
    }
    for (std::size_t k = 0; k < p.functions.size(); ++k) {
        const ::mtrx::Function &f = p.functions[k];
        if (UsesWorkspace(f.body)) continue;
        Scope scope;
        FunctionScope(f, scope);
        std::set<int> candidates = scope.assigned;
        for (int slot : f.paramSlots) candidates.erase(slot);
        for (int slot : f.outputSlots) candidates.erase(slot);
        m_scope = &scope;
        InferScalars(f.body, candidates);
        body = &f.body;
        EachExpr(f.body, visit);
        m_scope = nullptr;
    }
    std::vector<std::pair<std::size_t, std::string>> typed;
    for (std::size_t k = 0; k < p.functions.size(); ++k)
        if (m_typedFunctions.count(p.functions[k].name)) typed.emplace_back(k, std::string());
    for (const auto &v : m_versions)
        if (m_typedFunctions.count(v.first)) typed.emplace_back(v.second.k, v.first);
    for (const auto &t : typed) {
        Scope scope;
        TypedScope(t.first, scope, t.second);
        m_scope = &scope;
        body = &VersionOf(t.first, t.second).body;
        EachExpr(*body, visit);
        m_scope = nullptr;
    }
    for (const auto &entry : passed) {
        std::vector<std::string> integers(entry.second.size());
        std::vector<bool> &logicals = m_logicalParams[entry.first];
        const std::vector<bool> &arrays = m_arrayParams[entry.first];
        for (std::size_t j = 0; j < entry.second.size() && j < logicals.size() && j < arrays.size(); ++j) {
            // A value of another kind takes the general path whatever the
            // parameter's class, and may be one of these once the
            // callers' calls are typed: not counted.
            std::set<std::string> classes = entry.second[j];
            classes.erase("");
            if (arrays[j] || classes.size() != 1) continue;
            const std::string &only = *classes.begin();
            if (only == "bool")
                logicals[j] = true;
            else if (only != "double" && !only.empty())
                integers[j] = only;
        }
        m_integerParams[entry.first] = integers;
    }
}

}  // namespace build
}  // namespace mtrx
