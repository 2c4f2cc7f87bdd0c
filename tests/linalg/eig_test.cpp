// tests/linalg/eig_test.cpp: tests of balancing, Hessenberg reduction and the QR eigenvalue kernel, and of Eig in both forms.
#include <matrix/matrix.h>

#include <kiv/random.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "kernels/eig_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/decomposition_reference.h"

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
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

const std::vector<std::size_t> kOrders = {1, 2, 3, 4, 5, 7, 10, 16, 33, 48};

struct Decomposition {
    ArrayPtr d, v;
};

Decomposition Two(const CMatrix *a, bool balance) {
    CMatrix *d = nullptr, *v = nullptr;
    Eig(d, v, a, balance);
    return {ArrayPtr(d), ArrayPtr(v)};
}

// B + B'.
Dense Symmetric(std::size_t n, std::mt19937_64 &rng) {
    const Dense b = Random(n, n, rng, Fill::kUniform);
    return Gemm('N', 'T', 1.0, Identity(n), b, 1.0, b);
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
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dsyev_("N", "U", &n, a.v.data(), &n, w.data(), work, lwork, info, 1, 1);
    });
    return w;
}

std::vector<double> Dgeev(Dense a, std::vector<double> &wi) {
    const int n = static_cast<int>(a.m), one = 1;
    std::vector<double> wr(a.m);
    wi.assign(a.m, 0.0);
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dgeev_("N", "N", &n, a.v.data(), &n, wr.data(), wi.data(), nullptr, &one, nullptr, &one,
               work, lwork, info, 1, 1);
    });
    return wr;
}

// Random general, symmetric, real-spectrum and graded matrices.
std::vector<Dense> Inputs(std::size_t n, std::mt19937_64 &rng) {
    std::vector<double> lambda;
    Dense graded = Random(n, n, rng, Fill::kUniform);
    for (std::size_t k = 0; k < n * n; ++k)
        graded.v[k] = std::ldexp(graded.v[k], 3 * (int(k % n) - int(k / n)));
    // The cyclic shift: eigenvalues on the unit circle, where the plain
    // double shift stalls and the exceptional shifts take over.
    Dense cyclic(n, n);
    for (std::size_t i = 0; i < n; ++i) cyclic((i + 1) % n, i) = 1.0;
    return {Random(n, n, rng, Fill::kGeneral),
            Random(n, n, rng, Fill::kZeroLine),
            Symmetric(n, rng),
            RealSpectrum(n, rng, lambda),
            graded,
            cyclic};
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

// The three kernels chained on a padded buffer and the one-output Eig with
// and without balancing; the cyclic shift and the companion matrices of
// repeated roots on the unit circle need the exceptional shifts, and
// (x^2 + 1)^2 and (x^2 - 1)^2 are given up unbalanced after the 30th test.
TEST(Eig, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        std::vector<Dense> inputs = Inputs(n, rng);
        if (n == 4) {
            for (const std::vector<double> &c : std::vector<std::vector<double>>{
                     {1, 2, 3, 2, 1}, {1, 0, 2, 0, 1}, {1, 0, -2, 0, 1}}) {
                inputs.push_back(Companion(c));
            }
        }
        for (const Dense &a : inputs) {
            const std::string what = "n = " + std::to_string(n);
            Dense balanced = a;
            ref::Balance(balanced);
            for (bool balance : {true, false}) {
                Padded pb(a);
                if (balance) kernels::Balance(n, pb.Data(), pb.Ld());
                ExpectSameBits(pb.Contents(), balance ? balanced : a, what + " Balance");
                Dense hess = balance ? balanced : a;
                ref::ReduceToHessenberg(hess);
                kernels::ReduceToHessenberg(n, pb.Data(), pb.Ld());
                ExpectSameBits(pb.Contents(), hess, what + " ReduceToHessenberg");
                std::vector<double> wr, wi, gotWr(n), gotWi(n);
                const std::size_t status = ref::HessenbergEigenvalues(hess, wr, wi);
                EXPECT_EQ(kernels::HessenbergEigenvalues(n, pb.Data(), pb.Ld(), gotWr.data(),
                                                         gotWi.data()),
                          status)
                    << what;
                ExpectSameBits(gotWr, wr, what + " wr");
                ExpectSameBits(gotWi, wi, what + " wi");
                ExpectSameBits(pb.Contents(), hess, what + " QR iterate");
                EXPECT_TRUE(pb.PaddingIntact()) << what;
                ExpectSameBits(Values(ArrayPtr(Eig(ToArray(a).get(), balance)).get()),
                               ref::EigValues(a, balance),
                               what + (balance ? " Eig balanced" : " Eig"));
            }
        }
    }
}

// A NaN keeps every deflation test from passing: after the 30th test the
// values of the active block are reported as the library's NaN (every
// value still gets a vector); the stuck companion matrices give NaN
// throughout. Infinite entries never leave a row to be balanced forever.
TEST(Eig, GiveUpValues) {
    Dense a(4, 4, 1.0);
    a(1, 2) = kNaN;
    for (bool balance : {true, false}) {
        const std::vector<double> got = Values(ArrayPtr(Eig(ToArray(a).get(), balance)).get());
        ExpectSameBits(got, ref::EigValues(a, balance), "values");
        EXPECT_EQ(Bits(got[0]), kGiveUpBits);
        EXPECT_EQ(Dims(Two(ToArray(a).get(), balance).v.get()), (DimList{4, 4}));
    }
    for (const std::vector<double> &c :
         std::vector<std::vector<double>>{{1, 0, 2, 0, 1}, {1, 0, -2, 0, 1}}) {
        for (double x : Values(ArrayPtr(Eig(ToArray(Companion(c)).get(), false)).get())) {
            EXPECT_EQ(Bits(x), kGiveUpBits);
        }
    }
    const ArrayPtr inf = Matrix(3, 3, {1, kInf, 2, 3, 1, 4, 5, 6, 1});
    EXPECT_EQ(Dims(ArrayPtr(Eig(inf.get(), true)).get()), (DimList{3, 1}));
    Dense b(2, 2);
    b.v = {1e-300, 1e300, kInf, 1.0};
    kernels::Balance(2, b.v.data(), 2);
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
    EXPECT_EQ(Values(ArrayPtr(Eig(a.get(), true)).get()), (std::vector<double>{3, 1}));
    const Dense v = FromArray(dv.v.get());
    EXPECT_NEAR(std::fabs(v(0, 0)), 1.0 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(v(1, 0), v(0, 0), 1e-9);
    EXPECT_NEAR(std::fabs(v(0, 1)), 1.0 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(v(1, 1), -v(0, 1), 1e-9);
    // Badly scaled: with and without balancing within a few ulps of 0 and 2.
    const ArrayPtr b = Matrix(2, 2, {1, 1e-6, 1e6, 1});
    for (bool balance : {true, false}) {
        std::vector<double> got = Values(ArrayPtr(Eig(b.get(), balance)).get());
        std::sort(got.begin(), got.end());
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
}

// After RandSeed, V follows the iteration bit for bit (so the same seed
// gives the same V) and D holds the values; for real spectra, symmetric and
// not, each column has unit length and a small residual A*v - lambda*v.
TEST(Eig, Eigenvectors) {
    std::mt19937_64 rng(Seed());
    std::vector<double> lambda;
    for (std::size_t n : {1, 2, 3, 5, 10, 20, 33}) {
        const std::vector<Dense> inputs = {Symmetric(n, rng), RealSpectrum(n, rng, lambda),
                                           Random(n, n, rng, Fill::kUniform), Dense(n, n)};
        for (std::size_t kind = 0; kind < inputs.size(); ++kind) {
            const Dense &a = inputs[kind];
            const std::string what = "n = " + std::to_string(n) + " kind " + std::to_string(kind);
            const std::vector<double> values = ref::EigValues(a, true);
            kiv::RandSeed(Seed() + n);
            const Dense want = InverseIteration(a, values);
            kiv::RandSeed(Seed() + n);
            const Decomposition dv = Two(ToArray(a).get(), true);
            ExpectSameBits(dv.v.get(), want, what);
            Dense d(n, n);
            for (std::size_t i = 0; i < n; ++i) d(i, i) = values[i];
            ExpectSameBits(dv.d.get(), d, what + " D");
            if (kind > 1) continue;
            const Decomposition un = Two(ToArray(a).get(), false);
            for (const Decomposition *x : {&dv, &un}) {
                const Dense v = FromArray(x->v.get());
                const Dense av = Gemm('N', 'N', 1.0, a, v, 0.0, Dense(n, n));
                const Dense residual = Gemm('N', 'N', -1.0, v, FromArray(x->d.get()), 1.0, av);
                for (std::size_t k = 0; k < n; ++k) {
                    double length = 0.0, worst = 0.0;
                    for (std::size_t i = 0; i < n; ++i) {
                        length += v(i, k) * v(i, k);
                        worst = std::max(worst, std::fabs(residual(i, k)));
                    }
                    EXPECT_NEAR(std::sqrt(length), 1.0, 1e-14) << what << " column " << k;
                    EXPECT_LE(worst, 1e3 * n * kEps * Norm1(a)) << what << " column " << k;
                }
            }
        }
    }
}

// Symmetric matrices against dsyev, non-symmetric ones with a known real
// spectrum against dgeev and the spectrum, a random one's complex pairs as
// their modulus, as sorted lists.
TEST(Eig, ValuesAgreeWithLapack) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 12, 33, 64}) {
        const Dense s = Symmetric(n, rng), r = Random(n, n, rng, Fill::kUniform);
        std::vector<double> lambda, wi, wiR;
        const Dense g = RealSpectrum(n, rng, lambda);
        std::vector<double> wantS = Dsyev(s), wantG = Dgeev(g, wi), wantR = Dgeev(r, wiR);
        for (double x : wi) EXPECT_EQ(x, 0.0) << "the test matrix has a complex eigenvalue";
        for (std::size_t i = 0; i < n; ++i) {
            if (wiR[i] != 0.0) wantR[i] = std::hypot(wantR[i], wiR[i]);
        }
        for (std::vector<double> *w : {&wantS, &wantG, &wantR, &lambda})
            std::sort(w->begin(), w->end());
        for (bool balance : {true, false}) {
            std::vector<double> gotS = Values(ArrayPtr(Eig(ToArray(s).get(), balance)).get());
            std::vector<double> gotG = Values(ArrayPtr(Eig(ToArray(g).get(), balance)).get());
            std::vector<double> gotR = Values(ArrayPtr(Eig(ToArray(r).get(), balance)).get());
            for (std::vector<double> *w : {&gotS, &gotG, &gotR}) std::sort(w->begin(), w->end());
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(gotS[i], wantS[i], 30.0 * n * kEps * Norm1(s)) << "n = " << n;
                EXPECT_NEAR(gotG[i], wantG[i], 1e3 * n * kEps * Norm1(g)) << "n = " << n;
                EXPECT_NEAR(gotG[i], lambda[i], 1e3 * n * kEps * Norm1(g)) << "n = " << n;
                EXPECT_NEAR(gotR[i], wantR[i], 1e3 * n * kEps * Norm1(r)) << "n = " << n;
            }
        }
    }
}

// N-d arrays first (0 x 0 x 2 too), other classes and complex operands,
// then the shape; the outputs are null after a failure.
TEST(Eig, RefusesInOrder) {
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle), emptyNd = Array({0, 0, 2});
    const ArrayPtr singleWide = Array({2, 3}, mxClassSingle);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr wide = Matrix(2, 3, {1, 2, 3, 4, 5, 6}), flat = Array({0, 3});
    CMatrix *dummy = Scalar(1.0);
    struct Case {
        const CMatrix *a;
        Error error;
    };
    for (const Case &t : std::vector<Case>{{nd.get(), Error::kNDArray},
                                           {emptyNd.get(), Error::kNDArray},
                                           {singleWide.get(), Error::kNotImplemented},
                                           {cplx.get(), Error::kNotImplemented},
                                           {wide.get(), Error::kSquare},
                                           {flat.get(), Error::kSquare}}) {
        CMatrix *d = dummy, *v = dummy;
        ExpectRefusal([&] { Eig(d, v, t.a, true); }, t.error, {t.a});
        ExpectNull({d, v});
    }
    mxDestroyArray(dummy);
}

TEST(Eig, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 3}) {
        const ArrayPtr a = ToArray(Symmetric(n, rng));
        CMatrix *d, *v;
        EXPECT_GT(OutputFailurePoints([&] { Eig(d, v, a.get(), true); }, {&d, &v}, {a.get()}), 5);
        EXPECT_GT(FailurePoints([&] { return Eig(a.get(), false); }, {a.get()}), 0);
    }
}

}  // namespace
