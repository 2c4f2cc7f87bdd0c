// tests/linalg/lu_test.cpp: the LU pivot choices and row moves, Lu in both forms and Det.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>

#include "kernels/lu_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

// The scale factors decide: for [3 1000; 2 1] row 2 (scaled 1.0) beats row
// 1 (0.003); for [1 0; 1 0] the scaled magnitudes tie and the later row
// wins; zero pivots become 1e-20 and are reported; when every candidate is
// NaN the diagonal row stays.
TEST(LuCrout, PivotChoices) {
    struct Case {
        std::vector<double> a;
        std::vector<std::int32_t> ipiv;
        int parity, info;
    };
    for (const Case &t : std::vector<Case>{{{3, 2, 1000, 1}, {2, 2}, -1, 0},
                                           {{1, 1, 0, 0}, {2, 2}, -1, 2},
                                           {{-0.0, -0.0, -0.0, -0.0}, {2, 2}, -1, 1},
                                           {{kNaN, kNaN, 1, 2}, {1, 2}, 1, 0}}) {
        std::vector<double> a = t.a, scale(2);
        std::vector<std::int32_t> ipiv(2);
        int parity = 0;
        EXPECT_EQ(kernels::LuCrout(2, a.data(), 2, ipiv.data(), parity, scale.data()), t.info);
        EXPECT_EQ(ipiv, t.ipiv) << t.a[0];
        EXPECT_EQ(parity, t.parity) << t.a[0];
        EXPECT_TRUE(t.info == 0 || a[3] == 1.0e-20);
    }
}

// The pivot record becomes a permutation in step order.
TEST(LuCrout, PivotsToPermutation) {
    const std::vector<std::int32_t> ipiv = {3, 3, 3, 4};
    std::vector<std::uint32_t> perm(4);
    kernels::PivotsToPermutation(4, ipiv.data(), perm.data());
    EXPECT_EQ(perm, (std::vector<std::uint32_t>{2, 0, 1, 3}));
}

TEST(Lu, WorkedExamples) {
    const ArrayPtr a = Matrix(2, 2, {1, 3, 2, 4});
    CMatrix *l, *u, *p, *l2, *u2;
    Lu(l, u, p, a.get());
    Lu(l2, u2, a.get());
    const ArrayPtr lp(l), up(u), pp(p), l2p(l2), u2p(u2);
    EXPECT_EQ(Values(p), (std::vector<double>{0, 1, 1, 0}));
    EXPECT_EQ(Values(l), (std::vector<double>{1, 1.0 / 3.0, 0, 1}));
    EXPECT_EQ(Values(l2), (std::vector<double>{1.0 / 3.0, 1, 1, 0}));
    EXPECT_EQ(Values(u2), Values(u));
    EXPECT_EQ(Values(u), (std::vector<double>{3, 0, 4, 2.0 - (1.0 / 3.0) * 4.0}));
    EXPECT_NEAR(Det(a.get()), -2.0, 4 * kEps);
    EXPECT_EQ(Det(Matrix(1, 1, {-4}).get()), -4.0);
    // Two substituted pivots of 1e-20 and one interchange.
    EXPECT_EQ(Bits(Det(Matrix(2, 2, {0, 0, 0, 0}).get())), Bits(-(1.0e-20 * 1.0e-20)));
    // The imaginary part is ignored.
    const ArrayPtr c = matrix_test::Counted({2, 2}, 1.0, mxComplexityComplex);
    EXPECT_EQ(Det(c.get()), Det(Matrix(2, 2, {1, 2, 3, 4}).get()));
    // An empty matrix: empty double factors and a determinant of 1.
    const ArrayPtr e = Array({0, 0});
    Lu(l, u, p, e.get());
    Lu(l2, u2, e.get());
    for (CMatrix *x : {l, u, p, l2, u2}) {
        EXPECT_EQ(Dims(x), (DimList{0, 0}));
        EXPECT_TRUE(mxIsDouble(x));
        mxDestroyArray(x);
    }
    EXPECT_EQ(Det(e.get()), 1.0);
}

// P*A = L*U (and A = L*U for the two-output L) as scaled residuals; Det
// against the product of the diagonal of LAPACK's dgetrf with the sign of
// its interchanges.
TEST(Lu, AgreesWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 50, 100}) {
        for (bool dominant : {true, false}) {
            Dense a = dominant ? DiagonallyDominant(n, rng) : Random(n, n, rng);
            const ArrayPtr arg = ToArray(a);
            CMatrix *l, *u, *p, *l2, *u2;
            Lu(l, u, p, arg.get());
            Lu(l2, u2, arg.get());
            const ArrayPtr lp(l), up(u), pp(p), l2p(l2), u2p(u2);
            const Dense pa = Gemm('N', 'N', 1.0, FromArray(p), a, 0.0, Dense(n, n));
            const double scale = 30.0 * n * Norm1(a) * kEps;
            EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, FromArray(l), FromArray(u), 1.0, pa)), scale) << n;
            EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, FromArray(l2), FromArray(u), 1.0, a)), scale) << n;
            const double det = Det(arg.get());
            const int ni = static_cast<int>(n);
            std::vector<int> ipiv(n);
            int info = 0;
            dgetrf_(&ni, &ni, a.v.data(), &ni, ipiv.data(), &info);
            ASSERT_EQ(info, 0);
            double want = 1.0;
            for (std::size_t i = 0; i < n; ++i)
                want = ipiv[i] != int(i + 1) ? -want * a(i, i) : want * a(i, i);
            EXPECT_LE(std::fabs(det - want), (dominant ? 1e-13 : 1e-10) * std::fabs(want)) << n;
        }
    }
}

}  // namespace
