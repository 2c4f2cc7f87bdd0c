// tests/elementwise/elementwise_test_util.h: operand values and checks shared
// by the element-wise test suites.
#ifndef MATRIX_TESTS_ELEMENTWISE_ELEMENTWISE_TEST_UTIL_H
#define MATRIX_TESTS_ELEMENTWISE_ELEMENTWISE_TEST_UTIL_H

#include <limits>
#include <vector>

#include "support/matrix_test.h"

namespace elementwise_test {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = kiv::matrix::mxGetNaN();
const double kNegatedNaN = matrix_test::FromBits(0xFFFFFFFFFFFFFFFF);

/// Values that exercise signs, zeros, rounding, extremes and both library
/// NaN patterns; 17 of them, so loops over them leave a vector remainder.
inline std::vector<double> SpecialValues() {
    return {0.0,   -0.0,   1.0,      -1.0, 2.5,   -3.75, 0.1,         3.0, -2.0,
            1e308, -1e308, 4.9e-324, kInf, -kInf, kNaN,  kNegatedNaN, 0.5};
}

}  // namespace elementwise_test

/// The refusal of two operands whose shapes do not match.
#define EXPECT_DIMS_MISMATCH(statement, ...)                                              \
    EXPECT_CLEAN_THROW(statement, ::kiv::matrix::CArrayDimsMustMatchForBinaryOpException, \
                       L"Array dimensions must match for binary array op", __VA_ARGS__)

#endif  // MATRIX_TESTS_ELEMENTWISE_ELEMENTWISE_TEST_UTIL_H
