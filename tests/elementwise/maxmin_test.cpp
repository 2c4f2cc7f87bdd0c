// tests/elementwise/maxmin_test.cpp: tests of Max and Min in all their forms.
#include <matrix/matrix.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
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
using Values1 = std::vector<double>;
using ValuesOnly = CMatrix *(*)(const CMatrix *, unsigned int);
using TwoOutputs = void (*)(CMatrix *&, CMatrix *&, const CMatrix *, unsigned int);

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kBadDimension[] = L"Dimension argument must be a positive integer";

double FromBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}
const double kNaN = mxGetNaN();
const double kNegativeNaN = FromBits(0xFFFFFFFFFFFFFFFFull);

std::vector<std::uint64_t> BitsOf(const std::vector<double> &values) {
    std::vector<std::uint64_t> out;
    for (double x : values) out.push_back(Bits(x));
    return out;
}

ArrayPtr Filled(const DimList &dims, const std::vector<double> &values) {
    ArrayPtr a = Array(dims);
    EXPECT_EQ(values.size(), a->GetNoElems());
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
}

// Both outputs of a two-output call, owned.
struct Outputs {
    ArrayPtr y, i;
};
Outputs Call(void (*f)(CMatrix *&, CMatrix *&, const CMatrix *), const CMatrix *a) {
    CMatrix *y = nullptr, *i = nullptr;
    f(y, i, a);
    return {ArrayPtr(y), ArrayPtr(i)};
}
Outputs Call(TwoOutputs f, const CMatrix *a, unsigned int dim) {
    CMatrix *y = nullptr, *i = nullptr;
    f(y, i, a, dim);
    return {ArrayPtr(y), ArrayPtr(i)};
}

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

// The reduction written as plainly as possible: visit A in storage order;
// the first element met for a result element starts it, a later one replaces
// it when strictly better.
struct Reference {
    std::vector<double> values, positions;
};
Reference InOrder(const CMatrix *a, unsigned int dim, bool max) {
    const DimList dims = Dims(a);
    DimList reduced = dims;
    reduced[dim - 1] = std::min(reduced[dim - 1], 1u);
    std::size_t count = 1;
    for (unsigned int length : reduced) count *= length;
    Reference out{std::vector<double>(count), std::vector<double>(count, 0.0)};
    const double *p = mxGetPr(a);
    for (std::size_t e = 0; e < a->GetNoElems(); ++e) {
        std::size_t rest = e, r = 0, stride = 1, k = 0;
        for (std::size_t d = 0; d < dims.size(); ++d) {
            const std::size_t sub = rest % dims[d];
            rest /= dims[d];
            if (d + 1 == dim) {
                k = sub;
            } else {
                r += sub * stride;
            }
            stride *= reduced[d];
        }
        const double current = out.values[r];
        if (k == 0 || (max ? p[e] > current : p[e] < current)) {
            out.values[r] = p[e];
            out.positions[r] = k + 1.0;
        }
    }
    return out;
}

// --- Along a dimension ----------------------------------------------------------

TEST(Max, Examples) {
    ArrayPtr v = Matrix(1, 8, {3, 1, 4, 1, 5, 9, 2, 6});
    ArrayPtr m(Max(v.get()));
    EXPECT_EQ(Dims(m.get()), (DimList{1, 1}));
    EXPECT_EQ(Values(m.get()), (Values1{9}));
    Outputs o = Call(Max, v.get());
    EXPECT_EQ(Values(o.y.get()), (Values1{9}));
    EXPECT_EQ(Values(o.i.get()), (Values1{6}));
    EXPECT_FALSE(mxIsLogical(o.y.get()) || mxIsLogical(o.i.get()));

    ArrayPtr a = Matrix(2, 3, {1, 4, 5, 2, 3, 6});
    m.reset(Max(a.get()));
    EXPECT_EQ(Dims(m.get()), (DimList{1, 3}));
    EXPECT_EQ(Values(m.get()), (Values1{4, 5, 6}));
    m.reset(Max(a.get(), 2));
    EXPECT_EQ(Dims(m.get()), (DimList{2, 1}));
    EXPECT_EQ(Values(m.get()), (Values1{5, 6}));
    o = Call(Min, a.get(), 2);
    EXPECT_EQ(Values(o.y.get()), (Values1{1, 2}));
    EXPECT_EQ(Values(o.i.get()), (Values1{1, 2}));

    ArrayPtr column = Matrix(3, 1, {2, 7, 7});
    o = Call(Max, column.get());
    EXPECT_EQ(Values(o.y.get()), (Values1{7}));
    EXPECT_EQ(Values(o.i.get()), (Values1{2}));
}

// The first of equal extrema wins, also for zeros of either sign; a NaN
// counts only when it starts its line.
TEST(Max, TiesNaNAndSignedZeros) {
    struct Case {
        bool max;
        Values1 line;
        double value, position;
    };
    const Case cases[] = {
        {true, {1, 5, 5}, 5, 2},          {false, {4, 1, 1, 9}, 1, 2},
        {true, {kNaN, 1, 2}, kNaN, 1},    {true, {1, kNaN, 2}, 2, 3},
        {false, {3, kNaN, 1}, 1, 3},      {false, {kNegativeNaN, -1}, kNegativeNaN, 1},
        {true, {kNaN, kNaN}, kNaN, 1},    {true, {2, kNaN, kNaN}, 2, 1},
        {true, {0.0, -0.0}, 0.0, 1},      {true, {-0.0, 0.0}, -0.0, 1},
        {false, {0.0, -0.0}, 0.0, 1},     {false, {-1, -0.0, 0.0}, -1, 1},
        {true, {-1, -0.0, 0.0}, -0.0, 2},
    };
    for (const Case &c : cases) {
        const unsigned int n = static_cast<unsigned int>(c.line.size());
        // Once as a row and once as a column, walked in each of the two ways
        // (a line along dimension 2 of a block of rows; a contiguous column).
        ArrayPtr rows = Array({600, n});
        for (unsigned int k = 0; k < 600u * n; ++k) mxGetPr(rows.get())[k] = c.line[k / 600];
        ArrayPtr columns = Array({n, 9});
        for (unsigned int k = 0; k < 9 * n; ++k) mxGetPr(columns.get())[k] = c.line[k % n];
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
TEST(Max, MatchesInOrderScan) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pick(0, 6);
    const double pool[] = {-0.0, 0.0, 1, 1, -1, kNaN, 2};
    const DimList shapes[] = {{1, 1},   {1, 9},    {9, 1},      {3, 5},         {5, 17},
                              {50, 10}, {16500, 2}, {2, 3, 4},   {1, 1, 6},      {1, 4, 3},
                              {0, 3},   {3, 0},    {2, 0, 3},   {3, 1, 1, 1, 1, 1, 1, 1, 1, 2}};
    for (const DimList &shape : shapes) {
        ArrayPtr a = Array(shape);
        for (unsigned int k = 0; k < a->GetNoElems(); ++k) mxGetPr(a.get())[k] = pool[pick(random)];
        for (unsigned int dim = 1; dim <= shape.size(); ++dim) {
            for (bool max : {true, false}) {
                SCOPED_TRACE(::testing::PrintToString(shape) + " dim " + std::to_string(dim) +
                             (max ? " Max" : " Min"));
                const Reference expected = InOrder(a.get(), dim, max);
                Outputs o = Call(max ? TwoOutputs(Max) : TwoOutputs(Min), a.get(), dim);
                ArrayPtr only((max ? ValuesOnly(Max) : ValuesOnly(Min))(a.get(), dim));
                EXPECT_EQ(BitsOf(Values(o.y.get())), BitsOf(expected.values));
                EXPECT_EQ(BitsOf(Values(only.get())), BitsOf(expected.values));
                EXPECT_EQ(Values(o.i.get()), expected.positions);
                EXPECT_EQ(Dims(o.i.get()), Dims(o.y.get()));
                EXPECT_EQ(Dims(only.get()), Dims(o.y.get()));
            }
        }
    }
}

// The values-only forms look past leading lengths of 1; the two-output forms
// do not. Empty lengths stay empty.
TEST(Max, DefaultDimensions) {
    ArrayPtr tube = Filled({1, 1, 4}, {3, 8, 8, 1});
    ArrayPtr m(Max(tube.get()));
    EXPECT_EQ(Dims(m.get()), (DimList{1, 1}));
    EXPECT_EQ(Values(m.get()), (Values1{8}));
    m.reset(Min(tube.get()));
    EXPECT_EQ(Values(m.get()), (Values1{1}));
    Outputs o = Call(Max, tube.get());
    EXPECT_EQ(Dims(o.y.get()), (DimList{1, 1, 4}));
    EXPECT_EQ(Values(o.y.get()), (Values1{3, 8, 8, 1}));
    EXPECT_EQ(Values(o.i.get()), (Values1{1, 1, 1, 1}));

    ArrayPtr one = Matrix(1, 1, {-0.0});
    o = Call(Min, one.get());
    EXPECT_EQ(Bits(Values(o.y.get())[0]), Bits(-0.0));
    EXPECT_EQ(Values(o.i.get()), (Values1{1}));

    const std::pair<DimList, DimList> empties[] = {
        {{0, 3}, {0, 3}}, {{3, 0}, {1, 0}}, {{0, 0}, {0, 0}}, {{1, 0}, {1, 0}}};
    for (const auto &[shape, reduced] : empties) {
        ArrayPtr a = Array(shape);
        m.reset(Max(a.get()));
        EXPECT_EQ(Dims(m.get()), reduced);
        o = Call(Min, a.get());
        EXPECT_EQ(Dims(o.y.get()), reduced);
        EXPECT_EQ(Dims(o.i.get()), reduced);
    }
    ArrayPtr wide = Array({3, 0});
    m.reset(Max(wide.get(), 2));
    EXPECT_EQ(Dims(m.get()), (DimList{3, 0}));
}

// Along a dimension beyond the last: A shared (logical flag kept), positions
// all 1.
TEST(Max, BeyondLastDimension) {
    ArrayPtr a = Matrix(2, 2, {1, 0, 3, 4});
    a->SetLogical();
    ArrayPtr m(Max(a.get(), 3));
    EXPECT_EQ(m->GetPr(), a->GetPr());
    EXPECT_TRUE(mxIsLogical(m.get()));
    Outputs o = Call(Min, a.get(), 3);
    EXPECT_EQ(o.y->GetPr(), a->GetPr());
    EXPECT_EQ(Dims(o.i.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(o.i.get()), (Values1{1, 1, 1, 1}));
    EXPECT_FALSE(mxIsLogical(o.i.get()));
}

// --- Errors of the reductions --------------------------------------------------

// Both outputs keep what they held when an argument is refused. `call`
// names the outputs y_ and i_.
#define EXPECT_REJECTS_TWO(call, a, E, message)                \
    do {                                                       \
        const ArrayPtr oldY_ = Matrix(1, 1, {7});              \
        const ArrayPtr oldI_ = Matrix(1, 1, {8});              \
        CMatrix *y_ = oldY_.get(), *i_ = oldI_.get();          \
        EXPECT_REJECTS(call, a, E, message);                   \
        EXPECT_EQ(y_, oldY_.get());                            \
        EXPECT_EQ(i_, oldI_.get());                            \
    } while (0)

TEST(Max, DimensionZeroIsRejected) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4});
    EXPECT_REJECTS(Max(a.get(), 0u), a.get(), CFunctionErrorException, kBadDimension);
    EXPECT_REJECTS(Min(a.get(), 0u), a.get(), CFunctionErrorException, kBadDimension);
    EXPECT_REJECTS_TWO(Max(y_, i_, a.get(), 0u), a.get(), CFunctionErrorException, kBadDimension);
    EXPECT_REJECTS_TWO(Min(y_, i_, a.get(), 0u), a.get(), CFunctionErrorException, kBadDimension);
}

TEST(Max, RefusesAllButRealDouble) {
    std::vector<ArrayPtr> refused;
    refused.push_back(Array({2, 2}, mxClassDouble, mxComplexityComplex));
    refused.push_back(Array({1, 1}, mxClassDouble, mxComplexityComplex));
    refused.push_back(Array({2, 2}, mxClassSingle));
    refused.push_back(Array({1, 1}, mxClassInt8));
    refused.push_back(Array({0, 0}, mxClassUint16));
    refused.push_back(Array({1, 3}, mxClassChar));
    for (const ArrayPtr &a : refused) {
        EXPECT_REJECTS(Max(a.get()), a.get(), CNotImplementedException, kNotImplemented);
        EXPECT_REJECTS(Min(a.get(), 3), a.get(), CNotImplementedException, kNotImplemented);
        EXPECT_REJECTS_TWO(Max(y_, i_, a.get()), a.get(), CNotImplementedException, kNotImplemented);
        EXPECT_REJECTS_TWO(Min(y_, i_, a.get(), 1), a.get(), CNotImplementedException,
                           kNotImplemented);
        EXPECT_REJECTS_TWO(Max(y_, i_, a.get(), 3), a.get(), CNotImplementedException,
                           kNotImplemented);
    }
}

// A failed allocation leaves both outputs null and nothing allocated, also
// when the values were already made (a deliberate choice: callers need not
// release a half result after an exception).
TEST(Max, AllocationFailuresLeaveBothOutputsNull) {
    ArrayPtr a = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
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
            [&] {
                EXPECT_EQ(y, nullptr);
                EXPECT_EQ(i, nullptr);
                EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
            });
        EXPECT_GE(points, 2) << "dim " << dim;
    }
    EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr m(Min(a.get(), 2)); },
                                       [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); }),
              0);
}

// --- Two arrays -----------------------------------------------------------------

// A NaN survives from A in Max and from B in Min; of two zeros Max keeps A's
// and Min takes B's.
TEST(Max, TwoArraysNaNAndSignedZeros) {
    ArrayPtr a = Matrix(1, 4, {1, kNaN, 0.0, -0.0});
    ArrayPtr b = Matrix(1, 4, {kNaN, 2, -0.0, 0.0});
    ArrayPtr m(Max(a.get(), b.get()));
    EXPECT_EQ(BitsOf(Values(m.get())), BitsOf({1, kNaN, 0.0, -0.0}));
    EXPECT_FALSE(mxIsLogical(m.get()));
    m.reset(Min(a.get(), b.get()));
    EXPECT_EQ(BitsOf(Values(m.get())), BitsOf({kNaN, 2, -0.0, 0.0}));
}

TEST(Max, TwoArraysExpandScalarsFromEitherSide) {
    ArrayPtr a = Matrix(2, 2, {1, 5, 3, 7});
    ArrayPtr s = Filled({1, 1, 1}, {4});
    ArrayPtr m(Max(a.get(), s.get()));
    EXPECT_EQ(Dims(m.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(m.get()), (Values1{4, 5, 4, 7}));
    m.reset(Min(s.get(), a.get()));
    EXPECT_EQ(Values(m.get()), (Values1{1, 4, 3, 4}));
    ArrayPtr empty = Array({0, 3});
    m.reset(Max(s.get(), empty.get()));
    EXPECT_EQ(Dims(m.get()), (DimList{0, 3}));
}

TEST(Max, TwoArraysErrors) {
    ArrayPtr a = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    ArrayPtr t = Matrix(3, 2, {1, 2, 3, 4, 5, 6});
    ArrayPtr complexScalar = Array({1, 1}, mxClassDouble, mxComplexityComplex);
    ArrayPtr single = Array({2, 3}, mxClassSingle);
    const wchar_t kDims[] = L"Array dimensions must match for binary array op";
    EXPECT_REJECTS(Max(a.get(), t.get()), a.get(), CArrayDimsMustMatchForBinaryOpException, kDims);
    EXPECT_REJECTS(Min(t.get(), a.get()), a.get(), CArrayDimsMustMatchForBinaryOpException, kDims);
    EXPECT_REJECTS(Max(a.get(), complexScalar.get()), complexScalar.get(),
                   CNotImplementedException, kNotImplemented);
    EXPECT_REJECTS(Min(single.get(), a.get()), single.get(), CNotImplementedException,
                   kNotImplemented);
}

}  // namespace
