// src/index/indexdelete.cpp: deletion of elements, rows and columns, copied in runs.
#include <matrix/index.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/shape.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/array_holder.h"
#include "index/element_copy.h"
#include "index/positions.h"

namespace kiv {
namespace matrix {

namespace {

// The array left after a deletion: A's class and complexity, no flags, so
// that deleting from a logical array gives a plain one.
CMatrix *NewRemainder(const CMatrix *A, unsigned int m, unsigned int n) {
    const unsigned int dims[] = {m, n};
    return mxCreateNumericArray(2, dims, A->GetClassID(), A->GetComplexity());
}

// Fills `list` with the positions that subscript S deletes along an extent
// of `extent` units, ascending and without duplicates. Deletion reports every
// position outside 1..extent, also 0, a negative or a NaN index, as beyond
// the extent. Index values are checked before they are converted, since the
// conversion wraps negative and huge values onto positions that would pass.
void DeletedPositions(const CMatrix *S, std::uint32_t extent, PositionList &list) {
    if (S->IsLogical()) {
        MaskToPositions(S, list);
        if (!list.empty() && list.back() > extent) throw CIndexExceedsMatrixDimensionsException();
        return;
    }
    try {
        CheckIndices(S, extent);
    } catch (const CIndexIntoMatrixNegativeOrZeroException &) {
        throw CIndexExceedsMatrixDimensionsException();
    }
    IndexToSortedPositions(S, list);
}

// Copies the units of `source` (n units of `unitBytes` bytes) whose 1-based
// positions are not in `deleted` (ascending, without duplicates, in 1..n) to
// `target`, one block copy per maximal run of kept units.
void CopyKeptRuns(const char *source, std::size_t n, std::size_t unitBytes,
                  const PositionList &deleted, char *target) {
    std::size_t runBegin = 0;
    for (const std::uint32_t p : deleted) {
        const std::size_t runEnd = p - std::size_t{1};
        if (runEnd > runBegin) {
            const std::size_t bytes = (runEnd - runBegin) * unitBytes;
            std::memcpy(target, source + runBegin * unitBytes, bytes);
            target += bytes;
        }
        runBegin = p;
    }
    if (n > runBegin) {
        std::memcpy(target, source + runBegin * unitBytes, (n - runBegin) * unitBytes);
    }
}

// Releases A and hands it the remainder.
void Replace(CMatrix *&A, ArrayHolder &remainder) {
    mxDestroyArray(A);
    A = remainder.release();
}

// Indexdelete(A, S) for three or more subscripts.
void IndexdeleteMany(CMatrix *&A, const std::vector<const CMatrix *> &S) {
    const std::size_t n = S.size();
    // A is addressed as extents[0] x ... x extents[n-1], its dimensions from
    // the n-th on folded into the last. A subscript covers its dimension when
    // it is the colon or selects every position of it; all but one must.
    const auto nSubs = static_cast<unsigned int>(n);
    std::vector<unsigned int> extents(n);
    for (unsigned int k = 0; k < nSubs; ++k) extents[k] = End(A, k + 1, nSubs);
    std::vector<PositionList> deleted(n);
    for (unsigned int k = 0; k < nSubs; ++k) {
        if (!S[k]->IsColon()) DeletedPositions(S[k], extents[k], deleted[k]);
    }
    std::size_t along = n, partial = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (S[k]->IsColon()) continue;
        if (deleted[k].size() < extents[k]) {
            ++partial;
            along = k;
        } else if (partial == 0 && along == n) {
            along = k;  // the first covering subscript that is not a colon
        }
    }
    if (partial > 1) {
        throw CFunctionErrorException(
            L"Indexdelete: a null assignment can have only one non-colon index");
    }
    if (along == n) {  // colons only
        Empty(A);
        return;
    }
    const PositionList &gone = deleted[along];
    if (gone.empty()) return;

    // Each run of the dimensions before `along` is one unit; the units are
    // copied, block after block of the dimensions after it.
    std::vector<unsigned int> kept(extents);
    kept[along] -= static_cast<unsigned int>(gone.size());
    std::size_t unitElements = 1, blocks = 1;
    for (std::size_t k = 0; k < along; ++k) unitElements *= extents[k];
    for (std::size_t k = along + 1; k < n; ++k) blocks *= extents[k];
    ArrayHolder remainder(
        mxCreateNumericArray(nSubs, kept.data(), A->GetClassID(), A->GetComplexity()));
    if (remainder->GetNoElems() > 0) {
        const std::size_t unitBytes = unitElements * A->GetElementSize();
        const std::size_t units = extents[along];
        const std::size_t sourceStride = units * unitBytes;
        const std::size_t targetStride = kept[along] * unitBytes;
        CopyParts(A, remainder.get(), [&](const char *from, char *to) {
            for (std::size_t b = 0; b < blocks; ++b) {
                CopyKeptRuns(from + b * sourceStride, units, unitBytes, gone,
                             to + b * targetStride);
            }
        });
    }
    Replace(A, remainder);
}

}  // namespace

void Indexdelete(CMatrix *&A, const CMatrix *I) {
    if (I->GetNoElems() == 0) return;
    if (I->IsColon()) {
        Empty(A);
        return;
    }
    const std::uint32_t n = A->GetNoElems();
    PositionList deleted;
    DeletedPositions(I, n, deleted);
    if (deleted.empty()) return;

    // A column (or a scalar) stays a column; anything else becomes a row.
    const auto kept = static_cast<unsigned int>(n - deleted.size());
    const bool column = A->GetNoDimensions() == 2 && A->GetDimensions()[1] == 1;
    ArrayHolder remainder(column ? NewRemainder(A, kept, 1) : NewRemainder(A, 1, kept));
    if (kept > 0) {
        const std::size_t elementSize = A->GetElementSize();
        CopyParts(A, remainder.get(), [&](const char *from, char *to) {
            CopyKeptRuns(from, n, elementSize, deleted, to);
        });
    }
    Replace(A, remainder);
}

void Indexdelete(CMatrix *&A, const CMatrix *I, const CMatrix *J) {
    if (I->IsColon()) {
        IndexdeleteColumn(A, J);
    } else if (J->IsColon()) {
        IndexdeleteRow(A, I);
    } else {
        throw CFunctionErrorException(L"At least one of two indices must be a colon");
    }
}

void Indexdelete(CMatrix *&A, const std::vector<const CMatrix *> &S) {
    const std::size_t n = S.size();
    if (n == 0) throw CFunctionErrorException(L"Indexdelete: no subscript given");
    if (n == 1) {
        Indexdelete(A, S[0]);
        return;
    }
    if (n == 2) {
        Indexdelete(A, S[0], S[1]);
        return;
    }

    ReportingMemoryFailures([&] { IndexdeleteMany(A, S); });
}

void IndexdeleteRow(CMatrix *&A, const CMatrix *I) {
    if (I->IsColon()) {
        Empty(A);
        return;
    }
    if (I->GetNoElems() == 0) return;
    const std::uint32_t rows = A->GetDimensions()[0];
    const std::uint32_t columns = End(A, 2, 2);
    PositionList deleted;
    DeletedPositions(I, rows, deleted);
    if (deleted.empty()) return;

    const auto keptRows = static_cast<unsigned int>(rows - deleted.size());
    ArrayHolder remainder(NewRemainder(A, keptRows, columns));
    if (remainder->GetNoElems() > 0) {
        // Column by column, so that both arrays are walked in storage order.
        const std::size_t elementSize = A->GetElementSize();
        const std::size_t sourceStride = rows * elementSize;
        const std::size_t targetStride = keptRows * elementSize;
        CopyParts(A, remainder.get(), [&](const char *from, char *to) {
            for (std::size_t j = 0; j < columns; ++j) {
                CopyKeptRuns(from + j * sourceStride, rows, elementSize, deleted,
                             to + j * targetStride);
            }
        });
    }
    Replace(A, remainder);
}

void IndexdeleteColumn(CMatrix *&A, const CMatrix *J) {
    if (J->IsColon()) {
        Empty(A);
        return;
    }
    if (J->GetNoElems() == 0) return;
    const std::uint32_t rows = A->GetDimensions()[0];
    const std::uint32_t columns = End(A, 2, 2);
    PositionList deleted;
    DeletedPositions(J, columns, deleted);
    if (deleted.empty()) return;

    const auto keptColumns = static_cast<unsigned int>(columns - deleted.size());
    ArrayHolder remainder(NewRemainder(A, rows, keptColumns));
    if (remainder->GetNoElems() > 0) {
        const std::size_t columnBytes = std::size_t{rows} * A->GetElementSize();
        CopyParts(A, remainder.get(), [&](const char *from, char *to) {
            CopyKeptRuns(from, columns, columnBytes, deleted, to);
        });
    }
    Replace(A, remainder);
}

}  // namespace matrix
}  // namespace kiv
