// src/mtrx/runtime/runtime.cpp: the compiled program's calls into the
// interpreter's routines.
#include "runtime/runtime.h"

#include "arrays.h"
#include "display.h"
#include "error.h"
#include "evaluator.h"
#include "outputs.h"
#include "session.h"
#include "subscripts.h"
#include "text.h"

#include <matrix/exceptions.h>
#include <matrix/order.h>

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <limits>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

void CollectAnonymous(const Expr &e, std::vector<const Expr *> &out);

void CollectAnonymous(const Block &block, std::vector<const Expr *> &out) {
    for (const Stmt &s : block) {
        for (const Target &t : s.targets)
            for (const Accessor &a : t.path)
                for (const ExprPtr &e : a.subscripts) CollectAnonymous(*e, out);
        if (s.value) CollectAnonymous(*s.value, out);
        for (const auto &branch : s.branches) {
            if (branch.first) CollectAnonymous(*branch.first, out);
            CollectAnonymous(branch.second, out);
        }
        CollectAnonymous(s.body, out);
        CollectAnonymous(s.handler, out);
    }
}

void CollectAnonymous(const Expr &e, std::vector<const Expr *> &out) {
    // Each before those nested in its body.
    if (e.kind == Expr::Kind::AnonFunction) out.push_back(&e);
    for (const ExprPtr &a : e.args) CollectAnonymous(*a, out);
    for (const auto &row : e.rows)
        for (const ExprPtr &a : row) CollectAnonymous(*a, out);
}

// The subscripts of a compiled index, filled when taken.
class FillSubscripts : public SubscriptSource {
public:
    FillSubscripts(Runtime &rt, const Fill &fill, std::size_t count)
        : m_rt(rt), m_fill(fill), m_count(count) {}
    std::size_t Count() const override { return m_count; }
    SubscriptList Take(const Array &a) override {
        if (m_count == 0) throw Error("A subscript is needed between the parentheses");
        List list(m_rt, &a);
        m_fill(list);
        return list.TakeSubscripts();
    }
    Values Arguments() override {
        List list(m_rt);
        if (m_fill) m_fill(list);
        return list.TakeValues();
    }

private:
    Runtime &m_rt;
    const Fill &m_fill;
    std::size_t m_count;
};

// Subscripts already evaluated, into the list given.
class Taken : public SubscriptSource {
public:
    Taken(SubscriptList subs, std::size_t count) : m_subs(std::move(subs)), m_count(count) {}
    std::size_t Count() const override { return m_count; }
    SubscriptList Take(const Array &) override {
        if (m_count == 0) throw Error("A subscript is needed between the parentheses");
        return std::move(m_subs);
    }
    Values Arguments() override { throw Error("Array subscripts are not arguments"); }

private:
    SubscriptList m_subs;
    std::size_t m_count;
};

// The steps of a compiled assignment target.
class StepPath : public PathSource {
public:
    StepPath(Runtime &rt, std::initializer_list<Step> steps) : m_rt(rt), m_steps(steps) {}
    std::size_t Size() const override { return m_steps.size(); }
    Accessor::Kind Kind(std::size_t k) const override { return m_steps.begin()[k].kind; }
    SubscriptList Take(std::size_t k, const Array &a) override {
        const Step &step = m_steps.begin()[k];
        return FillSubscripts(m_rt, step.subs, step.count).Take(a);
    }
    std::string Field(std::size_t k) override {
        const Step &step = m_steps.begin()[k];
        if (!step.dynamicField) return step.field;
        return m_rt.FieldName(step.dynamicField());
    }

private:
    Runtime &m_rt;
    std::initializer_list<Step> m_steps;
};

}  // namespace

std::vector<const Expr *> AnonymousFunctions(const Program &program) {
    std::vector<const Expr *> out;
    CollectAnonymous(program.statements, out);
    for (const Function &f : program.functions) CollectAnonymous(f.body, out);
    return out;
}

// ---------------------------------------------------------------------------
// List

void List::Release() {
    for (unsigned int k = 0; k < m_held; ++k) m_subs.push_back(Value(m_index[k]).array());
    m_held = 0;
    m_element = false;
}

void List::Add(Value v) {
    if (m_array) {
        double x;
        // Checked as it comes, as CheckSubscript would check it.
        if (m_element && m_held < 2 && v.RealScalar(x) && IsIndexValue(x)) {
            m_index[m_held++] = x;
            return;
        }
        Release();
        CheckSubscript(v);
        m_subs.push_back(v.array());
    } else {
        m_values.push_back(std::move(v));
    }
}

void List::Colon() {
    Release();
    if (m_array)
        m_subs.push_back(ColonSubscript());
    else
        m_values.emplace_back(Array(":"));
}

void List::Brace(const Value &base, unsigned int count, const Fill &subs) {
    if (m_array) {
        Add(m_rt.Brace(base, count, subs));
        return;
    }
    Values all = m_rt.BraceList(base, count, subs);
    for (Value &v : all) m_values.push_back(std::move(v));
}

void List::Field(const Value &base, const std::string &name) {
    if (m_array) {
        Add(m_rt.Field(base, name));
        return;
    }
    Values all = m_rt.FieldList(base, name);
    for (Value &v : all) m_values.push_back(std::move(v));
}

Value List::End(unsigned int k, unsigned int n) const {
    if (!m_array) throw Error("'end' is only valid in a subscript");
    return Array(km::End(*m_array, k, n));
}

// ---------------------------------------------------------------------------
// Scope

Scope::Scope(Runtime &rt) : m_rt(rt), m_slots(&rt.m_evaluator->Top().slots) {}

Scope::Scope(Runtime &rt, unsigned int file, unsigned int function, std::size_t count,
             unsigned int nargout)
    : m_rt(rt), m_nargin(static_cast<unsigned int>(count)), m_nargout(nargout) {
    const std::shared_ptr<const Unit> &unit = rt.m_units[file];
    const Function &f = unit->program.functions[function];
    m_function = &f;
    Evaluator &e = *rt.m_evaluator;
    CheckCallCounts(f, count, nargout);
    e.CheckDepth(f.name);
    Evaluator::Frame &frame = e.PushFrame(&f.names);
    m_slots = &frame.slots;
    e.m_calls.push_back({unit.get(), &f, f.line});
    frame.unit = unit;
    frame.function = &f;
    frame.nargin = m_nargin;
    frame.nargout = nargout;
    m_where = f.line;
}

Scope::Scope(Runtime &rt, unsigned int file, unsigned int function, Direct, unsigned int nargout)
    : Scope(rt, file, function, Direct(), nargout, ~0u) {}

Scope::Scope(Runtime &rt, unsigned int file, unsigned int function, Direct, unsigned int nargout,
             unsigned int nargin)
    : m_rt(rt), m_nargin(nargin), m_nargout(nargout) {
    const std::shared_ptr<const Unit> &unit = rt.m_units[file];
    const Function &f = unit->program.functions[function];
    m_function = &f;
    if (nargin == ~0u) m_nargin = static_cast<unsigned int>(f.params.size());
    Evaluator &e = *rt.m_evaluator;
    e.CheckDepth(f.name);
    Evaluator::Frame &frame = e.PushFrame(nullptr);
    m_slots = &frame.slots;
    // Field by field: a record built whole on the stack and copied is
    // stored in halves and loaded whole, which stalls.
    Evaluator::Activation &call = e.m_calls.emplace_back();
    call.unit = unit.get();
    call.function = &f;
    call.line = f.line;
    // The frame's storage and unit stay from call to call: the same unit
    // is not taken again.
    if (frame.unit != unit) frame.unit = unit;
    frame.function = &f;
    frame.nargin = m_nargin;
    frame.nargout = nargout;
    m_where = f.line;
}

Scope::~Scope() {
    if (!m_function) return;
    Evaluator &e = *m_rt.m_evaluator;
    e.m_calls.pop_back();
    e.PopFrame();
}

void Scope::Workspace(unsigned int file) {
    if (m_function) return;
    // As Evaluator::RunStatements maps a script into the workspace.
    Evaluator &e = *m_rt.m_evaluator;
    Evaluator::Frame &frame = e.Top();
    for (const std::string &name : m_rt.m_units[file]->program.names)
        m_map.push_back(frame.Add(name));
    e.Sync();
}

void Scope::At(int line) {
    m_where = line;
    m_rt.m_evaluator->m_calls.back().line = line;
}

void Scope::Fail() { m_rt.m_evaluator->Locate(m_where); }

void Scope::Caught(const std::exception &error, Value *err) {
    Evaluator &e = *m_rt.m_evaluator;
    e.Locate(m_where);
    const auto *raised = dynamic_cast<const Error *>(&error);
    e.Caught(error.what(), raised ? raised->Identifier() : std::string(), err);
}

Value Scope::Varargin(const Values &args, std::size_t k) {
    const auto extra = static_cast<unsigned int>(args.size() > k ? args.size() - k : 0);
    CellArray cell;
    cell.dims = {1, extra};
    if (extra) cell.items.assign(args.begin() + static_cast<std::ptrdiff_t>(k), args.end());
    return Value(std::move(cell));
}

Value Scope::Nargin() const { return Array(m_nargin); }
Value Scope::Nargout() const { return Array(m_nargout); }

Values Scope::Outputs(std::initializer_list<Value *> outputs, unsigned int nargout) {
    // The output variables by their slots.
    const Function &f = *m_function;
    Values out;
    CollectOutputs(
        f,
        [&](std::size_t slot) -> Value & {
            for (std::size_t k = 0; k < f.outputSlots.size(); ++k)
                if (static_cast<std::size_t>(f.outputSlots[k]) == slot) return *outputs.begin()[k];
            return *outputs.begin()[0];
        },
        nargout, &out, nullptr);
    return out;
}

// ---------------------------------------------------------------------------
// Runtime

Runtime::Runtime() : m_evaluator(std::make_unique<Evaluator>(std::cout, Limits())) {}
Runtime::~Runtime() = default;

void Runtime::Load(const std::vector<SourceFile> &sources) {
    Evaluator &e = *m_evaluator;
    for (const SourceFile &source : sources) {
        m_units.push_back(Compile(source.text, source.path));
        m_anonymous.push_back(AnonymousFunctions(m_units.back()->program));
    }
    for (std::size_t k = 0; k < sources.size(); ++k) {
        const std::shared_ptr<const Unit> &unit = m_units[k];
        if (k > 0) e.AddCompiledFile(unit->file, unit);
        if (const auto script = sources[k].script)
            e.SetNativeScript(unit.get(), [this, script] { script(*this); });
        const std::vector<Function> &functions = unit->program.functions;
        if (sources[k].functions.size() != functions.size()) continue;
        for (std::size_t j = 0; j < functions.size(); ++j) {
            const auto native = sources[k].functions[j];
            m_compiled.emplace(&functions[j], native);
            e.SetNative(&functions[j], [this, native](const Values &args, unsigned int nargout) {
                return native(*this, args, nargout);
            });
        }
    }
    for (std::size_t k = 0; k < sources.size(); ++k) {
        const std::vector<const Expr *> &anonymous = m_anonymous[k];
        if (sources[k].anonymous.size() != anonymous.size()) continue;
        for (std::size_t j = 0; j < anonymous.size(); ++j) {
            const auto body = sources[k].anonymous[j];
            e.SetNativeBody(anonymous[j], [this, body](unsigned int nargout) { return body(*this, nargout); });
        }
    }
}

int Runtime::Main(int, char **, std::vector<SourceFile> sources, void (*script)(Runtime &)) {
    SetConsole(isatty(STDIN_FILENO) != 0 ? Console::kTerminal : Console::kLines);
    if (std::getenv("RUL2MTRX_ORDER") == nullptr) km::SetOrder(km::Order::kFast);
    Runtime rt;
    Evaluator &e = *rt.m_evaluator;
    try {
        rt.Load(sources);
    } catch (const std::exception &error) {
        ReportError(ScriptError(error.what(), sources[0].path, 0));
        return 1;
    }
    const std::shared_ptr<const Unit> &unit = rt.m_units[0];
    // As Evaluator::Run starts a script.
    e.Top().unit = unit;
    e.m_located = false;
    e.m_failedFile = unit->file;
    e.m_failedLine = 0;
    e.m_calls.push_back({unit.get(), nullptr, 0});
    try {
        script(rt);
        std::cout.flush();
        return 0;
    } catch (const ExitError &error) {
        std::cout.flush();
        return error.Status();
    } catch (const InterruptError &error) {
        std::cout.flush();
        std::cerr << error.what() << '\n';
        return 130;
    } catch (const std::exception &error) {
        const auto *raised = dynamic_cast<const Error *>(&error);
        e.SetLastError(error.what(), raised ? raised->Identifier() : std::string());
        ReportError(ScriptError(error.what(), e.FailedFile(), e.FailedLine(), e.FailedStack()));
        return 1;
    }
}

Value Runtime::Binary(Op op, const Operands &operands) {
    return m_evaluator->BinaryValues(op, operands.a, operands.b);
}

double Runtime::LibraryNaN(Op op, double x, double y) {
    const Array a(x), b(y);
    switch (op) {
        case Op::Plus: return km::Plus(a, b).Scalar();
        case Op::Minus: return km::Minus(a, b).Scalar();
        case Op::Times: return km::Times(a, b).Scalar();
        default: return km::Rdivide(a, b).Scalar();
    }
}

Value Runtime::Unary(Op op, const Value &a) { return m_evaluator->UnaryValue(op, a); }

bool Runtime::Truth(const Value &v) { return m_evaluator->ValueTruth(v, false); }
bool Runtime::Operand(const Value &v) { return m_evaluator->ValueTruth(v, true); }

Value Runtime::Logical(bool b) {
    Array out(b ? 1.0 : 0.0);
    km::mxSetLogical(out.get());
    return out;
}

Value Runtime::Range(const Values &operands) {
    if (operands.size() == 2) return m_evaluator->RangeOf(operands[0], operands[1], nullptr);
    return m_evaluator->RangeOf(operands[0], operands[1], &operands[2]);
}

Value Runtime::Char(const char *text) {
    const std::string s(text);
    return s.empty() ? Array::Adopt(km::CharRows({})) : CharArray(s);
}

Value Runtime::String(const char *text) { return StringScalar(text); }
Value Runtime::Imaginary(double im) { return ImaginaryScalar(im); }

Value Runtime::Matrix(std::vector<Values> rows) { return m_evaluator->JoinRows(rows); }
Value Runtime::Cell(std::vector<Values> rows) { return m_evaluator->CellRows(rows); }

Values Runtime::Call(const char *name, Values args, unsigned int nargout) {
    Evaluator &e = *m_evaluator;
    return e.CallFunction(name, args, nargout, e.Top().unit);
}

Values Runtime::Call(CallSite &site, const char *name, Values args, unsigned int nargout) {
    Evaluator &e = *m_evaluator;
    const std::shared_ptr<const Unit> &from = e.Top().unit;
    if (site.generation != e.m_generation || site.from != from.get()) {
        // Resolve may read a file, which moves the generation on.
        Evaluator::Found found;
        const bool known = e.Resolve(name, from, found) && found.function;
        const auto compiled = known ? m_compiled.find(found.function) : m_compiled.end();
        site.native = compiled != m_compiled.end() ? compiled->second : nullptr;
        site.generation = e.m_generation;
        site.from = from.get();
    }
    if (site.native) return site.native(*this, args, nargout);
    return Call(name, std::move(args), nargout);
}

Values Runtime::CallNamed(const char *name, Values args, unsigned int nargout,
                          const char *argument) {
    Expr site;
    site.kind = Expr::Kind::Call;
    site.text = name;
    site.args.push_back(std::make_unique<Expr>());
    site.args[0]->kind = Expr::Kind::Name;
    site.args[0]->text = argument;
    Evaluator &e = *m_evaluator;
    e.m_site = &site;
    return e.CallFunction(name, args, nargout, e.Top().unit);
}

Values Runtime::Named(const Value &v, unsigned int nargout) {
    if (v.IsHandle() && nargout == 0) {
        const Value handle = v;
        return m_evaluator->Invoke(handle, {}, 0);
    }
    return {v};
}

Value Runtime::First(Values outputs, const char *name) {
    if (outputs.empty()) throw Error(std::string("'") + name + "' returns no value");
    return std::move(outputs[0]);
}

void Runtime::NeedOutputs(const Values &outputs, std::size_t count, const char *name) {
    if (outputs.size() < count)
        throw Error(std::string("Too many output arguments for '") + name + "'");
}

void Runtime::NeedValues(const Values &values, std::size_t count) {
    if (values.size() < count)
        throw Error("The list on the right gives " + std::to_string(values.size()) +
                    " values; the targets take " + std::to_string(count));
}

Value Runtime::Raise(const char *message) { throw Error(message); }

Values Runtime::Args(const Fill &fill) {
    List list(*this);
    if (fill) fill(list);
    return list.TakeValues();
}

Values Runtime::IndexName(const Value &base, unsigned int count, const Fill &subs,
                          unsigned int nargout) {
    if (base.IsHandle()) {
        const Value handle = base;
        return m_evaluator->Invoke(handle, Args(subs), nargout);
    }
    FillSubscripts source(*this, subs, count);
    return {m_evaluator->Index(base, false, true, source)};
}

Value Runtime::Index(const Value &base, unsigned int count, const Fill &subs) {
    if (PlainDouble(base) && m_evaluator->m_fastScalars) return IndexArray(base, count, subs, false);
    FillSubscripts source(*this, subs, count);
    return m_evaluator->Index(base, false, false, source);
}

Value Runtime::IndexOne(const Value &base, unsigned int count, const Fill &subs,
                        const char *name) {
    if (PlainDouble(base) && m_evaluator->m_fastScalars) return IndexArray(base, count, subs, true);
    return First(IndexName(base, count, subs, 1), name);
}

Value Runtime::IndexArray(const Value &base, unsigned int count, const Fill &subs, bool named) {
    const Array &a = base.array();
    List list(*this, &a, count == 1 || count == 2);
    if (count > 0) subs(list);
    std::size_t position;
    if (const double *index = list.Element(count))
        if (ElementAt(a, index, count, position)) return Value(a.Data()[position]);
    Taken source(list.TakeSubscripts(), count);
    return m_evaluator->Index(base, false, named, source);
}

Value Runtime::Brace(const Value &base, unsigned int count, const Fill &subs) {
    FillSubscripts source(*this, subs, count);
    return m_evaluator->Index(base, true, false, source);
}

Value Runtime::Field(const Value &base, const std::string &name) {
    std::size_t field;
    const StructArray &record = m_evaluator->FieldOf(base, name, field);
    return m_evaluator->FieldElement(record, field);
}

std::string Runtime::FieldName(const Value &v) { return m_evaluator->FieldNameOf(v); }

Values Runtime::BraceList(const Value &base, unsigned int count, const Fill &subs) {
    if (!base.IsCell()) throw Error("Brace indexing is only for cell arrays");
    const CellArray &c = base.cell();
    FillSubscripts source(*this, subs, count);
    SubscriptList list = source.Take(Positions(c.dims));
    std::vector<std::size_t> taken;
    Select(c.dims, list, taken);
    Values out;
    for (std::size_t k : taken) out.push_back(c.items[k]);
    return out;
}

Values Runtime::FieldList(const Value &base, const std::string &name) {
    std::size_t field;
    const StructArray &record = m_evaluator->FieldOf(base, name, field);
    const std::size_t n = Count(record.dims);
    Values out;
    for (std::size_t k = 0; k < n; ++k) out.push_back(record.At(k, field));
    return out;
}

Value Runtime::Assign(const Value &current, std::initializer_list<Step> steps, const Value &rhs,
                      bool deletion) {
    StepPath path(*this, steps);
    // Through a copy, so that a failed assignment changes nothing.
    const std::optional<Value> copy =
        current.IsUnset() ? std::optional<Value>() : std::optional<Value>(current);
    return m_evaluator->AssignPath(copy ? &*copy : nullptr, path, 0, rhs, deletion);
}

std::size_t Runtime::ListCount(const Value &current, std::initializer_list<Step> steps) {
    StepPath path(*this, steps);
    return m_evaluator->ListCount(current.IsUnset() ? nullptr : &current, path);
}

Value Runtime::AssignList(const Value &current, std::initializer_list<Step> steps, Values values) {
    StepPath path(*this, steps);
    return m_evaluator->ListAssigned(current.IsUnset() ? nullptr : &current, path,
                                     std::move(values));
}

Values Runtime::Take(Values &values, std::size_t &next, std::size_t count) {
    Values part(std::make_move_iterator(values.begin() + static_cast<std::ptrdiff_t>(next)),
                std::make_move_iterator(values.begin() + static_cast<std::ptrdiff_t>(next + count)));
    next += count;
    return part;
}

Value Runtime::Handle(const char *name, unsigned int file) {
    auto h = std::make_shared<mtrx::Handle>();
    h->unit = m_units[file];
    h->name = name;
    h->text = std::string("@") + name;
    return Value(std::shared_ptr<const mtrx::Handle>(std::move(h)));
}

Value Runtime::Anonymous(unsigned int file, unsigned int k, Values captured) {
    const Expr &e = *m_anonymous[file][k];
    auto h = std::make_shared<mtrx::Handle>();
    h->unit = m_units[file];
    h->anon = &e;
    h->body = e.args[0].get();
    h->text = CompactText(e.text);
    h->captured.assign(e.scope.size(), Value::Unset());
    for (std::size_t j = 0; j < captured.size() && j < e.captures.size(); ++j)
        h->captured[e.params.size() + j] = std::move(captured[j]);
    return Value(std::shared_ptr<const mtrx::Handle>(std::move(h)));
}

bool Runtime::Case(const Value &subject, const Value &label) {
    return m_evaluator->CaseMatches(subject, label);
}

void Runtime::Show(const char *name, const Value &v) {
    mtrx::Show(m_evaluator->m_display, name, v, m_evaluator->m_displayState);
}

// ---------------------------------------------------------------------------
// Loop

Loop::Loop(Runtime &, const Value &range) { Over(range); }

Loop::Loop(Runtime &rt, const Values &range, bool) {
    const bool three = range.size() == 3;
    // a:b and a:s:b of real scalars are stepped through without being
    // built: element k is the one Colon would store there.
    if (!range[0].RealScalar(m_start) || !range[1].RealScalar(three ? m_step : m_end) ||
        (three && !range[2].RealScalar(m_end))) {
        Over(rt.Range(range));
        return;
    }
    m_stepped = true;
    m_shape = km::ColonCount(m_start, m_step, m_end);
    // A range too long to count exactly (1:1e20, 1:Inf) runs until a break.
    m_endless = !(m_shape.count < 0x1p53);
    m_count = m_endless ? std::numeric_limits<unsigned long long>::max()
                        : static_cast<unsigned long long>(m_shape.count);
}

void Loop::Over(const Value &range) {
    m_range = range;
    m_cells = range.IsCell();
    m_strings = range.tag() == Tag::String;
    if (m_cells || m_strings) {
        const Dims dims = range.Dimensions();
        m_rows = dims[0];
        const std::size_t n = Count(dims);
        m_count = m_rows ? n / m_rows : 0;
        return;
    }
    const Array &a = range.array();
    m_rows = a.Rows();
    m_count = a.IsEmpty() ? 0 : a.Numel() / m_rows;
    m_plainRow = m_rows == 1 && IsDouble(a) && !IsComplex(a) && !a.IsLogical() && a.NDims() == 2;
}

namespace {

template <class Items>
Items ColumnOf(const Items &c, std::size_t rows, std::size_t j) {
    Items column;
    column.dims = {static_cast<unsigned int>(rows), 1};
    column.items.assign(c.items.begin() + static_cast<std::ptrdiff_t>(j * rows),
                        c.items.begin() + static_cast<std::ptrdiff_t>((j + 1) * rows));
    return column;
}

}  // namespace

bool Loop::Next(Value &v) {
    if (m_k >= m_count) return false;
    const unsigned long long k = m_k++;
    if (m_stepped) {
        v.SetScalar(m_endless ? m_start + static_cast<double>(k) * m_step
                              : km::ColonElement(m_shape, m_start, m_step, m_end, k));
        return true;
    }
    if (m_cells) {
        v = Value(ColumnOf(m_range.cell(), m_rows, k));
    } else if (m_strings) {
        v = Value(ColumnOf(m_range.strings(), m_rows, k));
    } else if (m_plainRow) {
        v = Value(m_range.array().Data()[k]);
    } else {
        v = m_range.array()(km::Subscript(km::All), km::Subscript(static_cast<unsigned int>(k + 1)));
    }
    return true;
}

}  // namespace mtrx
