// tests/linalg/oracle_test.cpp: every factorisation and solve against reference LAPACK and BLAS
// or as a scaled residual, on random inputs of MATRIX_TEST_SEED.
#include <kiv/random.h>

#include <algorithm>
#include <cmath>

#include "kernels/planerot_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;

std::string Shape(std::size_t m, std::size_t n) {
    return std::to_string(m) + "x" + std::to_string(n);
}

/// Random with n added to the diagonal: well conditioned.
Dense Dominant(std::size_t n, std::mt19937_64 &rng) {
    Dense a = Random(n, n, rng);
    for (std::size_t i = 0; i < n; ++i) a(i, i) += static_cast<double>(n);
    return a;
}

/// ‖A'*A - I‖: how far A's columns are from orthonormal.
double Orthonormality(const Dense &a) {
    return Norm1(Gemm('T', 'N', 1.0, a, a, -1.0, Identity(a.n)));
}

std::vector<double> Sorted(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Element by element within the bound of an inner product of k terms.
TEST(Mtimes, AgreesWithBlas) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s : std::vector<DimList>{{7, 5, 6}, {33, 64, 17}, {1, 300, 19}}) {
        const Dense a = Random(s[0], s[1], rng), b = Random(s[1], s[2], rng);
        const Dense c = FromArray(ArrayPtr(Mtimes(ToArray(a).get(), ToArray(b).get())).get());
        const Dense want = Times(a, b);
        for (std::size_t k = 0; k < c.v.size(); ++k)
            EXPECT_NEAR(c.v[k], want.v[k], 2.0 * s[1] * kEps) << Shape(s[0], s[2]);
    }
}

// P*A = L*U and A = L2*U as scaled residuals; Det against the diagonal of
// LAPACK's dgetrf with the sign of its interchanges.
TEST(Lu, AgreesWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 3, 10, 100}) {
        for (bool dominant : {true, false}) {
            Dense a = dominant ? Dominant(n, rng) : Random(n, n, rng);
            const ArrayPtr arg = ToArray(a);
            Outs f, g;
            Lu(f[0], f[1], f[2], arg.get());
            Lu(g[0], g[1], arg.get());
            const Dense l = FromArray(f[0]), u = FromArray(f[1]), pa = Times(FromArray(f[2]), a);
            const double scale = 30.0 * n * Norm1(a) * kEps;
            EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, l, u, 1.0, pa)), scale) << n;
            EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, FromArray(g[0]), u, 1.0, a)), scale) << n;
            const int ni = static_cast<int>(n);
            std::vector<int> ipiv(n);
            int info = 0;
            dgetrf_(&ni, &ni, a.v.data(), &ni, ipiv.data(), &info);
            double want = 1.0;
            for (std::size_t i = 0; i < n; ++i) want *= ipiv[i] != int(i + 1) ? -a(i, i) : a(i, i);
            EXPECT_LE(std::fabs(Det(arg.get()) - want), 1e-10 * std::fabs(want)) << n;
        }
    }
}

// The square solve's relative residual, Mrdivide's X = (B'\A')' bit for
// bit; full-rank tall least squares against LAPACK's dgels; a wide system
// of rank 3 gets a basic solution with at most 3 non-zeros.
TEST(Mldivide, AgreesWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 3, 10, 100}) {
        const Dense a = Dominant(n, rng), b = Random(n, 4, rng);
        const ArrayPtr aa = ToArray(a), ba = ToArray(b);
        const Dense x = FromArray(ArrayPtr(Mldivide(aa.get(), ba.get())).get());
        EXPECT_LE(Norm1(Gemm('N', 'N', 1.0, a, x, -1.0, b)) / (Norm1(a) * Norm1(x)), 1e-13) << n;
        const ArrayPtr at(Transpose(aa.get())), bt(Transpose(ba.get()));
        const ArrayPtr y(Mrdivide(bt.get(), at.get())), yt(Transpose(y.get()));
        EXPECT_EQ(matrix_test::BitsOf(yt.get()), matrix_test::BitsOf(x.v)) << n;
    }
    for (const DimList &s : std::vector<DimList>{{2, 1}, {7, 5}, {100, 30}}) {
        const Dense a = Random(s[0], s[1], rng), b = Random(s[0], 2, rng);
        const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
        Dense af = a, bf = b;
        const int m = static_cast<int>(s[0]), n = static_cast<int>(s[1]), nrhs = 2;
        WithWorkspace([&](double *work, const int *lwork, int *info) {
            dgels_("N", &m, &n, &nrhs, af.v.data(), &m, bf.v.data(), &m, work, lwork, info, 1);
        });
        for (std::size_t k = 0; k < 2 * s[1]; ++k)
            EXPECT_NEAR(x.v[k], bf(k % s[1], k / s[1]), 1e-12) << Shape(s[0], s[1]);
    }
    const Dense a = Times(Random(3, 3, rng), Random(3, 8, rng)), b = Random(3, 1, rng);
    const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
    EXPECT_LE(std::count(x.v.begin(), x.v.end(), 0.0), 5);
    EXPECT_LE(Norm1(Gemm('N', 'N', 1.0, a, x, -1.0, b)), 1e-12 * Norm1(a) * Norm1(x));
}

// Against LAPACK's dpotrf on B'*B + n*I, whose lower triangle holds garbage
// that must not be read; R'*R reproduces A; made indefinite, both fail.
TEST(Chol, AgreesWithDpotrf) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 5, 33, 150}) {
        const Dense b = Random(n, n, rng);
        Dense a = Gemm('T', 'N', 1.0, b, b, 1.0, Identity(n));
        for (std::size_t i = 0; i < n; ++i) a(i, i) += static_cast<double>(n);
        Dense garbage = a, lapack = a;
        for (std::size_t k = 0; k < a.v.size(); ++k) {
            if (k % n > k / n) garbage.v[k] = k % 2 ? 1e300 : kNaN;
        }
        const int ni = static_cast<int>(n);
        int info = -1;
        dpotrf_("U", &ni, lapack.v.data(), &ni, &info, 1);
        const Dense r = FromArray(ArrayPtr(Chol(ToArray(garbage).get())).get());
        for (std::size_t k = 0; k < a.v.size(); ++k)
            EXPECT_NEAR(r.v[k], k % n <= k / n ? lapack.v[k] : 0.0, 30.0 * n * kEps * n) << n;
        EXPECT_LE(Norm1(Gemm('T', 'N', 1.0, r, r, -1.0, a)), 30.0 * n * kEps * Norm1(a)) << n;
        garbage(n / 2, n / 2) = -1.0;
        bool ok = true;
        EXPECT_EQ(Dims(ArrayPtr(Chol(ToArray(garbage).get(), ok)).get()), (DimList{0, 0}));
        EXPECT_FALSE(ok) << n;
    }
}

// Q orthogonal, R upper trapezoidal with +0.0 below, A*E = Q*R, pivoted
// diagonals non-increasing; zero lines make some rank deficient.
TEST(Qr, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s : std::vector<DimList>{{3, 3}, {7, 5}, {5, 7}, {100, 100}, {1, 5}}) {
        for (bool zeroLine : {false, true}) {
            Dense a = Random(s[0], s[1], rng);
            for (std::size_t k = 0; zeroLine && k < a.v.size(); ++k) {
                if (k % s[0] == s[0] / 2 || k / s[0] == s[1] / 2) a.v[k] = 0.0;
            }
            for (bool pivot : {true, false}) {
                Outs f;
                pivot ? Qr(f[0], f[1], f[2], ToArray(a).get(), false)
                      : Qr(f[0], f[1], ToArray(a).get(), false);
                const std::string what = Shape(s[0], s[1]) + (pivot ? " pivoted" : "");
                const Dense q = FromArray(f[0]), r = FromArray(f[1]);
                const Dense ae = pivot ? Times(a, FromArray(f[2])) : a;
                EXPECT_LT(Orthonormality(q), 30.0 * s[0] * kEps) << what;
                EXPECT_LE(Norm1(Gemm('N', 'N', -1.0, q, r, 1.0, ae)),
                          30.0 * std::max(s[0], s[1]) * Norm1(a) * kEps)
                    << what;
                for (std::size_t k = 0; k < r.v.size(); ++k)
                    EXPECT_TRUE(k % s[0] <= k / s[0] || Bits(r.v[k]) == 0) << what;
                for (std::size_t i = 0; pivot && i + 1 < std::min(s[0], s[1]); ++i)
                    EXPECT_GE(std::fabs(r(i, i)) * (1 + 1e-12), std::fabs(r(i + 1, i + 1))) << what;
            }
        }
    }
}

// A = U*S*V' with orthonormal U and V and a diagonal S that agrees with
// LAPACK's dgesvd, as do Norm(A, 2) and the values alone; products of rank
// k/2 keep their rank.
TEST(Svd, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s : std::vector<DimList>{{2, 2}, {7, 5}, {5, 7}, {1, 6}, {100, 50}}) {
        const unsigned int m = s[0], n = s[1], k = std::min(m, n);
        for (std::size_t rank : {std::size_t{k}, std::size_t{k / 2}}) {
            const Dense a =
                rank == k ? Random(m, n, rng) : Times(Random(m, rank, rng), Random(rank, n, rng));
            Dense af = a;
            const int mi = static_cast<int>(m), ni = static_cast<int>(n), one = 1;
            std::vector<double> want(k);
            WithWorkspace([&](double *work, const int *lwork, int *info) {
                dgesvd_("N", "N", &mi, &ni, af.v.data(), &mi, want.data(), nullptr, &one, nullptr,
                        &one, work, lwork, info, 1, 1);
            });
            const double tol = 30.0 * std::max(m, n) * kEps,
                         near = 1e-12 * std::max(m, n) * want[0];
            const std::string what = Shape(m, n);
            const ArrayPtr arg = ToArray(a);
            EXPECT_EQ(Rank(arg.get()), rank) << what;
            EXPECT_NEAR(Norm(arg.get(), 2.0), want[0], tol * want[0]) << what;
            const std::vector<double> values = Values(ArrayPtr(Svd(arg.get(), false)).get());
            for (bool economy : {false, true}) {
                Outs f;
                Svd(f[0], f[1], f[2], arg.get(), economy);
                EXPECT_EQ(Dims(f[0]), (DimList{m, economy ? k : m})) << what;
                EXPECT_EQ(Dims(f[1]), (DimList{economy ? k : m, economy ? k : n})) << what;
                EXPECT_EQ(Dims(f[2]), (DimList{n, economy ? k : n})) << what;
                const Dense u = FromArray(f[0]), sd = FromArray(f[1]), v = FromArray(f[2]);
                EXPECT_LE(Norm1(Gemm('N', 'T', 1.0, Times(u, sd), v, -1.0, a)), tol * Norm1(a))
                    << what;
                EXPECT_LE(Orthonormality(v), tol) << what;
                EXPECT_TRUE(rank < k || Orthonormality(u) <= tol) << what;
                for (std::size_t i = 0; i < k; ++i) {
                    EXPECT_NEAR(sd(i, i), want[i], near) << what << " " << i;
                    EXPECT_NEAR(values[i], want[i], near) << what << " " << i;
                }
            }
        }
    }
}

/// H*T*H with H a Householder reflection (its own inverse) and T upper
/// triangular with the eigenvalues i - n/2 + 1/4 in a random order: a
/// non-symmetric matrix with a known real spectrum.
Dense RealSpectrum(std::size_t n, std::mt19937_64 &rng, std::vector<double> &lambda) {
    Dense t = Random(n, n, rng);
    lambda.clear();
    for (std::size_t i = 0; i < n; ++i) lambda.push_back(static_cast<double>(i) - 0.5 * n + 0.25);
    std::shuffle(lambda.begin(), lambda.end(), rng);
    for (std::size_t k = 0; k < t.v.size(); ++k) {
        if (k % n >= k / n) t.v[k] = k % n == k / n ? lambda[k / n] : 0.0;
    }
    const Dense v = Random(n, 1, rng);
    double vv = 0.0;
    for (double x : v.v) vv += x * x;
    const Dense h = Gemm('N', 'T', -2.0 / vv, v, v, 1.0, Identity(n));
    return Times(Times(h, t), h);
}

std::vector<double> Dgeev(Dense a) {
    const int n = static_cast<int>(a.m), one = 1;
    std::vector<double> wr(a.m), wi(a.m);
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dgeev_("N", "N", &n, a.v.data(), &n, wr.data(), wi.data(), nullptr, &one, nullptr, &one,
               work, lwork, info, 1, 1);
    });
    for (std::size_t i = 0; i < a.m; ++i) wr[i] = wi[i] == 0.0 ? wr[i] : std::hypot(wr[i], wi[i]);
    return Sorted(wr);
}

// Sorted values, with and without balancing: B + B' against dsyev, a known
// real spectrum against it and dgeev, a random matrix's complex pairs as
// their modulus against dgeev.
TEST(Eig, ValuesAgreeWithLapack) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 5, 12, 33}) {
        const Dense b = Random(n, n, rng), s = Gemm('N', 'T', 1.0, Identity(n), b, 1.0, b);
        std::vector<double> lambda, wantS(n);
        const Dense g = RealSpectrum(n, rng, lambda), r = Random(n, n, rng);
        Dense sf = s;
        const int ni = static_cast<int>(n);
        WithWorkspace([&](double *work, const int *lwork, int *info) {
            dsyev_("N", "U", &ni, sf.v.data(), &ni, wantS.data(), work, lwork, info, 1, 1);
        });
        const std::vector<std::pair<Dense, std::vector<double>>> cases = {
            {s, wantS}, {g, Sorted(lambda)}, {g, Dgeev(g)}, {r, Dgeev(r)}};
        for (bool balance : {true, false}) {
            for (const auto &c : cases) {
                const std::vector<double> got =
                    Sorted(Values(ArrayPtr(Eig(ToArray(c.first).get(), balance)).get()));
                for (std::size_t i = 0; i < n; ++i)
                    EXPECT_NEAR(got[i], c.second[i], 1e3 * n * kEps * Norm1(c.first)) << n;
            }
        }
    }
}

// D holds the values of the one-output form, each column of V has unit
// length and a small residual A*v - lambda*v; the same seed gives the same
// V. Symmetric, real non-symmetric spectra and the zero matrix.
TEST(Eig, Eigenvectors) {
    std::mt19937_64 rng(Seed());
    std::vector<double> lambda;
    for (std::size_t n : {1, 3, 10, 33}) {
        const Dense b = Random(n, n, rng);
        for (const Dense &a : {Gemm('N', 'T', 1.0, Identity(n), b, 1.0, b),
                               RealSpectrum(n, rng, lambda), Dense(n, n)}) {
            for (bool balance : {true, false}) {
                const ArrayPtr arg = ToArray(a);
                Outs dv, again;
                kiv::RandSeed(Seed() + n);
                Eig(dv[0], dv[1], arg.get(), balance);
                kiv::RandSeed(Seed() + n);
                Eig(again[0], again[1], arg.get(), balance);
                EXPECT_EQ(matrix_test::BitsOf(again[1]), matrix_test::BitsOf(dv[1]));
                const ArrayPtr values(Eig(arg.get(), balance)), diag(Diag(values.get(), 0));
                EXPECT_EQ(matrix_test::BitsOf(dv[0]), matrix_test::BitsOf(diag.get()));
                const Dense v = FromArray(dv[1]);
                const Dense res = Gemm('N', 'N', -1.0, v, FromArray(dv[0]), 1.0, Times(a, v));
                for (std::size_t k = 0; k < n; ++k) {
                    double length = 0.0, worst = 0.0;
                    for (std::size_t i = 0; i < n; ++i) {
                        length += v(i, k) * v(i, k);
                        worst = std::max(worst, std::fabs(res(i, k)));
                    }
                    EXPECT_NEAR(std::sqrt(length), 1.0, 1e-14) << n << " column " << k;
                    EXPECT_LE(worst, 1e3 * n * kEps * Norm1(a)) << n << " column " << k;
                }
            }
        }
    }
}

// Within two ulps of hypot over magnitudes that would overflow or
// underflow a plain sum of squares.
TEST(SafeHypot, AgreesWithHypot) {
    std::mt19937_64 rng(Seed());
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-600, 600);
    for (int k = 0; k < 20000; ++k) {
        const double a = std::ldexp(uniform(rng), exponent(rng));
        const double b = k % 7 == 0 ? a : std::ldexp(uniform(rng), exponent(rng)) * (k % 11 > 0);
        const double want = std::hypot(a, b);
        ASSERT_LE(std::fabs(kiv::matrix::kernels::SafeHypot(a, b) - want), 2 * kEps * want)
            << a << ", " << b;
    }
}

}  // namespace
