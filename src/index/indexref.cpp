// src/index/indexref.cpp: indexed reference A(I) and A(I,J) for arrays of every class.
#include <matrix/index.h>

#include <kiv/exception.h>
#include <matrix/exceptions.h>
#include <matrix/iterators.h>
#include <matrix/mx.h>
#include <matrix/shape.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/array_holder.h"
#include "kernels/parallel.h"
#include "index/element_copy.h"
#include "index/positions.h"

namespace kiv {
namespace matrix {

namespace {

const double *DoubleData(const CMatrix *a) { return static_cast<const double *>(a->GetPr()); }

// A result made by selecting elements of A: A's class and complexity, no
// flags, so that indexing a logical array gives a plain one.
CMatrix *NewShapedSelection(const CMatrix *A, unsigned int nDims, const unsigned int *dims) {
    return mxCreateNumericArray(nDims, dims, A->GetClassID(), A->GetComplexity());
}

CMatrix *NewSelection(const CMatrix *A, unsigned int m, unsigned int n) {
    const unsigned int dims[] = {m, n};
    return NewShapedSelection(A, 2, dims);
}

CMatrix *NewEmptyDouble(unsigned int m, unsigned int n) {
    return mxCreateDoubleMatrix(m, n, mxComplexityReal);
}

// Zero-based offset of a double index that CheckIndices has passed:
// floor(x + 0.5) then lies in 1..2^32 - 1, where truncation is floor.
inline std::size_t CheckedDoubleOffset(double x) {
    return static_cast<std::size_t>(static_cast<std::int64_t>(x + 0.5)) - 1;
}

// --- A(mask) -------------------------------------------------------------------

// A double mask read once into bits: bit b of word w is set when element
// 64 w + b is true (not 0, so NaN is true). The gather then walks these bits,
// which stay in cache, instead of reading the mask a second time, and skips
// runs of false elements and copies runs of true ones a word at a time.
using MaskBits = std::unique_ptr<std::uint64_t[]>;

// The number of set bits, by halving sums (no population-count instruction
// is assumed on baseline x86-64).
inline unsigned int CountBits(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<unsigned int>((x * 0x0101010101010101u) >> 56);
}

// Bit positions by de Bruijn multiplication: the isolated lowest set bit of
// a word times the sequence below has a distinct top six bits for each of the
// 64 positions.
constexpr std::uint64_t kDeBruijn = 0x03F79D71B4CB0A89u;

struct BitPositionTable {
    unsigned char position[64];
    constexpr BitPositionTable() : position() {
        for (unsigned int b = 0; b < 64; ++b) {
            position[((std::uint64_t{1} << b) * kDeBruijn) >> 58] = static_cast<unsigned char>(b);
        }
    }
};
constexpr BitPositionTable kBitPositions;

// The position of the lowest set bit of a nonzero word.
inline unsigned int LowestBit(std::uint64_t x) {
    return kBitPositions.position[((x & (~x + 1)) * kDeBruijn) >> 58];
}

// The position of the highest set bit of a nonzero word.
inline unsigned int HighestBit(std::uint64_t x) {
    for (unsigned int shift = 1; shift < 64; shift *= 2) x |= x >> shift;
    return LowestBit(x - (x >> 1));
}

// Masks and gathers of at least this many elements are shared among the
// threads: by a double index in runs of whole multiples of kGatherGrain
// targets, by a mask in at most kMaskChunks runs of whole words, A(I,J) by
// columns. Each element is moved as on one thread.
constexpr std::size_t kSplitGather = std::size_t(1) << 16;
constexpr std::size_t kGatherGrain = std::size_t(1) << 12;
constexpr std::size_t kMaskChunks = 256;
constexpr std::size_t kMaskChunkWords = 1024;

// The number of chunks of whole words, at most kMaskChunks, that a mask of
// `words` words is read or gathered in; chunk c is words [c * words /
// chunks, (c + 1) * words / chunks).
std::size_t MaskChunks(std::size_t words) {
    if (words * 64 < kSplitGather) return 1;
    return std::min(kMaskChunks, std::max<std::size_t>(1, words / kMaskChunkWords));
}

// Returns the bits of `mask` and sets `last` to the position of its last true
// element and `count` to the number of true elements (both 0 for none).
// Throws CNotImplementedException for a class other than double.
MaskBits ReadMaskBits(const CMatrix *mask, std::uint32_t &last, std::uint32_t &count) {
    if (!mask->IsDouble()) throw CNotImplementedException();
    const std::uint32_t n = mask->GetNoElems();
    const std::size_t words = (std::size_t{n} + 63) / 64;
    MaskBits bits;
    if (words > 0) {
        bits.reset(new (std::nothrow) std::uint64_t[words]);
        if (!bits) throw kiv::CExhaustedMemoryException();
    }
    const double *m = DoubleData(mask);
    // Each chunk of words counts its own true elements and finds its own
    // last one; the chunks are then combined in order.
    const std::size_t chunks = MaskChunks(words);
    std::uint32_t chunkCount[kMaskChunks], chunkLast[kMaskChunks];
    auto read = [&](std::size_t c0, std::size_t c1) {
        for (std::size_t c = c0; c < c1; ++c) {
            std::uint32_t partCount = 0, partLast = 0;
            for (std::size_t w = c * words / chunks; w < (c + 1) * words / chunks; ++w) {
                const std::size_t begin = w * 64;
                const std::size_t end = std::min<std::size_t>(n, begin + 64);
                std::uint64_t word = 0;
                for (std::size_t i = begin; i < end; ++i) {
                    word |= static_cast<std::uint64_t>(m[i] != 0.0) << (i - begin);
                }
                bits[w] = word;
                if (word != 0) {
                    partCount += CountBits(word);
                    partLast = static_cast<std::uint32_t>(begin + HighestBit(word) + 1);
                }
            }
            chunkCount[c] = partCount;
            chunkLast[c] = partLast;
        }
    };
    if (chunks == 1) {
        read(0, 1);
    } else {
        kernels::ParallelFor(chunks, 1, read);
    }
    last = 0;
    count = 0;
    for (std::size_t c = 0; c < chunks; ++c) {
        count += chunkCount[c];
        if (chunkLast[c] != 0) last = chunkLast[c];
    }
    return bits;
}

// Copies, in order, the elements of `source` whose bit is set in the first
// `words` words of `bits`, `limit` of them in all, to target[0 .. limit).
// A full word is one block copy. A dense word is copied without a branch per
// element: each element is stored at the next free place, kept only when its
// bit is set, so the word's last store may land one place past its share.
// It takes this path only when a later set bit owns that place, so that no
// store leaves the target's range (which another thread may be filling)
// and no load leaves the source. Sparse words visit their set bits only.
template <typename T>
void GatherMasked(const char *source, const std::uint64_t *bits, std::size_t words, char *target,
                  std::size_t limit) {
    constexpr unsigned int kDense = 16;  // set bits from which the branch-free walk wins
    std::size_t k = 0;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t word = bits[w];
        const std::size_t base = w * 64;
        if (word == ~std::uint64_t{0}) {
            std::memcpy(target + k * sizeof(T), source + base * sizeof(T), 64 * sizeof(T));
            k += 64;
        } else if (CountBits(word) >= kDense && k + CountBits(word) < limit) {
            for (unsigned int b = 0; b < 64; ++b) {
                StoreElement<T>(target, k, LoadElement<T>(source, base + b));
                k += (word >> b) & 1u;
            }
        } else {
            for (; word != 0; word &= word - 1) {
                StoreElement<T>(target, k++, LoadElement<T>(source, base + LowestBit(word)));
            }
        }
    }
}

CMatrix *IndexrefMask(const CMatrix *A, const CMatrix *mask) {
    std::uint32_t last, count;
    const MaskBits bits = ReadMaskBits(mask, last, count);
    if (count == 0) return NewEmptyDouble(0, 0);
    if (last > A->GetNoElems()) throw CIndexExceedsMatrixDimensionsException();

    // A vector keeps its orientation; otherwise a one-row mask gives a row.
    bool row;
    if (IsVectorShape(A)) {
        row = A->GetDimensions()[0] == 1;
    } else {
        row = mask->GetNoDimensions() == 2 && mask->GetDimensions()[0] == 1;
    }
    ArrayHolder result(row ? NewSelection(A, 1, count) : NewSelection(A, count, 1));

    // Each chunk of words starts at the count of true elements before it.
    const std::size_t words = (std::size_t{last} + 63) / 64;
    const std::size_t chunks = MaskChunks(words);
    std::size_t start[kMaskChunks + 1];
    start[0] = 0;
    for (std::size_t c = 0; c < chunks; ++c) {
        std::size_t part = 0;
        for (std::size_t w = c * words / chunks; w < (c + 1) * words / chunks; ++w) {
            part += CountBits(bits[w]);
        }
        start[c + 1] = start[c] + part;
    }
    WithElementType(A->GetElementSize(), [&](auto element) {
        using T = decltype(element);
        CopyParts(A, result.get(), [&](const char *from, char *to) {
            auto gather = [&](std::size_t c0, std::size_t c1) {
                for (std::size_t c = c0; c < c1; ++c) {
                    const std::size_t w0 = c * words / chunks, w1 = (c + 1) * words / chunks;
                    GatherMasked<T>(from + w0 * 64 * sizeof(T), bits.get() + w0, w1 - w0,
                                    to + start[c] * sizeof(T), start[c + 1] - start[c]);
                }
            };
            if (chunks == 1) {
                gather(0, 1);
            } else {
                kernels::ParallelFor(chunks, 1, gather);
            }
        });
    });
    return result.release();
}

// --- A(index) ------------------------------------------------------------------

// Target element k is the source element at nextPosition(k), 1-based.
template <typename T, typename NextPosition>
void GatherPositions(const char *source, std::size_t n, char *target, NextPosition nextPosition) {
    for (std::size_t k = 0; k < n; ++k) {
        StoreElement<T>(target, k, LoadElement<T>(source, nextPosition(k)));
    }
}

CMatrix *IndexrefIndex(const CMatrix *A, const CMatrix *index) {
    CheckIndices(index, A->GetNoElems());

    const std::uint32_t n = index->GetNoElems();
    const unsigned int nDims = index->GetNoDimensions();
    const unsigned int *dims = index->GetDimensions();
    ArrayHolder result;
    if (IsVectorShape(A) && nDims == 2 && n > 0 && (dims[0] == 1 || dims[1] == 1)) {
        // A vector index into a vector takes the target's orientation.
        result.reset(A->GetDimensions()[0] == 1 ? NewSelection(A, 1, n) : NewSelection(A, n, 1));
    } else if (IsVectorShape(A) && nDims == 2 && n == 0) {
        const unsigned int *aDims = A->GetDimensions();
        if (aDims[0] > 1 && dims[0] == 1) {
            result.reset(NewSelection(A, 0, 1));
        } else if (aDims[1] > 1 && dims[1] == 1) {
            result.reset(NewSelection(A, 1, 0));
        } else {
            result.reset(NewShapedSelection(A, nDims, dims));
        }
    } else {
        result.reset(NewShapedSelection(A, nDims, dims));
    }
    if (n == 0) return result.release();

    WithElementType(A->GetElementSize(), [&](auto element) {
        using T = decltype(element);
        CopyParts(A, result.get(), [&](const char *from, char *to) {
            if (index->IsDouble()) {
                const double *p = DoubleData(index);
                auto run = [&](std::size_t k0, std::size_t k1) {
                    GatherPositions<T>(from, k1 - k0, to + k0 * sizeof(T), [p, k0](std::size_t k) {
                        return CheckedDoubleOffset(p[k0 + k]);
                    });
                };
                if (n < kSplitGather) {
                    run(0, n);
                } else {
                    kernels::ParallelFor(n, kGatherGrain, run);
                }
            } else {
                CMatrixIndexIterator it(index);
                GatherPositions<T>(from, n, to, [&it](std::size_t) {
                    return static_cast<std::size_t>(it.GetNextIndex()) - 1;
                });
            }
        });
    });
    return result.release();
}

// --- A(I,J) --------------------------------------------------------------------

// The number of positions that subscript S selects along an extent of
// `extent` elements, for the results without elements: S is checked as the
// general case would check it, but no list is built.
std::uint32_t CountSelected(const CMatrix *S, std::uint32_t extent) {
    if (S->GetNoElems() == 0) return 0;
    if (S->IsColon()) return extent;
    if (S->IsLogical()) {
        std::uint32_t last, count;
        CountMask(S, last, count);
        if (last > extent) throw CIndexExceedsMatrixDimensionsException();
        return count;
    }
    CheckIndices(S, extent);
    return S->GetNoElems();
}

// Fills `list` with the checked 1-based positions that subscript S selects
// along an extent of `extent` elements.
void SelectedPositions(const CMatrix *S, std::uint32_t extent, PositionList &list) {
    if (S->IsColon()) {
        ColonPositions(extent, list);
    } else if (S->IsLogical()) {
        MaskToPositions(S, list);
        if (!list.empty() && list.back() > extent) throw CIndexExceedsMatrixDimensionsException();
    } else {
        // The values are checked before they are converted: the conversion
        // wraps negative and huge indices onto positions that would pass.
        CheckIndices(S, extent);
        IndexToPositions(S, list);
    }
}

// Copies the rows `rowOffsets` (zero-based) of the columns columns[j0 ..
// j1) (1-based) of a column-major source with `rows` rows into columns j0 ..
// j1 - 1 of a column-major target, column after column.
template <typename T>
void GatherBlock(const char *source, std::size_t rows, const PositionList &rowOffsets,
                 const PositionList &columns, std::size_t j0, std::size_t j1, char *target) {
    const std::size_t m = rowOffsets.size();
    const std::size_t columnBytes = rows * sizeof(T);
    for (std::size_t j = j0; j < j1; ++j) {
        const char *column = source + (columns[j] - std::size_t{1}) * columnBytes;
        char *out = target + j * m * sizeof(T);
        for (std::size_t i = 0; i < m; ++i) {
            StoreElement<T>(out, i, LoadElement<T>(column, rowOffsets[i]));
        }
    }
}

// As GatherBlock, for rows that form one run starting at zero-based `first`.
template <typename T>
void GatherRowRun(const char *source, std::size_t rows, std::size_t first, std::size_t m,
                  const PositionList &columns, std::size_t j0, std::size_t j1, char *target) {
    const std::size_t columnBytes = rows * sizeof(T);
    for (std::size_t j = j0; j < j1; ++j) {
        const char *from = source + (columns[j] - std::size_t{1}) * columnBytes + first * sizeof(T);
        CopyRun<T>(target + j * m * sizeof(T), from, m);
    }
}

// Calls gather(j0, j1) over blocks of the n columns of an m x n selection,
// on several threads when it is large.
template <class Gather>
void ForSelectedColumns(std::size_t m, std::size_t n, const Gather &gather) {
    if (m * n < kSplitGather) {
        gather(std::size_t(0), n);
        return;
    }
    kernels::ParallelFor(n, std::max<std::size_t>(1, kGatherGrain / m), gather);
}

// Returns the selection of the rows `rowPositions` (all `rows` rows when
// `allRows`) of the columns `columnPositions` (1-based, checked) of A seen
// as rows x columns, shaped dims[0..nDims): the class and complexity of A,
// no flags, cell slots shared.
CMatrix *GatherSelection(const CMatrix *A, std::uint32_t rows, bool allRows,
                         PositionList &rowPositions, const PositionList &columnPositions,
                         unsigned int nDims, const unsigned int *dims) {
    const auto m = allRows ? rows : static_cast<unsigned int>(rowPositions.size());
    const auto n = static_cast<unsigned int>(columnPositions.size());
    ArrayHolder result(NewShapedSelection(A, nDims, dims));
    if (result->GetNoElems() == 0) return result.release();

    const bool run = allRows || IsRun(rowPositions);
    const std::size_t first = run && !allRows ? rowPositions[0] - std::size_t{1} : 0;
    if (!run) {
        for (std::uint32_t &p : rowPositions) --p;  // now zero-based row offsets
    }
    WithElementType(A->GetElementSize(), [&](auto element) {
        using T = decltype(element);
        CopyParts(A, result.get(), [&](const char *from, char *to) {
            ForSelectedColumns(m, n, [&](std::size_t j0, std::size_t j1) {
                if (run) {
                    GatherRowRun<T>(from, rows, first, m, columnPositions, j0, j1, to);
                } else {
                    GatherBlock<T>(from, rows, rowPositions, columnPositions, j0, j1, to);
                }
            });
        });
    });
    return result.release();
}

// Indexref(A, S) for three or more subscripts.
CMatrix *IndexrefMany(const CMatrix *A, const std::vector<const CMatrix *> &S) {
    const std::size_t n = S.size();
    // A is addressed as extents[0] x ... x extents[n-1], its dimensions from
    // the n-th on folded into the last; each subscript is checked in turn.
    const auto nSubs = static_cast<unsigned int>(n);
    std::vector<unsigned int> extents(n), counts(n);
    std::vector<PositionList> positions(n);
    for (unsigned int k = 0; k < nSubs; ++k) extents[k] = End(A, k + 1, nSubs);
    // The element count of the result, held at 2^32 once it gets there, so
    // that the product cannot wrap (each factor is below 2^32).
    constexpr std::uint64_t kTooMany = std::uint64_t{1} << 32;
    std::uint64_t total = 1;
    for (unsigned int k = 0; k < nSubs; ++k) {
        if (S[k]->IsColon()) {
            counts[k] = extents[k];
        } else {
            SelectedPositions(S[k], extents[k], positions[k]);
            counts[k] = static_cast<unsigned int>(positions[k].size());
        }
        total = std::min(total * counts[k], kTooMany);
    }
    if (total == 0) {
        return mxCreateNumericArray(nSubs, counts.data(), mxClassDouble, mxComplexityReal);
    }
    if (total == kTooMany) throw kiv::CExhaustedMemoryException();

    // Every count is now at least 1, so A has rows, and the extents from the
    // second on multiply to its folded column count, which fits in 32 bits:
    // so do the column positions, and the lists of the later colons are no
    // longer than the result.
    for (unsigned int k = 1; k < nSubs; ++k) {
        if (S[k]->IsColon()) ColonPositions(extents[k], positions[k]);
    }
    PositionList columns;
    FoldedColumns(positions, extents, columns);
    return GatherSelection(A, extents[0], S[0]->IsColon(), positions[0], columns, nSubs,
                           counts.data());
}

}  // namespace

CMatrix *Indexref(const CMatrix *A, const CMatrix *I) {
    if (I->IsColon()) return Tocolumn(A);
    if (I->IsLogical()) return IndexrefMask(A, I);
    return IndexrefIndex(A, I);
}

CMatrix *Indexref(const CMatrix *A, const CMatrix *I, const CMatrix *J) {
    const std::uint32_t rows = A->GetDimensions()[0];
    if (I->GetNoElems() == 0) return NewEmptyDouble(0, CountSelected(J, End(A, 2, 2)));
    if (J->GetNoElems() == 0) return NewEmptyDouble(CountSelected(I, rows), 0);
    if (I->IsColon() && J->IsColon()) return Tomatrix(A);

    const std::uint32_t columns = End(A, 2, 2);
    // A colon of rows is one run from the first row; its list is never
    // built, so A(:, J) needs no memory beyond its result (and none at all
    // when J is out of range, however many rows A has).
    const bool allRows = I->IsColon();
    PositionList rowPositions, columnPositions;
    if (!allRows) SelectedPositions(I, rows, rowPositions);
    SelectedPositions(J, columns, columnPositions);

    const unsigned int dims[] = {allRows ? rows : static_cast<unsigned int>(rowPositions.size()),
                                 static_cast<unsigned int>(columnPositions.size())};
    return GatherSelection(A, rows, allRows, rowPositions, columnPositions, 2, dims);
}

CMatrix *Indexref(const CMatrix *A, const std::vector<const CMatrix *> &S) {
    const std::size_t n = S.size();
    if (n == 0) throw CFunctionErrorException(L"Indexref: no subscript given");
    if (n == 1) return Indexref(A, S[0]);
    if (n == 2) return Indexref(A, S[0], S[1]);

    // One element of a numeric array, as the general path would copy it,
    // without its lists: the common A(i,j,k) of a loop.
    std::size_t offset;
    if (!A->IsCell() && SingleElementOffset(A, S, offset)) {
        ArrayHolder result(NewSelection(A, 1, 1));
        const std::size_t size = A->GetElementSize();
        CopyParts(A, result.get(),
                  [&](const char *from, char *to) { std::memcpy(to, from + offset * size, size); });
        return result.release();
    }
    return ReportingMemoryFailures([&] { return IndexrefMany(A, S); });
}

}  // namespace matrix
}  // namespace kiv
