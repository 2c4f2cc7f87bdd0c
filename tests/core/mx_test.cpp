// tests/core/mx_test.cpp: the mx functions and the exception classes.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

template <typename T>
double ScalarOf(mxClassID id, T value) {
    ArrayPtr a = Array({1, 1}, id);
    std::memcpy(a->GetPr(), &value, sizeof value);
    return mxGetScalar(a.get());
}

TEST(mxCreate, ShapesClassesAndFill) {
    ArrayPtr d(mxCreateDoubleMatrix(2, 3, mxComplexityComplex));
    EXPECT_EQ(Dims(d.get()), (DimList{2, 3}));
    EXPECT_TRUE(d->IsDouble() && d->IsComplex() && d->GetFlags() == 0);
    const unsigned int dims[] = {2, 1, 3};
    EXPECT_TRUE(ArrayPtr(mxCreateNumericArray(3, dims, mxClassInt32, mxComplexityReal))->IsInt32());
    ArrayPtr cells(mxCreateCellArray(3, dims));
    EXPECT_TRUE(cells->IsCell() && Dims(cells.get()) == (DimList{2, 1, 3}));

    ArrayPtr zeros(mxDoubleMatrix(2, 2, nullptr, nullptr));
    EXPECT_EQ(Values(zeros.get()), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_FALSE(zeros->IsComplex());
    const double re[] = {1, 2, 3, 4, 5, 6}, im[] = {-1, -2, -3, -4, -5, -6};
    ArrayPtr c(mxDoubleMatrix(1, 3, 2, re, im));
    EXPECT_EQ(Dims(c.get()), (DimList{1, 3, 2}));
    EXPECT_EQ(Values(c.get()), std::vector<double>(re, re + 6));
    EXPECT_EQ(ImagValues(c.get()), std::vector<double>(im, im + 6));

    ArrayPtr s(mxCreateString("abc"));
    EXPECT_TRUE(s->IsChar() && Dims(s.get()) == (DimList{1, 3}));
    EXPECT_EQ(std::memcmp(s->GetPr(), "abc", 3), 0);
    EXPECT_EQ(Dims(ArrayPtr(mxCreateString("")).get()), (DimList{1, 0}));
    EXPECT_EQ(Dims(ArrayPtr(mxCreateString(nullptr)).get()), (DimList{1, 0}));
}

TEST(mxGetScalar, ReadsTheFirstElementInItsClass) {
    EXPECT_EQ(ScalarOf<std::uint8_t>(mxClassUint8, 200), 200.0);
    EXPECT_EQ(ScalarOf<std::uint8_t>(mxClassChar, 200), 200.0);
    EXPECT_EQ(ScalarOf<std::int8_t>(mxClassInt8, -3), -3.0);
    EXPECT_EQ(ScalarOf<std::int16_t>(mxClassInt16, -300), -300.0);
    EXPECT_EQ(ScalarOf<std::uint16_t>(mxClassUint16, 65535), 65535.0);
    EXPECT_EQ(ScalarOf<std::int32_t>(mxClassInt32, -70000), -70000.0);
    EXPECT_EQ(ScalarOf<std::uint32_t>(mxClassUint32, 4000000000u), 4e9);
    EXPECT_EQ(ScalarOf<std::int64_t>(mxClassInt64, -5), -5.0);
    EXPECT_EQ(ScalarOf<std::uint64_t>(mxClassUint64, 1ULL << 63), -0x1p63);  // read as signed
    EXPECT_EQ(ScalarOf<float>(mxClassSingle, 1.5f), 1.5);
    EXPECT_EQ(ScalarOf<double>(mxClassDouble, -2.25), -2.25);
    EXPECT_EQ(mxGetScalar(ArrayPtr(mxCreateCellMatrix(1, 1)).get()), 0.0);
    // The logical flag and the imaginary part play no part.
    const double re = 4, im = 9;
    ArrayPtr c(mxDoubleMatrix(1, 1, &re, &im));
    c->SetLogical();
    EXPECT_EQ(mxGetScalar(c.get()), 4.0);
    for (const DimList &dims : {DimList{0, 0}, DimList{1, 0}, DimList{0, 3, 2}}) {
        ArrayPtr a = Array(dims);
        EXPECT_CLEAN_THROW(mxGetScalar(a.get()), CIndexExceedsMatrixDimensionsException,
                           L"Index exceeds matrix dimensions", a.get());
    }
}

TEST(mxGetString, WidensUnsignedCharactersOrCopiesIntoABoundedBuffer) {
    ArrayPtr a = Array({2, 2}, mxClassChar);
    std::memcpy(a->GetPr(),
                "a\xE9"
                "cd",
                4);
    const kiv::WString s = mxGetString(a.get());
    ASSERT_EQ(s.GetLength(), 4);
    EXPECT_EQ(std::wstring(L"a\u00e9cd"), s.c_str());
    EXPECT_TRUE(mxArrayToString(a.get()) == s);
    EXPECT_EQ(mxGetString(Matrix(1, 1, {65}).get()).GetLength(), 0);

    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(mxGetString(a.get(), buf, 4), 3u);
    EXPECT_EQ(std::string(buf, 5), std::string("a\xE9"
                                               "c\0#",
                                               5));
    EXPECT_EQ(mxGetString(a.get(), buf, 6), 4u);
    EXPECT_EQ(std::string(buf, 5), std::string("a\xE9"
                                               "cd\0",
                                               5));
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(mxGetString(a.get(), buf, 0), 0u);  // no room, not even for the NUL
    EXPECT_EQ(mxGetString(Matrix(1, 1, {65}).get(), buf, 8), 0u);
    EXPECT_EQ(buf[0], '#');
}

TEST(mxCells, SetAndGetSlots) {
    const LiveBlocks blocks;
    {
        ArrayPtr cell(mxCreateCellMatrix(2, 2));
        EXPECT_EQ(mxGetCell(cell.get(), 3), nullptr);
        CMatrix *v = Matrix(1, 1, {3}).release();
        mxSetCell(cell.get(), 3, v);
        mxSetCell(cell.get(), 3, v);  // the same array again: kept, not destroyed
        EXPECT_EQ(mxGetCell(cell.get(), 3), v);
        EXPECT_EQ(mxGetScalar(v), 3.0);
        mxSetCell(cell.get(), 3, Matrix(1, 1, {4}).release());  // destroys v
        mxSetCell(cell.get(), 0, nullptr);
        EXPECT_EQ(mxGetScalar(mxGetCell(cell.get(), 3)), 4.0);
    }
    EXPECT_EQ(blocks.Delta(), 0);

    // The class is checked before the slot number.
    ArrayPtr cell = Array({1, 2}, mxClassCell), numbers = Matrix(1, 2, {1, 2});
    ArrayPtr value = Matrix(1, 1, {2});
    const wchar_t exceeds[] = L"Index exceeds matrix dimensions";
    const wchar_t other[] = L"Operation not implemented! :-(";
    using Exceeds = CIndexExceedsMatrixDimensionsException;
    EXPECT_CLEAN_THROW(mxGetCell(cell.get(), 2), Exceeds, exceeds, cell.get());
    EXPECT_CLEAN_THROW(mxGetCell(numbers.get(), 0), CNotImplementedException, other, numbers.get());
    for (int i : {2, -1}) {
        EXPECT_CLEAN_THROW(mxSetCell(cell.get(), i, value.get()), Exceeds, exceeds, cell.get(),
                           value.get());
        EXPECT_CLEAN_THROW(mxSetCell(numbers.get(), i, value.get()), CNotImplementedException,
                           other, numbers.get(), value.get());
    }
}

TEST(mxCalcSingleSubscript, HornerFormIgnoringTrailingZeros) {
    ArrayPtr a = Array({3, 4, 5});
    const unsigned int s123[] = {1, 2, 3}, s2100[] = {2, 1, 0, 0}, zeros[] = {0, 0, 0, 0};
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 3, s123), 1u + 2 * 3 + 3 * 12);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 4, s2100), 5u);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 4, zeros), 0u);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 0, nullptr), 0u);
    const unsigned int s0001[] = {0, 0, 0, 1};
    EXPECT_CLEAN_THROW(mxCalcSingleSubscript(a.get(), 4, s0001),
                       CIndexExceedsMatrixDimensionsException, L"Index exceeds matrix dimensions",
                       a.get());
}

TEST(mxSpecialValues, BitPatternsAndTests) {
    EXPECT_EQ(Bits(mxGetEps()), 0x3CB0000000000000ULL);
    EXPECT_EQ(Bits(mxGetInf()), 0x7FF0000000000000ULL);
    EXPECT_EQ(Bits(mxGetNaN()), 0x7FFFFFFFFFFFFFFFULL);
    // Only the library's NaN and its negation are NaN: other patterns are
    // ordinary finite values to these tests.
    for (double x : {mxGetNaN(), -mxGetNaN()}) {
        EXPECT_TRUE(mxIsNaN(x) && !mxIsInf(x) && !mxIsFinite(x)) << Bits(x);
    }
    for (double x : {mxGetInf(), -mxGetInf()}) {
        EXPECT_TRUE(!mxIsNaN(x) && mxIsInf(x) && !mxIsFinite(x)) << Bits(x);
    }
    for (double x : {FromBits(0x7FF8000000000000ULL), FromBits(0xFFF8000000000000ULL), 0.0, -0.0,
                     -1e308, 4.9e-324, std::numeric_limits<double>::max()}) {
        EXPECT_TRUE(!mxIsNaN(x) && !mxIsInf(x) && mxIsFinite(x)) << Bits(x);
    }
}

TEST(mxAccessors, ForwardToTheArray) {
    ArrayPtr owner = Array({2, 3, 4}, mxClassUint16);
    CMatrix *a = owner.get();
    EXPECT_EQ((DimList{mxGetM(a), mxGetN(a), mxGetNumberOfDimensions(a), mxGetNumberOfElements(a),
                       mxGetElementSize(a)}),
              (DimList{2, 3, 3, 24, 2}));  // N is the second length only
    EXPECT_TRUE(mxGetClassID(a) == mxClassUint16 && mxGetDimensions(a) == a->GetDimensions());
    EXPECT_FALSE(mxIsComplex(a) || mxIsEmpty(a) || mxIsLogical(a));
    mxSetLogical(a);
    EXPECT_TRUE(mxIsLogical(a));
    mxClearLogical(a);
    EXPECT_FALSE(mxIsLogical(a));

    const LiveBlocks blocks;
    a = mxCreateDoubleMatrix(3, 3, mxComplexityComplex);
    mxDestroyArray(a);
    EXPECT_EQ(a, nullptr);
    mxDestroyArray(a);  // null is fine
    EXPECT_EQ(blocks.Delta(), 0);
}

// --- Exceptions --------------------------------------------------------------

// Throws `e` and expects `message` from a handler of the library's base.
template <typename E>
void ExpectMessage(const E &e, const std::string &message) {
    try {
        throw e;
    } catch (const IMatrixException &caught) {
        EXPECT_EQ(Narrow(caught.GetMessage()), message);
    }
}

TEST(Exceptions, EachClassCarriesItsMessage) {
    ExpectMessage(CAllColumnsMustHaveSameRows(),
                  "All matrices on a row in the bracketed expression must have the same number of "
                  "rows");
    ExpectMessage(CAllRowsMustHaveSameColumns(),
                  "All rows in the bracketed expression must have the same number of columns");
    ExpectMessage(CArrayDimsMustMatchForBinaryOpException(),
                  "Array dimensions must match for binary array op");
    ExpectMessage(CAssignHasMoreRHSDimsThanSubsExcpetion(),
                  "Assignment has more rhs dimensions than subscripts");
    ExpectMessage(CInAssignAColonBElementsMustBeSameException(),
                  "In an assignment  A(:) = B, the number of elements in A and B must be the same");
    ExpectMessage(CInAssignAIBElementsMustBeSameException(),
                  "In an assignment  A(I) = B, the number of elements in B and I must be the same");
    ExpectMessage(CInAssignAMBACantBeResizedException(),
                  "In an assignment  A(matrix) = B, a vector A can't be resized to a matrix");
    ExpectMessage(CInAssignAMMBDimensionMustBeSameException(),
                  "In an assignment  A(matrix,matrix) = B, the number of rows in B and the number "
                  "of elements in the A row index matrix must be the same");
    ExpectMessage(CIndexExceedsMatrixDimensionsException(), "Index exceeds matrix dimensions");
    ExpectMessage(CIndexIntoMatrixNegativeOrZeroException(),
                  "Index into matrix is negative or zero");
    ExpectMessage(CInnerMatrixDimsMustAgreeException(), "Inner matrix dimensions must agree");
    ExpectMessage(CMatrixDimsMustAgreeException(), "Matrix dimensions must agree");
    ExpectMessage(CMatrixMustBeSquareException(), "Matrix must be square");
    ExpectMessage(CNotImplementedException(), "Operation not implemented! :-(");
    ExpectMessage(COperationOnNDArrayNotDefinedException(), "Operation on ND array is not defined");
    ExpectMessage(CTransposeOnNDArrayNotDefinedException(), "Transpose on ND array is not defined");
    ExpectMessage(CUnknownOptionException(), "Unknonw command option");
    ExpectMessage(COperationNotDefinedOnClassException(nullptr),
                  "Operation not permetted on input data");
    ExpectMessage(COperationNotDefinedOnClassException(Matrix(1, 1, {1}).get()),
                  "Operation not permetted on input data");
}

TEST(Exceptions, CopiesAndMovesKeepTheMessage) {
    CFunctionErrorException original(L"The only matrix norms available are 1, 2, inf and fro");
    CFunctionErrorException copy(original), moved(std::move(original)), assigned(L"x");
    EXPECT_TRUE(copy.GetMessage() == moved.GetMessage());
    assigned = copy;
    EXPECT_TRUE(assigned.GetMessage() == copy.GetMessage());
    assigned = std::move(moved);
    ExpectMessage(assigned, "The only matrix norms available are 1, 2, inf and fro");
    original = CFunctionErrorException(L"again");  // moved-from objects stay usable
    ExpectMessage(original, "again");

    // Out of memory is not a matrix error: only the root catches it.
    static_assert(!std::is_base_of_v<IMatrixException, kiv::CExhaustedMemoryException>);
}

}  // namespace
