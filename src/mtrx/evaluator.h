// src/mtrx/evaluator.h: runs parsed programs over workspaces of values.
#ifndef MTRX_EVALUATOR_H
#define MTRX_EVALUATOR_H

#include "display.h"
#include "error.h"
#include "lib/registry.h"
#include "parser.h"
#include "session.h"
#include "subscripts.h"
#include "value.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <ostream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mtrx {

/// Warns on standard error, through Evaluator::Warn, when a solve's
/// reciprocal condition estimate says its result may be wrong: "singular to
/// working precision" at 0 (identifier mtrx:singularMatrix), "close to
/// singular or badly scaled" below eps (mtrx:nearlySingularMatrix). NaN (no
/// estimate) warns nothing.
void WarnIfIllConditioned(Evaluator &evaluator, double rcond);

/// One array being subscripted, for end: its position among the count
/// subscripts.
class FileTable;
namespace plot {
class FigureSet;
}

struct EndContext {
    const Array *array;
    unsigned int position;
    unsigned int count;
};

/// A variable of a workspace, as who and whos list them.
struct VariableInfo {
    std::string name;
    const Value *value;
};

/// The interpreter state: the base workspace, the calls running, the
/// functions found so far.
class Evaluator {
public:
    Evaluator(std::ostream &display, const Limits &limits);
    ~Evaluator();

    /// Runs the statements of `unit` in the base workspace. Throws
    /// mtrx::Error or the library's exceptions; FailedFile() and
    /// FailedLine() then name the statement that failed.
    void Run(const std::shared_ptr<const Unit> &unit);
    const std::string &FailedFile() const { return m_failedFile; }
    /// Keeps the functions of `unit` defined for every later call, as
    /// functions typed at the prompt are; a name defined again is replaced.
    void Define(const std::shared_ptr<const Unit> &unit);
    int FailedLine() const { return m_failedLine; }
    /// The functions and script files the failure passed through, innermost
    /// first.
    const std::vector<StackEntry> &FailedStack() const { return m_failedStack; }
    /// For a built-in that handles errors itself (cellfun's ErrorHandler):
    /// take Depth() before the call that may fail, and Recovered(depth) once
    /// its error is handled, so that the next error is located afresh.
    std::size_t Depth() const { return m_ends.size(); }
    void Recovered(std::size_t depth) {
        m_ends.resize(depth);
        m_located = false;
    }

    /// Calls a function handle or, for a char array, the function of that
    /// name (feval).
    std::vector<Value> Invoke(const Value &f, const std::vector<Value> &args, unsigned int nargout);
    /// nargin(f) and nargout(f) of a function handle or a function name:
    /// the declared counts, negated when the last one is varargin or
    /// varargout (an anonymous function's outputs are those of its body's
    /// call: -1). Throws mtrx::Error for a name that is no function.
    std::pair<int, int> Arity(const Value &f);
    /// The variable `name` of the running workspace, or null.
    const Value *Variable(const std::string &name) { return Lookup(name); }
    void SetVariable(const std::string &name, Value v) {
        const std::uint32_t slot = Top().Add(name);
        Sync();
        Top().slots[slot] = std::move(v);
    }

    /// Arithmetic and comparisons of real double scalars, and element reads
    /// and writes of real double arrays, are computed in place instead of
    /// through the library, whose results they equal bit for bit; false sends
    /// every operation through the library.
    void SetScalarFastPath(bool on) { m_fastScalars = on; }

    /// The start time of tic.
    std::chrono::steady_clock::time_point &TicTime() { return m_tic; }
    /// The files fopen opened; closed when the evaluator ends.
    FileTable &Files();
    /// The figures of the session; made on first use.
    plot::FigureSet &Figures();
    /// The message of the last error caught by a try or reported at the
    /// prompt (lasterr).
    const std::string &LastError() const { return m_lastError; }
    const std::string &LastErrorIdentifier() const { return m_lastIdentifier; }
    void SetLastError(std::string message, std::string identifier) {
        m_lastError = std::move(message);
        m_lastIdentifier = std::move(identifier);
    }

    /// Prints "Warning: MESSAGE" on standard error, after flushing the
    /// display so the two streams keep their order, unless warnings of `id`
    /// (empty: none) or all warnings are off.
    void Warn(const std::string &id, const std::string &message);
    /// Turns the warnings of `id` ("all": every warning) off or on.
    void SetWarning(const std::string &id, bool on);
    bool WarningOn(const std::string &id) const;

    /// How values are shown, as format sets it.
    DisplayState &Display() { return m_displayState; }

    /// The variables of the running workspace, sorted by name.
    std::vector<VariableInfo> Variables();
    /// Removes the variables of the running workspace whose names match a
    /// pattern (`*` matches any run of characters); every one when
    /// `patterns` is empty.
    void ClearVariables(const std::vector<std::string> &patterns);
    /// Forgets the function files read so far: the next call reads them
    /// again.
    void ForgetFunctionFiles() {
        m_files.clear();
        ++m_generation;
    }
    /// The folders searched for function files after the caller's own
    /// folder and the current one, in order: MTRXPATH, as addpath and rmpath
    /// change it.
    const std::vector<std::string> &SearchPath() const { return m_path; }
    /// Replaces the search path: every name is looked up again at its next
    /// call.
    void SetSearchPath(std::vector<std::string> folders) {
        m_path = std::move(folders);
        m_files.clear();
        ++m_generation;
    }
    /// Runs the statements of `unit` in the running workspace, as keyboard
    /// does with a line typed; a failure leaves the place of the next one
    /// free to be found, as try does.
    void RunHere(const std::shared_ptr<const Unit> &unit);
    /// The value of `unit`, one expression statement, in the running
    /// workspace (input); fails as RunHere does.
    Value EvaluateHere(const std::shared_ptr<const Unit> &unit);
    /// Throws `error` as failing where `stack` (innermost first, as
    /// err.stack holds it) says, for rethrow: a try around it catches the
    /// same stack, and the report names the innermost frame with a line.
    /// An empty stack places the error at the running statement.
    [[noreturn]] void Rethrow(const Error &error, std::vector<StackEntry> stack);
    /// exist(name): 1 for a variable, 2 for a function or script file on
    /// the search path (or a file of that name), 5 for a built-in, else 0.
    int Exist(const std::string &name);
    /// True when the run has a step bound (Limits::max_steps): built-ins
    /// that wait return at once.
    bool Bounded() const { return m_limits.max_steps != 0; }
    /// Stops the program when an interrupt is pending (Ctrl-C); for
    /// built-ins that wait.
    void Poll() { CheckInterrupt(); }
    /// Native code of a user function (a program compiled by `mtrx build`):
    /// runs a whole call, its frame and counts included, as RunUser would.
    using NativeCall =
        std::function<std::vector<Value>(const std::vector<Value> &args, unsigned int nargout)>;
    /// Every call of `f` runs `call` instead of f's statements.
    void SetNative(const Function *f, NativeCall call) { m_natives[f] = std::move(call); }
    /// Native code of an anonymous function's body: its values for
    /// `nargout` outputs, its variables read from the running frame, which
    /// the call sets up as for the body itself.
    using NativeBody = std::function<std::vector<Value>(unsigned int nargout)>;
    void SetNativeBody(const Expr *anonymous, NativeBody body) {
        m_nativeBodies[anonymous] = std::move(body);
    }
    /// Native code of a script file's statements: run in the caller's frame,
    /// inside RunScript's bookkeeping, instead of interpreting them.
    using NativeScript = std::function<void()>;
    void SetNativeScript(const Unit *script, NativeScript run) {
        m_nativeScripts[script] = std::move(run);
    }
    /// The function file compiled from the file at `path`: a lookup that
    /// finds a file there (or the same file by another path) takes `unit`
    /// instead of reading it, and finds it even when the file is gone.
    void AddCompiledFile(const std::string &path, std::shared_ptr<const Unit> unit);
    /// Counts one step of a built-in's own loop (each call of a callback)
    /// against the step limit, so that a bounded run ends even when the
    /// callback runs no statement; stops on a pending interrupt too.
    void CountStep();

private:
    // A compiled program runs its statements itself and calls these
    // routines for their operations, so its results and messages are the
    // evaluator's.
    friend class Runtime;
    friend class Scope;
    class TargetPath;
    enum class Flow { Normal, Break, Continue, Return };
    // A workspace: its variables in slots, numbered by the resolver for the
    // function (or anonymous function) running in it. The base workspace,
    // and a function's once a script run in it or a write by name adds a
    // name, keep names of their own; that list only grows.
    struct Frame {
        std::vector<Value> slots;
        const std::vector<std::string> *names = nullptr;  // of the slots
        std::vector<std::string> own;
        std::unordered_map<std::string, std::uint32_t> index;  // of own
        // While a script's statements run here: their slots to these.
        const std::vector<std::uint32_t> *map = nullptr;
        std::shared_ptr<const Unit> unit;
        const Function *function = nullptr;
        unsigned int nargin = 0;
        unsigned int nargout = 0;
        // The slot of `name`, or -1.
        int Find(const std::string &name) const;
        // The slot of `name`, added (unset) when the frame has none.
        std::uint32_t Add(const std::string &name);
        // Empties the frame for another call of `names`.
        void Reset(const std::vector<std::string> *names);
    };
    // A function or script file running: the entry of the stack an error
    // reports. The base workspace's program is one too, unnamed unless it is
    // a script file.
    struct Activation {
        const Unit *unit;
        const Function *function;  // null for a script
        int line;
        const Handle *anonymous = nullptr;  // set for an anonymous function
    };
    // What a call site's name stands for when it is not a variable: cached
    // until the generation changes.
    struct SiteEntry {
        std::uint64_t generation = 0;
        std::uint64_t serial = 0;  // of the program the site is in
        std::shared_ptr<const Unit> unit;
        const Function *function = nullptr;  // a user function; both null: a builtin
        const BuiltinEntry *builtin = nullptr;
        bool script = false;
    };
    // A function found by name from some folder.
    struct Found {
        std::shared_ptr<const Unit> unit;
        const Function *function = nullptr;  // null: the file is a script
    };

    Flow Execute(const Block &block);
    Flow Execute(const Stmt &s);
    Flow ExecuteStatement(const Stmt &s);
    void ExecuteExpression(const Stmt &s);
    void ExecuteAssign(const Stmt &s);
    void AssignTarget(const Stmt &s, const Target &t, Value value, bool deletion);
    // True for the targets that may name several places at once: c{I},
    // s.name and s(I).name.
    bool IsListTarget(const Target &t);
    // How many values target t takes in [...] = ...: the places it names
    // inside its variable as it is now, 1 for any other target.
    std::size_t TargetCount(const Target &t);
    // Assigns values, one per place, to a list target (IsListTarget) whose
    // TargetCount they match.
    void AssignList(const Target &t, std::vector<Value> values);
    // The cores of TargetCount and AssignList on the variable's value (null
    // when unset) and the target's steps: the count, and the new value.
    std::size_t ListCount(const Value *current, PathSource &path);
    Value ListAssigned(const Value *current, PathSource &path, std::vector<Value> values);
    Flow ExecuteFor(const Stmt &s);
    Flow IterateOver(const Stmt &s, const Value &range);
    template <class Items>
    Flow IterateColumns(const Stmt &s, const Items &columns);
    // first:second or first:second:third, built.
    Value RangeOf(const Value &first, const Value &second, const Value *third);
    // The condition of an if or a while: whether `e` is true.
    // The truth of a condition; an operand of && or || must be one element.
    bool Truth(const Expr &e, bool operandOfShortCircuit = false);
    // True when evaluating `e` can have no effect beyond its value: numbers,
    // set variables, end, and operators on those.
    bool Pure(const Expr &e);
    // Evaluates `e` when it is pure scalar arithmetic whose result the
    // library would give bit for bit (numbers, scalar variables, elements
    // of real double arrays, + - * / and signs, no NaN): true with the
    // result in out. False leaves nothing changed, so the caller evaluates
    // `e` the general way.
    bool EvalScalar(const Expr &e, double &out);
    // EvalScalar of an element x(i), x(i, j) or of end: out of line, to keep
    // the arithmetic's frame small.
    [[gnu::noinline]] bool ScalarElement(const Expr &e, double &out);
    // A number or a variable holding a Tag::Scalar: true with its value in
    // out. False for anything else, out unchanged.
    [[gnu::always_inline]] bool ScalarLeaf(const Expr &e, double &out) {
        if (e.kind == Expr::Kind::Number) {
            out = e.number;
            return true;
        }
        if (e.kind == Expr::Kind::Name) {
            const Value &v = Var(e.slot);
            if (v.tag() == Tag::Scalar) {
                out = v.scalar();
                return true;
            }
        }
        return false;
    }
    // True for the operators the scalar path computes: + - * / and their
    // element-wise forms, whose double results the library gives the same.
    static bool ScalarArithmetic(Op op) {
        constexpr std::uint32_t kTaken =
            1u << static_cast<int>(Op::Plus) | 1u << static_cast<int>(Op::Minus) |
            1u << static_cast<int>(Op::Mtimes) | 1u << static_cast<int>(Op::Times) |
            1u << static_cast<int>(Op::Mrdivide) | 1u << static_cast<int>(Op::Rdivide);
        static_assert(static_cast<int>(Op::None) < 32, "the operators fit the mask");
        return (kTaken >> static_cast<int>(op) & 1u) != 0;
    }
    // x op y for an op that ScalarArithmetic takes; false for a NaN result,
    // whose bits the library decides (a NaN operand gives one).
    [[gnu::always_inline]] static bool Arithmetic(Op op, double x, double y, double &out) {
        switch (op) {
            case Op::Plus: out = x + y; break;
            case Op::Minus: out = x - y; break;
            case Op::Mtimes:
            case Op::Times: out = x * y; break;
            default: out = x / y; break;
        }
        return !std::isnan(out);
    }
    // EvalScalar with leaves, and arithmetic on two leaves, taken without a
    // call.
    [[gnu::always_inline]] bool ScalarOperand(const Expr &e, double &out) {
        if (ScalarLeaf(e, out)) return true;
        if (e.kind == Expr::Kind::Binary && ScalarArithmetic(e.op)) {
            double x;
            double y;
            if (ScalarLeaf(*e.lhs, x) && ScalarLeaf(*e.rhs, y)) return Arithmetic(e.op, x, y, out);
        }
        return EvalScalar(e, out);
    }
    // x(i) or x(i, j) of a real double array and whole subscripts inside it,
    // read or written without the library's indexing; false when the fast
    // way does not apply (the caller then takes the general one).
    bool ReadElement(const Expr &e, const Value &base, Value &out);
    bool WriteElement(const Target &t, const Value &rhs);
    bool ElementPosition(const std::vector<ExprPtr> &subscripts, const Array &a,
                         std::size_t &position);
    Flow ExecuteTry(const Stmt &s);
    Flow ExecuteSwitch(const Stmt &s);
    // Counts a statement or loop iteration against the step limit, and stops
    // the program when an interrupt is pending.
    void Step();
    // Step's rare cases: the step limit reached or an interrupt pending.
    [[gnu::noinline, gnu::cold]] void StepSlow();
    void CheckInterrupt();

    Value Evaluate(const Expr &e);
    Value EvaluateBinary(const Expr &e);
    const Value &Peek(const Expr &e, std::optional<Value> &holder);
    std::vector<Value> EvaluateMulti(const Expr &e, unsigned int nargout);
    std::vector<Value> CallName(const Expr &e, unsigned int nargout);
    std::vector<Value> CallFunction(const std::string &name, const std::vector<Value> &args,
                                    unsigned int nargout, const std::shared_ptr<const Unit> &from,
                                    int site = -1);
    // The callee of `name` at `site` (scratch when there is no site),
    // resolved and cached. Throws for an undefined name.
    SiteEntry &Callee(const std::string &name, const std::shared_ptr<const Unit> &from, int site,
                      SiteEntry &scratch);
    // Calls the function that `e` (a name not a variable) names for one
    // output into `out`; false when `e` is not a plain call.
    bool CallDirect(const Expr &e, Value &out);
    // Runs f on args[0..count): its outputs appended to `outs`, or the first
    // (when set) moved into `first`.
    void RunUser(const std::shared_ptr<const Unit> &unit, const Function &f, const Value *args,
                 std::size_t count, unsigned int nargout, std::vector<Value> *outs, Value *first);
    std::vector<Value> RunScript(const std::string &name, const std::shared_ptr<const Unit> &unit,
                                 const std::vector<Value> &args);
    std::vector<Value> CallUser(const std::shared_ptr<const Unit> &unit, const Function &f,
                                const std::vector<Value> &args, unsigned int nargout);
    std::vector<Value> CallAnonymous(const Handle &h, const std::vector<Value> &args,
                                     unsigned int nargout);
    std::vector<Value> Arguments(const std::vector<ExprPtr> &args, std::size_t first = 0);
    std::vector<Array> Subscripts(const Array &a, const std::vector<ExprPtr> &args,
                                  std::size_t first = 0);
    Value Subscripted(const Value &base, const Expr &e);
    // base(S) or base{S} (brace), the subscripts from `subs`; a handle
    // indexed is called. `named` is a call written name(S) of a variable.
    Value Index(const Value &base, bool brace, bool named, SubscriptSource &subs);
    // The value of a field of a 1x1 struct; refuses a struct array.
    Value FieldElement(const StructArray &record, std::size_t field);
    Value Matrix(const Expr &e);
    // [rows]: the items of each row evaluated and expanded.
    Value JoinRows(std::vector<std::vector<Value>> &rows);
    Value CellLiteral(const Expr &e);
    // {rows}: the items of each row evaluated and expanded.
    Value CellRows(std::vector<std::vector<Value>> &items);
    // a op b, op u: the operators on values.
    Value BinaryValues(Op op, const Value &a, const Value &b);
    Value UnaryValue(Op op, const Value &a);
    // The truth of a condition's value.
    bool ValueTruth(const Value &v, bool operandOfShortCircuit);
    // Whether a case label selects its branch for the switch value.
    bool CaseMatches(const Value &subject, const Value &label);
    // A try caught an error: lasterr set, and the error struct (message,
    // identifier, stack) stored in *err when there is a catch variable.
    void Caught(const std::string &message, const std::string &identifier, Value *err);
    Value JoinCells(const std::vector<std::vector<Value>> &rows);
    // Appends the value of `e` to `out`, or for c{...} every cell it selects.
    void Expand(const Expr &e, std::vector<Value> &out);
    // The struct (array) `base` and the position of the field e (a Field
    // node) names in it; throws for a base that is not a struct and for a
    // field it lacks.
    const StructArray &FieldOf(const Value &base, const Expr &e, std::size_t &field);
    const StructArray &FieldOf(const Value &base, const std::string &name, std::size_t &field);
    std::string FieldName(const Accessor &acc);
    std::string FieldNameOf(const Value &v);
    Value AssignElement(const Value *current, PathSource &t, std::size_t k, const Value &rhs,
                        bool deletion);
    Value MakeHandle(const Expr &e);
    Value AssignPath(const Value *current, PathSource &t, std::size_t k, const Value &rhs,
                     bool deletion);
    bool Resolve(const std::string &name, const std::shared_ptr<const Unit> &from, Found &f);
    std::shared_ptr<const Unit> Load(const std::string &path);
    // The compiled unit standing for the file at `path`, or null.
    std::shared_ptr<const Unit> CompiledFile(const std::string &path) const;

    Frame &Top() { return *m_top; }
    Value *Lookup(const std::string &name);
    // The variable in `slot` of the running code, or null when it is unset.
    Value *Lookup(int slot) {
        Value &v = Var(slot);
        return v.IsUnset() ? nullptr : &v;
    }
    // The slot itself, set or not. A script's slots go through its map.
    Value &Var(int slot) {
        const auto k = static_cast<std::size_t>(slot);
        return m_slots[m_map ? m_map[k] : k];
    }
    // Takes the running frame's slots and map again, after they may have
    // moved or changed.
    void Sync() {
        m_slots = m_top->slots.data();
        m_map = m_top->map ? m_top->map->data() : nullptr;
    }
    // Pushes a frame for a call, reusing one popped before.
    Frame &PushFrame(const std::vector<std::string> *names);
    void PopFrame();
    // Runs the statements of a script in the running frame, its names
    // mapped to the frame's.
    void RunStatements(const Unit &unit);
    void Locate(int line);
    // Refuses a call beyond the depth limit; every call also takes a pending
    // interrupt here.
    void CheckDepth(const std::string &callee);

    std::ostream &m_display;
    Limits m_limits;
    std::vector<std::unique_ptr<Frame>> m_frames;  // the first m_depth are running
    std::size_t m_depth = 0;
    Frame *m_top = nullptr;
    Value *m_slots = nullptr;                 // m_top's
    const std::uint32_t *m_map = nullptr;     // m_top's, null when it has none
    std::vector<SiteEntry> m_sites;  // by call site number
    std::uint64_t m_generation = 1;
    std::vector<EndContext> m_ends;
    std::map<std::string, Found> m_files;  // folder/name -> function, or none
    std::map<std::string, Found> m_defined;  // functions typed at the prompt
    std::vector<std::string> m_path;       // MTRXPATH folders
    std::unordered_map<const Function *, NativeCall> m_natives;
    std::unordered_map<const Expr *, NativeBody> m_nativeBodies;
    std::unordered_map<const Unit *, NativeScript> m_nativeScripts;
    // Compiled function files: by the path they were found at, and by the
    // file's canonical path when it existed.
    std::map<std::string, std::shared_ptr<const Unit>> m_compiledFiles;
    std::unique_ptr<FileTable> m_openFiles;
    std::unique_ptr<plot::FigureSet> m_figures;
    // Steps the run may still take, plus one: the step that brings it to 0
    // is over the limit.
    std::uint64_t m_stepsLeft = ~std::uint64_t{0};
    std::size_t m_scriptDepth = 0;  // script files running inside one another
    bool m_located = false;
    bool m_fastScalars = true;
    std::string m_failedFile;
    int m_failedLine = 0;
    std::vector<StackEntry> m_failedStack;
    std::vector<Activation> m_calls;
    // Takes the stack of running activations as the failure's.
    void TakeStack();
    std::chrono::steady_clock::time_point m_tic = std::chrono::steady_clock::now();
    std::string m_lastError;
    std::string m_lastIdentifier;
    DisplayState m_displayState;
    std::set<std::string> m_warningsOff;
    bool m_allWarningsOff = false;
    // The call being made by CallName, for BuiltinCall::site.
    const Expr *m_site = nullptr;
};

}  // namespace mtrx

#endif  // MTRX_EVALUATOR_H
