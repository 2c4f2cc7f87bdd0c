// tests/linalg/mldivide_test.cpp: tests of Mldivide and Mrdivide.
#include <matrix/matrix.h>

#include <cmath>
#include <random>

#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNDArray[] = L"Operation on ND array is not defined";
const wchar_t kTransposeND[] = L"Transpose on ND array is not defined";
const wchar_t kDims[] = L"Matrix dimensions must agree";
const double kEps = std::ldexp(1.0, -52);

Dense Transposed(const Dense &a) {
    Dense t(a.n, a.m);
    for (std::size_t i = 0; i < a.m; ++i) {
        for (std::size_t j = 0; j < a.n; ++j) t(j, i) = a(i, j);
    }
    return t;
}

// Square, tall and wide systems (zero lines make some rank deficient), one
// to three right-hand sides, scalar and empty operands.
TEST(Mldivide, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = kShapes;
    shapes.push_back({40, 6});
    shapes.push_back({6, 40});
    for (const Shape &s : shapes) {
        for (std::size_t k : {1, 3}) {
            for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
                const Dense a = Random(s.m, s.n, rng, fill), b = Random(s.m, k, rng, fill);
                const std::string what = ToString(s) + " k=" + std::to_string(k);
                ArrayPtr x(Mldivide(ToArray(a).get(), ToArray(b).get()));
                ExpectSameBits(x.get(), ref::Mldivide(a, b), what);
                // X*B = A through the transposes: X = (B'\A')'.
                const Dense at = Transposed(a), bt = Transposed(b);
                ArrayPtr y(Mrdivide(ToArray(bt).get(), ToArray(at).get()));
                ExpectSameBits(y.get(), Transposed(ref::Mldivide(a, b)), what + " Mrdivide");
            }
        }
    }
}

TEST(Mldivide, WorkedExamples) {
    ArrayPtr x(Mldivide(Matrix(2, 1, {1, 1}).get(), Matrix(2, 1, {1, 3}).get()));
    EXPECT_EQ(Dims(x.get()), (DimList{1, 1}));
    EXPECT_NEAR(Values(x.get())[0], 2.0, 4 * kEps);

    // Rank 0: the zero matrix gives zeros.
    const ArrayPtr zero = Matrix(3, 2, {0, 0, 0, 0, 0, 0});
    x.reset(Mldivide(zero.get(), Matrix(3, 2, {1, 2, 3, 4, 5, 6}).get()));
    EXPECT_EQ(Dims(x.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(x.get()), (std::vector<double>{0, 0, 0, 0}));

    // A scalar divides element-wise, whatever B's shape.
    ArrayPtr nd = Array({2, 1, 2});
    std::copy_n(std::vector<double>{2, 4, 6, 8}.begin(), 4, mxGetPr(nd.get()));
    x.reset(Mldivide(Matrix(1, 1, {2}).get(), nd.get()));
    EXPECT_EQ(Dims(x.get()), (DimList{2, 1, 2}));
    EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 2, 3, 4}));

    // No equations: zeros of n x k.
    x.reset(Mldivide(Array({0, 4}).get(), Array({0, 2}).get()));
    EXPECT_EQ(Dims(x.get()), (DimList{4, 2}));
    EXPECT_EQ(Values(x.get()), std::vector<double>(8, 0.0));

    // A singular square matrix gives huge finite values (pivot 1e-14).
    x.reset(Mldivide(Matrix(2, 2, {1, 2, 2, 4}).get(), Matrix(2, 1, {1, 1}).get()));
    for (double v : Values(x.get())) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GT(std::fabs(v), 1e12);
    }
}

TEST(Mldivide, EmptyResults) {
    struct Case {
        DimList a, b, x;
    };
    for (const Case &t : std::vector<Case>{{{3, 3}, {3, 0}, {3, 0}},
                                           {{3, 0}, {3, 2}, {0, 2}},
                                           {{0, 0}, {0, 5}, {0, 5}},
                                           {{2, 5}, {2, 0}, {5, 0}}}) {
        ArrayPtr x(Mldivide(Array(t.a).get(), Array(t.b).get()));
        EXPECT_EQ(Dims(x.get()), t.x);
    }
}

TEST(Mldivide, RefusesInOrder) {
    const ArrayPtr scalar = Matrix(1, 1, {2});
    const ArrayPtr single = Array({3, 1}, mxClassSingle);
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr cplx = Array({3, 3}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr a33 = Matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    const ArrayPtr b21 = Array({2, 1}), b31 = Matrix(3, 1, {1, 2, 3});
    // A scalar A hands B to the element-wise division, which refuses it.
    EXPECT_REJECTS(Mldivide(scalar.get(), single.get()), CNotImplementedException, kNotImplemented,
                   scalar.get(), single.get());
    EXPECT_REJECTS(Mldivide(nd.get(), b21.get()), COperationOnNDArrayNotDefinedException, kNDArray,
                   nd.get(), b21.get());
    EXPECT_REJECTS(Mldivide(a33.get(), nd.get()), COperationOnNDArrayNotDefinedException, kNDArray,
                   a33.get(), nd.get());
    EXPECT_REJECTS(Mldivide(cplx.get(), b21.get()), CNotImplementedException, kNotImplemented,
                   cplx.get(), b21.get());
    EXPECT_REJECTS(Mldivide(a33.get(), single.get()), CNotImplementedException, kNotImplemented,
                   a33.get(), single.get());
    EXPECT_REJECTS(Mldivide(a33.get(), b21.get()), CMatrixDimsMustAgreeException, kDims, a33.get(),
                   b21.get());
    EXPECT_REJECTS(Mldivide(a33.get(), Array({0, 0}).get()), CMatrixDimsMustAgreeException, kDims,
                   a33.get());
    ArrayPtr ok(Mldivide(a33.get(), b31.get()));
    EXPECT_EQ(Values(ok.get()), (std::vector<double>{1, 2, 3}));
}

// The square solve's relative residual on well-conditioned systems.
TEST(Mldivide, SquareResidualIsSmall) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {2, 3, 5, 10, 50, 100}) {
        for (std::size_t k : {1, 4}) {
            const Dense a = DiagonallyDominant(n, rng), b = Random(n, k, rng, Fill::kUniform);
            const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
            const Dense r = Gemm('N', 'N', 1.0, a, x, -1.0, b);
            EXPECT_LE(Norm1(r) / (Norm1(a) * Norm1(x)), 1e-13) << "n=" << n << " k=" << k;
        }
    }
}

// Full-rank tall least squares against LAPACK's dgels.
TEST(Mldivide, TallLeastSquaresAgreesWithDgels) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{2, 1}, {7, 5}, {40, 6}, {100, 30}}) {
        const Dense a = Random(s.m, s.n, rng, Fill::kUniform);
        const Dense b = Random(s.m, 2, rng, Fill::kUniform);
        const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
        Dense af = a, bf = b;
        const int m = static_cast<int>(s.m), n = static_cast<int>(s.n), nrhs = 2;
        int lwork = -1, info = 0;
        double query;
        dgels_("N", &m, &n, &nrhs, af.v.data(), &m, bf.v.data(), &m, &query, &lwork, &info, 1);
        lwork = static_cast<int>(query);
        std::vector<double> work(lwork);
        dgels_("N", &m, &n, &nrhs, af.v.data(), &m, bf.v.data(), &m, work.data(), &lwork, &info, 1);
        ASSERT_EQ(info, 0);
        Dense want(s.n, 2);
        for (std::size_t j = 0; j < 2; ++j) {
            for (std::size_t i = 0; i < s.n; ++i) want(i, j) = bf(i, j);
        }
        const Dense diff = Gemm('N', 'N', 1.0, Identity(s.n), x, -1.0, want);
        EXPECT_LE(Norm1(diff) / Norm1(want), 1e-12) << ToString(s);
    }
}

TEST(Mldivide, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{4, 4}, {6, 3}, {3, 6}}) {
        const ArrayPtr a = ToArray(Random(s.m, s.n, rng)), b = ToArray(Random(s.m, 2, rng));
        const ArraySnapshot beforeA = ArraySnapshot::Of(a.get());
        const ArraySnapshot beforeB = ArraySnapshot::Of(b.get());
        for (bool right : {false, true}) {
            const ArrayPtr at(Transpose(a.get())), bt(Transpose(b.get()));
            const int points = ForEachAllocationFailure(
                [&] {
                    ArrayPtr x(right ? Mrdivide(bt.get(), at.get()) : Mldivide(a.get(), b.get()));
                },
                [&] {
                    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == beforeA);
                    EXPECT_TRUE(ArraySnapshot::Of(b.get()) == beforeB);
                });
            EXPECT_GT(points, 2) << ToString(s);
        }
    }
}

TEST(Mrdivide, WorkedExamples) {
    // A scalar B divides element-wise.
    ArrayPtr x(Mrdivide(Matrix(2, 3, {2, 4, 6, 8, 10, 12}).get(), Matrix(1, 1, {2}).get()));
    EXPECT_EQ(Dims(x.get()), (DimList{2, 3}));
    EXPECT_EQ(Values(x.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));

    // A scalar A and a column B: X*B = A has the 1 x k basic solution.
    x.reset(Mrdivide(Matrix(1, 1, {6}).get(), Matrix(3, 1, {0, 3, 0}).get()));
    EXPECT_EQ(Dims(x.get()), (DimList{1, 3}));
    EXPECT_NEAR(Values(x.get())[1], 2.0, 4 * kEps);

    // Square: X*B = A.
    x.reset(Mrdivide(Matrix(1, 2, {3, 7}).get(), Matrix(2, 2, {1, 0, 1, 2}).get()));
    EXPECT_EQ(Dims(x.get()), (DimList{1, 2}));
    EXPECT_NEAR(Values(x.get())[0], 3.0, 4 * kEps);
    EXPECT_NEAR(Values(x.get())[1], 2.0, 4 * kEps);
}

// The classes first (before any transpose), then the transposes' N-d test,
// then Mldivide's dimension test.
TEST(Mrdivide, RefusesInOrder) {
    const ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4});
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr ndSingle = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr nd = Array({2, 2, 2});
    const ArrayPtr row = Matrix(1, 3, {1, 2, 3});
    const ArrayPtr s = Matrix(1, 1, {2});
    EXPECT_REJECTS(Mrdivide(a.get(), cplx.get()), CNotImplementedException, kNotImplemented,
                   a.get(), cplx.get());
    EXPECT_REJECTS(Mrdivide(cplx.get(), a.get()), CNotImplementedException, kNotImplemented,
                   cplx.get(), a.get());
    EXPECT_REJECTS(Mrdivide(ndSingle.get(), a.get()), CNotImplementedException, kNotImplemented,
                   ndSingle.get(), a.get());
    EXPECT_REJECTS(Mrdivide(nd.get(), s.get()), CTransposeOnNDArrayNotDefinedException,
                   kTransposeND, nd.get(), s.get());
    EXPECT_REJECTS(Mrdivide(a.get(), row.get()), CMatrixDimsMustAgreeException, kDims, a.get(),
                   row.get());
    // A scalar A and a row B: B'\A' has 3 equations but one right-hand side row.
    EXPECT_REJECTS(Mrdivide(s.get(), row.get()), CMatrixDimsMustAgreeException, kDims, s.get(),
                   row.get());
}

}  // namespace
