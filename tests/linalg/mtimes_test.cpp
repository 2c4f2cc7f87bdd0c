// tests/linalg/mtimes_test.cpp: tests of Mtimes.
#include <matrix/matrix.h>

#include <random>

#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::LiveBlocks;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNDArray[] = L"Operation on ND array is not defined";
const wchar_t kInnerDims[] = L"Inner matrix dimensions must agree";

TEST(Mtimes, SameBitsAsInOrderInnerProducts) {
    std::mt19937_64 rng(Seed());
    for (const Shape &sa : kShapes) {
        for (unsigned int n : {0u, 1u, 3u, 40u}) {
            const Dense a = Random(sa.m, sa.n, rng, Fill::kZeroLine);
            const Dense b = Random(sa.n, n, rng);
            if (a.v.size() == 1 || b.v.size() == 1) continue;  // the scalar rules
            ArrayPtr c(Mtimes(ToArray(a).get(), ToArray(b).get()));
            ExpectSameBits(c.get(), ref::Mtimes(a, b),
                           ToString(sa) + " times n=" + std::to_string(n));
            EXPECT_FALSE(mxIsLogical(c.get()));
        }
    }
}

TEST(Mtimes, MultipliesSmallMatrices) {
    const ArrayPtr a = Matrix(2, 3, {1, 4, 2, 5, 3, 6});  // [1 2 3; 4 5 6]
    const ArrayPtr b = Matrix(3, 2, {7, 9, 11, 8, 10, 12});
    ArrayPtr c(Mtimes(a.get(), b.get()));
    EXPECT_EQ(Dims(c.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(c.get()), (std::vector<double>{58, 139, 64, 154}));
}

// A one-element operand is an element-wise product with the other operand,
// whatever its shape.
TEST(Mtimes, ScalarOperandMultipliesElementWise) {
    ArrayPtr s = Array({1, 1, 1});
    mxGetPr(s.get())[0] = 2.0;
    ArrayPtr nd = Array({2, 3, 4});
    for (unsigned int i = 0; i < 24; ++i) mxGetPr(nd.get())[i] = i;
    for (bool left : {true, false}) {
        ArrayPtr c(left ? Mtimes(s.get(), nd.get()) : Mtimes(nd.get(), s.get()));
        EXPECT_EQ(Dims(c.get()), (DimList{2, 3, 4}));
        for (unsigned int i = 0; i < 24; ++i) EXPECT_EQ(mxGetPr(c.get())[i], 2.0 * i);
    }
    const ArrayPtr empty = Array({0, 3});
    ArrayPtr c(Mtimes(s.get(), empty.get()));
    EXPECT_EQ(Dims(c.get()), (DimList{0, 3}));
}

TEST(Mtimes, EmptyInnerDimensions) {
    struct Case {
        DimList a, b, result;
    };
    for (const Case &t : std::vector<Case>{{{2, 0}, {3, 4}, {0, 0}},
                                           {{2, 3}, {0, 4}, {0, 0}},
                                           {{3, 0}, {0, 4}, {3, 4}},
                                           {{0, 5}, {5, 2}, {0, 2}},
                                           {{3, 5}, {5, 0}, {3, 0}}}) {
        const ArrayPtr a = Array(t.a), b = Array(t.b);
        for (unsigned int i = 0; i < a->GetNoElems(); ++i) mxGetPr(a.get())[i] = 1.0;
        for (unsigned int i = 0; i < b->GetNoElems(); ++i) mxGetPr(b.get())[i] = 1.0;
        ArrayPtr c(Mtimes(a.get(), b.get()));
        EXPECT_EQ(Dims(c.get()), t.result);
        for (double x : Values(c.get())) EXPECT_EQ(matrix_test::Bits(x), 0u);
    }
}

TEST(Mtimes, AcceptsLogicalDoubles) {
    ArrayPtr a = Matrix(1, 2, {1, 0});
    a->SetLogical();
    const ArrayPtr b = Matrix(2, 1, {5, 7});
    ArrayPtr c(Mtimes(a.get(), b.get()));
    EXPECT_EQ(Values(c.get()), (std::vector<double>{5}));
    EXPECT_FALSE(mxIsLogical(c.get()));
}

TEST(Mtimes, RefusesOtherClassesFirst) {
    const ArrayPtr d = Matrix(2, 2, {1, 2, 3, 4});
    const ArrayPtr single = Array({2, 2}, mxClassSingle);
    const ArrayPtr complexScalar = Array({1, 1}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr nd = Array({2, 2, 2}, mxClassInt8);
    EXPECT_REJECTS(Mtimes(single.get(), d.get()), CNotImplementedException, kNotImplemented,
                   single.get(), d.get());
    EXPECT_REJECTS(Mtimes(d.get(), single.get()), CNotImplementedException, kNotImplemented,
                   d.get(), single.get());
    EXPECT_REJECTS(Mtimes(complexScalar.get(), d.get()), CNotImplementedException,
                   kNotImplemented, complexScalar.get(), d.get());
    EXPECT_REJECTS(Mtimes(nd.get(), d.get()), CNotImplementedException, kNotImplemented,
                   nd.get(), d.get());
}

TEST(Mtimes, RefusesNDArraysThenDisagreeingInnerDimensions) {
    const ArrayPtr nd = Array({2, 2, 2});
    const ArrayPtr m22 = Matrix(2, 2, {1, 2, 3, 4});
    const ArrayPtr m23 = Array({2, 3}), m45 = Array({4, 5}), m34 = Array({3, 4});
    EXPECT_REJECTS(Mtimes(nd.get(), m22.get()), COperationOnNDArrayNotDefinedException, kNDArray,
                   nd.get(), m22.get());
    // The N-d test comes before the inner dimensions.
    EXPECT_REJECTS(Mtimes(m34.get(), nd.get()), COperationOnNDArrayNotDefinedException, kNDArray,
                   m34.get(), nd.get());
    EXPECT_REJECTS(Mtimes(m23.get(), m45.get()), CInnerMatrixDimsMustAgreeException, kInnerDims,
                   m23.get(), m45.get());
}

TEST(Mtimes, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    const ArrayPtr a = ToArray(Random(40, 50, rng)), b = ToArray(Random(50, 30, rng));
    const auto before = matrix_test::ArraySnapshot::Of(a.get());
    const int points = ForEachAllocationFailure(
        [&] { ArrayPtr c(Mtimes(a.get(), b.get())); },
        [&] { EXPECT_TRUE(matrix_test::ArraySnapshot::Of(a.get()) == before); });
    EXPECT_GT(points, 1);
}

}  // namespace
