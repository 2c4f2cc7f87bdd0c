// src/kernels/chol_typed.cpp: the Cholesky factorisation on float and the
// complex types.
#include <algorithm>
#include <cmath>
#include <complex>

#include "kernels/parallel.h"
#include "kernels/typed_kernels.h"

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Rows a block of the fast path takes together.
constexpr std::size_t kRowBlock = 32;
// Columns shared among the threads in pieces of this many, once a step has
// at least kParallelWork products.
constexpr std::size_t kColumnGrain = 16;
constexpr std::size_t kParallelWork = std::size_t(1) << 15;

template <class T>
inline T DivideByReal(T x, RealType<T> d) {
    if constexpr (kIsComplex<T>) {
        return T(x.real() / d, x.imag() / d);
    } else {
        return x / d;
    }
}

// Rows j0..j1-1 of columns c0..c1-1 (only places above the diagonal) take
// the products of rows 0..j0-1, each element in increasing k.
template <class T>
void SubtractEarlierRows(T *r, std::size_t ldr, std::size_t j0, std::size_t j1, std::size_t c0,
                         std::size_t c1) {
    for (std::size_t i = c0; i < c1; ++i) {
        T *ri = r + i * ldr;
        const std::size_t top = std::min(j1, i);
        for (std::size_t j = j0; j < top; ++j) {
            const T *rj = r + j * ldr;
            T s = ri[j];
            for (std::size_t k = 0; k < j0; ++k) s = s - ConjMul(rj[k], ri[k]);
            ri[j] = s;
        }
    }
}

// Row j (its diagonal done) in columns c0..c1-1: the products of rows
// j0..j-1, then the division by R(j,j).
template <class T>
void FinishRow(T *r, std::size_t ldr, std::size_t j0, std::size_t j, std::size_t c0,
               std::size_t c1) {
    const T *rj = r + j * ldr;
    const RealType<T> d = Modulus(rj[j]);
    for (std::size_t i = c0; i < c1; ++i) {
        T *ri = r + i * ldr;
        T s = ri[j];
        for (std::size_t k = j0; k < j; ++k) s = s - ConjMul(rj[k], ri[k]);
        ri[j] = DivideByReal(s, d);
    }
}

template <class T, class Body>
void Columns(bool share, std::size_t c0, std::size_t c1, Body body) {
    if (!share || c1 - c0 < 2 * kColumnGrain) {
        body(c0, c1);
        return;
    }
    ParallelFor(c1 - c0, kColumnGrain, [&](std::size_t b, std::size_t e) { body(c0 + b, c0 + e); });
}

}  // namespace

template <class T>
KernelStatus CholeskyUpperTyped(std::size_t n, const T *a, std::size_t lda, T *r, std::size_t ldr,
                                KernelPath path) {
    using R = RealType<T>;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < i; ++j) r[j + i * ldr] = a[j + i * lda];
        for (std::size_t j = i; j < n; ++j) r[j + i * ldr] = T(0);
    }
    const bool plain = path == KernelPath::kPlain;
    const std::size_t block = plain ? std::max<std::size_t>(n, 1) : kRowBlock;
    for (std::size_t j0 = 0; j0 < n; j0 += block) {
        const std::size_t j1 = std::min(n, j0 + block);
        const bool share = !plain && j0 * (n - j0) * (j1 - j0) >= kParallelWork;
        Columns<T>(share, j0 + 1, n, [&](std::size_t c0, std::size_t c1) {
            SubtractEarlierRows(r, ldr, j0, j1, c0, c1);
        });
        for (std::size_t j = j0; j < j1; ++j) {
            const T *rj = r + j * ldr;
            R x = std::real(std::complex<R>(a[j + j * lda]));
            for (std::size_t k = j; k-- > 0;) x = x - SquaredModulus(rj[k]);
            if (x < R(0)) return j + 1;
            r[j + j * ldr] = T(std::sqrt(x));
            const bool shareRow = !plain && (j - j0) * (n - j) >= kParallelWork;
            Columns<T>(shareRow, j + 1, n,
                       [&](std::size_t c0, std::size_t c1) { FinishRow(r, ldr, j0, j, c0, c1); });
        }
    }
    return 0;
}

template KernelStatus CholeskyUpperTyped(std::size_t, const float *, std::size_t, float *,
                                         std::size_t, KernelPath);
template KernelStatus CholeskyUpperTyped(std::size_t, const std::complex<double> *, std::size_t,
                                         std::complex<double> *, std::size_t, KernelPath);
template KernelStatus CholeskyUpperTyped(std::size_t, const std::complex<float> *, std::size_t,
                                         std::complex<float> *, std::size_t, KernelPath);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
