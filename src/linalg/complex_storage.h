// src/linalg/complex_storage.h: between the arrays' split complex storage and
// the kernels' interleaved elements.
#ifndef MATRIX_SRC_LINALG_COMPLEX_STORAGE_H
#define MATRIX_SRC_LINALG_COMPLEX_STORAGE_H

#include <matrix/cmatrix.h>

#include <complex>
#include <cstddef>

namespace kiv {
namespace matrix {
namespace linalg {

// An array keeps a complex matrix as two buffers, the real parts and the
// imaginary parts. Kernels over std::complex<R> read one buffer of pairs, so
// the linear algebra copies an operand in and its results out once; the
// copy is linear in the size and the factorisations are cubic.

/// Writes the count elements of `a` (class R, real or complex; a real
/// operand gets imaginary parts 0) into `to`, from element `first` on.
template <class R>
void Interleave(const CMatrix *a, std::complex<R> *to, std::size_t count, std::size_t first = 0) {
    const R *re = static_cast<const R *>(a->GetPr()) + first;
    const R *im = a->GetPi() != nullptr ? static_cast<const R *>(a->GetPi()) + first : nullptr;
    for (std::size_t i = 0; i < count; ++i) to[i] = std::complex<R>(re[i], im ? im[i] : R(0));
}

/// Writes count pairs into the complex array `out` (class R), from its
/// element `first` on.
template <class R>
void Split(const std::complex<R> *from, CMatrix *out, std::size_t count, std::size_t first = 0) {
    R *re = static_cast<R *>(out->GetPr()) + first;
    R *im = static_cast<R *>(out->GetPi()) + first;
    for (std::size_t i = 0; i < count; ++i) {
        re[i] = from[i].real();
        im[i] = from[i].imag();
    }
}

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_LINALG_COMPLEX_STORAGE_H
