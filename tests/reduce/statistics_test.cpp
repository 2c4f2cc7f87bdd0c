// tests/reduce/statistics_test.cpp: Mean, Var and Std on known values, Mean
// against Sum, and their refusals.
#include <matrix/matrix.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "kernels/kernel_path.h"
#include "reduce/statistics.h"
#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using namespace matrix_test::special;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

using Along = CMatrix *(*)(const CMatrix *, unsigned int);
using ByDefault = CMatrix *(*)(const CMatrix *);

// Known values: each row one input, the dimension (0 for the default) and
// the expected Mean, Var and Std, exact in double.
TEST(Statistics, KnownValues) {
    const double v = 32.0 / 7.0;
    // clang-format off
    const struct { DimList dims; ValueList x; unsigned dim; DimList out; ValueList mean, var, sd; } rows[] = {
        {{1, 8}, {2, 4, 4, 4, 5, 5, 7, 9}, 0, {1, 1}, {5}, {v}, {std::sqrt(v)}},
        {{3, 1}, {1e9 + 1, 1e9 + 2, 1e9 + 3}, 0, {1, 1}, {1e9 + 2}, {1}, {1}},
        {{2, 2}, {1, 3, 2, 4}, 0, {1, 2}, {2, 3}, {2, 2}, {std::sqrt(2.0), std::sqrt(2.0)}},
        {{2, 2}, {1, 3, 2, 4}, 2, {2, 1}, {1.5, 3.5}, {0.5, 0.5}, {std::sqrt(0.5), std::sqrt(0.5)}},
        {{1, 1, 3}, {1, 2, 6}, 0, {1, 1}, {3}, {7}, {std::sqrt(7.0)}},
        {{1, 1}, {5}, 0, {1, 1}, {5}, {0}, {0}},
        {{1, 2}, {-0.0, 4}, 3, {1, 2}, {-0.0, 4}, {0, 0}, {0, 0}},
        {{1, 2}, {kInf, 1}, 0, {1, 1}, {kInf}, {kNaN}, {kNaN}},
        {{0, 0}, {}, 0, {1, 1}, {kNaN}, {kNaN}, {kNaN}},
        {{0, 2}, {}, 1, {1, 2}, {kNaN, kNaN}, {kNaN, kNaN}, {kNaN, kNaN}},
        {{2, 0}, {}, 1, {1, 0}, {}, {}, {}}};
    // clang-format on
    const Along along[] = {Mean, Var, Std};
    const ByDefault byDefault[] = {Mean, Var, Std};
    for (const auto &row : rows) {
        SCOPED_TRACE(&row - rows);
        const ArrayPtr a = Filled(row.dims, row.x);
        const ValueList *want[] = {&row.mean, &row.var, &row.sd};
        for (int f = 0; f < 3; ++f) {
            const ArrayPtr r(row.dim == 0 ? byDefault[f](a.get()) : along[f](a.get(), row.dim));
            EXPECT_EQ(Dims(r.get()), row.out) << f;
            const ValueList got = Values(r.get());
            ASSERT_EQ(got.size(), want[f]->size());
            for (std::size_t k = 0; k < got.size(); ++k) {
                const double w = (*want[f])[k];
                EXPECT_TRUE(std::isnan(w) ? std::isnan(got[k]) : Bits(got[k]) == Bits(w))
                    << f << ' ' << k << ": " << got[k];
            }
        }
    }
}

// Mean is Sum followed by one division by the length, bit for bit.
TEST(Statistics, MeanIsSumOverTheLength) {
    std::mt19937_64 random(Seed());
    std::uniform_real_distribution<double> uniform(-1e3, 1e3);
    const DimList dims = {7, 5, 3};
    ArrayPtr a = Array(dims);
    for (std::size_t k = 0; k < a->GetNoElems(); ++k) mxGetPr(a.get())[k] = uniform(random);
    for (unsigned dim = 1; dim <= 3; ++dim) {
        const ArrayPtr sum(Sum(a.get(), dim)), want(Rdivide(sum.get(), double(dims[dim - 1])));
        EXPECT_TRUE(SameArray(ArrayPtr(Mean(a.get(), dim)).get(), want.get())) << dim;
    }
}

// The fast walk (columns four at a time, blocks of 256 lines across the
// first dimension, threads on large arrays) gives the plain walk's bits,
// NaN payloads aside: which of two NaN operands a step passes on is not
// part of the contract.
TEST(Statistics, FastPathMatchesPlainPath) {
    using kiv::matrix::kernels::KernelPath;
    std::mt19937_64 random(Seed());
    const ValueList special = SpecialValues();
    std::uniform_real_distribution<double> uniform(-2.0, 2.0);
    for (const DimList &dims :
         {DimList{37, 11}, DimList{1, 1001}, DimList{5, 7, 3}, DimList{2, 3, 4, 5}, DimList{300, 4},
          DimList{513, 3, 2}, DimList{0, 3}, DimList{700, 200}, DimList{3, 50000}}) {
        ArrayPtr a = Array(dims);
        for (std::size_t k = 0; k < a->GetNoElems(); ++k) {
            mxGetPr(a.get())[k] =
                random() % 16 == 0 ? special[random() % special.size()] : uniform(random);
        }
        for (bool root : {false, true}) {
            for (unsigned dim = 1; dim <= dims.size() + 1; ++dim) {
                const ArrayPtr fast(reduce::SpreadAlong(a.get(), dim, root, KernelPath::kFastest));
                const ArrayPtr plain(reduce::SpreadAlong(a.get(), dim, root, KernelPath::kPlain));
                EXPECT_EQ(Dims(fast.get()), Dims(plain.get())) << root << dim;
                EXPECT_EQ(BitsNaNsAsIn(fast.get(), plain.get()), BitsOf(plain.get()))
                    << root << dim;
            }
        }
    }
}

TEST(Statistics, Refusals) {
    const Expected badDim =
        Expected::Throws(CFunctionErrorException(L"Dimension argument must be a positive integer"));
    std::vector<ArrayPtr> others = NonRealDoubleOperands();
    const ArrayPtr good = Counted({2, 2});
    const CMatrix *m = good.get();
    std::vector<Refusal> table;
    // Every class that holds numbers is averaged; Var and Std take double
    // and single, real or complex, and refuse integers and char by name.
    const auto expected = [](bool var, const CMatrix *o) {
        if (o->IsCell()) return NotImplemented();
        return Expected::Throws(
            CFunctionErrorException(var ? L"Var: the argument must be double or single"
                                        : L"Std: the argument must be double or single"));
    };
    const auto refused = [](bool mean, const CMatrix *o) {
        return o->IsCell() || (!mean && !o->IsDouble() && !o->IsSingle());
    };
    for (Along f : {static_cast<Along>(Mean), static_cast<Along>(Var), static_cast<Along>(Std)}) {
        table.push_back({"dim 0", [f, m] { ArrayPtr(f(m, 0)); }, badDim, {m}});
        const bool mean = f == static_cast<Along>(Mean), var = f == static_cast<Along>(Var);
        for (const ArrayPtr &other : others) {
            const CMatrix *o = other.get();
            if (refused(mean, o))
                table.push_back({"class", [f, o] { ArrayPtr(f(o, 1)); }, expected(var, o), {o}});
        }
    }
    for (ByDefault f :
         {static_cast<ByDefault>(Mean), static_cast<ByDefault>(Var), static_cast<ByDefault>(Std)}) {
        const bool mean = f == static_cast<ByDefault>(Mean), var = f == static_cast<ByDefault>(Var);
        for (const ArrayPtr &other : others) {
            const CMatrix *o = other.get();
            if (refused(mean, o))
                table.push_back({"class", [f, o] { ArrayPtr(f(o)); }, expected(var, o), {o}});
        }
    }
    ExpectRefusals(table);
}

}  // namespace
