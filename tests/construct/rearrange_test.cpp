// tests/construct/rearrange_test.cpp: the rearranging functions by their
// algebra (round trips, compositions, the transpose) on every class, and the
// gallery by closed forms (magic sums, invhilb * hilb = I).
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

// Operands of several classes and shapes: complex 3-D, logical, char, int8,
// a cell and an empty one.
std::vector<ArrayPtr> Operands() {
    std::vector<ArrayPtr> out;
    out.push_back(Counted({2, 3, 4}, 1.0, mxComplexityComplex));
    out.push_back(Mask({1, 0, 1, 1, 0, 0}, {2, 3}));
    out.push_back(Zeroed({3, 2}, mxClassChar));
    FillBytes(out.back().get());
    out.push_back(Typed<std::int8_t>(mxClassInt8, {1, 5}, {-1, 2, 3, -4, 5}));
    out.push_back(Cells(2, 3));
    out.push_back(Array({0, 3}));
    return out;
}

::testing::AssertionResult Same(const CMatrix *a, const CMatrix *b) {
    if (Dims(a) != Dims(b) || a->GetClassID() != b->GetClassID() ||
        a->IsLogical() != b->IsLogical() || a->IsComplex() != b->IsComplex())
        return ::testing::AssertionFailure() << "class or shape differs";
    if (a->IsCell()) {
        for (unsigned k = 0; k < a->GetNoElems(); ++k)
            if (Slot(a, k) != Slot(b, k)) return ::testing::AssertionFailure() << "slot " << k;
        return ::testing::AssertionSuccess();
    }
    if (Bytes(a) != Bytes(b) || (a->IsComplex() && Bytes(a, true) != Bytes(b, true)))
        return ::testing::AssertionFailure() << "elements differ";
    return ::testing::AssertionSuccess();
}

TEST(Rearrange, RoundTripsAndCompositionsOnEveryClass) {
    for (const ArrayPtr &a : Operands()) {
        SCOPED_TRACE(::testing::Message() << int(a->GetClassID()) << ' ' << a->GetNoElems());
        const std::vector<unsigned> orders[] = {{2, 1}, {3, 1, 2}, {2, 4, 1, 3}};
        for (const auto &order : orders) {
            if (order.size() < Dims(a.get()).size()) continue;
            const ArrayPtr p(Permute(a.get(), order)), back(Ipermute(p.get(), order));
            EXPECT_TRUE(Same(back.get(), a.get()));
            EXPECT_EQ(Dims(p.get())[0], order[0] <= Dims(a.get()).size() ? Dims(a.get())[order[0] - 1] : 1u);
        }
        for (unsigned dim : {1u, 2u, 3u}) {
            const ArrayPtr once(Flip(a.get(), dim)), twice(Flip(once.get(), dim));
            EXPECT_TRUE(Same(twice.get(), a.get()));
            // Shifts compose by adding, modulo the length.
            const ArrayPtr s2(Circshift(a.get(), 2, dim)), s5(Circshift(s2.get(), -7, dim)),
                s_5(Circshift(a.get(), -5, dim));
            EXPECT_TRUE(Same(s5.get(), s_5.get()));
        }
        const ArrayPtr r1(Rot90(a.get(), 1)), r3(Rot90(r1.get(), 3)), r_2(Rot90(a.get(), -2)),
            r2(Rot90(r1.get(), 1));
        EXPECT_TRUE(Same(r3.get(), a.get()));
        EXPECT_TRUE(Same(r2.get(), r_2.get()));
    }
    // permute(A, [2 1]) is A.', and rot90(A) is flipud(A.').
    const ArrayPtr m(Counted({3, 4})), t(Transpose(m.get()));
    const ArrayPtr p(Permute(m.get(), {2, 1})), r(Rot90(m.get(), 1)), ft(Flip(t.get(), 1));
    EXPECT_TRUE(Same(p.get(), t.get()));
    EXPECT_TRUE(Same(r.get(), ft.get()));
}

TEST(Rearrange, SqueezeKronBlkdiagAndRefusals) {
    EXPECT_EQ(Dims(ArrayPtr(Squeeze(Array({1, 1, 3}).get())).get()), DimList({3, 1}));
    EXPECT_EQ(Dims(ArrayPtr(Squeeze(Array({2, 1, 1, 4}).get())).get()), DimList({2, 4}));
    EXPECT_EQ(Dims(ArrayPtr(Squeeze(Array({1, 3}).get())).get()), DimList({1, 3}));
    const ArrayPtr k(Kron(Matrix(2, 1, {1, 2}).get(), Matrix(1, 2, {1, 10}).get()));
    EXPECT_EQ(Values(k.get()), ValueList({1, 2, 10, 20}));
    EXPECT_EQ(Dims(k.get()), DimList({2, 2}));
    // int8 beside double gives int8; the diagonal blocks sit in place.
    const ArrayPtr i8 = Typed<std::int8_t>(mxClassInt8, {1, 2}, {-1, 2}), d = Counted({2, 1});
    const CMatrix *ops[] = {i8.get(), d.get()};
    const ArrayPtr b(Blkdiag(2, ops));
    EXPECT_EQ(b->GetClassID(), mxClassInt8);
    EXPECT_EQ(Dims(b.get()), DimList({3, 3}));
    const ArrayPtr b64(Cast(b.get(), mxClassDouble));
    EXPECT_EQ(Values(b64.get()), ValueList({-1, 0, 0, 2, 0, 0, 0, 1, 2}));
    EXPECT_THROW(ArrayPtr(Permute(Counted({2, 3, 4}).get(), {2, 1})), CFunctionErrorException);
    EXPECT_THROW(ArrayPtr(Permute(Counted({2, 3}).get(), {1, 1})), CFunctionErrorException);
    EXPECT_THROW(ArrayPtr(Kron(Counted({2, 2, 2}).get(), Counted({2, 2}).get())),
                 CFunctionErrorException);
}

TEST(Gallery, MagicSumsAndInverseHilbert) {
    EXPECT_EQ(Values(ArrayPtr(Magic(4)).get()),
              ValueList({16, 5, 9, 4, 2, 11, 7, 14, 3, 10, 6, 15, 13, 8, 12, 1}));
    for (unsigned n = 3; n <= 14; ++n) {
        SCOPED_TRACE(n);
        const ArrayPtr m(Magic(n));
        const ValueList v = Values(m.get());
        const double want = n * (double(n) * n + 1) / 2;
        std::vector<bool> seen(n * n + 1, false);
        double d1 = 0, d2 = 0;
        for (unsigned i = 0; i < n; ++i) {
            double row = 0, col = 0;
            for (unsigned j = 0; j < n; ++j) {
                row += v[i + j * n];
                col += v[j + i * n];
                seen[static_cast<std::size_t>(v[i + j * n])] = true;
            }
            EXPECT_EQ(row, want);
            EXPECT_EQ(col, want);
            d1 += v[i * (n + 1)];
            d2 += v[(n - 1 - i) + i * n];
        }
        EXPECT_EQ(d1, want);
        EXPECT_EQ(d2, want);
        for (unsigned k = 1; k <= n * n; ++k) EXPECT_TRUE(seen[k]);
    }
    for (unsigned n = 1; n <= 8; ++n) {
        const ArrayPtr h(Hilb(n)), g(Invhilb(n)), p(Mtimes(g.get(), h.get()));
        const ValueList v = Values(p.get()), gv = Values(g.get());
        for (double x : gv) EXPECT_EQ(x, std::round(x));
        for (unsigned k = 0; k < n * n; ++k)
            EXPECT_NEAR(v[k], k % (n + 1) == 0 ? 1.0 : 0.0, 1e-6) << n;
    }
}

// Every grid holds its input's element k wherever its own subscript is k.
TEST(Rearrange, GridsVaryAlongTheirDimension) {
    const ArrayPtr x(Row({1, 2, 3})), y(Col({10, 20})), z(Row({7, 8, 9, 6}));
    for (bool mesh : {false, true}) {
        std::vector<CMatrix *> raw = Grids({x.get(), y.get(), z.get()}, 3, mesh);
        std::vector<ArrayPtr> g;
        for (CMatrix *a : raw) g.emplace_back(a);
        const DimList dims = mesh ? DimList{2, 3, 4} : DimList{3, 2, 4};
        const ValueList *in[3] = {nullptr, nullptr, nullptr};
        const ValueList xs = Values(x.get()), ys = Values(y.get()), zs = Values(z.get());
        in[0] = &xs, in[1] = &ys, in[2] = &zs;
        for (unsigned k = 0; k < 3; ++k) {
            ASSERT_EQ(Dims(g[k].get()), dims);
            const ValueList v = Values(g[k].get());
            const unsigned along = mesh && k < 2 ? 1 - k : k;
            for (unsigned e = 0; e < v.size(); ++e) {
                unsigned sub[3] = {e % dims[0], (e / dims[0]) % dims[1], e / (dims[0] * dims[1])};
                EXPECT_EQ(v[e], (*in[k])[sub[along]]);
            }
        }
    }
}

TEST(Gallery, RandomDrawsRepeatUnderASeedAndStayInRange) {
    kiv::RandSeed(7);
    const ArrayPtr a(Randperm(50, 50)), r(Randi(-2, 2, 2, DimList({3, 100}).data()));
    kiv::RandSeed(7);
    const ArrayPtr b(Randperm(50, 50));
    EXPECT_EQ(Values(a.get()), Values(b.get()));
    ValueList sorted = Values(a.get());
    std::sort(sorted.begin(), sorted.end());
    for (unsigned k = 0; k < 50; ++k) EXPECT_EQ(sorted[k], k + 1.0);
    for (double v : Values(r.get())) EXPECT_TRUE(v >= -2 && v <= 2 && v == std::floor(v));
    // A short draw from a long range stores only what it moves.
    const ValueList few = Values(ArrayPtr(Randperm(4000000000u, 3)).get());
    EXPECT_TRUE(few[0] != few[1] && few[1] != few[2] && few[0] != few[2] && few[0] >= 1);
    EXPECT_THROW(ArrayPtr(Randperm(3, 4)), CFunctionErrorException);
    EXPECT_THROW(ArrayPtr(Randi(3, 1, 2, DimList({1, 1}).data())), CFunctionErrorException);
}

}  // namespace
