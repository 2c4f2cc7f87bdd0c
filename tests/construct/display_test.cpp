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
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

std::string GoldenPath(const std::string &name) {
    return std::string(MATRIX_DISPLAY_GOLDEN_DIR) + "/" + name + ".txt";
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// An array of class C holding `values` (column-major), complex when
// `imag` is not empty.
template <typename T>
ArrayPtr Typed(DimList dims, mxClassID classId, const std::vector<T> &values,
               const std::vector<T> &imag = {}) {
    ArrayPtr a = Array(dims, classId, imag.empty() ? mxComplexityReal : mxComplexityComplex);
    std::memcpy(a->GetPr(), values.data(), values.size() * sizeof(T));
    if (!imag.empty()) std::memcpy(a->GetPi(), imag.data(), imag.size() * sizeof(T));
    return a;
}

ArrayPtr Complex(DimList dims, const std::vector<double> &re, const std::vector<double> &im) {
    return Typed<double>(dims, mxClassDouble, re, im);
}

ArrayPtr Logical(DimList dims, const std::vector<double> &values) {
    ArrayPtr a = Filled(dims, values);
    a->SetLogical();
    return a;
}

ArrayPtr Text(DimList dims, const char *codes) {
    ArrayPtr a = Array(dims, mxClassChar);
    std::memcpy(a->GetPr(), codes, a->GetNoElems());
    return a;
}

// Values k + 0.5 for k = 1 .. count, times `scale`.
std::vector<double> Halves(unsigned int count, double scale) {
    std::vector<double> v;
    for (unsigned int k = 1; k <= count; ++k) v.push_back((k + 0.5) * scale);
    return v;
}

ArrayPtr Cell() {
    ArrayPtr c(mxCreateCellMatrix(2, 3));
    mxSetCell(c.get(), 0, Scalar(5));
    mxSetCell(c.get(), 1, mxCreateString("ab"));
    mxSetCell(c.get(), 2, Matrix(2, 2, {1, 2, 3, 4}).release());
    // Slot 3 stays empty.
    mxSetCell(c.get(), 4, Typed<std::int8_t>({1, 1}, mxClassInt8, {-7}).release());
    mxSetCell(c.get(), 5, mxCreateCellMatrix(1, 2));
    return c;
}

struct Case {
    const char *file;
    const char *name;
    std::function<ArrayPtr()> build;
};

const Case kCases[] = {
    // Scalars.
    {"scalar_int", "x", [] { return Matrix(1, 1, {5}); }},
    {"scalar_decimal", "x", [] { return Matrix(1, 1, {-0.5}); }},
    {"scalar_pi", "x", [] { return Matrix(1, 1, {3.14159265358979}); }},
    {"scalar_exponent", "x", [] { return Matrix(1, 1, {1.23456e10}); }},
    {"scalar_small", "x", [] { return Matrix(1, 1, {4.5e-5}); }},
    {"scalar_large_whole", "x", [] { return Matrix(1, 1, {1e10}); }},
    {"scalar_nan", "x", [] { return Matrix(1, 1, {kNaN}); }},
    {"scalar_minus_inf", "x", [] { return Matrix(1, 1, {-kInf}); }},
    {"scalar_negative_zero", "x", [] { return Matrix(1, 1, {-0.0}); }},
    {"scalar_unnamed", "", [] { return Matrix(1, 1, {3.14159265358979}); }},
    // Matrices: whole, decimal with a bare zero, non-finite values, -0.
    {"matrix_int", "A",
     [] {
         return Matrix(2, 3, {1, 4, -2, -50, 3, 600});
     }},
    {"matrix_decimal", "A",
     [] {
         return Matrix(2, 2, {3.14159, 0, -2.5, 100.25});
     }},
    {"matrix_nonfinite", "A",
     [] {
         return Matrix(2, 3, {1.5, -kInf, kNaN, kInf, 0, -2});
     }},
    {"matrix_nonfinite_whole", "A",
     [] {
         return Matrix(1, 4, {1, kNaN, -kInf, -20});
     }},
    {"matrix_negative_zero", "A",
     [] {
         return Matrix(2, 2, {-0.0, 2, 1, -0.0});
     }},
    {"matrix_large_whole", "A",
     [] {
         return Matrix(1, 2, {999999999, -1});
     }},
    {"matrix_unnamed", "",
     [] {
         return Matrix(2, 2, {1, 3, 2, 40});
     }},
    // Common factor: large, small, and whole values beyond nine digits.
    {"scaled_large", "A",
     [] {
         return Matrix(2, 2, {1234.5, -0.5, 2, 10000});
     }},
    {"scaled_small", "A",
     [] {
         return Matrix(1, 3, {1e-4, -2.5e-5, 0});
     }},
    {"scaled_whole", "A",
     [] {
         return Matrix(2, 1, {1e10, 1});
     }},
    {"scaled_nonfinite", "A",
     [] {
         return Matrix(1, 3, {123456.7, kNaN, -kInf});
     }},
    // Column blocks: "through", then "and", then a single column; the factor once.
    {"columns_int", "A",
     [] {
         return Counted({1, 30});
     }},
    {"columns_and", "A",
     [] {
         return Filled({1, 10}, Halves(10, 1));
     }},
    {"columns_scaled", "A",
     [] {
         return Filled({2, 17}, Halves(34, 123.4));
     }},
    {"columns_unnamed", "",
     [] {
         return Filled({1, 9}, Halves(9, 1));
     }},
    // N-d arrays, page by page.
    {"nd_2x2x2", "A",
     [] {
         return Counted({2, 2, 2});
     }},
    {"nd_4d", "A",
     [] {
         return Counted({1, 2, 1, 2});
     }},
    {"nd_scaled", "A",
     [] {
         return Filled({2, 1, 2}, {1.5e5, 2.5, 3, -4});
     }},
    {"nd_unnamed", "",
     [] {
         return Counted({1, 2, 2});
     }},
    // Empty arrays.
    {"empty_0x0", "A",
     [] {
         return Array({0, 0});
     }},
    {"empty_0x3", "A",
     [] {
         return Array({0, 3});
     }},
    {"empty_3x0", "A",
     [] {
         return Array({3, 0});
     }},
    {"empty_1x0x2", "A",
     [] {
         return Array({1, 0, 2});
     }},
    {"empty_cell", "C", [] { return ArrayPtr(mxCreateCellMatrix(0, 3)); }},
    {"empty_char", "s", [] { return ArrayPtr(mxCreateString("")); }},
    {"empty_char_0x2", "s",
     [] {
         return Array({0, 2}, mxClassChar);
     }},
    {"empty_unnamed", "",
     [] {
         return Array({0, 3});
     }},
    // Logical arrays print 0 and 1.
    {"logical", "L",
     [] {
         return Logical({2, 2}, {1, 0, 0, 2});
     }},
    {"logical_scalar", "L",
     [] {
         return Logical({1, 1}, {1});
     }},
    // Char arrays as text; code 0xE9 is U+00E9.
    {"char_row", "s", [] { return ArrayPtr(mxCreateString("caf\xE9 au lait")); }},
    {"char_matrix", "s",
     [] {
         return Text({2, 3}, "adbecf");
     }},
    {"char_nd", "s",
     [] {
         return Text({1, 2, 2}, "abcd");
     }},
    {"char_row_unnamed", "", [] { return ArrayPtr(mxCreateString("hello")); }},
    {"char_matrix_unnamed", "",
     [] {
         return Text({2, 3}, "adbecf");
     }},
    // Complex elements.
    {"complex_scalar", "z",
     [] {
         return Complex({1, 1}, {3}, {2});
     }},
    {"complex_scalar_imaginary", "z",
     [] {
         return Complex({1, 1}, {-0.0}, {-1});
     }},
    {"complex_scalar_exponent", "z",
     [] {
         return Complex({1, 1}, {1e10}, {-2});
     }},
    {"complex_matrix", "Z",
     [] {
         return Complex({2, 2}, {3, 0, -1, 0.5}, {2, -1, -10, -0.0});
     }},
    {"complex_nonfinite", "Z",
     [] {
         return Complex({1, 2}, {kNaN, 1}, {kInf, -kInf});
     }},
    {"complex_scaled", "Z",
     [] {
         return Complex({2, 1}, {1e4, 2}, {1, -3e3});
     }},
    {"complex_columns", "Z",
     [] {
         return Complex({1, 5}, Halves(5, 1), Halves(5, -1));
     }},
    // Other numeric classes.
    {"int8", "A",
     [] {
         return Typed<std::int8_t>({1, 3}, mxClassInt8, {-128, 127, 0});
     }},
    {"uint16", "A",
     [] {
         return Typed<std::uint16_t>({2, 2}, mxClassUint16, {65535, 2, 1, 3});
     }},
    {"int64", "A",
     [] {
         return Typed<std::int64_t>({2, 1}, mxClassInt64,
                                    {std::numeric_limits<std::int64_t>::min(), 9});
     }},
    {"uint64_scalar", "A",
     [] {
         return Typed<std::uint64_t>({1, 1}, mxClassUint64,
                                     {std::numeric_limits<std::uint64_t>::max()});
     }},
    {"int32_complex", "A",
     [] {
         return Typed<std::int32_t>({1, 2}, mxClassInt32, {1, -3}, {2, -40});
     }},
    {"single", "A",
     [] {
         return Typed<float>({1, 3}, mxClassSingle, {1.5f, 2.25f, -0.125f});
     }},
    {"single_whole", "A",
     [] {
         return Typed<float>({1, 2}, mxClassSingle, {1, -2});
     }},
    // Cells and the other classes show element summaries.
    {"cell", "C", Cell},
    {"struct", "S",
     [] {
         return Array({1, 1}, mxClassStruct);
     }},
};

TEST(DisplayText, MatchesTheGoldenFiles) {
    const bool update = std::getenv("MATRIX_UPDATE_GOLDEN") != nullptr;
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.file);
        const ArrayPtr a = c.build();
        const Snapshots before({a.get()});
        const std::string text = DisplayText(a.get(), c.name);
        EXPECT_TRUE(before.Unchanged());
        if (update) {
            std::ofstream(GoldenPath(c.file), std::ios::binary) << text;
            continue;
        }
        EXPECT_EQ(text, ReadFile(GoldenPath(c.file)));
    }
}

TEST(DisplayNumber, GivesTheScalarForm) {
    const struct {
        double x;
        const char *text;
    } cases[] = {
        {5, "5"},
        {-0.0, "0"},
        {-0.5, "-0.5000"},
        {0.001, "0.0010"},
        {0.000999, "9.9900e-04"},
        {999.94, "999.9400"},
        {999.99994, "1.0000e+03"},  // five significant digits decide the form
        {999.99996, "1.0000e+03"},  // rounds up to the next power of ten
        {999999999, "999999999"},
        {1e9, "1.0000e+09"},
        {-1.5e300, "-1.5000e+300"},
        {4.9e-324, "4.9407e-324"},
        {kNaN, "NaN"},
        {-kNaN, "NaN"},
        {kInf, "Inf"},
        {-kInf, "-Inf"},
    };
    for (const auto &c : cases) EXPECT_EQ(DisplayNumber(c.x), c.text) << c.x;
}

// std::bad_alloc from the text's storage comes out as the library's
// exception, with nothing left behind.
TEST(DisplayText, AllocationFailureThrowsExhaustedMemory) {
    const ArrayPtr arrays[] = {Filled({2, 17}, Halves(34, 123.4)), Cell(),
                               Complex({2, 2}, {3, 0, -1, 0.5}, {2, -1, -10, 0}),
                               Text({1, 2, 2}, "abcd")};
    for (const ArrayPtr &a : arrays) {
        EXPECT_GT(FailurePoints([&] { (void)DisplayText(a.get(), "A"); }, {a.get()}), 0);
    }
}

}  // namespace
