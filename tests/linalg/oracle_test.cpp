// tests/linalg/oracle_test.cpp: the factorisations and solves against reference LAPACK and BLAS
// or as a scaled residual, on random inputs of MATRIX_TEST_SEED; Qr, least squares and
// eigenvectors are checked so in both orders by order_test.cpp.
#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

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

// --- Complex and single against reference BLAS and LAPACK -----------------------------------

extern "C" {
using Cf = std::complex<float>;
using Cd = std::complex<double>;
void sgemm_(const char *, const char *, Fint, Fint, Fint, const float *, const float *, Fint,
            const float *, Fint, const float *, float *, Fint, Flen, Flen);
void cgemm_(const char *, const char *, Fint, Fint, Fint, const Cf *, const Cf *, Fint, const Cf *,
            Fint, const Cf *, Cf *, Fint, Flen, Flen);
void zgemm_(const char *, const char *, Fint, Fint, Fint, const Cd *, const Cd *, Fint, const Cd *,
            Fint, const Cd *, Cd *, Fint, Flen, Flen);
void sgetrf_(Fint, Fint, float *, Fint, int *, int *);
void cgetrf_(Fint, Fint, Cf *, Fint, int *, int *);
void zgetrf_(Fint, Fint, Cd *, Fint, int *, int *);
void sgetrs_(const char *, Fint, Fint, const float *, Fint, const int *, float *, Fint, int *, Flen);
void cgetrs_(const char *, Fint, Fint, const Cf *, Fint, const int *, Cf *, Fint, int *, Flen);
void zgetrs_(const char *, Fint, Fint, const Cd *, Fint, const int *, Cd *, Fint, int *, Flen);
void sgecon_(const char *, Fint, const float *, Fint, const float *, float *, float *, int *, int *,
             Flen);
void cgecon_(const char *, Fint, const Cf *, Fint, const float *, float *, Cf *, float *, int *,
             Flen);
void zgecon_(const char *, Fint, const Cd *, Fint, const double *, double *, Cd *, double *, int *,
             Flen);
}

namespace {

// One element type's reference routines, and its array class.
template <class T>
struct Reference;
template <>
struct Reference<float> {
    static constexpr auto gemm = sgemm_;
    static constexpr auto getrf = sgetrf_;
    static constexpr auto getrs = sgetrs_;
    static float Gecon(int n, const float *lu, float anorm) {
        float rcond = 0;
        std::vector<float> work(4 * n);
        std::vector<int> iwork(n);
        int info = 0;
        sgecon_("1", &n, lu, &n, &anorm, &rcond, work.data(), iwork.data(), &info, 1);
        return rcond;
    }
};
template <class R, class C, class Gecon>
R ComplexGecon(int n, const C *lu, R anorm, Gecon gecon) {
    R rcond = 0;
    std::vector<C> work(2 * n);
    std::vector<R> rwork(2 * n);
    int info = 0;
    gecon("1", &n, lu, &n, &anorm, &rcond, work.data(), rwork.data(), &info, 1);
    return rcond;
}
template <>
struct Reference<Cf> {
    static constexpr auto gemm = cgemm_;
    static constexpr auto getrf = cgetrf_;
    static constexpr auto getrs = cgetrs_;
    static float Gecon(int n, const Cf *lu, float anorm) {
        return ComplexGecon(n, lu, anorm, cgecon_);
    }
};
template <>
struct Reference<Cd> {
    static constexpr auto gemm = zgemm_;
    static constexpr auto getrf = zgetrf_;
    static constexpr auto getrs = zgetrs_;
    static double Gecon(int n, const Cd *lu, double anorm) {
        return ComplexGecon(n, lu, anorm, zgecon_);
    }
};

template <class T>
constexpr bool kComplexT = !std::is_same<T, float>::value;
template <class T>
constexpr mxClassID kClassT =
    std::is_same<T, float>::value || std::is_same<T, Cf>::value ? mxClassSingle : mxClassDouble;
template <class T>
using RealOfT = std::conditional_t<std::is_same<T, float>::value, float,
                                   std::conditional_t<std::is_same<T, Cf>::value, float, double>>;

template <class T>
struct Mat {
    std::size_t m, n;
    std::vector<T> v;
    T &operator()(std::size_t i, std::size_t j) { return v[i + j * m]; }
};

template <class T>
Mat<T> RandomMat(std::size_t m, std::size_t n, std::mt19937_64 &rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Mat<T> a{m, n, std::vector<T>(m * n)};
    for (T &x : a.v) {
        if constexpr (kComplexT<T>) {
            x = T(RealOfT<T>(u(rng)), RealOfT<T>(u(rng)));
        } else {
            x = T(u(rng));
        }
    }
    return a;
}

template <class T>
ArrayPtr ToClassArray(const Mat<T> &a) {
    using R = RealOfT<T>;
    const unsigned int dims[2] = {unsigned(a.m), unsigned(a.n)};
    ArrayPtr r(mxCreateNumericArray(2, dims, kClassT<T>,
                                    kComplexT<T> ? mxComplexityComplex : mxComplexityReal));
    for (std::size_t k = 0; k < a.v.size(); ++k) {
        if constexpr (kComplexT<T>) {
            static_cast<R *>(r->GetPr())[k] = a.v[k].real();
            static_cast<R *>(r->GetPi())[k] = a.v[k].imag();
        } else {
            static_cast<R *>(r->GetPr())[k] = a.v[k];
        }
    }
    return r;
}

// The array's elements as T (a real array's imaginary parts 0); its class
// must be T's.
template <class T>
Mat<T> FromClassArray(const CMatrix *a) {
    using R = RealOfT<T>;
    EXPECT_EQ(a->GetClassID(), kClassT<T>);
    Mat<T> r{mxGetM(a), mxGetN(a), std::vector<T>(a->GetNoElems())};
    const R *re = static_cast<const R *>(a->GetPr()), *im = static_cast<const R *>(a->GetPi());
    for (std::size_t k = 0; k < r.v.size(); ++k) {
        if constexpr (kComplexT<T>) {
            r.v[k] = T(re[k], im != nullptr ? im[k] : R(0));
        } else {
            r.v[k] = re[k];
        }
    }
    return r;
}

template <class T>
Mat<T> Gemm(const Mat<T> &a, const Mat<T> &b, T beta = T(0), Mat<T> c = {}) {
    if (c.v.empty()) c = Mat<T>{a.m, b.n, std::vector<T>(a.m * b.n)};
    const int m = int(a.m), n = int(b.n), k = int(a.n);
    const T one(1);
    Reference<T>::gemm("N", "N", &m, &n, &k, &one, a.v.data(), &m, b.v.data(), &k, &beta,
                       c.v.data(), &m, 1, 1);
    return c;
}

template <class T>
Mat<T> Adjoint(const Mat<T> &a) {
    Mat<T> t{a.n, a.m, std::vector<T>(a.v.size())};
    for (std::size_t j = 0; j < a.n; ++j)
        for (std::size_t i = 0; i < a.m; ++i) {
            if constexpr (kComplexT<T>) {
                t(j, i) = std::conj(a.v[i + j * a.m]);
            } else {
                t(j, i) = a.v[i + j * a.m];
            }
        }
    return t;
}

template <class T>
double MaxAbs(const Mat<T> &a) {
    double big = 0;
    for (const T &x : a.v) big = std::max(big, double(std::abs(x)));
    return big;
}

// ||A*X - B||max / (n eps ||A||max ||X||max): a backward error, which
// elimination with partial pivoting keeps near 1 for these inputs.
template <class T>
double ScaledResidual(const Mat<T> &a, const Mat<T> &x, Mat<T> b) {
    const double eps = std::numeric_limits<RealOfT<T>>::epsilon();
    const Mat<T> r = Gemm(a, x, T(-1), b);
    return MaxAbs(r) / (double(a.n) * eps * MaxAbs(a) * MaxAbs(x));
}

template <class T>
void CheckAgainstReference(std::mt19937_64 &rng, const char *what) {
    using R = RealOfT<T>;
    const double eps = std::numeric_limits<R>::epsilon();
    for (std::size_t n : {1u, 2u, 17u, 70u}) {
        const std::string at = std::string(what) + " n=" + std::to_string(n);
        const Mat<T> a = RandomMat<T>(n, n, rng), b = RandomMat<T>(n, 3, rng);
        const ArrayPtr A = ToClassArray(a), B = ToClassArray(b);
        // The product, element by element within an inner product's bound.
        const Mat<T> c = FromClassArray<T>(ArrayPtr(Mtimes(A.get(), B.get())).get()),
                     want = Gemm(a, b);
        for (std::size_t k = 0; k < c.v.size(); ++k)
            EXPECT_LE(std::abs(c.v[k] - want.v[k]), 8.0 * n * eps) << at;
        // LAPACK's solve and ours, each by its residual.
        Mat<T> lu = a, xr = b;
        std::vector<int> ipiv(n);
        int info = 0, ni = int(n), k3 = 3;
        Reference<T>::getrf(&ni, &ni, lu.v.data(), &ni, ipiv.data(), &info);
        Reference<T>::getrs("N", &ni, &k3, lu.v.data(), &ni, ipiv.data(), xr.v.data(), &ni, &info,
                            1);
        double rcond = 0;
        const Mat<T> x = FromClassArray<T>(ArrayPtr(Mldivide(A.get(), B.get(), rcond)).get());
        EXPECT_LE(ScaledResidual(a, xr, b), 8.0) << at << " LAPACK";
        EXPECT_LE(ScaledResidual(a, x, b), 8.0) << at;
        // Y*A = C by Mrdivide: A'*Y' = C' by residual.
        const Mat<T> cm = RandomMat<T>(3, n, rng);
        const Mat<T> y = FromClassArray<T>(
            ArrayPtr(Mrdivide(ToClassArray(cm).get(), A.get())).get());
        EXPECT_LE(ScaledResidual(Adjoint(a), Adjoint(y), Adjoint(cm)), 8.0) << at << " Mrdivide";
        // The estimate against LAPACK's, in the 1-norm.
        double anorm = 0;
        for (std::size_t j = 0; j < n; ++j) {
            double s = 0;
            for (std::size_t i = 0; i < n; ++i) s += std::abs(a.v[i + j * n]);
            anorm = std::max(anorm, s);
        }
        const double lapack = Reference<T>::Gecon(ni, lu.v.data(), R(anorm));
        // (A one-element A divides element-wise and gives no estimate.)
        if (n > 1) {
            EXPECT_TRUE(rcond <= 10 * lapack && lapack <= 10 * rcond)
                << at << ": " << rcond << " vs " << lapack;
            EXPECT_EQ(Rcond(A.get()), rcond) << at;
        }
        // Det against the product of LAPACK's pivots, interchanges counted.
        T det(1);
        for (std::size_t i = 0; i < n; ++i) det = det * (ipiv[i] != int(i + 1) ? -lu.v[i + i * n] : lu.v[i + i * n]);
        const Mat<T> d = FromClassArray<T>(ArrayPtr(DetArray(A.get())).get());
        if (n < 70) {  // (a 70 x 70 complex determinant overflows single)
            EXPECT_LE(std::abs(d.v[0] - det), 1e3 * n * eps * std::abs(det)) << at;
        }
        // P*A = L*U and A = L*U, and A*inv(A) = I.
        CMatrix *l, *u, *p, *l2, *u2;
        Lu(l, u, p, A.get());
        Lu(l2, u2, A.get());
        const ArrayPtr L(l), U(u), P(p), L2(l2), U2(u2);
        const Mat<T> pa = FromClassArray<T>(ArrayPtr(Mtimes(P.get(), A.get())).get());
        const Mat<T> lm = FromClassArray<T>(L.get()), um = FromClassArray<T>(U.get());
        const Mat<T> l2m = FromClassArray<T>(L2.get());
        EXPECT_TRUE(FromClassArray<T>(U2.get()).v == um.v) << at;
        EXPECT_LE(MaxAbs(Gemm(lm, um, T(-1), pa)), 8.0 * n * eps * MaxAbs(a)) << at << " PA = LU";
        EXPECT_LE(MaxAbs(Gemm(l2m, um, T(-1), a)), 8.0 * n * eps * MaxAbs(a)) << at << " A = LU";
        const Mat<T> inv = FromClassArray<T>(ArrayPtr(Inv(A.get())).get());
        Mat<T> eye{n, n, std::vector<T>(n * n)};
        for (std::size_t i = 0; i < n; ++i) eye(i, i) = T(1);
        EXPECT_LE(ScaledResidual(a, inv, eye), 8.0) << at << " inverse";
    }
}

TEST(Classes, AgreeWithReferenceBlasAndLapack) {
    std::mt19937_64 rng(Seed());
    for (Order order : {Order::kStated, Order::kFast}) {
        SetOrder(order);
        CheckAgainstReference<float>(rng, "single");
        CheckAgainstReference<Cf>(rng, "complex single");
        CheckAgainstReference<Cd>(rng, "complex double");
    }
    SetOrder(Order::kStated);
}

}  // namespace
