// tests/linalg/mtimes_test.cpp: Mtimes against reference BLAS and its worked examples.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>

#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;

// Against dgemm, element by element within the bound of an inner product
// of k terms; the bits are pinned by the digests.
TEST(Mtimes, AgreesWithBlas) {
    std::mt19937_64 rng(Seed());
    for (const DimList &s : std::vector<DimList>{
             {2, 2, 2}, {7, 5, 6}, {33, 64, 17}, {100, 100, 100}, {1, 300, 19}, {150, 300, 1}}) {
        const Dense a = Random(s[0], s[1], rng), b = Random(s[1], s[2], rng);
        const Dense c = FromArray(ArrayPtr(Mtimes(ToArray(a).get(), ToArray(b).get())).get());
        const Dense want = Gemm('N', 'N', 1.0, a, b, 0.0, Dense(s[0], s[2]));
        for (std::size_t k = 0; k < c.v.size(); ++k) {
            EXPECT_NEAR(c.v[k], want.v[k], 2.0 * s[1] * kEps) << s[0] << "x" << s[1] << "x" << s[2];
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
    const ArrayPtr nd = matrix_test::Counted({2, 3, 4}, 0.0), s = Matrix(1, 1, {2});
    for (const ArrayPtr &r :
         {ArrayPtr(Mtimes(s.get(), nd.get())), ArrayPtr(Mtimes(nd.get(), s.get()))}) {
        EXPECT_EQ(Dims(r.get()), (DimList{2, 3, 4}));
        for (unsigned int i = 0; i < 24; ++i) EXPECT_EQ(mxGetPr(r.get())[i], 2.0 * i);
    }
    // Empty inner dimensions give +0 everywhere (sums start from 0.0).
    for (const std::vector<DimList> &t :
         std::vector<std::vector<DimList>>{{{2, 0}, {3, 4}, {0, 0}},
                                           {{2, 3}, {0, 4}, {0, 0}},
                                           {{3, 0}, {0, 4}, {3, 4}},
                                           {{0, 5}, {5, 2}, {0, 2}},
                                           {{3, 5}, {5, 0}, {3, 0}},
                                           {{1, 1}, {0, 3}, {0, 3}}}) {
        const ArrayPtr a = Array(t[0]), b = Array(t[1]);
        std::fill_n(mxGetPr(a.get()), a->GetNoElems(), -0.0);
        std::fill_n(mxGetPr(b.get()), b->GetNoElems(), 1.0);
        const ArrayPtr r(Mtimes(a.get(), b.get()));
        EXPECT_EQ(Dims(r.get()), t[2]);
        for (double x : Values(r.get())) EXPECT_EQ(Bits(x), 0u);
    }
}

}  // namespace
