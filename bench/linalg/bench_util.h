// bench/linalg/bench_util.h: inputs and rate counters shared by the linear algebra benchmarks.
#ifndef MATRIX_BENCH_LINALG_BENCH_UTIL_H
#define MATRIX_BENCH_LINALG_BENCH_UTIL_H

#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <memory>
#include <random>
#include <vector>

#include "core/array_holder.h"

namespace linalg_bench {

using ArrayPtr = kiv::matrix::ArrayHolder;

/// Uniform values in [-1, 1), n added to the diagonal when square and
/// `dominant`: well conditioned, so no solve meets denormals or overflow.
inline std::vector<double> Values(std::size_t m, std::size_t n, bool dominant = false,
                                  unsigned seed = 42) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> v(m * n);
    for (double &x : v) x = uniform(rng);
    if (dominant) {
        for (std::size_t i = 0; i < m && i < n; ++i) v[i + i * m] += static_cast<double>(n);
    }
    return v;
}

inline ArrayPtr ToArray(std::size_t m, std::size_t n, const std::vector<double> &v) {
    ArrayPtr a(kiv::matrix::mxCreateDoubleMatrix(
        static_cast<unsigned int>(m), static_cast<unsigned int>(n), kiv::matrix::mxComplexityReal));
    std::copy(v.begin(), v.end(), kiv::matrix::mxGetPr(a.get()));
    return a;
}

/// Floating-point operations per second, `flops` per iteration.
inline void SetFlops(benchmark::State &state, double flops) {
    state.counters["flops"] =
        benchmark::Counter(flops, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace linalg_bench

#endif  // MATRIX_BENCH_LINALG_BENCH_UTIL_H
