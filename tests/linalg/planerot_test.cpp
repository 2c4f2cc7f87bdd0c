// tests/linalg/planerot_test.cpp: SafeHypot and Planerot against closed forms.
#include <matrix/matrix.h>

#include <cmath>

#include "kernels/planerot_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

// Within an ulp or two of hypot over magnitudes that would overflow or
// underflow a plain sum of squares; the special values exactly.
TEST(SafeHypot, AgreesWithHypot) {
    std::mt19937_64 rng(Seed());
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-600, 600);
    for (int k = 0; k < 20000; ++k) {
        const double a = std::ldexp(uniform(rng), exponent(rng));
        const double b = k % 7 == 0    ? a
                         : k % 11 == 0 ? 0.0
                                       : std::ldexp(uniform(rng), exponent(rng));
        const double want = std::hypot(a, b);
        ASSERT_LE(std::fabs(kernels::SafeHypot(a, b) - want), 2 * kEps * want) << a << ", " << b;
    }
    EXPECT_EQ(kernels::SafeHypot(3.0, -4.0), 5.0);
    EXPECT_EQ(Bits(kernels::SafeHypot(-0.0, -0.0)), 0u);
    EXPECT_NEAR(kernels::SafeHypot(1e300, 1e300), std::sqrt(2.0) * 1e300, 1e285);
    // The plain formula would give 0.0 for (NaN, 0) and NaN for two
    // infinities; the kernel reports NaN and +Inf.
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(kNaN, 0.0)));
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(0.0, kNaN)));
    EXPECT_EQ(kernels::SafeHypot(kInf, kInf), kInf);
    EXPECT_EQ(kernels::SafeHypot(-kInf, 1.0), kInf);
    EXPECT_EQ(kernels::SafeHypot(kNaN, -kInf), kInf);
}

// Only the count of elements is tested: rows, columns and N-d arrays of two
// are taken; a logical x gives plain double results. G*x = [r; 0] with G
// orthogonal, both forms alike. A zero x of any signs gives the identity
// with +0.0 off the diagonal.
TEST(Planerot, WorkedExamples) {
    struct Case {
        DimList dims;
        double x0, x1, r;
        std::vector<double> g;
    };
    for (const Case &t : std::vector<Case>{{{2, 1}, 3, 4, 5, {0.6, -0.8, 0.8, 0.6}},
                                           {{1, 2}, 0, 0, 0, {1, 0, 0, 1}},
                                           {{2, 1}, -0.0, 0, 0, {1, 0, 0, 1}},
                                           {{2, 1}, 0, -0.0, 0, {1, 0, 0, 1}},
                                           {{2, 1}, -0.0, -0.0, 0, {1, 0, 0, 1}},
                                           {{1, 1, 2}, -2, 0, 2, {-1, -0.0, 0, -1}},
                                           {{2, 1}, 0, 5, 5, {0, -1, 1, 0}},
                                           {{2, 1}, 1e300, -1e300, 0, {}},
                                           {{2, 1}, 3e-310, 4e-310, 0, {}}}) {
        ArrayPtr x = matrix_test::Filled(t.dims, {t.x0, t.x1});
        x->SetLogical();
        CMatrix *g, *y;
        Planerot(g, y, x.get());
        const ArrayPtr gp(g), yp(y), one(Planerot(x.get()));
        const std::string what = std::to_string(t.x0) + ", " + std::to_string(t.x1);
        EXPECT_EQ(Dims(g), (DimList{2, 2}));
        EXPECT_EQ(Dims(y), (DimList{2, 1}));
        EXPECT_FALSE(mxIsLogical(g) || mxIsLogical(y));
        EXPECT_EQ(matrix_test::BitsOf(one.get()), matrix_test::BitsOf(g)) << what;
        const std::vector<double> gv = Values(g), yv = Values(y);
        if (t.x0 == 0 && t.x1 == 0) {
            EXPECT_EQ(matrix_test::BitsOf(g), matrix_test::BitsOf(t.g)) << what;
            EXPECT_EQ(matrix_test::BitsOf(y), (std::vector<std::uint64_t>{0, 0})) << what;
        } else if (!t.g.empty()) {
            for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(gv[i], t.g[i], 1e-16) << what;
        }
        EXPECT_EQ(Bits(yv[1]), 0u) << what;
        // Subnormal x: the products round to multiples of the least subnormal.
        const double r = std::hypot(t.x0, t.x1), tol = 4 * kEps * r + 1e-323;
        EXPECT_NEAR(yv[0], r, 2 * kEps * r) << what;
        // G*x = [r; 0] and G'*G = I.
        EXPECT_NEAR(gv[0] * t.x0 + gv[2] * t.x1, yv[0], tol) << what;
        EXPECT_NEAR(gv[1] * t.x0 + gv[3] * t.x1, 0.0, tol) << what;
        EXPECT_NEAR(gv[0] * gv[0] + gv[1] * gv[1], 1.0, 4 * kEps) << what;
        EXPECT_NEAR(gv[0] * gv[2] + gv[1] * gv[3], 0.0, 4 * kEps) << what;
    }
}

}  // namespace
