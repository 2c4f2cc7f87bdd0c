// bench/linalg/mtimes_bench.cpp: Mtimes and its kernel beside a plain loop and Eigen.
//
// Every element of our product is one in-order sum, so the kernel may block
// for registers and caches but never split a sum; Eigen may reorder its
// sums freely, and OpenBLAS also fuses multiplies into adds. The plain loop
// is the inner-product loop taken literally (a row of A at a stride of m).
// Rates are 2mnk flops per second. Sizes: 4 and 16 (call overhead and
// allocation of the result dominate), 64 (in L1/L2), 256, 512 and 1024
// (beyond L2, where blocking matters; the plain loop and Eigen stop at
// 512), and the thin 2000x33 by 33x2100, which writes a 34 MB result from
// short sums.
//
// OpenBLAS picks its kernels at load time from OPENBLAS_CORETYPE; bench/run
// asks for its AVX-512 ones, and each OpenBLAS row's label names the kernel
// set it reports.
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
    for (int n : {4, 16, 64, 256, 512, 1024}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

void LoopSizes(benchmark::internal::Benchmark *b) {
    for (int n : {4, 16, 64, 256, 512}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

// m x k by k x n.
void ThinShapes(benchmark::internal::Benchmark *b) {
    b->Args({2000, 33, 2100});
    b->Unit(benchmark::kMicrosecond);
}

double ProductFlops(std::size_t n) { return 2.0 * static_cast<double>(n) * n * n; }

double ProductFlops(std::size_t m, std::size_t k, std::size_t n) {
    return 2.0 * static_cast<double>(m) * static_cast<double>(k) * static_cast<double>(n);
}

void BM_MtimesThin(benchmark::State &state) {
    const auto m = static_cast<std::size_t>(state.range(0));
    const auto k = static_cast<std::size_t>(state.range(1));
    const auto n = static_cast<std::size_t>(state.range(2));
    const ArrayPtr a = ToArray(m, k, Values(m, k, false, 1));
    const ArrayPtr b = ToArray(k, n, Values(k, n, false, 2));
    for (auto _ : state) {
        ArrayPtr c(Mtimes(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
    SetFlops(state, ProductFlops(m, k, n));
}
BENCHMARK(BM_MtimesThin)->Apply(ThinShapes);

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

void BM_MatrixProductThin(benchmark::State &state) {
    const auto m = static_cast<std::size_t>(state.range(0));
    const auto k = static_cast<std::size_t>(state.range(1));
    const auto n = static_cast<std::size_t>(state.range(2));
    const std::vector<double> a = Values(m, k, false, 1), b = Values(k, n, false, 2);
    std::vector<double> c(m * n);
    std::vector<double> work(kernels::MatrixProductWorkspace(m, n, k));
    for (auto _ : state) {
        kernels::MatrixProduct(m, n, k, a.data(), m, b.data(), k, c.data(), m,
                               work.empty() ? nullptr : work.data());
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, ProductFlops(m, k, n));
}
BENCHMARK(BM_MatrixProductThin)->Apply(ThinShapes);

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
BENCHMARK(BM_MtimesLoop)->Apply(LoopSizes);

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
BENCHMARK(BM_EigenProduct)->Apply(LoopSizes);
#endif

#if defined(MATRIX_HAVE_OPENBLAS)
// C = A*B (beta 0) on one thread, m x k by k x n.
void OpenblasDgemm(benchmark::State &state, int m, int k, int n) {
    const std::vector<double> a = Values(m, k, false, 1), b = Values(k, n, false, 2);
    std::vector<double> c(static_cast<std::size_t>(m) * n);
    openblas_set_num_threads(1);
    for (auto _ : state) {
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, m, n, k, 1.0, a.data(), m, b.data(),
                    k, 0.0, c.data(), m);
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, ProductFlops(m, k, n));
    state.SetLabel(openblas_get_corename());
}

void BM_OpenblasDgemm(benchmark::State &state) {
    const auto n = static_cast<int>(state.range(0));
    OpenblasDgemm(state, n, n, n);
}
BENCHMARK(BM_OpenblasDgemm)->Apply(Sizes);

void BM_OpenblasDgemmThin(benchmark::State &state) {
    OpenblasDgemm(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                  static_cast<int>(state.range(2)));
}
BENCHMARK(BM_OpenblasDgemmThin)->Apply(ThinShapes);
#endif

}  // namespace
