// tests/linalg/lu_test.cpp: tests of Lu in both forms and of Det.
#include <matrix/matrix.h>

#include <cmath>
#include <random>

#include "linalg/linalg_test_util.h"
#include "linalg/reference.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNDArray[] = L"Operation on ND array is not defined";
const wchar_t kSquare[] = L"Matrix must be square";
const double kEps = std::ldexp(1.0, -52);

struct LuResult {
    ArrayPtr l, u, p;
};

LuResult Three(const CMatrix *a) {
    CMatrix *l, *u, *p;
    Lu(l, u, p, a);
    return {ArrayPtr(l), ArrayPtr(u), ArrayPtr(p)};
}

LuResult Two(const CMatrix *a) {
    CMatrix *l, *u;
    Lu(l, u, a);
    return {ArrayPtr(l), ArrayPtr(u), nullptr};
}

TEST(Lu, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSquareShapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            Dense l, u, p, l2, u2;
            ref::Lu(a, l, u, p);
            ref::Lu(a, l2, u2);
            const LuResult three = Three(arg.get()), two = Two(arg.get());
            ExpectSameBits(three.l.get(), l, ToString(s) + " L");
            ExpectSameBits(three.u.get(), u, ToString(s) + " U");
            ExpectSameBits(three.p.get(), p, ToString(s) + " P");
            ExpectSameBits(two.l.get(), l2, ToString(s) + " permuted L");
            ExpectSameBits(two.u.get(), u2, ToString(s) + " U of two");
            EXPECT_EQ(matrix_test::Bits(Det(arg.get())), matrix_test::Bits(ref::Det(a)))
                << ToString(s) << " Det";
        }
    }
}

TEST(Lu, FactorisesOneTwoThreeFour) {
    const ArrayPtr a = Matrix(2, 2, {1, 3, 2, 4});
    const LuResult three = Three(a.get());
    EXPECT_EQ(Values(three.p.get()), (std::vector<double>{0, 1, 1, 0}));
    EXPECT_EQ(Values(three.l.get()), (std::vector<double>{1, 1.0 / 3.0, 0, 1}));
    const std::vector<double> u = Values(three.u.get());
    EXPECT_EQ(u[0], 3.0);
    EXPECT_EQ(u[1], 0.0);
    EXPECT_EQ(u[2], 4.0);
    EXPECT_NEAR(u[3], 2.0 / 3.0, 2 * kEps);
    const LuResult two = Two(a.get());
    EXPECT_EQ(Values(two.l.get()), (std::vector<double>{1.0 / 3.0, 1, 1, 0}));
    EXPECT_EQ(Values(two.u.get()), u);
}

// P*A = L*U (and A = L*U for the two-output L) as scaled residuals.
TEST(Lu, FactorsReconstructA) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 50}) {
        const Dense a = Random(n, n, rng, Fill::kUniform);
        const ArrayPtr arg = ToArray(a);
        const LuResult three = Three(arg.get()), two = Two(arg.get());
        const Dense l = FromArray(three.l.get()), u = FromArray(three.u.get());
        const Dense pa = Gemm('N', 'N', 1.0, FromArray(three.p.get()), a, 0.0, Dense(n, n));
        const double scale = static_cast<double>(n) * Norm1(a) * kEps;
        EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, l, u, 1.0, pa)) / scale, 30.0) << n;
        const Dense l2 = FromArray(two.l.get());
        EXPECT_LT(Norm1(Gemm('N', 'N', -1.0, l2, u, 1.0, a)) / scale, 30.0) << n;
    }
}

TEST(Lu, EmptyMatrixGivesEmptyFactors) {
    const ArrayPtr a = Array({0, 0});
    const LuResult three = Three(a.get()), two = Two(a.get());
    for (const CMatrix *x : {three.l.get(), three.u.get(), three.p.get(), two.l.get(),
                             two.u.get()}) {
        EXPECT_EQ(Dims(x), (DimList{0, 0}));
        EXPECT_TRUE(mxIsDouble(x));
    }
}

TEST(Lu, LIsNotLogical) {
    ArrayPtr a = Matrix(2, 2, {1, 1, 0, 1});
    a->SetLogical();
    const LuResult three = Three(a.get());
    EXPECT_FALSE(mxIsLogical(three.l.get()));
    EXPECT_FALSE(mxIsLogical(three.u.get()));
    EXPECT_TRUE(mxIsLogical(a.get()));
}

TEST(Lu, RefusesInOrder) {
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr single = Array({2, 3}, mxClassSingle);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    const ArrayPtr wide = Array({2, 3});
    CMatrix *dummy = Scalar(1.0);
    struct Case {
        const CMatrix *a;
        int which;  // 0 N-d, 1 class, 2 square
    };
    for (const Case &t : std::vector<Case>{{nd.get(), 0}, {single.get(), 1}, {cplx.get(), 1},
                                           {wide.get(), 2}}) {
        CMatrix *l = dummy, *u = dummy, *p = dummy;
        if (t.which == 0) {
            EXPECT_REJECTS(Lu(l, u, p, t.a), COperationOnNDArrayNotDefinedException, kNDArray, t.a);
            EXPECT_REJECTS(Lu(l, u, t.a), COperationOnNDArrayNotDefinedException, kNDArray, t.a);
        } else if (t.which == 1) {
            EXPECT_REJECTS(Lu(l, u, p, t.a), CNotImplementedException, kNotImplemented, t.a);
            EXPECT_REJECTS(Lu(l, u, t.a), CNotImplementedException, kNotImplemented, t.a);
        } else {
            EXPECT_REJECTS(Lu(l, u, p, t.a), CMatrixMustBeSquareException, kSquare, t.a);
            EXPECT_REJECTS(Lu(l, u, t.a), CMatrixMustBeSquareException, kSquare, t.a);
        }
        EXPECT_TRUE(l == nullptr && u == nullptr && p == nullptr);
    }
    mxDestroyArray(dummy);
}

TEST(Lu, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    const ArrayPtr a = ToArray(Random(6, 6, rng));
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    for (bool three : {true, false}) {
        CMatrix *l, *u, *p = nullptr;
        const int points = ForEachAllocationFailure(
            [&] {
                if (three) {
                    Lu(l, u, p, a.get());
                } else {
                    Lu(l, u, a.get());
                }
                mxDestroyArray(l);
                mxDestroyArray(u);
                mxDestroyArray(p);
            },
            [&] {
                EXPECT_TRUE(l == nullptr && u == nullptr && p == nullptr);
                EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
            });
        EXPECT_GT(points, 3);
    }
}

TEST(Det, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    const ArrayPtr a = ToArray(Random(6, 6, rng));
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    const int points = ForEachAllocationFailure(
        [&] { Det(a.get()); }, [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); });
    EXPECT_GT(points, 1);
}

TEST(Det, WorkedExamples) {
    EXPECT_NEAR(Det(Matrix(2, 2, {1, 3, 2, 4}).get()), -2.0, 4 * kEps);
    EXPECT_EQ(Det(Array({0, 0}).get()), 1.0);
    // Two substituted pivots of 1e-20 and one interchange.
    EXPECT_EQ(matrix_test::Bits(Det(Matrix(2, 2, {0, 0, 0, 0}).get())),
              matrix_test::Bits(-(1.0e-20 * 1.0e-20)));
    EXPECT_EQ(Det(Matrix(1, 1, {-4}).get()), -4.0);
}

TEST(Det, IgnoresImaginaryPart) {
    ArrayPtr c = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    const double re[] = {1, 3, 2, 4}, im[] = {5, -1, 7, 2};
    std::copy(re, re + 4, mxGetPr(c.get()));
    std::copy(im, im + 4, mxGetPi(c.get()));
    EXPECT_EQ(Det(c.get()), Det(Matrix(2, 2, {1, 3, 2, 4}).get()));
}

// N-d before the class, the class before emptiness, emptiness before the
// square test (so a 0x3 matrix is refused).
TEST(Det, RefusesInOrder) {
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr single = Array({0, 0}, mxClassSingle);
    const ArrayPtr flat = Array({0, 3}), wide = Array({2, 3});
    EXPECT_REJECTS(Det(nd.get()), COperationOnNDArrayNotDefinedException, kNDArray, nd.get());
    EXPECT_REJECTS(Det(single.get()), CNotImplementedException, kNotImplemented, single.get());
    EXPECT_REJECTS(Det(flat.get()), CMatrixMustBeSquareException, kSquare, flat.get());
    EXPECT_REJECTS(Det(wide.get()), CMatrixMustBeSquareException, kSquare, wide.get());
}

// Against the product of the diagonal of LAPACK's dgetrf, with the sign of
// its interchanges.
TEST(Det, AgreesWithLapack) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 50, 100}) {
        for (bool dominant : {true, false}) {
            Dense a = dominant ? DiagonallyDominant(n, rng) : Random(n, n, rng, Fill::kUniform);
            const double det = Det(ToArray(a).get());
            const int ni = static_cast<int>(n);
            std::vector<int> ipiv(n);
            int info = 0;
            dgetrf_(&ni, &ni, a.v.data(), &ni, ipiv.data(), &info);
            ASSERT_EQ(info, 0);
            double want = 1.0;
            for (std::size_t i = 0; i < n; ++i) {
                want *= a(i, i);
                if (ipiv[i] != static_cast<int>(i + 1)) want = -want;
            }
            EXPECT_LE(std::fabs(det - want), (dominant ? 1e-13 : 1e-10) * std::fabs(want))
                << "n=" << n;
        }
    }
}

}  // namespace
