// bench/linalg/arithmetic_limit_bench.cpp: the processor's limit for a product
// whose multiplies and adds stay separate, beside its fused peak.
//
// Our product rounds every multiplication before it is added, so each term
// of a sum costs a vmulpd and a vaddpd; a peer's fused multiply-add does
// both in one instruction. These loops run nothing but those instructions
// on registers, eight independent sums of four doubles, as the product's
// tiles do, so that their rate in flops per second is the ceiling of the
// product's kernel on this processor's AVX2 units (2 flops a lane per
// term in both). Where multiplies and adds have ports of their own (AMD's
// Zen) the two loops run at the same rate; where they share the two fused
// ports (Intel without AVX-512) the separate ones run at half. Compare
// BM_SeparateMulAdd with OpenBLAS's dgemm (BM_OpenblasDgemm, held to its
// AVX2 kernels by OPENBLAS_CORETYPE=Haswell) in the same run; the 512-bit
// pair likewise with BM_OpenblasDgemm on OPENBLAS_CORETYPE=SkylakeX, for
// the AVX-512 tiles. (On an Intel core with AVX-512 and a third port that
// adds 256-bit vectors, the AVX2 separate loop runs at three quarters of
// the fused one, the 512-bit one at about half.)
#include <benchmark/benchmark.h>

#include <cstdint>

#include "kernels/kernel_support.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>

namespace {

constexpr std::int64_t kRounds = 4096;

// Keeps x in a register and unknown to the compiler, so that products of
// it are computed again every round rather than hoisted out of the loop.
#define MATRIX_OPAQUE(x) asm volatile("" : "+x"(x))

// Eight sums, each met by one product of four lanes a round: 64 flops.
template <bool kFused>
__attribute__((target("avx2,fma"))) double Rounds(std::int64_t rounds, double seed) {
    __m256d x0 = _mm256_set1_pd(seed), x1 = _mm256_set1_pd(seed * 0.5);
    __m256d x2 = _mm256_set1_pd(seed * 0.25), x3 = _mm256_set1_pd(seed * 0.125);
    const __m256d y0 = _mm256_set1_pd(1e-300), y1 = _mm256_set1_pd(3e-300);
    __m256d acc[8];
    for (auto &a : acc) a = _mm256_setzero_pd();
    for (std::int64_t r = 0; r < rounds; ++r) {
        MATRIX_OPAQUE(x0);
        MATRIX_OPAQUE(x1);
        MATRIX_OPAQUE(x2);
        MATRIX_OPAQUE(x3);
        const __m256d x[4] = {x0, x1, x2, x3};
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const __m256d y = i < 4 ? y0 : y1;
            acc[i] = kFused ? _mm256_fmadd_pd(x[i % 4], y, acc[i])
                            : _mm256_add_pd(acc[i], _mm256_mul_pd(x[i % 4], y));
        }
    }
    __m256d sum = acc[0];
    for (int i = 1; i < 8; ++i) sum = _mm256_add_pd(sum, acc[i]);
    return _mm256_cvtsd_f64(sum);
}

// Rounds at 512 bits: the same eight sums, eight lanes each (128 flops a
// round). On Intel cores with AVX-512, 512-bit multiplies and adds share
// the two ports of the fused unit, so the separate ones run at half.
template <bool kFused>
__attribute__((target("avx512f"))) double Rounds512(std::int64_t rounds, double seed) {
    __m512d x0 = _mm512_set1_pd(seed), x1 = _mm512_set1_pd(seed * 0.5);
    __m512d x2 = _mm512_set1_pd(seed * 0.25), x3 = _mm512_set1_pd(seed * 0.125);
    const __m512d y0 = _mm512_set1_pd(1e-300), y1 = _mm512_set1_pd(3e-300);
    __m512d acc[8];
    for (auto &a : acc) a = _mm512_setzero_pd();
    for (std::int64_t r = 0; r < rounds; ++r) {
        asm volatile("" : "+v"(x0), "+v"(x1), "+v"(x2), "+v"(x3));
        const __m512d x[4] = {x0, x1, x2, x3};
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const __m512d y = i < 4 ? y0 : y1;
            acc[i] = kFused ? _mm512_fmadd_pd(x[i % 4], y, acc[i])
                            : _mm512_add_pd(acc[i], _mm512_mul_pd(x[i % 4], y));
        }
    }
    __m512d sum = acc[0];
    for (int i = 1; i < 8; ++i) sum = _mm512_add_pd(sum, acc[i]);
    alignas(64) double lanes[8];
    _mm512_store_pd(lanes, sum);
    return lanes[0];
}

#undef MATRIX_OPAQUE

template <bool kFused>
void Limit(benchmark::State &state) {
    if (!__builtin_cpu_supports("avx2") || (kFused && !__builtin_cpu_supports("fma"))) {
        state.SkipWithError("no AVX2");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(Rounds<kFused>(kRounds, 1.5));
    state.counters["flops"] = benchmark::Counter(static_cast<double>(kRounds) * 64.0,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SeparateMulAdd(benchmark::State &state) { Limit<false>(state); }
BENCHMARK(BM_SeparateMulAdd);

void BM_FusedMulAdd(benchmark::State &state) { Limit<true>(state); }
BENCHMARK(BM_FusedMulAdd);

// The same at 512 bits, for the AVX-512 tiles (OpenBLAS on SkylakeX).
template <bool kFused>
void Limit512(benchmark::State &state) {
    if (!__builtin_cpu_supports("avx512f")) {
        state.SkipWithError("no AVX-512");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(Rounds512<kFused>(kRounds, 1.5));
    state.counters["flops"] = benchmark::Counter(static_cast<double>(kRounds) * 128.0,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SeparateMulAdd512(benchmark::State &state) { Limit512<false>(state); }
BENCHMARK(BM_SeparateMulAdd512);

void BM_FusedMulAdd512(benchmark::State &state) { Limit512<true>(state); }
BENCHMARK(BM_FusedMulAdd512);

}  // namespace

#endif  // MATRIX_HAVE_AVX2_PATHS
