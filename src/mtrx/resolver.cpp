// src/mtrx/resolver.cpp: the slot of every name, by a walk over the tree.
#include "resolver.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace mtrx {

namespace {

// The numbers of call sites not held by a live program, and the next one
// never used.
std::mutex g_siteMutex;
std::vector<int> g_freeSites;
int g_nextSite = 0;
std::atomic<std::uint64_t> g_nextSerial{1};

}  // namespace

int SiteIds::Take() {
    int id;
    {
        std::lock_guard<std::mutex> lock(g_siteMutex);
        if (g_freeSites.empty()) {
            id = g_nextSite++;
        } else {
            id = g_freeSites.back();
            g_freeSites.pop_back();
        }
    }
    try {
        m_ids.push_back(id);
    } catch (...) {
        std::lock_guard<std::mutex> lock(g_siteMutex);
        g_freeSites.push_back(id);
        throw;
    }
    return id;
}

void SiteIds::Release() noexcept {
    if (m_ids.empty()) return;
    std::lock_guard<std::mutex> lock(g_siteMutex);
    try {
        g_freeSites.insert(g_freeSites.end(), m_ids.begin(), m_ids.end());
    } catch (...) {
        // Out of memory: the numbers are lost to the pool, never reused.
    }
    m_ids.clear();
}

SiteIds &SiteIds::operator=(SiteIds &&other) noexcept {
    if (this != &other) {
        Release();
        m_ids = std::move(other.m_ids);
        other.m_ids.clear();
    }
    return *this;
}

namespace {

class Scope {
public:
    Scope(std::vector<std::string> &names, SiteIds &sites) : m_names(names), m_sites(sites) {
        for (std::size_t k = 0; k < names.size(); ++k)
            m_index.emplace(names[k], static_cast<int>(k));
    }
    int Slot(const std::string &name) {
        auto it = m_index.find(name);
        if (it != m_index.end()) return it->second;
        const int slot = static_cast<int>(m_names.size());
        m_names.push_back(name);
        m_index.emplace(name, slot);
        return slot;
    }

    int Site() { return m_sites.Take(); }
    SiteIds &Sites() { return m_sites; }

private:
    std::vector<std::string> &m_names;
    SiteIds &m_sites;
    std::unordered_map<std::string, int> m_index;
};

void Walk(Expr &e, Scope &scope);

void WalkAll(std::vector<ExprPtr> &list, Scope &scope) {
    for (ExprPtr &a : list)
        if (a) Walk(*a, scope);
}

void Walk(Expr &e, Scope &scope) {
    e.lhs = !e.args.empty() ? e.args[0].get() : nullptr;
    e.rhs = e.args.size() > 1 ? e.args[1].get() : nullptr;
    switch (e.kind) {
        case Expr::Kind::Name:
        case Expr::Kind::Call:
            e.slot = scope.Slot(e.text);
            e.site = scope.Site();
            WalkAll(e.args, scope);
            return;
        case Expr::Kind::AnonFunction: {
            // The body has a scope of its own: its parameters, then the
            // names it reads, each captured from the scope around it.
            e.scope = e.params;
            Scope inner(e.scope, scope.Sites());
            Walk(*e.args[0], inner);
            e.captures.clear();
            for (std::size_t k = e.params.size(); k < e.scope.size(); ++k)
                e.captures.push_back(scope.Slot(e.scope[k]));
            return;
        }
        default: break;
    }
    WalkAll(e.args, scope);
    for (auto &row : e.rows) WalkAll(row, scope);
}

void WalkBlock(Block &block, Scope &scope);

void WalkStatement(Stmt &s, Scope &scope) {
    if (s.value) Walk(*s.value, scope);
    for (Target &t : s.targets) {
        if (!t.name.empty()) t.slot = scope.Slot(t.name);
        for (Accessor &a : t.path) WalkAll(a.subscripts, scope);
    }
    switch (s.kind) {
        case Stmt::Kind::For: s.slot = scope.Slot(s.name); break;
        case Stmt::Kind::Try:
            if (!s.name.empty()) s.slot = scope.Slot(s.name);
            break;
        case Stmt::Kind::Expression: s.slot = scope.Slot("ans"); break;
        default: break;
    }
    for (auto &branch : s.branches) {
        if (branch.first) Walk(*branch.first, scope);
        WalkBlock(branch.second, scope);
    }
    WalkBlock(s.body, scope);
    WalkBlock(s.handler, scope);
}

void WalkBlock(Block &block, Scope &scope) {
    for (Stmt &s : block) WalkStatement(s, scope);
}

}  // namespace

void ResolveProgram(Program &program) {
    program.names.clear();
    program.sites = SiteIds();
    program.serial = g_nextSerial.fetch_add(1, std::memory_order_relaxed);
    Scope script(program.names, program.sites);
    WalkBlock(program.statements, script);
    for (Function &f : program.functions) {
        f.names.clear();
        Scope scope(f.names, program.sites);
        f.paramSlots.clear();
        f.varargin = !f.params.empty() && f.params.back() == "varargin";
        f.outputSlots.clear();
        for (const std::string &p : f.params) f.paramSlots.push_back(p == "~" ? -1 : scope.Slot(p));
        for (const std::string &o : f.outputs) f.outputSlots.push_back(scope.Slot(o));
        WalkBlock(f.body, scope);
    }
}

}  // namespace mtrx
