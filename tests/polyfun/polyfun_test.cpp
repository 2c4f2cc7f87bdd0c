// tests/polyfun/polyfun_test.cpp: polynomials and interpolants against closed
// forms and stored reference values.
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/polyfun.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kiv::matrix;

struct Deleter {
    void operator()(CMatrix *a) const { mxDestroyArray(a); }
};
using Owned = std::unique_ptr<CMatrix, Deleter>;

Owned Row(const std::vector<double> &v) {
    return Owned(mxDoubleMatrix(1, static_cast<unsigned int>(v.size()), v.data(), nullptr));
}

std::vector<double> Re(const CMatrix *a) {
    const double *p = mxGetPr(a);
    return std::vector<double>(p, p + a->GetNoElems());
}

std::vector<std::complex<double>> Values(const CMatrix *a) {
    std::vector<std::complex<double>> out;
    for (unsigned int k = 0; k < a->GetNoElems(); ++k)
        out.emplace_back(mxGetPr(a)[k], a->IsComplex() ? mxGetPi(a)[k] : 0.0);
    return out;
}

void Near(const std::vector<double> &got, const std::vector<double> &want, double tol,
          const std::string &what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR(got[k], want[k], tol * std::max(1.0, std::fabs(want[k])))
            << what << " at " << k;
}

template <class Call>
std::string Thrown(Call call) {
    try {
        call();
    } catch (const CFunctionErrorException &e) {
        return e.what();
    }
    return "";
}

TEST(Polynomials, ClosedForms) {
    const Owned x = Row({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    const Owned y = Owned(Polyval(Row({2, 0, -1, 5}).get(), x.get()));
    Near(Re(y.get()), {5, 6, 19, 56, 129, 250, 431, 684, 1021, 1454}, 0, "polyval");
    EXPECT_EQ(Polyval(Array{2, 0, -1, 5}, Array(2.0)).Scalar(), 19.0);  // the Array form
    Near(Re(Owned(Polyfit(x.get(), y.get(), 3)).get()), {2, 0, -1, 5}, 1e-11, "polyfit");
    // Centred and scaled: the fit reproduces the data through (x - mu)/sd.
    CMatrix *p = nullptr, *R = nullptr;
    PolyfitInfo info;
    Polyfit(p, R, info, x.get(), y.get(), 3, true);
    const Owned po(p), Ro(R);
    EXPECT_NEAR(info.mu[0], 4.5, 1e-15);
    EXPECT_NEAR(info.mu[1], std::sqrt(82.5 / 9), 1e-15);
    EXPECT_EQ(info.df, 6);
    EXPECT_LT(info.normr, 1e-10);
    std::vector<double> xs;
    for (double t : Re(x.get())) xs.push_back((t - info.mu[0]) / info.mu[1]);
    Near(Re(Owned(Polyval(p, Row(xs).get())).get()), Re(y.get()), 1e-12, "centred fit");

    const auto sorted = [](const CMatrix *a) {
        std::vector<double> v = Re(a);
        std::sort(v.begin(), v.end());
        return v;
    };
    Near(sorted(Owned(Roots(Row({1, -6, 11, -6}).get())).get()), {1, 2, 3}, 1e-12, "roots");
    Near(sorted(Owned(Roots(Row({0, 0, 1, -3, 2, 0, 0}).get())).get()), {0, 0, 1, 2}, 1e-12,
         "roots with zeros");
    const std::vector<std::complex<double>> unit = Values(Owned(Roots(Row({1, 0, 1}).get())).get());
    ASSERT_EQ(unit.size(), 2u);
    EXPECT_NEAR(std::abs(unit[0] * unit[1] - 1.0), 0, 1e-15);
    EXPECT_NEAR(std::abs(unit[0] + unit[1]), 0, 1e-15);
    EXPECT_EQ(Owned(Roots(Row({0, 0}).get()))->GetNoElems(), 0u);
    Near(Re(Owned(Poly(Row({1, 2, 3}).get())).get()), {1, -6, 11, -6}, 0, "poly");

    const Owned a = Row({1, 2, 3}), b = Row({4, 5, 6, 7});
    const Owned c(Conv(a.get(), b.get()));
    Near(Re(c.get()), {4, 13, 28, 34, 32, 21}, 0, "conv");
    Near(Re(Owned(Conv(b.get(), a.get(), ConvShape::kSame)).get()), {13, 28, 34, 32}, 0, "same");
    Near(Re(Owned(Conv(b.get(), a.get(), ConvShape::kValid)).get()), {28, 34}, 0, "valid");
    // An empty operand: nothing to gather, an empty full result, zeros of u's length for 'same'.
    const Owned none = Row({});
    EXPECT_EQ(Owned(Conv(a.get(), none.get()))->GetNoElems(), 0u);
    Near(Re(Owned(Conv(a.get(), none.get(), ConvShape::kSame)).get()), {0, 0, 0}, 0, "same of empty");
    CMatrix *q = nullptr, *r = nullptr;
    Deconv(q, r, c.get(), a.get());
    const Owned qo(q), ro(r);
    Near(Re(q), {4, 5, 6, 7}, 0, "deconv q");
    Near(Re(r), {0, 0, 0, 0, 0, 0}, 0, "deconv r");

    Near(Re(Owned(Polyder(Row({1, 2, 3, 4}).get())).get()), {3, 4, 3}, 0, "polyder");
    Near(Re(Owned(PolyderProduct(a.get(), Row({1, 1}).get())).get()), {3, 6, 5}, 0, "product");
    Near(Re(Owned(Polyint(Row({3, 4, 3}).get())).get()), {1, 2, 3, 0}, 0, "polyint");

    // 1/((s+1)^2 (s+2)) = 1/(s+2) - 1/(s+1) + 1/(s+1)^2; the direct term of
    // (s^3 + 1)/(s^2 + 3s + 2) is s - 3.
    CMatrix *rr = nullptr, *pp = nullptr, *kk = nullptr;
    Residue(rr, pp, kk, Row({1}).get(), Row({1, 4, 5, 2}).get());
    Owned r1(rr), p1(pp), k1(kk);
    Near(Re(rr), {1, -1, 1}, 1e-7, "residues");
    Near(Re(pp), {-2, -1, -1}, 1e-7, "poles");
    EXPECT_EQ(kk->GetNoElems(), 0u);
    Residue(rr, pp, kk, Row({1, 0, 0, 1}).get(), Row({1, 3, 2}).get());
    Owned r2(rr), p2(pp), k2(kk);
    Near(Re(rr), {7, 0}, 1e-12, "residues with direct term");
    Near(Re(kk), {1, -3}, 0, "direct term");
}

TEST(Polynomials, Refusals) {
    const Owned m(mxDoubleMatrix(2, 2, nullptr, nullptr));
    const Owned one = Row({1});
    EXPECT_EQ(Thrown([&] { Owned(Roots(m.get())); }), "Roots: the coefficients must be a vector");
    EXPECT_EQ(Thrown([&] {
                  Owned(Roots(Row({1, NAN}).get()));
              }),
              "Roots: the coefficients must not contain NaN or Inf");
    EXPECT_EQ(Thrown([&] { Owned(Conv(m.get(), one.get())); }),
              "Conv: the arguments must be vectors");
    EXPECT_EQ(Thrown([&] {
                  Owned(Polyfit(one.get(), Row({1, 2}).get(), 1));
              }),
              "Polyfit: X and Y must have the same number of elements");
    EXPECT_EQ(Thrown([&] {
                  CMatrix *q, *r;
                  Deconv(q, r, one.get(), Row({0, 1}).get());
              }),
              "Deconv: the first coefficient of A must be nonzero");
    EXPECT_EQ(Thrown([&] {
                  Owned(Interp1(Row({1, 1}).get(), Row({1, 2}).get(), one.get()));
              }),
              "Interp1: the sample points must be distinct");
}

TEST(Interpolation, ReproducesPolynomialsOfItsDegree) {
    const Owned x = Row({-1, 0, 0.5, 2, 3.5, 4});
    const Owned xq = Row({-1, -0.3, 0.1, 1, 2.2, 3.9, 4});
    const std::vector<double> px = Re(x.get()), pq = Re(xq.get());
    const auto f = [](const std::vector<double> &t, int degree) {
        std::vector<double> out;
        for (double s : t) out.push_back(degree == 1 ? 3 * s - 1 : (s - 1) * s * (s + 2) + 1);
        return out;
    };
    struct Case {
        InterpMethod method;
        int degree;
    };
    for (const Case &c : {Case{InterpMethod::kLinear, 1}, Case{InterpMethod::kPchip, 1},
                          Case{InterpMethod::kMakima, 1}, Case{InterpMethod::kSpline, 3}}) {
        const Owned y = Row(f(px, c.degree));
        Near(Re(Owned(Interp1(x.get(), y.get(), xq.get(), c.method)).get()), f(pq, c.degree), 1e-13,
             "method " + std::to_string(static_cast<int>(c.method)));
    }
    // Three points: the parabola; clamped ends: a cubic with its own slopes.
    const Owned x3 = Row({0, 1, 3}), q3 = Row({-1, 0.5, 2, 4});
    Near(Re(Owned(Spline(x3.get(), Row({1, 2, 10}).get(), q3.get())).get()), {2, 1.25, 5, 17},
         1e-14, "parabola");
    Near(Re(Owned(Spline(Row({0, 1, 2}).get(), Row({0, 0, 1, 8, 12}).get(), Row({0.5, 1.5}).get()))
                .get()),
         {0.125, 3.375}, 1e-14, "clamped");
}

TEST(Interpolation, AgainstStoredReferences) {
    // scipy.interpolate.CubicSpline (not-a-knot) and PchipInterpolator of
    // these points, evaluated once and stored.
    const Owned x = Row({0, 1, 2.5, 3, 4.5, 6});
    const Owned y = Row({1, 3, 2, 2.5, 0, 1});
    const Owned xq = Row({-0.5, 0.3, 1.7, 2.75, 4, 5.2, 6.5});
    Near(Re(Owned(Spline(x.get(), y.get(), xq.get())).get()),
         {-2.5918749999999986, 2.191931666666666, 2.372504444444445, 2.2636762152777776,
          1.1854012345679017, -0.8817476543209879, 4.704459876543211},
         1e-13, "spline");
    Near(Re(Owned(Pchip(x.get(), y.get(), xq.get())).get()),
         {-0.45000000000000023, 1.8828, 2.5499259259259257, 2.25, 0.6481481481481481,
          0.13066666666666674, 2.2222222222222223},
         1e-13, "pchip");
    // Outside the points: NaN for linear, the given value, or the end lines.
    const std::vector<double> lin = Re(Owned(Interp1(x.get(), y.get(), xq.get())).get());
    EXPECT_TRUE(std::isnan(lin[0]) && std::isnan(lin[6]));
    Near(Re(Owned(Interp1(x.get(), y.get(), xq.get(), InterpMethod::kLinear, InterpExtrap::kExtrap))
                .get()),
         {0, 1.6, 2.5333333333333337, 2.25, 0.83333333333333348, 0.46666666666666679,
          1.3333333333333333},
         1e-15, "linear extrap");
    // Bilinear interpolation reproduces a + b x + c y + d x y.
    const Owned gx = Row({0, 1, 3}), gy = Row({-1, 2});
    std::vector<double> v;
    for (double s : {0.0, 1.0, 3.0})
        for (double t : {-1.0, 2.0}) v.push_back(1 + 2 * s - t + 0.5 * s * t);
    const Owned V(mxDoubleMatrix(2, 3, v.data(), nullptr));
    const Owned qx = Row({0.5, 2, 3, 3.5}), qy = Row({0, 1.5, 2, 0});
    const std::vector<double> got =
        Re(Owned(Interp2(gx.get(), gy.get(), V.get(), qx.get(), qy.get())).get());
    Near({got[0], got[1], got[2]}, {2, 5, 8}, 1e-15, "bilinear");
    EXPECT_TRUE(std::isnan(got[3]));
}

}  // namespace
