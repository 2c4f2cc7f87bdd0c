// src/kernels/kernel_path.h: which of a kernel's equivalent paths runs.
#ifndef MATRIX_SRC_KERNELS_KERNEL_PATH_H
#define MATRIX_SRC_KERNELS_KERNEL_PATH_H

namespace kiv {
namespace matrix {
namespace kernels {

/// Every kernel with a faster variant also keeps its plain one: the stated
/// order of operations written out directly, with no recursion or vector
/// code (the product's plain path is its portable tiles, whose blocking
/// never splits a sum; the transpose's is TransposePlain). All give the
/// same bits; the library always asks for kFastest, and tests force the
/// others to compare them. kAvx2 holds the vector code to AVX2 where the
/// processor has wider (the product's AVX-512 tiles step aside); where it
/// lacks AVX2 it is the plain path.
enum class KernelPath { kFastest, kPlain, kAvx2 };

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_KERNEL_PATH_H
