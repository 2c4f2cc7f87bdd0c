// tests/mtrx/scalar_path_test.cpp: scalars computed in place equal the
// library's results bit for bit.
#include "evaluator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

namespace {

// The class, shape and element bits of the variable r after running `source`.
std::string Result(const std::string &source, bool fast, double x, double y) {
    std::ostringstream display;
    mtrx::Evaluator evaluator(display, mtrx::Limits());
    evaluator.SetScalarFastPath(fast);
    evaluator.SetVariable("x", mtrx::Value(x));
    evaluator.SetVariable("y", mtrx::Value(y));
    evaluator.Run(mtrx::Compile(source, ""));
    const kiv::matrix::Array &r = evaluator.Variable("r")->array();
    double value = r.get()->IsLogical() ? (r.ToVector()[0]) : r.Scalar();
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return std::string(r.get()->IsLogical() ? "logical " : "double ") + std::to_string(r.Numel()) +
           " " + std::to_string(bits);
}

TEST(MtrxScalarPath, EqualsTheLibraryBitForBit) {
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0,   -0.0,   1.0,    -1.5, 3.0,  0.1,         1.0 / 3,
                             1e308, -1e308, 5e-324, inf,  -inf, std::nan("")};
    const char *const operators[] = {"+", "-",  "*", "/",  ".*", "./",
                                     "<", "<=", ">", ">=", "==", "~="};
    for (const char *op : operators) {
        const std::string source = std::string("r = x ") + op + " y;";
        for (double x : values)
            for (double y : values)
                EXPECT_EQ(Result(source, true, x, y), Result(source, false, x, y))
                    << x << ' ' << op << ' ' << y;
    }
    for (double x : values)
        EXPECT_EQ(Result("r = -x;", true, x, 0), Result("r = -x;", false, x, 0)) << "-" << x;
}

}  // namespace
