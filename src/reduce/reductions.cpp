// src/reduce/reductions.cpp: Sum, Prod, All and Any along a dimension.
#include <matrix/reduce.h>

#include <matrix/construct.h>

#include "core/operand_checks.h"
#include "kernels/kernel_path.h"
#include "reduce/class_reductions.h"
#include "reduce/complex_reductions.h"
#include "reduce/dimension_walk.h"
#include "reduce/line_reductions.h"

namespace kiv {
namespace matrix {

namespace {

constexpr kernels::KernelPath kPath = kernels::KernelPath::kFastest;

unsigned int DefaultDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

}  // namespace

CMatrix *Sum(const CMatrix *A) {
    if (!reduce::IsRealDouble(A))
        return reduce::ReduceConverted(
            A, [](const CMatrix *D) { return Sum(D); }, true, reduce::ResultClass::kNative);
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(0.0);
    return Sum(A, DefaultDimension(A));
}

CMatrix *Sum(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        return reduce::ReduceConverted(
            A, [dim](const CMatrix *D) { return Sum(D, dim); }, true, reduce::ResultClass::kNative);
    }
    return reduce::SumAlong(A, dim, kPath);
}

CMatrix *Prod(const CMatrix *A) {
    if (!reduce::IsRealDouble(A) && A->IsComplex()) return reduce::ComplexProducts(A, 0, false);
    if (!reduce::IsRealDouble(A))
        return reduce::ReduceConverted(
            A, [](const CMatrix *D) { return Prod(D); }, false, reduce::ResultClass::kNative);
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(1.0);
    return Prod(A, DefaultDimension(A));
}

CMatrix *Prod(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        if (A->IsComplex()) return reduce::ComplexProducts(A, dim, false);
        return reduce::ReduceConverted(
            A, [dim](const CMatrix *D) { return Prod(D, dim); }, false,
            reduce::ResultClass::kNative);
    }
    return reduce::ProdAlong(A, dim, kPath);
}

CMatrix *All(const CMatrix *A) {
    if (!reduce::IsRealDouble(A)) return All(ArrayHolder(Ne(A, 0.0)).get());
    return All(A, DefaultDimension(A));
}

CMatrix *All(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        return All(ArrayHolder(Ne(A, 0.0)).get(), dim);
    }
    return reduce::AllAlong(A, dim, kPath);
}

CMatrix *Any(const CMatrix *A) {
    if (!reduce::IsRealDouble(A)) return Any(ArrayHolder(Ne(A, 0.0)).get());
    return Any(A, DefaultDimension(A));
}

CMatrix *Any(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        reduce::RequirePositiveDim(dim);
        return Any(ArrayHolder(Ne(A, 0.0)).get(), dim);
    }
    return reduce::AnyAlong(A, dim, kPath);
}

}  // namespace matrix
}  // namespace kiv
