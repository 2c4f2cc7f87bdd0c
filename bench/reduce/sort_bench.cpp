// bench/reduce/sort_bench.cpp: Sort of a column against std::stable_sort of
// the same data.
//
// The library reads its argument and writes a fresh result; the peer copies
// the data into a preallocated buffer and sorts it there, so both start from
// the same unsorted input in every iteration. Sizes: 16 (the insertion sort;
// the size the smoke test runs), 1000, and 10^6 (the target size).
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

void Sizes(benchmark::internal::Benchmark *b) {
    for (long n : {16L, 1000L, 1000000L}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

// Normally distributed values from a fixed seed.
ArrayHolder Column(std::size_t n) {
    ArrayHolder a(mxCreateDoubleMatrix(static_cast<unsigned int>(n), 1, mxComplexityReal));
    std::mt19937_64 random(12345);
    std::normal_distribution<double> normal;
    double *p = mxGetPr(a.get());
    for (std::size_t k = 0; k < n; ++k) p[k] = normal(random);
    return a;
}

void SetItems(benchmark::State &state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Sort(benchmark::State &state) {
    const ArrayHolder a = Column(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        ArrayHolder r(Sort(a.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetItems(state);
}
BENCHMARK(BM_Sort)->Apply(Sizes);

void BM_Sort_Positions(benchmark::State &state) {
    const ArrayHolder a = Column(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        CMatrix *y = nullptr;
        CMatrix *i = nullptr;
        Sort(y, i, a.get());
        benchmark::DoNotOptimize(y);
        mxDestroyArray(y);
        mxDestroyArray(i);
    }
    SetItems(state);
}
BENCHMARK(BM_Sort_Positions)->Apply(Sizes);

void BM_StdStableSort(benchmark::State &state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const ArrayHolder a = Column(n);
    const double *x = mxGetPr(a.get());
    std::vector<double> buffer(n);
    for (auto _ : state) {
        std::copy(x, x + n, buffer.begin());
        std::stable_sort(buffer.begin(), buffer.end());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    SetItems(state);
}
BENCHMARK(BM_StdStableSort)->Apply(Sizes);

}  // namespace
