// tests/linalg/planerot_test.cpp: SafeHypot, the rotation kernel and Planerot in both forms.
#include <matrix/matrix.h>

#include <cmath>
#include <random>

#include "kernels/planerot_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/decomposition_reference.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

// Magnitudes that would overflow or underflow a plain sum of squares.
TEST(SafeHypot, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-600, 600);
    for (int k = 0; k < 20000; ++k) {
        const double a = std::ldexp(uniform(rng), exponent(rng));
        const double b = k % 7 == 0    ? a
                         : k % 11 == 0 ? 0.0
                                       : std::ldexp(uniform(rng), exponent(rng));
        ASSERT_EQ(Bits(kernels::SafeHypot(a, b)), Bits(ref::SafeHypot(a, b))) << a << ", " << b;
    }
    EXPECT_EQ(Bits(kernels::SafeHypot(-0.0, -0.0)), 0u);
    // The plain formula would give 0.0 for (NaN, 0) and NaN for two
    // infinities; the kernel reports NaN and +Inf.
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(kNaN, 0.0)));
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(0.0, kNaN)));
    EXPECT_EQ(kernels::SafeHypot(kInf, kInf), kInf);
    EXPECT_EQ(kernels::SafeHypot(-kInf, 1.0), kInf);
    EXPECT_EQ(kernels::SafeHypot(kNaN, -kInf), kInf);
}

// G and y of both forms bit for bit against the stated order; the kernel on
// a padded buffer.
TEST(Planerot, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-400, 400);
    for (int k = 0; k < 200; ++k) {
        const double x0 = std::ldexp(uniform(rng), exponent(rng));
        const double x1 = k % 5 == 0 ? 0.0 : std::ldexp(uniform(rng), exponent(rng));
        const ArrayPtr x = Matrix(1, 2, {x0, x1});
        double r;
        const Dense want = ref::Planerot(x0, x1, r);
        CMatrix *g, *y;
        Planerot(g, y, x.get());
        const ArrayPtr gp(g), yp(y);
        ExpectSameBits(g, want, "G");
        ExpectSameBits(Values(y), {r, 0.0}, "y");
        ExpectSameBits(ArrayPtr(Planerot(x.get())).get(), want, "one output");
        Padded pg(2, 2);
        EXPECT_EQ(Bits(kernels::PlaneRotation(x0, x1, pg.Data(), pg.Ld())), Bits(r));
        ExpectSameBits(pg.Contents(), want, "kernel");
        EXPECT_TRUE(pg.PaddingIntact());
    }
}

// Only the count of elements is tested: rows, columns and N-d arrays of two
// are taken; a logical x gives plain double results.
TEST(Planerot, WorkedExamples) {
    struct Case {
        DimList dims;
        double x0, x1, r;
        std::vector<double> g;
    };
    for (const Case &t : std::vector<Case>{{{2, 1}, 3, 4, 5, {0.6, -0.8, 0.8, 0.6}},
                                           {{1, 2}, 0, 0, 0, {1, 0, 0, 1}},
                                           {{1, 1, 2}, -2, 0, 2, {-1, 0, 0, -1}},
                                           {{2, 1}, 0, 5, 5, {0, -1, 1, 0}}}) {
        ArrayPtr x = Array(t.dims);
        mxGetPr(x.get())[0] = t.x0;
        mxGetPr(x.get())[1] = t.x1;
        x->SetLogical();
        CMatrix *g, *y;
        Planerot(g, y, x.get());
        const ArrayPtr gp(g), yp(y);
        EXPECT_EQ(Dims(g), (DimList{2, 2}));
        const std::vector<double> got = Values(g);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(got[i], t.g[i], 1e-16) << t.x0 << t.x1;
        EXPECT_EQ(Dims(y), (DimList{2, 1}));
        EXPECT_EQ(Values(y), (std::vector<double>{t.r, 0.0}));
        EXPECT_FALSE(mxIsLogical(g) || mxIsLogical(y));
    }
}

// The count comes first, then the class and the imaginary part; the
// outputs are null after a failure.
TEST(Planerot, RefusesInOrder) {
    const ArrayPtr three = Matrix(3, 1, {1, 2, 3}), empty = Array({0, 2});
    const ArrayPtr singleThree = Array({3, 1}, mxClassSingle),
                   single = Array({2, 1}, mxClassSingle);
    const ArrayPtr cplxOne = Array({1, 1}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr cell = Array({2, 1}, mxClassCell),
                   cplx = Array({2, 1}, mxClassDouble, mxComplexityComplex);
    CMatrix *dummy = Scalar(1.0);
    struct Case {
        const CMatrix *x;
        Error error;
    };
    for (const Case &t : std::vector<Case>{{three.get(), Error::kNotTwo},
                                           {empty.get(), Error::kNotTwo},
                                           {singleThree.get(), Error::kNotTwo},
                                           {cplxOne.get(), Error::kNotTwo},
                                           {single.get(), Error::kNotImplemented},
                                           {cell.get(), Error::kNotImplemented},
                                           {cplx.get(), Error::kNotImplemented}}) {
        CMatrix *g = dummy, *y = dummy;
        ExpectRefusal([&] { Planerot(g, y, t.x); }, t.error, {t.x});
        ExpectNull({g, y});
    }
    mxDestroyArray(dummy);
}

TEST(Planerot, AllocationFailureLeaksNothing) {
    const ArrayPtr x = Matrix(2, 1, {3, 4});
    CMatrix *g, *y;
    EXPECT_GT(OutputFailurePoints([&] { Planerot(g, y, x.get()); }, {&g, &y}, {x.get()}), 1);
    EXPECT_GT(FailurePoints([&] { return Planerot(x.get()); }, {x.get()}), 0);
}

}  // namespace
