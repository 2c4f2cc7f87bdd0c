// src/elementwise/mathfun_support.h: helpers that the gamma, beta and error functions and
// the number theory share (private to the library).
#ifndef MATRIX_SRC_ELEMENTWISE_MATHFUN_SUPPORT_H
#define MATRIX_SRC_ELEMENTWISE_MATHFUN_SUPPORT_H

#include <matrix/cmatrix.h>

#include <cstddef>
#include <string>
#include <vector>

#include "elementwise/binary_engine.h"
#include "elementwise/class_engine.h"

namespace kiv {
namespace matrix {
namespace mathfun {

__extension__ typedef unsigned __int128 UWide;

/// Throws CFunctionErrorException with the (ASCII) text.
[[noreturn]] void Fail(const std::string &text);

/// True for a single operand, false for double, char or logical; refuses
/// integer classes (by name), complex operands ("NAME: input must be real")
/// and the other classes (CNotImplementedException).
bool FloatingOperand(const CMatrix *A, const char *name);

/// The result class of the arithmetic on A and B (see class_engine.h);
/// throws for two different integer classes and for non-numeric operands.
mxClassID ArithmeticClass(const CMatrix *A, const CMatrix *B);

/// Stores x in element i of the real array R of any numeric class: rounded
/// once to single, or converted to an integer class (NaN 0, saturated).
void StoreDouble(CMatrix *R, std::size_t i, double x);
/// Stores the exact x, saturated to an integer class, rounded to a floating one.
void StoreWide(CMatrix *R, std::size_t i, engine::Wide x);

/// A new array of A's shape.
CMatrix *NewLike(const CMatrix *A, mxClassID id, bool complex);

/// Calls element(r, ia, ib) for every element r of the expansion, in order,
/// on the calling thread (element may throw).
template <class Element>
void EachPair(const engine::Expansion &e, const Element &element) {
    std::vector<unsigned int> sub(e.dims.size(), 0);
    std::size_t ia = 0, ib = 0;
    for (std::size_t r = 0; r < e.count; ++r) {
        element(r, ia, ib);
        for (std::size_t d = 0; d < e.dims.size(); ++d) {
            ia += e.strideA[d];
            ib += e.strideB[d];
            if (++sub[d] < e.dims[d]) break;
            ia -= e.strideA[d] * e.dims[d];
            ib -= e.strideB[d] * e.dims[d];
            sub[d] = 0;
        }
    }
}

}  // namespace mathfun
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_ELEMENTWISE_MATHFUN_SUPPORT_H
