// bench/reduce/stats_bench.cpp: Median of a column against std::nth_element
// on a copy of the same data.
//
// The library reads its argument, copies each line, selects the middle
// elements and writes a fresh result; the peer copies the data into a
// preallocated buffer and selects the upper middle there (the library also
// finds the lower middle of an even count in the lower part). Sizes: 16
// (the size the smoke test runs), 1000 and 10^6 (the target size).
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

void BM_Median(benchmark::State &state) {
    const ArrayHolder a = Column(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        ArrayHolder r(Median(a.get(), 0, NanFlag::kInclude));
        benchmark::DoNotOptimize(r.get());
    }
    SetItems(state);
}
BENCHMARK(BM_Median)->Apply(Sizes);

void BM_StdNthElement(benchmark::State &state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const ArrayHolder a = Column(n);
    const double *x = mxGetPr(a.get());
    std::vector<double> buffer(n);
    for (auto _ : state) {
        std::copy(x, x + n, buffer.begin());
        std::nth_element(buffer.begin(), buffer.begin() + n / 2, buffer.end());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    SetItems(state);
}
BENCHMARK(BM_StdNthElement)->Apply(Sizes);

void BM_Movmean3(benchmark::State &state) {
    const ArrayHolder a = Column(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        ArrayHolder r(Moving(a.get(), MovingKind::kMean, 1, 1, 0, NanFlag::kInclude));
        benchmark::DoNotOptimize(r.get());
    }
    SetItems(state);
}
BENCHMARK(BM_Movmean3)->Apply(Sizes);

}  // namespace
