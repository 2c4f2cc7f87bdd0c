// src/elementwise/class_functions.h: the one-argument element-wise functions
// on every class other than real double.
//
// Private to the library. Each public function keeps its own loop for a real
// double operand (its bits and speed are its own) and hands any other operand
// here. The rules per class are those stated in include/matrix/elementwise.h
// ("One-argument functions on the other classes"): single computes in float,
// complex double and single on the complex value by the formulas given
// there, char as double, integers keep their class or are refused.
#ifndef MATRIX_SRC_ELEMENTWISE_CLASS_FUNCTIONS_H
#define MATRIX_SRC_ELEMENTWISE_CLASS_FUNCTIONS_H

#include <matrix/cmatrix.h>

namespace kiv {
namespace matrix {
namespace engine {

/// The functions the class path serves.
enum class UnaryId {
    kSign,
    kSqrt,
    kExp,
    kExpm1,
    kLog,
    kLog2,
    kLog10,
    kLog1p,
    kSin,
    kCos,
    kTan,
    kAsin,
    kAcos,
    kAtan,
    kSinh,
    kCosh,
    kTanh,
    kAsinh,
    kAcosh,
    kAtanh,
    kRound,
    kFloor,
    kCeil,
    kFix,
    kIsinf,
    kIsnan,
    kIsfinite,
};

/// The function `id` of A, which is not a real double array. Throws
/// CNotImplementedException (cell, struct, other classes),
/// CFunctionErrorException (an integer operand of a function that is not
/// defined on integers), kiv::CExhaustedMemoryException.
[[gnu::cold]] CMatrix *UnaryOnClasses(UnaryId id, const CMatrix *A);

/// Throws CFunctionErrorException "NAME: not defined for values of class
/// CLASS; convert them to double or single first" when A or B (B may be
/// null) is of an integer class: the functions that the integers lack.
[[noreturn, gnu::cold]] void ThrowIntegerRefusal(const char *name, mxClassID id);
inline void RefuseIntegers(const char *name, const CMatrix *A, const CMatrix *B) {
    const mxClassID a = A->GetClassID(), b = B != nullptr ? B->GetClassID() : mxClassDouble;
    if (a >= mxClassInt8 && a <= mxClassUint64) ThrowIntegerRefusal(name, a);
    if (b >= mxClassInt8 && b <= mxClassUint64) ThrowIntegerRefusal(name, b);
}

}  // namespace engine
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_ELEMENTWISE_CLASS_FUNCTIONS_H
