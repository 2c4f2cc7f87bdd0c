// src/kernels/transpose_eight.h: an 8x8 transpose of doubles in AVX-512 registers.
#ifndef MATRIX_SRC_KERNELS_TRANSPOSE_EIGHT_H
#define MATRIX_SRC_KERNELS_TRANSPOSE_EIGHT_H

#include <cstddef>

#include "kernels/kernel_support.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>

namespace kiv {
namespace matrix {
namespace kernels {

/// On entry p[q] holds column q of an 8x8 block (its rows in the lanes); on
/// return p[r] holds row r, lane q from column q. Lanes are moved, never
/// computed on, so any 8-byte pattern survives. Only for processors with
/// AVX-512F; the caller carries the same target attribute.
__attribute__((target("avx512f"), always_inline)) inline void TransposeEight(__m512d p[8]) {
    __m512d t[8];
    for (std::size_t q = 0; q < 8; q += 2) {
        t[q] = _mm512_unpacklo_pd(p[q], p[q + 1]);
        t[q + 1] = _mm512_unpackhi_pd(p[q], p[q + 1]);
    }
    // Pairs of 128-bit lanes: s[0] and s[4] hold rows 0 and 4, s[1] and s[5]
    // rows 2 and 6, s[2] and s[6] rows 1 and 5, s[3] and s[7] rows 3 and 7.
    __m512d s[8];
    for (std::size_t h = 0; h < 8; h += 4) {
        s[h] = _mm512_shuffle_f64x2(t[h], t[h + 2], 0x88);
        s[h + 1] = _mm512_shuffle_f64x2(t[h], t[h + 2], 0xDD);
        s[h + 2] = _mm512_shuffle_f64x2(t[h + 1], t[h + 3], 0x88);
        s[h + 3] = _mm512_shuffle_f64x2(t[h + 1], t[h + 3], 0xDD);
    }
    p[0] = _mm512_shuffle_f64x2(s[0], s[4], 0x88);
    p[4] = _mm512_shuffle_f64x2(s[0], s[4], 0xDD);
    p[2] = _mm512_shuffle_f64x2(s[1], s[5], 0x88);
    p[6] = _mm512_shuffle_f64x2(s[1], s[5], 0xDD);
    p[1] = _mm512_shuffle_f64x2(s[2], s[6], 0x88);
    p[5] = _mm512_shuffle_f64x2(s[2], s[6], 0xDD);
    p[3] = _mm512_shuffle_f64x2(s[3], s[7], 0x88);
    p[7] = _mm512_shuffle_f64x2(s[3], s[7], 0xDD);
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_HAVE_AVX2_PATHS

#endif  // MATRIX_SRC_KERNELS_TRANSPOSE_EIGHT_H
