// tests/linalg/chol_test.cpp: the Cholesky kernel on padded buffers and Chol in both forms.
#include <matrix/matrix.h>

#include <cmath>
#include <random>

#include "kernels/chol_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/decomposition_reference.h"

extern "C" void dpotrf_(const char *uplo, const int *n, double *a, const int *lda, int *info,
                        std::size_t uploLength);

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

const std::vector<std::size_t> kOrders = {1, 2, 3, 4, 5, 7, 10, 33, 50, 100, 150};

// B'*B + n*I: symmetric positive definite and well conditioned. The lower
// triangle is overwritten with garbage that must never be read.
Dense PositiveDefinite(std::size_t n, std::mt19937_64 &rng, bool garbageBelow) {
    const Dense b = Random(n, n, rng, Fill::kUniform);
    Dense a = Gemm('T', 'N', 1.0, b, b, 0.0, Dense(n, n));
    for (std::size_t i = 0; i < n; ++i) a(i, i) += static_cast<double>(n);
    for (std::size_t j = 0; garbageBelow && j < n; ++j) {
        for (std::size_t i = j + 1; i < n; ++i) a(i, j) = (i + j) % 2 ? 1e300 : kNaN;
    }
    return a;
}

// The kernel on padded buffers, then random symmetric matrices, definite or
// not, through both forms: the factor bit for bit when the reference
// succeeds, ok false, 0 x 0 and the throw when it fails.
TEST(Chol, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        const std::string what = "n = " + std::to_string(n);
        const Dense a = PositiveDefinite(n, rng, true);
        bool ok;
        const Dense want = ref::Chol(a, ok);
        Padded pa(a), pr(n, n, 5);
        EXPECT_EQ(kernels::CholeskyUpper(n, pa.Data(), pa.Ld(), pr.Data(), pr.Ld()), 0u);
        ExpectSameBits(pr.Contents(), want, what + " kernel");
        EXPECT_TRUE(pr.PaddingIntact() && pa.PaddingIntact());
        // 0: definite with garbage below; 1: random (almost never definite);
        // 2: definite, one diagonal element lowered past zero.
        for (int kind = 0; kind < 3; ++kind) {
            Dense b = kind == 0   ? a
                      : kind == 1 ? Random(n, n, rng)
                                  : PositiveDefinite(n, rng, false);
            if (kind == 2) b(n / 2, n / 2) = -1.0;
            bool refOk;
            const Dense r = ref::Chol(b, refOk);
            const ArrayPtr arg = ToArray(b);
            bool gotOk = !refOk;
            const ArrayPtr got(Chol(arg.get(), gotOk));
            EXPECT_EQ(gotOk, refOk) << what;
            if (refOk) {
                ExpectSameBits(got.get(), r, what);
                ExpectSameBits(ArrayPtr(Chol(arg.get())).get(), r, what + " throwing form");
            } else {
                EXPECT_EQ(Dims(got.get()), (DimList{0, 0}));
                EXPECT_EQ(mxGetClassID(got.get()), mxClassDouble);
                ExpectRefusal([&] { Chol(arg.get()); }, Error::kNotPositive, {arg.get()}, what);
            }
        }
    }
}

// The row whose x is negative is reported from 1; a zero or NaN x passes;
// the rows above a failure are complete, as they do not depend on A(j,j).
TEST(Chol, KernelReportsTheFailingRow) {
    Dense a(3, 3), r(3, 3);
    a.v = {4, 0, 0, 2, 2, 0, 0, 0, -1};  // x of row 1 is 2 - 1 = 1, row 2: -1
    EXPECT_EQ(kernels::CholeskyUpper(3, a.v.data(), 3, r.v.data(), 3), 3u);
    a.v = {kNaN, 0, 0, 1};
    EXPECT_EQ(kernels::CholeskyUpper(2, a.v.data(), 2, r.v.data(), 2), 0u);
    std::mt19937_64 rng(Seed());
    // Order 40 fails inside the second and the last of its row blocks.
    for (const auto &[n, failing] : std::vector<std::pair<std::size_t, std::size_t>>{
             {9, 0}, {9, 1}, {9, 4}, {9, 5}, {9, 8}, {40, 17}, {40, 33}}) {
        Dense b = PositiveDefinite(n, rng, true), got(n, n, 7.0);
        bool ok;
        const Dense want = ref::Chol(b, ok);
        b(failing, failing) = -1.0;
        EXPECT_EQ(kernels::CholeskyUpper(n, b.v.data(), n, got.v.data(), n), failing + 1);
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < failing; ++i) {
                EXPECT_EQ(Bits(got(i, j)), Bits(want(i, j))) << failing << ": " << i << ", " << j;
            }
            for (std::size_t i = j + 1; i < n; ++i)
                EXPECT_EQ(Bits(got(i, j)), 0u) << i << ", " << j;
        }
    }
}

TEST(Chol, WorkedExamples) {
    ArrayPtr a = Matrix(2, 2, {4, kNaN, 2, 3});
    a->SetLogical();
    const ArrayPtr r(Chol(a.get()));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{2, 0, 1, std::sqrt(2.0)}));
    EXPECT_FALSE(mxIsLogical(r.get()));
    // Only 4, 100 and 3 are read: x of row 1 is 3 - 50^2.
    bool ok = true;
    EXPECT_EQ(Dims(ArrayPtr(Chol(Matrix(2, 2, {4, -7, 100, 3}).get(), ok)).get()), (DimList{0, 0}));
    EXPECT_FALSE(ok);
    // The zero matrix: R(0,0) = 0 and 0/0 to its right.
    const std::vector<double> z =
        Values(ArrayPtr(Chol(Matrix(2, 2, {0, 0, 0, 0}).get(), ok)).get());
    EXPECT_TRUE(ok);
    EXPECT_EQ(z[0], 0.0);
    EXPECT_EQ(z[1], 0.0);
    EXPECT_TRUE(std::isnan(z[2]) && std::isnan(z[3]));
    // Any empty operand gives 0 x 0 with ok set, whatever its shape or class.
    for (const DimList &dims : {DimList{0, 0}, DimList{0, 3}, DimList{3, 0}, DimList{2, 0, 2}}) {
        for (mxClassID c : {mxClassDouble, mxClassSingle, mxClassCell}) {
            const ArrayPtr e = Array(dims, c);
            ok = false;
            const ArrayPtr re(Chol(e.get(), ok));
            EXPECT_TRUE(ok);
            EXPECT_EQ(Dims(re.get()), (DimList{0, 0}));
            EXPECT_EQ(mxGetClassID(re.get()), mxClassDouble);
        }
    }
}

// Shape first (N-d arrays included), then a class other than double, then
// an imaginary part; ok is true after each failure.
TEST(Chol, RefusesInOrder) {
    const ArrayPtr wide = Matrix(2, 3, {1, 2, 3, 4, 5, 6}), nd = Array({2, 2, 2});
    const ArrayPtr singleWide = Array({2, 3}, mxClassSingle);
    const ArrayPtr cplxNd = Array({2, 2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr single = Array({2, 2}, mxClassSingle), int32 = Array({1, 1}, mxClassInt32);
    const ArrayPtr cell = Array({2, 2}, mxClassCell);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    struct Case {
        const CMatrix *a;
        Error error;
    };
    for (const Case &t : std::vector<Case>{{wide.get(), Error::kSquare},
                                           {nd.get(), Error::kSquare},
                                           {singleWide.get(), Error::kSquare},
                                           {cplxNd.get(), Error::kSquare},
                                           {single.get(), Error::kNotPermitted},
                                           {int32.get(), Error::kNotPermitted},
                                           {cell.get(), Error::kNotPermitted},
                                           {cplx.get(), Error::kNotImplemented}}) {
        bool ok = false;
        ExpectRefusal([&] { Chol(t.a, ok); }, t.error, {t.a});
        EXPECT_TRUE(ok);
    }
}

// Against reference LAPACK's dpotrf on the same upper triangle, and R'*R
// reproduces A.
TEST(Chol, AgreesWithDpotrf) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : kOrders) {
        const Dense a = PositiveDefinite(n, rng, false);
        Dense lapack = a;
        const int ni = static_cast<int>(n);
        int info = -1;
        dpotrf_("U", &ni, lapack.v.data(), &ni, &info, 1);
        ASSERT_EQ(info, 0);
        const Dense got = FromArray(ArrayPtr(Chol(ToArray(a).get())).get());
        double worst = 0.0, largest = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i <= j; ++i) {
                worst = std::max(worst, std::fabs(got(i, j) - lapack(i, j)));
                largest = std::max(largest, std::fabs(lapack(i, j)));
            }
        }
        EXPECT_LE(worst, 30.0 * n * kEps * largest) << "n = " << n;
        EXPECT_LE(Norm1(Gemm('T', 'N', 1.0, got, got, -1.0, a)), 30.0 * n * kEps * Norm1(a)) << n;
    }
}

TEST(Chol, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (bool definite : {true, false}) {
        Dense a = PositiveDefinite(5, rng, false);
        if (!definite) a(4, 4) = -1.0;
        const ArrayPtr arg = ToArray(a);
        bool ok;
        EXPECT_GT(FailurePoints([&] { return Chol(arg.get(), ok); }, {arg.get()}), 0);
        if (definite) {
            EXPECT_GT(FailurePoints([&] { return Chol(arg.get()); }, {arg.get()}), 0);
        }
    }
}

}  // namespace
