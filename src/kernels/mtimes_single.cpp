// src/kernels/mtimes_single.cpp: the in-order matrix product on float elements, blocked for caches.
#include "kernels/mtimes_single.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <thread>

#include "kernels/kernel_support.h"
#include "kernels/parallel.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// One pass takes kKc products of every sum; a packed block of A holds kMc
// rows of it (256 KiB of floats, for L2), in panels of the tile's height.
// A tile's kKc x kNr slice of B (6 KiB) stays in L1 while the panels of
// the block stream past it.
constexpr std::size_t kKc = 256;
constexpr std::size_t kMc = 256;
constexpr std::size_t kNr = 6;
// The portable tile: 4 x 4 sums, A and B read in place.
constexpr std::size_t kPlainMr = 4;
constexpr std::size_t kPlainNr = 4;
// The vector tiles' heights: two registers of eight floats (AVX2), four of
// sixteen (AVX-512), by kNr columns: 12 and 24 running sums.
constexpr std::size_t kYmmMr = 16;
constexpr std::size_t kZmmMr = 64;
static_assert(kMc % kZmmMr == 0 && kMc % kYmmMr == 0, "blocks hold whole panels");

template <UpdateSign kSign>
inline float MeetScalar(float acc, float a, float b) {
    if (kSign == UpdateSign::kSubtract) return acc - a * b;
    if (kSign == UpdateSign::kAddUnlessZero) return a != 0.0f ? acc + a * b : acc;
    return acc + a * b;
}

// Calls pick with the sign as a compile-time constant.
template <class Pick>
auto BySign(UpdateSign sign, Pick pick) {
    switch (sign) {
        case UpdateSign::kSubtract:
            return pick(std::integral_constant<UpdateSign, UpdateSign::kSubtract>{});
        case UpdateSign::kAddUnlessZero:
            return pick(std::integral_constant<UpdateSign, UpdateSign::kAddUnlessZero>{});
        case UpdateSign::kAdd: break;
    }
    return pick(std::integral_constant<UpdateSign, UpdateSign::kAdd>{});
}

// Continues (or, with `first`, starts from 0.0f) the MR x NR sums of C:
// the q-th product of row i and column j is a[i + q * lda] * b[q + j * ldb].
template <std::size_t MR, std::size_t NR, UpdateSign kSign>
void PlainTile(std::size_t kc, const float *a, std::size_t lda, const float *b, std::size_t ldb,
               float *c, std::size_t ldc, bool first) {
    float acc[NR][MR];
    for (std::size_t j = 0; j < NR; ++j)
        for (std::size_t i = 0; i < MR; ++i) acc[j][i] = first ? 0.0f : c[i + j * ldc];
    for (std::size_t q = 0; q < kc; ++q) {
        const float *aq = a + q * lda;
        for (std::size_t j = 0; j < NR; ++j) {
            const float bqj = b[q + j * ldb];
            for (std::size_t i = 0; i < MR; ++i) acc[j][i] = MeetScalar<kSign>(acc[j][i], aq[i], bqj);
        }
    }
    for (std::size_t j = 0; j < NR; ++j)
        for (std::size_t i = 0; i < MR; ++i) c[i + j * ldc] = acc[j][i];
}

using PlainTileFunction = void (*)(std::size_t, const float *, std::size_t, const float *,
                                   std::size_t, float *, std::size_t, bool);

template <UpdateSign kSign>
inline constexpr PlainTileFunction kPlainTiles[kPlainMr][kPlainNr] = {
    {PlainTile<1, 1, kSign>, PlainTile<1, 2, kSign>, PlainTile<1, 3, kSign>, PlainTile<1, 4, kSign>},
    {PlainTile<2, 1, kSign>, PlainTile<2, 2, kSign>, PlainTile<2, 3, kSign>, PlainTile<2, 4, kSign>},
    {PlainTile<3, 1, kSign>, PlainTile<3, 2, kSign>, PlainTile<3, 3, kSign>, PlainTile<3, 4, kSign>},
    {PlainTile<4, 1, kSign>, PlainTile<4, 2, kSign>, PlainTile<4, 3, kSign>, PlainTile<4, 4, kSign>},
};

// The plain path over columns [0, n) of C: passes of kKc products in
// increasing p, each sum carried through C from one pass to the next.
void PlainProduct(std::size_t m, std::size_t n, std::size_t k, const float *a, std::size_t lda,
                  const float *b, std::size_t ldb, float *c, std::size_t ldc, bool fromZero,
                  UpdateSign sign) {
    for (std::size_t p0 = 0; p0 < k; p0 += kKc) {
        const std::size_t kc = std::min(kKc, k - p0);
        const bool first = fromZero && p0 == 0;
        for (std::size_t jr = 0; jr < n; jr += kPlainNr) {
            const std::size_t nr = std::min(kPlainNr, n - jr);
            for (std::size_t ir = 0; ir < m; ir += kPlainMr) {
                const std::size_t mr = std::min(kPlainMr, m - ir);
                const PlainTileFunction tile = BySign(sign, [&](auto kSign) {
                    return kPlainTiles<decltype(kSign)::value>[mr - 1][nr - 1];
                });
                tile(kc, a + ir + p0 * lda, lda, b + p0 + jr * ldb, ldb, c + ir + jr * ldc, ldc,
                     first);
            }
        }
    }
}

#if defined(MATRIX_HAVE_AVX2_PATHS)

// Copies kc products of an mc-row block of A (column q at a + q * lda) into
// panels of kRows rows, each filled with zero rows up to a multiple of
// kQuantum: the panel of rows ir.. starts at packed[ir * kc] and holds row
// ir + i, product q at [i + q * height].
template <std::size_t kRows, std::size_t kQuantum>
void PackA(std::size_t mc, std::size_t kc, const float *a, std::size_t lda, float *packed) {
    for (std::size_t ir = 0; ir < mc; ir += kRows) {
        const std::size_t mr = std::min(kRows, mc - ir);
        const std::size_t height = (mr + kQuantum - 1) / kQuantum * kQuantum;
        float *panel = packed + ir * kc;
        for (std::size_t q = 0; q < kc; ++q) {
            const float *column = a + q * lda + ir;
            float *to = panel + q * height;
            std::copy(column, column + mr, to);
            std::fill(to + mr, to + height, 0.0f);
        }
    }
}

// --- AVX2: 16 x NR sums, A from its packed panel of height 16.

template <UpdateSign kSign>
__attribute__((target("avx2"))) inline __m256 MeetYmm(__m256 acc, __m256 a, __m256 b) {
    const __m256 product = _mm256_mul_ps(a, b);
    if (kSign == UpdateSign::kSubtract) return _mm256_sub_ps(acc, product);
    const __m256 sum = _mm256_add_ps(acc, product);
    if (kSign == UpdateSign::kAdd) return sum;
    // Lanes whose element of A is not 0.0f (NaN included, as with !=).
    return _mm256_blendv_ps(acc, sum, _mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_NEQ_UQ));
}

// The lanes of a register of eight rows, from `first` on, that lie within mr.
__attribute__((target("avx2"))) inline __m256i LaneMask8(std::size_t mr, std::size_t first) {
    const int count = mr <= first ? 0 : static_cast<int>(std::min<std::size_t>(mr - first, 8));
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

template <std::size_t NR, UpdateSign kSign>
__attribute__((target("avx2"))) void YmmTile(std::size_t kc, const float *pa, const float *b,
                                             std::size_t ldb, float *c, std::size_t ldc,
                                             std::size_t mr, bool first) {
    const bool whole = mr == kYmmMr;
    const __m256i mask0 = LaneMask8(mr, 0), mask1 = LaneMask8(mr, 8);
    __m256 acc[NR][2];
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
        float *column = c + j * ldc;
        if (first) {
            acc[j][0] = _mm256_setzero_ps();
            acc[j][1] = _mm256_setzero_ps();
        } else if (whole) {
            acc[j][0] = _mm256_loadu_ps(column);
            acc[j][1] = _mm256_loadu_ps(column + 8);
        } else {
            acc[j][0] = _mm256_maskload_ps(column, mask0);
            acc[j][1] = _mm256_maskload_ps(column + 8, mask1);
        }
    }
    for (std::size_t q = 0; q < kc; ++q) {
        const __m256 a0 = _mm256_load_ps(pa + q * kYmmMr);
        const __m256 a1 = _mm256_load_ps(pa + q * kYmmMr + 8);
#pragma GCC unroll 6
        for (std::size_t j = 0; j < NR; ++j) {
            const __m256 y = _mm256_broadcast_ss(b + q + j * ldb);
            acc[j][0] = MeetYmm<kSign>(acc[j][0], a0, y);
            acc[j][1] = MeetYmm<kSign>(acc[j][1], a1, y);
        }
    }
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
        float *column = c + j * ldc;
        if (whole) {
            _mm256_storeu_ps(column, acc[j][0]);
            _mm256_storeu_ps(column + 8, acc[j][1]);
        } else {
            _mm256_maskstore_ps(column, mask0, acc[j][0]);
            _mm256_maskstore_ps(column + 8, mask1, acc[j][1]);
        }
    }
}

using VectorTileFunction = void (*)(std::size_t, const float *, const float *, std::size_t, float *,
                                    std::size_t, std::size_t, bool);

template <UpdateSign kSign>
inline constexpr VectorTileFunction kYmmTiles[kNr] = {
    YmmTile<1, kSign>, YmmTile<2, kSign>, YmmTile<3, kSign>,
    YmmTile<4, kSign>, YmmTile<5, kSign>, YmmTile<6, kSign>};

// --- AVX-512: (16 * MV) x NR sums, A from its packed panel of height 16 * MV.

template <UpdateSign kSign>
__attribute__((target("avx512f"))) inline __m512 MeetZmm(__m512 acc, __m512 a, __m512 b,
                                                          __mmask16 nonzero) {
    const __m512 product = _mm512_mul_ps(a, b);
    if (kSign == UpdateSign::kSubtract) return _mm512_sub_ps(acc, product);
    if (kSign == UpdateSign::kAdd) return _mm512_add_ps(acc, product);
    return _mm512_mask_add_ps(acc, nonzero, acc, product);
}

template <std::size_t MV, std::size_t NR, UpdateSign kSign>
__attribute__((target("avx512f"))) void ZmmTile(std::size_t kc, const float *pa, const float *b,
                                                std::size_t ldb, float *c, std::size_t ldc,
                                                std::size_t mr, bool first) {
    constexpr std::size_t kHeight = 16 * MV;
    const std::size_t tail = mr - 16 * (MV - 1);
    const __mmask16 last = static_cast<__mmask16>(tail >= 16 ? 0xFFFF : (1u << tail) - 1);
    __m512 acc[NR][MV];
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            const float *column = c + j * ldc + 16 * v;
            if (first) {
                acc[j][v] = _mm512_setzero_ps();
            } else {
                acc[j][v] = v + 1 == MV ? _mm512_maskz_loadu_ps(last, column)
                                        : _mm512_loadu_ps(column);
            }
        }
    }
    const __m512 zero = _mm512_setzero_ps();
#pragma GCC unroll 2
    for (std::size_t q = 0; q < kc; ++q) {
        const float *aq = pa + q * kHeight;
        __m512 x[MV];
        __mmask16 nonzero[MV];
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            x[v] = _mm512_load_ps(aq + 16 * v);
            nonzero[v] = kSign == UpdateSign::kAddUnlessZero
                             ? _mm512_cmp_ps_mask(x[v], zero, _CMP_NEQ_UQ)
                             : static_cast<__mmask16>(0xFFFF);
        }
#pragma GCC unroll 6
        for (std::size_t j = 0; j < NR; ++j) {
            const __m512 y = _mm512_set1_ps(b[q + j * ldb]);
#pragma GCC unroll 4
            for (std::size_t v = 0; v < MV; ++v)
                acc[j][v] = MeetZmm<kSign>(acc[j][v], x[v], y, nonzero[v]);
        }
    }
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            float *column = c + j * ldc + 16 * v;
            if (v + 1 == MV) {
                _mm512_mask_storeu_ps(column, last, acc[j][v]);
            } else {
                _mm512_storeu_ps(column, acc[j][v]);
            }
        }
    }
}

template <UpdateSign kSign, std::size_t MV>
inline constexpr VectorTileFunction kZmmRow[kNr] = {
    ZmmTile<MV, 1, kSign>, ZmmTile<MV, 2, kSign>, ZmmTile<MV, 3, kSign>,
    ZmmTile<MV, 4, kSign>, ZmmTile<MV, 5, kSign>, ZmmTile<MV, 6, kSign>};

template <UpdateSign kSign>
inline constexpr const VectorTileFunction *kZmmTiles[kZmmMr / 16] = {
    kZmmRow<kSign, 1>, kZmmRow<kSign, 2>, kZmmRow<kSign, 3>, kZmmRow<kSign, 4>};

// The packed block of A, one per thread: made on first use and kept (the
// blocked eliminations call the product many times in a row). It comes
// from the allocator, outside the library's accounting; a failure only
// means the plain path.
float *PackedBlock() {
    struct Space {
        float *data = nullptr;
        bool tried = false;
        ~Space() { std::free(data); }
    };
    thread_local Space space;
    if (!space.tried) {
        space.tried = true;
        space.data = static_cast<float *>(std::aligned_alloc(64, kMc * kKc * sizeof(float)));
    }
    return space.data;
}

// The vector path over columns [0, n) of C, in the plain path's passes.
template <bool kZmm>
void VectorProduct(std::size_t m, std::size_t n, std::size_t k, const float *a, std::size_t lda,
                   const float *b, std::size_t ldb, float *c, std::size_t ldc, bool fromZero,
                   UpdateSign sign, float *packed) {
    constexpr std::size_t kMr = kZmm ? kZmmMr : kYmmMr;
    for (std::size_t p0 = 0; p0 < k; p0 += kKc) {
        const std::size_t kc = std::min(kKc, k - p0);
        const bool first = fromZero && p0 == 0;
        for (std::size_t ic = 0; ic < m; ic += kMc) {
            const std::size_t mc = std::min(kMc, m - ic);
            PackA<kMr, 16>(mc, kc, a + ic + p0 * lda, lda, packed);
            for (std::size_t jr = 0; jr < n; jr += kNr) {
                const std::size_t nr = std::min(kNr, n - jr);
                const float *panelB = b + p0 + jr * ldb;
                for (std::size_t ir = 0; ir < mc; ir += kMr) {
                    const std::size_t mr = std::min(kMr, mc - ir);
                    const VectorTileFunction tile = BySign(sign, [&](auto kSign) {
                        constexpr UpdateSign kS = decltype(kSign)::value;
                        if (kZmm) return kZmmTiles<kS>[(mr + 15) / 16 - 1][nr - 1];
                        return kYmmTiles<kS>[nr - 1];
                    });
                    tile(kc, packed + ir * kc, panelB, ldb, c + ic + ir + jr * ldc, ldc, mr, first);
                }
            }
        }
    }
}

#endif  // MATRIX_HAVE_AVX2_PATHS

// C over columns [0, n), from 0.0f or continued, on the path asked for.
void Product(std::size_t m, std::size_t n, std::size_t k, const float *a, std::size_t lda,
             const float *b, std::size_t ldb, float *c, std::size_t ldc, bool fromZero,
             UpdateSign sign, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path != KernelPath::kPlain && HasAvx2()) {
        if (float *packed = PackedBlock()) {
            if (path == KernelPath::kFastest && HasAvx512()) {
                VectorProduct<true>(m, n, k, a, lda, b, ldb, c, ldc, fromZero, sign, packed);
            } else {
                VectorProduct<false>(m, n, k, a, lda, b, ldb, c, ldc, fromZero, sign, packed);
            }
            return;
        }
    }
#else
    (void)path;
#endif
    PlainProduct(m, n, k, a, lda, b, ldb, c, ldc, fromZero, sign);
}

// Products of at least this many multiplications share their columns among
// the threads, in whole multiples of kColumnGrain (of the tile widths).
// Every element's sum is the same whichever thread computes it.
constexpr std::size_t kParallelMinProducts = std::size_t(1) << 20;
constexpr std::size_t kColumnGrain = 12;

void ByColumnBlocks(std::size_t m, std::size_t n, std::size_t k, const float *a, std::size_t lda,
                    const float *b, std::size_t ldb, float *c, std::size_t ldc, bool fromZero,
                    UpdateSign sign, KernelPath path) {
    if (m == 0 || n == 0) return;
    if (k == 0) {
        if (fromZero)
            for (std::size_t j = 0; j < n; ++j) std::fill(c + j * ldc, c + j * ldc + m, 0.0f);
        return;
    }
    if (n < 2 * kColumnGrain || m * n * k < kParallelMinProducts) {
        Product(m, n, k, a, lda, b, ldb, c, ldc, fromZero, sign, path);
        return;
    }
    const std::size_t blocks = 2 * std::size_t(ThreadCount());
    const std::size_t perBlock = (n + blocks - 1) / blocks;
    const std::size_t grain = (perBlock + kColumnGrain - 1) / kColumnGrain * kColumnGrain;
    ParallelFor(n, grain, [&](std::size_t j0, std::size_t j1) {
        Product(m, j1 - j0, k, a, lda, b + j0 * ldb, ldb, c + j0 * ldc, ldc, fromZero, sign, path);
    });
}

}  // namespace

void MatrixProduct(std::size_t m, std::size_t n, std::size_t k, const float *a, std::size_t lda,
                   const float *b, std::size_t ldb, float *c, std::size_t ldc, KernelPath path) {
    ByColumnBlocks(m, n, k, a, lda, b, ldb, c, ldc, true, UpdateSign::kAdd, path);
}

void MatrixProductUpdate(std::size_t m, std::size_t n, std::size_t k, const float *a,
                         std::size_t lda, const float *b, std::size_t ldb, float *c,
                         std::size_t ldc, UpdateSign sign, KernelPath path) {
    ByColumnBlocks(m, n, k, a, lda, b, ldb, c, ldc, false, sign, path);
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
