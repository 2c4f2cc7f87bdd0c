// tests/linalg/chol_test.cpp: tests of the Cholesky kernel on padded buffers and of Chol in both forms.
#include <matrix/matrix.h>

#include <cmath>
#include <limits>
#include <random>

#include "linalg/kernels/chol_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/spectral_reference.h"
#include "support/matrix_test.h"

extern "C" void dpotrf_(const char *uplo, const int *n, double *a, const int *lda, int *info,
                        std::size_t uploLength);

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
const wchar_t kNotSquare[] = L"Matrix must be square";
const wchar_t kNotPermitted[] = L"Operation not permetted on input data";
const wchar_t kNotPositive[] = L"Matrix must be positive definite";
const double kEps = std::ldexp(1.0, -52);

const std::vector<std::size_t> kOrders = {1, 2, 3, 4, 5, 7, 10, 33, 50, 100};

// B'*B + n*I: symmetric positive definite and well conditioned. The lower
// triangle is overwritten with garbage that must never be read.
Dense PositiveDefinite(std::size_t n, std::mt19937_64 &rng, bool garbageBelow) {
    const Dense b = Random(n, n, rng, Fill::kUniform);
    Dense a = Gemm('T', 'N', 1.0, b, b, 0.0, Dense(n, n));
    for (std::size_t i = 0; i < n; ++i) a(i, i) += static_cast<double>(n);
    if (garbageBelow) {
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = j + 1; i < n; ++i) a(i, j) = (i + j) % 2 ? 1e300 : -7.0;
        }
    }
    return a;
}

TEST(CholeskyUpper, SameBitsAsStatedOrderOnPaddedBuffers) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        const Dense a = PositiveDefinite(n, rng, true);
        bool ok;
        const Dense want = ref::Chol(a, ok);
        ASSERT_TRUE(ok);
        Padded pa(a), pr(n, n, 5);
        EXPECT_EQ(kernels::CholeskyUpper(n, pa.Data(), pa.Ld(), pr.Data(), pr.Ld()), 0u);
        ExpectSameBits(pr.Contents(), want, "n = " + std::to_string(n));
        ExpectSameBits(pa.Contents(), a, "A changed");
        EXPECT_TRUE(pr.PaddingIntact());
    }
}

// The row whose x is negative is reported from 1; a zero or NaN x passes.
TEST(CholeskyUpper, ReportsTheFailingRow) {
    Dense a(3, 3);
    a.v = {4, 0, 0, 2, 2, 0, 0, 0, -1};  // x of row 1 is 2 - 1 = 1, row 2: -1
    Dense r(3, 3);
    EXPECT_EQ(kernels::CholeskyUpper(3, a.v.data(), 3, r.v.data(), 3), 3u);
    a.v = {-1, 0, 0, 0};
    EXPECT_EQ(kernels::CholeskyUpper(2, a.v.data(), 2, r.v.data(), 2), 1u);
    a.v = {std::numeric_limits<double>::quiet_NaN(), 0, 0, 1};
    EXPECT_EQ(kernels::CholeskyUpper(2, a.v.data(), 2, r.v.data(), 2), 0u);
}

// After a failure at row j the rows above it are complete: they do not
// depend on A(j,j), so they match the factor of the definite matrix.
TEST(CholeskyUpper, CompletesTheRowsAboveAFailure) {
    std::mt19937_64 rng(Seed());
    for (std::size_t failing : {1, 4, 5, 8}) {
        const Dense a = PositiveDefinite(9, rng, true);
        bool ok;
        const Dense want = ref::Chol(a, ok);
        Dense bad = a;
        bad(failing, failing) = -1.0;
        Dense r(9, 9, 7.0);
        EXPECT_EQ(kernels::CholeskyUpper(9, bad.v.data(), 9, r.v.data(), 9), failing + 1);
        for (std::size_t j = 0; j < 9; ++j) {
            for (std::size_t i = 0; i < failing; ++i) {
                EXPECT_EQ(Bits(r(i, j)), Bits(want(i, j))) << failing << ": " << i << ", " << j;
            }
        }
    }
}

// Random symmetric matrices, definite or not, through the function: the
// factor bit for bit when the reference succeeds, ok and the 0 x 0 result
// when it fails.
TEST(Chol, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        for (int kind = 0; kind < 3; ++kind) {
            // 0: positive definite; 1: random (almost never definite);
            // 2: definite, with one diagonal element lowered past zero.
            Dense a = kind == 1 ? Random(n, n, rng) : PositiveDefinite(n, rng, kind == 0);
            if (kind == 2) a(n / 2, n / 2) = -1.0;
            bool refOk;
            const Dense want = ref::Chol(a, refOk);
            const ArrayPtr arg = ToArray(a);
            bool ok = !refOk;
            const ArrayPtr r(Chol(arg.get(), ok));
            EXPECT_EQ(ok, refOk) << n;
            if (refOk) {
                ExpectSameBits(r.get(), want, "n = " + std::to_string(n));
                ExpectSameBits(ArrayPtr(Chol(arg.get())).get(), want, "throwing form");
            } else {
                EXPECT_EQ(Dims(r.get()), (DimList{0, 0}));
                EXPECT_REJECTS(Chol(arg.get()), CFunctionErrorException, kNotPositive, arg.get());
            }
        }
    }
}

TEST(Chol, WorkedExamples) {
    const ArrayPtr a = Matrix(2, 2, {4, 2, 2, 3});
    const ArrayPtr r(Chol(a.get()));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{2, 0, 1, std::sqrt(2.0)}));

    // Only 4, 100 and 3 are read: x of row 1 is 3 - 50^2.
    const ArrayPtr b = Matrix(2, 2, {4, -7, 100, 3});
    bool ok = true;
    const ArrayPtr f(Chol(b.get(), ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(Dims(f.get()), (DimList{0, 0}));
    EXPECT_FALSE(mxIsComplex(f.get()));
    EXPECT_EQ(mxGetClassID(f.get()), mxClassDouble);
    EXPECT_REJECTS(Chol(b.get()), CFunctionErrorException, kNotPositive, b.get());

    // The zero matrix: R(0,0) = 0 and 0/0 to its right.
    const ArrayPtr z = Matrix(2, 2, {0, 0, 0, 0});
    const ArrayPtr rz(Chol(z.get(), ok));
    EXPECT_TRUE(ok);
    const std::vector<double> v = Values(rz.get());
    EXPECT_EQ(v[0], 0.0);
    EXPECT_EQ(v[1], 0.0);
    EXPECT_TRUE(std::isnan(v[2]));
    EXPECT_TRUE(std::isnan(v[3]));
}

// The strictly lower triangle is never read: NaN there changes nothing.
TEST(Chol, ReadsOnlyTheUpperTriangle) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ArrayPtr a = Matrix(3, 3, {4, nan, nan, 2, 5, nan, -2, 1, 6});
    const ArrayPtr b = Matrix(3, 3, {4, 2, -2, 2, 5, 1, -2, 1, 6});
    const ArrayPtr ra(Chol(a.get())), rb(Chol(b.get()));
    EXPECT_EQ(Values(ra.get()), Values(rb.get()));
}

// Any empty operand gives 0 x 0 with ok set, whatever its shape or class.
TEST(Chol, EmptyOperands) {
    for (const DimList &dims : {DimList{0, 0}, DimList{0, 3}, DimList{3, 0}, DimList{2, 0, 2}}) {
        for (mxClassID c : {mxClassDouble, mxClassSingle, mxClassCell}) {
            const ArrayPtr a = Array(dims, c);
            bool ok = false;
            const ArrayPtr r(Chol(a.get(), ok));
            EXPECT_TRUE(ok);
            EXPECT_EQ(Dims(r.get()), (DimList{0, 0}));
            EXPECT_EQ(mxGetClassID(r.get()), mxClassDouble);
            EXPECT_EQ(Dims(ArrayPtr(Chol(a.get())).get()), (DimList{0, 0}));
        }
    }
}

// Shape first (N-d arrays included), then a class other than double, then
// an imaginary part; ok is true after each failure.
TEST(Chol, RefusesInOrder) {
    const ArrayPtr wide = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const ArrayPtr nd = Array({2, 2, 2});
    const ArrayPtr singleWide = Array({2, 3}, mxClassSingle);
    const ArrayPtr cplxNd = Array({2, 2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr single = Array({2, 2}, mxClassSingle);
    const ArrayPtr int32 = Array({1, 1}, mxClassInt32);
    const ArrayPtr cell = Array({2, 2}, mxClassCell);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    bool ok = false;
    for (const CMatrix *a : {wide.get(), nd.get(), singleWide.get(), cplxNd.get()}) {
        EXPECT_REJECTS(Chol(a, ok), CMatrixMustBeSquareException, kNotSquare, a);
        EXPECT_TRUE(ok);
        EXPECT_REJECTS(Chol(a), CMatrixMustBeSquareException, kNotSquare, a);
    }
    for (const CMatrix *a : {single.get(), int32.get(), cell.get()}) {
        EXPECT_REJECTS(Chol(a, ok), COperationNotDefinedOnClassException, kNotPermitted, a);
        EXPECT_REJECTS(Chol(a), COperationNotDefinedOnClassException, kNotPermitted, a);
    }
    EXPECT_REJECTS(Chol(cplx.get(), ok), CNotImplementedException, kNotImplemented, cplx.get());
    EXPECT_REJECTS(Chol(cplx.get()), CNotImplementedException, kNotImplemented, cplx.get());
}

TEST(Chol, ResultIsNotLogical) {
    ArrayPtr a = Matrix(2, 2, {1, 0, 0, 1});
    a->SetLogical();
    const ArrayPtr r(Chol(a.get()));
    EXPECT_FALSE(mxIsLogical(r.get()));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1, 0, 0, 1}));
}

// Against reference LAPACK's dpotrf on the same upper triangle.
TEST(Chol, AgreesWithDpotrf) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        const Dense a = PositiveDefinite(n, rng, false);
        Dense lapack = a;
        const int ni = static_cast<int>(n);
        int info = -1;
        dpotrf_("U", &ni, lapack.v.data(), &ni, &info, 1);
        ASSERT_EQ(info, 0);
        const ArrayPtr r(Chol(ToArray(a).get()));
        const Dense got = FromArray(r.get());
        double worst = 0.0, largest = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i <= j; ++i) {
                worst = std::max(worst, std::fabs(got(i, j) - lapack(i, j)));
                largest = std::max(largest, std::fabs(lapack(i, j)));
            }
        }
        EXPECT_LE(worst, 30.0 * n * kEps * largest) << "n = " << n;
        // And R'*R reproduces A.
        const Dense residual = Gemm('T', 'N', 1.0, got, got, -1.0, a);
        EXPECT_LE(Norm1(residual), 30.0 * n * kEps * Norm1(a)) << "n = " << n;
    }
}

TEST(Chol, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (bool definite : {true, false}) {
        Dense a = PositiveDefinite(5, rng, false);
        if (!definite) a(4, 4) = -1.0;
        const ArrayPtr arg = ToArray(a);
        const ArraySnapshot before = ArraySnapshot::Of(arg.get());
        const auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(arg.get()) == before); };
        bool ok;
        EXPECT_GT(ForEachAllocationFailure([&] { const ArrayPtr r(Chol(arg.get(), ok)); },
                                           unchanged),
                  0);
        EXPECT_GT(ForEachAllocationFailure(
                      [&] {
                          try {
                              const ArrayPtr r(Chol(arg.get()));
                          } catch (const CFunctionErrorException &) {
                          }
                      },
                      unchanged),
                  0);
    }
}

}  // namespace
