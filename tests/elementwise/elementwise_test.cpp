// tests/elementwise/elementwise_test.cpp: the binary operators (arithmetic,
// comparisons, And, Or, MaxVal, MinVal, Max and Min of two arrays) in every
// form, the one-argument functions, the NaN and infinity tests, Real and Mod,
// the logical conversion, their refusals and their failed allocations.
#include <matrix/matrix.h>

#include <cmath>
#include <limits>
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
    {Max, MaxVal, MaxVal, [](double a, double b) { return b > a ? b : a; }},
    {Min, MinVal, MinVal, [](double a, double b) { return a < b ? a : b; }},
    {Eq, Eq, Eq, [](double a, double b) { return double(a == b); }},
    {Ne, Ne, Ne, [](double a, double b) { return double(a != b); }},
    {Lt, Lt, Lt, [](double a, double b) { return double(a < b); }},
    {Le, Le, Le, [](double a, double b) { return double(a <= b); }},
    {Gt, Gt, Gt, [](double a, double b) { return double(a > b); }},
    {Ge, Ge, Ge, [](double a, double b) { return double(a >= b); }},
    {And, And, And, [](double a, double b) { return double(a != 0 && b != 0); }},
    {Or, Or, Or, [](double a, double b) { return double(a != 0 || b != 0); }}};
// clang-format on

// Expects a new real double array of `dims`, logical as the operator says,
// holding rule(a[i], b[i]) bit for bit.
void ExpectResult(const Operator &op, const ValueList &a, const ValueList &b, CMatrix *result,
                  const DimList &dims) {
    const ArrayPtr got(result);
    EXPECT_TRUE(Dims(got.get()) == dims && got->IsDouble() && !got->IsComplex() &&
                got->IsLogical() == (&op >= kOperators + 8));
    std::vector<std::uint64_t> want, bits = BitsOf(got.get());
    for (std::size_t i = 0; i < a.size(); ++i) {
        want.push_back(Bits(op.rule(a[i], b[i])));
        const bool nans = std::isnan(a[i]) && std::isnan(b[i]) && std::isnan(FromBits(bits[i]));
        if (&op < kOperators + 6 && nans) bits[i] = want[i];
    }
    EXPECT_EQ(bits, want);
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
                   {3, -2, 0, 1, 4503599627370498.0, 0, kNaN}},
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
    // Any operand but a real double, before the shapes are compared and
    // before a deciding scalar is looked at.
    for (const ArrayPtr &p : bad) {
        CMatrix *x = p.get();
        for (Binary f : binaries) {
            for (const CMatrix *y : {o, zero.get(), h}) {
                t.push_back({"binary", [=] { ArrayPtr(f(x, y)); }, no, {x, y}});
                t.push_back({"binary", [=] { ArrayPtr(f(y, x)); }, no, {x, y}});
            }
        }
        for (Unary f : unaries) t.push_back({"unary", [=] { ArrayPtr(f(x)); }, no, {x}});
        t.push_back({"plus", [=] { ArrayPtr(Plus(1.0, x)); }, no, {x}});
        t.push_back({"and", [=] { ArrayPtr(And(5.0, x)); }, no, {x}});
        t.push_back({"or", [=] { ArrayPtr(Or(x, 0.0)); }, no, {x}});
        t.push_back({"mod", [=] { ArrayPtr(Mod(x, 3.0)); }, no, {x}});
        t.push_back({"mod", [=] { ArrayPtr(Mod(x, o)); }, no, {x, o}});
        t.push_back({"mod", [=] { ArrayPtr(Mod(w, x)); }, no, {x, w}});
    }
    // Shapes that differ, unless one operand has exactly one element.
    const DimList pairs[][2] = {{{2, 3}, {3, 2}},    {{0, 3}, {3, 0}}, {{2, 2, 2}, {2, 2}},
                                {{2, 2}, {2, 2, 2}}, {{1, 2}, {0, 0}}, {{2, 3, 4}, {2, 3, 5}}};
    for (const auto &pair : pairs) {
        const CMatrix *a = shapes.emplace_back(Counted(pair[0])).get();
        const CMatrix *b = shapes.emplace_back(Counted(pair[1])).get();
        for (Binary f : binaries) t.push_back({"shapes", [=] { f(a, b); }, mismatch, {a, b}});
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

}  // namespace
