// tests/construct/generate_test.cpp: Linspace, Repmat and Cat along any
// dimension, element by element, and their refusals.
#include <matrix/array.h>
#include <matrix/matrix.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

// The default count and the Array form are the built-in's, pinned by the
// golden scripts.
TEST(Linspace, EndsExactInteriorByTheStatedFormula) {
    // clang-format off
    const struct { double a, b; unsigned n; } rows[] = {
        {0, 1, 5}, {0, 0.1, 7}, {-1, 1e-300, 4}, {3, -2, 2}, {1, 2, 1}, {1, 2, 0},
        {0, kInf, 3}, {-kInf, kInf, 3}, {-0.0, 5, 3}, {1e308, -1e308, 5}};
    // clang-format on
    for (const auto &r : rows) {
        SCOPED_TRACE(::testing::Message() << r.a << ' ' << r.b << ' ' << r.n);
        const ArrayPtr got(Linspace(r.a, r.b, r.n));
        EXPECT_EQ(Dims(got.get()), DimList({1, r.n}));
        ValueList want;
        for (unsigned k = 0; k < r.n; ++k) {
            want.push_back(k + 1 == r.n ? r.b : k == 0 ? r.a : r.a + k * (r.b - r.a) / (r.n - 1));
        }
        EXPECT_EQ(BitsOf(got.get()), BitsOf(want));
    }
}

// Element (i, j, s) of Repmat(A, m, n) is A(i mod rows, j mod cols, s), bit
// for bit, for every class that holds values, complex and logical included.
TEST(Repmat, EveryElementIsItsSourceElement) {
    ArrayPtr complexCube = Counted({2, 3, 2}, 1.0, mxComplexityComplex);
    ArrayPtr mask = Mask({1, 0, 1}), text = Zeroed({2, 2}, mxClassChar);
    ArrayPtr bytes = Typed<std::int8_t>(mxClassInt8, {3, 1}, {-1, 2, 3}), empty = Array({0, 2});
    FillBytes(text.get());
    for (const CMatrix *a : {complexCube.get(), mask.get(), text.get(), bytes.get(), empty.get()}) {
        for (const auto &[m, n] : {std::pair{1u, 1u}, {2u, 3u}, {3u, 1u}, {0u, 2u}}) {
            SCOPED_TRACE(::testing::Message() << int(a->GetClassID()) << ' ' << m << 'x' << n);
            const ArrayPtr r(Repmat(a, m, n));
            DimList dims = Dims(a);
            dims[0] *= m;
            dims[1] *= n;
            ASSERT_EQ(Dims(r.get()), dims);
            EXPECT_TRUE(r->GetClassID() == a->GetClassID() && r->IsLogical() == a->IsLogical() &&
                        r->IsComplex() == a->IsComplex());
            const std::size_t size = a->GetElementSize(), rows = Dims(a)[0], cols = Dims(a)[1];
            for (bool imag : {false, true}) {
                if (imag && !a->IsComplex()) continue;
                const std::vector<unsigned char> from = Bytes(a, imag), to = Bytes(r.get(), imag);
                for (std::size_t e = 0; e < r->GetNoElems(); ++e) {
                    const std::size_t i = e % dims[0], j = e / dims[0] % dims[1];
                    const std::size_t s = e / (std::size_t{dims[0]} * dims[1]);
                    const std::size_t source = i % rows + (j % cols) * rows + s * rows * cols;
                    for (std::size_t b = 0; b < size; ++b)
                        ASSERT_EQ(to[e * size + b], from[source * size + b]) << e;
                }
            }
        }
    }
}

// Cat along 1 and 2 of matrices is Vertcat and Horzcat; along any other
// dimension every element of the result is its operand's element.
TEST(Cat, JoinsAlongAnyDimension) {
    ArrayPtr a = Counted({2, 3}), b = Counted({2, 3}, 10), c = Counted({1, 3}, 20);
    const ArrayPtr v(Cat(1, a.get(), c.get())), h(Cat(2, a.get(), b.get()));
    EXPECT_TRUE(SameArray(v.get(), ArrayPtr(Vertcat(a.get(), c.get())).get()));
    EXPECT_TRUE(SameArray(h.get(), ArrayPtr(Horzcat(a.get(), b.get())).get()));
    // Along the third dimension, with an empty operand skipped.
    ArrayPtr none = Array({0, 0});
    const ArrayPtr deep(Cat(3, a.get(), none.get(), b.get()));
    EXPECT_EQ(Dims(deep.get()), DimList({2, 3, 2}));
    ValueList want = Values(a.get()), second = Values(b.get());
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_EQ(Values(deep.get()), want);
    // Along the first dimension of two cubes: each slab of the result is
    // the slabs of the operands in turn.
    ArrayPtr p = Counted({2, 2, 2}), q = Counted({1, 2, 2}, 100);
    const ArrayPtr rows(Cat(1, p.get(), q.get(), nullptr));
    EXPECT_EQ(Dims(rows.get()), DimList({3, 2, 2}));
    EXPECT_EQ(Values(rows.get()), ValueList({1, 2, 100, 3, 4, 101, 5, 6, 102, 7, 8, 103}));
    // The four-operand form, along a fourth dimension.
    ArrayPtr s = Counted({1, 2}), t = Counted({1, 2}, 3);
    const ArrayPtr four(Cat(4, s.get(), t.get(), s.get(), t.get(), nullptr));
    EXPECT_EQ(Dims(four.get()), DimList({1, 2, 1, 4}));
    EXPECT_EQ(Values(four.get()), ValueList({1, 2, 3, 4, 1, 2, 3, 4}));
    const kiv::matrix::Array x = {1.0, 2.0};
    EXPECT_EQ(Dims(Cat(3, x, x, 5.0 * x).get()), DimList({1, 2, 3}));
}

TEST(Generate, Refusals) {
    const Expected badDim =
        Expected::Throws(CFunctionErrorException(L"Dimension argument must be a positive integer"));
    const Expected inconsistent = Expected::Throws(
        CFunctionErrorException(L"Dimensions of arrays being concatenated are not consistent"));
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    ArrayPtr cells = Cells(1, 2), a = Counted({2, 3}), b = Counted({3, 3}),
             text = Zeroed({2, 3}, mxClassChar);
    ArrayPtr complex = Counted({2, 3}, 1.0, mxComplexityComplex), tall = Counted({3, 1});
    const CMatrix *cl = cells.get(), *x = a.get(), *y = b.get(), *t = text.get(),
                  *z = complex.get();
    const CMatrix *h = tall.get();
    ExpectRefusals({
        {"repmat cell", [cl] { ArrayPtr(Repmat(cl, 2, 2)); }, NotImplemented(), {cl}},
        {"repmat rows beyond 32 bits", [h] { ArrayPtr(Repmat(h, 1u << 31, 1)); }, memory, {h}},
        {"cat dim 0", [x] { ArrayPtr(Cat(0, x, x)); }, badDim, {x}},
        {"cat 3 shapes", [x, y] { ArrayPtr(Cat(3, x, y)); }, inconsistent, {x, y}},
        {"cat 1 shapes",
         [x, h] { ArrayPtr(Cat(1, x, h)); },
         Expected::Throws<CAllRowsMustHaveSameColumns>(),
         {x, h}},
        {"cat 3 char beside complex", [t, z] { ArrayPtr(Cat(3, t, z)); }, NotImplemented(), {t, z}},
    });
}

}  // namespace
