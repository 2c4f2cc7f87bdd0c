// src/reduce/maxmin.cpp: Max and Min along a dimension, with and without
// positions.
#include <matrix/reduce.h>

#include <matrix/construct.h>
#include <matrix/mx.h>

#include <cstddef>
#include <memory>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"
#include "reduce/dimension_walk.h"
#include "reduce/wide_columns.h"

namespace kiv {
namespace matrix {

namespace {

#if defined(MATRIX_HAVE_AVX2_PATHS)
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

// ExtremumLine four lines at a time (see reduce/wide_columns.h).
template <ElementPredicate kBetter>
struct WideExtremum {
    static constexpr bool kFromFirst = true;
    __attribute__((target("avx2"))) static __m256d Start() { return _mm256_setzero_pd(); }
    __attribute__((target("avx2"))) static __m256d Step(__m256d s, __m256d x) {
        constexpr int kPredicate = VectorComparison<kBetter>::kPredicate;
        return _mm256_blendv_pd(s, x, _mm256_cmp_pd(x, s, kPredicate));
    }
};
#endif

// Line policies (see dimension_walk.h). A line starts from its first element
// and takes a later one only when kBetter(candidate, current) holds. The
// predicate is strict and false for NaN, so the first of equal extrema wins,
// a NaN is the result only when it starts the line, and of +0 and -0 the
// first is kept.
template <ElementPredicate kBetter>
class ExtremumLine {
public:
    using State = double;
    static constexpr std::size_t kLanes = 8;
    static constexpr bool kCanStop = false;

    explicit ExtremumLine(double *values) : m_values(values) {}
    State Begin(double x) const { return x; }
    State Step(State s, double x, std::size_t) const { return kBetter(x, s) ? x : s; }
    bool Decided(State) const { return false; }
    // Never called: along an empty dimension the result has no elements.
    State Empty() const { return 0.0; }
    State Load(std::size_t r) const { return m_values[r]; }
    void Store(std::size_t r, State s) { m_values[r] = s; }

    std::size_t FoldColumnsWide(const double *a, std::size_t n, std::size_t columns) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
        return reduce::FoldColumnsWide<WideExtremum<kBetter>>(a, n, columns, m_values);
#else
        return reduce::FoldColumnsWide<void>(a, n, columns, m_values);
#endif
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

private:
    double *m_values;
    double *m_positions;
};

CMatrix *NewReduced(const reduce::ReducedDims &dims) {
    return mxCreateNumericArray(dims.Count(), dims.Data(), mxClassDouble, mxComplexityReal);
}

// The extrema of A along the 1-based dimension `dim`, by `kBetter`. Returns a
// new array; along a dimension beyond the last, A's shared copy (flags kept).
template <ElementPredicate kBetter>
CMatrix *ReduceExtremum(const CMatrix *A, unsigned int dim) {
    reduce::RequireDimension(dim);
    engine::RequireRealDouble(A);
    if (dim > A->GetNoDimensions()) return A->CreateShareArray();

    const reduce::ReducedDims dims(A, dim, reduce::EmptyDimension::kStaysZero);
    ArrayHolder R(NewReduced(dims));
    if (R->GetNoElems() == 0) return R.release();

    ExtremumLine<kBetter> policy(engine::RealData(R.get()));
    reduce::WalkLines(engine::RealData(A), reduce::SplitAround(A, dim), policy);
    return R.release();
}

// The extrema of A along `dim` into Y and their positions into I. A failed
// argument check leaves Y and I as they were; any later failure leaves both
// null, having released whatever was created.
template <ElementPredicate kBetter>
void ReduceExtremumWithIndex(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    reduce::RequireDimension(dim);
    engine::RequireRealDouble(A);
    Y = nullptr;
    I = nullptr;

    ArrayHolder values;
    ArrayHolder positions;
    if (dim > A->GetNoDimensions()) {
        // Every line has the one element at position 1.
        values.reset(A->CreateShareArray());
        positions.reset(Ones(A->GetNoDimensions(), A->GetDimensions()));
    } else {
        const reduce::ReducedDims dims(A, dim, reduce::EmptyDimension::kStaysZero);
        values.reset(NewReduced(dims));
        positions.reset(NewReduced(dims));
        if (values->GetNoElems() != 0) {
            ExtremumWithIndexLine<kBetter> policy(engine::RealData(values.get()),
                                                  engine::RealData(positions.get()));
            reduce::WalkLines(engine::RealData(A), reduce::SplitAround(A, dim), policy);
        }
    }
    Y = values.release();
    I = positions.release();
}

unsigned int ValuesOnlyDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

unsigned int TwoOutputDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kKeep);
}

}  // namespace

CMatrix *Max(const CMatrix *A) { return ReduceExtremum<ElementGt>(A, ValuesOnlyDimension(A)); }

CMatrix *Max(const CMatrix *A, unsigned int dim) { return ReduceExtremum<ElementGt>(A, dim); }

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    ReduceExtremumWithIndex<ElementGt>(Y, I, A, TwoOutputDimension(A));
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    ReduceExtremumWithIndex<ElementGt>(Y, I, A, dim);
}

CMatrix *Min(const CMatrix *A) { return ReduceExtremum<ElementLt>(A, ValuesOnlyDimension(A)); }

CMatrix *Min(const CMatrix *A, unsigned int dim) { return ReduceExtremum<ElementLt>(A, dim); }

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    ReduceExtremumWithIndex<ElementLt>(Y, I, A, TwoOutputDimension(A));
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    ReduceExtremumWithIndex<ElementLt>(Y, I, A, dim);
}

}  // namespace matrix
}  // namespace kiv
