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
using namespace matrix_test::special;

std::string GoldenPath(const std::string &name) {
    return std::string(MATRIX_DISPLAY_GOLDEN_DIR) + "/" + name + ".txt";
}

ArrayPtr Text(DimList dims, const char *codes) {
    ArrayPtr a = Array(dims, mxClassChar);
    std::memcpy(a->GetPr(), codes, a->GetNoElems());
    return a;
}

ArrayPtr String(const char *text) { return ArrayPtr(mxCreateString(text)); }

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

struct Case {
    const char *file;
    const char *name;
    std::function<ArrayPtr()> build;
};

// Code 0xE9 is U+00E9.
const Case kCases[] = {
    {"scalar_int", "x", [] { return Matrix(1, 1, {5}); }},
    {"scalar_exponent", "x", [] { return Matrix(1, 1, {1.23456e10}); }},
    {"scalar_unnamed", "", [] { return Matrix(1, 1, {3.14159265358979}); }},
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
    {"matrix_unnamed", "",
     [] {
         return Matrix(2, 2, {1, 3, 2, 40});
     }},
    {"scaled_large", "A",
     [] {
         return Matrix(2, 2, {1234.5, -0.5, 2, 10000});
     }},
    {"scaled_small", "A",
     [] {
         return Matrix(1, 3, {1e-4, -2.5e-5, 0});
     }},
    {"columns_and", "A", [] { return Halves(1, 10, 1); }},
    {"columns_scaled", "A", [] { return Halves(2, 34, 123.4); }},
    {"nd_4d", "A",
     [] {
         return Counted({1, 2, 1, 2});
     }},
    {"empty_0x3", "A",
     [] {
         return Array({0, 3});
     }},
    {"empty_1x0x2", "A",
     [] {
         return Array({1, 0, 2});
     }},
    {"empty_cell", "C", [] { return ArrayPtr(mxCreateCellMatrix(0, 3)); }},
    {"empty_char", "s", [] { return String(""); }},
    {"logical", "L",
     [] {
         return Mask({1, 0, 0, 2}, {2, 2});
     }},
    {"char_row", "s", [] { return String("caf\xE9 au lait"); }},
    {"char_matrix", "s",
     [] {
         return Text({2, 3}, "adbecf");
     }},
    {"char_row_unnamed", "", [] { return String("hello"); }},
    {"complex_scalar", "z", [] { return Complex(1, 1, {3}, {2}); }},
    {"complex_matrix", "Z",
     [] {
         return Complex(2, 2, {3, 0, -1, 0.5}, {2, -1, -10, -0.0});
     }},
    {"int8", "A",
     [] {
         return Typed<std::int8_t>(mxClassInt8, {1, 3}, {-128, 127, 0});
     }},
    {"single", "A",
     [] {
         return Typed<float>(mxClassSingle, {1, 3}, {1.5f, 2.25f, -0.125f});
     }},
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
        std::ostringstream golden;
        golden << std::ifstream(GoldenPath(c.file), std::ios::binary).rdbuf();
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

// std::bad_alloc from the text's storage comes out as the library's
// exception, with nothing left behind.
TEST(DisplayText, AllocationFailureThrowsExhaustedMemory) {
    const ArrayPtr arrays[] = {Halves(2, 34, 123.4), Cell(), Text({1, 2, 2}, "abcd")};
    for (const ArrayPtr &a : arrays) {
        EXPECT_GT(FailurePoints([&] { (void)DisplayText(a.get(), "A"); }, {a.get()}), 0);
    }
}

}  // namespace
