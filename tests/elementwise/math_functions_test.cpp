// tests/elementwise/math_functions_test.cpp: the gamma, beta and error functions against
// values computed once at 200 bits with mpmath (correctly rounded), the
// number theory on 64-bit values, and the refusals.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

using Unary = CMatrix *(*)(const CMatrix *);
using Binary = CMatrix *(*)(const CMatrix *, const CMatrix *);
__extension__ typedef __int128 Int128;

// Distance in units in the last place between two finite doubles of one sign.
double Ulps(double got, double want) {
    if (got == want) return 0;
    if (!std::isfinite(got) || !std::isfinite(want)) return 1e300;
    return std::fabs(got - want) / (std::nextafter(std::fabs(want), kInf) - std::fabs(want));
}

struct Case {
    const char *name;
    Unary f;
    Binary f2;
    std::vector<double> x;
    double want;
};
// clang-format off
const Case kCases[] = {
    {"gamma", Gamma, nullptr, {0.5}, 1.772453850905516},
    {"gamma", Gamma, nullptr, {1.5}, 0.886226925452758},
    {"gamma", Gamma, nullptr, {5.5}, 52.34277778455352},
    {"gamma", Gamma, nullptr, {-0.5}, -3.544907701811032},
    {"gamma", Gamma, nullptr, {-2.5}, -0.9453087204829419},
    {"gamma", Gamma, nullptr, {1e-05}, 99999.42279422555},
    {"gamma", Gamma, nullptr, {30.7}, 9.528117499079478e+31},
    {"gamma", Gamma, nullptr, {170.5}, 5.56209241456e+305},
    {"gamma", Gamma, nullptr, {171.7}, kInf},
    {"gammaln", Gammaln, nullptr, {0.5}, 0.5723649429247001},
    {"gammaln", Gammaln, nullptr, {3.7}, 1.428072326665388},
    {"gammaln", Gammaln, nullptr, {100.3}, 360.5147057290581},
    {"gammaln", Gammaln, nullptr, {100000.0}, 1051287.7089736569},
    {"gammaln", Gammaln, nullptr, {1e-08}, 18.42068073818021},
    {"gammaln", Gammaln, nullptr, {2.5e+305}, 1.7555118602376452e+308},
    {"erf", Erf, nullptr, {1e-20}, 1.1283791670955125e-20},
    {"erf", Erf, nullptr, {0.1}, 0.1124629160182849},
    {"erf", Erf, nullptr, {-0.7}, -0.6778011938374184},
    {"erf", Erf, nullptr, {2.5}, 0.999593047982555},
    {"erf", Erf, nullptr, {5.9}, 0.9999999999999999},
    {"erfc", Erfc, nullptr, {0.3}, 0.6713732405408726},
    {"erfc", Erfc, nullptr, {3.0}, 2.209049699858544e-05},
    {"erfc", Erfc, nullptr, {10.0}, 2.088487583762545e-45},
    {"erfc", Erfc, nullptr, {26.0}, 5.663192408856143e-296},
    {"erfc", Erfc, nullptr, {-1.5}, 1.9661051464753108},
    {"erfcx", Erfcx, nullptr, {-26.0}, 7.657724931490568e+293},
    {"erfcx", Erfcx, nullptr, {-3.0}, 16205.988853999586},
    {"erfcx", Erfcx, nullptr, {-0.5}, 1.952360489182557},
    {"erfcx", Erfcx, nullptr, {0.2}, 0.8090195199015807},
    {"erfcx", Erfcx, nullptr, {1.0}, 0.427583576155807},
    {"erfcx", Erfcx, nullptr, {5.0}, 0.11070463773306863},
    {"erfcx", Erfcx, nullptr, {9.99}, 0.05619664070685882},
    {"erfcx", Erfcx, nullptr, {10.0}, 0.05614099274382259},
    {"erfcx", Erfcx, nullptr, {50.0}, 0.011281536265323773},
    {"erfcx", Erfcx, nullptr, {100000.0}, 5.6418958351954685e-06},
    {"erfcx", Erfcx, nullptr, {10000000000.0}, 5.641895835477563e-11},
    {"erfinv", Erfinv, nullptr, {1e-10}, 8.862269254527581e-11},
    {"erfinv", Erfinv, nullptr, {0.3}, 0.2724627147267543},
    {"erfinv", Erfinv, nullptr, {-0.6}, -0.5951160814499948},
    {"erfinv", Erfinv, nullptr, {0.9}, 1.1630871536766743},
    {"erfinv", Erfinv, nullptr, {0.999999}, 3.458910737275499},
    {"erfinv", Erfinv, nullptr, {0.9999999999999998}, 5.805018683193453},
    {"erfinv", Erfinv, nullptr, {-0.9999999999}, -4.572824958544925},
    {"erfcinv", Erfcinv, nullptr, {1e-300}, 26.209469960516124},
    {"erfcinv", Erfcinv, nullptr, {1e-20}, 6.601580622355143},
    {"erfcinv", Erfcinv, nullptr, {0.001}, 2.3267537655135246},
    {"erfcinv", Erfcinv, nullptr, {0.7}, 0.2724627147267544},
    {"erfcinv", Erfcinv, nullptr, {1.3}, -0.2724627147267544},
    {"erfcinv", Erfcinv, nullptr, {1.999}, -2.3267537655135464},
    {"beta", nullptr, Beta, {0.5, 0.5}, 3.141592653589793},
    {"beta", nullptr, Beta, {2.0, 3.0}, 0.08333333333333333},
    {"beta", nullptr, Beta, {10.5, 0.3}, 1.4924896772064042},
    {"beta", nullptr, Beta, {100.0, 200.0}, 3.607285449794666e-84},
    {"beta", nullptr, Beta, {0.001, 5.0}, 997.9195452322546},
    {"betaln", nullptr, Betaln, {100.0, 200.0}, -192.13419227497894},
    {"betaln", nullptr, Betaln, {10000.0, 3.0}, -26.938173910371603},
};
// clang-format on

TEST(MathFunctions, AgreeWithHighPrecisionValues) {
    for (const Case &c : kCases) {
        ArrayPtr a = Row({c.x[0]});
        ArrayPtr r;
        if (c.f != nullptr) {
            r = ArrayPtr(c.f(a.get()));
        } else {
            ArrayPtr b = Row({c.x[1]});
            r = ArrayPtr(c.f2(a.get(), b.get()));
        }
        // Beta beyond the gamma function's range is exp(betaln): an error of
        // eps in a logarithm of -192 is 192 ulps of the result.
        const double budget = std::string(c.name) == "beta" ? 200 : 4;
        EXPECT_LE(Ulps(mxGetPr(r.get())[0], c.want), budget) << c.name << "(" << c.x[0] << ")";
    }
}

TEST(MathFunctions, EdgesPolesAndSingle) {
    const auto at = [](Unary f, double x) {
        ArrayPtr r(f(Row({x}).get()));
        return mxGetPr(r.get())[0];
    };
    EXPECT_EQ(at(Gamma, 0), kInf);
    EXPECT_EQ(at(Gamma, -0.0), -kInf);
    EXPECT_EQ(at(Gamma, -3), kInf);
    EXPECT_TRUE(std::isnan(at(Gamma, -kInf)));
    EXPECT_EQ(at(Erfinv, 1), kInf);
    EXPECT_EQ(at(Erfinv, -1), -kInf);
    EXPECT_TRUE(std::isnan(at(Erfinv, 1.5)));
    EXPECT_EQ(at(Erfcinv, 0), kInf);
    EXPECT_EQ(at(Erfcinv, 2), -kInf);
    EXPECT_EQ(at(Erfcx, -kInf), kInf);
    EXPECT_EQ(at(Erfcx, kInf), 0);
    // gamma(n + 1) = factorial(n), exactly, and both exact up to 22!.
    double exact = 1;
    for (int n = 0; n <= 22; ++n) {
        if (n > 0) exact *= n;
        EXPECT_EQ(at(Gamma, n + 1), exact) << n;
        EXPECT_EQ(at(Factorial, n), exact) << n;
    }
    EXPECT_EQ(at(Factorial, 171), kInf);
    // Beyond 22!, n! rounded once (a running product drifts from it at 28!).
    const double nearest[][2] = {{28, 3.0488834461171387e+29},
                                 {50, 3.0414093201713376e+64},
                                 {100, 9.332621544394415e+157},
                                 {170, 7.257415615307999e+306}};
    for (const auto &f : nearest) {
        EXPECT_EQ(at(Factorial, f[0]), f[1]) << f[0];
        EXPECT_EQ(at(Gamma, f[0] + 1), f[1]) << f[0];
    }
    // Single: the double result rounded once.
    ArrayPtr s = TypedRow(mxClassSingle, {0.5, 0.125, 0.75});
    for (Unary f : std::vector<Unary>{Gamma, Gammaln, Erf, Erfc, Erfcx, Erfinv, Erfcinv}) {
        ArrayPtr r(f(s.get())), d(f(Row({0.5, 0.125, 0.75}).get()));
        ASSERT_EQ(r->GetClassID(), mxClassSingle);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(static_cast<const float *>(r->GetPr())[k], float(mxGetPr(d.get())[k]));
    }
}

TEST(NumberTheory, SixtyFourBitValues) {
    // Primes and strong pseudoprimes to many bases near 2^64.
    const std::vector<std::uint64_t> n = {2,
                                          561,
                                          3215031751u,
                                          2305843009213693951u,
                                          3825123056546413051u,
                                          18446744073709551557u,
                                          18446744073709551615u,
                                          1000000007u * 998244353u};
    ArrayPtr u = Typed(mxClassUint64, {1, unsigned(n.size())}, n);
    ArrayPtr p(Isprime(u.get()));
    EXPECT_EQ(Values(p.get()), (ValueList{1, 0, 0, 1, 0, 1, 0, 0}));
    ArrayPtr f(Factor(Typed(mxClassUint64, {1, 1}, std::vector<std::uint64_t>{n[6]}).get()));
    const std::uint64_t *fv = static_cast<const std::uint64_t *>(f->GetPr());
    EXPECT_EQ(std::vector<std::uint64_t>(fv, fv + f->GetNoElems()),
              (std::vector<std::uint64_t>{3, 5, 17, 257, 641, 65537, 6700417}));
    // Bezout: g = a u + b v exactly, in int64 and double.
    ArrayPtr a =
        Typed(mxClassInt64, {1, 4}, std::vector<std::int64_t>{-12, 0, 9007199254740993, 7});
    ArrayPtr b = Typed(mxClassInt64, {1, 4}, std::vector<std::int64_t>{18, 0, 6, -1000000000039});
    CMatrix *g = nullptr, *uu = nullptr, *vv = nullptr;
    Gcd(a.get(), b.get(), &g, &uu, &vv);
    ArrayPtr G(g), U(uu), V(vv);
    for (int k = 0; k < 4; ++k) {
        const auto at = [k](const CMatrix *m) {
            return static_cast<Int128>(static_cast<const std::int64_t *>(m->GetPr())[k]);
        };
        EXPECT_EQ(at(G.get()), at(a.get()) * at(U.get()) + at(b.get()) * at(V.get())) << k;
        EXPECT_GE(at(G.get()), 0);
    }
    EXPECT_EQ(static_cast<const std::int64_t *>(G->GetPr())[2], 3);
    // nchoosek: exact in 64 bits, and rounded once beyond 2^53 in double.
    ArrayPtr c(Nchoosek(Typed(mxClassUint64, {1, 1}, std::vector<std::uint64_t>{60}).get(),
                        Row({30}).get()));
    EXPECT_EQ(static_cast<const std::uint64_t *>(c->GetPr())[0], 118264581564861424u);
    ArrayPtr cd(Nchoosek(Row({60}).get(), Row({30}).get()));
    EXPECT_EQ(mxGetPr(cd.get())[0], 118264581564861424.0);
}

TEST(MathFunctions, Refusals) {
    ArrayPtr i8 = Typed(mxClassInt8, {1, 1}, std::vector<std::int8_t>{3});
    ArrayPtr z = Complex(1, 1, {1}, {1});
    ArrayPtr half = Row({2.5}), neg = Row({-1}), five = Row({5}), six = Row({6});
    const auto message = [](const char *text) {
        return Expected::Throws(CFunctionErrorException(
            kiv::WString(std::wstring(text, text + std::char_traits<char>::length(text)).c_str())));
    };
    ExpectRefusals({
        {"gamma int8",
         [&] { ArrayPtr r(Gamma(i8.get())); },
         message(
             "gamma: not defined for values of class int8; convert them to double or single first"),
         {i8.get()}},
        {"erf complex",
         [&] { ArrayPtr r(Erf(z.get())); },
         message("erf: input must be real"),
         {z.get()}},
        {"factorial",
         [&] { ArrayPtr r(Factorial(half.get())); },
         message("factorial: N must be an array of real non-negative integers"),
         {half.get()}},
        {"nchoosek",
         [&] { ArrayPtr r(Nchoosek(five.get(), six.get())); },
         message("nchoosek: K must be an integer between 0 and N"),
         {five.get()}},
        {"gcd",
         [&] { ArrayPtr r(Gcd(half.get(), six.get())); },
         message("gcd: inputs must be real integers"),
         {half.get()}},
        {"nthroot",
         [&] { ArrayPtr r(Nthroot(neg.get(), six.get())); },
         message("nthroot: if X is negative, N must be an odd integer"),
         {neg.get()}},
        {"reallog",
         [&] { ArrayPtr r(Reallog(neg.get())); },
         message("Reallog produced complex result."),
         {neg.get()}},
        {"gcd int8 int16",
         [&] {
             ArrayPtr r(
                 Gcd(i8.get(), Typed(mxClassInt16, {1, 1}, std::vector<std::int16_t>{2}).get()));
         },
         Expected::Throws<CIntegersCanOnlyBeCombinedException>(),
         {i8.get()}},
    });
}

}  // namespace
