// tests/index/indexassign_test.cpp: Indexassign, A(I) = B and A(I,J) = B.
#include <matrix/matrix.h>

#include <cstdint>
#include <iterator>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;

/// A(I) = B, or A(I,J) = B when J is given.
void Assign(ArrayPtr &a, const CMatrix *i, const CMatrix *j, const CMatrix *b) {
    Apply(a, [&](CMatrix *&raw) { j ? Indexassign(raw, i, j, b) : Indexassign(raw, i, b); });
}

ArrayPtr Int8(DimList d, std::vector<std::int8_t> v) { return Typed(mxClassInt8, d, v); }
ArrayPtr Int16(DimList d, std::vector<std::int16_t> v) { return Typed(mxClassInt16, d, v); }
ArrayPtr Flagged(ArrayPtr a) {
    a->SetLogical();
    return a;
}

// Each case also checks that a sharer of the target keeps its data and that
// the result outlives B. B null stands for A itself, read as it was. A(:) = B
// and A(:,:) = B with a matching B replace A by a share of B, with its data,
// shape, class and flags.
TEST(Indexassign, GrowthAndWrites) {
    const auto C = [] { return Colon(); };
    struct {
        ArrayPtr a, i, j, b, expected;
    } cases[] = {
        // A(I) = B: growth of a row, a column, 0x0, 0x3 and N-d addressed linearly.
        {Row({1, 2, 3}), Row({5}), nullptr, Row({7}), Row({1, 2, 3, 0, 7})},
        {Col({1, 2, 3}), Row({5}), nullptr, Row({7}), Col({1, 2, 3, 0, 7})},
        {Array({0, 0}), Row({3}), nullptr, Row({1}), Row({0, 0, 1})},
        {Counted({1, 4}), Row({1, 3, 6}), nullptr, Row({-1}), Row({-1, 2, -1, 4, 0, -1})},
        {Counted({1, 3}), Row({0.5, 2.5}), nullptr, Row({7, 8}), Row({7, 2, 8})},  // half up
        {Counted({1, 3}), Mask({0, kNaN, -0.0, 0, 1}), nullptr, Row({7, 8}), Row({1, 7, 3, 0, 8})},
        {Counted({1, 3}), Array({0, 0}, mxClassInt32), nullptr, Row({7}), Counted({1, 3})},
        {Int8({1, 2}, {1, 2}), Row({4, 1}), nullptr, Int8({1, 2}, {-5, 6}),
         Int8({1, 4}, {6, 2, 0, -5})},
        {Counted({1, 3}), Row({2}), nullptr, Complex(1, 1, {7}, {-1}),
         Complex(1, 3, {1, 7, 3}, {0, -1, 0})},  // a complex B makes A complex
        {Complex(1, 3, {1, 2, 3}, {4, 5, 6}), Row({1, 5}), nullptr, Row({9}),
         Complex(1, 5, {9, 2, 3, 0, 9}, {4, 5, 6, 0, 0})},  // a real B keeps imaginary parts
        // A(:) = B and A(:,:) = B: a double scalar fills, complex exactly when B is.
        {Counted({1, 2, 2}, 1, mxComplexityComplex), C(), nullptr, Row({4}),
         Filled({1, 2, 2}, {4, 4, 4, 4})},
        {Counted({2, 1}), C(), C(), Complex(1, 1, {4}, {-2}), Complex(2, 1, {4, 4}, {-2, -2})},
        // A(I,J) = B; N-d folded to rows by columns before it grows.
        {Counted({2, 2}), Row({3}), Row({3}), Row({9}), Matrix(3, 3, {1, 2, 0, 3, 4, 0, 0, 0, 9})},
        {Counted({3, 2}), Row({3, 1}), Row({2, 1}), Matrix(2, 2, {7, 8, 9, 10}),
         Matrix(3, 2, {10, 2, 9, 8, 5, 7})},
        {Counted({3, 2}), Row({2, 3}), C(), Matrix(2, 2, {7, 8, 9, 10}),
         Matrix(3, 2, {1, 7, 8, 4, 9, 10})},  // a run of rows
        {Counted({2, 2}), Mask({0, 0, 1}), Mask({1, 0, 1}), Row({7, 8}),
         Matrix(3, 3, {1, 2, 7, 3, 4, 0, 0, 0, 8})},  // masks longer than the extents
        {Counted({2, 2, 2}), Row({1}), Row({5}), Row({9}),
         Matrix(2, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0})},
        // A without elements: a colon stands for B's extent, the other extent kept.
        {Array({0, 5}), C(), Row({3}), Col({1, 2}), Matrix(2, 5, {0, 0, 0, 0, 1, 2, 0, 0, 0, 0})},
        {Array({4, 0}), Row({2}), C(), Row({1, 2}), Matrix(4, 2, {0, 1, 0, 0, 0, 2, 0, 0})},
        {Counted({2, 2}), Row({3}), Row({3}), Array({0, 0}),
         Matrix(3, 3, {1, 2, 0, 3, 4, 0, 0, 0, 0})},  // an empty B: grown, not written
        {Int16({2, 2}, {1, 2, 3, 4}), C(), Row({2}), Int16({1, 1}, {9}),
         Int16({2, 2}, {1, 2, 9, 9})},
        {Complex(2, 2, {1, 2, 3, 4}, {1, 1, 1, 1}), C(), Row({2}), Complex(2, 1, {7, 8}, {-7, -8}),
         Complex(2, 2, {1, 2, 7, 8}, {1, 1, -7, -8})},
        {Counted({2, 3}), C(), nullptr, Flagged(Int16({3, 2}, {1, 2, 3, 4, 5, 6})),
         Flagged(Int16({3, 2}, {1, 2, 3, 4, 5, 6}))},
        {Counted({2, 2, 2}), C(), C(), Counted({2, 4}), Counted({2, 4})},
        {Array({0, 0}), C(), C(), Counted({3, 2}), Counted({3, 2})},
        {Counted({1, 3}), Row({3, 2, 1}), nullptr, nullptr, Row({3, 2, 1})},
        {Counted({2, 2}), Row({2, 1}), C(), nullptr, Matrix(2, 2, {2, 1, 4, 3})}};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        auto &c = cases[k];
        ArrayPtr sharer(c.a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        const CMatrix *b = c.b ? c.b.get() : c.a.get();
        const bool share = c.i->IsColon() && (!c.j || c.j->IsColon()) && !b->IsScalar();
        Assign(c.a, c.i.get(), c.j.get(), b);
        EXPECT_TRUE(!share || (c.a->GetPr() == b->GetPr() && c.a->GetFlags() == b->GetFlags()));
        c.b.reset();
        EXPECT_TRUE(SameArray(c.a.get(), c.expected.get()));
        EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
    }
}

// Refusals after the target has been grown (folded, made complex, unshared)
// leave it so, but never written; a sharer keeps the old data.
TEST(Indexassign, LateRefusalsLeaveTargetGrownNotWritten) {
    ArrayPtr grownInt16 = Int16({4, 1}, {1, 2, 0, 0});
    grownInt16->ToComplex();
    const Expected other = NotImplemented();
    const Expected aib = Expected::Throws<CInAssignAIBElementsMustBeSameException>();
    const Expected ammb = Expected::Throws<CInAssignAMMBDimensionMustBeSameException>();
    const struct {
        Expected error;
        ArrayPtr a, i, j, b, left;
    } cases[] = {{aib, Counted({1, 3}), Row({4, 5}), nullptr, Row({1, 2, 3}), Row({1, 2, 3, 0, 0})},
                 {other, Int16({2, 1}, {1, 2}), Row({4}), nullptr, Complex(1, 1, {5}, {1}),
                  std::move(grownInt16)},
                 {ammb, Counted({2, 2}), Row({3}), Row({1, 2}), Row({7, 8, 9}),
                  Matrix(3, 2, {1, 2, 0, 3, 4, 0})}};
    for (const auto &c : cases) {
        ArrayPtr sharer(c.a->CreateShareArray());
        const auto call = [&] {
            ArrayPtr a(c.a->CreateShareArray());
            try {
                Assign(a, c.i.get(), c.j.get(), c.b.get());
            } catch (...) {
                EXPECT_TRUE(SameArray(a.get(), c.left.get()));
                throw;
            }
        };
        ExpectRefusal(call, c.error, {sharer.get(), c.i.get(), c.j.get(), c.b.get()});
    }
}

// Written slots hold arrays of their own sharing the elements' data, so
// the source may go first; a sharer of the target keeps its slots; an
// empty slot of B empties A's; B may be a cell held in a slot it overwrites.
TEST(Indexassign, CellSlotsOwnTheirElements) {
    const LiveBlocks blocks;
    {
        ArrayPtr a = Cells(1, 3, 10), b = Cells(1, 2, 10), one = Cells(1, 1, 10);
        ArrayPtr sharer(a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        Assign(a, Row({1, 1}).get(), nullptr, b.get());        // repeated position
        Assign(a, Row({1}).get(), Row({5}).get(), one.get());  // growth
        Assign(a, Colon().get(), Row({4}).get(), one.get());   // block form
        EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
        EXPECT_TRUE(mxGetCell(a.get(), 0) != mxGetCell(b.get(), 1) &&
                    mxGetCell(a.get(), 3) != mxGetCell(a.get(), 4));
        EXPECT_EQ(mxGetCell(a.get(), 0)->GetPr(), mxGetCell(b.get(), 1)->GetPr());
        b.reset();
        one.reset();
        for (unsigned int k = 0; k < 5; ++k)
            EXPECT_EQ(Slot(a.get(), k), (ValueList{11, 11, 12, 10, 10}[k]));
        Assign(a, Row({2}).get(), nullptr, ArrayPtr(mxCreateCellMatrix(1, 1)).get());
        EXPECT_EQ(mxGetCell(a.get(), 1), nullptr);
        mxSetCell(a.get(), 1, Cells(1, 2, 20).release());
        Assign(a, Row({2, 1}).get(), nullptr, mxGetCell(a.get(), 1));
        EXPECT_TRUE(Slot(a.get(), 0) == 21 && Slot(a.get(), 1) == 20);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

}  // namespace
