// tests/array/array_ops_test.cpp: tests of Array's operators, function forms and indexing.
#include <matrix/array.h>

#include <cmath>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using kiv::matrix::Array;
using kiv::matrix::CMatrix;
using matrix_test::ArrayPtr;
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

// Array op Array, double op Array and Array op double against the function.
// clang-format off
#define MATRIX_OPERATOR_FORMS(op, F) \
    {#op, a op b, km::F(A, B)}, {"1" #op, 1 op b, km::F(1.0, B)}, {#op "1", a op 1, km::F(A, 1.0)}
// clang-format on

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
        MATRIX_OPERATOR_FORMS(+, Plus),
        MATRIX_OPERATOR_FORMS(-, Minus),
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
        MATRIX_OPERATOR_FORMS(==, Eq),
        MATRIX_OPERATOR_FORMS(!=, Ne),
        MATRIX_OPERATOR_FORMS(<, Lt),
        MATRIX_OPERATOR_FORMS(<=, Le),
        MATRIX_OPERATOR_FORMS(>, Gt),
        MATRIX_OPERATOR_FORMS(>=, Ge),
        MATRIX_OPERATOR_FORMS(&, And),
        MATRIX_OPERATOR_FORMS(|, Or),
    };
    for (const Case &c : cases) {
        ArrayPtr want(c.want);
        ExpectSame(c.got, want.get(), c.what);
    }
}
#undef MATRIX_OPERATOR_FORMS

// The function forms that the interpreter never calls: a double operand,
// and the variadic joins of Array and double operands without a
// terminator, text joining as text with an empty double skipped. The other
// forms are the interpreter's built-ins, whose results the golden scripts pin.
TEST(ArrayFunctions, FormsBeyondTheInterpreterForwardTheirArguments) {
    const Array a = {{4, 2, 1}, {2, 3, 0}, {1, 0, 5}};
    const CMatrix *A = a.get();
    ExpectSame(km::Power(a, 2.0), ArrayPtr(km::Power(A, 2.0)).get(), "Power");
    ExpectSame(km::Atan2(2.0, a), ArrayPtr(km::Atan2(2.0, A)).get(), "Atan2");
    ExpectSame(km::Mod(a, 3.0), ArrayPtr(km::Mod(const_cast<CMatrix *>(A), 3.0)).get(), "Mod");
    ExpectSame(km::Horzcat(a, a, 1.0 * a, a), ArrayPtr(km::Horzcat(A, A, A, A, nullptr)).get(),
               "Horzcat");
    ExpectSame(km::Vertcat(a, a), ArrayPtr(km::Vertcat(A, A)).get(), "Vertcat");
    const Array message = km::Horzcat(Array("x = "), Array(), Array("12"), Array(";"));
    EXPECT_TRUE(message.ClassID() == km::mxClassChar &&
                matrix_test::Narrow(km::mxGetString(message.get())) == "x = 12;");
}

// The subscripts the interpreter makes (arrays and colons) are pinned by
// the golden scripts, and the refusals come from Indexref, Indexassign and
// Indexdelete (tests/index); these are the forms only C++ callers write.
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
        {"range, array",
         [](Array &v) { v(km::Range(2, 3)) = Array(km::Range(7, 8)); },
         {1, 3},
         {1, 7, 8}},
        {"from proxy", [](Array &v) { v(1) = v(km::End()); }, {1, 3}, {3, 2, 3}},
        {"self", [](Array &v) { v(km::Range(1, 3)) = v; }, {1, 3}, {1, 2, 3}},
        {"two subscripts grow", [](Array &v) { v(2, 2) = 5; }, {2, 3}, {1, 0, 2, 5, 3, 0}},
        {"delete one", [](Array &v) { v(2) = km::Empty(); }, {1, 2}, {1, 3}},
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

// Three or more subscripts, on A = reshape(1:24, 2, 3, 4), whose element
// (i, j, k) is i + 2 (j - 1) + 6 (k - 1): End in each position of each
// count (the later dimensions folded into the last), lists, ranges and
// masks as subscripts, the const, temporary and proxy forms; assignment
// with growth in any dimension, compound updates and deletion along one
// dimension, a copy of A keeping its values.
TEST(ArrayIndexing, AnyNumberOfSubscripts) {
    const Array a = km::Reshape(Array(km::Range(1, 24)), 2, 3, 4);
    Array proxy = a;
    struct Read {
        const char *what;
        Array got;
        std::vector<unsigned int> dims;
        std::vector<double> values;
    };
    const Read reads[] = {
        {"A(1,2,3)", a(1, 2, 3), {1, 1}, {15}},
        {"A(2,End,2)", a(2, km::End, 2), {1, 1}, {12}},
        {"A(1,End,End)", a(1, km::End(), km::End), {1, 1}, {23}},
        {"A(All,1,End)", a(km::All, 1, km::End), {2, 1}, {19, 20}},
        {"A(2,End)", a(2, km::End), {1, 1}, {24}},  // two subscripts: 2 x 12
        {"A(1,1,1,1)", a(1, 1, 1, 1), {1, 1}, {1}},
        {"A(1,1,End,End)", a(1, 1, km::End, km::End), {1, 1}, {19}},
        {"A({2,1},Range(2,End),3)", a({2, 1}, km::Range(2, km::End), 3), {2, 2}, {16, 15, 18, 17}},
        {"A(All,All,mask)",
         a(km::All, km::All, a(1, 1, km::All) > 12),
         {2, 3, 2},
         {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {"temporary", Array(a)(2, 3, km::End() - 1), {1, 1}, {18}},
        {"proxy", static_cast<Array>(proxy(km::End, 1, 2)), {1, 1}, {8}},
    };
    for (const Read &r : reads) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(r.got.Dims(), r.dims);
        EXPECT_EQ(r.got.ToVector(), r.values);
    }

    std::vector<double> page2 = a.ToVector();
    const std::vector<double> minus = {-1, -4, -2, -5, -3, -6};
    std::copy(minus.begin(), minus.end(), page2.begin() + 6);
    std::vector<double> grown = a.ToVector();
    grown.resize(30, 0.0);
    grown[29] = 7;
    std::vector<double> noColumn2;
    for (double v : a.ToVector()) {
        const int j = (static_cast<int>(v) - 1) / 2 % 3 + 1;
        if (j != 2) noColumn2.push_back(v);
    }
    struct Change {
        const char *what;
        std::function<void(Array &)> change;
        std::vector<unsigned int> dims;
        std::vector<double> values;
    };
    const Change changes[] = {
        {"page",
         [](Array &v) {
             v(km::All, km::All, 2) = Array{{-1, -2, -3}, {-4, -5, -6}};
         },
         {2, 3, 4},
         page2},
        {"grow a page", [](Array &v) { v(2, 3, 5) = 7.0; }, {2, 3, 5}, grown},
        {"grow past End", [](Array &v) { v(2, km::End, km::End() + 1) = 7.0; }, {2, 3, 5}, grown},
        {"delete columns",
         [](Array &v) { v(km::All, 2, km::All) = km::Empty(); },
         {2, 2, 4},
         noColumn2},
        {"update",
         [](Array &v) { v(km::All, km::All, km::All) -= 1.0; },
         {2, 3, 4},
         [&] {
             std::vector<double> x = a.ToVector();
             for (double &e : x) e -= 1;
             return x;
         }()},
    };
    for (const Change &c : changes) {
        SCOPED_TRACE(c.what);
        Array v = a;
        c.change(v);
        EXPECT_EQ(v.Dims(), c.dims);
        EXPECT_EQ(v.ToVector(), c.values);
        EXPECT_EQ(a(2, 3, 4).Scalar(), 24.0);
    }

    // A two-dimensional array grows a third dimension, zero filled.
    Array m = {{1, 2}, {3, 4}};
    m(2, 2, 2) = 5.0;
    EXPECT_EQ(m.Dims(), (std::vector<unsigned int>{2, 2, 2}));
    EXPECT_EQ(m.ToVector(), (std::vector<double>{1, 3, 2, 4, 0, 0, 0, 5}));
    // Refusals throw the library's exceptions and leave the array as it was.
    Array r = a;
    EXPECT_THROW(r(1, 4, 1) = Array(), km::CInAssignAMMBDimensionMustBeSameException);
    EXPECT_THROW(r(1, 2, km::All) = km::Empty(), km::CFunctionErrorException);
    EXPECT_THROW(static_cast<void>(a(1, 1, 5)), km::CIndexExceedsMatrixDimensionsException);
    EXPECT_THROW(static_cast<void>(a(1, 1.5, 1)), km::CFunctionErrorException);
    EXPECT_EQ(r.ToVector(), a.ToVector());
    EXPECT_EQ(r.Dims(), a.Dims());
}

}  // namespace

namespace values_test {

using namespace kiv::matrix::values;

// A program written with Array gets an Array from every unqualified
// constructor, also through auto, and the same values as the function-call
// forms.
TEST(ArrayValues, ConstructorsReturnArrays) {
    {
        auto z = Zeros(2, 3);
        static_assert(std::is_same_v<decltype(z), Array>);
        static_assert(std::is_same_v<decltype(Eye(2)), Array>);
        static_assert(std::is_same_v<decltype(Scalar(1.0)), Array>);
        static_assert(std::is_same_v<decltype(Diag(Array{1, 2})), Array>);
        kiv::RandSeed(7);
        const Array r = Rand(2, 2);
        kiv::RandSeed(7);
        ExpectSame(r, ArrayPtr(km::Rand(2, 2)).get(), "Rand");
        ExpectSame(z, ArrayPtr(km::Zeros(2, 3)).get(), "Zeros");
        ExpectSame(Ones({2, 1, 2}), ArrayPtr(km::Ones(2, 1, 2)).get(), "Ones");
        ExpectSame(Eye(2, 3), ArrayPtr(km::Eye(2, 3)).get(), "Eye");
        ExpectSame(Linspace(0, 1, 5), ArrayPtr(km::Linspace(0, 1, 5)).get(), "Linspace");
        ExpectSame(Colon(1, 0.5, 3), ArrayPtr(km::Colon(1, 0.5, 3)).get(), "Colon");
        ExpectSame(Diag({1, 2}, 1), ArrayPtr(km::Diag(Array{1, 2}.get(), 1)).get(), "Diag");
        ExpectSame(Repmat(2.0, 2, 3), ArrayPtr(km::Repmat(Array(2.0).get(), 2, 3)).get(), "Repmat");
        ExpectSame(Scalar(2.5), ArrayPtr(km::Scalar(2.5)).get(), "Scalar");
        const Array c = Cell(2, 1);
        EXPECT_EQ(c.ClassID(), km::mxClassCell);
        EXPECT_EQ(c.Dims(), (std::vector<unsigned int>{2, 1}));
    }
}

// A dimension is a Dim; a number as the second operand of Max and Min is
// the element-wise maximum with it, as in the language.
TEST(ArrayValues, DimensionsAreDimAndNumbersAreOperands) {
    const Array a = {{4, -2, 7}, {1, 5, NAN}};
    const CMatrix *A = a.get();
    static_assert(std::is_same_v<decltype(Max(a, 2)), Array>);
    static_assert(std::is_same_v<decltype(Min(a, 2.0)), Array>);
    ExpectSame(Max(a, 2.0), ArrayPtr(km::MaxVal(A, 2.0)).get(), "Max(A, 2.0)");
    ExpectSame(Max(a, 2), ArrayPtr(km::MaxVal(A, 2.0)).get(), "Max(A, 2)");
    ExpectSame(Min(a, 2), ArrayPtr(km::MinVal(A, 2.0)).get(), "Min(A, 2)");
    ExpectSame(Max(a, Dim(2)).values, ArrayPtr(km::Max(A, 2)).get(), "Max(A, Dim(2))");
    const ArrayPtr positions([&] {
        CMatrix *y = nullptr, *i = nullptr;
        km::Min(y, i, A, 2);
        km::mxDestroyArray(y);
        return i;
    }());
    ExpectSame(Min(a, Dim(2)).positions, positions.get(), "Min(A, Dim(2)) positions");
    ExpectSame(Sort(a, Dim(2), km::SortOrder::kDescend).values,
               ArrayPtr(km::Sort(A, 2, km::SortOrder::kDescend)).get(), "Sort");
    ExpectSame(Sum(a, Dim(2)), ArrayPtr(km::Sum(A, 2)).get(), "Sum");
    ExpectSame(Prod(a, Dim(1)), ArrayPtr(km::Prod(A, 1)).get(), "Prod");
    ExpectSame(All(a, Dim(2)), ArrayPtr(km::All(A, 2)).get(), "All");
    ExpectSame(Any(a, Dim(2)), ArrayPtr(km::Any(A, 2)).get(), "Any");
    ExpectSame(Cumsum(a, Dim(2)), ArrayPtr(km::Cumsum(A, 2)).get(), "Cumsum");
    ExpectSame(Cumprod(a, Dim(2)), ArrayPtr(km::Cumprod(A, 2)).get(), "Cumprod");
    ExpectSame(Mean(a, Dim(2)), ArrayPtr(km::Mean(A, 2)).get(), "Mean");
    ExpectSame(Var(a, Dim(2)), ArrayPtr(km::Var(A, 2)).get(), "Var");
    ExpectSame(Std(a, Dim(2)), ArrayPtr(km::Std(A, 2)).get(), "Std");
}

}  // namespace values_test

// Nested one-element rows are a column, as [1; 2; 3].
TEST(ArrayLiterals, OneElementRowsMakeAColumn) {
    Array b = {{1}, {2}, {3}};
    EXPECT_EQ(b.Dims(), (std::vector<unsigned int>{3, 1}));
    EXPECT_EQ(b.ToVector(), (std::vector<double>{1, 2, 3}));
    const Array one = {{5}};
    EXPECT_EQ(one.Dims(), (std::vector<unsigned int>{1, 1}));
    EXPECT_EQ(Array({1, 2}).Dims(), (std::vector<unsigned int>{1, 2}));
}

// An element read converts to an array of the target's class, and a double
// subscript works when it holds a whole number.
TEST(ArrayIndexing, ElementReadsAreArraysAndDoubleSubscriptsWholeNumbers) {
    Array a = {1, 2, 3, 4, 5, 6, 9};
    Array d = a(7);
    EXPECT_EQ(d.Scalar(), 9.0);
    Array A = {{1, 2, 3}, {4, 5, 6}};
    Array e = A(2, 3);
    EXPECT_EQ(e.Scalar(), 6.0);
    auto [m, k] = km::Max(a);
    EXPECT_EQ(std::as_const(a)(k.Scalar()), m.Scalar());
    EXPECT_EQ(std::as_const(A)(2.0, 1.0), 4.0);
    a(k.Scalar()) = -1.0;
    EXPECT_EQ(a.At(7), -1.0);

    Array text("abc");
    Array t = text(2);
    EXPECT_EQ(t.ClassID(), km::mxClassChar);

    const auto subscript = [] {
        return matrix_test::Expected::Throws(km::CFunctionErrorException(
            L"Subscript indices must either be real positive integers or logicals."));
    };
    const Array c = A;
    matrix_test::ExpectRefusals({
        {"A(2.5)", [&] { (void)A(2.5); }, subscript(), {A.get()}},
        {"const A(1, 1.5)", [&] { (void)c(1, 1.5); }, subscript(), {c.get()}},
        {"A(NaN) = 1", [&] { A(NAN) = 1.0; }, subscript(), {A.get()}},
        {"A([1.5 2])",
         [&] {
             Array r = A(Array{1.5, 2});
         },
         subscript(),
         {A.get()}},
        {"A(Range(0.5, 2), 1)",
         [&] { Array r = A(km::Range(0.5, 2), 1.0); },
         subscript(),
         {A.get()}},
        {"A(All, 1.25) = 0", [&] { A(km::All, 1.25) = 0.0; }, subscript(), {A.get()}},
        {"A(0.0)",
         [&] { (void)double(A(0.0)); },
         matrix_test::Expected::Throws<km::CIndexIntoMatrixNegativeOrZeroException>(),
         {A.get()}},
    });
    // Logical masks and whole numbers of any class are subscripts as they are.
    EXPECT_EQ(Array(A(A > 4.0)).ToVector(), (std::vector<double>{5, 6}));
}

// The one check of subscript values: whole numbers for the Array face (the
// indexing functions then refuse 0 themselves), whole numbers from 1 up,
// finite and real for a program's subscripts.
TEST(ArrayIndexing, CheckSubscriptReadsValuesByRule) {
    using km::SubscriptValues;
    const auto passes = [](const Array &index, SubscriptValues rule) {
        try {
            km::CheckSubscript(index.get(), rule);
            return true;
        } catch (const km::CFunctionErrorException &) {
            return false;
        }
    };
    const SubscriptValues whole = SubscriptValues::kWhole;
    const SubscriptValues strict = SubscriptValues::kPositiveWhole;
    struct Case {
        const char *what;
        Array index;
        bool wholePasses;
        bool strictPasses;
    };
    Array mask = Array{0, 2, 0.5};
    km::mxSetLogical(mask.get());
    const auto single = [](float x) {
        const unsigned int dims[2] = {1, 1};
        Array a = Array::Adopt(km::mxCreateNumericArray(2, dims, km::mxClassSingle, km::mxComplexityReal));
        *static_cast<float *>(a.get()->GetPr()) = x;
        return a;
    };
    const auto complex = [](const Array &re, const Array &im) {
        return Array::Adopt(km::Complex(re.get(), im.get()));
    };
    const Case cases[] = {
        {"whole numbers", Array{1, 2, 0x1p53}, true, true},
        {"a fraction", Array{1, 2.5}, false, false},
        {"NaN", Array{1, NAN}, false, false},
        {"zero", Array{0, 1}, true, false},
        {"a negative number", Array{-1}, true, false},
        {"Inf", Array{INFINITY}, true, false},
        {"a complex index", complex(Array{1, 2}, Array{0, 1}), true, false},
        {"a complex index with zero imaginary parts", complex(Array{1, 2}, Array{0, 0}), true,
         true},
        {"a single fraction", single(1.5f), false, false},
        {"a single zero", single(0.0f), true, false},
        {"a mask", mask, true, true},
        {"a char", Array("a"), true, true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(passes(c.index, whole), c.wholePasses) << c.what;
        EXPECT_EQ(passes(c.index, strict), c.strictPasses) << c.what;
    }
    const Array colon = Array::Adopt(km::mxCreateColonIndex());
    EXPECT_TRUE(passes(colon, strict));
}

// A variable initialised from an element read is a value: later writes to
// the array do not reach it.
TEST(ArrayIndexing, ElementCopiesAreValues) {
    Array v = {1, 2, 3, 4, 5, 6};
    const double x = v(6);
    Array y = v(6);
    v(6) = 42.0;
    EXPECT_EQ(x, 6.0);
    EXPECT_EQ(y.Scalar(), 6.0);
    EXPECT_EQ(Array({1, 2, 3})(2), 2.0);  // a temporary gives a plain double
    static_assert(std::is_same_v<decltype(Array({1.0})(1)), double>);
    static_assert(std::is_same_v<decltype(std::declval<const Array &>()(1, 1)), double>);
    static_assert(!std::is_copy_constructible_v<km::ElementRef>);
    static_assert(!std::is_trivially_copyable_v<km::ElementRef>);
    static_assert(!std::is_convertible_v<km::ElementRef &, double>);
}

TEST(ArrayIndexing, ListsRangesAndEndsAsSubscripts) {
    const Array a = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    EXPECT_EQ(a({1, 2}, 1).ToVector(), (std::vector<double>{1, 4}));
    EXPECT_EQ(a({3, 1}, {2}).ToVector(), (std::vector<double>{8, 2}));
    EXPECT_EQ(a(km::Range(2, km::End()), km::All).Dims(), (std::vector<unsigned int>{2, 3}));
    EXPECT_EQ(a(km::Range(2, km::End), 1.0).ToVector(), (std::vector<double>{4, 7}));
    EXPECT_EQ(a(km::Range(1, 2, km::End), km::End).ToVector(), (std::vector<double>{3, 9}));
    Array b = a;
    b({1, 3}, km::All) = 0.0;
    EXPECT_EQ(b.ToVector(), (std::vector<double>{0, 4, 0, 0, 5, 0, 0, 6, 0}));
    EXPECT_EQ(a.At(1), 1.0);
}

// Compound assignment is the operator it stands for, on arrays, elements
// and indexed parts.
TEST(ArrayOperators, CompoundAssignmentIsTheOperator) {
    const Array a0 = {{4, 2}, {1, 3}};
    const Array b = {{1, 2}, {3, 5}};
    struct Case {
        const char *what;
        std::function<void(Array &)> change;
        Array want;
    };
    const Case cases[] = {
        {"A += B", [&](Array &a) { a += b; }, a0 + b},
        {"A -= B", [&](Array &a) { a -= b; }, a0 - b},
        {"A *= B", [&](Array &a) { a *= b; }, km::Mtimes(a0, b)},
        {"A /= B", [&](Array &a) { a /= b; }, km::Mrdivide(a0, b)},
        {"A += 1", [&](Array &a) { a += 1; }, km::Plus(a0, 1.0)},
        {"A *= 3", [&](Array &a) { a *= 3.0; }, km::Times(a0, 3.0)},
        {"A /= 3", [&](Array &a) { a /= 3.0; }, km::Mrdivide(a0, Array(3.0))},
        {"A(2, 1) += 1", [&](Array &a) { a(2, 1) += 1; }, Array{{4, 2}, {2, 3}}},
        {"A(4) *= A(1)", [&](Array &a) { a(4) *= a(1); }, Array{{4, 2}, {1, 12}}},
        {"A(1) /= 8", [&](Array &a) { a(1) /= 8; }, Array{{0.5, 2}, {1, 3}}},
        {"A(3) -= B(1)", [&](Array &a) { a(3) -= Array(b(1, 1)); }, Array{{4, 1}, {1, 3}}},
        {"A(All, 2) += B(All, 1)", [&](Array &a) { a(km::All, 2) += b(km::All, 1.0); },
         Array{{4, 3}, {1, 6}}},
        {"A(1, All) *= 2", [&](Array &a) { a(1.0, km::All) *= 2.0; }, Array{{8, 4}, {1, 3}}},
        {"A(End) /= 2", [&](Array &a) { a(km::End) /= 2.0; }, Array{{4, 2}, {1, 1.5}}},
    };
    for (const Case &c : cases) {
        Array a = a0;
        c.change(a);
        ExpectSame(a, c.want.get(), c.what);
        EXPECT_EQ(a0.ToVector(), (std::vector<double>{4, 1, 2, 3})) << c.what;
    }
    // An element of a logical array goes through the array operations, as
    // m(2) = m(2) + 1 does: the array stays logical.
    Array mask = Array{1, 0} > 0.5;
    mask(2) += 1;
    EXPECT_TRUE(mask.IsLogical());
    EXPECT_EQ(km::Nnz(mask), 2u);
}

// The Array face names the operation and its operands in the second line of
// a refusal, and the operand sizes in a dimension error; the class stays.
TEST(ArrayOperators, FailuresNameTheOperation) {
    const Array cell = km::values::Cell(1, 2);
    const Array a = {{1, 2, 3}, {4, 5, 6}};
    const auto message = [](const std::function<void()> &call) -> std::string {
        try {
            call();
        } catch (const km::CNotImplementedException &e) {
            return "not implemented: " + matrix_test::Narrow(e.GetMessage());
        } catch (const km::CInnerMatrixDimsMustAgreeException &e) {
            return "inner: " + matrix_test::Narrow(e.GetMessage());
        } catch (const km::IMatrixException &e) {
            return "other: " + matrix_test::Narrow(e.GetMessage());
        }
        return "did not throw";
    };
    const matrix_test::LiveBlocks blocks;
    EXPECT_EQ(message([&] { Array r = cell + 1.0; }),
              "not implemented: Operation not implemented! :-(\n"
              "'plus' is not defined for operands of class cell and double");
    EXPECT_EQ(message([&] { Array r = 2.0 * cell; }),
              "not implemented: Operation not implemented! :-(\n"
              "'times' is not defined for operands of class double and cell");
    EXPECT_EQ(message([&] { Array r = km::Sqrt(cell); }),
              "not implemented: Operation not implemented! :-(\n"
              "'sqrt' is not defined for an operand of class cell");
    EXPECT_EQ(message([&] { Array r = km::Sum(cell, km::Dim(1)); }),
              "not implemented: Operation not implemented! :-(\n"
              "'sum' is not defined for an operand of class cell");
    EXPECT_EQ(message([&] { Array r = a * a; }),
              "inner: Inner matrix dimensions must agree (2x3 times 2x3)");
    EXPECT_EQ(message([&] {
                  Array r = a + Array{1, 2};
              }),
              "other: " +
                  matrix_test::Narrow(km::CArrayDimsMustMatchForBinaryOpException().GetMessage()) +
                  " (2x3 plus 1x2)");
    EXPECT_EQ(blocks.Delta(), 0);
    // The function-call forms keep their messages.
    EXPECT_EQ(message([&] { ArrayPtr r(km::Plus(cell.get(), 1.0)); }),
              "not implemented: Operation not implemented! :-(");
    EXPECT_EQ(message([&] { ArrayPtr r(km::Mtimes(a.get(), a.get())); }),
              "inner: Inner matrix dimensions must agree");
    // The reusable pieces, for other callers of the library.
    EXPECT_EQ(km::OperationNotDefinedLine("mtimes", 2, a.get(), nullptr),
              "'mtimes' is not defined for operands of class double and double");
    EXPECT_EQ(km::OperandSizesText("mldivide", a.get(), nullptr), "(2x3 mldivide 1x1)");
    const double re[] = {1, 2}, im[] = {1, 1};
    const ArrayPtr z(km::mxDoubleMatrix(1, 2, re, im));
    EXPECT_EQ(km::OperationNotDefinedLine("plus", 2, z.get(), nullptr),
              "'plus' is not defined for operands of class complex double and double");
}
