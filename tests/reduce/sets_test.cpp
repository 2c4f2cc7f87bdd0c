// tests/reduce/sets_test.cpp: the set functions against std::set and the
// standard set algorithms, index outputs that rebuild their inputs, NaN as a
// value of its own; sorting by rows against std::stable_sort; the reduction
// options against in-order loops; counting against direct counts.
#include <matrix/matrix.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <vector>

namespace {

namespace km = kiv::matrix;
using km::Array;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

Array Column(const std::vector<double> &v) { return Array(v); }
std::vector<double> Values(const Array &a) { return Array::Adopt(km::Cast(a.get(), km::mxClassDouble)).ToVector(); }
bool Same(double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); }

// Small integers with repeats and NaNs.
std::vector<double> Draw(std::mt19937 &random, std::size_t n, bool nans) {
    std::vector<double> v(n);
    for (double &x : v) x = nans && random() % 7 == 0 ? kNaN : double(int(random() % 11) - 5);
    return v;
}

TEST(Sets, UniqueAgainstStdSetAndRebuildingIndices) {
    std::mt19937 random(7);
    for (std::size_t n : {0u, 1u, 9u, 200u}) {
        const std::vector<double> a = Draw(random, n, true);
        for (bool stable : {false, true})
            for (bool last : {false, true}) {
                km::SetOptions o;
                o.stable = stable;
                o.last = last;
                const km::UniqueResult r = km::Unique(Column(a), o);
                const std::vector<double> c = Values(r.values), ia = Values(r.ia), ic = Values(r.ic);
                std::set<double> distinct;
                std::size_t nans = 0;
                for (double x : a) std::isnan(x) ? void(++nans) : void(distinct.insert(x));
                ASSERT_EQ(c.size(), distinct.size() + nans);
                if (!stable) {
                    std::vector<double> expect(distinct.begin(), distinct.end());
                    expect.insert(expect.end(), nans, kNaN);
                    for (std::size_t k = 0; k < c.size(); ++k) EXPECT_TRUE(Same(c[k], expect[k]));
                }
                for (std::size_t k = 0; k < c.size(); ++k) {
                    const std::size_t at = std::size_t(ia[k]) - 1;
                    EXPECT_TRUE(Same(a[at], c[k]));  // A(ia) == C
                    for (std::size_t j = 0; j < a.size() && !std::isnan(c[k]); ++j)
                        if (a[j] == c[k]) {
                            EXPECT_TRUE(last ? j <= at : j >= at);
                        }
                }
                for (std::size_t i = 0; i < a.size(); ++i)
                    EXPECT_TRUE(Same(c[std::size_t(ic[i]) - 1], a[i]));  // C(ic) == A
            }
    }
}

TEST(Sets, TwoArrayOperationsAgainstStdAlgorithms) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 20; ++trial) {
        const std::vector<double> a = Draw(random, random() % 15, false), b = Draw(random, random() % 15, false);
        const std::set<double> sa(a.begin(), a.end()), sb(b.begin(), b.end());
        struct Case {
            km::SetResult (*f)(const Array &, const Array &, km::SetOptions);
            std::vector<double> expect;
            bool intersect;
        };
        std::vector<double> u, i, d, x;
        std::set_union(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(u));
        std::set_intersection(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(i));
        std::set_difference(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(d));
        std::set_symmetric_difference(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(x));
        for (const Case &k : {Case{km::Union, u, false}, Case{km::Intersect, i, true}, Case{km::Setdiff, d, false},
                             Case{km::Setxor, x, false}}) {
            // int32 of A joined with double B stays int32, values unchanged.
            const Array ai = Array::Adopt(km::Cast(Column(a).get(), km::mxClassInt32));
            const km::SetResult r = k.f(ai, Column(b), {});
            EXPECT_TRUE(a.empty() || r.values.ClassID() == km::mxClassInt32);
            EXPECT_EQ(Values(r.values), k.expect);
            // Every value comes from A(ia) or B(ib), each once.
            std::multiset<double> from;
            for (double p : Values(r.ia)) from.insert(a[std::size_t(p) - 1]);
            if (!k.intersect)
                for (double p : Values(r.ib)) from.insert(b[std::size_t(p) - 1]);
            EXPECT_EQ(std::vector<double>(from.begin(), from.end()), k.expect);
        }
    }
}

TEST(Sets, IsmemberLowestPositionAndNaNNeverMember) {
    const std::vector<double> a{1, 5, kNaN, 2, -0.0}, s{2, 1, 1, kNaN, 0};
    const km::MemberResult r = km::Ismember(Column(a), Column(s));
    EXPECT_EQ(Values(r.loc), (std::vector<double>{2, 0, 0, 1, 5}));
    EXPECT_TRUE(r.tf.IsLogical());
    const km::MemberResult rows = km::Ismember(Array{{1, 2}, {3, 4}}, Array{{3, 4}, {1, 3}, {3, 4}}, true);
    EXPECT_EQ(Values(rows.loc), (std::vector<double>{0, 1}));
}

TEST(Sets, RowsAgainstStableSortOfRows) {
    std::mt19937 random(3);
    const unsigned m = 40, n = 3;
    std::vector<double> v = Draw(random, m * n, true);
    const Array a(m, n, v);
    for (const std::vector<int> &cols : {std::vector<int>{}, std::vector<int>{2, -1}, std::vector<int>{-3}}) {
        std::vector<int> keys = cols;
        if (keys.empty()) keys = {1, 2, 3};
        std::vector<std::uint32_t> expect(m);
        std::iota(expect.begin(), expect.end(), 0u);
        auto before = [&](double x, double y, bool descend) {  // NaN last ascending, first descending
            if (std::isnan(x) || std::isnan(y)) return descend ? std::isnan(x) && !std::isnan(y) : !std::isnan(x) && std::isnan(y);
            return descend ? x > y : x < y;
        };
        std::stable_sort(expect.begin(), expect.end(), [&](std::uint32_t p, std::uint32_t q) {
            for (int k : keys) {
                const std::size_t j = std::size_t(std::abs(k) - 1);
                if (before(v[j * m + p], v[j * m + q], k < 0)) return true;
                if (before(v[j * m + q], v[j * m + p], k < 0)) return false;
            }
            return false;
        });
        EXPECT_EQ(km::SortrowsOrder(a, cols), expect);
    }
    // Unique rows rebuild A.
    const km::UniqueResult u = km::Unique(Array{{1, 2}, {0, 5}, {1, 2}}, {false, true, false});
    EXPECT_TRUE(km::Isequal(u.values, Array{{0, 5}, {1, 2}}));
    EXPECT_EQ(Values(u.ic), (std::vector<double>{2, 1, 2}));
    EXPECT_THROW(km::SortrowsOrder(a, {4}), km::CFunctionErrorException);
}

TEST(ReduceOptions, SetsOfDimensionsFoldInColumnMajorOrder) {
    std::mt19937 random(5);
    std::vector<double> v(2 * 3 * 4);
    for (double &x : v) x = std::ldexp(double(random() % 1000) - 500, -int(random() % 40));
    const Array a = km::Reshape(Array(v), 2, 3, 4);
    // Over every dimension: one fold from 0.0 in column-major order.
    double s = 0.0;
    for (double x : v) s += x;
    EXPECT_EQ(km::SumAll(a).Scalar(), s);
    // One dimension in a set is the one-dimension form, bit for bit.
    for (unsigned d = 1; d <= 4; ++d)
        EXPECT_TRUE(km::Isequal(km::Sum(a, std::vector<unsigned>{d}), km::Sum(a, km::Dim(d))));
    // Dimensions 1 and 3: for each column j, the fold over i then k.
    const std::vector<double> r = km::Sum(a, {3, 1}).ToVector();
    ASSERT_EQ(r.size(), 3u);
    for (unsigned j = 0; j < 3; ++j) {
        double t = 0.0;
        for (unsigned k = 0; k < 4; ++k)
            for (unsigned i = 0; i < 2; ++i) t += v[i + 2 * j + 6 * k];
        EXPECT_EQ(r[j], t);
    }
    EXPECT_THROW(km::Sum(a, {1, 1}), km::CFunctionErrorException);
    EXPECT_THROW(km::Sum(a, {0, 1}), km::CFunctionErrorException);
    // Linear positions of the extremes over a set.
    const km::ValuesPositions mx = km::Max(a, std::vector<unsigned>{2, 3});
    for (unsigned i = 0; i < 2; ++i) EXPECT_EQ(v[std::size_t(mx.positions.ToVector()[i]) - 1], mx.values.ToVector()[i]);
}

TEST(ReduceOptions, NaNOmittedOrIncluded) {
    const Array a{{3, kNaN, 2}, {kNaN, kNaN, 5}};
    EXPECT_EQ(km::Sum(a, {1}, km::NanFlag::kOmit).ToVector(), (std::vector<double>{3, 0, 7}));
    EXPECT_EQ(km::Prod(a, {2}, km::NanFlag::kOmit).ToVector(), (std::vector<double>{6, 5}));
    const std::vector<double> m = km::Mean(a, {1}, km::NanFlag::kOmit).ToVector();
    EXPECT_EQ(m[0], 3);
    EXPECT_TRUE(std::isnan(m[1]));
    EXPECT_EQ(m[2], 3.5);
    EXPECT_EQ(km::MeanAll(a, km::NanFlag::kOmit).Scalar(), 10.0 / 3);
    const km::ValuesPositions inc = km::Max(a, {2}, km::NanFlag::kInclude);
    EXPECT_TRUE(std::isnan(inc.values.ToVector()[0]));
    EXPECT_EQ(inc.positions.ToVector(), (std::vector<double>{2, 1}));
    const km::ValuesPositions all = km::MinAll(a);
    EXPECT_EQ(all.values.Scalar(), 2);
    EXPECT_EQ(all.positions.Scalar(), 5);
    // Integers hold no NaN: the flag changes nothing.
    const Array i = Array::Adopt(km::Cast(Array{1, 2}.get(), km::mxClassInt8));
    EXPECT_TRUE(km::Isequal(km::SumAll(i, km::NanFlag::kOmit), km::Sum(i)));
}

TEST(Counting, HistogramsAccumulationAndRunningExtremes) {
    std::mt19937 random(9);
    std::vector<double> x = Draw(random, 300, true);
    const std::vector<double> e{-5, -2, 0, 0, 3, 5};
    const km::Histogram h = km::Histcounts(Column(x), Array(1, 6, e));
    std::vector<double> expect(5, 0.0);
    for (double v : x)
        for (std::size_t k = 0; k < 5; ++k)
            if (v >= e[k] && (v < e[k + 1] || (k == 4 && v == e[5]))) {
                expect[k] += 1;
                break;
            }
    EXPECT_EQ(h.counts.ToVector(), expect);
    const std::vector<double> cdf = km::Normalized(h, 300, km::HistNormalization::kCdf).ToVector();
    EXPECT_EQ(cdf.back(), std::accumulate(expect.begin(), expect.end(), 0.0) / 300);
    // Accumarray sums in the order of the rows, fill elsewhere.
    const Array subs{{1}, {3}, {1}};
    EXPECT_EQ(km::Accumarray(subs, Array{{0.1}, {5}, {0.2}}, {}, km::AccumOp::kSum, -1).ToVector(),
              (std::vector<double>{0.1 + 0.2, -1, 5}));
    EXPECT_EQ(km::Accumarray(subs, Array(2.0), {4, 1}, km::AccumOp::kMax).ToVector(), (std::vector<double>{2, 0, 2, 0}));
    // Running extremes pass over NaN.
    const std::vector<double> c = km::Cummax(Array{kNaN, 1, kNaN, 0, 4}).ToVector();
    EXPECT_TRUE(std::isnan(c[0]));
    EXPECT_EQ(std::vector<double>(c.begin() + 1, c.end()), (std::vector<double>{1, 1, 1, 4}));
    EXPECT_EQ(km::Cummin(Array{3, 1, 2}, true).ToVector(), (std::vector<double>{1, 1, 2}));
}

}  // namespace
