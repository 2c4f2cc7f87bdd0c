// src/linalg/kernels/mtimes_kernel.cpp: the in-order matrix product, blocked for caches.
#include "linalg/kernels/mtimes_kernel.h"

#include <algorithm>
#include <cstddef>

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

// Packing copies each element of A once per block and reuses it for every
// column of B, so it pays only when B has enough columns and A is too large
// to stay in L1 as it is.
constexpr std::size_t kPackMinColumns = 8;
constexpr std::size_t kPackMinElements = 32 * 32;

// Continues the sums of an MR x NR tile of C over kc products. A(i, p) of
// the tile is a[i + p * as], B(p, j) is b[p + j * ldb]. `first`: the sums
// start here, from 0.0; otherwise they continue from the values in C.
template <std::size_t MR, std::size_t NR>
void Tile(std::size_t kc, const double *a, std::size_t as, const double *b, std::size_t ldb,
          double *c, std::size_t ldc, bool first) {
    double acc[NR][MR];
    for (std::size_t j = 0; j < NR; ++j) {
        for (std::size_t i = 0; i < MR; ++i) acc[j][i] = first ? 0.0 : c[i + j * ldc];
    }
    for (std::size_t p = 0; p < kc; ++p) {
        const double *ap = a + p * as;
        for (std::size_t j = 0; j < NR; ++j) {
            const double bpj = b[p + j * ldb];
            for (std::size_t i = 0; i < MR; ++i) acc[j][i] = acc[j][i] + ap[i] * bpj;
        }
    }
    for (std::size_t j = 0; j < NR; ++j) {
        for (std::size_t i = 0; i < MR; ++i) c[i + j * ldc] = acc[j][i];
    }
}

using TileFunction = void (*)(std::size_t, const double *, std::size_t, const double *,
                              std::size_t, double *, std::size_t, bool);

// Indexed by [rows - 1][columns - 1]: full tiles and the edge tiles.
const TileFunction kTiles[kMr][kNr] = {
    {Tile<1, 1>, Tile<1, 2>, Tile<1, 3>, Tile<1, 4>},
    {Tile<2, 1>, Tile<2, 2>, Tile<2, 3>, Tile<2, 4>},
    {Tile<3, 1>, Tile<3, 2>, Tile<3, 3>, Tile<3, 4>},
    {Tile<4, 1>, Tile<4, 2>, Tile<4, 3>, Tile<4, 4>},
};

// Copies an mc x kc block of A into panels of kMr rows (the last one
// shorter), each panel p-major: the panel of rows ir.. starts at
// packed[ir * kc] and holds A(ir + i, p) at [i + p * rows].
void PackBlock(std::size_t mc, std::size_t kc, const double *a, std::size_t lda,
               double *packed) {
    for (std::size_t ir = 0; ir < mc; ir += kMr) {
        const std::size_t mr = std::min(kMr, mc - ir);
        double *panel = packed + ir * kc;
        for (std::size_t p = 0; p < kc; ++p) {
            for (std::size_t i = 0; i < mr; ++i) panel[i + p * mr] = a[ir + i + p * lda];
        }
    }
}

}  // namespace

std::size_t MatrixProductWorkspace(std::size_t m, std::size_t n, std::size_t k) {
    if (n < kPackMinColumns || m < kMr || m * k < kPackMinElements) return 0;
    return std::min(m, kMc) * std::min(k, kKc);
}

void MatrixProduct(std::size_t m, std::size_t n, std::size_t k, const double *a,
                   std::size_t lda, const double *b, std::size_t ldb, double *c,
                   std::size_t ldc, double *work) {
    if (m == 0 || n == 0) return;
    if (k == 0) {
        for (std::size_t j = 0; j < n; ++j) std::fill(c + j * ldc, c + j * ldc + m, 0.0);
        return;
    }

    // Passes over blocks of kKc products, in increasing p: every sum carries
    // on through C from one pass to the next.
    for (std::size_t pc = 0; pc < k; pc += kKc) {
        const std::size_t kc = std::min(kKc, k - pc);
        const bool first = pc == 0;
        for (std::size_t ic = 0; ic < m; ic += kMc) {
            const std::size_t mc = std::min(kMc, m - ic);
            const double *block = a + ic + pc * lda;
            if (work != nullptr) PackBlock(mc, kc, block, lda, work);

            // Each tile column of B is reused by every row panel of the
            // block while it is in L1.
            for (std::size_t jc = 0; jc < n; jc += kNr) {
                const std::size_t nr = std::min(kNr, n - jc);
                const double *panelB = b + pc + jc * ldb;
                for (std::size_t ir = 0; ir < mc; ir += kMr) {
                    const std::size_t mr = std::min(kMr, mc - ir);
                    const double *panelA = work != nullptr ? work + ir * kc : block + ir;
                    const std::size_t as = work != nullptr ? mr : lda;
                    kTiles[mr - 1][nr - 1](kc, panelA, as, panelB, ldb, c + ic + ir + jc * ldc,
                                           ldc, first);
                }
            }
        }
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
