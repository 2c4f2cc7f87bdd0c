// tests/reduce/data_analysis_test.cpp: differences, order statistics,
// spreads, covariance, windows and trapezoids on closed forms and on values
// computed once with NumPy.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

void ExpectValues(const CMatrix *r, const DimList &dims, const ValueList &want, double tol = 0) {
    EXPECT_EQ(Dims(r), dims);
    const ValueList got = AnyValues(r);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        if (std::isnan(want[k])) {
            EXPECT_TRUE(std::isnan(got[k])) << k;
        } else if (tol == 0) {
            EXPECT_EQ(Bits(got[k]), Bits(want[k])) << k << ": " << got[k] << " vs " << want[k];
        } else {
            EXPECT_NEAR(got[k], want[k], tol * std::fabs(want[k])) << k;
        }
    }
}

// ExpectValues, reporting the caller's line.
#define EXPECT_VALUES(...)         \
    do {                           \
        SCOPED_TRACE(__LINE__);    \
        ExpectValues(__VA_ARGS__); \
    } while (0)

// Differences of polynomial sequences are exact: the third difference of
// k^3 is 6, the fourth 0; along rows, and the recursive default dimension.
TEST(DataAnalysis, Diff) {
    ValueList cubes;
    for (int k = 0; k < 8; ++k) cubes.push_back(double(k) * k * k - 4 * k + 7);
    const ArrayPtr c = Row(cubes);
    EXPECT_VALUES(ArrayPtr(Diff(c.get(), 3, 0)).get(), {1, 5}, {6, 6, 6, 6, 6});
    EXPECT_VALUES(ArrayPtr(Diff(c.get(), 4, 2)).get(), {1, 4}, {0, 0, 0, 0});
    EXPECT_VALUES(ArrayPtr(Diff(c.get(), 9, 0)).get(), {1, 0}, {});
    EXPECT_VALUES(ArrayPtr(Diff(c.get(), 1, 1)).get(), {0, 8}, {});
    const ArrayPtr m = Matrix(2, 3, {1, 4, 2, 8, 7, 1});  // [1 2 7; 4 8 1]
    EXPECT_VALUES(ArrayPtr(Diff(m.get(), 1, 0)).get(), {1, 3}, {3, 6, -6});
    EXPECT_VALUES(ArrayPtr(Diff(m.get(), 2, 0)).get(), {1, 2}, {3, -12});
    EXPECT_VALUES(ArrayPtr(Diff(m.get(), 1, 2)).get(), {2, 2}, {1, 4, 5, -7});
    // Integers saturate in their class; char and logical give double.
    const ArrayPtr i8 = TypedRow(mxClassInt8, {-100, 100, -100});
    const ArrayPtr d8(Diff(i8.get(), 1, 0));
    EXPECT_EQ(d8->GetClassID(), mxClassInt8);
    EXPECT_VALUES(d8.get(), {1, 2}, {127, -128});
    const ArrayPtr u8(Diff(ArrayPtr(TypedRow(mxClassUint8, {5, 3})).get(), 1, 0));
    EXPECT_VALUES(u8.get(), {1, 1}, {0});
    const ArrayPtr ch(Diff(ArrayPtr(Chars({1, 3}, "acb")).get(), 1, 0));
    EXPECT_EQ(ch->GetClassID(), mxClassDouble);
    EXPECT_VALUES(ch.get(), {1, 2}, {2, -1});
}

// The trapezoidal rule is exact for linear functions on any points.
TEST(DataAnalysis, TrapzOfLinearFunctionsIsExact) {
    const ValueList x = {-1, -0.5, 0.25, 2, 3.5};
    ValueList y, integral;
    for (double v : x) y.push_back(3 * v + 2);
    for (double v : x) integral.push_back(1.5 * (v * v - 1) + 2 * (v + 1));
    const ArrayPtr X = Row(x), Y = Row(y);
    EXPECT_VALUES(ArrayPtr(Trapz(X.get(), Y.get(), 0)).get(), {1, 1}, {integral.back()});
    EXPECT_VALUES(ArrayPtr(Cumtrapz(X.get(), Y.get(), 0)).get(), {1, 5}, integral);
    const ArrayPtr unit = Matrix(3, 2, {1, 3, 5, 2, 2, 2});
    EXPECT_VALUES(ArrayPtr(Trapz(nullptr, unit.get(), 0)).get(), {1, 2}, {6, 4});
    EXPECT_VALUES(ArrayPtr(Trapz(ArrayPtr(Scalar(0.5)).get(), unit.get(), 2)).get(), {3, 1},
                  {0.75, 1.25, 1.75});
    EXPECT_VALUES(ArrayPtr(Trapz(nullptr, ArrayPtr(Scalar(4)).get(), 0)).get(), {1, 1}, {0});
}

// Medians and percentiles against NumPy 1.24: np.median, and
// np.percentile(x, p, method='hazen'), the interpolation of sorted data
// taken as the percentiles 100 (k - 0.5) / n.
TEST(DataAnalysis, MedianAndPercentilesAgainstNumPy) {
    const ArrayPtr x = Row({3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5});
    const ArrayPtr y = Col({2.5, -1, 7, 0.25, 3, 8});
    EXPECT_VALUES(ArrayPtr(Median(x.get(), 0, NanFlag::kInclude)).get(), {1, 1}, {4});
    EXPECT_VALUES(ArrayPtr(Median(y.get(), 0, NanFlag::kInclude)).get(), {1, 1}, {2.75});
    EXPECT_VALUES(
        ArrayPtr(Prctile(x.get(), ArrayPtr(Row({0, 10, 25, 50, 73, 100})).get(), 0)).get(), {1, 6},
        {1.0, 1.0, 2.25, 4.0, 5.0, 9.0}, 1e-15);
    EXPECT_VALUES(ArrayPtr(Prctile(y.get(), ArrayPtr(Row({5, 30, 50, 90})).get(), 0)).get(), {4, 1},
                  {-1.0, 0.9249999999999996, 2.75, 7.9}, 1e-15);
    EXPECT_VALUES(ArrayPtr(Quantile(y.get(), ArrayPtr(Row({0.3})).get(), 0)).get(), {1, 1},
                  {0.9249999999999996}, 1e-15);
    // The average of the two middles does not overflow; NaN lines; omitnan.
    const ArrayPtr huge = Row({1.5e308, 1.7e308});
    EXPECT_VALUES(ArrayPtr(Median(huge.get(), 0, NanFlag::kInclude)).get(), {1, 1}, {1.6e308},
                  1e-15);
    const ArrayPtr withNaN = Matrix(3, 2, {1, kNaN, 4, 2, 8, 3});
    EXPECT_VALUES(ArrayPtr(Median(withNaN.get(), 0, NanFlag::kInclude)).get(), {1, 2}, {kNaN, 3});
    EXPECT_VALUES(ArrayPtr(Median(withNaN.get(), 0, NanFlag::kOmit)).get(), {1, 2}, {2.5, 3});
    EXPECT_VALUES(ArrayPtr(Median(withNaN.get(), DimList{}, NanFlag::kOmit)).get(), {1, 1}, {3});
    // Integers average exactly, halves away from zero, int64 beyond 2^53.
    const ArrayPtr i64 = Typed<std::int64_t>(mxClassInt64, {1, 2}, {INT64_MAX, INT64_MAX - 2});
    const ArrayPtr m64(Median(i64.get(), 0, NanFlag::kInclude));
    EXPECT_EQ(static_cast<const std::int64_t *>(m64->GetPr())[0], INT64_MAX - 1);
    EXPECT_VALUES(
        ArrayPtr(Median(ArrayPtr(TypedRow(mxClassInt8, {-3, -2})).get(), 0, NanFlag::kInclude))
            .get(),
        {1, 1}, {-3});
}

TEST(DataAnalysis, ModeRangeAndBounds) {
    const ArrayPtr a = Row({4, 2, kNaN, 4, 2, 7});
    CMatrix *m = nullptr, *f = nullptr, *c = nullptr;
    Mode(m, f, &c, a.get(), 0);
    const ArrayPtr M(m), F(f), C(c);
    EXPECT_VALUES(M.get(), {1, 1}, {2});
    EXPECT_VALUES(F.get(), {1, 1}, {2});
    EXPECT_VALUES(mxGetCell(C.get(), 0), {2, 1}, {2, 4});
    EXPECT_VALUES(ArrayPtr(Range(a.get(), 0)).get(), {1, 1}, {5});
    const ArrayPtr r8(Range(ArrayPtr(TypedRow(mxClassInt8, {-100, 100})).get(), 0));
    EXPECT_VALUES(r8.get(), {1, 1}, {127});
}

// Weights: 1 divides by n, a vector weighs the squared deviations; weight
// 0 along one dimension is Var itself.
TEST(DataAnalysis, WeightedSpreads) {
    const ArrayPtr x = Row({1, 3, 100, 200});
    const ArrayPtr one = Row({1}), w = Row({1, 1, 0, 0}), zero = Row({0});
    EXPECT_VALUES(
        ArrayPtr(VarWeighted(ArrayPtr(Row({1, 2, 3, 4})).get(), one.get(), {0}, false)).get(),
        {1, 1}, {1.25});
    EXPECT_VALUES(ArrayPtr(VarWeighted(x.get(), w.get(), {0}, false)).get(), {1, 1}, {1});
    EXPECT_VALUES(ArrayPtr(VarWeighted(x.get(), w.get(), {2}, true)).get(), {1, 1}, {1});
    const ArrayPtr m = Counted({3, 4, 2}, 1.0);
    for (unsigned dim = 1; dim <= 4; ++dim) {
        EXPECT_TRUE(SameArray(ArrayPtr(VarWeighted(m.get(), zero.get(), {dim}, false)).get(),
                              ArrayPtr(Var(m.get(), dim)).get()));
    }
    // Over several dimensions: the line of the listed subscripts.
    EXPECT_VALUES(ArrayPtr(VarWeighted(m.get(), nullptr, {1, 3}, false)).get(), {1, 4},
                  {44, 44, 44, 44});
    EXPECT_THROW(ArrayPtr(VarWeighted(x.get(), ArrayPtr(Row({1, -1, 1, 1})).get(), {0}, false)),
                 CFunctionErrorException);
}

TEST(DataAnalysis, CovarianceAndCorrelation) {
    const ArrayPtr x = Row({1, 3}), y = Row({2, 6});
    EXPECT_VALUES(ArrayPtr(Cov(x.get(), y.get(), false)).get(), {2, 2}, {2, 4, 4, 8});
    EXPECT_VALUES(ArrayPtr(Cov(x.get(), y.get(), true)).get(), {2, 2}, {1, 2, 2, 4});
    EXPECT_VALUES(ArrayPtr(Corrcoef(x.get(), y.get())).get(), {2, 2}, {1, 1, 1, 1});
    const ArrayPtr X = Matrix(3, 2, {1, 2, 3, 3, 1, 2});
    EXPECT_VALUES(ArrayPtr(Cov(X.get(), false)).get(), {2, 2}, {1, -0.5, -0.5, 1});
    EXPECT_VALUES(ArrayPtr(Corrcoef(X.get())).get(), {2, 2}, {1, -0.5, -0.5, 1});
    EXPECT_VALUES(ArrayPtr(Cov(ArrayPtr(Array({0, 0})).get(), false)).get(), {1, 1}, {kNaN});
}

TEST(DataAnalysis, MovingWindows) {
    const ArrayPtr a = Row({1, 3, 2, 5, 4});
    const struct {
        MovingKind kind;
        unsigned kb, kf;
        ValueList want;
    } rows[] = {
        {MovingKind::kSum, 1, 1, {4, 6, 10, 11, 9}},
        {MovingKind::kMean, 1, 1, {2, 2, 10.0 / 3, 11.0 / 3, 4.5}},
        {MovingKind::kMax, 1, 0, {1, 3, 3, 5, 5}},
        {MovingKind::kMin, 0, 2, {1, 2, 2, 4, 4}},
        {MovingKind::kMedian, 2, 2, {2, 2.5, 3, 3.5, 4}},
    };
    for (const auto &row : rows) {
        EXPECT_VALUES(
            ArrayPtr(Moving(a.get(), row.kind, row.kb, row.kf, 0, NanFlag::kInclude)).get(), {1, 5},
            row.want);
    }
    const ArrayPtr n = Row({1, kNaN, 3});
    EXPECT_VALUES(ArrayPtr(Moving(n.get(), MovingKind::kMean, 1, 1, 0, NanFlag::kInclude)).get(),
                  {1, 3}, {kNaN, kNaN, kNaN});
    EXPECT_VALUES(ArrayPtr(Moving(n.get(), MovingKind::kMean, 1, 1, 0, NanFlag::kOmit)).get(),
                  {1, 3}, {1, 2, 3});
}

TEST(DataAnalysis, NormestRescaleNormalize) {
    unsigned int count = 0;
    EXPECT_NEAR(Normest(ArrayPtr(Matrix(2, 2, {3, 0, 0, 1})).get(), 1e-6, &count), 3, 3e-6);
    EXPECT_GT(count, 0u);
    EXPECT_NEAR(Normest(ArrayPtr(Row({1, -1})).get(), 1e-6, &count), std::sqrt(2.0), 1e-6);
    EXPECT_EQ(Normest(ArrayPtr(Filled({2, 2}, {0, 0, 0, 0})).get(), 1e-6, &count), 0);
    EXPECT_VALUES(ArrayPtr(Rescale(ArrayPtr(Row({2, 4, kNaN, 10})).get(), -1, 1)).get(), {1, 4},
                  {-1, -0.5, kNaN, 1});
    EXPECT_VALUES(ArrayPtr(Rescale(ArrayPtr(Row({7, 7})).get(), 0, 1)).get(), {1, 2}, {0, 0});
    EXPECT_VALUES(ArrayPtr(Normalize(ArrayPtr(Row({1, 2, 3})).get(), 0, NormalizeOptions())).get(),
                  {1, 3}, {-1, 0, 1});
    NormalizeOptions norm;
    norm.method = NormalizeMethod::kNorm;
    norm.p = 1;
    EXPECT_VALUES(ArrayPtr(Normalize(ArrayPtr(Col({1, -3})).get(), 0, norm)).get(), {2, 1},
                  {0.25, -0.75});
}

}  // namespace

// Which zero an order statistic gives follows the total order -0 < +0, not
// the selection algorithm; a mode of zeros is +0.
TEST(DataAnalysis, SignedZeros) {
    const ArrayPtr z = Row({0.0, -0.0, -0.0});
    EXPECT_VALUES(ArrayPtr(Median(z.get(), 0, NanFlag::kInclude)).get(), {1, 1}, {-0.0});
    EXPECT_VALUES(ArrayPtr(Prctile(z.get(), ArrayPtr(Row({0, 100})).get(), 0)).get(), {1, 2},
                  {-0.0, 0.0});
    CMatrix *m = nullptr, *f = nullptr;
    Mode(m, f, nullptr, z.get(), 0);
    const ArrayPtr M(m), F(f);
    EXPECT_VALUES(M.get(), {1, 1}, {0.0});
    EXPECT_VALUES(F.get(), {1, 1}, {3});
}

// A failed allocation, the standard containers' included, throws the
// library's exception and leaves nothing behind.
TEST(DataAnalysis, AllocationFailures) {
    const ArrayPtr a = Matrix(3, 2, {1, 5, 2, 4, 8, 3}), p = Row({10, 50}), w = Row({1, 2});
    const CMatrix *A = a.get();
    const DimList both = {1, 2}, second = {2};
    const std::vector<FailureCase> rows = {
        {"diff", [&] { return Diff(A, 2, 0); }, {A}},
        {"median", [&] { return Median(A, both, NanFlag::kOmit); }, {A}},
        {"mode",
         InPlace([&] {
             CMatrix *m = nullptr, *f = nullptr, *c = nullptr;
             Mode(m, f, &c, A, 0);
             mxDestroyArray(m), mxDestroyArray(f), mxDestroyArray(c);
         }),
         {A}},
        {"var", [&] { return VarWeighted(A, w.get(), second, false); }, {A}},
        {"cov", [&] { return Corrcoef(A); }, {A}},
        {"prctile", [&] { return Prctile(A, p.get(), 0); }, {A}},
        {"movmedian", [&] { return Moving(A, MovingKind::kMedian, 1, 1, 0, NanFlag::kOmit); }, {A}},
        {"cumtrapz", [&] { return Cumtrapz(nullptr, A, 2); }, {A}},
        {"normalize", [&] { return Normalize(A, 0, NormalizeOptions()); }, {A}},
    };
    ExpectFailurePoints(rows);
}
