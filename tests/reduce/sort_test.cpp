// tests/reduce/sort_test.cpp: Sort against std::stable_sort under the order
// the header states (ties, NaNs, signed zeros, positions), and its refusals.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "reduce/class_order_reference.h"
#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

// The stated order: numbers by value (+0 and -0 equal), NaNs after them in
// ascending order and before them in descending order.
bool Before(double a, double b, SortOrder order) {
    if (std::isnan(a) || std::isnan(b)) {
        return order == SortOrder::kAscend ? !std::isnan(a) : !std::isnan(b);
    }
    return order == SortOrder::kAscend ? a < b : a > b;
}

// Values with many ties, both zeros, infinities and NaNs of several bit
// patterns.
ArrayPtr Tied(const DimList &dims, std::mt19937_64 &random) {
    const ValueList pool = {1.5,  -2.0,        0.0,          -0.0, kInf,   -kInf,
                            kNaN, kNegatedNaN, std::nan(""), 3.0,  1e-310, -7.25};
    ArrayPtr a = Array(dims);
    std::uniform_real_distribution<double> uniform(-10, 10);
    for (std::size_t k = 0; k < a->GetNoElems(); ++k) {
        mxGetPr(a.get())[k] = random() % 2 ? pool[random() % pool.size()] : uniform(random);
    }
    return a;
}

// Every line of both outputs against a stable sort of the line's positions;
// the one-output form gives the same values. Lengths on both sides of the
// switch from insertion to radix sort; strided lines in whole and partial
// blocks of eight.
TEST(Sort, StableUnderTheStatedOrderWithPositions) {
    std::mt19937_64 random(Seed());
    for (const DimList &dims :
         {DimList{10, 3}, DimList{47, 2}, DimList{48, 1}, DimList{49, 2}, DimList{3, 500},
          DimList{19, 50}, DimList{3000, 1}, DimList{4, 60, 2}}) {
        const ArrayPtr a = Tied(dims, random);
        const double *x = mxGetPr(a.get());
        for (SortOrder order : {SortOrder::kAscend, SortOrder::kDescend}) {
            for (unsigned dim = 1; dim <= dims.size(); ++dim) {
                SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(dims) << " dim "
                                                  << dim << " order " << int(order));
                CMatrix *y = nullptr, *i = nullptr;
                Sort(y, i, a.get(), dim, order);
                const ArrayPtr values(y), positions(i), alone(Sort(a.get(), dim, order));
                EXPECT_TRUE(SameArray(alone.get(), values.get()));
                ASSERT_TRUE(Dims(values.get()) == dims && Dims(positions.get()) == dims);
                std::size_t before = 1, after = 1;
                for (unsigned d = 0; d < dims.size(); ++d) {
                    if (d + 1 < dim) before *= dims[d];
                    if (d + 1 > dim) after *= dims[d];
                }
                const std::size_t n = dims[dim - 1];
                for (std::size_t line = 0; line < before * after; ++line) {
                    const std::size_t first = (line / before) * before * n + line % before;
                    std::vector<std::size_t> k(n);
                    std::iota(k.begin(), k.end(), 0);
                    std::stable_sort(k.begin(), k.end(), [&](std::size_t p, std::size_t q) {
                        return Before(x[first + p * before], x[first + q * before], order);
                    });
                    for (std::size_t j = 0; j < n; ++j) {
                        const std::size_t at = first + j * before;
                        ASSERT_EQ(Bits(mxGetPr(values.get())[at]), Bits(x[first + k[j] * before]));
                        ASSERT_EQ(mxGetPr(positions.get())[at], double(k[j] + 1));
                    }
                }
            }
        }
    }
}

// Long strided lines go fewer to a block (here two, then one): each row of
// a 3 x 600000 array sorted along dimension 2 as the same row alone.
TEST(Sort, LongStridedLinesOneAtATime) {
    std::mt19937_64 random(Seed());
    const std::size_t n = 600000;
    const ArrayPtr a = Tied({3, static_cast<unsigned int>(n)}, random);
    CMatrix *y = nullptr, *i = nullptr;
    Sort(y, i, a.get(), 2u, SortOrder::kDescend);
    const ArrayPtr values(y), positions(i);
    for (std::size_t r = 0; r < 3; ++r) {
        const ArrayPtr row = Array({1, static_cast<unsigned int>(n)});
        for (std::size_t k = 0; k < n; ++k) mxGetPr(row.get())[k] = mxGetPr(a.get())[r + 3 * k];
        CMatrix *ry = nullptr, *ri = nullptr;
        Sort(ry, ri, row.get(), 2u, SortOrder::kDescend);
        const ArrayPtr rowValues(ry), rowPositions(ri);
        for (std::size_t k = 0; k < n; ++k) {
            ASSERT_EQ(Bits(mxGetPr(values.get())[r + 3 * k]), Bits(mxGetPr(rowValues.get())[k]));
            ASSERT_EQ(mxGetPr(positions.get())[r + 3 * k], mxGetPr(rowPositions.get())[k]);
        }
    }
}

TEST(Sort, SmallExamplesDefaultDimensionAndBeyondTheLast) {
    const ArrayPtr row = Row({3, -0.0, kNaN, 0.0, -1, 3});
    CMatrix *y = nullptr, *i = nullptr;
    Sort(y, i, row.get(), SortOrder::kDescend);
    const ArrayPtr values(y), positions(i);
    EXPECT_EQ(BitsOf(values.get()), BitsOf({kNaN, 3, 3, -0.0, 0.0, -1}));
    EXPECT_EQ(Values(positions.get()), ValueList({3, 1, 6, 2, 4, 5}));
    EXPECT_EQ(BitsOf(ArrayPtr(Sort(row.get())).get()), BitsOf({-1, -0.0, 0.0, 3, 3, kNaN}));
    const ArrayPtr deep = Filled({1, 1, 3}, {2, 1, 3});
    EXPECT_EQ(Values(ArrayPtr(Sort(deep.get())).get()), ValueList({1, 2, 3}));
    EXPECT_EQ(Dims(ArrayPtr(Sort(ArrayPtr(Array({0, 0})).get())).get()), DimList({0, 0}));
    // One element per line: A shared, every position 1.
    Sort(y, i, row.get(), 3);
    const ArrayPtr shared(y), ones(i);
    EXPECT_TRUE(shared->GetPr() == row->GetPr() && Values(ones.get()) == ValueList(6, 1.0));
    // The Array form binds both outputs.
    const auto [s, k] = Sort(kiv::matrix::Array({4.0, 1.0, 2.0}));
    EXPECT_EQ(Values(s.get()), ValueList({1, 2, 4}));
    EXPECT_EQ(Values(k.get()), ValueList({2, 3, 1}));
}

// Every class against the reference order, along a row and a column: the
// class, flags and complexity stay, each element keeps its bytes.
TEST(Sort, EveryClassAgainstTheReferenceOrder) {
    for (const ArrayPtr &row : ClassOrderRows()) {
        for (const ArrayPtr &a : {AsColumn(row.get()), ArrayPtr(row->CreateShareArray())}) {
            for (const SortOrder order : {SortOrder::kAscend, SortOrder::kDescend}) {
                SCOPED_TRACE(::testing::Message()
                             << a->GetClassID() << " " << Dims(a.get())[0]
                             << (order == SortOrder::kDescend ? " descend" : ""));
                const Snapshots before({a.get()});
                CMatrix *y = nullptr, *i = nullptr;
                Sort(y, i, a.get(), order);
                const ArrayPtr values(y), positions(i);
                const ValueList want = ReferenceSort(a.get(), order == SortOrder::kDescend);
                EXPECT_EQ(Values(positions.get()), want);
                EXPECT_TRUE(values->GetClassID() == a->GetClassID() &&
                            values->IsLogical() == a->IsLogical() &&
                            Dims(values.get()) == Dims(a.get()));
                const std::size_t size = a->GetElementSize();
                EXPECT_EQ(Bytes(values.get()), Picked(Bytes(a.get()), size, want));
                EXPECT_EQ(Bytes(values.get(), true),
                          a->GetPi() == nullptr ? Bytes(a.get(), true)
                                                : Picked(Bytes(a.get(), true), size, want));
                EXPECT_TRUE(SameArray(ArrayPtr(Sort(a.get(), order)).get(), values.get()));
                EXPECT_TRUE(before.Unchanged());
            }
        }
    }
}

TEST(Sort, Refusals) {
    const Expected badDim =
        Expected::Throws(CFunctionErrorException(L"Dimension argument must be a positive integer"));
    std::vector<ArrayPtr> others = NonRealDoubleOperands();
    const ArrayPtr good = Counted({2, 2}), held = Row({7});
    const CMatrix *m = good.get(), *h = held.get();
    CMatrix *y = held.get(), *i = held.get();
    std::vector<Refusal> table = {
        {"dim 0", [m] { ArrayPtr(Sort(m, 0u)); }, badDim, {m}},
        {"dim 0, two outputs", [&] { Sort(y, i, m, 0u, SortOrder::kDescend); }, badDim, {m, h}}};
    // Every class that holds numbers is sorted; a cell is refused.
    const CMatrix *o = others.back().get();
    table.push_back({"class", [o] { ArrayPtr(Sort(o)); }, NotImplemented(), {o}});
    table.push_back({"class", [o] { ArrayPtr(Sort(o, 2u)); }, NotImplemented(), {o}});
    table.push_back({"class", [&, o] { Sort(y, i, o); }, NotImplemented(), {o, h}});
    ExpectRefusals(table);
    EXPECT_TRUE(y == held.get() && i == held.get());
}

}  // namespace
