// src/reduce/line_reductions.h: the reductions along a dimension as line
// policies of the one walk, each with the switch between its paths.
//
// Private to the library. The exported Sum, Prod, All, Any, Max and Min call
// these with KernelPath::kFastest; the tests force kPlain and compare.
// Contracts (checks, shapes, results) are those of the exported functions in
// include/matrix/reduce.h.
#ifndef MATRIX_SRC_REDUCE_LINE_REDUCTIONS_H
#define MATRIX_SRC_REDUCE_LINE_REDUCTIONS_H

#include <matrix/cmatrix.h>
#include <matrix/construct.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>

#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "elementwise/binary_engine.h"
#include "kernels/kernel_path.h"
#include "reduce/dimension_walk.h"
#include "kernels/wide_columns.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace reduce {

// --- Line policies (see dimension_walk.h) -----------------------------------

// Sum and Prod: start from the identity and apply the operation to each
// element in turn, with no compensation and no reordering, so that the
// results are reproducible bit for bit.
struct Addition {
    static constexpr double kIdentity = 0.0;
    static constexpr bool kAdds = true;
    static double Apply(double s, double x) { return s + x; }
};
struct Multiplication {
    static constexpr double kIdentity = 1.0;
    static constexpr bool kAdds = false;
    static double Apply(double s, double x) { return s * x; }
};

// The vector forms of the folds below, four lines at a time; defined only
// where the build has AVX2 paths.
template <class Operation>
struct WideFold;
template <ElementPredicate kBetter>
struct WideExtremum;

// Folds contiguous columns with the vector fold Wide where the build has one
// (see kernels/wide_columns.h); returns the number of columns done.
template <class Wide>
std::size_t FoldWide(const double *a, std::size_t n, std::size_t columns, double *out,
                     kernels::KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    return kernels::FoldColumnsWide<Wide>(a, n, columns, out, path);
#else
    return kernels::FoldColumnsWide<void>(a, n, columns, out, path);
#endif
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
// The same folds, four lines at a time (see kernels/wide_columns.h).
template <class Operation>
struct WideFold {
    static constexpr bool kFromFirst = false;
    __attribute__((target("avx2"))) static __m256d Start() {
        return _mm256_set1_pd(Operation::kIdentity);
    }
    __attribute__((target("avx2"))) static __m256d Step(__m256d s, __m256d x) {
        return Operation::kAdds ? _mm256_add_pd(s, x) : _mm256_mul_pd(s, x);
    }
};

// The vector comparison that matches each better-than test: ordered, so
// false when either side is NaN.
template <ElementPredicate kBetter>
struct VectorComparison;
template <>
struct VectorComparison<ElementGt> {
    static constexpr int kPredicate = _CMP_GT_OQ;
};
template <>
struct VectorComparison<ElementLt> {
    static constexpr int kPredicate = _CMP_LT_OQ;
};

// ExtremumLine four lines at a time.
template <ElementPredicate kBetter>
struct WideExtremum {
    static constexpr bool kFromFirst = true;
    __attribute__((target("avx2"))) static __m256d Start() { return _mm256_setzero_pd(); }
    __attribute__((target("avx2"))) static __m256d Step(__m256d s, __m256d x) {
        constexpr int kPredicate = VectorComparison<kBetter>::kPredicate;
        return _mm256_blendv_pd(s, x, _mm256_cmp_pd(x, s, kPredicate));
    }
};

// One element of four lines: the candidates x at 1-based `position`.
template <ElementPredicate kBetter>
__attribute__((target("avx2"))) inline void StepWithPosition(__m256d &value, __m256d &at, __m256d x,
                                                             __m256d position) {
    const __m256d better = _mm256_cmp_pd(x, value, VectorComparison<kBetter>::kPredicate);
    value = _mm256_blendv_pd(value, x, better);
    at = _mm256_blendv_pd(at, position, better);
}

// ExtremumWithIndexLine sixteen contiguous columns at a time: the columns'
// elements are transposed in registers as in kernels/wide_columns.h, and
// each line keeps its value and its position in two vectors, both taken
// from the candidate only where the ordered comparison holds.
template <ElementPredicate kBetter>
__attribute__((target("avx2"))) void FoldSixteenColumnsWithPositions(const double *a, std::size_t n,
                                                                     double *values,
                                                                     double *positions) {
    constexpr std::size_t kGroups = kernels::kWideGroups;
    __m256d s[kGroups];
    __m256d at[kGroups];
    for (std::size_t g = 0; g < kGroups; ++g) {
        const double *first = a + 4 * g * n;
        s[g] = _mm256_set_pd(first[3 * n], first[2 * n], first[n], first[0]);
        at[g] = _mm256_set1_pd(1.0);
    }
    std::size_t k = 1;
    for (; k + 4 <= n; k += 4) {
        const __m256d p0 = _mm256_set1_pd(static_cast<double>(k + 1));
        const __m256d p1 = _mm256_set1_pd(static_cast<double>(k + 2));
        const __m256d p2 = _mm256_set1_pd(static_cast<double>(k + 3));
        const __m256d p3 = _mm256_set1_pd(static_cast<double>(k + 4));
#pragma GCC unroll 4
        for (std::size_t g = 0; g < kGroups; ++g) {
            __m256d x[4];
            kernels::LoadFourSteps(a + 4 * g * n + k, n, x);
            StepWithPosition<kBetter>(s[g], at[g], x[0], p0);
            StepWithPosition<kBetter>(s[g], at[g], x[1], p1);
            StepWithPosition<kBetter>(s[g], at[g], x[2], p2);
            StepWithPosition<kBetter>(s[g], at[g], x[3], p3);
        }
    }
    for (; k < n; ++k) {
        const __m256d position = _mm256_set1_pd(static_cast<double>(k + 1));
        for (std::size_t g = 0; g < kGroups; ++g) {
            const double *x = a + 4 * g * n + k;
            StepWithPosition<kBetter>(s[g], at[g], _mm256_set_pd(x[3 * n], x[2 * n], x[n], x[0]),
                                      position);
        }
    }
    for (std::size_t g = 0; g < kGroups; ++g) {
        _mm256_storeu_pd(values + 4 * g, s[g]);
        _mm256_storeu_pd(positions + 4 * g, at[g]);
    }
}
#endif

// Sum (Operation = Addition) and Prod (Multiplication). The states live in
// the result's data between elements.
template <class Operation>
class FoldLine {
public:
    using State = double;
    // Eight chains in flight cover the latency of an add or a multiply at
    // two operations per cycle.
    static constexpr std::size_t kLanes = 8;
    static constexpr bool kCanStop = false;

    explicit FoldLine(double *out) : m_out(out) {}
    FoldLine From(std::size_t r) const { return FoldLine(m_out + r); }
    // Identity first, so that a line [-0] sums to +0 as the in-order loop
    // gives it.
    State Begin(double x) const { return Operation::Apply(Operation::kIdentity, x); }
    State Step(State s, double x, std::size_t) const { return Operation::Apply(s, x); }
    bool Decided(State) const { return false; }
    State Empty() const { return Operation::kIdentity; }
    State Load(std::size_t r) const { return m_out[r]; }
    void Store(std::size_t r, State s) { m_out[r] = s; }

    std::size_t FoldColumnsWide(const double *a, std::size_t n, std::size_t columns,
                                kernels::KernelPath path) {
        return FoldWide<WideFold<Operation>>(a, n, columns, m_out, path);
    }

private:
    double *m_out;
};

// All (kAll) and Any: 1.0 or 0.0. An element decides the line when it is
// 0.0 (All) or anything else, NaN included (Any).
template <bool kAll>
class TestLine {
public:
    using State = double;
    static constexpr std::size_t kLanes = 1;
    static constexpr bool kCanStop = true;

    explicit TestLine(double *out) : m_out(out) {}
    TestLine From(std::size_t r) const { return TestLine(m_out + r); }
    State Begin(double x) const { return Step(Empty(), x, 0); }
    State Step(State s, double x, std::size_t) const {
        // Bitwise on the two truths, so that a block of lines vectorises.
        const bool truth = kAll ? ((s != 0.0) & (x != 0.0)) : ((s != 0.0) | (x != 0.0));
        return truth ? 1.0 : 0.0;
    }
    bool Decided(State s) const { return kAll ? s == 0.0 : s != 0.0; }
    State Empty() const { return kAll ? 1.0 : 0.0; }

    // A contiguous line of n >= 1 elements at once: its value does not
    // depend on the order in which the elements are looked at, so blocks of
    // eight are tested together, up to the first block that decides the
    // line.
    static State ScanLine(const double *x, std::size_t n) {
        constexpr State kDecided = kAll ? 0.0 : 1.0;
        std::size_t k = 0;
#if defined(__SSE2__)
        const __m128d zero = _mm_setzero_pd();
        // Equal to 0.0 (All), or not equal, NaN included (Any).
        auto decides = [zero](const double *p) {
            const __m128d v = _mm_loadu_pd(p);
            return kAll ? _mm_cmpeq_pd(v, zero) : _mm_cmpneq_pd(v, zero);
        };
        for (; k + 8 <= n; k += 8) {
            const __m128d any = _mm_or_pd(_mm_or_pd(decides(x + k), decides(x + k + 2)),
                                          _mm_or_pd(decides(x + k + 4), decides(x + k + 6)));
            if (_mm_movemask_pd(any) != 0) return kDecided;
        }
#endif
        for (; k < n; ++k) {
            if (kAll ? x[k] == 0.0 : x[k] != 0.0) return kDecided;
        }
        return kAll ? 1.0 : 0.0;
    }
    State Load(std::size_t r) const { return m_out[r]; }
    void Store(std::size_t r, State s) { m_out[r] = s; }

private:
    double *m_out;
};

// Max (kBetter = ElementGt) and Min (ElementLt). A line starts from its
// first element and takes a later one only when kBetter(candidate, current)
// holds. The predicate is strict and false for NaN, so the first of equal
// extrema wins, a NaN is the result only when it starts the line, and of +0
// and -0 the first is kept.
template <ElementPredicate kBetter>
class ExtremumLine {
public:
    using State = double;
    static constexpr std::size_t kLanes = 8;
    static constexpr bool kCanStop = false;

    explicit ExtremumLine(double *values) : m_values(values) {}
    ExtremumLine From(std::size_t r) const { return ExtremumLine(m_values + r); }
    State Begin(double x) const { return x; }
    State Step(State s, double x, std::size_t) const { return kBetter(x, s) ? x : s; }
    bool Decided(State) const { return false; }
    // Never called: along an empty dimension the result has no elements.
    State Empty() const { return 0.0; }
    State Load(std::size_t r) const { return m_values[r]; }
    void Store(std::size_t r, State s) { m_values[r] = s; }

    std::size_t FoldColumnsWide(const double *a, std::size_t n, std::size_t columns,
                                kernels::KernelPath path) {
        return FoldWide<WideExtremum<kBetter>>(a, n, columns, m_values, path);
    }

private:
    double *m_values;
};

// The extremum and its 1-based position along the line, stored as a double.
struct Extremum {
    double value;
    double position;
};

template <ElementPredicate kBetter>
class ExtremumWithIndexLine {
public:
    using State = Extremum;
    // Two values per line: four lines keep their states and the candidates
    // within the sixteen vector registers.
    static constexpr std::size_t kLanes = 4;
    static constexpr bool kCanStop = false;

    ExtremumWithIndexLine(double *values, double *positions)
        : m_values(values), m_positions(positions) {}
    ExtremumWithIndexLine From(std::size_t r) const {
        return ExtremumWithIndexLine(m_values + r, m_positions + r);
    }
    State Begin(double x) const { return {x, 1.0}; }
    // Two selects rather than a branch, spelled field by field: GCC turns
    // this form (and not a conditional State{...} : s) into vector blends
    // over a block of lines.
    State Step(State s, double x, std::size_t k) const {
        const bool better = kBetter(x, s.value);
        const double position = static_cast<double>(k + 1);
        State next;
        next.value = better ? x : s.value;
        next.position = better ? position : s.position;
        return next;
    }
    bool Decided(State) const { return false; }
    // Never called: along an empty dimension the result has no elements.
    State Empty() const { return {0.0, 0.0}; }
    State Load(std::size_t r) const { return {m_values[r], m_positions[r]}; }
    void Store(std::size_t r, State s) {
        m_values[r] = s.value;
        m_positions[r] = s.position;
    }

    // Short columns leave the lockstep walk little to overlap, so the
    // columns go sixteen at a time through the vector unit where there is
    // one; returns the number of columns done (none on the plain path).
    std::size_t FoldColumnsWide(const double *a, std::size_t n, std::size_t columns,
                                kernels::KernelPath path) {
        std::size_t done = 0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (path != kernels::KernelPath::kPlain && kernels::HasAvx2()) {
            for (; done + kernels::kWideColumns <= columns; done += kernels::kWideColumns) {
                FoldSixteenColumnsWithPositions<kBetter>(a + done * n, n, m_values + done,
                                                         m_positions + done);
            }
        }
#else
        (void)a;
        (void)n;
        (void)columns;
        (void)path;
#endif
        return done;
    }

private:
    double *m_values;
    double *m_positions;
};

// --- The reductions ---------------------------------------------------------

inline CMatrix *NewReduced(const ReducedDims &dims) {
    return mxCreateNumericArray(dims.Count(), dims.Data(), mxClassDouble, mxComplexityReal);
}

inline const double *RealData(const CMatrix *a) { return static_cast<const double *>(a->GetPr()); }
inline double *RealData(CMatrix *a) { return static_cast<double *>(a->GetPr()); }

/// What a reduction along a dimension beyond the last returns.
enum class BeyondLast {
    kShare,    // the array itself, sharing its data (Sum, Prod)
    kEachOne,  // each element reduced on its own, logical (All, Any)
};

/// Sum, Prod, All or Any of A along the 1-based dimension `dim`: checks,
/// the result with dimension dim set to 1, then one walk of the lines.
template <class Policy, bool kLogical, BeyondLast kBeyond>
CMatrix *ReduceAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    RequireDimension(dim);
    RequireRealDouble(A);
    if (kBeyond == BeyondLast::kShare && dim > A->GetNoDimensions()) {
        return A->CreateShareArray();
    }

    const ReducedDims dims(A, dim, EmptyDimension::kBecomesOne);
    ArrayHolder R(NewReduced(dims));
    if (kLogical) R->SetLogical();
    if (R->GetNoElems() == 0) return R.release();

    Policy policy(RealData(R.get()));
    WalkLines(RealData(A), SplitAround(A, dim), policy, path);
    return R.release();
}

/// The extrema of A along `dim` by `kBetter`. Returns a new array; along a
/// dimension beyond the last, A's shared copy (flags kept).
template <ElementPredicate kBetter>
CMatrix *ReduceExtremum(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    RequireDimension(dim);
    RequireRealDouble(A);
    if (dim > A->GetNoDimensions()) return A->CreateShareArray();

    const ReducedDims dims(A, dim, EmptyDimension::kStaysZero);
    ArrayHolder R(NewReduced(dims));
    if (R->GetNoElems() == 0) return R.release();

    ExtremumLine<kBetter> policy(RealData(R.get()));
    WalkLines(RealData(A), SplitAround(A, dim), policy, path);
    return R.release();
}

/// The extrema of A along `dim` into Y and their positions into I. A failed
/// argument check leaves Y and I as they were; any later failure leaves both
/// null, having released whatever was created.
template <ElementPredicate kBetter>
void ReduceExtremumWithIndex(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim,
                             kernels::KernelPath path) {
    RequireDimension(dim);
    RequireRealDouble(A);
    Y = nullptr;
    I = nullptr;

    ArrayHolder values;
    ArrayHolder positions;
    if (dim > A->GetNoDimensions()) {
        // Every line has the one element at position 1.
        values.reset(A->CreateShareArray());
        positions.reset(Ones(A->GetNoDimensions(), A->GetDimensions()));
    } else {
        const ReducedDims dims(A, dim, EmptyDimension::kStaysZero);
        values.reset(NewReduced(dims));
        positions.reset(NewReduced(dims));
        if (values->GetNoElems() != 0) {
            ExtremumWithIndexLine<kBetter> policy(RealData(values.get()),
                                                  RealData(positions.get()));
            WalkLines(RealData(A), SplitAround(A, dim), policy, path);
        }
    }
    Y = values.release();
    I = positions.release();
}

// The folds take a line's first element as their start, so a line that
// starts with NaN comes out NaN. NaN is missing data: the extremum is that
// of the other elements, and NaN only when every element is NaN (position
// 1). This pass redoes each such line of a real double or single result,
// which costs one look at each result when no line starts with NaN.
template <class F, bool kMax>
void SkipNaNStarts(const CMatrix *A, unsigned int dim, CMatrix *Y, CMatrix *I) {
    const unsigned int nDims = A->GetNoDimensions();
    const unsigned int *dims = A->GetDimensions();
    const std::size_t n = dim <= nDims ? dims[dim - 1] : 1;
    if (n <= 1) return;  // a line of one element (Y may share A's data)
    std::size_t before = 1;
    for (unsigned int d = 0; d + 1 < dim && d < nDims; ++d) before *= dims[d];
    const F *a = static_cast<const F *>(A->GetPr());
    F *y = static_cast<F *>(Y->GetPr());
    double *at = I != nullptr ? static_cast<double *>(I->GetPr()) : nullptr;
    const std::size_t count = Y->GetNoElems();
    for (std::size_t o = 0; o < count; ++o) {
        if (!std::isnan(y[o])) continue;
        const F *line = a + o % before + (o / before) * before * n;
        std::size_t best = n;
        for (std::size_t k = 0; k < n; ++k) {
            const F x = line[k * before];
            if (std::isnan(x)) continue;
            if (best == n || (kMax ? x > y[o] : x < y[o])) {
                best = k;
                y[o] = x;
            }
        }
        if (best != n && at != nullptr) at[o] = static_cast<double>(best + 1);
    }
}

// The reductions by name, as the exported functions with a dimension call
// them (there with KernelPath::kFastest).
inline CMatrix *SumAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    return ReduceAlong<FoldLine<Addition>, false, BeyondLast::kShare>(A, dim, path);
}
inline CMatrix *ProdAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    return ReduceAlong<FoldLine<Multiplication>, false, BeyondLast::kShare>(A, dim, path);
}
inline CMatrix *AllAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    return ReduceAlong<TestLine<true>, true, BeyondLast::kEachOne>(A, dim, path);
}
inline CMatrix *AnyAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    return ReduceAlong<TestLine<false>, true, BeyondLast::kEachOne>(A, dim, path);
}
inline CMatrix *MaxAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    CMatrix *Y = ReduceExtremum<ElementGt>(A, dim, path);
    SkipNaNStarts<double, true>(A, dim, Y, nullptr);
    return Y;
}
inline CMatrix *MinAlong(const CMatrix *A, unsigned int dim, kernels::KernelPath path) {
    CMatrix *Y = ReduceExtremum<ElementLt>(A, dim, path);
    SkipNaNStarts<double, false>(A, dim, Y, nullptr);
    return Y;
}
inline void MaxAlong(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim,
                     kernels::KernelPath path) {
    ReduceExtremumWithIndex<ElementGt>(Y, I, A, dim, path);
    SkipNaNStarts<double, true>(A, dim, Y, I);
}
inline void MinAlong(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim,
                     kernels::KernelPath path) {
    ReduceExtremumWithIndex<ElementLt>(Y, I, A, dim, path);
    SkipNaNStarts<double, false>(A, dim, Y, I);
}

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_REDUCE_LINE_REDUCTIONS_H
