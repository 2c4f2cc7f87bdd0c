// tests/linalg/qr_kernel_test.cpp: tests of the Householder QR kernels on raw padded buffers.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "linalg/kernels/qr_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

TEST(ColumnNorm, SameBitsAsScaledSumWithCutoff) {
    std::mt19937_64 rng(Seed());
    std::uniform_int_distribution<int> exponent(-60, 60);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (std::size_t count : {0, 1, 2, 5, 17, 100}) {
        for (std::size_t stride : {1, 3}) {
            std::vector<double> x(count * stride, std::nan(""));
            std::vector<double> dense(count);
            for (std::size_t i = 0; i < count; ++i) {
                const int kind = static_cast<int>(rng() % 6);
                dense[i] = kind == 0   ? 1.0e-12
                           : kind == 1 ? -0.9e-12
                                       : std::ldexp(uniform(rng), exponent(rng));
                x[i * stride] = dense[i];
            }
            EXPECT_EQ(matrix_test::Bits(kernels::ColumnNorm(count, x.data(), stride)),
                      matrix_test::Bits(ref::ColumnNorm(dense.data(), count)))
                << count << " entries, stride " << stride;
        }
    }
}

TEST(ColumnNorm, CutsOffSmallEntriesAndScalesLargeOnes) {
    const double small[] = {1.0e-12, -1.0e-12, 5.0e-13, 0.0, std::nan("")};
    EXPECT_EQ(kernels::ColumnNorm(5, small, 1), 0.0);
    const double large[] = {3.0e200, 4.0e200};
    EXPECT_NEAR(kernels::ColumnNorm(2, large, 1), 5.0e200, 1.0e186);
    const double pair[] = {3.0, -4.0};
    EXPECT_EQ(kernels::ColumnNorm(2, pair, 1), 5.0);
}

// Runs the three kernels as the library chains them, on padded buffers.
struct KernelRun {
    Dense reduced, q, r;
    std::vector<double> c, d;
    std::vector<std::uint32_t> perm;
    bool intact;
};

KernelRun RunQr(const Dense &a, bool pivot) {
    const std::size_t m = a.m, n = a.n, steps = m > n ? n : m - 1;
    KernelRun out;
    Padded pa(a), pq(m, m, 4);
    out.c.assign(steps, 0.0);
    out.d.assign(std::min(m, n), 0.0);
    out.perm.assign(pivot ? n : 0, 0);
    std::vector<double> work(kernels::HouseholderFormQWorkspace(m));
    kernels::HouseholderQr(m, n, pa.Data(), pa.Ld(), pivot ? out.perm.data() : nullptr,
                           out.c.data(), out.d.data());
    out.reduced = pa.Contents();
    kernels::HouseholderFormQ(m, steps, pa.Data(), pa.Ld(), out.c.data(), pq.Data(), pq.Ld(),
                              work.data());
    kernels::HouseholderFinishR(m, n, pa.Data(), pa.Ld(), out.d.data());
    out.q = pq.Contents();
    out.r = pa.Contents();
    out.intact = pa.PaddingIntact() && pq.PaddingIntact();
    return out;
}

void ExpectSameBits(const std::vector<double> &got, const std::vector<double> &want,
                    const std::string &what) {
    Dense g(got.size(), 1), w(want.size(), 1);
    g.v = got;
    w.v = want;
    linalg_test::ExpectSameBits(g, w, what);
}

// Non-empty shapes, with zero lines, and tall enough (140 rows) for Q to be
// updated in two blocks of rows.
TEST(HouseholderQr, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes;
    for (const Shape &s : kShapes) {
        if (s.m > 0 && s.n > 0) shapes.push_back(s);
    }
    shapes.push_back({140, 3});
    shapes.push_back({1, 6});
    shapes.push_back({6, 1});
    for (const Shape &s : shapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            for (bool pivot : {false, true}) {
                const std::string what = ToString(s) + (pivot ? " pivoted" : "");
                const ref::QrParts want = ref::Qr(a, pivot);
                const KernelRun got = RunQr(a, pivot);
                linalg_test::ExpectSameBits(got.reduced, want.reduced, what + " reduced");
                ExpectSameBits(got.c, want.c, what + " c");
                ExpectSameBits(got.d, want.d, what + " d");
                if (pivot) {
                    EXPECT_EQ(got.perm, want.perm) << what;
                }
                linalg_test::ExpectSameBits(got.q, want.q, what + " Q");
                linalg_test::ExpectSameBits(got.r, want.r, what + " R");
                EXPECT_TRUE(got.intact) << what << ": padding written";
            }
        }
    }
}

// A zero column gives c = d = 0 and no reflection; the others carry on.
TEST(HouseholderQr, ZeroColumnIsSkipped) {
    Dense a(3, 2);
    a(0, 1) = 1.0;
    a(1, 1) = 2.0;
    a(2, 1) = 2.0;
    const KernelRun got = RunQr(a, false);
    EXPECT_EQ(got.c[0], 0.0);
    EXPECT_EQ(got.d[0], 0.0);
    EXPECT_EQ(got.r(0, 0), 0.0);
    EXPECT_NE(got.c[1], 0.0);
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            double s = 0.0;
            for (std::size_t p = 0; p < 3; ++p) s += got.q(p, i) * got.q(p, j);
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-15);
        }
    }
}

}  // namespace
