// tests/construct/print_test.cpp: the exact text PrintMatrix writes to standard output.
#include <matrix/matrix.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "support/matrix_test.h"
#include "support/stdout_capture.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

TEST(PrintMatrix, WritesTheHeaderThenSmallDoubleArraysRowByRowPageByPage) {
    const double inf = std::numeric_limits<double>::infinity();
    const double re[] = {1.5, -2}, im[] = {7, 8};
    const double specials[] = {mxGetNaN(), -0.0,     -inf,       -mxGetNaN(),
                               inf,        4.9e-324, -1.25e+300, 123456789.0};
    ArrayPtr logical = Matrix(1, 2, {1, 0});
    logical->SetLogical();
    const std::string e25 = [] {
        std::string row;
        for (int i = 0; i < 25; ++i) row += "2.500000e+00\t";
        return row + "\n";
    }();
    const struct {
        ArrayPtr a;
        const char *size;
        std::string body;
    } cases[] = {
        {Counted({2, 2}), "2x2", "1.000000e+00\t3.000000e+00\t\n2.000000e+00\t4.000000e+00\t\n"},
        {ArrayPtr(mxDoubleMatrix(2, 4, specials, nullptr)), "2x4",
         "nan\t-inf\tinf\t-1.250000e+300\t\n"
         "-0.000000e+00\t-nan\t4.940656e-324\t1.234568e+08\t\n"},
        // Pages follow one another without a separator; from the third
        // dimension on, lengths multiply into pages.
        {Counted({1, 2, 1, 3}), "1x2",
         "1.000000e+00\t2.000000e+00\t\n3.000000e+00\t4.000000e+00\t\n"
         "5.000000e+00\t6.000000e+00\t\n"},
        // The real part only.
        {ArrayPtr(mxDoubleMatrix(2, 1, re, im)), "2x1", "1.500000e+00\t\n-2.000000e+00\t\n"},
        {std::move(logical), "1x2", "1.000000e+00\t0.000000e+00\t\n"},
        {Filled({1, 25}, std::vector<double>(25, 2.5)), "1x25", e25},
        // Header only: more than 25 elements, other classes, no elements.
        {Counted({1, 26}), "1x26", ""},
        {Array({2, 2}, mxClassInt32), "2x2", ""},
        {Array({0, 3}), "0x3", ""},
        {Array({0, 4294967295u}), "0x4294967295", ""}};  // lengths print unsigned
    for (const auto &c : cases) {
        if (c.a->IsInt32()) std::memset(c.a->GetPr(), 1, c.a->GetAllocSize());
        const Snapshots before({c.a.get()});
        const std::string out = CaptureStdout([&] { PrintMatrix(c.a.get()); });
        char header[64];
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(c.a.get());
        std::snprintf(header, sizeof header, " Print %llx - %s\n",
                      static_cast<unsigned long long>(address), c.size);
        EXPECT_EQ(out, header + c.body);
        EXPECT_TRUE(before.Unchanged());
    }
}

}  // namespace
