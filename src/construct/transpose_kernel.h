// src/construct/transpose_kernel.h: cache-blocked transpose of 8-byte elements.
#ifndef MATRIX_SRC_CONSTRUCT_TRANSPOSE_KERNEL_H
#define MATRIX_SRC_CONSTRUCT_TRANSPOSE_KERNEL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

// Tile sizes. A micro tile of 8x8 elements reads 8 source and writes 8 target
// cache lines of 64 bytes each, whole when the columns start on line
// boundaries, so no line has to stay cached between micro tiles. The outer tile bounds the pages touched at once (64 source and
// 64 target columns) so that their translations stay in the TLB; without it
// a large transpose misses the TLB on nearly every target line.
constexpr std::size_t kTransposeMicroTile = 8;
constexpr std::size_t kTransposeTile = 64;

// The sign bit of an IEEE double: flipping it negates the value exactly,
// NaN and zero included.
constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

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

// One full micro tile: rows i..i+8 of columns j..j+8 of a, with a and b
// already pointing at a(i, j) and b(j, i).
//
// With a power-of-two leading dimension all 8 source and all 8 target lines
// of a micro tile fall into one cache set, more than its ways. So the tile
// is first copied into a contiguous buffer (each source line read once,
// whole), and then each target line is written whole before the next:
// neither kind of line has to stay cached while the others are touched.
template <bool kFlipSign>
inline void TransposeMicroTile(const unsigned char *a, std::size_t lda, unsigned char *b,
                               std::size_t ldb) {
#if defined(__SSE2__)
    constexpr std::size_t mt = kTransposeMicroTile;
    alignas(64) __m128i tile[mt * mt / 2];  // column c, rows 2r..2r+1 at tile[c * mt / 2 + r]
    for (std::size_t c = 0; c < mt; ++c) {
        const auto *column = reinterpret_cast<const __m128i *>(a + 8 * c * lda);
        for (std::size_t r = 0; r < mt / 2; ++r) tile[c * mt / 2 + r] = _mm_loadu_si128(column + r);
    }
    // Rows 2r and 2r + 1 of the tile become target columns 2r and 2r + 1:
    // each 2x2 block of columns c, c + 1 is an interleave of their low and of
    // their high halves.
    const __m128i flip = _mm_set1_epi64x(kFlipSign ? static_cast<long long>(kSignBit) : 0);
    for (std::size_t r = 0; r < mt / 2; ++r) {
        auto *b0 = reinterpret_cast<__m128i *>(b + 8 * (2 * r) * ldb);
        auto *b1 = reinterpret_cast<__m128i *>(b + 8 * (2 * r + 1) * ldb);
        for (std::size_t c = 0; c < mt; c += 2) {
            const __m128i c0 = tile[c * mt / 2 + r];
            const __m128i c1 = tile[(c + 1) * mt / 2 + r];
            __m128i r0 = _mm_unpacklo_epi64(c0, c1);
            __m128i r1 = _mm_unpackhi_epi64(c0, c1);
            if (kFlipSign) {
                r0 = _mm_xor_si128(r0, flip);
                r1 = _mm_xor_si128(r1, flip);
            }
            _mm_storeu_si128(b0 + c / 2, r0);
            _mm_storeu_si128(b1 + c / 2, r1);
        }
    }
#else
    TransposePlain<kFlipSign>(kTransposeMicroTile, kTransposeMicroTile, a, lda, b, ldb);
#endif
}

// Loads the source lines of the micro tile that starts at row i, columns
// j..j+8, ahead of use: the tiles walk down 8 columns at once, and the
// hardware prefetchers do not keep up with that many short streams.
inline void PrefetchMicroTile(const unsigned char *a, std::size_t lda) {
#if defined(__SSE2__)
    for (std::size_t c = 0; c < kTransposeMicroTile; ++c) {
        _mm_prefetch(reinterpret_cast<const char *>(a + 8 * c * lda), _MM_HINT_T0);
    }
#else
    (void)a;
    (void)lda;
#endif
}

}  // namespace detail

/// Same contract and result as TransposePlain, cache-blocked: outer tiles of
/// kTransposeTile, micro tiles of kTransposeMicroTile square, walked down
/// panels of 8 source columns; edges that do not fill a micro tile go
/// through TransposePlain.
template <bool kFlipSign>
void TransposeBlocked(std::size_t m, std::size_t n, const void *a, std::size_t lda, void *b,
                      std::size_t ldb) {
    constexpr std::size_t mt = kTransposeMicroTile;
    const auto *source = static_cast<const unsigned char *>(a);
    auto *target = static_cast<unsigned char *>(b);
    // Element (i, j) of the source and (j, i) of the target.
    auto at = [&](std::size_t i, std::size_t j) { return source + 8 * (i + j * lda); };
    auto to = [&](std::size_t i, std::size_t j) { return target + 8 * (j + i * ldb); };
    for (std::size_t j0 = 0; j0 < n; j0 += kTransposeTile) {
        const std::size_t jEnd = j0 + kTransposeTile < n ? j0 + kTransposeTile : n;
        for (std::size_t i0 = 0; i0 < m; i0 += kTransposeTile) {
            const std::size_t iEnd = i0 + kTransposeTile < m ? i0 + kTransposeTile : m;
            std::size_t j = j0;
            for (; j + mt <= jEnd; j += mt) {
                std::size_t i = i0;
                for (; i + mt <= iEnd; i += mt) {
                    // Two micro tiles ahead covers the memory latency.
                    if (i + 2 * mt < m) detail::PrefetchMicroTile(at(i + 2 * mt, j), lda);
                    detail::TransposeMicroTile<kFlipSign>(at(i, j), lda, to(i, j), ldb);
                }
                TransposePlain<kFlipSign>(iEnd - i, mt, at(i, j), lda, to(i, j), ldb);
            }
            TransposePlain<kFlipSign>(iEnd - i0, jEnd - j, at(i0, j), lda, to(i0, j), ldb);
        }
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CONSTRUCT_TRANSPOSE_KERNEL_H
