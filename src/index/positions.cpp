// src/index/positions.cpp: subscripts turned into lists of 1-based positions, and the index check.
#include "index/positions.h"

#include <kiv/exception.h>
#include <matrix/exceptions.h>
#include <matrix/iterators.h>
#include <matrix/shape.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kiv {
namespace matrix {

namespace {

const double *DoubleData(const CMatrix *a) { return static_cast<const double *>(a->GetPr()); }

// Position lists grow through the standard library, which reports failure
// with its own exceptions; callers of the library see the library's one.
template <typename Change>
void Grow(Change grow) {
    try {
        grow();
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    } catch (const std::length_error &) {
        throw kiv::CExhaustedMemoryException();
    }
}

void Reserve(PositionList &list, std::size_t n) {
    Grow([&] { list.reserve(n); });
}

void Resize(PositionList &list, std::size_t n) {
    Grow([&] { list.resize(n); });
}

// Whether some t = p[k] + 0.5 lies outside [1, bound) (NaN included), in
// one pass without a branch per element. When none does, `largest` is the
// largest t (0 for n = 0).
bool AnyOutside(const double *p, std::uint32_t n, double bound, double &largest) {
    bool outside = false;
    double top = 0.0;
    std::uint32_t i = 0;
#if defined(__SSE2__)
    const __m128d half = _mm_set1_pd(0.5), one = _mm_set1_pd(1.0), limit = _mm_set1_pd(bound);
    __m128d bad = _mm_setzero_pd(), top0 = _mm_setzero_pd(), top1 = _mm_setzero_pd();
    for (; i + 4 <= n; i += 4) {
        const __m128d t0 = _mm_add_pd(_mm_loadu_pd(p + i), half);
        const __m128d t1 = _mm_add_pd(_mm_loadu_pd(p + i + 2), half);
        // Not >= 1 and not < bound are true for NaN as well.
        bad =
            _mm_or_pd(bad, _mm_or_pd(_mm_or_pd(_mm_cmpnge_pd(t0, one), _mm_cmpnlt_pd(t0, limit)),
                                     _mm_or_pd(_mm_cmpnge_pd(t1, one), _mm_cmpnlt_pd(t1, limit))));
        top0 = _mm_max_pd(t0, top0);
        top1 = _mm_max_pd(t1, top1);
    }
    outside = _mm_movemask_pd(bad) != 0;
    double lanes[4];
    _mm_storeu_pd(lanes, top0);
    _mm_storeu_pd(lanes + 2, top1);
    for (const double t : lanes) top = t > top ? t : top;
#endif
    for (; i < n; ++i) {
        const double t = p[i] + 0.5;
        outside |= !(t >= 1.0) | !(t < bound);
        top = t > top ? t : top;
    }
    largest = top;
    return outside;
}

}  // namespace

void CheckIndices(const CMatrix *index, std::uint32_t limit) {
    const std::uint32_t n = index->GetNoElems();
    if (index->IsDouble()) {
        const double *p = DoubleData(index);
        const double upper = limit;
        // floor(x + 0.5) lies in 1..limit exactly when x + 0.5 lies in
        // [1, limit + 1) (limit + 1 is exact), which one vector pass tests.
        // Only when some index fails does the loop below find the first
        // offender.
        double largest;
        if (!AnyOutside(p, n, upper + 1.0, largest)) return;
        for (std::uint32_t i = 0; i < n; ++i) {
            const double r = RoundIndex(p[i]);
            // Written so that NaN, which compares false both ways, counts as 0.
            if (!(r > 0.0)) throw CIndexIntoMatrixNegativeOrZeroException();
            if (r > upper) throw CIndexExceedsMatrixDimensionsException();
        }
        return;
    }
    CMatrixIndexIterator it(index);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t position = it.GetNextIndex();
        if (position == 0) throw CIndexIntoMatrixNegativeOrZeroException();
        if (position > limit) throw CIndexExceedsMatrixDimensionsException();
    }
}

void IndexToPositions(const CMatrix *index, PositionList &list) {
    const std::uint32_t n = index->GetNoElems();
    if (index->IsDouble()) {
        Resize(list, n);
        const double *p = DoubleData(index);
        for (std::uint32_t i = 0; i < n; ++i) list[i] = DoubleIndexToPosition(p[i]);
        return;
    }
    CMatrixIndexIterator it(index);  // refuses other classes before the list grows
    Resize(list, n);
    for (std::uint32_t i = 0; i < n; ++i) list[i] = it.GetNextIndex();
}

void MaskToPositions(const CMatrix *mask, PositionList &list) {
    const std::uint32_t n = mask->GetNoElems();
    if (mask->IsDouble()) {
        Reserve(list, n);
        const double *p = DoubleData(mask);
        for (std::uint32_t i = 0; i < n; ++i) {
            if (p[i] != 0.0) list.push_back(i + 1);
        }
        return;
    }
    CMatrixLogicalIterator it(mask);
    Reserve(list, n);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (it.GetNextLogical()) list.push_back(i + 1);
    }
}

std::uint32_t SubscriptToPositions(const CMatrix *subscript, PositionList &list) {
    if (subscript->IsLogical()) {
        MaskToPositions(subscript, list);
        return list.empty() ? 0 : list.back();
    }
    IndexToPositions(subscript, list);
    return list.empty() ? 0 : *std::max_element(list.begin(), list.end());
}

std::uint32_t SubscriptToAssignPositions(const CMatrix *subscript, PositionList &list) {
    if (subscript->IsLogical()) return SubscriptToPositions(subscript, list);
    const std::uint32_t n = subscript->GetNoElems();
    std::uint32_t largest = 0;
    if (subscript->IsDouble()) {
        Resize(list, n);
        const double *p = DoubleData(subscript);
        std::uint32_t *out = list.data();
        // floor(x + 0.5) lies in 1..2^32-1 exactly when x + 0.5 lies in
        // [1, 2^32) (NaN does not), and there truncation is the floor: the
        // test and the conversion need no rounding of their own.
        for (std::uint32_t i = 0; i < n; ++i) {
            const double t = p[i] + 0.5;
            if (!(t >= 1.0)) throw CIndexIntoMatrixNegativeOrZeroException();
            if (!(t < 0x1p32)) throw kiv::CExhaustedMemoryException();
            const auto position = static_cast<std::uint32_t>(static_cast<std::int64_t>(t));
            out[i] = position;
            largest = std::max(largest, position);
        }
        return largest;
    }
    CMatrixIndexIterator it(subscript);  // refuses other classes before the list grows
    Resize(list, n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t position = it.GetNextIndex();
        if (position == 0) throw CIndexIntoMatrixNegativeOrZeroException();
        list[i] = position;
        largest = std::max(largest, position);
    }
    return largest;
}

std::uint32_t CheckAssignIndex(const CMatrix *index) {
    const std::uint32_t n = index->GetNoElems();
    const double *p = DoubleData(index);
    // The test of SubscriptToAssignPositions in one vector pass; the largest
    // position is the truncation of the largest x + 0.5.
    double largest;
    if (AnyOutside(p, n, 0x1p32, largest)) {
        PositionList list;
        SubscriptToAssignPositions(index, list);  // throws for the first offender
    }
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(largest));
}

void IndexToSortedPositions(const CMatrix *index, PositionList &list) {
    // The same list as inserting each position into place, in O(n log n).
    IndexToPositions(index, list);
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

void CountMask(const CMatrix *mask, std::uint32_t &last, std::uint32_t &count) {
    if (!mask->IsDouble()) throw CNotImplementedException();
    // Branch-free, so that a random mask costs no mispredictions.
    std::uint32_t lastTrue = 0;
    std::uint32_t trues = 0;
    const std::uint32_t n = mask->GetNoElems();
    const double *p = DoubleData(mask);
    for (std::uint32_t i = 0; i < n; ++i) {
        const bool on = p[i] != 0.0;
        trues += on;
        lastTrue = on ? i + 1 : lastTrue;
    }
    last = lastTrue;
    count = trues;
}

bool SingleElementOffset(const CMatrix *A, const std::vector<const CMatrix *> &S,
                         std::size_t &offset) {
    // With elements, A's extents multiply to its element count, so End
    // cannot throw and no offset leaves 32 bits.
    if (A->GetNoElems() == 0) return false;
    const auto n = static_cast<unsigned int>(S.size());
    std::size_t at = 0, stride = 1;
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *s = S[k];
        if (!s->IsDouble() || s->IsLogical() || s->GetNoElems() != 1) return false;
        const unsigned int extent = End(A, k + 1, n);
        // floor(x + 0.5) lies in 1..extent exactly when x + 0.5 lies in
        // [1, extent + 1), where truncation is the floor; NaN fails.
        const double t = *DoubleData(s) + 0.5;
        if (!(t >= 1.0) || !(t < extent + 1.0)) return false;
        at += (static_cast<std::size_t>(static_cast<std::int64_t>(t)) - 1) * stride;
        stride *= extent;
    }
    offset = at;
    return true;
}

void FoldedColumns(const std::vector<PositionList> &positions,
                   const std::vector<unsigned int> &extents, PositionList &columns) {
    ColonPositions(1, columns);
    std::uint64_t stride = 1;
    for (std::size_t k = 1; k < positions.size(); ++k) {
        const PositionList &p = positions[k];
        const std::size_t before = columns.size();
        Resize(columns, before * p.size());
        // Block t of the new list is the old list moved to position p[t];
        // the blocks are written from the last, so that block 0, which
        // holds the old list, is overwritten last and element by element
        // after its own read.
        for (std::size_t t = p.size(); t-- > 0;) {
            const auto shift = static_cast<std::uint32_t>((p[t] - std::uint64_t{1}) * stride);
            for (std::size_t j = 0; j < before; ++j) columns[t * before + j] = columns[j] + shift;
        }
        stride *= extents[k];
    }
}

void ColonPositions(std::uint32_t n, PositionList &list) {
    Resize(list, n);
    for (std::uint32_t i = 0; i < n; ++i) list[i] = i + 1;
}

}  // namespace matrix
}  // namespace kiv
