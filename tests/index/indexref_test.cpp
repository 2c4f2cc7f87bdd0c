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
// uint32 goes as stored. A mask element is true when not 0, NaN included.
TEST(Iterators, RoundWrapAndTruth) {
    const ArrayPtr index = Row({0.49, 2.5, -0.6, 0x1p32 + 1, NAN, 0x1p63}),
                   mask = Row({0, NAN, -0.0});
    CMatrixIndexIterator it(index.get());
    for (std::uint32_t e : {0u, 3u, 4294967295u, 1u, 0u, 0u}) EXPECT_EQ(it.GetNextIndex(), e);
    CMatrixLogicalIterator mi(mask.get());
    for (bool e : {false, true, false}) EXPECT_EQ(mi.GetNextLogical(), e);
}

// Every branch of the shape rule, with the values taken from 1, 2, 3, ...
// (the imaginary parts from -1/4, -2/4, ...). One subscript: a vector and a
// vector (or empty 2-d) index keep the target's orientation; a mask on a
// vector too; otherwise an index gives its own shape, and a mask a row when
// it is a 2-d row, else a column. Two subscripts: rows and columns, the
// later dimensions folded into the columns. Colons share A's data. A mask
// without a true element, or an empty one of two subscripts, gives a real
// double.
TEST(Indexref, ResultShapesAndValues) {
    const struct {
        DimList a;
        ArrayPtr i, j;
        DimList expected;
        ValueList values;
    } cases[] = {
        {{1, 5}, Col({5, 2}), nullptr, {1, 2}, {5, 2}},
        {{5, 1}, Row({1.5, 4.49}), nullptr, {2, 1}, {2, 4}},  // half up, and below a half down
        {{1, 1}, Col({1, 1, 1}), nullptr, {1, 3}, {1, 1, 1}},
        {{4, 1}, Array({1, 0}), nullptr, {0, 1}, {}},
        {{1, 5}, Filled({1, 2, 2}, {1, 2, 3, 4}), nullptr, {1, 2, 2}, {1, 2, 3, 4}},
        {{3, 3}, Row({9, 1}), nullptr, {1, 2}, {9, 1}},
        {{1, 2, 2}, Colon(), nullptr, {4, 1}, {1, 2, 3, 4}},
        {{1, 5}, Mask({0, 1, 0, 1, 1}, {5, 1}), nullptr, {1, 3}, {2, 4, 5}},
        {{2, 3}, Mask({1, 0, 1, 0, 1, 0}), nullptr, {1, 3}, {1, 3, 5}},
        {{2, 3}, Mask({0, 1, 1, 0, 0, 1}, {2, 3}), nullptr, {3, 1}, {2, 3, 6}},
        {{2, 2}, Mask({1, 0, 0, 1, 0, 0}), nullptr, {1, 2}, {1, 4}},  // longer, false beyond A
        {{1, 4}, Mask({0, NAN, -0.0, 2}), nullptr, {1, 2}, {2, 4}},   // NaN true, -0 false
        {{3, 2, 2}, Row({3, 1}), Row({4, 1, 4}), {2, 3}, {12, 10, 3, 1, 12, 10}},
        {{3, 2, 2}, Row({2, 3}), Row({2.5, 4}), {2, 2}, {8, 9, 11, 12}},  // a run of rows
        {{3, 2, 2}, Colon(), Mask({0, 1, 0, 1}), {3, 2}, {4, 5, 6, 10, 11, 12}},
        {{3, 2, 2}, U32({0, 2}, true), Colon(), {1, 4}, {2, 5, 8, 11}},  // a uint32 mask
        {{3, 2, 2}, Array({1, 0}), Colon(), {0, 4}, {}},
        {{3, 2, 2}, Array({0, 0}, mxClassInt32), Mask({1, 0, 1, 1, 0}), {0, 3}, {}},
        {{3, 2, 2}, Mask({1, 0, 1}), Array({0, 0}, mxClassInt32), {2, 0}, {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.a) + " by " + ::testing::PrintToString(c.values));
        ArrayPtr A = Counted(c.a, 1, mxComplexityComplex);
        ArrayPtr R(c.j ? Indexref(A.get(), c.i.get(), c.j.get()) : Indexref(A.get(), c.i.get()));
        ValueList imag;
        for (double x : c.values) imag.push_back(-x / 4);
        EXPECT_EQ(Dims(R.get()), c.expected);
        EXPECT_EQ(Values(R.get()), c.values);
        EXPECT_TRUE(R->IsDouble() && R->GetFlags() == 0u);
        EXPECT_EQ(c.values.empty() ? imag : ImagValues(R.get()), imag);
        const bool colons = c.i->IsColon() && (!c.j || c.j->IsColon());
        EXPECT_TRUE(!colons || (R->GetPr() == A->GetPr() && R->GetPi() == A->GetPi()));
        EXPECT_TRUE(!c.values.empty() || !(c.j || c.i->IsLogical()) || !R->IsComplex());
    }
    // The class is kept, also when empty; a cell row is no vector.
    ArrayPtr ints = Array({2, 2}, mxClassInt16), cells = Cells(1, 3);
    EXPECT_TRUE(ArrayPtr(Indexref(ints.get(), Array({1, 0}).get()))->IsInt16());
    EXPECT_EQ(Dims(ArrayPtr(Indexref(cells.get(), Col({1, 3}).get())).get()), (DimList{2, 1}));
}

// Masks of every density, read in words of 64 elements (full, dense,
// sparse, a last one cut short, false ones beyond A), and the same
// positions as a double or uint32 index or as rows select those elements,
// bytes unchanged, in every element size; the result is never logical.
TEST(Indexref, EveryPathSelectsTheSameBytesInEveryElementSize) {
    std::mt19937 rng(static_cast<std::uint32_t>(Seed()));
    const unsigned int n = 300;
    const ArrayPtr one = Row({1});
    for (mxClassID id : {mxClassInt8, mxClassInt16, mxClassSingle, mxClassDouble}) {
        ArrayPtr A = Array({n, 1}, id, mxComplexityComplex);
        const std::vector<unsigned char> re = FillBytes(A.get());
        std::reverse_copy(re.begin(), re.end(), static_cast<unsigned char *>(A->GetPi()));
        A->SetLogical();
        for (double density : {0.0, 0.02, 0.5, 0.9, 1.0}) {
            std::bernoulli_distribution draw(density);
            ArrayPtr mask = Array({1, n + 100});
            ValueList positions;
            for (unsigned int k = 0; k < n + 100; ++k) {
                if ((mxGetPr(mask.get())[k] = k < n && draw(rng))) positions.push_back(k + 1);
            }
            mask->SetLogical();
            const ArrayPtr index = Row(positions), u32 = U32({positions.begin(), positions.end()});
            for (const ArrayPtr &r :
                 {ArrayPtr(Indexref(A.get(), mask.get())), ArrayPtr(Indexref(A.get(), index.get())),
                  ArrayPtr(Indexref(A.get(), u32.get())),
                  ArrayPtr(Indexref(A.get(), index.get(), one.get()))}) {
                for (bool imag : {false, true}) {
                    const auto want = Picked(Bytes(A.get(), imag), A->GetElementSize(), positions);
                    EXPECT_EQ(Bytes(r.get(), imag), want) << id << ' ' << density;
                }
                EXPECT_TRUE((positions.empty() || r->GetClassID() == id) && r->GetFlags() == 0u);
            }
        }
    }
}

// Each copied slot is an array object of its own sharing the element's
// data, so the source can go first.
TEST(Indexref, CellSlotsOwnTheirShares) {
    const LiveBlocks blocks;
    {
        ArrayPtr A = Cells(1, 3), I = Row({3, 1, 2, 3}), mask = Mask({1, 1, 1});
        mxSetCell(A.get(), 1, nullptr);
        ArrayPtr byIndex(Indexref(A.get(), I.get())), byMask(Indexref(A.get(), mask.get()));
        ArrayPtr byBlock(Indexref(A.get(), Row({1}).get(), I.get()));
        EXPECT_TRUE(mxGetCell(byIndex.get(), 0) != mxGetCell(A.get(), 2) &&
                    mxGetCell(byIndex.get(), 0) != mxGetCell(byIndex.get(), 3));
        EXPECT_EQ(mxGetCell(byIndex.get(), 0)->GetPr(), mxGetCell(A.get(), 2)->GetPr());
        A.reset();
        EXPECT_TRUE(Slot(byBlock.get(), 3) == 3 && Slot(byMask.get(), 0) == 1);
        EXPECT_EQ(mxGetCell(byIndex.get(), 2), nullptr);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

}  // namespace
