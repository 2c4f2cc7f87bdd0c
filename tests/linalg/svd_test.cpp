// tests/linalg/svd_test.cpp: tests of the SVD kernel, its sort and permutation, Svd in both forms and Rank.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>

#include "linalg/kernels/svd_kernel.h"
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
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
namespace kernels = kiv::matrix::kernels;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kNDArray[] = L"Operation on ND array is not defined";
const double kEps = std::ldexp(1.0, -52);
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Tall, wide, square, single rows and columns; the empty shapes apart.
const std::vector<Shape> kSvdShapes = {{1, 1}, {2, 2},  {3, 3},  {7, 5},   {5, 7},  {1, 6},
                                       {6, 1}, {33, 33}, {40, 9}, {9, 40}, {100, 100}};

struct Factors {
    ArrayPtr u, s, v;
};

Factors Three(const CMatrix *a, bool economy) {
    CMatrix *u = nullptr, *s = nullptr, *v = nullptr;
    Svd(u, s, v, a, economy);
    return {ArrayPtr(u), ArrayPtr(s), ArrayPtr(v)};
}

// Singular values of reference LAPACK, largest first.
std::vector<double> Dgesvd(Dense a) {
    const int m = static_cast<int>(a.m), n = static_cast<int>(a.n);
    std::vector<double> s(std::min(a.m, a.n));
    int lwork = -1, info = 0, one = 1;
    double query;
    dgesvd_("N", "N", &m, &n, a.v.data(), &m, s.data(), nullptr, &one, nullptr, &one, &query,
            &lwork, &info, 1, 1);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    dgesvd_("N", "N", &m, &n, a.v.data(), &m, s.data(), nullptr, &one, nullptr, &one, work.data(),
            &lwork, &info, 1, 1);
    EXPECT_EQ(info, 0);
    return s;
}

struct KernelRun {
    Dense u, v;
    std::vector<double> w;
    std::size_t status = 99;
    bool intact = false;
};

// SvdDecompose on padded buffers, w with stride 2 (its gaps must stay).
KernelRun RunKernel(const Dense &a, bool vectors) {
    KernelRun out;
    Padded pa(a), pv(a.n, a.n, 2);
    std::vector<double> w(2 * a.n, -3.0);
    std::vector<double> work(kernels::SvdDecomposeWorkspace(a.m, a.n));
    out.status = kernels::SvdDecompose(a.m, a.n, pa.Data(), pa.Ld(), w.data(), 2,
                                       vectors ? pv.Data() : nullptr, pv.Ld(), work.data());
    out.intact = pa.PaddingIntact() && pv.PaddingIntact();
    for (std::size_t i = 0; i < a.n; ++i) {
        out.w.push_back(w[2 * i]);
        if (w[2 * i + 1] != -3.0) out.intact = false;
    }
    out.u = pa.Contents();
    out.v = pv.Contents();
    return out;
}

void ExpectSameBits(const std::vector<double> &got, const std::vector<double> &want,
                    const std::string &what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(Bits(got[i]), Bits(want[i])) << what << " [" << i << "]: " << got[i] << " vs "
                                               << want[i];
    }
}

TEST(SvdDecompose, SameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSvdShapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            Dense u = a, v;
            std::vector<double> w;
            const std::size_t status = ref::SvdDecompose(u, w, v);
            const KernelRun full = RunKernel(a, true);
            const std::string what = ToString(s);
            EXPECT_EQ(full.status, status) << what;
            ExpectSameBits(full.w, w, what + " w");
            linalg_test::ExpectSameBits(full.u, u, what + " U");
            linalg_test::ExpectSameBits(full.v, v, what + " V");
            EXPECT_TRUE(full.intact) << what;
            // The values alone come out the same without U and V.
            const KernelRun values = RunKernel(a, false);
            ExpectSameBits(values.w, w, what + " w without vectors");
            EXPECT_EQ(values.status, status) << what;
            EXPECT_TRUE(values.intact) << what;
        }
    }
}

// Rank-deficient and graded inputs reach the cancellation branch and
// zero singular values.
TEST(SvdDecompose, SameBitsOnDeficientAndGradedInputs) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{8, 5}, {5, 8}, {6, 6}, {20, 20}}) {
        const Dense b = Random(s.m, 2, rng, Fill::kUniform), c = Random(2, s.n, rng, Fill::kUniform);
        Dense graded = Random(s.m, s.n, rng, Fill::kUniform);
        for (std::size_t j = 0; j < s.n; ++j) {
            for (std::size_t i = 0; i < s.m; ++i) graded(i, j) = std::ldexp(graded(i, j), -4 * int(j));
        }
        Dense lower(s.m, s.n);  // bidiagonal already, zero diagonal entries
        for (std::size_t i = 0; i < std::min(s.m, s.n); ++i) {
            lower(i, i) = i % 3 == 1 ? 0.0 : 1.0 + i;
            if (i + 1 < s.n) lower(i, i + 1) = 0.5;
        }
        for (const Dense &a : {Gemm('N', 'N', 1.0, b, c, 0.0, Dense(s.m, s.n)), graded, lower,
                               Dense(s.m, s.n)}) {
            Dense u = a, v;
            std::vector<double> w;
            EXPECT_EQ(ref::SvdDecompose(u, w, v), 0u);
            const KernelRun got = RunKernel(a, true);
            EXPECT_EQ(got.status, 0u);
            ExpectSameBits(got.w, w, ToString(s) + " w");
            linalg_test::ExpectSameBits(got.u, u, ToString(s) + " U");
            linalg_test::ExpectSameBits(got.v, v, ToString(s) + " V");
        }
    }
}

// A NaN keeps every split test from passing: after the 30th test the value
// and all those below it are reported as the library's NaN.
TEST(SvdDecompose, ReportsUnsettledValuesAsNaN) {
    Dense a(3, 3, 1.0);
    a(1, 2) = kNaN;
    Dense u = a, v;
    std::vector<double> w;
    const std::size_t status = ref::SvdDecompose(u, w, v);
    const KernelRun got = RunKernel(a, true);
    EXPECT_GT(got.status, 0u);
    EXPECT_EQ(got.status, status);
    for (std::size_t i = 0; i < got.status; ++i) {
        EXPECT_EQ(Bits(got.w[i]), 0x7FFFFFFFFFFFFFFFull) << i;
    }
    ExpectSameBits(got.w, w, "w");
}

TEST(SortDescending, KeepsTiesInOrder) {
    const std::vector<double> values = {1, 3, 3, 2, 3, 0, -0.0, 0, kNaN, 5};
    std::vector<std::uint32_t> positions(values.size());
    kernels::SortDescending(values.size(), values.data(), 1, positions.data());
    // The threes and the zeros of either sign keep their order; 5 cannot
    // pass the NaN before it.
    EXPECT_EQ(positions, (std::vector<std::uint32_t>{1, 2, 4, 3, 0, 5, 6, 7, 8, 9}));
    EXPECT_EQ(positions, ref::SortDescending(values));
    std::mt19937_64 rng(Seed());
    std::uniform_int_distribution<int> small(0, 4);
    for (std::size_t n : {0, 1, 2, 7, 50}) {
        std::vector<double> v(2 * n + 1);
        for (double &x : v) x = small(rng);
        std::vector<std::uint32_t> p(n);
        kernels::SortDescending(n, v.data(), 2, p.data());
        std::vector<double> every;
        for (std::size_t i = 0; i < n; ++i) every.push_back(v[2 * i]);
        EXPECT_EQ(p, ref::SortDescending(every)) << n;
    }
}

TEST(PermuteColumns, MovesColumnsByCycles) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{1, 1}, {3, 5}, {0, 4}, {7, 9}, {4, 40}}) {
        const Dense a = Random(s.m, s.n, rng);
        std::vector<std::uint32_t> p(s.n);
        std::iota(p.begin(), p.end(), 0u);
        std::shuffle(p.begin(), p.end(), rng);
        Padded pa(a);
        std::vector<double> column(s.m + 1);
        std::vector<unsigned char> visited(s.n + 1);
        kernels::PermuteColumns(s.m, s.n, pa.Data(), pa.Ld(), p.data(), column.data(),
                                visited.data());
        Dense want = a;
        ref::PermuteColumns(want, p);
        linalg_test::ExpectSameBits(pa.Contents(), want, ToString(s));
        EXPECT_TRUE(pa.PaddingIntact()) << ToString(s);
    }
}

TEST(Svd, OneOutputSameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSvdShapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kZeroLine}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const ArrayPtr arg = ToArray(a);
            Dense want(std::min(s.m, s.n), 1);
            want.v = ref::SvdValues(a);
            for (bool economy : {false, true}) {
                const ArrayPtr got(Svd(arg.get(), economy));
                linalg_test::ExpectSameBits(got.get(), want, ToString(s));
            }
        }
    }
}

TEST(Svd, ThreeOutputsSameBitsAsStatedOrder) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kSvdShapes) {
        const Dense a = Random(s.m, s.n, rng, Fill::kZeroLine);
        const ArrayPtr arg = ToArray(a);
        for (bool economy : {false, true}) {
            Dense u, sv, v;
            ref::Svd(a, economy, u, sv, v);
            const Factors f = Three(arg.get(), economy);
            const std::string what = ToString(s) + (economy ? " economy" : "");
            linalg_test::ExpectSameBits(f.u.get(), u, what + " U");
            linalg_test::ExpectSameBits(f.s.get(), sv, what + " S");
            linalg_test::ExpectSameBits(f.v.get(), v, what + " V");
        }
    }
}

TEST(Svd, WorkedExamples) {
    const ArrayPtr d = Matrix(2, 2, {3, 0, 0, 4});
    EXPECT_EQ(Values(ArrayPtr(Svd(d.get(), false)).get()), (std::vector<double>{4, 3}));
    const ArrayPtr a = Matrix(2, 2, {1, 3, 2, 4});
    const std::vector<double> s = Values(ArrayPtr(Svd(a.get(), false)).get());
    ASSERT_EQ(s.size(), 2u);
    EXPECT_NEAR(s[0], 5.4649857042190426, 1e-14);
    EXPECT_NEAR(s[1], 0.36596619062625746, 1e-14);

    // 3 x 2 without economy: U 3 x 3, S 3 x 2 sorted, V 2 x 2, U*S*V' = A.
    const ArrayPtr b = Matrix(3, 2, {1, 2, 3, 4, 5, 6});
    const Factors f = Three(b.get(), false);
    EXPECT_EQ(Dims(f.u.get()), (DimList{3, 3}));
    EXPECT_EQ(Dims(f.s.get()), (DimList{3, 2}));
    EXPECT_EQ(Dims(f.v.get()), (DimList{2, 2}));
    const Dense sd = FromArray(f.s.get());
    EXPECT_GE(sd(0, 0), sd(1, 1));
    EXPECT_GE(sd(1, 1), 0.0);
    const Dense us = Gemm('N', 'N', 1.0, FromArray(f.u.get()), sd, 0.0, Dense(3, 2));
    const Dense r = Gemm('N', 'T', 1.0, us, FromArray(f.v.get()), -1.0, FromArray(b.get()));
    EXPECT_LE(Norm1(r), 30.0 * 3 * kEps * Norm1(FromArray(b.get())));
}

// Conformant factors for every shape and both sizes: A = U*S*V' with
// orthonormal columns in U and V and a sorted non-negative diagonal S.
TEST(Svd, FactorsAreConformantForEveryShape) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = kSvdShapes;
    shapes.insert(shapes.end(), {{50, 10}, {10, 50}, {2, 1}, {1, 2}});
    for (const Shape &s : shapes) {
        const Dense a = Random(s.m, s.n, rng, Fill::kUniform);
        const ArrayPtr arg = ToArray(a);
        for (bool economy : {false, true}) {
            const Factors f = Three(arg.get(), economy);
            const unsigned int k = std::min(s.m, s.n);
            const std::string what = ToString(s) + (economy ? " economy" : "");
            EXPECT_EQ(Dims(f.u.get()), (DimList{s.m, economy ? k : s.m})) << what;
            EXPECT_EQ(Dims(f.s.get()), (DimList{economy ? k : s.m, economy ? k : s.n})) << what;
            EXPECT_EQ(Dims(f.v.get()), (DimList{s.n, economy ? k : s.n})) << what;
            const Dense u = FromArray(f.u.get()), sd = FromArray(f.s.get()),
                        v = FromArray(f.v.get());
            const Dense us = Gemm('N', 'N', 1.0, u, sd, 0.0, Dense(u.m, sd.n));
            const Dense r = Gemm('N', 'T', 1.0, us, v, -1.0, a);
            const double mn = std::max(s.m, s.n);
            EXPECT_LE(Norm1(r), 30.0 * mn * kEps * Norm1(a)) << what << " A - U*S*V'";
            const Dense utu = Gemm('T', 'N', 1.0, u, u, -1.0, Identity(u.n));
            const Dense vtv = Gemm('T', 'N', 1.0, v, v, -1.0, Identity(v.n));
            EXPECT_LE(Norm1(utu), 30.0 * mn * kEps) << what << " U'U - I";
            EXPECT_LE(Norm1(vtv), 30.0 * mn * kEps) << what << " V'V - I";
            for (std::size_t i = 0; i < k; ++i) {
                EXPECT_GE(sd(i, i), 0.0) << what;
                if (i > 0) {
                    EXPECT_LE(sd(i, i), sd(i - 1, i - 1)) << what;
                }
            }
        }
    }
}

// Empty operands: the one-output form gives 0 x 1; the three-output form
// the shapes of every other A, with U and V leading identity columns.
TEST(Svd, EmptyOperands) {
    for (const Shape &s : std::vector<Shape>{{0, 0}, {0, 3}, {3, 0}}) {
        const ArrayPtr a = Array({s.m, s.n});
        EXPECT_EQ(Dims(ArrayPtr(Svd(a.get(), false)).get()), (DimList{0, 1}));
        EXPECT_EQ(Dims(ArrayPtr(Svd(a.get(), true)).get()), (DimList{0, 1}));
        const unsigned int k = std::min(s.m, s.n);
        for (bool economy : {false, true}) {
            const Factors f = Three(a.get(), economy);
            const std::string what = ToString(s) + (economy ? " economy" : "");
            const DimList u{s.m, economy ? k : s.m}, v{s.n, economy ? k : s.n};
            EXPECT_EQ(Dims(f.u.get()), u) << what;
            EXPECT_EQ(Dims(f.s.get()), (DimList{economy ? k : s.m, economy ? k : s.n})) << what;
            EXPECT_EQ(Dims(f.v.get()), v) << what;
            linalg_test::ExpectSameBits(FromArray(f.u.get()),
                                        FromArray(ArrayPtr(Eye(u[0], u[1])).get()), what + " U");
            linalg_test::ExpectSameBits(FromArray(f.v.get()),
                                        FromArray(ArrayPtr(Eye(v[0], v[1])).get()), what + " V");
        }
    }
    // The written examples: 3 x 0 with economy: U 3 x 0, S and V 0 x 0;
    // without: U = I(3), S 3 x 0, V 0 x 0.
    const ArrayPtr a = Array({3, 0});
    const Factors e = Three(a.get(), true);
    EXPECT_EQ(Dims(e.u.get()), (DimList{3, 0}));
    EXPECT_EQ(Dims(e.s.get()), (DimList{0, 0}));
    EXPECT_EQ(Dims(e.v.get()), (DimList{0, 0}));
    const Factors g = Three(a.get(), false);
    EXPECT_EQ(Values(g.u.get()), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(Dims(g.s.get()), (DimList{3, 0}));
    EXPECT_EQ(Dims(g.v.get()), (DimList{0, 0}));
}

// Equal singular values keep the kernel's order: diag(1, 3, 3, 2) leaves
// them in place, so the two threes keep the first and second unit vectors.
TEST(Svd, EqualValuesKeepTheirOrder) {
    const ArrayPtr a = Matrix(4, 4, {1, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 2});
    const Factors f = Three(a.get(), false);
    const Dense u = FromArray(f.u.get()), v = FromArray(f.v.get());
    EXPECT_EQ(Values(ArrayPtr(Diag(f.s.get(), 0)).get()), (std::vector<double>{3, 3, 2, 1}));
    EXPECT_EQ(std::fabs(u(1, 0)), 1.0);
    EXPECT_EQ(std::fabs(u(2, 1)), 1.0);
    EXPECT_EQ(std::fabs(v(1, 0)), 1.0);
    EXPECT_EQ(std::fabs(v(2, 1)), 1.0);
    Dense ru, rs, rv;
    ref::Svd(FromArray(a.get()), false, ru, rs, rv);
    linalg_test::ExpectSameBits(u, ru, "U");
    linalg_test::ExpectSameBits(v, rv, "V");
}

TEST(Svd, ReportsUnsettledValuesAsNaN) {
    const ArrayPtr a = Matrix(3, 3, {1, 1, 1, 1, 1, 1, 1, kNaN, 1});
    const std::vector<double> s = Values(ArrayPtr(Svd(a.get(), false)).get());
    EXPECT_TRUE(std::isnan(s[0]));
    const Factors f = Three(a.get(), false);
    EXPECT_TRUE(std::isnan(FromArray(f.s.get())(0, 0)));
    EXPECT_EQ(Rank(a.get()), 0u);
    EXPECT_TRUE(std::isnan(Norm(a.get(), 2.0)));
}

TEST(Svd, ResultsAreNotLogical) {
    ArrayPtr a = Matrix(2, 3, {1, 0, 1, 1, 0, 1});
    a->SetLogical();
    const Factors f = Three(a.get(), false);
    EXPECT_FALSE(mxIsLogical(f.u.get()) || mxIsLogical(f.s.get()) || mxIsLogical(f.v.get()));
    EXPECT_FALSE(mxIsLogical(ArrayPtr(Svd(a.get(), false)).get()));
}

// N-d arrays first (empty ones too), then other classes and complex
// operands; the outputs are null after a failure.
TEST(Svd, RefusesInOrder) {
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr emptyNd = Array({0, 2, 2});
    const ArrayPtr single = Array({2, 2}, mxClassSingle);
    const ArrayPtr emptySingle = Array({0, 2}, mxClassSingle);
    const ArrayPtr cell = Array({2, 1}, mxClassCell);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    CMatrix *dummy = Scalar(1.0);
    CMatrix *u = dummy, *s = dummy, *v = dummy;
    for (const CMatrix *a : {nd.get(), emptyNd.get()}) {
        EXPECT_REJECTS(Svd(a, false), COperationOnNDArrayNotDefinedException, kNDArray, a);
        EXPECT_REJECTS(Svd(u, s, v, a, true), COperationOnNDArrayNotDefinedException, kNDArray, a);
        EXPECT_TRUE(u == nullptr && s == nullptr && v == nullptr);
        u = s = v = dummy;
    }
    for (const CMatrix *a : {single.get(), emptySingle.get(), cell.get(), cplx.get()}) {
        EXPECT_REJECTS(Svd(a, false), CNotImplementedException, kNotImplemented, a);
        EXPECT_REJECTS(Svd(u, s, v, a, false), CNotImplementedException, kNotImplemented, a);
        EXPECT_TRUE(u == nullptr && s == nullptr && v == nullptr);
        u = s = v = dummy;
    }
    mxDestroyArray(dummy);
}

// Against reference LAPACK: relative 1e-12 * max(m, n) of the largest.
TEST(Svd, ValuesAgreeWithDgesvd) {
    std::mt19937_64 rng(Seed());
    std::vector<Shape> shapes = kSvdShapes;
    shapes.insert(shapes.end(), {{50, 10}, {10, 50}, {64, 63}});
    for (const Shape &s : shapes) {
        for (Fill fill : {Fill::kGeneral, Fill::kUniform}) {
            const Dense a = Random(s.m, s.n, rng, fill);
            const std::vector<double> want = Dgesvd(a);
            const ArrayPtr arg = ToArray(a);
            const std::vector<double> got = Values(ArrayPtr(Svd(arg.get(), false)).get());
            const Factors f = Three(arg.get(), true);
            const Dense sd = FromArray(f.s.get());
            ASSERT_EQ(got.size(), want.size());
            const double tol = 1e-12 * std::max(s.m, s.n) * want[0];
            for (std::size_t i = 0; i < want.size(); ++i) {
                EXPECT_NEAR(got[i], want[i], tol) << ToString(s) << " [" << i << "]";
                EXPECT_NEAR(sd(i, i), want[i], tol) << ToString(s) << " three outputs";
            }
        }
    }
}

TEST(Svd, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{5, 3}, {3, 5}, {0, 3}, {4, 4}}) {
        const ArrayPtr a = ToArray(Random(s.m, s.n, rng));
        const ArraySnapshot before = ArraySnapshot::Of(a.get());
        for (bool economy : {false, true}) {
            CMatrix *u, *sv, *v;
            const int points = ForEachAllocationFailure(
                [&] {
                    Svd(u, sv, v, a.get(), economy);
                    mxDestroyArray(u);
                    mxDestroyArray(sv);
                    mxDestroyArray(v);
                },
                [&] {
                    EXPECT_TRUE(u == nullptr && sv == nullptr && v == nullptr);
                    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
                });
            EXPECT_GT(points, 2) << ToString(s);
        }
        const auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); };
        EXPECT_GT(ForEachAllocationFailure([&] { const ArrayPtr r(Svd(a.get(), false)); }, unchanged),
                  0);
        ForEachAllocationFailure([&] { Rank(a.get()); }, unchanged);
        ForEachAllocationFailure([&] { Rank(a.get(), 0.5); }, unchanged);
    }
}

TEST(Rank, WorkedExamples) {
    const ArrayPtr a = Matrix(2, 2, {1, 2, 2, 4});
    EXPECT_EQ(Rank(a.get()), 1u);
    EXPECT_EQ(Rank(ArrayPtr(Array({0, 3})).get()), 0u);
    const ArrayPtr b = Matrix(2, 2, {3, 0, 0, 4});
    EXPECT_EQ(Rank(b.get(), 5.0), 0u);
    EXPECT_EQ(Rank(b.get(), 3.5), 1u);
    EXPECT_EQ(Rank(b.get()), 2u);
}

// Only values strictly above the tolerance count: the zero matrix has rank
// 0 (its default tolerance is 0), and a value equal to tol is left out.
TEST(Rank, CountsOnlyValuesAboveTheTolerance) {
    for (const Shape &s : std::vector<Shape>{{1, 1}, {3, 3}, {4, 2}, {2, 5}}) {
        const ArrayPtr z = ToArray(Dense(s.m, s.n));
        EXPECT_EQ(Rank(z.get()), 0u) << ToString(s);
        EXPECT_EQ(Rank(z.get(), 0.0), 0u) << ToString(s);
    }
    const ArrayPtr b = Matrix(2, 2, {3, 0, 0, 4});
    EXPECT_EQ(Rank(b.get(), 3.0), 1u);
    EXPECT_EQ(Rank(b.get(), 4.0), 0u);
    EXPECT_EQ(Rank(b.get(), -1.0), 2u);
}

// Products of m x k and k x n factors have rank k.
TEST(Rank, FindsKnownRanks) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : std::vector<Shape>{{6, 6}, {10, 4}, {4, 10}, {30, 20}}) {
        for (std::size_t k = 0; k <= std::min(s.m, s.n); ++k) {
            const Dense b = Random(s.m, k, rng, Fill::kUniform);
            const Dense c = Random(k, s.n, rng, Fill::kUniform);
            const ArrayPtr a = ToArray(Gemm('N', 'N', 1.0, b, c, 0.0, Dense(s.m, s.n)));
            EXPECT_EQ(Rank(a.get()), k) << ToString(s);
        }
    }
}

// Empty operands come before every check; the others are Svd's.
TEST(Rank, RefusesInOrder) {
    const ArrayPtr emptyNd = Array({0, 2, 2});
    const ArrayPtr emptySingle = Array({2, 0}, mxClassSingle);
    EXPECT_EQ(Rank(emptyNd.get()), 0u);
    EXPECT_EQ(Rank(emptySingle.get(), 1.0), 0u);
    const ArrayPtr nd = Array({2, 2, 2}, mxClassSingle);
    const ArrayPtr cplx = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    EXPECT_REJECTS(Rank(nd.get()), COperationOnNDArrayNotDefinedException, kNDArray, nd.get());
    EXPECT_REJECTS(Rank(nd.get(), 1.0), COperationOnNDArrayNotDefinedException, kNDArray,
                   nd.get());
    EXPECT_REJECTS(Rank(cplx.get()), CNotImplementedException, kNotImplemented, cplx.get());
    EXPECT_REJECTS(Rank(cplx.get(), 1.0), CNotImplementedException, kNotImplemented, cplx.get());
}

}  // namespace
