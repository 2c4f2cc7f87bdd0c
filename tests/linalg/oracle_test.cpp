// tests/linalg/oracle_test.cpp: the factorisations and solves against reference LAPACK and BLAS
// or as a scaled residual, on random inputs of MATRIX_TEST_SEED; Qr, least squares and
// eigenvectors are checked so in both orders by order_test.cpp.
#include <algorithm>
#include <cmath>
#include <utility>

#include <matrix/order.h>

#include "linalg/linalg_test_util.h"

extern "C" {
void dgetri_(Fint n, double *a, Fint lda, const int *ipiv, double *work, Fint lwork, int *info);
void dgecon_(const char *norm, Fint n, const double *a, Fint lda, const double *anorm,
             double *rcond, double *work, int *iwork, int *info, Flen);
}

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

// Element by element within the bound of an inner product of k terms.
TEST(Mtimes, AgreesWithBlas) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s : std::vector<DimList>{{7, 5, 6}, {33, 64, 17}, {1, 300, 19}}) {
        const Dense a = Random(s[0], s[1], rng), b = Random(s[1], s[2], rng), want = Times(a, b);
        const Dense c = FromArray(ArrayPtr(Mtimes(ToArray(a).get(), ToArray(b).get())).get());
        for (std::size_t k = 0; k < c.v.size(); ++k)
            EXPECT_NEAR(c.v[k], want.v[k], 2.0 * s[1] * kEps) << s[0] << "x" << s[2];
    }
}

// The reciprocal condition estimate is a lower bound of the true one's
// inverse norm: at least the true reciprocal (1/(norm1(A)*norm1(inv(A))),
// the inverse from LAPACK), rarely more than 3 times it (10 allowed, as for
// LAPACK's own dgecon), and within 3 times dgecon's. The solve with an estimate gives the
// plain solve's bits, in both orders, triangles included.
TEST(Rcond, BoundsTheTrueReciprocalCondition) {
    std::mt19937_64 rng(Seed());
    std::vector<Dense> cases;
    for (std::size_t n : {1u, 2u, 9u, 60u}) cases.push_back(Random(n, n, rng));
    Dense hilbert(10, 10), upper = Random(30, 30, rng), lower = Random(30, 30, rng);
    for (std::size_t j = 0; j < 10; ++j)
        for (std::size_t i = 0; i < 10; ++i) hilbert(i, j) = 1.0 / static_cast<double>(i + j + 1);
    for (std::size_t j = 0; j < 30; ++j) {
        for (std::size_t i = 0; i < 30; ++i) {
            if (i > j) upper(i, j) = 0.0;
            if (i < j) lower(i, j) = 0.0;
        }
        upper(j, j) += 2.0;
        lower(j, j) -= 2.0;
    }
    cases.insert(cases.end(), {hilbert, upper, lower});
    for (const Dense &a : cases) {
        const int n = static_cast<int>(a.m);
        Dense lu = a;
        std::vector<int> ipiv(a.m);
        int info = 0;
        dgetrf_(&n, &n, lu.v.data(), &n, ipiv.data(), &info);
        ASSERT_EQ(info, 0);
        const double anorm = dlange_("1", &n, &n, a.v.data(), &n, nullptr, 1);
        double lapack = 0.0;
        std::vector<double> work(4 * a.m);
        std::vector<int> iwork(a.m);
        dgecon_("1", &n, lu.v.data(), &n, &anorm, &lapack, work.data(), iwork.data(), &info, 1);
        WithWorkspace([&](double *w, const int *lwork, int *inf) {
            dgetri_(&n, lu.v.data(), &n, ipiv.data(), w, lwork, inf);
        });
        const double truth = 1.0 / (anorm * dlange_("1", &n, &n, lu.v.data(), &n, nullptr, 1));
        const ArrayPtr A = ToArray(a), B = ToArray(Random(a.m, 2, rng));
        const double rcond = Rcond(A.get());
        EXPECT_TRUE(rcond >= truth * (1 - 1e-6) && rcond <= 10 * truth && rcond <= 3 * lapack && lapack <= 3 * rcond) << n << ": " << rcond
                                                                         << " vs " << truth;
        EXPECT_TRUE(lapack >= truth * (1 - 1e-6) && lapack <= 10 * truth) << n;
        for (Order order : {Order::kStated, Order::kFast}) {
            SetOrder(order);
            double fromSolve = 0.0;
            const ArrayPtr X(Mldivide(A.get(), B.get(), fromSolve));
            EXPECT_EQ(matrix_test::BitsOf(X.get()), matrix_test::BitsOf(ArrayPtr(Mldivide(A.get(), B.get())).get())) << n;
            // One element divides element-wise: no estimate.
            EXPECT_TRUE(n == 1 ? std::isnan(fromSolve)
                               : fromSolve >= truth * (1 - 1e-6) && fromSolve <= 10 * truth)
                << n;
        }
        SetOrder(Order::kStated);
    }
    // Exactly singular, zero, NaN, empty, and the forms without an estimate.
    double rcond = 0.5;
    EXPECT_EQ(Rcond(Matrix(2, 2, {1, 2, 2, 4}).get()), 0.0);
    EXPECT_EQ(Rcond(Matrix(2, 2, {0, 0, 0, 0}).get()), 0.0);
    EXPECT_TRUE(std::isnan(Rcond(Matrix(2, 2, {1, kNaN, 0, 1}).get())));
    EXPECT_EQ(Rcond(Matrix(0, 0, {}).get()), kInf);
    EXPECT_THROW(Rcond(Matrix(2, 3, {1, 2, 3, 4, 5, 6}).get()), CMatrixMustBeSquareException);
    SetOrder(Order::kFast);
    ArrayPtr(Mldivide(Matrix(2, 2, {1, 0, 2, 0}).get(), Matrix(2, 1, {1, 1}).get(), rcond));
    EXPECT_EQ(rcond, 0.0);  // a triangle with a zero on its diagonal
    SetOrder(Order::kStated);
    ArrayPtr(Mldivide(Matrix(3, 2, {1, 2, 3, 4, 5, 7}).get(), Matrix(3, 1, {1, 1, 1}).get(), rcond));
    EXPECT_TRUE(std::isnan(rcond));
    rcond = 0.5;
    const ArrayPtr square = Matrix(2, 2, {1, 2, 3, 4}), three = Matrix(3, 1, {1, 1, 1});
    EXPECT_THROW(ArrayPtr(Mldivide(square.get(), three.get(), rcond)),
                 CMatrixDimsMustAgreeException);
    EXPECT_EQ(rcond, 0.5);
    // Inv and Mrdivide: their own bits, and the estimate of the matrix solved with.
    const ArrayPtr A = Matrix(3, 3, {4, 1, 2, 1, 5, 1, 0, 2, 6}), At(Ctranspose(A.get()));
    const ArrayPtr I(Eye(3)), R = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    double fromInv = 0, fromRight = 0, want = 0;
    EXPECT_EQ(matrix_test::BitsOf(ArrayPtr(Inv(A.get(), fromInv)).get()),
              matrix_test::BitsOf(ArrayPtr(Inv(A.get())).get()));
    EXPECT_EQ(matrix_test::BitsOf(ArrayPtr(Mrdivide(R.get(), A.get(), fromRight)).get()),
              matrix_test::BitsOf(ArrayPtr(Mrdivide(R.get(), A.get())).get()));
    ArrayPtr(Mldivide(A.get(), I.get(), want));
    EXPECT_EQ(fromInv, want);
    EXPECT_EQ(fromRight, Rcond(At.get()));
    ArrayPtr(Inv(Matrix(1, 1, {0}).get(), fromInv));
    EXPECT_EQ(fromInv, 0.0);
}

// P*A = L*U and A = L2*U as scaled residuals; Det against the diagonal of
// LAPACK's dgetrf with the sign of its interchanges. The square solve's
// relative residual, and Mrdivide's X = (B'\A')' bit for bit.
TEST(Lu, AgreesWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 3, 10, 100, 128}) {
        Dense a = Random(n, n, rng), b = Random(n, 4, rng);
        const ArrayPtr arg = ToArray(a), rhs = ToArray(b);
        Outs f, g;
        Lu(f[0], f[1], f[2], arg.get());
        Lu(g[0], g[1], arg.get());
        const Dense l = FromArray(f[0]), u = FromArray(f[1]);
        EXPECT_LT(Misfit(l, u, Times(FromArray(f[2]), a)), 30.0 * n * Norm1(a) * kEps) << n;
        EXPECT_LT(Misfit(FromArray(g[0]), u, a), 30.0 * n * Norm1(a) * kEps) << n;
        const Dense x = FromArray(ArrayPtr(Mldivide(arg.get(), rhs.get())).get());
        EXPECT_LE(Misfit(a, x, b) / (Norm1(a) * Norm1(x)), 1e-13) << n;
        const ArrayPtr at(Transpose(arg.get())), bt(Transpose(rhs.get()));
        const ArrayPtr y(Mrdivide(bt.get(), at.get())), yt(Transpose(y.get()));
        EXPECT_EQ(matrix_test::BitsOf(yt.get()), matrix_test::BitsOf(x.v)) << n;
        const int ni = static_cast<int>(n);
        std::vector<int> ipiv(n);
        int info = 0;
        dgetrf_(&ni, &ni, a.v.data(), &ni, ipiv.data(), &info);
        double want = 1.0;
        for (std::size_t i = 0; i < n; ++i) want *= ipiv[i] != int(i + 1) ? -a(i, i) : a(i, i);
        EXPECT_LE(std::fabs(Det(arg.get()) - want), 1e-10 * std::fabs(want)) << n;
    }
}

// A wide system of rank 3 without zero columns gets a basic solution with
// at most 3 non-zeros; the full-rank ones and those with zero columns are
// checked against dgelsy in order_test.cpp.
TEST(Mldivide, RankDeficientWideGetsABasicSolution) {
    std::mt19937_64 rng(Seed());
    const Dense a = Times(Random(3, 3, rng), Random(3, 8, rng)), b = Random(3, 1, rng);
    const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
    EXPECT_LE(std::count(x.v.begin(), x.v.end(), 0.0), 5);
    EXPECT_LE(Misfit(a, x, b), 1e-12 * Norm1(a) * Norm1(x));
}

// Against LAPACK's dpotrf on B'*B + (n+1)*I, whose lower triangle holds
// garbage that must not be read; R'*R reproduces A; made indefinite, the
// form with ok fails.
TEST(Chol, AgreesWithDpotrf) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 5, 33, 150, 160}) {
        const Dense b = Random(n, n, rng);
        Dense a = Gemm('T', 'N', 1.0, b, b, 1.0 + n, Identity(n)), garbage = a, lapack = a;
        for (std::size_t k = 0; k < a.v.size(); ++k) {
            if (k % n > k / n) garbage.v[k] = k % 2 ? 1e300 : kNaN;
        }
        const int ni = static_cast<int>(n);
        int info = -1;
        dpotrf_("U", &ni, lapack.v.data(), &ni, &info, 1);
        // R's block may be one freed a moment ago, NaNs and all.
        { const ArrayPtr dirty[] = {ToArray(garbage), ToArray(garbage), ToArray(garbage)}; }
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

// A = U*S*V' with orthonormal U and V and a diagonal S that agrees with
// LAPACK's dgesvd, as do Norm(A, 2) and the values alone; products of rank
// k/2 keep their rank. 128 rows (or columns) take a working copy with a
// longer leading dimension.
TEST(Svd, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s :
         std::vector<DimList>{{2, 2}, {7, 5}, {5, 7}, {1, 6}, {100, 50}, {128, 40}, {40, 128}}) {
        const unsigned int m = s[0], n = s[1], k = std::min(m, n);
        for (unsigned int rank : {k, k / 2}) {
            const Dense a =
                rank == k ? Random(m, n, rng) : Times(Random(m, rank, rng), Random(rank, n, rng));
            Dense af = a;
            const int mi = static_cast<int>(m), ni = static_cast<int>(n), one = 1;
            std::vector<double> want(k);
            WithWorkspace([&](double *work, const int *lwork, int *info) {
                dgesvd_("N", "N", &mi, &ni, af.v.data(), &mi, want.data(), nullptr, &one, nullptr,
                        &one, work, lwork, info, 1, 1);
            });
            const double tol = 30.0 * std::max(m, n) * kEps, near = tol * want[0];
            const std::string what = std::to_string(m) + "x" + std::to_string(n);
            const ArrayPtr arg = ToArray(a);
            EXPECT_EQ(Rank(arg.get()), rank) << what;
            EXPECT_NEAR(Norm(arg.get(), 2.0), want[0], near) << what;
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

/// A's eigenvalues as dgeev gives them, sorted by real part, then by
/// imaginary part.
std::vector<std::pair<double, double>> Dgeev(Dense a) {
    const int n = static_cast<int>(a.m), one = 1;
    std::vector<double> wr(a.m), wi(a.m);
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dgeev_("N", "N", &n, a.v.data(), &n, wr.data(), wi.data(), nullptr, &one, nullptr, &one,
               work, lwork, info, 1, 1);
    });
    std::vector<std::pair<double, double>> w;
    for (std::size_t i = 0; i < a.m; ++i) w.emplace_back(wr[i], wi[i]);
    std::sort(w.begin(), w.end());
    return w;
}

/// Eig's values as (real, imaginary) pairs in its order.
std::vector<std::pair<double, double>> EigPairs(const CMatrix *w) {
    const Split s = FromSplitArray(w);
    std::vector<std::pair<double, double>> pairs;
    for (std::size_t i = 0; i < s.re.v.size(); ++i) pairs.emplace_back(s.re.v[i], s.im.v[i]);
    return pairs;
}

// With and without balancing, the values of B + B', of H*T*H (see
// RealSpectrum) and of random matrices (complex pairs among them) against
// dgeev, matched after sorting; a complex pair is side by side, its
// positive imaginary part first, and an all-real spectrum gives a real
// array. The vectors' residuals are checked in both orders in
// order_test.cpp.
TEST(Eig, ValuesAgreeWithDgeev) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 5, 6, 12, 33, 50}) {
        std::vector<Dense> cases = RealSpectrum(n, rng);
        cases.resize(2);
        cases.push_back(Random(n, n, rng));
        cases.push_back(Random(n, n, rng));
        for (const Dense &a : cases) {
            const std::vector<std::pair<double, double>> want = Dgeev(a);
            bool complex = false;
            for (const auto &w : want) complex = complex || w.second != 0.0;
            const double tol = 1e3 * n * kEps * Norm1(a);
            for (bool balance : {true, false}) {
                const ArrayPtr values(Eig(ToArray(a).get(), balance));
                EXPECT_EQ(mxIsComplex(values.get()), complex) << n;
                std::vector<std::pair<double, double>> got = EigPairs(values.get());
                for (std::size_t i = 0; i < n; ++i) {
                    if (got[i].second > 0.0) {
                        ASSERT_LT(i + 1, n);
                        EXPECT_EQ(Bits(got[i + 1].first), Bits(got[i].first));
                        EXPECT_EQ(Bits(got[i + 1].second), Bits(-got[i].second));
                        ++i;
                    } else {
                        EXPECT_EQ(got[i].second, 0.0) << n << " unpaired " << i;
                    }
                }
                std::sort(got.begin(), got.end());
                for (std::size_t i = 0; i < n; ++i) {
                    EXPECT_NEAR(got[i].first, want[i].first, tol) << n;
                    EXPECT_NEAR(got[i].second, want[i].second, tol) << n;
                }
            }
        }
    }
}

}  // namespace
