// tests/elementwise/elementwise_test_util.h: operands and checks shared by the
// element-wise test suites.
#ifndef MATRIX_TESTS_ELEMENTWISE_ELEMENTWISE_TEST_UTIL_H
#define MATRIX_TESTS_ELEMENTWISE_ELEMENTWISE_TEST_UTIL_H

#include <matrix/matrix.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/matrix_test.h"

namespace elementwise_test {

using kiv::matrix::CMatrix;
using matrix_test::ArrayPtr;

inline double LibraryNaN() { return kiv::matrix::mxGetNaN(); }
inline double NegatedNaN() {
    const std::uint64_t bits = 0xFFFFFFFFFFFFFFFF;
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}
inline double Inf() { return std::numeric_limits<double>::infinity(); }

/// Values that exercise signs, zeros, rounding, extremes and both library
/// NaN patterns; 17 of them, so loops over them leave a vector remainder.
inline std::vector<double> SpecialValues() {
    return {0.0, -0.0, 1.0, -1.0, 2.5, -3.75, 0.1, 3.0, -2.0, 1e308, -1e308,
            4.9e-324, Inf(), -Inf(), LibraryNaN(), NegatedNaN(), 0.5};
}

/// Returns a real double array of the given shape holding `values`.
inline ArrayPtr DoubleArray(std::vector<unsigned int> dims, const std::vector<double> &values) {
    ArrayPtr a = matrix_test::Array(dims);
    EXPECT_EQ(values.size(), a->GetNoElems());
    if (!values.empty()) std::memcpy(a->GetPr(), values.data(), values.size() * sizeof(double));
    return a;
}

inline std::vector<std::uint64_t> BitList(const std::vector<double> &values) {
    std::vector<std::uint64_t> bits;
    for (double x : values) bits.push_back(matrix_test::Bits(x));
    return bits;
}
inline std::vector<std::uint64_t> BitList(const CMatrix *a) {
    return BitList(matrix_test::Values(a));
}

struct NamedOperand {
    std::string name;
    ArrayPtr array;
};

/// Operands every numeric element-wise function refuses: other classes and
/// complex doubles, as 2-by-2 and as 1-by-1 arrays; data filled so that
/// snapshots compare real bytes.
inline std::vector<NamedOperand> RefusedOperands() {
    using namespace kiv::matrix;
    std::vector<NamedOperand> out;
    const struct {
        const char *name;
        mxClassID classId;
        mxComplexity complexity;
    } kinds[] = {{"single", mxClassSingle, mxComplexityReal},
                 {"int32", mxClassInt32, mxComplexityReal},
                 {"uint8", mxClassUint8, mxComplexityReal},
                 {"char", mxClassChar, mxComplexityReal},
                 {"complex double", mxClassDouble, mxComplexityComplex}};
    for (const auto &kind : kinds) {
        for (unsigned int n : {2u, 1u}) {
            ArrayPtr a = matrix_test::Array({n, n}, kind.classId, kind.complexity);
            const std::size_t bytes = std::size_t{n} * n * a->GetElementSize();
            std::memset(a->GetPr(), 1, bytes);
            if (a->GetPi() != nullptr) std::memset(a->GetPi(), 2, bytes);
            out.push_back({std::string(kind.name) + (n == 1 ? " 1x1" : " 2x2"), std::move(a)});
        }
    }
    out.push_back({"cell 1x1", ArrayPtr(mxCreateCellMatrix(1, 1))});
    return out;
}

}  // namespace elementwise_test

/// Expects `call` to throw `Class` with `message`, leaving no block behind
/// and the listed arrays as they were.
#define EXPECT_REFUSED(call, Class, message, ...)                                          \
    do {                                                                                   \
        const std::vector<const ::kiv::matrix::CMatrix *> operands_{__VA_ARGS__};          \
        std::vector<::matrix_test::ArraySnapshot> before_;                                 \
        for (const auto *a_ : operands_) before_.push_back(::matrix_test::ArraySnapshot::Of(a_)); \
        const ::matrix_test::LiveBlocks blocks_;                                           \
        EXPECT_THROW_MSG(::matrix_test::ArrayPtr result_(call), Class, message);          \
        EXPECT_EQ(blocks_.Delta(), 0) << #call " leaked";                                  \
        for (std::size_t k_ = 0; k_ < operands_.size(); ++k_)                              \
            EXPECT_TRUE(::matrix_test::ArraySnapshot::Of(operands_[k_]) == before_[k_])    \
                << #call " changed operand " << k_;                                        \
    } while (0)

#endif  // MATRIX_TESTS_ELEMENTWISE_ELEMENTWISE_TEST_UTIL_H
