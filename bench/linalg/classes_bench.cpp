// bench/linalg/classes_bench.cpp: the complex and single products beside OpenBLAS's zgemm and sgemm.
//
// Our complex product is four real products of the parts (two per part,
// the second continuing the first's sums); zgemm may reorder and fuse its
// sums freely. The single product runs the float tiles. Both are measured
// through Mtimes (split storage in and out) and as kernels on the fastest
// path and on the AVX2 one (KernelPath::kAvx2), whose rows carry the path
// in their second argument (0 fastest, 2 AVX2). Rates count the real
// flops: 8n^3 for complex, 2n^3 for single. OpenBLAS runs on one thread:
// run with RUL2MTRX_NUM_THREADS=1 to compare like with like.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <complex>
#include <cstddef>
#include <vector>

#include "bench_util.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/mtimes_single.h"

#if defined(MATRIX_HAVE_OPENBLAS)
#include <cblas.h>
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

void ProductSizes(benchmark::internal::Benchmark *b) {
    b->Arg(512);
    b->Unit(benchmark::kMillisecond);
}
void PathSizes(benchmark::internal::Benchmark *b) {
    for (int path : {0, 2}) b->Args({512, path});
    b->Unit(benchmark::kMillisecond);
}

double Cube(std::size_t n) { return static_cast<double>(n) * n * n; }

kernels::KernelPath PathOf(const benchmark::State &state) {
    return state.range(1) == 2 ? kernels::KernelPath::kAvx2 : kernels::KernelPath::kFastest;
}

ArrayPtr ComplexArray(std::size_t n, unsigned seed) {
    const std::vector<double> re = Values(n, n, false, seed), im = Values(n, n, false, seed + 7);
    return ArrayPtr(mxDoubleMatrix(static_cast<unsigned int>(n), static_cast<unsigned int>(n),
                                   re.data(), im.data()));
}

void BM_MtimesComplex(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ComplexArray(n, 1), b = ComplexArray(n, 2);
    for (auto _ : state) {
        ArrayPtr c(Mtimes(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
    SetFlops(state, 8 * Cube(n));
}
BENCHMARK(BM_MtimesComplex)->Apply(ProductSizes);

// The four real products of Mtimes on split parts, by the path asked for.
void BM_ComplexProductKernel(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> ar = Values(n, n, false, 1), ai = Values(n, n, false, 8);
    const std::vector<double> br = Values(n, n, false, 2), bi = Values(n, n, false, 9);
    std::vector<double> cr(n * n), ci(n * n);
    const kernels::KernelPath path = PathOf(state);
    double *work = kernels::PackingSpace(n, n, n);
    for (auto _ : state) {
        kernels::MatrixProduct(n, n, n, ar.data(), n, br.data(), n, cr.data(), n, work, path);
        kernels::MatrixProductUpdate(n, n, n, ai.data(), n, bi.data(), n, cr.data(), n, work,
                                     kernels::UpdateSign::kSubtract,
                                     kernels::SumOrder::kIncreasing, path);
        kernels::MatrixProduct(n, n, n, ar.data(), n, bi.data(), n, ci.data(), n, work, path);
        kernels::MatrixProductUpdate(n, n, n, ai.data(), n, br.data(), n, ci.data(), n, work,
                                     kernels::UpdateSign::kAdd, kernels::SumOrder::kIncreasing,
                                     path);
        benchmark::DoNotOptimize(cr.data());
        benchmark::DoNotOptimize(ci.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, 8 * Cube(n));
}
BENCHMARK(BM_ComplexProductKernel)->Apply(PathSizes);

void BM_MtimesSingle(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a(Single(ToArray(n, n, Values(n, n, false, 1)).get()));
    const ArrayPtr b(Single(ToArray(n, n, Values(n, n, false, 2)).get()));
    for (auto _ : state) {
        ArrayPtr c(Mtimes(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
    SetFlops(state, 2 * Cube(n));
}
BENCHMARK(BM_MtimesSingle)->Apply(ProductSizes);

std::vector<float> Floats(std::size_t n, unsigned seed) {
    const std::vector<double> v = Values(n, n, false, seed);
    return std::vector<float>(v.begin(), v.end());
}

void BM_FloatProductKernel(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<float> a = Floats(n, 1), b = Floats(n, 2);
    std::vector<float> c(n * n);
    const kernels::KernelPath path = PathOf(state);
    for (auto _ : state) {
        kernels::MatrixProduct(n, n, n, a.data(), n, b.data(), n, c.data(), n, path);
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, 2 * Cube(n));
}
BENCHMARK(BM_FloatProductKernel)->Apply(PathSizes);

#if defined(MATRIX_HAVE_OPENBLAS)
void BM_OpenblasZgemm(benchmark::State &state) {
    const auto n = static_cast<int>(state.range(0));
    const std::vector<double> ar = Values(n, n, false, 1), ai = Values(n, n, false, 8);
    const std::vector<double> br = Values(n, n, false, 2), bi = Values(n, n, false, 9);
    std::vector<std::complex<double>> a(ar.size()), b(br.size()), c(ar.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        a[k] = {ar[k], ai[k]};
        b[k] = {br[k], bi[k]};
    }
    const std::complex<double> one(1.0, 0.0), zero(0.0, 0.0);
    openblas_set_num_threads(1);
    for (auto _ : state) {
        cblas_zgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, &one, a.data(), n,
                    b.data(), n, &zero, c.data(), n);
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, 8 * Cube(n));
    state.SetLabel(openblas_get_corename());
}
BENCHMARK(BM_OpenblasZgemm)->Apply(ProductSizes);

void BM_OpenblasSgemm(benchmark::State &state) {
    const auto n = static_cast<int>(state.range(0));
    const std::vector<float> a = Floats(n, 1), b = Floats(n, 2);
    std::vector<float> c(a.size());
    openblas_set_num_threads(1);
    for (auto _ : state) {
        cblas_sgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0f, a.data(), n,
                    b.data(), n, 0.0f, c.data(), n);
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    SetFlops(state, 2 * Cube(n));
    state.SetLabel(openblas_get_corename());
}
BENCHMARK(BM_OpenblasSgemm)->Apply(ProductSizes);
#endif

}  // namespace
