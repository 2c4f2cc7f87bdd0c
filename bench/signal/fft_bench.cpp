// bench/signal/fft_bench.cpp: Fft of one complex column against FFTW's
// estimate-planned, out-of-place complex double transform, in one run.
//
// Lengths: 2^10, 2^12, 2^16, 2^20, the prime 65537 (Bluestein's method
// here), and the mixed 3*5*7*11*64 = 73920. BM_Fft times the library
// function, its result created and the split real and imaginary parts
// gathered and scattered, which FFTW's plan does not do. BM_FftReal and
// BM_FftwReal: a real column of the even lengths (FFTW's r2c gives half the
// spectrum, the library all of it). The processor's name is printed in the
// context.
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <matrix/matrix.h>

#include <cmath>
#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

#include "core/array_holder.h"

namespace {

using namespace kiv::matrix;

// The model name from /proc/cpuinfo, for the context block.
const bool kProcessorNamed = [] {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line))
        if (line.rfind("model name", 0) == 0) {
            benchmark::AddCustomContext("processor", line.substr(line.find(':') + 2));
            break;
        }
    return true;
}();

void Lengths(benchmark::internal::Benchmark *b) {
    for (long n : {1L << 10, 1L << 12, 1L << 16, 1L << 20, 65537L, 73920L}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

ArrayHolder Signal(unsigned int n) {
    ArrayHolder a(mxCreateDoubleMatrix(n, 1, mxComplexityComplex));
    double *re = mxGetPr(a.get()), *im = mxGetPi(a.get());
    for (unsigned int k = 0; k < n; ++k) {
        re[k] = std::sin(0.001 * k);
        im[k] = std::cos(0.003 * k);
    }
    return a;
}

void SetFlops(benchmark::State &state) {
    // The usual 5 n log2(n) count, as FFTW's own benchmarks report it.
    const double n = static_cast<double>(state.range(0));
    state.counters["MFlops"] = benchmark::Counter(5 * n * std::log2(n) * state.iterations() / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void BM_Fft(benchmark::State &state) {
    const ArrayHolder x = Signal(static_cast<unsigned int>(state.range(0)));
    for (auto _ : state) {
        ArrayHolder y(Fft(x.get()));
        benchmark::DoNotOptimize(y.get());
    }
    SetFlops(state);
}
BENCHMARK(BM_Fft)->Apply(Lengths);

void BM_Fftw(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    fftw_complex *in = fftw_alloc_complex(n), *out = fftw_alloc_complex(n);
    for (int k = 0; k < n; ++k) in[k][0] = std::sin(0.001 * k), in[k][1] = std::cos(0.003 * k);
    fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    SetFlops(state);
}
BENCHMARK(BM_Fftw)->Apply(Lengths);

void EvenLengths(benchmark::internal::Benchmark *b) {
    for (long n : {1L << 10, 1L << 16, 1L << 20, 73920L}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

void BM_FftReal(benchmark::State &state) {
    const unsigned int n = static_cast<unsigned int>(state.range(0));
    ArrayHolder x(mxCreateDoubleMatrix(n, 1, mxComplexityReal));
    for (unsigned int k = 0; k < n; ++k) mxGetPr(x.get())[k] = std::sin(0.001 * k);
    for (auto _ : state) {
        ArrayHolder y(Fft(x.get()));
        benchmark::DoNotOptimize(y.get());
    }
    SetFlops(state);
}
BENCHMARK(BM_FftReal)->Apply(EvenLengths);

void BM_FftwReal(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    double *in = fftw_alloc_real(n);
    fftw_complex *out = fftw_alloc_complex(n / 2 + 1);
    for (int k = 0; k < n; ++k) in[k] = std::sin(0.001 * k);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    SetFlops(state);
}
BENCHMARK(BM_FftwReal)->Apply(EvenLengths);

}  // namespace
