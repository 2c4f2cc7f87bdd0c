// src/mtrx/lib/elfun.cpp: gamma, beta and error functions, number theory, and the
// reciprocal and degree forms of the trigonometric functions.
#include "lib/support.h"

namespace mtrx {

namespace km = kiv::matrix;

namespace {

Array GammaOf(const Array &a) { return km::Gamma(a); }
Array GammalnOf(const Array &a) { return km::Gammaln(a); }
Array BetaOf(const Array &a, const Array &b) { return km::Beta(a, b); }
Array BetalnOf(const Array &a, const Array &b) { return km::Betaln(a, b); }
Array ErfOf(const Array &a) { return km::Erf(a); }
Array ErfcOf(const Array &a) { return km::Erfc(a); }
Array ErfcxOf(const Array &a) { return km::Erfcx(a); }
Array ErfinvOf(const Array &a) { return km::Erfinv(a); }
Array ErfcinvOf(const Array &a) { return km::Erfcinv(a); }
Array FactorialOf(const Array &a) { return km::Factorial(a); }
Array LcmOf(const Array &a, const Array &b) { return km::Lcm(a, b); }
Array PrimesOf(const Array &a) { return km::Primes(a); }
Array IsprimeOf(const Array &a) { return km::Isprime(a); }
Array FactorOf(const Array &a) { return km::Factor(a); }
Array NthrootOf(const Array &a, const Array &b) { return km::Nthroot(a, b); }
Array RealpowOf(const Array &a, const Array &b) { return km::Realpow(a, b); }
Array ReallogOf(const Array &a) { return km::Reallog(a); }
Array RealsqrtOf(const Array &a) { return km::Realsqrt(a); }
Array SecOf(const Array &a) { return km::Sec(a); }
Array CscOf(const Array &a) { return km::Csc(a); }
Array CotOf(const Array &a) { return km::Cot(a); }
Array AsecOf(const Array &a) { return km::Asec(a); }
Array AcscOf(const Array &a) { return km::Acsc(a); }
Array AcotOf(const Array &a) { return km::Acot(a); }
Array SechOf(const Array &a) { return km::Sech(a); }
Array CschOf(const Array &a) { return km::Csch(a); }
Array CothOf(const Array &a) { return km::Coth(a); }
Array AsechOf(const Array &a) { return km::Asech(a); }
Array AcschOf(const Array &a) { return km::Acsch(a); }
Array AcothOf(const Array &a) { return km::Acoth(a); }
Array SindOf(const Array &a) { return km::Sind(a); }
Array CosdOf(const Array &a) { return km::Cosd(a); }
Array TandOf(const Array &a) { return km::Tand(a); }
Array CotdOf(const Array &a) { return km::Cotd(a); }
Array SecdOf(const Array &a) { return km::Secd(a); }
Array CscdOf(const Array &a) { return km::Cscd(a); }
Array AsindOf(const Array &a) { return km::Asind(a); }
Array AcosdOf(const Array &a) { return km::Acosd(a); }
Array AtandOf(const Array &a) { return km::Atand(a); }
Array Atan2dOf(const Array &a, const Array &b) { return km::Atan2d(a, b); }
Array Deg2radOf(const Array &a) { return km::Deg2rad(a); }
Array Rad2degOf(const Array &a) { return km::Rad2deg(a); }

// nchoosek(n, k) of a scalar n; nchoosek(v, k) the combinations of v.
Outs NchoosekBuiltin(const Args &args, BuiltinCall &) {
    const Array &v = args.GetArray(0);
    if (v.Numel() == 1) return {km::Nchoosek(v, args.GetArray(1))};
    return {km::NchoosekRows(v, args.GetArray(1))};
}

// g = gcd(A, B), [g, u, v] = gcd(A, B).
Outs GcdBuiltin(const Args &args, BuiltinCall &call) {
    if (call.nargout <= 1) return {km::Gcd(args.GetArray(0), args.GetArray(1))};
    km::GcdBezout r = km::GcdWithCoefficients(args.GetArray(0), args.GetArray(1));
    return {r.g, r.u, r.v};
}

const BuiltinEntry kEntries[] = {
    {"gamma", Unary<GammaOf>, 1, 1, 1, "gamma(X)",
     "The gamma function of each element: (n-1)! at whole n, Inf at 0 and the negative whole "
     "numbers."},
    {"gammaln", Unary<GammalnOf>, 1, 1, 1, "gammaln(X)",
     "log(gamma(X)) of non-negative elements, without overflow."},
    {"beta", Binary<BetaOf>, 2, 2, 1, "beta(Z, W)",
     "The beta function gamma(Z) gamma(W) / gamma(Z + W) of non-negative elements."},
    {"betaln", Binary<BetalnOf>, 2, 2, 1, "betaln(Z, W)", "log(beta(Z, W)), without overflow."},
    {"erf", Unary<ErfOf>, 1, 1, 1, "erf(X)", "The error function of each element."},
    {"erfc", Unary<ErfcOf>, 1, 1, 1, "erfc(X)",
     "The complementary error function 1 - erf(X), accurate where erf(X) is near 1."},
    {"erfcx", Unary<ErfcxOf>, 1, 1, 1, "erfcx(X)",
     "The scaled complementary error function exp(X.^2) .* erfc(X)."},
    {"erfinv", Unary<ErfinvOf>, 1, 1, 1, "erfinv(Y)",
     "The inverse error function: erf(erfinv(Y)) = Y for -1 <= Y <= 1, NaN outside."},
    {"erfcinv", Unary<ErfcinvOf>, 1, 1, 1, "erfcinv(Y)",
     "The inverse complementary error function, for 0 <= Y <= 2, NaN outside."},
    {"factorial", Unary<FactorialOf>, 1, 1, 1, "factorial(N)",
     "The product 1*2*...*N of each non-negative whole element; Inf beyond 170."},
    {"nchoosek", NchoosekBuiltin, 2, 2, 1, "nchoosek(n, k), nchoosek(v, k)",
     "The binomial coefficient n choose k, or the k-combinations of the vector v, one per row."},
    {"gcd", GcdBuiltin, 2, 2, 3, "G = gcd(A, B), [G, U, V] = gcd(A, B)",
     "Greatest common divisors of whole numbers, and U, V with G = A.*U + B.*V."},
    {"lcm", Binary<LcmOf>, 2, 2, 1, "lcm(A, B)", "Least common multiples of whole numbers."},
    {"primes", Unary<PrimesOf>, 1, 1, 1, "primes(n)", "The primes up to n, as a row."},
    {"isprime", Unary<IsprimeOf>, 1, 1, 1, "isprime(X)",
     "True where an element is prime; exact for every whole number below 2^64."},
    {"factor", Unary<FactorOf>, 1, 1, 1, "factor(n)", "The prime factors of n, increasing."},
    {"nthroot", Binary<NthrootOf>, 2, 2, 1, "nthroot(X, N)",
     "The real N-th root of each element; negative X needs an odd N."},
    {"realpow", Binary<RealpowOf>, 2, 2, 1, "realpow(A, B)",
     "A.^B, an error when a result is complex."},
    {"reallog", Unary<ReallogOf>, 1, 1, 1, "reallog(X)",
     "Natural logarithm, an error for negative or complex X."},
    {"realsqrt", Unary<RealsqrtOf>, 1, 1, 1, "realsqrt(X)",
     "Square root, an error for negative or complex X."},
    {"sec", Unary<SecOf>, 1, 1, 1, "sec(X)", "Secant 1 ./ cos(X), in radians."},
    {"csc", Unary<CscOf>, 1, 1, 1, "csc(X)", "Cosecant 1 ./ sin(X), in radians."},
    {"cot", Unary<CotOf>, 1, 1, 1, "cot(X)", "Cotangent 1 ./ tan(X), in radians."},
    {"asec", Unary<AsecOf>, 1, 1, 1, "asec(X)", "Inverse secant acos(1 ./ X)."},
    {"acsc", Unary<AcscOf>, 1, 1, 1, "acsc(X)", "Inverse cosecant asin(1 ./ X)."},
    {"acot", Unary<AcotOf>, 1, 1, 1, "acot(X)", "Inverse cotangent atan(1 ./ X)."},
    {"sech", Unary<SechOf>, 1, 1, 1, "sech(X)", "Hyperbolic secant 1 ./ cosh(X)."},
    {"csch", Unary<CschOf>, 1, 1, 1, "csch(X)", "Hyperbolic cosecant 1 ./ sinh(X)."},
    {"coth", Unary<CothOf>, 1, 1, 1, "coth(X)", "Hyperbolic cotangent 1 ./ tanh(X)."},
    {"asech", Unary<AsechOf>, 1, 1, 1, "asech(X)", "Inverse hyperbolic secant acosh(1 ./ X)."},
    {"acsch", Unary<AcschOf>, 1, 1, 1, "acsch(X)", "Inverse hyperbolic cosecant asinh(1 ./ X)."},
    {"acoth", Unary<AcothOf>, 1, 1, 1, "acoth(X)", "Inverse hyperbolic cotangent atanh(1 ./ X)."},
    {"sind", Unary<SindOf>, 1, 1, 1, "sind(X)", "Sine of X in degrees; exact at multiples of 90."},
    {"cosd", Unary<CosdOf>, 1, 1, 1, "cosd(X)",
     "Cosine of X in degrees; exact at multiples of 90."},
    {"tand", Unary<TandOf>, 1, 1, 1, "tand(X)",
     "Tangent of X in degrees; exact at multiples of 45, +-Inf at odd multiples of 90."},
    {"cotd", Unary<CotdOf>, 1, 1, 1, "cotd(X)", "Cotangent of X in degrees, 1 ./ tand(X)."},
    {"secd", Unary<SecdOf>, 1, 1, 1, "secd(X)", "Secant of X in degrees, 1 ./ cosd(X)."},
    {"cscd", Unary<CscdOf>, 1, 1, 1, "cscd(X)", "Cosecant of X in degrees, 1 ./ sind(X)."},
    {"asind", Unary<AsindOf>, 1, 1, 1, "asind(X)", "Inverse sine in degrees."},
    {"acosd", Unary<AcosdOf>, 1, 1, 1, "acosd(X)", "Inverse cosine in degrees."},
    {"atand", Unary<AtandOf>, 1, 1, 1, "atand(X)", "Inverse tangent in degrees."},
    {"atan2d", Binary<Atan2dOf>, 2, 2, 1, "atan2d(Y, X)",
     "Four-quadrant inverse tangent in degrees."},
    {"deg2rad", Unary<Deg2radOf>, 1, 1, 1, "deg2rad(D)", "Degrees to radians, D * pi / 180."},
    {"rad2deg", Unary<Rad2degOf>, 1, 1, 1, "rad2deg(R)", "Radians to degrees, R * 180 / pi."},
};

}  // namespace

Library ElfunLibrary() {
    return {"elfun", "Gamma, beta and error functions, number theory, degree trigonometry", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
