// tests/index/indexdelete_test.cpp: indexed deletion of elements, rows and columns.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

using Deletion = std::function<void(CMatrix *&)>;
// The forms deleting with subscript S: elements ('e'), rows ('r') or
// columns ('c'), each of the last two also with two subscripts.
std::vector<Deletion> Forms(char form, const CMatrix *S) {
    if (form == 'r') {
        return {[=](CMatrix *&a) { IndexdeleteRow(a, S); },
                [=](CMatrix *&a) { Indexdelete(a, S, Colon().get()); }};
    }
    if (form == 'c') {
        return {[=](CMatrix *&a) { IndexdeleteColumn(a, S); },
                [=](CMatrix *&a) { Indexdelete(a, Colon().get(), S); }};
    }
    return {[=](CMatrix *&a) { Indexdelete(a, S); }};
}

// Every branch of the shape rule, through each form, with the positions
// kept. Elements move by their size, in both parts; the class is kept, the
// logical flag dropped; the old array is released, not overwritten, so a
// sharer keeps its data.
TEST(Indexdelete, ShapesAndPositionsKept) {
    const struct {
        DimList a;
        char form;
        ArrayPtr s;
        DimList expected;
        ValueList kept;
    } cases[] = {
        // Elements: a two-dimensional column stays a column, anything else becomes a row.
        {{1, 5}, 'e', Row({4, 2, 4}), {1, 3}, {1, 3, 5}},  // repeated, unordered
        {{1, 5}, 'e', Row({1.6, 4.5}), {1, 3}, {1, 3, 4}},
        {{1, 5}, 'e', Row({1, 2, 3, 4, 5}), {1, 0}, {}},
        {{5, 1}, 'e', Row({1, 5}), {3, 1}, {2, 3, 4}},
        {{2, 1, 2}, 'e', Row({4, 1}), {1, 2}, {2, 3}},
        {{1, 3}, 'e', Mask({0, 1, 0, 0, 0}), {1, 2}, {1, 3}},    // longer than A, false tail
        {{1, 4}, 'e', Mask({NAN, -0.0, 0, 1}), {1, 2}, {2, 3}},  // NaN true, -0 false
        // Rows and columns, the later dimensions folded into the columns.
        {{3, 4}, 'c', Row({2, 4}), {3, 2}, {1, 2, 3, 7, 8, 9}},
        {{3, 4}, 'r', Row({1, 3}), {1, 4}, {2, 5, 8, 11}},
        {{2, 2, 2}, 'c', Row({3}), {2, 3}, {1, 2, 3, 4, 7, 8}},
        {{2, 2, 2}, 'r', Row({1}), {1, 4}, {2, 4, 6, 8}},
        {{3, 4}, 'r', U32({0, 1, 0, 0}, true), {2, 4}, {1, 3, 4, 6, 7, 9, 10, 12}},  // longer mask
        {{3, 4}, 'c', Mask({1, 0, 0, 1}), {3, 2}, {4, 5, 6, 7, 8, 9}}};
    for (const auto &c : cases) {
        for (mxClassID id : {mxClassInt16, mxClassDouble}) {
            for (const Deletion &deletion : Forms(c.form, c.s.get())) {
                ArrayPtr A = Array(c.a, id, mxComplexityComplex);
                const std::vector<unsigned char> re = FillBytes(A.get());
                std::reverse_copy(re.begin(), re.end(), static_cast<unsigned char *>(A->GetPi()));
                A->SetLogical();
                ArrayPtr sharer(A->CreateShareArray());
                const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
                Apply(A, deletion);
                EXPECT_EQ(Dims(A.get()), c.expected) << id << ' ' << c.form << c.kept.size();
                for (bool imag : {false, true}) {
                    const auto kept =
                        Picked(Bytes(sharer.get(), imag), A->GetElementSize(), c.kept);
                    EXPECT_EQ(Bytes(A.get(), imag), kept) << id << ' ' << c.form << c.kept.size();
                }
                EXPECT_TRUE(A->GetClassID() == id && A->GetFlags() == 0u);
                EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
            }
        }
    }
}

// An empty subscript, or a mask without a true element, leaves A as it
// was: the same array, not a copy. A colon empties A: a 0x0 real double
// whatever A was; a 0x0 A is kept.
TEST(Indexdelete, NothingToDeleteAndColonEmpties) {
    const ArrayPtr subscripts[] = {Mask({0, -0.0, 0, 0, 0, 0, 0}), Colon()};
    for (const ArrayPtr &S : subscripts) {
        for (char form : {'e', 'r', 'c'}) {
            for (const Deletion &deletion : Forms(form, S.get())) {
                ArrayPtr A = Array({2, 3, 2}, mxClassInt16, mxComplexityComplex);
                ArrayPtr E = Array({0, 0}, mxClassInt8);
                FillBytes(A.get());
                A->SetLogical();
                const CMatrix *same = A.get(), *kept = E.get();
                const ArraySnapshot before = ArraySnapshot::Of(A.get());
                Apply(A, deletion);
                Apply(E, deletion);
                EXPECT_TRUE(S->IsColon()
                                ? SameArray(A.get(), Array({0, 0}).get()) && A->GetFlags() == 0u
                                : A.get() == same && ArraySnapshot::Of(A.get()) == before);
                EXPECT_TRUE(E.get() == kept && E->IsInt8());
            }
        }
    }
}

// The kept slots of a cell array are arrays of their own sharing the
// elements' data; the deleted elements go with the old array, unless
// another holder of the old slots keeps them.
TEST(Indexdelete, CellSlotsOwnTheirShares) {
    const LiveBlocks blocks;
    {
        ArrayPtr A(mxCreateCellMatrix(2, 2)), one = Row({1});
        for (unsigned int k = 0; k < 3; ++k) mxSetCell(A.get(), k, Scalar(k + 1.0));
        const CMatrix *kept = mxGetCell(A.get(), 2);
        ArrayPtr other(A->CreateShareArray());
        Apply(A, Forms('r', one.get())[0]);  // slots 2 and 4 are left
        EXPECT_EQ(mxGetCell(other.get(), 2), kept);
        EXPECT_EQ(mxGetCell(A.get(), 0)->GetPr(), mxGetCell(other.get(), 1)->GetPr());
        other.reset();
        EXPECT_TRUE(Slot(A.get(), 0) == 2 && mxGetCell(A.get(), 1) == nullptr);
        Apply(A, Forms('c', one.get())[0]);
        EXPECT_TRUE(Dims(A.get()) == (DimList{1, 1}) && mxGetCell(A.get(), 0) == nullptr);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

}  // namespace
