// src/reduce/reductions.cpp: Sum, Prod, All and Any along a dimension.
#include <matrix/reduce.h>

#include <matrix/construct.h>

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

}  // namespace

CMatrix *Sum(const CMatrix *A) {
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(0.0);
    return Sum(A, DefaultDimension(A));
}

CMatrix *Sum(const CMatrix *A, unsigned int dim) { return reduce::SumAlong(A, dim, kPath); }

CMatrix *Prod(const CMatrix *A) {
    RequireRealDouble(A);
    if (A->IsEmpty()) return Scalar(1.0);
    return Prod(A, DefaultDimension(A));
}

CMatrix *Prod(const CMatrix *A, unsigned int dim) { return reduce::ProdAlong(A, dim, kPath); }

CMatrix *All(const CMatrix *A) { return All(A, DefaultDimension(A)); }

CMatrix *All(const CMatrix *A, unsigned int dim) { return reduce::AllAlong(A, dim, kPath); }

CMatrix *Any(const CMatrix *A) { return Any(A, DefaultDimension(A)); }

CMatrix *Any(const CMatrix *A, unsigned int dim) { return reduce::AnyAlong(A, dim, kPath); }

}  // namespace matrix
}  // namespace kiv
