// src/reduce/complex_reductions.cpp: products of complex arrays, and Var and
// Std of the classes other than real double.
#include "reduce/complex_reductions.h"

#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/reduce.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <utility>

#include "core/array_holder.h"
#include "kernels/scalar_types.h"
#include "reduce/class_reductions.h"
#include "reduce/dimension_walk.h"

namespace kiv {
namespace matrix {
namespace reduce {

namespace {

unsigned int DimensionOf(const CMatrix *A, unsigned int dim) {
    return dim != 0 ? dim : DefaultDimension(A, LeadingOnes::kSkip);
}

// A double result in the class a reduction of A keeps: single for single.
CMatrix *InClassOf(const CMatrix *A, ArrayHolder R) {
    if (A->GetClassID() == mxClassSingle) return Cast(R.get(), mxClassSingle);
    return R.release();
}

}  // namespace

CMatrix *ComplexProducts(const CMatrix *A, unsigned int dim, bool cumulative) {
    if (dim != 0 && dim > A->GetNoDimensions()) return A->CreateShareArray();
    ArrayHolder D(Cast(A, mxClassDouble));
    if (dim == 0 && !cumulative && A->IsEmpty()) return InClassOf(A, ArrayHolder(Scalar(1.0)));
    dim = DimensionOf(A, dim);
    const ReducedDims reduced(A, dim, EmptyDimension::kBecomesOne);
    ArrayHolder R(cumulative ? mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(),
                                                    mxClassDouble, mxComplexityComplex)
                             : mxCreateNumericArray(reduced.Count(), reduced.Data(), mxClassDouble,
                                                    mxComplexityComplex));
    if (R->GetNoElems() != 0) {
        const DimensionSplit split = SplitAround(A, dim);
        const double *xr = mxGetPr(D.get());
        const double *xi = mxGetPi(D.get());
        double *rr = mxGetPr(R.get());
        double *ri = mxGetPi(R.get());
        std::size_t line = 0;
        for (std::size_t o = 0; o < split.after; ++o) {
            for (std::size_t p = 0; p < split.before; ++p, ++line) {
                const std::size_t first = o * split.before * split.n + p;
                std::complex<double> s(1.0, 0.0);
                for (std::size_t k = 0; k < split.n; ++k) {
                    const std::size_t at = first + k * split.before;
                    s = kernels::Mul(s, std::complex<double>(xr[at], xi[at]));
                    if (cumulative) {
                        rr[at] = s.real();
                        ri[at] = s.imag();
                    }
                }
                if (!cumulative) {
                    rr[line] = s.real();
                    ri[line] = s.imag();
                }
            }
        }
    }
    return InClassOf(A, std::move(R));
}

CMatrix *SpreadOtherClass(const CMatrix *A, unsigned int dim, bool root) {
    const mxClassID id = A->GetClassID();
    if (id != mxClassDouble && id != mxClassSingle && A->IsNumeric() && !A->IsSparse())
        throw CFunctionErrorException(root ? L"Std: the argument must be double or single"
                                           : L"Var: the argument must be double or single");
    ArrayHolder D(Cast(A, mxClassDouble));  // refuses cell, struct and the rest
    if (D->GetPi() == nullptr) {
        if (dim == 0) return InClassOf(A, ArrayHolder(root ? Std(D.get()) : Var(D.get())));
        return InClassOf(A, ArrayHolder(root ? Std(D.get(), dim) : Var(D.get(), dim)));
    }
    if (dim == 0 && A->IsEmpty()) return InClassOf(A, ArrayHolder(Scalar(mxGetNaN())));
    dim = DimensionOf(A, dim);
    const ReducedDims reduced(A, dim, EmptyDimension::kBecomesOne);
    ArrayHolder R(
        mxCreateNumericArray(reduced.Count(), reduced.Data(), mxClassDouble, mxComplexityReal));
    if (R->GetNoElems() != 0) {
        const DimensionSplit split = SplitAround(A, dim);
        const double *xr = mxGetPr(D.get());
        const double *xi = mxGetPi(D.get());
        double *r = mxGetPr(R.get());
        const std::size_t n = split.n;
        std::size_t line = 0;
        for (std::size_t o = 0; o < split.after; ++o) {
            for (std::size_t p = 0; p < split.before; ++p, ++line) {
                const std::size_t first = o * split.before * n + p;
                double sr = 0.0, si = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    sr = sr + xr[first + k * split.before];
                    si = si + xi[first + k * split.before];
                }
                const double mr = sr / static_cast<double>(n);
                const double mi = si / static_cast<double>(n);
                double squares = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    const double dr = xr[first + k * split.before] - mr;
                    const double di = xi[first + k * split.before] - mi;
                    squares = squares + (dr * dr + di * di);
                }
                const double v = squares / static_cast<double>(n > 1 ? n - 1 : 1);
                r[line] = root ? std::sqrt(v) : v;
            }
        }
    }
    return InClassOf(A, std::move(R));
}

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv
