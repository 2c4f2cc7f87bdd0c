// src/signal/fft_kernel.cpp: the mixed-radix and Bluestein transforms of
// one complex vector, their twiddle factors and the cache of plans.
#include "signal/fft_kernel.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <type_traits>

#include "kernels/kernel_support.h"
#include "kernels/parallel.h"
#include "signal/fft_interleave.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

// The butterfly arrays of a general radix are read only up to the radix
// that fills them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

constexpr long double kHalfPi = 1.5707963267948966192313216916397514421L;
constexpr long double kSqrtHalf = 0.7071067811865475244008443621048490393L;

// cos and sin of x in [0, pi/4] by their Taylor series to the x^26 and x^25
// terms (the first term left off is below 1e-25 there), Horner's rule.
void SinCosOctant(long double x, long double &c, long double &s) {
    const long double x2 = x * x;
    long double sc = 1, ss = 1;
    for (int k = 26; k >= 2; k -= 2) {
        sc = 1 - sc * x2 / (static_cast<long double>(k) * (k - 1));
        ss = 1 - ss * x2 / (static_cast<long double>(k + 1) * k);
    }
    c = sc;
    s = ss * x;
}

template <typename T>
struct Cx {
    T re, im;
};

// Holds v in a register as computed. GCC's vectoriser turns products that
// feed an alternating sum and difference (a complex product, in vector or
// plain code) into one multiply-add (vfmaddsub) where the target has it,
// AVX-512F code included, even with -ffp-contract=off: one rounding instead
// of two, other bits than the plain path's. A macro, so that the register
// is checked against the instruction set of the function it is written in.
#if defined(__x86_64__) || defined(__i386__)
#define MATRIX_FFT_ROUNDED(v) __asm__("" : "+v"(v))
#else
#define MATRIX_FFT_ROUNDED(v) (void)(v)
#endif

// The operations of the butterflies on complex values, one per lane: the
// plain path on one Cx<T>, and (double only) the AVX2 path on two complex
// values in one register. Each lane computes exactly the plain path's
// products, sums and differences, so both give the same bits:
//   Add, Sub     part by part;
//   Scale(c, a)  (c*a.re, c*a.im);
//   NegI(a)      -i*a = (a.im, -a.re);
//   Mul(a, w)    (a.re*w.re - a.im*w.im, a.re*w.im + a.im*w.re).
template <typename T>
struct PlainOps {
    using V = Cx<T>;
    using Narrower = PlainOps;
    static constexpr std::size_t kLanes = 1;
    static V Load(const Cx<T> *p) { return *p; }
    static V LoadReversed(const Cx<T> *p) { return *p; }
    static V Broadcast(const Cx<T> *p) { return *p; }
    static void Store(Cx<T> *p, V v) { *p = v; }
    static V LoadParts(const T *re, const T *im, T sign) { return {*re, im ? sign * *im : T(0)}; }
    static void StoreParts(T *re, T *im, V v) {
        *re = v.re;
        if (im) *im = v.im;
    }
    static void StorePartsReversed(T *re, T *im, V v) { *re = v.re, *im = v.im; }
    static V Add(V a, V b) { return {a.re + b.re, a.im + b.im}; }
    static V Sub(V a, V b) { return {a.re - b.re, a.im - b.im}; }
    static V Scale(T c, V a) { return {c * a.re, c * a.im}; }
    static V NegI(V a) { return {a.im, -a.re}; }
    static V Conj(V a) { return {a.re, -a.im}; }
    static V Divide(V a, T d) { return {a.re / d, a.im / d}; }
    static V Mul(V a, V w) {
        T rr = a.re * w.re, ii = a.im * w.im, ri = a.re * w.im, ir = a.im * w.re;
        MATRIX_FFT_ROUNDED(rr);
        MATRIX_FFT_ROUNDED(ii);
        MATRIX_FFT_ROUNDED(ri);
        MATRIX_FFT_ROUNDED(ir);
        return {rr - ii, ri + ir};
    }
};

#if defined(MATRIX_HAVE_AVX2_PATHS)
#define MATRIX_FFT_AVX2 __attribute__((target("avx2")))
struct Avx2Ops {
    using V = __m256d;
    using Narrower = PlainOps<double>;
    static constexpr std::size_t kLanes = 2;
    MATRIX_FFT_AVX2 static V Load(const Cx<double> *p) {
        return _mm256_loadu_pd(reinterpret_cast<const double *>(p));
    }
    MATRIX_FFT_AVX2 static V Broadcast(const Cx<double> *p) {
        return _mm256_broadcast_pd(reinterpret_cast<const __m128d *>(p));
    }
    MATRIX_FFT_AVX2 static void Store(Cx<double> *p, V v) {
        _mm256_storeu_pd(reinterpret_cast<double *>(p), v);
    }
    // p[1], p[0].
    MATRIX_FFT_AVX2 static V LoadReversed(const Cx<double> *p) {
        return _mm256_permute4x64_pd(Load(p), 0x4E);
    }
    // The real parts to re[0..2), the imaginary ones to im[0..2); reversed:
    // lane 1 first.
    MATRIX_FFT_AVX2 static void StoreParts(double *re, double *im, V v) {
        const V parts = _mm256_permute4x64_pd(v, 0xD8);
        _mm_storeu_pd(re, _mm256_castpd256_pd128(parts));
        if (im) _mm_storeu_pd(im, _mm256_extractf128_pd(parts, 1));
    }
    // (re[0], sign*im[0], re[1], sign*im[1]), 0 for the imaginary parts
    // when im is null.
    MATRIX_FFT_AVX2 static V LoadParts(const double *re, const double *im, double sign) {
        const __m128d r = _mm_loadu_pd(re);
        const __m128d i = im ? _mm_mul_pd(_mm_set1_pd(sign), _mm_loadu_pd(im)) : _mm_setzero_pd();
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_unpacklo_pd(r, i)),
                                    _mm_unpackhi_pd(r, i), 1);
    }
    MATRIX_FFT_AVX2 static void StorePartsReversed(double *re, double *im, V v) {
        const V parts = _mm256_permute4x64_pd(v, 0x72);
        _mm_storeu_pd(re, _mm256_castpd256_pd128(parts));
        _mm_storeu_pd(im, _mm256_extractf128_pd(parts, 1));
    }
    // Lane l to p[l * step].
    MATRIX_FFT_AVX2 static void StoreLanes(Cx<double> *p, std::size_t step, V v) {
        _mm_storeu_pd(reinterpret_cast<double *>(p), _mm256_castpd256_pd128(v));
        _mm_storeu_pd(reinterpret_cast<double *>(p + step), _mm256_extractf128_pd(v, 1));
    }
    MATRIX_FFT_AVX2 static V Add(V a, V b) { return _mm256_add_pd(a, b); }
    MATRIX_FFT_AVX2 static V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
    MATRIX_FFT_AVX2 static V Scale(double c, V a) { return _mm256_mul_pd(_mm256_set1_pd(c), a); }
    MATRIX_FFT_AVX2 static V NegI(V a) {
        return _mm256_xor_pd(_mm256_permute_pd(a, 0x5), _mm256_setr_pd(0.0, -0.0, 0.0, -0.0));
    }
    MATRIX_FFT_AVX2 static V Divide(V a, double d) { return _mm256_div_pd(a, _mm256_set1_pd(d)); }
    MATRIX_FFT_AVX2 static V Conj(V a) {
        return _mm256_xor_pd(a, _mm256_setr_pd(0.0, -0.0, 0.0, -0.0));
    }
    // (a.re*w.re, a.im*w.re) -+ (a.im*w.im, a.re*w.im): the plain products,
    // the imaginary sum with its terms swapped (addition commutes exactly).
    MATRIX_FFT_AVX2 static V Mul(V a, V w) {
        V t1 = _mm256_mul_pd(a, _mm256_movedup_pd(w));
        V t2 = _mm256_mul_pd(_mm256_permute_pd(a, 0x5), _mm256_permute_pd(w, 0xF));
        MATRIX_FFT_ROUNDED(t1);
        MATRIX_FFT_ROUNDED(t2);
        return _mm256_addsub_pd(t1, t2);
    }
};

// Four complex values in one register, lane by lane the AVX2 operations
// (AVX-512F only: the exclusive or and the lane moves go through integer
// and single-precision forms, which move the same bits).
#define MATRIX_FFT_AVX512 __attribute__((target("avx512f")))
struct Avx512Ops {
    using V = __m512d;
    using Narrower = Avx2Ops;
    static constexpr std::size_t kLanes = 4;
    MATRIX_FFT_AVX512 static V Load(const Cx<double> *p) {
        return _mm512_loadu_pd(reinterpret_cast<const double *>(p));
    }
    MATRIX_FFT_AVX512 static V Broadcast(const Cx<double> *p) {
        const __m128 v = _mm_castpd_ps(_mm_loadu_pd(reinterpret_cast<const double *>(p)));
        return _mm512_castps_pd(_mm512_broadcast_f32x4(v));
    }
    MATRIX_FFT_AVX512 static void Store(Cx<double> *p, V v) {
        _mm512_storeu_pd(reinterpret_cast<double *>(p), v);
    }
    MATRIX_FFT_AVX512 static V LoadReversed(const Cx<double> *p) {
        const V v = Load(p);
        return _mm512_shuffle_f64x2(v, v, 0x1B);
    }
    MATRIX_FFT_AVX512 static void StoreParts(double *re, double *im, V v) {
        StorePermuted(re, im, v, _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7));
    }
    MATRIX_FFT_AVX512 static void StorePartsReversed(double *re, double *im, V v) {
        StorePermuted(re, im, v, _mm512_setr_epi64(6, 4, 2, 0, 7, 5, 3, 1));
    }
    MATRIX_FFT_AVX512 static void StorePermuted(double *re, double *im, V v, __m512i order) {
        const V parts = _mm512_permutexvar_pd(order, v);
        _mm256_storeu_pd(re, _mm512_castpd512_pd256(parts));
        if (im) _mm256_storeu_pd(im, _mm512_extractf64x4_pd(parts, 1));
    }
    MATRIX_FFT_AVX512 static V LoadParts(const double *re, const double *im, double sign) {
        const __m256d r = _mm256_loadu_pd(re);
        const __m256d i =
            im ? _mm256_mul_pd(_mm256_set1_pd(sign), _mm256_loadu_pd(im)) : _mm256_setzero_pd();
        return _mm512_permutex2var_pd(_mm512_castpd256_pd512(r),
                                      _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11),
                                      _mm512_castpd256_pd512(i));
    }
    MATRIX_FFT_AVX512 static V Divide(V a, double d) { return _mm512_div_pd(a, _mm512_set1_pd(d)); }
    MATRIX_FFT_AVX512 static void StoreLanes(Cx<double> *p, std::size_t step, V v) {
        const __m512 f = _mm512_castpd_ps(v);
        _mm_storeu_pd(reinterpret_cast<double *>(p), _mm512_castpd512_pd128(v));
        _mm_storeu_ps(reinterpret_cast<float *>(p + step), _mm512_extractf32x4_ps(f, 1));
        _mm_storeu_ps(reinterpret_cast<float *>(p + 2 * step), _mm512_extractf32x4_ps(f, 2));
        _mm_storeu_ps(reinterpret_cast<float *>(p + 3 * step), _mm512_extractf32x4_ps(f, 3));
    }
    MATRIX_FFT_AVX512 static V Add(V a, V b) { return _mm512_add_pd(a, b); }
    MATRIX_FFT_AVX512 static V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
    MATRIX_FFT_AVX512 static V Scale(double c, V a) { return _mm512_mul_pd(_mm512_set1_pd(c), a); }
    MATRIX_FFT_AVX512 static V NegI(V a) { return Conj(_mm512_permute_pd(a, 0x55)); }
    MATRIX_FFT_AVX512 static V Conj(V a) {
        const __m512i sign =
            _mm512_castpd_si512(_mm512_setr_pd(0.0, -0.0, 0.0, -0.0, 0.0, -0.0, 0.0, -0.0));
        return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a), sign));
    }
    // The AVX2 Mul's products; the real parts take the difference, the
    // imaginary parts the sum.
    MATRIX_FFT_AVX512 static V Mul(V a, V w) {
        V t1 = _mm512_mul_pd(a, _mm512_movedup_pd(w));
        V t2 = _mm512_mul_pd(_mm512_permute_pd(a, 0x55), _mm512_permute_pd(w, 0xFF));
        MATRIX_FFT_ROUNDED(t1);
        MATRIX_FFT_ROUNDED(t2);
        return _mm512_mask_add_pd(_mm512_sub_pd(t1, t2), 0xAA, t1, t2);
    }
};
#endif

// The constants of a butterfly: cos and sin of 2*pi/p and 4*pi/p for p = 3
// and 5; for a general odd prime, cos and sin of 2*pi*k/p at rot[2k].
template <typename T>
struct Constants {
    T c1, c2, s1, s2;
    const T *rot;
};

// A stage's buffers: interleaved x (read) and y (written), and the split
// line the first stage may read and the last write.
template <typename T>
struct StageData {
    const Cx<T> *x;
    Cx<T> *y;
    const SplitLine<T> *line;
    const Cx<T> *product;
};

// Where a stage's outputs y[i] go: to the interleaved buffer, to the split
// line, or to the interleaved buffer as conj(y[i] * product[i]).
enum class Sink { kInterleaved, kSplit, kConjugateProduct };

// Whether Products conjugates its first operand.
enum class ProductForm { kPlain, kConjugateFirst };

// The stages, compiled once for the plain path and once with AVX2 enabled
// (which changes no result: the same operations per element, and no fused
// multiply-add, which AVX2 alone does not enable).
namespace plain {
#define MATRIX_FFT_STAGE inline __attribute__((always_inline))
#include "signal/fft_stages.inc"
#undef MATRIX_FFT_STAGE
}  // namespace plain

// A stage's part [begin, end) (see RadixStage).
template <typename T>
using StageFunction = void (*)(std::size_t p, const Constants<T> &k, const StageData<T> &d,
                               std::size_t s, std::size_t m, const Cx<T> *w, std::size_t begin,
                               std::size_t end, bool columns);

template <std::size_t P, bool kIn, Sink kOut, typename T>
void PlainStage(std::size_t p, const Constants<T> &k, const StageData<T> &d, std::size_t s,
                std::size_t m, const Cx<T> *w, std::size_t begin, std::size_t end, bool columns) {
    plain::RadixStage<PlainOps<T>, P>(p, k, plain::StageIO<T, kIn, kOut>{d}, s, m, w, begin, end,
                                      columns);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
namespace wide {
#define MATRIX_FFT_STAGE inline __attribute__((always_inline, target("avx2")))
#include "signal/fft_stages.inc"
#undef MATRIX_FFT_STAGE
}  // namespace wide

template <std::size_t P, bool kIn, Sink kOut>
MATRIX_FFT_AVX2 void Avx2Stage(std::size_t p, const Constants<double> &k,
                               const StageData<double> &d, std::size_t s, std::size_t m,
                               const Cx<double> *w, std::size_t begin, std::size_t end,
                               bool columns) {
    wide::RadixStage<Avx2Ops, P>(p, k, wide::StageIO<double, kIn, kOut>{d}, s, m, w, begin, end,
                                 columns);
}

namespace wide512 {
#define MATRIX_FFT_STAGE inline __attribute__((always_inline, target("avx512f")))
#include "signal/fft_stages.inc"
#undef MATRIX_FFT_STAGE
}  // namespace wide512

template <std::size_t P, bool kIn, Sink kOut>
MATRIX_FFT_AVX512 void Avx512Stage(std::size_t p, const Constants<double> &k,
                                   const StageData<double> &d, std::size_t s, std::size_t m,
                                   const Cx<double> *w, std::size_t begin, std::size_t end,
                                   bool columns) {
    wide512::RadixStage<Avx512Ops, P>(p, k, wide512::StageIO<double, kIn, kOut>{d}, s, m, w,
                                      begin, end, columns);
}

MATRIX_FFT_AVX2 void Avx2Products(const Cx<double> *a, const Cx<double> *b, Cx<double> *out,
                                  std::size_t count, ProductForm form) {
    wide::Products<Avx2Ops>(a, b, out, 0, count, form);
}

MATRIX_FFT_AVX512 void Avx512Products(const Cx<double> *a, const Cx<double> *b, Cx<double> *out,
                                      std::size_t count, ProductForm form) {
    wide512::Products<Avx512Ops>(a, b, out, 0, count, form);
}

MATRIX_FFT_AVX2 void Avx2ChirpIn(const SplitLine<double> &l, const Cx<double> *chirp,
                                 Cx<double> *a, std::size_t n) {
    wide::ChirpIn<Avx2Ops>(l, chirp, a, 0, n);
}

MATRIX_FFT_AVX512 void Avx512ChirpIn(const SplitLine<double> &l, const Cx<double> *chirp,
                                     Cx<double> *a, std::size_t n) {
    wide512::ChirpIn<Avx512Ops>(l, chirp, a, 0, n);
}

MATRIX_FFT_AVX2 void Avx2ChirpOut(const SplitLine<double> &l, const Cx<double> *g,
                                  const Cx<double> *chirp, std::size_t n) {
    wide::ChirpOut<Avx2Ops>(l, g, chirp, 0, n);
}

MATRIX_FFT_AVX512 void Avx512ChirpOut(const SplitLine<double> &l, const Cx<double> *g,
                                      const Cx<double> *chirp, std::size_t n) {
    wide512::ChirpOut<Avx512Ops>(l, g, chirp, 0, n);
}

MATRIX_FFT_AVX2 void Avx2RealOutputs(const Cx<double> *z, const Cx<double> *w, std::size_t n,
                                     double *re, double *im) {
    wide::RealOutputs<Avx2Ops>(z, w, n, re, im, 1);
}

MATRIX_FFT_AVX512 void Avx512RealOutputs(const Cx<double> *z, const Cx<double> *w,
                                         std::size_t n, double *re, double *im) {
    wide512::RealOutputs<Avx512Ops>(z, w, n, re, im, 1);
}

// The vector stage of radix p, AVX-512 when `wider`.
template <bool kIn, Sink kOut>
StageFunction<double> VectorStage(std::size_t p, bool wider) {
    switch (p) {
        case 2: return wider ? Avx512Stage<2, kIn, kOut> : Avx2Stage<2, kIn, kOut>;
        case 3: return wider ? Avx512Stage<3, kIn, kOut> : Avx2Stage<3, kIn, kOut>;
        case 4: return wider ? Avx512Stage<4, kIn, kOut> : Avx2Stage<4, kIn, kOut>;
        case 8: return wider ? Avx512Stage<8, kIn, kOut> : Avx2Stage<8, kIn, kOut>;
        case 5: return wider ? Avx512Stage<5, kIn, kOut> : Avx2Stage<5, kIn, kOut>;
        default: return wider ? Avx512Stage<0, kIn, kOut> : Avx2Stage<0, kIn, kOut>;
    }
}
#endif

// The stage of radix p on the widest vectors `path` allows, reading the
// split input with kIn, writing the split output with kOut.
template <typename T, bool kIn, Sink kOut>
StageFunction<T> StageOf(std::size_t p, KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if constexpr (std::is_same<T, double>::value)
        if (path != KernelPath::kPlain && HasAvx2())
            return VectorStage<kIn, kOut>(p, path == KernelPath::kFastest && HasAvx512());
#else
    (void)path;
#endif
    switch (p) {
        case 2: return PlainStage<2, kIn, kOut, T>;
        case 3: return PlainStage<3, kIn, kOut, T>;
        case 4: return PlainStage<4, kIn, kOut, T>;
        case 8: return PlainStage<8, kIn, kOut, T>;
        case 5: return PlainStage<5, kIn, kOut, T>;
        default: return PlainStage<0, kIn, kOut, T>;
    }
}

// A stage reads or writes a split line only as the first or the last of
// two or more; it multiplies by a product only as the last.
template <typename T>
StageFunction<T> StageFor(std::size_t p, KernelPath path, bool splitIn, bool splitOut,
                          bool product) {
    if (splitIn) return StageOf<T, true, Sink::kInterleaved>(p, path);
    if (splitOut) return StageOf<T, false, Sink::kSplit>(p, path);
    if (product) return StageOf<T, false, Sink::kConjugateProduct>(p, path);
    return StageOf<T, false, Sink::kInterleaved>(p, path);
}

// Transforms from this length on spread each stage over the threads.
constexpr std::size_t kThreadedLength = std::size_t{1} << 15;
// Complex values a piece of a threaded stage holds at least.
constexpr std::size_t kValuesPerPiece = std::size_t{1} << 13;

// out[k] = a[k] * b[k], k < count, conjugated as `form` says, on the
// widest vectors `path` allows (out may be a).
template <typename T>
void ProductsOnThisThread(KernelPath path, const Cx<T> *a, const Cx<T> *b, Cx<T> *out,
                          std::size_t count, ProductForm form) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if constexpr (std::is_same<T, double>::value) {
        if (path != KernelPath::kPlain && HasAvx2()) {
            if (path == KernelPath::kFastest && HasAvx512())
                Avx512Products(a, b, out, count, form);
            else
                Avx2Products(a, b, out, count, form);
            return;
        }
    }
#else
    (void)path;
#endif
    plain::Products<PlainOps<T>>(a, b, out, 0, count, form);
}

// The same over the threads when long (each product is computed alone, so
// the cut changes nothing).
template <typename T>
void Products(KernelPath path, const Cx<T> *a, const Cx<T> *b, Cx<T> *out, std::size_t count,
              ProductForm form) {
    if (count < kThreadedLength || ThreadCount() == 1)
        return ProductsOnThisThread(path, a, b, out, count, form);
    ParallelFor(count, kValuesPerPiece, [&](std::size_t begin, std::size_t end) {
        ProductsOnThisThread(path, a + begin, b + begin, out + begin, end - begin, form);
    });
}

// The vector width `path` allows for double: 4, 2 or 1 complex values.
inline std::size_t Lanes(KernelPath path) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (path != KernelPath::kPlain && HasAvx2())
        return path == KernelPath::kFastest && HasAvx512() ? 4 : 2;
#else
    (void)path;
#endif
    return 1;
}

// Bluestein's first products from a split line (see ChirpIn).
template <typename T>
void ChirpIn(KernelPath path, const SplitLine<T> &l, const Cx<T> *chirp, Cx<T> *a, std::size_t n) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if constexpr (std::is_same<T, double>::value) {
        const std::size_t lanes = Lanes(path);
        if (lanes == 4) return Avx512ChirpIn(l, chirp, a, n);
        if (lanes == 2) return Avx2ChirpIn(l, chirp, a, n);
    }
#else
    (void)path;
#endif
    plain::ChirpIn<PlainOps<T>>(l, chirp, a, 0, n);
}

// Bluestein's last products to a split line (see ChirpOut).
template <typename T>
void ChirpOut(KernelPath path, const SplitLine<T> &l, const Cx<T> *g, const Cx<T> *chirp,
              std::size_t n) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if constexpr (std::is_same<T, double>::value) {
        const std::size_t lanes = Lanes(path);
        if (lanes == 4) return Avx512ChirpOut(l, g, chirp, n);
        if (lanes == 2) return Avx2ChirpOut(l, g, chirp, n);
    }
#else
    (void)path;
#endif
    plain::ChirpOut<PlainOps<T>>(l, g, chirp, 0, n);
}

// The length of Bluestein's convolution: the smallest 2^a * c from n up,
// c one of a few small odd numbers whose stages are fast.
std::size_t ConvolutionLength(std::size_t n) {
    std::size_t best = 0;
    for (const std::size_t c : {1, 3, 5, 9, 15, 25, 27}) {
        std::size_t m = c;
        while (m < n) m *= 2;
        if (best == 0 || m < best) best = m;
    }
    return best;
}

// The radices of n in the order the stages take them: 8s, then a 4 or a 2,
// then 3s, 5s and the other primes ascending.
std::vector<std::size_t> Radices(std::size_t n) {
    std::vector<std::size_t> radices;
    while (n % 8 == 0) {
        radices.push_back(8);
        n /= 8;
    }
    if (n % 2 == 0) {
        radices.push_back(n % 4 == 0 ? 4 : 2);
        n /= radices.back();
    }
    for (std::size_t p = 3; p * p <= n; p += 2)
        while (n % p == 0) {
            radices.push_back(p);
            n /= p;
        }
    if (n > 1) radices.push_back(n);
    std::sort(radices.begin(), radices.end(), [](std::size_t a, std::size_t b) {
        const auto rank = [](std::size_t r) { return r == 8 ? 0 : r == 4 ? 1 : r == 2 ? 2 : r; };
        return rank(a) < rank(b);
    });
    return radices;
}

template <typename T>
Cx<T> Twiddle(unsigned long long r, unsigned long long n) {
    long double c, s;
    SinCosFraction(r, n, c, s);
    // exp(-i*theta); 0 - s keeps an exact zero positive.
    return {static_cast<T>(c), static_cast<T>(0 - s)};
}

template <typename T>
std::mutex &CacheMutex() {
    static std::mutex mutex;
    return mutex;
}

// Plans kept at most; beyond it the cache starts over (plans in use live on
// through their holders).
constexpr std::size_t kCachedPlans = 64;

}  // namespace

void SinCosFraction(unsigned long long r, unsigned long long n, long double &c, long double &s) {
    r %= n;
    // Quadrant q and the angle (pi/2)*v/n within it, v < n.
    const unsigned long long u = 4 * r, q = u / n, v = u % n;
    long double c0, s0;
    if (2 * v == n) {
        c0 = s0 = kSqrtHalf;
    } else if (2 * v < n) {
        SinCosOctant(kHalfPi * static_cast<long double>(v) / static_cast<long double>(n), c0, s0);
    } else {
        SinCosOctant(kHalfPi * static_cast<long double>(n - v) / static_cast<long double>(n), s0,
                     c0);
    }
    switch (q) {
        case 0: c = c0, s = s0; break;
        case 1: c = 0 - s0, s = c0; break;
        case 2: c = 0 - c0, s = 0 - s0; break;
        default: c = s0, s = 0 - c0; break;
    }
}

template <typename T>
std::shared_ptr<const FftPlan<T>> FftPlan<T>::Get(std::size_t n) {
    static std::map<std::size_t, std::shared_ptr<const FftPlan>> cache;
    {
        std::lock_guard<std::mutex> lock(CacheMutex<T>());
        const auto found = cache.find(n);
        if (found != cache.end()) return found->second;
    }
    // Built outside the lock: a Bluestein plan gets its inner plan here too.
    auto plan = std::make_shared<const FftPlan>(n);
    std::lock_guard<std::mutex> lock(CacheMutex<T>());
    if (cache.size() >= kCachedPlans) cache.clear();
    return cache.emplace(n, std::move(plan)).first->second;
}

template <typename T>
FftPlan<T>::FftPlan(std::size_t n) : m_n(n) {
    const std::vector<std::size_t> radices = Radices(n);
    if (!radices.empty() && radices.back() > kLargestDirectPrime) {
        // Bluestein: chirp w_k = exp(-i*pi*k^2/n) = exp(-2*pi*i*(k^2 mod 2n)/(2n)).
        const std::size_t m = ConvolutionLength(2 * n - 1);
        m_inner = Get(m);
        m_chirp.resize(2 * n);
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned long long kk = static_cast<unsigned long long>(k) * k % (2ULL * n);
            const Cx<T> w = Twiddle<T>(kk, 2ULL * n);
            m_chirp[2 * k] = w.re;
            m_chirp[2 * k + 1] = w.im;
        }
        // The filter conj(w_j) at j and at m - j, transformed and divided by
        // m, so that the inverse transform needs no division.
        m_filter.assign(2 * m, T(0));
        for (std::size_t k = 0; k < n; ++k) {
            m_filter[2 * k] = m_chirp[2 * k];
            m_filter[2 * k + 1] = -m_chirp[2 * k + 1];
            if (k > 0) {
                m_filter[2 * (m - k)] = m_chirp[2 * k];
                m_filter[2 * (m - k) + 1] = -m_chirp[2 * k + 1];
            }
        }
        std::vector<T> work(m_inner->WorkSize());
        m_inner->Forward(m_filter.data(), work.data());
        for (T &f : m_filter) f /= static_cast<T>(m);
        return;
    }
    std::size_t s = 1;
    for (const std::size_t p : radices) {
        const std::size_t m = n / (s * p);
        long double c1, s1, c2, s2;
        SinCosFraction(1, p, c1, s1);
        SinCosFraction(2, p, c2, s2);
        m_stages.push_back({p, s, m, m_twiddles.size() / 2, static_cast<T>(c1),
                            static_cast<T>(c2), static_cast<T>(s1), static_cast<T>(s2), 0});
        for (std::size_t t = 1; t < p; ++t)
            for (std::size_t j = 0; j < m; ++j) {
                const Cx<T> w = Twiddle<T>(static_cast<unsigned long long>(j) * t * s, n);
                m_twiddles.push_back(w.re);
                m_twiddles.push_back(w.im);
            }
        const auto known = std::find_if(m_rotations.begin(), m_rotations.end(),
                                        [p](const std::vector<T> &r) { return r.size() == 2 * p; });
        m_stages.back().rotations = static_cast<std::size_t>(known - m_rotations.begin());
        if (p > 5 && p != 8 && known == m_rotations.end()) {
            std::vector<T> rot(2 * p);
            for (std::size_t k = 0; k < p; ++k) {
                long double c, sn;
                SinCosFraction(k, p, c, sn);
                rot[2 * k] = static_cast<T>(c);
                rot[2 * k + 1] = static_cast<T>(sn);
            }
            m_rotations.push_back(std::move(rot));
        }
        s *= p;
    }
}

template <typename T>
std::size_t FftPlan<T>::WorkSize() const {
    return m_inner ? 2 * m_inner->Length() + m_inner->WorkSize() : 2 * m_n;
}

template <typename T>
void FftPlan<T>::Forward(T *x, T *work, KernelPath path) const {
    const T *y = ForwardEither(x, work, path);
    if (y != x) std::copy(y, y + 2 * m_n, x);
}

template <typename T>
T *FftPlan<T>::ForwardEither(T *x, T *work, KernelPath path) const {
    if (!m_inner) return Stockham(x, work, nullptr, path);
    Bluestein(x, work, path);
    return x;
}

template <typename T>
T *FftPlan<T>::Stockham(T *x, T *work, const SplitLine<T> *line, KernelPath path,
                        const T *product) const {
    Cx<T> *from = reinterpret_cast<Cx<T> *>(x), *to = reinterpret_cast<Cx<T> *>(work);
    const Cx<T> *twiddles = reinterpret_cast<const Cx<T> *>(m_twiddles.data());
    const bool threaded = m_n >= kThreadedLength && ThreadCount() > 1;
    for (std::size_t at = 0; at < m_stages.size(); ++at) {
        const Stage &stage = m_stages[at];
        const Cx<T> *w = twiddles + stage.twiddle;
        const std::size_t p = stage.radix, s = stage.stride, m = stage.span;
        const Constants<T> k{stage.c1, stage.c2, stage.s1, stage.s2,
                             p > 5 && p != 8 ? m_rotations[stage.rotations].data() : nullptr};
        const bool last = at + 1 == m_stages.size();
        const StageFunction<T> run =
            StageFor<T>(p, path, line && at == 0, line && last, product && last);
        const StageData<T> d{from, to, line, reinterpret_cast<const Cx<T> *>(product)};
        if (!threaded) {
            run(p, k, d, s, m, w, 0, m, false);
        } else {
            // Pieces of groups while there are many, else of columns (in
            // whole vectors).
            const bool columns = m < s;
            const std::size_t units = columns ? s : m, perUnit = p * (columns ? m : s);
            std::size_t grain = std::max<std::size_t>(1, kValuesPerPiece / perUnit);
            if (columns) grain = (grain + 3) / 4 * 4;
            ParallelFor(units, grain, [&](std::size_t begin, std::size_t end) {
                run(p, k, d, s, m, w, begin, end, columns);
            });
        }
        std::swap(from, to);
    }
    return reinterpret_cast<T *>(from);
}

template <typename T>
void FftPlan<T>::ForwardSplit(const SplitLine<T> &line, T *work, KernelPath path) const {
    const std::size_t n = m_n;
    if (!m_inner && m_stages.size() >= 2) {
        Stockham(work, work + 2 * n, &line, path);
        return;
    }
    if (m_inner) {
        // Bluestein's method as in Bluestein(), its first products read
        // from the line and its last written to it.
        const std::size_t m = m_inner->Length();
        Cx<T> *a = reinterpret_cast<Cx<T> *>(work);
        T *inner = work + 2 * m;
        const Cx<T> *chirp = reinterpret_cast<const Cx<T> *>(m_chirp.data());
        ChirpIn(path, line, chirp, a, n);
        std::fill(a + n, a + m, Cx<T>{0, 0});
        T *f = m_inner->Stockham(work, inner, nullptr, path, m_filter.data());
        const Cx<T> *g = reinterpret_cast<const Cx<T> *>(
            m_inner->ForwardEither(f, f == work ? inner : work, path));
        ChirpOut(path, line, g, chirp, n);
        return;
    }
    Interleave(line.re, line.im, line.sign, n, work);
    const T *y = ForwardEither(work, work + 2 * n, path);
    if (line.conjugateScaled)
        DeinterleaveConjugateScaled(y, n, line.divisor, line.yr, line.yi);
    else
        Deinterleave(y, n, line.yr, line.yi);
}

template <typename T>
void FftPlan<T>::Bluestein(T *x, T *work, KernelPath path) const {
    const std::size_t n = m_n, m = m_inner->Length();
    Cx<T> *a = reinterpret_cast<Cx<T> *>(work);
    T *inner = work + 2 * m;
    const Cx<T> *xs = reinterpret_cast<const Cx<T> *>(x);
    const Cx<T> *chirp = reinterpret_cast<const Cx<T> *>(m_chirp.data());
    // a = x .* chirp, zero-padded to m; its transform times the filter's.
    Products(path, xs, chirp, a, n, ProductForm::kPlain);
    std::fill(a + n, a + m, Cx<T>{0, 0});
    // The inverse transform as conj(F(conj(.))): the last stage writes the
    // conjugate of the product with the filter.
    T *f = m_inner->Stockham(work, inner, nullptr, path, m_filter.data());
    const Cx<T> *g = reinterpret_cast<const Cx<T> *>(
        m_inner->ForwardEither(f, f == work ? inner : work, path));
    Products(path, g, chirp, reinterpret_cast<Cx<T> *>(x), n, ProductForm::kConjugateFirst);
}

template <typename T>
void FftPlan<T>::ForwardReal(T *x, T *work, T *re, T *im, std::size_t stride,
                             KernelPath path) const {
    const std::size_t n = m_n;
    std::call_once(m_realOnce, [&] {
        m_realTwiddles.resize(2 * (n + 1));
        for (std::size_t k = 0; k <= n; ++k) {
            const Cx<T> w = Twiddle<T>(k, 2ULL * n);
            m_realTwiddles[2 * k] = w.re;
            m_realTwiddles[2 * k + 1] = w.im;
        }
    });
    using Ops = PlainOps<T>;
    const Cx<T> *z = reinterpret_cast<const Cx<T> *>(ForwardEither(x, work, path));
    const Cx<T> *w = reinterpret_cast<const Cx<T> *>(m_realTwiddles.data());
    // k = 0 and k = n: the even part's sum Re Z[0] and the odd part's Im Z[0].
    re[0] = z[0].re + z[0].im;
    im[0] = 0;
    re[n * stride] = z[0].re - z[0].im;
    im[n * stride] = 0;
    if (stride == 1) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if constexpr (std::is_same<T, double>::value) {
            if (path != KernelPath::kPlain && HasAvx2()) {
                if (path == KernelPath::kFastest && HasAvx512())
                    Avx512RealOutputs(z, w, n, re, im);
                else
                    Avx2RealOutputs(z, w, n, re, im);
                return;
            }
        }
#endif
        plain::RealOutputs<Ops>(z, w, n, re, im, 1);
        return;
    }
    for (std::size_t k = 1; k < n; ++k) {
        const Cx<T> a = z[k], b = {z[n - k].re, -z[n - k].im};
        const Cx<T> even = Ops::Scale(T(0.5), Ops::Add(a, b));
        const Cx<T> odd = Ops::Scale(T(0.5), Ops::NegI(Ops::Sub(a, b)));
        const Cx<T> y = Ops::Add(even, Ops::Mul(odd, w[k]));
        re[k * stride] = y.re;
        im[k * stride] = y.im;
        re[(2 * n - k) * stride] = y.re;
        im[(2 * n - k) * stride] = -y.im;
    }
}

template class FftPlan<double>;
template class FftPlan<float>;

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
