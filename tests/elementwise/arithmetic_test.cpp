// tests/elementwise/arithmetic_test.cpp: the binary engines behind the arithmetic
// operators, the comparisons, MaxVal, MinVal and Max and Min of two arrays.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "elementwise/binary_engine.h"
#include "elementwise/elementwise_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace elementwise_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

// Reference rules, written from the definitions rather than from the code:
// a NaN survives from the left in the maximum and from the right in the
// minimum, and of equal values (two zeros) the same side wins.
double RefMax(double a, double b) {
    return std::isnan(a) || std::isnan(b) || a == b ? a : std::fmax(a, b);
}
double RefMin(double a, double b) {
    return std::isnan(a) || std::isnan(b) || a == b ? b : std::fmin(a, b);
}
double RefEq(double a, double b) { return !std::isunordered(a, b) && !(a < b || b < a); }
double RefNe(double a, double b) { return std::isunordered(a, b) || a < b || b < a; }
double RefLt(double a, double b) { return std::isless(a, b); }
double RefLe(double a, double b) { return std::islessequal(a, b); }
double RefGt(double a, double b) { return std::isgreater(a, b); }
double RefGe(double a, double b) { return std::isgreaterequal(a, b); }

struct Operator {
    const char *name;
    CMatrix *(*arrays)(const CMatrix *, const CMatrix *);
    CMatrix *(*left)(double, const CMatrix *);
    CMatrix *(*right)(const CMatrix *, double);
    double (*reference)(double a, double b);
    bool logical;
    bool eitherNaN;  // of two NaN operands, IEEE arithmetic may keep either payload
};

// The comparisons use the ordering of the values, so that NaN answers come
// from the rule "unordered is false, except for Ne".
const Operator kOperators[] = {
    {"Plus", Plus, Plus, Plus, [](double a, double b) { return a + b; }, false, true},
    {"Minus", Minus, Minus, Minus, [](double a, double b) { return a - b; }, false, true},
    {"Times", Times, Times, Times, [](double a, double b) { return a * b; }, false, true},
    {"Rdivide", Rdivide, Rdivide, Rdivide, [](double a, double b) { return a / b; }, false, true},
    {"Ldivide", Ldivide, Ldivide, Ldivide, [](double a, double b) { return b / a; }, false, true},
    {"Power", Power, Power, Power, [](double a, double b) { return std::pow(a, b); }, false, true},
    {"Max", Max, MaxVal, MaxVal, RefMax, false, false},
    {"Min", Min, MinVal, MinVal, RefMin, false, false},
    {"Eq", Eq, Eq, Eq, RefEq, true, false},
    {"Ne", Ne, Ne, Ne, RefNe, true, false},
    {"Lt", Lt, Lt, Lt, RefLt, true, false},
    {"Le", Le, Le, Le, RefLe, true, false},
    {"Gt", Gt, Gt, Gt, RefGt, true, false},
    {"Ge", Ge, Ge, Ge, RefGe, true, false},
};

// Expects a new real double array of `dims`, logical as the operator says,
// holding reference(a[i], b[i]) bit for bit.
void ExpectResult(const Operator &op, const std::vector<double> &a, const std::vector<double> &b,
                  const CMatrix *got, const DimList &dims) {
    EXPECT_EQ(Dims(got), dims);
    EXPECT_TRUE(got->IsDouble() && !got->IsComplex());
    EXPECT_EQ(got->IsLogical(), op.logical);
    std::vector<std::uint64_t> want, bits = BitsOf(got);
    for (std::size_t i = 0; i < a.size(); ++i) {
        want.push_back(Bits(op.reference(a[i], b[i])));
        const bool nans = std::isnan(a[i]) && std::isnan(b[i]) && std::isnan(FromBits(bits[i]));
        if (op.eitherNaN && nans) bits[i] = want[i];
    }
    EXPECT_EQ(bits, want);
}

TEST(BinaryOperators, EveryPairOfSpecialValuesInEveryForm) {
    // All 17 x 17 pairs as two 17-by-17 arrays, then each scalar against a
    // row of all values from either side, as a double and as a 1-by-1 array.
    const std::vector<double> v = SpecialValues();
    const unsigned int n = static_cast<unsigned int>(v.size());
    std::vector<double> a, b;
    for (double x : v) {
        for (double y : v) {
            a.push_back(x);
            b.push_back(y);
        }
    }
    ArrayPtr A = Filled({n, n}, a), B = Filled({n, n}, b), row = Filled({1, n}, v);
    // The operands' logical flag is ignored.
    for (CMatrix *x : {A.get(), B.get(), row.get()}) x->SetLogical();
    const Snapshots before({A.get(), B.get(), row.get()});
    for (const Operator &op : kOperators) {
        SCOPED_TRACE(op.name);
        ExpectResult(op, a, b, ArrayPtr(op.arrays(A.get(), B.get())).get(), {n, n});
        for (double s : v) {
            SCOPED_TRACE(s);
            const std::vector<double> same(n, s);
            ArrayPtr scalar = Filled({1, 1}, {s});
            ExpectResult(op, same, v, ArrayPtr(op.left(s, row.get())).get(), {1, n});
            ExpectResult(op, v, same, ArrayPtr(op.right(row.get(), s)).get(), {1, n});
            ExpectResult(op, same, v, ArrayPtr(op.arrays(scalar.get(), row.get())).get(), {1, n});
            ExpectResult(op, v, same, ArrayPtr(op.arrays(row.get(), scalar.get())).get(), {1, n});
        }
    }
    EXPECT_TRUE(before.Unchanged());
}

TEST(BinaryOperators, ShapesScalarExpansionAndMismatches) {
    // Any one-element operand expands, whatever its dimensions; otherwise
    // the shapes must be the same.
    const struct {
        DimList a, b, result;
    } cases[] = {
        {{2, 3}, {2, 3}, {2, 3}},       {{2, 3}, {1, 1}, {2, 3}},
        {{1, 1}, {2, 3}, {2, 3}},       {{0, 3}, {1, 1}, {0, 3}},
        {{1, 1}, {0, 3}, {0, 3}},       {{0, 3}, {0, 3}, {0, 3}},
        {{1, 1}, {1, 1}, {1, 1}},       {{2, 2, 2}, {1, 1}, {2, 2, 2}},
        {{1, 1}, {3, 1, 2}, {3, 1, 2}}, {{2, 0, 4}, {2, 0, 4}, {2, 0, 4}},
    };
    for (const auto &c : cases) {
        ArrayPtr a = Counted(c.a, 1), b = Counted(c.b, 2);
        ArrayPtr r(Plus(a.get(), b.get())), ge(Ge(a.get(), b.get()));
        EXPECT_EQ(Dims(r.get()), c.result);
        EXPECT_EQ(Dims(ge.get()), c.result);
        EXPECT_TRUE(ge->IsLogical());  // also when empty
        EXPECT_TRUE(r->GetPr() != a->GetPr() && r->GetPr() != b->GetPr());
    }
    const DimList pairs[][2] = {{{2, 3}, {3, 2}},      {{3, 1}, {1, 3}},    {{0, 3}, {3, 0}},
                                {{2, 2, 2}, {2, 2}},   {{2, 2}, {2, 2, 2}}, {{1, 2}, {0, 0}},
                                {{2, 3, 4}, {2, 3, 5}}};
    for (const auto &pair : pairs) {
        ArrayPtr a = Counted(pair[0]), b = Counted(pair[1]);
        EXPECT_DIMS_MISMATCH(Plus(a.get(), b.get()), a.get(), b.get());
    }
}

TEST(BinaryOperators, RefuseEveryOperandButRealDoubleBeforeTheShape) {
    ArrayPtr good = Counted({2, 2}), one = Counted({1, 1}), other = Counted({3, 2});
    for (const ArrayPtr &bad : NonRealDoubleOperands()) {
        const CMatrix *x = bad.get();
        EXPECT_NOT_IMPLEMENTED(Plus(1.0, x), x);
        EXPECT_NOT_IMPLEMENTED(Plus(x, 1.0), x);
        for (const CMatrix *y : {good.get(), one.get(), other.get()}) {
            EXPECT_NOT_IMPLEMENTED(Plus(x, y), x, y);
            EXPECT_NOT_IMPLEMENTED(Plus(y, x), x, y);
        }
    }
    const CMatrix *g = good.get(), *s = one.get();
    EXPECT_GE(FailurePoints([&] { return Plus(g, g); }, {g}), 1);
    EXPECT_GE(FailurePoints([&] { return Plus(s, g); }, {s, g}), 1);
}

// Records every call, to check that the engine calls the operation once per
// element, in increasing order, with the scalar on its own side.
std::vector<std::pair<double, double>> g_calls;
double RecordingOp(double a, double b) {
    g_calls.emplace_back(a, b);
    return a - b;
}

TEST(BinaryArrayOp, CallsTheOperationOncePerElementInOrder) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4}), b = Matrix(2, 2, {10, 20, 30, 40});
    ArrayPtr one = Matrix(1, 1, {7}), empty = Array({0, 3});
    using Calls = std::vector<std::pair<double, double>>;
    const auto calls = [](CMatrix *r) {
        ArrayPtr owned(r);
        Calls made;
        made.swap(g_calls);
        return made;
    };
    EXPECT_EQ(calls(BinaryArrayOp<RecordingOp>(a.get(), b.get())),
              (Calls{{1, 10}, {2, 20}, {3, 30}, {4, 40}}));
    EXPECT_EQ(calls(BinaryArrayOp<RecordingOp>(one.get(), a.get())),
              (Calls{{7, 1}, {7, 2}, {7, 3}, {7, 4}}));
    EXPECT_EQ(calls(BinaryArrayOp<RecordingOp>(a.get(), 7.0)),
              (Calls{{1, 7}, {2, 7}, {3, 7}, {4, 7}}));
    EXPECT_EQ(calls(BinaryArrayOp<RecordingOp>(empty.get(), one.get())), Calls{});
}

}  // namespace
