// tests/construct/constructors_test.cpp: filled arrays, identity, ranges, diagonals and resets.
#include <matrix/matrix.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const wchar_t kOutOfMemory[] = L"Out of memory";

void ExpectRealDouble(const CMatrix *a, const DimList &dims) {
    EXPECT_EQ(Dims(a), dims);
    EXPECT_EQ(a->GetClassID(), mxClassDouble);
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(a->GetFlags(), 0u);
}

// Calls every form of a filled-array family, in this order, and checks each
// result's normalised shape and that its values, in storage order, are the
// next ones `next` gives. For Rand and Randn `next` is the generator itself,
// reseeded: every form draws once per element in storage order, and a
// refused shape draws nothing.
template <typename Make>
void ExpectFilledForms(Make make, double (*next)()) {
    constexpr unsigned long long kSeed = 20240611;
    std::vector<double> reference;
    kiv::RandSeed(kSeed);
    for (int i = 0; i < 64; ++i) reference.push_back(next());
    kiv::RandSeed(kSeed);
    const unsigned int trailingOnes[] = {2, 3, 1, 1}, single[] = {5}, zeroMiddle[] = {2, 0, 3};
    const struct {
        ArrayPtr a;
        DimList dims;
    } forms[] = {{ArrayPtr(make(3u)), {3, 3}},
                 {ArrayPtr(make(0u)), {0, 0}},
                 {ArrayPtr(make(2u, 4u)), {2, 4}},
                 {ArrayPtr(make(2u, 3u, 4u)), {2, 3, 4}},
                 {ArrayPtr(make(2u, 3u, 1u)), {2, 3}},
                 {ArrayPtr(make(1u, 1u, 4u)), {1, 1, 4}},
                 {ArrayPtr(make(4u, trailingOnes)), {2, 3}},
                 {ArrayPtr(make(1u, single)), {5, 1}},
                 {ArrayPtr(make(0u, static_cast<const unsigned int *>(nullptr))), {0, 0}},
                 {ArrayPtr(make(3u, zeroMiddle)), {2, 0, 3}}};
    std::vector<double> values;
    for (const auto &[a, dims] : forms) {
        ExpectRealDouble(a.get(), dims);
        for (double x : Values(a.get())) values.push_back(x);
    }
    EXPECT_EQ(BitsOf(values), BitsOf({reference.begin(), reference.begin() + values.size()}));
    EXPECT_EQ(Bits(next()), Bits(reference[values.size()]));

    // Element counts (2^32) or byte sizes (2^32) beyond 32 bits.
    kiv::RandSeed(kSeed);
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(make(65536u, 65536u), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_THROW_MSG(make(65536u, 8192u), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_THROW_MSG(make(65536u), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_EQ(Bits(next()), Bits(reference[0]));
}

TEST(FilledArrays, EveryFormOfZerosOnesRandAndRandn) {
    ExpectFilledForms([](auto... args) { return Zeros(args...); }, [] { return 0.0; });
    ExpectFilledForms([](auto... args) { return Ones(args...); }, [] { return 1.0; });
    ExpectFilledForms([](auto... args) { return Rand(args...); }, kiv::Rand);
    ExpectFilledForms([](auto... args) { return Randn(args...); }, kiv::Randn);
    EXPECT_GT(FailurePoints([] { return Zeros(2u, 3u); }, {}), 0);
}

TEST(Eye, OnesOnTheMainDiagonalOnly) {
    for (const DimList &dims : {DimList{2, 3}, {3, 2}, {5, 5}, {0, 0}, {0, 3}}) {
        const unsigned int m = dims[0], n = dims[1];
        ArrayPtr a(m == n ? Eye(m) : Eye(m, n));
        ExpectRealDouble(a.get(), dims);
        for (unsigned int k = 0; k < m * n; ++k) {
            EXPECT_EQ(mxGetPr(a.get())[k], k % m == k / m ? 1.0 : 0.0);
        }
    }
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(Eye(65536u), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_EQ(blocks.Delta(), 0);

    for (double x : {2.5, -0.0, kInf, -kInf, mxGetNaN(), -mxGetNaN(), 4.9e-324}) {
        ArrayPtr s(Scalar(x));
        ExpectRealDouble(s.get(), {1, 1});
        EXPECT_EQ(Bits(mxGetPr(s.get())[0]), Bits(x));
    }
}

TEST(Colon, TruncatesTheCountAndSumsStepByStep) {
    // Count from the truncated quotient; values by a running sum, not
    // start + i * step, with no tolerance pulling the last value onto end.
    const struct {
        double start, step, end;
        unsigned int count;
    } cases[] = {{1, 1, 5, 5},
                 {5, -1, 1, 5},
                 {1, 1, 0.5, 1},  // -0.5 truncates to 0
                 {5, 1, 1.5, 0},
                 {0, 0.1, 1, 11},
                 {0, 0.1, 0.3, 3},
                 {1, -0.3, -2, 11},
                 {-1e16, 3, -1e16 + 40, 14},
                 {2, kInf, 5, 1},
                 {1, 0, 5, 0},
                 {1, -0.0, 5, 0},
                 {kNaN, 1, 5, 0},
                 {1, kNaN, 5, 0},
                 {1, 1, kNaN, 0},
                 {0, 1, kInf, 0},
                 {-kInf, 1, 0, 0},
                 {kInf, 1, kInf, 0},
                 {0, 1, 2147483647.0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << ':' << c.step << ':' << c.end);
        ArrayPtr a(Colon(c.start, c.step, c.end));
        ExpectRealDouble(a.get(), {1, c.count});
        std::vector<double> expected;
        for (double x = c.start; expected.size() < c.count; x += c.step) expected.push_back(x);
        EXPECT_EQ(BitsOf(a.get()), BitsOf(expected));
    }
    EXPECT_EQ(Values(ArrayPtr(Colon(1.0, 5.0)).get()), (std::vector<double>{1, 2, 3, 4, 5}));
    // 2147483647 elements pass the count limit but need 16 GiB.
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(Colon(1.0, 2147483647.0), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_THROW_MSG(Colon(0.0, 0.5, 3e8), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_EQ(blocks.Delta(), 0);
    EXPECT_GT(FailurePoints([] { return Colon(1.0, 5.0); }, {}), 0);
}

TEST(Diag, VectorGoesOnDiagonalKOfASquareMatrix) {
    const std::vector<double> v = {7, 8, 9};
    ArrayPtr row = Matrix(1, 3, {7, 8, 9}), column = Matrix(3, 1, {7, 8, 9});
    row->SetLogical();
    for (unsigned int n = 0; n <= 3; ++n) {
        for (int k = -3; k <= 3; ++k) {
            ArrayPtr a(Diag(n, n == 0 ? nullptr : v.data(), k));
            const unsigned int size = n + static_cast<unsigned int>(std::abs(k));
            ExpectRealDouble(a.get(), {size, size});
            for (unsigned int j = 0; j < size; ++j) {
                for (unsigned int i = 0; i < size; ++i) {
                    const double want = int(j) - int(i) == k ? v[k >= 0 ? i : j] : 0.0;
                    EXPECT_EQ(mxGetPr(a.get())[i + j * size], want) << n << k << ' ' << i << j;
                }
            }
            if (n != 3) continue;
            for (const CMatrix *source : {row.get(), column.get()}) {
                ArrayPtr d(Diag(source, k));
                ExpectRealDouble(d.get(), Dims(a.get()));
                EXPECT_EQ(Values(d.get()), Values(a.get()));
            }
        }
    }
    ArrayPtr shifted(Diag(Matrix(1, 1, {4}).get(), 1));
    EXPECT_EQ(Values(shifted.get()), (std::vector<double>{0, 0, 4, 0}));

    // n + |k| = 2^32 does not fit; 2^31 + 1 does, but its square does not.
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(Diag(UINT_MAX, v.data(), 1), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_THROW_MSG(Diag(1, v.data(), INT_MIN), kiv::CExhaustedMemoryException, kOutOfMemory);
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Diag, MatrixGivesDiagonalKAsAColumn) {
    // Every a(i, j) with j - i = k, by rows.
    for (const auto &[m, n] : {std::pair<unsigned int, unsigned int>{3, 3}, {2, 4}, {4, 2}}) {
        ArrayPtr b = Counted({m, n});
        for (int k : {-4, -3, -2, -1, 0, 1, 2, 3, 4, INT_MAX, INT_MIN}) {
            std::vector<double> diagonal;
            for (long long i = 0; i < m; ++i) {
                if (i + k >= 0 && i + k < n) diagonal.push_back(Values(b.get())[i + (i + k) * m]);
            }
            ArrayPtr d(Diag(b.get(), k));
            ExpectRealDouble(d.get(), {static_cast<unsigned int>(diagonal.size()), 1});
            EXPECT_EQ(Values(d.get()), diagonal) << m << 'x' << n << ' ' << k;
        }
        EXPECT_GT(FailurePoints([&] { return Diag(b.get(), 1); }, {b.get()}), 0);
    }
    for (const DimList &dims : {DimList{0, 3}, DimList{3, 0}, DimList{0, 0}}) {
        ExpectRealDouble(ArrayPtr(Diag(Array(dims).get(), 1)).get(), {0, 0});
    }
    EXPECT_GT(FailurePoints([] { return Diag(Matrix(1, 2, {1, 2}).get(), 1); }, {}), 0);
}

TEST(Diag, RefusesNDComplexAndNonDoubleArrays) {
    // The number of dimensions is checked before the class.
    for (mxClassID id : {mxClassDouble, mxClassInt32}) {
        ArrayPtr cube = Array({2, 2, 2}, id);
        std::memset(cube->GetPr(), 0x5A, cube->GetAllocSize());
        EXPECT_CLEAN_THROW(Diag(cube.get(), 0), CFunctionErrorException, L"Unknown command option",
                           cube.get());
    }
    for (const ArrayPtr &a : NonRealDoubleOperands()) {
        EXPECT_NOT_IMPLEMENTED(Diag(a.get(), 0), a.get());
    }
}

TEST(Initialize, FillsInPlaceKeepingShapeFlagsAndCounterButNotTheImaginaryPart) {
    ArrayPtr owner = Array({2, 3, 2}, mxClassDouble, mxComplexityComplex);
    CMatrix *a = owner.get();
    a->SetLogical();
    a->IncCounter();
    Initialize(a, mxGetNaN());
    EXPECT_EQ(a, owner.get());
    EXPECT_EQ(Dims(a), (DimList{2, 3, 2}));
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(a->GetCounter(), 1);
    EXPECT_EQ(a->GetFlags(), 1u);
    EXPECT_EQ(BitsOf(a), BitsOf(std::vector<double>(12, mxGetNaN())));

    // A sharer unshares first, and a failure to unshare changes nothing.
    const double re[] = {1, 2}, im[] = {3, 4};
    ArrayPtr original(mxDoubleMatrix(1, 2, re, im)), share(original->CreateShareArray());
    a = share.get();
    EXPECT_GT(FailurePoints([&] { Initialize(a, -2.0); }, {original.get(), share.get()}), 0);
    EXPECT_EQ(Values(a), (std::vector<double>{-2, -2}));
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(Values(original.get()), (std::vector<double>{1, 2}));
    EXPECT_TRUE(original->IsComplex());

    for (const ArrayPtr &bad : NonRealDoubleOperands()) {
        a = bad.get();
        if (a->IsDouble()) continue;
        EXPECT_NOT_IMPLEMENTED(Initialize(a, 1.0), a);
        EXPECT_EQ(a, bad.get());
    }
}

TEST(Empty, ReplacesAnyArrayButZeroByZeroWithARealDoubleZeroByZero) {
    const LiveBlocks blocks;
    for (const ArrayPtr &keep :
         {Array({0, 0}, mxClassChar), Array({0, 0}, mxClassDouble, mxComplexityComplex)}) {
        CMatrix *a = keep.get();
        const Snapshots before({a});
        Empty(a);
        EXPECT_TRUE(a == keep.get() && before.Unchanged());
    }
    CMatrix *arrays[] = {nullptr, Array({1, 0}).release(), Array({2, 0, 3}).release(),
                         Array({2, 2}, mxClassInt32).release(), mxCreateCellMatrix(1, 1)};
    mxSetCell(arrays[4], 0, Scalar(1.0));
    for (CMatrix *&a : arrays) {
        Empty(a);
        ExpectRealDouble(ArrayPtr(a).get(), {0, 0});
    }
    EXPECT_EQ(blocks.Delta(), 0);  // the old arrays, cell elements included, are gone

    // The replacement is made first: a failure keeps the old array.
    CMatrix *a = Matrix(1, 2, {1, 2}).release();
    const CMatrix *old = a;
    const Snapshots before({a});
    const auto kept = [&] { EXPECT_TRUE(a == old && before.Unchanged()); };
    EXPECT_GT(ForEachAllocationFailure([&] { Empty(a); }, kept), 0);
    ExpectRealDouble(ArrayPtr(a).get(), {0, 0});
}

}  // namespace
