// tests/index/positions_test.cpp: the subscript iterators, position lists and the index check.
#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

#include "index/positions.h"
#include "index_test.h"

namespace {

using namespace index_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using List = PositionList;

List ListOf(void (*fill)(const CMatrix *, List &), const ArrayPtr &subscript) {
    List list;
    fill(subscript.get(), list);
    return list;
}

TEST(Iterators, DoublesRoundAndWrapUint32AsStoredTruthNotZero) {
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

TEST(Positions, OtherClassesRefusedBeforeAnythingIsRead) {
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassChar, mxClassUint8, mxClassCell}) {
        const ArrayPtr a = Array({1, 2}, id);
        List list;
        ExpectThrows(kClass, [&] { CMatrixIndexIterator{a.get()}; });
        ExpectThrows(kClass, [&] { CMatrixLogicalIterator{a.get()}; });
        ExpectThrows(kClass, [&] { CheckIndices(a.get(), 3); });
        ExpectThrows(kClass, [&] { IndexToPositions(a.get(), list); });
        ExpectThrows(kClass, [&] { MaskToPositions(a.get(), list); });
        EXPECT_TRUE(list.empty());
    }
    std::uint32_t last, count;  // counted masks are double only
    ExpectThrows(kClass, [&] { CountMask(U32({1}).get(), last, count); });
}

// A row of 1000 valid indices (limit 3) with some elements replaced.
ArrayPtr LongIndex(std::vector<std::pair<std::size_t, double>> changes) {
    ArrayPtr a = Array({1, 1000});
    for (std::size_t i = 0; i < 1000; ++i) mxGetPr(a.get())[i] = 1.0 + i % 3;
    for (const auto &c : changes) mxGetPr(a.get())[c.first] = c.second;
    return a;
}

TEST(CheckIndices, FirstOffenderAfterRoundingDecides) {
    const ArrayPtr pass[] = {Row({0.5, 3.49, 1, 2}), Array({0, 0}), U32({3, 1}),
                             LongIndex({{255, 0.5}, {256, 3.49}, {999, 2.5}})};
    for (const ArrayPtr &index : pass) CheckIndices(index.get(), 3);
    const std::pair<ArrayPtr, Error> fail[] = {
        {Row({0.49}), kZero},
        {Row({-3}), kZero},
        {Row({3.5}), kBeyond},
        {Row({0x1p32 + 1}), kBeyond},  // no wrap
        {Row({2, 0, 9}), kZero},
        {Row({9, 0}), kBeyond},
        {Row({1, NAN, 9}), kZero},
        {U32({9, 0}), kBeyond},
        {U32({0}), kZero},
        {LongIndex({{600, 3.5}, {601, 0}}), kBeyond},
        {LongIndex({{255, 0.49}, {256, 1e9}}), kZero},
        {LongIndex({{255, INFINITY}, {900, NAN}}), kBeyond},
        {LongIndex({{999, NAN}}), kZero},
    };
    for (const auto &c : fail) ExpectThrows(c.second, [&] { CheckIndices(c.first.get(), 3); });
}

TEST(PositionLists, FromIndexMaskColonAndSubscript) {
    EXPECT_EQ(ListOf(IndexToPositions, Row({3, 1.5, 3, -1})), (List{3, 2, 3, 4294967295u}));
    EXPECT_EQ(ListOf(IndexToPositions, U32({5, 0})), (List{5, 0}));
    EXPECT_EQ(ListOf(MaskToPositions, Row({0, NAN, -0.0, 2})), (List{2, 4}));
    EXPECT_EQ(ListOf(MaskToPositions, U32({1, 0, 0, 7})), (List{1, 4}));
    EXPECT_EQ(ListOf(MaskToPositions, Row({0, 0})), List{});
    List list;
    ColonPositions(4, list);
    EXPECT_EQ(list, (List{1, 2, 3, 4}));
    // The logical flag chooses; the largest position is returned.
    list.clear();
    EXPECT_EQ(SubscriptToPositions(Row({4, 9, 2}).get(), list), 9u);
    EXPECT_EQ(list, (List{4, 9, 2}));
    list.clear();
    EXPECT_EQ(SubscriptToPositions(Mask({1, 0, 1, 0}).get(), list), 3u);
    EXPECT_EQ(list, (List{1, 3}));
    list.clear();
    EXPECT_EQ(SubscriptToPositions(Array({0, 0}).get(), list), 0u);
}

// Short cases, then a long random mask whose trailing elements are false,
// against a plain count.
TEST(CountMask, LastTrueAndCount) {
    const struct {
        ArrayPtr mask;
        std::uint32_t last, count;
    } cases[] = {{Row({0, NAN, -0.0, 2}), 4, 2}, {Array({0, 0}), 0, 0}, {Row({3, 0, 0}), 1, 1}};
    std::uint32_t last = 99, count = 99;
    for (const auto &c : cases) {
        CountMask(c.mask.get(), last, count);
        EXPECT_EQ(std::make_pair(last, count), std::make_pair(c.last, c.count));
    }
    std::mt19937 rng(3);
    ArrayPtr mask = Array({1, 1000});
    std::uint32_t expectedLast = 0, expectedCount = 0;
    for (std::uint32_t i = 0; i < 1000; ++i) {
        const bool on = i < 990 && rng() % 2 == 0;
        mxGetPr(mask.get())[i] = on ? -1.0 : 0.0;
        if (on) expectedLast = i + 1, ++expectedCount;
    }
    CountMask(mask.get(), last, count);
    EXPECT_EQ(std::make_pair(last, count), std::make_pair(expectedLast, expectedCount));
}

// Against the insertion that defines the list: each rounded position put in
// place unless already there.
TEST(IndexToSortedPositions, MatchesInsertion) {
    std::mt19937 rng(5);
    ArrayPtr index = Array({1, 2000});
    List expected;
    for (int i = 0; i < 2000; ++i) {
        const double x = static_cast<double>(rng() % 500 + 1) + 0.25 * (rng() % 4) - 0.5;
        mxGetPr(index.get())[i] = x;
        const auto v = static_cast<std::uint32_t>(std::floor(x + 0.5));
        auto at = std::lower_bound(expected.begin(), expected.end(), v);
        if (at == expected.end() || *at != v) expected.insert(at, v);
    }
    EXPECT_EQ(ListOf(IndexToSortedPositions, index), expected);
}

TEST(PositionLists, AllocationFailureIsTheLibrarysException) {
    const ArrayPtr index = Row({1, 2, 3});
    for (auto fill : {IndexToPositions, MaskToPositions, IndexToSortedPositions}) {
        EXPECT_GT(matrix_test::ForEachAllocationFailure([&] { ListOf(fill, index); }, [] {}), 0);
    }
}

}  // namespace
