// src/elementwise/class_engine.h: the element-wise binary engines for every
// element class other than real double.
//
// Private to the library; included at the end of binary_engine.h, whose
// engines hand over here as soon as an operand is not real double. The real
// double path never comes here, so its bits and speed are its own.
//
// Operands: every numeric class and char, real or complex; cell, struct and
// the other codes throw CNotImplementedException. The logical flag of an
// operand is ignored (its class decides). Shapes follow implicit expansion
// (engine::Expand); all checks run before the result is created.
//
// Arithmetic (and Max, Min and the other two-argument functions built on
// the arithmetic engine) gives, from the operand classes:
//   - an integer class with itself, or with double, single, char or a
//     logical: that integer class. The element operation runs in double on
//     the operands' values and its result is converted once: NaN gives 0,
//     halves round away from zero, values beyond the class saturate. For
//     int64 and uint64 the sum, difference and product of two whole values
//     (an integer element, or a double, single or char holding a whole
//     number), their quotient, remainders (Rem, Mod), power (a whole
//     exponent of at least 0; saturated as soon as it leaves the class) and
//     their maximum and minimum are exact instead, also beyond 2^53. Two different integer classes throw
//     CIntegersCanOnlyBeCombinedException, an integer with a complex
//     operand CFunctionErrorException "Complex integer arithmetic is not
//     supported.".
//   - otherwise single when either operand is single: each operand is
//     rounded to single, the double operation runs on those values and its
//     result is rounded to single once. For + - * / this is single
//     arithmetic bit for bit (double carries more than twice single's
//     precision); Power is powf of the rounded operands, and complex single
//     is std::complex<float> arithmetic.
//   - otherwise double (char and logical take part with their values).
//   - complex when either operand is complex, for Plus, Minus, Times,
//     Rdivide, Ldivide and Power only (the others throw
//     CNotImplementedException). An element whose imaginary part is zero
//     multiplies and divides each part of the other on its own, as a real
//     number. A result whose imaginary parts are all zero is made real.
//   - Power of a real negative base with a finite non-integer exponent has
//     a complex value: when any pair of the operands is such, the whole
//     result is computed complex (and made real again if it can be).
//
// Comparisons take any two numeric or char operands and compare exact
// values: 64-bit integers against doubles or other integers without
// rounding. With a complex operand Eq and Ne compare both parts and the
// ordering tests compare real parts. Logical operators take the truth of
// each element: a complex element is true when either part is non-zero.
#ifndef MATRIX_SRC_ELEMENTWISE_CLASS_ENGINE_H
#define MATRIX_SRC_ELEMENTWISE_CLASS_ENGINE_H

#include <matrix/cmatrix.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"
#include "elementwise/scalar/element_scalars.h"

namespace kiv {
namespace matrix {
namespace engine {

__extension__ typedef __int128 Wide;

// The remainders, the scalar routines of element_scalars.h (Rem is fmod;
// ModOf the floored remainder in the operands' floating type).
inline double ElementRem(double x, double y) { return elements::Rem(x, y); }
using elements::ModOf;
inline double ElementMod(double x, double y) { return elements::Mod(x, y); }

// Which element operation a template argument is. Function addresses are
// not compared in constant expressions (not every build allows it); these
// specialisations name them instead.
enum class OpId {
    kOther,
    kPlus,
    kMinus,
    kTimes,
    kRdivide,
    kLdivide,
    kPower,
    kMax,
    kMin,
    kRem,
    kMod
};
template <ElementOp kOp>
inline constexpr OpId kOpId = OpId::kOther;
template <>
inline constexpr OpId kOpId<ElementPlus> = OpId::kPlus;
template <>
inline constexpr OpId kOpId<ElementMinus> = OpId::kMinus;
template <>
inline constexpr OpId kOpId<ElementTimes> = OpId::kTimes;
template <>
inline constexpr OpId kOpId<ElementRdivide> = OpId::kRdivide;
template <>
inline constexpr OpId kOpId<ElementLdivide> = OpId::kLdivide;
template <>
inline constexpr OpId kOpId<ElementPower> = OpId::kPower;
template <>
inline constexpr OpId kOpId<ElementMax> = OpId::kMax;
template <>
inline constexpr OpId kOpId<ElementMin> = OpId::kMin;
template <>
inline constexpr OpId kOpId<ElementRem> = OpId::kRem;
template <>
inline constexpr OpId kOpId<ElementMod> = OpId::kMod;

// Eq and Ne among the comparisons, which look at both parts of a complex.
enum class TestId { kOther, kEq, kNe };
template <ElementPredicate kTest>
inline constexpr TestId kTestId = TestId::kOther;
template <>
inline constexpr TestId kTestId<ElementEq> = TestId::kEq;
template <>
inline constexpr TestId kTestId<ElementNe> = TestId::kNe;

[[noreturn]] inline void ThrowIntegerMix() { throw CIntegersCanOnlyBeCombinedException(); }

inline bool IsIntegerClass(mxClassID id) { return id >= mxClassInt8 && id <= mxClassUint64; }
inline bool IsWideClass(mxClassID id) { return id == mxClassInt64 || id == mxClassUint64; }

// --- Reading operands -------------------------------------------------------

/// Reads element i of a data buffer as a double.
typedef double (*Loader)(const void *data, std::size_t i);

template <class T>
double LoadAs(const void *data, std::size_t i) {
    return static_cast<double>(static_cast<const T *>(data)[i]);
}

/// One operand as the class engine reads it: class, parts and the reader of
/// its elements (exact for every class but 64-bit integers beyond 2^53).
struct Operand {
    mxClassID id;
    const void *re;
    const void *im;
    Loader load;

    double Re(std::size_t i) const { return load(re, i); }
    double Im(std::size_t i) const { return im != nullptr ? load(im, i) : 0.0; }
    std::complex<double> At(std::size_t i) const { return {Re(i), Im(i)}; }
    bool Truth(std::size_t i) const { return Re(i) != 0.0 || Im(i) != 0.0; }

    /// True, with the value in `out`, when element i is a whole number of at
    /// most 2^64 in magnitude: always for an integer class (read exactly).
    bool Whole(std::size_t i, Wide &out) const {
        if (id == mxClassInt64) {
            out = static_cast<const std::int64_t *>(re)[i];
            return true;
        }
        if (id == mxClassUint64) {
            out = static_cast<const std::uint64_t *>(re)[i];
            return true;
        }
        const double x = Re(i);
        if (!(std::fabs(x) <= 0x1p64) || x != std::floor(x)) return false;
        out = static_cast<Wide>(x);
        return true;
    }
};

/// The operand view of a numeric or char array; throws
/// CNotImplementedException for any other class.
inline Operand View(const CMatrix *a) {
    Loader load = nullptr;
    switch (ArrayFields::ClassID(a)) {
        case mxClassDouble: load = LoadAs<double>; break;
        case mxClassSingle: load = LoadAs<float>; break;
        case mxClassChar: load = LoadAs<std::uint16_t>; break;
        case mxClassInt8: load = LoadAs<std::int8_t>; break;
        case mxClassUint8: load = LoadAs<std::uint8_t>; break;
        case mxClassInt16: load = LoadAs<std::int16_t>; break;
        case mxClassUint16: load = LoadAs<std::uint16_t>; break;
        case mxClassInt32: load = LoadAs<std::int32_t>; break;
        case mxClassUint32: load = LoadAs<std::uint32_t>; break;
        case mxClassInt64: load = LoadAs<std::int64_t>; break;
        case mxClassUint64: load = LoadAs<std::uint64_t>; break;
        default: ThrowNotImplemented();
    }
    return {ArrayFields::ClassID(a), ArrayFields::Pr(a), ArrayFields::Pi(a), load};
}

/// Calls element(r, ia, ib) for every result element r of the expansion e,
/// with the positions ia in A and ib in B that it combines.
template <class Element>
void OverPairs(const Expansion &e, const Element &element) {
    const std::size_t n = e.dims[0], stepA = e.strideA[0], stepB = e.strideB[0];
    if (stepA == 1 && stepB == 1) {
        // Both operands run along the result (the same shapes): the loop
        // the compiler can vectorise.
        OverRuns(e, [&](std::size_t at, std::size_t offA, std::size_t offB) {
            for (std::size_t k = 0; k < n; ++k) element(at + k, offA + k, offB + k);
        });
        return;
    }
    OverRuns(e, [&](std::size_t at, std::size_t offA, std::size_t offB) {
        for (std::size_t k = 0; k < n; ++k) element(at + k, offA + k * stepA, offB + k * stepB);
    });
}

/// A new array of the expansion's shape.
inline ArrayHolder NewResult(const Expansion &e, mxClassID id, bool complex) {
    return ArrayHolder(mxCreateNumericArray(static_cast<unsigned int>(e.dims.size()), e.dims.data(),
                                            id, complex ? mxComplexityComplex : mxComplexityReal));
}

/// Drops the imaginary part of a complex result when every element of it is
/// zero (either sign).
template <class F>
void RealWhenPossible(CMatrix *R) {
    const F *im = static_cast<const F *>(ArrayFields::Pi(R));
    if (im == nullptr) return;
    for (std::size_t i = 0, n = ArrayFields::NoElems(R); i < n; ++i) {
        if (im[i] != 0) return;
    }
    R->ToReal();
}

// --- Integer results ----------------------------------------------------------

/// Converts a double to the integer class T (element_scalars.h): NaN gives
/// 0, halves round away from zero, values beyond the class give its limits.
using elements::ToInteger;

/// Clamps an exact value to the integer class T.
template <class T>
T Saturate(Wide x) {
    if (x > static_cast<Wide>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    if (x < static_cast<Wide>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    return static_cast<T>(x);
}

/// x / y rounded to the nearest whole number, halves away from zero; y != 0.
template <class T>
T DivideRounded(Wide x, Wide y) {
    Wide q = x / y;
    const Wide r = x % y;
    const Wide twice = 2 * (r < 0 ? -r : r);
    if (twice >= (y < 0 ? -y : y)) q += (x < 0) != (y < 0) ? -1 : 1;
    return Saturate<T>(q);
}

/// x^p for whole x (at most 2^64 in magnitude) and p >= 0, saturated to
/// the class T: exact while the power stays within 2^64.
template <class T>
T WholePower(Wide x, Wide p) {
    const T overflow =
        x < 0 && (p & 1) != 0 ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
    constexpr Wide kLimit = static_cast<Wide>(1) << 64;
    Wide result = 1, base = x;
    for (; p != 0; p >>= 1) {
        // |result| >= 1 unless x is 0, so a base beyond the limit that is
        // still to be used makes the power overflow too.
        if (base > kLimit || base < -kLimit) return overflow;
        if (p & 1) {
            if (__builtin_mul_overflow(result, base, &result)) return overflow;
            if (result > kLimit || result < -kLimit) return overflow;
        }
        if (p > 1 && __builtin_mul_overflow(base, base, &base)) return overflow;
    }
    return Saturate<T>(result);
}

/// One element of a 64-bit integer result: exact where the operation and
/// two whole operands allow it, else the double operation converted once.
template <class T, ElementOp kOp>
T WideElement(const Operand &a, std::size_t ia, const Operand &b, std::size_t ib) {
    Wide x, y;
    if (a.Whole(ia, x) && b.Whole(ib, y)) {
        if constexpr (kOpId<kOp> == OpId::kPlus) return Saturate<T>(x + y);
        if constexpr (kOpId<kOp> == OpId::kMinus) return Saturate<T>(x - y);
        if constexpr (kOpId<kOp> == OpId::kTimes) {
            Wide p;
            if (__builtin_mul_overflow(x, y, &p)) {
                return (x < 0) != (y < 0) ? std::numeric_limits<T>::min()
                                          : std::numeric_limits<T>::max();
            }
            return Saturate<T>(p);
        }
        // A zero divisor goes the double way, where its sign counts.
        if constexpr (kOpId<kOp> == OpId::kRdivide) {
            if (y != 0) return DivideRounded<T>(x, y);
        }
        if constexpr (kOpId<kOp> == OpId::kLdivide) {
            if (x != 0) return DivideRounded<T>(y, x);
        }
        if constexpr (kOpId<kOp> == OpId::kMax) return Saturate<T>(y > x ? y : x);
        if constexpr (kOpId<kOp> == OpId::kMin) return Saturate<T>(x < y ? x : y);
        // Remainders of whole numbers: rem(x, 0) is NaN, so 0; mod(x, 0) is x.
        if constexpr (kOpId<kOp> == OpId::kRem) return y == 0 ? T(0) : Saturate<T>(x % y);
        if constexpr (kOpId<kOp> == OpId::kMod) {
            if (y == 0) return Saturate<T>(x);
            Wide r = x % y;
            if (r != 0 && (r < 0) != (y < 0)) r += y;
            return Saturate<T>(r);
        }
        // A whole power of a whole base by repeated squaring, saturating as
        // soon as it leaves the class.
        if constexpr (kOpId<kOp> == OpId::kPower) {
            if (y >= 0) return WholePower<T>(x, y);
        }
    }
    return ToInteger<T>(kOp(a.Re(ia), b.Re(ib)));
}

/// The class code of an integer element type.
template <class T>
constexpr mxClassID ClassOf() {
    if constexpr (std::is_same_v<T, std::int8_t>) return mxClassInt8;
    if constexpr (std::is_same_v<T, std::uint8_t>) return mxClassUint8;
    if constexpr (std::is_same_v<T, std::int16_t>) return mxClassInt16;
    if constexpr (std::is_same_v<T, std::uint16_t>) return mxClassUint16;
    if constexpr (std::is_same_v<T, std::int32_t>) return mxClassInt32;
    if constexpr (std::is_same_v<T, std::uint32_t>) return mxClassUint32;
    if constexpr (std::is_same_v<T, std::int64_t>) return mxClassInt64;
    return mxClassUint64;
}

/// R = ToInteger(kOp(x, y)) with x read from `left` (type S) and y from b,
/// which is of class T or double.
template <class T, ElementOp kOp, class S>
void ConvertPairs(const Expansion &e, const S *left, const Operand &b, T *r) {
    if (b.id == mxClassDouble) {
        const double *right = static_cast<const double *>(b.re);
        OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            r[i] = ToInteger<T>(kOp(static_cast<double>(left[ia]), right[ib]));
        });
    } else {
        const T *right = static_cast<const T *>(b.re);
        OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            r[i] = ToInteger<T>(kOp(static_cast<double>(left[ia]), static_cast<double>(right[ib])));
        });
    }
}

/// r = x op y for n elements of an integer class of at most 32 bits, op
/// Plus, Minus or Times, exact in 64 bits and then saturated.
template <class T, OpId kId>
void SaturatingRun(std::size_t n, const T *__restrict x, const T *__restrict y, T *__restrict r) {
    constexpr std::int64_t lo = std::numeric_limits<T>::min();
    constexpr std::int64_t hi = std::numeric_limits<T>::max();
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t p = x[k], q = y[k];
        const std::int64_t v = kId == OpId::kPlus ? p + q : (kId == OpId::kMinus ? p - q : p * q);
        r[k] = static_cast<T>(std::min(hi, std::max(lo, v)));
    }
}

template <class T, ElementOp kOp>
void IntegerResult(const Expansion &e, const Operand &a, const Operand &b, CMatrix *R) {
    T *r = static_cast<T *>(ArrayFields::Pr(R));
    if constexpr (sizeof(T) == 8) {
        OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            r[i] = WideElement<T, kOp>(a, ia, b, ib);
        });
    } else {
        // The usual pairings read their elements directly: the same values
        // as through the loaders, without a call per element.
        constexpr mxClassID kId = ClassOf<T>();
        constexpr bool kExactInWide =
            kOpId<kOp> == OpId::kPlus || kOpId<kOp> == OpId::kMinus ||
            (kOpId<kOp> == OpId::kTimes && !std::is_same_v<T, std::uint32_t>);
        if constexpr (kExactInWide) {
            // Two elements of the class: the exact sum, difference or
            // product in 64 bits, saturated, is what the double operation
            // rounded once gives (a product beyond 2^53 saturates either
            // way), and it vectorises.
            if (a.id == kId && b.id == kId) {
                const T *x = static_cast<const T *>(a.re), *y = static_cast<const T *>(b.re);
                if (e.strideA[0] == 1 && e.strideB[0] == 1) {
                    const std::size_t n = e.dims[0];
                    OverRuns(e, [&](std::size_t at, std::size_t offA, std::size_t offB) {
                        SaturatingRun<T, kOpId<kOp>>(n, x + offA, y + offB, r + at);
                    });
                } else {
                    OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
                        SaturatingRun<T, kOpId<kOp>>(1, x + ia, y + ib, r + i);
                    });
                }
                return;
            }
        }
        if (a.id == kId && (b.id == kId || b.id == mxClassDouble)) {
            ConvertPairs<T, kOp>(e, static_cast<const T *>(a.re), b, r);
        } else if (a.id == mxClassDouble && b.id == kId) {
            ConvertPairs<T, kOp>(e, static_cast<const double *>(a.re), b, r);
        } else {
            OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
                r[i] = ToInteger<T>(kOp(a.Re(ia), b.Re(ib)));
            });
        }
    }
}

template <ElementOp kOp>
void IntegerResult(mxClassID id, const Expansion &e, const Operand &a, const Operand &b,
                   CMatrix *R) {
    switch (id) {
        case mxClassInt8: IntegerResult<std::int8_t, kOp>(e, a, b, R); break;
        case mxClassUint8: IntegerResult<std::uint8_t, kOp>(e, a, b, R); break;
        case mxClassInt16: IntegerResult<std::int16_t, kOp>(e, a, b, R); break;
        case mxClassUint16: IntegerResult<std::uint16_t, kOp>(e, a, b, R); break;
        case mxClassInt32: IntegerResult<std::int32_t, kOp>(e, a, b, R); break;
        case mxClassUint32: IntegerResult<std::uint32_t, kOp>(e, a, b, R); break;
        case mxClassInt64: IntegerResult<std::int64_t, kOp>(e, a, b, R); break;
        default: IntegerResult<std::uint64_t, kOp>(e, a, b, R); break;
    }
}

// --- Floating and complex results ---------------------------------------------

/// Reads element i of an operand rounded to the element type F.
template <class F>
F ReadAs(const Operand &o, std::size_t i) {
    return static_cast<F>(o.Re(i));
}

/// One real element in F: the double operation, but Power in F itself
/// (powf for single), whose result double rounding could change.
template <class F, ElementOp kOp>
F RealElement(F x, F y) {
    if constexpr (kOpId<kOp> == OpId::kPower) return std::pow(x, y);
    if constexpr (kOpId<kOp> == OpId::kMod) return ModOf<F>(x, y);
    return static_cast<F>(kOp(x, y));
}

template <class F, ElementOp kOp>
void RealResult(const Expansion &e, const Operand &a, const Operand &b, CMatrix *R) {
    F *r = static_cast<F *>(ArrayFields::Pr(R));
    if (a.id == b.id && a.id == mxClassSingle) {
        // Two singles read directly, without a call per element.
        const float *x = static_cast<const float *>(a.re), *y = static_cast<const float *>(b.re);
        OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            r[i] = RealElement<F, kOp>(x[ia], y[ib]);
        });
        return;
    }
    OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
        r[i] = RealElement<F, kOp>(ReadAs<F>(a, ia), ReadAs<F>(b, ib));
    });
}

/// x^y for complex operands in F. A real result where the real power has
/// one; a whole exponent of modest size by repeated squaring (exact for
/// Gaussian integers within range); otherwise the principal value
/// exp(y log x) of std::pow.
template <class F>
std::complex<F> ComplexPower(std::complex<F> x, std::complex<F> y) {
    constexpr F kMaxSquaringExponent = 1024;
    if (y.imag() == 0) {
        const F p = y.real();
        const bool whole = p == std::floor(p);
        if (x.imag() == 0 && (!(x.real() < 0) || whole || !std::isfinite(p)))
            return {std::pow(x.real(), p), F(0)};
        if (whole && std::fabs(p) <= kMaxSquaringExponent) {
            std::complex<F> result(1, 0), base = x;
            for (unsigned int k = static_cast<unsigned int>(std::fabs(p)); k != 0; k >>= 1) {
                if (k & 1) result *= base;
                if (k > 1) base *= base;
            }
            return p < 0 ? std::complex<F>(1, 0) / result : result;
        }
    }
    return std::pow(x, y);
}

/// A real factor scales each part on its own, so that 0 * Inf in a part
/// that is zero does not make NaN of the other.
template <class F>
std::complex<F> ComplexTimes(std::complex<F> x, std::complex<F> y) {
    if (y.imag() == 0) return {x.real() * y.real(), x.imag() * y.real()};
    if (x.imag() == 0) return {x.real() * y.real(), x.real() * y.imag()};
    return x * y;
}
template <class F>
std::complex<F> ComplexDivide(std::complex<F> x, std::complex<F> y) {
    if (y.imag() == 0) return {x.real() / y.real(), x.imag() / y.real()};
    return x / y;
}

template <ElementOp kOp>
constexpr bool HasComplexForm() {
    return kOpId<kOp> == OpId::kPlus || kOpId<kOp> == OpId::kMinus || kOpId<kOp> == OpId::kTimes ||
           kOpId<kOp> == OpId::kRdivide || kOpId<kOp> == OpId::kLdivide ||
           kOpId<kOp> == OpId::kPower;
}

template <class F, ElementOp kOp>
std::complex<F> ComplexElement(std::complex<F> x, std::complex<F> y) {
    if constexpr (kOpId<kOp> == OpId::kPlus) return x + y;
    if constexpr (kOpId<kOp> == OpId::kMinus) return x - y;
    if constexpr (kOpId<kOp> == OpId::kTimes) return ComplexTimes(x, y);
    if constexpr (kOpId<kOp> == OpId::kRdivide) return ComplexDivide(x, y);
    if constexpr (kOpId<kOp> == OpId::kLdivide) return ComplexDivide(y, x);
    return ComplexPower(x, y);
}

/// Reads the elements of an operand stored in F itself, real or complex,
/// without a call per element: the values the loaders give.
template <class F, bool kComplex>
struct DirectComplex {
    const F *re, *im;
    std::complex<F> operator()(std::size_t i) const {
        if constexpr (kComplex) return {re[i], im[i]};
        return {re[i], F(0)};
    }
};

template <class F, ElementOp kOp, class ReadA, class ReadB>
void ComplexPairs(const Expansion &e, const ReadA &x, const ReadB &y, F *re, F *im) {
    OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
        const std::complex<F> z = ComplexElement<F, kOp>(x(ia), y(ib));
        re[i] = z.real();
        im[i] = z.imag();
    });
}

template <class F, ElementOp kOp, class ReadA>
void ComplexPairsDirectB(const Expansion &e, const ReadA &x, const Operand &b, F *re, F *im) {
    const F *bre = static_cast<const F *>(b.re), *bim = static_cast<const F *>(b.im);
    if (bim != nullptr)
        ComplexPairs<F, kOp>(e, x, DirectComplex<F, true>{bre, bim}, re, im);
    else
        ComplexPairs<F, kOp>(e, x, DirectComplex<F, false>{bre, nullptr}, re, im);
}

/// Complex arithmetic in F (std::complex<float> for single).
template <class F, ElementOp kOp>
void ComplexResult(const Expansion &e, const Operand &a, const Operand &b, CMatrix *R) {
    F *re = static_cast<F *>(ArrayFields::Pr(R));
    F *im = static_cast<F *>(ArrayFields::Pi(R));
    constexpr mxClassID kStored = std::is_same_v<F, float> ? mxClassSingle : mxClassDouble;
    if (a.id == kStored && b.id == kStored) {
        const F *are = static_cast<const F *>(a.re), *aim = static_cast<const F *>(a.im);
        if (aim != nullptr)
            ComplexPairsDirectB<F, kOp>(e, DirectComplex<F, true>{are, aim}, b, re, im);
        else
            ComplexPairsDirectB<F, kOp>(e, DirectComplex<F, false>{are, nullptr}, b, re, im);
    } else {
        const auto x = [&](std::size_t i) {
            return std::complex<F>(ReadAs<F>(a, i), static_cast<F>(a.Im(i)));
        };
        const auto y = [&](std::size_t i) {
            return std::complex<F>(ReadAs<F>(b, i), static_cast<F>(b.Im(i)));
        };
        ComplexPairs<F, kOp>(e, x, y, re, im);
    }
    RealWhenPossible<F>(R);
}

/// True when some pair raises a real negative base to a finite non-integer
/// exponent, whose power is complex.
inline bool NeedsComplexPower(const Expansion &e, const Operand &a, const Operand &b) {
    if (a.im != nullptr || b.im != nullptr) return false;
    bool found = false;
    const std::size_t n = e.dims[0], stepA = e.strideA[0], stepB = e.strideB[0];
    // One thread: the test is cheap beside the powers, and stops early.
    std::size_t nRuns = e.count == 0 ? 0 : e.count / n;
    std::vector<unsigned int> sub = Subscripts(e.dims.size());
    std::size_t offA = 0, offB = 0;
    for (std::size_t run = 0; run < nRuns && !found; ++run) {
        for (std::size_t k = 0; k < n && !found; ++k) {
            const double x = a.Re(offA + k * stepA), p = b.Re(offB + k * stepB);
            found = x < 0.0 && std::isfinite(p) && p != std::floor(p);
        }
        for (std::size_t d = 1; d < e.dims.size(); ++d) {
            offA += e.strideA[d];
            offB += e.strideB[d];
            if (++sub[d] < e.dims[d]) break;
            offA -= e.strideA[d] * e.dims[d];
            offB -= e.strideB[d] * e.dims[d];
            sub[d] = 0;
        }
    }
    return found;
}

/// The arithmetic engine on operands of any classes; see the top of the file.
template <ElementOp kOp>
CMatrix *ArithmeticOnClasses(const CMatrix *A, const CMatrix *B) {
    const Operand a = View(A), b = View(B);
    bool complex = a.im != nullptr || b.im != nullptr;
    mxClassID out = mxClassDouble;
    if (IsIntegerClass(a.id) || IsIntegerClass(b.id)) {
        if (IsIntegerClass(a.id) && IsIntegerClass(b.id) && a.id != b.id) ThrowIntegerMix();
        // An integer class holds no complex values.
        if (complex) throw CFunctionErrorException(L"Complex integer arithmetic is not supported.");
        out = IsIntegerClass(a.id) ? a.id : b.id;
    } else if (a.id == mxClassSingle || b.id == mxClassSingle) {
        out = mxClassSingle;
    }
    if constexpr (!HasComplexForm<kOp>()) {
        if (complex) ThrowNotImplemented();
    }
    const Expansion e = Expand(A, B);
    if constexpr (kOpId<kOp> == OpId::kPower) {
        if (NeedsComplexPower(e, a, b)) {
            // An integer class holds no complex values.
            if (IsIntegerClass(out))
                throw CFunctionErrorException(L"Complex integer arithmetic is not supported.");
            complex = true;
        }
    }
    ArrayHolder R = NewResult(e, out, complex);
    if constexpr (HasComplexForm<kOp>()) {
        if (complex) {
            if (out == mxClassSingle) {
                ComplexResult<float, kOp>(e, a, b, R.get());
            } else {
                ComplexResult<double, kOp>(e, a, b, R.get());
            }
            return R.release();
        }
    }
    if (out == mxClassDouble) {
        RealResult<double, kOp>(e, a, b, R.get());
    } else if (out == mxClassSingle) {
        RealResult<float, kOp>(e, a, b, R.get());
    } else {
        IntegerResult<kOp>(out, e, a, b, R.get());
    }
    return R.release();
}

/// The complex power of two real double operands, for the real engine's
/// Power once it has seen a NaN that a negative base made: returns null when
/// no pair needs the complex value, so the real result stands.
inline CMatrix *ComplexPowerOfReals(const CMatrix *A, const CMatrix *B) {
    const Operand a = View(A), b = View(B);
    const Expansion e = Expand(A, B);
    if (!NeedsComplexPower(e, a, b)) return nullptr;
    ArrayHolder R = NewResult(e, mxClassDouble, true);
    ComplexResult<double, ElementPower>(e, a, b, R.get());
    return R.release();
}

// --- Comparisons and logical operators ---------------------------------------

/// Three-way comparison of exact values: -1, 0, 1, or 2 when unordered.
inline int CompareWholeWithDouble(Wide x, double y) {
    if (std::isnan(y)) return 2;
    if (y >= 0x1p100) return -1;
    if (y <= -0x1p100) return 1;
    const double f = std::floor(y);
    const Wide w = static_cast<Wide>(f);
    if (x != w) return x < w ? -1 : 1;
    return f == y ? 0 : -1;
}

inline int CompareExact(const Operand &a, std::size_t ia, const Operand &b, std::size_t ib) {
    Wide x = 0, y = 0;
    const bool wholeA = IsIntegerClass(a.id) && a.Whole(ia, x);
    const bool wholeB = IsIntegerClass(b.id) && b.Whole(ib, y);
    if (wholeA && wholeB) return x < y ? -1 : (x > y ? 1 : 0);
    if (wholeA) return CompareWholeWithDouble(x, b.Re(ib));
    if (wholeB) {
        const int c = CompareWholeWithDouble(y, a.Re(ia));
        return c == 2 ? 2 : -c;
    }
    const double p = a.Re(ia), q = b.Re(ib);
    return p < q ? -1 : (p > q ? 1 : (p == q ? 0 : 2));
}

template <ElementPredicate kTest>
CMatrix *RelationalOnClasses(const CMatrix *A, const CMatrix *B) {
    const Operand a = View(A), b = View(B);
    const Expansion e = Expand(A, B);
    ArrayHolder R = NewResult(e, mxClassDouble, false);
    ArrayFields::SetLogical(R.get());
    double *r = RealData(R.get());
    if (a.im != nullptr || b.im != nullptr) {
        // Equality looks at both parts, the ordering at the real parts.
        OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            bool holds;
            if constexpr (kTestId<kTest> == TestId::kEq) {
                holds = a.Re(ia) == b.Re(ib) && a.Im(ia) == b.Im(ib);
            } else if constexpr (kTestId<kTest> == TestId::kNe) {
                holds = !(a.Re(ia) == b.Re(ib) && a.Im(ia) == b.Im(ib));
            } else {
                holds = kTest(a.Re(ia), b.Re(ib));
            }
            r[i] = holds ? 1.0 : 0.0;
        });
    } else if (IsWideClass(a.id) || IsWideClass(b.id)) {
        // The predicate's answer for each outcome of the exact comparison.
        const double answer[] = {kTest(0.0, 1.0) ? 1.0 : 0.0, kTest(0.0, 0.0) ? 1.0 : 0.0,
                                 kTest(1.0, 0.0) ? 1.0 : 0.0,
                                 kTest(std::numeric_limits<double>::quiet_NaN(), 0.0) ? 1.0 : 0.0};
        OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            r[i] = answer[CompareExact(a, ia, b, ib) + 1];
        });
    } else {
        OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            r[i] = kTest(a.Re(ia), b.Re(ib)) ? 1.0 : 0.0;
        });
    }
    return R.release();
}

template <LogicalElementOp kConnective>
CMatrix *LogicalOnClasses(const CMatrix *A, const CMatrix *B) {
    const Operand a = View(A), b = View(B);
    const Expansion e = Expand(A, B);
    ArrayHolder R = NewResult(e, mxClassDouble, false);
    ArrayFields::SetLogical(R.get());
    double *r = RealData(R.get());
    OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
        r[i] = kConnective(a.Truth(ia), b.Truth(ib)) ? 1.0 : 0.0;
    });
    return R.release();
}

// --- Entry from the engines ----------------------------------------------------

template <class Map>
CMatrix *ApplyOnClasses(const CMatrix *A, const CMatrix *B) {
    if constexpr (Map::kKind == MapKind::kArithmetic) {
        return ArithmeticOnClasses<Map::kOperation>(A, B);
    } else if constexpr (Map::kKind == MapKind::kRelational) {
        return RelationalOnClasses<Map::kTest>(A, B);
    } else {
        return LogicalOnClasses<Map::kConnective>(A, B);
    }
}

/// A 1-by-1 real double holding x.
inline ArrayHolder DoubleScalar(double x) {
    const unsigned int dims[] = {1, 1};
    ArrayHolder s(mxCreateNumericArray(2, dims, mxClassDouble, mxComplexityReal));
    RealData(s.get())[0] = x;
    return s;
}

template <class Map>
CMatrix *ApplyOnClasses(double a, const CMatrix *B) {
    View(B);  // the class check comes before anything is created
    const ArrayHolder s = DoubleScalar(a);
    return ApplyOnClasses<Map>(s.get(), B);
}

template <class Map>
CMatrix *ApplyOnClasses(const CMatrix *A, double b) {
    View(A);
    const ArrayHolder s = DoubleScalar(b);
    return ApplyOnClasses<Map>(A, s.get());
}

}  // namespace engine
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_ELEMENTWISE_CLASS_ENGINE_H
