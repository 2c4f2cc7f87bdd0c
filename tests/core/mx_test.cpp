// tests/core/mx_test.cpp: the mx functions, the exception classes and the
// refusals of the array core.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

template <typename T>
double ScalarOf(mxClassID id, T value) {
    ArrayPtr a = Array({1, 1}, id);
    std::memcpy(a->GetPr(), &value, sizeof value);
    return mxGetScalar(a.get());
}

// One class per width and signedness; a uint64 is read as signed.
TEST(mxGetScalar, ReadsTheFirstElementInItsClassAndANullStringIsEmpty) {
    EXPECT_EQ(ScalarOf<std::uint8_t>(mxClassUint8, 200), 200.0);
    EXPECT_EQ(ScalarOf<std::int8_t>(mxClassInt8, -3), -3.0);
    EXPECT_EQ(ScalarOf<std::uint16_t>(mxClassUint16, 65535), 65535.0);
    EXPECT_EQ(ScalarOf<std::int32_t>(mxClassInt32, -70000), -70000.0);
    EXPECT_EQ(ScalarOf<std::uint32_t>(mxClassUint32, 4000000000u), 4e9);
    EXPECT_EQ(ScalarOf<std::uint64_t>(mxClassUint64, 1ULL << 63), -0x1p63);
    EXPECT_EQ(ScalarOf<float>(mxClassSingle, 1.5f), 1.5);
    EXPECT_EQ(mxGetScalar(ArrayPtr(mxCreateCellMatrix(1, 1)).get()), 0.0);
    // The logical flag and the imaginary part play no part.
    ArrayPtr c = Complex(1, 1, {4}, {9});
    c->SetLogical();
    EXPECT_EQ(mxGetScalar(c.get()), 4.0);
    EXPECT_EQ(Dims(ArrayPtr(mxCreateString(nullptr)).get()), (DimList{1, 0}));
}

TEST(mxGetString, WidensUnsignedCharactersOrCopiesIntoABoundedBuffer) {
    ArrayPtr a = Array({2, 2}, mxClassChar);
    std::memcpy(a->GetPr(), "a\xE9\x63\x64", 4);
    const kiv::WString s = mxGetString(a.get());
    EXPECT_EQ(std::wstring(L"a\u00e9cd"), std::wstring(s.c_str(), s.GetLength()));
    EXPECT_TRUE(mxArrayToString(a.get()) == s);
    EXPECT_EQ(mxGetString(Matrix(1, 1, {65}).get()).GetLength(), 0);

    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(mxGetString(a.get(), buf, 4), 3u);
    EXPECT_EQ(std::string(buf, 5), std::string("a\xE9\x63\0#", 5));
    EXPECT_EQ(mxGetString(a.get(), buf, 6), 4u);
    EXPECT_EQ(std::string(buf, 5), std::string("a\xE9\x63\x64\0", 5));
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(mxGetString(a.get(), buf, 0), 0u);  // no room, not even for the NUL
    EXPECT_EQ(mxGetString(Matrix(1, 1, {65}).get(), buf, 8), 0u);
    EXPECT_EQ(buf[0], '#');
}

TEST(mxCells, SetAndGetSlots) {
    const LiveBlocks blocks;
    {
        ArrayPtr cell(mxCreateCellMatrix(2, 2));
        CMatrix *v = Matrix(1, 1, {3}).release();
        mxSetCell(cell.get(), 3, v);
        mxSetCell(cell.get(), 3, v);  // the same array again: kept, not destroyed
        EXPECT_TRUE(mxGetCell(cell.get(), 3) == v && mxGetScalar(v) == 3.0);
        mxSetCell(cell.get(), 3, Matrix(1, 1, {4}).release());  // destroys v
        mxSetCell(cell.get(), 0, nullptr);
        EXPECT_EQ(Slot(cell.get(), 3), 4.0);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(mxCalcSingleSubscript, HornerFormIgnoringTrailingZerosAndDestroyNullsThePointer) {
    ArrayPtr a = Array({3, 4, 5});
    const unsigned int s123[] = {1, 2, 3}, s2100[] = {2, 1, 0, 0};
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 3, s123), 1u + 2 * 3 + 3 * 12);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 4, s2100), 5u);
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 0, nullptr), 0u);
    CMatrix *b = mxCreateDoubleMatrix(3, 3, mxComplexityComplex);
    mxDestroyArray(b);
    EXPECT_EQ(b, nullptr);
    mxDestroyArray(b);
}

// --- Exceptions --------------------------------------------------------------

// The one place where the fixed messages are spelled out; every other test
// takes them from the classes.
TEST(Exceptions, EachClassCarriesItsMessage) {
    const std::pair<Expected, std::string> table[] = {
        {Expected::Throws<CAllColumnsMustHaveSameRows>(),
         "All matrices on a row in the bracketed expression must have the same number of rows"},
        {Expected::Throws<CAllRowsMustHaveSameColumns>(),
         "All rows in the bracketed expression must have the same number of columns"},
        {Expected::Throws<CArrayDimsMustMatchForBinaryOpException>(),
         "Array dimensions must match for binary array op"},
        {Expected::Throws<CAssignHasMoreRHSDimsThanSubsExcpetion>(),
         "Assignment has more rhs dimensions than subscripts"},
        {Expected::Throws<CInAssignAColonBElementsMustBeSameException>(),
         "In an assignment  A(:) = B, the number of elements in A and B must be the same"},
        {Expected::Throws<CInAssignAIBElementsMustBeSameException>(),
         "In an assignment  A(I) = B, the number of elements in B and I must be the same"},
        {Expected::Throws<CInAssignAMBACantBeResizedException>(),
         "In an assignment  A(matrix) = B, a vector A can't be resized to a matrix"},
        {Expected::Throws<CInAssignAMMBDimensionMustBeSameException>(),
         "In an assignment  A(matrix,matrix) = B, the number of rows in B and the number of "
         "elements in the A row index matrix must be the same"},
        {Expected::Throws<CIndexExceedsMatrixDimensionsException>(),
         "Index exceeds matrix dimensions"},
        {Expected::Throws<CIndexIntoMatrixNegativeOrZeroException>(),
         "Index into matrix is negative or zero"},
        {Expected::Throws<CInnerMatrixDimsMustAgreeException>(),
         "Inner matrix dimensions must agree"},
        {Expected::Throws<CMatrixDimsMustAgreeException>(), "Matrix dimensions must agree"},
        {Expected::Throws<CMatrixMustBeSquareException>(), "Matrix must be square"},
        {Expected::Throws<CNotImplementedException>(), "Operation not implemented! :-("},
        {Expected::Throws<COperationOnNDArrayNotDefinedException>(),
         "Operation on ND array is not defined"},
        {Expected::Throws<CTransposeOnNDArrayNotDefinedException>(),
         "Transpose on ND array is not defined"},
        {Expected::Throws<CUnknownOptionException>(), "Unknonw command option"},
        {Expected::Throws(COperationNotDefinedOnClassException(nullptr)),
         "Operation not permetted on input data"},
        {Expected::Throws(COperationNotDefinedOnClassException(Matrix(1, 1, {1}).get())),
         "Operation not permetted on input data"},
        {Expected::Throws<kiv::CExhaustedMemoryException>(), "Out of memory"}};
    for (const auto &[expected, message] : table) {
        EXPECT_EQ(expected.Message(), message) << expected.ClassName();
    }
    // Every library class is caught through the library's base.
    try {
        throw CMatrixMustBeSquareException();
    } catch (const IMatrixException &e) {
        EXPECT_EQ(Narrow(e.GetMessage()), "Matrix must be square");
    }
    static_assert(!std::is_base_of_v<IMatrixException, kiv::CExhaustedMemoryException>);
}

TEST(Exceptions, CopiesAndMovesKeepTheMessage) {
    CFunctionErrorException original(L"norms"), copy(original), assigned(L"x");
    CFunctionErrorException moved(std::move(original));
    assigned = copy;
    EXPECT_TRUE(assigned.GetMessage() == moved.GetMessage());
    assigned = std::move(moved);
    EXPECT_EQ(Narrow(assigned.GetMessage()), "norms");
    original = CFunctionErrorException(L"again");  // moved-from objects stay usable
    EXPECT_EQ(Narrow(original.GetMessage()), "again");
}

// --- Refusals ------------------------------------------------------------------

TEST(Core, Refusals) {
    ArrayPtr empty = Array({0, 0}), nd = Array({0, 3, 2});
    ArrayPtr cell = Array({1, 2}, mxClassCell), numbers = Matrix(1, 2, {1, 2});
    ArrayPtr value = Matrix(1, 1, {2}), a = Array({3, 4, 5}), m = Counted({2, 3});
    const unsigned int s0001[] = {0, 0, 0, 1};
    const auto reshape = [&](DimList dims) {
        return [&, dims] { m->Reshape(unsigned(dims.size()), dims.data()); };
    };
    const auto extend = [&](DimList dims) {
        return [&, dims] { m->Extend(unsigned(dims.size()), dims.data()); };
    };
    const auto create = [](DimList dims, mxClassID id) { return [dims, id] { Array(dims, id); }; };
    const Expected exceeds = Expected::Throws<CIndexExceedsMatrixDimensionsException>();
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    const Expected twoDims =
        Expected::Throws(CFunctionErrorException(L"An array must have at least two dimensions"));
    const Expected sameCount =
        Expected::Throws(CFunctionErrorException(L"The number of elements can't change"));
    // The class is checked before the slot number.
    CMatrix *c = cell.get(), *v = value.get(), *n = numbers.get(), *sub = a.get();
    ExpectRefusals(
        {{"scalar of 0x0", [&] { mxGetScalar(empty.get()); }, exceeds, {empty.get()}},
         {"scalar of 0x3x2", [&] { mxGetScalar(nd.get()); }, exceeds, {nd.get()}},
         {"get slot 2 of 2", [&] { mxGetCell(c, 2); }, exceeds, {c}},
         {"get from numbers", [&] { mxGetCell(n, 0); }, NotImplemented(), {n}},
         {"set slot 2", [&] { mxSetCell(c, 2, v); }, exceeds, {c, v}},
         {"set slot -1", [&] { mxSetCell(c, -1, v); }, exceeds, {c, v}},
         {"set into numbers", [&] { mxSetCell(n, -1, v); }, NotImplemented(), {n, v}},
         {"subscript beyond", [&] { mxCalcSingleSubscript(sub, 4, s0001); }, exceeds, {sub}},
         {"reshape to one length", reshape({6}), twoDims, {m.get()}},
         {"reshape to none", reshape({}), twoDims, {m.get()}},
         {"reshape to 4x2", reshape({4, 2}), sameCount, {m.get()}},
         // A product that wraps to 6 in 32 bits must not pass for 6 elements.
         {"reshape wrapping", reshape({2, 2147483651u}), memory, {m.get()}},
         {"extend beyond 32 bits", extend({65536, 65536}), memory, {m.get()}},
         {"extend bytes beyond 32 bits", extend({2, 1u << 30}), memory, {m.get()}},
         // Beyond 32 bits: the element count (also one that would wrap to a
         // small number), or the byte size of a count that fits.
         {"create 2^32", create({65536, 65536, 1}, mxClassDouble), memory, {}},
         {"create 2^31 doubles", create({2, 1u << 30}, mxClassDouble), memory, {}},
         {"create 2^31 int16", create({1u << 31, 1}, mxClassInt16), memory, {}}});
}

}  // namespace
