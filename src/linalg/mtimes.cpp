// src/linalg/mtimes.cpp: the matrix product A*B.
#include <matrix/linalg.h>

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include "core/array_holder.h"
#include "kernels/mtimes_kernel.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

CMatrix *Mtimes(const CMatrix *A, const CMatrix *B) {
    // The class test comes first, so that a complex or single scalar is
    // refused too.
    linalg::RequireRealDouble(A);
    linalg::RequireRealDouble(B);
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

}  // namespace matrix
}  // namespace kiv
