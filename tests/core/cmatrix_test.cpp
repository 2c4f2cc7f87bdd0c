// tests/core/cmatrix_test.cpp: the array object (shape, buffers, flags, sharing and
// copy on write, cell ownership, Extend and Reshape), the mx functions, the
// exception classes and the refusals of the array core.
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "core/buffer.h"
#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

// The header in front of every buffer, which callers rely on: the 16-bit
// holder count at -6 and the 32-bit byte size at -4.
template <typename T = std::uint16_t>
T Header(const void *data, int offset = -6) {
    T value;
    std::memcpy(&value, static_cast<const char *>(data) + offset, sizeof value);
    return value;
}

void Extend(CMatrix *a, const DimList &dims) { a->Extend(unsigned(dims.size()), dims.data()); }

TEST(CMatrix, NormalisesTheShapeAndClassifiesIt) {
    // Letters: Empty, Scalar, Vector, Matrix, ND.
    const struct {
        DimList request, stored;
        mxClassID id;
        std::string holds;
    } cases[] = {
        {{}, {0, 0}, mxClassDouble, "E"},           {{0, 3}, {0, 3}, mxClassDouble, ""},
        {{1, 1, 1}, {1, 1}, mxClassDouble, "SV"},   {{1, 1}, {1, 1}, mxClassCell, ""},
        {{1, 5}, {1, 5}, mxClassChar, "V"},         {{5}, {5, 1}, mxClassUint8, "V"},
        {{2, 3, 1, 1}, {2, 3}, mxClassDouble, "M"}, {{3, 1, 2, 1}, {3, 1, 2}, mxClassDouble, "N"},
        {{2, 0, 3}, {2, 0, 3}, mxClassDouble, "N"}, {{1, 1, 4}, {1, 1, 4}, mxClassStruct, ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.request) + " class " + std::to_string(c.id));
        const ArrayPtr a = Array(c.request, c.id);
        EXPECT_EQ(Dims(a.get()), c.stored);
        const std::string got = std::string(a->IsEmpty() ? "E" : "") + (a->IsScalar() ? "S" : "") +
                                (a->IsVector() ? "V" : "") + (a->IsMatrix() ? "M" : "") +
                                (a->IsNDMatrix() ? "N" : "");
        EXPECT_EQ(got, c.holds);
    }
    EXPECT_EQ(Array({70000, 70000, 0})->GetNoElems(), 0u);
}

TEST(CMatrix, BuffersByClass) {
    const unsigned int sizes[] = {0, 8, 8, 8, 2, 0, 8, 4, 1, 1, 2, 2, 4, 4, 8, 8};
    for (int id = 0; id < 16; ++id) {
        SCOPED_TRACE("class " + std::to_string(id));
        const ArrayPtr a = Array({3, 2}, static_cast<mxClassID>(id), mxComplexityComplex);
        EXPECT_EQ(a->GetAllocSize(), 6 * sizes[id]);
        for (const void *data : {a->GetPr(), a->GetPi()}) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 64, 0u);
            EXPECT_EQ(Header(data), 1);
            EXPECT_EQ(Header<std::uint32_t>(data, -4), 6 * sizes[id]);
        }
        EXPECT_EQ(mxIsNumeric(a.get()), id < 1 || id > 3);
        if (id != mxClassCell && id != mxClassStruct) continue;
        for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<CMatrix **>(a->GetPr())[i], nullptr);
    }
    EXPECT_TRUE(Colon()->IsColon());
    EXPECT_FALSE(ArrayPtr(mxCreateString("::"))->IsColon());
    EXPECT_FALSE(Typed<std::uint16_t>(mxClassChar, {1, 1}, {0x013A})->IsColon());  // low byte ':'

    ArrayPtr a = Matrix(1, 2, {1, 2});
    a->ToComplex();
    const void *imag = a->GetPi();
    a->ToComplex();  // no effect on a complex array
    EXPECT_TRUE(a->GetPi() == imag && ImagValues(a.get()) == (ValueList{0, 0}));
    a->ToReal();
    EXPECT_TRUE(a->GetPi() == nullptr && Values(a.get()) == (ValueList{1, 2}));
}

TEST(CreateShareArray, SharesBuffersUntilOneSharerWrites) {
    ArrayPtr a = Counted({2, 3}, 1, mxComplexityComplex);
    a->SetFlag(0x0301, 0xFFFF);
    a->IncCounter();
    ArrayPtr b(a->CreateShareArray());
    EXPECT_TRUE(b->GetPr() == a->GetPr() && b->GetPi() == a->GetPi());
    EXPECT_TRUE(Header(a->GetPr()) == 2 && Header(a->GetPi()) == 2);
    EXPECT_NE(b->GetDimensions(), a->GetDimensions());
    EXPECT_TRUE(b->GetFlags() == 0x01u && b->GetCounter() == 0);  // low flag byte only

    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    b->GetOwnCopy();
    for (const void *data : {a->GetPr(), a->GetPi(), b->GetPr(), b->GetPi()}) {
        EXPECT_EQ(Header(data), 1);
    }
    mxGetPr(b.get())[0] = 100;
    mxGetPi(b.get())[3] = -1;
    EXPECT_EQ(Values(b.get()), (ValueList{100, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
    const void *own = b->GetPr();
    b->GetOwnCopy();  // an unshared array copies nothing
    EXPECT_EQ(b->GetPr(), own);

    ArrayPtr d(mxDuplicateArray(a.get()));
    EXPECT_NE(d->GetPr(), a->GetPr());
    EXPECT_TRUE(ImagValues(d.get()) == ImagValues(a.get()) && d->GetFlags() == 0x01u);
    // A full 16-bit count gives a copy instead of wrapping: see
    // concurrency_test.cpp, where sharers race past it.
}

TEST(CellOwnership, TheLastHolderDestroysTheElements) {
    const LiveBlocks blocks;
    {
        ArrayPtr cell = Cells(1, 2), share(cell->CreateShareArray());
        CMatrix *element = mxGetCell(share.get(), 1);
        cell.reset();  // one of two holders: no element is destroyed
        EXPECT_TRUE(mxGetCell(share.get(), 1) == element && mxGetScalar(element) == 2.0);
        // Copy on write: new element objects sharing the element data.
        cell.reset(share->CreateShareArray());
        share->GetOwnCopy();
        EXPECT_NE(mxGetCell(share.get(), 0), mxGetCell(cell.get(), 0));
        EXPECT_EQ(mxGetCell(share.get(), 0)->GetPr(), mxGetCell(cell.get(), 0)->GetPr());
        mxSetCell(share.get(), 1, mxGetCell(share.get(), 1));  // the same array: kept
        mxSetCell(share.get(), 0, Matrix(1, 1, {42}).release());
        share.reset();
        EXPECT_EQ(Slot(cell.get(), 0), 1.0);
        // Nested cells, one of them shared.
        mxSetCell(cell.get(), 0, Cells(1, 2).release());
        mxSetCell(cell.get(), 1, mxGetCell(cell.get(), 0)->CreateShareArray());
        ArrayPtr copy(mxDuplicateArray(cell.get()));
        EXPECT_EQ(Slot(mxGetCell(copy.get(), 1), 1), 2.0);
        // Growth: a shared buffer leaves the grown array holding shares, an
        // own buffer hands its element objects over.
        CMatrix *first = mxGetCell(cell.get(), 0);
        Extend(copy.get(), {2, 2});
        EXPECT_EQ(mxGetCell(copy.get(), 1), nullptr);
        Extend(cell.get(), {1, 3});
        EXPECT_TRUE(mxGetCell(cell.get(), 0) == first && mxGetCell(cell.get(), 2) == nullptr);
        for (unsigned int n = 4; n <= 40; ++n) Extend(cell.get(), {1, n});  // in place
        EXPECT_EQ(mxGetCell(cell.get(), 0), first);
        mxSetCell(cell.get(), 39, Matrix(1, 1, {2}).release());
    }
    EXPECT_EQ(blocks.Delta(), 0);
    // Struct slots own nothing.
    ArrayPtr element = Matrix(1, 1, {5});
    *static_cast<CMatrix **>(Array({1, 1}, mxClassStruct)->GetPr()) = element.get();
    EXPECT_EQ(Values(element.get()), (ValueList{5}));
}

TEST(Extend, KeepsEverySubscriptAndZeroFills) {
    const ValueList six = {1, 2, 3, 4, 5, 6}, four = {1, 2, 3, 4};
    // Complex, imaginary part the negated real part, so both move alike.
    const struct {
        DimList start;
        ValueList values;
        DimList request, grown;
        ValueList result;  // zeros after these
    } cases[] = {
        {{2, 2}, four, {3, 3}, {3, 3}, {1, 2, 0, 3, 4}},
        {{3, 2}, six, {1, 3}, {3, 3}, six},  // never shrinks
        {{2, 3}, six, {3, 1, 2, 1}, {3, 3, 2}, {1, 2, 0, 3, 4, 0, 5, 6}},
        {{2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8}, {2, 3}, {2, 3, 2}, {1, 2, 3, 4, 0, 0, 5, 6, 7, 8}},
        // A new dimension of length 0 would leave no room: it counts as 1.
        {{2, 2}, four, {3, 2, 0}, {3, 2}, {1, 2, 0, 3, 4}},
        {{2, 2}, four, {3, 2, 0, 2}, {3, 2, 1, 2}, {1, 2, 0, 3, 4}},
        {{0, 0}, {}, {1, 4}, {1, 4}, {}},
        // A length of 0 raised to 1 leaves no trailing 1 behind.
        {{2, 2, 0}, {}, {2, 2, 1}, {2, 2}, {}},
        {{1, 0, 3}, {}, {1, 2}, {1, 2, 3}, {}},
        // The same element count changes nothing at all.
        {{0, 3}, {}, {0, 5}, {0, 3}, {}},
        {{2, 3}, six, {2, 3, 1}, {2, 3}, six}};
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        ArrayPtr a = Filled(c.start, c.values);
        a->ToComplex();
        for (unsigned int k = 0; k < a->GetNoElems(); ++k) mxGetPi(a.get())[k] = -c.values[k];
        ArrayPtr sharer(a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        Extend(a.get(), c.request);
        ValueList result = c.result, negated;
        result.resize(a->GetNoElems());
        for (double x : result) negated.push_back(-x);
        EXPECT_TRUE(Dims(a.get()) == c.grown && ArraySnapshot::Of(sharer.get()) == before);
        EXPECT_TRUE(Values(a.get()) == result && ImagValues(a.get()) == negated);
    }
}

// Appending growth (the old elements keep their linear positions) of a
// buffer that has grown before leaves room to spare, so that a run of
// one-element appends copies O(n) elements; a one-off growth leaves none.
TEST(Extend, RepeatedAppendsGrowInPlace) {
    ArrayPtr a = Matrix(1, 1, {1});
    a->ToComplex();
    int moves = 0;
    ValueList re{1}, im{0};
    for (unsigned int n = 2; n <= 200; ++n) {
        // A sharer makes one growth copy, and keeps its data.
        const ArrayPtr b(n == 101 ? a->CreateShareArray() : nullptr);
        const void *before = a->GetPr();
        Extend(a.get(), {1, n});
        moves += a->GetPr() != before && !b;
        EXPECT_TRUE(mxGetPr(a.get())[n - 1] == 0.0 && mxGetPi(a.get())[n - 1] == 0.0) << n;
        re.push_back(mxGetPr(a.get())[n - 1] = n);
        im.push_back(mxGetPi(a.get())[n - 1] = -double(n));
        EXPECT_TRUE(!b || (a->GetPr() != b->GetPr() && Dims(b.get()) == (DimList{1, 100})));
    }
    EXPECT_LE(moves, 14);
    ASSERT_TRUE(Values(a.get()) == re && ImagValues(a.get()) == im);
    EXPECT_EQ(Header<std::uint32_t>(a->GetPr(), -4), 200 * sizeof(double));

    // (Past the small blocks, which have the capacity of their size class.)
    ArrayPtr once = Matrix(1, 1, {1});
    Extend(once.get(), {1, 2000});
    EXPECT_EQ(kiv::matrix::buffer::GetCapacity(once->GetPr()), 2000 * sizeof(double));

    // With room, only the new dimension list is allocated: its failure
    // changes nothing.
    const void *data = a->GetPr();
    const unsigned int more[] = {1, 201};
    EXPECT_EQ(FailurePoints([&] { a->Extend(2, more); }, {a.get()}), 1);
    EXPECT_EQ(a->GetPr(), data);
}

// Failures on the sole holder of the data, whose cell elements are handed
// over to the grown buffer; the allocation sweep's targets are all shared.
TEST(CMatrix, AllocationFailuresOfTheSoleHolder) {
    const unsigned int dims[] = {4, 5, 2};
    ArrayPtr a = Counted({2, 3}, 1, mxComplexityComplex), c = Cells(1, 2);
    ExpectFailurePoints({{"extend", InPlace([&] { a->Extend(3, dims); }), {a.get()}},
                         {"extend cell", InPlace([&] { c->Extend(3, dims); }), {c.get()}}});
}

// --- mx functions -------------------------------------------------------------

template <typename T>
double ScalarOf(mxClassID id, T value) {
    ArrayPtr a = Array({1, 1}, id);
    std::memcpy(a->GetPr(), &value, sizeof value);
    return mxGetScalar(a.get());
}

// An integer class, a uint64 (read as signed), single and a char code unit.
TEST(mxGetScalar, ReadsTheFirstElementInItsClassAndANullStringIsEmpty) {
    EXPECT_EQ(ScalarOf<std::int16_t>(mxClassInt16, -30000), -30000.0);
    EXPECT_EQ(ScalarOf<std::uint16_t>(mxClassChar, 0x20AC), 8364.0);
    EXPECT_EQ(ScalarOf<std::uint64_t>(mxClassUint64, 1ULL << 63), -0x1p63);
    EXPECT_EQ(ScalarOf<float>(mxClassSingle, 1.5f), 1.5);
    EXPECT_EQ(mxGetScalar(ArrayPtr(mxCreateCellMatrix(1, 1)).get()), 0.0);
    EXPECT_EQ(Dims(ArrayPtr(mxCreateString(nullptr)).get()), (DimList{1, 0}));
}

// Code units widen to wide characters; into bytes, a unit above 0xFF is '?'.
TEST(mxGetString, WidensUnsignedCharactersOrCopiesIntoABoundedBuffer) {
    ArrayPtr a = Chars({2, 2}, "a\xE9\x63\x64"), number = Matrix(1, 1, {65});
    const kiv::WString s = mxGetString(a.get());
    EXPECT_EQ(std::wstring(L"a\u00e9cd"), std::wstring(s.c_str(), s.GetLength()));
    EXPECT_TRUE(mxArrayToString(a.get()) == s && mxGetString(number.get()).GetLength() == 0);
    char buf[8] = "#######";
    EXPECT_EQ(mxGetString(a.get(), buf, 0), 0u);  // no room, not even for the NUL
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(mxGetString(a.get(), buf, 4), 3u);
    EXPECT_EQ(std::string(buf, 5), std::string("a\xE9\x63\0#", 5));
    EXPECT_EQ(mxGetString(a.get(), buf, 6), 4u);
    EXPECT_EQ(std::string(buf, 5), std::string("a\xE9\x63\x64\0", 5));
    const ArrayPtr wide = Typed<std::uint16_t>(mxClassChar, {1, 3}, {0x20AC, 0xD83D, 0x41});
    const kiv::WString w = mxGetString(wide.get());
    EXPECT_EQ(std::wstring(L"\x20AC\xD83D"
                           L"A"),
              std::wstring(w.c_str(), w.GetLength()));
    EXPECT_EQ(mxGetString(wide.get(), buf, 8), 3u);
    EXPECT_EQ(std::string(buf, 4), std::string("??A\0", 4));
    // mxCreateString takes each byte as the code unit of its value.
    EXPECT_EQ(Units(ArrayPtr(mxCreateString("a\xE9")).get()),
              (std::vector<std::uint16_t>{0x61, 0xE9}));
}

TEST(mxCalcSingleSubscript, HornerFormIgnoringTrailingZerosAndDestroyNullsThePointer) {
    ArrayPtr a = Array({3, 4, 5});
    const unsigned int s1230[] = {1, 2, 3, 0};
    EXPECT_EQ(mxCalcSingleSubscript(a.get(), 4, s1230), 1u + 2 * 3 + 3 * 12);
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
        {Expected::Throws<CIntegersCanOnlyBeCombinedException>(),
         "Integers can only be combined with integers of the same class, or scalars of class "
         "double."},
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
    static_assert(std::is_base_of_v<IMatrixException, COperationNotDefinedOnClassException>);
    static_assert(!std::is_base_of_v<IMatrixException, kiv::CExhaustedMemoryException>);
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
         {"cell to complex", [&] { c->ToComplex(); }, NotImplemented(), {c}},
         {"subscript beyond", [&] { mxCalcSingleSubscript(sub, 4, s0001); }, exceeds, {sub}},
         {"reshape to one length", reshape({6}), twoDims, {m.get()}},
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
