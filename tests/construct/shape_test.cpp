// tests/construct/shape_test.cpp: transposes, triangular parts, reshaping and shape queries.
#include <matrix/matrix.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <vector>

#include "kernels/transpose_kernel.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

// --- Transpose and Ctranspose ---------------------------------------------------

// Sizes around the 8-element micro tile and the 64-element tile, so that
// every edge path of the blocked kernel runs. The kernel also works on
// sub-blocks of larger buffers (lda > m, ldb > n): their padding, filled
// with a NaN pattern, must stay untouched.
TEST(Transpose, MatchesAPlainLoopAcrossTileEdges) {
    const unsigned int sizes[] = {1, 2, 3, 7, 8, 9, 16, 17, 63, 64, 65, 130};
    constexpr std::uint64_t kPad = 0x7FF4DEADBEEF0000;
    for (unsigned int m : sizes) {
        for (unsigned int n : sizes) {
            ArrayPtr a = Counted({m, n}, 1, mxComplexityComplex);
            ArrayPtr t(Transpose(a.get())), c(Ctranspose(a.get()));
            ASSERT_EQ(Dims(t.get()), (DimList{n, m}));
            ASSERT_EQ(Dims(c.get()), (DimList{n, m}));
            const std::size_t lda = m + 3, ldb = n + 5;
            std::vector<std::uint64_t> padded(lda * n, kPad), b(ldb * m, kPad);
            for (std::size_t k = 0; k < std::size_t{m} * n; ++k) padded[k % m + k / m * lda] = k;
            kernels::TransposeBlocked<true>(m, n, padded.data(), lda, b.data(), ldb);
            const double *ar = mxGetPr(a.get()), *ai = mxGetPi(a.get());
            bool same = true;
            for (std::size_t i = 0; i < m; ++i) {
                for (std::size_t j = 0; j < n; ++j) {
                    const std::size_t from = i + j * m, to = j + i * n;
                    same = same && mxGetPr(t.get())[to] == ar[from] &&
                           mxGetPi(t.get())[to] == ai[from] && mxGetPr(c.get())[to] == ar[from] &&
                           mxGetPi(c.get())[to] == -ai[from] &&
                           b[j + i * ldb] == (from ^ kernels::kSignBit);
                }
                for (std::size_t r = n; r < ldb; ++r) same = same && b[r + i * ldb] == kPad;
            }
            EXPECT_TRUE(same) << m << "x" << n;
        }
    }
}

// Results of kTransposeStreamingBytes and more take the streaming-store
// path when their columns start on cache-line boundaries, and the ordinary
// one otherwise; both must give the plain result, padding untouched. The
// sizes leave partial micro tiles and strips on both edges.
TEST(Transpose, LargeResultsMatchAPlainLoopWithAndWithoutStreaming) {
    constexpr std::uint64_t kPad = 0x7FF4DEADBEEF0000;
    const std::size_t m = 1030, n = 1021, lda = m + 3, ldb = 1024;
    ASSERT_GE(8 * m * ldb, kernels::kTransposeStreamingBytes);
    std::vector<std::uint64_t> a(lda * n, kPad);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < m; ++i) a[i + j * lda] = i + j * m;
    }
    // One spare element in front lets the target start off a line boundary.
    auto *block = static_cast<std::uint64_t *>(
        ::operator new ((ldb * m + 1) * sizeof(std::uint64_t), std::align_val_t{64}));
    for (std::size_t offset : {0, 1}) {
        std::uint64_t *b = block + offset;
        std::fill(b, b + ldb * m, kPad);
        kernels::TransposeBlocked<true>(m, n, a.data(), lda, b, ldb);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                wrong += b[j + i * ldb] != ((i + j * m) ^ kernels::kSignBit);
            }
            for (std::size_t r = n; r < ldb; ++r) wrong += b[r + i * ldb] != kPad;
        }
        EXPECT_EQ(wrong, 0u) << "target offset " << offset;
    }
    ::operator delete (block, std::align_val_t{64});
}

TEST(Transpose, MovesBitPatternsAndConjugatesBySignBitOnly) {
    const double payload = FromBits(0x7FF0000000000123);
    const double values[] = {payload, -0.0, mxGetInf(), mxGetNaN(), 0.0, -mxGetInf()};
    ArrayPtr a(mxDoubleMatrix(2, 3, values, values));
    ArrayPtr t(Transpose(a.get())), c(Ctranspose(a.get()));
    const std::vector<double> moved{payload, mxGetInf(), 0.0, -0.0, mxGetNaN(), -mxGetInf()};
    EXPECT_EQ(BitsOf(t.get()), BitsOf(moved));
    EXPECT_EQ(BitsOf(ImagValues(t.get())), BitsOf(moved));
    EXPECT_EQ(BitsOf(c.get()), BitsOf(moved));
    std::vector<std::uint64_t> conjugated;
    for (double x : moved) conjugated.push_back(Bits(x) ^ 0x8000000000000000);
    EXPECT_EQ(BitsOf(ImagValues(c.get())), conjugated);

    ArrayPtr real(Ctranspose(Matrix(2, 2, {1, 2, 3, 4}).get()));
    EXPECT_FALSE(real->IsComplex());
    EXPECT_EQ(Values(real.get()), (std::vector<double>{1, 3, 2, 4}));
    for (const DimList &d : {DimList{0, 3}, DimList{4, 0}, DimList{0, 0}}) {
        ArrayPtr e(Transpose(Array(d, mxClassDouble, mxComplexityComplex).get()));
        EXPECT_EQ(Dims(e.get()), (DimList{d[1], d[0]}));
        EXPECT_TRUE(e->IsComplex());
    }
    // Only the logical flag is kept.
    ArrayPtr flagged = Matrix(1, 2, {1, 0});
    flagged->SetFlag(0x5, 0x5);
    EXPECT_EQ(ArrayPtr(Transpose(flagged.get()))->GetFlags(), 0x1u);
    EXPECT_EQ(ArrayPtr(Ctranspose(flagged.get()))->GetFlags(), 0x1u);
    flagged->SetFlag(0x4, 0x5);
    EXPECT_EQ(ArrayPtr(Transpose(flagged.get()))->GetFlags(), 0u);
}

TEST(Transpose, RefusesNdBeforeTheClassAndAllButDouble) {
    using Unary = CMatrix *(*)(const CMatrix *);  // picks the raw forms, not Array's
    for (auto transpose : std::initializer_list<Unary>{Transpose, Ctranspose}) {
        for (mxClassID id : {mxClassDouble, mxClassInt32}) {
            ArrayPtr nd = Array({1, 2, 2}, id, mxComplexityComplex);
            EXPECT_CLEAN_THROW(transpose(nd.get()), CTransposeOnNDArrayNotDefinedException,
                               L"Transpose on ND array is not defined", nd.get());
        }
        for (const ArrayPtr &a : NonRealDoubleOperands()) {
            if (!a->IsDouble()) EXPECT_NOT_IMPLEMENTED(transpose(a.get()), a.get());
        }
    }
    ArrayPtr a = Counted({5, 3}, 1, mxComplexityComplex);
    EXPECT_GE(FailurePoints([&] { return Ctranspose(a.get()); }, {a.get()}), 2);
}

// --- Tril and Triu --------------------------------------------------------------

// The argument seen as m x c, c the product of its other lengths: element
// (i, j) survives when i >= j - k (Tril) or i <= j - k (Triu), in both
// parts; the result is never logical.
TEST(Tril, MatchesTheRuleOnSubscripts) {
    for (const DimList &d : {DimList{4, 4},
                             {3, 5},
                             {5, 3},
                             {1, 6},
                             {6, 1},
                             {2, 2, 2},
                             {3, 2, 2, 2},
                             {0, 3},
                             {3, 0, 2}}) {
        for (mxComplexity cx : {mxComplexityReal, mxComplexityComplex}) {
            ArrayPtr a = Counted(d, 1, cx);
            a->SetLogical();
            const unsigned int m = d[0], c = m == 0 ? d[1] : a->GetNoElems() / m;
            const std::vector<double> re = Values(a.get()), im = ImagValues(a.get());
            for (int k : {INT_MIN, -7, -4, -3, -2, -1, 0, 1, 2, 3, 4, 7, INT_MAX}) {
                for (bool lower : {true, false}) {
                    SCOPED_TRACE(::testing::PrintToString(d) + (lower ? " Tril " : " Triu ") +
                                 std::to_string(k));
                    ArrayPtr r(lower ? Tril(a.get(), k) : Triu(a.get(), k));
                    EXPECT_EQ(Dims(r.get()), (DimList{m, c}));
                    EXPECT_EQ(r->IsComplex(), cx == mxComplexityComplex);
                    EXPECT_EQ(r->GetFlags(), 0u);
                    std::vector<double> wantRe(re.size()), wantIm(im.size());
                    for (std::size_t p = 0; p < re.size(); ++p) {
                        const long long i = p % m, j = p / m;
                        const bool keep = lower ? i >= j - k : i <= j - k;
                        wantRe[p] = keep ? re[p] : 0.0;
                        if (!im.empty()) wantIm[p] = keep ? im[p] : 0.0;
                    }
                    EXPECT_EQ(Values(r.get()), wantRe);
                    EXPECT_EQ(ImagValues(r.get()), wantIm);
                }
            }
        }
    }
    for (const ArrayPtr &a : NonRealDoubleOperands()) {
        if (a->IsDouble()) continue;
        EXPECT_NOT_IMPLEMENTED(Tril(a.get(), 0), a.get());
        EXPECT_NOT_IMPLEMENTED(Triu(a.get(), 0), a.get());
    }
}

// --- Reshape, Tocolumn, Tomatrix ------------------------------------------------

TEST(Reshape, SharesTheDataInTheNewShape) {
    ArrayPtr a = Counted({2, 3, 4}, 1, mxComplexityComplex);
    const Snapshots before({a.get()});
    const unsigned int five[] = {1, 6, 4, 1, 1};
    const struct {
        ArrayPtr r;
        DimList dims;
    } cases[] = {{ArrayPtr(Reshape(a.get(), 4u, 6u)), {4, 6}},
                 {ArrayPtr(Reshape(a.get(), 4u, 6u, 1u)), {4, 6}},
                 {ArrayPtr(Reshape(a.get(), 1u, 1u, 24u)), {1, 1, 24}},
                 {ArrayPtr(Reshape(a.get(), 5u, five)), {1, 6, 4}},
                 {ArrayPtr(Tocolumn(a.get())), {24, 1}},
                 {ArrayPtr(Tomatrix(a.get())), {2, 12}}};
    for (const auto &[r, dims] : cases) {
        EXPECT_EQ(Dims(r.get()), dims);
        EXPECT_EQ(r->GetPr(), a->GetPr());
        EXPECT_EQ(r->GetPi(), a->GetPi());
    }
    EXPECT_TRUE(before.Unchanged());
    EXPECT_EQ(Dims(ArrayPtr(Tomatrix(Counted({2, 3}).get())).get()), (DimList{2, 3}));
    EXPECT_EQ(Dims(ArrayPtr(Tocolumn(Array({0, 3}).get())).get()), (DimList{0, 1}));
    // Any class: a cell's slots are shared, not destroyed with the result.
    ArrayPtr cell(mxCreateCellMatrix(2, 2));
    mxSetCell(cell.get(), 3, Matrix(1, 1, {7}).release());
    EXPECT_EQ(mxGetCell(ArrayPtr(Reshape(cell.get(), 1u, 4u)).get(), 3), mxGetCell(cell.get(), 3));
    EXPECT_EQ(Values(mxGetCell(cell.get(), 3)), (std::vector<double>{7}));

    EXPECT_GE(FailurePoints([&] { return Tocolumn(a.get()); }, {a.get()}), 2);
    EXPECT_GE(FailurePoints([&] { return Reshape(a.get(), 4u, 6u); }, {a.get()}), 2);
}

TEST(Reshape, RefusesBadSizes) {
    ArrayPtr a = Counted({2, 3});
    const unsigned int one[] = {6};
    const wchar_t twoElements[] = L"Size vector must have at least two elements";
    const wchar_t sameCount[] = L"The number of elements can't change";
    using Error = CFunctionErrorException;
    EXPECT_CLEAN_THROW(Reshape(a.get(), 1u, one), Error, twoElements, a.get());
    EXPECT_CLEAN_THROW(Reshape(a.get(), 0u, nullptr), Error, twoElements, a.get());
    EXPECT_CLEAN_THROW(Reshape(a.get(), 4u, 2u), Error, sameCount, a.get());
    // A product beyond 32 bits is a different count too, not a memory failure.
    EXPECT_CLEAN_THROW(Reshape(a.get(), 65536u, 65536u, 6u), Error, sameCount, a.get());
    // But a column count beyond 32 bits is a shape outside the data model.
    ArrayPtr huge = Array({0, 70000, 70000});
    EXPECT_CLEAN_THROW(Tomatrix(huge.get()), kiv::CExhaustedMemoryException, L"Out of memory",
                       huge.get());
}

// --- End, Length, Isempty ---------------------------------------------------------

TEST(End, EveryCase) {
    ArrayPtr a = Array({3, 4, 5}), b = Array({3, 4}), huge = Array({0, 70000, 70000});
    const struct {
        const CMatrix *a;
        unsigned int k, n, end;
    } cases[] = {
        {a.get(), 4, 4, 1},                       // beyond the dimensions
        {a.get(), 1, 1, 60},                      // one subscript: the element count
        {a.get(), 1, 2, 3},  {a.get(), 2, 3, 4},  // k < n: that length
        {a.get(), 3, 3, 5},  {b.get(), 2, 2, 4},  // n the number of dimensions: that length
        {a.get(), 2, 2, 20},  // the last subscript stands for the remaining dimensions
        {b.get(), 3, 3, 1},  {huge.get(), 1, 2, 0}, {huge.get(), 2, 3, 70000},
    };
    for (const auto &c : cases) EXPECT_EQ(End(c.a, c.k, c.n), c.end) << c.k << ' ' << c.n;
    EXPECT_CLEAN_THROW(End(a.get(), 3, 2), CFunctionErrorException, L"End: iDim>iIdxs", a.get());
    for (unsigned int n : {2u, 0u}) {
        EXPECT_CLEAN_THROW(End(b.get(), 0, n), CIndexIntoMatrixNegativeOrZeroException,
                           L"Index into matrix is negative or zero", b.get());
    }
    EXPECT_CLEAN_THROW(End(huge.get(), 2, 2), kiv::CExhaustedMemoryException, L"Out of memory",
                       huge.get());
}

TEST(Length, LargestLengthOrZeroAndIsemptyForAnyZeroLength) {
    const std::pair<ArrayPtr, unsigned int> cases[] = {{Array({3, 7}), 7},
                                                       {Array({0, 7}), 0},
                                                       {Array({2, 3, 4}), 4},
                                                       {Array({5, 1}), 5},
                                                       {Array({0, 0}), 0},
                                                       {Array({2, 3, 0}), 0},
                                                       {Array({1, 1}, mxClassCell), 1},
                                                       {Array({1, 2}, mxClassChar), 2}};
    for (const auto &[a, length] : cases) {
        EXPECT_EQ(Length(a.get()), length) << ::testing::PrintToString(Dims(a.get()));
        ArrayPtr e(Isempty(a.get()));
        EXPECT_EQ(Dims(e.get()), (DimList{1, 1}));
        EXPECT_EQ(Values(e.get()), std::vector<double>{length == 0 ? 1.0 : 0.0});
        EXPECT_FALSE(e->IsLogical());
    }
}

}  // namespace
