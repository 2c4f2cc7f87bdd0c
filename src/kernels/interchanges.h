// src/kernels/interchanges.h: recorded row interchanges, replayed column by column.
#ifndef MATRIX_SRC_KERNELS_INTERCHANGES_H
#define MATRIX_SRC_KERNELS_INTERCHANGES_H

#include <cstddef>
#include <utility>

namespace kiv {
namespace matrix {
namespace kernels {

/// Interchanges rows j and rowOf(j), for j = p0 .. p1 - 1 in that order, in
/// columns c0 .. c1 - 1 of a (column-major, leading dimension lda). Column
/// by column, so that each column is read once however many interchanges
/// there are; the result is that of interchanging whole rows in turn.
template <typename RowOf>
void ApplyRowInterchanges(double *a, std::size_t lda, std::size_t p0, std::size_t p1,
                          std::size_t c0, std::size_t c1, RowOf rowOf) {
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
