// src/reduce/cumulative.cpp: Cumsum and Cumprod along a dimension.
#include <matrix/reduce.h>

#include "core/operand_checks.h"
#include "kernels/kernel_path.h"
#include "reduce/class_reductions.h"
#include "reduce/complex_reductions.h"
#include "reduce/cumulative.h"
#include "reduce/dimension_walk.h"

namespace kiv {
namespace matrix {

namespace {

constexpr kernels::KernelPath kPath = kernels::KernelPath::kFastest;

// Sum's default dimension, so that the last element of each line is Sum's.
unsigned int DefaultDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

}  // namespace

CMatrix *Cumsum(const CMatrix *A) {
    if (!reduce::IsRealDouble(A))
        return reduce::ReduceConverted(
            A, [](const CMatrix *D) { return Cumsum(D); }, true, reduce::ResultClass::kNative);
    RequireRealDouble(A);
    return Cumsum(A, DefaultDimension(A));
}

CMatrix *Cumsum(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        return reduce::ReduceConverted(
            A, [dim](const CMatrix *D) { return Cumsum(D, dim); }, true,
            reduce::ResultClass::kNative);
    }
    return reduce::CumsumAlong(A, dim, kPath);
}

CMatrix *Cumprod(const CMatrix *A) {
    if (!reduce::IsRealDouble(A) && A->IsComplex()) return reduce::ComplexProducts(A, 0, true);
    if (!reduce::IsRealDouble(A))
        return reduce::ReduceConverted(
            A, [](const CMatrix *D) { return Cumprod(D); }, false, reduce::ResultClass::kNative);
    RequireRealDouble(A);
    return Cumprod(A, DefaultDimension(A));
}

CMatrix *Cumprod(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        if (A->IsComplex()) return reduce::ComplexProducts(A, dim, true);
        return reduce::ReduceConverted(
            A, [dim](const CMatrix *D) { return Cumprod(D, dim); }, false,
            reduce::ResultClass::kNative);
    }
    return reduce::CumprodAlong(A, dim, kPath);
}

}  // namespace matrix
}  // namespace kiv
