// tests/construct/concat_test.cpp: Horzcat and Vertcat.
#include <matrix/matrix.h>

#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

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
// 100 k + 2, ... in storage order.
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

TEST(Concat, PlacesTheOperandsInEveryForm) {
    std::vector<DimList> twenty[2];
    ValueList twentyValues;
    for (unsigned int k = 0; k < 20; ++k) {
        twenty[0].push_back({1, k % 3 == 2 ? 0u : 1u});
        twenty[1].push_back({k % 3 == 2 ? 0u : 1u, 1});
        if (k % 3 != 2) twentyValues.push_back(100.0 * k + 1);
    }
    const struct {
        bool horizontal;
        std::vector<DimList> shapes;
        DimList result;
        ValueList values;
    } cases[] = {{true, {{2, 1}, {2, 1}}, {2, 2}, {1, 2, 101, 102}},
                 {true, {{2, 1}, {2, 2}, {2, 1}}, {2, 4}, {1, 2, 101, 102, 103, 104, 201, 202}},
                 {false, {{1, 2}, {1, 2}}, {2, 2}, {1, 101, 2, 102}},
                 {false, {{1, 2}, {2, 2}, {1, 2}}, {4, 2}, {1, 101, 102, 201, 2, 103, 104, 202}},
                 // Operands without elements are skipped wherever they are.
                 {true, {{3, 0}, {1, 2}}, {1, 2}, {101, 102}},
                 {true, {{0, 7}, {1, 2}, {0, 0}, {5, 0}, {1, 1}}, {1, 3}, {101, 102, 401}},
                 {false, {{0, 0}, {1, 2}, {0, 5}}, {1, 2}, {101, 102}},
                 {false, {{4, 0}, {1, 2}, {0, 5}, {1, 2}}, {2, 2}, {101, 301, 102, 302}},
                 {true, twenty[0], {1, 14}, twentyValues},
                 {false, twenty[1], {14, 1}, twentyValues}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.shapes) + (c.horizontal ? " [,]" : " [;]"));
        Made made = Counting(c.shapes);
        Operands arguments = made.operands;
        if (arguments.size() > 3) arguments.push_back(nullptr);
        for (const ArrayPtr &r : {ArrayPtr(Join(c.horizontal, made.operands, true)),
                                  ArrayPtr(Join(c.horizontal, arguments))}) {
            EXPECT_EQ(Dims(r.get()), c.result);
            EXPECT_EQ(Values(r.get()), c.values);
            EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->GetFlags() == 0u);  // never logical
        }
    }
}

TEST(Concat, ArgumentsEndAtTheFirstNull) {
    const Made made = Counting({{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}});
    const CMatrix *a = made.operands[0], *b = made.operands[1], *c = made.operands[2];
    const CMatrix *d = made.operands[3], *e = made.operands[4];
    const std::pair<Operands, ValueList> cases[] = {
        {{a, b, nullptr}, {1, 101}},
        {{a, nullptr, c}, {1}},
        {{a, b, nullptr, d}, {1, 101}},
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
        for (const Operands &arguments : {Operands{x.get()}, Operands{x.get(), nullptr},
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
    ArrayPtr tall = Array({3000000000u, 0});
    const struct {
        std::vector<DimList> operands;
        DimList horzcat, vertcat;
    } cases[] = {
        // Horzcat: columns adding up to 0 give (max rows) x 0; rows all 0 give
        // 0 x (sum of columns); both non-zero give 0x0. Vertcat likewise.
        {{{3, 0}, {3, 0}}, {3, 0}, {6, 0}},
        {{{2, 0}, {3, 0}}, {3, 0}, {5, 0}},
        {{{0, 2}, {0, 3}}, {0, 5}, {0, 3}},
        {{{0, 3}, {2, 0}}, {0, 0}, {0, 0}},
        {{{2, 0}, {0, 3}}, {0, 0}, {0, 0}},
        // 0x0 operands never count.
        {{{0, 0}, {0, 3}, {0, 0}}, {0, 3}, {0, 3}},
        {{{0, 0}, {4, 0}}, {4, 0}, {4, 0}},
        {{{0, 0}, {0, 0}}, {0, 0}, {0, 0}},
        {{}, {0, 0}, {0, 0}},
        {{{3000000000u, 0}, {3000000000u, 0}}, {3000000000u, 0}, {}},  // the maximum, no sum
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.operands));
        Made made = Counting(c.operands);
        EXPECT_EQ(Dims(ArrayPtr(Join(true, made.operands, true)).get()), c.horzcat);
        if (c.vertcat.empty()) continue;
        EXPECT_EQ(Dims(ArrayPtr(Join(false, made.operands, true)).get()), c.vertcat);
    }
}

}  // namespace
