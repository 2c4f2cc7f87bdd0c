// src/elementwise/class_functions.cpp: the one-argument element-wise functions
// on single, complex, integer, char and logical operands.
#include "elementwise/class_functions.h"

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"
#include "kernels/exp_kernel.h"

namespace kiv {
namespace matrix {
namespace engine {

namespace {

template <class F>
using Cx = std::complex<F>;

// What a function does with an integer operand.
enum class OnIntegers { kRefuse, kSame, kSign };

// Each function below states, for F = float (single) and F = double:
//   Inside(x): x is in the real domain, where Real(x) is the element;
//   Outside(x): the complex element of a real x outside the domain;
//   Complex(z): the element of a complex z whose imaginary part is not zero.
// A complex operand's element whose imaginary part is zero is taken as the
// real number it holds (Inside/Real/Outside), as the arithmetic does.
struct Total {
    template <class F>
    static bool Inside(F) {
        return true;
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return {x, F(0)};
    }
};

// e^x: the library's exponential in double (Exp's bits), the C++ one in
// float.
inline double ExpReal(double x) { return kernels::ExpOf(x); }
inline float ExpReal(float x) { return std::exp(x); }

// exp(a + bi) = e^a (cos b + i sin b).
template <class F>
Cx<F> ExpOf(Cx<F> z) {
    const F e = ExpReal(z.real());
    return {e * std::cos(z.imag()), e * std::sin(z.imag())};
}
// log z = log|z| + i angle(z), |z| = hypot(a, b).
template <class F>
Cx<F> LogOf(Cx<F> z) {
    return {std::log(std::hypot(z.real(), z.imag())), std::atan2(z.imag(), z.real())};
}
// sqrt(a + bi) by the stable formula: t = sqrt((|a| + |z|) / 2); for a >= 0
// it is t + i b / (2t), else |b| / (2t) + i t with b's sign.
template <class F>
Cx<F> SqrtOf(Cx<F> z) {
    const F a = z.real(), b = z.imag();
    if (a == 0 && b == 0) return {F(0), b};
    const F t = std::sqrt((std::fabs(a) + std::hypot(a, b)) / F(2));
    if (a >= 0) return {t, b / (F(2) * t)};
    return {std::fabs(b) / (F(2) * t), std::copysign(t, b)};
}

struct SignFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kSign;
    template <class F>
    static F Real(F x) {
        return x > 0 ? F(1) : (x < 0 ? F(-1) : F(0));
    }
    // z / |z|.
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F m = std::hypot(z.real(), z.imag());
        return {z.real() / m, z.imag() / m};
    }
};

struct SqrtFn {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static bool Inside(F x) {
        return x >= 0;
    }
    template <class F>
    static F Real(F x) {
        return std::sqrt(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return {F(0), std::sqrt(-x)};
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return SqrtOf(z);
    }
};

struct ExpFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return ExpReal(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return ExpOf(z);
    }
};

// expm1(a + bi) = (expm1(a) cos b - 2 sin^2(b/2)) + i e^a sin b.
struct Expm1Fn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::expm1(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F a = z.real(), b = z.imag(), s = std::sin(b / F(2));
        return {std::expm1(a) * std::cos(b) - F(2) * s * s, ExpReal(a) * std::sin(b)};
    }
};

// The logarithms: -Inf at zero, complex below the domain: log(x) =
// log(-x) + i pi there, through LogOf; log2 and log10 are log over log(2)
// and log(10) on both parts; log1p(z) is log(1 + z), the sum in F.
struct LogFn {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static bool Inside(F x) {
        return !(x < 0);
    }
    template <class F>
    static F Real(F x) {
        return std::log(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return LogOf(Cx<F>(x, F(0)));
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return LogOf(z);
    }
};
template <int kBase>
struct LogBaseFn : LogFn {
    template <class F>
    static F Real(F x) {
        return kBase == 2 ? std::log2(x) : std::log10(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return Complex(Cx<F>(x, F(0)));
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F scale = std::log(F(kBase));
        const Cx<F> w = LogOf(z);
        return {w.real() / scale, w.imag() / scale};
    }
};
struct Log1pFn {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static bool Inside(F x) {
        return !(x < F(-1));
    }
    template <class F>
    static F Real(F x) {
        return std::log1p(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return LogOf(Cx<F>(F(1) + x, F(0)));
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return LogOf(Cx<F>(F(1) + z.real(), z.imag()));
    }
};

// sin(a + bi) = sin a cosh b + i cos a sinh b;
// cos(a + bi) = cos a cosh b - i sin a sinh b.
struct SinFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::sin(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F a = z.real(), b = z.imag();
        return {std::sin(a) * std::cosh(b), std::cos(a) * std::sinh(b)};
    }
};
struct CosFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::cos(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F a = z.real(), b = z.imag();
        return {std::cos(a) * std::cosh(b), -(std::sin(a) * std::sinh(b))};
    }
};
// tan(a + bi) = (sin 2a + i sinh 2b) / (cos 2a + cosh 2b); where cosh 2b
// overflows, 0 (with the sign of sin 2a) + i (with the sign of b).
struct TanFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::tan(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F a2 = F(2) * z.real(), b2 = F(2) * z.imag(), c = std::cosh(b2);
        if (std::isinf(c)) return {std::copysign(F(0), std::sin(a2)), std::copysign(F(1), b2)};
        const F d = std::cos(a2) + c;
        return {std::sin(a2) / d, std::sinh(b2) / d};
    }
};
// sinh(a + bi) = sinh a cos b + i cosh a sin b;
// cosh(a + bi) = cosh a cos b + i sinh a sin b.
struct SinhFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::sinh(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F a = z.real(), b = z.imag();
        return {std::sinh(a) * std::cos(b), std::cosh(a) * std::sin(b)};
    }
};
struct CoshFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::cosh(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F a = z.real(), b = z.imag();
        return {std::cosh(a) * std::cos(b), std::sinh(a) * std::sin(b)};
    }
};
// tanh(a + bi) = (sinh 2a + i sin 2b) / (cosh 2a + cos 2b); where cosh 2a
// overflows, 1 (with the sign of a) + 0i (with the sign of sin 2b).
struct TanhFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::tanh(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        const F a2 = F(2) * z.real(), b2 = F(2) * z.imag(), c = std::cosh(a2);
        if (std::isinf(c)) return {std::copysign(F(1), a2), std::copysign(F(0), std::sin(b2))};
        const F d = c + std::cos(b2);
        return {std::sinh(a2) / d, std::sin(b2) / d};
    }
};

// The inverse functions: the principal values of the C++ standard library's
// complex functions. Beyond the real domain the argument is taken on the
// side of the branch cut that the real double functions use: x - 0i above 1
// and x + 0i below -1 for asin and acos, x + 0i for acosh and atanh.
template <class F>
Cx<F> OnCut(F x) {
    return {x, x > 0 ? F(-0.0) : F(0)};
}
struct ArcFn {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static bool Inside(F x) {
        return !(std::fabs(x) > F(1));
    }
};
struct AsinFn : ArcFn {
    template <class F>
    static F Real(F x) {
        return std::asin(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return std::asin(OnCut(x));
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return std::asin(z);
    }
};
struct AcosFn : ArcFn {
    template <class F>
    static F Real(F x) {
        return std::acos(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return std::acos(OnCut(x));
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return std::acos(z);
    }
};
struct AtanhFn : ArcFn {
    template <class F>
    static F Real(F x) {
        return std::atanh(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return std::atanh(Cx<F>(x, F(0)));
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return std::atanh(z);
    }
};
struct AcoshFn {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static bool Inside(F x) {
        return !(x < F(1));
    }
    template <class F>
    static F Real(F x) {
        return std::acosh(x);
    }
    template <class F>
    static Cx<F> Outside(F x) {
        return std::acosh(Cx<F>(x, F(0)));
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return std::acosh(z);
    }
};
struct AtanFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::atan(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return std::atan(z);
    }
};
struct AsinhFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kRefuse;
    template <class F>
    static F Real(F x) {
        return std::asinh(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return std::asinh(z);
    }
};

// Rounding: each part on its own, by the real rule; integers unchanged.
// Round takes halves away from zero, as for double.
template <int kMode>
struct RoundingFn : Total {
    static constexpr OnIntegers kIntegers = OnIntegers::kSame;
    template <class F>
    static F Real(F x) {
        if constexpr (kMode == 0) return std::round(x);
        if constexpr (kMode == 1) return std::floor(x);
        if constexpr (kMode == 2) return std::ceil(x);
        return std::trunc(x);
    }
    template <class F>
    static Cx<F> Complex(Cx<F> z) {
        return {Real(z.real()), Real(z.imag())};
    }
};

const char *NameOf(UnaryId id) {
    static const char *const kNames[] = {
        "sign",  "sqrt",  "exp",   "expm1", "log",  "log2", "log10", "log1p", "sin",
        "cos",   "tan",   "asin",  "acos",  "atan", "sinh", "cosh",  "tanh",  "asinh",
        "acosh", "atanh", "round", "floor", "ceil", "fix",  "isinf", "isnan", "isfinite"};
    return kNames[static_cast<int>(id)];
}

const char *IntegerClassName(mxClassID id) {
    switch (id) {
        case mxClassInt8: return "int8";
        case mxClassUint8: return "uint8";
        case mxClassInt16: return "int16";
        case mxClassUint16: return "uint16";
        case mxClassInt32: return "int32";
        case mxClassUint32: return "uint32";
        case mxClassInt64: return "int64";
        default: return "uint64";
    }
}

[[noreturn]] void RefuseInteger(UnaryId id, mxClassID cls) { ThrowIntegerRefusal(NameOf(id), cls); }

ArrayHolder NewShaped(const CMatrix *A, mxClassID id, bool complex) {
    return ArrayHolder(mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(), id,
                                            complex ? mxComplexityComplex : mxComplexityReal));
}

// A real or complex single or double operand through Fn in F.
template <class Fn, class F>
CMatrix *Floating(const CMatrix *A) {
    const F *re = static_cast<const F *>(A->GetPr());
    const F *im = static_cast<const F *>(A->GetPi());
    ArrayHolder R = NewShaped(A, A->GetClassID(), im != nullptr);
    F *r = static_cast<F *>(R->GetPr());
    F *ri = static_cast<F *>(R->GetPi());
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) {
        const F x = re[i];
        Cx<F> z;
        if (im != nullptr && im[i] != 0) {
            z = Fn::Complex(Cx<F>(x, im[i]));
        } else if (Fn::Inside(x)) {
            r[i] = Fn::Real(x);
            if (ri != nullptr) ri[i] = 0;
            continue;
        } else {
            z = Fn::Outside(x);
        }
        if (ri == nullptr) {
            R->ToComplex();
            ri = static_cast<F *>(R->GetPi());
        }
        r[i] = z.real();
        ri[i] = z.imag();
    }
    RealWhenPossible<F>(R.get());
    return R.release();
}

template <class T>
CMatrix *IntegerSign(const CMatrix *A) {
    ArrayHolder R = NewShaped(A, A->GetClassID(), false);
    const T *a = static_cast<const T *>(A->GetPr());
    T *r = static_cast<T *>(R->GetPr());
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i)
        r[i] = static_cast<T>(a[i] > 0 ? 1 : (a[i] < 0 ? -1 : 0));
    return R.release();
}

CMatrix *OnInteger(UnaryId id, OnIntegers rule, const CMatrix *A) {
    const mxClassID cls = A->GetClassID();
    if (rule == OnIntegers::kRefuse) RefuseInteger(id, cls);
    if (rule == OnIntegers::kSame) {
        ArrayHolder R = NewShaped(A, cls, false);
        const std::size_t bytes = A->GetNoElems() * A->GetElementSize();
        if (bytes != 0) std::memcpy(R->GetPr(), A->GetPr(), bytes);
        return R.release();
    }
    switch (cls) {
        case mxClassInt8: return IntegerSign<std::int8_t>(A);
        case mxClassUint8: return IntegerSign<std::uint8_t>(A);
        case mxClassInt16: return IntegerSign<std::int16_t>(A);
        case mxClassUint16: return IntegerSign<std::uint16_t>(A);
        case mxClassInt32: return IntegerSign<std::int32_t>(A);
        case mxClassUint32: return IntegerSign<std::uint32_t>(A);
        case mxClassInt64: return IntegerSign<std::int64_t>(A);
        default: return IntegerSign<std::uint64_t>(A);
    }
}

// The real double function of the same name, for char operands.
CMatrix *OfDouble(UnaryId id, const CMatrix *A) {
    switch (id) {
        case UnaryId::kSign: return Sign(A);
        case UnaryId::kSqrt: return Sqrt(A);
        case UnaryId::kExp: return Exp(A);
        case UnaryId::kExpm1: return Expm1(A);
        case UnaryId::kLog: return Log(A);
        case UnaryId::kLog2: return Log2(A);
        case UnaryId::kLog10: return Log10(A);
        case UnaryId::kLog1p: return Log1p(A);
        case UnaryId::kSin: return Sin(A);
        case UnaryId::kCos: return Cos(A);
        case UnaryId::kTan: return Tan(A);
        case UnaryId::kAsin: return Asin(A);
        case UnaryId::kAcos: return Acos(A);
        case UnaryId::kAtan: return Atan(A);
        case UnaryId::kSinh: return Sinh(A);
        case UnaryId::kCosh: return Cosh(A);
        case UnaryId::kTanh: return Tanh(A);
        case UnaryId::kAsinh: return Asinh(A);
        case UnaryId::kAcosh: return Acosh(A);
        case UnaryId::kAtanh: return Atanh(A);
        case UnaryId::kRound: return Round(A);
        case UnaryId::kFloor: return Floor(A);
        case UnaryId::kCeil: return Ceil(A);
        case UnaryId::kFix: return Fix(A);
        case UnaryId::kIsinf: return Isinf(A);
        case UnaryId::kIsnan: return Isnan(A);
        default: return Isfinite(A);
    }
}

template <class Fn>
CMatrix *Apply(UnaryId id, const CMatrix *A) {
    switch (A->GetClassID()) {
        case mxClassDouble: return Floating<Fn, double>(A);
        case mxClassSingle: return Floating<Fn, float>(A);
        case mxClassInt8:
        case mxClassUint8:
        case mxClassInt16:
        case mxClassUint16:
        case mxClassInt32:
        case mxClassUint32:
        case mxClassInt64:
        case mxClassUint64: return OnInteger(id, Fn::kIntegers, A);
        default: ThrowNotImplemented();
    }
}

// Isinf, Isnan and Isfinite of single and complex elements: Isinf and
// Isnan hold when they hold for either part, Isfinite when both parts are
// finite; every integer element is finite.
template <class F>
bool Test(UnaryId id, const F *re, const F *im, std::size_t i) {
    const F a = re[i], b = im != nullptr ? im[i] : F(0);
    if (id == UnaryId::kIsinf) return std::isinf(a) || std::isinf(b);
    if (id == UnaryId::kIsnan) return std::isnan(a) || std::isnan(b);
    return std::isfinite(a) && std::isfinite(b);
}

CMatrix *Tests(UnaryId id, const CMatrix *A) {
    const mxClassID cls = A->GetClassID();
    if (cls != mxClassDouble && cls != mxClassSingle &&
        !(cls >= mxClassInt8 && cls <= mxClassUint64))
        ThrowNotImplemented();
    ArrayHolder R = NewShaped(A, mxClassDouble, false);
    R->SetLogical();
    double *r = RealData(R.get());
    for (std::size_t i = 0, n = A->GetNoElems(); i < n; ++i) {
        bool holds = id == UnaryId::kIsfinite;
        if (cls == mxClassDouble) {
            holds = Test(id, static_cast<const double *>(A->GetPr()),
                         static_cast<const double *>(A->GetPi()), i);
        } else if (cls == mxClassSingle) {
            holds = Test(id, static_cast<const float *>(A->GetPr()),
                         static_cast<const float *>(A->GetPi()), i);
        }
        r[i] = holds ? 1.0 : 0.0;
    }
    return R.release();
}

}  // namespace

void ThrowIntegerRefusal(const char *name, mxClassID id) {
    const std::string text = std::string(name) + ": not defined for values of class " +
                             IntegerClassName(id) + "; convert them to double or single first";
    throw CFunctionErrorException(kiv::WString(std::wstring(text.begin(), text.end()).c_str()));
}

CMatrix *UnaryOnClasses(UnaryId id, const CMatrix *A) {
    if (A->GetClassID() == mxClassChar) {
        const ArrayHolder d(Cast(A, mxClassDouble));
        return OfDouble(id, d.get());
    }
    switch (id) {
        case UnaryId::kSign: return Apply<SignFn>(id, A);
        case UnaryId::kSqrt: return Apply<SqrtFn>(id, A);
        case UnaryId::kExp: return Apply<ExpFn>(id, A);
        case UnaryId::kExpm1: return Apply<Expm1Fn>(id, A);
        case UnaryId::kLog: return Apply<LogFn>(id, A);
        case UnaryId::kLog2: return Apply<LogBaseFn<2>>(id, A);
        case UnaryId::kLog10: return Apply<LogBaseFn<10>>(id, A);
        case UnaryId::kLog1p: return Apply<Log1pFn>(id, A);
        case UnaryId::kSin: return Apply<SinFn>(id, A);
        case UnaryId::kCos: return Apply<CosFn>(id, A);
        case UnaryId::kTan: return Apply<TanFn>(id, A);
        case UnaryId::kAsin: return Apply<AsinFn>(id, A);
        case UnaryId::kAcos: return Apply<AcosFn>(id, A);
        case UnaryId::kAtan: return Apply<AtanFn>(id, A);
        case UnaryId::kSinh: return Apply<SinhFn>(id, A);
        case UnaryId::kCosh: return Apply<CoshFn>(id, A);
        case UnaryId::kTanh: return Apply<TanhFn>(id, A);
        case UnaryId::kAsinh: return Apply<AsinhFn>(id, A);
        case UnaryId::kAcosh: return Apply<AcoshFn>(id, A);
        case UnaryId::kAtanh: return Apply<AtanhFn>(id, A);
        case UnaryId::kRound: return Apply<RoundingFn<0>>(id, A);
        case UnaryId::kFloor: return Apply<RoundingFn<1>>(id, A);
        case UnaryId::kCeil: return Apply<RoundingFn<2>>(id, A);
        case UnaryId::kFix: return Apply<RoundingFn<3>>(id, A);
        default: return Tests(id, A);
    }
}

}  // namespace engine
}  // namespace matrix
}  // namespace kiv
