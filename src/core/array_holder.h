// src/core/array_holder.h: scoped ownership of arrays under construction.
#ifndef MATRIX_SRC_CORE_ARRAY_HOLDER_H
#define MATRIX_SRC_CORE_ARRAY_HOLDER_H

#include <matrix/cmatrix.h>
#include <matrix/mx.h>

#include <memory>

namespace kiv {
namespace matrix {

struct ArrayDeleter {
    void operator()(CMatrix *a) const { mxDestroyArray(a); }
};

/// Owns a result or temporary until it is handed to the caller with
/// release(), so that every path out of a function, exceptions included,
/// destroys what is not handed over.
using ArrayHolder = std::unique_ptr<CMatrix, ArrayDeleter>;

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_ARRAY_HOLDER_H
