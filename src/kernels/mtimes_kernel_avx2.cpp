// src/kernels/mtimes_kernel_avx2.cpp: the product's AVX2 tiles.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "kernels/mtimes_blocking.h"
#include "kernels/mtimes_packed.h"

// x86-64 processors with AVX2 get wider tiles (see kernels/kernel_support.h);
// elsewhere this file is empty.
#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>

namespace kiv {
namespace matrix {
namespace kernels {
namespace product {

namespace {

// One product met with four running sums, as UpdateSign says.
template <UpdateSign kSign>
__attribute__((target("avx2"))) inline __m256d Meet(__m256d acc, __m256d a, __m256d b) {
    const __m256d product = _mm256_mul_pd(a, b);
    if (kSign == UpdateSign::kSubtract) return _mm256_sub_pd(acc, product);
    const __m256d sum = _mm256_add_pd(acc, product);
    if (kSign == UpdateSign::kAdd) return sum;
    // Lanes whose element of A is not 0.0 (NaN included, as with !=).
    return _mm256_blendv_pd(acc, sum, _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_NEQ_UQ));
}

// Tile<kWideMr, NR> with AVX2, on kWideMr rows of A that can all be read:
// A(i, p) is a[i + p * as]. Only the first mr rows of C are read and
// written; the other lanes compute sums that are dropped.
template <std::size_t NR, UpdateSign kSign>
__attribute__((target("avx2"))) void WideTile(std::size_t kc, const double *a, std::ptrdiff_t as,
                                              const double *b, std::ptrdiff_t bs, std::size_t ldb,
                                              double *c, std::size_t ldc, std::size_t mr,
                                              bool first) {
    __m256d acc[NR][2];
    alignas(32) double edge[kWideMr] = {};
#pragma GCC unroll 4
    for (std::size_t j = 0; j < NR; ++j) {
        if (first) {
            acc[j][0] = _mm256_setzero_pd();
            acc[j][1] = _mm256_setzero_pd();
        } else {
            const double *column = c + j * ldc;
            if (mr < kWideMr) {
                std::copy(column, column + mr, edge);
                column = edge;
            }
            acc[j][0] = _mm256_loadu_pd(column);
            acc[j][1] = _mm256_loadu_pd(column + 4);
        }
    }
    for (std::size_t q = 0; q < kc; ++q) {
        const double *aq = a + static_cast<std::ptrdiff_t>(q) * as;
        const double *bq = b + static_cast<std::ptrdiff_t>(q) * bs;
        const __m256d a0 = _mm256_loadu_pd(aq);
        const __m256d a1 = _mm256_loadu_pd(aq + 4);
#pragma GCC unroll 4
        for (std::size_t j = 0; j < NR; ++j) {
            const __m256d bpj = _mm256_broadcast_sd(bq + j * ldb);
            acc[j][0] = Meet<kSign>(acc[j][0], a0, bpj);
            acc[j][1] = Meet<kSign>(acc[j][1], a1, bpj);
        }
    }
#pragma GCC unroll 4
    for (std::size_t j = 0; j < NR; ++j) {
        double *column = c + j * ldc;
        if (mr == kWideMr) {
            _mm256_storeu_pd(column, acc[j][0]);
            _mm256_storeu_pd(column + 4, acc[j][1]);
        } else {
            _mm256_store_pd(edge, acc[j][0]);
            _mm256_store_pd(edge + 4, acc[j][1]);
            std::copy(edge, edge + mr, column);
        }
    }
}

// One column of C over two whole panels of A at once (2 * kWideMr rows,
// all read and written): a lone column leaves a single panel with two
// chains of dependent adds, too few to hide their latency. Panel h's A(i, q)
// is panels[h][i + q * as].
template <UpdateSign kSign>
__attribute__((target("avx2"))) void WideColumnTile(std::size_t kc, const double *const panels[2],
                                                    std::ptrdiff_t as, const double *b,
                                                    std::ptrdiff_t bs, double *c, bool first) {
    __m256d acc[4];
#pragma GCC unroll 4
    for (std::size_t h = 0; h < 4; ++h) {
        acc[h] = first ? _mm256_setzero_pd() : _mm256_loadu_pd(c + 4 * h);
    }
    for (std::size_t q = 0; q < kc; ++q) {
        const __m256d bq = _mm256_broadcast_sd(b + static_cast<std::ptrdiff_t>(q) * bs);
#pragma GCC unroll 4
        for (std::size_t h = 0; h < 4; ++h) {
            const double *aq = panels[h / 2] + static_cast<std::ptrdiff_t>(q) * as + 4 * (h % 2);
            acc[h] = Meet<kSign>(acc[h], _mm256_loadu_pd(aq), bq);
        }
    }
#pragma GCC unroll 4
    for (std::size_t h = 0; h < 4; ++h) _mm256_storeu_pd(c + 4 * h, acc[h]);
}

using WideColumnFunction = void (*)(std::size_t, const double *const *, std::ptrdiff_t,
                                    const double *, std::ptrdiff_t, double *, bool);

WideColumnFunction WideColumnTileFor(UpdateSign sign) {
    return BySign(sign, [&](auto kSign) {
        return WideColumnFunction{WideColumnTile<decltype(kSign)::value>};
    });
}

// One row of C over kWideRowNr columns with AVX2. Each column's next four
// products of B are loaded together and turned (a 4x4 transpose) so that a
// register holds one product of four columns; the sums then meet them one
// at a time, in order. b's step bs between products is +1 or -1.
constexpr std::size_t kWideRowGroups = 3;
constexpr std::size_t kWideRowNr = 4 * kWideRowGroups;

template <UpdateSign kSign>
__attribute__((target("avx2"))) void WideRowTile(std::size_t kc, const double *a, std::ptrdiff_t as,
                                                 const double *b, std::ptrdiff_t bs,
                                                 std::size_t ldb, double *c, std::size_t ldc,
                                                 bool first) {
    __m256d acc[kWideRowGroups];
    for (std::size_t g = 0; g < kWideRowGroups; ++g) {
        const double *cg = c + 4 * g * ldc;
        acc[g] =
            first ? _mm256_setzero_pd() : _mm256_set_pd(cg[3 * ldc], cg[2 * ldc], cg[ldc], cg[0]);
    }
    auto productOf = [&](std::size_t q) { return static_cast<std::ptrdiff_t>(q); };
    std::size_t q = 0;
    for (; q + 4 <= kc; q += 4) {
        __m256d x[4];
#pragma GCC unroll 4
        for (std::size_t l = 0; l < 4; ++l) x[l] = _mm256_broadcast_sd(a + productOf(q + l) * as);
#pragma GCC unroll 3
        for (std::size_t g = 0; g < kWideRowGroups; ++g) {
            __m256d v[4];
#pragma GCC unroll 4
            for (std::size_t j = 0; j < 4; ++j) {
                // Products q .. q + 3 of column 4g + j, in that order.
                const double *column = b + (4 * g + j) * ldb;
                v[j] = bs > 0 ? _mm256_loadu_pd(column + productOf(q))
                              : _mm256_permute4x64_pd(
                                    _mm256_loadu_pd(column + productOf(q + 3) * bs), 0x1B);
            }
            const __m256d t0 = _mm256_unpacklo_pd(v[0], v[1]);
            const __m256d t1 = _mm256_unpackhi_pd(v[0], v[1]);
            const __m256d t2 = _mm256_unpacklo_pd(v[2], v[3]);
            const __m256d t3 = _mm256_unpackhi_pd(v[2], v[3]);
            acc[g] = Meet<kSign>(acc[g], x[0], _mm256_permute2f128_pd(t0, t2, 0x20));
            acc[g] = Meet<kSign>(acc[g], x[1], _mm256_permute2f128_pd(t1, t3, 0x20));
            acc[g] = Meet<kSign>(acc[g], x[2], _mm256_permute2f128_pd(t0, t2, 0x31));
            acc[g] = Meet<kSign>(acc[g], x[3], _mm256_permute2f128_pd(t1, t3, 0x31));
        }
    }
    for (; q < kc; ++q) {
        const __m256d x = _mm256_broadcast_sd(a + productOf(q) * as);
        const double *bq = b + productOf(q) * bs;
        for (std::size_t g = 0; g < kWideRowGroups; ++g) {
            const double *bg = bq + 4 * g * ldb;
            const __m256d b4 = _mm256_set_pd(bg[3 * ldb], bg[2 * ldb], bg[ldb], bg[0]);
            acc[g] = Meet<kSign>(acc[g], x, b4);
        }
    }
    for (std::size_t g = 0; g < kWideRowGroups; ++g) {
        alignas(32) double sums[4];
        _mm256_store_pd(sums, acc[g]);
        for (std::size_t j = 0; j < 4; ++j) c[(4 * g + j) * ldc] = sums[j];
    }
}

using WideRowFunction = void (*)(std::size_t, const double *, std::ptrdiff_t, const double *,
                                 std::ptrdiff_t, std::size_t, double *, std::size_t, bool);

WideRowFunction WideRowTileFor(UpdateSign sign) {
    return BySign(sign,
                  [&](auto kSign) { return WideRowFunction{WideRowTile<decltype(kSign)::value>}; });
}

using WideTileFunction = void (*)(std::size_t, const double *, std::ptrdiff_t, const double *,
                                  std::ptrdiff_t, std::size_t, double *, std::size_t, std::size_t,
                                  bool);

// Indexed by [columns - 1].
template <UpdateSign kSign>
constexpr WideTileFunction kWideTileTable[kWideNr] = {WideTile<1, kSign>, WideTile<2, kSign>,
                                                      WideTile<3, kSign>, WideTile<4, kSign>};

WideTileFunction WideTileFor(UpdateSign sign, std::size_t nr) {
    return BySign(sign, [&](auto kSign) { return kWideTileTable<decltype(kSign)::value>[nr - 1]; });
}

// Operands of up to kYmmInPlace doubles (128 x 128) are read in place:
// 64 x 64 ran 5% faster so, 256 x 256 a third slower.
constexpr std::size_t kYmmInPlace = 16384;

// Where a tile's operands come from: packed (A's rows filled with zeros up
// to a multiple of four, as = 4 * MV, bs = NR, ldb = 1), in place with
// every row of the panel there, or in place with mr short of 4 * MV (A's
// last register loaded masked).
enum class Operands { kPacked, kInPlace, kInPlaceShort };

// The lanes of a register at or beyond `rows` masked off (_mm256_maskload_pd
// takes the sign bit of each lane).
__attribute__((target("avx2"))) inline __m256i LaneMask(std::size_t rows) {
    const __m256i lanes = _mm256_set_epi64x(3, 2, 1, 0);
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(rows)), lanes);
}

// Meets the products of one step, x[v] (rows 4v .. 4v + 3 of A) by the
// NR elements of B from bq (ldb apart), with the tile's sums as kSign
// says; nonzero[v] has the lanes of x[v] that are not 0.0 (read only
// for kAddUnlessZero).
template <std::size_t MV, std::size_t NR, UpdateSign kSign>
__attribute__((target("avx2"), always_inline)) inline void MeetProducts(
    __m256d (&acc)[NR][MV], const __m256d (&x)[MV], const __m256d (&nonzero)[MV],
    const double *bq, std::size_t ldb) {
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
        const __m256d y = _mm256_broadcast_sd(bq + j * ldb);
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            const __m256d product = _mm256_mul_pd(x[v], y);
            if (kSign == UpdateSign::kSubtract) {
                acc[j][v] = _mm256_sub_pd(acc[j][v], product);
            } else if (kSign == UpdateSign::kAdd) {
                acc[j][v] = _mm256_add_pd(acc[j][v], product);
            } else {
                acc[j][v] =
                    _mm256_blendv_pd(acc[j][v], _mm256_add_pd(acc[j][v], product), nonzero[v]);
            }
        }
    }
}

// Whether every lane of every mask is set.
template <std::size_t MV>
__attribute__((target("avx2"), always_inline)) inline bool AllLanes(const __m256d (&mask)[MV]) {
    __m256d all = mask[0];
    for (std::size_t v = 1; v < MV; ++v) all = _mm256_and_pd(all, mask[v]);
    return _mm256_movemask_pd(all) == 0xF;
}

// Continues (or, with `first`, starts from 0.0) the sums of an mr x NR
// tile of C over kc products: the q-th product of row i and column j is
// a[i + q * as] * b[q * bs + j * ldb], the operands as kFrom says. mr is
// more than 4 * (MV - 1); C's rows from mr on are neither read nor written.
template <std::size_t MV, std::size_t NR, UpdateSign kSign, Operands kFrom>
__attribute__((target("avx2"))) void YmmTile(std::size_t kc, const double *a, std::ptrdiff_t as,
                                             const double *b, std::ptrdiff_t bs, std::size_t ldb,
                                             double *c, std::size_t ldc, std::size_t mr,
                                             bool first) {
    constexpr bool kPacked = kFrom == Operands::kPacked;
    if (kPacked) {
        as = 4 * MV;
        bs = NR;
        ldb = 1;
    }
    const bool shortLast = kFrom == Operands::kInPlaceShort || (kPacked && mr < 4 * MV);
    const __m256i last = LaneMask(mr - 4 * (MV - 1));
    __m256d acc[NR][MV];
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            const double *column = c + j * ldc + 4 * v;
            if (first) {
                acc[j][v] = _mm256_setzero_pd();
            } else {
                acc[j][v] = shortLast && v + 1 == MV ? _mm256_maskload_pd(column, last)
                                                     : _mm256_loadu_pd(column);
            }
        }
    }
    const __m256d zero = _mm256_setzero_pd();
    const double *aq = a;
    const double *bq = b;
#pragma GCC unroll 2
    for (std::size_t q = 0; q < kc; ++q, aq += as, bq += bs) {
        __m256d x[MV];
        __m256d nonzero[MV] = {};
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            if (kPacked) {
                x[v] = _mm256_load_pd(aq + 4 * v);
            } else if (kFrom == Operands::kInPlaceShort && v + 1 == MV) {
                x[v] = _mm256_maskload_pd(aq + 4 * v, last);
            } else {
                x[v] = _mm256_loadu_pd(aq + 4 * v);
            }
            // Lanes whose element of A is not 0.0 (NaN included, as with !=).
            if (kSign == UpdateSign::kAddUnlessZero)
                nonzero[v] = _mm256_cmp_pd(x[v], zero, _CMP_NEQ_UQ);
        }
        // Where every lane of A is nonzero, as in most rows of a dense
        // matrix, every product is added: the blend would select each sum.
        if (kSign == UpdateSign::kAddUnlessZero && !AllLanes<MV>(nonzero)) {
            MeetProducts<MV, NR, kSign>(acc, x, nonzero, bq, ldb);
        } else if (kSign == UpdateSign::kAddUnlessZero) {
            MeetProducts<MV, NR, UpdateSign::kAdd>(acc, x, nonzero, bq, ldb);
        } else {
            MeetProducts<MV, NR, kSign>(acc, x, nonzero, bq, ldb);
        }
    }
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            double *column = c + j * ldc + 4 * v;
            if (shortLast && v + 1 == MV) {
                _mm256_maskstore_pd(column, last, acc[j][v]);
            } else {
                _mm256_storeu_pd(column, acc[j][v]);
            }
        }
    }
}

using YmmTileFunction = PackedTileFunction;

// The tiles of mr rows (up to 4 * MV) and nr columns at
// [(MV - 1) * kYmmNr + nr - 1].
template <UpdateSign kSign, Operands kFrom, std::size_t... I>
constexpr std::array<YmmTileFunction, sizeof...(I)> YmmTilesOf(std::index_sequence<I...>) {
    return {{YmmTile<I / kYmmNr + 1, I % kYmmNr + 1, kSign, kFrom>...}};
}

template <UpdateSign kSign, Operands kFrom>
constexpr std::array<YmmTileFunction, kYmmMr / 4 * kYmmNr> kYmmTiles =
    YmmTilesOf<kSign, kFrom>(std::make_index_sequence<kYmmMr / 4 * kYmmNr>{});

YmmTileFunction YmmTileFor(UpdateSign sign, bool packed, std::size_t mr, std::size_t nr) {
    const std::size_t at = ((mr + 3) / 4 - 1) * kYmmNr + nr - 1;
    return BySign(sign, [&](auto kSign) {
        constexpr UpdateSign kS = decltype(kSign)::value;
        return packed        ? kYmmTiles<kS, Operands::kPacked>[at]
               : mr % 4 == 0 ? kYmmTiles<kS, Operands::kInPlace>[at]
                             : kYmmTiles<kS, Operands::kInPlaceShort>[at];
    });
}

// Copies the pass's kc products of an mc-row block of A (the q-th column
// at a + q * as) into panels of kYmmMr rows, the last one filled with zero
// rows up to a multiple of four: the panel of rows ir.. starts at
// packed[ir * kc] and holds row ir + i, product q at [i + q * height].
__attribute__((target("avx2"))) void PackA(std::size_t mc, std::size_t kc, const double *a,
                                           std::ptrdiff_t as, double *packed) {
    static_assert(kYmmMr == 8, "a whole panel's column is two registers");
    // The whole panels a column of A at a time, four columns together: the
    // reads run down contiguous columns rather than across them, one page
    // apart at each step (575 rather than 413 us for A at 1024 x 1024).
    const std::size_t whole = mc / kYmmMr * kYmmMr;
    std::size_t q0 = 0;
    for (; q0 + 4 <= kc; q0 += 4) {
        const double *columns = a + static_cast<std::ptrdiff_t>(q0) * as;
        double *to = packed + q0 * kYmmMr;
        for (std::size_t ir = 0; ir < whole; ir += kYmmMr, to += kYmmMr * kc) {
            for (std::size_t l = 0; l < 4; ++l) {
                const double *column = columns + static_cast<std::ptrdiff_t>(l) * as + ir;
                _mm256_store_pd(to + l * kYmmMr, _mm256_loadu_pd(column));
                _mm256_store_pd(to + l * kYmmMr + 4, _mm256_loadu_pd(column + 4));
            }
        }
    }
    for (std::size_t ir = 0; ir < mc; ir += kYmmMr) {
        const std::size_t mr = std::min(kYmmMr, mc - ir);
        const std::size_t height = (mr + 3) / 4 * 4;
        double *panel = packed + ir * kc;
        const double *column = a + ir;
        if (mr == kYmmMr) {
            column += static_cast<std::ptrdiff_t>(q0) * as;
            for (std::size_t q = q0; q < kc; ++q, column += as) {
                _mm256_store_pd(panel + q * kYmmMr, _mm256_loadu_pd(column));
                _mm256_store_pd(panel + q * kYmmMr + 4, _mm256_loadu_pd(column + 4));
            }
            continue;
        }
        for (std::size_t q = 0; q < kc; ++q, column += as) {
            double *to = panel + q * height;
            std::copy(column, column + mr, to);
            std::fill(to + mr, to + height, 0.0);
        }
    }
}

// The AVX2 tiles as the shared walks take them (kernels/mtimes_packed.h).
struct YmmWidth {
    static constexpr std::size_t kMr = kYmmMr;
    static constexpr std::size_t kNr = kYmmNr;
    static constexpr std::size_t kKc = kYmmKc;
    static constexpr std::size_t kMc = kYmmMc;
    static constexpr bool kFetchNextB = true;
    static std::size_t Columns(std::size_t kc) { return YmmColumns(kc); }
    static void PackA(std::size_t mc, std::size_t kc, const double *a, std::ptrdiff_t as,
                      double *packed) {
        product::PackA(mc, kc, a, as, packed);
    }
    static PackedTileFunction TileFor(UpdateSign sign, bool packed, std::size_t mr,
                                      std::size_t nr) {
        return YmmTileFor(sign, packed, mr, nr);
    }
};

}  // namespace

// Whole panels walking forwards take four products of each column at
// once, turned in registers.
__attribute__((target("avx2"))) void PackSixColumnPanels(std::size_t nc, std::size_t kc,
                                                         const double *b, std::ptrdiff_t bs,
                                                         std::size_t ldb, double *packed) {
    static_assert(kYmmNr == 6, "a whole panel is four columns and two");
    for (std::size_t jr = 0; jr < nc; jr += kYmmNr) {
        const std::size_t width = std::min(kYmmNr, nc - jr);
        double *panel = packed + jr * kc;
        const double *first = b + jr * ldb;
        std::size_t q0 = 0;
        if (width == kYmmNr && bs == 1) {
            for (; q0 + 4 <= kc; q0 += 4) {
                __m256d v[kYmmNr];
                for (std::size_t j = 0; j < kYmmNr; ++j) v[j] = _mm256_loadu_pd(first + j * ldb + q0);
                const __m256d t0 = _mm256_unpacklo_pd(v[0], v[1]);
                const __m256d t1 = _mm256_unpackhi_pd(v[0], v[1]);
                const __m256d t2 = _mm256_unpacklo_pd(v[2], v[3]);
                const __m256d t3 = _mm256_unpackhi_pd(v[2], v[3]);
                const __m256d lo = _mm256_unpacklo_pd(v[4], v[5]);
                const __m256d hi = _mm256_unpackhi_pd(v[4], v[5]);
                double *row = panel + q0 * kYmmNr;
                _mm256_storeu_pd(row, _mm256_permute2f128_pd(t0, t2, 0x20));
                _mm_storeu_pd(row + 4, _mm256_castpd256_pd128(lo));
                _mm256_storeu_pd(row + 6, _mm256_permute2f128_pd(t1, t3, 0x20));
                _mm_storeu_pd(row + 10, _mm256_castpd256_pd128(hi));
                _mm256_storeu_pd(row + 12, _mm256_permute2f128_pd(t0, t2, 0x31));
                _mm_storeu_pd(row + 16, _mm256_extractf128_pd(lo, 1));
                _mm256_storeu_pd(row + 18, _mm256_permute2f128_pd(t1, t3, 0x31));
                _mm_storeu_pd(row + 22, _mm256_extractf128_pd(hi, 1));
            }
        }
        for (std::size_t j = 0; j < width; ++j) {
            const double *column = first + j * ldb;
            for (std::size_t q = q0; q < kc; ++q) {
                panel[j + q * width] = column[static_cast<std::ptrdiff_t>(q) * bs];
            }
        }
    }
}

bool YmmInPlace(std::size_t m, std::size_t n, std::size_t k) {
    return m * k <= kYmmInPlace && k * n <= kYmmInPlace;
}

void YmmProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                bool fromZero, UpdateSign sign, SumOrder order) {
    // Operands that stay in the caches as they are, or with no workspace,
    // are read in place.
    if (work == nullptr || YmmInPlace(m, n, k)) {
        InPlaceProduct<YmmWidth>(m, n, k, a, lda, b, ldb, c, ldc, fromZero, sign, order);
    } else {
        PackedProduct<YmmWidth>(m, n, k, a, lda, b, ldb, c, ldc, work, fromZero, sign, order);
    }
}

void WideProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                 const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                 bool fromZero, UpdateSign sign, SumOrder order) {
    auto tiles = [&](const Pass &pass, bool first, std::size_t ic, std::size_t mc,
                     const double *block) {
        const std::size_t wideRows = work != nullptr ? mc : mc / kWideMr * kWideMr;
        for (std::size_t jc = 0; jc < n; jc += kWideNr) {
            const std::size_t nr = std::min(kWideNr, n - jc);
            const double *panelB = b + pass.p0 + jc * ldb;
            double *panelC = c + ic + jc * ldc;
            const std::ptrdiff_t as = work != nullptr ? kWideMr : pass.aStep;
            auto panelA = [&](std::size_t ir) {
                return work != nullptr ? work + ir * pass.kc : block + ir;
            };
            std::size_t ir = 0;
            if (nr == 1) {
                for (; ir + 2 * kWideMr <= mc && ir + 2 * kWideMr <= wideRows; ir += 2 * kWideMr) {
                    const double *const panels[2] = {panelA(ir), panelA(ir + kWideMr)};
                    WideColumnTileFor(sign)(pass.kc, panels, as, panelB, pass.bStep, panelC + ir,
                                            first);
                }
            }
            for (; ir < wideRows; ir += kWideMr) {
                const std::size_t mr = std::min(kWideMr, mc - ir);
                WideTileFor(sign, nr)(pass.kc, panelA(ir), as, panelB, pass.bStep, ldb, panelC + ir,
                                      ldc, mr, first);
            }
            for (; ir < mc; ir += kMr) {
                const std::size_t mr = std::min(kMr, mc - ir);
                PortableTile(sign, mr, nr)(pass.kc, block + ir, pass.aStep, panelB, pass.bStep, ldb,
                                           panelC + ir, ldc, first);
            }
        }
    };
    ForEachBlock<kWideMr, true>(m, k, a, lda, work, fromZero, order, tiles);
}

std::size_t WideRowColumns(std::size_t kc, const double *a, std::ptrdiff_t as, const double *b,
                           std::ptrdiff_t bs, std::size_t ldb, double *c, std::size_t ldc,
                           std::size_t n, bool first, UpdateSign sign) {
    std::size_t jc = 0;
    for (; jc + kWideRowNr <= n; jc += kWideRowNr) {
        WideRowTileFor(sign)(kc, a, as, b + jc * ldb, bs, ldb, c + jc * ldc, ldc, first);
    }
    return jc;
}

}  // namespace product
}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_HAVE_AVX2_PATHS
