// src/construct/shape.cpp: transposes, triangular parts, reshaping and shape queries.
#include <matrix/shape.h>

#include <kiv/exception.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "kernels/parallel.h"
#include "kernels/transpose_kernel.h"
#include "core/array_holder.h"
#include "core/buffer.h"

namespace kiv {
namespace matrix {

namespace {

// The element classes whose values the shape operations compute on; the
// data themselves are moved by element size.
void RequireDouble(const CMatrix *a) {
    if (!a->IsDouble()) throw CNotImplementedException();
}

// Product of the lengths of dimensions k..last (zero-based k). It can exceed
// 32 bits only when an earlier length is 0; such a value is outside the data
// model, which the array core reports as exhausted memory.
unsigned int TrailingProduct(const CMatrix *a, unsigned int k) {
    std::uint32_t product;
    if (!CheckedElementCount(a->GetNoDimensions() - k, a->GetDimensions() + k, product)) {
        throw kiv::CExhaustedMemoryException();
    }
    return product;
}

// Transposes of at least this many elements are shared among the threads.
constexpr std::size_t kSplitTransposeElements = std::size_t(1) << 18;

// The transpose of an m x n matrix a into b (n x m), by strips of
// kernels::kTransposeStrip rows of a (columns of b) on several threads when
// it is large. Moving elements gives the same bits however it is split;
// each strip streams its stores when the whole result would.
template <bool kFlipSign>
void TransposeOnThreads(std::size_t m, std::size_t n, const void *a, void *b) {
    if (m * n < kSplitTransposeElements || m < 2 * kernels::kTransposeStrip) {
        kernels::TransposeBlocked<kFlipSign>(m, n, a, m, b, n);
        return;
    }
    const std::size_t streaming =
        8 * m * n >= kernels::kTransposeStreamingBytes ? 0 : ~std::size_t(0);
    kernels::ParallelFor(m, kernels::kTransposeStrip, [&](std::size_t i0, std::size_t i1) {
        kernels::TransposeBlocked<kFlipSign>(i1 - i0, n, static_cast<const char *>(a) + 8 * i0, m,
                                             static_cast<char *>(b) + 8 * i0 * n, n, streaming);
    });
}

template <bool kConjugate>
CMatrix *TransposeArray(const CMatrix *a) {
    if (a->GetNoDimensions() > 2) throw CTransposeOnNDArrayNotDefinedException();
    RequireDouble(a);

    const unsigned int m = a->GetDimensions()[0];
    const unsigned int n = a->GetDimensions()[1];
    CMatrix *result = mxCreateDoubleMatrix(n, m, a->GetComplexity());
    if (a->IsLogical()) result->SetLogical();
    if (a->GetNoElems() == 0) return result;

    // The leading dimensions are at least 1 even for a result without
    // elements, which never reaches the kernel anyway.
    static_assert(sizeof(double) == 8, "the transpose kernel moves 8-byte elements");
    TransposeOnThreads<false>(m, n, a->GetPr(), result->GetPr());
    if (a->IsComplex()) TransposeOnThreads<kConjugate>(m, n, a->GetPi(), result->GetPi());
    return result;
}

// Copies column j of m elements of `elementSize` bytes, keeping rows
// [keepBegin, keepEnd) and writing zero bytes to the others.
void CopyColumnPart(const char *source, char *target, std::size_t m, std::size_t elementSize,
                    std::size_t keepBegin, std::size_t keepEnd) {
    const std::size_t columnBytes = m * elementSize;
    const std::size_t begin = keepBegin * elementSize;
    const std::size_t end = std::max(keepEnd * elementSize, begin);
    std::memset(target, 0, begin);
    std::memcpy(target + begin, source + begin, end - begin);
    std::memset(target + end, 0, columnBytes - end);
}

// Tril (kLower) and Triu: the argument seen as m x c with c the product of
// its other lengths; element (i, j) survives when i >= j - k (Tril) or
// i <= j - k (Triu), the rest becomes 0. The imaginary part, when present,
// keeps the same positions.
template <bool kLower>
CMatrix *TriangularPart(const CMatrix *a, int k) {
    RequireDouble(a);
    const unsigned int m = a->GetDimensions()[0];
    const unsigned int c = End(a, 2, 2);

    const unsigned int dims[] = {m, c};
    CMatrix *result = mxCreateNumericArray(2, dims, a->GetClassID(), a->GetComplexity());
    if (result->GetNoElems() == 0) return result;

    const std::size_t elementSize = a->GetElementSize();
    const std::size_t columnBytes = std::size_t{m} * elementSize;
    const void *sources[] = {a->GetPr(), a->GetPi()};
    void *targets[] = {result->GetPr(), result->GetPi()};
    for (int part = 0; part < 2 && sources[part] != nullptr; ++part) {
        const char *source = static_cast<const char *>(sources[part]);
        char *target = static_cast<char *>(targets[part]);
        for (std::size_t j = 0; j < c; ++j) {
            // Row of column j on diagonal k, in 64-bit signed arithmetic so
            // that no k and column index can overflow.
            const std::int64_t diagonal = static_cast<std::int64_t>(j) - k;
            std::size_t keepBegin, keepEnd;
            if (kLower) {
                keepBegin = static_cast<std::size_t>(std::clamp<std::int64_t>(diagonal, 0, m));
                keepEnd = m;
            } else {
                keepBegin = 0;
                keepEnd = static_cast<std::size_t>(std::clamp<std::int64_t>(diagonal + 1, 0, m));
            }
            CopyColumnPart(source + j * columnBytes, target + j * columnBytes, m, elementSize,
                           keepBegin, keepEnd);
        }
    }
    return result;
}

// A new array sharing the data of `a`, shaped dims[0..nDims).
CMatrix *SharedReshape(const CMatrix *a, unsigned int nDims, const unsigned int *dims) {
    ArrayHolder share(a->CreateShareArray());
    share->Reshape(nDims, dims);
    return share.release();
}

}  // namespace

CMatrix *Transpose(const CMatrix *a) { return TransposeArray<false>(a); }

CMatrix *Ctranspose(const CMatrix *a) { return TransposeArray<true>(a); }

CMatrix *Tril(const CMatrix *a, int k) { return TriangularPart<true>(a, k); }

CMatrix *Triu(const CMatrix *a, int k) { return TriangularPart<false>(a, k); }

CMatrix *Reshape(CMatrix *a, unsigned int m, unsigned int n) {
    const unsigned int dims[] = {m, n};
    return Reshape(a, 2, dims);
}

CMatrix *Reshape(CMatrix *a, unsigned int m, unsigned int n, unsigned int p) {
    const unsigned int dims[] = {m, n, p};
    return Reshape(a, 3, dims);
}

CMatrix *Reshape(CMatrix *a, unsigned int nDims, const unsigned int *dims) {
    if (nDims < 2) throw CFunctionErrorException(L"Size vector must have at least two elements");
    // A shape whose element count does not even fit in 32 bits certainly
    // differs from the array's.
    std::uint32_t count;
    if (!CheckedElementCount(nDims, dims, count)) {
        throw CFunctionErrorException(L"The number of elements can't change");
    }
    return SharedReshape(a, nDims, dims);
}

CMatrix *Tocolumn(const CMatrix *a) {
    const unsigned int dims[] = {a->GetNoElems(), 1};
    return SharedReshape(a, 2, dims);
}

CMatrix *Tomatrix(const CMatrix *a) {
    const unsigned int dims[] = {a->GetDimensions()[0], End(a, 2, 2)};
    return SharedReshape(a, 2, dims);
}

unsigned int End(const CMatrix *a, unsigned int k, unsigned int n) {
    if (k > n) throw CFunctionErrorException(L"End: iDim>iIdxs");
    // Positions in a subscript are one-based; position 0 names no dimension.
    if (k == 0) throw CIndexIntoMatrixNegativeOrZeroException();
    const unsigned int nDims = a->GetNoDimensions();
    if (k > nDims) return 1;
    if (n == 1) return a->GetNoElems();
    if (k < n || n == nDims) return a->GetDimensions()[k - 1];
    // The last subscript position stands for all remaining dimensions.
    return TrailingProduct(a, k - 1);
}

unsigned int Length(const CMatrix *a) {
    if (a->GetNoElems() == 0) return 0;
    const unsigned int *dims = a->GetDimensions();
    return *std::max_element(dims, dims + a->GetNoDimensions());
}

CMatrix *Isempty(const CMatrix *a) {
    CMatrix *result = mxCreateDoubleMatrix(1, 1, mxComplexityReal);
    *static_cast<double *>(result->GetPr()) = a->GetNoElems() == 0 ? 1.0 : 0.0;
    return result;
}

}  // namespace matrix
}  // namespace kiv
