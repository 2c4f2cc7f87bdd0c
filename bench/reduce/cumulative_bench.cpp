// bench/reduce/cumulative_bench.cpp: Cumsum along columns against a plain
// memory copy of the same size.
//
// A running sum reads each element once and writes one result, as a copy
// does, so the copy into a fresh buffer is the memory-speed bound; the
// library also creates its result in every iteration. Arguments are
// columns, then rows: 4 x 4 (fixed cost; the size the smoke test runs),
// 1000 x 1000 (8 MB, beyond L2) and one column of 10^6 rows, a single chain
// of dependent additions.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bench_support.h"
#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

using bench_support::AlignedBuffer;

void Shapes(benchmark::internal::Benchmark *b) {
    b->Args({4, 4});
    b->Args({1000, 1000});
    b->Args({1, 1000000});
    b->Unit(benchmark::kMicrosecond);
}

ArrayHolder Filled(unsigned int m, unsigned int n) {
    ArrayHolder a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    double *p = mxGetPr(a.get());
    for (std::size_t k = 0; k < std::size_t{m} * n; ++k) {
        p[k] = 1.0 + static_cast<double>(k % 97) / 1024.0;
    }
    return a;
}

void SetBytes(benchmark::State &state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) *
                            state.range(1) * static_cast<std::int64_t>(sizeof(double)));
}

void BM_Cumsum_Dim1(benchmark::State &state) {
    const ArrayHolder a = Filled(static_cast<unsigned int>(state.range(1)),
                                 static_cast<unsigned int>(state.range(0)));
    for (auto _ : state) {
        ArrayHolder r(Cumsum(a.get(), 1));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state);
}
BENCHMARK(BM_Cumsum_Dim1)->Apply(Shapes);

// The bound: the same bytes copied into a fresh buffer.
void BM_Memcpy(benchmark::State &state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0) * state.range(1));
    const ArrayHolder a = Filled(static_cast<unsigned int>(state.range(1)),
                                 static_cast<unsigned int>(state.range(0)));
    for (auto _ : state) {
        AlignedBuffer r(n);
        std::memcpy(r.data, mxGetPr(a.get()), n * sizeof(double));
        benchmark::DoNotOptimize(r.data);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Memcpy)->Apply(Shapes);

}  // namespace
