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
// cache lines of 64 bytes each, whole, so no line has to stay cached between
// micro tiles. The outer tile bounds the pages touched at once (64 source and
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
template <bool kFlipSign>
inline void TransposeMicroTile(const unsigned char *a, std::size_t lda, unsigned char *b,
                               std::size_t ldb) {
#if defined(__SSE2__)
    // Each step turns the 2x2 block a(i..i+1, j..j+1) into b(j..j+1, i..i+1):
    // two column loads, an interleave of their low and of their high halves.
    const __m128i flip = _mm_set1_epi64x(kFlipSign ? static_cast<long long>(kSignBit) : 0);
    for (std::size_t j = 0; j < kTransposeMicroTile; j += 2) {
        const unsigned char *a0 = a + 8 * j * lda;
        const unsigned char *a1 = a0 + 8 * lda;
        for (std::size_t i = 0; i < kTransposeMicroTile; i += 2) {
            const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a0 + 8 * i));
            const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a1 + 8 * i));
            __m128i r0 = _mm_unpacklo_epi64(c0, c1);
            __m128i r1 = _mm_unpackhi_epi64(c0, c1);
            if (kFlipSign) {
                r0 = _mm_xor_si128(r0, flip);
                r1 = _mm_xor_si128(r1, flip);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i *>(b + 8 * (j + i * ldb)), r0);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(b + 8 * (j + (i + 1) * ldb)), r1);
        }
    }
#else
    TransposePlain<kFlipSign>(kTransposeMicroTile, kTransposeMicroTile, a, lda, b, ldb);
#endif
}

}  // namespace detail

/// Same contract and result as TransposePlain, cache-blocked: outer tiles of
/// kTransposeTile, micro tiles of kTransposeMicroTile square; edges that do
/// not fill a micro tile go through TransposePlain.
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
