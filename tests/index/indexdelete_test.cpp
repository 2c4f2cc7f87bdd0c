// tests/index/indexdelete_test.cpp: tests of indexed deletion of elements, rows and columns.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Dims;
using matrix_test::ForEachAllocationFailure;
using matrix_test::ImagValues;
using matrix_test::LiveBlocks;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;
using ValueList = std::vector<double>;

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";
const wchar_t kExceeds[] = L"Index exceeds matrix dimensions";
const wchar_t kNeedColon[] = L"At least one of two indices must be a colon";

// A double array of the given shape whose real element k is k + 1 and, when
// complex, whose imaginary element k is -(k + 1).
ArrayPtr Seq(const DimList &dims, mxComplexity complexity = mxComplexityReal) {
    ArrayPtr a = Array(dims, mxClassDouble, complexity);
    for (unsigned int k = 0; k < a->GetNoElems(); ++k) {
        mxGetPr(a.get())[k] = k + 1.0;
        if (complexity == mxComplexityComplex) mxGetPi(a.get())[k] = -(k + 1.0);
    }
    return a;
}

ArrayPtr Row(const ValueList &values) {
    ArrayPtr a = Array({1, static_cast<unsigned int>(values.size())});
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
}

ArrayPtr Mask(const ValueList &values) {
    ArrayPtr a = Row(values);
    a->SetLogical();
    return a;
}

ArrayPtr Uint32Row(const std::vector<std::uint32_t> &values, bool logical = false) {
    ArrayPtr a = Array({1, static_cast<unsigned int>(values.size())}, mxClassUint32);
    if (!values.empty()) std::memcpy(a->GetPr(), values.data(), values.size() * 4);
    if (logical) a->SetLogical();
    return a;
}

ArrayPtr Colon() { return ArrayPtr(mxCreateColonIndex()); }

// Runs a deletion on a copy of the pointer held by `A` and hands the
// outcome back to `A`, which keeps owning whatever the call leaves.
template <typename Delete>
void Apply(ArrayPtr &A, Delete deletion) {
    CMatrix *a = A.release();
    try {
        deletion(a);
    } catch (...) {
        A.reset(a);
        throw;
    }
    A.reset(a);
}

// Expects a deletion to throw E with `message`, leaving the very same A
// unchanged, the subscripts unchanged and nothing allocated.
#define EXPECT_REJECTS(deletion, A, I, E, message)                                    \
    do {                                                                               \
        const CMatrix *same_ = (A).get();                                              \
        const ArraySnapshot a_ = ArraySnapshot::Of(same_), i_ = ArraySnapshot::Of(I);  \
        const LiveBlocks blocks_;                                                      \
        EXPECT_THROW_MSG(Apply(A, deletion), E, message);                              \
        EXPECT_EQ(blocks_.Delta(), 0);                                                 \
        EXPECT_EQ((A).get(), same_);                                                   \
        EXPECT_TRUE(ArraySnapshot::Of(same_) == a_ && ArraySnapshot::Of(I) == i_);     \
    } while (0)

using Deletion = std::function<void(CMatrix *&)>;

Deletion Elements(const CMatrix *I) {
    return [I](CMatrix *&a) { Indexdelete(a, I); };
}
Deletion Rows(const CMatrix *I) {
    return [I](CMatrix *&a) { IndexdeleteRow(a, I); };
}
Deletion Columns(const CMatrix *J) {
    return [J](CMatrix *&a) { IndexdeleteColumn(a, J); };
}
Deletion Both(const CMatrix *I, const CMatrix *J) {
    return [I, J](CMatrix *&a) { Indexdelete(a, I, J); };
}

// --- A(I) = [] ----------------------------------------------------------------------

// Every branch of the shape rule (a two-dimensional column stays a column,
// anything else becomes a row) and the values left, in storage order.
TEST(Indexdelete, ElementsShapesAndValues) {
    struct Case {
        DimList a;
        ValueList index;
        bool mask;
        DimList expected;
        ValueList values;  // of Seq(a)
    };
    const Case cases[] = {
        {{1, 5}, {2}, false, {1, 4}, {1, 3, 4, 5}},
        {{1, 5}, {1, 3}, false, {1, 3}, {2, 4, 5}},
        {{1, 5}, {4, 2, 4}, false, {1, 3}, {1, 3, 5}},   // repeated, unordered
        {{1, 5}, {5, 1}, false, {1, 3}, {2, 3, 4}},      // both ends
        {{1, 5}, {1.6, 4.5}, false, {1, 3}, {1, 3, 4}},  // rounded
        {{1, 5}, {1, 2, 3, 4, 5}, false, {1, 0}, {}},
        {{5, 1}, {1, 5}, false, {3, 1}, {2, 3, 4}},
        {{5, 1}, {5, 4, 3, 2, 1}, false, {0, 1}, {}},
        {{1, 1}, {1}, false, {0, 1}, {}},
        {{2, 3}, {2}, false, {1, 5}, {1, 3, 4, 5, 6}},
        {{2, 2, 2}, {8, 1}, false, {1, 6}, {2, 3, 4, 5, 6, 7}},
        {{1, 5}, {0, 1, 0, 1, 0}, true, {1, 3}, {1, 3, 5}},
        {{3, 1}, {1, 0, 1}, true, {1, 1}, {2}},
        {{1, 3}, {0, 1, 0, 0, 0}, true, {1, 2}, {1, 3}},  // longer than A, false tail
        {{1, 4}, {NAN, -0.0, 0, 1}, true, {1, 2}, {2, 3}},  // NaN true, -0 false
    };
    for (const Case &c : cases) {
        ArrayPtr A = Seq(c.a, mxComplexityComplex);
        ArrayPtr I = c.mask ? Mask(c.index) : Row(c.index);
        Apply(A, Elements(I.get()));
        EXPECT_EQ(Dims(A.get()), c.expected);
        EXPECT_EQ(Values(A.get()), c.values);
        ValueList imag;
        for (double x : c.values) imag.push_back(-x);
        if (!imag.empty()) {
            EXPECT_EQ(ImagValues(A.get()), imag);
        }
        EXPECT_TRUE(A->IsComplex());
    }
    ArrayPtr A = Seq({1, 5});
    Apply(A, Elements(Uint32Row({5, 2, 5}).get()));
    EXPECT_EQ(Values(A.get()), (ValueList{1, 3, 4}));
    Apply(A, Elements(Uint32Row({0, 1, 0}, true).get()));
    EXPECT_EQ(Values(A.get()), (ValueList{1, 4}));
}

// Random positions against a plain loop over the elements kept.
TEST(Indexdelete, ElementsMatchPlainLoop) {
    std::mt19937 rng(17);
    for (int trial = 0; trial < 50; ++trial) {
        const unsigned int n = 1 + rng() % 300;
        ArrayPtr A = Seq({n, static_cast<unsigned int>(1 + rng() % 2)});
        const unsigned int total = A->GetNoElems();
        const unsigned int k = 1 + rng() % total;
        ArrayPtr I = Array({k, 1});
        std::set<unsigned int> deleted;
        for (unsigned int i = 0; i < k; ++i) {
            const unsigned int p = 1 + rng() % total;
            mxGetPr(I.get())[i] = p;
            deleted.insert(p);
        }
        ValueList kept;
        for (unsigned int p = 1; p <= total; ++p) {
            if (deleted.count(p) == 0) kept.push_back(p);
        }
        Apply(A, Elements(I.get()));
        EXPECT_EQ(Values(A.get()), kept);
        EXPECT_EQ(A->GetNoElems(), total - deleted.size());
    }
}

// An empty subscript, or a mask without a true element, leaves A as it
// was: the same array, not a copy.
TEST(Indexdelete, NothingToDeleteLeavesTheSameArray) {
    ArrayPtr empty = Array({1, 0}), emptyInt = Array({0, 0}, mxClassInt32);
    ArrayPtr allFalse = Mask({0, -0.0, 0, 0, 0, 0, 0});  // longer than A, too
    ArrayPtr emptyMask = Mask({});
    ArrayPtr A = Seq({2, 3}, mxComplexityComplex);
    const ArraySnapshot before = ArraySnapshot::Of(A.get());
    for (const CMatrix *I : {empty.get(), emptyInt.get(), allFalse.get(), emptyMask.get()}) {
        const CMatrix *same = A.get();
        const LiveBlocks blocks;
        Apply(A, Elements(I));
        Apply(A, Rows(I));
        Apply(A, Columns(I));
        EXPECT_EQ(A.get(), same);
        EXPECT_TRUE(ArraySnapshot::Of(A.get()) == before);
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

// A colon empties A: a 0x0 real double whatever A was; a 0x0 A is kept.
TEST(Indexdelete, ColonEmpties) {
    ArrayPtr colon = Colon();
    const Deletion forms[] = {
        Elements(colon.get()), Rows(colon.get()), Columns(colon.get()),
        Both(colon.get(), colon.get())};
    for (const auto &deletion : forms) {
        ArrayPtr A = Array({2, 3, 2}, mxClassInt16, mxComplexityComplex);
        A->SetLogical();
        Apply(A, deletion);
        EXPECT_EQ(Dims(A.get()), (DimList{0, 0}));
        EXPECT_TRUE(A->IsDouble());
        EXPECT_FALSE(A->IsComplex());
        EXPECT_EQ(A->GetFlags(), 0u);

        ArrayPtr E = Array({0, 0}, mxClassInt8);
        const CMatrix *same = E.get();
        Apply(E, deletion);
        EXPECT_EQ(E.get(), same);
        EXPECT_TRUE(E->IsInt8());
    }
}

// Positions outside 1..numel, whatever the reason, are "Index exceeds
// matrix dimensions": zero, negative, NaN, and values that would wrap onto
// a valid position after conversion to 32 bits.
TEST(Indexdelete, ElementErrors) {
    const ValueList bad[] = {{0},   {6},         {-1},           {0.49},     {5.5},
                             {NAN}, {2, 3, 0},   {0x1p32 + 1},   {-0x1p32 + 1}, {INFINITY},
                             {-INFINITY}, {1, 2, 6, 3}};
    for (const ValueList &index : bad) {
        ArrayPtr A = Seq({1, 5});
        ArrayPtr I = Row(index);
        EXPECT_REJECTS(Elements(I.get()), A, I.get(), CIndexExceedsMatrixDimensionsException,
                       kExceeds);
    }
    ArrayPtr A = Seq({1, 5});
    ArrayPtr lateMask = Mask({0, 0, 0, 0, 0, 1}), zero = Uint32Row({0}), six = Uint32Row({6});
    for (const CMatrix *I : {lateMask.get(), zero.get(), six.get()}) {
        EXPECT_REJECTS(Elements(I), A, I, CIndexExceedsMatrixDimensionsException, kExceeds);
    }
    // Index arrays and masks of other classes are refused.
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassUint8}) {
        for (bool logical : {false, true}) {
            ArrayPtr I = Array({1, 2}, id);
            std::memset(I->GetPr(), 0, 2 * I->GetElementSize());
            if (logical) I->SetLogical();
            EXPECT_REJECTS(Elements(I.get()), A, I.get(), CNotImplementedException,
                           kNotImplemented);
            EXPECT_REJECTS(Rows(I.get()), A, I.get(), CNotImplementedException, kNotImplemented);
            EXPECT_REJECTS(Columns(I.get()), A, I.get(), CNotImplementedException,
                           kNotImplemented);
        }
    }
}

// --- A(I,:) = [] and A(:,J) = [] ------------------------------------------------------

TEST(Indexdelete, RowsAndColumns) {
    struct Case {
        DimList a;
        bool rows;  // else columns
        ValueList index;
        DimList expected;
        ValueList values;  // of Seq(a)
    };
    const Case cases[] = {
        {{3, 4}, false, {2, 4}, {3, 2}, {1, 2, 3, 7, 8, 9}},
        {{3, 4}, true, {1, 3}, {1, 4}, {2, 5, 8, 11}},
        {{3, 4}, true, {2}, {2, 4}, {1, 3, 4, 6, 7, 9, 10, 12}},
        {{3, 4}, false, {1, 1, 4}, {3, 2}, {4, 5, 6, 7, 8, 9}},
        {{3, 4}, false, {1, 2, 3, 4}, {3, 0}, {}},
        {{3, 4}, true, {3, 2, 1}, {0, 4}, {}},
        // Trailing dimensions fold into the columns.
        {{2, 2, 2}, false, {3}, {2, 3}, {1, 2, 3, 4, 7, 8}},
        {{2, 2, 2}, true, {1}, {1, 4}, {2, 4, 6, 8}},
        {{1, 5}, false, {2.5}, {1, 4}, {1, 2, 4, 5}},
        {{5, 1}, true, {1, 5}, {3, 1}, {2, 3, 4}},
    };
    for (const Case &c : cases) {
        for (bool twoSubscripts : {false, true}) {
            ArrayPtr A = Seq(c.a, mxComplexityComplex);
            ArrayPtr S = Row(c.index), colon = Colon();
            if (twoSubscripts) {
                Apply(A, c.rows ? Both(S.get(), colon.get()) : Both(colon.get(), S.get()));
            } else {
                Apply(A, c.rows ? Rows(S.get()) : Columns(S.get()));
            }
            EXPECT_EQ(Dims(A.get()), c.expected);
            EXPECT_EQ(Values(A.get()), c.values);
            ValueList imag;
            for (double x : c.values) imag.push_back(-x);
            if (!imag.empty()) {
                EXPECT_EQ(ImagValues(A.get()), imag);
            }
        }
    }
    ArrayPtr A = Seq({3, 4});
    Apply(A, Rows(Uint32Row({0, 1, 0, 0}, true).get()));  // a mask longer than the rows
    EXPECT_EQ(Values(A.get()), (ValueList{1, 3, 4, 6, 7, 9, 10, 12}));
    Apply(A, Columns(Mask({1, 0, 0, 1}).get()));
    EXPECT_EQ(Values(A.get()), (ValueList{4, 6, 7, 9}));
}

// Random rows and columns against a plain loop over the kept subscripts.
TEST(Indexdelete, RowsAndColumnsMatchPlainLoop) {
    std::mt19937 rng(23);
    for (int trial = 0; trial < 100; ++trial) {
        const unsigned int m = 1 + rng() % 9, n = 1 + rng() % 9;
        const bool rows = rng() % 2 == 0;
        const unsigned int extent = rows ? m : n;
        ArrayPtr S = Array({1, static_cast<unsigned int>(1 + rng() % extent)}, mxClassUint32);
        std::set<unsigned int> deleted;
        for (unsigned int k = 0; k < S->GetNoElems(); ++k) {
            const unsigned int p = 1 + rng() % extent;
            static_cast<std::uint32_t *>(S->GetPr())[k] = p;
            deleted.insert(p);
        }
        ArrayPtr A = Seq({m, n});
        ValueList kept;
        for (unsigned int j = 1; j <= n; ++j) {
            for (unsigned int i = 1; i <= m; ++i) {
                if (deleted.count(rows ? i : j) == 0) kept.push_back(i + (j - 1.0) * m);
            }
        }
        Apply(A, rows ? Rows(S.get()) : Columns(S.get()));
        EXPECT_EQ(Values(A.get()), kept);
        const auto k = static_cast<unsigned int>(deleted.size());
        EXPECT_EQ(Dims(A.get()), (rows ? DimList{m - k, n} : DimList{m, n - k}));
    }
}

TEST(Indexdelete, RowAndColumnErrors) {
    ArrayPtr colon = Colon();
    const ValueList badColumns[] = {{0}, {5}, {-1}, {NAN}, {2, 5}, {0x1p32 + 2}};
    for (const ValueList &index : badColumns) {
        ArrayPtr A = Seq({3, 4});
        ArrayPtr J = Row(index);
        EXPECT_REJECTS(Columns(J.get()), A, J.get(), CIndexExceedsMatrixDimensionsException,
                       kExceeds);
        EXPECT_REJECTS(Both(colon.get(), J.get()), A, J.get(),
                       CIndexExceedsMatrixDimensionsException, kExceeds);
    }
    ArrayPtr A = Seq({3, 4});
    ArrayPtr four = Row({4}), lateMask = Mask({0, 0, 0, 1});
    for (const CMatrix *I : {four.get(), lateMask.get()}) {
        EXPECT_REJECTS(Rows(I), A, I, CIndexExceedsMatrixDimensionsException, kExceeds);
        EXPECT_REJECTS(Both(I, colon.get()), A, I, CIndexExceedsMatrixDimensionsException,
                       kExceeds);
    }
    // Two subscripts need a colon, even when one of them is empty.
    ArrayPtr one = Row({1}), empty = Array({1, 0});
    EXPECT_REJECTS(Both(one.get(), one.get()), A, one.get(), CFunctionErrorException, kNeedColon);
    EXPECT_REJECTS(Both(empty.get(), one.get()), A, empty.get(), CFunctionErrorException,
                   kNeedColon);
    EXPECT_REJECTS(Both(one.get(), empty.get()), A, empty.get(), CFunctionErrorException,
                   kNeedColon);
}

// --- Classes, sharing, cells, allocation failures ---------------------------------------

// Every class moves by its element size on each form, keeps its class and
// loses the logical flag.
TEST(Indexdelete, EveryClassKeepsBytesAndDropsLogical) {
    const mxClassID classes[] = {mxClassChar,   mxClassInt8,   mxClassUint8,  mxClassInt16,
                                 mxClassUint16, mxClassInt32,  mxClassUint32, mxClassSingle,
                                 mxClassInt64,  mxClassUint64, mxClassDouble, mxClassStruct};
    ArrayPtr two = Row({2}), first = Row({1});
    for (mxClassID id : classes) {
        const std::pair<Deletion, std::vector<unsigned int>> cases[] = {
            {Elements(two.get()), {1, 3, 4, 5, 6}},
            {Rows(first.get()), {2, 4, 6}},
            {Columns(two.get()), {1, 2, 5, 6}},
        };
        for (const auto &c : cases) {
            ArrayPtr A = Array({2, 3}, id);
            const std::size_t size = A->GetElementSize();
            std::vector<unsigned char> original(6 * size);
            for (std::size_t b = 0; b < original.size(); ++b) {
                original[b] = static_cast<unsigned char>(b + 1);
            }
            std::memcpy(A->GetPr(), original.data(), original.size());
            A->SetLogical();
            Apply(A, c.first);
            std::vector<unsigned char> expected;
            for (unsigned int p : c.second) {
                expected.insert(expected.end(), original.begin() + (p - 1) * size,
                                original.begin() + p * size);
            }
            const auto *bytes = static_cast<const unsigned char *>(A->GetPr());
            EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + A->GetNoElems() * size), expected)
                << "class " << id;
            EXPECT_EQ(A->GetClassID(), id);
            EXPECT_EQ(A->GetFlags(), 0u);
        }
    }
}

// The old array is released, not overwritten: another holder of its data
// keeps it.
TEST(Indexdelete, OtherHoldersKeepTheData) {
    ArrayPtr A = Seq({2, 3}, mxComplexityComplex);
    ArrayPtr B(A->CreateShareArray());
    const ArraySnapshot before = ArraySnapshot::Of(B.get());
    Apply(A, Columns(Row({1}).get()));
    Apply(A, Rows(Row({1}).get()));
    Apply(A, Elements(Row({1}).get()));
    EXPECT_EQ(Values(A.get()), (ValueList{6}));
    EXPECT_TRUE(ArraySnapshot::Of(B.get()) == before);
}

// The kept slots of a cell array are arrays of their own sharing the
// elements' data; the deleted elements go with the old array, unless
// another holder of the old slots keeps them.
TEST(Indexdelete, CellSlotsOwnTheirShares) {
    for (bool shared : {false, true}) {
        const LiveBlocks blocks;
        {
            ArrayPtr A(mxCreateCellMatrix(2, 2));
            for (unsigned int k = 0; k < 3; ++k) mxSetCell(A.get(), k, Row({k + 1.0}).release());
            const CMatrix *kept = mxGetCell(A.get(), 2);
            ArrayPtr other(shared ? A->CreateShareArray() : nullptr);
            ArrayPtr rows = Row({1}), columns = Row({1});
            Apply(A, Rows(rows.get()));  // slots 2 and 4 are left
            ASSERT_EQ(Dims(A.get()), (DimList{1, 2}));
            EXPECT_NE(mxGetCell(A.get(), 0), nullptr);
            EXPECT_EQ(mxGetCell(A.get(), 1), nullptr);
            EXPECT_EQ(Values(mxGetCell(A.get(), 0)), (ValueList{2}));
            if (shared) {
                EXPECT_EQ(mxGetCell(other.get(), 2), kept);
                EXPECT_EQ(mxGetCell(A.get(), 0)->GetPr(), mxGetCell(other.get(), 1)->GetPr());
                other.reset();
            }
            Apply(A, Columns(columns.get()));
            EXPECT_EQ(Dims(A.get()), (DimList{1, 1}));
            EXPECT_EQ(mxGetCell(A.get(), 0), nullptr);
        }
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

// Every allocation failing in turn: A is the same, unchanged array and
// nothing leaks, also when a cell slot's share fails.
TEST(Indexdelete, AllocationFailuresLeaveAUnchanged) {
    ArrayPtr I = Row({3, 2}), mask = Mask({0, 1}), colon = Colon();
    const Deletion forms[] = {Elements(I.get()), Elements(mask.get()),
                                                     Rows(I.get()), Columns(mask.get()),
                                                     Elements(colon.get())};
    for (bool cellArray : {true, false}) {
        for (const auto &deletion : forms) {
            ArrayPtr A = cellArray ? ArrayPtr(mxCreateCellMatrix(3, 3))
                                   : Seq({3, 3}, mxComplexityComplex);
            for (unsigned int k = 0; cellArray && k < 9; k += 2) {
                mxSetCell(A.get(), k, Row({k + 1.0}).release());
            }
            const CMatrix *same = A.get();
            const ArraySnapshot before = ArraySnapshot::Of(same);
            const int failurePoints = ForEachAllocationFailure(
                [&] { Apply(A, deletion); },
                [&] {
                    EXPECT_EQ(A.get(), same);
                    EXPECT_TRUE(ArraySnapshot::Of(A.get()) == before);
                });
            EXPECT_GT(failurePoints, 0);
            EXPECT_NE(A.get(), same);  // the run without a failure replaced A
        }
    }
}

}  // namespace
