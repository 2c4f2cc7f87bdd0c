// src/reduce/maxmin.cpp: Max and Min along a dimension, with and without
// positions.
#include <matrix/reduce.h>

#include <matrix/exceptions.h>

#include "kernels/kernel_path.h"
#include "reduce/class_reductions.h"
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

// The values-only forms take the real arrays of the other classes through
// double, where every value but those of the 64-bit integers is exact:
// those, complex arrays and the non-numeric classes are refused.
bool ThroughDouble(const CMatrix *A) {
    if (reduce::IsRealDouble(A)) return false;
    const mxClassID id = A->GetClassID();
    if (id == mxClassInt64 || id == mxClassUint64 || A->IsComplex())
        throw CNotImplementedException();
    return true;
}

template <bool kMax>
CMatrix *Extreme(const CMatrix *D) {
    return kMax ? Max(D) : Min(D);
}

}  // namespace

CMatrix *Max(const CMatrix *A) {
    if (ThroughDouble(A))
        return reduce::ReduceConverted(A, Extreme<true>, false, reduce::ResultClass::kNative);
    return reduce::MaxAlong(A, ValuesOnlyDimension(A), kPath);
}

CMatrix *Max(const CMatrix *A, unsigned int dim) {
    reduce::RequirePositiveDim(dim);
    if (ThroughDouble(A))
        return reduce::ReduceConverted(
            A, [dim](const CMatrix *D) { return Max(D, dim); }, false,
            reduce::ResultClass::kNative);
    return reduce::MaxAlong(A, dim, kPath);
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    reduce::MaxAlong(Y, I, A, TwoOutputDimension(A), kPath);
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    reduce::MaxAlong(Y, I, A, dim, kPath);
}

CMatrix *Min(const CMatrix *A) {
    if (ThroughDouble(A))
        return reduce::ReduceConverted(A, Extreme<false>, false, reduce::ResultClass::kNative);
    return reduce::MinAlong(A, ValuesOnlyDimension(A), kPath);
}

CMatrix *Min(const CMatrix *A, unsigned int dim) {
    reduce::RequirePositiveDim(dim);
    if (ThroughDouble(A))
        return reduce::ReduceConverted(
            A, [dim](const CMatrix *D) { return Min(D, dim); }, false,
            reduce::ResultClass::kNative);
    return reduce::MinAlong(A, dim, kPath);
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    reduce::MinAlong(Y, I, A, TwoOutputDimension(A), kPath);
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    reduce::MinAlong(Y, I, A, dim, kPath);
}

}  // namespace matrix
}  // namespace kiv
