// src/linalg/kernels/chol_kernel.cpp: the row-oriented Cholesky factorisation R'*R = A.
#include "linalg/kernels/chol_kernel.h"

#include <cmath>

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Columns of a row of R computed together: their inner products are
// independent chains, so interleaving them keeps several multiply-add
// pipelines busy while each chain keeps its own order.
constexpr std::size_t kCholColumnBlock = 4;

}  // namespace

std::size_t CholeskyUpper(std::size_t n, const double *a, std::size_t lda, double *r,
                          std::size_t ldr) {
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = j + 1; i < n; ++i) r[i + j * ldr] = 0.0;
    }

    for (std::size_t j = 0; j < n; ++j) {
        const double *rj = r + j * ldr;

        // The diagonal: squares subtracted from the last one up.
        double x = a[j + j * lda];
        for (std::size_t k = j; k-- > 0;) x = x - rj[k] * rj[k];
        if (x < 0.0) return j + 1;
        const double d = std::sqrt(x);
        r[j + j * ldr] = d;

        // The rest of row j, inner products in increasing k.
        std::size_t i = j + 1;
        for (; i + kCholColumnBlock <= n; i += kCholColumnBlock) {
            const double *r0 = r + i * ldr;
            const double *r1 = r0 + ldr;
            const double *r2 = r1 + ldr;
            const double *r3 = r2 + ldr;
            double s0 = a[j + i * lda];
            double s1 = a[j + (i + 1) * lda];
            double s2 = a[j + (i + 2) * lda];
            double s3 = a[j + (i + 3) * lda];
            for (std::size_t k = 0; k < j; ++k) {
                const double t = rj[k];
                s0 = s0 - t * r0[k];
                s1 = s1 - t * r1[k];
                s2 = s2 - t * r2[k];
                s3 = s3 - t * r3[k];
            }
            r[j + i * ldr] = s0 / d;
            r[j + (i + 1) * ldr] = s1 / d;
            r[j + (i + 2) * ldr] = s2 / d;
            r[j + (i + 3) * ldr] = s3 / d;
        }
        for (; i < n; ++i) {
            const double *ri = r + i * ldr;
            double s = a[j + i * lda];
            for (std::size_t k = 0; k < j; ++k) s = s - rj[k] * ri[k];
            r[j + i * ldr] = s / d;
        }
    }
    return 0;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
