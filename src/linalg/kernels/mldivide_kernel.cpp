// src/linalg/kernels/mldivide_kernel.cpp: elimination, back substitution, QR solve.
#include "linalg/kernels/mldivide_kernel.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// Adds f(i)*t to y(i) for rows i in [from, n) of one column; rows whose
// f(i) is 0.0 are left alone (so that an infinite or NaN t does not reach
// them). Written as a select so that it vectorises.
void AddMultiples(std::size_t from, std::size_t n, const double *f, double t, double *y) {
    for (std::size_t i = from; i < n; ++i) {
        const double updated = y[i] + f[i] * t;
        y[i] = f[i] != 0.0 ? updated : y[i];
    }
}

// The pivot row and the reciprocal pivot of one elimination step.
struct GaussStep {
    std::size_t p;
    double r;
};

// Step j of the elimination on A alone: the interchange, the scaling of
// row j to a unit diagonal, and the elimination below it, leaving the
// multipliers f(i) = -A(i,j) in column j below the diagonal.
GaussStep EliminateStep(std::size_t n, std::size_t j, double *a, std::size_t lda) {
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
    }

    // Scale the pivot row to a unit diagonal.
    const double piv = aj[j] == 0.0 ? kGaussZeroPivot : aj[j];
    const double r = 1.0 / piv;
    aj[j] = 1.0;
    if (r != 1.0) {
        for (std::size_t c = j + 1; c < n; ++c) a[j + c * lda] = a[j + c * lda] * r;
    }

    // Eliminate below the pivot, column by column: every element gets the
    // one update of this step that the row-by-row text gives it.
    for (std::size_t i = j + 1; i < n; ++i) aj[i] = -aj[i];
    for (std::size_t c = j + 1; c < n; ++c) {
        double *ac = a + c * lda;
        AddMultiples(j + 1, n, aj, ac[j], ac);
    }
    return {p, r};
}

// Step j on the right-hand sides: what EliminateStep did to the rows of A,
// with f the multipliers it left in column j. No operation on B reads A's
// trailing part, so this may run at any time after that step.
void ApplyStep(std::size_t n, std::size_t j, GaussStep step, const double *f, std::size_t k,
               double *b, std::size_t ldb) {
    if (step.p != j) {
        for (std::size_t c = 0; c < k; ++c) std::swap(b[j + c * ldb], b[step.p + c * ldb]);
    }
    if (step.r != 1.0) {
        for (std::size_t c = 0; c < k; ++c) b[j + c * ldb] = b[j + c * ldb] * step.r;
    }
    for (std::size_t c = 0; c < k; ++c) {
        double *bc = b + c * ldb;
        AddMultiples(j + 1, n, f, bc[j], bc);
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
        const GaussStep step = EliminateStep(n, j, a, lda);
        ApplyStep(n, j, step, a + j * lda, k, b, ldb);
    }
    for (std::size_t c = 0; c < k; ++c) BackSubstitute(n, a, lda, b + c * ldb, 1, x + c * ldx, 1);
}

void GaussFactor(std::size_t n, double *a, std::size_t lda, std::size_t *pivot, double *r) {
    for (std::size_t j = 0; j < n; ++j) {
        const GaussStep step = EliminateStep(n, j, a, lda);
        pivot[j] = step.p;
        r[j] = step.r;
    }
}

void GaussSolveFactored(std::size_t n, std::size_t k, const double *a, std::size_t lda,
                        const std::size_t *pivot, const double *r, double *b, std::size_t ldb,
                        double *x, std::size_t ldx) {
    for (std::size_t j = 0; j < n; ++j) ApplyStep(n, j, {pivot[j], r[j]}, a + j * lda, k, b, ldb);
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
