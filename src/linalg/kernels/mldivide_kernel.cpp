// src/linalg/kernels/mldivide_kernel.cpp: elimination, back substitution, QR solve.
#include "linalg/kernels/mldivide_kernel.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Adds f(i)*t to y(i) for rows i in [from, n) of one column, where f(i) =
// -column(i) and rows whose f(i) is 0.0 are left alone (so that an infinite
// or NaN t does not reach them). Written as a select so that it vectorises.
void EliminateColumn(std::size_t from, std::size_t n, const double *column, double t, double *y) {
    for (std::size_t i = from; i < n; ++i) {
        const double f = -column[i];
        const double updated = y[i] + f * t;
        y[i] = f != 0.0 ? updated : y[i];
    }
}

}  // namespace

void BackSubstitute(std::size_t n, const double *u, std::size_t ldu, const double *b,
                    std::size_t incb, double *x, std::size_t incx) {
    if (n == 0) return;
    // x(i) holds the running sum s(i) until row i is solved.
    for (std::size_t i = 0; i + 1 < n; ++i) x[i * incx] = 0.0;
    for (std::size_t q = n; q-- > 0;) {
        const double *uq = u + q * ldu;
        const double xq =
            q + 1 == n ? b[q * incb] / uq[q] : (b[q * incb] - x[q * incx]) / uq[q];
        x[q * incx] = xq;
        for (std::size_t i = 0; i < q; ++i) x[i * incx] = x[i * incx] + uq[i] * xq;
    }
}

void GaussSolve(std::size_t n, std::size_t k, double *a, std::size_t lda, double *b,
                std::size_t ldb, double *x, std::size_t ldx) {
    for (std::size_t j = 0; j < n; ++j) {
        double *aj = a + j * lda;

        // First largest magnitude at or below the diagonal.
        std::size_t p = j;
        double big = std::fabs(aj[j]);
        for (std::size_t i = j + 1; i < n; ++i) {
            const double t = std::fabs(aj[i]);
            if (t > big) {
                big = t;
                p = i;
            }
        }
        if (p != j) {
            for (std::size_t c = j; c < n; ++c) std::swap(a[j + c * lda], a[p + c * lda]);
            for (std::size_t c = 0; c < k; ++c) std::swap(b[j + c * ldb], b[p + c * ldb]);
        }

        // Scale the pivot row to a unit diagonal.
        const double piv = aj[j] == 0.0 ? kGaussZeroPivot : aj[j];
        const double r = 1.0 / piv;
        aj[j] = 1.0;
        if (r != 1.0) {
            for (std::size_t c = j + 1; c < n; ++c) a[j + c * lda] = a[j + c * lda] * r;
            for (std::size_t c = 0; c < k; ++c) b[j + c * ldb] = b[j + c * ldb] * r;
        }

        // Eliminate below the pivot, column by column: every element gets
        // the one update of this step that the row-by-row text gives it.
        for (std::size_t c = j + 1; c < n; ++c) {
            double *ac = a + c * lda;
            EliminateColumn(j + 1, n, aj, ac[j], ac);
        }
        for (std::size_t c = 0; c < k; ++c) {
            double *bc = b + c * ldb;
            EliminateColumn(j + 1, n, aj, bc[j], bc);
        }
        for (std::size_t i = j + 1; i < n; ++i) aj[i] = 0.0;
    }

    for (std::size_t c = 0; c < k; ++c) BackSubstitute(n, a, lda, b + c * ldb, 1, x + c * ldx, 1);
}

std::size_t TriangularRank(std::size_t count, const double *r, std::size_t ldr, double tol) {
    std::size_t rank = 0;
    while (rank < count && std::fabs(r[rank + rank * ldr]) > tol) ++rank;
    return rank;
}

void QrSolve(std::size_t m, std::size_t n, std::size_t k, std::size_t rank, const double *q,
             std::size_t ldq, const double *r, std::size_t ldr, const double *b, std::size_t ldb,
             double *x, std::size_t ldx, double *y) {
    for (std::size_t j = 0; j < k; ++j) {
        // Only the first rank entries of y = Q'*b reach the solution.
        const double *bj = b + j * ldb;
        for (std::size_t i = 0; i < rank; ++i) {
            const double *qi = q + i * ldq;
            double s = 0.0;
            for (std::size_t p = 0; p < m; ++p) s = s + bj[p] * qi[p];
            y[i] = s;
        }
        double *xj = x + j * ldx;
        for (std::size_t i = rank; i < n; ++i) xj[i] = 0.0;
        BackSubstitute(rank, r, ldr, y, 1, xj, 1);
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
