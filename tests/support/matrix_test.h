// tests/support/matrix_test.h: helpers shared by the test suites.
#ifndef MATRIX_TESTS_SUPPORT_MATRIX_TEST_H
#define MATRIX_TESTS_SUPPORT_MATRIX_TEST_H

#include <gtest/gtest.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "support/alloc_tracker.h"

namespace matrix_test {

using kiv::matrix::CMatrix;

struct ArrayDeleter {
    void operator()(CMatrix *a) const { kiv::matrix::mxDestroyArray(a); }
};
/// Owns an array for the length of a test.
using ArrayPtr = std::unique_ptr<CMatrix, ArrayDeleter>;

using DimList = std::vector<unsigned int>;
using ValueList = std::vector<double>;

/// Special values, in a namespace of their own so that suites with names of
/// their own for them can still use the rest of the support.
namespace special {
const double kInf = std::numeric_limits<double>::infinity();
/// The library's NaN, 0x7FFFFFFFFFFFFFFF, and its negation.
const double kNaN = kiv::matrix::mxGetNaN();
const double kNegatedNaN = -kiv::matrix::mxGetNaN();
/// Values that exercise signs, zeros, rounding, extremes and both library
/// NaN patterns; 17 of them, so loops over them leave a vector remainder.
std::vector<double> SpecialValues();
}  // namespace special

/// Returns a real m x n double array holding `values` in column-major order.
ArrayPtr Matrix(unsigned int m, unsigned int n, std::initializer_list<double> values);
/// Returns a real double array of any shape holding `values` in column-major order.
ArrayPtr Filled(const DimList &dims, const std::vector<double> &values);
/// Returns a double array whose element k is first + k and, when complex,
/// whose imaginary element k is -(first + k) / 4.
ArrayPtr Counted(const DimList &dims, double first = 1.0,
                 kiv::matrix::mxComplexity complexity = kiv::matrix::mxComplexityReal);
/// A complexity in place of the first value is a slip.
ArrayPtr Counted(const DimList &dims, kiv::matrix::mxComplexity) = delete;
/// Returns an uninitialised array of the given shape and class.
ArrayPtr Array(std::vector<unsigned int> dims,
               kiv::matrix::mxClassID classId = kiv::matrix::mxClassDouble,
               kiv::matrix::mxComplexity complexity = kiv::matrix::mxComplexityReal);

/// A real double row, column, or logical mask (a row unless `dims` is given).
ArrayPtr Row(const ValueList &values);
ArrayPtr Col(const ValueList &values);
ArrayPtr Mask(const ValueList &values, const DimList &dims = {});
/// A uint32 row, logical when asked.
ArrayPtr U32(const std::vector<std::uint32_t> &values, bool logical = false);
/// An array of class `id` holding `values` as elements of type T.
template <typename T>
ArrayPtr Typed(kiv::matrix::mxClassID id, const DimList &dims, const std::vector<T> &values) {
    ArrayPtr a = Array(dims, id);
    std::copy(values.begin(), values.end(), static_cast<T *>(a->GetPr()));
    return a;
}
/// An array of any class with every byte of its real part zero.
ArrayPtr Zeroed(const DimList &dims, kiv::matrix::mxClassID id);
/// A complex m x n double array.
ArrayPtr Complex(unsigned int m, unsigned int n, const ValueList &re, const ValueList &im);
/// The colon subscript.
ArrayPtr Colon();
/// An m x n cell array whose slot k holds the 1x1 double first + k.
ArrayPtr Cells(unsigned int m, unsigned int n, double first = 1.0);
/// The value of the 1x1 array in slot k of a cell array.
double Slot(const CMatrix *cell, unsigned int k);
/// Fills the real part of `a` with the bytes 1, 2, 3, ... and returns them.
std::vector<unsigned char> FillBytes(CMatrix *a);
/// The bytes of the real (or imaginary) part; empty when there is none.
std::vector<unsigned char> Bytes(const CMatrix *a, bool imag = false);

/// The elements of `size` bytes at the 1-based `positions` of `bytes`.
std::vector<unsigned char> Picked(const std::vector<unsigned char> &bytes, std::size_t size,
                                  const std::vector<double> &positions);
/// Same shape, class and bytes of both parts.
::testing::AssertionResult SameArray(const CMatrix *actual, const CMatrix *expected);

/// Runs `call` on the raw pointer that `a` owns, for the functions that
/// replace their target; `a` owns whatever is left there, also after a throw.
template <typename Call>
void Apply(ArrayPtr &a, Call call) {
    CMatrix *raw = a.release();
    try {
        call(raw);
    } catch (...) {
        a.reset(raw);
        throw;
    }
    a.reset(raw);
}

std::vector<unsigned int> Dims(const CMatrix *a);
/// Returns the real part of a double array, column-major.
std::vector<double> Values(const CMatrix *a);
/// Returns the imaginary part of a complex double array, column-major.
std::vector<double> ImagValues(const CMatrix *a);
std::string Narrow(const kiv::WString &text);
std::uint64_t Bits(double x);
double FromBits(std::uint64_t bits);
std::vector<std::uint64_t> BitsOf(const std::vector<double> &values);
/// Bit patterns of the real part of a double array.
std::vector<std::uint64_t> BitsOf(const CMatrix *a);

/// Arrays the numerical functions refuse: complex doubles (2x2, 1x1 and 0x0),
/// other numeric classes, char and cell; data filled so that snapshots
/// compare real bytes.
std::vector<ArrayPtr> NonRealDoubleOperands();

/// The seed of every random test input: MATRIX_TEST_SEED from the
/// environment when set, a fixed default otherwise. The first call prints
/// it, so that a failed run (CTest shows its output) can be repeated.
std::uint64_t Seed();

/// Everything a caller can observe of an array: shape, class, flags,
/// counter, data pointers and data bytes. Two snapshots compare equal when
/// nothing changed.
struct ArraySnapshot {
    std::tuple<std::vector<unsigned int>, int, unsigned int, unsigned short, const void *,
               const void *, std::vector<unsigned char>, std::vector<unsigned char>>
        seen;

    static ArraySnapshot Of(const CMatrix *a);
    bool operator==(const ArraySnapshot &other) const { return seen == other.seen; }
};

/// Snapshots of several arrays (null entries skipped), to check that a call
/// left them as they were.
struct Snapshots {
    Snapshots(const std::vector<const CMatrix *> &arrays);  // NOLINT(google-explicit-constructor)
    bool Unchanged() const;

    std::vector<const CMatrix *> arrays;
    std::vector<ArraySnapshot> before;
};

/// Counts the blocks a piece of code leaves allocated.
struct LiveBlocks {
    long start = LiveAllocations();
    long Delta() const { return LiveAllocations() - start; }
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

/// ForEachAllocationFailure on `call`, checking after each failure that the
/// listed arrays are as they were. A failed call must leave them so, which
/// lets every run reuse them. A returned array is destroyed.
template <typename Call>
int FailurePoints(Call call, const std::vector<const CMatrix *> &unchanged) {
    const Snapshots before(unchanged);
    return ForEachAllocationFailure(
        [&] {
            if constexpr (std::is_void_v<decltype(call())>) {
                call();
            } else {
                ArrayPtr result(call());
            }
        },
        [&] { EXPECT_TRUE(before.Unchanged()); });
}

/// One row of an allocation-failure table: an operation, and the arrays
/// that a failure of it must leave as they were. `call` returns the array
/// it creates (destroyed by the table) or null.
struct FailureCase {
    std::string what;
    std::function<CMatrix *()> call;
    std::vector<const CMatrix *> unchanged;
};

/// Runs FailurePoints on every row and expects each to have failure points.
void ExpectFailurePoints(const std::vector<FailureCase> &table);

/// Wraps a call without a result for a FailureCase.
template <typename Call>
std::function<CMatrix *()> InPlace(Call call) {
    return [call]() -> CMatrix * {
        call();
        return nullptr;
    };
}

}  // namespace matrix_test

#endif  // MATRIX_TESTS_SUPPORT_MATRIX_TEST_H
