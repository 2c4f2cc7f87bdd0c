// src/mtrx/build/translator.h: the translator's state and the pieces its
// files share: translate.cpp writes statements and functions,
// translate_expr.cpp expressions and calls, translate_types.cpp infers the
// variables that are C++ doubles.
#ifndef MTRX_BUILD_TRANSLATOR_H
#define MTRX_BUILD_TRANSLATOR_H

#include "build/translate.h"

#include "error.h"
#include "runtime/runtime.h"
#include "value.h"

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace mtrx {
namespace build {

// Built-ins that read or change the caller's workspace by name, or the
// call as written: compiled variables are not in a workspace they can see.
extern const std::set<std::string> kWorkspaceBuiltins;

// The C++ name of the runtime's enumerator for operator `op`.
const char *OpName(Op op);
// A C++ string literal of `text`, bytes outside printable ASCII escaped.
std::string Quote(const std::string &text);
// The double x as a C++ literal that reads back as the same bits.
std::string Number(double x);
// The C++ name of a variable of the program: its own, marked so that no
// name of the language is a C++ keyword or one of the generated code's.
inline std::string Local(const std::string &name) { return name + "_"; }

// Whether expression e reads `slot`.
bool Mentions(const Expr &e, int slot);
// Whether statement s reads or writes `slot`; with skipLoopsOver, the
// bodies of for loops over `slot` are left out.
bool Mentions(const Stmt &s, int slot, bool skipLoopsOver);

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
        std::set<int> arrays;  // real double arrays wherever they are read
        std::map<int, std::string> views;  // of those, the ones a loop holds in views
        int tries = 0;  // try statements around the statement being written
        std::set<int> wholes;  // loop variables whole numbers where being written
    };
    // The element reads of the expressions being written, hoisted into
    // constants in the interpreter's order of evaluation.
    struct Reads {
        std::vector<std::string> lines;
        std::map<const Expr *, std::string> names;
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
    // `given`: slots that are doubles from the start (parameters).
    void InferScalars(const Block &block, std::set<int> candidates,
                      const std::set<int> &given = std::set<int>());
    // True for an expression of double-scalar variables and numbers under
    // + - * / and a minus sign, whose value the code computes as a double.
    // With `reads`, element reads of the double arrays count as doubles.
    bool ScalarExpr(const Expr &e, bool reads = true) const;
    std::string ScalarCode(const Expr &e) const { return DoubleCode(e, false); }
    // `code` evaluated in a function of its own, out of the way: the
    // values a loop carries stay in registers rather than being kept in
    // memory across the call.
    static std::string Cold(const std::string &code) {
        return "[&]() __attribute__((noinline, cold)) { return " + code + "; }()";
    }
    std::string RawCode(const Expr &e) const { return DoubleCode(e, true); }
    // The code of a ScalarExpr: with `raw`, plain C++ operators.
    std::string DoubleCode(const Expr &e, bool raw) const;
    // Arrays (translate_arrays.cpp): v(i) or v(i, j) of a double array
    // variable, each subscript a ScalarExpr without reads.
    bool ElementRead(const Expr &e) const;
    bool ElementStore(const Stmt &s) const;
    bool HasReads(const Expr &e) const;
    // A whole number below 2^53 wherever it is computed here: a whole
    // number, a variable of wholes, or the sum or difference of two such.
    bool Whole(const Expr &e, bool operand = false) const;
    // The variables of this scope that are real double arrays.
    // With candidates, starts from those; without, drops the arrays no
    // longer shown to be, returning whether it dropped any.
    bool InferArrays(const Block &block, const std::set<int> &candidates);
    // Assignments of scalars and element stores, and control over scalar
    // conditions: typed code whose only failures are element errors.
    bool TypedLocal(const Stmt &s) const;
    // The code of a ScalarExpr standing alone: reads in a lambda.
    std::string Standalone(const Expr &e, bool raw);
    std::string ReadCode(const Expr &e) const;
    // Opens a list of reads, returning the one it replaces; CloseReads
    // puts that one back and gives the lines of the closed one.
    Reads *OpenReads(Reads &into) {
        Reads *saved = m_reads;
        m_reads = &into;
        return saved;
    }
    std::string CloseReads(Reads *saved) {
        std::string out;
        for (const std::string &l : m_reads->lines) out += l + " ";
        m_reads = saved;
        return out;
    }
    void ElementStoreStatement(const Stmt &s, int indent);
    // v(i) = rhs, v(i, j) = rhs of any variable and value, the subscripts
    // ScalarExprs without reads: in place where the interpreter's element
    // path stores in place.
    bool PlainElementStore(const Stmt &s) const;
    void PlainElementStoreStatement(const Stmt &s, int indent);
    // A for or while loop over views of the arrays it only reads and
    // writes by element; false when it has none.
    bool ViewLoop(const Stmt &s, int indent);
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
    // The for loop s over ScalarLoop loopN, N the loops around it and it.
    void CountedLoop(const Stmt &s, int indent);
    void Statement(const Stmt &s, int indent);
    void Assign(const Stmt &s, int indent);
    void Show(const std::string &name, const std::string &var, bool show, int indent);
    void Line(int indent, const std::string &text) {
        m_out << std::string(static_cast<std::size_t>(indent) * 4, ' ') << text << '\n';
    }
    void Function(std::size_t k);
    void Script();

    // Functions (translate_functions.cpp) of double scalars compiled also
    // as fd_NAME over doubles, by name with their parameter counts.
    bool DoubleScope(std::size_t k, Scope &scope);
    bool DoubleCall(const Expr &e) const;
    void DoubleFunction(std::size_t k);
    std::map<std::string, std::size_t> m_doubleFunctions;
    bool m_noCalls = false;  // while a body is shown to call nothing

    std::string m_file;
    std::string m_source;
    std::shared_ptr<const Unit> m_unit;
    std::vector<std::string> m_lines;
    std::map<std::string, std::size_t> m_functions;
    std::map<std::string, bool> m_scripts;
    std::vector<const Expr *> m_anonymous;
    Scope *m_scope = nullptr;
    std::vector<EndContext> m_ends;
    mutable Reads *m_reads = nullptr;
    mutable int m_readCount = 0;
    int m_lists = 0;  // lambdas open: each List its own name
    std::ostringstream m_out;
};

}  // namespace build
}  // namespace mtrx

#endif  // MTRX_BUILD_TRANSLATOR_H
