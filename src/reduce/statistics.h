// src/reduce/statistics.h: the variance and standard deviation along a dimension, with the
// switch between their paths.
//
// Private to the library. The exported Var and Std call these with
// KernelPath::kFastest; the tests force kPlain and compare. Contracts are
// those of the exported functions in include/matrix/reduce.h.
#ifndef MATRIX_SRC_REDUCE_STATISTICS_H
#define MATRIX_SRC_REDUCE_STATISTICS_H

#include <matrix/cmatrix.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "kernels/kernel_path.h"
#include "kernels/parallel.h"
#include "reduce/dimension_walk.h"
#include "reduce/line_reductions.h"

namespace kiv {
namespace matrix {
namespace reduce {

namespace detail {

// What one line's squared deviations give: the variance, or its root.
inline double Spread(double squares, std::size_t n, bool root) {
    const double v = squares / static_cast<double>(n > 1 ? n - 1 : 1);
    return root ? std::sqrt(v) : v;
}

// The variance of one line of n >= 1 elements at `stride`: the mean as Mean
// gives it (the in-order sum from 0.0, then one division by n), then the
// in-order sum from 0.0 of the squared deviations, over n - 1 (over 1 when
// n is 1).
inline double LineSpread(const double *x, std::size_t stride, std::size_t n, bool root) {
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) sum = sum + x[k * stride];
    const double mean = sum / static_cast<double>(n);
    double squares = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double d = x[k * stride] - mean;
        squares = squares + d * d;
    }
    return Spread(squares, n, root);
}

// LineSpread of contiguous columns c0 .. c1 - 1 of n >= 1 elements, four
// at a time so that their chains of sums run side by side.
inline void SpreadContiguous(const double *a, double *r, std::size_t n, std::size_t c0,
                             std::size_t c1, bool root) {
    constexpr std::size_t kLanes = 4;
    std::size_t c = c0;
    for (; c + kLanes <= c1; c += kLanes) {
        const double *x = a + c * n;
        double sum[kLanes] = {}, mean[kLanes], squares[kLanes] = {};
        for (std::size_t k = 0; k < n; ++k) {
            for (std::size_t l = 0; l < kLanes; ++l) sum[l] = sum[l] + x[l * n + k];
        }
        for (std::size_t l = 0; l < kLanes; ++l) mean[l] = sum[l] / static_cast<double>(n);
        for (std::size_t k = 0; k < n; ++k) {
            for (std::size_t l = 0; l < kLanes; ++l) {
                const double d = x[l * n + k] - mean[l];
                squares[l] = squares[l] + d * d;
            }
        }
        for (std::size_t l = 0; l < kLanes; ++l) r[c + l] = Spread(squares[l], n, root);
    }
    for (; c < c1; ++c) r[c] = LineSpread(a + c * n, 1, n, root);
}

// LineSpread of lines p0 .. p1 - 1 across the first dimension of slabs o0
// .. o1 - 1 (before > 1), in blocks of lines whose sums advance together
// over contiguous runs, which vectorises.
inline void SpreadStrided(const double *a, double *r, std::size_t before, std::size_t n,
                          std::size_t o0, std::size_t o1, std::size_t p0, std::size_t p1,
                          bool root) {
    constexpr std::size_t kBlock = 256;
    double sum[kBlock], squares[kBlock];
    for (std::size_t o = o0; o < o1; ++o) {
        const double *x = a + o * before * n;
        for (std::size_t q0 = p0; q0 < p1; q0 += kBlock) {
            const std::size_t count = std::min(kBlock, p1 - q0);
            for (std::size_t q = 0; q < count; ++q) sum[q] = squares[q] = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                const double *run = x + k * before + q0;
                for (std::size_t q = 0; q < count; ++q) sum[q] = sum[q] + run[q];
            }
            for (std::size_t q = 0; q < count; ++q) sum[q] = sum[q] / static_cast<double>(n);
            for (std::size_t k = 0; k < n; ++k) {
                const double *run = x + k * before + q0;
                for (std::size_t q = 0; q < count; ++q) {
                    const double d = run[q] - sum[q];
                    squares[q] = squares[q] + d * d;
                }
            }
            for (std::size_t q = 0; q < count; ++q) {
                r[o * before + q0 + q] = Spread(squares[q], n, root);
            }
        }
    }
}

}  // namespace detail

/// Writes result o * before + p, the variance of line (p, o) of `a` split as
/// `split` (its root with `root`), NaN for lines of no elements. Both paths
/// give the same bits; kPlain takes one line after another at its stride,
/// on the calling thread. The fastest walk shares the lines of a large array
/// among the threads, as the reductions do; each line is taken whole by one
/// of them.
inline void SpreadLines(const double *a, double *r, const DimensionSplit &split, bool root,
                        kernels::KernelPath path) {
    const std::size_t before = split.before;
    const std::size_t n = split.n;
    const std::size_t after = split.after;
    if (n == 0) {
        const double v = mxGetNaN();
        for (std::size_t i = 0; i < before * after; ++i) r[i] = root ? std::sqrt(v) : v;
        return;
    }
    if (path == kernels::KernelPath::kPlain) {
        for (std::size_t o = 0; o < after; ++o) {
            for (std::size_t p = 0; p < before; ++p) {
                r[o * before + p] = detail::LineSpread(a + o * before * n + p, before, n, root);
            }
        }
        return;
    }
    const bool large = before * n * after >= detail::kSplitElements;
    if (before == 1) {
        if (!large || after < 2 * detail::kColumnGrain) {
            detail::SpreadContiguous(a, r, n, 0, after, root);
            return;
        }
        kernels::ParallelFor(after, detail::kColumnGrain, [&](std::size_t c0, std::size_t c1) {
            detail::SpreadContiguous(a, r, n, c0, c1, root);
        });
        return;
    }
    if (!large) {
        detail::SpreadStrided(a, r, before, n, 0, after, 0, before, root);
    } else if (after >= 2) {
        kernels::ParallelFor(after, 1, [&](std::size_t o0, std::size_t o1) {
            detail::SpreadStrided(a, r, before, n, o0, o1, 0, before, root);
        });
    } else {
        kernels::ParallelFor(before, detail::kStridedGrain, [&](std::size_t p0, std::size_t p1) {
            detail::SpreadStrided(a, r, before, n, 0, 1, p0, p1, root);
        });
    }
}

/// Var (root false) or Std (root true) of A along the 1-based dimension
/// `dim`.
inline CMatrix *SpreadAlong(const CMatrix *A, unsigned int dim, bool root,
                            kernels::KernelPath path) {
    RequireDimension(dim);
    RequireRealDouble(A);
    const ReducedDims dims(A, dim, EmptyDimension::kBecomesOne);
    ArrayHolder R(mxCreateNumericArray(dims.Count(), dims.Data(), mxClassDouble, mxComplexityReal));
    if (R->GetNoElems() == 0) return R.release();
    SpreadLines(static_cast<const double *>(A->GetPr()), static_cast<double *>(R->GetPr()),
                SplitAround(A, dim), root, path);
    return R.release();
}

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_REDUCE_STATISTICS_H
