// src/reduce/class_reductions.h: reductions of the classes other than real
// double, by way of the real double path.
//
// Private to the library. A reduction of an array that is not real double
// converts it to double (Cast: integers, char and logical exactly but for
// 64-bit integers beyond 2^53, single exactly), runs the real double
// reduction on it and converts the result to the class it keeps: an
// integer class (not for means) or single stays (integers saturate, halves
// round away from zero; single rounds once from the double result, so a
// single sum is the double sum rounded, not a sum accumulated in single),
// char and logical give double. A complex array is reduced part by part when the reduction is
// linear (sum, cumulative sum, mean); the others refuse it here with
// CNotImplementedException, and the functions that take complex arrays
// otherwise send them to complex_reductions.h first. The real double path
// never comes here.
#ifndef MATRIX_SRC_REDUCE_CLASS_REDUCTIONS_H
#define MATRIX_SRC_REDUCE_CLASS_REDUCTIONS_H

#include <matrix/cmatrix.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstring>

#include "core/array_fields.h"
#include "core/array_holder.h"

namespace kiv {
namespace matrix {
namespace reduce {

/// True for the arrays the real double reductions take as they are.
inline bool IsRealDouble(const CMatrix *A) {
    return ArrayFields::ClassID(A) == mxClassDouble && ArrayFields::Pi(A) == nullptr;
}

/// What class a converted reduction's result keeps: kNative keeps integer
/// classes and single; kSingleOnly (means) keeps single, integers give double.
enum class ResultClass { kNative, kSingleOnly };

/// The dimension check of the forms with a dim argument, made before any
/// other (as the real double path does).
inline void RequirePositiveDim(unsigned int dim) {
    if (dim == 0) throw CFunctionErrorException(L"Dimension argument must be a positive integer");
}

/// One part (real or imaginary) of a double array as a real double array.
inline ArrayHolder DoublePart(const CMatrix *D, bool imaginary) {
    ArrayHolder P(mxCreateNumericArray(D->GetNoDimensions(), D->GetDimensions(), mxClassDouble,
                                       mxComplexityReal));
    std::memcpy(P->GetPr(), imaginary ? D->GetPi() : D->GetPr(),
                std::size_t{D->GetNoElems()} * sizeof(double));
    return P;
}

/// Returns reduce(A) for an A that is not real double, as the header says;
/// `linear` says the reduction may run part by part on complex values.
template <class Reduce>
CMatrix *ReduceConverted(const CMatrix *A, Reduce reduce, bool linear, ResultClass keep) {
    ArrayHolder D(Cast(A, mxClassDouble));  // refuses cell, struct and the rest
    ArrayHolder R;
    if (D->GetPi() == nullptr) {
        R.reset(reduce(D.get()));
    } else {
        if (!linear) throw CNotImplementedException();
        ArrayHolder re(reduce(DoublePart(D.get(), false).get()));
        ArrayHolder im(reduce(DoublePart(D.get(), true).get()));
        R.reset(mxCreateNumericArray(re->GetNoDimensions(), re->GetDimensions(), mxClassDouble,
                                     mxComplexityComplex));
        const std::size_t bytes = std::size_t{re->GetNoElems()} * sizeof(double);
        std::memcpy(R->GetPr(), re->GetPr(), bytes);
        std::memcpy(R->GetPi(), im->GetPr(), bytes);
    }
    const mxClassID id = A->GetClassID();
    const bool native = id == mxClassSingle ||
                        (keep == ResultClass::kNative && id != mxClassChar && !A->IsLogical());
    if (!native || id == mxClassDouble) {
        R->ClearLogical();
        return R.release();
    }
    return Cast(R.get(), id);
}

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_REDUCE_CLASS_REDUCTIONS_H
