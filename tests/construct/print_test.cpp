// tests/construct/print_test.cpp: the exact text PrintMatrix writes to standard output.
#include <matrix/matrix.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "support/matrix_test.h"
#include "support/stdout_capture.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

const double kInf = std::numeric_limits<double>::infinity();

// Prints `a` and checks that it was not changed on the way.
std::string Printed(const CMatrix *a) {
    const ArraySnapshot before = ArraySnapshot::Of(a);
    const std::string out = CaptureStdout([&] { PrintMatrix(a); });
    EXPECT_TRUE(ArraySnapshot::Of(a) == before);
    return out;
}

// The first line for `a`; the address is the only part a test cannot fix.
std::string Header(const CMatrix *a, const std::string &size) {
    char address[32];
    std::snprintf(address, sizeof address, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(a)));
    return " Print " + std::string(address) + " - " + size + "\n";
}

TEST(PrintMatrix, SmallDoubleMatrixPrintsRowByRow) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4});
    EXPECT_EQ(Printed(a.get()), Header(a.get(), "2x2") +
                                    "1.000000e+00\t3.000000e+00\t\n"
                                    "2.000000e+00\t4.000000e+00\t\n");
}

TEST(PrintMatrix, SpecialValuesAndExtremeExponents) {
    ArrayPtr a = Matrix(2, 4, {mxGetNaN(), -0.0, -kInf, -mxGetNaN(), kInf, 4.9e-324, -1.25e+300,
                               123456789.0});
    EXPECT_EQ(Printed(a.get()), Header(a.get(), "2x4") +
                                    "nan\t-inf\tinf\t-1.250000e+300\t\n"
                                    "-0.000000e+00\t-nan\t4.940656e-324\t1.234568e+08\t\n");
}

TEST(PrintMatrix, PagesFollowOneAnotherWithoutSeparator) {
    ArrayPtr cube(mxDoubleMatrix(2, 2, 2, nullptr, nullptr));
    for (int i = 0; i < 8; ++i) mxGetPr(cube.get())[i] = i + 1;
    EXPECT_EQ(Printed(cube.get()), Header(cube.get(), "2x2") +
                                       "1.000000e+00\t3.000000e+00\t\n"
                                       "2.000000e+00\t4.000000e+00\t\n"
                                       "5.000000e+00\t7.000000e+00\t\n"
                                       "6.000000e+00\t8.000000e+00\t\n");

    // Four dimensions: the pages are the product of the lengths from the third on.
    ArrayPtr rows = Array({1, 2, 1, 3});
    for (int i = 0; i < 6; ++i) mxGetPr(rows.get())[i] = i + 1;
    EXPECT_EQ(Printed(rows.get()), Header(rows.get(), "1x2") +
                                       "1.000000e+00\t2.000000e+00\t\n"
                                       "3.000000e+00\t4.000000e+00\t\n"
                                       "5.000000e+00\t6.000000e+00\t\n");
}

TEST(PrintMatrix, ComplexAndLogicalArraysPrintTheirRealValues) {
    const double re[] = {1.5, -2}, im[] = {7, 8};
    ArrayPtr complex(mxDoubleMatrix(2, 1, re, im));
    EXPECT_EQ(Printed(complex.get()),
              Header(complex.get(), "2x1") + "1.500000e+00\t\n-2.000000e+00\t\n");
    ArrayPtr logical = Matrix(1, 2, {1, 0});
    logical->SetLogical();
    EXPECT_EQ(Printed(logical.get()),
              Header(logical.get(), "1x2") + "1.000000e+00\t0.000000e+00\t\n");
}

TEST(PrintMatrix, TwentyFiveElementsAtMost) {
    ArrayPtr full = Array({1, 25});
    std::string row;
    for (int i = 0; i < 25; ++i) {
        mxGetPr(full.get())[i] = 2.5;
        row += "2.500000e+00\t";
    }
    EXPECT_EQ(Printed(full.get()), Header(full.get(), "1x25") + row + "\n");

    ArrayPtr over = Array({1, 26});
    ArrayPtr pages = Array({2, 3, 5});
    for (CMatrix *a : {over.get(), pages.get()}) {
        for (unsigned int i = 0; i < a->GetNoElems(); ++i) mxGetPr(a)[i] = 1.0;
    }
    EXPECT_EQ(Printed(over.get()), Header(over.get(), "1x26"));
    EXPECT_EQ(Printed(pages.get()), Header(pages.get(), "2x3"));
}

TEST(PrintMatrix, OtherClassesAndEmptyArraysPrintTheHeaderOnly) {
    ArrayPtr ints = Array({2, 2}, mxClassInt32);
    for (int i = 0; i < 4; ++i) static_cast<std::int32_t *>(ints->GetPr())[i] = i;
    ArrayPtr text(mxCreateString("ab"));
    ArrayPtr cell(mxCreateCellMatrix(1, 1));
    mxSetCell(cell.get(), 0, Scalar(1.0));
    ArrayPtr none = Array({0, 0});
    ArrayPtr flat = Array({0, 3});
    EXPECT_EQ(Printed(ints.get()), Header(ints.get(), "2x2"));
    EXPECT_EQ(Printed(text.get()), Header(text.get(), "1x2"));
    EXPECT_EQ(Printed(cell.get()), Header(cell.get(), "1x1"));
    EXPECT_EQ(Printed(none.get()), Header(none.get(), "0x0"));
    EXPECT_EQ(Printed(flat.get()), Header(flat.get(), "0x3"));
}

TEST(PrintMatrix, LengthsOf2To31AndMorePrintUnsigned) {
    ArrayPtr tall = Array({2147483648u, 0});
    ArrayPtr wide = Array({0, 4294967295u});
    EXPECT_EQ(Printed(tall.get()), Header(tall.get(), "2147483648x0"));
    EXPECT_EQ(Printed(wide.get()), Header(wide.get(), "0x4294967295"));
}

}  // namespace
