// src/linalg/norm.cpp: vector p-norms, the matrix 1-, 2- and infinity-norms, and the Frobenius norm.
#include <matrix/linalg.h>

#include <matrix/exceptions.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "kernels/norm_kernel.h"
#include "kernels/svd_kernel.h"
#include "linalg/linalg_common.h"
#include "linalg/typed_factor.h"

namespace kiv {
namespace matrix {

namespace {

// The largest singular value: the first of largest magnitude as
// SvdDecompose leaves them, unsorted (NaN when it gave up).
double LargestSingularValue(const double *a, std::size_t m, std::size_t n) {
    linalg::Scratch<double> w(n);
    linalg::SingularValues(m, n, a, w.Get());
    return kernels::LargestMagnitude(n, w.Get(), 1);
}

}  // namespace

double Norm(const CMatrix *A, double p) {
    linalg::RequireTwoDimensions(A);
    if (linalg::IsTypedOperand(A)) return linalg::NormTyped(A, p);
    linalg::RequireRealDouble(A);
    if (A->GetNoElems() == 0) return 0.0;
    const std::size_t m = linalg::Rows(A);
    const std::size_t n = linalg::Columns(A);
    const double *a = linalg::Data(A);
    if (m == 1 || n == 1) return kernels::VectorNorm(m * n, a, 1, p);
    if (p == 2.0) return LargestSingularValue(a, m, n);
    if (p == 1.0) return kernels::MatrixNorm1(m, n, a, m);
    if (p == HUGE_VAL) {
        linalg::Scratch<double> rows(m);
        return kernels::MatrixNormInf(m, n, a, m, rows.Get());
    }
    throw CFunctionErrorException(L"The only matrix norms available are 1, 2, inf and fro");
}

double NormFro(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    if (linalg::IsTypedOperand(A)) return linalg::NormFroTyped(A);
    linalg::RequireRealDouble(A);
    if (A->GetNoElems() == 0) return 0.0;
    return kernels::FrobeniusNorm(linalg::Rows(A), linalg::Columns(A), linalg::Data(A),
                                  linalg::Rows(A));
}

}  // namespace matrix
}  // namespace kiv
