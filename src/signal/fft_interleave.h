// src/signal/fft_interleave.h: moving one line between the split storage of
// a complex array (real parts, then imaginary parts) and the interleaved
// buffer the transform kernel works on.
//
// Private to the library. Every element goes through the same operations
// on every path (a copy, a product with +-1, a negation and a quotient), so
// the vector paths (double with AVX2) give the plain path's bits.
#ifndef MATRIX_SRC_SIGNAL_FFT_INTERLEAVE_H
#define MATRIX_SRC_SIGNAL_FFT_INTERLEAVE_H

#include <cstddef>

namespace kiv {
namespace matrix {
namespace kernels {

/// out[2k] = re[k], out[2k+1] = sign * im[k] (0 when im is null), k < count.
template <typename T>
void Interleave(const T *re, const T *im, T sign, std::size_t count, T *out);

/// re[k] = in[2k], im[k] = in[2k+1], k < count.
template <typename T>
void Deinterleave(const T *in, std::size_t count, T *re, T *im);

/// re[k] = in[2k] / divisor, im[k] = -in[2k+1] / divisor (im may be null),
/// k < count: the conjugate scaled, which ends an inverse transform.
template <typename T>
void DeinterleaveConjugateScaled(const T *in, std::size_t count, T divisor, T *re, T *im);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_SIGNAL_FFT_INTERLEAVE_H
