// tests/elementwise/relational_test.cpp: And, Or and Not; the comparisons are
// tested with the other binary operators.
#include <matrix/matrix.h>

#include <vector>

#include "elementwise/elementwise_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace elementwise_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

using Logical = CMatrix *(*)(const CMatrix *, const CMatrix *);

// Checks a logical result: shape, class, flag, and exactly these values.
void ExpectLogical(CMatrix *result, const DimList &dims, const std::vector<double> &values) {
    const ArrayPtr r(result);
    EXPECT_EQ(Dims(r.get()), dims);
    EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->IsLogical());
    EXPECT_EQ(Values(r.get()), values);
}

TEST(And, TruthIsNonZeroNaNIncluded) {
    // Every combination of truth, element by element, on an N-d shape.
    ArrayPtr p = Filled({2, 1, 3}, {0, -kInf, -0.0, 7, kNaN, 0});
    ArrayPtr q = Filled({2, 1, 3}, {0, 0, kNaN, 1e-300, 2, -0.0});
    ExpectLogical(And(p.get(), q.get()), {2, 1, 3}, {0, 0, 0, 1, 1, 0});
    ExpectLogical(Or(p.get(), q.get()), {2, 1, 3}, {0, 1, 1, 1, 1, 0});
    p->SetLogical();
    ExpectLogical(Not(p.get()), {2, 1, 3}, {1, 0, 1, 0, 0, 1});
    ExpectLogical(Not(Array({3, 0}).get()), {3, 0}, {});
    for (const ArrayPtr &bad : NonRealDoubleOperands()) {
        EXPECT_NOT_IMPLEMENTED(Not(bad.get()), bad.get());
    }
    ArrayPtr wide = Counted({2, 3}), tall = Counted({3, 2});
    for (Logical op : {Logical(And), Logical(Or)}) {
        EXPECT_DIMS_MISMATCH(op(wide.get(), tall.get()), wide.get(), tall.get());
    }
}

TEST(And, AScalarThatDecidesIgnoresTheOtherOperand) {
    ArrayPtr m = Matrix(2, 2, {0, 3, kNaN, -0.0});
    const std::vector<double> truth{0, 1, 1, 0};
    // A false scalar decides And, a true one Or, whatever the other
    // operand's class and complexity; otherwise it must be a real double.
    for (const ArrayPtr &other : NonRealDoubleOperands()) {
        const CMatrix *x = other.get();
        const std::vector<double> zeros(x->GetNoElems(), 0.0), ones(x->GetNoElems(), 1.0);
        ExpectLogical(And(0.0, x), Dims(x), zeros);
        ExpectLogical(And(x, -0.0), Dims(x), zeros);
        ExpectLogical(Or(1.0, x), Dims(x), ones);
        ExpectLogical(Or(x, kNaN), Dims(x), ones);
        EXPECT_NOT_IMPLEMENTED(And(5.0, x), x);
        EXPECT_NOT_IMPLEMENTED(Or(x, 0.0), x);
    }
    // Otherwise the result is the truth of the array.
    for (double s : {5.0, kNaN, -kInf}) {
        ExpectLogical(And(s, m.get()), {2, 2}, truth);
        ExpectLogical(And(m.get(), s), {2, 2}, truth);
    }
    ExpectLogical(Or(0.0, m.get()), {2, 2}, truth);
    ExpectLogical(Or(m.get(), -0.0), {2, 2}, truth);

    // A one-element array takes the same short cuts from either side, but
    // only after both classes are checked.
    ArrayPtr zero = Matrix(1, 1, {0}), nan = Matrix(1, 1, {kNaN}), empty = Array({0, 2});
    ExpectLogical(And(zero.get(), m.get()), {2, 2}, {0, 0, 0, 0});
    ExpectLogical(And(m.get(), zero.get()), {2, 2}, {0, 0, 0, 0});
    ExpectLogical(Or(nan.get(), m.get()), {2, 2}, {1, 1, 1, 1});
    ExpectLogical(Or(m.get(), zero.get()), {2, 2}, truth);
    ExpectLogical(And(zero.get(), empty.get()), {0, 2}, {});
    for (Logical op : {Logical(And), Logical(Or)}) {
        for (const ArrayPtr &bad : NonRealDoubleOperands()) {
            for (const CMatrix *y : {m.get(), zero.get()}) {
                EXPECT_NOT_IMPLEMENTED(op(bad.get(), y), bad.get(), y);
                EXPECT_NOT_IMPLEMENTED(op(y, bad.get()), bad.get(), y);
            }
        }
    }
}

TEST(And, AllocationFailureLeavesNothingBehind) {
    ArrayPtr a = Matrix(2, 2, {1, 0, 3, 0}), zero = Matrix(1, 1, {0});
    for (Logical op : {Logical(And), Logical(Or)}) {
        EXPECT_GE(FailurePoints([&] { return op(a.get(), a.get()); }, {a.get()}), 1);
        EXPECT_GE(FailurePoints([&] { return op(a.get(), zero.get()); }, {a.get(), zero.get()}), 1);
    }
}

}  // namespace
