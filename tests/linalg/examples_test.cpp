// tests/linalg/examples_test.cpp: worked examples with exact results, and the kernels' edge
// cases (pivot choices, failing rows, ties, values given up on).
#include <kiv/random.h>

#include <cmath>

#include "kernels/chol_kernel.h"
#include "kernels/eig_kernel.h"
#include "kernels/lu_kernel.h"
#include "kernels/planerot_kernel.h"
#include "kernels/svd_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::BitsOf;
using matrix_test::Filled;
namespace kernels = kiv::matrix::kernels;

/// A double result without the logical flag, of that shape, whose values
/// are within tol of `want` (NaN where NaN).
void ExpectResult(const CMatrix *x, const DimList &dims, const std::vector<double> &want,
                  double tol = 0.0) {
    EXPECT_EQ(Dims(x), dims);
    EXPECT_TRUE(mxIsDouble(x) && !mxIsLogical(x));
    const std::vector<double> got = Values(x);
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
        EXPECT_TRUE(std::fabs(got[i] - want[i]) <= tol || got[i] == want[i] ||
                    (std::isnan(got[i]) && std::isnan(want[i])))
            << "element " << i << ": " << got[i] << " instead of " << want[i];
    }
}

ArrayPtr Logical(ArrayPtr a) {
    a->SetLogical();
    return a;
}

TEST(Mtimes, WorkedExamples) {
    const ArrayPtr a = Matrix(2, 3, {1, 4, 2, 5, 3, 6}), b = Matrix(3, 2, {7, 9, 11, 8, 10, 12});
    ExpectResult(ArrayPtr(Mtimes(a.get(), b.get())).get(), {2, 2}, {58, 139, 64, 154});
    // No product is skipped: 0 * Inf is NaN.
    const ArrayPtr l = Logical(Matrix(1, 2, {0, 1})), inf = Matrix(2, 1, {kInf, 1});
    ExpectResult(ArrayPtr(Mtimes(l.get(), inf.get())).get(), {1, 1}, {kNaN});
    // A one-element operand multiplies element-wise, whatever the other's shape.
    const ArrayPtr nd = matrix_test::Counted({2, 3, 4}, 0.0), s = Matrix(1, 1, {2});
    for (const ArrayPtr &r :
         {ArrayPtr(Mtimes(s.get(), nd.get())), ArrayPtr(Mtimes(nd.get(), s.get()))}) {
        EXPECT_EQ(Dims(r.get()), (DimList{2, 3, 4}));
        for (unsigned int i = 0; i < 24; ++i) EXPECT_EQ(mxGetPr(r.get())[i], 2.0 * i);
    }
    // Empty inner dimensions give +0 everywhere (sums start from 0.0).
    for (const std::vector<DimList> &t : std::vector<std::vector<DimList>>{
             {{2, 0}, {3, 4}, {0, 0}}, {{2, 3}, {0, 4}, {0, 0}}, {{3, 0}, {0, 4}, {3, 4}}}) {
        const ArrayPtr x = Array(t[0]), y = Array(t[1]);
        std::fill_n(mxGetPr(x.get()), x->GetNoElems(), -0.0);
        std::fill_n(mxGetPr(y.get()), y->GetNoElems(), 1.0);
        const ArrayPtr r(Mtimes(x.get(), y.get()));
        EXPECT_EQ(Dims(r.get()), t[2]);
        for (double v : Values(r.get())) EXPECT_EQ(Bits(v), 0u);
    }
}

// The scale factors decide: for [3 1000; 2 1] row 2 (scaled 1.0) beats row
// 1 (0.003); for [1 0; 1 0] the scaled magnitudes tie and the later row
// wins; zero pivots become 1e-20 and are reported; when every candidate is
// NaN the diagonal row stays.
TEST(LuCrout, PivotChoices) {
    struct Case {
        std::vector<double> a;
        std::vector<std::int32_t> ipiv;
        int parity, info;
    };
    for (const Case &t : std::vector<Case>{{{3, 2, 1000, 1}, {2, 2}, -1, 0},
                                           {{1, 1, 0, 0}, {2, 2}, -1, 2},
                                           {{-0.0, -0.0, -0.0, -0.0}, {2, 2}, -1, 1},
                                           {{kNaN, kNaN, 1, 2}, {1, 2}, 1, 0}}) {
        std::vector<double> a = t.a, scale(2);
        std::vector<std::int32_t> ipiv(2);
        int parity = 0;
        EXPECT_EQ(kernels::LuCrout(2, a.data(), 2, ipiv.data(), parity, scale.data()), t.info);
        EXPECT_EQ(ipiv, t.ipiv) << t.a[0];
        EXPECT_EQ(parity, t.parity) << t.a[0];
        EXPECT_TRUE(t.info == 0 || a[3] == 1.0e-20);
    }
}

TEST(Lu, WorkedExamples) {
    const ArrayPtr a = Matrix(2, 2, {1, 3, 2, 4});
    Outs f, g;
    Lu(f[0], f[1], f[2], a.get());
    Lu(g[0], g[1], a.get());
    ExpectResult(f[2], {2, 2}, {0, 1, 1, 0});
    ExpectResult(f[0], {2, 2}, {1, 1.0 / 3.0, 0, 1});
    ExpectResult(g[0], {2, 2}, {1.0 / 3.0, 1, 1, 0});
    ExpectResult(f[1], {2, 2}, {3, 0, 4, 2.0 - (1.0 / 3.0) * 4.0});
    EXPECT_EQ(BitsOf(g[1]), BitsOf(f[1]));
    EXPECT_NEAR(Det(a.get()), -2.0, 4 * kEps);
    // Two substituted pivots of 1e-20 and one interchange.
    EXPECT_EQ(Bits(Det(Matrix(2, 2, {0, 0, 0, 0}).get())), Bits(-(1.0e-20 * 1.0e-20)));
    // The imaginary part is ignored.
    const ArrayPtr c = matrix_test::Counted({2, 2}, 1.0, mxComplexityComplex);
    EXPECT_EQ(Det(c.get()), Det(Matrix(2, 2, {1, 2, 3, 4}).get()));
    // An empty matrix: empty double factors and a determinant of 1.
    const ArrayPtr e = Array({0, 0});
    Outs fe, ge;
    Lu(fe[0], fe[1], fe[2], e.get());
    Lu(ge[0], ge[1], e.get());
    for (CMatrix *x : {fe[0], fe[1], fe[2], ge[0], ge[1]}) ExpectResult(x, {0, 0}, {});
    EXPECT_EQ(Det(e.get()), 1.0);
}

TEST(Mldivide, WorkedExamples) {
    struct Case {
        ArrayPtr a, b;
        bool right;
        DimList dims;
        std::vector<double> x;
    };
    std::vector<Case> cases;
    cases.push_back({Matrix(2, 1, {1, 1}), Matrix(2, 1, {1, 3}), false, {1, 1}, {2}});
    // Rank 0: the zero matrix gives zeros.
    cases.push_back(
        {ToArray(Dense(3, 2)), Matrix(3, 2, {1, 2, 3, 4, 5, 6}), false, {2, 2}, {0, 0, 0, 0}});
    // A scalar divides element-wise, whatever the other's shape.
    cases.push_back(
        {Matrix(1, 1, {2}), Filled({2, 1, 2}, {2, 3, 4, 5}), false, {2, 1, 2}, {1, 1.5, 2, 2.5}});
    cases.push_back(
        {Matrix(2, 3, {2, 4, 6, 8, 10, 12}), Matrix(1, 1, {2}), true, {2, 3}, {1, 2, 3, 4, 5, 6}});
    // No equations: zeros of n x k.
    cases.push_back({Array({0, 4}), Array({0, 2}), false, {4, 2}, std::vector<double>(8, 0.0)});
    // A scalar A and a column B: X*B = A has the 1 x k basic solution.
    cases.push_back({Matrix(1, 1, {6}), Matrix(3, 1, {0, 3, 0}), true, {1, 3}, {0, 2, 0}});
    cases.push_back({Matrix(1, 2, {3, 7}), Matrix(2, 2, {1, 0, 1, 2}), true, {1, 2}, {3, 2}});
    cases.push_back({Array({3, 3}), Array({3, 0}), false, {3, 0}, {}});
    cases.push_back({Array({3, 0}), Array({3, 2}), false, {0, 2}, {}});
    cases.push_back({Array({2, 5}), Array({2, 0}), false, {5, 0}, {}});
    for (const Case &t : cases) {
        ExpectResult(
            ArrayPtr(t.right ? Mrdivide(t.a.get(), t.b.get()) : Mldivide(t.a.get(), t.b.get()))
                .get(),
            t.dims, t.x, 4 * kEps);
    }
    // A singular square matrix gives huge finite values (pivot 1e-14).
    const ArrayPtr x(Mldivide(Matrix(2, 2, {1, 2, 2, 4}).get(), Matrix(2, 1, {1, 1}).get()));
    for (double v : Values(x.get())) EXPECT_TRUE(std::isfinite(v) && std::fabs(v) > 1e12) << v;
}

// The row whose x is negative is reported from 1; a zero or NaN x passes.
TEST(CholeskyUpper, ReportsTheFailingRow) {
    double a[] = {4, 0, 0, 2, 2, 0, 0, 0, -1}, nan[] = {kNaN, 0, 0, 1}, r[9];
    EXPECT_EQ(kernels::CholeskyUpper(3, a, 3, r, 3), 3u);  // x of row 1 is 2 - 1 = 1, row 2: -1
    EXPECT_EQ(kernels::CholeskyUpper(2, nan, 2, r, 2), 0u);
}

TEST(Chol, WorkedExamples) {
    const ArrayPtr a = Logical(Matrix(2, 2, {4, kNaN, 2, 3}));
    ExpectResult(ArrayPtr(Chol(a.get())).get(), {2, 2}, {2, 0, 1, std::sqrt(2.0)});
    // Only 4, 100 and 3 are read: x of row 1 is 3 - 50^2.
    bool ok = true;
    ExpectResult(ArrayPtr(Chol(Matrix(2, 2, {4, -7, 100, 3}).get(), ok)).get(), {0, 0}, {});
    EXPECT_FALSE(ok);
    // The zero matrix: R(0,0) = 0 and 0/0 to its right.
    ExpectResult(ArrayPtr(Chol(Matrix(2, 2, {0, 0, 0, 0}).get(), ok)).get(), {2, 2},
                 {0, 0, kNaN, kNaN});
    EXPECT_TRUE(ok);
    // Any empty operand gives 0 x 0 with ok set, whatever its shape or class.
    for (const DimList &dims : {DimList{0, 3}, DimList{3, 0}, DimList{2, 0, 2}}) {
        for (mxClassID c : {mxClassDouble, mxClassSingle, mxClassCell}) {
            ok = false;
            ExpectResult(ArrayPtr(Chol(Array(dims, c).get(), ok)).get(), {0, 0}, {});
            EXPECT_TRUE(ok);
        }
    }
}

// The diagonal of R carries -sign of the leading element.
// Pivoting takes the longer column first, the earlier of equal columns,
// counts entries within the cut-off as zero, and for a wide A pivots the
// last row once more on single elements. Empty operands: Q the identity of
// the rows, R sharing A's data, E the identity of the columns.
TEST(Qr, WorkedExamples) {
    Outs f, g;
    Qr(f[0], f[1], Matrix(2, 1, {3, 4}).get(), false);
    ExpectResult(f[0], {2, 2}, {-0.6, -0.8, -0.8, 0.6}, 2 * kEps);
    ExpectResult(f[1], {2, 1}, {-5, 0});
    Qr(g[0], g[1], Matrix(2, 1, {-3, 4}).get(), false);
    ExpectResult(g[1], {2, 1}, {5, 0});
    struct Case {
        unsigned int m, n;
        std::vector<double> a, e;
    };
    for (const Case &t :
         std::vector<Case>{{2, 2, {1, 0, 5, 0}, {0, 1, 1, 0}},
                           {2, 2, {3, 4, 4, 3}, {1, 0, 0, 1}},
                           {3, 2, {1e-12, 1e-12, 1e-12, 1.5e-12, 0, 0}, {0, 1, 1, 0}},
                           {2, 3, {0, 1, 0, 2, 1, 0}, {0, 1, 0, 0, 0, 1, 1, 0, 0}}}) {
        Outs h;
        Qr(h[0], h[1], h[2], Logical(Filled({t.m, t.n}, t.a)).get(), false);
        ExpectResult(h[0], {t.m, t.m}, {});
        ExpectResult(h[1], {t.m, t.n}, {});
        ExpectResult(h[2], {t.n, t.n}, t.e);
    }
    const ArrayPtr a = Array({0, 3}), b = Logical(Array({3, 0}));
    Outs h, k;
    Qr(h[0], h[1], h[2], a.get(), false);
    ExpectResult(h[0], {0, 0}, {});
    ExpectResult(h[1], {0, 3}, {});
    EXPECT_EQ(h[1]->GetPr(), a->GetPr());
    ExpectResult(h[2], {3, 3}, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    Qr(k[0], k[1], b.get(), false);
    ExpectResult(k[0], {3, 3}, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    ExpectResult(k[1], {3, 0}, {});
}

// Equal singular values keep the kernel's order: diag(1, 3, 3, 2) leaves
// them in place, so the two threes keep the first and second unit vectors.
// Empty operands: 0 x 1 values; U and V leading identity columns.
TEST(Svd, WorkedExamples) {
    ExpectResult(ArrayPtr(Svd(Matrix(2, 2, {3, 0, 0, 4}).get(), false)).get(), {2, 1}, {4, 3});
    ExpectResult(ArrayPtr(Svd(Matrix(2, 2, {1, 3, 2, 4}).get(), false)).get(), {2, 1},
                 {5.4649857042190426, 0.36596619062625746}, 1e-14);
    Outs f;
    Svd(f[0], f[1], f[2],
        Logical(Matrix(4, 4, {1, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 2})).get(), false);
    ExpectResult(ArrayPtr(Diag(f[1], 0)).get(), {4, 1}, {3, 3, 2, 1});
    const Dense u = FromArray(f[0]), v = FromArray(f[2]);
    for (CMatrix *x : {f[0], f[1], f[2]}) ExpectResult(x, {4, 4}, {});
    EXPECT_EQ(std::fabs(u(1, 0)) + std::fabs(u(2, 1)) + std::fabs(v(1, 0)) + std::fabs(v(2, 1)),
              4.0);
    for (const DimList &d : {DimList{0, 0}, DimList{0, 3}, DimList{3, 0}}) {
        const ArrayPtr e = Array(d);
        for (bool economy : {false, true}) {
            const unsigned int k = std::min(d[0], d[1]), uc = economy ? k : d[0],
                               vc = economy ? k : d[1];
            ExpectResult(ArrayPtr(Svd(e.get(), economy)).get(), {0, 1}, {});
            Outs g;
            Svd(g[0], g[1], g[2], e.get(), economy);
            EXPECT_EQ(Dims(g[1]), (DimList{uc, vc}));
            ExpectResult(g[0], {d[0], uc}, Values(ArrayPtr(Eye(d[0], uc)).get()));
            ExpectResult(g[2], {d[1], vc}, Values(ArrayPtr(Eye(d[1], vc)).get()));
        }
    }
}

// A NaN keeps every split (deflation) test from passing: after the 30th
// test the unsettled values are reported as the library's NaN, through
// every function built on the decomposition. (x^2 + 1)^2 and (x^2 - 1)^2
// stall unbalanced. Infinite entries never leave a row to be balanced forever.
TEST(Linalg, ReportsUnsettledValuesAsNaN) {
    Dense a(3, 3, 1.0);
    a(1, 2) = kNaN;
    Dense u = a, v(3, 3);
    std::vector<double> w(3), work(kernels::SvdDecomposeWorkspace(3, 3));
    const std::size_t status =
        kernels::SvdDecompose(3, 3, u.v.data(), 3, w.data(), 1, v.v.data(), 3, work.data());
    ASSERT_GT(status, 0u);
    for (std::size_t i = 0; i < status; ++i) EXPECT_EQ(Bits(w[i]), kGiveUpBits) << i;
    const ArrayPtr arg = ToArray(a);
    EXPECT_TRUE(std::isnan(Values(ArrayPtr(Svd(arg.get(), false)).get())[0]));
    Outs f;
    Svd(f[0], f[1], f[2], arg.get(), false);
    EXPECT_TRUE(std::isnan(Values(f[1])[0]));
    EXPECT_EQ(Rank(arg.get()), 0u);
    EXPECT_TRUE(std::isnan(Norm(arg.get(), 2.0)));
    Dense e(4, 4, 1.0);
    e(1, 2) = kNaN;
    for (bool balance : {true, false}) {
        EXPECT_EQ(Bits(Values(ArrayPtr(Eig(ToArray(e).get(), balance)).get())[0]), kGiveUpBits);
        Outs dv;
        Eig(dv[0], dv[1], ToArray(e).get(), balance);
        EXPECT_EQ(Dims(dv[1]), (DimList{4, 4}));
    }
    for (double c : {-2.0, 2.0}) {
        const ArrayPtr companion = Matrix(4, 4, {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -1, 0, c, 0});
        for (double x : Values(ArrayPtr(Eig(companion.get(), false)).get()))
            EXPECT_EQ(Bits(x), kGiveUpBits);
    }
    const ArrayPtr inf = Matrix(3, 3, {1, kInf, 2, 3, 1, 4, 5, 6, 1});
    EXPECT_EQ(Dims(ArrayPtr(Eig(inf.get(), true)).get()), (DimList{3, 1}));
    double b[] = {1e-300, 1e300, kInf, 1.0};
    kernels::Balance(2, b, 2);
}

// A tolerance above every singular value gives rank 0; the vector norms
// of every kind of p, the matrix norms of rows and columns.
TEST(Norm, WorkedExamples) {
    EXPECT_EQ(Rank(Matrix(2, 2, {1, 2, 2, 4}).get()), 1u);
    EXPECT_EQ(Rank(Matrix(2, 2, {3, 0, 0, 4}).get(), 5.0), 0u);
    EXPECT_EQ(Rank(Array({0, 3}).get()), 0u);
    const ArrayPtr row = Matrix(1, 2, {3, -4}), sq = Matrix(2, 2, {1, 3, -2, 4});
    const ArrayPtr wide = Matrix(2, 3, {1, -10, 2, 20, -3, 30});
    for (const auto &[a, p, want] :
         std::vector<std::tuple<const CMatrix *, double, double>>{{row.get(), 2, 5},
                                                                  {row.get(), 1, 7},
                                                                  {row.get(), kInf, 4},
                                                                  {row.get(), -kInf, 3},
                                                                  {row.get(), 0, kInf},
                                                                  {sq.get(), 1, 6},
                                                                  {sq.get(), kInf, 7},
                                                                  {wide.get(), kInf, 60}}) {
        EXPECT_EQ(Norm(a, p), want) << Dims(a)[0] << "x" << Dims(a)[1] << " p = " << p;
    }
    EXPECT_EQ(NormFro(Matrix(1, 2, {3, 4}).get()), 5.0);
    EXPECT_EQ(NormFro(Array({0, 3}).get()), 0.0);
}

TEST(Eig, WorkedExamples) {
    ExpectResult(ArrayPtr(Eig(Matrix(2, 2, {2, 0, 0, 3}).get(), true)).get(), {2, 1}, {2, 3});
    ExpectResult(ArrayPtr(Eig(Matrix(2, 2, {3, 0, 0, 2}).get(), false)).get(), {2, 1}, {3, 2});
    // +/- i become their modulus.
    ExpectResult(ArrayPtr(Eig(Matrix(2, 2, {0, -1, 1, 0}).get(), true)).get(), {2, 1}, {1, 1});
    kiv::RandSeed(Seed());
    Outs dv;
    Eig(dv[0], dv[1], Logical(Matrix(2, 2, {2, 1, 1, 2})).get(), true);
    ExpectResult(dv[0], {2, 2}, {3, 0, 0, 1});
    const Dense v = FromArray(dv[1]);
    const double h = 1.0 / std::sqrt(2.0);
    ExpectResult(dv[1], {2, 2}, {});
    EXPECT_NEAR(std::fabs(v(0, 0)), h, 1e-9);
    EXPECT_NEAR(v(1, 0), v(0, 0), 1e-9);
    EXPECT_NEAR(std::fabs(v(0, 1)), h, 1e-9);
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
    for (mxClassID c : {mxClassDouble, mxClassSingle}) {
        EXPECT_EQ(Dims(ArrayPtr(Eig(Array({0, 0}, c).get(), true)).get()), (DimList{0, 1}));
        Outs de;
        Eig(de[0], de[1], Array({0, 0}, c).get(), false);
        EXPECT_EQ(Dims(de[0]), (DimList{0, 0}));
        EXPECT_EQ(Dims(de[1]), (DimList{0, 0}));
    }
    // A 1 x 1 matrix: V is the sign of the normalised random start (the
    // solve with the exactly singular shift is not finite, so it is kept).
    for (unsigned long long seed = 1; seed <= 6; ++seed) {
        kiv::RandSeed(seed);
        const double start = kiv::Randn();
        kiv::RandSeed(seed);
        Outs one;
        Eig(one[0], one[1], Matrix(1, 1, {5}).get(), seed % 2 == 0);
        ExpectResult(one[0], {1, 1}, {5});
        ExpectResult(one[1], {1, 1}, {start >= 0.0 ? 1.0 : -1.0});
    }
}

// G*x = [r; 0] with G orthogonal, both forms alike, for rows, columns and
// N-d arrays of two; a logical x gives double results. A zero x of any
// signs gives the identity with +0.0 off the diagonal.
TEST(Planerot, WorkedExamples) {
    EXPECT_EQ(kernels::SafeHypot(3.0, -4.0), 5.0);
    EXPECT_EQ(Bits(kernels::SafeHypot(-0.0, -0.0)), 0u);
    EXPECT_NEAR(kernels::SafeHypot(1e300, 1e300), std::sqrt(2.0) * 1e300, 1e285);
    // The plain formula would give 0.0 for (NaN, 0) and NaN for two
    // infinities; the kernel reports NaN and +Inf.
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(kNaN, 0.0)) &&
                std::isnan(kernels::SafeHypot(0, kNaN)));
    EXPECT_EQ(kernels::SafeHypot(kInf, kInf), kInf);
    EXPECT_EQ(kernels::SafeHypot(-kInf, 1.0), kInf);
    EXPECT_EQ(kernels::SafeHypot(kNaN, -kInf), kInf);
    struct Case {
        DimList dims;
        double x0, x1, r;
        std::vector<double> g;
    };
    for (const Case &t : std::vector<Case>{{{2, 1}, 3, 4, 5, {0.6, -0.8, 0.8, 0.6}},
                                           {{1, 2}, 0, 0, 0, {1, 0, 0, 1}},
                                           {{2, 1}, -0.0, 0, 0, {1, 0, 0, 1}},
                                           {{2, 1}, 0, -0.0, 0, {1, 0, 0, 1}},
                                           {{2, 1}, -0.0, -0.0, 0, {1, 0, 0, 1}},
                                           {{1, 1, 2}, -2, 0, 2, {-1, -0.0, 0, -1}},
                                           {{2, 1}, 0, 5, 5, {0, -1, 1, 0}},
                                           {{2, 1}, 1e300, -1e300, std::sqrt(2.0) * 1e300, {}},
                                           {{2, 1}, 3e-310, 4e-310, 5e-310, {}}}) {
        const ArrayPtr x = Logical(Filled(t.dims, {t.x0, t.x1})), one(Planerot(x.get()));
        Outs f;
        Planerot(f[0], f[1], x.get());
        const std::string what = std::to_string(t.x0) + ", " + std::to_string(t.x1);
        SCOPED_TRACE(what);
        ExpectResult(f[0], {2, 2}, t.g, 1e-16);
        ExpectResult(f[1], {2, 1}, {t.r, 0}, 2 * kEps * t.r + 1e-323);
        EXPECT_EQ(BitsOf(one.get()), BitsOf(f[0]));
        EXPECT_EQ(Bits(Values(f[1])[1]), 0u);
        EXPECT_TRUE(t.r != 0 || (BitsOf(f[0]) == BitsOf(t.g) && BitsOf(f[1]) == BitsOf({0, 0})));
        // G*x = [r; 0] and G'*G = I; subnormal products round to multiples
        // of the least subnormal.
        const std::vector<double> g = Values(f[0]);
        const double tol = 4 * kEps * t.r + 1e-323;
        EXPECT_NEAR(g[0] * t.x0 + g[2] * t.x1, t.r, tol);
        EXPECT_NEAR(g[1] * t.x0 + g[3] * t.x1, 0.0, tol);
        EXPECT_NEAR(g[0] * g[0] + g[1] * g[1], 1.0, 4 * kEps);
        EXPECT_NEAR(g[0] * g[2] + g[1] * g[3], 0.0, 4 * kEps);
    }
}

}  // namespace
