// src/elementwise/scalar/element_scalars.h: the element routines of the
// element-wise functions of real doubles, one element at a time.
//
// Private to the library and to the code mtrx build writes, which calls
// them on double scalars: the library's engines compute every element of
// these functions with exactly these routines, so a compiled call of abs,
// mod, max... on a scalar has the bits of the interpreter's. Standard
// headers only: the generated programs include this file as it stands.
#ifndef MATRIX_SRC_ELEMENTWISE_SCALAR_ELEMENT_SCALARS_H
#define MATRIX_SRC_ELEMENTWISE_SCALAR_ELEMENT_SCALARS_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace kiv {
namespace matrix {
namespace elements {

/// |x| by clearing the sign bit, so that zeros and NaN payloads come out
/// exactly as described, whatever the instruction set.
inline double Abs(double x) {
    std::uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    b &= ~(std::uint64_t{1} << 63);
    std::memcpy(&x, &b, sizeof b);
    return x;
}
inline double Floor(double x) { return std::floor(x); }
inline double Ceil(double x) { return std::ceil(x); }
inline double Fix(double x) { return std::trunc(x); }
/// The nearest whole number, halves away from zero, exactly: std::round's
/// bits (floor(x + 0.5) sent -2.5 to -2 and 0.49999999999999994 to 1). Below
/// 2^52, (y + 2^52) - 2^52 rounds |x| to the nearest whole number with ties
/// to even; a tie it took down (r - y == -0.5 exactly) goes up instead.
/// Without the library call the loop runs as fast as floor(x + 0.5) did.
inline double Round(double x) {
    constexpr double kTwo52 = 0x1p52;
    const double y = std::fabs(x);
    double r = (y + kTwo52) - kTwo52;
    if (!(y < kTwo52)) {
        r = y;  // already whole, or Inf or NaN
    } else if (r - y == -0.5) {
        r += 1.0;
    }
    return std::copysign(r, x);
}
/// -1, 0 or 1; 0 for NaN.
inline double Sign(double x) { return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0); }

/// Maximum: b when b > a or a is NaN, otherwise a. NaN is missing data: the
/// other operand is the result, NaN only when both are; of two zeros, a.
inline double Max(double a, double b) { return b > a || a != a ? b : a; }
/// Minimum: a when a < b or b is NaN, otherwise b. The other operand of a
/// NaN is the result, NaN only when both are; of two zeros, b.
inline double Min(double a, double b) { return a < b || b != b ? a : b; }

/// Rem is fmod: exact, with the sign of x (or a zero of x's sign); Rem(x, 0)
/// and Rem(Inf, y) give NaN.
inline double Rem(double x, double y) { return std::fmod(x, y); }
/// The remainder after floored division, with the sign of y, in F: x for
/// y == 0 (either sign); for a y with an integer value (the infinities
/// included) x - floor(x / y) * y; otherwise, with q = x / y snapped to
/// the nearest integer when within a relative eps of F (2^-52, 2^-23) of it,
/// (q - floor(q)) * y.
template <class F>
F ModOf(F x, F y) {
    if (y == 0) return x;
    const F truncated = y >= 0 ? std::floor(y) : -std::floor(-y);
    if (y == truncated) return x - std::floor(x / y) * y;
    F q = x / y;
    const F nearest = std::floor(q + F(0.5));
    if (std::numeric_limits<F>::epsilon() * std::fabs(q) >= std::fabs(q - nearest)) q = nearest;
    return (q - std::floor(q)) * y;
}
inline double Mod(double x, double y) { return ModOf<double>(x, y); }

/// A double converted to the integer type T, as every integer result of
/// the library is made: NaN gives 0, halves round away from zero, and
/// values beyond the class give its limits. Integer arithmetic of classes
/// of at most 32 bits is ToInteger<T>(x op y) of the operands' values.
template <class T>
T ToInteger(double x) {
    if (std::isnan(x)) return 0;
    const double r = std::round(x);
    // double(max) + 1 is 2^bits exactly (for 64 bits double(max) already is).
    if (r >= static_cast<double>(std::numeric_limits<T>::max()) + 1.0)
        return std::numeric_limits<T>::max();
    if (r <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    return static_cast<T>(r);
}

// One call of the standard function of the name each: every element has
// that function's bits.
inline double Sin(double x) { return std::sin(x); }
inline double Cos(double x) { return std::cos(x); }
inline double Tan(double x) { return std::tan(x); }
inline double Atan(double x) { return std::atan(x); }
inline double Sinh(double x) { return std::sinh(x); }
inline double Cosh(double x) { return std::cosh(x); }
inline double Tanh(double x) { return std::tanh(x); }
inline double Atan2(double y, double x) { return std::atan2(y, x); }
inline double Hypot(double a, double b) { return std::hypot(a, b); }

}  // namespace elements
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_ELEMENTWISE_SCALAR_ELEMENT_SCALARS_H
