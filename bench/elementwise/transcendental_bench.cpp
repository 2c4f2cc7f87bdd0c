// bench/elementwise/transcendental_bench.cpp: Sin, Log and Floor against a
// loop calling the same standard function into a preallocated buffer.
//
// The loop is the bound the library is held to: the same calls, no checks,
// no result to create. The library pays for a fresh result (destroyed in
// the loop, as a caller does); the difference is that cost. Sizes: 16
// elements (the fixed cost of checks and allocation; also the size the
// smoke test runs) and 10^6 (8 MB per array, the size of the target).
#include <benchmark/benchmark.h>
#include <matrix/elementwise.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "bench_support.h"
#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

using bench_support::AlignedBuffer;

void Sizes(benchmark::internal::Benchmark *b) {
    for (long n : {16L, 1000000L}) b->Arg(n);
}

// An n x 1 operand with values spread over [lo, hi), from a fixed linear
// congruential sequence so that every run sees the same data.
ArrayHolder Operand(std::size_t n, double lo, double hi) {
    ArrayHolder a(mxCreateDoubleMatrix(static_cast<unsigned int>(n), 1, mxComplexityReal));
    std::uint64_t state = 0x2545F4914F6CDD1D;
    double *p = mxGetPr(a.get());
    for (std::size_t i = 0; i < n; ++i) {
        state = state * 6364136223846793005 + 1442695040888963407;
        p[i] = lo + (hi - lo) * static_cast<double>(state >> 11) * 0x1p-53;
    }
    return a;
}

void SetRate(benchmark::State &state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

template <class Call>
void RunLibrary(benchmark::State &state, double lo, double hi, Call call) {
    const ArrayHolder a = Operand(static_cast<std::size_t>(state.range(0)), lo, hi);
    for (auto _ : state) {
        CMatrix *r = call(a.get());
        benchmark::DoNotOptimize(r->GetPr());
        mxDestroyArray(r);
    }
    SetRate(state);
}

template <double (*kF)(double)>
void RunLoopPreallocated(benchmark::State &state, double lo, double hi) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const ArrayHolder in = Operand(n, lo, hi);
    const double *a = mxGetPr(in.get());
    AlignedBuffer r(n);
    for (std::size_t i = 0; i < n; ++i) r.data[i] = 0.0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) r.data[i] = kF(a[i]);
        benchmark::DoNotOptimize(r.data);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}

double StdSin(double x) { return std::sin(x); }
double StdLog(double x) { return std::log(x); }
double StdFloor(double x) { return std::floor(x); }

// Arguments in [-10, 10) for Sin (the fast range of the library function),
// (0, 100) for Log (real results), [-1e6, 1e6) for Floor.
void BM_Sin(benchmark::State &state) { RunLibrary(state, -10, 10, Sin); }
void BM_Sin_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated<StdSin>(state, -10, 10);
}
void BM_Log(benchmark::State &state) { RunLibrary(state, 1e-3, 100, Log); }
void BM_Log_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated<StdLog>(state, 1e-3, 100);
}
void BM_Floor(benchmark::State &state) { RunLibrary(state, -1e6, 1e6, Floor); }
void BM_Floor_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated<StdFloor>(state, -1e6, 1e6);
}
BENCHMARK(BM_Sin)->Apply(Sizes);
BENCHMARK(BM_Sin_Loop_Preallocated)->Apply(Sizes);
BENCHMARK(BM_Log)->Apply(Sizes);
BENCHMARK(BM_Log_Loop_Preallocated)->Apply(Sizes);
BENCHMARK(BM_Floor)->Apply(Sizes);
BENCHMARK(BM_Floor_Loop_Preallocated)->Apply(Sizes);

}  // namespace
