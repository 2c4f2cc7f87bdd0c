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

namespace {

// Xgeqp3's test for a column length that its update can no longer be
// trusted with: the update keeps length*sqrt(1 - (r/length)^2), which has
// lost about half the digits once the factor's square, weighed by the
// drift since the last recomputation, falls below sqrt(eps).
const double kNormUpdateLimit = std::sqrt(0x1p-52);

// A remaining column with all its entries within the cut-off has a
// ColumnNorm of 0; its updated length is at most about sqrt(rows) times
// the cut-off, so below twice that it is recomputed.
double CutoffReach(std::size_t rows) {
    return 2.0 * std::sqrt(static_cast<double>(rows)) * kColumnNormCutoff;
}

// y -= tau*x over count entries; each element independent.
void Subtract(std::size_t count, double tau, const double *x, double *y) {
    for (std::size_t i = 0; i < count; ++i) y[i] = y[i] - tau * x[i];
}

// The first strictly longest of the lengths of columns k..n-1 (from 0.0;
// column k when all are 0) moves to position k, with its length entries.
void PivotByLengths(std::size_t m, std::size_t n, double *a, std::size_t lda, std::uint32_t *perm,
                    std::size_t k, double *length, double *reference) {
    double best = 0.0;
    std::size_t p = k;
    for (std::size_t j = k; j < n; ++j) {
        if (length[j] > best) {
            best = length[j];
            p = j;
        }
    }
    if (p == k) return;
    std::swap(perm[k], perm[p]);
    std::swap(length[k], length[p]);
    std::swap(reference[k], reference[p]);
    std::swap_ranges(a + k * lda, a + k * lda + m, a + p * lda);
}

}  // namespace

double DotFast(std::size_t count, const double *x, const double *y) {
    double p[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (std::size_t l = 0; l < 8; ++l) p[l] = p[l] + x[i + l] * y[i + l];
    }
    for (std::size_t l = 0; i + l < count; ++l) p[l] = p[l] + x[i + l] * y[i + l];
    return ((p[0] + p[1]) + (p[2] + p[3])) + ((p[4] + p[5]) + (p[6] + p[7]));
}

std::size_t HouseholderQrFastWorkspace(std::size_t n) { return 2 * n; }

void HouseholderQrFast(std::size_t m, std::size_t n, double *a, std::size_t lda,
                       std::uint32_t *perm, double *c, double *d, double *work) {
    const std::size_t steps = m > n ? n : m - 1;
    double *length = work;
    double *reference = work + n;
    if (perm != nullptr) {
        for (std::size_t j = 0; j < n; ++j) {
            perm[j] = static_cast<std::uint32_t>(j);
            length[j] = ColumnNorm(m, a + j * lda, 1);
            reference[j] = length[j];
        }
    }

    for (std::size_t k = 0; k < steps; ++k) {
        if (perm != nullptr) PivotByLengths(m, n, a, lda, perm, k, length, reference);
        double *ak = a + k * lda;

        double scale = std::fabs(ak[k]);
        for (std::size_t i = k + 1; i < m; ++i) {
            const double t = std::fabs(ak[i]);
            if (t > scale) scale = t;
        }
        if (scale == 0.0) {
            c[k] = 0.0;
            d[k] = 0.0;
        } else {
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
            for (std::size_t j = k + 1; j < n; ++j) {
                double *aj = a + j * lda;
                const double tau = DotFast(m - k, aj + k, ak + k) / c[k];
                Subtract(m - k, tau, ak + k, aj + k);
            }
        }
        if (perm == nullptr) continue;

        // Row k leaves the remaining columns: shorten their lengths.
        const std::size_t rows = m - k - 1;
        for (std::size_t j = k + 1; j < n; ++j) {
            double *aj = a + j * lda;
            const double reach = CutoffReach(rows);
            if (length[j] > reach) {
                const double ratio = std::fabs(aj[k]) / length[j];
                const double left = std::max(0.0, (1.0 + ratio) * (1.0 - ratio));
                const double drift = length[j] / reference[j];
                const double updated = length[j] * std::sqrt(left);
                if (left * drift * drift > kNormUpdateLimit && updated > reach) {
                    length[j] = updated;
                    continue;
                }
            }
            length[j] = ColumnNorm(rows, aj + k + 1, 1);
            reference[j] = length[j];
        }
    }

    if (perm != nullptr && m < n) {
        for (std::size_t j = m - 1; j < n; ++j) length[j] = ColumnNorm(1, a + (m - 1) + j * lda, 1);
        PivotByLengths(m, n, a, lda, perm, m - 1, length, reference);
    }
    if (m <= n) d[m - 1] = a[(m - 1) + (m - 1) * lda];
}

void HouseholderFormQFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                          const double *c, double *q, std::size_t ldq) {
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t i = 0; i < m; ++i) q[i + j * ldq] = i == j ? 1.0 : 0.0;
    }
    // Backwards, H(step) meets a Q that is still the identity outside rows
    // and columns step+1.., so only columns step.. change.
    for (std::size_t step = k; step-- > 0;) {
        if (!(std::fabs(c[step]) > kReflectionSkip)) continue;
        const double *vk = v + step + step * ldv;
        for (std::size_t j = step; j < m; ++j) {
            double *qj = q + step + j * ldq;
            const double tau = DotFast(m - step, vk, qj) / c[step];
            Subtract(m - step, tau, vk, qj);
        }
    }
}

void HouseholderApplyQtFast(std::size_t m, std::size_t k, const double *v, std::size_t ldv,
                            const double *c, std::size_t ncols, double *b, std::size_t ldb) {
    for (std::size_t step = 0; step < k; ++step) {
        if (!(std::fabs(c[step]) > kReflectionSkip)) continue;
        const double *vk = v + step + step * ldv;
        for (std::size_t j = 0; j < ncols; ++j) {
            double *bj = b + step + j * ldb;
            const double tau = DotFast(m - step, vk, bj) / c[step];
            Subtract(m - step, tau, vk, bj);
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
