// src/kernels/mtimes_blocking.h: the product's blocking, shared by its portable and vector tiles.
#ifndef MATRIX_SRC_KERNELS_MTIMES_BLOCKING_H
#define MATRIX_SRC_KERNELS_MTIMES_BLOCKING_H

#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "kernels/kernel_support.h"
#include "kernels/mtimes_kernel.h"

namespace kiv {
namespace matrix {
namespace kernels {
namespace product {

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

// The AVX-512 tile: kZmmMr x kZmmNr sums in 24 registers of eight doubles
// (four per column), which leaves room for the four registers of A, a
// broadcast element of B and a product. Each pass takes kZmmKc products;
// a tile's packed panel of B (kZmmKc x kZmmNr, 12 KB) stays in L1 while
// the panels of A stream from a packed block of kZmmMc rows (384 KB) in
// L2, and B is packed kZmmNcBudget doubles at a time (2 MB, kZmmKc x 1032,
// more columns when the sums are shorter): a 1024-column B is packed
// whole, so that A is packed once rather than twice (the second packing
// cost 2% of the AVX2 product at 1024). Only where the sums stop
// between passes differs from the other tiles, and a sum stored in C and
// read back is the same double, so the bits are the same.
constexpr std::size_t kZmmMr = 32;
constexpr std::size_t kZmmNr = 6;
constexpr std::size_t kZmmKc = 256;
constexpr std::size_t kZmmMc = 192;
constexpr std::size_t kZmmNcBudget = kZmmKc * 1032;
static_assert(kZmmMc % kZmmMr == 0, "row blocks hold whole AVX-512 panels");

// Packed panels start on 64-byte lines, so that no load of eight doubles
// straddles two; the workspace holds this much slack for each of them.
constexpr std::size_t kZmmAlign = 8;

// The columns of B packed together when the sums take kc products per
// pass: a whole number of tiles, at least one.
constexpr std::size_t ZmmColumns(std::size_t kc) {
    return std::max<std::size_t>(kZmmNcBudget / kc / kZmmNr, 1) * kZmmNr;
}

// Doubles of workspace the AVX-512 tiles use for an m x k left operand and
// n columns: the packed panel of B (kc * min(n, ZmmColumns(kc)), which the
// budget bounds) and the packed block of A (rows filled up to a multiple
// of eight), each with its slack for alignment. It never decreases as m, n
// or k grow, so space for one product serves every smaller one.
constexpr std::size_t ZmmWorkspace(std::size_t m, std::size_t n, std::size_t k) {
    const std::size_t kc = std::min(k, kZmmKc);
    const std::size_t rows = (std::min(m, kZmmMc) + 7) / 8 * 8;
    return std::min(kc * n, kZmmNcBudget) + rows * kc + 2 * kZmmAlign;
}

// The packed AVX2 tiles: kYmmMr x NR sums (NR up to kYmmNr), two
// registers of four doubles per column of the tile: twelve chains that
// cover the latency of the adds, with room left for A's two registers, a
// broadcast element of B and a product. Each pass takes kYmmKc products;
// a tile's packed panel of B (kYmmKc x kYmmNr, 12 KB) stays in L1 while
// the panels of A stream from a packed block of kYmmMc rows (384 KB) in
// L2, and B is packed kZmmNcBudget doubles at a time, as for the AVX-512
// tiles.
constexpr std::size_t kYmmMr = 8;
constexpr std::size_t kYmmNr = 6;
constexpr std::size_t kYmmKc = 256;
constexpr std::size_t kYmmMc = 192;
static_assert(kYmmMc % kYmmMr == 0, "row blocks hold whole AVX2 panels");

// The columns of B the AVX2 tiles pack together when the sums take kc
// products per pass: a whole number of tiles, at least one.
constexpr std::size_t YmmColumns(std::size_t kc) {
    return std::max<std::size_t>(kZmmNcBudget / kc / kYmmNr, 1) * kYmmNr;
}

// Doubles of workspace the AVX2 tiles use for an m x k left operand and n
// columns, as ZmmWorkspace (A's rows filled up to a multiple of four).
constexpr std::size_t YmmWorkspace(std::size_t m, std::size_t n, std::size_t k) {
    const std::size_t kc = std::min(k, kYmmKc);
    const std::size_t rows = (std::min(m, kYmmMc) + 3) / 4 * 4;
    return std::min(kc * n, kZmmNcBudget) + rows * kc + 2 * kZmmAlign;
}

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
inline constexpr TileFunction kTileTable[kMr][kNr] = {
    {Tile<1, 1, kSign>, Tile<1, 2, kSign>, Tile<1, 3, kSign>, Tile<1, 4, kSign>},
    {Tile<2, 1, kSign>, Tile<2, 2, kSign>, Tile<2, 3, kSign>, Tile<2, 4, kSign>},
    {Tile<3, 1, kSign>, Tile<3, 2, kSign>, Tile<3, 3, kSign>, Tile<3, 4, kSign>},
    {Tile<4, 1, kSign>, Tile<4, 2, kSign>, Tile<4, 3, kSign>, Tile<4, 4, kSign>},
};

inline TileFunction PortableTile(UpdateSign sign, std::size_t mr, std::size_t nr) {
    return BySign(sign,
                  [&](auto kSign) { return kTileTable<decltype(kSign)::value>[mr - 1][nr - 1]; });
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

// The pass that follows `done` products already taken, in `order`, passes
// being blockK products long.
inline Pass PassOf(std::size_t done, std::size_t k, std::size_t lda, SumOrder order,
                   std::size_t blockK = kKc) {
    const std::size_t kc = std::min(blockK, k - done);
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

#if defined(MATRIX_HAVE_AVX2_PATHS)

// MatrixProduct and MatrixProductUpdate with the AVX2 tiles, in the same
// passes and blocks (mtimes_kernel_avx2.cpp): C = A*B from 0.0 (fromZero,
// with kAdd) or C updated by A*B as `sign` says, in `order`. m > 1; m, n
// and k are not 0. Without a workspace A is read in place, and rows below
// the last whole wide panel go through the portable tiles.
void WideProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                 const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                 bool fromZero, UpdateSign sign, SumOrder order);

// One pass of a lone row of C (m = 1) with the AVX2 row tiles: the pass's
// products of A's row (a, step as) with the columns of B (b at the pass's
// first product, step bs, ldb) continue the first columns of C (c, ldc),
// as many whole groups of the wide row tile as n holds. Returns the number
// of columns done; the rest are left to the portable row tiles.
std::size_t WideRowColumns(std::size_t kc, const double *a, std::ptrdiff_t as, const double *b,
                           std::ptrdiff_t bs, std::size_t ldb, double *c, std::size_t ldc,
                           std::size_t n, bool first, UpdateSign sign);

// MatrixProduct and MatrixProductUpdate with the packed AVX2 tiles
// (mtimes_kernel_avx2.cpp), with the arguments of WideProduct. With a
// workspace, unless both operands are small enough to stay in the caches
// as they are, A and B are packed into it, which then holds
// YmmWorkspace(m, n, k) doubles; otherwise both are read in place. m, n
// and k are not 0.
void YmmProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                bool fromZero, UpdateSign sign, SumOrder order);

// Copies the pass's kc products of nc columns of B (column j's q-th at
// b[q * bs + j * ldb]) into panels of six columns (kYmmNr, kZmmNr), the
// last one narrower: the panel of columns jr.. starts at packed[jr * kc]
// and holds column jr + j, product q at [j + q * width]. The packing of
// both vector widths' tiles (mtimes_kernel_avx2.cpp), with AVX2: whole
// panels walking forwards take four products of each column at once,
// turned in registers.
void PackSixColumnPanels(std::size_t nc, std::size_t kc, const double *b, std::ptrdiff_t bs,
                         std::size_t ldb, double *packed);
static_assert(kYmmNr == 6 && kZmmNr == 6, "both vector widths' tiles take six columns of B");

// Whether Avx512Product reads both operands in place, with no workspace.
bool Avx512InPlace(std::size_t m, std::size_t n, std::size_t k);

// Whether YmmProduct reads both operands in place even with a workspace.
bool YmmInPlace(std::size_t m, std::size_t n, std::size_t k);

// MatrixProduct and MatrixProductUpdate with the AVX-512 tiles
// (mtimes_kernel_avx512.cpp), with the arguments of WideProduct. Unless
// Avx512InPlace(m, n, k), A and B are packed into `work`, which then holds
// ZmmWorkspace(m, n, k) doubles. m, n and k are not 0.
void Avx512Product(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                   const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                   bool fromZero, UpdateSign sign, SumOrder order);

#endif  // MATRIX_HAVE_AVX2_PATHS

}  // namespace product
}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_MTIMES_BLOCKING_H
