// src/kernels/lu_kernel.cpp: Crout LU with scaled partial pivoting, row permutations.
#include "kernels/lu_kernel.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "kernels/interchanges.h"
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

// Blocks of at most this many columns (or rows, for the triangular solve)
// are worked column by column; larger ones are halved, and the halves meet
// through the product kernel.
constexpr std::size_t kLuLeaf = 16;

// Interchanges rows j and ipiv[j] - 1, for j = p0 .. p1 - 1 in that order,
// in columns c0 .. c1 - 1.
void ApplyInterchanges(double *a, std::size_t lda, const std::int32_t *ipiv, std::size_t p0,
                       std::size_t p1, std::size_t c0, std::size_t c1) {
    // Steps that kept their row move nothing: the replay runs from the
    // first step that interchanged to the last, each column once.
    auto kept = [ipiv](std::size_t j) { return static_cast<std::size_t>(ipiv[j]) == j + 1; };
    while (p0 < p1 && kept(p0)) ++p0;
    while (p1 > p0 && kept(p1 - 1)) --p1;
    if (p0 == p1) return;
    ApplyRowInterchanges(a, lda, p0, p1, c0, c1,
                         [ipiv](std::size_t j) { return static_cast<std::size_t>(ipiv[j]) - 1; });
}

// For k = first .. kEnd - 1 in turn, subtracts column k of a times a(k,j)
// from the rows i of column j with k < i < rowEnd: a(i,j) -= a(i,k)*a(k,j),
// so each element takes its products one at a time in increasing k.
void ApplyColumns(double *a, std::size_t lda, std::size_t j, std::size_t first, std::size_t kEnd,
                  std::size_t rowEnd) {
    double *aj = a + j * lda;
    for (std::size_t k = first; k < kEnd; ++k) {
        const double akj = aj[k];
        const double *ak = a + k * lda;
        for (std::size_t i = k + 1; i < rowEnd; ++i) aj[i] = aj[i] - ak[i] * akj;
    }
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// ApplyColumnsGrouped's loop down column aj for rows from .. to - 1, four
// rows at a time, each element subtracting the four products in the same
// order. Returns the first row it left.
__attribute__((target("avx2"))) std::size_t SubtractFourColumnsAvx2(
    const double *a0, const double *a1, const double *a2, const double *a3, double x0, double x1,
    double x2, double x3, double *aj, std::size_t from, std::size_t to) {
    const __m256d v0 = _mm256_set1_pd(x0), v1 = _mm256_set1_pd(x1);
    const __m256d v2 = _mm256_set1_pd(x2), v3 = _mm256_set1_pd(x3);
    std::size_t i = from;
    for (; i + 4 <= to; i += 4) {
        __m256d y = _mm256_loadu_pd(aj + i);
        y = _mm256_sub_pd(y, _mm256_mul_pd(_mm256_loadu_pd(a0 + i), v0));
        y = _mm256_sub_pd(y, _mm256_mul_pd(_mm256_loadu_pd(a1 + i), v1));
        y = _mm256_sub_pd(y, _mm256_mul_pd(_mm256_loadu_pd(a2 + i), v2));
        y = _mm256_sub_pd(y, _mm256_mul_pd(_mm256_loadu_pd(a3 + i), v3));
        _mm256_storeu_pd(aj + i, y);
    }
    return i;
}
#endif

// ApplyColumns (kEnd <= rowEnd) with the columns k taken four at a time:
// column j is read and written once per four products, and each element
// still subtracts them one at a time in increasing k. The three rows
// inside a group give the group's later factors, so they go first.
void ApplyColumnsGrouped(double *a, std::size_t lda, std::size_t j, std::size_t first,
                         std::size_t kEnd, std::size_t rowEnd) {
    double *aj = a + j * lda;
    std::size_t k = first;
    for (; k + 4 <= kEnd; k += 4) {
        const double *a0 = a + k * lda;
        const double *a1 = a0 + lda;
        const double *a2 = a1 + lda;
        const double *a3 = a2 + lda;
        const double x0 = aj[k];
        aj[k + 1] = aj[k + 1] - a0[k + 1] * x0;
        const double x1 = aj[k + 1];
        aj[k + 2] = (aj[k + 2] - a0[k + 2] * x0) - a1[k + 2] * x1;
        const double x2 = aj[k + 2];
        aj[k + 3] = ((aj[k + 3] - a0[k + 3] * x0) - a1[k + 3] * x1) - a2[k + 3] * x2;
        const double x3 = aj[k + 3];
        std::size_t from = k + 4;
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (HasAvx2()) {
            from = SubtractFourColumnsAvx2(a0, a1, a2, a3, x0, x1, x2, x3, aj, from, rowEnd);
        }
#endif
        for (std::size_t i = from; i < rowEnd; ++i) {
            aj[i] = (((aj[i] - a0[i] * x0) - a1[i] * x1) - a2[i] * x2) - a3[i] * x3;
        }
    }
    ApplyColumns(a, lda, j, k, kEnd, rowEnd);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// Columns taken together by SolveEightColumnsAvx2.
constexpr std::size_t kLuWideColumns = 8;

// SolveUnitLowerColumns' leaf (r1 - r0 <= kLuLeaf) on columns c .. c + 7,
// the columns as the lanes of two vectors: the block is read into lanes
// once, every lane takes its column's products in the order of
// ApplyColumnsGrouped (for each row, k from r0 up), and the block is
// written back. A leaf's columns are short, too short for the loop down
// each column to pay.
__attribute__((target("avx2"))) void SolveEightColumnsAvx2(double *a, std::size_t lda,
                                                           std::size_t r0, std::size_t r1,
                                                           std::size_t c) {
    const std::size_t rows = r1 - r0;
    __m256d x[kLuLeaf][2];
    for (std::size_t v = 0; v < 2; ++v) {
        const double *c0 = a + (c + 4 * v) * lda + r0;
        const double *c1 = c0 + lda;
        const double *c2 = c1 + lda;
        const double *c3 = c2 + lda;
        for (std::size_t k = 0; k < rows; ++k) x[k][v] = _mm256_set_pd(c3[k], c2[k], c1[k], c0[k]);
    }
    const double *l = a + r0 + r0 * lda;
    for (std::size_t i = 1; i < rows; ++i) {
        __m256d s0 = x[i][0], s1 = x[i][1];
        for (std::size_t k = 0; k < i; ++k) {
            const __m256d t = _mm256_broadcast_sd(l + i + k * lda);
            s0 = _mm256_sub_pd(s0, _mm256_mul_pd(t, x[k][0]));
            s1 = _mm256_sub_pd(s1, _mm256_mul_pd(t, x[k][1]));
        }
        x[i][0] = s0;
        x[i][1] = s1;
    }
    alignas(32) double lanes[4];
    for (std::size_t v = 0; v < 2; ++v) {
        double *cv = a + (c + 4 * v) * lda + r0;
        for (std::size_t k = 1; k < rows; ++k) {
            _mm256_store_pd(lanes, x[k][v]);
            for (std::size_t q = 0; q < 4; ++q) cv[k + q * lda] = lanes[q];
        }
    }
}
#endif

// Rows r0 .. r1 - 1 of columns c0 .. c1 - 1: subtracts the products of
// columns k = r0 .. r1 - 1 above the diagonal, a(i,j) -= a(i,k)*a(k,j) for
// r0 <= k < i, one at a time in increasing k (a solve with the unit lower
// triangle of rows and columns r0 .. r1 - 1).
void SolveUnitLowerColumns(double *a, std::size_t lda, std::size_t r0, std::size_t r1,
                           std::size_t c0, std::size_t c1) {
    if (r1 - r0 <= kLuLeaf) {
        std::size_t j = c0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (HasAvx2()) {
            for (; j + kLuWideColumns <= c1; j += kLuWideColumns) {
                SolveEightColumnsAvx2(a, lda, r0, r1, j);
            }
        }
#endif
        for (; j < c1; ++j) ApplyColumnsGrouped(a, lda, j, r0, r1, r1);
        return;
    }
    const std::size_t mid = r0 + (r1 - r0) / 2;
    SolveUnitLowerColumns(a, lda, r0, mid, c0, c1);
    UpdateBlockInPlace(a, lda, mid, r1, r0, mid, c0, c1, UpdateSign::kSubtract);
    SolveUnitLowerColumns(a, lda, mid, r1, c0, c1);
}

// Solves of at least this many multiplications are shared among the
// threads, in blocks of whole multiples of kSolveGrain columns.
constexpr std::size_t kParallelMinSolve = std::size_t(1) << 20;
constexpr std::size_t kSolveGrain = 12;

// SolveUnitLowerColumns, the columns shared among the threads when the
// solve is large: each column is solved on its own, so the split changes
// no bit.
void SolveUnitLower(double *a, std::size_t lda, std::size_t r0, std::size_t r1, std::size_t c0,
                    std::size_t c1) {
    const std::size_t rows = r1 - r0, columns = c1 - c0;
    if (columns < 2 * kSolveGrain || rows * rows / 2 * columns < kParallelMinSolve) {
        SolveUnitLowerColumns(a, lda, r0, r1, c0, c1);
        return;
    }
    ParallelFor(columns, kSolveGrain, [&](std::size_t begin, std::size_t end) {
        SolveUnitLowerColumns(a, lda, r0, r1, c0 + begin, c0 + end);
    });
}

// scale[i] becomes |column[i]| where that is larger. A select rather than a
// conditional store, and no aliasing, so that the loop vectorises.
void RaiseScales(const double *__restrict column, std::size_t n, double *__restrict scale) {
    for (std::size_t i = 0; i < n; ++i) {
        const double t = std::fabs(column[i]);
        scale[i] = t > scale[i] ? t : scale[i];
    }
}

struct CroutState {
    std::size_t n;
    double *a;
    std::size_t lda;
    std::int32_t *ipiv;
    int parity;
    double *scale;
    KernelStatus info;
    // Blocks of more columns than this are halved.
    std::size_t leaf;
    // Only U's diagonal, ipiv and parity are read afterwards.
    bool diagonalOnly;
};

// Updates of at least this many multiplications share their rows among
// the threads, in blocks of whole multiples of kUpdateRowGrain rows (the
// height of the widest register tile).
constexpr std::size_t kParallelMinUpdate = std::size_t(1) << 20;
constexpr std::size_t kUpdateRowGrain = 32;

// The update of the rows below a block: c -= a * b for rows x columns, of
// depth `depth`. It is tall and narrow, and the product's own split by
// columns would have every thread pack all of a's rows, so here the rows are
// shared instead, each thread packing its own. Every element takes the
// same whole sum whichever block computes it, so the split changes no bit.
void SubtractProducts(std::size_t rows, std::size_t columns, std::size_t depth, const double *a,
                      std::size_t lda, const double *b, double *c) {
    const std::size_t threads = ThreadCount();
    if (threads == 1 || rows < 2 * kUpdateRowGrain || rows * columns * depth < kParallelMinUpdate) {
        MatrixProductUpdate(rows, columns, depth, a, lda, b, lda, c, lda,
                            PackingSpace(rows, columns, depth), UpdateSign::kSubtract);
        return;
    }
    // Two blocks per thread, so that one thread can take over from another
    // that runs late.
    const std::size_t perBlock = (rows + 2 * threads - 1) / (2 * threads);
    const std::size_t grain = (perBlock + kUpdateRowGrain - 1) / kUpdateRowGrain * kUpdateRowGrain;
    ParallelFor(rows, grain, [&](std::size_t begin, std::size_t end) {
        MatrixProductUpdate(end - begin, columns, depth, a + begin, lda, b, lda, c + begin, lda,
                            PackingSpace(end - begin, columns, depth), UpdateSign::kSubtract);
    });
}

// Factors columns j0 .. j1 - 1, which carry the products and interchanges
// of every column before j0 already. On return these columns also carry
// their own interchanges; the other columns do not yet, and get them from
// the caller (an interchange only moves values, and those columns are not
// read meanwhile, so applying it later gives the same values).
// With `last`, nothing reads these columns' multipliers after this call
// (the block ends the matrix, and so do its ancestors), so under
// diagonalOnly its left half need not take its right half's interchanges.
void FactorColumns(CroutState &s, std::size_t j0, std::size_t j1, bool last = false) {
    const std::size_t n = s.n;
    const std::size_t lda = s.lda;
    double *a = s.a;
    if (j1 - j0 > s.leaf) {
        const std::size_t mid = j0 + (j1 - j0) / 2;
        FactorColumns(s, j0, mid);
        // The right half takes the left half's interchanges and products:
        // its rows of U first, then every row below them.
        ApplyInterchanges(a, lda, s.ipiv, j0, mid, mid, j1);
        SolveUnitLower(a, lda, j0, mid, mid, j1);
        const std::size_t rows = n - mid, columns = j1 - mid, depth = mid - j0;
        SubtractProducts(rows, columns, depth, a + mid + j0 * lda, lda, a + j0 + mid * lda,
                         a + mid + mid * lda);
        FactorColumns(s, mid, j1, last);
        if (!(last && s.diagonalOnly)) ApplyInterchanges(a, lda, s.ipiv, mid, j1, j0, mid);
        return;
    }
    for (std::size_t j = j0; j < j1; ++j) {
        double *aj = a + j * lda;
        // Column j of U and of the unscaled L: the products of this block's
        // earlier columns.
        if (s.leaf < n) {
            ApplyColumnsGrouped(a, lda, j, j0, j, n);
        } else {
            ApplyColumns(a, lda, j, j0, j, n);
        }

        // Scaled pivot choice; >= lets the last of equal candidates win.
        double big = 0.0;
        std::size_t imax = j;
        for (std::size_t i = j; i < n; ++i) {
            const double d = s.scale[i] * std::fabs(aj[i]);
            if (d >= big) {
                big = d;
                imax = i;
            }
        }
        if (imax != j) {
            for (std::size_t c = j0; c < j1; ++c) std::swap(a[imax + c * lda], a[j + c * lda]);
            s.parity = -s.parity;
            s.scale[imax] = s.scale[j];
        }
        s.ipiv[j] = static_cast<std::int32_t>(imax + 1);

        if (aj[j] == 0.0) {
            aj[j] = kLuZeroPivot;
            if (s.info == 0) s.info = j + 1;
        }
        if (j + 1 < n) {
            const double r = 1.0 / aj[j];
            for (std::size_t i = j + 1; i < n; ++i) aj[i] = aj[i] * r;
        }
    }
}

// On several threads, matrices of at least this order are factored in
// panels of columns with look-ahead (FactorInPanels); smaller ones, and every
// matrix on one thread, by halving the columns.
constexpr std::size_t kPanelMinOrder = 256;

// FactorColumns' work on the whole matrix, by panels: each panel's steps
// reach the columns right of it in blocks, the rows of U by the unit lower
// solve and the rows below through the product kernel, as in FactorColumns'
// halving; the columns left of a panel take its interchanges at the end.
void FactorByPanels(CroutState &s) {
    double *a = s.a;
    const std::size_t n = s.n, lda = s.lda;
    const std::int32_t *ipiv = s.ipiv;
    // Columns c0 .. c1 - 1 take the steps of panel k0 .. k1 - 1: their rows
    // of U by the solve, the rows below through the product kernel.
    auto update = [&](std::size_t k0, std::size_t k1, std::size_t c0, std::size_t c1) {
        if (k0 == k1) return;
        ApplyInterchanges(a, lda, ipiv, k0, k1, c0, c1);
        SolveUnitLowerColumns(a, lda, k0, k1, c0, c1);
        UpdateBlockInPlace(a, lda, k1, n, k0, k1, c0, c1, UpdateSign::kSubtract);
    };
    FactorInPanels(
        n, n, PanelWork::kEven,
        [&](std::size_t k0, std::size_t k1, std::size_t j1) {
            update(k0, k1, k1, j1);
            FactorColumns(s, k1, j1);
            return KernelStatus{0};
        },
        [&](std::size_t k0, std::size_t k1, std::size_t, std::size_t c0, std::size_t c1,
            const PanelReady &) { update(k0, k1, c0, c1); });
    // Once a panel's step is over its multipliers are not read again.
    if (s.diagonalOnly) return;
    FinishPanels(
        n, [&](std::size_t q0, std::size_t q1) { ApplyInterchanges(a, lda, ipiv, q1, n, q0, q1); });
}

}  // namespace

KernelStatus LuCrout(std::size_t n, double *a, std::size_t lda, std::int32_t *ipiv, int &parity,
                     double *scale, KernelPath path, LuWanted wanted) {
    // Row scale factors: the largest magnitude of each row, taken column by
    // column (strict comparisons from 0.0 give the same maximum in any
    // order), then inverted.
    for (std::size_t i = 0; i < n; ++i) scale[i] = 0.0;
    for (std::size_t c = 0; c < n; ++c) RaiseScales(a + c * lda, n, scale);
    for (std::size_t i = 0; i < n; ++i) scale[i] = scale[i] == 0.0 ? 0.0 : 1.0 / scale[i];

    // Every element receives its products in increasing k whichever way the
    // work is grouped: halves of the columns are factored one after the
    // other, and the right half takes all of the left half's products before
    // its own. Interchanges move whole rows, partial sums and multipliers
    // alike, so they commute with that grouping. The plain path makes the
    // whole matrix one block, worked column by column.
    const std::size_t leaf = path == KernelPath::kPlain ? n : kLuLeaf;
    CroutState state{n, a, lda, ipiv, 1, scale, 0, leaf, wanted == LuWanted::kDiagonal};
    if (path != KernelPath::kPlain && n >= kPanelMinOrder && ThreadCount() > 1) {
        FactorByPanels(state);
    } else {
        FactorColumns(state, 0, n, true);
    }
    parity = state.parity;
    return state.info;
}

void PivotsToPermutation(std::size_t n, const std::int32_t *ipiv, std::uint32_t *perm) {
    for (std::size_t i = 0; i < n; ++i) perm[i] = static_cast<std::uint32_t>(i);
    for (std::size_t j = 0; j < n; ++j) {
        std::swap(perm[j], perm[static_cast<std::size_t>(ipiv[j]) - 1]);
    }
}

void MoveRows(std::size_t m, std::size_t n, double *a, std::size_t lda, const std::uint32_t *perm,
              unsigned char *moved, double *row) {
    for (std::size_t i = 0; i < m; ++i) moved[i] = 0;
    for (std::size_t start = 0; start < m; ++start) {
        if (moved[start] != 0) continue;
        // Carry the start row round its cycle: at each stop the carried row
        // settles and the row it displaces is carried on.
        for (std::size_t c = 0; c < n; ++c) row[c] = a[start + c * lda];
        moved[start] = 1;
        for (std::size_t i = perm[start]; i != start; i = perm[i]) {
            for (std::size_t c = 0; c < n; ++c) std::swap(row[c], a[i + c * lda]);
            moved[i] = 1;
        }
        for (std::size_t c = 0; c < n; ++c) a[start + c * lda] = row[c];
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
