// src/linalg/mtimes.cpp: the matrix product A*B and the matrix power A^B.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>

#include "core/array_holder.h"
#include "kernels/mtimes_kernel.h"
#include "linalg/class_operands.h"
#include "linalg/dense.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

CMatrix *Mtimes(const CMatrix *A, const CMatrix *B) {
    // A one-element operand of another class makes the product element-wise,
    // where every class computes (an integer matrix times a scalar); other
    // classes' products of two matrices have their own path.
    if (!(linalg::IsRealDouble(A) && linalg::IsRealDouble(B))) {
        if (A->GetNoElems() == 1 || B->GetNoElems() == 1) return Times(A, B);
        return linalg::MtimesClasses(A, B);
    }
    if (A->GetNoElems() == 1) return Times(mxGetScalar(A), B);
    if (B->GetNoElems() == 1) return Times(A, mxGetScalar(B));
    linalg::RequireTwoDimensions(A);
    linalg::RequireTwoDimensions(B);

    const unsigned int m = linalg::Rows(A);
    const unsigned int k = linalg::Columns(A);
    const unsigned int n = linalg::Columns(B);
    if (k != linalg::Rows(B)) {
        // An empty inner dimension on one side only is not an error.
        if (k == 0 || linalg::Rows(B) == 0) return mxCreateDoubleMatrix(0, 0, mxComplexityReal);
        throw CInnerMatrixDimsMustAgreeException();
    }

    ArrayHolder C(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    // Leading dimensions of empty operands are 1, as the kernel requires.
    kernels::MatrixProduct(m, n, k, linalg::Data(A), m > 0 ? m : 1, linalg::Data(B), k > 0 ? k : 1,
                           linalg::Data(C.get()), m > 0 ? m : 1, kernels::PackingSpace(m, n, k));
    return C.release();
}

CMatrix *Mpower(const CMatrix *A, const CMatrix *B) {
    // Two scalars of any classes: the element-wise power, with its class rules.
    if (A->GetNoElems() == 1 && B->GetNoElems() == 1) return Power(A, B);
    const bool classes = A->GetClassID() != mxClassDouble || B->GetClassID() != mxClassDouble ||
                         A->IsComplex() || B->IsComplex();
    const bool ok = A->GetClassID() != mxClassCell && A->GetClassID() != mxClassStruct &&
                    B->GetClassID() != mxClassCell && B->GetClassID() != mxClassStruct;
    if (classes && ok) return linalg::MpowerGeneral(A, B);
    linalg::RequireRealDouble(A);
    linalg::RequireRealDouble(B);
    linalg::RequireTwoDimensions(A);
    linalg::RequireTwoDimensions(B);
    if (B->GetNoElems() != 1 && A->GetNoElems() == 1) return linalg::MpowerGeneral(A, B);
    if (B->GetNoElems() != 1)
        throw CFunctionErrorException(
            L"Mpower: the exponent must be a scalar; a matrix exponent is not supported");
    const unsigned int n = linalg::Rows(A);
    if (n != linalg::Columns(A)) throw CMatrixMustBeSquareException();
    const double p = linalg::Data(B)[0];
    if (!std::isfinite(p) || p != std::trunc(p)) return linalg::MpowerGeneral(A, B);
    if (p == 0) return Eye(n);

    // Repeated squaring over the bits of |p|, lowest first: R collects the
    // powers X = base^(2^k) of the set bits, X is squared between bits.
    ArrayHolder X(p < 0 ? Inv(A) : mxDuplicateArray(A));
    ArrayHolder R;
    for (double rest = std::fabs(p);;) {
        const double half = std::floor(rest / 2);
        if (rest - 2 * half != 0) R.reset(R ? Mtimes(R.get(), X.get()) : mxDuplicateArray(X.get()));
        rest = half;
        if (rest == 0) break;
        X.reset(Mtimes(X.get(), X.get()));
    }
    return R.release();
}

}  // namespace matrix
}  // namespace kiv
