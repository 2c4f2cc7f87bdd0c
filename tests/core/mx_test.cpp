// tests/core/mx_test.cpp: creation, conversion, cell, subscript and special-value functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::Dims;
using matrix_test::LiveBlocks;
using matrix_test::Values;
using Shape = std::vector<unsigned int>;

template <typename T>
ArrayPtr ScalarOf(mxClassID id, T value) {
    ArrayPtr a = matrix_test::Array({1, 1}, id);
    std::memcpy(a->GetPr(), &value, sizeof value);
    return a;
}

double FromBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

TEST(mxCreate, ShapesClassesAndFill) {
    ArrayPtr d(mxCreateDoubleMatrix(2, 3, mxComplexityComplex));
    EXPECT_EQ(Dims(d.get()), (Shape{2, 3}));
    EXPECT_TRUE(d->IsDouble() && d->IsComplex());
    EXPECT_EQ(d->GetFlags(), 0u);

    const unsigned int dims[] = {2, 1, 3, 1};
    ArrayPtr n(mxCreateNumericArray(4, dims, mxClassInt32, mxComplexityReal));
    EXPECT_EQ(Dims(n.get()), (Shape{2, 1, 3}));
    EXPECT_TRUE(n->IsInt32() && !n->IsComplex());

    ArrayPtr zeros(mxDoubleMatrix(2, 2, nullptr, nullptr));
    EXPECT_EQ(Values(zeros.get()), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_FALSE(zeros->IsComplex());

    const double re[] = {1, 2, 3, 4, 5, 6}, im[] = {-1, -2, -3, -4, -5, -6};
    ArrayPtr c(mxDoubleMatrix(1, 3, 2, re, im));
    EXPECT_EQ(Dims(c.get()), (Shape{1, 3, 2}));
    EXPECT_EQ(Values(c.get()), std::vector<double>(re, re + 6));
    EXPECT_EQ(matrix_test::ImagValues(c.get()), std::vector<double>(im, im + 6));
    EXPECT_EQ(Dims(ArrayPtr(mxDoubleMatrix(2, 2, 1, re, nullptr)).get()), (Shape{2, 2}));
}

TEST(mxCreateString, HoldsBytesWithoutTerminator) {
    ArrayPtr s(mxCreateString("abc"));
    EXPECT_EQ(Dims(s.get()), (Shape{1, 3}));
    EXPECT_TRUE(s->IsChar());
    EXPECT_EQ(std::memcmp(s->GetPr(), "abc", 3), 0);
    ArrayPtr empty(mxCreateString(""));
    EXPECT_EQ(Dims(empty.get()), (Shape{1, 0}));
    EXPECT_EQ(mxGetString(empty.get()).GetLength(), 0);
    EXPECT_EQ(Dims(ArrayPtr(mxCreateString(nullptr)).get()), (Shape{1, 0}));
}

TEST(mxGetScalar, ReadsFirstElementByClass) {
    EXPECT_EQ(mxGetScalar(ScalarOf<std::uint8_t>(mxClassUint8, 200).get()), 200.0);
    EXPECT_EQ(mxGetScalar(ScalarOf<std::uint8_t>(mxClassChar, 200).get()), 200.0);
    EXPECT_EQ(mxGetScalar(ScalarOf<std::int8_t>(mxClassInt8, -3).get()), -3.0);
    EXPECT_EQ(mxGetScalar(ScalarOf<std::int16_t>(mxClassInt16, -300).get()), -300.0);
    EXPECT_EQ(mxGetScalar(ScalarOf<std::uint16_t>(mxClassUint16, 65535).get()), 65535.0);
    EXPECT_EQ(mxGetScalar(ScalarOf<std::int32_t>(mxClassInt32, -70000).get()), -70000.0);
    EXPECT_EQ(mxGetScalar(ScalarOf<std::uint32_t>(mxClassUint32, 4000000000u).get()), 4e9);
    EXPECT_EQ(mxGetScalar(ScalarOf<std::int64_t>(mxClassInt64, -5).get()), -5.0);
    // uint64 reads as signed: 2^63 comes out as -2^63.
    EXPECT_EQ(mxGetScalar(ScalarOf<std::uint64_t>(mxClassUint64, 1ULL << 63).get()), -0x1p63);
    EXPECT_EQ(mxGetScalar(ScalarOf<float>(mxClassSingle, 1.5f).get()), 1.5);
    EXPECT_EQ(mxGetScalar(ScalarOf<double>(mxClassDouble, -2.25).get()), -2.25);
    ArrayPtr cell(mxCreateCellMatrix(1, 1));
    EXPECT_EQ(mxGetScalar(cell.get()), 0.0);
    // The logical flag and the imaginary part play no part.
    ArrayPtr c(mxDoubleMatrix(1, 1, std::vector<double>{4}.data(), std::vector<double>{9}.data()));
    c->SetLogical();
    EXPECT_EQ(mxGetScalar(c.get()), 4.0);
}

TEST(mxGetScalar, EmptyArrayThrows) {
    for (const Shape &dims : {Shape{0, 0}, Shape{1, 0}, Shape{0, 3, 2}}) {
        ArrayPtr a = matrix_test::Array(dims);
        const LiveBlocks blocks;
        EXPECT_THROW_MSG(mxGetScalar(a.get()), CIndexExceedsMatrixDimensionsException,
                         L"Index exceeds matrix dimensions");
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

TEST(mxGetString, WidensCharactersInColumnMajorOrder) {
    ArrayPtr a = matrix_test::Array({2, 2}, mxClassChar);
    std::memcpy(a->GetPr(), "a\xE9" "cd", 4);
    const kiv::WString s = mxGetString(a.get());
    ASSERT_EQ(s.GetLength(), 4);
    EXPECT_EQ(s.c_str()[0], L'a');
    EXPECT_EQ(s.c_str()[1], static_cast<wchar_t>(0xE9));  // unsigned, not sign-extended
    EXPECT_TRUE(mxArrayToString(a.get()) == s);
    EXPECT_EQ(mxGetString(matrix_test::Matrix(1, 1, {65}).get()).GetLength(), 0);
}

TEST(mxGetString, CopiesIntoBoundedBuffer) {
    ArrayPtr s(mxCreateString("hello"));
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(mxGetString(s.get(), buf, 4), 3u);
    EXPECT_EQ(std::string(buf, 5), std::string("hel\0#", 5));
    EXPECT_EQ(mxGetString(s.get(), buf, 6), 5u);
    EXPECT_STREQ(buf, "hello");

    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(mxGetString(s.get(), buf, 0), 0u);  // no room, not even for the NUL
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(mxGetString(matrix_test::Matrix(1, 1, {65}).get(), buf, 8), 0u);
    EXPECT_EQ(buf[0], '#');
}

TEST(mxCells, SetAndGetSlots) {
    const LiveBlocks blocks;
    {
        ArrayPtr cell(mxCreateCellMatrix(2, 2));
        EXPECT_TRUE(cell->IsCell());
        EXPECT_EQ(mxGetCell(cell.get(), 3), nullptr);
        CMatrix *v = matrix_test::Matrix(1, 1, {3}).release();
        mxSetCell(cell.get(), 3, v);
        EXPECT_EQ(mxGetCell(cell.get(), 3), v);
        mxSetCell(cell.get(), 3, v);  // the same array again: kept, not destroyed
        EXPECT_EQ(mxGetScalar(mxGetCell(cell.get(), 3)), 3.0);
        mxSetCell(cell.get(), 3, matrix_test::Matrix(1, 1, {4}).release());  // destroys v
        mxSetCell(cell.get(), 0, nullptr);
        EXPECT_EQ(mxGetScalar(mxGetCell(cell.get(), 3)), 4.0);
        unsigned int dims[] = {3, 1, 2};
        ArrayPtr nd(mxCreateCellArray(3, dims));
        EXPECT_EQ(Dims(nd.get()), (Shape{3, 1, 2}));
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(mxCells, BadSlotOrClassThrowsAndChangesNothing) {
    ArrayPtr cell(mxCreateCellMatrix(1, 2));
    mxSetCell(cell.get(), 1, matrix_test::Matrix(1, 1, {1}).release());
    ArrayPtr value = matrix_test::Matrix(1, 1, {2});
    ArrayPtr numbers = matrix_test::Matrix(1, 2, {1, 2});
    const ArraySnapshot cellBefore = ArraySnapshot::Of(cell.get());
    const ArraySnapshot numbersBefore = ArraySnapshot::Of(numbers.get());
    const LiveBlocks blocks;

    EXPECT_THROW_MSG(mxGetCell(cell.get(), 2), CIndexExceedsMatrixDimensionsException,
                     L"Index exceeds matrix dimensions");
    EXPECT_THROW_MSG(mxSetCell(cell.get(), 2, value.get()), CIndexExceedsMatrixDimensionsException,
                     L"Index exceeds matrix dimensions");
    EXPECT_THROW_MSG(mxSetCell(cell.get(), -1, value.get()), CIndexExceedsMatrixDimensionsException,
                     L"Index exceeds matrix dimensions");
    EXPECT_THROW_MSG(mxGetCell(numbers.get(), 0), CNotImplementedException,
                     L"Operation not implemented! :-(");
    EXPECT_THROW_MSG(mxSetCell(numbers.get(), 0, value.get()), CNotImplementedException,
                     L"Operation not implemented! :-(");

    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_TRUE(ArraySnapshot::Of(cell.get()) == cellBefore);
    EXPECT_TRUE(ArraySnapshot::Of(numbers.get()) == numbersBefore);
    EXPECT_EQ(Values(value.get()), (std::vector<double>{2}));  // still the caller's
}

TEST(mxCalcSingleSubscript, HornerFormWithTrailingZeros) {
    ArrayPtr a = matrix_test::Array({3, 4});
    const unsigned int s21[] = {2, 1}, s2100[] = {2, 1, 0, 0}, zeros[] = {0, 0, 0}, s001[] = {0, 0, 1};
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 2, s21), 5u);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 4, s2100), 5u);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 3, zeros), 0u);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 0, nullptr), 0u);
    ArrayPtr b = matrix_test::Array({3, 4, 5});
    const unsigned int s123[] = {1, 2, 3};
    EXPECT_EQ(mxCalcSingleSubscript(b.get(), 3, s123), 1u + 2 * 3 + 3 * 12);

    const LiveBlocks blocks;
    EXPECT_THROW_MSG(mxCalcSingleSubscript(a.get(), 3, s001), CIndexExceedsMatrixDimensionsException,
                     L"Index exceeds matrix dimensions");
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(mxSpecialValues, BitPatternsAndTests) {
    EXPECT_EQ(Bits(mxGetEps()), 0x3CB0000000000000ULL);
    EXPECT_EQ(mxGetEps(), std::numeric_limits<double>::epsilon());
    EXPECT_EQ(Bits(mxGetInf()), 0x7FF0000000000000ULL);
    EXPECT_EQ(Bits(mxGetNaN()), 0x7FFFFFFFFFFFFFFFULL);

    EXPECT_TRUE(mxIsNaN(mxGetNaN()));
    EXPECT_TRUE(mxIsNaN(-mxGetNaN()));
    EXPECT_FALSE(mxIsFinite(mxGetNaN()));
    EXPECT_TRUE(mxIsInf(mxGetInf()));
    EXPECT_TRUE(mxIsInf(-mxGetInf()));
    EXPECT_FALSE(mxIsFinite(-mxGetInf()));
    EXPECT_FALSE(mxIsNaN(mxGetInf()));
    EXPECT_FALSE(mxIsInf(mxGetNaN()));

    // Other NaN patterns are neither NaN nor infinite by these tests.
    const double quiet = FromBits(0x7FF8000000000000ULL);
    EXPECT_FALSE(mxIsNaN(quiet));
    EXPECT_TRUE(mxIsFinite(quiet));
    EXPECT_FALSE(mxIsNaN(FromBits(0xFFF8000000000000ULL)));

    for (double x : {0.0, -0.0, 1.0, -1e308, 4.9e-324, std::numeric_limits<double>::max()}) {
        EXPECT_TRUE(mxIsFinite(x));
        EXPECT_FALSE(mxIsNaN(x) || mxIsInf(x));
    }
}

TEST(mxAccessors, ForwardToTheArray) {
    ArrayPtr a = matrix_test::Array({2, 3, 4}, mxClassUint16);
    EXPECT_EQ(mxGetM(a.get()), 2u);
    EXPECT_EQ(mxGetN(a.get()), 3u);  // the second length only
    EXPECT_EQ(mxGetNumberOfDimensions(a.get()), 3u);
    EXPECT_EQ(mxGetNumberOfElements(a.get()), 24u);
    EXPECT_EQ(mxGetElementSize(a.get()), 2u);
    EXPECT_EQ(mxGetClassID(a.get()), mxClassUint16);
    EXPECT_EQ(mxGetDimensions(a.get()), a->GetDimensions());
    EXPECT_EQ(static_cast<void *>(mxGetPr(a.get())), a->GetPr());
    EXPECT_EQ(mxGetPi(a.get()), nullptr);
    EXPECT_TRUE(mxIsUint16(a.get()) && mxIsNumeric(a.get()));
    EXPECT_FALSE(mxIsDouble(a.get()) || mxIsCell(a.get()) || mxIsChar(a.get()) ||
                 mxIsComplex(a.get()) || mxIsEmpty(a.get()) || mxIsInt8(a.get()) ||
                 mxIsInt16(a.get()) || mxIsInt32(a.get()) || mxIsSingle(a.get()) ||
                 mxIsSparse(a.get()) || mxIsStruct(a.get()) || mxIsUint8(a.get()) ||
                 mxIsUint32(a.get()) || mxIsLogical(a.get()));
    mxSetLogical(a.get());
    EXPECT_TRUE(mxIsLogical(a.get()));
    mxClearLogical(a.get());
    EXPECT_FALSE(mxIsLogical(a.get()));
}

TEST(mxDestroyArray, ReleasesAndNullsThePointer) {
    CMatrix *a = nullptr;
    mxDestroyArray(a);
    EXPECT_EQ(a, nullptr);
    const LiveBlocks blocks;
    a = mxCreateDoubleMatrix(3, 3, mxComplexityComplex);
    mxDestroyArray(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(blocks.Delta(), 0);
}

}  // namespace
