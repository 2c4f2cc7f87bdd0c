// src/core/operand_checks.h: the operand rule of the numerical functions.
#ifndef MATRIX_SRC_CORE_OPERAND_CHECKS_H
#define MATRIX_SRC_CORE_OPERAND_CHECKS_H

#include <matrix/cmatrix.h>
#include <matrix/exceptions.h>

#include "core/array_fields.h"

namespace kiv {
namespace matrix {

/// True for an array the numerical functions compute on: class double with
/// no imaginary part (the logical flag does not matter).
inline bool IsRealDouble(const CMatrix *a) {
    return ArrayFields::ClassID(a) == mxClassDouble && ArrayFields::Pi(a) == nullptr;
}

[[noreturn]] inline void ThrowNotImplemented() { throw CNotImplementedException(); }

/// Throws CNotImplementedException unless `a` is a real double array.
inline void RequireRealDouble(const CMatrix *a) {
    if (!IsRealDouble(a)) ThrowNotImplemented();
}

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_OPERAND_CHECKS_H
