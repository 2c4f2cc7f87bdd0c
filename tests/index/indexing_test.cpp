// tests/index/indexing_test.cpp: the subscript iterators, indexed reference A(I) and A(I,J),
// indexed assignment A(I) = B and A(I,J) = B, indexed deletion of elements, rows and columns,
// their refusals and their failed allocations.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using namespace matrix_test::special;

// The index iterator rounds doubles half up, keeps the low 32 bits of the
// truncated value (so negatives wrap), and gives 0 for NaN and magnitudes of
// 2^63 or more. Then every branch of the shape rule, with the values taken from 1, 2, 3, ...
// (the imaginary parts from -1/4, -2/4, ...). One subscript: a vector and a
// vector (or empty 2-d) index keep the target's orientation; a mask on a
// vector too; otherwise an index gives its own shape, and a mask a row when
// it is a 2-d row, else a column. Two subscripts: rows and columns, the
// later dimensions folded into the columns. Colons share A's data. A mask
// without a true element, or an empty one of two subscripts, gives a real
// double.
TEST(Indexref, IteratorsResultShapesAndValues) {
    const ArrayPtr index = Row({0.49, 2.5, -0.6, 0x1p32 + 1, NAN, 0x1p63});
    CMatrixIndexIterator it(index.get());
    for (std::uint32_t e : {0u, 3u, 4294967295u, 1u, 0u, 0u}) EXPECT_EQ(it.GetNextIndex(), e);
    const struct {
        DimList a;
        ArrayPtr i, j;
        DimList expected;
        ValueList values;
    } cases[] = {
        {{1, 5}, Col({5, 2}), nullptr, {1, 2}, {5, 2}},
        {{5, 1}, Row({1.5, 4.49}), nullptr, {2, 1}, {2, 4}},  // half up, and below a half down
        {{1, 1}, Col({1, 1, 1}), nullptr, {1, 3}, {1, 1, 1}},
        {{4, 1}, Array({1, 0}), nullptr, {0, 1}, {}},
        {{1, 5}, Filled({1, 2, 2}, {1, 2, 3, 4}), nullptr, {1, 2, 2}, {1, 2, 3, 4}},
        {{1, 2, 2}, Colon(), nullptr, {4, 1}, {1, 2, 3, 4}},
        {{1, 5}, Mask({0, 1, 0, 1, 1}, {5, 1}), nullptr, {1, 3}, {2, 4, 5}},
        {{2, 3}, Mask({1, 0, 1, 0, 1, 0}), nullptr, {1, 3}, {1, 3, 5}},
        {{2, 3}, Mask({0, 1, 1, 0, 0, 1}, {2, 3}), nullptr, {3, 1}, {2, 3, 6}},
        {{2, 2}, Mask({1, 0, 0, 1, 0, 0}), nullptr, {1, 2}, {1, 4}},  // longer, false beyond A
        {{1, 4}, Mask({0, NAN, -0.0, 2}), nullptr, {1, 2}, {2, 4}},   // NaN true, -0 false
        {{3, 2, 2}, Row({3, 1}), Row({4, 1, 4}), {2, 3}, {12, 10, 3, 1, 12, 10}},
        {{3, 2, 2}, Row({2, 3}), Row({2.5, 4}), {2, 2}, {8, 9, 11, 12}},  // a run of rows
        {{3, 2, 2}, Colon(), Mask({0, 1, 0, 1}), {3, 2}, {4, 5, 6, 10, 11, 12}},
        {{3, 2, 2}, U32({0, 2}, true), Colon(), {1, 4}, {2, 5, 8, 11}},  // a uint32 mask
        {{3, 2, 2}, Array({0, 0}, mxClassInt32), Mask({1, 0, 1, 1, 0}), {0, 3}, {}},
        {{3, 2, 2}, Mask({1, 0, 1}), Array({0, 0}, mxClassInt32), {2, 0}, {}}};
    for (const auto &[a, i, j, expected, values] : cases) {
        ArrayPtr A = Counted(a, 1, mxComplexityComplex);
        ArrayPtr R(j ? Indexref(A.get(), i.get(), j.get()) : Indexref(A.get(), i.get()));
        EXPECT_TRUE(Dims(R.get()) == expected && Values(R.get()) == values) << values.size();
        for (std::size_t k = 0; k < values.size(); ++k)
            EXPECT_EQ(ImagValues(R.get())[k], -values[k] / 4);
        EXPECT_TRUE(R->IsDouble() && R->GetFlags() == 0u);
        const bool colons = i->IsColon() && (!j || j->IsColon());
        EXPECT_TRUE(!colons || (R->GetPr() == A->GetPr() && R->GetPi() == A->GetPi()));
        EXPECT_TRUE(!values.empty() || !(j || i->IsLogical()) || !R->IsComplex());
    }
    // The class is kept, also when empty; a cell row keeps its orientation
    // as a numeric row does.
    ArrayPtr ints = Array({2, 2}, mxClassInt16), cells = Cells(1, 3);
    EXPECT_TRUE(ArrayPtr(Indexref(ints.get(), Array({1, 0}).get()))->IsInt16());
    EXPECT_EQ(Dims(ArrayPtr(Indexref(cells.get(), Col({1, 3}).get())).get()), (DimList{1, 2}));
}

// A logical complex array of class `id`, its real bytes 1, 2, 3, ... and its
// imaginary bytes the same reversed, so that every element differs.
ArrayPtr Scrambled(const DimList &dims, mxClassID id) {
    ArrayPtr A = Array(dims, id, mxComplexityComplex);
    const std::vector<unsigned char> re = FillBytes(A.get());
    std::reverse_copy(re.begin(), re.end(), static_cast<unsigned char *>(A->GetPi()));
    A->SetLogical();
    return A;
}

// Masks of every density, read in words of 64 elements (full, dense,
// sparse, a last one cut short, false ones beyond A), and the same
// positions as a double or uint32 index or as rows select those elements,
// bytes unchanged, in every element size; the result is never logical.
TEST(Indexref, EveryPathSelectsTheSameBytesInEveryElementSize) {
    std::mt19937 rng(static_cast<std::uint32_t>(Seed()));
    const unsigned int n = 300;
    const ArrayPtr one = Row({1});
    for (mxClassID id : {mxClassInt8, mxClassInt16, mxClassSingle, mxClassDouble}) {
        const ArrayPtr A = Scrambled({n, 1}, id);
        for (double density : {0.0, 0.02, 0.5, 0.9, 1.0}) {
            std::bernoulli_distribution draw(density);
            ArrayPtr mask = Array({1, n + 100});
            ValueList positions;
            for (unsigned int k = 0; k < n + 100; ++k)
                if ((mxGetPr(mask.get())[k] = k < n && draw(rng))) positions.push_back(k + 1);
            mask->SetLogical();
            const ArrayPtr index = Row(positions), u32 = U32({positions.begin(), positions.end()});
            for (const ArrayPtr &r :
                 {ArrayPtr(Indexref(A.get(), mask.get())), ArrayPtr(Indexref(A.get(), index.get())),
                  ArrayPtr(Indexref(A.get(), u32.get())),
                  ArrayPtr(Indexref(A.get(), index.get(), one.get()))}) {
                for (bool imag : {false, true}) {
                    const auto want = Picked(Bytes(A.get(), imag), A->GetElementSize(), positions);
                    EXPECT_EQ(Bytes(r.get(), imag), want) << id << ' ' << density;
                }
                EXPECT_TRUE((positions.empty() || r->GetClassID() == id) && r->GetFlags() == 0u);
            }
        }
    }
}

// Large selections, gathered in chunks on several threads: a mask of every
// density (its dense words next to the chunks' ends), and A(I,J) with a
// list and a run of rows, each against the positions picked one by one,
// on one thread and on three.
TEST(Indexref, LargeSelectionsPickTheSameBytesOnAnyThreadCount) {
    std::mt19937 rng(static_cast<std::uint32_t>(Seed()));
    const unsigned int rows = 400, columns = 1000;
    const unsigned int threadsBefore = GetNumThreads();
    for (mxClassID id : {mxClassInt8, mxClassDouble}) {
        const ArrayPtr A = Scrambled({rows, columns}, id);
        const std::size_t size = A->GetElementSize();
        for (unsigned int threads : {1u, 3u}) {
            SetNumThreads(threads);
            // Density -1: each word of 64 elements empty or about half
            // full at random, so that dense words end some chunks' runs.
            for (double density : {0.02, 0.3, 0.9, 1.0, -1.0}) {
                std::bernoulli_distribution draw(density < 0 ? 0.5 : density);
                ArrayPtr mask = Array({rows, columns});
                ValueList positions;
                bool emptyWord = false;
                for (unsigned int k = 0; k < rows * columns; ++k) {
                    if (k % 64 == 0) emptyWord = density < 0 && draw(rng);
                    if ((mxGetPr(mask.get())[k] = !emptyWord && draw(rng))) {
                        positions.push_back(k + 1);
                    }
                }
                mask->SetLogical();
                const ArrayPtr r(Indexref(A.get(), mask.get()));
                for (bool imag : {false, true}) {
                    EXPECT_EQ(Bytes(r.get(), imag), Picked(Bytes(A.get(), imag), size, positions))
                        << id << ' ' << threads << ' ' << density;
                }
            }
            // Rows at random, a run of rows (one block per column), and a
            // short run (copied element by element).
            for (unsigned int kind : {0u, 1u, 2u}) {
                std::uniform_int_distribution<unsigned int> row(1, rows), column(1, columns);
                const unsigned int length = kind == 2 ? 5 : 300;
                ValueList I, J, positions;
                for (unsigned int i = 0; i < length; ++i) I.push_back(kind > 0 ? 51 + i : row(rng));
                for (unsigned int j = 0; j < 800; ++j) J.push_back(column(rng));
                for (double j : J)
                    for (double i : I) positions.push_back((j - 1) * rows + i);
                const ArrayPtr r(Indexref(A.get(), Row(I).get(), Row(J).get()));
                EXPECT_EQ(Dims(r.get()), DimList({length, 800}));
                for (bool imag : {false, true}) {
                    EXPECT_EQ(Bytes(r.get(), imag), Picked(Bytes(A.get(), imag), size, positions))
                        << id << ' ' << threads << ' ' << kind;
                }
            }
        }
    }
    SetNumThreads(threadsBefore);
}

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
// the result outlives B. B or I null stands for A itself, read as it was. A(:) = B
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
        // An empty N-d target becomes a row, whatever its later lengths.
        {Array({1, 2, 0}), Row({40}), nullptr, Row({7}),
         [] {
             ValueList v(40);
             v.back() = 7;
             return Row(v);
         }()},
        {Array({1, 0, 3}), Row({2}), nullptr, Row({5}), Row({0, 5})},
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
        {Counted({2, 2}), Row({3}), Row({3}), Array({0, 0}),
         Matrix(3, 3, {1, 2, 0, 3, 4, 0, 0, 0, 0})},  // an empty B: grown, not written
        {Counted({2, 3}), C(), nullptr, Flagged(Int16({3, 2}, {1, 2, 3, 4, 5, 6})),
         Flagged(Int16({3, 2}, {1, 2, 3, 4, 5, 6}))},
        {Counted({2, 2, 2}), C(), C(), Counted({2, 4}), Counted({2, 4})},
        {Counted({1, 3}), Row({3, 2, 1}), nullptr, nullptr, Row({3, 2, 1})},
        {Counted({2, 2}), Row({2, 1}), C(), nullptr, Matrix(2, 2, {2, 1, 4, 3})},
        // The target as its own index (a null I), read as it was before the writes.
        {Row({2, 1}), nullptr, nullptr, Row({5, 6}), Row({6, 5})}};
    for (auto &c : cases) {
        ArrayPtr sharer(c.a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        const CMatrix *b = c.b ? c.b.get() : c.a.get();
        const CMatrix *i = c.i ? c.i.get() : c.a.get();
        const bool share = i->IsColon() && (!c.j || c.j->IsColon()) && !b->IsScalar();
        Assign(c.a, i, c.j.get(), b);
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
    const Expected aib = Expected::Throws<CInAssignAIBElementsMustBeSameException>();
    const Expected ammb = Expected::Throws<CInAssignAMMBDimensionMustBeSameException>();
    const struct {
        Expected error;
        ArrayPtr a, i, j, b, left;
    } cases[] = {{aib, Counted({1, 3}), Row({4, 5}), nullptr, Row({1, 2, 3}), Row({1, 2, 3, 0, 0})},
                 {NotImplemented(), Int16({2, 1}, {1, 2}), Row({4}), nullptr,
                  Complex(1, 1, {5}, {1}), std::move(grownInt16)},
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

using Deletion = std::function<void(CMatrix *&)>;
// The forms deleting with subscript S: elements ('e'), rows ('r') or
// columns ('c'), each of the last two also with two subscripts.
std::vector<Deletion> Forms(char form, const CMatrix *S) {
    if (form == 'e') return {[=](CMatrix *&a) { Indexdelete(a, S); }};
    const bool r = form == 'r';
    return {[=](CMatrix *&a) { r ? IndexdeleteRow(a, S) : IndexdeleteColumn(a, S); },
            [=](CMatrix *&a) { Indexdelete(a, r ? S : Colon().get(), r ? Colon().get() : S); }};
}

// Every branch of the shape rule, through each form, with the positions
// kept. Elements move by their size, in both parts; the class is kept, the
// logical flag dropped; the old array is released, not overwritten, so a
// sharer keeps its data.
TEST(Indexdelete, ShapesAndPositionsKept) {
    const struct {
        DimList a;
        char form;
        ArrayPtr s;
        DimList expected;
        ValueList kept;
    } cases[] = {
        // Elements: a two-dimensional column stays a column, anything else becomes a row.
        {{1, 5}, 'e', Row({4, 2, 4}), {1, 3}, {1, 3, 5}},  // repeated, unordered
        {{1, 5}, 'e', Row({1.6, 4.5}), {1, 3}, {1, 3, 4}},
        {{1, 5}, 'e', Row({1, 2, 3, 4, 5}), {1, 0}, {}},
        {{5, 1}, 'e', Row({1, 5}), {3, 1}, {2, 3, 4}},
        {{2, 1, 2}, 'e', Row({4, 1}), {1, 2}, {2, 3}},
        {{1, 3}, 'e', Mask({0, 1, 0, 0, 0}), {1, 2}, {1, 3}},    // longer than A, false tail
        {{1, 4}, 'e', Mask({NAN, -0.0, 0, 1}), {1, 2}, {2, 3}},  // NaN true, -0 false
        // Rows and columns, the later dimensions folded into the columns.
        {{3, 4}, 'c', Row({2, 4}), {3, 2}, {1, 2, 3, 7, 8, 9}},
        {{3, 4}, 'r', Row({1, 3}), {1, 4}, {2, 5, 8, 11}},
        {{2, 2, 2}, 'c', Row({3}), {2, 3}, {1, 2, 3, 4, 7, 8}},
        {{3, 4}, 'r', U32({0, 1, 0, 0}, true), {2, 4}, {1, 3, 4, 6, 7, 9, 10, 12}},  // longer mask
        {{3, 4}, 'c', Mask({1, 0, 0, 1}), {3, 2}, {4, 5, 6, 7, 8, 9}}};
    for (const auto &[a, form, s, expected, kept] : cases) {
        for (mxClassID id : {mxClassInt16, mxClassDouble}) {
            for (const Deletion &deletion : Forms(form, s.get())) {
                ArrayPtr A = Scrambled(a, id);
                ArrayPtr sharer(A->CreateShareArray());
                const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
                Apply(A, deletion);
                EXPECT_EQ(Dims(A.get()), expected) << id << ' ' << form << kept.size();
                for (bool imag : {false, true}) {
                    const auto want = Picked(Bytes(sharer.get(), imag), A->GetElementSize(), kept);
                    EXPECT_EQ(Bytes(A.get(), imag), want) << id << ' ' << form << kept.size();
                }
                EXPECT_TRUE(A->GetClassID() == id && A->GetFlags() == 0u);
                EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
            }
        }
    }
}

// An empty subscript, or a mask without a true element, leaves A as it
// was: the same array, not a copy. A colon empties A: a 0x0 real double
// whatever A was; a 0x0 A is kept.
TEST(Indexdelete, NothingToDeleteAndColonEmpties) {
    const ArrayPtr subscripts[] = {Mask({0, -0.0, 0, 0, 0, 0, 0}), Colon()};
    for (const ArrayPtr &S : subscripts) {
        for (char form : {'e', 'r', 'c'}) {
            for (const Deletion &deletion : Forms(form, S.get())) {
                ArrayPtr A = Scrambled({2, 3, 2}, mxClassInt16), E = Array({0, 0}, mxClassInt8);
                const CMatrix *same = A.get(), *kept = E.get();
                const ArraySnapshot before = ArraySnapshot::Of(A.get());
                Apply(A, deletion);
                Apply(E, deletion);
                EXPECT_TRUE(S->IsColon()
                                ? SameArray(A.get(), Array({0, 0}).get()) && A->GetFlags() == 0u
                                : A.get() == same && ArraySnapshot::Of(A.get()) == before);
                EXPECT_TRUE(E.get() == kept && E->IsInt8());
            }
        }
    }
}

// Cell slots: each copied or written slot is an array object of its own
// sharing the element's data, so the source may go first, and nothing is
// left behind.
TEST(Indexing, CellSlotsOwnTheirShares) {
    const LiveBlocks blocks;
    {
        // Each copied slot is an array object of its own sharing the element's
        // data, so the source can go first.
        ArrayPtr A = Cells(1, 3), I = Row({3, 1, 2, 3}), mask = Mask({1, 1, 1});
        mxSetCell(A.get(), 1, nullptr);
        ArrayPtr byIndex(Indexref(A.get(), I.get())), byMask(Indexref(A.get(), mask.get()));
        ArrayPtr byBlock(Indexref(A.get(), Row({1}).get(), I.get()));
        EXPECT_TRUE(mxGetCell(byIndex.get(), 0) != mxGetCell(A.get(), 2) &&
                    mxGetCell(byIndex.get(), 0) != mxGetCell(byIndex.get(), 3));
        EXPECT_EQ(mxGetCell(byIndex.get(), 0)->GetPr(), mxGetCell(A.get(), 2)->GetPr());
        A.reset();
        EXPECT_TRUE(Slot(byBlock.get(), 3) == 3 && Slot(byMask.get(), 0) == 1);
        EXPECT_EQ(mxGetCell(byIndex.get(), 2), nullptr);
    }
    {
        // Written slots hold arrays of their own sharing the elements' data, so
        // the source may go first; a sharer of the target keeps its slots; an
        // empty slot of B empties A's; B may be a cell held in a slot it overwrites.
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
    {
        // A cell grows by a linear subscript as a numeric array does: a row
        // (one element counts as one) to a longer row with empty slots
        // between, a column to a longer column; a 2 x 2 cell is refused and
        // left as it was.
        ArrayPtr row = Cells(1, 1), column = Cells(2, 1), square = Cells(2, 2);
        const ArrayPtr one = Cells(1, 1, 7);
        Assign(row, Row({2}).get(), nullptr, one.get());
        Assign(row, Row({4}).get(), nullptr, one.get());
        Assign(column, Row({3}).get(), nullptr, one.get());
        EXPECT_TRUE(Dims(row.get()) == (DimList{1, 4}) && Dims(column.get()) == (DimList{3, 1}));
        EXPECT_TRUE(Slot(row.get(), 0) == 1 && Slot(row.get(), 1) == 7 &&
                    mxGetCell(row.get(), 2) == nullptr && Slot(row.get(), 3) == 7);
        EXPECT_EQ(Slot(column.get(), 2), 7);
        const ArraySnapshot before = ArraySnapshot::Of(square.get());
        EXPECT_THROW(Assign(square, Row({5}).get(), nullptr, one.get()),
                     CInAssignAMBACantBeResizedException);
        EXPECT_TRUE(ArraySnapshot::Of(square.get()) == before);
    }
    {
        // The kept slots of a cell array are arrays of their own sharing the
        // elements' data; the deleted elements go with the old array, unless
        // another holder of the old slots keeps them.
        ArrayPtr A(mxCreateCellMatrix(2, 2)), one = Row({1});
        for (unsigned int k = 0; k < 3; ++k) mxSetCell(A.get(), k, Scalar(k + 1.0));
        const CMatrix *kept = mxGetCell(A.get(), 2);
        ArrayPtr other(A->CreateShareArray());
        Apply(A, Forms('r', one.get())[0]);  // slots 2 and 4 are left
        EXPECT_EQ(mxGetCell(other.get(), 2), kept);
        EXPECT_EQ(mxGetCell(A.get(), 0)->GetPr(), mxGetCell(other.get(), 1)->GetPr());
        other.reset();
        EXPECT_TRUE(Slot(A.get(), 0) == 2 && mxGetCell(A.get(), 1) == nullptr);
        Apply(A, Forms('c', one.get())[0]);
        EXPECT_TRUE(Dims(A.get()) == (DimList{1, 1}) && mxGetCell(A.get(), 0) == nullptr);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

// Runs an operation on target A: 'r' reference, 'a' assignment, 'e'
// deletion of elements (or with two subscripts), 'R' of rows, 'C' of
// columns, 'i' the index (or, given J, the logical) iterator; J and B are
// null when absent.
using Op = char;
void Perform(Op op, CMatrix *&a, const CMatrix *i, const CMatrix *j, const CMatrix *b) {
    if (op == 'r') ArrayPtr(j ? Indexref(a, i, j) : Indexref(a, i));
    if (op == 'a') j ? Indexassign(a, i, j, b) : Indexassign(a, i, b);
    if (op == 'e') j ? Indexdelete(a, i, j) : Indexdelete(a, i);
    if (op == 'R') IndexdeleteRow(a, i);
    if (op == 'C') IndexdeleteColumn(a, i);
    if (op == 'i') j ? void(CMatrixLogicalIterator{i}) : void(CMatrixIndexIterator{i});
}
const Op kRef = 'r', kAssign = 'a', kDelete = 'e', kDeleteRows = 'R', kDeleteColumns = 'C';
const Op kIterators = 'i';

// The rows of the refusal table. Each works on a target of its own with a
// sharer (so that a write would have to unshare first); the target, its
// sharer and every argument must stay as they were.
class Table {
public:
    void Add(const Expected &e, Op op, ArrayPtr a, ArrayPtr i, ArrayPtr j, ArrayPtr b = nullptr) {
        ArrayPtr *target = &m_targets.emplace_back(std::move(a));
        const CMatrix *sharer = Keep(ArrayPtr((*target)->CreateShareArray()));
        const CMatrix *ip = Keep(std::move(i)), *jp = Keep(std::move(j)), *bp = Keep(std::move(b));
        const auto call = [=] { Apply(*target, [&](CMatrix *&t) { Perform(op, t, ip, jp, bp); }); };
        rows.push_back({std::to_string(rows.size()), call, e, {target->get(), sharer, ip, jp, bp}});
    }
    std::vector<Refusal> rows;

private:
    const CMatrix *Keep(ArrayPtr a) { return m_kept.emplace_back(std::move(a)).get(); }
    std::vector<ArrayPtr> m_kept;
    std::deque<ArrayPtr> m_targets;  // stable addresses for the calls
};

TEST(Index, Refusals) {
    const Expected zero = Expected::Throws<CIndexIntoMatrixNegativeOrZeroException>();
    const Expected beyond = Expected::Throws<CIndexExceedsMatrixDimensionsException>();
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    const Expected aib = Expected::Throws<CInAssignAIBElementsMustBeSameException>();
    const Expected acolonb = Expected::Throws<CInAssignAColonBElementsMustBeSameException>();
    const Expected ammb = Expected::Throws<CInAssignAMMBDimensionMustBeSameException>();
    const Expected resize = Expected::Throws<CInAssignAMBACantBeResizedException>();
    const Expected moreDims = Expected::Throws<CAssignHasMoreRHSDimsThanSubsExcpetion>();
    const Expected colon =
        Expected::Throws(CFunctionErrorException(L"At least one of two indices must be a colon"));
    const Expected other = NotImplemented();
    Table t;
    // Reference into a 2x1x2 A (2 rows, 2 folded columns, 4 elements).
    const auto ref = [&](const Expected &e, ArrayPtr i, ArrayPtr j = nullptr) {
        t.Add(e, kRef, Counted({2, 1, 2}), std::move(i), std::move(j));
    };
    const auto assign = [&](const Expected &e, ArrayPtr a, ArrayPtr i, ArrayPtr j, ArrayPtr b) {
        t.Add(e, kAssign, std::move(a), std::move(i), std::move(j), std::move(b));
    };
    // Deletion from a complex 1x5 A.
    const auto erase = [&](const Expected &e, Op op, ArrayPtr i, ArrayPtr j = nullptr) {
        t.Add(e, op, Counted({1, 5}, 1, mxComplexityComplex), std::move(i), std::move(j));
    };

    // The iterators read double and uint32 only.
    t.Add(other, kIterators, Row({1}), Zeroed({1, 2}, mxClassInt32), nullptr);
    t.Add(other, kIterators, Row({1}), Zeroed({1, 2}, mxClassInt32), Row({1}));

    // Reference: the first offender in storage order decides, judged by
    // value, not by the position it would wrap to; the row subscript before
    // the column subscript.
    for (const ValueList &v : {ValueList{-3}, {0.49}, {-0.5}, {NAN}, {2, 0, 9}}) ref(zero, Row(v));
    for (const ValueList &v : {ValueList{4.5}, {9, 0}, {0x1p32 + 1}}) ref(beyond, Row(v));
    ref(zero, U32({0}));
    ref(beyond, U32({9, 0}));
    ref(beyond, Mask({0, 0, 0, 0, 1}));
    // One-subscript masks are read in class double only, even all false.
    ref(other, U32({0}, true));
    ref(other, Zeroed({1, 0}, mxClassUint8));
    // Two subscripts, against 2 rows and 2 folded columns.
    ref(beyond, Row({3}), Row({0}));  // the row subscript first
    ref(zero, Row({0}), Row({3}));
    ref(zero, Row({1, 2}), Row({2, NAN}));
    ref(beyond, Row({2, 9, 0}), Row({1}));
    ref(beyond, Mask({0, 0, 1}), Colon());
    ref(other, Row({1}), Flagged(Zeroed({1, 1}, mxClassSingle)));
    ref(beyond, Row({3}), Zeroed({1, 1}, mxClassInt32));  // the row error first
    // An empty subscript: the other one is only counted, a mask in class double.
    ref(beyond, Array({1, 0}), Row({3}));
    ref(zero, Row({0}), Array({1, 0}));
    ref(other, Array({1, 0}), U32({1}, true));

    // Assignment: bad subscripts first, each of which would grow or write
    // the target if taken as the position it wraps to.
    for (const ValueList &v : {ValueList{-3}, {0.49}, {NAN}, {9, 2, 0}, {0, 0x1p32}}) {
        assign(zero, Counted({1, 3}), Row(v), nullptr, Row({5}));
        assign(zero, Counted({1, 3}), Row(v), nullptr, Array({1, 7}, mxClassInt8));
        assign(zero, Counted({1, 3}), Row(v), Row({1}), Row({5}));
        assign(zero, Counted({1, 3}), Colon(), Row(v), Row({5}));
    }
    assign(zero, Counted({1, 3}), U32({7, 0}), nullptr, Row({5}));
    // 2^32 - 1 passes the index test and fails the growth, whose byte size
    // does not fit in 32 bits.
    for (double x : {4294967295.5, double(INFINITY), 4294967295.0}) {
        assign(memory, Counted({1, 3}), Row({2, x}), nullptr, Row({5}));
        assign(memory, Counted({1, 3}), Row({1}), Row({2, x}), Row({5}));
    }
    assign(memory, Counted({1, 3}), Row({0x1p32, 0}), nullptr, Row({5}));
    assign(other, Counted({2, 2}), Zeroed({1, 1}, mxClassInt32), nullptr, Row({5}));
    assign(other, Counted({2, 2}), Row({1}), Zeroed({1, 1}, mxClassSingle), Row({5}));
    // A(I) = B: empty I, then the count before the class; a 1x1 cell is no scalar.
    assign(aib, Counted({1, 3}), Array({0, 0}), nullptr, Row({1, 2}));
    assign(aib, Counted({1, 3}), Row({1, 2}), nullptr, Row({5, 6, 7}));
    assign(aib, Cells(1, 3), Row({1, 2}), nullptr, Cells(1, 1));
    // Linear growth of anything but a vector or an empty array of at most one row.
    assign(resize, Counted({2, 2}), Row({9}), nullptr, Row({5, 6}));
    assign(resize, Array({2, 0}), Row({9}), nullptr, Row({5, 6}));
    // A(:) = B: counts compared unless B is a double scalar, which needs a double A.
    assign(acolonb, Counted({2, 3}), Colon(), nullptr, Counted({5, 1}));
    assign(acolonb, Counted({2, 3}), Colon(), nullptr, Zeroed({1, 1}, mxClassInt32));
    assign(other, Counted({2, 3}), Colon(), Colon(), Zeroed({1, 1}, mxClassInt32));
    assign(other, Zeroed({2, 2}, mxClassInt32), Colon(), nullptr, Row({5}));
    assign(acolonb, Counted({2, 3}), Colon(), Colon(), Counted({3, 2}));
    // A(I,J) = B: both subscripts empty, even for a 3-d B; a 3-d B before the
    // subscripts are read; B's rows, then columns; the class before the shape.
    assign(ammb, Counted({2, 2}), Array({0, 0}), Array({0, 0}), Row({1, 2}));
    assign(ammb, Counted({2, 2}), Array({0, 0}), Array({0, 0}), Counted({1, 1, 2}));
    assign(moreDims, Counted({2, 2}), Row({0}), Colon(), Counted({2, 1, 2}));
    assign(moreDims, Counted({2, 2}), Colon(), Colon(), Counted({2, 1, 2}));
    assign(ammb, Counted({2, 2}), Colon(), Row({1}), Col({1, 2, 3}));
    assign(ammb, Counted({2, 2}), Row({1}), Colon(), Col({1, 2}));
    assign(other, Counted({2, 2}), Row({1}), Row({1}), Array({1, 3}, mxClassInt32));

    // Deletion: positions outside 1..extent, whatever the reason, are
    // "exceeds": zero, negative, NaN, and values that would wrap onto a
    // valid position.
    for (const ValueList &v : {ValueList{0}, {-1}, {0.49}, {NAN}, {0x1p32 + 1}, {1, 2, 6, 3}}) {
        erase(beyond, kDelete, Row(v));
    }
    erase(beyond, kDelete, Mask({0, 0, 0, 0, 0, 1}));
    erase(beyond, kDelete, U32({6}));
    for (const ValueList &v : {ValueList{0}, {NAN}, {2, 6}, {0x1p32 + 2}}) {
        erase(beyond, kDeleteColumns, Row(v));
        erase(beyond, kDelete, Colon(), Row(v));
    }
    erase(beyond, kDeleteRows, Row({2}));
    erase(beyond, kDelete, Mask({0, 1}), Colon());
    for (Op op : {kDelete, kDeleteRows, kDeleteColumns})
        erase(other, op, Zeroed({1, 2}, mxClassInt32));
    // Two subscripts need a colon, even when one of them is empty.
    erase(colon, kDelete, Row({1}), Row({1}));
    erase(colon, kDelete, Array({1, 0}), Row({1}));
    ExpectRefusals(t.rows);
}

// Every allocation failing in turn, on every path. A failed reference or
// deletion leaves A the same, unchanged array. A failed assignment too,
// where a sharer makes the write unshare first (not for cells, whose
// unsharing gives the slots new owners); elsewhere (`fresh`) it may leave A
// grown, folded, unshared or complex, so those rows work on a fresh copy.
TEST(Index, AllocationFailures) {
    std::vector<ArrayPtr> kept;
    std::deque<ArrayPtr> targets;  // stable addresses for the calls
    const auto keep = [&](ArrayPtr a) { return kept.emplace_back(std::move(a)).get(); };
    std::vector<FailureCase> table;
    const auto add = [&](Op op, const CMatrix *a, const CMatrix *i, const CMatrix *j,
                         const CMatrix *b, bool fresh = false) {
        const auto run = [=](CMatrix *&t) { Perform(op, t, i, j, b); };
        const std::string what = "row " + std::to_string(table.size());
        const auto copy = [=] {
            ArrayPtr t(a->CreateDuplicateArray()), s(t->CreateShareArray());
            Apply(t, run);
        };
        if (fresh) return table.push_back({what, InPlace(copy), {a, i, j, b}});
        ArrayPtr *t = &targets.emplace_back(a->CreateDuplicateArray());
        const CMatrix *sharer = a->IsCell() ? nullptr : keep(ArrayPtr((*t)->CreateShareArray()));
        table.push_back({what, InPlace([=] { Apply(*t, run); }), {t->get(), sharer, i, j, b}});
    };
    CMatrix *cells = keep(Cells(3, 3)), *complex = keep(Counted({3, 3}, 1, mxComplexityComplex));
    mxSetCell(cells, 4, nullptr);
    const CMatrix *I = keep(Row({3, 1, 3})), *mask = keep(Mask({0, 1, 1})), *colon = keep(Colon());
    for (const CMatrix *a : {cells, complex}) {
        const CMatrix *three = keep(a == cells ? Cells(1, 3) : Row({9, 8, 7}));
        const CMatrix *block = keep(a == cells ? Cells(3, 3) : Counted({3, 3}));
        const CMatrix *one = keep(a == cells ? Cells(1, 1) : Complex(1, 1, {1}, {2}));
        for (const CMatrix *s : {I, mask, colon}) add(kRef, a, s, nullptr, nullptr);
        add(kRef, a, I, mask, nullptr);
        add(kDelete, a, I, nullptr, nullptr);
        add(kDeleteRows, a, mask, nullptr, nullptr);
        add(kDeleteColumns, a, I, nullptr, nullptr);
        add(kDelete, a, colon, nullptr, nullptr);
        add(kAssign, a, I, nullptr, three);
        add(kAssign, a, colon, I, block);
        add(kAssign, a, keep(Row({4})), keep(Row({1})), one, true);
    }
    const CMatrix *nine = keep(Row({9}));
    add(kAssign, complex, colon, nullptr, keep(Counted({9, 1})));
    add(kAssign, complex, colon, colon, nine);
    add(kAssign, keep(Counted({1, 3})), keep(Row({7})), nullptr, nine);
    add(kAssign, keep(Counted({2, 2, 2})), keep(Row({3})), keep(Row({1})), nine, true);
    add(kAssign, keep(Counted({2, 3})), colon, nullptr, keep(Complex(1, 1, {1}, {2})), true);
    add(kAssign, keep(ArrayPtr(mxCreateCellMatrix(0, 0))), I, nullptr, keep(Cells(1, 3)), true);
    ExpectFailurePoints(table);
}

// --- Any number of subscripts ----------------------------------------------------

// Shared, so that a braced list of new subscripts can be copied into it.
using Subscripts = std::vector<std::shared_ptr<CMatrix>>;
std::vector<const CMatrix *> Raw(const Subscripts &s) {
    std::vector<const CMatrix *> raw;
    for (const auto &a : s) raw.push_back(a.get());
    return raw;
}

// A(S1, ..., Sn) on arrays of 1, 2, 3, ... (imaginary parts -1/4, -2/4,
// ...), the expected elements written out from A(i,j,k) = i + 2 (j-1) +
// 6 (k-1) for 2x3x4: later dimensions folded into the last subscript,
// missing ones of length 1, masks and uint32 indices, repeated positions,
// and selections without elements (a real double). The same positions pick
// the same bytes from arrays of every element size, complex and logical
// ones included, and the result has no flags.
TEST(IndexList, ReferencePicksTheAddressedElements) {
    const auto C = [] { return Colon(); };
    const struct {
        DimList a;
        Subscripts s;
        DimList expected;
        ValueList values;
    } cases[] = {
        {{2, 3, 4}, {Row({2}), Row({3}), Row({4})}, {1, 1}, {24}},
        {{2, 3, 4}, {C(), Row({1, 3}), Row({2, 4})}, {2, 2, 2}, {7, 8, 11, 12, 19, 20, 23, 24}},
        {{2, 3, 4}, {Row({2, 1}), C(), Row({4})}, {2, 3}, {20, 19, 22, 21, 24, 23}},
        {{2, 3, 4}, {Row({1}), Mask({0, 1, 1}), U32({4, 1})}, {1, 2, 2}, {21, 23, 3, 5}},
        {{2, 3, 4}, {Col({2, 1}), Row({3}), Mask({1, 0, 0, 1}, {2, 2})}, {2, 1, 2}, {6, 5, 24, 23}},
        {{2, 3, 4}, {Row({1, 1}), Row({1}), Row({2, 2})}, {2, 1, 2}, {7, 7, 7, 7}},
        {{2, 3, 4}, {Row({1}), Row({2}), Row({3}), Row({1})}, {1, 1}, {15}},
        {{2, 3, 4}, {C(), C(), C(), C()}, {2, 3, 4}, {}},              // every element, in order
        {{2, 3, 2, 2}, {Row({2}), Row({3}), Row({4})}, {1, 1}, {24}},  // 2x3x(2*2)
        {{2, 3, 2, 2}, {Row({1}), C(), Row({3})}, {1, 3}, {13, 15, 17}},
        {{2, 3}, {Row({2}), Row({1, 3}), Row({1})}, {1, 2}, {2, 6}},
        {{2, 3, 4}, {C(), Array({1, 0}), Row({1})}, {2, 0}, {}},
        {{2, 3, 4}, {Mask({0, 0}), C(), C()}, {0, 3, 4}, {}}};
    for (const auto &[a, s, expected, listed] : cases) {
        const ArrayPtr A = Counted(a, 1, mxComplexityComplex);
        ValueList values = listed;
        if (expected == DimList{2, 3, 4}) values = Values(A.get());
        const ArrayPtr R(Indexref(A.get(), Raw(s)));
        EXPECT_TRUE(Dims(R.get()) == expected && Values(R.get()) == values) << values.size();
        EXPECT_TRUE(R->IsDouble() && R->GetFlags() == 0u && R->IsComplex() == !values.empty());
        for (std::size_t k = 0; k < values.size(); ++k)
            EXPECT_EQ(ImagValues(R.get())[k], -values[k] / 4);
        if (values.empty()) continue;
        for (mxClassID id : {mxClassInt8, mxClassInt16, mxClassSingle, mxClassDouble}) {
            const ArrayPtr B = Scrambled(a, id), r(Indexref(B.get(), Raw(s)));
            for (bool imag : {false, true}) {
                EXPECT_EQ(Bytes(r.get(), imag),
                          Picked(Bytes(B.get(), imag), B->GetElementSize(), values))
                    << id;
            }
            EXPECT_TRUE(r->GetClassID() == id && r->GetFlags() == 0u);
        }
    }
}

// One or two subscripts are the existing forms; a third subscript of 1 on a
// two-dimensional array, or a list of three against the same array folded,
// selects what two subscripts do, through the general path.
TEST(IndexList, AgreesWithTheOneAndTwoSubscriptForms) {
    const ArrayPtr A = Counted({4, 4}, 1, mxComplexityComplex), one = Row({1});
    const ArrayPtr subscripts[] = {Colon(),       Row({3, 1, 3}), Row({2, 3}), Mask({0, 1, 1, 1}),
                                   Array({1, 0}), U32({4})};
    for (const ArrayPtr &I : subscripts) {
        EXPECT_TRUE(SameArray(ArrayPtr(Indexref(A.get(), std::vector<const CMatrix *>{I.get()})).get(),
                              ArrayPtr(Indexref(A.get(), I.get())).get()));
        for (const ArrayPtr &J : subscripts) {
            const ArrayPtr two(Indexref(A.get(), I.get(), J.get()));
            EXPECT_TRUE(
                SameArray(ArrayPtr(Indexref(A.get(), {I.get(), J.get()})).get(), two.get()));
            if (I->IsColon() && J->IsColon())
                continue;  // A(:,:) shares A's data, the general form copies
            EXPECT_TRUE(SameArray(ArrayPtr(Indexref(A.get(), {I.get(), J.get(), one.get()})).get(),
                                  two.get()));
        }
    }
}

// A large selection, gathered in blocks of columns on several threads, picks
// the bytes that the linear positions of the closed form pick, on one
// thread and on three.
TEST(IndexList, LargeSelectionsPickTheSameBytesOnAnyThreadCount) {
    std::mt19937 rng(static_cast<std::uint32_t>(Seed()));
    const unsigned int threadsBefore = GetNumThreads();
    const DimList dims = {40, 50, 60};
    const ArrayPtr A = Scrambled(dims, mxClassInt16);
    ValueList picks[3], positions;
    for (unsigned int k = 0; k < 3; ++k) {
        std::uniform_int_distribution<unsigned int> draw(1, dims[k]);
        for (unsigned int t = 0; t < dims[k] - 5; ++t) picks[k].push_back(draw(rng));
    }
    for (double z : picks[2])
        for (double y : picks[1])
            for (double x : picks[0]) positions.push_back(x + 40 * (y - 1) + 2000 * (z - 1));
    const Subscripts s = {Row(picks[0]), Row(picks[1]), Row(picks[2])};
    for (unsigned int threads : {1u, 3u}) {
        SetNumThreads(threads);
        const ArrayPtr r(Indexref(A.get(), Raw(s)));
        EXPECT_EQ(Dims(r.get()), (DimList{35, 45, 55}));
        for (bool imag : {false, true})
            EXPECT_EQ(Bytes(r.get(), imag), Picked(Bytes(A.get(), imag), 2, positions)) << threads;
    }
    SetNumThreads(threadsBefore);
}

// One element named by double indices takes a path without lists; it reads
// and writes the bits the general path (reached through uint32 subscripts)
// does, in every element size, for complex and logical targets, with the
// later dimensions folded and the indices rounded half up.
TEST(IndexList, OneElementPathMatchesTheGeneralPath) {
    for (mxClassID id : {mxClassInt8, mxClassInt16, mxClassSingle, mxClassDouble}) {
        const ArrayPtr A = Scrambled({2, 3, 2, 2}, id), B = Array({1, 1}, id);
        FillBytes(B.get());
        const ArraySnapshot before = ArraySnapshot::Of(A.get());
        for (std::uint32_t k = 1; k <= 4; ++k) {
            for (std::uint32_t j = 1; j <= 3; ++j) {
                for (std::uint32_t i = 1; i <= 2; ++i) {
                    const Subscripts fast = {Row({i - 0.5}), Row({j + 0.49}), Row({double(k)})};
                    const Subscripts plain = {U32({i}), U32({j}), U32({k})};
                    EXPECT_TRUE(SameArray(ArrayPtr(Indexref(A.get(), Raw(fast))).get(),
                                          ArrayPtr(Indexref(A.get(), Raw(plain))).get()));
                    ArrayPtr written(A->CreateShareArray()), general(A->CreateShareArray());
                    Apply(written, [&](CMatrix *&t) { Indexassign(t, Raw(fast), B.get()); });
                    Apply(general, [&](CMatrix *&t) { Indexassign(t, Raw(plain), B.get()); });
                    EXPECT_TRUE(SameArray(written.get(), general.get()) &&
                                written->GetFlags() == general->GetFlags())
                        << id << ' ' << i << j << k;
                }
            }
        }
        EXPECT_TRUE(ArraySnapshot::Of(A.get()) == before);
    }
}

/// A double array of the given shape with `re` and, when given, `im`.
ArrayPtr Shaped(const DimList &dims, const ValueList &re, const ValueList &im = {}) {
    ArrayPtr a = Filled(dims, re);
    if (!im.empty()) {
        a->ToComplex();
        std::copy(im.begin(), im.end(), mxGetPi(a.get()));
    }
    return a;
}

// A(S1, ..., Sn) = B: growth in any dimension with zero fill (a fold of
// the later dimensions first), B's lengths of 1 left out of the match, a
// scalar broadcast, the last of repeated positions kept, trailing lengths of
// 1 dropped, an A without elements taking B's lengths for its colons, a
// selection without elements writing nothing, and B = A read as it was.
// A sharer of the target keeps its data.
TEST(IndexList, AssignmentGrowsAndWrites) {
    const auto C = [] { return Colon(); };
    ValueList grownTo24(24, 0.0);
    for (unsigned int k = 0; k < 4; ++k) grownTo24[k] = k + 1;
    grownTo24[23] = 7;
    ValueList folded(20, 0.0);
    for (unsigned int k = 0; k < 16; ++k) folded[k] = k + 1;
    folded[16] = 9;
    struct {
        ArrayPtr a;
        Subscripts s;
        ArrayPtr b, expected;
    } cases[] = {
        {Counted({2, 2}), {Row({2}), Row({3}), Row({4})}, Row({7}), Shaped({2, 3, 4}, grownTo24)},
        {Counted({2, 2}),
         {C(), C(), Row({2})},
         Matrix(2, 2, {5, 6, 7, 8}),
         Shaped({2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8})},
        {Counted({2, 2}),
         {C(), C(), Row({1})},
         Matrix(2, 2, {5, 6, 7, 8}),
         Matrix(2, 2, {5, 6, 7, 8})},
        {Array({0, 0}),
         {C(), C(), Row({2})},
         Counted({2, 3}),
         Shaped({2, 3, 2}, {0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6})},
        {Array({0, 0}),
         {Row({1}), C(), C()},
         Counted({3, 2}),
         Shaped({1, 3, 2}, {1, 2, 3, 4, 5, 6})},
        {Array({0, 0}), {C(), C(), Row({2})}, Row({5}), Shaped({1, 1, 2}, {0, 5})},
        {Counted({2, 3, 2}),
         {Row({1}), Row({1, 2, 3}), Row({2})},
         Col({7, 8, 9}),
         Shaped({2, 3, 2}, {1, 2, 3, 4, 5, 6, 7, 8, 8, 10, 9, 12})},
        {Counted({2, 2, 2, 2}),
         {Row({1}), Row({1}), Row({5})},
         Row({9}),
         Shaped({2, 2, 5}, folded)},
        {Counted({2, 2, 2}),
         {C(), Mask({0, 1}), Mask({1, 0, 1})},
         Row({0}),
         Shaped({2, 2, 3}, {1, 2, 0, 0, 5, 6, 7, 8, 0, 0, 0, 0})},
        {Counted({2, 2}),
         {Row({1, 1}), Row({1}), Row({1})},
         Row({5, 6}),
         Matrix(2, 2, {6, 2, 3, 4})},
        {Counted({2, 2}), {Row({3}), Array({1, 0}), Row({2})}, Row({5}), Counted({2, 2})},
        {Counted({2, 2}),
         {C(), C(), Row({2})},
         nullptr,
         Shaped({2, 2, 2}, {1, 2, 3, 4, 1, 2, 3, 4})},
        {Int8({1, 2}, {1, 2}),
         {Row({1}), Row({2}), Row({2})},
         Int8({1, 1}, {-5}),
         Typed<std::int8_t>(mxClassInt8, {1, 2, 2}, {1, 2, 0, -5})},
        {Counted({1, 2}),
         {Row({1}), Row({1}), Row({2})},
         Complex(1, 1, {7}, {-1}),
         Shaped({1, 2, 2}, {1, 2, 7, 0}, {0, 0, -1, 0})},
        {Shaped({1, 2}, {1, 2}, {3, 4}),
         {Row({1}), Row({2}), Row({2})},
         Row({9}),
         Shaped({1, 2, 2}, {1, 2, 0, 9}, {3, 4, 0, 0})}};
    for (auto &c : cases) {
        ArrayPtr sharer(c.a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        const CMatrix *b = c.b ? c.b.get() : c.a.get();
        Apply(c.a, [&](CMatrix *&a) { Indexassign(a, Raw(c.s), b); });
        EXPECT_TRUE(SameArray(c.a.get(), c.expected.get()));
        EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
    }

    // Char grows with \0; a logical target keeps its flag.
    ArrayPtr text(mxCreateString("ab")), mask = Mask({1, 0});
    Apply(text, [&](CMatrix *&a) {
        Indexassign(a, Raw({Row({1}), Row({1}), Row({2})}), ArrayPtr(mxCreateString("c")).get());
    });
    EXPECT_EQ(Dims(text.get()), (DimList{1, 2, 2}));
    EXPECT_EQ(Bytes(text.get()), Bytes(Typed<std::uint16_t>(mxClassChar, {1, 4}, {'a', 'b', 'c', 0}).get()));
    Apply(mask, [&](CMatrix *&a) {
        Indexassign(a, Raw({Row({1}), Row({1}), Row({2})}), Row({1}).get());
    });
    EXPECT_TRUE(mask->IsLogical() && Values(mask.get()) == (ValueList{1, 0, 1, 0}));

    // Against the two-subscript form, growth included: a third subscript of 1.
    const ArrayPtr one = Row({1});
    const struct {
        ArrayPtr i, j, b;
    } pairs[] = {{Row({3}), Row({3}), Row({9})},
                 {Row({3, 1}), Row({2, 1}), Matrix(2, 2, {7, 8, 9, 10})},
                 {Row({2, 3}), Colon(), Matrix(2, 2, {7, 8, 9, 10})},
                 {Mask({0, 0, 1}), Mask({1, 0, 1}), Row({7, 8})}};
    for (const auto &pair : pairs) {
        const CMatrix *i = pair.i.get(), *j = pair.j.get(), *b = pair.b.get();
        ArrayPtr two = Counted({3, 2}), three = Counted({3, 2});
        Apply(two, [&](CMatrix *&a) { Indexassign(a, i, j, b); });
        Apply(three, [&](CMatrix *&a) { Indexassign(a, {i, j, one.get()}, b); });
        EXPECT_TRUE(SameArray(three.get(), two.get()));
    }
}

// A(S1, ..., Sn) = []: along the one subscript that does not cover its
// dimension (colons and full selections cover), or, when all cover, along
// the first that is not a colon; colons only empty A. The later
// dimensions fold into the last subscript. Elements move by their size in
// both parts, the flag is dropped, and a sharer keeps the old data.
TEST(IndexList, DeletionAlongOneDimension) {
    const auto C = [] { return Colon(); };
    const struct {
        DimList a;
        Subscripts s;
        DimList expected;
        ValueList kept;
    } cases[] = {
        {{2, 3, 4},
         {C(), Row({2}), C()},
         {2, 2, 4},
         {1, 2, 5, 6, 7, 8, 11, 12, 13, 14, 17, 18, 19, 20, 23, 24}},
        {{2, 3, 4},
         {Row({1, 2}), Row({2}), C()},
         {2, 2, 4},
         {1, 2, 5, 6, 7, 8, 11, 12, 13, 14, 17, 18, 19, 20, 23, 24}},
        {{2, 3, 4},
         {C(), C(), Row({3, 1, 3})},
         {2, 3, 2},
         {7, 8, 9, 10, 11, 12, 19, 20, 21, 22, 23, 24}},
        {{2, 3, 4}, {Row({1}), C(), C()}, {1, 3, 4}, {2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24}},
        {{2, 3, 4},
         {Mask({1, 1}), C(), Mask({0, 1, 0, 0})},
         {2, 3, 3},
         {1, 2, 3, 4, 5, 6, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {{2, 3, 4}, {C(), C(), Row({1, 2, 3, 4})}, {2, 3, 0}, {}},
        {{2, 3, 4},
         {C(), Row({3}), C(), Row({1})},
         {2, 2, 4},
         {1, 2, 3, 4, 7, 8, 9, 10, 13, 14, 15, 16, 19, 20, 21, 22}},
        {{2, 3, 2, 2},
         {C(), C(), Row({2})},
         {2, 3, 3},
         {1, 2, 3, 4, 5, 6, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {{2, 3}, {C(), C(), Row({1})}, {2, 3, 0}, {}}};
    for (const auto &c : cases) {
        const auto &[a, s, expected, kept] = c;
        const auto &subscripts = c.s;
        for (mxClassID id : {mxClassInt16, mxClassDouble}) {
            ArrayPtr A = Scrambled(a, id);
            ArrayPtr sharer(A->CreateShareArray());
            const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
            Apply(A, [&](CMatrix *&t) { Indexdelete(t, Raw(subscripts)); });
            EXPECT_EQ(Dims(A.get()), expected) << id << ' ' << kept.size();
            for (bool imag : {false, true}) {
                const auto want = Picked(Bytes(sharer.get(), imag), A->GetElementSize(), kept);
                EXPECT_EQ(Bytes(A.get(), imag), want) << id << ' ' << kept.size();
            }
            EXPECT_TRUE(A->GetClassID() == id && A->GetFlags() == 0u);
            EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
        }
    }
    // Colons only: a 0x0 real double. A deleting subscript that selects
    // nothing: the same array, unchanged.
    ArrayPtr A = Scrambled({2, 3, 2}, mxClassInt16);
    const CMatrix *same = A.get();
    Apply(A, [&](CMatrix *&t) { Indexdelete(t, Raw({C(), Array({1, 0}), C()})); });
    Apply(A, [&](CMatrix *&t) { Indexdelete(t, Raw({C(), C(), Mask({0, 0})})); });
    EXPECT_EQ(A.get(), same);
    Apply(A, [&](CMatrix *&t) { Indexdelete(t, Raw({C(), C(), C()})); });
    EXPECT_TRUE(SameArray(A.get(), Array({0, 0}).get()));
}

// Cell slots copied, written or kept by the list forms hold arrays of their
// own sharing the elements' data; growth leaves empty slots; nothing leaks.
TEST(IndexList, CellSlotsOwnTheirShares) {
    const LiveBlocks blocks;
    {
        ArrayPtr A = Cells(2, 4);
        const ArrayPtr picked(Indexref(A.get(), Raw({Row({2}), Row({1, 4}), Row({1})})));
        EXPECT_TRUE(mxGetCell(picked.get(), 1) != mxGetCell(A.get(), 7) &&
                    mxGetCell(picked.get(), 1)->GetPr() == mxGetCell(A.get(), 7)->GetPr());
        const ArrayPtr one = Cells(1, 1, 9);
        Apply(A, [&](CMatrix *&t) {
            Indexassign(t, Raw({Row({1}), Row({2}), Row({2})}), one.get());
        });
        EXPECT_EQ(Dims(A.get()), (DimList{2, 4, 2}));
        EXPECT_TRUE(Slot(A.get(), 10) == 9 && mxGetCell(A.get(), 10) != mxGetCell(one.get(), 0) &&
                    mxGetCell(A.get(), 8) == nullptr);
        Apply(A, [&](CMatrix *&t) { Indexdelete(t, Raw({Colon(), Row({1, 3, 4}), Colon()})); });
        EXPECT_EQ(Dims(A.get()), (DimList{2, 1, 2}));
        EXPECT_TRUE(Slot(picked.get(), 0) == 2 && Slot(A.get(), 0) == 3 && Slot(A.get(), 1) == 4);
        EXPECT_TRUE(Slot(A.get(), 2) == 9 && mxGetCell(A.get(), 3) == nullptr);
        // Folded before it grows: 1x1x2x2 addressed as 1x1x4, grown to 1x1x5.
        const DimList dims = {1, 1, 2, 2};
        ArrayPtr deep(mxCreateCellArray(4, dims.data())), sharer;
        for (unsigned int k = 0; k < 4; ++k) mxSetCell(deep.get(), int(k), Scalar(k + 1.0));
        sharer.reset(deep->CreateShareArray());
        Apply(deep, [&](CMatrix *&t) {
            Indexassign(t, Raw({Row({1}), Row({1}), Row({5})}), one.get());
        });
        EXPECT_EQ(Dims(deep.get()), (DimList{1, 1, 5}));
        EXPECT_TRUE(Slot(deep.get(), 3) == 4 && Slot(deep.get(), 4) == 9 &&
                    Slot(sharer.get(), 3) == 4);
        EXPECT_EQ(Dims(sharer.get()), dims);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

// Refusals of the list forms: the exception class and message, no block
// left behind, the target, a sharer of it and every argument unchanged,
// also where the two-subscript assignment would have grown A first.
TEST(IndexList, Refusals) {
    const Expected zero = Expected::Throws<CIndexIntoMatrixNegativeOrZeroException>();
    const Expected beyond = Expected::Throws<CIndexExceedsMatrixDimensionsException>();
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    const Expected ammb = Expected::Throws<CInAssignAMMBDimensionMustBeSameException>();
    const Expected nonColon = Expected::Throws(CFunctionErrorException(
        L"Indexdelete: a null assignment can have only one non-colon index"));
    const Expected other = NotImplemented();
    const auto C = [] { return Colon(); };
    const struct {
        Expected error;
        Op op;
        ArrayPtr a;
        Subscripts s;
        ArrayPtr b;
    } cases[] = {
        {Expected::Throws(CFunctionErrorException(L"Indexref: no subscript given")),
         kRef,
         Counted({2, 2}),
         {},
         nullptr},
        {Expected::Throws(CFunctionErrorException(L"Indexassign: no subscript given")),
         kAssign,
         Counted({2, 2}),
         {},
         Row({1})},
        {Expected::Throws(CFunctionErrorException(L"Indexdelete: no subscript given")),
         kDelete,
         Counted({2, 2}),
         {},
         nullptr},
        // Reference into 2x3x4: each subscript against its extent, in order.
        {beyond, kRef, Counted({2, 3, 4}), {Row({1}), Row({4}), Row({0})}, nullptr},
        {zero, kRef, Counted({2, 3, 4}), {Row({1}), Row({3, NAN}), Row({5})}, nullptr},
        {beyond, kRef, Counted({2, 3, 4}), {C(), C(), Row({5})}, nullptr},
        {beyond, kRef, Counted({2, 3, 4}), {Row({1}), Row({1}), Row({1}), Row({2})}, nullptr},
        {beyond, kRef, Counted({2, 3, 2, 2}), {Row({1}), Row({1}), Row({5})}, nullptr},
        {beyond, kRef, Counted({2, 3, 4}), {C(), Mask({0, 0, 0, 1}), C()}, nullptr},
        {other, kRef, Counted({2, 3, 4}), {C(), C(), Zeroed({1, 1}, mxClassInt32)}, nullptr},
        // 2^33 elements from repeated positions: refused before any list is built.
        {memory,
         kRef,
         Counted({2, 2}),
         {Row(ValueList(2048, 1)), Row(ValueList(2048, 1)), Row(ValueList(2048, 1))},
         nullptr},
        {other,
         kRef,
         Counted({2, 3, 4}),
         {Array({1, 0}), C(), Flagged(Zeroed({1, 1}, mxClassSingle))},
         nullptr},
        // Assignment: subscripts, then an empty selection, the class, the shape.
        {zero, kAssign, Counted({2, 2}), {Row({1}), Row({0}), Row({3})}, Row({5})},
        {zero, kAssign, Counted({2, 2}), {Row({1}), Row({1}), Row({2, -1})}, Row({5})},
        {memory, kAssign, Counted({2, 2}), {Row({1}), Row({1}), Row({0x1p32})}, Row({5})},
        {memory, kAssign, Counted({2, 2}), {Row({65536}), Row({65536}), Row({2})}, Row({5})},
        {other,
         kAssign,
         Counted({2, 2}),
         {Row({1}), Zeroed({1, 1}, mxClassInt8), Row({2})},
         Row({5})},
        {ammb, kAssign, Counted({2, 2}), {Array({1, 0}), Row({1}), Row({1})}, Row({5, 6})},
        {other,
         kAssign,
         Counted({2, 2}),
         {Row({3}), Row({1}), Row({2})},
         Zeroed({1, 1}, mxClassInt8)},
        {other, kAssign, Cells(2, 2), {Row({3}), Row({1}), Row({2})}, Row({5})},
        {ammb, kAssign, Counted({2, 2}), {C(), C(), Row({2})}, Counted({3, 2})},
        {ammb, kAssign, Counted({2, 2}), {C(), C(), Row({2})}, Counted({2, 2, 2})},
        {ammb, kAssign, Counted({2, 2}), {Row({3}), Row({1, 2}), Row({2})}, Row({5, 6, 7})},
        {ammb, kAssign, Cells(2, 2), {Row({1}), Row({1, 2}), Row({2})}, Cells(1, 1)},
        // Deletion: positions outside the extent, then more than one
        // subscript short of its dimension.
        {beyond, kDelete, Counted({2, 3, 4}), {C(), Row({4}), C()}, nullptr},
        {beyond, kDelete, Counted({2, 3, 4}), {C(), C(), Row({0})}, nullptr},
        {beyond, kDelete, Counted({2, 3}), {C(), C(), Row({2})}, nullptr},
        {other, kDelete, Counted({2, 3, 4}), {C(), Zeroed({1, 1}, mxClassInt32), C()}, nullptr},
        {nonColon, kDelete, Counted({2, 3, 4}), {Row({1}), Row({2}), C()}, nullptr},
        {nonColon, kDelete, Counted({2, 3, 4}), {C(), Array({1, 0}), Row({1})}, nullptr}};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto &c = cases[k];
        ArrayPtr target(c.a->CreateShareArray()), sharer(c.a->CreateShareArray());
        std::vector<const CMatrix *> unchanged = Raw(c.s);
        unchanged.insert(unchanged.end(), {target.get(), sharer.get(), c.b.get()});
        const auto call = [&] {
            Apply(target, [&](CMatrix *&t) {
                if (c.op == kRef) ArrayPtr(Indexref(t, Raw(c.s)));
                if (c.op == kAssign) Indexassign(t, Raw(c.s), c.b.get());
                if (c.op == kDelete) Indexdelete(t, Raw(c.s));
            });
        };
        ExpectRefusal(call, c.error, unchanged, "row " + std::to_string(k));
    }
}

// Every allocation of the list forms failing in turn: a failed reference or
// deletion leaves A the same, unchanged array, as does an assignment that
// needs no growth (a sharer makes it unshare first); one that grows A works
// on a fresh copy, since it may leave A grown, made complex or unshared.
TEST(IndexList, AllocationFailures) {
    std::vector<ArrayPtr> kept;
    std::deque<ArrayPtr> targets;
    std::deque<Subscripts> lists;
    std::deque<std::vector<const CMatrix *>> raws;  // stable, so that the calls copy no list
    const auto keep = [&](ArrayPtr a) { return kept.emplace_back(std::move(a)).get(); };
    std::vector<FailureCase> table;
    const auto add = [&](Op op, const CMatrix *a, Subscripts s, const CMatrix *b,
                         bool fresh = false) {
        const std::vector<const CMatrix *> *raw =
            &raws.emplace_back(Raw(lists.emplace_back(std::move(s))));
        const auto run = [=](CMatrix *&t) {
            if (op == kRef) ArrayPtr(Indexref(t, *raw));
            if (op == kAssign) Indexassign(t, *raw, b);
            if (op == kDelete) Indexdelete(t, *raw);
        };
        std::vector<const CMatrix *> unchanged = *raw;
        unchanged.push_back(b);
        const std::string what = "row " + std::to_string(table.size());
        if (fresh) {
            const auto copy = [=] {
                ArrayPtr t(a->CreateDuplicateArray()), s2(t->CreateShareArray());
                Apply(t, run);
            };
            unchanged.push_back(a);
            return table.push_back({what, InPlace(copy), unchanged});
        }
        ArrayPtr *t = &targets.emplace_back(a->CreateDuplicateArray());
        unchanged.push_back(t->get());
        if (!a->IsCell()) unchanged.push_back(keep(ArrayPtr((*t)->CreateShareArray())));
        table.push_back({what, InPlace([=] { Apply(*t, run); }), unchanged});
    };
    CMatrix *complex = keep(Counted({3, 2, 2}, 1, mxComplexityComplex));
    CMatrix *cells = keep(ArrayPtr(mxCreateCellArray(3, DimList{3, 2, 2}.data())));
    for (unsigned int k = 0; k < 12; ++k) mxSetCell(cells, int(k), Scalar(k + 1.0));
    for (CMatrix *a : {complex, cells}) {
        const CMatrix *one = keep(a == cells ? Cells(1, 1) : Complex(1, 1, {1}, {2}));
        const CMatrix *two = keep(a == cells ? Cells(1, 2) : Complex(1, 1, {1}, {2}));
        add(kRef, a, {Row({3, 1}), Colon(), Row({2})}, nullptr);
        add(kRef, a, {Colon(), Mask({0, 1}), Row({2, 1}), Row({1})}, nullptr);
        add(kDelete, a, {Colon(), Row({1}), Colon()}, nullptr);
        add(kAssign, a, {Row({2}), Row({1, 2}), Row({2})}, two);
        add(kAssign, a, {Row({4}), Row({1}), Row({3})}, one, true);
    }
    add(kRef, complex, {Row({2}), Row({1}), Row({2})}, nullptr);  // one element
    add(kAssign, complex, {Row({2}), Row({1}), Row({2})}, keep(Row({9})));
    add(kAssign, keep(Counted({2, 1, 2, 2}, 1, mxComplexityComplex)),
        {Row({1}), Row({1}), Row({5})}, keep(Row({9})), true);
    ExpectFailurePoints(table);
}

}  // namespace
