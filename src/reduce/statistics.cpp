// src/reduce/statistics.cpp: Mean, Var and Std along a dimension.
#include <matrix/reduce.h>

#include <matrix/construct.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>

#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "kernels/kernel_path.h"
#include "reduce/dimension_walk.h"
#include "reduce/line_reductions.h"

namespace kiv {
namespace matrix {

namespace {

constexpr kernels::KernelPath kPath = kernels::KernelPath::kFastest;

unsigned int DefaultDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

// The length of the lines along `dim`; 1 beyond the last dimension.
std::size_t LineLength(const CMatrix *A, unsigned int dim) {
    return dim > A->GetNoDimensions() ? 1 : A->GetDimensions()[dim - 1];
}

// The variance of one line of n >= 1 elements at `stride`: the mean as Mean
// gives it (the in-order sum from 0.0, then one division by n), then the
// in-order sum from 0.0 of the squared deviations, over n - 1 (over 1 when
// n is 1).
double LineVariance(const double *x, std::size_t stride, std::size_t n) {
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) sum = sum + x[k * stride];
    const double mean = sum / static_cast<double>(n);
    double squares = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double d = x[k * stride] - mean;
        squares = squares + d * d;
    }
    return squares / static_cast<double>(n > 1 ? n - 1 : 1);
}

// Var (kRoot false) or Std (true) of A along `dim`.
template <bool kRoot>
CMatrix *Spread(const CMatrix *A, unsigned int dim) {
    reduce::RequireDimension(dim);
    RequireRealDouble(A);
    const reduce::ReducedDims dims(A, dim, reduce::EmptyDimension::kBecomesOne);
    ArrayHolder R(mxCreateNumericArray(dims.Count(), dims.Data(), mxClassDouble, mxComplexityReal));
    const std::size_t count = R->GetNoElems();
    if (count == 0) return R.release();

    const reduce::DimensionSplit split = reduce::SplitAround(A, dim);
    const double *a = static_cast<const double *>(A->GetPr());
    double *r = static_cast<double *>(R->GetPr());
    for (std::size_t o = 0; o < split.after; ++o) {
        for (std::size_t p = 0; p < split.before; ++p) {
            double v = mxGetNaN();
            if (split.n > 0)
                v = LineVariance(a + o * split.before * split.n + p, split.before, split.n);
            r[o * split.before + p] = kRoot ? std::sqrt(v) : v;
        }
    }
    return R.release();
}

}  // namespace

CMatrix *Mean(const CMatrix *A) {
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(mxGetNaN());
    return Mean(A, DefaultDimension(A));
}

CMatrix *Mean(const CMatrix *A, unsigned int dim) {
    ArrayHolder R(reduce::SumAlong(A, dim, kPath));
    const std::size_t n = LineLength(A, dim);
    // Beyond the last dimension the sums are A itself, shared, and the
    // division by 1 would change no element.
    if (n == 1) return R.release();
    double *r = static_cast<double *>(R->GetPr());
    const double length = static_cast<double>(n);
    for (std::size_t i = 0; i < R->GetNoElems(); ++i) r[i] = r[i] / length;
    return R.release();
}

CMatrix *Var(const CMatrix *A) {
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(mxGetNaN());
    return Var(A, DefaultDimension(A));
}

CMatrix *Var(const CMatrix *A, unsigned int dim) { return Spread<false>(A, dim); }

CMatrix *Std(const CMatrix *A) {
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(mxGetNaN());
    return Std(A, DefaultDimension(A));
}

CMatrix *Std(const CMatrix *A, unsigned int dim) { return Spread<true>(A, dim); }

}  // namespace matrix
}  // namespace kiv
