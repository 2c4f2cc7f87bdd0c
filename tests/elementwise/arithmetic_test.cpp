// tests/elementwise/arithmetic_test.cpp: tests of the arithmetic engine and
// operators, MaxVal and MinVal.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "elementwise/binary_engine.h"
#include "elementwise/elementwise_test_util.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using elementwise_test::BitList;
using elementwise_test::DoubleArray;
using elementwise_test::Inf;
using elementwise_test::LibraryNaN;
using elementwise_test::SpecialValues;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::Dims;
using matrix_test::LiveBlocks;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
using ArraysFn = CMatrix *(*)(const CMatrix *, const CMatrix *);
using LeftFn = CMatrix *(*)(double, const CMatrix *);
using RightFn = CMatrix *(*)(const CMatrix *, double);

// Reference rules, written from the definitions rather than from the code.
double RefMax(double a, double b) {
    if (std::isnan(a) || std::isnan(b) || a == b) return a;
    return std::fmax(a, b);
}
double RefMin(double a, double b) {
    if (std::isnan(a) || std::isnan(b) || a == b) return b;
    return std::fmin(a, b);
}

struct Operator {
    const char *name;
    ArraysFn arrays;  // null: no two-array form
    LeftFn left;
    RightFn right;
    double (*reference)(double a, double b);
};

const Operator kOperators[] = {
    {"Plus", Plus, Plus, Plus, [](double a, double b) { return a + b; }},
    {"Minus", Minus, Minus, Minus, [](double a, double b) { return a - b; }},
    {"Times", Times, Times, Times, [](double a, double b) { return a * b; }},
    {"Rdivide", Rdivide, Rdivide, Rdivide, [](double a, double b) { return a / b; }},
    {"Ldivide", Ldivide, Ldivide, Ldivide, [](double a, double b) { return b / a; }},
    {"Power", Power, Power, Power, [](double a, double b) { return std::pow(a, b); }},
    {"MaxVal", nullptr, MaxVal, MaxVal, RefMax},
    {"MinVal", nullptr, MinVal, MinVal, RefMin},
};

// Expects the bits of `got` to be reference(a[i], b[i]). When both operands
// are NaN, the IEEE operations may keep either payload, so only NaN-ness is
// required there; the maximum and minimum rules pick a side and stay exact.
void ExpectElements(const Operator &op, const std::vector<double> &a,
                    const std::vector<double> &b, const CMatrix *got) {
    ASSERT_EQ(got->GetNoElems(), a.size());
    const std::vector<double> values = Values(got);
    const bool picksSide = op.arrays == nullptr;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double want = op.reference(a[i], b[i]);
        if (std::isnan(a[i]) && std::isnan(b[i]) && !picksSide) {
            EXPECT_TRUE(std::isnan(values[i])) << op.name << " element " << i;
        } else {
            EXPECT_EQ(Bits(values[i]), Bits(want))
                << op.name << "(" << a[i] << ", " << b[i] << ") element " << i;
        }
    }
}

void ExpectRealDouble(const CMatrix *r, const DimList &dims) {
    EXPECT_EQ(Dims(r), dims);
    EXPECT_EQ(r->GetClassID(), mxClassDouble);
    EXPECT_EQ(r->GetPi(), nullptr);
    EXPECT_FALSE(r->IsLogical());
}

// --- Values -------------------------------------------------------------------

TEST(BinaryArrayOp, EveryPairOfSpecialValuesMatchesTheElementRule) {
    // All 17 x 17 pairs as two 17-by-17 arrays, then each scalar against a
    // row of all values from either side, as a double and as a 1-by-1 array.
    const std::vector<double> v = SpecialValues();
    std::vector<double> a, b;
    for (double x : v) {
        for (double y : v) {
            a.push_back(x);
            b.push_back(y);
        }
    }
    const unsigned int n = static_cast<unsigned int>(v.size());
    ArrayPtr A = DoubleArray({n, n}, a), B = DoubleArray({n, n}, b);
    ArrayPtr row = DoubleArray({1, n}, v);
    for (const Operator &op : kOperators) {
        if (op.arrays != nullptr) {
            ArrayPtr r(op.arrays(A.get(), B.get()));
            ExpectRealDouble(r.get(), {n, n});
            ExpectElements(op, a, b, r.get());
        }
        for (double s : v) {
            const std::vector<double> same(n, s);
            ArrayPtr scalar = DoubleArray({1, 1}, {s});
            ArrayPtr left(op.left(s, row.get())), right(op.right(row.get(), s));
            ExpectElements(op, same, v, left.get());
            ExpectElements(op, v, same, right.get());
            if (op.arrays == nullptr) continue;
            ArrayPtr left1(op.arrays(scalar.get(), row.get()));
            ArrayPtr right1(op.arrays(row.get(), scalar.get()));
            EXPECT_EQ(BitList(left1.get()), BitList(left.get())) << op.name;
            EXPECT_EQ(BitList(right1.get()), BitList(right.get())) << op.name;
        }
    }
}

TEST(BinaryArrayOp, DivisionPowerAndScalarSides) {
    ArrayPtr x = Matrix(1, 2, {0.0, -0.0});
    EXPECT_EQ(BitList(ArrayPtr(Rdivide(1.0, x.get())).get()), BitList({Inf(), -Inf()}));
    EXPECT_TRUE(std::isnan(Values(ArrayPtr(Rdivide(x.get(), x.get())).get())[0]));

    ArrayPtr a = Matrix(1, 3, {1, 2, 4}), b = Matrix(1, 3, {8, 8, 8});
    EXPECT_EQ(Values(ArrayPtr(Ldivide(a.get(), b.get())).get()), (std::vector<double>{8, 4, 2}));
    EXPECT_EQ(Values(ArrayPtr(Ldivide(2.0, b.get())).get()), (std::vector<double>{4, 4, 4}));
    EXPECT_EQ(Values(ArrayPtr(Ldivide(a.get(), 2.0)).get()), (std::vector<double>{2, 1, 0.5}));
    EXPECT_EQ(Values(ArrayPtr(Minus(10.0, a.get())).get()), (std::vector<double>{9, 8, 6}));
    EXPECT_EQ(Values(ArrayPtr(Minus(a.get(), 10.0)).get()), (std::vector<double>{-9, -8, -6}));

    ArrayPtr p(Power(Matrix(1, 2, {4, -4}).get(), 0.5));
    ExpectRealDouble(p.get(), {1, 2});
    EXPECT_EQ(Values(p.get())[0], 2.0);
    EXPECT_TRUE(std::isnan(Values(p.get())[1]));

    ArrayPtr m = Matrix(1, 3, {1, 5, 3});
    EXPECT_EQ(Values(ArrayPtr(MaxVal(3.0, m.get())).get()), (std::vector<double>{3, 5, 3}));
    EXPECT_EQ(Values(ArrayPtr(MinVal(m.get(), 3.0)).get()), (std::vector<double>{1, 3, 3}));
}

TEST(MaxVal, NaNAndSignedZeroRules) {
    const double nan = LibraryNaN();
    ArrayPtr a = Matrix(1, 3, {1, -2, nan});
    const auto allNaN = BitList({nan, nan, nan});
    EXPECT_EQ(BitList(ArrayPtr(MaxVal(nan, a.get())).get()), allNaN);
    EXPECT_EQ(BitList(ArrayPtr(MaxVal(a.get(), nan)).get()), BitList(a.get()));
    EXPECT_EQ(BitList(ArrayPtr(MinVal(nan, a.get())).get()), BitList(a.get()));
    EXPECT_EQ(BitList(ArrayPtr(MinVal(a.get(), nan)).get()), allNaN);

    // Of two zeros MaxVal keeps the left one and MinVal the right one.
    ArrayPtr zeros = Matrix(1, 2, {0.0, -0.0});
    EXPECT_EQ(BitList(ArrayPtr(MaxVal(-0.0, zeros.get())).get()), BitList({-0.0, -0.0}));
    EXPECT_EQ(BitList(ArrayPtr(MaxVal(zeros.get(), -0.0)).get()), BitList({0.0, -0.0}));
    EXPECT_EQ(BitList(ArrayPtr(MinVal(-0.0, zeros.get())).get()), BitList({0.0, -0.0}));
    EXPECT_EQ(BitList(ArrayPtr(MinVal(zeros.get(), 0.0)).get()), BitList({0.0, 0.0}));
}

TEST(Plus, LogicalOperandsGiveAPlainDoubleResult) {
    ArrayPtr a = Matrix(1, 2, {1, 0}), b = Matrix(1, 2, {1, 1});
    a->SetLogical();
    b->SetLogical();
    ArrayPtr r(Plus(a.get(), b.get()));
    ExpectRealDouble(r.get(), {1, 2});
    EXPECT_EQ(Values(r.get()), (std::vector<double>{2, 1}));
}

TEST(Plus, ResultSharesNothingWithTheOperands) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4}), one = Matrix(1, 1, {0});
    ArrayPtr r(Plus(a.get(), one.get()));
    EXPECT_NE(r->GetPr(), a->GetPr());
    mxGetPr(r.get())[0] = 99;
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2, 3, 4}));
}

// --- Shapes -------------------------------------------------------------------

TEST(Plus, ResultShapes) {
    const struct {
        DimList a, b, result;
    } cases[] = {
        {{2, 3}, {2, 3}, {2, 3}}, {{2, 3}, {1, 1}, {2, 3}},       {{1, 1}, {2, 3}, {2, 3}},
        {{0, 3}, {1, 1}, {0, 3}}, {{1, 1}, {0, 3}, {0, 3}},       {{0, 3}, {0, 3}, {0, 3}},
        {{1, 1}, {1, 1}, {1, 1}}, {{2, 2, 2}, {1, 1}, {2, 2, 2}}, {{1, 1}, {3, 1, 2}, {3, 1, 2}},
        {{2, 0, 4}, {2, 0, 4}, {2, 0, 4}},
    };
    for (const auto &c : cases) {
        ArrayPtr a = matrix_test::Array(c.a), b = matrix_test::Array(c.b);
        std::fill_n(mxGetPr(a.get()), a->GetNoElems(), 1.0);
        std::fill_n(mxGetPr(b.get()), b->GetNoElems(), 2.0);
        ArrayPtr r(Plus(a.get(), b.get()));
        ExpectRealDouble(r.get(), c.result);
        EXPECT_EQ(Values(r.get()), std::vector<double>(r->GetNoElems(), 3.0));
    }
}

TEST(BinaryArrayOp, MismatchedShapesThrow) {
    const DimList pairs[][2] = {{{2, 3}, {3, 2}}, {{3, 1}, {1, 3}}, {{0, 3}, {3, 0}},
                                {{2, 2, 2}, {2, 2}}, {{2, 2}, {2, 2, 2}}, {{1, 2}, {0, 0}},
                                {{2, 3, 4}, {2, 3, 5}}};
    for (const auto &pair : pairs) {
        ArrayPtr a = matrix_test::Array(pair[0]), b = matrix_test::Array(pair[1]);
        std::fill_n(mxGetPr(a.get()), a->GetNoElems(), 1.0);
        std::fill_n(mxGetPr(b.get()), b->GetNoElems(), 2.0);
        for (const Operator &op : kOperators) {
            if (op.arrays == nullptr) continue;
            EXPECT_REFUSED(op.arrays(a.get(), b.get()), CArrayDimsMustMatchForBinaryOpException,
                           L"Array dimensions must match for binary array op", a.get(), b.get());
        }
    }
}

// --- Refusals -----------------------------------------------------------------

TEST(BinaryArrayOp, RefusesEveryOperandButRealDouble) {
    ArrayPtr good = Matrix(2, 2, {1, 2, 3, 4}), one = Matrix(1, 1, {5});
    ArrayPtr other = Matrix(3, 2, {1, 2, 3, 4, 5, 6});  // class error beats shape error
    for (const auto &bad : elementwise_test::RefusedOperands()) {
        SCOPED_TRACE(bad.name);
        const CMatrix *x = bad.array.get();
        for (const Operator &op : kOperators) {
            SCOPED_TRACE(op.name);
            EXPECT_REFUSED(op.left(1.0, x), CNotImplementedException,
                           L"Operation not implemented! :-(", x);
            EXPECT_REFUSED(op.right(x, 1.0), CNotImplementedException,
                           L"Operation not implemented! :-(", x);
            if (op.arrays == nullptr) continue;
            for (const CMatrix *y : {good.get(), one.get(), other.get()}) {
                EXPECT_REFUSED(op.arrays(x, y), CNotImplementedException,
                               L"Operation not implemented! :-(", x, y);
                EXPECT_REFUSED(op.arrays(y, x), CNotImplementedException,
                               L"Operation not implemented! :-(", x, y);
            }
        }
    }
}

TEST(Plus, AllocationFailureLeavesNothingBehind) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4}), one = Matrix(1, 1, {5});
    const ArraySnapshot beforeA = ArraySnapshot::Of(a.get()), beforeOne = ArraySnapshot::Of(one.get());
    const auto unchanged = [&] {
        EXPECT_TRUE(ArraySnapshot::Of(a.get()) == beforeA);
        EXPECT_TRUE(ArraySnapshot::Of(one.get()) == beforeOne);
    };
    EXPECT_GE(matrix_test::ForEachAllocationFailure([&] { ArrayPtr r(Plus(a.get(), a.get())); },
                                                    unchanged),
              1);
    EXPECT_GE(matrix_test::ForEachAllocationFailure(
                  [&] { ArrayPtr r(Plus(one.get(), a.get())); }, unchanged),
              1);
    EXPECT_GE(matrix_test::ForEachAllocationFailure([&] { ArrayPtr r(MaxVal(a.get(), 1.0)); },
                                                    unchanged),
              1);
}

// --- The engine -----------------------------------------------------------------

// Records every call, to check that the engine calls the operation once per
// element, in increasing order, with the scalar on its own side.
std::vector<std::pair<double, double>> g_calls;
double RecordingOp(double a, double b) {
    g_calls.emplace_back(a, b);
    return a - b;
}

TEST(BinaryArrayOp, CallsTheOperationOncePerElementInOrder) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4}), b = Matrix(2, 2, {10, 20, 30, 40});
    ArrayPtr one = Matrix(1, 1, {7});
    const auto run = [](CMatrix *r) {
        ArrayPtr owned(r);
        return g_calls;
    };
    using Calls = std::vector<std::pair<double, double>>;
    g_calls.clear();
    EXPECT_EQ(run(BinaryArrayOp(RecordingOp, a.get(), b.get())),
              (Calls{{1, 10}, {2, 20}, {3, 30}, {4, 40}}));
    g_calls.clear();
    EXPECT_EQ(run(BinaryArrayOp(RecordingOp, one.get(), a.get())),
              (Calls{{7, 1}, {7, 2}, {7, 3}, {7, 4}}));
    g_calls.clear();
    EXPECT_EQ(run(BinaryArrayOp<RecordingOp>(a.get(), 7.0)), (Calls{{1, 7}, {2, 7}, {3, 7}, {4, 7}}));
    g_calls.clear();
    ArrayPtr empty = matrix_test::Array({0, 3});
    EXPECT_EQ(run(BinaryArrayOp(RecordingOp, empty.get(), one.get())), Calls{});

    // The pointer forms of the sibling engines keep their flags and shapes.
    ArrayPtr less(RelationalArrayOp(ElementLt, one.get(), empty.get()));
    EXPECT_TRUE(less->IsLogical());
    EXPECT_EQ(Dims(less.get()), (DimList{0, 3}));
    ArrayPtr both(LogicalArrayOp(ElementAnd, a.get(), b.get()));
    EXPECT_TRUE(both->IsLogical());
    EXPECT_EQ(Values(both.get()), (std::vector<double>{1, 1, 1, 1}));
}

}  // namespace
