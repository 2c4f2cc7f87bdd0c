// bench/threads/threads_bench.cpp: the parallel paths on one thread and on all of them.
//
// Each row runs twice, with the second argument 1 (SetNumThreads(1): the
// work stays on the calling thread) and 0 (every core the process may use).
// The results are the same bits either way; only the time differs. The
// 100-element rows show that small work pays nothing for the pool.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <memory>
#include <random>

namespace {

using namespace kiv::matrix;

struct Destroy {
    void operator()(CMatrix *a) const { mxDestroyArray(a); }
};
using ArrayPtr = std::unique_ptr<CMatrix, Destroy>;

// An m x n matrix of normal values plus `diagonal` on the diagonal.
ArrayPtr RandomMatrix(unsigned int m, unsigned int n, double diagonal = 0) {
    std::mt19937_64 rng(m * 1000003ULL + n);
    std::normal_distribution<double> normal;
    const unsigned int dims[] = {m, n};
    ArrayPtr a(mxCreateNumericArray(2, dims, mxClassDouble, mxComplexityReal));
    double *p = mxGetPr(a.get());
    for (unsigned int j = 0; j < n; ++j) {
        for (unsigned int i = 0; i < m; ++i) p[i + j * m] = normal(rng) + (i == j ? diagonal : 0);
    }
    return a;
}

// Sets the thread count from the second argument and names it.
void UseThreads(benchmark::State &state) {
    SetNumThreads(static_cast<unsigned int>(state.range(1)));
    state.counters["threads"] = GetNumThreads();
}

void Rows(benchmark::internal::Benchmark *b, std::initializer_list<long> sizes) {
    for (long n : sizes) {
        b->Args({n, 1});
        b->Args({n, 0});
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void BM_Mtimes(benchmark::State &state) {
    UseThreads(state);
    const auto n = static_cast<unsigned int>(state.range(0));
    const ArrayPtr a = RandomMatrix(n, n), b = RandomMatrix(n, n);
    for (auto _ : state) {
        ArrayPtr c(Mtimes(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
}
BENCHMARK(BM_Mtimes)->Apply([](benchmark::internal::Benchmark *b) { Rows(b, {10, 256, 1024}); });

void BM_Lu(benchmark::State &state) {
    UseThreads(state);
    const auto n = static_cast<unsigned int>(state.range(0));
    const ArrayPtr a = RandomMatrix(n, n, 4.0);
    for (auto _ : state) {
        CMatrix *l, *u, *p;
        Lu(l, u, p, a.get());
        ArrayPtr lo(l), up(u), pe(p);
        benchmark::DoNotOptimize(up.get());
    }
}
BENCHMARK(BM_Lu)->Apply([](benchmark::internal::Benchmark *b) { Rows(b, {10, 1000}); });

void BM_Chol(benchmark::State &state) {
    UseThreads(state);
    const auto n = static_cast<unsigned int>(state.range(0));
    const ArrayPtr a = RandomMatrix(n, n);
    const ArrayPtr t(Transpose(a.get()));
    const ArrayPtr spd(Mtimes(t.get(), a.get()));
    for (auto _ : state) {
        ArrayPtr r(Chol(spd.get()));
        benchmark::DoNotOptimize(r.get());
    }
}
BENCHMARK(BM_Chol)->Apply([](benchmark::internal::Benchmark *b) { Rows(b, {10, 1000}); });

void BM_Plus(benchmark::State &state) {
    UseThreads(state);
    const auto n = static_cast<unsigned int>(state.range(0));
    const ArrayPtr a = RandomMatrix(n, 1), b = RandomMatrix(n, 1);
    for (auto _ : state) {
        ArrayPtr c(Plus(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
}
BENCHMARK(BM_Plus)->Apply([](benchmark::internal::Benchmark *b) {
    Rows(b, {100, 100000, 10000000});
});

}  // namespace
