// bench/index/indexref_bench.cpp: benchmarks of indexed reference against plain gather loops.
//
// Each library call runs beside a plain C++ loop doing the same gather over
// the same data in the same run. Both produce a new output every iteration
// (the library's result is created and destroyed inside the timed loop, as a
// caller pays for it), so the difference is what checking the subscript and
// building the array cost; the _WarmOutput loops reuse one output and show
// the gather alone. Large data buffers of the library may get huge pages
// while the plain loops' new[] does not, which favours the library where
// fresh pages dominate. Rates are bytes of the result per second.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench_support.h"
#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

using ArrayPtr = ArrayHolder;

// A column of `n` random whole positions in 1..limit, stored as doubles.
ArrayPtr RandomIndex(unsigned int n, unsigned int limit, unsigned int seed) {
    ArrayPtr index(mxCreateDoubleMatrix(n, 1, mxComplexityReal));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<unsigned int> draw(1, limit);
    for (unsigned int k = 0; k < n; ++k) mxGetPr(index.get())[k] = draw(rng);
    return index;
}

// A logical column mask of `n` elements, each true with probability `density`.
ArrayPtr RandomMask(unsigned int n, double density, unsigned int seed) {
    ArrayPtr mask(mxCreateDoubleMatrix(n, 1, mxComplexityReal));
    std::mt19937 rng(seed);
    std::bernoulli_distribution draw(density);
    for (unsigned int k = 0; k < n; ++k) mxGetPr(mask.get())[k] = draw(rng) ? 1.0 : 0.0;
    mask->SetLogical();
    return mask;
}

void SetBytes(benchmark::State &state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerIteration));
}

// --- A(I) with a double index ----------------------------------------------------

// Arguments: elements of A, elements of I. The small sizes stay in cache and
// show the fixed cost; 10^6 indices into 10^7 elements (80 MB) miss the cache
// on nearly every read.
void GatherSizes(benchmark::internal::Benchmark *b) {
    b->Args({1000, 100})->Args({100000, 10000})->Args({10000000, 1000000});
    b->Unit(benchmark::kMicrosecond);
}

void BM_Indexref_Index(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr A = bench_support::CountingMatrix(n, 1);
    ArrayPtr I = RandomIndex(k, n, 1);
    for (auto _ : state) {
        CMatrix *R = Indexref(A.get(), I.get());
        benchmark::DoNotOptimize(R);
        mxDestroyArray(R);
    }
    SetBytes(state, std::size_t{k} * sizeof(double));
}
BENCHMARK(BM_Indexref_Index)->Apply(GatherSizes);

// The plain gather a C++ programmer would write for whole-number indices:
// no check, truncation instead of rounding, a fresh output.
void BM_PlainGather_Index(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr A = bench_support::CountingMatrix(n, 1);
    ArrayPtr I = RandomIndex(k, n, 1);
    const double *a = mxGetPr(A.get());
    const double *index = mxGetPr(I.get());
    for (auto _ : state) {
        std::unique_ptr<double[]> out(new double[k]);
        for (std::size_t i = 0; i < k; ++i) out[i] = a[static_cast<std::size_t>(index[i]) - 1];
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    SetBytes(state, std::size_t{k} * sizeof(double));
}
BENCHMARK(BM_PlainGather_Index)->Apply(GatherSizes);

// The same gather into an output allocated once and already touched: the
// kernel alone, without the cost of fresh pages.
void BM_PlainGather_Index_WarmOutput(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr A = bench_support::CountingMatrix(n, 1);
    ArrayPtr I = RandomIndex(k, n, 1);
    const double *a = mxGetPr(A.get());
    const double *index = mxGetPr(I.get());
    std::vector<double> out(k);
    for (auto _ : state) {
        for (std::size_t i = 0; i < k; ++i) out[i] = a[static_cast<std::size_t>(index[i]) - 1];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, std::size_t{k} * sizeof(double));
}
BENCHMARK(BM_PlainGather_Index_WarmOutput)->Apply(GatherSizes);

// --- A(mask) -----------------------------------------------------------------------

// Arguments: elements of A and of the mask, density of true elements in
// percent. Half true is the worst case for a branch per element.
void MaskSizes(benchmark::internal::Benchmark *b) {
    for (int density : {10, 50, 90}) b->Args({10000, density})->Args({10000000, density});
    b->Unit(benchmark::kMicrosecond);
}

void BM_Indexref_Mask(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr A = bench_support::CountingMatrix(n, 1);
    ArrayPtr M = RandomMask(n, state.range(1) / 100.0, 2);
    std::size_t count = 0;
    for (unsigned int i = 0; i < n; ++i) count += mxGetPr(M.get())[i] != 0.0;
    for (auto _ : state) {
        CMatrix *R = Indexref(A.get(), M.get());
        benchmark::DoNotOptimize(R);
        mxDestroyArray(R);
    }
    SetBytes(state, count * sizeof(double));
}
BENCHMARK(BM_Indexref_Mask)->Apply(MaskSizes);

// The plain selection loop, given the count of true elements for free.
void BM_PlainLoop_Mask(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr A = bench_support::CountingMatrix(n, 1);
    ArrayPtr M = RandomMask(n, state.range(1) / 100.0, 2);
    const double *a = mxGetPr(A.get());
    const double *m = mxGetPr(M.get());
    std::size_t count = 0;
    for (unsigned int i = 0; i < n; ++i) count += m[i] != 0.0;
    for (auto _ : state) {
        std::unique_ptr<double[]> out(new double[count]);
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (m[i] != 0.0) out[k++] = a[i];
        }
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    SetBytes(state, count * sizeof(double));
}
BENCHMARK(BM_PlainLoop_Mask)->Apply(MaskSizes);

void BM_PlainLoop_Mask_WarmOutput(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr A = bench_support::CountingMatrix(n, 1);
    ArrayPtr M = RandomMask(n, state.range(1) / 100.0, 2);
    const double *a = mxGetPr(A.get());
    const double *m = mxGetPr(M.get());
    std::size_t count = 0;
    for (unsigned int i = 0; i < n; ++i) count += m[i] != 0.0;
    std::vector<double> out(count);
    for (auto _ : state) {
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (m[i] != 0.0) out[k++] = a[i];
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, count * sizeof(double));
}
BENCHMARK(BM_PlainLoop_Mask_WarmOutput)->Apply(MaskSizes);

// --- A(I,J) ------------------------------------------------------------------------

// Arguments: the side of a square A, the number of rows and of columns
// taken. Random rows gather element by element; a colon row subscript makes
// each column one block copy.
void BlockSizes(benchmark::internal::Benchmark *b) {
    b->Args({100, 50})->Args({2000, 1000});
    b->Unit(benchmark::kMicrosecond);
}

void BM_Indexref_Block(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr A = bench_support::CountingMatrix(n, n);
    ArrayPtr I = RandomIndex(k, n, 3), J = RandomIndex(k, n, 4);
    for (auto _ : state) {
        CMatrix *R = Indexref(A.get(), I.get(), J.get());
        benchmark::DoNotOptimize(R);
        mxDestroyArray(R);
    }
    SetBytes(state, std::size_t{k} * k * sizeof(double));
}
BENCHMARK(BM_Indexref_Block)->Apply(BlockSizes);

void BM_PlainGather_Block(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr A = bench_support::CountingMatrix(n, n);
    ArrayPtr I = RandomIndex(k, n, 3), J = RandomIndex(k, n, 4);
    const double *a = mxGetPr(A.get());
    const double *rows = mxGetPr(I.get()), *columns = mxGetPr(J.get());
    for (auto _ : state) {
        std::unique_ptr<double[]> out(new double[std::size_t{k} * k]);
        for (std::size_t j = 0; j < k; ++j) {
            const double *column = a + (static_cast<std::size_t>(columns[j]) - 1) * n;
            for (std::size_t i = 0; i < k; ++i) {
                out[i + j * k] = column[static_cast<std::size_t>(rows[i]) - 1];
            }
        }
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    SetBytes(state, std::size_t{k} * k * sizeof(double));
}
BENCHMARK(BM_PlainGather_Block)->Apply(BlockSizes);

void BM_Indexref_Columns(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    const auto k = static_cast<unsigned int>(state.range(1));
    ArrayPtr A = bench_support::CountingMatrix(n, n);
    ArrayPtr colon(mxCreateColonIndex());
    ArrayPtr J = RandomIndex(k, n, 4);
    for (auto _ : state) {
        CMatrix *R = Indexref(A.get(), colon.get(), J.get());
        benchmark::DoNotOptimize(R);
        mxDestroyArray(R);
    }
    SetBytes(state, std::size_t{n} * k * sizeof(double));
}
BENCHMARK(BM_Indexref_Columns)->Apply(BlockSizes);

// --- A(:,:,k): a page of a three-dimensional array ------------------------------------

// Argument: the side n of an n x n x 8 array. The page through three
// subscripts against the same block of columns through two, so that the
// difference is what the general form costs.
void PageSizes(benchmark::internal::Benchmark *b) {
    b->Arg(100)->Arg(1000);
    b->Unit(benchmark::kMicrosecond);
}

void BM_Indexref_Page3(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr A = bench_support::CountingMatrix(n, n * 8);
    const unsigned int dims[] = {n, n, 8};
    A->Reshape(3, dims);
    ArrayPtr colon(mxCreateColonIndex()), page(Scalar(3));
    const std::vector<const CMatrix *> subscripts = {colon.get(), colon.get(), page.get()};
    for (auto _ : state) {
        CMatrix *R = Indexref(A.get(), subscripts);
        benchmark::DoNotOptimize(R);
        mxDestroyArray(R);
    }
    SetBytes(state, std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_Indexref_Page3)->Apply(PageSizes);

void BM_Indexref_PageAsColumns(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr A = bench_support::CountingMatrix(n, n * 8);
    ArrayPtr colon(mxCreateColonIndex());
    ArrayPtr J(mxCreateDoubleMatrix(1, n, mxComplexityReal));
    for (unsigned int j = 0; j < n; ++j) mxGetPr(J.get())[j] = 2.0 * n + j + 1;
    for (auto _ : state) {
        CMatrix *R = Indexref(A.get(), colon.get(), J.get());
        benchmark::DoNotOptimize(R);
        mxDestroyArray(R);
    }
    SetBytes(state, std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_Indexref_PageAsColumns)->Apply(PageSizes);

}  // namespace
