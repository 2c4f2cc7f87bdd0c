// tests/index/positions_test.cpp: position lists from subscripts and the index check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "index/positions.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;
using matrix_test::Matrix;
using List = std::vector<std::uint32_t>;

ArrayPtr Row(std::initializer_list<double> values) {
    return Matrix(1, static_cast<unsigned int>(values.size()), values);
}

ArrayPtr Uint32Row(std::vector<std::uint32_t> values) {
    ArrayPtr a = matrix_test::Array({1, static_cast<unsigned int>(values.size())}, mxClassUint32);
    std::memcpy(a->GetPr(), values.data(), values.size() * sizeof(std::uint32_t));
    return a;
}

#define EXPECT_NEGATIVE_OR_ZERO(statement)                                   \
    EXPECT_THROW_MSG(statement, CIndexIntoMatrixNegativeOrZeroException, \
                     L"Index into matrix is negative or zero")
#define EXPECT_EXCEEDS(statement)                                           \
    EXPECT_THROW_MSG(statement, CIndexExceedsMatrixDimensionsException, \
                     L"Index exceeds matrix dimensions")

TEST(CheckIndices, BoundsAfterRounding) {
    CheckIndices(Row({0.5, 3.49, 1, 2}).get(), 3);
    CheckIndices(matrix_test::Array({0, 0}).get(), 0);  // nothing to check
    EXPECT_NEGATIVE_OR_ZERO(CheckIndices(Row({0.49}).get(), 3));
    EXPECT_NEGATIVE_OR_ZERO(CheckIndices(Row({-3}).get(), 3));
    EXPECT_EXCEEDS(CheckIndices(Row({3.5}).get(), 3));
    EXPECT_EXCEEDS(CheckIndices(Row({0x1p32 + 1}).get(), 3));  // no wrap to 1
}

TEST(CheckIndices, FirstOffenderDecides) {
    EXPECT_NEGATIVE_OR_ZERO(CheckIndices(Row({2, 0, 9}).get(), 3));
    EXPECT_EXCEEDS(CheckIndices(Row({9, 0}).get(), 3));
    EXPECT_EXCEEDS(CheckIndices(Uint32Row({9, 0}).get(), 3));
    EXPECT_NEGATIVE_OR_ZERO(CheckIndices(Uint32Row({0}).get(), 3));
}

TEST(CheckIndices, NaNIsRejectedAsZero) {
    EXPECT_NEGATIVE_OR_ZERO(CheckIndices(Row({1, NAN, 9}).get(), 3));
}

// Long index arrays are tested block by block; the first offender must
// still decide across and within blocks, at the edges of the limit too.
TEST(CheckIndices, FirstOffenderDecidesInLongIndex) {
    const std::uint32_t limit = 1000;
    auto longIndex = [](std::vector<std::pair<std::size_t, double>> bad) {
        ArrayPtr a = matrix_test::Array({1, 1000});
        for (std::size_t i = 0; i < 1000; ++i) mxGetPr(a.get())[i] = 1.0 + i % 1000;
        for (const auto &b : bad) mxGetPr(a.get())[b.first] = b.second;
        return a;
    };
    CheckIndices(longIndex({{255, 0.5}, {256, 1000.49}, {999, 999.5}}).get(), limit);
    EXPECT_EXCEEDS(CheckIndices(longIndex({{600, 1000.5}, {601, 0}}).get(), limit));
    EXPECT_NEGATIVE_OR_ZERO(CheckIndices(longIndex({{255, 0.49}, {256, 1e9}}).get(), limit));
    EXPECT_EXCEEDS(CheckIndices(longIndex({{255, INFINITY}, {900, NAN}}).get(), limit));
    EXPECT_NEGATIVE_OR_ZERO(CheckIndices(longIndex({{999, NAN}}).get(), limit));
    EXPECT_EXCEEDS(CheckIndices(longIndex({{999, 0x1p32 + 1}}).get(), limit));
}

TEST(CheckIndices, RefusesOtherClassesBeforeReading) {
    for (mxClassID id : {mxClassInt32, mxClassSingle}) {
        EXPECT_THROW_MSG(CheckIndices(matrix_test::Array({1, 1}, id).get(), 3),
                         CNotImplementedException, L"Operation not implemented! :-(");
    }
}

TEST(IndexToPositions, KeepsOrderAndDuplicates) {
    List list;
    IndexToPositions(Row({3, 1.5, 3, -1}).get(), list);
    EXPECT_EQ(list, (List{3, 2, 3, 4294967295u}));
    list.clear();
    IndexToPositions(Uint32Row({5, 0}).get(), list);
    EXPECT_EQ(list, (List{5, 0}));
    list.clear();
    EXPECT_THROW(IndexToPositions(matrix_test::Array({1, 2}, mxClassInt8).get(), list),
                 CNotImplementedException);
    EXPECT_TRUE(list.empty());
}

TEST(MaskToPositions, TruePositionsAscending) {
    List list;
    MaskToPositions(Row({0, NAN, -0.0, 2}).get(), list);
    EXPECT_EQ(list, (List{2, 4}));
    list.clear();
    MaskToPositions(Uint32Row({1, 0, 0, 7}).get(), list);
    EXPECT_EQ(list, (List{1, 4}));
    list.clear();
    MaskToPositions(Row({0, 0}).get(), list);
    EXPECT_TRUE(list.empty());
}

TEST(CountMask, LastAndCount) {
    std::uint32_t last = 99, count = 99;
    CountMask(Row({0, NAN, -0.0, 2}).get(), last, count);
    EXPECT_EQ(last, 4u);
    EXPECT_EQ(count, 2u);
    CountMask(matrix_test::Array({0, 0}).get(), last, count);
    EXPECT_EQ(last, 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_THROW(CountMask(Uint32Row({1}).get(), last, count), CNotImplementedException);
}

// Trailing false elements leave `last` at the last true one; a long random
// mask agrees with a plain count.
TEST(CountMask, LastTrueSurvivesTrailingFalse) {
    std::uint32_t last = 0, count = 0;
    CountMask(Row({3, 0, 0}).get(), last, count);
    EXPECT_EQ(last, 1u);
    EXPECT_EQ(count, 1u);
    std::mt19937 rng(3);
    ArrayPtr mask = matrix_test::Array({1, 1000});
    std::uint32_t expectedLast = 0, expectedCount = 0;
    for (std::uint32_t i = 0; i < 1000; ++i) {
        const bool on = i < 990 && rng() % 2 == 0;
        mxGetPr(mask.get())[i] = on ? -1.0 : 0.0;
        if (on) {
            expectedLast = i + 1;
            ++expectedCount;
        }
    }
    CountMask(mask.get(), last, count);
    EXPECT_EQ(last, expectedLast);
    EXPECT_EQ(count, expectedCount);
}

TEST(SubscriptToPositions, MaskOrIndexByLogicalFlag) {
    List list;
    EXPECT_EQ(SubscriptToPositions(Row({4, 9, 2}).get(), list), 9u);
    EXPECT_EQ(list, (List{4, 9, 2}));

    ArrayPtr mask = Row({1, 0, 1, 0});
    mask->SetLogical();
    list.clear();
    EXPECT_EQ(SubscriptToPositions(mask.get(), list), 3u);
    EXPECT_EQ(list, (List{1, 3}));

    list.clear();
    EXPECT_EQ(SubscriptToPositions(matrix_test::Array({0, 0}).get(), list), 0u);
}

TEST(IndexToSortedPositions, AscendingWithoutDuplicates) {
    List list;
    IndexToSortedPositions(Row({3, 1, 3, 2}).get(), list);
    EXPECT_EQ(list, (List{1, 2, 3}));
    list.clear();
    IndexToSortedPositions(Row({2.6, 3}).get(), list);
    EXPECT_EQ(list, (List{3}));

    // Against the insertion the list is defined by, on many duplicates.
    std::mt19937 rng(5);
    ArrayPtr index = matrix_test::Array({1, 2000});
    double *p = mxGetPr(index.get());
    for (int i = 0; i < 2000; ++i) p[i] = static_cast<double>(rng() % 500) + 0.25;
    List expected;
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t v = static_cast<std::uint32_t>(p[i]);
        auto at = std::find_if(expected.begin(), expected.end(), [&](std::uint32_t e) { return e >= v; });
        if (at == expected.end() || *at != v) expected.insert(at, v);
    }
    list.clear();
    IndexToSortedPositions(index.get(), list);
    EXPECT_EQ(list, expected);
}

TEST(ColonPositions, OneToN) {
    List list;
    ColonPositions(4, list);
    EXPECT_EQ(list, (List{1, 2, 3, 4}));
    list.clear();
    ColonPositions(0, list);
    EXPECT_TRUE(list.empty());
}

TEST(PositionLists, AllocationFailureIsTheLibrarysException) {
    List list;
    const ArrayPtr index = Row({1, 2, 3});
    const matrix_test::LiveBlocks blocks;
    matrix_test::FailNthAllocation(1);
    EXPECT_THROW(IndexToPositions(index.get(), list), kiv::CExhaustedMemoryException);
    matrix_test::FailNthAllocation(0);
    EXPECT_EQ(blocks.Delta(), 0);
}

}  // namespace
