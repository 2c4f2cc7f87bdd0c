// src/linalg/kernels/chol_kernel.cpp: the row-oriented Cholesky factorisation R'*R = A.
#include "linalg/kernels/chol_kernel.h"

#include <cmath>

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Columns of a row of R computed together: their inner products are
// independent chains, so interleaving them keeps several multiply and
// subtract pipelines busy while each chain keeps its own order.
constexpr std::size_t kCholColumnBlock = 4;

// x = a - r[j-1]^2 - r[j-2]^2 - ... - r[0]^2, from the last square up.
inline double DiagonalRemainder(double a, const double *r, std::size_t j) {
    double x = a;
    for (std::size_t k = j; k-- > 0;) x = x - r[k] * r[k];
    return x;
}

// R(j,i) for i = first..n-1: (A(j,i) - R(0,j)*R(0,i) - ... -
// R(j-1,j)*R(j-1,i)) / d, products subtracted in increasing k.
void RowTail(std::size_t n, const double *a, std::size_t lda, double *r, std::size_t ldr,
             std::size_t j, std::size_t first, double d) {
    const double *rj = r + j * ldr;
    std::size_t i = first;
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

// Rows j and j+1 at once for the columns i >= j+2: both inner products
// share the loads of R(k,i), and row j+1 takes its last term, k = j, from
// the element of row j just computed, as its increasing order requires.
void RowPairTail(std::size_t n, const double *a, std::size_t lda, double *r, std::size_t ldr,
                 std::size_t j, double d0, double d1) {
    const double *rj = r + j * ldr;
    const double *rj1 = rj + ldr;
    const double link = rj1[j];  // R(j, j+1)
    std::size_t i = j + 2;
    for (; i + kCholColumnBlock <= n; i += kCholColumnBlock) {
        double *r0 = r + i * ldr;
        double *r1 = r0 + ldr;
        double *r2 = r1 + ldr;
        double *r3 = r2 + ldr;
        double s0 = a[j + i * lda], t0 = a[j + 1 + i * lda];
        double s1 = a[j + (i + 1) * lda], t1 = a[j + 1 + (i + 1) * lda];
        double s2 = a[j + (i + 2) * lda], t2 = a[j + 1 + (i + 2) * lda];
        double s3 = a[j + (i + 3) * lda], t3 = a[j + 1 + (i + 3) * lda];
        for (std::size_t k = 0; k < j; ++k) {
            const double u = rj[k];
            const double v = rj1[k];
            s0 = s0 - u * r0[k];
            t0 = t0 - v * r0[k];
            s1 = s1 - u * r1[k];
            t1 = t1 - v * r1[k];
            s2 = s2 - u * r2[k];
            t2 = t2 - v * r2[k];
            s3 = s3 - u * r3[k];
            t3 = t3 - v * r3[k];
        }
        r0[j] = s0 / d0;
        r1[j] = s1 / d0;
        r2[j] = s2 / d0;
        r3[j] = s3 / d0;
        r0[j + 1] = (t0 - link * r0[j]) / d1;
        r1[j + 1] = (t1 - link * r1[j]) / d1;
        r2[j + 1] = (t2 - link * r2[j]) / d1;
        r3[j + 1] = (t3 - link * r3[j]) / d1;
    }
    for (; i < n; ++i) {
        double *ri = r + i * ldr;
        double s = a[j + i * lda];
        double t = a[j + 1 + i * lda];
        for (std::size_t k = 0; k < j; ++k) {
            s = s - rj[k] * ri[k];
            t = t - rj1[k] * ri[k];
        }
        ri[j] = s / d0;
        ri[j + 1] = (t - link * ri[j]) / d1;
    }
}

}  // namespace

std::size_t CholeskyUpper(std::size_t n, const double *a, std::size_t lda, double *r,
                          std::size_t ldr) {
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = j + 1; i < n; ++i) r[i + j * ldr] = 0.0;
    }

    std::size_t j = 0;
    for (; j + 2 <= n; j += 2) {
        // Row j's diagonal and its element in column j+1, then row j+1's
        // diagonal, which needs that element; the rest of both rows after.
        double *rj = r + j * ldr;
        double *rj1 = rj + ldr;
        const double x0 = DiagonalRemainder(a[j + j * lda], rj, j);
        if (x0 < 0.0) return j + 1;
        const double d0 = std::sqrt(x0);
        rj[j] = d0;
        double s = a[j + (j + 1) * lda];
        for (std::size_t k = 0; k < j; ++k) s = s - rj[k] * rj1[k];
        rj1[j] = s / d0;
        const double x1 = DiagonalRemainder(a[j + 1 + (j + 1) * lda], rj1, j + 1);
        if (x1 < 0.0) {
            // Row j is complete before the failure is reported.
            RowTail(n, a, lda, r, ldr, j, j + 2, d0);
            return j + 2;
        }
        const double d1 = std::sqrt(x1);
        rj1[j + 1] = d1;
        RowPairTail(n, a, lda, r, ldr, j, d0, d1);
    }
    if (j < n) {
        const double x = DiagonalRemainder(a[j + j * lda], r + j * ldr, j);
        if (x < 0.0) return j + 1;
        r[j + j * ldr] = std::sqrt(x);
    }
    return 0;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
