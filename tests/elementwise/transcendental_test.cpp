// tests/elementwise/transcendental_test.cpp: the trigonometric, logarithmic
// and rounding functions and Atan2, Hypot and Rem, element by element
// against the standard library, with their complex turns and refusals.
#include <matrix/matrix.h>

#include <cmath>
#include <complex>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

using Unary = CMatrix *(*)(const CMatrix *);
using Binary = CMatrix *(*)(const CMatrix *, const CMatrix *);
using Complex = std::complex<double>;

// The operand of every row: the special values, subnormals, both sides of
// every domain edge, and values far outside each domain.
ValueList Inputs() {
    ValueList v = SpecialValues();
    for (double x : {-4.9e-324, 2.2250738585072009e-308, -1.5, 1.5, -1.0000000000000002, -0.999,
                     1.0000000000000002, -1e-300, 1e-17, -8.0, 100.0, -1e300, 0.5 + 0x1p-40, 710.0,
                     -745.5, 3.141592653589793, 1e22}) {
        v.push_back(x);
    }
    return v;
}

// One function: its real oracle, and for those that turn complex the test
// of the real domain and the complex oracle, as the header states them.
struct Row1 {
    const char *name;
    Unary f;
    double (*real)(double);
    bool (*outside)(double) = nullptr;
    Complex (*complex)(double) = nullptr;
};
bool BelowZero(double x) { return x < 0.0; }
bool BelowMinusOne(double x) { return x < -1.0; }
bool BeyondOne(double x) { return std::fabs(x) > 1.0; }
Complex OnCut(double x) { return Complex(x, x > 0.0 ? -0.0 : 0.0); }
// clang-format off
const Row1 kUnary[] = {
    {"sin", Sin, [](double x) { return std::sin(x); }},
    {"cos", Cos, [](double x) { return std::cos(x); }},
    {"tan", Tan, [](double x) { return std::tan(x); }},
    {"asin", Asin, [](double x) { return std::asin(x); }, BeyondOne,
     [](double x) { return std::asin(OnCut(x)); }},
    {"acos", Acos, [](double x) { return std::acos(x); }, BeyondOne,
     [](double x) { return std::acos(OnCut(x)); }},
    {"atan", Atan, [](double x) { return std::atan(x); }},
    {"sinh", Sinh, [](double x) { return std::sinh(x); }},
    {"cosh", Cosh, [](double x) { return std::cosh(x); }},
    {"tanh", Tanh, [](double x) { return std::tanh(x); }},
    {"log", Log, [](double x) { return std::log(x); }, BelowZero,
     [](double x) { return std::log(Complex(x, 0.0)); }},
    {"log2", Log2, [](double x) { return std::log2(x); }, BelowZero,
     [](double x) { return std::log(Complex(x, 0.0)) / std::log(2.0); }},
    {"log10", Log10, [](double x) { return std::log10(x); }, BelowZero,
     [](double x) { return std::log10(Complex(x, 0.0)); }},
    {"log1p", Log1p, [](double x) { return std::log1p(x); }, BelowMinusOne,
     [](double x) { return std::log(Complex(1.0 + x, 0.0)); }},
    {"expm1", Expm1, [](double x) { return std::expm1(x); }},
    {"floor", Floor, [](double x) { return std::floor(x); }},
    {"ceil", Ceil, [](double x) { return std::ceil(x); }},
    {"fix", Fix, [](double x) { return std::trunc(x); }}};
// clang-format on

// The values the header promises in words (log of both zeros, of -1 and
// of NaN, the signs of the imaginary parts beyond the domain, fix of a
// negative fraction) are among the inputs, so the oracle checks them too.
TEST(Transcendental, EachElementIsTheStandardFunction) {
    const ValueList x = Inputs();
    const ArrayPtr a = Filled({1, 1, unsigned(x.size())}, x);
    for (const Row1 &row : kUnary) {
        SCOPED_TRACE(row.name);
        ValueList re, im;
        bool turns = false;
        for (double v : x) {
            const bool out = row.outside != nullptr && row.outside(v);
            const Complex z = out ? row.complex(v) : Complex(row.real(v), 0.0);
            re.push_back(z.real());
            im.push_back(z.imag());
            turns = turns || out;
        }
        const ArrayPtr r(row.f(a.get()));
        EXPECT_TRUE(Dims(r.get()) == Dims(a.get()) && r->IsDouble() && !r->IsLogical());
        EXPECT_EQ(r->IsComplex(), turns);
        EXPECT_EQ(BitsOf(r.get()), BitsOf(re));
        if (turns) {
            EXPECT_EQ(BitsOf(ImagValues(r.get())), BitsOf(im));
        }
        // Inside the domain, and at a NaN, the result stays real.
        EXPECT_FALSE(ArrayPtr(row.f(Row({0.5}).get()))->IsComplex());
        EXPECT_FALSE(ArrayPtr(row.f(Row({kNaN}).get()))->IsComplex());
    }
}

struct Row2 {
    const char *name;
    Binary arrays;
    CMatrix *(*left)(double, const CMatrix *);
    CMatrix *(*right)(const CMatrix *, double);
    double (*rule)(double, double);
};
const Row2 kBinary[] = {
    {"atan2", Atan2, Atan2, Atan2, [](double y, double x) { return std::atan2(y, x); }},
    {"hypot", Hypot, Hypot, Hypot, [](double a, double b) { return std::hypot(a, b); }},
    {"rem", Rem, Rem, Rem, [](double x, double y) { return std::fmod(x, y); }}};

// Every pair of inputs, each form; the pairs include the zero divisors and
// negative dividends, so the oracle pins Rem's sign of x and NaN too.
TEST(Transcendental, TwoArgumentsEveryPairInEveryForm) {
    const ValueList v = Inputs();
    const unsigned int n = unsigned(v.size());
    ValueList a, b;
    for (double p : v) {
        for (double q : v) a.push_back(p), b.push_back(q);
    }
    const ArrayPtr A = Filled({n, n}, a), B = Filled({n, n}, b), row = Row(v);
    for (const Row2 &op : kBinary) {
        SCOPED_TRACE(op.name);
        ValueList want;
        for (std::size_t k = 0; k < a.size(); ++k) want.push_back(op.rule(a[k], b[k]));
        EXPECT_EQ(BitsOf(ArrayPtr(op.arrays(A.get(), B.get())).get()), BitsOf(want));
        for (double s : {2.5, -0.0, kInf, kNaN}) {
            ValueList l, r;
            for (double q : v) l.push_back(op.rule(s, q)), r.push_back(op.rule(q, s));
            EXPECT_EQ(BitsOf(ArrayPtr(op.left(s, row.get())).get()), BitsOf(l));
            EXPECT_EQ(BitsOf(ArrayPtr(op.right(row.get(), s)).get()), BitsOf(r));
            EXPECT_EQ(BitsOf(ArrayPtr(op.arrays(Row({s}).get(), row.get())).get()), BitsOf(l));
        }
    }
}

TEST(Transcendental, Refusals) {
    std::vector<ArrayPtr> bad = NonRealDoubleOperands();
    ArrayPtr wide = Counted({2, 3}), tall = Counted({3, 2});
    const CMatrix *w = wide.get(), *h = tall.get();
    std::vector<Refusal> t;
    // Cells are refused everywhere, integers by the functions they lack
    // (the rounding functions and Rem keep them), complex operands by the
    // two-argument functions.
    for (const ArrayPtr &p : bad) {
        const CMatrix *x = p.get();
        const bool integer = x->IsInt32() || x->IsUint16();
        const std::wstring cls = x->IsInt32() ? L"int32" : L"uint16";
        const auto lacks = [&](const char *name) {
            const std::string n(name);
            return Expected::Throws(CFunctionErrorException(
                (std::wstring(n.begin(), n.end()) + L": not defined for values of class " + cls +
                 L"; convert them to double or single first")
                    .c_str()));
        };
        for (const Row1 &row : kUnary) {
            const std::string n(row.name);
            if (x->IsCell()) {
                t.push_back({row.name, [=] { ArrayPtr(row.f(x)); }, NotImplemented(), {x}});
            } else if (integer && n != "floor" && n != "ceil" && n != "fix") {
                t.push_back({row.name, [=] { ArrayPtr(row.f(x)); }, lacks(row.name), {x}});
            }
        }
        for (const Row2 &op : kBinary) {
            if (integer && std::string(op.name) != "rem") {
                t.push_back({op.name, [=] { ArrayPtr(op.arrays(x, w)); }, lacks(op.name), {x, w}});
                t.push_back({op.name, [=] { ArrayPtr(op.left(1.0, x)); }, lacks(op.name), {x}});
            }
            if (!x->IsComplex() && !x->IsCell()) continue;
            t.push_back({op.name, [=] { ArrayPtr(op.arrays(x, w)); }, NotImplemented(), {x, w}});
            t.push_back({op.name, [=] { ArrayPtr(op.left(1.0, x)); }, NotImplemented(), {x}});
        }
    }
    for (const Row2 &op : kBinary) {
        t.push_back({op.name,
                     [=] { ArrayPtr(op.arrays(w, h)); },
                     Expected::Throws<CArrayDimsMustMatchForBinaryOpException>(),
                     {w, h}});
    }
    ExpectRefusals(t);
}

}  // namespace
