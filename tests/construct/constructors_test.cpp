// tests/construct/constructors_test.cpp: filled arrays, identity, ranges, diagonals, resets
// and the text PrintMatrix writes.
#include <matrix/matrix.h>

#include <climits>
#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/matrix_test.h"
#include "support/stdout_capture.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

void ExpectRealDouble(const CMatrix *a, const DimList &dims, const ValueList &values) {
    EXPECT_EQ(Dims(a), dims);
    EXPECT_EQ(BitsOf(a), BitsOf(values));
    EXPECT_TRUE(a->IsDouble() && !a->IsComplex() && a->GetFlags() == 0u);
}

// Every form goes through one fill: the forms are checked with Rand, which
// draws once per element in storage order and no more; the fills with one
// array each.
TEST(FilledArrays, EveryFormAndEveryFill) {
    const unsigned int trailingOnes[] = {2, 3, 1, 1}, zeroMiddle[] = {2, 0, 3};
    ValueList draws;
    kiv::RandSeed(Seed());
    for (int i = 0; i < 40; ++i) draws.push_back(kiv::Rand());
    const double normal = (kiv::RandSeed(Seed()), kiv::Randn());
    kiv::RandSeed(Seed());
    const struct {
        ArrayPtr a;
        DimList dims;
    } forms[] = {{ArrayPtr(Rand(3u)), {3, 3}},
                 {ArrayPtr(Rand(2u, 3u, 1u)), {2, 3}},
                 {ArrayPtr(Rand(4u, trailingOnes)), {2, 3}},
                 {ArrayPtr(Rand(3u, zeroMiddle)), {2, 0, 3}}};
    auto from = draws.begin();
    for (const auto &[a, dims] : forms) {
        ExpectRealDouble(a.get(), dims, {from, from + a->GetNoElems()});
        from += a->GetNoElems();
    }
    EXPECT_EQ(Bits(kiv::Rand()), Bits(*from));
    kiv::RandSeed(Seed());
    ExpectRealDouble(ArrayPtr(Randn(1u)).get(), {1, 1}, {normal});
    ExpectRealDouble(ArrayPtr(Zeros(1u, 2u)).get(), {1, 2}, {0, 0});
    ExpectRealDouble(ArrayPtr(Ones(1u)).get(), {1, 1}, {1});
}

// Count from the truncated quotient (-0.5 truncates to 0); values by a
// running sum, not start + i * step, with no tolerance pulling the last
// value onto end.
TEST(Colon, TruncatesTheCountAndSumsStepByStep) {
    const std::tuple<double, double, double, unsigned int> cases[] = {
        {1, 1, 0.5, 1}, {0, 0.1, 1, 11}, {-1e16, 3, -1e16 + 40, 14}, {1, -0.0, 5, 0}};
    for (const auto &[start, step, end, count] : cases) {
        ValueList expected;
        for (double x = start; expected.size() < count; x += step) expected.push_back(x);
        ExpectRealDouble(ArrayPtr(Colon(start, step, end)).get(), {1, count}, expected);
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
    for (CMatrix *x : {static_cast<CMatrix *>(nullptr), Cells(1, 1).release()}) {
        Empty(x);
        ExpectRealDouble(ArrayPtr(x).get(), {0, 0}, {});
    }
    EXPECT_EQ(blocks.Delta(), 0);  // the old arrays, cell elements included, are gone
}

// Pages follow one another without a separator; from the third dimension
// on, lengths multiply into pages. Beyond 25 elements only the header.
TEST(PrintMatrix, WritesTheHeaderThenSmallDoubleArraysRowByRowPageByPage) {
    const std::tuple<ArrayPtr, const char *, std::string> cases[] = {
        {Filled({2, 4}, {kNaN, -0.0, -kInf, kNegatedNaN, kInf, 4.9e-324, -1.25e+300, 123456789.0}),
         "2x4",
         "nan\t-inf\tinf\t-1.250000e+300\t\n-0.000000e+00\t-nan\t4.940656e-324\t1.234568e+08\t\n"},
        {Counted({1, 2, 1, 3}), "1x2",
         "1.000000e+00\t2.000000e+00\t\n3.000000e+00\t4.000000e+00\t\n"
         "5.000000e+00\t6.000000e+00\t\n"},
        {Counted({1, 26}), "1x26", ""}};
    for (const auto &[a, size, body] : cases) {
        const CMatrix *x = a.get();
        const Snapshots before({x});
        const std::string out = CaptureStdout([x] { PrintMatrix(x); });
        std::ostringstream header;
        header << " Print " << std::hex << reinterpret_cast<std::uintptr_t>(x) << " - " << size
               << "\n";
        EXPECT_EQ(out, header.str() + body);
        EXPECT_TRUE(before.Unchanged());
    }
}

}  // namespace
