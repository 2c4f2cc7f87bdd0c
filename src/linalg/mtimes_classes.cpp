// src/linalg/mtimes_classes.cpp: the matrix product of complex and single matrices.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstddef>

#include "core/array_holder.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/mtimes_single.h"
#include "linalg/class_operands.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {
namespace linalg {

namespace {

// C = A*B and C ±= A*B on the element type R, with the kernels' order.
void Product(std::size_t m, std::size_t n, std::size_t k, const double *a, const double *b,
             double *c) {
    // Leading dimensions of an empty inner dimension are 1, as the kernels
    // require (m and n are not 0 here).
    kernels::MatrixProduct(m, n, k, a, m, b, k > 0 ? k : 1, c, m, kernels::PackingSpace(m, n, k));
}
void Product(std::size_t m, std::size_t n, std::size_t k, const float *a, const float *b,
             float *c) {
    kernels::MatrixProduct(m, n, k, a, m, b, k > 0 ? k : 1, c, m);
}
void Update(std::size_t m, std::size_t n, std::size_t k, const double *a, const double *b,
            double *c, kernels::UpdateSign sign) {
    kernels::MatrixProductUpdate(m, n, k, a, m, b, k > 0 ? k : 1, c, m,
                                 kernels::PackingSpace(m, n, k), sign);
}
void Update(std::size_t m, std::size_t n, std::size_t k, const float *a, const float *b, float *c,
            kernels::UpdateSign sign) {
    kernels::MatrixProductUpdate(m, n, k, a, m, b, k > 0 ? k : 1, c, m, sign);
}

// The product of split operands: every part of C is one real product,
// continued by a second when both operands are complex (see Mtimes in
// matrix/linalg.h for the order). A result whose imaginary parts are all
// zero is made real, as the element-wise arithmetic does.
template <class R>
CMatrix *SplitProduct(const CMatrix *A, const CMatrix *B, mxClassID id) {
    const std::size_t m = Rows(A), k = Columns(A), n = Columns(B);
    const R *ar = static_cast<const R *>(A->GetPr());
    const R *ai = static_cast<const R *>(A->GetPi());
    const R *br = static_cast<const R *>(B->GetPr());
    const R *bi = static_cast<const R *>(B->GetPi());
    const bool complex = ai != nullptr || bi != nullptr;
    const unsigned int dims[2] = {static_cast<unsigned int>(m), static_cast<unsigned int>(n)};
    ArrayHolder C(mxCreateNumericArray(2, dims, id, complex ? mxComplexityComplex : mxComplexityReal));
    if (m == 0 || n == 0) return C.release();
    R *cr = static_cast<R *>(C->GetPr());
    R *ci = static_cast<R *>(C->GetPi());
    Product(m, n, k, ar, br, cr);
    if (ai != nullptr && bi != nullptr) {
        Update(m, n, k, ai, bi, cr, kernels::UpdateSign::kSubtract);
        Product(m, n, k, ar, bi, ci);
        Update(m, n, k, ai, br, ci, kernels::UpdateSign::kAdd);
    } else if (ai != nullptr) {
        Product(m, n, k, ai, br, ci);
    } else if (bi != nullptr) {
        Product(m, n, k, ar, bi, ci);
    }
    if (ci != nullptr) {
        for (std::size_t i = 0; i < m * n; ++i)
            if (ci[i] != 0) return C.release();
        C->ToReal();
    }
    return C.release();
}

}  // namespace

CMatrix *MtimesClasses(const CMatrix *A, const CMatrix *B) {
    RequireFloatingClass(A, L"Mtimes");
    RequireFloatingClass(B, L"Mtimes");
    RequireTwoDimensions(A);
    RequireTwoDimensions(B);
    const mxClassID id = WorkingClass(A, B);
    if (Columns(A) != Rows(B)) {
        // An empty inner dimension on one side only is not an error.
        if (Columns(A) == 0 || Rows(B) == 0) {
            const unsigned int none[2] = {0, 0};
            return mxCreateNumericArray(2, none, id, mxComplexityReal);
        }
        throw CInnerMatrixDimsMustAgreeException();
    }
    const InClass a(A, id);
    const InClass b(B, id);
    return id == mxClassSingle ? SplitProduct<float>(a.get(), b.get(), id)
                               : SplitProduct<double>(a.get(), b.get(), id);
}

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv
