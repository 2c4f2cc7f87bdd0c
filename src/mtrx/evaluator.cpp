// src/mtrx/evaluator.cpp: walks the resolved syntax tree over frames of
// slots. Operators go through the library's table, except scalar
// arithmetic, comparisons and element reads and writes whose results the
// library would give bit for bit, which are computed in place.
#include "evaluator.h"

#include "arrays.h"
#include "error.h"
#include "lexer.h"
#include "lib/files.h"
#include "lib/operators.h"
#include "lib/shape.h"
#include "plot/figure.h"
#include "resolver.h"
#include "subscripts.h"
#include "text.h"

#include <matrix/exceptions.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <new>
#include <set>
#include <sstream>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// Pops the subscript context of end when the evaluation of a subscript
// ends, also by an exception.
struct EndScope {
    std::vector<EndContext> &ends;
    ~EndScope() { ends.pop_back(); }
};

Array Logical(bool b) {
    Array out(b ? 1.0 : 0.0);
    km::mxSetLogical(out.get());
    return out;
}

template <class F>
bool AnyNaN(const void *part, std::size_t n) {
    const F *p = static_cast<const F *>(part);
    for (std::size_t i = 0; i < n; ++i)
        if (std::isnan(p[i])) return true;
    return false;
}

// The truth of a condition's value: true when it has elements and none is
// zero (a complex element is zero when both parts are). A NaN has no truth
// value; an operand of && or || must be one element.
bool TruthOf(const Array &a, bool operandOfShortCircuit) {
    if (operandOfShortCircuit && a.Numel() != 1)
        throw Error("Operands to the || and && operators must be convertible to logical scalar values.");
    const km::CMatrix *m = a.get();
    const std::size_t n = a.Numel();
    const bool nan = a.ClassID() == km::mxClassDouble
                         ? AnyNaN<double>(m->GetPr(), n) || (m->IsComplex() && AnyNaN<double>(m->GetPi(), n))
                     : a.ClassID() == km::mxClassSingle
                         ? AnyNaN<float>(m->GetPr(), n) || (m->IsComplex() && AnyNaN<float>(m->GetPi(), n))
                         : false;
    if (nan) throw Error("NaN's cannot be converted to logicals.");
    return km::Tobool(m);
}

// op applied to two scalars as the library applies it, when the result is
// plain: a NaN operand or result (whose bits the library decides) and every
// other operator go through the library.
std::optional<Value> FastBinary(Op op, double x, double y) {
    if (std::isnan(x) || std::isnan(y)) return std::nullopt;
    double r;
    switch (op) {
        case Op::Plus: r = x + y; break;
        case Op::Minus: r = x - y; break;
        case Op::Mtimes:
        case Op::Times: r = x * y; break;
        case Op::Mrdivide:
        case Op::Rdivide: r = x / y; break;
        case Op::Lt: return Logical(x < y);
        case Op::Le: return Logical(x <= y);
        case Op::Gt: return Logical(x > y);
        case Op::Ge: return Logical(x >= y);
        case Op::Eq: return Logical(x == y);
        case Op::Ne: return Logical(x != y);
        default: return std::nullopt;
    }
    if (std::isnan(r)) return std::nullopt;
    return Value(r);
}

}  // namespace

Evaluator::Evaluator(std::ostream &display, const Limits &limits)
    : m_display(display), m_limits(limits) {
    // The base workspace: names of its own, growing as programs name them.
    PushFrame(nullptr);
    if (const char *path = std::getenv("MTRXPATH")) {
        std::stringstream folders(path);
        std::string folder;
        while (std::getline(folders, folder, ':'))
            if (!folder.empty()) m_path.push_back(folder);
    }
}

Evaluator::~Evaluator() = default;

FileTable &Evaluator::Files() {
    if (!m_openFiles) m_openFiles = std::make_unique<FileTable>();
    return *m_openFiles;
}

plot::FigureSet &Evaluator::Figures() {
    if (!m_figures) m_figures = std::make_unique<plot::FigureSet>();
    return *m_figures;
}

void Evaluator::Run(const std::shared_ptr<const Unit> &unit) {
    Top().unit = unit;
    // The (max_steps + 1)th step brings the count to 0; unbounded, 2^64
    // steps never do.
    m_stepsLeft = m_limits.max_steps != 0 ? m_limits.max_steps + 1 : ~std::uint64_t{0};
    m_located = false;
    m_failedFile = unit->file;
    m_failedLine = 0;
    m_failedStack.clear();
    m_calls.clear();
    m_calls.push_back({unit.get(), nullptr, 0});
    RunStatements(*unit);
    m_calls.pop_back();
}

namespace {

// The name of a script file in a stack: its file name without the folder
// and the extension.
std::string BaseName(const std::string &file) {
    const std::size_t slash = file.rfind('/');
    std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace

void Evaluator::TakeStack() {
    m_failedStack.clear();
    for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it) {
        if (it->anonymous) {
            // An anonymous function has no lines of its own: its text names
            // it, and the caller's frame below tells the line.
            m_failedStack.push_back(
                {it->unit ? it->unit->file : std::string(), CompactText(it->anonymous->text), 0});
            continue;
        }
        if (!it->function && it->unit->file.empty()) continue;  // a snippet or the prompt
        m_failedStack.push_back({it->unit->file,
                                 it->function ? it->function->name : BaseName(it->unit->file),
                                 it->line});
    }
}

void Evaluator::RunStatements(const Unit &unit) {
    Frame &frame = Top();
    std::vector<std::uint32_t> map;
    map.reserve(unit.program.names.size());
    bool identity = true;
    for (const std::string &name : unit.program.names) {
        map.push_back(frame.Add(name));
        identity = identity && map.back() == map.size() - 1;
    }
    struct Restore {
        Evaluator &e;
        Frame &frame;
        const std::vector<std::uint32_t> *saved;
        ~Restore() {
            frame.map = saved;
            e.Sync();
        }
    } restore{*this, frame, frame.map};
    // A script that names the frame's first slots in their order (a fresh
    // workspace's) needs no map.
    frame.map = identity ? nullptr : &map;
    Sync();
    Execute(unit.program.statements);
}

int Evaluator::Frame::Find(const std::string &name) const {
    if (names == &own) {
        auto it = index.find(name);
        return it == index.end() ? -1 : static_cast<int>(it->second);
    }
    for (std::size_t k = 0; k < names->size(); ++k)
        if ((*names)[k] == name) return static_cast<int>(k);
    return -1;
}

std::uint32_t Evaluator::Frame::Add(const std::string &name) {
    const int found = Find(name);
    if (found >= 0) return static_cast<std::uint32_t>(found);
    if (names != &own) {
        // The first name of the frame's own: it copies the resolver's list.
        own = *names;
        for (std::size_t k = 0; k < own.size(); ++k)
            index.emplace(own[k], static_cast<std::uint32_t>(k));
        names = &own;
    }
    const auto slot = static_cast<std::uint32_t>(own.size());
    own.push_back(name);
    index.emplace(name, slot);
    slots.push_back(Value::Unset());
    return slot;
}

void Evaluator::Frame::Reset(const std::vector<std::string> *of) {
    if (!own.empty()) {
        own.clear();
        index.clear();
    }
    names = of ? of : &own;
    slots.assign(names->size(), Value::Unset());
    map = nullptr;
    function = nullptr;
    nargin = 0;
    nargout = 0;
}

Evaluator::Frame &Evaluator::PushFrame(const std::vector<std::string> *names) {
    if (m_depth == m_frames.size()) m_frames.push_back(std::make_unique<Frame>());
    Frame &frame = *m_frames[m_depth++];
    frame.Reset(names);
    m_top = &frame;
    Sync();
    return frame;
}

void Evaluator::PopFrame() {
    Frame &frame = *m_frames[--m_depth];
    // Its values go now; the storage stays for the next call, and so does
    // the unit, which the next call of the same function then keeps.
    frame.slots.clear();
    m_top = m_frames[m_depth - 1].get();
    Sync();
}

namespace {

// Set by Interrupt(), possibly from a signal handler; taken by the next step
// or call of whichever program runs.
std::atomic<bool> g_interrupt{false};
static_assert(std::atomic<bool>::is_always_lock_free,
              "Interrupt() must be safe in a signal handler");

}  // namespace

void Interrupt() noexcept { g_interrupt.store(true, std::memory_order_relaxed); }

bool TakeInterrupt() noexcept { return g_interrupt.exchange(false, std::memory_order_relaxed); }

void Evaluator::Define(const std::shared_ptr<const Unit> &unit) {
    ++m_generation;
    for (const Function &f : unit->program.functions) {
        Found &found = m_defined[f.name];
        found.unit = unit;
        found.function = &f;
    }
}

// Every statement and loop pass comes here: one decrement and one relaxed
// load (a plain load on common processors), the rest out of line.
inline void Evaluator::Step() {
    if (__builtin_expect(--m_stepsLeft == 0 || g_interrupt.load(std::memory_order_relaxed), 0))
        StepSlow();
}

void Evaluator::CountStep() { Step(); }

void Evaluator::StepSlow() {
    if (m_stepsLeft == 0) {
        if (m_limits.max_steps != 0) {
            // Every later step of this run fails too.
            m_stepsLeft = 1;
            throw LimitError("Step limit reached");
        }
        m_stepsLeft = ~std::uint64_t{0};
    }
    CheckInterrupt();
}

void Evaluator::CheckInterrupt() {
    if (g_interrupt.load(std::memory_order_relaxed) && TakeInterrupt())
        throw InterruptError("Operation terminated by user");
}

void Evaluator::CheckDepth(const std::string &callee) {
    CheckInterrupt();
    if (m_depth + m_scriptDepth > m_limits.max_call_depth)
        throw Error("Maximum recursion depth of " + std::to_string(m_limits.max_call_depth) +
                    " reached in '" + callee + "'");
}

void Evaluator::Locate(int line) {
    if (m_located) return;
    m_located = true;
    m_failedFile = Top().unit ? Top().unit->file : std::string();
    m_failedLine = line;
    TakeStack();
}

Value *Evaluator::Lookup(const std::string &name) {
    Frame &frame = Top();
    const int slot = frame.Find(name);
    if (slot < 0 || frame.slots[static_cast<std::size_t>(slot)].IsUnset()) return nullptr;
    return &frame.slots[static_cast<std::size_t>(slot)];
}

Evaluator::Flow Evaluator::Execute(const Block &block) {
    for (const Stmt &s : block) {
        const Flow f = Execute(s);
        if (f != Flow::Normal) return f;
    }
    return Flow::Normal;
}

Evaluator::Flow Evaluator::Execute(const Stmt &s) {
    m_calls.back().line = s.line;
    try {
        Step();
        return ExecuteStatement(s);
    } catch (const std::bad_alloc &) {
        Locate(s.line);
        throw kiv::CExhaustedMemoryException();
    } catch (...) {
        Locate(s.line);
        throw;
    }
}

Evaluator::Flow Evaluator::ExecuteStatement(const Stmt &s) {
    switch (s.kind) {
        case Stmt::Kind::Expression: ExecuteExpression(s); return Flow::Normal;
        case Stmt::Kind::Assign: ExecuteAssign(s); return Flow::Normal;
        case Stmt::Kind::If:
            for (const auto &branch : s.branches)
                if (Truth(*branch.first)) return Execute(branch.second);
            return Execute(s.body);
        case Stmt::Kind::While:
            while (Truth(*s.value)) {
                const Flow f = Execute(s.body);
                if (f == Flow::Break) break;
                if (f == Flow::Return) return f;
                Step();
            }
            return Flow::Normal;
        case Stmt::Kind::For: return ExecuteFor(s);
        case Stmt::Kind::Switch: return ExecuteSwitch(s);
        case Stmt::Kind::Try: return ExecuteTry(s);
        case Stmt::Kind::Break: return Flow::Break;
        case Stmt::Kind::Continue: return Flow::Continue;
        case Stmt::Kind::Return: return Flow::Return;
    }
    return Flow::Normal;
}

void Evaluator::ExecuteExpression(const Stmt &s) {
    const Expr &e = *s.value;
    // A variable named alone is shown under its own name, a function
    // handle too: calling one takes parentheses, f().
    if (e.kind == Expr::Kind::Name) {
        if (const Value *v = Lookup(e.slot)) {
            if (s.show) Show(m_display, e.text, *v, m_displayState);
            return;
        }
    }
    // c{I} and s.name as a statement give each value of their list as ans.
    if (e.kind == Expr::Kind::CellIndex || e.kind == Expr::Kind::Field) {
        std::vector<Value> list;
        Expand(e, list);
        for (Value &v : list) {
            Value &ans = Var(s.slot);
            ans = std::move(v);
            if (s.show) Show(m_display, "ans", ans, m_displayState);
        }
        return;
    }
    // A call as a statement asks for no output and may return none (disp).
    const bool call = e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call;
    std::vector<Value> results = call ? CallName(e, 0) : std::vector<Value>{Evaluate(e)};
    if (results.empty()) return;
    Value &ans = Var(s.slot);
    ans = std::move(results[0]);
    if (s.show) Show(m_display, "ans", ans, m_displayState);
}

void Evaluator::ExecuteAssign(const Stmt &s) {
    // [] on the right of A(I) = [] deletes; anywhere else it is a value.
    const bool deletion = s.value->kind == Expr::Kind::Matrix && s.value->rows.empty();
    if (s.targets.size() == 1 && !(s.bracketed && TargetCount(s.targets[0]) != 1)) {
        const Target &t = s.targets[0];
        double y;
        if (m_fastScalars && ScalarOperand(*s.value, y)) {
            // A scalar result goes straight into its variable, or in place
            // into an element of one.
            if (t.path.empty() && !t.name.empty()) {
                Value &slot = Var(t.slot);
                slot.SetScalar(y);
                if (s.show) Show(m_display, t.name, slot, m_displayState);
                return;
            }
            AssignTarget(s, t, Value(y), false);
            return;
        }
        if (t.path.empty() && !t.name.empty()) {
            Value v = Evaluate(*s.value);
            // The slot is taken after the evaluation, which may move it.
            Value &slot = Var(t.slot);
            slot = std::move(v);
            if (s.show) Show(m_display, t.name, slot, m_displayState);
            return;
        }
        AssignTarget(s, t, Evaluate(*s.value), deletion);
        return;
    }
    // [a, s.f, c{:}] = ...: a target that names several places (a field of
    // a struct array, several cells) takes as many values, in order.
    std::vector<std::size_t> counts;
    std::size_t total = 0;
    for (const Target &t : s.targets) {
        counts.push_back(t.name.empty() ? 1 : TargetCount(t));
        total += counts.back();
    }
    const Expr &e = *s.value;
    std::vector<Value> values;
    if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) {
        values = CallName(e, static_cast<unsigned int>(total));
        if (values.size() < total) throw Error("Too many output arguments for '" + e.text + "'");
    } else if (e.kind == Expr::Kind::Field || e.kind == Expr::Kind::CellIndex) {
        Expand(e, values);
        if (values.size() < total)
            throw Error("The list on the right gives " + std::to_string(values.size()) +
                        " values; the targets take " + std::to_string(total));
    } else {
        throw Error("Only a function call or a list (c{:}, s.name) can give several outputs");
    }
    std::size_t next = 0;
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
        const Target &t = s.targets[k];
        if (counts[k] == 1) {
            AssignTarget(s, t, std::move(values[next++]), deletion);
            continue;
        }
        std::vector<Value> part(std::make_move_iterator(values.begin() + next),
                                std::make_move_iterator(values.begin() + next + counts[k]));
        next += counts[k];
        AssignList(t, std::move(part));
        if (s.show) Show(m_display, t.name, Var(t.slot), m_displayState);
    }
}

Evaluator::Flow Evaluator::ExecuteFor(const Stmt &s) {
    const Expr &r = *s.value;
    if (r.kind == Expr::Kind::Range) {
        // a:b and a:s:b are stepped through without being built: element k
        // is the one Colon would store there, so 1:1e10 starts at once.
        const Value first = Evaluate(*r.args[0]);
        const Value second = Evaluate(*r.args[1]);
        const std::optional<Value> third =
            r.args.size() == 3 ? std::optional<Value>(Evaluate(*r.args[2])) : std::nullopt;
        double start, step = 1.0, end;
        if (first.RealScalar(start) && second.RealScalar(third ? step : end) &&
            (!third || third->RealScalar(end))) {
            const km::ColonShape shape = km::ColonCount(start, step, end);
            // A range too long to count exactly (1:1e20, 1:Inf) runs until a
            // break, element k being start + k*step.
            const bool endless = !(shape.count < 0x1p53);
            const auto count = endless ? std::numeric_limits<std::uint64_t>::max()
                                       : static_cast<std::uint64_t>(shape.count);
            for (std::uint64_t k = 0; k < count; ++k) {
                Var(s.slot).SetScalar(endless ? start + static_cast<double>(k) * step
                                              : km::ColonElement(shape, start, step, end, k));
                const Flow f = Execute(s.body);
                if (f == Flow::Break) break;
                if (f == Flow::Return) return f;
                Step();
            }
            return Flow::Normal;
        }
        return IterateOver(s, RangeOf(first, second, third ? &*third : nullptr));
    }
    return IterateOver(s, Evaluate(r));
}

// Each column of a cell or string array, as an array of its own kind.
template <class Items>
Evaluator::Flow Evaluator::IterateColumns(const Stmt &s, const Items &c) {
    const std::size_t rows = c.dims[0];
    const std::size_t columns = rows ? c.items.size() / rows : 0;
    for (std::size_t j = 0; j < columns; ++j) {
        Items column;
        column.dims = {static_cast<unsigned int>(rows), 1};
        column.items.assign(c.items.begin() + static_cast<std::ptrdiff_t>(j * rows),
                            c.items.begin() + static_cast<std::ptrdiff_t>((j + 1) * rows));
        Var(s.slot) = Value(std::move(column));
        const Flow f = Execute(s.body);
        if (f == Flow::Break) break;
        if (f == Flow::Return) return f;
        Step();
    }
    return Flow::Normal;
}

Evaluator::Flow Evaluator::IterateOver(const Stmt &s, const Value &rangeValue) {
    if (rangeValue.IsCell()) return IterateColumns(s, rangeValue.cell());
    if (rangeValue.tag() == Tag::String) return IterateColumns(s, rangeValue.strings());
    const Array &range = rangeValue.array();
    const unsigned int rows = range.Rows();
    const unsigned int columns = range.IsEmpty() ? 0 : range.Numel() / rows;
    // A real double row gives its elements as they are, without indexing.
    const bool plainRow = rows == 1 && IsDouble(range) && !IsComplex(range) && !range.IsLogical() &&
                          range.NDims() == 2;
    const double *values = plainRow ? range.Data() : nullptr;
    for (unsigned int j = 0; j < columns; ++j) {
        Value &v = Var(s.slot);
        if (plainRow)
            v = Value(values[j]);
        else
            v = range(km::Subscript(km::All), km::Subscript(j + 1));
        const Flow f = Execute(s.body);
        if (f == Flow::Break) break;
        if (f == Flow::Return) return f;
        Step();
    }
    return Flow::Normal;
}

Evaluator::Flow Evaluator::ExecuteSwitch(const Stmt &s) {
    const Value subject = Evaluate(*s.value);
    for (const auto &branch : s.branches)
        if (CaseMatches(subject, Evaluate(*branch.first))) return Execute(branch.second);
    return Execute(s.body);
}

bool Evaluator::CaseMatches(const Value &subject, const Value &caseLabel) {
    const auto matches = [&](const Value &label) {
        std::string word;
        std::string other;
        if (subject.tag() == Tag::String || label.tag() == Tag::String)
            return WordOf(subject, word) && WordOf(label, other) && word == other;
        if (subject.tag() != Tag::Scalar && subject.tag() != Tag::Array) return false;
        if (label.tag() != Tag::Scalar && label.tag() != Tag::Array) return false;
        const Array &x = subject.array();
        const Array &c = label.array();
        if (IsChar(x) != IsChar(c)) return false;
        if (IsChar(x)) return x.Dims() == c.Dims() && Text(x) == Text(c);
        return c.Numel() == 1 && x.Numel() == 1 && km::Isequal(x, c);
    };
    bool hit = false;
    if (caseLabel.IsCell()) {
        for (const Value &item : caseLabel.cell().items) hit = hit || matches(item);
    } else {
        hit = matches(caseLabel);
    }
    return hit;
}

Evaluator::Flow Evaluator::ExecuteTry(const Stmt &s) {
    const std::size_t ends = m_ends.size();
    std::string message;
    std::string identifier;
    try {
        return Execute(s.body);
    } catch (const LimitError &) {
        throw;
    } catch (const Error &e) {
        message = e.what();
        identifier = e.Identifier();
    } catch (const std::exception &e) {
        message = e.what();
    }
    m_ends.resize(ends);
    Value *err = s.name.empty() ? nullptr : &Var(s.slot);
    Caught(message, identifier, err);
    return Execute(s.handler);
}

void Evaluator::Caught(const std::string &message, const std::string &identifier, Value *err) {
    m_located = false;
    SetLastError(message, identifier);
    if (err) {
        // err.stack: a struct column of the frames the error passed through.
        StructArray stack;
        stack.fields = {"file", "name", "line"};
        stack.dims = {static_cast<unsigned int>(m_failedStack.size()), 1};
        for (const StackEntry &frame : m_failedStack) {
            stack.values.emplace_back(CharArray(frame.file));
            stack.values.emplace_back(CharArray(frame.name));
            stack.values.emplace_back(static_cast<double>(frame.line));
        }
        *err = ScalarStruct({{"message", Value(CharArray(message))},
                             {"identifier", Value(CharArray(identifier))},
                             {"stack", Value(std::move(stack))}});
    }
}

SubscriptList Evaluator::Subscripts(const Array &a, const std::vector<ExprPtr> &args,
                                    std::size_t first) {
    const std::size_t n = args.size() - first;
    if (n == 0) throw Error("A subscript is needed between the parentheses");
    SubscriptList subs;
    subs.reserve(n);
    const auto count = static_cast<unsigned int>(n);
    for (unsigned int k = 0; k < count; ++k) {
        const Expr &arg = *args[first + k];
        if (arg.kind == Expr::Kind::Colon) {
            subs.push_back(ColonSubscript());
            continue;
        }
        EndContext &end = m_ends.emplace_back();
        end.array = &a;
        end.position = k + 1;
        end.count = count;
        EndScope scope{m_ends};
        const Value index = Evaluate(arg);
        CheckSubscript(index);
        subs.push_back(index.array());
    }
    return subs;
}

std::vector<Value> Evaluator::Arguments(const std::vector<ExprPtr> &args, std::size_t first) {
    std::vector<Value> values;
    values.reserve(args.size() - first);
    for (std::size_t k = first; k < args.size(); ++k) {
        // A bare : is passed as the text ':'.
        if (args[k]->kind == Expr::Kind::Colon)
            values.emplace_back(Array(":"));
        else
            Expand(*args[k], values);
    }
    return values;
}

void Evaluator::Expand(const Expr &e, std::vector<Value> &out) {
    if (e.kind == Expr::Kind::Field) {
        // s.name of a struct array in a list gives the field of every
        // element, in order.
        const Value base = Evaluate(*e.args[0]);
        std::size_t field;
        const StructArray &record = FieldOf(base, e, field);
        const std::size_t n = Count(record.dims);
        for (std::size_t k = 0; k < n; ++k) out.push_back(record.At(k, field));
        return;
    }
    if (e.kind != Expr::Kind::CellIndex) {
        out.push_back(Evaluate(e));
        return;
    }
    // c{...} in a list gives every cell it selects, in order.
    const Value base = Evaluate(*e.args[0]);
    if (!base.IsCell()) throw Error("Brace indexing is only for cell arrays");
    const CellArray &c = base.cell();
    SubscriptList subs = Subscripts(Positions(c.dims), e.args, 1);
    std::vector<std::size_t> taken;
    Select(c.dims, subs, taken);
    for (std::size_t k : taken) out.push_back(c.items[k]);
}

namespace {

// The subscripts of a node of the syntax tree, from its `first` argument on.
class ExprSubscripts : public SubscriptSource {
public:
    ExprSubscripts(Evaluator &evaluator, const std::vector<ExprPtr> &args, std::size_t first,
                   SubscriptList (Evaluator::*take)(const Array &, const std::vector<ExprPtr> &,
                                                    std::size_t),
                   std::vector<Value> (Evaluator::*arguments)(const std::vector<ExprPtr> &,
                                                              std::size_t))
        : m_evaluator(evaluator), m_args(args), m_first(first), m_take(take),
          m_arguments(arguments) {}
    std::size_t Count() const override { return m_args.size() - m_first; }
    SubscriptList Take(const Array &a) override { return (m_evaluator.*m_take)(a, m_args, m_first); }
    std::vector<Value> Arguments() override { return (m_evaluator.*m_arguments)(m_args, m_first); }

private:
    Evaluator &m_evaluator;
    const std::vector<ExprPtr> &m_args;
    std::size_t m_first;
    SubscriptList (Evaluator::*m_take)(const Array &, const std::vector<ExprPtr> &, std::size_t);
    std::vector<Value> (Evaluator::*m_arguments)(const std::vector<ExprPtr> &, std::size_t);
};

}  // namespace

Value Evaluator::Subscripted(const Value &base, const Expr &e) {
    if (e.kind == Expr::Kind::Field) {
        std::size_t field;
        const StructArray &record = FieldOf(base, e, field);
        return FieldElement(record, field);
    }
    const std::size_t first = e.kind == Expr::Kind::Call ? 0 : 1;
    ExprSubscripts subs(*this, e.args, first, &Evaluator::Subscripts, &Evaluator::Arguments);
    return Index(base, e.kind == Expr::Kind::CellIndex, e.kind == Expr::Kind::Call, subs);
}

Value Evaluator::FieldElement(const StructArray &record, std::size_t field) {
    const std::size_t n = Count(record.dims);
    if (n != 1)
        throw Error("Field '" + record.fields[field] + "' of a " + DimsText(record.dims) +
                    " struct array is a list of " + std::to_string(n) +
                    " values where one value is needed");
    return record.At(0, field);
}

Value Evaluator::Index(const Value &base, bool brace, bool named, SubscriptSource &source) {
    if (base.IsHandle()) {
        if (named || brace) throw Error("Brace indexing is only for cell arrays");
        std::vector<Value> out = Invoke(base, source.Arguments(), 1);
        if (out.empty()) throw Error("The function returns no value");
        return out[0];
    }
    // x() is x itself.
    if (source.Count() == 0 && !brace) return base;
    if (base.IsCell()) {
        const CellArray &c = base.cell();
        SubscriptList subs = source.Take(Positions(c.dims));
        std::vector<std::size_t> taken;
        const Dims dims = Select(c.dims, subs, taken);
        if (brace) {
            if (taken.size() != 1)
                throw Error("Brace indexing must select exactly one cell here");
            return c.items[taken[0]];
        }
        CellArray part;
        part.dims = dims;
        part.items.reserve(taken.size());
        for (std::size_t k : taken) part.items.push_back(c.items[k]);
        return Value(std::move(part));
    }
    if (brace) throw Error("Brace indexing is only for cell arrays");
    if (base.tag() == Tag::String) {
        const StringArray &s = base.strings();
        SubscriptList subs = source.Take(Positions(s.dims));
        std::vector<std::size_t> taken;
        const Dims dims = Select(s.dims, subs, taken);
        return StringElements(s, dims, taken);
    }
    if (base.IsStruct()) {
        const StructArray &s = base.structure();
        SubscriptList subs = source.Take(Positions(s.dims));
        std::vector<std::size_t> taken;
        StructArray part;
        part.dims = Select(s.dims, subs, taken);
        part.fields = s.fields;
        part.values.reserve(taken.size() * s.fields.size());
        for (std::size_t k : taken)
            for (std::size_t f = 0; f < s.fields.size(); ++f) part.values.push_back(s.At(k, f));
        return Value(std::move(part));
    }
    const Array &a = base.array();
    SubscriptList subs = source.Take(a);
    return IndexRead(a, subs);
}

Value Evaluator::Matrix(const Expr &e) {
    std::vector<std::vector<Value>> rows;
    for (const auto &row : e.rows) {
        rows.emplace_back();
        for (const ExprPtr &item : row) Expand(*item, rows.back());
    }
    return JoinRows(rows);
}

Value Evaluator::JoinRows(std::vector<std::vector<Value>> &rows) {
    bool cells = false;
    bool strings = false;
    bool records = false;
    for (const auto &row : rows) {
        for (const Value &v : row) {
            cells = cells || v.IsCell();
            strings = strings || v.tag() == Tag::String;
            records = records || v.IsStruct();
        }
    }
    // One string makes every item a string.
    if (strings) return JoinStrings(rows);
    // One cell makes every other item a cell of one (an empty array is
    // left out); cells join as cells, whatever they hold.
    if (cells) {
        for (std::vector<Value> &items : rows)
            for (Value &v : items)
                if (!v.IsCell()) v = CellOfOne(std::move(v));
        return JoinCells(rows);
    }
    // Struct arrays join element by element.
    if (records) {
        std::vector<Value> joined;
        for (const std::vector<Value> &items : rows)
            if (!items.empty()) joined.push_back(JoinValues(2, items, "horzcat"));
        return JoinValues(1, joined, "vertcat");
    }
    Array result;
    bool first = true;
    for (std::vector<Value> &items : rows) {
        if (items.empty()) continue;
        std::vector<const km::CMatrix *> raw;
        for (const Value &v : items) raw.push_back(v.array().get());
        Array joined =
            raw.size() == 1
                ? items[0].array()
                : Array::Adopt(km::Cat(2, static_cast<unsigned int>(raw.size()), raw.data()));
        if (first) {
            result = std::move(joined);
            first = false;
        } else {
            // Cat joins matrices as Vertcat does, and N-D arrays as well.
            result = Array::Adopt(km::Cat(1, result.get(), joined.get()));
        }
    }
    return result;
}

Value Evaluator::CellLiteral(const Expr &e) {
    // Each element, c{:} giving every cell it selects, in a row.
    std::vector<std::vector<Value>> items;
    for (const auto &row : e.rows) {
        items.emplace_back();
        for (const ExprPtr &item : row) Expand(*item, items.back());
    }
    return CellRows(items);
}

Value Evaluator::CellRows(std::vector<std::vector<Value>> &items) {
    items.erase(std::remove_if(items.begin(), items.end(),
                               [](const std::vector<Value> &row) { return row.empty(); }),
                items.end());
    const auto rows = static_cast<unsigned int>(items.size());
    const auto cols = static_cast<unsigned int>(rows ? items[0].size() : 0);
    for (const auto &row : items)
        if (row.size() != cols)
            throw Error("Dimensions of arrays being concatenated are not consistent");
    CellArray cell;
    cell.dims = {rows, cols};
    cell.items.resize(std::size_t{rows} * cols);
    for (unsigned int i = 0; i < rows; ++i)
        for (unsigned int j = 0; j < cols; ++j)
            cell.items[i + std::size_t{j} * rows] = std::move(items[i][j]);
    return Value(std::move(cell));
}

Value Evaluator::JoinCells(const std::vector<std::vector<Value>> &rows) {
    // Each row side by side (equal row counts), then the rows one above the
    // other (equal column counts); empty cells are left out.
    std::vector<CellArray> joined;
    for (const std::vector<Value> &row : rows) {
        CellArray line;
        line.dims = {0, 0};
        for (const Value &v : row) {
            const CellArray &c = v.cell();
            if (c.items.empty()) continue;
            if (c.dims.size() > 2) throw Error("Cells of more than two dimensions cannot be joined");
            if (line.items.empty()) {
                line = c;
                continue;
            }
            if (c.dims[0] != line.dims[0])
                throw Error("Dimensions of arrays being concatenated are not consistent");
            line.items.insert(line.items.end(), c.items.begin(), c.items.end());
            line.dims[1] += c.dims[1];
        }
        if (!line.items.empty()) joined.push_back(std::move(line));
    }
    CellArray out;
    out.dims = {0, 0};
    if (joined.empty()) return Value(std::move(out));
    const unsigned int cols = joined[0].dims[1];
    unsigned int total = 0;
    for (const CellArray &c : joined) {
        if (c.dims[1] != cols)
            throw Error("Dimensions of arrays being concatenated are not consistent");
        total += c.dims[0];
    }
    out.dims = {total, cols};
    out.items.resize(std::size_t{total} * cols);
    unsigned int top = 0;
    for (const CellArray &c : joined) {
        for (unsigned int j = 0; j < cols; ++j)
            for (unsigned int i = 0; i < c.dims[0]; ++i)
                out.items[top + i + std::size_t{j} * total] = c.items[i + std::size_t{j} * c.dims[0]];
        top += c.dims[0];
    }
    return Value(std::move(out));
}

std::vector<Value> Evaluator::EvaluateMulti(const Expr &e, unsigned int nargout) {
    if (e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) return CallName(e, nargout);
    return {Evaluate(e)};
}

Value Evaluator::Evaluate(const Expr &e) {
    switch (e.kind) {
        case Expr::Kind::Number: return Value(e.number);
        case Expr::Kind::Imaginary: return ImaginaryScalar(e.number);
        case Expr::Kind::String:
            // '' is 0x0, as [] is; any other text a row.
            return e.text.empty() ? Array::Adopt(km::CharRows({})) : CharArray(e.text);
        case Expr::Kind::StringScalar: return StringScalar(e.text);
        case Expr::Kind::Name:
            if (const Value *v = Lookup(e.slot)) return *v;
            [[fallthrough]];
        case Expr::Kind::Call: {
            if (const Value *v = Lookup(e.slot)) {
                Value element;
                if (e.kind == Expr::Kind::Call && ReadElement(e, *v, element)) return element;
            } else {
                // A function: called without building argument and result
                // lists when it can be.
                Value result;
                if (CallDirect(e, result)) return result;
            }
            std::vector<Value> out = CallName(e, 1);
            if (out.empty()) throw Error("'" + e.text + "' returns no value");
            return std::move(out[0]);
        }
        case Expr::Kind::Index:
        case Expr::Kind::CellIndex:
        case Expr::Kind::Field: return Subscripted(Evaluate(*e.args[0]), e);
        case Expr::Kind::Colon: throw Error("A bare ':' is only valid in a subscript");
        case Expr::Kind::EndWord: {
            if (m_ends.empty()) throw Error("'end' is only valid in a subscript");
            const EndContext &c = m_ends.back();
            return Array(km::End(*c.array, c.position, c.count));
        }
        case Expr::Kind::Matrix: return Matrix(e);
        case Expr::Kind::CellLiteral: return CellLiteral(e);
        case Expr::Kind::Range: {
            const Value first = Evaluate(*e.args[0]);
            const Value second = Evaluate(*e.args[1]);
            if (e.args.size() == 2) return RangeOf(first, second, nullptr);
            const Value last = Evaluate(*e.args[2]);
            return RangeOf(first, second, &last);
        }
        case Expr::Kind::Binary: return EvaluateBinary(e);
        case Expr::Kind::Unary:
        case Expr::Kind::Postfix: return UnaryValue(e.op, Evaluate(*e.args[0]));
        case Expr::Kind::ShortCircuit: {
            const bool left = TruthOf(Evaluate(*e.args[0]).array(), true);
            if (e.op == Op::AndAnd ? !left : left) return Logical(left);
            return Logical(TruthOf(Evaluate(*e.args[1]).array(), true));
        }
        case Expr::Kind::AnonFunction:
        case Expr::Kind::FuncHandle: return MakeHandle(e);
    }
    throw Error("Unknown expression");
}

namespace {

// x op y for a comparison op.
bool Compare(Op op, double x, double y) {
    switch (op) {
        case Op::Eq: return x == y;
        case Op::Ne: return x != y;
        case Op::Lt: return x < y;
        case Op::Le: return x <= y;
        case Op::Gt: return x > y;
        default: return x >= y;
    }
}

}  // namespace

bool Evaluator::EvalScalar(const Expr &e, double &out) {
    switch (e.kind) {
        case Expr::Kind::Number: out = e.number; return true;
        case Expr::Kind::Name: {
            const Value *v = Lookup(e.slot);
            return v && v->RealScalar(out);
        }
        case Expr::Kind::Call:
        case Expr::Kind::EndWord: return ScalarElement(e, out);
        case Expr::Kind::Unary: {
            if (e.op != Op::Uminus && e.op != Op::Uplus) return false;
            double x;
            if (!ScalarOperand(*e.lhs, x) || std::isnan(x)) return false;
            out = e.op == Op::Uminus ? -x : x;
            return true;
        }
        case Expr::Kind::Binary: {
            double x;
            double y;
            if (!ScalarArithmetic(e.op) || !ScalarOperand(*e.lhs, x) || !ScalarOperand(*e.rhs, y))
                return false;
            return Arithmetic(e.op, x, y, out);
        }
        default: return false;
    }
}

bool Evaluator::ScalarElement(const Expr &e, double &out) {
    if (e.kind == Expr::Kind::EndWord) {
        if (m_ends.empty()) return false;
        const EndContext &c = m_ends.back();
        out = static_cast<double>(km::End(*c.array, c.position, c.count));
        return true;
    }
    const Value *v = Lookup(e.slot);
    if (!v || !PlainDouble(*v)) return false;
    const Array &a = v->array();
    std::size_t position;
    if (!ElementPosition(e.args, a, position)) return false;
    out = a.Data()[position];
    return true;
}

bool Evaluator::Pure(const Expr &e) {
    switch (e.kind) {
        case Expr::Kind::Number:
        case Expr::Kind::EndWord: return true;
        case Expr::Kind::Name: return Lookup(e.slot) != nullptr;
        case Expr::Kind::Binary:
        case Expr::Kind::Unary:
        case Expr::Kind::Postfix:
            for (const ExprPtr &a : e.args)
                if (!Pure(*a)) return false;
            return true;
        default: return false;
    }
}


// The 0-based position of the element that the whole subscripts of `e` (one
// or two, each pure) select inside `a`, or false when one is not a whole
// number from 1 up or the element is outside the array.
bool Evaluator::ElementPosition(const std::vector<ExprPtr> &subscripts, const Array &a,
                                std::size_t &position) {
    const std::size_t n = subscripts.size();
    if (n == 0 || n > 2) return false;
    // EvalScalar has no effects; a subscript it cannot take is evaluated
    // the general way only when that has none either, so that the caller
    // may evaluate every subscript again when this returns false.
    double index[2] = {0.0, 0.0};
    for (std::size_t k = 0; k < n; ++k) {
        const Expr &s = *subscripts[k];
        // A number or a scalar variable holds no end: no context for it.
        if (ScalarLeaf(s, index[k])) {
            if (!IsIndexValue(index[k])) return false;
            continue;
        }
        if (s.kind == Expr::Kind::Colon) return false;
        // Field by field: a whole-struct store here is read back at once.
        EndContext &end = m_ends.emplace_back();
        end.array = &a;
        end.position = static_cast<unsigned int>(k + 1);
        end.count = static_cast<unsigned int>(n);
        EndScope scope{m_ends};
        if (!ScalarOperand(s, index[k])) {
            if (!Pure(s)) return false;
            const Value v = Evaluate(s);
            if (!v.RealScalar(index[k])) return false;
        }
        if (!IsIndexValue(index[k])) return false;
    }
    return ElementAt(a, index, n, position);
}

bool Evaluator::ReadElement(const Expr &e, const Value &base, Value &out) {
    if (!m_fastScalars || !PlainDouble(base)) return false;
    const Array &a = base.array();
    std::size_t position;
    if (!ElementPosition(e.args, a, position)) return false;
    out = Value(a.Data()[position]);
    return true;
}

bool Evaluator::WriteElement(const Target &t, const Value &rhs) {
    double y;
    if (!m_fastScalars || t.path.size() != 1 || t.path[0].kind != Accessor::Kind::Paren ||
        !rhs.RealScalar(y))
        return false;
    Value *slot = Lookup(t.slot);
    if (!slot || !PlainDouble(*slot)) return false;
    std::size_t position;
    if (!ElementPosition(t.path[0].subscripts, slot->array(), position)) return false;
    // In place: the array's data is copied first only when another value
    // shares it.
    slot->MutableArray().MutableData()[position] = y;
    return true;
}

Value Evaluator::RangeOf(const Value &first, const Value &second, const Value *third) {
    // Operands of other classes than double make a range of their class.
    if (first.tag() != Tag::Scalar || second.tag() != Tag::Scalar ||
        (third && third->tag() != Tag::Scalar)) {
        const auto plain = [](const Value &v) {
            return v.tag() == Tag::Array && v.array().ClassID() == km::mxClassDouble &&
                   !v.array().IsLogical() && !IsChar(v.array());
        };
        if (!plain(first) || !plain(second) || (third && !plain(*third)))
            return third ? RangeValue(first, &second, *third) : RangeValue(first, nullptr, second);
    }
    const double a = first.array().Scalar();
    const double b = second.array().Scalar();
    if (!third) return Array::Adopt(km::Colon(a, b));
    return Array::Adopt(km::Colon(a, b, third->array().Scalar()));
}

bool Evaluator::Truth(const Expr &e, bool operandOfShortCircuit) {
    if (m_fastScalars) {
        if (e.kind == Expr::Kind::ShortCircuit) {
            const bool left = Truth(*e.args[0], true);
            if (e.op == Op::AndAnd ? !left : left) return left;
            return Truth(*e.args[1], true);
        }
        if (e.kind == Expr::Kind::Binary && e.op >= Op::Eq && e.op <= Op::Ge) {
            // A comparison of two scalars gives its answer without a logical
            // array; the library compares NaN as these do.
            const Expr &left = *e.args[0];
            double x;
            double y;
            if (ScalarOperand(left, x) && ScalarOperand(*e.rhs, y)) return Compare(e.op, x, y);
            std::optional<Value> leftHolder;
            std::optional<Value> rightHolder;
            if (left.kind != Expr::Kind::Name || !Lookup(left.slot))
                leftHolder.emplace(Evaluate(left));
            const Value &b = Peek(*e.args[1], rightHolder);
            const Value &a = leftHolder ? *leftHolder : Peek(left, leftHolder);
            if (a.RealScalar(x) && b.RealScalar(y)) return Compare(e.op, x, y);
            return TruthOf(ApplyBinary(e.op, a.array(), b.array(), *this), operandOfShortCircuit);
        }
    }
    return ValueTruth(Evaluate(e), operandOfShortCircuit);
}

bool Evaluator::ValueTruth(const Value &v, bool operandOfShortCircuit) {
    double x;
    if (m_fastScalars && v.RealScalar(x) && !std::isnan(x)) return x != 0.0;
    return TruthOf(v.array(), operandOfShortCircuit);
}

Value Evaluator::UnaryValue(Op op, const Value &a) {
    double x;
    if (m_fastScalars && op == Op::Uminus && a.RealScalar(x) && !std::isnan(x)) return Value(-x);
    if (a.tag() == Tag::String) return StringUnary(op, a);
    if (a.IsStruct() && (op == Op::Transpose || op == Op::Ctranspose)) return TransposeRecords(a);
    return ApplyUnary(op, a.array());
}

const Value &Evaluator::Peek(const Expr &e, std::optional<Value> &holder) {
    if (e.kind == Expr::Kind::Name)
        if (const Value *v = Lookup(e.slot)) return *v;
    holder.emplace(Evaluate(e));
    return *holder;
}

Value Evaluator::EvaluateBinary(const Expr &e) {
    // Operands that are variables are read in place, without a shared copy.
    // A variable on the left is looked up after the right side is evaluated:
    // reading a name has no effect, and the right side may grow the workspace.
    const Expr &left = *e.args[0];
    std::optional<Value> leftHolder;
    std::optional<Value> rightHolder;
    if (left.kind != Expr::Kind::Name || !Lookup(left.slot))
        leftHolder.emplace(Evaluate(left));
    const Value &b = Peek(*e.args[1], rightHolder);
    const Value &a = leftHolder ? *leftHolder : Peek(left, leftHolder);
    return BinaryValues(e.op, a, b);
}

Value Evaluator::BinaryValues(Op op, const Value &a, const Value &b) {
    double x;
    double y;
    if (m_fastScalars && a.RealScalar(x) && b.RealScalar(y))
        if (std::optional<Value> out = FastBinary(op, x, y)) return std::move(*out);
    if (a.tag() == Tag::String || b.tag() == Tag::String) return StringBinary(op, a, b);
    return ApplyBinary(op, a.array(), b.array(), *this);
}

void WarnIfIllConditioned(Evaluator &evaluator, double rcond) {
    if (!(rcond < km::mxGetEps())) return;
    if (rcond == 0.0) {
        evaluator.Warn("mtrx:singularMatrix", "Matrix is singular to working precision.");
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "%e", rcond);
        evaluator.Warn("mtrx:nearlySingularMatrix",
                       std::string("Matrix is close to singular or badly scaled. Results may be "
                                   "inaccurate. RCOND =  ") +
                           text + ".");
    }
}

}  // namespace mtrx
