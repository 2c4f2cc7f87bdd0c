// tests/reduce/reductions_test.cpp: Sum, Prod, All and Any.
#include <matrix/matrix.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

using Reduction = CMatrix *(*)(const CMatrix *, unsigned int);
using DefaultReduction = CMatrix *(*)(const CMatrix *);
const double kInf = std::numeric_limits<double>::infinity();

// Values whose sums and products depend on the order of the operations:
// magnitudes from 2^-1074 to 2^60, both zeros and both infinities (but no
// NaN operand, so that every NaN is the one the hardware makes, whatever
// the order of its operands).
ArrayPtr OrderSensitive(const DimList &dims, std::mt19937 &random) {
    ArrayPtr a = Array(dims);
    std::uniform_int_distribution<int> kind(0, 39), exponent(-40, 60);
    std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
    const double special[] = {0.0, -0.0, kInf, -std::numeric_limits<double>::denorm_min()};
    for (unsigned int i = 0; i < a->GetNoElems(); ++i) {
        const int k = kind(random);
        mxGetPr(a.get())[i] = k < 4 ? special[k] : std::ldexp(mantissa(random), exponent(random));
    }
    return a;
}

// Shapes around the walk's edges: single lines, lockstep groups of columns
// (sixteen with wide instructions, then eight) with remainders, lines split
// into blocks (beyond 16384 rows), leading and trailing lengths of 1, empty
// lengths and more dimensions than fit the inline shape buffer.
const std::vector<DimList> kShapes = {{1, 1},
                                      {1, 7},
                                      {7, 1},
                                      {3, 5},
                                      {2, 9},
                                      {5, 17},
                                      {50, 10},
                                      {10, 50},
                                      {6, 29},
                                      {513, 3},
                                      {16500, 3},
                                      {2, 3, 4},
                                      {1, 1, 6},
                                      {1, 4, 3},
                                      {3, 1, 2},
                                      {0, 3},
                                      {3, 0},
                                      {0, 0},
                                      {2, 0, 3},
                                      {4, 1, 1, 1, 1, 1, 1, 1, 1, 2},
                                      {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3}};

// Every line folded from `start`, element by element in order.
template <class Fold>
std::vector<double> InOrder(const CMatrix *a, unsigned int dim, double start, Fold fold) {
    std::vector<double> out;
    for (const std::vector<double> &line : Lines(a, dim)) {
        double s = start;
        for (double x : line) s = fold(s, x);
        out.push_back(s);
    }
    return out;
}

double Add(double s, double x) { return s + x; }
double Multiply(double s, double x) { return s * x; }
double Either(double s, double x) { return s != 0.0 || x != 0.0 ? 1.0 : 0.0; }
double Both(double s, double x) { return s != 0.0 && x != 0.0 ? 1.0 : 0.0; }

// Every result bit for bit equal to the in-order fold, for every dimension
// of every shape (All and Any also one beyond the last). All and Any get
// sparse non-zeros, so that Any lines stay undecided for a while and All
// lines are decided early.
TEST(Reductions, MatchTheInOrderFoldBitForBit) {
    const struct {
        const char *name;
        Reduction reduce;
        double start;
        double (*fold)(double, double);
        bool logical;
    } reductions[] = {{"Sum", Sum, 0.0, Add, false},
                      {"Prod", Prod, 1.0, Multiply, false},
                      {"Any", Any, 0.0, Either, true},
                      {"All", All, 1.0, Both, true}};
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> pick(0, 9);
    const double sparse[] = {-0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, mxGetNaN(), -2.5};
    for (const DimList &shape : kShapes) {
        ArrayPtr dense = OrderSensitive(shape, random), rare = Array(shape);
        for (unsigned int i = 0; i < rare->GetNoElems(); ++i) {
            mxGetPr(rare.get())[i] = sparse[pick(random)];
        }
        dense->SetLogical();  // the operand's flag is ignored
        rare->SetLogical();
        for (const auto &r : reductions) {
            const CMatrix *a = r.logical ? rare.get() : dense.get();
            for (unsigned int dim = 1; dim <= shape.size() + (r.logical ? 1 : 0); ++dim) {
                SCOPED_TRACE(std::string(r.name) + ::testing::PrintToString(shape) + " dim " +
                             std::to_string(dim));
                ArrayPtr s(r.reduce(a, dim));
                DimList reduced = shape;
                if (dim <= shape.size()) reduced[dim - 1] = 1;
                while (reduced.size() > 2 && reduced.back() == 1) reduced.pop_back();
                EXPECT_EQ(Dims(s.get()), reduced);
                EXPECT_EQ(s->IsLogical(), r.logical);
                EXPECT_EQ(BitsOf(s.get()), BitsOf(InOrder(a, dim, r.start, r.fold)));
            }
        }
    }
}

// A sum starts from +0, so a line of negative zeros sums to +0, while a
// product starting from 1 keeps the sign. The column [1e16 1 -1e16 1] sums
// to 1 in order and to 0 if the halves are added first. A NaN passes
// through with its pattern.
TEST(Sum, StartsFromPositiveZeroAndAddsInOrder) {
    ArrayPtr zeros = Matrix(2, 1, {-0.0, -0.0});
    EXPECT_EQ(BitsOf(ArrayPtr(Sum(zeros.get())).get()), BitsOf({0.0}));
    EXPECT_EQ(BitsOf(ArrayPtr(Prod(zeros.get(), 2)).get()), BitsOf({-0.0, -0.0}));
    ArrayPtr cancelling = Matrix(4, 1, {1e16, 1, -1e16, 1}), nan = Matrix(1, 2, {1, mxGetNaN()});
    EXPECT_EQ(Values(ArrayPtr(Sum(cancelling.get())).get()), (std::vector<double>{1}));
    EXPECT_EQ(BitsOf(ArrayPtr(Sum(nan.get())).get()), BitsOf({mxGetNaN()}));
    EXPECT_TRUE(std::isnan(Values(ArrayPtr(Prod(Matrix(1, 2, {0, kInf}).get())).get())[0]));
}

// The default dimension: a vector along its length, else the first
// dimension, past leading lengths of 1 for N-d arrays. Sum and Prod of 0x0
// give the identity as a scalar; All and Any have no such case.
TEST(Reductions, DefaultDimensionAndEmptyArrays) {
    using V = std::vector<double>;
    const struct {
        DimList shape;
        V values;
        DimList dims;
        V sum, prod, all, any;
    } cases[] = {
        {{0, 0}, {}, {1, 0}, {}, {}, {}, {}},
        {{0, 3}, {}, {1, 3}, {0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {0, 0, 0}},
        {{1, 0}, {}, {1, 0}, {}, {}, {}, {}},
        {{1, 1}, {-0.0}, {1, 1}, {0.0}, {-0.0}, {0}, {0}},
        {{1, 3}, {1, 0, 4}, {1, 1}, {5}, {0}, {0}, {1}},
        {{3, 1}, {1, 2, 4}, {1, 1}, {7}, {8}, {1}, {1}},
        {{2, 3}, {1, 0, 3, 4, 0, 0}, {1, 3}, {1, 7, 0}, {0, 12, 0}, {0, 1, 0}, {1, 1, 0}},
        {{1, 1, 3}, {1, 2, 4}, {1, 1}, {7}, {8}, {1}, {1}},
        {{1, 2, 2}, {1, 2, 4, 8}, {1, 1, 2}, {3, 12}, {2, 32}, {1, 1}, {1, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.shape));
        ArrayPtr a = Filled(c.shape, c.values);
        const bool zeroByZero = c.shape == DimList{0, 0};
        ArrayPtr sum(Sum(a.get())), prod(Prod(a.get())), all(All(a.get())), any(Any(a.get()));
        for (const CMatrix *r : {sum.get(), prod.get()}) {
            EXPECT_EQ(Dims(r), (zeroByZero ? DimList{1, 1} : c.dims));
        }
        for (const CMatrix *r : {all.get(), any.get()}) EXPECT_EQ(Dims(r), c.dims);
        EXPECT_EQ(BitsOf(sum.get()), BitsOf(zeroByZero ? V{0} : c.sum));
        EXPECT_EQ(BitsOf(prod.get()), BitsOf(zeroByZero ? V{1} : c.prod));
        EXPECT_EQ(Values(all.get()), c.all);
        EXPECT_EQ(Values(any.get()), c.any);
        EXPECT_TRUE(all->IsLogical() && any->IsLogical());
    }
}

// Beyond the last dimension Sum and Prod give the array itself, sharing its
// data, so that -0 stays -0 (All and Any test each element on its own).
TEST(Reductions, BeyondTheLastDimension) {
    ArrayPtr a = Matrix(2, 2, {1, -0.0, mxGetNaN(), 4});
    for (Reduction reduction : {Reduction(Sum), Reduction(Prod)}) {
        ArrayPtr s(reduction(a.get(), 3));
        EXPECT_EQ(Dims(s.get()), (DimList{2, 2}));
        EXPECT_EQ(s->GetPr(), a->GetPr());
    }
}

TEST(Reductions, RefuseDimensionZeroFirstThenAllButRealDouble) {
    ArrayPtr a = Counted({2, 2});
    const Reduction reductions[] = {Sum, Prod, All, Any};
    const DefaultReduction defaults[] = {Sum, Prod, All, Any};
    for (const ArrayPtr &x : NonRealDoubleOperands()) {
        for (Reduction reduction : reductions) {
            for (const CMatrix *b : {a.get(), x.get()}) {
                EXPECT_CLEAN_THROW(reduction(b, 0u), CFunctionErrorException,
                                   L"Dimension argument must be a positive integer", b);
            }
            EXPECT_NOT_IMPLEMENTED(reduction(x.get(), 1), x.get());
            EXPECT_NOT_IMPLEMENTED(reduction(x.get(), 5), x.get());
        }
        for (DefaultReduction reduction : defaults) {
            EXPECT_NOT_IMPLEMENTED(reduction(x.get()), x.get());
        }
    }
}

// Each allocation failing in turn, including the long dimension list of an
// array with more dimensions than fit inline.
TEST(Reductions, AllocationFailuresLeakNothing) {
    ArrayPtr m = Counted({2, 3}), tall = Array({2, 1, 1, 1, 1, 1, 1, 1, 1, 3});
    ArrayPtr empty = Array({0, 0});
    for (const CMatrix *a : {m.get(), tall.get(), empty.get()}) {
        for (Reduction reduction : {Reduction(Sum), Reduction(All)}) {
            EXPECT_GT(FailurePoints([&] { return reduction(a, 2); }, {a}), 0);
            EXPECT_GT(FailurePoints([&] { return reduction(a, 12); }, {a}), 0);
        }
        EXPECT_GT(FailurePoints([&] { return Prod(a); }, {a}), 0);
    }
}

}  // namespace
