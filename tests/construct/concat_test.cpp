// tests/construct/concat_test.cpp: Horzcat and Vertcat.
#include <matrix/matrix.h>

#include <algorithm>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

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

// Logical double arrays of the given shapes (null for an empty shape), kept
// in `owned`; operand k holds 100 k + 1, 100 k + 2, ... in storage order.
Operands Counting(const std::vector<DimList> &shapes, std::vector<ArrayPtr> &owned) {
    Operands x;
    for (const DimList &dims : shapes) {
        if (dims.empty()) {
            x.push_back(nullptr);
            continue;
        }
        x.push_back(owned.emplace_back(Counted(dims, 100.0 * x.size() + 1)).get());
        owned.back()->SetLogical();
    }
    return x;
}

// Operands without elements are skipped wherever they are; the result is
// never logical. A null shape stands for a null argument, where the
// arguments end. Empty operands alone: columns adding up to 0 give (max rows)
// x 0, rows all 0 give 0 x (sum of columns), 0x0 operands never count.
TEST(Concat, PlacesTheOperandsInEveryForm) {
    std::vector<DimList> twenty;
    ValueList twentyValues;
    for (unsigned int k = 0; k < 20; ++k) {
        twenty.push_back({1, k % 3 == 2 ? 0u : 1u});
        if (k % 3 != 2) twentyValues.push_back(100.0 * k + 1);
    }
    const struct {
        bool horizontal;
        std::vector<DimList> shapes;
        DimList result;
        ValueList values;
    } cases[] = {{true, {{2, 1}, {2, 2}, {2, 1}}, {2, 4}, {1, 2, 101, 102, 103, 104, 201, 202}},
                 {false, {{1, 2}, {2, 2}, {1, 2}}, {4, 2}, {1, 101, 102, 201, 2, 103, 104, 202}},
                 {false, {{4, 0}, {1, 2}, {0, 5}, {1, 2}}, {2, 2}, {101, 301, 102, 302}},
                 {true, twenty, {1, 14}, twentyValues},
                 {true, {{0, 0}, {0, 2}, {0, 0}, {0, 3}}, {0, 5}, {}},
                 {false, {{1, 1}, {1, 1}, {}, {1, 1}}, {2, 1}, {1, 101}}};
    for (const auto &c : cases) {
        std::vector<ArrayPtr> owned;
        Operands x = Counting(c.shapes, owned);
        const bool hasNull = std::find(x.begin(), x.end(), nullptr) != x.end();
        for (bool list : {!hasNull, false}) {
            ArrayPtr r(Join(c.horizontal, x, list));
            EXPECT_TRUE(Dims(r.get()) == c.result && Values(r.get()) == c.values) << c.result[1];
            EXPECT_TRUE(r->IsDouble() && !r->IsComplex() && r->GetFlags() == 0u);
        }
    }
    // One operand, of any kind, is shared unchecked.
    ArrayPtr one = Array({2, 3, 4}, mxClassInt32, mxComplexityComplex);
    const Snapshots before({one.get()});
    ArrayPtr r(Join(false, {one.get(), nullptr}));
    EXPECT_TRUE(r->GetPr() == one->GetPr() && r->GetPi() == one->GetPi() && r->IsInt32());
    EXPECT_TRUE(Dims(r.get()) == (DimList{2, 3, 4}) && before.Unchanged());
}

}  // namespace
