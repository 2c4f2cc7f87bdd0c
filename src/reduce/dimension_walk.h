// src/reduce/dimension_walk.h: the one walk along a dimension behind every
// reduction (Sum, Prod, All, Any and the Max and Min reductions).
//
// Private to the library. Along dimension dim an array is seen as
// before x n x after: n is the length of dim, before the product of the
// lengths in front of it and after the product of those behind it. Each of
// the before * after lines holds n elements at stride `before`, and line
// (p, o) gives result element o * before + p, which is the column-major
// order of the reduced array.
//
// A line policy says what one reduction does with a line; the walk decides
// the order in which memory is read. Every line is still folded strictly from
// its first element to its last, so results are exactly those of the plain
// walk (KernelPath::kPlain: one line at a time, first to last, in the order
// of the results); the fastest walk only interleaves lines:
//   - when before is 1 the lines are contiguous columns, and several of them
//     advance in lockstep, each with its own chain of operations, so that
//     independent chains hide the latency of one operation;
//   - otherwise a block of consecutive lines advances one element at a time,
//     so that the inner loop runs over contiguous memory and vectorises.
//
// Line policy, a class with:
//   using State = ...;                       // what a line carries along
//   static constexpr std::size_t kLanes;     // columns folded in lockstep
//   static constexpr bool kCanStop;          // a line can be decided early
//   State Begin(double first) const;         // state after the first element
//   State Step(State s, double x, std::size_t k) const;  // element k >= 1
//   bool Decided(State s) const;             // no later element can change s
//   State Empty() const;                     // the result of a line of n = 0
//   State Load(std::size_t r) const;         // state stored for result r
//   void Store(std::size_t r, State s);      // store result r
//   Policy From(std::size_t r) const;        // the policy whose result 0 is r
// Load and Store may use the result arrays as the states of a block of lines.
// A policy with kCanStop set stops reading a line once Decided holds.
// Optionally, for a line whose value does not depend on the order of its
// elements:
//   static State ScanLine(const double *x, std::size_t n);  // contiguous line
// which the fastest walk then uses for contiguous lines; and, for a fold that can
// take several contiguous columns at once with wider instructions:
//   std::size_t FoldColumnsWide(const double *a, std::size_t n,
//                               std::size_t columns, kernels::KernelPath path);
// which folds and stores a leading part of the columns (results 0, 1, ...)
// and returns how many it did (none on the plain path); the walk does the
// rest.
#ifndef MATRIX_SRC_REDUCE_DIMENSION_WALK_H
#define MATRIX_SRC_REDUCE_DIMENSION_WALK_H

#include <kiv/exception.h>
#include <matrix/cmatrix.h>
#include <matrix/exceptions.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

#include "kernels/kernel_path.h"
#include "kernels/parallel.h"

namespace kiv {
namespace matrix {
namespace reduce {

/// Throws CFunctionErrorException unless `dim` is a valid dimension argument:
/// dimensions count from 1, and any value from 1 up is valid (one beyond the
/// last dimension is a trailing singleton).
inline void RequireDimension(unsigned int dim) {
    if (dim == 0) throw CFunctionErrorException(L"Dimension argument must be a positive integer");
}

/// An array seen as before x n x after around one dimension.
struct DimensionSplit {
    std::size_t before;
    std::size_t n;
    std::size_t after;
};

/// Splits `a` around the 1-based dimension `dim` (at least 1). A dimension
/// beyond the last is a trailing singleton: before is the element count and
/// n and after are 1. Call it only once the reduced array exists and has
/// elements: then none of the products overflows.
inline DimensionSplit SplitAround(const CMatrix *a, unsigned int dim) {
    const unsigned int nDims = a->GetNoDimensions();
    const unsigned int *dims = a->GetDimensions();
    DimensionSplit split{1, 1, 1};
    for (unsigned int d = 0; d < nDims; ++d) {
        if (d + 1 < dim) {
            split.before *= dims[d];
        } else if (d + 1 == dim) {
            split.n = dims[d];
        } else {
            split.after *= dims[d];
        }
    }
    return split;
}

/// How a reduction shapes the dimension it removes.
enum class EmptyDimension {
    kBecomesOne,  // always length 1: a line of no elements still gives a value
    kStaysZero,   // length 0 stays 0: a line of no elements gives no value
};

/// The dimension list of a reduced array: `a`'s lengths with dimension `dim`
/// (1-based) set to 1, or left at 0 under EmptyDimension::kStaysZero; a
/// dimension beyond the last leaves the list as it is. Short lists live in
/// the object itself; a longer one is allocated, and failing that throws
/// kiv::CExhaustedMemoryException.
class ReducedDims {
public:
    ReducedDims(const CMatrix *a, unsigned int dim, EmptyDimension rule)
        : m_count(a->GetNoDimensions()), m_dims(m_inline) {
        if (m_count > kInline) {
            m_heap.reset(new (std::nothrow) unsigned int[m_count]);
            if (!m_heap) throw kiv::CExhaustedMemoryException();
            m_dims = m_heap.get();
        }
        std::copy(a->GetDimensions(), a->GetDimensions() + m_count, m_dims);
        if (dim <= m_count && !(rule == EmptyDimension::kStaysZero && m_dims[dim - 1] == 0)) {
            m_dims[dim - 1] = 1;
        }
    }
    ReducedDims(const ReducedDims &) = delete;
    ReducedDims &operator=(const ReducedDims &) = delete;

    unsigned int Count() const { return m_count; }
    const unsigned int *Data() const { return m_dims; }

private:
    static constexpr unsigned int kInline = 8;
    unsigned int m_count;
    unsigned int *m_dims;
    unsigned int m_inline[kInline];
    std::unique_ptr<unsigned int[]> m_heap;
};

/// Whether the default dimension of an array that is not a vector looks past
/// leading lengths of 1 (Sum, Prod, All, Any and the values-only Max and
/// Min) or is simply the first (the two-output Max and Min).
enum class LeadingOnes { kSkip, kKeep };

/// Returns the 1-based dimension a reduction without a dimension argument
/// works along. A vector (IsVector: two dimensions, numeric, at least one
/// element, a length of 1) is reduced along its length: dimension 2 when it
/// has one row, a 1-by-1 array included, else 1. Any other array is reduced
/// along dimension 1, except that under LeadingOnes::kSkip an array of three
/// or more dimensions whose first length is 1 is reduced along its first
/// dimension whose length is not 1 (one always exists: an array never ends
/// in a length of 1 beyond the second).
inline unsigned int DefaultDimension(const CMatrix *a, LeadingOnes rule) {
    const unsigned int *dims = a->GetDimensions();
    if (a->IsVector()) return dims[0] == 1 ? 2 : 1;
    const unsigned int nDims = a->GetNoDimensions();
    if (rule == LeadingOnes::kSkip && nDims > 2 && dims[0] == 1) {
        unsigned int d = 0;
        while (d + 1 < nDims && dims[d] == 1) ++d;
        return d + 1;
    }
    return 1;
}

namespace detail {

// Lines folded at once when they are not contiguous. Each element step reads
// a contiguous run of up to this many elements (128 KB): whole columns of
// most matrices, which the hardware streams fastest (runs of a few KB, one
// per column, ran at a third of the memory speed). The states of a block
// (128 KB, 256 KB with positions) stay in L2; only arrays taller than this
// are split, so that their states are not streamed through memory on every
// element step.
constexpr std::size_t kRowBlock = 16384;

// Folds one line of n >= 1 elements that starts at `line` and continues at
// `stride`, first to last, and stores it as result r: the plain walk's step.
template <class Policy>
void FoldLine(Policy &policy, const double *line, std::size_t stride, std::size_t n,
              std::size_t r) {
    typename Policy::State s = policy.Begin(line[0]);
    for (std::size_t k = 1; k < n; ++k) {
        if constexpr (Policy::kCanStop) {
            if (policy.Decided(s)) break;
        }
        s = policy.Step(s, line[k * stride], k);
    }
    policy.Store(r, s);
}

// Folds `count` contiguous columns of n >= 1 elements (column c starts at
// a + c * n) in lockstep and stores them as results r, r + 1, ...
template <std::size_t kCount, class Policy>
void FoldColumns(Policy &policy, const double *a, std::size_t n, std::size_t r) {
    using State = typename Policy::State;
    State s[kCount];
    for (std::size_t l = 0; l < kCount; ++l) s[l] = policy.Begin(a[l * n]);
    for (std::size_t k = 1; k < n; ++k) {
        if constexpr (Policy::kCanStop && kCount == 1) {
            if (policy.Decided(s[0])) break;
        }
        for (std::size_t l = 0; l < kCount; ++l) s[l] = policy.Step(s[l], a[l * n + k], k);
    }
    for (std::size_t l = 0; l < kCount; ++l) policy.Store(r + l, s[l]);
}

// Folds `count` lines that start at m[0], ..., m[count - 1] and continue at
// stride ld (n >= 1 elements each), into results r, r + 1, ... The results
// hold the states between elements.
template <class Policy>
void FoldRows(Policy &policy, const double *m, std::size_t ld, std::size_t n, std::size_t count,
              std::size_t r) {
    for (std::size_t p = 0; p < count; ++p) policy.Store(r + p, policy.Begin(m[p]));
    for (std::size_t k = 1; k < n; ++k) {
        if constexpr (Policy::kCanStop) {
            std::size_t p = 0;
            while (p < count && policy.Decided(policy.Load(r + p))) ++p;
            if (p == count) return;
        }
        const double *column = m + k * ld;
        for (std::size_t p = 0; p < count; ++p) {
            policy.Store(r + p, policy.Step(policy.Load(r + p), column[p], k));
        }
    }
}

template <class Policy, class = void>
struct HasScanLine : std::false_type {};
template <class Policy>
struct HasScanLine<Policy, std::void_t<decltype(&Policy::ScanLine)>> : std::true_type {};

template <class Policy, class = void>
struct HasFoldColumnsWide : std::false_type {};
template <class Policy>
struct HasFoldColumnsWide<Policy, std::void_t<decltype(&Policy::FoldColumnsWide)>>
    : std::true_type {};

// Reductions of at least this many elements are shared among the threads,
// by whole lines: contiguous lines in blocks of whole multiples of
// kColumnGrain, strided lines by slabs or in blocks of kStridedGrain.
constexpr std::size_t kSplitElements = std::size_t(1) << 17;
constexpr std::size_t kColumnGrain = 64;
constexpr std::size_t kStridedGrain = 1024;

// The fastest walk of `columns` contiguous lines of n >= 1 elements from a
// on, stored as results 0, 1, ... of `policy`.
template <class Policy>
void WalkColumns(const double *a, std::size_t n, std::size_t columns, Policy &policy,
                 kernels::KernelPath path) {
    if constexpr (HasScanLine<Policy>::value) {
        for (std::size_t c = 0; c < columns; ++c) policy.Store(c, Policy::ScanLine(a + c * n, n));
        return;
    }
    constexpr std::size_t kLanes = Policy::kCanStop ? 1 : Policy::kLanes;
    std::size_t c = 0;
    if constexpr (HasFoldColumnsWide<Policy>::value) {
        c = policy.FoldColumnsWide(a, n, columns, path);
    }
    for (; c + kLanes <= columns; c += kLanes) FoldColumns<kLanes>(policy, a + c * n, n, c);
    for (; c < columns; ++c) FoldColumns<1>(policy, a + c * n, n, c);
}

// The fastest walk of lines p0 .. p1 - 1 of slabs o0 .. o1 - 1 when before
// is more than 1: blocks of up to blockSize lines.
template <class Policy>
void WalkStrided(const double *a, std::size_t before, std::size_t n, std::size_t blockSize,
                 std::size_t o0, std::size_t o1, std::size_t p0, std::size_t p1, Policy &policy) {
    for (std::size_t o = o0; o < o1; ++o) {
        const double *slab = a + o * before * n;
        for (std::size_t p = p0; p < p1; p += blockSize) {
            const std::size_t count = std::min(blockSize, p1 - p);
            FoldRows(policy, slab + p, before, n, count, o * before + p);
        }
    }
}

}  // namespace detail

/// Reduces every line of `a` (the real data of an array split as `split`)
/// with `policy`, storing result o * before + p for line (p, o). The reduced
/// array must have elements (before * after of them). Both paths give the
/// same bits; kPlain folds one line after another with no vector code and
/// no interleaving of lines, on the calling thread. The fastest walk shares
/// the lines of a large array among the threads; each line is folded whole
/// by one of them, exactly as on one thread.
template <class Policy>
void WalkLines(const double *a, const DimensionSplit &split, Policy &policy,
               kernels::KernelPath path) {
    const std::size_t before = split.before;
    const std::size_t n = split.n;
    const std::size_t after = split.after;
    if (n == 0) {
        for (std::size_t r = 0; r < before * after; ++r) policy.Store(r, policy.Empty());
        return;
    }
    if (path == kernels::KernelPath::kPlain) {
        for (std::size_t o = 0; o < after; ++o) {
            for (std::size_t p = 0; p < before; ++p) {
                detail::FoldLine(policy, a + o * before * n + p, before, n, o * before + p);
            }
        }
        return;
    }
    const bool large = before * n * after >= detail::kSplitElements;
    if (before == 1) {
        if (!large || after < 2 * detail::kColumnGrain) {
            detail::WalkColumns(a, n, after, policy, path);
            return;
        }
        kernels::ParallelFor(after, detail::kColumnGrain, [&](std::size_t c0, std::size_t c1) {
            Policy part = policy.From(c0);
            detail::WalkColumns(a + c0 * n, n, c1 - c0, part, path);
        });
        return;
    }
    // Blocks of equal size, so that no block is left with a few short lines.
    const std::size_t blocks = (before + detail::kRowBlock - 1) / detail::kRowBlock;
    const std::size_t blockSize = (before + blocks - 1) / blocks;
    if (!large) {
        detail::WalkStrided(a, before, n, blockSize, 0, after, 0, before, policy);
    } else if (after >= 2) {
        kernels::ParallelFor(after, 1, [&](std::size_t o0, std::size_t o1) {
            Policy part = policy.From(0);
            detail::WalkStrided(a, before, n, blockSize, o0, o1, 0, before, part);
        });
    } else {
        kernels::ParallelFor(before, detail::kStridedGrain, [&](std::size_t p0, std::size_t p1) {
            Policy part = policy.From(0);
            detail::WalkStrided(a, before, n, blockSize, 0, 1, p0, p1, part);
        });
    }
}

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_REDUCE_DIMENSION_WALK_H
