// src/mtrx/lib/elmath.cpp: elementary math: element-wise functions and the
// constants.
#include "lib/options.h"
#include "lib/support.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

template <int Which>
Outs Constant(const Args &, BuiltinCall &) {
    const double values[] = {3.14159265358979323846, 0.0, 0.0, 0.0, 1.0, 0.0};
    if (Which >= 4) return {Logical(Which == 4)};
    return {Value(values[Which])};
}

// --- Constants of a floating class ---------------------------------------------

// The floating class that ends the arguments: 'double' or 'single', or
// 'like', p with p double or single; double when none is named. `count` is
// left as the number of arguments before it.
bool SingleNamed(const Args &args, std::size_t &count) {
    count = args.size();
    if (count >= 2 && IsWord(args, count - 2, "like")) {
        count -= 2;
        const Array &p = args.GetArray(count + 1);
        if (km::mxIsSingle(p.get())) return true;
        if (!km::mxIsDouble(p.get()) || IsChar(p))
            args.Refuse(count + 1, "a double or single array after 'like'");
        return false;
    }
    if (count == 0 || !args.IsText(count - 1)) return false;
    const std::string name = args.GetText(--count);
    if (name != "double" && name != "single") args.Refuse(count, "'double', 'single' or 'like'");
    return name == "single";
}

// An array of the lengths in arguments 0 .. count-1 (none: 1x1; one row of
// lengths; or one length per argument), every element x, of class single
// or double.
Array FilledWith(const Args &args, std::size_t count, double x, bool single) {
    std::vector<unsigned int> dims;
    if (count == 1 && args.GetArray(0).Numel() != 1) {
        dims = args.GetLengths(0);
    } else {
        for (std::size_t k = 0; k < count; ++k) dims.push_back(args.GetLength(k));
    }
    if (dims.empty()) dims = {1, 1};
    if (dims.size() == 1) dims.push_back(dims[0]);
    km::CMatrix *raw = km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                                single ? km::mxClassSingle : km::mxClassDouble,
                                                km::mxComplexityReal);
    Array out = Array::Adopt(raw);
    const std::size_t n = out.Numel();
    for (std::size_t i = 0; i < n; ++i) {
        if (single) {
            static_cast<float *>(raw->GetPr())[i] = static_cast<float>(x);
        } else {
            static_cast<double *>(raw->GetPr())[i] = x;
        }
    }
    return out;
}

// Inf(...) and NaN(...): sizes and a class.
template <bool kNaN>
Outs Special(const Args &args, BuiltinCall &) {
    std::size_t count = 0;
    const bool single = SingleNamed(args, count);
    const double x =
        kNaN ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    if (count == 0 && !single) return {Value(x)};
    return {FilledWith(args, count, x, single)};
}

// realmax, realmin and flintmax of double or single.
template <int kWhich>
Outs Limit(const Args &args, BuiltinCall &) {
    std::size_t count = 0;
    const bool single = SingleNamed(args, count);
    if (count != 0) args.Refuse(0, "'double', 'single' or 'like'");
    double x = 0;
    if (kWhich == 0) {
        x = single ? std::numeric_limits<float>::max() : std::numeric_limits<double>::max();
    } else if (kWhich == 1) {
        x = single ? std::numeric_limits<float>::min() : std::numeric_limits<double>::min();
    } else {
        x = single ? 16777216.0 : 9007199254740992.0;
    }
    if (!single) return {Value(x)};
    return {FilledWith(args, 0, x, true)};
}

// The spacing of the floating numbers at |x|: 2^(e - digits) for |x| in
// [2^(e-1), 2^e), the smallest subnormal below the normal range, NaN for
// Inf and NaN.
template <class F>
F SpacingAt(F x) {
    if (!std::isfinite(x)) return std::numeric_limits<F>::quiet_NaN();
    const F smallest = std::numeric_limits<F>::denorm_min();
    if (std::fabs(x) < std::numeric_limits<F>::min()) return smallest;
    int e = 0;
    std::frexp(x, &e);
    return std::ldexp(F(1), e - std::numeric_limits<F>::digits);
}

// eps, eps('double'), eps('single'), eps('like', p), eps(x).
Outs Eps(const Args &args, BuiltinCall &) {
    if (args.size() == 1 && !args.IsText(0)) {
        const Array &a = args.GetArray(0);
        const bool single = km::mxIsSingle(a.get());
        if ((!single && !km::mxIsDouble(a.get())) || IsChar(a) || a.get()->IsComplex())
            args.Refuse(0, "a real double or single array, or a class name");
        km::CMatrix *raw = km::mxDuplicateArray(a.get());
        Array r = Array::Adopt(raw);
        raw->ClearLogical();
        for (std::size_t i = 0, n = r.Numel(); i < n; ++i) {
            if (single) {
                float *p = static_cast<float *>(raw->GetPr());
                p[i] = SpacingAt(p[i]);
            } else {
                double *p = static_cast<double *>(raw->GetPr());
                p[i] = SpacingAt(p[i]);
            }
        }
        return {r};
    }
    std::size_t count = 0;
    const bool single = SingleNamed(args, count);
    if (count != 0) args.Refuse(0, "'double', 'single' or 'like'");
    if (!single) return {Value(std::numeric_limits<double>::epsilon())};
    return {FilledWith(args, 0, std::numeric_limits<float>::epsilon(), true)};
}

// idivide(A, B), idivide(A, B, 'fix' | 'round' | 'floor' | 'ceil').
Outs IdivideBuiltin(const Args &args, BuiltinCall &) {
    const std::string mode = args.GetText(2, "fix");
    km::DivideRounding rounding = km::DivideRounding::kFix;
    if (mode == "round") {
        rounding = km::DivideRounding::kRound;
    } else if (mode == "floor") {
        rounding = km::DivideRounding::kFloor;
    } else if (mode == "ceil") {
        rounding = km::DivideRounding::kCeil;
    } else if (mode != "fix") {
        args.Refuse(2, "'fix', 'round', 'floor' or 'ceil'");
    }
    return {km::Idivide(args.GetArray(0), args.GetArray(1), rounding)};
}

// round(X), round(X, N), round(X, N, 'decimals' | 'significant').
Outs RoundBuiltin(const Args &args, BuiltinCall &) {
    if (args.size() == 1) return {km::Round(args.GetArray(0))};
    const std::string mode = args.GetText(2, "decimals");
    if (mode != "decimals" && mode != "significant")
        args.Refuse(2, "'decimals' or 'significant'");
    return {km::RoundTo(args.GetArray(0), args.GetArray(1),
                        mode == "significant" ? km::RoundDigits::kSignificant
                                              : km::RoundDigits::kDecimals)};
}

Array BitandOf(const Array &a, const Array &b) { return km::Bitand(a, b); }
Array BitorOf(const Array &a, const Array &b) { return km::Bitor(a, b); }
Array BitxorOf(const Array &a, const Array &b) { return km::Bitxor(a, b); }
Array BitshiftOf(const Array &a, const Array &b) { return km::Bitshift(a, b); }
Array AsinhOf(const Array &a) { return km::Asinh(a); }
Array AcoshOf(const Array &a) { return km::Acosh(a); }
Array AtanhOf(const Array &a) { return km::Atanh(a); }

Array AbsOf(const Array &a) { return km::Abs(a); }
Array ExpOf(const Array &a) { return km::Exp(a); }
Array SignOf(const Array &a) { return km::Sign(a); }
Array SqrtOf(const Array &a) { return km::Sqrt(a); }
Array RealOf(const Array &a) { return km::Real(a); }
Array IsinfOf(const Array &a) { return km::Isinf(a); }
Array IsnanOf(const Array &a) { return km::Isnan(a); }
Array IsfiniteOf(const Array &a) { return km::Isfinite(a); }
Array ModOf(const Array &a, const Array &b) { return km::Mod(a, b); }
Array RemOf(const Array &a, const Array &b) { return km::Rem(a, b); }
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

const BuiltinEntry kEntries[] = {
    {"abs", Unary<AbsOf>, 1, 1, 1, "abs(A)", "Absolute value of each element."},
    {"sign", Unary<SignOf>, 1, 1, 1, "sign(A)", "Sign of each element: -1, 0 or 1."},
    {"sqrt", Unary<SqrtOf>, 1, 1, 1, "sqrt(A)", "Square root of each element."},
    {"exp", Unary<ExpOf>, 1, 1, 1, "exp(A)", "e raised to each element."},
    {"expm1", Unary<Expm1Of>, 1, 1, 1, "expm1(A)", "exp(A) - 1, accurate for small A."},
    {"log", Unary<LogOf>, 1, 1, 1, "log(A)", "Natural logarithm of each element."},
    {"log2", Unary<Log2Of>, 1, 1, 1, "log2(A)", "Base-2 logarithm of each element."},
    {"log10", Unary<Log10Of>, 1, 1, 1, "log10(A)", "Base-10 logarithm of each element."},
    {"log1p", Unary<Log1pOf>, 1, 1, 1, "log1p(A)", "log(1 + A), accurate for small A."},
    {"sin", Unary<SinOf>, 1, 1, 1, "sin(A)", "Sine of each element, in radians."},
    {"cos", Unary<CosOf>, 1, 1, 1, "cos(A)", "Cosine of each element, in radians."},
    {"tan", Unary<TanOf>, 1, 1, 1, "tan(A)", "Tangent of each element, in radians."},
    {"asin", Unary<AsinOf>, 1, 1, 1, "asin(A)", "Inverse sine of each element."},
    {"acos", Unary<AcosOf>, 1, 1, 1, "acos(A)", "Inverse cosine of each element."},
    {"atan", Unary<AtanOf>, 1, 1, 1, "atan(A)", "Inverse tangent of each element."},
    {"atan2", Binary<Atan2Of>, 2, 2, 1, "atan2(Y, X)", "Four-quadrant inverse tangent."},
    {"asinh", Unary<AsinhOf>, 1, 1, 1, "asinh(A)", "Inverse hyperbolic sine of each element."},
    {"acosh", Unary<AcoshOf>, 1, 1, 1, "acosh(A)",
     "Inverse hyperbolic cosine of each element, complex below 1."},
    {"atanh", Unary<AtanhOf>, 1, 1, 1, "atanh(A)",
     "Inverse hyperbolic tangent of each element, complex beyond -1 and 1."},
    {"idivide", IdivideBuiltin, 2, 3, 1, "idivide(A, B), idivide(A, B, 'fix')",
     "Integer division rounded by 'fix' (the default), 'round', 'floor' or 'ceil'."},
    {"bitand", Binary<BitandOf>, 2, 2, 1, "bitand(A, B)", "Bit-wise AND of integers."},
    {"bitor", Binary<BitorOf>, 2, 2, 1, "bitor(A, B)", "Bit-wise OR of integers."},
    {"bitxor", Binary<BitxorOf>, 2, 2, 1, "bitxor(A, B)", "Bit-wise exclusive OR of integers."},
    {"bitshift", Binary<BitshiftOf>, 2, 2, 1, "bitshift(A, K)",
     "The bits of A shifted K places: left for K > 0, right for K < 0."},
    {"sinh", Unary<SinhOf>, 1, 1, 1, "sinh(A)", "Hyperbolic sine of each element."},
    {"cosh", Unary<CoshOf>, 1, 1, 1, "cosh(A)", "Hyperbolic cosine of each element."},
    {"tanh", Unary<TanhOf>, 1, 1, 1, "tanh(A)", "Hyperbolic tangent of each element."},
    {"hypot", Binary<HypotOf>, 2, 2, 1, "hypot(A, B)", "sqrt(A.^2 + B.^2) without overflow."},
    {"round", RoundBuiltin, 1, 3, 1, "round(A), round(A, N), round(A, N, 'significant')",
     "Round to the nearest whole number, ties away from 0; or to N decimals or N significant digits."},
    {"floor", Unary<FloorOf>, 1, 1, 1, "floor(A)", "Round toward -Inf."},
    {"ceil", Unary<CeilOf>, 1, 1, 1, "ceil(A)", "Round toward Inf."},
    {"fix", Unary<FixOf>, 1, 1, 1, "fix(A)", "Round toward 0."},
    {"mod", Binary<ModOf>, 2, 2, 1, "mod(A, B)", "Remainder after division, with the sign of B."},
    {"rem", Binary<RemOf>, 2, 2, 1, "rem(A, B)", "Remainder after division, with the sign of A."},
    {"real", Unary<RealOf>, 1, 1, 1, "real(A)", "Real part of each element."},
    {"isinf", Unary<IsinfOf>, 1, 1, 1, "isinf(A)", "True where an element is Inf or -Inf."},
    {"isnan", Unary<IsnanOf>, 1, 1, 1, "isnan(A)", "True where an element is NaN."},
    {"isfinite", Unary<IsfiniteOf>, 1, 1, 1, "isfinite(A)", "True where an element is finite."},
    {"pi", Constant<0>, 0, 0, 1, "pi", "The ratio of a circle's circumference to its diameter."},
    {"eps", Eps, 0, 2, 1, "eps, eps('single'), eps(x)",
     "The spacing of doubles at 1 (2^-52), of a class, or of the numbers at each element of x."},
    {"realmax", Limit<0>, 0, 2, 1, "realmax, realmax('single')",
     "The largest finite number of double or single."},
    {"realmin", Limit<1>, 0, 2, 1, "realmin, realmin('single')",
     "The smallest normal positive number of double or single."},
    {"flintmax", Limit<2>, 0, 2, 1, "flintmax, flintmax('single')",
     "The largest whole number below which double (2^53) or single (2^24) holds every one."},
    {"Inf", Special<false>, 0, kAny, 1, "Inf, Inf(m, n, ...), Inf(..., 'single')",
     "Positive infinity, or an array of it."},
    {"inf", Special<false>, 0, kAny, 1, "inf", "Positive infinity, or an array of it."},
    {"NaN", Special<true>, 0, kAny, 1, "NaN, NaN(m, n, ...), NaN(..., 'single')",
     "Not a number, or an array of it."},
    {"nan", Special<true>, 0, kAny, 1, "nan", "Not a number, or an array of it."},
};

}  // namespace

Library ElmathLibrary() {
    return {"elmath", "Elementary math: element-wise functions and constants", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
