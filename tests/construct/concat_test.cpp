// tests/construct/concat_test.cpp: Horzcat and Vertcat.
#include <matrix/matrix.h>

#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

using Operands = std::vector<const CMatrix *>;

// Concatenates `x` through the form with separate arguments of its length
// (variadic lists end at a null argument), or through the list form.
CMatrix *Join(bool horizontal, const Operands &x, bool list = false) {
#define MATRIX_JOIN(...) return horizontal ? Horzcat(__VA_ARGS__) : Vertcat(__VA_ARGS__)
    if (list) MATRIX_JOIN(unsigned(x.size()), const_cast<const CMatrix **>(x.data()));
    switch (x.size()) {
        case 1: MATRIX_JOIN(x[0]);
        case 2: MATRIX_JOIN(x[0], x[1]);
        case 3: MATRIX_JOIN(x[0], x[1], x[2]);
        case 4: MATRIX_JOIN(x[0], x[1], x[2], x[3]);
        case 5: MATRIX_JOIN(x[0], x[1], x[2], x[3], x[4]);
        case 6: MATRIX_JOIN(x[0], x[1], x[2], x[3], x[4], x[5]);
        case 7: MATRIX_JOIN(x[0], x[1], x[2], x[3], x[4], x[5], x[6]);
        case 21:  // more operands than the list kept on the stack holds
            MATRIX_JOIN(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], x[8], x[9], x[10], x[11],
                        x[12], x[13], x[14], x[15], x[16], x[17], x[18], x[19], x[20]);
    }
#undef MATRIX_JOIN
    ADD_FAILURE() << "no form for " << x.size() << " arguments";
    return nullptr;
}

// Logical double arrays of the given shapes; operand k holds 100 k + 1,
// 100 k + 2, ...
struct Made {
    std::vector<ArrayPtr> owned;
    Operands operands;
};
Made Counting(const std::vector<DimList> &shapes) {
    Made made;
    for (const DimList &dims : shapes) {
        made.owned.push_back(Counted(dims, 100.0 * made.owned.size() + 1));
        made.owned.back()->SetLogical();
        made.operands.push_back(made.owned.back().get());
    }
    return made;
}

// [A1, A2, ...] or [A1; A2; ...] element by element through subscripts,
// skipping operands without elements.
std::vector<double> Reference(const Operands &operands, bool horizontal, const DimList &dims) {
    std::vector<double> out(std::size_t{dims[0]} * dims[1], -1.0);
    unsigned int offset = 0;
    for (const CMatrix *a : operands) {
        if (a->GetNoElems() == 0) continue;
        const unsigned int rows = mxGetM(a), cols = mxGetN(a);
        for (unsigned int j = 0; j < cols; ++j) {
            for (unsigned int i = 0; i < rows; ++i) {
                const unsigned int r = horizontal ? i : offset + i, c = horizontal ? offset + j : j;
                out[r + std::size_t{c} * dims[0]] = mxGetPr(a)[i + j * rows];
            }
        }
        offset += horizontal ? cols : rows;
    }
    return out;
}

TEST(Concat, PlacesTheOperandsInEveryForm) {
    std::vector<DimList> twenty[2];
    for (unsigned int k = 0; k < 20; ++k) {
        twenty[0].push_back({2, k % 3});
        twenty[1].push_back({k % 3, 2});
    }
    const struct {
        bool horizontal;
        std::vector<DimList> shapes;
        DimList result;
    } cases[] = {
        {true, {{2, 1}, {2, 1}}, {2, 2}},
        {true, {{3, 1}, {3, 4}, {3, 2}}, {3, 7}},
        {false, {{1, 2}, {1, 2}}, {2, 2}},
        {false, {{1, 4}, {5, 4}, {2, 4}}, {8, 4}},
        // Operands without elements are skipped wherever they are.
        {true, {{3, 0}, {1, 2}}, {1, 2}},
        {true, {{0, 7}, {1, 2}, {0, 0}, {5, 0}, {1, 1}}, {1, 3}},
        {false, {{0, 0}, {1, 2}, {0, 5}}, {1, 2}},
        {false, {{4, 0}, {1, 2}, {0, 5}, {1, 2}}, {2, 2}},
        {true, twenty[0], {2, 19}},
        {false, twenty[1], {19, 2}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.shapes) + (c.horizontal ? " [,]" : " [;]"));
        Made made = Counting(c.shapes);
        Operands arguments = made.operands;
        if (arguments.size() > 3) arguments.push_back(nullptr);
        for (const ArrayPtr &r : {ArrayPtr(Join(c.horizontal, made.operands, true)),
                                  ArrayPtr(Join(c.horizontal, arguments))}) {
            EXPECT_EQ(Dims(r.get()), c.result);
            EXPECT_EQ(Values(r.get()), Reference(made.operands, c.horizontal, c.result));
            EXPECT_TRUE(r->IsDouble() && !r->IsComplex());
            EXPECT_EQ(r->GetFlags(), 0u);  // never logical
        }
    }
}

TEST(Concat, ArgumentsEndAtTheFirstNull) {
    const Made made = Counting({{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}});
    const CMatrix *a = made.operands[0], *b = made.operands[1], *c = made.operands[2];
    const CMatrix *d = made.operands[3], *e = made.operands[4];
    const std::pair<Operands, std::vector<double>> cases[] = {
        {{a, b, nullptr}, {1, 101}},
        {{a, nullptr, c}, {1}},
        {{a, b, nullptr, d}, {1, 101}},
        {{a, b, c, nullptr}, {1, 101, 201}},
        {{a, b, c, d, nullptr}, {1, 101, 201, 301}},
        {{a, b, c, d, e, nullptr, a}, {1, 101, 201, 301, 401}}};
    for (bool horizontal : {true, false}) {
        for (const auto &[arguments, values] : cases) {
            EXPECT_EQ(Values(ArrayPtr(Join(horizontal, arguments)).get()), values);
        }
    }

    // One operand, of any kind, is shared unchecked.
    ArrayPtr x = Array({2, 3, 4}, mxClassInt32, mxComplexityComplex);
    const Snapshots before({x.get()});
    for (bool horizontal : {true, false}) {
        for (const Operands &arguments :
             {Operands{x.get()}, Operands{x.get(), nullptr}, Operands{x.get(), nullptr, nullptr},
              Operands{x.get(), nullptr, nullptr, nullptr}}) {
            for (bool list : {false, arguments.size() == 1}) {
                ArrayPtr r(Join(horizontal, arguments, list));
                EXPECT_TRUE(r->GetPr() == x->GetPr() && r->GetPi() == x->GetPi());
                EXPECT_EQ(Dims(r.get()), (DimList{2, 3, 4}));
                EXPECT_EQ(r->GetClassID(), mxClassInt32);
            }
        }
    }
    EXPECT_TRUE(before.Unchanged());
}

TEST(Concat, OnlyEmptyOperandsShapeTheResult) {
    const struct {
        std::vector<DimList> operands;
        DimList horzcat, vertcat;
    } cases[] = {
        // Horzcat: columns adding up to 0 give (max rows) x 0; rows all 0 give
        // 0 x (sum of columns); both non-zero give 0x0. Vertcat likewise.
        {{{3, 0}, {3, 0}}, {3, 0}, {6, 0}},
        {{{2, 0}, {3, 0}}, {3, 0}, {5, 0}},
        {{{0, 2}, {0, 3}}, {0, 5}, {0, 3}},
        {{{0, 3}, {0, 3}}, {0, 6}, {0, 3}},
        {{{0, 3}, {2, 0}}, {0, 0}, {0, 0}},
        {{{2, 0}, {0, 3}}, {0, 0}, {0, 0}},
        // 0x0 operands never count.
        {{{0, 0}, {0, 3}, {0, 0}}, {0, 3}, {0, 3}},
        {{{0, 0}, {4, 0}}, {4, 0}, {4, 0}},
        {{{0, 0}, {0, 0}}, {0, 0}, {0, 0}},
        {{}, {0, 0}, {0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.operands));
        Made made = Counting(c.operands);
        EXPECT_EQ(Dims(ArrayPtr(Join(true, made.operands, true)).get()), c.horzcat);
        EXPECT_EQ(Dims(ArrayPtr(Join(false, made.operands, true)).get()), c.vertcat);
    }
}

TEST(Concat, RejectsMismatchedAndUnsupportedOperandsInOrder) {
    const wchar_t rows[] =
        L"All matrices on a row in the bracketed expression must have the same number of rows";
    const wchar_t columns[] =
        L"All rows in the bracketed expression must have the same number of columns";
    Made made = Counting({{2, 1}, {3, 1}, {0, 4}, {1, 2}, {1, 3}});
    const CMatrix *a = made.operands[0], *b = made.operands[1], *e = made.operands[2];
    const CMatrix *r2 = made.operands[3], *r3 = made.operands[4];
    for (const Operands &ops : {Operands{a, b}, Operands{e, a, e, b}}) {
        EXPECT_CLEAN_THROW(Join(true, ops), CAllColumnsMustHaveSameRows, rows, ops);
    }
    EXPECT_CLEAN_THROW(Join(false, {r2, r3}), CAllRowsMustHaveSameColumns, columns, r2, r3);

    std::vector<ArrayPtr> bad = NonRealDoubleOperands();
    bad.push_back(Array({1, 1, 2}));
    bad.push_back(Array({0, 0, 2}));  // empty, but three-dimensional
    for (const ArrayPtr &x : bad) {
        for (bool horizontal : {true, false}) {
            EXPECT_NOT_IMPLEMENTED(Join(horizontal, {r2, x.get()}), r2, x.get());
            EXPECT_NOT_IMPLEMENTED(Join(horizontal, {x.get(), r2}), r2, x.get());
        }
    }
    // A mismatch of the second operand is met before the third's class.
    const CMatrix *ints = bad[4].get();
    EXPECT_CLEAN_THROW(Join(false, {r2, r3, ints}), CAllRowsMustHaveSameColumns, columns, r2, r3);
    EXPECT_NOT_IMPLEMENTED(Join(false, {r2, ints, r3}), r2, r3, ints);

    // Arrays without elements may have huge lengths, whose sum would wrap.
    ArrayPtr wide = Array({0, 3000000000u}), tall = Array({3000000000u, 0});
    using OutOfMemory = kiv::CExhaustedMemoryException;
    EXPECT_CLEAN_THROW(Horzcat(wide.get(), wide.get()), OutOfMemory, L"Out of memory", wide.get());
    EXPECT_CLEAN_THROW(Vertcat(tall.get(), tall.get()), OutOfMemory, L"Out of memory", tall.get());
    EXPECT_EQ(Dims(ArrayPtr(Horzcat(tall.get(), tall.get())).get()), (DimList{3000000000u, 0}));

    // Failed allocations, with the list on the stack and on the heap.
    Made many = Counting(std::vector<DimList>(20, DimList{3, 2}));
    Operands three(many.operands.begin(), many.operands.begin() + 3), twenty = many.operands;
    twenty.push_back(nullptr);
    EXPECT_GT(FailurePoints([&] { return Join(true, three, true); }, {three[0], three[2]}), 0);
    EXPECT_GT(FailurePoints([&] { return Join(false, twenty); }, {three[0], three[2]}), 1);
}

}  // namespace
