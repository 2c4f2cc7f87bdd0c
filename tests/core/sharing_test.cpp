// tests/core/sharing_test.cpp: shared buffers, copy on write and cell element ownership.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;
using matrix_test::LiveBlocks;
using matrix_test::Values;

std::uint16_t Count(const void *data) {
    std::uint16_t count;
    std::memcpy(&count, static_cast<const char *>(data) - 6, sizeof count);
    return count;
}

// A cell array of n slots, slot i holding the 1x1 double i + 1.
ArrayPtr NumberedCell(unsigned int n) {
    ArrayPtr cell(mxCreateCellMatrix(1, n));
    for (unsigned int i = 0; i < n; ++i) {
        mxSetCell(cell.get(), static_cast<int>(i), matrix_test::Matrix(1, 1, {i + 1.0}).release());
    }
    return cell;
}

TEST(CreateShareArray, SharesBothBuffersAndKeepsShape) {
    const double re[] = {1, 2, 3, 4, 5, 6}, im[] = {6, 5, 4, 3, 2, 1};
    ArrayPtr a(mxDoubleMatrix(1, 2, 3, re, im));
    a->SetFlag(0x0301, 0xFFFF);
    a->IncCounter();
    ArrayPtr b(a->CreateShareArray());
    EXPECT_EQ(b->GetPr(), a->GetPr());
    EXPECT_EQ(b->GetPi(), a->GetPi());
    EXPECT_EQ(Count(a->GetPr()), 2);
    EXPECT_EQ(Count(a->GetPi()), 2);
    EXPECT_EQ(matrix_test::Dims(b.get()), (std::vector<unsigned int>{1, 2, 3}));
    EXPECT_NE(b->GetDimensions(), a->GetDimensions());  // a list of its own
    EXPECT_EQ(b->GetFlags(), 0x01u);                     // low flag byte only
    EXPECT_EQ(b->GetCounter(), 0);
}

TEST(GetOwnCopy, WritingOneSharerLeavesTheOtherUnchanged) {
    ArrayPtr a = matrix_test::Matrix(2, 2, {1, 2, 3, 4});
    a->ToComplex();
    ArrayPtr b(a->CreateShareArray());
    const void *sharedReal = a->GetPr();

    b->GetOwnCopy();
    EXPECT_NE(b->GetPr(), sharedReal);
    EXPECT_NE(b->GetPi(), a->GetPi());
    EXPECT_EQ(a->GetPr(), sharedReal);
    EXPECT_EQ(Count(a->GetPr()), 1);
    EXPECT_EQ(Count(b->GetPr()), 1);
    EXPECT_EQ(Count(a->GetPi()), 1);

    mxGetPr(b.get())[0] = 100;
    mxGetPi(b.get())[3] = -1;
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(matrix_test::ImagValues(a.get()), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(Values(b.get()), (std::vector<double>{100, 2, 3, 4}));

    // An unshared array copies nothing.
    const void *own = b->GetPr();
    b->GetOwnCopy();
    EXPECT_EQ(b->GetPr(), own);
}

TEST(CreateDuplicateArray, OwnsUnsharedEqualBuffers) {
    ArrayPtr a = matrix_test::Matrix(1, 3, {7, 8, 9});
    a->SetLogical();
    ArrayPtr d(mxDuplicateArray(a.get()));
    EXPECT_NE(d->GetPr(), a->GetPr());
    EXPECT_EQ(Count(a->GetPr()), 1);
    EXPECT_EQ(Count(d->GetPr()), 1);
    EXPECT_EQ(Values(d.get()), Values(a.get()));
    EXPECT_TRUE(d->IsLogical());
}

TEST(CreateShareArray, FullCountGivesACopyInsteadOfWrapping) {
    ArrayPtr a = matrix_test::Matrix(1, 2, {1, 2});
    std::vector<ArrayPtr> holders;
    for (int i = 1; i < 0xFFFF; ++i) holders.emplace_back(a->CreateShareArray());
    ASSERT_EQ(Count(a->GetPr()), 0xFFFF);
    ArrayPtr extra(a->CreateShareArray());
    EXPECT_NE(extra->GetPr(), a->GetPr());
    EXPECT_EQ(Count(a->GetPr()), 0xFFFF);
    EXPECT_EQ(Count(extra->GetPr()), 1);
    EXPECT_EQ(Values(extra.get()), (std::vector<double>{1, 2}));
    holders.clear();
    EXPECT_EQ(Count(a->GetPr()), 1);
}

TEST(CellOwnership, LastHolderDestroysElements) {
    const LiveBlocks blocks;
    {
        ArrayPtr cell = NumberedCell(3);
        ArrayPtr share(cell->CreateShareArray());
        CMatrix *element = mxGetCell(share.get(), 1);
        cell.reset();  // one of two holders: no element is destroyed
        EXPECT_EQ(mxGetCell(share.get(), 1), element);
        EXPECT_EQ(mxGetScalar(element), 2.0);
    }
    EXPECT_EQ(blocks.Delta(), 0);  // the last holder destroyed every element
}

TEST(CellOwnership, CopyOnWriteSharesElementData) {
    ArrayPtr cell = NumberedCell(2);
    ArrayPtr share(cell->CreateShareArray());
    share->GetOwnCopy();
    CMatrix *mine = mxGetCell(share.get(), 0);
    CMatrix *theirs = mxGetCell(cell.get(), 0);
    // New element objects that share the element data.
    EXPECT_NE(mine, theirs);
    EXPECT_EQ(mine->GetPr(), theirs->GetPr());

    // Replacing a slot of the copy leaves the original's slot alone.
    mxSetCell(share.get(), 0, matrix_test::Matrix(1, 1, {42}).release());
    EXPECT_EQ(mxGetScalar(mxGetCell(cell.get(), 0)), 1.0);
    share.reset();
    EXPECT_EQ(mxGetScalar(mxGetCell(cell.get(), 0)), 1.0);
    EXPECT_EQ(mxGetScalar(mxGetCell(cell.get(), 1)), 2.0);
}

TEST(CellOwnership, NestedCellsAreReleased) {
    const LiveBlocks blocks;
    {
        ArrayPtr outer(mxCreateCellMatrix(1, 2));
        CMatrix *inner = NumberedCell(2).release();
        mxSetCell(outer.get(), 0, inner);
        mxSetCell(outer.get(), 1, inner->CreateShareArray());
        ArrayPtr copy(mxDuplicateArray(outer.get()));
        EXPECT_EQ(mxGetScalar(mxGetCell(mxGetCell(copy.get(), 1), 1)), 2.0);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(CellOwnership, StructSlotsOwnNothing) {
    ArrayPtr element = matrix_test::Matrix(1, 1, {5});
    {
        ArrayPtr s = matrix_test::Array({1, 1}, mxClassStruct);
        *static_cast<CMatrix **>(s->GetPr()) = element.get();
    }
    EXPECT_EQ(Values(element.get()), (std::vector<double>{5}));
}

}  // namespace
