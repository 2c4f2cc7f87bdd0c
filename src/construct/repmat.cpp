// src/construct/repmat.cpp: Repmat, block copies of an array.
#include <matrix/construct.h>

#include <kiv/exception.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "core/array_holder.h"

namespace kiv {
namespace matrix {

namespace {

// Copies `part` (real or imaginary data of A, element size `size`) into the
// matching part of R: for each trailing slab and each of the n block
// columns, every column of A's slab is written m times one below another.
void CopyBlocks(const char *part, char *target, const unsigned int *dims, std::size_t slabs,
                unsigned int m, unsigned int n, std::size_t size) {
    const std::size_t column = std::size_t{dims[0]} * size;
    const std::size_t slab = column * dims[1];
    for (std::size_t s = 0; s < slabs; ++s) {
        const char *source = part + s * slab;
        for (unsigned int j = 0; j < n; ++j) {
            for (unsigned int c = 0; c < dims[1]; ++c) {
                for (unsigned int i = 0; i < m; ++i) {
                    std::memcpy(target, source + c * column, column);
                    target += column;
                }
            }
        }
    }
}

}  // namespace

CMatrix *Repmat(const CMatrix *A, unsigned int m, unsigned int n) {
    // Cell elements are owned by their array: copying their pointers would
    // share them. Every class that holds plain values is copied by bytes.
    if (!A->IsNumeric()) throw CNotImplementedException();
    const unsigned int nDims = A->GetNoDimensions();
    const unsigned int *dims = A->GetDimensions();
    // Lengths that do not fit in 32 bits are a shape outside the data model,
    // which the array core reports as exhausted memory.
    const std::uint64_t rows = std::uint64_t{dims[0]} * m;
    const std::uint64_t cols = std::uint64_t{dims[1]} * n;
    if (rows > UINT32_MAX || cols > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    std::unique_ptr<unsigned int[]> shape(new (std::nothrow) unsigned int[nDims]);
    if (!shape) throw kiv::CExhaustedMemoryException();
    std::memcpy(shape.get(), dims, nDims * sizeof(unsigned int));
    shape[0] = static_cast<unsigned int>(rows);
    shape[1] = static_cast<unsigned int>(cols);
    ArrayHolder R(mxCreateNumericArray(nDims, shape.get(), A->GetClassID(),
                                       A->IsComplex() ? mxComplexityComplex : mxComplexityReal));
    if (A->IsLogical()) R->SetLogical();
    if (R->GetNoElems() == 0) return R.release();

    std::size_t slabs = 1;
    for (unsigned int d = 2; d < nDims; ++d) slabs *= dims[d];
    const std::size_t size = A->GetElementSize();
    CopyBlocks(static_cast<const char *>(A->GetPr()), static_cast<char *>(R->GetPr()), dims, slabs,
               m, n, size);
    if (A->IsComplex()) {
        CopyBlocks(static_cast<const char *>(A->GetPi()), static_cast<char *>(R->GetPi()), dims,
                   slabs, m, n, size);
    }
    return R.release();
}

}  // namespace matrix
}  // namespace kiv
