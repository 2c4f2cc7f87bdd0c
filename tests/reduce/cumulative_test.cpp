// tests/reduce/cumulative_test.cpp: Cumsum and Cumprod against Sum and Prod of
// every prefix, their fast path against the plain one, and their refusals.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kernels/kernel_path.h"
#include "reduce/cumulative.h"
#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;
using kernels::KernelPath;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

using Along = CMatrix *(*)(const CMatrix *, unsigned int);
using Plain = CMatrix *(*)(const CMatrix *, unsigned int, KernelPath);
const struct {
    const char *name;
    Along cumulative;
    CMatrix *(*byDefault)(const CMatrix *);
    Along fold;
    Plain plain;
} kFunctions[] = {{"Cumsum", Cumsum, Cumsum, Sum, reduce::CumsumAlong},
                  {"Cumprod", Cumprod, Cumprod, Prod, reduce::CumprodAlong}};

// Random values with ties, zeros of both signs, infinities and NaNs.
ArrayPtr Mixed(const DimList &dims, std::mt19937_64 &random) {
    ArrayPtr a = Array(dims);
    const ValueList special = SpecialValues();
    std::uniform_real_distribution<double> uniform(-2.0, 2.0);
    for (std::size_t k = 0; k < a->GetNoElems(); ++k) {
        mxGetPr(a.get())[k] =
            random() % 8 == 0 ? special[random() % special.size()] : uniform(random);
    }
    return a;
}

// Each element of a line equals the fold (Sum or Prod) of the line's prefix
// up to it, bit for bit.
TEST(Cumulative, EveryElementIsTheFoldOfItsPrefix) {
    std::mt19937_64 random(Seed());
    for (const DimList &dims : {DimList{0, 3}, DimList{6, 1}, DimList{1, 7}, DimList{4, 5},
                                DimList{1, 1, 5}, DimList{3, 4, 2}, DimList{2, 3, 1, 4}}) {
        const ArrayPtr a = Mixed(dims, random);
        const double *x = mxGetPr(a.get());
        for (const auto &f : kFunctions) {
            for (unsigned dim = 1; dim <= dims.size(); ++dim) {
                SCOPED_TRACE(::testing::Message() << f.name << " dim " << dim << " of "
                                                  << ::testing::PrintToString(dims));
                const ArrayPtr r(f.cumulative(a.get(), dim));
                ASSERT_EQ(Dims(r.get()), Dims(a.get()));
                std::size_t before = 1, after = 1;
                for (unsigned d = 0; d < dims.size(); ++d) {
                    if (d + 1 < dim) before *= dims[d];
                    if (d + 1 > dim) after *= dims[d];
                }
                const std::size_t n = dims[dim - 1];
                for (std::size_t o = 0; o < after; ++o) {
                    for (std::size_t p = 0; p < before; ++p) {
                        ValueList prefix;
                        for (std::size_t k = 0; k < n; ++k) {
                            const std::size_t at = o * before * n + k * before + p;
                            prefix.push_back(x[at]);
                            const ArrayPtr fold(f.fold(Col(prefix).get(), 1));
                            EXPECT_EQ(Bits(mxGetPr(r.get())[at]), Bits(mxGetPr(fold.get())[0]));
                        }
                    }
                }
            }
        }
    }
}

// The fast walk (interleaved columns, contiguous runs across lines) gives
// the plain walk's bits, on shapes with remainders of every lane count.
TEST(Cumulative, FastPathMatchesPlainPath) {
    std::mt19937_64 random(Seed());
    for (const DimList &dims :
         {DimList{37, 11}, DimList{1, 1001}, DimList{5, 7, 3}, DimList{2, 3, 4, 5}}) {
        const ArrayPtr a = Mixed(dims, random);
        for (const auto &f : kFunctions) {
            for (unsigned dim = 1; dim <= dims.size() + 1; ++dim) {
                const ArrayPtr fast(f.plain(a.get(), dim, KernelPath::kFastest));
                const ArrayPtr plain(f.plain(a.get(), dim, KernelPath::kPlain));
                EXPECT_EQ(Dims(fast.get()), Dims(plain.get())) << f.name << dim;
                EXPECT_EQ(BitsNaNsAsIn(fast.get(), plain.get()), BitsOf(plain.get()))
                    << f.name << dim;
            }
        }
    }
}

TEST(Cumulative, DefaultDimensionAndBeyondTheLast) {
    const ArrayPtr row = Row({1, 2, 3}), deep = Filled({1, 1, 3}, {1, 2, 3}), empty = Array({0, 0});
    for (const auto &f : kFunctions) {
        EXPECT_EQ(Dims(ArrayPtr(f.byDefault(empty.get())).get()), DimList({0, 0}));
        EXPECT_TRUE(SameArray(ArrayPtr(f.byDefault(row.get())).get(),
                              ArrayPtr(f.cumulative(row.get(), 2)).get()));
        EXPECT_TRUE(SameArray(ArrayPtr(f.byDefault(deep.get())).get(),
                              ArrayPtr(f.cumulative(deep.get(), 3)).get()));
        // One element per line: A itself, shared, -0 kept as Sum keeps it.
        const ArrayPtr z = Row({-0.0, 2}), shared(f.cumulative(z.get(), 3));
        EXPECT_EQ(shared->GetPr(), z->GetPr());
    }
    EXPECT_EQ(Values(ArrayPtr(Cumsum(row.get())).get()), ValueList({1, 3, 6}));
    EXPECT_EQ(Values(ArrayPtr(Cumprod(Col({2, 3, 4}).get())).get()), ValueList({2, 6, 24}));
}

TEST(Cumulative, Refusals) {
    const Expected badDim =
        Expected::Throws(CFunctionErrorException(L"Dimension argument must be a positive integer"));
    std::vector<ArrayPtr> others = NonRealDoubleOperands();
    const ArrayPtr good = Counted({2, 2});
    std::vector<Refusal> table;
    for (const auto &f : kFunctions) {
        const CMatrix *m = good.get(), *x = others[0].get();
        table.push_back({f.name, [&f, m] { ArrayPtr(f.cumulative(m, 0)); }, badDim, {m}});
        table.push_back({f.name, [&f, x] { ArrayPtr(f.cumulative(x, 0)); }, badDim, {x}});
        for (const ArrayPtr &other : others) {
            const CMatrix *o = other.get();
            // Every numeric class and char runs, complex included.
            if (!o->IsCell()) continue;
            table.push_back(
                {f.name, [&f, o] { ArrayPtr(f.cumulative(o, 2)); }, NotImplemented(), {o}});
            table.push_back({f.name, [&f, o] { ArrayPtr(f.byDefault(o)); }, NotImplemented(), {o}});
        }
    }
    ExpectRefusals(table);
}

}  // namespace
