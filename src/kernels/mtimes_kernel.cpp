// src/kernels/mtimes_kernel.cpp: the in-order matrix product, blocked for caches.
#include "kernels/mtimes_kernel.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <thread>

#include "kernels/column_products.h"
#include "kernels/kernel_support.h"
#include "kernels/mtimes_blocking.h"
#include "kernels/mtimes_packed.h"
#include "kernels/parallel.h"

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

using product::BySign;
using product::ForEachBlock;
using product::kKc;
using product::kMc;
using product::kMr;
using product::kNr;
using product::kWideMr;
using product::Pass;
using product::PortableTile;
using product::Tile;
using product::TileFunction;

// Packing copies each element of A once per block and reuses it for every
// column of B, so it pays only when B has enough columns and A is too large
// to stay in L1 as it is.
constexpr std::size_t kPackMinColumns = 8;
constexpr std::size_t kPackMinElements = 32 * 32;

// The most workspace any product asks for (see MatrixProductWorkspace).
#if defined(MATRIX_HAVE_AVX2_PATHS)
constexpr std::size_t kLargestWorkspace =
    std::max({kMc * kKc,
              product::kZmmNcBudget + product::kZmmMc * product::kZmmKc + 2 * product::kZmmAlign,
              product::kZmmNcBudget + product::kYmmMc * product::kYmmKc + 2 * product::kZmmAlign});
#else
constexpr std::size_t kLargestWorkspace = kMc * kKc;
#endif

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

}  // namespace

std::size_t MatrixProductWorkspace(std::size_t m, std::size_t n, std::size_t k) {
    if (n < kPackMinColumns || m < kMr || m * k < kPackMinElements) return 0;
    // Room for rows filled up to whole wide panels, or for the packed
    // panels of both operands that the AVX-512 or the AVX2 tiles take,
    // whichever is larger: any path may be asked for with the same
    // workspace.
    const std::size_t rows = (std::min(m, kMc) + kWideMr - 1) / kWideMr * kWideMr;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    return std::max({rows * std::min(k, kKc), product::ZmmWorkspace(m, n, k),
                     product::YmmWorkspace(m, n, k)});
#else
    return rows * std::min(k, kKc);
#endif
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
        space.data = static_cast<double *>(std::malloc(kLargestWorkspace * sizeof(double)));
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
#if defined(MATRIX_HAVE_AVX2_PATHS)
    // The AVX-512 tiles pack both operands of a large product, so they run
    // there only with a workspace.
    if (path == KernelPath::kFastest && HasAvx512() && m > 1 &&
        (work != nullptr || product::Avx512InPlace(m, n, k))) {
        product::Avx512Product(m, n, k, a, lda, b, ldb, c, ldc, work, fromZero, sign, order);
        return;
    }
    // A lone column keeps the wide tiles, which take two panels of A at once.
    if (path != KernelPath::kPlain && HasAvx2() && m > 1 && n > 1) {
        product::YmmProduct(m, n, k, a, lda, b, ldb, c, ldc, work, fromZero, sign, order);
        return;
    }
    if (path != KernelPath::kPlain && HasAvx2() && m > 1) {
        product::WideProduct(m, n, k, a, lda, b, ldb, c, ldc, work, fromZero, sign, order);
        return;
    }
#else
    (void)path;
#endif

    if (m == 1) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
        // A contiguous row times at least eight columns of B, from 0.0 in
        // increasing p: sixteen columns' sums at a time in vector lanes,
        // each column read in whole lines. The row tiles below read half
        // lines of twelve columns at once, which at a column stride of a
        // multiple of 4 KiB all fall in one cache set; for fewer columns
        // they are the faster.
        if (path == KernelPath::kFastest && HasAvx512() && fromZero && lda == 1 && n >= 8 &&
            sign == UpdateSign::kAdd && order == SumOrder::kIncreasing) {
            for (std::size_t j = 0; j < n; j += kProductColumns) {
                const std::size_t columns = std::min(kProductColumns, n - j);
                const double *cols[kProductColumns];
                double sums[kProductColumns];
                for (std::size_t q = 0; q < columns; ++q) cols[q] = b + (j + q) * ldb;
                ColumnProductsAvx512(columns, cols, k, a, sums);
                for (std::size_t q = 0; q < columns; ++q) c[(j + q) * ldc] = sums[q];
            }
            return;
        }
        const bool wide = path != KernelPath::kPlain && HasAvx2();
#else
        const bool wide = false;
        (void)wide;
#endif
        auto row = [&](const Pass &pass, bool first, std::size_t, std::size_t,
                       const double *block) {
            std::size_t jc = 0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
            if (wide) {
                jc = product::WideRowColumns(pass.kc, block, pass.aStep, b + pass.p0, pass.bStep,
                                             ldb, c, ldc, n, first, sign);
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

// Products of at least this many multiplications are shared among the
// threads; below it, waking them costs more than it saves.
constexpr std::size_t kParallelMinProducts = std::size_t(1) << 20;

// Columns of C go to the threads in whole multiples of this: of the tile
// widths, so that no thread works a partial tile another could have filled.
constexpr std::size_t kColumnGrain = 12;

// Runs part(j0, columns, work) over blocks of C's columns, on several
// threads when the product is large. Every element's sum is the same
// whichever block computes it, so the split never changes a bit. The
// calling thread packs into `work`; the others into their own space, or
// read A in place when `work` is null or they have none.
// Whether Product takes the packed vector tiles on a product whose rows
// they share among the threads themselves (product::RowsShared).
bool SharesRows(std::size_t m, std::size_t n, std::size_t k, const double *work, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (work == nullptr || m <= 1 || !product::RowsShared(m, n, k)) return false;
    if (path == KernelPath::kFastest && HasAvx512()) return !product::Avx512InPlace(m, n, k);
    return path != KernelPath::kPlain && HasAvx2() && n > 1 && !product::YmmInPlace(m, n, k);
#else
    (void)m, (void)n, (void)k, (void)work, (void)path;
    return false;
#endif
}

template <typename Part>
void ByColumnBlocks(std::size_t m, std::size_t n, std::size_t k, double *work, KernelPath path,
                    Part part) {
    if (n < 2 * kColumnGrain || m * n * k < kParallelMinProducts || SharesRows(m, n, k, work, path)) {
        part(0, n, work);
        return;
    }
    // Every block packs all of A again, so blocks are few: two per thread,
    // enough for one thread to take over from another that runs late.
    const std::size_t blocks = 2 * std::size_t(ThreadCount());
    const std::size_t perBlock = (n + blocks - 1) / blocks;
    const std::size_t grain = (perBlock + kColumnGrain - 1) / kColumnGrain * kColumnGrain;
    const std::thread::id caller = std::this_thread::get_id();
    ParallelFor(n, grain, [&](std::size_t j0, std::size_t j1) {
        double *w = work;
        if (w != nullptr && std::this_thread::get_id() != caller) w = PackingSpace(m, n, k);
        part(j0, j1 - j0, w);
    });
}

// Products with few columns, column by column: each y(i) of C's column j
// takes a(i, p) * b(p, j) for p = 0, 1, ... in turn. A sweep takes eight
// columns of A over a block of rows and meets every column of C with
// them, so that A is read once, each of its columns as a contiguous run,
// and the blocks of C stay in L1. The tiles, reading A in place, walked
// each row panel across all columns at the column stride: several times
// slower with two to seven columns, and at a stride of a multiple of 4 KiB
// every line fell in one cache set.

// Rows per sweep: with two columns or more, the blocks of C and the eight
// columns' runs of A fill about 32 KiB.
constexpr std::size_t SweepRows(std::size_t n) { return n == 1 ? 512 : 256; }
constexpr std::size_t kSweepColumns = 8;
// Which products are swept: those of an A of at least kSweepMinRows rows
// with one column when A has more than kSweepMinElementsOne elements, or
// with up to seven when it has more than kSweepMinElements. Shorter
// columns make the sweeps' runs too short (2 x 1000000 by one column took
// twice as long); a smaller A stays in the caches, where the tiles are
// faster (65 x 65 by one column by a seventh, 100 x 100 by four columns by
// half); and from eight columns on the packed tiles are about as fast as
// the sweeps.
constexpr std::size_t kSweepMinRows = 32;
constexpr std::size_t kSweepMaxColumns = 8;
constexpr std::size_t kSweepMinElementsOne = std::size_t(1) << 14;
constexpr std::size_t kSweepMinElements = std::size_t(1) << 16;

bool Swept(std::size_t m, std::size_t n, std::size_t k) {
    if (m < kSweepMinRows || n >= kSweepMaxColumns) return false;
    return m * k > (n == 1 ? kSweepMinElementsOne : kSweepMinElements);
}

template <std::size_t kColumns>
inline __attribute__((always_inline)) void SweepColumns(std::size_t rows, const double *a,
                                                        std::size_t lda, const double *x,
                                                        double *__restrict y) {
    const double *__restrict col[kColumns];
    double xp[kColumns];
    for (std::size_t q = 0; q < kColumns; ++q) {
        col[q] = a + q * lda;
        xp[q] = x[q];
    }
    for (std::size_t i = 0; i < rows; ++i) {
        double sum = y[i];
        for (std::size_t q = 0; q < kColumns; ++q) sum = sum + col[q][i] * xp[q];
        y[i] = sum;
    }
}

// Rows 0..rows-1 of the n columns of C = A*B.
inline __attribute__((always_inline)) void ColumnSweepBody(std::size_t rows, std::size_t n,
                                                           std::size_t k, const double *a,
                                                           std::size_t lda, const double *b,
                                                           std::size_t ldb, double *c,
                                                           std::size_t ldc) {
    for (std::size_t j = 0; j < n; ++j) std::fill(c + j * ldc, c + j * ldc + rows, 0.0);
    std::size_t p = 0;
    for (; p + kSweepColumns <= k; p += kSweepColumns) {
        for (std::size_t j = 0; j < n; ++j)
            SweepColumns<kSweepColumns>(rows, a + p * lda, lda, b + j * ldb + p, c + j * ldc);
    }
    for (; p < k; ++p) {
        for (std::size_t j = 0; j < n; ++j)
            SweepColumns<1>(rows, a + p * lda, lda, b + j * ldb + p, c + j * ldc);
    }
}

using ColumnSweepFunction = void (*)(std::size_t, std::size_t, std::size_t, const double *,
                                     std::size_t, const double *, std::size_t, double *,
                                     std::size_t);

#if defined(MATRIX_HAVE_AVX2_PATHS)
__attribute__((target("avx2"))) void ColumnSweepAvx2(std::size_t rows, std::size_t n, std::size_t k,
                                                     const double *a, std::size_t lda,
                                                     const double *b, std::size_t ldb, double *c,
                                                     std::size_t ldc) {
    ColumnSweepBody(rows, n, k, a, lda, b, ldb, c, ldc);
}

__attribute__((target("avx512f"))) void ColumnSweepAvx512(std::size_t rows, std::size_t n,
                                                          std::size_t k, const double *a,
                                                          std::size_t lda, const double *b,
                                                          std::size_t ldb, double *c,
                                                          std::size_t ldc) {
    ColumnSweepBody(rows, n, k, a, lda, b, ldb, c, ldc);
}
#endif

// The sweep for this processor and path; null when it has no vector code
// for it.
ColumnSweepFunction ColumnSweep(KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path == KernelPath::kFastest && HasAvx512()) return ColumnSweepAvx512;
    if (path != KernelPath::kPlain && HasAvx2()) return ColumnSweepAvx2;
#endif
    (void)path;
    return nullptr;
}

// C = A*B by sweeps, blocks of rows shared among the threads when the
// product is large.
void SweptProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                  const double *b, std::size_t ldb, double *c, std::size_t ldc,
                  ColumnSweepFunction sweep) {
    const std::size_t block = SweepRows(n);
    auto rows = [&](std::size_t i0, std::size_t i1) {
        for (std::size_t i = i0; i < i1; i += block)
            sweep(std::min(block, i1 - i), n, k, a + i, lda, b, ldb, c + i, ldc);
    };
    if (m * n * k < kParallelMinProducts || m < 2 * block) {
        rows(0, m);
        return;
    }
    ParallelFor(m, block, rows);
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
    if (Swept(m, n, k)) {
        if (const ColumnSweepFunction sweep = ColumnSweep(path)) {
            SweptProduct(m, n, k, a, lda, b, ldb, c, ldc, sweep);
            return;
        }
    }
    ByColumnBlocks(m, n, k, work, path, [&](std::size_t j0, std::size_t columns, double *w) {
        Product(m, columns, k, a, lda, b + j0 * ldb, ldb, c + j0 * ldc, ldc, w, path, true,
                UpdateSign::kAdd, SumOrder::kIncreasing);
    });
}

void MatrixProductUpdate(std::size_t m, std::size_t n, std::size_t k, const double *a,
                         std::size_t lda, const double *b, std::size_t ldb, double *c,
                         std::size_t ldc, double *work, UpdateSign sign, SumOrder order,
                         KernelPath path) {
    if (m == 0 || n == 0 || k == 0) return;
    ByColumnBlocks(m, n, k, work, path, [&](std::size_t j0, std::size_t columns, double *w) {
        Product(m, columns, k, a, lda, b + j0 * ldb, ldb, c + j0 * ldc, ldc, w, path, false, sign,
                order);
    });
}

void UpdateBlockInPlace(double *x, std::size_t ld, std::size_t i0, std::size_t i1, std::size_t k0,
                        std::size_t k1, std::size_t c0, std::size_t c1, UpdateSign sign) {
    const std::size_t rows = i1 - i0, columns = c1 - c0, depth = k1 - k0;
    if (rows == 0 || columns == 0 || depth == 0) return;
    MatrixProductUpdate(rows, columns, depth, x + i0 + k0 * ld, ld, x + k0 + c0 * ld, ld,
                        x + i0 + c0 * ld, ld, PackingSpace(rows, columns, depth), sign);
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
