// tests/linalg/eig_test.cpp: tests of balancing, Hessenberg reduction and the QR eigenvalue kernel, and of Eig in both forms.
#include <matrix/matrix.h>

#include <kiv/random.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "linalg/kernels/eig_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/spectral_reference.h"
#include "support/matrix_test.h"

extern "C" {
void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w,
            double *work, const int *lwork, int *info, std::size_t jobzLength,
            std::size_t uploLength);
void dgeev_(const char *jobvl, const char *jobvr, const int *n, double *a, const int *lda,
            double *wr, double *wi, double *vl, const int *ldvl, double *vr, const int *ldvr,
            double *work, const int *lwork, int *info, std::size_t jobvlLength,
            std::size_t jobvrLength);
}

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
namespace kernels = kiv::matrix::kernels;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNDArray[] = L"Operation on ND array is not defined";
const wchar_t kNotSquare[] = L"Matrix must be square";
const double kEps = std::ldexp(1.0, -52);
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

const std::vector<std::size_t> kOrders = {1, 2, 3, 4, 5, 7, 10, 16, 33, 48};

struct Decomposition {
    ArrayPtr d, v;
};

Decomposition Two(const CMatrix *a, bool balance) {
    CMatrix *d = nullptr, *v = nullptr;
    Eig(d, v, a, balance);
    return {ArrayPtr(d), ArrayPtr(v)};
}

Dense Symmetric(std::size_t n, std::mt19937_64 &rng) {
    const Dense b = Random(n, n, rng, Fill::kUniform);
    Dense a(n, n);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < n; ++i) a(i, j) = b(i, j) + b(j, i);
    }
    return a;
}

// H*T*H with H a Householder reflection (its own inverse) and T upper
// triangular with the eigenvalues 1, 2, ..., n on its diagonal (in a random
// order and sign pattern shifted by n/2): a non-symmetric matrix with a
// known real spectrum.
Dense RealSpectrum(std::size_t n, std::mt19937_64 &rng, std::vector<double> &lambda) {
    Dense t = Random(n, n, rng, Fill::kUniform);
    lambda.clear();
    for (std::size_t i = 0; i < n; ++i) lambda.push_back(static_cast<double>(i) - 0.5 * n + 0.25);
    std::shuffle(lambda.begin(), lambda.end(), rng);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = j; i < n; ++i) t(i, j) = i == j ? lambda[i] : 0.0;
    }
    const Dense v = Random(n, 1, rng, Fill::kUniform);
    double vv = 0.0;
    for (double x : v.v) vv += x * x;
    const Dense h = Gemm('N', 'T', -2.0 / vv, v, v, 1.0, Identity(n));
    const Dense ht = Gemm('N', 'N', 1.0, h, t, 0.0, Dense(n, n));
    return Gemm('N', 'N', 1.0, ht, h, 0.0, Dense(n, n));
}

std::vector<double> Dsyev(Dense a) {
    const int n = static_cast<int>(a.m);
    std::vector<double> w(a.m);
    int lwork = -1, info = 0;
    double query;
    dsyev_("N", "U", &n, a.v.data(), &n, w.data(), &query, &lwork, &info, 1, 1);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    dsyev_("N", "U", &n, a.v.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
    EXPECT_EQ(info, 0);
    return w;
}

std::vector<double> Dgeev(Dense a, std::vector<double> &wi) {
    const int n = static_cast<int>(a.m), one = 1;
    std::vector<double> wr(a.m);
    wi.assign(a.m, 0.0);
    int lwork = -1, info = 0;
    double query;
    dgeev_("N", "N", &n, a.v.data(), &n, wr.data(), wi.data(), nullptr, &one, nullptr, &one,
           &query, &lwork, &info, 1, 1);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    dgeev_("N", "N", &n, a.v.data(), &n, wr.data(), wi.data(), nullptr, &one, nullptr, &one,
           work.data(), &lwork, &info, 1, 1);
    EXPECT_EQ(info, 0);
    return wr;
}

void ExpectSameBits(const std::vector<double> &got, const std::vector<double> &want,
                    const std::string &what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(Bits(got[i]), Bits(want[i])) << what << " [" << i << "]: " << got[i] << " vs "
                                               << want[i];
    }
}

// Random general, symmetric, real-spectrum and graded matrices.
std::vector<Dense> Inputs(std::size_t n, std::mt19937_64 &rng) {
    std::vector<double> lambda;
    Dense graded = Random(n, n, rng, Fill::kUniform);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            graded(i, j) = std::ldexp(graded(i, j), 3 * (int(i) - int(j)));
        }
    }
    // The cyclic shift: eigenvalues on the unit circle, where the plain
    // double shift stalls and the exceptional shifts take over.
    Dense cyclic(n, n);
    for (std::size_t i = 0; i < n; ++i) cyclic((i + 1) % n, i) = 1.0;
    return {Random(n, n, rng, Fill::kGeneral), Random(n, n, rng, Fill::kZeroLine),
            Symmetric(n, rng), RealSpectrum(n, rng, lambda), graded, cyclic};
}

TEST(EigKernels, SameBitsAsStatedOrderOnPaddedBuffers) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        for (const Dense &a : Inputs(n, rng)) {
            const std::string what = "n = " + std::to_string(n);
            Dense balanced = a;
            ref::Balance(balanced);
            Padded pb(a);
            kernels::Balance(n, pb.Data(), pb.Ld());
            linalg_test::ExpectSameBits(pb.Contents(), balanced, what + " Balance");

            Dense hess = balanced;
            ref::ReduceToHessenberg(hess);
            kernels::ReduceToHessenberg(n, pb.Data(), pb.Ld());
            linalg_test::ExpectSameBits(pb.Contents(), hess, what + " ReduceToHessenberg");

            std::vector<double> wr, wi, gotWr(n), gotWi(n);
            const std::size_t status = ref::HessenbergEigenvalues(hess, wr, wi);
            EXPECT_EQ(kernels::HessenbergEigenvalues(n, pb.Data(), pb.Ld(), gotWr.data(),
                                                     gotWi.data()),
                      status)
                << what;
            ExpectSameBits(gotWr, wr, what + " wr");
            ExpectSameBits(gotWi, wi, what + " wi");
            linalg_test::ExpectSameBits(pb.Contents(), hess, what + " QR iterate");
            EXPECT_TRUE(pb.PaddingIntact()) << what;
        }
    }
}

TEST(Eig, ValuesSameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        for (const Dense &a : Inputs(n, rng)) {
            const ArrayPtr arg = ToArray(a);
            for (bool balance : {true, false}) {
                Dense want(n, 1);
                want.v = ref::EigValues(a, balance);
                const std::string what = "n = " + std::to_string(n) + (balance ? " balanced" : "");
                linalg_test::ExpectSameBits(ArrayPtr(Eig(arg.get(), balance)).get(), want, what);
            }
        }
    }
    // D of the two-output form holds the same values on its diagonal.
    const Dense a = Random(6, 6, rng);
    const Decomposition dv = Two(ToArray(a).get(), true);
    Dense d(6, 6);
    const std::vector<double> values = ref::EigValues(a, true);
    for (std::size_t i = 0; i < 6; ++i) d(i, i) = values[i];
    linalg_test::ExpectSameBits(dv.d.get(), d, "D");
}

TEST(Eig, WorkedExamples) {
    EXPECT_EQ(Values(ArrayPtr(Eig(ArrayPtr(Matrix(2, 2, {2, 0, 0, 3})).get(), true)).get()),
              (std::vector<double>{2, 3}));
    EXPECT_EQ(Values(ArrayPtr(Eig(ArrayPtr(Matrix(2, 2, {3, 0, 0, 2})).get(), false)).get()),
              (std::vector<double>{3, 2}));
    // +/- i become their modulus.
    EXPECT_EQ(Values(ArrayPtr(Eig(ArrayPtr(Matrix(2, 2, {0, -1, 1, 0})).get(), true)).get()),
              (std::vector<double>{1, 1}));

    const ArrayPtr a = Matrix(2, 2, {2, 1, 1, 2});
    EXPECT_EQ(Values(ArrayPtr(Eig(a.get(), true)).get()), (std::vector<double>{3, 1}));
    kiv::RandSeed(Seed());
    const Decomposition dv = Two(a.get(), true);
    EXPECT_EQ(Values(dv.d.get()), (std::vector<double>{3, 0, 0, 1}));
    const Dense v = FromArray(dv.v.get());
    const double r = 1.0 / std::sqrt(2.0);
    EXPECT_NEAR(std::fabs(v(0, 0)), r, 1e-9);
    EXPECT_NEAR(v(1, 0), v(0, 0), 1e-9);
    EXPECT_NEAR(std::fabs(v(0, 1)), r, 1e-9);
    EXPECT_NEAR(v(1, 1), -v(0, 1), 1e-9);

    // Badly scaled: with and without balancing within a few ulps of 0 and 2.
    const ArrayPtr b = Matrix(2, 2, {1, 1e-6, 1e6, 1});
    const std::vector<double> with = Values(ArrayPtr(Eig(b.get(), true)).get());
    const std::vector<double> without = Values(ArrayPtr(Eig(b.get(), false)).get());
    for (std::size_t i = 0; i < 2; ++i) EXPECT_NEAR(with[i], without[i], 8 * kEps);
    std::vector<double> sorted = with;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(sorted[0], 0.0, 8 * kEps);
    EXPECT_NEAR(sorted[1], 2.0, 8 * kEps);
}

// A 1 x 1 matrix: its element, and V = +1 or -1, the sign of the
// normalised random start (the solve with the exactly singular 1 x 1 shift
// is not finite, so the start is kept).
TEST(Eig, OneByOneGivesUnitVector) {
    const ArrayPtr a = Matrix(1, 1, {5});
    for (unsigned long long seed = 1; seed <= 40; ++seed) {
        kiv::RandSeed(seed);
        const double start = kiv::Randn();
        kiv::RandSeed(seed);
        const Decomposition dv = Two(a.get(), seed % 2 == 0);
        EXPECT_EQ(Values(dv.d.get()), (std::vector<double>{5}));
        EXPECT_EQ(Values(dv.v.get()), (std::vector<double>{start >= 0.0 ? 1.0 : -1.0})) << seed;
    }
    EXPECT_EQ(Values(ArrayPtr(Eig(a.get(), true)).get()), (std::vector<double>{5}));
}

// Each column of V: unit length and a small residual A*v - lambda*v, for
// real spectra (symmetric and not), the start drawn after RandSeed.
TEST(Eig, EigenvectorsHaveSmallResiduals) {
    std::mt19937_64 rng(Seed());
    kiv::RandSeed(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 33}) {
        std::vector<double> lambda;
        for (const Dense &a : {Symmetric(n, rng), RealSpectrum(n, rng, lambda)}) {
            for (bool balance : {true, false}) {
                const Decomposition dv = Two(ToArray(a).get(), balance);
                const Dense v = FromArray(dv.v.get()), d = FromArray(dv.d.get());
                ASSERT_EQ(v.m, n);
                ASSERT_EQ(v.n, n);
                const Dense av = Gemm('N', 'N', 1.0, a, v, 0.0, Dense(n, n));
                const Dense residual = Gemm('N', 'N', -1.0, v, d, 1.0, av);
                for (std::size_t k = 0; k < n; ++k) {
                    double length = 0.0, worst = 0.0;
                    for (std::size_t i = 0; i < n; ++i) {
                        length += v(i, k) * v(i, k);
                        worst = std::max(worst, std::fabs(residual(i, k)));
                    }
                    EXPECT_NEAR(std::sqrt(length), 1.0, 1e-14) << "n = " << n << " column " << k;
                    EXPECT_LE(worst, 1e3 * n * kEps * Norm1(a)) << "n = " << n << " column " << k;
                }
            }
        }
    }
}

// The iteration as written, on the library's own Mldivide, Norm, Randn and
// Rdivide: the same draws give the same V bit for bit. A solve whose norm
// is not finite keeps the previous iterate.
Dense InverseIteration(const Dense &a, const std::vector<double> &wr) {
    const std::size_t n = a.m;
    Dense v(n, n);
    for (std::size_t k = 0; k < n; ++k) {
        Dense b = a;
        for (std::size_t i = 0; i < n; ++i) b(i, i) = b(i, i) - wr[k];
        const ArrayPtr barg = ToArray(b);
        const ArrayPtr start(Randn(static_cast<unsigned int>(n), 1));
        ArrayPtr x(Rdivide(start.get(), Norm(start.get(), 2.0)));
        for (int it = 0; it < 10; ++it) {
            const ArrayPtr solved(Mldivide(barg.get(), x.get()));
            const double length = Norm(solved.get(), 2.0);
            if (!std::isfinite(length) || length == 0.0) break;
            ArrayPtr y(Rdivide(solved.get(), length));
            const std::vector<double> xv = Values(x.get()), yv = Values(y.get());
            const double sg = (xv[0] >= 0.0 ? 1.0 : -1.0) * (yv[0] >= 0.0 ? 1.0 : -1.0);
            bool converged = true;
            for (std::size_t i = 0; i < n; ++i) {
                if (!(std::fabs(xv[i] - sg * yv[i]) <= 1.0e-6)) converged = false;
            }
            if (converged) break;
            x = std::move(y);
        }
        const std::vector<double> xv = Values(x.get());
        for (std::size_t i = 0; i < n; ++i) v(i, k) = xv[i];
    }
    return v;
}

TEST(Eig, EigenvectorsFollowTheIteration) {
    std::mt19937_64 rng(Seed());
    std::vector<double> lambda;
    for (std::size_t n : {1, 2, 3, 6, 20}) {
        for (const Dense &a : {Symmetric(n, rng), RealSpectrum(n, rng, lambda),
                               Random(n, n, rng, Fill::kUniform), Dense(n, n)}) {
            const std::vector<double> wr = ref::EigValues(a, true);
            kiv::RandSeed(Seed() + n);
            const Dense want = InverseIteration(a, wr);
            kiv::RandSeed(Seed() + n);
            const Decomposition dv = Two(ToArray(a).get(), true);
            linalg_test::ExpectSameBits(dv.v.get(), want, "n = " + std::to_string(n));
        }
    }
}

// The same seed gives the same V.
TEST(Eig, EigenvectorsRepeatAfterRandSeed) {
    const ArrayPtr a = Matrix(3, 3, {4, 1, 0, 1, 3, 1, 0, 1, 2});
    kiv::RandSeed(7);
    const Decomposition first = Two(a.get(), true);
    kiv::RandSeed(7);
    const Decomposition second = Two(a.get(), true);
    EXPECT_EQ(Values(first.v.get()), Values(second.v.get()));
}

// Symmetric matrices against dsyev, and non-symmetric ones with a known
// real spectrum against dgeev, as sorted lists.
TEST(Eig, ValuesAgreeWithLapack) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 33, 50, 64}) {
        const Dense s = Symmetric(n, rng);
        std::vector<double> lambda;
        const Dense g = RealSpectrum(n, rng, lambda);
        std::vector<double> wi;
        const std::vector<double> wantS = Dsyev(s), wantG = Dgeev(g, wi);
        for (double x : wi) EXPECT_EQ(x, 0.0) << "the test matrix has a complex eigenvalue";
        std::vector<double> wantSorted = wantG;
        std::sort(wantSorted.begin(), wantSorted.end());
        std::sort(lambda.begin(), lambda.end());
        for (bool balance : {true, false}) {
            std::vector<double> gotS = Values(ArrayPtr(Eig(ToArray(s).get(), balance)).get());
            std::vector<double> gotG = Values(ArrayPtr(Eig(ToArray(g).get(), balance)).get());
            std::sort(gotS.begin(), gotS.end());
            std::sort(gotG.begin(), gotG.end());
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(gotS[i], wantS[i], 30.0 * n * kEps * Norm1(s)) << "n = " << n;
                EXPECT_NEAR(gotG[i], wantSorted[i], 1e3 * n * kEps * Norm1(g)) << "n = " << n;
                EXPECT_NEAR(gotG[i], lambda[i], 1e3 * n * kEps * Norm1(g)) << "n = " << n;
            }
        }
    }
}

// Complex pairs of a random matrix against dgeev: both members become the
// modulus.
TEST(Eig, ComplexPairsBecomeTheirModulus) {
    std::mt19937_64 rng(Seed());
    const std::size_t n = 12;
    const Dense a = Random(n, n, rng, Fill::kUniform);
    std::vector<double> wi;
    const std::vector<double> wr = Dgeev(a, wi);
    std::vector<double> want;
    for (std::size_t i = 0; i < n; ++i) want.push_back(wi[i] != 0.0 ? std::hypot(wr[i], wi[i]) : wr[i]);
    std::vector<double> got = Values(ArrayPtr(Eig(ToArray(a).get(), true)).get());
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(got[i], want[i], 1e3 * n * kEps * Norm1(a));
}

// A NaN keeps every deflation test from passing: after the 30th test the
// values of the active block are reported as the library's NaN.
TEST(Eig, ReportsUnfoundValuesAsNaN) {
    Dense a(4, 4, 1.0);
    a(1, 2) = kNaN;
    for (bool balance : {true, false}) {
        const std::vector<double> want = ref::EigValues(a, balance);
        const std::vector<double> got = Values(ArrayPtr(Eig(ToArray(a).get(), balance)).get());
        ExpectSameBits(got, want, "values");
        EXPECT_EQ(Bits(got[0]), 0x7FFFFFFFFFFFFFFFull);
    }
    std::vector<double> wr, wi(4);
    Dense h = a;
    EXPECT_GT(ref::HessenbergEigenvalues(h, wr, wi), 0u);
    std::vector<double> kr(4), ki(4);
    Dense k = a;
    EXPECT_GT(kernels::HessenbergEigenvalues(4, k.v.data(), 4, kr.data(), ki.data()), 0u);
    // Every value still gets a unit eigenvector column.
    kiv::RandSeed(3);
    const Decomposition dv = Two(ToArray(a).get(), false);
    EXPECT_EQ(Dims(dv.v.get()), (DimList{4, 4}));
}

// The companion matrix of a polynomial with c(0) = 1 (coefficients from the
// highest power): subdiagonal ones, last column -c(n..1).
Dense Companion(const std::vector<double> &c) {
    const std::size_t n = c.size() - 1;
    Dense a(n, n);
    for (std::size_t i = 1; i < n; ++i) a(i, i - 1) = 1.0;
    for (std::size_t i = 0; i < n; ++i) a(i, n - 1) = -c[n - i];
    return a;
}

// Repeated roots on the unit circle converge slowly: (x^2 + x + 1)^2 needs
// the second exceptional shift; (x^2 + 1)^2 and (x^2 - 1)^2 are given up
// unbalanced after the 30th test, and their active blocks become NaN.
TEST(Eig, SlowAndFailedConvergence) {
    const Dense slow = Companion({1, 2, 3, 2, 1});
    const Dense stuck = Companion({1, 0, 2, 0, 1});
    const Dense stuckReal = Companion({1, 0, -2, 0, 1});
    for (const Dense &a : {slow, stuck, stuckReal}) {
        for (bool balance : {false, true}) {
            Dense want(a.m, 1);
            want.v = ref::EigValues(a, balance);
            linalg_test::ExpectSameBits(ArrayPtr(Eig(ToArray(a).get(), balance)).get(), want,
                                        balance ? "balanced" : "not balanced");
        }
        Dense h = a, k = a;
        std::vector<double> wr, wi, kr(a.m), ki(a.m);
        const std::size_t status = ref::HessenbergEigenvalues(h, wr, wi);
        EXPECT_EQ(kernels::HessenbergEigenvalues(a.m, k.v.data(), a.m, kr.data(), ki.data()),
                  status);
        ExpectSameBits(kr, wr, "wr");
        ExpectSameBits(ki, wi, "wi");
    }
    for (const Dense &a : {stuck, stuckReal}) {
        const std::vector<double> got = Values(ArrayPtr(Eig(ToArray(a).get(), false)).get());
        for (double x : got) EXPECT_EQ(Bits(x), 0x7FFFFFFFFFFFFFFFull);
    }
    for (double x : Values(ArrayPtr(Eig(ToArray(slow).get(), false)).get())) {
        EXPECT_NEAR(x, 1.0, 1e-3);  // the modulus of the double roots
    }
}

// Infinite entries never leave a row and column to be balanced forever.
TEST(Eig, InfiniteEntriesTerminate) {
    const ArrayPtr a = Matrix(3, 3, {1, kInf, 2, 3, 1, 4, 5, 6, 1});
    const ArrayPtr e(Eig(a.get(), true));
    EXPECT_EQ(Dims(e.get()), (DimList{3, 1}));
    Dense b(2, 2);
    b.v = {1e-300, 1e300, kInf, 1.0};
    kernels::Balance(2, b.v.data(), 2);
}

TEST(Eig, EmptyAndResultShapes) {
    const ArrayPtr e = Array({0, 0});
    EXPECT_EQ(Dims(ArrayPtr(Eig(e.get(), true)).get()), (DimList{0, 1}));
    const Decomposition dv = Two(e.get(), false);
    EXPECT_EQ(Dims(dv.d.get()), (DimList{0, 0}));
    EXPECT_EQ(Dims(dv.v.get()), (DimList{0, 0}));
    // 0 x 0 comes before every check, also for other classes.
    const ArrayPtr single = Array({0, 0}, mxClassSingle);
    EXPECT_EQ(Dims(ArrayPtr(Eig(single.get(), false)).get()), (DimList{0, 1}));
    ArrayPtr l = Matrix(2, 2, {1, 0, 1, 1});
    l->SetLogical();
    const Decomposition lv = Two(l.get(), true);
    EXPECT_FALSE(mxIsLogical(lv.d.get()) || mxIsLogical(lv.v.get()));
    EXPECT_EQ(Dims(lv.v.get()), (DimList{2, 2}));
}

// 0 x 0 first, then N-d arrays, other classes and complex operands, then
// the shape; the outputs are null after a failure.
TEST(Eig, RefusesInOrder) {
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr emptyNd = Array({0, 0, 2});
    const ArrayPtr singleWide = Array({2, 3}, mxClassSingle);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr wide = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const ArrayPtr flat = Array({0, 3});
    CMatrix *dummy = Scalar(1.0);
    CMatrix *d = dummy, *v = dummy;
    for (const CMatrix *a : {nd.get(), emptyNd.get()}) {
        EXPECT_REJECTS(Eig(a, true), COperationOnNDArrayNotDefinedException, kNDArray, a);
        EXPECT_REJECTS(Eig(d, v, a, true), COperationOnNDArrayNotDefinedException, kNDArray, a);
        EXPECT_TRUE(d == nullptr && v == nullptr);
        d = v = dummy;
    }
    for (const CMatrix *a : {singleWide.get(), cplx.get()}) {
        EXPECT_REJECTS(Eig(a, false), CNotImplementedException, kNotImplemented, a);
        EXPECT_REJECTS(Eig(d, v, a, false), CNotImplementedException, kNotImplemented, a);
        EXPECT_TRUE(d == nullptr && v == nullptr);
        d = v = dummy;
    }
    for (const CMatrix *a : {wide.get(), flat.get()}) {
        EXPECT_REJECTS(Eig(a, false), CMatrixMustBeSquareException, kNotSquare, a);
        EXPECT_REJECTS(Eig(d, v, a, false), CMatrixMustBeSquareException, kNotSquare, a);
        EXPECT_TRUE(d == nullptr && v == nullptr);
        d = v = dummy;
    }
    mxDestroyArray(dummy);
}

TEST(Eig, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 3}) {
        const ArrayPtr a = ToArray(Symmetric(n, rng));
        const ArraySnapshot before = ArraySnapshot::Of(a.get());
        CMatrix *d, *v;
        const int points = ForEachAllocationFailure(
            [&] {
                Eig(d, v, a.get(), true);
                mxDestroyArray(d);
                mxDestroyArray(v);
            },
            [&] {
                EXPECT_TRUE(d == nullptr && v == nullptr);
                EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
            });
        EXPECT_GT(points, 5);
        EXPECT_GT(ForEachAllocationFailure([&] { const ArrayPtr e(Eig(a.get(), false)); },
                                           [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); }),
                  0);
    }
}

}  // namespace
