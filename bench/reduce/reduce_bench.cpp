// bench/reduce/reduce_bench.cpp: benchmarks of Sum, Prod and Any along a
// dimension, beside plain loops and Eigen.
//
// Sum must add each line strictly in order. Along dimension 1 the plain loop
// is one column at a time (one dependent chain of adds, latency bound);
// Eigen's colwise().sum() may reorder its additions and vectorise within a
// column. Along dimension 2 the plain loop that vectorises across the rows is
// the memory-speed bound; the naive loop walks each row with a stride.
// Rates are bytes of the argument read per second. The library functions
// include the allocation of the result, which each iteration destroys.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/array_holder.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#endif

namespace {

using namespace kiv::matrix;

using ArrayPtr = ArrayHolder;

// Values near 1 so that products stay finite and sums stay exact enough not
// to hit denormal or overflow slow paths.
double Value(std::size_t k) { return 1.0 + static_cast<double>(k % 97) / 1024.0; }

ArrayPtr Filled(unsigned int m, unsigned int n) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    double *p = mxGetPr(a.get());
    for (std::size_t k = 0; k < std::size_t{m} * n; ++k) p[k] = Value(k);
    return a;
}

std::vector<double> FilledVector(std::size_t m, std::size_t n) {
    std::vector<double> a(m * n);
    for (std::size_t k = 0; k < a.size(); ++k) a[k] = Value(k);
    return a;
}

void SetBytes(benchmark::State &state, std::size_t m, std::size_t n) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * m * n * sizeof(double)));
}

// Square sizes: 10 (call overhead dominates), 100 (80 KB, in L2), 1000
// (8 MB, the target size, beyond L2), 3000 (72 MB, from memory).
void SquareSizes(benchmark::internal::Benchmark *b) {
    for (int n : {10, 100, 1000, 3000}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

// --- Sum along dimension 1 ------------------------------------------------------

void BM_Sum_Dim1(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(Sum(a.get(), 1));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_Sum_Dim1)->Apply(SquareSizes);

void BM_SumLoop_Dim1(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = FilledVector(n, n);
    std::vector<double> r(n);
    for (auto _ : state) {
        for (std::size_t j = 0; j < n; ++j) {
            double s = 0.0;
            for (std::size_t i = 0; i < n; ++i) s += a[i + j * n];
            r[j] = s;
        }
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_SumLoop_Dim1)->Apply(SquareSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenColwiseSum(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> data = FilledVector(n, n);
    const Eigen::Map<const Eigen::MatrixXd> a(data.data(), n, n);
    Eigen::RowVectorXd r(n);
    for (auto _ : state) {
        r.noalias() = a.colwise().sum();
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_EigenColwiseSum)->Apply(SquareSizes);
#endif

// --- Sum along dimension 2 ------------------------------------------------------

void BM_Sum_Dim2(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(Sum(a.get(), 2));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_Sum_Dim2)->Apply(SquareSizes);

// The memory-speed bound: every row's chain in order, rows side by side.
void BM_SumLoopAcrossRows_Dim2(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = FilledVector(n, n);
    std::vector<double> r(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) r[i] = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < n; ++i) r[i] += a[i + j * n];
        }
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_SumLoopAcrossRows_Dim2)->Apply(SquareSizes);

// The naive loop: one row at a time, at a stride of n elements.
void BM_SumLoopByRow_Dim2(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = FilledVector(n, n);
    std::vector<double> r(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) {
            double s = 0.0;
            for (std::size_t j = 0; j < n; ++j) s += a[i + j * n];
            r[i] = s;
        }
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_SumLoopByRow_Dim2)->Apply(SquareSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenRowwiseSum(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> data = FilledVector(n, n);
    const Eigen::Map<const Eigen::MatrixXd> a(data.data(), n, n);
    Eigen::VectorXd r(n);
    for (auto _ : state) {
        r.noalias() = a.rowwise().sum();
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_EigenRowwiseSum)->Apply(SquareSizes);
#endif

// --- Other reductions -------------------------------------------------------

void BM_Prod_Dim1(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(Prod(a.get(), 1));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_Prod_Dim1)->Apply(SquareSizes);

// Any of an all-zero matrix: no line is decided early, so every element is
// read; along dimension 2 the lines are tested across the rows.
void BM_Any_Dim1(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a(Zeros(n, n));
    for (auto _ : state) {
        ArrayPtr r(Any(a.get(), 1));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_Any_Dim1)->Apply(SquareSizes);

void BM_Any_Dim2(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a(Zeros(n, n));
    for (auto _ : state) {
        ArrayPtr r(Any(a.get(), 2));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, n, n);
}
BENCHMARK(BM_Any_Dim2)->Apply(SquareSizes);

}  // namespace
