// tests/linalg/mldivide_kernel_test.cpp: tests of the solve kernels on raw padded buffers.
#include <cmath>
#include <random>
#include <vector>

#include "linalg/kernels/mldivide_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

TEST(BackSubstitute, SameBitsAsStatedOrderWithStrides) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {0, 1, 2, 3, 7, 33, 100}) {
        Dense u = Random(n, n, rng, Fill::kGeneral);
        for (std::size_t i = 0; i < n; ++i) u(i, i) = 1.0 + static_cast<double>(i % 3);
        const Dense b = Random(n, 1, rng, Fill::kGeneral);
        Padded pu(u);
        // b and x as rows of padded matrices: strides 5 and 4.
        Dense bRow(1, n), xRow(1, n);
        bRow.v = b.v;
        Padded pb(bRow, 4), px(xRow, 3);
        kernels::BackSubstitute(n, pu.Data(), pu.Ld(), pb.Data(), pb.Ld(), px.Data(), px.Ld());
        Dense want(1, n);
        want.v = ref::BackSubstitute(u, n, b.v);
        ExpectSameBits(px.Contents(), want, "n=" + std::to_string(n));
        EXPECT_TRUE(pu.PaddingIntact() && pb.PaddingIntact() && px.PaddingIntact()) << n;
    }
}

TEST(GaussSolve, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSquareShapes) {
        for (std::size_t k : {0, 1, 3}) {
            for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
                const Dense a = Random(s.m, s.n, rng, fill);
                const Dense b = Random(s.m, k, rng, fill);
                Padded pa(a), pb(b, 2), px(s.n, k, 1);
                kernels::GaussSolve(s.m, k, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(), px.Data(),
                                    px.Ld());
                const std::string what = ToString(s) + " k=" + std::to_string(k);
                ExpectSameBits(px.Contents(), ref::GaussSolve(a, b), what);
                EXPECT_TRUE(pa.PaddingIntact() && pb.PaddingIntact() && px.PaddingIntact())
                    << what;
            }
        }
    }
}

// A zero pivot becomes 1e-14: a singular system gives huge finite values.
TEST(GaussSolve, ReplacesZeroPivot) {
    double a[] = {1, 1, 1, 1};
    double b[] = {1, 2};
    double x[2];
    kernels::GaussSolve(2, 1, a, 2, b, 2, x, 2);
    EXPECT_EQ(x[1], 1.0 / 1.0e-14);
    EXPECT_TRUE(std::isfinite(x[0]));
}

TEST(TriangularRank, CountsLeadingDiagonalAboveTolerance) {
    const double nan = std::nan("");
    // Diagonal of a 4x4 R: 3, -2, 0.5, 7 with ld 4.
    double r[16] = {3, 0, 0, 0, 9, -2, 0, 0, 9, 9, 0.5, 0, 9, 9, 9, 7};
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 1.0), 2u);
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 0.1), 4u);
    EXPECT_EQ(kernels::TriangularRank(3, r, 4, 0.1), 3u);
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 3.0), 0u);
    r[5] = nan;
    EXPECT_EQ(kernels::TriangularRank(4, r, 4, 0.1), 1u);
}

TEST(QrSolve, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{7, 5}, {5, 7}, {33, 4}, {1, 3}}) {
        const Dense a = Random(s.m, s.n, rng, Fill::kZeroLine);
        const ref::QrParts f = ref::Qr(a, true);
        const Dense b = Random(s.m, 3, rng);
        std::size_t rank = 0;
        while (rank < std::min(s.m, s.n) && std::fabs(f.r(rank, rank)) > 0x1p-52) ++rank;
        Dense want(s.n, 3);
        for (std::size_t j = 0; j < 3; ++j) {
            std::vector<double> y(s.m);
            for (std::size_t i = 0; i < s.m; ++i) {
                double t = 0.0;
                for (std::size_t p = 0; p < s.m; ++p) t = t + b(p, j) * f.q(p, i);
                y[i] = t;
            }
            const std::vector<double> x = ref::BackSubstitute(f.r, rank, y);
            for (std::size_t i = 0; i < rank; ++i) want(i, j) = x[i];
        }
        Padded pq(f.q), pr(f.r), pb(b), px(s.n, 3);
        std::vector<double> y(rank);
        kernels::QrSolve(s.m, s.n, 3, rank, pq.Data(), pq.Ld(), pr.Data(), pr.Ld(), pb.Data(),
                         pb.Ld(), px.Data(), px.Ld(), y.data());
        ExpectSameBits(px.Contents(), want, ToString(s));
        EXPECT_TRUE(pq.PaddingIntact() && pr.PaddingIntact() && pb.PaddingIntact() &&
                    px.PaddingIntact());
    }
}

}  // namespace
