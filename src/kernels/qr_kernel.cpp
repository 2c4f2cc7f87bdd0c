// src/kernels/qr_kernel.cpp: Householder QR factorisation with optional column pivoting.
#include "kernels/qr_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "kernels/mtimes_kernel.h"

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Rows of Q copied out at once while a reflection is applied: enough to
// keep the product's tiles busy, few enough for the copy to stay in L2.
constexpr std::size_t kFormQRowBlock = 128;

// Swaps column p into position k when it is the first strictly longest of
// the columns k..n-1 measured over rows k..m-1.
void PivotColumns(std::size_t m, std::size_t n, double *a, std::size_t lda, std::uint32_t *perm,
                  std::size_t k) {
    double best = 0.0;
    std::size_t p = k;
    for (std::size_t j = k; j < n; ++j) {
        const double norm = ColumnNorm(m - k, a + k + j * lda, 1);
        if (norm > best) {
            best = norm;
            p = j;
        }
    }
    if (p == k) return;
    std::swap(perm[k], perm[p]);
    std::swap_ranges(a + k * lda, a + k * lda + m, a + p * lda);
}

}  // namespace

double ColumnNorm(std::size_t count, const double *x, std::size_t stride) {
    double scale = 1.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = x[i * stride];
        if (!(t > kColumnNormCutoff || t < -kColumnNormCutoff)) continue;
        const double a = std::fabs(t);
        if (scale >= a) {
            const double q = a / scale;
            sum = sum + q * q;
        } else {
            const double q = scale / a;
            sum = sum * (q * q) + 1.0;
            scale = a;
        }
    }
    return std::sqrt(sum) * scale;
}

void HouseholderQr(std::size_t m, std::size_t n, double *a, std::size_t lda, std::uint32_t *perm,
                   double *c, double *d) {
    const std::size_t steps = m > n ? n : m - 1;
    if (perm != nullptr) {
        for (std::size_t j = 0; j < n; ++j) perm[j] = static_cast<std::uint32_t>(j);
    }

    for (std::size_t k = 0; k < steps; ++k) {
        if (perm != nullptr) PivotColumns(m, n, a, lda, perm, k);
        double *ak = a + k * lda;

        double scale = std::fabs(ak[k]);
        for (std::size_t i = k + 1; i < m; ++i) {
            const double t = std::fabs(ak[i]);
            if (t > scale) scale = t;
        }
        if (scale == 0.0) {
            // A zero column: no reflection, a zero diagonal element.
            c[k] = 0.0;
            d[k] = 0.0;
            continue;
        }

        // The Householder vector, from the column scaled to a largest
        // magnitude of 1 so that the sum of squares cannot overflow.
        double sum = 0.0;
        for (std::size_t i = k; i < m; ++i) {
            ak[i] = ak[i] / scale;
            sum = sum + ak[i] * ak[i];
        }
        double sigma = std::sqrt(sum);
        if (!(ak[k] >= 0.0)) sigma = -sigma;
        ak[k] = ak[k] + sigma;
        c[k] = ak[k] * sigma;
        d[k] = -(sigma * scale);

        // Apply the reflection to the columns on the right.
        for (std::size_t j = k + 1; j < n; ++j) {
            double *aj = a + j * lda;
            double s = 0.0;
            for (std::size_t i = k; i < m; ++i) s = s + aj[i] * ak[i];
            const double tau = s / c[k];
            for (std::size_t i = k; i < m; ++i) aj[i] = aj[i] - tau * ak[i];
        }
    }

    if (perm != nullptr && m < n) PivotColumns(m, n, a, lda, perm, m - 1);
    // The last row of a wide or square matrix needs no reflection.
    if (m <= n) d[m - 1] = a[(m - 1) + (m - 1) * lda];
}

std::size_t HouseholderFormQWorkspace(std::size_t m) {
    if (m <= 1) return 0;
    const std::size_t rows = std::min(m, kFormQRowBlock);
    return (m - 1) * (m - 1) + rows * (m - 1) + MatrixProductWorkspace(rows, m - 1, m - 1);
}

void HouseholderFormQ(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                      const double *c, double *q, std::size_t ldq, double *work) {
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t i = 0; i < m; ++i) q[i + j * ldq] = i == j ? 1.0 : 0.0;
    }
    if (m <= 1) return;

    // The first reflection updates the identity directly.
    if (std::fabs(c[0]) > kReflectionSkip) {
        const double t = -1.0 / c[0];
        for (std::size_t j = 0; j < m; ++j) {
            const double f = t * v[j];
            for (std::size_t i = 0; i < m; ++i) q[i + j * ldq] = q[i + j * ldq] + f * v[i];
        }
    }

    const std::size_t rows = std::min(m, kFormQRowBlock);
    double *w = work;
    double *copy = w + (m - 1) * (m - 1);
    double *pack = copy + rows * (m - 1);
    for (std::size_t step = 1; step < k; ++step) {
        if (!(std::fabs(c[step]) > kReflectionSkip)) continue;
        const std::size_t p = m - step;
        const double *vk = v + step + step * ldv;

        // W = I + t*v*v', built column by column.
        const double t = -1.0 / c[step];
        for (std::size_t j = 0; j < p; ++j) {
            const double f = t * vk[j];
            double *wj = w + j * p;
            for (std::size_t i = 0; i < p; ++i) {
                wj[i] = i == j ? 1.0 : 0.0;
                wj[i] = wj[i] + f * vk[i];
            }
        }

        // Q(:, step..m-1) = Q(:, step..m-1) * W, a block of rows at a time
        // through a copy of their old values.
        double *qk = q + step * ldq;
        double *packed = MatrixProductWorkspace(rows, p, p) != 0 ? pack : nullptr;
        for (std::size_t i0 = 0; i0 < m; i0 += rows) {
            const std::size_t rb = std::min(rows, m - i0);
            for (std::size_t j = 0; j < p; ++j) {
                std::copy(qk + i0 + j * ldq, qk + i0 + j * ldq + rb, copy + j * rb);
            }
            MatrixProduct(rb, p, p, copy, rb, w, p, qk + i0, ldq, packed);
        }
    }
}

void HouseholderFinishR(std::size_t m, std::size_t n, double *a, std::size_t lda, const double *d) {
    const std::size_t below = std::min(m - 1, n);
    for (std::size_t j = 0; j < below; ++j) std::fill(a + j + 1 + j * lda, a + m + j * lda, 0.0);
    const std::size_t diagonal = std::min(m, n);
    for (std::size_t i = 0; i < diagonal; ++i) a[i + i * lda] = d[i];
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
