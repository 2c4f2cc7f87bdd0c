// tests/reduce/searches_test.cpp: Nnz, Find, Isequal and Tobool.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;
using matrix_test::Dims;
using matrix_test::Matrix;
using matrix_test::Values;
using Shape = std::vector<unsigned int>;
using Doubles = std::vector<double>;

template <typename T>
ArrayPtr Filled(Shape dims, mxClassID id, std::vector<T> values) {
    ArrayPtr a = matrix_test::Array(dims, id);
    std::memcpy(a->GetPr(), values.data(), values.size() * sizeof(T));
    return a;
}

TEST(Nnz, CountsNonzeroRealParts) {
    EXPECT_EQ(Nnz(Matrix(1, 4, {0, NAN, -0.0, 3}).get()), 2u);
    EXPECT_EQ(Nnz(matrix_test::Array({0, 0}).get()), 0u);
    EXPECT_EQ(Nnz(Filled<std::uint32_t>({1, 3}, mxClassUint32, {0, 4, 1}).get()), 2u);
    EXPECT_THROW_MSG(Nnz(matrix_test::Array({1, 1}, mxClassInt32).get()), CNotImplementedException,
                     L"Operation not implemented! :-(");
}

TEST(Find, PositionsAsRowOrColumn) {
    ArrayPtr row(Find(Matrix(1, 4, {0, 5, 0, 7}).get()));
    EXPECT_EQ(Dims(row.get()), (Shape{1, 2}));
    EXPECT_EQ(Values(row.get()), (Doubles{2, 4}));
    ArrayPtr column(Find(Matrix(3, 1, {0, 5, 7}).get()));
    EXPECT_EQ(Dims(column.get()), (Shape{2, 1}));
    EXPECT_EQ(Values(column.get()), (Doubles{2, 3}));
    ArrayPtr matrix(Find(Matrix(2, 2, {0, 1, 1, 0}).get()));
    EXPECT_EQ(Dims(matrix.get()), (Shape{2, 1}));
    EXPECT_EQ(Values(matrix.get()), (Doubles{2, 3}));
}

TEST(Find, NothingFoundGivesEmpty) {
    const ArrayPtr inputs[] = {Matrix(2, 2, {0, 0, 0, 0}), matrix_test::Array({0, 3}),
                               Filled<std::uint32_t>({1, 2}, mxClassUint32, {0, 0})};
    for (const ArrayPtr &a : inputs) {
        ArrayPtr f(Find(a.get()));
        EXPECT_EQ(Dims(f.get()), (Shape{0, 0}));
        EXPECT_TRUE(f->IsDouble());
    }
}

TEST(Find, RowsColumnsAndValues) {
    CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
    const double re[] = {0, 1, 2, 0}, im[] = {9, 8, 7, 6};
    ArrayPtr a(mxDoubleMatrix(2, 2, re, im));
    Find(R, C, V, a.get());
    ArrayPtr r(R), c(C), v(V);
    EXPECT_EQ(Values(r.get()), (Doubles{2, 1}));
    EXPECT_EQ(Values(c.get()), (Doubles{1, 2}));
    EXPECT_EQ(Values(v.get()), (Doubles{1, 2}));
    EXPECT_EQ(matrix_test::ImagValues(v.get()), (Doubles{8, 7}));

    // A 2x2x2 array folds its pages into the columns.
    ArrayPtr nd = matrix_test::Array({2, 2, 2});
    std::fill_n(mxGetPr(nd.get()), 8, 0.0);
    mxGetPr(nd.get())[7] = 1;
    Find(R, C, nd.get());
    ArrayPtr r2(R), c2(C);
    EXPECT_EQ(Values(r2.get()), (Doubles{2}));
    EXPECT_EQ(Values(c2.get()), (Doubles{4}));
}

TEST(Find, RefusalsLeakNothing) {
    const ArrayPtr u = Filled<std::uint32_t>({1, 2}, mxClassUint32, {0, 3});
    const matrix_test::LiveBlocks blocks;
    CMatrix *R = nullptr, *C = nullptr, *V = nullptr;
    EXPECT_THROW_MSG(Find(u.get()), CNotImplementedException, L"Operation not implemented! :-(");
    EXPECT_THROW_MSG(Find(R, C, u.get()), CNotImplementedException,
                     L"Operation not implemented! :-(");
    EXPECT_EQ(R, nullptr);
    EXPECT_EQ(C, nullptr);
    EXPECT_THROW_MSG(Find(R, C, V, u.get()), CNotImplementedException,
                     L"Operation not implemented! :-(");
    EXPECT_EQ(V, nullptr);
    EXPECT_EQ(blocks.Delta(), 0);

    const ArrayPtr a = Matrix(2, 2, {1, 0, 3, 4});
    matrix_test::ForEachAllocationFailure([&] { Find(R, C, V, a.get()); },
                                          [&] { EXPECT_TRUE(!R && !C && !V); });
    ArrayPtr r(R), c(C), v(V);
    EXPECT_EQ(Values(v.get()), (Doubles{1, 3, 4}));
}

TEST(Isequal, ShapeClassAndValues) {
    EXPECT_TRUE(Isequal(Matrix(1, 2, {1, 2}).get(), Matrix(1, 2, {1, 2}).get()));
    EXPECT_FALSE(Isequal(Matrix(1, 2, {1, 2}).get(), Matrix(2, 1, {1, 2}).get()));
    EXPECT_FALSE(Isequal(Matrix(1, 2, {1, 2}).get(), Matrix(1, 2, {1, 3}).get()));
    const ArrayPtr withNaN = Matrix(1, 2, {1, NAN});
    EXPECT_FALSE(Isequal(withNaN.get(), withNaN.get()));
    EXPECT_TRUE(Isequal(Matrix(1, 1, {0.0}).get(), Matrix(1, 1, {-0.0}).get()));
    // Class differs: false without looking at values, whatever the class.
    EXPECT_FALSE(Isequal(Matrix(1, 1, {1}).get(), matrix_test::Array({1, 1}, mxClassInt32).get()));
    // Real parts only.
    const double one = 1, two = 2, three = 3;
    EXPECT_TRUE(Isequal(ArrayPtr(mxDoubleMatrix(1, 1, &one, &two)).get(),
                        ArrayPtr(mxDoubleMatrix(1, 1, &one, &three)).get()));
    const ArrayPtr a = Matrix(1, 1, {5}), b = Matrix(1, 1, {5}), c = Matrix(1, 1, {6});
    const CMatrix *three_equal[] = {a.get(), b.get(), a.get()};
    const CMatrix *last_differs[] = {a.get(), b.get(), c.get()};
    EXPECT_TRUE(Isequal(3, three_equal));
    EXPECT_FALSE(Isequal(3, last_differs));
}

TEST(Isequal, Errors) {
    const ArrayPtr a = Matrix(1, 1, {1});
    const CMatrix *one[] = {a.get()};
    EXPECT_THROW_MSG(Isequal(1, one), CFunctionErrorException, L"Not enough input arguments");
    EXPECT_THROW_MSG(Isequal(0u, one), CFunctionErrorException, L"Not enough input arguments");
    const ArrayPtr i = matrix_test::Array({1, 2}, mxClassInt32);
    EXPECT_THROW_MSG(Isequal(i.get(), i.get()), CNotImplementedException,
                     L"Operation not implemented! :-(");
}

TEST(Tobool, TruthOfConditions) {
    EXPECT_FALSE(Tobool(matrix_test::Array({0, 0}).get()));
    EXPECT_FALSE(Tobool(Matrix(1, 1, {0}).get()));
    EXPECT_TRUE(Tobool(Matrix(1, 1, {NAN}).get()));
    EXPECT_TRUE(Tobool(Matrix(1, 3, {1, 2, 3}).get()));
    EXPECT_FALSE(Tobool(Matrix(1, 3, {1, 0, 3}).get()));
    EXPECT_TRUE(Tobool(Matrix(1, 2, {NAN, -1}).get()));
    EXPECT_TRUE(Tobool(Filled<std::int8_t>({1, 1}, mxClassInt8, {5}).get()));
}

TEST(Tobool, TestsElementsInTheirOwnClass) {
    // Eight nonzero int8 elements would read as one nonzero double; the zero
    // in the middle must still make the condition false.
    EXPECT_FALSE(Tobool(Filled<std::int8_t>({1, 8}, mxClassInt8, {1, 1, 1, 0, 1, 1, 1, 1}).get()));
    EXPECT_TRUE(Tobool(Filled<std::uint16_t>({1, 3}, mxClassUint16, {1, 2, 3}).get()));
    EXPECT_FALSE(Tobool(Filled<float>({1, 2}, mxClassSingle, {1.0f, -0.0f}).get()));
    EXPECT_FALSE(Tobool(Filled<char>({1, 3}, mxClassChar, {'a', '\0', 'b'}).get()));
    for (mxClassID id : {mxClassCell, mxClassStruct}) {
        EXPECT_THROW_MSG(Tobool(matrix_test::Array({1, 2}, id).get()), CNotImplementedException,
                         L"Operation not implemented! :-(");
    }
}

}  // namespace
