// src/elementwise/arithmetic.cpp: element-wise arithmetic operators and the
// element-wise maximum and minimum of two arrays or against a scalar.
#include <matrix/elementwise.h>

#include <cmath>
#include <cstddef>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"
#include "reduce/class_order.h"

namespace kiv {
namespace matrix {

// Each operator is its element operation handed to the engine of the same
// shape; the left argument always supplies a, the right one b.

CMatrix *Plus(const CMatrix *A, const CMatrix *B) { return BinaryArrayOp<ElementPlus>(A, B); }
CMatrix *Plus(double a, const CMatrix *B) { return BinaryArrayOp<ElementPlus>(a, B); }
CMatrix *Plus(const CMatrix *A, double b) { return BinaryArrayOp<ElementPlus>(A, b); }

CMatrix *Minus(const CMatrix *A, const CMatrix *B) { return BinaryArrayOp<ElementMinus>(A, B); }
CMatrix *Minus(double a, const CMatrix *B) { return BinaryArrayOp<ElementMinus>(a, B); }
CMatrix *Minus(const CMatrix *A, double b) { return BinaryArrayOp<ElementMinus>(A, b); }

CMatrix *Times(const CMatrix *A, const CMatrix *B) { return BinaryArrayOp<ElementTimes>(A, B); }
CMatrix *Times(double a, const CMatrix *B) { return BinaryArrayOp<ElementTimes>(a, B); }
CMatrix *Times(const CMatrix *A, double b) { return BinaryArrayOp<ElementTimes>(A, b); }

CMatrix *Rdivide(const CMatrix *A, const CMatrix *B) { return BinaryArrayOp<ElementRdivide>(A, B); }
CMatrix *Rdivide(double a, const CMatrix *B) { return BinaryArrayOp<ElementRdivide>(a, B); }
CMatrix *Rdivide(const CMatrix *A, double b) { return BinaryArrayOp<ElementRdivide>(A, b); }

CMatrix *Ldivide(const CMatrix *A, const CMatrix *B) { return BinaryArrayOp<ElementLdivide>(A, B); }
CMatrix *Ldivide(double a, const CMatrix *B) { return BinaryArrayOp<ElementLdivide>(a, B); }
CMatrix *Ldivide(const CMatrix *A, double b) { return BinaryArrayOp<ElementLdivide>(A, b); }

namespace {

// The real engine gives NaN for a negative base with a non-integer
// exponent. Only then (a NaN in a real double result) are the operands
// looked at again, and the result is replaced by the complex one when some
// pair has such a base and exponent.
CMatrix *ComplexWhereNeeded(CMatrix *R, const CMatrix *A, const CMatrix *B) {
    if (!engine::IsRealDouble(R) || !engine::IsRealDouble(A) || !engine::IsRealDouble(B)) return R;
    ArrayHolder real(R);
    const double *r = engine::RealData(R);
    bool nan = false;
    for (std::size_t i = 0, n = ArrayFields::NoElems(R); i < n && !nan; ++i) nan = r[i] != r[i];
    if (!nan) return real.release();
    CMatrix *complex = engine::ComplexPowerOfReals(A, B);
    return complex != nullptr ? complex : real.release();
}

}  // namespace

CMatrix *Power(const CMatrix *A, const CMatrix *B) {
    return ComplexWhereNeeded(BinaryArrayOp<ElementPower>(A, B), A, B);
}
CMatrix *Power(double a, const CMatrix *B) {
    CMatrix *R = BinaryArrayOp<ElementPower>(a, B);
    if (!(a < 0.0)) return R;
    ArrayHolder holder(R);
    const ArrayHolder s = engine::DoubleScalar(a);
    return ComplexWhereNeeded(holder.release(), s.get(), B);
}
CMatrix *Power(const CMatrix *A, double b) {
    CMatrix *R = BinaryArrayOp<ElementPower>(A, b);
    if (!std::isfinite(b) || b == std::floor(b)) return R;
    ArrayHolder holder(R);
    const ArrayHolder s = engine::DoubleScalar(b);
    return ComplexWhereNeeded(holder.release(), A, s.get());
}

CMatrix *MaxVal(double a, const CMatrix *B) { return BinaryArrayOp<ElementMax>(a, B); }
CMatrix *MaxVal(const CMatrix *A, double b) { return BinaryArrayOp<ElementMax>(A, b); }
CMatrix *MinVal(double a, const CMatrix *B) { return BinaryArrayOp<ElementMin>(a, B); }
CMatrix *MinVal(const CMatrix *A, double b) { return BinaryArrayOp<ElementMin>(A, b); }

// Complex operands are ordered by modulus and angle (reduce/class_order.h).
CMatrix *Max(const CMatrix *A, const CMatrix *B) {
    if (A->IsComplex() || B->IsComplex()) return reduce::ComplexPairExtreme<true>(A, B);
    return BinaryArrayOp<ElementMax>(A, B);
}
CMatrix *Min(const CMatrix *A, const CMatrix *B) {
    if (A->IsComplex() || B->IsComplex()) return reduce::ComplexPairExtreme<false>(A, B);
    return BinaryArrayOp<ElementMin>(A, B);
}

}  // namespace matrix
}  // namespace kiv
