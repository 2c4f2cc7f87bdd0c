// tests/linalg/qr_test.cpp: tests of Qr in both forms.
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

using DimList = std::vector<unsigned int>;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNDArray[] = L"Operation on ND array is not defined";
const double kEps = std::ldexp(1.0, -52);

// The outputs of one call, owned by the test.
struct QrResult {
    ArrayPtr q, r, e;
};

QrResult Pivoted(const CMatrix *a) {
    CMatrix *q, *r, *e;
    Qr(q, r, e, a, false);
    return {ArrayPtr(q), ArrayPtr(r), ArrayPtr(e)};
}

QrResult Plain(const CMatrix *a) {
    CMatrix *q, *r;
    Qr(q, r, a, false);
    return {ArrayPtr(q), ArrayPtr(r), nullptr};
}

TEST(Qr, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kShapes) {
        if (s.m == 0 || s.n == 0) continue;
        const Dense a = Random(s.m, s.n, rng, Fill::kZeroLine);
        const ArrayPtr arg = ToArray(a);
        const ref::QrParts pivoted = ref::Qr(a, true), plain = ref::Qr(a, false);
        const QrResult three = Pivoted(arg.get()), two = Plain(arg.get());
        ExpectSameBits(three.q.get(), pivoted.q, ToString(s) + " pivoted Q");
        ExpectSameBits(three.r.get(), pivoted.r, ToString(s) + " pivoted R");
        ExpectSameBits(three.e.get(), pivoted.e, ToString(s) + " E");
        ExpectSameBits(two.q.get(), plain.q, ToString(s) + " Q");
        ExpectSameBits(two.r.get(), plain.r, ToString(s) + " R");
    }
}

TEST(Qr, FactorisesThreeFour) {
    const ArrayPtr a = Matrix(2, 1, {3, 4});
    const QrResult f = Plain(a.get());
    const std::vector<double> q = matrix_test::Values(f.q.get());
    const std::vector<double> want = {-0.6, -0.8, -0.8, 0.6};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(q[i], want[i], 2 * kEps) << i;
    EXPECT_EQ(matrix_test::Values(f.r.get()), (std::vector<double>{-5, 0}));
    // The diagonal of R carries -sign of the leading element.
    const ArrayPtr b = Matrix(2, 1, {-3, 4});
    EXPECT_EQ(matrix_test::Values(Plain(b.get()).r.get()), (std::vector<double>{5, 0}));
}

// The pivoting examples: the longer column first; the earlier of equal
// columns; entries within the cut-off count as zero; for a wide A the last
// row is pivoted once more on single elements.
TEST(Qr, PivotsColumns) {
    struct Case {
        const char *what;
        unsigned int m, n;
        std::vector<double> a, e;
    };
    const std::vector<Case> cases = {
        {"longer second column", 2, 2, {1, 0, 5, 0}, {0, 1, 1, 0}},
        {"equal norms", 2, 2, {3, 4, 4, 3}, {1, 0, 0, 1}},
        {"entries within the cut-off", 3, 2, {1e-12, 1e-12, 1e-12, 1.5e-12, 0, 0}, {0, 1, 1, 0}},
        {"last row", 2, 3, {0, 1, 0, 2, 1, 0}, {0, 1, 0, 0, 0, 1, 1, 0, 0}},
    };
    for (const Case &t : cases) {
        ArrayPtr a = Array({t.m, t.n});
        std::copy(t.a.begin(), t.a.end(), mxGetPr(a.get()));
        const QrResult f = Pivoted(a.get());
        EXPECT_EQ(matrix_test::Values(f.e.get()), t.e) << t.what;
    }
    // [1 5; 0 0]: the first column of Q*R is A's second column.
    const ArrayPtr a = Matrix(2, 2, {1, 0, 5, 0});
    const QrResult f = Pivoted(a.get());
    const Dense qr = Gemm('N', 'N', 1.0, FromArray(f.q.get()), FromArray(f.r.get()), 0.0,
                          Dense(2, 2));
    EXPECT_NEAR(qr(0, 0), 5.0, 4 * kEps);
    EXPECT_NEAR(qr(1, 0), 0.0, 4 * kEps);
}

// Q is orthogonal, R upper trapezoidal and A*E = Q*R, measured with
// reference BLAS and LAPACK as scaled residuals.
TEST(Qr, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = {{1, 1}, {2, 2}, {3, 3}, {7, 5}, {5, 7}, {33, 33},
                                 {100, 100}, {50, 10}, {10, 50}, {1, 5}, {5, 1}};
    for (const Shape &s : shapes) {
        for (Fill fill : {Fill::kUniform, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            for (bool pivot : {true, false}) {
                const QrResult f = pivot ? Pivoted(arg.get()) : Plain(arg.get());
                const Dense q = FromArray(f.q.get()), r = FromArray(f.r.get());
                const Dense e = pivot ? FromArray(f.e.get()) : Identity(s.n);
                const double m = s.m, mn = std::max(s.m, s.n);
                const Dense qtq = Gemm('T', 'N', 1.0, q, q, -1.0, Identity(s.m));
                EXPECT_LT(Norm1(qtq) / (m * kEps), 30.0) << ToString(s) << " Q'Q - I";
                const Dense ae = Gemm('N', 'N', 1.0, a, e, 0.0, Dense(s.m, s.n));
                const Dense residual = Gemm('N', 'N', -1.0, q, r, 1.0, ae);
                // Written as a product: a zero A (a zero line in a 1 x n or
                // m x 1 matrix) must give a zero residual.
                EXPECT_LE(Norm1(residual), 30.0 * mn * Norm1(a) * kEps)
                    << ToString(s) << " A*E - Q*R" << (pivot ? " pivoted" : "");
                for (std::size_t j = 0; j < s.n; ++j) {
                    for (std::size_t i = j + 1; i < s.m; ++i) {
                        EXPECT_EQ(matrix_test::Bits(r(i, j)), 0u) << ToString(s);
                    }
                }
            }
        }
    }
}

TEST(Qr, EmptyOperands) {
    ArrayPtr a = Array({0, 3});
    const QrResult f = Pivoted(a.get());
    EXPECT_EQ(Dims(f.q.get()), (DimList{0, 0}));
    EXPECT_EQ(Dims(f.r.get()), (DimList{0, 3}));
    EXPECT_EQ(f.r->GetPr(), a->GetPr());  // shares A's data
    EXPECT_EQ(matrix_test::Values(f.e.get()), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));

    ArrayPtr b = Array({3, 0});
    b->SetLogical();
    const QrResult g = Plain(b.get());
    EXPECT_EQ(matrix_test::Values(g.q.get()), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(Dims(g.r.get()), (DimList{3, 0}));
    EXPECT_FALSE(mxIsLogical(g.r.get()));
    EXPECT_TRUE(mxIsLogical(b.get()));
}

TEST(Qr, RIsNotLogical) {
    ArrayPtr a = Matrix(2, 2, {1, 0, 1, 1});
    a->SetLogical();
    const QrResult f = Pivoted(a.get());
    EXPECT_FALSE(mxIsLogical(f.r.get()));
    EXPECT_FALSE(mxIsLogical(f.q.get()));
    EXPECT_TRUE(mxIsLogical(a.get()));
}

// Economy size is refused before anything else, then N-d arrays, then
// other classes and complex operands; the outputs are null afterwards.
TEST(Qr, RefusesInOrder) {
    const ArrayPtr ok = Matrix(2, 2, {1, 2, 3, 4});
    const ArrayPtr empty = Array({0, 0});
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr single = Array({2, 2}, mxClassSingle);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr emptyNd = Array({0, 2, 2});
    CMatrix *dummy = Scalar(1.0);
    CMatrix *q = dummy, *r = dummy, *e = dummy;
    for (const CMatrix *a : {ok.get(), empty.get(), nd.get()}) {
        EXPECT_REJECTS(Qr(q, r, e, a, true), CNotImplementedException, kNotImplemented, a);
        EXPECT_TRUE(q == nullptr && r == nullptr && e == nullptr);
        q = r = dummy;
        EXPECT_REJECTS(Qr(q, r, a, true), CNotImplementedException, kNotImplemented, a);
        EXPECT_TRUE(q == nullptr && r == nullptr);
    }
    for (const CMatrix *a : {nd.get(), emptyNd.get()}) {
        EXPECT_REJECTS(Qr(q, r, e, a, false), COperationOnNDArrayNotDefinedException, kNDArray, a);
        EXPECT_REJECTS(Qr(q, r, a, false), COperationOnNDArrayNotDefinedException, kNDArray, a);
    }
    for (const CMatrix *a : {single.get(), cplx.get()}) {
        q = r = e = dummy;
        EXPECT_REJECTS(Qr(q, r, e, a, false), CNotImplementedException, kNotImplemented, a);
        EXPECT_TRUE(q == nullptr && r == nullptr && e == nullptr);
        EXPECT_REJECTS(Qr(q, r, a, false), CNotImplementedException, kNotImplemented, a);
    }
    mxDestroyArray(dummy);
}

TEST(Qr, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{6, 4}, {4, 6}, {0, 3}}) {
        const ArrayPtr a = ToArray(Random(s.m, s.n, rng));
        const ArraySnapshot before = ArraySnapshot::Of(a.get());
        CMatrix *q, *r, *e;
        const int points = ForEachAllocationFailure(
            [&] {
                Qr(q, r, e, a.get(), false);
                mxDestroyArray(q);
                mxDestroyArray(r);
                mxDestroyArray(e);
            },
            [&] {
                EXPECT_TRUE(q == nullptr && r == nullptr && e == nullptr);
                EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
            });
        EXPECT_GT(points, 2) << ToString(s);
    }
}

}  // namespace
