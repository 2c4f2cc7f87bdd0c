// tests/linalg/mldivide_test.cpp: the solve kernels on padded buffers, Mldivide and Mrdivide.
#include <matrix/matrix.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>

#include "kernels/mldivide_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

Dense Transposed(const Dense &a) {
    Dense t(a.n, a.m);
    for (std::size_t i = 0; i < a.m; ++i) {
        for (std::size_t j = 0; j < a.n; ++j) t(j, i) = a(i, j);
    }
    return t;
}

TEST(SolveKernels, SameBitsAsStatedOrderOnPaddedBuffers) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSquareShapes) {
        for (std::size_t k : {0, 1, 3}) {
            const Dense a = Random(s.m, s.n, rng, Fill::kZeroLine), b = Random(s.m, k, rng);
            Padded pa(a), pb(b, 2), px(s.n, k, 1);
            kernels::GaussSolve(s.m, k, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(), px.Data(), px.Ld());
            const std::string what = ToString(s) + " k=" + std::to_string(k);
            ExpectSameBits(px.Contents(), ref::GaussSolve(a, b), what);
            EXPECT_TRUE(pa.PaddingIntact() && pb.PaddingIntact() && px.PaddingIntact()) << what;
        }
        // Back substitution with b and x as rows of padded matrices.
        const std::size_t n = s.m;
        Dense u = Random(n, n, rng), b = Random(1, n, rng);
        for (std::size_t i = 0; i < n; ++i) u(i, i) = 1.0 + static_cast<double>(i % 3);
        Padded pu(u), pb(b, 4), px(1, n, 3);
        kernels::BackSubstitute(n, pu.Data(), pu.Ld(), pb.Data(), pb.Ld(), px.Data(), px.Ld());
        Dense want(1, n);
        want.v = ref::BackSubstitute(u, n, b.v);
        ExpectSameBits(px.Contents(), want, "back substitution " + ToString(s));
        EXPECT_TRUE(pu.PaddingIntact() && pb.PaddingIntact() && px.PaddingIntact());
    }
    // The least-squares solve: R's leading rank x rank block against Q'*B.
    for (const Shape &s : std::vector<Shape>{{7, 5}, {5, 7}, {33, 4}, {1, 3}}) {
        const Dense a = Random(s.m, s.n, rng, Fill::kZeroLine), b = Random(s.m, 3, rng);
        const ref::QrParts f = ref::Qr(a, true);
        std::size_t rank = 0;
        while (rank < std::min(s.m, s.n) && std::fabs(f.r(rank, rank)) > kEps) ++rank;
        const Dense y = ref::Mtimes(Transposed(f.q), b);
        Dense want(s.n, 3);
        for (std::size_t j = 0; j < 3; ++j) {
            const std::vector<double> x = ref::BackSubstitute(
                f.r, rank, std::vector<double>(y.v.begin() + j * s.m, y.v.begin() + (j + 1) * s.m));
            std::copy(x.begin(), x.end(), want.v.begin() + j * s.n);
        }
        Padded pq(f.q), pr(f.r), pb(b), px(s.n, 3);
        std::vector<double> work(rank);
        kernels::QrSolve(s.m, s.n, 3, rank, pq.Data(), pq.Ld(), pr.Data(), pr.Ld(), pb.Data(),
                         pb.Ld(), px.Data(), px.Ld(), work.data());
        ExpectSameBits(px.Contents(), want, "QrSolve " + ToString(s));
        EXPECT_TRUE(pq.PaddingIntact() && pr.PaddingIntact() && pb.PaddingIntact() &&
                    px.PaddingIntact());
    }
    // The rank counts the leading diagonal entries above the tolerance; NaN stops it.
    double r[16] = {3, 0, 0, 0, 9, -2, 0, 0, 9, 9, 0.5, 0, 9, 9, 9, 7};
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 1.0), 2u);
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 0.1), 4u);
    EXPECT_EQ(kernels::TriangularRank(3, r, 4, 0.1), 3u);
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 3.0), 0u);
    r[5] = kNaN;
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 0.1), 1u);
}

// GaussFactor once, then GaussSolveFactored on several right-hand sides,
// one at a time and together: the bits of the plain elimination that
// carries B along, and of GaussSolve. The cases cover interchanges,
// exactly zero pivots, pivots of exactly 1.0, NaN and Inf, and sizes that
// span several blocks of the blocked elimination.
TEST(SolveKernels, FactoredSolveSameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::vector<std::pair<std::string, Dense>> cases;
    for (std::size_t n : {1, 2, 3, 7, 33, 100, 150}) {
        const std::string size = std::to_string(n) + "x" + std::to_string(n);
        cases.emplace_back(size + " general", Random(n, n, rng));
        cases.emplace_back(size + " zero line", Random(n, n, rng, Fill::kZeroLine));
        Dense special = Random(n, n, rng);
        special.v[rng() % special.v.size()] = kNaN;
        special.v[rng() % special.v.size()] = -kInf;
        cases.emplace_back(size + " NaN and Inf", special);
    }
    // Rank one: the second pivot is exactly zero. The reversal interchanges
    // every row and has unit pivots.
    Dense rankOne(3, 3), reversal(4, 4);
    for (std::size_t k = 0; k < 9; ++k)
        rankOne.v[k] = static_cast<double>((k % 3 + 1) * (k / 3 + 1));
    for (std::size_t i = 0; i < 4; ++i) reversal(i, 3 - i) = 1.0;
    cases.emplace_back("rank one", rankOne);
    cases.emplace_back("reversal", reversal);

    for (const auto &c : cases) {
        const Dense &a = c.second;
        const std::size_t n = a.m;
        Dense b = Random(n, 3, rng);
        if (c.first.find("NaN") != std::string::npos) b(n - 1, 1) = kInf;
        Padded pa(a);
        std::vector<std::size_t> pivot(n);
        std::vector<double> r(n);
        kernels::GaussFactor(n, pa.Data(), pa.Ld(), pivot.data(), r.data());
        for (std::size_t j = 0; j < n; ++j) EXPECT_TRUE(pivot[j] >= j && pivot[j] < n) << c.first;

        Padded together(b, 2), x(n, 3, 1);
        kernels::GaussSolveFactored(n, 3, pa.Data(), pa.Ld(), pivot.data(), r.data(),
                                    together.Data(), together.Ld(), x.Data(), x.Ld());
        const Dense want = ref::GaussSolve(a, b);
        ExpectSameBits(x.Contents(), want, c.first + " k=3");
        EXPECT_TRUE(pa.PaddingIntact() && together.PaddingIntact() && x.PaddingIntact()) << c.first;

        Padded ga(a), gb(b), gx(n, 3);
        kernels::GaussSolve(n, 3, ga.Data(), ga.Ld(), gb.Data(), gb.Ld(), gx.Data(), gx.Ld());
        ExpectSameBits(x.Contents(), gx.Contents(), c.first + " against GaussSolve");

        // One column at a time from the same factors.
        for (std::size_t col = 0; col < 3; ++col) {
            Dense one(n, 1), got(n, 1);
            std::copy(b.v.begin() + col * n, b.v.begin() + (col + 1) * n, one.v.begin());
            kernels::GaussSolveFactored(n, 1, pa.Data(), pa.Ld(), pivot.data(), r.data(),
                                        one.v.data(), n, got.v.data(), n);
            Dense column(n, 1);
            std::copy(want.v.begin() + col * n, want.v.begin() + (col + 1) * n, column.v.begin());
            ExpectSameBits(got, column, c.first + " column " + std::to_string(col));
        }
    }
    // Many right-hand sides at once, as A\B with a matrix B does.
    {
        const Dense a = Random(150, 150, rng, Fill::kZeroLine), b = Random(150, 37, rng);
        Padded pa(a), pb(b), px(150, 37, 2);
        std::vector<std::size_t> pivot(150);
        std::vector<double> r(150);
        kernels::GaussFactor(150, pa.Data(), pa.Ld(), pivot.data(), r.data());
        kernels::GaussSolveFactored(150, 37, pa.Data(), pa.Ld(), pivot.data(), r.data(), pb.Data(),
                                    pb.Ld(), px.Data(), px.Ld());
        ExpectSameBits(px.Contents(), ref::GaussSolve(a, b), "150x150 with 37 columns");
        EXPECT_TRUE(px.PaddingIntact());
    }
    // Nothing to do for n = 0.
    double untouched[2] = {kNaN, kNaN};
    kernels::GaussFactor(0, untouched, 1, nullptr, nullptr);
    kernels::GaussSolveFactored(0, 2, untouched, 1, nullptr, nullptr, untouched, 1, untouched, 1);
    EXPECT_TRUE(std::isnan(untouched[0]) && std::isnan(untouched[1]));
}

// Square, tall and wide systems (zero lines make some rank deficient), one
// and three right-hand sides, scalar and empty operands; Mrdivide through
// the transposes: X = (B'\A')'.
TEST(Mldivide, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = kShapes;
    shapes.insert(shapes.end(), {{40, 6}, {6, 40}, {1, 3}});
    for (const Shape &s : shapes) {
        for (std::size_t k : {1, 3}) {
            for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
                const Dense a = Random(s.m, s.n, rng, fill), b = Random(s.m, k, rng, fill);
                const std::string what = ToString(s) + " k=" + std::to_string(k);
                const Dense want = ref::Mldivide(a, b);
                ExpectSameBits(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get(), want,
                               what);
                const ArrayPtr y(
                    Mrdivide(ToArray(Transposed(b)).get(), ToArray(Transposed(a)).get()));
                ExpectSameBits(y.get(), Transposed(want), what + " Mrdivide");
            }
        }
    }
}

TEST(Mldivide, WorkedExamples) {
    struct Case {
        ArrayPtr a, b;
        bool right;
        DimList dims;
        std::vector<double> x;
    };
    ArrayPtr nd = Array({2, 1, 2});
    std::copy_n(std::vector<double>{2, 4, 6, 8}.begin(), 4, mxGetPr(nd.get()));
    std::vector<Case> cases;
    cases.push_back({Matrix(2, 1, {1, 1}), Matrix(2, 1, {1, 3}), false, {1, 1}, {2}});
    // Rank 0: the zero matrix gives zeros.
    cases.push_back({Matrix(3, 2, {0, 0, 0, 0, 0, 0}),
                     Matrix(3, 2, {1, 2, 3, 4, 5, 6}),
                     false,
                     {2, 2},
                     {0, 0, 0, 0}});
    // A scalar divides element-wise, whatever the other's shape.
    cases.push_back({Matrix(1, 1, {2}), std::move(nd), false, {2, 1, 2}, {1, 2, 3, 4}});
    cases.push_back(
        {Matrix(2, 3, {2, 4, 6, 8, 10, 12}), Matrix(1, 1, {2}), true, {2, 3}, {1, 2, 3, 4, 5, 6}});
    // No equations: zeros of n x k.
    cases.push_back({Array({0, 4}), Array({0, 2}), false, {4, 2}, std::vector<double>(8, 0.0)});
    cases.push_back({Matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}),
                     Matrix(3, 1, {1, 2, 3}),
                     false,
                     {3, 1},
                     {1, 2, 3}});
    // A scalar A and a column B: X*B = A has the 1 x k basic solution.
    cases.push_back({Matrix(1, 1, {6}), Matrix(3, 1, {0, 3, 0}), true, {1, 3}, {0, 2, 0}});
    cases.push_back({Matrix(1, 2, {3, 7}), Matrix(2, 2, {1, 0, 1, 2}), true, {1, 2}, {3, 2}});
    for (const Case &t : cases) {
        const ArrayPtr x(t.right ? Mrdivide(t.a.get(), t.b.get()) : Mldivide(t.a.get(), t.b.get()));
        EXPECT_EQ(Dims(x.get()), t.dims);
        const std::vector<double> got = Values(x.get());
        for (std::size_t i = 0; i < t.x.size(); ++i) EXPECT_NEAR(got[i], t.x[i], 4 * kEps) << i;
    }
    // A singular square matrix gives huge finite values (pivot 1e-14).
    const ArrayPtr x(Mldivide(Matrix(2, 2, {1, 2, 2, 4}).get(), Matrix(2, 1, {1, 1}).get()));
    for (double v : Values(x.get())) EXPECT_TRUE(std::isfinite(v) && std::fabs(v) > 1e12) << v;
    // Empty results.
    for (const std::vector<DimList> &t :
         std::vector<std::vector<DimList>>{{{3, 3}, {3, 0}, {3, 0}},
                                           {{3, 0}, {3, 2}, {0, 2}},
                                           {{0, 0}, {0, 5}, {0, 5}},
                                           {{2, 5}, {2, 0}, {5, 0}}}) {
        EXPECT_EQ(Dims(ArrayPtr(Mldivide(Array(t[0]).get(), Array(t[1]).get())).get()), t[2]);
    }
}

// Mldivide: a scalar A hands B to the element-wise division; N-d of either
// operand, then the classes, then the rows. Mrdivide: the classes first
// (before any transpose), then the transposes' N-d test, then Mldivide's rows.
TEST(Mldivide, RefusesInOrder) {
    const ArrayPtr scalar = Matrix(1, 1, {2}), single = Array({3, 1}, mxClassSingle);
    const ArrayPtr ndSingle = Array({2, 2, 2}, mxClassSingle), nd = Array({2, 2, 2});
    const ArrayPtr cplx = Array({3, 3}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr a33 = Matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}), empty = Array({0, 0});
    const ArrayPtr b21 = Array({2, 1}), a22 = Matrix(2, 2, {1, 2, 3, 4}),
                   row = Matrix(1, 3, {1, 2, 3});
    struct Case {
        bool right;
        const CMatrix *a, *b;
        Error error;
    };
    for (const Case &t :
         std::vector<Case>{{false, scalar.get(), single.get(), Error::kNotImplemented},
                           {false, ndSingle.get(), b21.get(), Error::kNDArray},
                           {false, a33.get(), ndSingle.get(), Error::kNDArray},
                           {false, cplx.get(), b21.get(), Error::kNotImplemented},
                           {false, a33.get(), single.get(), Error::kNotImplemented},
                           {false, a33.get(), b21.get(), Error::kDims},
                           {false, a33.get(), empty.get(), Error::kDims},
                           {true, a22.get(), cplx.get(), Error::kNotImplemented},
                           {true, ndSingle.get(), a22.get(), Error::kNotImplemented},
                           {true, nd.get(), scalar.get(), Error::kTransposeND},
                           {true, a22.get(), row.get(), Error::kDims},
                           {true, scalar.get(), row.get(), Error::kDims}}) {
        ExpectRefusal([&] { ArrayPtr(t.right ? Mrdivide(t.a, t.b) : Mldivide(t.a, t.b)); }, t.error,
                      {t.a, t.b}, t.right ? "Mrdivide" : "Mldivide");
    }
}

// The square solve's relative residual on well-conditioned systems, and
// full-rank tall least squares against LAPACK's dgels.
TEST(Mldivide, AgreesWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {2, 3, 5, 10, 50, 100}) {
        const Dense a = DiagonallyDominant(n, rng), b = Random(n, 4, rng, Fill::kUniform);
        const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
        EXPECT_LE(Norm1(Gemm('N', 'N', 1.0, a, x, -1.0, b)) / (Norm1(a) * Norm1(x)), 1e-13) << n;
    }
    for (const Shape &s : std::vector<Shape>{{2, 1}, {7, 5}, {40, 6}, {100, 30}}) {
        const Dense a = Random(s.m, s.n, rng, Fill::kUniform),
                    b = Random(s.m, 2, rng, Fill::kUniform);
        const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
        Dense af = a, bf = b;
        const int m = static_cast<int>(s.m), n = static_cast<int>(s.n), nrhs = 2;
        WithWorkspace([&](double *work, const int *lwork, int *info) {
            dgels_("N", &m, &n, &nrhs, af.v.data(), &m, bf.v.data(), &m, work, lwork, info, 1);
        });
        // X against the leading n rows of dgels' B.
        double worst = 0.0, largest = 0.0;
        for (std::size_t k = 0; k < 2 * s.n; ++k) {
            worst = std::max(worst, std::fabs(x.v[k] - bf(k % s.n, k / s.n)));
            largest = std::max(largest, std::fabs(bf(k % s.n, k / s.n)));
        }
        EXPECT_LE(worst, 1e-12 * largest) << ToString(s);
    }
}

TEST(Mldivide, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{4, 4}, {6, 3}, {3, 6}}) {
        const ArrayPtr a = ToArray(Random(s.m, s.n, rng)), b = ToArray(Random(s.m, 2, rng));
        const ArrayPtr at(Transpose(a.get())), bt(Transpose(b.get()));
        EXPECT_GT(FailurePoints([&] { return Mldivide(a.get(), b.get()); }, {a.get(), b.get()}), 2);
        EXPECT_GT(FailurePoints([&] { return Mrdivide(bt.get(), at.get()); }, {at.get(), bt.get()}),
                  2);
    }
}

}  // namespace
