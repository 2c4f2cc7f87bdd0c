// tests/construct/constructors_test.cpp: filled arrays, identity, ranges, diagonals, resets,
// the text PrintMatrix writes, transposes, triangular parts, reshaping, shape queries and
// concatenation.
#include <matrix/matrix.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"
#include "support/stdout_capture.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using namespace matrix_test::special;

void ExpectRealDouble(const CMatrix *a, const DimList &dims, const ValueList &values) {
    EXPECT_EQ(Dims(a), dims);
    EXPECT_TRUE(BitsOf(a) == BitsOf(values) && a->IsDouble() && !a->IsComplex() && !a->GetFlags());
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
    const ArrayPtr forms[] = {ArrayPtr(Rand(3u)), ArrayPtr(Rand(2u, 3u, 1u)),
                              ArrayPtr(Rand(4u, trailingOnes)), ArrayPtr(Rand(3u, zeroMiddle))};
    const DimList dims[] = {{3, 3}, {2, 3}, {2, 3}, {2, 0, 3}};
    auto from = draws.begin();
    for (int k = 0; k < 4; from += forms[k++]->GetNoElems()) {
        ExpectRealDouble(forms[k].get(), dims[k], {from, from + forms[k]->GetNoElems()});
    }
    EXPECT_EQ(Bits(kiv::Rand()), Bits(*from));
    kiv::RandSeed(Seed());
    ExpectRealDouble(ArrayPtr(Randn(1u)).get(), {1, 1}, {normal});
    ExpectRealDouble(ArrayPtr(Zeros(1u, 2u)).get(), {1, 2}, {0, 0});
    ExpectRealDouble(ArrayPtr(Ones(1u)).get(), {1, 1}, {1});
}

// The count takes a quotient within a few ulps of an integer as that
// integer, then floor(q) + 1; a range that reaches its end by that rule
// ends on it exactly. Values written out as decimals of the nearest double.
TEST(Colon, CountsWithToleranceAndEndsOnEnd) {
    const std::tuple<double, double, double, ValueList> cases[] = {
        {0, 0.1, 0.3, {0, 0.1, 0.19999999999999998, 0.3}},
        {1, 0.2, 2, {1, 1.2, 1.4, 1.6, 1.8, 2}},
        {0, 0.3, 1, {0, 0.3, 0.6, 0.8999999999999999}},  // does not reach 1
        {5, -1, 1, {5, 4, 3, 2, 1}},
        {1, 1, 0.5, {}},  // q = -0.5: floor gives no element
        {1, -0.0, 5, {}},
        {0, kInf, 5, {0}},
        {kNaN, 1, 5, {}},
        {-1e16,
         4,
         -1e16 + 40,
         {-1e16, -1e16 + 4, -1e16 + 8, -1e16 + 12, -1e16 + 16, -1e16 + 20, -1e16 + 24, -1e16 + 28,
          -1e16 + 32, -1e16 + 36, -1e16 + 40}}};
    for (const auto &[start, step, end, values] : cases) {
        ExpectRealDouble(ArrayPtr(Colon(start, step, end)).get(),
                         {1, static_cast<unsigned int>(values.size())}, values);
    }
    // Long ranges keep their end and their count.
    const std::tuple<double, double, double, unsigned int> ends[] = {
        {0, 0.05, 1.2, 25}, {0, 0.1, 1, 11}, {-3, 0.001, 3, 6001}, {1.2, -0.05, 0, 25}};
    for (const auto &[start, step, end, count] : ends) {
        ArrayPtr r(Colon(start, step, end));
        ASSERT_EQ(Dims(r.get()), (DimList{1, count}));
        const double *p = static_cast<const double *>(r->GetPr());
        EXPECT_EQ(Bits(p[0]), Bits(start));
        EXPECT_EQ(Bits(p[count - 1]), Bits(end));
        EXPECT_EQ(Bits(p[1]), Bits(start + step));
    }
}

// Eye has ones on the main diagonal only; Scalar keeps every bit. A vector
// (values, or a row or column array, logical or not) goes on diagonal k of
// a square matrix; a matrix gives its diagonal k as a column.
TEST(Diag, EyeScalarAndDiagonals) {
    ArrayPtr row = Mask({7, 8}), m = Counted({2, 4}), t = Counted({4, 2});
    const std::tuple<CMatrix *, DimList, ValueList> cases[] = {
        {Eye(2, 3), {2, 3}, {1, 0, 0, 1, 0, 0}},
        {Scalar(kNegatedNaN), {1, 1}, {kNegatedNaN}},
        {Diag(row.get(), 1), {3, 3}, {0, 0, 0, 7, 0, 0, 0, 8, 0}},
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
    EXPECT_TRUE(a->GetCounter() == 1 && a->GetFlags() == 1u &&
                BitsOf(a) == BitsOf(ValueList(12, kNaN)));
    ArrayPtr original = Complex(1, 2, {1, 2}, {3, 4}), share(original->CreateShareArray());
    const Snapshots before({original.get()});
    Apply(share, [](CMatrix *&x) { Initialize(x, -2.0); });
    EXPECT_TRUE(Values(share.get()) == (ValueList{-2, -2}) && before.Unchanged());

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
        const std::string out = CaptureStdout([&p = a] { PrintMatrix(p.get()); });
        std::ostringstream header;
        header << " Print " << std::hex << reinterpret_cast<std::uintptr_t>(a.get()) << " - "
               << size << "\n";
        EXPECT_EQ(out, header.str() + body);
    }
}

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
        EXPECT_TRUE(Dims(r.get()) == (DimList{3, 4}) && r->GetFlags() == 0u);
        EXPECT_EQ(Values(r.get()), kept) << k;
        for (std::size_t e = 0; e < 12; ++e) EXPECT_EQ(ImagValues(r.get())[e], -kept[e] / 4);
    }
    ArrayPtr nd(Tril(Counted({2, 2, 2}).get(), 0));
    EXPECT_TRUE(Dims(nd.get()) == (DimList{2, 4}) &&
                Values(nd.get()) == (ValueList{1, 2, 0, 4, 0, 0, 0, 0}));
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

// Operands without elements are skipped wherever they are; logical
// operands give a logical result. A null shape stands for a null argument, where the
// arguments end. Empty operands alone: columns adding up to 0 give (max rows)
// x 0, rows all 0 give 0 x (sum of columns), 0x0 operands never count.
TEST(Concat, PlacesTheOperandsInEveryForm) {
    std::vector<DimList> twenty;  // every third one empty
    for (unsigned int k = 0; k < 20; ++k) twenty.push_back({1, k % 3 == 2 ? 0u : 1u});
    const ValueList twentyValues = {1,    101,  301,  401,  601,  701,  901,
                                    1001, 1201, 1301, 1501, 1601, 1801, 1901};
    // Horzcat or Vertcat, the operands' shapes, the result's shape and values.
    const std::tuple<bool, std::vector<DimList>, DimList, ValueList> cases[] = {
        {true, {{2, 1}, {2, 2}, {2, 1}}, {2, 4}, {1, 2, 101, 102, 103, 104, 201, 202}},
        {false, {{1, 2}, {2, 2}, {1, 2}}, {4, 2}, {1, 101, 102, 201, 2, 103, 104, 202}},
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
            EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->IsLogical());
        }
    }
    // One operand, of any kind, is shared unchecked.
    ArrayPtr one = Array({2, 3, 4}, mxClassInt32, mxComplexityComplex);
    const Snapshots before({one.get()});
    ArrayPtr r(Join(false, {one.get(), nullptr}));
    EXPECT_TRUE(r->GetPr() == one->GetPr() && r->GetPi() == one->GetPi() && r->IsInt32());
    EXPECT_TRUE(Dims(r.get()) == (DimList{2, 3, 4}) && before.Unchanged());
    // No operands at all join to [] in every form.
    const CMatrix **nothing = nullptr;
    ArrayPtr nones[] = {ArrayPtr(Horzcat(0u, nothing)), ArrayPtr(Vertcat(0u, nothing)),
                        ArrayPtr(Cat(1u, 0u, nothing)), ArrayPtr(Cat(3u, 0u, nothing))};
    for (const ArrayPtr &none : nones)
        EXPECT_TRUE(Dims(none.get()) == (DimList{0, 0}) && none->IsDouble() && !none->IsLogical());
}

// Char operands with elements give char, their code units placed as numbers
// are; empty operands of either class are skipped among them, and empty
// text alone stays text. A null text stands for a double operand counting 1, 2,
// ...; a null result text for a double result of those values. A text
// operand holds its first rows x columns bytes as code units, in storage
// order.
TEST(Concat, JoinsText) {
    using Operand = std::pair<DimList, const char *>;
    std::vector<Operand> letters;  // more than the operand list keeps on the stack
    for (const char *c = "abcdefghijklmnopq"; *c != 0; ++c) letters.push_back({{1, 1}, c});
    const std::tuple<bool, std::vector<Operand>, DimList, const char *> cases[] = {
        {true, {{{1, 4}, "x = "}, {{1, 2}, "12"}}, {1, 6}, "x = 12"},
        {false, {{{1, 2}, "ab"}, {{1, 2}, "cd"}}, {2, 2}, "acbd"},
        {true,
         {{{0, 0}, nullptr}, {{1, 2}, "ab"}, {{0, 0}, nullptr}, {{1, 1}, "c"}},
         {1, 3},
         "abc"},
        {false,
         {{{1, 2}, "ab"}, {{0, 3}, ""}, {{2, 2}, "cdef"}, {{0, 0}, nullptr}},
         {3, 2},
         "acdbef"},
        {true, letters, {1, 17}, "abcdefghijklmnopq"},
        {true, {{{1, 0}, ""}, {{1, 0}, ""}}, {1, 0}, ""},
        {true, {{{1, 0}, ""}, {{1, 2}, nullptr}}, {1, 2}, nullptr}};
    for (const auto &[horizontal, operands, result, text] : cases) {
        std::vector<ArrayPtr> owned;
        Operands x;
        for (const auto &[dims, chars] : operands) {
            if (chars == nullptr) {
                owned.push_back(Counted(dims));
            } else {
                const std::size_t count = std::size_t{dims[0]} * dims[1];
                owned.push_back(Chars(dims, std::string(chars, count)));
            }
            x.push_back(owned.back().get());
        }
        for (bool list : {true, false}) {
            ArrayPtr r(Join(horizontal, x, list));
            EXPECT_EQ(Dims(r.get()), result) << list;
            if (text == nullptr) {
                ExpectRealDouble(r.get(), result, {1, 2});
            } else {
                EXPECT_TRUE(r->IsChar() && !r->IsComplex() && r->GetFlags() == 0u) << text;
                EXPECT_EQ(Narrow(mxGetString(r.get())), text);
            }
        }
    }
}

// Mixed classes join in the class the operands give: cell, then the leftmost
// integer class, char, single, double; logical only when all are; complex
// when any is. Values convert as the C++ types say: integers round half away
// and saturate, char truncates and saturates to 0..65535, NaN gives 0.
TEST(Concat, JoinsEveryClass) {
    struct Part {
        mxClassID id;
        ValueList re, im;
        bool logical;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto d = [](ValueList v, ValueList im = {}) { return Part{mxClassDouble, v, im, false}; };
    const auto of = [](mxClassID id, ValueList v, ValueList im = {}) {
        return Part{id, v, im, false};
    };
    const auto yes = [](ValueList v) { return Part{mxClassDouble, v, {}, true}; };
    const double tenth = double(0.1f);
    // Operands (1 x n rows, joined horizontally and, transposed, vertically),
    // the result's class, logical flag, real and imaginary values.
    const std::tuple<std::vector<Part>, mxClassID, bool, ValueList, ValueList> cases[] = {
        {{yes({1, 0}), yes({1})}, mxClassDouble, true, {1, 0, 1}, {}},
        {{yes({1}), d({2})}, mxClassDouble, false, {1, 2}, {}},
        {{yes({1}), of(mxClassChar, {97})}, mxClassChar, false, {1, 97}, {}},
        {{of(mxClassChar, {97}), d({66.7, -3, 70000, nan, -0.5})},
         mxClassChar,
         false,
         {97, 66, 0, 65535, 0, 0},
         {}},
        {{d({2.5, -2.5, 200, nan}), of(mxClassInt8, {-128}), d({})},
         mxClassInt8,
         false,
         {3, -3, 127, 0, -128},
         {}},
        {{d({1}), of(mxClassUint8, {2}), of(mxClassInt8, {-5}), of(mxClassInt16, {300})},
         mxClassUint8,
         false,
         {1, 2, 0, 255},
         {}},
        {{of(mxClassChar, {200}), of(mxClassInt8, {5})}, mxClassInt8, false, {127, 5}, {}},
        {{of(mxClassSingle, {1}), d({0.1}), yes({1})}, mxClassSingle, false, {1, tenth, 1}, {}},
        {{d({1}, {2}), of(mxClassSingle, {3})}, mxClassSingle, false, {1, 3}, {2, 0}},
        {{d({1, 2}), d({3}, {-4})}, mxClassDouble, false, {1, 2, 3}, {0, 0, -4}},
        {{of(mxClassInt16, {}), of(mxClassChar, {})}, mxClassInt16, false, {}, {}}};
    for (const auto &[parts, id, logical, re, im] : cases) {
        for (bool horizontal : {true, false}) {
            std::vector<ArrayPtr> owned;
            Operands x;
            for (const Part &part : parts) {
                ArrayPtr a = TypedRow(part.id, part.re, part.im, !horizontal);
                if (part.logical) a->SetLogical();
                owned.push_back(std::move(a));
                x.push_back(owned.back().get());
            }
            const Snapshots before({x.begin(), x.end()});
            ArrayPtr r(Join(horizontal, x, true));
            const unsigned int n = unsigned(re.size());
            const DimList shape = horizontal ? DimList{1, n} : DimList{n, 1};
            EXPECT_EQ(Dims(r.get()), shape) << id;
            EXPECT_TRUE(r->GetClassID() == id && r->IsLogical() == logical) << id << horizontal;
            EXPECT_EQ(BitsOf(AnyValues(r.get())), BitsOf(re)) << id << horizontal;
            EXPECT_EQ(AnyValues(r.get(), true), im) << id << horizontal;
            EXPECT_TRUE(before.Unchanged());
        }
    }
    // Cells: an array operand takes one slot, [c, 5] being {c{:}, 5};
    // empty arrays are skipped; slots share their arrays' data.
    ArrayPtr c = Cells(1, 2, 10.0), five = Row({5}), none = Array({0, 0});
    ArrayPtr h(Horzcat(c.get(), five.get(), none.get())), v(Horzcat(five.get(), c.get()));
    ArrayPtr deep(Cat(3, c.get(), c.get()));
    EXPECT_TRUE(h->IsCell() && Dims(h.get()) == (DimList{1, 3}));
    EXPECT_TRUE(Slot(h.get(), 0) == 10 && Slot(h.get(), 1) == 11 && Slot(h.get(), 2) == 5);
    EXPECT_EQ(mxGetCell(h.get(), 2)->GetPr(), five->GetPr());
    ArrayPtr two(Vertcat(c.get(), c.get()));
    EXPECT_TRUE(Dims(two.get()) == (DimList{2, 2}) && Slot(two.get(), 1) == 10 &&
                Slot(two.get(), 2) == 11);
    EXPECT_TRUE(deep->IsCell() && Dims(deep.get()) == (DimList{1, 2, 2}) &&
                Slot(deep.get(), 3) == 11);
    // Complex beside an integer class or char is refused, operands unchanged.
    ArrayPtr z = Complex(1, 1, {1}, {2}), i8 = TypedRow(mxClassInt8, {1}), ch = Chars({1, 1}, "a");
    ExpectRefusals({{"int8, complex",
                     [&] { ArrayPtr(Horzcat(i8.get(), z.get())); },
                     NotImplemented(),
                     {i8.get(), z.get()}},
                    {"complex, char",
                     [&] { ArrayPtr(Vertcat(z.get(), ch.get())); },
                     NotImplemented(),
                     {z.get(), ch.get()}},
                    {"cat complex, int8",
                     [&] { ArrayPtr(Cat(3, z.get(), i8.get())); },
                     NotImplemented(),
                     {z.get(), i8.get()}}});
    EXPECT_TRUE(v->IsCell() && Dims(v.get()) == (DimList{1, 3}) && Slot(v.get(), 0) == 5);
    ArrayPtr noCells(mxCreateCellMatrix(0, 0)), alone(Horzcat(noCells.get(), five.get()));
    EXPECT_TRUE(alone->IsCell() && Dims(alone.get()) == (DimList{1, 1}) &&
                Slot(alone.get(), 0) == 5);
}

}  // namespace
