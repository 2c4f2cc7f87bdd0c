// tests/kernels/kernel_paths_test.cpp: every kernel's fast path against its plain one, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

#include "kernels/chol_kernel.h"
#include "kernels/eig_kernel.h"
#include "kernels/exp_kernel.h"
#include "kernels/lu_classes.h"
#include "kernels/lu_kernel.h"
#include "kernels/mldivide_kernel.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/mtimes_single.h"
#include "kernels/norm_kernel.h"
#include "kernels/parallel.h"
#include "kernels/qr_kernel.h"
#include "kernels/svd_kernel.h"
#include "kernels/transpose_kernel.h"
#include "support/matrix_test.h"

namespace {

namespace kernels = kiv::matrix::kernels;
using kernels::KernelPath;

// Sizes on both sides of every block edge: the recursion leaf of the
// factorisations (16, halved from 33 and 65), the portable 4 x 4 and wide
// 8 x 4 tiles, the 16-row wide column, the 12-column wide row, the passes
// of 256 products and blocks of 128 rows of the product, its AVX-512
// 32 x 6 tiles (rows in registers of 8, operands read in place up to 4096
// elements), blocks of 192 rows and 1020 packed columns, and the 8 x 8 micro tiles and 64-row strips of the
// transpose. Square kernels take m; 261 halves the Cholesky update's
// 131-row square twice, into odd parts on both sides of 64 rows, and
// leaves elimination blocks of 8, 9 and 16 columns, taken four steps at a
// time.
struct Shape {
    std::size_t m, n, k;
};
constexpr Shape kShapes[] = {
    {1, 1, 1},     {1, 12, 5},    {1, 13, 257},   {1, 25, 3},     {2, 3, 2},      {4, 4, 4},
    {5, 7, 9},     {8, 4, 16},    {9, 5, 17},     {15, 1, 33},    {16, 1, 40},    {17, 2, 7},
    {31, 9, 32},   {32, 8, 32},   {33, 33, 33},   {40, 12, 64},   {64, 65, 65},   {65, 64, 31},
    {127, 9, 40},  {128, 8, 257}, {129, 13, 256}, {130, 20, 300}, {7, 11, 255},   {23, 6, 150},
    {97, 17, 129}, {191, 7, 64},  {192, 12, 256}, {193, 18, 513}, {9, 1021, 257}, {36, 1027, 40},
    {64, 64, 64},  {16, 16, 256}, {8, 13, 257},   {261, 3, 9}};

// Padding is a NaN no kernel produces, so a stray write shows.
constexpr std::uint64_t kPad = 0x7FF4BAD0BAD0BAD0ULL;

// A column-major m x n matrix with leading dimension m + 3.
struct Padded {
    std::size_t m, n, ld;
    std::vector<double> v;
    Padded(std::size_t rows, std::size_t columns)
        : m(rows), n(columns), ld(rows + 3), v(ld * std::max<std::size_t>(columns, 1), Pad()) {}
    static double Pad() { return matrix_test::FromBits(kPad); }
    double &operator()(std::size_t i, std::size_t j) { return v[i + j * ld]; }
    double *Data() { return v.data(); }
    const double *Data() const { return v.data(); }
};

// Random values; with `special`, about one in six is a signed zero, an
// infinity or the library's NaN.
Padded Random(std::size_t m, std::size_t n, std::mt19937_64 &rng, bool special) {
    const double kInf = std::numeric_limits<double>::infinity();
    const double specials[] = {0.0, -0.0, kInf, -kInf, matrix_test::special::kNaN};
    std::normal_distribution<double> normal;
    std::uniform_int_distribution<int> pick(0, 29);
    Padded a(m, n);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < m; ++i) {
            const int p = pick(rng);
            a(i, j) = special && p < 5 ? specials[p] : normal(rng);
        }
    }
    return a;
}

// Same bits, padding included, except that two NaNs other than the padding
// match unless `exact`: where two NaNs meet, which one's sign and payload
// survive is left open.
bool Same(const std::vector<double> &x, const std::vector<double> &y, bool exact = false) {
    if (x.size() != y.size()) return false;
    for (std::size_t k = 0; k < x.size(); ++k) {
        const bool same = std::memcmp(&x[k], &y[k], sizeof(double)) == 0;
        const bool pad = matrix_test::Bits(x[k]) == kPad || matrix_test::Bits(y[k]) == kPad;
        if (!same && (exact || pad || !std::isnan(x[k]) || !std::isnan(y[k]))) return false;
    }
    return true;
}

std::string Name(const Shape &s, bool special) {
    return ::testing::PrintToString(std::vector<std::size_t>{s.m, s.n, s.k}) +
           (special ? " with zeros, Inf and NaN" : "");
}

// RUL2MTRX_ISA only narrows: `avx2` holds an AVX-512 machine to AVX2,
// `portable` any machine to the plain paths; other texts change nothing.
TEST(KernelPaths, VectorWidthFromEnvironment) {
    using kernels::VectorWidth;
    using kernels::WidthFromEnvironment;
    const VectorWidth w512 = VectorWidth::kAvx512, w2 = VectorWidth::kAvx2, none = VectorWidth::kPortable;
    EXPECT_EQ(WidthFromEnvironment(nullptr, w512), w512);
    EXPECT_EQ(WidthFromEnvironment("avx2", w512), w2);
    EXPECT_EQ(WidthFromEnvironment("avx2", none), none);
    EXPECT_EQ(WidthFromEnvironment("portable", w512), none);
    EXPECT_EQ(WidthFromEnvironment("portable", w2), none);
    EXPECT_EQ(WidthFromEnvironment("avx512", w2), w2);
    EXPECT_EQ(WidthFromEnvironment("AVX2", w512), w512);
}

// Form 0 is C = A*B from 0.0; forms 1 to 6 update C by A*B with each sign
// in increasing and in decreasing order. Each on the in-place and the
// packed A, by the fastest path and by the AVX2 one, against the portable
// tiles.
TEST(KernelPaths, ProductMatchesPortableTiles) {
    using kernels::UpdateSign;
    const UpdateSign signs[] = {UpdateSign::kAdd, UpdateSign::kSubtract,
                                UpdateSign::kAddUnlessZero};
    // Beside the common shapes, products with one to seven columns around
    // the blocks of rows that the column sweeps take and share among the
    // threads, and around the sizes of A from which they are swept; and
    // packed products whose last panel of rows is five to seven high.
    std::vector<Shape> shapes(std::begin(kShapes), std::end(kShapes));
    for (const Shape &s :
         {Shape{511, 1, 40}, Shape{512, 1, 300}, Shape{1025, 1, 1030}, Shape{2100, 1, 600},
          Shape{256, 3, 256}, Shape{257, 2, 256}, Shape{513, 7, 130}, Shape{1030, 4, 300},
          Shape{31, 1, 2000}, Shape{32, 3, 3000}, Shape{199, 10, 300}, Shape{45, 50, 400},
          Shape{70, 9, 270}})
        shapes.push_back(s);
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : shapes) {
        for (bool special : {false, true}) {
            const Padded a = Random(s.m, s.k, rng, special), b = Random(s.k, s.n, rng, special);
            const Padded c = Random(s.m, s.n, rng, special);
            std::vector<double> work(kernels::MatrixProductWorkspace(s.m, s.n, s.k));
            for (int form = 0; form < 14; ++form) {
                double *w = form >= 7 && !work.empty() ? work.data() : nullptr;
                auto run = [&](KernelPath path) {
                    Padded z = c;
                    if (form % 7 == 0) {
                        kernels::MatrixProduct(s.m, s.n, s.k, a.Data(), a.ld, b.Data(), b.ld,
                                               z.Data(), z.ld, w, path);
                    } else {
                        const auto order = form % 2 == 1 ? kernels::SumOrder::kIncreasing
                                                         : kernels::SumOrder::kDecreasing;
                        kernels::MatrixProductUpdate(s.m, s.n, s.k, a.Data(), a.ld, b.Data(), b.ld,
                                                     z.Data(), z.ld, w, signs[(form % 7 - 1) / 2],
                                                     order, path);
                    }
                    return z;
                };
                const std::vector<double> plain = run(KernelPath::kPlain).v;
                EXPECT_TRUE(Same(run(KernelPath::kFastest).v, plain))
                    << Name(s, special) << " form " << form;
                EXPECT_TRUE(Same(run(KernelPath::kAvx2).v, plain))
                    << Name(s, special) << " form " << form << " AVX2";
            }
        }
    }
}

// The float product: C = A*B and the three updates, by the AVX-512 and the
// AVX2 tiles against the portable ones, over the common shapes and around
// the float tiles' 16- and 64-row panels and 256-row blocks. The padding
// of C (a float NaN no kernel makes) shows a stray write.
TEST(KernelPaths, FloatProductMatchesPortableTiles) {
    using kernels::UpdateSign;
    std::vector<Shape> shapes(std::begin(kShapes), std::end(kShapes));
    for (const Shape &s : {Shape{63, 7, 300}, Shape{80, 25, 20}, Shape{257, 30, 513}})
        shapes.push_back(s);
    std::mt19937_64 rng(matrix_test::Seed());
    const float pad = std::numeric_limits<float>::signaling_NaN();
    auto floats = [&](std::size_t m, std::size_t n, bool special) {
        const Padded d = Random(m, n, rng, special);
        std::vector<float> f(d.v.size(), pad);
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < m; ++i) f[i + j * d.ld] = static_cast<float>(d.v[i + j * d.ld]);
        return f;
    };
    for (const Shape &s : shapes) {
        for (bool special : {false, true}) {
            const std::vector<float> a = floats(s.m, s.k, special), b = floats(s.k, s.n, special),
                                     c = floats(s.m, s.n, special);
            for (int form = 0; form < 4; ++form) {
                auto run = [&](KernelPath path) {
                    std::vector<float> z = c;
                    if (form == 0) {
                        kernels::MatrixProduct(s.m, s.n, s.k, a.data(), s.m + 3, b.data(), s.k + 3,
                                               z.data(), s.m + 3, path);
                    } else {
                        const UpdateSign sign = form == 1   ? UpdateSign::kAdd
                                                : form == 2 ? UpdateSign::kSubtract
                                                            : UpdateSign::kAddUnlessZero;
                        kernels::MatrixProductUpdate(s.m, s.n, s.k, a.data(), s.m + 3, b.data(),
                                                     s.k + 3, z.data(), s.m + 3, sign, path);
                    }
                    return z;
                };
                // As Same: equal bits, or two NaNs neither of which is the padding.
                auto same = [&](const std::vector<float> &x, const std::vector<float> &y) {
                    for (std::size_t q = 0; q < x.size(); ++q) {
                        const bool equal = std::memcmp(&x[q], &y[q], sizeof(float)) == 0;
                        const bool padded = std::memcmp(&x[q], &pad, sizeof(float)) == 0 ||
                                            std::memcmp(&y[q], &pad, sizeof(float)) == 0;
                        if (!equal && (padded || !std::isnan(x[q]) || !std::isnan(y[q])))
                            return false;
                    }
                    return true;
                };
                const std::vector<float> plain = run(KernelPath::kPlain);
                EXPECT_TRUE(same(run(KernelPath::kFastest), plain))
                    << Name(s, special) << " float form " << form;
                EXPECT_TRUE(same(run(KernelPath::kAvx2), plain))
                    << Name(s, special) << " float form " << form << " AVX2";
            }
        }
    }
}

// A contiguous row (the leading dimension of a 1 x k matrix is 1) times at
// least eight columns of B takes the columns' sums in vector lanes: whole
// and partial groups of sixteen columns, lengths around the blocks of
// eight, and fewer columns, which keep the row tiles.
TEST(KernelPaths, RowProductMatchesPortableTiles) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (std::size_t n : {1u, 7u, 8u, 16u, 17u, 40u}) {
        for (std::size_t k : {1u, 8u, 9u, 300u}) {
            for (bool special : {false, true}) {
                const Padded a = Random(1, k, rng, special), b = Random(k, n, rng, special);
                std::vector<double> row(k);
                for (std::size_t p = 0; p < k; ++p) row[p] = a.v[p * a.ld];
                auto run = [&](KernelPath path) {
                    Padded z(1, n);
                    kernels::MatrixProduct(1, n, k, row.data(), 1, b.Data(), b.ld, z.Data(), z.ld,
                                           nullptr, path);
                    return z.v;
                };
                EXPECT_TRUE(Same(run(KernelPath::kFastest), run(KernelPath::kPlain)))
                    << "1x" << k << " by " << k << "x" << n << (special ? " special" : "");
            }
        }
    }
}

// The recursion against the whole matrix worked column by column; the
// special inputs also get an all-zero first column, whose pivot is patched.
TEST(KernelPaths, LuCroutMatchesColumnByColumn) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        for (bool special : {false, true}) {
            Padded a = Random(s.m, s.m, rng, special);
            if (special) {
                for (std::size_t i = 0; i < s.m; ++i) a(i, 0) = 0.0;
            }
            std::vector<std::int32_t> ipiv[2] = {std::vector<std::int32_t>(s.m), {}};
            ipiv[1] = ipiv[0];
            std::vector<double> scale[2] = {std::vector<double>(s.m), std::vector<double>(s.m)};
            Padded lu[2] = {a, a};
            int parity[2] = {0, 0};
            std::size_t status[2];
            for (int plain = 0; plain < 2; ++plain) {
                status[plain] = kernels::LuCrout(s.m, lu[plain].Data(), a.ld, ipiv[plain].data(),
                                                 parity[plain], scale[plain].data(),
                                                 plain ? KernelPath::kPlain : KernelPath::kFastest);
            }
            const std::string what = Name(s, special);
            EXPECT_TRUE(Same(lu[0].v, lu[1].v) && Same(scale[0], scale[1])) << what;
            EXPECT_TRUE(ipiv[0] == ipiv[1] && parity[0] == parity[1]) << what;
            EXPECT_TRUE(status[0] == status[1] && status[0] == (special ? 1u : 0u)) << what;

            // For a determinant: U, its padding, ipiv and parity the same;
            // the multipliers are not compared.
            Padded upper = a;
            std::vector<std::int32_t> upperPivots(s.m);
            int upperParity = 0;
            const std::size_t upperStatus = kernels::LuCrout(
                s.m, upper.Data(), a.ld, upperPivots.data(), upperParity, scale[0].data(),
                KernelPath::kFastest, kernels::LuWanted::kDiagonal);
            for (std::size_t j = 0; j < s.m; ++j) {
                for (std::size_t i = j + 1; i < s.m; ++i) upper(i, j) = lu[1](i, j) = 0.0;
            }
            EXPECT_TRUE(Same(upper.v, lu[1].v)) << what;
            EXPECT_TRUE(upperPivots == ipiv[1] && upperParity == parity[1]) << what;
            EXPECT_EQ(upperStatus, status[1]) << what;
        }
    }
}

// The blocked elimination against the unblocked one, and its solve with n
// right-hand sides against GaussSolve, which eliminates and solves in one
// pass (their NaNs may differ in sign and payload, as documented). Besides
// random matrices, one whose every third column has nothing below the
// diagonal (all its multipliers 0.0) and a few infinities to their right:
// the blocked updates must skip those zero multipliers, as the steps do,
// or the infinities turn whole columns into NaN.
TEST(KernelPaths, GaussFactorMatchesOnePassElimination) {
    std::mt19937_64 rng(matrix_test::Seed());
    auto check = [](const Padded &a, const Padded &b, const std::string &what) {
        const std::size_t m = a.m, n = b.n;
        Padded fast = a, plain = a;
        std::vector<std::size_t> pivot(m), plainPivot(m);
        std::vector<double> r(m), plainR(m);
        kernels::GaussFactor(m, fast.Data(), fast.ld, pivot.data(), r.data());
        kernels::GaussFactor(m, plain.Data(), plain.ld, plainPivot.data(), plainR.data(),
                             KernelPath::kPlain);
        EXPECT_TRUE(Same(fast.v, plain.v) && Same(r, plainR) && pivot == plainPivot) << what;

        Padded rhs = b, x(m, n), onePassA = a, onePassB = b, onePassX(m, n);
        kernels::GaussSolveFactored(m, n, fast.Data(), fast.ld, pivot.data(), r.data(), rhs.Data(),
                                    rhs.ld, x.Data(), x.ld);
        kernels::GaussSolve(m, n, onePassA.Data(), onePassA.ld, onePassB.Data(), onePassB.ld,
                            onePassX.Data(), onePassX.ld);
        EXPECT_TRUE(Same(x.v, onePassX.v)) << what << " solve";

        Padded ab(m, m + n), augmentedX(m, n);
        std::copy(a.v.begin(), a.v.begin() + a.ld * m, ab.v.begin());
        std::copy(b.v.begin(), b.v.begin() + b.ld * n, ab.v.begin() + ab.ld * m);
        kernels::GaussSolveAugmented(m, n, ab.Data(), ab.ld, pivot.data(), r.data(),
                                     augmentedX.Data(), augmentedX.ld);
        EXPECT_TRUE(Same(augmentedX.v, onePassX.v) && Same(r, plainR) && pivot == plainPivot)
            << what << " augmented";
    };
    for (const Shape &s : kShapes) {
        for (bool special : {false, true}) {
            check(Random(s.m, s.m, rng, special), Random(s.m, s.n, rng, special), Name(s, special));
        }
    }
    for (std::size_t m : {40, 300}) {
        Padded a = Random(m, m, rng, false);
        for (std::size_t j = 0; j < m; j += 3) {
            for (std::size_t i = j + 1; i < m; ++i) a(i, j) = 0.0;
            a(j, j) = 4.0;
        }
        a(0, m - 2) = std::numeric_limits<double>::infinity();
        a(3, m / 2 + 1) = -std::numeric_limits<double>::infinity();
        check(a, Random(m, 5, rng, false), "zero multipliers, order " + std::to_string(m));
    }
}

// The exponential: every path gives ExpOf's bits on every element, in
// place too, over the whole range (overflow, subnormal results, underflow
// to zero, the edges of the vector range, NaN, +-Inf, -0) and at lengths
// that leave every tail; ExpOf gives the correctly rounded values computed
// once with mpmath at 200 bits.
TEST(KernelPaths, ExpSameOnEveryPath) {
    const double kInf = std::numeric_limits<double>::infinity();
    std::vector<double> x = {0.0, -0.0, kInf, -kInf, matrix_test::special::kNaN, -std::nan(""),
                             709.782712893384, 709.7827128933841, 709.7, 709.70000000000005,
                             -708.3, -708.30000000000007, -708.39641853226408, -745.1332191019411,
                             -745.13321910194122, -746.0, -745.99999999999989, 710.0, -1e-300,
                             4.9e-324, 1e-17, -1e-17, -800.0};
    std::mt19937_64 rng(matrix_test::Seed());
    std::uniform_real_distribution<double> all(-747.0, 711.0), small(-1.0, 1.0), edge(-746.0, -700.0);
    for (int i = 0; i < 3000; ++i) {
        x.push_back(all(rng));
        x.push_back(small(rng));
        x.push_back(edge(rng));
    }
    for (std::size_t n : {x.size(), std::size_t{1}, std::size_t{7}, std::size_t{13}}) {
        std::vector<double> plain(n), avx2(n), fastest(n), inPlace(x.begin(), x.begin() + n);
        kernels::ExpArray(n, x.data(), plain.data(), KernelPath::kPlain);
        kernels::ExpArray(n, x.data(), avx2.data(), KernelPath::kAvx2);
        kernels::ExpArray(n, x.data(), fastest.data());
        kernels::ExpArray(n, inPlace.data(), inPlace.data());
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t want = matrix_test::Bits(plain[i]);
            ASSERT_TRUE(want == matrix_test::Bits(avx2[i]) && want == matrix_test::Bits(fastest[i]) &&
                        want == matrix_test::Bits(inPlace[i]))
                << std::hexfloat << x[i];
        }
    }
    const struct { double x, want; } oracle[] = {
        {-0x1.7490a3d70a3d7p+9, 0x0.0000000000001p-1022},
        {-0x1.7440000000000p+9, 0x0.0000000000001p-1022},
        {-0x1.7220000000000p+9, 0x0.0000000000042p-1022},
        {-0x1.6840000000000p+9, 0x0.00005cf08fff0p-1022},
        {-0x1.6233333333333p+9, 0x0.ff15b469edf89p-1022},
        {-0x1.6226666666666p+9, 0x1.19e98b83de7a3p-1022},
        {-0x1.9100000000000p+6, 0x1.4acd31e167ebbp-145},
        {-0x1.44ccccccccccdp+4, 0x1.a3b8dc86d1c8fp-30},
        {-0x1.0000000000000p+0, 0x1.78b56362cef38p-2},
        {-0x1.4f8b588e368f1p-17, 0x1.fffeb07515653p-1},
        {0x1.b7cdfd9d7bdbbp-34, 0x1.000000006df38p+0},
        {0x1.0000000000000p-1, 0x1.a61298e1e069cp+0},
        {0x1.4000000000000p+1, 0x1.85d6fd931e0bbp+3},
        {0x1.4000000000000p+3, 0x1.5829dcf950560p+14},
        {0x1.62ccccccccccdp+6, 0x1.f4705bbffae5cp+127},
        {0x1.2c1999999999ap+8, 0x1.ef839024b01d7p+432},
        {0x1.5e00000000000p+9, 0x1.d945df4f8ec8ep+1009},
        {0x1.62e3d70a3d70ap+9, 0x1.fe9ce5c4c52b4p+1023},};
    for (const auto &o : oracle) EXPECT_EQ(kernels::ExpOf(o.x), o.want) << std::hexfloat << o.x;
    EXPECT_EQ(kernels::ExpOf(710.0), kInf);
    EXPECT_TRUE(std::isnan(kernels::ExpOf(matrix_test::special::kNaN)));
    EXPECT_EQ(matrix_test::Bits(kernels::ExpOf(-kInf)), 0u);
    EXPECT_EQ(matrix_test::Bits(kernels::ExpOf(-746.0)), 0u);
}

// Substitution with a triangle of either side: the blocked solve of m x n
// right-hand sides, on the fastest and the AVX2 paths, against one column
// at a time. The other triangle holds NaNs that must never be read.
TEST(KernelPaths, TriangularSolveMatchesColumnByColumn) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        for (bool special : {false, true}) {
            for (bool lower : {false, true}) {
                Padded t = Random(s.m, s.m, rng, special);
                for (std::size_t j = 0; j < s.m; ++j) {
                    for (std::size_t i = 0; i < s.m; ++i) {
                        if (lower ? i < j : i > j) t(i, j) = matrix_test::special::kNaN;
                        if (i == j && !special) t(i, j) += t(i, j) < 0 ? -4.0 : 4.0;
                    }
                }
                const Padded b = Random(s.m, s.n, rng, special);
                Padded plain(s.m, s.n);
                kernels::TriangularSolve(s.m, s.n, lower, t.Data(), t.ld, b.Data(), b.ld,
                                         plain.Data(), plain.ld, KernelPath::kPlain);
                for (KernelPath path : {KernelPath::kFastest, KernelPath::kAvx2}) {
                    Padded x(s.m, s.n);
                    kernels::TriangularSolve(s.m, s.n, lower, t.Data(), t.ld, b.Data(), b.ld,
                                             x.Data(), x.ld, path);
                    EXPECT_TRUE(Same(x.v, plain.v, !special))
                        << Name(s, special) << (lower ? " lower" : " upper");
                }
            }
        }
    }
}

// The recursion against the whole matrix worked row by row, on symmetric
// positive definite matrices (diagonally dominant), ones with special
// values, and ones that fail at row m/2; after a failure only the rows
// above it and the zeros below the diagonal are compared.
TEST(KernelPaths, CholeskyMatchesRowByRow) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        for (int variant = 0; variant < 3; ++variant) {
            Padded a = Random(s.m, s.m, rng, variant == 1);
            for (std::size_t j = 0; j < s.m; ++j) {
                a(j, j) = variant == 2 && j == s.m / 2 ? -1.0 : 2.0 * s.m;
                for (std::size_t i = 0; i < j; ++i) a(j, i) = a(i, j);
            }
            auto factor = [&](KernelPath path, Padded &r) {
                return kernels::CholeskyUpper(s.m, a.Data(), a.ld, r.Data(), r.ld, path);
            };
            Padded fast(s.m, s.m), plain(s.m, s.m);
            const std::size_t status = factor(KernelPath::kFastest, fast);
            const std::string what = Name(s, variant == 1) + " variant " + std::to_string(variant);
            EXPECT_EQ(status, factor(KernelPath::kPlain, plain)) << what;
            EXPECT_TRUE(variant == 1 || status == (variant == 2 ? s.m / 2 + 1 : 0u)) << what;
            const std::size_t rows = status == 0 ? s.m : status - 1;
            for (std::size_t j = 0; j < s.m; ++j) {
                for (std::size_t i = rows; i <= j && i < s.m; ++i) fast(i, j) = plain(i, j) = 0.0;
            }
            EXPECT_TRUE(Same(fast.v, plain.v)) << what;
        }
    }
}

// Where the target columns of a transpose start: on cache lines (so that
// forcing the streaming stores takes effect), a multiple of 256 elements
// apart (the diagonal walk), or off the lines, each column at another
// offset (the realigning path).
enum class Layout { kLines, kSkewed, kShifted };

// The n x m transpose of a into a padded buffer laid out as `layout` says:
// by TransposePlain (form 0), or by TransposeBlocked streaming from any size
// (form 1), never (form 2), or from this result's size but not from twice
// it (form 3, which keeps the narrow strips out). Returns the buffer from
// the first column on.
template <bool kFlipSign>
std::vector<double> Transposed(const Padded &a, int form, Layout layout) {
    const std::size_t ldb = layout == Layout::kSkewed    ? (a.n / 256 + 1) * 256
                            : layout == Layout::kShifted ? a.n + 3
                                                         : (a.n + 7) / 8 * 8;
    std::vector<double> buffer(ldb * a.m + 16, Padded::Pad());
    double *b = buffer.data() +
                (64 - reinterpret_cast<std::uintptr_t>(buffer.data()) % 64) % 64 / 8 +
                (layout == Layout::kShifted ? 1 : 0);
    if (form == 0) kernels::TransposePlain<kFlipSign>(a.m, a.n, a.Data(), a.ld, b, ldb);
    if (form != 0) {
        const std::size_t bytes = 8 * a.m * ldb;
        kernels::TransposeBlocked<kFlipSign>(a.m, a.n, a.Data(), a.ld, b, ldb,
                                             form == 1   ? 0
                                             : form == 3 ? bytes
                                                         : ~std::size_t{0});
    }
    return std::vector<double>(b, b + ldb * a.m + 7);
}

TEST(KernelPaths, TransposeMatchesPlain) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        const Padded a = Random(s.m, s.n, rng, true);
        for (int form : {1, 2, 3}) {
            for (Layout layout : {Layout::kLines, Layout::kSkewed, Layout::kShifted}) {
                const std::string what = Name(s, true) + " form " + std::to_string(form) +
                                         " layout " + std::to_string(static_cast<int>(layout));
                EXPECT_TRUE(
                    Same(Transposed<false>(a, 0, layout), Transposed<false>(a, form, layout), true))
                    << what;
                EXPECT_TRUE(
                    Same(Transposed<true>(a, 0, layout), Transposed<true>(a, form, layout), true))
                    << what << " conjugating";
            }
        }
    }
}

// The fast order's QR kernels with vector code against their scalar
// loops: the factorisation with and without pivoting, Q, Q'*B, and the
// dot products on every length around the 16 partial sums and the
// 4-element vectors.
TEST(KernelPaths, FastOrderQrMatchesScalarLoops) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        for (bool special : {false, true}) {
            const Padded a = Random(s.m, s.n, rng, special), b = Random(s.m, s.k, rng, special);
            const std::size_t steps = s.m > s.n ? s.n : s.m - 1;
            for (bool pivot : {false, true}) {
                struct Result {
                    Padded r, q, qtb;
                    std::vector<double> c, d;
                    std::vector<std::uint32_t> perm;
                    Padded qb, qi;
                };
                auto run = [&](KernelPath path) {
                    Result x{a,
                             Padded(s.m, s.m),
                             b,
                             std::vector<double>(steps),
                             std::vector<double>(std::min(s.m, s.n)),
                             std::vector<std::uint32_t>(s.n),
                             b,
                             Padded(s.m, s.m)};
                    std::vector<double> work(kernels::HouseholderQrFastWorkspace(s.n));
                    kernels::HouseholderQrFast(s.m, s.n, x.r.Data(), x.r.ld,
                                               pivot ? x.perm.data() : nullptr, x.c.data(),
                                               x.d.data(), work.data(), path);
                    std::vector<double> formq(kernels::HouseholderFormQFastWorkspace(s.m));
                    kernels::HouseholderFormQFast(s.m, steps, x.r.Data(), x.r.ld, x.c.data(),
                                                  x.q.Data(), x.q.ld, formq.data(), path);
                    kernels::HouseholderApplyQtFast(s.m, steps, x.r.Data(), x.r.ld, x.c.data(), s.k,
                                                    x.qtb.Data(), x.qtb.ld, path);
                    // Q applied to B in blocks, and to the identity: the
                    // formed Q itself when nothing is infinite or NaN.
                    for (std::size_t j = 0; j < s.m; ++j) {
                        for (std::size_t i = 0; i < s.m; ++i) x.qi(i, j) = i == j ? 1.0 : 0.0;
                    }
                    std::vector<double> applyq(
                        kernels::HouseholderApplyQFastWorkspace(s.m, std::max(s.k, s.m)));
                    kernels::HouseholderApplyQFast(s.m, steps, x.r.Data(), x.r.ld, x.c.data(), s.k,
                                                   x.qb.Data(), x.qb.ld, applyq.data(), path);
                    kernels::HouseholderApplyQFast(s.m, steps, x.r.Data(), x.r.ld, x.c.data(), s.m,
                                                   x.qi.Data(), x.qi.ld, applyq.data(), path);
                    return x;
                };
                const Result fastest = run(KernelPath::kFastest), plain = run(KernelPath::kPlain);
                const std::string what = Name(s, special) + (pivot ? " pivoted" : "");
                EXPECT_TRUE(Same(fastest.qb.v, plain.qb.v)) << what;
                EXPECT_TRUE(Same(fastest.qi.v, plain.qi.v)) << what;
                if (!special) {
                    EXPECT_EQ(matrix_test::BitsOf(fastest.qi.v), matrix_test::BitsOf(fastest.q.v))
                        << what;
                }
                EXPECT_TRUE(Same(fastest.r.v, plain.r.v)) << what;
                EXPECT_TRUE(Same(fastest.q.v, plain.q.v)) << what;
                EXPECT_TRUE(Same(fastest.qtb.v, plain.qtb.v)) << what;
                EXPECT_TRUE(Same(fastest.c, plain.c)) << what;
                EXPECT_TRUE(Same(fastest.d, plain.d)) << what;
                EXPECT_EQ(fastest.perm, plain.perm) << what;
            }
        }
    }
    const Padded x = Random(300, 1, rng, false), y = Random(300, 1, rng, false);
    for (std::size_t count = 0; count <= 300; ++count) {
        EXPECT_EQ(
            matrix_test::Bits(kernels::DotFast(count, x.Data(), y.Data())),
            matrix_test::Bits(kernels::DotFast(count, x.Data(), y.Data(), KernelPath::kPlain)))
            << count;
    }
    // Column lengths: entries cut off, growing past the scale inside a group
    // of eight, infinite and NaN.
    Padded z = Random(300, 1, rng, true);
    for (std::size_t i = 0; i < 300; i += 7) z(i, 0) = 1e-13 * static_cast<double>(i % 3);
    for (std::size_t i = 40; i < 120; ++i) z(i, 0) = std::ldexp(1.0 + z(i, 0) * 1e-3, int(i / 3));
    for (const Padded *v : {&x, static_cast<const Padded *>(&z)}) {
        for (std::size_t start : {0u, 3u, 37u}) {
            for (std::size_t count = 0; count + start <= 300; count += 5) {
                const double *p = v->Data() + start;
                EXPECT_EQ(matrix_test::Bits(kernels::ColumnNorm(count, p, 1)),
                          matrix_test::Bits(kernels::ColumnNorm(count, p, 1, KernelPath::kPlain)))
                    << start << " " << count;
            }
        }
    }
}

// The singular value decomposition's merged bidiagonalisation against its
// pass-by-pass loops, with and without vectors, on every path: a zeroed
// column and row leave reflections out; trailing zero columns are left out
// of the passes, but not when an entry is infinite.
TEST(KernelPaths, SvdMatchesPassByPassLoops) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        for (int kind = 0; kind < 5; ++kind) {
            Padded a = Random(s.m, s.n, rng, kind == 1);
            if (kind == 2) {
                for (std::size_t i = 0; i < s.m; ++i) a(i, s.n / 2) = 0.0;
                for (std::size_t j = 0; j < s.n; ++j) a(s.m / 2, j) = 0.0;
            }
            if (kind >= 3) {
                for (std::size_t j = s.n / 2; j < s.n; ++j) {
                    for (std::size_t i = 0; i < s.m; ++i) a(i, j) = 0.0;
                }
            }
            if (kind == 4) a(0, 0) = std::numeric_limits<double>::infinity();
            for (bool vectors : {false, true}) {
                struct Result {
                    Padded u, v;
                    std::vector<double> w;
                    std::size_t status;
                };
                auto run = [&](KernelPath path) {
                    Result x{a, Padded(s.n, s.n), std::vector<double>(s.n), 0};
                    std::vector<double> work(kernels::SvdDecomposeWorkspace(s.m, s.n));
                    x.status = kernels::SvdDecompose(s.m, s.n, x.u.Data(), x.u.ld, x.w.data(), 1,
                                                     vectors ? x.v.Data() : nullptr, x.v.ld,
                                                     work.data(), path);
                    return x;
                };
                const Result plain = run(KernelPath::kPlain);
                for (KernelPath path : {KernelPath::kFastest, KernelPath::kAvx2}) {
                    const Result x = run(path);
                    const std::string what = Name(s, kind == 1) + " kind " + std::to_string(kind) +
                                             (vectors ? " vectors" : "");
                    EXPECT_EQ(x.status, plain.status) << what;
                    EXPECT_TRUE(Same(x.w, plain.w)) << what;
                    if (vectors) {
                        EXPECT_TRUE(Same(x.u.v, plain.u.v)) << what;
                        EXPECT_TRUE(Same(x.v.v, plain.v.v)) << what;
                    }
                }
            }
        }
    }
}

// The shifted Hessenberg solve of the fast eigenvectors, including a
// shift that makes a pivot exactly zero: the blocked factorisation and the
// vector solve against their scalar loops.
// Large steps of the bidiagonal reduction share their columns among the
// threads, each thread's right products going on from the one before it.
TEST(KernelPaths, SvdOnSeveralThreadsMatchesPassByPassLoops) {
    std::mt19937_64 rng(matrix_test::Seed());
    struct Restore {
        ~Restore() { kernels::SetThreadCount(0); }
    } restore;
    for (const Shape &s : {Shape{600, 240, 0}, Shape{380, 370, 0}}) {
        for (bool halfZero : {false, true}) {
            Padded a = Random(s.m, s.n, rng, false);
            if (halfZero) {
                for (std::size_t j = s.n / 2; j < s.n; ++j) {
                    for (std::size_t i = 0; i < s.m; ++i) a(i, j) = 0.0;
                }
            }
            for (bool vectors : {false, true}) {
                auto run = [&](KernelPath path, std::vector<double> &w, Padded &v) {
                    Padded u = a;
                    std::vector<double> work(kernels::SvdDecomposeWorkspace(s.m, s.n));
                    const std::size_t status = kernels::SvdDecompose(
                        s.m, s.n, u.Data(), u.ld, w.data(), 1, vectors ? v.Data() : nullptr, v.ld,
                        work.data(), path);
                    EXPECT_EQ(status, 0u);
                    return u;
                };
                std::vector<double> plainW(s.n);
                Padded plainV(s.n, s.n);
                kernels::SetThreadCount(1);
                const Padded plainU = run(KernelPath::kPlain, plainW, plainV);
                for (unsigned int threads : {2u, 3u, 5u}) {
                    kernels::SetThreadCount(threads);
                    std::vector<double> w(s.n);
                    Padded v(s.n, s.n);
                    const Padded u = run(KernelPath::kFastest, w, v);
                    const std::string what = Name(s, false) + (halfZero ? " half zero" : "") +
                                             (vectors ? " vectors" : "") + " on " +
                                             std::to_string(threads) + " threads";
                    EXPECT_TRUE(Same(w, plainW)) << what;
                    if (vectors) {
                        EXPECT_TRUE(Same(u.v, plainU.v)) << what;
                        EXPECT_TRUE(Same(v.v, plainV.v)) << what;
                    }
                }
            }
        }
    }
}

// The nonsymmetric eigensolver's kernels against their plain paths: the
// reduction to Hessenberg form (with zeros in its first column, rows that
// skip a step, and a multiplier that underflows), the QR sweeps of its
// eigenvalues, and the shifted factorisations and solves of the inverse
// iteration with real and complex shifts.
TEST(KernelPaths, HessenbergShiftedSolveMatchesScalarLoops) {
    std::mt19937_64 rng(matrix_test::Seed());
    const KernelPath paths[3] = {KernelPath::kFastest, KernelPath::kPlain, KernelPath::kAvx2};
    for (const Shape &s : kShapes) {
        const std::size_t n = s.m;
        for (bool edges : {false, true}) {
            Padded h = Random(n, n, rng, edges);
            for (std::size_t i = 2; i < n; i += 3) h(i, 0) = 0.0;
            // A multiplier that underflows to 0.0 still takes its row's step.
            if (edges && n > 3) {
                h(1, 0) = 1e300;
                h(3, 0) = 1e-300;
            }
            Padded reduced[3] = {h, h, h};
            std::vector<std::size_t> pivot[3];
            for (int run = 0; run < 3; ++run) {
                pivot[run].resize(n);
                kernels::ReduceToHessenberg(n, reduced[run].Data(), h.ld, pivot[run].data(),
                                            paths[run]);
            }
            Padded swept[3] = {reduced[1], reduced[1], reduced[1]};
            std::vector<double> w[3];
            for (int run = 0; run < 3; ++run) {
                w[run].assign(2 * n, 0.0);
                const auto status = kernels::HessenbergEigenvalues(
                    n, swept[run].Data(), h.ld, w[run].data(), w[run].data() + n, paths[run]);
                w[run].push_back(static_cast<double>(status));
            }
            for (int run = 0; run < 3; run += 2) {
                EXPECT_TRUE(Same(reduced[run].v, reduced[1].v)) << Name(s, edges) << " " << run;
                EXPECT_EQ(pivot[run], pivot[1]) << Name(s, edges);
                EXPECT_TRUE(Same(swept[run].v, swept[1].v)) << Name(s, edges) << " " << run;
                EXPECT_TRUE(Same(w[run], w[1])) << Name(s, edges) << " " << run;
            }
            const Padded b = Random(n, 1, rng, edges);
            for (double shift : {0.25, h(0, 0)}) {
                const std::string what = Name(s, edges) + " shift " + std::to_string(shift);
                std::vector<double> work[2];
                std::vector<double> x[2];
                for (int plain = 0; plain < 2; ++plain) {
                    const KernelPath path = plain != 0 ? KernelPath::kPlain : KernelPath::kFastest;
                    work[plain].assign(kernels::HessenbergShiftedWorkspace(n), 0.0);
                    kernels::HessenbergShiftedFactor(n, h.Data(), h.ld, shift, 1e-300,
                                                     work[plain].data(), path);
                    x[plain].resize(n);
                    kernels::HessenbergShiftedSolve(n, work[plain].data(), b.Data(),
                                                    x[plain].data(), path);
                }
                EXPECT_TRUE(Same(work[0], work[1])) << what;
                EXPECT_TRUE(Same(x[0], x[1])) << what;
                // The complex shift (shift + 0.5i), b's parts b and reversed b,
                // on all three paths.
                const std::vector<double> bi(std::reverse_iterator<const double *>(b.Data() + n),
                                             std::reverse_iterator<const double *>(b.Data()));
                std::vector<double> cwork[3], cx[3];
                for (int run = 0; run < 3; ++run) {
                    const KernelPath path = paths[run];
                    cwork[run].assign(kernels::HessenbergShiftedComplexWorkspace(n), 0.0);
                    kernels::HessenbergShiftedFactorComplex(n, h.Data(), h.ld, shift, 0.5, 1e-300,
                                                            cwork[run].data(), path);
                    cx[run].resize(2 * n);
                    kernels::HessenbergShiftedSolveComplex(n, cwork[run].data(), b.Data(),
                                                           bi.data(), cx[run].data(),
                                                           cx[run].data() + n, path);
                }
                for (int run = 1; run < 3; ++run) {
                    EXPECT_TRUE(Same(cwork[0], cwork[run])) << what << " complex, run " << run;
                    EXPECT_TRUE(Same(cx[0], cx[run])) << what << " complex, run " << run;
                }
            }
        }
    }
}

// The symmetric solver's two kernels: the tridiagonal reduction (its
// held-back rank-2 updates in vector registers) and the QL rotations
// applied to Z in blocks of rows (and on several threads from 256 rows),
// each against scalar loops, on the lower triangle of a random matrix
// (Z is any matrix: the rotations are checked, not their meaning).
TEST(KernelPaths, SymmetricEigenMatchesScalarLoops) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        const std::size_t n = s.m;
        for (bool special : {false, true}) {
            const std::string what = Name(s, special);
            const Padded a = Random(n, n, rng, special), z = Random(n, n, rng, special);
            // Runs 0, 1 and 2: the fastest path, the plain one, AVX2 at most.
            const KernelPath paths[] = {KernelPath::kFastest, KernelPath::kPlain,
                                        KernelPath::kAvx2};
            std::vector<double> reduced[3], d[3], e[3], c[3], rotated[3], values[3];
            for (int plain = 0; plain < 3; ++plain) {
                const KernelPath path = paths[plain];
                Padded t = a, q = z;
                d[plain].assign(n, 0.0);
                e[plain].assign(n, 0.0);
                c[plain].assign(n, 0.0);
                std::vector<double> work(kernels::SymmetricTridiagonalizeWorkspace(n));
                kernels::SymmetricTridiagonalize(n, t.v.data(), t.ld, d[plain].data(),
                                                 e[plain].data(), c[plain].data(), work.data(),
                                                 path);
                reduced[plain] = t.v;
                values[plain] = d[plain];
                std::vector<double> off = e[plain];
                std::vector<double> qlwork(kernels::TridiagonalQlWorkspace(n));
                kernels::TridiagonalQl(n, values[plain].data(), off.data(), q.v.data(), q.ld,
                                       qlwork.data(), path);
                rotated[plain] = q.v;
            }
            for (int other : {0, 2}) {
                EXPECT_TRUE(Same(reduced[other], reduced[1])) << what << " run " << other;
                EXPECT_TRUE(Same(d[other], d[1]) && Same(e[other], e[1]) && Same(c[other], c[1]))
                    << what << " run " << other;
                EXPECT_TRUE(Same(values[other], values[1])) << what << " run " << other;
                EXPECT_TRUE(Same(rotated[other], rotated[1])) << what << " run " << other;
            }
            // The same tridiagonal split at every 7th and 11th position:
            // sweeps of many lengths and ranges side by side.
            std::vector<double> split[3];
            for (int plain = 0; plain < 3; ++plain) {
                const KernelPath path = paths[plain];
                Padded q = z;
                std::vector<double> dd = d[0], ee = e[0];
                for (std::size_t i = 0; i < n; ++i) {
                    if (i % 7 == 6 || i % 11 == 10) ee[i] = 0.0;
                }
                std::vector<double> qlwork(kernels::TridiagonalQlWorkspace(n));
                kernels::TridiagonalQl(n, dd.data(), ee.data(), q.v.data(), q.ld, qlwork.data(),
                                       path);
                split[plain] = q.v;
                split[plain].insert(split[plain].end(), dd.begin(), dd.end());
            }
            EXPECT_TRUE(Same(split[0], split[1]) && Same(split[2], split[1])) << what << " split";
            // Divide and conquer on the same tridiagonal: its merges'
            // products on each path.
            std::vector<double> divided[3];
            for (int plain = 0; plain < 3; ++plain) {
                Padded q = z;
                std::vector<double> dd = d[0];
                kernels::TridiagonalDivideConquer(n, dd.data(), e[0].data(), q.v.data(), q.ld,
                                                  paths[plain]);
                divided[plain] = q.v;
                divided[plain].insert(divided[plain].end(), dd.begin(), dd.end());
            }
            EXPECT_TRUE(Same(divided[0], divided[1]) && Same(divided[2], divided[1]))
                << what << " divide and conquer";
        }
    }
}

// The blocked tridiagonal reduction, panels of 4 and 16 columns (the
// trailing update through the product kernel), on orders around the panel
// width and with a column already reduced (its reflection left out), on
// each path against scalar loops.
TEST(KernelPaths, SymmetricTridiagonalizeBlockedMatchesScalarLoops) {
    std::mt19937_64 rng(matrix_test::Seed());
    const KernelPath paths[] = {KernelPath::kFastest, KernelPath::kPlain, KernelPath::kAvx2};
    for (std::size_t n : {1, 2, 3, 5, 15, 16, 17, 18, 19, 31, 32, 33, 34, 64, 65, 100, 130}) {
        for (std::size_t nb : {4, 16}) {
            for (int kind = 0; kind < 3; ++kind) {
                const std::string what = "n=" + std::to_string(n) + " nb=" + std::to_string(nb) +
                                         " kind=" + std::to_string(kind);
                Padded a = Random(n, n, rng, kind == 1);
                if (kind == 2) {
                    for (std::size_t i = 3; i < n; ++i) a(i, 2) = 0.0;
                }
                std::vector<double> out[3];
                for (int run = 0; run < 3; ++run) {
                    Padded t = a;
                    std::vector<double> d(n), e(n), c(n);
                    std::vector<double> work(kernels::SymmetricTridiagonalizeWorkspace(n, nb));
                    kernels::SymmetricTridiagonalizeBlocked(n, t.v.data(), t.ld, d.data(),
                                                            e.data(), c.data(), work.data(), nb,
                                                            paths[run]);
                    out[run] = t.v;
                    for (const auto *x : {&d, &e, &c}) {
                        out[run].insert(out[run].end(), x->begin(), x->end());
                    }
                }
                EXPECT_TRUE(Same(out[0], out[1])) << what << " fastest";
                EXPECT_TRUE(Same(out[2], out[1])) << what << " avx2";
            }
        }
    }
}

// The LU family written once over the element type (which float and
// complex run), instantiated on double, against the double kernels' plain
// paths: the same steps in the same order give the same bits, factors,
// pivots, solutions and estimates alike.
TEST(KernelPaths, TypedLuFamilyOnDoubleMatchesDoubleKernels) {
    namespace typed = kernels::typed;
    std::mt19937_64 rng(matrix_test::Seed());
    for (std::size_t n : {1u, 2u, 5u, 17u, 33u, 65u}) {
        for (bool special : {false, true}) {
            const std::string what = Name({n, n, n}, special);
            const Padded a = Random(n, n, rng, special), b = Random(n, 3, rng, special);
            const std::size_t ld = a.ld;
            // Crout.
            Padded lu[2] = {a, a};
            std::vector<std::int32_t> ipiv[2] = {std::vector<std::int32_t>(n),
                                                 std::vector<std::int32_t>(n)};
            std::vector<double> scale[2] = {std::vector<double>(n), std::vector<double>(n)};
            int parity[2];
            const auto s0 = kernels::LuCrout(n, lu[0].Data(), ld, ipiv[0].data(), parity[0],
                                             scale[0].data(), KernelPath::kPlain);
            const auto s1 = typed::LuCrout(n, lu[1].Data(), ld, ipiv[1].data(), parity[1],
                                           scale[1].data());
            EXPECT_TRUE(Same(lu[0].v, lu[1].v)) << what;
            EXPECT_TRUE(ipiv[0] == ipiv[1] && parity[0] == parity[1] && s0 == s1) << what;
            // Gauss: factors, a solve from them and the estimate.
            Padded g[2] = {a, a}, rhs[2] = {b, b}, x[2] = {Padded(n, 3), Padded(n, 3)};
            std::vector<std::size_t> pivot[2] = {std::vector<std::size_t>(n),
                                                 std::vector<std::size_t>(n)};
            std::vector<double> r[2] = {std::vector<double>(n), std::vector<double>(n)};
            std::vector<double> work(3 * n);
            kernels::GaussFactor(n, g[0].Data(), ld, pivot[0].data(), r[0].data(),
                                 KernelPath::kPlain);
            typed::GaussFactor(n, g[1].Data(), ld, pivot[1].data(), r[1].data());
            EXPECT_TRUE(Same(g[0].v, g[1].v) && Same(r[0], r[1]) && pivot[0] == pivot[1]) << what;
            kernels::GaussSolveFactored(n, 3, g[0].Data(), ld, pivot[0].data(), r[0].data(),
                                        rhs[0].Data(), rhs[0].ld, x[0].Data(), x[0].ld);
            typed::GaussSolveFactored(n, 3, g[1].Data(), ld, pivot[1].data(), r[1].data(),
                                      rhs[1].Data(), rhs[1].ld, x[1].Data(), x[1].ld);
            EXPECT_TRUE(Same(x[0].v, x[1].v)) << what << " solve";
            const double anorm = kernels::MatrixNorm1(n, n, a.Data(), ld);
            EXPECT_EQ(anorm, typed::MatrixNorm1(n, n, a.Data(), ld)) << what;
            const double e0 = kernels::GaussReciprocalCondition(n, g[0].Data(), ld, pivot[0].data(),
                                                                r[0].data(), anorm, work.data());
            const double e1 = typed::GaussReciprocalCondition(n, g[0].Data(), ld, pivot[0].data(),
                                                              r[0].data(), anorm, work.data());
            EXPECT_TRUE(Same({e0}, {e1})) << what << " estimate";
            // Triangles, both ways, with their estimates.
            for (bool lower : {false, true}) {
                Padded t[2] = {Padded(n, 3), Padded(n, 3)};
                kernels::TriangularSolve(n, 3, lower, a.Data(), ld, b.Data(), b.ld, t[0].Data(),
                                         t[0].ld, KernelPath::kPlain);
                typed::TriangularSolve(n, 3, lower, a.Data(), ld, b.Data(), b.ld, t[1].Data(),
                                       t[1].ld);
                EXPECT_TRUE(Same(t[0].v, t[1].v)) << what << (lower ? " lower" : " upper");
                const double c0 = kernels::TriangularReciprocalCondition(n, lower, a.Data(), ld,
                                                                         anorm, work.data());
                const double c1 =
                    typed::TriangularReciprocalCondition(n, lower, a.Data(), ld, anorm, work.data());
                EXPECT_TRUE(Same({c0}, {c1})) << what << (lower ? " lower" : " upper") << " estimate";
            }
        }
    }
}

// The float and complex factorisations, halved down to 16 columns and
// meeting through the real product kernels, against the column-by-column
// plain paths.
template <class T>
void CheckBlockedLuFamily(std::mt19937_64 &rng) {
    namespace typed = kernels::typed;
    using R = kernels::RealType<T>;
    for (std::size_t n : {5u, 17u, 33u, 65u, 130u, 300u}) {
        for (bool special : {false, true}) {
            const Padded re = Random(n, n, rng, special), im = Random(n, n, rng, special);
            std::vector<T> a(re.v.size());
            for (std::size_t q = 0; q < a.size(); ++q) {
                if constexpr (kernels::kIsComplex<T>) {
                    a[q] = T(R(re.v[q]), R(im.v[q]));
                } else {
                    a[q] = T(re.v[q]);
                }
            }
            std::vector<T> lu[2] = {a, a}, g[2] = {a, a}, r[2];
            std::vector<R> scale[2], work(kernels::typed::BlockedWorkspace(n));
            std::vector<std::int32_t> ipiv[2];
            std::vector<std::size_t> pivot[2];
            int parity[2];
            std::size_t status[2];
            for (int plain = 0; plain < 2; ++plain) {
                const KernelPath path = plain != 0 ? KernelPath::kPlain : KernelPath::kFastest;
                scale[plain].resize(n);
                r[plain].resize(n);
                ipiv[plain].resize(n);
                pivot[plain].resize(n);
                status[plain] = typed::LuCrout(n, lu[plain].data(), re.ld, ipiv[plain].data(),
                                               parity[plain], scale[plain].data(), path, work.data());
                typed::GaussFactor(n, g[plain].data(), re.ld, pivot[plain].data(), r[plain].data(),
                                   path, work.data());
            }
            // Equal bits, or NaN against NaN.
            auto same = [](const std::vector<T> &x, const std::vector<T> &y) {
                const R *u = reinterpret_cast<const R *>(x.data());
                const R *v = reinterpret_cast<const R *>(y.data());
                const std::size_t count = x.size() * sizeof(T) / sizeof(R);
                for (std::size_t q = 0; q < count; ++q)
                    if (std::memcmp(&u[q], &v[q], sizeof(R)) != 0 &&
                        !(std::isnan(u[q]) && std::isnan(v[q])))
                        return false;
                return true;
            };
            const std::string what = Name({n, n, n}, special) + " " + typeid(T).name();
            EXPECT_TRUE(same(lu[0], lu[1]) && ipiv[0] == ipiv[1] && parity[0] == parity[1] &&
                        status[0] == status[1])
                << what << " Crout";
            EXPECT_TRUE(same(g[0], g[1]) && same(r[0], r[1]) && pivot[0] == pivot[1])
                << what << " Gauss";
        }
    }
}

TEST(KernelPaths, FloatAndComplexLuFamilyMatchesColumnByColumn) {
    std::mt19937_64 rng(matrix_test::Seed());
    CheckBlockedLuFamily<float>(rng);
    CheckBlockedLuFamily<std::complex<float>>(rng);
    CheckBlockedLuFamily<std::complex<double>>(rng);
}

// The complex elimination of the eigenvectors: panels of 32 columns whose
// rows below take their steps through the product kernel, against the
// steps one at a time, factors and pivots alike, and a solve from them.
TEST(KernelPaths, ComplexGaussFactorMatchesScalarLoops) {
    std::mt19937_64 rng(matrix_test::Seed());
    for (const Shape &s : kShapes) {
        const std::size_t n = s.m;
        for (bool special : {false, true}) {
            const std::string what = Name(s, special);
            const Padded re = Random(n, n, rng, special), im = Random(n, n, rng, special);
            const Padded b = Random(n, 2, rng, special);
            std::vector<double> factors[2], records[2];
            for (int plain = 0; plain < 2; ++plain) {
                const KernelPath path = plain != 0 ? KernelPath::kPlain : KernelPath::kFastest;
                Padded ar = re, ai = im;
                std::vector<std::size_t> pivot(n);
                std::vector<double> rr(n), ri(n);
                kernels::ComplexGaussFactor(n, ar.v.data(), ai.v.data(), ar.ld, pivot.data(),
                                            rr.data(), ri.data(), 1e-300, path);
                std::vector<double> br(b.v.begin(), b.v.begin() + n),
                    bi(b.v.begin() + b.ld, b.v.begin() + b.ld + n), xr(n), xi(n);
                kernels::ComplexGaussSolveFactored(n, ar.v.data(), ai.v.data(), ar.ld, pivot.data(),
                                                   rr.data(), ri.data(), br.data(), bi.data(),
                                                   xr.data(), xi.data());
                factors[plain] = ar.v;
                factors[plain].insert(factors[plain].end(), ai.v.begin(), ai.v.end());
                records[plain] = rr;
                records[plain].insert(records[plain].end(), ri.begin(), ri.end());
                records[plain].insert(records[plain].end(), xr.begin(), xr.end());
                records[plain].insert(records[plain].end(), xi.begin(), xi.end());
                for (std::size_t j = 0; j < n; ++j) records[plain].push_back(double(pivot[j]));
            }
            EXPECT_TRUE(Same(factors[0], factors[1])) << what;
            EXPECT_TRUE(Same(records[0], records[1])) << what;
        }
    }
}

}  // namespace
