// tests/index/indexdelete_test.cpp: indexed deletion of elements, rows and columns.
#include <matrix/matrix.h>

#include <cmath>
#include <functional>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

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
// Counted(a, complex) left, in storage order.
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
        {{3, 4}, 'c', Mask({1, 0, 0, 1}), {3, 2}, {4, 5, 6, 7, 8, 9}}};
    for (const auto &c : cases) {
        const CMatrix *S = c.s.get();
        std::vector<Deletion> forms{Elements(S)};
        if (c.form == 'r') forms = {Rows(S), Both(S, colon.get())};
        if (c.form == 'c') forms = {Columns(S), Both(colon.get(), S)};
        ValueList imag;
        for (double x : c.kept) imag.push_back(-x / 4);
        for (const Deletion &deletion : forms) {
            ArrayPtr A = Counted(c.a, 1, mxComplexityComplex);
            Apply(A, deletion);
            EXPECT_EQ(Dims(A.get()), c.expected);
            EXPECT_EQ(Values(A.get()), c.kept);
            EXPECT_EQ(ImagValues(A.get()), imag);
        }
    }
}

// An empty subscript, or a mask without a true element, leaves A as it
// was: the same array, not a copy.
TEST(Indexdelete, NothingToDeleteLeavesTheSameArray) {
    ArrayPtr empty = Array({1, 0}), emptyInt = Array({0, 0}, mxClassInt32);
    ArrayPtr allFalse = Mask({0, -0.0, 0, 0, 0, 0, 0}), emptyMask = Mask({});
    ArrayPtr A = Counted({2, 3}, 1, mxComplexityComplex);
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

// Every class moves by its element size on each form, keeps its class and
// loses the logical flag.
TEST(Indexdelete, EveryClassKeepsBytesAndDropsLogical) {
    ArrayPtr two = Row({2}), first = Row({1});
    const std::pair<Deletion, ValueList> cases[] = {{Elements(two.get()), {1, 3, 4, 5, 6}},
                                                    {Rows(first.get()), {2, 4, 6}},
                                                    {Columns(two.get()), {1, 2, 5, 6}}};
    for (mxClassID id : {mxClassChar, mxClassInt16, mxClassSingle, mxClassInt64, mxClassStruct}) {
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
    ArrayPtr A = Counted({2, 3}, 1, mxComplexityComplex), one = Row({1});
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

}  // namespace
