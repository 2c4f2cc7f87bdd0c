// src/elementwise/math_functions.cpp: gamma, beta, the error functions and
// their inverses, factorial and nchoosek; the reciprocal and degree forms of
// the trigonometric functions; rounding to digits.
#include <matrix/elementwise.h>
#include <matrix/index.h>
#include <matrix/shape.h>
#include <matrix/mathfun.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"
#include "elementwise/class_engine.h"
#include "elementwise/class_functions.h"
#include "elementwise/mathfun_support.h"

namespace kiv {
namespace matrix {

namespace mathfun {

void Fail(const std::string &text) {
    throw CFunctionErrorException(kiv::WString(std::wstring(text.begin(), text.end()).c_str()));
}

bool FloatingOperand(const CMatrix *A, const char *name) {
    const mxClassID id = A->GetClassID();
    if (engine::IsIntegerClass(id)) engine::ThrowIntegerRefusal(name, id);
    if (id != mxClassDouble && id != mxClassSingle && id != mxClassChar)
        throw CNotImplementedException();
    if (A->IsComplex()) Fail(std::string(name) + ": input must be real");
    return id == mxClassSingle;
}

mxClassID ArithmeticClass(const CMatrix *A, const CMatrix *B) {
    const mxClassID a = engine::View(A).id, b = engine::View(B).id;
    const bool ia = engine::IsIntegerClass(a), ib = engine::IsIntegerClass(b);
    if (ia && ib && a != b) engine::ThrowIntegerMix();
    if (ia) return a;
    if (ib) return b;
    return a == mxClassSingle || b == mxClassSingle ? mxClassSingle : mxClassDouble;
}

void StoreDouble(CMatrix *R, std::size_t i, double x) {
    void *p = R->GetPr();
    switch (R->GetClassID()) {
        case mxClassDouble: static_cast<double *>(p)[i] = x; break;
        case mxClassSingle: static_cast<float *>(p)[i] = static_cast<float>(x); break;
        case mxClassInt8:
            static_cast<std::int8_t *>(p)[i] = engine::ToInteger<std::int8_t>(x);
            break;
        case mxClassUint8:
            static_cast<std::uint8_t *>(p)[i] = engine::ToInteger<std::uint8_t>(x);
            break;
        case mxClassInt16:
            static_cast<std::int16_t *>(p)[i] = engine::ToInteger<std::int16_t>(x);
            break;
        case mxClassUint16:
            static_cast<std::uint16_t *>(p)[i] = engine::ToInteger<std::uint16_t>(x);
            break;
        case mxClassInt32:
            static_cast<std::int32_t *>(p)[i] = engine::ToInteger<std::int32_t>(x);
            break;
        case mxClassUint32:
            static_cast<std::uint32_t *>(p)[i] = engine::ToInteger<std::uint32_t>(x);
            break;
        case mxClassInt64:
            static_cast<std::int64_t *>(p)[i] = engine::ToInteger<std::int64_t>(x);
            break;
        default: static_cast<std::uint64_t *>(p)[i] = engine::ToInteger<std::uint64_t>(x); break;
    }
}

void StoreWide(CMatrix *R, std::size_t i, engine::Wide x) {
    void *p = R->GetPr();
    switch (R->GetClassID()) {
        case mxClassInt8:
            static_cast<std::int8_t *>(p)[i] = engine::Saturate<std::int8_t>(x);
            break;
        case mxClassUint8:
            static_cast<std::uint8_t *>(p)[i] = engine::Saturate<std::uint8_t>(x);
            break;
        case mxClassInt16:
            static_cast<std::int16_t *>(p)[i] = engine::Saturate<std::int16_t>(x);
            break;
        case mxClassUint16:
            static_cast<std::uint16_t *>(p)[i] = engine::Saturate<std::uint16_t>(x);
            break;
        case mxClassInt32:
            static_cast<std::int32_t *>(p)[i] = engine::Saturate<std::int32_t>(x);
            break;
        case mxClassUint32:
            static_cast<std::uint32_t *>(p)[i] = engine::Saturate<std::uint32_t>(x);
            break;
        case mxClassInt64:
            static_cast<std::int64_t *>(p)[i] = engine::Saturate<std::int64_t>(x);
            break;
        case mxClassUint64:
            static_cast<std::uint64_t *>(p)[i] = engine::Saturate<std::uint64_t>(x);
            break;
        default: StoreDouble(R, i, static_cast<double>(x)); break;
    }
}

CMatrix *NewLike(const CMatrix *A, mxClassID id, bool complex) {
    return mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(), id,
                                complex ? mxComplexityComplex : mxComplexityReal);
}

}  // namespace mathfun

namespace {

using mathfun::Fail;

constexpr double kPi = 3.14159265358979323846;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A real double or single operand mapped through fn (double -> double); a
// single result is the double result rounded once.
template <class Fn>
CMatrix *MapReal(const CMatrix *A, const char *name, Fn fn) {
    const bool single = mathfun::FloatingOperand(A, name);
    const engine::Operand a = engine::View(A);
    ArrayHolder R(mathfun::NewLike(A, single ? mxClassSingle : mxClassDouble, false));
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i)
        mathfun::StoreDouble(R.get(), i, fn(a.Re(i)));
    return R.release();
}

// Two real double or single operands with implicit expansion.
template <class Fn>
CMatrix *MapReal2(const CMatrix *A, const CMatrix *B, const char *name, Fn fn) {
    // Both operands are checked, whatever the first is.
    const bool singleA = mathfun::FloatingOperand(A, name);
    const bool single = mathfun::FloatingOperand(B, name) || singleA;
    const engine::Operand a = engine::View(A), b = engine::View(B);
    const engine::Expansion e = engine::Expand(A, B);
    ArrayHolder R(engine::NewResult(e, single ? mxClassSingle : mxClassDouble, false));
    mathfun::EachPair(e, [&](std::size_t r, std::size_t ia, std::size_t ib) {
        mathfun::StoreDouble(R.get(), r, fn(a.Re(ia), b.Re(ib)));
    });
    return R.release();
}

// --- Gamma and beta -----------------------------------------------------------

double FactorialOf(double k);

double GammaOf(double x) {
    if (x == 0) return std::copysign(kInf, x);
    if (x == -kInf) return kNaN;
    if (x < 0 && x == std::floor(x)) return kInf;
    // At the whole numbers, (x - 1)! rounded once.
    if (x <= 171 && x == std::floor(x)) return FactorialOf(x - 1);
    return std::tgamma(x);
}

double GammalnOf(double x) {
    if (x < 0) Fail("gammaln: input must be nonnegative");
    return std::lgamma(x);
}

// lgamma(x) - ((x - 1/2) log x - x + log(2 pi) / 2) for x >= 10: the Stirling
// series to below eps.
double StirlingRest(double x) {
    const double r = 1 / x, r2 = r * r;
    return r *
           (1.0 / 12 -
            r2 * (1.0 / 360 - r2 * (1.0 / 1260 -
                                    r2 * (1.0 / 1680 -
                                          r2 * (1.0 / 1188 -
                                                r2 * (691.0 / 360360 -
                                                      r2 * (1.0 / 156 - r2 * 3617.0 / 122400)))))));
}

// log(beta(a, b)), with the large terms of the logarithms cancelled by
// hand where an argument is large (they would cost their size in ulps).
double BetalnOf(double a, double b) {
    const double p = std::fmin(a, b), q = std::fmax(a, b);
    if (!(p >= 1e-300) || std::isinf(q))
        return std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b);
    const double s = p + q;
    if (p >= 10) {
        return 0.5 * std::log(2 * kPi) - 0.5 * std::log(q) + (p - 0.5) * std::log(p / s) +
               q * std::log1p(-p / s) + (StirlingRest(p) + StirlingRest(q) - StirlingRest(s));
    }
    if (q >= 10) {
        return std::lgamma(p) + (StirlingRest(q) - StirlingRest(s)) - p * std::log(s) + p -
               (q - 0.5) * std::log1p(p / q);
    }
    return std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b);
}

double BetaOf(double a, double b) {
    if (a < 0 || b < 0) Fail("beta: inputs must be nonnegative");
    const double ga = std::tgamma(a), gb = std::tgamma(b), gab = std::tgamma(a + b);
    if (std::isfinite(ga) && std::isfinite(gb) && std::isfinite(gab) && std::isfinite(ga * gb))
        return ga * gb / gab;
    return std::exp(BetalnOf(a, b));
}

// --- The error functions ------------------------------------------------------

// exp(x^2) for |x| < 27 with x^2 split exactly into hi + lo (Dekker), so the
// rounding of x^2 does not cost its ~x^2 ulps.
double ExpSquare(double x) {
    const double split = 134217729.0 * x;  // 2^27 + 1
    const double xh = split - (split - x), xl = x - xh;
    const double hi = x * x;
    const double lo = ((xh * xh - hi) + 2 * xh * xl) + xl * xl;
    return std::exp(hi) * (1 + lo);
}

double ErfcxOf(double x) {
    if (std::isnan(x)) return x;
    if (x >= 10) {
        if (x > 1e8) return 1 / (x * std::sqrt(kPi));
        // 1/(x sqrt(pi)) sum (-1)^k (2k-1)!! / (2x^2)^k, its terms shrinking
        // far below eps before they would grow again (near k = x^2).
        const double t = 1 / (2 * x * x);
        double term = 1, sum = 1;
        for (int k = 1; k < 60; ++k) {
            term *= -(2 * k - 1) * t;
            sum += term;
            if (std::fabs(term) < 1e-17 * sum) break;
        }
        return sum / (x * std::sqrt(kPi));
    }
    if (x < -26.7) return kInf;
    if (x >= 0) return ExpSquare(x) * std::erfc(x);
    return 2 * ExpSquare(x) - ExpSquare(-x) * std::erfc(-x);
}

// P. J. Acklam's approximation of the inverse normal distribution Phi^-1(p),
// 0 < p < 1, relative error below 1.15e-9.
double NormalQuantileGuess(double p) {
    static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                               -2.759285104469687e+02, 1.383577518672690e+02,
                               -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                               -1.556989798598866e+02, 6.680131188771972e+01,
                               -1.328068155288572e+01};
    static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                               -2.400758277161838e+00, -2.549732539343734e+00,
                               4.374664141464968e+00,  2.938163982698783e+00};
    static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                               3.754408661907416e+00};
    const double low = 0.02425;
    if (p < low || p > 1 - low) {
        const double q = std::sqrt(-2 * std::log(p < low ? p : 1 - p));
        const double x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
                         ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
        return p < low ? x : -x;
    }
    const double q = p - 0.5, r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

// Halley's iteration on f(x) = F(x) - y, where F is erf or erfc: both have
// f'' = -2x f', so a step is t / (1 + x t) with t = f / f'.
template <bool kComplement>
double Refine(double x, double y) {
    const double slope = 2 / std::sqrt(kPi);
    for (int k = 0; k < 3; ++k) {
        const double f = kComplement ? std::erfc(x) - y : std::erf(x) - y;
        const double df = (kComplement ? -slope : slope) * std::exp(-x * x);
        if (f == 0 || df == 0) break;
        const double t = f / df;
        x -= t / (1 + x * t);
    }
    return x;
}

double ErfcinvOf(double y);

double ErfinvOf(double y) {
    if (std::isnan(y) || y < -1 || y > 1) return kNaN;
    if (y == 1) return kInf;
    if (y == -1) return -kInf;
    if (y == 0) return y;
    if (std::fabs(y) > 0.5) return std::copysign(ErfcinvOf(1 - std::fabs(y)), y);
    return Refine<false>(NormalQuantileGuess((1 + y) / 2) / std::sqrt(2.0), y);
}

double ErfcinvOf(double y) {
    if (std::isnan(y) || y < 0 || y > 2) return kNaN;
    if (y == 0) return kInf;
    if (y == 2) return -kInf;
    if (y > 1) return -ErfcinvOf(2 - y);  // exact: 0 < 2 - y < 1
    if (y > 0.5) return ErfinvOf(1 - y);  // exact by Sterbenz
    return Refine<true>(-NormalQuantileGuess(y / 2) / std::sqrt(2.0), y);
}

// --- Factorial and binomial coefficients ----------------------------------------

// n! rounded once to the nearest double (ties to even), from the exact
// product in 32-bit limbs.
double NearestFactorial(unsigned int n) {
    std::vector<std::uint32_t> limb{1};  // least significant first
    for (std::uint64_t i = 2; i <= n; ++i) {
        std::uint64_t carry = 0;
        for (std::uint32_t &l : limb) {
            const std::uint64_t v = static_cast<std::uint64_t>(l) * i + carry;
            l = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
        if (carry != 0) limb.push_back(static_cast<std::uint32_t>(carry));
    }
    const std::size_t k = limb.size();
    if (k <= 2)
        return static_cast<double>((k == 2 ? static_cast<std::uint64_t>(limb[1]) << 32 : 0) |
                                   limb[0]);
    // The leading 64 bits, normalised, and whether any bit below them is set.
    std::uint64_t top = static_cast<std::uint64_t>(limb[k - 1]) << 32 | limb[k - 2];
    int shift = 0;
    while ((top >> 63) == 0) {
        top <<= 1;
        ++shift;
    }
    const std::uint32_t next = limb[k - 3];
    bool sticky = false;
    if (shift > 0) {
        top |= next >> (32 - shift);
        sticky = (next & ((1u << (32 - shift)) - 1)) != 0;
    } else {
        sticky = next != 0;
    }
    for (std::size_t j = 0; j + 3 < k; ++j) sticky = sticky || limb[j] != 0;
    std::uint64_t mantissa = top >> 11;
    const std::uint64_t rest = top & 0x7FF;
    if (rest > 0x400 || (rest == 0x400 && (sticky || (mantissa & 1) != 0))) ++mantissa;
    return std::ldexp(static_cast<double>(mantissa), static_cast<int>(11 + 32 * (k - 2)) - shift);
}

// k! for whole k >= 0: the nearest double, exact up to 22!, Inf from 171.
double FactorialOf(double k) {
    static const std::vector<double> table = [] {
        std::vector<double> t(171);
        for (unsigned int i = 0; i <= 170; ++i) t[i] = NearestFactorial(i);
        return t;
    }();
    return k > 170 ? kInf : table[static_cast<std::size_t>(k)];
}

void RefuseFactorial() { Fail("factorial: N must be an array of real non-negative integers"); }

// n choose k of whole n >= k >= 0: exact in 128 bits while the running
// product fits, then in double.
double Binomial(double n, double k) {
    if (n - k < k) k = n - k;
    using U = mathfun::UWide;
    U exact = 1;
    double i = 1;
    const U limit = static_cast<U>(1) << 126;
    for (; i <= k; ++i) {
        const double factor = n - k + i;
        if (factor >= 0x1p62 || exact > limit / static_cast<U>(factor)) break;
        exact = exact * static_cast<U>(factor) / static_cast<U>(i);
    }
    double r = static_cast<double>(exact);
    for (; i <= k && std::isfinite(r); ++i) r = r * (n - k + i) / i;
    return r;
}

// The same for 64-bit classes, saturated: exact in 128 bits, which hold
// every coefficient that fits 64 bits at every step.
engine::Wide BinomialWide(engine::Wide n, engine::Wide k) {
    if (n - k < k) k = n - k;
    using U = mathfun::UWide;
    U r = 1;
    const U cap = static_cast<U>(1) << 64;
    for (engine::Wide i = 1; i <= k; ++i) {
        r = r * static_cast<U>(n - k + i) / static_cast<U>(i);
        if (r > cap) return static_cast<engine::Wide>(cap);
    }
    return static_cast<engine::Wide>(r);
}

// --- Degrees --------------------------------------------------------------------

// x reduced to r = x - 360 k (exact), q the nearest multiple of 90 and d the
// rest in [-45, 45] (exact by Sterbenz's lemma), quadrant = q mod 4.
struct Reduced {
    double d;
    int quadrant;
};
Reduced ReduceDegrees(double x, double period) {
    const double r = std::fmod(x, period);
    const double q = std::nearbyint(r / 90);
    const int k = static_cast<int>(q);
    return {r - 90 * q, ((k % 4) + 4) % 4};
}

// sin of d degrees, |d| <= 45, exact at 0, 30 and 45.
double SinSmall(double d) {
    if (std::fabs(d) == 30) return std::copysign(0.5, d);
    if (std::fabs(d) == 45) return std::copysign(0.70710678118654752440, d);
    return std::sin(d * (kPi / 180));
}
double CosSmall(double d) {
    if (std::fabs(d) == 45) return 0.70710678118654752440;
    return std::cos(d * (kPi / 180));
}

double SindOf(double x) {
    if (!std::isfinite(x)) return kNaN;
    if (x == 0) return x;
    const Reduced r = ReduceDegrees(x, 360);
    const double v[] = {SinSmall(r.d), CosSmall(r.d), -SinSmall(r.d), -CosSmall(r.d)};
    return v[r.quadrant] + 0.0;
}
double CosdOf(double x) {
    if (!std::isfinite(x)) return kNaN;
    const Reduced r = ReduceDegrees(x, 360);
    const double v[] = {CosSmall(r.d), -SinSmall(r.d), -CosSmall(r.d), SinSmall(r.d)};
    return v[r.quadrant] + 0.0;
}
double TandOf(double x) {
    if (!std::isfinite(x)) return kNaN;
    if (x == 0) return x;
    const Reduced r = ReduceDegrees(x, 180);
    const bool odd = r.quadrant % 2 == 1;
    if (r.d == 0) return odd ? std::copysign(kInf, std::fmod(x, 180)) : 0.0;
    if (std::fabs(r.d) == 45) return std::copysign(1.0, odd ? -r.d : r.d);
    const double t = std::tan(r.d * (kPi / 180));
    return odd ? -1 / t : t;
}

// A real operand through a degree function; complex through the radian
// function of x pi / 180.
template <double (*kReal)(double), CMatrix *(*kComplex)(const CMatrix *)>
CMatrix *Degrees(const CMatrix *A, const char *name) {
    engine::RefuseIntegers(name, A, nullptr);
    if (A->IsComplex()) {
        ArrayHolder radians(Times(A, kPi / 180));
        return kComplex(radians.get());
    }
    return MapReal(A, name, kReal);
}

// 1 / f(A) with f the library's function and A's class rules.
template <CMatrix *(*kF)(const CMatrix *)>
CMatrix *Reciprocal(const CMatrix *A, const char *name) {
    engine::RefuseIntegers(name, A, nullptr);
    ArrayHolder f(kF(A));
    return Rdivide(1.0, f.get());
}
// f(1 / A).
template <CMatrix *(*kF)(const CMatrix *)>
CMatrix *OfReciprocal(const CMatrix *A, const char *name) {
    engine::RefuseIntegers(name, A, nullptr);
    ArrayHolder inverse(Rdivide(1.0, A));
    return kF(inverse.get());
}
// (180 / pi) f(A).
template <CMatrix *(*kF)(const CMatrix *)>
CMatrix *InDegrees(const CMatrix *A, const char *name) {
    engine::RefuseIntegers(name, A, nullptr);
    ArrayHolder f(kF(A));
    return Times(180 / kPi, f.get());
}

CMatrix *Scaled(const CMatrix *A, double factor, const char *name) {
    const mxClassID id = A->GetClassID();
    if ((id != mxClassDouble && id != mxClassSingle) || A->IsLogical())
        Fail(std::string(name) + ": input must be floating point");
    return Times(factor, A);
}

// --- Rounding to digits ------------------------------------------------------------

double RoundDecimals(double x, int n) {
    if (!std::isfinite(x) || x == 0) return x;
    if (n >= 0) {
        const double scale = std::pow(10.0, n);
        const double y = x * scale;
        if (std::fabs(y) >= 0x1p52 || !std::isfinite(y)) return x;
        return std::round(y) / scale;
    }
    const double scale = std::pow(10.0, -n);
    if (std::isinf(scale)) return std::copysign(0.0, x);
    return std::round(x / scale) * scale;
}

double RoundSignificant(double x, int n) {
    if (!std::isfinite(x) || x == 0) return x;
    const int digits = static_cast<int>(std::floor(std::log10(std::fabs(x)))) + 1;
    return RoundDecimals(x, n - digits);
}

engine::Wide RoundWide(engine::Wide x, int n) {
    if (n >= 0) return x;
    if (n < -39) return 0;
    engine::Wide scale = 1;
    for (int k = 0; k < -n && scale < (static_cast<engine::Wide>(1) << 100); ++k) scale *= 10;
    const engine::Wide magnitude = x < 0 ? -x : x;
    const engine::Wide q = (magnitude + scale / 2) / scale * scale;
    return x < 0 ? -q : q;
}

}  // namespace

CMatrix *Gamma(const CMatrix *A) { return MapReal(A, "gamma", GammaOf); }
CMatrix *Gammaln(const CMatrix *A) { return MapReal(A, "gammaln", GammalnOf); }
CMatrix *Beta(const CMatrix *A, const CMatrix *B) { return MapReal2(A, B, "beta", BetaOf); }
CMatrix *Betaln(const CMatrix *A, const CMatrix *B) {
    return MapReal2(A, B, "betaln", [](double a, double b) {
        if (a < 0 || b < 0) Fail("betaln: inputs must be nonnegative");
        return BetalnOf(a, b);
    });
}
CMatrix *Erf(const CMatrix *A) {
    return MapReal(A, "erf", [](double x) { return std::erf(x); });
}
CMatrix *Erfc(const CMatrix *A) {
    return MapReal(A, "erfc", [](double x) { return std::erfc(x); });
}
CMatrix *Erfcx(const CMatrix *A) { return MapReal(A, "erfcx", ErfcxOf); }
CMatrix *Erfinv(const CMatrix *A) { return MapReal(A, "erfinv", ErfinvOf); }
CMatrix *Erfcinv(const CMatrix *A) { return MapReal(A, "erfcinv", ErfcinvOf); }

CMatrix *Factorial(const CMatrix *A) {
    const engine::Operand a = engine::View(A);
    if (A->IsComplex()) RefuseFactorial();
    if (!engine::IsIntegerClass(a.id)) {
        const bool single = a.id == mxClassSingle;
        ArrayHolder R(mathfun::NewLike(A, single ? mxClassSingle : mxClassDouble, false));
        for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) {
            const double k = a.Re(i);
            if (!(k >= 0) || k != std::floor(k)) RefuseFactorial();
            mathfun::StoreDouble(R.get(), i, FactorialOf(k));
        }
        return R.release();
    }
    ArrayHolder R(mathfun::NewLike(A, a.id, false));
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) {
        engine::Wide k = 0;
        a.Whole(i, k);
        if (k < 0) RefuseFactorial();
        engine::Wide f = 1;
        for (engine::Wide j = 2; j <= k && f <= (static_cast<engine::Wide>(1) << 64); ++j) f *= j;
        mathfun::StoreWide(R.get(), i, f);
    }
    return R.release();
}

CMatrix *Nchoosek(const CMatrix *N, const CMatrix *K) {
    const mxClassID id = mathfun::ArithmeticClass(N, K);
    if (N->GetNoElems() != 1 || N->IsComplex()) Fail("nchoosek: N must be a non-negative integer");
    if (K->GetNoElems() != 1 || K->IsComplex())
        Fail("nchoosek: K must be an integer between 0 and N");
    const engine::Operand n = engine::View(N), k = engine::View(K);
    const double nv = n.Re(0), kv = k.Re(0);
    if (!(nv >= 0) || nv != std::floor(nv) || std::isinf(nv))
        Fail("nchoosek: N must be a non-negative integer");
    if (!(kv >= 0) || kv != std::floor(kv) || kv > nv)
        Fail("nchoosek: K must be an integer between 0 and N");
    const unsigned int one[] = {1, 1};
    ArrayHolder R(mxCreateNumericArray(2, one, id, mxComplexityReal));
    engine::Wide nw = 0, kw = 0;
    if (engine::IsWideClass(id) && n.Whole(0, nw) && k.Whole(0, kw)) {
        if (kw > nw) Fail("nchoosek: K must be an integer between 0 and N");
        mathfun::StoreWide(R.get(), 0, BinomialWide(nw, kw));
    } else {
        mathfun::StoreDouble(R.get(), 0, Binomial(nv, kv));
    }
    return R.release();
}

CMatrix *NchoosekRows(const CMatrix *V, const CMatrix *K) {
    if (K->GetNoElems() != 1 || K->IsComplex() || engine::View(K).id == mxClassCell)
        Fail("nchoosek: K must be a non-negative integer");
    const double kv = engine::View(K).Re(0);
    if (!(kv >= 0) || kv != std::floor(kv) || kv > 4294967295.0)
        Fail("nchoosek: K must be a non-negative integer");
    const std::size_t n = V->GetNoElems(), k = static_cast<std::size_t>(kv);
    const double rowsExact = k > n ? 0 : Binomial(static_cast<double>(n), kv);
    if (rowsExact * (k == 0 ? 1.0 : kv) > 2147483647.0) throw kiv::CExhaustedMemoryException();
    const std::size_t rows = static_cast<std::size_t>(rowsExact);
    ArrayHolder index(mxCreateDoubleMatrix(static_cast<unsigned int>(rows),
                                           static_cast<unsigned int>(k), mxComplexityReal));
    double *at = static_cast<double *>(index->GetPr());
    std::vector<std::size_t> pick(rows > 0 ? k : 0);
    for (std::size_t j = 0; j < pick.size(); ++j) pick[j] = j;
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t j = 0; j < k; ++j) at[r + j * rows] = static_cast<double>(pick[j] + 1);
        // The next combination: raise the last position that can still rise.
        std::size_t j = k;
        while (j > 0 && pick[j - 1] == n - k + j - 1) --j;
        if (j == 0) break;
        ++pick[j - 1];
        for (std::size_t m = j; m < k; ++m) pick[m] = pick[m - 1] + 1;
    }
    ArrayHolder picked(Indexref(V, index.get()));
    const unsigned int dims[] = {k == 0 ? 1u : static_cast<unsigned int>(rows),
                                 static_cast<unsigned int>(k)};
    CMatrix *R = Reshape(picked.get(), 2, dims);
    if (V->IsLogical()) R->SetLogical();
    return R;
}

CMatrix *Sec(const CMatrix *A) { return Reciprocal<Cos>(A, "sec"); }
CMatrix *Csc(const CMatrix *A) { return Reciprocal<Sin>(A, "csc"); }
CMatrix *Cot(const CMatrix *A) { return Reciprocal<Tan>(A, "cot"); }
CMatrix *Sech(const CMatrix *A) { return Reciprocal<Cosh>(A, "sech"); }
CMatrix *Csch(const CMatrix *A) { return Reciprocal<Sinh>(A, "csch"); }
CMatrix *Coth(const CMatrix *A) { return Reciprocal<Tanh>(A, "coth"); }
CMatrix *Asec(const CMatrix *A) { return OfReciprocal<Acos>(A, "asec"); }
CMatrix *Acsc(const CMatrix *A) { return OfReciprocal<Asin>(A, "acsc"); }
CMatrix *Acot(const CMatrix *A) { return OfReciprocal<Atan>(A, "acot"); }
CMatrix *Asech(const CMatrix *A) { return OfReciprocal<Acosh>(A, "asech"); }
CMatrix *Acsch(const CMatrix *A) { return OfReciprocal<Asinh>(A, "acsch"); }
CMatrix *Acoth(const CMatrix *A) { return OfReciprocal<Atanh>(A, "acoth"); }

CMatrix *Sind(const CMatrix *A) { return Degrees<SindOf, Sin>(A, "sind"); }
CMatrix *Cosd(const CMatrix *A) { return Degrees<CosdOf, Cos>(A, "cosd"); }
CMatrix *Tand(const CMatrix *A) { return Degrees<TandOf, Tan>(A, "tand"); }
CMatrix *Cotd(const CMatrix *A) { return Reciprocal<Tand>(A, "cotd"); }
CMatrix *Secd(const CMatrix *A) { return Reciprocal<Cosd>(A, "secd"); }
CMatrix *Cscd(const CMatrix *A) { return Reciprocal<Sind>(A, "cscd"); }
CMatrix *Asind(const CMatrix *A) { return InDegrees<Asin>(A, "asind"); }
CMatrix *Acosd(const CMatrix *A) { return InDegrees<Acos>(A, "acosd"); }
CMatrix *Atand(const CMatrix *A) { return InDegrees<Atan>(A, "atand"); }
CMatrix *Atan2d(const CMatrix *Y, const CMatrix *X) {
    return MapReal2(Y, X, "atan2d",
                    [](double y, double x) { return 180 / kPi * std::atan2(y, x); });
}
CMatrix *Deg2rad(const CMatrix *A) { return Scaled(A, kPi / 180, "deg2rad"); }
CMatrix *Rad2deg(const CMatrix *A) { return Scaled(A, 180 / kPi, "rad2deg"); }

CMatrix *RoundTo(const CMatrix *A, const CMatrix *N, RoundDigits mode) {
    const bool significant = mode == RoundDigits::kSignificant;
    const char *what = significant ? "round: N must be a positive integer scalar"
                                   : "round: N must be an integer scalar";
    const engine::Operand a = engine::View(A);
    const mxClassID nid = engine::View(N).id;
    if (N->GetNoElems() != 1 || N->IsComplex() || nid == mxClassChar) Fail(what);
    const double nv = engine::View(N).Re(0);
    if (nv != std::floor(nv) || std::fabs(nv) > 1e4 || (significant && nv < 1)) Fail(what);
    const int n = static_cast<int>(nv);
    const bool integer = engine::IsIntegerClass(a.id);
    const mxClassID id = a.id == mxClassChar ? mxClassDouble : a.id;
    ArrayHolder R(mathfun::NewLike(A, id, A->IsComplex()));
    for (int part = 0; part < (A->IsComplex() ? 2 : 1); ++part) {
        const engine::Operand o = engine::View(A);
        for (std::size_t i = 0, count = A->GetNoElems(); i < count; ++i) {
            if (integer) {
                engine::Wide w = 0;
                o.Whole(i, w);
                const int digits = [&] {
                    if (!significant) return n;
                    int d = 0;
                    for (engine::Wide m = w < 0 ? -w : w; m > 0; m /= 10) ++d;
                    return n - d;
                }();
                mathfun::StoreWide(R.get(), i, RoundWide(w, digits));
                continue;
            }
            const double x = part == 0 ? o.Re(i) : o.Im(i);
            const double y = significant ? RoundSignificant(x, n) : RoundDecimals(x, n);
            if (part == 0) {
                mathfun::StoreDouble(R.get(), i, y);
            } else if (id == mxClassSingle) {
                static_cast<float *>(R->GetPi())[i] = static_cast<float>(y);
            } else {
                static_cast<double *>(R->GetPi())[i] = y;
            }
        }
    }
    return R.release();
}

}  // namespace matrix
}  // namespace kiv
