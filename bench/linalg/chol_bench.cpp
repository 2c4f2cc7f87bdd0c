// bench/linalg/chol_bench.cpp: Chol and the Cholesky kernel beside Eigen's LLT.
//
// Our factorisation is the row (inner product) form in the stated order,
// four columns of a row at a time; Eigen's LLT is blocked and right-looking
// and reads the lower triangle. Rates are n^3/3 flops per second. Sizes 16
// (the fixed cost of a call), 64 (in L1/L2), 256 (512 KB per matrix) and
// 1000 (the table's row, where the product's updates carry most of it).
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <vector>

#include "bench_util.h"
#include "kernels/chol_kernel.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Cholesky>
#include <Eigen/Core>
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {16, 64, 256, 1000}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

double CholFlops(std::size_t n) { return static_cast<double>(n) * n * n / 3.0; }

// B'*B + n*I: symmetric positive definite.
std::vector<double> PositiveDefinite(std::size_t n) {
    const std::vector<double> b = Values(n, n);
    std::vector<double> a(n * n);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            double s = i == j ? static_cast<double>(n) : 0.0;
            for (std::size_t k = 0; k < n; ++k) s += b[k + i * n] * b[k + j * n];
            a[i + j * n] = s;
        }
    }
    return a;
}

void BM_Chol(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, PositiveDefinite(n));
    for (auto _ : state) {
        CMatrix *r = Chol(a.get());
        benchmark::DoNotOptimize(r);
        mxDestroyArray(r);
    }
    SetFlops(state, CholFlops(n));
}
BENCHMARK(BM_Chol)->Apply(Sizes);

void BM_CholeskyUpper(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = PositiveDefinite(n);
    std::vector<double> r(n * n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kernels::CholeskyUpper(n, a.data(), n, r.data(), n));
        benchmark::ClobberMemory();
    }
    SetFlops(state, CholFlops(n));
}
BENCHMARK(BM_CholeskyUpper)->Apply(Sizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenLlt(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> v = PositiveDefinite(static_cast<std::size_t>(n));
    const Eigen::Map<const Eigen::MatrixXd> a(v.data(), n, n);
    Eigen::LLT<Eigen::MatrixXd> llt(n);
    for (auto _ : state) {
        llt.compute(a);
        benchmark::DoNotOptimize(llt.matrixLLT().data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, CholFlops(static_cast<std::size_t>(n)));
}
BENCHMARK(BM_EigenLlt)->Apply(Sizes);
#endif

}  // namespace
