// src/reduce/sort.cpp: Sort along a dimension, with and without positions.
#include <matrix/reduce.h>

#include <kiv/exception.h>
#include <matrix/construct.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "core/array_fields.h"
#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "reduce/class_order.h"
#include "reduce/dimension_walk.h"

namespace kiv {
namespace matrix {

namespace {

// Sorting works on unsigned 64-bit keys whose order is the order asked for,
// with equal keys exactly for the elements that compare equal: -0 is keyed
// as +0, and every NaN gets the one key that goes last (ascending) or first
// (descending). A stable sort of the keys is then the stable sort of the
// elements, and the positions it carries give back each element's own bits.
std::uint64_t AscendingKey(double x) {
    constexpr std::uint64_t kSign = 0x8000000000000000u;
    constexpr std::uint64_t kMagnitude = 0x7FFFFFFFFFFFFFFFu;
    constexpr std::uint64_t kInfinity = 0x7FF0000000000000u;
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    if ((u & kMagnitude) > kInfinity) return ~std::uint64_t{0};
    if ((u & kMagnitude) == 0) return kSign;
    return (u & kSign) != 0 ? ~u : (u | kSign);
}

// Lines up to this length are sorted by insertion: below it the counting
// passes of the radix sort cost more than they save.
constexpr std::size_t kInsertionLimit = 48;
// The radix sort takes 11 bits per pass: six passes cover 64 bits, and a
// pass's 2048 counters stay in the first-level cache.
constexpr unsigned int kDigitBits = 11;
constexpr unsigned int kPasses = (64 + kDigitBits - 1) / kDigitBits;
constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;

// Scratch for one line: keys and positions, twice over for the radix
// passes.
class SortScratch {
public:
    explicit SortScratch(std::size_t n)
        : m_keys(new (std::nothrow) std::uint64_t[2 * n + 1]),
          m_positions(new (std::nothrow) std::uint32_t[2 * n + 1]),
          m_counts(new (std::nothrow) std::uint32_t[kPasses * kBuckets]),
          m_n(n) {
        if (!m_keys || !m_positions || !m_counts) throw kiv::CExhaustedMemoryException();
    }
    std::uint64_t *Keys(int half) { return m_keys.get() + half * m_n; }
    std::uint32_t *Positions(int half) { return m_positions.get() + half * m_n; }
    std::uint32_t *Counts() { return m_counts.get(); }

private:
    std::unique_ptr<std::uint64_t[]> m_keys;
    std::unique_ptr<std::uint32_t[]> m_positions;
    std::unique_ptr<std::uint32_t[]> m_counts;
    std::size_t m_n;
};

// Stable insertion sort of n keys with their positions.
void InsertionSort(std::uint64_t *keys, std::uint32_t *positions, std::size_t n) {
    for (std::size_t i = 1; i < n; ++i) {
        const std::uint64_t key = keys[i];
        const std::uint32_t position = positions[i];
        std::size_t j = i;
        for (; j > 0 && keys[j - 1] > key; --j) {
            keys[j] = keys[j - 1];
            positions[j] = positions[j - 1];
        }
        keys[j] = key;
        positions[j] = position;
    }
}

// Stable least-significant-digit radix sort of the n keys and positions in
// half 0 of `s`; returns the half that holds the result. A pass whose digit
// is the same for every key is skipped.
int RadixSort(SortScratch &s, std::size_t n) {
    std::uint32_t *counts = s.Counts();
    std::memset(counts, 0, kPasses * kBuckets * sizeof *counts);
    const std::uint64_t *keys = s.Keys(0);
    for (std::size_t i = 0; i < n; ++i) {
        for (unsigned int pass = 0; pass < kPasses; ++pass) {
            ++counts[pass * kBuckets + ((keys[i] >> (pass * kDigitBits)) & (kBuckets - 1))];
        }
    }
    int from = 0;
    for (unsigned int pass = 0; pass < kPasses; ++pass) {
        std::uint32_t *count = counts + pass * kBuckets;
        const unsigned int shift = pass * kDigitBits;
        if (count[(s.Keys(from)[0] >> shift) & (kBuckets - 1)] == n) continue;
        // Counts become the first slot of each bucket.
        std::uint32_t next = 0;
        for (std::size_t b = 0; b < kBuckets; ++b) {
            const std::uint32_t c = count[b];
            count[b] = next;
            next += c;
        }
        const std::uint64_t *srcKeys = s.Keys(from);
        const std::uint32_t *srcPositions = s.Positions(from);
        std::uint64_t *dstKeys = s.Keys(1 - from);
        std::uint32_t *dstPositions = s.Positions(1 - from);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t slot = count[(srcKeys[i] >> shift) & (kBuckets - 1)]++;
            dstKeys[slot] = srcKeys[i];
            dstPositions[slot] = srcPositions[i];
        }
        from = 1 - from;
    }
    return from;
}

// Sorts the n keys and positions in half 0 of `s`; returns the half that
// holds the result.
int SortKeys(SortScratch &s, std::size_t n) {
    if (n > kInsertionLimit) return RadixSort(s, n);
    InsertionSort(s.Keys(0), s.Positions(0), n);
    return 0;
}

// Lines that are not contiguous (their elements `before` apart) are taken
// this many at a time: neighbouring lines share cache lines, and read one
// by one at a stride of a multiple of 4 KiB the lines of a 1024 x 1024
// array all fell into one cache set and were fetched again for every line,
// which made sorting along the rows twice as slow as along the columns.
constexpr std::size_t kBlockLines = 8;
// Blocks of long lines hold fewer of them, down to one, so that a block
// takes at most about this many bytes beside the one line's scratch.
constexpr std::size_t kBlockBytes = std::size_t(16) << 20;

// The values and sorted positions of up to kBlockLines strided lines.
class LineBlock {
public:
    LineBlock(std::size_t lines, std::size_t n)
        : m_values(new (std::nothrow) double[lines * n]),
          m_sorted(new (std::nothrow) std::uint32_t[lines * n]) {
        if (!m_values || !m_sorted) throw kiv::CExhaustedMemoryException();
    }
    double *Values() { return m_values.get(); }
    std::uint32_t *Sorted() { return m_sorted.get(); }

private:
    std::unique_ptr<double[]> m_values;
    std::unique_ptr<std::uint32_t[]> m_sorted;
};

// Sorts every line of A along `dim` (within A's dimensions) into y and,
// when not null, the 1-based positions into positions.
void SortLines(const CMatrix *A, unsigned int dim, SortOrder order, double *y, double *positions) {
    const reduce::DimensionSplit split = reduce::SplitAround(A, dim);
    const std::size_t n = split.n;
    const std::size_t before = split.before;
    if (n == 0 || before == 0 || split.after == 0) return;
    const double *a = static_cast<const double *>(A->GetPr());
    const std::uint64_t flip = order == SortOrder::kDescend ? ~std::uint64_t{0} : 0;
    SortScratch scratch(n);
    const auto sortLine = [&](const double *line) {
        std::uint64_t *keys = scratch.Keys(0);
        std::uint32_t *positions0 = scratch.Positions(0);
        for (std::size_t k = 0; k < n; ++k) {
            keys[k] = AscendingKey(line[k]) ^ flip;
            positions0[k] = static_cast<std::uint32_t>(k);
        }
        return scratch.Positions(SortKeys(scratch, n));
    };
    if (before == 1) {
        for (std::size_t o = 0; o < split.after; ++o) {
            const double *line = a + o * n;
            const std::uint32_t *sorted = sortLine(line);
            for (std::size_t k = 0; k < n; ++k) y[o * n + k] = line[sorted[k]];
            if (positions != nullptr) {
                for (std::size_t k = 0; k < n; ++k)
                    positions[o * n + k] = static_cast<double>(sorted[k]) + 1.0;
            }
        }
        return;
    }
    const std::size_t perLine = n * (sizeof(double) + sizeof(std::uint32_t));
    const std::size_t block =
        std::max<std::size_t>(1, std::min({before, kBlockLines, kBlockBytes / perLine}));
    LineBlock lines(block, n);
    for (std::size_t o = 0; o < split.after; ++o) {
        for (std::size_t p = 0; p < before; p += block) {
            const std::size_t count = before - p < block ? before - p : block;
            const std::size_t first = o * before * n + p;
            // Line q of the block at Values() + q * n, read a run of
            // `count` neighbours at a time.
            double *values = lines.Values();
            for (std::size_t k = 0; k < n; ++k) {
                for (std::size_t q = 0; q < count; ++q)
                    values[q * n + k] = a[first + k * before + q];
            }
            for (std::size_t q = 0; q < count; ++q) {
                const std::uint32_t *sorted = sortLine(values + q * n);
                std::memcpy(lines.Sorted() + q * n, sorted, n * sizeof *sorted);
            }
            const std::uint32_t *sorted = lines.Sorted();
            for (std::size_t k = 0; k < n; ++k) {
                for (std::size_t q = 0; q < count; ++q)
                    y[first + k * before + q] = values[q * n + sorted[q * n + k]];
            }
            if (positions != nullptr) {
                for (std::size_t k = 0; k < n; ++k) {
                    for (std::size_t q = 0; q < count; ++q)
                        positions[first + k * before + q] =
                            static_cast<double>(sorted[q * n + k]) + 1.0;
                }
            }
        }
    }
}

unsigned int DefaultDimension(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

CMatrix *NewLike(const CMatrix *A) {
    return mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(), mxClassDouble,
                                mxComplexityReal);
}

// Sorted values: A's shape, class and complexity; logical stays logical.
// The fields are read inline: on short lines the calls would cost more
// than the sort.
CMatrix *NewSorted(const CMatrix *A) {
    CMatrix *Y = IsRealDouble(A) ? NewLike(A)
                                 : mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(),
                                                        A->GetClassID(), A->GetComplexity());
    if (ArrayFields::IsLogical(A)) ArrayFields::SetLogical(Y);
    return Y;
}

// Every class that holds numbers is sorted, char included: the real double
// arrays by their keys above, the others on the order of class_order.h.
void RequireSortable(const CMatrix *A) {
    if (IsRealDouble(A)) return;
    if (!A->IsNumeric() || A->IsSparse()) ThrowNotImplemented();
}

void SortInto(const CMatrix *A, unsigned int dim, SortOrder order, CMatrix *Y, double *positions) {
    if (IsRealDouble(A)) {
        SortLines(A, dim, order, static_cast<double *>(Y->GetPr()), positions);
    } else {
        reduce::SortOtherClass(A, dim, order, Y, positions);
    }
}

}  // namespace

CMatrix *Sort(const CMatrix *A) { return Sort(A, SortOrder::kAscend); }

CMatrix *Sort(const CMatrix *A, SortOrder order) {
    RequireSortable(A);
    return Sort(A, DefaultDimension(A), order);
}

CMatrix *Sort(const CMatrix *A, unsigned int dim) { return Sort(A, dim, SortOrder::kAscend); }

CMatrix *Sort(const CMatrix *A, unsigned int dim, SortOrder order) {
    reduce::RequireDimension(dim);
    RequireSortable(A);
    if (dim > A->GetNoDimensions()) return A->CreateShareArray();
    ArrayHolder Y(NewSorted(A));
    SortInto(A, dim, order, Y.get(), nullptr);
    return Y.release();
}

void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A) { Sort(Y, I, A, SortOrder::kAscend); }

void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A, SortOrder order) {
    RequireSortable(A);
    Sort(Y, I, A, DefaultDimension(A), order);
}

void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim) {
    Sort(Y, I, A, dim, SortOrder::kAscend);
}

void Sort(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim, SortOrder order) {
    reduce::RequireDimension(dim);
    RequireSortable(A);
    Y = nullptr;
    I = nullptr;
    ArrayHolder values;
    ArrayHolder positions;
    if (dim > A->GetNoDimensions()) {
        // Every line has the one element at position 1.
        values.reset(A->CreateShareArray());
        positions.reset(Ones(A->GetNoDimensions(), A->GetDimensions()));
    } else {
        values.reset(NewSorted(A));
        positions.reset(NewLike(A));
        SortInto(A, dim, order, values.get(), static_cast<double *>(positions->GetPr()));
    }
    Y = values.release();
    I = positions.release();
}

}  // namespace matrix
}  // namespace kiv
