// src/signal/fft_kernel.cpp: the mixed-radix and Bluestein transforms of
// one complex vector, their twiddle factors and the cache of plans.
#include "signal/fft_kernel.h"

#include <algorithm>
#include <map>
#include <mutex>

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

template <typename T>
inline Cx<T> Add(Cx<T> a, Cx<T> b) {
    return {a.re + b.re, a.im + b.im};
}
template <typename T>
inline Cx<T> Sub(Cx<T> a, Cx<T> b) {
    return {a.re - b.re, a.im - b.im};
}
template <typename T>
inline Cx<T> Mul(Cx<T> a, Cx<T> w) {
    return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re};
}

// One stage of the Stockham transform: for every group j < m and every
// q < s, the radix-p butterfly of x[q + s*(j + r*m)], r < p, goes to
// y[q + s*(p*j + t)], t < p, output t >= 1 multiplied by the twiddle
// w[j*(p-1) + t-1] (exp(-2*pi*i*j*t*s/n)); group 0's twiddles are 1 and are
// not applied. Butterfly(a, b) maps the p inputs to the p outputs.
template <typename T, std::size_t P, typename Butterfly>
void RadixStage(const Cx<T> *x, Cx<T> *y, std::size_t s, std::size_t m, const Cx<T> *w,
                Butterfly butterfly) {
    Cx<T> a[P], b[P];
    for (std::size_t q = 0; q < s; ++q) {
        for (std::size_t r = 0; r < P; ++r) a[r] = x[q + s * r * m];
        butterfly(a, b);
        for (std::size_t t = 0; t < P; ++t) y[q + s * t] = b[t];
    }
    for (std::size_t j = 1; j < m; ++j) {
        const Cx<T> *wj = w + j * (P - 1);
        const Cx<T> *xj = x + s * j;
        Cx<T> *yj = y + s * P * j;
        for (std::size_t q = 0; q < s; ++q) {
            for (std::size_t r = 0; r < P; ++r) a[r] = xj[q + s * r * m];
            butterfly(a, b);
            yj[q] = b[0];
            for (std::size_t t = 1; t < P; ++t) yj[q + s * t] = Mul(b[t], wj[t - 1]);
        }
    }
}

template <typename T>
struct Radix2 {
    void operator()(const Cx<T> *a, Cx<T> *b) const {
        b[0] = Add(a[0], a[1]);
        b[1] = Sub(a[0], a[1]);
    }
};

template <typename T>
struct Radix4 {
    void operator()(const Cx<T> *a, Cx<T> *b) const {
        const Cx<T> t0 = Add(a[0], a[2]), t1 = Sub(a[0], a[2]);
        const Cx<T> t2 = Add(a[1], a[3]), d = Sub(a[1], a[3]);
        const Cx<T> t3 = {d.im, -d.re};  // -i * d
        b[0] = Add(t0, t2);
        b[1] = Add(t1, t3);
        b[2] = Sub(t0, t2);
        b[3] = Sub(t1, t3);
    }
};

template <typename T>
struct Radix3 {
    T s;  // sin(2*pi/3)
    void operator()(const Cx<T> *a, Cx<T> *b) const {
        const Cx<T> t = Add(a[1], a[2]), d = Sub(a[1], a[2]);
        const Cx<T> m = {a[0].re - T(0.5) * t.re, a[0].im - T(0.5) * t.im};
        b[0] = Add(a[0], t);
        b[1] = {m.re + s * d.im, m.im - s * d.re};
        b[2] = {m.re - s * d.im, m.im + s * d.re};
    }
};

template <typename T>
struct Radix5 {
    T c1, c2, s1, s2;  // cos and sin of 2*pi/5 and 4*pi/5
    void operator()(const Cx<T> *a, Cx<T> *b) const {
        const Cx<T> t1 = Add(a[1], a[4]), t2 = Add(a[2], a[3]);
        const Cx<T> d1 = Sub(a[1], a[4]), d2 = Sub(a[2], a[3]);
        b[0] = Add(Add(a[0], t1), t2);
        const Cx<T> m1 = {a[0].re + c1 * t1.re + c2 * t2.re, a[0].im + c1 * t1.im + c2 * t2.im};
        const Cx<T> m2 = {a[0].re + c2 * t1.re + c1 * t2.re, a[0].im + c2 * t1.im + c1 * t2.im};
        const Cx<T> n1 = {s1 * d1.re + s2 * d2.re, s1 * d1.im + s2 * d2.im};
        const Cx<T> n2 = {s2 * d1.re - s1 * d2.re, s2 * d1.im - s1 * d2.im};
        b[1] = {m1.re + n1.im, m1.im - n1.re};
        b[4] = {m1.re - n1.im, m1.im + n1.re};
        b[2] = {m2.re + n2.im, m2.im - n2.re};
        b[3] = {m2.re - n2.im, m2.im + n2.re};
    }
};

// A general odd prime p through its symmetric pairs: with h = (p-1)/2,
// u_r = a_r + a_{p-r} and v_r = a_r - a_{p-r} (r = 1..h),
//   b_0 = a_0 + u_1 + ... + u_h,
//   b_t, b_{p-t} = m_t -+ i*n_t, m_t = a_0 + sum_r cos(2*pi*rt/p) u_r,
//                                n_t = sum_r sin(2*pi*rt/p) v_r.
// `rot` holds cos, sin of 2*pi*k/p for k < p.
template <typename T>
void GeneralButterfly(std::size_t p, const T *rot, const Cx<T> *a, Cx<T> *b) {
    const std::size_t h = (p - 1) / 2;
    Cx<T> u[16], v[16];
    Cx<T> b0 = a[0];
    for (std::size_t r = 1; r <= h; ++r) {
        u[r] = Add(a[r], a[p - r]);
        v[r] = Sub(a[r], a[p - r]);
        b0 = Add(b0, u[r]);
    }
    b[0] = b0;
    for (std::size_t t = 1; t <= h; ++t) {
        Cx<T> m = a[0], n = {0, 0};
        std::size_t k = 0;
        for (std::size_t r = 1; r <= h; ++r) {
            k += t;
            if (k >= p) k -= p;
            const T c = rot[2 * k], sn = rot[2 * k + 1];
            m = {m.re + c * u[r].re, m.im + c * u[r].im};
            n = {n.re + sn * v[r].re, n.im + sn * v[r].im};
        }
        b[t] = {m.re + n.im, m.im - n.re};
        b[p - t] = {m.re - n.im, m.im + n.re};
    }
}

template <typename T>
void GeneralStage(std::size_t p, const T *rot, const Cx<T> *x, Cx<T> *y, std::size_t s,
                  std::size_t m, const Cx<T> *w) {
    Cx<T> a[kLargestDirectPrime], b[kLargestDirectPrime];
    for (std::size_t j = 0; j < m; ++j) {
        const Cx<T> *wj = w + j * (p - 1);
        for (std::size_t q = 0; q < s; ++q) {
            for (std::size_t r = 0; r < p; ++r) a[r] = x[q + s * (j + r * m)];
            GeneralButterfly(p, rot, a, b);
            Cx<T> *yj = y + q + s * p * j;
            yj[0] = b[0];
            for (std::size_t t = 1; t < p; ++t) yj[s * t] = j == 0 ? b[t] : Mul(b[t], wj[t - 1]);
        }
    }
}

// The prime factors of n in the order the stages take them: 4s, then a 2,
// then 3s, 5s and the other primes ascending.
std::vector<std::size_t> Radices(std::size_t n) {
    std::vector<std::size_t> radices;
    while (n % 4 == 0) {
        radices.push_back(4);
        n /= 4;
    }
    if (n % 2 == 0) {
        radices.push_back(2);
        n /= 2;
    }
    for (std::size_t p = 3; p * p <= n; p += 2)
        while (n % p == 0) {
            radices.push_back(p);
            n /= p;
        }
    if (n > 1) radices.push_back(n);
    std::sort(radices.begin(), radices.end(), [](std::size_t a, std::size_t b) {
        const auto rank = [](std::size_t r) { return r == 4 ? 0 : r == 2 ? 1 : r; };
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
        std::size_t m = 1;
        while (m < 2 * n - 1) m *= 2;
        m_inner = Get(m);
        m_chirp.resize(2 * n);
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned long long kk = static_cast<unsigned long long>(k) * k % (2ULL * n);
            const Cx<T> w = Twiddle<T>(kk, 2ULL * n);
            m_chirp[2 * k] = w.re;
            m_chirp[2 * k + 1] = w.im;
        }
        // The filter conj(w_j) at j and at m - j, transformed and scaled by
        // 1/m (exact: m is a power of two) so the inverse needs no division.
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
        const T scale = T(1) / static_cast<T>(m);
        for (T &f : m_filter) f *= scale;
        return;
    }
    std::size_t s = 1;
    for (const std::size_t p : radices) {
        const std::size_t m = n / (s * p);
        m_stages.push_back({p, s, m, m_twiddles.size() / 2});
        for (std::size_t j = 0; j < m; ++j)
            for (std::size_t t = 1; t < p; ++t) {
                const Cx<T> w = Twiddle<T>(static_cast<unsigned long long>(j) * t * s, n);
                m_twiddles.push_back(w.re);
                m_twiddles.push_back(w.im);
            }
        if (p > 5 && std::none_of(m_rotations.begin(), m_rotations.end(),
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
void FftPlan<T>::Forward(T *x, T *work) const {
    if (m_inner)
        Bluestein(x, work);
    else
        Stockham(x, work);
}

template <typename T>
void FftPlan<T>::Stockham(T *x, T *work) const {
    Cx<T> *from = reinterpret_cast<Cx<T> *>(x), *to = reinterpret_cast<Cx<T> *>(work);
    const Cx<T> *twiddles = reinterpret_cast<const Cx<T> *>(m_twiddles.data());
    long double c, s;
    for (const Stage &stage : m_stages) {
        const Cx<T> *w = twiddles + stage.twiddle;
        switch (stage.radix) {
            case 2: RadixStage<T, 2>(from, to, stage.stride, stage.span, w, Radix2<T>{}); break;
            case 4: RadixStage<T, 4>(from, to, stage.stride, stage.span, w, Radix4<T>{}); break;
            case 3: {
                SinCosFraction(1, 3, c, s);
                RadixStage<T, 3>(from, to, stage.stride, stage.span, w,
                                 Radix3<T>{static_cast<T>(s)});
                break;
            }
            case 5: {
                long double c2, s2;
                SinCosFraction(1, 5, c, s);
                SinCosFraction(2, 5, c2, s2);
                RadixStage<T, 5>(from, to, stage.stride, stage.span, w,
                                 Radix5<T>{static_cast<T>(c), static_cast<T>(c2),
                                           static_cast<T>(s), static_cast<T>(s2)});
                break;
            }
            default: {
                const auto rot = std::find_if(
                    m_rotations.begin(), m_rotations.end(),
                    [&](const std::vector<T> &r) { return r.size() == 2 * stage.radix; });
                GeneralStage<T>(stage.radix, rot->data(), from, to, stage.stride, stage.span, w);
                break;
            }
        }
        std::swap(from, to);
    }
    if (from != reinterpret_cast<Cx<T> *>(x)) std::copy(work, work + 2 * m_n, x);
}

template <typename T>
void FftPlan<T>::Bluestein(T *x, T *work) const {
    const std::size_t n = m_n, m = m_inner->Length();
    Cx<T> *a = reinterpret_cast<Cx<T> *>(work);
    T *inner = work + 2 * m;
    const Cx<T> *xs = reinterpret_cast<const Cx<T> *>(x);
    const Cx<T> *chirp = reinterpret_cast<const Cx<T> *>(m_chirp.data());
    const Cx<T> *filter = reinterpret_cast<const Cx<T> *>(m_filter.data());
    // a = x .* chirp, zero-padded to m; its transform times the filter's.
    for (std::size_t k = 0; k < n; ++k) a[k] = Mul(xs[k], chirp[k]);
    std::fill(a + n, a + m, Cx<T>{0, 0});
    m_inner->Forward(work, inner);
    // The inverse transform as conj(F(conj(.))): the filter's conjugate.
    for (std::size_t k = 0; k < m; ++k) {
        const Cx<T> p = Mul(a[k], filter[k]);
        a[k] = {p.re, -p.im};
    }
    m_inner->Forward(work, inner);
    Cx<T> *out = reinterpret_cast<Cx<T> *>(x);
    for (std::size_t k = 0; k < n; ++k) out[k] = Mul(Cx<T>{a[k].re, -a[k].im}, chirp[k]);
}

template class FftPlan<double>;
template class FftPlan<float>;

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
