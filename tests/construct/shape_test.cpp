// tests/construct/shape_test.cpp: transposes, triangular parts, reshaping, shape queries
// and concatenation.
#include <matrix/matrix.h>

#include <algorithm>
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
}

// The argument is seen as m x c, c the product of its other lengths;
// both parts are cut alike; the result is never logical.
TEST(Tril, KeepsTheElementsOnOneSideOfDiagonalK) {
    // Tril or Triu, k, and the elements kept of the 3x4 array 1..12.
    const std::tuple<bool, int, ValueList> cases[] = {
        {true, -1, {0, 2, 3, 0, 0, 6, 0, 0, 0, 0, 0, 0}},
        {true, INT_MIN, ValueList(12, 0.0)},
        {false, 1, {0, 0, 0, 4, 0, 0, 7, 8, 0, 10, 11, 12}},
        {false, INT_MIN, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}};
    ArrayPtr a = Counted({3, 4}, 1, mxComplexityComplex);
    a->SetLogical();
    for (const auto &[lower, k, kept] : cases) {
        ArrayPtr r(lower ? Tril(a.get(), k) : Triu(a.get(), k));
        ValueList imag;
        for (double x : kept) imag.push_back(-x / 4);
        EXPECT_TRUE(Dims(r.get()) == (DimList{3, 4}) && r->GetFlags() == 0u);
        EXPECT_TRUE(Values(r.get()) == kept && ImagValues(r.get()) == imag) << k;
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

using Operands = std::vector<const CMatrix *>;

// Concatenates `x` through the list form, or through the variadic one,
// whose arguments end at the first null (more than it keeps on the stack
// when there are over 16); the forms of 1 to 3 arguments pass theirs on.
CMatrix *Join(bool horizontal, Operands x, bool list = false) {
#define MATRIX_JOIN(...) return horizontal ? Horzcat(__VA_ARGS__) : Vertcat(__VA_ARGS__)
    if (list) MATRIX_JOIN(unsigned(x.size()), x.data());
    x.resize(22, nullptr);
    MATRIX_JOIN(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], x[8], x[9], x[10], x[11], x[12],
                x[13], x[14], x[15], x[16], x[17], x[18], x[19], x[20], x[21]);
#undef MATRIX_JOIN
}

// Logical double arrays of the given shapes (null for an empty shape), kept
// in `owned`; operand k holds 100 k + 1, 100 k + 2, ... in storage order.
Operands Counting(const std::vector<DimList> &shapes, std::vector<ArrayPtr> &owned) {
    Operands x;
    for (const DimList &dims : shapes) {
        if (!dims.empty()) owned.emplace_back(Counted(dims, 100.0 * x.size() + 1))->SetLogical();
        x.push_back(dims.empty() ? nullptr : owned.back().get());
    }
    return x;
}

// Operands without elements are skipped wherever they are; the result is
// never logical. A null shape stands for a null argument, where the
// arguments end. Empty operands alone: columns adding up to 0 give (max rows)
// x 0, rows all 0 give 0 x (sum of columns), 0x0 operands never count.
TEST(Concat, PlacesTheOperandsInEveryForm) {
    std::vector<DimList> twenty;
    ValueList twentyValues;
    for (unsigned int k = 0; k < 20; ++k) {
        twenty.push_back({1, k % 3 == 2 ? 0u : 1u});
        if (k % 3 != 2) twentyValues.push_back(100.0 * k + 1);
    }
    // Horzcat or Vertcat, the operands' shapes, the result's shape and values.
    const std::tuple<bool, std::vector<DimList>, DimList, ValueList> cases[] = {
        {true, {{2, 1}, {2, 2}, {2, 1}}, {2, 4}, {1, 2, 101, 102, 103, 104, 201, 202}},
        {false, {{1, 2}, {2, 2}, {1, 2}}, {4, 2}, {1, 101, 102, 201, 2, 103, 104, 202}},
        {false, {{4, 0}, {1, 2}, {0, 5}, {1, 2}}, {2, 2}, {101, 301, 102, 302}},
        {true, twenty, {1, 14}, twentyValues},
        {true, {{0, 0}, {0, 2}, {0, 0}, {0, 3}}, {0, 5}, {}},
        {false, {{1, 1}, {1, 1}, {}, {1, 1}}, {2, 1}, {1, 101}}};
    for (const auto &[horizontal, shapes, result, values] : cases) {
        std::vector<ArrayPtr> owned;
        Operands x = Counting(shapes, owned);
        const bool hasNull = std::find(x.begin(), x.end(), nullptr) != x.end();
        for (bool list : {!hasNull, false}) {
            ArrayPtr r(Join(horizontal, x, list));
            EXPECT_TRUE(Dims(r.get()) == result && Values(r.get()) == values) << result[1];
            EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->GetFlags() == 0u);
        }
    }
    // One operand, of any kind, is shared unchecked.
    ArrayPtr one = Array({2, 3, 4}, mxClassInt32, mxComplexityComplex);
    const Snapshots before({one.get()});
    ArrayPtr r(Join(false, {one.get(), nullptr}));
    EXPECT_TRUE(r->GetPr() == one->GetPr() && r->GetPi() == one->GetPi() && r->IsInt32());
    EXPECT_TRUE(Dims(r.get()) == (DimList{2, 3, 4}) && before.Unchanged());
}

}  // namespace
