// src/elementwise/transcendental.cpp: the trigonometric, hyperbolic,
// logarithmic and rounding functions of one argument, and Atan2, Hypot and
// Rem of two.
#include <matrix/elementwise.h>

#include <cmath>
#include <complex>
#include <cstddef>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"
#include "elementwise/class_functions.h"
#include "elementwise/scalar/element_scalars.h"
#include "elementwise/unary_engine.h"

namespace kiv {
namespace matrix {

namespace {

// Element functions: each is the scalar routine of its name, one call of
// the standard function (Fix is trunc), so every element has that
// function's bits and compiled scalar code calls the same routine.
double SinElement(double x) { return elements::Sin(x); }
double CosElement(double x) { return elements::Cos(x); }
double TanElement(double x) { return elements::Tan(x); }
double AtanElement(double x) { return elements::Atan(x); }
double SinhElement(double x) { return elements::Sinh(x); }
double CoshElement(double x) { return elements::Cosh(x); }
double TanhElement(double x) { return elements::Tanh(x); }
double AsinhElement(double x) { return std::asinh(x); }
double Expm1Element(double x) { return std::expm1(x); }
double FloorElement(double x) { return elements::Floor(x); }
double CeilElement(double x) { return elements::Ceil(x); }
double FixElement(double x) { return elements::Fix(x); }

double Atan2Element(double y, double x) { return elements::Atan2(y, x); }
double HypotElement(double a, double b) { return elements::Hypot(a, b); }

// --- Functions whose result can turn complex --------------------------------
//
// Each has a real domain, a real element function used inside it, and a
// complex one for the elements outside it. A NaN is inside every domain,
// so it stays a real NaN.

struct LogFamily {
    static bool Inside(double x) { return !(x < 0.0); }
};

struct LogFunction : LogFamily {
    static double Real(double x) { return std::log(x); }
    static std::complex<double> Complex(double x) { return std::log(std::complex<double>(x, 0.0)); }
};
struct Log2Function : LogFamily {
    static double Real(double x) { return std::log2(x); }
    // The standard library has no complex log2: the natural logarithm over
    // log(2), both in double.
    static std::complex<double> Complex(double x) {
        return std::log(std::complex<double>(x, 0.0)) / std::log(2.0);
    }
};
struct Log10Function : LogFamily {
    static double Real(double x) { return std::log10(x); }
    static std::complex<double> Complex(double x) {
        return std::log10(std::complex<double>(x, 0.0));
    }
};
struct Log1pFunction {
    static bool Inside(double x) { return !(x < -1.0); }
    static double Real(double x) { return std::log1p(x); }
    // No complex log1p either: the logarithm of 1 + x, the sum in double.
    static std::complex<double> Complex(double x) {
        return std::log(std::complex<double>(1.0 + x, 0.0));
    }
};

// Beyond +-1 the argument is taken on the side of the branch cut that the
// language's results lie on: x - 0i above 1, x + 0i below -1, so Asin(2) has
// a negative imaginary part and Acos(2) a positive one.
inline std::complex<double> OnCut(double x) {
    return std::complex<double>(x, x > 0.0 ? -0.0 : 0.0);
}
struct ArcFamily {
    static bool Inside(double x) { return !(std::fabs(x) > 1.0); }
};
struct AsinFunction : ArcFamily {
    static double Real(double x) { return std::asin(x); }
    static std::complex<double> Complex(double x) { return std::asin(OnCut(x)); }
};
struct AcosFunction : ArcFamily {
    static double Real(double x) { return std::acos(x); }
    static std::complex<double> Complex(double x) { return std::acos(OnCut(x)); }
};

// Below 1 (acosh) and beyond +-1 (atanh) the argument is x + 0i: acosh(0.5)
// = 0 + 1.0472i, acosh(-2) = 1.3170 + 3.1416i, atanh(2) = 0.5493 + 1.5708i.
struct AcoshFunction {
    static bool Inside(double x) { return !(x < 1.0); }
    static double Real(double x) { return std::acosh(x); }
    static std::complex<double> Complex(double x) {
        return std::acosh(std::complex<double>(x, 0.0));
    }
};
struct AtanhFunction : ArcFamily {
    static double Real(double x) { return std::atanh(x); }
    static std::complex<double> Complex(double x) {
        return std::atanh(std::complex<double>(x, 0.0));
    }
};

}  // namespace

CMatrix *Sin(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kSin, A);
    return UnaryArrayOp<SinElement>(A);
}
CMatrix *Cos(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kCos, A);
    return UnaryArrayOp<CosElement>(A);
}
CMatrix *Tan(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kTan, A);
    return UnaryArrayOp<TanElement>(A);
}
CMatrix *Asin(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kAsin, A);
    return PartComplexOp<AsinFunction>(A);
}
CMatrix *Acos(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kAcos, A);
    return PartComplexOp<AcosFunction>(A);
}
CMatrix *Atan(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kAtan, A);
    return UnaryArrayOp<AtanElement>(A);
}
CMatrix *Sinh(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kSinh, A);
    return UnaryArrayOp<SinhElement>(A);
}
CMatrix *Cosh(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kCosh, A);
    return UnaryArrayOp<CoshElement>(A);
}
CMatrix *Tanh(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kTanh, A);
    return UnaryArrayOp<TanhElement>(A);
}
CMatrix *Asinh(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kAsinh, A);
    return UnaryArrayOp<AsinhElement>(A);
}
CMatrix *Acosh(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kAcosh, A);
    return PartComplexOp<AcoshFunction>(A);
}
CMatrix *Atanh(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kAtanh, A);
    return PartComplexOp<AtanhFunction>(A);
}
CMatrix *Log(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kLog, A);
    return PartComplexOp<LogFunction>(A);
}
CMatrix *Log2(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kLog2, A);
    return PartComplexOp<Log2Function>(A);
}
CMatrix *Log10(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kLog10, A);
    return PartComplexOp<Log10Function>(A);
}
CMatrix *Log1p(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kLog1p, A);
    return PartComplexOp<Log1pFunction>(A);
}
CMatrix *Expm1(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kExpm1, A);
    return UnaryArrayOp<Expm1Element>(A);
}
CMatrix *Floor(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kFloor, A);
    return UnaryArrayOp<FloorElement>(A);
}
CMatrix *Ceil(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kCeil, A);
    return UnaryArrayOp<CeilElement>(A);
}
CMatrix *Fix(const CMatrix *A) {
    if (!engine::IsRealDouble(A)) return engine::UnaryOnClasses(engine::UnaryId::kFix, A);
    return UnaryArrayOp<FixElement>(A);
}

CMatrix *Atan2(const CMatrix *Y, const CMatrix *X) {
    engine::RefuseIntegers("atan2", Y, X);
    return BinaryArrayOp<Atan2Element>(Y, X);
}
CMatrix *Atan2(double y, const CMatrix *X) {
    engine::RefuseIntegers("atan2", X, nullptr);
    return BinaryArrayOp<Atan2Element>(y, X);
}
CMatrix *Atan2(const CMatrix *Y, double x) {
    engine::RefuseIntegers("atan2", Y, nullptr);
    return BinaryArrayOp<Atan2Element>(Y, x);
}
CMatrix *Hypot(const CMatrix *A, const CMatrix *B) {
    engine::RefuseIntegers("hypot", A, B);
    return BinaryArrayOp<HypotElement>(A, B);
}
CMatrix *Hypot(double a, const CMatrix *B) {
    engine::RefuseIntegers("hypot", B, nullptr);
    return BinaryArrayOp<HypotElement>(a, B);
}
CMatrix *Hypot(const CMatrix *A, double b) {
    engine::RefuseIntegers("hypot", A, nullptr);
    return BinaryArrayOp<HypotElement>(A, b);
}
CMatrix *Rem(const CMatrix *X, const CMatrix *Y) { return BinaryArrayOp<engine::ElementRem>(X, Y); }
CMatrix *Rem(double x, const CMatrix *Y) { return BinaryArrayOp<engine::ElementRem>(x, Y); }
CMatrix *Rem(const CMatrix *X, double y) { return BinaryArrayOp<engine::ElementRem>(X, y); }

}  // namespace matrix
}  // namespace kiv
