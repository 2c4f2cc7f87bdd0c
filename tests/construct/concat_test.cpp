// tests/construct/concat_test.cpp: tests of Horzcat and Vertcat.
#include <matrix/matrix.h>

#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Dims;
using matrix_test::LiveBlocks;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;

// An m x n double array holding first, first + 1, ... in column-major order.
ArrayPtr Counting(unsigned int m, unsigned int n, double first) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    double *p = mxGetPr(a.get());
    for (unsigned int k = 0; k < m * n; ++k) p[k] = first + k;
    return a;
}

// Reference for [A1, A2, ...] (horizontal) or [A1; A2; ...]: element by
// element through subscripts, skipping operands without elements.
std::vector<double> ReferenceConcat(const std::vector<const CMatrix *> &operands,
                                    bool horizontal, unsigned int m, unsigned int n) {
    std::vector<double> out(std::size_t{m} * n, -1.0);
    unsigned int offset = 0;
    for (const CMatrix *a : operands) {
        if (a->GetNoElems() == 0) continue;
        const unsigned int rows = mxGetM(a), cols = mxGetN(a);
        const double *p = mxGetPr(a);
        for (unsigned int j = 0; j < cols; ++j) {
            for (unsigned int i = 0; i < rows; ++i) {
                const unsigned int r = horizontal ? i : offset + i;
                const unsigned int c = horizontal ? offset + j : j;
                out[r + std::size_t{c} * m] = p[i + j * rows];
            }
        }
        offset += horizontal ? cols : rows;
    }
    return out;
}

std::vector<ArraySnapshot> Snapshots(const std::vector<const CMatrix *> &operands) {
    std::vector<ArraySnapshot> out;
    for (const CMatrix *a : operands) out.push_back(ArraySnapshot::Of(a));
    return out;
}

ArrayPtr Join(bool horizontal, std::vector<const CMatrix *> operands) {
    const auto n = static_cast<unsigned int>(operands.size());
    return ArrayPtr(horizontal ? Horzcat(n, operands.data()) : Vertcat(n, operands.data()));
}

// --- Values -------------------------------------------------------------------

TEST(Horzcat, PlacesOperandsSideBySide) {
    ArrayPtr a = Matrix(2, 1, {1, 2}), b = Matrix(2, 1, {3, 4});
    ArrayPtr r(Horzcat(a.get(), b.get()));
    EXPECT_EQ(Dims(r.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1, 2, 3, 4}));

    ArrayPtr c = Counting(3, 1, 0), d = Counting(3, 4, 10), e = Counting(3, 2, 100);
    const std::vector<const CMatrix *> ops{c.get(), d.get(), e.get()};
    ArrayPtr joined = Join(true, ops);
    EXPECT_EQ(Dims(joined.get()), (DimList{3, 7}));
    EXPECT_EQ(Values(joined.get()), ReferenceConcat(ops, true, 3, 7));
    EXPECT_TRUE(mxIsDouble(joined.get()));
    EXPECT_FALSE(mxIsComplex(joined.get()));
}

TEST(Vertcat, StacksOperands) {
    ArrayPtr a = Matrix(1, 2, {1, 2}), b = Matrix(1, 2, {3, 4});
    ArrayPtr r(Vertcat(a.get(), b.get()));
    EXPECT_EQ(Dims(r.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1, 3, 2, 4}));

    ArrayPtr c = Counting(1, 4, 0), d = Counting(5, 4, 10), e = Counting(2, 4, 100);
    const std::vector<const CMatrix *> ops{c.get(), d.get(), e.get()};
    ArrayPtr stacked = Join(false, ops);
    EXPECT_EQ(Dims(stacked.get()), (DimList{8, 4}));
    EXPECT_EQ(Values(stacked.get()), ReferenceConcat(ops, false, 8, 4));
}

TEST(Horzcat, ResultIsNeverLogical) {
    ArrayPtr a = Matrix(1, 1, {1}), b = Matrix(1, 1, {0});
    mxSetLogical(a.get());
    mxSetLogical(b.get());
    ArrayPtr h(Horzcat(a.get(), b.get())), v(Vertcat(a.get(), b.get()));
    EXPECT_EQ(h->GetFlags(), 0u);
    EXPECT_EQ(v->GetFlags(), 0u);
    EXPECT_EQ(Values(h.get()), (std::vector<double>{1, 0}));
}

// --- Empty operands -----------------------------------------------------------

TEST(Horzcat, SkipsEmptyOperands) {
    ArrayPtr a = Array({3, 0}), b = Matrix(1, 2, {1, 2});
    ArrayPtr r(Horzcat(a.get(), b.get()));
    EXPECT_EQ(Dims(r.get()), (DimList{1, 2}));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1, 2}));

    // Empty operands of any shape between and after operands with elements.
    ArrayPtr c = Array({0, 7}), d = Array({0, 0}), e = Array({5, 0}), f = Matrix(1, 1, {3});
    ArrayPtr s(Horzcat(c.get(), b.get(), d.get(), e.get(), f.get(), nullptr));
    EXPECT_EQ(Dims(s.get()), (DimList{1, 3}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{1, 2, 3}));
}

TEST(Vertcat, SkipsEmptyOperands) {
    ArrayPtr a = Array({0, 0}), b = Matrix(1, 2, {1, 2}), c = Array({0, 5});
    ArrayPtr r(Vertcat(a.get(), b.get(), c.get()));
    EXPECT_EQ(Dims(r.get()), (DimList{1, 2}));
    EXPECT_EQ(Values(r.get()), (std::vector<double>{1, 2}));

    ArrayPtr d = Array({4, 0}), e = Matrix(1, 2, {3, 4});
    ArrayPtr s(Vertcat(d.get(), b.get(), c.get(), e.get(), nullptr));
    EXPECT_EQ(Dims(s.get()), (DimList{2, 2}));
    EXPECT_EQ(Values(s.get()), (std::vector<double>{1, 3, 2, 4}));
}

struct EmptyCase {
    std::vector<DimList> operands;
    DimList horzcat;
    DimList vertcat;
};

TEST(Horzcat, OnlyEmptyOperandsShapeTheResult) {
    const EmptyCase cases[] = {
        // Horzcat: sum of columns 0 gives (max rows) x 0.
        {{{3, 0}, {3, 0}}, {3, 0}, {6, 0}},
        {{{2, 0}, {3, 0}}, {3, 0}, {5, 0}},
        // Horzcat: max rows 0 gives 0 x (sum of columns).
        {{{0, 2}, {0, 3}}, {0, 5}, {0, 3}},
        {{{0, 3}, {0, 3}}, {0, 6}, {0, 3}},
        // Both non-zero give 0x0.
        {{{0, 3}, {2, 0}}, {0, 0}, {0, 0}},
        {{{2, 0}, {0, 3}}, {0, 0}, {0, 0}},
        // 0x0 operands never count.
        {{{0, 0}, {0, 3}, {0, 0}}, {0, 3}, {0, 3}},
        {{{0, 0}, {4, 0}}, {4, 0}, {4, 0}},
        {{{0, 0}, {0, 0}}, {0, 0}, {0, 0}},
    };
    for (const EmptyCase &c : cases) {
        std::vector<ArrayPtr> owned;
        std::vector<const CMatrix *> ops;
        for (const DimList &d : c.operands) {
            owned.push_back(Array(d));
            ops.push_back(owned.back().get());
        }
        EXPECT_EQ(Dims(Join(true, ops).get()), c.horzcat) << ::testing::PrintToString(c.operands);
        EXPECT_EQ(Dims(Join(false, ops).get()), c.vertcat)
            << ::testing::PrintToString(c.operands);
    }
}

TEST(Vertcat, NoOperandsGiveEmpty) {
    EXPECT_EQ(Dims(ArrayPtr(Vertcat(0u, nullptr)).get()), (DimList{0, 0}));
    EXPECT_EQ(Dims(ArrayPtr(Horzcat(0u, nullptr)).get()), (DimList{0, 0}));
}

// --- Operand lists ------------------------------------------------------------

TEST(Horzcat, SingleOperandIsSharedCopyOfAnyArray) {
    // Complex int32 with three dimensions: nothing is checked for one operand.
    ArrayPtr a = Array({2, 3, 4}, mxClassInt32, mxComplexityComplex);
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    const CMatrix *list[] = {a.get()};
    ArrayPtr results[] = {ArrayPtr(Horzcat(a.get())), ArrayPtr(Horzcat(1, list)),
                          ArrayPtr(Horzcat(a.get(), nullptr)),
                          ArrayPtr(Horzcat(a.get(), nullptr, nullptr)),
                          ArrayPtr(Horzcat(a.get(), nullptr, nullptr, nullptr)),
                          ArrayPtr(Vertcat(a.get())), ArrayPtr(Vertcat(1, list)),
                          ArrayPtr(Vertcat(a.get(), nullptr)),
                          ArrayPtr(Vertcat(a.get(), nullptr, nullptr, nullptr))};
    for (const ArrayPtr &r : results) {
        EXPECT_EQ(r->GetPr(), a->GetPr());
        EXPECT_EQ(r->GetPi(), a->GetPi());
        EXPECT_EQ(Dims(r.get()), (DimList{2, 3, 4}));
        EXPECT_EQ(r->GetClassID(), mxClassInt32);
    }
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);
}

TEST(Horzcat, OperandsEndAtFirstNull) {
    ArrayPtr a = Matrix(1, 1, {1}), b = Matrix(1, 1, {2}), c = Matrix(1, 1, {3}),
             d = Matrix(1, 1, {4}), e = Matrix(1, 1, {5});
    EXPECT_EQ(Values(ArrayPtr(Horzcat(a.get(), b.get(), nullptr)).get()),
              (std::vector<double>{1, 2}));
    EXPECT_EQ(Values(ArrayPtr(Horzcat(a.get(), b.get(), nullptr, d.get())).get()),
              (std::vector<double>{1, 2}));
    EXPECT_EQ(Values(ArrayPtr(Horzcat(a.get(), b.get(), c.get(), nullptr)).get()),
              (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(Values(ArrayPtr(Horzcat(a.get(), b.get(), c.get(), d.get(), nullptr)).get()),
              (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(
        Values(ArrayPtr(Horzcat(a.get(), b.get(), c.get(), d.get(), e.get(), nullptr, a.get()))
                   .get()),
        (std::vector<double>{1, 2, 3, 4, 5}));
}

TEST(Vertcat, OperandsEndAtFirstNull) {
    ArrayPtr a = Matrix(1, 1, {1}), b = Matrix(1, 1, {2}), c = Matrix(1, 1, {3}),
             d = Matrix(1, 1, {4});
    EXPECT_EQ(Values(ArrayPtr(Vertcat(a.get(), b.get(), nullptr)).get()),
              (std::vector<double>{1, 2}));
    EXPECT_EQ(Values(ArrayPtr(Vertcat(a.get(), b.get(), c.get())).get()),
              (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(Values(ArrayPtr(Vertcat(a.get(), nullptr, c.get(), d.get())).get()),
              (std::vector<double>{1}));
    EXPECT_EQ(Values(ArrayPtr(Vertcat(a.get(), b.get(), c.get(), d.get(), nullptr)).get()),
              (std::vector<double>{1, 2, 3, 4}));
}

// More operands than fit in the list kept on the stack.
#define MATRIX_TWENTY_OPERANDS(o)                                                      \
    o[0].get(), o[1].get(), o[2].get(), o[3].get(), o[4].get(), o[5].get(), o[6].get(), \
        o[7].get(), o[8].get(), o[9].get(), o[10].get(), o[11].get(), o[12].get(),      \
        o[13].get(), o[14].get(), o[15].get(), o[16].get(), o[17].get(), o[18].get(),   \
        o[19].get(), nullptr

TEST(Horzcat, ManyVariadicOperands) {
    std::vector<ArrayPtr> o;
    std::vector<const CMatrix *> ops;
    for (unsigned int k = 0; k < 20; ++k) {
        o.push_back(Counting(2, k % 3, 10.0 * k));
        ops.push_back(o.back().get());
    }
    ArrayPtr h(Horzcat(MATRIX_TWENTY_OPERANDS(o)));
    EXPECT_EQ(Dims(h.get()), (DimList{2, 19}));
    EXPECT_EQ(Values(h.get()), ReferenceConcat(ops, true, 2, 19));

    std::vector<ArrayPtr> t;
    ops.clear();
    for (unsigned int k = 0; k < 20; ++k) {
        t.push_back(Counting(k % 3, 2, 10.0 * k));
        ops.push_back(t.back().get());
    }
    ArrayPtr v(Vertcat(MATRIX_TWENTY_OPERANDS(t)));
    EXPECT_EQ(Dims(v.get()), (DimList{19, 2}));
    EXPECT_EQ(Values(v.get()), ReferenceConcat(ops, false, 19, 2));
}

// --- Errors -------------------------------------------------------------------

// Expects [ops] (horizontal) or [ops;] to throw E with `message`, leaving the
// operands unchanged and nothing allocated.
template <typename E>
void ExpectRejected(bool horizontal, const std::vector<const CMatrix *> &ops,
                    const wchar_t *message) {
    const std::vector<ArraySnapshot> before = Snapshots(ops);
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(Join(horizontal, ops), E, message);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_TRUE(Snapshots(ops) == before);
}

TEST(Horzcat, RowCountsMustAgree) {
    ArrayPtr a = Matrix(2, 1, {1, 2}), b = Matrix(3, 1, {1, 2, 3}), e = Array({0, 4});
    const wchar_t *message =
        L"All matrices on a row in the bracketed expression must have the same number of rows";
    ExpectRejected<CAllColumnsMustHaveSameRows>(true, {a.get(), b.get()}, message);
    ExpectRejected<CAllColumnsMustHaveSameRows>(true, {e.get(), a.get(), e.get(), b.get()},
                                                message);
}

TEST(Vertcat, ColumnCountsMustAgree) {
    ArrayPtr a = Matrix(1, 2, {1, 2}), b = Matrix(1, 3, {1, 2, 3});
    ExpectRejected<CAllRowsMustHaveSameColumns>(
        false, {a.get(), b.get()},
        L"All rows in the bracketed expression must have the same number of columns");
}

TEST(Horzcat, RejectsComplexNonDoubleAndNdOperands) {
    ArrayPtr ok = Matrix(1, 1, {1});
    const std::vector<ArrayPtr> bad = [] {
        std::vector<ArrayPtr> v;
        v.push_back(Array({1, 1}, mxClassDouble, mxComplexityComplex));
        v.push_back(Array({1, 1}, mxClassInt32));
        v.push_back(Array({1, 1}, mxClassSingle));
        v.push_back(Array({1, 1}, mxClassChar));
        v.push_back(Array({1, 1}, mxClassCell));
        v.push_back(Array({1, 1, 2}));
        v.push_back(Array({0, 0, 2}));  // empty, but three-dimensional
        return v;
    }();
    const wchar_t *message = L"Operation not implemented! :-(";
    for (const ArrayPtr &b : bad) {
        for (bool horizontal : {true, false}) {
            ExpectRejected<CNotImplementedException>(horizontal, {ok.get(), b.get()}, message);
            ExpectRejected<CNotImplementedException>(horizontal, {b.get(), ok.get()}, message);
        }
    }
}

TEST(Vertcat, ChecksOperandsInOrder) {
    // The mismatch of the second operand is met before the third's class.
    ArrayPtr a = Matrix(1, 2, {1, 2}), b = Matrix(1, 3, {1, 2, 3});
    ArrayPtr c = Array({1, 2}, mxClassInt8);
    ExpectRejected<CAllRowsMustHaveSameColumns>(
        false, {a.get(), b.get(), c.get()},
        L"All rows in the bracketed expression must have the same number of columns");
    ExpectRejected<CNotImplementedException>(false, {a.get(), c.get(), b.get()},
                                             L"Operation not implemented! :-(");
}

TEST(Horzcat, LengthBeyond32BitsThrows) {
    // Arrays without elements may have huge lengths; their sum would wrap.
    ArrayPtr wide = Array({0, 3000000000u}), tall = Array({3000000000u, 0});
    const LiveBlocks blocks;
    EXPECT_THROW(Horzcat(wide.get(), wide.get()), kiv::CExhaustedMemoryException);
    EXPECT_THROW(Vertcat(tall.get(), tall.get()), kiv::CExhaustedMemoryException);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_EQ(Dims(ArrayPtr(Horzcat(tall.get(), tall.get())).get()),
              (DimList{3000000000u, 0}));
}

TEST(Horzcat, AllocationFailureLeaksNothing) {
    std::vector<ArrayPtr> o;
    for (unsigned int k = 0; k < 20; ++k) o.push_back(Counting(3, 2, k));
    const std::vector<const CMatrix *> ops{o[0].get(), o[1].get(), o[2].get()};
    const std::vector<ArraySnapshot> before = Snapshots(ops);
    auto unchanged = [&] { EXPECT_TRUE(Snapshots(ops) == before); };

    EXPECT_GT(matrix_test::ForEachAllocationFailure(
                  [&] { ArrayPtr r(Horzcat(3, const_cast<const CMatrix **>(ops.data()))); },
                  unchanged),
              0);
    // The variadic form with a list on the heap.
    EXPECT_GT(matrix_test::ForEachAllocationFailure(
                  [&] { ArrayPtr r(Vertcat(MATRIX_TWENTY_OPERANDS(o))); }, unchanged),
              1);
}

}  // namespace
