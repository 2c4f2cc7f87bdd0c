// src/kernels/wide_columns.h: contiguous lines folded sixteen at a time with AVX2.
//
// Private to the library. Four elements of each of four columns are loaded
// together and transposed in registers, so that one register carries the
// states of four lines; each line still takes its elements one at a time,
// in order. Four registers of lines keep the vector unit busy where one
// line per chain would wait on each result.
#ifndef MATRIX_SRC_KERNELS_WIDE_COLUMNS_H
#define MATRIX_SRC_KERNELS_WIDE_COLUMNS_H

#include <cstddef>

#include "kernels/kernel_support.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

#if defined(MATRIX_HAVE_AVX2_PATHS)

constexpr std::size_t kWideGroups = 4;
constexpr std::size_t kWideColumns = 4 * kWideGroups;

/// Loads elements k .. k+3 of four columns `n` apart, starting at
/// `group`, as four vectors: x[j] holds element k+j of the four columns.
__attribute__((target("avx2"))) inline void LoadFourSteps(const double *group, std::size_t n,
                                                          __m256d x[4]) {
    const __m256d v0 = _mm256_loadu_pd(group);
    const __m256d v1 = _mm256_loadu_pd(group + n);
    const __m256d v2 = _mm256_loadu_pd(group + 2 * n);
    const __m256d v3 = _mm256_loadu_pd(group + 3 * n);
    const __m256d t0 = _mm256_unpacklo_pd(v0, v1);
    const __m256d t1 = _mm256_unpackhi_pd(v0, v1);
    const __m256d t2 = _mm256_unpacklo_pd(v2, v3);
    const __m256d t3 = _mm256_unpackhi_pd(v2, v3);
    x[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    x[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    x[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    x[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

/// Folds the sixteen contiguous columns of n >= 1 elements that start at a
/// (column c at a + c * n) and stores their states at out[0..16). A wide
/// fold is a class with:
///   static constexpr bool kFromFirst;  // the state starts as the first
///                                      // element (else as Start())
///   static __m256d Start();            // the starting state, if not
///   static __m256d Step(__m256d s, __m256d x);  // four lines, one element
/// with Start and Step compiled for AVX2.
template <class Fold>
__attribute__((target("avx2"))) void FoldSixteenColumns(const double *a, std::size_t n,
                                                        double *out) {
    __m256d s[kWideGroups];
    std::size_t k = Fold::kFromFirst ? 1 : 0;
    for (std::size_t g = 0; g < kWideGroups; ++g) {
        const double *first = a + 4 * g * n;
        s[g] = Fold::kFromFirst ? _mm256_set_pd(first[3 * n], first[2 * n], first[n], first[0])
                                : Fold::Start();
    }
    for (; k + 4 <= n; k += 4) {
#pragma GCC unroll 4
        for (std::size_t g = 0; g < kWideGroups; ++g) {
            __m256d x[4];
            LoadFourSteps(a + 4 * g * n + k, n, x);
            for (const __m256d step : x) s[g] = Fold::Step(s[g], step);
        }
    }
    for (; k < n; ++k) {
        for (std::size_t g = 0; g < kWideGroups; ++g) {
            const double *x = a + 4 * g * n + k;
            s[g] = Fold::Step(s[g], _mm256_set_pd(x[3 * n], x[2 * n], x[n], x[0]));
        }
    }
    for (std::size_t g = 0; g < kWideGroups; ++g) _mm256_storeu_pd(out + 4 * g, s[g]);
}

#endif

/// Folds the leading columns of `columns` contiguous ones (n >= 1 elements
/// each) with Fold, sixteen at a time, when the processor has AVX2 and
/// `path` is not kPlain, storing their states at out[0..done); returns done, a
/// multiple of sixteen (0 without AVX2 and on the plain path). The caller
/// folds the rest, one line at a time, which gives the same bits.
template <class Fold>
std::size_t FoldColumnsWide(const double *a, std::size_t n, std::size_t columns, double *out,
                            KernelPath path) {
    std::size_t done = 0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path != KernelPath::kPlain && HasAvx2()) {
        for (; done + kWideColumns <= columns; done += kWideColumns) {
            FoldSixteenColumns<Fold>(a + done * n, n, out + done);
        }
    }
#else
    (void)a;
    (void)n;
    (void)columns;
    (void)out;
    (void)path;
#endif
    return done;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_WIDE_COLUMNS_H
