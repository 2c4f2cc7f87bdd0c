// src/kernels/qr_kernel.cpp: Householder QR factorisation with optional column pivoting.
#include "kernels/qr_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "kernels/kernel_support.h"
#include "kernels/mtimes_kernel.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Rows of Q copied out at once while a reflection is applied: enough to
// keep the product's tiles busy, few enough for the copy to stay in L2.
constexpr std::size_t kFormQRowBlock = 128;

// Swaps column p into position k when it is the first strictly longest of
// the columns k..n-1 measured over rows k..m-1.
void PivotColumns(std::size_t m, std::size_t n, double *a, std::size_t lda, std::uint32_t *perm,
                  std::size_t k) {
    double best = 0.0;
    std::size_t p = k;
    for (std::size_t j = k; j < n; ++j) {
        const double norm = ColumnNorm(m - k, a + k + j * lda, 1);
        if (norm > best) {
            best = norm;
            p = j;
        }
    }
    if (p == k) return;
    std::swap(perm[k], perm[p]);
    std::swap_ranges(a + k * lda, a + k * lda + m, a + p * lda);
}

}  // namespace

namespace {

// One entry of ColumnNorm's recurrence.
inline void AddToColumnNorm(double t, double &scale, double &sum) {
    if (!(t > kColumnNormCutoff || t < -kColumnNormCutoff)) return;
    const double a = std::fabs(t);
    if (scale >= a) {
        const double q = a / scale;
        sum = sum + q * q;
    } else {
        const double q = scale / a;
        sum = sum * (q * q) + 1.0;
        scale = a;
    }
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// ColumnNorm of a contiguous vector, eight entries at a time: while no kept
// entry of the eight exceeds the scale, their quotients and squares are
// eight independent lane operations, and only the sum runs in order. An
// entry that is cut off (or NaN) gives a square of +0.0, and adding it
// changes nothing: the sum starts at +0.0 and only grows, so it is never
// -0.0. Eight entries with one above the scale take the scalar recurrence.
__attribute__((target("avx512f"))) double ColumnNormAvx512(std::size_t count, const double *x) {
    double scale = 1.0;
    double sum = 0.0;
    const __m512i magnitude = _mm512_set1_epi64(0x7FFFFFFFFFFFFFFFLL);
    const __m512d cutoff = _mm512_set1_pd(kColumnNormCutoff);
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m512d a = _mm512_castsi512_pd(
            _mm512_and_si512(_mm512_castpd_si512(_mm512_loadu_pd(x + i)), magnitude));
        const __mmask8 kept = _mm512_cmp_pd_mask(a, cutoff, _CMP_GT_OQ);
        const __m512d s = _mm512_set1_pd(scale);
        if (_mm512_mask_cmp_pd_mask(kept, a, s, _CMP_GT_OQ) != 0) {
            for (std::size_t l = 0; l < 8; ++l) AddToColumnNorm(x[i + l], scale, sum);
            continue;
        }
        const __m512d q = _mm512_maskz_div_pd(kept, a, s);
        alignas(64) double squares[8];
        _mm512_store_pd(squares, _mm512_mul_pd(q, q));
        for (std::size_t l = 0; l < 8; ++l) sum = sum + squares[l];
    }
    for (; i < count; ++i) AddToColumnNorm(x[i], scale, sum);
    return std::sqrt(sum) * scale;
}

// ColumnNormAvx512 four entries at a time. With no masked division the
// quotients of all four lanes are formed and those of entries cut off (or
// NaN) are then cleared to +0.0, which adds nothing, as above.
__attribute__((target("avx2"))) double ColumnNormAvx2(std::size_t count, const double *x) {
    double scale = 1.0;
    double sum = 0.0;
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    const __m256d cutoff = _mm256_set1_pd(kColumnNormCutoff);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d a = _mm256_and_pd(_mm256_loadu_pd(x + i), magnitude);
        const __m256d kept = _mm256_cmp_pd(a, cutoff, _CMP_GT_OQ);
        const __m256d s = _mm256_set1_pd(scale);
        if (_mm256_movemask_pd(_mm256_and_pd(kept, _mm256_cmp_pd(a, s, _CMP_GT_OQ))) != 0) {
            for (std::size_t l = 0; l < 4; ++l) AddToColumnNorm(x[i + l], scale, sum);
            continue;
        }
        const __m256d q = _mm256_and_pd(_mm256_div_pd(a, s), kept);
        alignas(32) double squares[4];
        _mm256_store_pd(squares, _mm256_mul_pd(q, q));
        for (std::size_t l = 0; l < 4; ++l) sum = sum + squares[l];
    }
    for (; i < count; ++i) AddToColumnNorm(x[i], scale, sum);
    return std::sqrt(sum) * scale;
}
#endif

}  // namespace

double ColumnNorm(std::size_t count, const double *x, std::size_t stride, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (stride == 1 && path == KernelPath::kFastest && HasAvx512())
        return ColumnNormAvx512(count, x);
    if (stride == 1 && path == KernelPath::kFastest && HasAvx2()) return ColumnNormAvx2(count, x);
#endif
    static_cast<void>(path);
    double scale = 1.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) AddToColumnNorm(x[i * stride], scale, sum);
    return std::sqrt(sum) * scale;
}

void HouseholderQr(std::size_t m, std::size_t n, double *a, std::size_t lda, std::uint32_t *perm,
                   double *c, double *d) {
    const std::size_t steps = m > n ? n : m - 1;
    if (perm != nullptr) {
        for (std::size_t j = 0; j < n; ++j) perm[j] = static_cast<std::uint32_t>(j);
    }

    for (std::size_t k = 0; k < steps; ++k) {
        if (perm != nullptr) PivotColumns(m, n, a, lda, perm, k);
        double *ak = a + k * lda;

        double scale = std::fabs(ak[k]);
        for (std::size_t i = k + 1; i < m; ++i) {
            const double t = std::fabs(ak[i]);
            if (t > scale) scale = t;
        }
        if (scale == 0.0) {
            // A zero column: no reflection, a zero diagonal element.
            c[k] = 0.0;
            d[k] = 0.0;
            continue;
        }

        // The Householder vector, from the column scaled to a largest
        // magnitude of 1 so that the sum of squares cannot overflow.
        double sum = 0.0;
        for (std::size_t i = k; i < m; ++i) {
            ak[i] = ak[i] / scale;
            sum = sum + ak[i] * ak[i];
        }
        double sigma = std::sqrt(sum);
        if (!(ak[k] >= 0.0)) sigma = -sigma;
        ak[k] = ak[k] + sigma;
        c[k] = ak[k] * sigma;
        d[k] = -(sigma * scale);

        // Apply the reflection to the columns on the right.
        for (std::size_t j = k + 1; j < n; ++j) {
            double *aj = a + j * lda;
            double s = 0.0;
            for (std::size_t i = k; i < m; ++i) s = s + aj[i] * ak[i];
            const double tau = s / c[k];
            for (std::size_t i = k; i < m; ++i) aj[i] = aj[i] - tau * ak[i];
        }
    }

    if (perm != nullptr && m < n) PivotColumns(m, n, a, lda, perm, m - 1);
    // The last row of a wide or square matrix needs no reflection.
    if (m <= n) d[m - 1] = a[(m - 1) + (m - 1) * lda];
}

std::size_t HouseholderFormQWorkspace(std::size_t m) {
    if (m <= 1) return 0;
    const std::size_t rows = std::min(m, kFormQRowBlock);
    return (m - 1) * (m - 1) + rows * (m - 1) + MatrixProductWorkspace(rows, m - 1, m - 1);
}

void HouseholderFormQ(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                      const double *c, double *q, std::size_t ldq, double *work) {
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t i = 0; i < m; ++i) q[i + j * ldq] = i == j ? 1.0 : 0.0;
    }
    if (m <= 1) return;

    // The first reflection updates the identity directly.
    if (std::fabs(c[0]) > kReflectionSkip) {
        const double t = -1.0 / c[0];
        for (std::size_t j = 0; j < m; ++j) {
            const double f = t * v[j];
            for (std::size_t i = 0; i < m; ++i) q[i + j * ldq] = q[i + j * ldq] + f * v[i];
        }
    }

    const std::size_t rows = std::min(m, kFormQRowBlock);
    double *w = work;
    double *copy = w + (m - 1) * (m - 1);
    double *pack = copy + rows * (m - 1);
    for (std::size_t step = 1; step < k; ++step) {
        if (!(std::fabs(c[step]) > kReflectionSkip)) continue;
        const std::size_t p = m - step;
        const double *vk = v + step + step * ldv;

        // W = I + t*v*v', built column by column.
        const double t = -1.0 / c[step];
        for (std::size_t j = 0; j < p; ++j) {
            const double f = t * vk[j];
            double *wj = w + j * p;
            for (std::size_t i = 0; i < p; ++i) {
                wj[i] = i == j ? 1.0 : 0.0;
                wj[i] = wj[i] + f * vk[i];
            }
        }

        // Q(:, step..m-1) = Q(:, step..m-1) * W, a block of rows at a time
        // through a copy of their old values.
        double *qk = q + step * ldq;
        double *packed = MatrixProductWorkspace(rows, p, p) != 0 ? pack : nullptr;
        for (std::size_t i0 = 0; i0 < m; i0 += rows) {
            const std::size_t rb = std::min(rows, m - i0);
            for (std::size_t j = 0; j < p; ++j) {
                std::copy(qk + i0 + j * ldq, qk + i0 + j * ldq + rb, copy + j * rb);
            }
            MatrixProduct(rb, p, p, copy, rb, w, p, qk + i0, ldq, packed);
        }
    }
}

namespace {

// Xgeqp3's test for a column length that its update can no longer be
// trusted with: the update keeps length*sqrt(1 - (r/length)^2), which has
// lost about half the digits once the factor's square, weighed by the
// drift since the last recomputation, falls below sqrt(eps).
const double kNormUpdateLimit = std::sqrt(0x1p-52);

// The partial sums of DotFast.
constexpr std::size_t kDotLanes = 16;

// Columns whose panel sums for one row run side by side: four chains of
// eight lanes, or eight of four.
constexpr std::size_t kPanelRowColumns = 32;

// A remaining column with all its entries within the cut-off has a
// ColumnNorm of 0; its updated length is at most about sqrt(rows) times
// the cut-off, so below twice that it is recomputed.
double CutoffReach(std::size_t rows) {
    return 2.0 * std::sqrt(static_cast<double>(rows)) * kColumnNormCutoff;
}

// The reflection of one column, y := y - (DotFast(x, y) / c) * x, on the
// plain path or with AVX2; both give the same bits, since each lane of a
// vector operation rounds exactly as the scalar operation on that element.
struct Reflect {
    double (*dot)(std::size_t, const double *, const double *);
    void (*subtract)(std::size_t, double, const double *, double *);
    // The dot products of x with four columns y, y + ldy, y + 2*ldy and
    // y + 3*ldy, each exactly as dot gives it.
    void (*dotFour)(std::size_t count, const double *x, const double *y, std::size_t ldy,
                    double *out);
    // The panel's sums for row k of `width` columns side by side, each
    // column's chain in increasing q as written in HouseholderQrFast:
    // f = tau*f, f += F(q)*aux(q) for q < i, F(i) = f, then r -= v(q)*F(q)
    // for q <= i. F(q) is row q of F', at fRows + q*ldf, one entry per
    // column.
    void (*panelRow)(std::size_t width, std::size_t i, double tau, const double *aux, double *fRows,
                     std::size_t ldf, const double *v, double *f, double *r);
    // subtract(count, t[q], x + q*ldx, y) for q = 0..terms-1 in turn.
    void (*subtractColumns)(std::size_t count, std::size_t terms, const double *t, const double *x,
                            std::size_t ldx, double *y);

    void operator()(std::size_t count, const double *x, double c, double *y) const {
        subtract(count, dot(count, x, y) / c, x, y);
    }
};

double CombinePartialSums(const double *p) {
    const double low = ((p[0] + p[1]) + (p[2] + p[3])) + ((p[4] + p[5]) + (p[6] + p[7]));
    const double high = ((p[8] + p[9]) + (p[10] + p[11])) + ((p[12] + p[13]) + (p[14] + p[15]));
    return low + high;
}

double DotPlain(std::size_t count, const double *x, const double *y) {
    double p[kDotLanes] = {};
    std::size_t i = 0;
    for (; i + kDotLanes <= count; i += kDotLanes) {
        for (std::size_t l = 0; l < kDotLanes; ++l) p[l] = p[l] + x[i + l] * y[i + l];
    }
    for (std::size_t l = 0; i + l < count; ++l) p[l] = p[l] + x[i + l] * y[i + l];
    return CombinePartialSums(p);
}

void DotFourPlain(std::size_t count, const double *x, const double *y, std::size_t ldy,
                  double *out) {
    for (std::size_t c = 0; c < 4; ++c) out[c] = DotPlain(count, x, y + c * ldy);
}

void PanelRowPlain(std::size_t width, std::size_t i, double tau, const double *aux, double *fRows,
                   std::size_t ldf, const double *v, double *f, double *r) {
    for (std::size_t col = 0; col < width; ++col) f[col] = tau * f[col];
    for (std::size_t q = 0; q < i; ++q) {
        const double *fq = fRows + q * ldf;
        for (std::size_t col = 0; col < width; ++col) f[col] = f[col] + fq[col] * aux[q];
    }
    double *fi = fRows + i * ldf;
    for (std::size_t col = 0; col < width; ++col) fi[col] = f[col];
    for (std::size_t q = 0; q <= i; ++q) {
        const double *fq = fRows + q * ldf;
        for (std::size_t col = 0; col < width; ++col) r[col] = r[col] - v[q] * fq[col];
    }
}

// y -= tau*x over count entries; each element independent.
void SubtractPlain(std::size_t count, double tau, const double *x, double *y) {
    for (std::size_t i = 0; i < count; ++i) y[i] = y[i] - tau * x[i];
}

void SubtractColumnsPlain(std::size_t count, std::size_t terms, const double *t, const double *x,
                          std::size_t ldx, double *y) {
    for (std::size_t q = 0; q < terms; ++q) SubtractPlain(count, t[q], x + q * ldx, y);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx2"))) double DotAvx2(std::size_t count, const double *x,
                                               const double *y) {
    __m256d v[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(),
                    _mm256_setzero_pd()};
    std::size_t i = 0;
    for (; i + kDotLanes <= count; i += kDotLanes) {
        for (std::size_t q = 0; q < 4; ++q) {
            const __m256d product =
                _mm256_mul_pd(_mm256_loadu_pd(x + i + 4 * q), _mm256_loadu_pd(y + i + 4 * q));
            v[q] = _mm256_add_pd(v[q], product);
        }
    }
    alignas(32) double p[kDotLanes];
    for (std::size_t q = 0; q < 4; ++q) _mm256_store_pd(p + 4 * q, v[q]);
    for (std::size_t l = 0; i + l < count; ++l) p[l] = p[l] + x[i + l] * y[i + l];
    return CombinePartialSums(p);
}

// DotAvx2 of x with two columns at once, each load of x serving both: the
// eight running vectors and x's four fill twelve of the sixteen registers.
__attribute__((target("avx2"))) void DotTwoAvx2(std::size_t count, const double *x,
                                                const double *y0, const double *y1,
                                                double *out) {
    __m256d v[2][4];
    for (auto &column : v)
        for (auto &lanes : column) lanes = _mm256_setzero_pd();
    const double *y[2] = {y0, y1};
    std::size_t i = 0;
    for (; i + kDotLanes <= count; i += kDotLanes) {
        __m256d xq[4];
        for (std::size_t q = 0; q < 4; ++q) xq[q] = _mm256_loadu_pd(x + i + 4 * q);
        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t q = 0; q < 4; ++q) {
                const __m256d product = _mm256_mul_pd(xq[q], _mm256_loadu_pd(y[c] + i + 4 * q));
                v[c][q] = _mm256_add_pd(v[c][q], product);
            }
        }
    }
    for (std::size_t c = 0; c < 2; ++c) {
        alignas(32) double p[kDotLanes];
        for (std::size_t q = 0; q < 4; ++q) _mm256_store_pd(p + 4 * q, v[c][q]);
        for (std::size_t l = 0; i + l < count; ++l) p[l] = p[l] + x[i + l] * y[c][i + l];
        out[c] = CombinePartialSums(p);
    }
}

void DotFourAvx2(std::size_t count, const double *x, const double *y, std::size_t ldy,
                 double *out) {
    DotTwoAvx2(count, x, y, y + ldy, out);
    DotTwoAvx2(count, x, y + 2 * ldy, y + 3 * ldy, out + 2);
}

// Four columns at once, each column's sixteen partial sums in two 8-lane
// vectors, every load of x serving all four. The last count % 16 products
// come from zero-masked loads: a lane past the end adds 0.0*0.0 = +0.0 to
// its partial sum, which started at +0.0 and so can never be -0.0 (a sum is
// -0.0 only when both terms are), and the sum stays as it was, NaN and
// infinity included.
__attribute__((target("avx512f"))) void DotFourAvx512(std::size_t count, const double *x,
                                                      const double *y, std::size_t ldy,
                                                      double *out) {
    __m512d low[4], high[4];
    for (std::size_t c = 0; c < 4; ++c) low[c] = high[c] = _mm512_setzero_pd();
    const double *y1 = y + ldy, *y2 = y + 2 * ldy, *y3 = y + 3 * ldy;
    std::size_t i = 0;
    for (; i + kDotLanes <= count; i += kDotLanes) {
        const __m512d xl = _mm512_loadu_pd(x + i), xh = _mm512_loadu_pd(x + i + 8);
        low[0] = _mm512_add_pd(low[0], _mm512_mul_pd(xl, _mm512_loadu_pd(y + i)));
        high[0] = _mm512_add_pd(high[0], _mm512_mul_pd(xh, _mm512_loadu_pd(y + i + 8)));
        low[1] = _mm512_add_pd(low[1], _mm512_mul_pd(xl, _mm512_loadu_pd(y1 + i)));
        high[1] = _mm512_add_pd(high[1], _mm512_mul_pd(xh, _mm512_loadu_pd(y1 + i + 8)));
        low[2] = _mm512_add_pd(low[2], _mm512_mul_pd(xl, _mm512_loadu_pd(y2 + i)));
        high[2] = _mm512_add_pd(high[2], _mm512_mul_pd(xh, _mm512_loadu_pd(y2 + i + 8)));
        low[3] = _mm512_add_pd(low[3], _mm512_mul_pd(xl, _mm512_loadu_pd(y3 + i)));
        high[3] = _mm512_add_pd(high[3], _mm512_mul_pd(xh, _mm512_loadu_pd(y3 + i + 8)));
    }
    const std::size_t rest = count - i;
    if (rest != 0) {
        const auto lowMask = static_cast<__mmask8>(rest >= 8 ? 0xFF : (1u << rest) - 1);
        const auto highMask = static_cast<__mmask8>(rest > 8 ? (1u << (rest - 8)) - 1 : 0);
        const __m512d xl = _mm512_maskz_loadu_pd(lowMask, x + i);
        const __m512d xh = _mm512_maskz_loadu_pd(highMask, x + i + 8);
        const double *column[4] = {y, y1, y2, y3};
        for (std::size_t c = 0; c < 4; ++c) {
            const double *yc = column[c] + i;
            low[c] = _mm512_add_pd(low[c], _mm512_mul_pd(xl, _mm512_maskz_loadu_pd(lowMask, yc)));
            high[c] =
                _mm512_add_pd(high[c], _mm512_mul_pd(xh, _mm512_maskz_loadu_pd(highMask, yc + 8)));
        }
    }
    alignas(64) double p[kDotLanes];
    for (std::size_t c = 0; c < 4; ++c) {
        _mm512_store_pd(p, low[c]);
        _mm512_store_pd(p + 8, high[c]);
        out[c] = CombinePartialSums(p);
    }
}

// PanelRowPlain on kPanelRowColumns (or fewer) columns in vector registers:
// each lane rounds as the scalar chain of its column.
__attribute__((target("avx512f"))) void PanelRowAvx512(std::size_t width, std::size_t i, double tau,
                                                       const double *aux, double *fRows,
                                                       std::size_t ldf, const double *v, double *f,
                                                       double *r) {
    constexpr std::size_t kVectors = kPanelRowColumns / 8;
    __mmask8 mask[kVectors];
    __m512d acc[kVectors];
    const __m512d t = _mm512_set1_pd(tau);
    for (std::size_t g = 0; g < kVectors; ++g) {
        const std::size_t c = 8 * g;
        const std::size_t lanes = c >= width ? 0 : std::min<std::size_t>(8, width - c);
        mask[g] = static_cast<__mmask8>((1u << lanes) - 1);
        acc[g] = _mm512_mul_pd(t, _mm512_maskz_loadu_pd(mask[g], f + c));
    }
    for (std::size_t q = 0; q < i; ++q) {
        const __m512d x = _mm512_set1_pd(aux[q]);
        const double *fq = fRows + q * ldf;
        for (std::size_t g = 0; g < kVectors; ++g) {
            const __m512d y = _mm512_maskz_loadu_pd(mask[g], fq + 8 * g);
            acc[g] = _mm512_add_pd(acc[g], _mm512_mul_pd(y, x));
        }
    }
    double *fi = fRows + i * ldf;
    for (std::size_t g = 0; g < kVectors; ++g) {
        _mm512_mask_storeu_pd(fi + 8 * g, mask[g], acc[g]);
        acc[g] = _mm512_maskz_loadu_pd(mask[g], r + 8 * g);
    }
    for (std::size_t q = 0; q <= i; ++q) {
        const __m512d x = _mm512_set1_pd(v[q]);
        const double *fq = fRows + q * ldf;
        for (std::size_t g = 0; g < kVectors; ++g) {
            const __m512d y = _mm512_maskz_loadu_pd(mask[g], fq + 8 * g);
            acc[g] = _mm512_sub_pd(acc[g], _mm512_mul_pd(x, y));
        }
    }
    for (std::size_t g = 0; g < kVectors; ++g) _mm512_mask_storeu_pd(r + 8 * g, mask[g], acc[g]);
}

// PanelRowAvx2's whole vectors, kFull of them (at most kPanelRowColumns/4),
// a count known when compiling so that the sums stay in registers.
template <std::size_t kFull>
__attribute__((target("avx2"))) inline void PanelRowVectorsAvx2(std::size_t i, double tau,
                                                                const double *aux, double *fRows,
                                                                std::size_t ldf, const double *v,
                                                                double *f, double *r) {
    __m256d acc[kFull > 0 ? kFull : 1];
    const __m256d t = _mm256_set1_pd(tau);
    for (std::size_t g = 0; g < kFull; ++g) acc[g] = _mm256_mul_pd(t, _mm256_loadu_pd(f + 4 * g));
    for (std::size_t q = 0; q < i; ++q) {
        const __m256d x = _mm256_set1_pd(aux[q]);
        const double *fq = fRows + q * ldf;
        for (std::size_t g = 0; g < kFull; ++g)
            acc[g] = _mm256_add_pd(acc[g], _mm256_mul_pd(_mm256_loadu_pd(fq + 4 * g), x));
    }
    double *fi = fRows + i * ldf;
    for (std::size_t g = 0; g < kFull; ++g) {
        _mm256_storeu_pd(fi + 4 * g, acc[g]);
        acc[g] = _mm256_loadu_pd(r + 4 * g);
    }
    for (std::size_t q = 0; q <= i; ++q) {
        const __m256d x = _mm256_set1_pd(v[q]);
        const double *fq = fRows + q * ldf;
        for (std::size_t g = 0; g < kFull; ++g)
            acc[g] = _mm256_sub_pd(acc[g], _mm256_mul_pd(x, _mm256_loadu_pd(fq + 4 * g)));
    }
    for (std::size_t g = 0; g < kFull; ++g) _mm256_storeu_pd(r + 4 * g, acc[g]);
}

__attribute__((target("avx2"))) void PanelRowAvx2(std::size_t width, std::size_t i, double tau,
                                                  const double *aux, double *fRows, std::size_t ldf,
                                                  const double *v, double *f, double *r) {
    static_assert(kPanelRowColumns == 32, "PanelRowAvx2 takes up to eight vectors");
    const std::size_t full = width / 4 < 8 ? width / 4 : 8;
    switch (full) {
        case 8: PanelRowVectorsAvx2<8>(i, tau, aux, fRows, ldf, v, f, r); break;
        case 7: PanelRowVectorsAvx2<7>(i, tau, aux, fRows, ldf, v, f, r); break;
        case 6: PanelRowVectorsAvx2<6>(i, tau, aux, fRows, ldf, v, f, r); break;
        case 5: PanelRowVectorsAvx2<5>(i, tau, aux, fRows, ldf, v, f, r); break;
        case 4: PanelRowVectorsAvx2<4>(i, tau, aux, fRows, ldf, v, f, r); break;
        case 3: PanelRowVectorsAvx2<3>(i, tau, aux, fRows, ldf, v, f, r); break;
        case 2: PanelRowVectorsAvx2<2>(i, tau, aux, fRows, ldf, v, f, r); break;
        case 1: PanelRowVectorsAvx2<1>(i, tau, aux, fRows, ldf, v, f, r); break;
        default: break;
    }
    const __m256d t = _mm256_set1_pd(tau);
    double *fi = fRows + i * ldf;
    const std::size_t done = 4 * full;
    if (done < width) {
        // The last one to three columns in the low lanes of one vector,
        // through masked loads and stores: the lanes beyond hold zeros and
        // are never stored.
        const std::size_t rest = width - done;
        const __m256i mask = _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(rest)),
                                                _mm256_set_epi64x(3, 2, 1, 0));
        __m256d last = _mm256_mul_pd(t, _mm256_maskload_pd(f + done, mask));
        for (std::size_t q = 0; q < i; ++q) {
            const __m256d fq = _mm256_maskload_pd(fRows + q * ldf + done, mask);
            last = _mm256_add_pd(last, _mm256_mul_pd(fq, _mm256_set1_pd(aux[q])));
        }
        _mm256_maskstore_pd(fi + done, mask, last);
        last = _mm256_maskload_pd(r + done, mask);
        for (std::size_t q = 0; q <= i; ++q) {
            const __m256d fq = _mm256_maskload_pd(fRows + q * ldf + done, mask);
            last = _mm256_sub_pd(last, _mm256_mul_pd(_mm256_set1_pd(v[q]), fq));
        }
        _mm256_maskstore_pd(r + done, mask, last);
    }
}

__attribute__((target("avx2"))) void SubtractAvx2(std::size_t count, double tau, const double *x,
                                                  double *y) {
    const __m256d t = _mm256_set1_pd(tau);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d product = _mm256_mul_pd(t, _mm256_loadu_pd(x + i));
        _mm256_storeu_pd(y + i, _mm256_sub_pd(_mm256_loadu_pd(y + i), product));
    }
    for (; i < count; ++i) y[i] = y[i] - tau * x[i];
}

// SubtractColumnsPlain with each vector of y loaded once and its terms
// subtracted in turn in registers: every element still takes them in
// increasing q.
__attribute__((target("avx2"))) void SubtractColumnsAvx2(std::size_t count, std::size_t terms,
                                                         const double *t, const double *x,
                                                         std::size_t ldx, double *y) {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256d low = _mm256_loadu_pd(y + i), high = _mm256_loadu_pd(y + i + 4);
        for (std::size_t q = 0; q < terms; ++q) {
            const __m256d tq = _mm256_set1_pd(t[q]);
            const double *xq = x + q * ldx + i;
            low = _mm256_sub_pd(low, _mm256_mul_pd(tq, _mm256_loadu_pd(xq)));
            high = _mm256_sub_pd(high, _mm256_mul_pd(tq, _mm256_loadu_pd(xq + 4)));
        }
        _mm256_storeu_pd(y + i, low);
        _mm256_storeu_pd(y + i + 4, high);
    }
    for (; i < count; ++i) {
        double yi = y[i];
        for (std::size_t q = 0; q < terms; ++q) yi = yi - t[q] * x[q * ldx + i];
        y[i] = yi;
    }
}
#endif

Reflect ReflectFor(KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512())
        return {DotAvx2, SubtractAvx2, DotFourAvx512, PanelRowAvx512, SubtractColumnsAvx2};
    if (path != KernelPath::kPlain && HasAvx2())
        return {DotAvx2, SubtractAvx2, DotFourAvx2, PanelRowAvx2, SubtractColumnsAvx2};
#endif
    static_cast<void>(path);
    return {DotPlain, SubtractPlain, DotFourPlain, PanelRowPlain, SubtractColumnsPlain};
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// HouseholderQrFast's update of the remaining column lengths from the
// finished row (row elements row[j*lda]), four columns at a time from
// column j while four remain; returns the first column not done. Each lane
// takes the scalar loop's operations on its column: the quotients and the
// square root of columns whose length is already within reach are formed
// too, and then dropped. max(0.0, x) is x where 0.0 < x, else +0.0.
__attribute__((target("avx2"))) std::size_t ShortenLengthsAvx2(std::size_t j, std::size_t n,
                                                               const double *row, std::size_t lda,
                                                               double *length,
                                                               const double *reference,
                                                               double reach, bool &stale) {
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
    const __m256d within = _mm256_set1_pd(reach), limit = _mm256_set1_pd(kNormUpdateLimit);
    const __m256d dropped = _mm256_set1_pd(-1.0);
    int failed = 0;
    for (; j + 4 <= n; j += 4) {
        const __m256d x = _mm256_and_pd(
            _mm256_set_pd(row[(j + 3) * lda], row[(j + 2) * lda], row[(j + 1) * lda], row[j * lda]),
            magnitude);
        const __m256d len = _mm256_loadu_pd(length + j);
        const __m256d ratio = _mm256_div_pd(x, len);
        const __m256d product = _mm256_mul_pd(_mm256_add_pd(one, ratio), _mm256_sub_pd(one, ratio));
        const __m256d left = _mm256_and_pd(product, _mm256_cmp_pd(zero, product, _CMP_LT_OQ));
        const __m256d drift = _mm256_div_pd(len, _mm256_loadu_pd(reference + j));
        const __m256d updated = _mm256_mul_pd(len, _mm256_sqrt_pd(left));
        const __m256d weighed = _mm256_mul_pd(_mm256_mul_pd(left, drift), drift);
        const __m256d kept =
            _mm256_and_pd(_mm256_cmp_pd(len, within, _CMP_GT_OQ),
                          _mm256_and_pd(_mm256_cmp_pd(weighed, limit, _CMP_GT_OQ),
                                        _mm256_cmp_pd(updated, within, _CMP_GT_OQ)));
        _mm256_storeu_pd(length + j, _mm256_blendv_pd(dropped, updated, kept));
        failed |= _mm256_movemask_pd(kept) ^ 0xF;
    }
    if (failed != 0) stale = true;
    return j;
}
#endif

#if defined(MATRIX_HAVE_AVX2_PATHS)
// Raises scale to the largest |x[r]| for r from `first` on in blocks of 16
// while they last, as the scalar loop `if (|x[r]| > scale) scale = |x[r]|`
// does, and returns the first r not looked at. Every lane starts from
// scale and keeps the larger of two values only where it is strictly
// larger (MAXPD keeps its second operand otherwise, NaN included), so a NaN
// scale stays NaN and a NaN entry never raises it: the lanes' order does
// not matter, and combining them the same way gives the scalar answer.
__attribute__((target("avx2"))) std::size_t LargestMagnitudeAvx2(std::size_t first,
                                                                 std::size_t count, const double *x,
                                                                 double &scale) {
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    __m256d s[4];
    for (auto &lanes : s) lanes = _mm256_set1_pd(scale);
    std::size_t r = first;
    for (; r + 16 <= count; r += 16) {
        for (std::size_t g = 0; g < 4; ++g)
            s[g] = _mm256_max_pd(_mm256_and_pd(_mm256_loadu_pd(x + r + 4 * g), magnitude), s[g]);
    }
    alignas(32) double lanes[16];
    for (std::size_t g = 0; g < 4; ++g) _mm256_store_pd(lanes + 4 * g, s[g]);
    for (double t : lanes) {
        if (t > scale) scale = t;
    }
    return r;
}
#endif

// The first strictly longest of the lengths of columns k..n-1 (from 0.0;
// column k when all are 0) moves to position k, with its length entries;
// returns where it came from.
std::size_t PivotByLengths(std::size_t m, std::size_t n, double *a, std::size_t lda,
                           std::uint32_t *perm, std::size_t k, double *length, double *reference) {
    double best = 0.0;
    std::size_t p = k;
    for (std::size_t j = k; j < n; ++j) {
        if (length[j] > best) {
            best = length[j];
            p = j;
        }
    }
    if (p == k) return p;
    std::swap(perm[k], perm[p]);
    std::swap(length[k], length[p]);
    std::swap(reference[k], reference[p]);
    std::swap_ranges(a + k * lda, a + k * lda + m, a + p * lda);
    return p;
}

// Columns of Q or B taken through all their reflections at once: a panel
// meets every reflection while it stays in cache. Each column still takes
// its reflections one after the other, so the width changes no bit.
constexpr std::size_t kPanelColumns = 32;

// Reflections per panel of the fast order's factorisation: the trailing
// columns meet a panel's reflections in one product.
constexpr std::size_t kQrBlock = 32;

// Reflections per block of the fast order's Q: enough for the products to
// run at speed, few enough for the triangular T to stay small.
constexpr std::size_t kFormQBlock = 32;

}  // namespace

double DotFast(std::size_t count, const double *x, const double *y, KernelPath path) {
    return ReflectFor(path).dot(count, x, y);
}

void SubtractMultiple(std::size_t count, double t, const double *x, double *y, KernelPath path) {
    ReflectFor(path).subtract(count, t, x, y);
}

std::size_t HouseholderQrFastWorkspace(std::size_t n) {
    return 2 * n + 2 * kQrBlock * n + 2 * kQrBlock;
}

void HouseholderQrFast(std::size_t m, std::size_t n, double *a, std::size_t lda,
                       std::uint32_t *perm, double *c, double *d, double *work, KernelPath path) {
    const Reflect reflect = ReflectFor(path);
    const std::size_t steps = m > n ? n : m - 1;
    const std::size_t nb = kQrBlock;
    double *length = work;
    double *reference = length + n;
    // F', nb x (n - k0): F'(q, j - k0) is the multiple of reflection k0+q's
    // vector still owed by column j, kept by rows (each row's columns side
    // by side for the panel's sums), and copied by columns for the product.
    double *fRows = reference + n;
    double *ft = fRows + nb * n;
    double *aux = ft + nb * n;
    double *vk = aux + nb;
    if (perm != nullptr) {
        for (std::size_t j = 0; j < n; ++j) {
            perm[j] = static_cast<std::uint32_t>(j);
            length[j] = ColumnNorm(m, a + j * lda, 1, path);
            reference[j] = length[j];
        }
    }

    for (std::size_t k0 = 0; k0 < steps;) {
        const std::size_t most = std::min(nb, steps - k0);
        std::size_t kb = 0;
        bool stale = false;
        while (kb < most && !stale) {
            const std::size_t i = kb;
            const std::size_t k = k0 + i;
            const auto F = [fRows, k0, n](std::size_t q, std::size_t j) -> double & {
                return fRows[(j - k0) + q * n];
            };
            if (perm != nullptr) {
                const std::size_t p = PivotByLengths(m, n, a, lda, perm, k, length, reference);
                for (std::size_t q = 0; p != k && q < i; ++q) std::swap(F(q, k), F(q, p));
            }
            double *ak = a + k * lda;
            // Column k owes the panel's earlier reflections below row k.
            for (std::size_t q = 0; q < i; ++q) vk[q] = F(q, k);
            reflect.subtractColumns(m - k, i, vk, a + k + k0 * lda, lda, ak + k);

            double scale = std::fabs(ak[k]);
            std::size_t below = k + 1;
#if defined(MATRIX_HAVE_AVX2_PATHS)
            if (path != KernelPath::kPlain && HasAvx2())
                below = LargestMagnitudeAvx2(below, m, ak, scale);
#endif
            for (; below < m; ++below) {
                const double t = std::fabs(ak[below]);
                if (t > scale) scale = t;
            }
            double tau = 0.0;
            if (scale == 0.0) {
                // No reflection: a zero vector keeps the block products
                // clean (R's column is finished from d).
                c[k] = 0.0;
                d[k] = 0.0;
                std::fill(ak + k, ak + m, 0.0);
            } else {
                double sum = 0.0;
                for (std::size_t r = k; r < m; ++r) {
                    ak[r] = ak[r] / scale;
                    sum = sum + ak[r] * ak[r];
                }
                double sigma = std::sqrt(sum);
                if (!(ak[k] >= 0.0)) sigma = -sigma;
                ak[k] = ak[k] + sigma;
                c[k] = ak[k] * sigma;
                d[k] = -(sigma * scale);
                tau = 1.0 / c[k];
            }

            // F'(i, j) = tau*v'*A(k.., j) for the columns right of k, the
            // stored A corrected by what the panel's earlier reflections
            // owe: + sum over q < i of F'(q, j)*aux(q) (increasing q).
            // Then row k of those columns becomes final (R's row).
            for (std::size_t j = k0; j <= k; ++j) F(i, j) = 0.0;
            std::size_t earlier = 0;
            for (; earlier + 4 <= i; earlier += 4) {
                reflect.dotFour(m - k, ak + k, a + k + (k0 + earlier) * lda, lda, aux + earlier);
                for (std::size_t q = earlier; q < earlier + 4; ++q) aux[q] = -tau * aux[q];
            }
            for (std::size_t q = earlier; q < i; ++q)
                aux[q] = -tau * reflect.dot(m - k, ak + k, a + k + (k0 + q) * lda);
            for (std::size_t q = 0; q <= i; ++q) vk[q] = a[k + (k0 + q) * lda];
            for (std::size_t j = k + 1; j < n; j += kPanelRowColumns) {
                const std::size_t width = std::min(kPanelRowColumns, n - j);
                double f[kPanelRowColumns], r[kPanelRowColumns];
                std::size_t col = 0;
                for (; col + 4 <= width; col += 4)
                    reflect.dotFour(m - k, ak + k, a + k + (j + col) * lda, lda, f + col);
                for (; col < width; ++col)
                    f[col] = reflect.dot(m - k, a + k + (j + col) * lda, ak + k);
                for (col = 0; col < width; ++col) r[col] = a[k + (j + col) * lda];
                // The columns' chains of sums side by side, so that they
                // overlap; each column's own order is unchanged.
                reflect.panelRow(width, i, tau, aux, &F(0, j), n, vk, f, r);
                for (col = 0; col < width; ++col) a[k + (j + col) * lda] = r[col];
            }
            ++kb;
            if (perm == nullptr) continue;

            // Row k leaves the remaining columns: shorten their lengths. A
            // length that must be recomputed needs its column's rows below
            // k, which the panel has not updated yet: the panel ends here.
            const double reach = CutoffReach(m - k - 1);
            std::size_t j = k + 1;
#if defined(MATRIX_HAVE_AVX2_PATHS)
            if (path != KernelPath::kPlain && HasAvx2())
                j = ShortenLengthsAvx2(j, n, a + k, lda, length, reference, reach, stale);
#endif
            for (; j < n; ++j) {
                if (length[j] > reach) {
                    const double ratio = std::fabs(a[k + j * lda]) / length[j];
                    const double left = std::max(0.0, (1.0 + ratio) * (1.0 - ratio));
                    const double drift = length[j] / reference[j];
                    const double updated = length[j] * std::sqrt(left);
                    if (left * drift * drift > kNormUpdateLimit && updated > reach) {
                        length[j] = updated;
                        continue;
                    }
                }
                length[j] = -1.0;
                stale = true;
            }
        }

        // The rows below the panel of the columns right of it:
        // A -= V * F', each element subtracting in increasing q.
        const std::size_t done = k0 + kb;
        if (done < m && done < n) {
            for (std::size_t j = done; j < n; ++j) {
                for (std::size_t q = 0; q < kb; ++q)
                    ft[q + (j - done) * nb] = fRows[(j - k0) + q * n];
            }
            MatrixProductUpdate(m - done, n - done, kb, a + done + k0 * lda, lda, ft, nb,
                                a + done + done * lda, lda, PackingSpace(m - done, n - done, kb),
                                UpdateSign::kSubtract, SumOrder::kIncreasing, path);
        }
        for (std::size_t j = done; perm != nullptr && j < n; ++j) {
            if (!(length[j] < 0.0)) continue;
            length[j] = ColumnNorm(m - done, a + done + j * lda, 1, path);
            reference[j] = length[j];
        }
        k0 = done;
    }

    if (perm != nullptr && m < n) {
        for (std::size_t j = m - 1; j < n; ++j)
            length[j] = ColumnNorm(1, a + (m - 1) + j * lda, 1, path);
        PivotByLengths(m, n, a, lda, perm, m - 1, length, reference);
    }
    if (m <= n) d[m - 1] = a[(m - 1) + (m - 1) * lda];
}

std::size_t HouseholderFormQFastWorkspace(std::size_t m) {
    const std::size_t b = kFormQBlock;
    // V with its zeros, V', T, W = V'*Q and T*W.
    return m * b + b * m + b * b + 2 * b * m;
}

namespace {

// The compact WY form of reflections s..s+b-1 for HouseholderFormQFast and
// HouseholderApplyQFast: V (p x b, p = m - s) with explicit zeros above
// each vector in vz, V' in vt, and the upper triangular T in t (tw serves
// as b doubles of scratch).
void BuildReflectionBlock(std::size_t m, std::size_t s, std::size_t b, const double *v,
                          std::size_t ldv, const double *c, double *vz, double *vt, double *t,
                          double *tw, KernelPath path) {
    const std::size_t p = m - s;
    // V (p x b) with explicit zeros above each vector, and V'.
    for (std::size_t j = 0; j < b; ++j) {
        double *col = vz + j * p;
        std::fill(col, col + j, 0.0);
        std::copy(v + (s + j) + (s + j) * ldv, v + m + (s + j) * ldv, col + j);
        for (std::size_t i = 0; i < p; ++i) vt[j + i * b] = col[i];
    }
    // T: H(s)*...*H(s+b-1) = I - V*T*V', T upper triangular, column i
    // from tau_i = 1/c (0 for a skipped reflection) and
    // T(0..i-1, i) = -tau_i * T(0..i-1, 0..i-1) * (V(:, 0..i-1)' * v_i).
    for (std::size_t i = 0; i < b; ++i) {
        const double ci = c[s + i];
        const double tau = std::fabs(ci) > kReflectionSkip ? 1.0 / ci : 0.0;
        double *ti = t + i * b;
        std::fill(ti, ti + b, 0.0);
        ti[i] = tau;
        if (tau == 0.0) continue;
        const double *vi = vz + i * p;
        double *z = tw;
        for (std::size_t j = 0; j < i; ++j) z[j] = DotFast(p - i, vz + j * p + i, vi + i, path);
        for (std::size_t r = 0; r < i; ++r) {
            double sum = 0.0;
            for (std::size_t q2 = r; q2 < i; ++q2) sum = sum + t[r + q2 * b] * z[q2];
            ti[r] = -tau * sum;
        }
    }
}

// W2 = T*W for the upper triangular b x b T (b <= kFormQBlock) and W of
// `cols` columns: W2(r, j) = sum over q >= r of T(r,q)*W(q,j), from 0.0 in
// increasing q. The sums of one column run side by side, a column of T at
// a time, each still taking its terms in increasing q; the compiler
// vectorises them over r.
#define MATRIX_TRIANGULAR_TIMES(attributes, suffix)                                           \
    attributes void TriangularTimes##suffix(std::size_t b, std::size_t cols, const double *t, \
                                            const double *w, double *tw) {                    \
        for (std::size_t j = 0; j < cols; ++j) {                                              \
            const double *wj = w + j * b;                                                     \
            double sums[kFormQBlock];                                                         \
            for (std::size_t q = 0; q < b; ++q) {                                             \
                const double *tq = t + q * b;                                                 \
                const double x = wj[q];                                                       \
                sums[q] = 0.0;                                                                \
                for (std::size_t r = 0; r <= q; ++r) sums[r] = sums[r] + tq[r] * x;           \
            }                                                                                 \
            std::copy(sums, sums + b, tw + j * b);                                            \
        }                                                                                     \
    }
MATRIX_TRIANGULAR_TIMES(, Plain)
#if defined(MATRIX_HAVE_AVX2_PATHS)
MATRIX_TRIANGULAR_TIMES(__attribute__((target("avx2"))), Avx2)
#endif
#undef MATRIX_TRIANGULAR_TIMES

#if defined(MATRIX_HAVE_AVX2_PATHS)
// TriangularTimes of a whole block (b = kFormQBlock): a column's 32 sums in
// eight registers, unrolled so that every lane's start is known when
// compiling. In the vector that holds row q's sum, the lanes of rows
// beyond q keep their value (+0.0 so far) through a blend, so that no
// sum takes a term before its first, not even a zero times an infinity.
__attribute__((target("avx2"))) void TriangularTimesWholeAvx2(std::size_t cols, const double *t,
                                                              const double *w, double *tw) {
    constexpr std::size_t b = kFormQBlock;
    constexpr std::size_t kGroups = b / 4;
    for (std::size_t j = 0; j < cols; ++j) {
        const double *wj = w + j * b;
        __m256d acc[kGroups];
        for (auto &lanes : acc) lanes = _mm256_setzero_pd();
#pragma GCC unroll 32
        for (std::size_t q = 0; q < b; ++q) {
            const __m256d x = _mm256_set1_pd(wj[q]);
            const double *tq = t + q * b;
#pragma GCC unroll 8
            for (std::size_t g = 0; g < kGroups; ++g) {
                if (4 * g > q) break;
                const __m256d sum =
                    _mm256_add_pd(acc[g], _mm256_mul_pd(_mm256_loadu_pd(tq + 4 * g), x));
                if (4 * g + 3 <= q) {
                    acc[g] = sum;
                } else {
                    // Lanes 0..q-4g take the term.
                    const std::size_t upto = q - 4 * g;
                    const __m256d take = _mm256_castsi256_pd(
                        _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(upto) + 1),
                                           _mm256_set_epi64x(3, 2, 1, 0)));
                    acc[g] = _mm256_blendv_pd(acc[g], sum, take);
                }
            }
        }
        for (std::size_t g = 0; g < kGroups; ++g) _mm256_storeu_pd(tw + j * b + 4 * g, acc[g]);
    }
}
#endif

void TriangularTimes(std::size_t b, std::size_t cols, const double *t, const double *w, double *tw,
                     KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path != KernelPath::kPlain && HasAvx2()) {
        if (b == kFormQBlock) return TriangularTimesWholeAvx2(cols, t, w, tw);
        return TriangularTimesAvx2(b, cols, t, w, tw);
    }
#endif
    TriangularTimesPlain(b, cols, t, w, tw);
}

// B(s.., cols) -= V * (T * (V' * B(s.., cols))), column by column. With
// whole, T*W is a MatrixProduct over all of T's column (the zeros below
// its diagonal leave each sum at +0.0 until its first term, so finite
// values get the same bits as the sums from the diagonal on).
void ApplyReflectionBlock(std::size_t p, std::size_t b, std::size_t cols, const double *vz,
                          const double *vt, const double *t, double *bs, std::size_t ldb,
                          double *w, double *tw, KernelPath path, bool whole = false) {
    MatrixProduct(b, cols, p, vt, b, bs, ldb, w, b, PackingSpace(b, cols, p), path);
    if (whole) {
        MatrixProduct(b, cols, b, t, b, w, b, tw, b, PackingSpace(b, cols, b), path);
        MatrixProductUpdate(p, cols, b, vz, p, tw, b, bs, ldb, PackingSpace(p, cols, b),
                            UpdateSign::kSubtract, SumOrder::kIncreasing, path);
        return;
    }
    TriangularTimes(b, cols, t, w, tw, path);
    MatrixProductUpdate(p, cols, b, vz, p, tw, b, bs, ldb, PackingSpace(p, cols, b),
                        UpdateSign::kSubtract, SumOrder::kIncreasing, path);
}

}  // namespace

void HouseholderFormQFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                          const double *c, double *q, std::size_t ldq, double *work,
                          KernelPath path) {
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t i = 0; i < m; ++i) q[i + j * ldq] = i == j ? 1.0 : 0.0;
    }
    double *vz = work;
    double *vt = vz + m * kFormQBlock;
    double *t = vt + kFormQBlock * m;
    double *w = t + kFormQBlock * kFormQBlock;
    double *tw = w + kFormQBlock * m;
    // Blocks of reflections from the last one back: block s..s+b-1 meets
    // rows and columns s.. of Q, still the identity elsewhere.
    const std::size_t blocks = (k + kFormQBlock - 1) / kFormQBlock;
    for (std::size_t block = blocks; block-- > 0;) {
        const std::size_t s = block * kFormQBlock;
        const std::size_t b = std::min(kFormQBlock, k - s);
        const std::size_t p = m - s;
        BuildReflectionBlock(m, s, b, v, ldv, c, vz, vt, t, tw, path);
        ApplyReflectionBlock(p, b, m - s, vz, vt, t, q + s + s * ldq, ldq, w, tw, path);
    }
}

std::size_t HouseholderApplyQFastWorkspace(std::size_t m, std::size_t ncols) {
    const std::size_t b = kFormQBlock;
    return m * b + b * m + b * b + 2 * b * std::max(ncols, b);
}

void HouseholderApplyQFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                           const double *c, std::size_t ncols, double *bm, std::size_t ldb,
                           double *work, KernelPath path) {
    double *vz = work;
    double *vt = vz + m * kFormQBlock;
    double *t = vt + kFormQBlock * m;
    double *w = t + kFormQBlock * kFormQBlock;
    double *tw = w + kFormQBlock * std::max(ncols, kFormQBlock);
    const std::size_t blocks = (k + kFormQBlock - 1) / kFormQBlock;
    for (std::size_t block = blocks; block-- > 0;) {
        const std::size_t s = block * kFormQBlock;
        const std::size_t b = std::min(kFormQBlock, k - s);
        BuildReflectionBlock(m, s, b, v, ldv, c, vz, vt, t, tw, path);
        ApplyReflectionBlock(m - s, b, ncols, vz, vt, t, bm + s, ldb, w, tw, path, true);
    }
}

void HouseholderApplyQtFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                            const double *c, std::size_t ncols, double *b, std::size_t ldb,
                            KernelPath path) {
    const Reflect reflect = ReflectFor(path);
    for (std::size_t j0 = 0; j0 < ncols; j0 += kPanelColumns) {
        const std::size_t j1 = std::min(ncols, j0 + kPanelColumns);
        for (std::size_t step = 0; step < k; ++step) {
            if (!(std::fabs(c[step]) > kReflectionSkip)) continue;
            const double *vk = v + step + step * ldv;
            std::size_t j = j0;
            for (; j + 4 <= j1; j += 4) {
                double s[4];
                reflect.dotFour(m - step, vk, b + step + j * ldb, ldb, s);
                for (std::size_t col = 0; col < 4; ++col)
                    reflect.subtract(m - step, s[col] / c[step], vk, b + step + (j + col) * ldb);
            }
            for (; j < j1; ++j) reflect(m - step, vk, c[step], b + step + j * ldb);
        }
    }
}

void HouseholderFinishR(std::size_t m, std::size_t n, double *a, std::size_t lda, const double *d) {
    const std::size_t below = std::min(m - 1, n);
    for (std::size_t j = 0; j < below; ++j) std::fill(a + j + 1 + j * lda, a + m + j * lda, 0.0);
    const std::size_t diagonal = std::min(m, n);
    for (std::size_t i = 0; i < diagonal; ++i) a[i + i * lda] = d[i];
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
