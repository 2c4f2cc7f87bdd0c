// src/mtrx/build/translate_groups.cpp: the statements of a body in groups,
// each group a lambda called in place and never inlined. The C++ compiler's
// passes (points-to analysis, register allocation) grow faster than the
// size of a function: a script of a few hundred statements as one function
// takes minutes, as functions of a few statements each seconds. Loops stay
// in the enclosing function. Loops and the groups of a function that
// compute with its double variables are compiled at full optimisation; the
// other groups only call the runtime, or run once (the script's), and are
// compiled for less (runtime.h: MTRX_DYNAMIC_STATEMENTS).
#include "build/translator.h"

#include <sstream>

namespace mtrx::build {

namespace {

// Statements per group: small enough for the compiler, large enough that
// the calls between groups cost nothing next to the runtime's calls.
constexpr std::size_t kGroup = 8;

bool HasLoop(const Block &block);

bool HasLoop(const Stmt &s) {
    if (s.kind == Stmt::Kind::For || s.kind == Stmt::Kind::While) return true;
    for (const auto &branch : s.branches)
        if (HasLoop(branch.second)) return true;
    return HasLoop(s.body) || HasLoop(s.handler);
}

bool HasLoop(const Block &block) {
    for (const Stmt &s : block)
        if (HasLoop(s)) return true;
    return false;
}

bool IdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// True when the C++ `code` names the identifier `name` (or a text holds it:
// the answer errs towards true).
bool Names(const std::string &code, const std::string &name) {
    for (std::size_t at = code.find(name); at != std::string::npos; at = code.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        if ((at == 0 || !IdentifierChar(code[at - 1])) && (end == code.size() || !IdentifierChar(code[end])))
            return true;
    }
    return false;
}

}  // namespace

void Translator::Body(const Block &block, bool once) {
    // A function's short body stays whole: a call of it may be hot.
    if (!once && block.size() <= kGroup) {
        Statements(block, 2);
        return;
    }
    std::size_t k = 0;
    while (k < block.size()) {
        if (HasLoop(block[k])) {
            Statement(block[k], 2);
            ++k;
            continue;
        }
        std::ostringstream saved;
        saved.swap(m_out);
        for (std::size_t n = 0; n < kGroup && k < block.size() && !HasLoop(block[k]); ++n, ++k)
            Statement(block[k], 3);
        std::string text = m_out.str();
        m_out.swap(saved);
        // A return (or a break outside a loop) leaves the group with true,
        // and the body through its label.
        bool returns = false;
        std::string lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            const std::size_t at = line.find_first_not_of(' ');
            if (at != std::string::npos && line.compare(at, std::string::npos, "goto done;") == 0) {
                line.replace(at, std::string::npos, "return true;");
                returns = true;
            }
            lines += line + '\n';
        }
        bool doubles = false;
        for (const int slot : m_scope->scalars) doubles = doubles || Names(text, Var(slot));
        const char *attributes = once || !doubles ? "MTRX_DYNAMIC_STATEMENTS" : "MTRX_STATEMENTS";
        Line(2, std::string(returns ? "if (" : "") + "[&]() " + attributes + (returns ? " -> bool" : "") + " {");
        m_out << lines;
        if (returns) {
            Line(3, "return false;");
            Line(2, "}())");
            Line(3, "goto done;");
        } else {
            Line(2, "}();");
        }
    }
}

}  // namespace mtrx::build
