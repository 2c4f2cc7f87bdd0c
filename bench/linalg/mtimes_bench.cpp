// bench/linalg/mtimes_bench.cpp: Mtimes and its kernel beside a plain loop and Eigen.
//
// Every element of our product is one in-order sum, so the kernel may block
// for registers and caches but never split a sum; Eigen may reorder its
// sums freely, and OpenBLAS also fuses multiplies into adds. The plain loop
// is the inner-product loop taken literally (a row of A at a stride of m).
// Rates are 2mnk flops per second. Sizes: 4 and 16 (call overhead and
// allocation of the result dominate), 64 (in L1/L2), 256 and 512 (beyond
// L2, where blocking matters).
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <vector>

#include "bench_util.h"
#include "kernels/mtimes_kernel.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#endif

#if defined(MATRIX_HAVE_OPENBLAS)
#include <cblas.h>
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {4, 16, 64, 256, 512}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

double ProductFlops(std::size_t n) { return 2.0 * static_cast<double>(n) * n * n; }

void BM_Mtimes(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n, false, 1));
    const ArrayPtr b = ToArray(n, n, Values(n, n, false, 2));
    for (auto _ : state) {
        ArrayPtr c(Mtimes(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
    SetFlops(state, ProductFlops(n));
}
BENCHMARK(BM_Mtimes)->Apply(Sizes);

// The kernel into a preallocated result, workspace included.
void BM_MatrixProduct(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = Values(n, n, false, 1), b = Values(n, n, false, 2);
    std::vector<double> c(n * n);
    std::vector<double> work(kernels::MatrixProductWorkspace(n, n, n));
    for (auto _ : state) {
        kernels::MatrixProduct(n, n, n, a.data(), n, b.data(), n, c.data(), n,
                               work.empty() ? nullptr : work.data());
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, ProductFlops(n));
}
BENCHMARK(BM_MatrixProduct)->Apply(Sizes);

// The same sums written as the plain triple loop.
void BM_MtimesLoop(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = Values(n, n, false, 1), b = Values(n, n, false, 2);
    std::vector<double> c(n * n);
    for (auto _ : state) {
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < n; ++i) {
                double s = 0.0;
                for (std::size_t p = 0; p < n; ++p) s = s + a[i + p * n] * b[p + j * n];
                c[i + j * n] = s;
            }
        }
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, ProductFlops(n));
}
BENCHMARK(BM_MtimesLoop)->Apply(Sizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenProduct(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> av = Values(n, n, false, 1), bv = Values(n, n, false, 2);
    const Eigen::Map<const Eigen::MatrixXd> a(av.data(), n, n), b(bv.data(), n, n);
    Eigen::MatrixXd c(n, n);
    for (auto _ : state) {
        c.noalias() = a * b;
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, ProductFlops(n));
}
BENCHMARK(BM_EigenProduct)->Apply(Sizes);
#endif

#if defined(MATRIX_HAVE_OPENBLAS)
void BM_OpenblasDgemm(benchmark::State &state) {
    const auto n = static_cast<int>(state.range(0));
    const std::vector<double> a = Values(n, n, false, 1), b = Values(n, n, false, 2);
    std::vector<double> c(static_cast<std::size_t>(n) * n);
    openblas_set_num_threads(1);
    for (auto _ : state) {
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0, a.data(), n, b.data(),
                    n, 0.0, c.data(), n);
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, ProductFlops(n));
}
BENCHMARK(BM_OpenblasDgemm)->Apply(Sizes);
#endif

}  // namespace
