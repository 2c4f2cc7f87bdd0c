// tests/linalg/linalg_extra_test.cpp: the matrix functions, Schur and Hessenberg
// forms, null spaces, condition numbers, constrained solves and least squares of
// complex and single operands, by closed forms, residuals and LAPACK's zgelsy.
#include <complex>

#include <matrix/linalg_extra.h>

#include "linalg/linalg_test_util.h"

using cd = std::complex<double>;

extern "C" {
void zgelsy_(Fint m, Fint n, Fint nrhs, cd *a, Fint lda, cd *b, Fint ldb, int *jpvt,
             const double *rcond, int *rank, cd *work, Fint lwork, double *rwork, int *info);
void dgebal_(const char *job, Fint n, double *a, Fint lda, int *ilo, int *ihi, double *scale,
             int *info, Flen);
}

namespace {

namespace km = kiv::matrix;
using km::Array;

const double e1 = std::exp(1.0);

Array Cplx(const Array &re, const Array &im) {
    return Array::Adopt(km::Complex(re.get(), im.get()));
}
// norm(a - b, 'fro') / max(1, norm(b, 'fro')).
double RelDiff(const Array &a, const Array &b) {
    return km::NormFro(km::Minus(a, b)) / std::max(1.0, km::NormFro(b));
}
Array Col(std::initializer_list<double> v) { return km::Transpose(Array(v)); }
Array Pow(const Array &a, const Array &b) { return Array::Adopt(km::Mpower(a.get(), b.get())); }
Array I(unsigned int n) { return Array::Eye(n); }
Array Adj(const Array &a) { return km::Ctranspose(a); }

struct Closed {
    const char *name;
    Array a, expected;
};

TEST(LinalgExtra, ExpmAgainstClosedForms) {
    const double e2 = std::exp(2.0), e3 = std::exp(3.0), e6 = std::exp(6.0);
    const Closed cases[] = {
        // Nilpotent: I + N + N^2/2 exactly.
        {"nilpotent", Array{{0, 1, 2}, {0, 0, 3}, {0, 0, 0}}, Array{{1, 1, 3.5}, {0, 1, 3}, {0, 0, 1}}},
        // Diagonalisable [a b; 0 d]: [e^a, b(e^d - e^a)/(d - a); 0, e^d].
        {"triangular", Array{{1, 1}, {0, 2}}, Array{{e1, e2 - e1}, {0, e2}}},
        // Norm above theta13: the scaled and squared branch.
        {"scaled", Array{{3, 3}, {0, 6}}, Array{{e3, e6 - e3}, {0, e6}}},
        {"zero", Array::Zeros(3, 3), I(3)},
        {"empty", Array::Zeros(0, 0), Array::Zeros(0, 0)},
        // exp of [0 t; -t 0] is the rotation by t; complex i*t on the diagonal.
        {"rotation", Array{{0, 0.5}, {-0.5, 0}},
         Array{{std::cos(0.5), std::sin(0.5)}, {-std::sin(0.5), std::cos(0.5)}}},
        {"complex", Cplx(Array::Zeros(2, 2), Array{{1, 0}, {0, 2}}),
         Cplx(Array{{std::cos(1.0), 0}, {0, std::cos(2.0)}}, Array{{std::sin(1.0), 0}, {0, std::sin(2.0)}})},
    };
    for (const Closed &c : cases) {
        const Array x = km::Expm(c.a);
        EXPECT_LT(RelDiff(x, c.expected), 32 * linalg_test::kEps) << c.name;
        EXPECT_EQ(x.get()->IsComplex(), c.expected.get()->IsComplex()) << c.name;
    }
}

TEST(LinalgExtra, LogmAndSqrtmInvertExpmAndSquaring) {
    const Array cases[] = {Array{{0.1, 0.2}, {-0.3, 0.4}},
                           Array{{1, 2, 0}, {-1, 0.5, 1}, {0.25, 0, -2}},
                           Array{{4, 1, 0}, {1, 3, 1}, {0, 1, 2}},
                           Cplx(Array{{1, 2}, {0, 1}}, Array{{0.5, 0}, {1, -1}})};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const Array &a = cases[k];
        EXPECT_LT(RelDiff(km::Logm(km::Expm(a)), a), 1e-13) << k;
        const Array s = km::Sqrtm(a);
        EXPECT_LT(RelDiff(km::Mtimes(s, s), a), 1e-14) << k;
    }
    // Real operands off the negative axis give real results, others complex.
    EXPECT_FALSE(km::Sqrtm(cases[2]).get()->IsComplex());
    EXPECT_FALSE(km::Logm(cases[2]).get()->IsComplex());
    const Array neg = km::Sqrtm(Array{{-1, 0}, {0, 4}});
    EXPECT_LT(RelDiff(neg, Cplx(Array{{0, 0}, {0, 2}}, Array{{1, 0}, {0, 0}})), 1e-15);
    const Array single = km::Sqrtm(Array::Adopt(km::Cast(Array{{4, 0}, {0, 9}}.get(), km::mxClassSingle)));
    EXPECT_EQ(single.get()->GetClassID(), km::mxClassSingle);
}

// U unitary, U*T*U' = A and T of the shape asked (quasi: 2 x 2 blocks).
void ExpectSimilar(const Array &a, const Array &u, const Array &t, bool quasi, unsigned int below) {
    const unsigned int n = a.Rows();
    EXPECT_LT(RelDiff(km::Mtimes(Adj(u), u), I(n)), 1e-14);
    EXPECT_LT(RelDiff(km::Mtimes(km::Mtimes(u, t), Adj(u)), a), 1e-14);
    const Array tr = Array::Adopt(km::Real(t.get()));
    for (unsigned int j = 0; j < n; ++j)
        for (unsigned int i = j + below + 1; i < n; ++i) EXPECT_EQ(tr(i + 1, j + 1), 0.0);
    if (!quasi) return;
    for (unsigned int j = 0; j + 2 < n; ++j)
        EXPECT_TRUE(tr(j + 2, j + 1) == 0.0 || tr(j + 3, j + 2) == 0.0) << "adjacent blocks";
}

TEST(LinalgExtra, SchurAndHessenbergForms) {
    const Array a{{16, 2, 3, 13}, {5, 11, 10, 8}, {9, 7, 6, 12}, {4, 14, 15, 1}};
    const Array rot{{1, 2, 0, 1}, {-3, 1, 4, 0}, {0, 0, 2, 5}, {1, -1, -5, 2}};
    for (const Array *m : {&a, &rot}) {
        km::CMatrix *u, *t;
        km::Schur(u, t, m->get(), false);
        ExpectSimilar(*m, Array::Adopt(u), Array::Adopt(t), true, 1);
        km::Schur(u, t, m->get(), true);
        ExpectSimilar(*m, Array::Adopt(u), Array::Adopt(t), false, 0);
        km::Hess(u, t, m->get());
        ExpectSimilar(*m, Array::Adopt(u), Array::Adopt(t), false, 1);
    }
    // Real eigenvalues leave no blocks: the magic square's T is triangular.
    km::CMatrix *u, *t;
    km::Schur(u, t, a.get(), false);
    ExpectSimilar(a, Array::Adopt(u), Array::Adopt(t), false, 0);
}

TEST(LinalgExtra, NullOrthCondAndCondest) {
    // Rank 2: the third row is the sum of the first two.
    const Array a{{1, 2, 3, 4}, {2, 1, 0, 1}, {3, 3, 3, 5}};
    const Array n = km::Null(a), q = km::Orth(a);
    ASSERT_EQ(n.Cols(), 2u);
    ASSERT_EQ(q.Cols(), 2u);
    EXPECT_LT(RelDiff(km::Mtimes(Adj(n), n), I(2)), 1e-15);
    EXPECT_LT(km::NormFro(km::Mtimes(a, n)), 1e-14);
    EXPECT_LT(RelDiff(km::Mtimes(Adj(q), q), I(2)), 1e-15);
    // a's columns lie in the range: (I - QQ')a = 0.
    EXPECT_LT(km::NormFro(km::Minus(a, km::Mtimes(q, km::Mtimes(Adj(q), a)))), 1e-13);

    EXPECT_NEAR(km::Cond(Array{{1, 0}, {0, 1e-3}}.get()), 1e3, 1e-10);
    EXPECT_EQ(km::Cond(Array{{1, 0}, {0, 0}}.get()), linalg_test::kInf);
    EXPECT_EQ(km::Cond(Array::Zeros(0, 0).get()), 0.0);
    const Array b{{4, 1, 0}, {1, 3, 1}, {0, 1, 2}};
    // cond(b, 1) by hand: norm 1 of b and of its inverse.
    const double c1 = km::Norm(b, 1) * km::Norm(km::Inv(b), 1);
    EXPECT_NEAR(km::Cond(b.get(), 1), c1, 1e-13 * c1);
    EXPECT_NEAR(km::Condest(b.get()), c1, 1e-13 * c1);
    const Array hilbert{{1, 1 / 2., 1 / 3., 1 / 4.}, {1 / 2., 1 / 3., 1 / 4., 1 / 5.},
                        {1 / 3., 1 / 4., 1 / 5., 1 / 6.}, {1 / 4., 1 / 5., 1 / 6., 1 / 7.}};
    const double h1 = km::Norm(hilbert, 1) * km::Norm(km::Inv(hilbert), 1);
    EXPECT_LE(km::Condest(hilbert.get()), h1 * (1 + 1e-10));
    EXPECT_GE(km::Condest(hilbert.get()), h1 / 3);
    EXPECT_EQ(km::Condest(Array{{1, 2}, {2, 4}}.get()), linalg_test::kInf);
}

TEST(LinalgExtra, LsqnonnegLinsolveCholPartialVecnorm) {
    // The second variable is held at zero: x1 minimises (x1-1)^2 + 1 + (x1-0.5)^2.
    km::CMatrix *x, *r;
    double resnorm;
    km::Lsqnonneg(x, resnorm, r, Array{{1, 0}, {0, 1}, {1, 1}}.get(), Col({1, -1, 0.5}).get());
    const Array X = Array::Adopt(x), R = Array::Adopt(r);
    EXPECT_LT(RelDiff(X, Col({0.75, 0})), 1e-15);
    EXPECT_NEAR(resnorm, 1.125, 1e-15);
    EXPECT_LT(RelDiff(R, Col({0.25, -1, -0.25})), 1e-15);

    // Only the triangle named is read; TRANSA solves with A'.
    km::LinsolveOptions lower;
    lower.lowerTriangular = true;
    double rc;
    EXPECT_LT(RelDiff(Array::Adopt(km::Linsolve(Array{{2, 99}, {1, 4}}.get(), Col({2, 9}).get(), lower, rc)),
                      Col({1, 2})),
              1e-15);
    lower.transposed = true;
    EXPECT_LT(RelDiff(Array::Adopt(km::Linsolve(Array{{2, 99}, {1, 4}}.get(), Col({4, 8}).get(), lower, rc)),
                      Col({1, 2})),
              1e-15);
    km::LinsolveOptions spd;
    spd.symmetric = spd.positiveDefinite = true;
    EXPECT_LT(RelDiff(Array::Adopt(km::Linsolve(Array{{4, 2}, {2, 3}}.get(), Col({8, 7}).get(), spd, rc)),
                      Col({1.25, 1.5})),
              1e-15);

    unsigned int p;
    const Array partial = Array::Adopt(km::CholPartial(Array{{4, 2, 1}, {2, -1, 0}, {1, 0, 5}}.get(), false, p));
    EXPECT_EQ(p, 2u);
    EXPECT_EQ(partial.Numel(), 1u);
    EXPECT_EQ(partial.Scalar(), 2.0);
    const Array l = Array::Adopt(km::CholPartial(Array{{4, 2}, {2, 5}}.get(), true, p));
    EXPECT_EQ(p, 0u);
    EXPECT_LT(RelDiff(l, Array{{2, 0}, {1, 2}}), 1e-15);

    const Array v{{3, 4}, {5, 12}};
    EXPECT_LT(RelDiff(Array::Adopt(km::Vecnorm(v.get(), 2, 0)), Array{{std::sqrt(34.0), std::sqrt(160.0)}}), 1e-15);
    EXPECT_LT(RelDiff(Array::Adopt(km::Vecnorm(v.get(), 1, 2)), Col({7, 17})), 1e-15);
    EXPECT_LT(RelDiff(Array::Adopt(km::Vecnorm(v.get(), linalg_test::kInf, 2)), Col({4, 12})), 1e-15);
    EXPECT_LT(RelDiff(Array::Adopt(km::Vecnorm(v.get(), 3, 1)), Array{{std::cbrt(152.0), std::cbrt(1792.0)}}),
              1e-15);
}

TEST(LinalgExtra, GeneralizedAndLeftEigenvectors) {
    const Array a{{2, 1, 0}, {1, 3, 1}, {0, 1, 4}}, b{{4, 1, 0}, {1, 2, 0}, {0, 0, 1}};
    km::CMatrix *v, *d;
    km::EigGeneralized(v, d, a.get(), b.get());
    const Array V = Array::Adopt(v), D = Array::Adopt(d);
    EXPECT_LT(RelDiff(km::Mtimes(a, V), km::Mtimes(km::Mtimes(b, V), D)), 1e-14);
    EXPECT_LT(RelDiff(km::Mtimes(km::Mtimes(Adj(V), b), V), I(3)), 1e-14);
    EXPECT_LE(D(1, 1), D(2, 2));
    const Array g{{1, 2}, {3, 4}};
    km::TwoArrays vd = km::EigVectors(g);
    const Array w = Array::Adopt(km::LeftEigenvectors(vd.first.get()));
    EXPECT_LT(RelDiff(km::Mtimes(Adj(w), g), km::Mtimes(vd.second, Adj(w))), 1e-14);
}

TEST(LinalgExtra, PowersOfComplexAndSingleMatrices) {
    const Array a = Cplx(Array{{0, 2}, {3, 4}}, Array{{1, 0}, {0, 0}});
    const Array cube = km::Mtimes(km::Mtimes(a, a), a);
    EXPECT_LT(RelDiff(Pow(a, Array(3.0)), cube), 1e-15);
    EXPECT_LT(RelDiff(Pow(a, Array(-2.0)), km::Inv(km::Mtimes(a, a))), 1e-14);
    const Array half = Pow(Array{{1, 2}, {3, 4}}, Array(0.5));
    EXPECT_LT(RelDiff(km::Mtimes(half, half), Array{{1, 2}, {3, 4}}), 1e-14);
    // A symmetric positive definite base keeps a real root.
    EXPECT_FALSE(Pow(Array{{2, 1}, {1, 2}}, Array(0.5)).get()->IsComplex());
    EXPECT_LT(RelDiff(Pow(Array(2.0), Array{{1, 0}, {0, 3}}), Array{{2, 0}, {0, 8}}), 1e-15);
}

// Complex least squares: the residual is orthogonal to A's columns, and x
// matches LAPACK's zgelsy (full rank: both give the unique solution).
TEST(LinalgExtra, ComplexLeastSquaresAgainstZgelsy) {
    const int m = 6, n = 3, k = 2;
    std::vector<cd> av(m * n), bv(m * k);
    for (int i = 0; i < m * n; ++i) av[i] = cd(std::sin(1.0 + i), std::cos(2.0 * i));
    for (int i = 0; i < m * k; ++i) bv[i] = cd(0.5 * i - 1, std::sin(3.0 * i));
    auto toArray = [](const std::vector<cd> &v, unsigned r, unsigned c) {
        Array re = Array::Zeros(r, c), im = Array::Zeros(r, c);
        for (unsigned i = 0; i < r * c; ++i) {
            static_cast<double *>(re.get()->GetPr())[i] = v[i].real();
            static_cast<double *>(im.get()->GetPr())[i] = v[i].imag();
        }
        return Cplx(re, im);
    };
    const Array A = toArray(av, m, n), B = toArray(bv, m, k);
    const Array X = km::Mldivide(A, B);
    EXPECT_LT(km::NormFro(km::Mtimes(Adj(A), km::Minus(km::Mtimes(A, X), B))), 1e-13);
    std::vector<int> jpvt(n, 0);
    int rank, info, lwork = -1;
    const double rcond = 1e-12;
    std::vector<double> rwork(2 * n);
    cd query;
    zgelsy_(&m, &n, &k, av.data(), &m, bv.data(), &m, jpvt.data(), &rcond, &rank, &query, &lwork,
            rwork.data(), &info);
    lwork = static_cast<int>(query.real());
    std::vector<cd> work(lwork);
    zgelsy_(&m, &n, &k, av.data(), &m, bv.data(), &m, jpvt.data(), &rcond, &rank, work.data(),
            &lwork, rwork.data(), &info);
    ASSERT_EQ(info, 0);
    std::vector<cd> xs;
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < n; ++i) xs.push_back(bv[i + j * m]);
    EXPECT_LT(RelDiff(X, toArray(xs, n, k)), 1e-13);

    // Rank deficient (columns 1 and 3 equal): rank 2 and a basic solution
    // with one zero component, the residual still orthogonal.
    const Array D = Cplx(Array{{1, 2, 1}, {0, 1, 0}, {2, 1, 2}, {1, 1, 1}}, Array{{0, 1, 0}, {1, 0, 1}, {0, 0, 0}, {1, 1, 1}});
    unsigned int r;
    double tol;
    const Array Y = Array::Adopt(km::LeastSquares(D.get(), Col({1, 2, 3, 4}).get(), r, tol));
    EXPECT_EQ(r, 2u);
    EXPECT_GT(tol, 0.0);
    EXPECT_LT(km::NormFro(km::Mtimes(Adj(D), km::Minus(km::Mtimes(D, Y), Col({1, 2, 3, 4})))), 1e-13);
    const Array ay = km::Abs(Y);
    EXPECT_TRUE(ay(1) == 0.0 || ay(3) == 0.0);
    // Single wide system: the basic solution in single.
    const Array s = km::Mldivide(Array::Adopt(km::Cast(Array{{1, 2, 3}}.get(), km::mxClassSingle)), Array(6.0));
    EXPECT_EQ(s.get()->GetClassID(), km::mxClassSingle);
    EXPECT_EQ(s.Numel(), 3u);
}

}  // namespace

// Balance permutes and scales as LAPACK's dgebal does ('B', and 'S' without
// permuting): the same B bit for bit on matrices with isolated eigenvalues
// and wide magnitudes; T and the separate S and P agree with B exactly.
TEST(LinalgExtra, BalanceAgainstDgebal) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-1, 1);
    std::uniform_int_distribution<int> e(-6, 6);
    for (int trial = 0; trial < 60; ++trial) {
        const int n = 1 + trial % 6;
        Array a = Array::Zeros(n, n);
        for (double &x : a.MutableData())
            if (u(gen) > -0.2) x = u(gen) * std::pow(10.0, e(gen));
        for (const bool permute : {true, false}) {
            std::vector<double> lapack(a.Data(), a.Data() + a.Numel()), scale(n);
            int ilo = 0, ihi = 0, info = 0;
            dgebal_(permute ? "B" : "S", &n, lapack.data(), &n, &ilo, &ihi, scale.data(), &info, 1);
            km::CMatrix *t = nullptr, *b = nullptr, *s = nullptr, *p = nullptr, *b2 = nullptr;
            km::Balance(t, b, a.get(), permute);
            km::Balance(s, p, b2, a.get(), permute);
            const Array T = Array::Adopt(t), B = Array::Adopt(b), S = Array::Adopt(s),
                        P = Array::Adopt(p), B2 = Array::Adopt(b2);
            for (std::size_t k = 0; k < lapack.size(); ++k)
                ASSERT_EQ(B.Data()[k], lapack[k]) << trial << " " << permute << " " << k;
            EXPECT_TRUE(km::Isequal(km::Mldivide(T, km::Mtimes(a, T)), B)) << trial;
            EXPECT_TRUE(km::Isequal(B2, B));
            for (int k = 0; k < n; ++k)
                EXPECT_EQ(T.Data()[k + n * (static_cast<int>(P.Data()[k]) - 1)], S.Data()[k]);
        }
    }
}
