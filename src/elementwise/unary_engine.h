// src/elementwise/unary_engine.h: the engine of the one-argument element-wise
// functions.
//
// Private to the library. The operand must be a real double array (the
// logical flag does not matter), else CNotImplementedException is thrown
// before anything is created. The result is a new real double array of the
// operand's shape, owned by the caller, with the logical flag set when asked
// (also on an empty result); the function is called once per element, in
// increasing column-major order within each range of a large array that
// the threads share (see engine::OverElements), so it must be stateless.
#ifndef MATRIX_SRC_ELEMENTWISE_UNARY_ENGINE_H
#define MATRIX_SRC_ELEMENTWISE_UNARY_ENGINE_H

#include <matrix/cmatrix.h>

#include <complex>
#include <cstddef>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"

namespace kiv {
namespace matrix {

/// Element function of the one-argument engine. Stateless.
typedef double (*UnaryElementOp)(double x);

namespace engine {

// The result is freshly allocated and aliases no operand.
template <UnaryElementOp kF>
void MapElements(std::size_t n, const double *__restrict a, double *__restrict r) {
    for (std::size_t i = 0; i < n; ++i) r[i] = kF(a[i]);
}

}  // namespace engine

/// Returns R with R(i) = kF(A(i)), shaped like A, logical when kLogical.
/// Throws CNotImplementedException, kiv::CExhaustedMemoryException.
template <UnaryElementOp kF, bool kLogical = false>
CMatrix *UnaryArrayOp(const CMatrix *A) {
    engine::RequireRealDouble(A);
    CMatrix *R = engine::NewRealDoubleLike(A);
    if (kLogical) R->SetLogical();
    const double *a = engine::RealData(A);
    double *r = engine::RealData(R);
    engine::OverElements(R->GetNoElems(), [&](std::size_t begin, std::size_t end) {
        engine::MapElements<kF>(end - begin, a + begin, r + begin);
    });
    return R;
}

// Applies Function to each element of a real double array. The result
// starts real and becomes complex at the first element outside
// Function::Inside, which also decides on which side NaN falls; the other
// elements keep an imaginary part of 0.0. Function::Real(x) gives an
// element inside, Function::Complex(x) one outside.
template <class Function>
CMatrix *PartComplexOp(const CMatrix *A) {
    engine::RequireRealDouble(A);
    ArrayHolder R(engine::NewRealDoubleLike(A));
    const std::size_t n = A->GetNoElems();
    const double *a = engine::RealData(A);
    double *re = engine::RealData(R.get());
    double *im = nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = a[i];
        if (Function::Inside(x)) {
            re[i] = Function::Real(x);
            continue;
        }
        if (im == nullptr) {
            R->ToComplex();
            im = static_cast<double *>(R->GetPi());
        }
        const std::complex<double> z = Function::Complex(x);
        re[i] = z.real();
        im[i] = z.imag();
    }
    return R.release();
}

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_ELEMENTWISE_UNARY_ENGINE_H
