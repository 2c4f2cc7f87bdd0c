// tests/elementwise/functions_test.cpp: the one-argument functions, the NaN
// and infinity tests, Real and Mod.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using namespace matrix_test::special;

using Unary = CMatrix *(*)(const CMatrix *);
const double kTwoTo52 = 4503599627370496.0;  // its successor rounds to 2^52 + 2

double Negated(double x) { return FromBits(Bits(x) ^ 0x8000000000000000); }

TEST(UnaryFunctions, MatchTheElementRuleBitForBit) {
    const struct {
        const char *name;
        Unary fn;
        double (*rule)(double x);
    } functions[] = {{"Abs", Abs, [](double x) { return std::signbit(x) ? Negated(x) : x; }},
                     {"Exp", Exp, [](double x) { return std::exp(x); }},
                     {"Round", Round, [](double x) { return std::floor(x + 0.5); }},
                     {"Sign", Sign, [](double x) { return double((x > 0) - (x < 0)); }},
                     {"Uminus", Uminus, Negated},
                     {"Unaryminus", Unaryminus, Negated}};
    // Also rounding ties, exp's overflow and underflow, and a NaN of
    // another payload.
    ValueList v = SpecialValues();
    v.insert(v.end(), {2.5, -2.5, -0.5, 0.49999999999999994, kTwoTo52 + 1, 710.0, -746.0,
                       FromBits(0xFFF8000000000001)});
    const unsigned int n = static_cast<unsigned int>(v.size());
    ArrayPtr a = Filled({1, 1, n}, v), empty = Array({0, 3});
    a->SetLogical();  // the flag of the operand is not looked at
    const Snapshots before({a.get()});
    for (const auto &f : functions) {
        SCOPED_TRACE(f.name);
        ArrayPtr r(f.fn(a.get())), e(f.fn(empty.get()));
        ValueList want;
        for (double x : v) want.push_back(f.rule(x));
        EXPECT_EQ(Dims(r.get()), (DimList{1, 1, n}));
        EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && !r->IsLogical());
        EXPECT_EQ(BitsOf(r.get()), BitsOf(want));
        EXPECT_EQ(Dims(e.get()), (DimList{0, 3}));
    }
    EXPECT_TRUE(before.Unchanged());
}

// Any NaN is a NaN, whatever its sign, payload and origin; the infinities
// are exactly +-Inf; everything else is finite. The arrays and the mx
// functions agree.
TEST(Isnan, AnyNaNWhateverItsBits) {
    ArrayPtr zero = Row({0}), inf = Row({kInf});
    ArrayPtr quotient(Rdivide(zero.get(), zero.get())), difference(Minus(inf.get(), inf.get()));
    const double quiet = std::numeric_limits<double>::quiet_NaN();
    // Quiet and signalling, both signs, smallest and other payloads.
    const ValueList kinds[] = {
        {kNaN, kNegatedNaN, Values(quotient.get())[0], Values(difference.get())[0], quiet, -quiet,
         std::numeric_limits<double>::signaling_NaN(), FromBits(0x7FF0000000000001),
         FromBits(0xFFF0000000000001), FromBits(0x7FF4000000000000), FromBits(0xFFF7FFFFFFFFFFFF),
         FromBits(0x7FF8000000000001), FromBits(0x7FFC0000DEADBEEF), FromBits(0xFFFFFFFFFFFFFFFE)},
        {kInf, -kInf},
        {0.0, -0.0, 4.9e-324, -2.2250738585072009e-308, std::numeric_limits<double>::max(),
         -std::numeric_limits<double>::max()}};
    bool (*const scalar[])(double) = {mxIsNaN, mxIsInf, mxIsFinite};
    const Unary array[] = {Isnan, Isinf, Isfinite};
    ValueList values, want[3];
    for (int k = 0; k < 3; ++k) {
        for (double x : kinds[k]) {
            for (int t = 0; t < 3; ++t) {
                EXPECT_EQ(scalar[t](x), t == k) << t << std::hex << ' ' << Bits(x);
                want[t].push_back(t == k);
            }
            values.push_back(x);
        }
    }
    ArrayPtr a = Filled({2, 1, unsigned(values.size() / 2)}, values);
    const Snapshots before({a.get()});
    for (int t = 0; t < 3; ++t) {
        ArrayPtr r(array[t](a.get())), e(array[t](Array({0, 2}).get()));
        EXPECT_EQ(Dims(r.get()), Dims(a.get()));
        EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->IsLogical());
        EXPECT_EQ(BitsOf(r.get()), BitsOf(want[t]));
        EXPECT_TRUE(e->IsLogical() && Dims(e.get()) == (DimList{0, 2}));
    }
    EXPECT_TRUE(before.Unchanged());
    // The library keeps making its own NaN.
    EXPECT_EQ(Bits(mxGetNaN()), 0x7FFFFFFFFFFFFFFFu);
}

TEST(Sqrt, BecomesComplexAtTheFirstNegativeOrNaNElement) {
    const struct {
        ValueList x, re, im;
    } cases[] = {{{4, 9, 0.0, -0.0}, {2, 3, 0.0, -0.0}, {}},
                 {{}, {}, {}},
                 {{kNaN}, {0}, {std::sqrt(-kNaN)}},
                 {{1, 4, 0.25, -0.0, -kInf, 16, kNegatedNaN, 25},
                  {1, 2, 0.5, -0.0, 0, 4, 0, 5},
                  {0, 0, 0, 0, kInf, 0, std::sqrt(-kNegatedNaN), 0}}};
    for (const auto &c : cases) {
        const unsigned int n = static_cast<unsigned int>(c.x.size());
        ArrayPtr a = Filled({1, 1, n}, c.x), r(Sqrt(a.get()));
        EXPECT_TRUE(Dims(r.get()) == Dims(a.get()) && r->IsComplex() == !c.im.empty());
        EXPECT_EQ(BitsOf(r.get()), BitsOf(c.re));
        EXPECT_EQ(BitsOf(ImagValues(r.get())), BitsOf(c.im));
    }
}

TEST(Real, SharesTheRealPartOfAnyClassKeepingTheFlags) {
    ArrayPtr z = Counted({2, 2}, 1, mxComplexityComplex);
    const Snapshots before({z.get()});
    ArrayPtr r(Real(z.get())), text(mxCreateString("abc")), mask = Mask({1, 0}), cell = Cells(1, 2);
    EXPECT_TRUE(r->GetPr() == z->GetPr() && r->GetPi() == nullptr);
    r.reset();
    EXPECT_TRUE(before.Unchanged());
    ArrayPtr t(Real(text.get())), c(Real(cell.get()));
    EXPECT_TRUE(t->GetPr() == text->GetPr() && ArrayPtr(Real(mask.get()))->IsLogical());
    EXPECT_EQ(mxGetCell(c.get(), 0), mxGetCell(cell.get(), 0));
}

// Each pair through Mod(X, y), Mod(X, Y) of two scalars, and element by
// element in one call, each pair with its own zero and integer tests.
TEST(Mod, ExamplesBitForBitInEveryForm) {
    const ValueList xs = {5, -5, 5, -5, 0.3, -0.3, 6, -0.0, 7, -0.0, kNaN, 5.5, -23, 23, 7, -1};
    const ValueList ys = {3, 3, -3, -3, 0.1, 0.1, -3, 3, 0, 0, -0.0, 2.5, 7, -7, 2.5, 0.3};
    const ValueList want = {2,
                            1,
                            -1,
                            -2,
                            0,
                            0,
                            0,
                            0,
                            7,
                            -0.0,
                            kNaN,
                            0.5000000000000004,
                            5,
                            -5,
                            1.9999999999999996,
                            0.19999999999999996};
    for (std::size_t k = 0; k < xs.size(); ++k) {
        SCOPED_TRACE(::testing::Message() << "Mod(" << xs[k] << ", " << ys[k] << ")");
        ArrayPtr x = Row({xs[k]});
        EXPECT_EQ(BitsOf(ArrayPtr(Mod(x.get(), ys[k])).get()), BitsOf({want[k]}));
        EXPECT_EQ(BitsOf(ArrayPtr(Mod(x.get(), Row({ys[k]}).get())).get()), BitsOf({want[k]}));
    }
    ArrayPtr X = Col(xs), Y = Col(ys);
    EXPECT_EQ(BitsOf(ArrayPtr(Mod(X.get(), Y.get())).get()), BitsOf(want));
    // Non-finite operands give NaN.
    for (const auto &[x, y] :
         {std::pair<double, double>{5, kInf}, {kInf, 3}, {kNaN, 3}, {3, kNaN}, {2, -kInf}}) {
        EXPECT_TRUE(std::isnan(Values(ArrayPtr(Mod(Row({x}).get(), y)).get())[0])) << x << ' ' << y;
    }
    // A scalar divisor acts as an array of it; a zero one returns X as it
    // was, NaN patterns included.
    const ValueList v = SpecialValues();
    ArrayPtr V = Col(v);
    for (double y : {3.0, -0.1, 2.5, 0.0, -0.0, kInf}) {
        ArrayPtr byScalar(Mod(V.get(), y)),
            byArray(Mod(V.get(), Col(ValueList(v.size(), y)).get()));
        EXPECT_EQ(BitsOf(byScalar.get()), BitsOf(byArray.get())) << y;
    }
    EXPECT_EQ(BitsOf(ArrayPtr(Mod(V.get(), 0.0)).get()), BitsOf(v));
}

TEST(Mod, ScalarOperandsExpand) {
    ArrayPtr one = Row({7}), wide = Counted({2, 3}), empty = Array({0, 2});
    EXPECT_EQ(Values(ArrayPtr(Mod(one.get(), wide.get())).get()), (ValueList{0, 1, 1, 3, 2, 1}));
    EXPECT_EQ(Values(ArrayPtr(Mod(wide.get(), one.get())).get()), (ValueList{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Dims(ArrayPtr(Mod(one.get(), empty.get())).get()), (DimList{0, 2}));
}

}  // namespace
