// tests/index/index_test.h: subscript builders and checks shared by the indexing tests.
#ifndef MATRIX_TESTS_INDEX_INDEX_TEST_H
#define MATRIX_TESTS_INDEX_INDEX_TEST_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

#include "support/matrix_test.h"

namespace index_test {

using namespace kiv::matrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::DimList;
using matrix_test::Dims;
using matrix_test::Filled;
using matrix_test::ImagValues;
using matrix_test::LiveBlocks;
using matrix_test::Values;
using ValueList = std::vector<double>;

inline ArrayPtr Row(const ValueList &v) {
    return Filled({1, static_cast<unsigned int>(v.size())}, v);
}
inline ArrayPtr Col(const ValueList &v) {
    return Filled({static_cast<unsigned int>(v.size()), 1}, v);
}
inline ArrayPtr Logical(ArrayPtr a) {
    a->SetLogical();
    return a;
}
/// A logical double mask, a row unless `dims` is given.
inline ArrayPtr Mask(const ValueList &v, DimList dims = {}) {
    return Logical(
        Filled(dims.empty() ? DimList{1, static_cast<unsigned int>(v.size())} : dims, v));
}
inline ArrayPtr U32(const std::vector<std::uint32_t> &v, bool logical = false) {
    ArrayPtr a = Array({1, static_cast<unsigned int>(v.size())}, mxClassUint32);
    if (!v.empty()) std::memcpy(a->GetPr(), v.data(), v.size() * sizeof(std::uint32_t));
    return logical ? Logical(std::move(a)) : std::move(a);
}
/// An array of the given class with every byte zero.
inline ArrayPtr Zeroed(const DimList &dims, mxClassID id) {
    ArrayPtr a = Array(dims, id);
    std::memset(a->GetPr(), 0, std::size_t{a->GetNoElems()} * a->GetElementSize());
    return a;
}
inline ArrayPtr Colon() { return ArrayPtr(mxCreateColonIndex()); }
/// 1, 2, 3, ... column-major; imaginary parts -(k + 1) / 4.
inline ArrayPtr Seq(const DimList &dims, mxComplexity complexity = mxComplexityReal) {
    return matrix_test::Counted(dims, 1.0, complexity);
}
inline ArrayPtr Complex(unsigned int m, unsigned int n, const ValueList &re, const ValueList &im) {
    ArrayPtr a = Array({m, n}, mxClassDouble, mxComplexityComplex);
    std::copy(re.begin(), re.end(), mxGetPr(a.get()));
    std::copy(im.begin(), im.end(), mxGetPi(a.get()));
    return a;
}
template <typename T>
ArrayPtr Typed(mxClassID id, const DimList &dims, const std::vector<T> &v) {
    ArrayPtr a = Array(dims, id);
    std::copy(v.begin(), v.end(), static_cast<T *>(a->GetPr()));
    return a;
}
/// A cell array whose slot k holds the scalar first + k.
inline ArrayPtr Cells(unsigned int m, unsigned int n, double first = 1) {
    ArrayPtr c(mxCreateCellMatrix(m, n));
    for (unsigned int k = 0; k < m * n; ++k) mxSetCell(c.get(), k, Scalar(first + k));
    return c;
}
inline double Slot(const CMatrix *c, unsigned int k) { return mxGetScalar(mxGetCell(c, k)); }

/// The bytes of the real (or imaginary) part; empty when there is none.
inline std::vector<unsigned char> Bytes(const CMatrix *a, bool imag = false) {
    const auto *p = static_cast<const unsigned char *>(imag ? a->GetPi() : a->GetPr());
    if (p == nullptr) return {};
    return std::vector<unsigned char>(p, p + std::size_t{a->GetNoElems()} * a->GetElementSize());
}
/// Every class, each moved by its element size.
inline const mxClassID kEveryClass[] = {mxClassChar,   mxClassInt8,   mxClassUint8,  mxClassInt16,
                                        mxClassUint16, mxClassInt32,  mxClassUint32, mxClassSingle,
                                        mxClassInt64,  mxClassUint64, mxClassDouble, mxClassStruct};
/// Fills the real part of `a` with the bytes 1, 2, 3, ... and returns them.
inline std::vector<unsigned char> FillBytes(CMatrix *a) {
    auto *p = static_cast<unsigned char *>(a->GetPr());
    for (std::size_t b = 0; b < std::size_t{a->GetNoElems()} * a->GetElementSize(); ++b) {
        p[b] = static_cast<unsigned char>(b + 1);
    }
    return Bytes(a);
}
/// The elements of `size` bytes at the 1-based `positions` of `bytes`.
template <typename Position>
std::vector<unsigned char> Picked(const std::vector<unsigned char> &bytes, std::size_t size,
                                  const std::vector<Position> &positions) {
    std::vector<unsigned char> out;
    for (Position p : positions) {
        const auto at =
            bytes.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(p) - 1) * size);
        out.insert(out.end(), at, at + static_cast<std::ptrdiff_t>(size));
    }
    return out;
}
/// Same shape, class and bytes of both parts.
inline ::testing::AssertionResult SameArray(const CMatrix *actual, const CMatrix *expected) {
    auto seen = [](const CMatrix *a) {
        return std::make_tuple(Dims(a), static_cast<int>(a->GetClassID()), Bytes(a),
                               Bytes(a, true));
    };
    if (seen(actual) == seen(expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(seen(actual)) << " instead of "
                                         << ::testing::PrintToString(seen(expected));
}

/// Runs `call` on the raw pointer owned by `a`; `a` owns whatever the call
/// leaves there, also after a throw.
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

/// A(I) = B, or A(I,J) = B when J is given.
inline void Assign(ArrayPtr &a, const CMatrix *i, const CMatrix *j, const CMatrix *b) {
    Apply(a, [&](CMatrix *&raw) { j ? Indexassign(raw, i, j, b) : Indexassign(raw, i, b); });
}

template <typename E>
void ExpectThrowOf(const std::function<void()> &call, const wchar_t *message) {
    EXPECT_THROW_MSG(call(), E, message);
}
/// A refusal of the indexing functions: one exception class, told apart by
/// static type, with one message.
struct Error {
    void (*expect)(const std::function<void()> &, const wchar_t *);
    const wchar_t *message;
};
inline const Error kZero{ExpectThrowOf<CIndexIntoMatrixNegativeOrZeroException>,
                         L"Index into matrix is negative or zero"};
inline const Error kBeyond{ExpectThrowOf<CIndexExceedsMatrixDimensionsException>,
                           L"Index exceeds matrix dimensions"};
inline const Error kClass{ExpectThrowOf<CNotImplementedException>,
                          L"Operation not implemented! :-("};
inline const Error kMemory{ExpectThrowOf<kiv::CExhaustedMemoryException>, L"Out of memory"};
inline const Error kAIB{
    ExpectThrowOf<CInAssignAIBElementsMustBeSameException>,
    L"In an assignment  A(I) = B, the number of elements in B and I must be the same"};
inline const Error kAColonB{
    ExpectThrowOf<CInAssignAColonBElementsMustBeSameException>,
    L"In an assignment  A(:) = B, the number of elements in A and B must be the same"};
inline const Error kAMMB{
    ExpectThrowOf<CInAssignAMMBDimensionMustBeSameException>,
    L"In an assignment  A(matrix,matrix) = B, the number of rows in B and the number "
    L"of elements in the A row index matrix must be the same"};
inline const Error kCantResize{
    ExpectThrowOf<CInAssignAMBACantBeResizedException>,
    L"In an assignment  A(matrix) = B, a vector A can't be resized to a matrix"};
inline const Error kMoreDims{ExpectThrowOf<CAssignHasMoreRHSDimsThanSubsExcpetion>,
                             L"Assignment has more rhs dimensions than subscripts"};
inline const Error kNeedColon{ExpectThrowOf<CFunctionErrorException>,
                              L"At least one of two indices must be a colon"};

inline void ExpectThrows(const Error &error, const std::function<void()> &call) {
    error.expect(call, error.message);
}

/// Expects `call` on the target `a` to throw `error`, leaving `a` the same
/// object, it and `others` unchanged, and nothing allocated.
template <typename Call>
void ExpectRefused(const Error &error, ArrayPtr &a, Call call,
                   std::vector<const CMatrix *> others = {}) {
    const CMatrix *same = a.get();
    others.push_back(same);
    others.erase(std::remove(others.begin(), others.end(), nullptr), others.end());
    const matrix_test::Snapshots before(others);
    const LiveBlocks blocks;
    ExpectThrows(error, [&] { Apply(a, call); });
    EXPECT_EQ(blocks.Delta(), 0) << "leaked";
    ASSERT_EQ(a.get(), same) << "target replaced";
    EXPECT_TRUE(before.Unchanged()) << "an argument changed";
}

}  // namespace index_test

#endif  // MATRIX_TESTS_INDEX_INDEX_TEST_H
