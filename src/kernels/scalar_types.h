// src/kernels/scalar_types.h: the element types the kernels are written over,
// and the complex arithmetic they do in one stated order.
#ifndef MATRIX_SRC_KERNELS_SCALAR_TYPES_H
#define MATRIX_SRC_KERNELS_SCALAR_TYPES_H

#include <cmath>
#include <complex>
#include <type_traits>

namespace kiv {
namespace matrix {
namespace kernels {

// A kernel written for a template element type T runs on double, float,
// std::complex<double> and std::complex<float>. Complex arithmetic goes
// through the functions below, never through std::complex's operators:
// those recover infinities with extra steps (C99 Annex G) that cost a call
// per product and whose formulas belong to the compiler's runtime, not to
// us. Each function here names the operations it does, in order.

template <class T>
struct IsComplex : std::false_type {};
template <class R>
struct IsComplex<std::complex<R>> : std::true_type {};
template <class T>
inline constexpr bool kIsComplex = IsComplex<T>::value;

/// The real type under T: double for double and std::complex<double>.
template <class T>
struct RealOf {
    using type = T;
};
template <class R>
struct RealOf<std::complex<R>> {
    using type = R;
};
template <class T>
using RealType = typename RealOf<T>::type;

/// x * y: (xr*yr - xi*yi) + (xr*yi + xi*yr)i, each product rounded, then
/// the difference and the sum.
template <class T>
inline T Mul(T x, T y) {
    if constexpr (kIsComplex<T>) {
        return T(x.real() * y.real() - x.imag() * y.imag(),
                 x.real() * y.imag() + x.imag() * y.real());
    } else {
        return x * y;
    }
}

/// conj(x) * y: (xr*yr + xi*yi) + (xr*yi - xi*yr)i; the real product for
/// a real T. The inner product of complex vectors is built from it.
template <class T>
inline T ConjMul(T x, T y) {
    if constexpr (kIsComplex<T>) {
        return T(x.real() * y.real() + x.imag() * y.imag(),
                 x.real() * y.imag() - x.imag() * y.real());
    } else {
        return x * y;
    }
}

/// x / y by Smith's method (Comm. ACM 5(8), 1962), which divides by the
/// larger part of y so that no intermediate square overflows: when
/// |yr| >= |yi|, r = yi/yr, d = yr + yi*r and the quotient is
/// (xr + xi*r)/d + ((xi - xr*r)/d)i; otherwise the same with the parts of
/// y exchanged, r = yr/yi, d = yr*r + yi, ((xr*r + xi)/d) + ((xi*r - xr)/d)i.
template <class T>
inline T Div(T x, T y) {
    if constexpr (kIsComplex<T>) {
        using R = RealType<T>;
        if (std::fabs(y.real()) >= std::fabs(y.imag())) {
            const R r = y.imag() / y.real();
            const R d = y.real() + y.imag() * r;
            return T((x.real() + x.imag() * r) / d, (x.imag() - x.real() * r) / d);
        }
        const R r = y.real() / y.imag();
        const R d = y.real() * r + y.imag();
        return T((x.real() * r + x.imag()) / d, (x.imag() * r - x.real()) / d);
    } else {
        return x / y;
    }
}

/// The conjugate; a real value as it is.
template <class T>
inline T Conj(T x) {
    if constexpr (kIsComplex<T>) {
        return T(x.real(), -x.imag());
    } else {
        return x;
    }
}

/// |xr| + |xi|: the cheap size that pivot searches compare.
template <class T>
inline RealType<T> Abs1(T x) {
    if constexpr (kIsComplex<T>) {
        return std::fabs(x.real()) + std::fabs(x.imag());
    } else {
        return std::fabs(x);
    }
}

/// The modulus, hypot(xr, xi), without overflow on the way.
template <class T>
inline RealType<T> Modulus(T x) {
    if constexpr (kIsComplex<T>) {
        return std::hypot(x.real(), x.imag());
    } else {
        return std::fabs(x);
    }
}

/// xr*xr + xi*xi, in that order: the squared modulus that sums of squares
/// (norms, Householder vectors) accumulate.
template <class T>
inline RealType<T> SquaredModulus(T x) {
    if constexpr (kIsComplex<T>) {
        return x.real() * x.real() + x.imag() * x.imag();
    } else {
        return x * x;
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_SCALAR_TYPES_H
