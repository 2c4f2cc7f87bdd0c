// src/kernels/interchanges.h: recorded row interchanges, replayed column by column.
#ifndef MATRIX_SRC_KERNELS_INTERCHANGES_H
#define MATRIX_SRC_KERNELS_INTERCHANGES_H

#include <cstddef>
#include <utility>

namespace kiv {
namespace matrix {
namespace kernels {

/// Interchanges rows j and rowOf(j), for j = p0 .. p1 - 1 in that order, in
/// columns c0 .. c1 - 1 of a (column-major, leading dimension lda). Four
/// columns at a time, so that each column is read once however many
/// interchanges there are and each interchange is looked up once for four
/// independent swaps; the result is that of interchanging whole rows in
/// turn.
template <typename RowOf>
void ApplyRowInterchanges(double *a, std::size_t lda, std::size_t p0, std::size_t p1,
                          std::size_t c0, std::size_t c1, RowOf rowOf) {
    constexpr std::size_t kColumns = 4;
    for (; c0 + kColumns <= c1; c0 += kColumns) {
        double *const a0 = a + c0 * lda;
        double *const a1 = a0 + lda;
        double *const a2 = a1 + lda;
        double *const a3 = a2 + lda;
        // The next four columns' rows that will move are fetched meanwhile:
        // they are scattered, which the processor's own prefetch misses.
        const bool more = c0 + 2 * kColumns <= c1;
        for (std::size_t j = p0; j < p1; ++j) {
            const std::size_t row = rowOf(j);
            if (row == j) continue;
            if (more) {
                for (std::size_t q = kColumns; q < 2 * kColumns; ++q) {
                    __builtin_prefetch(a0 + q * lda + row, 1);
                }
            }
            std::swap(a0[j], a0[row]);
            std::swap(a1[j], a1[row]);
            std::swap(a2[j], a2[row]);
            std::swap(a3[j], a3[row]);
        }
    }
    for (std::size_t c = c0; c < c1; ++c) {
        double *ac = a + c * lda;
        for (std::size_t j = p0; j < p1; ++j) {
            const std::size_t row = rowOf(j);
            if (row != j) std::swap(ac[j], ac[row]);
        }
    }
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_INTERCHANGES_H
