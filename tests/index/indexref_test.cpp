// tests/index/indexref_test.cpp: the subscript iterators and indexed reference A(I) and A(I,J).
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

// Doubles round half up, keep the low 32 bits of the truncated value (so
// negatives wrap), and give 0 for NaN and magnitudes of 2^63 or more;
// uint32 goes as stored. A mask element is true when not 0.
TEST(Iterators, RoundWrapAndTruth) {
    const ArrayPtr index = Row({0.5, 0.49, 2.5, -0.5, -0.6, -1, 0x1p32 + 1, NAN, 0x1p63});
    CMatrixIndexIterator it(index.get());
    for (std::uint32_t e : {1u, 0u, 3u, 0u, 4294967295u, 4294967295u, 1u, 0u, 0u}) {
        EXPECT_EQ(it.GetNextIndex(), e);
    }
    const ArrayPtr u = U32({7, 0, 4294967295u});
    CMatrixIndexIterator ui(u.get());
    for (std::uint32_t e : {7u, 0u, 4294967295u}) EXPECT_EQ(ui.GetNextIndex(), e);
    const ArrayPtr mask = Row({0, NAN, -0.0, 2}), umask = U32({0, 5});
    CMatrixLogicalIterator mi(mask.get()), umi(umask.get());
    for (bool e : {false, true, false, true}) EXPECT_EQ(mi.GetNextLogical(), e);
    EXPECT_FALSE(umi.GetNextLogical());
    EXPECT_TRUE(umi.GetNextLogical());
}

TEST(Indexref, ColonsShareDataAndFoldShape) {
    ArrayPtr A = Counted({2, 3, 2}, 1, mxComplexityComplex), colon = Colon();
    ArrayPtr column(Indexref(A.get(), colon.get()));
    ArrayPtr matrix(Indexref(A.get(), colon.get(), colon.get()));
    EXPECT_EQ(Dims(column.get()), (DimList{12, 1}));
    EXPECT_EQ(Dims(matrix.get()), (DimList{2, 6}));
    for (const CMatrix *r : {column.get(), matrix.get()}) {
        EXPECT_TRUE(r->GetPr() == A->GetPr() && r->GetPi() == A->GetPi());
    }
}

// Every branch of the shape rule, with the values taken from 1, 2, 3, ...:
// a vector and a vector (or empty 2-d) index keep the target's
// orientation; a mask on a vector too; otherwise an index gives its own
// shape, and a mask a row when it is a 2-d row, else a column. A mask
// without a true element gives a 0x0 double.
TEST(Indexref, ResultShapesAndValues) {
    const struct {
        DimList a;
        ArrayPtr subscript;
        DimList expected;
        ValueList values;
    } cases[] = {{{1, 5}, Col({5, 2}), {1, 2}, {5, 2}},
                 {{5, 1}, Row({1.5, 4.49}), {2, 1}, {2, 4}},  // half up, and below a half down
                 {{1, 1}, Col({1, 1, 1}), {1, 3}, {1, 1, 1}},
                 {{1, 5}, Row({3}), {1, 1}, {3}},
                 {{4, 1}, Array({1, 0}), {0, 1}, {}},
                 {{1, 4}, Array({0, 1}), {1, 0}, {}},
                 {{1, 4}, Array({0, 3}), {0, 3}, {}},
                 {{4, 1}, Array({0, 0}), {0, 0}, {}},
                 {{1, 1}, Array({1, 0}), {1, 0}, {}},
                 {{1, 5}, Filled({2, 2}, {5, 4, 3, 3}), {2, 2}, {5, 4, 3, 3}},
                 {{1, 5}, Filled({1, 2, 2}, {1, 2, 3, 4}), {1, 2, 2}, {1, 2, 3, 4}},
                 {{1, 5}, Array({1, 0, 2}), {1, 0, 2}, {}},
                 {{3, 3}, Row({9, 1}), {1, 2}, {9, 1}},
                 {{3, 3}, Col({9, 1}), {2, 1}, {9, 1}},
                 {{2, 2, 2}, Row({8, 2, 8}), {1, 3}, {8, 2, 8}},
                 {{3, 3}, U32({4, 1}), {1, 2}, {4, 1}},
                 // Masks.
                 {{1, 5}, Mask({0, 1, 0, 1, 1}, {5, 1}), {1, 3}, {2, 4, 5}},
                 {{5, 1}, Mask({1, 1, 0, 0, 0}), {2, 1}, {1, 2}},
                 {{1, 1}, Mask({1, 0, 0}, {3, 1}), {1, 1}, {1}},
                 {{2, 3}, Mask({1, 0, 1, 0, 1, 0}), {1, 3}, {1, 3, 5}},
                 {{2, 3}, Mask({1, 0, 1, 0, 1, 0}, {6, 1}), {3, 1}, {1, 3, 5}},
                 {{2, 3}, Mask({0, 1, 1, 0, 0, 1}, {2, 3}), {3, 1}, {2, 3, 6}},
                 {{2, 3}, Mask({0, 1, 1, 0, 0, 1}, {1, 3, 2}), {3, 1}, {2, 3, 6}},
                 {{2, 2}, Mask({1, 0, 0, 1, 0, 0}), {1, 2}, {1, 4}},  // longer, false beyond A
                 {{1, 4}, Mask({0, NAN, -0.0, 2}), {1, 2}, {2, 4}},   // NaN true, -0 false
                 {{2, 2}, Mask({0, 0, 0, 0}), {0, 0}, {}},
                 {{2, 2}, Mask({}), {0, 0}, {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.a) + " by " +
                     ::testing::PrintToString(Dims(c.subscript.get())));
        ArrayPtr A = Counted(c.a), R(Indexref(A.get(), c.subscript.get()));
        EXPECT_EQ(Dims(R.get()), c.expected);
        EXPECT_EQ(Values(R.get()), c.values);
        EXPECT_TRUE(R->IsDouble() && !R->IsComplex() && R->GetFlags() == 0u);
    }
    // The class is kept, also when empty; a mask without a true element
    // gives a real double whatever A is.
    ArrayPtr ints = Array({2, 2}, mxClassInt16, mxComplexityComplex);
    EXPECT_TRUE(ArrayPtr(Indexref(ints.get(), Array({1, 0}).get()))->IsInt16());
    ArrayPtr none(Indexref(ints.get(), Mask({0, 0}).get()));
    EXPECT_TRUE(none->IsDouble() && !none->IsComplex() && Dims(none.get()) == (DimList{0, 0}));
    // A cell row is no vector (that takes a numeric class): the index's shape.
    ArrayPtr cells = Cells(1, 3);
    EXPECT_EQ(Dims(ArrayPtr(Indexref(cells.get(), Col({1, 3}).get())).get()), (DimList{2, 1}));
}

// Rows and columns, the later dimensions folded into the columns; an empty
// subscript gives an empty real double whose other extent is what the
// other subscript selects.
TEST(Indexref, TwoSubscripts) {
    ArrayPtr A = Counted({3, 2, 2}, 1, mxComplexityComplex), colon = Colon();
    ArrayPtr empty = Array({1, 0}), empty00 = Array({0, 0}, mxClassInt32);
    const struct {
        ArrayPtr i, j;
        DimList expected;
        ValueList values;
    } cases[] = {{Row({3, 1}), Row({4, 1, 4}), {2, 3}, {12, 10, 3, 1, 12, 10}},
                 {Mask({1, 0, 1, 0, 0}), U32({2}), {2, 1}, {4, 6}},
                 {Colon(), Mask({0, 1, 0, 1}), {3, 2}, {4, 5, 6, 10, 11, 12}},
                 {U32({0, 2}, true), Colon(), {1, 4}, {2, 5, 8, 11}},  // a uint32 mask
                 {Row({2.5}), Col({1.5, 0.5}), {1, 2}, {6, 3}},
                 {Array({1, 0}), Array({1, 0}), {0, 0}, {}},
                 {Array({1, 0}), Colon(), {0, 4}, {}},
                 {Array({0, 0}, mxClassInt32), Mask({1, 0, 1, 1, 0}), {0, 3}, {}},
                 {Array({1, 0}), Filled({2, 2}, {1, 4, 4, 2}), {0, 4}, {}},
                 {Row({3, 1}), Array({1, 0}), {2, 0}, {}},
                 {Colon(), Array({1, 0}), {3, 0}, {}},
                 {Mask({1, 0, 1}), Array({0, 0}, mxClassInt32), {2, 0}, {}}};
    for (const auto &c : cases) {
        ArrayPtr R(Indexref(A.get(), c.i.get(), c.j.get()));
        EXPECT_EQ(Dims(R.get()), c.expected);
        EXPECT_EQ(Values(R.get()), c.values);
        if (c.values.empty()) {
            EXPECT_TRUE(R->IsDouble() && !R->IsComplex());
            continue;
        }
        ValueList imag;
        for (double x : c.values) imag.push_back(-x / 4);
        EXPECT_EQ(ImagValues(R.get()), imag);
    }
}

// Masks of every density, read in words of 64 elements (full, dense,
// sparse, a last one cut short, false ones beyond A), and the same
// positions as an index, select those elements in every element size.
TEST(Indexref, MasksAndIndicesSelectTheSameElements) {
    std::mt19937 rng(static_cast<std::uint32_t>(Seed()));
    const unsigned int n = 300;
    for (mxClassID id : {mxClassInt8, mxClassInt16, mxClassSingle, mxClassDouble}) {
        ArrayPtr A = Array({n, 1}, id, mxComplexityComplex);
        const std::vector<unsigned char> re = FillBytes(A.get());
        std::reverse_copy(re.begin(), re.end(), static_cast<unsigned char *>(A->GetPi()));
        for (double density : {0.0, 0.02, 0.5, 0.9, 1.0}) {
            std::bernoulli_distribution draw(density);
            ArrayPtr mask = Array({1, n + 100});
            ValueList positions;
            for (unsigned int k = 0; k < n + 100; ++k) {
                if ((mxGetPr(mask.get())[k] = k < n && draw(rng))) positions.push_back(k + 1);
            }
            mask->SetLogical();
            ArrayPtr byMask(Indexref(A.get(), mask.get()));
            ArrayPtr byIndex(Indexref(A.get(), Row(positions).get()));
            for (bool imag : {false, true}) {
                const auto want = Picked(Bytes(A.get(), imag), A->GetElementSize(), positions);
                EXPECT_EQ(Bytes(byMask.get(), imag), want) << id << ' ' << density;
                EXPECT_EQ(Bytes(byIndex.get(), imag), want) << id << ' ' << density;
            }
        }
    }
}

// Every class goes by its element size on each path, bytes unchanged, in
// the selected order; the result is never logical.
TEST(Indexref, EveryClassKeepsBytesAndDropsLogical) {
    const mxClassID classes[] = {mxClassChar,  mxClassInt8,   mxClassInt16, mxClassUint16,
                                 mxClassInt32, mxClassSingle, mxClassInt64, mxClassDouble};
    for (mxClassID id : classes) {
        ArrayPtr A = Array({2, 3}, id);
        const std::vector<unsigned char> bytes = FillBytes(A.get());
        const std::size_t size = A->GetElementSize();
        A->SetLogical();
        const struct {
            ArrayPtr result;
            ValueList positions;
        } cases[] = {
            {ArrayPtr(Indexref(A.get(), Row({5.6, 0.5, 6.4, 3.5}).get())), {6, 1, 6, 4}},
            {ArrayPtr(Indexref(A.get(), U32({6, 1, 6, 4}).get())), {6, 1, 6, 4}},
            {ArrayPtr(Indexref(A.get(), Mask({1, 0, 0, 1, 0, 1}).get())), {1, 4, 6}},
            {ArrayPtr(Indexref(A.get(), Row({2, 1}).get(), Row({3, 1}).get())), {6, 5, 2, 1}},
            {ArrayPtr(Indexref(A.get(), Colon().get(), Row({2, 2}).get())), {3, 4, 3, 4}}};
        for (const auto &c : cases) {
            EXPECT_TRUE(c.result->GetClassID() == id && c.result->GetFlags() == 0u);
            EXPECT_EQ(Bytes(c.result.get()), Picked(bytes, size, c.positions)) << id;
        }
    }
}

// Each copied slot is an array object of its own sharing the element's
// data, so source and result can be destroyed in either order.
TEST(Indexref, CellSlotsOwnTheirShares) {
    for (bool resultFirst : {false, true}) {
        const LiveBlocks blocks;
        {
            ArrayPtr A = Cells(1, 3), I = Row({3, 1, 2, 3});
            mxSetCell(A.get(), 1, nullptr);
            ArrayPtr results[] = {ArrayPtr(Indexref(A.get(), I.get())),
                                  ArrayPtr(Indexref(A.get(), Mask({1, 1, 1}).get())),
                                  ArrayPtr(Indexref(A.get(), Row({1}).get(), I.get()))};
            const CMatrix *fromIndex = results[0].get();
            EXPECT_NE(mxGetCell(fromIndex, 0), mxGetCell(A.get(), 2));
            EXPECT_NE(mxGetCell(fromIndex, 0), mxGetCell(fromIndex, 3));
            EXPECT_EQ(mxGetCell(fromIndex, 0)->GetPr(), mxGetCell(A.get(), 2)->GetPr());
            EXPECT_EQ(mxGetCell(fromIndex, 2), nullptr);
            if (!resultFirst) A.reset();
            EXPECT_EQ(Slot(results[2].get(), 3), 3);
            EXPECT_EQ(Slot(results[1].get(), 0), 1);
            for (ArrayPtr &r : results) r.reset();
        }
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

}  // namespace
