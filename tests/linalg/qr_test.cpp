// tests/linalg/qr_test.cpp: the Householder QR kernels on padded buffers and Qr in both forms.
#include <matrix/matrix.h>

#include <cmath>
#include <random>

#include "kernels/qr_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

struct QrResult {
    ArrayPtr q, r, e;
};

QrResult Qr3(const CMatrix *a) {
    CMatrix *q, *r, *e;
    Qr(q, r, e, a, false);
    return {ArrayPtr(q), ArrayPtr(r), ArrayPtr(e)};
}

QrResult Qr2(const CMatrix *a) {
    CMatrix *q, *r;
    Qr(q, r, a, false);
    return {ArrayPtr(q), ArrayPtr(r), nullptr};
}

// The column norms of pivoting: scaled against overflow, strided, entries
// within the cut-off left out (the pivoting examples below test the bound).
TEST(ColumnNorm, SameBitsAsScaledSumWithCutoff) {
    const double x[] = {3.0e200, kNaN, -4.0e200, kNaN, 1e-12, kNaN, 7e-300, kNaN, -2.5};
    const double dense[] = {3.0e200, -4.0e200, 1e-12, 7e-300, -2.5};
    EXPECT_EQ(Bits(kernels::ColumnNorm(5, x, 2)), Bits(ref::ColumnNorm(dense, 5)));
    EXPECT_NEAR(kernels::ColumnNorm(2, x, 2), 5.0e200, 1.0e186);
}

// The three kernels chained as the library chains them on padded buffers
// (140 rows: Q updated in two blocks of rows), then both forms of Qr.
TEST(Qr, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes;
    for (const Shape &s : kShapes) {
        if (s.m > 0 && s.n > 0) shapes.push_back(s);
    }
    shapes.insert(shapes.end(), {{140, 3}, {1, 6}, {6, 1}});
    for (const Shape &s : shapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            for (bool pivot : {false, true}) {
                const std::string what = ToString(s) + (pivot ? " pivoted" : "");
                const ref::QrParts want = ref::Qr(a, pivot);
                const std::size_t m = s.m, n = s.n, steps = m > n ? n : m - 1;
                Padded pa(a), pq(m, m, 4);
                std::vector<double> c(steps), d(std::min(m, n)),
                    work(kernels::HouseholderFormQWorkspace(m));
                std::vector<std::uint32_t> perm(pivot ? n : 0);
                kernels::HouseholderQr(m, n, pa.Data(), pa.Ld(), pivot ? perm.data() : nullptr,
                                       c.data(), d.data());
                ExpectSameBits(pa.Contents(), want.reduced, what + " reduced");
                kernels::HouseholderFormQ(m, steps, pa.Data(), pa.Ld(), c.data(), pq.Data(),
                                          pq.Ld(), work.data());
                kernels::HouseholderFinishR(m, n, pa.Data(), pa.Ld(), d.data());
                ExpectSameBits(c, want.c, what + " c");
                ExpectSameBits(d, want.d, what + " d");
                if (pivot) {
                    EXPECT_EQ(perm, want.perm) << what;
                }
                ExpectSameBits(pq.Contents(), want.q, what + " kernel Q");
                ExpectSameBits(pa.Contents(), want.r, what + " kernel R");
                EXPECT_TRUE(pa.PaddingIntact() && pq.PaddingIntact()) << what;
                if (fill == Fill::kGeneral) continue;
                const QrResult f = pivot ? Qr3(arg.get()) : Qr2(arg.get());
                ExpectSameBits(f.q.get(), want.q, what + " Q");
                ExpectSameBits(f.r.get(), want.r, what + " R");
                if (pivot) ExpectSameBits(f.e.get(), want.e, what + " E");
            }
        }
    }
}

// The diagonal of R carries -sign of the leading element. Pivoting takes
// the longer column first, the earlier of equal columns, counts entries
// within the cut-off as zero, and for a wide A pivots the last row once
// more on single elements.
TEST(Qr, WorkedExamples) {
    const QrResult f = Qr2(Matrix(2, 1, {3, 4}).get());
    const std::vector<double> q = Values(f.q.get()), want = {-0.6, -0.8, -0.8, 0.6};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(q[i], want[i], 2 * kEps) << i;
    EXPECT_EQ(Values(f.r.get()), (std::vector<double>{-5, 0}));
    EXPECT_EQ(Values(Qr2(Matrix(2, 1, {-3, 4}).get()).r.get()), (std::vector<double>{5, 0}));
    struct Case {
        unsigned int m, n;
        std::vector<double> a, e;
    };
    for (const Case &t :
         std::vector<Case>{{2, 2, {1, 0, 5, 0}, {0, 1, 1, 0}},
                           {2, 2, {3, 4, 4, 3}, {1, 0, 0, 1}},
                           {3, 2, {1e-12, 1e-12, 1e-12, 1.5e-12, 0, 0}, {0, 1, 1, 0}},
                           {2, 3, {0, 1, 0, 2, 1, 0}, {0, 1, 0, 0, 0, 1, 1, 0, 0}}}) {
        ArrayPtr a = Array({t.m, t.n});
        std::copy(t.a.begin(), t.a.end(), mxGetPr(a.get()));
        a->SetLogical();
        const QrResult g = Qr3(a.get());
        EXPECT_EQ(Values(g.e.get()), t.e) << t.m << "x" << t.n;
        EXPECT_FALSE(mxIsLogical(g.q.get()) || mxIsLogical(g.r.get()));
    }
}

// Empty operands: Q the identity of the rows, R sharing A's data, E the
// identity of the columns.
TEST(Qr, EmptyOperands) {
    const ArrayPtr a = Array({0, 3});
    const QrResult f = Qr3(a.get());
    EXPECT_EQ(Dims(f.q.get()), (DimList{0, 0}));
    EXPECT_EQ(Dims(f.r.get()), (DimList{0, 3}));
    EXPECT_EQ(f.r->GetPr(), a->GetPr());
    EXPECT_EQ(Values(f.e.get()), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    ArrayPtr b = Array({3, 0});
    b->SetLogical();
    const QrResult g = Qr2(b.get());
    EXPECT_EQ(Values(g.q.get()), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(Dims(g.r.get()), (DimList{3, 0}));
    EXPECT_FALSE(mxIsLogical(g.r.get()));
}

// Economy size first (each form has its own test), then N-d arrays, then
// other classes and complex operands; the outputs are null afterwards.
TEST(Qr, RefusesInOrder) {
    const ArrayPtr ok = Matrix(2, 2, {1, 2, 3, 4}), ndSingle = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr emptyNd = Array({0, 2, 2}), single = Array({2, 2}, mxClassSingle);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    CMatrix *dummy = Scalar(1.0);
    struct Case {
        const CMatrix *a;
        bool economy;
        Error error;
    };
    for (const Case &t : std::vector<Case>{{ok.get(), true, Error::kNotImplemented},
                                           {ndSingle.get(), true, Error::kNotImplemented},
                                           {emptyNd.get(), false, Error::kNDArray},
                                           {single.get(), false, Error::kNotImplemented},
                                           {cplx.get(), false, Error::kNotImplemented}}) {
        CMatrix *q = dummy, *r = dummy, *e = dummy;
        ExpectRefusal([&] { Qr(q, r, e, t.a, t.economy); }, t.error, {t.a}, "three outputs");
        ExpectNull({q, r, e});
        q = r = dummy;
        ExpectRefusal([&] { Qr(q, r, t.a, t.economy); }, t.error, {t.a}, "two outputs");
        ExpectNull({q, r});
    }
    mxDestroyArray(dummy);
}

// Q orthogonal, R upper trapezoidal and A*E = Q*R against reference BLAS,
// as scaled residuals.
TEST(Qr, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{1, 1},
                                             {2, 2},
                                             {3, 3},
                                             {7, 5},
                                             {5, 7},
                                             {33, 33},
                                             {100, 100},
                                             {50, 10},
                                             {10, 50},
                                             {1, 5},
                                             {5, 1}}) {
        for (Fill fill : {Fill::kUniform, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            for (bool pivot : {true, false}) {
                const QrResult f = pivot ? Qr3(ToArray(a).get()) : Qr2(ToArray(a).get());
                const std::string what = ToString(s) + (pivot ? " pivoted" : "");
                const Dense q = FromArray(f.q.get()), r = FromArray(f.r.get());
                const Dense e = pivot ? FromArray(f.e.get()) : Identity(s.n);
                EXPECT_LT(Norm1(Gemm('T', 'N', 1.0, q, q, -1.0, Identity(s.m))), 30.0 * s.m * kEps)
                    << what;
                const Dense ae = Gemm('N', 'N', 1.0, a, e, 0.0, Dense(s.m, s.n));
                // A product bound: a zero A must give a zero residual.
                EXPECT_LE(Norm1(Gemm('N', 'N', -1.0, q, r, 1.0, ae)),
                          30.0 * std::max(s.m, s.n) * Norm1(a) * kEps)
                    << what;
                for (std::size_t j = 0; j < s.n; ++j) {
                    for (std::size_t i = j + 1; i < s.m; ++i) EXPECT_EQ(Bits(r(i, j)), 0u) << what;
                }
            }
        }
    }
}

TEST(Qr, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{6, 4}, {4, 6}, {0, 3}}) {
        const ArrayPtr a = ToArray(Random(s.m, s.n, rng));
        CMatrix *q, *r, *e;
        EXPECT_GT(
            OutputFailurePoints([&] { Qr(q, r, e, a.get(), false); }, {&q, &r, &e}, {a.get()}), 2)
            << ToString(s);
    }
}

}  // namespace
