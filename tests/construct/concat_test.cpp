// tests/construct/concat_test.cpp: Horzcat and Vertcat.
#include <matrix/matrix.h>

#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

using Operands = std::vector<const CMatrix *>;

// Concatenates `x` through the list form, or through the form with
// separate arguments of its length: 1, 2 or 3, or else the variadic one,
// whose arguments end at the first null (more than it keeps on the stack
// when there are over 16).
CMatrix *Join(bool horizontal, Operands x, bool list = false) {
#define MATRIX_JOIN(...) return horizontal ? Horzcat(__VA_ARGS__) : Vertcat(__VA_ARGS__)
    if (list) MATRIX_JOIN(unsigned(x.size()), x.data());
    const std::size_t n = x.size();
    x.resize(22, nullptr);
    if (n == 1) MATRIX_JOIN(x[0]);
    if (n == 2) MATRIX_JOIN(x[0], x[1]);
    if (n == 3) MATRIX_JOIN(x[0], x[1], x[2]);
    MATRIX_JOIN(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], x[8], x[9], x[10], x[11], x[12],
                x[13], x[14], x[15], x[16], x[17], x[18], x[19], x[20], x[21]);
#undef MATRIX_JOIN
}

// Logical double arrays of the given shapes, kept in `owned`; operand k
// holds 100 k + 1, 100 k + 2, ... in storage order.
Operands Counting(const std::vector<DimList> &shapes, std::vector<ArrayPtr> &owned) {
    Operands x;
    for (const DimList &dims : shapes) {
        x.push_back(owned.emplace_back(Counted(dims, 100.0 * x.size() + 1)).get());
        owned.back()->SetLogical();
    }
    return x;
}

// Operands without elements are skipped wherever they are; the result is
// never logical.
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
    } cases[] = {{true, {{2, 1}, {2, 2}, {2, 1}}, {2, 4}, {1, 2, 101, 102, 103, 104, 201, 202}},
                 {false, {{1, 2}, {2, 2}, {1, 2}}, {4, 2}, {1, 101, 102, 201, 2, 103, 104, 202}},
                 {true, {{0, 7}, {1, 2}, {0, 0}, {5, 0}, {1, 1}}, {1, 3}, {101, 102, 401}},
                 {false, {{4, 0}, {1, 2}, {0, 5}, {1, 2}}, {2, 2}, {101, 301, 102, 302}},
                 {true, twenty[0], {1, 14}, twentyValues},
                 {false, twenty[1], {14, 1}, twentyValues}};
    for (const auto &c : cases) {
        std::vector<ArrayPtr> owned;
        const Operands x = Counting(c.shapes, owned);
        for (bool list : {true, false}) {
            ArrayPtr r(Join(c.horizontal, x, list));
            EXPECT_TRUE(Dims(r.get()) == c.result && Values(r.get()) == c.values) << c.values[0];
            EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->GetFlags() == 0u);
        }
    }
}

// The arguments end at the first null; one operand, of any kind, is shared
// unchecked.
TEST(Concat, ArgumentsEndAtTheFirstNull) {
    std::vector<ArrayPtr> owned;
    const Operands x = Counting({{1, 1}, {1, 1}, {1, 1}, {1, 1}}, owned);
    ArrayPtr one = Array({2, 3, 4}, mxClassInt32, mxComplexityComplex);
    const Snapshots before({one.get()});
    for (bool horizontal : {true, false}) {
        EXPECT_EQ(Values(ArrayPtr(Join(horizontal, {x[0], nullptr, x[2]})).get()), ValueList{1});
        EXPECT_EQ(Values(ArrayPtr(Join(horizontal, {x[0], x[1], nullptr, x[3]})).get()),
                  (ValueList{1, 101}));
        for (const Operands &arguments : {Operands{one.get()}, Operands{one.get(), nullptr}}) {
            ArrayPtr r(Join(horizontal, arguments, arguments.size() == 1));
            EXPECT_TRUE(r->GetPr() == one->GetPr() && r->GetPi() == one->GetPi());
            EXPECT_TRUE(Dims(r.get()) == (DimList{2, 3, 4}) && r->IsInt32());
        }
    }
    EXPECT_TRUE(before.Unchanged());
}

// Horzcat: columns adding up to 0 give (max rows) x 0; rows all 0 give
// 0 x (sum of columns); both non-zero give 0x0; 0x0 operands never count.
// Vertcat likewise.
TEST(Concat, OnlyEmptyOperandsShapeTheResult) {
    const struct {
        std::vector<DimList> operands;
        DimList horzcat, vertcat;
    } cases[] = {{{{2, 0}, {3, 0}}, {3, 0}, {5, 0}},
                 {{{0, 2}, {0, 3}}, {0, 5}, {0, 3}},
                 {{{0, 3}, {2, 0}}, {0, 0}, {0, 0}},
                 {{{0, 0}, {0, 3}, {0, 0}}, {0, 3}, {0, 3}},
                 {{}, {0, 0}, {0, 0}},
                 {{{3000000000u, 0}, {3000000000u, 0}}, {3000000000u, 0}, {}}};  // no sum
    for (const auto &c : cases) {
        std::vector<ArrayPtr> owned;
        const Operands x = Counting(c.operands, owned);
        EXPECT_EQ(Dims(ArrayPtr(Join(true, x, true)).get()), c.horzcat);
        EXPECT_TRUE(c.vertcat.empty() || Dims(ArrayPtr(Join(false, x, true)).get()) == c.vertcat);
    }
}

}  // namespace
