// src/elementwise/number_theory.cpp: gcd, lcm, primes, isprime and factor;
// nthroot and the real-only power, logarithm and square root.
#include <matrix/elementwise.h>
#include <matrix/mathfun.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "core/array_holder.h"
#include "elementwise/class_functions.h"
#include "elementwise/mathfun_support.h"

namespace kiv {
namespace matrix {

namespace {

using engine::Wide;
using mathfun::Fail;
using U64 = std::uint64_t;
using U128 = mathfun::UWide;

// The value of element i as an exact whole number, or a refusal. Floating
// elements beyond 2^64 are whole but not held exactly here: `huge` is set
// and the double returned in `x`.
bool WholeAt(const engine::Operand &o, std::size_t i, Wide &w, double &x) {
    if (o.Whole(i, w)) return true;
    x = o.Re(i);
    return false;
}

struct Euclid {
    Wide g, u, v;
};

// The extended Euclidean algorithm on |a| and |b|, signs given back to the
// coefficients: g = a u + b v, g >= 0.
Euclid Extended(Wide a, Wide b) {
    Wide r0 = a < 0 ? -a : a, r1 = b < 0 ? -b : b;
    Wide s0 = 1, s1 = 0, t0 = 0, t1 = 1;
    while (r1 != 0) {
        const Wide q = r0 / r1;
        Wide t = r0 - q * r1;
        r0 = r1;
        r1 = t;
        t = s0 - q * s1;
        s0 = s1;
        s1 = t;
        t = t0 - q * t1;
        t0 = t1;
        t1 = t;
    }
    return {r0, a < 0 ? -s0 : s0, b < 0 ? -t0 : t0};
}

// gcd of two whole doubles at least one of which is beyond 2^64.
double HugeGcd(double a, double b) {
    a = std::fabs(a);
    b = std::fabs(b);
    while (b != 0) {
        const double t = std::fmod(a, b);
        a = b;
        b = t;
    }
    return a;
}

// The pairs of A and B through element(r, a, b, x, y) (exact values, or the
// doubles beyond 2^64 with `exact` false), after refusing what is not a real
// whole number with `refusal`.
template <class Element>
void EachWholePair(const CMatrix *A, const CMatrix *B, const engine::Expansion &e,
                   const char *refusal, const Element &element) {
    if (A->IsComplex() || B->IsComplex()) Fail(refusal);
    const engine::Operand a = engine::View(A), b = engine::View(B);
    mathfun::EachPair(e, [&](std::size_t r, std::size_t ia, std::size_t ib) {
        Wide wa = 0, wb = 0;
        double xa = 0, xb = 0;
        const bool ea = WholeAt(a, ia, wa, xa), eb = WholeAt(b, ib, wb, xb);
        if ((!ea && !(std::isfinite(xa) && xa == std::floor(xa))) ||
            (!eb && !(std::isfinite(xb) && xb == std::floor(xb))))
            Fail(refusal);
        if (ea) xa = static_cast<double>(wa);
        if (eb) xb = static_cast<double>(wb);
        element(r, wa, wb, xa, xb, ea && eb);
    });
}

// --- Primality ------------------------------------------------------------------

U64 MulMod(U64 a, U64 b, U64 m) { return static_cast<U64>(static_cast<U128>(a) * b % m); }

U64 PowMod(U64 a, U64 e, U64 m) {
    U64 r = 1 % m;
    a %= m;
    for (; e > 0; e >>= 1) {
        if (e & 1) r = MulMod(r, a, m);
        a = MulMod(a, a, m);
    }
    return r;
}

const unsigned kSmallPrimes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};

// Deterministic for every n < 2^64 (Miller-Rabin with bases known to leave
// no strong pseudoprime below 2^64).
bool IsPrime64(U64 n) {
    if (n < 2) return false;
    for (unsigned p : kSmallPrimes) {
        if (n % p == 0) return n == p;
    }
    if (n < 37 * 37) return true;
    U64 d = n - 1;
    int s = 0;
    while ((d & 1) == 0) {
        d >>= 1;
        ++s;
    }
    static const U64 bases[] = {2, 325, 9375, 28178, 450775, 9780504, 1795265022};
    for (U64 base : bases) {
        const U64 a = base % n;
        if (a == 0) continue;
        U64 x = PowMod(a, d, n);
        if (x == 1 || x == n - 1) continue;
        bool composite = true;
        for (int k = 1; k < s && composite; ++k) {
            x = MulMod(x, x, n);
            if (x == n - 1) composite = false;
        }
        if (composite) return false;
    }
    return true;
}

U64 Gcd64(U64 a, U64 b) {
    while (b != 0) {
        const U64 t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// A non-trivial divisor of the odd composite n (Pollard's rho, Brent's
// cycle finding); deterministic: the constants are tried in order.
U64 RhoDivisor(U64 n) {
    for (U64 c = 1;; ++c) {
        U64 y = 2, x = 2, g = 1, q = 1, ys = 2;
        const U64 m = 128;
        for (U64 r = 1; g == 1; r <<= 1) {
            x = y;
            for (U64 i = 0; i < r; ++i) y = (MulMod(y, y, n) + c) % n;
            for (U64 k = 0; k < r && g == 1; k += m) {
                ys = y;
                for (U64 i = 0; i < std::min(m, r - k); ++i) {
                    y = (MulMod(y, y, n) + c) % n;
                    q = MulMod(q, x > y ? x - y : y - x, n);
                }
                g = Gcd64(q, n);
            }
        }
        if (g == n) {
            do {
                ys = (MulMod(ys, ys, n) + c) % n;
                g = Gcd64(x > ys ? x - ys : ys - x, n);
            } while (g == 1);
        }
        if (g != n) return g;
    }
}

void FactorInto(U64 n, std::vector<U64> &out) {
    if (n == 1) return;
    if (IsPrime64(n)) {
        out.push_back(n);
        return;
    }
    const U64 d = RhoDivisor(n);
    FactorInto(d, out);
    FactorInto(n / d, out);
}

// --- Real-only results -------------------------------------------------------------

CMatrix *RealOnly(CMatrix *R, const char *message) {
    if (R->IsComplex()) {
        mxDestroyArray(R);
        Fail(message);
    }
    return R;
}

}  // namespace

void Gcd(const CMatrix *A, const CMatrix *B, CMatrix **G, CMatrix **U, CMatrix **V) {
    const mxClassID id = mathfun::ArithmeticClass(A, B);
    const engine::Expansion e = engine::Expand(A, B);
    ArrayHolder g(engine::NewResult(e, id, false).release());
    ArrayHolder u(U != nullptr ? engine::NewResult(e, id, false).release() : nullptr);
    ArrayHolder v(V != nullptr ? engine::NewResult(e, id, false).release() : nullptr);
    EachWholePair(A, B, e, "gcd: inputs must be real integers",
                  [&](std::size_t r, Wide wa, Wide wb, double xa, double xb, bool exact) {
                      if (!exact) {
                          // Beyond 2^64: the gcd of the doubles; no coefficients are
                          // sought for these.
                          mathfun::StoreDouble(g.get(), r, HugeGcd(xa, xb));
                          if (u) mathfun::StoreDouble(u.get(), r, 0);
                          if (v) mathfun::StoreDouble(v.get(), r, 0);
                          return;
                      }
                      const Euclid x = Extended(wa, wb);
                      mathfun::StoreWide(g.get(), r, x.g);
                      if (u) mathfun::StoreWide(u.get(), r, x.u);
                      if (v) mathfun::StoreWide(v.get(), r, x.v);
                  });
    *G = g.release();
    if (U != nullptr) *U = u.release();
    if (V != nullptr) *V = v.release();
}

CMatrix *Gcd(const CMatrix *A, const CMatrix *B) {
    CMatrix *g = nullptr;
    Gcd(A, B, &g, nullptr, nullptr);
    return g;
}

CMatrix *Lcm(const CMatrix *A, const CMatrix *B) {
    const mxClassID id = mathfun::ArithmeticClass(A, B);
    const engine::Expansion e = engine::Expand(A, B);
    ArrayHolder l(engine::NewResult(e, id, false).release());
    EachWholePair(
        A, B, e, "lcm: inputs must be real integers",
        [&](std::size_t r, Wide wa, Wide wb, double xa, double xb, bool exact) {
            if (!exact || !engine::IsIntegerClass(id)) {
                const double g = exact ? static_cast<double>(Extended(wa, wb).g) : HugeGcd(xa, xb);
                mathfun::StoreDouble(l.get(), r, g == 0 ? 0 : std::fabs(xa) / g * std::fabs(xb));
                return;
            }
            const Wide g = Extended(wa, wb).g;
            if (g == 0) return mathfun::StoreWide(l.get(), r, 0);
            const U128 m = static_cast<U128>(wa < 0 ? -wa : wa) / static_cast<U128>(g) *
                           static_cast<U128>(wb < 0 ? -wb : wb);
            const U128 cap = static_cast<U128>(1) << 65;
            mathfun::StoreWide(l.get(), r, static_cast<Wide>(m > cap ? cap : m));
        });
    return l.release();
}

CMatrix *Primes(const CMatrix *N) {
    const engine::Operand o = engine::View(N);
    if (N->GetNoElems() != 1 || N->IsComplex()) Fail("primes: N must be a real scalar");
    const mxClassID id = o.id == mxClassChar ? mxClassDouble : o.id;
    const double x = o.Re(0);
    if (x > 4294967296.0) Fail("primes: N must be at most 2^32");
    const U64 n = x >= 2 ? static_cast<U64>(x) : 0;
    // Odd numbers only: sieve[i] stands for 2i + 1.
    std::vector<unsigned char> composite;
    std::vector<U64> found;
    try {
        composite.assign(n / 2 + 1, 0);
        if (n >= 2) found.push_back(2);
        for (U64 i = 1; 2 * i + 1 <= n; ++i) {
            if (composite[i]) continue;
            const U64 p = 2 * i + 1;
            found.push_back(p);
            for (U64 m = p * p; m <= n; m += 2 * p) composite[m / 2] = 1;
        }
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
    const unsigned int dims[] = {1, static_cast<unsigned int>(found.size())};
    ArrayHolder R(mxCreateNumericArray(2, dims, id, mxComplexityReal));
    for (std::size_t i = 0; i < found.size(); ++i) mathfun::StoreWide(R.get(), i, found[i]);
    return R.release();
}

CMatrix *Isprime(const CMatrix *A) {
    const char *refusal = "isprime: all elements must be real non-negative integers";
    const engine::Operand a = engine::View(A);
    if (A->IsComplex()) Fail(refusal);
    ArrayHolder R(mathfun::NewLike(A, mxClassDouble, false));
    R->SetLogical();
    double *r = static_cast<double *>(R->GetPr());
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) {
        Wide w = 0;
        double x = 0;
        if (!WholeAt(a, i, w, x)) {
            // Floating whole numbers from 2^64 on are even.
            if (!(x >= 0) || std::isinf(x) || x != std::floor(x)) Fail(refusal);
            r[i] = 0;
            continue;
        }
        if (w < 0) Fail(refusal);
        r[i] = IsPrime64(static_cast<U64>(w)) ? 1 : 0;
    }
    return R.release();
}

CMatrix *Factor(const CMatrix *N) {
    const char *refusal = "factor: N must be a real non-negative integer scalar";
    const engine::Operand o = engine::View(N);
    if (N->GetNoElems() != 1 || N->IsComplex()) Fail(refusal);
    Wide w = 0;
    double x = 0;
    if (!WholeAt(o, 0, w, x) || w < 0) Fail(refusal);
    if (!engine::IsIntegerClass(o.id) &&
        w > (static_cast<Wide>(1) << (o.id == mxClassSingle ? 24 : 53)))
        Fail("factor: N must be below flintmax");
    const mxClassID id = o.id == mxClassChar ? mxClassDouble : o.id;
    std::vector<U64> f;
    U64 n = static_cast<U64>(w);
    if (n < 2) {
        f.push_back(n);
    } else {
        for (U64 p = 2; p < 1000 && p * p <= n; p += (p == 2 ? 1 : 2)) {
            while (n % p == 0) {
                f.push_back(p);
                n /= p;
            }
        }
        FactorInto(n, f);
        std::sort(f.begin(), f.end());
    }
    const unsigned int dims[] = {1, static_cast<unsigned int>(f.size())};
    ArrayHolder R(mxCreateNumericArray(2, dims, id, mxComplexityReal));
    for (std::size_t i = 0; i < f.size(); ++i) mathfun::StoreWide(R.get(), i, f[i]);
    return R.release();
}

CMatrix *Nthroot(const CMatrix *X, const CMatrix *N) {
    if (X->IsComplex() || N->IsComplex()) Fail("nthroot: X and N must be real");
    // Both operands are checked, whatever the first is.
    const bool singleA = mathfun::FloatingOperand(X, "nthroot");
    const bool single = mathfun::FloatingOperand(N, "nthroot") || singleA;
    const engine::Operand xs = engine::View(X), ns = engine::View(N);
    const engine::Expansion e = engine::Expand(X, N);
    ArrayHolder R(engine::NewResult(e, single ? mxClassSingle : mxClassDouble, false));
    mathfun::EachPair(e, [&](std::size_t r, std::size_t ix, std::size_t in) {
        const double x = xs.Re(ix), n = ns.Re(in);
        const bool odd = n == std::floor(n) && std::fmod(n, 2) != 0;
        if (x < 0 && !odd) Fail("nthroot: if X is negative, N must be an odd integer");
        double y = std::copysign(std::pow(std::fabs(x), 1 / n), x);
        // One Newton step on y^n = x where y is finite and not zero.
        if (std::isfinite(x) && std::isfinite(y) && y != 0 && std::isfinite(n)) {
            const double yn = std::pow(y, n);
            if (std::isfinite(yn)) y -= (yn - x) / (n * std::pow(y, n - 1));
        }
        mathfun::StoreDouble(R.get(), r, y);
    });
    return R.release();
}

CMatrix *Realpow(const CMatrix *A, const CMatrix *B) {
    if (A->IsComplex() || B->IsComplex()) Fail("Realpow produced complex result.");
    return RealOnly(Power(A, B), "Realpow produced complex result.");
}

CMatrix *Reallog(const CMatrix *A) {
    engine::RefuseIntegers("reallog", A, nullptr);
    if (A->IsComplex()) Fail("Reallog produced complex result.");
    return RealOnly(Log(A), "Reallog produced complex result.");
}

CMatrix *Realsqrt(const CMatrix *A) {
    engine::RefuseIntegers("realsqrt", A, nullptr);
    if (A->IsComplex()) Fail("Realsqrt produced complex result.");
    return RealOnly(Sqrt(A), "Realsqrt produced complex result.");
}

}  // namespace matrix
}  // namespace kiv
