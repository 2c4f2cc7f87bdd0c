// tests/mtrx/scalar_path_test.cpp: scalars computed in place equal the
// library's results bit for bit.
#include "evaluator.h"
#include "runtime/runtime.h"

#include <matrix/array.h>
#include <matrix/construct.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

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

TEST(MtrxScalarPath, NestedArithmeticAndConditionsEqualTheLibrary) {
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, 1.0, -1.5, 0.1, 1e308, 5e-324, inf, -inf, std::nan("")};
    const char *const sources[] = {
        "r = (x + y) * x - y / x;", "r = -x * 2 + y;", "z = [x y]; r = z(1) - z(end);",
        // Arithmetic on two leaves on either side, and the operators the
        // scalar path leaves to the library beside them.
        "r = x * y + y ./ x;", "r = 2 .* x - (y - 3);", "r = x \\ y + x ^ 2 - y .^ x;",
        "r = x .\\ 3 * (y + x);",
        "if x < y && y ~= 0, r = 1; else, r = 0; end", "if x == y || x >= 1, r = 1; else, r = 0; end",
        "r = 0; while r < 2 && x <= y, r = r + 1; end",
        "z = [x y 0]; z(3) = x - y; z(1, 2) = z(3) / y; r = z(1, 2);"};
    for (const char *source : sources)
        for (double x : values)
            for (double y : values)
                EXPECT_EQ(Result(source, true, x, y), Result(source, false, x, y))
                    << source << " x = " << x << " y = " << y;
}

// What `mtrx build` compiles scalar arithmetic to: the library's bits for
// every operand, NaNs of any payload, sign and quietness included.
TEST(MtrxScalarPath, CompiledArithmeticEqualsTheLibraryBitForBit) {
    const auto of = [](std::uint64_t u) {
        double d;
        std::memcpy(&d, &u, sizeof d);
        return d;
    };
    const auto bits = [](double d) {
        std::uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        return u;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, 1.5, -3.0, inf, -inf, 5e-324,
                             of(0x7FFFFFFFFFFFFFFFull), of(0xFFFFFFFFFFFFFFFFull),
                             of(0x7FF8000000000001ull), of(0xFFF8000000000002ull),
                             of(0x7FF0000000000003ull), of(0xFFF0000000000004ull)};
    namespace km = kiv::matrix;
    using Compiled = double (*)(double, double);
    using Library = km::Array (*)(const km::Array &, const km::Array &);
    const std::pair<Compiled, Library> ops[] = {
        {mtrx::Runtime::Add, [](const km::Array &a, const km::Array &b) { return km::Plus(a, b); }},
        {mtrx::Runtime::Sub, [](const km::Array &a, const km::Array &b) { return km::Minus(a, b); }},
        {mtrx::Runtime::Mul, [](const km::Array &a, const km::Array &b) { return km::Times(a, b); }},
        {mtrx::Runtime::Div, [](const km::Array &a, const km::Array &b) { return km::Rdivide(a, b); }}};
    for (std::size_t k = 0; k < 4; ++k)
        for (double x : values) {
            for (double y : values)
                EXPECT_EQ(bits(ops[k].first(x, y)), bits(ops[k].second(km::Array(x), km::Array(y)).Scalar()))
                    << "operator " << k << " of " << std::hex << bits(x) << ' ' << bits(y);
            if (k == 0) {
                EXPECT_EQ(bits(mtrx::Runtime::Neg(x)), bits(km::Uminus(km::Array(x)).Scalar()))
                    << std::hex << bits(x);
            }
        }
}

// The elements of row variable `name` after running `source` with a, s
// and b set, as bits.
std::vector<std::uint64_t> Bits(const std::string &source, double a, double s, double b) {
    std::ostringstream display;
    mtrx::Evaluator evaluator(display, mtrx::Limits());
    evaluator.SetVariable("a", mtrx::Value(a));
    evaluator.SetVariable("s", mtrx::Value(s));
    evaluator.SetVariable("b", mtrx::Value(b));
    evaluator.Run(mtrx::Compile(source, ""));
    std::vector<std::uint64_t> out;
    for (double v : evaluator.Variable("r")->array().ToVector()) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        out.push_back(bits);
    }
    return out;
}

std::vector<std::uint64_t> ColonBits(double a, double s, double b) {
    std::vector<std::uint64_t> out;
    const kiv::matrix::Array range = kiv::matrix::Array::Adopt(kiv::matrix::Colon(a, s, b));
    for (double v : range.ToVector()) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        out.push_back(bits);
    }
    return out;
}

TEST(MtrxForRange, StepsThroughTheValuesColonBuilds) {
    // A for over a:s:b never builds the range; its values must still be
    // Colon's, bit for bit: ranges that reach their end (the second half
    // counted from it), that stop short, negative steps, empty ones.
    const double ranges[][3] = {{0, 0.1, 1},      {0, 0.1, 0.3},     {1, 1, 10},
                                {-1, 0.3, 2.2},   {10, -0.7, -3},    {0, 1.0 / 3, 1},
                                {1e15, 1, 1e15 + 5}, {-0.0, 0.1, 0.5}, {0, 0.25, 100},
                                {5, 1, 1},        {1, 0, 5},         {0.5, -0.1, -0.5},
                                {1, 1, 1},        {-5e-324, 5e-324, 5e-324}};
    const std::string loop = "r = zeros(1, 0); k = 0; for v = a:s:b, k = k + 1; r(k) = v; end";
    for (const auto &r : ranges)
        EXPECT_EQ(Bits(loop, r[0], r[1], r[2]), ColonBits(r[0], r[1], r[2]))
            << r[0] << ':' << r[1] << ':' << r[2];
    const std::string two = "r = zeros(1, 0); k = 0; for v = a:b, k = k + 1; r(k) = v; end";
    for (const auto &r : ranges)
        EXPECT_EQ(Bits(two, r[0], 0, r[2]), ColonBits(r[0], 1, r[2])) << r[0] << ':' << r[2];
}

}  // namespace
