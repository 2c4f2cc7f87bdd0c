// tests/construct/print_test.cpp: the exact text PrintMatrix writes to standard output.
#include <matrix/matrix.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "support/matrix_test.h"
#include "support/stdout_capture.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

// Pages follow one another without a separator; from the third dimension
// on, lengths multiply into pages. Beyond 25 elements only the header.
TEST(PrintMatrix, WritesTheHeaderThenSmallDoubleArraysRowByRowPageByPage) {
    const struct {
        ArrayPtr a;
        const char *size;
        std::string body;
    } cases[] = {
        {Filled({2, 4}, {kNaN, -0.0, -kInf, kNegatedNaN, kInf, 4.9e-324, -1.25e+300, 123456789.0}),
         "2x4",
         "nan\t-inf\tinf\t-1.250000e+300\t\n-0.000000e+00\t-nan\t4.940656e-324\t1.234568e+08\t\n"},
        {Counted({1, 2, 1, 3}), "1x2",
         "1.000000e+00\t2.000000e+00\t\n3.000000e+00\t4.000000e+00\t\n"
         "5.000000e+00\t6.000000e+00\t\n"},
        {Counted({1, 26}), "1x26", ""}};
    for (const auto &c : cases) {
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
