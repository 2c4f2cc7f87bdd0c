// tests/array/array_ops_test.cpp: tests of Array's operators, function forms and indexing.
#include <matrix/array.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/matrix_test.h"

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

}  // namespace
