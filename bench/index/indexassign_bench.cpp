// bench/index/indexassign_bench.cpp: benchmarks of indexed assignment against plain scatter loops.
//
// Each library call runs beside a plain C++ loop doing the same scatter over
// the same data in the same run. The target is created once, outside the
// timed loop, and written again every iteration, as a caller assigning into
// a variable does; it is not shared, so no copy is made. The difference to
// the plain loop is what checking and converting the subscript costs. Rates
// are bytes written per second.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

using ArrayPtr = ArrayHolder;

ArrayPtr Counting(unsigned int m, unsigned int n) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    double *p = mxGetPr(a.get());
    for (std::size_t k = 0; k < std::size_t{m} * n; ++k) p[k] = static_cast<double>(k);
    return a;
}

// A row of `n` random whole positions in 1..limit, stored as doubles.
ArrayPtr RandomPositions(unsigned int n, unsigned int limit, unsigned int seed) {
    ArrayPtr index(mxCreateDoubleMatrix(1, n, mxComplexityReal));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<unsigned int> draw(1, limit);
    for (unsigned int k = 0; k < n; ++k) mxGetPr(index.get())[k] = draw(rng);
    return index;
}

void SetBytes(benchmark::State &state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerIteration));
}

// --- A(I) = B with a double index ----------------------------------------------------

// Arguments: elements of A, elements of I. The small sizes stay in cache and
// show the fixed cost; 10^6 indices into 10^7 elements (80 MB) miss the cache
// on nearly every write.
void ScatterSizes(benchmark::internal::Benchmark *b) {
    b->Args({64, 16})->Args({100000, 10000})->Args({10000000, 1000000});
}

void BM_Indexassign_Scatter(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr a = Counting(1, n), index = RandomPositions(k, n, 1), b = Counting(1, k);
    CMatrix *target = a.release();
    for (auto _ : state) {
        Indexassign(target, index.get(), b.get());
        benchmark::DoNotOptimize(mxGetPr(target));
        benchmark::ClobberMemory();
    }
    a.reset(target);
    SetBytes(state, std::size_t{k} * sizeof(double));
}
BENCHMARK(BM_Indexassign_Scatter)->Apply(ScatterSizes);

// The plain scatter: the index values are whole numbers, so a cast stands
// in for the rounding rule.
void BM_Indexassign_Scatter_Loop(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr a = Counting(1, n), index = RandomPositions(k, n, 1), b = Counting(1, k);
    double *target = mxGetPr(a.get());
    const double *positions = mxGetPr(index.get());
    const double *source = mxGetPr(b.get());
    for (auto _ : state) {
        for (unsigned int i = 0; i < k; ++i) {
            target[static_cast<std::size_t>(positions[i]) - 1] = source[i];
        }
        benchmark::DoNotOptimize(target);
        benchmark::ClobberMemory();
    }
    SetBytes(state, std::size_t{k} * sizeof(double));
}
BENCHMARK(BM_Indexassign_Scatter_Loop)->Apply(ScatterSizes);

// A(I) = s: the scalar is broadcast without a replicated array.
void BM_Indexassign_ScatterScalar(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr a = Counting(1, n), index = RandomPositions(k, n, 1);
    ArrayPtr s(Scalar(-1.0));
    CMatrix *target = a.release();
    for (auto _ : state) {
        Indexassign(target, index.get(), s.get());
        benchmark::DoNotOptimize(mxGetPr(target));
        benchmark::ClobberMemory();
    }
    a.reset(target);
    SetBytes(state, std::size_t{k} * sizeof(double));
}
BENCHMARK(BM_Indexassign_ScatterScalar)->Apply(ScatterSizes);

// --- A(:,J) = B: whole columns ---------------------------------------------------------

// Arguments: rows (= columns) of A, columns written. Each column is one run
// of rows, copied as a block.
void BlockSizes(benchmark::internal::Benchmark *b) {
    b->Args({8, 2})->Args({2000, 10})->Args({2000, 200});
}

void BM_Indexassign_Columns(benchmark::State &state) {
    const auto m = static_cast<unsigned int>(state.range(0));
    const auto c = static_cast<unsigned int>(state.range(1));
    ArrayPtr a = Counting(m, m), columns = RandomPositions(c, m, 2), b = Counting(m, c);
    ArrayPtr colon(mxCreateColonIndex());
    CMatrix *target = a.release();
    for (auto _ : state) {
        Indexassign(target, colon.get(), columns.get(), b.get());
        benchmark::DoNotOptimize(mxGetPr(target));
        benchmark::ClobberMemory();
    }
    a.reset(target);
    SetBytes(state, std::size_t{m} * c * sizeof(double));
}
BENCHMARK(BM_Indexassign_Columns)->Apply(BlockSizes);

void BM_Indexassign_Columns_Loop(benchmark::State &state) {
    const auto m = static_cast<unsigned int>(state.range(0));
    const auto c = static_cast<unsigned int>(state.range(1));
    ArrayPtr a = Counting(m, m), columns = RandomPositions(c, m, 2), b = Counting(m, c);
    double *target = mxGetPr(a.get());
    const double *positions = mxGetPr(columns.get());
    const double *source = mxGetPr(b.get());
    for (auto _ : state) {
        for (unsigned int j = 0; j < c; ++j) {
            double *column = target + (static_cast<std::size_t>(positions[j]) - 1) * m;
            for (unsigned int i = 0; i < m; ++i) column[i] = source[std::size_t{j} * m + i];
        }
        benchmark::DoNotOptimize(target);
        benchmark::ClobberMemory();
    }
    SetBytes(state, std::size_t{m} * c * sizeof(double));
}
BENCHMARK(BM_Indexassign_Columns_Loop)->Apply(BlockSizes);

// --- A(end+1) = x, one element at a time ---------------------------------------------

// Argument: final length of the row. Every step grows A by one element. A
// buffer that grows repeatedly keeps room to spare, so most steps grow in
// place and n steps copy O(n) elements (without that room, 10^5 steps would
// copy some 40 GB). One iteration per size; the time is for all n steps.
void GrowSizes(benchmark::internal::Benchmark *b) {
    b->Arg(10)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
}

void BM_Indexassign_GrowRow(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr x(Scalar(7.0)), end(Scalar(0.0));
    for (auto _ : state) {
        CMatrix *a = mxCreateDoubleMatrix(0, 0, mxComplexityReal);
        for (unsigned int k = 1; k <= n; ++k) {
            *mxGetPr(end.get()) = k;
            Indexassign(a, end.get(), x.get());
        }
        benchmark::DoNotOptimize(mxGetPr(a));
        mxDestroyArray(a);
    }
    SetBytes(state, std::size_t{n} * sizeof(double));
}
BENCHMARK(BM_Indexassign_GrowRow)->Apply(GrowSizes);

// The same growth through std::vector, the peer for amortised appends.
void BM_Indexassign_GrowRow_VectorPushBack(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    for (auto _ : state) {
        std::vector<double> a;
        for (unsigned int k = 1; k <= n; ++k) a.push_back(7.0);
        benchmark::DoNotOptimize(a.data());
    }
    SetBytes(state, std::size_t{n} * sizeof(double));
}
BENCHMARK(BM_Indexassign_GrowRow_VectorPushBack)->Apply(GrowSizes);

// --- A(i,j,k) = x: one element, the cost of a call -------------------------------------

// One element of a 50 x 50 x 50 array through three subscripts, against the
// same element through two (rows by folded columns): the difference is what
// the general form costs per call.
void BM_Indexassign_Element3(benchmark::State &state) {
    ArrayPtr a = Counting(50, 2500);
    const unsigned int dims[] = {50, 50, 50};
    a->Reshape(3, dims);
    ArrayPtr i(Scalar(7)), j(Scalar(8)), k(Scalar(9));
    ArrayPtr x(Scalar(1.5));
    const std::vector<const CMatrix *> subscripts = {i.get(), j.get(), k.get()};
    CMatrix *target = a.release();
    for (auto _ : state) {
        Indexassign(target, subscripts, x.get());
        benchmark::DoNotOptimize(mxGetPr(target));
        benchmark::ClobberMemory();
    }
    a.reset(target);
}
BENCHMARK(BM_Indexassign_Element3);

void BM_Indexassign_Element2(benchmark::State &state) {
    ArrayPtr a = Counting(50, 2500);
    ArrayPtr i(Scalar(7)), j(Scalar(8 + 50 * 8));
    ArrayPtr x(Scalar(1.5));
    CMatrix *target = a.release();
    for (auto _ : state) {
        Indexassign(target, i.get(), j.get(), x.get());
        benchmark::DoNotOptimize(mxGetPr(target));
        benchmark::ClobberMemory();
    }
    a.reset(target);
}
BENCHMARK(BM_Indexassign_Element2);

}  // namespace
