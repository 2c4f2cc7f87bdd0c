// src/kernels/mtimes_kernel.cpp: the in-order matrix product, blocked for caches.
#include "kernels/mtimes_kernel.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <type_traits>

#include "kernels/kernel_support.h"

// x86-64 processors with AVX2 get wider tiles (see kernels/kernel_support.h).
#if defined(MATRIX_HAVE_AVX2_PATHS)
#define MATRIX_PRODUCT_AVX2 1
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Register tile: kMr x kNr sums in flight. A 4x4 tile fills eight SSE2
// registers of two doubles (four with AVX), leaving room for a column of A
// and a broadcast element of B; sixteen independent chains hide the latency
// of the adds, which the fixed order forbids to split any other way.
constexpr std::size_t kMr = 4;
constexpr std::size_t kNr = 4;

// Cache blocks: one pass covers kKc products of every sum, so that a tile's
// panels of A (kMr x kKc) and B (kKc x kNr), 8 KB each, stay in L1; a packed
// block of A holds kMc x kKc doubles (256 KB), sized for L2.
constexpr std::size_t kKc = 256;
constexpr std::size_t kMc = 128;

// The AVX2 tile: kWideMr x kWideNr sums, two registers of four doubles per
// column of the tile. Eight accumulators cover the latency of the adds.
constexpr std::size_t kWideMr = 8;
constexpr std::size_t kWideNr = 4;
static_assert(kMc % kWideMr == 0, "row blocks hold whole wide panels");

// Packing copies each element of A once per block and reuses it for every
// column of B, so it pays only when B has enough columns and A is too large
// to stay in L1 as it is.
constexpr std::size_t kPackMinColumns = 8;
constexpr std::size_t kPackMinElements = 32 * 32;

// Calls pick with the sign as a compile-time constant
// (std::integral_constant<UpdateSign, sign>) and returns what it returns:
// how the kernels turn the run-time sign into the instantiation for it.
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

// Continues the sums of an MR x NR tile of C over kc products, taken in the
// order q = 0, 1, ...: the q-th product of row i and column j is
// a[i + q * as] * b[q * bs + j * ldb] (the steps may be negative, to walk
// backwards). `first`: the sums start here, from 0.0; otherwise they
// continue from the values in C.
// kSign: how each product meets the sum (see UpdateSign; the plain product
// adds).
template <std::size_t MR, std::size_t NR, UpdateSign kSign>
void Tile(std::size_t kc, const double *a, std::ptrdiff_t as, const double *b, std::ptrdiff_t bs,
          std::size_t ldb, double *c, std::size_t ldc, bool first) {
    double acc[NR][MR];
    for (std::size_t j = 0; j < NR; ++j) {
        for (std::size_t i = 0; i < MR; ++i) acc[j][i] = first ? 0.0 : c[i + j * ldc];
    }
    for (std::size_t q = 0; q < kc; ++q) {
        const double *ap = a + static_cast<std::ptrdiff_t>(q) * as;
        const double *bq = b + static_cast<std::ptrdiff_t>(q) * bs;
        for (std::size_t j = 0; j < NR; ++j) {
            const double bpj = bq[j * ldb];
            for (std::size_t i = 0; i < MR; ++i) {
                if (kSign == UpdateSign::kSubtract) {
                    acc[j][i] = acc[j][i] - ap[i] * bpj;
                } else if (kSign == UpdateSign::kAddUnlessZero) {
                    acc[j][i] = ap[i] != 0.0 ? acc[j][i] + ap[i] * bpj : acc[j][i];
                } else {
                    acc[j][i] = acc[j][i] + ap[i] * bpj;
                }
            }
        }
    }
    for (std::size_t j = 0; j < NR; ++j) {
        for (std::size_t i = 0; i < MR; ++i) c[i + j * ldc] = acc[j][i];
    }
}

using TileFunction = void (*)(std::size_t, const double *, std::ptrdiff_t, const double *,
                              std::ptrdiff_t, std::size_t, double *, std::size_t, bool);

// Indexed by [rows - 1][columns - 1]: full tiles and the edge tiles.
template <UpdateSign kSign>
constexpr TileFunction kTileTable[kMr][kNr] = {
    {Tile<1, 1, kSign>, Tile<1, 2, kSign>, Tile<1, 3, kSign>, Tile<1, 4, kSign>},
    {Tile<2, 1, kSign>, Tile<2, 2, kSign>, Tile<2, 3, kSign>, Tile<2, 4, kSign>},
    {Tile<3, 1, kSign>, Tile<3, 2, kSign>, Tile<3, 3, kSign>, Tile<3, 4, kSign>},
    {Tile<4, 1, kSign>, Tile<4, 2, kSign>, Tile<4, 3, kSign>, Tile<4, 4, kSign>},
};

TileFunction PortableTile(UpdateSign sign, std::size_t mr, std::size_t nr) {
    return BySign(sign,
                  [&](auto kSign) { return kTileTable<decltype(kSign)::value>[mr - 1][nr - 1]; });
}

// A lone row of C: up to kRowNr columns at once, each its own chain of
// adds; the kNr of a full tile would leave their latency exposed.
constexpr std::size_t kRowNr = 8;

// Indexed by [columns - 1].
template <UpdateSign kSign>
constexpr TileFunction kRowTileTable[kRowNr] = {
    Tile<1, 1, kSign>, Tile<1, 2, kSign>, Tile<1, 3, kSign>, Tile<1, 4, kSign>,
    Tile<1, 5, kSign>, Tile<1, 6, kSign>, Tile<1, 7, kSign>, Tile<1, 8, kSign>};

TileFunction RowTile(UpdateSign sign, std::size_t nr) {
    return BySign(sign, [&](auto kSign) { return kRowTileTable<decltype(kSign)::value>[nr - 1]; });
}

// Copies an mc x kc block of A into panels of kRows rows, in the order the
// products are taken: the q-th column of the block is a + q * as. The panel
// of rows ir.. starts at packed[ir * kc] and holds row ir + i, product q at
// [i + q * rows], rows being the panel's height. kFill: the last panel is
// filled up with zero rows to kRows, so that every panel can be read whole;
// otherwise it is shorter.
template <std::size_t kRows, bool kFill>
void PackPanels(std::size_t mc, std::size_t kc, const double *a, std::ptrdiff_t as,
                double *packed) {
    for (std::size_t ir = 0; ir < mc; ir += kRows) {
        const std::size_t mr = std::min(kRows, mc - ir);
        const std::size_t rows = kFill ? kRows : mr;
        double *panel = packed + ir * kc;
        for (std::size_t q = 0; q < kc; ++q) {
            const double *column = a + static_cast<std::ptrdiff_t>(q) * as + ir;
            std::copy(column, column + mr, panel + q * rows);
            if (kFill) std::fill(panel + q * rows + mr, panel + (q + 1) * rows, 0.0);
        }
    }
}

// One pass over at most kKc products of every sum: kc products, the first
// at p0, the next ones a step of +1 or -1 in p away (aStep in A's elements).
struct Pass {
    std::size_t kc;
    std::size_t p0;
    std::ptrdiff_t aStep;
    std::ptrdiff_t bStep;
};

// The pass that follows `done` products already taken, in `order`.
Pass PassOf(std::size_t done, std::size_t k, std::size_t lda, SumOrder order) {
    const std::size_t kc = std::min(kKc, k - done);
    const std::ptrdiff_t step = order == SumOrder::kDecreasing ? -1 : 1;
    return {kc, order == SumOrder::kDecreasing ? k - 1 - done : done,
            step * static_cast<std::ptrdiff_t>(lda), step};
}

// Walks the passes over kKc products, in the sums' order (every sum carries
// on through C from one pass to the next), and within each pass the blocks
// of kMc rows of A, packed into panels of kRows rows when there is
// workspace. Calls tiles(pass, first, ic, mc, block) for each block, with
// block pointing at A's element (ic, pass.p0) and `first` true on the pass
// where the sums start from 0.0.
template <std::size_t kRows, bool kFill, typename Tiles>
void ForEachBlock(std::size_t m, std::size_t k, const double *a, std::size_t lda, double *work,
                  bool fromZero, SumOrder order, Tiles tiles) {
    for (std::size_t done = 0; done < k; done += kKc) {
        const Pass pass = PassOf(done, k, lda, order);
        const bool first = fromZero && done == 0;
        for (std::size_t ic = 0; ic < m; ic += kMc) {
            const std::size_t mc = std::min(kMc, m - ic);
            const double *block = a + ic + pass.p0 * lda;
            if (work != nullptr) PackPanels<kRows, kFill>(mc, pass.kc, block, pass.aStep, work);
            tiles(pass, first, ic, mc, block);
        }
    }
}

#if defined(MATRIX_PRODUCT_AVX2)

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

// MatrixProduct with the AVX2 tiles, in the same passes and blocks. Without
// a workspace A is read in place, and rows below the last whole panel go
// through the portable tiles.
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

#endif  // MATRIX_PRODUCT_AVX2

}  // namespace

std::size_t MatrixProductWorkspace(std::size_t m, std::size_t n, std::size_t k) {
    if (n < kPackMinColumns || m < kMr || m * k < kPackMinElements) return 0;
    // Room for rows filled up to whole wide panels.
    const std::size_t rows = (std::min(m, kMc) + kWideMr - 1) / kWideMr * kWideMr;
    return rows * std::min(k, kKc);
}

double *PackingSpace(std::size_t m, std::size_t n, std::size_t k) {
    if (MatrixProductWorkspace(m, n, k) == 0) return nullptr;
    // One block per thread, the largest any product packs, made on first
    // use and kept: the blocked factorisations call the update kernel many
    // times in a row. It comes from malloc, outside the library's own
    // allocation accounting, and a failure only means reading A in place.
    struct Space {
        double *data = nullptr;
        bool tried = false;
        ~Space() { std::free(data); }
    };
    thread_local Space space;
    if (!space.tried) {
        space.tried = true;
        space.data = static_cast<double *>(std::malloc(kMc * kKc * sizeof(double)));
    }
    return space.data;
}

namespace {

// C = A*B from 0.0 (fromZero, with kAdd) or C updated by A*B as `sign`
// says, every sum in increasing p; the contracts are those of
// MatrixProduct and MatrixProductUpdate. m, n and k are not 0.
void Product(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
             const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
             KernelPath path, bool fromZero, UpdateSign sign, SumOrder order) {
#if defined(MATRIX_PRODUCT_AVX2)
    if (path == KernelPath::kFastest && HasAvx2() && m > 1) {
        WideProduct(m, n, k, a, lda, b, ldb, c, ldc, work, fromZero, sign, order);
        return;
    }
#else
    (void)path;
#endif

    if (m == 1) {
#if defined(MATRIX_PRODUCT_AVX2)
        const bool wide = path == KernelPath::kFastest && HasAvx2();
#else
        const bool wide = false;
        (void)wide;
#endif
        auto row = [&](const Pass &pass, bool first, std::size_t, std::size_t,
                       const double *block) {
            std::size_t jc = 0;
#if defined(MATRIX_PRODUCT_AVX2)
            for (; wide && jc + kWideRowNr <= n; jc += kWideRowNr) {
                WideRowTileFor(sign)(pass.kc, block, pass.aStep, b + pass.p0 + jc * ldb, pass.bStep,
                                     ldb, c + jc * ldc, ldc, first);
            }
#endif
            for (; jc < n; jc += kRowNr) {
                const std::size_t nr = std::min(kRowNr, n - jc);
                RowTile(sign, nr)(pass.kc, block, pass.aStep, b + pass.p0 + jc * ldb, pass.bStep,
                                  ldb, c + jc * ldc, ldc, first);
            }
        };
        ForEachBlock<kMr, false>(m, k, a, lda, nullptr, fromZero, order, row);
        return;
    }

    // Each tile column of B is reused by every row panel of the block while
    // it is in L1.
    auto tiles = [&](const Pass &pass, bool first, std::size_t ic, std::size_t mc,
                     const double *block) {
        for (std::size_t jc = 0; jc < n; jc += kNr) {
            const std::size_t nr = std::min(kNr, n - jc);
            const double *panelB = b + pass.p0 + jc * ldb;
            for (std::size_t ir = 0; ir < mc; ir += kMr) {
                const std::size_t mr = std::min(kMr, mc - ir);
                const double *panelA = work != nullptr ? work + ir * pass.kc : block + ir;
                const std::ptrdiff_t as =
                    work != nullptr ? static_cast<std::ptrdiff_t>(mr) : pass.aStep;
                PortableTile(sign, mr, nr)(pass.kc, panelA, as, panelB, pass.bStep, ldb,
                                           c + ic + ir + jc * ldc, ldc, first);
            }
        }
    };
    ForEachBlock<kMr, false>(m, k, a, lda, work, fromZero, order, tiles);
}

}  // namespace

void MatrixProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                   const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                   KernelPath path) {
    if (m == 0 || n == 0) return;
    if (k == 0) {
        for (std::size_t j = 0; j < n; ++j) std::fill(c + j * ldc, c + j * ldc + m, 0.0);
        return;
    }
    Product(m, n, k, a, lda, b, ldb, c, ldc, work, path, true, UpdateSign::kAdd,
            SumOrder::kIncreasing);
}

void MatrixProductUpdate(std::size_t m, std::size_t n, std::size_t k, const double *a,
                         std::size_t lda, const double *b, std::size_t ldb, double *c,
                         std::size_t ldc, double *work, UpdateSign sign, SumOrder order,
                         KernelPath path) {
    if (m == 0 || n == 0 || k == 0) return;
    Product(m, n, k, a, lda, b, ldb, c, ldc, work, path, false, sign, order);
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
