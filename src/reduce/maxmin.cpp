// src/reduce/maxmin.cpp: Max and Min along a dimension, with and without
// positions.
#include <matrix/reduce.h>

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>

#include "kernels/kernel_path.h"
#include "core/array_holder.h"
#include "reduce/class_order.h"
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

// The arrays that are not real double: char through double (its maxima and
// minima are doubles), every other class that holds numbers on the order of
// class_order.h in its own class. Without `I` the values alone.
template <bool kMax>
CMatrix *OtherClass(const CMatrix *A, unsigned int dim, CMatrix **I) {
    if (A->GetClassID() != mxClassChar) return reduce::ExtremeOtherClass<kMax>(A, dim, I);
    ArrayHolder D(Cast(A, mxClassDouble));
    if (I == nullptr)
        return kMax ? reduce::MaxAlong(D.get(), dim, kPath) : reduce::MinAlong(D.get(), dim, kPath);
    CMatrix *Y = nullptr;
    if (kMax) {
        reduce::MaxAlong(Y, *I, D.get(), dim, kPath);
    } else {
        reduce::MinAlong(Y, *I, D.get(), dim, kPath);
    }
    return Y;
}

// Single lines pass over their NaNs as the double folds do.
template <bool kMax>
void SkipNaNStarts(const CMatrix *A, unsigned int dim, CMatrix *Y, CMatrix *I) {
    if (A->GetClassID() == mxClassSingle && !A->IsComplex() && Y != nullptr)
        reduce::SkipNaNStarts<float, kMax>(A, dim, Y, I);
}

template <bool kMax>
CMatrix *ValuesOnly(const CMatrix *A, unsigned int dim) {
    if (!reduce::IsRealDouble(A)) {
        ArrayHolder Y(OtherClass<kMax>(A, dim, nullptr));
        SkipNaNStarts<kMax>(A, dim, Y.get(), nullptr);
        return Y.release();
    }
    return kMax ? reduce::MaxAlong(A, dim, kPath) : reduce::MinAlong(A, dim, kPath);
}

template <bool kMax>
void WithPositions(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    if (reduce::IsRealDouble(A)) {
        if (kMax) {
            reduce::MaxAlong(Y, I, A, dim, kPath);
        } else {
            reduce::MinAlong(Y, I, A, dim, kPath);
        }
        return;
    }
    reduce::RequirePositiveDim(dim);
    if (!A->IsNumeric() || A->IsSparse()) throw CNotImplementedException();
    Y = nullptr;
    I = nullptr;
    CMatrix *positions = nullptr;
    ArrayHolder values(OtherClass<kMax>(A, dim, &positions));
    SkipNaNStarts<kMax>(A, dim, values.get(), positions);
    Y = values.release();
    I = positions;
}

}  // namespace

CMatrix *Max(const CMatrix *A) { return ValuesOnly<true>(A, ValuesOnlyDimension(A)); }

CMatrix *Max(const CMatrix *A, unsigned int dim) {
    reduce::RequirePositiveDim(dim);
    return ValuesOnly<true>(A, dim);
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    WithPositions<true>(Y, I, A, TwoOutputDimension(A));
}

void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    WithPositions<true>(Y, I, A, dim);
}

CMatrix *Min(const CMatrix *A) { return ValuesOnly<false>(A, ValuesOnlyDimension(A)); }

CMatrix *Min(const CMatrix *A, unsigned int dim) {
    reduce::RequirePositiveDim(dim);
    return ValuesOnly<false>(A, dim);
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A) {
    WithPositions<false>(Y, I, A, TwoOutputDimension(A));
}

void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    WithPositions<false>(Y, I, A, dim);
}

}  // namespace matrix
}  // namespace kiv
