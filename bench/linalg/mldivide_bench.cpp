// bench/linalg/mldivide_bench.cpp: benchmarks of Mldivide and GaussSolve beside Eigen.
//
// A square A\b is Gaussian elimination with the right-hand side carried
// along; Eigen's PartialPivLU factorises (blocked) and then solves. A tall
// A\b forms the full m x m Q one explicit reflection matrix at a time, each
// applied as an in-order product (about m * (m - k)^2 flops at step k), so
// it grows much faster than Eigen's Householder QR solve, which applies the
// reflections to b only. Rates: 2n^3/3 flops per second for the square
// solves; none for the tall ones, whose work differs in kind.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <vector>

#include "bench_util.h"
#include "kernels/mldivide_kernel.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#include <Eigen/LU>
#include <Eigen/QR>
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

void SquareSizes(benchmark::internal::Benchmark *b) {
    for (int n : {64, 128, 256, 512}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

// Tall systems of 2n x n.
void TallSizes(benchmark::internal::Benchmark *b) {
    for (int n : {16, 32, 64, 128}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

double SolveFlops(std::size_t n) { return 2.0 * static_cast<double>(n) * n * n / 3.0; }

void BM_Mldivide(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n, true));
    const ArrayPtr b = ToArray(n, 1, Values(n, 1, false, 7));
    for (auto _ : state) {
        ArrayPtr x(Mldivide(a.get(), b.get()));
        benchmark::DoNotOptimize(x.get());
    }
    SetFlops(state, SolveFlops(n));
}
BENCHMARK(BM_Mldivide)->Apply(SquareSizes);

void BM_GaussSolve(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = Values(n, n, true), b = Values(n, 1, false, 7);
    std::vector<double> af(n * n), bf(n), x(n);
    for (auto _ : state) {
        state.PauseTiming();
        af = a;
        bf = b;
        state.ResumeTiming();
        kernels::GaussSolve(n, 1, af.data(), n, bf.data(), n, x.data(), n);
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, SolveFlops(n));
}
BENCHMARK(BM_GaussSolve)->Apply(SquareSizes);

void BM_MldivideTall(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(2 * n, n, Values(2 * n, n));
    const ArrayPtr b = ToArray(2 * n, 1, Values(2 * n, 1, false, 7));
    for (auto _ : state) {
        ArrayPtr x(Mldivide(a.get(), b.get()));
        benchmark::DoNotOptimize(x.get());
    }
}
BENCHMARK(BM_MldivideTall)->Apply(TallSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenPartialPivLuSolve(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> av = Values(n, n, true), bv = Values(n, 1, false, 7);
    const Eigen::Map<const Eigen::MatrixXd> a(av.data(), n, n);
    const Eigen::Map<const Eigen::VectorXd> b(bv.data(), n);
    Eigen::VectorXd x(n);
    for (auto _ : state) {
        x = a.partialPivLu().solve(b);
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, SolveFlops(n));
}
BENCHMARK(BM_EigenPartialPivLuSolve)->Apply(SquareSizes);

void BM_EigenColPivQrSolveTall(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> av = Values(2 * n, n), bv = Values(2 * n, 1, false, 7);
    const Eigen::Map<const Eigen::MatrixXd> a(av.data(), 2 * n, n);
    const Eigen::Map<const Eigen::VectorXd> b(bv.data(), 2 * n);
    Eigen::VectorXd x(n);
    for (auto _ : state) {
        x = a.colPivHouseholderQr().solve(b);
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EigenColPivQrSolveTall)->Apply(TallSizes);
#endif

}  // namespace
