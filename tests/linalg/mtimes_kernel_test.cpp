// tests/linalg/mtimes_kernel_test.cpp: tests of the matrix product kernel on raw padded buffers.
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "linalg/kernels/mtimes_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

struct ProductShape {
    std::size_t m, k, n;
};

// Every tile edge (1..3 rows or columns left over), several passes over p
// (k > 256), several row blocks (m > 128), and empty sizes.
const std::vector<ProductShape> kProductShapes = {
    {1, 1, 1},   {2, 2, 2},  {3, 3, 3},    {7, 5, 6},    {5, 7, 9},    {33, 33, 33},
    {100, 100, 100}, {4, 300, 4}, {131, 260, 10}, {9, 513, 17}, {0, 3, 4}, {4, 3, 0},
    {4, 0, 3},   {0, 0, 0},  {1, 40, 40},  {40, 40, 1}};

Dense RunKernel(const Dense &a, const Dense &b, bool withWorkspace, bool &paddingIntact) {
    Padded pa(a, 2), pb(b, 5), pc(a.m, b.n, 3);
    std::vector<double> work(kernels::MatrixProductWorkspace(a.m, b.n, a.n));
    kernels::MatrixProduct(a.m, b.n, a.n, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(), pc.Data(),
                           pc.Ld(), withWorkspace && !work.empty() ? work.data() : nullptr);
    paddingIntact = pa.PaddingIntact() && pb.PaddingIntact() && pc.PaddingIntact();
    return pc.Contents();
}

TEST(MatrixProduct, SameBitsAsInOrderInnerProducts) {
    std::mt19937_64 rng(Seed());
    for (const ProductShape &s : kProductShapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.k, rng, fill);
            const Dense b = Random(s.k, s.n, rng, fill);
            const Dense want = ref::Mtimes(a, b);
            for (bool withWorkspace : {false, true}) {
                const std::string what = std::to_string(s.m) + "x" + std::to_string(s.k) + "*" +
                                         std::to_string(s.k) + "x" + std::to_string(s.n) +
                                         (withWorkspace ? " packed" : " in place");
                bool intact = false;
                ExpectSameBits(RunKernel(a, b, withWorkspace, intact), want, what);
                EXPECT_TRUE(intact) << what << ": padding written";
            }
        }
    }
}

// The sum starts from 0.0: a product of -0 gives +0, and an empty inner
// dimension gives +0 everywhere, whatever C held.
TEST(MatrixProduct, SumsStartFromPositiveZero) {
    const Dense a(2, 1, -0.0), b(1, 2, 3.0);
    bool intact = false;
    for (double x : RunKernel(a, b, false, intact).v) EXPECT_EQ(matrix_test::Bits(x), 0u);
    const Dense empty(3, 0), emptyB(0, 2);
    const Dense c = RunKernel(empty, emptyB, false, intact);
    EXPECT_TRUE(intact);
    ASSERT_EQ(c.v.size(), 6u);
    for (double x : c.v) EXPECT_EQ(matrix_test::Bits(x), 0u);
}

// No product is skipped: 0 * Inf is NaN, and Inf - Inf in the sum too.
TEST(MatrixProduct, NoSkippedProducts) {
    const double inf = std::numeric_limits<double>::infinity();
    Dense a(1, 2);
    a(0, 0) = 0.0;
    a(0, 1) = 1.0;
    Dense b(2, 1);
    b(0, 0) = inf;
    b(1, 0) = 1.0;
    bool intact = false;
    EXPECT_TRUE(std::isnan(RunKernel(a, b, false, intact).v[0]));
}

}  // namespace
