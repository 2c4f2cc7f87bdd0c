// src/mtrx/builtins.cpp: the table of built-in functions and constants.
#include "error.h"
#include "evaluator.h"

#include <matrix/display.h>

#include <cmath>
#include <limits>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

using Args = std::vector<Array>;

void Count(const Args &args, std::size_t low, std::size_t high) {
    if (args.size() < low) throw Error("Not enough input arguments");
    if (args.size() > high) throw Error("Too many input arguments");
}

// A length argument: a whole number; negative lengths mean 0.
unsigned int Length(double v) {
    if (std::isnan(v) || v != std::floor(v)) throw Error("Size inputs must be whole numbers");
    if (v < 0) return 0;
    if (v > 4294967295.0) throw Error("Size inputs are too large");
    return static_cast<unsigned int>(v);
}

// The lengths of zeros(...) and its kin: none (1x1), n (n x n), m, n, ...
// or one row of lengths.
std::vector<unsigned int> Lengths(const Args &args) {
    std::vector<unsigned int> dims;
    if (args.size() == 1 && args[0].Numel() != 1) {
        for (double v : args[0].ToVector()) dims.push_back(Length(v));
        if (dims.size() < 2) throw Error("A size vector needs at least two lengths");
        return dims;
    }
    for (const Array &a : args) dims.push_back(Length(a.Scalar()));
    if (dims.empty()) dims = {1, 1};
    if (dims.size() == 1) dims.push_back(dims[0]);
    return dims;
}

template <km::CMatrix *(*Make)(unsigned int, const unsigned int *)>
bool Filled(const Args &args, Array &out, std::ostream &) {
    const std::vector<unsigned int> dims = Lengths(args);
    out = Array::Adopt(Make(static_cast<unsigned int>(dims.size()), dims.data()));
    return true;
}

template <Array (*F)(const Array &)>
bool Unary(const Args &args, Array &out, std::ostream &) {
    Count(args, 1, 1);
    out = F(args[0]);
    return true;
}

template <Array (*F)(const Array &), Array (*FDim)(const Array &, unsigned int)>
bool Reduction(const Args &args, Array &out, std::ostream &) {
    Count(args, 1, 2);
    out = args.size() == 1 ? F(args[0]) : FDim(args[0], Length(args[1].Scalar()));
    return true;
}

template <bool IsMax>
bool Extreme(const Args &args, Array &out, std::ostream &) {
    Count(args, 1, 2);
    if (args.size() == 2)
        out = IsMax ? km::Max(args[0], args[1]) : km::Min(args[0], args[1]);
    else
        out = IsMax ? km::Max(args[0]).values : km::Min(args[0]).values;
    return true;
}

template <int Which>
bool Constant(const Args &args, Array &out, std::ostream &) {
    Count(args, 0, 0);
    const double values[] = {3.14159265358979323846,
                             std::numeric_limits<double>::epsilon(),
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             1.0,
                             0.0};
    out = Array(values[Which]);
    if (Which >= 4) km::mxSetLogical(out.get());
    return true;
}

Array SumAll(const Array &a) { return km::Sum(a); }
Array SumDim(const Array &a, unsigned int d) { return km::Sum(a, d); }
Array ProdAll(const Array &a) { return km::Prod(a); }
Array ProdDim(const Array &a, unsigned int d) { return km::Prod(a, d); }
Array AbsOf(const Array &a) { return km::Abs(a); }
Array ExpOf(const Array &a) { return km::Exp(a); }
Array RoundOf(const Array &a) { return km::Round(a); }
Array SqrtOf(const Array &a) { return km::Sqrt(a); }
Array NumelOf(const Array &a) { return Array(a.Numel()); }
Array LengthOf(const Array &a) { return Array(km::Length(a)); }
Array IsemptyOf(const Array &a) { return km::Isempty(a); }
Array DetOf(const Array &a) { return Array(km::Det(a)); }
Array InvOf(const Array &a) {
    if (a.NDims() != 2 || a.Rows() != a.Cols()) throw Error("Matrix must be square");
    return km::Mldivide(a, Array::Eye(a.Rows()));
}

bool Eye(const Args &args, Array &out, std::ostream &) {
    const std::vector<unsigned int> dims = Lengths(args);
    if (dims.size() != 2) throw Error("eye takes at most two lengths");
    out = Array::Eye(dims[0], dims[1]);
    return true;
}

bool Size(const Args &args, Array &out, std::ostream &) {
    Count(args, 1, 2);
    if (args.size() == 2) {
        out = Array(args[0].Size(Length(args[1].Scalar())));
        return true;
    }
    const std::vector<unsigned int> dims = args[0].Dims();
    std::vector<double> row(dims.begin(), dims.end());
    out = Array(1, static_cast<unsigned int>(row.size()), row);
    return true;
}

bool Disp(const Args &args, Array &, std::ostream &display) {
    Count(args, 1, 1);
    display << km::DisplayText(args[0].get(), "");
    return false;
}

struct Entry {
    const char *name;
    Builtin handler;
};

const Entry kBuiltins[] = {
    {"zeros", Filled<km::Zeros>},
    {"ones", Filled<km::Ones>},
    {"rand", Filled<km::Rand>},
    {"randn", Filled<km::Randn>},
    {"eye", Eye},
    {"size", Size},
    {"numel", Unary<NumelOf>},
    {"length", Unary<LengthOf>},
    {"isempty", Unary<IsemptyOf>},
    {"abs", Unary<AbsOf>},
    {"exp", Unary<ExpOf>},
    {"round", Unary<RoundOf>},
    {"sqrt", Unary<SqrtOf>},
    {"sum", Reduction<SumAll, SumDim>},
    {"prod", Reduction<ProdAll, ProdDim>},
    {"max", Extreme<true>},
    {"min", Extreme<false>},
    {"disp", Disp},
    {"det", Unary<DetOf>},
    {"inv", Unary<InvOf>},
    {"pi", Constant<0>},
    {"eps", Constant<1>},
    {"Inf", Constant<2>},
    {"inf", Constant<2>},
    {"NaN", Constant<3>},
    {"nan", Constant<3>},
    {"true", Constant<4>},
    {"false", Constant<5>},
};

}  // namespace

Builtin FindBuiltin(const std::string &name) {
    for (const Entry &e : kBuiltins)
        if (name == e.name) return e.handler;
    return nullptr;
}

}  // namespace mtrx
