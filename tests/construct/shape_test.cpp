// tests/construct/shape_test.cpp: tests of transposes, triangular parts, reshaping and shape queries.
#include <matrix/matrix.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "construct/transpose_kernel.h"
#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::Bits;
using matrix_test::Dims;
using matrix_test::ImagValues;
using matrix_test::LiveBlocks;
using matrix_test::Matrix;
using matrix_test::Values;

using DimList = std::vector<unsigned int>;

double FromBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

std::vector<std::uint64_t> BitsOf(const std::vector<double> &values) {
    std::vector<std::uint64_t> out;
    for (double x : values) out.push_back(Bits(x));
    return out;
}

// A double array of the given shape whose real element k is k + 1 and, when
// complex, whose imaginary element k is -(k + 1) / 4.
ArrayPtr Filled(const DimList &dims, mxComplexity complexity = mxComplexityReal) {
    ArrayPtr a = Array(dims, mxClassDouble, complexity);
    double *pr = mxGetPr(a.get());
    double *pi = mxGetPi(a.get());
    for (unsigned int k = 0; k < a->GetNoElems(); ++k) {
        pr[k] = k + 1.0;
        if (pi != nullptr) pi[k] = -(k + 1.0) / 4;
    }
    return a;
}

// Expects `statement` to throw E with `message`, leaving `a` unchanged and
// nothing allocated.
#define EXPECT_REJECTS(statement, a, E, message)                       \
    do {                                                               \
        const ArraySnapshot before_ = ArraySnapshot::Of(a);            \
        const LiveBlocks blocks_;                                      \
        EXPECT_THROW_MSG(statement, E, message);                       \
        EXPECT_EQ(blocks_.Delta(), 0);                                 \
        EXPECT_TRUE(ArraySnapshot::Of(a) == before_);                  \
    } while (0)

const wchar_t kNotImplemented[] = L"Operation not implemented! :-(";

// --- Transpose and Ctranspose ---------------------------------------------------

TEST(Transpose, RowBecomesColumn) {
    ArrayPtr a = Matrix(1, 3, {1, 2, 3});
    ArrayPtr t(Transpose(a.get()));
    EXPECT_EQ(Dims(t.get()), (DimList{3, 1}));
    EXPECT_EQ(Values(t.get()), (std::vector<double>{1, 2, 3}));
    EXPECT_FALSE(mxIsComplex(t.get()));
}

// Sizes around the 8-element micro tile and the 64-element tile, so that
// every edge path of the blocked kernel runs; compared bit for bit with a
// plain loop.
TEST(Transpose, MatchesReferenceAcrossTileEdges) {
    const unsigned int sizes[] = {1, 2, 3, 7, 8, 9, 16, 17, 63, 64, 65, 130};
    for (unsigned int m : sizes) {
        for (unsigned int n : sizes) {
            ArrayPtr a = Filled({m, n}, mxComplexityComplex);
            ArrayPtr t(Transpose(a.get())), c(Ctranspose(a.get()));
            ASSERT_EQ(Dims(t.get()), (DimList{n, m}));
            ASSERT_EQ(Dims(c.get()), (DimList{n, m}));
            const double *ar = mxGetPr(a.get()), *ai = mxGetPi(a.get());
            bool same = true;
            for (unsigned int i = 0; i < m; ++i) {
                for (unsigned int j = 0; j < n; ++j) {
                    const std::size_t from = i + std::size_t{j} * m, to = j + std::size_t{i} * n;
                    same = same && mxGetPr(t.get())[to] == ar[from] &&
                           mxGetPi(t.get())[to] == ai[from] && mxGetPr(c.get())[to] == ar[from] &&
                           mxGetPi(c.get())[to] == -ai[from];
                }
            }
            EXPECT_TRUE(same) << m << "x" << n;
        }
    }
}

// The blocked kernel on sub-blocks of larger buffers (lda > m, ldb > n):
// the padding, filled with a NaN pattern, must stay untouched.
TEST(Transpose, KernelLeavesPaddingAlone) {
    constexpr std::uint64_t kPad = 0x7FF4DEADBEEF0000;
    for (std::size_t m : {5u, 8u, 19u, 70u}) {
        for (std::size_t n : {3u, 16u, 65u}) {
            const std::size_t lda = m + 3, ldb = n + 5;
            std::vector<std::uint64_t> a(lda * n, kPad), b(ldb * m, kPad);
            for (std::size_t j = 0; j < n; ++j) {
                for (std::size_t i = 0; i < m; ++i) a[i + j * lda] = 1000 * i + j;
            }
            kernels::TransposeBlocked<true>(m, n, a.data(), lda, b.data(), ldb);
            bool same = true;
            for (std::size_t i = 0; i < m; ++i) {
                for (std::size_t r = 0; r < ldb; ++r) {
                    const std::uint64_t want = r < n ? (1000 * i + r) ^ kernels::kSignBit : kPad;
                    same = same && b[r + i * ldb] == want;
                }
            }
            EXPECT_TRUE(same) << m << "x" << n;
        }
    }
}

TEST(Transpose, MovesBitPatternsUnchanged) {
    const double nanPayload = FromBits(0x7FF0000000000123);
    const double values[] = {nanPayload, -0.0, mxGetInf(), mxGetNaN(), 0.0, -mxGetInf()};
    ArrayPtr a(mxDoubleMatrix(2, 3, values, values));
    ArrayPtr t(Transpose(a.get()));
    const std::vector<double> expected{nanPayload, mxGetInf(), 0.0, -0.0, mxGetNaN(), -mxGetInf()};
    EXPECT_EQ(BitsOf(Values(t.get())), BitsOf(expected));
    EXPECT_EQ(BitsOf(ImagValues(t.get())), BitsOf(expected));
}

TEST(Transpose, EmptyGivesSwappedShape) {
    for (const DimList &d : {DimList{0, 3}, DimList{4, 0}, DimList{0, 0}}) {
        ArrayPtr a = Array(d, mxClassDouble, mxComplexityComplex);
        ArrayPtr t(Transpose(a.get()));
        EXPECT_EQ(Dims(t.get()), (DimList{d[1], d[0]}));
        EXPECT_TRUE(mxIsComplex(t.get()));
    }
}

TEST(Transpose, KeepsOnlyTheLogicalFlag) {
    ArrayPtr a = Matrix(1, 2, {1, 0});
    a->SetFlag(0x5, 0x5);
    EXPECT_EQ(ArrayPtr(Transpose(a.get()))->GetFlags(), 0x1u);
    EXPECT_EQ(ArrayPtr(Ctranspose(a.get()))->GetFlags(), 0x1u);
    a->SetFlag(0x4, 0x5);
    EXPECT_EQ(ArrayPtr(Transpose(a.get()))->GetFlags(), 0u);
}

TEST(Transpose, RejectsNdAndNonDouble) {
    ArrayPtr nd = Array({2, 2, 2});
    EXPECT_REJECTS(Transpose(nd.get()), nd.get(), CTransposeOnNDArrayNotDefinedException,
                   L"Transpose on ND array is not defined");
    // The dimension check comes before the class check.
    ArrayPtr ndInt = Array({2, 2, 2}, mxClassInt32);
    EXPECT_REJECTS(Transpose(ndInt.get()), ndInt.get(), CTransposeOnNDArrayNotDefinedException,
                   L"Transpose on ND array is not defined");
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassChar, mxClassCell, mxClassUint64}) {
        ArrayPtr a = Array({2, 3}, id);
        EXPECT_REJECTS(Transpose(a.get()), a.get(), CNotImplementedException, kNotImplemented);
    }
}

TEST(Ctranspose, ConjugatesTheImaginaryPart) {
    const double re[] = {1, 3}, im[] = {2, -4};
    ArrayPtr a(mxDoubleMatrix(1, 2, re, im));
    ArrayPtr c(Ctranspose(a.get())), t(Transpose(a.get()));
    EXPECT_EQ(Dims(c.get()), (DimList{2, 1}));
    EXPECT_EQ(Values(c.get()), (std::vector<double>{1, 3}));
    EXPECT_EQ(ImagValues(c.get()), (std::vector<double>{-2, 4}));
    EXPECT_EQ(ImagValues(t.get()), (std::vector<double>{2, -4}));

    // Negation flips the sign bit only: 0 becomes -0, a NaN keeps its payload.
    const double zeroIm[] = {0.0, FromBits(0x7FF8000000000042)};
    ArrayPtr z(mxDoubleMatrix(1, 2, re, zeroIm));
    EXPECT_EQ(BitsOf(ImagValues(ArrayPtr(Ctranspose(z.get())).get())),
              (std::vector<std::uint64_t>{0x8000000000000000, 0xFFF8000000000042}));
}

TEST(Ctranspose, RealArgumentStaysReal) {
    ArrayPtr a = Matrix(2, 2, {1, 2, 3, 4});
    ArrayPtr c(Ctranspose(a.get()));
    EXPECT_FALSE(mxIsComplex(c.get()));
    EXPECT_EQ(Values(c.get()), (std::vector<double>{1, 3, 2, 4}));
}

TEST(Ctranspose, RejectsNdAndNonDouble) {
    ArrayPtr nd = Array({1, 2, 3}, mxClassDouble, mxComplexityComplex);
    EXPECT_REJECTS(Ctranspose(nd.get()), nd.get(), CTransposeOnNDArrayNotDefinedException,
                   L"Transpose on ND array is not defined");
    ArrayPtr a = Array({2, 2}, mxClassInt8);
    EXPECT_REJECTS(Ctranspose(a.get()), a.get(), CNotImplementedException, kNotImplemented);
}

TEST(Ctranspose, AllocationFailureLeaksNothing) {
    ArrayPtr a = Filled({5, 3}, mxComplexityComplex);
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    EXPECT_GE(matrix_test::ForEachAllocationFailure(
                  [&] { ArrayPtr r(Ctranspose(a.get())); },
                  [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); }),
              2);
}

// --- Tril and Triu --------------------------------------------------------------

// Checks Tril (lower) or Triu of `a` against the rule on subscripts: element
// (i, j) of `a` seen as m x c survives when i >= j - k (Tril) or i <= j - k.
void ExpectTriangle(const CMatrix *a, int k, bool lower) {
    ArrayPtr r(lower ? Tril(a, k) : Triu(a, k));
    const unsigned int m = mxGetM(a), c = a->GetNoElems() / (m == 0 ? 1 : m);
    if (a->GetNoElems() > 0) {
        ASSERT_EQ(Dims(r.get()), (DimList{m, c}));
    }
    EXPECT_EQ(mxIsComplex(r.get()), mxIsComplex(a));
    EXPECT_EQ(r->GetFlags(), 0u);
    const std::vector<double> re = Values(a), im = matrix_test::ImagValues(a);
    std::vector<double> wantRe(re.size()), wantIm(im.size());
    for (unsigned int j = 0; j < c; ++j) {
        for (unsigned int i = 0; i < m; ++i) {
            const long long d = static_cast<long long>(j) - k;
            const bool keep = lower ? i >= d : i <= d;
            const std::size_t p = i + std::size_t{j} * m;
            wantRe[p] = keep ? re[p] : 0.0;
            if (!im.empty()) wantIm[p] = keep ? im[p] : 0.0;
        }
    }
    EXPECT_EQ(Values(r.get()), wantRe) << (lower ? "Tril" : "Triu") << " k=" << k;
    EXPECT_EQ(ImagValues(r.get()), wantIm) << (lower ? "Tril" : "Triu") << " k=" << k;
}

int CountNonzero(const CMatrix *a) {
    int count = 0;
    for (double x : Values(a)) count += x != 0.0;
    return count;
}

TEST(Tril, KeepsElementsOnAndBelowDiagonal) {
    ArrayPtr ones = Matrix(3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ(CountNonzero(ArrayPtr(Tril(ones.get(), 0)).get()), 6);
    EXPECT_EQ(CountNonzero(ArrayPtr(Tril(ones.get(), -1)).get()), 3);
    EXPECT_EQ(CountNonzero(ArrayPtr(Tril(ones.get(), 2)).get()), 9);
    EXPECT_EQ(Values(ArrayPtr(Tril(ones.get(), 0)).get()),
              (std::vector<double>{1, 1, 1, 0, 1, 1, 0, 0, 1}));
}

TEST(Triu, KeepsElementsOnAndAboveDiagonal) {
    ArrayPtr ones = Matrix(3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ(CountNonzero(ArrayPtr(Triu(ones.get(), 0)).get()), 6);
    EXPECT_EQ(CountNonzero(ArrayPtr(Triu(ones.get(), 1)).get()), 3);
    EXPECT_EQ(CountNonzero(ArrayPtr(Triu(ones.get(), -3)).get()), 9);
    EXPECT_EQ(Values(ArrayPtr(Triu(ones.get(), 0)).get()),
              (std::vector<double>{1, 0, 0, 1, 1, 0, 1, 1, 1}));
}

TEST(Tril, MatchesRuleOnRealComplexAndNdArrays) {
    for (const DimList &d : {DimList{4, 4}, DimList{3, 5}, DimList{5, 3}, DimList{1, 6},
                             DimList{6, 1}, DimList{2, 2, 2}, DimList{3, 2, 2, 2}}) {
        for (mxComplexity cx : {mxComplexityReal, mxComplexityComplex}) {
            ArrayPtr a = Filled(d, cx);
            for (int k = -7; k <= 7; ++k) {
                ExpectTriangle(a.get(), k, true);
                ExpectTriangle(a.get(), k, false);
            }
        }
    }
}

TEST(Tril, NdArrayIsSeenAsMatrix) {
    ArrayPtr a = Filled({2, 2, 2}, mxComplexityComplex);
    ArrayPtr l(Tril(a.get(), 0)), u(Triu(a.get(), 0));
    EXPECT_EQ(Dims(l.get()), (DimList{2, 4}));
    EXPECT_EQ(Values(l.get()), (std::vector<double>{1, 2, 0, 4, 0, 0, 0, 0}));
    EXPECT_EQ(ImagValues(l.get()), (std::vector<double>{-0.25, -0.5, 0, -1, 0, 0, 0, 0}));
    EXPECT_EQ(Values(u.get()), (std::vector<double>{1, 0, 3, 4, 5, 6, 7, 8}));
}

TEST(Triu, ExtremeDiagonals) {
    ArrayPtr a = Filled({3, 4});
    const std::vector<double> all = Values(a.get()), none(12, 0.0);
    EXPECT_EQ(Values(ArrayPtr(Tril(a.get(), INT_MAX)).get()), all);
    EXPECT_EQ(Values(ArrayPtr(Tril(a.get(), INT_MIN)).get()), none);
    EXPECT_EQ(Values(ArrayPtr(Triu(a.get(), INT_MIN)).get()), all);
    EXPECT_EQ(Values(ArrayPtr(Triu(a.get(), INT_MAX)).get()), none);
}

TEST(Tril, EmptyAndLogicalArguments) {
    EXPECT_EQ(Dims(ArrayPtr(Tril(Array({0, 3}).get(), 0)).get()), (DimList{0, 3}));
    EXPECT_EQ(Dims(ArrayPtr(Triu(Array({3, 0, 2}).get(), 0)).get()), (DimList{3, 0}));
    ArrayPtr b = Matrix(2, 2, {1, 1, 0, 1});
    mxSetLogical(b.get());
    EXPECT_EQ(ArrayPtr(Tril(b.get(), 0))->GetFlags(), 0u);
}

TEST(Tril, RejectsNonDouble) {
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassChar, mxClassCell}) {
        ArrayPtr a = Array({2, 2}, id);
        EXPECT_REJECTS(Tril(a.get(), 0), a.get(), CNotImplementedException, kNotImplemented);
        EXPECT_REJECTS(Triu(a.get(), 0), a.get(), CNotImplementedException, kNotImplemented);
    }
}

// --- Reshape, Tocolumn, Tomatrix ------------------------------------------------

TEST(Reshape, SharesDataWithNewShape) {
    ArrayPtr a = Filled({2, 3}, mxComplexityComplex);
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    ArrayPtr r(Reshape(a.get(), 3u, 2u));
    EXPECT_EQ(Dims(r.get()), (DimList{3, 2}));
    EXPECT_EQ(r->GetPr(), a->GetPr());
    EXPECT_EQ(r->GetPi(), a->GetPi());
    EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before);

    EXPECT_EQ(Dims(ArrayPtr(Reshape(a.get(), 3u, 2u, 1u)).get()), (DimList{3, 2}));
    EXPECT_EQ(Dims(ArrayPtr(Reshape(a.get(), 1u, 1u, 6u)).get()), (DimList{1, 1, 6}));
    const unsigned int dims[] = {1, 2, 3, 1, 1};
    ArrayPtr nd(Reshape(a.get(), 5u, dims));
    EXPECT_EQ(Dims(nd.get()), (DimList{1, 2, 3}));
    EXPECT_EQ(nd->GetPr(), a->GetPr());
}

TEST(Reshape, WritingTheResultLeavesTheArgument) {
    ArrayPtr a = Filled({2, 3});
    ArrayPtr r(Reshape(a.get(), 6u, 1u));
    r->GetOwnCopy();
    mxGetPr(r.get())[0] = 99;
    EXPECT_EQ(Values(a.get())[0], 1.0);
}

TEST(Reshape, WorksOnAnyClass) {
    ArrayPtr cell(mxCreateCellMatrix(2, 2));
    mxSetCell(cell.get(), 3, Matrix(1, 1, {7}).release());
    {
        ArrayPtr r(Reshape(cell.get(), 1u, 4u));
        EXPECT_EQ(mxGetCell(r.get(), 3), mxGetCell(cell.get(), 3));
    }
    // Releasing the reshaped copy destroyed no element.
    EXPECT_EQ(Values(mxGetCell(cell.get(), 3)), (std::vector<double>{7}));
    ArrayPtr s(mxCreateString("abcdef"));
    EXPECT_EQ(Dims(ArrayPtr(Reshape(s.get(), 2u, 3u)).get()), (DimList{2, 3}));
}

TEST(Reshape, RejectsBadSizes) {
    ArrayPtr a = Filled({2, 3});
    const unsigned int one[] = {6};
    EXPECT_REJECTS(Reshape(a.get(), 1u, one), a.get(), CFunctionErrorException,
                   L"Size vector must have at least two elements");
    EXPECT_REJECTS(Reshape(a.get(), 0u, nullptr), a.get(), CFunctionErrorException,
                   L"Size vector must have at least two elements");
    EXPECT_REJECTS(Reshape(a.get(), 4u, 2u), a.get(), CFunctionErrorException,
                   L"The number of elements can't change");
    // A product beyond 32 bits is a different count too, not a memory failure.
    EXPECT_REJECTS(Reshape(a.get(), 65536u, 65536u, 6u), a.get(), CFunctionErrorException,
                   L"The number of elements can't change");
}

TEST(Tocolumn, SharesDataAsColumn) {
    ArrayPtr a = Filled({2, 3, 4});
    ArrayPtr c(Tocolumn(a.get()));
    EXPECT_EQ(Dims(c.get()), (DimList{24, 1}));
    EXPECT_EQ(c->GetPr(), a->GetPr());
    EXPECT_EQ(Dims(ArrayPtr(Tocolumn(Array({0, 3}).get())).get()), (DimList{0, 1}));
    EXPECT_EQ(Dims(ArrayPtr(Tocolumn(Array({2, 3}, mxClassInt16).get())).get()),
              (DimList{6, 1}));
}

TEST(Tomatrix, SharesDataAsMatrix) {
    ArrayPtr a = Filled({2, 3, 4}, mxComplexityComplex);
    ArrayPtr m(Tomatrix(a.get()));
    EXPECT_EQ(Dims(m.get()), (DimList{2, 12}));
    EXPECT_EQ(m->GetPr(), a->GetPr());
    EXPECT_EQ(m->GetPi(), a->GetPi());
    ArrayPtr b = Filled({2, 3});
    EXPECT_EQ(Dims(ArrayPtr(Tomatrix(b.get())).get()), (DimList{2, 3}));
}

TEST(Tomatrix, ColumnCountBeyond32BitsThrows) {
    ArrayPtr a = Array({0, 70000, 70000});
    EXPECT_THROW(Tomatrix(a.get()), kiv::CExhaustedMemoryException);
}

TEST(Tocolumn, AllocationFailureLeaksNothing) {
    ArrayPtr a = Filled({2, 3, 4});
    const ArraySnapshot before = ArraySnapshot::Of(a.get());
    auto unchanged = [&] { EXPECT_TRUE(ArraySnapshot::Of(a.get()) == before); };
    EXPECT_GE(matrix_test::ForEachAllocationFailure([&] { ArrayPtr r(Tocolumn(a.get())); },
                                                    unchanged),
              2);
    EXPECT_GE(matrix_test::ForEachAllocationFailure(
                  [&] { ArrayPtr r(Reshape(a.get(), 4u, 6u)); }, unchanged),
              2);
}

// --- End, Length, Isempty ---------------------------------------------------------

TEST(End, AllFiveCases) {
    ArrayPtr a = Array({3, 4, 5});
    // k beyond the dimensions.
    EXPECT_EQ(End(a.get(), 4, 4), 1u);
    // One subscript: the element count.
    EXPECT_EQ(End(a.get(), 1, 1), 60u);
    // k < n: that dimension's length.
    EXPECT_EQ(End(a.get(), 1, 2), 3u);
    EXPECT_EQ(End(a.get(), 2, 3), 4u);
    // n equal to the number of dimensions: that dimension's length.
    EXPECT_EQ(End(a.get(), 3, 3), 5u);
    // Last subscript before the last dimension: the product of the rest.
    EXPECT_EQ(End(a.get(), 2, 2), 20u);
    // k > n.
    EXPECT_REJECTS(End(a.get(), 3, 2), a.get(), CFunctionErrorException, L"End: iDim>iIdxs");

    ArrayPtr b = Array({3, 4});
    EXPECT_EQ(End(b.get(), 2, 2), 4u);
    EXPECT_EQ(End(b.get(), 3, 3), 1u);
}

TEST(End, RejectsPositionZero) {
    ArrayPtr a = Array({3, 4});
    EXPECT_REJECTS(End(a.get(), 0, 2), a.get(), CIndexIntoMatrixNegativeOrZeroException,
                   L"Index into matrix is negative or zero");
    EXPECT_REJECTS(End(a.get(), 0, 0), a.get(), CIndexIntoMatrixNegativeOrZeroException,
                   L"Index into matrix is negative or zero");
}

TEST(End, ProductBeyond32BitsThrows) {
    ArrayPtr a = Array({0, 70000, 70000});
    EXPECT_EQ(End(a.get(), 1, 2), 0u);
    EXPECT_EQ(End(a.get(), 2, 3), 70000u);
    EXPECT_THROW(End(a.get(), 2, 2), kiv::CExhaustedMemoryException);
}

TEST(Length, LargestLengthOrZero) {
    EXPECT_EQ(Length(Array({3, 7}).get()), 7u);
    EXPECT_EQ(Length(Array({0, 7}).get()), 0u);
    EXPECT_EQ(Length(Array({2, 3, 4}).get()), 4u);
    EXPECT_EQ(Length(Array({5, 1}).get()), 5u);
    EXPECT_EQ(Length(Array({1, 1}, mxClassCell).get()), 1u);
}

TEST(Isempty, TrueForAnyZeroLength) {
    for (const DimList &d : {DimList{0, 0}, DimList{0, 3}, DimList{2, 0}, DimList{2, 3, 0}}) {
        ArrayPtr e(Isempty(Array(d).get()));
        EXPECT_EQ(Dims(e.get()), (DimList{1, 1}));
        EXPECT_EQ(Values(e.get()), (std::vector<double>{1.0})) << ::testing::PrintToString(d);
        EXPECT_FALSE(mxIsLogical(e.get()));
    }
    EXPECT_EQ(Values(ArrayPtr(Isempty(Array({1, 1}, mxClassChar).get())).get()),
              (std::vector<double>{0.0}));
    EXPECT_EQ(Values(ArrayPtr(Isempty(Array({2, 3, 4}).get())).get()),
              (std::vector<double>{0.0}));
}

}  // namespace
