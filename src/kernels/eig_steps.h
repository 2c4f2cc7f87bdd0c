// src/kernels/eig_steps.h: the general eigenvalue steps over double or float.
#ifndef MATRIX_SRC_KERNELS_EIG_STEPS_H
#define MATRIX_SRC_KERNELS_EIG_STEPS_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "kernels/eig_kernel.h"
#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {
// One copy of the published steps for both precisions; each precision
// instantiates them in its own file.
namespace eig_steps {

// Balance's radix and its square: scalings by powers of the machine's base
// are exact.
inline constexpr double kRadix = 2.0;
inline constexpr double kRadixSquared = kRadix * kRadix;

// Hqr's exceptional shift: x = y = 0.75*s, w = -0.4375*s^2, with s the two
// lowest subdiagonal magnitudes (EISPACK hqr).
inline constexpr double kExceptionalShift = 0.75;
inline constexpr double kExceptionalProduct = -0.4375;

// A column-major matrix of R addressed from 1, as Indexed is for double.
template <class R>
struct IndexedOf {
    R *data;
    std::size_t ld;
    R &operator()(std::size_t i, std::size_t j) const { return data[(i - 1) + (j - 1) * ld]; }
    R *Column(std::size_t j) const { return data + (j - 1) * ld; }
};

// WithSignOf in R.
template <class R>
inline R WithSignOfIn(R x, R y) {
    return y >= R(0) ? std::fabs(x) : -std::fabs(x);
}

template <class R>
void BalanceIn(std::size_t n, R *a_, std::size_t lda, R *scale) {
    const IndexedOf<R> a{a_, lda};
    if (scale != nullptr) std::fill(scale, scale + n, R(1.0));
    bool changed = true;
    while (changed) {
        changed = false;
        for (std::size_t i = 1; i <= n; ++i) {
            R c = 0.0;
            R r = 0.0;
            const R *ai = a.Column(i);
            for (std::size_t j = 1; j <= n; ++j) {
                if (j == i) continue;
                c = c + std::fabs(ai[j - 1]);
                r = r + std::fabs(a(i, j));
            }
            // An infinite sum would never balance (c/4 stays infinite), so
            // such a row and column are left as they are, like empty ones.
            if (c == 0.0 || r == 0.0 || !std::isfinite(c) || !std::isfinite(r)) continue;
            R f = 1.0;
            const R s = c + r;
            const R low = r / R(kRadix);
            while (c < low) {
                c = c * R(kRadixSquared);
                f = f * R(kRadix);
            }
            const R high = r * R(kRadix);
            while (c > high) {
                c = c * (R(1.0) / R(kRadixSquared));
                f = f * (R(1.0) / R(kRadix));
            }
            if ((c + r) / f < R(kBalanceGain) * s) {
                changed = true;
                if (scale != nullptr) scale[i - 1] = scale[i - 1] * f;
                const R g = R(1.0) / f;
                for (std::size_t j = 1; j <= n; ++j) a(i, j) = a(i, j) * g;
                R *col = a.Column(i);
                for (std::size_t j = 0; j < n; ++j) col[j] = col[j] * f;
            }
        }
    }
}

// Step m of the reduction after its pivot x (not 0.0): eliminate below the
// subdiagonal row by row, keeping the multiplier in place.
template <class R>
void EliminateBelow(std::size_t n, const IndexedOf<R> &a, std::size_t m, R x) {
    R *am = a.Column(m);
    for (std::size_t i = m + 1; i <= n; ++i) {
        R y = a(i, m - 1);
        if (y == 0.0) continue;
        y = y / x;
        a(i, m - 1) = y;
        for (std::size_t j = m; j <= n; ++j) a(i, j) = a(i, j) - y * a(m, j);
        const R *ai = a.Column(i);
        for (std::size_t j = 0; j < n; ++j) am[j] = am[j] + y * ai[j];
    }
}

template <class R>
void ReduceToHessenbergIn(std::size_t n, R *a_, std::size_t lda, std::size_t *pivot) {
    const IndexedOf<R> a{a_, lda};
    if (pivot != nullptr) {
        for (std::size_t m = 1; m <= n; ++m) pivot[m - 1] = m;
    }
    for (std::size_t m = 2; m + 1 <= n; ++m) {
        // Pivot: the first largest magnitude in column m-1 from row m down.
        R x = 0.0;
        std::size_t p = m;
        for (std::size_t j = m; j <= n; ++j) {
            if (std::fabs(a(j, m - 1)) > std::fabs(x)) {
                x = a(j, m - 1);
                p = j;
            }
        }
        if (pivot != nullptr) pivot[m - 1] = p;
        if (p != m) {
            for (std::size_t j = m - 1; j <= n; ++j) std::swap(a(p, j), a(m, j));
            std::swap_ranges(a.Column(p), a.Column(p) + n, a.Column(m));
        }
        if (x == 0.0) continue;
        EliminateBelow(n, a, m, x);
    }
}

// The phases of HessenbergEigenvalues, indices from 1.

// anorm: the sum of the magnitudes of the Hessenberg part, row by row.
template <class R>
R HessenbergNorm(std::size_t n, const IndexedOf<R> &a) {
    R anorm = 0.0;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = std::max<std::size_t>(i - 1, 1); j <= n; ++j) {
            anorm = anorm + std::fabs(a(i, j));
        }
    }
    return anorm;
}

// The search for a single small subdiagonal element: the largest l <= nn
// whose a(l,l-1) is negligible, or 1 when none is.
template <class R>
std::size_t NegligibleSubdiagonal(const IndexedOf<R> &a, std::size_t nn, R anorm) {
    std::size_t l = nn;
    for (; l >= 2; --l) {
        R s = std::fabs(a(l - 1, l - 1)) + std::fabs(a(l, l));
        if (s == 0.0) s = anorm;
        if (std::fabs(a(l, l - 1)) + s == s) break;
    }
    return l;
}

// Two roots from the trailing 2 x 2 block of the active block 1..nn:
// x = a(nn,nn), y = a(nn-1,nn-1), w = a(nn,nn-1)*a(nn-1,nn); t is the sum
// of the exceptional shifts so far. wr and wi are addressed from 1.
template <class R>
void DeflatePair(std::size_t nn, R x, R y, R w, R t, R *wr, R *wi) {
    const auto WR = [wr](std::size_t i) -> R & { return wr[i - 1]; };
    const auto WI = [wi](std::size_t i) -> R & { return wi[i - 1]; };
    const R p = R(0.5) * (y - x);
    const R q = p * p + w;
    R z = std::sqrt(std::fabs(q));
    x = x + t;
    if (q >= 0.0) {
        z = p + WithSignOfIn(z, p);
        WR(nn - 1) = WR(nn) = x + z;
        if (z != 0.0) WR(nn) = x - w / z;
        WI(nn - 1) = WI(nn) = 0.0;
    } else {
        WR(nn - 1) = WR(nn) = x + p;
        WI(nn - 1) = z;
        WI(nn) = -z;
    }
}

// The exceptional shift: the shift so far moves into t and off the
// diagonal, and x, y and w are replaced by values from the two lowest
// subdiagonal magnitudes.
template <class R>
void ExceptionalShift(const IndexedOf<R> &a, std::size_t nn, R &t, R &x, R &y, R &w) {
    t = t + x;
    for (std::size_t i = 1; i <= nn; ++i) a(i, i) = a(i, i) - x;
    const R s = std::fabs(a(nn, nn - 1)) + std::fabs(a(nn - 1, nn - 2));
    x = y = R(kExceptionalShift) * s;
    w = R(kExceptionalProduct) * s * s;
}

// Where the R-shift sweep starts, and the scaled first column (p, q,
// r) of its transformation.
template <class R>
struct SweepStart {
    std::size_t m;
    R p;
    R q;
    R r;
};

// Forms the shift from x, y and w and looks for two consecutive small
// subdiagonal elements, from m = nn-2 up to l.
template <class R>
SweepStart<R> FormShift(const IndexedOf<R> &a, std::size_t l, std::size_t nn, R x, R y, R w) {
    std::size_t m = nn - 2;
    R p = 0.0, q = 0.0, r = 0.0;
    for (;; --m) {
        const R z = a(m, m);
        r = x - z;
        R s = y - z;
        p = (r * s - w) / a(m + 1, m) + a(m, m + 1);
        q = a(m + 1, m + 1) - z - r - s;
        r = a(m + 2, m + 1);
        s = std::fabs(p) + std::fabs(q) + std::fabs(r);
        p = p / s;
        q = q / s;
        r = r / s;
        if (m == l) break;
        const R u = std::fabs(a(m, m - 1)) * (std::fabs(q) + std::fabs(r));
        const R v =
            std::fabs(p) * (std::fabs(a(m - 1, m - 1)) + std::fabs(z) + std::fabs(a(m + 1, m + 1)));
        if (u + v == v) break;
    }
    return {m, p, q, r};
}

// One step's transformation of the sweep: the reflector on rows k..k+2
// (k..k+1 when not three).
template <class R>
struct SweepStep {
    R x, y, z, q, r;
    bool three;
};

// Step k's reflector into t, from column k-1 (for k == m, p, q, r are
// FormShift's), with the subdiagonal element it leaves; false when the
// step changes nothing.
template <class R>
bool SweepReflector(const IndexedOf<R> &a, std::size_t l, std::size_t m, std::size_t nn,
                    std::size_t k, R p, R q, R r, SweepStep<R> &t) {
    R x = 0.0;
    if (k != m) {
        p = a(k, k - 1);
        q = a(k + 1, k - 1);
        r = 0.0;
        if (k != nn - 1) r = a(k + 2, k - 1);
        x = std::fabs(p) + std::fabs(q) + std::fabs(r);
        if (x != 0.0) {
            p = p / x;
            q = q / x;
            r = r / x;
        }
    }
    const R s = WithSignOfIn(std::sqrt(p * p + q * q + r * r), p);
    if (s == 0.0) return false;
    if (k == m) {
        if (l != m) a(k, k - 1) = -a(k, k - 1);
    } else {
        a(k, k - 1) = -s * x;
    }
    p = p + s;
    t.x = p / s;
    t.y = q / s;
    t.z = r / s;
    t.q = q / p;
    t.r = r / p;
    t.three = k != nn - 1;
    return true;
}

// The row part of a step on one column, aj at row k: p = (a(k) + q*a(k+1))
// [+ r*a(k+2)], then a(k+2) -= p*z, a(k+1) -= p*y, a(k) -= p*x.
template <class R>
inline void SweepRow(const SweepStep<R> &t, R *aj) {
    R p = aj[0] + t.q * aj[1];
    if (t.three) {
        p = p + t.r * aj[2];
        aj[2] = aj[2] - p * t.z;
    }
    aj[1] = aj[1] - p * t.y;
    aj[0] = aj[0] - p * t.x;
}

// The R-shift QR step on rows l..nn and columns m..nn, from the
// first column that FormShift found.
template <class R>
void DoubleShiftSweep(const IndexedOf<R> &a, std::size_t l, std::size_t nn, SweepStart<R> start) {
    const std::size_t m = start.m;
    for (std::size_t i = m + 2; i <= nn; ++i) {
        a(i, i - 2) = 0.0;
        if (i != m + 2) a(i, i - 3) = 0.0;
    }
    for (std::size_t k = m; k <= nn - 1; ++k) {
        SweepStep<R> t;
        if (!SweepReflector(a, l, m, nn, k, start.p, start.q, start.r, t)) continue;
        for (std::size_t j = k; j <= nn; ++j) SweepRow(t, a.Column(j) + (k - 1));
        const std::size_t last = std::min(nn, k + 3);
        R *ak = a.Column(k);
        R *ak1 = a.Column(k + 1);
        for (std::size_t i = l - 1; i < last; ++i) {
            R p = t.x * ak[i] + t.y * ak1[i];
            if (t.three) {
                R *ak2 = ak1 + a.ld;
                p = p + t.z * ak2[i];
                ak2[i] = ak2[i] - p * t.r;
            }
            ak1[i] = ak1[i] - p * t.q;
            ak[i] = ak[i] - p;
        }
    }
}

// sweep(a, l, nn, start) makes each double-shift step: DoubleShiftSweep or
// a faster arrangement of the same operations.
template <class R, class Sweep>
KernelStatus HessenbergEigenvaluesIn(std::size_t n, R *a_, std::size_t lda, R *wr, R *wi,
                                     Sweep sweep) {
    const IndexedOf<R> a{a_, lda};
    const R anorm = HessenbergNorm(n, a);
    R t = 0.0;
    std::size_t nn = n;
    while (nn >= 1) {
        for (int its = 0;; ++its) {
            const std::size_t l = NegligibleSubdiagonal(a, nn, anorm);
            R x = a(nn, nn);
            if (l == nn) {
                // One root found.
                wr[nn - 1] = x + t;
                wi[nn - 1] = 0.0;
                --nn;
                break;
            }
            R y = a(nn - 1, nn - 1);
            R w = a(nn, nn - 1) * a(nn - 1, nn);
            if (l == nn - 1) {
                DeflatePair(nn, x, y, w, t, wr, wi);
                nn -= 2;
                break;
            }

            // No root yet.
            if (its == kEigMaxTests) {
                for (std::size_t i = 0; i < nn; ++i) wr[i] = wi[i] = static_cast<R>(LibraryNaN());
                return nn;
            }
            if (its == kEigFirstExceptionalShift || its == kEigSecondExceptionalShift) {
                ExceptionalShift(a, nn, t, x, y, w);
            }
            sweep(a, l, nn, FormShift(a, l, nn, x, y, w));
        }
    }
    return 0;
}

}  // namespace eig_steps
}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_EIG_STEPS_H
