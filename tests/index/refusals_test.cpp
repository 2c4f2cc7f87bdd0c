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

// Runs an operation on target A: 'r' reference, 'a' assignment, 'e'
// deletion of elements (or with two subscripts), 'R' of rows, 'C' of
// columns, 'i' the index (or, given J, the logical) iterator; J and B are
// null when absent.
using Op = char;
void Perform(Op op, CMatrix *&a, const CMatrix *i, const CMatrix *j, const CMatrix *b) {
    if (op == 'r') ArrayPtr(j ? Indexref(a, i, j) : Indexref(a, i));
    if (op == 'a') j ? Indexassign(a, i, j, b) : Indexassign(a, i, b);
    if (op == 'e') j ? Indexdelete(a, i, j) : Indexdelete(a, i);
    if (op == 'R') IndexdeleteRow(a, i);
    if (op == 'C') IndexdeleteColumn(a, i);
    if (op == 'i') j ? void(CMatrixLogicalIterator{i}) : void(CMatrixIndexIterator{i});
}
const Op kRef = 'r', kAssign = 'a', kDelete = 'e', kDeleteRows = 'R', kDeleteColumns = 'C';
const Op kIterators = 'i';

ArrayPtr Flagged(ArrayPtr a) {
    a->SetLogical();
    return a;
}

// The rows of one refusal table. Each works on a target of its own with a
// sharer (so that a write would have to unshare first); the target, its
// sharer and every argument must stay as they were.
class Table {
public:
    void Add(const Expected &e, Op op, ArrayPtr a, ArrayPtr i, ArrayPtr j, ArrayPtr b = nullptr) {
        ArrayPtr *target = &m_targets.emplace_back(std::move(a));
        const CMatrix *sharer = Keep(ArrayPtr((*target)->CreateShareArray()));
        const CMatrix *ip = Keep(std::move(i)), *jp = Keep(std::move(j)), *bp = Keep(std::move(b));
        const auto call = [=] { Apply(*target, [&](CMatrix *&t) { Perform(op, t, ip, jp, bp); }); };
        rows.push_back(
            {"row " + std::to_string(rows.size()), call, e, {target->get(), sharer, ip, jp, bp}});
    }
    std::vector<Refusal> rows;

private:
    const CMatrix *Keep(ArrayPtr a) { return m_kept.emplace_back(std::move(a)).get(); }
    std::vector<ArrayPtr> m_kept;
    std::deque<ArrayPtr> m_targets;  // stable addresses for the calls
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
    // Reference into a 2x1x2 A (2 rows, 2 folded columns, 4 elements).
    const auto ref = [&](const Expected &e, ArrayPtr i, ArrayPtr j = nullptr) {
        t.Add(e, kRef, Counted({2, 1, 2}), std::move(i), std::move(j));
    };
    const auto assign = [&](const Expected &e, ArrayPtr a, ArrayPtr i, ArrayPtr j, ArrayPtr b) {
        t.Add(e, kAssign, std::move(a), std::move(i), std::move(j), std::move(b));
    };
    // Deletion from a complex 1x5 A.
    const auto erase = [&](const Expected &e, Op op, ArrayPtr i, ArrayPtr j = nullptr) {
        t.Add(e, op, Counted({1, 5}, 1, mxComplexityComplex), std::move(i), std::move(j));
    };

    // The iterators read double and uint32 only.
    t.Add(other, kIterators, Row({1}), Zeroed({1, 2}, mxClassInt32), nullptr);
    t.Add(other, kIterators, Row({1}), Zeroed({1, 2}, mxClassInt32), Row({1}));

    // Reference: the first offender in storage order decides, judged by
    // value, not by the position it would wrap to; the row subscript before
    // the column subscript.
    for (const ValueList &v : {ValueList{-3}, {0.49}, {-0.5}, {NAN}, {2, 0, 9}}) ref(zero, Row(v));
    for (const ValueList &v : {ValueList{4.5}, {9, 0}, {0x1p32 + 1}}) ref(beyond, Row(v));
    ref(zero, U32({0}));
    ref(beyond, U32({9, 0}));
    ref(beyond, Mask({0, 0, 0, 0, 1}));
    // One-subscript masks are read in class double only, even all false.
    ref(other, U32({0}, true));
    ref(other, Zeroed({1, 0}, mxClassUint8));
    // Two subscripts, against 2 rows and 2 folded columns.
    ref(beyond, Row({3}), Row({0}));  // the row subscript first
    ref(zero, Row({0}), Row({3}));
    ref(zero, Row({1, 2}), Row({2, NAN}));
    ref(beyond, Row({2, 9, 0}), Row({1}));
    ref(beyond, Mask({0, 0, 1}), Colon());
    ref(other, Row({1}), Flagged(Zeroed({1, 1}, mxClassSingle)));
    ref(beyond, Row({3}), Zeroed({1, 1}, mxClassInt32));  // the row error first
    // An empty subscript: the other one is only counted, a mask in class double.
    ref(beyond, Array({1, 0}), Row({3}));
    ref(zero, Row({0}), Array({1, 0}));
    ref(other, Array({1, 0}), U32({1}, true));

    // Assignment: bad subscripts first, each of which would grow or write
    // the target if taken as the position it wraps to.
    for (const ValueList &v : {ValueList{-3}, {0.49}, {NAN}, {9, 2, 0}, {0, 0x1p32}}) {
        assign(zero, Counted({1, 3}), Row(v), nullptr, Row({5}));
        assign(zero, Counted({1, 3}), Row(v), nullptr, Array({1, 7}, mxClassInt8));
        assign(zero, Counted({1, 3}), Row(v), Row({1}), Row({5}));
        assign(zero, Counted({1, 3}), Colon(), Row(v), Row({5}));
    }
    assign(zero, Counted({1, 3}), U32({7, 0}), nullptr, Row({5}));
    // 2^32 - 1 passes the index test and fails the growth, whose byte size
    // does not fit in 32 bits.
    for (double x : {4294967295.5, double(INFINITY), 4294967295.0}) {
        assign(memory, Counted({1, 3}), Row({2, x}), nullptr, Row({5}));
        assign(memory, Counted({1, 3}), Row({1}), Row({2, x}), Row({5}));
    }
    assign(memory, Counted({1, 3}), Row({0x1p32, 0}), nullptr, Row({5}));
    assign(other, Counted({2, 2}), Zeroed({1, 1}, mxClassInt32), nullptr, Row({5}));
    assign(other, Counted({2, 2}), Row({1}), Zeroed({1, 1}, mxClassSingle), Row({5}));
    // A(I) = B: empty I, then the count before the class; a 1x1 cell is no scalar.
    assign(aib, Counted({1, 3}), Array({0, 0}), nullptr, Row({1, 2}));
    assign(aib, Counted({1, 3}), Row({1, 2}), nullptr, Row({5, 6, 7}));
    assign(aib, Cells(1, 3), Row({1, 2}), nullptr, Cells(1, 1));
    // Linear growth of anything but a vector or an empty array of at most one row.
    assign(resize, Counted({2, 2}), Row({9}), nullptr, Row({5, 6}));
    assign(resize, Array({2, 0}), Row({9}), nullptr, Row({5, 6}));
    // A(:) = B: counts compared unless B is a double scalar, which needs a double A.
    assign(acolonb, Counted({2, 3}), Colon(), nullptr, Counted({5, 1}));
    assign(acolonb, Counted({2, 3}), Colon(), nullptr, Zeroed({1, 1}, mxClassInt32));
    assign(other, Counted({2, 3}), Colon(), Colon(), Zeroed({1, 1}, mxClassInt32));
    assign(other, Zeroed({2, 2}, mxClassInt32), Colon(), nullptr, Row({5}));
    assign(acolonb, Counted({2, 3}), Colon(), Colon(), Counted({3, 2}));
    // A(I,J) = B: both subscripts empty, even for a 3-d B; a 3-d B before the
    // subscripts are read; B's rows, then columns; the class before the shape.
    assign(ammb, Counted({2, 2}), Array({0, 0}), Array({0, 0}), Row({1, 2}));
    assign(ammb, Counted({2, 2}), Array({0, 0}), Array({0, 0}), Counted({1, 1, 2}));
    assign(moreDims, Counted({2, 2}), Row({0}), Colon(), Counted({2, 1, 2}));
    assign(moreDims, Counted({2, 2}), Colon(), Colon(), Counted({2, 1, 2}));
    assign(ammb, Counted({2, 2}), Colon(), Row({1}), Col({1, 2, 3}));
    assign(ammb, Counted({2, 2}), Row({1}), Colon(), Col({1, 2}));
    assign(other, Counted({2, 2}), Row({1}), Row({1}), Array({1, 3}, mxClassInt32));

    // Deletion: positions outside 1..extent, whatever the reason, are
    // "exceeds": zero, negative, NaN, and values that would wrap onto a
    // valid position.
    for (const ValueList &v : {ValueList{0}, {-1}, {0.49}, {NAN}, {0x1p32 + 1}, {1, 2, 6, 3}}) {
        erase(beyond, kDelete, Row(v));
    }
    erase(beyond, kDelete, Mask({0, 0, 0, 0, 0, 1}));
    erase(beyond, kDelete, U32({6}));
    for (const ValueList &v : {ValueList{0}, {NAN}, {2, 6}, {0x1p32 + 2}}) {
        erase(beyond, kDeleteColumns, Row(v));
        erase(beyond, kDelete, Colon(), Row(v));
    }
    erase(beyond, kDeleteRows, Row({2}));
    erase(beyond, kDelete, Mask({0, 1}), Colon());
    for (Op op : {kDelete, kDeleteRows, kDeleteColumns})
        erase(other, op, Zeroed({1, 2}, mxClassInt32));
    // Two subscripts need a colon, even when one of them is empty.
    erase(colon, kDelete, Row({1}), Row({1}));
    erase(colon, kDelete, Array({1, 0}), Row({1}));
    ExpectRefusals(t.rows);
}

// Every allocation failing in turn, on every path. A failed reference or
// deletion leaves A the same, unchanged array. A failed assignment too,
// where a sharer makes the write unshare first (not for cells, whose
// unsharing gives the slots new owners); elsewhere (`fresh`) it may leave A
// grown, folded, unshared or complex, so those rows work on a fresh copy.
TEST(Index, AllocationFailures) {
    std::vector<ArrayPtr> kept;
    std::deque<ArrayPtr> targets;  // stable addresses for the calls
    const auto keep = [&](ArrayPtr a) -> CMatrix * {
        return kept.emplace_back(std::move(a)).get();
    };
    std::vector<FailureCase> table;
    const auto add = [&](Op op, const CMatrix *a, const CMatrix *i, const CMatrix *j,
                         const CMatrix *b, bool fresh = false) {
        const auto run = [=](CMatrix *&t) { Perform(op, t, i, j, b); };
        const std::string what = "row " + std::to_string(table.size());
        if (fresh) {
            table.push_back({what,
                             InPlace([=] {
                                 ArrayPtr t(a->CreateDuplicateArray()), s(t->CreateShareArray());
                                 Apply(t, run);
                             }),
                             {a, i, j, b}});
            return;
        }
        ArrayPtr *t = &targets.emplace_back(a->CreateDuplicateArray());
        const CMatrix *sharer = a->IsCell() ? nullptr : keep(ArrayPtr((*t)->CreateShareArray()));
        table.push_back({what, InPlace([=] { Apply(*t, run); }), {t->get(), sharer, i, j, b}});
    };
    CMatrix *cells = keep(Cells(3, 3)), *complex = keep(Counted({3, 3}, 1, mxComplexityComplex));
    mxSetCell(cells, 4, nullptr);
    const CMatrix *I = keep(Row({3, 1, 3})), *mask = keep(Mask({0, 1, 1})), *colon = keep(Colon());
    for (const CMatrix *a : {cells, complex}) {
        const CMatrix *three = keep(a == cells ? Cells(1, 3) : Row({9, 8, 7}));
        const CMatrix *block = keep(a == cells ? Cells(3, 3) : Counted({3, 3}));
        const CMatrix *one = keep(a == cells ? Cells(1, 1) : Complex(1, 1, {1}, {2}));
        for (const CMatrix *s : {I, mask, colon}) add(kRef, a, s, nullptr, nullptr);
        add(kRef, a, I, mask, nullptr);
        add(kDelete, a, I, nullptr, nullptr);
        add(kDeleteRows, a, mask, nullptr, nullptr);
        add(kDeleteColumns, a, I, nullptr, nullptr);
        add(kDelete, a, colon, nullptr, nullptr);
        add(kAssign, a, I, nullptr, three);
        add(kAssign, a, colon, I, block);
        add(kAssign, a, keep(Row({4})), keep(Row({1})), one, true);
    }
    const CMatrix *nine = keep(Row({9}));
    add(kAssign, complex, colon, nullptr, keep(Counted({9, 1})));
    add(kAssign, complex, colon, colon, nine);
    add(kAssign, keep(Counted({1, 3})), keep(Row({7})), nullptr, nine);
    add(kAssign, keep(Counted({2, 2, 2})), keep(Row({3})), keep(Row({1})), nine, true);
    add(kAssign, keep(Counted({2, 3})), colon, nullptr, keep(Complex(1, 1, {1}, {2})), true);
    add(kAssign, keep(ArrayPtr(mxCreateCellMatrix(0, 0))), I, nullptr, keep(Cells(1, 3)), true);
    ExpectFailurePoints(table);
}

}  // namespace
