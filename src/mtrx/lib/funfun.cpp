// src/mtrx/lib/funfun.cpp: functions of functions: zeros, minima, integrals
// and ODE solutions of callbacks (through the library), their option
// structs, and the calls of a function over the elements of arrays, cells
// and structs.
#include "lib/options.h"
#include "lib/support.h"

#include "evaluator.h"
#include "format.h"

#include <matrix/funfun.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

const char *const kFunction = "a function handle or a function name";

// Refuses argument k unless it is a handle or a function's name.
const Value &FunctionArg(const Args &args, std::size_t k) {
    if (!args[k].IsHandle() && !args.IsText(k)) args.Refuse(k, kFunction);
    return args[k];
}

// The elements of a real numeric, char or logical array value, as doubles;
// `what` names it in the refusal.
std::vector<double> Reals(const Value &v, const std::string &what) {
    double x;
    if (v.RealScalar(x)) return {x};
    if (!v.IsArray() || IsCell(v.array()) || IsComplex(v.array()))
        throw Error(what + " must be a real numeric array");
    if (!IsDouble(v.array())) {
        // single, integer, char: their values as doubles.
        const Array a = Array::Adopt(km::Double(v.array().get()));
        return std::vector<double>(a.Data(), a.Data() + a.Numel());
    }
    const Array &a = v.array();
    return std::vector<double>(a.Data(), a.Data() + a.Numel());
}

// The value f gives at args, which must be a real scalar.
double ScalarValue(BuiltinCall &c, const Value &f, std::vector<Value> args) {
    c.evaluator.CountStep();
    std::vector<Value> out = c.evaluator.Invoke(f, args, 1);
    double x;
    if (out.empty()) throw Error(c.name + ": the function must return a value");
    if (out[0].RealScalar(x)) return x;
    if (out[0].IsArray() && out[0].array().Numel() == 1 && !IsComplex(out[0].array()) &&
        !IsCell(out[0].array()))
        return km::mxGetScalar(out[0].array().get());
    throw Error(c.name + ": the function must return a real scalar");
}

// ------------------------------------------------------------------------
// Option structs (optimset, odeset) and their reading.

const char *const kOptimNames[] = {"Display", "MaxFunEvals", "MaxIter", "TolFun", "TolX"};
const char *const kOdeNames[] = {"AbsTol", "Events", "InitialStep", "MaxStep", "Refine", "RelTol", "Stats"};

// optimset and odeset: (), (old), (old, new), ('Name', value, ...) and
// (old, 'Name', value, ...); names matched without regard to case. Every
// known option is a field, [] when unset.
template <std::size_t N>
Outs OptionSet(const Args &args, const char *const (&names)[N]) {
    StructArray s;
    for (const char *n : names) {
        s.fields.push_back(n);
        s.values.push_back(Value());
    }
    const auto set = [&](const std::string &name, const Value &v) {
        for (std::size_t k = 0; k < N; ++k)
            if (LowerWord(name) == LowerWord(names[k])) {
                s.values[k] = v;
                return;
            }
        throw Error("Unrecognized property name '" + name + "' for '" + args.Name() + "'");
    };
    const auto merge = [&](std::size_t k) {
        if (!args[k].IsStruct() || Count(args[k].structure().dims) != 1)
            args.Refuse(k, "an options struct");
        const StructArray &o = args[k].structure();
        for (std::size_t f = 0; f < o.fields.size(); ++f) {
            const Value &v = o.At(0, f);
            if (!(v.IsArray() && v.array().Numel() == 0 && !IsChar(v.array()))) set(o.fields[f], v);
        }
    };
    std::size_t k = 0;
    while (k < args.size() && args[k].IsStruct()) merge(k++);
    if ((args.size() - k) % 2 != 0) throw Error("'" + args.Name() + "' takes name and value pairs");
    for (; k < args.size(); k += 2) {
        if (!args.IsText(k)) args.Refuse(k, "an option name");
        set(args.GetText(k), args[k + 1]);
    }
    return {Value(std::move(s))};
}

Outs Optimset(const Args &args, BuiltinCall &) { return OptionSet(args, kOptimNames); }
Outs Odeset(const Args &args, BuiltinCall &) { return OptionSet(args, kOdeNames); }

// The option `name` of an options argument, or null when it is not set.
const Value *Option(const Value *options, const char *name) {
    if (!options || !options->IsStruct()) return nullptr;
    const StructArray &s = options->structure();
    for (std::size_t f = 0; f < s.fields.size(); ++f)
        if (LowerWord(s.fields[f]) == LowerWord(name)) {
            const Value &v = s.At(0, f);
            if (v.IsArray() && v.array().Numel() == 0) return nullptr;
            return &v;
        }
    return nullptr;
}

double NumberOption(const Value *options, const char *name, const std::string &who) {
    const Value *v = Option(options, name);
    if (!v) return 0;
    const std::vector<double> x = Reals(*v, who + ": option " + name);
    if (x.size() != 1 || !(x[0] > 0))
        throw Error(who + ": option " + name + " must be a positive scalar");
    return x[0];
}

const Value *OptionsArg(const Args &args, std::size_t k) {
    if (!args.Has(k)) return nullptr;
    if (args[k].IsArray() && args[k].array().Numel() == 0 && !IsChar(args[k].array()))
        return nullptr;
    if (!args[k].IsStruct() || Count(args[k].structure().dims) != 1)
        args.Refuse(k, "an options struct");
    return &args[k];
}

km::OptimOptions OptimOptionsOf(const Value *o, BuiltinCall &c) {
    km::OptimOptions out;
    out.tolX = NumberOption(o, "TolX", c.name);
    out.tolFun = NumberOption(o, "TolFun", c.name);
    out.maxIter = NumberOption(o, "MaxIter", c.name);
    out.maxFunEvals = NumberOption(o, "MaxFunEvals", c.name);
    if (const Value *d = Option(o, "Display")) {
        const std::string word = IsText(*d) ? Text(d->array()) : std::string();
        if (word == "off" || word == "none")
            out.display = km::FunfunDisplay::kOff;
        else if (word == "iter")
            out.display = km::FunfunDisplay::kIter;
        else if (word == "final")
            out.display = km::FunfunDisplay::kFinal;
        else if (word == "notify")
            out.display = km::FunfunDisplay::kNotify;
        else
            throw Error(c.name + ": option Display must be 'off', 'iter', 'final' or 'notify'");
    }
    std::ostream &display = c.display;
    out.print = [&display](const std::string &line) { display << line << '\n'; };
    return out;
}

Value OutputStruct(std::vector<std::pair<std::string, Value>> fields) {
    return ScalarStruct(std::move(fields));
}

// ------------------------------------------------------------------------
// Zeros and minima.

Outs ScalarOutputs(const km::ScalarOptimum &r, bool interval) {
    std::vector<std::pair<std::string, Value>> fields;
    if (interval) fields.emplace_back("intervaliterations", Value(double(r.intervalIterations)));
    fields.emplace_back("iterations", Value(double(r.iterations)));
    fields.emplace_back("funcCount", Value(double(r.funcCount)));
    fields.emplace_back("algorithm", Value(CharArray(r.algorithm)));
    fields.emplace_back("message", Value(CharArray(r.message)));
    return {Value(r.x), Value(r.fval), Value(double(r.exitflag)), OutputStruct(std::move(fields))};
}

Outs Fzero(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const std::vector<double> x0 = Reals(args[1], "fzero: the starting point");
    if (x0.size() != 1 && x0.size() != 2)
        throw Error("fzero: the starting point must be a scalar or an interval of two values");
    const km::OptimOptions o = OptimOptionsOf(OptionsArg(args, 2), c);
    const km::ScalarFunction fn = [&](double x) { return ScalarValue(c, f, {Value(x)}); };
    return ScalarOutputs(x0.size() == 2 ? km::Fzero(fn, x0[0], x0[1], o) : km::Fzero(fn, x0[0], o),
                         true);
}

Outs Fminbnd(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const double a = args.GetScalar(1), b = args.GetScalar(2);
    const km::OptimOptions o = OptimOptionsOf(OptionsArg(args, 3), c);
    return ScalarOutputs(
        km::Fminbnd([&](double x) { return ScalarValue(c, f, {Value(x)}); }, a, b, o), false);
}

Outs Fminsearch(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const std::vector<double> x0 = Reals(args[1], "fminsearch: the starting point");
    const Array shape = args.GetArray(1);
    const std::vector<unsigned int> dims = shape.Dims();
    const auto shaped = [&](const std::vector<double> &x) {
        Array a(1, static_cast<unsigned int>(x.size()), x.data());
        return Array::Adopt(
            km::Reshape(a.get(), static_cast<unsigned int>(dims.size()), dims.data()));
    };
    const km::OptimOptions o = OptimOptionsOf(OptionsArg(args, 2), c);
    const km::SimplexOptimum r = km::Fminsearch(
        [&](const std::vector<double> &x) { return ScalarValue(c, f, {Value(shaped(x))}); }, x0, o);
    return {Value(shaped(r.x)), Value(r.fval), Value(double(r.exitflag)),
            OutputStruct({{"iterations", Value(double(r.iterations))},
                          {"funcCount", Value(double(r.funcCount))},
                          {"algorithm", Value(CharArray(r.algorithm))},
                          {"message", Value(CharArray(r.message))}})};
}

// ------------------------------------------------------------------------
// Integrals.

// The integrand as the library calls it: f of a row of points, which must
// give a real array of as many values.
km::BatchFunction Integrand(BuiltinCall &c, const Value &f) {
    return [&c, &f](const double *x, double *fx, std::size_t n) {
        c.evaluator.CountStep();
        std::vector<Value> out =
            c.evaluator.Invoke(f, {Value(Array(1, static_cast<unsigned int>(n), x))}, 1);
        if (out.empty()) throw Error(c.name + ": the integrand must return a value");
        double y;
        if (n == 1 && out[0].RealScalar(y)) {
            fx[0] = y;
            return;
        }
        if (!out[0].IsArray() || out[0].array().Numel() != n)
            throw Error(c.name +
                        ": the integrand must return an array of the size of its input "
                        "(use element-wise operators .* ./ .^)");
        const std::vector<double> v = Reals(out[0], c.name + ": the integrand's value");
        std::copy(v.begin(), v.end(), fx);
    };
}

// Name and value pairs from position k on: AbsTol, RelTol, MaxIntervalCount.
km::IntegralOptions IntegralPairs(const Args &args, std::size_t k, BuiltinCall &c) {
    km::IntegralOptions o;
    if ((args.size() - k) % 2 != 0)
        throw Error("'" + c.name + "' takes name and value pairs after the limits");
    for (; k < args.size(); k += 2) {
        if (!args.IsText(k)) args.Refuse(k, "an option name");
        const std::string name = LowerWord(args.GetText(k));
        const double v = args.GetScalar(k + 1);
        if (!(v >= 0))
            throw Error(c.name + ": option " + args.GetText(k) + " must not be negative");
        if (name == "abstol") {
            o.absTol = v;
        } else if (name == "reltol") {
            o.relTol = v;
        } else if (name == "maxintervalcount") {
            if (!(v >= 1 && v <= 1e6) || v != std::floor(v))
                throw Error(c.name +
                            ": option MaxIntervalCount must be a whole number from 1 to 1e6");
            o.maxIntervalCount = static_cast<int>(v);
        } else {
            throw Error(c.name + ": unknown option '" + args.GetText(k) + "'");
        }
    }
    return o;
}

void WarnIntegral(BuiltinCall &c, const km::IntegralResult &r) {
    if (r.status == 0) return;
    static const char *const ids[] = {"", "maxIntervalCountReached", "minStepSize",
                                      "nonFiniteValue"};
    c.evaluator.Warn("mtrx:" + c.name + ":" + ids[r.status], r.message);
}

Outs Integral(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const double a = args.GetScalar(1), b = args.GetScalar(2);
    const km::IntegralResult r = km::Integral(Integrand(c, f), a, b, IntegralPairs(args, 3, c));
    WarnIntegral(c, r);
    return {Value(r.value), Value(r.errorBound)};
}

Outs Quad(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const double a = args.GetScalar(1), b = args.GetScalar(2);
    km::IntegralOptions o;
    o.absTol = 1e-6;
    if (args.Has(3) && !(args[3].IsArray() && args[3].array().Numel() == 0)) {
        o.absTol = args.GetScalar(3);
        if (!(o.absTol > 0)) args.Refuse(3, "a positive tolerance");
    }
    const km::IntegralResult r = km::Quad(Integrand(c, f), a, b, o);
    WarnIntegral(c, r);
    return {Value(r.value), Value(double(r.funcCount))};
}

// integral2(f, xmin, xmax, ymin, ymax): iterated, the inner integral over
// y at each outer node x; ymin and ymax may be functions of x.
Outs Integral2(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const double xa = args.GetScalar(1), xb = args.GetScalar(2);
    const auto bound = [&](std::size_t k) -> std::function<double(double)> {
        if (args[k].IsHandle()) {
            const Value &g = args[k];
            return [&c, &g](double x) { return ScalarValue(c, g, {Value(x)}); };
        }
        const double v = args.GetScalar(k);
        return [v](double) { return v; };
    };
    const auto ya = bound(3), yb = bound(4);
    km::IntegralOptions outer = IntegralPairs(args, 5, c);
    // The inner integrals are asked for a tenth of the outer tolerances, so
    // that their errors do not dominate the outer one's.
    km::IntegralOptions inner = outer;
    inner.absTol = outer.absTol / 10;
    inner.relTol = outer.relTol / 10;
    int worst = 0;
    std::string message;
    const km::BatchFunction outerFn = [&](const double *x, double *fx, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) {
            const double xk = x[k];
            const km::BatchFunction innerFn = [&](const double *y, double *fy, std::size_t m) {
                c.evaluator.CountStep();
                std::vector<double> xs(m, xk);
                std::vector<Value> out =
                    c.evaluator.Invoke(f,
                                       {Value(Array(1, static_cast<unsigned int>(m), xs.data())),
                                        Value(Array(1, static_cast<unsigned int>(m), y))},
                                       1);
                if (out.empty() || !out[0].IsArray() || out[0].array().Numel() != m)
                    throw Error(
                        "integral2: the integrand must return an array of the size of its "
                        "inputs (use element-wise operators .* ./ .^)");
                const std::vector<double> v = Reals(out[0], "integral2: the integrand's value");
                std::copy(v.begin(), v.end(), fy);
            };
            const km::IntegralResult r = km::Integral(innerFn, ya(xk), yb(xk), inner);
            if (r.status > worst) {
                worst = r.status;
                message = r.message;
            }
            fx[k] = r.value;
        }
    };
    km::IntegralResult r = km::Integral(outerFn, xa, xb, outer);
    if (r.status == 0 && worst != 0) {
        r.status = worst;
        r.message = message;
    }
    WarnIntegral(c, r);
    return {Value(r.value), Value(r.errorBound)};
}

// ------------------------------------------------------------------------
// ODE solvers.

// A real array of rows x cols from values held row after row.
Value RowsArray(const std::vector<double> &rowwise, std::size_t rows, std::size_t cols) {
    std::vector<double> columns(rowwise.size());
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < cols; ++j) columns[j * rows + i] = rowwise[i * cols + j];
    return Value(Array(static_cast<unsigned int>(rows), static_cast<unsigned int>(cols),
                       columns.data()));
}

// A real rows x cols array of values held column after column.
Value Columns(const std::vector<double> &values, std::size_t rows, std::size_t cols) {
    return Value(Array(static_cast<unsigned int>(rows), static_cast<unsigned int>(cols), values.data()));
}

// [t, y] = ode45(f, tspan, y0, options), [t, y, te, ye, ie] with the
// Events option, sol = ode45(...) a solution struct for deval.
template <km::OdeSolution (*Solver)(const km::OdeFunction &, const std::vector<double> &,
                                    const std::vector<double> &, const km::OdeOptions &)>
Outs Ode(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const std::vector<double> tspan = Reals(args[1], c.name + ": tspan");
    const std::vector<double> y0 = Reals(args[2], c.name + ": the initial value");
    const Value *opts = OptionsArg(args, 3);
    km::OdeOptions o;
    if (const Value *v = Option(opts, "RelTol")) {
        const std::vector<double> x = Reals(*v, c.name + ": option RelTol");
        if (x.size() != 1) throw Error(c.name + ": option RelTol must be a scalar");
        o.relTol = x[0];
    }
    if (const Value *v = Option(opts, "AbsTol")) o.absTol = Reals(*v, c.name + ": option AbsTol");
    o.maxStep = NumberOption(opts, "MaxStep", c.name);
    o.initialStep = NumberOption(opts, "InitialStep", c.name);
    const double refine = NumberOption(opts, "Refine", c.name);
    // Each step gives Refine points: a bound keeps the output's size sane.
    constexpr double kMaxRefine = 1000;
    if (refine != std::floor(refine) || refine > kMaxRefine)
        throw Error(c.name + ": option Refine must be a whole number from 1 to 1000");
    o.refine = static_cast<int>(refine);
    bool stats = false;
    if (const Value *v = Option(opts, "Stats")) stats = IsText(*v) && Text(v->array()) == "on";

    const std::size_t n = y0.size();
    const unsigned int rows = static_cast<unsigned int>(n);
    const Value *events = Option(opts, "Events");
    if (events && !events->IsHandle())
        throw Error(c.name + ": option Events must be a function handle");
    if (events) {
        // [value, isterminal, direction] = events(t, y), each a vector of
        // one entry per event.
        o.events = [&](double t, const double *y, km::OdeEventValues &out) {
            c.evaluator.CountStep();
            std::vector<Value> got =
                c.evaluator.Invoke(*events, {Value(t), Value(Array(rows, 1, y))}, 3);
            if (got.size() < 3)
                throw Error(c.name + ": the events function must return [value, isterminal, direction]");
            out.value = Reals(got[0], c.name + ": the event values");
            const std::vector<double> terminal = Reals(got[1], c.name + ": isterminal");
            const std::vector<double> direction = Reals(got[2], c.name + ": direction");
            if (terminal.size() != out.value.size() || direction.size() != out.value.size())
                throw Error(c.name + ": value, isterminal and direction of the events function "
                            "must have the same number of elements");
            for (const double d : terminal) out.terminal.push_back(d != 0);
            for (const double d : direction) {
                if (d != -1 && d != 0 && d != 1)
                    throw Error(c.name + ": the event directions must be -1, 0 or 1");
                out.direction.push_back(static_cast<int>(d));
            }
        };
    }
    // A solution struct holds the steps themselves and what deval needs.
    const bool structure = c.nargout <= 1;
    const bool dense = structure && c.name != "ode15s";
    o.stepsOnly = structure;
    o.dense = dense;
    const km::OdeFunction fn = [&](double t, const double *y, double *dy) {
        c.evaluator.CountStep();
        std::vector<Value> out = c.evaluator.Invoke(f, {Value(t), Value(Array(rows, 1, y))}, 1);
        if (out.empty() || !out[0].IsArray() || out[0].array().Numel() != n)
            throw Error(c.name + ": the function must return a vector of " + std::to_string(n) +
                        " derivatives, one per component of the initial value");
        const std::vector<double> v = Reals(out[0], c.name + ": the derivative");
        std::copy(v.begin(), v.end(), dy);
    };
    const km::OdeSolution s = Solver(fn, tspan, y0, o);
    if (s.status != 0) c.evaluator.Warn("mtrx:" + c.name + ":integrationTolNotMet", s.message);
    if (stats) {
        c.display << s.steps << " successful steps\n"
                  << s.failedSteps << " failed attempts\n"
                  << s.funcCount << " function evaluations\n";
    }
    const std::size_t m = s.t.size();
    const std::size_t found = s.te.size();
    std::vector<double> ie(s.ie.begin(), s.ie.end());
    for (double &i : ie) ++i;
    if (structure) {
        std::vector<std::pair<std::string, Value>> fields = {
            {"solver", Value(CharArray(c.name))},
            {"x", RowsArray(s.t, 1, m)},
            {"y", Columns(s.y, n, m)}};
        if (events) {
            fields.emplace_back("xe", RowsArray(s.te, 1, found));
            fields.emplace_back("ye", Columns(s.ye, n, found));
            fields.emplace_back("ie", RowsArray(ie, 1, found));
        }
        fields.emplace_back("stats",
                            OutputStruct({{"nsteps", Value(double(s.steps))},
                                          {"nfailed", Value(double(s.failedSteps))},
                                          {"nfevals", Value(double(s.funcCount))}}));
        if (dense) {
            const std::size_t steps = s.stepStart.size();
            const std::size_t slopes = static_cast<std::size_t>(s.stages) * n;
            // Each step a column: its start, length, value and slopes.
            fields.emplace_back(
                "idata",
                OutputStruct({{"start", RowsArray(s.stepStart, 1, steps)},
                              {"h", RowsArray(s.stepLength, 1, steps)},
                              {"y0", Columns(s.stepY, n, steps)},
                              {"k", Columns(s.stepK, slopes, steps)},
                              {"end", Value(s.end)}}));
        }
        return {OutputStruct(std::move(fields))};
    }
    Outs out = {RowsArray(s.t, m, 1), RowsArray(s.y, m, n)};
    if (c.nargout > 2) {
        out.push_back(RowsArray(s.te, found, 1));
        out.push_back(RowsArray(s.ye, found, n));
        out.push_back(RowsArray(ie, found, 1));
    }
    return out;
}

// deval(sol, t), deval(sol, t, idx), deval(t, sol): the solution of ode45 or
// ode23 at the times t by the solver's continuous extension, one column per
// time (the rows idx only).
Outs Deval(const Args &args, BuiltinCall &) {
    const bool first = args[0].IsStruct();
    const std::size_t at = first ? 0 : 1;
    const char *const what = "a solution struct of ode45 or ode23";
    if (!args[at].IsStruct() || Count(args[at].structure().dims) != 1) args.Refuse(at, what);
    const StructArray &sol = args[at].structure();
    const auto field = [&](const StructArray &r, const char *name) -> const Value & {
        const int k = r.Field(name);
        if (k < 0) throw Error("'deval': the solution has no field '" + std::string(name) + "' (" + what + ")");
        return r.At(0, static_cast<std::size_t>(k));
    };
    const Value &solver = field(sol, "solver");
    const Value &idata = field(sol, "idata");
    if (!IsText(solver) || !idata.IsStruct() || Count(idata.structure().dims) != 1)
        args.Refuse(at, what);
    const StructArray &data = idata.structure();
    km::OdeSolution s;
    s.method = Text(solver.array());
    s.stepStart = Reals(field(data, "start"), "deval: idata.start");
    s.stepLength = Reals(field(data, "h"), "deval: idata.h");
    s.stepY = Reals(field(data, "y0"), "deval: idata.y0");
    s.stepK = Reals(field(data, "k"), "deval: idata.k");
    const std::vector<double> end = Reals(field(data, "end"), "deval: idata.end");
    if (end.size() != 1) args.Refuse(at, what);
    s.end = end[0];
    const Value &y0 = field(data, "y0");
    s.n = y0.IsArray() ? y0.array().Rows() : 0;
    s.stages = s.method == "ode45" ? 7 : s.method == "ode23" ? 4 : 0;
    // The last point of x and y: deval gives it as the solver gave it.
    const int xf = sol.Field("x"), yf = sol.Field("y");
    if (xf >= 0 && yf >= 0) {
        const Value &x = sol.At(0, static_cast<std::size_t>(xf));
        const Value &y = sol.At(0, static_cast<std::size_t>(yf));
        if (x.IsArray() && y.IsArray() && x.array().Numel() > 0 && y.array().Rows() == s.n &&
            y.array().Numel() == s.n * x.array().Numel() && !IsComplex(y.array())) {
            const std::vector<double> xs = Reals(x, "deval: sol.x"), ys = Reals(y, "deval: sol.y");
            s.t = {xs.back()};
            s.y.assign(ys.end() - static_cast<std::ptrdiff_t>(s.n), ys.end());
        }
    }
    const std::vector<double> times = Reals(args[first ? 1 : 0], "deval: the times");
    if (!s.stepStart.empty()) {
        const double t0 = s.stepStart.front();
        for (const double t : times)
            if (!((t - t0) * (s.end - t) >= 0))
                throw Error("deval: the time " + Format("%g", {Value(t)}, "deval") +
                            " lies outside the interval the solution covers, " +
                            Format("[%g, %g]", {Value(std::min(t0, s.end)), Value(std::max(t0, s.end))}, "deval"));
    }
    std::vector<double> values = km::OdeEvaluate(s, times);
    const std::size_t n = s.n, m = times.size();
    std::vector<std::size_t> keep;
    if (args.Has(2)) {
        for (const double i : Reals(args[2], "deval: idx")) {
            if (!(i >= 1 && i <= static_cast<double>(n) && i == std::floor(i)))
                args.Refuse(2, "indices of solution components, from 1 to " + std::to_string(n));
            keep.push_back(static_cast<std::size_t>(i) - 1);
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) keep.push_back(i);
    }
    std::vector<double> picked(keep.size() * m);
    for (std::size_t q = 0; q < m; ++q)
        for (std::size_t r = 0; r < keep.size(); ++r)
            picked[q * keep.size() + r] = values[q * n + keep[r]];
    return {Value(Array(static_cast<unsigned int>(keep.size()), static_cast<unsigned int>(m),
                        picked.data()))};
}

// ------------------------------------------------------------------------
// arrayfun, cellfun, structfun.

// The trailing 'UniformOutput' and 'ErrorHandler' pairs of arrayfun and
// cellfun; returns the position where they start.
struct MapOptions {
    bool uniform = true;
    const Value *handler = nullptr;
};

std::size_t MapPairs(const Args &args, std::size_t first, MapOptions &o) {
    std::size_t end = args.size();
    while (end >= first + 2 && args.IsText(end - 2)) {
        const std::string name = LowerWord(args.GetText(end - 2));
        if (name == "uniformoutput") {
            const Value &v = args[end - 1];
            double x;
            if (v.RealScalar(x))
                o.uniform = x != 0;
            else if (v.IsArray() && v.array().Numel() == 1 && !IsCell(v.array()))
                o.uniform = km::mxGetScalar(v.array().get()) != 0;
            else
                args.Refuse(end - 1, "true or false");
        } else if (name == "errorhandler") {
            if (!args[end - 1].IsHandle()) args.Refuse(end - 1, "a function handle");
            o.handler = &args[end - 1];
        } else {
            break;
        }
        end -= 2;
    }
    if (end > first && args.IsText(end - 1)) {
        const std::string name = LowerWord(args.GetText(end - 1));
        if (name == "uniformoutput" || name == "errorhandler")
            throw Error("'" + args.Name() + "': option '" + args.GetText(end - 1) +
                        "' needs a value");
    }
    return end;
}

// Element k of a value, as the function of arrayfun or cellfun gets it: a
// cell's content (cellfun) or a 1x1 piece of any other value.
Value ElementOf(const Value &v, std::size_t k, bool content) {
    if (v.IsCell()) {
        if (content) return v.cell().items[k];
        CellArray one;
        one.dims = {1, 1};
        one.items.push_back(v.cell().items[k]);
        return Value(std::move(one));
    }
    if (v.IsStruct()) {
        const StructArray &s = v.structure();
        StructArray one;
        one.fields = s.fields;
        for (std::size_t f = 0; f < s.fields.size(); ++f) one.values.push_back(s.At(k, f));
        return Value(std::move(one));
    }
    if (v.tag() == Tag::String) {
        StringArray one;
        one.items.push_back(v.strings().items[k]);
        return Value(std::move(one));
    }
    if (v.tag() == Tag::Scalar) return v;
    if (v.IsHandle()) return v;
    const Array &a = v.array();
    if (IsDouble(a) && !IsComplex(a) && !a.IsLogical()) return Value(a.Data()[k]);
    return Value(Array::Adopt(km::Indexref(a.get(), Array(static_cast<double>(k + 1)).get())));
}

// Collects the outputs of the calls: per output, either one array of the
// inputs' shape (uniform) or a cell array of it.
Outs Collect(const std::vector<std::vector<Value>> &results, const Dims &dims, std::size_t outputs,
             bool uniform, const std::string &name) {
    Outs outs;
    for (std::size_t o = 0; o < outputs; ++o) {
        if (!uniform) {
            CellArray cells;
            cells.dims = dims;
            for (const auto &r : results) cells.items.push_back(r[o]);
            outs.push_back(Value(std::move(cells)));
            continue;
        }
        if (results.empty()) {
            outs.push_back(Value(
                Array::Adopt(km::Zeros(static_cast<unsigned int>(dims.size()), dims.data()))));
            continue;
        }
        // Every value one element of one class; joined as [v1, v2, ...].
        std::vector<Array> items;
        std::vector<const km::CMatrix *> pointers;
        const char *cls = nullptr;
        for (std::size_t k = 0; k < results.size(); ++k) {
            const Value &v = results[k][o];
            if (!v.IsArray() || IsCell(v.array()) || v.array().Numel() != 1)
                throw Error("'" + name +
                            "': the function gave a value that is not a scalar at "
                            "element " +
                            std::to_string(k + 1) +
                            "; set 'UniformOutput' to false to collect any values in a cell array");
            const char *kind = v.tag() == Tag::Scalar ? "double" : ClassName(v.array());
            if (cls && std::strcmp(cls, kind) != 0)
                throw Error("'" + name + "': the function gave values of classes " + cls + " and " +
                            kind +
                            "; set 'UniformOutput' to false to collect them in a cell array");
            cls = kind;
            items.push_back(v.array());
        }
        for (const Array &a : items) pointers.push_back(a.get());
        Array row =
            Array::Adopt(km::Horzcat(static_cast<unsigned int>(pointers.size()), pointers.data()));
        outs.push_back(Value(Array::Adopt(
            km::Reshape(row.get(), static_cast<unsigned int>(dims.size()), dims.data()))));
    }
    return outs;
}

// Calls f over elements 0..count) of the values (each element taken by
// `pick`), handling errors through the handler when one is given.
template <class Pick>
Outs MapCalls(BuiltinCall &c, const Value &f, std::size_t count, std::size_t inputs, Pick pick,
              const MapOptions &o, const Dims &dims) {
    const unsigned int want = c.nargout;
    const std::size_t outputs = std::max<std::size_t>(want, 1);
    std::vector<std::vector<Value>> results;
    results.reserve(count);
    bool none = false;
    for (std::size_t k = 0; k < count; ++k) {
        std::vector<Value> in;
        for (std::size_t a = 0; a < inputs; ++a) in.push_back(pick(a, k));
        std::vector<Value> out;
        c.evaluator.CountStep();
        const std::size_t depth = c.evaluator.Depth();
        try {
            out = c.evaluator.Invoke(f, in, want);
        } catch (const LimitError &) {
            throw;
        } catch (const std::exception &e) {
            if (!o.handler) throw;
            c.evaluator.Recovered(depth);
            std::string identifier;
            if (const auto *err = dynamic_cast<const Error *>(&e)) identifier = err->Identifier();
            std::vector<Value> hin{ScalarStruct({{"message", Value(CharArray(e.what()))},
                                                 {"identifier", Value(CharArray(identifier))},
                                                 {"index", Value(double(k + 1))}})};
            hin.insert(hin.end(), in.begin(), in.end());
            out = c.evaluator.Invoke(*o.handler, hin, want);
        }
        if (want == 0 && out.empty()) {
            none = true;
            continue;
        }
        if (out.size() < outputs)
            throw Error("'" + c.name + "': the function gave too few outputs");
        results.push_back(std::move(out));
    }
    if (want == 0 && (none || count == 0)) {
        if (none && !results.empty())
            throw Error("'" + c.name + "': the function gave a value for some elements only");
        if (none) return {};
    }
    return Collect(results, dims, outputs, o.uniform, c.name);
}

Outs Arrayfun(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    MapOptions o;
    const std::size_t end = MapPairs(args, 2, o);
    if (end < 2) throw Error("Not enough input arguments for 'arrayfun'");
    const Dims dims = args[1].Dimensions();
    for (std::size_t a = 2; a < end; ++a)
        if (args[a].Dimensions() != dims)
            throw Error("'arrayfun': all the input arguments must be of the same size (argument " +
                        std::to_string(a + 1) + " is " + DimsText(args[a].Dimensions()) + ", not " +
                        DimsText(dims) + ")");
    return MapCalls(
        c, f, Count(dims), end - 1,
        [&](std::size_t a, std::size_t k) { return ElementOf(args[a + 1], k, false); }, o, dims);
}

// cellfun's names from before handles: each a test of every cell.
bool LegacyCellfun(const Args &args, Outs &out) {
    if (!args.IsText(0) || !args[1].IsCell()) return false;
    const std::string name = args.GetText(0);
    const CellArray &cells = args[1].cell();
    std::vector<double> v;
    bool logical = true;
    for (const Value &item : cells.items) {
        const Dims d = item.Dimensions();
        if (name == "isempty") {
            v.push_back(Count(d) == 0);
        } else if (name == "length") {
            v.push_back(Count(d) == 0 ? 0 : *std::max_element(d.begin(), d.end()));
            logical = false;
        } else if (name == "ndims") {
            v.push_back(static_cast<double>(d.size()));
            logical = false;
        } else if (name == "prodofsize" || name == "numel") {
            v.push_back(static_cast<double>(Count(d)));
            logical = false;
        } else if (name == "isreal") {
            v.push_back(item.IsArray() && !IsComplex(item.array()));
        } else if (name == "islogical") {
            v.push_back(item.IsArray() && item.tag() != Tag::Scalar && item.array().IsLogical());
        } else if (name == "isclass" && args.Has(2)) {
            v.push_back(item.ClassName() == args.GetText(2));
        } else if (name == "size" && args.Has(2)) {
            const int k = args.GetWhole(2);
            if (k < 1) args.Refuse(2, "a dimension from 1 up");
            v.push_back(static_cast<std::size_t>(k) <= d.size() ? d[static_cast<std::size_t>(k) - 1]
                                                                : 1);
            logical = false;
        } else {
            return false;
        }
    }
    Array a =
        Array::Adopt(km::Zeros(static_cast<unsigned int>(cells.dims.size()), cells.dims.data()));
    std::copy(v.begin(), v.end(), a.MutableData().begin());
    if (logical) km::mxSetLogical(a.get());
    out = {Value(std::move(a))};
    return true;
}

Outs Cellfun(const Args &args, BuiltinCall &c) {
    Outs legacy;
    if (LegacyCellfun(args, legacy)) return legacy;
    const Value &f = FunctionArg(args, 0);
    MapOptions o;
    const std::size_t end = MapPairs(args, 2, o);
    if (end < 2) throw Error("Not enough input arguments for 'cellfun'");
    for (std::size_t a = 1; a < end; ++a)
        if (!args[a].IsCell()) args.Refuse(a, "a cell array");
    const Dims dims = args[1].Dimensions();
    for (std::size_t a = 2; a < end; ++a)
        if (args[a].Dimensions() != dims)
            throw Error("'cellfun': all the input arguments must be of the same size (argument " +
                        std::to_string(a + 1) + " is " + DimsText(args[a].Dimensions()) + ", not " +
                        DimsText(dims) + ")");
    return MapCalls(
        c, f, Count(dims), end - 1,
        [&](std::size_t a, std::size_t k) { return ElementOf(args[a + 1], k, true); }, o, dims);
}

Outs Structfun(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    MapOptions o;
    const std::size_t end = MapPairs(args, 2, o);
    if (end != 2) throw Error("'structfun' takes a function, a struct and options");
    if (o.handler) throw Error("'structfun' takes no 'ErrorHandler'");
    if (!args[1].IsStruct() || Count(args[1].structure().dims) != 1) args.Refuse(1, "a 1x1 struct");
    const StructArray &s = args[1].structure();
    const Dims dims{static_cast<unsigned int>(s.fields.size()), 1};
    Outs outs = MapCalls(
        c, f, s.fields.size(), 1, [&](std::size_t, std::size_t k) { return s.At(0, k); }, o, dims);
    if (o.uniform) return outs;
    // Non-uniform: a struct of the same fields per output.
    for (Value &v : outs) {
        StructArray r;
        r.fields = s.fields;
        r.values = v.cell().items;
        v = Value(std::move(r));
    }
    return outs;
}

// ------------------------------------------------------------------------
// Handles and their counts.

Outs Str2func(const Args &args, BuiltinCall &c) {
    const std::string text = args.GetText(0);
    const std::size_t start = text.find_first_not_of(" \t");
    if (start != std::string::npos && text[start] == '@') {
        Value v = c.evaluator.EvaluateHere(Compile(text, ""));
        if (!v.IsHandle())
            throw Error("'str2func' expects a function name or an anonymous function");
        return {v};
    }
    if (text.empty() || !(std::isalpha(static_cast<unsigned char>(text[0]))) ||
        !std::all_of(text.begin(), text.end(), [](char ch) {
            return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
        }))
        throw Error("'str2func': '" + text + "' is not a valid function name");
    auto h = std::make_shared<Handle>();
    h->name = text;
    h->text = "@" + text;
    return {Value(std::shared_ptr<const Handle>(std::move(h)))};
}

template <bool Inputs>
Outs Arity(const Args &args, BuiltinCall &c) {
    const Value &f = FunctionArg(args, 0);
    const std::pair<int, int> counts = c.evaluator.Arity(f);
    return {Value(double(Inputs ? counts.first : counts.second))};
}

const BuiltinEntry kEntries[] = {
    {"fzero", Fzero, 2, 3, 4, "[x, fval, exitflag, output] = fzero(f, x0, options)",
     "A zero of f: from a bracket [a b] whose values differ in sign, or from a point x0 "
     "(an interval around it is widened until f changes sign); Brent's method."},
    {"fminbnd", Fminbnd, 3, 4, 4, "[x, fval, exitflag, output] = fminbnd(f, a, b, options)",
     "A local minimum of f on [a, b]: golden section search and parabolic interpolation."},
    {"fminsearch", Fminsearch, 2, 3, 4, "[x, fval, exitflag, output] = fminsearch(f, x0, options)",
     "A local minimum of f of several variables from x0: the Nelder-Mead simplex method."},
    {"optimset", Optimset, 0, kAny, 1, "options = optimset('Name', value, ...), optimset(old, new)",
     "Options of fzero, fminbnd and fminsearch: Display, MaxFunEvals, MaxIter, TolFun, TolX."},
    {"integral", Integral, 3, kAny, 2,
     "[q, errbnd] = integral(f, a, b, 'AbsTol', 1e-10, 'RelTol', 1e-6)",
     "The integral of f over [a, b] (either may be infinite): adaptive Gauss-Kronrod "
     "quadrature; f is called with a row of points."},
    {"quadgk", Integral, 3, kAny, 2, "[q, errbnd] = quadgk(f, a, b, 'AbsTol', t, 'RelTol', t)",
     "The integral of f over [a, b] by adaptive Gauss-Kronrod quadrature, as integral."},
    {"quad", Quad, 3, 4, 2, "[q, fcount] = quad(f, a, b, tol)",
     "The integral of f over finite [a, b] by adaptive Simpson quadrature (tol 1e-6)."},
    {"integral2", Integral2, 5, kAny, 2, "q = integral2(f, xmin, xmax, ymin, ymax)",
     "The integral of f(x, y) over a region, as iterated integrals; ymin and ymax may be "
     "functions of x."},
    {"ode45", Ode<km::Ode45>, 3, 4, 5, "[t, y, te, ye, ie] = ode45(f, tspan, y0, options), sol = ode45(...)",
     "Solves y' = f(t, y) by the Dormand-Prince 5(4) pair; one output gives a struct."},
    {"ode23", Ode<km::Ode23>, 3, 4, 5, "[t, y, te, ye, ie] = ode23(f, tspan, y0, options), sol = ode23(...)",
     "Solves y' = f(t, y) by the Bogacki-Shampine 3(2) pair; one output gives a struct."},
    {"ode15s", Ode<km::Ode15s>, 3, 4, 2, "[t, y] = ode15s(f, tspan, y0, options)",
     "Solves a stiff y' = f(t, y) by the numerical differentiation formulas of orders 1 to 5; "
     "one output gives a struct."},
    {"odeset", Odeset, 0, kAny, 1, "options = odeset('Name', value, ...), odeset(old, new)",
     "Options of the ODE solvers: AbsTol, Events, InitialStep, MaxStep, Refine, RelTol, Stats."},
    {"deval", Deval, 2, 3, 1, "Y = deval(sol, t), deval(sol, t, idx)",
     "The solution struct of ode45 or ode23 at the times t, one column per time."},
    {"arrayfun", Arrayfun, 2, kAny, kAny,
     "[A, ...] = arrayfun(f, X, ..., 'UniformOutput', false, 'ErrorHandler', h)",
     "Calls f on each element of the arrays; scalar results joined in an array of their shape, "
     "or any results in cell arrays."},
    {"cellfun", Cellfun, 2, kAny, kAny,
     "[A, ...] = cellfun(f, C, ..., 'UniformOutput', false, 'ErrorHandler', h)",
     "Calls f on the contents of each cell; also cellfun('isempty', C), 'length', 'ndims', "
     "'prodofsize', 'isreal', 'islogical', ('isclass', C, name), ('size', C, k)."},
    {"structfun", Structfun, 2, 4, kAny, "[A, ...] = structfun(f, s, 'UniformOutput', false)",
     "Calls f on each field of a 1x1 struct: a column of scalar results, or a struct."},
    {"str2func", Str2func, 1, 1, 1, "f = str2func('name'), str2func('@(x) ...')",
     "The function handle that a text names or writes."},
    {"nargin", Arity<true>, 1, 1, 1, "n = nargin(f)",
     "The inputs a function declares; negative when the last is varargin."},
    {"nargout", Arity<false>, 1, 1, 1, "n = nargout(f)",
     "The outputs a function declares; negative when the last is varargout."},
};

}  // namespace

Library FunfunLibrary() {
    return {"funfun", "Functions of functions: zeros, minima, integrals, ODEs, mapping", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
