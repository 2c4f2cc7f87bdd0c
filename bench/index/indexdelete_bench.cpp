// bench/index/indexdelete_bench.cpp: benchmarks of indexed deletion against memcpy and plain loops.
//
// A deletion replaces its target, so every iteration deletes from a fresh
// share of the same source array (one array object, no data copied) and
// destroys the remainder, as a caller pays for it. The peers write a fresh
// output of the same size: memcpy of the bytes that remain, and a plain
// loop skipping the deleted positions. Rates are bytes of the remainder per
// second.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench_support.h"
#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

using ArrayPtr = ArrayHolder;

// A row of `k` distinct random whole positions in 1..limit, as doubles.
ArrayPtr ScatteredPositions(unsigned int k, unsigned int limit, unsigned int seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned int> all(limit);
    for (unsigned int p = 0; p < limit; ++p) all[p] = p + 1;
    std::shuffle(all.begin(), all.end(), rng);
    ArrayPtr index(mxCreateDoubleMatrix(1, k, mxComplexityReal));
    for (unsigned int i = 0; i < k; ++i) mxGetPr(index.get())[i] = all[i];
    return index;
}

void SetBytes(benchmark::State &state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerIteration));
}

enum class Form { kElements, kRows, kColumns };

template <Form kForm>
void Delete(CMatrix *&a, const CMatrix *s) {
    if (kForm == Form::kElements) Indexdelete(a, s);
    if (kForm == Form::kRows) IndexdeleteRow(a, s);
    if (kForm == Form::kColumns) IndexdeleteColumn(a, s);
}

// Arguments: rows and columns of A, number of positions deleted.
template <Form kForm>
void BM_Indexdelete(benchmark::State &state) {
    const auto m = static_cast<unsigned int>(state.range(0));
    const auto n = static_cast<unsigned int>(state.range(1));
    const auto k = static_cast<unsigned int>(state.range(2));
    ArrayPtr source = bench_support::CountingMatrix(m, n);
    const unsigned int extent = kForm == Form::kElements ? m * n : kForm == Form::kRows ? m : n;
    ArrayPtr S = ScatteredPositions(k, extent, 7);
    for (auto _ : state) {
        CMatrix *a = source->CreateShareArray();
        Delete<kForm>(a, S.get());
        benchmark::DoNotOptimize(a);
        mxDestroyArray(a);
    }
    const std::size_t left = kForm == Form::kElements ? std::size_t{m} * n - k
                             : kForm == Form::kRows   ? std::size_t{m - k} * n
                                                      : std::size_t{m} * (n - k);
    SetBytes(state, left * sizeof(double));
}

// Copies the bytes that a deletion keeps, in one block, into a fresh output.
void BM_Memcpy(benchmark::State &state) {
    const auto bytes = static_cast<std::size_t>(state.range(0)) * sizeof(double);
    std::vector<double> source(static_cast<std::size_t>(state.range(0)), 1.0);
    for (auto _ : state) {
        std::unique_ptr<char[]> out(new char[bytes]);
        std::memcpy(out.get(), source.data(), bytes);
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    SetBytes(state, bytes);
}

// The same copy into an output allocated once and already touched: the copy
// alone, without the cost of fresh pages (which the library's large buffers
// may take as huge pages, new[] here not).
void BM_Memcpy_WarmOutput(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<double> source(n, 1.0), out(n);
    for (auto _ : state) {
        std::memcpy(out.data(), source.data(), n * sizeof(double));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, n * sizeof(double));
}

// 10 scattered columns (or rows) of a 2000x2000 matrix (32 MB); a small
// 100x100 one that stays in cache.
BENCHMARK(BM_Indexdelete<Form::kColumns>)
    ->Args({100, 100, 10})
    ->Args({2000, 2000, 10})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Indexdelete<Form::kRows>)
    ->Args({100, 100, 10})
    ->Args({2000, 2000, 10})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->Arg(100 * 90)->Arg(2000 * 1990)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy_WarmOutput)->Arg(100 * 90)->Arg(2000 * 1990)->Unit(benchmark::kMicrosecond);

// 10^5 random positions of 10^7 elements; 100 of 10^4.
BENCHMARK(BM_Indexdelete<Form::kElements>)
    ->Args({10000, 1, 100})
    ->Args({10000000, 1, 100000})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->Arg(10000 - 100)->Arg(10000000 - 100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy_WarmOutput)
    ->Arg(10000 - 100)
    ->Arg(10000000 - 100000)
    ->Unit(benchmark::kMicrosecond);

// The plain loop: mark the deleted positions, then copy the others.
void BM_PlainLoop_DeleteElements(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr source = bench_support::CountingMatrix(n, 1);
    ArrayPtr S = ScatteredPositions(k, n, 7);
    const double *a = mxGetPr(source.get());
    const double *positions = mxGetPr(S.get());
    for (auto _ : state) {
        std::vector<unsigned char> deleted(n, 0);
        for (unsigned int i = 0; i < k; ++i) {
            deleted[static_cast<std::size_t>(positions[i]) - 1] = 1;
        }
        std::unique_ptr<double[]> out(new double[n - k]);
        std::size_t j = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!deleted[i]) out[j++] = a[i];
        }
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    SetBytes(state, std::size_t{n - k} * sizeof(double));
}
BENCHMARK(BM_PlainLoop_DeleteElements)
    ->Args({10000, 100})
    ->Args({10000000, 100000})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
