// src/reduce/cumulative.h: the running sums and products along a dimension,
// with the switch between their paths.
//
// Private to the library. The exported Cumsum and Cumprod call these with
// KernelPath::kFastest; the tests force kPlain and compare. Contracts are
// those of the exported functions in include/matrix/reduce.h.
#ifndef MATRIX_SRC_REDUCE_CUMULATIVE_H
#define MATRIX_SRC_REDUCE_CUMULATIVE_H

#include <matrix/cmatrix.h>

#include <cstddef>

#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "elementwise/binary_engine.h"
#include "kernels/kernel_path.h"
#include "kernels/parallel.h"
#include "reduce/dimension_walk.h"
#include "reduce/line_reductions.h"

namespace kiv {
namespace matrix {
namespace reduce {

namespace detail {

// Running folds of `lanes` contiguous columns of n >= 1 elements each (column
// c at a + c * n), advanced in lockstep so that their independent chains
// hide the latency of one operation. Element k of a column is the fold of
// elements 0..k from the identity, exactly as Sum and Prod fold a line.
template <class Operation, std::size_t kLanes>
void CumulateColumns(const double *a, double *r, std::size_t n) {
    double s[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l) {
        s[l] = Operation::Apply(Operation::kIdentity, a[l * n]);
        r[l * n] = s[l];
    }
    for (std::size_t k = 1; k < n; ++k) {
        for (std::size_t l = 0; l < kLanes; ++l) {
            s[l] = Operation::Apply(s[l], a[l * n + k]);
            r[l * n + k] = s[l];
        }
    }
}

// Contiguous columns c0 .. c1 - 1 of n >= 1 elements: four chains at a time.
template <class Operation>
void CumulateContiguous(const double *a, double *r, std::size_t n, std::size_t c0, std::size_t c1) {
    constexpr std::size_t kLanes = 4;
    std::size_t c = c0;
    for (; c + kLanes <= c1; c += kLanes) {
        CumulateColumns<Operation, kLanes>(a + c * n, r + c * n, n);
    }
    for (; c < c1; ++c) CumulateColumns<Operation, 1>(a + c * n, r + c * n, n);
}

// Lines p0 .. p1 - 1 across the first dimension of slabs o0 .. o1 - 1
// (before > 1): each step folds one contiguous run of lines into the
// previous run of results, which vectorises.
template <class Operation>
void CumulateStrided(const double *a, double *r, std::size_t before, std::size_t n, std::size_t o0,
                     std::size_t o1, std::size_t p0, std::size_t p1) {
    for (std::size_t o = o0; o < o1; ++o) {
        const double *__restrict x = a + o * before * n;
        double *__restrict y = r + o * before * n;
        for (std::size_t p = p0; p < p1; ++p) {
            y[p] = Operation::Apply(Operation::kIdentity, x[p]);
        }
        for (std::size_t k = 1; k < n; ++k) {
            const double *__restrict previous = y + (k - 1) * before;
            double *__restrict current = y + k * before;
            const double *__restrict next = x + k * before;
            for (std::size_t p = p0; p < p1; ++p) {
                current[p] = Operation::Apply(previous[p], next[p]);
            }
        }
    }
}

}  // namespace detail

/// Writes into r (shaped like a) the running folds of every line of `a`
/// split as `split`, each line strictly from its first element to its last,
/// starting from the identity. Both paths give the same bits; kPlain
/// cumulates one line after another at its stride, on the calling thread.
/// The fastest walk shares the contiguous lines, or the slabs, of a large
/// array among the threads; each line is cumulated whole by one of them.
template <class Operation>
void CumulateLines(const double *a, double *r, const DimensionSplit &split,
                   kernels::KernelPath path) {
    const std::size_t before = split.before;
    const std::size_t n = split.n;
    const std::size_t after = split.after;
    if (n == 0 || before == 0 || after == 0) return;
    if (path == kernels::KernelPath::kPlain) {
        for (std::size_t o = 0; o < after; ++o) {
            for (std::size_t p = 0; p < before; ++p) {
                const std::size_t first = o * before * n + p;
                double s = Operation::Apply(Operation::kIdentity, a[first]);
                r[first] = s;
                for (std::size_t k = 1; k < n; ++k) {
                    s = Operation::Apply(s, a[first + k * before]);
                    r[first + k * before] = s;
                }
            }
        }
        return;
    }
    const bool large = before * n * after >= detail::kSplitElements;
    if (before == 1) {
        if (!large || after < 2 * detail::kColumnGrain) {
            detail::CumulateContiguous<Operation>(a, r, n, 0, after);
            return;
        }
        kernels::ParallelFor(after, detail::kColumnGrain, [&](std::size_t c0, std::size_t c1) {
            detail::CumulateContiguous<Operation>(a, r, n, c0, c1);
        });
        return;
    }
    // One slab is left whole: split across its lines, each thread would
    // stream every other stretch of each run, which is slower than one
    // thread streaming whole runs (the work is one operation per element,
    // bound by memory).
    if (!large || after < 2) {
        detail::CumulateStrided<Operation>(a, r, before, n, 0, after, 0, before);
    } else {
        kernels::ParallelFor(after, 1, [&](std::size_t o0, std::size_t o1) {
            detail::CumulateStrided<Operation>(a, r, before, n, o0, o1, 0, before);
        });
    }
}

/// Cumsum (Operation = Addition) or Cumprod (Multiplication) of A along the
/// 1-based dimension `dim`.
template <class Operation>
CMatrix *CumulateAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    RequireDimension(dim);
    RequireRealDouble(A);
    // Each line holds one element, which Sum and Prod leave as it is.
    if (dim > A->GetNoDimensions()) return A->CreateShareArray();
    ArrayHolder R(engine::NewRealDoubleLike(A));
    if (R->GetNoElems() == 0) return R.release();
    CumulateLines<Operation>(engine::RealData(A), engine::RealData(R.get()), SplitAround(A, dim),
                             path);
    return R.release();
}

inline CMatrix *CumsumAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    return CumulateAlong<Addition>(A, dim, path);
}
inline CMatrix *CumprodAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    return CumulateAlong<Multiplication>(A, dim, path);
}

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_REDUCE_CUMULATIVE_H
