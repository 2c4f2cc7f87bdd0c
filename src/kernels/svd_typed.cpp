// src/kernels/svd_typed.cpp: the singular value decomposition on float and
// the complex types: reflectors to a real bidiagonal, then the shifted QR
// sweeps of SvdDecompose in the real type.
#include <algorithm>
#include <cmath>
#include <complex>

#include "kernels/svd_diagonalise.h"
#include "kernels/typed_kernels.h"

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// x*c, each part times the real c.
template <class T>
inline T Times(T x, RealType<T> c) {
    if constexpr (kIsComplex<T>) {
        return T(x.real() * c, x.imag() * c);
    } else {
        return x * c;
    }
}

}  // namespace

template <class T>
KernelStatus SvdTyped(std::size_t m, std::size_t n, T *a, std::size_t lda, RealType<T> *w, T *u,
                      std::size_t ldu, T *v, std::size_t ldv, T *work) {
    using R = RealType<T>;
    auto A = [&](std::size_t i, std::size_t j) -> T & { return a[i + j * lda]; };
    T *tauq = work, *taup = work + n, *row = work + 2 * n, *sums = work + 4 * n;
    // e[i] (i >= 1) couples columns i-1 and i; e[0] = 0 as the sweeps expect.
    R *e = reinterpret_cast<R *>(work + 3 * n);
    std::fill(e, e + n, R(0));
    R anorm = 0;
    for (std::size_t i = 0; i < n; ++i) {
        // The column reflector: H(i)'*A(i.., i) = (beta, 0, ...).
        tauq[i] = MakeReflector(m - i - 1, A(i, i), &A(i + 1, i), 1);
        ApplyReflectorLeft(m - i, n - i - 1, &A(i, i), tauq[i], true, &A(i, i + 1), lda);
        w[i] = std::real(std::complex<R>(A(i, i)));
        taup[i] = T(0);
        if (i + 2 <= n) {
            // The row reflector G(i) = I - taup u u' for conj(A(i, i+1..)),
            // so that A(i, i+1..)*G(i) = (beta, 0, ...).
            const std::size_t len = n - i - 1;
            for (std::size_t j = 0; j < len; ++j) row[j] = Conj(A(i, i + 1 + j));
            taup[i] = MakeReflector(len - 1, row[0], row + 1, 1);
            e[i + 1] = std::real(std::complex<R>(row[0]));
            A(i, i + 1) = row[0];
            for (std::size_t j = 1; j < len; ++j) A(i, i + 1 + j) = row[j];
            if (taup[i] != T(0)) {
                // Rows i+1.. take A = A*G: s = A*u by columns, then
                // A(r, c) -= (s(r)*taup)*conj(u(c)).
                const std::size_t rows = m - i - 1;
                for (std::size_t r = 0; r < rows; ++r) sums[r] = A(i + 1 + r, i + 1);
                for (std::size_t j = 1; j < len; ++j) {
                    const T *col = &A(i + 1, i + 1 + j);
                    for (std::size_t r = 0; r < rows; ++r) sums[r] = sums[r] + Mul(col[r], row[j]);
                }
                for (std::size_t r = 0; r < rows; ++r) sums[r] = Mul(sums[r], taup[i]);
                for (std::size_t j = 0; j < len; ++j) {
                    T *col = &A(i + 1, i + 1 + j);
                    const T uj = j == 0 ? T(1) : Conj(row[j]);
                    for (std::size_t r = 0; r < rows; ++r) col[r] = col[r] - Mul(sums[r], uj);
                }
            }
        }
        const R size = std::fabs(w[i]) + std::fabs(e[i]);
        if (size > anorm) anorm = size;
    }
    const bool vectors = u != nullptr && v != nullptr;
    if (vectors) {
        // V = G(0)*...*G(n-3) from the identity, the last first; each acts
        // on rows and columns i+1.. .
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < n; ++i) v[i + j * ldv] = T(i == j ? 1 : 0);
        }
        for (std::size_t i = n - 1; i-- > 0;) {
            const std::size_t len = n - i - 1;
            for (std::size_t j = 1; j < len; ++j) row[j] = A(i, i + 1 + j);
            ApplyReflectorLeft(len, len, row, taup[i], false, v + (i + 1) + (i + 1) * ldv, ldv);
        }
        HouseholderFormQTyped(m, n, a, lda, tauq, n, u, ldu);
    }
    return DiagonaliseBidiagonal<R>(
        n, w, 1, e, anorm, vectors,
        [&](std::size_t j, std::size_t i, R c, R s) {
            T *x = u + (j - 1) * ldu, *y = u + (i - 1) * ldu;
            for (std::size_t r = 0; r < m; ++r) {
                const T p = x[r], q = y[r];
                x[r] = Times(p, c) + Times(q, s);
                y[r] = Times(q, c) - Times(p, s);
            }
        },
        [&](std::size_t j, std::size_t i, R c, R s) {
            T *x = v + (j - 1) * ldv, *y = v + (i - 1) * ldv;
            for (std::size_t r = 0; r < n; ++r) {
                const T p = x[r], q = y[r];
                x[r] = Times(p, c) + Times(q, s);
                y[r] = Times(q, c) - Times(p, s);
            }
        },
        [&](std::size_t k) {
            T *x = v + (k - 1) * ldv;
            for (std::size_t r = 0; r < n; ++r) x[r] = Times(x[r], R(-1));
        });
}

#define MATRIX_TYPED_SVD(T)                                                                        \
    template KernelStatus SvdTyped(std::size_t, std::size_t, T *, std::size_t, RealType<T> *, T *, \
                                   std::size_t, T *, std::size_t, T *);
MATRIX_TYPED_SVD(float)
MATRIX_TYPED_SVD(std::complex<double>)
MATRIX_TYPED_SVD(std::complex<float>)
#undef MATRIX_TYPED_SVD

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
