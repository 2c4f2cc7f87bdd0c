// tests/elementwise/relational_test.cpp: tests of the comparisons, And, Or
// and Not.
#include <matrix/matrix.h>

#include <cmath>
#include <vector>

#include "elementwise/elementwise_test_util.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using elementwise_test::DoubleArray;
using elementwise_test::Inf;
using elementwise_test::LibraryNaN;
using elementwise_test::SpecialValues;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Dims;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
using ArraysFn = CMatrix *(*)(const CMatrix *, const CMatrix *);
using LeftFn = CMatrix *(*)(double, const CMatrix *);
using RightFn = CMatrix *(*)(const CMatrix *, double);

const double kNaN = LibraryNaN();

// Checks a logical result: shape, class, flag, and exactly these values.
void ExpectLogical(const CMatrix *r, const DimList &dims, const std::vector<double> &values) {
    EXPECT_EQ(Dims(r), dims);
    EXPECT_EQ(r->GetClassID(), mxClassDouble);
    EXPECT_EQ(r->GetPi(), nullptr);
    EXPECT_TRUE(r->IsLogical());
    EXPECT_EQ(Values(r), values);
}

struct Comparison {
    const char *name;
    ArraysFn arrays;
    LeftFn left;
    RightFn right;
    bool (*reference)(double a, double b);
};

// The references use the ordering of the values, so that NaN answers come
// from the rule "unordered is false, except for Ne".
const Comparison kComparisons[] = {
    {"Eq", Eq, Eq, Eq, [](double a, double b) { return !std::isunordered(a, b) && !(a < b || b < a); }},
    {"Ne", Ne, Ne, Ne, [](double a, double b) { return std::isunordered(a, b) || a < b || b < a; }},
    {"Lt", Lt, Lt, Lt, [](double a, double b) { return std::isless(a, b); }},
    {"Le", Le, Le, Le, [](double a, double b) { return std::islessequal(a, b); }},
    {"Gt", Gt, Gt, Gt, [](double a, double b) { return std::isgreater(a, b); }},
    {"Ge", Ge, Ge, Ge, [](double a, double b) { return std::isgreaterequal(a, b); }},
};

TEST(RelationalArrayOp, EveryPairOfSpecialValuesFromEverySide) {
    const std::vector<double> v = SpecialValues();
    const unsigned int n = static_cast<unsigned int>(v.size());
    std::vector<double> a, b;
    for (double x : v) {
        for (double y : v) {
            a.push_back(x);
            b.push_back(y);
        }
    }
    ArrayPtr A = DoubleArray({n, n}, a), B = DoubleArray({n, n}, b);
    ArrayPtr row = DoubleArray({1, n}, v);
    for (const Comparison &c : kComparisons) {
        SCOPED_TRACE(c.name);
        std::vector<double> want;
        for (std::size_t i = 0; i < a.size(); ++i) want.push_back(c.reference(a[i], b[i]));
        ExpectLogical(ArrayPtr(c.arrays(A.get(), B.get())).get(), {n, n}, want);
        for (double s : v) {
            std::vector<double> wantLeft, wantRight;
            for (double x : v) {
                wantLeft.push_back(c.reference(s, x));
                wantRight.push_back(c.reference(x, s));
            }
            ArrayPtr scalar = DoubleArray({1, 1}, {s});
            ExpectLogical(ArrayPtr(c.left(s, row.get())).get(), {1, n}, wantLeft);
            ExpectLogical(ArrayPtr(c.right(row.get(), s)).get(), {1, n}, wantRight);
            ExpectLogical(ArrayPtr(c.arrays(scalar.get(), row.get())).get(), {1, n}, wantLeft);
            ExpectLogical(ArrayPtr(c.arrays(row.get(), scalar.get())).get(), {1, n}, wantRight);
        }
    }
}

TEST(Eq, NaNIsNeverEqual) {
    ArrayPtr a = Matrix(1, 3, {1, kNaN, 3}), b = Matrix(1, 3, {1, kNaN, 4});
    ExpectLogical(ArrayPtr(Eq(a.get(), b.get())).get(), {1, 3}, {1, 0, 0});
    ExpectLogical(ArrayPtr(Ne(a.get(), b.get())).get(), {1, 3}, {0, 1, 1});
}

TEST(Lt, ScalarKeepsItsSide) {
    ArrayPtr a = Matrix(1, 3, {1, 2, 3});
    ExpectLogical(ArrayPtr(Lt(2.0, a.get())).get(), {1, 3}, {0, 0, 1});
    ExpectLogical(ArrayPtr(Lt(a.get(), 2.0)).get(), {1, 3}, {1, 0, 0});
}

TEST(RelationalArrayOp, ShapesAndEmptyResults) {
    ArrayPtr a = Matrix(2, 3, {1, 2, 3, 4, 5, 6}), b = Matrix(3, 2, {1, 2, 3, 4, 5, 6});
    ArrayPtr one = Matrix(1, 1, {3});
    for (const Comparison &c : kComparisons) {
        EXPECT_REFUSED(c.arrays(a.get(), b.get()), CArrayDimsMustMatchForBinaryOpException,
                       L"Array dimensions must match for binary array op", a.get(), b.get());
    }
    ExpectLogical(ArrayPtr(Gt(a.get(), one.get())).get(), {2, 3}, {0, 0, 0, 1, 1, 1});
    ArrayPtr empty = matrix_test::Array({0, 4});
    ExpectLogical(ArrayPtr(Ge(empty.get(), one.get())).get(), {0, 4}, {});
    ExpectLogical(ArrayPtr(Ge(5.0, empty.get())).get(), {0, 4}, {});
}

TEST(RelationalArrayOp, RefusesEveryOperandButRealDouble) {
    ArrayPtr good = Matrix(2, 2, {1, 2, 3, 4}), one = Matrix(1, 1, {5});
    for (const auto &bad : elementwise_test::RefusedOperands()) {
        SCOPED_TRACE(bad.name);
        const CMatrix *x = bad.array.get();
        for (const Comparison &c : kComparisons) {
            EXPECT_REFUSED(c.left(1.0, x), CNotImplementedException,
                           L"Operation not implemented! :-(", x);
            EXPECT_REFUSED(c.right(x, 1.0), CNotImplementedException,
                           L"Operation not implemented! :-(", x);
            for (const CMatrix *y : {good.get(), one.get()}) {
                EXPECT_REFUSED(c.arrays(x, y), CNotImplementedException,
                               L"Operation not implemented! :-(", x, y);
                EXPECT_REFUSED(c.arrays(y, x), CNotImplementedException,
                               L"Operation not implemented! :-(", x, y);
            }
        }
    }
}

// --- And, Or, Not -----------------------------------------------------------

TEST(And, TruthIsNonZeroNaNIncluded) {
    ArrayPtr a = Matrix(1, 3, {1, 0, kNaN}), twos = Matrix(1, 3, {2, 2, 2});
    ExpectLogical(ArrayPtr(And(a.get(), twos.get())).get(), {1, 3}, {1, 0, 1});
    ArrayPtr z = Matrix(1, 2, {0, 0}), signedZ = Matrix(1, 2, {0, -0.0});
    ExpectLogical(ArrayPtr(Or(z.get(), signedZ.get())).get(), {1, 2}, {0, 0});

    // Every combination of truth, element by element, on an N-d shape.
    ArrayPtr p = DoubleArray({2, 1, 2}, {0, -Inf(), -0.0, 7}), q = DoubleArray({2, 1, 2}, {0, 0, kNaN, 1e-300});
    ExpectLogical(ArrayPtr(And(p.get(), q.get())).get(), {2, 1, 2}, {0, 0, 0, 1});
    ExpectLogical(ArrayPtr(Or(p.get(), q.get())).get(), {2, 1, 2}, {0, 1, 1, 1});
}

TEST(And, ScalarShortCuts) {
    ArrayPtr m = Matrix(2, 2, {0, 3, kNaN, -0.0});
    const std::vector<double> truth{0, 1, 1, 0};
    // A deciding scalar ignores the other operand's class and complexity.
    for (const auto &other : elementwise_test::RefusedOperands()) {
        const CMatrix *x = other.array.get();
        const DimList dims = Dims(x);
        const std::vector<double> zeros(x->GetNoElems(), 0.0), ones(x->GetNoElems(), 1.0);
        ExpectLogical(ArrayPtr(And(0.0, x)).get(), dims, zeros);
        ExpectLogical(ArrayPtr(And(x, -0.0)).get(), dims, zeros);
        ExpectLogical(ArrayPtr(Or(1.0, x)).get(), dims, ones);
        ExpectLogical(ArrayPtr(Or(x, kNaN)).get(), dims, ones);
        EXPECT_REFUSED(And(5.0, x), CNotImplementedException, L"Operation not implemented! :-(", x);
        EXPECT_REFUSED(Or(x, 0.0), CNotImplementedException, L"Operation not implemented! :-(", x);
    }
    // Otherwise the result is the truth of the array, as Ne(0, M).
    for (double s : {5.0, kNaN, -Inf()}) {
        ExpectLogical(ArrayPtr(And(s, m.get())).get(), {2, 2}, truth);
        ExpectLogical(ArrayPtr(And(m.get(), s)).get(), {2, 2}, truth);
    }
    ExpectLogical(ArrayPtr(Or(0.0, m.get())).get(), {2, 2}, Values(ArrayPtr(Ne(0.0, m.get())).get()));
    ExpectLogical(ArrayPtr(Or(m.get(), -0.0)).get(), {2, 2}, truth);

    // A one-element array operand takes the same short cuts, from either side.
    ArrayPtr zero = Matrix(1, 1, {0}), nan = Matrix(1, 1, {kNaN});
    ExpectLogical(ArrayPtr(And(zero.get(), m.get())).get(), {2, 2}, {0, 0, 0, 0});
    ExpectLogical(ArrayPtr(And(m.get(), zero.get())).get(), {2, 2}, {0, 0, 0, 0});
    ExpectLogical(ArrayPtr(Or(nan.get(), m.get())).get(), {2, 2}, {1, 1, 1, 1});
    ExpectLogical(ArrayPtr(Or(m.get(), zero.get())).get(), {2, 2}, truth);
    ArrayPtr empty = matrix_test::Array({0, 2});
    ExpectLogical(ArrayPtr(And(zero.get(), empty.get())).get(), {0, 2}, {});
}

TEST(And, ArrayFormsCheckBothClassesFirst) {
    ArrayPtr good = Matrix(2, 2, {1, 2, 3, 4}), zero = Matrix(1, 1, {0});
    ArrayPtr wide = Matrix(2, 3, {1, 1, 1, 1, 1, 1}), tall = Matrix(3, 2, {1, 1, 1, 1, 1, 1});
    for (ArraysFn op : {static_cast<ArraysFn>(And), static_cast<ArraysFn>(Or)}) {
        for (const auto &bad : elementwise_test::RefusedOperands()) {
            const CMatrix *x = bad.array.get();
            for (const CMatrix *y : {good.get(), zero.get(), tall.get()}) {
                EXPECT_REFUSED(op(x, y), CNotImplementedException,
                               L"Operation not implemented! :-(", x, y);
                EXPECT_REFUSED(op(y, x), CNotImplementedException,
                               L"Operation not implemented! :-(", x, y);
            }
        }
        EXPECT_REFUSED(op(wide.get(), tall.get()), CArrayDimsMustMatchForBinaryOpException,
                       L"Array dimensions must match for binary array op", wide.get(), tall.get());
    }
}

TEST(Not, ZeroOfEitherSignIsFalse) {
    ArrayPtr a = Matrix(1, 5, {0, -0.0, 3, kNaN, Inf()});
    a->SetLogical();
    ExpectLogical(ArrayPtr(Not(a.get())).get(), {1, 5}, {1, 1, 0, 0, 0});
    ExpectLogical(ArrayPtr(Not(matrix_test::Array({3, 0}).get())).get(), {3, 0}, {});
    for (const auto &bad : elementwise_test::RefusedOperands()) {
        EXPECT_REFUSED(Not(bad.array.get()), CNotImplementedException,
                       L"Operation not implemented! :-(", bad.array.get());
    }
}

TEST(And, AllocationFailureLeavesNothingBehind) {
    ArrayPtr a = Matrix(2, 2, {1, 0, 3, 0}), zero = Matrix(1, 1, {0});
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    const auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); };
    for (auto op : {+[](const CMatrix *x, const CMatrix *y) { return And(x, y); },
                    +[](const CMatrix *x, const CMatrix *y) { return Or(y, x); },
                    +[](const CMatrix *x, const CMatrix *y) { return Gt(x, y); }}) {
        EXPECT_GE(matrix_test::ForEachAllocationFailure([&] { ArrayPtr r(op(a.get(), a.get())); },
                                                        unchanged),
                  1);
        EXPECT_GE(matrix_test::ForEachAllocationFailure(
                      [&] { ArrayPtr r(op(a.get(), zero.get())); }, unchanged),
                  1);
    }
}

}  // namespace
