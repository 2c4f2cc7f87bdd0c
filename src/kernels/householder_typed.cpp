// src/kernels/householder_typed.cpp: reflectors on float and the complex
// types, and what is built from them: QR, and the reduction of a Hermitian
// matrix to a real tridiagonal one.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <type_traits>

#include "kernels/parallel.h"
#include "kernels/planerot_kernel.h"
#include "kernels/typed_kernels.h"

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Columns a reflector update shares among the threads, in pieces of this
// many, once it has kParallelWork elements.
constexpr std::size_t kColumnGrain = 8;
constexpr std::size_t kParallelWork = std::size_t(1) << 16;

template <class T>
inline T Scaled(T x, RealType<T> d) {
    if constexpr (kIsComplex<T>) {
        return T(x.real() / d, x.imag() / d);
    } else {
        return x / d;
    }
}

// The largest magnitude among the parts of x (a NaN part gives NaN).
template <class T>
RealType<T> LargestPart(std::size_t count, const T *x, std::size_t inc) {
    using R = RealType<T>;
    R scale = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const T xi = x[i * inc];
        R parts[2] = {std::fabs(std::real(std::complex<R>(xi))),
                      std::fabs(std::imag(std::complex<R>(xi)))};
        for (R p : parts) {
            if (!(p <= scale)) scale = p;
        }
    }
    return scale;
}

// The 2-norm of x scaled by its largest part, so that no square over- or
// underflows: s * sqrt(sum of SquaredModulus(x(i)/s)).
template <class T>
RealType<T> ScaledNorm(std::size_t count, const T *x, std::size_t inc) {
    using R = RealType<T>;
    const R scale = LargestPart(count, x, inc);
    if (scale == R(0) || std::isinf(scale)) return scale;
    R sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum = sum + SquaredModulus(Scaled(x[i * inc], scale));
    return scale * std::sqrt(sum);
}

template <class T, class Body>
void ShareColumns(std::size_t rows, std::size_t cols, Body body) {
    if (rows * cols < kParallelWork || cols < 2 * kColumnGrain) {
        body(std::size_t(0), cols);
        return;
    }
    ParallelFor(cols, kColumnGrain, body);
}

}  // namespace

template <class R>
R SafeHypotOf(R a, R b) {
    if constexpr (std::is_same<R, double>::value) {
        return SafeHypot(a, b);
    } else {
        const R p = std::fabs(a);
        const R q = std::fabs(b);
        if (std::isinf(p) || std::isinf(q)) return std::numeric_limits<R>::infinity();
        if (p > q) {
            const R t = q / p;
            return std::sqrt(t * t + R(1)) * p;
        }
        if (q == R(0)) return p;
        const R t = p / q;
        return std::sqrt(t * t + R(1)) * q;
    }
}

template <class T>
T MakeReflector(std::size_t count, T &alpha, T *x, std::size_t inc) {
    using R = RealType<T>;
    const R xnorm = ScaledNorm(count, x, inc);
    const R alphr = std::real(std::complex<R>(alpha));
    const R alphi = std::imag(std::complex<R>(alpha));
    if (xnorm == R(0) && alphi == R(0)) return T(0);
    const R norm = SafeHypotOf(SafeHypotOf(alphr, alphi), xnorm);
    const R beta = alphr >= R(0) ? -norm : norm;
    T tau;
    if constexpr (kIsComplex<T>) {
        tau = T((beta - alphr) / beta, -alphi / beta);
    } else {
        tau = (beta - alphr) / beta;
    }
    const T pivot = alpha - T(beta);
    for (std::size_t i = 0; i < count; ++i) x[i * inc] = Div(x[i * inc], pivot);
    alpha = T(beta);
    return tau;
}

template <class T>
void ApplyReflectorLeft(std::size_t rows, std::size_t cols, const T *v, T tau, bool conj_tau, T *c,
                        std::size_t ldc) {
    const T t = conj_tau ? Conj(tau) : tau;
    if (rows == 0 || t == T(0)) return;
    ShareColumns<T>(rows, cols, [&](std::size_t j0, std::size_t j1) {
        for (std::size_t j = j0; j < j1; ++j) {
            T *y = c + j * ldc;
            T s = y[0];
            for (std::size_t i = 1; i < rows; ++i) s = s + ConjMul(v[i], y[i]);
            const T f = Mul(t, s);
            y[0] = y[0] - f;
            for (std::size_t i = 1; i < rows; ++i) y[i] = y[i] - Mul(v[i], f);
        }
    });
}

template <class T>
void HouseholderQrTyped(std::size_t m, std::size_t n, T *a, std::size_t lda, T *tau,
                        std::uint32_t *perm, RealType<T> *work) {
    if (perm != nullptr) {
        for (std::size_t j = 0; j < n; ++j) perm[j] = static_cast<std::uint32_t>(j);
    }
    const std::size_t steps = std::min(m, n);
    for (std::size_t k = 0; k < steps; ++k) {
        if (perm != nullptr) {
            std::size_t best = k;
            for (std::size_t j = k; j < n; ++j) {
                work[j] = ScaledNorm(m - k, a + k + j * lda, 1);
                if (work[j] > work[best]) best = j;
            }
            if (best != k) {
                std::swap_ranges(a + k * lda, a + k * lda + m, a + best * lda);
                std::swap(perm[k], perm[best]);
            }
        }
        T *akk = a + k + k * lda;
        tau[k] = MakeReflector(m - k - 1, *akk, akk + 1, 1);
        ApplyReflectorLeft(m - k, n - k - 1, akk, tau[k], true, akk + lda, lda);
    }
}

template <class T>
void HouseholderFormQTyped(std::size_t m, std::size_t k, const T *a, std::size_t lda, const T *tau,
                           std::size_t cols, T *q, std::size_t ldq) {
    for (std::size_t j = 0; j < cols; ++j) {
        for (std::size_t i = 0; i < m; ++i) q[i + j * ldq] = T(i == j ? 1 : 0);
    }
    // Columns left of j are still unit vectors that H(j) leaves alone.
    for (std::size_t j = std::min(k, cols); j-- > 0;) {
        ApplyReflectorLeft(m - j, cols - j, a + j + j * lda, tau[j], false, q + j + j * ldq, ldq);
    }
}

template <class T>
void HermitianTridiagonalize(std::size_t n, T *a, std::size_t lda, RealType<T> *d, RealType<T> *e,
                             T *tau, T *work) {
    using R = RealType<T>;
    auto A = [&](std::size_t i, std::size_t j) -> T & { return a[i + j * lda]; };
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const std::size_t m = n - k - 1;
        T *x = &A(k + 1, k);
        const T t = MakeReflector(m - 1, *x, x + 1, 1);
        d[k] = std::real(std::complex<R>(A(k, k)));
        e[k] = std::real(std::complex<R>(*x));
        tau[k] = t;
        if (t == T(0)) continue;
        T *v = work, *p = work + m;
        v[0] = T(1);
        std::copy(x + 1, x + m, v + 1);
        // q = B*v from B's lower triangle, column by column; then p = tau*q.
        std::fill(p, p + m, T(0));
        for (std::size_t j = 0; j < m; ++j) {
            const T *bj = &A(k + 1, k + 1 + j);
            p[j] = p[j] + Mul(T(std::real(std::complex<R>(bj[j]))), v[j]);
            for (std::size_t i = j + 1; i < m; ++i) {
                p[i] = p[i] + Mul(bj[i], v[j]);
                p[j] = p[j] + ConjMul(bj[i], v[i]);
            }
        }
        T dot = T(0);
        for (std::size_t i = 0; i < m; ++i) {
            p[i] = Mul(t, p[i]);
            dot = dot + ConjMul(p[i], v[i]);
        }
        const T half = Mul(T(R(-0.5)), Mul(t, dot));
        for (std::size_t i = 0; i < m; ++i) p[i] = p[i] + Mul(half, v[i]);
        for (std::size_t j = 0; j < m; ++j) {
            T *bj = &A(k + 1, k + 1 + j);
            const T wj = Conj(p[j]), vj = Conj(v[j]);
            for (std::size_t i = j; i < m; ++i) bj[i] = (bj[i] - Mul(v[i], wj)) - Mul(p[i], vj);
            bj[j] = T(std::real(std::complex<R>(bj[j])));
        }
    }
    if (n > 0) d[n - 1] = std::real(std::complex<R>(A(n - 1, n - 1)));
}

template <class T>
void HermitianBackTransform(std::size_t n, const T *a, std::size_t lda, const T *tau,
                            std::size_t cols, T *z, std::size_t ldz) {
    for (std::size_t k = n - 1; k-- > 0;) {
        ApplyReflectorLeft(n - k - 1, cols, a + k + 1 + k * lda, tau[k], false, z + k + 1, ldz);
    }
}

#define MATRIX_TYPED_HOUSEHOLDER(T)                                                       \
    template T MakeReflector(std::size_t, T &, T *, std::size_t);                         \
    template void ApplyReflectorLeft(std::size_t, std::size_t, const T *, T, bool, T *,   \
                                     std::size_t);                                        \
    template void HouseholderQrTyped(std::size_t, std::size_t, T *, std::size_t, T *,     \
                                     std::uint32_t *, RealType<T> *);                     \
    template void HouseholderFormQTyped(std::size_t, std::size_t, const T *, std::size_t, \
                                        const T *, std::size_t, T *, std::size_t);        \
    template void HermitianTridiagonalize(std::size_t, T *, std::size_t, RealType<T> *,   \
                                          RealType<T> *, T *, T *);                       \
    template void HermitianBackTransform(std::size_t, const T *, std::size_t, const T *,  \
                                         std::size_t, T *, std::size_t);
MATRIX_TYPED_HOUSEHOLDER(float)
MATRIX_TYPED_HOUSEHOLDER(std::complex<double>)
MATRIX_TYPED_HOUSEHOLDER(std::complex<float>)
#undef MATRIX_TYPED_HOUSEHOLDER

template float SafeHypotOf(float, float);
template double SafeHypotOf(double, double);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
