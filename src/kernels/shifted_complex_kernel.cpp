// src/kernels/shifted_complex_kernel.cpp: H - shift*I with a complex shift, factored and solved.
#include <algorithm>
#include <cstddef>
#include <utility>

#include "kernels/eig_kernel.h"
#include "kernels/kernel_support.h"
#include "kernels/shifted_layout.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// The elimination's record: multipliers' parts and interchange marks.
struct ComplexSteps {
    const double *lr, *li, *swapped;
};

// Steps j0..j1-1 of the elimination on one column below them (c >= j1):
// each interchange, then lower -= l(j)*upper. Row j is final once step j is
// done, so the running row stays in registers.
void ApplyComplexSteps(std::size_t j0, std::size_t j1, const ComplexSteps &s, double *xr,
                       double *xi) {
    if (j0 == j1) return;
    double upr = xr[j0], upi = xi[j0];
    for (std::size_t j = j0; j < j1; ++j) {
        double lor = xr[j + 1], loi = xi[j + 1];
        if (s.swapped[j] != 0.0) {
            std::swap(upr, lor);
            std::swap(upi, loi);
        }
        xr[j] = upr;
        xi[j] = upi;
        double tr, ti;
        ComplexMultiply(s.lr[j], s.li[j], upr, upi, tr, ti);
        upr = lor - tr;
        upi = loi - ti;
    }
    xr[j1] = upr;
    xi[j1] = upi;
}

// ApplyComplexSteps on the four columns c..c+3 together: their chains are
// independent, so they overlap, and each interchange test serves all four.
void ApplyComplexStepsFour(std::size_t j0, std::size_t j1, const ComplexSteps &s, double *ur,
                           double *ui, std::size_t c) {
    double *cr[4], *ci[4];
    double upr[4], upi[4];
    for (std::size_t q = 0; q < 4; ++q) {
        cr[q] = ur + ShiftedColumn(c + q);
        ci[q] = ui + ShiftedColumn(c + q);
        upr[q] = cr[q][j0];
        upi[q] = ci[q][j0];
    }
    for (std::size_t j = j0; j < j1; ++j) {
        double lor[4], loi[4];
        for (std::size_t q = 0; q < 4; ++q) {
            lor[q] = cr[q][j + 1];
            loi[q] = ci[q][j + 1];
        }
        if (s.swapped[j] != 0.0) {
            for (std::size_t q = 0; q < 4; ++q) {
                std::swap(upr[q], lor[q]);
                std::swap(upi[q], loi[q]);
            }
        }
        const double lr = s.lr[j], li = s.li[j];
        for (std::size_t q = 0; q < 4; ++q) {
            cr[q][j] = upr[q];
            ci[q][j] = upi[q];
            double tr, ti;
            ComplexMultiply(lr, li, upr[q], upi[q], tr, ti);
            upr[q] = lor[q] - tr;
            upi[q] = loi[q] - ti;
        }
    }
    for (std::size_t q = 0; q < 4; ++q) {
        cr[q][j1] = upr[q];
        ci[q][j1] = upi[q];
    }
}

// Step j on its own column: the interchange decided and made, a zero pivot
// replaced, the multiplier taken. Row j+1 keeps the eliminated entry.
void DecideComplexStep(std::size_t j, double tiny, double *lr, double *li, double *swapped,
                       double *cr, double *ci) {
    swapped[j] = 0.0;
    if (ComplexPivotMagnitude(cr[j + 1], ci[j + 1]) > ComplexPivotMagnitude(cr[j], ci[j])) {
        std::swap(cr[j], cr[j + 1]);
        std::swap(ci[j], ci[j + 1]);
        swapped[j] = 1.0;
    }
    if (cr[j] == 0.0 && ci[j] == 0.0) cr[j] = tiny;
    ComplexDivide(cr[j + 1], ci[j + 1], cr[j], ci[j], lr[j], li[j]);
}

// x(r) -= t(q)*u(q)(r) for q = 0..3 in turn, each product as
// ComplexMultiply(t, u), for r < count: four columns of the back
// substitution in one pass over x.
void SubtractFourComplexPlain(std::size_t count, const double *tr, const double *ti,
                              const double *const *ur, const double *const *ui, double *xr,
                              double *xi) {
    for (std::size_t r = 0; r < count; ++r) {
        double a = xr[r], b = xi[r];
        for (std::size_t q = 0; q < 4; ++q) {
            double pr, pi;
            ComplexMultiply(tr[q], ti[q], ur[q][r], ui[q][r], pr, pi);
            a = a - pr;
            b = b - pi;
        }
        xr[r] = a;
        xi[r] = b;
    }
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// Each lane rounds as the scalar operations on its element.
__attribute__((target("avx512f"))) void SubtractFourComplexAvx512(
    std::size_t count, const double *tr, const double *ti, const double *const *ur,
    const double *const *ui, double *xr, double *xi) {
    __m512d sr[4], si[4];
    for (std::size_t q = 0; q < 4; ++q) {
        sr[q] = _mm512_set1_pd(tr[q]);
        si[q] = _mm512_set1_pd(ti[q]);
    }
    for (std::size_t r = 0; r < count; r += 8) {
        const auto mask = static_cast<__mmask8>(count - r >= 8 ? 0xFF : (1u << (count - r)) - 1);
        __m512d a = _mm512_maskz_loadu_pd(mask, xr + r), b = _mm512_maskz_loadu_pd(mask, xi + r);
        for (std::size_t q = 0; q < 4; ++q) {
            const __m512d c = _mm512_maskz_loadu_pd(mask, ur[q] + r);
            const __m512d d = _mm512_maskz_loadu_pd(mask, ui[q] + r);
            const __m512d pr = _mm512_sub_pd(_mm512_mul_pd(sr[q], c), _mm512_mul_pd(si[q], d));
            const __m512d pi = _mm512_add_pd(_mm512_mul_pd(sr[q], d), _mm512_mul_pd(si[q], c));
            a = _mm512_sub_pd(a, pr);
            b = _mm512_sub_pd(b, pi);
        }
        _mm512_mask_storeu_pd(xr + r, mask, a);
        _mm512_mask_storeu_pd(xi + r, mask, b);
    }
}

__attribute__((target("avx2"))) void SubtractFourComplexAvx2(std::size_t count, const double *tr,
                                                             const double *ti,
                                                             const double *const *ur,
                                                             const double *const *ui, double *xr,
                                                             double *xi) {
    __m256d sr[4], si[4];
    for (std::size_t q = 0; q < 4; ++q) {
        sr[q] = _mm256_set1_pd(tr[q]);
        si[q] = _mm256_set1_pd(ti[q]);
    }
    std::size_t r = 0;
    for (; r + 4 <= count; r += 4) {
        __m256d a = _mm256_loadu_pd(xr + r), b = _mm256_loadu_pd(xi + r);
        for (std::size_t q = 0; q < 4; ++q) {
            const __m256d c = _mm256_loadu_pd(ur[q] + r), d = _mm256_loadu_pd(ui[q] + r);
            const __m256d pr = _mm256_sub_pd(_mm256_mul_pd(sr[q], c), _mm256_mul_pd(si[q], d));
            const __m256d pi = _mm256_add_pd(_mm256_mul_pd(sr[q], d), _mm256_mul_pd(si[q], c));
            a = _mm256_sub_pd(a, pr);
            b = _mm256_sub_pd(b, pi);
        }
        _mm256_storeu_pd(xr + r, a);
        _mm256_storeu_pd(xi + r, b);
    }
    const double *restR[4] = {ur[0] + r, ur[1] + r, ur[2] + r, ur[3] + r};
    const double *restI[4] = {ui[0] + r, ui[1] + r, ui[2] + r, ui[3] + r};
    SubtractFourComplexPlain(count - r, tr, ti, restR, restI, xr + r, xi + r);
}
#endif

}  // namespace

// The complex shifted factors: U's packed columns (real parts, then
// imaginary parts, each laid out as HessenbergShiftedFactor's), then the
// multipliers' real and imaginary parts and the interchange marks, n each.
std::size_t HessenbergShiftedComplexWorkspace(std::size_t n) {
    return 2 * (n == 0 ? 0 : ShiftedColumn(n - 1) + n) + 3 * n;
}

void HessenbergShiftedFactorComplex(std::size_t n, const double *h, std::size_t ldh, double sr,
                                    double si, double tiny, double *work, KernelPath path) {
    const std::size_t packed = ShiftedColumn(n - 1) + n;
    double *ur = work, *ui = work + packed;
    double *lr = ui + packed, *li = lr + n, *swapped = li + n;
    for (std::size_t c = 0; c < n; ++c) {
        double *column = ur + ShiftedColumn(c);
        std::copy(h + c * ldh, h + c * ldh + ShiftedRows(n, c), column);
        std::fill(ui + ShiftedColumn(c), ui + ShiftedColumn(c) + ShiftedRows(n, c), 0.0);
        column[c] = column[c] - sr;
        ui[ShiftedColumn(c) + c] = 0.0 - si;
    }
    const ComplexSteps steps{lr, li, swapped};
    if (path == KernelPath::kPlain) {
        // Step by step along the rows, as the elimination is written.
        for (std::size_t j = 0; j + 1 < n; ++j) {
            DecideComplexStep(j, tiny, lr, li, swapped, ur + ShiftedColumn(j),
                              ui + ShiftedColumn(j));
            for (std::size_t c = j + 1; c < n; ++c)
                ApplyComplexSteps(j, j + 1, steps, ur + ShiftedColumn(c), ui + ShiftedColumn(c));
        }
    } else {
        // Blocks of steps, as HessenbergShiftedFactor's faster path: each
        // element still meets the steps in increasing order.
        for (std::size_t j0 = 0; j0 + 1 < n; j0 += kShiftedStepBlock) {
            const std::size_t j1 = std::min(j0 + kShiftedStepBlock, n - 1);
            for (std::size_t j = j0; j < j1; ++j) {
                double *cr = ur + ShiftedColumn(j), *ci = ui + ShiftedColumn(j);
                ApplyComplexSteps(j0, j, steps, cr, ci);
                DecideComplexStep(j, tiny, lr, li, swapped, cr, ci);
            }
            std::size_t c = j1;
            for (; c + 4 <= n; c += 4) ApplyComplexStepsFour(j0, j1, steps, ur, ui, c);
            for (; c < n; ++c)
                ApplyComplexSteps(j0, j1, steps, ur + ShiftedColumn(c), ui + ShiftedColumn(c));
        }
    }
    const std::size_t last = ShiftedColumn(n - 1) + (n - 1);
    if (ur[last] == 0.0 && ui[last] == 0.0) ur[last] = tiny;
}

void HessenbergShiftedSolveComplex(std::size_t n, const double *work, const double *br,
                                   const double *bi, double *xr, double *xi, KernelPath path) {
    const std::size_t packed = ShiftedColumn(n - 1) + n;
    const double *ur = work, *ui = work + packed;
    const double *lr = ui + packed, *li = lr + n, *swapped = li + n;
    std::copy(br, br + n, xr);
    std::copy(bi, bi + n, xi);
    for (std::size_t j = 0; j + 1 < n; ++j) {
        if (swapped[j] != 0.0) {
            std::swap(xr[j], xr[j + 1]);
            std::swap(xi[j], xi[j + 1]);
        }
        double tr, ti;
        ComplexMultiply(lr[j], li[j], xr[j], xi[j], tr, ti);
        xr[j + 1] = xr[j + 1] - tr;
        xi[j + 1] = xi[j + 1] - ti;
    }
    // Column by column from the last. The faster paths settle four columns
    // among themselves, then take their four products from each row above
    // them in one pass, column c's first: every x(r) meets the same
    // operations in the same order.
    auto subtractFour = SubtractFourComplexPlain;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) {
        subtractFour = SubtractFourComplexAvx512;
    } else if (path != KernelPath::kPlain && HasAvx2()) {
        subtractFour = SubtractFourComplexAvx2;
    }
#endif
    std::size_t c = n;
    if (path != KernelPath::kPlain) {
        for (; c >= 4; c -= 4) {
            const double *colr[4], *coli[4];
            double tr[4], ti[4];
            for (std::size_t q = 0; q < 4; ++q) {
                const std::size_t cq = c - 1 - q;
                colr[q] = ur + ShiftedColumn(cq);
                coli[q] = ui + ShiftedColumn(cq);
                double vr = xr[cq], vi = xi[cq];
                for (std::size_t p = 0; p < q; ++p) {
                    double pr, pi;
                    ComplexMultiply(tr[p], ti[p], colr[p][cq], coli[p][cq], pr, pi);
                    vr = vr - pr;
                    vi = vi - pi;
                }
                ComplexDivide(vr, vi, colr[q][cq], coli[q][cq], vr, vi);
                tr[q] = xr[cq] = vr;
                ti[q] = xi[cq] = vi;
            }
            subtractFour(c - 4, tr, ti, colr, coli, xr, xi);
        }
    }
    while (c-- > 0) {
        const double *cr = ur + ShiftedColumn(c), *ci = ui + ShiftedColumn(c);
        ComplexDivide(xr[c], xi[c], cr[c], ci[c], xr[c], xi[c]);
        for (std::size_t r = 0; r < c; ++r) {
            double tr, ti;
            ComplexMultiply(xr[c], xi[c], cr[r], ci[r], tr, ti);
            xr[r] = xr[r] - tr;
            xi[r] = xi[r] - ti;
        }
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
