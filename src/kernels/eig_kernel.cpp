// src/kernels/eig_kernel.cpp: eigenvalue kernels: Hessenberg QR, complex shifted solves, symmetric tridiagonal QL.
#include "kernels/eig_kernel.h"
#include "kernels/eig_steps.h"
#include "kernels/typed_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "kernels/kernel_support.h"
#include "kernels/mldivide_kernel.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/parallel.h"
#include "kernels/planerot_kernel.h"
#include "kernels/qr_kernel.h"
#include "kernels/shifted_layout.h"
#include "kernels/transpose_eight.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

void Balance(std::size_t n, double *a, std::size_t lda, double *scale) {
    eig_steps::BalanceIn(n, a, lda, scale);
}

void HessenbergBackTransform(std::size_t n, const double *a_, std::size_t lda,
                             const std::size_t *pivot, const double *scale, double *z) {
    for (std::size_t m = n < 3 ? 1 : n - 1; m >= 2; --m) {
        // z(i) + a(i,m-1)*z(m) as z(i) - (-z(m))*a(i,m-1): the same bits.
        SubtractMultiple(n - m, -z[m - 1], a_ + m + (m - 2) * lda, z + m);
        std::swap(z[m - 1], z[pivot[m - 1] - 1]);
    }
    if (scale == nullptr) return;
    for (std::size_t i = 0; i < n; ++i) z[i] = z[i] * scale[i];
}

namespace {

// Steps j0..j1-1 of the elimination on one column below them (c >= j1):
// each interchange, then the update of the lower row. Row j is final once
// step j is done, so the running row stays in a register.
void ApplyShiftedSteps(std::size_t j0, std::size_t j1, const double *multiplier,
                       const double *swapped, double *column) {
    if (j0 == j1) return;
    double upper = column[j0];
    for (std::size_t j = j0; j < j1; ++j) {
        double lower = column[j + 1];
        if (swapped[j] != 0.0) std::swap(upper, lower);
        column[j] = upper;
        upper = lower - multiplier[j] * upper;
    }
    column[j1] = upper;
}

// ApplyShiftedSteps on the four columns c..c+3 together: their chains of
// steps are independent, so they overlap, and each interchange test
// serves all four.
void ApplyShiftedStepsFour(std::size_t j0, std::size_t j1, const double *multiplier,
                           const double *swapped, double *u, std::size_t c) {
    double *column[4];
    double upper[4];
    for (std::size_t q = 0; q < 4; ++q) {
        column[q] = u + ShiftedColumn(c + q);
        upper[q] = column[q][j0];
    }
    for (std::size_t j = j0; j < j1; ++j) {
        double lower[4];
        for (std::size_t q = 0; q < 4; ++q) lower[q] = column[q][j + 1];
        if (swapped[j] != 0.0) {
            for (std::size_t q = 0; q < 4; ++q) std::swap(upper[q], lower[q]);
        }
        const double l = multiplier[j];
        for (std::size_t q = 0; q < 4; ++q) {
            column[q][j] = upper[q];
            upper[q] = lower[q] - l * upper[q];
        }
    }
    for (std::size_t q = 0; q < 4; ++q) column[q][j1] = upper[q];
}

// Step j on its own column: the interchange decided and made, a zero pivot
// replaced, the multiplier taken.
void DecideShiftedStep(std::size_t j, double tiny, double *multiplier, double *swapped,
                       double *column) {
    swapped[j] = 0.0;
    if (std::fabs(column[j + 1]) > std::fabs(column[j])) {
        std::swap(column[j], column[j + 1]);
        swapped[j] = 1.0;
    }
    if (column[j] == 0.0) column[j] = tiny;
    multiplier[j] = column[j + 1] / column[j];
}

// x(r) = (((x(r) - t[0]*u0(r)) - t[1]*u1(r)) - t[2]*u2(r)) - t[3]*u3(r) for
// r < count: four columns of the back substitution in one pass over x.
void SubtractFourPlain(std::size_t count, const double *t, const double *const *u, double *x) {
    for (std::size_t r = 0; r < count; ++r)
        x[r] = (((x[r] - t[0] * u[0][r]) - t[1] * u[1][r]) - t[2] * u[2][r]) - t[3] * u[3][r];
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx512f"))) void SubtractFourAvx512(std::size_t count, const double *t,
                                                           const double *const *u, double *x) {
    const __m512d t0 = _mm512_set1_pd(t[0]), t1 = _mm512_set1_pd(t[1]);
    const __m512d t2 = _mm512_set1_pd(t[2]), t3 = _mm512_set1_pd(t[3]);
    for (std::size_t r = 0; r < count; r += 8) {
        const auto mask = static_cast<__mmask8>(count - r >= 8 ? 0xFF : (1u << (count - r)) - 1);
        __m512d v = _mm512_maskz_loadu_pd(mask, x + r);
        v = _mm512_sub_pd(v, _mm512_mul_pd(t0, _mm512_maskz_loadu_pd(mask, u[0] + r)));
        v = _mm512_sub_pd(v, _mm512_mul_pd(t1, _mm512_maskz_loadu_pd(mask, u[1] + r)));
        v = _mm512_sub_pd(v, _mm512_mul_pd(t2, _mm512_maskz_loadu_pd(mask, u[2] + r)));
        v = _mm512_sub_pd(v, _mm512_mul_pd(t3, _mm512_maskz_loadu_pd(mask, u[3] + r)));
        _mm512_mask_storeu_pd(x + r, mask, v);
    }
}
#endif

}  // namespace

std::size_t HessenbergShiftedWorkspace(std::size_t n) {
    return (n == 0 ? 0 : ShiftedColumn(n - 1) + n) + 2 * n;
}

// The work of the shifted factorisation: U's packed columns, then the n
// multipliers, then n interchange marks (1.0 for an interchange of rows j
// and j+1).
void HessenbergShiftedFactor(std::size_t n, const double *h, std::size_t ldh, double shift,
                             double tiny, double *work, KernelPath path) {
    double *u = work;
    double *multiplier = work + ShiftedColumn(n - 1) + n;
    double *swapped = multiplier + n;
    for (std::size_t c = 0; c < n; ++c) {
        double *column = u + ShiftedColumn(c);
        std::copy(h + c * ldh, h + c * ldh + ShiftedRows(n, c), column);
        column[c] = column[c] - shift;
    }
    if (path == KernelPath::kPlain) {
        // Step by step along the rows, as the elimination is written.
        for (std::size_t j = 0; j + 1 < n; ++j) {
            DecideShiftedStep(j, tiny, multiplier, swapped, u + ShiftedColumn(j));
            for (std::size_t c = j + 1; c < n; ++c)
                ApplyShiftedSteps(j, j + 1, multiplier, swapped, u + ShiftedColumn(c));
        }
    } else {
        // Blocks of steps: their own columns left to right (each takes the
        // block's earlier steps, then decides its step), then every column
        // right of the block takes all of them. Each element still meets
        // the steps in increasing order, so the bits are the plain sweep's.
        for (std::size_t j0 = 0; j0 + 1 < n; j0 += kShiftedStepBlock) {
            const std::size_t j1 = std::min(j0 + kShiftedStepBlock, n - 1);
            for (std::size_t j = j0; j < j1; ++j) {
                double *column = u + ShiftedColumn(j);
                ApplyShiftedSteps(j0, j, multiplier, swapped, column);
                DecideShiftedStep(j, tiny, multiplier, swapped, column);
            }
            std::size_t c = j1;
            for (; c + 4 <= n; c += 4) ApplyShiftedStepsFour(j0, j1, multiplier, swapped, u, c);
            for (; c < n; ++c) ApplyShiftedSteps(j0, j1, multiplier, swapped, u + ShiftedColumn(c));
        }
    }
    double &last = u[ShiftedColumn(n - 1) + (n - 1)];
    if (last == 0.0) last = tiny;
}

void HessenbergShiftedSolve(std::size_t n, const double *work, const double *b, double *x,
                            KernelPath path) {
    const double *u = work;
    const double *multiplier = work + ShiftedColumn(n - 1) + n;
    const double *swapped = multiplier + n;
    std::copy(b, b + n, x);
    for (std::size_t j = 0; j + 1 < n; ++j) {
        if (swapped[j] != 0.0) std::swap(x[j], x[j + 1]);
        x[j + 1] = x[j + 1] - multiplier[j] * x[j];
    }
    // Column by column from the last: x(c) is final once divided, and is
    // then subtracted from the rows above it. The faster path settles four
    // columns among themselves, then takes their four products from each
    // row above them in one pass, column c's first: every x(r) meets the
    // same operations in the same order.
    auto subtractFour = SubtractFourPlain;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) subtractFour = SubtractFourAvx512;
#endif
    std::size_t c = n;
    if (path != KernelPath::kPlain) {
        for (; c >= 4; c -= 4) {
            const double *column[4];
            double t[4];
            for (std::size_t q = 0; q < 4; ++q) {
                const std::size_t cq = c - 1 - q;
                column[q] = u + ShiftedColumn(cq);
                double value = x[cq];
                for (std::size_t p = 0; p < q; ++p) value = value - t[p] * column[p][cq];
                t[q] = value / column[q][cq];
                x[cq] = t[q];
            }
            subtractFour(c - 4, t, column, x);
        }
    }
    while (c-- > 0) {
        const double *column = u + ShiftedColumn(c);
        x[c] = x[c] / column[c];
        SubtractMultiple(c, x[c], column, x, path);
    }
}

namespace {

// One step's transformation of the sweep, kept for the columns that take
// its row part later.
using SweepStep = eig_steps::SweepStep<double>;
using eig_steps::SweepRow;

// The column part of a step on rows i < count of columns k, k+1 and (when
// three, otherwise ak2 is null) k+2: p = (x*a(i,k) + y*a(i,k+1)) [+ z*a(i,k+2)], then a(i,k+2) -=
// p*r, a(i,k+1) -= p*q, a(i,k) -= p. Each row on its own.
#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx512f"))) void SweepColumnsAvx512(std::size_t count, const SweepStep &t,
                                                           double *ak, double *ak1, double *ak2) {
    const __m512d x = _mm512_set1_pd(t.x), y = _mm512_set1_pd(t.y), z = _mm512_set1_pd(t.z);
    const __m512d q = _mm512_set1_pd(t.q), r = _mm512_set1_pd(t.r);
    for (std::size_t i = 0; i < count; i += 8) {
        const auto mask = static_cast<__mmask8>(count - i >= 8 ? 0xFF : (1u << (count - i)) - 1);
        const __m512d a0 = _mm512_maskz_loadu_pd(mask, ak + i);
        const __m512d a1 = _mm512_maskz_loadu_pd(mask, ak1 + i);
        __m512d p = _mm512_add_pd(_mm512_mul_pd(x, a0), _mm512_mul_pd(y, a1));
        if (t.three) {
            const __m512d a2 = _mm512_maskz_loadu_pd(mask, ak2 + i);
            p = _mm512_add_pd(p, _mm512_mul_pd(z, a2));
            _mm512_mask_storeu_pd(ak2 + i, mask, _mm512_sub_pd(a2, _mm512_mul_pd(p, r)));
        }
        _mm512_mask_storeu_pd(ak1 + i, mask, _mm512_sub_pd(a1, _mm512_mul_pd(p, q)));
        _mm512_mask_storeu_pd(ak + i, mask, _mm512_sub_pd(a0, p));
    }
}

#endif

// Steps of a sweep whose row parts the columns right of them take
// together, each column while its few rows stay in the first-level cache
// (22: their 24 rows fill three 8 x 8 transposes).
constexpr std::size_t kSweepBlock = 22;

// Columns that take a block's row parts side by side, one lane each:
// enough vectors per row for their chains of steps to overlap.
constexpr std::size_t kStripLanes = 32;

#if defined(MATRIX_HAVE_AVX2_PATHS)
// The row parts of a block's steps (those taken) on a strip: row i of the
// strip (kStripLanes entries, one per column) is the block's row k0+i, and
// step k0+q works on strip rows q..q+2 as SweepRow does on a column.
__attribute__((target("avx512f"))) void SweepStripAvx512(std::size_t steps, std::size_t width,
                                                         const SweepStep *held, const bool *taken,
                                                         double *strip) {
    for (std::size_t q = 0; q < steps; ++q) {
        if (!taken[q]) continue;
        const SweepStep &t = held[q];
        const __m512d tq = _mm512_set1_pd(t.q), tr = _mm512_set1_pd(t.r);
        const __m512d tx = _mm512_set1_pd(t.x), ty = _mm512_set1_pd(t.y), tz = _mm512_set1_pd(t.z);
        for (std::size_t c = 0; c < width; c += 8) {
            double *a0 = strip + q * kStripLanes + c, *a1 = a0 + kStripLanes,
                   *a2 = a1 + kStripLanes;
            const __m512d v0 = _mm512_load_pd(a0), v1 = _mm512_load_pd(a1), v2 = _mm512_load_pd(a2);
            const __m512d p =
                _mm512_add_pd(_mm512_add_pd(v0, _mm512_mul_pd(tq, v1)), _mm512_mul_pd(tr, v2));
            _mm512_store_pd(a2, _mm512_sub_pd(v2, _mm512_mul_pd(p, tz)));
            _mm512_store_pd(a1, _mm512_sub_pd(v1, _mm512_mul_pd(p, ty)));
            _mm512_store_pd(a0, _mm512_sub_pd(v0, _mm512_mul_pd(p, tx)));
        }
    }
}

// A strip's rows from `width` columns and back: element i of column c
// (from `first`, columns ld apart) is strip entry i*kStripLanes + c (lanes
// from width to the next multiple of 8 repeat the last column), by 8 x 8
// blocks transposed in registers. Values are moved, never computed on.
// GCC's own headers leave the unused source of some shuffles undefined on
// purpose, which its uninitialised-value warning then reports.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f"))) void StripInAvx512(std::size_t rows, std::size_t width,
                                                      const double *first, std::size_t ld,
                                                      double *strip) {
    for (std::size_t r0 = 0; r0 < rows; r0 += 8) {
        const auto mask = static_cast<__mmask8>(rows - r0 >= 8 ? 0xFF : (1u << (rows - r0)) - 1);
        for (std::size_t c0 = 0; c0 < width; c0 += 8) {
            __m512d p[8];
            for (std::size_t q = 0; q < 8; ++q) {
                const double *col = first + std::min(c0 + q, width - 1) * ld;
                p[q] = _mm512_maskz_loadu_pd(mask, col + r0);
            }
            TransposeEight(p);
            for (std::size_t r = 0; r < 8 && r0 + r < rows; ++r)
                _mm512_store_pd(strip + (r0 + r) * kStripLanes + c0, p[r]);
        }
    }
}

__attribute__((target("avx512f"))) void StripOutAvx512(std::size_t rows, std::size_t width,
                                                       const double *strip, double *first,
                                                       std::size_t ld) {
    for (std::size_t r0 = 0; r0 < rows; r0 += 8) {
        const auto mask = static_cast<__mmask8>(rows - r0 >= 8 ? 0xFF : (1u << (rows - r0)) - 1);
        for (std::size_t c0 = 0; c0 < width; c0 += 8) {
            __m512d p[8];
            for (std::size_t r = 0; r < 8; ++r) {
                p[r] = r0 + r < rows ? _mm512_load_pd(strip + (r0 + r) * kStripLanes + c0)
                                     : _mm512_setzero_pd();
            }
            TransposeEight(p);
            for (std::size_t q = 0; q < 8 && c0 + q < width; ++q)
                _mm512_mask_storeu_pd(first + (c0 + q) * ld + r0, mask, p[q]);
        }
    }
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif

#if defined(MATRIX_HAVE_AVX2_PATHS)
// DoubleShiftSweep in blocks of steps, its column parts in vector
// registers. A column right of a block's reach (beyond
// k1+1 for steps k0..k1-1) is neither read nor written by the block's
// column parts or shifts, so it takes the block's row parts one after the
// other at the block's end, through a strip: every element meets the same
// operations in the same order. (With four lanes, the strip's transposes
// and the short column parts cost more than they save.)
__attribute__((target("avx512f"))) void DoubleShiftSweepBlocked(
    const eig_steps::IndexedOf<double> &a, std::size_t l, std::size_t nn,
    eig_steps::SweepStart<double> start) {
    const std::size_t m = start.m;
    for (std::size_t i = m + 2; i <= nn; ++i) {
        a(i, i - 2) = 0.0;
        if (i != m + 2) a(i, i - 3) = 0.0;
    }
    SweepStep held[kSweepBlock];
    bool taken[kSweepBlock];
    alignas(64) double strip[(kSweepBlock + 2) * kStripLanes];
    for (std::size_t k0 = m, k1 = 0; k0 <= nn - 1; k0 = k1) {
        k1 = std::min(k0 + kSweepBlock, nn);
        const std::size_t reach = std::min(nn, k1 + 1);
        for (std::size_t k = k0; k < k1; ++k) {
            taken[k - k0] =
                eig_steps::SweepReflector(a, l, m, nn, k, start.p, start.q, start.r, held[k - k0]);
            if (!taken[k - k0]) continue;
            const SweepStep &t = held[k - k0];
            for (std::size_t j = k; j <= reach; ++j) SweepRow(t, a.Column(j) + (k - 1));
            const std::size_t last = std::min(nn, k + 3);
            double *ak = a.Column(k);
            SweepColumnsAvx512(last - (l - 1), t, ak + (l - 1), ak + a.ld + (l - 1),
                               t.three ? ak + 2 * a.ld + (l - 1) : nullptr);
        }
        // The columns beyond the reach, kStripLanes at a time through a
        // strip of their rows k0..k1+1 (all within the matrix: every step
        // of such a block has three rows).
        const std::size_t rows = k1 - k0 + 2;
        for (std::size_t j0 = reach + 1; j0 <= nn; j0 += kStripLanes) {
            const std::size_t width = std::min(kStripLanes, nn + 1 - j0);
            double *first = a.Column(j0) + (k0 - 1);
            StripInAvx512(rows, width, first, a.ld, strip);
            SweepStripAvx512(k1 - k0, width, held, taken, strip);
            StripOutAvx512(rows, width, strip, first, a.ld);
        }
    }
}
#endif

}  // namespace

KernelStatus HessenbergEigenvalues(std::size_t n, double *a, std::size_t lda, double *wr,
                                   double *wi, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512())
        return eig_steps::HessenbergEigenvaluesIn(n, a, lda, wr, wi, DoubleShiftSweepBlocked);
#endif
    static_cast<void>(path);
    return eig_steps::HessenbergEigenvaluesIn(n, a, lda, wr, wi,
                                              eig_steps::DoubleShiftSweep<double>);
}

void ComplexDivide(double a, double b, double c, double d, double &re, double &im) {
    if (std::fabs(c) >= std::fabs(d)) {
        const double t = d / c;
        const double q = c + d * t;
        const double r = (a + b * t) / q;
        im = (b - a * t) / q;
        re = r;
    } else {
        const double t = c / d;
        const double q = c * t + d;
        const double r = (a * t + b) / q;
        im = (b * t - a) / q;
        re = r;
    }
}

namespace {

// Columns of a panel of the blocked complex elimination.
constexpr std::size_t kComplexPanel = 32;

// y(i) += f(i)*u (ComplexMultiplyAdd) for i < count.
void ComplexAxpyPlain(std::size_t count, const double *fr, const double *fi, double ur, double ui,
                      double *yr, double *yi) {
    for (std::size_t i = 0; i < count; ++i) ComplexMultiplyAdd(fr[i], fi[i], ur, ui, yr[i], yi[i]);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// ComplexAxpyPlain with each product's skip as a mask: the same sums.
__attribute__((target("avx512f"))) void ComplexAxpyAvx512(std::size_t count, const double *fr,
                                                          const double *fi, double ur, double ui,
                                                          double *yr, double *yi) {
    const __m512d vr = _mm512_set1_pd(ur), vi = _mm512_set1_pd(ui), zero = _mm512_setzero_pd();
    for (std::size_t i = 0; i < count; i += 8) {
        const auto mask = static_cast<__mmask8>(count - i >= 8 ? 0xFF : (1u << (count - i)) - 1);
        const __m512d a = _mm512_maskz_loadu_pd(mask, fr + i),
                      b = _mm512_maskz_loadu_pd(mask, fi + i);
        __m512d re = _mm512_maskz_loadu_pd(mask, yr + i), im = _mm512_maskz_loadu_pd(mask, yi + i);
        const __mmask8 useA = _mm512_mask_cmp_pd_mask(mask, a, zero, _CMP_NEQ_UQ);
        const __mmask8 useB = _mm512_mask_cmp_pd_mask(mask, b, zero, _CMP_NEQ_UQ);
        re = _mm512_mask_add_pd(re, useA, re, _mm512_mul_pd(a, vr));
        im = _mm512_mask_add_pd(im, useA, im, _mm512_mul_pd(a, vi));
        re = _mm512_mask_sub_pd(re, useB, re, _mm512_mul_pd(b, vi));
        im = _mm512_mask_add_pd(im, useB, im, _mm512_mul_pd(b, vr));
        _mm512_mask_storeu_pd(yr + i, mask, re);
        _mm512_mask_storeu_pd(yi + i, mask, im);
    }
}
#endif

void ComplexAxpy(std::size_t count, const double *fr, const double *fi, double ur, double ui,
                 double *yr, double *yi, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        ComplexAxpyAvx512(count, fr, fi, ur, ui, yr, yi);
        return;
    }
#endif
    static_cast<void>(path);
    ComplexAxpyPlain(count, fr, fi, ur, ui, yr, yi);
}

// Step j of the complex elimination on columns j+1..c1-1 only: the pivot
// chosen and whole rows interchanged, r recorded, row j scaled and the
// rows below updated in those columns.
void ComplexStep(std::size_t n, double *ar, double *ai, std::size_t lda, std::size_t j,
                 std::size_t c1, std::size_t *pivot, double *rr, double *ri, double tiny,
                 KernelPath path) {
    std::size_t p = j;
    double best = ComplexPivotMagnitude(ar[j + j * lda], ai[j + j * lda]);
    for (std::size_t i = j + 1; i < n; ++i) {
        const double m = ComplexPivotMagnitude(ar[i + j * lda], ai[i + j * lda]);
        if (m > best) {
            best = m;
            p = i;
        }
    }
    pivot[j] = p;
    if (p != j) {
        for (std::size_t c = 0; c < n; ++c) {
            std::swap(ar[j + c * lda], ar[p + c * lda]);
            std::swap(ai[j + c * lda], ai[p + c * lda]);
        }
    }
    double pr = ar[j + j * lda], pi = ai[j + j * lda];
    if (pr == 0.0 && pi == 0.0) pr = tiny;
    ComplexDivide(1.0, 0.0, pr, pi, rr[j], ri[j]);
    ar[j + j * lda] = 1.0;
    ai[j + j * lda] = 0.0;
    for (std::size_t i = j + 1; i < n; ++i) {
        ar[i + j * lda] = -ar[i + j * lda];
        ai[i + j * lda] = -ai[i + j * lda];
    }
    const double *fr = ar + j * lda, *fi = ai + j * lda;
    for (std::size_t c = j + 1; c < c1; ++c) {
        double *cr = ar + c * lda, *ci = ai + c * lda;
        if (!(rr[j] == 1.0 && ri[j] == 0.0))
            ComplexMultiply(cr[j], ci[j], rr[j], ri[j], cr[j], ci[j]);
        ComplexAxpy(n - j - 1, fr + j + 1, fi + j + 1, cr[j], ci[j], cr + j + 1, ci + j + 1, path);
    }
}

}  // namespace

void ComplexGaussFactor(std::size_t n, double *ar, double *ai, std::size_t lda, std::size_t *pivot,
                        double *rr, double *ri, double tiny, KernelPath path) {
    if (path == KernelPath::kPlain || n <= kComplexPanel) {
        for (std::size_t j = 0; j < n; ++j)
            ComplexStep(n, ar, ai, lda, j, n, pivot, rr, ri, tiny, path);
        return;
    }
    // The multipliers' parts interleaved (column 2q the real parts of the
    // panel's q-th column, 2q+1 the imaginary), and the panel's rows of U
    // interleaved for each part of the product: [re(u); -im(u)] for the
    // real part, [im(u); re(u)] for the imaginary.
    std::vector<double> f(n * 2 * kComplexPanel), ure(2 * kComplexPanel * n),
        uim(2 * kComplexPanel * n);
    for (std::size_t j0 = 0; j0 < n; j0 += kComplexPanel) {
        const std::size_t j1 = std::min(n, j0 + kComplexPanel);
        for (std::size_t j = j0; j < j1; ++j)
            ComplexStep(n, ar, ai, lda, j, j1, pivot, rr, ri, tiny, path);
        if (j1 == n) break;
        // The panel's rows of the columns to its right, step by step.
        for (std::size_t c = j1; c < n; ++c) {
            double *cr = ar + c * lda, *ci = ai + c * lda;
            for (std::size_t j = j0; j < j1; ++j) {
                if (!(rr[j] == 1.0 && ri[j] == 0.0))
                    ComplexMultiply(cr[j], ci[j], rr[j], ri[j], cr[j], ci[j]);
                ComplexAxpy(j1 - j - 1, ar + j * lda + j + 1, ai + j * lda + j + 1, cr[j], ci[j],
                            cr + j + 1, ci + j + 1, path);
            }
        }
        // The rows below: every element takes the panel's steps in order,
        // each as its two products per part.
        const std::size_t b = j1 - j0, m = n - j1, k = 2 * b, cols = n - j1;
        for (std::size_t q = 0; q < b; ++q) {
            std::copy(ar + j1 + (j0 + q) * lda, ar + n + (j0 + q) * lda, f.data() + (2 * q) * m);
            std::copy(ai + j1 + (j0 + q) * lda, ai + n + (j0 + q) * lda,
                      f.data() + (2 * q + 1) * m);
        }
        for (std::size_t c = 0; c < cols; ++c) {
            const double *cr = ar + (j1 + c) * lda, *ci = ai + (j1 + c) * lda;
            for (std::size_t q = 0; q < b; ++q) {
                ure[2 * q + c * k] = cr[j0 + q];
                ure[2 * q + 1 + c * k] = -ci[j0 + q];
                uim[2 * q + c * k] = ci[j0 + q];
                uim[2 * q + 1 + c * k] = cr[j0 + q];
            }
        }
        MatrixProductUpdate(m, cols, k, f.data(), m, ure.data(), k, ar + j1 + j1 * lda, lda,
                            PackingSpace(m, cols, k), UpdateSign::kAddUnlessZero,
                            SumOrder::kIncreasing, path);
        MatrixProductUpdate(m, cols, k, f.data(), m, uim.data(), k, ai + j1 + j1 * lda, lda,
                            PackingSpace(m, cols, k), UpdateSign::kAddUnlessZero,
                            SumOrder::kIncreasing, path);
    }
}

void ComplexGaussSolveFactored(std::size_t n, const double *ar, const double *ai, std::size_t lda,
                               const std::size_t *pivot, const double *rr, const double *ri,
                               double *br, double *bi, double *xr, double *xi) {
    for (std::size_t j = 0; j < n; ++j) {
        std::swap(br[j], br[pivot[j]]);
        std::swap(bi[j], bi[pivot[j]]);
        if (!(rr[j] == 1.0 && ri[j] == 0.0))
            ComplexMultiply(br[j], bi[j], rr[j], ri[j], br[j], bi[j]);
        ComplexAxpy(n - j - 1, ar + j * lda + j + 1, ai + j * lda + j + 1, br[j], bi[j], br + j + 1,
                    bi + j + 1, KernelPath::kFastest);
    }
    // The sums s(i) are kept in x until their element is solved; column c
    // adds U(i,c)*x(c) to every s(i) above it, from the last column back.
    for (std::size_t i = 0; i < n; ++i) xr[i] = xi[i] = 0.0;
    for (std::size_t c = n; c-- > 0;) {
        xr[c] = br[c] - xr[c];
        xi[c] = bi[c] - xi[c];
        for (std::size_t i = 0; i < c; ++i) {
            double tr, ti;
            ComplexMultiply(ar[i + c * lda], ai[i + c * lda], xr[c], xi[c], tr, ti);
            xr[i] = xr[i] + tr;
            xi[i] = xi[i] + ti;
        }
    }
}

namespace {

// b(i) = (b(i) - v(i)*wj) - w(i)*vj for i < count: one column's share of
// the symmetric rank-2 update, each element on its own.
void RankTwoColumnPlain(std::size_t count, double *b, const double *v, const double *w, double wj,
                        double vj) {
    for (std::size_t i = 0; i < count; ++i) b[i] = (b[i] - v[i] * wj) - w[i] * vj;
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx512f"))) void RankTwoColumnAvx512(std::size_t count, double *b,
                                                            const double *v, const double *w,
                                                            double wj, double vj) {
    const __m512d cw = _mm512_set1_pd(wj), cv = _mm512_set1_pd(vj);
    for (std::size_t i = 0; i < count; i += 8) {
        const auto mask = static_cast<__mmask8>(count - i >= 8 ? 0xFF : (1u << (count - i)) - 1);
        __m512d x = _mm512_maskz_loadu_pd(mask, b + i);
        x = _mm512_sub_pd(x, _mm512_mul_pd(_mm512_maskz_loadu_pd(mask, v + i), cw));
        x = _mm512_sub_pd(x, _mm512_mul_pd(_mm512_maskz_loadu_pd(mask, w + i), cv));
        _mm512_mask_storeu_pd(b + i, mask, x);
    }
}

__attribute__((target("avx2"))) void RankTwoColumnAvx2(std::size_t count, double *b,
                                                       const double *v, const double *w, double wj,
                                                       double vj) {
    const __m256d cw = _mm256_set1_pd(wj), cv = _mm256_set1_pd(vj);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m256d x = _mm256_loadu_pd(b + i);
        x = _mm256_sub_pd(x, _mm256_mul_pd(_mm256_loadu_pd(v + i), cw));
        x = _mm256_sub_pd(x, _mm256_mul_pd(_mm256_loadu_pd(w + i), cv));
        _mm256_storeu_pd(b + i, x);
    }
    RankTwoColumnPlain(count - i, b + i, v + i, w + i, wj, vj);
}

// DotFast's combination of its sixteen partial sums.
double CombineSixteen(const double *p) {
    const double low = ((p[0] + p[1]) + (p[2] + p[3])) + ((p[4] + p[5]) + (p[6] + p[7]));
    const double high = ((p[8] + p[9]) + (p[10] + p[11])) + ((p[12] + p[13]) + (p[14] + p[15]));
    return low + high;
}

// One column of the reduction's product in a single pass, AVX-512: the
// column b (count entries from the diagonal) first takes the held-back
// update when v is not null (RankTwoColumn), then returns
// b(0)*x(0) and DotFast(b(1..), x(1..)) in diag and dot, and sets
// q(i) = q(i) - (-x(0))*b(i) for i >= 1 (SubtractMultiple's operation):
// every element's operations and DotFast's partial sums as the separate
// kernels take them.
__attribute__((target("avx512f"))) void ReductionColumnAvx512(std::size_t count, double *b,
                                                              const double *v, const double *w,
                                                              double wj, double vj, const double *x,
                                                              double *q, double &diag,
                                                              double &dot) {
    if (v != nullptr) b[0] = (b[0] - v[0] * wj) - w[0] * vj;
    diag = b[0] * x[0];
    const __m512d cw = _mm512_set1_pd(wj), cv = _mm512_set1_pd(vj);
    const __m512d t = _mm512_set1_pd(-x[0]);
    __m512d acc[2] = {_mm512_setzero_pd(), _mm512_setzero_pd()};
    const std::size_t rest = count - 1;
    double *bb = b + 1;
    const double *xx = x + 1;
    double *qq = q + 1;
    for (std::size_t i = 0, chunk = 0; i < rest; i += 8, chunk ^= 1) {
        const auto mask = static_cast<__mmask8>(rest - i >= 8 ? 0xFF : (1u << (rest - i)) - 1);
        __m512d col = _mm512_maskz_loadu_pd(mask, bb + i);
        if (v != nullptr) {
            col = _mm512_sub_pd(col, _mm512_mul_pd(_mm512_maskz_loadu_pd(mask, v + 1 + i), cw));
            col = _mm512_sub_pd(col, _mm512_mul_pd(_mm512_maskz_loadu_pd(mask, w + 1 + i), cv));
            _mm512_mask_storeu_pd(bb + i, mask, col);
        }
        const __m512d xv = _mm512_maskz_loadu_pd(mask, xx + i);
        acc[chunk] = _mm512_mask_add_pd(acc[chunk], mask, acc[chunk], _mm512_mul_pd(col, xv));
        const __m512d qv = _mm512_maskz_loadu_pd(mask, qq + i);
        _mm512_mask_storeu_pd(qq + i, mask, _mm512_sub_pd(qv, _mm512_mul_pd(t, col)));
    }
    alignas(64) double p[16];
    _mm512_store_pd(p, acc[0]);
    _mm512_store_pd(p + 8, acc[1]);
    dot = CombineSixteen(p);
}

// ReductionColumnAvx512 without a held-back update, on two neighbouring
// columns in one pass over the rows below the first one's diagonal: column
// j (from b0, count entries from its diagonal) and column j+1 (from b1,
// count-1 entries from its diagonal). In each block of 8 rows column j's
// multiple of q is taken before column j+1's, which is each element's
// order. Column j+1's dot element k (row j+2+k) lies in lane (k+1) % 8 of
// the block, so its sixteen partial sums are held rotated by one lane:
// acc1[0] holds sums 15, 0..6 and acc1[1] sums 7, 8..14, each taking its
// elements in increasing k as DotFast does.
__attribute__((target("avx512f"))) void ReductionTwoColumnsAvx512(
    std::size_t count, const double *b0, const double *b1, const double *x, double *q,
    double &diag0, double &dot0, double &diag1, double &dot1) {
    diag0 = b0[0] * x[0];
    diag1 = b1[1] * x[1];
    const __m512d t0 = _mm512_set1_pd(-x[0]), t1 = _mm512_set1_pd(-x[1]);
    __m512d acc0[2] = {_mm512_setzero_pd(), _mm512_setzero_pd()};
    __m512d acc1[2] = {_mm512_setzero_pd(), _mm512_setzero_pd()};
    const std::size_t rest = count - 1;
    const double *c0 = b0 + 1, *c1 = b1 + 1, *xx = x + 1;
    double *qq = q + 1;
    for (std::size_t i = 0, chunk = 0; i < rest; i += 8, chunk ^= 1) {
        const auto mask0 = static_cast<__mmask8>(rest - i >= 8 ? 0xFF : (1u << (rest - i)) - 1);
        const auto mask1 = static_cast<__mmask8>(i == 0 ? mask0 & 0xFE : mask0);
        const __m512d xv = _mm512_maskz_loadu_pd(mask0, xx + i);
        const __m512d col0 = _mm512_maskz_loadu_pd(mask0, c0 + i);
        const __m512d col1 = _mm512_maskz_loadu_pd(mask1, c1 + i);
        acc0[chunk] = _mm512_mask_add_pd(acc0[chunk], mask0, acc0[chunk], _mm512_mul_pd(col0, xv));
        acc1[chunk] = _mm512_mask_add_pd(acc1[chunk], mask1, acc1[chunk], _mm512_mul_pd(col1, xv));
        __m512d qv = _mm512_maskz_loadu_pd(mask0, qq + i);
        qv = _mm512_mask_sub_pd(qv, mask0, qv, _mm512_mul_pd(t0, col0));
        qv = _mm512_mask_sub_pd(qv, mask1, qv, _mm512_mul_pd(t1, col1));
        _mm512_mask_storeu_pd(qq + i, mask0, qv);
    }
    alignas(64) double p[16], r[16];
    _mm512_store_pd(p, acc0[0]);
    _mm512_store_pd(p + 8, acc0[1]);
    dot0 = CombineSixteen(p);
    _mm512_store_pd(r, acc1[0]);
    _mm512_store_pd(r + 8, acc1[1]);
    for (int l = 0; l < 7; ++l) {
        p[l] = r[l + 1];
        p[8 + l] = r[9 + l];
    }
    p[15] = r[0];
    p[7] = r[8];
    dot1 = CombineSixteen(p);
}
#endif

void RankTwoColumn(std::size_t count, double *b, const double *v, const double *w, double wj,
                   double vj, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        RankTwoColumnAvx512(count, b, v, w, wj, vj);
        return;
    }
    if (path != KernelPath::kPlain && HasAvx2()) {
        RankTwoColumnAvx2(count, b, v, w, wj, vj);
        return;
    }
#endif
    static_cast<void>(path);
    RankTwoColumnPlain(count, b, v, w, wj, vj);
}

// The unblocked reduction (SymmetricTridiagonalize's order below
// kTridiagonalBlockedMin, and the blocked reduction's last columns).
void TridiagonalizeUnblocked(std::size_t n, double *a, std::size_t lda, double *d, double *e,
                             double *c, double *work, KernelPath path) {
    // The update of step k-1 is held back (its v and w, for the rows from
    // k on, are pv and pw) and applied to each column just before step k
    // first reads it, so that the trailing matrix is read once per step.
    // Every element still meets step k-1's update before step k reads it.
    double *q = work, *w = work + n;
    const double *pv = nullptr, *pw = nullptr;
    auto pending = [&](std::size_t j, std::size_t k) {
        // Column j (rows j..n-1) takes step k-1's update: its v and w are
        // indexed from row k.
        if (pv == nullptr) return;
        RankTwoColumn(n - j, a + j + j * lda, pv + (j - k), pw + (j - k), pw[j - k], pv[j - k],
                      path);
    };
    for (std::size_t k = 0; k + 2 < n; ++k) {
        pending(k, k);
        d[k] = a[k + k * lda];
        const std::size_t m = n - k - 1;
        double *x = a + (k + 1) + k * lda;
        double scale = std::fabs(x[0]);
        for (std::size_t i = 1; i < m; ++i) scale = std::max(scale, std::fabs(x[i]));
        if (scale == 0.0) {
            c[k] = e[k] = 0.0;
            for (std::size_t j = k + 1; j < n; ++j) pending(j, k);
            pv = pw = nullptr;
            continue;
        }
        double sum = 0.0;
        for (std::size_t i = 0; i < m; ++i) {
            x[i] = x[i] / scale;
            sum = sum + x[i] * x[i];
        }
        double sigma = std::sqrt(sum);
        if (!(x[0] >= 0.0)) sigma = -sigma;
        x[0] = x[0] + sigma;
        c[k] = x[0] * sigma;
        e[k] = -(sigma * scale);
        const double tau = 1.0 / c[k];
        // q = B*v from the lower triangle of B = A(k+1.., k+1..), each
        // column first taking the held-back update.
        std::fill(q, q + m, 0.0);
        for (std::size_t j = 0; j < m; ++j) {
            double *bj = a + (k + 1 + j) + (k + 1 + j) * lda;
#if defined(MATRIX_HAVE_AVX2_PATHS)
            if (path == KernelPath::kFastest && HasAvx512()) {
                // Held-back v and w are indexed from row k, column k+1+j
                // starts at row k+1+j.
                double diag = 0.0, dot = 0.0;
                if (pv != nullptr) {
                    ReductionColumnAvx512(m - j, bj, pv + 1 + j, pw + 1 + j, pw[1 + j], pv[1 + j],
                                          x + j, q + j, diag, dot);
                } else {
                    ReductionColumnAvx512(m - j, bj, nullptr, nullptr, 0.0, 0.0, x + j, q + j, diag,
                                          dot);
                }
                q[j] = (q[j] + diag) + dot;
                continue;
            }
#endif
            pending(k + 1 + j, k);
            q[j] = (q[j] + bj[0] * x[j]) + DotFast(m - j - 1, bj + 1, x + j + 1, path);
            SubtractMultiple(m - j - 1, -x[j], bj + 1, q + j + 1, path);
        }
        for (std::size_t i = 0; i < m; ++i) q[i] = tau * q[i];
        const double half = (0.5 * tau) * DotFast(m, q, x, path);
        // w is kept in work's second half; x (v) stays in A's column k.
        for (std::size_t i = 0; i < m; ++i) w[i] = q[i] - half * x[i];
        pv = x;
        pw = w;
    }
    if (n >= 3) {
        pending(n - 2, n - 2);
        pending(n - 1, n - 2);
    }
    if (n >= 2) {
        d[n - 2] = a[(n - 2) + (n - 2) * lda];
        e[n - 2] = a[(n - 1) + (n - 2) * lda];
    }
    d[n - 1] = a[(n - 1) + (n - 1) * lda];
    e[n - 1] = 0.0;
}

// b(i) = (b(i) - v_p(i)*cw[p]) - w_p(i)*cv[p] for p = 0..pairs-1 in turn
// (RankTwoColumn pair after pair), v_p = v[p] + offset and w_p = w[p] +
// offset; the vector code keeps each block of b in a register through
// every pair.
#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx512f"))) void RankTwoColumnPairsAvx512(
    std::size_t count, double *b, const double *const *v, const double *const *w,
    std::size_t offset, const double *cw, const double *cv, std::size_t pairs) {
    // Four blocks of 8 rows side by side, so that their chains of
    // subtractions overlap.
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m512d x[4];
        for (int r = 0; r < 4; ++r) x[r] = _mm512_loadu_pd(b + i + 8 * r);
        for (std::size_t p = 0; p < pairs; ++p) {
            const __m512d cwp = _mm512_set1_pd(cw[p]), cvp = _mm512_set1_pd(cv[p]);
            const double *vp = v[p] + offset + i, *wp = w[p] + offset + i;
            for (int r = 0; r < 4; ++r) {
                x[r] = _mm512_sub_pd(x[r], _mm512_mul_pd(_mm512_loadu_pd(vp + 8 * r), cwp));
                x[r] = _mm512_sub_pd(x[r], _mm512_mul_pd(_mm512_loadu_pd(wp + 8 * r), cvp));
            }
        }
        for (int r = 0; r < 4; ++r) _mm512_storeu_pd(b + i + 8 * r, x[r]);
    }
    for (; i < count; i += 8) {
        const auto mask = static_cast<__mmask8>(count - i >= 8 ? 0xFF : (1u << (count - i)) - 1);
        __m512d x = _mm512_maskz_loadu_pd(mask, b + i);
        for (std::size_t p = 0; p < pairs; ++p) {
            x = _mm512_sub_pd(x, _mm512_mul_pd(_mm512_maskz_loadu_pd(mask, v[p] + offset + i),
                                               _mm512_set1_pd(cw[p])));
            x = _mm512_sub_pd(x, _mm512_mul_pd(_mm512_maskz_loadu_pd(mask, w[p] + offset + i),
                                               _mm512_set1_pd(cv[p])));
        }
        _mm512_mask_storeu_pd(b + i, mask, x);
    }
}
#endif

void RankTwoColumnPairs(std::size_t count, double *b, const double *const *v,
                        const double *const *w, std::size_t offset, const double *cw,
                        const double *cv, std::size_t pairs, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        RankTwoColumnPairsAvx512(count, b, v, w, offset, cw, cv, pairs);
        return;
    }
#endif
    for (std::size_t p = 0; p < pairs; ++p) {
        RankTwoColumn(count, b, v[p] + offset, w[p] + offset, cw[p], cv[p], path);
    }
}

// max |x(i)| over count >= 1 entries as the serial loop scale = |x(0)|,
// scale = std::max(scale, |x(i)|) finds it: a NaN in x(0) gives NaN, any
// other NaN is passed over. Four running maxima (the first from |x(0)|,
// the others from 0.0) are combined from the first, which gives the same
// value, since max is exact.
double MaxMagnitude(std::size_t count, const double *x) {
    double m[4] = {std::fabs(x[0]), 0.0, 0.0, 0.0};
    std::size_t i = 1;
    for (; i + 4 <= count; i += 4) {
        for (int l = 0; l < 4; ++l) m[l] = std::max(m[l], std::fabs(x[i + l]));
    }
    for (; i < count; ++i) m[0] = std::max(m[0], std::fabs(x[i]));
    return std::max(std::max(std::max(m[0], m[1]), m[2]), m[3]);
}

// q = B*x for the symmetric m x m matrix B given by its lower triangle,
// column j of B in increasing j: q(j) = (q(j) + B(j,j)*x(j)) +
// DotFast(B(j+1..,j), x(j+1..)), then q(i) += x(j)*B(i,j) for i > j (q
// from 0.0); the unblocked reduction's product without a held-back update.
void SymmetricColumnsProduct(std::size_t m, double *b, std::size_t ldb, const double *x, double *q,
                             KernelPath path) {
    std::fill(q, q + m, 0.0);
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        // Two columns a pass; q(j+1) has column j's multiple before its own
        // sums, as in the order above.
        std::size_t j = 0;
        for (; j + 1 < m; j += 2) {
            double diag0, dot0, diag1, dot1;
            ReductionTwoColumnsAvx512(m - j, b + j + j * ldb, b + j + (j + 1) * ldb, x + j, q + j,
                                      diag0, dot0, diag1, dot1);
            q[j] = (q[j] + diag0) + dot0;
            q[j + 1] = (q[j + 1] + diag1) + dot1;
        }
        if (j < m) {
            double diag = 0.0, dot = 0.0;
            ReductionColumnAvx512(m - j, b + j + j * ldb, nullptr, nullptr, 0.0, 0.0, x + j, q + j,
                                  diag, dot);
            q[j] = (q[j] + diag) + dot;
        }
        return;
    }
#endif
    for (std::size_t j = 0; j < m; ++j) {
        double *bj = b + j + j * ldb;
        q[j] = (q[j] + bj[0] * x[j]) + DotFast(m - j - 1, bj + 1, x + j + 1, path);
        SubtractMultiple(m - j - 1, -x[j], bj + 1, q + j + 1, path);
    }
}

// Columns of the trailing matrix taken by one product of the blocked
// reduction's update.
constexpr std::size_t kTridiagonalUpdateColumns = 32;

}  // namespace

std::size_t SymmetricTridiagonalizeWorkspace(std::size_t n, std::size_t nb) {
    nb = std::max<std::size_t>(nb, 1);
    return std::max(2 * n, n + 5 * nb * n + kTridiagonalUpdateColumns * kTridiagonalUpdateColumns);
}

void SymmetricTridiagonalizeBlocked(std::size_t n, double *a, std::size_t lda, double *d,
                                    double *e, double *c, double *work, std::size_t nb,
                                    KernelPath path) {
    nb = std::max<std::size_t>(nb, 1);
    // q(i) and W's column p (w(k0+p)(i) = wp[p*n + i]) are indexed by the
    // row of A; left = [v w v w ...] and right = [w; v; w; v; ...] hold
    // the panel's pairs, rows k0+nb.. of A, for the trailing update.
    double *q = work, *wp = work + n;
    double *left = wp + nb * n, *right = left + 2 * nb * n;
    double *saved = right + 2 * nb * n;
    const std::size_t pairs = 2 * nb;
    // The panel's pairs so far, those left out skipped: columns of A and
    // of W (indexed by row), and their coefficients for one column.
    std::vector<const double *> vs(nb), ws(nb);
    std::vector<double> cw(nb), cv(nb), zeros(n);
    std::size_t k0 = 0;
    for (; n - k0 >= nb + 2; k0 += nb) {
        std::size_t held = 0;
        for (std::size_t t = 0; t < nb; ++t) {
            const std::size_t j = k0 + t;
            double *col = a + j + j * lda;
            // Column j takes the panel's earlier pairs, in increasing p.
            for (std::size_t h = 0; h < held; ++h) {
                cw[h] = ws[h][j];
                cv[h] = vs[h][j];
            }
            RankTwoColumnPairs(n - j, col, vs.data(), ws.data(), j, cw.data(), cv.data(), held,
                               path);
            d[j] = col[0];
            const std::size_t m = n - j - 1;
            double *x = col + 1;
            const double scale = MaxMagnitude(m, x);
            if (scale == 0.0) {
                c[j] = e[j] = 0.0;
                continue;
            }
            double sum = 0.0;
            for (std::size_t i = 0; i < m; ++i) {
                x[i] = x[i] / scale;
                sum = sum + x[i] * x[i];
            }
            double sigma = std::sqrt(sum);
            if (!(x[0] >= 0.0)) sigma = -sigma;
            x[0] = x[0] + sigma;
            c[j] = x[0] * sigma;
            e[j] = -(sigma * scale);
            const double tau = 1.0 / c[j];
            // q = B*v with B as the last panel left it, then the panel's
            // earlier pairs: q -= v(p)*(w(p)'v) + w(p)*(v(p)'v).
            double *qq = q + (j + 1);
            SymmetricColumnsProduct(m, a + (j + 1) + (j + 1) * lda, lda, x, qq, path);
            for (std::size_t h = 0; h < held; ++h) {
                cw[h] = DotFast(m, ws[h] + (j + 1), x, path);
                cv[h] = DotFast(m, vs[h] + (j + 1), x, path);
            }
            RankTwoColumnPairs(m, qq, vs.data(), ws.data(), j + 1, cw.data(), cv.data(), held,
                               path);
            for (std::size_t i = 0; i < m; ++i) qq[i] = tau * qq[i];
            const double half = (0.5 * tau) * DotFast(m, qq, x, path);
            double *w = wp + t * n + (j + 1);
            for (std::size_t i = 0; i < m; ++i) w[i] = qq[i] - half * x[i];
            vs[held] = a + j * lda;
            ws[held] = wp + t * n;
            ++held;
        }
        // The trailing matrix takes the panel's pairs in one product per
        // block of columns, from the diagonal down; the strict upper
        // triangle of each diagonal block is put back as it was.
        const std::size_t k1 = k0 + nb, mt = n - k1;
        for (std::size_t p = 0; p < nb; ++p) {
            const bool skip = c[k0 + p] == 0.0;
            vs[p] = skip ? zeros.data() : a + k1 + (k0 + p) * lda;
            ws[p] = skip ? zeros.data() : wp + p * n + k1;
            std::memcpy(left + 2 * p * mt, vs[p], mt * sizeof(double));
            std::memcpy(left + (2 * p + 1) * mt, ws[p], mt * sizeof(double));
        }
        for (std::size_t r = 0; r < mt; ++r) {
            double *row = right + r * pairs;
            for (std::size_t p = 0; p < nb; ++p) {
                row[2 * p] = ws[p][r];
                row[2 * p + 1] = vs[p][r];
            }
        }
        for (std::size_t j0 = k1; j0 < n; j0 += kTridiagonalUpdateColumns) {
            const std::size_t cols = std::min(kTridiagonalUpdateColumns, n - j0);
            double *block = a + j0 + j0 * lda;
            for (std::size_t jj = 1; jj < cols; ++jj) {
                std::memcpy(saved + jj * cols, block + jj * lda, jj * sizeof(double));
            }
            MatrixProductUpdate(n - j0, cols, pairs, left + (j0 - k1), mt, right + (j0 - k1) * pairs,
                                pairs, block, lda, PackingSpace(n - j0, cols, pairs),
                                UpdateSign::kSubtract, SumOrder::kIncreasing, path);
            for (std::size_t jj = 1; jj < cols; ++jj) {
                std::memcpy(block + jj * lda, saved + jj * cols, jj * sizeof(double));
            }
        }
    }
    TridiagonalizeUnblocked(n - k0, a + k0 + k0 * lda, lda, d + k0, e + k0, c + k0, work, path);
}

void SymmetricTridiagonalize(std::size_t n, double *a, std::size_t lda, double *d, double *e,
                             double *c, double *work, KernelPath path) {
    if (n >= kTridiagonalBlockedMin) {
        SymmetricTridiagonalizeBlocked(n, a, lda, d, e, c, work, kTridiagonalBlock, path);
    } else {
        TridiagonalizeUnblocked(n, a, lda, d, e, c, work, path);
    }
}

namespace {

// The rotations TridiagonalQl has decided but not yet applied to Z, sweep
// after sweep: sweep s has count[s] rotations from offset[s] in cs and sn,
// its t-th acting on columns first[s]-t and first[s]-t+1.
struct PendingSweeps {
    const double *cs;
    const double *sn;
    const std::size_t *first;
    const std::size_t *count;
    const std::size_t *offset;
    std::size_t sweeps;
};

// Rows r0..r1-1 of Z take every pending rotation, sweep after sweep and
// within a sweep in increasing t: the order of applying each sweep to the
// whole of Z as it is decided, element by element.
void ApplySweepsPlain(const PendingSweeps &p, double *z, std::size_t ldz, std::size_t r0,
                      std::size_t r1) {
    for (std::size_t s = 0; s < p.sweeps; ++s) {
        const double *cs = p.cs + p.offset[s], *sn = p.sn + p.offset[s];
        for (std::size_t t = 0; t < p.count[s]; ++t) {
            const double cc = cs[t], ss = sn[t];
            double *zi = z + (p.first[s] - t) * ldz, *zi1 = zi + ldz;
            for (std::size_t k = r0; k < r1; ++k) {
                const double f = zi1[k];
                zi1[k] = ss * zi[k] + cc * f;
                zi[k] = cc * zi[k] - ss * f;
            }
        }
    }
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// ApplySweepsPlain on blocks of R vectors of rows, which stay in cache
// while every pending sweep passes; within a sweep the column that the
// next rotation shares is held in registers, and the R vectors' chains of
// rotations overlap. The same products and sums, element by element.
template <int R>
__attribute__((target("avx512f"))) void ApplySweepsAvx512(const PendingSweeps &p, double *z,
                                                          std::size_t ldz, std::size_t r0,
                                                          std::size_t r1) {
    std::size_t k = r0;
    for (; k + 8 * R <= r1; k += 8 * R) {
        for (std::size_t s = 0; s < p.sweeps; ++s) {
            const std::size_t count = p.count[s], first = p.first[s];
            if (count == 0) continue;
            const double *cs = p.cs + p.offset[s], *sn = p.sn + p.offset[s];
            __m512d lo[R];
            for (int q = 0; q < R; ++q) lo[q] = _mm512_loadu_pd(z + (first + 1) * ldz + k + 8 * q);
            double *zi = z + first * ldz + k;
            for (std::size_t t = 0; t < count; ++t, zi -= ldz) {
                const __m512d cc = _mm512_set1_pd(cs[t]), ss = _mm512_set1_pd(sn[t]);
                for (int q = 0; q < R; ++q) {
                    const __m512d a = _mm512_loadu_pd(zi + 8 * q);
                    _mm512_storeu_pd(zi + ldz + 8 * q,
                                     _mm512_add_pd(_mm512_mul_pd(ss, a), _mm512_mul_pd(cc, lo[q])));
                    lo[q] = _mm512_sub_pd(_mm512_mul_pd(cc, a), _mm512_mul_pd(ss, lo[q]));
                }
            }
            for (int q = 0; q < R; ++q) _mm512_storeu_pd(zi + ldz + 8 * q, lo[q]);
        }
    }
    ApplySweepsPlain(p, z, ldz, k, r1);
}

// Two successive sweeps A and B on R vectors of rows starting at row k,
// in a wavefront: B's rotation on columns i+1, i+2 follows A's on columns
// i, i+1, taking the column i+1 that A has just finished from registers.
// Every element still meets all of A's rotations before any of B's (B's
// rotations above A's columns come first, those below after A ends), but
// each column is loaded and stored once for both sweeps. Sweep X has
// rotation t (t = 0..count-1) at index i = first - t on columns i, i+1;
// both counts are at least 1.
// One rotation on R vectors: the column below is x, the column above is
// held in lo; the new upper column is stored at upper, the new lower one
// kept in lo.
template <int R>
__attribute__((target("avx512f"))) inline void RotateVectors(const __m512d *x, __m512d *lo,
                                                             double c, double s, double *upper) {
    const __m512d cc = _mm512_set1_pd(c), ss = _mm512_set1_pd(s);
    for (int q = 0; q < R; ++q) {
        _mm512_storeu_pd(upper + 8 * q,
                         _mm512_add_pd(_mm512_mul_pd(ss, x[q]), _mm512_mul_pd(cc, lo[q])));
        lo[q] = _mm512_sub_pd(_mm512_mul_pd(cc, x[q]), _mm512_mul_pd(ss, lo[q]));
    }
}

template <int R>
__attribute__((target("avx512f"))) inline void LoadVectors(const double *from, __m512d *to) {
    for (int q = 0; q < R; ++q) to[q] = _mm512_loadu_pd(from + 8 * q);
}

template <int R>
__attribute__((target("avx512f"))) inline void StoreVectors(const __m512d *from, double *to) {
    for (int q = 0; q < R; ++q) _mm512_storeu_pd(to + 8 * q, from[q]);
}

// Two successive sweeps A and B on R vectors of rows starting at row k,
// in a wavefront: B's rotation on columns i+1, i+2 follows A's on columns
// i, i+1, taking the column i+1 that A has just finished from registers.
// Every element still meets all of A's rotations before any of B's (B's
// rotations above A's columns come first, those below after A ends), but
// each column is loaded and stored once for both sweeps. Sweep X has
// rotation t (t = 0..count-1) at index i = first - t on columns i, i+1;
// both counts are at least 1.
template <int R>
__attribute__((target("avx512f"))) void ApplySweepPairAvx512(
    const double *csA, const double *snA, std::ptrdiff_t fA, std::ptrdiff_t countA,
    const double *csB, const double *snB, std::ptrdiff_t fB, std::ptrdiff_t countB, double *z,
    std::size_t ldz, std::size_t k) {
    const std::ptrdiff_t lA = fA + 1 - countA, lB = fB + 1 - countB;
    double *const base = z + k;
    const std::ptrdiff_t ld = static_cast<std::ptrdiff_t>(ldz);
    __m512d loA[R], loB[R], x[R];
    std::ptrdiff_t iB = fB;
    bool startedB = false;
    // B's rotations above every column of A.
    while (iB >= lB && iB >= fA + 2) {
        if (!startedB) LoadVectors<R>(base + (iB + 1) * ld, loB);
        startedB = true;
        LoadVectors<R>(base + iB * ld, x);
        RotateVectors<R>(x, loB, csB[fB - iB], snB[fB - iB], base + (iB + 1) * ld);
        --iB;
    }
    LoadVectors<R>(base + (fA + 1) * ld, loA);
    for (std::ptrdiff_t i = fA; i >= lA; --i) {
        const __m512d cc = _mm512_set1_pd(csA[fA - i]), ss = _mm512_set1_pd(snA[fA - i]);
        const double *own = base + i * ld;
        for (int q = 0; q < R; ++q) {
            const __m512d y = _mm512_loadu_pd(own + 8 * q);
            x[q] = _mm512_add_pd(_mm512_mul_pd(ss, y), _mm512_mul_pd(cc, loA[q]));
            loA[q] = _mm512_sub_pd(_mm512_mul_pd(cc, y), _mm512_mul_pd(ss, loA[q]));
        }
        if (iB == i + 1 && iB >= lB) {
            if (!startedB) LoadVectors<R>(base + (iB + 1) * ld, loB);
            startedB = true;
            RotateVectors<R>(x, loB, csB[fB - iB], snB[fB - iB], base + (iB + 1) * ld);
            --iB;
        } else {
            StoreVectors<R>(x, base + (i + 1) * ld);
        }
    }
    StoreVectors<R>(loA, base + lA * ld);
    // B's rotations below A's.
    while (iB >= lB) {
        if (!startedB) LoadVectors<R>(base + (iB + 1) * ld, loB);
        startedB = true;
        LoadVectors<R>(base + iB * ld, x);
        RotateVectors<R>(x, loB, csB[fB - iB], snB[fB - iB], base + (iB + 1) * ld);
        --iB;
    }
    StoreVectors<R>(loB, base + lB * ld);
}

// ApplySweepsAvx512 with the sweeps taken two at a time by
// ApplySweepPairAvx512 (a sweep without rotations skipped).
template <int R>
__attribute__((target("avx512f"))) void ApplySweepsPairedAvx512(const PendingSweeps &p, double *z,
                                                                std::size_t ldz, std::size_t r0,
                                                                std::size_t r1) {
    for (std::size_t k = r0; k + 8 * R <= r1; k += 8 * R) {
        std::size_t s = 0;
        while (s < p.sweeps) {
            if (p.count[s] == 0) {
                ++s;
                continue;
            }
            std::size_t next = s + 1;
            while (next < p.sweeps && p.count[next] == 0) ++next;
            if (next == p.sweeps) {
                PendingSweeps one = p;
                one.first = p.first + s;
                one.count = p.count + s;
                one.offset = p.offset + s;
                one.sweeps = 1;
                ApplySweepsAvx512<R>(one, z, ldz, k, k + 8 * R);
                break;
            }
            ApplySweepPairAvx512<R>(
                p.cs + p.offset[s], p.sn + p.offset[s], static_cast<std::ptrdiff_t>(p.first[s]),
                static_cast<std::ptrdiff_t>(p.count[s]), p.cs + p.offset[next],
                p.sn + p.offset[next], static_cast<std::ptrdiff_t>(p.first[next]),
                static_cast<std::ptrdiff_t>(p.count[next]), z, ldz, k);
            s = next + 1;
        }
    }
}

// The last rows (fewer than 8) of ApplySweepsAvx512, under a mask.
__attribute__((target("avx512f"))) void ApplySweepsTailAvx512(const PendingSweeps &p, double *z,
                                                              std::size_t ldz, std::size_t r0,
                                                              std::size_t r1) {
    const auto mask = static_cast<__mmask8>((1u << (r1 - r0)) - 1);
    for (std::size_t s = 0; s < p.sweeps; ++s) {
        const std::size_t count = p.count[s], first = p.first[s];
        if (count == 0) continue;
        const double *cs = p.cs + p.offset[s], *sn = p.sn + p.offset[s];
        __m512d lo = _mm512_maskz_loadu_pd(mask, z + (first + 1) * ldz + r0);
        double *zi = z + first * ldz + r0;
        for (std::size_t t = 0; t < count; ++t, zi -= ldz) {
            const __m512d cc = _mm512_set1_pd(cs[t]), ss = _mm512_set1_pd(sn[t]);
            const __m512d a = _mm512_maskz_loadu_pd(mask, zi);
            _mm512_mask_storeu_pd(zi + ldz, mask,
                                  _mm512_add_pd(_mm512_mul_pd(ss, a), _mm512_mul_pd(cc, lo)));
            lo = _mm512_sub_pd(_mm512_mul_pd(cc, a), _mm512_mul_pd(ss, lo));
        }
        _mm512_mask_storeu_pd(zi + ldz, mask, lo);
    }
}

template <int R>
__attribute__((target("avx2"))) void ApplySweepsAvx2(const PendingSweeps &p, double *z,
                                                     std::size_t ldz, std::size_t r0,
                                                     std::size_t r1) {
    std::size_t k = r0;
    for (; k + 4 * R <= r1; k += 4 * R) {
        for (std::size_t s = 0; s < p.sweeps; ++s) {
            const std::size_t count = p.count[s], first = p.first[s];
            if (count == 0) continue;
            const double *cs = p.cs + p.offset[s], *sn = p.sn + p.offset[s];
            __m256d lo[R];
            for (int q = 0; q < R; ++q) lo[q] = _mm256_loadu_pd(z + (first + 1) * ldz + k + 4 * q);
            double *zi = z + first * ldz + k;
            for (std::size_t t = 0; t < count; ++t, zi -= ldz) {
                const __m256d cc = _mm256_broadcast_sd(cs + t), ss = _mm256_broadcast_sd(sn + t);
                for (int q = 0; q < R; ++q) {
                    const __m256d a = _mm256_loadu_pd(zi + 4 * q);
                    _mm256_storeu_pd(zi + ldz + 4 * q,
                                     _mm256_add_pd(_mm256_mul_pd(ss, a), _mm256_mul_pd(cc, lo[q])));
                    lo[q] = _mm256_sub_pd(_mm256_mul_pd(cc, a), _mm256_mul_pd(ss, lo[q]));
                }
            }
            for (int q = 0; q < R; ++q) _mm256_storeu_pd(zi + ldz + 4 * q, lo[q]);
        }
    }
    ApplySweepsPlain(p, z, ldz, k, r1);
}
#endif

// Vectors of rows taken through the sweeps together.
constexpr int kSweepVectors = 4;

// Rows of Z are shared between threads in pieces of this many (each row
// meets the rotations on its own, so the split changes no bit), from this
// many rows on.
constexpr std::size_t kSweepRowGrain = 64;
constexpr std::size_t kParallelSweepRows = 256;

void ApplySweeps(const PendingSweeps &p, double *z, std::size_t ldz, std::size_t n,
                 KernelPath path) {
    if (p.sweeps == 0) return;
    auto rows = [&](std::size_t r0, std::size_t r1) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (path == KernelPath::kFastest && HasAvx512()) {
            // Blocks of 32 rows, then of 8, then the last few under a mask.
            const std::size_t wide = r0 + (r1 - r0) / (8 * kSweepVectors) * (8 * kSweepVectors);
            const std::size_t tail = r1 - (r1 - wide) % 8;
            ApplySweepsPairedAvx512<kSweepVectors>(p, z, ldz, r0, wide);
            ApplySweepsAvx512<1>(p, z, ldz, wide, tail);
            if (tail < r1) ApplySweepsTailAvx512(p, z, ldz, tail, r1);
            return;
        }
        if (path != KernelPath::kPlain && HasAvx2()) {
            ApplySweepsAvx2<kSweepVectors>(p, z, ldz, r0, r1);
            return;
        }
#endif
        ApplySweepsPlain(p, z, ldz, r0, r1);
    };
    if (path == KernelPath::kPlain || n < kParallelSweepRows) {
        rows(0, n);
        return;
    }
    ParallelFor((n + kSweepRowGrain - 1) / kSweepRowGrain, 1, [&](std::size_t b0, std::size_t b1) {
        rows(b0 * kSweepRowGrain, std::min(n, b1 * kSweepRowGrain));
    });
}

// Sweeps held back before Z takes them, and the rotations they may hold.
constexpr std::size_t kHeldSweeps = 64;

}  // namespace

std::size_t TridiagonalQlWorkspace(std::size_t n) { return 2 * kHeldSweeps * n + 3 * kHeldSweeps; }

namespace {

// sqrt(a^2 + b^2) directly where the sum of squares cannot have over- or
// underflowed, SafeHypot elsewhere.
inline double QlHypot(double a, double b) {
    const double sum = a * a + b * b;
    if (sum > 0x1p-900 && sum < 0x1p900) return std::sqrt(sum);
    return SafeHypot(a, b);
}

// The same in single, whose range is narrower.
inline float QlHypot(float a, float b) {
    const float sum = a * a + b * b;
    if (sum > 0x1p-100f && sum < 0x1p100f) return std::sqrt(sum);
    return SafeHypotOf(a, b);
}

void FlushSweeps(const double *cs, const double *sn, const std::size_t *first,
                 const std::size_t *count, const std::size_t *offset, std::size_t sweeps, double *z,
                 std::size_t ldz, std::size_t n, KernelPath path) {
    ApplySweeps({cs, sn, first, count, offset, sweeps}, z, ldz, n, path);
}

// Single: ApplySweepsPlain's order, in scalar loops.
void FlushSweeps(const float *cs_, const float *sn_, const std::size_t *first,
                 const std::size_t *count, const std::size_t *offset, std::size_t sweeps, float *z,
                 std::size_t ldz, std::size_t n, KernelPath) {
    for (std::size_t s = 0; s < sweeps; ++s) {
        const float *cs = cs_ + offset[s], *sn = sn_ + offset[s];
        for (std::size_t t = 0; t < count[s]; ++t) {
            const float cc = cs[t], ss = sn[t];
            float *zi = z + (first[s] - t) * ldz, *zi1 = zi + ldz;
            for (std::size_t k = 0; k < n; ++k) {
                const float f = zi1[k];
                zi1[k] = ss * zi[k] + cc * f;
                zi[k] = cc * zi[k] - ss * f;
            }
        }
    }
}

// TridiagonalQl's steps in R; cs and sn hold kHeldSweeps * n rotations,
// marks 3 * kHeldSweeps counts.
template <class R>
KernelStatus TridiagonalQlIn(std::size_t n, R *d, R *e, R *z, std::size_t ldz, R *cs, R *sn,
                             std::size_t *marks, KernelPath path) {
    // The rotations are applied to Z kHeldSweeps sweeps at a time (or
    // sooner, when an eigenvalue is given up): every element of Z meets
    // them in the order they were decided.
    std::size_t *first = marks, *count = marks + kHeldSweeps, *offset = count + kHeldSweeps;
    std::size_t sweeps = 0, used = 0;
    auto flush = [&] {
        if (z != nullptr) FlushSweeps(cs, sn, first, count, offset, sweeps, z, ldz, n, path);
        sweeps = used = 0;
    };
    for (std::size_t l = 0; l < n; ++l) {
        int tests = 0;
        for (;;) {
            std::size_t m = l;
            for (; m + 1 < n; ++m) {
                const R dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
                if (std::fabs(e[m]) + dd == dd) break;
            }
            if (m == l) break;
            if (tests++ == kTridiagonalMaxTests) {
                flush();
                for (std::size_t i = l; i < n; ++i) d[i] = static_cast<R>(LibraryNaN());
                return l + 1;
            }
            if (sweeps == kHeldSweeps) flush();
            first[sweeps] = m - 1;
            offset[sweeps] = used;
            R *c_out = cs + used, *s_out = sn + used;
            R g = (d[l + 1] - d[l]) / (R(2) * e[l]);
            R r = QlHypot(g, R(1));
            g = d[m] - d[l] + e[l] / (g + (g >= R(0) ? std::fabs(r) : -std::fabs(r)));
            R s = 1, cc = 1, p = 0;
            bool early = false;
            std::size_t rotations = 0;
            for (std::size_t i = m; i-- > l;) {
                const R f = s * e[i];
                const R b = cc * e[i];
                r = QlHypot(f, g);
                e[i + 1] = r;
                if (r == R(0)) {
                    d[i + 1] = d[i + 1] - p;
                    e[m] = 0;
                    early = true;
                    break;
                }
                s = f / r;
                cc = g / r;
                g = d[i + 1] - p;
                r = (d[i] - g) * s + R(2) * cc * b;
                p = s * r;
                d[i + 1] = g + p;
                g = cc * r - b;
                c_out[rotations] = cc;
                s_out[rotations] = s;
                ++rotations;
            }
            count[sweeps] = rotations;
            used += rotations;
            ++sweeps;
            if (early) continue;
            d[l] = d[l] - p;
            e[l] = g;
            e[m] = 0;
        }
    }
    flush();
    return 0;
}

}  // namespace

KernelStatus TridiagonalQl(std::size_t n, double *d, double *e, double *z, std::size_t ldz,
                           double *work, KernelPath path) {
    double *cs = work, *sn = work + kHeldSweeps * n;
    std::size_t *marks = reinterpret_cast<std::size_t *>(sn + kHeldSweeps * n);
    return TridiagonalQlIn(n, d, e, z, ldz, cs, sn, marks, path);
}

std::size_t TridiagonalQlWorkspaceSingle(std::size_t n) {
    return 2 * kHeldSweeps * n + 3 * kHeldSweeps * (sizeof(std::size_t) / sizeof(float));
}

KernelStatus TridiagonalQl(std::size_t n, float *d, float *e, float *z, std::size_t ldz,
                           float *work, KernelPath path) {
    // The counts first, where a size_t is aligned.
    std::size_t *marks = reinterpret_cast<std::size_t *>(work);
    float *cs = work + 3 * kHeldSweeps * (sizeof(std::size_t) / sizeof(float));
    return TridiagonalQlIn(n, d, e, z, ldz, cs, cs + kHeldSweeps * n, marks, path);
}

KernelStatus SymmetricJacobi(std::size_t n, double *a, std::size_t lda, double *d, double *v,
                             std::size_t ldv) {
    for (std::size_t j = 0; j < n; ++j) {
        std::fill(v + j * ldv, v + j * ldv + n, 0.0);
        v[j + j * ldv] = 1.0;
    }
    const double eps = 0x1p-52;
    for (int sweep = 0; sweep < kJacobiMaxSweeps; ++sweep) {
        bool rotated = false;
        for (std::size_t p = 0; p + 1 < n; ++p) {
            for (std::size_t q = p + 1; q < n; ++q) {
                const double apq = a[q + p * lda];
                const double app = a[p + p * lda], aqq = a[q + q * lda];
                if (!(std::fabs(apq) >
                      eps * std::sqrt(std::fabs(app)) * std::sqrt(std::fabs(aqq))) ||
                    !(std::fabs(apq) > kJacobiFloor))
                    continue;
                rotated = true;
                const double tau = (aqq - app) / (2.0 * apq);
                const double t =
                    std::fabs(tau) > 0x1p500
                        ? 0.5 / tau
                        : WithSignOf(1.0, tau) / (std::fabs(tau) + std::sqrt(1.0 + tau * tau));
                const double c = 1.0 / std::sqrt(1.0 + t * t);
                const double sn = t * c;
                // A = J'*A*J on columns p, q and then rows p, q (both
                // triangles kept), V = V*J; J = [c s; -s c] in rows and
                // columns p, q.
                double *cp = a + p * lda, *cq = a + q * lda;
                for (std::size_t k = 0; k < n; ++k) {
                    const double x = cp[k], y = cq[k];
                    cp[k] = c * x - sn * y;
                    cq[k] = sn * x + c * y;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    const double x = a[p + k * lda], y = a[q + k * lda];
                    a[p + k * lda] = c * x - sn * y;
                    a[q + k * lda] = sn * x + c * y;
                }
                a[q + p * lda] = a[p + q * lda] = 0.0;
                double *vp = v + p * ldv, *vq = v + q * ldv;
                for (std::size_t k = 0; k < n; ++k) {
                    const double x = vp[k], y = vq[k];
                    vp[k] = c * x - sn * y;
                    vq[k] = sn * x + c * y;
                }
            }
        }
        if (!rotated) {
            for (std::size_t i = 0; i < n; ++i) d[i] = a[i + i * lda];
            return 0;
        }
    }
    for (std::size_t i = 0; i < n; ++i) d[i] = LibraryNaN();
    return 1;
}

void SortSymmetricEigen(std::size_t n, double *d, double *z, std::size_t ldz) {
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t k = i;
        for (std::size_t j = i + 1; j < n; ++j) {
            if (d[j] < d[k]) k = j;
        }
        if (k == i) continue;
        std::swap(d[i], d[k]);
        if (z != nullptr) std::swap_ranges(z + i * ldz, z + i * ldz + n, z + k * ldz);
    }
    if (z == nullptr) return;
    for (std::size_t j = 0; j < n; ++j) {
        double *zj = z + j * ldz;
        std::size_t big = 0;
        for (std::size_t i = 1; i < n; ++i) {
            if (std::fabs(zj[i]) > std::fabs(zj[big])) big = i;
        }
        if (zj[big] < 0.0) {
            for (std::size_t i = 0; i < n; ++i) zj[i] = -zj[i];
        }
    }
}

namespace {

constexpr double kDcEps = 0x1p-52;

// The workspace shared by every merge of one TridiagonalDivideConquer: each
// merge of order n uses the first n*n or n entries of each.
struct DcSpace {
    std::vector<double> sorted, compact, w, delta;
    std::vector<double> ds, zs, zhat, lambda;
    std::vector<std::size_t> perm, kept, type;
    // Grows the space to order n; it is kept for the thread's next call,
    // so that repeated solves do not fault fresh pages in.
    void Reserve(std::size_t n) {
        if (perm.size() >= n) return;
        for (std::vector<double> *v : {&sorted, &compact, &w, &delta}) v->resize(n * n);
        for (std::vector<double> *v : {&ds, &zs, &zhat, &lambda}) v->resize(n);
        for (std::vector<std::size_t> *v : {&perm, &kept, &type}) v->resize(n);
    }
};

// The secular function's parts at t from the origin pole o: psi sums the
// poles at or left of j, phi those right of it, each with its derivative.
// pole[i] = d(i) - d(o); delta[i] = pole[i] - t is kept for the vectors.
// Each sum runs in kSecularLanes interleaved partial sums (term i in lane
// i mod kSecularLanes, from the first term of its part), added in lane
// order at the end: a fixed order that keeps the adds independent.
constexpr std::size_t kSecularLanes = 8;

struct SecularParts {
    double psi, dpsi, phi, dphi;
};

// One part of the secular function over poles [0, count): delta, and the
// lane sums of zz/delta and of its slope zz/delta^2, taken as r = zz*inv
// and r*inv with inv = 1/delta.
void SecularPartPlain(std::size_t count, const double *pole, const double *zz, double t,
                      double *delta, double *lane, double *dlane) {
    for (std::size_t i = 0; i < count; ++i) {
        delta[i] = pole[i] - t;
        const double inv = 1.0 / delta[i];
        const double r = zz[i] * inv;
        const std::size_t l = i % kSecularLanes;
        lane[l] = lane[l] + r;
        dlane[l] = dlane[l] + r * inv;
    }
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx512f"))) void SecularPartAvx512(std::size_t count, const double *pole,
                                                          const double *zz, double t,
                                                          double *delta, double *lane,
                                                          double *dlane) {
    static_assert(kSecularLanes == 8, "one zmm register of lanes");
    const __m512d tt = _mm512_set1_pd(t), one = _mm512_set1_pd(1.0);
    __m512d acc = _mm512_setzero_pd(), dacc = _mm512_setzero_pd();
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m512d d = _mm512_sub_pd(_mm512_loadu_pd(pole + i), tt);
        _mm512_storeu_pd(delta + i, d);
        const __m512d inv = _mm512_div_pd(one, d);
        const __m512d r = _mm512_mul_pd(_mm512_loadu_pd(zz + i), inv);
        acc = _mm512_add_pd(acc, r);
        dacc = _mm512_add_pd(dacc, _mm512_mul_pd(r, inv));
    }
    if (i < count) {
        const __mmask8 m = static_cast<__mmask8>((1u << (count - i)) - 1u);
        const __m512d d = _mm512_sub_pd(_mm512_mask_loadu_pd(one, m, pole + i), tt);
        _mm512_mask_storeu_pd(delta + i, m, d);
        const __m512d inv = _mm512_div_pd(one, d);
        const __m512d r = _mm512_mul_pd(_mm512_maskz_loadu_pd(m, zz + i), inv);
        acc = _mm512_mask_add_pd(acc, m, acc, r);
        dacc = _mm512_mask_add_pd(dacc, m, dacc, _mm512_mul_pd(r, inv));
    }
    _mm512_storeu_pd(lane, acc);
    _mm512_storeu_pd(dlane, dacc);
}
#endif

void SecularPart(std::size_t count, const double *pole, const double *zz, double t, double *delta,
                 double &sum, double &dsum, KernelPath path) {
    double lane[kSecularLanes] = {}, dlane[kSecularLanes] = {};
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        SecularPartAvx512(count, pole, zz, t, delta, lane, dlane);
    } else {
        SecularPartPlain(count, pole, zz, t, delta, lane, dlane);
    }
#else
    (void)path;
    SecularPartPlain(count, pole, zz, t, delta, lane, dlane);
#endif
    sum = 0.0;
    dsum = 0.0;
    for (std::size_t l = 0; l < kSecularLanes; ++l) {
        sum = sum + lane[l];
        dsum = dsum + dlane[l];
    }
}

SecularParts SecularEvaluate(std::size_t k, std::size_t j, const double *pole, const double *zz,
                             double t, double *delta, KernelPath path) {
    SecularParts s;
    SecularPart(j + 1, pole, zz, t, delta, s.psi, s.dpsi, path);
    SecularPart(k - j - 1, pole + j + 1, zz + j + 1, t, delta + j + 1, s.phi, s.dphi, path);
    return s;
}

// One step of the Loewner products over i in [i0, i1):
// zhat(i) *= delta(i)/(d(i) - pivot), pivot being d(j+1) for the poles at
// or left of root j (the same bits as -delta(i)/(d(j+1) - d(i))) and d(j)
// for those right of it.
void LoewnerStepPlain(std::size_t i0, std::size_t i1, double *zhat, const double *delta,
                      const double *d, double pivot) {
    for (std::size_t i = i0; i < i1; ++i) zhat[i] = zhat[i] * (delta[i] / (d[i] - pivot));
}

// A secular vector before scaling: v(i) = zhat(i)/delta(i); returns the
// largest |v(i)|.
double SecularVectorPlain(std::size_t k, const double *zhat, const double *delta, double *v) {
    double big = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
        v[i] = zhat[i] / delta[i];
        big = std::max(big, std::fabs(v[i]));
    }
    return big;
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx512f"))) void LoewnerStepAvx512(std::size_t i0, std::size_t i1,
                                                          double *zhat, const double *delta,
                                                          const double *d, double pivot) {
    const __m512d p = _mm512_set1_pd(pivot);
    std::size_t i = i0;
    for (; i + 8 <= i1; i += 8) {
        const __m512d ratio =
            _mm512_div_pd(_mm512_loadu_pd(delta + i), _mm512_sub_pd(_mm512_loadu_pd(d + i), p));
        _mm512_storeu_pd(zhat + i, _mm512_mul_pd(_mm512_loadu_pd(zhat + i), ratio));
    }
    LoewnerStepPlain(i, i1, zhat, delta, d, pivot);
}

__attribute__((target("avx512f"))) double SecularVectorAvx512(std::size_t k, const double *zhat,
                                                              const double *delta, double *v) {
    const __m512i magnitude = _mm512_set1_epi64(0x7FFFFFFFFFFFFFFFLL);
    __m512d big = _mm512_setzero_pd();
    std::size_t i = 0;
    for (; i + 8 <= k; i += 8) {
        const __m512d x = _mm512_div_pd(_mm512_loadu_pd(zhat + i), _mm512_loadu_pd(delta + i));
        _mm512_storeu_pd(v + i, x);
        const __m512d a = _mm512_castsi512_pd(_mm512_and_epi64(_mm512_castpd_si512(x), magnitude));
        big = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(a, big, _CMP_GT_OQ), big, a);
    }
    double lanes[8];
    _mm512_storeu_pd(lanes, big);
    double most = SecularVectorPlain(k - i, zhat + i, delta + i, v + i);
    for (double x : lanes) most = std::max(most, x);
    return most;
}
#endif

void LoewnerStep(std::size_t i0, std::size_t i1, double *zhat, const double *delta,
                 const double *d, double pivot, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        LoewnerStepAvx512(i0, i1, zhat, delta, d, pivot);
        return;
    }
#else
    (void)path;
#endif
    LoewnerStepPlain(i0, i1, zhat, delta, d, pivot);
}

double SecularVector(std::size_t k, const double *zhat, const double *delta, double *v,
                     KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) return SecularVectorAvx512(k, zhat, delta, v);
#else
    (void)path;
#endif
    return SecularVectorPlain(k, zhat, delta, v);
}

// Root j of 1/rho + sum zz(i)/(d(i) - x) for ascending, distinct d: on
// return lambda = d(origin) + tau, and delta(i) = d(i) - lambda as
// (d(i) - d(origin)) - tau, accurate however close lambda is to d(i).
void SecularRoot(std::size_t k, std::size_t j, const double *d, const double *zz, double rho,
                 double zsum, double *pole, double *delta, double &lambda, KernelPath path) {
    const double inv = 1.0 / rho;
    std::size_t origin = j;
    double lo, hi;
    if (j + 1 < k) {
        const double gap = d[j + 1] - d[j];
        for (std::size_t i = 0; i < k; ++i) pole[i] = d[i] - d[j];
        const SecularParts m = SecularEvaluate(k, j, pole, zz, 0.5 * gap, delta, path);
        if (inv + m.psi + m.phi >= 0.0) {
            lo = 0.0;
            hi = 0.5 * gap;
        } else {
            origin = j + 1;
            for (std::size_t i = 0; i < k; ++i) pole[i] = d[i] - d[j + 1];
            lo = -0.5 * gap;
            hi = 0.0;
        }
    } else {
        for (std::size_t i = 0; i < k; ++i) pole[i] = d[i] - d[j];
        lo = 0.0;
        hi = rho * zsum;
    }
    // The poles beside the root, at or left of it (index jl) and right of it
    // (jr; none for the last root).
    const std::size_t jl = j;
    const bool last = j + 1 == k;
    double t = 0.5 * (lo + hi);
    for (int it = 0; it < kSecularMaxIterations; ++it) {
        const SecularParts s = SecularEvaluate(k, jl, pole, zz, t, delta, path);
        const double f = inv + s.psi + s.phi;
        const double bound = 8.0 * static_cast<double>(k) * kDcEps * (inv + std::fabs(s.psi) + s.phi);
        if (std::fabs(f) <= bound || f == 0.0) break;
        if (f < 0.0) {
            lo = t;
        } else {
            hi = t;
        }
        if (hi - lo <= 2.0 * kDcEps * std::max(std::fabs(lo), std::fabs(hi))) break;
        double next = 0.5 * (lo + hi);
        const bool bisect = it >= kSecularMaxIterations / 2 && (it & 1) != 0;
        if (!bisect) {
            const double dl = delta[jl];
            const double sl = s.dpsi * dl * dl;
            double eta;
            bool ok = false;
            if (last) {
                const double c = inv + s.psi - sl / dl;
                if (c > 0.0) {
                    eta = dl + sl / c;
                    ok = true;
                }
            } else {
                const double dr = delta[jl + 1];
                const double sr = s.dphi * dr * dr;
                const double c = inv + (s.psi - sl / dl) + (s.phi - sr / dr);
                const double a = c * (dl + dr) + sl + sr;
                const double b = dl * dr * f;
                if (c == 0.0) {
                    if (a != 0.0) {
                        eta = b / a;
                        ok = true;
                    }
                } else {
                    const double disc = std::max(a * a - 4.0 * b * c, 0.0);
                    const double qq = 0.5 * (a + WithSignOf(std::sqrt(disc), a));
                    if (qq != 0.0) {
                        const double r1 = qq / c, r2 = b / qq;
                        const bool in1 = r1 > dl && r1 < dr, in2 = r2 > dl && r2 < dr;
                        if (in1 || in2) {
                            eta = in2 ? r2 : r1;
                            ok = true;
                        }
                    }
                }
            }
            if (ok) {
                const double cand = t + eta;
                if (cand > lo && cand < hi) next = cand;
            }
        }
        if (next == 0.0) next = lo != 0.0 ? lo : hi;
        t = next;
    }
    for (std::size_t i = 0; i < k; ++i) delta[i] = pole[i] - t;
    lambda = d[origin] + t;
}

// Merges the two solved halves held in q (n x n, ldq): values d, vectors in
// the diagonal blocks, beta the coupling of rows n1-1 and n1.
void DcMerge(std::size_t n, std::size_t n1, double beta, double *d, double *q, std::size_t ldq,
             DcSpace &sp, KernelPath path) {
    const std::size_t n2 = n - n1;
    double *sorted = sp.sorted.data(), *ds = sp.ds.data(), *zs = sp.zs.data();
    std::size_t *perm = sp.perm.data(), *type = sp.type.data();
    const double sign = beta >= 0.0 ? 1.0 : -1.0;
    double rho = 2.0 * std::fabs(beta);
    const double root2 = std::sqrt(0.5);
    for (std::size_t i = 0; i < n; ++i) perm[i] = i;
    std::stable_sort(perm, perm + n, [d](std::size_t a, std::size_t b) { return d[a] < d[b]; });
    // Sorted copies: a column of T1's half holds rows 0..n1-1 only (type
    // 0), of T2's rows n1.. only (type 2); a rotation makes both full (1).
    double dmax = 0.0;
    for (std::size_t c = 0; c < n; ++c) {
        const std::size_t src = perm[c];
        double *col = sorted + c * n;
        const double *from = q + src * ldq;
        if (src < n1) {
            std::memcpy(col, from, n1 * sizeof(double));
            std::fill(col + n1, col + n, 0.0);
            zs[c] = from[n1 - 1] * root2;
            type[c] = 0;
        } else {
            std::fill(col, col + n1, 0.0);
            std::memcpy(col + n1, from + n1, n2 * sizeof(double));
            zs[c] = sign * from[n1] * root2;
            type[c] = 2;
        }
        ds[c] = d[src];
        dmax = std::max(dmax, std::fabs(ds[c]));
    }
    const double tol = 8.0 * kDcEps * std::max(dmax, rho);
    // Deflation: kept poles listed in order; the deflated ones get their
    // eigenvalue in place (ds) and are marked by type 3.
    std::size_t *kept = sp.kept.data();
    std::size_t k = 0;
    std::size_t prev = n;  // the last kept pole, none yet
    for (std::size_t i = 0; i < n; ++i) {
        if (rho * std::fabs(zs[i]) <= tol) {
            type[i] = 3;
            continue;
        }
        if (prev != n) {
            const double t = SafeHypot(zs[prev], zs[i]);
            const double c = zs[i] / t, s = zs[prev] / t;
            if (std::fabs(c * s * (ds[i] - ds[prev])) <= tol) {
                double *qp = sorted + prev * n, *qi = sorted + i * n;
                for (std::size_t r = 0; r < n; ++r) {
                    const double x = qp[r], y = qi[r];
                    qp[r] = c * x - s * y;
                    qi[r] = s * x + c * y;
                }
                const double dp = ds[prev], di = ds[i];
                ds[prev] = c * c * dp + s * s * di;
                ds[i] = s * s * dp + c * c * di;
                zs[prev] = 0.0;
                zs[i] = t;
                type[i] = type[prev] == type[i] ? type[i] : 1;
                type[prev] = 3;
                prev = i;
                continue;
            }
            kept[k++] = prev;
        }
        prev = i;
    }
    if (prev != n) kept[k++] = prev;
    // The kept poles' roots and vectors.
    double *kd = sp.zhat.data();  // kept d, then reused below
    std::vector<double> kz(k), zz(k), pole(k), lambda(k);
    double zsum = 0.0;
    for (std::size_t j = 0; j < k; ++j) {
        kd[j] = ds[kept[j]];
        kz[j] = zs[kept[j]];
        zz[j] = kz[j] * kz[j];
        zsum = zsum + zz[j];
    }
    // The secular equation in units of a power of 2 near its largest term
    // (exact, and the same vectors): its derivatives square the gaps, which
    // would leave the range beside poles far from 1.0.
    double largest = rho;
    for (std::size_t j = 0; j < k; ++j) largest = std::max(largest, std::fabs(kd[j]));
    const double unit = largest > 0.0 ? std::ldexp(1.0, std::ilogb(largest)) : 1.0;
    for (std::size_t j = 0; j < k; ++j) kd[j] = kd[j] / unit;
    rho = rho / unit;
    double *delta = sp.delta.data();
    for (std::size_t j = 0; j < k; ++j) {
        SecularRoot(k, j, kd, zz.data(), rho, zsum, pole.data(), delta + j * k, lambda[j], path);
    }
    for (std::size_t j = 0; j < k; ++j) lambda[j] = lambda[j] * unit;
    // Loewner: the z for which the computed roots are exact. Each z(i)^2
    // is -delta(i,k-1)/rho times, for j = 0..k-2 in turn, the ratio
    // delta(i,j)/(d(i) - d(j)) when j < i, -delta(i,j)/(d(j+1) - d(i))
    // otherwise: each near 1, so nothing over- or underflows.
    std::vector<double> zhat(k);
    for (std::size_t i = 0; i < k; ++i) zhat[i] = -delta[i + (k - 1) * k] / rho;
    for (std::size_t j = 0; j + 1 < k; ++j) {
        const double *dj = delta + j * k;
        LoewnerStep(0, j + 1, zhat.data(), dj, kd, kd[j + 1], path);
        LoewnerStep(j + 1, k, zhat.data(), dj, kd, kd[j], path);
    }
    for (std::size_t i = 0; i < k; ++i) zhat[i] = WithSignOf(std::sqrt(std::fabs(zhat[i])), kz[i]);
    // The kept columns grouped by type (0, 1, 2) into compact, the rows of
    // the secular vectors W alike.
    std::size_t order[3] = {0, 0, 0};
    for (std::size_t j = 0; j < k; ++j) ++order[type[kept[j]]];
    const std::size_t k0 = order[0], k1 = order[1];
    std::size_t at[3] = {0, k0, k0 + k1};
    std::vector<std::size_t> row(k);
    std::vector<double> vec(k);
    double *compact = sp.compact.data(), *w = sp.w.data();
    for (std::size_t j = 0; j < k; ++j) {
        row[j] = at[type[kept[j]]]++;
        std::memcpy(compact + row[j] * n, sorted + kept[j] * n, n * sizeof(double));
    }
    // Each vector scaled by its largest entry before its length is taken:
    // beside poles far below 1.0 the entries can be far beyond it.
    for (std::size_t j = 0; j < k; ++j) {
        double *col = w + j * k;
        const double big = SecularVector(k, zhat.data(), delta + j * k, vec.data(), path);
        for (std::size_t i = 0; i < k; ++i) col[row[i]] = vec[i];
        const double shrink = 1.0 / big;
        double norm = 0.0;
        for (std::size_t i = 0; i < k; ++i) {
            col[i] = col[i] * shrink;
            norm = norm + col[i] * col[i];
        }
        const double scale = 1.0 / std::sqrt(norm);
        for (std::size_t i = 0; i < k; ++i) col[i] = col[i] * scale;
    }
    // New vectors: rows of T1's half from the types 0 and 1, of T2's from 1
    // and 2.
    const std::size_t top = k0 + k1, bottom = k - k0;
    MatrixProduct(n1, k, top, compact, n, w, k, q, ldq, PackingSpace(n1, k, top), path);
    MatrixProduct(n2, k, bottom, compact + k0 * n + n1, n, w + k0, k, q + n1, ldq,
                  PackingSpace(n2, k, bottom), path);
    for (std::size_t j = 0; j < k; ++j) d[j] = lambda[j];
    std::size_t c = k;
    for (std::size_t i = 0; i < n; ++i) {
        if (type[i] != 3) continue;
        std::memcpy(q + c * ldq, sorted + i * n, n * sizeof(double));
        d[c++] = ds[i];
    }
}

KernelStatus DcSolve(std::size_t n, double *d, double *e, double *q, std::size_t ldq, DcSpace &sp,
                     KernelPath path) {
    if (n <= kDivideConquerLeaf) {
        for (std::size_t j = 0; j < n; ++j) {
            std::fill(q + j * ldq, q + j * ldq + n, 0.0);
            q[j + j * ldq] = 1.0;
        }
        std::vector<double> ework(n), qlwork(TridiagonalQlWorkspace(n));
        std::copy(e, e + (n - 1), ework.begin());
        ework[n - 1] = 0.0;
        return TridiagonalQl(n, d, ework.data(), q, ldq, qlwork.data(), path) == 0 ? 0 : 1;
    }
    const std::size_t n1 = n / 2;
    const double beta = e[n1 - 1];
    const double rho = std::fabs(beta);
    d[n1 - 1] = d[n1 - 1] - rho;
    d[n1] = d[n1] - rho;
    if (DcSolve(n1, d, e, q, ldq, sp, path) != 0) return 1;
    if (DcSolve(n - n1, d + n1, e + n1, q + n1 + n1 * ldq, ldq, sp, path) != 0) return 1;
    DcMerge(n, n1, beta, d, q, ldq, sp, path);
    return 0;
}

}  // namespace

KernelStatus TridiagonalDivideConquer(std::size_t n, double *d, const double *e, double *q,
                                      std::size_t ldq, KernelPath path) {
    if (n == 0) return 0;
    // Infinite or NaN entries would leave the merges no order to sort
    // poles by: they are given up at once.
    bool finite = true;
    for (std::size_t i = 0; i < n; ++i) finite = finite && std::isfinite(d[i]);
    for (std::size_t i = 0; i + 1 < n; ++i) finite = finite && std::isfinite(e[i]);
    if (!finite) {
        for (std::size_t i = 0; i < n; ++i) d[i] = LibraryNaN();
        return 1;
    }
    std::vector<double> ecopy(e, e + (n - 1));
    thread_local DcSpace space;
    if (n > kDivideConquerLeaf) space.Reserve(n);
    if (DcSolve(n, d, ecopy.data(), q, ldq, space, path) != 0) {
        for (std::size_t i = 0; i < n; ++i) d[i] = LibraryNaN();
        return 1;
    }
    return 0;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
