// tests/core/cmatrix_test.cpp: the array object: shape, buffers, flags, predicates,
// sharing and copy on write, cell ownership, Extend, Reshape and failed allocations.
#include <cstdint>
#include <cstring>
#include <string>

#include "core/buffer.h"
#include "support/matrix_test.h"

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

ArrayPtr ComplexMatrix() {
    const double re[] = {1, 2, 3, 4, 5, 6}, im[] = {6, 5, 4, 3, 2, 1};
    return ArrayPtr(mxDoubleMatrix(2, 3, re, im));
}

// A 1 x n cell array, slot i holding the 1x1 double i + 1.
ArrayPtr NumberedCell(unsigned int n) {
    ArrayPtr cell(mxCreateCellMatrix(1, n));
    for (unsigned int i = 0; i < n; ++i) {
        mxSetCell(cell.get(), int(i), Matrix(1, 1, {i + 1.0}).release());
    }
    return cell;
}

void Extend(CMatrix *a, const DimList &dims) { a->Extend(unsigned(dims.size()), dims.data()); }
void Reshape(CMatrix *a, const DimList &dims) { a->Reshape(unsigned(dims.size()), dims.data()); }

TEST(CMatrix, NormalisesTheShapeAndClassifiesIt) {
    // Letters: Empty, Scalar, Vector, Matrix, ND.
    const struct {
        DimList request, stored;
        mxClassID id;
        std::string holds;
    } cases[] = {
        {{}, {0, 0}, mxClassDouble, "E"},           {{0, 3}, {0, 3}, mxClassDouble, ""},
        {{1, 0}, {1, 0}, mxClassDouble, ""},        {{1, 1, 1}, {1, 1}, mxClassDouble, "SV"},
        {{1, 1}, {1, 1}, mxClassCell, ""},          {{1, 5}, {1, 5}, mxClassChar, "V"},
        {{5}, {5, 1}, mxClassUint8, "V"},           {{2, 3, 1, 1}, {2, 3}, mxClassDouble, "M"},
        {{2, 2, 2}, {2, 2, 2}, mxClassDouble, "N"}, {{3, 1, 2, 1}, {3, 1, 2}, mxClassDouble, "N"},
        {{2, 0, 3}, {2, 0, 3}, mxClassDouble, "N"}, {{1, 1, 4}, {1, 1, 4}, mxClassStruct, ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.request) + " class " + std::to_string(c.id));
        const ArrayPtr a = Array(c.request, c.id);
        EXPECT_EQ(Dims(a.get()), c.stored);
        unsigned int count = 1;
        for (unsigned int length : c.stored) count *= length;
        EXPECT_EQ(a->GetNoElems(), count);
        const std::string got = std::string(a->IsEmpty() ? "E" : "") + (a->IsScalar() ? "S" : "") +
                                (a->IsVector() ? "V" : "") + (a->IsMatrix() ? "M" : "") +
                                (a->IsNDMatrix() ? "N" : "");
        EXPECT_EQ(got, c.holds);
    }
    // Beyond 32 bits: the element count (also one that would wrap to a
    // small number), or the byte size of a count that fits.
    const LiveBlocks blocks;
    for (const DimList &dims : {DimList{65536, 65536, 1}, {65536, 65536, 2}, {2, 1u << 30}}) {
        EXPECT_THROW(Array(dims), kiv::CExhaustedMemoryException);
    }
    EXPECT_THROW(Array({1u << 31, 1}, mxClassInt16), kiv::CExhaustedMemoryException);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_EQ(Array({70000, 70000, 0})->GetNoElems(), 0u);
}

TEST(CMatrix, BuffersAndPredicatesByClass) {
    const unsigned int sizes[] = {0, 8, 8, 8, 1, 0, 8, 4, 1, 1, 2, 2, 4, 4, 8, 8};
    const struct {
        bool (CMatrix::*member)() const;
        bool (*mx)(const CMatrix *);
        int id;
#define MATRIX_IS(name) \
    { &CMatrix::Is##name, mxIs##name, mxClass##name }
    } predicates[] = {MATRIX_IS(Cell),
                      MATRIX_IS(Struct),
                      MATRIX_IS(Char),
                      MATRIX_IS(Sparse),
                      MATRIX_IS(Double),
                      MATRIX_IS(Single),
                      MATRIX_IS(Int8),
                      MATRIX_IS(Uint8),
                      MATRIX_IS(Int16),
                      MATRIX_IS(Uint16),
                      MATRIX_IS(Int32),
                      MATRIX_IS(Uint32),
                      {&CMatrix::IsInt64, nullptr, mxClassInt64},
                      {&CMatrix::IsUint64, nullptr, mxClassUint64}};
#undef MATRIX_IS
    for (int id = 0; id < 16; ++id) {
        SCOPED_TRACE("class " + std::to_string(id));
        const ArrayPtr a = Array({3, 2}, static_cast<mxClassID>(id), mxComplexityComplex);
        EXPECT_EQ(a->GetElementSize(), sizes[id]);
        EXPECT_EQ(a->GetAllocSize(), 6 * sizes[id]);
        for (const void *data : {a->GetPr(), a->GetPi()}) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 64, 0u);
            EXPECT_EQ(Header(data), 1);
            EXPECT_EQ(Header<std::uint32_t>(data, -4), 6 * sizes[id]);
        }
        for (const auto &p : predicates) {
            EXPECT_EQ((a.get()->*p.member)(), id == p.id) << p.id;
            EXPECT_TRUE(p.mx == nullptr || p.mx(a.get()) == (id == p.id)) << p.id;
        }
        EXPECT_EQ(a->IsNumeric(), id < 1 || id > 3);
        EXPECT_EQ(mxIsNumeric(a.get()), id < 1 || id > 3);
        if (id != mxClassCell && id != mxClassStruct) continue;
        for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<CMatrix **>(a->GetPr())[i], nullptr);
    }
    EXPECT_TRUE(Array({0, 0})->IsInitialized());  // even without elements
    EXPECT_TRUE(ArrayPtr(mxCreateColonIndex())->IsColon());
    EXPECT_FALSE(ArrayPtr(mxCreateString("::"))->IsColon());
    EXPECT_FALSE(ArrayPtr(mxCreateString(";"))->IsColon());
    EXPECT_FALSE(Matrix(1, 1, {58.0})->IsColon());  // ':' as a double

    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4});
    a->ToComplex();
    EXPECT_EQ(ImagValues(a.get()), (std::vector<double>{0, 0, 0, 0}));
    const void *imag = a->GetPi();
    a->ToComplex();  // no effect on a complex array
    EXPECT_EQ(a->GetPi(), imag);
    a->ToReal();
    EXPECT_EQ(a->GetComplexity(), mxComplexityReal);
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2, 3, 4}));
}

TEST(CMatrix, FlagsAndCounter) {
    const unsigned int dims[] = {1, 1};
    ArrayPtr a(new CMatrix(2, dims, mxClassDouble, 0x0101, mxComplexityReal));
    EXPECT_TRUE(a->IsLogical());
    a->SetFlag(0x4, 0x1);
    a->SetFlag(0x3, 0x0);  // bits outside the mask are set as well
    EXPECT_EQ(a->GetFlags(), 0x0107u);
    a->ClearLogical();
    EXPECT_EQ(a->GetFlags(), 0x0106u);
    EXPECT_EQ(a->IncCounter(), 1);
    EXPECT_EQ(a->DecCounter(), 0);
    EXPECT_EQ(a->DecCounter(), 0xFFFF);  // 16-bit wrap
}

// --- Sharing, copy on write and cells ------------------------------------------------

TEST(CreateShareArray, SharesBuffersUntilOneSharerWrites) {
    ArrayPtr a = ComplexMatrix();
    a->SetFlag(0x0301, 0xFFFF);
    a->IncCounter();
    ArrayPtr b(a->CreateShareArray());
    EXPECT_EQ(b->GetPr(), a->GetPr());
    EXPECT_EQ(b->GetPi(), a->GetPi());
    EXPECT_EQ(Header(a->GetPr()), 2);
    EXPECT_EQ(Header(a->GetPi()), 2);
    EXPECT_EQ(Dims(b.get()), (DimList{2, 3}));
    EXPECT_NE(b->GetDimensions(), a->GetDimensions());
    EXPECT_EQ(b->GetFlags(), 0x01u);  // low flag byte only
    EXPECT_EQ(b->GetCounter(), 0);

    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    b->GetOwnCopy();
    for (const void *data : {a->GetPr(), a->GetPi(), b->GetPr(), b->GetPi()}) {
        EXPECT_EQ(Header(data), 1);
    }
    mxGetPr(b.get())[0] = 100;
    mxGetPi(b.get())[3] = -1;
    EXPECT_EQ(Values(b.get()), (std::vector<double>{100, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
    const void *own = b->GetPr();
    b->GetOwnCopy();  // an unshared array copies nothing
    EXPECT_EQ(b->GetPr(), own);

    ArrayPtr d(mxDuplicateArray(a.get()));
    EXPECT_NE(d->GetPr(), a->GetPr());
    EXPECT_EQ(Header(a->GetPr()), 1);
    EXPECT_EQ(ImagValues(d.get()), ImagValues(a.get()));
    EXPECT_EQ(d->GetFlags(), 0x01u);
}

TEST(CreateShareArray, FullCountGivesACopyInsteadOfWrapping) {
    ArrayPtr a = Matrix(1, 2, {1, 2});
    std::vector<ArrayPtr> holders;
    for (int i = 1; i < 0xFFFF; ++i) holders.emplace_back(a->CreateShareArray());
    ASSERT_EQ(Header(a->GetPr()), 0xFFFF);
    ArrayPtr extra(a->CreateShareArray());
    EXPECT_NE(extra->GetPr(), a->GetPr());
    EXPECT_EQ(Header(a->GetPr()), 0xFFFF);
    EXPECT_EQ(Header(extra->GetPr()), 1);
    EXPECT_EQ(Values(extra.get()), (std::vector<double>{1, 2}));
    holders.clear();
    EXPECT_EQ(Header(a->GetPr()), 1);
}

TEST(CellOwnership, TheLastHolderDestroysTheElements) {
    const LiveBlocks blocks;
    {
        ArrayPtr cell = NumberedCell(2), share(cell->CreateShareArray());
        CMatrix *element = mxGetCell(share.get(), 1);
        cell.reset();  // one of two holders: no element is destroyed
        EXPECT_EQ(mxGetCell(share.get(), 1), element);
        EXPECT_EQ(mxGetScalar(element), 2.0);
        // Copy on write: new element objects sharing the element data.
        cell.reset(share->CreateShareArray());
        share->GetOwnCopy();
        EXPECT_NE(mxGetCell(share.get(), 0), mxGetCell(cell.get(), 0));
        EXPECT_EQ(mxGetCell(share.get(), 0)->GetPr(), mxGetCell(cell.get(), 0)->GetPr());
        mxSetCell(share.get(), 0, Matrix(1, 1, {42}).release());
        share.reset();
        EXPECT_EQ(mxGetScalar(mxGetCell(cell.get(), 0)), 1.0);
        // Nested cells, one of them shared.
        mxSetCell(cell.get(), 0, NumberedCell(2).release());
        mxSetCell(cell.get(), 1, mxGetCell(cell.get(), 0)->CreateShareArray());
        ArrayPtr copy(mxDuplicateArray(cell.get()));
        EXPECT_EQ(mxGetScalar(mxGetCell(mxGetCell(copy.get(), 1), 1)), 2.0);
    }
    EXPECT_EQ(blocks.Delta(), 0);
    // Struct slots own nothing.
    ArrayPtr element = Matrix(1, 1, {5});
    *static_cast<CMatrix **>(Array({1, 1}, mxClassStruct)->GetPr()) = element.get();
    EXPECT_EQ(Values(element.get()), (std::vector<double>{5}));
}

// --- Extend and Reshape ------------------------------------------------------------

TEST(Extend, KeepsEverySubscriptAndZeroFills) {
    using V = std::vector<double>;
    const V six = {1, 2, 3, 4, 5, 6};
    // Complex, imaginary part the negated real part, so both move alike.
    const struct {
        DimList start;
        V values;
        DimList request, grown;
        V result;
    } cases[] = {
        {{2, 2}, {11, 21, 12, 22}, {3, 3}, {3, 3}, {11, 21, 0, 12, 22, 0, 0, 0, 0}},
        {{3, 2}, six, {1, 3}, {3, 3}, {1, 2, 3, 4, 5, 6, 0, 0, 0}},  // never shrinks
        {{2, 3},
         six,
         {3, 1, 2, 1, 1},
         {3, 3, 2},
         {1, 2, 0, 3, 4, 0, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {{2, 2, 2},
         {1, 2, 3, 4, 5, 6, 7, 8},
         {2, 3},
         {2, 3, 2},  // moves whole pages
         {1, 2, 3, 4, 0, 0, 5, 6, 7, 8, 0, 0}},
        // A new dimension of length 0 would leave no room: it counts as 1.
        {{2, 2}, {1, 2, 3, 4}, {3, 2, 0}, {3, 2}, {1, 2, 0, 3, 4, 0}},
        {{2, 2}, {1, 2, 3, 4}, {3, 2, 0, 2}, {3, 2, 1, 2}, {1, 2, 0, 3, 4, 0, 0, 0, 0, 0, 0, 0}},
        {{0, 0}, {}, {1, 4}, {1, 4}, {0, 0, 0, 0}},
        // The same element count changes nothing at all.
        {{0, 3}, {}, {0, 5}, {0, 3}, {}},
        {{2, 3}, six, {2, 3, 1}, {2, 3}, six},
        {{2, 3}, six, {1, 1}, {2, 3}, six},
        {{2, 3}, six, {}, {2, 3}, six},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.start) + " to " +
                     ::testing::PrintToString(c.request));
        ArrayPtr a = Filled(c.start, c.values);
        a->ToComplex();
        for (unsigned int k = 0; k < a->GetNoElems(); ++k) mxGetPi(a.get())[k] = -c.values[k];
        const ArraySnapshot before = ArraySnapshot::Of(a.get());
        Extend(a.get(), c.request);
        EXPECT_EQ(Dims(a.get()), c.grown);
        EXPECT_EQ(Values(a.get()), c.result);
        V negated;
        for (double x : c.result) negated.push_back(-x);
        EXPECT_EQ(ImagValues(a.get()), negated);
        EXPECT_TRUE(c.grown != c.start || ArraySnapshot::Of(a.get()) == before);
    }
}

TEST(Extend, LeavesSharersAndTheirCellElementsAlone) {
    ArrayPtr a = Matrix(1, 2, {1, 2}), b(a->CreateShareArray());
    Extend(b.get(), {2, 2});
    EXPECT_EQ(Dims(a.get()), (DimList{1, 2}));
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2}));
    EXPECT_EQ(Values(b.get()), (std::vector<double>{1, 0, 2, 0}));

    const LiveBlocks blocks;
    {
        ArrayPtr cell = NumberedCell(2), shared(cell->CreateShareArray());
        CMatrix *first = mxGetCell(cell.get(), 0);
        Extend(shared.get(), {2, 2});  // shared buffer: the grown array holds shares
        EXPECT_EQ(mxGetCell(shared.get(), 1), nullptr);
        EXPECT_EQ(mxGetScalar(mxGetCell(shared.get(), 2)), 2.0);
        EXPECT_NE(mxGetCell(shared.get(), 0), first);
        Extend(cell.get(), {1, 3});  // own buffer: the element objects move over
        EXPECT_EQ(mxGetCell(cell.get(), 0), first);
        EXPECT_EQ(mxGetCell(cell.get(), 2), nullptr);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

// Appending growth (the old elements keep their linear positions) of a
// buffer that has grown before leaves room to spare, so that a run of
// one-element appends copies O(n) elements; a one-off growth leaves none.
TEST(Extend, RepeatedAppendsGrowInPlace) {
    ArrayPtr a = Matrix(1, 1, {1});
    a->ToComplex();
    int moves = 0, nonZero = 0;
    for (unsigned int n = 2; n <= 200; ++n) {
        const void *before = a->GetPr();
        Extend(a.get(), {1, n});
        moves += a->GetPr() != before;
        nonZero += mxGetPr(a.get())[n - 1] != 0.0 || mxGetPi(a.get())[n - 1] != 0.0;
        mxGetPr(a.get())[n - 1] = n;
        mxGetPi(a.get())[n - 1] = -double(n);
    }
    EXPECT_LE(moves, 14);
    EXPECT_EQ(nonZero, 0);
    std::vector<double> re, im;
    for (unsigned int k = 1; k <= 200; ++k) {
        re.push_back(k);
        im.push_back(k == 1 ? 0.0 : -double(k));
    }
    ASSERT_EQ(Values(a.get()), re);
    ASSERT_EQ(ImagValues(a.get()), im);
    EXPECT_EQ(Header<std::uint32_t>(a->GetPr(), -4), 200 * sizeof(double));

    // Columns append too.
    ArrayPtr m = Matrix(2, 1, {1, 2});
    for (unsigned int n = 2; n <= 4; ++n) Extend(m.get(), {2, n});
    EXPECT_EQ(Values(m.get()), (std::vector<double>{1, 2, 0, 0, 0, 0, 0, 0}));
    // A new row moves every column: a copy, still correct.
    Extend(m.get(), {3, 4});
    EXPECT_EQ(Values(m.get()), (std::vector<double>{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    ArrayPtr once = Matrix(1, 1, {1});
    Extend(once.get(), {1, 1000});
    EXPECT_EQ(kiv::matrix::buffer::GetCapacity(once->GetPr()), 1000 * sizeof(double));
}

TEST(Extend, InPlaceGrowthRespectsSharersCellsAndFailures) {
    ArrayPtr a = Matrix(1, 1, {1});
    for (unsigned int n = 2; n <= 3; ++n) Extend(a.get(), {1, n});  // now has room
    ArrayPtr b(a->CreateShareArray());
    Extend(a.get(), {1, 4});
    EXPECT_EQ(Dims(b.get()), (DimList{1, 3}));
    EXPECT_NE(a->GetPr(), b->GetPr());
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 0, 0, 0}));

    const LiveBlocks blocks;
    {
        ArrayPtr cell = NumberedCell(1);
        CMatrix *first = mxGetCell(cell.get(), 0);
        for (unsigned int n = 2; n <= 40; ++n) Extend(cell.get(), {1, n});
        EXPECT_EQ(mxGetCell(cell.get(), 0), first);
        for (int k = 1; k < 40; ++k) EXPECT_EQ(mxGetCell(cell.get(), k), nullptr);
        mxSetCell(cell.get(), 39, Matrix(1, 1, {2}).release());
    }
    EXPECT_EQ(blocks.Delta(), 0);

    // Only the new dimension list is allocated; its failure changes nothing.
    ArrayPtr c = Matrix(1, 1, {1});
    for (unsigned int n = 2; n <= 3; ++n) Extend(c.get(), {1, n});
    const void *data = c->GetPr();
    const unsigned int four[] = {1, 4};
    EXPECT_EQ(FailurePoints([&] { c->Extend(2, four); }, {c.get()}), 1);
    EXPECT_EQ(c->GetPr(), data);
}

TEST(Reshape, KeepsTheDataAndNormalisesTheShape) {
    ArrayPtr a = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const void *data = a->GetPr();
    for (const auto &[request, stored] : {std::pair<DimList, DimList>{{3, 2}, {3, 2}},
                                          {{3, 2, 1}, {3, 2}},
                                          {{1, 1, 6, 1}, {1, 1, 6}}}) {
        Reshape(a.get(), request);
        EXPECT_EQ(Dims(a.get()), stored);
    }
    EXPECT_EQ(a->GetPr(), data);
    EXPECT_EQ(Values(a.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

TEST(Reshape, BadShapesLeaveTheArray) {
    ArrayPtr a = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const wchar_t memory[] = L"Out of memory";
    for (const DimList &dims : {DimList{6}, DimList{}}) {
        EXPECT_CLEAN_THROW(Reshape(a.get(), dims), CFunctionErrorException,
                           L"An array must have at least two dimensions", a.get());
    }
    EXPECT_CLEAN_THROW(Reshape(a.get(), {4, 2}), CFunctionErrorException,
                       L"The number of elements can't change", a.get());
    // A product that wraps to 6 in 32 bits must not pass for 6 elements.
    EXPECT_CLEAN_THROW(Reshape(a.get(), {2, 2147483651u}), kiv::CExhaustedMemoryException, memory,
                       a.get());
    for (const DimList &dims : {DimList{65536, 65536}, DimList{2, 1u << 30}}) {
        EXPECT_CLEAN_THROW(Extend(a.get(), dims), kiv::CExhaustedMemoryException, memory, a.get());
    }
}

TEST(AllocationFailure, ConstructorsSharingCopyingAndGrowing) {
    const unsigned int dims[] = {4, 5, 2};
    for (mxClassID id : {mxClassDouble, mxClassCell, mxClassChar}) {
        // Object, dimension list, real and imaginary buffers.
        const auto make = [&] { return mxCreateNumericArray(3, dims, id, mxComplexityComplex); };
        EXPECT_GE(FailurePoints(make, {}), 4);
    }
    EXPECT_GT(FailurePoints([] { return mxCreateString("text"); }, {}), 0);
    EXPECT_GT(FailurePoints([] { ComplexMatrix(); }, {}), 0);

    for (auto make : {ComplexMatrix, +[] { return NumberedCell(2); }}) {
        ArrayPtr a = make(), b(a->CreateShareArray()), c(a->CreateShareArray());
        EXPECT_GT(FailurePoints([&] { return a->CreateShareArray(); }, {a.get()}), 0);
        EXPECT_GT(FailurePoints([&] { return a->CreateDuplicateArray(); }, {a.get()}), 0);
        // On sharers, whose cell elements are shared, then on the sole
        // holder, whose elements are handed over.
        EXPECT_GT(FailurePoints([&] { b->GetOwnCopy(); }, {a.get(), b.get(), c.get()}), 0);
        EXPECT_GT(FailurePoints([&] { c->Extend(3, dims); }, {a.get(), c.get()}), 0);
        EXPECT_GT(FailurePoints([&] { a->Extend(3, dims); }, {a.get()}), 0);
    }
    ArrayPtr r = Matrix(2, 2, {1, 2, 3, 4});
    EXPECT_GT(FailurePoints([&] { r->ToComplex(); }, {r.get()}), 0);
}

}  // namespace
