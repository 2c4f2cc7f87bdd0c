// tests/support/matrix_test.h: helpers shared by the test suites.
#ifndef MATRIX_TESTS_SUPPORT_MATRIX_TEST_H
#define MATRIX_TESTS_SUPPORT_MATRIX_TEST_H

#include <gtest/gtest.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace matrix_test {

using namespace kiv::matrix;

// The counting allocator (alloc_tracker.cpp).
/// Returns the number of blocks obtained from operator new (any form) and
/// not yet returned.
long LiveAllocations();
/// Makes the n-th allocation from now on fail (n >= 1): the throwing forms
/// throw std::bad_alloc, the nothrow forms return null. Only that one
/// allocation fails. n = 0 disarms.
void FailNthAllocation(long n);
/// True while an armed failure has not happened yet.
bool AllocationFailurePending();

struct ArrayDeleter {
    void operator()(CMatrix *a) const { mxDestroyArray(a); }
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
const double kNaN = mxGetNaN();
const double kNegatedNaN = -mxGetNaN();
/// Values that exercise signs, zeros, rounding, extremes and both library
/// NaN patterns; 17 of them, so loops over them leave a vector remainder.
inline std::vector<double> SpecialValues() {
    return {0.0,   -0.0,   1.0,      -1.0, 2.5,   -3.75, 0.1,         3.0, -2.0,
            1e308, -1e308, 4.9e-324, kInf, -kInf, kNaN,  kNegatedNaN, 0.5};
}
}  // namespace special

/// Returns an uninitialised array of the given shape and class.
inline ArrayPtr Array(std::vector<unsigned int> dims, mxClassID classId = mxClassDouble,
                      mxComplexity complexity = mxComplexityReal) {
    return ArrayPtr(mxCreateNumericArray(unsigned(dims.size()), dims.data(), classId, complexity));
}
/// Returns a real double array of any shape holding `values` in column-major order.
inline ArrayPtr Filled(const DimList &dims, const std::vector<double> &values) {
    ArrayPtr a = Array(dims);
    EXPECT_EQ(values.size(), a->GetNoElems());
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
}
/// Returns a real m x n double array holding `values` in column-major order.
inline ArrayPtr Matrix(unsigned int m, unsigned int n, std::initializer_list<double> values) {
    return Filled({m, n}, values);
}
/// Returns a double array whose element k is first + k and, when complex,
/// whose imaginary element k is -(first + k) / 4.
inline ArrayPtr Counted(const DimList &dims, double first = 1.0,
                        mxComplexity complexity = mxComplexityReal) {
    ArrayPtr a = Array(dims, mxClassDouble, complexity);
    for (unsigned int k = 0; k < a->GetNoElems(); ++k) {
        mxGetPr(a.get())[k] = first + k;
        if (a->GetPi() != nullptr) mxGetPi(a.get())[k] = -(first + k) / 4;
    }
    return a;
}
/// A complexity in place of the first value is a slip.
ArrayPtr Counted(const DimList &dims, mxComplexity) = delete;

/// A real double row, column, or logical mask (a row unless `dims` is given).
inline ArrayPtr Row(const ValueList &v) { return Filled({1, unsigned(v.size())}, v); }
inline ArrayPtr Col(const ValueList &v) { return Filled({unsigned(v.size()), 1}, v); }
inline ArrayPtr Mask(const ValueList &values, const DimList &dims = {}) {
    ArrayPtr a = dims.empty() ? Row(values) : Filled(dims, values);
    a->SetLogical();
    return a;
}
/// An array of class `id` holding `values` as elements of type T.
template <typename T>
ArrayPtr Typed(mxClassID id, const DimList &dims, const std::vector<T> &values) {
    ArrayPtr a = Array(dims, id);
    std::copy(values.begin(), values.end(), static_cast<T *>(a->GetPr()));
    return a;
}
/// A char array of `dims` whose code units, in column-major order, are the
/// bytes of `bytes` (each the code point of its value, U+0000 to U+00FF).
inline ArrayPtr Chars(const DimList &dims, const std::string &bytes) {
    std::vector<std::uint16_t> units;
    for (const char c : bytes) units.push_back(static_cast<unsigned char>(c));
    return Typed(mxClassChar, dims, units);
}
/// Calls f(T{}) with T the element type of class `id` (char as uint16_t).
template <typename F>
void WithElementType(mxClassID id, F &&f) {
    switch (id) {
        case mxClassDouble: f(double{}); break;
        case mxClassSingle: f(float{}); break;
        case mxClassInt8: f(std::int8_t{}); break;
        case mxClassUint8: f(std::uint8_t{}); break;
        case mxClassInt16: f(std::int16_t{}); break;
        case mxClassChar:
        case mxClassUint16: f(std::uint16_t{}); break;
        case mxClassInt32: f(std::int32_t{}); break;
        case mxClassUint32: f(std::uint32_t{}); break;
        case mxClassInt64: f(std::int64_t{}); break;
        case mxClassUint64: f(std::uint64_t{}); break;
        default: ADD_FAILURE() << "not a numeric class"; break;
    }
}
/// The elements (or imaginary parts) of a numeric or char array as doubles.
inline ValueList AnyValues(const CMatrix *a, bool imag = false) {
    ValueList out;
    const void *p = imag ? a->GetPi() : a->GetPr();
    if (p == nullptr) return out;
    WithElementType(a->GetClassID(), [&](auto t) {
        const auto *x = static_cast<const decltype(t) *>(p);
        for (std::size_t k = 0; k < a->GetNoElems(); ++k) out.push_back(double(x[k]));
    });
    return out;
}
/// A 1 x n (or n x 1) array of class `id` holding `re` (and `im` when
/// given), each value exactly representable in the class.
inline ArrayPtr TypedRow(mxClassID id, const ValueList &re, const ValueList &im = {},
                         bool column = false) {
    const unsigned int n = unsigned(re.size());
    ArrayPtr a = Array(column ? DimList{n, 1} : DimList{1, n}, id,
                       im.empty() ? mxComplexityReal : mxComplexityComplex);
    WithElementType(id, [&](auto t) {
        using T = decltype(t);
        for (std::size_t k = 0; k < re.size(); ++k) {
            static_cast<T *>(a->GetPr())[k] = static_cast<T>(re[k]);
            if (!im.empty()) static_cast<T *>(a->GetPi())[k] = static_cast<T>(im[k]);
        }
    });
    return a;
}
/// The code units of a char array, in column-major order.
inline std::vector<std::uint16_t> Units(const CMatrix *a) {
    const auto *p = static_cast<const std::uint16_t *>(a->GetPr());
    return {p, p + a->GetNoElems()};
}
/// A uint32 row, logical when asked.
inline ArrayPtr U32(const std::vector<std::uint32_t> &values, bool logical = false) {
    ArrayPtr a = Typed(mxClassUint32, {1, unsigned(values.size())}, values);
    if (logical) a->SetLogical();
    return a;
}
/// An array of any class with every byte of its real part zero.
inline ArrayPtr Zeroed(const DimList &dims, mxClassID id) {
    ArrayPtr a = Array(dims, id);
    std::memset(a->GetPr(), 0, a->GetAllocSize());
    return a;
}
/// A complex m x n double array.
inline ArrayPtr Complex(unsigned int m, unsigned int n, const ValueList &re, const ValueList &im) {
    EXPECT_TRUE(re.size() == std::size_t{m} * n && im.size() == re.size());
    return ArrayPtr(mxDoubleMatrix(m, n, re.data(), im.data()));
}
/// The colon subscript.
inline ArrayPtr Colon() { return ArrayPtr(mxCreateColonIndex()); }
/// An m x n cell array whose slot k holds the 1x1 double first + k.
inline ArrayPtr Cells(unsigned int m, unsigned int n, double first = 1.0) {
    ArrayPtr c(mxCreateCellMatrix(m, n));
    for (unsigned int k = 0; k < m * n; ++k) mxSetCell(c.get(), int(k), Scalar(first + k));
    return c;
}
/// The value of the 1x1 array in slot k of a cell array.
inline double Slot(const CMatrix *c, unsigned int k) { return mxGetScalar(mxGetCell(c, int(k))); }
/// The bytes of the real (or imaginary) part; empty when there is none.
inline std::vector<unsigned char> Bytes(const CMatrix *a, bool imag = false) {
    const auto *p = static_cast<const unsigned char *>(imag ? a->GetPi() : a->GetPr());
    return p == nullptr ? std::vector<unsigned char>()
                        : std::vector<unsigned char>(p, p + a->GetAllocSize());
}
/// Fills the real part of `a` with the bytes 1, 2, 3, ... and returns them.
inline std::vector<unsigned char> FillBytes(CMatrix *a) {
    auto *p = static_cast<unsigned char *>(a->GetPr());
    for (std::size_t b = 0; b < a->GetAllocSize(); ++b) p[b] = static_cast<unsigned char>(b + 1);
    return Bytes(a);
}
/// The elements of `size` bytes at the 1-based `positions` of `bytes`.
inline std::vector<unsigned char> Picked(const std::vector<unsigned char> &bytes, std::size_t size,
                                         const std::vector<double> &positions) {
    std::vector<unsigned char> out;
    for (double p : positions) {
        const auto at = bytes.begin() + static_cast<std::ptrdiff_t>((std::size_t(p) - 1) * size);
        out.insert(out.end(), at, at + static_cast<std::ptrdiff_t>(size));
    }
    return out;
}

inline std::vector<unsigned int> Dims(const CMatrix *a) {
    return std::vector<unsigned int>(a->GetDimensions(), a->GetDimensions() + a->GetNoDimensions());
}
/// Returns the real part of a double array, column-major.
inline ValueList Values(const CMatrix *a) { return {mxGetPr(a), mxGetPr(a) + a->GetNoElems()}; }
/// Returns the imaginary part of a complex double array, column-major.
inline std::vector<double> ImagValues(const CMatrix *a) {
    const double *p = mxGetPi(a);
    return p == nullptr ? std::vector<double>() : std::vector<double>(p, p + a->GetNoElems());
}
inline std::string Narrow(const kiv::WString &text) {
    std::string out(text.c_str(), text.c_str() + text.GetLength());
    for (int i = 0; i < text.GetLength(); ++i) out[i] = text.c_str()[i] < 0x80 ? out[i] : '?';
    return out;
}
template <typename To, typename From>
To BitCast(From x) {
    To y;
    std::memcpy(&y, &x, sizeof y);
    return y;
}
inline std::uint64_t Bits(double x) { return BitCast<std::uint64_t>(x); }
inline double FromBits(std::uint64_t bits) { return BitCast<double>(bits); }
inline std::vector<std::uint64_t> BitsOf(const std::vector<double> &values) {
    std::vector<std::uint64_t> out(values.size());
    std::transform(values.begin(), values.end(), out.begin(), Bits);
    return out;
}
/// Bit patterns of the real part of a double array.
inline std::vector<std::uint64_t> BitsOf(const CMatrix *a) { return BitsOf(Values(a)); }

/// Bit patterns of the real part of `a`, except that where `a` and `b` both
/// hold a NaN it takes b's: which of two NaN operands a step passes on is
/// not part of any contract, and compilers may order a loop's operands
/// either way.
inline std::vector<std::uint64_t> BitsNaNsAsIn(const CMatrix *a, const CMatrix *b) {
    std::vector<std::uint64_t> bits = BitsOf(a);
    const ValueList x = Values(a), y = Values(b);
    for (std::size_t k = 0; k < bits.size() && k < y.size(); ++k) {
        if (std::isnan(x[k]) && std::isnan(y[k])) bits[k] = Bits(y[k]);
    }
    return bits;
}

/// Same shape, class and bytes of both parts.
inline ::testing::AssertionResult SameArray(const CMatrix *actual, const CMatrix *expected) {
    auto seen = [](const CMatrix *a) {
        return std::make_tuple(Dims(a), int(a->GetClassID()), Bytes(a), Bytes(a, true));
    };
    if (seen(actual) == seen(expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(seen(actual)) << " instead of "
                                         << ::testing::PrintToString(seen(expected));
}

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

/// Arrays the numerical functions refuse: complex doubles (2x2, 1x1 and 0x0),
/// other numeric classes, char and cell; data filled so that snapshots
/// compare real bytes.
inline std::vector<ArrayPtr> NonRealDoubleOperands() {
    std::vector<ArrayPtr> out;
    const mxClassID ids[] = {mxClassDouble, mxClassDouble, mxClassDouble, mxClassSingle,
                             mxClassInt32,  mxClassUint16, mxClassChar,   mxClassCell};
    const DimList dims[] = {{2, 2}, {1, 1}, {0, 0}, {2, 2}, {1, 1}, {0, 0}, {1, 3}, {1, 1}};
    for (int k = 0; k < 8; ++k) {  // the first three complex
        ArrayPtr &a = out.emplace_back(Array(dims[k], ids[k], mxComplexity(k < 3)));
        if (a->IsCell()) continue;
        std::memset(a->GetPr(), 1, a->GetAllocSize());
        if (a->GetPi() != nullptr) std::memset(a->GetPi(), 2, a->GetAllocSize());
    }
    return out;
}

/// The seed of every random test input: MATRIX_TEST_SEED from the
/// environment when set, a fixed default otherwise. The first call prints
/// it, so that a failed run (CTest shows its output) can be repeated.
inline std::uint64_t Seed() {
    static const std::uint64_t seed = [] {
        const char *text = std::getenv("MATRIX_TEST_SEED");
        const std::uint64_t s = text != nullptr ? std::strtoull(text, nullptr, 10) : 20250601u;
        std::printf("MATRIX_TEST_SEED=%llu\n", static_cast<unsigned long long>(s));
        return s;
    }();
    return seed;
}

/// Everything a caller can observe of an array: shape, class, flags,
/// counter, data pointers and data bytes. Two snapshots compare equal when
/// nothing changed.
struct ArraySnapshot {
    std::tuple<std::vector<unsigned int>, int, unsigned int, unsigned short, const void *,
               const void *, std::vector<unsigned char>, std::vector<unsigned char>>
        seen;

    static ArraySnapshot Of(const CMatrix *a) {
        return {{Dims(a), a->GetClassID(), a->GetFlags(), a->GetCounter(), a->GetPr(), a->GetPi(),
                 Bytes(a), Bytes(a, true)}};
    }
    bool operator==(const ArraySnapshot &other) const { return seen == other.seen; }
};

/// Snapshots of several arrays (null entries skipped), to check that a call
/// left them as they were.
struct Snapshots {
    Snapshots(const std::vector<const CMatrix *> &list) {  // NOLINT(google-explicit-constructor)
        for (const CMatrix *a : list) {
            if (a != nullptr) arrays.push_back(a), before.push_back(ArraySnapshot::Of(a));
        }
    }
    bool Unchanged() const {
        std::vector<ArraySnapshot> now;
        for (const CMatrix *a : arrays) now.push_back(ArraySnapshot::Of(a));
        return now == before;
    }

    std::vector<const CMatrix *> arrays;
    std::vector<ArraySnapshot> before;
};

/// Counts the blocks a piece of code leaves allocated.
struct LiveBlocks {
    LiveBlocks() : start(Settle()) {}
    long Delta() const { return Settle() - start; }

    /// Blocks the calling thread keeps for reuse belong to no array, so they
    /// are given back before counting (the bound stays as it was).
    static long Settle() {
        const std::size_t cap = GetBlockCacheBytes();
        SetBlockCacheBytes(0);
        SetBlockCacheBytes(cap);
        return LiveAllocations();
    }
    long start;
};

/// Runs `call` with its 1st, 2nd, 3rd ... allocation failing, until a run
/// completes without a failure. Each run that fails must throw
/// kiv::CExhaustedMemoryException, leave no block behind and leave the
/// listed arrays as they were (which lets every run reuse them); a returned
/// array is destroyed. Returns the number of failure points, so a test can
/// insist that there were some.
template <typename Call>
int FailurePoints(Call call, const std::vector<const CMatrix *> &unchanged) {
    constexpr int kMaxFailurePoints = 10000;
    const Snapshots before(unchanged);
    for (int n = 1; n <= kMaxFailurePoints; ++n) {
        const LiveBlocks blocks;
        bool threw = false;
        FailNthAllocation(n);
        try {
            if constexpr (std::is_void_v<decltype(call())>) {
                call();
            } else {
                ArrayPtr result(call());
            }
        } catch (const kiv::CExhaustedMemoryException &) {
            threw = true;
        }
        const bool failureHappened = !AllocationFailurePending();
        FailNthAllocation(0);
        if (!threw) {
            EXPECT_FALSE(failureHappened) << "allocation " << n << " failed but nothing was thrown";
            return n - 1;
        }
        EXPECT_TRUE(before.Unchanged()) << "changed after allocation " << n << " failed";
        EXPECT_EQ(blocks.Delta(), 0) << "leak after allocation " << n << " failed";
    }
    ADD_FAILURE() << "operation still failing after " << kMaxFailurePoints << " allocations";
    return kMaxFailurePoints;
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
inline void ExpectFailurePoints(const std::vector<FailureCase> &table) {
    for (const FailureCase &row : table) {
        SCOPED_TRACE(row.what);
        EXPECT_GT(FailurePoints(row.call, row.unchanged), 0) << "no allocation to fail";
    }
}

/// Wraps a call without a result for a FailureCase.
template <typename Call>
std::function<CMatrix *()> InPlace(Call call) {
    return [call]() -> CMatrix * { return call(), nullptr; };
}

}  // namespace matrix_test

#endif  // MATRIX_TESTS_SUPPORT_MATRIX_TEST_H
