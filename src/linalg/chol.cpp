// src/linalg/chol.cpp: the Cholesky factorisation, reporting or throwing on a matrix that is not positive definite.
#include <matrix/linalg.h>

#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstddef>

#include "core/array_holder.h"
#include "kernels/chol_kernel.h"
#include "linalg/linalg_common.h"
#include "linalg/typed_factor.h"

namespace kiv {
namespace matrix {

CMatrix *Chol(const CMatrix *A, bool &ok) {
    ok = true;
    // Any empty operand, whatever its shape, class or dimensions, comes
    // first; an N-d array is "not square", not an N-d error.
    if (A->GetNoElems() == 0) return mxCreateDoubleMatrix(0, 0, mxComplexityReal);
    if (A->GetNoDimensions() > 2 || linalg::Rows(A) != linalg::Columns(A)) {
        throw CMatrixMustBeSquareException();
    }
    if (A->GetClassID() != mxClassDouble && A->GetClassID() != mxClassSingle) {
        throw COperationNotDefinedOnClassException(A);
    }
    if (linalg::IsTypedOperand(A)) return linalg::CholTyped(A, ok);

    const std::size_t n = linalg::Rows(A);
    ArrayHolder R(mxCreateDoubleMatrix(n, n, mxComplexityReal));
    {
        // The kernel clears the lower triangle, which Finish moves too.
        const linalg::WorkingMatrix r(R.get(), n, n);
        ok = kernels::CholeskyUpper(n, linalg::Data(A), n, r.Data(), r.Ld()) == 0;
        if (ok) r.Finish();
    }
    if (!ok) R.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
    return R.release();
}

CMatrix *Chol(const CMatrix *A) {
    bool ok;
    ArrayHolder R(Chol(A, ok));
    if (!ok) {
        R.reset();
        throw CFunctionErrorException(L"Matrix must be positive definite");
    }
    return R.release();
}

}  // namespace matrix
}  // namespace kiv
