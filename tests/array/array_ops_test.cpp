// tests/array/array_ops_test.cpp: tests of Array's operators, function forms and indexing.
#include <matrix/array.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using kiv::matrix::Array;
using kiv::matrix::CMatrix;
using matrix_test::ArrayPtr;
using matrix_test::Expected;
namespace km = kiv::matrix;

// Shape, class, flags and element bits of two arrays agree.
void ExpectSame(const Array &got, const CMatrix *want, const std::string &what) {
    SCOPED_TRACE(what);
    ASSERT_NE(want, nullptr);
    EXPECT_EQ(matrix_test::Dims(got.get()), matrix_test::Dims(want));
    EXPECT_EQ(got.ClassID(), want->GetClassID());
    EXPECT_EQ(got.get()->GetFlags(), want->GetFlags());
    EXPECT_EQ(matrix_test::BitsOf(got.get()), matrix_test::BitsOf(want));
}

// Every operator gives what its function gives, in all three operand forms.
TEST(ArrayOperators, AreTheirFunctions) {
    const Array a = {{4, -2, 0}, {1, 0.5, NAN}};
    const Array b = {{3, -2, 1}, {0, 2, 1}};
    const Array sq = {{4, 2}, {2, 3}};
    const CMatrix *A = a.get(), *B = b.get();
    struct Case {
        const char *what;
        Array got;
        CMatrix *want;
    };
    const Case cases[] = {
        {"a+b", a + b, km::Plus(A, B)},
        {"2+b", 2 + b, km::Plus(2.0, B)},
        {"a+2", a + 2, km::Plus(A, 2.0)},
        {"a-b", a - b, km::Minus(A, B)},
        {"2-b", 2 - b, km::Minus(2.0, B)},
        {"a-2", a - 2, km::Minus(A, 2.0)},
        {"sq*sq", sq * sq, km::Mtimes(sq.get(), sq.get())},
        {"a*b'", a * km::Transpose(b), km::Mtimes(A, ArrayPtr(km::Transpose(B)).get())},
        {"2*b", 2 * b, km::Times(2.0, B)},
        {"a*2", a * 2, km::Times(A, 2.0)},
        {"a/sq", km::Transpose(a) / sq, km::Mrdivide(ArrayPtr(km::Transpose(A)).get(), sq.get())},
        {"a/2", a / 2, km::Mrdivide(A, ArrayPtr(km::Scalar(2.0)).get())},
        {"2/4", 2 / Array(4),
         km::Mrdivide(ArrayPtr(km::Scalar(2.0)).get(), ArrayPtr(km::Scalar(4.0)).get())},
        {"-a", -a, km::Uminus(A)},
        {"!a", !a, km::Not(A)},
        {"a==b", a == b, km::Eq(A, B)},
        {"a==0", a == 0, km::Eq(A, 0.0)},
        {"0==a", 0 == a, km::Eq(0.0, A)},
        {"a!=b", a != b, km::Ne(A, B)},
        {"a!=1", a != 1, km::Ne(A, 1.0)},
        {"1!=a", 1 != a, km::Ne(1.0, A)},
        {"a<b", a < b, km::Lt(A, B)},
        {"a<1", a < 1, km::Lt(A, 1.0)},
        {"1<a", 1 < a, km::Lt(1.0, A)},
        {"a<=b", a <= b, km::Le(A, B)},
        {"a<=1", a <= 1, km::Le(A, 1.0)},
        {"1<=a", 1 <= a, km::Le(1.0, A)},
        {"a>b", a > b, km::Gt(A, B)},
        {"a>1", a > 1, km::Gt(A, 1.0)},
        {"1>a", 1 > a, km::Gt(1.0, A)},
        {"a>=b", a >= b, km::Ge(A, B)},
        {"a>=1", a >= 1, km::Ge(A, 1.0)},
        {"1>=a", 1 >= a, km::Ge(1.0, A)},
        {"a&b", a & b, km::And(A, B)},
        {"a&1", a & 1, km::And(A, 1.0)},
        {"0&a", 0 & a, km::And(0.0, A)},
        {"a|b", a | b, km::Or(A, B)},
        {"a|0", a | 0, km::Or(A, 0.0)},
        {"1|a", 1 | a, km::Or(1.0, A)},
    };
    for (const Case &c : cases) {
        ArrayPtr want(c.want);
        ExpectSame(c.got, want.get(), c.what);
    }
}

// The function forms on Array pass their arguments through unchanged; a
// sample from each header, and every form with several outputs.
TEST(ArrayFunctions, ForwardToTheFunctionsOfTheSameName) {
    const Array a = {{4, 2, 1}, {2, 3, 0}, {1, 0, 5}};
    const CMatrix *A = a.get();
    ArrayPtr y, i, j, k;
    struct Case {
        const char *what;
        std::function<Array()> got;
        std::function<CMatrix *()> want;
    };
    const Case cases[] = {
        {"Sum", [&] { return km::Sum(a); }, [&] { return km::Sum(A); }},
        {"Sum 2", [&] { return km::Sum(a, 2); }, [&] { return km::Sum(A, 2u); }},
        {"All", [&] { return km::All(a); }, [&] { return km::All(A); }},
        {"Sqrt", [&] { return km::Sqrt(a); }, [&] { return km::Sqrt(A); }},
        {"Power", [&] { return km::Power(a, 2.0); }, [&] { return km::Power(A, 2.0); }},
        {"Mod", [&] { return km::Mod(a, 3.0); },
         [&] { return km::Mod(const_cast<CMatrix *>(A), 3.0); }},
        {"Triu", [&] { return km::Triu(a, 1); }, [&] { return km::Triu(A, 1); }},
        {"Reshape", [&] { return km::Reshape(a, 1, 9); },
         [&] { return km::Reshape(const_cast<CMatrix *>(A), 1u, 9u); }},
        {"Mldivide", [&] { return km::Mldivide(a, a); }, [&] { return km::Mldivide(A, A); }},
        {"Chol", [&] { return km::Chol(a); }, [&] { return km::Chol(A); }},
        {"Svd", [&] { return km::Svd(a); }, [&] { return km::Svd(A, false); }},
        {"Eig", [&] { return km::Eig(a); }, [&] { return km::Eig(A, true); }},
        {"Find", [&] { return km::Find(a); }, [&] { return km::Find(A); }},
        {"Horzcat", [&] { return km::Horzcat(a, a, 1.0 * a, a); },
         [&] { return km::Horzcat(A, A, A, A, nullptr); }},
        {"Vertcat", [&] { return km::Vertcat(a, a); }, [&] { return km::Vertcat(A, A); }},
        {"Log", [&] { return km::Log(a - 2.0); },
         [&] { return km::Log(ArrayPtr(km::Minus(A, 2.0)).get()); }},
        {"Atan2", [&] { return km::Atan2(a, 2.0); }, [&] { return km::Atan2(A, 2.0); }},
        {"Cumsum 2", [&] { return km::Cumsum(a, 2); }, [&] { return km::Cumsum(A, 2u); }},
        {"Std", [&] { return km::Std(a); }, [&] { return km::Std(A); }},
        {"Sort", [&] { return km::Sort(a, km::SortOrder::kDescend); },
         [&] { return km::Sort(A, km::SortOrder::kDescend); }},
        {"Linspace", [&] { return Array::Linspace(0, 1, 4); },
         [&] { return km::Linspace(0, 1, 4); }},
        {"Repmat", [&] { return km::Repmat(a, 2, 1); }, [&] { return km::Repmat(A, 2, 1); }},
        {"Cat", [&] { return km::Cat(3, a, a, a); }, [&] { return km::Cat(3, A, A, A); }},
        {"Pinv", [&] { return km::Pinv(a); }, [&] { return km::Pinv(A); }},
    };
    for (const Case &c : cases) {
        ArrayPtr want(c.want());
        ExpectSame(c.got(), want.get(), c.what);
    }
    EXPECT_EQ(km::Det(a), km::Det(A));
    EXPECT_EQ(km::Norm(a), km::Norm(A, 2.0));
    EXPECT_EQ(km::Rank(a), km::Rank(A));
    EXPECT_EQ(km::Nnz(a), km::Nnz(A));
    EXPECT_TRUE(km::Isequal(a, a));
    // Text joins as text, an empty double among it skipped.
    const Array message = km::Horzcat(Array("x = "), Array(), Array("12"), Array(";"));
    EXPECT_TRUE(message.ClassID() == km::mxClassChar &&
                matrix_test::Narrow(km::mxGetString(message.get())) == "x = 12;");

    // Several outputs: the Array forms return what the raw forms set.
    const auto two = [&](const char *what, const km::TwoArrays &got, CMatrix *p, CMatrix *q) {
        ArrayPtr first(p), second(q);
        ExpectSame(got.first, p, std::string(what) + " 1");
        ExpectSame(got.second, q, std::string(what) + " 2");
    };
    const auto three = [&](const char *what, const km::ThreeArrays &got, CMatrix *p, CMatrix *q,
                           CMatrix *r) {
        ArrayPtr first(p), second(q), third(r);
        ExpectSame(got.first, p, std::string(what) + " 1");
        ExpectSame(got.second, q, std::string(what) + " 2");
        ExpectSame(got.third, r, std::string(what) + " 3");
    };
    CMatrix *p, *q, *r;
    km::Lu(p, q, A);
    two("Lu", km::Lu(a), p, q);
    km::Lu(p, q, r, A);
    three("LuPivots", km::LuPivots(a), p, q, r);
    km::Qr(p, q, A, false);
    two("Qr", km::Qr(a), p, q);
    km::Qr(p, q, r, A, false);
    three("QrPivots", km::QrPivots(a), p, q, r);
    km::Svd(p, q, r, A, false);
    three("SvdVectors", km::SvdVectors(a), p, q, r);
    kiv::RandSeed(7);
    km::Eig(p, q, A, true);  // D, V
    kiv::RandSeed(7);
    two("EigVectors", km::EigVectors(a), q, p);
    km::Find(p, q, A);
    two("FindRowsCols", km::FindRowsCols(a), p, q);
    km::Find(p, q, r, A);
    three("FindRowsColsValues", km::FindRowsColsValues(a), p, q, r);

    auto [m, pos] = km::Max(a);
    km::Max(p, q, A);
    two("Max", {m, pos}, p, q);
    auto [m2, pos2] = km::Min(a, 2);
    km::Min(p, q, A, 2u);
    two("Min", {m2, pos2}, p, q);
    auto [sorted, from] = km::Sort(a, 2, km::SortOrder::kDescend);
    km::Sort(p, q, A, 2u, km::SortOrder::kDescend);
    two("Sort", {sorted, from}, p, q);
    EXPECT_EQ(km::Trace(a), km::Trace(A));
    const Array values = km::Max(a);  // the values alone
    ExpectSame(values, m.get(), "Max values");
}

TEST(ArrayIndexing, ReadsEveryForm) {
    const Array a = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    struct Case {
        const char *what;
        Array got;
        std::vector<unsigned int> dims;
        std::vector<double> values;
    };
    const Case cases[] = {
        {"A(2,3)", a(2.0, 3.0), {1, 1}, {7}},
        {"A(End)", a(km::End), {1, 1}, {12}},
        {"A(End()-1)", a(km::End() - 1), {1, 1}, {8}},
        {"A(All,2)", a(km::All, 2.0), {3, 1}, {2, 6, 10}},
        {"A(End,All)", a(km::End(), km::All), {1, 4}, {9, 10, 11, 12}},
        {"A(Range(2,End),End-1)", a(km::Range(2, km::End()), km::End() - 1), {2, 1}, {7, 11}},
        {"A(Range(1,2,End),1)", a(km::Range(1, 2, km::End()), 1.0), {2, 1}, {1, 9}},
        {"A(mask)", a(a > 10), {2, 1}, {11, 12}},
        {"A([3 1],[4 1])", a(Array{3, 1}, Array{4, 1}), {2, 2}, {12, 4, 9, 1}},
        {"A(All)", a(km::All), {12, 1}, {1, 5, 9, 2, 6, 10, 3, 7, 11, 4, 8, 12}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got.Dims(), c.dims);
        EXPECT_EQ(c.got.ToVector(), c.values);
    }
    EXPECT_EQ(a(3, 4), 12.0);
    Array b = a;
    const double x = b(2, 1);
    EXPECT_EQ(x, 5.0);
    EXPECT_EQ(km::Sum(b(b > 10)).Scalar(), 23.0);  // the proxy converts on use
}

TEST(ArrayIndexing, AssignsGrowsAndDeletes) {
    struct Case {
        const char *what;
        std::function<void(Array &)> change;
        std::vector<unsigned int> dims;
        std::vector<double> values;
    };
    const Case cases[] = {
        {"element", [](Array &v) { v(2) = 9.0; }, {1, 3}, {1, 9, 3}},
        {"append", [](Array &v) { v(km::End() + 1) = 4.0; }, {1, 4}, {1, 2, 3, 4}},
        {"grow past end", [](Array &v) { v(5) = 5.0; }, {1, 5}, {1, 2, 3, 0, 5}},
        {"mask, scalar", [](Array &v) { v(v > 1) = 0.0; }, {1, 3}, {1, 0, 0}},
        {"range, array",
         [](Array &v) {
             v(km::Range(2, 3)) = Array{7, 8};
         },
         {1, 3},
         {1, 7, 8}},
        {"from proxy", [](Array &v) { v(1) = v(km::End()); }, {1, 3}, {3, 2, 3}},
        {"self", [](Array &v) { v(km::Range(1, 3)) = v; }, {1, 3}, {1, 2, 3}},
        {"two subscripts grow", [](Array &v) { v(2, 2) = 5; }, {2, 3}, {1, 0, 2, 5, 3, 0}},
        {"delete one", [](Array &v) { v(2) = km::Empty(); }, {1, 2}, {1, 3}},
        {"delete mask", [](Array &v) { v(v < 3) = km::Empty(); }, {1, 1}, {3}},
        {"delete column", [](Array &v) { v(km::All, 1) = km::Empty(); }, {1, 2}, {2, 3}},
        {"delete all", [](Array &v) { v(km::All) = km::Empty(); }, {0, 0}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Array v = {1, 2, 3};
        const Array before = v;
        c.change(v);
        EXPECT_EQ(v.Dims(), c.dims);
        EXPECT_EQ(v.ToVector(), c.values);
        EXPECT_EQ(before.ToVector(), (std::vector<double>{1, 2, 3}));
    }
}

TEST(ArrayIndexing, RefusesBadSubscripts) {
    Array a = {{1, 2}, {3, 4}};
    const Array keep = a;
    matrix_test::ExpectRefusals({
        {"read beyond",
         [&] { Array r = a(5.0); },
         Expected::Throws<km::CIndexExceedsMatrixDimensionsException>(),
         {a.get()}},
        {"read 0",
         [&] { Array r = a(0.0, 1.0); },
         Expected::Throws<km::CIndexIntoMatrixNegativeOrZeroException>(),
         {a.get()}},
        {"assign sizes",
         [&] {
             a(km::All, 1) = Array{1, 2, 3};
         },
         Expected::Throws<km::CInAssignAMMBDimensionMustBeSameException>(),
         {a.get()}},
        {"delete neither colon",
         [&] { a(1, 1) = km::Empty(); },
         Expected::Throws(
             km::CFunctionErrorException(L"At least one of two indices must be a colon")),
         {a.get()}},
    });
    EXPECT_EQ(a.ToVector(), keep.ToVector());
}

}  // namespace
