// bench/linalg/svd_bench.cpp: Svd, Norm(A, 2) and the SVD kernel beside Eigen's JacobiSVD and BDCSVD.
//
// The values alone skip the accumulation of U and V (they do not change
// the values); the three-output form also sorts and permutes the factors.
// Eigen's JacobiSVD is one-sided Jacobi after a QR preconditioner, BDCSVD
// bidiagonalisation and divide and conquer (Jacobi below 16 columns).
// Sizes 16 (the fixed cost of a call), 64 and 256.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <vector>

#include "bench_util.h"
#include "kernels/svd_kernel.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#include <Eigen/SVD>
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {16, 64, 256}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

void BM_Svd(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    for (auto _ : state) {
        CMatrix *s = Svd(a.get(), false);
        benchmark::DoNotOptimize(s);
        mxDestroyArray(s);
    }
}
BENCHMARK(BM_Svd)->Apply(Sizes);

void BM_SvdFactors(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    for (auto _ : state) {
        CMatrix *u, *s, *v;
        Svd(u, s, v, a.get(), false);
        mxDestroyArray(u);
        mxDestroyArray(s);
        mxDestroyArray(v);
    }
}
BENCHMARK(BM_SvdFactors)->Apply(Sizes);

void BM_Norm2(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    for (auto _ : state) benchmark::DoNotOptimize(Norm(a.get(), 2.0));
}
BENCHMARK(BM_Norm2)->Apply(Sizes);

// The kernel on a copy refreshed outside the timing: values, then vectors.
void BM_SvdDecompose(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const bool vectors = state.range(1) != 0;
    const std::vector<double> a = Values(n, n);
    std::vector<double> u(n * n), w(n), v(n * n), work(kernels::SvdDecomposeWorkspace(n, n));
    for (auto _ : state) {
        state.PauseTiming();
        u = a;
        state.ResumeTiming();
        kernels::SvdDecompose(n, n, u.data(), n, w.data(), 1, vectors ? v.data() : nullptr, n,
                              work.data());
        benchmark::DoNotOptimize(w.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SvdDecompose)
    ->ArgsProduct({{16, 64, 256}, {0, 1}})
    ->ArgNames({"n", "vectors"})
    ->Unit(benchmark::kMicrosecond);

#if defined(MATRIX_HAVE_EIGEN)
template <class Solver>
void EigenSvd(benchmark::State &state, unsigned int options) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> v = Values(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
    const Eigen::Map<const Eigen::MatrixXd> a(v.data(), n, n);
    Solver svd(n, n, options);
    for (auto _ : state) {
        svd.compute(a, options);
        benchmark::DoNotOptimize(svd.singularValues().data());
        benchmark::ClobberMemory();
    }
}

void BM_EigenJacobiSvd(benchmark::State &state) {
    EigenSvd<Eigen::JacobiSVD<Eigen::MatrixXd>>(state, 0);
}
BENCHMARK(BM_EigenJacobiSvd)->Apply(Sizes);

void BM_EigenBdcSvd(benchmark::State &state) { EigenSvd<Eigen::BDCSVD<Eigen::MatrixXd>>(state, 0); }
BENCHMARK(BM_EigenBdcSvd)->Apply(Sizes);

void BM_EigenJacobiSvdFactors(benchmark::State &state) {
    EigenSvd<Eigen::JacobiSVD<Eigen::MatrixXd>>(state, Eigen::ComputeFullU | Eigen::ComputeFullV);
}
BENCHMARK(BM_EigenJacobiSvdFactors)->Apply(Sizes);

void BM_EigenBdcSvdFactors(benchmark::State &state) {
    EigenSvd<Eigen::BDCSVD<Eigen::MatrixXd>>(state, Eigen::ComputeFullU | Eigen::ComputeFullV);
}
BENCHMARK(BM_EigenBdcSvdFactors)->Apply(Sizes);
#endif

}  // namespace
