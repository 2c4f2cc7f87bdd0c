// tests/linalg/norm_test.cpp: the norm kernels, Norm and NormFro.
#include <matrix/matrix.h>

#include <cmath>
#include <random>

#include "kernels/norm_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/decomposition_reference.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;

// Every p of the vector case: the special ones and some through pow.
const std::vector<double> kVectorPs = {0.0, kInf, -kInf, 1.0, 2.0, 3.0, 0.5, -1.0, -2.5, kNaN};

// Vectors take every p, matrices 1, 2 and Inf; the 2-norm also against the
// largest singular value of LAPACK's dgesvd.
TEST(Norm, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{1, 1},
                                             {1, 2},
                                             {2, 1},
                                             {1, 17},
                                             {40, 1},
                                             {1, 1000},
                                             {2, 2},
                                             {3, 3},
                                             {7, 5},
                                             {5, 7},
                                             {2, 40},
                                             {33, 33},
                                             {100, 100}}) {
        const bool vector = s.m == 1 || s.n == 1;
        for (Fill fill : {Fill::kGeneral, vector ? Fill::kUniform : Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            for (double p : vector ? kVectorPs : std::vector<double>{1.0, 2.0, kInf}) {
                bool valid;
                EXPECT_EQ(Bits(Norm(arg.get(), p)), Bits(ref::Norm(a, p, valid)))
                    << ToString(s) << " p = " << p;
            }
            EXPECT_EQ(Bits(NormFro(arg.get())), Bits(ref::NormFro(a))) << ToString(s);
            if (fill != Fill::kGeneral || vector) continue;
            const double want = Dgesvd(a)[0];
            EXPECT_NEAR(Norm(arg.get(), 2.0), want, 1e-12 * std::max(s.m, s.n) * want)
                << ToString(s);
        }
    }
}

// The kernels on a padded buffer, a row of it as a strided vector.
TEST(Norm, KernelsLeavePaddingAlone) {
    std::mt19937_64 rng(Seed());
    const Dense a = Random(6, 4, rng);
    Padded pa(a);
    std::vector<double> rows(6);
    bool valid;
    EXPECT_EQ(Bits(kernels::MatrixNorm1(6, 4, pa.Data(), pa.Ld())), Bits(ref::Norm(a, 1.0, valid)));
    EXPECT_EQ(Bits(kernels::MatrixNormInf(6, 4, pa.Data(), pa.Ld(), rows.data())),
              Bits(ref::Norm(a, kInf, valid)));
    EXPECT_EQ(Bits(kernels::FrobeniusNorm(6, 4, pa.Data(), pa.Ld())), Bits(ref::NormFro(a)));
    Dense row(1, 4);
    for (std::size_t j = 0; j < 4; ++j) row(0, j) = a(2, j);
    for (double p : kVectorPs) {
        EXPECT_EQ(Bits(kernels::VectorNorm(4, pa.Data() + 2, pa.Ld(), p)),
                  Bits(ref::Norm(row, p, valid)))
            << p;
    }
    EXPECT_TRUE(pa.PaddingIntact());
    const double w[] = {-3, 0, 5, 0, -5, 0}, unsettled[] = {kNaN, 7.0};
    EXPECT_EQ(kernels::LargestMagnitude(3, w, 2), 5.0);
    EXPECT_EQ(kernels::LargestMagnitude(2, w + 4, 1), -5.0);
    EXPECT_TRUE(std::isnan(kernels::LargestMagnitude(2, unsettled, 1)));
}

// The matrix maxima start at 0.0 and skip NaN sums; the vector maxima
// start at the first element; empty matrices give 0.0 for any p.
TEST(Norm, WorkedExamples) {
    struct Case {
        unsigned int m, n;
        std::vector<double> a;
        double p, want;
    };
    for (const Case &t : std::vector<Case>{{1, 2, {3, -4}, 2, 5},
                                           {1, 2, {3, -4}, 1, 7},
                                           {1, 2, {3, -4}, kInf, 4},
                                           {1, 2, {3, -4}, -kInf, 3},
                                           {1, 2, {3, -4}, 0, kInf},
                                           {2, 2, {1, 3, -2, 4}, 1, 6},
                                           {2, 2, {1, 3, -2, 4}, kInf, 7},
                                           {2, 3, {1, -10, 2, 20, -3, 30}, kInf, 60},
                                           {2, 3, {1, -10, 2, 20, -3, 30}, 1, 33},
                                           {2, 2, {kNaN, 1, 2, 3}, 1, 5},
                                           {2, 2, {kNaN, 1, 2, 3}, kInf, 4},
                                           {3, 1, {2, kNaN, -5}, kInf, 5},
                                           {3, 1, {2, kNaN, -5}, -kInf, 2},
                                           {3, 1, {2, kNaN, -5}, 1, kNaN},
                                           {3, 1, {2, kNaN, -5}, 2, kNaN},
                                           {1, 3, {0, 0, 0}, 0, kInf},
                                           {1, 3, {0, 0, 0}, 2, 0},
                                           {0, 0, {}, 2, 0},
                                           {0, 3, {}, 3, 0},
                                           {3, 0, {}, 2, 0},
                                           {3, 0, {}, 3, 0}}) {
        const double got = Norm(Filled({t.m, t.n}, t.a).get(), t.p);
        EXPECT_TRUE(got == t.want || (std::isnan(got) && std::isnan(t.want)))
            << t.m << "x" << t.n << " p = " << t.p << ": " << got;
    }
    EXPECT_EQ(NormFro(Matrix(1, 2, {3, 4}).get()), 5.0);
    EXPECT_EQ(NormFro(Array({0, 3}).get()), 0.0);
    EXPECT_TRUE(std::isnan(NormFro(Matrix(2, 2, {kNaN, 1, 2, 3}).get())));
}

// N-d arrays first (empty ones too), then other classes and complex
// operands (empty ones too), then the matrix p: only 1, 2 and +Inf.
TEST(Norm, RefusesInOrder) {
    const ArrayPtr emptyNd = Array({0, 2, 2}), nd = Array({2, 2, 2}, mxClassInt8);
    const ArrayPtr single = Array({2, 2}, mxClassSingle),
                   emptySingle = Array({0, 0}, mxClassSingle);
    const ArrayPtr cplx = Array({1, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr a = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    struct Case {
        const CMatrix *a;
        double p;
        Error error;
    };
    std::vector<Case> cases = {{emptyNd.get(), 3, Error::kNDArray},
                               {nd.get(), 2, Error::kNDArray},
                               {single.get(), 2, Error::kNotImplemented},
                               {emptySingle.get(), 2, Error::kNotImplemented},
                               {cplx.get(), 2, Error::kNotImplemented}};
    for (double p : {0.0, -kInf, 3.0, 0.5, -1.0, -2.0, kNaN})
        cases.push_back({a.get(), p, Error::kOnlyNorms});
    for (const Case &t : cases) {
        ExpectRefusal([&] { Norm(t.a, t.p); }, t.error, {t.a}, "p = " + std::to_string(t.p));
        if (t.error != Error::kOnlyNorms)
            ExpectRefusal([&] { NormFro(t.a); }, t.error, {t.a}, "fro");
    }
}

TEST(Norm, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    const ArrayPtr a = ToArray(Random(6, 4, rng));
    EXPECT_GT(FailurePoints([&] { Norm(a.get(), 2.0); }, {a.get()}), 0);
    FailurePoints([&] { Norm(a.get(), kInf); }, {a.get()});
}

}  // namespace
