// tests/support/matrix_test.h: helpers shared by the test suites.
#ifndef MATRIX_TESTS_SUPPORT_MATRIX_TEST_H
#define MATRIX_TESTS_SUPPORT_MATRIX_TEST_H

#include <gtest/gtest.h>
#include <matrix/matrix.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "support/alloc_tracker.h"

namespace matrix_test {

using kiv::matrix::CMatrix;

struct ArrayDeleter {
    void operator()(CMatrix *a) const { kiv::matrix::mxDestroyArray(a); }
};
/// Owns an array for the length of a test.
using ArrayPtr = std::unique_ptr<CMatrix, ArrayDeleter>;

/// Returns a real m x n double array holding `values` in column-major order.
ArrayPtr Matrix(unsigned int m, unsigned int n, std::initializer_list<double> values);
/// Returns an uninitialised array of the given shape and class.
ArrayPtr Array(std::vector<unsigned int> dims,
               kiv::matrix::mxClassID classId = kiv::matrix::mxClassDouble,
               kiv::matrix::mxComplexity complexity = kiv::matrix::mxComplexityReal);

std::vector<unsigned int> Dims(const CMatrix *a);
/// Returns the real part of a double array, column-major.
std::vector<double> Values(const CMatrix *a);
/// Returns the imaginary part of a complex double array, column-major.
std::vector<double> ImagValues(const CMatrix *a);
std::string Narrow(const kiv::WString &text);
std::uint64_t Bits(double x);

/// Everything a caller can observe of an array: shape, class, flags,
/// counter, data pointers and data bytes. Two snapshots compare equal when
/// nothing changed.
struct ArraySnapshot {
    std::vector<unsigned int> dims;
    int classId;
    unsigned int flags;
    unsigned short counter;
    const void *pr;
    const void *pi;
    std::vector<unsigned char> realBytes;
    std::vector<unsigned char> imagBytes;

    static ArraySnapshot Of(const CMatrix *a);
    bool operator==(const ArraySnapshot &other) const;
};

/// Counts the blocks a piece of code leaves allocated.
class LiveBlocks {
public:
    LiveBlocks() : m_start(LiveAllocations()) {}
    long Delta() const { return LiveAllocations() - m_start; }

private:
    long m_start;
};

/// Runs `operation` with its 1st, 2nd, 3rd ... allocation failing, until a
/// run completes without a failure. After each run that throws
/// kiv::CExhaustedMemoryException it calls `check()` (which tests that the
/// arguments are unchanged) and expects no block to be left behind. Returns
/// the number of failure points, so a test can insist that there were some.
template <typename Operation, typename Check>
int ForEachAllocationFailure(Operation operation, Check check) {
    constexpr int kMaxFailurePoints = 10000;
    for (int n = 1; n <= kMaxFailurePoints; ++n) {
        const LiveBlocks blocks;
        bool threw = false;
        FailNthAllocation(n);
        try {
            operation();
        } catch (const kiv::CExhaustedMemoryException &) {
            threw = true;
        }
        const bool failureHappened = !AllocationFailurePending();
        FailNthAllocation(0);
        if (!threw) {
            EXPECT_FALSE(failureHappened) << "allocation " << n << " failed but nothing was thrown";
            return n - 1;
        }
        check();
        EXPECT_EQ(blocks.Delta(), 0) << "leak after allocation " << n << " failed";
    }
    ADD_FAILURE() << "operation still failing after " << kMaxFailurePoints << " allocations";
    return kMaxFailurePoints;
}

}  // namespace matrix_test

/// Expects `statement` to throw `Class` with exactly the wide message `message`.
#define EXPECT_THROW_MSG(statement, Class, message)                                     \
    do {                                                                                \
        bool caught_ = false;                                                           \
        try {                                                                           \
            statement;                                                                  \
        } catch (const Class &e_) {                                                     \
            caught_ = true;                                                             \
            EXPECT_EQ(::matrix_test::Narrow(e_.GetMessage()),                           \
                      ::matrix_test::Narrow(kiv::WString(message)));                    \
        } catch (...) {                                                                 \
            caught_ = true;                                                             \
            ADD_FAILURE() << #statement " threw something other than " #Class;          \
        }                                                                               \
        if (!caught_) ADD_FAILURE() << #statement " did not throw " #Class;             \
    } while (0)

#endif  // MATRIX_TESTS_SUPPORT_MATRIX_TEST_H
