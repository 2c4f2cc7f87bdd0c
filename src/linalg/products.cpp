// src/linalg/products.cpp: Trace, Dot and Cross.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstddef>

#include "core/array_holder.h"
#include "linalg/class_operands.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

double Trace(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    if (!linalg::IsRealDouble(A)) {
        if (A->IsComplex())
            throw CFunctionErrorException(
                L"Trace: the trace of a complex matrix is complex; use TraceArray");
        const ArrayHolder S(linalg::TraceClasses(A));
        if (S->GetClassID() == mxClassSingle) return *static_cast<const float *>(S->GetPr());
        return *static_cast<const double *>(S->GetPr());
    }
    const std::size_t n = linalg::Rows(A);
    if (n != linalg::Columns(A)) throw CMatrixMustBeSquareException();
    const double *a = linalg::Data(A);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum = sum + a[i * n + i];
    return sum;
}

CMatrix *Dot(const CMatrix *A, const CMatrix *B) {
    linalg::RequireTwoDimensions(A);
    linalg::RequireTwoDimensions(B);
    if (!linalg::IsRealDouble(A) || !linalg::IsRealDouble(B)) return linalg::DotClasses(A, B);
    const double *a = linalg::Data(A);
    const double *b = linalg::Data(B);
    // Two vectors of one length, whatever their orientations: one sum.
    if (A->IsVector() && B->IsVector() && A->GetNoElems() == B->GetNoElems()) {
        double sum = 0.0;
        for (std::size_t i = 0; i < A->GetNoElems(); ++i) sum = sum + a[i] * b[i];
        return Scalar(sum);
    }
    if (linalg::Rows(A) != linalg::Rows(B) || linalg::Columns(A) != linalg::Columns(B)) {
        throw CMatrixDimsMustAgreeException();
    }
    // As Sum of the element-wise product: 0 for the 0x0 matrix.
    if (A->IsEmpty()) return Scalar(0.0);
    const std::size_t m = linalg::Rows(A);
    const std::size_t n = linalg::Columns(A);
    CMatrix *R = mxCreateDoubleMatrix(1, static_cast<unsigned int>(n), mxComplexityReal);
    double *r = linalg::Data(R);
    for (std::size_t j = 0; j < n; ++j) {
        double sum = 0.0;
        for (std::size_t i = 0; i < m; ++i) sum = sum + a[j * m + i] * b[j * m + i];
        r[j] = sum;
    }
    return R;
}

CMatrix *Cross(const CMatrix *A, const CMatrix *B) {
    if (!linalg::IsRealDouble(A) || !linalg::IsRealDouble(B)) return linalg::CrossClasses(A, B);
    const bool same = A->GetNoDimensions() == 2 && B->GetNoDimensions() == 2 &&
                      linalg::Rows(A) == linalg::Rows(B) &&
                      linalg::Columns(A) == linalg::Columns(B);
    if (!same || A->GetNoElems() != 3 || !A->IsVector()) {
        throw CFunctionErrorException(
            L"A and B must be of length 3 in the dimension in which the cross product is taken");
    }
    const double *a = linalg::Data(A);
    const double *b = linalg::Data(B);
    CMatrix *R = mxCreateNumericArray(2, A->GetDimensions(), mxClassDouble, mxComplexityReal);
    double *r = linalg::Data(R);
    r[0] = a[1] * b[2] - a[2] * b[1];
    r[1] = a[2] * b[0] - a[0] * b[2];
    r[2] = a[0] * b[1] - a[1] * b[0];
    return R;
}

CMatrix *TraceArray(const CMatrix *A) {
    if (linalg::IsRealDouble(A)) return Scalar(Trace(A));
    return linalg::TraceClasses(A);
}

}  // namespace matrix
}  // namespace kiv
