// tests/construct/constructors_test.cpp: filled arrays, identity, ranges, diagonals and resets.
#include <matrix/matrix.h>

#include <climits>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

void ExpectRealDouble(const CMatrix *a, const DimList &dims) {
    EXPECT_EQ(Dims(a), dims);
    EXPECT_TRUE(a->IsDouble() && !a->IsComplex() && a->GetFlags() == 0u);
}

// Calls every form of a filled-array family, in this order, and checks each
// result's normalised shape and that its values, in storage order, are the
// next ones `next` gives. For Rand and Randn `next` is the generator itself,
// reseeded: every form draws once per element in storage order.
template <typename Make>
void ExpectFilledForms(Make make, double (*next)()) {
    const unsigned long long seed = Seed();
    ValueList reference;
    kiv::RandSeed(seed);
    for (int i = 0; i < 64; ++i) reference.push_back(next());
    kiv::RandSeed(seed);
    const unsigned int trailingOnes[] = {2, 3, 1, 1}, single[] = {5}, zeroMiddle[] = {2, 0, 3};
    const struct {
        ArrayPtr a;
        DimList dims;
    } forms[] = {{ArrayPtr(make(3u)), {3, 3}},
                 {ArrayPtr(make(0u)), {0, 0}},
                 {ArrayPtr(make(2u, 4u)), {2, 4}},
                 {ArrayPtr(make(2u, 3u, 4u)), {2, 3, 4}},
                 {ArrayPtr(make(2u, 3u, 1u)), {2, 3}},
                 {ArrayPtr(make(1u, 1u, 4u)), {1, 1, 4}},
                 {ArrayPtr(make(4u, trailingOnes)), {2, 3}},
                 {ArrayPtr(make(1u, single)), {5, 1}},
                 {ArrayPtr(make(0u, static_cast<const unsigned int *>(nullptr))), {0, 0}},
                 {ArrayPtr(make(3u, zeroMiddle)), {2, 0, 3}}};
    ValueList values;
    for (const auto &[a, dims] : forms) {
        ExpectRealDouble(a.get(), dims);
        for (double x : Values(a.get())) values.push_back(x);
    }
    EXPECT_EQ(BitsOf(values), BitsOf({reference.begin(), reference.begin() + values.size()}));
    EXPECT_EQ(Bits(next()), Bits(reference[values.size()]));
}

TEST(FilledArrays, EveryFormOfZerosOnesRandAndRandn) {
    ExpectFilledForms([](auto... args) { return Zeros(args...); }, [] { return 0.0; });
    ExpectFilledForms([](auto... args) { return Ones(args...); }, [] { return 1.0; });
    ExpectFilledForms([](auto... args) { return Rand(args...); }, kiv::Rand);
    ExpectFilledForms([](auto... args) { return Randn(args...); }, kiv::Randn);
}

TEST(Eye, OnesOnTheMainDiagonalOnly) {
    const std::pair<CMatrix *, ValueList> cases[] = {{Eye(2, 3), {1, 0, 0, 1, 0, 0}},
                                                     {Eye(3, 2), {1, 0, 0, 0, 1, 0}},
                                                     {Eye(2), {1, 0, 0, 1}},
                                                     {Eye(0), {}},
                                                     {Eye(0, 3), {}}};
    const DimList dims[] = {{2, 3}, {3, 2}, {2, 2}, {0, 0}, {0, 3}};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        ArrayPtr a(cases[k].first);
        ExpectRealDouble(a.get(), dims[k]);
        EXPECT_EQ(Values(a.get()), cases[k].second);
    }
    for (double x : {2.5, -0.0, kInf, -kInf, kNaN, kNegatedNaN, 4.9e-324}) {
        ArrayPtr s(Scalar(x));
        ExpectRealDouble(s.get(), {1, 1});
        EXPECT_EQ(Bits(mxGetPr(s.get())[0]), Bits(x));
    }
}

TEST(Colon, TruncatesTheCountAndSumsStepByStep) {
    // Count from the truncated quotient; values by a running sum, not
    // start + i * step, with no tolerance pulling the last value onto end.
    const struct {
        double start, step, end;
        unsigned int count;
    } cases[] = {{1, 1, 5, 5},
                 {5, -1, 1, 5},
                 {1, 1, 0.5, 1},  // -0.5 truncates to 0
                 {5, 1, 1.5, 0},
                 {0, 0.1, 1, 11},
                 {0, 0.1, 0.3, 3},
                 {1, -0.3, -2, 11},
                 {-1e16, 3, -1e16 + 40, 14},
                 {2, kInf, 5, 1},
                 {1, 0, 5, 0},
                 {1, -0.0, 5, 0},
                 {kNaN, 1, 5, 0},
                 {1, kNaN, 5, 0},
                 {1, 1, kNaN, 0},
                 {0, 1, kInf, 0},
                 {-kInf, 1, 0, 0},
                 {kInf, 1, kInf, 0},
                 {0, 1, 2147483647.0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << ':' << c.step << ':' << c.end);
        ArrayPtr a(Colon(c.start, c.step, c.end));
        ExpectRealDouble(a.get(), {1, c.count});
        ValueList expected;
        for (double x = c.start; expected.size() < c.count; x += c.step) expected.push_back(x);
        EXPECT_EQ(BitsOf(a.get()), BitsOf(expected));
    }
    EXPECT_EQ(Values(ArrayPtr(Colon(1.0, 5.0)).get()), (ValueList{1, 2, 3, 4, 5}));
}

TEST(Diag, VectorGoesOnDiagonalKOfASquareMatrix) {
    const double v[] = {7, 8};
    const struct {
        unsigned int n;
        int k;
        unsigned int size;
        ValueList values;
    } cases[] = {{2, 0, 2, {7, 0, 0, 8}},
                 {2, 1, 3, {0, 0, 0, 7, 0, 0, 0, 8, 0}},
                 {2, -1, 3, {0, 7, 0, 0, 0, 8, 0, 0, 0}},
                 {1, -2, 3, {0, 0, 7, 0, 0, 0, 0, 0, 0}},
                 {0, 2, 2, {0, 0, 0, 0}},
                 {0, 0, 0, {}}};
    ArrayPtr row = Row({7, 8}), column = Col({7, 8});
    row->SetLogical();
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.n << " on " << c.k);
        ArrayPtr a(Diag(c.n, c.n == 0 ? nullptr : v, c.k));
        ExpectRealDouble(a.get(), {c.size, c.size});
        EXPECT_EQ(Values(a.get()), c.values);
        if (c.n != 2) continue;
        for (const CMatrix *source : {row.get(), column.get()}) {
            EXPECT_EQ(Values(ArrayPtr(Diag(source, c.k)).get()), c.values);
        }
    }
    EXPECT_EQ(Values(ArrayPtr(Diag(Row({4}).get(), 1)).get()), (ValueList{0, 0, 4, 0}));
}

TEST(Diag, MatrixGivesDiagonalKAsAColumn) {
    ArrayPtr square = Counted({3, 3}), wide = Counted({2, 4}), tall = Counted({4, 2});
    const struct {
        const CMatrix *a;
        int k;
        ValueList diagonal;
    } cases[] = {{square.get(), 0, {1, 5, 9}}, {square.get(), 1, {4, 8}},
                 {square.get(), -2, {3}},      {square.get(), 3, {}},
                 {square.get(), INT_MAX, {}},  {square.get(), INT_MIN, {}},
                 {wide.get(), 2, {5, 8}},      {wide.get(), -1, {2}},
                 {tall.get(), -2, {3, 8}},     {tall.get(), 1, {5}}};
    for (const auto &c : cases) {
        ArrayPtr d(Diag(c.a, c.k));
        ExpectRealDouble(d.get(), {static_cast<unsigned int>(c.diagonal.size()), 1});
        EXPECT_EQ(Values(d.get()), c.diagonal) << c.k;
    }
    for (const DimList &dims : {DimList{0, 3}, DimList{3, 0}, DimList{0, 0}}) {
        ExpectRealDouble(ArrayPtr(Diag(Array(dims).get(), 1)).get(), {0, 0});
    }
}

TEST(Initialize, FillsInPlaceKeepingShapeFlagsAndCounterButNotTheImaginaryPart) {
    ArrayPtr owner = Array({2, 3, 2}, mxClassDouble, mxComplexityComplex);
    CMatrix *a = owner.get();
    a->SetLogical();
    a->IncCounter();
    Initialize(a, kNaN);
    EXPECT_EQ(a, owner.get());
    EXPECT_EQ(Dims(a), (DimList{2, 3, 2}));
    EXPECT_FALSE(a->IsComplex());
    EXPECT_TRUE(a->GetCounter() == 1 && a->GetFlags() == 1u);
    EXPECT_EQ(BitsOf(a), BitsOf(ValueList(12, kNaN)));
    // A sharer unshares first.
    ArrayPtr original = Complex(1, 2, {1, 2}, {3, 4}), share(original->CreateShareArray());
    const Snapshots before({original.get()});
    a = share.get();
    Initialize(a, -2.0);
    EXPECT_EQ(Values(a), (ValueList{-2, -2}));
    EXPECT_TRUE(before.Unchanged());
}

TEST(Empty, ReplacesAnyArrayButZeroByZeroWithARealDoubleZeroByZero) {
    const LiveBlocks blocks;
    for (const ArrayPtr &keep :
         {Array({0, 0}, mxClassChar), Array({0, 0}, mxClassDouble, mxComplexityComplex)}) {
        CMatrix *a = keep.get();
        const Snapshots before({a});
        Empty(a);
        EXPECT_TRUE(a == keep.get() && before.Unchanged());
    }
    CMatrix *arrays[] = {nullptr, Array({1, 0}).release(), Array({2, 0, 3}).release(),
                         Array({2, 2}, mxClassInt32).release(), Cells(1, 1).release()};
    for (CMatrix *&a : arrays) {
        Empty(a);
        ExpectRealDouble(ArrayPtr(a).get(), {0, 0});
    }
    EXPECT_EQ(blocks.Delta(), 0);  // the old arrays, cell elements included, are gone
}

}  // namespace
