// src/core/cpu_features.h: what the processor running the library can do.
#ifndef MATRIX_SRC_CORE_CPU_FEATURES_H
#define MATRIX_SRC_CORE_CPU_FEATURES_H

// The feature test lives with the kernels, which are its main users.
#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {

using kernels::HasAvx2;

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_CPU_FEATURES_H
