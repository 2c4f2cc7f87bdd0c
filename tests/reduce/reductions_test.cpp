// tests/reduce/reductions_test.cpp: Sum, Prod, All, Any, Max and Min along a
// dimension; Nnz, Find, Isequal and Tobool; the refusals of them all.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "kernels/kernel_path.h"
#include "reduce/class_order_reference.h"
#include "reduce/line_reductions.h"
#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using kernels::KernelPath;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using namespace matrix_test::special;
using Doubles = std::vector<double>;

// Each reduction as exported, with and without a dimension, and its plain
// path. Max2 and Min2 are the two-output forms.
const struct {
    const char *name;
    CMatrix *(*along)(const CMatrix *, unsigned);
    CMatrix *(*byDefault)(const CMatrix *);
    CMatrix *(*plain)(const CMatrix *, unsigned, KernelPath);
} kValuesOnly[] = {{"Sum", Sum, Sum, reduce::SumAlong}, {"Prod", Prod, Prod, reduce::ProdAlong},
                   {"All", All, All, reduce::AllAlong}, {"Any", Any, Any, reduce::AnyAlong},
                   {"Max", Max, Max, reduce::MaxAlong}, {"Min", Min, Min, reduce::MinAlong}};
const struct {
    void (*along)(CMatrix *&, CMatrix *&, const CMatrix *, unsigned);
    void (*byDefault)(CMatrix *&, CMatrix *&, const CMatrix *);
    void (*plain)(CMatrix *&, CMatrix *&, const CMatrix *, unsigned, KernelPath);
} kTwoOutputs[] = {{Max, Max, reduce::MaxAlong}, {Min, Min, reduce::MinAlong}};
const char *const kNames[] = {"Sum", "Prod", "All", "Any", "Max", "Min", "Max2", "Min2"};

// Both outputs of a reduction; i stays null for the values-only forms.
struct Outputs {
    ArrayPtr y, i;
};

// Runs reduction `f` along `dim` (0: the form without a dimension), or on
// its plain path.
Outputs Reduce(const std::string &f, const CMatrix *a, unsigned dim, bool plain = false) {
    CMatrix *y = nullptr, *i = nullptr;
    for (const auto &r : kValuesOnly) {
        if (f != r.name) continue;
        y = plain ? r.plain(a, dim, KernelPath::kPlain) : dim ? r.along(a, dim) : r.byDefault(a);
    }
    if (f.back() != '2') return {ArrayPtr(y), nullptr};
    const auto &r = kTwoOutputs[f == "Min2"];
    plain      ? r.plain(y, i, a, dim, KernelPath::kPlain)
    : dim != 0 ? r.along(y, i, a, dim)
               : r.byDefault(y, i, a);
    return {ArrayPtr(y), ArrayPtr(i)};
}

// Three kinds of data. Order-sensitive: magnitudes from 2^-60 to 2^61 and
// 2^-1074, 1e16 beside 1, signed zeros and infinities, but no NaN operand,
// so that every NaN of a sum or product is the one the hardware makes. Ties:
// equal values, signed zeros and NaNs of both patterns, for the selections
// only. Sparse: mostly zeros, so that All and Any lines stay undecided.
enum Kind { kOrderSensitive, kTies, kSparse };
ArrayPtr RandomArray(const DimList &shape, Kind kind, std::mt19937_64 &random) {
    const Doubles pools[] = {{0.0, -0.0, kInf, -kInf, 1e16, -1e16, 1, 4.9e-324},
                             {kNaN, -kNaN, 0.0, -0.0, 1, 1, -1, kInf, -kInf, 2},
                             {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -0.0, kNaN, -2.5}};
    const Doubles &pool = pools[kind];
    const std::size_t last = kind == kOrderSensitive ? pool.size() + 8 : pool.size() - 1;
    std::uniform_int_distribution<std::size_t> pick(0, last);  // beyond the pool: at random
    std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
    std::uniform_int_distribution<int> exponent(-60, 60);
    ArrayPtr a = Array(shape);
    for (unsigned int k = 0; k < a->GetNoElems(); ++k) {
        const std::size_t p = pick(random);
        mxGetPr(a.get())[k] =
            p < pool.size() ? pool[p] : std::ldexp(mantissa(random), exponent(random));
    }
    return a;
}

// Shape, logical flag and bits of an output, or null.
std::string Seen(const ArrayPtr &a) {
    if (a == nullptr) return "null";
    return ::testing::PrintToString(
        std::make_tuple(Dims(a.get()), a->IsLogical(), BitsOf(a.get())));
}

// Every reduction along every dimension (and one beyond) gives the bits of
// its plain path, which takes each line from first to last. The shapes sit
// around the walk's edges: column counts around the groups of sixteen and
// the lockstep groups of eight and four, with remainders; line lengths
// around the steps of four; single rows and columns; lines split into
// blocks (beyond 16384 rows); N-d arrays, empty lengths and more dimensions
// than the inline shape buffer holds.
TEST(Reductions, FastestPathMatchesThePlainPathBitForBit) {
    std::vector<DimList> shapes = {{16500, 3}, {2, 3, 4}, {5, 17, 3}, {1, 1, 6}, {1, 4, 3},
                                   {3, 1, 2},  {0, 3},    {3, 0},     {0, 0},    {2, 0, 3}};
    shapes.push_back({4, 1, 1, 1, 1, 1, 1, 1, 1, 2});
    for (unsigned m : {1u, 2u, 3u, 4u, 5u, 8u, 9u})
        for (unsigned n : {1u, 3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 23u, 24u, 25u, 33u, 47u, 49u})
            shapes.push_back({m, n});
    std::mt19937_64 random(Seed());
    for (const DimList &shape : shapes) {
        for (Kind kind : {kOrderSensitive, kTies, kSparse}) {
            const ArrayPtr a = RandomArray(shape, kind, random);
            for (const std::string f : kNames) {
                if (kind == kTies && (f == "Sum" || f == "Prod")) continue;
                for (unsigned dim = 1; dim <= shape.size() + 1; ++dim) {
                    SCOPED_TRACE(f + ::testing::PrintToString(shape) + " kind " +
                                 std::to_string(kind) + " dim " + std::to_string(dim));
                    const Outputs fast = Reduce(f, a.get(), dim),
                                  plain = Reduce(f, a.get(), dim, true);
                    EXPECT_EQ(Seen(fast.y), Seen(plain.y));
                    EXPECT_EQ(Seen(fast.i), Seen(plain.i));
                }
            }
        }
    }
}

// Worked examples (dim 0: the form without a dimension); plain sums along
// each dimension and the first of tied maxima are the golden scripts'.
TEST(Reductions, WorkedExamples) {
    // clang-format off
    const struct { const char *f; DimList shape; Doubles a; unsigned dim; DimList dims;
                   Doubles y, i = {}; } cases[] = {
        {"Sum", {0, 0}, {}, 0, {1, 1}, {0}},
        {"Prod", {0, 0}, {}, 0, {1, 1}, {1}},
        {"All", {0, 0}, {}, 0, {1, 0}, {}},
        {"Sum", {0, 3}, {}, 0, {1, 3}, {0, 0, 0}},
        {"All", {0, 3}, {}, 0, {1, 3}, {1, 1, 1}},
        {"Max", {0, 3}, {}, 0, {0, 3}, {}},
        {"Max", {3, 0}, {}, 0, {1, 0}, {}},
        {"Min", {3, 0}, {}, 2, {3, 0}, {}},
        {"Sum", {4, 1}, {1e16, 1, -1e16, 1}, 0, {1, 1}, {1}},  // 0 when reassociated
        {"Sum", {2, 1}, {-0.0, -0.0}, 0, {1, 1}, {0.0}},       // from +0
        {"Sum", {1, 1, 3}, {1, 2, 4}, 0, {1, 1}, {7}},
        {"All", {2, 2}, {0, 2, kNaN, 0}, 3, {2, 2}, {0, 1, 1, 0}},
        {"Any", {1, 3}, {0, kNaN, 0}, 0, {1, 1}, {1}},
        {"Min2", {2, 3}, {1, 4, 5, 2, 3, 6}, 2, {2, 1}, {1, 2}, {1, 2}},
        {"Max2", {1, 3}, {kNaN, 1, 2}, 0, {1, 1}, {2}, {3}},
        {"Min2", {1, 2}, {kNaN, kNaN}, 0, {1, 1}, {kNaN}, {1}},
        {"Max2", {1, 3}, {1, kNaN, 2}, 0, {1, 1}, {2}, {3}},
        {"Min2", {1, 3}, {-0.0, 0.0, -0.0}, 0, {1, 1}, {-0.0}, {1}},
        {"Max", {1, 1, 4}, {1, 3, 2, 4}, 0, {1, 1}, {4}},
        {"Max2", {1, 1, 4}, {1, 3, 2, 4}, 0, {1, 1, 4}, {1, 3, 2, 4}, {1, 1, 1, 1}}};
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.f + ::testing::PrintToString(c.a) + " dim " + std::to_string(c.dim));
        const ArrayPtr a = Filled(c.shape, c.a);
        const Outputs o = Reduce(c.f, a.get(), c.dim);
        EXPECT_TRUE(Dims(o.y.get()) == c.dims && o.y->IsLogical() == (c.f[0] == 'A'));
        EXPECT_EQ(BitsOf(o.y.get()), BitsOf(c.y));
        EXPECT_EQ(o.i ? Values(o.i.get()) : Doubles{}, c.i) << "positions";
    }
}

// Beyond the last dimension a reduction returns A itself, sharing its data
// and keeping its flags.
TEST(Reductions, BeyondTheLastDimensionShareTheArray) {
    ArrayPtr a = Mask({1, -0.0, kNaN, 4}, {2, 2});
    const Outputs sum = Reduce("Sum", a.get(), 3), min = Reduce("Min2", a.get(), 3);
    EXPECT_TRUE(sum.y->GetPr() == a->GetPr() && sum.y->IsLogical());
    EXPECT_TRUE(min.y->GetPr() == a->GetPr() && min.y->IsLogical());
}

// One table for every refusal of the reductions and the searches. A refused
// two-output Max or Min leaves both outputs as they were; a refused Find
// leaves its outputs null.
// The other classes reduce through double: integers come back saturated in
// their class (Mean gives double), single rounded once, char double;
// complex sums and means take each part; All and Any the truth of either.
TEST(Reductions, EveryNumericClass) {
    using Unary = CMatrix *(*)(const CMatrix *);
    const double f1 = double(0.1f), f2 = double(0.2f);
    // Function, its operand row (class, real, imaginary), the result's class,
    // logical flag, real and imaginary values.
    const std::tuple<Unary, mxClassID, ValueList, ValueList, mxClassID, bool, ValueList, ValueList>
        cases[] = {
            {Sum, mxClassInt8, {100, 100, -50}, {}, mxClassInt8, false, {127}, {}},
            {Sum, mxClassUint8, {200, 100}, {}, mxClassUint8, false, {255}, {}},
            {Sum, mxClassChar, {97, 98}, {}, mxClassDouble, false, {195}, {}},
            {Sum,
             mxClassSingle,
             {0.1, 0.2},
             {},
             mxClassSingle,
             false,
             {double(float(f1 + f2))},
             {}},
            {Sum, mxClassDouble, {1, 2}, {3, -4}, mxClassDouble, false, {3}, {-1}},
            {Sum, mxClassSingle, {1, 2}, {1, 1}, mxClassSingle, false, {3}, {2}},
            {Prod, mxClassInt16, {300, -300}, {}, mxClassInt16, false, {-32768}, {}},
            {Cumsum, mxClassInt8, {100, 100, -100}, {}, mxClassInt8, false, {100, 127, 100}, {}},
            {Cumsum, mxClassDouble, {1, 2}, {1, -1}, mxClassDouble, false, {1, 3}, {1, 0}},
            {Cumprod, mxClassUint8, {2, 200, 0}, {}, mxClassUint8, false, {2, 255, 0}, {}},
            {Mean, mxClassInt32, {1, 2}, {}, mxClassDouble, false, {1.5}, {}},
            {Mean, mxClassSingle, {1, 2}, {}, mxClassSingle, false, {1.5}, {}},
            {Mean, mxClassDouble, {1, 2}, {2, 4}, mxClassDouble, false, {1.5}, {3}},
            {Any, mxClassChar, {0, 0}, {}, mxClassDouble, true, {0}, {}},
            {Any, mxClassDouble, {0}, {2}, mxClassDouble, true, {1}, {}},
            {All, mxClassInt8, {1, 0}, {}, mxClassDouble, true, {0}, {}},
            {All, mxClassSingle, {1, 0}, {0, 3}, mxClassDouble, true, {1}, {}},
            {Max, mxClassInt8, {-5, 7, 3}, {}, mxClassInt8, false, {7}, {}},
            {Min, mxClassSingle, {2, std::nan(""), -1}, {}, mxClassSingle, false, {-1}, {}},
            {Max, mxClassChar, {97, 98}, {}, mxClassDouble, false, {98}, {}},
            // Complex products from 1 + 0i in order: (1+2i)(3-i) = 5+5i.
            {Prod, mxClassDouble, {1, 3}, {2, -1}, mxClassDouble, false, {5}, {5}},
            {Cumprod, mxClassSingle, {1, 1}, {1, 1}, mxClassSingle, false, {1, 0}, {1, 2}},
            // |x - m|^2 summed, over n - 1, real; single rounded once.
            {Var, mxClassDouble, {1, 3}, {1, 3}, mxClassDouble, false, {4}, {}},
            {Std, mxClassDouble, {1, 3}, {1, 3}, mxClassDouble, false, {2}, {}},
            {Var, mxClassSingle, {0, 0}, {1, -1}, mxClassSingle, false, {2}, {}},
            {Var,
             mxClassSingle,
             {1, 2, 3, 4},
             {},
             mxClassSingle,
             false,
             {double(float(5.0 / 3))},
             {}},
            {Std,
             mxClassSingle,
             {1, 2, 3, 4},
             {},
             mxClassSingle,
             false,
             {double(float(std::sqrt(5.0 / 3)))},
             {}}};
    for (const auto &[f, from, re, im, to, logical, wantRe, wantIm] : cases) {
        ArrayPtr a = TypedRow(from, re, im);
        const Snapshots before({a.get()});
        ArrayPtr r(f(a.get()));
        EXPECT_TRUE(r->GetClassID() == to && r->IsLogical() == logical) << from << " " << to;
        EXPECT_EQ(BitsOf(AnyValues(r.get())), BitsOf(wantRe)) << from << " " << to;
        EXPECT_EQ(AnyValues(r.get(), true), wantIm) << from << " " << to;
        EXPECT_TRUE(before.Unchanged());
    }
}

TEST(Reductions, RefusalsOfTheReductionsAndSearches) {
    const Expected badDim =
        Expected::Throws(CFunctionErrorException(L"Dimension argument must be a positive integer"));
    const Expected tooFew =
        Expected::Throws(CFunctionErrorException(L"Not enough input arguments"));
    std::vector<ArrayPtr> others = NonRealDoubleOperands();
    const ArrayPtr held = Matrix(1, 1, {7}), good = Counted({2, 2});
    const CMatrix *m = good.get(), *x = others[0].get(), *cell = others.back().get();
    const CMatrix *h = held.get();
    const CMatrix *pair[] = {m, m};
    CMatrix *y = held.get(), *i = held.get(), *r = held.get(), *c = held.get(), *v = held.get();
    // The dimension is checked before the class.
    std::vector<Refusal> table = {
        {"Max(Y, I, A, 0)", [&] { Max(y, i, m, 0u); }, badDim, {m, h}},
        {"Min(Y, I, X, 0)", [&] { Min(y, i, x, 0u); }, badDim, {x, h}},
        {"Min(Y, I, cell)", [&] { Min(y, i, cell); }, NotImplemented(), {cell, h}},
        {"Find(cell)", [&] { ArrayPtr found(Find(cell)); }, NotImplemented(), {cell}},
        {"Find(R, C, V, cell)", [&] { Find(r, c, v, cell); }, NotImplemented(), {cell}},
        {"Nnz(cell)", [&] { Nnz(cell); }, NotImplemented(), {cell}},
        {"Isequal of one", [&] { Isequal(1, pair); }, tooFew, {m}}};
    for (const auto &f : kValuesOnly) {
        for (const CMatrix *o : {m, x})
            table.push_back({f.name, [&f, o] { f.along(o, 0); }, badDim, {o}});
    }
    // Every reduction takes every numeric class and char, complex included;
    // cells are refused.
    for (const std::string f : kNames) {
        for (unsigned dim : {0u, 1u, 5u})
            table.push_back(
                {f, [f, cell, dim] { Reduce(f, cell, dim); }, NotImplemented(), {cell}});
    }
    for (const ArrayPtr &other : others) {
        const CMatrix *o = other.get();
        if (!o->IsNumeric() && o->GetNoElems() > 0)
            table.push_back({"Tobool", [o] { Tobool(o); }, NotImplemented(), {o}});
    }
    ExpectRefusals(table);
    EXPECT_TRUE(y == held.get() && i == held.get());
    EXPECT_TRUE(r == nullptr && c == nullptr && v == nullptr);
}

// Every class against the reference order, along a row and a column, with
// and without positions: the class stays (char gives double), each element
// keeps its bytes.
TEST(Reductions, MaxAndMinOfEveryClassAgainstTheReferenceOrder) {
    for (const ArrayPtr &row : ClassOrderRows()) {
        for (const ArrayPtr &a : {AsColumn(row.get()), ArrayPtr(row->CreateShareArray())}) {
            for (const bool max : {true, false}) {
                SCOPED_TRACE(::testing::Message() << a->GetClassID() << " " << Dims(a.get())[0]
                                                  << (max ? " max" : " min"));
                const Snapshots before({a.get()});
                CMatrix *y = nullptr, *i = nullptr;
                max ? Max(y, i, a.get()) : Min(y, i, a.get());
                const ArrayPtr value(y), position(i);
                const double want = ReferenceExtreme(a.get(), max);
                EXPECT_EQ(Values(position.get()), ValueList({want}));
                if (a->IsChar()) {
                    EXPECT_TRUE(value->IsDouble() && Values(value.get())[0] ==
                                                         AnyValues(a.get())[std::size_t(want) - 1]);
                } else {
                    const std::size_t size = a->GetElementSize();
                    EXPECT_TRUE(
                        value->GetClassID() == a->GetClassID() &&
                        Bytes(value.get()) == Picked(Bytes(a.get()), size, {want}) &&
                        (a->GetPi() == nullptr ||
                         Bytes(value.get(), true) == Picked(Bytes(a.get(), true), size, {want})));
                }
                const ArrayPtr alone(max ? Max(a.get()) : Min(a.get()));
                EXPECT_TRUE(SameArray(alone.get(), value.get()));
                EXPECT_TRUE(before.Unchanged());
            }
        }
    }
}

// The element-wise Max and Min of complex operands, on the same order:
// B's element where it is greater (Max) or A's where it is less (Min), so a
// NaN gives Max A's element and Min B's; single when either is, real when
// every imaginary part is zero.
TEST(Reductions, MaxAndMinOfTwoArraysWithAComplexOperand) {
    const struct {
        bool max;
        ArrayPtr a, b;
        mxClassID id;
        ValueList re, im;
    } cases[] = {{true,
                  Complex(1, 4, {1, 3, kNaN, -1}, {0, 4, 0, 0}),
                  Complex(1, 4, {0, 5, 1, 0}, {1, 0, 0, -0.0}),
                  mxClassDouble,
                  {0, 3, kNaN, -1},
                  {1, 4, 0, 0}},
                 {false,
                  Complex(1, 4, {1, 3, kNaN, -1}, {0, 4, 0, 0}),
                  Complex(1, 4, {0, 5, 1, 0}, {1, 0, 0, -0.0}),
                  mxClassDouble,
                  {1, 5, 1, 0},
                  {}},
                 {true,
                  TypedRow(mxClassSingle, {2, -3}, {}, true),
                  Complex(1, 1, {0}, {-2.5}),
                  mxClassSingle,
                  {0, -3},
                  {-2.5, 0}},
                 {true, Complex(1, 2, {1, 2}, {1, 0}), Row({5, 1}), mxClassDouble, {5, 2}, {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        const Snapshots before({c.a.get(), c.b.get()});
        const ArrayPtr r(c.max ? Max(c.a.get(), c.b.get()) : Min(c.a.get(), c.b.get()));
        EXPECT_EQ(r->GetClassID(), c.id);
        EXPECT_EQ(BitsOf(AnyValues(r.get())), BitsOf(c.re));
        EXPECT_EQ(BitsOf(AnyValues(r.get(), true)), BitsOf(c.im));
        EXPECT_TRUE(before.Unchanged());
    }
}

// --- Searches -----------------------------------------------------------------

// Each case through Find(A) and Find(R, C, V, A), which calls Find(R, C, A):
// all outputs share the shape, a row only when A's first length is 1, and
// the pages of an N-d array fold into the columns.
TEST(Find, PositionsOfNonzerosAsARowOrAColumn) {
    EXPECT_EQ(Nnz(Matrix(1, 4, {0, kNaN, -0.0, 3}).get()), 2u);
    EXPECT_EQ(Nnz(Array({0, 0}).get()), 0u);
    EXPECT_EQ(Nnz(U32({0, 4, 1}).get()), 2u);
    EXPECT_EQ(Nnz(TypedRow(mxClassSingle, {kNaN, -0.0, 0}, {0, 0, -1}).get()), 2u);
    const struct {
        ArrayPtr a;
        DimList dims;
        Doubles positions, rows, columns, values, imag = {};
    } cases[] = {
        // A complex element is non-zero when either part is.
        {Complex(2, 2, {0, 1, 2, 0}, {0, 8, 0, 6}),
         {3, 1},
         {2, 3, 4},
         {2, 1, 2},
         {1, 2, 2},
         {1, 2, 0},
         {8, 0, 6}},
        {TypedRow(mxClassSingle, {0, -0.0, 2.5}, {0, 0, 0}), {1, 1}, {3}, {1}, {3}, {2.5}, {0}},
        {TypedRow(mxClassInt8, {0, -128, 0, 5}), {1, 2}, {2, 4}, {1, 1}, {2, 4}, {-128, 5}},
        {Chars({2, 1}, std::string("a\0", 2)), {1, 1}, {1}, {1}, {1}, {97}},
        {Matrix(1, 4, {0, 5, 0, 7}), {1, 2}, {2, 4}, {1, 1}, {2, 4}, {5, 7}},
        {Matrix(3, 1, {0, 5, kNaN}), {2, 1}, {2, 3}, {2, 3}, {1, 1}, {5, kNaN}},
        {Filled({1, 2, 2}, {0, 5, 0, 6}), {1, 2}, {2, 4}, {1, 1}, {2, 4}, {5, 6}},
        {Filled({2, 2, 2}, {0, 0, 0, 0, 0, 0, 0, 1}), {1, 1}, {8}, {2}, {4}, {1}},
        {Matrix(2, 2, {0, 0, -0.0, 0}), {0, 0}, {}, {}, {}, {}},
        {Array({0, 3}), {0, 0}, {}, {}, {}, {}},
        {U32({0, 0}), {0, 0}, {}, {}, {}, {}},
        {U32({0, 7}), {1, 1}, {2}, {1}, {2}, {7}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
        Find(R, C, V, c.a.get());
        const ArrayPtr f(Find(c.a.get())), r(R), col(C), v(V);
        for (const CMatrix *x : {f.get(), r.get(), col.get(), v.get()})
            EXPECT_TRUE(Dims(x) == c.dims && (x == v.get() || x->IsDouble()));
        EXPECT_TRUE(Values(f.get()) == c.positions && Values(r.get()) == c.rows &&
                    Values(col.get()) == c.columns);
        EXPECT_TRUE(BitsOf(AnyValues(v.get())) == BitsOf(c.values) &&
                    v->GetClassID() == c.a->GetClassID());
        EXPECT_EQ(AnyValues(v.get(), true), c.imag);  // a complex A gives V its imaginary parts
    }
}

// A failed allocation leaves every output null and nothing allocated.
TEST(Isequal, ShapeAndValuesWhateverTheClass) {
    const ArrayPtr a = Matrix(1, 2, {1, 2}), b = Matrix(1, 2, {1, 2}), c = Matrix(1, 2, {1, 3});
    constexpr std::uint64_t kTop = ~std::uint64_t{0};
    // Pairs and whether they are equal: values compare exactly across
    // classes, both parts of complex ones, a NaN never equals.
    const std::tuple<const char *, ArrayPtr, ArrayPtr, bool> cases[] = {
        {"same", Matrix(1, 2, {1, 2}), Matrix(1, 2, {1, 2}), true},
        {"shape", Matrix(1, 2, {1, 2}), Matrix(2, 1, {1, 2}), false},
        {"NaN", Matrix(1, 2, {1, kNaN}), Matrix(1, 2, {1, kNaN}), false},
        {"zeros", Matrix(1, 1, {0.0}), Matrix(1, 1, {-0.0}), true},
        {"char", Chars({1, 2}, "ab"), Matrix(1, 2, {97, 98}), true},
        {"int32", TypedRow(mxClassInt32, {1, 1}), Mask({1, 1}), true},
        {"single", TypedRow(mxClassSingle, {0.1}), Matrix(1, 1, {0.1}), false},
        {"single half", TypedRow(mxClassSingle, {0.5, -0.0}), TypedRow(mxClassInt8, {0, 0}), false},
        {"int8 single", TypedRow(mxClassSingle, {-3, 0}), TypedRow(mxClassInt8, {-3, 0}), true},
        {"uint64 top", Typed<std::uint64_t>(mxClassUint64, {1, 1}, {kTop}),
         Typed<std::uint64_t>(mxClassUint64, {1, 1}, {kTop - 1}), false},
        {"uint64 double", Typed<std::uint64_t>(mxClassUint64, {1, 1}, {kTop}),
         Matrix(1, 1, {18446744073709551616.0}), false},
        {"int64 double", Typed<std::int64_t>(mxClassInt64, {1, 1}, {(1ll << 53) + 1}),
         Matrix(1, 1, {9007199254740992.0}), false},
        {"int64 uint64", Typed<std::int64_t>(mxClassInt64, {1, 1}, {-1}),
         Typed<std::uint64_t>(mxClassUint64, {1, 1}, {kTop}), false},
        {"complex", Complex(1, 1, {1}, {2}), Complex(1, 1, {1}, {3}), false},
        {"complex real", Complex(1, 1, {1}, {0}), TypedRow(mxClassSingle, {1}), true},
        {"complex single", TypedRow(mxClassSingle, {1}, {-2}), Complex(1, 1, {1}, {-2}), true},
        {"cells", Cells(1, 2), Cells(1, 2), true},
        {"cells differ", Cells(1, 2), Cells(1, 2, 5), false},
        {"cell and array", Cells(1, 1), Matrix(1, 1, {1}), false}};
    for (const auto &[name, x, y, equal] : cases) {
        const Snapshots before({x.get(), y.get()});
        EXPECT_EQ(Isequal(x.get(), y.get()), equal) << name;
        EXPECT_EQ(Isequal(y.get(), x.get()), equal) << name;
        EXPECT_TRUE(before.Unchanged()) << name;
    }
    const CMatrix *equal[] = {a.get(), b.get(), a.get()}, *last[] = {a.get(), b.get(), c.get()};
    EXPECT_TRUE(Isequal(3, equal) && !Isequal(3, last));
}

TEST(Tobool, EveryElementNonzeroInItsOwnClass) {
    // Eight nonzero int8 elements would read as one nonzero double: each
    // element must be tested in its own class.
    const std::pair<ArrayPtr, bool> cases[] = {
        {Array({0, 0}), false},
        {Matrix(1, 2, {kNaN, -1}), true},
        {Typed<std::int8_t>(mxClassInt8, {1, 8}, {1, 1, 1, 0, 1, 1, 1, 1}), false},
        {Typed<float>(mxClassSingle, {1, 2}, {1.0f, -0.0f}), false}};
    for (const auto &c : cases) EXPECT_EQ(Tobool(c.first.get()), c.second) << "case " << &c - cases;
}

}  // namespace
