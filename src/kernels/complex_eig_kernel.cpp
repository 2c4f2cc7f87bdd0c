// src/kernels/complex_eig_kernel.cpp: eigenvalues and eigenvectors of a
// general complex matrix: reduction to Hessenberg form by reflectors, the
// single-shift QR algorithm to the Schur form, and back substitution.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "kernels/typed_kernels.h"

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

template <class T>
inline T Times(T x, RealType<T> c) {
    return T(x.real() * c, x.imag() * c);
}

// The rotation G = [c s; -conj(s) c], c real, with G*[x; y] = [r; 0]:
// c = |x|/t, s = (x/|x|)*conj(y)/t, r = (x/|x|)*t, t = hypot(|x|, |y|);
// for x = 0, c = 0 and s = 1.
template <class T>
void Rotation(T x, T y, RealType<T> &c, T &s) {
    using R = RealType<T>;
    const R ax = Modulus(x);
    if (ax == R(0)) {
        c = 0;
        s = T(1);
        return;
    }
    const R t = SafeHypotOf(ax, Modulus(y));
    const T phase = Times(x, R(1) / ax);
    c = ax / t;
    s = Times(Mul(phase, Conj(y)), R(1) / t);
}

// Rows k and k+1 of columns c0..c1-1 take G from the left:
// (p, q) -> (c*p + s*q, c*q - conj(s)*p).
template <class T>
void RotateRows(T *h, std::size_t ldh, std::size_t k, std::size_t c0, std::size_t c1, RealType<T> c,
                T s) {
    for (std::size_t j = c0; j < c1; ++j) {
        T *col = h + j * ldh;
        const T p = col[k], q = col[k + 1];
        col[k] = Times(p, c) + Mul(s, q);
        col[k + 1] = Times(q, c) - Mul(Conj(s), p);
    }
}

// Columns k and k+1 of rows r0..r1-1 take G' from the right:
// (a, b) -> (c*a + conj(s)*b, c*b - s*a).
template <class T>
void RotateColumns(T *h, std::size_t ldh, std::size_t k, std::size_t r0, std::size_t r1,
                   RealType<T> c, T s) {
    T *x = h + k * ldh, *y = x + ldh;
    for (std::size_t i = r0; i < r1; ++i) {
        const T a = x[i], b = y[i];
        x[i] = Times(a, c) + Mul(Conj(s), b);
        y[i] = Times(b, c) - Mul(s, a);
    }
}

}  // namespace

template <class T>
void HessenbergReduceTyped(std::size_t n, T *a, std::size_t lda, T *tau, T *work) {
    for (std::size_t k = 0; k + 2 < n; ++k) {
        T *x = a + (k + 1) + k * lda;
        const std::size_t m = n - k - 1;
        tau[k] = MakeReflector(m - 1, *x, x + 1, 1);
        if (tau[k] == T(0)) continue;
        // H' from the left on rows k+1.. of columns k+1..; then H from the
        // right on columns k+1.. of every row: s = A*v by columns,
        // A(r, j) -= (s(r)*tau)*conj(v(j)).
        ApplyReflectorLeft(m, m, x, tau[k], true, x + lda, lda);
        T *s = work;
        for (std::size_t r = 0; r < n; ++r) s[r] = a[r + (k + 1) * lda];
        for (std::size_t j = 1; j < m; ++j) {
            const T *col = a + (k + 1 + j) * lda;
            for (std::size_t r = 0; r < n; ++r) s[r] = s[r] + Mul(col[r], x[j]);
        }
        for (std::size_t r = 0; r < n; ++r) s[r] = Mul(s[r], tau[k]);
        for (std::size_t j = 0; j < m; ++j) {
            T *col = a + (k + 1 + j) * lda;
            const T vj = j == 0 ? T(1) : Conj(x[j]);
            for (std::size_t r = 0; r < n; ++r) col[r] = col[r] - Mul(s[r], vj);
        }
    }
}

template <class T>
KernelStatus ComplexSchur(std::size_t n, T *h, std::size_t ldh, T *w, T *z, std::size_t ldz) {
    using R = RealType<T>;
    const R eps = std::numeric_limits<R>::epsilon();
    auto H = [&](std::size_t i, std::size_t j) -> T & { return h[i + j * ldh]; };
    // Entries below the subdiagonal are no part of H.
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = j + 2; i < n; ++i) H(i, j) = T(0);
    }
    R anorm = 0;
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < std::min(n, j + 2); ++i) anorm = std::max(anorm, Abs1(H(i, j)));
    }
    const bool vectors = z != nullptr;
    std::size_t end = n;  // the active block is rows and columns l..end-1
    int its = 0;
    while (end > 0) {
        const std::size_t ihi = end - 1;
        std::size_t l = ihi;
        for (; l > 0; --l) {
            R tst = Abs1(H(l - 1, l - 1)) + Abs1(H(l, l));
            if (tst == R(0)) tst = anorm;
            if (!(Abs1(H(l, l - 1)) > eps * tst)) {
                H(l, l - 1) = T(0);
                break;
            }
        }
        if (l == ihi) {
            w[ihi] = H(ihi, ihi);
            --end;
            its = 0;
            continue;
        }
        if (its == kComplexSchurMaxTests) {
            for (std::size_t i = 0; i < end; ++i) w[i] = T(LibraryNaN(), LibraryNaN());
            return end;
        }
        ++its;
        // Wilkinson's shift, the eigenvalue of the trailing 2 x 2 block
        // nearer H(ihi, ihi); an exceptional one at the 10th and 20th try.
        T shift;
        if (its % 10 == 0) {
            shift = H(ihi, ihi) + T(R(0.75) * std::fabs(H(ihi, ihi - 1).real()));
        } else {
            const T a = H(ihi - 1, ihi - 1), b = H(ihi - 1, ihi), c = H(ihi, ihi - 1),
                    d = H(ihi, ihi);
            const T half = Times(a - d, R(0.5));
            const T disc = std::sqrt(std::complex<R>(Mul(half, half) + Mul(b, c)));
            const T r1 = half + disc, r2 = half - disc;
            // d + half -+ disc: the one nearer d.
            shift = d + (Modulus(r1) < Modulus(r2) ? r1 : r2);
        }
        // One sweep over l..ihi: the first rotation from the shifted first
        // column, the rest chase the bulge.
        for (std::size_t k = l; k < ihi; ++k) {
            T x, y;
            if (k == l) {
                x = H(l, l) - shift;
                y = H(l + 1, l);
            } else {
                x = H(k, k - 1);
                y = H(k + 1, k - 1);
            }
            R c;
            T s;
            Rotation(x, y, c, s);
            const std::size_t c0 = k == l ? l : k - 1;
            RotateRows(h, ldh, k, c0, vectors ? n : end, c, s);
            if (k > l) H(k + 1, k - 1) = T(0);
            RotateColumns(h, ldh, k, vectors ? 0 : l, std::min(k + 3, end), c, s);
            if (vectors) RotateColumns(z, ldz, k, 0, n, c, s);
        }
    }
    return 0;
}

template <class T>
void SchurEigenvectors(std::size_t n, const T *t, std::size_t ldt, T *z, std::size_t ldz, T *work) {
    using R = RealType<T>;
    const R eps = std::numeric_limits<R>::epsilon();
    R tnorm = 0;
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i <= j; ++i) tnorm = std::max(tnorm, Abs1(t[i + j * ldt]));
    }
    const R small = std::max(eps * tnorm, std::numeric_limits<R>::min());
    T *y = work, *v = work + n;
    // The last vector first: z's column k is only read by vectors k.. .
    for (std::size_t k = n; k-- > 0;) {
        const T lambda = t[k + k * ldt];
        y[k] = T(1);
        for (std::size_t j = k; j-- > 0;) {
            T sum = T(0);
            for (std::size_t i = j + 1; i <= k; ++i) sum = sum + Mul(t[j + i * ldt], y[i]);
            T d = t[j + j * ldt] - lambda;
            if (Abs1(d) < small) d = T(small);
            y[j] = Div(T(0) - sum, d);
        }
        for (std::size_t i = 0; i < n; ++i) v[i] = T(0);
        for (std::size_t i = 0; i <= k; ++i) {
            const T *col = z + i * ldz;
            for (std::size_t r = 0; r < n; ++r) v[r] = v[r] + Mul(col[r], y[i]);
        }
        R scale = 0;
        for (std::size_t r = 0; r < n; ++r) scale = std::max(scale, Abs1(v[r]));
        R sum = 0;
        if (scale > R(0)) {
            for (std::size_t r = 0; r < n; ++r)
                sum = sum + SquaredModulus(Times(v[r], R(1) / scale));
        }
        const R length = scale * std::sqrt(sum);
        for (std::size_t r = 0; r < n; ++r) {
            z[r + k * ldz] = length > R(0) ? Times(v[r], R(1) / length) : v[r];
        }
    }
}

#define MATRIX_COMPLEX_EIG(T)                                                                 \
    template void HessenbergReduceTyped(std::size_t, T *, std::size_t, T *, T *);             \
    template KernelStatus ComplexSchur(std::size_t, T *, std::size_t, T *, T *, std::size_t); \
    template void SchurEigenvectors(std::size_t, const T *, std::size_t, T *, std::size_t, T *);
MATRIX_COMPLEX_EIG(std::complex<double>)
MATRIX_COMPLEX_EIG(std::complex<float>)
#undef MATRIX_COMPLEX_EIG

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
