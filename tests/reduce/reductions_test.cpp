// tests/reduce/reductions_test.cpp: tests of Sum, Prod, All and Any.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::LiveBlocks;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
using Reduction = CMatrix *(*)(const CMatrix *, unsigned int);
using DefaultReduction = CMatrix *(*)(const CMatrix *);

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kBadDimension[] = L"Dimension argument must be a positive integer";
const double kInf = std::numeric_limits<double>::infinity();

// Expects `statement` to throw E with `message`, leaving `a` unchanged and
// nothing allocated.
#define EXPECT_REJECTS(statement, a, E, message)            \
    do {                                                    \
        const ArraySnapshot before_ = ArraySnapshot::Of(a); \
        const LiveBlocks blocks_;                           \
        EXPECT_THROW_MSG(statement, E, message);            \
        EXPECT_EQ(blocks_.Delta(), 0);                      \
        EXPECT_TRUE(ArraySnapshot::Of(a) == before_);       \
    } while (0)

ArrayPtr Filled(const DimList &dims, const std::vector<double> &values) {
    ArrayPtr a = Array(dims);
    EXPECT_EQ(values.size(), a->GetNoElems());
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
}

// Values whose sums and products depend on the order of the operations:
// magnitudes from 2^-1074 to 2^60, both zeros and both infinities (but no
// NaN operand, so that every NaN is the one the hardware makes, whatever
// the order of its operands).
ArrayPtr OrderSensitive(const DimList &dims, std::mt19937 &random) {
    ArrayPtr a = Array(dims);
    std::uniform_int_distribution<int> kind(0, 39);
    std::uniform_int_distribution<int> exponent(-40, 60);
    std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
    double *p = mxGetPr(a.get());
    for (unsigned int i = 0; i < a->GetNoElems(); ++i) {
        switch (kind(random)) {
            case 0: p[i] = 0.0; break;
            case 1: p[i] = -0.0; break;
            case 2: p[i] = kInf; break;
            case 3: p[i] = -std::numeric_limits<double>::denorm_min(); break;
            default: p[i] = std::ldexp(mantissa(random), exponent(random));
        }
    }
    return a;
}

// Shapes around the walk's edges: single lines, lockstep groups of columns
// (eight) with remainders, lines split into blocks (beyond 16384 rows),
// leading and trailing lengths of 1, empty lengths and more dimensions than
// fit the inline shape buffer.
const std::vector<DimList> kShapes = {
    {1, 1},    {1, 7},    {7, 1},      {3, 5},       {2, 9},          {5, 17},
    {50, 10},  {10, 50},  {513, 3},    {16500, 3},   {2, 3, 4},       {1, 1, 6},
    {1, 4, 3}, {3, 1, 2}, {0, 3},      {3, 0},       {0, 0},          {2, 0, 3},
    {4, 1, 1, 1, 1, 1, 1, 1, 1, 2},    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3}};

// The reduction written as plainly as possible: visit A in storage order and
// fold each element into the result element whose subscripts are A's with
// dimension `dim` set to 0. Storage order takes each line's elements in
// increasing order, so this is the in-order result.
template <class Fold>
std::vector<double> InOrder(const CMatrix *a, unsigned int dim, double start, Fold fold) {
    const DimList dims = Dims(a);
    DimList reduced = dims;
    if (dim <= dims.size()) reduced[dim - 1] = 1;
    std::size_t count = 1;
    for (unsigned int length : reduced) count *= length;
    std::vector<double> out(count, start);
    const double *p = mxGetPr(a);
    for (std::size_t i = 0; i < a->GetNoElems(); ++i) {
        std::size_t rest = i, r = 0, stride = 1;
        for (std::size_t d = 0; d < dims.size(); ++d) {
            const std::size_t sub = rest % dims[d];
            rest /= dims[d];
            if (d + 1 != dim) r += sub * stride;
            stride *= reduced[d];
        }
        out[r] = fold(out[r], p[i]);
    }
    return out;
}

std::vector<std::uint64_t> BitsOf(const std::vector<double> &values) {
    std::vector<std::uint64_t> out;
    for (double x : values) out.push_back(Bits(x));
    return out;
}

// A's dimension list with `dim` set to 1, trailing lengths of 1 dropped.
DimList ReducedShape(const CMatrix *a, unsigned int dim) {
    DimList dims = Dims(a);
    if (dim <= dims.size()) dims[dim - 1] = 1;
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    return dims;
}

// --- Sum and Prod ------------------------------------------------------------

TEST(Sum, Examples) {
    ArrayPtr row = Matrix(1, 3, {1, 2, 3});
    ArrayPtr column = Matrix(3, 1, {1, 2, 3});
    ArrayPtr m = Matrix(2, 3, {1, 4, 2, 5, 3, 6});
    ArrayPtr s(Sum(row.get()));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 1}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{6}));
    s.reset(Sum(column.get()));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{6}));
    s.reset(Sum(m.get()));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 3}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{5, 7, 9}));
    EXPECT_FALSE(mxIsLogical(s.get()));
    s.reset(Sum(m.get(), 2));
    EXPECT_EQ(Dims(s.get()), (DimList{2, 1}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{6, 15}));
}

// Every result bit for bit equal to the in-order fold, for every dimension
// of every shape. (Beyond the last dimension the array comes back as it is,
// -0 included; see BeyondLastDimensionSharesData.)
TEST(Sum, MatchesInOrderLoopBitForBit) {
    std::mt19937 random(20240601);
    for (const DimList &shape : kShapes) {
        ArrayPtr a = OrderSensitive(shape, random);
        for (unsigned int dim = 1; dim <= shape.size(); ++dim) {
            SCOPED_TRACE(::testing::PrintToString(shape) + " dim " + std::to_string(dim));
            ArrayPtr s(Sum(a.get(), dim));
            EXPECT_EQ(Dims(s.get()), ReducedShape(a.get(), dim));
            EXPECT_EQ(BitsOf(Values(s.get())),
                      BitsOf(InOrder(a.get(), dim, 0.0, [](double t, double x) { return t + x; })));
        }
    }
}

TEST(Prod, MatchesInOrderLoopBitForBit) {
    std::mt19937 random(20240602);
    for (const DimList &shape : kShapes) {
        ArrayPtr a = OrderSensitive(shape, random);
        for (unsigned int dim = 1; dim <= shape.size(); ++dim) {
            SCOPED_TRACE(::testing::PrintToString(shape) + " dim " + std::to_string(dim));
            ArrayPtr s(Prod(a.get(), dim));
            EXPECT_EQ(Dims(s.get()), ReducedShape(a.get(), dim));
            EXPECT_EQ(BitsOf(Values(s.get())),
                      BitsOf(InOrder(a.get(), dim, 1.0, [](double t, double x) { return t * x; })));
        }
    }
}

// A sum starts from +0, so a line of negative zeros sums to +0, while a
// product starting from 1 keeps the sign. The column [1e16 1 -1e16 1] sums
// to 1 in order and to 0 if the halves are added first.
TEST(Sum, StartsFromPositiveZeroAndAddsInOrder) {
    ArrayPtr zeros = Matrix(2, 1, {-0.0, -0.0});
    ArrayPtr s(Sum(zeros.get()));
    EXPECT_EQ(Bits(Values(s.get())[0]), Bits(0.0));
    s.reset(Prod(zeros.get(), 2));
    EXPECT_EQ(BitsOf(Values(s.get())), BitsOf({-0.0, -0.0}));
    ArrayPtr cancelling = Matrix(4, 1, {1e16, 1, -1e16, 1});
    s.reset(Sum(cancelling.get()));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{1}));
}

TEST(Sum, NaNAndInfinity) {
    ArrayPtr a = Matrix(1, 2, {1, mxGetNaN()});
    ArrayPtr s(Sum(a.get()));
    EXPECT_EQ(Bits(Values(s.get())[0]), Bits(mxGetNaN()));
    ArrayPtr b = Matrix(1, 2, {0, kInf});
    s.reset(Prod(b.get()));
    EXPECT_TRUE(std::isnan(Values(s.get())[0]));
}

// The default dimension: a vector along its length, else the first
// dimension, past leading lengths of 1 for N-d arrays; 0x0 is a scalar.
TEST(Sum, DefaultDimension) {
    ArrayPtr empty = Array({0, 0});
    ArrayPtr s(Sum(empty.get()));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 1}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{0}));
    s.reset(Prod(empty.get()));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{1}));

    ArrayPtr noRows = Array({0, 3});
    s.reset(Sum(noRows.get()));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 3}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{0, 0, 0}));
    s.reset(Prod(noRows.get()));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{1, 1, 1}));

    ArrayPtr noColumns = Array({1, 0});
    s.reset(Sum(noColumns.get()));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 0}));

    ArrayPtr tube = Filled({1, 1, 3}, {1, 2, 4});
    s.reset(Sum(tube.get()));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 1}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{7}));

    ArrayPtr slab = Filled({1, 2, 2}, {1, 2, 4, 8});
    s.reset(Prod(slab.get()));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 1, 2}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{2, 32}));

    ArrayPtr one = Matrix(1, 1, {-0.0});
    s.reset(Prod(one.get()));
    EXPECT_EQ(Bits(Values(s.get())[0]), Bits(-0.0));
}

// Along a dimension beyond the last: the array itself, sharing its data, so
// that -0 stays -0 (along dimension 1 of a row it becomes 0 + -0 = +0).
TEST(Sum, BeyondLastDimensionSharesData) {
    ArrayPtr a = Matrix(2, 2, {1, -0.0, 3, 4});
    for (Reduction reduction : {Reduction(Sum), Reduction(Prod)}) {
        ArrayPtr s(reduction(a.get(), 3));
        EXPECT_EQ(Dims(s.get()), (DimList{2, 2}));
        EXPECT_EQ(s->GetPr(), a->GetPr());
        EXPECT_EQ(BitsOf(Values(s.get())), BitsOf({1, -0.0, 3, 4}));
    }
}

TEST(Sum, LogicalInputGivesPlainDouble) {
    ArrayPtr a = Matrix(1, 3, {1, 0, 1});
    a->SetLogical();
    ArrayPtr s(Sum(a.get()));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{2}));
    EXPECT_FALSE(mxIsLogical(s.get()));
}

// --- All and Any ---------------------------------------------------------------

TEST(All, Examples) {
    ArrayPtr a = Matrix(2, 2, {0, 2, mxGetNaN(), 0});
    ArrayPtr r(All(a.get(), 3));
    EXPECT_EQ(Dims(r.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{0, 1, 1, 0}));
    EXPECT_TRUE(mxIsLogical(r.get()));
    EXPECT_NE(r->GetPr(), a->GetPr());

    ArrayPtr b = Matrix(1, 2, {1, mxGetNaN()});
    r.reset(All(b.get()));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1}));
    ArrayPtr c = Matrix(1, 3, {0, mxGetNaN(), 0});
    r.reset(Any(c.get()));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1}));
    EXPECT_TRUE(mxIsLogical(r.get()));
}

// No 0x0 special case: both give a 1x0 logical array; a 0x3 gives a row.
TEST(All, EmptyArrays) {
    ArrayPtr empty = Array({0, 0});
    for (DefaultReduction test : {DefaultReduction(All), DefaultReduction(Any)}) {
        ArrayPtr r(test(empty.get()));
        EXPECT_EQ(Dims(r.get()), (DimList{1, 0}));
        EXPECT_TRUE(mxIsLogical(r.get()));
    }
    ArrayPtr noRows = Array({0, 3});
    ArrayPtr r(All(noRows.get()));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1, 1, 1}));
    EXPECT_TRUE(mxIsLogical(r.get()));
    r.reset(Any(noRows.get()));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{0, 0, 0}));
    EXPECT_TRUE(mxIsLogical(r.get()));
}

// Sparse non-zeros, so that Any lines stay undecided for a while and All
// lines are decided early, on every shape and dimension against the
// in-order fold.
TEST(Any, MatchesInOrderLoop) {
    std::mt19937 random(20240603);
    std::uniform_int_distribution<int> pick(0, 9);
    const double values[] = {-0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, mxGetNaN(), -2.5};
    for (const DimList &shape : kShapes) {
        ArrayPtr a = Array(shape);
        for (unsigned int i = 0; i < a->GetNoElems(); ++i) mxGetPr(a.get())[i] = values[pick(random)];
        for (unsigned int dim = 1; dim <= shape.size() + 1; ++dim) {
            SCOPED_TRACE(::testing::PrintToString(shape) + " dim " + std::to_string(dim));
            ArrayPtr any(Any(a.get(), dim));
            EXPECT_EQ(Values(any.get()), InOrder(a.get(), dim, 0.0, [](double t, double x) {
                          return t != 0.0 || x != 0.0 ? 1.0 : 0.0;
                      }));
            ArrayPtr all(All(a.get(), dim));
            EXPECT_EQ(Values(all.get()), InOrder(a.get(), dim, 1.0, [](double t, double x) {
                          return t != 0.0 && x != 0.0 ? 1.0 : 0.0;
                      }));
            EXPECT_TRUE(mxIsLogical(any.get()) && mxIsLogical(all.get()));
        }
    }
}

// --- Errors -------------------------------------------------------------------

TEST(Sum, DimensionZeroIsRejected) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4});
    for (Reduction reduction : {Reduction(Sum), Reduction(Prod), Reduction(All), Reduction(Any)}) {
        EXPECT_REJECTS(reduction(a.get(), 0u), a.get(), CFunctionErrorException, kBadDimension);
    }
    // Before the class check: nothing about A is looked at.
    ArrayPtr single = Array({2, 2}, mxClassSingle);
    EXPECT_REJECTS(Sum(single.get(), 0u), single.get(), CFunctionErrorException, kBadDimension);
}

// Complex, other classes, one-element and empty operands alike, in both forms
// and along a dimension beyond the last.
TEST(Sum, RefusesAllButRealDouble) {
    std::vector<ArrayPtr> refused;
    refused.push_back(Array({2, 2}, mxClassDouble, mxComplexityComplex));
    refused.push_back(Array({1, 1}, mxClassDouble, mxComplexityComplex));
    refused.push_back(Array({2, 2}, mxClassSingle));
    refused.push_back(Array({1, 1}, mxClassInt32));
    refused.push_back(Array({0, 0}, mxClassInt32));
    refused.push_back(Array({0, 0}, mxClassDouble, mxComplexityComplex));
    refused.push_back(Array({2, 3}, mxClassChar));
    refused.push_back(Array({1, 2}, mxClassCell));
    for (const ArrayPtr &a : refused) {
        for (DefaultReduction reduction : {DefaultReduction(Sum), DefaultReduction(Prod),
                                           DefaultReduction(All), DefaultReduction(Any)}) {
            EXPECT_REJECTS(reduction(a.get()), a.get(), CNotImplementedException, kNotImplemented);
        }
        for (Reduction reduction : {Reduction(Sum), Reduction(Prod), Reduction(All), Reduction(Any)}) {
            EXPECT_REJECTS(reduction(a.get(), 1), a.get(), CNotImplementedException, kNotImplemented);
            EXPECT_REJECTS(reduction(a.get(), 5), a.get(), CNotImplementedException, kNotImplemented);
        }
    }
}

// Each allocation failing in turn, including the long dimension list of an
// array with more dimensions than fit inline.
TEST(Sum, AllocationFailuresLeakNothing) {
    ArrayPtr m = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    ArrayPtr tall = Array({2, 1, 1, 1, 1, 1, 1, 1, 1, 3});
    ArrayPtr empty = Array({0, 0});
    for (const CMatrix *a : {m.get(), tall.get(), empty.get()}) {
        const ArraySnapshot before = ArraySnapshot::Of(a);
        const auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(a) == before); };
        for (Reduction reduction : {Reduction(Sum), Reduction(All)}) {
            EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr r(reduction(a, 2)); }, unchanged), 0);
            EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr r(reduction(a, 12)); }, unchanged), 0);
        }
        EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr r(Prod(a)); }, unchanged), 0);
    }
}

}  // namespace
