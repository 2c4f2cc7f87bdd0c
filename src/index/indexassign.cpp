// src/index/indexassign.cpp: indexed assignment A(I) = B and A(I,J) = B, with growth.
#include <matrix/index.h>

#include <kiv/exception.h>
#include <matrix/construct.h>
#include <matrix/exceptions.h>
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
#include "index/element_copy.h"
#include "index/positions.h"

namespace kiv {
namespace matrix {

namespace {

// The elements of B go to A in the order B is read: the targets name each
// destination as a zero-based element offset into A.

// A(I) = B: one destination per position, in the subscript's order.
class LinearTargets {
public:
    explicit LinearTargets(const PositionList &positions) : m_positions(positions) {}

    std::size_t Count() const { return m_positions.size(); }

    template <typename Visit>
    void ForEach(Visit &&visit) const {
        for (const std::uint32_t p : m_positions) visit(std::size_t{p} - 1);
    }

    // Copies the elements of `source` (its first one only, when
    // `broadcast`) as T to the destinations in `target`.
    template <typename T>
    void Scatter(const char *source, bool broadcast, char *target) const {
        const std::uint32_t *p = m_positions.data();
        const std::size_t n = m_positions.size();
        if (broadcast) {
            const T value = LoadElement<T>(source, 0);
            for (std::size_t i = 0; i < n; ++i) {
                StoreElement<T>(target, std::size_t{p[i]} - 1, value);
            }
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                StoreElement<T>(target, std::size_t{p[i]} - 1, LoadElement<T>(source, i));
            }
        }
    }

private:
    const PositionList &m_positions;
};

// A(I) = B through a double index array that CheckAssignIndex has passed:
// the positions are read from the index itself, with no list between.
class DoubleIndexTargets {
public:
    DoubleIndexTargets(const double *index, std::size_t n) : m_index(index), m_n(n) {}

    std::size_t Count() const { return m_n; }

    template <typename Visit>
    void ForEach(Visit &&visit) const {
        for (std::size_t i = 0; i < m_n; ++i) visit(Offset(i));
    }

    template <typename T>
    void Scatter(const char *source, bool broadcast, char *target) const {
        if (broadcast) {
            const T value = LoadElement<T>(source, 0);
            for (std::size_t i = 0; i < m_n; ++i) StoreElement<T>(target, Offset(i), value);
        } else {
            for (std::size_t i = 0; i < m_n; ++i) {
                StoreElement<T>(target, Offset(i), LoadElement<T>(source, i));
            }
        }
    }

private:
    // x + 0.5 lies in [1, 2^32), where truncation is the floor of the rule.
    std::size_t Offset(std::size_t i) const {
        return static_cast<std::size_t>(static_cast<std::int64_t>(m_index[i] + 0.5)) - 1;
    }

    const double *m_index;
    std::size_t m_n;
};

// A(I,J) = B: for each column position, each row position, into an array
// of `ld` rows.
class BlockTargets {
public:
    BlockTargets(const PositionList &rows, const PositionList &columns, std::size_t ld)
        : m_rows(rows), m_columns(columns), m_ld(ld), m_contiguous(IsRun(rows)) {}

    std::size_t Count() const { return m_rows.size() * m_columns.size(); }

    template <typename Visit>
    void ForEach(Visit &&visit) const {
        for (const std::uint32_t q : m_columns) {
            const std::size_t base = (std::size_t{q} - 1) * m_ld;
            for (const std::uint32_t p : m_rows) visit(base + p - 1);
        }
    }

    template <typename T>
    void Scatter(const char *source, bool broadcast, char *target) const {
        const std::size_t nRows = m_rows.size();
        if (nRows == 0) return;
        const T value = broadcast ? LoadElement<T>(source, 0) : T{};
        std::size_t next = 0;
        for (const std::uint32_t q : m_columns) {
            const std::size_t base = (std::size_t{q} - 1) * m_ld;
            if (m_contiguous) {
                // Rows p, p+1, ...: one run per column.
                const std::size_t first = base + m_rows[0] - 1;
                if (broadcast) {
                    for (std::size_t i = 0; i < nRows; ++i) {
                        StoreElement<T>(target, first + i, value);
                    }
                } else {
                    CopyRun<T>(target + first * sizeof(T), source + next * sizeof(T), nRows);
                    next += nRows;
                }
            } else if (broadcast) {
                for (const std::uint32_t p : m_rows) StoreElement<T>(target, base + p - 1, value);
            } else {
                for (const std::uint32_t p : m_rows) {
                    StoreElement<T>(target, base + p - 1, LoadElement<T>(source, next++));
                }
            }
        }
    }

private:
    const PositionList &m_rows;
    const PositionList &m_columns;
    std::size_t m_ld;
    bool m_contiguous;
};

// Shares of B's cell elements waiting to be stored in A's slots; those not
// handed over are destroyed with the list.
class PendingShares {
public:
    explicit PendingShares(std::size_t n) : m_shares(new (std::nothrow) CMatrix *[n]()), m_n(n) {
        if (!m_shares) throw kiv::CExhaustedMemoryException();
    }
    PendingShares(const PendingShares &) = delete;
    PendingShares &operator=(const PendingShares &) = delete;
    ~PendingShares() {
        for (std::size_t i = 0; i < m_n; ++i) mxDestroyArray(m_shares[i]);
    }

    void Make(std::size_t i, const CMatrix *element) {
        if (element != nullptr) m_shares[i] = element->CreateShareArray();
    }
    CMatrix *Release(std::size_t i) {
        CMatrix *share = m_shares[i];
        m_shares[i] = nullptr;
        return share;
    }

private:
    std::unique_ptr<CMatrix *[]> m_shares;
    std::size_t m_n;
};

// Cell slots own their element arrays: each written slot gets a share of
// B's element of its own and releases the element it held. Every share is
// made before the first slot changes, so running out of memory leaves the
// slots as they were.
template <typename Targets>
void WriteCellSlots(CMatrix *A, const Targets &targets, const CMatrix *B, bool broadcast) {
    const std::size_t n = targets.Count();
    const auto *source = static_cast<CMatrix *const *>(B->GetPr());
    PendingShares shares(n);
    for (std::size_t i = 0; i < n; ++i) shares.Make(i, source[broadcast ? 0 : i]);

    auto **slots = static_cast<CMatrix **>(A->GetPr());
    std::size_t next = 0;
    targets.ForEach([&](std::size_t k) {
        CMatrix *old = slots[k];
        slots[k] = shares.Release(next++);
        mxDestroyArray(old);
    });
}

// Writes B to the targets in A, which has B's class, is complex when B is,
// and holds its data alone. A real B leaves A's imaginary parts as they are.
template <typename Targets>
void WriteElements(CMatrix *A, const Targets &targets, const CMatrix *B, bool broadcast) {
    if (A->IsCell()) {
        WriteCellSlots(A, targets, B, broadcast);
        return;
    }
    WithElementType(A->GetElementSize(), [&](auto zero) {
        using T = decltype(zero);
        targets.template Scatter<T>(static_cast<const char *>(B->GetPr()), broadcast,
                                    static_cast<char *>(A->GetPr()));
        if (B->IsComplex() && A->IsComplex()) {
            targets.template Scatter<T>(static_cast<const char *>(B->GetPi()), broadcast,
                                        static_cast<char *>(A->GetPi()));
        }
    });
}

// A complex B makes A complex before A is written; an array that cannot have
// an imaginary part (cell, struct) is left for the class test to refuse.
void MatchComplexity(CMatrix *A, const CMatrix *B) {
    if (B->IsComplex() && A->IsNumeric()) A->ToComplex();
}

// A right-hand side that is the target itself is read as it was before the
// assignment, not as the assignment changes it: it is replaced by a share,
// which keeps the old data when A is grown or unshared.
const CMatrix *Unaliased(const CMatrix *A, const CMatrix *B, ArrayHolder &holder) {
    if (B != A) return B;
    holder.reset(B->CreateShareArray());
    return holder.get();
}

// A(:) = s and A(:,:) = s: every element of a double target takes the value
// of the double scalar B, imaginary part included.
void FillWithScalar(CMatrix *&A, const CMatrix *B) {
    // An 8-byte value does not fit narrower elements, and cell slots own
    // arrays; the test comes before A is touched.
    if (!A->IsDouble()) throw CNotImplementedException();
    const double re = *static_cast<const double *>(B->GetPr());
    if (!B->IsComplex()) {
        Initialize(A, re);
        return;
    }
    const double im = *static_cast<const double *>(B->GetPi());
    A->GetOwnCopy();
    A->ToComplex();
    double *pr = static_cast<double *>(A->GetPr());
    double *pi = static_cast<double *>(A->GetPi());
    for (std::uint32_t k = 0, n = A->GetNoElems(); k < n; ++k) {
        pr[k] = re;
        pi[k] = im;
    }
}

// A(:) = B and A(:,:) = B with a non-scalar B: A becomes an array sharing
// B's data, with B's shape, class and flags.
void ReplaceByShare(CMatrix *&A, const CMatrix *B) {
    if (B == A) return;
    CMatrix *share = B->CreateShareArray();
    mxDestroyArray(A);
    A = share;
}

void AssignColon(CMatrix *&A, const CMatrix *B) {
    if (A->GetNoElems() == 0) {
        if (B->GetNoElems() > 1) throw CInAssignAColonBElementsMustBeSameException();
        return;
    }
    if (B->IsScalar() && B->IsDouble()) {
        FillWithScalar(A, B);
        return;
    }
    if (B->GetNoElems() != A->GetNoElems()) throw CInAssignAColonBElementsMustBeSameException();
    ReplaceByShare(A, B);
}

void AssignAllColons(CMatrix *&A, const CMatrix *B) {
    if (!B->IsScalar()) {
        const unsigned int *dims = B->GetDimensions();
        if (!A->IsEmpty() && (dims[0] != A->GetDimensions()[0] || dims[1] != End(A, 2, 2))) {
            throw CInAssignAColonBElementsMustBeSameException();
        }
        ReplaceByShare(A, B);
        return;
    }
    if (A->GetNoElems() == 0) return;
    if (!B->IsDouble()) throw CNotImplementedException();
    FillWithScalar(A, B);
}

// Linear growth to m elements makes a longer column of a column and a longer
// row of anything else it allows. An empty target of more than two
// dimensions becomes the row 1-by-m too: extending it in place would keep its
// later lengths (a third length of 0 leaves no room at all), so a 2-d copy
// grows and replaces it, which leaves A as it was if the growth fails.
// Cells grow as numeric arrays do: the test is on the shape alone.
void GrowLinearly(CMatrix *&A, std::uint32_t m) {
    const bool growable = IsVectorShape(A) || (A->GetNoElems() == 0 && A->GetDimensions()[0] <= 1);
    if (!growable) throw CInAssignAMBACantBeResizedException();
    const unsigned int column[] = {m, 1};
    const unsigned int row[] = {1, m};
    if (A->GetNoDimensions() > 2) {
        ArrayHolder flat(A->CreateDuplicateArray());
        const unsigned int empty[] = {A->GetDimensions()[0], 0};
        flat->Reshape(2, empty);
        flat->Extend(2, row);
        mxDestroyArray(A);
        A = flat.release();
    } else {
        A->Extend(2, A->GetDimensions()[0] > 1 ? column : row);
    }
    // The writes below trust the element count, never the request.
    if (A->GetNoElems() < m) throw CInAssignAMBACantBeResizedException();
}

// A(rows, columns) = B, where r and c are the largest row and column
// positions. A grows first, so the failures after it leave A grown (and,
// when it had more than two dimensions, folded to rows by columns), made
// complex and unshared, but never partly written.
void AssignBlock(CMatrix *A, const PositionList &rows, const PositionList &columns, std::uint32_t r,
                 std::uint32_t c, const CMatrix *B) {
    const std::uint32_t m = A->GetDimensions()[0];
    const std::uint32_t n = End(A, 2, 2);
    if (r > m || c > n) {
        if (A->GetNoDimensions() > 2) {
            const unsigned int folded[] = {m, n};
            A->Reshape(2, folded);
        }
        const unsigned int grown[] = {r, c};
        A->Extend(2, grown);
        if (A->GetDimensions()[0] < r || End(A, 2, 2) < c) {
            throw CInAssignAMBACantBeResizedException();
        }
    }

    if (B->GetClassID() != A->GetClassID()) throw CNotImplementedException();
    if (B->GetNoElems() == 0) return;
    const bool broadcast = B->IsScalar();
    if (!broadcast) {
        const unsigned int *dims = B->GetDimensions();
        if (dims[0] != rows.size() || dims[1] != columns.size()) {
            throw CInAssignAMMBDimensionMustBeSameException();
        }
    }
    MatchComplexity(A, B);
    A->GetOwnCopy();
    WriteElements(A, BlockTargets(rows, columns, A->GetDimensions()[0]), B, broadcast);
}

// The positions of one subscript of A(I,J) = B against an extent of A: the
// colon stands for 1..extent, listed only with `listColon` (its list is as
// long as the extent, which an empty A of 2^31 rows makes 8 GB).
std::uint32_t BlockPositions(const CMatrix *subscript, std::uint32_t extent, PositionList &list,
                             bool listColon) {
    if (subscript->IsColon()) {
        if (listColon) ColonPositions(extent, list);
        return extent;
    }
    return SubscriptToAssignPositions(subscript, list);
}

// The extent each colon of A(S1,...,Sn) = B stands for when A has no
// elements: B's lengths other than 1, taken in order, for the colons in
// order; a subscript of another count (not 1) takes the next length as well
// when it matches it. Once B's lengths run out a colon stands for 1.
std::vector<unsigned int> ColonExtentsFromB(const std::vector<const CMatrix *> &S,
                                            const CMatrix *B) {
    std::vector<unsigned int> lengths;
    const unsigned int *dims = B->GetDimensions();
    for (unsigned int k = 0; k < B->GetNoDimensions(); ++k) {
        if (dims[k] != 1) lengths.push_back(dims[k]);
    }
    std::vector<unsigned int> extents(S.size(), 1);
    std::size_t next = 0;
    for (std::size_t k = 0; k < S.size(); ++k) {
        if (S[k]->IsColon()) {
            if (next < lengths.size()) extents[k] = lengths[next++];
            continue;
        }
        // The count of a mask is that of its true elements, which the
        // positions tell later; here only its element count is at hand, so
        // a mask never takes a length.
        const unsigned int count = S[k]->GetNoElems();
        if (!S[k]->IsLogical() && count != 1 && next < lengths.size() && lengths[next] == count) {
            ++next;
        }
    }
    return extents;
}

// True when `counts` and B's lengths agree once the lengths of 1 are left
// out of both.
bool SameWithoutSingletons(const std::vector<std::size_t> &counts, const CMatrix *B) {
    std::vector<std::size_t> a, b;
    for (const std::size_t c : counts) {
        if (c != 1) a.push_back(c);
    }
    const unsigned int *dims = B->GetDimensions();
    for (unsigned int k = 0; k < B->GetNoDimensions(); ++k) {
        if (dims[k] != 1) b.push_back(dims[k]);
    }
    return a == b;
}

// Indexassign(A, S) for three or more subscripts.
void IndexassignMany(CMatrix *&A, const std::vector<const CMatrix *> &S, const CMatrix *B) {
    const std::size_t n = S.size();
    // A is addressed as extents[0] x ... x extents[n-1], its dimensions from
    // the n-th on folded into the last. Everything is checked before A
    // changes: the subscripts in order, then B's class and shape.
    const auto nSubs = static_cast<unsigned int>(n);
    std::vector<unsigned int> extents(n);
    for (unsigned int k = 0; k < nSubs; ++k) extents[k] = End(A, k + 1, nSubs);
    const std::vector<unsigned int> colonExtents =
        A->GetNoElems() == 0 ? ColonExtentsFromB(S, B) : extents;
    std::vector<PositionList> positions(n);
    std::vector<std::uint32_t> largest(n);
    std::vector<std::size_t> counts(n);
    std::uint64_t total = 1;
    for (unsigned int k = 0; k < nSubs; ++k) {
        if (S[k]->IsColon()) {
            ColonPositions(colonExtents[k], positions[k]);
            largest[k] = colonExtents[k];
        } else {
            largest[k] = SubscriptToAssignPositions(S[k], positions[k]);
        }
        counts[k] = positions[k].size();
        // Only whether the selection is empty counts here: held at 2^32,
        // the product cannot wrap to 0.
        total = std::min<std::uint64_t>(total * counts[k], std::uint64_t{1} << 32);
    }
    if (total == 0) {
        if (B->GetNoElems() > 1) throw CInAssignAMMBDimensionMustBeSameException();
        return;
    }
    if (B->GetClassID() != A->GetClassID()) throw CNotImplementedException();
    const bool broadcast = B->IsScalar();
    if (!broadcast && !SameWithoutSingletons(counts, B)) {
        throw CInAssignAMMBDimensionMustBeSameException();
    }
    ArrayHolder alias;
    B = Unaliased(A, B, alias);

    // Growth: each extent to at least its largest position, new elements
    // zero. An A of more dimensions than subscripts is folded first, on a
    // share, so that A is left as it was when the growth fails.
    std::vector<unsigned int> grown(n);
    bool grows = false;
    for (std::size_t k = 0; k < n; ++k) {
        grown[k] = std::max<std::uint32_t>(extents[k], largest[k]);
        grows = grows || grown[k] > extents[k];
    }
    if (grows) {
        if (A->GetNoDimensions() > nSubs) {
            ArrayHolder folded(A->CreateShareArray());
            folded->Reshape(nSubs, extents.data());
            folded->Extend(nSubs, grown.data());
            mxDestroyArray(A);
            A = folded.release();
        } else {
            A->Extend(nSubs, grown.data());
        }
    }

    // The writes address A as grown[0] x (grown[1] * ... * grown[n-1]).
    PositionList columns;
    FoldedColumns(positions, grown, columns);
    MatchComplexity(A, B);
    A->GetOwnCopy();
    WriteElements(A, BlockTargets(positions[0], columns, grown[0]), B, broadcast);
}

}  // namespace

void Indexassign(CMatrix *&A, const CMatrix *I, const CMatrix *B) {
    if (I->GetNoElems() == 0) {
        if (B->GetNoElems() > 1) throw CInAssignAIBElementsMustBeSameException();
        return;
    }
    if (I->IsColon()) {
        AssignColon(A, B);
        return;
    }

    // A double index is read in place, unless it is the target itself,
    // which the writes below would change under it.
    const bool inPlace = I->IsDouble() && !I->IsLogical() && I != A;
    PositionList positions;
    const std::uint32_t m =
        inPlace ? CheckAssignIndex(I) : SubscriptToAssignPositions(I, positions);
    const std::size_t count = inPlace ? I->GetNoElems() : positions.size();
    ArrayHolder alias;
    B = Unaliased(A, B, alias);

    if (m > A->GetNoElems()) GrowLinearly(A, m);

    const bool broadcast = B->IsScalar();
    if (!broadcast && B->GetNoElems() != count) throw CInAssignAIBElementsMustBeSameException();
    MatchComplexity(A, B);
    A->GetOwnCopy();
    if (B->GetClassID() != A->GetClassID()) throw CNotImplementedException();
    if (inPlace) {
        WriteElements(A, DoubleIndexTargets(static_cast<const double *>(I->GetPr()), count), B,
                      broadcast);
    } else {
        WriteElements(A, LinearTargets(positions), B, broadcast);
    }
}

void Indexassign(CMatrix *&A, const CMatrix *I, const CMatrix *J, const CMatrix *B) {
    if (I->GetNoElems() == 0 && J->GetNoElems() == 0) {
        if (B->GetNoElems() > 1) throw CInAssignAMMBDimensionMustBeSameException();
        return;
    }
    if (B->GetNoDimensions() > 2) throw CAssignHasMoreRHSDimsThanSubsExcpetion();
    const bool rowColon = I->IsColon();
    const bool columnColon = J->IsColon();
    if (rowColon && columnColon) {
        AssignAllColons(A, B);
        return;
    }

    // A colon stands for A's rows or columns; but an array without elements
    // has no extent for a single colon to stand for, so there it stands for
    // B's, and A grows to take B (keeping its other extent).
    const bool extentOfB = A->GetNoElems() == 0;
    const unsigned int *dimsB = B->GetDimensions();
    const std::uint32_t height = extentOfB ? dimsB[0] : A->GetDimensions()[0];
    const std::uint32_t width = extentOfB ? dimsB[1] : End(A, 2, 2);
    // An empty B writes nothing, so only the extents of its colons count.
    const bool writes = B->GetNoElems() > 0;
    PositionList rows, columns;
    const std::uint32_t r = BlockPositions(I, height, rows, writes);
    const std::uint32_t c = BlockPositions(J, width, columns, writes);
    ArrayHolder alias;
    B = Unaliased(A, B, alias);
    AssignBlock(A, rows, columns, r, c, B);
}

void Indexassign(CMatrix *&A, const std::vector<const CMatrix *> &S, const CMatrix *B) {
    const std::size_t n = S.size();
    if (n == 0) throw CFunctionErrorException(L"Indexassign: no subscript given");
    if (n == 1) {
        Indexassign(A, S[0], B);
        return;
    }
    if (n == 2) {
        Indexassign(A, S[0], S[1], B);
        return;
    }
    // A real scalar into one element of a numeric array of its class, no
    // growth: the write the general path makes, without its lists (the
    // common A(i,j,k) = x of a loop). B is read before A is unshared, so B
    // may be A itself.
    std::size_t offset;
    if (B->IsScalar() && !B->IsComplex() && B->GetClassID() == A->GetClassID() &&
        SingleElementOffset(A, S, offset)) {
        const std::size_t size = A->GetElementSize();
        unsigned char value[8];
        std::memcpy(value, B->GetPr(), size);
        A->GetOwnCopy();
        std::memcpy(static_cast<char *>(A->GetPr()) + offset * size, value, size);
        return;
    }

    ReportingMemoryFailures([&] { IndexassignMany(A, S, B); });
}

}  // namespace matrix
}  // namespace kiv
