// src/signal/fft_interleave.cpp: the split and interleaved forms of a line,
// with AVX2 shuffles for double four complex values at a time.
#include "signal/fft_interleave.h"

#include <type_traits>

#include "kernels/kernel_support.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

#if defined(MATRIX_HAVE_AVX2_PATHS)
#define MATRIX_INTERLEAVE_AVX2 __attribute__((target("avx2")))

// Each returns how many leading elements it did (a multiple of four); the
// plain loops finish the rest.
MATRIX_INTERLEAVE_AVX2 std::size_t InterleaveAvx2(const double *re, const double *im,
                                                  double sign, std::size_t count, double *out) {
    const __m256d s = _mm256_set1_pd(sign);
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256d r = _mm256_loadu_pd(re + k);
        const __m256d i = im ? _mm256_mul_pd(s, _mm256_loadu_pd(im + k)) : _mm256_setzero_pd();
        const __m256d lo = _mm256_unpacklo_pd(r, i), hi = _mm256_unpackhi_pd(r, i);
        _mm256_storeu_pd(out + 2 * k, _mm256_permute2f128_pd(lo, hi, 0x20));
        _mm256_storeu_pd(out + 2 * k + 4, _mm256_permute2f128_pd(lo, hi, 0x31));
    }
    return k;
}

// (re[k..k+4), im[k..k+4)) of in[2k..2k+8).
MATRIX_INTERLEAVE_AVX2 inline void SplitFour(const double *in, __m256d &r, __m256d &i) {
    const __m256d a = _mm256_loadu_pd(in), b = _mm256_loadu_pd(in + 4);
    r = _mm256_permute4x64_pd(_mm256_unpacklo_pd(a, b), 0xD8);
    i = _mm256_permute4x64_pd(_mm256_unpackhi_pd(a, b), 0xD8);
}

MATRIX_INTERLEAVE_AVX2 std::size_t DeinterleaveAvx2(const double *in, std::size_t count,
                                                    double *re, double *im) {
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        __m256d r, i;
        SplitFour(in + 2 * k, r, i);
        _mm256_storeu_pd(re + k, r);
        _mm256_storeu_pd(im + k, i);
    }
    return k;
}

MATRIX_INTERLEAVE_AVX2 std::size_t ConjugateScaledAvx2(const double *in, std::size_t count,
                                                       double divisor, double *re, double *im) {
    const __m256d d = _mm256_set1_pd(divisor), negative = _mm256_set1_pd(-0.0);
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        __m256d r, i;
        SplitFour(in + 2 * k, r, i);
        _mm256_storeu_pd(re + k, _mm256_div_pd(r, d));
        if (im) _mm256_storeu_pd(im + k, _mm256_div_pd(_mm256_xor_pd(i, negative), d));
    }
    return k;
}
#endif

template <typename T>
constexpr bool kWide = std::is_same<T, double>::value;

}  // namespace

template <typename T>
void Interleave(const T *re, const T *im, T sign, std::size_t count, T *out) {
    std::size_t k = 0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if constexpr (kWide<T>)
        if (HasAvx2()) k = InterleaveAvx2(re, im, sign, count, out);
#endif
    for (; k < count; ++k) {
        out[2 * k] = re[k];
        out[2 * k + 1] = im ? sign * im[k] : T(0);
    }
}

template <typename T>
void Deinterleave(const T *in, std::size_t count, T *re, T *im) {
    std::size_t k = 0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if constexpr (kWide<T>)
        if (HasAvx2()) k = DeinterleaveAvx2(in, count, re, im);
#endif
    for (; k < count; ++k) {
        re[k] = in[2 * k];
        im[k] = in[2 * k + 1];
    }
}

template <typename T>
void DeinterleaveConjugateScaled(const T *in, std::size_t count, T divisor, T *re, T *im) {
    std::size_t k = 0;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if constexpr (kWide<T>)
        if (HasAvx2()) k = ConjugateScaledAvx2(in, count, divisor, re, im);
#endif
    for (; k < count; ++k) {
        re[k] = in[2 * k] / divisor;
        if (im) im[k] = -in[2 * k + 1] / divisor;
    }
}

template void Interleave<double>(const double *, const double *, double, std::size_t, double *);
template void Interleave<float>(const float *, const float *, float, std::size_t, float *);
template void Deinterleave<double>(const double *, std::size_t, double *, double *);
template void Deinterleave<float>(const float *, std::size_t, float *, float *);
template void DeinterleaveConjugateScaled<double>(const double *, std::size_t, double, double *,
                                                  double *);
template void DeinterleaveConjugateScaled<float>(const float *, std::size_t, float, float *,
                                                 float *);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
