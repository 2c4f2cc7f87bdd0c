// src/kernels/shifted_layout.h: the packed column layout of the shifted Hessenberg factors.
#ifndef MATRIX_SRC_KERNELS_SHIFTED_LAYOUT_H
#define MATRIX_SRC_KERNELS_SHIFTED_LAYOUT_H

#include <algorithm>
#include <cstddef>

namespace kiv {
namespace matrix {
namespace kernels {

// U is kept by columns, packed: column c holds rows 0..min(c+1, n-1), the
// only ones the elimination touches (its upper triangle and the entry
// below the diagonal, which the step of that column reads), and starts
// at ShiftedColumn(c). Half the memory of a full square keeps U and H
// together in the second-level cache for orders of several hundred.
inline std::size_t ShiftedColumn(std::size_t c) { return c * (c + 3) / 2; }

inline std::size_t ShiftedRows(std::size_t n, std::size_t c) { return std::min(c + 2, n); }

// Steps of the shifted eliminations taken together by their blocked
// sweeps: a column meets them while its few rows stay in registers, and
// the columns' short chains overlap.
constexpr std::size_t kShiftedStepBlock = 16;

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_SHIFTED_LAYOUT_H
