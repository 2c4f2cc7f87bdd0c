// src/kernels/transpose_avx512.cpp: the streaming transpose into targets whose columns
// do not start on cache lines.
#include "kernels/transpose_kernel.h"

// Every function that uses the instructions carries the target attribute
// itself (see kernels/mtimes_kernel_avx512.cpp); elsewhere this file is
// empty.
#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>

#include "kernels/transpose_eight.h"

namespace kiv {
namespace matrix {
namespace kernels {

// GCC's own headers leave the unused source of some shuffles undefined on
// purpose, which its uninitialised-value warning then reports.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

// Lanes l + shift of the pair (low, high), for l = 0..7: the line that
// begins `shift` lanes into `low` and runs on into `high`.
__attribute__((target("avx512f"), always_inline)) inline __m512d Joined(__m512d low, __m512d high,
                                                                        std::size_t shift) {
    const __m512i lanes = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i index = _mm512_add_epi64(lanes, _mm512_set1_epi64(static_cast<long long>(shift)));
    return _mm512_permutex2var_pd(low, index, high);
}

__attribute__((target("avx512f"), always_inline)) inline __mmask8 FirstLanes(std::size_t count) {
    return static_cast<__mmask8>((1u << count) - 1);
}

// Each strip of `strip` source rows walks the source columns eight
// at a time. A micro tile of 8x8 is loaded and transposed in registers,
// which gives eight elements of each of eight target columns. Target
// column r starts `lead` = head[r] elements short of a line boundary;
// lane l of its whole line then comes from the column's previous eight
// elements (kept in carry[r]) and the new ones, shifted by `lead`. That
// line is streamed. The first `lead` elements, and the last elements, of a
// column sit in lines it may share with its neighbours; they are written
// with ordinary stores.
template <bool kFlipSign>
__attribute__((target("avx512f"))) void Shifted(std::size_t strip, std::size_t m, std::size_t n,
                                                const void *a, std::size_t lda, void *b,
                                                std::size_t ldb) {
    constexpr std::size_t mt = kTransposeMicroTile;
    static_assert(mt == 8, "the micro tile is one register of eight lanes per column");
    const auto *source = static_cast<const double *>(a);
    auto *target = static_cast<double *>(b);
    const __m512i flip = _mm512_set1_epi64(kFlipSign ? static_cast<long long>(kSignBit) : 0);
    alignas(64) double carry[kTransposeStrip][mt];
    std::size_t head[kTransposeStrip];
    const std::size_t fullColumns = n / mt * mt;
    for (std::size_t i0 = 0; i0 < m; i0 += strip) {
        const std::size_t rows = m - i0 < strip ? m - i0 : strip;
        const std::size_t fullRows = rows / mt * mt;
        for (std::size_t r = 0; r < fullRows; ++r) {
            const auto start = reinterpret_cast<std::uintptr_t>(target + (i0 + r) * ldb);
            head[r] = (mt - start / 8 % mt) % mt;
        }
        for (std::size_t j = 0; j < fullColumns; j += mt) {
            // Two panels ahead covers the memory latency (as in the
            // portable strips).
            const std::size_t ahead = j + 2 * mt;
            const std::size_t aheadColumns = ahead >= n ? 0 : (n - ahead < mt ? n - ahead : mt);
            for (std::size_t i = 0; i < fullRows; i += mt) {
                const double *tile = source + (i0 + i) + j * lda;
                for (std::size_t c = 0; c < aheadColumns; ++c) {
                    _mm_prefetch(reinterpret_cast<const char *>(tile + (2 * mt + c) * lda),
                                 _MM_HINT_T0);
                }
                __m512d p[mt];
                for (std::size_t c = 0; c < mt; ++c) {
                    p[c] = _mm512_loadu_pd(tile + c * lda);
                    if (kFlipSign) {
                        p[c] =
                            _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(p[c]), flip));
                    }
                }
                TransposeEight(p);
                for (std::size_t r = 0; r < mt; ++r) {
                    const std::size_t lead = head[i + r];
                    double *column = target + (i0 + i + r) * ldb;
                    if (lead == 0) {
                        _mm512_stream_pd(column + j, p[r]);
                    } else if (j == 0) {
                        _mm512_mask_storeu_pd(column, FirstLanes(lead), p[r]);
                    } else {
                        _mm512_stream_pd(column + j + lead - mt,
                                         Joined(_mm512_load_pd(carry[i + r]), p[r], lead));
                    }
                    _mm512_store_pd(carry[i + r], p[r]);
                }
            }
        }
        for (std::size_t r = 0; r < fullRows && fullColumns > 0; ++r) {
            const std::size_t lead = head[r];
            if (lead == 0) continue;
            const __m512d rest = _mm512_load_pd(carry[r]);
            _mm512_mask_storeu_pd(target + (i0 + r) * ldb + fullColumns - mt + lead,
                                  FirstLanes(mt - lead), Joined(rest, rest, lead));
        }
        TransposePlain<kFlipSign>(fullRows, n - fullColumns, source + i0 + fullColumns * lda, lda,
                                  target + fullColumns + i0 * ldb, ldb);
        TransposePlain<kFlipSign>(rows - fullRows, n, source + i0 + fullRows, lda,
                                  target + (i0 + fullRows) * ldb, ldb);
    }
}

}  // namespace

void TransposeShiftedAvx512(bool flipSign, std::size_t strip, std::size_t m, std::size_t n,
                            const void *a, std::size_t lda, void *b, std::size_t ldb) {
    if (flipSign) {
        Shifted<true>(strip, m, n, a, lda, b, ldb);
    } else {
        Shifted<false>(strip, m, n, a, lda, b, ldb);
    }
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_HAVE_AVX2_PATHS
