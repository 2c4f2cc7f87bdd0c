// src/kernels/eig_single_kernel.cpp: the eigenvalues of a general real
// matrix in single: the steps of Balance, ReduceToHessenberg and
// HessenbergEigenvalues (eig_steps.h) over float.
#include <algorithm>
#include <cmath>
#include <utility>

#include "kernels/eig_kernel.h"
#include "kernels/eig_steps.h"

namespace kiv {
namespace matrix {
namespace kernels {

void Balance(std::size_t n, float *a, std::size_t lda, float *scale) {
    eig_steps::BalanceIn(n, a, lda, scale);
}

void ReduceToHessenberg(std::size_t n, float *a, std::size_t lda, std::size_t *pivot) {
    eig_steps::ReduceToHessenbergIn(n, a, lda, pivot);
}

KernelStatus HessenbergEigenvalues(std::size_t n, float *a, std::size_t lda, float *wr, float *wi) {
    return eig_steps::HessenbergEigenvaluesIn(n, a, lda, wr, wi,
                                              eig_steps::DoubleShiftSweep<float>);
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
