// tests/index/indexdelete_test.cpp: tests of indexed deletion of elements, rows and columns.
#include <cmath>
#include <random>
#include <set>
#include <tuple>

#include "index_test.h"

namespace {

using namespace index_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using matrix_test::ArraySnapshot;

using Deletion = std::function<void(CMatrix *&)>;
Deletion Elements(const CMatrix *I) {
    return [I](CMatrix *&a) { Indexdelete(a, I); };
}
Deletion Rows(const CMatrix *I) {
    return [I](CMatrix *&a) { IndexdeleteRow(a, I); };
}
Deletion Columns(const CMatrix *J) {
    return [J](CMatrix *&a) { IndexdeleteColumn(a, J); };
}
Deletion Both(const CMatrix *I, const CMatrix *J) {
    return [I, J](CMatrix *&a) { Indexdelete(a, I, J); };
}

// Every branch of the shape rule, through each form, and the values of
// Seq(a, complex) left, in storage order.
TEST(Indexdelete, ShapesAndValues) {
    ArrayPtr colon = Colon();
    const struct {
        DimList a;
        char form;  // elements, rows or columns
        ArrayPtr s;
        DimList expected;
        ValueList kept;
    } cases[] = {
        // Elements: a two-dimensional column stays a column, anything else becomes a row.
        {{1, 5}, 'e', Row({4, 2, 4}), {1, 3}, {1, 3, 5}},  // repeated, unordered
        {{1, 5}, 'e', Row({5, 1}), {1, 3}, {2, 3, 4}},     // both ends
        {{1, 5}, 'e', Row({1.6, 4.5}), {1, 3}, {1, 3, 4}},
        {{1, 5}, 'e', Row({1, 2, 3, 4, 5}), {1, 0}, {}},
        {{5, 1}, 'e', Row({1, 5}), {3, 1}, {2, 3, 4}},
        {{5, 1}, 'e', Row({5, 4, 3, 2, 1}), {0, 1}, {}},
        {{1, 1}, 'e', Row({1}), {0, 1}, {}},
        {{2, 3}, 'e', Row({2}), {1, 5}, {1, 3, 4, 5, 6}},
        {{2, 2, 2}, 'e', Row({8, 1}), {1, 6}, {2, 3, 4, 5, 6, 7}},
        {{1, 5}, 'e', U32({5, 2, 5}), {1, 3}, {1, 3, 4}},
        {{3, 1}, 'e', Mask({1, 0, 1}), {1, 1}, {2}},
        {{1, 3}, 'e', Mask({0, 1, 0, 0, 0}), {1, 2}, {1, 3}},    // longer than A, false tail
        {{1, 4}, 'e', Mask({NAN, -0.0, 0, 1}), {1, 2}, {2, 3}},  // NaN true, -0 false
        {{1, 4}, 'e', U32({0, 1, 0, 1}, true), {1, 2}, {1, 3}},
        // Rows and columns, the later dimensions folded into the columns.
        {{3, 4}, 'c', Row({2, 4}), {3, 2}, {1, 2, 3, 7, 8, 9}},
        {{3, 4}, 'r', Row({1, 3}), {1, 4}, {2, 5, 8, 11}},
        {{3, 4}, 'c', Row({1, 1, 4}), {3, 2}, {4, 5, 6, 7, 8, 9}},
        {{3, 4}, 'c', Row({1, 2, 3, 4}), {3, 0}, {}},
        {{3, 4}, 'r', Row({3, 2, 1}), {0, 4}, {}},
        {{2, 2, 2}, 'c', Row({3}), {2, 3}, {1, 2, 3, 4, 7, 8}},
        {{2, 2, 2}, 'r', Row({1}), {1, 4}, {2, 4, 6, 8}},
        {{1, 5}, 'c', Row({2.5}), {1, 4}, {1, 2, 4, 5}},
        {{5, 1}, 'r', Row({1, 5}), {3, 1}, {2, 3, 4}},
        {{3, 4}, 'r', U32({0, 1, 0, 0}, true), {2, 4}, {1, 3, 4, 6, 7, 9, 10, 12}},  // longer mask
        {{3, 4}, 'c', Mask({1, 0, 0, 1}), {3, 2}, {4, 5, 6, 7, 8, 9}},
    };
    for (const auto &c : cases) {
        const CMatrix *S = c.s.get();
        std::vector<Deletion> forms{Elements(S)};
        if (c.form == 'r') forms = {Rows(S), Both(S, colon.get())};
        if (c.form == 'c') forms = {Columns(S), Both(colon.get(), S)};
        ValueList imag;
        for (double x : c.kept) imag.push_back(-x / 4);
        for (const Deletion &deletion : forms) {
            ArrayPtr A = Seq(c.a, mxComplexityComplex);
            Apply(A, deletion);
            EXPECT_EQ(Dims(A.get()), c.expected);
            EXPECT_EQ(Values(A.get()), c.kept);
            EXPECT_EQ(ImagValues(A.get()), imag);
        }
    }
}

// Random positions, rows and columns against plain loops over what is kept.
TEST(Indexdelete, MatchesPlainLoop) {
    std::mt19937 rng(17);
    for (int trial = 0; trial < 150; ++trial) {
        const int form = trial % 3;  // elements, rows, columns
        const unsigned int m = 1 + rng() % (form == 0 ? 300 : 9),
                           n = 1 + rng() % (form == 0 ? 2 : 9);
        const unsigned int extent = form == 0 ? m * n : form == 1 ? m : n;
        ArrayPtr S = Array({1, static_cast<unsigned int>(1 + rng() % extent)}, mxClassUint32);
        std::set<unsigned int> deleted;
        for (unsigned int k = 0; k < S->GetNoElems(); ++k) {
            deleted.insert(static_cast<std::uint32_t *>(S->GetPr())[k] = 1 + rng() % extent);
        }
        ValueList kept;
        for (unsigned int j = 1; j <= n; ++j) {
            for (unsigned int i = 1; i <= m; ++i) {
                const unsigned int p = form == 0 ? i + (j - 1) * m : form == 1 ? i : j;
                if (deleted.count(p) == 0) kept.push_back(i + (j - 1.0) * m);
            }
        }
        ArrayPtr A = Seq({m, n});
        Apply(A, form == 0 ? Elements(S.get()) : form == 1 ? Rows(S.get()) : Columns(S.get()));
        EXPECT_EQ(Values(A.get()), kept);
        const auto k = static_cast<unsigned int>(deleted.size());
        if (form != 0) {
            EXPECT_EQ(Dims(A.get()), (form == 1 ? DimList{m - k, n} : DimList{m, n - k}));
        }
    }
}

// An empty subscript, or a mask without a true element, leaves A as it
// was: the same array, not a copy.
TEST(Indexdelete, NothingToDeleteLeavesTheSameArray) {
    ArrayPtr empty = Array({1, 0}), emptyInt = Array({0, 0}, mxClassInt32);
    ArrayPtr allFalse = Mask({0, -0.0, 0, 0, 0, 0, 0}), emptyMask = Mask({});
    ArrayPtr A = Seq({2, 3}, mxComplexityComplex);
    const ArraySnapshot before = ArraySnapshot::Of(A.get());
    for (const CMatrix *I : {empty.get(), emptyInt.get(), allFalse.get(), emptyMask.get()}) {
        const CMatrix *same = A.get();
        const LiveBlocks blocks;
        for (const Deletion &deletion : {Elements(I), Rows(I), Columns(I)}) Apply(A, deletion);
        EXPECT_EQ(A.get(), same);
        EXPECT_TRUE(ArraySnapshot::Of(A.get()) == before);
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

// A colon empties A: a 0x0 real double whatever A was; a 0x0 A is kept.
TEST(Indexdelete, ColonEmpties) {
    ArrayPtr colon = Colon();
    for (const Deletion &deletion : {Elements(colon.get()), Rows(colon.get()), Columns(colon.get()),
                                     Both(colon.get(), colon.get())}) {
        ArrayPtr A = Array({2, 3, 2}, mxClassInt16, mxComplexityComplex);
        A->SetLogical();
        Apply(A, deletion);
        EXPECT_TRUE(SameArray(A.get(), Array({0, 0}).get()));
        EXPECT_EQ(A->GetFlags(), 0u);
        ArrayPtr E = Array({0, 0}, mxClassInt8);
        const CMatrix *same = E.get();
        Apply(E, deletion);
        EXPECT_EQ(E.get(), same);
        EXPECT_TRUE(E->IsInt8());
    }
}

// Positions outside 1..extent, whatever the reason, are "exceeds": zero,
// negative, NaN, and values that would wrap onto a valid position.
TEST(Indexdelete, Refusals) {
    std::vector<std::tuple<Error, char, ArrayPtr, ArrayPtr>>
        cases;  // elements, rows, columns or both
    auto add = [&](const Error &e, char form, ArrayPtr i, ArrayPtr j) {
        cases.emplace_back(e, form, std::move(i), std::move(j));
    };
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
        add(kBeyond, 'e', Row(v), nullptr);
    }
    add(kBeyond, 'e', Mask({0, 0, 0, 0, 0, 1}), nullptr);
    add(kBeyond, 'e', U32({0}), nullptr);
    add(kBeyond, 'e', U32({6}), nullptr);
    // Against 1 row and 5 columns.
    for (const ValueList &v : {ValueList{0}, {6}, {-1}, {NAN}, {2, 6}, {0x1p32 + 2}}) {
        add(kBeyond, 'c', Row(v), nullptr);
        add(kBeyond, 'b', Colon(), Row(v));
    }
    for (char form : {'r', 'b'}) {
        add(kBeyond, form, Row({2}), form == 'b' ? Colon() : nullptr);
        add(kBeyond, form, Mask({0, 1}), form == 'b' ? Colon() : nullptr);
    }
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassUint8}) {
        for (char form : {'e', 'r', 'c'}) {
            add(kClass, form, Zeroed({1, 2}, id), nullptr);
            add(kClass, form, Logical(Zeroed({1, 2}, id)), nullptr);
        }
    }
    // Two subscripts need a colon, even when one of them is empty.
    add(kNeedColon, 'b', Row({1}), Row({1}));
    add(kNeedColon, 'b', Array({1, 0}), Row({1}));
    add(kNeedColon, 'b', Row({1}), Array({1, 0}));
    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(k);
        const CMatrix *i = std::get<2>(cases[k]).get(), *j = std::get<3>(cases[k]).get();
        const char form = std::get<1>(cases[k]);
        ArrayPtr A = Seq({1, 5}, mxComplexityComplex);
        ExpectRefused(std::get<0>(cases[k]), A,
                      form == 'e'   ? Elements(i)
                      : form == 'r' ? Rows(i)
                      : form == 'c' ? Columns(i)
                                    : Both(i, j),
                      {i, j});
    }
}

// Every class moves by its element size on each form, keeps its class and
// loses the logical flag.
TEST(Indexdelete, EveryClassKeepsBytesAndDropsLogical) {
    ArrayPtr two = Row({2}), first = Row({1});
    const std::pair<Deletion, std::vector<unsigned int>> cases[] = {
        {Elements(two.get()), {1, 3, 4, 5, 6}},
        {Rows(first.get()), {2, 4, 6}},
        {Columns(two.get()), {1, 2, 5, 6}}};
    for (mxClassID id : kEveryClass) {
        for (const auto &c : cases) {
            ArrayPtr A = Array({2, 3}, id);
            const std::vector<unsigned char> original = FillBytes(A.get());
            A->SetLogical();
            Apply(A, c.first);
            EXPECT_EQ(Bytes(A.get()), Picked(original, A->GetElementSize(), c.second))
                << "class " << id;
            EXPECT_EQ(A->GetClassID(), id);
            EXPECT_EQ(A->GetFlags(), 0u);
        }
    }
}

// The old array is released, not overwritten: another holder of its data
// keeps it.
TEST(Indexdelete, OtherHoldersKeepTheData) {
    ArrayPtr A = Seq({2, 3}, mxComplexityComplex), one = Row({1});
    ArrayPtr B(A->CreateShareArray());
    const ArraySnapshot before = ArraySnapshot::Of(B.get());
    for (const Deletion &deletion : {Columns(one.get()), Rows(one.get()), Elements(one.get())})
        Apply(A, deletion);
    EXPECT_EQ(Values(A.get()), (ValueList{6}));
    EXPECT_TRUE(ArraySnapshot::Of(B.get()) == before);
}

// The kept slots of a cell array are arrays of their own sharing the
// elements' data; the deleted elements go with the old array, unless
// another holder of the old slots keeps them.
TEST(Indexdelete, CellSlotsOwnTheirShares) {
    for (bool shared : {false, true}) {
        const LiveBlocks blocks;
        {
            ArrayPtr A(mxCreateCellMatrix(2, 2)), one = Row({1});
            for (unsigned int k = 0; k < 3; ++k) mxSetCell(A.get(), k, Scalar(k + 1.0));
            const CMatrix *kept = mxGetCell(A.get(), 2);
            ArrayPtr other(shared ? A->CreateShareArray() : nullptr);
            Apply(A, Rows(one.get()));  // slots 2 and 4 are left
            ASSERT_EQ(Dims(A.get()), (DimList{1, 2}));
            EXPECT_EQ(Slot(A.get(), 0), 2);
            EXPECT_EQ(mxGetCell(A.get(), 1), nullptr);
            if (shared) {
                EXPECT_EQ(mxGetCell(other.get(), 2), kept);
                EXPECT_EQ(mxGetCell(A.get(), 0)->GetPr(), mxGetCell(other.get(), 1)->GetPr());
                other.reset();
            }
            Apply(A, Columns(one.get()));
            EXPECT_EQ(Dims(A.get()), (DimList{1, 1}));
            EXPECT_EQ(mxGetCell(A.get(), 0), nullptr);
        }
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

// Every allocation failing in turn: A is the same, unchanged array and
// nothing leaks, also when a cell slot's share fails.
TEST(Indexdelete, AllocationFailuresLeaveAUnchanged) {
    ArrayPtr I = Row({3, 2}), mask = Mask({0, 1}), colon = Colon();
    for (bool cellArray : {true, false}) {
        for (const Deletion &deletion : {Elements(I.get()), Elements(mask.get()), Rows(I.get()),
                                         Columns(mask.get()), Elements(colon.get())}) {
            ArrayPtr A =
                cellArray ? ArrayPtr(mxCreateCellMatrix(3, 3)) : Seq({3, 3}, mxComplexityComplex);
            for (unsigned int k = 0; cellArray && k < 9; k += 2)
                mxSetCell(A.get(), k, Scalar(k + 1.0));
            const CMatrix *same = A.get();
            const ArraySnapshot before = ArraySnapshot::Of(same);
            EXPECT_GT(matrix_test::ForEachAllocationFailure(
                          [&] { Apply(A, deletion); },
                          [&] {
                              EXPECT_EQ(A.get(), same);
                              EXPECT_TRUE(ArraySnapshot::Of(A.get()) == before);
                          }),
                      0);
            EXPECT_NE(A.get(), same);  // the run without a failure replaced A
        }
    }
}

}  // namespace
