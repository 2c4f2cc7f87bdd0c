// tests/index/indexassign_test.cpp: tests of Indexassign, A(I) = B and A(I,J) = B.
#include <cmath>
#include <iterator>
#include <limits>

#include "index_test.h"

namespace {

using namespace index_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using matrix_test::ArraySnapshot;
using matrix_test::Matrix;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

ArrayPtr Int8(const DimList &dims, const std::vector<std::int8_t> &v) {
    return Typed(mxClassInt8, dims, v);
}
ArrayPtr Int32(const DimList &dims, const std::vector<std::int32_t> &v) {
    return Typed(mxClassInt32, dims, v);
}
ArrayPtr Text(const char *text) { return ArrayPtr(mxCreateString(text)); }
using Make = ArrayPtr (*)();

// Each case also checks that a sharer of the target keeps its data.
TEST(Indexassign, GrowthAndWrites) {
    struct Case {
        const char *name;
        ArrayPtr a, i, j, b;  // j null for A(I) = B
        ArrayPtr expected;
    };
    std::vector<Case> cases;
    auto add = [&](const char *name, ArrayPtr a, ArrayPtr i, ArrayPtr j, ArrayPtr b,
                   ArrayPtr expected) {
        cases.push_back(
            {name, std::move(a), std::move(i), std::move(j), std::move(b), std::move(expected)});
    };
    // A(I) = B.
    add("row grows as a row", Row({1, 2, 3}), Row({5}), nullptr, Row({7}), Row({1, 2, 3, 0, 7}));
    add("column grows as a column", Col({1, 2, 3}), Row({5}), nullptr, Row({7}),
        Col({1, 2, 3, 0, 7}));
    add("0x0 grows as a row", Array({0, 0}), Row({3}), nullptr, Row({1}), Row({0, 0, 1}));
    add("0x3 takes one row", Array({0, 3}), Row({2}), nullptr, Row({5}), Row({0, 5, 0}));
    add("in I's order", Seq({2, 2}), Row({4, 1}), nullptr, Row({8, 9}), Matrix(2, 2, {9, 2, 3, 8}));
    add("N-d addressed linearly", Seq({2, 2, 2}), Row({8}), nullptr, Row({0}),
        Filled({2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 0}));
    add("scalar broadcast", Seq({1, 4}), Row({1, 3, 6}), nullptr, Row({-1}),
        Row({-1, 2, -1, 4, 0, -1}));
    add("last write wins", Seq({1, 3}), Row({2, 2}), nullptr, Row({5, 6}), Row({1, 6, 3}));
    add("indices round half up", Seq({1, 3}), Row({0.5, 2.5}), nullptr, Row({7, 8}),
        Row({7, 2, 8}));
    add("mask", Seq({1, 4}), Mask({0, kNaN, -0.0, 2}), nullptr, Row({7, 8}), Row({1, 7, 3, 8}));
    add("mask longer than A", Seq({1, 3}), Mask({1, 0, 0, 0, 1}), nullptr, Row({7, 8}),
        Row({7, 2, 3, 0, 8}));
    add("uint32 index", Seq({1, 3}), U32({3, 4}), nullptr, Row({7, 8}), Row({1, 2, 7, 8}));
    add("empty I", Seq({1, 3}), Array({0, 0}, mxClassInt32), nullptr, Row({7}), Seq({1, 3}));
    add("all-false mask", Seq({1, 3}), Mask({0, 0}), nullptr, Row({7}), Seq({1, 3}));
    add("int8", Int8({1, 2}, {1, 2}), Row({4, 1}), nullptr, Int8({1, 2}, {-5, 6}),
        Int8({1, 4}, {6, 2, 0, -5}));
    add("single", Typed<float>(mxClassSingle, {1, 2}, {1.5f, 2.5f}), Row({2}), nullptr,
        Typed<float>(mxClassSingle, {1, 1}, {-1.f}),
        Typed<float>(mxClassSingle, {1, 2}, {1.5f, -1.f}));
    add("complex B makes A complex", Seq({1, 3}), Row({2}), nullptr, Complex(1, 1, {7}, {-1}),
        Complex(1, 3, {1, 7, 3}, {0, -1, 0}));
    add("real B keeps imaginary parts", Complex(1, 3, {1, 2, 3}, {4, 5, 6}), Row({1, 5}), nullptr,
        Row({9}), Complex(1, 5, {9, 2, 3, 0, 9}, {4, 5, 6, 0, 0}));
    // A(:) = B and A(:,:) = B: a double scalar fills, complex exactly when B is.
    for (bool two : {false, true}) {
        auto j = [two] { return two ? Colon() : nullptr; };
        add("fill", Seq({1, 2, 2}, mxComplexityComplex), Colon(), j(), Row({4}),
            Filled({1, 2, 2}, {4, 4, 4, 4}));
        add("complex fill", Seq({2, 1}), Colon(), j(), Complex(1, 1, {4}, {-2}),
            Complex(2, 1, {4, 4}, {-2, -2}));
        add("A empty: nothing", Array({0, 3}), Colon(), j(), Row({4}), Array({0, 3}));
    }
    add("A and B empty: nothing", Array({0, 3}), Colon(), nullptr, Array({0, 0}), Array({0, 3}));
    // A(I,J) = B.
    add("grows both ways", Seq({2, 2}), Row({3}), Row({3}), Row({9}),
        Matrix(3, 3, {1, 2, 0, 3, 4, 0, 0, 0, 9}));
    add("keeps its rows", Seq({2, 2}), Row({1}), Row({4}), Row({9}),
        Matrix(2, 4, {1, 2, 3, 4, 0, 0, 9, 0}));
    add("last column wins", Seq({2, 2}), Row({2}), Row({1, 1}), Row({3, 4}),
        Matrix(2, 2, {1, 4, 3, 4}));
    add("scattered rows, B column-major", Seq({3, 2}), Row({3, 1}), Row({2, 1}),
        Matrix(2, 2, {7, 8, 9, 10}), Matrix(3, 2, {10, 2, 9, 8, 5, 7}));
    add("scattered rows broadcast", Seq({3, 2}), Row({3, 1}), Colon(), Row({0}),
        Matrix(3, 2, {0, 2, 0, 0, 5, 0}));
    add("rows with a gap", Seq({3, 2}), Row({1, 3}), Row({2}), Col({8, 9}),
        Matrix(3, 2, {1, 2, 3, 8, 5, 9}));
    add("row run", Seq({3, 2}), Row({2, 3}), Colon(), Matrix(2, 2, {7, 8, 9, 10}),
        Matrix(3, 2, {1, 7, 8, 4, 9, 10}));
    add("row run broadcast", Seq({3, 2}), Row({2, 3}), Row({2}), Row({0}),
        Matrix(3, 2, {1, 2, 3, 4, 0, 0}));
    add("colon column grows", Seq({2, 2}), Colon(), Row({3}), Col({7, 8}),
        Matrix(2, 3, {1, 2, 3, 4, 7, 8}));
    add("masks longer than the extents", Seq({2, 2}), Mask({0, 0, 1}), Mask({1, 0, 1}), Row({7, 8}),
        Matrix(3, 3, {1, 2, 7, 3, 4, 0, 0, 0, 8}));
    add("uint32 subscripts", Seq({2, 2}), U32({1}), U32({2, 1}), Row({7, 8}),
        Matrix(2, 2, {8, 2, 7, 4}));
    add("N-d, not grown", Seq({2, 2, 2}), Row({2}), Row({3}), Row({0}),
        Filled({2, 2, 2}, {1, 2, 3, 4, 5, 0, 7, 8}));
    add("N-d folded, grown in columns", Seq({2, 2, 2}), Row({1}), Row({5}), Row({9}),
        Matrix(2, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));
    add("N-d folded, grown in rows", Seq({1, 2, 2}), Row({2}), Row({1}), Row({9}),
        Matrix(2, 4, {1, 9, 2, 0, 3, 0, 4, 0}));
    // A without elements: a colon stands for B's extent, the other extent kept.
    add("0x0, rows from B", Array({0, 0}), Colon(), Row({2}), Col({1, 2}),
        Matrix(2, 2, {0, 0, 1, 2}));
    add("0x0, columns from B", Array({0, 0}), Row({2}), Colon(), Row({1, 2}),
        Matrix(2, 2, {0, 1, 0, 2}));
    add("0x5 keeps its columns", Array({0, 5}), Colon(), Row({3}), Col({1, 2}),
        Matrix(2, 5, {0, 0, 0, 0, 1, 2, 0, 0, 0, 0}));
    add("0x2 grows past its columns", Array({0, 2}), Colon(), Row({3}), Row({5}), Row({0, 0, 5}));
    add("4x0 keeps its rows", Array({4, 0}), Row({2}), Colon(), Row({1, 2}),
        Matrix(4, 2, {0, 1, 0, 0, 0, 2, 0, 0}));
    add("empty subscripts", Seq({2, 2}), Array({0, 0}), Array({0, 0}), Row({5}), Seq({2, 2}));
    add("empty B: grown, not written", Seq({2, 2}), Row({3}), Row({3}), Array({0, 0}),
        Matrix(3, 3, {1, 2, 0, 3, 4, 0, 0, 0, 0}));
    add("uint16", Typed<std::uint16_t>(mxClassUint16, {2, 2}, {1, 2, 3, 4}), Colon(), Row({2}),
        Typed<std::uint16_t>(mxClassUint16, {1, 1}, {9}),
        Typed<std::uint16_t>(mxClassUint16, {2, 2}, {1, 2, 9, 9}));
    add("complex into complex", Complex(2, 2, {1, 2, 3, 4}, {1, 1, 1, 1}), Colon(), Row({2}),
        Complex(2, 1, {7, 8}, {-7, -8}), Complex(2, 2, {1, 2, 7, 8}, {1, 1, -7, -8}));
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        ArrayPtr sharer(c.a->CreateShareArray());
        const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
        Assign(c.a, c.i.get(), c.j.get(), c.b.get());
        EXPECT_TRUE(SameArray(c.a.get(), c.expected.get()));
        EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
    }
}

// A(:) = B and A(:,:) = B with a matching B replace A by a share of B,
// whose data, shape, class and flags outlive B.
TEST(Indexassign, ColonsReplaceByShare) {
    struct Replacement {
        DimList a;
        ArrayPtr j, b;
    };
    ArrayPtr logical = Int32({3, 2}, {1, 2, 3, 4, 5, 6});
    logical->SetLogical();
    Replacement cases[] = {{{2, 3}, nullptr, std::move(logical)},
                           {{2, 3}, Colon(), Seq({2, 3})},
                           {{2, 2, 2}, Colon(), Seq({2, 4})},
                           {{0, 0}, Colon(), Seq({3, 2})}};
    for (Replacement &c : cases) {
        ArrayPtr a = Seq(c.a), copy(c.b->CreateDuplicateArray());
        Assign(a, Colon().get(), c.j.get(), c.b.get());
        EXPECT_EQ(a->GetPr(), c.b->GetPr());
        EXPECT_EQ(a->GetFlags(), c.b->GetFlags());
        c.b.reset();
        EXPECT_TRUE(SameArray(a.get(), copy.get()));
    }
}

TEST(Indexassign, RightHandSideIsTheTargetAsItWas) {
    ArrayPtr a = Seq({1, 3});
    Assign(a, Row({3, 2, 1}).get(), nullptr, a.get());
    EXPECT_EQ(Values(a.get()), (ValueList{3, 2, 1}));
    ArrayPtr m = Seq({2, 2});
    Assign(m, Row({2, 1}).get(), Colon().get(), m.get());  // swaps the rows
    EXPECT_EQ(Values(m.get()), (ValueList{2, 1, 4, 3}));
    const CMatrix *same = m.get();
    Assign(m, Colon().get(), nullptr, m.get());
    EXPECT_EQ(m.get(), same);
    EXPECT_EQ(Values(m.get()), (ValueList{2, 1, 4, 3}));
}

struct Refusal {
    Error error;
    ArrayPtr a, i, j, b;
    ArrayPtr expected;  // for a late refusal, the target it leaves
};

// Each refusal comes before any change: the target, a sharer of it and the
// arguments stay as they were, nothing allocated. Bad subscripts come first;
// each would grow or write the target if taken as the position it wraps to.
TEST(Indexassign, Refusals) {
    std::vector<Refusal> cases;
    auto add = [&](const Error &e, ArrayPtr a, ArrayPtr i, ArrayPtr j, ArrayPtr b) {
        cases.push_back({e, std::move(a), std::move(i), std::move(j), std::move(b), nullptr});
    };
    for (Make i : {+[] { return Row({0}); }, +[] { return Row({-3}); }, +[] { return Row({0.49}); },
                   +[] { return Row({-0.5}); }, +[] { return Row({kNaN}); },
                   +[] {
                       return Row({9, 2, 0});
                   },
                   +[] {
                       return Row({0, 0x1p32});
                   },
                   +[] {
                       return U32({7, 0});
                   }}) {
        add(kZero, Seq({1, 3}), i(), nullptr, Row({5}));
        add(kZero, Seq({1, 3}), i(), nullptr, Array({1, 7}, mxClassInt8));
        add(kZero, Seq({1, 3}), i(), Row({1}), Row({5}));
        add(kZero, Seq({1, 3}), Colon(), i(), Row({5}));
    }
    // 2^32 - 1 passes the index test and fails the growth, whose byte size
    // does not fit in 32 bits.
    for (double x : {0x1p32, 4294967295.5, 1e300, double(INFINITY), 4294967295.0}) {
        add(kMemory, Seq({1, 3}), Row({2, x}), nullptr, Row({5}));
        add(kMemory, Seq({1, 3}), Row({1}), Row({2, x}), Row({5}));
    }
    add(kMemory, Seq({1, 3}), Row({0x1p32, 0}), nullptr, Row({5}));
    for (Make s : {+[] {
                       return Int32({1, 1}, {1});
                   },
                   +[] {
                       return Typed<float>(mxClassSingle, {1, 1}, {1});
                   },
                   +[] {
                       return Logical(Int32({1, 1}, {1}));
                   },
                   +[] { return Text("a"); }}) {
        add(kClass, Seq({2, 2}), s(), nullptr, Row({5}));
        add(kClass, Seq({2, 2}), Row({1}), s(), Row({5}));
    }
    // A(I) = B: empty I, then the count before the class; a 1x1 cell is no scalar.
    add(kAIB, Seq({1, 3}), Array({0, 0}), nullptr, Row({1, 2}));
    add(kAIB, Seq({1, 3}), Row({1, 2}), nullptr, Row({5, 6, 7}));
    add(kAIB, Seq({1, 3}), Mask({1, 1}), nullptr, Array({1, 3}, mxClassInt32));
    add(kAIB, Cells(1, 3), Row({1, 2}), nullptr, Cells(1, 1));
    // Linear growth of anything but a vector or an empty array of at most one row.
    for (Make target : {+[] {
                            return Seq({2, 2});
                        },
                        +[] {
                            return Seq({1, 2, 2});
                        },
                        +[] {
                            return Array({2, 0});
                        },
                        +[] { return Cells(1, 2); }}) {
        add(kCantResize, target(), Row({9}), nullptr, Row({5, 6}));
    }
    // A(:) = B: counts compared unless B is a double scalar, which needs a double A.
    add(kAColonB, Seq({2, 3}), Colon(), nullptr, Seq({5, 1}));
    add(kAColonB, Seq({2, 3}), Colon(), nullptr, Int32({1, 1}, {1}));
    add(kAColonB, Array({0, 2}), Colon(), nullptr, Row({1, 2}));
    add(kClass, Seq({2, 3}), Colon(), Colon(), Int32({1, 1}, {1}));
    for (Make target : {+[] {
                            return Int32({2, 2}, {1, 2, 3, 4});
                        },
                        +[] {
                            return Typed<std::uint8_t>(mxClassUint8, {1, 3}, {1, 2, 3});
                        },
                        +[] { return Cells(1, 2); }}) {
        add(kClass, target(), Colon(), nullptr, Row({5}));
        add(kClass, target(), Colon(), Colon(), Row({5}));
    }
    for (const auto &ab : {std::make_pair(DimList{2, 3}, DimList{3, 2}),
                           std::make_pair(DimList{0, 3}, DimList{1, 2}),
                           std::make_pair(DimList{2, 3}, DimList{1, 6})}) {
        add(kAColonB, Seq(ab.first), Colon(), Colon(), Seq(ab.second));
    }
    // A(I,J) = B: both subscripts empty, even for a 3-d B; a 3-d B before the
    // subscripts are read; B's rows, then columns; the class before the shape.
    add(kAMMB, Seq({2, 2}), Array({0, 0}), Array({0, 0}), Row({1, 2}));
    add(kAMMB, Seq({2, 2}), Array({0, 0}), Array({0, 0}), Seq({1, 1, 2}));
    add(kMoreDims, Seq({2, 2}), Row({0}), Colon(), Seq({2, 1, 2}));
    add(kMoreDims, Seq({2, 2}), Colon(), Colon(), Seq({2, 1, 2}));
    add(kAMMB, Seq({2, 2}), Colon(), Row({1}), Col({1, 2, 3}));
    add(kAMMB, Seq({2, 2}), Row({1}), Colon(), Col({1, 2}));
    add(kClass, Seq({2, 2}), Row({1}), Row({1}), Array({1, 3}, mxClassInt32));
    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(k);
        Refusal &c = cases[k];
        ArrayPtr sharer(c.a->CreateShareArray());
        ExpectRefused(c.error, c.a,
                      [&](CMatrix *&a) {
                          c.j ? Indexassign(a, c.i.get(), c.j.get(), c.b.get())
                              : Indexassign(a, c.i.get(), c.b.get());
                      },
                      {c.i.get(), c.j.get(), c.b.get()});
    }
}

// Refusals after the target has been grown (folded, made complex, unshared)
// leave it so, but never written; a sharer keeps the old data.
TEST(Indexassign, LateRefusalsLeaveTargetGrownNotWritten) {
    ArrayPtr int16 = Typed<std::int16_t>(mxClassInt16, {4, 1}, {1, 2, 0, 0});
    int16->ToComplex();
    Refusal cases[] = {
        {kAIB, Seq({1, 3}), Row({4, 5}), nullptr, Row({1, 2, 3}), Row({1, 2, 3, 0, 0})},
        {kClass, Typed<std::int16_t>(mxClassInt16, {2, 1}, {1, 2}), Row({4}), nullptr,
         Complex(1, 1, {5}, {1}), std::move(int16)},
        {kClass, ArrayPtr(mxCreateCellMatrix(0, 0)), Row({2}), nullptr, Complex(1, 1, {5}, {1}),
         ArrayPtr(mxCreateCellMatrix(1, 2))},
        {kClass, Int32({1, 2}, {1, 2}), Row({1}), nullptr, Row({5}), Int32({1, 2}, {1, 2})},
        {kAMMB, Seq({2, 2}), Row({3}), Row({1, 2}), Row({7, 8, 9}),
         Matrix(3, 2, {1, 2, 0, 3, 4, 0})},
        {kClass, Seq({1, 2, 2}), Row({2}), Row({1}), Array({1, 1}, mxClassSingle),
         Matrix(2, 4, {1, 0, 2, 0, 3, 0, 4, 0})},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        Refusal &c = cases[k];
        const LiveBlocks blocks;
        {
            ArrayPtr a(c.a->CreateDuplicateArray()), sharer(a->CreateShareArray());
            const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
            ExpectThrows(c.error, [&] { Assign(a, c.i.get(), c.j.get(), c.b.get()); });
            EXPECT_TRUE(SameArray(a.get(), c.expected.get()));
            EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
        }
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

// Written slots hold arrays of their own sharing the elements' data, so
// target and source may be destroyed in either order; a sharer of the
// target keeps its slots.
TEST(Indexassign, CellSlotsOwnTheirElements) {
    for (bool targetFirst : {false, true}) {
        SCOPED_TRACE(targetFirst);
        const LiveBlocks blocks;
        {
            ArrayPtr a = Cells(1, 3, 10), b = Cells(1, 2, 10), one = Cells(1, 1, 10);
            ArrayPtr sharer(a->CreateShareArray());
            const ArraySnapshot before = ArraySnapshot::Of(sharer.get());
            Assign(a, Row({1, 1}).get(), nullptr, b.get());        // repeated position
            Assign(a, Row({1}).get(), Row({5}).get(), one.get());  // growth
            Assign(a, Colon().get(), Row({4}).get(), one.get());   // block form
            EXPECT_TRUE(ArraySnapshot::Of(sharer.get()) == before);
            EXPECT_EQ(Slot(sharer.get(), 0), 10);
            EXPECT_EQ(Dims(a.get()), (DimList{1, 5}));
            for (unsigned int k = 0; k < 5; ++k)
                EXPECT_EQ(Slot(a.get(), k), (ValueList{11, 11, 12, 10, 10}[k]));
            EXPECT_NE(mxGetCell(a.get(), 0), mxGetCell(b.get(), 1));
            EXPECT_EQ(mxGetCell(a.get(), 0)->GetPr(), mxGetCell(b.get(), 1)->GetPr());
            EXPECT_NE(mxGetCell(a.get(), 3), mxGetCell(a.get(), 4));
            Assign(a, Row({2}).get(), nullptr, ArrayPtr(mxCreateCellMatrix(1, 1)).get());
            EXPECT_EQ(mxGetCell(a.get(), 1), nullptr);  // an empty slot of B empties A's
            if (targetFirst) a.reset();
            b.reset();
            one.reset();
        }
        EXPECT_EQ(blocks.Delta(), 0);
    }
    // B a cell held in a slot the assignment overwrites.
    ArrayPtr outer(mxCreateCellMatrix(1, 2));
    mxSetCell(outer.get(), 0, Cells(1, 2, 10).release());
    Assign(outer, Row({2, 1}).get(), nullptr, mxGetCell(outer.get(), 0));
    EXPECT_EQ(Slot(outer.get(), 0), 11);
    EXPECT_EQ(Slot(outer.get(), 1), 10);
}

// Every allocation failing in turn, on the writes, growths, replacement,
// fill and cell slots. Where the target must stay as it was, a sharer makes
// the write unshare first (not for cells, whose unsharing gives the slots
// new owners); elsewhere a failure may leave it grown, folded, unshared or
// complex, and each run works on a fresh copy.
TEST(Indexassign, AllocationFailures) {
    struct Failure {
        bool unchanged;
        ArrayPtr a, i, j, b;
    };
    Failure cases[] = {
        {true, Seq({2, 3}), Row({2, 1}), nullptr, Row({9, 8})},
        {true, Seq({1, 3}), Row({7}), nullptr, Row({9})},
        {true, Seq({2, 3}), Colon(), Row({4}), Col({9, 8})},
        {true, Seq({2, 3}), Colon(), nullptr, Seq({3, 2})},
        {true, Seq({2, 3}), Colon(), Colon(), Row({9})},
        {true, Cells(1, 3), Row({3, 1}), nullptr, Cells(1, 2)},
        {false, Seq({1, 3}), Row({5}), nullptr, Complex(1, 1, {1}, {2})},
        {false, Seq({2, 2, 2}), Row({3}), Row({1}), Row({9})},
        {false, Seq({2, 3}), Colon(), nullptr, Complex(1, 1, {1}, {2})},
        {false, ArrayPtr(mxCreateCellMatrix(0, 0)), Row({5, 1}), nullptr, Cells(1, 2)},
        {false, Cells(1, 3), Colon(), Row({2, 3}), Cells(1, 2)},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        Failure &c = cases[k];
        ArrayPtr sharer(c.unchanged && !c.a->IsCell() ? c.a->CreateShareArray() : nullptr);
        const ArraySnapshot before = ArraySnapshot::Of(c.a.get());
        const CMatrix *same = c.a.get();
        const int points = matrix_test::ForEachAllocationFailure(
            [&] {
                if (c.unchanged) return Assign(c.a, c.i.get(), c.j.get(), c.b.get());
                ArrayPtr a(c.a->CreateDuplicateArray()), aSharer(a->CreateShareArray());
                Assign(a, c.i.get(), c.j.get(), c.b.get());
            },
            [&] {
                if (!c.unchanged) return;
                EXPECT_EQ(c.a.get(), same);
                EXPECT_TRUE(ArraySnapshot::Of(c.a.get()) == before);
            });
        EXPECT_GT(points, 0);
    }
}

}  // namespace
