// src/elementwise/functions.cpp: one-argument element-wise functions, the
// NaN and infinity tests, Real and the remainder Mod.
#include <matrix/elementwise.h>
#include <matrix/mx.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/array_holder.h"
#include "core/bits.h"
#include "elementwise/binary_engine.h"
#include "elementwise/class_functions.h"
#include "elementwise/scalar/element_scalars.h"
#include "elementwise/unary_engine.h"
#include "kernels/exp_kernel.h"

namespace kiv {
namespace matrix {

namespace {

// Element functions. Abs and Uminus work on the sign bit so that zeros and
// NaN payloads come out exactly as described, whatever the instruction set.
// Abs, Round and Sign are the scalar routines compiled code calls too.
double AbsElement(double x) { return elements::Abs(x); }
double UminusElement(double x) { return bits::ToDouble(bits::Of(x) ^ bits::kSignBit); }
double RoundElement(double x) { return elements::Round(x); }
double SignElement(double x) { return elements::Sign(x); }
double IsinfElement(double x) { return bits::IsInf(x) ? 1.0 : 0.0; }
double IsnanElement(double x) { return bits::IsNaN(x) ? 1.0 : 0.0; }
double IsfiniteElement(double x) { return bits::IsInf(x) || bits::IsNaN(x) ? 0.0 : 1.0; }

// --- Mod ----------------------------------------------------------------------

// The machine epsilon of mxGetEps(), 2^-52: the tolerance of the quotient
// snap below.
constexpr double kEps = 0x1p-52;

// True when y has an integer value: y equals y truncated toward zero. Holds
// for the infinities, fails for NaN.
bool IsIntegral(double y) {
    const double truncated = y >= 0.0 ? std::floor(y) : -std::floor(-y);
    return y == truncated;
}

// Remainder for a divisor with an integer value (infinities included).
double ModIntegralDivisor(double x, double y) { return x - std::floor(x / y) * y; }

// Remainder for a divisor with a fraction part, or NaN. The formula
// (q - floor(q)) * y is the contract, not x - floor(q) * y: the two differ
// in the last bits. A quotient within a relative eps of an integer counts as
// that integer, so Mod(0.3, 0.1) is 0.
double ModFractionalDivisor(double x, double y) {
    double q = x / y;
    const double nearest = std::floor(q + 0.5);
    if (kEps * std::fabs(q) >= std::fabs(q - nearest)) q = nearest;
    return (q - std::floor(q)) * y;
}

// The two-array form runs engine::ModOf, the same operations per pair.

// --- Uminus and Abs of the other classes ----------------------------------------

// Integers negate and take magnitudes with saturation: -intmin is intmax,
// and an unsigned class negates to 0.
template <class T>
T NegateInteger(T x) {
    return engine::Saturate<T>(-static_cast<engine::Wide>(x));
}
template <class T>
T MagnitudeInteger(T x) {
    return engine::Saturate<T>(x < 0 ? -static_cast<engine::Wide>(x)
                                     : static_cast<engine::Wide>(x));
}

// A new array of A's shape, class `id`, complex when asked.
ArrayHolder NewShaped(const CMatrix *A, mxClassID id, bool complex) {
    return ArrayHolder(mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(), id,
                                            complex ? mxComplexityComplex : mxComplexityReal));
}

template <class T, T (*kF)(T)>
CMatrix *EachInteger(const CMatrix *A) {
    ArrayHolder R = NewShaped(A, A->GetClassID(), false);
    const T *a = static_cast<const T *>(A->GetPr());
    T *r = static_cast<T *>(R->GetPr());
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) r[i] = kF(a[i]);
    return R.release();
}

// Integer classes through kF<T>; null for the other classes.
template <template <class> class Op>
CMatrix *OnIntegerClass(const CMatrix *A) {
    switch (A->GetClassID()) {
        case mxClassInt8: return EachInteger<std::int8_t, Op<std::int8_t>::F>(A);
        case mxClassUint8: return EachInteger<std::uint8_t, Op<std::uint8_t>::F>(A);
        case mxClassInt16: return EachInteger<std::int16_t, Op<std::int16_t>::F>(A);
        case mxClassUint16: return EachInteger<std::uint16_t, Op<std::uint16_t>::F>(A);
        case mxClassInt32: return EachInteger<std::int32_t, Op<std::int32_t>::F>(A);
        case mxClassUint32: return EachInteger<std::uint32_t, Op<std::uint32_t>::F>(A);
        case mxClassInt64: return EachInteger<std::int64_t, Op<std::int64_t>::F>(A);
        case mxClassUint64: return EachInteger<std::uint64_t, Op<std::uint64_t>::F>(A);
        default: return nullptr;
    }
}
template <class T>
struct Negate {
    static T F(T x) { return NegateInteger(x); }
};
template <class T>
struct Magnitude {
    static T F(T x) { return MagnitudeInteger(x); }
};

// Single and double (complex or not), char and logical: -x of the values,
// in double for char, each part's sign flipped for the floating classes.
CMatrix *UminusOnClasses(const CMatrix *A) {
    if (CMatrix *R = OnIntegerClass<Negate>(A)) return R;
    const engine::Operand a = engine::View(A);
    const bool single = a.id == mxClassSingle;
    ArrayHolder R = NewShaped(A, single ? mxClassSingle : mxClassDouble, a.im != nullptr);
    const std::size_t n = A->GetNoElems();
    for (int part = 0; part < (a.im != nullptr ? 2 : 1); ++part) {
        const void *from = part == 0 ? a.re : a.im;
        void *to = part == 0 ? R->GetPr() : R->GetPi();
        for (std::size_t i = 0; i < n; ++i) {
            if (single) {
                static_cast<float *>(to)[i] = -static_cast<const float *>(from)[i];
            } else {
                static_cast<double *>(to)[i] = UminusElement(a.load(from, i));
            }
        }
    }
    return R.release();
}

// Magnitudes: |x| for the real classes (char in double), hypot of the two
// parts for complex ones, in the class's own precision.
CMatrix *AbsOnClasses(const CMatrix *A) {
    if (CMatrix *R = OnIntegerClass<Magnitude>(A)) return R;
    const engine::Operand a = engine::View(A);
    const bool single = a.id == mxClassSingle;
    ArrayHolder R = NewShaped(A, single ? mxClassSingle : mxClassDouble, false);
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) {
        const double re = a.Re(i);
        if (single) {
            const float x = static_cast<float>(re), y = static_cast<float>(a.Im(i));
            static_cast<float *>(R->GetPr())[i] = a.im != nullptr ? std::hypot(x, y) : std::fabs(x);
        } else {
            static_cast<double *>(R->GetPr())[i] =
                a.im != nullptr ? std::hypot(re, a.Im(i)) : AbsElement(re);
        }
    }
    return R.release();
}

}  // namespace

CMatrix *Abs(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return AbsOnClasses(A);
    return UnaryArrayOp<AbsElement>(A);
}
CMatrix *Exp(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kExp, A);
    CMatrix *R = engine::NewRealDoubleLike(A);
    const double *a = engine::RealData(A);
    double *r = engine::RealData(R);
    engine::OverElements(R->GetNoElems(), [&](std::size_t begin, std::size_t end) {
        kernels::ExpArray(end - begin, a + begin, r + begin);
    });
    return R;
}
CMatrix *Round(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kRound, A);
    return UnaryArrayOp<RoundElement>(A);
}
CMatrix *Sign(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kSign, A);
    return UnaryArrayOp<SignElement>(A);
}
CMatrix *Uminus(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return UminusOnClasses(A);
    return UnaryArrayOp<UminusElement>(A);
}
CMatrix *Unaryminus(const CMatrix *A) { return Uminus(A); }
CMatrix *Isinf(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kIsinf, A);
    return UnaryArrayOp<IsinfElement, true>(A);
}
CMatrix *Isnan(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kIsnan, A);
    return UnaryArrayOp<IsnanElement, true>(A);
}
CMatrix *Isfinite(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kIsfinite, A);
    return UnaryArrayOp<IsfiniteElement, true>(A);
}

// True for both zeros, false for NaN, which takes the complex branch.
struct SqrtFunction {
    static bool Inside(double x) { return x >= 0.0; }
    static double Real(double x) { return std::sqrt(x); }
    static std::complex<double> Complex(double x) { return {0.0, std::sqrt(-x)}; }
};

CMatrix *Sqrt(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kSqrt, A);
    return PartComplexOp<SqrtFunction>(A);
}

CMatrix *Real(const CMatrix *A) {
    CMatrix *R = A->CreateShareArray();
    R->ToReal();
    return R;
}

namespace {

// The floating classes the complex-part functions take: double and single,
// real or complex; true for single.
bool RequireFloating(const CMatrix *A) {
    const mxClassID id = A->GetClassID();
    if (id != mxClassDouble && id != mxClassSingle) engine::ThrowNotImplemented();
    return id == mxClassSingle;
}

// R(i) = f(re(i), im(i)) into a new real array of A's class and shape.
template <class F, class Fn>
CMatrix *FromParts(const CMatrix *A, const Fn &f) {
    ArrayHolder R = NewShaped(A, A->GetClassID(), false);
    const F *re = static_cast<const F *>(A->GetPr());
    const F *im = static_cast<const F *>(A->GetPi());
    F *r = static_cast<F *>(R->GetPr());
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) r[i] = f(re[i], im ? im[i] : F(0));
    return R.release();
}

template <class F>
void NegateParts(CMatrix *R) {
    F *im = static_cast<F *>(R->GetPi());
    for (std::size_t i = 0, n = R->GetNoElems(); i < n; ++i) im[i] = -im[i];
}

}  // namespace

CMatrix *Imag(const CMatrix *A) {
    if (RequireFloating(A)) return FromParts<float>(A, [](float, float y) { return y; });
    return FromParts<double>(A, [](double, double y) { return y; });
}

CMatrix *Conj(const CMatrix *A) {
    const bool single = RequireFloating(A);
    ArrayHolder R(A->CreateDuplicateArray());
    R->ClearLogical();
    if (R->GetPi() == nullptr) return R.release();
    if (single) {
        NegateParts<float>(R.get());
    } else {
        NegateParts<double>(R.get());
    }
    return R.release();
}

CMatrix *Angle(const CMatrix *A) {
    if (RequireFloating(A))
        return FromParts<float>(A, [](float x, float y) { return std::atan2(y, x); });
    return FromParts<double>(A, [](double x, double y) { return std::atan2(y, x); });
}

CMatrix *Complex(const CMatrix *A, const CMatrix *B) {
    const bool singleA = RequireFloating(A), singleB = RequireFloating(B);
    const bool single = singleA || singleB;
    if (A->GetPi() != nullptr || B->GetPi() != nullptr) engine::ThrowNotImplemented();
    const engine::Operand a = engine::View(A), b = engine::View(B);
    const engine::Expansion e = engine::Expand(A, B);
    ArrayHolder R = engine::NewResult(e, single ? mxClassSingle : mxClassDouble, true);
    void *re = R->GetPr(), *im = R->GetPi();
    engine::OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
        if (single) {
            static_cast<float *>(re)[i] = static_cast<float>(a.Re(ia));
            static_cast<float *>(im)[i] = static_cast<float>(b.Re(ib));
        } else {
            static_cast<double *>(re)[i] = a.Re(ia);
            static_cast<double *>(im)[i] = b.Re(ib);
        }
    });
    return R.release();
}

CMatrix *Mod(CMatrix *X, double y) {
    if (!engine::IsRealDouble(X)) return BinaryArrayOp<engine::ElementMod>(X, y);
    CMatrix *R = engine::NewRealDoubleLike(X);
    const std::size_t n = R->GetNoElems();
    const double *__restrict x = engine::RealData(X);
    double *__restrict r = engine::RealData(R);
    // The divisor is the same for every element, so it is classified once.
    if (y == 0.0) {
        if (n > 0) std::memcpy(r, x, n * sizeof(double));
    } else if (IsIntegral(y)) {
        for (std::size_t i = 0; i < n; ++i) r[i] = ModIntegralDivisor(x[i], y);
    } else {
        for (std::size_t i = 0; i < n; ++i) r[i] = ModFractionalDivisor(x[i], y);
    }
    return R;
}

CMatrix *Mod(CMatrix *X, CMatrix *Y) {
    if (!engine::IsRealDouble(X) || !engine::IsRealDouble(Y))
        return BinaryArrayOp<engine::ElementMod>(X, Y);
    if (Y->GetNoElems() == 1) return Mod(X, engine::RealData(Y)[0]);
    const bool scalarX = X->GetNoElems() == 1;
    // Shapes other than one-element and equal ones expand.
    if (!scalarX && !engine::SameShape(X, Y)) return BinaryArrayOp<engine::ElementMod>(X, Y);
    CMatrix *R = engine::NewRealDoubleLike(scalarX ? Y : X);
    const std::size_t n = R->GetNoElems();
    const double *x = engine::RealData(X);
    const double *y = engine::RealData(Y);
    double *r = engine::RealData(R);
    if (scalarX) {
        for (std::size_t i = 0; i < n; ++i) r[i] = engine::ElementMod(x[0], y[i]);
    } else {
        for (std::size_t i = 0; i < n; ++i) r[i] = engine::ElementMod(x[i], y[i]);
    }
    return R;
}

}  // namespace matrix
}  // namespace kiv
