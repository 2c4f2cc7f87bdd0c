// include/matrix/fft.h: discrete Fourier transforms, digital filters and
// two-dimensional convolution.
//
// The transforms are the library's own:
//   - the self-sorting (Stockham) mixed-radix Cooley-Tukey decimation in
//     frequency with radix 8, 4, 2, 3 and 5 butterflies and a general odd
//     prime butterfly for primes up to 31 (C. Van Loan, "Computational
//     Frameworks for the Fast Fourier Transform", SIAM, 1992, sections 1.7
//     and 2.3);
//   - Bluestein's chirp z-transform for lengths with a larger prime factor
//     (L. I. Bluestein, IEEE Trans. Audio Electroacoust. 18(4), 1970,
//     451-455), by power-of-two transforms of length at least 2n-1.
// Twiddle factors are cos and sin of exact fractions of 2*pi, reduced to the
// first octant in integers, so the symmetric values are exact. The relative
// RMS error against the exact transform is about 1e-16 * log2(n) in double.
// Plans (factors and twiddles per length) are built once per process and
// shared between threads. Every output element comes from one fixed sequence
// of operations: the same bits on every run, thread count and processor.
//
// Classes: single input is transformed in single (float arithmetic, float
// twiddles) and gives single; every other numeric class, char and logical
// is converted to double first (Cast) and gives double. Cell and struct
// arrays throw CNotImplementedException.
#ifndef MATRIX_FFT_H
#define MATRIX_FFT_H

#include <matrix/array.h>
#include <matrix/cmatrix.h>
#include <matrix/export.h>
#include <matrix/polyfun.h>

namespace kiv {
namespace matrix {

/// The transform length argument meaning "the length of the array along the
/// dimension" (the language's omitted or [] length).
constexpr unsigned int kFftNaturalLength = 0xFFFFFFFFu;

/// Whether Ifft takes its input as conjugate symmetric.
enum class FftSymmetry {
    /// The result is real when every transformed vector is exactly
    /// conjugate symmetric (x[k] == conj(x[n-k]), x[0] real), else complex.
    kNonsymmetric,
    /// The input is taken as conjugate symmetric: only x[0..n/2] is read
    /// (the imaginary parts of x[0] and, for even n, x[n/2] ignored) and the
    /// result is real.
    kSymmetric
};

/// Returns the discrete Fourier transform y[k] = sum_j x[j]*exp(-2*pi*i*j*k/n)
/// of every vector of X along dimension dim (1-based; 0 takes the first
/// dimension whose length is not 1, and 1 for a 0x0 or scalar array), each
/// vector first zero-padded or truncated to n elements (kFftNaturalLength:
/// its length). A new complex array owned by the caller, X's shape with
/// that dimension n. The transform of real input is exactly conjugate
/// symmetric. Throws CNotImplementedException (cell, struct),
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Fft(const CMatrix *X, unsigned int n = kFftNaturalLength,
                                      unsigned int dim = 0);
/// Returns the inverse transform x[j] = (1/n) * sum_k y[k]*exp(2*pi*i*j*k/n)
/// along dim, as Fft, divided by n (correctly rounded division). Real or
/// complex as FftSymmetry says. Throws as Fft.
[[nodiscard]] MATRIX_API CMatrix *Ifft(const CMatrix *X, unsigned int n = kFftNaturalLength,
                                       unsigned int dim = 0,
                                       FftSymmetry symmetry = FftSymmetry::kNonsymmetric);
/// Returns Fft along dimension 1 to length m, then along dimension 2 to
/// length n (kFftNaturalLength keeps a length). Throws as Fft.
[[nodiscard]] MATRIX_API CMatrix *Fft2(const CMatrix *X, unsigned int m = kFftNaturalLength,
                                       unsigned int n = kFftNaturalLength);
/// Returns Ifft along dimension 1, then along dimension 2; real when the
/// whole two-dimensional transform is taken as symmetric (kSymmetric) or
/// both steps give real results. Throws as Fft.
[[nodiscard]] MATRIX_API CMatrix *Ifft2(const CMatrix *X, unsigned int m = kFftNaturalLength,
                                        unsigned int n = kFftNaturalLength,
                                        FftSymmetry symmetry = FftSymmetry::kNonsymmetric);
/// Returns Fft along every dimension of X in turn, the first first.
[[nodiscard]] MATRIX_API CMatrix *Fftn(const CMatrix *X);
/// Returns Ifft along every dimension of X in turn, the first first.
[[nodiscard]] MATRIX_API CMatrix *Ifftn(const CMatrix *X,
                                        FftSymmetry symmetry = FftSymmetry::kNonsymmetric);

/// Returns X with each dimension (dim 0) or dimension dim only circularly
/// shifted by floor(length/2), which moves the zero frequency of a
/// transform to the middle. Any numeric class, char and logical; flags and
/// class kept. A new array owned by the caller. Throws
/// CNotImplementedException (cell, struct), kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Fftshift(const CMatrix *X, unsigned int dim = 0);
/// Undoes Fftshift: shifts by ceil(length/2). Throws as Fftshift.
[[nodiscard]] MATRIX_API CMatrix *Ifftshift(const CMatrix *X, unsigned int dim = 0);

/// Returns, per element, the smallest whole p with 2^p >= |x| (0 for 0, Inf
/// for Inf, NaN for NaN; of a complex element its modulus). Double and
/// logical or char give double, single gives single, an integer class its
/// own class. Throws CNotImplementedException (cell, struct),
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Nextpow2(const CMatrix *X);

/// Filters the vectors of x along dim (0: the first dimension whose length
/// is not 1) by the rational transfer function b(z)/a(z), in direct form II
/// transposed: with b and a divided by a[0] and padded with zeros to the
/// length L = max(numel(a), numel(b)),
///   y[k]   = b[0]*x[k] + z[0],
///   z[i]   = b[i+1]*x[k] + z[i+1] - a[i+1]*y[k]   (i = 0..L-2, z[L-1] = 0),
/// from the initial states zi (null or empty: zeros; a vector of L-1 when
/// x is one vector, else L-1 rows by the number of vectors, in the
/// column-major order of the other dimensions). Computed in double (complex
/// when any operand is); the result is single when any operand is single.
/// Returns y (x's shape), new and owned by the caller; *zf, when zf is not
/// null, receives the final states (L-1 by the number of vectors, a column
/// for one vector), also owned by the caller. Throws
/// CFunctionErrorException "Filter: the first denominator coefficient must
/// be nonzero", "Filter: the coefficients must be vectors", "Filter: the
/// initial states must have max(numel(a), numel(b)) - 1 rows and a column
/// per vector", CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Filter(const CMatrix *b, const CMatrix *a, const CMatrix *x,
                                         const CMatrix *zi = nullptr, unsigned int dim = 0,
                                         CMatrix **zf = nullptr);

// ConvShape (polyfun.h) chooses the part of a two-dimensional convolution
// Conv2 returns: kFull all of it, (ma+mb-1) x (na+nb-1); kSame the central
// part of A's size, from row floor(mb/2), column floor(nb/2); kValid the
// part without zero-padded edges, max(ma-mb+1, 0) x max(na-nb+1, 0).

/// Returns the two-dimensional convolution C(i,j) = sum A(k,l)*B(i-k,j-l)
/// of matrices A and B. Each output element adds its terms in the
/// column-major order of A's elements. An empty operand gives zeros of the
/// shape's size (the full size counting an empty dimension as 0). Computed
/// in double (complex when either operand is); single when either operand
/// is single. Throws CFunctionErrorException "Conv2: the operands must be
/// matrices" (more than two dimensions), CNotImplementedException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Conv2(const CMatrix *A, const CMatrix *B,
                                        ConvShape shape = ConvShape::kFull);
/// Returns the separable convolution of A: each column with the vector u,
/// then each row with the vector v; the shapes as the two-matrix form with
/// B = u(:)*v(:).'. Throws CFunctionErrorException "Conv2: u and v must be
/// vectors", and as the two-matrix form.
[[nodiscard]] MATRIX_API CMatrix *Conv2(const CMatrix *u, const CMatrix *v, const CMatrix *A,
                                        ConvShape shape);
/// Returns the two-dimensional correlation of X with h: Conv2(X, h rotated
/// by 180 degrees, shape). Throws as Conv2.
[[nodiscard]] MATRIX_API CMatrix *Filter2(const CMatrix *h, const CMatrix *X,
                                          ConvShape shape = ConvShape::kSame);

// The Array forms: the same functions on Array values.
MATRIX_API Array Fft(const Array &X, unsigned int n = kFftNaturalLength, unsigned int dim = 0);
MATRIX_API Array Ifft(const Array &X, unsigned int n = kFftNaturalLength, unsigned int dim = 0,
                      FftSymmetry symmetry = FftSymmetry::kNonsymmetric);
MATRIX_API Array Fft2(const Array &X);
MATRIX_API Array Ifft2(const Array &X);
MATRIX_API Array Fftshift(const Array &X, unsigned int dim = 0);
MATRIX_API Array Ifftshift(const Array &X, unsigned int dim = 0);
MATRIX_API Array Filter(const Array &b, const Array &a, const Array &x);
MATRIX_API Array Conv2(const Array &A, const Array &B, ConvShape shape = ConvShape::kFull);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_FFT_H
