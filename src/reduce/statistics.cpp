// src/reduce/statistics.cpp: Mean, Var and Std along a dimension.
#include <matrix/reduce.h>

#include <matrix/construct.h>
#include <matrix/mx.h>

#include <cstddef>

#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "kernels/kernel_path.h"
#include "reduce/class_reductions.h"
#include "reduce/complex_reductions.h"
#include "reduce/dimension_walk.h"
#include "reduce/line_reductions.h"
#include "reduce/statistics.h"

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

}  // namespace

CMatrix *Mean(const CMatrix *A) {
    if (!reduce::IsRealDouble(A))
        return reduce::ReduceConverted(
            A, [](const CMatrix *D) { return Mean(D); }, true, reduce::ResultClass::kSingleOnly);
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(mxGetNaN());
    return Mean(A, DefaultDimension(A));
}

CMatrix *Mean(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        return reduce::ReduceConverted(
            A, [dim](const CMatrix *D) { return Mean(D, dim); }, true,
            reduce::ResultClass::kSingleOnly);
    }
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
    if (!reduce::IsRealDouble(A)) return reduce::SpreadOtherClass(A, 0, false);
    if (A->IsEmpty()) return Scalar(mxGetNaN());
    return Var(A, DefaultDimension(A));
}

CMatrix *Var(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        return reduce::SpreadOtherClass(A, dim, false);
    }
    return reduce::SpreadAlong(A, dim, false, kPath);
}

CMatrix *Std(const CMatrix *A) {
    if (!reduce::IsRealDouble(A)) return reduce::SpreadOtherClass(A, 0, true);
    if (A->IsEmpty()) return Scalar(mxGetNaN());
    return Std(A, DefaultDimension(A));
}

CMatrix *Std(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        return reduce::SpreadOtherClass(A, dim, true);
    }
    return reduce::SpreadAlong(A, dim, true, kPath);
}

}  // namespace matrix
}  // namespace kiv
