// tests/elementwise/maxmin_test.cpp: Max and Min along a dimension, with and without
// positions; of two arrays they are tested with the other binary operators.
#include <matrix/matrix.h>

#include <random>
#include <string>
#include <vector>

#include "elementwise/elementwise_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace elementwise_test;

using ValuesOnly = CMatrix *(*)(const CMatrix *, unsigned int);
using TwoOutputs = void (*)(CMatrix *&, CMatrix *&, const CMatrix *, unsigned int);
using TwoOutputsDefault = void (*)(CMatrix *&, CMatrix *&, const CMatrix *);

// Both outputs of a two-output call, owned.
struct Outputs {
    ArrayPtr y, i;
};
template <typename F, typename... Dim>
Outputs Call(F f, const CMatrix *a, Dim... dim) {
    CMatrix *y = nullptr, *i = nullptr;
    f(y, i, a, dim...);
    return {ArrayPtr(y), ArrayPtr(i)};
}

// The scan written as plainly as possible: each line from its first
// element, a later one replacing the extremum only when strictly better.
void InOrder(const CMatrix *a, unsigned int dim, bool max, std::vector<double> &values,
             std::vector<double> &positions) {
    for (const std::vector<double> &line : Lines(a, dim)) {
        if (line.empty()) continue;  // an empty dimension stays empty
        std::size_t best = 0;
        for (std::size_t k = 1; k < line.size(); ++k) {
            if (max ? line[k] > line[best] : line[k] < line[best]) best = k;
        }
        values.push_back(line[best]);
        positions.push_back(best + 1.0);
    }
}

// The first of equal extrema wins, also for zeros of either sign; a NaN
// counts only when it starts its line.
TEST(Max, TiesNaNAndSignedZeros) {
    const struct {
        bool max;
        std::vector<double> line;
        double value, position;
    } cases[] = {
        {true, {1, 5, 5}, 5, 2},          {false, {4, 1, 1, 9}, 1, 2},
        {true, {kNaN, 1, 2}, kNaN, 1},    {true, {1, kNaN, 2}, 2, 3},
        {false, {3, kNaN, 1}, 1, 3},      {false, {kNegatedNaN, -1}, kNegatedNaN, 1},
        {true, {kNaN, kNaN}, kNaN, 1},    {true, {2, kNaN, kNaN}, 2, 1},
        {true, {0.0, -0.0}, 0.0, 1},      {true, {-0.0, 0.0}, -0.0, 1},
        {false, {0.0, -0.0}, 0.0, 1},     {false, {-1, -0.0, 0.0}, -1, 1},
        {true, {-1, -0.0, 0.0}, -0.0, 2},
    };
    for (const auto &c : cases) {
        const unsigned int n = static_cast<unsigned int>(c.line.size());
        // Once as rows along dimension 2 of a block of 600, once as 20
        // columns (a group of sixteen and the rest): the walk's ways.
        ArrayPtr rows = Array({600, n}), columns = Array({n, 20});
        for (unsigned int k = 0; k < 600u * n; ++k) mxGetPr(rows.get())[k] = c.line[k / 600];
        for (unsigned int k = 0; k < 20 * n; ++k) mxGetPr(columns.get())[k] = c.line[k % n];
        for (const auto &[array, dim] : {std::pair{rows.get(), 2u}, std::pair{columns.get(), 1u}}) {
            SCOPED_TRACE(::testing::PrintToString(c.line) + " dim " + std::to_string(dim));
            Outputs o = Call(c.max ? TwoOutputs(Max) : TwoOutputs(Min), array, dim);
            ArrayPtr only((c.max ? ValuesOnly(Max) : ValuesOnly(Min))(array, dim));
            for (double y : Values(o.y.get())) EXPECT_EQ(Bits(y), Bits(c.value));
            for (double y : Values(only.get())) EXPECT_EQ(Bits(y), Bits(c.value));
            for (double i : Values(o.i.get())) EXPECT_EQ(i, c.position);
        }
    }
}

// Random lines full of ties, zeros of both signs and NaNs, on shapes around
// the walk's edges, against the in-order scan.
TEST(Max, MatchesTheInOrderScan) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pick(0, 6);
    const double pool[] = {-0.0, 0.0, 1, 1, -1, kNaN, 2};
    const DimList shapes[] = {
        {1, 1},    {1, 9},   {9, 1},     {3, 5},    {5, 17},
        {6, 37},   {50, 10}, {16500, 2}, {2, 3, 4}, {1, 1, 6},
        {1, 4, 3}, {0, 3},   {3, 0},     {2, 0, 3}, {3, 1, 1, 1, 1, 1, 1, 1, 1, 2}};
    for (const DimList &shape : shapes) {
        ArrayPtr a = Array(shape);
        for (unsigned int k = 0; k < a->GetNoElems(); ++k) mxGetPr(a.get())[k] = pool[pick(random)];
        for (unsigned int dim = 1; dim <= shape.size(); ++dim) {
            for (bool max : {true, false}) {
                SCOPED_TRACE(::testing::PrintToString(shape) + " dim " + std::to_string(dim) +
                             (max ? " Max" : " Min"));
                std::vector<double> values, positions;
                InOrder(a.get(), dim, max, values, positions);
                DimList reduced = shape;
                reduced[dim - 1] = std::min(reduced[dim - 1], 1u);
                while (reduced.size() > 2 && reduced.back() == 1) reduced.pop_back();
                Outputs o = Call(max ? TwoOutputs(Max) : TwoOutputs(Min), a.get(), dim);
                ArrayPtr only((max ? ValuesOnly(Max) : ValuesOnly(Min))(a.get(), dim));
                for (const CMatrix *r : {o.y.get(), o.i.get(), only.get()}) {
                    EXPECT_EQ(Dims(r), reduced);
                    EXPECT_FALSE(r->IsLogical());
                }
                EXPECT_EQ(BitsOf(o.y.get()), BitsOf(values));
                EXPECT_EQ(BitsOf(only.get()), BitsOf(values));
                EXPECT_EQ(Values(o.i.get()), positions);
            }
        }
    }
}

// The values-only forms look past leading lengths of 1; the two-output forms
// do not. A vector goes along its length; empty lengths stay empty.
TEST(Max, DefaultDimensions) {
    const struct {
        DimList shape;
        DimList valuesOnly, twoOutputs;
    } cases[] = {{{1, 1, 4}, {1, 1}, {1, 1, 4}}, {{1, 3, 2}, {1, 1, 2}, {1, 3, 2}},
                 {{1, 4}, {1, 1}, {1, 1}},       {{4, 1}, {1, 1}, {1, 1}},
                 {{2, 3}, {1, 3}, {1, 3}},       {{0, 3}, {0, 3}, {0, 3}},
                 {{3, 0}, {1, 0}, {1, 0}},       {{0, 0}, {0, 0}, {0, 0}},
                 {{1, 0}, {1, 0}, {1, 0}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.shape));
        ArrayPtr a = Counted(c.shape);
        ArrayPtr max(Max(a.get())), min(Min(a.get()));
        Outputs o = Call(TwoOutputsDefault(Max), a.get());
        Outputs p = Call(TwoOutputsDefault(Min), a.get());
        for (const CMatrix *r : {max.get(), min.get()}) EXPECT_EQ(Dims(r), c.valuesOnly);
        for (const CMatrix *r : {o.y.get(), o.i.get(), p.y.get(), p.i.get()}) {
            EXPECT_EQ(Dims(r), c.twoOutputs);
        }
        if (a->GetNoElems() == 0) continue;
        std::vector<double> values, positions;
        InOrder(a.get(), c.shape[0] == 1 && c.shape.size() == 2 ? 2 : 1, true, values, positions);
        EXPECT_EQ(Values(o.y.get()), values);
        EXPECT_EQ(Values(o.i.get()), positions);
    }
}

// Along a dimension beyond the last: A shared, flags kept; positions all 1.
TEST(Max, BeyondTheLastDimension) {
    ArrayPtr a = Matrix(2, 2, {1, 0, 3, 4});
    a->SetLogical();
    ArrayPtr m(Max(a.get(), 3));
    EXPECT_EQ(m->GetPr(), a->GetPr());
    EXPECT_TRUE(m->IsLogical());
    Outputs o = Call(TwoOutputs(Min), a.get(), 3u);
    EXPECT_EQ(o.y->GetPr(), a->GetPr());
    EXPECT_EQ(Dims(o.i.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(o.i.get()), (std::vector<double>{1, 1, 1, 1}));
    EXPECT_FALSE(o.i->IsLogical());
}

// A refused argument leaves both outputs as they were; the dimension is
// checked first and the class before a dimension beyond the last.
TEST(Max, RefusesDimensionZeroAndAllButRealDouble) {
    ArrayPtr oldY = Matrix(1, 1, {7}), oldI = Matrix(1, 1, {8}), a = Counted({2, 2});
    CMatrix *y = oldY.get(), *i = oldI.get();
    const wchar_t badDimension[] = L"Dimension argument must be a positive integer";
    for (const ArrayPtr &x : NonRealDoubleOperands()) {
        for (const CMatrix *b : {a.get(), x.get()}) {
            EXPECT_CLEAN_THROW(Max(b, 0u), CFunctionErrorException, badDimension, b);
            EXPECT_CLEAN_THROW(Min(y, i, b, 0u), CFunctionErrorException, badDimension, b);
        }
        for (unsigned int dim : {1u, 3u}) {
            EXPECT_NOT_IMPLEMENTED(Max(x.get(), dim), x.get());
            EXPECT_NOT_IMPLEMENTED(Min(y, i, x.get(), dim), x.get());
        }
        EXPECT_NOT_IMPLEMENTED(Min(x.get()), x.get());
        EXPECT_NOT_IMPLEMENTED(Max(y, i, x.get()), x.get());
    }
    EXPECT_TRUE(y == oldY.get() && i == oldI.get());
}

// A failed allocation leaves both outputs null and nothing allocated, also
// when the values were already made, so that callers need not release a
// half result after an exception.
TEST(Max, AllocationFailuresLeaveBothOutputsNull) {
    ArrayPtr a = Counted({2, 3});
    const Snapshots before({a.get()});
    const ArrayPtr earlier = Matrix(1, 1, {0});
    for (unsigned int dim : {1u, 2u, 3u}) {
        CMatrix *y = nullptr, *i = nullptr;
        const int points = ForEachAllocationFailure(
            [&] {
                y = i = earlier.get();
                Max(y, i, a.get(), dim);
                mxDestroyArray(y);
                mxDestroyArray(i);
            },
            [&] { EXPECT_TRUE(y == nullptr && i == nullptr && before.Unchanged()); });
        EXPECT_GE(points, 2) << "dim " << dim;
    }
    EXPECT_GT(FailurePoints([&] { return Min(a.get(), 2); }, {a.get()}), 0);
}

}  // namespace
