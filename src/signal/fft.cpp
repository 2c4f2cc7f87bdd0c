// src/signal/fft.cpp: Fft, Ifft and their two- and N-dimensional forms,
// Fftshift, Ifftshift and Nextpow2.
#include <kiv/exception.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/fft.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/array_holder.h"
#include "kernels/parallel.h"
#include "signal/fft_interleave.h"
#include "signal/fft_kernel.h"

namespace kiv {
namespace matrix {

namespace {

enum class Direction { kForward, kInverse, kCopy };

// What the transform of one line writes.
enum class Output { kComplex, kReal };

// The most dimensions a transform along a dimension beyond the last may
// create; beyond, the shape is taken as too large to store.
constexpr unsigned int kMostDimensions = 1024;

// Elements of work a piece of the line loop should hold at least, so that
// threads are only woken for transforms worth it.
constexpr std::size_t kElementsPerPiece = 1 << 15;

// The first dimension whose length is not 1; 1 when there is none.
unsigned int DefaultDim(const CMatrix *X) {
    const unsigned int nd = X->GetNoDimensions();
    const unsigned int *dims = X->GetDimensions();
    for (unsigned int d = 0; d < nd; ++d)
        if (dims[d] != 1) return d + 1;
    return 1;
}

// Element k (< n) of the line that starts at `in` with stride `stride` and
// `len` elements, zero beyond them.
template <typename T>
struct LineReader {
    const T *pr;
    const T *pi;
    std::size_t stride, len;
    T Re(std::size_t k) const { return k < len ? pr[k * stride] : T(0); }
    T Im(std::size_t k) const { return k < len && pi ? pi[k * stride] : T(0); }
};

// True when x[k] == conj(x[(n-k) mod n]) for every k < n.
template <typename T>
bool Symmetric(const LineReader<T> &x, std::size_t n) {
    if (n == 0) return true;
    if (!(x.Im(0) == 0)) return false;
    for (std::size_t k = 1; k <= n / 2; ++k)
        if (!(x.Re(k) == x.Re(n - k)) || !(x.Im(k) == -x.Im(n - k))) return false;
    return true;
}

// Work space of a thread, kept between calls up to kKeptScratch elements:
// fresh memory of a large transform costs more in page faults than the
// transform itself. Uninitialised: every element is written before it is
// read. One holder per thread at a time (the line loop does not nest).
constexpr std::size_t kKeptScratch = std::size_t{1} << 22;

// Scratch starts on a cache line: the widest vector stages load and store
// whole lines, and a line split in two costs two accesses.
constexpr std::align_val_t kScratchAlignment{64};

template <typename T>
struct AlignedDelete {
    void operator()(T *p) const { ::operator delete[](p, kScratchAlignment); }
};

template <typename T>
T *AlignedArray(std::size_t count) {
    return static_cast<T *>(
        ::operator new[](count * sizeof(T), kScratchAlignment, std::nothrow));
}

template <typename T>
struct Scratch {
    explicit Scratch(std::size_t count) {
        Kept &kept = Held();
        if (count <= kKeptScratch) {
            if (kept.size < count) {
                kept.data.reset(AlignedArray<T>(count));
                kept.size = kept.data ? count : 0;
            }
            data = kept.data.get();
        } else {
            own.reset(AlignedArray<T>(count));
            data = own.get();
        }
        if (!data) throw kiv::CExhaustedMemoryException();
    }
    struct Kept {
        std::unique_ptr<T[], AlignedDelete<T>> data;
        std::size_t size = 0;
    };
    static Kept &Held() {
        thread_local Kept kept;
        return kept;
    }
    std::unique_ptr<T[], AlignedDelete<T>> own;
    T *data = nullptr;
};

// The transform of every line of X (class T) along `dim` to length n.
template <typename T>
CMatrix *Transform(const CMatrix *X, unsigned int n, unsigned int dim, Direction direction,
                   FftSymmetry symmetry) {
    const mxClassID classId = X->GetClassID();
    const unsigned int nd = X->GetNoDimensions();
    // A dimension beyond the last has length 1; a transform along it to
    // another length gives the array that many more dimensions.
    if (dim > nd && (n == kFftNaturalLength || n == 1)) dim = nd + 1;
    if (dim > kMostDimensions) throw kiv::CExhaustedMemoryException();
    std::vector<unsigned int> dims(std::max(nd, dim), 1u);
    std::copy(X->GetDimensions(), X->GetDimensions() + nd, dims.begin());
    const std::size_t len = dims[dim - 1];
    if (n == kFftNaturalLength) n = static_cast<unsigned int>(len);
    std::size_t before = 1, after = 1;
    for (unsigned int d = 0; d < dims.size(); ++d) {
        if (d + 1 < dim) before *= dims[d];
        if (d + 1 > dim) after *= dims[d];
    }
    const T *pr = static_cast<const T *>(X->GetPr());
    const T *pi = static_cast<const T *>(X->GetPi());
    const std::size_t lines = before * after;
    const auto reader = [&](std::size_t line) {
        // No element is read from a line of length 0 (whose data may be null).
        if (len == 0) return LineReader<T>{nullptr, nullptr, before, 0};
        const std::size_t p = line % before, o = line / before;
        return LineReader<T>{pr + p + before * len * o, pi ? pi + p + before * len * o : nullptr,
                             before, len};
    };

    // Real results: a copy or forward transform of real data stays real
    // only for kCopy; an inverse is real when asked for or when every line
    // is conjugate symmetric.
    Output output = Output::kComplex;
    if (direction == Direction::kCopy && !pi) output = Output::kReal;
    if (direction == Direction::kInverse) {
        output = Output::kReal;
        if (symmetry == FftSymmetry::kNonsymmetric)
            for (std::size_t line = 0; line < lines && output == Output::kReal; ++line)
                if (!Symmetric(reader(line), n)) output = Output::kComplex;
    }

    dims[dim - 1] = n;
    ArrayHolder Y(
        mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(), classId,
                             output == Output::kReal ? mxComplexityReal : mxComplexityComplex));
    if (Y->GetNoElems() == 0) return Y.release();
    T *yr = static_cast<T *>(Y->GetPr());
    T *yi = static_cast<T *>(Y->GetPi());
    // Real input of even length goes through the transform of half the
    // length (ForwardReal).
    const bool halfLength = direction == Direction::kForward && !pi && n % 2 == 0;
    std::shared_ptr<const kernels::FftPlan<T>> plan;
    if (direction != Direction::kCopy) {
        try {
            plan = kernels::FftPlan<T>::Get(halfLength ? n / 2 : n);
        } catch (const std::bad_alloc &) {
            throw kiv::CExhaustedMemoryException();
        }
    }
    const bool symmetric = direction == Direction::kInverse && symmetry == FftSymmetry::kSymmetric;
    const bool realInput = !pi;
    const T scale = static_cast<T>(n);

    const auto run = [&](std::size_t begin, std::size_t end) {
        // Two buffers of n complex values, and the kernel's work space.
        Scratch<T> scratch(2 * static_cast<std::size_t>(n) + (plan ? plan->WorkSize() : 0));
        T *const buffer = scratch.data;
        T *const work = buffer + 2 * static_cast<std::size_t>(n);
        for (std::size_t line = begin; line < end; ++line) {
            const LineReader<T> x = reader(line);
            const std::size_t p = line % before, o = line / before;
            T *outR = yr + p + before * n * o;
            T *outI = yi ? yi + p + before * n * o : nullptr;
            if (direction == Direction::kCopy) {
                for (std::size_t k = 0; k < n; ++k) {
                    outR[k * before] = x.Re(k);
                    if (outI) outI[k * before] = x.Im(k);
                }
                continue;
            }
            if (halfLength) {
                const std::size_t stored = std::min<std::size_t>(x.len, n);
                if (before == 1)
                    std::copy(x.pr, x.pr + stored, buffer);
                else
                    for (std::size_t k = 0; k < stored; ++k) buffer[k] = x.pr[k * before];
                std::fill(buffer + stored, buffer + n, T(0));
                plan->ForwardReal(buffer, work, outR, outI, before);
                continue;
            }
            // The inverse is the conjugate of the forward transform of the
            // conjugate; 'symmetric' reads x[0..n/2] and mirrors it.
            const T sign = direction == Direction::kInverse ? T(-1) : T(1);
            // A whole column of complex input, or any inverse: the first
            // and last stages read and write the split parts themselves.
            if (before == 1 && x.len >= n && !symmetric &&
                (direction == Direction::kInverse || !realInput)) {
                const bool inverse = direction == Direction::kInverse;
                plan->ForwardSplit({x.pr, x.pi, sign, outR, outI, inverse, scale}, buffer);
                continue;
            }
            if (!symmetric) {
                // The common case without a test per element.
                const std::size_t stored = std::min<std::size_t>(x.len, n);
                if (before == 1) {
                    kernels::Interleave(x.pr, x.pi, sign, stored, buffer);
                } else {
                    for (std::size_t k = 0; k < stored; ++k) buffer[2 * k] = x.pr[k * before];
                    for (std::size_t k = 0; k < stored; ++k)
                        buffer[2 * k + 1] = x.pi ? sign * x.pi[k * before] : T(0);
                }
                std::fill(buffer + 2 * stored, buffer + 2 * static_cast<std::size_t>(n), T(0));
            }
            for (std::size_t k = 0; symmetric && k < n; ++k) {
                const std::size_t from = symmetric && 2 * k > n ? n - k : k;
                const bool mirrored = from != k;
                buffer[2 * k] = x.Re(from);
                const T im = symmetric && (k == 0 || 2 * k == n) ? T(0) : x.Im(from);
                buffer[2 * k + 1] = mirrored ? -(sign * im) : sign * im;
            }
            T *const y = plan->ForwardEither(buffer, work);
            if (direction == Direction::kForward) {
                // Real input: its transform is conjugate symmetric exactly.
                if (realInput) {
                    y[1] = 0;
                    for (std::size_t k = 1; 2 * k < n; ++k) {
                        y[2 * (n - k)] = y[2 * k];
                        y[2 * (n - k) + 1] = -y[2 * k + 1];
                    }
                    if (n % 2 == 0) y[n + 1] = 0;
                }
                if (before == 1) {
                    kernels::Deinterleave(y, n, outR, outI);
                    continue;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    outR[k * before] = y[2 * k];
                    outI[k * before] = y[2 * k + 1];
                }
            } else if (before == 1) {
                kernels::DeinterleaveConjugateScaled(y, static_cast<std::size_t>(n), scale,
                                                     outR, outI);
            } else {
                for (std::size_t k = 0; k < n; ++k) {
                    outR[k * before] = y[2 * k] / scale;
                    if (outI) outI[k * before] = -y[2 * k + 1] / scale;
                }
            }
        }
    };
    const std::size_t grain = std::max<std::size_t>(1, kElementsPerPiece / std::max(1u, n));
    kernels::ParallelFor(lines, grain, run);
    return Y.release();
}

// X as double or single: a new array when it had to be converted.
ArrayHolder Floating(const CMatrix *X) {
    if (X->IsCell() || X->IsStruct()) throw CNotImplementedException();
    if (X->IsSingle() || X->IsDouble()) return ArrayHolder(X->CreateShareArray());
    return ArrayHolder(Cast(X, mxClassDouble));
}

CMatrix *Along(const CMatrix *X, unsigned int n, unsigned int dim, Direction direction,
               FftSymmetry symmetry) {
    ArrayHolder F = Floating(X);
    if (dim == 0) dim = DefaultDim(F.get());
    return F->IsSingle() ? Transform<float>(F.get(), n, dim, direction, symmetry)
                         : Transform<double>(F.get(), n, dim, direction, symmetry);
}

// True when X[k] == conj(X[-k]) with every subscript taken modulo its
// length: the inverse transform in every dimension is then real.
template <typename T>
bool SymmetricN(const CMatrix *X) {
    const T *pr = static_cast<const T *>(X->GetPr());
    const T *pi = static_cast<const T *>(X->GetPi());
    const unsigned int nd = X->GetNoDimensions();
    const unsigned int *dims = X->GetDimensions();
    std::vector<std::size_t> sub(nd, 0);
    for (std::size_t k = 0, count = X->GetNoElems(); k < count; ++k) {
        std::size_t mirror = 0, stride = 1;
        for (unsigned int d = 0; d < nd; ++d) {
            mirror += stride * (sub[d] == 0 ? 0 : dims[d] - sub[d]);
            stride *= dims[d];
        }
        if (!(pr[k] == pr[mirror])) return false;
        if (pi && !(pi[k] == -pi[mirror])) return false;
        for (unsigned int d = 0; d < nd && ++sub[d] == dims[d]; ++d) sub[d] = 0;
    }
    return true;
}

// The inverse along dims[0..count) in turn, each to its length in lengths
// (kFftNaturalLength: unchanged); real as FftSymmetry says of the whole.
CMatrix *InverseSteps(const CMatrix *X, const std::vector<unsigned int> &steps,
                      const std::vector<unsigned int> &lengths, FftSymmetry symmetry) {
    ArrayHolder Y = Floating(X);
    // Pad or truncate first, so that the symmetry is that of what is
    // transformed.
    for (std::size_t k = 0; k < steps.size(); ++k)
        if (lengths[k] != kFftNaturalLength)
            Y.reset(Along(Y.get(), lengths[k], steps[k], Direction::kCopy, symmetry));
    bool real = symmetry == FftSymmetry::kSymmetric;
    if (!real) real = Y->IsSingle() ? SymmetricN<float>(Y.get()) : SymmetricN<double>(Y.get());
    for (const unsigned int dim : steps)
        Y.reset(Along(Y.get(), kFftNaturalLength, dim, Direction::kInverse,
                      FftSymmetry::kNonsymmetric));
    if (real) Y->ToReal();
    return Y.release();
}

// Circularly shifts every dimension (dim 0) or dimension dim of X by
// floor(len/2), or ceil(len/2) when `inverse`.
CMatrix *Shift(const CMatrix *X, unsigned int dim, bool inverse) {
    if (X->IsCell() || X->IsStruct()) throw CNotImplementedException();
    const unsigned int nd = X->GetNoDimensions();
    const unsigned int *dims = X->GetDimensions();
    std::vector<std::size_t> shift(nd, 0);
    for (unsigned int d = 0; d < nd; ++d)
        if (dim == 0 || dim == d + 1) shift[d] = inverse ? (dims[d] + 1) / 2 : dims[d] / 2;
    ArrayHolder Y(X->CreateDuplicateArray());
    const std::size_t size = X->GetElementSize(), count = X->GetNoElems();
    std::vector<std::size_t> sub(nd, 0);
    for (std::size_t k = 0; k < count; ++k) {
        std::size_t to = 0, stride = 1;
        for (unsigned int d = 0; d < nd; ++d) {
            to += stride * ((sub[d] + shift[d]) % dims[d]);
            stride *= dims[d];
        }
        std::memcpy(static_cast<char *>(Y->GetPr()) + to * size,
                    static_cast<const char *>(X->GetPr()) + k * size, size);
        if (X->GetPi())
            std::memcpy(static_cast<char *>(Y->GetPi()) + to * size,
                        static_cast<const char *>(X->GetPi()) + k * size, size);
        for (unsigned int d = 0; d < nd && ++sub[d] == dims[d]; ++d) sub[d] = 0;
    }
    return Y.release();
}

template <typename T>
T NextPower(T x) {
    const T a = std::fabs(x);
    if (!(a > 0) || std::isinf(a)) return a;  // 0, Inf and NaN are their own
    int e = 0;
    const T f = std::frexp(a, &e);
    return static_cast<T>(f == T(0.5) ? e - 1 : e);
}

}  // namespace

CMatrix *Fft(const CMatrix *X, unsigned int n, unsigned int dim) {
    return Along(X, n, dim, Direction::kForward, FftSymmetry::kNonsymmetric);
}

CMatrix *Ifft(const CMatrix *X, unsigned int n, unsigned int dim, FftSymmetry symmetry) {
    return Along(X, n, dim, Direction::kInverse, symmetry);
}

CMatrix *Fft2(const CMatrix *X, unsigned int m, unsigned int n) {
    ArrayHolder Y(Fft(X, m, 1));
    return Fft(Y.get(), n, 2);
}

CMatrix *Ifft2(const CMatrix *X, unsigned int m, unsigned int n, FftSymmetry symmetry) {
    return InverseSteps(X, {1, 2}, {m, n}, symmetry);
}

CMatrix *Fftn(const CMatrix *X) {
    ArrayHolder Y = Floating(X);
    for (unsigned int d = 1, nd = X->GetNoDimensions(); d <= nd; ++d)
        Y.reset(Fft(Y.get(), kFftNaturalLength, d));
    return Y.release();
}

CMatrix *Ifftn(const CMatrix *X, FftSymmetry symmetry) {
    std::vector<unsigned int> steps, lengths;
    for (unsigned int d = 1, nd = X->GetNoDimensions(); d <= nd; ++d) {
        steps.push_back(d);
        lengths.push_back(kFftNaturalLength);
    }
    return InverseSteps(X, steps, lengths, symmetry);
}

CMatrix *Fftshift(const CMatrix *X, unsigned int dim) { return Shift(X, dim, false); }

CMatrix *Ifftshift(const CMatrix *X, unsigned int dim) { return Shift(X, dim, true); }

CMatrix *Nextpow2(const CMatrix *X) {
    if (X->IsCell() || X->IsStruct()) throw CNotImplementedException();
    ArrayHolder A(X->IsComplex() ? Abs(X) : X->CreateShareArray());
    const bool single = A->IsSingle();
    if (!single && !A->IsDouble()) A.reset(Cast(A.get(), mxClassDouble));
    ArrayHolder Y(mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(),
                                       single ? mxClassSingle : mxClassDouble, mxComplexityReal));
    const std::size_t count = A->GetNoElems();
    if (single) {
        const float *a = static_cast<const float *>(A->GetPr());
        float *y = static_cast<float *>(Y->GetPr());
        for (std::size_t k = 0; k < count; ++k) y[k] = NextPower(a[k]);
    } else {
        const double *a = static_cast<const double *>(A->GetPr());
        double *y = static_cast<double *>(Y->GetPr());
        for (std::size_t k = 0; k < count; ++k) y[k] = NextPower(a[k]);
    }
    const mxClassID cls = X->GetClassID();
    if (cls != mxClassDouble && cls != mxClassSingle && cls != mxClassChar && !X->IsLogical())
        return Cast(Y.get(), cls);
    return Y.release();
}

Array Fft(const Array &X, unsigned int n, unsigned int dim) {
    return Array::Adopt(Fft(X.get(), n, dim));
}
Array Ifft(const Array &X, unsigned int n, unsigned int dim, FftSymmetry symmetry) {
    return Array::Adopt(Ifft(X.get(), n, dim, symmetry));
}
Array Fft2(const Array &X) { return Array::Adopt(Fft2(X.get())); }
Array Ifft2(const Array &X) { return Array::Adopt(Ifft2(X.get())); }
Array Fftshift(const Array &X, unsigned int dim) { return Array::Adopt(Fftshift(X.get(), dim)); }
Array Ifftshift(const Array &X, unsigned int dim) { return Array::Adopt(Ifftshift(X.get(), dim)); }

}  // namespace matrix
}  // namespace kiv
