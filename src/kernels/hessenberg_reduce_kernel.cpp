// src/kernels/hessenberg_reduce_kernel.cpp: reduction to Hessenberg form by elimination.
#include <cmath>
#include <cstddef>
#include <utility>

#include "kernels/eig_kernel.h"
#include "kernels/eig_steps.h"
#include "kernels/kernel_support.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// The column forms of the elimination's two updates, each element on its
// own: a row's update seen down one column, col(r) -= y(r)*s for the rows
// that take part (y(r) != 0.0), and the column update z(r) += t*x(r).
struct ColumnUpdates {
    void (*rows)(std::size_t count, const double *y, double s, double *col);
    void (*add)(std::size_t count, double t, const double *x, double *z);
};

void RowsPlain(std::size_t count, const double *y, double s, double *col) {
    for (std::size_t r = 0; r < count; ++r) {
        if (y[r] != 0.0) col[r] = col[r] - y[r] * s;
    }
}

void AddPlain(std::size_t count, double t, const double *x, double *z) {
    for (std::size_t r = 0; r < count; ++r) z[r] = z[r] + t * x[r];
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx512f"))) void RowsAvx512(std::size_t count, const double *y, double s,
                                                   double *col) {
    const __m512d vs = _mm512_set1_pd(s);
    for (std::size_t r = 0; r < count; r += 8) {
        const auto tail = static_cast<__mmask8>(count - r >= 8 ? 0xFF : (1u << (count - r)) - 1);
        const __m512d yr = _mm512_maskz_loadu_pd(tail, y + r);
        const __mmask8 take = _mm512_mask_cmp_pd_mask(tail, yr, _mm512_setzero_pd(), _CMP_NEQ_UQ);
        const __m512d c = _mm512_maskz_loadu_pd(take, col + r);
        const __m512d v = _mm512_sub_pd(c, _mm512_mul_pd(yr, vs));
        _mm512_mask_storeu_pd(col + r, take, v);
    }
}

__attribute__((target("avx512f"))) void AddAvx512(std::size_t count, double t, const double *x,
                                                  double *z) {
    const __m512d vt = _mm512_set1_pd(t);
    for (std::size_t r = 0; r < count; r += 8) {
        const auto tail = static_cast<__mmask8>(count - r >= 8 ? 0xFF : (1u << (count - r)) - 1);
        const __m512d v = _mm512_add_pd(_mm512_maskz_loadu_pd(tail, z + r),
                                        _mm512_mul_pd(vt, _mm512_maskz_loadu_pd(tail, x + r)));
        _mm512_mask_storeu_pd(z + r, tail, v);
    }
}

__attribute__((target("avx2"))) void RowsAvx2(std::size_t count, const double *y, double s,
                                              double *col) {
    const __m256d vs = _mm256_set1_pd(s);
    std::size_t r = 0;
    for (; r + 4 <= count; r += 4) {
        const __m256d yr = _mm256_loadu_pd(y + r);
        const __m256d take = _mm256_cmp_pd(yr, _mm256_setzero_pd(), _CMP_NEQ_UQ);
        const __m256d c = _mm256_loadu_pd(col + r);
        const __m256d v = _mm256_sub_pd(c, _mm256_mul_pd(yr, vs));
        _mm256_storeu_pd(col + r, _mm256_blendv_pd(c, v, take));
    }
    RowsPlain(count - r, y + r, s, col + r);
}

__attribute__((target("avx2"))) void AddAvx2(std::size_t count, double t, const double *x,
                                             double *z) {
    const __m256d vt = _mm256_set1_pd(t);
    std::size_t r = 0;
    for (; r + 4 <= count; r += 4) {
        const __m256d v =
            _mm256_add_pd(_mm256_loadu_pd(z + r), _mm256_mul_pd(vt, _mm256_loadu_pd(x + r)));
        _mm256_storeu_pd(z + r, v);
    }
    AddPlain(count - r, t, x + r, z + r);
}
#endif

ColumnUpdates ColumnUpdatesFor(KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) return {RowsAvx512, AddAvx512};
    if (path != KernelPath::kPlain && HasAvx2()) return {RowsAvx2, AddAvx2};
#endif
    static_cast<void>(path);
    return {RowsPlain, AddPlain};
}

}  // namespace

void ReduceToHessenberg(std::size_t n, double *a_, std::size_t lda, std::size_t *pivot,
                        KernelPath path) {
    if (path == KernelPath::kPlain) {
        // The steps as written, row by row.
        eig_steps::ReduceToHessenbergIn(n, a_, lda, pivot);
        return;
    }
    const Indexed a{a_, lda};
    if (pivot != nullptr) {
        for (std::size_t m = 1; m <= n; ++m) pivot[m - 1] = m;
    }
    const ColumnUpdates update = ColumnUpdatesFor(path);
    for (std::size_t m = 2; m + 1 <= n; ++m) {
        // Pivot: the first largest magnitude in column m-1 from row m down.
        double x = 0.0;
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
        // Eliminate below the subdiagonal, keeping the multiplier in place.
        double *am = a.Column(m);
        // Column by column. Row i's update of a column j > m uses a(m,j),
        // which no update of this step changes, and column i is read only
        // by iteration i's update of column m: so column i takes the
        // updates of rows m+1..i, gives its multiple to column m, then
        // takes those of the rows below. Column m's own elements meet
        // their updates in the order of the rows. A row takes part when its
        // multiplier is not 0.0; one whose quotient alone is 0.0 (an
        // underflow, an infinite pivot) would be lost, so such a step is
        // made row by row.
        double *y = a.Column(m - 1);
        bool vanishes = false;
        for (std::size_t r = m; r < n; ++r) vanishes = vanishes || (y[r] != 0.0 && y[r] / x == 0.0);
        if (vanishes) {
            eig_steps::EliminateBelow(n, eig_steps::IndexedOf<double>{a_, lda}, m, x);
            continue;
        }
        for (std::size_t r = m; r < n; ++r) {
            if (y[r] != 0.0) y[r] = y[r] / x;
        }
        for (std::size_t i = m + 1; i <= n; ++i) {
            double *ai = a.Column(i);
            const double s = ai[m - 1];
            const bool takes = y[i - 1] != 0.0;
            if (takes) am[i - 1] = am[i - 1] - y[i - 1] * am[m - 1];
            update.rows(i - m, y + m, s, ai + m);
            if (takes) update.add(n, y[i - 1], ai, am);
            update.rows(n - i, y + i, s, ai + i);
        }
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
