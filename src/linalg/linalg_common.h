// src/linalg/linalg_common.h: operand checks and scratch buffers of the linear algebra.
#ifndef MATRIX_SRC_LINALG_LINALG_COMMON_H
#define MATRIX_SRC_LINALG_LINALG_COMMON_H

#include <kiv/exception.h>
#include <matrix/cmatrix.h>
#include <matrix/exceptions.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "core/operand_checks.h"
#include "kernels/parallel.h"

namespace kiv {
namespace matrix {
namespace linalg {

// The kernels read elements as real doubles; every other operand is refused.
using matrix::IsRealDouble;
using matrix::RequireRealDouble;

inline void RequireTwoDimensions(const CMatrix *a) {
    if (a->GetNoDimensions() > 2) throw COperationOnNDArrayNotDefinedException();
}

inline unsigned int Rows(const CMatrix *a) { return a->GetDimensions()[0]; }
inline unsigned int Columns(const CMatrix *a) { return a->GetDimensions()[1]; }

inline double *Data(CMatrix *a) { return static_cast<double *>(a->GetPr()); }
inline const double *Data(const CMatrix *a) { return static_cast<const double *>(a->GetPr()); }

/// Copies count doubles, in blocks on several threads when there are many:
/// the copy of an operand into a factorisation's workspace is memory-bound,
/// and each core brings its own bandwidth.
inline void CopyValues(double *to, const double *from, std::size_t count) {
    constexpr std::size_t kSplit = std::size_t(1) << 16;
    if (count < 2 * kSplit) {
        if (count > 0) std::memcpy(to, from, count * sizeof(double));
        return;
    }
    kernels::ParallelFor(count, kSplit, [&](std::size_t begin, std::size_t end) {
        std::memcpy(to + begin, from + begin, (end - begin) * sizeof(double));
    });
}

/// A scratch array of n elements, uninitialised, released on every path.
/// A failed allocation throws kiv::CExhaustedMemoryException, as every
/// other allocation of the library does.
template <class T>
class Scratch {
public:
    explicit Scratch(std::size_t n) : m_data(n == 0 ? nullptr : new (std::nothrow) T[n]) {
        if (n != 0 && m_data == nullptr) throw kiv::CExhaustedMemoryException();
    }
    T *Get() const { return m_data.get(); }

private:
    std::unique_ptr<T[]> m_data;
};

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_LINALG_LINALG_COMMON_H
