// src/signal/fft_kernel.h: the discrete Fourier transform of one complex
// vector of any length, on raw interleaved buffers (re, im, re, im, ...).
//
// Private to the library. A plan holds everything one length needs (its
// factors, its twiddle factors, and for Bluestein's method the chirp and the
// transformed filter); plans never change once built, so one plan serves
// any number of threads at once. Plans are cached per length and element
// type (Plan<T>::Get), so a length's twiddles are computed once per process.
//
// Algorithms:
//   - Lengths whose prime factors are all at most kLargestDirectPrime: the
//     self-sorting (Stockham) form of the mixed-radix Cooley-Tukey
//     decimation in frequency: C. Van Loan, "Computational Frameworks for
//     the Fast Fourier Transform", SIAM, 1992, section 1.7 (Stockham
//     autosort) and section 2.3 (mixed radix). Each stage applies one
//     radix-p butterfly (p = 8, 4, 2, 3, 5, or a general odd prime through its
//     symmetric pairs) to every group, then the twiddle factors.
//   - Other lengths: Bluestein's chirp z-transform: L. I. Bluestein, "A
//     linear filtering approach to the computation of the discrete Fourier
//     transform", IEEE Trans. Audio Electroacoust. 18(4), 1970, 451-455:
//     jk = (j^2 + k^2 - (k-j)^2)/2 turns the transform into a circular
//     convolution with the chirp exp(-i*pi*k^2/n), done by three transforms
//     of the smallest length at least 2n-1 of the form 2^a*c, c in
//     {1, 3, 5, 9, 15, 25, 27} (one of them precomputed).
//
// Twiddle factors are cos and sin of exact fractions 2*pi*r/N: r is reduced
// to the first octant with integer arithmetic, so the symmetric values are
// exact (cos(pi/2) is 0, cos(pi/4) equals sin(pi/4)), and the octant value
// comes from a Taylor series in long double, rounded once.
//
// Order of operations: every output element is computed by one fixed
// sequence of additions and multiplications that depends on the length
// only, so the bits are the same on every run, thread count and processor.
// The vector paths (two complex values a register with AVX2, four with
// AVX-512F) compute each lane as the plain path does; long transforms
// (from 2^15) cut each stage's butterflies among the threads, which leaves
// every butterfly as it is.
#ifndef MATRIX_SRC_SIGNAL_FFT_KERNEL_H
#define MATRIX_SRC_SIGNAL_FFT_KERNEL_H

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "kernels/kernel_path.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// The largest prime factor that the mixed-radix transform takes as one
/// butterfly stage; a length with a larger prime factor goes to Bluestein's
/// method (a general radix-p butterfly costs about p operations an element,
/// more than the three longer transforms from about here on).
constexpr std::size_t kLargestDirectPrime = 31;

/// cos(2*pi*r/n) and sin(2*pi*r/n) for whole r and n > 0, as nearly
/// correctly rounded as a long double series gives.
void SinCosFraction(unsigned long long r, unsigned long long n, long double &c, long double &s);

/// Allocates on cache lines, where the widest stages read whole lines.
template <typename T>
struct LineAllocator {
    using value_type = T;
    static constexpr std::align_val_t kAlignment{64};
    LineAllocator() = default;
    template <typename U>
    LineAllocator(const LineAllocator<U> &) {}
    T *allocate(std::size_t count) {
        return static_cast<T *>(::operator new(count * sizeof(T), kAlignment));
    }
    void deallocate(T *p, std::size_t) { ::operator delete(p, kAlignment); }
    template <typename U>
    bool operator==(const LineAllocator<U> &) const { return true; }
    template <typename U>
    bool operator!=(const LineAllocator<U> &) const { return false; }
};

/// One line of a complex array in its split storage (real parts apart from
/// imaginary parts), stride 1: the input x[k] = re[k] + i*sign*im[k] (0 for
/// a null im), the output to yr and yi (yi null: not written), as it is or,
/// with conjugateScaled, conj(X[k]) / divisor (the end of an inverse).
template <typename T>
struct SplitLine {
    const T *re;
    const T *im;
    T sign;
    T *yr;
    T *yi;
    bool conjugateScaled;
    T divisor;
};

/// The transform of one length, for element type T (double or float).
template <typename T>
class FftPlan {
public:
    /// Returns the plan of length n (n >= 1) from the process-wide cache,
    /// building it on first use. Safe to call from any thread. Throws
    /// std::bad_alloc.
    static std::shared_ptr<const FftPlan> Get(std::size_t n);

    explicit FftPlan(std::size_t n);

    std::size_t Length() const { return m_n; }
    /// Elements of T (not complex pairs) that Execute needs as work space.
    std::size_t WorkSize() const;

    /// x[k] = sum_j x[j] * exp(-2*pi*i*j*k/n) for k < n, in place on the n
    /// interleaved complex values of `x`. `work` holds WorkSize() elements.
    /// Every path gives the same bits: kPlain one complex value at a time,
    /// kAvx2 (double) two at a time with AVX2 where the processor has it,
    /// kFastest four at a time with AVX-512F where it has that.
    void Forward(T *x, T *work, KernelPath path = KernelPath::kFastest) const;

    /// Forward without the last copy: the transform of x is left either in
    /// x or in work[0..2n), whichever the returned pointer names; both
    /// buffers are overwritten.
    T *ForwardEither(T *x, T *work, KernelPath path = KernelPath::kFastest) const;

    /// The transform of `line` (see SplitLine), its n values read and
    /// written in place of the interleaved copies: the first stage reads
    /// the split parts and the last writes them, with the bits of Forward
    /// between an interleaving and a split. `work` holds SplitWorkSize().
    void ForwardSplit(const SplitLine<T> &line, T *work,
                      KernelPath path = KernelPath::kFastest) const;
    std::size_t SplitWorkSize() const { return 2 * m_n + WorkSize(); }

    /// The transform of 2n real values through this plan (length n): x
    /// holds them (as n interleaved complex values z[k] = x[2k] + i*x[2k+1]);
    /// on return, with Z the transform of z, re and im (strides `stride`)
    /// hold the result y[k] for k <= n,
    ///   y[k] = (Z[k] + conj(Z[n-k]))/2 + w^k * (-i/2) * (Z[k] - conj(Z[n-k])),
    /// w = exp(-i*pi/n), Z[n] = Z[0], and y[2n-k] = conj(y[k]) for the rest:
    /// exactly conjugate symmetric, y[0] and y[n] real. x is overwritten.
    void ForwardReal(T *x, T *work, T *re, T *im, std::size_t stride,
                     KernelPath path = KernelPath::kFastest) const;

private:
    struct Stage {
        std::size_t radix;
        std::size_t stride;   // s: groups before this stage's butterflies
        std::size_t span;     // m = n / (s * radix)
        std::size_t twiddle;  // offset of this stage's twiddles (w[(t-1)*span + j])
        // cos and sin of 2*pi/radix and 4*pi/radix, and for a general radix
        // the index of its rotations in m_rotations.
        T c1, c2, s1, s2;
        std::size_t rotations;
    };

    // The stages from x (or line's input) with y as the other buffer; the
    // result lands in x or y (returned), or in line's output; with product
    // (n complex values) the result is conj(X[k] * product[k]).
    T *Stockham(T *x, T *y, const SplitLine<T> *line, KernelPath path,
                const T *product = nullptr) const;
    void Bluestein(T *x, T *work, KernelPath path) const;

    std::size_t m_n;
    std::vector<Stage> m_stages;
    std::vector<T, LineAllocator<T>> m_twiddles;  // per stage: (radix-1) x span complex values
    /// cos and sin of 2*pi*k/p for each general radix p, by p.
    std::vector<std::vector<T>> m_rotations;
    // Bluestein's method: the chirp exp(-i*pi*k^2/n) (n complex), the
    // transformed filter divided by m (m complex), and the plan of length m.
    std::vector<T, LineAllocator<T>> m_chirp;
    std::vector<T, LineAllocator<T>> m_filter;
    std::shared_ptr<const FftPlan> m_inner;
    // exp(-i*pi*k/n), k <= n, for ForwardReal: built on its first use.
    mutable std::once_flag m_realOnce;
    mutable std::vector<T> m_realTwiddles;
};

extern template class FftPlan<double>;
extern template class FftPlan<float>;

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_SIGNAL_FFT_KERNEL_H
