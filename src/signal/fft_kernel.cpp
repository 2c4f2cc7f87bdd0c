// src/signal/fft_kernel.cpp: the mixed-radix and Bluestein transforms of
// one complex vector, their twiddle factors and the cache of plans.
#include "signal/fft_kernel.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <type_traits>

#include "kernels/kernel_support.h"

#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>
#endif

// Every AVX2 value lives inside Avx2Stage, whose callees are all inlined
// into it, so no call passes one across an ABI boundary; GCC warns of the
// calls before it inlines them. The butterfly arrays of a general radix are
// read only up to the radix that fills them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
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

#define MATRIX_FFT_INLINE inline __attribute__((always_inline))

template <typename T>
struct Cx {
    T re, im;
};

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
    static constexpr std::size_t kLanes = 1;
    static V Load(const Cx<T> *p) { return *p; }
    static V Broadcast(const Cx<T> *p) { return *p; }
    static void Store(Cx<T> *p, V v) { *p = v; }
    static V Add(V a, V b) { return {a.re + b.re, a.im + b.im}; }
    static V Sub(V a, V b) { return {a.re - b.re, a.im - b.im}; }
    static V Scale(T c, V a) { return {c * a.re, c * a.im}; }
    static V NegI(V a) { return {a.im, -a.re}; }
    static V Mul(V a, V w) { return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re}; }
};

#if defined(MATRIX_HAVE_AVX2_PATHS)
#define MATRIX_FFT_AVX2 __attribute__((target("avx2")))
struct Avx2Ops {
    using V = __m256d;
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
    // Lane 0 to lo, lane 1 to hi.
    MATRIX_FFT_AVX2 static void StoreSplit(Cx<double> *lo, Cx<double> *hi, V v) {
        _mm_storeu_pd(reinterpret_cast<double *>(lo), _mm256_castpd256_pd128(v));
        _mm_storeu_pd(reinterpret_cast<double *>(hi), _mm256_extractf128_pd(v, 1));
    }
    MATRIX_FFT_AVX2 static V Add(V a, V b) { return _mm256_add_pd(a, b); }
    MATRIX_FFT_AVX2 static V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
    MATRIX_FFT_AVX2 static V Scale(double c, V a) { return _mm256_mul_pd(_mm256_set1_pd(c), a); }
    MATRIX_FFT_AVX2 static V NegI(V a) {
        return _mm256_xor_pd(_mm256_permute_pd(a, 0x5), _mm256_setr_pd(0.0, -0.0, 0.0, -0.0));
    }
    // (a.re*w.re, a.im*w.re) -+ (a.im*w.im, a.re*w.im): the plain products,
    // the imaginary sum with its terms swapped (addition commutes exactly).
    MATRIX_FFT_AVX2 static V Mul(V a, V w) {
        const V t1 = _mm256_mul_pd(a, _mm256_movedup_pd(w));
        const V t2 = _mm256_mul_pd(_mm256_permute_pd(a, 0x5), _mm256_permute_pd(w, 0xF));
        return _mm256_addsub_pd(t1, t2);
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

// The radix-p butterfly b = DFT_p(a). P is p, or 0 for a general odd prime
// p (at most kLargestDirectPrime) through its symmetric pairs: with
// h = (p-1)/2, u_r = a_r + a_{p-r} and v_r = a_r - a_{p-r} (r = 1..h),
//   b_0 = a_0 + u_1 + ... + u_h,
//   b_t, b_{p-t} = m_t -+ i*n_t, m_t = a_0 + sum_r cos(2*pi*rt/p) u_r,
//                                n_t = sum_r sin(2*pi*rt/p) v_r.
// Radix 3 and 5 are that formula with their constants; radix 4 is two
// levels of radix 2 with -i between them.
template <class Ops, std::size_t P, typename T>
MATRIX_FFT_INLINE void Butterfly(std::size_t p, const Constants<T> &k, const typename Ops::V *a,
                      typename Ops::V *b) {
    using V = typename Ops::V;
    if constexpr (P == 2) {
        b[0] = Ops::Add(a[0], a[1]);
        b[1] = Ops::Sub(a[0], a[1]);
    } else if constexpr (P == 4) {
        const V t0 = Ops::Add(a[0], a[2]), t1 = Ops::Sub(a[0], a[2]);
        const V t2 = Ops::Add(a[1], a[3]), t3 = Ops::NegI(Ops::Sub(a[1], a[3]));
        b[0] = Ops::Add(t0, t2);
        b[1] = Ops::Add(t1, t3);
        b[2] = Ops::Sub(t0, t2);
        b[3] = Ops::Sub(t1, t3);
    } else if constexpr (P == 8) {
        // A radix-2 step to two radix-4 butterflies: the sums give the even
        // outputs, the differences times exp(-2*pi*i*r/8) the odd ones
        // (c1 = cos(pi/4)).
        V u[4], v[4], e[4], o[4];
        for (std::size_t r = 0; r < 4; ++r) {
            u[r] = Ops::Add(a[r], a[r + 4]);
            v[r] = Ops::Sub(a[r], a[r + 4]);
        }
        v[1] = Ops::Scale(k.c1, Ops::Add(v[1], Ops::NegI(v[1])));
        v[2] = Ops::NegI(v[2]);
        v[3] = Ops::Scale(k.c1, Ops::Sub(Ops::NegI(v[3]), v[3]));
        Butterfly<Ops, 4>(4, k, u, e);
        Butterfly<Ops, 4>(4, k, v, o);
        for (std::size_t r = 0; r < 4; ++r) {
            b[2 * r] = e[r];
            b[2 * r + 1] = o[r];
        }
    } else if constexpr (P == 3) {
        const V t = Ops::Add(a[1], a[2]);
        const V n = Ops::NegI(Ops::Scale(k.s1, Ops::Sub(a[1], a[2])));
        const V m = Ops::Sub(a[0], Ops::Scale(T(0.5), t));
        b[0] = Ops::Add(a[0], t);
        b[1] = Ops::Add(m, n);
        b[2] = Ops::Sub(m, n);
    } else if constexpr (P == 5) {
        const V t1 = Ops::Add(a[1], a[4]), t2 = Ops::Add(a[2], a[3]);
        const V d1 = Ops::Sub(a[1], a[4]), d2 = Ops::Sub(a[2], a[3]);
        b[0] = Ops::Add(Ops::Add(a[0], t1), t2);
        const V m1 = Ops::Add(Ops::Add(a[0], Ops::Scale(k.c1, t1)), Ops::Scale(k.c2, t2));
        const V m2 = Ops::Add(Ops::Add(a[0], Ops::Scale(k.c2, t1)), Ops::Scale(k.c1, t2));
        const V n1 = Ops::NegI(Ops::Add(Ops::Scale(k.s1, d1), Ops::Scale(k.s2, d2)));
        const V n2 = Ops::NegI(Ops::Sub(Ops::Scale(k.s2, d1), Ops::Scale(k.s1, d2)));
        b[1] = Ops::Add(m1, n1);
        b[4] = Ops::Sub(m1, n1);
        b[2] = Ops::Add(m2, n2);
        b[3] = Ops::Sub(m2, n2);
    } else {
        const std::size_t h = (p - 1) / 2;
        V u[kLargestDirectPrime / 2 + 1], v[kLargestDirectPrime / 2 + 1];
        V b0 = a[0];
        for (std::size_t r = 1; r <= h; ++r) {
            u[r] = Ops::Add(a[r], a[p - r]);
            v[r] = Ops::Sub(a[r], a[p - r]);
            b0 = Ops::Add(b0, u[r]);
        }
        b[0] = b0;
        for (std::size_t t = 1; t <= h; ++t) {
            std::size_t at = t;
            V m = Ops::Add(a[0], Ops::Scale(k.rot[2 * at], u[1]));
            V n = Ops::Scale(k.rot[2 * at + 1], v[1]);
            for (std::size_t r = 2; r <= h; ++r) {
                at += t;
                if (at >= p) at -= p;
                m = Ops::Add(m, Ops::Scale(k.rot[2 * at], u[r]));
                n = Ops::Add(n, Ops::Scale(k.rot[2 * at + 1], v[r]));
            }
            n = Ops::NegI(n);
            b[t] = Ops::Add(m, n);
            b[p - t] = Ops::Sub(m, n);
        }
    }
}

// One stage of the Stockham transform: for every group j < m and every
// q < s, the radix-p butterfly of x[q + s*(j + r*m)], r < p, goes to
// y[q + s*(p*j + t)], t < p, output t >= 1 multiplied by the twiddle
// w[(t-1)*m + j] = exp(-2*pi*i*j*t*s/n). Group 0's twiddles are 1 and are
// not applied (so an infinity stays one). Ops takes lanes of consecutive q,
// or for s = 1 of consecutive groups j; what is left over goes lane by
// lane through the plain path, which computes the same thing.
template <class O, std::size_t P, typename T>
MATRIX_FFT_INLINE void Group(std::size_t p, const Constants<T> &k, const Cx<T> *x, Cx<T> *y,
                             std::size_t s, std::size_t m, const Cx<T> *w, std::size_t j,
                             std::size_t q) {
    constexpr std::size_t kMax = P != 0 ? P : kLargestDirectPrime;
    typename O::V a[kMax], b[kMax];
    for (std::size_t r = 0; r < p; ++r) a[r] = O::Load(x + q + s * (j + r * m));
    Butterfly<O, P>(p, k, a, b);
    Cx<T> *out = y + q + s * p * j;
    O::Store(out, b[0]);
    for (std::size_t t = 1; t < p; ++t)
        O::Store(out + s * t, j == 0 ? b[t] : O::Mul(b[t], O::Broadcast(w + (t - 1) * m + j)));
}

template <class Ops, std::size_t P, typename T>
MATRIX_FFT_INLINE void RadixStage(std::size_t p, const Constants<T> &k, const Cx<T> *x, Cx<T> *y, std::size_t s,
                std::size_t m, const Cx<T> *w) {
    using V = typename Ops::V;
    using Plain = PlainOps<T>;
    if constexpr (P != 0) p = P;
    constexpr std::size_t kMax = P != 0 ? P : kLargestDirectPrime;
    if constexpr (Ops::kLanes == 1) {
        for (std::size_t j = 0; j < m; ++j)
            for (std::size_t q = 0; q < s; ++q) Group<Plain, P>(p, k, x, y, s, m, w, j, q);
    } else if (s == 1) {
        // Lanes over groups j, j+1 (from 1: group 0 has no twiddles).
        Group<Plain, P>(p, k, x, y, s, m, w, 0, 0);
        std::size_t j = 1;
        for (; j + 1 < m; j += 2) {
            V a[kMax], b[kMax];
            for (std::size_t r = 0; r < p; ++r) a[r] = Ops::Load(x + j + r * m);
            Butterfly<Ops, P>(p, k, a, b);
            Cx<T> *out = y + p * j;
            Ops::StoreSplit(out, out + p, b[0]);
            for (std::size_t t = 1; t < p; ++t)
                Ops::StoreSplit(out + t, out + p + t, Ops::Mul(b[t], Ops::Load(w + (t - 1) * m + j)));
        }
        for (; j < m; ++j) Group<Plain, P>(p, k, x, y, s, m, w, j, 0);
    } else {
        for (std::size_t j = 0; j < m; ++j) {
            std::size_t q = 0;
            for (; q + 1 < s; q += 2) Group<Ops, P>(p, k, x, y, s, m, w, j, q);
            for (; q < s; ++q) Group<Plain, P>(p, k, x, y, s, m, w, j, q);
        }
    }
}

// A stage on the plain path and on the AVX2 path (double only).
template <std::size_t P, typename T>
void PlainStage(std::size_t p, const Constants<T> &k, const Cx<T> *x, Cx<T> *y, std::size_t s,
                std::size_t m, const Cx<T> *w) {
    RadixStage<PlainOps<T>, P>(p, k, x, y, s, m, w);
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
template <std::size_t P>
MATRIX_FFT_AVX2 void Avx2Stage(std::size_t p, const Constants<double> &k, const Cx<double> *x,
                               Cx<double> *y, std::size_t s, std::size_t m,
                               const Cx<double> *w) {
    RadixStage<Avx2Ops, P>(p, k, x, y, s, m, w);
}
#endif

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
        m_stages.push_back({p, s, m, m_twiddles.size() / 2});
        for (std::size_t t = 1; t < p; ++t)
            for (std::size_t j = 0; j < m; ++j) {
                const Cx<T> w = Twiddle<T>(static_cast<unsigned long long>(j) * t * s, n);
                m_twiddles.push_back(w.re);
                m_twiddles.push_back(w.im);
            }
        if (p > 5 && p != 8 && std::none_of(m_rotations.begin(), m_rotations.end(),
                                  [p](const std::vector<T> &r) { return r.size() == 2 * p; })) {
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
    if (m_inner)
        Bluestein(x, work, path);
    else
        Stockham(x, work, path);
}

template <typename T>
void FftPlan<T>::Stockham(T *x, T *work, KernelPath path) const {
    Cx<T> *from = reinterpret_cast<Cx<T> *>(x), *to = reinterpret_cast<Cx<T> *>(work);
    const Cx<T> *twiddles = reinterpret_cast<const Cx<T> *>(m_twiddles.data());
    bool avx2 = false;
#if defined(MATRIX_HAVE_AVX2_PATHS)
    avx2 = std::is_same<T, double>::value && path != KernelPath::kPlain && HasAvx2();
#else
    (void)path;
#endif
    for (const Stage &stage : m_stages) {
        const Cx<T> *w = twiddles + stage.twiddle;
        const std::size_t p = stage.radix, s = stage.stride, m = stage.span;
        Constants<T> k{0, 0, 0, 0, nullptr};
        long double c1, s1, c2, s2;
        SinCosFraction(1, p, c1, s1);
        SinCosFraction(2, p, c2, s2);
        k = {static_cast<T>(c1), static_cast<T>(c2), static_cast<T>(s1), static_cast<T>(s2),
             nullptr};
        if (p > 5 && p != 8)
            k.rot = std::find_if(m_rotations.begin(), m_rotations.end(),
                                 [&](const std::vector<T> &r) { return r.size() == 2 * p; })
                        ->data();
#if defined(MATRIX_HAVE_AVX2_PATHS)
        if constexpr (std::is_same<T, double>::value) {
            if (avx2) {
                switch (p) {
                    case 2: Avx2Stage<2>(p, k, from, to, s, m, w); break;
                    case 3: Avx2Stage<3>(p, k, from, to, s, m, w); break;
                    case 4: Avx2Stage<4>(p, k, from, to, s, m, w); break;
                    case 8: Avx2Stage<8>(p, k, from, to, s, m, w); break;
                    case 5: Avx2Stage<5>(p, k, from, to, s, m, w); break;
                    default: Avx2Stage<0>(p, k, from, to, s, m, w); break;
                }
                std::swap(from, to);
                continue;
            }
        }
#endif
        switch (p) {
            case 2: PlainStage<2>(p, k, from, to, s, m, w); break;
            case 3: PlainStage<3>(p, k, from, to, s, m, w); break;
            case 4: PlainStage<4>(p, k, from, to, s, m, w); break;
            case 8: PlainStage<8>(p, k, from, to, s, m, w); break;
            case 5: PlainStage<5>(p, k, from, to, s, m, w); break;
            default: PlainStage<0>(p, k, from, to, s, m, w); break;
        }
        std::swap(from, to);
    }
    if (from != reinterpret_cast<Cx<T> *>(x)) std::copy(work, work + 2 * m_n, x);
}

template <typename T>
void FftPlan<T>::Bluestein(T *x, T *work, KernelPath path) const {
    const std::size_t n = m_n, m = m_inner->Length();
    Cx<T> *a = reinterpret_cast<Cx<T> *>(work);
    T *inner = work + 2 * m;
    const Cx<T> *xs = reinterpret_cast<const Cx<T> *>(x);
    const Cx<T> *chirp = reinterpret_cast<const Cx<T> *>(m_chirp.data());
    const Cx<T> *filter = reinterpret_cast<const Cx<T> *>(m_filter.data());
    // a = x .* chirp, zero-padded to m; its transform times the filter's.
    for (std::size_t k = 0; k < n; ++k) a[k] = PlainOps<T>::Mul(xs[k], chirp[k]);
    std::fill(a + n, a + m, Cx<T>{0, 0});
    m_inner->Forward(work, inner, path);
    // The inverse transform as conj(F(conj(.))): the filter's conjugate.
    for (std::size_t k = 0; k < m; ++k) {
        const Cx<T> p = PlainOps<T>::Mul(a[k], filter[k]);
        a[k] = {p.re, -p.im};
    }
    m_inner->Forward(work, inner, path);
    Cx<T> *out = reinterpret_cast<Cx<T> *>(x);
    for (std::size_t k = 0; k < n; ++k) out[k] = PlainOps<T>::Mul(Cx<T>{a[k].re, -a[k].im}, chirp[k]);
}

template class FftPlan<double>;
template class FftPlan<float>;

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
