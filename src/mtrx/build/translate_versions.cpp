// src/mtrx/build/translate_versions.cpp: typed versions of a local function
// per count of arguments its calls pass and, when its body tests nargout,
// per count of outputs they ask for. Each is a copy of the function with
// the tests of those counts decided (the branch they take kept in place of
// the if), typed as any other.
#include "build/translator.h"

#include <functional>

namespace mtrx {
namespace build {

namespace {

ExprPtr CopyExpr(const Expr &e);

void CopyList(const std::vector<ExprPtr> &from, std::vector<ExprPtr> &to) {
    for (const ExprPtr &a : from) to.push_back(a ? CopyExpr(*a) : nullptr);
}

ExprPtr CopyExpr(const Expr &e) {
    auto c = std::make_unique<Expr>();
    c->kind = e.kind;
    c->line = e.line;
    c->height = e.height;
    c->op = e.op;
    c->slot = e.slot;
    c->site = e.site;
    c->number = e.number;
    c->text = e.text;
    CopyList(e.args, c->args);
    for (const auto &row : e.rows) {
        c->rows.emplace_back();
        CopyList(row, c->rows.back());
    }
    c->params = e.params;
    c->scope = e.scope;
    c->captures = e.captures;
    // The operands' shortcuts point into the copy's own list.
    if (e.lhs && !e.args.empty() && e.lhs == e.args[0].get()) c->lhs = c->args[0].get();
    if (e.rhs && e.args.size() > 1 && e.rhs == e.args[1].get()) c->rhs = c->args[1].get();
    return c;
}

Block CopyBlock(const Block &block);

Stmt CopyStmt(const Stmt &s) {
    Stmt c;
    c.kind = s.kind;
    c.line = s.line;
    c.show = s.show;
    c.name = s.name;
    c.slot = s.slot;
    c.bracketed = s.bracketed;
    for (const Target &t : s.targets) {
        Target ct;
        ct.name = t.name;
        ct.slot = t.slot;
        for (const Accessor &a : t.path) {
            Accessor ca;
            ca.kind = a.kind;
            ca.field = a.field;
            CopyList(a.subscripts, ca.subscripts);
            ct.path.push_back(std::move(ca));
        }
        c.targets.push_back(std::move(ct));
    }
    if (s.value) c.value = CopyExpr(*s.value);
    for (const auto &branch : s.branches)
        c.branches.emplace_back(branch.first ? CopyExpr(*branch.first) : nullptr, CopyBlock(branch.second));
    c.body = CopyBlock(s.body);
    c.handler = CopyBlock(s.handler);
    return c;
}

Block CopyBlock(const Block &block) {
    Block c;
    for (const Stmt &s : block) c.push_back(CopyStmt(s));
    return c;
}

bool CountWord(const Expr &e, const char *word) {
    return e.kind == Expr::Kind::Name && e.args.empty() && e.text == word;
}

// The value of condition e when nargin is n and nargout m (0: unknown):
// numbers and the counts under comparisons, ~, &, |, && and ||. False
// when it depends on anything else.
bool Decide(const Expr &e, std::size_t n, unsigned int m, double &value) {
    if (e.kind == Expr::Kind::Number) {
        value = e.number;
        return true;
    }
    if (CountWord(e, "nargin")) {
        value = static_cast<double>(n);
        return true;
    }
    if (CountWord(e, "nargout")) {
        value = m;
        return m != 0;
    }
    double a = 0.0, b = 0.0;
    if (e.kind == Expr::Kind::Unary && e.op == Op::Not && e.args.size() == 1) {
        if (!Decide(*e.args[0], n, m, a)) return false;
        value = a == 0.0 ? 1.0 : 0.0;
        return true;
    }
    if (e.args.size() != 2) return false;
    if (e.kind == Expr::Kind::ShortCircuit) {
        // The left operand alone decides when it short-circuits.
        if (!Decide(*e.args[0], n, m, a)) return false;
        if ((e.op == Op::AndAnd) == (a == 0.0)) {
            value = a != 0.0 ? 1.0 : 0.0;
            return true;
        }
        if (!Decide(*e.args[1], n, m, b)) return false;
        value = b != 0.0 ? 1.0 : 0.0;
        return true;
    }
    if (e.kind != Expr::Kind::Binary || !Decide(*e.args[0], n, m, a) || !Decide(*e.args[1], n, m, b))
        return false;
    switch (e.op) {
        case Op::Eq: value = a == b; return true;
        case Op::Ne: value = a != b; return true;
        case Op::Lt: value = a < b; return true;
        case Op::Le: value = a <= b; return true;
        case Op::Gt: value = a > b; return true;
        case Op::Ge: value = a >= b; return true;
        case Op::And: value = a != 0.0 && b != 0.0; return true;
        case Op::Or: value = a != 0.0 || b != 0.0; return true;
        default: return false;
    }
}

// Whether condition e is decided by the counts alone, and mentions `word`.
bool DecidedBy(const Expr &e, const char *word) {
    double v = 0.0;
    if (!Decide(e, 3, 3, v)) return false;
    std::function<bool(const Expr &)> mentions = [&](const Expr &x) {
        return CountWord(x, word) || AnyOperand(x, mentions);
    };
    return mentions(e);
}

// The ifs of `block` whose conditions the counts decide: their branch
// taken in their place.
void Prune(Block &block, std::size_t n, unsigned int m) {
    Block out;
    for (Stmt &s : block) {
        for (auto &branch : s.branches) Prune(branch.second, n, m);
        Prune(s.body, n, m);
        Prune(s.handler, n, m);
        if (s.kind != Stmt::Kind::If) {
            out.push_back(std::move(s));
            continue;
        }
        // Branches decided false go; the first decided true, with none
        // undecided before it, is the statement's whole effect.
        std::vector<std::pair<ExprPtr, Block>> kept;
        Block *taken = nullptr;
        bool open = false;
        for (auto &branch : s.branches) {
            double v = 0.0;
            if (!open && branch.first && Decide(*branch.first, n, m, v)) {
                if (v == 0.0) continue;
                taken = &branch.second;
                break;
            }
            open = true;
            kept.push_back(std::move(branch));
        }
        if (!kept.empty()) {
            // From the first undecided branch on, the if stays as it was.
            s.branches = std::move(kept);
            out.push_back(std::move(s));
            continue;
        }
        Block &rest = taken ? *taken : s.body;
        for (Stmt &t : rest) out.push_back(std::move(t));
    }
    block = std::move(out);
}

bool HasAnonymous(const Expr &e) {
    return e.kind == Expr::Kind::AnonFunction || AnyOperand(e, HasAnonymous);
}

}  // namespace

std::string Translator::TypedName(const std::string &key) const {
    const auto v = m_versions.find(key);
    if (v == m_versions.end()) return "ft_" + FunctionName(key);
    const ::mtrx::Function &f = m_unit->program.functions[v->second.k];
    return "fta" + std::to_string(v->second.nargin) + "o" + std::to_string(v->second.nargout) + "_" +
           FunctionName(f.name);
}

std::string Translator::VersionKey(const Expr &e, unsigned int nargout) const {
    if (m_versions.empty()) return e.text;
    const auto k = m_functions.find(e.text);
    if (k == m_functions.end()) return e.text;
    const ::mtrx::Function &f = m_unit->program.functions[k->second];
    // A call passing every argument keeps the version over doubles that
    // needs no frame.
    if (e.args.size() == f.params.size() && m_doubleFunctions.count(e.text)) return e.text;
    const std::string key = e.text + "/" + std::to_string(e.args.size()) + "/" +
                            std::to_string(m_outputTests.count(e.text) ? nargout : 0u);
    return m_versions.count(key) && (m_typedFunctions.count(key) || m_doubleFunctions.count(key)) ? key : e.text;
}

void Translator::MakeVersions() {
    Program &p = const_cast<Program &>(m_unit->program);
    // The counts of arguments and outputs each function's calls use.
    std::map<std::string, std::set<std::pair<std::size_t, unsigned int>>> uses;
    std::function<void(const Expr &, const Stmt &)> visit = [&](const Expr &e, const Stmt &s) {
        if ((e.kind == Expr::Kind::Call || e.kind == Expr::Kind::Name) &&
            m_functions.count(e.text)) {
            const bool several = s.kind == Stmt::Kind::Assign && s.targets.size() > 1 && s.value.get() == &e;
            uses[e.text].insert({e.args.size(), several ? static_cast<unsigned int>(s.targets.size()) : 1u});
        }
        AnyOperand(e, [&](const Expr &a) {
            visit(a, s);
            return false;
        });
    };
    EachExpr(p.statements, visit);
    for (const ::mtrx::Function &f : p.functions) EachExpr(f.body, visit);
    for (std::size_t k = 0; k < p.functions.size(); ++k) {
        const ::mtrx::Function &f = p.functions[k];
        const auto used = uses.find(f.name);
        if (used == uses.end() || f.varargin || f.params.empty() || f.outputs.empty()) continue;
        bool fit = true;
        for (const std::string &name : f.outputs) fit = fit && name != "varargout";
        // A variable named nargin or nargout hides the count.
        std::set<int> written(f.paramSlots.begin(), f.paramSlots.end());
        CollectAssigned(f.body, written);
        for (int slot : written)
            if (slot >= 0) {
                const std::string &name = f.names[static_cast<std::size_t>(slot)];
                fit = fit && name != "nargin" && name != "nargout";
            }
        bool anonymous = false, testsIn = false, testsOut = false;
        std::function<void(const Expr &, const Stmt &)> look = [&](const Expr &e, const Stmt &s) {
            anonymous = anonymous || HasAnonymous(e);
            if (s.kind != Stmt::Kind::If) return;
            for (const auto &branch : s.branches)
                if (branch.first.get() == &e) {
                    testsIn = testsIn || DecidedBy(e, "nargin");
                    testsOut = testsOut || DecidedBy(e, "nargout");
                }
        };
        EachExpr(f.body, look);
        if (!fit || anonymous || UsesWorkspace(f.body)) continue;
        if (testsOut) m_outputTests.insert(f.name);
        for (const auto &use : used->second) {
            const std::size_t n = use.first;
            const unsigned int m = testsOut ? use.second : 0u;
            if (n == 0 || n > f.params.size() || m > f.outputs.size()) continue;
            if (n == f.params.size() && !testsIn && !testsOut) continue;
            const std::string key = f.name + "/" + std::to_string(n) + "/" + std::to_string(m);
            if (m_versions.count(key)) continue;
            Version v;
            v.k = k;
            v.nargin = n;
            v.nargout = m;
            v.f = std::make_unique<::mtrx::Function>();
            ::mtrx::Function &c = *v.f;
            c.name = f.name;
            c.params = f.params;
            c.outputs = f.outputs;
            c.line = f.line;
            c.names = f.names;
            c.paramSlots = f.paramSlots;
            c.outputSlots = f.outputSlots;
            c.body = CopyBlock(f.body);
            Prune(c.body, n, m);
            SplitStretches(c.body, c.names, c.outputSlots);
            m_versions.emplace(key, std::move(v));
        }
    }
}

}  // namespace build
}  // namespace mtrx
