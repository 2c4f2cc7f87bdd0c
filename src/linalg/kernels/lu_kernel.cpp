// src/linalg/kernels/lu_kernel.cpp: Crout LU with scaled partial pivoting, row permutations.
#include "linalg/kernels/lu_kernel.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

void SwapRows(std::size_t n, double *a, std::size_t lda, std::size_t r1, std::size_t r2) {
    for (std::size_t c = 0; c < n; ++c) std::swap(a[r1 + c * lda], a[r2 + c * lda]);
}

}  // namespace

int LuCrout(std::size_t n, double *a, std::size_t lda, std::int32_t *ipiv, int &parity,
            double *scale) {
    parity = 1;
    int info = 0;

    // Row scale factors: the largest magnitude of each row, taken column by
    // column (strict comparisons from 0.0 give the same maximum in any
    // order), then inverted.
    for (std::size_t i = 0; i < n; ++i) scale[i] = 0.0;
    for (std::size_t c = 0; c < n; ++c) {
        const double *ac = a + c * lda;
        for (std::size_t i = 0; i < n; ++i) {
            const double t = std::fabs(ac[i]);
            if (t > scale[i]) scale[i] = t;
        }
    }
    for (std::size_t i = 0; i < n; ++i) scale[i] = scale[i] == 0.0 ? 0.0 : 1.0 / scale[i];

    for (std::size_t j = 0; j < n; ++j) {
        double *aj = a + j * lda;

        // Column j of U and of the unscaled L: a(k,j) is final once the
        // columns before k have been applied, so each element receives its
        // products in increasing k.
        for (std::size_t k = 0; k < j; ++k) {
            const double akj = aj[k];
            const double *ak = a + k * lda;
            for (std::size_t i = k + 1; i < n; ++i) aj[i] = aj[i] - ak[i] * akj;
        }

        // Scaled pivot choice; >= lets the last of equal candidates win.
        double big = 0.0;
        std::size_t imax = j;
        for (std::size_t i = j; i < n; ++i) {
            const double d = scale[i] * std::fabs(aj[i]);
            if (d >= big) {
                big = d;
                imax = i;
            }
        }
        if (imax != j) {
            SwapRows(n, a, lda, imax, j);
            parity = -parity;
            scale[imax] = scale[j];
        }
        ipiv[j] = static_cast<std::int32_t>(imax + 1);

        if (aj[j] == 0.0) {
            aj[j] = kLuZeroPivot;
            if (info == 0) info = static_cast<int>(j + 1);
        }
        if (j + 1 < n) {
            const double r = 1.0 / aj[j];
            for (std::size_t i = j + 1; i < n; ++i) aj[i] = aj[i] * r;
        }
    }
    return info;
}

void PivotsToPermutation(std::size_t n, const std::int32_t *ipiv, std::uint32_t *perm) {
    for (std::size_t i = 0; i < n; ++i) perm[i] = static_cast<std::uint32_t>(i);
    for (std::size_t j = 0; j < n; ++j) {
        std::swap(perm[j], perm[static_cast<std::size_t>(ipiv[j]) - 1]);
    }
}

void MoveRows(std::size_t m, std::size_t n, double *a, std::size_t lda, const std::uint32_t *perm,
              unsigned char *moved, double *row) {
    for (std::size_t i = 0; i < m; ++i) moved[i] = 0;
    for (std::size_t start = 0; start < m; ++start) {
        if (moved[start] != 0) continue;
        // Carry the start row round its cycle: at each stop the carried row
        // settles and the row it displaces is carried on.
        for (std::size_t c = 0; c < n; ++c) row[c] = a[start + c * lda];
        moved[start] = 1;
        for (std::size_t i = perm[start]; i != start; i = perm[i]) {
            for (std::size_t c = 0; c < n; ++c) std::swap(row[c], a[i + c * lda]);
            moved[i] = 1;
        }
        for (std::size_t c = 0; c < n; ++c) a[start + c * lda] = row[c];
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
