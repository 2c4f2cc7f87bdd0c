// tests/index/indexassign_test.cpp: tests of Indexassign, A(I) = B and A(I,J) = B.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Dims;
using matrix_test::ImagValues;
using matrix_test::LiveBlocks;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
using ValueList = std::vector<double>;

const wchar_t kAIB[] =
    L"In an assignment  A(I) = B, the number of elements in B and I must be the same";
const wchar_t kAColonB[] =
    L"In an assignment  A(:) = B, the number of elements in A and B must be the same";
const wchar_t kAMMB[] =
    L"In an assignment  A(matrix,matrix) = B, the number of rows in B and the number of "
    L"elements in the A row index matrix must be the same";
const wchar_t kCantResize[] =
    L"In an assignment  A(matrix) = B, a vector A can't be resized to a matrix";
const wchar_t kMoreDims[] = L"Assignment has more rhs dimensions than subscripts";
const wchar_t kNegative[] = L"Index into matrix is negative or zero";
const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";

const double kNaN = std::numeric_limits<double>::quiet_NaN();

ArrayPtr Row(std::vector<double> v) {
    ArrayPtr a(mxCreateDoubleMatrix(1, static_cast<unsigned int>(v.size()), mxComplexityReal));
    std::copy(v.begin(), v.end(), mxGetPr(a.get()));
    return a;
}
ArrayPtr Col(std::vector<double> v) {
    ArrayPtr a = Row(v);
    a->Reshape(2, DimList{static_cast<unsigned int>(v.size()), 1}.data());
    return a;
}
ArrayPtr Mask(std::vector<double> v) {
    ArrayPtr a = Row(std::move(v));
    a->SetLogical();
    return a;
}
ArrayPtr Colon() { return ArrayPtr(mxCreateColonIndex()); }
ArrayPtr Empty00() { return Array({0, 0}); }
// A double array of the given shape holding 1, 2, 3, ... in column-major order.
ArrayPtr Counting(DimList dims) {
    ArrayPtr a = Array(dims);
    for (unsigned int k = 0; k < a->GetNoElems(); ++k) mxGetPr(a.get())[k] = k + 1;
    return a;
}
ArrayPtr Complex(unsigned int m, unsigned int n, ValueList re, ValueList im) {
    ArrayPtr a = Array({m, n}, mxClassDouble, mxComplexityComplex);
    std::copy(re.begin(), re.end(), mxGetPr(a.get()));
    std::copy(im.begin(), im.end(), mxGetPi(a.get()));
    return a;
}
template <typename T>
ArrayPtr Typed(mxClassID id, unsigned int m, unsigned int n, std::vector<T> v) {
    ArrayPtr a = Array({m, n}, id);
    std::copy(v.begin(), v.end(), static_cast<T *>(a->GetPr()));
    return a;
}
template <typename T>
std::vector<T> TypedValues(const CMatrix *a) {
    const T *p = static_cast<const T *>(a->GetPr());
    return std::vector<T>(p, p + a->GetNoElems());
}
// A 1 x n cell array whose slot k holds the scalar 10 + k.
ArrayPtr Cells(unsigned int n) {
    ArrayPtr c(mxCreateCellMatrix(1, n));
    for (unsigned int k = 0; k < n; ++k) mxSetCell(c.get(), static_cast<int>(k), Scalar(10 + k));
    return c;
}
double CellValue(const CMatrix *c, unsigned int k) { return mxGetScalar(mxGetCell(c, k)); }

// Indexassign on an owned target, which keeps ownership whatever happens
// (A(:) = B replaces the array).
template <typename... Arguments>
void Assign(ArrayPtr &a, Arguments... arguments) {
    CMatrix *raw = a.release();
    try {
        Indexassign(raw, arguments...);
    } catch (...) {
        a.reset(raw);
        throw;
    }
    a.reset(raw);
}

// --- One subscript: shapes and values -------------------------------------------

TEST(Indexassign, LinearGrowthAndWrites) {
    struct Case {
        const char *name;
        std::function<ArrayPtr()> a, i, b;
        DimList dims;
        ValueList values;
    };
    const std::vector<Case> cases = {
        {"row grows as a row", [] { return Row({1, 2, 3}); }, [] { return Row({5}); },
         [] { return Row({7}); }, {1, 5}, {1, 2, 3, 0, 7}},
        {"column grows as a column", [] { return Col({1, 2, 3}); }, [] { return Row({5}); },
         [] { return Row({7}); }, {5, 1}, {1, 2, 3, 0, 7}},
        {"scalar grows as a row", [] { return Row({4}); }, [] { return Row({3}); },
         [] { return Row({9}); }, {1, 3}, {4, 0, 9}},
        {"0x0 grows as a row", Empty00, [] { return Row({3}); }, [] { return Row({1}); },
         {1, 3}, {0, 0, 1}},
        {"1x0 grows as a row", [] { return Array({1, 0}); }, [] { return Row({2}); },
         [] { return Row({1}); }, {1, 2}, {0, 1}},
        {"0x3 takes one row", [] { return Array({0, 3}); }, [] { return Row({2}); },
         [] { return Row({5}); }, {1, 3}, {0, 5, 0}},
        {"inside a matrix, in I's order", [] { return Counting({2, 2}); },
         [] { return Row({4, 1}); }, [] { return Row({8, 9}); }, {2, 2}, {9, 2, 3, 8}},
        {"N-d target addressed linearly", [] { return Counting({2, 2, 2}); },
         [] { return Row({8}); }, [] { return Row({0}); }, {2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 0}},
        {"scalar broadcast", [] { return Counting({1, 4}); }, [] { return Row({1, 3, 6}); },
         [] { return Row({-1}); }, {1, 6}, {-1, 2, -1, 4, 0, -1}},
        {"repeated position: last write wins", [] { return Counting({1, 3}); },
         [] { return Row({2, 2}); }, [] { return Row({5, 6}); }, {1, 3}, {1, 6, 3}},
        {"indices round half up", [] { return Counting({1, 3}); },
         [] { return Row({0.5, 2.5}); }, [] { return Row({7, 8}); }, {1, 3}, {7, 2, 8}},
        {"mask by true elements", [] { return Counting({1, 4}); },
         [] { return Mask({0, kNaN, -0.0, 2}); }, [] { return Row({7, 8}); }, {1, 4},
         {1, 7, 3, 8}},
        {"mask longer than the target", [] { return Counting({1, 3}); },
         [] { return Mask({1, 0, 0, 0, 1}); }, [] { return Row({7, 8}); }, {1, 5},
         {7, 2, 3, 0, 8}},
        {"uint32 index", [] { return Counting({1, 3}); },
         [] { return Typed<std::uint32_t>(mxClassUint32, 1, 2, {3, 4}); },
         [] { return Row({7, 8}); }, {1, 4}, {1, 2, 7, 8}},
        {"empty I and a scalar: nothing", [] { return Counting({1, 3}); },
         [] { return Array({0, 0}, mxClassInt32); }, [] { return Row({7}); }, {1, 3}, {1, 2, 3}},
        {"all-false mask and a scalar: nothing", [] { return Counting({1, 3}); },
         [] { return Mask({0, 0}); }, [] { return Row({7}); }, {1, 3}, {1, 2, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ArrayPtr a = c.a(), i = c.i(), b = c.b();
        Assign(a, i.get(), b.get());
        EXPECT_EQ(Dims(a.get()), c.dims);
        EXPECT_EQ(Values(a.get()), c.values);
        EXPECT_FALSE(a->IsComplex());
    }
}

TEST(Indexassign, ElementsMovedAsStoredInEveryWidth) {
    ArrayPtr a8 = Typed<std::int8_t>(mxClassInt8, 1, 2, {1, 2});
    ArrayPtr b8 = Typed<std::int8_t>(mxClassInt8, 1, 2, {-5, 6});
    Assign(a8, Row({4, 1}).get(), b8.get());
    EXPECT_EQ(TypedValues<std::int8_t>(a8.get()), (std::vector<std::int8_t>{6, 2, 0, -5}));

    ArrayPtr a16 = Typed<std::uint16_t>(mxClassUint16, 2, 2, {1, 2, 3, 4});
    ArrayPtr nine = Typed<std::uint16_t>(mxClassUint16, 1, 1, {9});
    Assign(a16, Colon().get(), Row({2}).get(), nine.get());
    EXPECT_EQ(TypedValues<std::uint16_t>(a16.get()), (std::vector<std::uint16_t>{1, 2, 9, 9}));

    ArrayPtr a32 = Typed<float>(mxClassSingle, 1, 2, {1.5f, 2.5f});
    Assign(a32, Row({2}).get(), Typed<float>(mxClassSingle, 1, 1, {-1.f}).get());
    EXPECT_EQ(TypedValues<float>(a32.get()), (std::vector<float>{1.5f, -1.f}));

    ArrayPtr chars(mxCreateString("abc"));
    ArrayPtr z(mxCreateString("z"));
    Assign(chars, Row({2, 4}).get(), z.get());
    EXPECT_EQ(Dims(chars.get()), (DimList{1, 4}));
    EXPECT_EQ(TypedValues<char>(chars.get()), (std::vector<char>{'a', 'z', 'c', 'z'}));
}

// --- Complex targets and sources --------------------------------------------------

TEST(Indexassign, ComplexTargetsAndSources) {
    // A complex B makes a real A complex, zero elsewhere.
    ArrayPtr a = Counting({1, 3});
    Assign(a, Row({2}).get(), Complex(1, 1, {7}, {-1}).get());
    EXPECT_EQ(Values(a.get()), (ValueList{1, 7, 3}));
    EXPECT_EQ(ImagValues(a.get()), (ValueList{0, -1, 0}));

    // A real B leaves the imaginary parts of the addressed elements.
    ArrayPtr c = Complex(1, 3, {1, 2, 3}, {4, 5, 6});
    Assign(c, Row({1, 5}).get(), Row({9}).get());
    EXPECT_EQ(Values(c.get()), (ValueList{9, 2, 3, 0, 9}));
    EXPECT_EQ(ImagValues(c.get()), (ValueList{4, 5, 6, 0, 0}));

    // Complex into complex, block form.
    ArrayPtr d = Complex(2, 2, {1, 2, 3, 4}, {1, 1, 1, 1});
    Assign(d, Colon().get(), Row({2}).get(), Complex(2, 1, {7, 8}, {-7, -8}).get());
    EXPECT_EQ(Values(d.get()), (ValueList{1, 2, 7, 8}));
    EXPECT_EQ(ImagValues(d.get()), (ValueList{1, 1, -7, -8}));
}

// --- Copy on write and aliasing ------------------------------------------------------

TEST(Indexassign, SharerOfTargetUnchanged) {
    const std::vector<std::function<void(ArrayPtr &)>> assignments = {
        [](ArrayPtr &a) { Assign(a, Row({2}).get(), Row({9}).get()); },
        [](ArrayPtr &a) { Assign(a, Row({9}).get(), Row({9}).get()); },
        [](ArrayPtr &a) { Assign(a, Row({1}).get(), Row({2}).get(), Row({9}).get()); },
        [](ArrayPtr &a) { Assign(a, Row({3}).get(), Row({3}).get(), Row({9}).get()); },
        [](ArrayPtr &a) { Assign(a, Colon().get(), Row({9}).get()); },
        [](ArrayPtr &a) { Assign(a, Colon().get(), Colon().get(), Complex(1, 1, {9}, {1}).get()); },
        [](ArrayPtr &a) { Assign(a, Row({1}).get(), Complex(1, 1, {9}, {1}).get()); },
    };
    for (std::size_t k = 0; k < assignments.size(); ++k) {
        SCOPED_TRACE(k);
        ArrayPtr a = Complex(1, 4, {1, 2, 3, 4}, {5, 6, 7, 8});
        ArrayPtr sharer(a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        assignments[k](a);
        EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
        EXPECT_NE(a->GetPr(), sharer->GetPr());
        const ValueList values = Values(a.get());
        EXPECT_NE(std::find(values.begin(), values.end(), 9.0), values.end());
    }
}

TEST(Indexassign, RightHandSideIsTheTargetAsItWas) {
    ArrayPtr a = Counting({1, 3});
    CMatrix *raw = a.get();
    Assign(a, Row({3, 2, 1}).get(), raw);
    EXPECT_EQ(Values(a.get()), (ValueList{3, 2, 1}));

    ArrayPtr m = Counting({2, 2});
    raw = m.get();
    Assign(m, Row({2, 1}).get(), Colon().get(), raw);  // swaps the rows
    EXPECT_EQ(Values(m.get()), (ValueList{2, 1, 4, 3}));

    raw = m.get();
    Assign(m, Colon().get(), raw);
    EXPECT_EQ(m.get(), raw);
    EXPECT_EQ(Values(m.get()), (ValueList{2, 1, 4, 3}));
}

// --- One subscript: failures --------------------------------------------------------

// Expects `run` to throw with the target left exactly as it was and nothing
// leaked.
#define EXPECT_REFUSED(a, statement, Class, message)                  \
    do {                                                              \
        const ArraySnapshot before_ = ArraySnapshot::Of((a).get());   \
        const CMatrix *object_ = (a).get();                           \
        const LiveBlocks blocks_;                                     \
        EXPECT_THROW_MSG(statement, Class, message);                  \
        EXPECT_EQ((a).get(), object_);                                \
        EXPECT_TRUE(ArraySnapshot::Of((a).get()) == before_);         \
        EXPECT_EQ(blocks_.Delta(), 0);                                \
    } while (0)

TEST(Indexassign, BadIndicesRefusedBeforeTargetChanges) {
    // Each would grow the target or write it if taken as its wrapped position.
    const std::vector<std::function<ArrayPtr()>> negative = {
        [] { return Row({0}); },
        [] { return Row({-3}); },
        [] { return Row({0.49}); },
        [] { return Row({-0.5}); },
        [] { return Row({kNaN}); },
        [] { return Row({9, 2, 0}); },
        [] { return Row({0, 4294967296.0}); },
        [] { return Typed<std::uint32_t>(mxClassUint32, 1, 2, {7, 0}); },
    };
    for (std::size_t k = 0; k < negative.size(); ++k) {
        SCOPED_TRACE(k);
        ArrayPtr a = Counting({1, 3}), i = negative[k]();
        ArrayPtr sharer(a->CreateShareArray());
        EXPECT_REFUSED(a, Assign(a, i.get(), Row({5}).get()),
                       CIndexIntoMatrixNegativeOrZeroException, kNegative);
        // Before the class and count tests too.
        EXPECT_REFUSED(a, Assign(a, i.get(), Array({1, 7}, mxClassInt8).get()),
                       CIndexIntoMatrixNegativeOrZeroException, kNegative);
        // And in either subscript of the block form.
        EXPECT_REFUSED(a, Assign(a, i.get(), Row({1}).get(), Row({5}).get()),
                       CIndexIntoMatrixNegativeOrZeroException, kNegative);
        EXPECT_REFUSED(a, Assign(a, Colon().get(), i.get(), Row({5}).get()),
                       CIndexIntoMatrixNegativeOrZeroException, kNegative);
    }

    // 2^32 - 1 passes the index test and fails the growth: the byte size does
    // not fit in 32 bits.
    const std::vector<double> huge = {4294967296.0, 4294967295.5, 1e300,
                                      std::numeric_limits<double>::infinity(), 4294967295.0};
    for (double x : huge) {
        SCOPED_TRACE(x);
        ArrayPtr a = Counting({1, 3}), i = Row({2, x});
        ArrayPtr sharer(a->CreateShareArray());
        const kiv::WString message = kiv::CExhaustedMemoryException().GetMessage();
        EXPECT_REFUSED(a, Assign(a, i.get(), Row({5}).get()), kiv::CExhaustedMemoryException,
                       message);
        EXPECT_REFUSED(a, Assign(a, Row({1}).get(), i.get(), Row({5}).get()),
                       kiv::CExhaustedMemoryException, message);
    }
    // The first offender decides.
    ArrayPtr a = Counting({1, 3});
    EXPECT_REFUSED(a, Assign(a, Row({4294967296.0, 0}).get(), Row({5}).get()),
                   kiv::CExhaustedMemoryException, kiv::CExhaustedMemoryException().GetMessage());
}

TEST(Indexassign, SubscriptClassesOtherThanDoubleAndUint32Refused) {
    const std::vector<std::function<ArrayPtr()>> subscripts = {
        [] { return Typed<std::int32_t>(mxClassInt32, 1, 1, {1}); },
        [] { return Typed<float>(mxClassSingle, 1, 1, {1}); },
        [] {
            ArrayPtr m = Typed<std::int32_t>(mxClassInt32, 1, 1, {1});
            m->SetLogical();
            return m;
        },
        [] { return ArrayPtr(mxCreateString("a")); },
    };
    for (std::size_t k = 0; k < subscripts.size(); ++k) {
        SCOPED_TRACE(k);
        ArrayPtr a = Counting({2, 2}), i = subscripts[k]();
        EXPECT_REFUSED(a, Assign(a, i.get(), Row({5}).get()), CNotImplementedException,
                       kNotImplemented);
        EXPECT_REFUSED(a, Assign(a, Row({1}).get(), i.get(), Row({5}).get()),
                       CNotImplementedException, kNotImplemented);
    }
}

TEST(Indexassign, LinearFailuresInOrder) {
    ArrayPtr a = Counting({1, 3});
    // Empty I with more than one element in B.
    EXPECT_REFUSED(a, Assign(a, Empty00().get(), Row({1, 2}).get()),
                   CInAssignAIBElementsMustBeSameException, kAIB);
    // Count mismatch without growth, and the count test before the class test.
    EXPECT_REFUSED(a, Assign(a, Row({1, 2}).get(), Row({5, 6, 7}).get()),
                   CInAssignAIBElementsMustBeSameException, kAIB);
    EXPECT_REFUSED(a, Assign(a, Mask({1, 1}).get(), Array({1, 3}, mxClassInt32).get()),
                   CInAssignAIBElementsMustBeSameException, kAIB);
    // A cell 1x1 is not a scalar, so it is not broadcast.
    ArrayPtr cells = Cells(3);
    EXPECT_REFUSED(cells, Assign(cells, Row({1, 2}).get(), Cells(1).get()),
                   CInAssignAIBElementsMustBeSameException, kAIB);

    // Linear growth of anything but a vector or an empty array of at most one row.
    const std::vector<std::function<ArrayPtr()>> fixed = {
        [] { return Counting({2, 2}); },
        [] { return Counting({1, 2, 2}); },
        [] { return Array({2, 0}); },
        [] { return Cells(2); },
    };
    for (std::size_t k = 0; k < fixed.size(); ++k) {
        SCOPED_TRACE(k);
        ArrayPtr t = fixed[k]();
        EXPECT_REFUSED(t, Assign(t, Row({9}).get(), Row({5, 6}).get()),
                       CInAssignAMBACantBeResizedException, kCantResize);
    }

    // Class mismatch with A unchanged where no growth happened.
    ArrayPtr ints = Typed<std::int32_t>(mxClassInt32, 1, 2, {1, 2});
    EXPECT_REFUSED(ints, Assign(ints, Row({1}).get(), Row({5}).get()), CNotImplementedException,
                   kNotImplemented);
    Assign(ints, Row({1}).get(), Typed<std::int32_t>(mxClassInt32, 1, 1, {5}).get());
    EXPECT_EQ(TypedValues<std::int32_t>(ints.get()), (std::vector<std::int32_t>{5, 2}));
}

TEST(Indexassign, LinearFailuresAfterGrowthLeaveTargetGrownNotWritten) {
    // Count mismatch after growth; the old data go with the growth.
    ArrayPtr a = Counting({1, 3});
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(Assign(a, Row({4, 5}).get(), Row({1, 2, 3}).get()),
                     CInAssignAIBElementsMustBeSameException, kAIB);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_EQ(Dims(a.get()), (DimList{1, 5}));
    EXPECT_EQ(Values(a.get()), (ValueList{1, 2, 3, 0, 0}));

    // Class mismatch after growth, a complex B having made A complex.
    ArrayPtr s = Typed<std::int16_t>(mxClassInt16, 2, 1, {1, 2});
    ArrayPtr sharer(s->CreateShareArray());
    const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
    EXPECT_THROW_MSG(Assign(s, Row({4}).get(), Complex(1, 1, {5}, {1}).get()),
                     CNotImplementedException, kNotImplemented);
    EXPECT_EQ(Dims(s.get()), (DimList{4, 1}));
    EXPECT_EQ(TypedValues<std::int16_t>(s.get()), (std::vector<std::int16_t>{1, 2, 0, 0}));
    EXPECT_TRUE(s->IsComplex());
    EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);

    // A cell target never gets an imaginary part.
    ArrayPtr c(mxCreateCellMatrix(0, 0));
    EXPECT_THROW_MSG(Assign(c, Row({2}).get(), Complex(1, 1, {5}, {1}).get()),
                     CNotImplementedException, kNotImplemented);
    EXPECT_EQ(Dims(c.get()), (DimList{1, 2}));
    EXPECT_FALSE(c->IsComplex());
    EXPECT_EQ(mxGetCell(c.get(), 1), nullptr);
}

// --- A(:) = B ---------------------------------------------------------------------------

TEST(Indexassign, ColonFillsOrReplaces) {
    // A non-scalar B of the same count replaces A by a share of B.
    ArrayPtr a = Counting({2, 3});
    ArrayPtr b = Typed<std::int32_t>(mxClassInt32, 3, 2, {1, 2, 3, 4, 5, 6});
    b->SetLogical();
    Assign(a, Colon().get(), b.get());
    EXPECT_EQ(Dims(a.get()), (DimList{3, 2}));
    EXPECT_TRUE(a->IsInt32());
    EXPECT_TRUE(a->IsLogical());
    EXPECT_EQ(a->GetPr(), b->GetPr());
    b.reset();
    EXPECT_EQ(TypedValues<std::int32_t>(a.get()), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));

    // A double scalar fills every element; A becomes real.
    for (bool allColons : {false, true}) {
        SCOPED_TRACE(allColons);
        ArrayPtr c = Complex(2, 2, {1, 2, 3, 4}, {1, 1, 1, 1});
        c->Reshape(3, DimList{1, 2, 2}.data());
        if (allColons) {
            Assign(c, Colon().get(), Colon().get(), Row({4}).get());
        } else {
            Assign(c, Colon().get(), Row({4}).get());
        }
        EXPECT_EQ(Dims(c.get()), (DimList{1, 2, 2}));
        EXPECT_EQ(Values(c.get()), (ValueList{4, 4, 4, 4}));
        EXPECT_FALSE(c->IsComplex());

        // A complex scalar fills both parts.
        ArrayPtr d = Counting({2, 1});
        if (allColons) {
            Assign(d, Colon().get(), Colon().get(), Complex(1, 1, {4}, {-2}).get());
        } else {
            Assign(d, Colon().get(), Complex(1, 1, {4}, {-2}).get());
        }
        EXPECT_EQ(Values(d.get()), (ValueList{4, 4}));
        EXPECT_EQ(ImagValues(d.get()), (ValueList{-2, -2}));
    }

    // A target without elements stays as it is with at most one element in B.
    ArrayPtr e = Array({0, 3});
    const ArraySnapshot before = ArraySnapshot::Of(e.get());
    Assign(e, Colon().get(), Row({4}).get());
    Assign(e, Colon().get(), Colon().get(), Row({4}).get());
    Assign(e, Colon().get(), Empty00().get());
    EXPECT_TRUE(ArraySnapshot::Of(e.get()) == before);
}

TEST(Indexassign, AllColonsReplaceWhenShapesAgree) {
    struct Case {
        DimList a, b;
        bool replaced;
    };
    const std::vector<Case> cases = {
        {{2, 3}, {2, 3}, true}, {{2, 2, 2}, {2, 4}, true}, {{0, 0}, {3, 2}, true},
        {{2, 3}, {3, 2}, false}, {{0, 3}, {1, 2}, false}, {{2, 3}, {1, 6}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.a) + " <- " + ::testing::PrintToString(c.b));
        ArrayPtr a = Counting(c.a), b = Counting(c.b);
        if (c.replaced) {
            Assign(a, Colon().get(), Colon().get(), b.get());
            EXPECT_EQ(Dims(a.get()), c.b);
            EXPECT_EQ(a->GetPr(), b->GetPr());
        } else {
            EXPECT_REFUSED(a, Assign(a, Colon().get(), Colon().get(), b.get()),
                           CInAssignAColonBElementsMustBeSameException, kAColonB);
        }
    }
}

TEST(Indexassign, ColonFailures) {
    ArrayPtr a = Counting({2, 3});
    EXPECT_REFUSED(a, Assign(a, Colon().get(), Counting({5, 1}).get()),
                   CInAssignAColonBElementsMustBeSameException, kAColonB);
    // An int32 scalar is not filled in: it is compared by count.
    ArrayPtr one = Typed<std::int32_t>(mxClassInt32, 1, 1, {1});
    EXPECT_REFUSED(a, Assign(a, Colon().get(), one.get()),
                   CInAssignAColonBElementsMustBeSameException, kAColonB);
    EXPECT_REFUSED(a, Assign(a, Colon().get(), Colon().get(), one.get()), CNotImplementedException,
                   kNotImplemented);

    ArrayPtr e = Array({0, 2});
    EXPECT_REFUSED(e, Assign(e, Colon().get(), Row({1, 2}).get()),
                   CInAssignAColonBElementsMustBeSameException, kAColonB);

    // The scalar fill of a target that is not double.
    const std::vector<std::function<ArrayPtr()>> targets = {
        [] { return Typed<std::int32_t>(mxClassInt32, 2, 2, {1, 2, 3, 4}); },
        [] { return Typed<std::uint8_t>(mxClassUint8, 1, 3, {1, 2, 3}); },
        [] { return Cells(2); },
    };
    for (std::size_t k = 0; k < targets.size(); ++k) {
        SCOPED_TRACE(k);
        ArrayPtr t = targets[k]();
        EXPECT_REFUSED(t, Assign(t, Colon().get(), Row({5}).get()), CNotImplementedException,
                       kNotImplemented);
        EXPECT_REFUSED(t, Assign(t, Colon().get(), Colon().get(), Row({5}).get()),
                       CNotImplementedException, kNotImplemented);
    }
}

// --- Two subscripts -----------------------------------------------------------------------

TEST(Indexassign, BlockGrowthAndWrites) {
    struct Case {
        const char *name;
        std::function<ArrayPtr()> a, i, j, b;
        DimList dims;
        ValueList values;
    };
    const auto c22 = [] { return Counting({2, 2}); };
    const std::vector<Case> cases = {
        {"grows both ways", c22, [] { return Row({3}); }, [] { return Row({3}); },
         [] { return Row({9}); }, {3, 3}, {1, 2, 0, 3, 4, 0, 0, 0, 9}},
        {"keeps its rows", c22, [] { return Row({1}); }, [] { return Row({4}); },
         [] { return Row({9}); }, {2, 4}, {1, 2, 3, 4, 0, 0, 9, 0}},
        {"repeated column: last write wins", c22, [] { return Row({2}); },
         [] { return Row({1, 1}); }, [] { return Row({3, 4}); }, {2, 2}, {1, 4, 3, 4}},
        {"scattered rows, column-major order of B", [] { return Counting({3, 2}); },
         [] { return Row({3, 1}); }, [] { return Row({2, 1}); },
         [] { return Matrix(2, 2, {7, 8, 9, 10}); }, {3, 2}, {10, 2, 9, 8, 5, 7}},
        {"scattered rows broadcast", [] { return Counting({3, 2}); },
         [] { return Row({3, 1}); }, Colon, [] { return Row({0}); }, {3, 2}, {0, 2, 0, 0, 5, 0}},
        {"ascending rows with a gap", [] { return Counting({3, 2}); },
         [] { return Row({1, 3}); }, [] { return Row({2}); }, [] { return Col({8, 9}); },
         {3, 2}, {1, 2, 3, 8, 5, 9}},
        {"row run", [] { return Counting({3, 2}); }, [] { return Row({2, 3}); }, Colon,
         [] { return Matrix(2, 2, {7, 8, 9, 10}); }, {3, 2}, {1, 7, 8, 4, 9, 10}},
        {"row run broadcast", [] { return Counting({3, 2}); }, [] { return Row({2, 3}); },
         [] { return Row({2}); }, [] { return Row({0}); }, {3, 2}, {1, 2, 3, 4, 0, 0}},
        {"colon column grows", c22, Colon, [] { return Row({3}); },
         [] { return Col({7, 8}); }, {2, 3}, {1, 2, 3, 4, 7, 8}},
        {"colon row", c22, [] { return Row({2}); }, Colon, [] { return Row({7, 8}); }, {2, 2},
         {1, 7, 3, 8}},
        {"masks, longer than the extents", c22, [] { return Mask({0, 0, 1}); },
         [] { return Mask({1, 0, 1}); }, [] { return Row({7, 8}); }, {3, 3},
         {1, 2, 7, 3, 4, 0, 0, 0, 8}},
        {"uint32 subscripts", c22, [] { return Typed<std::uint32_t>(mxClassUint32, 1, 1, {1}); },
         [] { return Typed<std::uint32_t>(mxClassUint32, 1, 2, {2, 1}); },
         [] { return Row({7, 8}); }, {2, 2}, {8, 2, 7, 4}},
        {"N-d: folded columns without growth", [] { return Counting({2, 2, 2}); },
         [] { return Row({2}); }, [] { return Row({3}); }, [] { return Row({0}); }, {2, 2, 2},
         {1, 2, 3, 4, 5, 0, 7, 8}},
        {"N-d: folded, then grown in columns", [] { return Counting({2, 2, 2}); },
         [] { return Row({1}); }, [] { return Row({5}); }, [] { return Row({9}); }, {2, 5},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 0}},
        {"N-d: folded, then grown in rows", [] { return Counting({1, 2, 2}); },
         [] { return Row({2}); }, [] { return Row({1}); }, [] { return Row({9}); }, {2, 4},
         {1, 9, 2, 0, 3, 0, 4, 0}},
        {"0x0, colon rows from B", Empty00, Colon, [] { return Row({2}); },
         [] { return Col({1, 2}); }, {2, 2}, {0, 0, 1, 2}},
        {"0x0, colon columns from B", Empty00, [] { return Row({2}); }, Colon,
         [] { return Row({1, 2}); }, {2, 2}, {0, 1, 0, 2}},
        {"0x5 keeps its columns", [] { return Array({0, 5}); }, Colon, [] { return Row({3}); },
         [] { return Col({1, 2}); }, {2, 5}, {0, 0, 0, 0, 1, 2, 0, 0, 0, 0}},
        {"0x2 grows past its columns", [] { return Array({0, 2}); }, Colon,
         [] { return Row({3}); }, [] { return Row({5}); }, {1, 3}, {0, 0, 5}},
        {"4x0 keeps its rows", [] { return Array({4, 0}); }, [] { return Row({2}); }, Colon,
         [] { return Row({1, 2}); }, {4, 2}, {0, 1, 0, 0, 0, 2, 0, 0}},
        {"empty subscripts and a scalar: nothing", c22, Empty00, Empty00,
         [] { return Row({5}); }, {2, 2}, {1, 2, 3, 4}},
        {"empty B: grown, nothing written", c22, [] { return Row({3}); },
         [] { return Row({3}); }, Empty00, {3, 3}, {1, 2, 0, 3, 4, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ArrayPtr a = c.a(), i = c.i(), j = c.j(), b = c.b();
        Assign(a, i.get(), j.get(), b.get());
        EXPECT_EQ(Dims(a.get()), c.dims);
        EXPECT_EQ(Values(a.get()), c.values);
    }
}

TEST(Indexassign, BlockFailuresInOrder) {
    ArrayPtr a = Counting({2, 2});
    // Both subscripts empty: the count, even for a 3-d B.
    EXPECT_REFUSED(a, Assign(a, Empty00().get(), Empty00().get(), Row({1, 2}).get()),
                   CInAssignAMMBDimensionMustBeSameException, kAMMB);
    EXPECT_REFUSED(a, Assign(a, Empty00().get(), Empty00().get(), Counting({1, 1, 2}).get()),
                   CInAssignAMMBDimensionMustBeSameException, kAMMB);
    // A 3-d B, before the subscripts are read.
    EXPECT_REFUSED(a, Assign(a, Row({0}).get(), Colon().get(), Counting({2, 1, 2}).get()),
                   CAssignHasMoreRHSDimsThanSubsExcpetion, kMoreDims);
    EXPECT_REFUSED(a, Assign(a, Colon().get(), Colon().get(), Counting({2, 1, 2}).get()),
                   CAssignHasMoreRHSDimsThanSubsExcpetion, kMoreDims);
    // B's rows, then B's columns, against the subscripts.
    EXPECT_REFUSED(a, Assign(a, Colon().get(), Row({1}).get(), Col({1, 2, 3}).get()),
                   CInAssignAMMBDimensionMustBeSameException, kAMMB);
    EXPECT_REFUSED(a, Assign(a, Row({1}).get(), Colon().get(), Col({1, 2}).get()),
                   CInAssignAMMBDimensionMustBeSameException, kAMMB);
    // The class test before the shape test.
    EXPECT_REFUSED(a, Assign(a, Row({1}).get(), Row({1}).get(), Array({1, 3}, mxClassInt32).get()),
                   CNotImplementedException, kNotImplemented);
}

TEST(Indexassign, BlockFailuresAfterGrowthLeaveTargetGrownNotWritten) {
    // Shape mismatch after growth.
    ArrayPtr a = Counting({2, 2});
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(Assign(a, Row({3}).get(), Row({1, 2}).get(), Row({7, 8, 9}).get()),
                     CInAssignAMMBDimensionMustBeSameException, kAMMB);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_EQ(Dims(a.get()), (DimList{3, 2}));
    EXPECT_EQ(Values(a.get()), (ValueList{1, 2, 0, 3, 4, 0}));

    // Class mismatch after an N-d target was folded and grown.
    ArrayPtr n = Counting({1, 2, 2});
    ArrayPtr sharer(n->CreateShareArray());
    const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
    EXPECT_THROW_MSG(Assign(n, Row({2}).get(), Row({1}).get(), Array({1, 1}, mxClassSingle).get()),
                     CNotImplementedException, kNotImplemented);
    EXPECT_EQ(Dims(n.get()), (DimList{2, 4}));
    EXPECT_EQ(Values(n.get()), (ValueList{1, 0, 2, 0, 3, 0, 4, 0}));
    EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
}

// --- Cells --------------------------------------------------------------------------------

TEST(Indexassign, CellSlotsOwnTheirElements) {
    for (bool targetFirst : {false, true}) {
        SCOPED_TRACE(targetFirst);
        const LiveBlocks blocks;
        {
            ArrayPtr a = Cells(3), b = Cells(2), one = Cells(1);
            Assign(a, Row({1, 1}).get(), b.get());                // repeated position
            Assign(a, Row({1}).get(), Row({5}).get(), one.get());  // growth
            Assign(a, Colon().get(), Row({4}).get(), one.get());   // block form
            EXPECT_EQ(Dims(a.get()), (DimList{1, 5}));
            EXPECT_EQ(CellValue(a.get(), 0), 11);
            EXPECT_EQ(CellValue(a.get(), 1), 11);
            EXPECT_EQ(CellValue(a.get(), 2), 12);
            EXPECT_EQ(CellValue(a.get(), 3), 10);
            EXPECT_EQ(CellValue(a.get(), 4), 10);
            // A slot of its own, sharing the element's data.
            EXPECT_NE(mxGetCell(a.get(), 0), mxGetCell(b.get(), 1));
            EXPECT_EQ(mxGetCell(a.get(), 0)->GetPr(), mxGetCell(b.get(), 1)->GetPr());
            EXPECT_NE(mxGetCell(a.get(), 3), mxGetCell(a.get(), 4));

            // An empty slot of B empties the slot of A.
            ArrayPtr hole(mxCreateCellMatrix(1, 1));
            Assign(a, Row({2}).get(), hole.get());
            EXPECT_EQ(mxGetCell(a.get(), 1), nullptr);

            if (targetFirst) {
                a.reset();
                b.reset();
                one.reset();
            } else {
                one.reset();
                b.reset();
                a.reset();
            }
        }
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

TEST(Indexassign, CellSharersAndNestedCells) {
    const LiveBlocks blocks;
    {
        // A sharer of the target keeps its slots.
        ArrayPtr a = Cells(3), one = Cells(1);
        ArrayPtr sharer(a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        Assign(a, Row({1}).get(), Row({2}).get(), one.get());
        EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
        EXPECT_EQ(CellValue(sharer.get(), 1), 11);
        EXPECT_EQ(CellValue(a.get(), 1), 10);

        // A(:) = B: the target shares B's slots, which outlive B.
        ArrayPtr c = Cells(3);
        Assign(sharer, Colon().get(), c.get());
        EXPECT_EQ(sharer->GetPr(), c->GetPr());
        c.reset();
        EXPECT_EQ(CellValue(sharer.get(), 2), 12);

        // B is a cell held in a slot that the assignment overwrites.
        ArrayPtr outer(mxCreateCellMatrix(1, 2));
        mxSetCell(outer.get(), 0, Cells(2).release());
        const CMatrix *inner = mxGetCell(outer.get(), 0);
        Assign(outer, Row({2, 1}).get(), inner);
        EXPECT_EQ(CellValue(outer.get(), 0), 11);
        EXPECT_EQ(CellValue(outer.get(), 1), 10);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

// --- Allocation failures ------------------------------------------------------------------

struct FailureCase {
    const char *name;
    std::function<ArrayPtr()> target;
    std::function<ArrayPtr()> i, j, b;  // j empty for the one-subscript form
};

void AssignCase(ArrayPtr &a, const FailureCase &c, const CMatrix *i, const CMatrix *j,
                const CMatrix *b) {
    if (c.j) {
        Assign(a, i, j, b);
    } else {
        Assign(a, i, b);
    }
}

TEST(Indexassign, AllocationFailuresLeaveTargetAsItWas) {
    const auto c23 = [] { return Counting({2, 3}); };
    const std::vector<FailureCase> cases = {
        {"write", c23, [] { return Row({2, 1}); }, nullptr, [] { return Row({9, 8}); }},
        {"linear growth", [] { return Counting({1, 3}); }, [] { return Row({7}); }, nullptr,
         [] { return Row({9}); }},
        {"block growth", c23, Colon, [] { return Row({4}); }, [] { return Col({9, 8}); }},
        {"replacement", c23, Colon, nullptr, [] { return Counting({3, 2}); }},
        {"fill", c23, Colon, Colon, [] { return Row({9}); }},
        {"cell slots", [] { return Cells(3); }, [] { return Row({3, 1}); }, nullptr,
         [] { return Cells(2); }},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        ArrayPtr a = c.target(), i = c.i(), j = c.j ? c.j() : nullptr, b = c.b();
        // A sharer makes the write unshare first, except for cells, whose
        // unsharing gives the slots new owners.
        ArrayPtr sharer(a->IsCell() ? nullptr : a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(a.get());
        const CMatrix *object = a.get();
        const int points = matrix_test::ForEachAllocationFailure(
            [&] { AssignCase(a, c, i.get(), j.get(), b.get()); },
            [&] {
                EXPECT_EQ(a.get(), object);
                EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
            });
        EXPECT_GT(points, 0);
    }
}

TEST(Indexassign, AllocationFailuresLeakNothing) {
    // Failures here may leave the target grown, folded, unshared or complex;
    // each run works on a fresh copy and destroys it.
    const std::vector<FailureCase> cases = {
        {"complex into real, grown", [] { return Counting({1, 3}); }, [] { return Row({5}); },
         nullptr, [] { return Complex(1, 1, {1}, {2}); }},
        {"N-d folded and grown", [] { return Counting({2, 2, 2}); }, [] { return Row({3}); },
         [] { return Row({1}); }, [] { return Row({9}); }},
        {"complex fill", [] { return Counting({2, 3}); }, Colon, nullptr,
         [] { return Complex(1, 1, {1}, {2}); }},
        {"cells grown", [] { return ArrayPtr(mxCreateCellMatrix(0, 0)); },
         [] { return Row({5, 1}); }, nullptr, [] { return Cells(2); }},
        {"cells in a block", [] { return Cells(3); }, Colon, [] { return Row({2, 3}); },
         [] { return Cells(2); }},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        ArrayPtr model = c.target(), i = c.i(), j = c.j ? c.j() : nullptr, b = c.b();
        const int points = matrix_test::ForEachAllocationFailure(
            [&] {
                ArrayPtr a(model->CreateDuplicateArray());
                ArrayPtr sharer(a->CreateShareArray());
                AssignCase(a, c, i.get(), j.get(), b.get());
            },
            [] {});
        EXPECT_GT(points, 0);
    }
}

}  // namespace
