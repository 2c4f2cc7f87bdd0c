// tests/construct/shape_test.cpp: transposes, triangular parts, reshaping and shape queries.
#include <matrix/matrix.h>

#include <climits>
#include <cstdint>
#include <tuple>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

// Bit patterns move unchanged, conjugation flips the sign bit only (the
// kernel's blocking is checked against its plain loop with the kernels); a
// real argument stays real; only the logical flag is kept.
TEST(Transpose, MovesBitPatternsAndConjugatesBySignBitOnly) {
    const double payload = FromBits(0x7FF0000000000123);
    const ValueList values = {payload, -0.0, kInf, kNaN, 0.0, -kInf};
    ArrayPtr a = Complex(2, 3, values, values), t(Transpose(a.get())), c(Ctranspose(a.get()));
    const ValueList moved{payload, kInf, 0.0, -0.0, kNaN, -kInf};
    std::vector<std::uint64_t> conjugated;
    for (double x : moved) conjugated.push_back(Bits(x) ^ 0x8000000000000000);
    EXPECT_TRUE(BitsOf(t.get()) == BitsOf(moved) && BitsOf(ImagValues(t.get())) == BitsOf(moved));
    EXPECT_TRUE(BitsOf(c.get()) == BitsOf(moved) && BitsOf(ImagValues(c.get())) == conjugated);
    ArrayPtr real(Ctranspose(Matrix(2, 2, {1, 2, 3, 4}).get()));
    EXPECT_TRUE(!real->IsComplex() && Values(real.get()) == (ValueList{1, 3, 2, 4}));
    ArrayPtr flagged = Row({1, 0});
    flagged->SetFlag(0x5, 0x5);
    EXPECT_EQ(ArrayPtr(Transpose(flagged.get()))->GetFlags(), 0x1u);
    EXPECT_EQ(ArrayPtr(Ctranspose(flagged.get()))->GetFlags(), 0x1u);
    flagged->SetFlag(0x4, 0x5);
    EXPECT_EQ(ArrayPtr(Transpose(flagged.get()))->GetFlags(), 0u);
}

// The argument is seen as m x c, c the product of its other lengths;
// both parts are cut alike; the result is never logical.
TEST(Tril, KeepsTheElementsOnOneSideOfDiagonalK) {
    const struct {
        bool lower;
        int k;
        ValueList kept;  // of the 3x4 array 1..12
    } cases[] = {{true, -1, {0, 2, 3, 0, 0, 6, 0, 0, 0, 0, 0, 0}},
                 {true, INT_MIN, ValueList(12, 0.0)},
                 {false, 1, {0, 0, 0, 4, 0, 0, 7, 8, 0, 10, 11, 12}},
                 {false, INT_MIN, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}};
    ArrayPtr a = Counted({3, 4}, 1, mxComplexityComplex);
    a->SetLogical();
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.lower ? "Tril " : "Triu ") << c.k);
        ArrayPtr r(c.lower ? Tril(a.get(), c.k) : Triu(a.get(), c.k));
        ValueList imag;
        for (double x : c.kept) imag.push_back(-x / 4);
        EXPECT_TRUE(Dims(r.get()) == (DimList{3, 4}) && r->GetFlags() == 0u);
        EXPECT_TRUE(Values(r.get()) == c.kept && ImagValues(r.get()) == imag);
    }
    ArrayPtr nd(Tril(Counted({2, 2, 2}).get(), 0));
    EXPECT_TRUE(Dims(nd.get()) == (DimList{2, 4}) && !nd->IsComplex());
    EXPECT_EQ(Values(nd.get()), (ValueList{1, 2, 0, 4, 0, 0, 0, 0}));
}

// Reshaping shares the data in the new shape, of any class: a cell's slots
// are shared, not destroyed with the result.
TEST(Reshape, SharesTheDataInTheNewShape) {
    ArrayPtr a = Counted({2, 3, 4}, 1, mxComplexityComplex), cell = Cells(2, 2);
    const Snapshots before({a.get()});
    const unsigned int five[] = {1, 6, 4, 1, 1};
    const std::pair<CMatrix *, DimList> cases[] = {{Reshape(a.get(), 4u, 6u, 1u), {4, 6}},
                                                   {Reshape(a.get(), 1u, 1u, 24u), {1, 1, 24}},
                                                   {Reshape(a.get(), 5u, five), {1, 6, 4}},
                                                   {Tocolumn(a.get()), {24, 1}},
                                                   {Tomatrix(a.get()), {2, 12}}};
    for (const auto &[r, dims] : cases) {
        EXPECT_TRUE(Dims(r) == dims && r->GetPr() == a->GetPr() && r->GetPi() == a->GetPi());
        ArrayPtr(r).reset();
    }
    EXPECT_TRUE(before.Unchanged());
    EXPECT_EQ(mxGetCell(ArrayPtr(Reshape(cell.get(), 1u, 4u)).get(), 3), mxGetCell(cell.get(), 3));
    EXPECT_EQ(Slot(cell.get(), 3), 4.0);
}

// Beyond the dimensions 1; one subscript: the element count; k < n: that
// length; n the number of dimensions: that length, the last subscript
// standing for the remaining dimensions.
TEST(End, EveryCase) {
    ArrayPtr a = Array({3, 4, 5}), b = Array({3, 4}), huge = Array({0, 70000, 70000});
    const std::tuple<const CMatrix *, unsigned int, unsigned int, unsigned int> cases[] = {
        {a.get(), 4, 4, 1}, {a.get(), 1, 1, 60}, {a.get(), 2, 3, 4},       {a.get(), 3, 3, 5},
        {b.get(), 2, 2, 4}, {a.get(), 2, 2, 20}, {huge.get(), 2, 3, 70000}};
    for (const auto &[x, k, n, end] : cases) EXPECT_EQ(End(x, k, n), end) << k << ' ' << n;
}

}  // namespace
