// tests/construct/constructors_test.cpp: filled arrays, identity, ranges, diagonals and resets.
#include <matrix/matrix.h>

#include <climits>
#include <tuple>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

void ExpectRealDouble(const CMatrix *a, const DimList &dims, const ValueList &values) {
    EXPECT_EQ(Dims(a), dims);
    EXPECT_EQ(BitsOf(a), BitsOf(values));
    EXPECT_TRUE(a->IsDouble() && !a->IsComplex() && a->GetFlags() == 0u);
}

// Calls every form of a filled-array family, in this order: each result has
// its normalised shape and holds, in storage order, the next values `next`
// gives. For Rand and Randn `next` is the generator itself, reseeded: every
// form draws once per element in storage order.
template <typename Make>
void ExpectFilledForms(Make make, double (*next)()) {
    const unsigned long long seed = Seed();
    ValueList reference;
    kiv::RandSeed(seed);
    for (int i = 0; i < 48; ++i) reference.push_back(next());
    kiv::RandSeed(seed);
    const unsigned int trailingOnes[] = {2, 3, 1, 1}, zeroMiddle[] = {2, 0, 3};
    const struct {
        ArrayPtr a;
        DimList dims;
    } forms[] = {{ArrayPtr(make(3u)), {3, 3}},
                 {ArrayPtr(make(2u, 4u)), {2, 4}},
                 {ArrayPtr(make(2u, 3u, 1u)), {2, 3}},
                 {ArrayPtr(make(4u, trailingOnes)), {2, 3}},
                 {ArrayPtr(make(3u, zeroMiddle)), {2, 0, 3}}};
    auto from = reference.begin();
    for (const auto &[a, dims] : forms) {
        ExpectRealDouble(a.get(), dims, {from, from + a->GetNoElems()});
        from += a->GetNoElems();
    }
    EXPECT_EQ(Bits(next()), Bits(*from));
}

TEST(FilledArrays, EveryFormOfZerosOnesRandAndRandn) {
    ExpectFilledForms([](auto... args) { return Zeros(args...); }, [] { return 0.0; });
    ExpectFilledForms([](auto... args) { return Ones(args...); }, [] { return 1.0; });
    ExpectFilledForms([](auto... args) { return Rand(args...); }, kiv::Rand);
    ExpectFilledForms([](auto... args) { return Randn(args...); }, kiv::Randn);
}

// Count from the truncated quotient (-0.5 truncates to 0); values by a
// running sum, not start + i * step, with no tolerance pulling the last
// value onto end.
TEST(Colon, TruncatesTheCountAndSumsStepByStep) {
    const struct {
        double start, step, end;
        unsigned int count;
    } cases[] = {{1, 1, 0.5, 1}, {0, 0.1, 1, 11}, {-1e16, 3, -1e16 + 40, 14}, {1, -0.0, 5, 0}};
    for (const auto &c : cases) {
        ValueList expected;
        for (double x = c.start; expected.size() < c.count; x += c.step) expected.push_back(x);
        ExpectRealDouble(ArrayPtr(Colon(c.start, c.step, c.end)).get(), {1, c.count}, expected);
    }
    EXPECT_EQ(Values(ArrayPtr(Colon(1.0, 5.0)).get()), (ValueList{1, 2, 3, 4, 5}));
}

// Eye has ones on the main diagonal only; Scalar keeps every bit. A vector
// (values, or a row or column array, logical or not) goes on diagonal k of
// a square matrix; a matrix gives its diagonal k as a column.
TEST(Diag, EyeScalarAndDiagonals) {
    const double v[] = {7, 8};
    ArrayPtr row = Row({7, 8}), m = Counted({2, 4}), t = Counted({4, 2});
    row->SetLogical();
    const std::tuple<CMatrix *, DimList, ValueList> cases[] = {
        {Eye(2, 3), {2, 3}, {1, 0, 0, 1, 0, 0}},
        {Scalar(kNegatedNaN), {1, 1}, {kNegatedNaN}},
        {Diag(row.get(), 1), {3, 3}, {0, 0, 0, 7, 0, 0, 0, 8, 0}},
        {Diag(2, v, -1), {3, 3}, {0, 7, 0, 0, 0, 8, 0, 0, 0}},
        {Diag(m.get(), 2), {2, 1}, {5, 8}},
        {Diag(t.get(), INT_MIN), {0, 1}, {}},
        {Diag(Array({0, 3}).get(), 1), {0, 0}, {}}};
    for (const auto &[a, dims, values] : cases) ExpectRealDouble(ArrayPtr(a).get(), dims, values);
}

// Initialize fills in place, keeping shape, flags and counter but not the
// imaginary part; a sharer unshares first. Empty replaces any array but a
// 0x0 one by a real double 0x0, destroying the old one.
TEST(Initialize, FillsInPlaceAndEmptyReplaces) {
    ArrayPtr owner = Array({2, 3, 2}, mxClassDouble, mxComplexityComplex);
    CMatrix *a = owner.get();
    a->SetLogical();
    a->IncCounter();
    Initialize(a, kNaN);
    EXPECT_TRUE(a == owner.get() && Dims(a) == (DimList{2, 3, 2}) && !a->IsComplex());
    EXPECT_TRUE(a->GetCounter() == 1 && a->GetFlags() == 1u);
    EXPECT_EQ(BitsOf(a), BitsOf(ValueList(12, kNaN)));
    ArrayPtr original = Complex(1, 2, {1, 2}, {3, 4}), share(original->CreateShareArray());
    const Snapshots before({original.get()});
    a = share.get();
    Initialize(a, -2.0);
    EXPECT_TRUE(Values(a) == (ValueList{-2, -2}) && before.Unchanged());

    ArrayPtr zero = Array({0, 0}, mxClassChar);
    const LiveBlocks blocks;
    a = zero.get();
    Empty(a);
    EXPECT_EQ(a, zero.get());
    for (CMatrix *x : {static_cast<CMatrix *>(nullptr), Array({1, 0}).release(),
                       Array({2, 0, 3}).release(), Cells(1, 1).release()}) {
        Empty(x);
        ExpectRealDouble(ArrayPtr(x).get(), {0, 0}, {});
    }
    EXPECT_EQ(blocks.Delta(), 0);  // the old arrays, cell elements included, are gone
}

}  // namespace
