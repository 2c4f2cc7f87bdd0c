// src/kernels/kernel_path.h: which of a kernel's equivalent paths runs.
#ifndef MATRIX_SRC_KERNELS_KERNEL_PATH_H
#define MATRIX_SRC_KERNELS_KERNEL_PATH_H

namespace kiv {
namespace matrix {
namespace kernels {

/// Every kernel with a faster variant also keeps its plain one: the stated
/// order of operations written out directly, with no recursion or vector
/// code (the product's plain path is its portable tiles, whose blocking
/// never splits a sum; the transpose's is TransposePlain). Both give the
/// same bits; the library always asks for kFastest, and tests force kPlain
/// to compare the two.
enum class KernelPath { kFastest, kPlain };

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_KERNEL_PATH_H
