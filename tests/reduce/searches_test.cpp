// tests/reduce/searches_test.cpp: Nnz, Find, Isequal and Tobool (their refusals
// are in the table of reductions_test.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using Doubles = std::vector<double>;

template <typename T>
ArrayPtr Typed(mxClassID id, std::vector<T> values) {
    ArrayPtr a = Array({1, static_cast<unsigned int>(values.size())}, id);
    std::memcpy(a->GetPr(), values.data(), values.size() * sizeof(T));
    return a;
}

// Each case through Find(A) and Find(R, C, V, A), which calls Find(R, C, A):
// all outputs share the shape, a row only when A's first length is 1, and
// the pages of an N-d array fold into the columns.
TEST(Find, PositionsOfNonzerosAsARowOrAColumn) {
    EXPECT_EQ(Nnz(Matrix(1, 4, {0, NAN, -0.0, 3}).get()), 2u);
    EXPECT_EQ(Nnz(Array({0, 0}).get()), 0u);
    EXPECT_EQ(Nnz(Typed<std::uint32_t>(mxClassUint32, {0, 4, 1}).get()), 2u);
    const struct {
        ArrayPtr a;
        DimList dims;
        Doubles positions, rows, columns, values;
    } cases[] = {{Matrix(1, 4, {0, 5, 0, 7}), {1, 2}, {2, 4}, {1, 1}, {2, 4}, {5, 7}},
                 {Matrix(3, 1, {0, 5, NAN}), {2, 1}, {2, 3}, {2, 3}, {1, 1}, {5, NAN}},
                 {Matrix(2, 2, {0, 1, -2, -0.0}), {2, 1}, {2, 3}, {2, 1}, {1, 2}, {1, -2}},
                 {Filled({1, 2, 2}, {0, 5, 0, 6}), {1, 2}, {2, 4}, {1, 1}, {2, 4}, {5, 6}},
                 {Filled({2, 2, 2}, {0, 0, 0, 0, 0, 0, 0, 1}), {1, 1}, {8}, {2}, {4}, {1}},
                 {Matrix(2, 2, {0, 0, -0.0, 0}), {0, 0}, {}, {}, {}, {}},
                 {Array({0, 3}), {0, 0}, {}, {}, {}, {}},
                 {Typed<std::uint32_t>(mxClassUint32, {0, 0}), {0, 0}, {}, {}, {}, {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
        Find(R, C, V, c.a.get());
        const ArrayPtr f(Find(c.a.get())), r(R), col(C), v(V);
        for (const CMatrix *x : {f.get(), r.get(), col.get()}) EXPECT_TRUE(x->IsDouble());
        for (const CMatrix *x : {f.get(), r.get(), col.get(), v.get()}) EXPECT_EQ(Dims(x), c.dims);
        EXPECT_EQ(Values(f.get()), c.positions);
        EXPECT_EQ(Values(r.get()), c.rows);
        EXPECT_EQ(Values(col.get()), c.columns);
        EXPECT_EQ(BitsOf(v.get()), BitsOf(c.values));
        EXPECT_EQ(v->GetClassID(), c.a->GetClassID());
    }
    // A complex A gives V its imaginary parts.
    CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
    const double re[] = {0, 1, 2, 0}, im[] = {9, 8, 7, 6};
    const ArrayPtr a(mxDoubleMatrix(2, 2, re, im));
    Find(R, C, V, a.get());
    const ArrayPtr r(R), c(C), v(V);
    EXPECT_EQ(ImagValues(v.get()), (Doubles{8, 7}));
}

// A failed allocation leaves every output null and nothing allocated.
TEST(Find, FailedAllocationsLeaveTheOutputsNull) {
    const ArrayPtr a = Matrix(2, 2, {1, 0, 3, 4});
    CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
    const auto allNull = [&] { EXPECT_TRUE(!R && !C && !V); };
    EXPECT_GT(ForEachAllocationFailure([&] { Find(R, C, V, a.get()); }, allNull), 2);
    ArrayPtr r(R), c(C), v(V);
    EXPECT_EQ(Values(v.get()), (Doubles{1, 3, 4}));
}

TEST(Isequal, ShapeClassAndRealValues) {
    EXPECT_TRUE(Isequal(Matrix(1, 2, {1, 2}).get(), Matrix(1, 2, {1, 2}).get()));
    EXPECT_FALSE(Isequal(Matrix(1, 2, {1, 2}).get(), Matrix(2, 1, {1, 2}).get()));
    EXPECT_FALSE(Isequal(Matrix(1, 2, {1, 2}).get(), Matrix(1, 2, {1, 3}).get()));
    const ArrayPtr withNaN = Matrix(1, 2, {1, NAN});
    EXPECT_FALSE(Isequal(withNaN.get(), withNaN.get()));
    EXPECT_TRUE(Isequal(Matrix(1, 1, {0.0}).get(), Matrix(1, 1, {-0.0}).get()));
    // A different class is false without looking at the values.
    EXPECT_FALSE(Isequal(Matrix(1, 1, {1}).get(), Array({1, 1}, mxClassInt32).get()));
    const double one = 1, two = 2, three = 3;
    EXPECT_TRUE(Isequal(ArrayPtr(mxDoubleMatrix(1, 1, &one, &two)).get(),
                        ArrayPtr(mxDoubleMatrix(1, 1, &one, &three)).get()));
    const ArrayPtr a = Matrix(1, 1, {5}), b = Matrix(1, 1, {5}), c = Matrix(1, 1, {6});
    const CMatrix *equal[] = {a.get(), b.get(), a.get()};
    const CMatrix *lastDiffers[] = {a.get(), b.get(), c.get()};
    EXPECT_TRUE(Isequal(3, equal));
    EXPECT_FALSE(Isequal(3, lastDiffers));
}

TEST(Tobool, EveryElementNonzeroInItsOwnClass) {
    // Eight nonzero int8 elements would read as one nonzero double: each
    // element must be tested in its own class.
    const std::pair<ArrayPtr, bool> cases[] = {
        {Array({0, 0}), false},
        {Matrix(1, 1, {0}), false},
        {Matrix(1, 1, {NAN}), true},
        {Matrix(1, 3, {1, 2, 3}), true},
        {Matrix(1, 3, {1, 0, 3}), false},
        {Matrix(1, 2, {NAN, -1}), true},
        {Typed<std::int8_t>(mxClassInt8, {5}), true},
        {Typed<std::int8_t>(mxClassInt8, {1, 1, 1, 0, 1, 1, 1, 1}), false},
        {Typed<std::uint16_t>(mxClassUint16, {1, 2, 3}), true},
        {Typed<float>(mxClassSingle, {1.0f, -0.0f}), false},
        {Typed<char>(mxClassChar, {'a', '\0', 'b'}), false},
    };
    for (const auto &c : cases) EXPECT_EQ(Tobool(c.first.get()), c.second) << "case " << &c - cases;
}

}  // namespace
