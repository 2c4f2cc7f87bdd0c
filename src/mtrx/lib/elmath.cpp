// src/mtrx/lib/elmath.cpp: elementary math: element-wise functions and the
// constants.
#include "lib/support.h"

#include <limits>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

template <int Which>
Outs Constant(const Args &, BuiltinCall &) {
    const double values[] = {3.14159265358979323846,
                             std::numeric_limits<double>::epsilon(),
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             1.0,
                             0.0};
    if (Which >= 4) return {Logical(Which == 4)};
    return {Value(values[Which])};
}

Array AbsOf(const Array &a) { return km::Abs(a); }
Array ExpOf(const Array &a) { return km::Exp(a); }
Array RoundOf(const Array &a) { return km::Round(a); }
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
    {"sinh", Unary<SinhOf>, 1, 1, 1, "sinh(A)", "Hyperbolic sine of each element."},
    {"cosh", Unary<CoshOf>, 1, 1, 1, "cosh(A)", "Hyperbolic cosine of each element."},
    {"tanh", Unary<TanhOf>, 1, 1, 1, "tanh(A)", "Hyperbolic tangent of each element."},
    {"hypot", Binary<HypotOf>, 2, 2, 1, "hypot(A, B)", "sqrt(A.^2 + B.^2) without overflow."},
    {"round", Unary<RoundOf>, 1, 1, 1, "round(A)",
     "Round to the nearest whole number, ties away from 0."},
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
    {"eps", Constant<1>, 0, 0, 1, "eps", "The spacing of doubles at 1: 2^-52."},
    {"Inf", Constant<2>, 0, 0, 1, "Inf", "Positive infinity."},
    {"inf", Constant<2>, 0, 0, 1, "inf", "Positive infinity."},
    {"NaN", Constant<3>, 0, 0, 1, "NaN", "Not a number."},
    {"nan", Constant<3>, 0, 0, 1, "nan", "Not a number."},
    {"true", Constant<4>, 0, 0, 1, "true", "The logical 1."},
    {"false", Constant<5>, 0, 0, 1, "false", "The logical 0."},
};

}  // namespace

Library ElmathLibrary() {
    return {"elmath", "Elementary math: element-wise functions and constants", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
