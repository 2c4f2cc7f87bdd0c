// src/linalg/linalg_common.h: operand checks and scratch buffers of the linear algebra.
#ifndef MATRIX_SRC_LINALG_LINALG_COMMON_H
#define MATRIX_SRC_LINALG_LINALG_COMMON_H

#include <kiv/exception.h>
#include <matrix/cmatrix.h>
#include <matrix/exceptions.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "core/buffer.h"
#include "core/operand_checks.h"
#include "kernels/kernel_support.h"
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

/// Copies the rows x cols column-major matrix `from` (leading dimension
/// ldFrom) into `to` (leading dimension ldTo), on several threads when it
/// is large.
inline void CopyMatrix(double *to, std::size_t ldTo, const double *from, std::size_t ldFrom,
                       std::size_t rows, std::size_t cols) {
    if (ldTo == rows && ldFrom == rows) {
        CopyValues(to, from, rows * cols);
        return;
    }
    constexpr std::size_t kSplit = std::size_t(1) << 16;
    const auto copy = [&](std::size_t begin, std::size_t end) {
        for (std::size_t j = begin; j < end; ++j)
            std::memcpy(to + j * ldTo, from + j * ldFrom, rows * sizeof(double));
    };
    if (rows * cols < 2 * kSplit || rows == 0) {
        copy(0, cols);
        return;
    }
    kernels::ParallelFor(cols, (kSplit + rows - 1) / rows, copy);
}

/// A scratch array of n elements, uninitialised, released on every path.
/// A failed allocation throws kiv::CExhaustedMemoryException, as every
/// other allocation of the library does. The elements live in a data
/// buffer, so that large ones come from the calling thread's cache of freed
/// blocks: a fresh block from the system costs a page fault per 4 KiB on
/// first touch, which for a factorisation's copy of its operand is a good
/// part of the call. Arrays beyond a data buffer's 4 GiB come from the
/// allocator itself.
template <class T>
class Scratch {
    static_assert(std::is_trivially_default_constructible<T>::value &&
                      std::is_trivially_destructible<T>::value,
                  "scratch elements are never constructed");

public:
    explicit Scratch(std::size_t n) {
        if (n == 0) return;
        if (n <= std::numeric_limits<std::uint32_t>::max() / sizeof(T)) {
            m_data = static_cast<T *>(buffer::Allocate(static_cast<std::uint32_t>(n * sizeof(T))));
        } else if (n <= std::numeric_limits<std::size_t>::max() / sizeof(T)) {
            m_data = static_cast<T *>(::operator new(n * sizeof(T), std::nothrow));
            m_plain = true;
        }
        if (m_data == nullptr) throw kiv::CExhaustedMemoryException();
    }
    ~Scratch() {
        if (m_plain) {
            ::operator delete(m_data);
        } else {
            buffer::Free(m_data);
        }
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    T *Get() const { return m_data; }

private:
    T *m_data = nullptr;
    bool m_plain = false;
};

/// A rows x cols working matrix for a kernel that overwrites its operand,
/// at the leading dimension the kernels stream fastest
/// (kernels::SpreadLeadingDimension): the output's own elements when that
/// is its row count, else a scratch copy that Finish() moves into the
/// output, every element of it.
class WorkingMatrix {
public:
    WorkingMatrix(CMatrix *out, std::size_t rows, std::size_t cols)
        : m_out(out),
          m_rows(rows),
          m_cols(cols),
          m_ld(kernels::SpreadLeadingDimension(rows)),
          m_scratch(m_ld == rows ? 0 : m_ld * cols) {}
    double *Data() const { return m_ld == m_rows ? linalg::Data(m_out) : m_scratch.Get(); }
    std::size_t Ld() const { return m_ld; }
    void Finish() const {
        if (m_ld != m_rows)
            CopyMatrix(linalg::Data(m_out), m_rows, m_scratch.Get(), m_ld, m_rows, m_cols);
    }

private:
    CMatrix *m_out;
    std::size_t m_rows;
    std::size_t m_cols;
    std::size_t m_ld;
    Scratch<double> m_scratch;
};

/// The n singular values of the m x n column-major matrix a (leading
/// dimension m), unsorted, as SvdDecompose leaves them (NaN where it gave
/// up); a is left as it was.
void SingularValues(std::size_t m, std::size_t n, const double *a, double *w);

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_LINALG_LINALG_COMMON_H
