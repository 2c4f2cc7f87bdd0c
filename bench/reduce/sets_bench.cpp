// bench/reduce/sets_bench.cpp: Unique and Sort of 10^6 doubles against the
// standard algorithms, in the same run.
//
// The peer copies the data into a preallocated buffer, then std::sort (and
// for unique std::unique); the library reads its argument and builds fresh
// results (Unique its sorted values and both index outputs' work: a stable
// sort with positions, then linear passes). Data: normally distributed
// values rounded to 1/64, so about a tenth of them repeat. Sizes: 16 (the
// size the smoke test runs) and 10^6. The processor's name is printed in
// the context lines.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace km = kiv::matrix;

// The processor's name from /proc/cpuinfo, in the benchmark's context.
const bool kNamed = [] {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) {
            benchmark::AddCustomContext("processor", line.substr(line.find(':') + 2));
            break;
        }
    return true;
}();

void Sizes(benchmark::internal::Benchmark *b) {
    for (long n : {16L, 1000000L}) b->Arg(n);
    b->Unit(benchmark::kMillisecond);
}

std::vector<double> Values(std::size_t n) {
    std::mt19937_64 random(12345);
    std::normal_distribution<double> normal;
    std::vector<double> v(n);
    for (double &x : v) x = std::round(normal(random) * 64.0 * 64.0) / 64.0;
    return v;
}

void SetItems(benchmark::State &state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Unique(benchmark::State &state) {
    const km::Array a(Values(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        km::UniqueResult r = km::Unique(a);
        benchmark::DoNotOptimize(r.values.get());
    }
    SetItems(state);
}
BENCHMARK(BM_Unique)->Apply(Sizes);

void BM_StdSortUnique(benchmark::State &state) {
    const std::vector<double> v = Values(static_cast<std::size_t>(state.range(0)));
    std::vector<double> w(v.size());
    for (auto _ : state) {
        std::copy(v.begin(), v.end(), w.begin());
        std::sort(w.begin(), w.end());
        const auto end = std::unique(w.begin(), w.end());
        benchmark::DoNotOptimize(end);
    }
    SetItems(state);
}
BENCHMARK(BM_StdSortUnique)->Apply(Sizes);

void BM_Sort(benchmark::State &state) {
    const km::Array a(Values(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        km::Array r = km::Array::Adopt(km::Sort(a.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetItems(state);
}
BENCHMARK(BM_Sort)->Apply(Sizes);

void BM_StdSort(benchmark::State &state) {
    const std::vector<double> v = Values(static_cast<std::size_t>(state.range(0)));
    std::vector<double> w(v.size());
    for (auto _ : state) {
        std::copy(v.begin(), v.end(), w.begin());
        std::sort(w.begin(), w.end());
        benchmark::DoNotOptimize(w.data());
    }
    SetItems(state);
}
BENCHMARK(BM_StdSort)->Apply(Sizes);

}  // namespace
