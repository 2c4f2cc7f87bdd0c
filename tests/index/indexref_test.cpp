// tests/index/indexref_test.cpp: tests of indexed reference A(I) and A(I,J).
#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

#include "index_test.h"

namespace {

using namespace index_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

TEST(Indexref, ColonsShareDataAndFoldShape) {
    ArrayPtr A = Seq({2, 3, 2}, mxComplexityComplex);
    ArrayPtr colon = Colon();
    ArrayPtr column(Indexref(A.get(), colon.get()));
    ArrayPtr matrix(Indexref(A.get(), colon.get(), colon.get()));
    EXPECT_EQ(Dims(column.get()), (DimList{12, 1}));
    EXPECT_EQ(Dims(matrix.get()), (DimList{2, 6}));
    for (const CMatrix *r : {column.get(), matrix.get()}) {
        EXPECT_EQ(r->GetPr(), A->GetPr());
        EXPECT_EQ(r->GetPi(), A->GetPi());
    }
}

// Every branch of the shape rule for an index array, each for a double and
// an int16 target: the result keeps the target's class, also when empty.
TEST(Indexref, IndexResultShapes) {
    struct Case {
        DimList a, index, expected;
    };
    const Case cases[] = {
        // A vector and a vector index: the target's orientation.
        {{1, 5}, {2, 1}, {1, 2}},
        {{5, 1}, {1, 2}, {2, 1}},
        {{1, 1}, {3, 1}, {1, 3}},
        {{1, 5}, {1, 1}, {1, 1}},
        // A vector and an empty two-dimensional index.
        {{4, 1}, {1, 0}, {0, 1}},
        {{1, 4}, {0, 1}, {1, 0}},
        {{1, 4}, {1, 0}, {1, 0}},
        {{1, 4}, {0, 3}, {0, 3}},
        {{4, 1}, {0, 0}, {0, 0}},
        {{1, 1}, {1, 0}, {1, 0}},
        {{1, 1}, {0, 1}, {0, 1}},
        // Everything else: the index's shape, all its dimensions.
        {{1, 5}, {2, 2}, {2, 2}},
        {{1, 5}, {1, 2, 2}, {1, 2, 2}},
        {{1, 5}, {1, 0, 2}, {1, 0, 2}},
        {{3, 3}, {2, 2}, {2, 2}},
        {{3, 3}, {1, 2}, {1, 2}},
        {{3, 3}, {2, 1}, {2, 1}},
        {{3, 3}, {1, 0}, {1, 0}},
        {{2, 2, 2}, {1, 3}, {1, 3}},
        {{2, 2, 2}, {3, 1}, {3, 1}},
    };
    for (const Case &c : cases) {
        for (mxClassID id : {mxClassDouble, mxClassInt16}) {
            ArrayPtr A = Array(c.a, id), I = Array(c.index);
            std::fill_n(mxGetPr(I.get()), I->GetNoElems(), 1.0);
            ArrayPtr R(Indexref(A.get(), I.get()));
            EXPECT_EQ(Dims(R.get()), c.expected)
                << ::testing::PrintToString(c.a) << " " << ::testing::PrintToString(c.index);
            EXPECT_EQ(R->GetClassID(), id);
        }
    }
    // A cell row is no vector (that takes a numeric class): the index's shape.
    ArrayPtr cells(mxCreateCellMatrix(1, 3));
    EXPECT_EQ(Dims(ArrayPtr(Indexref(cells.get(), Col({1, 3}).get())).get()), (DimList{2, 1}));
}

TEST(Indexref, MaskResultShapes) {
    struct Case {
        DimList a, mask;
        ValueList maskValues;
        DimList expected;
        ValueList values;  // of Seq(a)
    };
    const Case cases[] = {
        // A vector keeps its orientation, whatever the mask's.
        {{1, 5}, {5, 1}, {0, 1, 0, 1, 1}, {1, 3}, {2, 4, 5}},
        {{5, 1}, {1, 5}, {1, 1, 0, 0, 0}, {2, 1}, {1, 2}},
        {{1, 1}, {3, 1}, {1, 0, 0}, {1, 1}, {1}},
        // Otherwise a two-dimensional one-row mask gives a row, any other a column.
        {{2, 3}, {1, 6}, {1, 0, 1, 0, 1, 0}, {1, 3}, {1, 3, 5}},
        {{2, 3}, {6, 1}, {1, 0, 1, 0, 1, 0}, {3, 1}, {1, 3, 5}},
        {{2, 3}, {2, 3}, {0, 1, 1, 0, 0, 1}, {3, 1}, {2, 3, 6}},
        {{2, 3}, {1, 3, 2}, {0, 1, 1, 0, 0, 1}, {3, 1}, {2, 3, 6}},
        {{2, 2, 2}, {1, 8}, {0, 0, 0, 0, 0, 0, 1, 1}, {1, 2}, {7, 8}},
        {{2, 2}, {1, 6}, {1, 0, 0, 1, 0, 0}, {1, 2}, {1, 4}},  // longer, false beyond A
        {{1, 4}, {1, 4}, {0, NAN, -0.0, 2}, {1, 2}, {2, 4}},   // NaN true, -0 false
    };
    for (const Case &c : cases) {
        ArrayPtr R(Indexref(Seq(c.a).get(), Mask(c.maskValues, c.mask).get()));
        EXPECT_EQ(Dims(R.get()), c.expected);
        EXPECT_EQ(Values(R.get()), c.values);
    }
    // No true element: 0x0 real double, whatever A is.
    ArrayPtr A = Array({2, 2}, mxClassInt16, mxComplexityComplex);
    for (const DimList &d : {DimList{1, 4}, DimList{0, 0}, DimList{1, 0}}) {
        ArrayPtr R(Indexref(A.get(), Mask(ValueList(d[0] * d[1], 0.0), d).get()));
        EXPECT_EQ(Dims(R.get()), (DimList{0, 0}));
        EXPECT_TRUE(R->IsDouble() && !R->IsComplex());
    }
}

// An empty subscript gives an empty real double result whose other extent
// is what the other subscript selects.
TEST(Indexref, TwoSubscriptsWithEmptySubscript) {
    ArrayPtr A = Array({3, 2, 2}, mxClassInt16, mxComplexityComplex);  // 3 rows, 4 columns
    ArrayPtr empty = Array({1, 0}), empty00 = Array({0, 0}, mxClassInt32), colon = Colon();
    ArrayPtr jMask = Mask({1, 0, 1, 1, 0}), jIndex = Filled({2, 2}, {1, 4, 4, 2});
    ArrayPtr iMask = Mask({1, 0, 1}), iIndex = Row({3, 1});
    const struct {
        const CMatrix *i, *j;
        DimList expected;
    } cases[] = {
        {empty.get(), empty.get(), {0, 0}},   {empty.get(), empty00.get(), {0, 0}},
        {empty.get(), colon.get(), {0, 4}},   {empty00.get(), jMask.get(), {0, 3}},
        {empty.get(), jIndex.get(), {0, 4}},  {iIndex.get(), empty.get(), {2, 0}},
        {colon.get(), empty.get(), {3, 0}},   {iMask.get(), empty00.get(), {2, 0}},
        {colon.get(), empty00.get(), {3, 0}},
    };
    for (const auto &c : cases) {
        ArrayPtr R(Indexref(A.get(), c.i, c.j));
        EXPECT_EQ(Dims(R.get()), c.expected);
        EXPECT_TRUE(R->IsDouble() && !R->IsComplex());
    }
}

// Every refusal, the row subscript before the column subscript and each
// first offender first, with nothing allocated and no argument changed.
// Negative and huge indices are judged by value, not by what they wrap to.
TEST(Indexref, Refusals) {
    std::vector<std::tuple<Error, ArrayPtr, ArrayPtr>> cases;
    auto add = [&](const Error &e, ArrayPtr i, ArrayPtr j) {
        cases.emplace_back(e, std::move(i), std::move(j));
    };
    for (const ValueList &v :
         {ValueList{0}, {-3}, {0.49}, {-0.5}, {NAN}, {1, NAN, 9}, {2, 0, 9}, {-INFINITY}}) {
        add(kZero, Row(v), nullptr);
    }
    for (const ValueList &v : {ValueList{5}, {4.5}, {9, 0}, {0x1p32 + 1}, {INFINITY}})
        add(kBeyond, Row(v), nullptr);
    add(kZero, U32({0}), nullptr);
    add(kBeyond, U32({9, 0}), nullptr);
    add(kBeyond, Mask({0, 0, 0, 0, 1}), nullptr);
    // One-subscript masks are read in class double only, even all false.
    add(kClass, U32({1, 0}, true), nullptr);
    add(kClass, U32({0}, true), nullptr);
    add(kClass, Logical(Zeroed({1, 1}, mxClassInt32)), nullptr);
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassUint8, mxClassChar}) {
        add(kClass, Zeroed({1, 1}, id), nullptr);
        add(kClass, Zeroed({1, 0}, id), nullptr);
    }
    // Two subscripts, against 2 rows and 2 folded columns.
    const std::tuple<ValueList, ValueList, Error> pairs[] = {
        {{3}, {1}, kBeyond},       {{0}, {1}, kZero},
        {{1}, {0}, kZero},         {{1}, {3}, kBeyond},
        {{3}, {0}, kBeyond},       {{0}, {3}, kZero},
        {{NAN}, {1}, kZero},       {{0x1p32 + 1}, {1}, kBeyond},
        {{1, 2}, {2, NAN}, kZero}, {{2, 9, 0}, {1}, kBeyond}};
    for (const auto &p : pairs) add(std::get<2>(p), Row(std::get<0>(p)), Row(std::get<1>(p)));
    add(kBeyond, Mask({0, 0, 1}), Colon());
    add(kZero, Colon(), U32({0}));
    for (mxClassID id : {mxClassInt32, mxClassSingle}) {
        add(kClass, Zeroed({1, 1}, id), Row({1}));
        add(kClass, Row({1}), Logical(Zeroed({1, 1}, id)));
    }
    add(kBeyond, Row({3}), Zeroed({1, 1}, mxClassInt32));  // the row error first
    // An empty subscript: the other one is only counted, a mask in class double.
    add(kBeyond, Array({1, 0}), Row({3}));
    add(kBeyond, Array({1, 0}), Mask({0, 0, 1}));
    add(kBeyond, Row({3}), Array({1, 0}));
    add(kZero, Row({0}), Array({1, 0}));
    add(kClass, Array({1, 0}), U32({1}, true));
    add(kClass, Zeroed({1, 1}, mxClassInt32), Array({1, 0}));
    ArrayPtr A = Seq({2, 1, 2});
    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(k);
        const CMatrix *i = std::get<1>(cases[k]).get(), *j = std::get<2>(cases[k]).get();
        ExpectRefused(std::get<0>(cases[k]), A,
                      [&](CMatrix *&a) { ArrayPtr r(j ? Indexref(a, i, j) : Indexref(a, i)); },
                      {i, j});
    }
}

// Masks of every density, read in words of 64 elements (full, dense,
// sparse, a last one cut short, false ones beyond A), and the same
// positions as an index, against a plain selection for each element size.
TEST(Indexref, SelectionMatchesPlainLoop) {
    std::mt19937 rng(5);
    const unsigned int n = 300;
    for (mxClassID id : {mxClassInt8, mxClassInt16, mxClassSingle, mxClassDouble}) {
        ArrayPtr A = Array({n, 1}, id, mxComplexityComplex);
        const std::size_t size = A->GetElementSize();
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
                const auto expected = Picked(Bytes(A.get(), imag), size, positions);
                EXPECT_EQ(Bytes(byMask.get(), imag), expected) << id << " " << density;
                EXPECT_EQ(Bytes(byIndex.get(), imag), expected) << id << " " << density;
            }
        }
    }
}

// Random subscripts of every kind against a plain loop over the positions,
// on complex targets of two and three dimensions.
TEST(Indexref, TwoSubscriptsMatchPlainLoop) {
    std::mt19937 rng(11);
    auto subscript = [&rng](unsigned int extent, std::vector<unsigned int> &positions) {
        positions.clear();
        const unsigned int kind = rng() % 5, n = 1 + rng() % 7, first = 1 + rng() % extent;
        if (kind <= 1) {  // the colon, or a double or uint32 mask longer than the extent
            std::vector<std::uint32_t> on(extent + 2, 0);
            for (unsigned int p = 1; p <= extent; ++p) {
                if (kind == 0 || rng() % 2) on[p - 1] = 3, positions.push_back(p);
            }
            if (kind == 0) return Colon();
            return rng() % 2 ? U32(on, true) : Mask(ValueList(on.begin(), on.end()));
        }
        for (unsigned int k = 0; k < n; ++k) {
            positions.push_back(kind == 3 ? std::min(first + k, extent) : 1 + rng() % extent);
        }
        if (kind != 2) return U32(positions);  // a run of consecutive positions, or random ones
        ValueList near;                        // a double index, off by less than a half
        for (unsigned int p : positions) near.push_back(p + 0.1 * (rng() % 9) - 0.4);
        return Col(near);
    };
    for (int trial = 0; trial < 200; ++trial) {
        const unsigned int m = 1 + rng() % 6, n1 = 1 + rng() % 4, n2 = 1 + rng() % 2;
        ArrayPtr A = Seq({m, n1, n2}, mxComplexityComplex);
        std::vector<unsigned int> rows, columns;
        ArrayPtr I = subscript(m, rows), J = subscript(n1 * n2, columns);
        if (I->IsColon() && J->IsColon()) continue;
        ArrayPtr R(Indexref(A.get(), I.get(), J.get()));
        ASSERT_EQ(Dims(R.get()), (DimList{static_cast<unsigned int>(rows.size()),
                                          static_cast<unsigned int>(columns.size())}));
        ValueList re, im;
        for (unsigned int q : columns) {
            for (unsigned int p : rows) {
                re.push_back(mxGetPr(A.get())[(p - 1) + (q - 1) * m]);
                im.push_back(mxGetPi(A.get())[(p - 1) + (q - 1) * m]);
            }
        }
        EXPECT_EQ(Values(R.get()), re);
        EXPECT_EQ(ImagValues(R.get()), re.empty() ? ValueList{} : im);
    }
}

// Every class goes by its element size on each path, bytes unchanged, in
// the selected order; the result is never logical.
TEST(Indexref, EveryClassKeepsBytesAndDropsLogical) {
    using Positions = std::vector<unsigned int>;
    for (mxClassID id : kEveryClass) {
        ArrayPtr A = Array({2, 3}, id);
        const std::vector<unsigned char> bytes = FillBytes(A.get());
        A->SetLogical();
        const struct {
            ArrayPtr result;
            Positions positions;
        } cases[] = {
            {ArrayPtr(Indexref(A.get(), Row({5.6, 0.5, 6.4, 3.5}).get())), {6, 1, 6, 4}},
            {ArrayPtr(Indexref(A.get(), U32({6, 1, 6, 4}).get())), {6, 1, 6, 4}},
            {ArrayPtr(Indexref(A.get(), Mask({1, 0, 0, 1, 0, 1}).get())), {1, 4, 6}},
            {ArrayPtr(Indexref(A.get(), Row({2, 1}).get(), Row({3, 1}).get())), {6, 5, 2, 1}},
            {ArrayPtr(Indexref(A.get(), Colon().get(), Row({2, 2}).get())), {3, 4, 3, 4}},
        };
        for (const auto &c : cases) {
            EXPECT_EQ(c.result->GetClassID(), id);
            EXPECT_EQ(c.result->GetFlags(), 0u);
            EXPECT_EQ(Bytes(c.result.get()), Picked(bytes, A->GetElementSize(), c.positions)) << id;
        }
    }
}

// Each copied slot is an array object of its own sharing the element's
// data, so source and result can be destroyed in either order.
TEST(Indexref, CellSlotsOwnTheirShares) {
    for (bool resultFirst : {false, true}) {
        const LiveBlocks blocks;
        {
            ArrayPtr A(mxCreateCellMatrix(1, 3));
            mxSetCell(A.get(), 0, Scalar(1));
            mxSetCell(A.get(), 2, Scalar(3));
            ArrayPtr I = Row({3, 1, 2, 3});
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

// Every allocation of every path failing in turn, also a cell slot's share.
TEST(Indexref, AllocationFailuresLeaveNothing) {
    ArrayPtr cell = Cells(2, 2), numeric = Seq({2, 2}, mxComplexityComplex);
    ArrayPtr I = Row({4, 1, 4}), rows = Row({2, 1, 2}), one = Row({2});
    ArrayPtr mask = Mask({1, 0, 1, 1}), colon = Colon();
    for (const CMatrix *A : {cell.get(), numeric.get()}) {
        for (const auto &call : std::vector<std::function<CMatrix *()>>{
                 [&] { return Indexref(A, I.get()); }, [&] { return Indexref(A, mask.get()); },
                 [&] { return Indexref(A, rows.get(), one.get()); },
                 [&] { return Indexref(A, colon.get()); },
                 [&] { return Indexref(A, colon.get(), colon.get()); }}) {
            EXPECT_GT(matrix_test::FailurePoints(call, {A}), 0);
        }
    }
}

}  // namespace
