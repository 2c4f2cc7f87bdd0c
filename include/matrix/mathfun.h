// include/matrix/mathfun.h: gamma, beta and error functions, number theory,
// the reciprocal and degree forms of the trigonometric functions, and
// rounding to digits.
#ifndef MATRIX_MATHFUN_H
#define MATRIX_MATHFUN_H

#include <matrix/array.h>
#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Every function returns a new array owned by the caller and leaves its
// arguments unchanged; all checks run before the result is created, so a
// failed call leaves nothing allocated. Cell and struct operands throw
// CNotImplementedException. Refusals throw CFunctionErrorException with a
// message that names the function. Functions of two arrays use implicit
// expansion (elementwise.h), throwing CArrayDimsMustMatchForBinaryOpException.
//
// Floating classes. Double, and char and logical read as double, give
// double. Single is computed in double on the single values and rounded to
// single once (so every single result is the correctly rounded value of the
// double one). Unless a function says otherwise an integer class throws
// "NAME: not defined for values of class CLASS; convert them to double or
// single first", and a complex operand "NAME: input must be real".

// --- Gamma, beta and error functions (double and single) -----------------------------------

/// gamma(x): std::tgamma, except that 0 and the negative whole numbers (the
/// poles) give Inf, -0 giving -Inf, and the whole numbers n up to 171 give
/// Factorial(n - 1).
[[nodiscard]] MATRIX_API CMatrix *Gamma(const CMatrix *A);
/// gammaln(x) = log(gamma(x)) for x >= 0 (std::lgamma; Inf at 0 and Inf);
/// a negative element throws "gammaln: input must be nonnegative".
[[nodiscard]] MATRIX_API CMatrix *Gammaln(const CMatrix *A);
/// beta(a, b) = gamma(a) gamma(b) / gamma(a + b): by the gamma functions
/// while they stay finite, else exp(gammaln(a) + gammaln(b) - gammaln(a + b)).
/// Negative elements throw "beta: inputs must be nonnegative".
[[nodiscard]] MATRIX_API CMatrix *Beta(const CMatrix *A, const CMatrix *B);
/// betaln(a, b) = gammaln(a) + gammaln(b) - gammaln(a + b); refuses as Beta.
[[nodiscard]] MATRIX_API CMatrix *Betaln(const CMatrix *A, const CMatrix *B);
/// erf(x), std::erf.
[[nodiscard]] MATRIX_API CMatrix *Erf(const CMatrix *A);
/// erfc(x) = 1 - erf(x), std::erfc (accurate where erf is near 1).
[[nodiscard]] MATRIX_API CMatrix *Erfc(const CMatrix *A);
/// erfcx(x) = exp(x^2) erfc(x), accurate where erfc underflows: below 10
/// the exponential of x^2 split exactly into two doubles times std::erfc;
/// from 10 on the asymptotic series 1/(x sqrt(pi)) (1 - 1/(2x^2) + ...);
/// Inf below about -26.6.
[[nodiscard]] MATRIX_API CMatrix *Erfcx(const CMatrix *A);
/// erfinv(y), the x with erf(x) = y, for -1 <= y <= 1 (Inf at 1, -Inf at
/// -1, NaN outside). The first guess is P. J. Acklam's rational
/// approximation of the inverse of the normal distribution (relative error
/// below 1.15e-9), erfinv(y) = Phi^-1((1 + y) / 2) / sqrt(2); Halley's
/// iteration on erf(x) - y (erfc(x) - (1 - y) where y > 0.5) then refines it
/// to a few units in the last place.
[[nodiscard]] MATRIX_API CMatrix *Erfinv(const CMatrix *A);
/// erfcinv(y), the x with erfc(x) = y, for 0 <= y <= 2 (Inf at 0, -Inf at
/// 2, NaN outside); as Erfinv, accurate in relative terms for tiny y.
[[nodiscard]] MATRIX_API CMatrix *Erfcinv(const CMatrix *A);
/// factorial(n) for every element, a non-negative whole number: n! rounded
/// once to the nearest double (so exact up to 22!), Inf beyond 170; single
/// rounds that double (Inf beyond 34). Integer classes give their class,
/// exact and saturated. Other values throw "factorial: N
/// must be an array of real non-negative integers".
[[nodiscard]] MATRIX_API CMatrix *Factorial(const CMatrix *A);
/// The binomial coefficient n choose k of two real non-negative whole
/// scalars with k <= n: exact while it stays below 2^53, else the product
/// rounded at each step (no warning). The class follows the arithmetic rules
/// (an integer class saturates). Throws "nchoosek: N must be a non-negative
/// integer", "nchoosek: K must be an integer between 0 and N".
[[nodiscard]] MATRIX_API CMatrix *Nchoosek(const CMatrix *n, const CMatrix *k);
/// The k-combinations of the elements of the vector v, one per row, in
/// lexicographic order of positions: a (n choose k) x k array of v's class
/// (any class, cell included; a 0 x k array when k > numel(v), a 1x0 one
/// for k = 0). Throws "nchoosek: K must be a non-negative integer", and
/// kiv::CExhaustedMemoryException when the rows do not fit.
[[nodiscard]] MATRIX_API CMatrix *NchoosekRows(const CMatrix *v, const CMatrix *k);

// --- Number theory ---------------------------------------------------------------
//
// Classes as the arithmetic's: an integer class with itself, double, single,
// char or logical gives that class (two different integer classes throw
// CIntegersCanOnlyBeCombinedException), else single when either is single,
// else double. Integer classes compute exactly (64-bit ones included).

/// The greatest common divisors, non-negative, gcd(0, 0) = 0. Elements must
/// be real whole numbers: "gcd: inputs must be real integers".
[[nodiscard]] MATRIX_API CMatrix *Gcd(const CMatrix *A, const CMatrix *B);
/// G = gcd(A, B) with Bezout coefficients: G = A.*U + B.*V, by the extended
/// Euclidean algorithm on |A| and |B| (U, V of G's class, saturated in an
/// unsigned class). The three are written to the pointers only on success.
MATRIX_API void Gcd(const CMatrix *A, const CMatrix *B, CMatrix **G, CMatrix **U, CMatrix **V);
/// The least common multiples, non-negative, 0 where either is 0. Refuses
/// as Gcd ("lcm: inputs must be real integers"); integer classes saturate.
[[nodiscard]] MATRIX_API CMatrix *Lcm(const CMatrix *A, const CMatrix *B);
/// The primes up to the real scalar n as a row of n's class (double for
/// char and logical): a sieve of Eratosthenes; 1x0 below 2 and for NaN.
/// Throws "primes: N must be a real scalar" and "primes: N must be at most
/// 2^32" (the sieve's memory).
[[nodiscard]] MATRIX_API CMatrix *Primes(const CMatrix *n);
/// Logical array: true where an element is prime. Deterministic for every
/// whole number below 2^64: trial division by the small primes, then
/// Miller-Rabin with the bases 2, 325, 9375, 28178, 450775, 9780504 and
/// 1795265022. Doubles from 2^53 on are even. Throws "isprime: all elements
/// must be real non-negative integers".
[[nodiscard]] MATRIX_API CMatrix *Isprime(const CMatrix *A);
/// The prime factors of the scalar n in increasing order, a row of n's
/// class (factor(0) = 0, factor(1) = 1): trial division, then Pollard's rho
/// (Brent) for what is left. Throws "factor: N must be a real non-negative
/// integer scalar", and for double and single "factor: N must be below
/// flintmax".
[[nodiscard]] MATRIX_API CMatrix *Factor(const CMatrix *n);
/// The real n-th roots of X: sign(x) |x|^(1/n) with one Newton step on
/// y^n = x. Double and single only. Throws "nthroot: X and N must be real"
/// and "nthroot: if X is negative, N must be an odd integer".
[[nodiscard]] MATRIX_API CMatrix *Nthroot(const CMatrix *X, const CMatrix *N);
/// Power(A, B) when every element is real, else "Realpow produced complex
/// result." (complex operands too).
[[nodiscard]] MATRIX_API CMatrix *Realpow(const CMatrix *A, const CMatrix *B);
/// Log(A) for real A >= 0, else "Reallog produced complex result.".
[[nodiscard]] MATRIX_API CMatrix *Reallog(const CMatrix *A);
/// Sqrt(A) for real A >= 0, else "Realsqrt produced complex result.".
[[nodiscard]] MATRIX_API CMatrix *Realsqrt(const CMatrix *A);

// --- Trigonometry ------------------------------------------------------------------
//
// The reciprocal functions are the reciprocals of the library's own (sec z =
// 1 / cos z) and their inverses the inverse functions of the reciprocal
// (asec z = acos(1 / z)), so their classes, complex operands and complex
// results are those of Cos, Acos and the others (integers refused by name).

[[nodiscard]] MATRIX_API CMatrix *Sec(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Csc(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Cot(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Asec(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Acsc(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Acot(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Sech(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Csch(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Coth(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Asech(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Acsch(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Acoth(const CMatrix *A);

// Degree forms. A real argument is reduced in degrees first (x - 360 k,
// exact), then to the octant around the nearest multiple of 90 degrees, so
// every multiple of 90 gives exactly 0, 1, -1 or +-Inf (sind(180) = 0,
// cosd(90) = 0, tand(90) = Inf) and tand(45) = 1; zeros are +0 except
// sind(-0) = -0. Inf and NaN give NaN. A complex argument computes the
// radian function of x pi / 180. Integer classes are refused.
[[nodiscard]] MATRIX_API CMatrix *Sind(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Cosd(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Tand(const CMatrix *A);
/// cotd = 1 / tand, secd = 1 / cosd, cscd = 1 / sind.
[[nodiscard]] MATRIX_API CMatrix *Cotd(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Secd(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Cscd(const CMatrix *A);
/// The inverses in degrees: (180 / pi) times Asin, Acos, Atan (complex
/// where those are).
[[nodiscard]] MATRIX_API CMatrix *Asind(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Acosd(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Atand(const CMatrix *A);
/// (180 / pi) atan2(Y, X) of real double or single operands.
[[nodiscard]] MATRIX_API CMatrix *Atan2d(const CMatrix *Y, const CMatrix *X);
/// (pi / 180) x and (180 / pi) x of double or single, complex included;
/// integers throw "deg2rad: input must be floating point" (rad2deg alike).
[[nodiscard]] MATRIX_API CMatrix *Deg2rad(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Rad2deg(const CMatrix *A);

// --- Rounding to digits ---------------------------------------------------------------

enum class RoundDigits { kDecimals, kSignificant };
/// round(x, n): to n digits after the decimal point (n < 0: to 10^-n), or
/// to n significant digits (n >= 1). Doubles compute round(x * 10^n) / 10^n
/// (round(x / 10^-n) * 10^-n for n < 0, so the scale is exact), leaving x as
/// it is when x * 10^n is already whole; single in double, rounded once;
/// complex parts one by one; integer classes round exactly, halves away from
/// 0 (unchanged for n >= 0 in decimals). Throws "round: N must be an integer
/// scalar" ("a positive integer scalar" for significant digits).
[[nodiscard]] MATRIX_API CMatrix *RoundTo(const CMatrix *A, const CMatrix *n, RoundDigits mode);

// --- Array forms ---------------------------------------------------------------------

#define MATRIX_MATHFUN_UNARY(F, name)                                                \
    inline Array F(const Array &a) {                                                 \
        return detail::Named(name, 1, a.get(), nullptr, [&] { return F(a.get()); }); \
    }
#define MATRIX_MATHFUN_BINARY(F, name)                                                        \
    inline Array F(const Array &a, const Array &b) {                                          \
        return detail::Named(name, 2, a.get(), b.get(), [&] { return F(a.get(), b.get()); }); \
    }
MATRIX_MATHFUN_UNARY(Gamma, "gamma")
MATRIX_MATHFUN_UNARY(Gammaln, "gammaln")
MATRIX_MATHFUN_BINARY(Beta, "beta")
MATRIX_MATHFUN_BINARY(Betaln, "betaln")
MATRIX_MATHFUN_UNARY(Erf, "erf")
MATRIX_MATHFUN_UNARY(Erfc, "erfc")
MATRIX_MATHFUN_UNARY(Erfcx, "erfcx")
MATRIX_MATHFUN_UNARY(Erfinv, "erfinv")
MATRIX_MATHFUN_UNARY(Erfcinv, "erfcinv")
MATRIX_MATHFUN_UNARY(Factorial, "factorial")
MATRIX_MATHFUN_BINARY(Nchoosek, "nchoosek")
MATRIX_MATHFUN_BINARY(NchoosekRows, "nchoosek")
MATRIX_MATHFUN_BINARY(Gcd, "gcd")
MATRIX_MATHFUN_BINARY(Lcm, "lcm")
MATRIX_MATHFUN_UNARY(Primes, "primes")
MATRIX_MATHFUN_UNARY(Isprime, "isprime")
MATRIX_MATHFUN_UNARY(Factor, "factor")
MATRIX_MATHFUN_BINARY(Nthroot, "nthroot")
MATRIX_MATHFUN_BINARY(Realpow, "realpow")
MATRIX_MATHFUN_UNARY(Reallog, "reallog")
MATRIX_MATHFUN_UNARY(Realsqrt, "realsqrt")
MATRIX_MATHFUN_UNARY(Sec, "sec")
MATRIX_MATHFUN_UNARY(Csc, "csc")
MATRIX_MATHFUN_UNARY(Cot, "cot")
MATRIX_MATHFUN_UNARY(Asec, "asec")
MATRIX_MATHFUN_UNARY(Acsc, "acsc")
MATRIX_MATHFUN_UNARY(Acot, "acot")
MATRIX_MATHFUN_UNARY(Sech, "sech")
MATRIX_MATHFUN_UNARY(Csch, "csch")
MATRIX_MATHFUN_UNARY(Coth, "coth")
MATRIX_MATHFUN_UNARY(Asech, "asech")
MATRIX_MATHFUN_UNARY(Acsch, "acsch")
MATRIX_MATHFUN_UNARY(Acoth, "acoth")
MATRIX_MATHFUN_UNARY(Sind, "sind")
MATRIX_MATHFUN_UNARY(Cosd, "cosd")
MATRIX_MATHFUN_UNARY(Tand, "tand")
MATRIX_MATHFUN_UNARY(Cotd, "cotd")
MATRIX_MATHFUN_UNARY(Secd, "secd")
MATRIX_MATHFUN_UNARY(Cscd, "cscd")
MATRIX_MATHFUN_UNARY(Asind, "asind")
MATRIX_MATHFUN_UNARY(Acosd, "acosd")
MATRIX_MATHFUN_UNARY(Atand, "atand")
MATRIX_MATHFUN_BINARY(Atan2d, "atan2d")
MATRIX_MATHFUN_UNARY(Deg2rad, "deg2rad")
MATRIX_MATHFUN_UNARY(Rad2deg, "rad2deg")
#undef MATRIX_MATHFUN_UNARY
#undef MATRIX_MATHFUN_BINARY

/// [G, U, V] = gcd(A, B).
struct GcdBezout {
    Array g, u, v;
};
inline GcdBezout GcdWithCoefficients(const Array &a, const Array &b) {
    CMatrix *g = nullptr, *u = nullptr, *v = nullptr;
    Gcd(a.get(), b.get(), &g, &u, &v);
    return {Array::Adopt(g), Array::Adopt(u), Array::Adopt(v)};
}
inline Array RoundTo(const Array &a, const Array &n, RoundDigits mode) {
    return detail::Named("round", 2, a.get(), n.get(),
                         [&] { return RoundTo(a.get(), n.get(), mode); });
}

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_MATHFUN_H
