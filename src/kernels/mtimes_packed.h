// src/kernels/mtimes_packed.h: the walk over blocks, passes and tiles that
// both vector widths' products share.
#ifndef MATRIX_SRC_KERNELS_MTIMES_PACKED_H
#define MATRIX_SRC_KERNELS_MTIMES_PACKED_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "kernels/mtimes_blocking.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/parallel.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <xmmintrin.h>

namespace kiv {
namespace matrix {
namespace kernels {
namespace product {

// A vector width's tile: continues (or, with `first`, starts from 0.0) the
// sums of an mr x nr tile of C over kc products, the q-th product of row i
// and column j being a[i + q * as] * b[q * bs + j * ldb]. A packed tile
// ignores as, bs and ldb and reads the panels as its width packs them.
using PackedTileFunction = void (*)(std::size_t kc, const double *a, std::ptrdiff_t as,
                                    const double *b, std::ptrdiff_t bs, std::size_t ldb,
                                    double *c, std::size_t ldc, std::size_t mr, bool first);

// p moved up to the next 64-byte line.
inline double *AlignedUp(double *p) {
    const std::uintptr_t bytes = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t line = kZmmAlign * sizeof(double);
    return p + (line - bytes % line) % line / sizeof(double);
}

// What the walks below ask of a vector width W:
//   W::kMr, W::kNr, W::kKc, W::kMc  its tile's rows and columns, the
//       products of a pass and the rows of a packed block of A;
//   W::Columns(kc)  the columns of B packed together for passes of kc;
//   W::PackA(mc, kc, a, as, packed)  a block of A into panels of kMr rows;
//   W::TileFor(sign, packed, mr, nr)  the tile for mr x nr (PackedTileFunction).
// Every sum is the same whichever tile computes it and wherever a pass
// stops, so the walk changes no bit, only the time.

// The product with both operands read in place, for operands that stay in
// the caches as they are: each panel of A meets every column of B in turn.
template <class W>
void InPlaceProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                    const double *b, std::size_t ldb, double *c, std::size_t ldc, bool fromZero,
                    UpdateSign sign, SumOrder order) {
    for (std::size_t done = 0; done < k; done += W::kKc) {
        const Pass pass = PassOf(done, k, lda, order, W::kKc);
        const bool first = fromZero && done == 0;
        for (std::size_t ir = 0; ir < m; ir += W::kMr) {
            const std::size_t mr = std::min(W::kMr, m - ir);
            for (std::size_t jr = 0; jr < n; jr += W::kNr) {
                const std::size_t nr = std::min(W::kNr, n - jr);
                W::TileFor(sign, false, mr, nr)(pass.kc, a + ir + pass.p0 * lda, pass.aStep,
                                                b + pass.p0 + jr * ldb, pass.bStep, ldb,
                                                c + ir + jr * ldc, ldc, mr, first);
            }
        }
    }
}

// Whether PackedProduct shares an m-row product among the threads by
// blocks of rows, all of them reading one packed B: on several threads,
// for products of at least 2^20 multiplications with rows enough for
// every thread. Packing B once for all is what makes it pay: split by
// columns, every block packs all of A again.
inline bool RowsShared(std::size_t m, std::size_t n, std::size_t k) {
    constexpr std::size_t kSharedMinRows = 256;
    constexpr std::size_t kSharedMinProducts = std::size_t(1) << 20;
    return m >= kSharedMinRows && m * n * k >= kSharedMinProducts && ThreadCount() > 1;
}

// One pass's tiles on rows ic .. ic + mc - 1 of a block of columns, with
// B's panels packed at packedB: A's rows packed into packedA when there is
// one, else read in place. B's next panel is fetched to L2 a share before
// each tile when the width asks for it: the packed B (up to 2 MB) lives
// in L3, and a panel's first tile would wait on its lines one by one.
template <class W>
void PassRows(const Pass &pass, bool first, std::size_t ic, std::size_t mc, std::size_t ncur,
              const double *a, std::size_t lda, const double *b, std::size_t ldb,
              const double *packedB, double *packedA, double *c, std::size_t ldc,
              UpdateSign sign) {
    const double *block = a + ic + pass.p0 * lda;
    if (packedA != nullptr) W::PackA(mc, pass.kc, block, pass.aStep, packedA);
    const std::size_t tiles = (mc + W::kMr - 1) / W::kMr;
    for (std::size_t jr = 0; jr < ncur; jr += W::kNr) {
        const std::size_t nr = std::min(W::kNr, ncur - jr);
        const char *next = reinterpret_cast<const char *>(packedB + (jr + nr) * pass.kc);
        const std::size_t lines =
            W::kFetchNextB && jr + nr < ncur ? std::min(W::kNr, ncur - jr - nr) * pass.kc / 8 : 0;
        std::size_t fetched = 0;
        for (std::size_t ir = 0; ir < mc; ir += W::kMr) {
            const std::size_t mr = std::min(W::kMr, mc - ir);
            for (const std::size_t upto = lines * (ir / W::kMr + 1) / tiles; fetched < upto;
                 ++fetched) {
                _mm_prefetch(next + 64 * fetched, _MM_HINT_T1);
            }
            double *tile = c + ic + ir + jr * ldc;
            if (packedA != nullptr) {
                W::TileFor(sign, true, mr, nr)(pass.kc, packedA + ir * pass.kc, 0,
                                               packedB + jr * pass.kc, 0, 0, tile, ldc, mr, first);
            } else {
                W::TileFor(sign, false, mr, nr)(pass.kc, block + ir, pass.aStep,
                                                b + pass.p0 + jr * ldb, pass.bStep, ldb, tile, ldc,
                                                mr, first);
            }
        }
    }
}

// The product on packed operands, in `work` (the width's workspace):
// blocks of columns of even width (so that no narrow last one packs all of
// A again for a few columns), within each the passes in the sums' order
// (every sum carries on through C from one to the next), within a pass the
// blocks of kMc rows, and for each panel of B, kept in L1, every panel of
// A in turn. When RowsShared(m, n, k), each pass packs B on all threads,
// then shares the rows among them, each packing its blocks of A into its
// own PackingSpace (the caller into `work`; a thread with none reads its
// rows of A, and B, in place).
template <class W>
void PackedProduct(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                   const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                   bool fromZero, UpdateSign sign, SumOrder order) {
    const std::size_t widest = W::Columns(std::min(k, W::kKc));
    const std::size_t blocks = (n + widest - 1) / widest;
    const std::size_t nc = ((n + blocks - 1) / blocks + W::kNr - 1) / W::kNr * W::kNr;
    double *packedB = AlignedUp(work);
    double *packedA = AlignedUp(packedB + std::min(k, W::kKc) * std::min(n, widest));
    const bool shared = RowsShared(m, n, k);
    const std::size_t pieces = 2 * std::size_t(ThreadCount());
    const std::size_t rowGrain = ((m + pieces - 1) / pieces + W::kMr - 1) / W::kMr * W::kMr;
    const std::thread::id caller = std::this_thread::get_id();
    for (std::size_t jc = 0; jc < n; jc += nc) {
        const std::size_t ncur = std::min(nc, n - jc);
        const double *bc = b + jc * ldb;
        double *cc = c + jc * ldc;
        for (std::size_t done = 0; done < k; done += W::kKc) {
            const Pass pass = PassOf(done, k, lda, order, W::kKc);
            const bool first = fromZero && done == 0;
            if (!shared) {
                PackSixColumnPanels(ncur, pass.kc, bc + pass.p0, pass.bStep, ldb, packedB);
                for (std::size_t ic = 0; ic < m; ic += W::kMc) {
                    PassRows<W>(pass, first, ic, std::min(W::kMc, m - ic), ncur, a, lda, bc, ldb,
                                packedB, packedA, cc, ldc, sign);
                }
                continue;
            }
            const std::size_t columnGrain =
                ((ncur + pieces - 1) / pieces + W::kNr - 1) / W::kNr * W::kNr;
            ParallelFor(ncur, columnGrain, [&](std::size_t j0, std::size_t j1) {
                PackSixColumnPanels(j1 - j0, pass.kc, bc + pass.p0 + j0 * ldb, pass.bStep, ldb,
                                    packedB + j0 * pass.kc);
            });
            ParallelFor(m, rowGrain, [&](std::size_t i0, std::size_t i1) {
                double *own = packedA;
                if (std::this_thread::get_id() != caller) {
                    double *space = PackingSpace(m, n, k);
                    own = space != nullptr ? AlignedUp(space) : nullptr;
                }
                // The piece's rows in blocks of even height, none over kMc.
                const std::size_t rows = i1 - i0;
                const std::size_t count = (rows + W::kMc - 1) / W::kMc;
                const std::size_t height = ((rows + count - 1) / count + W::kMr - 1) / W::kMr * W::kMr;
                for (std::size_t ic = i0; ic < i1; ic += height) {
                    PassRows<W>(pass, first, ic, std::min(height, i1 - ic), ncur, a, lda, bc, ldb,
                                packedB, own, cc, ldc, sign);
                }
            });
        }
    }
}

}  // namespace product
}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_HAVE_AVX2_PATHS

#endif  // MATRIX_SRC_KERNELS_MTIMES_PACKED_H
