// bench/construct/constructors_bench.cpp: filled arrays and ranges against plain fills of the same size.
//
// Each library benchmark has a peer over the same number of doubles in the
// same run: an allocation plus memset, std::fill or a plain loop, freed in
// the loop as the library's result is. Initialize and the preallocated peers
// show the fill alone. Sizes: 64 elements (call overhead dominates), 4096
// (L1/L2), 2^18 (2 MiB, last-level cache) and 2^22 (32 MiB, memory bound).
#include <benchmark/benchmark.h>
#include <kiv/random.h>
#include <matrix/construct.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "bench_support.h"

namespace {

using namespace kiv::matrix;

using bench_support::AlignedBuffer;
using bench_support::kAlignment;

void Sizes(benchmark::internal::Benchmark *b) {
    for (long n : {64L, 4096L, 1L << 18, 1L << 22}) b->Arg(n);
}

void SetRate(benchmark::State &state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) *
                            static_cast<std::int64_t>(sizeof(double)));
}

unsigned int Count(const benchmark::State &state) {
    return static_cast<unsigned int>(state.range(0));
}

// --- Zeros and Ones against allocate-and-fill ---------------------------------

void BM_Zeros(benchmark::State &state) {
    for (auto _ : state) {
        CMatrix *a = Zeros(Count(state), 1u);
        benchmark::DoNotOptimize(a->GetPr());
        mxDestroyArray(a);
    }
    SetRate(state);
}
BENCHMARK(BM_Zeros)->Apply(Sizes);

void BM_Peer_AllocMemset(benchmark::State &state) {
    for (auto _ : state) {
        AlignedBuffer b(Count(state));
        std::memset(b.data, 0, Count(state) * sizeof(double));
        benchmark::DoNotOptimize(b.data);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_Peer_AllocMemset)->Apply(Sizes);

void BM_Ones(benchmark::State &state) {
    for (auto _ : state) {
        CMatrix *a = Ones(Count(state), 1u);
        benchmark::DoNotOptimize(a->GetPr());
        mxDestroyArray(a);
    }
    SetRate(state);
}
BENCHMARK(BM_Ones)->Apply(Sizes);

void BM_Peer_AllocFill(benchmark::State &state) {
    for (auto _ : state) {
        AlignedBuffer b(Count(state));
        std::fill_n(b.data, Count(state), 1.0);
        benchmark::DoNotOptimize(b.data);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_Peer_AllocFill)->Apply(Sizes);

// --- Initialize against a fill of a preallocated buffer -------------------------

void BM_Initialize(benchmark::State &state) {
    CMatrix *a = Zeros(Count(state), 1u);
    double x = 0.0;
    for (auto _ : state) {
        Initialize(a, x);
        x += 1.0;
        benchmark::DoNotOptimize(a->GetPr());
        benchmark::ClobberMemory();
    }
    mxDestroyArray(a);
    SetRate(state);
}
BENCHMARK(BM_Initialize)->Apply(Sizes);

void BM_Peer_Fill(benchmark::State &state) {
    AlignedBuffer b(Count(state));
    double x = 0.0;
    for (auto _ : state) {
        std::fill_n(b.data, Count(state), x);
        x += 1.0;
        benchmark::DoNotOptimize(b.data);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_Peer_Fill)->Apply(Sizes);

void BM_Peer_Memset(benchmark::State &state) {
    AlignedBuffer b(Count(state));
    for (auto _ : state) {
        std::memset(b.data, 0, Count(state) * sizeof(double));
        benchmark::DoNotOptimize(b.data);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_Peer_Memset)->Apply(Sizes);

// --- Colon and Rand against the same serial loops ---------------------------------

void BM_Colon(benchmark::State &state) {
    const double end = static_cast<double>(state.range(0) - 1) * 0.5;
    for (auto _ : state) {
        CMatrix *a = Colon(0.0, 0.5, end);
        benchmark::DoNotOptimize(a->GetPr());
        mxDestroyArray(a);
    }
    SetRate(state);
}
BENCHMARK(BM_Colon)->Apply(Sizes);

void BM_Peer_AllocRunningSum(benchmark::State &state) {
    for (auto _ : state) {
        AlignedBuffer b(Count(state));
        double x = 0.0;
        b.data[0] = x;
        for (unsigned int i = 1; i < Count(state); ++i) b.data[i] = x += 0.5;
        benchmark::DoNotOptimize(b.data);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_Peer_AllocRunningSum)->Apply(Sizes);

void BM_Rand(benchmark::State &state) {
    for (auto _ : state) {
        CMatrix *a = Rand(Count(state), 1u);
        benchmark::DoNotOptimize(a->GetPr());
        mxDestroyArray(a);
    }
    SetRate(state);
}
BENCHMARK(BM_Rand)->Apply(Sizes);

void BM_Peer_AllocRandLoop(benchmark::State &state) {
    for (auto _ : state) {
        AlignedBuffer b(Count(state));
        for (unsigned int i = 0; i < Count(state); ++i) b.data[i] = kiv::Rand();
        benchmark::DoNotOptimize(b.data);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_Peer_AllocRandLoop)->Apply(Sizes);

}  // namespace
