// bench/polyfun/polyfun_bench.cpp: Interp1 (linear) and Conv against plain
// C++ loops of the same arithmetic, in the same run.
//
// Interp1: 1000 sample points, queries spread over the range in a scrambled
// order (each one found by binary search, as the loop does too): 10 (fixed
// cost; the smoke test's size) and 10^6 queries. Conv: a vector of 10^4 by
// one of 10^2 (and 16 by 4), the loop the direct sum in increasing j. The
// library reads and checks its operands and creates its result in every
// iteration; the loops write into a buffer made once. The context names
// the processor.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

std::string Processor() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown";
}

const bool kNamed = (benchmark::AddCustomContext("processor", Processor()), true);

ArrayHolder RowOf(const std::vector<double> &v) {
    return ArrayHolder(mxDoubleMatrix(1, static_cast<unsigned int>(v.size()), v.data(), nullptr));
}

struct Interp1Data {
    std::vector<double> x, v, q;
    explicit Interp1Data(std::size_t m) : x(1000), v(1000), q(m) {
        for (std::size_t k = 0; k < x.size(); ++k) {
            x[k] = static_cast<double>(k) * 0.01;
            v[k] = static_cast<double>((k * 37) % 101) / 7.0;
        }
        for (std::size_t k = 0; k < m; ++k)
            q[k] = static_cast<double>((k * 7919) % m) / static_cast<double>(m) * 9.99;
    }
};

void BM_Interp1Linear(benchmark::State &state) {
    const Interp1Data d(static_cast<std::size_t>(state.range(0)));
    const ArrayHolder x = RowOf(d.x), v = RowOf(d.v), q = RowOf(d.q);
    for (auto _ : state) {
        ArrayHolder out(Interp1(x.get(), v.get(), q.get()));
        benchmark::DoNotOptimize(mxGetPr(out.get()));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Interp1Linear)->Arg(10)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_Interp1Linear_Loop(benchmark::State &state) {
    const Interp1Data d(static_cast<std::size_t>(state.range(0)));
    std::vector<double> out(d.q.size());
    const std::size_t n = d.x.size();
    for (auto _ : state) {
        for (std::size_t k = 0; k < d.q.size(); ++k) {
            const double t = d.q[k];
            std::size_t i =
                static_cast<std::size_t>(std::upper_bound(d.x.begin(), d.x.end(), t) - d.x.begin());
            i = i == 0 ? 0 : std::min(i - 1, n - 2);
            const double s = (t - d.x[i]) / (d.x[i + 1] - d.x[i]);
            out[k] = (1 - s) * d.v[i] + s * d.v[i + 1];
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Interp1Linear_Loop)->Arg(10)->Arg(1000000)->Unit(benchmark::kMicrosecond);

std::vector<double> Filled(std::size_t n, double scale) {
    std::vector<double> v(n);
    for (std::size_t k = 0; k < n; ++k) v[k] = 1.0 + static_cast<double>(k % 97) * scale;
    return v;
}

void BM_Conv(benchmark::State &state) {
    const ArrayHolder u = RowOf(Filled(static_cast<std::size_t>(state.range(0)), 1.0 / 1024));
    const ArrayHolder w = RowOf(Filled(static_cast<std::size_t>(state.range(1)), 1.0 / 512));
    for (auto _ : state) {
        ArrayHolder out(Conv(u.get(), w.get()));
        benchmark::DoNotOptimize(mxGetPr(out.get()));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_Conv)->Args({16, 4})->Args({10000, 100})->Unit(benchmark::kMicrosecond);

void BM_Conv_Loop(benchmark::State &state) {
    const std::vector<double> u = Filled(static_cast<std::size_t>(state.range(0)), 1.0 / 1024);
    const std::vector<double> w = Filled(static_cast<std::size_t>(state.range(1)), 1.0 / 512);
    std::vector<double> c(u.size() + w.size() - 1);
    for (auto _ : state) {
        std::fill(c.begin(), c.end(), 0.0);
        for (std::size_t j = 0; j < u.size(); ++j)
            for (std::size_t i = 0; i < w.size(); ++i) c[j + i] += u[j] * w[i];
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_Conv_Loop)->Args({16, 4})->Args({10000, 100})->Unit(benchmark::kMicrosecond);

}  // namespace
