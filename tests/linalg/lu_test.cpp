// tests/linalg/lu_test.cpp: the LU kernels on padded buffers, Lu in both forms and Det.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "kernels/lu_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

struct CroutRun {
    Dense factor;
    std::vector<std::int32_t> ipiv;
    int parity = 0;
    int info = -1;
};

CroutRun RunCrout(const Dense &a) {
    CroutRun out;
    Padded pa(a);
    out.ipiv.assign(a.m, -7);
    std::vector<double> scale(a.m);
    out.info = kernels::LuCrout(a.m, pa.Data(), pa.Ld(), out.ipiv.data(), out.parity, scale.data());
    out.factor = pa.Contents();
    EXPECT_TRUE(pa.PaddingIntact());
    return out;
}

struct LuResult {
    ArrayPtr l, u, p;
};

LuResult Three(const CMatrix *a) {
    CMatrix *l, *u, *p;
    Lu(l, u, p, a);
    return {ArrayPtr(l), ArrayPtr(u), ArrayPtr(p)};
}

LuResult Two(const CMatrix *a) {
    CMatrix *l, *u;
    Lu(l, u, a);
    return {ArrayPtr(l), ArrayPtr(u), nullptr};
}

// The kernel on padded buffers, and both forms of Lu and Det through the
// functions, on the square shapes; 150 spans several panels of the blocked
// factorisation, the last one partial.
TEST(Lu, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = kSquareShapes;
    shapes.push_back({7, 7});
    shapes.push_back({150, 150});
    for (const Shape &s : shapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const std::string what = ToString(s);
            const Dense a = Random(s.m, s.n, rng, fill);
            Dense factor = a, l, u, p, l2, u2;
            int parity;
            const std::vector<std::int32_t> ipiv = ref::LuCrout(factor, parity);
            const CroutRun got = RunCrout(a);
            ExpectSameBits(got.factor, factor, what + " kernel");
            EXPECT_EQ(got.ipiv, ipiv) << what;
            EXPECT_EQ(got.parity, parity) << what;
            ref::Lu(a, l, u, p);
            ref::Lu(a, l2, u2);
            const ArrayPtr arg = ToArray(a);
            const LuResult three = Three(arg.get()), two = Two(arg.get());
            ExpectSameBits(three.l.get(), l, what + " L");
            ExpectSameBits(three.u.get(), u, what + " U");
            ExpectSameBits(three.p.get(), p, what + " P");
            ExpectSameBits(two.l.get(), l2, what + " permuted L");
            ExpectSameBits(two.u.get(), u2, what + " U of two");
            EXPECT_EQ(Bits(Det(arg.get())), Bits(ref::Det(a))) << what << " Det";
        }
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
        Dense a(2, 2);
        a.v = t.a;
        const CroutRun got = RunCrout(a);
        EXPECT_EQ(got.ipiv, t.ipiv) << t.a[0];
        EXPECT_EQ(got.parity, t.parity) << t.a[0];
        EXPECT_EQ(got.info, t.info) << t.a[0];
        if (t.info != 0) {
            EXPECT_EQ(got.factor(1, 1), kernels::kLuZeroPivot);
        }
    }
    EXPECT_EQ(kernels::kLuZeroPivot, 1.0e-20);
}

// Row i moves to row perm[i], for a long cycle, fixed points and random
// permutations; the pivot record becomes a permutation in step order.
TEST(LuCrout, PermutationKernels) {
    const std::vector<std::int32_t> ipiv = {3, 3, 3, 4};
    std::vector<std::uint32_t> perm(4);
    kernels::PivotsToPermutation(4, ipiv.data(), perm.data());
    EXPECT_EQ(perm, (std::vector<std::uint32_t>{2, 0, 1, 3}));
    std::mt19937_64 rng(Seed());
    for (std::size_t m : {0, 1, 2, 5, 33}) {
        for (int kind = 0; kind < 2; ++kind) {
            std::vector<std::uint32_t> p(m);
            std::iota(p.begin(), p.end(), 0u);
            if (kind == 0) std::shuffle(p.begin(), p.end(), rng);
            if (kind == 1 && m > 0)
                std::rotate(p.begin(), p.begin() + 1, p.end());  // one long cycle
            const Dense a = Random(m, m + 2, rng);
            Padded pa(a);
            std::vector<unsigned char> moved(m);
            std::vector<double> row(m + 2);
            kernels::MoveRows(m, m + 2, pa.Data(), pa.Ld(), p.data(), moved.data(), row.data());
            Dense want(m, m + 2);
            for (std::size_t k = 0; k < want.v.size(); ++k) want(p[k % m], k / m) = a.v[k];
            ExpectSameBits(pa.Contents(), want, "m=" + std::to_string(m));
            EXPECT_TRUE(pa.PaddingIntact());
        }
    }
}

TEST(Lu, WorkedExamples) {
    const ArrayPtr a = Matrix(2, 2, {1, 3, 2, 4});
    const LuResult three = Three(a.get()), two = Two(a.get());
    EXPECT_EQ(Values(three.p.get()), (std::vector<double>{0, 1, 1, 0}));
    EXPECT_EQ(Values(three.l.get()), (std::vector<double>{1, 1.0 / 3.0, 0, 1}));
    EXPECT_EQ(Values(two.l.get()), (std::vector<double>{1.0 / 3.0, 1, 1, 0}));
    const std::vector<double> u = Values(three.u.get());
    EXPECT_EQ(Values(two.u.get()), u);
    EXPECT_EQ(std::vector<double>(u.begin(), u.begin() + 3), (std::vector<double>{3, 0, 4}));
    EXPECT_NEAR(u[3], 2.0 / 3.0, 2 * kEps);
    EXPECT_NEAR(Det(a.get()), -2.0, 4 * kEps);
    EXPECT_EQ(Det(Matrix(1, 1, {-4}).get()), -4.0);
    // Two substituted pivots of 1e-20 and one interchange.
    EXPECT_EQ(Bits(Det(Matrix(2, 2, {0, 0, 0, 0}).get())), Bits(-(1.0e-20 * 1.0e-20)));
    // The imaginary part is ignored.
    ArrayPtr c = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    std::copy_n(Values(a.get()).begin(), 4, mxGetPr(c.get()));
    std::fill_n(mxGetPi(c.get()), 4, 7.0);
    EXPECT_EQ(Det(c.get()), Det(a.get()));
    // An empty matrix: empty double factors and a determinant of 1.
    const ArrayPtr e = Array({0, 0});
    const LuResult e3 = Three(e.get()), e2 = Two(e.get());
    for (const CMatrix *x : {e3.l.get(), e3.u.get(), e3.p.get(), e2.l.get(), e2.u.get()}) {
        EXPECT_EQ(Dims(x), (DimList{0, 0}));
        EXPECT_TRUE(mxIsDouble(x));
    }
    EXPECT_EQ(Det(e.get()), 1.0);
}

// Lu: N-d, then the class, then the shape, the outputs null afterwards.
// Det: N-d, then the class (any imaginary part allowed), then the shape.
TEST(Lu, RefusesInOrder) {
    const ArrayPtr ndSingle = Array({2, 2, 2}, mxClassSingle),
                   single = Array({2, 3}, mxClassSingle);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr wide = Array({2, 3}), flat = Array({0, 3}),
                   emptySingle = Array({0, 0}, mxClassSingle);
    CMatrix *dummy = Scalar(1.0);
    struct Case {
        const CMatrix *a;
        Error error;
    };
    for (const Case &t : std::vector<Case>{{ndSingle.get(), Error::kNDArray},
                                           {single.get(), Error::kNotImplemented},
                                           {cplx.get(), Error::kNotImplemented},
                                           {wide.get(), Error::kSquare}}) {
        CMatrix *l = dummy, *u = dummy, *p = dummy;
        ExpectRefusal([&] { Lu(l, u, p, t.a); }, t.error, {t.a}, "Lu");
        ExpectNull({l, u, p});
    }
    mxDestroyArray(dummy);
    for (const Case &t : std::vector<Case>{{ndSingle.get(), Error::kNDArray},
                                           {emptySingle.get(), Error::kNotImplemented},
                                           {flat.get(), Error::kSquare},
                                           {wide.get(), Error::kSquare}}) {
        ExpectRefusal([&] { Det(t.a); }, t.error, {t.a}, "Det");
    }
}

// P*A = L*U (and A = L*U for the two-output L) as scaled residuals; Det
// against the product of the diagonal of LAPACK's dgetrf with the sign of
// its interchanges.
TEST(Lu, AgreesWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 50, 100}) {
        for (bool dominant : {true, false}) {
            Dense a = dominant ? DiagonallyDominant(n, rng) : Random(n, n, rng, Fill::kUniform);
            const ArrayPtr arg = ToArray(a);
            const LuResult three = Three(arg.get()), two = Two(arg.get());
            const Dense u = FromArray(three.u.get());
            const Dense pa = Gemm('N', 'N', 1.0, FromArray(three.p.get()), a, 0.0, Dense(n, n));
            const double scale = 30.0 * n * Norm1(a) * kEps;
            EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, FromArray(three.l.get()), u, 1.0, pa)), scale)
                << n;
            EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, FromArray(two.l.get()), u, 1.0, a)), scale) << n;
            const double det = Det(arg.get());
            const int ni = static_cast<int>(n);
            std::vector<int> ipiv(n);
            int info = 0;
            dgetrf_(&ni, &ni, a.v.data(), &ni, ipiv.data(), &info);
            ASSERT_EQ(info, 0);
            double want = 1.0;
            for (std::size_t i = 0; i < n; ++i)
                want = ipiv[i] != int(i + 1) ? -want * a(i, i) : want * a(i, i);
            EXPECT_LE(std::fabs(det - want), (dominant ? 1e-13 : 1e-10) * std::fabs(want)) << n;
        }
    }
}

TEST(Lu, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    const ArrayPtr a = ToArray(Random(6, 6, rng));
    CMatrix *l, *u, *p;
    EXPECT_GT(OutputFailurePoints([&] { Lu(l, u, p, a.get()); }, {&l, &u, &p}, {a.get()}), 3);
    EXPECT_GT(FailurePoints([&] { Det(a.get()); }, {a.get()}), 1);
}

}  // namespace
