// tests/elementwise/elementwise_test.cpp: the binary operators (arithmetic,
// comparisons, And, Or, MaxVal, MinVal, Max and Min of two arrays) in every
// form, the one-argument functions, the NaN and infinity tests, Real and Mod,
// the logical conversion, their refusals and their failed allocations.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

using Binary = CMatrix *(*)(const CMatrix *, const CMatrix *);
using Unary = CMatrix *(*)(const CMatrix *);

// The element rules as the operators' definitions state them: a NaN
// survives from the left in the maximum and from the right in the minimum,
// and of equal values (two zeros) the same side wins; comparisons with NaN
// are false, except Ne; truth is non-zero, NaN included. The operators from
// Eq on give logical results; of two NaN operands, the arithmetic ones may
// keep either payload.
struct Operator {
    Binary arrays;
    CMatrix *(*left)(double, const CMatrix *);
    CMatrix *(*right)(const CMatrix *, double);
    double (*rule)(double a, double b);
};
// clang-format off
const Operator kOperators[] = {
    {Plus, Plus, Plus, [](double a, double b) { return a + b; }},
    {Minus, Minus, Minus, [](double a, double b) { return a - b; }},
    {Times, Times, Times, [](double a, double b) { return a * b; }},
    {Rdivide, Rdivide, Rdivide, [](double a, double b) { return a / b; }},
    {Ldivide, Ldivide, Ldivide, [](double a, double b) { return b / a; }},
    {Power, Power, Power, [](double a, double b) { return std::pow(a, b); }},
    {Max, MaxVal, MaxVal, [](double a, double b) { return b > a || a != a ? b : a; }},
    {Min, MinVal, MinVal, [](double a, double b) { return a < b || b != b ? a : b; }},
    {Eq, Eq, Eq, [](double a, double b) { return double(a == b); }},
    {Ne, Ne, Ne, [](double a, double b) { return double(a != b); }},
    {Lt, Lt, Lt, [](double a, double b) { return double(a < b); }},
    {Le, Le, Le, [](double a, double b) { return double(a <= b); }},
    {Gt, Gt, Gt, [](double a, double b) { return double(a > b); }},
    {Ge, Ge, Ge, [](double a, double b) { return double(a >= b); }},
    {And, And, And, [](double a, double b) { return double(a != 0 && b != 0); }},
    {Or, Or, Or, [](double a, double b) { return double(a != 0 || b != 0); }}};
// clang-format on

// Expects a new double array of `dims`, logical as the operator says,
// holding rule(a[i], b[i]) bit for bit. Power of a negative base to a finite
// non-integer exponent is complex, and then so is the whole result: the
// principal value of std::pow there, the real power with imaginary part +0
// elsewhere.
void ExpectResult(const Operator &op, const ValueList &a, const ValueList &b, CMatrix *result,
                  const DimList &dims) {
    const ArrayPtr got(result);
    auto complexPower = [&](std::size_t i) {
        return &op == kOperators + 5 && a[i] < 0 && std::isfinite(b[i]) && b[i] != std::floor(b[i]);
    };
    bool complex = false;
    for (std::size_t i = 0; i < a.size(); ++i) complex = complex || complexPower(i);
    EXPECT_TRUE(Dims(got.get()) == dims && got->IsDouble() && got->IsComplex() == complex &&
                got->IsLogical() == (&op >= kOperators + 8));
    std::vector<std::uint64_t> want, wantIm, bits = BitsOf(got.get());
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::complex<double> z = op.rule(a[i], b[i]);
        if (complexPower(i)) z = std::pow(std::complex<double>(a[i]), std::complex<double>(b[i]));
        want.push_back(Bits(z.real()));
        if (complex) wantIm.push_back(Bits(z.imag()));
        const bool nans = std::isnan(a[i]) && std::isnan(b[i]) && std::isnan(FromBits(bits[i]));
        if (&op < kOperators + 6 && nans) bits[i] = want[i];
    }
    EXPECT_EQ(bits, want);
    EXPECT_EQ(BitsOf(ImagValues(got.get())), wantIm);
}

TEST(BinaryOperators, EveryPairOfSpecialValuesInEveryForm) {
    // All 17 x 17 pairs as two 17-by-17 arrays, then each scalar against a
    // row of all values from either side, as a double and as a 1-by-1 array.
    const ValueList v = SpecialValues();
    const unsigned int n = static_cast<unsigned int>(v.size());
    ValueList a, b;
    for (std::size_t k = 0; k < v.size() * v.size(); ++k) {
        a.push_back(v[k / n]);
        b.push_back(v[k % n]);
    }
    // Logical operands: the flag is ignored.
    ArrayPtr A = Mask(a, {n, n}), B = Mask(b, {n, n}), row = Mask(v);
    const Snapshots before({A.get(), B.get(), row.get()});
    for (const Operator &op : kOperators) {
        SCOPED_TRACE(&op - kOperators);
        ExpectResult(op, a, b, op.arrays(A.get(), B.get()), {n, n});
        for (double s : v) {
            SCOPED_TRACE(s);
            const ValueList same(n, s);
            ArrayPtr scalar = Row({s});
            ExpectResult(op, same, v, op.left(s, row.get()), {1, n});
            ExpectResult(op, v, same, op.right(row.get(), s), {1, n});
            ExpectResult(op, same, v, op.arrays(scalar.get(), row.get()), {1, n});
            ExpectResult(op, v, same, op.arrays(row.get(), scalar.get()), {1, n});
        }
    }
    EXPECT_TRUE(before.Unchanged());
}

// Also when the result is empty.
TEST(BinaryOperators, AnyOneElementOperandExpands) {
    for (const DimList &dims : {DimList{0, 3}, DimList{3, 1, 2}, DimList{2, 0, 4}}) {
        ArrayPtr a = Counted({1, 1}), b = Counted(dims, 2), r(Minus(b.get(), a.get()));
        EXPECT_TRUE(Dims(ArrayPtr(Ge(a.get(), b.get())).get()) == dims && Dims(r.get()) == dims);
    }
}

// A false scalar decides And, a true one Or, whatever the other operand's
// class and complexity.
TEST(And, AScalarThatDecidesIgnoresTheOtherOperand) {
    for (const ArrayPtr &other : NonRealDoubleOperands()) {
        const CMatrix *x = other.get();
        const ArrayPtr no(And(0.0, x)), yes(Or(x, kNaN));
        EXPECT_TRUE(no->IsLogical() && Dims(no.get()) == Dims(x) && Dims(yes.get()) == Dims(x));
        EXPECT_EQ(Values(no.get()), ValueList(x->GetNoElems(), 0.0));
        EXPECT_EQ(Values(yes.get()), ValueList(x->GetNoElems(), 1.0));
    }
}

// Each function (Mod(X, y) where there is none) on a column of inputs gives
// these outputs bit for bit, and these imaginary parts when complex.
TEST(Functions, ExamplesBitForBit) {
    // clang-format off
    const struct { Unary f; double y; ValueList x, want, im = {}; } rows[] = {
        {Abs, 0, {-0.0, -2.5, kNegatedNaN, -kInf}, {0, 2.5, kNaN, kInf}},
        {Exp, 0, {0, -kInf, 710, -746, 1}, {1, 0, kInf, 0, std::exp(1.0)}},
        {Round, 0, {2.5, -2.5, -0.5, 0.49999999999999994, 4503599627370497.0, -0.0, kNaN},
                   {3, -3, -1, 0, 4503599627370497.0, -0.0, kNaN}},
        {Sign, 0, {-0.0, 0, -3, 4.9e-324, kNaN, -kInf}, {0, 0, -1, 1, 0, -1}},
        {Uminus, 0, {0, kNaN, -1, kNegatedNaN}, {-0.0, kNegatedNaN, 1, kNaN}},
        {Not, 0, {0, -kInf, -0.0, 7, kNaN, 1e-300}, {1, 0, 1, 0, 0, 0}},
        {Real, 0, {-0.0, kNegatedNaN}, {-0.0, kNegatedNaN}},
        {Sqrt, 0, {4, 9, 0, -0.0}, {2, 3, 0, -0.0}},
        {Sqrt, 0, {1, 0.25, -0.0, kNaN, -kInf, 16, kNegatedNaN, -4}, {1, 0.5, -0.0, 0, 0, 4, 0, 0},
                  {0, 0, 0, kNegatedNaN, kInf, 0, kNaN, 2}},
        {nullptr, 3, {5, -5, -0.0, 6}, {2, 1, 0, 0}},
        {nullptr, -3, {5, -5, 6}, {-1, -2, 0}},
        {nullptr, 0.1, {0.3, -0.3}, {0, 0}},
        {nullptr, 0.3, {-1}, {0.19999999999999996}},
        {nullptr, 2.5, {5.5, 7}, {0.5000000000000004, 1.9999999999999996}},
        {nullptr, 7, {-23, 23}, {5, 2}},
        {nullptr, 0, {7, -0.0, kNegatedNaN, kInf}, {7, -0.0, kNegatedNaN, kInf}},
        {nullptr, -0.0, {kNaN, -2}, {kNaN, -2}}};
    // clang-format on
    for (const auto &r : rows) {
        SCOPED_TRACE(&r - rows);
        ArrayPtr a = Col(r.x), y = Row({r.y});
        const Snapshots before({a.get()});
        const ArrayPtr got(r.f ? r.f(a.get()) : Mod(a.get(), r.y));
        EXPECT_TRUE(Dims(got.get()) == Dims(a.get()) && before.Unchanged());
        EXPECT_TRUE(r.f != static_cast<Unary>(Real) ||
                    got->GetPr() == a->GetPr());  // Real shares its data
        EXPECT_EQ(BitsOf(got.get()), BitsOf(r.want));
        EXPECT_EQ(BitsOf(ImagValues(got.get())), BitsOf(r.im));
        if (r.f) continue;
        // Mod(X, Y) of a one-element Y, and of Y shaped like X.
        const ArrayPtr ys = Col(ValueList(r.x.size(), r.y)), pairs(Mod(a.get(), ys.get()));
        EXPECT_EQ(BitsOf(ArrayPtr(Mod(a.get(), y.get())).get()), BitsOf(r.want));
        EXPECT_EQ(BitsOf(pairs.get()), BitsOf(r.want));
    }
    // Non-finite operands give NaN.
    for (const auto &[x, y] : {std::pair{5.0, kInf}, {kInf, 3.0}, {kNaN, 3.0}, {3.0, kNaN}})
        EXPECT_TRUE(std::isnan(Values(ArrayPtr(Mod(Row({x}).get(), y)).get())[0])) << x << y;
}

// Complex builds a complex array from two real ones (keeping zero
// imaginary parts, expanding shapes); Imag, Conj, Angle and Abs take it
// apart again, in its own class.
TEST(Functions, ComplexParts) {
    const ValueList re = {3, -1, 0, -0.0}, im = {4, -0.0, 0, 2};
    const ArrayPtr z(Complex(Col(re).get(), Col(im).get()));
    ASSERT_TRUE(z->IsDouble() && z->IsComplex() && Dims(z.get()) == (DimList{4, 1}));
    EXPECT_EQ(BitsOf(z.get()), BitsOf(re));
    EXPECT_EQ(BitsOf(ArrayPtr(Imag(z.get())).get()), BitsOf(im));
    const ArrayPtr conj(Conj(z.get()));
    EXPECT_EQ(BitsOf(ImagValues(conj.get())), BitsOf(ValueList{-4, 0, -0.0, -2}));
    EXPECT_EQ(Values(ArrayPtr(Angle(z.get())).get()),
              (ValueList{std::atan(4.0 / 3), -M_PI, 0, M_PI / 2}));
    EXPECT_EQ(Values(ArrayPtr(Abs(z.get())).get()), (ValueList{5, 1, 0, 2}));
    // Real operands: zero imaginary parts, a real angle of 0 or pi.
    const ArrayPtr x = Row({-2, 5});
    EXPECT_EQ(Values(ArrayPtr(Imag(x.get())).get()), (ValueList{0, 0}));
    EXPECT_EQ(Values(ArrayPtr(Angle(x.get())).get()), (ValueList{M_PI, 0}));
    EXPECT_FALSE(ArrayPtr(Conj(x.get()))->IsComplex());
    // A column and a row expand; single with double is single.
    const ArrayPtr s = Typed(mxClassSingle, {1, 2}, std::vector<float>{0.5f, 1});
    const ArrayPtr grid(Complex(Col({1, 2}).get(), s.get()));
    ASSERT_TRUE(grid->IsSingle() && grid->IsComplex() && Dims(grid.get()) == (DimList{2, 2}));
    const float *gi = static_cast<const float *>(grid->GetPi());
    EXPECT_EQ(std::vector<float>(gi, gi + 4), (std::vector<float>{0.5f, 0.5f, 1, 1}));
    EXPECT_EQ(static_cast<const float *>(ArrayPtr(Imag(grid.get()))->GetPr())[3], 1.0f);
    // Only double and single, real operands for Complex, compatible shapes.
    const ArrayPtr i8 = Zeroed({1, 2}, mxClassInt8), tall = Counted({3, 2}), wide = Counted({2, 3});
    ExpectRefusals(
        {{"imag", [&] { ArrayPtr(Imag(i8.get())); }, NotImplemented(), {i8.get()}},
         {"angle", [&] { ArrayPtr(Angle(Cells(1, 1).get())); }, NotImplemented(), {}},
         {"complex", [&] { ArrayPtr(Complex(z.get(), x.get())); }, NotImplemented(), {}},
         {"complex", [&] { ArrayPtr(Complex(x.get(), i8.get())); }, NotImplemented(), {}},
         {"complex",
          [&] { ArrayPtr(Complex(tall.get(), wide.get())); },
          Expected::Throws<CArrayDimsMustMatchForBinaryOpException>(),
          {tall.get(), wide.get()}}});
}

// Any NaN is a NaN, whatever its sign, payload and origin; the infinities
// are exactly +-Inf; everything else is finite. The arrays and the mx
// functions agree.
TEST(Isnan, AnyNaNWhateverItsBits) {
    ArrayPtr zero = Row({0}), quotient(Rdivide(0.0, zero.get())),
             difference(Minus(kInf, Row({kInf}).get()));
    // Quiet and signalling, both signs, smallest and other payloads.
    const ValueList kinds[] = {
        {kNaN, kNegatedNaN, Values(quotient.get())[0], Values(difference.get())[0], std::nan(""),
         -std::nan(""), std::numeric_limits<double>::signaling_NaN(), FromBits(0x7FF0000000000001),
         FromBits(0xFFF0000000000001), FromBits(0xFFF7FFFFFFFFFFFF), FromBits(0x7FFC0000DEADBEEF)},
        {kInf, -kInf},
        {0.0, -0.0, 4.9e-324, -2.2250738585072009e-308, 1.7976931348623157e308, -1e308}};
    bool (*const scalar[])(double) = {mxIsNaN, mxIsInf, mxIsFinite};
    const Unary array[] = {Isnan, Isinf, Isfinite};
    for (int k = 0; k < 3; ++k) {
        const ArrayPtr a = Col(kinds[k]);
        for (int t = 0; t < 3; ++t) {
            const ArrayPtr r(array[t](a.get()));
            EXPECT_TRUE(r->IsLogical() && Dims(r.get()) == Dims(a.get()));
            EXPECT_EQ(Values(r.get()), ValueList(kinds[k].size(), t == k)) << t << k;
            for (double x : kinds[k]) EXPECT_EQ(scalar[t](x), t == k) << t << ' ' << Bits(x);
        }
    }
    // The library keeps making its own NaN.
    EXPECT_EQ(Bits(mxGetNaN()), 0x7FFFFFFFFFFFFFFFu);
}

// Non-zero is true in every class, the infinities included; shape kept.
TEST(Logical, GivesTheTruthOfEachElement) {
    const auto expectLogical = [](CMatrix *result, const DimList &dims, const ValueList &values) {
        const ArrayPtr got(result);
        EXPECT_TRUE(got->IsDouble() && !got->IsComplex() && got->IsLogical());
        EXPECT_EQ(Dims(got.get()), dims);
        EXPECT_EQ(Values(got.get()), values);
    };
    expectLogical(Logical(Matrix(2, 3, {2, 0, -0.0, kInf, -kInf, -3.5}).get()), {2, 3},
                  {1, 0, 0, 1, 1, 1});
    expectLogical(Logical(Typed<float>(mxClassSingle, {1, 3}, {0.5f, -0.0f, 0}).get()), {1, 3},
                  {1, 0, 0});
    expectLogical(Logical(Typed<std::int8_t>(mxClassInt8, {1, 3}, {-128, 0, 1}).get()), {1, 3},
                  {1, 0, 1});
    expectLogical(Logical(Typed<std::uint64_t>(mxClassUint64, {1, 2}, {0, 1ull << 63}).get()),
                  {1, 2}, {0, 1});
    expectLogical(Logical(Typed<std::int32_t>(mxClassInt32, {2, 1}, {65536, 0}).get()), {2, 1},
                  {1, 0});
    const ArrayPtr text = Typed<std::uint16_t>(mxClassChar, {1, 3}, {0, 'a', 0x0100});
    expectLogical(Logical(text.get()), {1, 3}, {0, 1, 1});
    expectLogical(Logical(Mask({0, 5}, {1, 2}).get()), {1, 2}, {0, 1});
    expectLogical(Logical(Counted({2, 1, 2}, 0).get()), {2, 1, 2}, {0, 1, 1, 1});
    expectLogical(Logical(matrix_test::Array({0, 3}).get()), {0, 3}, {});
    expectLogical(Logical(matrix_test::Array({0, 2}, mxClassInt16).get()), {0, 2}, {});
}

// Cast converts between every numeric class and char: to an integer class
// halves round away from zero, NaN gives 0, values saturate (exactly, for
// 64-bit sources); to char values truncate and saturate to 0..65535; to
// single they round to nearest; complex parts convert each; the logical
// flag goes.
TEST(Cast, ConvertsAsTheTargetTypeHolds) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double big = 9007199254740993.0;  // 2^53 + 1 does not exist in double: 2^53
    // Source class and values (imaginary parts when complex), target class,
    // expected values as doubles (and imaginary parts).
    const std::tuple<mxClassID, ValueList, ValueList, mxClassID, ValueList, ValueList> cases[] = {
        {mxClassDouble,
         {2.5, -2.5, 1e10, -inf, nan, 0.49},
         {},
         mxClassInt8,
         {3, -3, 127, -128, 0, 0},
         {}},
        {mxClassDouble, {-1, 255.5, 254.5}, {}, mxClassUint8, {0, 255, 255}, {}},
        {mxClassDouble, {65.9, -1, 70000, nan, 0.99}, {}, mxClassChar, {65, 0, 65535, 0, 0}, {}},
        {mxClassDouble, {0.1, -inf}, {1e300, 0}, mxClassSingle, {double(0.1f), -inf}, {inf, 0}},
        {mxClassDouble,
         {big, -big, 1e19},
         {},
         mxClassInt64,
         {big, -big, 9223372036854775807.0},
         {}},
        {mxClassSingle, {0.5f, -1.5f, nan}, {}, mxClassInt32, {1, -2, 0}, {}},
        {mxClassSingle, {0.1f}, {-2}, mxClassDouble, {double(0.1f)}, {-2}},
        {mxClassChar, {97, 65535}, {}, mxClassDouble, {97, 65535}, {}},
        {mxClassChar, {97, 200}, {}, mxClassInt8, {97, 127}, {}},
        {mxClassInt16, {-300, 300, 70}, {}, mxClassChar, {0, 300, 70}, {}},
        {mxClassInt16, {-300, 300}, {}, mxClassUint8, {0, 255}, {}},
        {mxClassUint64, {1.8e19}, {}, mxClassInt64, {9223372036854775807.0}, {}},
        {mxClassInt64, {-9223372036854775808.0}, {}, mxClassUint32, {0}, {}},
        {mxClassUint32, {4294967295.0}, {}, mxClassSingle, {4294967296.0}, {}},
        {mxClassInt8, {-7}, {}, mxClassInt8, {-7}, {}}};
    for (const auto &[from, re, im, to, wantRe, wantIm] : cases) {
        ArrayPtr a = TypedRow(from, re, im);
        a->SetLogical();  // dropped by every conversion
        const Snapshots before({a.get()});
        ArrayPtr r(Cast(a.get(), to));
        EXPECT_TRUE(r->GetClassID() == to && !r->IsLogical()) << from << " " << to;
        EXPECT_EQ(Dims(r.get()), Dims(a.get()));
        EXPECT_EQ(BitsOf(AnyValues(r.get())), BitsOf(wantRe)) << from << " " << to;
        EXPECT_EQ(AnyValues(r.get(), true), wantIm) << from << " " << to;
        EXPECT_TRUE(before.Unchanged());
    }
    // The named forms are Cast to their class.
    ArrayPtr mask = Mask({1, 0}), letter = Chars({1, 1}, "a");
    ArrayPtr d(Double(mask.get())), f(Single(letter.get()));
    EXPECT_TRUE(d->IsDouble() && !d->IsLogical() && Values(d.get()) == (ValueList{1, 0}));
    EXPECT_TRUE(f->IsSingle() && AnyValues(f.get()) == (ValueList{97}));
    // Refusals: complex to integer or char, cell, targets outside the classes.
    ArrayPtr z = Complex(1, 1, {1}, {2}), cell = Cells(1, 1);
    const CMatrix *zc = z.get(), *cc = cell.get();
    const auto error = [](const wchar_t *text) {
        return Expected::Throws(CFunctionErrorException(text));
    };
    ExpectRefusals({
        {"complex to int16",
         [zc] { ArrayPtr(Cast(zc, mxClassInt16)); },
         error(L"Cast: complex values cannot be converted to an integer class"),
         {zc}},
        {"complex to char",
         [zc] { ArrayPtr(Cast(zc, mxClassChar)); },
         error(L"Cast: complex values cannot be converted to char"),
         {zc}},
        {"cell", [cc] { ArrayPtr(Double(cc)); }, NotImplemented(), {cc}},
        {"to cell", [zc] { ArrayPtr(Cast(zc, mxClassCell)); }, NotImplemented(), {zc}},
    });
}

TEST(Elementwise, Refusals) {
    ArrayPtr one = Counted({1, 1}), wide = Counted({2, 3}), tall = Counted({3, 2});
    ArrayPtr single = Zeroed({2, 3}, mxClassSingle), zero = Row({0});
    std::vector<ArrayPtr> bad = NonRealDoubleOperands(), shapes;
    std::vector<Refusal> t;
    const Expected no = NotImplemented(),
                   mismatch = Expected::Throws<CArrayDimsMustMatchForBinaryOpException>();
    const Binary binaries[] = {Plus, Ge, Max, And, Or};
    const Unary unaries[] = {Abs, Sqrt, Isnan, Not, Uminus};
    CMatrix *o = one.get(), *w = wide.get(), *h = tall.get(), *s = single.get();
    // A cell operand everywhere, before the shapes are compared and before
    // a deciding scalar is looked at; a complex one by Mod, before the
    // shapes too.
    for (const ArrayPtr &p : bad) {
        CMatrix *x = p.get();
        if (x->IsCell() || x->IsComplex()) {
            t.push_back({"mod", [=] { ArrayPtr(Mod(x, 3.0)); }, no, {x}});
            t.push_back({"mod", [=] { ArrayPtr(Mod(x, o)); }, no, {x, o}});
            t.push_back({"mod", [=] { ArrayPtr(Mod(w, x)); }, no, {x, w}});
        }
        if (!x->IsCell()) continue;
        for (Unary f : unaries) t.push_back({"unary", [=] { ArrayPtr(f(x)); }, no, {x}});
        for (Binary f : binaries) {
            for (const CMatrix *y : {o, zero.get(), h}) {
                t.push_back({"binary", [=] { ArrayPtr(f(x, y)); }, no, {x, y}});
                t.push_back({"binary", [=] { ArrayPtr(f(y, x)); }, no, {x, y}});
            }
        }
        t.push_back({"plus", [=] { ArrayPtr(Plus(1.0, x)); }, no, {x}});
        t.push_back({"and", [=] { ArrayPtr(And(5.0, x)); }, no, {x}});
        t.push_back({"or", [=] { ArrayPtr(Or(x, 0.0)); }, no, {x}});
    }
    // Two integer classes, before the shapes; an integer with a complex
    // operand, and a complex operand of MaxVal and MinVal; each also from the
    // scalar side.
    ArrayPtr i8 = Zeroed({2, 3}, mxClassInt8), i16 = Zeroed({3, 2}, mxClassInt16);
    ArrayPtr c = Complex(1, 1, {1}, {2});
    const Expected mix = Expected::Throws<CIntegersCanOnlyBeCombinedException>();
    const Expected complexInteger =
        Expected::Throws(CFunctionErrorException(L"Complex integer arithmetic is not supported."));
    CMatrix *p8 = i8.get(), *p16 = i16.get(), *pc = c.get();
    for (Binary f : {Binary(Plus), Binary(Times), Binary(Max), Binary(Min), Binary(Power)}) {
        t.push_back({"int8 with int16", [=] { ArrayPtr(f(p8, p16)); }, mix, {p8, p16}});
        t.push_back({"int16 with int8", [=] { ArrayPtr(f(p16, p8)); }, mix, {p8, p16}});
        t.push_back({"int8 with complex", [=] { ArrayPtr(f(p8, pc)); }, complexInteger, {p8, pc}});
    }
    t.push_back({"max of complex", [=] { ArrayPtr(MaxVal(pc, 1.0)); }, no, {pc}});
    t.push_back({"min of complex", [=] { ArrayPtr(MinVal(1.0, pc)); }, no, {pc}});
    // Shapes that are not compatible: in some dimension the lengths differ
    // and neither is 1. Also between other classes.
    const DimList pairs[][2] = {{{2, 3}, {3, 2}},    {{0, 3}, {3, 0}}, {{2, 2, 2}, {2, 3}},
                                {{2, 2}, {2, 3, 3}}, {{1, 2}, {0, 0}}, {{2, 3, 4}, {2, 3, 5}}};
    for (const auto &pair : pairs) {
        const CMatrix *a = shapes.emplace_back(Counted(pair[0])).get();
        const CMatrix *b = shapes.emplace_back(Counted(pair[1])).get();
        for (Binary f : binaries) t.push_back({"shapes", [=] { f(a, b); }, mismatch, {a, b}});
    }
    const CMatrix *c3 = shapes.emplace_back(Zeroed({1, 3}, mxClassChar)).get();
    for (Binary f : binaries) {
        t.push_back({"single shapes", [=] { ArrayPtr(f(s, h)); }, mismatch, {s, h}});
        t.push_back({"int8 shapes", [=] { ArrayPtr(f(p8, h)); }, mismatch, {p8, h}});
        t.push_back({"char shapes", [=] { ArrayPtr(f(h, c3)); }, mismatch, {h, c3}});
    }
    // Mod: the shape error wins over X's class.
    t.push_back({"mod shapes", [=] { ArrayPtr(Mod(w, h)); }, mismatch, {w, h}});
    t.push_back({"mod shapes before X's class", [=] { ArrayPtr(Mod(s, h)); }, mismatch, {s, h}});
    // Logical: NaN in the float classes, complex values, and the classes
    // without numbers.
    const Expected nan = Expected::Throws(
                       CFunctionErrorException(L"NaN's cannot be converted to logicals.")),
                   complex = Expected::Throws(
                       CFunctionErrorException(L"Complex values cannot be converted to logicals."));
    ArrayPtr nanRow = Row({1, kNaN, 0}), negatedNaN = Row({kNegatedNaN}),
             nanSingle = Typed<float>(mxClassSingle, {1, 2}, {0, std::nanf("")}),
             z = Complex(1, 1, {1}, {0}), cell = Cells(1, 2),
             strct = matrix_test::Array({1, 1}, mxClassStruct);
    for (const CMatrix *x : {nanRow.get(), negatedNaN.get(), nanSingle.get()})
        t.push_back({"logical NaN", [=] { ArrayPtr(Logical(x)); }, nan, {x}});
    const CMatrix *zc = z.get(), *cc = cell.get(), *sc = strct.get();
    t.push_back({"logical complex", [=] { ArrayPtr(Logical(zc)); }, complex, {zc}});
    t.push_back({"logical cell", [=] { ArrayPtr(Logical(cc)); }, no, {cc}});
    t.push_back({"logical struct", [=] { ArrayPtr(Logical(sc)); }, no, {sc}});
    ExpectRefusals(t);
}

// --- Implicit expansion ---------------------------------------------------------

// Lengths equal or 1 in every dimension: the result takes the larger, and
// each element combines the operands' elements at its subscripts (those of
// a length-1 dimension fixed at 0).
TEST(BinaryOperators, ImplicitExpansionAgainstClosedForms) {
    // x.^(0:3) for a column x: the powers x^j.
    const ArrayPtr x = Col({1, 2, 3, -4, 0.5}), j = Row({0, 1, 2, 3});
    const ArrayPtr powers(Power(x.get(), j.get()));
    ASSERT_TRUE(Dims(powers.get()) == (DimList{5, 4}));
    for (unsigned int c = 0; c < 4; ++c) {
        for (unsigned int r = 0; r < 5; ++r)
            EXPECT_EQ(Values(powers.get())[r + 5 * c], std::pow(Values(x.get())[r], c));
    }
    // A - mean(A): every column of the centred matrix sums to zero.
    const ArrayPtr A = Matrix(3, 2, {1, 4, 7, 2, 4, 9}), means = Row({4, 5});
    EXPECT_EQ(Values(ArrayPtr(Minus(A.get(), means.get())).get()),
              (ValueList{-3, 0, 3, -3, -1, 4}));
    // 2x1x3 against 1x4 (a missing third dimension counts as 1): 2x4x3 with
    // a(i, 1, k) + b(1, j) = (1 + i + 2k) + 10 j, the comparison and And alike.
    const ArrayPtr a = Counted({2, 1, 3}), b = Row({0, 10, 20, 30});
    const ArrayPtr sum(Plus(a.get(), b.get())), ge(Ge(b.get(), a.get())),
        both(And(a.get(), b.get()));
    const DimList dims{2, 4, 3};
    EXPECT_TRUE(Dims(sum.get()) == dims && Dims(ge.get()) == dims && Dims(both.get()) == dims);
    for (unsigned int k = 0; k < 24; ++k) {
        const unsigned int i = k % 2, col = k / 2 % 4, page = k / 8;
        EXPECT_EQ(Values(sum.get())[k], 1 + i + 2 * page + 10 * col) << k;
        EXPECT_EQ(Values(ge.get())[k], 10.0 * col >= 1 + i + 2 * page) << k;
        EXPECT_EQ(Values(both.get())[k], col != 0) << k;
    }
    // Empty results: a length 0 against a length 1.
    const ArrayPtr none(Times(ArrayPtr(Counted({0, 1})).get(), b.get()));
    EXPECT_TRUE(Dims(none.get()) == (DimList{0, 4}));
}

// A result large enough to be split among the threads gives the bits of the
// same-shape path on operands replicated to full size.
TEST(BinaryOperators, ExpansionMatchesTheSameShapePath) {
    const unsigned int m = 1u << 17;
    const ArrayPtr column = Counted({m, 1}, 0.25), row = Row({-1.5, 3, 1e300, kNaN});
    const ArrayPtr wideColumn(Repmat(column.get(), 1, 4)), tallRow(Repmat(row.get(), m, 1));
    for (const Operator &op : kOperators) {
        SCOPED_TRACE(&op - kOperators);
        const ArrayPtr expanded(op.arrays(column.get(), row.get()));
        const ArrayPtr plain(op.arrays(wideColumn.get(), tallRow.get()));
        EXPECT_TRUE(Dims(expanded.get()) == (DimList{m, 4}));
        EXPECT_EQ(BitsOf(expanded.get()), BitsOf(plain.get()));
    }
    // The class engine splits its runs the same way: int16 with single.
    std::vector<std::int16_t> counts(m);
    for (unsigned int i = 0; i < m; ++i) counts[i] = static_cast<std::int16_t>(i % 40000 - 20000);
    const ArrayPtr ints = Typed(mxClassInt16, {m, 1}, counts);
    const ArrayPtr singles = Typed(mxClassSingle, {1, 3}, std::vector<float>{0.5f, -3, 1e5f});
    const ArrayPtr wideInts(Repmat(ints.get(), 1, 3)), tallSingles(Repmat(singles.get(), m, 1));
    for (Binary f : {Binary(Times), Binary(Rdivide), Binary(Lt)}) {
        const ArrayPtr expanded(f(ints.get(), singles.get())),
            plain(f(wideInts.get(), tallSingles.get()));
        ASSERT_TRUE(Dims(expanded.get()) == (DimList{m, 3}));
        EXPECT_EQ(Bytes(expanded.get()), Bytes(plain.get()));
    }
}

// Every allocation of the expanding and class paths can fail: each failure
// throws the out-of-memory exception, leaks nothing and changes no operand.
TEST(BinaryOperators, FailedAllocationsOfTheExpandingAndClassPaths) {
    const ArrayPtr col = Col({-8, 2}), row = Row({0.5, 1, 2}), nd = Counted({2, 1, 2});
    const ArrayPtr i8 = Typed(mxClassInt8, {1, 3}, std::vector<std::int8_t>{-128, 0, 127});
    const ArrayPtr z = Complex(1, 1, {1}, {-1});
    const CMatrix *c = col.get(), *r = row.get(), *n = nd.get(), *i = i8.get(), *w = z.get();
    ExpectFailurePoints({{"expand", [=] { return Minus(c, r); }, {c, r}},
                         {"expand 3-d", [=] { return And(n, r); }, {n, r}},
                         {"complex power", [=] { return Power(c, r); }, {c, r}},
                         {"scalar power", [=] { return Power(-8.0, r); }, {r}},
                         {"int8", [=] { return Times(c, i); }, {c, i}},
                         {"int8 scalar", [=] { return MaxVal(i, 3.5); }, {i}},
                         {"complex", [=] { return Rdivide(w, r); }, {w, r}},
                         {"compare", [=] { return Le(i, w); }, {i, w}},
                         {"or", [=] { return Or(i, c); }, {i, c}},
                         {"uminus", [=] { return Uminus(i); }, {i}},
                         {"log of complex", [=] { return Log(w); }, {w}},
                         {"round of int8", [=] { return Round(i); }, {i}},
                         {"sign of int8", [=] { return Sign(i); }, {i}},
                         {"idivide", [=] { return Idivide(i, r); }, {i, r}},
                         {"bitshift", [=] { return Bitshift(i, c); }, {i, c}},
                         {"build", [=] { return Complex(c, r); }, {c, r}}});
}

// --- Element classes --------------------------------------------------------------

// Every operand kind the class engine combines: each numeric class, char, a
// logical (flagged double), complex double and complex single.
struct Kind {
    const char *name;
    mxClassID id;
    bool complex = false;
};
const Kind kKinds[] = {{"double", mxClassDouble},
                       {"single", mxClassSingle},
                       {"int8", mxClassInt8},
                       {"uint8", mxClassUint8},
                       {"int16", mxClassInt16},
                       {"uint16", mxClassUint16},
                       {"int32", mxClassInt32},
                       {"uint32", mxClassUint32},
                       {"int64", mxClassInt64},
                       {"uint64", mxClassUint64},
                       {"char", mxClassChar},
                       {"logical", mxClassDouble},
                       {"complex", mxClassDouble, true},
                       {"complex single", mxClassSingle, true}};
bool IsLogicalKind(const Kind &k) { return &k == kKinds + 11; }
bool IsInteger(mxClassID id) { return id >= mxClassInt8 && id <= mxClassUint64; }

// Calls f(T()) with the element type of class id.
template <typename F>
auto WithType(mxClassID id, F f) {
    switch (id) {
        case mxClassSingle: return f(float());
        case mxClassInt8: return f(std::int8_t());
        case mxClassUint8: return f(std::uint8_t());
        case mxClassInt16: return f(std::int16_t());
        case mxClassUint16: return f(std::uint16_t());
        case mxClassInt32: return f(std::int32_t());
        case mxClassUint32: return f(std::uint32_t());
        case mxClassInt64: return f(std::int64_t());
        case mxClassUint64: return f(std::uint64_t());
        case mxClassChar: return f(static_cast<std::uint16_t>(0));
        default: return f(double());
    }
}

// x in the class of T: floating types round, integer types and char round
// halves away from zero, saturate and take NaN as 0.
template <typename T>
T Saturated(double x) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(x);
    } else {
        if (std::isnan(x)) return 0;
        const double r = std::round(x);
        if (r >= std::ldexp(1.0, std::numeric_limits<T>::digits))
            return std::numeric_limits<T>::max();
        if (r <= double(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
        return static_cast<T>(r);
    }
}

// A row of kind k holding re (and im) converted to its class.
ArrayPtr Make(const Kind &k, const ValueList &re, const ValueList &im) {
    ArrayPtr a = matrix_test::Array({1, unsigned(re.size())}, k.id, mxComplexity(k.complex));
    WithType(k.id, [&](auto t) {
        using T = decltype(t);
        for (std::size_t i = 0; i < re.size(); ++i) {
            static_cast<T *>(a->GetPr())[i] = Saturated<T>(IsLogicalKind(k) ? re[i] != 0 : re[i]);
            if (k.complex) static_cast<T *>(a->GetPi())[i] = Saturated<T>(im[i]);
        }
        return 0;
    });
    if (IsLogicalKind(k)) a->SetLogical();
    return a;
}

// Element i of a (its imaginary part when asked, 0 for a real array).
std::complex<double> At(const CMatrix *a, std::size_t i) {
    return WithType(a->GetClassID(), [&](auto t) {
        using T = decltype(t);
        const T *im = static_cast<const T *>(a->GetPi());
        return std::complex<double>(static_cast<const T *>(a->GetPr())[i], im ? im[i] : 0);
    });
}

// Limits of the small classes, NaN, the infinities, both zeros and halves.
const ValueList kClassValues = {0,   -0.0, 1,    -1,    2.5,  -2.5,  0.5,  -7, 127,  -128,
                                255, 3e9,  -3e9, 1e300, kInf, -kInf, kNaN, 3,  -0.5, 6};
// The second operand: the same values in another order.
ValueList Rotated(const ValueList &v, std::size_t k) {
    ValueList r(v.begin() + k, v.end());
    r.insert(r.end(), v.begin(), v.begin() + k);
    return r;
}
// Imaginary parts for the complex kinds.
ValueList Imaginary(std::size_t n) {
    ValueList v;
    for (std::size_t i = 0; i < n; ++i) v.push_back(i % 3 == 0 ? 0.0 : 1.5 - double(i % 5));
    return v;
}

// The result class of arithmetic on kinds a and b, or mxClassNone when the
// integer rule refuses (class mxClassCell when the complex rule does).
mxClassID ArithmeticClass(const Kind &a, const Kind &b) {
    if (IsInteger(a.id) || IsInteger(b.id)) {
        if (IsInteger(a.id) && IsInteger(b.id) && a.id != b.id) return mxClassNone;
        if (a.complex || b.complex) return mxClassCell;
        return IsInteger(a.id) ? a.id : b.id;
    }
    return a.id == mxClassSingle || b.id == mxClassSingle ? mxClassSingle : mxClassDouble;
}

// The operators of the class tests: Plus to Min of kOperators, in T.
template <typename T>
T Arithmetic(int op, T a, T b) {
    switch (op) {
        case 0: return a + b;
        case 1: return a - b;
        case 2: return a * b;
        case 3: return a / b;
        case 4: return b / a;
        case 5: return std::pow(a, b);
        default: return T();
    }
}

// Complex arithmetic, where an element whose imaginary part is zero takes
// part as a real number: it scales each part of the other on its own.
template <typename F>
std::complex<F> ComplexArithmetic(int op, std::complex<F> a, std::complex<F> b) {
    const bool realA = a.imag() == 0, realB = b.imag() == 0;
    switch (op) {
        case 2: return realB ? a * b.real() : realA ? a.real() * b : a * b;
        case 3: return realB ? a / b.real() : a / b;
        case 4: return realA ? b / a.real() : b / a;
        default: return Arithmetic(op, a, b);
    }
}

// The element of op on x and y in the floating type F with the relative
// error allowed (complex powers: the library squares for whole exponents),
// or nothing for the complex powers of large or non-finite parts, which
// are not checked. The real power stands where it is real.
template <typename F>
std::optional<std::pair<std::complex<double>, double>> Expect(int op, std::complex<double> x,
                                                              std::complex<double> y,
                                                              bool complex) {
    const std::complex<F> a(x), b(y);
    const bool root = a.real() < 0 && std::isfinite(b.real()) && b.real() != std::floor(b.real());
    const bool realPair = a.imag() == 0 && b.imag() == 0;
    if (op >= 6) return {{F(kOperators[op].rule(a.real(), b.real())), 0.0}};
    if (op < 5 && !complex) return {{Arithmetic(op, a.real(), b.real()), 0.0}};
    if (op < 5) return {{ComplexArithmetic(op, a, b), 0.0}};
    if (realPair && !root) return {{std::pow(a.real(), b.real()), 0.0}};
    for (F part : {a.real(), a.imag(), b.real(), b.imag()})
        if (!(std::fabs(part) <= 100)) return std::nullopt;
    const double tol = 64 * std::numeric_limits<F>::epsilon();
    if (b.imag() != 0 || b.real() != std::floor(b.real())) return {{std::pow(a, b), tol}};
    if (std::fabs(b.real()) > 8) return std::nullopt;
    std::complex<F> product(1, 0);
    for (int k = 0; k < std::fabs(b.real()); ++k) product *= a;
    return {{b.real() < 0 ? F(1) / product : product, tol}};
}

// Arithmetic of every pair of kinds, element by element against the C++
// types: double and single arithmetic (complex in std::complex of the
// class), integers computed in double and saturated, the errors of the
// mixes that do not combine.
TEST(Classes, ArithmeticOfEveryPairOfClasses) {
    const ValueList re = kClassValues, other = Rotated(re, 7), im = Imaginary(re.size());
    const std::size_t n = re.size();
    for (const Kind &ka : kKinds) {
        for (const Kind &kb : kKinds) {
            const ArrayPtr A = Make(ka, re, im), B = Make(kb, other, Rotated(im, 2));
            const Snapshots before({A.get(), B.get()});
            const mxClassID out = ArithmeticClass(ka, kb);
            const bool complex = ka.complex || kb.complex;
            for (int op = 0; op < 8; ++op) {
                SCOPED_TRACE(std::string(ka.name) + " " + kb.name + " op " + std::to_string(op));
                const Binary f = kOperators[op].arrays;
                if (out == mxClassNone) {
                    ExpectRefusal([&] { ArrayPtr(f(A.get(), B.get())); },
                                  Expected::Throws<CIntegersCanOnlyBeCombinedException>(), {});
                    continue;
                }
                if (out == mxClassCell) {
                    ExpectRefusal([&] { ArrayPtr(f(A.get(), B.get())); },
                                  Expected::Throws(CFunctionErrorException(
                                      L"Complex integer arithmetic is not supported.")),
                                  {});
                    continue;
                }
                // Max and Min of complex operands follow Sort's order, tested
                // with the reductions.
                if (complex && op >= 6) continue;
                // An integer power with a negative base and a fractional
                // exponent would be complex, which no integer class holds.
                bool complexPower = false;
                for (std::size_t i = 0; i < n && op == 5 && IsInteger(out); ++i) {
                    const double x = At(A.get(), i).real(), y = At(B.get(), i).real();
                    complexPower = complexPower || (x < 0 && std::isfinite(y) && y != std::floor(y));
                }
                if (complexPower) {
                    ExpectRefusal([&] { ArrayPtr(f(A.get(), B.get())); },
                                  Expected::Throws(CFunctionErrorException(
                                      L"Complex integer arithmetic is not supported.")),
                                  {});
                    continue;
                }
                const ArrayPtr R(f(A.get(), B.get()));
                ASSERT_EQ(R->GetClassID(), out);
                EXPECT_FALSE(R->IsLogical());
                bool anyIm = false;
                for (std::size_t i = 0; i < n; ++i) {
                    const std::complex<double> x = At(A.get(), i), y = At(B.get(), i);
                    std::complex<double> want;
                    double tol = 0;
                    if (IsInteger(out)) {
                        // The exact power of a 64-bit class (its sign included)
                        // is beyond this double oracle once the exponent is.
                        if (op == 5 && std::fabs(y.real()) > 0x1p53) continue;
                        want = WithType(out, [&](auto t) {
                            return double(
                                Saturated<decltype(t)>(kOperators[op].rule(x.real(), y.real())));
                        });
                    } else {
                        const auto e = out == mxClassSingle ? Expect<float>(op, x, y, complex)
                                                            : Expect<double>(op, x, y, complex);
                        if (!e) continue;
                        want = e->first;
                        tol = e->second * std::abs(want);
                    }
                    anyIm = anyIm || want.imag() != 0;
                    const std::complex<double> got = At(R.get(), i);
                    for (auto [g, w] :
                         {std::pair{got.real(), want.real()}, {got.imag(), want.imag()}}) {
                        EXPECT_TRUE((std::isnan(g) && std::isnan(w)) || g == w ||
                                    std::fabs(g - w) <= tol)
                            << i << ": got " << got << " for " << want;
                    }
                }
                // Complex results whose imaginary parts are all zero are real.
                if (op < 5) {
                    EXPECT_EQ(R->IsComplex(), anyIm);
                }
            }
            EXPECT_TRUE(before.Unchanged());
        }
    }
}

// Comparisons and logical operators of every pair of kinds: exact values,
// complex equality on both parts and ordering on real parts, truth of
// either part; results logical double.
TEST(Classes, ComparisonsAndLogicOfEveryPairOfClasses) {
    const ValueList re = kClassValues, other = Rotated(re, 3), im = Imaginary(re.size());
    for (const Kind &ka : kKinds) {
        for (const Kind &kb : kKinds) {
            const ArrayPtr A = Make(ka, re, im), B = Make(kb, other, Rotated(im, 1));
            for (int op = 8; op < 16; ++op) {
                SCOPED_TRACE(std::string(ka.name) + " " + kb.name + " op " + std::to_string(op));
                const ArrayPtr R(kOperators[op].arrays(A.get(), B.get()));
                EXPECT_TRUE(R->IsDouble() && R->IsLogical() && !R->IsComplex());
                for (std::size_t i = 0; i < re.size(); ++i) {
                    const std::complex<double> x = At(A.get(), i), y = At(B.get(), i);
                    double want = kOperators[op].rule(x.real(), y.real());
                    if (op == 8 || op == 9) want = (x == y) == (op == 8);
                    if (op >= 14) want = kOperators[op].rule(x != 0.0, y != 0.0);
                    EXPECT_EQ(Values(R.get())[i], want) << i;
                }
            }
        }
    }
}

// Uminus, Abs and Not of every kind, against the C++ types; integers
// saturate.
TEST(Classes, UnaryOperatorsOfEveryClass) {
    const ValueList re = kClassValues, im = Imaginary(re.size());
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        const ArrayPtr A = Make(k, re, im);
        const ArrayPtr neg(Uminus(A.get())), abs(Abs(A.get())), no(Not(A.get()));
        const mxClassID out = k.id == mxClassChar ? mxClassDouble : k.id;
        EXPECT_TRUE(neg->GetClassID() == out && abs->GetClassID() == out && no->IsLogical());
        EXPECT_TRUE(neg->IsComplex() == k.complex && !abs->IsComplex() && !neg->IsLogical());
        for (std::size_t i = 0; i < re.size(); ++i) {
            const std::complex<double> x = At(A.get(), i);
            std::complex<double> wantNeg = k.complex ? -x : -x.real();
            double wantAbs = std::abs(x);
            if (IsInteger(out)) {
                wantNeg = WithType(
                    out, [&](auto t) { return double(Saturated<decltype(t)>(-x.real())); });
                wantAbs = WithType(out, [&](auto t) {
                    return double(Saturated<decltype(t)>(std::fabs(x.real())));
                });
            } else if (out == mxClassSingle) {
                wantAbs = std::abs(std::complex<float>(x));
            }
            const std::complex<double> gotNeg = At(neg.get(), i);
            EXPECT_TRUE(Bits(gotNeg.real()) == Bits(wantNeg.real()) &&
                        Bits(gotNeg.imag()) == Bits(wantNeg.imag()))
                << i << ": " << gotNeg;
            EXPECT_TRUE(At(abs.get(), i).real() == wantAbs ||
                        (std::isnan(wantAbs) && std::isnan(At(abs.get(), i).real())))
                << i;
            EXPECT_EQ(Values(no.get())[i], x == 0.0) << i;
        }
    }
}

// The integer rules at work: rounding of quotients, saturation, NaN, and
// 64-bit integers exact beyond 2^53 where a double would round.
TEST(Classes, IntegerExamples) {
    const auto i32 = [](std::vector<std::int32_t> v) {
        return Typed(mxClassInt32, {1, unsigned(v.size())}, v);
    };
    const ArrayPtr num = i32({7, -7, 5, -5, 0, 2147483647}), den = i32({2, 2, 0, 0, 0, -1});
    const ArrayPtr q(Rdivide(num.get(), den.get()));
    ASSERT_TRUE(q->IsInt32());
    const std::int32_t *r = static_cast<const std::int32_t *>(q->GetPr());
    EXPECT_EQ(std::vector<std::int32_t>(r, r + 6),
              (std::vector<std::int32_t>{4, -4, 2147483647, -2147483647 - 1, 0, -2147483647}));
    const std::int64_t big = (std::int64_t(1) << 53) + 1,
                       top = std::numeric_limits<std::int64_t>::max();
    const ArrayPtr a =
        Typed(mxClassInt64, {1, 5}, std::vector<std::int64_t>{big, big, top, -top - 1, big});
    const ArrayPtr b = Typed(mxClassInt64, {1, 5}, std::vector<std::int64_t>{1, -big, 1, -1, 3});
    const auto int64s = [](const ArrayPtr &x) {
        const std::int64_t *p = static_cast<const std::int64_t *>(x->GetPr());
        return std::vector<std::int64_t>(p, p + x->GetNoElems());
    };
    EXPECT_EQ(int64s(ArrayPtr(Plus(a.get(), b.get()))),
              (std::vector<std::int64_t>{big + 1, 0, top, -top - 1, big + 3}));
    EXPECT_EQ(int64s(ArrayPtr(Times(a.get(), b.get()))),
              (std::vector<std::int64_t>{big, -top - 1, top, top, 3 * big}));
    EXPECT_EQ(int64s(ArrayPtr(Rdivide(a.get(), b.get()))),
              (std::vector<std::int64_t>{big, -1, top, top, big / 3}));
    EXPECT_EQ(int64s(ArrayPtr(Minus(a.get(), 1.0))),
              (std::vector<std::int64_t>{big - 1, big - 1, top - 1, -top - 1, big - 1}));
    EXPECT_EQ(
        int64s(ArrayPtr(
            Max(a.get(),
                ArrayPtr(Typed(mxClassInt64, {1, 1}, std::vector<std::int64_t>{big - 1})).get()))),
        (std::vector<std::int64_t>{big, big, top, big - 1, big}));
    // Exact comparisons with doubles: 2^53 + 1 is above the double 2^53.
    EXPECT_EQ(Values(ArrayPtr(Gt(a.get(), 9007199254740992.0)).get()), (ValueList{1, 1, 1, 0, 1}));
    EXPECT_EQ(Values(ArrayPtr(Eq(a.get(), 9223372036854775807.0)).get()),
              (ValueList{0, 0, 0, 0, 0}));
    EXPECT_EQ(Values(ArrayPtr(Lt(a.get(), 9223372036854775807.0)).get()),
              (ValueList{1, 1, 1, 1, 1}));
    EXPECT_EQ(int64s(ArrayPtr(Uminus(a.get()))),
              (std::vector<std::int64_t>{-big, -big, -top, top, -big}));
}

// --- One- and two-argument functions of every class ---------------------------

using Cd = std::complex<double>;
Cd RoundEach(Cd z, double (*f)(double)) { return {f(z.real()), f(z.imag())}; }

// One function, its oracle on the complex value (the C++ library's, or the
// rule each part follows), what it does with integers, and the side of the
// branch cut a real argument beyond the domain takes (-0i above 1 for asin
// and acos).
struct ClassRow {
    const char *name;
    Unary f;
    Cd (*oracle)(Cd);
    int integers;  // 0 refused, 1 kept, 2 their signs
    bool cut = false;
};
// clang-format off
const ClassRow kClassRows[] = {
    {"sqrt", Sqrt, [](Cd z) { return std::sqrt(z); }, 0},
    {"exp", Exp, [](Cd z) { return std::exp(z); }, 0},
    {"expm1", Expm1, [](Cd z) { return z.imag() == 0 ? Cd(std::expm1(z.real())) : std::exp(z) - 1.0; }, 0},
    {"log", Log, [](Cd z) { return std::log(z); }, 0},
    {"log2", Log2, [](Cd z) { return std::log(z) / std::log(2.0); }, 0},
    {"log10", Log10, [](Cd z) { return std::log10(z); }, 0},
    {"log1p", Log1p, [](Cd z) { return z.imag() == 0 && z.real() >= -1 ? Cd(std::log1p(z.real())) : std::log(1.0 + z); }, 0},
    {"sin", Sin, [](Cd z) { return std::sin(z); }, 0},
    {"cos", Cos, [](Cd z) { return std::cos(z); }, 0},
    {"tan", Tan, [](Cd z) { return std::tan(z); }, 0},
    {"asin", Asin, [](Cd z) { return std::asin(z); }, 0, true},
    {"acos", Acos, [](Cd z) { return std::acos(z); }, 0, true},
    {"atan", Atan, [](Cd z) { return std::atan(z); }, 0},
    {"sinh", Sinh, [](Cd z) { return std::sinh(z); }, 0},
    {"cosh", Cosh, [](Cd z) { return std::cosh(z); }, 0},
    {"tanh", Tanh, [](Cd z) { return std::tanh(z); }, 0},
    {"asinh", Asinh, [](Cd z) { return std::asinh(z); }, 0},
    {"acosh", Acosh, [](Cd z) { return std::acosh(z); }, 0},
    {"atanh", Atanh, [](Cd z) { return std::atanh(z); }, 0},
    {"sign", Sign, [](Cd z) { return z.imag() == 0 ? Cd((z.real() > 0) - (z.real() < 0)) : z / std::abs(z); }, 2},
    {"round", Round, [](Cd z) { return RoundEach(z, [](double x) { return std::round(x); }); }, 1},
    {"floor", Floor, [](Cd z) { return RoundEach(z, [](double x) { return std::floor(x); }); }, 1},
    {"ceil", Ceil, [](Cd z) { return RoundEach(z, [](double x) { return std::ceil(x); }); }, 1},
    {"fix", Fix, [](Cd z) { return RoundEach(z, [](double x) { return std::trunc(x); }); }, 1}};
// clang-format on

// got within tol of want, relative to |want| (complex modulus), or both NaN
// in the same parts.
// x rounded to float, overflowing to an infinity.
double InFloat(double x) {
    volatile float f = static_cast<float>(x);
    return f;
}

// A NaN wanted in either part asks only for a NaN in either part: the
// library takes a real NaN as the real number it is, the oracle as complex.
bool Near(Cd got, Cd want, double tol) {
    const auto nan = [](Cd z) { return std::isnan(z.real()) || std::isnan(z.imag()); };
    if (nan(want) || nan(got)) return nan(want) && nan(got);
    const double size = std::abs(want);
    for (auto [g, w] : {std::pair{got.real(), want.real()}, {got.imag(), want.imag()}}) {
        const double scale = tol * (std::isinf(size) ? std::fabs(w) : std::max(size, 1e-300));
        if (!(g == w || std::fabs(g - w) <= scale)) return false;
    }
    return true;
}

// Every function on every kind against its oracle: single in float (within
// a few float ulps of the double oracle), complex double and single within a
// few ulps of the C++ library's complex functions (parts up to 100; beyond,
// only the real elements), integers refused by name, kept or signed, char
// as the double of its code units; results real where every imaginary part
// is zero.
TEST(Classes, OneArgumentFunctionsOfEveryClass) {
    const ValueList re = kClassValues, im = Imaginary(re.size());
    for (const Kind &k : kKinds) {
        if (k.id == mxClassDouble && !k.complex) continue;  // the double tests' own
        const ArrayPtr A = Make(k, re, im);
        const Snapshots before({A.get()});
        for (const ClassRow &row : kClassRows) {
            SCOPED_TRACE(std::string(k.name) + " " + row.name);
            if (IsInteger(k.id) && row.integers == 0) {
                const std::string n(row.name);
                const std::wstring message = std::wstring(n.begin(), n.end()) +
                                             L": not defined for values of class " +
                                             std::wstring(k.name, k.name + std::strlen(k.name)) +
                                             L"; convert them to double or single first";
                ExpectRefusal([&] { ArrayPtr(row.f(A.get())); },
                              Expected::Throws(CFunctionErrorException(message.c_str())),
                              {A.get()});
                continue;
            }
            const ArrayPtr R(row.f(A.get()));
            ASSERT_TRUE(Dims(R.get()) == Dims(A.get()) && !R->IsLogical());
            if (k.id == mxClassChar || IsLogicalKind(k)) {
                const ArrayPtr d(Double(A.get())), want(row.f(d.get()));
                EXPECT_TRUE(R->IsDouble() && BitsOf(R.get()) == BitsOf(want.get()));
                continue;
            }
            ASSERT_EQ(R->GetClassID(), k.id);
            const bool single = k.id == mxClassSingle;
            const double tol = single ? 8 * std::numeric_limits<float>::epsilon()
                                      : 16 * std::numeric_limits<double>::epsilon();
            bool anyIm = false;
            for (std::size_t i = 0; i < re.size(); ++i) {
                const Cd x = At(A.get(), i), got = At(R.get(), i);
                if (IsInteger(k.id)) {
                    const double want =
                        row.integers == 1 ? x.real() : (x.real() > 0) - (x.real() < 0);
                    EXPECT_EQ(got.real(), want) << i;
                    continue;
                }
                // Both zeros are the real number 0.
                const bool onCut = row.cut && x.imag() == 0 && x.real() > 1;
                Cd want = row.oracle(Cd(x.real() == 0 ? 0.0 : x.real(), onCut ? -0.0 : x.imag()));
                if (single) want = Cd(InFloat(want.real()), InFloat(want.imag()));
                anyIm = anyIm || want.imag() != 0;
                if (x.imag() != 0 && !(std::fabs(x.real()) <= 100)) continue;
                EXPECT_TRUE(Near(got, want, tol))
                    << i << ": " << x << " gives " << got << ", not " << want;
            }
            if (!anyIm) {
                EXPECT_FALSE(R->IsComplex());
            }
        }
        // Isinf, Isnan and Isfinite: either part, both parts finite.
        const ArrayPtr inf(Isinf(A.get())), nan(Isnan(A.get())), fin(Isfinite(A.get()));
        for (std::size_t i = 0; i < re.size(); ++i) {
            const Cd x = At(A.get(), i);
            const bool isInf = std::isinf(x.real()) || std::isinf(x.imag());
            const bool isNaN = std::isnan(x.real()) || std::isnan(x.imag());
            EXPECT_EQ(Values(inf.get())[i], isInf) << i;
            EXPECT_EQ(Values(nan.get())[i], isNaN) << i;
            EXPECT_EQ(Values(fin.get())[i], !isInf && !isNaN) << i;
        }
        EXPECT_TRUE(inf->IsLogical() && nan->IsLogical() && fin->IsLogical());
        EXPECT_TRUE(before.Unchanged());
    }
}

// The integer division, remainders and bit-wise functions of the integer
// classes against C++ integer arithmetic on every pair of values.
template <typename T>
void ExpectIntegerFunctions(mxClassID id) {
    using L = std::numeric_limits<T>;
    std::vector<T> v = {0, 1, 2, 3, 7, 100, L::max(), T(L::max() - 1)};
    if (L::is_signed) {
        for (T x : {T(-1), T(-2), T(-7), T(-100), L::min(), T(L::min() + 1)}) v.push_back(x);
    }
    std::vector<T> a, b;
    for (T x : v) {
        for (T y : v) a.push_back(x), b.push_back(y);
    }
    const unsigned int n = unsigned(a.size());
    const ArrayPtr A = Typed(id, {1, n}, a), B = Typed(id, {1, n}, b);
    const auto values = [](const ArrayPtr &r) {
        const T *p = static_cast<const T *>(r->GetPr());
        return std::vector<T>(p, p + r->GetNoElems());
    };
    __extension__ typedef __int128 W;
    const auto saturate = [](W x) {
        return T(x > W(L::max()) ? L::max() : x < W(L::min()) ? L::min() : x);
    };
    std::vector<T> mod, rem, fix, floor, ceil, round, band, bor, bxor;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const W x = a[k], y = b[k];
        const W r = y == 0 ? 0 : x % y;
        rem.push_back(T(r));
        mod.push_back(y == 0 ? T(x) : T(r != 0 && (r < 0) != (y < 0) ? r + y : r));
        const W q = y == 0 ? 0 : x / y;
        const bool exact = y != 0 && r == 0, down = (r < 0) != (y < 0);
        const W lim = x > 0 ? W(L::max()) : (x < 0 ? W(L::min()) : 0);
        fix.push_back(saturate(y == 0 ? lim : q));
        floor.push_back(saturate(y == 0 ? lim : exact || !down ? q : q - 1));
        ceil.push_back(saturate(y == 0 ? lim : exact || down ? q : q + 1));
        const W twice = 2 * (r < 0 ? -r : r), mag = y < 0 ? -y : y;
        round.push_back(saturate(y == 0                   ? lim
                                 : twice >= mag && r != 0 ? (down ? q - 1 : q + 1)
                                                          : q));
        band.push_back(T(a[k] & b[k]));
        bor.push_back(T(a[k] | b[k]));
        bxor.push_back(T(a[k] ^ b[k]));
    }
    EXPECT_EQ(values(ArrayPtr(Mod(A.get(), B.get()))), mod);
    EXPECT_EQ(values(ArrayPtr(Rem(A.get(), B.get()))), rem);
    EXPECT_EQ(values(ArrayPtr(Idivide(A.get(), B.get()))), fix);
    EXPECT_EQ(values(ArrayPtr(Idivide(A.get(), B.get(), DivideRounding::kFloor))), floor);
    EXPECT_EQ(values(ArrayPtr(Idivide(A.get(), B.get(), DivideRounding::kCeil))), ceil);
    EXPECT_EQ(values(ArrayPtr(Idivide(A.get(), B.get(), DivideRounding::kRound))), round);
    EXPECT_EQ(values(ArrayPtr(Bitand(A.get(), B.get()))), band);
    EXPECT_EQ(values(ArrayPtr(Bitor(A.get(), B.get()))), bor);
    EXPECT_EQ(values(ArrayPtr(Bitxor(A.get(), B.get()))), bxor);
    // Shifts by -9 .. 9 places (and 70: all out) of every value, the bits
    // beyond the width dropped, signed classes shifted right arithmetically.
    const ValueList places = {-70, -9, -3, -1, 0, 1, 3, 9, 70};
    const ArrayPtr K = Col(places), S(Bitshift(A.get(), K.get()));
    using U = std::make_unsigned_t<T>;
    for (std::size_t j = 0; j < places.size(); ++j) {
        for (std::size_t k = 0; k < a.size(); ++k) {
            const int p = int(places[j]);
            const int bits = 8 * sizeof(T);
            T want;
            if (p >= bits)
                want = 0;
            else if (p >= 0)
                want = T(U(U(a[k]) << p));
            else if (-p >= bits)
                want = a[k] < 0 ? T(-1) : T(0);
            else
                want = T(a[k] >> -p);
            EXPECT_EQ(static_cast<const T *>(S->GetPr())[j + k * places.size()], want)
                << +a[k] << " by " << p;
        }
    }
    // Powers: exact, saturating, the sign of an odd power of a negative base.
    for (T x : v) {
        for (int p : {0, 1, 2, 3, 7, 63, 64, 65}) {
            W exact = 1;
            bool over = false;
            for (int q = 0; q < p && !over; ++q) {
                over = std::fabs(double(exact)) * std::fabs(double(x)) > 0x1p100;
                if (!over) exact *= x;
            }
            over = over || exact > W(L::max()) || exact < W(L::min());
            const T want = over ? (x < 0 && p % 2 ? L::min() : L::max()) : saturate(exact);
            const ArrayPtr P(
                Power(ArrayPtr(Typed(id, {1, 1}, std::vector<T>{x})).get(), double(p)));
            // The smaller classes power in double: exact while below 2^53.
            if (sizeof(T) == 8 || !over) {
                EXPECT_EQ(values(P)[0], want) << +x << "^" << p;
            }
        }
    }
}

TEST(Classes, IntegerDivisionRemaindersAndBits) {
    ExpectIntegerFunctions<std::int8_t>(mxClassInt8);
    ExpectIntegerFunctions<std::uint8_t>(mxClassUint8);
    ExpectIntegerFunctions<std::int16_t>(mxClassInt16);
    ExpectIntegerFunctions<std::uint32_t>(mxClassUint32);
    ExpectIntegerFunctions<std::int64_t>(mxClassInt64);
    ExpectIntegerFunctions<std::uint64_t>(mxClassUint64);
    // Doubles: whole numbers up to flintmax as unsigned 64-bit integers.
    const ArrayPtr d = Row({0, 12, 9007199254740992.0}), e = Row({10, 10, 2});
    EXPECT_EQ(Values(ArrayPtr(Bitand(d.get(), e.get())).get()), (ValueList{0, 8, 0}));
    EXPECT_EQ(Values(ArrayPtr(Bitxor(d.get(), e.get())).get()),
              (ValueList{10, 6, 9007199254740994.0}));
    EXPECT_EQ(Values(ArrayPtr(Bitshift(d.get(), Row({1}).get())).get()),
              (ValueList{0, 24, 18014398509481984.0}));
    // Single Mod computes in float: 0.3f and 0.1f snap to a whole quotient.
    const ArrayPtr m(Mod(ArrayPtr(Typed(mxClassSingle, {1, 1}, std::vector<float>{0.3f})).get(),
                         ArrayPtr(Typed(mxClassSingle, {1, 1}, std::vector<float>{0.1f})).get()));
    EXPECT_TRUE(m->IsSingle() && static_cast<const float *>(m->GetPr())[0] == 0.0f);
}

// The refusals of the integer functions: message, nothing left, operands
// unchanged.
TEST(Classes, IntegerFunctionRefusals) {
    const ArrayPtr i8 = Typed(mxClassInt8, {1, 2}, std::vector<std::int8_t>{1, 2});
    const ArrayPtr i16 = Typed(mxClassInt16, {1, 1}, std::vector<std::int16_t>{1});
    const ArrayPtr s = Typed(mxClassSingle, {1, 1}, std::vector<float>{1});
    const ArrayPtr neg = Row({-1, 2}), half = Row({0.5}), big = Row({300}),
                   z = Complex(1, 1, {1}, {2});
    const ArrayPtr wide = Row({1, 2, 3}), huge = Row({9007199254740994.0});
    const CMatrix *a = i8.get(), *b = i16.get(), *f = s.get(), *n = neg.get(), *h = half.get(),
                  *g = big.get(), *c = z.get(), *w = wide.get(), *u = huge.get();
    const auto fails = [](const wchar_t *m) {
        return Expected::Throws(CFunctionErrorException(m));
    };
    const Expected flint = fails(
        L"bitand: double operands must be non-negative whole numbers no greater than flintmax");
    std::vector<Refusal> t = {
        {"idivide doubles",
         [=] { ArrayPtr(Idivide(n, h)); },
         fails(L"idivide: at least one operand must be of an integer class"),
         {n, h}},
        {"idivide mix",
         [=] { ArrayPtr(Idivide(a, b)); },
         Expected::Throws<CIntegersCanOnlyBeCombinedException>(),
         {a, b}},
        {"idivide complex", [=] { ArrayPtr(Idivide(a, c)); }, NotImplemented(), {a, c}},
        {"idivide shapes",
         [=] { ArrayPtr(Idivide(a, w)); },
         Expected::Throws<CArrayDimsMustMatchForBinaryOpException>(),
         {a, w}},
        {"bitand negative", [=] { ArrayPtr(Bitand(n, h)); }, flint, {n, h}},
        {"bitand fraction", [=] { ArrayPtr(Bitand(h, n)); }, flint, {n, h}},
        {"bitand beyond flintmax", [=] { ArrayPtr(Bitand(u, h)); }, flint, {u, h}},
        {"bitand beyond int8",
         [=] { ArrayPtr(Bitand(a, g)); },
         fails(L"bitand: double operands must be whole numbers within the range of int8"),
         {a, g}},
        {"bitor single",
         [=] { ArrayPtr(Bitor(f, a)); },
         fails(L"bitor: operands must be of an integer class or double, not single"),
         {f, a}},
        {"bitxor complex", [=] { ArrayPtr(Bitxor(c, h)); }, NotImplemented(), {c, h}},
        {"bitshift places",
         [=] { ArrayPtr(Bitshift(a, h)); },
         fails(L"bitshift: the number of places must be a whole number"),
         {a, h}},
        {"bitshift negative",
         [=] { ArrayPtr(Bitshift(n, g)); },
         fails(L"bitshift: double operands must be non-negative whole numbers no greater than "
               L"flintmax"),
         {n, g}},
        {"atan2 int8",
         [=] { ArrayPtr(Atan2(a, h)); },
         fails(L"atan2: not defined for values of class int8; convert them to double or single "
               L"first"),
         {a, h}},
        {"mod complex",
         [=] { ArrayPtr(Mod(const_cast<CMatrix *>(c), const_cast<CMatrix *>(h))); },
         NotImplemented(),
         {c, h}}};
    ExpectRefusals(t);
}

}  // namespace
