// tests/elementwise/functions_test.cpp: tests of the one-argument functions,
// Real and Mod.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "elementwise/elementwise_test_util.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using elementwise_test::BitList;
using elementwise_test::DoubleArray;
using elementwise_test::Inf;
using elementwise_test::LibraryNaN;
using elementwise_test::NegatedNaN;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::Dims;
using matrix_test::ImagValues;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
using UnaryFn = CMatrix *(*)(const CMatrix *);

const double kNaN = LibraryNaN();
const double kTwoTo52 = 4503599627370496.0;

// The special values plus rounding ties, exp's overflow and underflow, and
// NaNs with other patterns: the one the FPU makes for 0/0 and the usual
// quiet NaN.
std::vector<double> TestValues() {
    std::vector<double> v = elementwise_test::SpecialValues();
    const double zero = v[0];
    for (double x : {2.5, -2.5, -0.5, 0.49999999999999994, kTwoTo52 + 1, 710.0, -746.0,
                     zero / zero, std::numeric_limits<double>::quiet_NaN()}) {
        v.push_back(x);
    }
    return v;
}

struct Function {
    const char *name;
    UnaryFn fn;
    double (*reference)(double x);
    bool logical;
};

const Function kFunctions[] = {
    {"Abs", Abs, [](double x) { return std::copysign(x, 1.0); }, false},
    {"Exp", Exp, [](double x) { return std::exp(x); }, false},
    {"Round", Round, [](double x) { return std::floor(x + 0.5); }, false},
    {"Sign", Sign, [](double x) { return double((x > 0) - (x < 0)); }, false},
    {"Uminus", Uminus, [](double x) { return std::copysign(x, std::signbit(x) ? 1.0 : -1.0); }, false},
    {"Unaryminus", Unaryminus, [](double x) { return std::copysign(x, std::signbit(x) ? 1.0 : -1.0); }, false},
    {"Isinf", Isinf, [](double x) { return mxIsInf(x) ? 1.0 : 0.0; }, true},
    {"Isnan", Isnan, [](double x) { return mxIsNaN(x) ? 1.0 : 0.0; }, true},
    {"Isfinite", Isfinite, [](double x) { return mxIsFinite(x) ? 1.0 : 0.0; }, true},
};

TEST(UnaryFunctions, MatchTheElementRuleBitForBit) {
    const std::vector<double> v = TestValues();
    const unsigned int n = static_cast<unsigned int>(v.size());
    ArrayPtr a = DoubleArray({1, n, 2}, [&] {
        std::vector<double> twice(v);
        twice.insert(twice.end(), v.begin(), v.end());
        return twice;
    }());
    a->SetLogical();  // the flag of the operand is not looked at
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    for (const Function &f : kFunctions) {
        SCOPED_TRACE(f.name);
        ArrayPtr r(f.fn(a.get()));
        EXPECT_EQ(Dims(r.get()), (DimList{1, n, 2}));
        EXPECT_EQ(r->GetClassID(), mxClassDouble);
        EXPECT_EQ(r->GetPi(), nullptr);
        EXPECT_EQ(r->IsLogical(), f.logical);
        const std::vector<double> got = Values(r.get());
        for (std::size_t i = 0; i < got.size(); ++i) {
            const double x = v[i % n];
            EXPECT_EQ(Bits(got[i]), Bits(f.reference(x))) << "x = " << x << " bits " << Bits(x);
        }
        ArrayPtr empty = matrix_test::Array({0, 3});
        ArrayPtr e(f.fn(empty.get()));
        EXPECT_EQ(Dims(e.get()), (DimList{0, 3}));
        EXPECT_EQ(e->IsLogical(), f.logical);
    }
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
}

TEST(UnaryFunctions, Examples) {
    ArrayPtr a = Matrix(1, 3, {-3, -0.0, kNaN});
    EXPECT_EQ(BitList(ArrayPtr(Abs(a.get())).get()), BitList({3, 0.0, kNaN}));
    EXPECT_EQ(BitList(ArrayPtr(Uminus(Matrix(1, 2, {3, 0}).get())).get()), BitList({-3, -0.0}));
    ArrayPtr r(Round(Matrix(1, 5, {2.5, -2.5, -0.5, 0.49999999999999994, kTwoTo52 + 1}).get()));
    EXPECT_EQ(BitList(r.get()), BitList({3, -2, 0, 1, kTwoTo52 + 2}));
    ArrayPtr s(Sign(Matrix(1, 5, {-2, 0, -0.0, 3, kNaN}).get()));
    EXPECT_EQ(BitList(s.get()), BitList({-1, 0, 0, 1, 0}));
    EXPECT_EQ(Values(ArrayPtr(Exp(Matrix(1, 3, {0, 710, -Inf()}).get())).get()),
              (std::vector<double>{1, Inf(), 0}));
}

TEST(Isnan, OnlyTheLibraryPatternsCount) {
    ArrayPtr nan = Matrix(1, 1, {kNaN});
    ArrayPtr negated(Uminus(nan.get()));
    EXPECT_EQ(Bits(Values(negated.get())[0]), 0xFFFFFFFFFFFFFFFF);
    ArrayPtr plusOne(Plus(nan.get(), 1.0));
    ArrayPtr zero = Matrix(1, 1, {0});
    ArrayPtr fpuNaN(Rdivide(zero.get(), zero.get()));
    ASSERT_TRUE(std::isnan(Values(fpuNaN.get())[0]));
    for (const CMatrix *x : {nan.get(), negated.get(), plusOne.get()}) {
        EXPECT_EQ(Values(ArrayPtr(Isnan(x)).get()), std::vector<double>{1});
        EXPECT_EQ(Values(ArrayPtr(Isfinite(x)).get()), std::vector<double>{0});
    }
    EXPECT_EQ(Values(ArrayPtr(Isnan(fpuNaN.get())).get()), std::vector<double>{0});
    EXPECT_EQ(Values(ArrayPtr(Isinf(fpuNaN.get())).get()), std::vector<double>{0});
    EXPECT_EQ(Values(ArrayPtr(Isfinite(fpuNaN.get())).get()), std::vector<double>{1});
    EXPECT_EQ(Values(ArrayPtr(Isfinite(Matrix(1, 3, {1, Inf(), -Inf()}).get())).get()),
              (std::vector<double>{1, 0, 0}));
}

TEST(UnaryFunctions, RefuseEveryOperandButRealDouble) {
    for (const auto &bad : elementwise_test::RefusedOperands()) {
        SCOPED_TRACE(bad.name);
        for (const Function &f : kFunctions) {
            EXPECT_REFUSED(f.fn(bad.array.get()), CNotImplementedException,
                           L"Operation not implemented! :-(", bad.array.get());
        }
        EXPECT_REFUSED(Sqrt(bad.array.get()), CNotImplementedException,
                       L"Operation not implemented! :-(", bad.array.get());
    }
}

TEST(UnaryFunctions, AllocationFailureLeavesNothingBehind) {
    ArrayPtr a = Matrix(2, 2, {1, -2, kNaN, 4});
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    const auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); };
    for (UnaryFn f : {static_cast<UnaryFn>(Abs), static_cast<UnaryFn>(Isnan),
                      static_cast<UnaryFn>(Real)}) {
        EXPECT_GE(matrix_test::ForEachAllocationFailure([&] { ArrayPtr r(f(a.get())); }, unchanged),
                  1);
    }
    // Sqrt fails either creating the result or adding the imaginary part.
    EXPECT_GE(matrix_test::ForEachAllocationFailure([&] { ArrayPtr r(Sqrt(a.get())); }, unchanged),
              2);
}

// --- Sqrt ---------------------------------------------------------------------

TEST(Sqrt, StaysRealWithoutNegativeOrNaNElements) {
    ArrayPtr r(Sqrt(Matrix(1, 4, {4, 9, 0.0, -0.0}).get()));
    EXPECT_EQ(r->GetPi(), nullptr);
    EXPECT_EQ(BitList(r.get()), BitList({2, 3, 0.0, -0.0}));
    ArrayPtr e(Sqrt(matrix_test::Array({2, 0}).get()));
    EXPECT_EQ(Dims(e.get()), (DimList{2, 0}));
    EXPECT_FALSE(e->IsComplex());
}

TEST(Sqrt, BecomesComplexAtTheFirstNegativeOrNaN) {
    const struct {
        std::vector<double> x, re, im;
    } cases[] = {
        {{4, -9}, {2, 0}, {0, 3}},
        {{kNaN}, {0}, {std::sqrt(-kNaN)}},
        {{-4, 1, 16}, {0, 1, 4}, {2, 0, 0}},
        {{1, 4, 0.25, -0.0, -Inf(), 16, NegatedNaN(), 25},
         {1, 2, 0.5, -0.0, 0, 4, 0, 5},
         {0, 0, 0, 0, Inf(), 0, std::sqrt(-NegatedNaN()), 0}},
    };
    for (const auto &c : cases) {
        const unsigned int n = static_cast<unsigned int>(c.x.size());
        ArrayPtr a = DoubleArray({1, 1, n}, c.x);
        ArrayPtr r(Sqrt(a.get()));
        EXPECT_EQ(Dims(r.get()), Dims(a.get()));
        ASSERT_TRUE(r->IsComplex());
        EXPECT_FALSE(r->IsLogical());
        EXPECT_EQ(BitList(r.get()), BitList(c.re));
        EXPECT_EQ(BitList(ImagValues(r.get())), BitList(c.im));
        EXPECT_FALSE(a->IsComplex());
    }
}

// --- Real ---------------------------------------------------------------------

TEST(Real, SharesTheRealPartAndDropsTheImaginaryOne) {
    ArrayPtr z = matrix_test::Array({2, 2}, mxClassDouble, mxComplexityComplex);
    for (int i = 0; i < 4; ++i) {
        mxGetPr(z.get())[i] = i + 1;
        mxGetPi(z.get())[i] = -(i + 1);
    }
    const ArraySnapshot before = ArraySnapshot::Of(z.get());
    ArrayPtr r(Real(z.get()));
    EXPECT_EQ(r->GetPr(), z->GetPr());
    EXPECT_EQ(r->GetPi(), nullptr);
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_TRUE(ArraySnapshot::Of(z.get()) == before);
    r.reset();
    EXPECT_EQ(ImagValues(z.get()), (std::vector<double>{-1, -2, -3, -4}));
}

TEST(Real, TakesEveryClassAndKeepsFlags) {
    ArrayPtr text(mxCreateString("abc"));
    ArrayPtr t(Real(text.get()));
    EXPECT_TRUE(t->IsChar());
    EXPECT_EQ(matrix_test::Narrow(mxGetString(t.get())), "abc");

    ArrayPtr mask = Matrix(1, 2, {1, 0});
    mask->SetLogical();
    EXPECT_TRUE(ArrayPtr(Real(mask.get()))->IsLogical());

    ArrayPtr cell(mxCreateCellMatrix(1, 2));
    mxSetCell(cell.get(), 0, mxCreateString("x"));
    ArrayPtr c(Real(cell.get()));
    EXPECT_TRUE(c->IsCell());
    EXPECT_EQ(mxGetCell(c.get(), 0), mxGetCell(cell.get(), 0));
}

// --- Mod ----------------------------------------------------------------------

struct ModCase {
    double x, y, result;
};

const ModCase kModCases[] = {
    {5, 3, 2},       {-5, 3, 1},     {5, -3, -1},     {-5, -3, -2},
    {0.3, 0.1, 0},   {-0.3, 0.1, 0}, {5.5, 2.5, 0.5000000000000004},
    {7, 2.5, 1.9999999999999996},    {-1, 0.3, 0.19999999999999996},
    {6, -3, 0},      {-0.0, 3, 0},   {7, 0, 7},      {-0.0, 0, -0.0}, {kNaN, -0.0, kNaN},
};

TEST(Mod, ExamplesBitForBitInEveryForm) {
    std::vector<double> xs, ys, want;
    for (const ModCase &c : kModCases) {
        SCOPED_TRACE(testing::Message() << "Mod(" << c.x << ", " << c.y << ")");
        ArrayPtr x = Matrix(1, 1, {c.x}), y = Matrix(1, 1, {c.y});
        EXPECT_EQ(BitList(ArrayPtr(Mod(x.get(), c.y)).get()), BitList({c.result}));
        EXPECT_EQ(BitList(ArrayPtr(Mod(x.get(), y.get())).get()), BitList({c.result}));
        xs.push_back(c.x);
        ys.push_back(c.y);
        want.push_back(c.result);
    }
    // Element by element, each pair with its own zero and integer tests.
    const unsigned int n = static_cast<unsigned int>(xs.size());
    ArrayPtr X = DoubleArray({n, 1}, xs), Y = DoubleArray({n, 1}, ys);
    EXPECT_EQ(BitList(ArrayPtr(Mod(X.get(), Y.get())).get()), BitList(want));
}

TEST(Mod, NonFiniteOperandsGiveNaN) {
    for (const auto &xy : {std::pair<double, double>{5, Inf()}, {Inf(), 3}, {kNaN, 3},
                           {3, kNaN}, {-Inf(), 0.5}, {2, -Inf()}}) {
        ArrayPtr x = Matrix(1, 1, {xy.first});
        EXPECT_TRUE(std::isnan(Values(ArrayPtr(Mod(x.get(), xy.second)).get())[0]))
            << xy.first << " " << xy.second;
    }
}

TEST(Mod, IntegerOperandsGiveTheFlooredRemainder) {
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
    const unsigned int n = static_cast<unsigned int>(xs.size());
    ArrayPtr X = DoubleArray({1, n}, xs), Y = DoubleArray({1, n}, ys);
    EXPECT_EQ(Values(ArrayPtr(Mod(X.get(), Y.get())).get()), want);
}

TEST(Mod, ScalarDivisorMatchesAnArrayOfIt) {
    const std::vector<double> xv = TestValues();
    const unsigned int n = static_cast<unsigned int>(xv.size());
    ArrayPtr X = DoubleArray({n, 1}, xv);
    for (double y : {3.0, -0.1, 2.5, 0.0, -0.0, Inf(), kNaN, 1e-300}) {
        ArrayPtr Y = DoubleArray({n, 1}, std::vector<double>(n, y));
        EXPECT_EQ(BitList(ArrayPtr(Mod(X.get(), y)).get()),
                  BitList(ArrayPtr(Mod(X.get(), Y.get())).get()))
            << "y = " << y;
    }
    // A zero divisor returns X unchanged, NaN patterns included.
    EXPECT_EQ(BitList(ArrayPtr(Mod(X.get(), 0.0)).get()), BitList(xv));
}

TEST(Mod, ShapesAndOperandChecks) {
    ArrayPtr one = Matrix(1, 1, {7}), wide = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    ArrayPtr tall = Matrix(3, 2, {1, 2, 3, 4, 5, 6}), empty = matrix_test::Array({0, 2});
    EXPECT_EQ(Values(ArrayPtr(Mod(one.get(), wide.get())).get()),
              (std::vector<double>{0, 1, 1, 3, 2, 1}));
    EXPECT_EQ(Values(ArrayPtr(Mod(wide.get(), one.get())).get()),
              (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Dims(ArrayPtr(Mod(one.get(), empty.get())).get()), (DimList{0, 2}));
    EXPECT_EQ(Dims(ArrayPtr(Mod(empty.get(), one.get())).get()), (DimList{0, 2}));
    const ArraySnapshot before = ArraySnapshot::Of(wide.get());
    ArrayPtr r(Mod(wide.get(), wide.get()));
    EXPECT_TRUE(ArraySnapshot::Of(wide.get()) == before);

    EXPECT_REFUSED(Mod(wide.get(), tall.get()), CArrayDimsMustMatchForBinaryOpException,
                   L"Array dimensions must match for binary array op", wide.get(), tall.get());
    ArrayPtr single = matrix_test::Array({2, 3}, mxClassSingle);
    std::memset(single->GetPr(), 0, 6 * sizeof(float));
    // With two mismatched shapes the shape error wins over X's class.
    EXPECT_REFUSED(Mod(single.get(), tall.get()), CArrayDimsMustMatchForBinaryOpException,
                   L"Array dimensions must match for binary array op", single.get(), tall.get());
    for (const auto &bad : elementwise_test::RefusedOperands()) {
        SCOPED_TRACE(bad.name);
        CMatrix *x = bad.array.get();
        ArrayPtr same = matrix_test::Array(Dims(x));
        std::fill_n(mxGetPr(same.get()), same->GetNoElems(), 2.0);
        EXPECT_REFUSED(Mod(x, 3.0), CNotImplementedException, L"Operation not implemented! :-(", x);
        EXPECT_REFUSED(Mod(x, same.get()), CNotImplementedException,
                       L"Operation not implemented! :-(", x, same.get());
        EXPECT_REFUSED(Mod(same.get(), x), CNotImplementedException,
                       L"Operation not implemented! :-(", x, same.get());
        EXPECT_REFUSED(Mod(wide.get(), x), CNotImplementedException,
                       L"Operation not implemented! :-(", x, wide.get());
        EXPECT_REFUSED(Mod(x, one.get()), CNotImplementedException,
                       L"Operation not implemented! :-(", x, one.get());
    }
}

}  // namespace
