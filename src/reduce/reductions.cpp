// src/reduce/reductions.cpp: Sum, Prod, All and Any along a dimension.
#include <matrix/reduce.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstddef>
#include <memory>

#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "reduce/dimension_walk.h"
#include "reduce/wide_columns.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kiv {
namespace matrix {

namespace {

// Line policies (see dimension_walk.h). The states live in the result's
// data between elements.

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

#if defined(MATRIX_HAVE_AVX2_PATHS)
// The same folds, four lines at a time (see reduce/wide_columns.h).
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
#endif

template <class Operation>
class FoldLine {
public:
    using State = double;
    // Eight chains in flight cover the latency of an add or a multiply at
    // two operations per cycle.
    static constexpr std::size_t kLanes = 8;
    static constexpr bool kCanStop = false;

    explicit FoldLine(double *out) : m_out(out) {}
    // Identity first, so that a line [-0] sums to +0 as the in-order loop
    // gives it.
    State Begin(double x) const { return Operation::Apply(Operation::kIdentity, x); }
    State Step(State s, double x, std::size_t) const { return Operation::Apply(s, x); }
    bool Decided(State) const { return false; }
    State Empty() const { return Operation::kIdentity; }
    State Load(std::size_t r) const { return m_out[r]; }
    void Store(std::size_t r, State s) { m_out[r] = s; }

    std::size_t FoldColumnsWide(const double *a, std::size_t n, std::size_t columns) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
        return reduce::FoldColumnsWide<WideFold<Operation>>(a, n, columns, m_out);
#else
        return reduce::FoldColumnsWide<void>(a, n, columns, m_out);
#endif
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

// What a reduction along a dimension beyond the last returns.
enum class BeyondLast {
    kShare,    // the array itself, sharing its data (Sum, Prod)
    kEachOne,  // each element reduced on its own, logical (All, Any)
};

// A reduction along the 1-based dimension `dim`: checks, the result with
// dimension dim set to 1, then one walk of the lines.
template <class Policy, bool kLogical, BeyondLast kBeyond>
CMatrix *ReduceAlong(const CMatrix *A, unsigned int dim) {
    reduce::RequireDimension(dim);
    RequireRealDouble(A);
    if (kBeyond == BeyondLast::kShare && dim > A->GetNoDimensions()) {
        return A->CreateShareArray();
    }

    const reduce::ReducedDims dims(A, dim, reduce::EmptyDimension::kBecomesOne);
    ArrayHolder R(mxCreateNumericArray(dims.Count(), dims.Data(), mxClassDouble, mxComplexityReal));
    if (kLogical) R->SetLogical();
    if (R->GetNoElems() == 0) return R.release();

    Policy policy(static_cast<double *>(R->GetPr()));
    reduce::WalkLines(static_cast<const double *>(A->GetPr()), reduce::SplitAround(A, dim), policy);
    return R.release();
}

using SumLine = FoldLine<Addition>;
using ProdLine = FoldLine<Multiplication>;
using AllLine = TestLine<true>;
using AnyLine = TestLine<false>;

unsigned int DefaultDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

}  // namespace

CMatrix *Sum(const CMatrix *A) {
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(0.0);
    return Sum(A, DefaultDimension(A));
}

CMatrix *Sum(const CMatrix *A, unsigned int dim) {
    return ReduceAlong<SumLine, false, BeyondLast::kShare>(A, dim);
}

CMatrix *Prod(const CMatrix *A) {
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(1.0);
    return Prod(A, DefaultDimension(A));
}

CMatrix *Prod(const CMatrix *A, unsigned int dim) {
    return ReduceAlong<ProdLine, false, BeyondLast::kShare>(A, dim);
}

CMatrix *All(const CMatrix *A) { return All(A, DefaultDimension(A)); }

CMatrix *All(const CMatrix *A, unsigned int dim) {
    return ReduceAlong<AllLine, true, BeyondLast::kEachOne>(A, dim);
}

CMatrix *Any(const CMatrix *A) { return Any(A, DefaultDimension(A)); }

CMatrix *Any(const CMatrix *A, unsigned int dim) {
    return ReduceAlong<AnyLine, true, BeyondLast::kEachOne>(A, dim);
}

}  // namespace matrix
}  // namespace kiv
