// bench/bench_support.h: buffers and inputs shared by the benchmark programs.
#ifndef MATRIX_BENCH_BENCH_SUPPORT_H
#define MATRIX_BENCH_BENCH_SUPPORT_H

#include <matrix/mx.h>

#include <cstddef>
#include <new>

#include "core/array_holder.h"

namespace bench_support {

// Library buffers are 64-byte aligned; the peers' buffers are too, so both
// sides of a comparison see the same alignment.
constexpr std::align_val_t kAlignment{64};

/// A 64-byte aligned block of n doubles for the plain-loop peers.
struct AlignedBuffer {
    explicit AlignedBuffer(std::size_t n)
        : data(static_cast<double *>(::operator new(n * sizeof(double), kAlignment))) {}
    ~AlignedBuffer() { ::operator delete(data, kAlignment); }
    AlignedBuffer(const AlignedBuffer &) = delete;
    AlignedBuffer &operator=(const AlignedBuffer &) = delete;
    double *data;
};

/// Returns an m x n double array holding 0, 1, 2, ... in column-major order.
inline kiv::matrix::ArrayHolder CountingMatrix(unsigned int m, unsigned int n) {
    kiv::matrix::ArrayHolder a(
        kiv::matrix::mxCreateDoubleMatrix(m, n, kiv::matrix::mxComplexityReal));
    double *p = kiv::matrix::mxGetPr(a.get());
    for (std::size_t k = 0; k < std::size_t{m} * n; ++k) p[k] = static_cast<double>(k);
    return a;
}

}  // namespace bench_support

#endif  // MATRIX_BENCH_BENCH_SUPPORT_H
