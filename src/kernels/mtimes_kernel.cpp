// src/kernels/mtimes_kernel.cpp: the in-order matrix product, blocked for caches.
#include "kernels/mtimes_kernel.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "kernels/kernel_support.h"
#include "kernels/mtimes_blocking.h"

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
constexpr std::size_t kLargestWorkspace = std::max(
    kMc * kKc, product::kZmmNcBudget + product::kZmmMc * product::kZmmKc + 2 * product::kZmmAlign);
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
    // panels of both operands that the AVX-512 tiles take, whichever is
    // larger: any path may be asked for with the same workspace.
    const std::size_t rows = (std::min(m, kMc) + kWideMr - 1) / kWideMr * kWideMr;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    return std::max(rows * std::min(k, kKc), product::ZmmWorkspace(m, n, k));
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
    // The AVX-512 tiles pack both operands, so they run only where the
    // product packs.
    if (path == KernelPath::kFastest && HasAvx512() && m > 1 && work != nullptr) {
        product::Avx512Product(m, n, k, a, lda, b, ldb, c, ldc, work, fromZero, sign, order);
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
