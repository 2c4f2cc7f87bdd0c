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

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace mtrx {
namespace build {

// Built-ins that read or change the caller's workspace by name: a function
// calling one keeps its variables in its interpreter frame, where they see
// them.
extern const std::set<std::string> kWorkspaceBuiltins;

// The source files of a program being compiled: the program itself first,
// then the function and script files its calls find on the path, each
// compiled in.
struct SourceFiles {
    struct File {
        std::string path;
        std::string source;
        std::string code;  // its functions' C++; empty when left to the interpreter
        std::vector<std::string> functions;  // their C++ names
        std::vector<std::string> anonymous;  // of its anonymous functions' bodies
        std::string script;  // a script file's statements' C++ name, once compiled
        std::vector<std::string> declarations;  // of its functions' typed versions
    };
    std::vector<File> files;
    std::map<std::string, std::size_t> index;  // by path
    std::size_t sites = 0;  // call sites naming function files: sites[k]
};

// The C++ name of the runtime's enumerator for operator `op`.
const char *OpName(Op op);
// The C++ operator of comparison `op` (Eq to Ge), spaced: " < ".
const char *ComparisonOperator(Op op);
// A C++ string literal of `text`, bytes outside printable ASCII escaped.
std::string Quote(const std::string &text);
// The double x as a C++ literal that reads back as the same bits.
std::string Number(double x);
// The C++ name of a variable of the program: its own, marked so that no
// name of the language is a C++ keyword or one of the generated code's.
inline std::string Local(const std::string &name) { return name + "_"; }

// Whether `pred` holds for an operand of e: an argument, or an element of
// one of its rows.
template <class Pred>
bool AnyOperand(const Expr &e, Pred pred) {
    for (const ExprPtr &a : e.args)
        if (pred(*a)) return true;
    for (const auto &row : e.rows)
        for (const ExprPtr &a : row)
            if (pred(*a)) return true;
    return false;
}

// Calls visit(e, s) for each expression e written directly in a statement s
// of `block` or of the blocks nested in it (its value, its targets'
// subscripts, its conditions); the operands inside e are visit's to walk.
template <class Visit>
void EachExpr(const Block &block, Visit &visit) {
    for (const Stmt &s : block) {
        if (s.value) visit(*s.value, s);
        for (const Target &t : s.targets)
            for (const Accessor &a : t.path)
                for (const ExprPtr &x : a.subscripts) visit(*x, s);
        for (const auto &branch : s.branches) {
            if (branch.first) visit(*branch.first, s);
            EachExpr(branch.second, visit);
        }
        EachExpr(s.body, visit);
        EachExpr(s.handler, visit);
    }
}

// Whether expression e reads `slot`.
bool Mentions(const Expr &e, int slot);
// Whether statement s reads or writes `slot`; with skipLoopsOver, the
// bodies of for loops over `slot` are left out.
bool Mentions(const Stmt &s, int slot, bool skipLoopsOver);

class Translator {
public:
    // File `index` of `files` (the program itself when index is 0).
    Translator(const std::string &file, const std::string &source, std::size_t index = 0,
               std::shared_ptr<SourceFiles> files = nullptr)
        : m_file(file), m_index(index), m_files(files ? files : std::make_shared<SourceFiles>()) {
        m_unit = Compile(source, file);
        std::stringstream lines(source);
        std::string line;
        while (std::getline(lines, line)) m_lines.push_back(line);
        const Program &p = m_unit->program;
        for (std::size_t k = 0; k < p.functions.size(); ++k)
            m_functions.emplace(p.functions[k].name, k);
        m_anonymous = AnonymousFunctions(p);
        m_source = source;
        if (m_files->files.empty()) {
            m_files->files.push_back({file, source, {}, {}, {}, {}, {}});
            m_files->index.emplace(file, 0);
        }
    }

    std::string Run();
    /// The function file as the C++ of a library (build/library.cpp): its
    /// functions, then `LibraryCall(Values args, unsigned int nargout)`,
    /// which runs the first one through Runtime::CallLibrary, then `entries`,
    /// the header `header`'s functions over it. The running function knows
    /// its file as `path`.
    std::string Library(const std::string &header, const std::string &entries,
                        const std::string &path);
    const Program &program() const { return m_unit->program; }
    // A function file's functions, or a script file's statements, into
    // m_files->files[m_index].
    void FileFunctions();

private:
    // The statements of a script file as a C++ function run in its caller's
    // frame; its name.
    std::string ScriptStatements();
    // The scope being written: a function's or the script's.
    struct Scope {
        const ::mtrx::Function *function = nullptr;
        const std::vector<std::string> *names = nullptr;
        std::set<int> assigned;  // slots some statement writes
        std::set<int> scalars;   // of those, the real double scalars: C++ doubles
        std::set<int> logicals;  // the logical scalars: C++ bools
        std::map<int, std::string> integers;  // integer scalars: their C++ type
        std::map<int, int> numbers;  // of those, the class of their values (NumberClass)
        bool usesDone = false;
        // Its variables in the interpreter's frame (call.Slot), where the
        // workspace built-ins and script files reach them by name.
        bool workspace = false;
        int loops = 0;  // loops around the statement being written
        std::map<int, std::string> copies;  // scalars a loop runs on in copies
        std::set<int> arrays;  // real double arrays wherever they are read
        std::set<int> logicalArrays;  // and logical arrays
        std::map<int, std::string> integerArrays;  // integer arrays: their C++ element type
        std::set<int> givenArrays;  // parameters the callers pass such arrays for
        std::set<int> givenLogicals;  // and logical scalars for
        std::map<int, std::string> givenIntegers;  // and integer scalars for: their C++ type
        std::map<int, std::string> views;  // of those, the ones a loop holds in views
        int tries = 0;  // try statements around the statement being written
        bool raw = false;  // doubles assigned their raw code, unchecked
        bool frameless = false;  // an fd_ version: no frame, so no nargin or nargout
        std::set<int> wholes;  // loop variables whole numbers where being written
        // The views' accesses being written have been checked in range
        // before the loop: plain loads and stores, their subscripts whole
        // numbers computed in integers, the values of the loop variables
        // checked with them in `indices`.
        bool unchecked = false;
        std::map<int, std::string> indices;
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
    // Starts scope for function f's body: its parameters and outputs count
    // as assigned, with every slot the body writes.
    void FunctionScope(const ::mtrx::Function &f, Scope &scope);
    // Stretches (translate_flow.cpp): each stretch of a variable's values
    // after the first a slot of its own in the translator's tree, once,
    // before anything is inferred; scopes that keep their variables in the
    // frame are left whole.
    void SplitAll();
    void SplitStretches(Block &body, std::vector<std::string> &names, const std::vector<int> &outputs);
    bool m_splitDone = false;
    // By body: the slots a read may find unset (or holding an argument).
    std::map<const Block *, std::vector<bool>> m_unsetReads;
    // For loops whose variable has a slot of its own inside (first) and
    // after (second): the last value is copied out when the loop ran.
    std::map<const Stmt *, std::pair<int, int>> m_exitCopies;
    std::map<const Block *, std::string> m_ranFlags;  // bodies setting them
    int m_ranCount = 0;
    // True when `name` is a script file where the interpreter would find it
    // from this program (its folder, the current one, MTRXPATH): a script
    // runs in its caller's workspace, which compiled code does not keep.
    bool ScriptFile(const std::string &name);
    // The folders the interpreter searches from this file, in its order:
    // the file's own, the current one, then MTRXPATH's.
    std::vector<std::string> SearchFolders() const;
    // `statements` as the body of a compiled function: a failure marks
    // the frame before it leaves.
    void Guarded(const std::string &statements);
    // A C++ local of the scope's variable `slot`: of its type, a dynamic
    // one starting as `init`.
    void Declare(int slot, const std::string &name, const std::string &init);
    // A function file `name` where the interpreter would find it from this
    // file: added to the program's files to be compiled in.
    void FindFunctionFile(const std::string &name);
    // Whether statements of `block` call a workspace built-in or a script
    // file by name (anonymous functions' bodies run in frames of their own).
    bool UsesWorkspace(const Block &block);
    bool UsesWorkspace(const Expr &e);
    // Marks `scope` as keeping its variables in the frame: every name may be
    // a variable there, none is a C++ double.
    static void KeepInFrame(Scope &scope, std::size_t names);
    // The bodies of the file's anonymous functions, each a C++ function
    // giving its values in the frame of its call; their names into `names`.
    void AnonymousBodies(std::vector<std::string> &names);
    // The C++ name of function `name` of this file.
    std::string FunctionName(const std::string &name) const {
        return (m_index ? "fn" + std::to_string(m_index) : std::string("fn")) + "_" + name;
    }
    std::string Var(int slot) const {
        if (m_scope->workspace) return "call.Slot(" + std::to_string(slot) + ")";
        const auto copy = m_scope->copies.find(slot);
        return copy != m_scope->copies.end() ? copy->second
                                             : Local((*m_scope->names)[static_cast<std::size_t>(slot)]);
    }
    bool Scalar(int slot) const { return m_scope->scalars.count(slot) != 0; }
    // The variable as a Value: a double one boxed.
    std::string VarValue(int slot) const {
        // A frame's slot is copied: the slots may move while it is used.
        if (!m_scope->workspace && Logical(slot)) return "Runtime::Logical(" + Var(slot) + ")";
        if (!m_scope->workspace && Integer(slot)) return "scalars::Box(" + Var(slot) + ")";
        return Scalar(slot) || m_scope->workspace ? "Value(" + Var(slot) + ")" : Var(slot);
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
    // memory across the call. The doubles it reads are copied in: taken by
    // reference, each would be stored to memory on every pass of the loop.
    static std::string Cold(const std::string &code) {
        return "[=, &rt]() __attribute__((noinline, cold)) { return " + code + "; }()";
    }
    std::string RawCode(const Expr &e) const { return DoubleCode(e, true); }
    // The code of a ScalarExpr: with `raw`, plain C++ operators.
    std::string DoubleCode(const Expr &e, bool raw) const;
    // nargin or nargout named alone in a function with a frame: a double.
    bool CountName(const Expr &e) const {
        return e.kind == Expr::Kind::Name && m_scope && m_scope->function && !m_scope->frameless &&
               e.args.empty() && !IsVariable(e) && (e.text == "nargin" || e.text == "nargout");
    }
    // Values (translate_nan.cpp): whether a double expression is finite
    // wherever it is computed, never NaN, or may be anything, from the
    // classes of the double variables, which InferNumbers finds for the
    // scope's body (`given`: parameters, anything).
    enum NumberKind { kFinite, kNotNaN, kAny };
    int NumberClass(const Expr &e) const;
    void InferNumbers(const Block &block, const std::set<int> &given);
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
    // (translate_array_types.cpp) Whether e gives a real double array or
    // scalar wherever it is computed, given that the expressions `array`
    // holds for do: operators, slices and built-ins.
    bool DoubleArrayResult(const Expr &e, const std::function<bool(const Expr &)> &array) const;
    // numel(v), length(v) and size(v, k) (k a whole number literal) of an
    // array variable: a double read off its value, never failing. Its code.
    bool ArraySize(const Expr &e) const;
    std::string ArraySizeCode(const Expr &e) const;
    // Logical arrays (translate_array_types.cpp): comparisons, ~, & and |
    // of arrays, true(n), false(n) and subscripts of logical arrays. The
    // inference of these and of integer arrays, with InferArrays' test of
    // the double arrays; whether it dropped any.
    bool LogicalArrayResult(const Expr &e, const std::function<bool(const Expr &)> &array) const;
    // Both tests' results by expression during one pass of InferArrays,
    // over which the sets they read only shrink; cleared after it.
    mutable std::map<const Expr *, bool> m_arrayResults, m_logicalResults;
    bool InferOtherArrays(const Block &block, const std::set<int> &candidates,
                          const std::function<bool(const Expr &)> &array);
    // Integer arrays of one class of at most 32 bits: zeros and ones of
    // that class, its conversion of an array, subscripts, and + - .* ./
    // of one with itself, doubles or logicals. The C++ type of e's
    // elements when it is one, else null.
    const char *IntegerArrayResult(const Expr &e, const std::function<bool(const Expr &)> &array) const;
    // A(i) or A(i, j) of an integer array variable: its C++ type, else
    // null; read as ElementRead and stored from an integer scalar of the
    // class.
    const char *IntegerElementRead(const Expr &e) const;
    std::string IntegerReadCode(const Expr &e) const;
    bool IntegerElementStore(const Stmt &s) const;
    void IntegerElementStoreStatement(const Stmt &s, int indent);
    // L(i) or L(i, j) of a logical array variable, as ElementRead: a bool,
    // hoisted with the element reads.
    bool LogicalElementRead(const Expr &e) const;
    std::string LogicalReadCode(const Expr &e) const;
    // L(i) = b, L(i, j) = b of a logical array and a logical scalar.
    bool LogicalElementStore(const Stmt &s) const;
    void LogicalElementStoreStatement(const Stmt &s, int indent);
    // Assignments of scalars and element stores, and control over scalar
    // conditions: typed code whose only failures are element errors.
    bool TypedLocal(const Stmt &s) const;
    // The code of a ScalarExpr standing alone: reads in a lambda.
    std::string Standalone(const Expr &e, bool raw);
    // The code `make` gives, the element reads it hoists put before it in
    // a lambda of its own when there are any.
    template <class Make>
    std::string WithOwnReads(Make make) const {
        Reads reads;
        Reads *saved = m_reads;
        m_reads = &reads;
        const std::string code = make();
        m_reads = saved;
        std::string pre;
        for (const std::string &l : reads.lines) pre += l + " ";
        return pre.empty() ? code : "[&] { " + pre + "return " + code + "; }()";
    }
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
    // The condition, in C++, under which every element access of the body
    // of counted loop s is in range for each value from `first` to `last`:
    // the body only scalar assignments, element stores, ifs and while
    // loops over scalar conditions and counted loops over ranges of such
    // sums (of this loop's variable or an enclosing inner loop's), each
    // subscript a sum of whole numbers, variables the body does not assign
    // and at most one loop variable. Empty when some access cannot be
    // checked ahead.
    // `used`: the slots of the views the body reads or writes.
    // IndexCode: the value of such a subscript as a long long.
    std::string HoistedChecks(const Stmt &s, const std::string &first, const std::string &last,
                              std::set<int> &used);
    std::string IndexCode(const Expr &e) const;
    // The counted loop s checked ahead, at `at`: loopN's counter, its
    // variable, `index` its value as a long long (loopIN), then the body
    // (translate_stores.cpp).
    void UncheckedLoop(const Stmt &s, const std::string &n, const std::string &index, int at);
    // Whether the body of s only stores elements of arrays it does not
    // read, of values computed from scalars and element reads alone.
    bool StoresOnly(const Stmt &s) const;
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
    // Two assignments of double expressions in a row, each tested for NaN,
    // the second not reading the first's variable: one test for both.
    bool NaNPair(const Stmt &a, const Stmt &b) const;
    void NaNPairStatement(const Stmt &a, const Stmt &b, int indent);
    // The comment naming statement s's place and text.
    void Comment(const Stmt &s, int indent);
    // The statements of a function's or the script's body, in groups of
    // their own C++ functions (translate_groups.cpp); `once` for the
    // script's, which run once.
    void Body(const Block &block, bool once);
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
    // typed: the version `key` (the name for the function's own).
    void Function(std::size_t k, bool typed = false, const std::string &key = std::string());
    // Function k, then its versions over doubles and typed one if it has
    // them; TypedFunctions finds which functions have them, with their
    // declarations.
    void FunctionVersions(std::size_t k);
    void TypedFunctions(std::vector<std::string> &doubles);
    // Writes the program's C++ up to its entry: the sources, every compiled
    // function (the script's statements as Script when `script`), after the
    // lines `intro`. Returns the runtime's list of the sources (file 0 named
    // `path`) with their compiled functions, as a C++ initialiser.
    std::string Code(bool script, const std::vector<std::string> &intro, const std::string &path);
    void Script();

    // Functions (translate_functions.cpp) of double scalars compiled also
    // as fd_NAME over doubles, by name with their parameter counts.
    // `key`: a version's (m_versions), empty for the function's own.
    bool DoubleScope(std::size_t k, Scope &scope, const std::string &key = std::string());
    // nargout: the outputs the call is asked for (1 in an expression).
    bool DoubleCall(const Expr &e, unsigned int nargout = 1) const;
    // With `raw`, as fdr_NAME: plain C++ operators throughout, for the raw
    // code of the expressions calling it (a result that is not NaN is the
    // exact one: NaN bits steer no branch).
    void DoubleFunction(std::size_t k, bool raw = false, const std::string &key = std::string());
    std::map<std::string, std::size_t> m_doubleFunctions;
    // Local functions of one output whose parameters stay real double
    // scalars when they are given them, and whose output is one then: also
    // compiled as ft_NAME over doubles, with the frame and checks of any
    // call, for the calls that pass doubles. Their calls are DoubleCalls
    // that can fail.
    // `key`: a version's (m_versions), empty for the function's own.
    bool TypedScope(std::size_t k, Scope &scope, const std::string &key = std::string());
    bool TypedCall(const Expr &e, unsigned int nargout = 1) const {
        return DoubleCall(e, nargout) && m_typedFunctions.count(VersionKey(e, nargout)) != 0;
    }
    bool HasTypedCall(const Expr &e) const;
    // The C++ function a DoubleCall calls.
    std::string DoubleCallee(const Expr &e, unsigned int nargout = 1) const {
        return TypedCall(e, nargout) ? TypedName(VersionKey(e, nargout)) : PureName(VersionKey(e, nargout), false);
    }
    // fd_NAME and fdr_NAME, for the file's functions after the first file;
    // a version's (by key) fdaNoM_NAME and fdraNoM_NAME.
    std::string PureName(const std::string &key, bool raw) const {
        const std::string base = (raw ? "fdr" : "fd") + (m_index ? std::to_string(m_index) : std::string());
        const auto v = m_versions.find(key);
        if (v == m_versions.end()) return base + "_" + key;
        return base + "a" + std::to_string(v->second.nargin) + "o" + std::to_string(v->second.nargout) + "_" +
               v->second.f->name;
    }
    std::map<std::string, std::size_t> m_typedFunctions;
    // Those of several outputs take the count asked for and where to store
    // the outputs after the first: ft_NAME(rt, doubles..., nargout, more).
    std::map<std::string, std::size_t> m_typedOutputs;
    // Which parameters of each typed function are arrays the body indexes:
    // its calls pass real double arrays there (variables the caller knows
    // to be ones), as Value references the body only reads, and doubles
    // for the others.
    std::map<std::string, std::vector<bool>> m_arrayParams;
    std::vector<bool> IndexedParams(const ::mtrx::Function &f) const;
    // Likewise the parameters tested as conditions (if, while, ~, && and
    // ||): the calls pass logical scalars there, as bools.
    std::map<std::string, std::vector<bool>> m_logicalParams;
    std::vector<bool> TestedParams(const ::mtrx::Function &f) const;
    // Clears in m_logicalParams the parameters some call in `block` passes
    // anything but true, false, a comparison, ~, && or || for.
    void LogicalArguments(const Block &block);
    // ", TYPE " of parameter j of typed function `name`.
    std::string ParamType(const std::string &key, std::size_t j) const {
        if (m_arrayParams.at(key)[j]) return ", Value &";
        const std::string &integer = IntegerParam(key, j);
        if (!integer.empty()) return ", " + integer + " ";
        return m_logicalParams.at(key)[j] ? ", bool " : ", double ";
    }
    // The arguments of typed call e, each after ", ".
    std::string TypedArgs(const Expr &e, unsigned int nargout = 1) const;
    std::string TypedTail(const Expr &e) const {
        // (after TypedArgs)
        const auto outputs = m_typedOutputs.find(VersionKey(e, 1));
        return TypedCall(e) && outputs != m_typedOutputs.end() && outputs->second > 1 ? ", 1u, nullptr"
                                                                                      : "";
    }
    // Versions (translate_versions.cpp). A local function called with
    // fewer arguments than it declares, or whose body tests nargin or
    // nargout against numbers, has a typed version for each count of
    // arguments its calls pass (and of outputs they ask for, when it tests
    // nargout): a copy of its function whose tests of the counts are
    // decided, so that a default set under `if nargin < 3` types the
    // parameter, and an output set under `if nargout > 1` is left alone
    // when not asked for. Made before the stretches are split; keyed
    // "name/nargin/nargout" (nargout 0: any count), the keys standing for
    // names in the typed functions' maps.
    struct Version {
        std::size_t k = 0;  // the function's index
        std::size_t nargin = 0;
        unsigned int nargout = 0;
        std::unique_ptr<::mtrx::Function> f;
    };
    std::map<std::string, Version> m_versions;
    std::set<std::string> m_outputTests;  // functions whose versions are per nargout
    void MakeVersions();
    // The typed function call e for `nargout` outputs calls: a version's
    // key when it has a typed one, else the function's name.
    std::string VersionKey(const Expr &e, unsigned int nargout) const;
    // The function of typed function `key`: a version's copy or the
    // program's own.
    const ::mtrx::Function &VersionOf(std::size_t k, const std::string &key) const {
        const auto v = m_versions.find(key);
        return v != m_versions.end() ? *v->second.f : m_unit->program.functions[k];
    }
    // The C++ name of typed function `key`.
    std::string TypedName(const std::string &key) const;
    // Arguments (translate_arguments.cpp): the parameters of typed
    // functions that every call passes a logical scalar for, or an integer
    // scalar of one class, as the callers' inference finds their
    // arguments, become C++ bools and integers. `key` each typed
    // function's; the integer parameters' C++ types by key.
    void SurveyArguments();
    std::map<std::string, std::vector<std::string>> m_integerParams;
    const std::string &IntegerParam(const std::string &key, std::size_t j) const {
        static const std::string none;
        const auto found = m_integerParams.find(key);
        return found != m_integerParams.end() && j < found->second.size() ? found->second[j] : none;
    }
    // The C++ type of the first output of typed functions (by key):
    // double, bool for a logical scalar, or an integer type; and of the
    // DoubleCall e (a function over doubles gives a double).
    std::map<std::string, std::string> m_typedResults;
    const std::string &TypedResult(const Expr &e) const {
        static const std::string doubleType("double");
        const auto found = m_typedResults.find(VersionKey(e, 1));
        return found != m_typedResults.end() && TypedCall(e) ? found->second : doubleType;
    }
    // [a, b] = f(x) by a typed call (TypedSeveral), its targets whole
    // variables, no more than f's outputs: false when it cannot be one.
    bool TypedSeveral(const Stmt &s) const;
    bool TypedOutputs(const Stmt &s, int indent);
    bool m_noCalls = false;  // while a body is shown to call nothing

    // Scalar built-ins (translate_scalars.cpp): abs, mod, max... of double
    // scalars as calls of the library's element routines. The routine of
    // call e when it is one (the name not a variable, a local function or a
    // file's, every operand a ScalarExpr), else null; and its code.
    const char *ScalarBuiltinRoutine(const Expr &e, bool reads) const;
    std::string ScalarBuiltinCode(const Expr &e, bool raw) const;
    // Logical scalars (translate_scalars.cpp): true, false, comparisons of
    // double or logical scalars, ~, && and || of logical ones, and the
    // variables every assignment gives one: C++ bools, boxed to the
    // interpreter's logical where shown or passed. In arithmetic a logical
    // operand is the double 0 or 1.
    bool Logical(int slot) const { return m_scope->logicals.count(slot) != 0; }
    bool LogicalExpr(const Expr &e, bool reads = true) const;
    // Its code, element reads hoisted into the open list (LogicalCode), or
    // into a lambda of its own (LogicalStandalone).
    std::string LogicalCode(const Expr &e) const;
    std::string LogicalStandalone(const Expr &e) const;
    // Integer scalars of a class of at most 32 bits (translate_scalars.cpp):
    // int8(x) ... uint32(x) of a scalar, and + - * /, mod, rem, max and min
    // of one with itself or with a double or logical scalar. The C++ type of e when it is one,
    // else null; its code as LogicalCode's and LogicalStandalone's.
    const char *IntegerType(const Expr &e, bool reads = true) const;
    bool Integer(int slot) const { return m_scope->integers.count(slot) != 0; }
    std::string IntegerCode(const Expr &e) const;
    std::string IntegerStandalone(const Expr &e) const;
    // The statement var = value of a logical or integer variable.
    void TypedAssign(const Stmt &s, int indent);

    std::string m_file;
    std::size_t m_index;
    std::shared_ptr<SourceFiles> m_files;
    std::string m_source;
    std::shared_ptr<const Unit> m_unit;
    std::vector<std::string> m_lines;
    std::map<std::string, std::size_t> m_functions;
    std::map<std::string, bool> m_scripts;
    // The array constructors the program's calls reach (DoubleConstructors),
    // once looked up.
    std::unique_ptr<std::set<std::string>> m_constructors;
    const std::set<std::string> &DoubleConstructors();
    std::set<std::string> m_functionFiles;  // names found as function files
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
