// src/mtrx/runtime/runtime.h: what a program compiled by `mtrx build` calls.
// The compiled code holds its variables and runs its statements itself;
// every operation on values goes through the interpreter's own routines, so
// results, displays and messages are the interpreter's by construction.
#ifndef MTRX_RUNTIME_RUNTIME_H
#define MTRX_RUNTIME_RUNTIME_H

#include "error.h"
#include "parser.h"
#include "runtime/elements.h"
#include "runtime/scalars.h"
#include "value.h"

#include <matrix/construct.h>

#include <cmath>
#include <cstdint>
#include <exception>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

// The groups of statements compiled code runs (each a lambda called in
// place): functions of their own, so that the C++ compiler never meets one
// huge function. Groups that compute with no double variable only call the
// runtime, and the script's groups run once: GCC compiles those at -O1,
// contraction off as everywhere (the operations and their order are the
// same at every level; only the speed of double arithmetic would differ).
#if defined(__GNUC__)
#define MTRX_STATEMENTS __attribute__((noinline))
#else
#define MTRX_STATEMENTS
#endif
#if defined(__GNUC__) && !defined(__clang__)
#define MTRX_DYNAMIC_STATEMENTS __attribute__((noinline, optimize("O1", "fp-contract=off")))
#else
#define MTRX_DYNAMIC_STATEMENTS MTRX_STATEMENTS
#endif
// Loops checked ahead (plain loads and stores): GCC's -O2 vectorizes only
// loops whose counts it knows; these it may vectorize after a run-time test
// of their count and of the overlap of their arrays. Each lane does the
// element's own operations in the element's order: the same bits.
#if defined(__GNUC__) && !defined(__clang__)
#define MTRX_LOOP_STATEMENTS \
    __attribute__((noinline, optimize("tree-loop-vectorize", "vect-cost-model=dynamic", "fp-contract=off")))
#else
#define MTRX_LOOP_STATEMENTS MTRX_STATEMENTS
#endif

namespace mtrx {

class Evaluator;
class Runtime;
using Values = std::vector<Value>;

/// A callable passed down a call and not kept: a pointer to the caller's
/// function object and a plain function calling it. Compiled code passes a
/// lambda for every subscript list; a std::function would instantiate a
/// manager and an invoker for each and cost the C++ compiler far more.
template <typename Signature>
class FunctionRef;
template <typename R, typename... A>
class FunctionRef<R(A...)> {
public:
    FunctionRef() = default;
    FunctionRef(std::nullptr_t) {}
    template <typename F, typename = std::enable_if_t<!std::is_same<std::decay_t<F>, FunctionRef>::value &&
                                                      !std::is_same<std::decay_t<F>, std::nullptr_t>::value>>
    FunctionRef(F &&f)  // NOLINT: converts as std::function does
        : m_object(const_cast<void *>(static_cast<const void *>(&f))),
          m_call([](void *object, A... a) -> R {
              return (*static_cast<std::remove_reference_t<F> *>(object))(static_cast<A &&>(a)...);
          }) {}
    R operator()(A... a) const { return m_call(m_object, static_cast<A &&>(a)...); }
    explicit operator bool() const { return m_call != nullptr; }

private:
    void *m_object = nullptr;
    R (*m_call)(void *, A...) = nullptr;
};

/// The subscripts of one index, or the arguments of a call, as compiled
/// code fills them in order. Subscripts are checked as they come, and
/// `end` stands for the extents of the array being indexed; arguments
/// expand c{:} and s.name lists and pass a bare colon as ':'.
class List {
public:
    /// Subscripts of `array`. With `element`, the first two subscripts that
    /// are whole real scalars from 1 up are held as numbers, for the element
    /// path, until one of another kind comes.
    List(Runtime &rt, const Array *array, bool element = false)
        : m_rt(rt), m_array(array), m_element(element) {}
    /// Arguments.
    explicit List(Runtime &rt) : m_rt(rt) {}
    void Add(Value v);
    void Colon();
    /// c{S} here: every cell selected, or as a subscript the one cell.
    void Brace(const Value &base, unsigned int count, const FunctionRef<void(List &)> &subs);
    /// s.name here: the field of every element, or as a subscript of one.
    void Field(const Value &base, const std::string &name);
    /// end at position k of the n subscripts.
    Value End(unsigned int k, unsigned int n) const;
    bool Subscripting() const { return m_array != nullptr; }
    std::vector<Array> TakeSubscripts() {
        Release();
        return std::move(m_subs);
    }
    /// The subscripts held as numbers: every one written when `count`
    /// of them were, else none.
    const double *Element(unsigned int count) const {
        return m_element && m_held == count ? m_index : nullptr;
    }
    Values TakeValues() { return std::move(m_values); }

private:
    // The held numbers as subscripts, in their order before the next.
    void Release();

    Runtime &m_rt;
    const Array *m_array = nullptr;
    std::vector<Array> m_subs;
    Values m_values;
    bool m_element = false;
    unsigned int m_held = 0;
    double m_index[2] = {0.0, 0.0};
};

/// The arguments of a call written as a braced list, so evaluated left to
/// right, each value moved into the list (an initializer list would copy
/// every value, and the copy of an array shares it anew).
class ArgList {
public:
    template <typename... T>
    ArgList(T &&...v) {  // NOLINT: converts as a braced Values list does
        m_values.reserve(sizeof...(T));
        (m_values.emplace_back(std::forward<T>(v)), ...);
    }
    operator Values() && { return std::move(m_values); }  // NOLINT

private:
    Values m_values;
};

/// Fills a List: the subscripts or arguments as written. Lives for the
/// statement that passes it.
using Fill = FunctionRef<void(List &)>;

/// One step of an assignment target after its variable: (S), {S}, .name
/// or .(expression). Steps live in the initializer list of the call they
/// are written in, as the lambdas they refer to.
struct Step {
    Accessor::Kind kind;
    unsigned int count;                    // subscripts of (S) and {S}
    Fill subs;                             // of (S) and {S}
    std::string field;                     // of .name
    FunctionRef<Value()> dynamicField;     // of .(expression)
    static Step Paren(unsigned int n, Fill f) { return {Accessor::Kind::Paren, n, std::move(f), {}, {}}; }
    static Step Brace(unsigned int n, Fill f) { return {Accessor::Kind::Brace, n, std::move(f), {}, {}}; }
    static Step Field(std::string name) { return {Accessor::Kind::Field, 0, {}, std::move(name), {}}; }
    static Step Dynamic(FunctionRef<Value()> f) {
        return {Accessor::Kind::Field, 0, {}, {}, std::move(f)};
    }
};

/// A call site of compiled code that names a function file: the compiled
/// function the name stood for when last looked up, kept until a lookup
/// could find something else.
struct CallSite {
    std::uint64_t generation = 0;
    const void *from = nullptr;
    Values (*native)(Runtime &, const Values &, unsigned int) = nullptr;
};

/// The source files of a compiled program, as `mtrx build` read them: the
/// program parses them again at its start for the names, lines and
/// anonymous functions that messages and handles refer to.
struct SourceFile {
    const char *path;
    const char *text;
    /// The compiled functions of the file, one for each of its functions in
    /// order (or none): every call of one, through a handle, feval or the
    /// interpreter too, runs the compiled code. Files after the first are
    /// function files found on the path, found there again by the lookup.
    std::vector<Values (*)(Runtime &, const Values &, unsigned int)> functions = {};
    /// The compiled bodies of its anonymous functions (or none), in the
    /// order of AnonymousFunctions: each gives the body's values for
    /// nargout outputs in the frame the call sets up, as Scope(rt) sees it.
    std::vector<Values (*)(Runtime &, unsigned int)> anonymous = {};
    /// A script file's compiled statements (or none): every run of the
    /// script, by a call of its name from compiled or interpreted code,
    /// runs them in the caller's frame.
    void (*script)(Runtime &) = nullptr;
};

/// A function of the program running: pushed when it starts, popped when
/// it ends. Keeps the line of its running statement for the messages.
class Scope {
public:
    /// The script itself (file 0), in the base workspace; or the body of an
    /// anonymous function, in the frame its call pushed.
    explicit Scope(Runtime &rt);
    /// Function `function` of source file `file`, called with `count`
    /// arguments for `nargout` outputs: the counts checked as any call's.
    Scope(Runtime &rt, unsigned int file, unsigned int function, std::size_t count,
         unsigned int nargout);
    /// The same called from compiled code over doubles with every
    /// parameter, for `nargout` outputs, no more than it has: the counts
    /// fit, and the frame holds no slots, since the compiled body keeps its
    /// variables itself and calls nothing that reaches them by name.
    struct Direct {};
    Scope(Runtime &rt, unsigned int file, unsigned int function, Direct, unsigned int nargout = 1);
    /// The same with the first `nargin` parameters (~0u: every one).
    Scope(Runtime &rt, unsigned int file, unsigned int function, Direct, unsigned int nargout,
          unsigned int nargin);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

    /// A statement of line `line` starts.
    void At(int line);
    /// Errors from here on belong to the statement of `line` (a while's
    /// condition tested again), the running line unchanged.
    void Where(int line) { m_where = line; }
    /// An error left the function: its place is the running statement's.
    void Fail();
    /// A try caught `error`: lasterr, and the error struct in *err.
    void Caught(const std::exception &error, Value *err);

    /// Argument k, unset when not given; the arguments from k on as the
    /// varargin cell.
    static Value Arg(const Values &args, std::size_t k) {
        return k < args.size() ? args[k] : Value::Unset();
    }
    static Value Varargin(const Values &args, std::size_t k);
    Value Nargin() const;
    Value Nargout() const;
    /// The same as doubles, for typed code.
    double NarginCount() const { return m_nargin; }
    double NargoutCount() const { return m_nargout; }
    /// The outputs, from the output variables in order.
    Values Outputs(std::initializer_list<Value *> outputs, unsigned int nargout);

    /// A function that reaches its workspace by name (who, clear, exist,
    /// save, load, input, keyboard, a script file it runs) keeps its variables
    /// in its interpreter frame: Slot(k) is variable k of the resolver's
    /// list. Workspace() maps the variables of source file `file` (a
    /// script: the program, or a script file it runs) into the running
    /// frame first (the base workspace, or the caller's). The slots may move
    /// when a name is added: take a slot again for each use.
    void Workspace(unsigned int file = 0);
    Value &Slot(unsigned int k) { return (*m_slots)[m_map.empty() ? k : m_map[k]]; }

private:
    // Its slow paths run the interpreter at the place Where set.
    friend class Elements;
    Runtime &m_rt;
    std::vector<Value> *m_slots = nullptr;  // of the frame
    std::vector<std::uint32_t> m_map;       // the script's slots to the frame's
    const Function *m_function = nullptr;
    unsigned int m_nargin = 0;
    unsigned int m_nargout = 0;
    int m_where = 0;
};

/// The running program: the interpreter state that built-ins, handles and
/// function files run in.
class Runtime {
public:
    /// Runs `script` as `mtrx FILE` runs a script: its output, its error
    /// report and its exit status.
    static int Main(int argc, char **argv, std::vector<SourceFile> sources,
                    void (*script)(Runtime &));

    /// The operands of a binary operator, evaluated left to right.
    struct Operands {
        Value a;
        Value b;
    };
    Value Binary(Op op, const Operands &operands);
    Value Unary(Op op, const Value &a);
    /// Arithmetic of real double scalars as the interpreter computes it, in
    /// place: the plain IEEE operation, inline and without a call, so that
    /// the variables of a loop stay in registers. A NaN result is computed
    /// again by the library itself, out of line: which NaN operand's bits
    /// the library passes on is the compiler's choice of operand order, so
    /// no rule written here could match every build.
    static double Add(double x, double y) {
        const double r = x + y;
        return __builtin_expect(r == r, 1) ? r : LibraryNaN(Op::Plus, x, y);
    }
    static double Sub(double x, double y) {
        const double r = x - y;
        return __builtin_expect(r == r, 1) ? r : LibraryNaN(Op::Minus, x, y);
    }
    static double Mul(double x, double y) {
        const double r = x * y;
        return __builtin_expect(r == r, 1) ? r : LibraryNaN(Op::Times, x, y);
    }
    static double Div(double x, double y) {
        const double r = x / y;
        return __builtin_expect(r == r, 1) ? r : LibraryNaN(Op::Rdivide, x, y);
    }
    /// Negation flips the sign bit, of a NaN too, as the library's Uminus.
    static double Neg(double x) { return -x; }
    /// x op y computed by the library (op one of Plus, Minus, Times, Rdivide).
    [[gnu::cold, gnu::noinline]] static double LibraryNaN(Op op, double x, double y);
    /// The truth of a condition, and of an operand of && or ||.
    bool Truth(const Value &v);
    bool Operand(const Value &v);
    static Value Logical(bool b);
    /// first:last or first:step:last.
    Value Range(const Values &operands);
    static Value Char(const char *text);
    static Value String(const char *text);
    static Value Imaginary(double im);
    Value Matrix(std::vector<Values> rows);
    Value Cell(std::vector<Values> rows);

    /// name(args): a built-in, a function file or a local function left to
    /// the interpreter, for `nargout` outputs.
    Values Call(const char *name, Values args, unsigned int nargout);
    /// name(args) at `site`: looked up as Call looks it up, and a compiled
    /// function found there called directly.
    Values Call(CallSite &site, const char *name, Values args, unsigned int nargout);
    /// name(args) written with one argument that is a name, given as
    /// `argument`: display() takes that name from the call as written.
    Values CallNamed(const char *name, Values args, unsigned int nargout, const char *argument);
    /// A variable named alone for nargout outputs: a handle is called when
    /// none is wanted, else the value.
    Values Named(const Value &v, unsigned int nargout);
    /// The first output of a call needing one.
    static Value First(Values outputs, const char *name);
    /// Refuses fewer outputs of `name` than the targets take, and a list
    /// of fewer values.
    static void NeedOutputs(const Values &outputs, std::size_t count, const char *name);
    static void NeedValues(const Values &values, std::size_t count);
    /// Throws mtrx::Error(message): a construct that always fails.
    [[noreturn]] static Value Raise(const char *message);
    /// The arguments a Fill gives.
    Values Args(const Fill &fill);
    /// name(S) of the variable `base`: its elements, or the call of the
    /// handle it holds.
    Values IndexName(const Value &base, unsigned int count, const Fill &subs, unsigned int nargout);
    /// base(S) and base{S}: one value.
    Value Index(const Value &base, unsigned int count, const Fill &subs);
    /// name(S) of the variable `base` for one value: IndexName's first.
    Value IndexOne(const Value &base, unsigned int count, const Fill &subs, const char *name);
    Value Brace(const Value &base, unsigned int count, const Fill &subs);
    /// base.name (one struct), and the name of a .(expression).
    Value Field(const Value &base, const std::string &name);
    std::string FieldName(const Value &v);
    /// c{S} and s.name as statements or in [...] = ...: every value.
    Values BraceList(const Value &base, unsigned int count, const Fill &subs);
    Values FieldList(const Value &base, const std::string &name);
    /// current.steps = rhs (or = [] when `deletion`) through a copy: the new
    /// value of the variable.
    Value Assign(const Value &current, std::initializer_list<Step> steps, const Value &rhs,
                 bool deletion);
    /// How many values the list target current.steps (c{I}, s.name,
    /// s(I).name) takes in [...] = ..., and the variable with them stored.
    std::size_t ListCount(const Value &current, std::initializer_list<Step> steps);
    Value AssignList(const Value &current, std::initializer_list<Step> steps, Values values);
    /// values[next .. next + count), moved out; next moves past them.
    static Values Take(Values &values, std::size_t &next, std::size_t count);
    /// @name, and @(params) body: anonymous function `k` of source file
    /// `file`, with the values its body reads from the workspace.
    Value Handle(const char *name, unsigned int file);
    Value Anonymous(unsigned int file, unsigned int k, Values captured);
    /// Whether a case label selects its branch.
    bool Case(const Value &subject, const Value &label);
    /// Shows the result of a statement without ';'.
    void Show(const char *name, const Value &v);

    Evaluator &evaluator() { return *m_evaluator; }

    /// A function compiled into a C++ library (mtrx build --function): runs
    /// `entry`, the first function of `sources[0]` (the others: the function
    /// files compiled in with it), on `args` for `nargout`
    /// outputs, in the interpreter's order (kFast unless RUL2MTRX_ORDER is
    /// set), the calling thread's order restored after. Each source keeps
    /// one interpreter state for the process; calls run one at a time.
    /// Every failure comes out as kiv::matrix::CFunctionErrorException with
    /// the interpreter's message.
    using Entry = Values (*)(Runtime &, const Values &, unsigned int);
    static Values CallLibrary(const std::vector<SourceFile> &sources, Entry entry, Values args,
                              unsigned int nargout);
    /// The argument `input` of `function` as a value; a null array is refused.
    static Value LibraryInput(const kiv::matrix::Array &a, const char *function, const char *input);
    /// outputs[k] of `function`, whose output is named `output`, as an
    /// Array; a cell, struct, string or handle is refused.
    static kiv::matrix::Array LibraryOutput(const Values &outputs, std::size_t k,
                                            const char *function, const char *output);
    /// `inputs` appended to `args` as values, each checked as LibraryInput;
    /// those past the `names` of the function's inputs are its
    /// varargin{1}, varargin{2}, ... in messages.
    static void LibraryInputs(Values &args, const std::vector<kiv::matrix::Array> &inputs,
                              const char *function, std::initializer_list<const char *> names);
    /// The first `nargout` outputs as arrays, each checked as LibraryOutput;
    /// those past the `names` of the function's outputs are its
    /// varargout{1}, varargout{2}, ... in messages. None for nargout 0.
    static std::vector<kiv::matrix::Array> LibraryOutputs(const Values &outputs,
                                                          unsigned int nargout,
                                                          const char *function,
                                                          std::initializer_list<const char *> names);

private:
    friend class Scope;
    friend class List;
    Runtime();
    ~Runtime();
    // Parses the sources and registers their compiled functions and
    // anonymous bodies with the evaluator. Throws on a syntax error.
    void Load(const std::vector<SourceFile> &sources);
    // base(S) of an array: an element of a real double array read in place
    // by whole scalar subscripts, as the interpreter reads it, else the
    // general indexing with the subscripts already evaluated.
    Value IndexArray(const Value &base, unsigned int count, const Fill &subs, bool named);

    std::unique_ptr<Evaluator> m_evaluator;
    std::vector<std::shared_ptr<const Unit>> m_units;
    std::vector<std::vector<const Expr *>> m_anonymous;  // per unit, in source order
    std::unordered_map<const Function *, Values (*)(Runtime &, const Values &, unsigned int)>
        m_compiled;
};

/// A for loop's values: the columns of a range or of any value, a:b and
/// a:s:b stepped through without being built.
class Loop {
public:
    Loop(Runtime &rt, const Value &range);
    /// first:last or first:step:last, the operands in `range`.
    Loop(Runtime &rt, const Values &range, bool colon);
    /// The next value into `v`; false when there is none.
    bool Next(Value &v);

private:
    void Over(const Value &range);
    bool m_stepped = false;
    kiv::matrix::ColonShape m_shape{0.0, false};
    double m_start = 0.0, m_step = 1.0, m_end = 0.0;
    bool m_endless = false;
    unsigned long long m_count = 0, m_k = 0;
    Value m_range;
    unsigned int m_rows = 0;
    bool m_plainRow = false;
    bool m_cells = false, m_strings = false;
};

/// The frame of a local function compiled over doubles, which can neither
/// fail nor call anything: it has no place to keep.
struct NoFrame {
    void Where(int) {}
};

/// Keeps a loop's copy of a double variable apart from the variable, so
/// that the copy lives in a register through the loop while the variable,
/// read around calls elsewhere, may live in memory.
inline void Detach(double &x) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __asm__("" : "+x"(x));
#elif defined(__GNUC__) && defined(__aarch64__)
    __asm__("" : "+w"(x));
#else
    (void)x;
#endif
}

/// A for loop over first:last or first:step:last of real double scalars,
/// into a double: element k is the one Colon would store there.
class ScalarLoop {
public:
    [[gnu::always_inline]] ScalarLoop(double first, double last) : ScalarLoop(first, 1.0, last) {}
    // Inline, so that the loop's state stays in registers around the calls
    // the body makes: always, as a large function around the loop would
    // otherwise exhaust the compiler's budget for inlining first.
    [[gnu::always_inline]] ScalarLoop(double first, double step, double last)
        : m_start(first), m_step(step), m_end(last) {
        // Whole numbers of magnitude at most 2^50 count in integers, as
        // ColonCount counts them: no quotient of such a range comes within
        // its tolerance of a whole number without being one.
        if (__builtin_expect(SmallWhole(first) && SmallWhole(step) && SmallWhole(last) && step != 0.0, 1)) {
            const auto d = static_cast<long long>(last) - static_cast<long long>(first);
            const auto s = static_cast<long long>(step);
            // Steps of one without a division: an inner loop starts often.
            const bool unit = s == 1 || s == -1;
            const long long count = d == 0 ? 1 : (d > 0) != (s > 0) ? 0 : (unit ? d * s : d / s) + 1;
            m_shape = {static_cast<double>(count), count > 0 && (unit || d % s == 0)};
            m_endless = false;
            m_count = static_cast<unsigned long long>(count);
            m_whole = true;
            m_next = first;
            return;
        }
        m_shape = kiv::matrix::ColonCount(first, step, last);
        // A range too long to count exactly (1:1e20, 1:Inf) runs until a
        // break.
        m_endless = !(m_shape.count < 0x1p53);
        m_count = m_endless ? ~0ull : static_cast<unsigned long long>(m_shape.count);
        // Whole numbers below 2^53 step exactly: each element is the one
        // before plus the step, as ColonElement gives it.
        m_whole = !m_endless && std::fabs(first) < 0x1p52 && std::fabs(step) < 0x1p52 &&
                  std::fabs(first + static_cast<double>(m_count) * step) < 0x1p52 &&
                  first == static_cast<double>(static_cast<long long>(first)) &&
                  step == static_cast<double>(static_cast<long long>(step));
        m_next = first;
    }
    /// Whole numbers stepping exactly: Count() values, First() and each
    /// after it the one before plus Step(), as a counted loop runs them.
    bool Whole() const { return m_whole; }
    unsigned long long Count() const { return m_count; }
    double First() const { return m_start; }
    double Step() const { return m_step; }
    [[gnu::always_inline]] bool Next(double &v) {
        if (m_k >= m_count) return false;
        const unsigned long long k = m_k++;
        if (m_whole) {
            v = m_next;
            m_next += m_step;
            return true;
        }
        v = m_endless ? m_start + static_cast<double>(k) * m_step
                      : kiv::matrix::ColonElement(m_shape, m_start, m_step, m_end, k);
        return true;
    }

private:
    [[gnu::always_inline]] static bool SmallWhole(double x) {
        return x >= -0x1p50 && x <= 0x1p50 && static_cast<double>(static_cast<long long>(x)) == x;
    }

    double m_start, m_step, m_end;
    double m_next;
    bool m_whole;
    kiv::matrix::ColonShape m_shape;
    bool m_endless;
    unsigned long long m_count, m_k = 0;
};

/// The anonymous functions of a program, those nested in another's body
/// too, in the order the compiler and the compiled program both number
/// them.
std::vector<const Expr *> AnonymousFunctions(const Program &program);

}  // namespace mtrx

#endif  // MTRX_RUNTIME_RUNTIME_H
