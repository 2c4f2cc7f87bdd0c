// src/kernels/svd_kernel.cpp: the Golub-Kahan-Reinsch singular value decomposition, its sort and column permutation.
#include "kernels/svd_kernel.h"
#include "kernels/svd_diagonalise.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "kernels/column_products.h"
#include "kernels/kernel_support.h"
#include "kernels/parallel.h"
#include "kernels/planerot_kernel.h"

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Rotates two columns of length count: x' = x*c + y*s, y' = y*c - x*s,
// each row on its own (so in vector lanes where the compiler can).
inline __attribute__((always_inline)) void RotateColumnsBody(std::size_t count,
                                                             double *__restrict x,
                                                             double *__restrict y, double c,
                                                             double s) {
    for (std::size_t r = 0; r < count; ++r) {
        const double p = x[r];
        const double q = y[r];
        x[r] = p * c + q * s;
        y[r] = q * c - p * s;
    }
}

void RotateColumnsPlain(std::size_t count, double *x, double *y, double c, double s) {
    RotateColumnsBody(count, x, y, c, s);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx2"))) void RotateColumnsAvx2(std::size_t count, double *x, double *y,
                                                       double c, double s) {
    RotateColumnsBody(count, x, y, c, s);
}

__attribute__((target("avx512f"))) void RotateColumnsAvx512(std::size_t count, double *x, double *y,
                                                            double c, double s) {
    RotateColumnsBody(count, x, y, c, s);
}
#endif

using RotateFunction = void (*)(std::size_t, double *, double *, double, double);

// c += f*y over count entries, each on its own.
inline __attribute__((always_inline)) void UpdateBody(std::size_t count, double *__restrict c,
                                                      double f, const double *__restrict y) {
    for (std::size_t k = 0; k < count; ++k) c[k] = c[k] + f * y[k];
}

void UpdatePlain(std::size_t count, double *c, double f, const double *y) {
    UpdateBody(count, c, f, y);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx2"))) void UpdateAvx2(std::size_t count, double *c, double f,
                                                const double *y) {
    UpdateBody(count, c, f, y);
}

__attribute__((target("avx512f"))) void UpdateAvx512(std::size_t count, double *c, double f,
                                                     const double *y) {
    UpdateBody(count, c, f, y);
}

#endif

using UpdateFunction = void (*)(std::size_t, double *, double, const double *);

// dots[j - first] = 0.0 + sum over k = k0..k1 of col_j(k)*x(k), in
// increasing k, for the columns j = first..last (indices from 1): by
// `wide` when given, else eight or four columns' chains side by side,
// each keeping its own order.
void ColumnProducts(const Indexed &mat, std::size_t first, std::size_t last, const double *x,
                    std::size_t k0, std::size_t k1, double *dots,
                    ColumnProductsFunction wide = nullptr) {
    if (wide != nullptr) {
        const std::size_t count = k1 >= k0 ? k1 - k0 + 1 : 0;
        for (std::size_t j = first; j <= last; j += kProductColumns) {
            const std::size_t columns = std::min(kProductColumns, last - j + 1);
            const double *c[kProductColumns];
            for (std::size_t q = 0; q < columns; ++q) c[q] = mat.Column(j + q) + k0 - 1;
            wide(columns, c, count, x + k0 - 1, dots + (j - first));
        }
        return;
    }
    std::size_t j = first;
    for (; j + 8 <= last + 1; j += 8) {
        const double *c[8];
        double sum[8];
        for (std::size_t q = 0; q < 8; ++q) {
            c[q] = mat.Column(j + q);
            sum[q] = 0.0;
        }
        for (std::size_t k = k0 - 1; k < k1; ++k) {
            const double t = x[k];
            for (std::size_t q = 0; q < 8; ++q) sum[q] = sum[q] + c[q][k] * t;
        }
        for (std::size_t q = 0; q < 8; ++q) dots[j - first + q] = sum[q];
    }
    for (; j + 4 <= last + 1; j += 4) {
        const double *c0 = mat.Column(j), *c1 = mat.Column(j + 1);
        const double *c2 = mat.Column(j + 2), *c3 = mat.Column(j + 3);
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (std::size_t k = k0 - 1; k < k1; ++k) {
            const double t = x[k];
            s0 = s0 + c0[k] * t;
            s1 = s1 + c1[k] * t;
            s2 = s2 + c2[k] * t;
            s3 = s3 + c3[k] * t;
        }
        dots[j - first] = s0;
        dots[j - first + 1] = s1;
        dots[j - first + 2] = s2;
        dots[j - first + 3] = s3;
    }
    for (; j <= last; ++j) {
        const double *c = mat.Column(j);
        double sum = 0.0;
        for (std::size_t k = k0 - 1; k < k1; ++k) sum = sum + c[k] * x[k];
        dots[j - first] = sum;
    }
}

// Reflections that touch at least this many elements of U or V are
// shared among the threads by groups of columns; each column is updated
// whole by one of them, so the split changes no bit.
constexpr std::size_t kSplitElements = std::size_t(1) << 15;

// Applies a reflection to the columns j = first..last of mat, indices from
// 1: s = 0.0 + col_j(k0)*x(k0) + ... + col_j(k1)*x(k1) in increasing k,
// then col_j(k) = col_j(k) + factor(s)*y(k) for k = u0..u1. x and y are
// addressed from 1 (x[k - 1]) and lie outside those columns. With `share`,
// large ones go to the threads by groups of columns.
template <class Factor>
void UpdateColumns(const Indexed &mat, std::size_t first, std::size_t last, const double *x,
                   std::size_t k0, std::size_t k1, const double *y, std::size_t u0, std::size_t u1,
                   Factor factor, UpdateFunction update = UpdatePlain, bool share = false,
                   ColumnProductsFunction wide = nullptr) {
    // Groups as wide as the vector products take, so that the group's
    // columns are still in the caches for their updates.
    constexpr std::size_t kGroup = kProductColumns;
    if (first > last) return;
    auto groups = [&](std::size_t g0, std::size_t g1) {
        for (std::size_t g = g0; g < g1; ++g) {
            const std::size_t j = first + g * kGroup;
            const std::size_t end = std::min(j + kGroup - 1, last);
            double sums[kGroup];
            ColumnProducts(mat, j, end, x, k0, k1, sums, wide);
            for (std::size_t q = j; q <= end; ++q)
                update(u1 - u0 + 1, mat.Column(q) + u0 - 1, factor(sums[q - j]), y + u0 - 1);
        }
    };
    const std::size_t count = (last - first + kGroup) / kGroup;
    if (!share || count < 2 || (last - first + 1) * (k1 - k0 + 1) < kSplitElements) {
        groups(0, count);
        return;
    }
    ParallelFor(count, 1, groups);
}

}  // namespace

std::size_t SvdDecomposeWorkspace(std::size_t m, std::size_t n) {
    return 3 * n + 2 * std::max(m, n);
}

namespace {

// The phases of SvdDecompose, in its order, indices from 1 throughout:
// W(i) and E(i) are w(i) and e(i), the diagonal and the superdiagonal of
// the bidiagonal form (e(1) is always 0.0); T(j) is a scratch line of
// max(m, n) entries.
struct Phases {
    std::size_t m;
    std::size_t n;
    Indexed a;
    Indexed v;
    double *w;
    std::size_t incw;
    double *e;
    double *t;
    RotateFunction rotate;
    UpdateFunction update;
    ColumnProductsFunction products;
    // Whether the accumulations of U and V may share their large
    // reflections among the threads.
    bool share;
    double &W(std::size_t i) const { return w[(i - 1) * incw]; }
    double &E(std::size_t i) const { return e[i - 1]; }
    double &T(std::size_t j) const { return t[j - 1]; }
};

// Phase 1: Householder reduction to bidiagonal form. Returns anorm, the
// largest |w(i)| + |e(i)|.
double Bidiagonalise(const Phases &d) {
    const std::size_t m = d.m, n = d.n;
    const Indexed &a = d.a;
    const auto W = [&d](std::size_t i) -> double & { return d.W(i); };
    const auto E = [&d](std::size_t i) -> double & { return d.E(i); };
    const auto T = [&d](std::size_t j) -> double & { return d.T(j); };
    double anorm = 0.0;
    double g = 0.0;
    double scale = 0.0;
    double s = 0.0;
    std::size_t l = 1;
    for (std::size_t i = 1; i <= n; ++i) {
        l = i + 1;
        E(i) = scale * g;
        g = s = scale = 0.0;
        if (i <= m) {
            double *ai = a.Column(i);
            for (std::size_t k = i; k <= m; ++k) scale = scale + std::fabs(ai[k - 1]);
            if (scale != 0.0) {
                for (std::size_t k = i; k <= m; ++k) {
                    ai[k - 1] = ai[k - 1] / scale;
                    s = s + ai[k - 1] * ai[k - 1];
                }
                const double f = ai[i - 1];
                g = -WithSignOf(std::sqrt(s), f);
                const double h = f * g - s;
                ai[i - 1] = f - g;
                UpdateColumns(a, l, n, ai, i, m, ai, i, m, [h](double sum) { return sum / h; });
                for (std::size_t k = i; k <= m; ++k) ai[k - 1] = ai[k - 1] * scale;
            }
        }
        W(i) = scale * g;
        g = s = scale = 0.0;
        if (i <= m && i != n) {
            for (std::size_t k = l; k <= n; ++k) scale = scale + std::fabs(a(i, k));
            if (scale != 0.0) {
                for (std::size_t k = l; k <= n; ++k) {
                    a(i, k) = a(i, k) / scale;
                    s = s + a(i, k) * a(i, k);
                }
                const double f = a(i, l);
                g = -WithSignOf(std::sqrt(s), f);
                const double h = f * g - s;
                a(i, l) = f - g;
                for (std::size_t k = l; k <= n; ++k) E(k) = a(i, k) / h;
                // Row j's inner product with row i, for all rows l..m at
                // once: each T(j) still sums over k in increasing order, and
                // no row j is updated before its own product is complete.
                for (std::size_t j = l; j <= m; ++j) T(j) = 0.0;
                for (std::size_t k = l; k <= n; ++k) {
                    const double *ak = a.Column(k);
                    const double aik = ak[i - 1];
                    for (std::size_t j = l; j <= m; ++j) T(j) = T(j) + ak[j - 1] * aik;
                }
                for (std::size_t k = l; k <= n; ++k) {
                    double *ak = a.Column(k);
                    const double ek = E(k);
                    for (std::size_t j = l; j <= m; ++j) ak[j - 1] = ak[j - 1] + T(j) * ek;
                }
                for (std::size_t k = l; k <= n; ++k) a(i, k) = a(i, k) * scale;
            }
        }
        const double bound = std::fabs(W(i)) + std::fabs(E(i));
        if (bound > anorm) anorm = bound;
    }
    return anorm;
}

// The faster path of phase 1. Every element meets the same operations in
// the same order as in Bidiagonalise; only the passes over the trailing
// block are merged, two per step instead of four:
//  - the left reflection's update of rows l..m goes with the right
//    reflection's products T(j): each element is updated, then read (and
//    stored only where the right reflection is zero);
//  - the right reflection's update goes with the next step's left
//    products: column l is updated and its reflection formed first, then
//    each later column is updated and read by that reflection. Where the
//    first pass did not store the left update, each element takes it
//    again here, the same bits, just before the right one.
// Row i's part of the left update, all the right reflection needs, is
// taken from the left products before either pass.

// Column i's reflection, rows i..m (indices from 1): scale, then the vector
// scaled and a(i,i) = f - g. Leaves scale = g = 0.0 when the column is
// zero.
struct Reflection {
    double scale = 0.0;
    double g = 0.0;
    double h = 0.0;
};

Reflection FormColumnReflection(double *ai, std::size_t i, std::size_t m) {
    Reflection r;
    for (std::size_t k = i; k <= m; ++k) r.scale = r.scale + std::fabs(ai[k - 1]);
    if (r.scale == 0.0) return r;
    double s = 0.0;
    for (std::size_t k = i; k <= m; ++k) {
        ai[k - 1] = ai[k - 1] / r.scale;
        s = s + ai[k - 1] * ai[k - 1];
    }
    const double f = ai[i - 1];
    r.g = -WithSignOf(std::sqrt(s), f);
    r.h = f * r.g - s;
    ai[i - 1] = f - r.g;
    return r;
}

// The loops of the merged passes, each element on its own, so that the
// compiler may run them in vector lanes. Pass 1 only reads the columns:
// t += (c + f*y)*r, the left update's value formed and used, not stored;
// pass 2 forms it again, the same bits, and stores the column once,
// c = (c + f*y) + e*t. One stream of writes over the block fewer.
inline __attribute__((always_inline)) void AccumulateUpdatedBody(std::size_t count,
                                                                 const double *__restrict c,
                                                                 double f,
                                                                 const double *__restrict y,
                                                                 double *__restrict t, double r) {
    for (std::size_t k = 0; k < count; ++k) t[k] = t[k] + (c[k] + f * y[k]) * r;
}

// Four columns c[0..3] of the same rows at once, in column order, so that
// y and t are read and t written once for the four: t += (c[q] + f[q]*y)*r[q].
inline __attribute__((always_inline)) void AccumulateUpdatedFourBody(
    std::size_t count, const double *const *c, const double *f, const double *__restrict y,
    double *__restrict t, const double *r) {
    const double *__restrict c0 = c[0];
    const double *__restrict c1 = c[1];
    const double *__restrict c2 = c[2];
    const double *__restrict c3 = c[3];
    const double f0 = f[0], f1 = f[1], f2 = f[2], f3 = f[3];
    const double r0 = r[0], r1 = r[1], r2 = r[2], r3 = r[3];
    for (std::size_t k = 0; k < count; ++k) {
        const double yk = y[k];
        const double u0 = c0[k] + f0 * yk;
        const double u1 = c1[k] + f1 * yk;
        const double u2 = c2[k] + f2 * yk;
        const double u3 = c3[k] + f3 * yk;
        t[k] = (((t[k] + u0 * r0) + u1 * r1) + u2 * r2) + u3 * r3;
    }
}

// Eight columns at once, as the four: t is read and written once for
// eight columns, with the factors still in registers (or in the stack's
// lines) on AVX2.
inline __attribute__((always_inline)) void AccumulateUpdatedEightBody(
    std::size_t count, const double *const *c, const double *f, const double *__restrict y,
    double *__restrict t, const double *r) {
    const double *__restrict c0 = c[0];
    const double *__restrict c1 = c[1];
    const double *__restrict c2 = c[2];
    const double *__restrict c3 = c[3];
    const double *__restrict c4 = c[4];
    const double *__restrict c5 = c[5];
    const double *__restrict c6 = c[6];
    const double *__restrict c7 = c[7];
    const double f0 = f[0], f1 = f[1], f2 = f[2], f3 = f[3];
    const double f4 = f[4], f5 = f[5], f6 = f[6], f7 = f[7];
    const double r0 = r[0], r1 = r[1], r2 = r[2], r3 = r[3];
    const double r4 = r[4], r5 = r[5], r6 = r[6], r7 = r[7];
    for (std::size_t k = 0; k < count; ++k) {
        const double yk = y[k];
        double sum = t[k];
        sum = sum + (c0[k] + f0 * yk) * r0;
        sum = sum + (c1[k] + f1 * yk) * r1;
        sum = sum + (c2[k] + f2 * yk) * r2;
        sum = sum + (c3[k] + f3 * yk) * r3;
        sum = sum + (c4[k] + f4 * yk) * r4;
        sum = sum + (c5[k] + f5 * yk) * r5;
        sum = sum + (c6[k] + f6 * yk) * r6;
        sum = sum + (c7[k] + f7 * yk) * r7;
        t[k] = sum;
    }
}

inline __attribute__((always_inline)) void AccumulateBody(std::size_t count,
                                                          const double *__restrict c,
                                                          double *__restrict t, double r) {
    for (std::size_t k = 0; k < count; ++k) t[k] = t[k] + c[k] * r;
}

inline __attribute__((always_inline)) void UpdateTwiceBody(std::size_t count, double *__restrict c,
                                                           double f, const double *__restrict y,
                                                           double e, const double *__restrict t) {
    for (std::size_t k = 0; k < count; ++k) c[k] = (c[k] + f * y[k]) + e * t[k];
}

void AccumulateUpdatedPlain(std::size_t count, const double *c, double f, const double *y,
                            double *t, double r) {
    AccumulateUpdatedBody(count, c, f, y, t, r);
}

void AccumulatePlain(std::size_t count, const double *c, double *t, double r) {
    AccumulateBody(count, c, t, r);
}

// Four or eight columns (AccumulateUpdatedFourBody, AccumulateUpdatedEightBody).
using AccumulateUpdatedColumnsFunction = void (*)(std::size_t, const double *const *,
                                                  const double *, const double *, double *,
                                                  const double *);

void AccumulateUpdatedFourPlain(std::size_t count, const double *const *c, const double *f,
                                const double *y, double *t, const double *r) {
    AccumulateUpdatedFourBody(count, c, f, y, t, r);
}

void AccumulateUpdatedEightPlain(std::size_t count, const double *const *c, const double *f,
                                 const double *y, double *t, const double *r) {
    AccumulateUpdatedEightBody(count, c, f, y, t, r);
}

using UpdateTwiceFunction = void (*)(std::size_t, double *, double, const double *, double,
                                     const double *);

void UpdateTwicePlain(std::size_t count, double *c, double f, const double *y, double e,
                      const double *t) {
    UpdateTwiceBody(count, c, f, y, e, t);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx2"))) void AccumulateUpdatedAvx2(std::size_t count, const double *c,
                                                           double f, const double *y, double *t,
                                                           double r) {
    AccumulateUpdatedBody(count, c, f, y, t, r);
}

__attribute__((target("avx2"))) void AccumulateAvx2(std::size_t count, const double *c, double *t,
                                                    double r) {
    AccumulateBody(count, c, t, r);
}

__attribute__((target("avx2"))) void AccumulateUpdatedFourAvx2(std::size_t count,
                                                               const double *const *c,
                                                               const double *f, const double *y,
                                                               double *t, const double *r) {
    AccumulateUpdatedFourBody(count, c, f, y, t, r);
}

__attribute__((target("avx2"))) void AccumulateUpdatedEightAvx2(std::size_t count,
                                                                const double *const *c,
                                                                const double *f, const double *y,
                                                                double *t, const double *r) {
    AccumulateUpdatedEightBody(count, c, f, y, t, r);
}

__attribute__((target("avx2"))) void UpdateTwiceAvx2(std::size_t count, double *c, double f,
                                                     const double *y, double e, const double *t) {
    UpdateTwiceBody(count, c, f, y, e, t);
}

__attribute__((target("avx512f"))) void AccumulateUpdatedAvx512(std::size_t count, const double *c,
                                                                double f, const double *y,
                                                                double *t, double r) {
    AccumulateUpdatedBody(count, c, f, y, t, r);
}

__attribute__((target("avx512f"))) void AccumulateAvx512(std::size_t count, const double *c,
                                                         double *t, double r) {
    AccumulateBody(count, c, t, r);
}

__attribute__((target("avx512f"))) void AccumulateUpdatedFourAvx512(std::size_t count,
                                                                    const double *const *c,
                                                                    const double *f,
                                                                    const double *y, double *t,
                                                                    const double *r) {
    AccumulateUpdatedFourBody(count, c, f, y, t, r);
}

__attribute__((target("avx512f"))) void AccumulateUpdatedEightAvx512(std::size_t count,
                                                                     const double *const *c,
                                                                     const double *f,
                                                                     const double *y, double *t,
                                                                     const double *r) {
    AccumulateUpdatedEightBody(count, c, f, y, t, r);
}

__attribute__((target("avx512f"))) void UpdateTwiceAvx512(std::size_t count, double *c, double f,
                                                          const double *y, double e,
                                                          const double *t) {
    UpdateTwiceBody(count, c, f, y, e, t);
}

#endif

// The number of leading columns that the merged passes must touch: the
// columns after them hold only +0.0 and keep it through every step, so
// they are left out (the zero columns that pad a full decomposition, most
// of all). They keep it as long as no value of the reduction is infinite
// or NaN: each of their products is then a zero times a finite number, and
// adding such a zero leaves a +0.0 element, a non-negative sum and a sum
// that started at +0.0 as they were. A matrix whose other entries are
// finite and at most kSafeMagnitude guarantees that: the reflections keep
// lengths, every scaled entry is at most 1, and every divisor h is at
// least 1/max(m, n)^2 in magnitude. Otherwise every column is touched.
constexpr double kSafeMagnitude = 0x1p500;

std::size_t LiveColumns(const Phases &d) {
    std::size_t live = d.n;
    const auto allPositiveZero = [&d](std::size_t j) {
        const double *c = d.a.Column(j);
        for (std::size_t r = 0; r < d.m; ++r) {
            if (c[r] != 0.0 || std::signbit(c[r])) return false;
        }
        return true;
    };
    while (live > 0 && allPositiveZero(live)) --live;
    for (std::size_t j = 1; j <= live; ++j) {
        const double *c = d.a.Column(j);
        for (std::size_t r = 0; r < d.m; ++r) {
            if (!(std::fabs(c[r]) <= kSafeMagnitude)) return d.n;
        }
    }
    return live;
}

// The merged passes share the columns of a step of at least
// kSharedPassElements elements among slots, one per thread, each of at
// least kSplitColumns columns. The columns stay with their slot through
// both passes, and in the caches of its thread: blocks of rows, or columns
// that went to another thread from one pass to the next, ran slower on two
// threads than on one, as the lines moved between the cores. Below that
// size the hand-offs between the slots cost more than they save where
// moving a line between cores takes 200 ns or more.
constexpr std::size_t kSharedPassElements = std::size_t(1) << 17;
constexpr std::size_t kSplitColumns = 32;
constexpr std::size_t kMaxSlots = 16;
// The fewest rows of a block of pass 1 on several slots.
constexpr std::size_t kLeftPassRows = 128;
std::size_t SlotsFor(const Phases &d, std::size_t rows, std::size_t columns) {
    if (!d.share || rows * columns < kSharedPassElements) return 1;
    return std::max<std::size_t>(
        1, std::min({static_cast<std::size_t>(ThreadCount()), kMaxSlots, columns / kSplitColumns}));
}

// How far each slot of a pass has come through its blocks of work.
class SlotProgress {
public:
    void Done(std::size_t slot, std::size_t block) {
        m_done[slot].blocks.store(block + 1, std::memory_order_release);
    }
    /// Returns once `slot` is done with `block`. ParallelFor starts slots
    /// in increasing order and runs each to its end, so an earlier slot
    /// is under way or done, and this ends.
    void WaitPast(std::size_t slot, std::size_t block) const {
        while (m_done[slot].blocks.load(std::memory_order_acquire) <= block) SpinPause();
    }

private:
    struct alignas(64) Count {
        std::atomic<std::size_t> blocks{0};
    };
    Count m_done[kMaxSlots];
};

double BidiagonaliseMerged(const Phases &d, std::size_t live) {
    const std::size_t m = d.m, n = d.n;
    const Indexed &a = d.a;
    const auto W = [&d](std::size_t i) -> double & { return d.W(i); };
    const auto E = [&d](std::size_t i) -> double & { return d.E(i); };
    double *const t = d.t;
    // The left products of the step's columns, then their factors s/h.
    double *const dots = d.t + std::max(m, n);
    // Row i's elements l..live through step i, in one run: read and
    // written along the row, they would be a line of each column, moving
    // between the threads that own the columns.
    double *const row = dots + n;
    // Pass 1's right products on alternate slots (see there).
    double *const spare = row + n;
    const UpdateFunction update = d.update;
    auto accumulateUpdated = AccumulateUpdatedPlain;
    auto accumulate = AccumulatePlain;
    AccumulateUpdatedColumnsFunction accumulateUpdatedFour = AccumulateUpdatedFourPlain;
    AccumulateUpdatedColumnsFunction accumulateUpdatedEight = AccumulateUpdatedEightPlain;
    UpdateTwiceFunction updateTwice = UpdateTwicePlain;
    UpdateThenColumnProductsFunction updateThenProducts = nullptr;
    UpdateTwiceThenColumnProductsFunction updateTwiceThenProducts = nullptr;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (update == UpdateAvx512) {
        accumulateUpdated = AccumulateUpdatedAvx512;
        accumulate = AccumulateAvx512;
        accumulateUpdatedFour = AccumulateUpdatedFourAvx512;
        accumulateUpdatedEight = AccumulateUpdatedEightAvx512;
        updateTwice = UpdateTwiceAvx512;
        updateThenProducts = UpdateThenColumnProductsAvx512;
        updateTwiceThenProducts = UpdateTwiceThenColumnProductsAvx512;
    } else if (update == UpdateAvx2) {
        accumulateUpdated = AccumulateUpdatedAvx2;
        accumulate = AccumulateAvx2;
        accumulateUpdatedFour = AccumulateUpdatedFourAvx2;
        accumulateUpdatedEight = AccumulateUpdatedEightAvx2;
        updateTwice = UpdateTwiceAvx2;
        updateThenProducts = UpdateThenColumnProductsAvx2;
        updateTwiceThenProducts = UpdateTwiceThenColumnProductsAvx2;
    }
#endif
    double anorm = 0.0;
    Reflection right;         // the previous step's row reflection
    Reflection left;          // this step's column reflection
    bool leftFormed = false;  // by the previous step, with its products and row
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t l = i + 1;
        E(i) = right.scale * right.g;
        double *ai = a.Column(i);
        if (!leftFormed) {
            left = Reflection();
            if (i <= m) {
                left = FormColumnReflection(ai, i, m);
                if (left.scale != 0.0)
                    ColumnProducts(a, l, live, ai, i, m, dots + (l - 1), d.products);
                for (std::size_t k = l; k <= live; ++k) {
                    if (left.scale != 0.0) {
                        dots[k - 1] = dots[k - 1] / left.h;
                        a(i, k) = a(i, k) + dots[k - 1] * ai[i - 1];
                    }
                    row[k - 1] = a(i, k);
                }
            }
        }
        leftFormed = false;
        const bool leftActive = i <= m && left.scale != 0.0;
        W(i) = left.scale * left.g;

        // Row i, l..live, is in `row` through the step; each column's
        // element goes back to the matrix once its value is final.
        right = Reflection();
        if (i <= m && i != n) {
            for (std::size_t k = l; k <= live; ++k)
                right.scale = right.scale + std::fabs(row[k - 1]);
            if (right.scale != 0.0) {
                double s = 0.0;
                for (std::size_t k = l; k <= live; ++k) {
                    row[k - 1] = row[k - 1] / right.scale;
                    s = s + row[k - 1] * row[k - 1];
                }
                const double f = row[l - 1];
                right.g = -WithSignOf(std::sqrt(s), f);
                right.h = f * right.g - s;
                row[l - 1] = f - right.g;
                for (std::size_t k = l; k <= live; ++k) E(k) = row[k - 1] / right.h;
            }
        }
        const bool rightActive = right.scale != 0.0;
        const std::size_t rows = l <= m ? m - i : 0;  // rows l..m
        // Row i's element of column k, final.
        const auto rowBack = [&](std::size_t k) {
            a(i, k) = rightActive ? row[k - 1] * right.scale : row[k - 1];
        };

        // The columns l..live are shared among the slots, slot s taking
        // the columns ColumnsBefore(s) .. ColumnsBefore(s + 1) - 1 in both
        // passes (column l in the first only).
        const std::size_t width = live >= l ? live - l + 1 : 0;
        const std::size_t slots = rows > 0 ? SlotsFor(d, rows, width) : 1;
        const auto ColumnsBefore = [&](std::size_t s) -> std::size_t {
            if (s == 0) return l;
            if (s >= slots) return live + 1;
            // Whole groups of pass 2 from column l + 1.
            return l + 1 +
                   (s * width / slots + kProductColumns / 2) / kProductColumns * kProductColumns;
        };

        // Pass 1: the left update of rows l..m with the right products:
        // rows r0..r1 - 1 (from row l) of the columns k0..k1 - 1, the
        // products summed in sums (t or spare). With both reflections the
        // left update is only formed here, and stored by pass 2.
        const auto leftPass = [&](std::size_t r0, std::size_t r1, std::size_t k0, std::size_t k1,
                                  double *sums) {
            const std::size_t count = r1 - r0, o = l - 1 + r0;
            std::size_t k = k0;
            if (leftActive && rightActive) {
                for (; k + 8 <= k1; k += 8) {
                    const double *c[8];
                    for (std::size_t q = 0; q < 8; ++q) c[q] = a.Column(k + q) + o;
                    accumulateUpdatedEight(count, c, dots + (k - 1), ai + o, sums + o,
                                           row + (k - 1));
                }
                for (; k + 4 <= k1; k += 4) {
                    const double *c[4];
                    for (std::size_t q = 0; q < 4; ++q) c[q] = a.Column(k + q) + o;
                    accumulateUpdatedFour(count, c, dots + (k - 1), ai + o, sums + o,
                                          row + (k - 1));
                }
            }
            for (; k < k1; ++k) {
                double *ak = a.Column(k) + o;
                if (leftActive && rightActive) {
                    accumulateUpdated(count, ak, dots[k - 1], ai + o, sums + o, row[k - 1]);
                } else if (leftActive) {
                    update(count, ak, dots[k - 1], ai + o);
                } else {
                    accumulate(count, ak, sums + o, row[k - 1]);
                }
            }
        };
        if (rows > 0 && (leftActive || rightActive)) {
            if (slots == 1) {
                if (rightActive) std::fill(t + l - 1, t + l - 1 + rows, 0.0);
                leftPass(0, rows, l, live + 1, t);
            } else {
                // Each row's product sums over the columns in order: a slot
                // takes a block of rows once the slot before it is done with
                // it, and carries on its sums. Neighbouring slots keep their
                // sums in different lines (the last slot in t) and a slot
                // copies those of the slot before it once per block: in the
                // same lines, one slot's prefetches past the end of its block
                // would take the lines the other is writing.
                const std::size_t blockRows =
                    rightActive ? std::max<std::size_t>(kLeftPassRows, (rows / 8 + 7) / 8 * 8)
                                : rows;
                const std::size_t blocks = (rows + blockRows - 1) / blockRows;
                const auto sumsOf = [&](std::size_t s) {
                    return (slots - 1 - s) % 2 == 0 ? t : spare;
                };
                SlotProgress progress;
                ParallelFor(slots, 1, [&](std::size_t s0, std::size_t s1) {
                    for (std::size_t s = s0; s < s1; ++s) {
                        const std::size_t k0 = ColumnsBefore(s), k1 = ColumnsBefore(s + 1);
                        double *const sums = sumsOf(s);
                        for (std::size_t b = 0; b < blocks; ++b) {
                            const std::size_t r0 = b * blockRows;
                            const std::size_t r1 = std::min(rows, r0 + blockRows);
                            if (rightActive) {
                                double *const to = sums + l - 1;
                                if (s == 0) {
                                    std::fill(to + r0, to + r1, 0.0);
                                } else {
                                    progress.WaitPast(s - 1, b);
                                    const double *from = sumsOf(s - 1) + l - 1;
                                    std::copy(from + r0, from + r1, to + r0);
                                }
                            }
                            if (k0 < k1) leftPass(r0, r1, k0, k1, sums);
                            progress.Done(s, b);
                        }
                    }
                });
            }
        }
        // Whether pass 2 stores the left update of rows l..m with its own.
        const bool leftDeferred = leftActive && rightActive && rows > 0;
        const double leftScale = left.scale;
        if (leftActive && !leftDeferred) {
            for (std::size_t k = i; k <= m; ++k) ai[k - 1] = ai[k - 1] * leftScale;
        }
        if (!rightActive || rows == 0) {
            if (i <= m) {
                for (std::size_t k = l; k <= live; ++k) rowBack(k);
            }
            const double bound = std::fabs(W(i)) + std::fabs(E(i));
            if (bound > anorm) anorm = bound;
            continue;
        }

        // Pass 2: the left (when deferred) and right updates of rows l..m,
        // with the next step's left reflection formed on column l, its
        // products, and its update of row l, which becomes the next step's
        // `row`. Column i, the left vector, is scaled back after it.
        double *al = a.Column(l);
        if (l <= live) {
            rowBack(l);
            if (leftDeferred) {
                updateTwice(rows, al + l - 1, dots[l - 1], ai + l - 1, E(l), t + l - 1);
            } else {
                update(rows, al + l - 1, E(l), t + l - 1);
            }
        }
        left = FormColumnReflection(al, l, m);
        leftFormed = true;
        // Columns in groups, each updated and then read while in the
        // caches.
        const bool products = left.scale != 0.0;
        const bool fused = updateThenProducts != nullptr && products;
        // The products go to dots, over this step's left factors, once the
        // group's columns have taken them.
        const std::size_t group = fused ? kProductColumns : 8;
        // The group of columns from k, short of k1.
        const auto rightPass = [&](std::size_t k, std::size_t k1) {
            const std::size_t columns = std::min(group, k1 - k);
            if (fused) {
                double *c[kProductColumns];
                for (std::size_t q = 0; q < columns; ++q) c[q] = a.Column(k + q) + l - 1;
                if (leftDeferred) {
                    updateTwiceThenProducts(columns, c, dots + (k - 1), ai + l - 1, &E(k), rows,
                                            t + l - 1, al + l - 1, dots + (k - 1));
                } else {
                    updateThenProducts(columns, c, &E(k), rows, t + l - 1, al + l - 1,
                                       dots + (k - 1));
                }
            } else {
                for (std::size_t j = k; j < k + columns; ++j) {
                    if (leftDeferred) {
                        updateTwice(rows, a.Column(j) + l - 1, dots[j - 1], ai + l - 1, E(j),
                                    t + l - 1);
                    } else {
                        update(rows, a.Column(j) + l - 1, E(j), t + l - 1);
                    }
                }
                if (products)
                    ColumnProducts(a, k, k + columns - 1, al, l, m, dots + (k - 1), d.products);
            }
            for (std::size_t j = k; j < k + columns; ++j) {
                rowBack(j);
                if (products) {
                    dots[j - 1] = dots[j - 1] / left.h;
                    a(l, j) = a(l, j) + dots[j - 1] * al[l - 1];
                }
                row[j - 1] = a(l, j);
            }
        };
        // The groups of columns k0..k1 - 1 from the last: pass 1 ended on
        // the last columns, which are still in the caches, and this pass
        // ends on the first, where the next step's pass 1 begins. Columns
        // are independent here, so the order changes no bit.
        const auto rightPasses = [&](std::size_t k0, std::size_t k1) {
            for (std::size_t g = k1 > k0 ? (k1 - k0 + group - 1) / group : 0; g-- > 0;)
                rightPass(k0 + g * group, k1);
        };
        if (slots == 1) {
            rightPasses(l + 1, live + 1);
        } else {
            ParallelFor(slots, 1, [&](std::size_t s0, std::size_t s1) {
                rightPasses(std::max(l + 1, ColumnsBefore(s0)), ColumnsBefore(s1));
            });
        }
        if (leftDeferred) {
            for (std::size_t k = i; k <= m; ++k) ai[k - 1] = ai[k - 1] * leftScale;
        }
        const double bound = std::fabs(W(i)) + std::fabs(E(i));
        if (bound > anorm) anorm = bound;
    }
    return anorm;
}

// Phase 2: accumulation of the right-hand transformations into V. Columns
// after `live` held only +0.0 through phase 1 (see LiveColumns): row i of
// a is +0.0 there, so each reflection's vector is a signed zero in those
// rows, the columns of V after `live` are still columns of the identity
// when a reflection meets them, and its products and updates leave them
// and V's rows after `live` exactly as they were. Only the leading block
// is worked.
void AccumulateRight(const Phases &d, std::size_t live) {
    const std::size_t n = d.n;
    const Indexed &a = d.a;
    const Indexed &v = d.v;
    double *const t = d.t;
    const auto E = [&d](std::size_t i) -> double & { return d.E(i); };
    const auto T = [&d](std::size_t j) -> double & { return d.T(j); };
    // Phase 1 ends with g = 0.0 and l = n + 1, which the first step (i = n)
    // does not read.
    double g = 0.0;
    std::size_t l = n + 1;
    for (std::size_t i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                for (std::size_t k = l; k <= live; ++k) T(k) = a(i, k);
                double *vi = v.Column(i);
                for (std::size_t j = l; j <= live; ++j) vi[j - 1] = (T(j) / T(l)) / g;
                UpdateColumns(
                    v, l, live, t, l, live, vi, l, live, [](double sum) { return sum; }, d.update,
                    d.share, d.products);
            }
            for (std::size_t j = l; j <= n; ++j) v(i, j) = v(j, i) = 0.0;
        }
        v(i, i) = 1.0;
        g = E(i);
        l = i;
    }
}

// Phase 3: accumulation of the left-hand transformations into a.
void AccumulateLeft(const Phases &d) {
    const std::size_t m = d.m, n = d.n;
    const Indexed &a = d.a;
    const auto W = [&d](std::size_t i) -> double & { return d.W(i); };
    for (std::size_t i = std::min(m, n); i >= 1; --i) {
        const std::size_t l = i + 1;
        double g = W(i);
        for (std::size_t j = l; j <= n; ++j) a(i, j) = 0.0;
        double *ai = a.Column(i);
        if (g != 0.0) {
            g = 1.0 / g;
            const double aii = ai[i - 1];
            UpdateColumns(
                a, l, n, ai, l, m, ai, i, m, [aii, g](double sum) { return (sum / aii) * g; },
                d.update, d.share, d.products);
            for (std::size_t j = i; j <= m; ++j) ai[j - 1] = ai[j - 1] * g;
        } else {
            for (std::size_t j = i; j <= m; ++j) ai[j - 1] = 0.0;
        }
        ai[i - 1] = ai[i - 1] + 1.0;
    }
}

// Phase 4: diagonalisation of the bidiagonal form by implicitly shifted QR
// sweeps, one singular value at a time from the last; anorm is phase 1's.
// Returns SvdDecompose's status.
KernelStatus Diagonalise(const Phases &d, double anorm) {
    const std::size_t m = d.m, n = d.n;
    const Indexed &a = d.a;
    const Indexed &v = d.v;
    return DiagonaliseBidiagonal<double>(
        n, d.w, d.incw, d.e, anorm, v.data != nullptr,
        [&](std::size_t j, std::size_t i, double c, double s) {
            d.rotate(m, a.Column(j), a.Column(i), c, s);
        },
        [&](std::size_t j, std::size_t i, double c, double s) {
            d.rotate(n, v.Column(j), v.Column(i), c, s);
        },
        [&](std::size_t k) {
            double *vk = v.Column(k);
            for (std::size_t j = 1; j <= n; ++j) vk[j - 1] = -vk[j - 1];
        });
}

}  // namespace

KernelStatus SvdDecompose(std::size_t m, std::size_t n, double *a, std::size_t lda, double *w,
                          std::size_t incw, double *v, std::size_t ldv, double *work,
                          KernelPath path) {
    RotateFunction rotate = RotateColumnsPlain;
    UpdateFunction update = UpdatePlain;
    ColumnProductsFunction products = nullptr;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        rotate = RotateColumnsAvx512;
        update = UpdateAvx512;
        products = ColumnProductsAvx512;
    } else if (path != KernelPath::kPlain && HasAvx2()) {
        rotate = RotateColumnsAvx2;
        update = UpdateAvx2;
        products = ColumnProductsAvx2;
    }
#endif
    const Phases phases{m,    n,        {a, lda}, {v, ldv}, w,        incw,
                        work, work + n, rotate,   update,   products, path == KernelPath::kFastest};
    // The plain path works every column, as written.
    const std::size_t live = path == KernelPath::kPlain ? n : LiveColumns(phases);
    const double anorm =
        path == KernelPath::kPlain ? Bidiagonalise(phases) : BidiagonaliseMerged(phases, live);
    if (v != nullptr) {
        AccumulateRight(phases, live);
        AccumulateLeft(phases);
    }
    return Diagonalise(phases, anorm);
}

void SortDescending(std::size_t n, const double *values, std::size_t inc,
                    std::uint32_t *positions) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t p = static_cast<std::uint32_t>(i);
        const double x = values[i * inc];
        std::size_t j = i;
        for (; j > 0 && x > values[positions[j - 1] * inc]; --j) positions[j] = positions[j - 1];
        positions[j] = p;
    }
}

void PermuteColumns(std::size_t m, std::size_t n, double *a, std::size_t lda,
                    const std::uint32_t *positions, double *column, unsigned char *visited) {
    std::memset(visited, 0, n);
    const std::size_t bytes = m * sizeof(double);
    for (std::size_t start = 0; start < n; ++start) {
        if (visited[start] != 0) continue;
        visited[start] = 1;
        if (positions[start] == start) continue;
        // Walk the cycle: each column takes the old column it names, the
        // first one saved aside until the cycle closes.
        if (bytes != 0) std::memcpy(column, a + start * lda, bytes);
        std::size_t i = start;
        for (;;) {
            const std::size_t j = positions[i];
            if (j == start) {
                if (bytes != 0) std::memcpy(a + i * lda, column, bytes);
                break;
            }
            if (bytes != 0) std::memcpy(a + i * lda, a + j * lda, bytes);
            visited[j] = 1;
            i = j;
        }
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
