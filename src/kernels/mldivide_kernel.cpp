// src/kernels/mldivide_kernel.cpp: elimination, back substitution, QR solve.
#include "kernels/mldivide_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "kernels/condition_estimate.h"
#include "kernels/interchanges.h"
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

// Adds f(i)*t to y(i) for rows i in [from, n) of one column; rows whose
// f(i) is 0.0 are left alone (so that an infinite or NaN t does not reach
// them). Written as a select so that it vectorises.
void AddMultiples(std::size_t from, std::size_t n, const double *f, double t, double *y) {
    for (std::size_t i = from; i < n; ++i) {
        const double updated = y[i] + f[i] * t;
        y[i] = f[i] != 0.0 ? updated : y[i];
    }
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// HasZero four vectors at a time: the blocked elimination scans each level's
// multipliers, about n^2 of them per level, and the scalar compare, set and
// or per element cost some 4% of an elimination of order 1000.
__attribute__((target("avx2"))) bool HasZeroAvx2(const double *f, std::size_t n) {
    const __m256d zero = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256d e0 = _mm256_cmp_pd(_mm256_loadu_pd(f + i), zero, _CMP_EQ_OQ);
        const __m256d e1 = _mm256_cmp_pd(_mm256_loadu_pd(f + i + 4), zero, _CMP_EQ_OQ);
        const __m256d e2 = _mm256_cmp_pd(_mm256_loadu_pd(f + i + 8), zero, _CMP_EQ_OQ);
        const __m256d e3 = _mm256_cmp_pd(_mm256_loadu_pd(f + i + 12), zero, _CMP_EQ_OQ);
        const __m256d any = _mm256_or_pd(_mm256_or_pd(e0, e1), _mm256_or_pd(e2, e3));
        if (_mm256_movemask_pd(any) != 0) return true;
    }
    for (; i < n; ++i) {
        if (f[i] == 0.0) return true;
    }
    return false;
}
#endif

// Whether any of f[0 .. n - 1] is 0.0 (of either sign; NaN is not).
bool HasZero(const double *f, std::size_t n) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (HasAvx2()) return HasZeroAvx2(f, n);
#endif
    std::size_t zeros = 0;
    for (std::size_t i = 0; i < n; ++i) zeros += f[i] == 0.0 ? 1 : 0;
    return zeros != 0;
}

// The sign under which the multipliers f (rows x depth, leading dimension
// ld) meet their update: kAddUnlessZero skips the products of a zero f, and
// when no f is 0.0 (NaN is not) that is exactly kAdd, which the vector tiles
// take without a compare and select per product. Narrow updates keep the
// select: the scan would cost about as much as the products it saves.
// clean, when given, holds a mark per column of f: non-zero when none of
// the column's multipliers below the diagonal is 0.0. The multipliers of a
// column only move among the rows below its diagonal after its step, so a
// marked column needs no scan of any of its rows; the others are scanned.
UpdateSign MultiplierSign(const double *f, std::size_t ld, std::size_t rows, std::size_t depth,
                          std::size_t columns, const unsigned char *clean = nullptr) {
    constexpr std::size_t kMinColumns = 4;
    if (columns < kMinColumns) return UpdateSign::kAddUnlessZero;
    for (std::size_t q = 0; q < depth; ++q) {
        if (clean != nullptr && clean[q] != 0) continue;
        if (HasZero(f + q * ld, rows)) return UpdateSign::kAddUnlessZero;
    }
    return UpdateSign::kAdd;
}

// UpdateBlockInPlace of the elimination (rows i0 .. i1 - 1, steps k0 .. k1 -
// 1, columns c0 .. c1 - 1 of a), under MultiplierSign; clean, when given,
// holds the marks of every column (from 0).
void EliminationUpdate(double *a, std::size_t lda, std::size_t i0, std::size_t i1, std::size_t k0,
                       std::size_t k1, std::size_t c0, std::size_t c1, const unsigned char *clean) {
    if (i1 <= i0 || k1 <= k0) return;
    UpdateBlockInPlace(a, lda, i0, i1, k0, k1, c0, c1,
                       MultiplierSign(a + i0 + k0 * lda, lda, i1 - i0, k1 - k0, c1 - c0,
                                      clean != nullptr ? clean + k0 : nullptr));
}

// The pivot row and the reciprocal pivot of one elimination step.
struct GaussStep {
    std::size_t p;
    double r;
};

// Step j of the elimination on the columns c0 .. c1 - 1 of A (c0 <= j <
// c1): the interchange, the scaling of row j to a unit diagonal, and the
// elimination below it, leaving the multipliers f(i) = -A(i,j) in column j
// below the diagonal. Columns before j take the interchange too: the
// blocked elimination moves its multipliers with their rows.
GaussStep EliminateStep(std::size_t n, std::size_t j, double *a, std::size_t lda, std::size_t c0,
                        std::size_t c1) {
    double *aj = a + j * lda;

    // First largest magnitude at or below the diagonal.
    std::size_t p = j;
    double big = std::fabs(aj[j]);
    for (std::size_t i = j + 1; i < n; ++i) {
        const double t = std::fabs(aj[i]);
        if (t > big) {
            big = t;
            p = i;
        }
    }
    if (p != j) {
        for (std::size_t c = c0; c < c1; ++c) std::swap(a[j + c * lda], a[p + c * lda]);
    }

    // Scale the pivot row to a unit diagonal.
    const double piv = aj[j] == 0.0 ? kGaussZeroPivot : aj[j];
    const double r = 1.0 / piv;
    aj[j] = 1.0;
    if (r != 1.0) {
        for (std::size_t c = j + 1; c < c1; ++c) a[j + c * lda] = a[j + c * lda] * r;
    }

    // Eliminate below the pivot, column by column: every element gets the
    // one update of this step that the row-by-row text gives it.
    for (std::size_t i = j + 1; i < n; ++i) aj[i] = -aj[i];
    for (std::size_t c = j + 1; c < c1; ++c) {
        double *ac = a + c * lda;
        AddMultiples(j + 1, n, aj, ac[j], ac);
    }
    return {p, r};
}

// Step j on the right-hand sides: what EliminateStep did to the rows of A,
// with f the multipliers it left in column j. No operation on B reads A's
// trailing part, so this may run at any time after that step.
void ApplyStep(std::size_t n, std::size_t j, GaussStep step, const double *f, std::size_t k,
               double *b, std::size_t ldb) {
    if (step.p != j) {
        for (std::size_t c = 0; c < k; ++c) std::swap(b[j + c * ldb], b[step.p + c * ldb]);
    }
    if (step.r != 1.0) {
        for (std::size_t c = 0; c < k; ++c) b[j + c * ldb] = b[j + c * ldb] * step.r;
    }
    for (std::size_t c = 0; c < k; ++c) {
        double *bc = b + c * ldb;
        AddMultiples(j + 1, n, f, bc[j], bc);
    }
}

// AddMultiples' update of one element: y + f*t unless f is 0.0.
inline double AddMultiple(double y, double f, double t) {
    const double updated = y + f * t;
    return f != 0.0 ? updated : y;
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// Rows from .. to - 1 of t, four at a time: each adds f[q](i) times x[q]
// for q = 0 .. Q - 1 in turn, unless f[q](i) is 0.0, as AddMultiple does (a
// NaN f counts as not 0.0). Returns the first row it left.
template <std::size_t Q>
__attribute__((target("avx2"))) std::size_t AddMultiplesAvx2(std::size_t from, std::size_t to,
                                                             const double *const f[Q],
                                                             const double x[Q], double *t) {
    const __m256d zero = _mm256_setzero_pd();
    __m256d xv[Q];
    for (std::size_t q = 0; q < Q; ++q) xv[q] = _mm256_set1_pd(x[q]);
    std::size_t i = from;
    for (; i + 4 <= to; i += 4) {
        __m256d y = _mm256_loadu_pd(t + i);
        for (std::size_t q = 0; q < Q; ++q) {
            const __m256d fv = _mm256_loadu_pd(f[q] + i);
            const __m256d updated = _mm256_add_pd(y, _mm256_mul_pd(fv, xv[q]));
            y = _mm256_blendv_pd(y, updated, _mm256_cmp_pd(fv, zero, _CMP_NEQ_UQ));
        }
        _mm256_storeu_pd(t + i, y);
    }
    return i;
}
#endif

// Steps s0 .. s1 - 1 on one column t, whose interchanges it has taken
// already: for j = s0, s0 + 1, ..., row j is multiplied by r[j] (unless it
// is exactly 1.0), then each row i with j < i < rowEnd (rowEnd >= s1) adds
// f(i,j) times row j, f(i,j) from column j of l, unless f(i,j) is 0.0. The
// steps go four at a time, so t is read and written once per four of them;
// each element still takes its updates one at a time in increasing j. Rows
// j + 1 .. j + 3 of a group are its later steps' pivot rows, whose values
// the rows below need, so they go first.
void ApplyStepsToColumn(const double *l, std::size_t ldl, const double *r, std::size_t s0,
                        std::size_t s1, double *t, std::size_t rowEnd) {
    std::size_t j = s0;
    for (; j + 4 <= s1; j += 4) {
        const double *f0 = l + j * ldl;
        const double *f1 = f0 + ldl;
        const double *f2 = f1 + ldl;
        const double *f3 = f2 + ldl;
        if (r[j] != 1.0) t[j] = t[j] * r[j];
        const double x0 = t[j];
        t[j + 1] = AddMultiple(t[j + 1], f0[j + 1], x0);
        if (r[j + 1] != 1.0) t[j + 1] = t[j + 1] * r[j + 1];
        const double x1 = t[j + 1];
        t[j + 2] = AddMultiple(AddMultiple(t[j + 2], f0[j + 2], x0), f1[j + 2], x1);
        if (r[j + 2] != 1.0) t[j + 2] = t[j + 2] * r[j + 2];
        const double x2 = t[j + 2];
        t[j + 3] = AddMultiple(AddMultiple(AddMultiple(t[j + 3], f0[j + 3], x0), f1[j + 3], x1),
                               f2[j + 3], x2);
        if (r[j + 3] != 1.0) t[j + 3] = t[j + 3] * r[j + 3];
        const double x3 = t[j + 3];
        const double *f[4] = {f0, f1, f2, f3};
        const double x[4] = {x0, x1, x2, x3};
        std::size_t i = j + 4;
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (HasAvx2()) i = AddMultiplesAvx2<4>(i, rowEnd, f, x, t);
#endif
        for (; i < rowEnd; ++i) {
            double y = AddMultiple(t[i], f0[i], x0);
            y = AddMultiple(y, f1[i], x1);
            y = AddMultiple(y, f2[i], x2);
            t[i] = AddMultiple(y, f3[i], x3);
        }
    }
    for (; j < s1; ++j) {
        if (r[j] != 1.0) t[j] = t[j] * r[j];
        std::size_t i = j + 1;
        const double *f = l + j * ldl;
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (HasAvx2()) i = AddMultiplesAvx2<1>(i, rowEnd, &f, &t[j], t);
#endif
        AddMultiples(i, rowEnd, f, t[j], t);
    }
}

// Blocks of at most this many columns (or rows, for the triangular solve)
// are eliminated column by column; larger ones are halved, and the halves
// meet through the product kernel.
constexpr std::size_t kGaussLeaf = 16;

#if defined(MATRIX_HAVE_AVX2_PATHS)
// Columns taken together by SolveSixteenColumnsAvx2.
constexpr std::size_t kGaussWideColumns = 16;

// SolveScaledUnitLower's leaf (r1 - r0 <= kGaussLeaf) on the sixteen
// columns of t from its first on, the columns as the lanes of four vectors:
// the block is read into lanes once, every lane takes the scalings and the
// updates of the steps in the order of ApplyStepsToColumn (f(i,j) is the
// same for every lane, so the test on 0.0 is one branch), and the block is
// written back.
__attribute__((target("avx2"))) void SolveSixteenColumnsAvx2(const double *l, std::size_t ldl,
                                                             const double *r, std::size_t r0,
                                                             std::size_t r1, double *t,
                                                             std::size_t ldt) {
    const std::size_t rows = r1 - r0;
    __m256d p[kGaussLeaf][4];
    for (std::size_t v = 0; v < 4; ++v) {
        const double *c0 = t + 4 * v * ldt + r0;
        const double *c1 = c0 + ldt;
        const double *c2 = c1 + ldt;
        const double *c3 = c2 + ldt;
        for (std::size_t k = 0; k < rows; ++k) p[k][v] = _mm256_set_pd(c3[k], c2[k], c1[k], c0[k]);
    }
    for (std::size_t j = 0; j < rows; ++j) {
        if (r[r0 + j] != 1.0) {
            const __m256d scale = _mm256_set1_pd(r[r0 + j]);
            for (std::size_t v = 0; v < 4; ++v) p[j][v] = _mm256_mul_pd(p[j][v], scale);
        }
        const double *f = l + (r0 + j) * ldl + r0;
        for (std::size_t i = j + 1; i < rows; ++i) {
            if (f[i] == 0.0) continue;
            const __m256d fv = _mm256_set1_pd(f[i]);
            for (std::size_t v = 0; v < 4; ++v) {
                p[i][v] = _mm256_add_pd(p[i][v], _mm256_mul_pd(fv, p[j][v]));
            }
        }
    }
    alignas(32) double lanes[4];
    for (std::size_t v = 0; v < 4; ++v) {
        double *c = t + 4 * v * ldt + r0;
        for (std::size_t k = 0; k < rows; ++k) {
            _mm256_store_pd(lanes, p[k][v]);
            for (std::size_t q = 0; q < 4; ++q) c[k + q * ldt] = lanes[q];
        }
    }
}
#endif

// Interchanges rows j and pivot[j] for j = p0 .. p1 - 1 in that order, in
// columns c0 .. c1 - 1.
void ApplyInterchanges(double *a, std::size_t lda, const std::size_t *pivot, std::size_t p0,
                       std::size_t p1, std::size_t c0, std::size_t c1) {
    ApplyRowInterchanges(a, lda, p0, p1, c0, c1, [pivot](std::size_t j) { return pivot[j]; });
}

// Rows r0 .. r1 - 1 of columns c0 .. c1 - 1 of t take the row scalings and
// the updates of steps r0 .. r1 - 1 among themselves, with the multipliers
// f(i,j) of l: for j = r0, r0 + 1, ..., row j is multiplied by r[j] (unless
// it is exactly 1.0), then each row i with j < i < r1 adds f(i,j) times
// row j unless f(i,j) is 0.0. t may be l itself, in columns to the right
// of the multipliers used. clean: MultiplierSign's marks of every column
// of l (from 0), or null.
void SolveScaledUnitLower(const double *l, std::size_t ldl, const double *r, std::size_t r0,
                          std::size_t r1, double *t, std::size_t ldt, std::size_t c0,
                          std::size_t c1, const unsigned char *clean = nullptr) {
    if (r1 - r0 <= kGaussLeaf) {
        std::size_t c = c0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (HasAvx2()) {
            for (; c + kGaussWideColumns <= c1; c += kGaussWideColumns) {
                SolveSixteenColumnsAvx2(l, ldl, r, r0, r1, t + c * ldt, ldt);
            }
        }
#endif
        for (; c < c1; ++c) ApplyStepsToColumn(l, ldl, r, r0, r1, t + c * ldt, r1);
        return;
    }
    const std::size_t mid = r0 + (r1 - r0) / 2;
    SolveScaledUnitLower(l, ldl, r, r0, mid, t, ldt, c0, c1, clean);
    const std::size_t rows = r1 - mid, columns = c1 - c0, depth = mid - r0;
    MatrixProductUpdate(rows, columns, depth, l + mid + r0 * ldl, ldl, t + r0 + c0 * ldt, ldt,
                        t + mid + c0 * ldt, ldt, PackingSpace(rows, columns, depth),
                        MultiplierSign(l + mid + r0 * ldl, ldl, rows, depth, columns,
                                       clean != nullptr ? clean + r0 : nullptr));
    SolveScaledUnitLower(l, ldl, r, mid, r1, t, ldt, c0, c1, clean);
}

// Solves of at least this many multiplications are shared among the
// threads, in blocks of whole multiples of kSolveGrain columns.
constexpr std::size_t kParallelMinSolve = std::size_t(1) << 20;
constexpr std::size_t kSolveGrain = 12;

// SolveScaledUnitLower on columns c0 .. c1 - 1 of a itself (the right half
// of an elimination block), the columns shared among the threads when the
// solve is large: each column is solved on its own, so the split changes no
// bit.
void SolveScaledUnitLowerOnThreads(double *a, std::size_t lda, const double *r, std::size_t r0,
                                   std::size_t r1, std::size_t c0, std::size_t c1,
                                   const unsigned char *clean) {
    const std::size_t rows = r1 - r0, columns = c1 - c0;
    if (columns < 2 * kSolveGrain || rows * rows / 2 * columns < kParallelMinSolve) {
        SolveScaledUnitLower(a, lda, r, r0, r1, a, lda, c0, c1, clean);
        return;
    }
    ParallelFor(columns, kSolveGrain, [&](std::size_t begin, std::size_t end) {
        SolveScaledUnitLower(a, lda, r, r0, r1, a, lda, c0 + begin, c0 + end, clean);
    });
}

// BackSubstitute for the k columns of b and x at once, blocked: the rows
// below a block are solved first and their products reach the block's
// running sums through the update kernel in decreasing p, so each sum
// still takes its products from the last column back. x holds the running
// sums s(q) until their rows are solved.
void BackSubstituteRows(std::size_t n, std::size_t k, const double *u, std::size_t ldu,
                        const double *b, std::size_t ldb, double *x, std::size_t ldx,
                        std::size_t q0, std::size_t q1, KernelPath path = KernelPath::kFastest) {
    if (q1 - q0 > kGaussLeaf) {
        const std::size_t mid = q0 + (q1 - q0) / 2;
        BackSubstituteRows(n, k, u, ldu, b, ldb, x, ldx, mid, q1, path);
        MatrixProductUpdate(mid - q0, k, q1 - mid, u + q0 + mid * ldu, ldu, x + mid, ldx, x + q0,
                            ldx, PackingSpace(mid - q0, k, q1 - mid), UpdateSign::kAdd,
                            SumOrder::kDecreasing, path);
        BackSubstituteRows(n, k, u, ldu, b, ldb, x, ldx, q0, mid, path);
        return;
    }
    for (std::size_t c = 0; c < k; ++c) {
        const double *bc = b + c * ldb;
        double *xc = x + c * ldx;
        for (std::size_t q = q1; q-- > q0;) {
            const double *uq = u + q * ldu;
            const double xq = q + 1 == n ? bc[q] / uq[q] : (bc[q] - xc[q]) / uq[q];
            xc[q] = xq;
            for (std::size_t i = q0; i < q; ++i) xc[i] = xc[i] + uq[i] * xq;
        }
    }
}

// Eliminates columns j0 .. j1 - 1, which carry every earlier step already.
// Each element still takes its operations in the order of the steps: the
// right half of a block takes all of the left half's steps (its rows of U by
// the scaled solve, the rows below through the update kernel) before its
// own. Interchanges here move whole rows, the multipliers of earlier columns
// included, so each f stays with the row it belongs to; a column receives an
// interchange only when it is next needed, which moves the same values.
// Blocks of more than `leaf` columns are halved. With `byColumns`, a leaf
// block takes its steps column by column: each column first takes the
// interchanges and then the updates of the block's earlier steps, which
// moves the same values as taking each step across the block in turn.
// clean, when given, receives MultiplierSign's mark of each column as its
// step is taken, for the updates to use.
void EliminateColumns(std::size_t n, double *a, std::size_t lda, std::size_t *pivot, double *r,
                      std::size_t j0, std::size_t j1, std::size_t leaf, bool byColumns,
                      unsigned char *clean) {
    if (j1 - j0 > leaf) {
        const std::size_t mid = j0 + (j1 - j0) / 2;
        EliminateColumns(n, a, lda, pivot, r, j0, mid, leaf, byColumns, clean);
        ApplyInterchanges(a, lda, pivot, j0, mid, mid, j1);
        SolveScaledUnitLowerOnThreads(a, lda, r, j0, mid, mid, j1, clean);
        EliminationUpdate(a, lda, mid, n, j0, mid, mid, j1, clean);
        EliminateColumns(n, a, lda, pivot, r, mid, j1, leaf, byColumns, clean);
        ApplyInterchanges(a, lda, pivot, mid, j1, j0, mid);
        return;
    }
    for (std::size_t j = j0; j < j1; ++j) {
        if (byColumns) {
            double *aj = a + j * lda;
            for (std::size_t q = j0; q < j; ++q) std::swap(aj[q], aj[pivot[q]]);
            ApplyStepsToColumn(a, lda, r, j0, j, aj, n);
        }
        const GaussStep step = EliminateStep(n, j, a, lda, j0, byColumns ? j + 1 : j1);
        pivot[j] = step.p;
        r[j] = step.r;
        if (clean != nullptr) clean[j] = HasZero(a + j * lda + j + 1, n - j - 1) ? 0 : 1;
    }
}

// EliminateColumns' work on columns j0 .. n - 1 of an n x `columns` matrix
// (the last of its first n, each carrying every earlier step), with the
// columns from n on (the right-hand sides) taking every step as A's
// columns right of a step do. The halving is EliminateColumns' with the
// right-hand sides beside each right half; the left halves are eliminated
// by EliminateColumns itself. Nothing reads a left half's multipliers
// once the right half and the right-hand sides have taken its steps, so
// they are left without the later steps' interchanges, and the right-hand
// sides take the multipliers while they are near in the cache rather than
// in a separate pass over the whole factor.
void EliminateWithRightHandSides(std::size_t n, std::size_t columns, double *a, std::size_t lda,
                                 std::size_t *pivot, double *r, std::size_t j0,
                                 unsigned char *clean) {
    while (n - j0 > kGaussLeaf) {
        const std::size_t mid = j0 + (n - j0) / 2;
        EliminateColumns(n, a, lda, pivot, r, j0, mid, kGaussLeaf, true, clean);
        ApplyInterchanges(a, lda, pivot, j0, mid, mid, columns);
        SolveScaledUnitLowerOnThreads(a, lda, r, j0, mid, mid, columns, clean);
        EliminationUpdate(a, lda, mid, n, j0, mid, mid, columns, clean);
        j0 = mid;
    }
    EliminateColumns(n, a, lda, pivot, r, j0, n, kGaussLeaf, true, clean);
    ApplyInterchanges(a, lda, pivot, j0, n, n, columns);
    SolveScaledUnitLower(a, lda, r, j0, n, a, lda, n, columns, clean);
}

// MultiplierSign's marks of the n columns of an elimination, or none (null)
// when there is no update to use them or no memory for them: the updates
// then scan, which gives the same bits.
class ColumnMarks {
public:
    explicit ColumnMarks(std::size_t n)
        : m_marks(n > kGaussLeaf ? new (std::nothrow) unsigned char[n] : nullptr) {}
    unsigned char *Get() const { return m_marks.get(); }

private:
    std::unique_ptr<unsigned char[]> m_marks;
};

// On several threads, matrices of at least this order are eliminated in
// panels of columns with look-ahead (FactorInPanels); smaller ones, and every
// matrix on one thread, by halving the columns.
constexpr std::size_t kPanelMinOrder = 256;

// EliminateColumns' work on the first n columns of an n x `columns`
// matrix, by panels: each panel's steps reach the columns right of it in
// blocks, those after the first n included, the rows of U by the scaled
// solve and the rows below through the update kernel, as in
// EliminateColumns' halving. With `finish`, the columns left of each panel
// take its interchanges at the end; without, the multipliers are left
// without them.
void EliminateByPanels(std::size_t n, std::size_t columns, double *a, std::size_t lda,
                       std::size_t *pivot, double *r, bool finish, unsigned char *clean) {
    // Columns c0 .. c1 - 1 take the steps of panel k0 .. k1 - 1: their rows
    // of U by the solve, the rows below through the product kernel.
    auto update = [&](std::size_t k0, std::size_t k1, std::size_t c0, std::size_t c1) {
        if (k0 == k1) return;
        ApplyInterchanges(a, lda, pivot, k0, k1, c0, c1);
        SolveScaledUnitLower(a, lda, r, k0, k1, a, lda, c0, c1, clean);
        EliminationUpdate(a, lda, k1, n, k0, k1, c0, c1, clean);
    };
    FactorInPanels(
        n, columns, PanelWork::kEven,
        [&](std::size_t k0, std::size_t k1, std::size_t j1) {
            update(k0, k1, k1, j1);
            EliminateColumns(n, a, lda, pivot, r, k1, j1, kGaussLeaf, true, clean);
            return KernelStatus{0};
        },
        [&](std::size_t k0, std::size_t k1, std::size_t, std::size_t c0, std::size_t c1,
            const PanelReady &) { update(k0, k1, c0, c1); });
    if (!finish) return;
    FinishPanels(n, [&](std::size_t q0, std::size_t q1) {
        ApplyInterchanges(a, lda, pivot, q1, n, q0, q1);
    });
}

}  // namespace

void BackSubstitute(std::size_t n, const double *u, std::size_t ldu, const double *b,
                    std::size_t incb, double *x, std::size_t incx) {
    if (n == 0) return;
    // x(i) holds the running sum s(i) until row i is solved.
    for (std::size_t i = 0; i + 1 < n; ++i) x[i * incx] = 0.0;
    for (std::size_t q = n; q-- > 0;) {
        const double *uq = u + q * ldu;
        const double xq = q + 1 == n ? b[q * incb] / uq[q] : (b[q * incb] - x[q * incx]) / uq[q];
        x[q * incx] = xq;
        for (std::size_t i = 0; i < q; ++i) x[i * incx] = x[i * incx] + uq[i] * xq;
    }
}

void GaussSolve(std::size_t n, std::size_t k, double *a, std::size_t lda, double *b,
                std::size_t ldb, double *x, std::size_t ldx) {
    for (std::size_t j = 0; j < n; ++j) {
        const GaussStep step = EliminateStep(n, j, a, lda, j, n);
        ApplyStep(n, j, step, a + j * lda, k, b, ldb);
    }
    for (std::size_t c = 0; c < k; ++c) BackSubstitute(n, a, lda, b + c * ldb, 1, x + c * ldx, 1);
}

void GaussFactor(std::size_t n, double *a, std::size_t lda, std::size_t *pivot, double *r,
                 KernelPath path) {
    // The plain path makes the whole matrix one block: GaussSolve's steps,
    // one after the other.
    const bool plain = path == KernelPath::kPlain;
    if (plain) {
        EliminateColumns(n, a, lda, pivot, r, 0, n, n, false, nullptr);
        return;
    }
    const ColumnMarks clean(n);
    if (n >= kPanelMinOrder && ThreadCount() > 1) {
        EliminateByPanels(n, n, a, lda, pivot, r, true, clean.Get());
        return;
    }
    EliminateColumns(n, a, lda, pivot, r, 0, n, kGaussLeaf, true, clean.Get());
}

namespace {

// Calls solve(c0, c1) over blocks of the k columns of an n x k right-hand
// side, on several threads when they are many. Each column is solved on its
// own, so the split changes no bit.
template <class Solve>
void ForRightHandSides(std::size_t n, std::size_t k, const Solve &solve) {
    if (k < 2 * kSolveGrain || n * n * k < kParallelMinSolve) {
        solve(std::size_t(0), k);
        return;
    }
    ParallelFor(k, kSolveGrain, solve);
}

// X from the eliminated B, by back substitution with the unit upper
// triangle of a, for columns c0 .. c1 - 1.
void SolveUpper(std::size_t n, const double *a, std::size_t lda, const double *b, std::size_t ldb,
                double *x, std::size_t ldx, std::size_t c0, std::size_t c1,
                KernelPath path = KernelPath::kFastest) {
    double *xc = x + c0 * ldx;
    for (std::size_t c = 0; c < c1 - c0; ++c) std::fill(xc + c * ldx, xc + c * ldx + n - 1, 0.0);
    BackSubstituteRows(n, c1 - c0, a, lda, b + c0 * ldb, ldb, xc, ldx, 0, n, path);
}

}  // namespace

void GaussSolveFactored(std::size_t n, std::size_t k, const double *a, std::size_t lda,
                        const std::size_t *pivot, const double *r, double *b, std::size_t ldb,
                        double *x, std::size_t ldx) {
    if (n == 0 || k == 0) return;
    // The multipliers travel with their rows, so B's interchanges may all
    // come first; each element then takes the scalings and updates of the
    // steps in order.
    ForRightHandSides(n, k, [&](std::size_t c0, std::size_t c1) {
        double *bc = b + c0 * ldb;
        ApplyInterchanges(bc, ldb, pivot, 0, n, 0, c1 - c0);
        SolveScaledUnitLower(a, lda, r, 0, n, bc, ldb, 0, c1 - c0);
        SolveUpper(n, a, lda, b, ldb, x, ldx, c0, c1);
    });
}

void GaussSolveAugmented(std::size_t n, std::size_t k, double *ab, std::size_t lda,
                         std::size_t *pivot, double *r, double *x, std::size_t ldx) {
    if (n == 0) return;
    // B's columns take every step as the columns of A right of it do, so
    // no multiplier is read after its step.
    const ColumnMarks clean(n);
    if (n < kPanelMinOrder || ThreadCount() < 2) {
        EliminateWithRightHandSides(n, n + k, ab, lda, pivot, r, 0, clean.Get());
    } else {
        EliminateByPanels(n, n + k, ab, lda, pivot, r, false, clean.Get());
    }
    if (k == 0) return;
    ForRightHandSides(n, k, [&](std::size_t c0, std::size_t c1) {
        SolveUpper(n, ab, lda, ab + n * lda, lda, x, ldx, c0, c1);
    });
}

namespace {

// x = L\b for one column, row by row: the running sums s(i) are kept in x
// until row i is solved, each taking its products in increasing column.
void ForwardSubstitute(std::size_t n, const double *l, std::size_t ldl, const double *b,
                       double *x) {
    for (std::size_t i = 1; i < n; ++i) x[i] = 0.0;
    for (std::size_t q = 0; q < n; ++q) {
        const double *lq = l + q * ldl;
        const double xq = q == 0 ? b[q] / lq[q] : (b[q] - x[q]) / lq[q];
        x[q] = xq;
        for (std::size_t i = q + 1; i < n; ++i) x[i] = x[i] + lq[i] * xq;
    }
}

// ForwardSubstitute for the k columns of b and x at once, blocked as
// BackSubstituteRows: a block's rows are solved first and their products
// reach the running sums of the rows below through the update kernel in
// increasing p, so each sum still takes its products from the first column
// on. x holds the running sums until their rows are solved.
void ForwardSubstituteRows(std::size_t k, const double *l, std::size_t ldl, const double *b,
                           std::size_t ldb, double *x, std::size_t ldx, std::size_t q0,
                           std::size_t q1, KernelPath path) {
    if (q1 - q0 > kGaussLeaf) {
        const std::size_t mid = q0 + (q1 - q0) / 2;
        ForwardSubstituteRows(k, l, ldl, b, ldb, x, ldx, q0, mid, path);
        MatrixProductUpdate(q1 - mid, k, mid - q0, l + mid + q0 * ldl, ldl, x + q0, ldx, x + mid,
                            ldx, PackingSpace(q1 - mid, k, mid - q0), UpdateSign::kAdd,
                            SumOrder::kIncreasing, path);
        ForwardSubstituteRows(k, l, ldl, b, ldb, x, ldx, mid, q1, path);
        return;
    }
    for (std::size_t c = 0; c < k; ++c) {
        const double *bc = b + c * ldb;
        double *xc = x + c * ldx;
        for (std::size_t q = q0; q < q1; ++q) {
            const double *lq = l + q * ldl;
            const double xq = q == 0 ? bc[q] / lq[q] : (bc[q] - xc[q]) / lq[q];
            xc[q] = xq;
            for (std::size_t i = q + 1; i < q1; ++i) xc[i] = xc[i] + lq[i] * xq;
        }
    }
}

}  // namespace

void TriangularSolve(std::size_t n, std::size_t k, bool lower, const double *t, std::size_t ldt,
                     const double *b, std::size_t ldb, double *x, std::size_t ldx,
                     KernelPath path) {
    if (n == 0 || k == 0) return;
    if (path == KernelPath::kPlain) {
        for (std::size_t c = 0; c < k; ++c) {
            if (lower) {
                ForwardSubstitute(n, t, ldt, b + c * ldb, x + c * ldx);
            } else {
                BackSubstitute(n, t, ldt, b + c * ldb, 1, x + c * ldx, 1);
            }
        }
        return;
    }
    ForRightHandSides(n, k, [&](std::size_t c0, std::size_t c1) {
        double *xc = x + c0 * ldx;
        if (lower) {
            for (std::size_t c = 0; c < c1 - c0; ++c)
                std::fill(xc + c * ldx + 1, xc + c * ldx + n, 0.0);
            ForwardSubstituteRows(c1 - c0, t, ldt, b + c0 * ldb, ldb, xc, ldx, 0, n, path);
        } else {
            SolveUpper(n, t, ldt, b, ldb, x, ldx, c0, c1, path);
        }
    });
}

double GaussReciprocalCondition(std::size_t n, const double *a, std::size_t lda,
                                const std::size_t *pivot, const double *r, double anorm,
                                double *work) {
    if (anorm == 0.0) return 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        if (r[j] == 1.0 / kGaussZeroPivot) return 0.0;
    }
    double *rhs = work + 2 * n;
    auto solve = [&](double *v) {
        std::copy(v, v + n, rhs);
        GaussSolveFactored(n, 1, a, lda, pivot, r, rhs, n, v, n);
    };
    auto solveTransposed = [&](double *v) {
        // U'w = v, U unit upper: w(i) = v(i) - U(0,i)w(0) - ... - U(i-1,i)w(i-1).
        // Four rows at a time: their sums run together over the solved
        // elements, each still in increasing k, so four chains of
        // dependent subtractions are in flight rather than one.
        std::size_t row = 1;
        for (; row + 4 <= n; row += 4) {
            const double *u[4] = {a + row * lda, a + (row + 1) * lda, a + (row + 2) * lda,
                                  a + (row + 3) * lda};
            double s[4] = {v[row], v[row + 1], v[row + 2], v[row + 3]};
            for (std::size_t k = 0; k < row; ++k) {
                const double vk = v[k];
                s[0] = s[0] - u[0][k] * vk;
                s[1] = s[1] - u[1][k] * vk;
                s[2] = s[2] - u[2][k] * vk;
                s[3] = s[3] - u[3][k] * vk;
            }
            for (std::size_t q = 0; q < 4; ++q) {
                for (std::size_t k = row; k < row + q; ++k) s[q] = s[q] - u[q][k] * v[k];
                v[row + q] = s[q];
            }
        }
        for (; row < n; ++row) {
            const double *ur = a + row * lda;
            double s = v[row];
            for (std::size_t k = 0; k < row; ++k) s = s - ur[k] * v[k];
            v[row] = s;
        }
        // L'x = w from the last row up; L(i,j) is minus the stored multiplier.
        for (std::size_t j = n; j-- > 0;) {
            const double *lj = a + j * lda;
            double s = v[j];
            for (std::size_t i = j + 1; i < n; ++i) s = s + lj[i] * v[i];
            v[j] = s * r[j];
        }
        for (std::size_t j = n; j-- > 0;) {
            if (pivot[j] != j) std::swap(v[j], v[pivot[j]]);
        }
    };
    const double estimate = EstimateInverseNorm1(n, solve, solveTransposed, work);
    return 1.0 / estimate / anorm;
}

double TriangularReciprocalCondition(std::size_t n, bool lower, const double *t, std::size_t ldt,
                                     double anorm, double *work) {
    if (anorm == 0.0) return 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        if (t[j + j * ldt] == 0.0) return 0.0;
    }
    double *rhs = work + 2 * n;
    auto solve = [&](double *v) {
        std::copy(v, v + n, rhs);
        TriangularSolve(n, 1, lower, t, ldt, rhs, n, v, n, KernelPath::kPlain);
    };
    // T'w = v: column i of T holds row i of T'.
    auto solveTransposed = [&](double *v) {
        auto row = [&](std::size_t i) {
            const double *ti = t + i * ldt;
            double s = v[i];
            if (lower) {
                for (std::size_t k = i + 1; k < n; ++k) s = s - ti[k] * v[k];
            } else {
                for (std::size_t k = 0; k < i; ++k) s = s - ti[k] * v[k];
            }
            v[i] = s / ti[i];
        };
        if (lower) {
            for (std::size_t i = n; i-- > 0;) row(i);
        } else {
            for (std::size_t i = 0; i < n; ++i) row(i);
        }
    };
    const double estimate = EstimateInverseNorm1(n, solve, solveTransposed, work);
    return 1.0 / estimate / anorm;
}

std::size_t TriangularRank(std::size_t count, const double *r, std::size_t ldr, double tol) {
    std::size_t rank = 0;
    while (rank < count && std::fabs(r[rank + rank * ldr]) > tol) ++rank;
    return rank;
}

void QrSolve(std::size_t m, std::size_t n, std::size_t k, std::size_t rank, const double *q,
             std::size_t ldq, const double *r, std::size_t ldr, const double *b, std::size_t ldb,
             double *x, std::size_t ldx, double *y) {
    for (std::size_t j = 0; j < k; ++j) {
        // Only the first rank entries of y = Q'*b reach the solution.
        const double *bj = b + j * ldb;
        for (std::size_t i = 0; i < rank; ++i) {
            const double *qi = q + i * ldq;
            double s = 0.0;
            for (std::size_t p = 0; p < m; ++p) s = s + bj[p] * qi[p];
            y[i] = s;
        }
        double *xj = x + j * ldx;
        for (std::size_t i = rank; i < n; ++i) xj[i] = 0.0;
        BackSubstitute(rank, r, ldr, y, 1, xj, 1);
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
