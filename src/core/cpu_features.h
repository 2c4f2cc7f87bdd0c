// src/core/cpu_features.h: what the processor running the library can do.
#ifndef MATRIX_SRC_CORE_CPU_FEATURES_H
#define MATRIX_SRC_CORE_CPU_FEATURES_H

// Kernels with AVX2 code paths are compiled for them with
// __attribute__((target("avx2"))) and chosen at run time, so that the
// library itself still runs on any x86-64. Vector adds and multiplies
// round each lane exactly as the scalar code does; only the number of
// independent operations in flight changes.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MATRIX_HAVE_AVX2_PATHS 1
#endif

namespace kiv {
namespace matrix {

/// True when the processor (and the operating system) support AVX2. Asked
/// once; the answer is kept.
inline bool HasAvx2() {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
#else
    return false;
#endif
}

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_CPU_FEATURES_H
