// tests/linalg/norm_test.cpp: tests of the norm kernels, Norm and NormFro.
#include <matrix/matrix.h>

#include <cmath>
#include <limits>
#include <random>

#include "linalg/kernels/norm_kernel.h"
#include "linalg/linalg_test_util.h"
#include "linalg/spectral_reference.h"
#include "support/matrix_test.h"

extern "C" void dgesvd_(const char *jobu, const char *jobvt, const int *m, const int *n, double *a,
                        const int *lda, double *s, double *u, const int *ldu, double *vt,
                        const int *ldvt, double *work, const int *lwork, int *info,
                        std::size_t jobuLength, std::size_t jobvtLength);

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::ForEachAllocationFailure;
using matrix_test::Matrix;

namespace kernels = kiv::matrix::kernels;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNDArray[] = L"Operation on ND array is not defined";
const wchar_t kOnlyNorms[] = L"The only matrix norms available are 1, 2, inf and fro";
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every p of the vector case: the special ones and some through pow.
const std::vector<double> kVectorPs = {0.0, kInf, -kInf, 1.0, 2.0, 3.0, 0.5, -1.0, -2.5, kNaN};

double LargestSingularValue(Dense a) {
    const int m = static_cast<int>(a.m), n = static_cast<int>(a.n), one = 1;
    std::vector<double> s(std::min(a.m, a.n));
    int lwork = -1, info = 0;
    double query;
    dgesvd_("N", "N", &m, &n, a.v.data(), &m, s.data(), nullptr, &one, nullptr, &one, &query,
            &lwork, &info, 1, 1);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    dgesvd_("N", "N", &m, &n, a.v.data(), &m, s.data(), nullptr, &one, nullptr, &one, work.data(),
            &lwork, &info, 1, 1);
    EXPECT_EQ(info, 0);
    return s[0];
}

TEST(Norm, VectorsSameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{1, 1}, {1, 2}, {2, 1}, {1, 17}, {40, 1}, {1, 1000}}) {
        for (Fill fill : {Fill::kGeneral, Fill::kUniform}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            for (double p : kVectorPs) {
                bool valid;
                EXPECT_EQ(Bits(Norm(arg.get(), p)), Bits(ref::Norm(a, p, valid)))
                    << ToString(s) << " p = " << p;
            }
            EXPECT_EQ(Bits(NormFro(arg.get())), Bits(ref::NormFro(a))) << ToString(s);
        }
    }
}

TEST(Norm, MatricesSameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{2, 2}, {3, 3}, {7, 5}, {5, 7}, {2, 40}, {33, 33},
                                             {100, 100}}) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            for (double p : {1.0, 2.0, kInf}) {
                bool valid;
                EXPECT_EQ(Bits(Norm(arg.get(), p)), Bits(ref::Norm(a, p, valid)))
                    << ToString(s) << " p = " << p;
            }
            EXPECT_EQ(Bits(NormFro(arg.get())), Bits(ref::NormFro(a))) << ToString(s);
        }
    }
}

TEST(Norm, WorkedExamples) {
    const ArrayPtr v = Matrix(1, 2, {3, -4});
    EXPECT_EQ(Norm(v.get(), 2.0), 5.0);
    EXPECT_EQ(Norm(v.get(), 1.0), 7.0);
    EXPECT_EQ(Norm(v.get(), kInf), 4.0);
    EXPECT_EQ(Norm(v.get(), -kInf), 3.0);
    EXPECT_EQ(Norm(v.get(), 0.0), kInf);
    const ArrayPtr a = Matrix(2, 2, {1, 3, -2, 4});
    EXPECT_EQ(Norm(a.get(), 1.0), 6.0);
    EXPECT_EQ(Norm(a.get(), kInf), 7.0);
    EXPECT_REJECTS(Norm(a.get(), 3.0), CFunctionErrorException, kOnlyNorms, a.get());
    // Each of the 2 rows is summed over all 3 columns.
    const ArrayPtr w = Matrix(2, 3, {1, -10, 2, 20, -3, 30});
    EXPECT_EQ(Norm(w.get(), kInf), 60.0);
    EXPECT_EQ(Norm(w.get(), 1.0), 33.0);
    EXPECT_EQ(NormFro(ArrayPtr(Matrix(1, 2, {3, 4})).get()), 5.0);
}

// The running maxima start at 0.0 and skip NaN sums; the vector maxima
// start at the first element.
TEST(Norm, NaNAndInfinities) {
    const ArrayPtr a = Matrix(2, 2, {kNaN, 1, 2, 3});
    EXPECT_EQ(Norm(a.get(), 1.0), 5.0);
    EXPECT_EQ(Norm(a.get(), kInf), 4.0);
    EXPECT_TRUE(std::isnan(NormFro(a.get())));
    const ArrayPtr v = Matrix(3, 1, {2, kNaN, -5});
    EXPECT_EQ(Norm(v.get(), kInf), 5.0);
    EXPECT_EQ(Norm(v.get(), -kInf), 2.0);
    EXPECT_TRUE(std::isnan(Norm(v.get(), 1.0)));
    EXPECT_TRUE(std::isnan(Norm(v.get(), 2.0)));
    const ArrayPtr z = Matrix(1, 3, {0, 0, 0});
    EXPECT_EQ(Norm(z.get(), 0.0), kInf);
    EXPECT_EQ(Norm(z.get(), 2.0), 0.0);
}

// Only 1, 2 and +Inf are matrix norms.
TEST(Norm, RefusesOtherMatrixNorms) {
    const ArrayPtr a = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    for (double p : {0.0, -kInf, 3.0, 0.5, -1.0, -2.0, kNaN}) {
        EXPECT_REJECTS(Norm(a.get(), p), CFunctionErrorException, kOnlyNorms, a.get());
    }
}

// N-d arrays first (empty ones too), then other classes and complex
// operands; empty matrices give 0.0 after those checks.
TEST(Norm, RefusesInOrder) {
    const ArrayPtr emptyNd = Array({0, 2, 2});
    const ArrayPtr nd = Array({2, 2, 2}, mxClassInt8);
    const ArrayPtr single = Array({2, 2}, mxClassSingle);
    const ArrayPtr emptySingle = Array({0, 0}, mxClassSingle);
    const ArrayPtr cplx = Array({1, 2}, mxClassDouble, mxComplexityComplex);
    for (const CMatrix *a : {emptyNd.get(), nd.get()}) {
        EXPECT_REJECTS(Norm(a, 2.0), COperationOnNDArrayNotDefinedException, kNDArray, a);
        EXPECT_REJECTS(Norm(a, 3.0), COperationOnNDArrayNotDefinedException, kNDArray, a);
        EXPECT_REJECTS(NormFro(a), COperationOnNDArrayNotDefinedException, kNDArray, a);
    }
    for (const CMatrix *a : {single.get(), emptySingle.get(), cplx.get()}) {
        EXPECT_REJECTS(Norm(a, 2.0), CNotImplementedException, kNotImplemented, a);
        EXPECT_REJECTS(NormFro(a), CNotImplementedException, kNotImplemented, a);
    }
    for (const Shape &s : std::vector<Shape>{{0, 0}, {0, 3}, {3, 0}}) {
        const ArrayPtr e = Array({s.m, s.n});
        EXPECT_EQ(Norm(e.get(), 2.0), 0.0);
        EXPECT_EQ(Norm(e.get(), 3.0), 0.0);
        EXPECT_EQ(NormFro(e.get()), 0.0);
    }
}

// The 2-norm is the largest singular value of reference LAPACK.
TEST(Norm, TwoNormAgreesWithDgesvd) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{2, 2}, {7, 5}, {5, 7}, {50, 10}, {10, 50},
                                             {64, 64}}) {
        const Dense a = Random(s.m, s.n, rng, Fill::kUniform);
        const double want = LargestSingularValue(a);
        EXPECT_NEAR(Norm(ToArray(a).get(), 2.0), want, 1e-12 * std::max(s.m, s.n) * want)
            << ToString(s);
    }
}

TEST(NormKernels, LeavePaddingAlone) {
    std::mt19937_64 rng(Seed());
    const Dense a = Random(6, 4, rng);
    Padded pa(a);
    std::vector<double> rows(6);
    bool valid;
    EXPECT_EQ(Bits(kernels::MatrixNorm1(6, 4, pa.Data(), pa.Ld())), Bits(ref::Norm(a, 1.0, valid)));
    EXPECT_EQ(Bits(kernels::MatrixNormInf(6, 4, pa.Data(), pa.Ld(), rows.data())),
              Bits(ref::Norm(a, kInf, valid)));
    EXPECT_EQ(Bits(kernels::FrobeniusNorm(6, 4, pa.Data(), pa.Ld())), Bits(ref::NormFro(a)));
    // Row 2 of the padded buffer as a strided vector.
    Dense row(1, 4);
    for (std::size_t j = 0; j < 4; ++j) row(0, j) = a(2, j);
    for (double p : kVectorPs) {
        EXPECT_EQ(Bits(kernels::VectorNorm(4, pa.Data() + 2, pa.Ld(), p)),
                  Bits(ref::Norm(row, p, valid)))
            << p;
    }
    EXPECT_TRUE(pa.PaddingIntact());
    const double w[] = {-3, 0, 5, 0, -5, 0};
    EXPECT_EQ(kernels::LargestMagnitude(3, w, 2), 5.0);
    EXPECT_EQ(kernels::LargestMagnitude(2, w + 4, 1), -5.0);
    const double unsettled[] = {kNaN, 7.0};
    EXPECT_TRUE(std::isnan(kernels::LargestMagnitude(2, unsettled, 1)));
}

TEST(Norm, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    const ArrayPtr a = ToArray(Random(6, 4, rng));
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    const auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); };
    EXPECT_GT(ForEachAllocationFailure([&] { Norm(a.get(), 2.0); }, unchanged), 0);
    ForEachAllocationFailure([&] { Norm(a.get(), kInf); }, unchanged);
}

}  // namespace
