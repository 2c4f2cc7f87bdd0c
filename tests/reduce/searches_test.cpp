// tests/reduce/searches_test.cpp: Nnz, Find, Isequal and Tobool.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using Doubles = std::vector<double>;

template <typename T>
ArrayPtr Typed(mxClassID id, std::vector<T> values) {
    ArrayPtr a = Array({1, static_cast<unsigned int>(values.size())}, id);
    std::memcpy(a->GetPr(), values.data(), values.size() * sizeof(T));
    return a;
}

TEST(Find, PositionsOfNonzerosAsARowOrAColumn) {
    EXPECT_EQ(Nnz(Matrix(1, 4, {0, NAN, -0.0, 3}).get()), 2u);
    EXPECT_EQ(Nnz(Array({0, 0}).get()), 0u);
    EXPECT_EQ(Nnz(Typed<std::uint32_t>(mxClassUint32, {0, 4, 1}).get()), 2u);
    const struct {
        ArrayPtr a;
        DimList dims;
        Doubles positions;
    } cases[] = {{Matrix(1, 4, {0, 5, 0, 7}), {1, 2}, {2, 4}},
                 {Matrix(3, 1, {0, 5, 7}), {2, 1}, {2, 3}},
                 {Matrix(2, 2, {0, 1, 1, 0}), {2, 1}, {2, 3}},
                 {Matrix(2, 2, {0, 0, 0, 0}), {0, 0}, {}},
                 {Array({0, 3}), {0, 0}, {}},
                 {Typed<std::uint32_t>(mxClassUint32, {0, 0}), {0, 0}, {}}};
    for (const auto &c : cases) {
        ArrayPtr f(Find(c.a.get()));
        EXPECT_EQ(Dims(f.get()), c.dims);
        EXPECT_EQ(Values(f.get()), c.positions);
        EXPECT_TRUE(f->IsDouble());
    }

    CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
    const double re[] = {0, 1, 2, 0}, im[] = {9, 8, 7, 6};
    ArrayPtr a(mxDoubleMatrix(2, 2, re, im));
    Find(R, C, V, a.get());
    ArrayPtr r(R), c(C), v(V);
    EXPECT_EQ(Values(r.get()), (Doubles{2, 1}));
    EXPECT_EQ(Values(c.get()), (Doubles{1, 2}));
    EXPECT_EQ(Values(v.get()), (Doubles{1, 2}));
    EXPECT_EQ(ImagValues(v.get()), (Doubles{8, 7}));
    // The pages of an N-d array fold into the columns.
    ArrayPtr nd = Filled({2, 2, 2}, {0, 0, 0, 0, 0, 0, 0, 1});
    Find(R, C, nd.get());
    ArrayPtr r2(R), c2(C);
    EXPECT_EQ(Values(r2.get()), (Doubles{2}));
    EXPECT_EQ(Values(c2.get()), (Doubles{4}));
}

TEST(Find, RefusalsAndFailedAllocationsLeaveTheOutputsNull) {
    const ArrayPtr u = Typed<std::uint32_t>(mxClassUint32, {0, 3});
    const ArrayPtr i32 = Array({1, 1}, mxClassInt32);
    CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
    EXPECT_NOT_IMPLEMENTED(Nnz(i32.get()), i32.get());
    EXPECT_NOT_IMPLEMENTED(Find(u.get()), u.get());
    EXPECT_NOT_IMPLEMENTED(Find(R, C, u.get()), u.get());
    EXPECT_TRUE(!R && !C);
    EXPECT_NOT_IMPLEMENTED(Find(R, C, V, u.get()), u.get());
    EXPECT_TRUE(!R && !C && !V);

    const ArrayPtr a = Matrix(2, 2, {1, 0, 3, 4});
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

    for (unsigned int n : {1u, 0u}) {
        EXPECT_CLEAN_THROW(Isequal(n, equal), CFunctionErrorException,
                           L"Not enough input arguments", a.get());
    }
    const ArrayPtr i = Array({1, 2}, mxClassInt32);
    EXPECT_NOT_IMPLEMENTED(Isequal(i.get(), i.get()), i.get());
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
    for (mxClassID id : {mxClassCell, mxClassStruct}) {
        ArrayPtr a = Array({1, 2}, id);
        EXPECT_NOT_IMPLEMENTED(Tobool(a.get()), a.get());
    }
}

}  // namespace
