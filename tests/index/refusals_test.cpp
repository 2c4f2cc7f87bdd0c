// tests/index/refusals_test.cpp: every refusal of indexed reference,
// assignment and deletion, and their failed allocations.
#include <matrix/matrix.h>

#include <cmath>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

// Builds the rows of one refusal table; it keeps every array alive.
class Table {
public:
    // Indexref(A, I) or Indexref(A, I, J) on a 2x1x2 A (2 rows, 2 folded
    // columns, 4 elements).
    void Ref(const Expected &e, ArrayPtr i, ArrayPtr j = nullptr) {
        const CMatrix *a = m_ref.get(), *ip = Keep(std::move(i)), *jp = Keep(std::move(j));
        Add("Indexref", [=] { ArrayPtr(jp ? Indexref(a, ip, jp) : Indexref(a, ip)); }, e,
            {a, ip, jp});
    }
    // A(I) = B or A(I,J) = B; the target and a sharer of it stay as they were.
    void Assign(const Expected &e, ArrayPtr a, ArrayPtr i, ArrayPtr j, ArrayPtr b) {
        ArrayPtr *target = &m_targets.emplace_back(std::move(a));
        const CMatrix *sharer = Keep(ArrayPtr((*target)->CreateShareArray()));
        const CMatrix *ip = Keep(std::move(i)), *jp = Keep(std::move(j)), *bp = Keep(std::move(b));
        const auto call = [=] {
            Apply(*target,
                  [&](CMatrix *&t) { jp ? Indexassign(t, ip, jp, bp) : Indexassign(t, ip, bp); });
        };
        Add("Indexassign", call, e, {target->get(), sharer, ip, jp, bp});
    }
    // Deletion of elements ('e'), rows ('r'), columns ('c') or with two
    // subscripts ('b') from a complex 1x5 A.
    void Delete(const Expected &e, char form, ArrayPtr i, ArrayPtr j = nullptr) {
        ArrayPtr *target = &m_targets.emplace_back(Counted({1, 5}, 1, mxComplexityComplex));
        const CMatrix *ip = Keep(std::move(i)), *jp = Keep(std::move(j));
        const auto call = [=] {
            Apply(*target, [&](CMatrix *&t) {
                if (form == 'e') Indexdelete(t, ip);
                if (form == 'r') IndexdeleteRow(t, ip);
                if (form == 'c') IndexdeleteColumn(t, ip);
                if (form == 'b') Indexdelete(t, ip, jp);
            });
        };
        Add(std::string("Indexdelete ") + form, call, e, {target->get(), ip, jp});
    }
    void Add(std::string what, std::function<void()> call, const Expected &e,
             std::vector<const CMatrix *> unchanged) {
        m_rows.push_back({what + " row " + std::to_string(m_rows.size()), std::move(call), e,
                          std::move(unchanged)});
    }
    const CMatrix *Keep(ArrayPtr a) { return m_kept.emplace_back(std::move(a)).get(); }
    const std::vector<Refusal> &Rows() const { return m_rows; }

private:
    ArrayPtr m_ref = Counted({2, 1, 2});
    std::vector<ArrayPtr> m_kept;
    std::deque<ArrayPtr> m_targets;  // stable addresses for the calls
    std::vector<Refusal> m_rows;
};

TEST(Index, Refusals) {
    const Expected zero = Expected::Throws<CIndexIntoMatrixNegativeOrZeroException>();
    const Expected beyond = Expected::Throws<CIndexExceedsMatrixDimensionsException>();
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    const Expected aib = Expected::Throws<CInAssignAIBElementsMustBeSameException>();
    const Expected acolonb = Expected::Throws<CInAssignAColonBElementsMustBeSameException>();
    const Expected ammb = Expected::Throws<CInAssignAMMBDimensionMustBeSameException>();
    const Expected resize = Expected::Throws<CInAssignAMBACantBeResizedException>();
    const Expected moreDims = Expected::Throws<CAssignHasMoreRHSDimsThanSubsExcpetion>();
    const Expected colon =
        Expected::Throws(CFunctionErrorException(L"At least one of two indices must be a colon"));
    const Expected other = NotImplemented();
    Table t;

    // The iterators read double and uint32 only.
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassChar, mxClassUint8, mxClassCell}) {
        const CMatrix *x = t.Keep(Array({1, 2}, id));
        t.Add("index iterator", [=] { CMatrixIndexIterator{x}; }, other, {x});
        t.Add("logical iterator", [=] { CMatrixLogicalIterator{x}; }, other, {x});
    }

    // Reference: the first offender in storage order decides, judged by
    // value, not by the position it would wrap to; the row subscript before
    // the column subscript.
    for (const ValueList &v :
         {ValueList{0}, {-3}, {0.49}, {-0.5}, {NAN}, {1, NAN, 9}, {2, 0, 9}, {-INFINITY}}) {
        t.Ref(zero, Row(v));
    }
    for (const ValueList &v : {ValueList{5}, {4.5}, {9, 0}, {0x1p32 + 1}, {INFINITY}}) {
        t.Ref(beyond, Row(v));
    }
    ValueList longIndex(1000, 2.0);
    longIndex[600] = 4.5, longIndex[601] = 0;
    t.Ref(beyond, Row(longIndex));
    longIndex[600] = 1e300;
    t.Ref(beyond, Row(longIndex));
    longIndex[600] = 0.49;
    t.Ref(zero, Row(longIndex));
    t.Ref(zero, U32({0}));
    t.Ref(beyond, U32({9, 0}));
    t.Ref(beyond, Mask({0, 0, 0, 0, 1}));
    // One-subscript masks are read in class double only, even all false.
    t.Ref(other, U32({1, 0}, true));
    t.Ref(other, U32({0}, true));
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassUint8, mxClassChar}) {
        ArrayPtr mask = Zeroed({1, 1}, id);
        mask->SetLogical();
        t.Ref(other, std::move(mask));
        t.Ref(other, Zeroed({1, 1}, id));
        t.Ref(other, Zeroed({1, 0}, id));
    }
    // Two subscripts, against 2 rows and 2 folded columns.
    const struct {
        ValueList i, j;
        bool zero;
    } pairs[] = {{{3}, {1}, false},      {{0}, {1}, true},           {{1}, {0}, true},
                 {{1}, {3}, false},      {{3}, {0}, false},          {{0}, {3}, true},
                 {{NAN}, {1}, true},     {{0x1p32 + 1}, {1}, false}, {{1, 2}, {2, NAN}, true},
                 {{2, 9, 0}, {1}, false}};
    for (const auto &p : pairs) t.Ref(p.zero ? zero : beyond, Row(p.i), Row(p.j));
    t.Ref(beyond, Mask({0, 0, 1}), Colon());
    t.Ref(zero, Colon(), U32({0}));
    t.Ref(beyond, Colon(), U32({0, 0, 1}, true));
    for (mxClassID id : {mxClassInt32, mxClassSingle}) {
        ArrayPtr mask = Zeroed({1, 1}, id);
        mask->SetLogical();
        t.Ref(other, Zeroed({1, 1}, id), Row({1}));
        t.Ref(other, Row({1}), std::move(mask));
    }
    t.Ref(beyond, Row({3}), Zeroed({1, 1}, mxClassInt32));  // the row error first
    // An empty subscript: the other one is only counted, a mask in class double.
    t.Ref(beyond, Array({1, 0}), Row({3}));
    t.Ref(beyond, Array({1, 0}), Mask({0, 0, 1}));
    t.Ref(beyond, Row({3}), Array({1, 0}));
    t.Ref(zero, Row({0}), Array({1, 0}));
    t.Ref(other, Array({1, 0}), U32({1}, true));
    t.Ref(other, Zeroed({1, 1}, mxClassInt32), Array({1, 0}));

    // Assignment: bad subscripts first, each of which would grow or write
    // the target if taken as the position it wraps to.
    for (const ValueList &v : {ValueList{0}, {-3}, {0.49}, {-0.5}, {NAN}, {9, 2, 0}, {0, 0x1p32}}) {
        t.Assign(zero, Counted({1, 3}), Row(v), nullptr, Row({5}));
        t.Assign(zero, Counted({1, 3}), Row(v), nullptr, Array({1, 7}, mxClassInt8));
        t.Assign(zero, Counted({1, 3}), Row(v), Row({1}), Row({5}));
        t.Assign(zero, Counted({1, 3}), Colon(), Row(v), Row({5}));
    }
    t.Assign(zero, Counted({1, 3}), U32({7, 0}), nullptr, Row({5}));
    // 2^32 - 1 passes the index test and fails the growth, whose byte size
    // does not fit in 32 bits.
    for (double x : {0x1p32, 4294967295.5, 1e300, double(INFINITY), 4294967295.0}) {
        t.Assign(memory, Counted({1, 3}), Row({2, x}), nullptr, Row({5}));
        t.Assign(memory, Counted({1, 3}), Row({1}), Row({2, x}), Row({5}));
    }
    t.Assign(memory, Counted({1, 3}), Row({0x1p32, 0}), nullptr, Row({5}));
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassChar}) {
        t.Assign(other, Counted({2, 2}), Zeroed({1, 1}, id), nullptr, Row({5}));
        t.Assign(other, Counted({2, 2}), Row({1}), Zeroed({1, 1}, id), Row({5}));
    }
    // A(I) = B: empty I, then the count before the class; a 1x1 cell is no scalar.
    t.Assign(aib, Counted({1, 3}), Array({0, 0}), nullptr, Row({1, 2}));
    t.Assign(aib, Counted({1, 3}), Row({1, 2}), nullptr, Row({5, 6, 7}));
    t.Assign(aib, Counted({1, 3}), Mask({1, 1}), nullptr, Array({1, 3}, mxClassInt32));
    t.Assign(aib, Cells(1, 3), Row({1, 2}), nullptr, Cells(1, 1));
    // Linear growth of anything but a vector or an empty array of at most one row.
    t.Assign(resize, Counted({2, 2}), Row({9}), nullptr, Row({5, 6}));
    t.Assign(resize, Counted({1, 2, 2}), Row({9}), nullptr, Row({5, 6}));
    t.Assign(resize, Array({2, 0}), Row({9}), nullptr, Row({5, 6}));
    t.Assign(resize, Cells(1, 2), Row({9}), nullptr, Row({5, 6}));
    // A(:) = B: counts compared unless B is a double scalar, which needs a double A.
    t.Assign(acolonb, Counted({2, 3}), Colon(), nullptr, Counted({5, 1}));
    t.Assign(acolonb, Counted({2, 3}), Colon(), nullptr, Zeroed({1, 1}, mxClassInt32));
    t.Assign(acolonb, Array({0, 2}), Colon(), nullptr, Row({1, 2}));
    t.Assign(other, Counted({2, 3}), Colon(), Colon(), Zeroed({1, 1}, mxClassInt32));
    for (bool two : {false, true}) {
        t.Assign(other, Zeroed({2, 2}, mxClassInt32), Colon(), two ? Colon() : nullptr, Row({5}));
        t.Assign(other, Zeroed({1, 3}, mxClassUint8), Colon(), two ? Colon() : nullptr, Row({5}));
        t.Assign(other, Cells(1, 2), Colon(), two ? Colon() : nullptr, Row({5}));
    }
    for (const auto &[a, b] : {std::make_pair(DimList{2, 3}, DimList{3, 2}),
                               std::make_pair(DimList{0, 3}, DimList{1, 2}),
                               std::make_pair(DimList{2, 3}, DimList{1, 6})}) {
        t.Assign(acolonb, Counted(a), Colon(), Colon(), Counted(b));
    }
    // A(I,J) = B: both subscripts empty, even for a 3-d B; a 3-d B before the
    // subscripts are read; B's rows, then columns; the class before the shape.
    t.Assign(ammb, Counted({2, 2}), Array({0, 0}), Array({0, 0}), Row({1, 2}));
    t.Assign(ammb, Counted({2, 2}), Array({0, 0}), Array({0, 0}), Counted({1, 1, 2}));
    t.Assign(moreDims, Counted({2, 2}), Row({0}), Colon(), Counted({2, 1, 2}));
    t.Assign(moreDims, Counted({2, 2}), Colon(), Colon(), Counted({2, 1, 2}));
    t.Assign(ammb, Counted({2, 2}), Colon(), Row({1}), Col({1, 2, 3}));
    t.Assign(ammb, Counted({2, 2}), Row({1}), Colon(), Col({1, 2}));
    t.Assign(other, Counted({2, 2}), Row({1}), Row({1}), Array({1, 3}, mxClassInt32));

    // Deletion: positions outside 1..extent, whatever the reason, are
    // "exceeds": zero, negative, NaN, and values that would wrap onto a
    // valid position.
    for (const ValueList &v : {ValueList{0},
                               {6},
                               {-1},
                               {0.49},
                               {5.5},
                               {NAN},
                               {2, 3, 0},
                               {0x1p32 + 1},
                               {-0x1p32 + 1},
                               {INFINITY},
                               {-INFINITY},
                               {1, 2, 6, 3}}) {
        t.Delete(beyond, 'e', Row(v));
    }
    t.Delete(beyond, 'e', Mask({0, 0, 0, 0, 0, 1}));
    t.Delete(beyond, 'e', U32({0}));
    t.Delete(beyond, 'e', U32({6}));
    for (const ValueList &v : {ValueList{0}, {6}, {-1}, {NAN}, {2, 6}, {0x1p32 + 2}}) {
        t.Delete(beyond, 'c', Row(v));
        t.Delete(beyond, 'b', Colon(), Row(v));
    }
    t.Delete(beyond, 'r', Row({2}));
    t.Delete(beyond, 'r', Mask({0, 1}));
    t.Delete(beyond, 'b', Row({2}), Colon());
    t.Delete(beyond, 'b', Mask({0, 1}), Colon());
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassUint8}) {
        for (char form : {'e', 'r', 'c'}) {
            ArrayPtr mask = Zeroed({1, 2}, id);
            mask->SetLogical();
            t.Delete(other, form, Zeroed({1, 2}, id));
            t.Delete(other, form, std::move(mask));
        }
    }
    // Two subscripts need a colon, even when one of them is empty.
    t.Delete(colon, 'b', Row({1}), Row({1}));
    t.Delete(colon, 'b', Array({1, 0}), Row({1}));
    t.Delete(colon, 'b', Row({1}), Array({1, 0}));
    ExpectRefusals(t.Rows());
}

// Every allocation failing in turn, on every path. A failed reference or
// deletion leaves A the same, unchanged array. A failed assignment too,
// where a sharer makes the write unshare first (not for cells, whose
// unsharing gives the slots new owners); elsewhere it may leave A grown,
// folded, unshared or complex, so those runs work on a fresh copy.
TEST(Index, AllocationFailures) {
    std::vector<ArrayPtr> kept;
    std::deque<ArrayPtr> targets;  // stable addresses for the calls
    const auto keep = [&](ArrayPtr a) -> const CMatrix * {
        return kept.emplace_back(std::move(a)).get();
    };
    std::vector<FailureCase> table;
    const CMatrix *I = keep(Row({4, 1, 4})), *rows = keep(Row({2, 1, 2})), *one = keep(Row({2}));
    const CMatrix *mask = keep(Mask({1, 0, 1, 1})), *colon = keep(Colon());
    for (const CMatrix *A : {keep(Cells(2, 2)), keep(Counted({2, 2}, 1, mxComplexityComplex))}) {
        table.push_back({"ref", [=] { return Indexref(A, I); }, {A}});
        table.push_back({"ref by mask", [=] { return Indexref(A, mask); }, {A}});
        table.push_back({"ref two", [=] { return Indexref(A, rows, one); }, {A}});
        table.push_back({"ref colon", [=] { return Indexref(A, colon); }, {A}});
        table.push_back({"ref colons", [=] { return Indexref(A, colon, colon); }, {A}});
    }
    const CMatrix *I32 = keep(Row({3, 2})), *mask01 = keep(Mask({0, 1}));
    for (bool cells : {true, false}) {
        const auto deletion = [&](const char *what, std::function<void(CMatrix *&)> erase) {
            ArrayPtr *a = &targets.emplace_back(cells ? Cells(3, 3)
                                                      : Counted({3, 3}, 1, mxComplexityComplex));
            if (cells) mxSetCell(a->get(), 4, nullptr);
            table.push_back({what, InPlace([=] { Apply(*a, erase); }), {a->get()}});
        };
        deletion("delete", [=](CMatrix *&a) { Indexdelete(a, I32); });
        deletion("delete by mask", [=](CMatrix *&a) { Indexdelete(a, mask01); });
        deletion("delete rows", [=](CMatrix *&a) { IndexdeleteRow(a, I32); });
        deletion("delete columns", [=](CMatrix *&a) { IndexdeleteColumn(a, mask01); });
        deletion("delete all", [=](CMatrix *&a) { Indexdelete(a, colon); });
    }
    const struct {
        bool unchanged;
        ArrayPtr a;
        const CMatrix *i, *j, *b;
    } assignments[] = {
        {true, Counted({2, 3}), keep(Row({2, 1})), nullptr, keep(Row({9, 8}))},
        {true, Counted({1, 3}), keep(Row({7})), nullptr, keep(Row({9}))},
        {true, Counted({2, 3}), colon, keep(Row({4})), keep(Col({9, 8}))},
        {true, Counted({2, 3}), colon, nullptr, keep(Counted({3, 2}))},
        {true, Counted({2, 3}), colon, colon, keep(Row({9}))},
        {true, Cells(1, 3), keep(Row({3, 1})), nullptr, keep(Cells(1, 2))},
        {false, Counted({1, 3}), keep(Row({5})), nullptr, keep(Complex(1, 1, {1}, {2}))},
        {false, Counted({2, 2, 2}), keep(Row({3})), keep(Row({1})), keep(Row({9}))},
        {false, Counted({2, 3}), colon, nullptr, keep(Complex(1, 1, {1}, {2}))},
        {false, ArrayPtr(mxCreateCellMatrix(0, 0)), keep(Row({5, 1})), nullptr, keep(Cells(1, 2))},
        {false, Cells(1, 3), colon, keep(Row({2, 3})), keep(Cells(1, 2))}};
    for (const auto &c : assignments) {
        const CMatrix *i = c.i, *j = c.j, *b = c.b;
        const auto assign = [=](CMatrix *&a) {
            j ? Indexassign(a, i, j, b) : Indexassign(a, i, b);
        };
        const CMatrix *original = c.a.get();
        if (c.unchanged) {
            ArrayPtr *a = &targets.emplace_back(c.a->CreateDuplicateArray());
            const CMatrix *sharer =
                a->get()->IsCell() ? nullptr : keep(ArrayPtr((*a)->CreateShareArray()));
            table.push_back({"assign", InPlace([=] { Apply(*a, assign); }), {a->get(), sharer, b}});
        } else {
            table.push_back({"assign to a copy",
                             InPlace([=] {
                                 ArrayPtr a(original->CreateDuplicateArray());
                                 ArrayPtr sharer(a->CreateShareArray());
                                 Apply(a, assign);
                             }),
                             {original, b}});
        }
    }
    ExpectFailurePoints(table);
}

}  // namespace
