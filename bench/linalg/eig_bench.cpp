// bench/linalg/eig_bench.cpp: Eig and its kernels beside Eigen's EigenSolver.
//
// Our eigenvalues come from balancing, elimination to Hessenberg form and
// the Francis double-shift QR on the Hessenberg part only; Eigen's
// EigenSolver reduces by Householder to Hessenberg and then to real Schur
// form. Our eigenvectors are inverse iterations, one O(n^3) Gaussian
// elimination per eigenvalue and an O(n^2) solve per iterate, against
// Eigen's back substitution on the Schur form: expect the two-output form
// to lose by a factor that grows with n. Sizes 16 (the fixed cost of a
// call), 64 and 256.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <kiv/random.h>

#include <cstddef>
#include <vector>

#include "bench_util.h"
#include "kernels/eig_kernel.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#include <Eigen/Eigenvalues>
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {16, 64, 256}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

void BM_Eig(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    for (auto _ : state) {
        CMatrix *e = Eig(a.get(), true);
        benchmark::DoNotOptimize(e);
        mxDestroyArray(e);
    }
}
BENCHMARK(BM_Eig)->Apply(Sizes);

void BM_EigVectors(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    kiv::RandSeed(1);
    for (auto _ : state) {
        CMatrix *d, *v;
        Eig(d, v, a.get(), true);
        mxDestroyArray(d);
        mxDestroyArray(v);
    }
}
BENCHMARK(BM_EigVectors)->Apply(Sizes);

// The three kernels of the values on a copy refreshed outside the timing,
// with Eig's leading dimension (range(1) = 0) or exactly n (1): a stride of
// a multiple of 16 doubles crowds each row into few cache sets.
void BM_EigKernels(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::size_t ld = state.range(1) == 0 && n % 16 == 0 ? n + 4 : n;
    const std::vector<double> a = Values(ld, n);
    std::vector<double> h(ld * n), wr(n), wi(n);
    for (auto _ : state) {
        state.PauseTiming();
        h = a;
        state.ResumeTiming();
        kernels::Balance(n, h.data(), ld);
        kernels::ReduceToHessenberg(n, h.data(), ld);
        kernels::HessenbergEigenvalues(n, h.data(), ld, wr.data(), wi.data());
        benchmark::DoNotOptimize(wr.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EigKernels)
    ->ArgsProduct({{16, 64, 256}, {0, 1}})
    ->ArgNames({"n", "unpadded"})
    ->Unit(benchmark::kMicrosecond);

#if defined(MATRIX_HAVE_EIGEN)
void EigenEig(benchmark::State &state, bool vectors) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> v = Values(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
    const Eigen::Map<const Eigen::MatrixXd> a(v.data(), n, n);
    Eigen::EigenSolver<Eigen::MatrixXd> solver(n);
    for (auto _ : state) {
        solver.compute(a, vectors);
        benchmark::DoNotOptimize(solver.eigenvalues().data());
        benchmark::ClobberMemory();
    }
}

void BM_EigenEigenSolver(benchmark::State &state) { EigenEig(state, false); }
BENCHMARK(BM_EigenEigenSolver)->Apply(Sizes);

void BM_EigenEigenSolverVectors(benchmark::State &state) { EigenEig(state, true); }
BENCHMARK(BM_EigenEigenSolverVectors)->Apply(Sizes);
#endif

}  // namespace
