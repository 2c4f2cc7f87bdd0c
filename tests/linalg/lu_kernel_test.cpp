// tests/linalg/lu_kernel_test.cpp: tests of the LU kernels on raw padded buffers.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "linalg/kernels/lu_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"

namespace {

using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

struct CroutRun {
    Dense factor;
    std::vector<std::int32_t> ipiv;
    int parity = 0;
    int info = -1;
    bool intact = false;
};

CroutRun RunCrout(const Dense &a) {
    CroutRun out;
    Padded pa(a);
    out.ipiv.assign(a.m, -7);
    std::vector<double> scale(a.m);
    out.info = kernels::LuCrout(a.m, pa.Data(), pa.Ld(), out.ipiv.data(), out.parity,
                                scale.data());
    out.factor = pa.Contents();
    out.intact = pa.PaddingIntact();
    return out;
}

TEST(LuCrout, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = kSquareShapes;
    shapes.push_back({7, 7});
    for (const Shape &s : shapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            Dense want = a;
            int parity;
            const std::vector<std::int32_t> ipiv = ref::LuCrout(want, parity);
            const CroutRun got = RunCrout(a);
            ExpectSameBits(got.factor, want, ToString(s));
            EXPECT_EQ(got.ipiv, ipiv) << ToString(s);
            EXPECT_EQ(got.parity, parity) << ToString(s);
            EXPECT_TRUE(got.intact) << ToString(s) << ": padding written";
        }
    }
}

// The scale factors decide: for [3 1000; 2 1] row 2 (scaled 1.0) beats row
// 1 (0.003); for [1 0; 1 0] the scaled magnitudes tie and the later row
// wins.
TEST(LuCrout, ChoosesScaledPivots) {
    Dense a(2, 2);
    a.v = {3, 2, 1000, 1};
    CroutRun got = RunCrout(a);
    EXPECT_EQ(got.ipiv, (std::vector<std::int32_t>{2, 2}));
    EXPECT_EQ(got.parity, -1);
    a.v = {1, 1, 0, 0};
    got = RunCrout(a);
    EXPECT_EQ(got.ipiv, (std::vector<std::int32_t>{2, 2}));
    EXPECT_EQ(got.factor(1, 1), kernels::kLuZeroPivot);
    EXPECT_EQ(got.info, 2);
}

TEST(LuCrout, ReplacesZeroPivots) {
    const CroutRun got = RunCrout(Dense(2, 2, -0.0));
    EXPECT_EQ(got.factor(0, 0), 1.0e-20);
    EXPECT_EQ(got.factor(1, 1), 1.0e-20);
    EXPECT_EQ(got.parity, -1);
    EXPECT_EQ(got.info, 1);
    Dense id = Identity(3);
    EXPECT_EQ(RunCrout(id).info, 0);
}

// When every scaled candidate is NaN no row wins the comparison: the
// diagonal row stays, and the record still names a row.
TEST(LuCrout, KeepsDiagonalRowWhenEveryCandidateIsNaN) {
    Dense a(2, 2);
    a.v = {std::nan(""), std::nan(""), 1, 2};
    const CroutRun got = RunCrout(a);
    EXPECT_EQ(got.ipiv, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(got.parity, 1);
    EXPECT_TRUE(got.intact);
}

TEST(PivotsToPermutation, SwapsInStepOrder) {
    const std::vector<std::int32_t> ipiv = {3, 3, 3, 4};
    std::vector<std::uint32_t> perm(4);
    kernels::PivotsToPermutation(4, ipiv.data(), perm.data());
    // identity; swap 0,2 -> 2 1 0 3; swap 1,2 -> 2 0 1 3; swap 2,2; swap 3,3
    EXPECT_EQ(perm, (std::vector<std::uint32_t>{2, 0, 1, 3}));
}

// Row i moves to row perm[i], for permutations of one long cycle, of fixed
// points only and random ones; non-square blocks, padding untouched.
TEST(MoveRows, MovesEachRowToItsPlace) {
    std::mt19937_64 rng(Seed());
    for (std::size_t m : {0, 1, 2, 5, 33}) {
        for (int kind = 0; kind < 3; ++kind) {
            std::vector<std::uint32_t> perm(m);
            std::iota(perm.begin(), perm.end(), 0u);
            if (kind == 1 && m > 0) std::rotate(perm.begin(), perm.begin() + 1, perm.end());
            if (kind == 2) std::shuffle(perm.begin(), perm.end(), rng);
            const std::size_t n = m + 2;
            const Dense a = Random(m, n, rng);
            Padded pa(a);
            std::vector<unsigned char> moved(m);
            std::vector<double> row(n);
            kernels::MoveRows(m, n, pa.Data(), pa.Ld(), perm.data(), moved.data(), row.data());
            Dense want(m, n);
            for (std::size_t i = 0; i < m; ++i) {
                for (std::size_t j = 0; j < n; ++j) want(perm[i], j) = a(i, j);
            }
            ExpectSameBits(pa.Contents(), want, "m=" + std::to_string(m));
            EXPECT_TRUE(pa.PaddingIntact());
        }
    }
}

}  // namespace
