// src/mtrx/build/translate_flow.cpp: a variable's stretches. The values a
// variable takes are followed through the body (which assignments can reach
// each read, across branches, loops, try and catch); assignments that reach a
// common read are one stretch. Each stretch after the first becomes a slot
// of its own, so that the inference types each one apart: a variable that is
// a double in a loop and a text later is a C++ double in the loop and a Value
// after it. Reads never see two stretches, so no value is converted between
// them, except at the end of a for loop whose variable has a stretch of its
// own inside: there the last value is copied out when the loop ran at least
// once (an empty loop leaves the variable as it was).
#include "build/translator.h"

namespace mtrx {
namespace build {

namespace {

// The assignments that may have given each slot its value at a point of
// the body; `live` is false where no run gets (after a break or return).
struct State {
    bool live = true;
    std::vector<std::set<int>> defs;
};

void Join(State &into, const State &from) {
    if (!from.live) return;
    if (!into.live) {
        into = from;
        return;
    }
    for (std::size_t k = 0; k < into.defs.size(); ++k) into.defs[k].insert(from.defs[k].begin(), from.defs[k].end());
}

class Stretches {
public:
    explicit Stretches(std::vector<std::string> &names) : m_names(names), m_slots(names.size()) {
        // Assignment k < slots is the slot's value on entry: unset, or the
        // argument of a parameter.
        for (std::size_t k = 0; k < m_slots; ++k) {
            m_parent.push_back(static_cast<int>(k));
            m_slotOf.push_back(static_cast<int>(k));
        }
        m_read.assign(m_slots, false);
    }

    State Entry() const {
        State s;
        s.defs.resize(m_slots);
        for (std::size_t k = 0; k < m_slots; ++k) s.defs[k].insert(static_cast<int>(k));
        return s;
    }

    void Walk(Block &block, State &st) {
        for (Stmt &s : block) Walk(s, st);
    }

    // The body has ended in `st` (or by a return): its outputs are read.
    void Finish(State st, const std::vector<int> &outputs) {
        Join(st, m_returns);
        for (int slot : outputs)
            if (slot >= 0) m_keep[Find(Reach(slot, st))] = slot;
    }

    // Gives the stretches their slots and writes them into the tree; the
    // values of the slots on entry keep theirs. Returns, for each slot,
    // whether a read may find it unset (or holding the argument).
    std::vector<bool> Rename(std::map<const Stmt *, std::pair<int, int>> &exits) {
        std::map<int, int> slotOfRoot;
        for (std::size_t k = 0; k < m_slots; ++k) slotOfRoot[Find(static_cast<int>(k))] = static_cast<int>(k);
        for (const auto &keep : m_keep) slotOfRoot[keep.first] = keep.second;
        const auto slotOf = [&](int def) {
            const int root = Find(def);
            const auto found = slotOfRoot.find(root);
            if (found != slotOfRoot.end()) return found->second;
            const int slot = static_cast<int>(m_names.size());
            // No name of the language starts with an underscore.
            const std::string &name = m_names[static_cast<std::size_t>(m_slotOf[static_cast<std::size_t>(def)])];
            m_names.push_back("_" + std::to_string(slot) + "_" + name);
            slotOfRoot.emplace(root, slot);
            return slot;
        };
        for (const auto &node : m_nodes) *node.first = slotOf(node.second);
        for (const auto &exit : m_exits) {
            // A copy no read reaches is left out.
            if (!m_reached.count(exit.second.second)) continue;
            const int inner = slotOf(exit.second.first), outer = slotOf(exit.second.second);
            if (inner != outer) exits[exit.first] = {inner, outer};
        }
        std::vector<bool> read(m_names.size(), false);
        for (std::size_t k = 0; k < m_slots; ++k) {
            if (!m_read[k]) continue;
            read[static_cast<std::size_t>(slotOf(static_cast<int>(k)))] = true;
        }
        return read;
    }

private:
    struct Loop {
        State breaks, continues;
        Loop() { breaks.live = continues.live = false; }
    };

    int Find(int d) {
        while (m_parent[static_cast<std::size_t>(d)] != d) {
            int &p = m_parent[static_cast<std::size_t>(d)];
            p = m_parent[static_cast<std::size_t>(p)];
            d = p;
        }
        return d;
    }
    void Union(int a, int b) {
        a = Find(a);
        b = Find(b);
        if (a != b) m_parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
    }
    // The assignment made at `key` (the same one each time the walk passes).
    int Def(const void *key, int slot) {
        const auto found = m_ids.find(key);
        if (found != m_ids.end()) return found->second;
        const int id = static_cast<int>(m_parent.size());
        m_parent.push_back(id);
        m_slotOf.push_back(slot);
        m_ids.emplace(key, id);
        return id;
    }
    void Define(int *field, const void *key, State &st) {
        const int id = Def(key, *field);
        m_nodes[field] = id;
        Set(*field, id, st);
    }
    void Set(int slot, int id, State &st) {
        // A catch sees the assignments of its try wherever the error came.
        for (State *open : m_tries) open->defs[static_cast<std::size_t>(slot)].insert(id);
        st.defs[static_cast<std::size_t>(slot)] = {id};
    }
    // An assignment that may keep the value it finds: one stretch with it.
    void Change(int *field, const void *key, State &st) {
        const int old = Reach(*field, st);
        const int id = Def(key, *field);
        Union(old, id);
        m_nodes[field] = id;
        Set(*field, id, st);
    }
    // One read of `slot`: every assignment reaching it is one stretch.
    int Reach(int slot, const State &st) {
        const std::set<int> &defs = st.defs[static_cast<std::size_t>(slot)];
        if (defs.empty()) return slot;
        const int first = *defs.begin();
        for (int d : defs) Union(first, d);
        m_reached.insert(defs.begin(), defs.end());
        if (defs.count(slot)) m_read[static_cast<std::size_t>(slot)] = true;
        return first;
    }
    void Use(int *field, const State &st) {
        if (*field < 0) return;
        m_nodes[field] = Reach(*field, st);
    }
    void Uses(Expr &e, const State &st) {
        if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) && e.slot >= 0) Use(&e.slot, st);
        if (e.kind == Expr::Kind::AnonFunction) {
            // Its body reads its own slots; it captures these.
            for (int &captured : e.captures) Use(&captured, st);
            return;
        }
        for (ExprPtr &a : e.args) Uses(*a, st);
        for (auto &row : e.rows)
            for (ExprPtr &a : row) Uses(*a, st);
    }
    static bool Same(const State &a, const State &b) { return a.live == b.live && a.defs == b.defs; }
    void Leave(State &st, State *to) {
        Join(to ? *to : m_returns, st);
        st.live = false;
    }
    // A loop's body from `st` until the state at its head settles; `def`
    // the assignment of a for loop's variable at each pass.
    State Repeat(Stmt &s, const State &st, Loop &loop, int def, State &last) {
        State head = st;
        for (;;) {
            if (s.kind == Stmt::Kind::While) Uses(*s.value, head);
            State body = head;
            if (def >= 0) Set(s.slot, def, body);
            m_loops.push_back(&loop);
            Walk(s.body, body);
            m_loops.pop_back();
            State next = st;
            Join(next, body);
            Join(next, loop.continues);
            last = body;
            if (Same(next, head)) return head;
            head = next;
        }
    }

    void Walk(Stmt &s, State &st) {
        switch (s.kind) {
            case Stmt::Kind::Expression:
                Uses(*s.value, st);
                // ans, which a call giving no value or a variable named
                // alone leaves as it was.
                if (s.slot >= 0) Change(&s.slot, &s, st);
                return;
            case Stmt::Kind::Assign: {
                Uses(*s.value, st);
                for (Target &t : s.targets)
                    for (Accessor &a : t.path)
                        for (ExprPtr &e : a.subscripts) Uses(*e, st);
                for (Target &t : s.targets) {
                    if (t.name.empty() || t.slot < 0) continue;
                    if (t.path.empty()) {
                        Define(&t.slot, &t, st);
                        continue;
                    }
                    // A part assigned: the new value is the old one changed.
                    Change(&t.slot, &t, st);
                }
                return;
            }
            case Stmt::Kind::If:
            case Stmt::Kind::Switch: {
                if (s.kind == Stmt::Kind::Switch) Uses(*s.value, st);
                State out = st;
                out.live = false;
                for (auto &branch : s.branches) {
                    Uses(*branch.first, st);
                    State b = st;
                    Walk(branch.second, b);
                    Join(out, b);
                }
                State other = st;
                Walk(s.body, other);
                Join(out, other);
                st = out;
                return;
            }
            case Stmt::Kind::While: {
                Loop loop;
                State last;
                State exit = Repeat(s, st, loop, -1, last);
                Join(exit, loop.breaks);
                st = exit;
                return;
            }
            case Stmt::Kind::For: {
                Uses(*s.value, st);
                if (s.slot < 0) return;
                Loop loop;
                State last;
                const int pass = Def(&s, s.slot);
                m_nodes[&s.slot] = pass;
                State exit = Repeat(s, st, loop, pass, last);
                Join(exit, loop.breaks);
                if (s.value->kind == Expr::Kind::Range) {
                    // The values the variable has when the loop ends after
                    // a pass, copied out into the stretch of the ones before.
                    std::set<int> inner;
                    for (const State *from : {&last, &loop.breaks, &loop.continues})
                        if (from->live && !from->defs.empty())
                            inner.insert(from->defs[static_cast<std::size_t>(s.slot)].begin(),
                                         from->defs[static_cast<std::size_t>(s.slot)].end());
                    if (!inner.empty()) {
                        // The copy reads them (an inner loop's copy too).
                        const int first = *inner.begin();
                        for (int d : inner) Union(first, d);
                        m_reached.insert(inner.begin(), inner.end());
                        const int copy = Def(&s.body, s.slot);
                        m_exits[&s] = {first, copy};
                        Set(s.slot, copy, exit);
                        const std::set<int> &before = st.defs[static_cast<std::size_t>(s.slot)];
                        exit.defs[static_cast<std::size_t>(s.slot)].insert(before.begin(), before.end());
                    }
                }
                st = exit;
                return;
            }
            case Stmt::Kind::Try: {
                State seen = st;
                for (auto &d : seen.defs) d.clear();
                m_tries.push_back(&seen);
                State body = st;
                Walk(s.body, body);
                m_tries.pop_back();
                State handler = st;
                for (std::size_t k = 0; k < m_slots; ++k)
                    handler.defs[k].insert(seen.defs[k].begin(), seen.defs[k].end());
                if (!s.name.empty() && s.slot >= 0) Define(&s.slot, &s, handler);
                Walk(s.handler, handler);
                st = body;
                Join(st, handler);
                return;
            }
            case Stmt::Kind::Break:
            case Stmt::Kind::Continue:
                if (!m_loops.empty()) {
                    Leave(st, s.kind == Stmt::Kind::Break ? &m_loops.back()->breaks
                                                          : &m_loops.back()->continues);
                    return;
                }
                Leave(st, nullptr);
                return;
            case Stmt::Kind::Return: Leave(st, nullptr); return;
        }
    }

    std::vector<std::string> &m_names;
    const std::size_t m_slots;  // the slots before any split
    std::vector<int> m_parent, m_slotOf;
    std::vector<bool> m_read;  // the slot's value on entry reaches a read
    std::map<const void *, int> m_ids;
    std::map<int *, int> m_nodes;  // slot fields of the tree: an assignment of their stretch
    std::set<int> m_reached;       // assignments some read may see
    std::map<int, int> m_keep;     // stretches that keep their slot (read as outputs)
    std::map<const Stmt *, std::pair<int, int>> m_exits;  // for loops: inner, copy
    std::vector<Loop *> m_loops;
    std::vector<State *> m_tries;
    State m_returns = [] {
        State s;
        s.live = false;
        return s;
    }();
};

}  // namespace

void Translator::SplitStretches(Block &body, std::vector<std::string> &names,
                                const std::vector<int> &outputs) {
    Stretches stretches(names);
    State st = stretches.Entry();
    stretches.Walk(body, st);
    stretches.Finish(st, outputs);
    m_unsetReads[&body] = stretches.Rename(m_exitCopies);
}

void Translator::SplitAll() {
    if (m_splitDone) return;
    m_splitDone = true;
    // The translator's own parse: nothing else sees its slots.
    Program &p = const_cast<Program &>(m_unit->program);
    for (::mtrx::Function &f : p.functions)
        if (!UsesWorkspace(f.body)) SplitStretches(f.body, f.names, f.outputSlots);
    // A script file compiled in runs in its caller's frame, its variables
    // found there by name: its slots must stay one per name.
    if (m_index == 0 && !UsesWorkspace(p.statements))
        SplitStretches(p.statements, p.names, std::vector<int>());
}

}  // namespace build
}  // namespace mtrx
