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

}  // namespace
