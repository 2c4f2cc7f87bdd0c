// tests/linalg/qr_test.cpp: the pivot norm, Qr in both forms against reference BLAS, worked examples.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>

#include "kernels/qr_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

// Scaled against overflow, strided, entries within the cut-off left out.
TEST(ColumnNorm, ScaledSumWithCutoff) {
    const double x[] = {3.0e200, kNaN, -4.0e200, kNaN, 1e-12, kNaN, -1e-12, kNaN, -2.5};
    EXPECT_NEAR(kernels::ColumnNorm(5, x, 2), 5.0e200, 1.0e186);
    EXPECT_EQ(kernels::ColumnNorm(2, x + 4, 2), 0.0);
    EXPECT_EQ(kernels::ColumnNorm(3, x + 4, 2), 2.5);
}

// Q orthogonal, R upper trapezoidal and A*E = Q*R against reference BLAS,
// as scaled residuals; zero lines make some factorisations rank deficient.
TEST(Qr, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s :
         Shapes({1, 1, 2, 2, 3, 3, 7, 5, 5, 7, 33, 33, 100, 100, 50, 10, 10, 50, 1, 5, 5, 1})) {
        for (bool zeroLine : {false, true}) {
            Dense a = Random(s[0], s[1], rng);
            for (std::size_t k = 0; zeroLine && k < a.v.size(); ++k) {
                if (k % s[0] == s[0] / 2 || k / s[0] == s[1] / 2) a.v[k] = 0.0;
            }
            for (bool pivot : {true, false}) {
                CMatrix *q = nullptr, *r = nullptr, *e = nullptr;
                pivot ? Qr(q, r, e, ToArray(a).get(), false) : Qr(q, r, ToArray(a).get(), false);
                const ArrayPtr qp(q), rp(r), ep(e);
                const std::string what =
                    std::to_string(s[0]) + "x" + std::to_string(s[1]) + (pivot ? " pivoted" : "");
                const Dense qd = FromArray(q), rd = FromArray(r);
                const Dense ed = pivot ? FromArray(e) : Identity(s[1]);
                EXPECT_LT(Norm1(Gemm('T', 'N', 1.0, qd, qd, -1.0, Identity(s[0]))),
                          30.0 * s[0] * kEps)
                    << what;
                const Dense ae = Gemm('N', 'N', 1.0, a, ed, 0.0, Dense(s[0], s[1]));
                EXPECT_LE(Norm1(Gemm('N', 'N', -1.0, qd, rd, 1.0, ae)),
                          30.0 * std::max(s[0], s[1]) * Norm1(a) * kEps)
                    << what;
                for (std::size_t j = 0; j < s[1]; ++j) {
                    for (std::size_t i = j + 1; i < s[0]; ++i)
                        EXPECT_EQ(Bits(rd(i, j)), 0u) << what;
                }
                // Pivoting puts the columns in order of decreasing remaining norm.
                for (std::size_t i = 0; pivot && i + 1 < std::min(s[0], s[1]); ++i) {
                    EXPECT_GE(std::fabs(rd(i, i)) * (1 + 1e-12), std::fabs(rd(i + 1, i + 1)))
                        << what;
                }
            }
        }
    }
}

// The diagonal of R carries -sign of the leading element. Pivoting takes
// the longer column first, the earlier of equal columns, counts entries
// within the cut-off as zero, and for a wide A pivots the last row once
// more on single elements. Empty operands: Q the identity of the rows, R
// sharing A's data, E the identity of the columns.
TEST(Qr, WorkedExamples) {
    CMatrix *q, *r, *e;
    Qr(q, r, Matrix(2, 1, {3, 4}).get(), false);
    ArrayPtr qp(q), rp(r);
    const std::vector<double> want = {-0.6, -0.8, -0.8, 0.6};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(Values(q)[i], want[i], 2 * kEps) << i;
    EXPECT_EQ(Values(r), (std::vector<double>{-5, 0}));
    Qr(q, r, Matrix(2, 1, {-3, 4}).get(), false);
    qp.reset(q), rp.reset(r);
    EXPECT_EQ(Values(r), (std::vector<double>{5, 0}));
    struct Case {
        unsigned int m, n;
        std::vector<double> a, e;
    };
    for (const Case &t :
         std::vector<Case>{{2, 2, {1, 0, 5, 0}, {0, 1, 1, 0}},
                           {2, 2, {3, 4, 4, 3}, {1, 0, 0, 1}},
                           {3, 2, {1e-12, 1e-12, 1e-12, 1.5e-12, 0, 0}, {0, 1, 1, 0}},
                           {2, 3, {0, 1, 0, 2, 1, 0}, {0, 1, 0, 0, 0, 1, 1, 0, 0}}}) {
        ArrayPtr a = matrix_test::Filled({t.m, t.n}, t.a);
        a->SetLogical();
        Qr(q, r, e, a.get(), false);
        const ArrayPtr qp3(q), rp3(r), ep3(e);
        EXPECT_EQ(Values(e), t.e) << t.m << "x" << t.n;
        EXPECT_FALSE(mxIsLogical(q) || mxIsLogical(r));
    }
    const ArrayPtr a = Array({0, 3});
    Qr(q, r, e, a.get(), false);
    const ArrayPtr q0(q), r0(r), e0(e);
    EXPECT_EQ(Dims(q), (DimList{0, 0}));
    EXPECT_EQ(Dims(r), (DimList{0, 3}));
    EXPECT_EQ(r->GetPr(), a->GetPr());
    EXPECT_EQ(Values(e), Values(ArrayPtr(Eye(3, 3)).get()));
    ArrayPtr b = Array({3, 0});
    b->SetLogical();
    Qr(q, r, b.get(), false);
    const ArrayPtr q1(q), r1(r);
    EXPECT_EQ(Values(q), Values(ArrayPtr(Eye(3, 3)).get()));
    EXPECT_EQ(Dims(r), (DimList{3, 0}));
    EXPECT_FALSE(mxIsLogical(r));
}

}  // namespace
