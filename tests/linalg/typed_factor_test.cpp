// tests/linalg/typed_factor_test.cpp: Chol, Eig, Qr, Svd, Norm, Rank and Pinv on complex double,
// single and complex single, against LAPACK's complex and single routines and as residuals
// scaled by the class's eps.
#include <complex>
#include <functional>

#include "kernels/typed_kernels.h"
#include "linalg/linalg_test_util.h"

using cd = std::complex<double>;
using cf = std::complex<float>;

extern "C" {
void zpotrf_(const char *, Fint, cd *, Fint, int *, Flen);
void cpotrf_(const char *, Fint, cf *, Fint, int *, Flen);
void spotrf_(const char *, Fint, float *, Fint, int *, Flen);
void zheev_(const char *, const char *, Fint, cd *, Fint, double *, cd *, Fint, double *, int *,
            Flen, Flen);
void cheev_(const char *, const char *, Fint, cf *, Fint, float *, cf *, Fint, float *, int *, Flen,
            Flen);
void ssyev_(const char *, const char *, Fint, float *, Fint, float *, float *, Fint, int *, Flen,
            Flen);
void zgeev_(const char *, const char *, Fint, cd *, Fint, cd *, cd *, Fint, cd *, Fint, cd *, Fint,
            double *, int *, Flen, Flen);
void cgeev_(const char *, const char *, Fint, cf *, Fint, cf *, cf *, Fint, cf *, Fint, cf *, Fint,
            float *, int *, Flen, Flen);
void sgeev_(const char *, const char *, Fint, float *, Fint, float *, float *, float *, Fint,
            float *, Fint, float *, Fint, int *, Flen, Flen);
void zgeqrf_(Fint, Fint, cd *, Fint, cd *, cd *, Fint, int *);
void cgeqrf_(Fint, Fint, cf *, Fint, cf *, cf *, Fint, int *);
void sgeqrf_(Fint, Fint, float *, Fint, float *, float *, Fint, int *);
void zgesvd_(const char *, const char *, Fint, Fint, cd *, Fint, double *, cd *, Fint, cd *, Fint,
             cd *, Fint, double *, int *, Flen, Flen);
void cgesvd_(const char *, const char *, Fint, Fint, cf *, Fint, float *, cf *, Fint, cf *, Fint,
             cf *, Fint, float *, int *, Flen, Flen);
void sgesvd_(const char *, const char *, Fint, Fint, float *, Fint, float *, float *, Fint, float *,
             Fint, float *, Fint, int *, Flen, Flen);
}

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;

// A class and complexity under test, with its eps.
struct Kind {
    const char *name;
    mxClassID id;
    bool complex;
    double eps;
};
const Kind kKinds[] = {{"complex double", mxClassDouble, true, 0x1p-52},
                       {"single", mxClassSingle, false, 0x1p-23},
                       {"complex single", mxClassSingle, true, 0x1p-23}};

// A column-major complex matrix of the tests, in double.
struct Cx {
    std::size_t m = 0, n = 0;
    std::vector<cd> v;
    Cx(std::size_t rows, std::size_t cols) : m(rows), n(cols), v(rows * cols) {}
    cd &operator()(std::size_t i, std::size_t j) { return v[i + j * m]; }
    cd operator()(std::size_t i, std::size_t j) const { return v[i + j * m]; }
};

Cx Times(const Cx &a, const Cx &b, bool conjA = false) {
    const std::size_t m = conjA ? a.n : a.m, k = conjA ? a.m : a.n;
    Cx c(m, b.n);
    for (std::size_t j = 0; j < b.n; ++j)
        for (std::size_t p = 0; p < k; ++p)
            for (std::size_t i = 0; i < m; ++i)
                c(i, j) += (conjA ? std::conj(a(p, i)) : a(i, p)) * b(p, j);
    return c;
}
double Fro(const Cx &a) {
    double s = 0;
    for (const cd &x : a.v) s += std::norm(x);
    return std::sqrt(s);
}
double FroDiff(const Cx &a, const Cx &b) {
    double s = 0;
    for (std::size_t k = 0; k < a.v.size(); ++k) s += std::norm(a.v[k] - b.v[k]);
    return std::sqrt(s);
}
Cx Eye(std::size_t n) {
    Cx e(n, n);
    for (std::size_t i = 0; i < n; ++i) e(i, i) = 1.0;
    return e;
}
// ||Q'Q - I||.
double Departure(const Cx &q) { return FroDiff(Times(q, q, true), Eye(q.n)); }

// Random entries in [-1, 1] (imaginary parts too when complex), rounded to
// the class; with hermitian, made exactly Hermitian in it.
Cx Random(const Kind &k, std::size_t m, std::size_t n, std::mt19937_64 &rng,
          bool hermitian = false) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Cx a(m, n);
    for (cd &x : a.v) {
        x = cd(u(rng), k.complex ? u(rng) : 0.0);
        if (k.id == mxClassSingle) x = cd(float(x.real()), float(x.imag()));
    }
    if (hermitian) {
        for (std::size_t j = 0; j < n; ++j) {
            a(j, j) = a(j, j).real();
            for (std::size_t i = j + 1; i < n; ++i) a(j, i) = std::conj(a(i, j));
        }
    }
    return a;
}

ArrayPtr Make(const Kind &k, const Cx &a) {
    ArrayPtr out = Array({unsigned(a.m), unsigned(a.n)}, k.id,
                         k.complex ? mxComplexityComplex : mxComplexityReal);
    for (std::size_t i = 0; i < a.v.size(); ++i) {
        if (k.id == mxClassSingle) {
            static_cast<float *>(out->GetPr())[i] = float(a.v[i].real());
            if (k.complex) static_cast<float *>(out->GetPi())[i] = float(a.v[i].imag());
        } else {
            mxGetPr(out.get())[i] = a.v[i].real();
            mxGetPi(out.get())[i] = a.v[i].imag();
        }
    }
    return out;
}

// The array's elements; its class and complexity must be those of k
// (real: the values of a real class of k).
Cx Get(const CMatrix *a, const Kind &k, bool real = false) {
    EXPECT_EQ(a->GetClassID(), k.id) << k.name;
    EXPECT_EQ(a->GetPi() != nullptr, k.complex && !real) << k.name;
    const auto re = matrix_test::AnyValues(a), im = matrix_test::AnyValues(a, true);
    Cx out(Dims(a)[0], Dims(a)[1]);
    for (std::size_t i = 0; i < re.size(); ++i) out.v[i] = cd(re[i], im.empty() ? 0.0 : im[i]);
    return out;
}

// The LAPACK routine of k's precision on a copy of a: f(double-complex,
// single-complex or single buffer) as the kind asks; the buffer is returned.
Cx Lapack(const Kind &k, const Cx &a, const std::function<void(cd *)> &z,
          const std::function<void(cf *)> &c, const std::function<void(float *)> &s) {
    Cx out = a;
    if (k.id == mxClassDouble) {
        z(out.v.data());
    } else if (k.complex) {
        std::vector<cf> b(a.v.begin(), a.v.end());
        c(b.data());
        std::copy(b.begin(), b.end(), out.v.begin());
    } else {
        std::vector<float> b;
        for (const cd &x : a.v) b.push_back(float(x.real()));
        s(b.data());
        for (std::size_t i = 0; i < b.size(); ++i) out.v[i] = b[i];
    }
    return out;
}

// R'*R = A within 30*n*eps, R upper with a positive real diagonal and
// LAPACK's potrf's R; an indefinite A fails, the throwing form with its
// message; the kernel's fast path gives its plain path's bits.
TEST(TypedFactor, CholAgreesWithPotrf) {
    std::mt19937_64 rng(Seed());
    for (const Kind &k : kKinds) {
        for (std::size_t n : {1, 4, 33, 90}) {
            const Cx b = Random(k, n, n, rng);
            Cx a = Times(b, b, true);
            for (std::size_t i = 0; i < n; ++i) a(i, i) += double(n);
            a = Get(Make(k, a).get(), k);  // rounded to the class
            for (std::size_t j = 0; j < n; ++j)
                for (std::size_t i = j; i < n; ++i)
                    a(i, j) = i == j ? a(i, i).real() : std::conj(a(j, i));
            const int ni = int(n);
            int info = 0;
            const Cx want = Lapack(
                k, a, [&](cd *x) { zpotrf_("U", &ni, x, &ni, &info, 1); },
                [&](cf *x) { cpotrf_("U", &ni, x, &ni, &info, 1); },
                [&](float *x) { spotrf_("U", &ni, x, &ni, &info, 1); });
            bool good = false;
            const Cx r = Get(ArrayPtr(Chol(Make(k, a).get(), good)).get(), k);
            ASSERT_TRUE(good) << k.name << " " << n << " " << info;
            const double tol = 30.0 * n * k.eps;
            for (std::size_t j = 0; j < n; ++j) {
                EXPECT_GT(r(j, j).real(), 0.0);
                EXPECT_EQ(r(j, j).imag(), 0.0);
                for (std::size_t i = 0; i < n; ++i)
                    EXPECT_LE(std::abs(r(i, j) - (i <= j ? want(i, j) : 0.0)),
                              tol * std::sqrt(double(n)))
                        << k.name << " " << n;
            }
            EXPECT_LE(FroDiff(Times(r, r, true), a), tol * Fro(a)) << k.name << " " << n;
            a(n / 2, n / 2) = -1.0;
            bool ok = true;
            const ArrayPtr failed(Chol(Make(k, a).get(), ok));
            EXPECT_FALSE(ok);
            EXPECT_EQ(Dims(failed.get()), (DimList{0, 0}));
        }
    }
    const Kind &k = kKinds[0];
    const Cx b = Random(k, 150, 150, rng);
    Cx a = Times(b, b, true);
    for (std::size_t i = 0; i < 150; ++i) a(i, i) += 150.0;
    std::vector<cd> plain(a.v.size()), fast(a.v.size());
    EXPECT_EQ(kernels::CholeskyUpperTyped(150, a.v.data(), 150, plain.data(), 150,
                                          kernels::KernelPath::kPlain),
              0u);
    EXPECT_EQ(kernels::CholeskyUpperTyped(150, a.v.data(), 150, fast.data(), 150), 0u);
    EXPECT_EQ(std::memcmp(plain.data(), fast.data(), plain.size() * sizeof(cd)), 0);
}

// Hermitian (symmetric single) matrices: real values ascending as heev's,
// A*V = V*D and V'*V = I within 30*n*eps.
TEST(TypedFactor, HermitianEigAgreesWithHeev) {
    std::mt19937_64 rng(Seed());
    for (const Kind &k : kKinds) {
        for (std::size_t n : {1, 2, 5, 40, 100}) {
            const Cx a = Random(k, n, n, rng, true);
            const int ni = int(n), lwork = int(64 * n);
            int info = 0;
            std::vector<double> w(n), rw(3 * n);
            std::vector<float> wf(n), rwf(3 * n);
            std::vector<cd> zw(lwork);
            std::vector<cf> cw(lwork);
            std::vector<float> sw(lwork);
            Lapack(
                k, a,
                [&](cd *x) {
                    zheev_("N", "L", &ni, x, &ni, w.data(), zw.data(), &lwork, rw.data(), &info, 1,
                           1);
                },
                [&](cf *x) {
                    cheev_("N", "L", &ni, x, &ni, wf.data(), cw.data(), &lwork, rwf.data(), &info,
                           1, 1);
                },
                [&](float *x) {
                    ssyev_("N", "L", &ni, x, &ni, wf.data(), sw.data(), &lwork, &info, 1, 1);
                });
            if (k.id == mxClassSingle) w.assign(wf.begin(), wf.end());
            const ArrayPtr A = Make(k, a);
            const Cx values = Get(ArrayPtr(Eig(A.get(), true)).get(), k, true);
            CMatrix *d = nullptr, *v = nullptr;
            Eig(d, v, A.get(), true);
            const ArrayPtr D(d), V(v);
            const Cx dd = Get(d, k, true), vv = Get(v, k);
            const double tol = 30.0 * n * k.eps, scale = Fro(a);
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(values.v[i].real(), w[i], tol * scale) << k.name << " " << n;
                EXPECT_EQ(dd(i, i), values.v[i]);
            }
            EXPECT_LE(FroDiff(Times(a, vv), Times(vv, dd)), tol * scale) << k.name << " " << n;
            EXPECT_LE(Departure(vv), tol) << k.name << " " << n;
        }
    }
}

// A general matrix: each value within 30*n*eps*||A|| of one of geev's;
// complex: A*V = V*D within that, unit columns of V, D's diagonal the
// one-output form's values; real single: its vectors are refused.
TEST(TypedFactor, GeneralEigAgreesWithGeev) {
    std::mt19937_64 rng(Seed());
    for (const Kind &k : kKinds) {
        for (std::size_t n : {1, 2, 5, 30, 80}) {
            const Cx a = Random(k, n, n, rng);
            const int ni = int(n), one = 1, lwork = int(64 * n);
            int info = 0;
            std::vector<cd> w(n), zw(lwork);
            std::vector<cf> wf(n), cw(lwork);
            std::vector<double> rw(2 * n);
            std::vector<float> rwf(std::max<std::size_t>(2 * n, lwork));
            Lapack(
                k, a,
                [&](cd *x) {
                    zgeev_("N", "N", &ni, x, &ni, w.data(), nullptr, &one, nullptr, &one, zw.data(),
                           &lwork, rw.data(), &info, 1, 1);
                },
                [&](cf *x) {
                    cgeev_("N", "N", &ni, x, &ni, wf.data(), nullptr, &one, nullptr, &one,
                           cw.data(), &lwork, rwf.data(), &info, 1, 1);
                },
                [&](float *x) {
                    std::vector<float> wr(n), wi(n);
                    sgeev_("N", "N", &ni, x, &ni, wr.data(), wi.data(), nullptr, &one, nullptr,
                           &one, rwf.data(), &lwork, &info, 1, 1);
                    for (std::size_t i = 0; i < n; ++i) wf[i] = cf(wr[i], wi[i]);
                });
            if (k.id == mxClassSingle) w.assign(wf.begin(), wf.end());
            const ArrayPtr A = Make(k, a);
            const ArrayPtr E(Eig(A.get(), true));
            const Cx values = Get(E.get(), {k.name, k.id, E->GetPi() != nullptr, k.eps});
            if (!k.complex) {
                for (std::size_t i = 0; i < n; ++i) {
                    double nearest = kInf;
                    for (const cd &x : w) nearest = std::min(nearest, std::abs(values.v[i] - x));
                    EXPECT_LE(nearest, 30.0 * n * k.eps * Fro(a)) << k.name << " " << n;
                }
                // Eigenvectors by the double steps, rounded to single.
                CMatrix *d = nullptr, *v = nullptr;
                Eig(d, v, A.get(), true);
                const ArrayPtr D(d), V(v);
                EXPECT_EQ(V->GetClassID(), mxClassSingle);
                const ArrayPtr AV(Mtimes(A.get(), V.get())), VD(Mtimes(V.get(), D.get()));
                const ArrayPtr R(Minus(AV.get(), VD.get()));
                EXPECT_LE(NormFro(R.get()), 30.0 * n * k.eps * Fro(a)) << k.name << " " << n;
                continue;
            }
            CMatrix *d = nullptr, *v = nullptr;
            Eig(d, v, A.get(), true);
            const ArrayPtr D(d), V(v);
            const Cx dd = Get(d, k), vv = Get(v, k);
            const double tol = 30.0 * n * k.eps * Fro(a);
            for (std::size_t i = 0; i < n; ++i) {
                double nearest = kInf;
                for (const cd &x : w) nearest = std::min(nearest, std::abs(values.v[i] - x));
                EXPECT_LE(nearest, tol) << k.name << " " << n;
                EXPECT_EQ(dd(i, i), values.v[i]);
                double length = 0;
                for (std::size_t r = 0; r < n; ++r) length += std::norm(vv(r, i));
                EXPECT_NEAR(length, 1.0, 30.0 * n * k.eps);
            }
            EXPECT_LE(FroDiff(Times(a, vv), Times(vv, dd)), tol) << k.name << " " << n;
        }
    }
}

// A = Q*R (A*E = Q*R pivoted) within 30*max(m,n)*eps, Q unitary, R upper
// with a real diagonal; unpivoted R is LAPACK's geqrf's (the same
// reflectors), pivoted |R(k,k)| does not increase.
TEST(TypedFactor, QrAgreesWithGeqrf) {
    std::mt19937_64 rng(Seed());
    for (const Kind &k : kKinds) {
        for (const DimList &s : std::vector<DimList>{{1, 1}, {6, 4}, {4, 6}, {30, 30}, {50, 20}}) {
            const std::size_t m = s[0], n = s[1], p = std::min(m, n);
            const Cx a = Random(k, m, n, rng);
            const ArrayPtr A = Make(k, a);
            const double tol = 30.0 * std::max(m, n) * k.eps;
            const int mi = int(m), ni = int(n), lwork = int(64 * n);
            int info = 0;
            std::vector<cd> zt(p), zw(lwork);
            std::vector<cf> ct(p), cw(lwork);
            std::vector<float> st(p), sw(lwork);
            const Cx want = Lapack(
                k, a,
                [&](cd *x) { zgeqrf_(&mi, &ni, x, &mi, zt.data(), zw.data(), &lwork, &info); },
                [&](cf *x) { cgeqrf_(&mi, &ni, x, &mi, ct.data(), cw.data(), &lwork, &info); },
                [&](float *x) { sgeqrf_(&mi, &ni, x, &mi, st.data(), sw.data(), &lwork, &info); });
            for (bool pivot : {false, true}) {
                CMatrix *q = nullptr, *r = nullptr, *e = nullptr;
                if (pivot) {
                    Qr(q, r, e, A.get(), false);
                } else {
                    Qr(q, r, A.get(), false);
                }
                const ArrayPtr Q(q), R(r), E(e);
                const Cx qq = Get(q, k), rr = Get(r, k);
                Cx ae = a;
                if (pivot) {
                    Cx ee(n, n);
                    for (std::size_t i = 0; i < n * n; ++i) ee.v[i] = mxGetPr(e)[i];
                    ae = Times(a, ee);
                }
                EXPECT_LE(FroDiff(Times(qq, rr), ae), tol * Fro(a)) << k.name << m << "x" << n;
                EXPECT_LE(Departure(qq), tol) << k.name;
                for (std::size_t j = 0; j < n; ++j) {
                    for (std::size_t i = 0; i < m; ++i) {
                        if (i > j) {
                            EXPECT_EQ(rr(i, j), 0.0);
                        } else if (!pivot) {
                            EXPECT_LE(std::abs(rr(i, j) - want(i, j)), tol)
                                << k.name << i << "," << j;
                        }
                        if (i == j) {
                            EXPECT_EQ(rr(i, i).imag(), 0.0);
                        }
                        if (pivot && i == j && i > 0) {
                            EXPECT_LE(std::abs(rr(i, i)), std::abs(rr(i - 1, i - 1)) * (1 + tol));
                        }
                    }
                }
            }
        }
    }
}

// A = U*S*V' within 30*max(m,n)*eps, U and V unitary (economy and full),
// values as gesvd's; Norm(A, 2) the largest, 1, Inf and 'fro' as their
// sums; a product of rank r has Rank r, and Pinv(A) satisfies A*X*A = A.
TEST(TypedFactor, SvdAgreesWithGesvd) {
    std::mt19937_64 rng(Seed());
    for (const Kind &k : kKinds) {
        for (const DimList &s :
             std::vector<DimList>{{1, 1}, {2, 2}, {7, 5}, {5, 7}, {1, 6}, {40, 30}, {30, 40}}) {
            const std::size_t m = s[0], n = s[1], p = std::min(m, n);
            const Cx a = Random(k, m, n, rng);
            const ArrayPtr A = Make(k, a);
            const double tol = 30.0 * std::max(m, n) * k.eps, scale = Fro(a);
            const int mi = int(m), ni = int(n), one = 1, lwork = int(64 * (m + n));
            int info = 0;
            std::vector<double> w(p), rw(5 * p);
            std::vector<float> wf(p), rwf(5 * p);
            std::vector<cd> zw(lwork);
            std::vector<cf> cw(lwork);
            std::vector<float> sw(lwork);
            Lapack(
                k, a,
                [&](cd *x) {
                    zgesvd_("N", "N", &mi, &ni, x, &mi, w.data(), nullptr, &one, nullptr, &one,
                            zw.data(), &lwork, rw.data(), &info, 1, 1);
                },
                [&](cf *x) {
                    cgesvd_("N", "N", &mi, &ni, x, &mi, wf.data(), nullptr, &one, nullptr, &one,
                            cw.data(), &lwork, rwf.data(), &info, 1, 1);
                },
                [&](float *x) {
                    sgesvd_("N", "N", &mi, &ni, x, &mi, wf.data(), nullptr, &one, nullptr, &one,
                            sw.data(), &lwork, &info, 1, 1);
                });
            if (k.id == mxClassSingle) w.assign(wf.begin(), wf.end());
            const Cx values = Get(ArrayPtr(Svd(A.get(), false)).get(), k, true);
            for (std::size_t i = 0; i < p; ++i)
                EXPECT_NEAR(values.v[i].real(), w[i], tol * scale) << k.name;
            for (bool economy : {false, true}) {
                CMatrix *u = nullptr, *sv = nullptr, *v = nullptr;
                Svd(u, sv, v, A.get(), economy);
                const ArrayPtr U(u), S(sv), V(v);
                const Cx uu = Get(u, k), ss = Get(sv, k, true), vv = Get(v, k);
                EXPECT_EQ(Dims(u), (DimList{unsigned(m), unsigned(economy ? p : m)}));
                EXPECT_EQ(Dims(v), (DimList{unsigned(n), unsigned(economy ? p : n)}));
                for (std::size_t i = 0; i < p; ++i) EXPECT_EQ(ss(i, i), values.v[i]);
                Cx vh(vv.n, vv.m);
                for (std::size_t i = 0; i < vv.m; ++i)
                    for (std::size_t j = 0; j < vv.n; ++j) vh(j, i) = std::conj(vv(i, j));
                EXPECT_LE(FroDiff(Times(Times(uu, ss), vh), a), tol * scale)
                    << k.name << m << "x" << n;
                EXPECT_LE(Departure(uu), tol) << k.name;
                EXPECT_LE(Departure(vv), tol) << k.name;
            }
            double n1 = 0, ninf = 0;
            for (std::size_t j = 0; j < n; ++j) {
                double c = 0;
                for (std::size_t i = 0; i < m; ++i) c += std::abs(a(i, j));
                n1 = std::max(n1, c);
            }
            for (std::size_t i = 0; i < m; ++i) {
                double r = 0;
                for (std::size_t j = 0; j < n; ++j) r += std::abs(a(i, j));
                ninf = std::max(ninf, r);
            }
            EXPECT_NEAR(Norm(A.get(), 2.0), w[0], tol * scale);
            // A vector's 1-norm is the sum of its moduli, its Inf-norm the
            // largest.
            if (m == 1) std::swap(n1, ninf);
            EXPECT_NEAR(Norm(A.get(), 1.0), n1, tol * n1);
            EXPECT_NEAR(Norm(A.get(), kInf), ninf, tol * ninf);
            EXPECT_NEAR(NormFro(A.get()), scale, tol * scale);
            const std::size_t r = std::max<std::size_t>(p / 2, 1);
            const Cx low = Times(Random(k, m, r, rng), Random(k, r, n, rng));
            const ArrayPtr L = Make(k, low);
            EXPECT_EQ(Rank(L.get()), r) << k.name << m << "x" << n;
            const Cx x = Get(ArrayPtr(Pinv(L.get())).get(), k);
            EXPECT_LE(FroDiff(Times(Times(low, x), low), low), 10 * tol * Fro(low)) << k.name;
        }
    }
}

// Special operands of every kind: each function computes (NaN or Inf where
// the operand has them: Svd's values and Norm(A, 2) NaN for a NaN) or
// refuses with one of the library's exceptions, and leaks nothing.
TEST(TypedFactor, SpecialOperands) {
    std::mt19937_64 rng(Seed());
    for (const Kind &k : kKinds) {
        std::vector<Cx> operands;
        for (const DimList &s :
             std::vector<DimList>{{0, 0}, {0, 3}, {3, 0}, {1, 1}, {3, 3}, {2, 4}}) {
            operands.push_back(Cx(s[0], s[1]));  // zeros
            if (s[0] * s[1] == 0) continue;
            for (double bad : {kNaN, kInf}) {
                Cx a = Random(k, s[0], s[1], rng, s[0] == s[1]);
                a(0, 0) = bad;
                operands.push_back(a);
            }
        }
        for (const Cx &a : operands) {
            const ArrayPtr A = Make(k, a);
            const CMatrix *p = A.get();
            const bool nan =
                std::any_of(a.v.begin(), a.v.end(), [](cd x) { return std::isnan(x.real()); });
            const std::vector<std::function<void()>> calls = {
                [p] {
                    bool ok;
                    ArrayPtr(Chol(p, ok));
                },
                [p] { ArrayPtr(Eig(p, true)); },
                [p] {
                    CMatrix *d = nullptr, *v = nullptr;
                    Eig(d, v, p, true);
                    ArrayPtr D(d), V(v);
                },
                [p] {
                    CMatrix *q = nullptr, *r = nullptr, *e = nullptr;
                    Qr(q, r, e, p, false);
                    ArrayPtr Q(q), R(r), E(e);
                },
                [p] {
                    CMatrix *u = nullptr, *s = nullptr, *v = nullptr;
                    Svd(u, s, v, p, true);
                    ArrayPtr U(u), S(s), V(v);
                },
                [p] { Norm(p, 1.0), Norm(p, kInf), NormFro(p), Rank(p); },
                [p] { ArrayPtr(Pinv(p)); },
                [p, nan] {
                    const ArrayPtr s(Svd(p, false));
                    EXPECT_TRUE(!nan || std::isnan(matrix_test::AnyValues(s.get())[0]));
                    EXPECT_TRUE(!nan || std::isnan(Norm(p, 2.0)));
                }};
            for (std::size_t c = 0; c < calls.size(); ++c) {
                const matrix_test::LiveBlocks blocks;
                try {
                    calls[c]();
                } catch (const IMatrixException &) {}
                EXPECT_EQ(blocks.Delta(), 0) << k.name << " call " << c;
            }
        }
    }
}

}  // namespace
