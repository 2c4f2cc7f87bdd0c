// tests/core/extend_reshape_test.cpp: growing and reshaping arrays in place.
#include <gtest/gtest.h>

#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Dims;
using matrix_test::Values;
using Shape = std::vector<unsigned int>;

void Extend(CMatrix *a, const Shape &dims) {
    a->Extend(static_cast<unsigned int>(dims.size()), dims.data());
}

void Reshape(CMatrix *a, const Shape &dims) {
    a->Reshape(static_cast<unsigned int>(dims.size()), dims.data());
}

// Element of a column-major array at zero-based subscripts.
double At(const CMatrix *a, const Shape &subs) {
    std::size_t index = 0, stride = 1;
    for (std::size_t k = 0; k < subs.size(); ++k) {
        index += subs[k] * stride;
        stride *= k < a->GetNoDimensions() ? a->GetDimensions()[k] : 1;
    }
    return mxGetPr(a)[index];
}

TEST(Extend, GrowsSquareKeepingSubscripts) {
    ArrayPtr a = matrix_test::Matrix(2, 2, {11, 21, 12, 22});
    Extend(a.get(), {3, 3});
    EXPECT_EQ(Dims(a.get()), (Shape{3, 3}));
    EXPECT_EQ(Values(a.get()), (std::vector<double>{11, 21, 0, 12, 22, 0, 0, 0, 0}));
}

TEST(Extend, SmallerRequestDoesNotShrink) {
    ArrayPtr a = matrix_test::Matrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    Extend(a.get(), {1, 5});
    EXPECT_EQ(Dims(a.get()), (Shape{3, 5}));
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0, 0}));
}

TEST(Extend, AddsAndGrowsHigherDimensions) {
    // 2x3 to 3x3x2: every old element keeps its subscripts in the new strides.
    ArrayPtr a = matrix_test::Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    a->ToComplex();
    mxGetPi(a.get())[5] = -6;
    Extend(a.get(), {3, 1, 2, 1, 1});
    EXPECT_EQ(Dims(a.get()), (Shape{3, 3, 2}));
    for (unsigned int i = 0; i < 3; ++i) {
        for (unsigned int j = 0; j < 3; ++j) {
            EXPECT_EQ(At(a.get(), {i, j, 0}), i < 2 ? 1 + i + 2.0 * j : 0.0);
            EXPECT_EQ(At(a.get(), {i, j, 1}), 0.0);
        }
    }
    EXPECT_EQ(mxGetPi(a.get())[1 + 2 * 3], -6);  // imaginary part moved the same way

    // Growing an inner dimension of an N-d array moves whole pages.
    ArrayPtr b = matrix_test::Array({2, 2, 2});
    for (unsigned int k = 0; k < 8; ++k) mxGetPr(b.get())[k] = k + 1;
    Extend(b.get(), {2, 3});
    EXPECT_EQ(Dims(b.get()), (Shape{2, 3, 2}));
    EXPECT_EQ(Values(b.get()), (std::vector<double>{1, 2, 3, 4, 0, 0, 5, 6, 7, 8, 0, 0}));
}

TEST(Extend, SameElementCountChangesNothing) {
    ArrayPtr a = matrix_test::Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    Extend(a.get(), {2, 3, 1});
    Extend(a.get(), {1, 1});
    Extend(a.get(), {});
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
    // Also an empty array whose grown shape is still empty keeps its shape.
    ArrayPtr e = matrix_test::Array({0, 3});
    Extend(e.get(), {0, 5});
    EXPECT_EQ(Dims(e.get()), (Shape{0, 3}));
}

TEST(Extend, ZeroForAMissingDimensionCountsAsOne) {
    // A new dimension of length 0 would leave no room for the old elements.
    ArrayPtr a = matrix_test::Matrix(2, 2, {1, 2, 3, 4});
    Extend(a.get(), {3, 2, 0});
    EXPECT_EQ(Dims(a.get()), (Shape{3, 2}));
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2, 0, 3, 4, 0}));
    Extend(a.get(), {3, 2, 0, 2});
    EXPECT_EQ(Dims(a.get()), (Shape{3, 2, 1, 2}));
    EXPECT_EQ(a->GetNoElems(), 12u);
}

TEST(Extend, GrowsEmptyArrays) {
    ArrayPtr a = matrix_test::Array({0, 0});
    Extend(a.get(), {1, 4});
    EXPECT_EQ(Dims(a.get()), (Shape{1, 4}));
    EXPECT_EQ(Values(a.get()), (std::vector<double>{0, 0, 0, 0}));
}

TEST(Extend, LeavesSharersUnchanged) {
    ArrayPtr a = matrix_test::Matrix(1, 2, {1, 2});
    ArrayPtr b(a->CreateShareArray());
    Extend(b.get(), {2, 2});
    EXPECT_EQ(Dims(a.get()), (Shape{1, 2}));
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2}));
    EXPECT_EQ(Values(b.get()), (std::vector<double>{1, 0, 2, 0}));
}

TEST(Extend, CellKeepsElementsAndEmptiesNewSlots) {
    const matrix_test::LiveBlocks blocks;
    {
        ArrayPtr cell(mxCreateCellMatrix(1, 2));
        CMatrix *first = matrix_test::Matrix(1, 1, {1}).release();
        mxSetCell(cell.get(), 0, first);
        mxSetCell(cell.get(), 1, matrix_test::Matrix(1, 1, {2}).release());
        ArrayPtr shared(cell->CreateShareArray());

        // Shared buffer: the grown array holds shares of the elements.
        Extend(shared.get(), {2, 2});
        EXPECT_EQ(mxGetCell(shared.get(), 1), nullptr);
        EXPECT_EQ(mxGetScalar(mxGetCell(shared.get(), 2)), 2.0);
        EXPECT_NE(mxGetCell(shared.get(), 0), first);

        // Own buffer: the element objects move over unchanged.
        Extend(cell.get(), {1, 3});
        EXPECT_EQ(mxGetCell(cell.get(), 0), first);
        EXPECT_EQ(mxGetCell(cell.get(), 2), nullptr);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Extend, TooLargeThrowsAndLeavesArray) {
    ArrayPtr a = matrix_test::Matrix(2, 2, {1, 2, 3, 4});
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    const matrix_test::LiveBlocks blocks;
    EXPECT_THROW(Extend(a.get(), {65536, 65536}), kiv::CExhaustedMemoryException);
    EXPECT_THROW(Extend(a.get(), {2, 1u << 30}), kiv::CExhaustedMemoryException);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
}

TEST(Reshape, KeepsDataOrder) {
    ArrayPtr a = matrix_test::Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const void *data = a->GetPr();
    Reshape(a.get(), {3, 2});
    EXPECT_EQ(Dims(a.get()), (Shape{3, 2}));
    EXPECT_EQ(a->GetPr(), data);
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
    Reshape(a.get(), {3, 2, 1});
    EXPECT_EQ(Dims(a.get()), (Shape{3, 2}));
    Reshape(a.get(), {1, 1, 6, 1});
    EXPECT_EQ(Dims(a.get()), (Shape{1, 1, 6}));
}

TEST(Reshape, RejectsBadShapesAndLeavesArray) {
    ArrayPtr a = matrix_test::Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    const matrix_test::LiveBlocks blocks;
    EXPECT_THROW_MSG(Reshape(a.get(), {6}), CFunctionErrorException,
                     L"An array must have at least two dimensions");
    EXPECT_THROW_MSG(Reshape(a.get(), {}), CFunctionErrorException,
                     L"An array must have at least two dimensions");
    EXPECT_THROW_MSG(Reshape(a.get(), {4, 2}), CFunctionErrorException,
                     L"The number of elements can't change");
    // A product that wraps to 6 in 32 bits must not pass for 6 elements.
    EXPECT_THROW(Reshape(a.get(), {2, 2147483651u}), kiv::CExhaustedMemoryException);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
}

}  // namespace
