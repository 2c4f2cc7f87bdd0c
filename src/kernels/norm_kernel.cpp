// src/kernels/norm_kernel.cpp: vector p-norms and the matrix 1-, infinity- and Frobenius norms.
#include "kernels/norm_kernel.h"

#include <cmath>

namespace kiv {
namespace matrix {
namespace kernels {

double VectorNorm(std::size_t count, const double *x, std::size_t inc, double p) {
    if (p == 0.0) return HUGE_VAL;
    if (std::isinf(p)) {
        double best = std::fabs(x[0]);
        for (std::size_t i = 1; i < count; ++i) {
            const double t = std::fabs(x[i * inc]);
            if (p > 0.0 ? t > best : t < best) best = t;
        }
        return best;
    }
    double sum = 0.0;
    if (p == 1.0) {
        for (std::size_t i = 0; i < count; ++i) sum = sum + std::fabs(x[i * inc]);
        return sum;
    }
    for (std::size_t i = 0; i < count; ++i) sum = sum + std::pow(std::fabs(x[i * inc]), p);
    return std::pow(sum, 1.0 / p);
}

double MatrixNorm1(std::size_t m, std::size_t n, const double *a, std::size_t lda) {
    double best = 0.0;
    std::size_t j = 0;
    // Four columns at a time: four independent sums in flight rather than
    // one chain of dependent adds; each sum and the maximum keep their order.
    for (; j + 4 <= n; j += 4) {
        const double *a0 = a + j * lda;
        const double *a1 = a0 + lda;
        const double *a2 = a1 + lda;
        const double *a3 = a2 + lda;
        double sum[4] = {0.0, 0.0, 0.0, 0.0};
        for (std::size_t i = 0; i < m; ++i) {
            sum[0] = sum[0] + std::fabs(a0[i]);
            sum[1] = sum[1] + std::fabs(a1[i]);
            sum[2] = sum[2] + std::fabs(a2[i]);
            sum[3] = sum[3] + std::fabs(a3[i]);
        }
        for (double column : sum) {
            if (column > best) best = column;
        }
    }
    for (; j < n; ++j) {
        const double *aj = a + j * lda;
        double sum = 0.0;
        for (std::size_t i = 0; i < m; ++i) sum = sum + std::fabs(aj[i]);
        if (sum > best) best = sum;
    }
    return best;
}

double MatrixNormInf(std::size_t m, std::size_t n, const double *a, std::size_t lda, double *work) {
    for (std::size_t i = 0; i < m; ++i) work[i] = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        const double *aj = a + j * lda;
        for (std::size_t i = 0; i < m; ++i) work[i] = work[i] + std::fabs(aj[i]);
    }
    double best = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        if (work[i] > best) best = work[i];
    }
    return best;
}

double FrobeniusNorm(std::size_t m, std::size_t n, const double *a, std::size_t lda) {
    double sum = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        const double *aj = a + j * lda;
        for (std::size_t i = 0; i < m; ++i) sum = sum + aj[i] * aj[i];
    }
    return std::sqrt(sum);
}

double LargestMagnitude(std::size_t count, const double *w, std::size_t inc) {
    double best = w[0];
    for (std::size_t i = 1; i < count; ++i) {
        if (std::fabs(w[i * inc]) > std::fabs(best)) best = w[i * inc];
    }
    return best;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
