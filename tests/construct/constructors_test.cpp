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
using Shape = std::vector<unsigned int>;

constexpr unsigned long long kSeed = 20240611;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

void ExpectRealDouble(const CMatrix *a, const Shape &dims) {
    EXPECT_EQ(Dims(a), dims);
    EXPECT_EQ(a->GetClassID(), mxClassDouble);
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(a->GetFlags(), 0u);
}

// Calls every form of a filled-array family; pairs each result with the
// shape it must have, normalisation included.
template <typename Make>
std::vector<std::pair<ArrayPtr, Shape>> AllForms(Make make) {
    const unsigned int trailingOnes[] = {2, 3, 1, 1}, single[] = {5}, zeroMiddle[] = {2, 0, 3};
    std::vector<std::pair<ArrayPtr, Shape>> forms;
    forms.emplace_back(ArrayPtr(make(3u)), Shape{3, 3});
    forms.emplace_back(ArrayPtr(make(0u)), Shape{0, 0});
    forms.emplace_back(ArrayPtr(make(2u, 4u)), Shape{2, 4});
    forms.emplace_back(ArrayPtr(make(2u, 3u, 4u)), Shape{2, 3, 4});
    forms.emplace_back(ArrayPtr(make(2u, 3u, 1u)), Shape{2, 3});
    forms.emplace_back(ArrayPtr(make(1u, 1u, 4u)), Shape{1, 1, 4});
    forms.emplace_back(ArrayPtr(make(4u, trailingOnes)), Shape{2, 3});
    forms.emplace_back(ArrayPtr(make(1u, single)), Shape{5, 1});
    forms.emplace_back(ArrayPtr(make(0u, static_cast<const unsigned int *>(nullptr))), Shape{0, 0});
    forms.emplace_back(ArrayPtr(make(3u, zeroMiddle)), Shape{2, 0, 3});
    return forms;
}

// Shapes whose element count (2^32) or byte size (2^32) overflows 32 bits.
template <typename Make>
void ExpectOversizedShapesRefused(Make make) {
    const LiveBlocks blocks;
    EXPECT_THROW_MSG(make(65536u, 65536u), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_THROW_MSG(make(65536u, 8192u), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_THROW_MSG(make(65536u), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Zeros, EveryFormGivesAllZeroBitsInTheNormalisedShape) {
    for (const auto &[a, dims] : AllForms([](auto... args) { return Zeros(args...); })) {
        ExpectRealDouble(a.get(), dims);
        for (double x : Values(a.get())) EXPECT_EQ(Bits(x), 0u);
    }
    ExpectOversizedShapesRefused([](auto... args) { return Zeros(args...); });
}

TEST(Zeros, FailedAllocationLeaksNothing) {
    const int failurePoints = ForEachAllocationFailure(
        [] { ArrayPtr a(Zeros(2u, 3u)); }, [] {});
    EXPECT_GT(failurePoints, 0);
}

TEST(Ones, EveryFormGivesOnesInTheNormalisedShape) {
    for (const auto &[a, dims] : AllForms([](auto... args) { return Ones(args...); })) {
        ExpectRealDouble(a.get(), dims);
        for (double x : Values(a.get())) EXPECT_EQ(x, 1.0);
    }
    ExpectOversizedShapesRefused([](auto... args) { return Ones(args...); });
}

// Each form must make exactly one draw per element, in storage order: the
// values equal the first draws of a reseeded generator, and the next draw
// after the call is the one that follows them.
template <typename Make, typename Draw>
void ExpectOneDrawPerElement(Make make, Draw draw) {
    std::vector<double> reference;
    kiv::RandSeed(kSeed);
    for (int i = 0; i < 64; ++i) reference.push_back(draw());

    kiv::RandSeed(kSeed);
    std::size_t drawn = 0;
    for (const auto &[a, dims] : AllForms(make)) {
        ExpectRealDouble(a.get(), dims);
        const std::vector<double> values = Values(a.get());
        EXPECT_EQ(values, std::vector<double>(reference.begin() + drawn,
                                              reference.begin() + drawn + values.size()));
        drawn += values.size();
    }
    EXPECT_EQ(draw(), reference[drawn]);

    // A refused shape draws nothing.
    kiv::RandSeed(kSeed);
    ExpectOversizedShapesRefused(make);
    EXPECT_EQ(draw(), reference[0]);
}

TEST(Rand, EveryFormCallsRandOncePerElementInStorageOrder) {
    ExpectOneDrawPerElement([](auto... args) { return Rand(args...); }, [] { return kiv::Rand(); });
}

TEST(Randn, EveryFormCallsRandnOncePerElementInStorageOrder) {
    ExpectOneDrawPerElement([](auto... args) { return Randn(args...); },
                            [] { return kiv::Randn(); });
}

TEST(Eye, OnesOnTheMainDiagonalOnly) {
    ArrayPtr wide(Eye(2u, 3u));
    ExpectRealDouble(wide.get(), {2, 3});
    EXPECT_EQ(Values(wide.get()), (std::vector<double>{1, 0, 0, 1, 0, 0}));
    ArrayPtr tall(Eye(3u, 2u));
    EXPECT_EQ(Values(tall.get()), (std::vector<double>{1, 0, 0, 0, 1, 0}));
    ArrayPtr square(Eye(5u));
    ExpectRealDouble(square.get(), {5, 5});
    for (unsigned int j = 0; j < 5; ++j) {
        for (unsigned int i = 0; i < 5; ++i) EXPECT_EQ(mxGetPr(square.get())[i + 5 * j], i == j ? 1.0 : 0.0);
    }
    ArrayPtr none(Eye(0u));
    ExpectRealDouble(none.get(), {0, 0});
    ArrayPtr flat(Eye(0u, 3u));
    ExpectRealDouble(flat.get(), {0, 3});

    const LiveBlocks blocks;
    EXPECT_THROW_MSG(Eye(65536u), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Scalar, HoldsTheValueBitForBit) {
    const double values[] = {2.5, -0.0, kInf, -kInf, mxGetNaN(), -mxGetNaN(), 4.9e-324};
    for (double x : values) {
        ArrayPtr a(Scalar(x));
        ExpectRealDouble(a.get(), {1, 1});
        EXPECT_EQ(Bits(mxGetPr(a.get())[0]), Bits(x));
    }
}

// The range as the contract states it: count from the truncated quotient,
// values by a running sum.
std::vector<double> RunningSum(double start, double step, double end) {
    const double q = (end - start) / step;
    const double count = std::trunc(q) + 1.0;
    std::vector<double> values;
    double x = start;
    for (double i = 0; i < count; ++i, x += step) values.push_back(x);
    return values;
}

TEST(Colon, TruncatesTheCountAndSumsStepByStep) {
    ArrayPtr up(Colon(1.0, 5.0));
    ExpectRealDouble(up.get(), {1, 5});
    EXPECT_EQ(Values(up.get()), (std::vector<double>{1, 2, 3, 4, 5}));
    ArrayPtr down(Colon(5.0, -1.0, 1.0));
    EXPECT_EQ(Values(down.get()), (std::vector<double>{5, 4, 3, 2, 1}));
    // -0.5 truncates toward zero, so one element; -3.5 gives a count of -2.
    ArrayPtr one(Colon(1.0, 1.0, 0.5));
    EXPECT_EQ(Values(one.get()), std::vector<double>{1});
    ArrayPtr none(Colon(5.0, 1.0, 1.5));
    ExpectRealDouble(none.get(), {1, 0});

    const double ranges[][3] = {{0, 0.1, 1}, {0, 0.1, 0.3}, {1, -0.3, -2}, {-1e16, 3, -1e16 + 40}};
    const std::size_t counts[] = {11, 3, 11, 14};
    for (int r = 0; r < 4; ++r) {
        const auto [start, step, end] = ranges[r];
        ArrayPtr a(Colon(start, step, end));
        const std::vector<double> expected = RunningSum(start, step, end);
        ASSERT_EQ(expected.size(), counts[r]);
        ExpectRealDouble(a.get(), {1, static_cast<unsigned int>(counts[r])});
        for (std::size_t i = 0; i < counts[r]; ++i) {
            EXPECT_EQ(Bits(mxGetPr(a.get())[i]), Bits(expected[i])) << r << ' ' << i;
        }
    }

    // The running sum is not start + i * step, and no tolerance pulls the
    // last value onto the end point.
    ArrayPtr tenths(Colon(0.0, 0.1, 1.0));
    EXPECT_NE(mxGetPr(tenths.get())[10], 1.0);
    EXPECT_NE(mxGetPr(tenths.get())[6], 6 * 0.1);
}

TEST(Colon, DegenerateRangesAreEmpty) {
    const double ranges[][3] = {{1, 0, 5},      {1, -0.0, 5},   {5, 1, 1},     {kNaN, 1, 5},
                                {1, kNaN, 5},   {1, 1, kNaN},   {0, 1, kInf},  {-kInf, 1, 0},
                                {kInf, 1, kInf}, {0, 1, 2147483647.0}};
    for (const auto &[start, step, end] : ranges) {
        ArrayPtr a(Colon(start, step, end));
        ExpectRealDouble(a.get(), {1, 0});
    }
    // An infinite step reaches no second element.
    ArrayPtr a(Colon(2.0, kInf, 5.0));
    EXPECT_EQ(Values(a.get()), std::vector<double>{2});
}

TEST(Colon, CountWithoutA32BitByteSizeIsRefused) {
    const LiveBlocks blocks;
    // 2147483647 elements pass the count limit but need 16 GiB.
    EXPECT_THROW_MSG(Colon(1.0, 2147483647.0), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_THROW_MSG(Colon(0.0, 0.5, 3e8), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Colon, FailedAllocationLeaksNothing) {
    EXPECT_GT(ForEachAllocationFailure([] { ArrayPtr a(Colon(1.0, 5.0)); }, [] {}), 0);
}

// Element (i, j) of the n + |k| square result of Diag(n, v, k).
double DiagElement(const std::vector<double> &v, int k, unsigned int i, unsigned int j) {
    if (static_cast<long>(j) - static_cast<long>(i) != k) return 0.0;
    return v[k >= 0 ? i : j];
}

TEST(Diag, ValuesGoOnDiagonalK) {
    const std::vector<double> v = {7, 8, 9};
    for (unsigned int n = 0; n <= 3; ++n) {
        for (int k = -3; k <= 3; ++k) {
            ArrayPtr a(Diag(n, n == 0 ? nullptr : v.data(), k));
            const unsigned int size = n + static_cast<unsigned int>(std::abs(k));
            ExpectRealDouble(a.get(), {size, size});
            for (unsigned int j = 0; j < size; ++j) {
                for (unsigned int i = 0; i < size; ++i) {
                    EXPECT_EQ(mxGetPr(a.get())[i + j * size], DiagElement(v, k, i, j))
                        << n << ' ' << k << ' ' << i << ' ' << j;
                }
            }
        }
    }
    ArrayPtr above(Diag(2, v.data(), 1));
    EXPECT_EQ(Values(above.get()), (std::vector<double>{0, 0, 0, 7, 0, 0, 0, 8, 0}));
}

TEST(Diag, OrderThatOverflowsIsRefused) {
    const double v[] = {1.0};
    const LiveBlocks blocks;
    // n + |k| = 2^32 does not fit; 2^31 + 1 does, but its square does not.
    EXPECT_THROW_MSG(Diag(UINT_MAX, v, 1), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_THROW_MSG(Diag(1, v, INT_MIN), kiv::CExhaustedMemoryException, L"Out of memory");
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Diag, VectorGivesSquareMatrix) {
    ArrayPtr row = Matrix(1, 3, {7, 8, 9});
    ArrayPtr column = Matrix(3, 1, {7, 8, 9});
    row->SetLogical();
    for (int k = -2; k <= 2; ++k) {
        ArrayPtr expected(Diag(3, mxGetPr(row.get()), k));
        for (const CMatrix *source : {row.get(), column.get()}) {
            ArrayPtr a(Diag(source, k));
            ExpectRealDouble(a.get(), Dims(expected.get()));
            EXPECT_EQ(Values(a.get()), Values(expected.get()));
        }
    }
    ArrayPtr four = Matrix(1, 1, {4});
    ArrayPtr same(Diag(four.get(), 0));
    EXPECT_EQ(Values(same.get()), std::vector<double>{4});
    ArrayPtr shifted(Diag(four.get(), 1));
    ExpectRealDouble(shifted.get(), {2, 2});
    EXPECT_EQ(Values(shifted.get()), (std::vector<double>{0, 0, 4, 0}));
}

TEST(Diag, MatrixGivesDiagonalKAsColumn) {
    ArrayPtr a = Matrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const std::pair<int, std::vector<double>> cases[] = {
        {0, {1, 5, 9}}, {1, {4, 8}}, {-2, {3}}, {2, {7}}, {3, {}}, {-3, {}}, {INT_MAX, {}},
        {INT_MIN, {}}};
    for (const auto &[k, diagonal] : cases) {
        ArrayPtr d(Diag(a.get(), k));
        ExpectRealDouble(d.get(), {static_cast<unsigned int>(diagonal.size()), 1});
        EXPECT_EQ(Values(d.get()), diagonal) << k;
    }

    // Non-square: the diagonal is every a(i, j) with j - i = k, by rows.
    for (const auto &[m, n] : {std::pair<unsigned int, unsigned int>{2, 4}, {4, 2}}) {
        ArrayPtr b = Matrix(m, n, {1, 2, 3, 4, 5, 6, 7, 8});
        for (int k = -4; k <= 4; ++k) {
            std::vector<double> diagonal;
            for (unsigned int i = 0; i < m; ++i) {
                const long j = static_cast<long>(i) + k;
                if (j >= 0 && j < static_cast<long>(n)) diagonal.push_back(Values(b.get())[i + j * m]);
            }
            ArrayPtr d(Diag(b.get(), k));
            ExpectRealDouble(d.get(), {static_cast<unsigned int>(diagonal.size()), 1});
            EXPECT_EQ(Values(d.get()), diagonal) << m << 'x' << n << ' ' << k;
        }
    }
}

TEST(Diag, ArrayWithoutElementsGivesZeroByZero) {
    for (const Shape &dims : {Shape{0, 3}, Shape{3, 0}, Shape{0, 0}}) {
        ArrayPtr a = Array(dims);
        ArrayPtr d(Diag(a.get(), 1));
        ExpectRealDouble(d.get(), {0, 0});
    }
}

TEST(Diag, RefusesNDComplexAndNonDoubleArrays) {
    ArrayPtr cube = Array({2, 2, 2});
    ArrayPtr intCube = Array({2, 2, 2}, mxClassInt32);
    ArrayPtr complex = Array({2, 2}, mxClassDouble, mxComplexityComplex);
    ArrayPtr ints = Array({1, 3}, mxClassInt8);
    ArrayPtr singles = Array({2, 2}, mxClassSingle);
    ArrayPtr cell(mxCreateCellMatrix(1, 2));
    mxSetCell(cell.get(), 0, Scalar(1.0));
    for (CMatrix *a : {cube.get(), intCube.get(), complex.get(), ints.get(), singles.get()}) {
        std::memset(a->GetPr(), 0x5A, a->GetAllocSize());
        if (a->IsComplex()) std::memset(a->GetPi(), 0x3C, a->GetAllocSize());
    }

    for (const CMatrix *a : {cube.get(), intCube.get()}) {
        const ArraySnapshot before = ArraySnapshot::Of(a);
        const LiveBlocks blocks;
        EXPECT_THROW_MSG(Diag(a, 0), CFunctionErrorException, L"Unknown command option");
        EXPECT_EQ(blocks.Delta(), 0);
        EXPECT_TRUE(ArraySnapshot::Of(a) == before);
    }
    for (const CMatrix *a : {complex.get(), ints.get(), singles.get(), cell.get()}) {
        const ArraySnapshot before = ArraySnapshot::Of(a);
        const LiveBlocks blocks;
        EXPECT_THROW_MSG(Diag(a, 0), CNotImplementedException, L"Operation not implemented! :-(");
        EXPECT_EQ(blocks.Delta(), 0);
        EXPECT_TRUE(ArraySnapshot::Of(a) == before);
    }
}

TEST(Diag, FailedAllocationLeavesTheArgumentAndLeaksNothing) {
    const ArrayPtr arrays[] = {Matrix(2, 2, {1, 2, 3, 4}), Matrix(1, 2, {1, 2})};
    for (const ArrayPtr &a : arrays) {
        const ArraySnapshot before = ArraySnapshot::Of(a.get());
        const int failurePoints = ForEachAllocationFailure(
            [&] { ArrayPtr d(Diag(a.get(), 1)); },
            [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); });
        EXPECT_GT(failurePoints, 0);
    }
}

TEST(Initialize, FillsInPlaceKeepingShapeClassFlagsAndCounter) {
    ArrayPtr owner = Array({2, 3, 2});
    CMatrix *a = owner.get();
    a->SetLogical();
    a->IncCounter();
    Initialize(a, 7.5);
    EXPECT_EQ(a, owner.get());
    EXPECT_EQ(Dims(a), (Shape{2, 3, 2}));
    EXPECT_EQ(a->GetClassID(), mxClassDouble);
    EXPECT_EQ(a->GetFlags(), 1u);
    EXPECT_EQ(a->GetCounter(), 1);
    EXPECT_EQ(Values(a), std::vector<double>(12, 7.5));
    Initialize(a, mxGetNaN());
    for (double x : Values(a)) EXPECT_EQ(Bits(x), Bits(mxGetNaN()));
}

TEST(Initialize, ComplexBecomesRealAndSharersKeepTheirValues) {
    const double re[] = {1, 2, 3, 4}, im[] = {5, 6, 7, 8};
    ArrayPtr original(mxDoubleMatrix(2, 2, re, im));
    ArrayPtr share(original->CreateShareArray());
    const ArraySnapshot before = ArraySnapshot::Of(original.get());
    CMatrix *a = share.get();
    Initialize(a, -2.0);
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(Dims(a), (Shape{2, 2}));
    EXPECT_EQ(Values(a), std::vector<double>(4, -2.0));
    EXPECT_TRUE(ArraySnapshot::Of(original.get()) == before);

    ArrayPtr flat = Array({0, 3}, mxClassDouble, mxComplexityComplex);
    a = flat.get();
    Initialize(a, 1.0);
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(Dims(a), (Shape{0, 3}));
}

TEST(Initialize, RefusesArraysThatAreNotDouble) {
    ArrayPtr ints = Array({2, 2}, mxClassInt32);
    ArrayPtr chars(mxCreateString("ab"));
    ArrayPtr cell(mxCreateCellMatrix(1, 2));
    mxSetCell(cell.get(), 1, Scalar(3.0));
    std::memset(ints->GetPr(), 0x11, ints->GetAllocSize());
    for (const ArrayPtr *owner : {&ints, &chars, &cell}) {
        CMatrix *a = owner->get();
        const ArraySnapshot before = ArraySnapshot::Of(a);
        const LiveBlocks blocks;
        EXPECT_THROW_MSG(Initialize(a, 1.0), CNotImplementedException,
                         L"Operation not implemented! :-(");
        EXPECT_EQ(blocks.Delta(), 0);
        EXPECT_EQ(a, owner->get());
        EXPECT_TRUE(ArraySnapshot::Of(a) == before);
    }
}

TEST(Initialize, FailedUnsharingLeavesTheArrayAsItWas) {
    const double re[] = {1, 2}, im[] = {3, 4};
    ArrayPtr original(mxDoubleMatrix(1, 2, re, im));
    ArrayPtr share(original->CreateShareArray());
    const ArraySnapshot before = ArraySnapshot::Of(share.get());
    CMatrix *a = share.get();
    const int failurePoints = ForEachAllocationFailure([&] { Initialize(a, 0.0); }, [&] {
        EXPECT_TRUE(ArraySnapshot::Of(a) == before);
    });
    EXPECT_GT(failurePoints, 0);
    EXPECT_EQ(Values(a), std::vector<double>(2, 0.0));
    EXPECT_EQ(Values(original.get()), (std::vector<double>{1, 2}));
}

TEST(Empty, LeavesZeroByZeroOfAnyClassAlone) {
    ArrayPtr chars = Array({0, 0}, mxClassChar);
    ArrayPtr complex = Array({0, 0}, mxClassDouble, mxComplexityComplex);
    for (const ArrayPtr *owner : {&chars, &complex}) {
        CMatrix *a = owner->get();
        const ArraySnapshot before = ArraySnapshot::Of(a);
        const LiveBlocks blocks;
        Empty(a);
        EXPECT_EQ(a, owner->get());
        EXPECT_TRUE(ArraySnapshot::Of(a) == before);
        EXPECT_EQ(blocks.Delta(), 0);
    }
}

TEST(Empty, ReplacesEveryOtherArrayWithARealDoubleZeroByZero) {
    const LiveBlocks blocks;
    CMatrix *arrays[] = {nullptr, Array({1, 0}).release(), Array({2, 0, 3}).release(),
                         Array({2, 2}, mxClassInt32).release(), mxCreateCellMatrix(1, 1)};
    mxSetCell(arrays[4], 0, Scalar(1.0));
    for (CMatrix *&a : arrays) {
        Empty(a);
        ASSERT_NE(a, nullptr);
        ExpectRealDouble(a, {0, 0});
        mxDestroyArray(a);
    }
    EXPECT_EQ(blocks.Delta(), 0);  // the old arrays, cell elements included, are gone
}

TEST(Empty, FailedAllocationKeepsTheOldArray) {
    ArrayPtr owner = Matrix(1, 2, {1, 2});
    CMatrix *a = owner.get();
    const ArraySnapshot before = ArraySnapshot::Of(a);
    const int failurePoints = ForEachAllocationFailure([&] { Empty(a); }, [&] {
        EXPECT_EQ(a, owner.get());
        EXPECT_TRUE(ArraySnapshot::Of(a) == before);
    });
    EXPECT_GT(failurePoints, 0);
    owner.release();  // Empty destroyed it
    ArrayPtr empty(a);
    ExpectRealDouble(empty.get(), {0, 0});
}

}  // namespace
