// src/kernels/column_products_avx2.cpp: products of many columns with one vector, in AVX2 lanes.
#include "kernels/column_products.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>

#include <algorithm>

namespace kiv {
namespace matrix {
namespace kernels {

#define MATRIX_TARGET_AVX2 __attribute__((target("avx2")))

namespace {

// Lanes 0 .. rows - 1 on (the sign bit that _mm256_maskload_pd reads).
MATRIX_TARGET_AVX2 inline __m256i FirstLanes(std::size_t rows) {
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(rows)),
                              _mm256_set_epi64x(3, 2, 1, 0));
}

// Carries four chains (lane q for column q) over the first `rows` of four
// rows whose products p[q] holds by column: the 4x4 transpose turns them
// into rows, added one at a time in increasing row order, as the scalar
// chains add them.
MATRIX_TARGET_AVX2 inline __attribute__((always_inline)) __m256d AddRowsInOrder(
    __m256d acc, const __m256d p[4], std::size_t rows) {
    const __m256d t0 = _mm256_unpacklo_pd(p[0], p[1]);
    const __m256d t1 = _mm256_unpackhi_pd(p[0], p[1]);
    const __m256d t2 = _mm256_unpacklo_pd(p[2], p[3]);
    const __m256d t3 = _mm256_unpackhi_pd(p[2], p[3]);
    const __m256d row[4] = {
        _mm256_permute2f128_pd(t0, t2, 0x20), _mm256_permute2f128_pd(t1, t3, 0x20),
        _mm256_permute2f128_pd(t0, t2, 0x31), _mm256_permute2f128_pd(t1, t3, 0x31)};
    for (std::size_t r = 0; r < rows; ++r) acc = _mm256_add_pd(acc, row[r]);
    return acc;
}

// One block of four rows from row k, or its first `rows` (kFull: all
// four), of up to 4 * kGroups columns: each column is updated (kUpdates 1:
// c += e*t; 2: c = (c + f*y) + e*t, each sum rounded) and stored, then
// multiplied, and the products are turned into rows and added to the
// chains one row at a time. Lanes of missing rows or columns hold zeros
// and are never stored.
template <std::size_t kGroups, int kUpdates, bool kFull, class Column>
MATRIX_TARGET_AVX2 inline __attribute__((always_inline)) void ProductsBlock(
    std::size_t columns, Column const *c, const double *f, const double *y, const double *e,
    std::size_t k, std::size_t rows, const double *t, const double *x, __m256d *acc) {
    const __m256i lanes = FirstLanes(rows);
    __m256d tv = _mm256_setzero_pd();
    __m256d yv = _mm256_setzero_pd();
    if constexpr (kUpdates >= 1)
        tv = kFull ? _mm256_loadu_pd(t + k) : _mm256_maskload_pd(t + k, lanes);
    if constexpr (kUpdates == 2)
        yv = kFull ? _mm256_loadu_pd(y + k) : _mm256_maskload_pd(y + k, lanes);
    const __m256d xv = kFull ? _mm256_loadu_pd(x + k) : _mm256_maskload_pd(x + k, lanes);
#pragma GCC unroll 4
    for (std::size_t g = 0; g < kGroups; ++g) {
        __m256d p[4];
#pragma GCC unroll 4
        for (std::size_t q = 0; q < 4; ++q) {
            const std::size_t j = 4 * g + q;
            __m256d v = _mm256_setzero_pd();
            if (j < columns) {
                v = kFull ? _mm256_loadu_pd(c[j] + k) : _mm256_maskload_pd(c[j] + k, lanes);
                if constexpr (kUpdates == 2)
                    v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_set1_pd(f[j]), yv));
                if constexpr (kUpdates >= 1) {
                    v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_set1_pd(e[j]), tv));
                    if (kFull) {
                        _mm256_storeu_pd(c[j] + k, v);
                    } else {
                        _mm256_maskstore_pd(c[j] + k, lanes, v);
                    }
                }
                v = _mm256_mul_pd(v, xv);
            }
            p[q] = v;
        }
        acc[g] = AddRowsInOrder(acc[g], p, kFull ? 4 : rows);
    }
}

// The chains of kGroups groups of four columns in vector lanes, each
// column read once.
template <std::size_t kGroups, int kUpdates, class Column>
MATRIX_TARGET_AVX2 inline __attribute__((always_inline)) void ProductsBody(
    std::size_t columns, Column const *c, const double *f, const double *y, const double *e,
    std::size_t count, const double *t, const double *x, double *dots) {
    __m256d acc[kGroups];
    for (std::size_t g = 0; g < kGroups; ++g) acc[g] = _mm256_setzero_pd();
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4)
        ProductsBlock<kGroups, kUpdates, true>(columns, c, f, y, e, k, 4, t, x, acc);
    if (k < count)
        ProductsBlock<kGroups, kUpdates, false>(columns, c, f, y, e, k, count - k, t, x, acc);
    for (std::size_t g = 0; g < kGroups && 4 * g < columns; ++g) {
        alignas(32) double sums[4];
        _mm256_store_pd(sums, acc[g]);
        std::copy(sums, sums + std::min<std::size_t>(4, columns - 4 * g), dots + 4 * g);
    }
}

// ProductsBody with as few groups as the columns need.
template <int kUpdates, class Column>
MATRIX_TARGET_AVX2 void ProductsOfColumns(std::size_t columns, Column const *c, const double *f,
                                          const double *y, const double *e, std::size_t count,
                                          const double *t, const double *x, double *dots) {
    static_assert(kProductColumns == 16, "up to four groups of four columns");
    if (columns > 8) {
        ProductsBody<4, kUpdates>(columns, c, f, y, e, count, t, x, dots);
    } else if (columns > 4) {
        ProductsBody<2, kUpdates>(columns, c, f, y, e, count, t, x, dots);
    } else {
        ProductsBody<1, kUpdates>(columns, c, f, y, e, count, t, x, dots);
    }
}

}  // namespace

MATRIX_TARGET_AVX2 void ColumnProductsAvx2(std::size_t columns, const double *const *c,
                                           std::size_t count, const double *x, double *dots) {
    ProductsOfColumns<0>(columns, c, nullptr, nullptr, nullptr, count, nullptr, x, dots);
}

MATRIX_TARGET_AVX2 void UpdateThenColumnProductsAvx2(std::size_t columns, double *const *c,
                                                     const double *e, std::size_t count,
                                                     const double *t, const double *x,
                                                     double *dots) {
    ProductsOfColumns<1>(columns, c, nullptr, nullptr, e, count, t, x, dots);
}

MATRIX_TARGET_AVX2 void UpdateTwiceThenColumnProductsAvx2(std::size_t columns, double *const *c,
                                                          const double *f, const double *y,
                                                          const double *e, std::size_t count,
                                                          const double *t, const double *x,
                                                          double *dots) {
    ProductsOfColumns<2>(columns, c, f, y, e, count, t, x, dots);
}

#undef MATRIX_TARGET_AVX2

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_HAVE_AVX2_PATHS
