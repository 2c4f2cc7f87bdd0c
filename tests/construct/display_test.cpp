// tests/construct/display_test.cpp: the text DisplayText gives, against golden files.
//
// Each case builds an array, displays it under a name (or none) and compares
// the text byte for byte with tests/construct/display/<case>.txt. Setting
// MATRIX_UPDATE_GOLDEN=1 rewrites the files from the current output instead,
// for review with git diff.
#include <matrix/matrix.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using namespace matrix_test::special;

std::string GoldenPath(const std::string &name) {
    return std::string(MATRIX_DISPLAY_GOLDEN_DIR) + "/" + name + ".txt";
}

// A char array of `dims` whose code units are the bytes of `codes`.
ArrayPtr Text(DimList dims, const char *codes) {
    return Chars(dims, std::string(codes, std::size_t{dims[0]} * dims[1]));
}

// A 1 x count row of k + 0.5 for k = 1 .. count, times `scale`.
ArrayPtr Halves(unsigned int rows, unsigned int count, double scale) {
    std::vector<double> v;
    for (unsigned int k = 1; k <= count; ++k) v.push_back((k + 0.5) * scale);
    return Filled({rows, count / rows}, v);
}

// Every kind of slot summary: scalar, char row, matrix, empty, integer, cell.
ArrayPtr Cell() {
    ArrayPtr c(mxCreateCellMatrix(2, 3));
    mxSetCell(c.get(), 0, Scalar(5));
    mxSetCell(c.get(), 1, mxCreateString("ab"));
    mxSetCell(c.get(), 2, Matrix(2, 2, {1, 2, 3, 4}).release());
    mxSetCell(c.get(), 4, Typed<std::int8_t>(mxClassInt8, {1, 1}, {-7}).release());
    mxSetCell(c.get(), 5, mxCreateCellMatrix(1, 2));
    return c;
}

// The forms the golden scripts show too (a whole or exponent scalar, an
// unnamed value, an empty text, a complex scalar) are left to them. Code
// 0xE9 is U+00E9.
TEST(DisplayText, MatchesTheGoldenFiles) {
    const std::tuple<const char *, const char *, ArrayPtr> cases[] = {
        {"matrix_int", "A", Matrix(2, 3, {1, 4, -2, -50, 3, 600})},
        {"matrix_decimal", "A", Matrix(2, 2, {3.14159, 0, -2.5, 100.25})},
        {"matrix_nonfinite", "A", Matrix(2, 3, {1.5, -kInf, kNaN, kInf, 0, -2})},
        {"matrix_nonfinite_whole", "A", Matrix(1, 4, {1, kNaN, -kInf, -20})},
        {"matrix_negative_zero", "A", Matrix(2, 2, {-0.0, 2, 1, -0.0})},
        {"scaled_large", "A", Matrix(2, 2, {1234.5, -0.5, 2, 10000})},
        {"scaled_small", "A", Matrix(1, 3, {1e-4, -2.5e-5, 0})},
        {"columns_and", "A", Halves(1, 10, 1)},
        {"columns_scaled", "A", Halves(2, 34, 123.4)},
        {"nd_4d", "A", Counted({1, 2, 1, 2})},
        {"empty_0x3", "A", Array({0, 3})},
        {"empty_1x0x2", "A", Array({1, 0, 2})},
        {"empty_cell", "C", ArrayPtr(mxCreateCellMatrix(0, 3))},
        {"logical", "L", Mask({1, 0, 0, 2}, {2, 2})},  // any non-zero shows as 1
        {"char_row", "s", ArrayPtr(mxCreateString("caf\xE9 au lait"))},
        {"char_matrix", "s", Text({2, 3}, "adbecf")},
        {"complex_matrix", "Z", Complex(2, 2, {3, 0, -1, 0.5}, {2, -1, -10, -0.0})},
        {"int8", "A", Typed<std::int8_t>(mxClassInt8, {1, 3}, {-128, 127, 0})},
        {"single", "A", Typed<float>(mxClassSingle, {1, 3}, {1.5f, 2.25f, -0.125f})},
        {"cell", "C", Cell()},
        {"struct", "S", Array({1, 1}, mxClassStruct)}};
    const bool update = std::getenv("MATRIX_UPDATE_GOLDEN") != nullptr;
    for (const auto &[file, name, a] : cases) {
        SCOPED_TRACE(file);
        const Snapshots before({a.get()});
        const std::string text = DisplayText(a.get(), name);
        EXPECT_TRUE(before.Unchanged());
        if (update) {
            std::ofstream(GoldenPath(file), std::ios::binary) << text;
            continue;
        }
        std::ostringstream golden;
        golden << std::ifstream(GoldenPath(file), std::ios::binary).rdbuf();
        EXPECT_EQ(text, golden.str());
    }
}

TEST(DisplayNumber, GivesTheScalarForm) {
    const std::pair<double, const char *> cases[] = {
        {5, "5"},
        {-0.0, "0"},
        {-0.5, "-0.5000"},
        {0.001, "0.0010"},
        {0.000999, "9.9900e-04"},
        {999.94, "999.9400"},
        {999.99994, "1.0000e+03"},  // five significant digits decide
        {999999999, "999999999"},
        {1e9, "1.0000e+09"},
        {-1.5e300, "-1.5000e+300"},
        {4.9e-324, "4.9407e-324"},
        {kNaN, "NaN"},
        {kNegatedNaN, "NaN"},
        {-kInf, "-Inf"}};
    for (const auto &[x, text] : cases) EXPECT_EQ(DisplayNumber(x), text) << x;
}

// The literals come from Python, run once: format(x, '.15f'), '.15e', '.4e',
// '.5g', '.15g'; for rat the convergents of the continued fraction of
// fractions.Fraction(x) taken exactly, each equal to
// Fraction(x).limit_denominator(q) for its denominator q.
TEST(DisplayNumber, GivesEachFormat) {
    const double pi = 3.141592653589793;
    const std::tuple<double, NumberFormat, const char *> cases[] = {
        {pi, NumberFormat::kLong, "3.141592653589793"},
        {1.0 / 3, NumberFormat::kLong, "0.333333333333333"},
        {10 * pi, NumberFormat::kLong, "31.415926535897931"},
        {100 * pi, NumberFormat::kLong, "3.141592653589793e+02"},  // above the long range
        {0.001, NumberFormat::kLong, "0.001000000000000"},
        {0.0001, NumberFormat::kLong, "1.000000000000000e-04"},
        {-0.5, NumberFormat::kLong, "-0.500000000000000"},
        {1e9, NumberFormat::kLong, "1.000000000000000e+09"},
        {5, NumberFormat::kLong, "5"},
        {pi, NumberFormat::kShortE, "3.1416e+00"},
        {-0.5, NumberFormat::kShortE, "-5.0000e-01"},
        {1e10, NumberFormat::kShortE, "1.0000e+10"},
        {5, NumberFormat::kShortE, "5"},  // whole values stay whole
        {pi, NumberFormat::kLongE, "3.141592653589793e+00"},
        {1.0 / 3, NumberFormat::kLongE, "3.333333333333333e-01"},
        {pi, NumberFormat::kShortG, "3.1416"},
        {123456.7, NumberFormat::kShortG, "1.2346e+05"},
        {0.001, NumberFormat::kShortG, "0.001"},
        {1.5e-5, NumberFormat::kShortG, "1.5e-05"},
        {1.0 / 3, NumberFormat::kShortG, "0.33333"},
        {-0.5, NumberFormat::kShortG, "-0.5"},
        {pi, NumberFormat::kLongG, "3.14159265358979"},
        {123456.7, NumberFormat::kLongG, "123456.7"},
        {1.0 / 3, NumberFormat::kLongG, "0.333333333333333"},
        {1.5e20, NumberFormat::kLongG, "1.5e+20"},
        {pi, NumberFormat::kRat, "355/113"},
        {1.0 / 3, NumberFormat::kRat, "1/3"},
        {2.0 / 3, NumberFormat::kRat, "2/3"},
        {-2.5, NumberFormat::kRat, "-5/2"},
        {0.75, NumberFormat::kRat, "3/4"},
        {0.1, NumberFormat::kRat, "1/10"},
        {1.4142135623730951, NumberFormat::kRat, "1393/985"},
        {2.718281828459045, NumberFormat::kRat, "1264/465"},
        {1234.5678, NumberFormat::kRat, "45679/37"},
        {-1e-7, NumberFormat::kRat, "-1/10000000"},
        {1e-20, NumberFormat::kRat, "1.0000e-20"},  // denominator beyond 1e15
        {1e300, NumberFormat::kRat, "1.0000e+300"},
        {3, NumberFormat::kRat, "3"},
        {-0.0, NumberFormat::kRat, "0"},
        {kNaN, NumberFormat::kRat, "NaN"},
        {-kInf, NumberFormat::kLongG, "-Inf"},
        {kNegatedNaN, NumberFormat::kLong, "NaN"}};
    for (const auto &[x, format, text] : cases) {
        EXPECT_EQ(DisplayNumber(x, format), text) << x << " in format " << int(format);
    }
    // The short format is the one-argument form.
    for (const double x : SpecialValues())
        EXPECT_EQ(DisplayNumber(x, NumberFormat::kShort), DisplayNumber(x));
}

// A double scalar owned by the test.
ArrayPtr Num(double x) { return ArrayPtr(Scalar(x)); }

DisplayOptions Options(NumberFormat format, DisplayLayout layout = DisplayLayout::kPlain,
                       bool compact = false) {
    DisplayOptions options;
    options.format = format;
    options.layout = layout;
    options.compact = compact;
    return options;
}

DisplayOptions Session(NumberFormat format = NumberFormat::kShort, bool compact = false) {
    return Options(format, DisplayLayout::kSession, compact);
}

ArrayPtr Logical(DimList dims, const ValueList &values) {
    ArrayPtr a = Filled(dims, values);
    a->SetLogical();
    return a;
}

// Element texts of the session: empty slot, matrix, cell, char row, decimal
// scalar, logical scalar, int8 scalar, empty char, logical row, complex.
ArrayPtr SessionCell() {
    ArrayPtr c(mxCreateCellMatrix(2, 5));
    mxSetCell(c.get(), 1, Matrix(2, 3, {1, 2, 3, 4, 5, 6}).release());
    mxSetCell(c.get(), 2, mxCreateCellMatrix(1, 2));
    mxSetCell(c.get(), 3, mxCreateString("abc"));
    mxSetCell(c.get(), 4, Scalar(3.141592653589793));
    mxSetCell(c.get(), 5, Logical({1, 1}, {1}).release());
    mxSetCell(c.get(), 6, Typed<std::int8_t>(mxClassInt8, {1, 1}, {-7}).release());
    mxSetCell(c.get(), 7, mxCreateString(""));
    mxSetCell(c.get(), 8, Logical({1, 4}, {1, 0, 1, 1}).release());
    mxSetCell(c.get(), 9, Complex(1, 1, {3}, {-2}).release());
    return c;
}

ArrayPtr OneTwoCell() {
    ArrayPtr c(mxCreateCellMatrix(1, 2));
    mxSetCell(c.get(), 0, Scalar(1));
    mxSetCell(c.get(), 1, mxCreateString("abc"));
    return c;
}

struct TextCase {
    const char *what;
    ArrayPtr a;
    const char *name;
    DisplayOptions options;
    const char *text;
};

void ExpectTexts(const std::vector<TextCase> &cases) {
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.what);
        const Snapshots before({c.a.get()});
        EXPECT_EQ(DisplayText(c.a.get(), c.name, c.options), c.text);
        EXPECT_TRUE(before.Unchanged());
    }
}

// The number formats in the plain layout; the matrix [pi 1000.5; -2.5 1/3]
// has the texts of the literals above (long: the values divided by 1000).
TEST(DisplayText, PrintsEachNumberFormat) {
    const double pi = 3.141592653589793;
    const auto mixed = [&] { return Matrix(2, 2, {pi, -2.5, 1000.5, 1.0 / 3}); };
    std::vector<TextCase> cases;
    cases.push_back({"long matrix", mixed(), "A", Options(NumberFormat::kLong),
                     "A =\n\n   1.0e+03 *\n\n"
                     "    0.003141592653590    1.000500000000000\n"
                     "   -0.002500000000000    0.000333333333333\n\n"});
    cases.push_back({"short e matrix", mixed(), "A", Options(NumberFormat::kShortE),
                     "A =\n\n    3.1416e+00    1.0005e+03\n   -2.5000e+00    3.3333e-01\n\n"});
    cases.push_back({"short g matrix", mixed(), "A", Options(NumberFormat::kShortG),
                     "A =\n\n    3.1416    1000.5\n      -2.5   0.33333\n\n"});
    cases.push_back({"rat matrix", mixed(), "A", Options(NumberFormat::kRat),
                     "A =\n\n   355/113    2001/2\n      -5/2       1/3\n\n"});
    cases.push_back(
        {"long scalar", Num(pi), "x", Options(NumberFormat::kLong), "x = 3.141592653589793\n\n"});
    cases.push_back({"whole matrix in long e", Matrix(1, 3, {1, -2, 3}), "A",
                     Options(NumberFormat::kLongE), "A =\n\n     1    -2     3\n\n"});
    cases.push_back({"rat complex", Complex(1, 1, {0.5}, {-0.25}), "z", Options(NumberFormat::kRat),
                     "z = 1/2 - 1/4i\n\n"});
    cases.push_back({"long g with NaN", Matrix(1, 2, {0.1, kNaN}), "A",
                     Options(NumberFormat::kLongG), "A =\n\n       0.1       NaN\n\n"});
    // Single: float(pi) is 3.14159274..., float(100 pi) 314.159271...
    cases.push_back({"single long scalar", Typed<float>(mxClassSingle, {1, 1}, {float(pi)}), "x",
                     Options(NumberFormat::kLong), "x = 3.1415927\n\n"});
    cases.push_back(
        {"single long row", Typed<float>(mxClassSingle, {1, 2}, {float(pi), float(100 * pi)}), "A",
         Options(NumberFormat::kLong), "A =\n\n   1.0e+02 *\n\n   0.0314159   3.1415927\n\n"});
    cases.push_back({"single long e", Typed<float>(mxClassSingle, {1, 1}, {float(pi)}), "x",
                     Options(NumberFormat::kLongE), "x = 3.1415927e+00\n\n"});
    cases.push_back({"single long g", Typed<float>(mxClassSingle, {1, 1}, {float(pi)}), "x",
                     Options(NumberFormat::kLongG), "x = 3.1415927\n\n"});
    // Integer classes and logical arrays ignore the format.
    cases.push_back({"int8 in rat", Typed<std::int8_t>(mxClassInt8, {1, 2}, {-5, 7}), "A",
                     Options(NumberFormat::kRat), "A =\n\n  -5   7\n\n"});
    cases.push_back({"logical in long", Logical({1, 2}, {1, 0}), "L", Options(NumberFormat::kLong),
                     "L =\n\n  1  0\n\n"});
    cases.push_back({"cell scalar in long g", OneTwoCell(), "C", Options(NumberFormat::kLongG),
                     "C =\n\n    [1]      'abc'\n\n"});
    cases.push_back({"compact plain scalar", Num(5), "x",
                     Options(NumberFormat::kShort, DisplayLayout::kPlain, true), "x = 5\n"});
    cases.push_back({"compact plain matrix", Matrix(1, 2, {1, 2}), "A",
                     Options(NumberFormat::kShort, DisplayLayout::kPlain, true),
                     "A =\n     1     2\n"});
    ExpectTexts(cases);
}

TEST(DisplayText, RefusesAnUnknownFormat) {
    const Expected unknown = Expected::Throws(
        CFunctionErrorException(L"DisplayText, DisplayNumber: unknown number format"));
    for (const int bad : {-1, 7}) {
        const auto format = static_cast<NumberFormat>(bad);
        ExpectRefusal([&] { DisplayNumber(5, format); }, unknown, {}, "DisplayNumber");
        const ArrayPtr a = Num(5);
        ExpectRefusal([&] { DisplayText(a.get(), "x", Options(format)); }, unknown, {a.get()},
                      "DisplayText");
    }
}

TEST(DisplayText, DefaultOptionsGiveThePlainText) {
    const ArrayPtr arrays[] = {
        Matrix(2, 2, {1.5, 2, 3, 4}), Num(5), Array({0, 3}), Cell(), Halves(2, 34, 123.4),
        Counted({1, 2, 1, 2})};
    for (const ArrayPtr &a : arrays) {
        EXPECT_EQ(DisplayText(a.get(), "A", DisplayOptions()), DisplayText(a.get(), "A"));
        EXPECT_EQ(DisplayText(a.get(), "", DisplayOptions()), DisplayText(a.get(), ""));
    }
}

TEST(DisplayText, PrintsTheSessionLayout) {
    std::vector<TextCase> cases;
    cases.push_back({"whole scalar", Num(3), "x", Session(), "x =\n\n     3\n\n"});
    cases.push_back(
        {"decimal scalar", Num(3.141592653589793), "x", Session(), "x =\n\n    3.1416\n\n"});
    cases.push_back({"exponent scalar", Num(1e10), "x", Session(), "x =\n\n   1.0000e+10\n\n"});
    cases.push_back({"long scalar", Num(3.141592653589793), "x", Session(NumberFormat::kLong),
                     "x =\n\n   3.141592653589793\n\n"});
    cases.push_back({"complex scalar", Complex(1, 1, {3}, {2}), "z", Session(),
                     "z =\n\n   3.0000 + 2.0000i\n\n"});
    // Complex fields: the sign touches the imaginary field, a one-digit
    // whole part of the fixed forms gets a column before it.
    cases.push_back({"complex column", Complex(3, 1, {10, -0.5, kNaN}, {2, -13.25, kInf}), "z",
                     Session(),
                     "z =\n\n  10.0000 + 2.0000i\n  -0.5000 -13.2500i\n      NaN +    Infi\n\n"});
    cases.push_back({"long complex", Complex(1, 1, {3}, {-2}), "z", Session(NumberFormat::kLong),
                     "z =\n\n   3.000000000000000 - 2.000000000000000i\n\n"});
    cases.push_back({"short e complex", Complex(1, 2, {3, -1}, {2, 0}), "z",
                     Session(NumberFormat::kShortE),
                     "z =\n\n   3.0000e+00 + 2.0000e+00i  -1.0000e+00 + 0.0000e+00i\n\n"});
    cases.push_back({"short g complex", Complex(1, 1, {3}, {4}), "z", Session(NumberFormat::kShortG),
                     "z =\n\n   3 + 4i\n\n"});
    cases.push_back({"int8 complex", TypedRow(mxClassInt8, {3, -10}, {4, -5}), "z", Session(),
                     "z =\n\n  1x2 int8 row vector\n\n    3 + 4i  -10 - 5i\n\n"});
    cases.push_back({"scaled complex", Complex(1, 2, {1000, 1}, {1, 0}), "", Session(),
                     "   1.0e+03 *\n   1.0000 + 0.0010i   0.0010 + 0.0000i\n"});
    cases.push_back({"single scalar", Typed<float>(mxClassSingle, {1, 1}, {2.5f}), "x", Session(),
                     "x =\n\n  single\n\n    2.5000\n\n"});
    cases.push_back({"single column", Typed<float>(mxClassSingle, {2, 1}, {1, 2}), "x", Session(),
                     "x =\n\n  2x1 single column vector\n\n     1\n     2\n\n"});
    cases.push_back({"matrix", Matrix(2, 2, {1, 3, 2, 4}), "A", Session(),
                     "A =\n\n     1     2\n     3     4\n\n"});
    cases.push_back(
        {"logical scalar", Logical({1, 1}, {1}), "a", Session(), "a =\n\n  logical\n\n   1\n\n"});
    cases.push_back({"logical row", Logical({1, 3}, {1, 0, 2}), "a", Session(),
                     "a =\n\n  1x3 logical array\n\n   1   0   1\n\n"});
    // Integer fields keep a column for a sign.
    cases.push_back({"int8 row", Typed<std::int8_t>(mxClassInt8, {1, 3}, {-128, 127, 0}), "A",
                     Session(), "A =\n\n  1x3 int8 row vector\n\n  -128   127     0\n\n"});
    cases.push_back({"uint8 matrix", Typed<std::uint8_t>(mxClassUint8, {2, 2}, {1, 2, 30, 4}), "A",
                     Session(), "A =\n\n  2x2 uint8 matrix\n\n    1   30\n    2    4\n\n"});
    cases.push_back({"uint16 scalar", Typed<std::uint16_t>(mxClassUint16, {1, 1}, {500}), "n",
                     Session(), "n =\n\n  uint16\n\n   500\n\n"});
    cases.push_back({"0x0 double", Array({0, 0}), "x", Session(), "x =\n\n     []\n\n"});
    cases.push_back(
        {"0x3 double", Array({0, 3}), "x", Session(), "x =\n\n  0x3 empty double matrix\n\n"});
    cases.push_back({"1x0x2 double", Array({1, 0, 2}), "x", Session(),
                     "x =\n\n  1x0x2 empty double array\n\n"});
    cases.push_back({"0x3 logical", Logical({0, 3}, {}), "x", Session(),
                     "x =\n\n  0x3 empty logical matrix\n\n"});
    cases.push_back({"3x0 int8", Array({3, 0}, mxClassInt8), "x", Session(),
                     "x =\n\n  3x0 empty int8 matrix\n\n"});
    cases.push_back({"0x0 char", Array({0, 0}, mxClassChar), "s", Session(),
                     "s =\n\n  0x0 empty char array\n\n"});
    cases.push_back({"1x0 char", ArrayPtr(mxCreateString("")), "s", Session(),
                     "s =\n\n  1x0 empty char array\n\n"});
    cases.push_back({"0x3 cell", ArrayPtr(mxCreateCellMatrix(0, 3)), "c", Session(),
                     "c =\n\n  0x3 empty cell array\n\n"});
    cases.push_back(
        {"char row", ArrayPtr(mxCreateString("text")), "s", Session(), "s =\n\n    'text'\n\n"});
    cases.push_back(
        {"char matrix", Text({2, 3}, "adbecf"), "s", Session(),
         "s =\n\n  2x3 char array\n\n    'abc'\n    'def'\n\n"});
    cases.push_back({"cell", OneTwoCell(), "c", Session(),
                     "c =\n\n  1x2 cell array\n\n    {[1]}    {'abc'}\n\n"});
    // Fields as wide as their column; the fifth column does not fit in 80.
    cases.push_back({"every element text", SessionCell(), "c", Session(),
                     "c =\n\n  2x5 cell array\n\n  Columns 1 through 4\n\n"
                     "    {0x0 double}    {1x2 cell}    {[3.1416]}    {[-7]}\n"
                     "    {2x3 double}    {'abc'}       {[1]}         {1x0 char}\n\n"
                     "  Column 5\n\n    {1x4 logical}\n    {[3.0000 - 2.0000i]}\n\n"});
    cases.push_back(
        {"struct", Array({1, 1}, mxClassStruct), "S", Session(), "S =\n\n  1x1 struct array\n\n"});
    cases.push_back({"pages", Counted({1, 2, 2}), "A", Session(),
                     "A(:,:,1) =\n\n     1     2\n\nA(:,:,2) =\n\n     3     4\n\n"});
    cases.push_back(
        {"compact scalar", Num(3), "x", Session(NumberFormat::kShort, true), "x =\n     3\n"});
    cases.push_back({"compact logical", Logical({1, 1}, {0}), "a",
                     Session(NumberFormat::kShort, true), "a =\n  logical\n   0\n"});
    cases.push_back({"compact cell", OneTwoCell(), "c", Session(NumberFormat::kShort, true),
                     "c =\n  1x2 cell array\n    {[1]}    {'abc'}\n"});
    cases.push_back({"compact empty", Array({0, 3}), "x", Session(NumberFormat::kShort, true),
                     "x =\n  0x3 empty double matrix\n"});
    cases.push_back({"compact blocks", Halves(1, 10, 1), "A", Session(NumberFormat::kShort, true),
                     "A =\n  Columns 1 through 8\n"
                     "    1.5000    2.5000    3.5000    4.5000    5.5000    6.5000    7.5000"
                     "    8.5000\n  Columns 9 and 10\n    9.5000   10.5000\n"});
    // No name: the value lines alone.
    cases.push_back({"value of a scalar", Num(3), "", Session(), "     3\n"});
    cases.push_back({"value of a decimal", Num(3.141592653589793), "", Session(), "    3.1416\n"});
    cases.push_back({"value of a scaled row", Matrix(1, 2, {1000.5, 2}), "", Session(),
                     "   1.0e+03 *\n    1.0005    0.0020\n"});
    cases.push_back({"value of a logical", Logical({1, 2}, {1, 0}), "", Session(), "   1   0\n"});
    cases.push_back({"value of a cell", OneTwoCell(), "", Session(), "    {[1]}    {'abc'}\n"});
    cases.push_back(
        {"value of a char row", ArrayPtr(mxCreateString("text")), "", Session(), "text\n"});
    cases.push_back({"value of a char matrix", Text({2, 2}, "acbd"), "", Session(), "ab\ncd\n"});
    cases.push_back({"value of an empty", Array({0, 3}), "", Session(), ""});
    cases.push_back({"value of pages", Counted({1, 1, 2}), "", Session(),
                     "(:,:,1) =\n     1\n(:,:,2) =\n     2\n"});
    ExpectTexts(cases);
}

using UnitList = std::vector<std::uint16_t>;

ArrayPtr UnitRow(const UnitList &units) {
    return Typed(mxClassChar, {1, unsigned(units.size())}, units);
}

// The UTF-8 texts are Python's str.encode() of the same code points.
TEST(Utf8Text, WritesCodeUnitsAsUtf8) {
    EXPECT_EQ(Utf8Text(Text({1, 5}, "caf\xE9!").get()), "caf\xC3\xA9!");
    EXPECT_EQ(Utf8Text(Text({2, 2}, "acbd").get()), "acbd");  // column-major
    EXPECT_EQ(Utf8Text(Text({1, 3}, std::string("a\0b", 3).c_str()).get()), std::string("a\0b", 3));
    EXPECT_EQ(Utf8Text(ArrayPtr(mxCreateString("")).get()), "");
    EXPECT_EQ(Utf8Text(Num(65).get()), "");  // not a char array
    const std::pair<UnitList, const char *> cases[] = {
        {{0x7F, 0x80}, "\x7F\xC2\x80"},
        {{0xFF, 0x7FF, 0x800}, "\xC3\xBF\xDF\xBF\xE0\xA0\x80"},
        {{0x20AC, 0xD7FF, 0xE000, 0xFFFF}, "\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"},
        {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},  // a surrogate pair
        {{0xD800, 0xDC00, 0xDBFF, 0xDFFF}, "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {{0xD83D, 'a'},
         "\xEF\xBF\xBD"
         "a"},                             // lone high surrogate
        {{'a', 0xDE00}, "a\xEF\xBF\xBD"},  // lone low surrogate
        {{'a', 0xD800}, "a\xEF\xBF\xBD"},  // high surrogate at the end
        {{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {{0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"}};
    for (const auto &[units, text] : cases) {
        const ArrayPtr a = UnitRow(units);
        EXPECT_EQ(Utf8Text(a.get()), text);
        // Display pairs surrogates along each row the same way.
        EXPECT_EQ(DisplayText(a.get(), "s"), std::string("s = '") + text + "'\n\n");
    }
    // Text runs in column-major order; display along the rows, where a pair
    // split over two rows is two lone surrogates.
    const ArrayPtr split = Typed<std::uint16_t>(mxClassChar, {2, 1}, {0xD83D, 0xDE00});
    EXPECT_EQ(Utf8Text(split.get()), "\xF0\x9F\x98\x80");
    EXPECT_EQ(DisplayText(split.get(), ""), "\xEF\xBF\xBD\n\xEF\xBF\xBD\n");
}

// Every code unit comes back from its text, but for the surrogates, which
// have none of their own.
TEST(Utf8Text, RoundTripsThroughCharFromUtf8) {
    UnitList all;
    for (unsigned int unit = 0; unit <= 0xFFFF; ++unit) {
        if (unit < 0xD800 || unit > 0xDFFF) all.push_back(static_cast<std::uint16_t>(unit));
    }
    const ArrayPtr codes = UnitRow(all);
    const ArrayPtr back(CharFromUtf8(Utf8Text(codes.get())));
    EXPECT_TRUE(SameArray(back.get(), codes.get()));
}

// Each byte that does not begin a well-formed sequence is one U+FFFD.
TEST(CharFromUtf8, DecodesUtf8IntoCodeUnits) {
    const UnitList fffd = {0xFFFD};
    const std::pair<std::string, UnitList> cases[] = {
        {"caf\xC3\xA9", {'c', 'a', 'f', 0xE9}},
        {"", {}},
        {std::string("\0x", 2), {0, 'x'}},
        {"\xE2\x82\xAC", {0x20AC}},
        {"a\xF0\x9F\x98\x80", {'a', 0xD83D, 0xDE00}},
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
        {"\xEF\xBF\xBD", fffd},
        {"\x80", fffd},                              // stray continuation
        {"ab\xC3", {'a', 'b', 0xFFFD}},              // truncated
        {"\xE2\x82", {0xFFFD, 0xFFFD}},              // truncated
        {"\xE2\x82x", {0xFFFD, 0xFFFD, 'x'}},        // not a continuation
        {"\xC0\x80", {0xFFFD, 0xFFFD}},              // overlong
        {"\xC1\xBF", {0xFFFD, 0xFFFD}},              // overlong
        {"\xE0\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD}},  // overlong
        {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},  // an encoded surrogate
        {"\xF4\x90\x80\x80", UnitList(4, 0xFFFD)},   // above U+10FFFF
        {"\xF5\xFF", {0xFFFD, 0xFFFD}}};
    for (const auto &[text, units] : cases) {
        const ArrayPtr a(CharFromUtf8(text));
        EXPECT_EQ(Dims(a.get()), (DimList{1, unsigned(units.size())})) << text;
        EXPECT_EQ(Units(a.get()), units) << text;
        EXPECT_TRUE(a->IsChar() && a->GetFlags() == 0u);
    }
}

// Rows padded with blanks to the most code units; an "\xC3\xA9" is one.
TEST(CharRows, PadsRowsWithBlanks) {
    const ArrayPtr rows(CharRows({"ab", "c", "caf\xC3\xA9"}));
    EXPECT_TRUE(SameArray(rows.get(), Text({3, 4}, "accb a  f  \xE9").get()));
    EXPECT_EQ(DisplayText(rows.get(), "s"), "s =\n\n    'ab  '\n    'c   '\n    'caf\xC3\xA9'\n\n");
    const ArrayPtr one(CharRows({"text"}));
    EXPECT_TRUE(SameArray(one.get(), ArrayPtr(CharFromUtf8("text")).get()));
    EXPECT_TRUE(SameArray(ArrayPtr(CharRows({})).get(), Array({0, 0}, mxClassChar).get()));
    EXPECT_TRUE(SameArray(ArrayPtr(CharRows({"", ""})).get(), Array({2, 0}, mxClassChar).get()));
    // Rows are padded to their code units: a surrogate pair takes two.
    const ArrayPtr wide(CharRows({"\xE2\x82\xAC", "\xF0\x9F\x98\x80"}));
    EXPECT_EQ(Dims(wide.get()), (DimList{2, 2}));
    EXPECT_EQ(Units(wide.get()), (UnitList{0x20AC, 0xD83D, ' ', 0xDE00}));
}

}  // namespace
