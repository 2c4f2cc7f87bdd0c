// tests/linalg/eig_test.cpp: Eig against LAPACK, its eigenvectors' residuals and worked examples.
#include <matrix/matrix.h>

#include <kiv/random.h>

#include <algorithm>
#include <cmath>

#include "kernels/eig_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

struct Decomposition {
    ArrayPtr d, v;
};

Decomposition Two(const CMatrix *a, bool balance) {
    CMatrix *d = nullptr, *v = nullptr;
    Eig(d, v, a, balance);
    return {ArrayPtr(d), ArrayPtr(v)};
}

std::vector<double> Sorted(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// B + B'.
Dense Symmetric(std::size_t n, std::mt19937_64 &rng) {
    const Dense b = Random(n, n, rng);
    return Gemm('N', 'T', 1.0, Identity(n), b, 1.0, b);
}

// H*T*H with H a Householder reflection (its own inverse) and T upper
// triangular with the eigenvalues i - n/2 + 1/4 in a random order: a
// non-symmetric matrix with a known real spectrum.
Dense RealSpectrum(std::size_t n, std::mt19937_64 &rng, std::vector<double> &lambda) {
    Dense t = Random(n, n, rng);
    lambda.clear();
    for (std::size_t i = 0; i < n; ++i) lambda.push_back(static_cast<double>(i) - 0.5 * n + 0.25);
    std::shuffle(lambda.begin(), lambda.end(), rng);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = j; i < n; ++i) t(i, j) = i == j ? lambda[i] : 0.0;
    }
    const Dense v = Random(n, 1, rng);
    const double vv = Gemm('T', 'N', 1.0, v, v, 0.0, Dense(1, 1)).v[0];
    const Dense h = Gemm('N', 'T', -2.0 / vv, v, v, 1.0, Identity(n));
    return Gemm('N', 'N', 1.0, Gemm('N', 'N', 1.0, h, t, 0.0, Dense(n, n)), h, 0.0, Dense(n, n));
}

std::vector<double> Dgeev(Dense a, bool modulus) {
    const int n = static_cast<int>(a.m), one = 1;
    std::vector<double> wr(a.m), wi(a.m);
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dgeev_("N", "N", &n, a.v.data(), &n, wr.data(), wi.data(), nullptr, &one, nullptr, &one,
               work, lwork, info, 1, 1);
    });
    for (std::size_t i = 0; i < a.m; ++i) {
        EXPECT_TRUE(modulus || wi[i] == 0.0) << "the test matrix has a complex eigenvalue";
        if (wi[i] != 0.0) wr[i] = std::hypot(wr[i], wi[i]);
    }
    return Sorted(wr);
}

// Symmetric matrices against dsyev, non-symmetric ones with a known real
// spectrum against dgeev and the spectrum, a random one's complex pairs as
// their modulus, as sorted lists.
TEST(Eig, ValuesAgreeWithLapack) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 12, 33, 64}) {
        const Dense s = Symmetric(n, rng), r = Random(n, n, rng);
        std::vector<double> lambda, wantS(n);
        const Dense g = RealSpectrum(n, rng, lambda);
        Dense sf = s;
        const int ni = static_cast<int>(n);
        WithWorkspace([&](double *work, const int *lwork, int *info) {
            dsyev_("N", "U", &ni, sf.v.data(), &ni, wantS.data(), work, lwork, info, 1, 1);
        });
        const std::vector<double> wantG = Dgeev(g, false), wantR = Dgeev(r, true);
        lambda = Sorted(lambda);
        for (bool balance : {true, false}) {
            auto values = [&](const Dense &a) {
                return Sorted(Values(ArrayPtr(Eig(ToArray(a).get(), balance)).get()));
            };
            const std::vector<double> gotS = values(s), gotG = values(g), gotR = values(r);
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(gotS[i], wantS[i], 30.0 * n * kEps * Norm1(s)) << "n = " << n;
                EXPECT_NEAR(gotG[i], wantG[i], 1e3 * n * kEps * Norm1(g)) << "n = " << n;
                EXPECT_NEAR(gotG[i], lambda[i], 1e3 * n * kEps * Norm1(g)) << "n = " << n;
                EXPECT_NEAR(gotR[i], wantR[i], 1e3 * n * kEps * Norm1(r)) << "n = " << n;
            }
        }
    }
}

// For real spectra, symmetric and not, and the zero matrix: D holds the
// values of the one-output form, each column of V has unit length and a
// small residual A*v - lambda*v; the same seed gives the same V.
TEST(Eig, Eigenvectors) {
    std::mt19937_64 rng(Seed());
    std::vector<double> lambda;
    for (std::size_t n : {1, 2, 3, 5, 10, 20, 33}) {
        for (const Dense &a : {Symmetric(n, rng), RealSpectrum(n, rng, lambda), Dense(n, n)}) {
            for (bool balance : {true, false}) {
                const ArrayPtr arg = ToArray(a);
                kiv::RandSeed(Seed() + n);
                const Decomposition dv = Two(arg.get(), balance);
                const ArrayPtr values(Eig(arg.get(), balance)), diag(Diag(values.get(), 0));
                EXPECT_EQ(matrix_test::BitsOf(dv.d.get()), matrix_test::BitsOf(diag.get()));
                kiv::RandSeed(Seed() + n);
                EXPECT_EQ(matrix_test::BitsOf(Two(arg.get(), balance).v.get()),
                          matrix_test::BitsOf(dv.v.get()));
                const Dense v = FromArray(dv.v.get());
                const Dense av = Gemm('N', 'N', 1.0, a, v, 0.0, Dense(n, n));
                const Dense res = Gemm('N', 'N', -1.0, v, FromArray(dv.d.get()), 1.0, av);
                for (std::size_t k = 0; k < n; ++k) {
                    double length = 0.0, worst = 0.0;
                    for (std::size_t i = 0; i < n; ++i) {
                        length += v(i, k) * v(i, k);
                        worst = std::max(worst, std::fabs(res(i, k)));
                    }
                    EXPECT_NEAR(std::sqrt(length), 1.0, 1e-14) << "n = " << n << " column " << k;
                    EXPECT_LE(worst, 1e3 * n * kEps * Norm1(a)) << "n = " << n << " column " << k;
                }
            }
        }
    }
}

TEST(Eig, WorkedExamples) {
    EXPECT_EQ(Values(ArrayPtr(Eig(Matrix(2, 2, {2, 0, 0, 3}).get(), true)).get()),
              (std::vector<double>{2, 3}));
    EXPECT_EQ(Values(ArrayPtr(Eig(Matrix(2, 2, {3, 0, 0, 2}).get(), false)).get()),
              (std::vector<double>{3, 2}));
    // +/- i become their modulus.
    EXPECT_EQ(Values(ArrayPtr(Eig(Matrix(2, 2, {0, -1, 1, 0}).get(), true)).get()),
              (std::vector<double>{1, 1}));
    kiv::RandSeed(Seed());
    ArrayPtr a = Matrix(2, 2, {2, 1, 1, 2});
    a->SetLogical();
    const Decomposition dv = Two(a.get(), true);
    EXPECT_FALSE(mxIsLogical(dv.d.get()) || mxIsLogical(dv.v.get()));
    EXPECT_EQ(Values(dv.d.get()), (std::vector<double>{3, 0, 0, 1}));
    const Dense v = FromArray(dv.v.get());
    EXPECT_NEAR(std::fabs(v(0, 0)), 1.0 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(v(1, 0), v(0, 0), 1e-9);
    EXPECT_NEAR(std::fabs(v(0, 1)), 1.0 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(v(1, 1), -v(0, 1), 1e-9);
    // Badly scaled: with and without balancing within a few ulps of 0 and 2.
    const ArrayPtr b = Matrix(2, 2, {1, 1e-6, 1e6, 1});
    for (bool balance : {true, false}) {
        const std::vector<double> got = Sorted(Values(ArrayPtr(Eig(b.get(), balance)).get()));
        EXPECT_NEAR(got[0], 0.0, 8 * kEps);
        EXPECT_NEAR(got[1], 2.0, 8 * kEps);
    }
    // 0 x 0 comes before every check, also for other classes.
    for (const ArrayPtr &e : {Array({0, 0}), Array({0, 0}, mxClassSingle)}) {
        EXPECT_EQ(Dims(ArrayPtr(Eig(e.get(), true)).get()), (DimList{0, 1}));
        const Decomposition de = Two(e.get(), false);
        EXPECT_EQ(Dims(de.d.get()), (DimList{0, 0}));
        EXPECT_EQ(Dims(de.v.get()), (DimList{0, 0}));
    }
    // A 1 x 1 matrix: V is the sign of the normalised random start (the
    // solve with the exactly singular shift is not finite, so it is kept).
    for (unsigned long long seed = 1; seed <= 40; ++seed) {
        kiv::RandSeed(seed);
        const double start = kiv::Randn();
        kiv::RandSeed(seed);
        const Decomposition one = Two(Matrix(1, 1, {5}).get(), seed % 2 == 0);
        EXPECT_EQ(Values(one.d.get()), (std::vector<double>{5}));
        EXPECT_EQ(Values(one.v.get()), (std::vector<double>{start >= 0.0 ? 1.0 : -1.0})) << seed;
    }
}

// A NaN keeps every deflation test from passing: after the 30th test the
// values of the active block are reported as the library's NaN (every
// value still gets a vector); (x^2 + 1)^2 and (x^2 - 1)^2 stall
// unbalanced. Infinite entries never leave a row to be balanced forever.
TEST(Eig, GiveUpValues) {
    Dense a(4, 4, 1.0);
    a(1, 2) = kNaN;
    for (bool balance : {true, false}) {
        EXPECT_EQ(Bits(Values(ArrayPtr(Eig(ToArray(a).get(), balance)).get())[0]), kGiveUpBits);
        EXPECT_EQ(Dims(Two(ToArray(a).get(), balance).v.get()), (DimList{4, 4}));
    }
    for (const std::vector<double> &c :
         std::vector<std::vector<double>>{{-1, 0, -2, 0}, {-1, 0, 2, 0}}) {
        const ArrayPtr companion =
            Matrix(4, 4, {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, c[0], c[1], c[2], c[3]});
        for (double x : Values(ArrayPtr(Eig(companion.get(), false)).get()))
            EXPECT_EQ(Bits(x), kGiveUpBits);
    }
    EXPECT_EQ(Dims(ArrayPtr(Eig(Matrix(3, 3, {1, kInf, 2, 3, 1, 4, 5, 6, 1}).get(), true)).get()),
              (DimList{3, 1}));
    double b[] = {1e-300, 1e300, kInf, 1.0};
    kernels::Balance(2, b, 2);
}

}  // namespace
