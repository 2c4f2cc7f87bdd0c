// bench/linalg/lu_bench.cpp: Lu, Det and the Crout kernel beside Eigen's PartialPivLU.
//
// Our factorisation is Crout's, left-looking, one column at a time in the
// stated order; Eigen's is blocked and right-looking with plain partial
// pivoting. Lu also builds L, U (through Triu) and P as new arrays. Rates
// are 2n^3/3 flops per second. Sizes 64 (in L2) to 512 (2 MB per matrix).
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bench_util.h"
#include "kernels/lu_kernel.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#include <Eigen/LU>
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {64, 128, 256, 512}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

double LuFlops(std::size_t n) { return 2.0 * static_cast<double>(n) * n * n / 3.0; }

void BM_Lu(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    for (auto _ : state) {
        CMatrix *l, *u, *p;
        Lu(l, u, p, a.get());
        mxDestroyArray(l);
        mxDestroyArray(u);
        mxDestroyArray(p);
    }
    SetFlops(state, LuFlops(n));
}
BENCHMARK(BM_Lu)->Apply(Sizes);

void BM_Det(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    for (auto _ : state) benchmark::DoNotOptimize(Det(a.get()));
    SetFlops(state, LuFlops(n));
}
BENCHMARK(BM_Det)->Apply(Sizes);

// The kernel on a copy refreshed outside the timing.
void BM_LuCrout(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = Values(n, n);
    std::vector<double> f(n * n), scale(n);
    std::vector<std::int32_t> ipiv(n);
    int parity;
    for (auto _ : state) {
        state.PauseTiming();
        f = a;
        state.ResumeTiming();
        kernels::LuCrout(n, f.data(), n, ipiv.data(), parity, scale.data());
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, LuFlops(n));
}
BENCHMARK(BM_LuCrout)->Apply(Sizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenPartialPivLu(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> v = Values(n, n);
    const Eigen::Map<const Eigen::MatrixXd> a(v.data(), n, n);
    Eigen::PartialPivLU<Eigen::MatrixXd> lu(n);
    for (auto _ : state) {
        lu.compute(a);
        benchmark::DoNotOptimize(lu.matrixLU().data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, LuFlops(n));
}
BENCHMARK(BM_EigenPartialPivLu)->Apply(Sizes);
#endif

}  // namespace
