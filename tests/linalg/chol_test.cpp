// tests/linalg/chol_test.cpp: the Cholesky kernel's failing row and Chol against LAPACK.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>

#include "kernels/chol_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

// B'*B + n*I: symmetric positive definite and well conditioned. The lower
// triangle is overwritten with garbage that must never be read.
Dense PositiveDefinite(std::size_t n, std::mt19937_64 &rng) {
    const Dense b = Random(n, n, rng);
    Dense a = Gemm('T', 'N', 1.0, b, b, 0.0, Dense(n, n));
    for (std::size_t j = 0; j < n; ++j) {
        a(j, j) += static_cast<double>(n);
        for (std::size_t i = j + 1; i < n; ++i) a(i, j) = (i + j) % 2 ? 1e300 : kNaN;
    }
    return a;
}

// The row whose x is negative is reported from 1; a zero or NaN x passes;
// the rows above a failure are those of the unchanged matrix, as they do
// not depend on A(j,j). Order 40 fails inside its second and last blocks.
TEST(CholeskyUpper, ReportsTheFailingRow) {
    Dense a(3, 3), r(3, 3);
    a.v = {4, 0, 0, 2, 2, 0, 0, 0, -1};  // x of row 1 is 2 - 1 = 1, row 2: -1
    EXPECT_EQ(kernels::CholeskyUpper(3, a.v.data(), 3, r.v.data(), 3), 3u);
    a.v = {kNaN, 0, 0, 1};
    EXPECT_EQ(kernels::CholeskyUpper(2, a.v.data(), 2, r.v.data(), 2), 0u);
    std::mt19937_64 rng(Seed());
    for (const auto &[n, failing] : std::vector<std::pair<std::size_t, std::size_t>>{
             {9, 0}, {9, 1}, {9, 4}, {9, 5}, {9, 8}, {40, 17}, {40, 33}}) {
        Dense b = PositiveDefinite(n, rng), want(n, n), got(n, n, 7.0);
        EXPECT_EQ(kernels::CholeskyUpper(n, b.v.data(), n, want.v.data(), n), 0u);
        b(failing, failing) = -1.0;
        EXPECT_EQ(kernels::CholeskyUpper(n, b.v.data(), n, got.v.data(), n), failing + 1);
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < n; ++i) {
                if (i < failing || i > j) {
                    EXPECT_EQ(Bits(got(i, j)), Bits(want(i, j))) << i << ", " << j;
                }
            }
        }
    }
}

// Against reference LAPACK's dpotrf on the same upper triangle, and R'*R
// reproduces A; a matrix made indefinite fails in both forms.
TEST(Chol, AgreesWithDpotrf) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 4, 5, 7, 10, 33, 50, 100, 150}) {
        Dense a = PositiveDefinite(n, rng), lapack = a;
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
                a(j, i) = a(i, j);
            }
        }
        EXPECT_LE(worst, 30.0 * n * kEps * largest) << "n = " << n;
        EXPECT_LE(Norm1(Gemm('T', 'N', 1.0, got, got, -1.0, a)), 30.0 * n * kEps * Norm1(a)) << n;
        a(n / 2, n / 2) = -1.0;
        bool ok = true;
        EXPECT_EQ(Dims(ArrayPtr(Chol(ToArray(a).get(), ok)).get()), (DimList{0, 0}));
        EXPECT_FALSE(ok) << n;
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
    EXPECT_EQ(std::vector<double>(z.begin(), z.begin() + 2), (std::vector<double>{0, 0}));
    EXPECT_TRUE(std::isnan(z[2]) && std::isnan(z[3]));
    // Any empty operand gives 0 x 0 with ok set, whatever its shape or class.
    for (const DimList &dims : {DimList{0, 0}, DimList{0, 3}, DimList{3, 0}, DimList{2, 0, 2}}) {
        for (mxClassID c : {mxClassDouble, mxClassSingle, mxClassCell}) {
            ok = false;
            const ArrayPtr re(Chol(Array(dims, c).get(), ok));
            EXPECT_TRUE(ok);
            EXPECT_EQ(Dims(re.get()), (DimList{0, 0}));
            EXPECT_EQ(mxGetClassID(re.get()), mxClassDouble);
        }
    }
}

}  // namespace
