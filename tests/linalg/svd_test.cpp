// tests/linalg/svd_test.cpp: the SVD kernel, its sort and permutation, Svd in both forms and Rank.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "kernels/svd_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/decomposition_reference.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

// Tall, wide, square, single rows and columns; the empty shapes apart.
const std::vector<Shape> kSvdShapes = {{1, 1}, {2, 2},   {3, 3},  {7, 5},  {5, 7},    {1, 6},
                                       {6, 1}, {33, 33}, {40, 9}, {9, 40}, {100, 100}};

struct Factors {
    ArrayPtr u, s, v;
};

Factors Three(const CMatrix *a, bool economy) {
    CMatrix *u = nullptr, *s = nullptr, *v = nullptr;
    Svd(u, s, v, a, economy);
    return {ArrayPtr(u), ArrayPtr(s), ArrayPtr(v)};
}

// SvdDecompose on padded buffers, w with stride 2 (its gaps must stay),
// with and without the vectors, against the reference; returns the status.
std::size_t ExpectKernelSameBits(const Dense &a, const std::string &what) {
    Dense u = a, v;
    std::vector<double> w;
    const std::size_t status = ref::SvdDecompose(u, w, v);
    for (bool vectors : {true, false}) {
        Padded pa(a), pv(a.n, a.n, 2);
        std::vector<double> wk(2 * a.n, -3.0), work(kernels::SvdDecomposeWorkspace(a.m, a.n));
        EXPECT_EQ(kernels::SvdDecompose(a.m, a.n, pa.Data(), pa.Ld(), wk.data(), 2,
                                        vectors ? pv.Data() : nullptr, pv.Ld(), work.data()),
                  status)
            << what;
        std::vector<double> got;
        for (std::size_t i = 0; i < a.n; ++i) {
            got.push_back(wk[2 * i]);
            EXPECT_EQ(wk[2 * i + 1], -3.0) << what;
        }
        ExpectSameBits(got, w, what + " w");
        EXPECT_TRUE(pa.PaddingIntact() && pv.PaddingIntact()) << what;
        if (!vectors) continue;
        ExpectSameBits(pa.Contents(), u, what + " U");
        ExpectSameBits(pv.Contents(), v, what + " V");
    }
    return status;
}

// Random inputs, and rank-deficient, graded, bidiagonal with zero diagonal
// entries and zero ones, which reach the cancellation branch and zero
// singular values.
TEST(SvdDecompose, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSvdShapes) {
        std::vector<Dense> inputs = {Random(s.m, s.n, rng), Random(s.m, s.n, rng, Fill::kZeroLine)};
        const Dense b = Random(s.m, 2, rng, Fill::kUniform),
                    c = Random(2, s.n, rng, Fill::kUniform);
        inputs.push_back(Gemm('N', 'N', 1.0, b, c, 0.0, Dense(s.m, s.n)));
        Dense graded = Random(s.m, s.n, rng, Fill::kUniform), lower(s.m, s.n);
        for (std::size_t k = 0; k < graded.v.size(); ++k)
            graded.v[k] = std::ldexp(graded.v[k], -4 * int(k / s.m));
        for (std::size_t i = 0; i < std::min(s.m, s.n); ++i) {
            lower(i, i) = i % 3 == 1 ? 0.0 : 1.0 + i;
            if (i + 1 < s.n) lower(i, i + 1) = 0.5;
        }
        inputs.insert(inputs.end(), {graded, lower, Dense(s.m, s.n)});
        for (const Dense &a : inputs) ExpectKernelSameBits(a, ToString(s));
    }
}

// Ties keep their order (zeros of either sign too); nothing passes a NaN.
TEST(SvdDecompose, SortAndPermutationKernels) {
    const std::vector<double> values = {1, 3, 3, 2, 3, 0, -0.0, 0, kNaN, 5};
    std::vector<std::uint32_t> positions(values.size());
    kernels::SortDescending(values.size(), values.data(), 1, positions.data());
    EXPECT_EQ(positions, (std::vector<std::uint32_t>{1, 2, 4, 3, 0, 5, 6, 7, 8, 9}));
    EXPECT_EQ(positions, ref::SortDescending(values));
    std::mt19937_64 rng(Seed());
    std::uniform_int_distribution<int> small(0, 4);
    for (const Shape &s : std::vector<Shape>{{1, 1}, {3, 5}, {0, 4}, {7, 9}, {4, 40}}) {
        std::vector<double> v(2 * s.n + 1), every;
        for (double &x : v) x = small(rng);
        for (std::size_t i = 0; i < s.n; ++i) every.push_back(v[2 * i]);
        std::vector<std::uint32_t> p(s.n);
        kernels::SortDescending(s.n, v.data(), 2, p.data());
        EXPECT_EQ(p, ref::SortDescending(every)) << s.n;
        std::shuffle(p.begin(), p.end(), rng);
        const Dense a = Random(s.m, s.n, rng);
        Padded pa(a);
        std::vector<double> column(s.m + 1);
        std::vector<unsigned char> visited(s.n + 1);
        kernels::PermuteColumns(s.m, s.n, pa.Data(), pa.Ld(), p.data(), column.data(),
                                visited.data());
        Dense want = a;
        ref::PermuteColumns(want, p);
        ExpectSameBits(pa.Contents(), want, ToString(s));
        EXPECT_TRUE(pa.PaddingIntact()) << ToString(s);
    }
}

TEST(Svd, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSvdShapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            for (bool economy : {false, true}) {
                const std::string what = ToString(s) + (economy ? " economy" : "");
                ExpectSameBits(Values(ArrayPtr(Svd(arg.get(), economy)).get()), ref::SvdValues(a),
                               what);
                Dense u, sv, v;
                ref::Svd(a, economy, u, sv, v);
                const Factors f = Three(arg.get(), economy);
                ExpectSameBits(f.u.get(), u, what + " U");
                ExpectSameBits(f.s.get(), sv, what + " S");
                ExpectSameBits(f.v.get(), v, what + " V");
            }
        }
    }
}

// Conformant factors for every shape and both sizes: A = U*S*V' with
// orthonormal columns in U and V and a sorted non-negative diagonal S that
// agrees with LAPACK's dgesvd.
TEST(Svd, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = kSvdShapes;
    shapes.insert(shapes.end(), {{50, 10}, {10, 50}, {2, 1}, {1, 2}, {64, 63}});
    for (const Shape &s : shapes) {
        const Dense a = Random(s.m, s.n, rng, Fill::kUniform);
        const std::vector<double> want = Dgesvd(a);
        const unsigned int k = std::min(s.m, s.n);
        const double mn = std::max(s.m, s.n);
        for (bool economy : {false, true}) {
            const Factors f = Three(ToArray(a).get(), economy);
            const std::string what = ToString(s) + (economy ? " economy" : "");
            EXPECT_EQ(Dims(f.u.get()), (DimList{s.m, economy ? k : s.m})) << what;
            EXPECT_EQ(Dims(f.s.get()), (DimList{economy ? k : s.m, economy ? k : s.n})) << what;
            EXPECT_EQ(Dims(f.v.get()), (DimList{s.n, economy ? k : s.n})) << what;
            const Dense u = FromArray(f.u.get()), sd = FromArray(f.s.get()),
                        v = FromArray(f.v.get());
            const Dense us = Gemm('N', 'N', 1.0, u, sd, 0.0, Dense(u.m, sd.n));
            EXPECT_LE(Norm1(Gemm('N', 'T', 1.0, us, v, -1.0, a)), 30.0 * mn * kEps * Norm1(a))
                << what;
            EXPECT_LE(Norm1(Gemm('T', 'N', 1.0, u, u, -1.0, Identity(u.n))), 30.0 * mn * kEps)
                << what;
            EXPECT_LE(Norm1(Gemm('T', 'N', 1.0, v, v, -1.0, Identity(v.n))), 30.0 * mn * kEps)
                << what;
            for (std::size_t i = 0; i < k; ++i) {
                EXPECT_NEAR(sd(i, i), want[i], 1e-12 * mn * want[0]) << what << " [" << i << "]";
            }
        }
    }
}

// Equal singular values keep the kernel's order: diag(1, 3, 3, 2) leaves
// them in place, so the two threes keep the first and second unit vectors.
TEST(Svd, WorkedExamples) {
    EXPECT_EQ(Values(ArrayPtr(Svd(Matrix(2, 2, {3, 0, 0, 4}).get(), false)).get()),
              (std::vector<double>{4, 3}));
    const std::vector<double> s =
        Values(ArrayPtr(Svd(Matrix(2, 2, {1, 3, 2, 4}).get(), false)).get());
    EXPECT_NEAR(s[0], 5.4649857042190426, 1e-14);
    EXPECT_NEAR(s[1], 0.36596619062625746, 1e-14);
    ArrayPtr a = Matrix(4, 4, {1, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 2});
    a->SetLogical();
    const Factors f = Three(a.get(), false);
    EXPECT_FALSE(mxIsLogical(f.u.get()) || mxIsLogical(f.s.get()) || mxIsLogical(f.v.get()));
    const Dense u = FromArray(f.u.get()), v = FromArray(f.v.get());
    EXPECT_EQ(Values(ArrayPtr(Diag(f.s.get(), 0)).get()), (std::vector<double>{3, 3, 2, 1}));
    EXPECT_EQ(std::fabs(u(1, 0)) + std::fabs(u(2, 1)) + std::fabs(v(1, 0)) + std::fabs(v(2, 1)),
              4.0);
}

// Empty operands: the one-output form gives 0 x 1; the three-output form
// the conformant shapes, with U and V leading identity columns.
TEST(Svd, EmptyOperands) {
    for (const Shape &s : std::vector<Shape>{{0, 0}, {0, 3}, {3, 0}}) {
        const ArrayPtr a = Array({s.m, s.n});
        const unsigned int k = std::min(s.m, s.n);
        for (bool economy : {false, true}) {
            const std::string what = ToString(s) + (economy ? " economy" : "");
            EXPECT_EQ(Dims(ArrayPtr(Svd(a.get(), economy)).get()), (DimList{0, 1})) << what;
            const Factors f = Three(a.get(), economy);
            const DimList u{s.m, economy ? k : s.m}, v{s.n, economy ? k : s.n};
            EXPECT_EQ(Dims(f.s.get()), (DimList{economy ? k : s.m, economy ? k : s.n})) << what;
            ExpectSameBits(f.u.get(), FromArray(ArrayPtr(Eye(u[0], u[1])).get()), what + " U");
            ExpectSameBits(f.v.get(), FromArray(ArrayPtr(Eye(v[0], v[1])).get()), what + " V");
        }
    }
}

// A NaN keeps every split test from passing: after the 30th test the value
// and all those below it are reported as the library's NaN, through every
// function built on the decomposition.
TEST(Svd, ReportsUnsettledValuesAsNaN) {
    Dense a(3, 3, 1.0);
    a(1, 2) = kNaN;
    const std::size_t status = ExpectKernelSameBits(a, "NaN");
    Dense u = a, v;
    std::vector<double> w;
    ref::SvdDecompose(u, w, v);
    EXPECT_GT(status, 0u);
    for (std::size_t i = 0; i < status; ++i) EXPECT_EQ(Bits(w[i]), kGiveUpBits) << i;
    const ArrayPtr arg = ToArray(a);
    EXPECT_TRUE(std::isnan(Values(ArrayPtr(Svd(arg.get(), false)).get())[0]));
    EXPECT_TRUE(std::isnan(FromArray(Three(arg.get(), false).s.get())(0, 0)));
    EXPECT_EQ(Rank(arg.get()), 0u);
    EXPECT_TRUE(std::isnan(Norm(arg.get(), 2.0)));
}

// Svd: N-d arrays first (empty ones too), then other classes and complex
// operands; the outputs are null after a failure. Rank: empty operands
// come before every check; the others are Svd's.
TEST(Svd, RefusesInOrder) {
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle), emptyNd = Array({0, 2, 2});
    const ArrayPtr single = Array({2, 2}, mxClassSingle),
                   emptySingle = Array({0, 2}, mxClassSingle);
    const ArrayPtr cell = Array({2, 1}, mxClassCell);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    CMatrix *dummy = Scalar(1.0);
    struct Case {
        const CMatrix *a;
        Error error;
    };
    for (const Case &t : std::vector<Case>{{nd.get(), Error::kNDArray},
                                           {emptyNd.get(), Error::kNDArray},
                                           {single.get(), Error::kNotImplemented},
                                           {emptySingle.get(), Error::kNotImplemented},
                                           {cell.get(), Error::kNotImplemented},
                                           {cplx.get(), Error::kNotImplemented}}) {
        CMatrix *u = dummy, *s = dummy, *v = dummy;
        ExpectRefusal([&] { Svd(u, s, v, t.a, true); }, t.error, {t.a});
        ExpectNull({u, s, v});
        if (t.a->GetNoElems() != 0) ExpectRefusal([&] { Rank(t.a, 1.0); }, t.error, {t.a}, "Rank");
    }
    mxDestroyArray(dummy);
    EXPECT_EQ(Rank(emptyNd.get()), 0u);
    EXPECT_EQ(Rank(emptySingle.get(), 1.0), 0u);
}

// Only values strictly above the tolerance count: the zero matrix has rank
// 0 (its default tolerance is 0), and a value equal to tol is left out.
// Products of m x k and k x n factors have rank k.
TEST(Rank, CountsValuesAboveTheTolerance) {
    const ArrayPtr b = Matrix(2, 2, {3, 0, 0, 4});
    for (const auto &tr :
         std::vector<std::pair<double, unsigned int>>{{5, 0}, {4, 0}, {3.5, 1}, {3, 1}, {-1, 2}}) {
        EXPECT_EQ(Rank(b.get(), tr.first), tr.second) << tr.first;
    }
    EXPECT_EQ(Rank(b.get()), 2u);
    EXPECT_EQ(Rank(Matrix(2, 2, {1, 2, 2, 4}).get()), 1u);
    EXPECT_EQ(Rank(Array({0, 3}).get()), 0u);
    for (const Shape &s : std::vector<Shape>{{1, 1}, {3, 3}, {4, 2}, {2, 5}}) {
        const ArrayPtr z = ToArray(Dense(s.m, s.n));
        EXPECT_EQ(Rank(z.get()), 0u) << ToString(s);
        EXPECT_EQ(Rank(z.get(), 0.0), 0u) << ToString(s);
    }
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{6, 6}, {10, 4}, {4, 10}, {30, 20}}) {
        for (std::size_t k = 1; k <= std::min(s.m, s.n); ++k) {
            const Dense f = Random(s.m, k, rng, Fill::kUniform),
                        g = Random(k, s.n, rng, Fill::kUniform);
            EXPECT_EQ(Rank(ToArray(Gemm('N', 'N', 1.0, f, g, 0.0, Dense(s.m, s.n))).get()), k)
                << ToString(s);
        }
    }
}

TEST(Svd, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{5, 3}, {3, 5}, {0, 3}, {4, 4}}) {
        const ArrayPtr a = ToArray(Random(s.m, s.n, rng));
        for (bool economy : {false, true}) {
            CMatrix *u, *sv, *v;
            EXPECT_GT(OutputFailurePoints([&] { Svd(u, sv, v, a.get(), economy); }, {&u, &sv, &v},
                                          {a.get()}),
                      2)
                << ToString(s);
        }
        EXPECT_GT(FailurePoints([&] { return Svd(a.get(), false); }, {a.get()}), 0);
        FailurePoints([&] { Rank(a.get(), 0.5); }, {a.get()});
    }
}

}  // namespace
