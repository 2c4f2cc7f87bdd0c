// src/mtrx/lib/signal.cpp: signals: discrete Fourier transforms, their
// shifts, digital filters and two-dimensional convolution.
#include "lib/options.h"
#include "lib/support.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// A numeric, char or logical array argument (cells refused here, so that
// the message names the function and the argument).
const Array &Data(const Args &args, std::size_t k) {
    if (args[k].IsCell()) args.Refuse(k, "a numeric array");
    return args.GetArray(k);
}

// A transform length: [] for the length along the dimension, else a whole
// number from 0 up.
unsigned int TransformLength(const Args &args, std::size_t k) {
    if (!args.Has(k)) return km::kFftNaturalLength;
    if (args[k].IsArray() && args[k].array().IsEmpty() && !args.IsText(k))
        return km::kFftNaturalLength;
    if (!args[k].IsArray() || args.IsText(k) || args[k].array().Numel() != 1)
        args.Refuse(k, "a nonnegative whole number or []");
    const double x = args.GetScalar(k);
    if (!(x >= 0) || x != std::floor(x) || x >= 4294967295.0)
        args.Refuse(k, "a nonnegative whole number or []");
    return static_cast<unsigned int>(x);
}

// A trailing 'symmetric' or 'nonsymmetric': the symmetry and the count of
// the arguments before it.
std::size_t SymmetryOption(const Args &args, const std::string &name, km::FftSymmetry &symmetry) {
    symmetry = km::FftSymmetry::kNonsymmetric;
    std::size_t count = args.size();
    if (count > 1 && args.IsText(count - 1)) {
        const int word = WordIndex(args, count - 1, {"symmetric", "nonsymmetric"});
        if (word == 0)
            symmetry = km::FftSymmetry::kSymmetric;
        else if (word < 0)
            throw Error("'" + name + "' takes 'symmetric' or 'nonsymmetric' as its last argument");
        --count;
    }
    for (std::size_t k = 1; k < count; ++k)
        if (args.IsText(k)) throw Error("'" + name + "' takes an option only as its last argument");
    return count;
}

// fft(X), fft(X, n), fft(X, n, dim), fft(X, [], dim); ifft also with a
// trailing 'symmetric' or 'nonsymmetric'.
template <bool Inverse>
Outs Transform(const Args &args, BuiltinCall &c) {
    km::FftSymmetry symmetry = km::FftSymmetry::kNonsymmetric;
    const std::size_t count = Inverse ? SymmetryOption(args, c.name, symmetry) : args.size();
    if (count > 3) throw Error("Too many input arguments for '" + c.name + "'");
    const Array &x = Data(args, 0);
    const unsigned int n = count > 1 ? TransformLength(args, 1) : km::kFftNaturalLength;
    const unsigned int dim = count > 2 ? args.GetPositive(2) : 0;
    return {Array::Adopt(Inverse ? km::Ifft(x.get(), n, dim, symmetry) : km::Fft(x.get(), n, dim))};
}

// fft2(X), fft2(X, m, n); ifft2 also with a trailing option.
template <bool Inverse>
Outs Transform2(const Args &args, BuiltinCall &c) {
    km::FftSymmetry symmetry = km::FftSymmetry::kNonsymmetric;
    const std::size_t count = Inverse ? SymmetryOption(args, c.name, symmetry) : args.size();
    if (count == 2 || count > 3)
        throw Error("'" + c.name + "' takes X alone or X with both lengths m and n");
    const Array &x = Data(args, 0);
    const unsigned int m = count > 1 ? TransformLength(args, 1) : km::kFftNaturalLength;
    const unsigned int n = count > 2 ? TransformLength(args, 2) : km::kFftNaturalLength;
    return {Array::Adopt(Inverse ? km::Ifft2(x.get(), m, n, symmetry) : km::Fft2(x.get(), m, n))};
}

template <bool Inverse>
Outs TransformN(const Args &args, BuiltinCall &c) {
    km::FftSymmetry symmetry = km::FftSymmetry::kNonsymmetric;
    const std::size_t count = Inverse ? SymmetryOption(args, c.name, symmetry) : args.size();
    if (count > 1) throw Error("'" + c.name + "' takes the array and no lengths");
    const Array &x = Data(args, 0);
    return {Array::Adopt(Inverse ? km::Ifftn(x.get(), symmetry) : km::Fftn(x.get()))};
}

template <bool Inverse>
Outs Shift(const Args &args, BuiltinCall &) {
    const Array &x = Data(args, 0);
    const unsigned int dim = GetDimension(args, 1);
    return {Array::Adopt(Inverse ? km::Ifftshift(x.get(), dim) : km::Fftshift(x.get(), dim))};
}

Outs Nextpow2(const Args &args, BuiltinCall &) {
    return {Array::Adopt(km::Nextpow2(Data(args, 0).get()))};
}

// [y, zf] = filter(b, a, x, zi, dim).
Outs Filter(const Args &args, BuiltinCall &c) {
    const Array &b = Data(args, 0), &a = Data(args, 1), &x = Data(args, 2);
    const km::CMatrix *zi = args.Has(3) ? Data(args, 3).get() : nullptr;
    const unsigned int dim = GetDimension(args, 4);
    if (c.nargout < 2) return {Array::Adopt(km::Filter(b.get(), a.get(), x.get(), zi, dim))};
    km::CMatrix *zf = nullptr;
    Array y = Array::Adopt(km::Filter(b.get(), a.get(), x.get(), zi, dim, &zf));
    return {std::move(y), Array::Adopt(zf)};
}

km::ConvShape ShapeOption(const Args &args, std::size_t k, const std::string &name) {
    if (!args.IsText(k)) args.Refuse(k, "'full', 'same' or 'valid'");
    const int word = WordIndex(args, k, {"full", "same", "valid"});
    if (word == 0) return km::ConvShape::kFull;
    if (word == 1) return km::ConvShape::kSame;
    if (word == 2) return km::ConvShape::kValid;
    throw Error("'" + name + "' takes the shape 'full', 'same' or 'valid'");
}

// conv2(A, B), conv2(A, B, shape), conv2(u, v, A), conv2(u, v, A, shape).
Outs Conv2(const Args &args, BuiltinCall &c) {
    std::size_t count = args.size();
    km::ConvShape shape = km::ConvShape::kFull;
    if (args.IsText(count - 1)) shape = ShapeOption(args, --count, c.name);
    if (count < 2) throw Error("Not enough input arguments for 'conv2'");
    if (count == 2)
        return {Array::Adopt(km::Conv2(Data(args, 0).get(), Data(args, 1).get(), shape))};
    return {Array::Adopt(
        km::Conv2(Data(args, 0).get(), Data(args, 1).get(), Data(args, 2).get(), shape))};
}

Outs Filter2(const Args &args, BuiltinCall &c) {
    const km::ConvShape shape = args.Has(2) ? ShapeOption(args, 2, c.name) : km::ConvShape::kSame;
    return {Array::Adopt(km::Filter2(Data(args, 0).get(), Data(args, 1).get(), shape))};
}

const BuiltinEntry kEntries[] = {
    {"fft", Transform<false>, 1, 3, 1, "fft(X), fft(X, n), fft(X, n, dim), fft(X, [], dim)",
     "Discrete Fourier transform along the first non-singleton dimension or dim, zero-padded "
     "or truncated to n; complex."},
    {"ifft", Transform<true>, 1, 4, 1, "ifft(Y), ifft(Y, n, dim), ifft(..., 'symmetric')",
     "Inverse discrete Fourier transform; real for conjugate symmetric Y or with 'symmetric'."},
    {"fft2", Transform2<false>, 1, 3, 1, "fft2(X), fft2(X, m, n)",
     "Two-dimensional discrete Fourier transform, padded or truncated to m x n."},
    {"ifft2", Transform2<true>, 1, 4, 1, "ifft2(Y), ifft2(Y, m, n), ifft2(..., 'symmetric')",
     "Two-dimensional inverse discrete Fourier transform."},
    {"fftn", TransformN<false>, 1, 1, 1, "fftn(X)",
     "N-dimensional discrete Fourier transform: along every dimension."},
    {"ifftn", TransformN<true>, 1, 2, 1, "ifftn(Y), ifftn(Y, 'symmetric')",
     "N-dimensional inverse discrete Fourier transform."},
    {"fftshift", Shift<false>, 1, 2, 1, "fftshift(X), fftshift(X, dim)",
     "Moves the zero frequency to the middle: circular shift by floor(n/2) along each "
     "dimension or dim."},
    {"ifftshift", Shift<true>, 1, 2, 1, "ifftshift(X), ifftshift(X, dim)",
     "Undoes fftshift: circular shift by ceil(n/2)."},
    {"nextpow2", Nextpow2, 1, 1, 1, "p = nextpow2(n)",
     "The smallest whole p with 2^p >= abs(n), per element."},
    {"filter", Filter, 3, 5, 2, "y = filter(b, a, x), [y, zf] = filter(b, a, x, zi, dim)",
     "Filters x by b(z)/a(z) (direct form II transposed, normalised by a(1)) from states zi; "
     "zf the final states."},
    {"filter2", Filter2, 2, 3, 1, "filter2(h, X), filter2(h, X, shape)",
     "Two-dimensional correlation of X with h: conv2(X, rot90(h, 2), shape), 'same' by "
     "default."},
    {"conv2", Conv2, 2, 4, 1, "conv2(A, B), conv2(A, B, shape), conv2(u, v, A, shape)",
     "Two-dimensional convolution, its 'full', 'same' or 'valid' part; u, v: columns then rows."},
};

}  // namespace

Library SignalLibrary() {
    return {"signal", "Signals: Fourier transforms, filters, convolution", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
