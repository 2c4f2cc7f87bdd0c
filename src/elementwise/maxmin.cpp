// src/elementwise/maxmin.cpp: Max and Min along a dimension, with positions,
// and of two arrays.
#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/mx.h>

#include <cstddef>
#include <memory>

#include "core/array_holder.h"
#include "core/cpu_features.h"
#include "elementwise/binary_engine.h"
#include "reduce/dimension_walk.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {

namespace {

#if defined(MATRIX_HAVE_AVX2_PATHS)
// Contiguous columns sixteen at a time with AVX2: four elements of each of
// four columns are loaded together and transposed in registers, so that one
// register carries four lines; each line starts from its first element and
// takes each later one in order when kBetter holds, the comparison being
// the same strict one, false for NaN.
constexpr std::size_t kWideGroups = 4;
constexpr std::size_t kWideColumns = 4 * kWideGroups;

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

template <ElementPredicate kBetter>
__attribute__((target("avx2"))) inline __m256d TakeBetter(__m256d s, __m256d x) {
    constexpr int kPredicate = VectorComparison<kBetter>::kPredicate;
    return _mm256_blendv_pd(s, x, _mm256_cmp_pd(x, s, kPredicate));
}

template <ElementPredicate kBetter>
__attribute__((target("avx2"))) void ExtremaOfSixteenColumns(const double *a, std::size_t n,
                                                             double *out) {
    __m256d s[kWideGroups];
    for (std::size_t g = 0; g < kWideGroups; ++g) {
        const double *first = a + 4 * g * n;
        s[g] = _mm256_set_pd(first[3 * n], first[2 * n], first[n], first[0]);
    }
    std::size_t k = 1;
    for (; k + 4 <= n; k += 4) {
#pragma GCC unroll 4
        for (std::size_t g = 0; g < kWideGroups; ++g) {
            const double *group = a + 4 * g * n + k;
            const __m256d v0 = _mm256_loadu_pd(group);
            const __m256d v1 = _mm256_loadu_pd(group + n);
            const __m256d v2 = _mm256_loadu_pd(group + 2 * n);
            const __m256d v3 = _mm256_loadu_pd(group + 3 * n);
            const __m256d t0 = _mm256_unpacklo_pd(v0, v1);
            const __m256d t1 = _mm256_unpackhi_pd(v0, v1);
            const __m256d t2 = _mm256_unpacklo_pd(v2, v3);
            const __m256d t3 = _mm256_unpackhi_pd(v2, v3);
            s[g] = TakeBetter<kBetter>(s[g], _mm256_permute2f128_pd(t0, t2, 0x20));
            s[g] = TakeBetter<kBetter>(s[g], _mm256_permute2f128_pd(t1, t3, 0x20));
            s[g] = TakeBetter<kBetter>(s[g], _mm256_permute2f128_pd(t0, t2, 0x31));
            s[g] = TakeBetter<kBetter>(s[g], _mm256_permute2f128_pd(t1, t3, 0x31));
        }
    }
    for (; k < n; ++k) {
        for (std::size_t g = 0; g < kWideGroups; ++g) {
            const double *x = a + 4 * g * n + k;
            s[g] = TakeBetter<kBetter>(s[g], _mm256_set_pd(x[3 * n], x[2 * n], x[n], x[0]));
        }
    }
    for (std::size_t g = 0; g < kWideGroups; ++g) _mm256_storeu_pd(out + 4 * g, s[g]);
}
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

    // Leading columns of a contiguous walk, with AVX2 when the processor has
    // it: results 0 .. done - 1, done a multiple of sixteen (0 without).
    std::size_t FoldColumnsWide(const double *a, std::size_t n, std::size_t columns) {
        std::size_t done = 0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if (HasAvx2()) {
            for (; done + kWideColumns <= columns; done += kWideColumns) {
                ExtremaOfSixteenColumns<kBetter>(a + done * n, n, m_values + done);
            }
        }
#else
        (void)a;
        (void)n;
        (void)columns;
#endif
        return done;
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

CMatrix *Max(const CMatrix *A) {
    return ReduceExtremum<ElementGt>(A, ValuesOnlyDimension(A));
}

CMatrix *Max(const CMatrix *A, unsigned int dim) {
    return ReduceExtremum<ElementGt>(A, dim);
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    ReduceExtremumWithIndex<ElementGt>(Y, I, A, TwoOutputDimension(A));
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    ReduceExtremumWithIndex<ElementGt>(Y, I, A, dim);
}

CMatrix *Max(const CMatrix *A, const CMatrix *B) {
    return BinaryArrayOp<ElementMax>(A, B);
}

CMatrix *Min(const CMatrix *A) {
    return ReduceExtremum<ElementLt>(A, ValuesOnlyDimension(A));
}

CMatrix *Min(const CMatrix *A, unsigned int dim) {
    return ReduceExtremum<ElementLt>(A, dim);
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    ReduceExtremumWithIndex<ElementLt>(Y, I, A, TwoOutputDimension(A));
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    ReduceExtremumWithIndex<ElementLt>(Y, I, A, dim);
}

CMatrix *Min(const CMatrix *A, const CMatrix *B) {
    return BinaryArrayOp<ElementMin>(A, B);
}

}  // namespace matrix
}  // namespace kiv
