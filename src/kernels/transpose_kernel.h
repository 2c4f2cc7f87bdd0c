// src/kernels/transpose_kernel.h: cache-blocked transpose of 8-byte elements.
#ifndef MATRIX_SRC_KERNELS_TRANSPOSE_KERNEL_H
#define MATRIX_SRC_KERNELS_TRANSPOSE_KERNEL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/kernel_support.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

// A micro tile of 8x8 elements reads 8 source and writes 8 target cache lines
// of 64 bytes each, whole when the columns start on line boundaries, so no
// line has to stay cached between micro tiles.
constexpr std::size_t kTransposeMicroTile = 8;
// The kernel walks strips of this many source rows (target columns). Within
// a strip every target column is written front to back, so the writes form
// kTransposeStrip sequential streams and the reads runs of 512 bytes.
constexpr std::size_t kTransposeStrip = 64;
// Target columns a multiple of this many elements (2 KiB) apart put the
// target lines of one column block, one per column of the strip, into one
// or two cache sets; written one after another they ran at less than half
// the speed. The micro tiles of a strip then go along diagonals instead.
constexpr std::size_t kTransposeSkewColumns = 256;
// Results at least this large (about the size of a last-level cache) are
// written with streaming stores: they bypass the caches, which saves reading
// each target line before overwriting it, and would not fit there anyway.
constexpr std::size_t kTransposeStreamingBytes = std::size_t{8} << 20;
// Streamed results of at least twice that size whose target columns are a
// multiple of kTransposeSkewColumns apart take strips of this many source
// rows instead, with whole-line stores (AVX-512): 64 such streams at once
// ran 15-40% slower than 32 at orders 1536 to 4096.
constexpr std::size_t kTransposeNarrowStrip = 32;

/// Transposes an m x n block of 8-byte elements:
///   b(j, i) = a(i, j) ^ flip   for 0 <= i < m, 0 <= j < n,
/// where flip is the sign bit when kFlipSign (the negation of a double) and 0
/// otherwise. Elements are moved as bit patterns, whatever type they hold.
///   a   [in]  m x n, column-major, leading dimension lda >= max(1, m)
///             (in elements)
///   b   [out] n x m, column-major, leading dimension ldb >= max(1, n); must
///             not overlap a
/// Plain version: the reference for TransposeBlocked and its fallback.
template <bool kFlipSign>
void TransposePlain(std::size_t m, std::size_t n, const void *a, std::size_t lda, void *b,
                    std::size_t ldb) {
    const std::uint64_t flip = kFlipSign ? kSignBit : 0;
    const auto *source = static_cast<const unsigned char *>(a);
    auto *target = static_cast<unsigned char *>(b);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < m; ++i) {
            std::uint64_t x;
            std::memcpy(&x, source + 8 * (i + j * lda), 8);
            x ^= flip;
            std::memcpy(target + 8 * (j + i * ldb), &x, 8);
        }
    }
}

namespace detail {

// The micro tile must be straight-line code with the tile in registers; at
// -O2 compilers leave its short loops rolled, which halves the speed.
#if defined(__GNUC__) || defined(__clang__)
#define MATRIX_TRANSPOSE_UNROLL _Pragma("GCC unroll 8")
#else
#define MATRIX_TRANSPOSE_UNROLL
#endif

// One full micro tile: rows i..i+8 of columns j..j+8 of a, with a and b
// already pointing at a(i, j) and b(j, i). kStream writes with streaming
// stores and needs b and 8 * ldb to be multiples of 16 bytes.
//
// With a power-of-two leading dimension all 8 source and all 8 target lines
// of a micro tile fall into one cache set, more than its ways. So the tile
// is first copied into a contiguous buffer (each source line read once,
// whole), and then each target line is written whole before the next:
// neither kind of line has to stay cached while the others are touched, and
// a streamed line leaves its write-combining buffer complete.
template <bool kFlipSign, bool kStream>
inline void TransposeMicroTile(const unsigned char *a, std::size_t lda, unsigned char *b,
                               std::size_t ldb) {
#if defined(__SSE2__)
    constexpr std::size_t mt = kTransposeMicroTile;
    alignas(64) __m128i tile[mt * mt / 2];  // column c, rows 2r..2r+1 at tile[c * mt / 2 + r]
    MATRIX_TRANSPOSE_UNROLL
    for (std::size_t c = 0; c < mt; ++c) {
        const auto *column = reinterpret_cast<const __m128i *>(a + 8 * c * lda);
        MATRIX_TRANSPOSE_UNROLL
        for (std::size_t r = 0; r < mt / 2; ++r) tile[c * mt / 2 + r] = _mm_loadu_si128(column + r);
    }
    // Rows 2r and 2r + 1 of the tile become target columns 2r and 2r + 1:
    // the low and the high halves of each pair of tile columns.
    const __m128i flip = _mm_set1_epi64x(kFlipSign ? static_cast<long long>(kSignBit) : 0);
    auto store = [&](__m128i *to, __m128i pair) {
        if (kFlipSign) pair = _mm_xor_si128(pair, flip);
        if (kStream) {
            _mm_stream_si128(to, pair);
        } else {
            _mm_storeu_si128(to, pair);
        }
    };
    MATRIX_TRANSPOSE_UNROLL
    for (std::size_t r = 0; r < mt / 2; ++r) {
        auto *low = reinterpret_cast<__m128i *>(b + 8 * (2 * r) * ldb);
        auto *high = reinterpret_cast<__m128i *>(b + 8 * (2 * r + 1) * ldb);
        MATRIX_TRANSPOSE_UNROLL
        for (std::size_t c = 0; c < mt; c += 2) {
            store(low + c / 2,
                  _mm_unpacklo_epi64(tile[c * mt / 2 + r], tile[(c + 1) * mt / 2 + r]));
        }
        MATRIX_TRANSPOSE_UNROLL
        for (std::size_t c = 0; c < mt; c += 2) {
            store(high + c / 2,
                  _mm_unpackhi_epi64(tile[c * mt / 2 + r], tile[(c + 1) * mt / 2 + r]));
        }
    }
#else
    TransposePlain<kFlipSign>(kTransposeMicroTile, kTransposeMicroTile, a, lda, b, ldb);
#endif
}

// Loads the first line of each of `columns` source columns from a on, ahead
// of use: a strip reads 512 bytes of a column and moves on, too short a run
// for the hardware prefetchers to pick up.
inline void PrefetchColumns(const unsigned char *a, std::size_t lda, std::size_t columns) {
#if defined(__SSE2__)
    for (std::size_t c = 0; c < columns; ++c) {
        _mm_prefetch(reinterpret_cast<const char *>(a + 8 * c * lda), _MM_HINT_T0);
    }
#else
    (void)a;
    (void)lda;
    (void)columns;
#endif
}

template <bool kFlipSign, bool kStream>
void TransposeStrips(std::size_t m, std::size_t n, const unsigned char *source, std::size_t lda,
                     unsigned char *target, std::size_t ldb) {
    constexpr std::size_t mt = kTransposeMicroTile;
    // Element (i, j) of the source and (j, i) of the target.
    auto at = [&](std::size_t i, std::size_t j) { return source + 8 * (i + j * lda); };
    auto to = [&](std::size_t i, std::size_t j) { return target + 8 * (j + i * ldb); };
    for (std::size_t i0 = 0; i0 < m; i0 += kTransposeStrip) {
        const std::size_t iEnd = i0 + kTransposeStrip < m ? i0 + kTransposeStrip : m;
        const std::size_t iFull = i0 + (iEnd - i0) / mt * mt;
        std::size_t j = 0;
        if (ldb % kTransposeSkewColumns == 0) {
            // Tile t of the strip takes column block (d + t) mod blocks, so
            // that consecutive tiles write to different sets.
            const std::size_t blocks = n / mt;
            const std::size_t tiles = (iFull - i0) / mt;
            for (std::size_t d = 0; d < blocks; ++d) {
                for (std::size_t t = 0; t < tiles; ++t) {
                    const std::size_t b = (d + t) % blocks * mt;
                    TransposeMicroTile<kFlipSign, kStream>(at(i0 + t * mt, b), lda,
                                                           to(i0 + t * mt, b), ldb);
                }
                TransposePlain<kFlipSign>(iEnd - iFull, mt, at(iFull, d * mt), lda,
                                          to(iFull, d * mt), ldb);
            }
            j = blocks * mt;
        }
        for (; j + mt <= n; j += mt) {
            // Two panels ahead covers the memory latency.
            const std::size_t ahead = j + 2 * mt;
            const std::size_t aheadColumns = ahead >= n ? 0 : (n - ahead < mt ? n - ahead : mt);
            for (std::size_t i = i0; i < iFull; i += mt) {
                PrefetchColumns(at(i, ahead < n ? ahead : j), lda, aheadColumns);
                TransposeMicroTile<kFlipSign, kStream>(at(i, j), lda, to(i, j), ldb);
            }
            TransposePlain<kFlipSign>(iEnd - iFull, mt, at(iFull, j), lda, to(iFull, j), ldb);
        }
        TransposePlain<kFlipSign>(iEnd - i0, n - j, at(i0, j), lda, to(i0, j), ldb);
    }
}

}  // namespace detail

#if defined(MATRIX_HAVE_AVX2_PATHS)
/// Same contract and result as TransposePlain<flipSign>, streamed in
/// strips of `strip` source rows (a multiple of kTransposeMicroTile, at
/// most kTransposeStrip), b 8-byte aligned: a target column that does not
/// start on a cache line has its lines realigned in registers. Only for
/// processors with AVX-512F.
void TransposeShiftedAvx512(bool flipSign, std::size_t strip, std::size_t m, std::size_t n,
                            const void *a, std::size_t lda, void *b, std::size_t ldb);
#endif

/// Same contract and result as TransposePlain, cache-blocked: strips of
/// kTransposeStrip source rows, each walked across all columns in micro
/// tiles of kTransposeMicroTile square; edges that do not fill a micro tile
/// go through TransposePlain. Results of at least streamingBytes (the
/// extent of b's m columns) are written with streaming stores when their
/// columns start on cache-line boundaries, or through
/// TransposeShiftedAvx512 when they do not and the processor has AVX-512F
/// (which also takes those of twice that size in narrow strips when the
/// columns are a multiple of kTransposeSkewColumns apart); the default is
/// the size at which streaming pays, and 0 makes every such result stream
/// (the tests' switch).
template <bool kFlipSign>
void TransposeBlocked(std::size_t m, std::size_t n, const void *a, std::size_t lda, void *b,
                      std::size_t ldb, std::size_t streamingBytes = kTransposeStreamingBytes) {
    const auto *source = static_cast<const unsigned char *>(a);
    auto *target = static_cast<unsigned char *>(b);
#if defined(__SSE2__)
    const bool linesWhole = reinterpret_cast<std::uintptr_t>(b) % 64 == 0 && ldb % 8 == 0;
    const std::size_t bytes = 8 * m * ldb;
    if (bytes >= streamingBytes) {
        if (linesWhole) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
            if (HasAvx512() && ldb % kTransposeSkewColumns == 0 && bytes / 2 >= streamingBytes) {
                TransposeShiftedAvx512(kFlipSign, kTransposeNarrowStrip, m, n, a, lda, b, ldb);
                _mm_sfence();
                return;
            }
#endif
            detail::TransposeStrips<kFlipSign, true>(m, n, source, lda, target, ldb);
            // Streaming stores are weakly ordered; make them visible before
            // the result is handed on.
            _mm_sfence();
            return;
        }
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (HasAvx512() && reinterpret_cast<std::uintptr_t>(b) % 8 == 0) {
            TransposeShiftedAvx512(kFlipSign, kTransposeStrip, m, n, a, lda, b, ldb);
            _mm_sfence();
            return;
        }
#endif
    }
#else
    (void)streamingBytes;
#endif
    detail::TransposeStrips<kFlipSign, false>(m, n, source, lda, target, ldb);
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#undef MATRIX_TRANSPOSE_UNROLL

#endif  // MATRIX_SRC_KERNELS_TRANSPOSE_KERNEL_H
