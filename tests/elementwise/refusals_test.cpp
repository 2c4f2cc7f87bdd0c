// tests/elementwise/refusals_test.cpp: every refusal of the element-wise
// functions, and their failed allocations.
#include <matrix/matrix.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

using Binary = CMatrix *(*)(const CMatrix *, const CMatrix *);
using Unary = CMatrix *(*)(const CMatrix *);

TEST(Elementwise, Refusals) {
    ArrayPtr good = Counted({2, 2}), one = Counted({1, 1}), wide = Counted({2, 3});
    ArrayPtr tall = Counted({3, 2}), single = Zeroed({2, 3}, mxClassSingle), zero = Row({0});
    const Binary binaries[] = {Plus, Ge, Max, And, Or};
    const Unary unaries[] = {Abs, Sqrt, Isnan, Not, Uminus};
    std::vector<ArrayPtr> bad = NonRealDoubleOperands();
    std::vector<Refusal> table;
    const auto row = [&](std::string what, std::function<void()> call, Expected expected,
                         std::vector<const CMatrix *> unchanged) {
        table.push_back(
            {std::move(what), std::move(call), std::move(expected), std::move(unchanged)});
    };
    const Expected mismatch = Expected::Throws<CArrayDimsMustMatchForBinaryOpException>();
    // Any operand but a real double, before the shapes are compared and
    // before a deciding scalar is looked at.
    for (std::size_t k = 0; k < bad.size(); ++k) {
        const CMatrix *x = bad[k].get();
        const std::string name = "operand " + std::to_string(k);
        for (Binary f : binaries) {
            for (const CMatrix *y : {good.get(), one.get(), zero.get(), tall.get()}) {
                row(name, [=] { ArrayPtr(f(x, y)); }, NotImplemented(), {x, y});
                row(name, [=] { ArrayPtr(f(y, x)); }, NotImplemented(), {x, y});
            }
        }
        for (Unary f : unaries) row(name, [=] { ArrayPtr(f(x)); }, NotImplemented(), {x});
        row(name + " plus", [=] { ArrayPtr(Plus(1.0, x)); }, NotImplemented(), {x});
        row(name + " plus", [=] { ArrayPtr(Plus(x, 1.0)); }, NotImplemented(), {x});
        row(name + " and", [=] { ArrayPtr(And(5.0, x)); }, NotImplemented(), {x});
        row(name + " or", [=] { ArrayPtr(Or(x, 0.0)); }, NotImplemented(), {x});
        CMatrix *mx = bad[k].get(), *w = wide.get(), *o = one.get();
        row(name + " mod", [=] { ArrayPtr(Mod(mx, 3.0)); }, NotImplemented(), {x});
        row(name + " mod", [=] { ArrayPtr(Mod(mx, o)); }, NotImplemented(), {x, o});
        row(name + " mod", [=] { ArrayPtr(Mod(w, mx)); }, NotImplemented(), {x, w});
    }
    // Shapes that differ, unless one operand has exactly one element.
    const DimList pairs[][2] = {{{2, 3}, {3, 2}},      {{3, 1}, {1, 3}},    {{0, 3}, {3, 0}},
                                {{2, 2, 2}, {2, 2}},   {{2, 2}, {2, 2, 2}}, {{1, 2}, {0, 0}},
                                {{2, 3, 4}, {2, 3, 5}}};
    std::vector<ArrayPtr> operands;
    for (const auto &pair : pairs) {
        operands.push_back(Counted(pair[0]));
        operands.push_back(Counted(pair[1]));
        const CMatrix *a = operands[operands.size() - 2].get(), *b = operands.back().get();
        for (Binary f : binaries) row("shapes", [=] { ArrayPtr(f(a, b)); }, mismatch, {a, b});
    }
    // Mod: the shape error wins over X's class.
    CMatrix *w = wide.get(), *t = tall.get(), *s = single.get();
    row("mod shapes", [=] { ArrayPtr(Mod(w, t)); }, mismatch, {w, t});
    row("mod shapes before X's class", [=] { ArrayPtr(Mod(s, t)); }, mismatch, {s, t});
    ExpectRefusals(table);
}

TEST(Elementwise, AllocationFailures) {
    ArrayPtr a = Matrix(2, 2, {1, -2, 0, 4}), s = Row({0});
    const CMatrix *x = a.get(), *z = s.get();
    CMatrix *mx = a.get();
    ExpectFailurePoints({{"plus", [=] { return Plus(x, x); }, {x}},
                         {"plus scalar array", [=] { return Plus(z, x); }, {x, z}},
                         {"plus double", [=] { return Plus(x, 2.0); }, {x}},
                         {"ge", [=] { return Ge(x, x); }, {x}},
                         {"and", [=] { return And(x, x); }, {x}},
                         {"and deciding scalar", [=] { return And(x, z); }, {x, z}},
                         {"not", [=] { return Not(x); }, {x}},
                         {"abs", [=] { return Abs(x); }, {x}},
                         {"isnan", [=] { return Isnan(x); }, {x}},
                         {"real", [=] { return Real(x); }, {x}},
                         {"mod", [=] { return Mod(mx, mx); }, {x}},
                         {"mod double", [=] { return Mod(mx, 0.5); }, {x}}});
    // Sqrt fails either creating the result or adding the imaginary part.
    EXPECT_GE(FailurePoints([=] { return Sqrt(x); }, {x}), 2);
}

}  // namespace
