// tests/elementwise/arithmetic_test.cpp: the binary operators (arithmetic,
// comparisons, And, Or, MaxVal, MinVal, Max and Min of two arrays) in every
// form, and Not.
#include <matrix/matrix.h>

#include <cmath>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using namespace matrix_test::special;

// The element rules as the operators' definitions state them: a NaN
// survives from the left in the maximum and from the right in the minimum,
// and of equal values (two zeros) the same side wins; comparisons with NaN
// are false, except Ne; truth is non-zero, NaN included.
double RuleMax(double a, double b) {
    return std::isnan(a) || std::isnan(b) || a == b ? a : std::fmax(a, b);
}
double RuleMin(double a, double b) {
    return std::isnan(a) || std::isnan(b) || a == b ? b : std::fmin(a, b);
}

struct Operator {
    const char *name;
    CMatrix *(*arrays)(const CMatrix *, const CMatrix *);
    CMatrix *(*left)(double, const CMatrix *);
    CMatrix *(*right)(const CMatrix *, double);
    double (*rule)(double a, double b);
    bool logical;
    bool eitherNaN;  // of two NaN operands, IEEE arithmetic may keep either payload
};

const Operator kOperators[] = {
    {"Plus", Plus, Plus, Plus, [](double a, double b) { return a + b; }, false, true},
    {"Minus", Minus, Minus, Minus, [](double a, double b) { return a - b; }, false, true},
    {"Times", Times, Times, Times, [](double a, double b) { return a * b; }, false, true},
    {"Rdivide", Rdivide, Rdivide, Rdivide, [](double a, double b) { return a / b; }, false, true},
    {"Ldivide", Ldivide, Ldivide, Ldivide, [](double a, double b) { return b / a; }, false, true},
    {"Power", Power, Power, Power, [](double a, double b) { return std::pow(a, b); }, false, true},
    {"Max", Max, MaxVal, MaxVal, RuleMax, false, false},
    {"Min", Min, MinVal, MinVal, RuleMin, false, false},
    {"Eq", Eq, Eq, Eq, [](double a, double b) { return double(a == b); }, true, false},
    {"Ne", Ne, Ne, Ne, [](double a, double b) { return double(a != b); }, true, false},
    {"Lt", Lt, Lt, Lt, [](double a, double b) { return double(a < b); }, true, false},
    {"Le", Le, Le, Le, [](double a, double b) { return double(a <= b); }, true, false},
    {"Gt", Gt, Gt, Gt, [](double a, double b) { return double(a > b); }, true, false},
    {"Ge", Ge, Ge, Ge, [](double a, double b) { return double(a >= b); }, true, false},
    {"And", And, And, And, [](double a, double b) { return double(a != 0 && b != 0); }, true,
     false},
    {"Or", Or, Or, Or, [](double a, double b) { return double(a != 0 || b != 0); }, true, false}};

// Expects a new real double array of `dims`, logical as the operator says,
// holding rule(a[i], b[i]) bit for bit.
void ExpectResult(const Operator &op, const ValueList &a, const ValueList &b, CMatrix *result,
                  const DimList &dims) {
    const ArrayPtr got(result);
    EXPECT_EQ(Dims(got.get()), dims);
    EXPECT_TRUE(got->IsDouble() && !got->IsComplex() && got->IsLogical() == op.logical);
    std::vector<std::uint64_t> want, bits = BitsOf(got.get());
    for (std::size_t i = 0; i < a.size(); ++i) {
        want.push_back(Bits(op.rule(a[i], b[i])));
        const bool nans = std::isnan(a[i]) && std::isnan(b[i]) && std::isnan(FromBits(bits[i]));
        if (op.eitherNaN && nans) bits[i] = want[i];
    }
    EXPECT_EQ(bits, want);
}

TEST(BinaryOperators, EveryPairOfSpecialValuesInEveryForm) {
    // All 17 x 17 pairs as two 17-by-17 arrays, then each scalar against a
    // row of all values from either side, as a double and as a 1-by-1 array.
    const ValueList v = SpecialValues();
    const unsigned int n = static_cast<unsigned int>(v.size());
    ValueList a, b;
    for (double x : v) {
        for (double y : v) {
            a.push_back(x);
            b.push_back(y);
        }
    }
    ArrayPtr A = Filled({n, n}, a), B = Filled({n, n}, b), row = Row(v);
    // The operands' logical flag is ignored.
    for (CMatrix *x : {A.get(), B.get(), row.get()}) x->SetLogical();
    const Snapshots before({A.get(), B.get(), row.get()});
    for (const Operator &op : kOperators) {
        SCOPED_TRACE(op.name);
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

TEST(BinaryOperators, AnyOneElementOperandExpands) {
    const struct {
        DimList a, b, result;
    } cases[] = {{{2, 3}, {2, 3}, {2, 3}},       {{2, 3}, {1, 1}, {2, 3}},
                 {{1, 1}, {0, 3}, {0, 3}},       {{0, 3}, {0, 3}, {0, 3}},
                 {{1, 1}, {3, 1, 2}, {3, 1, 2}}, {{2, 0, 4}, {2, 0, 4}, {2, 0, 4}}};
    for (const auto &c : cases) {
        ArrayPtr a = Counted(c.a, 1), b = Counted(c.b, 2);
        ArrayPtr r(Minus(a.get(), b.get())), ge(Ge(a.get(), b.get()));
        EXPECT_TRUE(Dims(r.get()) == c.result && Dims(ge.get()) == c.result);
        EXPECT_TRUE(ge->IsLogical());  // also when empty
        EXPECT_TRUE(r->GetPr() != a->GetPr() && r->GetPr() != b->GetPr());
    }
}

// Checks a logical result: shape, class, flag, and exactly these values.
void ExpectLogical(CMatrix *result, const DimList &dims, const ValueList &values) {
    const ArrayPtr r(result);
    EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->IsLogical());
    EXPECT_TRUE(Dims(r.get()) == dims && Values(r.get()) == values);
}

TEST(Not, TruthIsNonZeroNaNIncluded) {
    ArrayPtr p = Filled({2, 1, 3}, {0, -kInf, -0.0, 7, kNaN, 1e-300});
    p->SetLogical();
    ExpectLogical(Not(p.get()), {2, 1, 3}, {1, 0, 1, 0, 0, 0});
    ExpectLogical(Not(Array({3, 0}).get()), {3, 0}, {});
}

// A false scalar decides And, a true one Or, whatever the other operand's
// class and complexity.
TEST(And, AScalarThatDecidesIgnoresTheOtherOperand) {
    for (const ArrayPtr &other : NonRealDoubleOperands()) {
        const CMatrix *x = other.get();
        const ValueList zeros(x->GetNoElems(), 0.0), ones(x->GetNoElems(), 1.0);
        ExpectLogical(And(0.0, x), Dims(x), zeros);
        ExpectLogical(And(x, -0.0), Dims(x), zeros);
        ExpectLogical(Or(1.0, x), Dims(x), ones);
        ExpectLogical(Or(x, kNaN), Dims(x), ones);
    }
    ExpectLogical(And(Row({0}).get(), Array({0, 2}).get()), {0, 2}, {});
}

}  // namespace
