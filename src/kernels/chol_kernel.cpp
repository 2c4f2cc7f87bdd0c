// src/kernels/chol_kernel.cpp: the row-oriented Cholesky factorisation R'*R = A.
#include "kernels/chol_kernel.h"

#include <cmath>

#include "kernels/kernel_support.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/panel_schedule.h"
#include "kernels/parallel.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Blocks of at most this many rows are worked row by row; larger ones are
// halved, and the halves meet through the product kernel.
constexpr std::size_t kCholLeaf = 16;

// Columns of a row of R computed together: their inner products are
// independent chains, so interleaving them keeps several multiply and
// subtract pipelines busy while each chain keeps its own order.
constexpr std::size_t kCholColumnBlock = 8;

// x = a - r[j-1]^2 - r[j-2]^2 - ... - r[0]^2, from the last square up.
inline double DiagonalRemainder(double a, const double *r, std::size_t j) {
    double x = a;
    for (std::size_t k = j; k-- > 0;) x = x - r[k] * r[k];
    return x;
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// Columns taken together by FinishSixteenColumnsAvx2.
constexpr std::size_t kCholWideColumns = 16;

// FinishColumnRange's work on columns i .. i + 15 of rows j0 .. j1 - 1
// (j1 - j0 <= kCholLeaf), the columns as the lanes of four vectors: the
// block is read into lanes once, every lane takes its column's products in
// the order of the scalar loop, and the block is written back.
__attribute__((target("avx2"))) void FinishSixteenColumnsAvx2(double *r, std::size_t ldr,
                                                              std::size_t j0, std::size_t j1,
                                                              std::size_t i) {
    const std::size_t rows = j1 - j0;
    __m256d p[kCholLeaf][4];
    for (std::size_t v = 0; v < 4; ++v) {
        const double *c0 = r + (i + 4 * v) * ldr + j0;
        const double *c1 = c0 + ldr;
        const double *c2 = c1 + ldr;
        const double *c3 = c2 + ldr;
        for (std::size_t k = 0; k < rows; ++k) p[k][v] = _mm256_set_pd(c3[k], c2[k], c1[k], c0[k]);
    }
    for (std::size_t j = 0; j < rows; ++j) {
        const double *rj = r + (j0 + j) * ldr + j0;
        __m256d s[4] = {p[j][0], p[j][1], p[j][2], p[j][3]};
        for (std::size_t k = 0; k < j; ++k) {
            const __m256d t = _mm256_set1_pd(rj[k]);
            for (std::size_t v = 0; v < 4; ++v) {
                s[v] = _mm256_sub_pd(s[v], _mm256_mul_pd(t, p[k][v]));
            }
        }
        const __m256d d = _mm256_set1_pd(rj[j]);
        for (std::size_t v = 0; v < 4; ++v) p[j][v] = _mm256_div_pd(s[v], d);
    }
    alignas(32) double lanes[4];
    for (std::size_t v = 0; v < 4; ++v) {
        double *c = r + (i + 4 * v) * ldr + j0;
        for (std::size_t k = 0; k < rows; ++k) {
            _mm256_store_pd(lanes, p[k][v]);
            for (std::size_t q = 0; q < 4; ++q) c[k + q * ldr] = lanes[q];
        }
    }
}
#endif

// Columns c0 .. n - 1 of rows j0 .. j1 - 1, whose diagonal block is done
// (R(j,j) in place): R(j,i) = (R(j,i) - R(j0,j)*R(j0,i) - ... -
// R(j-1,j)*R(j-1,i)) / R(j,j), rows in increasing j so that each uses the rows
// above it in the same column. kCholColumnBlock columns at a time, as independent
// chains.
void FinishColumnRange(double *r, std::size_t ldr, std::size_t j0, std::size_t j1, std::size_t c0,
                       std::size_t n) {
    std::size_t i = c0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (j1 - j0 <= kCholLeaf && HasAvx2()) {
        for (; i + kCholWideColumns <= n; i += kCholWideColumns) {
            FinishSixteenColumnsAvx2(r, ldr, j0, j1, i);
        }
    }
#endif
    for (; i + kCholColumnBlock <= n; i += kCholColumnBlock) {
        double *rc[kCholColumnBlock];
        for (std::size_t q = 0; q < kCholColumnBlock; ++q) rc[q] = r + (i + q) * ldr;
        for (std::size_t j = j0; j < j1; ++j) {
            const double *rj = r + j * ldr;
            double s[kCholColumnBlock];
            for (std::size_t q = 0; q < kCholColumnBlock; ++q) s[q] = rc[q][j];
            for (std::size_t k = j0; k < j; ++k) {
                const double t = rj[k];
                for (std::size_t q = 0; q < kCholColumnBlock; ++q) s[q] = s[q] - t * rc[q][k];
            }
            const double dj = rj[j];
            for (std::size_t q = 0; q < kCholColumnBlock; ++q) rc[q][j] = s[q] / dj;
        }
    }
    for (; i < n; ++i) {
        double *ri = r + i * ldr;
        for (std::size_t j = j0; j < j1; ++j) {
            const double *rj = r + j * ldr;
            double s = ri[j];
            for (std::size_t k = j0; k < j; ++k) s = s - rj[k] * ri[k];
            ri[j] = s / rj[j];
        }
    }
}

// Column blocks of at least this many multiplications are shared among the
// threads, in whole multiples of kCholColumnBlock columns.
constexpr std::size_t kParallelMinColumns = std::size_t(1) << 16;

// FinishColumnRange, the columns shared among the threads when there is
// enough work: each column is finished on its own, so the split changes no
// bit.
void FinishColumns(double *r, std::size_t ldr, std::size_t j0, std::size_t j1, std::size_t c0,
                   std::size_t n) {
    const std::size_t rows = j1 - j0, columns = n - c0;
    if (columns < 4 * kCholColumnBlock || rows * rows / 2 * columns < kParallelMinColumns) {
        FinishColumnRange(r, ldr, j0, j1, c0, n);
        return;
    }
    ParallelFor(columns, kCholColumnBlock, [&](std::size_t begin, std::size_t end) {
        FinishColumnRange(r, ldr, j0, j1, c0 + begin, c0 + end);
    });
}

// Rows j0 .. j1 - 1 of R. Above the diagonal R holds the numerators A(j,i)
// minus the products of the rows before j0; each row subtracts those of
// rows j0 .. j - 1 in increasing k and divides by its diagonal, which comes
// from A and the whole column above it. The block on the diagonal goes row
// by row (each diagonal needs the column above it); the columns to its
// right then go one at a time, all rows of the block together, so that
// each column is read once. With j0 = 0 and j1 = n this is the plain
// row-by-row order itself.
KernelStatus FactorRowsOneByOne(std::size_t n, const double *a, std::size_t lda, double *r,
                                std::size_t ldr, std::size_t j0, std::size_t j1) {
    for (std::size_t j = j0; j < j1; ++j) {
        const double *rj = r + j * ldr;
        const double x = DiagonalRemainder(a[j + j * lda], rj, j);
        if (x < 0.0) {
            // The rows above are complete before the failure is reported.
            FinishColumns(r, ldr, j0, j, j1, n);
            return j + 1;
        }
        const double d = std::sqrt(x);
        r[j + j * ldr] = d;
        for (std::size_t i = j + 1; i < j1; ++i) {
            double *ri = r + i * ldr;
            double s = ri[j];
            for (std::size_t k = j0; k < j; ++k) s = s - rj[k] * ri[k];
            ri[j] = s / d;
        }
    }
    FinishColumns(r, ldr, j0, j1, j1, n);
    return 0;
}

// Squares of at most this many rows take their products whole, the part
// below the diagonal included; larger ones are halved. At 64 the wasted
// half of the leaf squares cost more than the extra, smaller products of
// halving further (order 1000 on one thread: 5 to 12% slower than at 16).
constexpr std::size_t kCholSquareLeaf = 16;

// Subtracts from the m x m square c the products a * b of depth k, each
// element in increasing k, on and above the diagonal only (and below it
// within squares of at most kCholSquareLeaf rows, where it is cheaper than
// going around it). Every element's products are those of one whole
// update, so the split changes no bit.
void SubtractUpperProducts(std::size_t m, std::size_t k, const double *a, const double *b,
                           double *c, std::size_t ld) {
    if (m <= kCholSquareLeaf) {
        MatrixProductUpdate(m, m, k, a, ld, b, ld, c, ld, PackingSpace(m, m, k),
                            UpdateSign::kSubtract);
        return;
    }
    const std::size_t h = m / 2;
    SubtractUpperProducts(h, k, a, b, c, ld);
    MatrixProductUpdate(h, m - h, k, a, ld, b + h * ld, ld, c + h * ld, ld,
                        PackingSpace(h, m - h, k), UpdateSign::kSubtract);
    SubtractUpperProducts(m - h, k, a + h, b + h * ld, c + h + h * ld, ld);
}

// Updates of at least this many multiplications give the half squares to
// one thread and the block between them to another.
constexpr std::size_t kParallelMinUpdate = std::size_t(1) << 20;

// SubtractUpperProducts with its parts on two threads: the two half squares
// on one, the block between them, as many multiplications, on the other.
// The product's own split of columns makes the leaf squares' work too small
// to share well. The parts write disjoint places and each element still
// takes one whole update, so the split changes no bit.
void SubtractUpperProductsShared(std::size_t m, std::size_t k, const double *a, const double *b,
                                 double *c, std::size_t ld) {
    if (m <= kCholSquareLeaf || m * m * k < kParallelMinUpdate) {
        SubtractUpperProducts(m, k, a, b, c, ld);
        return;
    }
    const std::size_t h = m / 2;
    ParallelFor(2, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t part = begin; part < end; ++part) {
            if (part == 0) {
                SubtractUpperProducts(h, k, a, b, c, ld);
                SubtractUpperProducts(m - h, k, a + h, b + h * ld, c + h + h * ld, ld);
            } else {
                MatrixProductUpdate(h, m - h, k, a, ld, b + h * ld, ld, c + h * ld, ld,
                                    PackingSpace(h, m - h, k), UpdateSign::kSubtract);
            }
        }
    });
}

// Rows j0 .. j1 - 1 of R, carrying the products of every row before j0.
// The lower half of the rows takes all of the upper half's products, in
// increasing k, before its own; the upper half's rows are mirrored below
// the diagonal for that, as the left operand of the product update. Below
// the diagonal of the lower half only small squares take the update: those
// places are set later (the diagonal) or cleared at the end.
KernelStatus FactorRows(std::size_t n, const double *a, std::size_t lda, double *r, std::size_t ldr,
                        std::size_t j0, std::size_t j1) {
    if (j1 - j0 <= kCholLeaf) return FactorRowsOneByOne(n, a, lda, r, ldr, j0, j1);
    const std::size_t mid = j0 + (j1 - j0) / 2;
    if (const std::size_t failed = FactorRows(n, a, lda, r, ldr, j0, mid)) return failed;
    for (std::size_t k = j0; k < mid; ++k) {
        for (std::size_t j = mid; j < j1; ++j) r[j + k * ldr] = r[k + j * ldr];
    }
    SubtractUpperProductsShared(j1 - mid, mid - j0, r + mid + j0 * ldr, r + j0 + mid * ldr,
                                r + mid + mid * ldr, ldr);
    UpdateBlockInPlace(r, ldr, mid, j1, j0, mid, j1, n, UpdateSign::kSubtract);
    return FactorRows(n, a, lda, r, ldr, mid, j1);
}

// On several threads, matrices of at least this order are factored in
// panels of rows with look-ahead (FactorInPanels); smaller ones, and every
// matrix on one thread, by halving the rows.
constexpr std::size_t kPanelMinOrder = 256;

// Rows j0 .. j1 - 1 of columns c0 .. c1 - 1 (all right of j1), whose
// diagonal block FactorRows has factored, mirrors included: FactorRows'
// work on those columns, halved at the same places.
void SolveRows(double *r, std::size_t ldr, std::size_t j0, std::size_t j1, std::size_t c0,
               std::size_t c1) {
    if (j1 - j0 <= kCholLeaf) {
        FinishColumnRange(r, ldr, j0, j1, c0, c1);
        return;
    }
    const std::size_t mid = j0 + (j1 - j0) / 2;
    SolveRows(r, ldr, j0, mid, c0, c1);
    UpdateBlockInPlace(r, ldr, mid, j1, j0, mid, c0, c1, UpdateSign::kSubtract);
    SolveRows(r, ldr, mid, j1, c0, c1);
}

// Mirrors rows j0 .. j1 - 1 of columns c0 .. c1 - 1 below the diagonal
// (column j's rows c0 .. c1 - 1), as the left operand of later updates.
void MirrorRows(double *r, std::size_t ldr, std::size_t j0, std::size_t j1, std::size_t c0,
                std::size_t c1) {
    for (std::size_t c = c0; c < c1; ++c) {
        const double *from = r + c * ldr;
        for (std::size_t j = j0; j < j1; ++j) r[c + j * ldr] = from[j];
    }
}

// FactorRows' work on the whole matrix, by panels of rows. A panel's
// diagonal block is factored alone; its rows to the right are then solved
// and mirrored below the diagonal by blocks of columns, which go on to take
// that panel's products on and above the diagonal, through the product
// kernel (below it the places are set later or cleared at the end).
KernelStatus FactorRowsByPanels(std::size_t n, const double *a, std::size_t lda, double *r,
                                std::size_t ldr) {
    // The rows of panel j0 .. j1 - 1 in columns c0 .. c1 - 1, once its
    // diagonal block is done.
    auto finishRows = [&](std::size_t j0, std::size_t j1, std::size_t c0, std::size_t c1) {
        SolveRows(r, ldr, j0, j1, c0, c1);
        MirrorRows(r, ldr, j0, j1, c0, c1);
    };
    return FactorInPanels(
        n, n, PanelWork::kGrowing,
        [&](std::size_t k0, std::size_t k1, std::size_t j1) -> KernelStatus {
            UpdateBlockInPlace(r, ldr, k1, j1, k0, k1, k1, j1, UpdateSign::kSubtract);
            if (const KernelStatus failed = FactorRows(j1, a, lda, r, ldr, k1, j1)) return failed;
            if (k0 == k1) {
                // The first panel: no earlier step is left to solve its rows.
                ParallelFor(n - j1, kCholColumnBlock, [&](std::size_t begin, std::size_t end) {
                    finishRows(k1, j1, j1 + begin, j1 + end);
                });
            }
            return 0;
        },
        [&](std::size_t k0, std::size_t k1, std::size_t j1, std::size_t c0, std::size_t c1,
            const PanelReady &ready) {
            UpdateBlockInPlace(r, ldr, k1, c1, k0, k1, c0, c1, UpdateSign::kSubtract);
            ready.Wait();
            finishRows(k1, j1, c0, c1);
        });
}

}  // namespace

KernelStatus CholeskyUpper(std::size_t n, const double *a, std::size_t lda, double *r,
                           std::size_t ldr, KernelPath path) {
    // The copy in and the clearing below the diagonal go by blocks of
    // columns, on several threads for a large matrix: for a fresh R most of
    // their cost is the first touch of its pages.
    auto columns = [&](std::size_t c0, std::size_t c1, auto body) {
        if (path == KernelPath::kPlain || n * n < kParallelMinColumns) {
            body(c0, c1);
        } else {
            ParallelFor(c1 - c0, kCholColumnBlock,
                        [&](std::size_t b, std::size_t e) { body(c0 + b, c0 + e); });
        }
    };
    columns(0, n, [&](std::size_t i0, std::size_t i1) {
        for (std::size_t i = i0; i < i1; ++i) {
            for (std::size_t j = 0; j < i; ++j) r[j + i * ldr] = a[j + i * lda];
        }
    });
    KernelStatus failed = 0;
    if (path == KernelPath::kPlain) {
        failed = FactorRowsOneByOne(n, a, lda, r, ldr, 0, n);
    } else if (n >= kPanelMinOrder && ThreadCount() > 1) {
        failed = FactorRowsByPanels(n, a, lda, r, ldr);
    } else {
        failed = FactorRows(n, a, lda, r, ldr, 0, n);
    }
    columns(0, n, [&](std::size_t j0, std::size_t j1) {
        for (std::size_t j = j0; j < j1; ++j) {
            for (std::size_t i = j + 1; i < n; ++i) r[i + j * ldr] = 0.0;
        }
    });
    return failed;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
