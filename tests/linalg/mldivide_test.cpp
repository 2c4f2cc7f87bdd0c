// tests/linalg/mldivide_test.cpp: Mldivide and Mrdivide against LAPACK and their worked examples.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>

#include "kernels/mldivide_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

// The square solve's relative residual on well-conditioned systems, and
// full-rank tall least squares against LAPACK's dgels; Mrdivide through
// the transposes, X = (B'\A')'.
TEST(Mldivide, AgreesWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 50, 100}) {
        const Dense a = DiagonallyDominant(n, rng), b = Random(n, 4, rng);
        const ArrayPtr aa = ToArray(a), ba = ToArray(b);
        const Dense x = FromArray(ArrayPtr(Mldivide(aa.get(), ba.get())).get());
        EXPECT_LE(Norm1(Gemm('N', 'N', 1.0, a, x, -1.0, b)) / (Norm1(a) * Norm1(x)), 1e-13) << n;
        const ArrayPtr at(Transpose(aa.get())), bt(Transpose(ba.get()));
        const ArrayPtr y(Mrdivide(bt.get(), at.get())), yt(Transpose(y.get()));
        EXPECT_EQ(matrix_test::BitsOf(yt.get()), matrix_test::BitsOf(x.v)) << n;
    }
    for (const DimList &s : std::vector<DimList>{{2, 1}, {7, 5}, {40, 6}, {100, 30}}) {
        const Dense a = Random(s[0], s[1], rng), b = Random(s[0], 2, rng);
        const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
        Dense af = a, bf = b;
        const int m = static_cast<int>(s[0]), n = static_cast<int>(s[1]), nrhs = 2;
        WithWorkspace([&](double *work, const int *lwork, int *info) {
            dgels_("N", &m, &n, &nrhs, af.v.data(), &m, bf.v.data(), &m, work, lwork, info, 1);
        });
        // X against the leading n rows of dgels' B.
        double worst = 0.0, largest = 0.0;
        for (std::size_t k = 0; k < 2 * s[1]; ++k) {
            worst = std::max(worst, std::fabs(x.v[k] - bf(k % s[1], k / s[1])));
            largest = std::max(largest, std::fabs(bf(k % s[1], k / s[1])));
        }
        EXPECT_LE(worst, 1e-12 * largest) << s[0] << "x" << s[1];
    }
    // A wide system of rank 3: a basic solution with at most 3 non-zeros
    // that solves it.
    const Dense a = OfRank(3, 8, 3, rng), b = Random(3, 1, rng);
    const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
    EXPECT_LE(std::count(x.v.begin(), x.v.end(), 0.0), 5);
    EXPECT_LE(Norm1(Gemm('N', 'N', 1.0, a, x, -1.0, b)), 1e-12 * Norm1(a) * Norm1(x));
}

TEST(Mldivide, WorkedExamples) {
    struct Case {
        ArrayPtr a, b;
        bool right;
        DimList dims;
        std::vector<double> x;
    };
    std::vector<Case> cases;
    cases.push_back({Matrix(2, 1, {1, 1}), Matrix(2, 1, {1, 3}), false, {1, 1}, {2}});
    // Rank 0: the zero matrix gives zeros.
    cases.push_back({Matrix(3, 2, {0, 0, 0, 0, 0, 0}),
                     Matrix(3, 2, {1, 2, 3, 4, 5, 6}),
                     false,
                     {2, 2},
                     {0, 0, 0, 0}});
    // A scalar divides element-wise, whatever the other's shape.
    cases.push_back({Matrix(1, 1, {2}),
                     matrix_test::Counted({2, 1, 2}, 2.0),
                     false,
                     {2, 1, 2},
                     {1, 1.5, 2, 2.5}});
    cases.push_back(
        {Matrix(2, 3, {2, 4, 6, 8, 10, 12}), Matrix(1, 1, {2}), true, {2, 3}, {1, 2, 3, 4, 5, 6}});
    // No equations: zeros of n x k.
    cases.push_back({Array({0, 4}), Array({0, 2}), false, {4, 2}, std::vector<double>(8, 0.0)});
    cases.push_back({Matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}),
                     Matrix(3, 1, {1, 2, 3}),
                     false,
                     {3, 1},
                     {1, 2, 3}});
    // A scalar A and a column B: X*B = A has the 1 x k basic solution.
    cases.push_back({Matrix(1, 1, {6}), Matrix(3, 1, {0, 3, 0}), true, {1, 3}, {0, 2, 0}});
    cases.push_back({Matrix(1, 2, {3, 7}), Matrix(2, 2, {1, 0, 1, 2}), true, {1, 2}, {3, 2}});
    for (const Case &t : cases) {
        const ArrayPtr x(t.right ? Mrdivide(t.a.get(), t.b.get()) : Mldivide(t.a.get(), t.b.get()));
        EXPECT_EQ(Dims(x.get()), t.dims);
        const std::vector<double> got = Values(x.get());
        for (std::size_t i = 0; i < t.x.size(); ++i) EXPECT_NEAR(got[i], t.x[i], 4 * kEps) << i;
    }
    // A singular square matrix gives huge finite values (pivot 1e-14).
    const ArrayPtr x(Mldivide(Matrix(2, 2, {1, 2, 2, 4}).get(), Matrix(2, 1, {1, 1}).get()));
    for (double v : Values(x.get())) EXPECT_TRUE(std::isfinite(v) && std::fabs(v) > 1e12) << v;
    for (const std::vector<DimList> &t :
         std::vector<std::vector<DimList>>{{{3, 3}, {3, 0}, {3, 0}},
                                           {{3, 0}, {3, 2}, {0, 2}},
                                           {{0, 0}, {0, 5}, {0, 5}},
                                           {{2, 5}, {2, 0}, {5, 0}}}) {
        EXPECT_EQ(Dims(ArrayPtr(Mldivide(Array(t[0]).get(), Array(t[1]).get())).get()), t[2]);
    }
    // The rank counts the leading diagonal entries above the tolerance; NaN stops it.
    double r[16] = {3, 0, 0, 0, 9, -2, 0, 0, 9, 9, 0.5, 0, 9, 9, 9, 7};
    for (const auto &[count, tol, rank] : std::vector<std::tuple<std::size_t, double, std::size_t>>{
             {4, 1.0, 2}, {4, 0.1, 4}, {3, 0.1, 3}, {4, 3.0, 0}}) {
        EXPECT_EQ(kernels::TriangularRank(count, r, 4, tol), rank) << tol;
    }
    r[5] = kNaN;
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 0.1), 1u);
}

}  // namespace
