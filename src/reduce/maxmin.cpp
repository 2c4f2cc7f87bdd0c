// src/reduce/maxmin.cpp: Max and Min along a dimension, with and without
// positions.
#include <matrix/reduce.h>

#include "kernels/kernel_path.h"
#include "reduce/dimension_walk.h"
#include "reduce/line_reductions.h"

namespace kiv {
namespace matrix {

namespace {

constexpr kernels::KernelPath kPath = kernels::KernelPath::kFastest;

unsigned int ValuesOnlyDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

unsigned int TwoOutputDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kKeep);
}

}  // namespace

CMatrix *Max(const CMatrix *A) { return reduce::MaxAlong(A, ValuesOnlyDimension(A), kPath); }

CMatrix *Max(const CMatrix *A, unsigned int dim) { return reduce::MaxAlong(A, dim, kPath); }

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    reduce::MaxAlong(Y, I, A, TwoOutputDimension(A), kPath);
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    reduce::MaxAlong(Y, I, A, dim, kPath);
}

CMatrix *Min(const CMatrix *A) { return reduce::MinAlong(A, ValuesOnlyDimension(A), kPath); }

CMatrix *Min(const CMatrix *A, unsigned int dim) { return reduce::MinAlong(A, dim, kPath); }

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    reduce::MinAlong(Y, I, A, TwoOutputDimension(A), kPath);
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    reduce::MinAlong(Y, I, A, dim, kPath);
}

}  // namespace matrix
}  // namespace kiv
