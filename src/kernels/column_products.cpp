// src/kernels/column_products.cpp: products of many columns with one vector, in vector lanes.
#include "kernels/column_products.h"

#include "kernels/transpose_eight.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>

#include <algorithm>

namespace kiv {
namespace matrix {
namespace kernels {

#define MATRIX_TARGET_AVX512 __attribute__((target("avx512f")))
// GCC's own headers leave the unused source of some shuffles undefined on
// purpose, which its uninitialised-value warning then reports.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

// Carries eight chains (lane q for column q) over the first `rows` of
// eight rows whose products p[q] holds by column: one add per row, in
// increasing row order, as the scalar chains make them.
MATRIX_TARGET_AVX512 inline __attribute__((always_inline)) __m512d AddRowsInOrder(
    __m512d acc, __m512d p[8], std::size_t rows) {
    TransposeEight(p);
    for (std::size_t r = 0; r < rows; ++r) acc = _mm512_add_pd(acc, p[r]);
    return acc;
}

MATRIX_TARGET_AVX512 inline __mmask8 FirstLanes(std::size_t count) {
    return static_cast<__mmask8>((1u << count) - 1);
}

// One block of eight rows from row k, or its first `rows` (kFull: all
// eight), of up to 8 * kGroups columns: each column is updated (kUpdates
// 1: c += e*t; 2: c = (c + f*y) + e*t, each sum rounded) and stored, then
// multiplied, and the products are turned into rows and added to the
// chains one row at a time. Lanes of missing columns multiply zeros and
// are never stored.
template <std::size_t kGroups, int kUpdates, bool kFull, class Column>
MATRIX_TARGET_AVX512 inline __attribute__((always_inline)) void ProductsBlock(
    std::size_t columns, Column const *c, const double *f, const double *y, const double *e,
    std::size_t k, std::size_t rows, const double *t, const double *x, __m512d *acc) {
    const __mmask8 lanes = kFull ? static_cast<__mmask8>(0xFF) : FirstLanes(rows);
    __m512d tv = _mm512_setzero_pd();
    __m512d yv = _mm512_setzero_pd();
    if constexpr (kUpdates >= 1) tv = _mm512_maskz_loadu_pd(lanes, t + k);
    if constexpr (kUpdates == 2) yv = _mm512_maskz_loadu_pd(lanes, y + k);
    const __m512d xv = _mm512_maskz_loadu_pd(lanes, x + k);
#pragma GCC unroll 2
    for (std::size_t g = 0; g < kGroups; ++g) {
        __m512d p[8];
#pragma GCC unroll 8
        for (std::size_t q = 0; q < 8; ++q) {
            const std::size_t j = 8 * g + q;
            __m512d v = _mm512_setzero_pd();
            if (j < columns) {
                v = _mm512_maskz_loadu_pd(lanes, c[j] + k);
                if constexpr (kUpdates == 2)
                    v = _mm512_add_pd(v, _mm512_mul_pd(_mm512_set1_pd(f[j]), yv));
                if constexpr (kUpdates >= 1) {
                    v = _mm512_add_pd(v, _mm512_mul_pd(_mm512_set1_pd(e[j]), tv));
                    _mm512_mask_storeu_pd(c[j] + k, lanes, v);
                }
                v = _mm512_mul_pd(v, xv);
            }
            p[q] = v;
        }
        acc[g] = AddRowsInOrder(acc[g], p, kFull ? 8 : rows);
    }
}

// The chains of kGroups groups of eight columns in vector lanes, each
// column read once.
template <std::size_t kGroups, int kUpdates, class Column>
MATRIX_TARGET_AVX512 inline __attribute__((always_inline)) void ProductsBody(
    std::size_t columns, Column const *c, const double *f, const double *y, const double *e,
    std::size_t count, const double *t, const double *x, double *dots) {
    __m512d acc[kGroups];
    for (std::size_t g = 0; g < kGroups; ++g) acc[g] = _mm512_setzero_pd();
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8)
        ProductsBlock<kGroups, kUpdates, true>(columns, c, f, y, e, k, 8, t, x, acc);
    if (k < count)
        ProductsBlock<kGroups, kUpdates, false>(columns, c, f, y, e, k, count - k, t, x, acc);
    for (std::size_t g = 0; g < kGroups && 8 * g < columns; ++g)
        _mm512_mask_storeu_pd(dots + 8 * g, FirstLanes(std::min<std::size_t>(8, columns - 8 * g)),
                              acc[g]);
}

// ProductsBody with as few groups as the columns need.
template <int kUpdates, class Column>
MATRIX_TARGET_AVX512 void ProductsOfColumns(std::size_t columns, Column const *c, const double *f,
                                            const double *y, const double *e, std::size_t count,
                                            const double *t, const double *x, double *dots) {
    if (columns > 8) {
        ProductsBody<2, kUpdates>(columns, c, f, y, e, count, t, x, dots);
    } else {
        ProductsBody<1, kUpdates>(columns, c, f, y, e, count, t, x, dots);
    }
}

}  // namespace

MATRIX_TARGET_AVX512 void ColumnProductsAvx512(std::size_t columns, const double *const *c,
                                               std::size_t count, const double *x, double *dots) {
    ProductsOfColumns<0>(columns, c, nullptr, nullptr, nullptr, count, nullptr, x, dots);
}

MATRIX_TARGET_AVX512 void UpdateThenColumnProductsAvx512(std::size_t columns, double *const *c,
                                                         const double *e, std::size_t count,
                                                         const double *t, const double *x,
                                                         double *dots) {
    ProductsOfColumns<1>(columns, c, nullptr, nullptr, e, count, t, x, dots);
}

MATRIX_TARGET_AVX512 void UpdateTwiceThenColumnProductsAvx512(std::size_t columns, double *const *c,
                                                              const double *f, const double *y,
                                                              const double *e, std::size_t count,
                                                              const double *t, const double *x,
                                                              double *dots) {
    ProductsOfColumns<2>(columns, c, f, y, e, count, t, x, dots);
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_HAVE_AVX2_PATHS
