// tests/linalg/planerot_test.cpp: tests of SafeHypot and Planerot in both forms.
#include <matrix/matrix.h>

#include <cmath>
#include <limits>
#include <random>

#include "linalg/kernels/planerot_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/spectral_reference.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
namespace kernels = kiv::matrix::kernels;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNotTwo[] = L"Matrix must be a column of two elements";
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Rotation {
    ArrayPtr g, y;
};

Rotation TwoOutputs(const CMatrix *x) {
    CMatrix *g = nullptr, *y = nullptr;
    Planerot(g, y, x);
    return {ArrayPtr(g), ArrayPtr(y)};
}

TEST(SafeHypot, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-600, 600);
    for (int k = 0; k < 20000; ++k) {
        const double a = std::ldexp(uniform(rng), exponent(rng));
        const double b = k % 7 == 0 ? a : std::ldexp(uniform(rng), exponent(rng));
        ASSERT_EQ(Bits(kernels::SafeHypot(a, b)), Bits(ref::SafeHypot(a, b))) << a << ", " << b;
    }
}

TEST(SafeHypot, AvoidsOverflowAndUnderflow) {
    EXPECT_NEAR(kernels::SafeHypot(1e300, 1e300), 1.4142135623730951e300, 1e285);
    EXPECT_NEAR(kernels::SafeHypot(3e-300, 4e-300), 5e-300, 1e-315);
    EXPECT_EQ(kernels::SafeHypot(3.0, -4.0), 5.0);
    EXPECT_EQ(kernels::SafeHypot(-4.0, 0.0), 4.0);
    EXPECT_EQ(Bits(kernels::SafeHypot(0.0, 0.0)), 0u);
    EXPECT_EQ(Bits(kernels::SafeHypot(-0.0, -0.0)), 0u);
}

// The plain formula would give 0.0 for (NaN, 0) and NaN for two
// infinities; the kernel reports NaN and +Inf.
TEST(SafeHypot, NaNAndInfinities) {
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(kNaN, 0.0)));
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(0.0, kNaN)));
    EXPECT_TRUE(std::isnan(kernels::SafeHypot(kNaN, 1.0)));
    EXPECT_EQ(kernels::SafeHypot(kInf, kInf), kInf);
    EXPECT_EQ(kernels::SafeHypot(-kInf, 1.0), kInf);
    EXPECT_EQ(kernels::SafeHypot(kNaN, -kInf), kInf);
}

TEST(PlaneRotation, LeavesPaddingAlone) {
    Padded g(2, 2);
    EXPECT_EQ(kernels::PlaneRotation(3.0, 4.0, g.Data(), g.Ld()), 5.0);
    EXPECT_TRUE(g.PaddingIntact());
    double r;
    ExpectSameBits(g.Contents(), ref::Planerot(3.0, 4.0, r), "3, 4");
}

TEST(Planerot, WorkedExamples) {
    struct Case {
        double x0, x1, r;
        std::vector<double> g;  // column-major
    };
    const std::vector<Case> cases = {
        {3, 4, 5, {0.6, -0.8, 0.8, 0.6}},
        {0, 0, 0, {1, 0, 0, 1}},
        {-2, 0, 2, {-1, 0, 0, -1}},
        {0, 5, 5, {0, -1, 1, 0}},
    };
    for (const Case &t : cases) {
        const ArrayPtr x = Matrix(2, 1, {t.x0, t.x1});
        const ArrayPtr g = ArrayPtr(Planerot(x.get()));
        const Rotation both = TwoOutputs(x.get());
        EXPECT_EQ(Dims(g.get()), (DimList{2, 2}));
        const std::vector<double> got = Values(g.get());
        for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(got[i], t.g[i], 1e-16) << t.x0 << t.x1;
        EXPECT_EQ(Values(both.g.get()), got);
        EXPECT_EQ(Dims(both.y.get()), (DimList{2, 1}));
        EXPECT_EQ(Values(both.y.get()), (std::vector<double>{t.r, 0.0}));
    }
}

// G and y bit for bit against the stated order, over magnitudes that would
// overflow a plain sum of squares.
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
        const Rotation got = TwoOutputs(x.get());
        ExpectSameBits(got.g.get(), want, "G");
        Dense y(2, 1);
        y.v = {r, 0.0};
        ExpectSameBits(got.y.get(), y, "y");
        ExpectSameBits(ArrayPtr(Planerot(x.get())).get(), want, "one output");
    }
}

// Only the count is tested: rows, columns and N-d arrays of two elements
// are accepted; a logical x gives plain double results.
TEST(Planerot, AcceptsAnyShapeOfTwo) {
    for (const DimList &dims : {DimList{1, 2}, DimList{2, 1}, DimList{1, 1, 2}}) {
        ArrayPtr x = Array(dims);
        mxGetPr(x.get())[0] = 3;
        mxGetPr(x.get())[1] = 4;
        x->SetLogical();
        const Rotation r = TwoOutputs(x.get());
        EXPECT_EQ(Values(r.y.get()), (std::vector<double>{5, 0}));
        EXPECT_FALSE(mxIsLogical(r.g.get()));
        EXPECT_FALSE(mxIsLogical(r.y.get()));
    }
}

// The count comes first, then the class and the imaginary part; the
// outputs are null after a failure.
TEST(Planerot, RefusesInOrder) {
    const ArrayPtr three = Matrix(3, 1, {1, 2, 3});
    const ArrayPtr empty = Array({0, 2});
    const ArrayPtr singleThree = Array({3, 1}, mxClassSingle);
    const ArrayPtr cplxOne = Array({1, 1}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr single = Array({2, 1}, mxClassSingle);
    const ArrayPtr int8 = Array({1, 2}, mxClassInt8);
    const ArrayPtr cell = Array({2, 1}, mxClassCell);
    const ArrayPtr cplx = Array({2, 1}, mxClassDouble, mxComplexityComplex);
    CMatrix *dummy = Scalar(1.0);
    CMatrix *g = dummy, *y = dummy;
    for (const CMatrix *x : {three.get(), empty.get(), singleThree.get(), cplxOne.get()}) {
        EXPECT_REJECTS(Planerot(x), CFunctionErrorException, kNotTwo, x);
        g = y = dummy;
        EXPECT_REJECTS(Planerot(g, y, x), CFunctionErrorException, kNotTwo, x);
        EXPECT_TRUE(g == nullptr && y == nullptr);
    }
    for (const CMatrix *x : {single.get(), int8.get(), cell.get(), cplx.get()}) {
        EXPECT_REJECTS(Planerot(x), CNotImplementedException, kNotImplemented, x);
        g = y = dummy;
        EXPECT_REJECTS(Planerot(g, y, x), CNotImplementedException, kNotImplemented, x);
        EXPECT_TRUE(g == nullptr && y == nullptr);
    }
    mxDestroyArray(dummy);
}

TEST(Planerot, AllocationFailureLeaksNothing) {
    const ArrayPtr x = Matrix(2, 1, {3, 4});
    const ArraySnapshot before = ArraySnapshot::Of(x.get());
    CMatrix *g, *y;
    const int points = ForEachAllocationFailure(
        [&] {
            Planerot(g, y, x.get());
            mxDestroyArray(g);
            mxDestroyArray(y);
        },
        [&] {
            EXPECT_TRUE(g == nullptr && y == nullptr);
            EXPECT_TRUE(ArraySnapshot::Of(x.get()) == before);
        });
    EXPECT_GT(points, 1);
    EXPECT_GT(ForEachAllocationFailure([&] { const ArrayPtr one(Planerot(x.get())); }, [] {}), 0);
}

}  // namespace
