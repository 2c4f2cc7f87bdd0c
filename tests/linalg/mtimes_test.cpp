// tests/linalg/mtimes_test.cpp: the matrix product kernel on padded buffers and Mtimes.
#include <matrix/matrix.h>

#include <cmath>
#include <random>

#include "kernels/mtimes_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

// Every tile edge (1..7 rows or 1..3 columns left over), several passes
// over p (k > 256), several row blocks (m > 128), and empty sizes; with and
// without the packing workspace, on the fastest and the portable code.
TEST(MatrixProduct, SameBitsAsInOrderInnerProducts) {
    struct ProductShape {
        std::size_t m, k, n;
    };
    std::mt19937_64 rng(Seed());
    for (const ProductShape &s : std::vector<ProductShape>{
             {1, 1, 1},       {2, 2, 2},   {3, 3, 3},      {7, 5, 6},     {5, 7, 9}, {33, 33, 33},
             {100, 100, 100}, {4, 300, 4}, {131, 260, 10}, {9, 513, 17},  {0, 3, 4}, {4, 3, 0},
             {4, 0, 3},       {0, 0, 0},   {1, 40, 40},    {40, 40, 1},   {8, 8, 8}, {15, 300, 7},
             {140, 40, 9},    {8, 1, 4},   {1, 300, 19},   {150, 300, 1}, {24, 5, 1}}) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.k, rng, fill), b = Random(s.k, s.n, rng, fill);
            for (int variant = 0; variant < 4; ++variant) {
                const bool packed = variant % 2 == 1;
                const auto path =
                    variant < 2 ? kernels::KernelPath::kFastest : kernels::KernelPath::kPlain;
                const std::string what = std::to_string(s.m) + "x" + std::to_string(s.k) + "x" +
                                         std::to_string(s.n) + (packed ? " packed" : "") +
                                         (variant < 2 ? "" : " portable");
                Padded pa(a, 2), pb(b, 5), pc(s.m, s.n, 3);
                std::vector<double> work(kernels::MatrixProductWorkspace(s.m, s.n, s.k));
                kernels::MatrixProduct(s.m, s.n, s.k, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(),
                                       pc.Data(), pc.Ld(),
                                       packed && !work.empty() ? work.data() : nullptr, path);
                ExpectSameBits(pc.Contents(), ref::Mtimes(a, b), what);
                EXPECT_TRUE(pa.PaddingIntact() && pb.PaddingIntact() && pc.PaddingIntact()) << what;
            }
        }
    }
}

// C - A*B, C + A*B and C + A*B skipping the products whose element of A is
// 0.0, each product met with C's own element in increasing or decreasing p,
// against the literal loop. B holds infinities, so that a skipped 0*Inf
// would show.
TEST(MatrixProductUpdate, SameBitsAsOneProductAtATime) {
    struct ProductShape {
        std::size_t m, k, n;
    };
    using kernels::SumOrder;
    using kernels::UpdateSign;
    std::mt19937_64 rng(Seed());
    for (const ProductShape &s : std::vector<ProductShape>{{1, 1, 1},
                                                           {7, 5, 6},
                                                           {33, 64, 17},
                                                           {140, 300, 9},
                                                           {9, 3, 0},
                                                           {5, 0, 4},
                                                           {1, 263, 29}}) {
        const Dense a = Random(s.m, s.k, rng, Fill::kZeroLine);
        Dense b = Random(s.k, s.n, rng);
        for (std::size_t q = 0; q < b.v.size(); q += 7) b.v[q] = -INFINITY;
        const Dense c0 = Random(s.m, s.n, rng);
        for (int variant = 0; variant < 24; ++variant) {
            const UpdateSign sign = static_cast<UpdateSign>(variant % 3);
            const bool packed = variant / 3 % 2 == 1;
            const auto path =
                variant / 6 % 2 == 0 ? kernels::KernelPath::kFastest : kernels::KernelPath::kPlain;
            const SumOrder order = variant < 12 ? SumOrder::kIncreasing : SumOrder::kDecreasing;
            Dense want = c0;
            for (std::size_t j = 0; j < s.n; ++j) {
                for (std::size_t i = 0; i < s.m; ++i) {
                    double x = c0.v[i + j * s.m];
                    for (std::size_t q = 0; q < s.k; ++q) {
                        const std::size_t p = order == SumOrder::kIncreasing ? q : s.k - 1 - q;
                        const double ai = a.v[i + p * s.m];
                        const double t = ai * b.v[p + j * s.k];
                        if (sign == UpdateSign::kSubtract) {
                            x = x - t;
                        } else if (sign == UpdateSign::kAdd || ai != 0.0) {
                            x = x + t;
                        }
                    }
                    want.v[i + j * s.m] = x;
                }
            }
            Padded pa(a, 2), pb(b, 5), pc(c0, 3);
            std::vector<double> work(kernels::MatrixProductWorkspace(s.m, s.n, s.k));
            kernels::MatrixProductUpdate(
                s.m, s.n, s.k, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(), pc.Data(), pc.Ld(),
                packed && !work.empty() ? work.data() : nullptr, sign, order, path);
            const std::string what = std::to_string(s.m) + "x" + std::to_string(s.k) + "x" +
                                     std::to_string(s.n) + " variant " + std::to_string(variant);
            ExpectSameBits(pc.Contents(), want, what);
            EXPECT_TRUE(pa.PaddingIntact() && pb.PaddingIntact() && pc.PaddingIntact()) << what;
        }
    }
}

// Through the function on the shared shapes; one-element operands follow
// the scalar rule instead.
TEST(Mtimes, SameBitsAsInOrderInnerProducts) {
    std::mt19937_64 rng(Seed());
    for (const Shape &sa : kShapes) {
        for (unsigned int n : {0u, 3u, 40u}) {
            const Dense a = Random(sa.m, sa.n, rng, Fill::kZeroLine), b = Random(sa.n, n, rng);
            if (a.v.size() == 1) continue;
            const ArrayPtr c(Mtimes(ToArray(a).get(), ToArray(b).get()));
            ExpectSameBits(c.get(), ref::Mtimes(a, b),
                           ToString(sa) + " times n=" + std::to_string(n));
        }
    }
}

TEST(Mtimes, WorkedExamples) {
    const ArrayPtr c(
        Mtimes(Matrix(2, 3, {1, 4, 2, 5, 3, 6}).get(), Matrix(3, 2, {7, 9, 11, 8, 10, 12}).get()));
    EXPECT_EQ(Dims(c.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(c.get()), (std::vector<double>{58, 139, 64, 154}));
    // No product is skipped: 0 * Inf is NaN. A logical operand gives a double result.
    ArrayPtr l = Matrix(1, 2, {0, 1});
    l->SetLogical();
    const ArrayPtr n(Mtimes(l.get(), Matrix(2, 1, {kInf, 1}).get()));
    EXPECT_TRUE(std::isnan(Values(n.get())[0]));
    EXPECT_FALSE(mxIsLogical(n.get()));
    // A one-element operand multiplies element-wise, whatever the other's shape.
    ArrayPtr nd = Array({2, 3, 4});
    for (unsigned int i = 0; i < 24; ++i) mxGetPr(nd.get())[i] = i;
    const ArrayPtr s = Matrix(1, 1, {2});
    for (const ArrayPtr &r :
         {ArrayPtr(Mtimes(s.get(), nd.get())), ArrayPtr(Mtimes(nd.get(), s.get()))}) {
        EXPECT_EQ(Dims(r.get()), (DimList{2, 3, 4}));
        for (unsigned int i = 0; i < 24; ++i) EXPECT_EQ(mxGetPr(r.get())[i], 2.0 * i);
    }
}

// Empty inner dimensions give +0 everywhere (sums start from 0.0).
TEST(Mtimes, EmptyShapes) {
    struct Case {
        DimList a, b, result;
    };
    for (const Case &t : std::vector<Case>{{{2, 0}, {3, 4}, {0, 0}},
                                           {{2, 3}, {0, 4}, {0, 0}},
                                           {{3, 0}, {0, 4}, {3, 4}},
                                           {{0, 5}, {5, 2}, {0, 2}},
                                           {{3, 5}, {5, 0}, {3, 0}},
                                           {{1, 1}, {0, 3}, {0, 3}}}) {
        const ArrayPtr a = Array(t.a), b = Array(t.b);
        std::fill_n(mxGetPr(a.get()), a->GetNoElems(), -0.0);
        std::fill_n(mxGetPr(b.get()), b->GetNoElems(), 1.0);
        const ArrayPtr c(Mtimes(a.get(), b.get()));
        EXPECT_EQ(Dims(c.get()), t.result);
        for (double x : Values(c.get())) EXPECT_EQ(Bits(x), 0u);
    }
}

// The classes of both operands, then N-d arrays, then the inner dimensions.
TEST(Mtimes, RefusesInOrder) {
    const ArrayPtr d = Matrix(2, 2, {1, 2, 3, 4}), single = Array({2, 2}, mxClassSingle);
    const ArrayPtr cplx = Array({1, 1}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr ndInt = Array({2, 2, 2}, mxClassInt8), nd = Array({2, 2, 2});
    const ArrayPtr m23 = Array({2, 3}), m34 = Array({3, 4}), m45 = Array({4, 5});
    struct Case {
        const CMatrix *a, *b;
        Error error;
    };
    for (const Case &t : std::vector<Case>{{d.get(), single.get(), Error::kNotImplemented},
                                           {cplx.get(), d.get(), Error::kNotImplemented},
                                           {ndInt.get(), d.get(), Error::kNotImplemented},
                                           {m34.get(), nd.get(), Error::kNDArray},
                                           {m23.get(), m45.get(), Error::kInnerDims}}) {
        ExpectRefusal([&] { Mtimes(t.a, t.b); }, t.error, {t.a, t.b});
    }
}

TEST(Mtimes, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    const ArrayPtr a = ToArray(Random(40, 50, rng)), b = ToArray(Random(50, 30, rng));
    EXPECT_GT(FailurePoints([&] { return Mtimes(a.get(), b.get()); }, {a.get(), b.get()}), 1);
}

}  // namespace
