// src/mtrx/builtins.cpp: the table of built-in functions and constants.
#include "arrays.h"
#include "error.h"
#include "evaluator.h"
#include "format.h"

#include <kiv/random.h>
#include <matrix/display.h>
#include <matrix/order.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <sstream>
#include <unordered_map>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

using Args = std::vector<Value>;
using Outs = std::vector<Value>;

void Count(const Args &args, std::size_t low, std::size_t high, const BuiltinCall &c) {
    if (args.size() < low) throw Error("Not enough input arguments for '" + c.name + "'");
    if (args.size() > high) throw Error("Too many input arguments for '" + c.name + "'");
}

void Outputs(unsigned int most, const BuiltinCall &c) {
    if (c.nargout > most) throw Error("Too many output arguments for '" + c.name + "'");
}

// A length argument: a whole number; negative lengths mean 0.
unsigned int Length(double v) {
    if (std::isnan(v) || v != std::floor(v)) throw Error("Size inputs must be whole numbers");
    if (v < 0) return 0;
    if (v > 4294967295.0) throw Error("Size inputs are too large");
    return static_cast<unsigned int>(v);
}

// A dimension or count argument: a positive whole number.
unsigned int Positive(const Value &v, const BuiltinCall &c) {
    const double x = v.array().Scalar();
    if (!(x >= 1) || x != std::floor(x) || x > 4294967295.0)
        throw Error("'" + c.name + "' needs a positive whole number here");
    return static_cast<unsigned int>(x);
}

bool IsText(const Value &v) { return v.IsArray() && IsChar(v.array()); }
std::string TextOf(const Value &v, const BuiltinCall &c) {
    if (!IsText(v)) throw Error("'" + c.name + "' needs a text argument here");
    return Text(v.array());
}

// The lengths of zeros(...) and its kin: none (1x1), n (n x n), m, n, ...
// or one row of lengths.
std::vector<unsigned int> Lengths(const Args &args) {
    std::vector<unsigned int> dims;
    if (args.size() == 1 && args[0].array().Numel() != 1) {
        for (double v : args[0].array().ToVector()) dims.push_back(Length(v));
        if (dims.size() < 2) throw Error("A size vector needs at least two lengths");
        return dims;
    }
    for (const Value &a : args) dims.push_back(Length(a.array().Scalar()));
    if (dims.empty()) dims = {1, 1};
    if (dims.size() == 1) dims.push_back(dims[0]);
    return dims;
}

template <km::CMatrix *(*Make)(unsigned int, const unsigned int *)>
Outs Filled(const Args &args, BuiltinCall &c) {
    // rand('seed', s) and randn('seed', s) restart the generator.
    if (args.size() == 2 && IsText(args[0])) {
        if (Text(args[0].array()) != "seed")
            throw Error("'" + c.name + "' takes 'seed' and a number here");
        kiv::RandSeed(static_cast<unsigned long long>(Length(args[1].array().Scalar())));
        return {};
    }
    const std::vector<unsigned int> dims = Lengths(args);
    return {Array::Adopt(Make(static_cast<unsigned int>(dims.size()), dims.data()))};
}

template <Array (*F)(const Array &)>
Outs Unary(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    return {F(args[0].array())};
}

// inv(A), with the warning its condition estimate calls for.
Outs InvBuiltin(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    double rcond;
    Outs out{Array::Adopt(km::Inv(args[0].array().get(), rcond))};
    WarnIfIllConditioned(c.display, rcond);
    return out;
}

template <Array (*F)(const Array &, const Array &)>
Outs Binary(const Args &args, BuiltinCall &c) {
    Count(args, 2, 2, c);
    return {F(args[0].array(), args[1].array())};
}

template <Array (*F)(const Array &), Array (*FDim)(const Array &, unsigned int)>
Outs Reduction(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    if (args.size() == 1) return {F(args[0].array())};
    return {FDim(args[0].array(), Length(args[1].array().Scalar()))};
}

template <bool IsMax>
Outs Extreme(const Args &args, BuiltinCall &c) {
    Count(args, 1, 3, c);
    Outputs(2, c);
    const Array &a = args[0].array();
    if (args.size() == 2) {
        if (c.nargout > 1) throw Error("'" + c.name + "' of two arrays has one output");
        return {IsMax ? km::Max(a, args[1].array()) : km::Min(a, args[1].array())};
    }
    if (args.size() == 3 && !args[1].array().IsEmpty())
        throw Error("'" + c.name + "' with a dimension takes [] as its second argument");
    km::ValuesPositions r = args.size() == 3
                                ? (IsMax ? km::Max(a, Length(args[2].array().Scalar()))
                                         : km::Min(a, Length(args[2].array().Scalar())))
                                : (IsMax ? km::Max(a) : km::Min(a));
    if (c.nargout < 2) return {std::move(r.values)};
    return {std::move(r.values), std::move(r.positions)};
}

template <int Which>
Outs Constant(const Args &args, BuiltinCall &c) {
    Count(args, 0, 0, c);
    const double values[] = {3.14159265358979323846,
                             std::numeric_limits<double>::epsilon(),
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             1.0,
                             0.0};
    Array out(values[Which]);
    if (Which >= 4) km::mxSetLogical(out.get());
    return {out};
}

Array SumAll(const Array &a) { return km::Sum(a); }
Array SumDim(const Array &a, unsigned int d) { return km::Sum(a, d); }
Array ProdAll(const Array &a) { return km::Prod(a); }
Array ProdDim(const Array &a, unsigned int d) { return km::Prod(a, d); }
Array AllOf(const Array &a) { return km::All(a); }
Array AllDim(const Array &a, unsigned int d) { return km::All(a, d); }
Array AnyOf(const Array &a) { return km::Any(a); }
Array AnyDim(const Array &a, unsigned int d) { return km::Any(a, d); }
Array AbsOf(const Array &a) { return km::Abs(a); }
Array ExpOf(const Array &a) { return km::Exp(a); }
Array RoundOf(const Array &a) { return km::Round(a); }
Array SignOf(const Array &a) { return km::Sign(a); }
Array SqrtOf(const Array &a) { return km::Sqrt(a); }
Array RealOf(const Array &a) { return km::Real(a); }
Array IsinfOf(const Array &a) { return km::Isinf(a); }
Array IsnanOf(const Array &a) { return km::Isnan(a); }
Array IsfiniteOf(const Array &a) { return km::Isfinite(a); }
Array TransposeOf(const Array &a) { return km::Transpose(a); }
Array CtransposeOf(const Array &a) { return km::Ctranspose(a); }
Array NumelOf(const Array &a) { return Array(a.Numel()); }
Array NdimsOf(const Array &a) { return Array(a.NDims()); }
Array LengthOf(const Array &a) { return Array(km::Length(a)); }
Array IsemptyOf(const Array &a) { return km::Isempty(a); }
Array NnzOf(const Array &a) { return Array(km::Nnz(a)); }
Array DetOf(const Array &a) { return Array(km::Det(a)); }
Array RcondOf(const Array &a) { return Array(km::Rcond(a.get())); }
Array ModOf(const Array &a, const Array &b) { return km::Mod(a, b); }
Array SinOf(const Array &a) { return km::Sin(a); }
Array CosOf(const Array &a) { return km::Cos(a); }
Array TanOf(const Array &a) { return km::Tan(a); }
Array AsinOf(const Array &a) { return km::Asin(a); }
Array AcosOf(const Array &a) { return km::Acos(a); }
Array AtanOf(const Array &a) { return km::Atan(a); }
Array SinhOf(const Array &a) { return km::Sinh(a); }
Array CoshOf(const Array &a) { return km::Cosh(a); }
Array TanhOf(const Array &a) { return km::Tanh(a); }
Array LogOf(const Array &a) { return km::Log(a); }
Array Log2Of(const Array &a) { return km::Log2(a); }
Array Log10Of(const Array &a) { return km::Log10(a); }
Array Log1pOf(const Array &a) { return km::Log1p(a); }
Array Expm1Of(const Array &a) { return km::Expm1(a); }
Array FloorOf(const Array &a) { return km::Floor(a); }
Array CeilOf(const Array &a) { return km::Ceil(a); }
Array FixOf(const Array &a) { return km::Fix(a); }
Array Atan2Of(const Array &a, const Array &b) { return km::Atan2(a, b); }
Array HypotOf(const Array &a, const Array &b) { return km::Hypot(a, b); }
Array RemOf(const Array &a, const Array &b) { return km::Rem(a, b); }
Array CumsumAll(const Array &a) { return km::Cumsum(a); }
Array CumsumDim(const Array &a, unsigned int d) { return km::Cumsum(a, d); }
Array CumprodAll(const Array &a) { return km::Cumprod(a); }
Array CumprodDim(const Array &a, unsigned int d) { return km::Cumprod(a, d); }
Array MeanAll(const Array &a) { return km::Mean(a); }
Array MeanDim(const Array &a, unsigned int d) { return km::Mean(a, d); }
Array VarAll(const Array &a) { return km::Var(a); }
Array VarDim(const Array &a, unsigned int d) { return km::Var(a, d); }
Array StdAll(const Array &a) { return km::Std(a); }
Array StdDim(const Array &a, unsigned int d) { return km::Std(a, d); }
Array TraceOf(const Array &a) { return Array(km::Trace(a)); }
Array DotOf(const Array &a, const Array &b) { return km::Dot(a, b); }
Array CrossOf(const Array &a, const Array &b) { return km::Cross(a, b); }
Array PinvOf(const Array &a) { return km::Pinv(a); }

Array Logical(bool b) {
    Array out(b ? 1.0 : 0.0);
    km::mxSetLogical(out.get());
    return out;
}

Outs Eye(const Args &args, BuiltinCall &) {
    const std::vector<unsigned int> dims = Lengths(args);
    if (dims.size() != 2) throw Error("'eye' takes at most two lengths");
    return {Array::Eye(dims[0], dims[1])};
}

Outs Cell(const Args &args, BuiltinCall &) {
    const std::vector<unsigned int> dims = Lengths(args);
    return {
        Array::Adopt(km::mxCreateCellArray(static_cast<unsigned int>(dims.size()), dims.data()))};
}

Outs Size(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    const Array &a = args[0].array();
    if (args.size() == 2) {
        Outputs(1, c);
        return {Array(a.Size(Positive(args[1], c)))};
    }
    const std::vector<unsigned int> dims = a.Dims();
    if (c.nargout <= 1) {
        std::vector<double> row(dims.begin(), dims.end());
        return {Array(1, static_cast<unsigned int>(row.size()), row)};
    }
    // [m, n] = size(A): the last output takes the product of the rest.
    Outs out;
    for (unsigned int k = 0; k < c.nargout; ++k) {
        double length = k < dims.size() ? dims[k] : 1.0;
        if (k + 1 == c.nargout)
            for (std::size_t j = k + 1; j < dims.size(); ++j) length *= dims[j];
        out.emplace_back(Array(length));
    }
    return out;
}

Outs Disp(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    Outputs(0, c);
    if (!args[0].IsArray()) {
        std::ostringstream text;
        Show(text, "x", args[0]);
        const std::string s = text.str();
        c.display << s.substr(5);  // without "x =\n\n"
        return {};
    }
    c.display << km::DisplayText(args[0].array().get(), "");
    return {};
}

Outs Sprintf(const Args &args, BuiltinCall &c) {
    Count(args, 1, std::numeric_limits<std::size_t>::max(), c);
    Outputs(1, c);
    return {Array(Format(TextOf(args[0], c), Args(args.begin() + 1, args.end()), c.name))};
}

Outs Fprintf(const Args &args, BuiltinCall &c) {
    Count(args, 1, std::numeric_limits<std::size_t>::max(), c);
    Outputs(1, c);
    std::size_t first = 0;
    std::ostream *out = &c.display;
    // fprintf(1, ...) writes to the output, fprintf(2, ...) to the error stream.
    if (!IsText(args[0])) {
        const double fid = args[0].array().Scalar();
        if (fid != 1 && fid != 2) throw Error("'fprintf' writes only to 1 or 2");
        if (fid == 2) out = &std::cerr;
        first = 1;
        if (args.size() < 2) throw Error("Not enough input arguments for 'fprintf'");
    }
    const std::string text =
        Format(TextOf(args[first], c), Args(args.begin() + first + 1, args.end()), c.name);
    if (out == &std::cerr) c.display.flush();
    *out << text;
    if (c.nargout == 1) return {Array(text.size())};
    return {};
}

// The rows as one char matrix, short rows padded with blanks.
Array CharRows(const std::vector<std::string> &rows) {
    if (rows.size() == 1) return Array(rows[0]);
    std::size_t width = 0;
    for (const std::string &r : rows) width = std::max(width, r.size());
    std::string chars(width * rows.size(), ' ');
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows[i].size(); ++j) chars[i + j * rows.size()] = rows[i][j];
    Array flat(chars);
    return km::Reshape(flat, static_cast<unsigned int>(rows.size()),
                       static_cast<unsigned int>(width));
}

Outs Num2str(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    const Array &a = args[0].array();
    if (IsChar(a)) return {a};
    if (args.size() == 2 && IsText(args[1])) {
        std::vector<std::string> rows;
        const unsigned int n = a.Rows();
        for (unsigned int i = 1; i <= n; ++i)
            rows.push_back(Format(Text(args[1].array()),
                                  {a(km::Subscript(i), km::Subscript(km::All))}, c.name));
        return {CharRows(rows.empty() ? std::vector<std::string>{""} : rows)};
    }
    const std::vector<std::string> rows =
        // Beyond 17 significant digits a double prints the same; the bound
        // also keeps a count of 2^31 or more from turning negative as an int.
        args.size() == 2 ? NumberText(a, static_cast<int>(std::min(Positive(args[1], c), 17u)))
                         : NumberText(a);
    return {CharRows(rows.empty() ? std::vector<std::string>{""} : rows)};
}

Outs ErrorBuiltin(const Args &args, BuiltinCall &c) {
    Count(args, 1, std::numeric_limits<std::size_t>::max(), c);
    if (const auto *r = dynamic_cast<const Record *>(args[0].object())) {
        const Value *message = r->Find("message");
        const Value *id = r->Find("identifier");
        Error e(message && IsText(*message) ? Text(message->array()) : "Unknown error");
        if (id && IsText(*id)) e.SetIdentifier(Text(id->array()));
        throw e;
    }
    std::string first = TextOf(args[0], c);
    std::string identifier;
    std::size_t rest = 1;
    // error('component:id', 'format', ...): an identifier has a colon and no blank.
    if (args.size() > 1 && first.find(':') != std::string::npos &&
        first.find_first_of(" \t\n") == std::string::npos) {
        identifier = first;
        first = TextOf(args[1], c);
        rest = 2;
    }
    const std::string message = args.size() > rest || rest == 2
                                    ? Format(first, Args(args.begin() + rest, args.end()), "error")
                                    : first;
    if (message.empty()) return {};
    Error e(message);
    e.SetIdentifier(identifier);
    throw e;
}

Outs Feval(const Args &args, BuiltinCall &c) {
    Count(args, 1, std::numeric_limits<std::size_t>::max(), c);
    return c.evaluator.Invoke(args[0], Args(args.begin() + 1, args.end()), c.nargout);
}

Outs Class(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    if (!args[0].IsArray()) return {Array(args[0].object()->ClassName())};
    return {Array(ClassName(args[0].array()))};
}

template <int Which>
Outs Is(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    if (!args[0].IsArray()) return {Logical(false)};
    const Array &a = args[0].array();
    switch (Which) {
        case 0: return {Logical(a.IsLogical())};
        case 1: return {Logical(IsChar(a))};
        case 2: return {Logical(IsCell(a))};
        case 3: return {Logical(!IsChar(a) && !IsCell(a) && !a.IsLogical())};
        case 4: return {Logical(a.Numel() == 1)};
        default: return {Logical(!IsComplex(a))};
    }
}

Outs Isequal(const Args &args, BuiltinCall &c) {
    Count(args, 2, std::numeric_limits<std::size_t>::max(), c);
    bool same = true;
    for (std::size_t k = 1; k < args.size() && same; ++k)
        same = km::Isequal(args[0].array(), args[k].array());
    return {Logical(same)};
}

Outs Strcmp(const Args &args, BuiltinCall &c) {
    Count(args, 2, 2, c);
    return {Logical(IsText(args[0]) && IsText(args[1]) &&
                    args[0].array().Dims() == args[1].array().Dims() &&
                    Text(args[0].array()) == Text(args[1].array()))};
}

Outs Find(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    Outputs(3, c);
    const Array &a = args[0].array();
    if (c.nargout <= 1) return {km::Find(a)};
    if (c.nargout == 2) {
        km::TwoArrays r = km::FindRowsCols(a);
        return {std::move(r.first), std::move(r.second)};
    }
    km::ThreeArrays r = km::FindRowsColsValues(a);
    return {std::move(r.first), std::move(r.second), std::move(r.third)};
}

Outs Diag(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    const int k = args.size() == 2 ? static_cast<int>(args[1].array().Scalar()) : 0;
    return {km::Diag(args[0].array(), k)};
}

template <bool Lower>
Outs Triangle(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    const int k = args.size() == 2 ? static_cast<int>(args[1].array().Scalar()) : 0;
    return {Lower ? km::Tril(args[0].array(), k) : km::Triu(args[0].array(), k)};
}

Outs Reshape(const Args &args, BuiltinCall &c) {
    Count(args, 2, 4, c);
    std::vector<unsigned int> dims;
    if (args.size() == 2) {
        for (double v : args[1].array().ToVector()) dims.push_back(Length(v));
    } else {
        for (std::size_t k = 1; k < args.size(); ++k)
            dims.push_back(Length(args[k].array().Scalar()));
    }
    if (dims.size() == 2) return {km::Reshape(args[0].array(), dims[0], dims[1])};
    if (dims.size() == 3) return {km::Reshape(args[0].array(), dims[0], dims[1], dims[2])};
    throw Error("'reshape' takes two or three lengths");
}

template <bool Horizontal>
Outs Concatenate(const Args &args, BuiltinCall &) {
    std::vector<const km::CMatrix *> raw;
    for (const Value &v : args) raw.push_back(v.array().get());
    const auto n = static_cast<unsigned int>(raw.size());
    return {Array::Adopt(Horizontal ? km::Horzcat(n, raw.data()) : km::Vertcat(n, raw.data()))};
}

Outs ColonBuiltin(const Args &args, BuiltinCall &c) {
    Count(args, 2, 3, c);
    const double a = args[0].array().Scalar();
    const double b = args[1].array().Scalar();
    if (args.size() == 2) return {Array::Adopt(km::Colon(a, b))};
    return {Array::Adopt(km::Colon(a, b, args[2].array().Scalar()))};
}

// The second argument 0 or 'econ' asks for the economy size.
bool Economy(const Args &args, const BuiltinCall &c) {
    if (args.size() < 2) return false;
    if (IsText(args[1]) && Text(args[1].array()) == "econ") return true;
    if (!IsText(args[1]) && args[1].array().Numel() == 1 && args[1].array().Scalar() == 0)
        return true;
    throw Error("'" + c.name + "' takes 0 or 'econ' as its second argument");
}

Outs Lu(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    Outputs(3, c);
    if (c.nargout == 3) {
        km::ThreeArrays r = km::LuPivots(args[0].array());
        return {std::move(r.first), std::move(r.second), std::move(r.third)};
    }
    km::TwoArrays r = km::Lu(args[0].array());
    if (c.nargout < 2) return {std::move(r.first)};
    return {std::move(r.first), std::move(r.second)};
}

Outs Qr(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    Outputs(3, c);
    const bool economy = Economy(args, c);
    if (c.nargout == 3) {
        km::ThreeArrays r = km::QrPivots(args[0].array(), economy);
        return {std::move(r.first), std::move(r.second), std::move(r.third)};
    }
    km::TwoArrays r = km::Qr(args[0].array(), economy);
    // One output is R.
    if (c.nargout < 2) return {std::move(r.second)};
    return {std::move(r.first), std::move(r.second)};
}

Outs Chol(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    Outputs(1, c);
    return {km::Chol(args[0].array())};
}

Outs Svd(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    const bool economy = Economy(args, c);
    if (c.nargout <= 1) return {km::Svd(args[0].array(), economy)};
    if (c.nargout != 3) throw Error("'svd' gives one or three outputs");
    km::ThreeArrays r = km::SvdVectors(args[0].array(), economy);
    return {std::move(r.first), std::move(r.second), std::move(r.third)};
}

Outs Eig(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    Outputs(2, c);
    if (c.nargout <= 1) return {km::Eig(args[0].array())};
    km::TwoArrays r = km::EigVectors(args[0].array());
    return {std::move(r.first), std::move(r.second)};
}

Outs Planerot(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    Outputs(2, c);
    if (c.nargout <= 1) return {km::Planerot(args[0].array())};
    km::TwoArrays r = km::PlanerotApplied(args[0].array());
    return {std::move(r.first), std::move(r.second)};
}

Outs Rank(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    const Array &a = args[0].array();
    if (args.size() == 2) return {Array(km::Rank(a, args[1].array().Scalar()))};
    return {Array(km::Rank(a))};
}

Outs Norm(const Args &args, BuiltinCall &c) {
    Count(args, 1, 2, c);
    const Array &a = args[0].array();
    if (args.size() == 1) return {Array(km::Norm(a))};
    if (IsText(args[1])) {
        const std::string p = Text(args[1].array());
        if (p == "fro") return {Array(km::NormFro(a))};
        if (p == "inf" || p == "Inf")
            return {Array(km::Norm(a, std::numeric_limits<double>::infinity()))};
        throw Error("'norm' takes 1, 2, Inf or 'fro'");
    }
    return {Array(km::Norm(a, args[1].array().Scalar()))};
}

// var(A), var(A, w) and var(A, w, dim), and std alike; only the weight 0
// (or []), dividing by n - 1, exists.
template <Array (*F)(const Array &), Array (*FDim)(const Array &, unsigned int)>
Outs Spread(const Args &args, BuiltinCall &c) {
    Count(args, 1, 3, c);
    if (args.size() >= 2 && !args[1].array().IsEmpty() &&
        !(args[1].array().Numel() == 1 && args[1].array().Scalar() == 0))
        throw Error("'" + c.name + "' takes only the weight 0 or []");
    if (args.size() < 3) return {F(args[0].array())};
    return {FDim(args[0].array(), Length(args[2].array().Scalar()))};
}

Outs Sort(const Args &args, BuiltinCall &c) {
    Count(args, 1, 3, c);
    Outputs(2, c);
    km::SortOrder order = km::SortOrder::kAscend;
    unsigned int dim = 0;
    for (std::size_t k = 1; k < args.size(); ++k) {
        if (IsText(args[k])) {
            const std::string word = Text(args[k].array());
            if (word != "ascend" && word != "descend")
                throw Error("'sort' takes 'ascend' or 'descend'");
            order = word == "descend" ? km::SortOrder::kDescend : km::SortOrder::kAscend;
        } else if (k == 1) {
            dim = Length(args[k].array().Scalar());
        } else {
            throw Error("'sort' takes a dimension and then a direction");
        }
    }
    const Array &a = args[0].array();
    km::ValuesPositions r = args.size() == 1 || (args.size() == 2 && dim == 0 && IsText(args[1]))
                                ? km::Sort(a, order)
                                : km::Sort(a, dim, order);
    if (c.nargout < 2) return {std::move(r.values)};
    return {std::move(r.values), std::move(r.positions)};
}

Outs Linspace(const Args &args, BuiltinCall &c) {
    Count(args, 2, 3, c);
    const double a = args[0].array().Scalar();
    const double b = args[1].array().Scalar();
    if (args.size() == 2) return {Array::Linspace(a, b)};
    return {Array::Linspace(a, b, Length(args[2].array().Scalar()))};
}

Outs Repmat(const Args &args, BuiltinCall &c) {
    Count(args, 2, 3, c);
    std::vector<unsigned int> counts;
    if (args.size() == 2 && args[1].array().Numel() != 1) {
        for (double v : args[1].array().ToVector()) counts.push_back(Length(v));
        if (counts.size() != 2) throw Error("'repmat' takes two counts");
    } else {
        counts.push_back(Length(args[1].array().Scalar()));
        counts.push_back(args.size() == 3 ? Length(args[2].array().Scalar()) : counts[0]);
    }
    return {km::Repmat(args[0].array(), counts[0], counts[1])};
}

Outs Cat(const Args &args, BuiltinCall &c) {
    Count(args, 1, std::numeric_limits<std::size_t>::max(), c);
    const unsigned int dim = Positive(args[0], c);
    std::vector<const km::CMatrix *> raw;
    for (std::size_t k = 1; k < args.size(); ++k) raw.push_back(args[k].array().get());
    if (raw.empty()) return {Array()};
    return {Array::Adopt(km::Cat(dim, static_cast<unsigned int>(raw.size()), raw.data()))};
}

Outs Rng(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    Outputs(0, c);
    kiv::RandSeed(static_cast<unsigned long long>(Length(args[0].array().Scalar())));
    return {};
}

Outs Tic(const Args &args, BuiltinCall &c) {
    Count(args, 0, 0, c);
    Outputs(0, c);
    c.evaluator.TicTime() = std::chrono::steady_clock::now();
    return {};
}

Outs Toc(const Args &args, BuiltinCall &c) {
    Count(args, 0, 0, c);
    Outputs(1, c);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - c.evaluator.TicTime())
            .count();
    if (c.nargout == 1) return {Array(seconds)};
    char text[64];
    std::snprintf(text, sizeof text, "Elapsed time is %.6f seconds.\n", seconds);
    c.display << text;
    return {};
}

Outs Func2str(const Args &args, BuiltinCall &c) {
    Count(args, 1, 1, c);
    const auto *h = dynamic_cast<const Handle *>(args[0].object());
    if (!h) throw Error("'func2str' needs a function handle");
    return {Array(h->text)};
}

// order() names the thread's order of Qr, least squares and eigenvectors;
// order('fast') and order('stated') choose it.
Outs OrderBuiltin(const Args &args, BuiltinCall &c) {
    Count(args, 0, 1, c);
    Outputs(1, c);
    if (args.empty()) return {Array(km::GetOrder() == km::Order::kFast ? "fast" : "stated")};
    const std::string word = TextOf(args[0], c);
    if (word != "fast" && word != "stated") throw Error("'order' takes 'fast' or 'stated'");
    km::SetOrder(word == "fast" ? km::Order::kFast : km::Order::kStated);
    return {};
}

const std::unordered_map<std::string, Builtin> &Table() {
    static const std::unordered_map<std::string, Builtin> table = {
        {"zeros", Filled<km::Zeros>},
        {"ones", Filled<km::Ones>},
        {"rand", Filled<km::Rand>},
        {"randn", Filled<km::Randn>},
        {"rng", Rng},
        {"eye", Eye},
        {"cell", Cell},
        {"size", Size},
        {"numel", Unary<NumelOf>},
        {"ndims", Unary<NdimsOf>},
        {"length", Unary<LengthOf>},
        {"isempty", Unary<IsemptyOf>},
        {"abs", Unary<AbsOf>},
        {"exp", Unary<ExpOf>},
        {"round", Unary<RoundOf>},
        {"sign", Unary<SignOf>},
        {"sqrt", Unary<SqrtOf>},
        {"real", Unary<RealOf>},
        {"isinf", Unary<IsinfOf>},
        {"isnan", Unary<IsnanOf>},
        {"isfinite", Unary<IsfiniteOf>},
        {"mod", Binary<ModOf>},
        {"transpose", Unary<TransposeOf>},
        {"ctranspose", Unary<CtransposeOf>},
        {"sum", Reduction<SumAll, SumDim>},
        {"prod", Reduction<ProdAll, ProdDim>},
        {"all", Reduction<AllOf, AllDim>},
        {"any", Reduction<AnyOf, AnyDim>},
        {"max", Extreme<true>},
        {"min", Extreme<false>},
        {"find", Find},
        {"nnz", Unary<NnzOf>},
        {"isequal", Isequal},
        {"strcmp", Strcmp},
        {"diag", Diag},
        {"tril", Triangle<true>},
        {"triu", Triangle<false>},
        {"reshape", Reshape},
        {"horzcat", Concatenate<true>},
        {"vertcat", Concatenate<false>},
        {"colon", ColonBuiltin},
        {"det", Unary<DetOf>},
        {"inv", InvBuiltin},
        {"rcond", Unary<RcondOf>},
        {"lu", Lu},
        {"qr", Qr},
        {"chol", Chol},
        {"svd", Svd},
        {"eig", Eig},
        {"planerot", Planerot},
        {"rank", Rank},
        {"norm", Norm},
        {"order", OrderBuiltin},
        {"sin", Unary<SinOf>},
        {"cos", Unary<CosOf>},
        {"tan", Unary<TanOf>},
        {"asin", Unary<AsinOf>},
        {"acos", Unary<AcosOf>},
        {"atan", Unary<AtanOf>},
        {"sinh", Unary<SinhOf>},
        {"cosh", Unary<CoshOf>},
        {"tanh", Unary<TanhOf>},
        {"log", Unary<LogOf>},
        {"log2", Unary<Log2Of>},
        {"log10", Unary<Log10Of>},
        {"log1p", Unary<Log1pOf>},
        {"expm1", Unary<Expm1Of>},
        {"floor", Unary<FloorOf>},
        {"ceil", Unary<CeilOf>},
        {"fix", Unary<FixOf>},
        {"atan2", Binary<Atan2Of>},
        {"hypot", Binary<HypotOf>},
        {"rem", Binary<RemOf>},
        {"cumsum", Reduction<CumsumAll, CumsumDim>},
        {"cumprod", Reduction<CumprodAll, CumprodDim>},
        {"mean", Reduction<MeanAll, MeanDim>},
        {"var", Spread<VarAll, VarDim>},
        {"std", Spread<StdAll, StdDim>},
        {"sort", Sort},
        {"linspace", Linspace},
        {"repmat", Repmat},
        {"cat", Cat},
        {"trace", Unary<TraceOf>},
        {"dot", Binary<DotOf>},
        {"cross", Binary<CrossOf>},
        {"pinv", Unary<PinvOf>},
        {"disp", Disp},
        {"sprintf", Sprintf},
        {"fprintf", Fprintf},
        {"num2str", Num2str},
        {"error", ErrorBuiltin},
        {"feval", Feval},
        {"func2str", Func2str},
        {"class", Class},
        {"islogical", Is<0>},
        {"ischar", Is<1>},
        {"iscell", Is<2>},
        {"isnumeric", Is<3>},
        {"isscalar", Is<4>},
        {"isreal", Is<5>},
        {"tic", Tic},
        {"toc", Toc},
        {"pi", Constant<0>},
        {"eps", Constant<1>},
        {"Inf", Constant<2>},
        {"inf", Constant<2>},
        {"NaN", Constant<3>},
        {"nan", Constant<3>},
        {"true", Constant<4>},
        {"false", Constant<5>},
    };
    return table;
}

}  // namespace

Builtin FindBuiltin(const std::string &name) {
    const auto &table = Table();
    auto it = table.find(name);
    return it == table.end() ? nullptr : it->second;
}

}  // namespace mtrx
