// tests/elementwise/functions_test.cpp: the one-argument functions, Real and Mod.
#include <matrix/matrix.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "elementwise/elementwise_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace elementwise_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

using Unary = CMatrix *(*)(const CMatrix *);
const double kTwoTo52 = 4503599627370496.0;

// The special values plus rounding ties, exp's overflow and underflow, and
// NaNs of other patterns: the one the FPU makes for 0/0 and the usual quiet
// NaN, which the library's NaN tests do not count.
std::vector<double> TestValues() {
    std::vector<double> v = SpecialValues();
    const double zero = v[0];
    for (double x : {2.5, -2.5, -0.5, 0.49999999999999994, kTwoTo52 + 1, 710.0, -746.0, zero / zero,
                     std::numeric_limits<double>::quiet_NaN()}) {
        v.push_back(x);
    }
    return v;
}

double Negated(double x) { return FromBits(Bits(x) ^ 0x8000000000000000); }

TEST(UnaryFunctions, MatchTheElementRuleBitForBit) {
    const struct {
        const char *name;
        Unary fn;
        double (*reference)(double x);
        bool logical;
    } functions[] = {
        {"Abs", Abs, [](double x) { return std::signbit(x) ? Negated(x) : x; }, false},
        {"Exp", Exp, [](double x) { return std::exp(x); }, false},
        {"Round", Round, [](double x) { return std::floor(x + 0.5); }, false},
        {"Sign", Sign, [](double x) { return double((x > 0) - (x < 0)); }, false},
        {"Uminus", Uminus, Negated, false},
        {"Unaryminus", Unaryminus, Negated, false},
        {"Isinf", Isinf, [](double x) { return mxIsInf(x) ? 1.0 : 0.0; }, true},
        {"Isnan", Isnan, [](double x) { return mxIsNaN(x) ? 1.0 : 0.0; }, true},
        {"Isfinite", Isfinite, [](double x) { return mxIsFinite(x) ? 1.0 : 0.0; }, true},
    };
    std::vector<double> v = TestValues();
    const unsigned int n = static_cast<unsigned int>(v.size());
    v.insert(v.end(), v.begin(), v.end());
    ArrayPtr a = Filled({1, n, 2}, v), empty = Array({0, 3});
    a->SetLogical();  // the flag of the operand is not looked at
    const Snapshots before({a.get()});
    for (const auto &f : functions) {
        SCOPED_TRACE(f.name);
        ArrayPtr r(f.fn(a.get())), e(f.fn(empty.get()));
        std::vector<double> want;
        for (double x : v) want.push_back(f.reference(x));
        EXPECT_EQ(Dims(r.get()), (DimList{1, n, 2}));
        EXPECT_TRUE(r->IsDouble() && !r->IsComplex());
        EXPECT_EQ(r->IsLogical(), f.logical);
        EXPECT_EQ(BitsOf(r.get()), BitsOf(want));
        EXPECT_EQ(Dims(e.get()), (DimList{0, 3}));
        EXPECT_EQ(e->IsLogical(), f.logical);
    }
    EXPECT_TRUE(before.Unchanged());

    // The values that pin the rounding rule down; the sum is rounded before
    // the floor, so 2^52 + 1 goes to 2^52 + 2.
    ArrayPtr x = Matrix(1, 5, {2.5, -2.5, -0.5, 0.49999999999999994, kTwoTo52 + 1});
    EXPECT_EQ(BitsOf(ArrayPtr(Round(x.get())).get()), BitsOf({3, -2, 0, 1, kTwoTo52 + 2}));
}

TEST(UnaryFunctions, RefuseEveryOperandButRealDouble) {
    for (const ArrayPtr &bad : NonRealDoubleOperands()) {
        EXPECT_NOT_IMPLEMENTED(Abs(bad.get()), bad.get());
        EXPECT_NOT_IMPLEMENTED(Sqrt(bad.get()), bad.get());
    }
    ArrayPtr a = Matrix(2, 2, {1, -2, kNaN, 4});
    for (Unary f : {Unary(Abs), Unary(Isnan), Unary(Real)}) {
        EXPECT_GE(FailurePoints([&] { return f(a.get()); }, {a.get()}), 1);
    }
    // Sqrt fails either creating the result or adding the imaginary part.
    EXPECT_GE(FailurePoints([&] { return Sqrt(a.get()); }, {a.get()}), 2);
}

TEST(Sqrt, BecomesComplexAtTheFirstNegativeOrNaNElement) {
    const struct {
        std::vector<double> x, re, im;
    } cases[] = {
        {{4, 9, 0.0, -0.0}, {2, 3, 0.0, -0.0}, {}},
        {{}, {}, {}},
        {{4, -9}, {2, 0}, {0, 3}},
        {{kNaN}, {0}, {std::sqrt(-kNaN)}},
        {{-4, 1, 16}, {0, 1, 4}, {2, 0, 0}},
        {{1, 4, 0.25, -0.0, -kInf, 16, kNegatedNaN, 25},
         {1, 2, 0.5, -0.0, 0, 4, 0, 5},
         {0, 0, 0, 0, kInf, 0, std::sqrt(-kNegatedNaN), 0}},
    };
    for (const auto &c : cases) {
        const unsigned int n = static_cast<unsigned int>(c.x.size());
        ArrayPtr a = Filled({1, 1, n}, c.x), r(Sqrt(a.get()));
        EXPECT_EQ(Dims(r.get()), Dims(a.get()));
        EXPECT_EQ(r->IsComplex(), !c.im.empty());
        EXPECT_FALSE(r->IsLogical());
        EXPECT_EQ(BitsOf(r.get()), BitsOf(c.re));
        EXPECT_EQ(BitsOf(ImagValues(r.get())), BitsOf(c.im));
    }
}

TEST(Real, SharesTheRealPartOfAnyClassKeepingTheFlags) {
    ArrayPtr z = Counted({2, 2}, 1, mxComplexityComplex);
    const Snapshots before({z.get()});
    ArrayPtr r(Real(z.get()));
    EXPECT_EQ(r->GetPr(), z->GetPr());
    EXPECT_EQ(r->GetPi(), nullptr);
    EXPECT_TRUE(before.Unchanged());
    r.reset();
    EXPECT_TRUE(before.Unchanged());

    ArrayPtr text(mxCreateString("abc")), mask = Matrix(1, 2, {1, 0});
    ArrayPtr cell(mxCreateCellMatrix(1, 2));
    mask->SetLogical();
    mxSetCell(cell.get(), 0, mxCreateString("x"));
    ArrayPtr t(Real(text.get())), c(Real(cell.get()));
    EXPECT_EQ(Narrow(mxGetString(t.get())), "abc");
    EXPECT_TRUE(ArrayPtr(Real(mask.get()))->IsLogical());
    EXPECT_EQ(mxGetCell(c.get(), 0), mxGetCell(cell.get(), 0));
}

// --- Mod ----------------------------------------------------------------------

TEST(Mod, ExamplesBitForBitInEveryForm) {
    const struct {
        double x, y, result;
    } cases[] = {
        {5, 3, 2},
        {-5, 3, 1},
        {5, -3, -1},
        {-5, -3, -2},
        {0.3, 0.1, 0},
        {-0.3, 0.1, 0},
        {6, -3, 0},
        {-0.0, 3, 0},
        {7, 0, 7},
        {-0.0, 0, -0.0},
        {kNaN, -0.0, kNaN},
        {5.5, 2.5, 0.5000000000000004},
        {7, 2.5, 1.9999999999999996},
        {-1, 0.3, 0.19999999999999996},
    };
    std::vector<double> xs, ys, want;
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "Mod(" << c.x << ", " << c.y << ")");
        ArrayPtr x = Matrix(1, 1, {c.x}), y = Matrix(1, 1, {c.y});
        EXPECT_EQ(BitsOf(ArrayPtr(Mod(x.get(), c.y)).get()), BitsOf({c.result}));
        EXPECT_EQ(BitsOf(ArrayPtr(Mod(x.get(), y.get())).get()), BitsOf({c.result}));
        xs.push_back(c.x);
        ys.push_back(c.y);
        want.push_back(c.result);
    }
    // Element by element, each pair with its own zero and integer tests.
    const unsigned int n = static_cast<unsigned int>(xs.size());
    ArrayPtr X = Filled({n, 1}, xs), Y = Filled({n, 1}, ys);
    EXPECT_EQ(BitsOf(ArrayPtr(Mod(X.get(), Y.get())).get()), BitsOf(want));

    // Non-finite operands give NaN.
    for (const auto &[x, y] : {std::pair<double, double>{5, kInf},
                               {kInf, 3},
                               {kNaN, 3},
                               {3, kNaN},
                               {-kInf, 0.5},
                               {2, -kInf}}) {
        ArrayPtr r(Mod(Matrix(1, 1, {x}).get(), y));
        EXPECT_TRUE(std::isnan(Values(r.get())[0])) << x << ' ' << y;
    }
}

TEST(Mod, IntegersGiveTheFlooredRemainderAndAScalarDivisorActsAsAnArrayOfIt) {
    // Oracle: integer arithmetic, remainder with the sign of the divisor.
    std::vector<double> xs, ys, want;
    for (int x = -23; x <= 23; ++x) {
        for (int y = -7; y <= 7; ++y) {
            if (y == 0) continue;
            xs.push_back(x);
            ys.push_back(y);
            want.push_back(((x % y) + y) % y);
        }
    }
    const unsigned int count = static_cast<unsigned int>(xs.size());
    ArrayPtr xa = Filled({1, count}, xs), ya = Filled({1, count}, ys);
    EXPECT_EQ(Values(ArrayPtr(Mod(xa.get(), ya.get())).get()), want);

    const std::vector<double> xv = TestValues();
    const unsigned int n = static_cast<unsigned int>(xv.size());
    ArrayPtr X = Filled({n, 1}, xv);
    for (double y : {3.0, -0.1, 2.5, 0.0, -0.0, kInf, 1e-300}) {
        ArrayPtr Y = Filled({n, 1}, std::vector<double>(n, y));
        ArrayPtr byScalar(Mod(X.get(), y)), byArray(Mod(X.get(), Y.get()));
        EXPECT_EQ(BitsOf(byScalar.get()), BitsOf(byArray.get())) << y;
    }
    // When both operands of an arithmetic step are NaN, which payload comes
    // out depends on the operand order the compiler picks for a commutative
    // step, so a NaN divisor is compared by NaN-ness only.
    ArrayPtr byNaN(Mod(X.get(), kNaN));
    for (double r : Values(byNaN.get())) EXPECT_TRUE(std::isnan(r));
    // A zero divisor returns X unchanged, NaN patterns included.
    EXPECT_EQ(BitsOf(ArrayPtr(Mod(X.get(), 0.0)).get()), BitsOf(xv));
}

TEST(Mod, ShapesAndOperandChecks) {
    ArrayPtr one = Matrix(1, 1, {7}), wide = Counted({2, 3}), tall = Counted({3, 2});
    ArrayPtr empty = Array({0, 2});
    EXPECT_EQ(Values(ArrayPtr(Mod(one.get(), wide.get())).get()),
              (std::vector<double>{0, 1, 1, 3, 2, 1}));
    EXPECT_EQ(Values(ArrayPtr(Mod(wide.get(), one.get())).get()),
              (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Dims(ArrayPtr(Mod(one.get(), empty.get())).get()), (DimList{0, 2}));
    EXPECT_EQ(Dims(ArrayPtr(Mod(empty.get(), one.get())).get()), (DimList{0, 2}));
    EXPECT_GE(FailurePoints([&] { return Mod(wide.get(), wide.get()); }, {wide.get()}), 1);

    EXPECT_DIMS_MISMATCH(Mod(wide.get(), tall.get()), wide.get(), tall.get());
    // With two mismatched shapes the shape error wins over X's class.
    ArrayPtr single = Array({2, 3}, mxClassSingle);
    std::memset(single->GetPr(), 0, single->GetAllocSize());
    EXPECT_DIMS_MISMATCH(Mod(single.get(), tall.get()), single.get(), tall.get());
    for (const ArrayPtr &bad : NonRealDoubleOperands()) {
        CMatrix *x = bad.get();
        ArrayPtr same = Counted(Dims(x));
        EXPECT_NOT_IMPLEMENTED(Mod(x, 3.0), x);
        EXPECT_NOT_IMPLEMENTED(Mod(x, one.get()), x, one.get());
        EXPECT_NOT_IMPLEMENTED(Mod(x, same.get()), x, same.get());
        EXPECT_NOT_IMPLEMENTED(Mod(same.get(), x), x, same.get());
        EXPECT_NOT_IMPLEMENTED(Mod(wide.get(), x), x, wide.get());  // before the shapes
    }
}

}  // namespace
