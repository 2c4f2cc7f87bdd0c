// tests/linalg/svd_test.cpp: Svd, Rank and Norm against LAPACK, their worked examples, the sort kernels.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>

#include "kernels/norm_kernel.h"
#include "kernels/svd_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

struct Factors {
    ArrayPtr u, s, v;
};

Factors Three(const CMatrix *a, bool economy) {
    CMatrix *u = nullptr, *s = nullptr, *v = nullptr;
    Svd(u, s, v, a, economy);
    return {ArrayPtr(u), ArrayPtr(s), ArrayPtr(v)};
}

// Conformant factors for every shape and both sizes: A = U*S*V' with
// orthonormal columns in U and V and a sorted non-negative diagonal S that
// agrees with LAPACK's dgesvd, as does Norm(A, 2); rank-deficient
// products keep their rank.
TEST(Svd, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s : Shapes({1,  1,  2,  2, 3, 3,  7,   5,   5,  7,  1,  6,  6,  1,
                                    33, 33, 40, 9, 9, 40, 100, 100, 50, 10, 10, 50, 64, 63})) {
        const unsigned int m = s[0], n = s[1], k = std::min(m, n);
        for (std::size_t rank : {std::size_t{k}, std::size_t{k / 2}}) {
            const Dense a = rank == k ? Random(m, n, rng) : OfRank(m, n, rank, rng);
            const std::vector<double> want = Dgesvd(a);
            const double mn = std::max(m, n), tol = 30.0 * mn * kEps;
            const std::string what = std::to_string(m) + "x" + std::to_string(n);
            EXPECT_EQ(Rank(ToArray(a).get()), rank) << what;
            EXPECT_NEAR(Norm(ToArray(a).get(), 2.0), want[0], tol * want[0]) << what;
            for (bool economy : {false, true}) {
                const Factors f = Three(ToArray(a).get(), economy);
                EXPECT_EQ(Dims(f.u.get()), (DimList{m, economy ? k : m})) << what;
                EXPECT_EQ(Dims(f.s.get()), (DimList{economy ? k : m, economy ? k : n})) << what;
                EXPECT_EQ(Dims(f.v.get()), (DimList{n, economy ? k : n})) << what;
                const Dense u = FromArray(f.u.get()), sd = FromArray(f.s.get()),
                            v = FromArray(f.v.get());
                const Dense us = Gemm('N', 'N', 1.0, u, sd, 0.0, Dense(u.m, sd.n));
                EXPECT_LE(Norm1(Gemm('N', 'T', 1.0, us, v, -1.0, a)), tol * Norm1(a)) << what;
                EXPECT_LE(Norm1(Gemm('T', 'N', 1.0, v, v, -1.0, Identity(v.n))), tol) << what;
                const double uu = Norm1(Gemm('T', 'N', 1.0, u, u, -1.0, Identity(u.n)));
                EXPECT_TRUE(rank < k || uu <= tol) << what;
                const std::vector<double> one =
                    Values(ArrayPtr(Svd(ToArray(a).get(), false)).get());
                for (std::size_t i = 0; i < k; ++i) {
                    EXPECT_NEAR(sd(i, i), want[i], 1e-12 * mn * want[0]) << what << " " << i;
                    EXPECT_NEAR(one[i], want[i], 1e-12 * mn * want[0]) << what << " " << i;
                }
            }
        }
    }
}

// Equal singular values keep the kernel's order: diag(1, 3, 3, 2) leaves
// them in place, so the two threes keep the first and second unit vectors.
// Empty operands: 0 x 1 values; U and V leading identity columns.
TEST(Svd, WorkedExamples) {
    EXPECT_EQ(Values(ArrayPtr(Svd(Matrix(2, 2, {3, 0, 0, 4}).get(), false)).get()),
              (std::vector<double>{4, 3}));
    const std::vector<double> s =
        Values(ArrayPtr(Svd(Matrix(2, 2, {1, 3, 2, 4}).get(), false)).get());
    EXPECT_NEAR(s[0], 5.4649857042190426, 1e-14);
    EXPECT_NEAR(s[1], 0.36596619062625746, 1e-14);
    ArrayPtr a = Matrix(4, 4, {1, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 2});
    a->SetLogical();
    const Factors f = Three(a.get(), false);
    EXPECT_FALSE(mxIsLogical(f.u.get()) || mxIsLogical(f.s.get()) || mxIsLogical(f.v.get()));
    const Dense u = FromArray(f.u.get()), v = FromArray(f.v.get());
    EXPECT_EQ(Values(ArrayPtr(Diag(f.s.get(), 0)).get()), (std::vector<double>{3, 3, 2, 1}));
    EXPECT_EQ(std::fabs(u(1, 0)) + std::fabs(u(2, 1)) + std::fabs(v(1, 0)) + std::fabs(v(2, 1)),
              4.0);
    for (const DimList &d : Shapes({0, 0, 0, 3, 3, 0})) {
        const ArrayPtr e = Array(d);
        const unsigned int k = std::min(d[0], d[1]);
        for (bool economy : {false, true}) {
            EXPECT_EQ(Dims(ArrayPtr(Svd(e.get(), economy)).get()), (DimList{0, 1}));
            const Factors g = Three(e.get(), economy);
            EXPECT_EQ(Dims(g.s.get()), (DimList{economy ? k : d[0], economy ? k : d[1]}));
            const unsigned int uc = economy ? k : d[0], vc = economy ? k : d[1];
            EXPECT_EQ(Values(g.u.get()), Values(ArrayPtr(Eye(d[0], uc)).get()));
            EXPECT_EQ(Values(g.v.get()), Values(ArrayPtr(Eye(d[1], vc)).get()));
        }
    }
}

// A NaN keeps every split test from passing: after the 30th test the value
// and all those below it are reported as the library's NaN, through every
// function built on the decomposition.
TEST(Svd, ReportsUnsettledValuesAsNaN) {
    Dense a(3, 3, 1.0);
    a(1, 2) = kNaN;
    Dense u = a, v(3, 3);
    std::vector<double> w(3), work(kernels::SvdDecomposeWorkspace(3, 3));
    const std::size_t status =
        kernels::SvdDecompose(3, 3, u.v.data(), 3, w.data(), 1, v.v.data(), 3, work.data());
    ASSERT_GT(status, 0u);
    for (std::size_t i = 0; i < status; ++i) EXPECT_EQ(Bits(w[i]), kGiveUpBits) << i;
    const ArrayPtr arg = ToArray(a);
    EXPECT_TRUE(std::isnan(Values(ArrayPtr(Svd(arg.get(), false)).get())[0]));
    EXPECT_TRUE(std::isnan(FromArray(Three(arg.get(), false).s.get())(0, 0)));
    EXPECT_EQ(Rank(arg.get()), 0u);
    EXPECT_TRUE(std::isnan(Norm(arg.get(), 2.0)));
}

// Ties keep their order (zeros of either sign too); nothing passes a NaN.
TEST(SvdDecompose, SortDescending) {
    const std::vector<double> values = {1, 3, 3, 2, 3, 0, -0.0, 0, kNaN, 5};
    std::vector<std::uint32_t> positions(values.size());
    kernels::SortDescending(values.size(), values.data(), 1, positions.data());
    EXPECT_EQ(positions, (std::vector<std::uint32_t>{1, 2, 4, 3, 0, 5, 6, 7, 8, 9}));
}

// Only values strictly above the tolerance count: the zero matrix has rank
// 0 (its default tolerance is 0), and a value equal to tol is left out.
TEST(Rank, CountsValuesAboveTheTolerance) {
    const ArrayPtr b = Matrix(2, 2, {3, 0, 0, 4});
    for (const auto &tr :
         std::vector<std::pair<double, unsigned int>>{{5, 0}, {4, 0}, {3.5, 1}, {3, 1}, {-1, 2}}) {
        EXPECT_EQ(Rank(b.get(), tr.first), tr.second) << tr.first;
    }
    EXPECT_EQ(Rank(b.get()), 2u);
    EXPECT_EQ(Rank(Matrix(2, 2, {1, 2, 2, 4}).get()), 1u);
    EXPECT_EQ(Rank(Array({0, 3}).get()), 0u);
    for (const DimList &s : Shapes({1, 1, 3, 3, 4, 2, 2, 5})) {
        const ArrayPtr z = ToArray(Dense(s[0], s[1]));
        EXPECT_EQ(Rank(z.get()), 0u);
        EXPECT_EQ(Rank(z.get(), 0.0), 0u);
    }
}

// The matrix maxima start at 0.0 and skip NaN sums; the vector maxima
// start at the first element; empty matrices give 0.0 for any p.
TEST(Norm, WorkedExamples) {
    struct Case {
        unsigned int m, n;
        std::vector<double> a;
        double p, want;
    };
    for (const Case &t : std::vector<Case>{{1, 2, {3, -4}, 2, 5},
                                           {1, 2, {3, -4}, 1, 7},
                                           {1, 2, {3, -4}, kInf, 4},
                                           {1, 2, {3, -4}, -kInf, 3},
                                           {1, 2, {3, -4}, 0, kInf},
                                           {2, 1, {3, -4}, 3, std::cbrt(91.0)},
                                           {1, 2, {1, 4}, 0.5, 9},
                                           {1, 2, {2, -2}, -1, 1},
                                           {2, 2, {1, 3, -2, 4}, 1, 6},
                                           {2, 2, {1, 3, -2, 4}, kInf, 7},
                                           {2, 3, {1, -10, 2, 20, -3, 30}, kInf, 60},
                                           {2, 3, {1, -10, 2, 20, -3, 30}, 1, 33},
                                           {2, 2, {kNaN, 1, 2, 3}, 1, 5},
                                           {2, 2, {kNaN, 1, 2, 3}, kInf, 4},
                                           {3, 1, {2, kNaN, -5}, kInf, 5},
                                           {3, 1, {2, kNaN, -5}, -kInf, 2},
                                           {3, 1, {2, kNaN, -5}, 1, kNaN},
                                           {3, 1, {2, kNaN, -5}, 2, kNaN},
                                           {1, 3, {0, 0, 0}, 0, kInf},
                                           {1, 3, {0, 0, 0}, 2, 0},
                                           {0, 0, {}, 2, 0},
                                           {0, 3, {}, 3, 0},
                                           {3, 0, {}, 2, 0},
                                           {3, 0, {}, 3, 0}}) {
        const double got = Norm(matrix_test::Filled({t.m, t.n}, t.a).get(), t.p);
        EXPECT_TRUE(std::fabs(got - t.want) <= 4 * kEps * t.want || got == t.want ||
                    (std::isnan(got) && std::isnan(t.want)))
            << t.m << "x" << t.n << " p = " << t.p << ": " << got;
    }
    EXPECT_EQ(NormFro(Matrix(1, 2, {3, 4}).get()), 5.0);
    EXPECT_EQ(NormFro(Array({0, 3}).get()), 0.0);
    EXPECT_TRUE(std::isnan(NormFro(Matrix(2, 2, {kNaN, 1, 2, 3}).get())));
    const double w[] = {-3, 0, 5, 0, -5, 0}, unsettled[] = {kNaN, 7.0};
    EXPECT_EQ(kernels::LargestMagnitude(3, w, 2), 5.0);
    EXPECT_EQ(kernels::LargestMagnitude(2, w + 4, 1), -5.0);
    EXPECT_TRUE(std::isnan(kernels::LargestMagnitude(2, unsettled, 1)));
}

}  // namespace
