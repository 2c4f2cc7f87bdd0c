// bench/construct/shape_bench.cpp: benchmarks of concatenation, transposes and reshaping.
//
// Each library function runs beside a plain loop or memcpy over the same
// bytes and, when Eigen is installed, beside Eigen doing the same job. Rates
// are bytes of the result per second. Kernel-level transposes write into a
// preallocated buffer, as memcpy does; the API-level ones also pay for the
// result's allocation and first touch, as mxDuplicateArray does.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "core/array_holder.h"
#include "kernels/transpose_kernel.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#endif

namespace {

using namespace kiv::matrix;

using ArrayPtr = ArrayHolder;

ArrayPtr Filled(unsigned int m, unsigned int n, mxComplexity complexity = mxComplexityReal) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, complexity));
    double *pr = mxGetPr(a.get());
    double *pi = mxGetPi(a.get());
    for (std::size_t k = 0; k < std::size_t{m} * n; ++k) {
        pr[k] = static_cast<double>(k);
        if (pi != nullptr) pi[k] = -static_cast<double>(k);
    }
    return a;
}

void SetBytes(benchmark::State &state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerIteration));
}

// Square sizes: 64 fits in L1, 512 in L2, 4096 (128 MiB a matrix) is far
// beyond every cache and has the power-of-two stride that defeats a naive
// transpose; 4000 shows a stride that is not a power of two, and 4001 one
// whose columns do not start on cache lines.
void SquareSizes(benchmark::internal::Benchmark *b) {
    for (int n : {64, 512, 4000, 4001, 4096}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

// --- Transposes ----------------------------------------------------------------

// Source and target of n x n doubles for the kernel-level runs, 64-byte
// aligned as library buffers are (the kernel streams its stores only into
// line-aligned columns), both touched once to keep page faults out of the
// timings.
struct SquarePair {
    explicit SquarePair(std::size_t n) : a(n * n), b(n * n) {
        std::fill(a.data, a.data + n * n, 1.0);
        std::fill(b.data, b.data + n * n, 0.0);
    }
    bench_support::AlignedBuffer a, b;
};

void BM_Memcpy(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    SquarePair p(n);
    double *a = p.a.data, *b = p.b.data;
    for (auto _ : state) {
        std::memcpy(b, a, n * n * sizeof(double));
        benchmark::DoNotOptimize(b);
        benchmark::ClobberMemory();
    }
    SetBytes(state, n * n * sizeof(double));
}
BENCHMARK(BM_Memcpy)->Apply(SquareSizes);

void BM_TransposeNaive(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    SquarePair p(n);
    double *a = p.a.data, *b = p.b.data;
    for (auto _ : state) {
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < n; ++i) b[j + i * n] = a[i + j * n];
        }
        benchmark::DoNotOptimize(b);
        benchmark::ClobberMemory();
    }
    SetBytes(state, n * n * sizeof(double));
}
BENCHMARK(BM_TransposeNaive)->Apply(SquareSizes);

void BM_TransposeKernel(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    SquarePair p(n);
    double *a = p.a.data, *b = p.b.data;
    for (auto _ : state) {
        kernels::TransposeBlocked<false>(n, n, a, n, b, n);
        benchmark::DoNotOptimize(b);
        benchmark::ClobberMemory();
    }
    SetBytes(state, n * n * sizeof(double));
}
BENCHMARK(BM_TransposeKernel)->Apply(SquareSizes);

void BM_TransposeKernelConjugate(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    SquarePair p(n);
    double *a = p.a.data, *b = p.b.data;
    for (auto _ : state) {
        kernels::TransposeBlocked<true>(n, n, a, n, b, n);
        benchmark::DoNotOptimize(b);
        benchmark::ClobberMemory();
    }
    SetBytes(state, n * n * sizeof(double));
}
BENCHMARK(BM_TransposeKernelConjugate)->Apply(SquareSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenTranspose(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    Eigen::MatrixXd a = Eigen::MatrixXd::Constant(n, n, 1.0), b(n, n);
    for (auto _ : state) {
        b.noalias() = a.transpose();
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, static_cast<std::size_t>(n * n) * sizeof(double));
}
BENCHMARK(BM_EigenTranspose)->Apply(SquareSizes);
#endif

// API level: allocation of the result included.
void BM_mxDuplicateArray(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(mxDuplicateArray(a.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_mxDuplicateArray)->Apply(SquareSizes);

void BM_Transpose(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(Transpose(a.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_Transpose)->Apply(SquareSizes);

// Twice the bytes: real and imaginary parts.
void BM_Ctranspose(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n, mxComplexityComplex);
    for (auto _ : state) {
        ArrayPtr r(Ctranspose(a.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, 2 * std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_Ctranspose)->Apply(SquareSizes);

// --- Concatenation -------------------------------------------------------------

// [A, B] and [A; B] of two m x m operands: the result is 2m x m or m x 2m.
void ConcatSizes(benchmark::internal::Benchmark *b) {
    for (int m : {8, 256, 2048}) b->Arg(m);
    b->Unit(benchmark::kMicrosecond);
}

void BM_ConcatMemcpy(benchmark::State &state) {
    const auto m = static_cast<std::size_t>(state.range(0));
    std::vector<double> a(m * m, 1.0), b(m * m, 2.0), c(2 * m * m);
    for (auto _ : state) {
        std::memcpy(c.data(), a.data(), m * m * sizeof(double));
        std::memcpy(c.data() + m * m, b.data(), m * m * sizeof(double));
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, 2 * m * m * sizeof(double));
}
BENCHMARK(BM_ConcatMemcpy)->Apply(ConcatSizes);

// The element loop that Vertcat's per-column block copies replace.
void BM_VertcatLoop(benchmark::State &state) {
    const auto m = static_cast<std::size_t>(state.range(0));
    std::vector<double> a(m * m, 1.0), b(m * m, 2.0), c(2 * m * m);
    for (auto _ : state) {
        for (std::size_t j = 0; j < m; ++j) {
            for (std::size_t i = 0; i < m; ++i) c[i + j * 2 * m] = a[i + j * m];
            for (std::size_t i = 0; i < m; ++i) c[m + i + j * 2 * m] = b[i + j * m];
        }
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, 2 * m * m * sizeof(double));
}
BENCHMARK(BM_VertcatLoop)->Apply(ConcatSizes);

void BM_Horzcat(benchmark::State &state) {
    const auto m = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(m, m), b = Filled(m, m);
    for (auto _ : state) {
        ArrayPtr r(Horzcat(a.get(), b.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, 2 * std::size_t{m} * m * sizeof(double));
}
BENCHMARK(BM_Horzcat)->Apply(ConcatSizes);

void BM_Vertcat(benchmark::State &state) {
    const auto m = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(m, m), b = Filled(m, m);
    for (auto _ : state) {
        ArrayPtr r(Vertcat(a.get(), b.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, 2 * std::size_t{m} * m * sizeof(double));
}
BENCHMARK(BM_Vertcat)->Apply(ConcatSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenHorzcat(benchmark::State &state) {
    const auto m = static_cast<Eigen::Index>(state.range(0));
    Eigen::MatrixXd a = Eigen::MatrixXd::Constant(m, m, 1.0), b = a;
    for (auto _ : state) {
        Eigen::MatrixXd c(m, 2 * m);
        c << a, b;
        benchmark::DoNotOptimize(c.data());
    }
    SetBytes(state, static_cast<std::size_t>(2 * m * m) * sizeof(double));
}
BENCHMARK(BM_EigenHorzcat)->Apply(ConcatSizes);

void BM_EigenVertcat(benchmark::State &state) {
    const auto m = static_cast<Eigen::Index>(state.range(0));
    Eigen::MatrixXd a = Eigen::MatrixXd::Constant(m, m, 1.0), b = a;
    for (auto _ : state) {
        Eigen::MatrixXd c(2 * m, m);
        c << a, b;
        benchmark::DoNotOptimize(c.data());
    }
    SetBytes(state, static_cast<std::size_t>(2 * m * m) * sizeof(double));
}
BENCHMARK(BM_EigenVertcat)->Apply(ConcatSizes);
#endif

// --- Reshaping -------------------------------------------------------------------

// Shared copies: the time must not grow with the array (nothing is copied).
void ReshapeSizes(benchmark::internal::Benchmark *b) {
    for (int n : {8, 4096}) b->Arg(n);
}

void BM_Reshape(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(Reshape(a.get(), n / 2, 2 * n));
        benchmark::DoNotOptimize(r.get());
    }
}
BENCHMARK(BM_Reshape)->Apply(ReshapeSizes);

void BM_Tocolumn(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(Tocolumn(a.get()));
        benchmark::DoNotOptimize(r.get());
    }
}
BENCHMARK(BM_Tocolumn)->Apply(ReshapeSizes);

void BM_Tomatrix(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const unsigned int dims[] = {n, n / 4, 4};
    ArrayPtr a(mxCreateNumericArray(3, dims, mxClassDouble, mxComplexityReal));
    for (auto _ : state) {
        ArrayPtr r(Tomatrix(a.get()));
        benchmark::DoNotOptimize(r.get());
    }
}
BENCHMARK(BM_Tomatrix)->Apply(ReshapeSizes);

}  // namespace
