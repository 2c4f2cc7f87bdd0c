// src/mtrx/build/translate.cpp: walks the resolved syntax tree of a program
// and writes the C++ that runs it over the runtime. Every value is the
// runtime's dynamic Value; operands are evaluated in the interpreter's
// order (braced lists fix C++'s), and subscripts and arguments are filled
// lazily, as the interpreter evaluates them, so that `end` and the checks
// see what they see there.
#include "build/translate.h"

#include "error.h"
#include "runtime/runtime.h"
#include "value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace mtrx {

namespace {

// Built-ins that read or change the caller's workspace by name, or the
// call as written: compiled variables are not in a workspace they can see.
const std::set<std::string> kWorkspaceBuiltins = {
    "eval",  "evalin", "evalc", "assignin", "input",  "keyboard", "clear", "clearvars",
    "who",   "whos",   "exist", "save",     "load",   "inputname", "display"};

const char *OpName(Op op) {
    switch (op) {
        case Op::Plus: return "Op::Plus";
        case Op::Minus: return "Op::Minus";
        case Op::Mtimes: return "Op::Mtimes";
        case Op::Mrdivide: return "Op::Mrdivide";
        case Op::Mldivide: return "Op::Mldivide";
        case Op::Mpower: return "Op::Mpower";
        case Op::Times: return "Op::Times";
        case Op::Rdivide: return "Op::Rdivide";
        case Op::Ldivide: return "Op::Ldivide";
        case Op::Power: return "Op::Power";
        case Op::Or: return "Op::Or";
        case Op::And: return "Op::And";
        case Op::Eq: return "Op::Eq";
        case Op::Ne: return "Op::Ne";
        case Op::Lt: return "Op::Lt";
        case Op::Le: return "Op::Le";
        case Op::Gt: return "Op::Gt";
        case Op::Ge: return "Op::Ge";
        case Op::Uminus: return "Op::Uminus";
        case Op::Uplus: return "Op::Uplus";
        case Op::Not: return "Op::Not";
        case Op::Ctranspose: return "Op::Ctranspose";
        case Op::Transpose: return "Op::Transpose";
        default: return "Op::None";
    }
}

// A C++ string literal of `text`, bytes outside printable ASCII escaped.
std::string Quote(const std::string &text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7f || c == '?') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The double x as a C++ literal that reads back as the same bits.
std::string Number(double x) {
    if (std::isinf(x)) return x > 0 ? "HUGE_VAL" : "-HUGE_VAL";
    if (std::isnan(x)) return "NAN";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", x);
    std::string s = buffer;
    // The shortest form that reads back the same, for reading.
    for (int digits = 1; digits < 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, x);
        if (std::strtod(buffer, nullptr) == x) {
            s = buffer;
            break;
        }
    }
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

// The C++ name of a variable of the program: its own, marked so that no
// name of the language is a C++ keyword or one of the generated code's.
std::string Local(const std::string &name) { return name + "_"; }

class Translator {
public:
    Translator(const std::string &file, const std::string &source) : m_file(file) {
        m_unit = Compile(source, file);
        std::stringstream lines(source);
        std::string line;
        while (std::getline(lines, line)) m_lines.push_back(line);
        const Program &p = m_unit->program;
        for (std::size_t k = 0; k < p.functions.size(); ++k)
            m_functions.emplace(p.functions[k].name, k);
        m_anonymous = AnonymousFunctions(p);
        m_source = source;
    }

    std::string Run();

private:
    // The scope being written: a function's or the script's.
    struct Scope {
        const ::mtrx::Function *function = nullptr;
        const std::vector<std::string> *names = nullptr;
        std::set<int> assigned;  // slots some statement writes
        std::set<int> scalars;   // of those, the real double scalars: C++ doubles
        bool usesDone = false;
        int loops = 0;  // loops around the statement being written
        std::map<int, std::string> copies;  // scalars a loop runs on in copies
    };
    // An index whose subscripts are being written: `end` in them.
    struct EndContext {
        std::string list;
        unsigned int position;
        unsigned int count;
    };

    [[noreturn]] void Unsupported(const std::string &what, int line) const {
        throw BuildError("mtrx build: " + what + " not supported yet (" + m_file + ":" +
                         std::to_string(line) + ")");
    }

    void CollectAssigned(const Block &block, std::set<int> &out);
    // True when `name` is a script file where the interpreter would find it
    // from this program (its folder, the current one, MTRXPATH): a script
    // runs in its caller's workspace, which compiled code does not keep.
    bool ScriptFile(const std::string &name);
    std::string Var(int slot) const {
        const auto copy = m_scope->copies.find(slot);
        return copy != m_scope->copies.end() ? copy->second
                                             : Local((*m_scope->names)[static_cast<std::size_t>(slot)]);
    }
    bool Scalar(int slot) const { return m_scope->scalars.count(slot) != 0; }
    // The variable as a Value: a double one boxed.
    std::string VarValue(int slot) const {
        return Scalar(slot) ? "Value(" + Var(slot) + ")" : Var(slot);
    }
    // Types: the variables that are real double scalars wherever they are
    // read (every assignment gives one, and one comes before every read).
    void InferScalars(const Block &block, std::set<int> candidates);
    // True for an expression of double-scalar variables and numbers under
    // + - * / and a minus sign, whose value the code computes as a double.
    bool ScalarExpr(const Expr &e) const;
    std::string ScalarCode(const Expr &e) const;
    std::string RawCode(const Expr &e) const;
    bool IsVariable(const Expr &e) const { return e.slot >= 0 && m_scope->assigned.count(e.slot); }

    std::string Expression(const Expr &e);
    std::string Condition(const Expr &e);
    // The call of the function e names (not a variable), for nargout outputs.
    std::string FunctionCall(const Expr &e, unsigned int nargout) {
        return FunctionCall(e, std::to_string(nargout));
    }
    std::string FunctionCall(const Expr &e, const std::string &nargout);
    // name(args) with its variable check: a call giving a list of outputs.
    std::string CallList(const Expr &e, unsigned int nargout) {
        return CallList(e, std::to_string(nargout));
    }
    std::string CallList(const Expr &e, const std::string &nargout);
    std::string Arguments(const std::vector<ExprPtr> &args, std::size_t first);
    // A Fill lambda writing the subscripts args[first..] of an index.
    std::string Fill(const std::vector<ExprPtr> &args, std::size_t first);
    std::string ListItem(const std::string &list, const Expr &e);
    std::string Rows(const Expr &e);
    std::string Steps(const Target &t, int line);

    void Statements(const Block &block, int indent);
    bool Infallible(const Stmt &s) const;
    bool ScalarOnly(const Block &block) const;
    void ScalarLoopStatement(const Stmt &s, const std::string &loop, int indent);
    void Statement(const Stmt &s, int indent);
    void Assign(const Stmt &s, int indent);
    void Show(const std::string &name, const std::string &var, bool show, int indent);
    void Line(int indent, const std::string &text) {
        m_out << std::string(static_cast<std::size_t>(indent) * 4, ' ') << text << '\n';
    }
    void Function(std::size_t k);
    void Script();

    std::string m_file;
    std::string m_source;
    std::shared_ptr<const Unit> m_unit;
    std::vector<std::string> m_lines;
    std::map<std::string, std::size_t> m_functions;
    std::map<std::string, bool> m_scripts;
    std::vector<const Expr *> m_anonymous;
    Scope *m_scope = nullptr;
    std::vector<EndContext> m_ends;
    int m_lists = 0;  // lambdas open: each List its own name
    std::ostringstream m_out;
};

void Translator::CollectAssigned(const Block &block, std::set<int> &out) {
    for (const Stmt &s : block) {
        for (const Target &t : s.targets)
            if (!t.name.empty()) out.insert(t.slot);
        if ((s.kind == Stmt::Kind::For || s.kind == Stmt::Kind::Expression ||
             s.kind == Stmt::Kind::Try) &&
            s.slot >= 0 && !(s.kind == Stmt::Kind::Try && s.name.empty()))
            out.insert(s.slot);
        for (const auto &branch : s.branches) CollectAssigned(branch.second, out);
        CollectAssigned(s.body, out);
        CollectAssigned(s.handler, out);
    }
}

namespace {

bool Mentions(const Expr &e, int slot) {
    if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) && e.slot == slot) return true;
    if (e.kind == Expr::Kind::AnonFunction) {
        for (int captured : e.captures)
            if (captured == slot) return true;
        return false;
    }
    for (const ExprPtr &a : e.args)
        if (Mentions(*a, slot)) return true;
    for (const auto &row : e.rows)
        for (const ExprPtr &a : row)
            if (Mentions(*a, slot)) return true;
    return false;
}

bool Mentions(const Block &block, int slot, bool skipLoopsOver);

// Whether statement s reads or writes `slot`; with skipLoopsOver, the
// bodies of for loops over `slot` are left out.
bool Mentions(const Stmt &s, int slot, bool skipLoopsOver) {
    for (const Target &t : s.targets) {
        if (t.slot == slot) return true;
        for (const Accessor &a : t.path)
            for (const ExprPtr &e : a.subscripts)
                if (Mentions(*e, slot)) return true;
    }
    if (s.value && Mentions(*s.value, slot)) return true;
    if (s.kind == Stmt::Kind::For && s.slot == slot) {
        if (skipLoopsOver) return false;
        return true;
    }
    if ((s.kind == Stmt::Kind::Expression || s.kind == Stmt::Kind::Try) && s.slot == slot)
        return true;
    for (const auto &branch : s.branches)
        if ((branch.first && Mentions(*branch.first, slot)) ||
            Mentions(branch.second, slot, skipLoopsOver))
            return true;
    return Mentions(s.body, slot, skipLoopsOver) || Mentions(s.handler, slot, skipLoopsOver);
}

bool Mentions(const Block &block, int slot, bool skipLoopsOver) {
    for (const Stmt &s : block)
        if (Mentions(s, slot, skipLoopsOver)) return true;
    return false;
}

// Whether the first statement naming `slot` is `first`, an assignment not
// reading it, and every later mention is in the block holding `first`, after
// it: inside if, for and while statements that hold every mention, the
// variable is assigned before every read however often they run.
bool AssignedFirst(const Block &block, int slot, const Stmt *first) {
    for (auto s = block.begin(); s != block.end(); ++s) {
        if (!Mentions(*s, slot, false)) continue;
        if (&*s == first) return !Mentions(*s->value, slot);
        if (s->kind != Stmt::Kind::If && s->kind != Stmt::Kind::For && s->kind != Stmt::Kind::While)
            return false;
        for (auto t = std::next(s); t != block.end(); ++t)
            if (Mentions(*t, slot, false)) return false;
        if ((s->value && Mentions(*s->value, slot)) || (s->kind == Stmt::Kind::For && s->slot == slot))
            return false;
        const Block *inner = nullptr;
        int blocks = 0;
        for (const auto &branch : s->branches) {
            if (branch.first && Mentions(*branch.first, slot)) return false;
            if (Mentions(branch.second, slot, false)) inner = &branch.second, ++blocks;
        }
        if (Mentions(s->body, slot, false)) inner = &s->body, ++blocks;
        return blocks == 1 && AssignedFirst(*inner, slot, first);
    }
    return false;
}

// Every assignment to a slot: plain ones, by for loops, and any other.
struct Writes {
    std::vector<const Stmt *> plain;
    std::vector<const Stmt *> loops;
    bool other = false;
};

void CollectWrites(const Block &block, std::map<int, Writes> &out) {
    for (const Stmt &s : block) {
        if (s.kind == Stmt::Kind::Assign) {
            const bool single = s.targets.size() == 1 && s.targets[0].path.empty();
            for (const Target &t : s.targets)
                if (!t.name.empty()) {
                    if (single)
                        out[t.slot].plain.push_back(&s);
                    else
                        out[t.slot].other = true;
                }
        }
        if (s.kind == Stmt::Kind::For) out[s.slot].loops.push_back(&s);
        if ((s.kind == Stmt::Kind::Expression || s.kind == Stmt::Kind::Try) && s.slot >= 0)
            out[s.slot].other = true;
        for (const auto &branch : s.branches) CollectWrites(branch.second, out);
        CollectWrites(s.body, out);
        CollectWrites(s.handler, out);
    }
}

}  // namespace

bool Translator::ScalarExpr(const Expr &e) const {
    switch (e.kind) {
        case Expr::Kind::Number: return true;
        case Expr::Kind::Name: return e.slot >= 0 && Scalar(e.slot);
        case Expr::Kind::Unary: return e.op == Op::Uminus && ScalarExpr(*e.args[0]);
        case Expr::Kind::Binary:
            switch (e.op) {
                case Op::Plus:
                case Op::Minus:
                case Op::Times:
                case Op::Mtimes:
                case Op::Rdivide:
                case Op::Mrdivide: return ScalarExpr(*e.args[0]) && ScalarExpr(*e.args[1]);
                default: return false;
            }
        default: return false;
    }
}

std::string Translator::ScalarCode(const Expr &e) const {
    switch (e.kind) {
        case Expr::Kind::Number: return Number(e.number);
        case Expr::Kind::Name: return Var(e.slot);
        case Expr::Kind::Unary: return "rt.Neg(" + ScalarCode(*e.args[0]) + ")";
        default: {
            const char *f = e.op == Op::Plus    ? "rt.Add("
                            : e.op == Op::Minus ? "rt.Sub("
                            : e.op == Op::Times || e.op == Op::Mtimes ? "rt.Mul("
                                                                      : "rt.Div(";
            return f + ScalarCode(*e.args[0]) + ", " + ScalarCode(*e.args[1]) + ")";
        }
    }
}

// The plain C++ operators: the result's bits are the library's unless it is
// NaN (a NaN operand or a NaN made on the way always makes the result NaN),
// and comparisons do not see NaN bits.
std::string Translator::RawCode(const Expr &e) const {
    switch (e.kind) {
        case Expr::Kind::Number: return Number(e.number);
        case Expr::Kind::Name: return Var(e.slot);
        case Expr::Kind::Unary: return "(- " + RawCode(*e.args[0]) + ")";
        default: {
            const char *op = e.op == Op::Plus    ? " + "
                             : e.op == Op::Minus ? " - "
                             : e.op == Op::Times || e.op == Op::Mtimes ? " * "
                                                                       : " / ";
            return "(" + RawCode(*e.args[0]) + op + RawCode(*e.args[1]) + ")";
        }
    }
}

void Translator::InferScalars(const Block &block, std::set<int> candidates) {
    std::map<int, Writes> writes;
    CollectWrites(block, writes);
    for (auto it = candidates.begin(); it != candidates.end();) {
        const Writes &w = writes[*it];
        bool keep = !w.other && (w.plain.empty() != w.loops.empty());
        if (keep && !w.plain.empty()) keep = AssignedFirst(block, *it, w.plain[0]);
        // A loop variable is read only inside its loops.
        if (keep && !w.loops.empty()) keep = !Mentions(block, *it, true);
        if (keep && !w.loops.empty())
            for (const Stmt *loop : w.loops) keep = keep && !Mentions(*loop->value, *it);
        it = keep ? std::next(it) : candidates.erase(it);
    }
    // Every assignment must give a double scalar, given the others are.
    m_scope->scalars = candidates;
    for (bool changed = true; changed;) {
        changed = false;
        for (auto it = m_scope->scalars.begin(); it != m_scope->scalars.end();) {
            const Writes &w = writes[*it];
            bool keep = true;
            for (const Stmt *s : w.plain) keep = keep && ScalarExpr(*s->value);
            for (const Stmt *s : w.loops) {
                const Expr &r = *s->value;
                keep = keep && r.kind == Expr::Kind::Range;
                if (keep)
                    for (const ExprPtr &a : r.args) keep = keep && ScalarExpr(*a);
            }
            if (keep) {
                ++it;
            } else {
                it = m_scope->scalars.erase(it);
                changed = true;
            }
        }
    }
}

bool Translator::ScriptFile(const std::string &name) {
    const auto known = m_scripts.find(name);
    if (known != m_scripts.end()) return known->second;
    std::vector<std::string> folders{m_unit->folder.empty() ? "." : m_unit->folder, "."};
    if (const char *path = std::getenv("MTRXPATH")) {
        std::stringstream list(path);
        std::string folder;
        while (std::getline(list, folder, ':'))
            if (!folder.empty()) folders.push_back(folder);
    }
    bool script = false;
    for (const std::string &folder : folders) {
        std::ifstream in(folder + "/" + name + ".mtrx", std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        try {
            script = Compile(text.str(), folder + "/" + name + ".mtrx")->program.functions.empty();
        } catch (const Error &) {
            // A file that does not parse fails when called, as it does there.
        }
        break;
    }
    m_scripts.emplace(name, script);
    return script;
}

std::string Translator::FunctionCall(const Expr &e, const std::string &n) {
    const std::string args = e.kind == Expr::Kind::Call ? Arguments(e.args, 0) : "Values{}";
    const auto local = m_functions.find(e.text);
    if (local != m_functions.end()) return "fn_" + e.text + "(rt, " + args + ", " + n + ")";
    if (kWorkspaceBuiltins.count(e.text))
        Unsupported("the workspace function '" + e.text + "'", e.line);
    if (ScriptFile(e.text)) Unsupported("calling the script file '" + e.text + "'", e.line);
    return "rt.Call(" + Quote(e.text) + ", " + args + ", " + n + ")";
}

std::string Translator::CallList(const Expr &e, const std::string &nargout) {
    const std::string call = FunctionCall(e, nargout);
    if (!IsVariable(e)) return call;
    const std::string var = VarValue(e.slot);
    std::string value;
    if (e.kind == Expr::Kind::Name) {
        value = "Values{" + var + "}";
    } else {
        value = "rt.IndexName(" + var + ", " + std::to_string(e.args.size()) + ", " +
                Fill(e.args, 0) + ", " + nargout + ")";
    }
    // A double variable is always set where it is read.
    if (Scalar(e.slot)) return value;
    return "(!" + var + ".IsUnset() ? " + value + " : " + call + ")";
}

std::string Translator::Arguments(const std::vector<ExprPtr> &args, std::size_t first) {
    bool lists = false;
    for (std::size_t k = first; k < args.size(); ++k) {
        const Expr::Kind kind = args[k]->kind;
        lists = lists || kind == Expr::Kind::Colon || kind == Expr::Kind::CellIndex ||
                kind == Expr::Kind::Field;
    }
    if (!lists) {
        std::string out = "Values{";
        for (std::size_t k = first; k < args.size(); ++k)
            out += (k > first ? ", " : "") + Expression(*args[k]);
        return out + "}";
    }
    const std::string list = "a" + std::to_string(++m_lists);
    std::string out = "rt.Args([&](List &" + list + ") {";
    for (std::size_t k = first; k < args.size(); ++k) out += " " + ListItem(list, *args[k]) + ";";
    --m_lists;
    return out + " })";
}

std::string Translator::ListItem(const std::string &list, const Expr &e) {
    if (e.kind == Expr::Kind::Colon) return list + ".Colon()";
    if (e.kind == Expr::Kind::CellIndex)
        return list + ".Brace(" + Expression(*e.args[0]) + ", " +
               std::to_string(e.args.size() - 1) + ", " + Fill(e.args, 1) + ")";
    if (e.kind == Expr::Kind::Field && e.args.size() == 1)
        return list + ".Field(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
    return list + ".Add(" + Expression(e) + ")";
}

std::string Translator::Fill(const std::vector<ExprPtr> &args, std::size_t first) {
    if (args.size() == first) return "nullptr";
    const std::string list = "s" + std::to_string(++m_lists);
    std::string out = "[&](List &" + list + ") {";
    const auto count = static_cast<unsigned int>(args.size() - first);
    for (std::size_t k = first; k < args.size(); ++k) {
        m_ends.push_back({list, static_cast<unsigned int>(k - first + 1), count});
        // A subscript is one value: c{I} and s.name in it must select one.
        const Expr &a = *args[k];
        out += " " + (a.kind == Expr::Kind::Colon ? list + ".Colon()"
                                                   : list + ".Add(" + Expression(a) + ")") +
               ";";
        m_ends.pop_back();
    }
    --m_lists;
    return out + " }";
}

std::string Translator::Rows(const Expr &e) {
    std::string out = "{";
    for (std::size_t r = 0; r < e.rows.size(); ++r) {
        out += r ? ", " : "";
        bool lists = false;
        for (const ExprPtr &item : e.rows[r])
            lists = lists || item->kind == Expr::Kind::CellIndex || item->kind == Expr::Kind::Field;
        if (!lists) {
            out += "Values{";
            for (std::size_t k = 0; k < e.rows[r].size(); ++k)
                out += (k ? ", " : "") + Expression(*e.rows[r][k]);
            out += "}";
            continue;
        }
        const std::string list = "a" + std::to_string(++m_lists);
        out += "rt.Args([&](List &" + list + ") {";
        for (const ExprPtr &item : e.rows[r]) out += " " + ListItem(list, *item) + ";";
        out += " })";
        --m_lists;
    }
    return out + "}";
}

std::string Translator::Expression(const Expr &e) {
    if (e.kind != Expr::Kind::Number && ScalarExpr(e)) return "Value(" + ScalarCode(e) + ")";
    switch (e.kind) {
        case Expr::Kind::Number: return "Value(" + Number(e.number) + ")";
        case Expr::Kind::Imaginary: return "Runtime::Imaginary(" + Number(e.number) + ")";
        case Expr::Kind::String: return "Runtime::Char(" + Quote(e.text) + ")";
        case Expr::Kind::StringScalar: return "Runtime::String(" + Quote(e.text) + ")";
        case Expr::Kind::Name:
        case Expr::Kind::Call: {
            if (e.kind == Expr::Kind::Name && IsVariable(e)) {
                const std::string var = Var(e.slot);
                return "(!" + var + ".IsUnset() ? " + var + " : Runtime::First(" +
                       FunctionCall(e, 1) + ", " + Quote(e.text) + "))";
            }
            if (m_scope->function && e.args.empty() && !IsVariable(e) &&
                (e.text == "nargin" || e.text == "nargout"))
                return std::string("call.") + (e.text == "nargin" ? "Nargin()" : "Nargout()");
            return "Runtime::First(" + CallList(e, 1) + ", " + Quote(e.text) + ")";
        }
        case Expr::Kind::Index:
            return "rt.Index(" + Expression(*e.args[0]) + ", " + std::to_string(e.args.size() - 1) +
                   ", " + Fill(e.args, 1) + ")";
        case Expr::Kind::CellIndex:
            return "rt.Brace(" + Expression(*e.args[0]) + ", " + std::to_string(e.args.size() - 1) +
                   ", " + Fill(e.args, 1) + ")";
        case Expr::Kind::Field:
            if (e.args.size() > 1)
                return "[&] { const Value base = " + Expression(*e.args[0]) +
                       "; return rt.Field(base, rt.FieldName(" + Expression(*e.args[1]) + ")); }()";
            return "rt.Field(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
        case Expr::Kind::Colon: return "Runtime::Raise(\"A bare ':' is only valid in a subscript\")";
        case Expr::Kind::EndWord: {
            if (m_ends.empty()) return "Runtime::Raise(\"'end' is only valid in a subscript\")";
            const EndContext &c = m_ends.back();
            return c.list + ".End(" + std::to_string(c.position) + ", " + std::to_string(c.count) +
                   ")";
        }
        case Expr::Kind::Matrix: return "rt.Matrix(" + Rows(e) + ")";
        case Expr::Kind::CellLiteral: return "rt.Cell(" + Rows(e) + ")";
        case Expr::Kind::Range: {
            std::string out = "rt.Range({";
            for (std::size_t k = 0; k < e.args.size(); ++k)
                out += (k ? ", " : "") + Expression(*e.args[k]);
            return out + "})";
        }
        case Expr::Kind::Binary:
            return "rt.Binary(" + std::string(OpName(e.op)) + ", {" + Expression(*e.args[0]) +
                   ", " + Expression(*e.args[1]) + "})";
        case Expr::Kind::Unary:
        case Expr::Kind::Postfix:
            return "rt.Unary(" + std::string(OpName(e.op)) + ", " + Expression(*e.args[0]) + ")";
        case Expr::Kind::ShortCircuit:
            return "Runtime::Logical(rt.Operand(" + Expression(*e.args[0]) + ") " +
                   (e.op == Op::AndAnd ? "&&" : "||") + " rt.Operand(" + Expression(*e.args[1]) +
                   "))";
        case Expr::Kind::FuncHandle: return "rt.Handle(" + Quote(e.text) + ", 0)";
        case Expr::Kind::AnonFunction: {
            std::size_t k = 0;
            while (k < m_anonymous.size() && m_anonymous[k] != &e) ++k;
            if (k == m_anonymous.size()) Unsupported("this anonymous function", e.line);
            std::string out = "rt.Anonymous(0, " + std::to_string(k) + ", Values{";
            for (std::size_t j = 0; j < e.captures.size(); ++j)
                out += (j ? ", " : "") +
                       (m_scope->assigned.count(e.captures[j]) ? VarValue(e.captures[j])
                                                               : std::string("Value::Unset()"));
            return out + "})";
        }
    }
    Unsupported("this expression", e.line);
}

std::string Translator::Condition(const Expr &e) {
    if (e.kind == Expr::Kind::Binary && e.op >= Op::Eq && e.op <= Op::Ge && ScalarExpr(*e.args[0]) &&
        ScalarExpr(*e.args[1])) {
        // Two doubles compare as the library compares them, NaN included.
        const char *op = e.op == Op::Eq   ? " == "
                         : e.op == Op::Ne ? " != "
                         : e.op == Op::Lt ? " < "
                         : e.op == Op::Le ? " <= "
                         : e.op == Op::Gt ? " > "
                                          : " >= ";
        return "(" + RawCode(*e.args[0]) + op + RawCode(*e.args[1]) + ")";
    }
    if (e.kind == Expr::Kind::ShortCircuit) {
        const auto operand = [&](const Expr &x) {
            const bool plain = x.kind == Expr::Kind::ShortCircuit ||
                               (x.kind == Expr::Kind::Binary && x.op >= Op::Eq && x.op <= Op::Ge &&
                                ScalarExpr(*x.args[0]) && ScalarExpr(*x.args[1]));
            return plain ? "(" + Condition(x) + ")" : "rt.Operand(" + Expression(x) + ")";
        };
        return operand(*e.args[0]) + (e.op == Op::AndAnd ? " && " : " || ") + operand(*e.args[1]);
    }
    return "rt.Truth(" + Expression(e) + ")";
}

std::string Translator::Steps(const Target &t, int line) {
    std::string out = "{";
    for (std::size_t k = 0; k < t.path.size(); ++k) {
        const Accessor &a = t.path[k];
        out += k ? ", " : "";
        const auto count = std::to_string(a.subscripts.size());
        switch (a.kind) {
            case Accessor::Kind::Paren:
                out += "Step::Paren(" + count + ", " + Fill(a.subscripts, 0) + ")";
                break;
            case Accessor::Kind::Brace:
                out += "Step::Brace(" + count + ", " + Fill(a.subscripts, 0) + ")";
                break;
            case Accessor::Kind::Field:
                if (a.subscripts.empty())
                    out += "Step::Field(" + Quote(a.field) + ")";
                else
                    out += "Step::Dynamic([&] { return " + Expression(*a.subscripts[0]) + "; })";
                break;
        }
    }
    (void)line;
    return out + "}";
}

void Translator::Show(const std::string &name, const std::string &var, bool show, int indent) {
    if (show) Line(indent, "rt.Show(" + Quote(name) + ", " + var + ");");
}

void Translator::Assign(const Stmt &s, int indent) {
    const bool deletion = s.value->kind == Expr::Kind::Matrix && s.value->rows.empty();
    // c{I}, s.name and s(I).name may name several places.
    const auto listTarget = [](const Target &t) {
        const std::size_t n = t.path.size();
        if (t.name.empty()) return false;
        if (n == 1 && t.path[0].kind != Accessor::Kind::Paren) return true;
        return n == 2 && t.path[0].kind == Accessor::Kind::Paren &&
               t.path[1].kind == Accessor::Kind::Field;
    };
    if (s.targets.size() == 1 && !(s.bracketed && listTarget(s.targets[0]))) {
        const Target &t = s.targets[0];
        if (t.name.empty()) {
            Line(indent, Expression(*s.value) + ";");
            return;
        }
        const std::string var = Local(t.name);
        if (t.path.empty() && Scalar(t.slot)) {
            // One test of the result for NaN: only then is it computed again
            // operation by operation for the library's NaN bits.
            const std::string exact = ScalarCode(*s.value), raw = RawCode(*s.value);
            if (exact.find("rt.") == std::string::npos) {
                Line(indent, Var(t.slot) + " = " + exact + ";");
            } else {
                Line(indent, "{");
                Line(indent + 1, "const double raw = " + raw + ";");
                Line(indent + 1, Var(t.slot) + " = __builtin_expect(raw == raw, 1) ? raw : " + exact + ";");
                Line(indent, "}");
            }
            Show(t.name, "Value(" + var + ")", s.show, indent);
            return;
        }
        if (t.path.empty()) {
            Line(indent, var + " = " + Expression(*s.value) + ";");
        } else {
            Line(indent, "{");
            Line(indent + 1, "const Value rhs = " + Expression(*s.value) + ";");
            Line(indent + 1, var + " = rt.Assign(" + var + ", " + Steps(t, s.line) + ", rhs, " +
                                 (deletion ? "true" : "false") + ");");
            Line(indent, "}");
        }
        Show(t.name, var, s.show, indent);
        return;
    }
    const Expr &e = *s.value;
    Line(indent, "{");
    // The places each target names, counted before the right side runs.
    std::string total;
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        const Target &t = s.targets[k];
        if (!listTarget(t)) {
            total += (k ? " + 1" : "1");
            continue;
        }
        const std::string n = "n" + std::to_string(k);
        Line(indent + 1, "const std::size_t " + n + " = rt.ListCount(" + VarValue(t.slot) + ", " +
                             Steps(t, s.line) + ");");
        total += (k ? " + " : "") + n;
    }
    Line(indent + 1, "const std::size_t total = " + total + ";");
    std::string values;
    if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) {
        if (m_scope->function && e.args.empty() && !IsVariable(e) &&
            (e.text == "nargin" || e.text == "nargout"))
            values = std::string("Values{call.") + (e.text == "nargin" ? "Nargin()}" : "Nargout()}");
        else
            values = CallList(e, "static_cast<unsigned int>(total)");
    } else if (e.kind == Expr::Kind::CellIndex) {
        values = "rt.BraceList(" + Expression(*e.args[0]) + ", " + std::to_string(e.args.size() - 1) +
                 ", " + Fill(e.args, 1) + ")";
    } else if (e.kind == Expr::Kind::Field && e.args.size() == 1) {
        values = "rt.FieldList(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
    } else {
        values = "Values{Runtime::Raise(\"Only a function call or a list (c{:}, s.name) can give "
                 "several outputs\")}";
    }
    Line(indent + 1, "Values out = " + values + ";");
    if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call)
        Line(indent + 1, "Runtime::NeedOutputs(out, total, " + Quote(e.text) + ");");
    else
        Line(indent + 1, "Runtime::NeedValues(out, total);");
    Line(indent + 1, "std::size_t next = 0;");
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        const Target &t = s.targets[k];
        if (t.name.empty()) {
            Line(indent + 1, "++next;");
            continue;
        }
        const std::string var = Local(t.name);
        if (listTarget(t)) {
            // One place takes its value as a single target does.
            const std::string n = "n" + std::to_string(k);
            Line(indent + 1, "if (" + n + " == 1)");
            Line(indent + 2, var + " = rt.Assign(" + var + ", " + Steps(t, s.line) +
                                 ", std::move(out[next++]), " + (deletion ? "true" : "false") + ");");
            Line(indent + 1, "else");
            Line(indent + 2, var + " = rt.AssignList(" + var + ", " + Steps(t, s.line) +
                                 ", Runtime::Take(out, next, " + n + "));");
            Show(t.name, var, s.show, indent + 1);
            continue;
        }
        const std::string value = "std::move(out[next++])";
        if (t.path.empty())
            Line(indent + 1, var + " = " + value + ";");
        else
            Line(indent + 1, var + " = rt.Assign(" + var + ", " + Steps(t, s.line) + ", " + value +
                                 ", " + (deletion ? "true" : "false") + ");");
        Show(t.name, var, s.show, indent + 1);
    }
    Line(indent, "}");
}

bool Translator::Infallible(const Stmt &s) const {
    const auto scalarCondition = [&](const Expr &e) {
        return e.kind == Expr::Kind::Binary && e.op >= Op::Eq && e.op <= Op::Ge &&
               ScalarExpr(*e.args[0]) && ScalarExpr(*e.args[1]);
    };
    switch (s.kind) {
        case Stmt::Kind::Assign:
            return s.targets.size() == 1 && s.targets[0].path.empty() && !s.targets[0].name.empty() &&
                   Scalar(s.targets[0].slot) && !s.show;
        case Stmt::Kind::For: return Scalar(s.slot);
        case Stmt::Kind::While: return scalarCondition(*s.value);
        case Stmt::Kind::If:
            for (const auto &branch : s.branches)
                if (!scalarCondition(*branch.first)) return false;
            return true;
        case Stmt::Kind::Break:
        case Stmt::Kind::Continue:
        case Stmt::Kind::Return: return true;
        default: return false;
    }
}

// A block of scalar arithmetic and control only: it can neither fail nor
// call anything, and leaves only at its end, by break or by continue.
bool Translator::ScalarOnly(const Block &block) const {
    for (const Stmt &s : block) {
        if (!Infallible(s) || s.kind == Stmt::Kind::Return) return false;
        for (const auto &branch : s.branches)
            if (!ScalarOnly(branch.second)) return false;
        if (!ScalarOnly(s.body)) return false;
    }
    return true;
}

// A loop of scalar arithmetic only runs on copies of the scalars it names,
// written back when it ends: the variables themselves live across the calls
// elsewhere in the function, which sends them to memory, and a variable in
// memory puts a store and a load on every iteration's chain of dependences.
// Nothing in the loop can throw or return, so the copies are always written
// back.
void Translator::ScalarLoopStatement(const Stmt &s, const std::string &loop, int indent) {
    std::vector<std::pair<std::string, std::string>> copies;  // variable, copy
    std::vector<int> slots;
    for (int slot : m_scope->scalars) {
        if (!Mentions(s, slot, false)) continue;
        const std::string var = Var(slot);
        copies.emplace_back(var, var + "r");
        slots.push_back(slot);
    }
    Line(indent, "{");
    if (!loop.empty()) Line(indent + 1, loop + ";");
    for (const auto &c : copies) Line(indent + 1, "double " + c.second + " = " + c.first + ";");
    for (const auto &c : copies) Line(indent + 1, "Detach(" + c.second + ");");
    for (std::size_t k = 0; k < slots.size(); ++k) m_scope->copies[slots[k]] = copies[k].second;
    ++m_scope->loops;
    if (loop.empty()) {
        Line(indent + 1, "while ((call.Where(" + std::to_string(s.line) + "), " + Condition(*s.value) +
                             ")) {");
        Statements(s.body, indent + 2);
        Line(indent + 1, "}");
    } else {
        // Whole numbers run as a counted loop, the general case through
        // Next: the body is written twice, once for each.
        Line(indent + 1, "if (loop.Whole()) {");
        Line(indent + 2, "double loopNext = loop.First();");
        Line(indent + 2, "const double loopStep = loop.Step();");
        Line(indent + 2, "for (unsigned long long loopLeft = loop.Count(); loopLeft != 0; --loopLeft) {");
        Line(indent + 3, Var(s.slot) + " = loopNext;");
        Line(indent + 3, "loopNext += loopStep;");
        Statements(s.body, indent + 3);
        Line(indent + 2, "}");
        Line(indent + 1, "} else {");
        Line(indent + 2, "while (loop.Next(" + Var(s.slot) + ")) {");
        Statements(s.body, indent + 3);
        Line(indent + 2, "}");
        Line(indent + 1, "}");
    }
    --m_scope->loops;
    m_scope->copies.clear();
    for (const auto &c : copies) Line(indent + 1, "Detach(" + c.second + ");");
    for (const auto &c : copies) Line(indent + 1, c.first + " = " + c.second + ";");
    Line(indent, "}");
}

void Translator::Statements(const Block &block, int indent) {
    for (const Stmt &s : block) Statement(s, indent);
}

void Translator::Statement(const Stmt &s, int indent) {
    std::string text = s.line > 0 && static_cast<std::size_t>(s.line) <= m_lines.size()
                           ? m_lines[static_cast<std::size_t>(s.line) - 1]
                           : std::string();
    const std::size_t start = text.find_first_not_of(" \t");
    text = start == std::string::npos ? std::string() : text.substr(start);
    if (text.size() > 72) text = text.substr(0, 69) + "...";
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    // A comment ending in a backslash would continue onto the next line.
    while (!text.empty() && text.back() == '\\') text.pop_back();
    Line(indent, "// " + m_file + ":" + std::to_string(s.line) + ": " + text);
    // A statement that can neither fail nor call anything needs no place:
    // the next one that can sets it.
    if (!Infallible(s)) Line(indent, "call.At(" + std::to_string(s.line) + ");");
    switch (s.kind) {
        case Stmt::Kind::Expression: {
            const Expr &e = *s.value;
            const std::string ans = s.slot >= 0 ? Var(s.slot) : std::string("ans_");
            if (e.kind == Expr::Kind::CellIndex || (e.kind == Expr::Kind::Field && e.args.size() == 1)) {
                const std::string values =
                    e.kind == Expr::Kind::CellIndex
                        ? "rt.BraceList(" + Expression(*e.args[0]) + ", " +
                              std::to_string(e.args.size() - 1) + ", " + Fill(e.args, 1) + ")"
                        : "rt.FieldList(" + Expression(*e.args[0]) + ", " + Quote(e.text) + ")";
                Line(indent, "for (Value &v : " + values + ") {");
                Line(indent + 1, ans + " = std::move(v);");
                Show("ans", ans, s.show, indent + 1);
                Line(indent, "}");
                return;
            }
            if (e.kind == Expr::Kind::Name && IsVariable(e) && Scalar(e.slot)) {
                Show(e.text, VarValue(e.slot), s.show, indent);
                return;
            }
            if (e.kind == Expr::Kind::Name && IsVariable(e)) {
                // A variable named alone is shown under its own name.
                const std::string var = Var(e.slot);
                Line(indent, "if (!" + var + ".IsUnset()) {");
                Show(e.text, var, s.show, indent + 1);
                Line(indent, "} else {");
                Line(indent + 1, "Values out = " + FunctionCall(e, 0) + ";");
                Line(indent + 1, "if (!out.empty()) {");
                Line(indent + 2, ans + " = std::move(out[0]);");
                Show("ans", ans, s.show, indent + 2);
                Line(indent + 1, "}");
                Line(indent, "}");
                return;
            }
            if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) &&
                !(m_scope->function && e.args.empty() && !IsVariable(e) &&
                  (e.text == "nargin" || e.text == "nargout"))) {
                // A call as a statement asks for no output and may return none.
                Line(indent, "{");
                Line(indent + 1, "Values out = " + CallList(e, 0) + ";");
                Line(indent + 1, "if (!out.empty()) {");
                Line(indent + 2, ans + " = std::move(out[0]);");
                Show("ans", ans, s.show, indent + 2);
                Line(indent + 1, "}");
                Line(indent, "}");
                return;
            }
            Line(indent, ans + " = " + Expression(e) + ";");
            Show("ans", ans, s.show, indent);
            return;
        }
        case Stmt::Kind::Assign: Assign(s, indent); return;
        case Stmt::Kind::If: {
            for (std::size_t k = 0; k < s.branches.size(); ++k) {
                Line(indent, (k ? "} else if (" : "if (") + Condition(*s.branches[k].first) + ") {");
                Statements(s.branches[k].second, indent + 1);
            }
            if (!s.body.empty()) {
                Line(indent, "} else {");
                Statements(s.body, indent + 1);
            }
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::While: {
            if (m_scope->copies.empty() && Infallible(s) && ScalarOnly(s.body)) {
                ScalarLoopStatement(s, std::string(), indent);
                return;
            }
            Line(indent, "while ((call.Where(" + std::to_string(s.line) + "), " +
                             Condition(*s.value) + ")) {");
            ++m_scope->loops;
            Statements(s.body, indent + 1);
            --m_scope->loops;
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::For: {
            const Expr &r = *s.value;
            std::string loop;
            if (Scalar(s.slot)) {
                loop = "ScalarLoop loop(";
                for (std::size_t k = 0; k < r.args.size(); ++k)
                    loop += (k ? ", " : "") + ScalarCode(*r.args[k]);
                loop += ")";
                if (m_scope->copies.empty() && ScalarOnly(s.body)) {
                    ScalarLoopStatement(s, loop, indent);
                    return;
                }
            } else if (r.kind == Expr::Kind::Range) {
                loop = "Loop loop(rt, Values{";
                for (std::size_t k = 0; k < r.args.size(); ++k)
                    loop += (k ? ", " : "") + Expression(*r.args[k]);
                loop += "}, true)";
            } else {
                loop = "Loop loop(rt, " + Expression(r) + ")";
            }
            Line(indent, "for (" + loop + "; loop.Next(" + Var(s.slot) + ");) {");
            ++m_scope->loops;
            Statements(s.body, indent + 1);
            --m_scope->loops;
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::Switch: {
            Line(indent, "{");
            Line(indent + 1, "const Value subject = " + Expression(*s.value) + ";");
            for (std::size_t k = 0; k < s.branches.size(); ++k) {
                Line(indent + 1, (k ? "} else if (rt.Case(subject, " : "if (rt.Case(subject, ") +
                                     Expression(*s.branches[k].first) + ")) {");
                Statements(s.branches[k].second, indent + 2);
            }
            if (s.branches.empty()) {
                Line(indent + 1, "{");
            } else {
                Line(indent + 1, "} else {");
            }
            Statements(s.body, indent + 2);
            Line(indent + 1, "}");
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::Try: {
            Line(indent, "try {");
            Statements(s.body, indent + 1);
            Line(indent, "} catch (const LimitError &) {");
            Line(indent + 1, "throw;");
            Line(indent, "} catch (const std::exception &error) {");
            Line(indent + 1, "call.Caught(error, " +
                                 (s.name.empty() ? std::string("nullptr") : "&" + Var(s.slot)) +
                                 ");");
            Statements(s.handler, indent + 1);
            Line(indent, "}");
            return;
        }
        case Stmt::Kind::Break:
        case Stmt::Kind::Continue:
            if (m_scope->loops > 0) {
                Line(indent, s.kind == Stmt::Kind::Break ? "break;" : "continue;");
                return;
            }
            // Outside a loop they end the function or script, as return does.
            [[fallthrough]];
        case Stmt::Kind::Return:
            m_scope->usesDone = true;
            Line(indent, "goto done;");
            return;
    }
}

void Translator::Function(std::size_t k) {
    const ::mtrx::Function &f = m_unit->program.functions[k];
    Scope scope;
    scope.function = &f;
    scope.names = &f.names;
    for (int slot : f.paramSlots)
        if (slot >= 0) scope.assigned.insert(slot);
    for (int slot : f.outputSlots) scope.assigned.insert(slot);
    CollectAssigned(f.body, scope.assigned);
    m_scope = &scope;
    std::set<int> candidates = scope.assigned;
    for (int slot : f.paramSlots) candidates.erase(slot);
    for (int slot : f.outputSlots) candidates.erase(slot);
    InferScalars(f.body, candidates);
    std::ostringstream saved;
    saved.swap(m_out);
    Statements(f.body, 2);
    const std::string statements = m_out.str();
    m_out.swap(saved);

    std::string outs;
    for (std::size_t j = 0; j < f.outputs.size(); ++j) outs += (j ? ", " : "") + f.outputs[j];
    std::string params;
    for (std::size_t j = 0; j < f.params.size(); ++j) params += (j ? ", " : "") + f.params[j];
    Line(0, "// function [" + outs + "] = " + f.name + "(" + params + ")  (" + m_file + ":" +
                std::to_string(f.line) + ")");
    Line(0, "Values fn_" + f.name + "(Runtime &rt, const Values &args, unsigned int nargout) {");
    Line(1, "Scope call(rt, 0, " + std::to_string(k) + ", args.size(), nargout);");
    const std::size_t named = f.params.size() - (f.varargin ? 1 : 0);
    for (std::size_t slot = 0; slot < f.names.size(); ++slot) {
        std::string init = "Value::Unset()";
        for (std::size_t j = 0; j < f.paramSlots.size(); ++j) {
            if (f.paramSlots[j] != static_cast<int>(slot)) continue;
            init = f.varargin && j + 1 == f.paramSlots.size() && j >= named
                       ? "Scope::Varargin(args, " + std::to_string(named) + ")"
                       : "Scope::Arg(args, " + std::to_string(j) + ")";
        }
        if (Scalar(static_cast<int>(slot)))
            Line(1, "double " + Local(f.names[slot]) + " = 0.0;");
        else
            Line(1, "Value " + Local(f.names[slot]) + " = " + init + ";");
    }
    Line(1, "try {");
    m_out << statements;
    Line(1, "} catch (...) {");
    Line(2, "call.Fail();");
    Line(2, "throw;");
    Line(1, "}");
    if (scope.usesDone) Line(0, "done:");
    std::string outputs;
    for (std::size_t j = 0; j < f.outputSlots.size(); ++j)
        outputs += (j ? ", &" : "&") + Var(f.outputSlots[j]);
    Line(1, "return call.Outputs({" + outputs + "}, nargout);");
    Line(0, "}");
    Line(0, "");
    m_scope = nullptr;
}

void Translator::Script() {
    const Program &p = m_unit->program;
    Scope scope;
    scope.names = &p.names;
    CollectAssigned(p.statements, scope.assigned);
    m_scope = &scope;
    InferScalars(p.statements, scope.assigned);
    std::ostringstream saved;
    saved.swap(m_out);
    Statements(p.statements, 2);
    const std::string statements = m_out.str();
    m_out.swap(saved);
    Line(0, "// The statements of " + m_file + ".");
    Line(0, "void Script(Runtime &rt) {");
    Line(1, "Scope call(rt);");
    for (std::size_t slot = 0; slot < p.names.size(); ++slot) {
        if (Scalar(static_cast<int>(slot)))
            Line(1, "double " + Local(p.names[slot]) + " = 0.0;");
        else
            Line(1, "Value " + Local(p.names[slot]) + " = Value::Unset();");
    }
    Line(1, "try {");
    m_out << statements;
    Line(1, "} catch (...) {");
    Line(2, "call.Fail();");
    Line(2, "throw;");
    Line(1, "}");
    if (scope.usesDone) {
        Line(0, "done:;");
    }
    Line(0, "}");
    m_scope = nullptr;
}

std::string Translator::Run() {
    const Program &p = m_unit->program;
    Line(0, "// Compiled by mtrx build from " + m_file + ": one C++ function per function of");
    Line(0, "// the program, each statement after a comment with its place and text.");
    Line(0, "#include \"runtime/runtime.h\"");
    Line(0, "#include \"error.h\"");
    Line(0, "");
    Line(0, "#include <cmath>");
    Line(0, "");
    Line(0, "using namespace mtrx;");
    Line(0, "");
    Line(0, "namespace {");
    Line(0, "");
    // The source, parsed again at the start for the names, lines and
    // anonymous functions that messages and handles refer to.
    std::string delimiter = "mtrx";
    while (m_source.find(")" + delimiter + "\"") != std::string::npos) delimiter += "x";
    Line(0, "const char kSource[] = R\"" + delimiter + "(" + m_source + ")" + delimiter + "\";");
    Line(0, "");
    for (const ::mtrx::Function &f : p.functions)
        Line(0, "Values fn_" + f.name + "(Runtime &rt, const Values &args, unsigned int nargout);");
    Line(0, "");
    for (std::size_t k = 0; k < p.functions.size(); ++k) Function(k);
    Script();
    Line(0, "");
    Line(0, "}  // namespace");
    Line(0, "");
    Line(0, "int main(int argc, char **argv) {");
    Line(1, "return Runtime::Main(argc, argv, {{" + Quote(m_file) + ", kSource}}, Script);");
    Line(0, "}");
    return m_out.str();
}

}  // namespace

std::string Translate(const std::string &file, const std::string &source) {
    std::unique_ptr<Translator> t;
    try {
        t = std::make_unique<Translator>(file, source);
    } catch (const Error &e) {
        // A syntax error, reported as the interpreter reports it.
        throw BuildError("error: " + file + ":" + std::to_string(e.Line()) + ": " + e.what());
    }
    return t->Run();
}

}  // namespace mtrx
