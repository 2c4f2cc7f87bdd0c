// tests/index/indexref_test.cpp: tests of indexed reference A(I) and A(I,J).
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
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
const wchar_t kNegativeOrZero[] = L"Index into matrix is negative or zero";
const wchar_t kExceeds[] = L"Index exceeds matrix dimensions";

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

// A double index array of the given shape holding `values`.
ArrayPtr Index(const DimList &dims, const ValueList &values) {
    ArrayPtr a = Array(dims);
    EXPECT_EQ(values.size(), a->GetNoElems());
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
}

// A logical double mask of the given shape.
ArrayPtr Mask(const DimList &dims, const ValueList &values) {
    ArrayPtr a = Index(dims, values);
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

// Expects `statement` to throw E with `message`, leaving A and the
// subscripts unchanged and nothing allocated.
#define EXPECT_REJECTS(statement, A, I, J, E, message)                                   \
    do {                                                                                  \
        const ArraySnapshot a_ = ArraySnapshot::Of(A), i_ = ArraySnapshot::Of(I),         \
                            j_ = ArraySnapshot::Of(J);                                    \
        const LiveBlocks blocks_;                                                         \
        EXPECT_THROW_MSG(statement, E, message);                                          \
        EXPECT_EQ(blocks_.Delta(), 0);                                                    \
        EXPECT_TRUE(ArraySnapshot::Of(A) == a_ && ArraySnapshot::Of(I) == i_ &&           \
                    ArraySnapshot::Of(J) == j_);                                          \
    } while (0)

// The element bytes of an array, so that every class can be compared.
std::vector<unsigned char> Bytes(const CMatrix *a, const void *data) {
    const auto *p = static_cast<const unsigned char *>(data);
    return std::vector<unsigned char>(p, p + std::size_t{a->GetNoElems()} * a->GetElementSize());
}

// --- A(:) and A(:,:) ------------------------------------------------------------

TEST(Indexref, ColonsShareDataAndFoldShape) {
    ArrayPtr A = Seq({2, 3, 2}, mxComplexityComplex);
    ArrayPtr colon = Colon();
    ArrayPtr column(Indexref(A.get(), colon.get()));
    ArrayPtr matrix(Indexref(A.get(), colon.get(), colon.get()));
    EXPECT_EQ(Dims(column.get()), (DimList{12, 1}));
    EXPECT_EQ(Dims(matrix.get()), (DimList{2, 6}));
    for (const CMatrix *r : {column.get(), matrix.get()}) {
        EXPECT_EQ(r->GetPr(), A->GetPr());
        EXPECT_EQ(r->GetPi(), A->GetPi());
    }
    // Copy on write: writing one sharer leaves A as it was.
    column->GetOwnCopy();
    mxGetPr(column.get())[0] = 99;
    EXPECT_EQ(mxGetPr(A.get())[0], 1.0);
    EXPECT_EQ(mxGetPr(matrix.get())[0], 1.0);
}

// --- A(index) -------------------------------------------------------------------

// Every branch of the result-shape rule for an index array, each for a
// double and an int16 target: the result keeps the target's class, also
// when it is empty.
TEST(Indexref, IndexResultShapes) {
    struct Case {
        DimList a, index, expected;
    };
    const Case cases[] = {
        // A vector and a vector index: the target's orientation.
        {{1, 5}, {2, 1}, {1, 2}},
        {{5, 1}, {1, 2}, {2, 1}},
        {{1, 1}, {3, 1}, {1, 3}},  // a scalar gives a row
        {{1, 5}, {1, 1}, {1, 1}},
        // A vector and an empty two-dimensional index.
        {{4, 1}, {1, 0}, {0, 1}},
        {{1, 4}, {0, 1}, {1, 0}},
        {{1, 4}, {1, 0}, {1, 0}},  // the index's own shape
        {{1, 4}, {0, 3}, {0, 3}},
        {{4, 1}, {0, 0}, {0, 0}},
        {{1, 1}, {1, 0}, {1, 0}},
        {{1, 1}, {0, 1}, {0, 1}},
        // Everything else: the index's shape, all its dimensions.
        {{1, 5}, {2, 2}, {2, 2}},
        {{1, 5}, {1, 2, 2}, {1, 2, 2}},
        {{1, 5}, {1, 0, 2}, {1, 0, 2}},
        {{3, 3}, {2, 2}, {2, 2}},
        {{3, 3}, {1, 2}, {1, 2}},
        {{3, 3}, {2, 1}, {2, 1}},
        {{3, 3}, {1, 0}, {1, 0}},
        {{2, 2, 2}, {1, 3}, {1, 3}},
        {{2, 2, 2}, {3, 1}, {3, 1}},
    };
    for (const Case &c : cases) {
        for (mxClassID id : {mxClassDouble, mxClassInt16}) {
            ArrayPtr A = Array(c.a, id);
            ArrayPtr I = Array(c.index);
            for (unsigned int k = 0; k < I->GetNoElems(); ++k) mxGetPr(I.get())[k] = 1;
            ArrayPtr R(Indexref(A.get(), I.get()));
            EXPECT_EQ(Dims(R.get()), c.expected) << "A " << c.a.size() << "-d " << c.a[0] << "x"
                                                 << c.a[1] << ", index " << c.index[0] << "x"
                                                 << c.index[1];
            EXPECT_EQ(R->GetClassID(), id);
        }
    }
}

// A cell array is not a vector (the vector rule asks for a numeric class),
// so a cell row indexed by a column gives a column.
TEST(Indexref, CellRowTakesIndexShape) {
    ArrayPtr A(mxCreateCellMatrix(1, 3));
    ArrayPtr R(Indexref(A.get(), Index({2, 1}, {1, 3}).get()));
    EXPECT_EQ(Dims(R.get()), (DimList{2, 1}));
}

TEST(Indexref, IndexValuesRoundAndRepeat) {
    ArrayPtr A = Row({10, 20, 30, 40, 50});
    // Halves round upwards; positions may repeat and come in any order.
    ArrayPtr R(Indexref(A.get(), Index({1, 6}, {1.6, 0.5, 2.49, 5, 4.5, 1}).get()));
    EXPECT_EQ(Values(R.get()), (ValueList{20, 10, 20, 50, 50, 10}));
    ArrayPtr U(Indexref(A.get(), Uint32Row({5, 1, 1}).get()));
    EXPECT_EQ(Values(U.get()), (ValueList{50, 10, 10}));

    // A 3x3 target with a 2x2 index: A(1), A(2), A(3), A(4) column-major.
    ArrayPtr M = Seq({3, 3});
    ArrayPtr Q(Indexref(M.get(), Index({2, 2}, {1, 2, 3, 4}).get()));
    EXPECT_EQ(Values(Q.get()), (ValueList{1, 2, 3, 4}));
    // A scalar repeated into a row.
    ArrayPtr S(Indexref(Row({7}).get(), Index({3, 1}, {1, 1, 1}).get()));
    EXPECT_EQ(Values(S.get()), (ValueList{7, 7, 7}));
}

// Each index rejected, the first offending element deciding, with nothing
// allocated and no argument changed.
TEST(Indexref, IndexErrors) {
    struct Case {
        ValueList index;
        bool negativeOrZero;
    };
    const Case cases[] = {
        {{0}, true},         {{-3}, true},      {{0.49}, true},   {{-0.5}, true},
        {{NAN}, true},       {{1, NAN, 9}, true}, {{2, 0, 9}, true}, {{5}, false},
        {{4.5}, false},      {{9, 0}, false},   {{0x1p32 + 1}, false}, {{INFINITY}, false},
        {{-INFINITY}, true},
    };
    ArrayPtr A = Seq({2, 2});
    ArrayPtr none = Colon();
    for (const Case &c : cases) {
        ArrayPtr I = Row(c.index);
        if (c.negativeOrZero) {
            EXPECT_REJECTS(Indexref(A.get(), I.get()), A.get(), I.get(), none.get(),
                           CIndexIntoMatrixNegativeOrZeroException, kNegativeOrZero);
        } else {
            EXPECT_REJECTS(Indexref(A.get(), I.get()), A.get(), I.get(), none.get(),
                           CIndexExceedsMatrixDimensionsException, kExceeds);
        }
    }
    ArrayPtr zero = Uint32Row({0}), beyond = Uint32Row({9, 0});
    EXPECT_REJECTS(Indexref(A.get(), zero.get()), A.get(), zero.get(), none.get(),
                   CIndexIntoMatrixNegativeOrZeroException, kNegativeOrZero);
    EXPECT_REJECTS(Indexref(A.get(), beyond.get()), A.get(), beyond.get(), none.get(),
                   CIndexExceedsMatrixDimensionsException, kExceeds);
    // Other index classes are refused before any element is read, even
    // when there is none.
    for (const DimList &d : {DimList{1, 1}, DimList{1, 0}}) {
        for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassUint8, mxClassChar}) {
            ArrayPtr I = Array(d, id);
            std::memset(I->GetPr(), 1, I->GetNoElems() * I->GetElementSize());
            EXPECT_REJECTS(Indexref(A.get(), I.get()), A.get(), I.get(), none.get(),
                           CNotImplementedException, kNotImplemented);
        }
    }
}

// --- A(mask) --------------------------------------------------------------------

TEST(Indexref, MaskResultShapes) {
    struct Case {
        DimList a, mask;
        ValueList maskValues;
        DimList expected;
        ValueList values;  // of Seq(a)
    };
    const Case cases[] = {
        // A vector keeps its orientation, whatever the mask's.
        {{1, 5}, {5, 1}, {0, 1, 0, 1, 1}, {1, 3}, {2, 4, 5}},
        {{5, 1}, {1, 5}, {1, 1, 0, 0, 0}, {2, 1}, {1, 2}},
        {{1, 1}, {3, 1}, {1, 0, 0}, {1, 1}, {1}},
        // Otherwise a two-dimensional one-row mask gives a row, any other a column.
        {{2, 3}, {1, 6}, {1, 0, 1, 0, 1, 0}, {1, 3}, {1, 3, 5}},
        {{2, 3}, {6, 1}, {1, 0, 1, 0, 1, 0}, {3, 1}, {1, 3, 5}},
        {{2, 3}, {2, 3}, {0, 1, 1, 0, 0, 1}, {3, 1}, {2, 3, 6}},
        {{2, 3}, {1, 3, 2}, {0, 1, 1, 0, 0, 1}, {3, 1}, {2, 3, 6}},
        {{2, 2, 2}, {1, 8}, {0, 0, 0, 0, 0, 0, 1, 1}, {1, 2}, {7, 8}},
        // Longer than A: fine while the extra elements are false.
        {{2, 2}, {1, 6}, {1, 0, 0, 1, 0, 0}, {1, 2}, {1, 4}},
        // NaN is true, -0 is false.
        {{1, 4}, {1, 4}, {0, NAN, -0.0, 2}, {1, 2}, {2, 4}},
    };
    for (const Case &c : cases) {
        ArrayPtr A = Seq(c.a);
        ArrayPtr R(Indexref(A.get(), Mask(c.mask, c.maskValues).get()));
        EXPECT_EQ(Dims(R.get()), c.expected);
        EXPECT_EQ(Values(R.get()), c.values);
    }
}

TEST(Indexref, MaskWithoutTrueElementGivesEmptyDouble) {
    for (const DimList &d : {DimList{1, 4}, DimList{0, 0}, DimList{1, 0}}) {
        ArrayPtr A = Array({2, 2}, mxClassInt16, mxComplexityComplex);
        ArrayPtr R(Indexref(A.get(), Mask(d, ValueList(d[0] * d[1], 0.0)).get()));
        EXPECT_EQ(Dims(R.get()), (DimList{0, 0}));
        EXPECT_TRUE(R->IsDouble());
        EXPECT_FALSE(R->IsComplex());
    }
}

TEST(Indexref, MaskErrors) {
    ArrayPtr A = Seq({2, 2});
    ArrayPtr none = Colon();
    ArrayPtr beyond = Mask({1, 5}, {0, 0, 0, 0, 1});
    EXPECT_REJECTS(Indexref(A.get(), beyond.get()), A.get(), beyond.get(), none.get(),
                   CIndexExceedsMatrixDimensionsException, kExceeds);
    // One-subscript masks are read in class double only, even all false.
    ArrayPtr u32 = Uint32Row({1, 0}, true), u32False = Uint32Row({0}, true);
    ArrayPtr i32 = Array({1, 1}, mxClassInt32);
    i32->SetLogical();
    for (const CMatrix *mask : {u32.get(), u32False.get(), i32.get()}) {
        EXPECT_REJECTS(Indexref(A.get(), mask), A.get(), mask, none.get(),
                       CNotImplementedException, kNotImplemented);
    }
}

// Masks of every density against a plain selection loop.
TEST(Indexref, MaskMatchesPlainSelection) {
    std::mt19937 rng(5);
    ArrayPtr A = Seq({37, 29}, mxComplexityComplex);
    for (double density : {0.0, 0.01, 0.5, 0.99, 1.0}) {
        std::bernoulli_distribution draw(density);
        ArrayPtr M = Array({37, 29});
        ValueList expectedRe, expectedIm;
        for (unsigned int k = 0; k < M->GetNoElems(); ++k) {
            const bool on = draw(rng);
            mxGetPr(M.get())[k] = on ? 1.0 : 0.0;
            if (on) {
                expectedRe.push_back(mxGetPr(A.get())[k]);
                expectedIm.push_back(mxGetPi(A.get())[k]);
            }
        }
        M->SetLogical();
        ArrayPtr R(Indexref(A.get(), M.get()));
        EXPECT_EQ(Values(R.get()), expectedRe) << density;
        if (!expectedRe.empty()) {
            EXPECT_EQ(ImagValues(R.get()), expectedIm) << density;
        }
    }
}

// Long masks are read in words of 64 elements: a full word, a dense and a
// sparse one, a last word cut short, and false words beyond A; each element
// size must come out as a plain selection would.
TEST(Indexref, MaskWordsEveryElementSize) {
    const unsigned int n = 300;
    std::vector<bool> on(n + 100, false);  // the mask runs 100 elements beyond A
    for (unsigned int i = 0; i < 64; ++i) on[i] = true;               // full
    for (unsigned int i = 64; i < 128; ++i) on[i] = i % 3 != 0;       // dense
    for (unsigned int i : {130u, 131u, 190u}) on[i] = true;           // sparse
    for (unsigned int i = 192; i < 256; ++i) on[i] = i % 2 == 0;      // dense
    for (unsigned int i : {256u, 280u, 298u}) on[i] = true;           // last, cut short
    ArrayPtr M = Array({1, n + 100});
    for (unsigned int i = 0; i < n + 100; ++i) mxGetPr(M.get())[i] = on[i] ? 1.0 : 0.0;
    M->SetLogical();
    for (mxClassID id : {mxClassInt8, mxClassInt16, mxClassSingle, mxClassDouble}) {
        ArrayPtr A = Array({n, 1}, id, mxComplexityComplex);
        const std::size_t size = A->GetElementSize();
        for (int part = 0; part < 2; ++part) {
            auto *bytes = static_cast<unsigned char *>(part == 0 ? A->GetPr() : A->GetPi());
            for (std::size_t b = 0; b < n * size; ++b) {
                bytes[b] = static_cast<unsigned char>(b * 7 + part);
            }
        }
        ArrayPtr R(Indexref(A.get(), M.get()));
        for (int part = 0; part < 2; ++part) {
            const void *data = part == 0 ? A->GetPr() : A->GetPi();
            const auto *from = static_cast<const unsigned char *>(data);
            std::vector<unsigned char> expected;
            for (unsigned int i = 0; i < n; ++i) {
                if (on[i]) expected.insert(expected.end(), from + i * size, from + (i + 1) * size);
            }
            EXPECT_EQ(Bytes(R.get(), part == 0 ? R->GetPr() : R->GetPi()), expected)
                << "class " << id << " part " << part;
        }
    }
}

// --- A(I,J) ---------------------------------------------------------------------

// An empty subscript gives an empty real double result whose other extent
// is what the other subscript selects, checked as the general case would.
TEST(Indexref, TwoSubscriptsWithEmptySubscript) {
    ArrayPtr A = Array({3, 2, 2}, mxClassInt16, mxComplexityComplex);  // 3 rows, 4 columns
    ArrayPtr empty = Array({1, 0}), empty00 = Array({0, 0}, mxClassInt32), colon = Colon();
    struct Case {
        const CMatrix *i, *j;
        DimList expected;
    };
    ArrayPtr jMask = Mask({1, 5}, {1, 0, 1, 1, 0});  // longer than the columns
    ArrayPtr jIndex = Index({2, 2}, {1, 4, 4, 2});
    ArrayPtr iMask = Mask({1, 3}, {1, 0, 1}), iIndex = Row({3, 1});
    const Case cases[] = {
        {empty.get(), empty.get(), {0, 0}},   {empty.get(), empty00.get(), {0, 0}},
        {empty.get(), colon.get(), {0, 4}},   {empty00.get(), jMask.get(), {0, 3}},
        {empty.get(), jIndex.get(), {0, 4}},  {iIndex.get(), empty.get(), {2, 0}},
        {colon.get(), empty.get(), {3, 0}},   {iMask.get(), empty00.get(), {2, 0}},
        {colon.get(), empty00.get(), {3, 0}},
    };
    for (const Case &c : cases) {
        ArrayPtr R(Indexref(A.get(), c.i, c.j));
        EXPECT_EQ(Dims(R.get()), c.expected);
        EXPECT_TRUE(R->IsDouble());
        EXPECT_FALSE(R->IsComplex());
    }

    ArrayPtr five = Row({5}), four = Row({4}), zero = Row({0});
    ArrayPtr late = Mask({1, 5}, {0, 0, 0, 0, 1}), u32Mask = Uint32Row({1}, true);
    ArrayPtr i32 = Array({1, 1}, mxClassInt32);
    EXPECT_REJECTS(Indexref(A.get(), empty.get(), five.get()), A.get(), empty.get(), five.get(),
                   CIndexExceedsMatrixDimensionsException, kExceeds);
    EXPECT_REJECTS(Indexref(A.get(), empty.get(), late.get()), A.get(), empty.get(), late.get(),
                   CIndexExceedsMatrixDimensionsException, kExceeds);
    EXPECT_REJECTS(Indexref(A.get(), four.get(), empty.get()), A.get(), four.get(), empty.get(),
                   CIndexExceedsMatrixDimensionsException, kExceeds);
    EXPECT_REJECTS(Indexref(A.get(), zero.get(), empty.get()), A.get(), zero.get(), empty.get(),
                   CIndexIntoMatrixNegativeOrZeroException, kNegativeOrZero);
    // Here a mask is counted, which reads class double only.
    EXPECT_REJECTS(Indexref(A.get(), empty.get(), u32Mask.get()), A.get(), empty.get(),
                   u32Mask.get(), CNotImplementedException, kNotImplemented);
    EXPECT_REJECTS(Indexref(A.get(), i32.get(), empty.get()), A.get(), i32.get(), empty.get(),
                   CNotImplementedException, kNotImplemented);
}

TEST(Indexref, TwoSubscriptsFoldTrailingDimensions) {
    ArrayPtr A = Seq({2, 3, 2});
    ArrayPtr row(Indexref(A.get(), Row({2}).get(), Colon().get()));
    EXPECT_EQ(Dims(row.get()), (DimList{1, 6}));
    EXPECT_EQ(Values(row.get()), (ValueList{2, 4, 6, 8, 10, 12}));
    ArrayPtr block(Indexref(A.get(), Row({2, 1, 2}).get(), Index({2, 1}, {6, 1.6}).get()));
    EXPECT_EQ(Dims(block.get()), (DimList{3, 2}));
    EXPECT_EQ(Values(block.get()), (ValueList{12, 11, 12, 4, 3, 4}));
    ArrayPtr masked(Indexref(A.get(), Uint32Row({0, 1, 0}, true).get(),
                             Mask({2, 3}, {1, 0, 0, 0, 0, 1}).get()));
    EXPECT_EQ(Values(masked.get()), (ValueList{2, 12}));
}

// Random subscripts of every kind against a plain double loop over the
// positions, on complex targets.
TEST(Indexref, TwoSubscriptsMatchPlainLoop) {
    std::mt19937 rng(11);
    auto subscript = [&rng](unsigned int extent, int kind, std::vector<unsigned int> &positions) {
        positions.clear();
        if (kind == 0) {
            for (unsigned int p = 1; p <= extent; ++p) positions.push_back(p);
            return Colon();
        }
        if (kind == 1) {  // a double mask, sometimes longer than the extent
            ArrayPtr m = Array({1, extent + 2});
            for (unsigned int p = 1; p <= extent + 2; ++p) {
                const bool on = p <= extent && rng() % 2 == 0;
                mxGetPr(m.get())[p - 1] = on;
                if (on) positions.push_back(p);
            }
            m->SetLogical();
            return m;
        }
        const unsigned int n = 1 + rng() % 7;
        if (kind == 2) {  // a double index
            ArrayPtr s = Array({n, 1});
            for (unsigned int k = 0; k < n; ++k) {
                positions.push_back(1 + rng() % extent);
                mxGetPr(s.get())[k] = positions.back();
            }
            return s;
        }
        // A run of consecutive rows, or uint32 positions.
        ArrayPtr s = Array({1, n}, mxClassUint32);
        const unsigned int first = 1 + rng() % extent;
        for (unsigned int k = 0; k < n; ++k) {
            positions.push_back(kind == 3 ? std::min(first + k, extent) : 1 + rng() % extent);
            static_cast<std::uint32_t *>(s->GetPr())[k] = positions.back();
        }
        return s;
    };
    for (int trial = 0; trial < 200; ++trial) {
        const unsigned int m = 1 + rng() % 6, n = 1 + rng() % 6;
        ArrayPtr A = Seq({m, n}, mxComplexityComplex);
        std::vector<unsigned int> rows, columns;
        ArrayPtr I = subscript(m, static_cast<int>(rng() % 5), rows);
        ArrayPtr J = subscript(n, static_cast<int>(rng() % 5), columns);
        if (I->IsColon() && J->IsColon()) continue;
        ArrayPtr R(Indexref(A.get(), I.get(), J.get()));
        ASSERT_EQ(Dims(R.get()), (DimList{static_cast<unsigned int>(rows.size()),
                                          static_cast<unsigned int>(columns.size())}));
        ValueList re, im;
        for (unsigned int q : columns) {
            for (unsigned int p : rows) {
                re.push_back(mxGetPr(A.get())[(p - 1) + (q - 1) * m]);
                im.push_back(mxGetPi(A.get())[(p - 1) + (q - 1) * m]);
            }
        }
        EXPECT_EQ(Values(R.get()), re);
        if (!re.empty()) {
            EXPECT_EQ(ImagValues(R.get()), im);
        }
    }
}

// The row subscript is checked before the column subscript, each first
// offender first. Negative and huge indices are judged by value, not by the
// position they would wrap to.
TEST(Indexref, TwoSubscriptErrors) {
    struct Case {
        ValueList i, j;
        bool negativeOrZero;
    };
    const Case cases[] = {
        {{3}, {1}, false},    {{3, 1}, {1}, false},  {{0}, {1}, true},       {{1}, {0}, true},
        {{1}, {3}, false},    {{3}, {0}, false},     {{0}, {3}, true},       {{-1}, {1}, true},
        {{0x1p32 + 1}, {1}, false}, {{NAN}, {1}, true}, {{1, 2}, {2, NAN}, true},
        {{2, 9, 0}, {1}, false},
    };
    ArrayPtr A = Seq({2, 2});
    for (const Case &c : cases) {
        ArrayPtr I = Row(c.i), J = Row(c.j);
        if (c.negativeOrZero) {
            EXPECT_REJECTS(Indexref(A.get(), I.get(), J.get()), A.get(), I.get(), J.get(),
                           CIndexIntoMatrixNegativeOrZeroException, kNegativeOrZero);
        } else {
            EXPECT_REJECTS(Indexref(A.get(), I.get(), J.get()), A.get(), I.get(), J.get(),
                           CIndexExceedsMatrixDimensionsException, kExceeds);
        }
    }
    ArrayPtr one = Row({1}), colon = Colon();
    ArrayPtr lateMask = Mask({1, 3}, {0, 0, 1}), u32Zero = Uint32Row({0});
    EXPECT_REJECTS(Indexref(A.get(), lateMask.get(), colon.get()), A.get(), lateMask.get(),
                   colon.get(), CIndexExceedsMatrixDimensionsException, kExceeds);
    EXPECT_REJECTS(Indexref(A.get(), colon.get(), u32Zero.get()), A.get(), colon.get(),
                   u32Zero.get(), CIndexIntoMatrixNegativeOrZeroException, kNegativeOrZero);
    // Classes: index arrays double or uint32, masks double or uint32 here.
    for (mxClassID id : {mxClassInt32, mxClassSingle}) {
        for (bool logical : {false, true}) {
            ArrayPtr S = Array({1, 1}, id);
            std::memset(S->GetPr(), 0, S->GetElementSize());
            if (logical) S->SetLogical();
            EXPECT_REJECTS(Indexref(A.get(), S.get(), one.get()), A.get(), S.get(), one.get(),
                           CNotImplementedException, kNotImplemented);
            EXPECT_REJECTS(Indexref(A.get(), one.get(), S.get()), A.get(), one.get(), S.get(),
                           CNotImplementedException, kNotImplemented);
        }
    }
    // The row subscript's error wins over the column subscript's class.
    ArrayPtr three = Row({3}), i32 = Array({1, 1}, mxClassInt32);
    EXPECT_REJECTS(Indexref(A.get(), three.get(), i32.get()), A.get(), three.get(), i32.get(),
                   CIndexExceedsMatrixDimensionsException, kExceeds);
}

// --- Classes, flags, complex parts ------------------------------------------------

// Every class is indexed by its element size on each path: bytes in, same
// bytes out, in the selected order; the result is never logical.
TEST(Indexref, EveryClassKeepsBytesAndDropsLogical) {
    const mxClassID classes[] = {mxClassChar,   mxClassInt8,   mxClassUint8,  mxClassInt16,
                                 mxClassUint16, mxClassInt32,  mxClassUint32, mxClassSingle,
                                 mxClassInt64,  mxClassUint64, mxClassDouble, mxClassStruct};
    for (mxClassID id : classes) {
        ArrayPtr A = Array({2, 3}, id);
        const std::size_t size = A->GetElementSize();
        auto *bytes = static_cast<unsigned char *>(A->GetPr());
        for (std::size_t b = 0; b < 6 * size; ++b) bytes[b] = static_cast<unsigned char>(b + 1);
        A->SetLogical();
        auto selected = [&](std::initializer_list<unsigned int> positions) {
            std::vector<unsigned char> out;
            for (unsigned int p : positions) {
                out.insert(out.end(), bytes + (p - 1) * size, bytes + p * size);
            }
            return out;
        };
        ArrayPtr byIndex(Indexref(A.get(), Row({6, 1, 6, 4}).get()));
        ArrayPtr byUint32(Indexref(A.get(), Uint32Row({6, 1, 6, 4}).get()));
        ArrayPtr byMask(Indexref(A.get(), Mask({1, 6}, {1, 0, 0, 1, 0, 1}).get()));
        ArrayPtr byBlock(Indexref(A.get(), Row({2, 1}).get(), Row({3, 1}).get()));
        ArrayPtr byRun(Indexref(A.get(), Colon().get(), Row({2, 2}).get()));
        const std::pair<const CMatrix *, std::vector<unsigned char>> cases[] = {
            {byIndex.get(), selected({6, 1, 6, 4})}, {byUint32.get(), selected({6, 1, 6, 4})},
            {byMask.get(), selected({1, 4, 6})},     {byBlock.get(), selected({6, 5, 2, 1})},
            {byRun.get(), selected({3, 4, 3, 4})},
        };
        for (const auto &c : cases) {
            EXPECT_EQ(c.first->GetClassID(), id);
            EXPECT_EQ(c.first->GetFlags(), 0u);
            EXPECT_EQ(Bytes(c.first, c.first->GetPr()), c.second) << "class " << id;
        }
    }
}

TEST(Indexref, ComplexTakesImaginaryPartsAtSamePositions) {
    ArrayPtr A = Seq({2, 3}, mxComplexityComplex);
    ArrayPtr byIndex(Indexref(A.get(), Row({5, 2}).get()));
    ArrayPtr byMask(Indexref(A.get(), Mask({1, 6}, {0, 1, 0, 0, 1, 0}).get()));
    ArrayPtr byBlock(Indexref(A.get(), Row({2}).get(), Row({3, 1}).get()));
    ArrayPtr byRun(Indexref(A.get(), Colon().get(), Row({3, 1}).get()));
    EXPECT_EQ(ImagValues(byIndex.get()), (ValueList{-5, -2}));
    EXPECT_EQ(ImagValues(byMask.get()), (ValueList{-2, -5}));
    EXPECT_EQ(ImagValues(byBlock.get()), (ValueList{-6, -2}));
    EXPECT_EQ(ImagValues(byRun.get()), (ValueList{-5, -6, -1, -2}));
    EXPECT_EQ(Values(byRun.get()), (ValueList{5, 6, 1, 2}));
}

// --- Cell arrays and allocation failures --------------------------------------------

// Each copied slot is an array object of its own sharing the element's
// data, so source and result can be destroyed in either order.
TEST(Indexref, CellSlotsOwnTheirShares) {
    for (bool resultFirst : {false, true}) {
        const LiveBlocks blocks;
        {
            CMatrix *A = mxCreateCellMatrix(1, 3);
            mxSetCell(A, 0, Row({1, 2}).release());
            mxSetCell(A, 2, Row({3}).release());
            ArrayPtr I = Row({3, 1, 2, 3}), one = Row({1});
            ArrayPtr colon = Colon();
            ArrayPtr mask = Mask({1, 3}, {1, 1, 1});
            CMatrix *results[] = {Indexref(A, I.get()), Indexref(A, mask.get()),
                                  Indexref(A, one.get(), I.get()), Indexref(A, colon.get())};
            const CMatrix *fromIndex = results[0];
            EXPECT_NE(mxGetCell(fromIndex, 0), mxGetCell(A, 2));
            EXPECT_NE(mxGetCell(fromIndex, 0), mxGetCell(fromIndex, 3));
            EXPECT_EQ(mxGetCell(fromIndex, 0)->GetPr(), mxGetCell(A, 2)->GetPr());
            EXPECT_EQ(mxGetCell(fromIndex, 1)->GetPr(), mxGetCell(A, 0)->GetPr());
            EXPECT_EQ(mxGetCell(fromIndex, 2), nullptr);
            if (resultFirst) {
                for (CMatrix *&r : results) mxDestroyArray(r);
                mxDestroyArray(A);
            } else {
                mxDestroyArray(A);
                EXPECT_EQ(Values(mxGetCell(results[2], 3)), (ValueList{3}));
                EXPECT_EQ(Values(mxGetCell(results[1], 0)), (ValueList{1, 2}));
                for (CMatrix *&r : results) mxDestroyArray(r);
            }
        }
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

// Every allocation of every path failing in turn: nothing leaks and the
// arguments stay as they were, also when a cell slot's share fails.
TEST(Indexref, AllocationFailuresLeaveNothing) {
    ArrayPtr cell(mxCreateCellMatrix(2, 2));
    for (unsigned int k = 0; k < 4; ++k) mxSetCell(cell.get(), k, Row({k + 1.0}).release());
    ArrayPtr numeric = Seq({2, 2}, mxComplexityComplex);
    ArrayPtr I = Row({4, 1, 4}), rows = Row({2, 1, 2}), one = Row({2});
    ArrayPtr mask = Mask({2, 2}, {1, 0, 1, 1});
    ArrayPtr colon = Colon();
    for (const CMatrix *A : {cell.get(), numeric.get()}) {
        const ArraySnapshot before = ArraySnapshot::Of(A);
        auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(A) == before); };
        EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr(Indexref(A, I.get())); }, unchanged), 0);
        EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr(Indexref(A, mask.get())); }, unchanged),
                  0);
        EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr(Indexref(A, rows.get(), one.get())); },
                                           unchanged),
                  0);
        EXPECT_GT(ForEachAllocationFailure([&] { ArrayPtr(Indexref(A, colon.get())); }, unchanged),
                  0);
        EXPECT_GT(ForEachAllocationFailure(
                      [&] { ArrayPtr(Indexref(A, colon.get(), colon.get())); }, unchanged),
                  0);
    }
}

}  // namespace
