// bench/elementwise/class_arith_bench.cpp: complex and int32 element-wise arithmetic beside plain loops.
//
// Complex Plus and Times on split storage (the library's) against a plain
// loop over interleaved std::complex<double>, the product written out as
// (ar*br - ai*bi) + (ar*bi + ai*br)i (std::complex's operator* adds the
// C99 Annex G recovery of infinities, which neither side wants here);
// int32 Plus against a loop that adds in 64 bits and saturates. Each peer
// allocates a fresh 64-byte aligned result per call, as the library does.
// Sizes 10^5 (in L2) and 10^7 (memory-bound); 16, the fixed cost, is the
// size the smoke test runs.
#include <benchmark/benchmark.h>
#include <matrix/elementwise.h>
#include <matrix/mx.h>

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

#include "bench_support.h"

namespace {

using namespace kiv::matrix;
using bench_support::kAlignment;

void Sizes(benchmark::internal::Benchmark *b) {
    for (long n : {16L, 100000L, 10000000L}) b->Arg(n);
}

std::size_t Count(const benchmark::State &state) {
    return static_cast<std::size_t>(state.range(0));
}

// Elements per second.
void SetRate(benchmark::State &state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// Values from a fixed linear congruential sequence in [-1, 1).
struct Sequence {
    std::uint64_t state = 0x2545F4914F6CDD1D;
    double Next() {
        state = state * 6364136223846793005 + 1442695040888963407;
        return -1.0 + 2.0 * static_cast<double>(state >> 11) * 0x1p-53;
    }
};

ArrayHolder ComplexColumn(std::size_t n, Sequence &s) {
    ArrayHolder a(mxCreateDoubleMatrix(static_cast<unsigned int>(n), 1, mxComplexityComplex));
    for (std::size_t i = 0; i < n; ++i) {
        mxGetPr(a.get())[i] = s.Next();
        mxGetPi(a.get())[i] = s.Next();
    }
    return a;
}

template <class T>
T *Fresh(std::size_t n) {
    return static_cast<T *>(::operator new(n * sizeof(T), kAlignment));
}
template <class T>
void Release(T *p) {
    ::operator delete(p, kAlignment);
}

template <class Op>
void RunComplexLibrary(benchmark::State &state, Op op) {
    Sequence s;
    const ArrayHolder a = ComplexColumn(Count(state), s), b = ComplexColumn(Count(state), s);
    for (auto _ : state) {
        ArrayHolder c(op(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
    SetRate(state);
}

template <class Op>
void RunComplexLoop(benchmark::State &state, Op op) {
    const std::size_t n = Count(state);
    Sequence s;
    std::complex<double> *a = Fresh<std::complex<double>>(n), *b = Fresh<std::complex<double>>(n);
    for (std::size_t i = 0; i < n; ++i) a[i] = {s.Next(), s.Next()};
    for (std::size_t i = 0; i < n; ++i) b[i] = {s.Next(), s.Next()};
    for (auto _ : state) {
        std::complex<double> *c = Fresh<std::complex<double>>(n);
        for (std::size_t i = 0; i < n; ++i) c[i] = op(a[i], b[i]);
        benchmark::DoNotOptimize(c);
        benchmark::ClobberMemory();
        Release(c);
    }
    Release(a);
    Release(b);
    SetRate(state);
}

void BM_PlusComplex(benchmark::State &state) {
    RunComplexLibrary(state, [](const CMatrix *a, const CMatrix *b) { return Plus(a, b); });
}
BENCHMARK(BM_PlusComplex)->Apply(Sizes);

void BM_PlusComplex_Loop(benchmark::State &state) {
    RunComplexLoop(state, [](std::complex<double> x, std::complex<double> y) {
        return std::complex<double>(x.real() + y.real(), x.imag() + y.imag());
    });
}
BENCHMARK(BM_PlusComplex_Loop)->Apply(Sizes);

void BM_TimesComplex(benchmark::State &state) {
    RunComplexLibrary(state, [](const CMatrix *a, const CMatrix *b) { return Times(a, b); });
}
BENCHMARK(BM_TimesComplex)->Apply(Sizes);

void BM_TimesComplex_Loop(benchmark::State &state) {
    RunComplexLoop(state, [](std::complex<double> x, std::complex<double> y) {
        return std::complex<double>(x.real() * y.real() - x.imag() * y.imag(),
                                    x.real() * y.imag() + x.imag() * y.real());
    });
}
BENCHMARK(BM_TimesComplex_Loop)->Apply(Sizes);

// int32 operands spread over the whole range, so that some sums saturate.
std::int32_t NextInt(Sequence &s) {
    return static_cast<std::int32_t>(s.Next() * 2147483647.0);
}

void BM_PlusInt32(benchmark::State &state) {
    const std::size_t n = Count(state);
    const unsigned int dims[2] = {static_cast<unsigned int>(n), 1};
    Sequence s;
    ArrayHolder a(mxCreateNumericArray(2, dims, mxClassInt32, mxComplexityReal));
    ArrayHolder b(mxCreateNumericArray(2, dims, mxClassInt32, mxComplexityReal));
    for (CMatrix *m : {a.get(), b.get()}) {
        auto *p = static_cast<std::int32_t *>(m->GetPr());
        for (std::size_t i = 0; i < n; ++i) p[i] = NextInt(s);
    }
    for (auto _ : state) {
        ArrayHolder c(Plus(a.get(), b.get()));
        benchmark::DoNotOptimize(c.get());
    }
    SetRate(state);
}
BENCHMARK(BM_PlusInt32)->Apply(Sizes);

void BM_PlusInt32_Loop(benchmark::State &state) {
    const std::size_t n = Count(state);
    Sequence s;
    std::int32_t *a = Fresh<std::int32_t>(n), *b = Fresh<std::int32_t>(n);
    for (std::size_t i = 0; i < n; ++i) a[i] = NextInt(s);
    for (std::size_t i = 0; i < n; ++i) b[i] = NextInt(s);
    constexpr std::int64_t kLo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHi = std::numeric_limits<std::int32_t>::max();
    for (auto _ : state) {
        std::int32_t *c = Fresh<std::int32_t>(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t sum = std::int64_t{a[i]} + b[i];
            c[i] = static_cast<std::int32_t>(std::min(kHi, std::max(kLo, sum)));
        }
        benchmark::DoNotOptimize(c);
        benchmark::ClobberMemory();
        Release(c);
    }
    Release(a);
    Release(b);
    SetRate(state);
}
BENCHMARK(BM_PlusInt32_Loop)->Apply(Sizes);

}  // namespace
