// tests/linalg/linalg_test_util.cpp: test matrices, padded buffers, bit checks, LAPACK.
#include "linalg/linalg_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace linalg_test {

using namespace kiv::matrix;

namespace {

// A quiet NaN with a payload that no arithmetic produces.
const std::uint64_t kPaddingBits = 0x7FF8DEADBEEF0001ull;

double PaddingValue() {
    double x;
    std::memcpy(&x, &kPaddingBits, sizeof x);
    return x;
}

}  // namespace

std::string ToString(const Shape &s) { return std::to_string(s.m) + "x" + std::to_string(s.n); }

const std::vector<Shape> kShapes = {{1, 1},   {2, 2},     {3, 3}, {7, 5}, {5, 7},
                                    {33, 33}, {100, 100}, {0, 0}, {0, 4}, {4, 0}};
const std::vector<Shape> kSquareShapes = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {33, 33}, {100, 100}};

Dense Random(std::size_t m, std::size_t n, std::mt19937_64 &rng, Fill fill) {
    Dense a(m, n);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-8, 8);
    std::uniform_int_distribution<int> kind(0, 15);
    for (double &x : a.v) {
        if (fill == Fill::kUniform) {
            x = uniform(rng);
            continue;
        }
        switch (kind(rng)) {
            case 0: x = 0.0; break;
            case 1: x = -0.0; break;
            default: x = std::ldexp(uniform(rng), exponent(rng));
        }
    }
    if (fill == Fill::kZeroLine && m > 0 && n > 0) {
        const std::size_t row = rng() % m;
        const std::size_t col = rng() % n;
        for (std::size_t j = 0; j < n; ++j) a(row, j) = (j % 2 == 0) ? 0.0 : -0.0;
        for (std::size_t i = 0; i < m; ++i) a(i, col) = (i % 2 == 0) ? -0.0 : 0.0;
    }
    return a;
}

Dense DiagonallyDominant(std::size_t n, std::mt19937_64 &rng) {
    Dense a = Random(n, n, rng, Fill::kUniform);
    for (std::size_t i = 0; i < n; ++i) a(i, i) += static_cast<double>(n);
    return a;
}

matrix_test::ArrayPtr ToArray(const Dense &a) {
    matrix_test::ArrayPtr r(mxCreateDoubleMatrix(static_cast<unsigned int>(a.m),
                                                 static_cast<unsigned int>(a.n), mxComplexityReal));
    std::copy(a.v.begin(), a.v.end(), mxGetPr(r.get()));
    return r;
}

Dense FromArray(const CMatrix *a) {
    Dense r(mxGetM(a), mxGetN(a));
    const double *p = mxGetPr(a);
    std::copy(p, p + r.v.size(), r.v.begin());
    return r;
}

void ExpectSameBits(const Dense &got, const Dense &want, const std::string &what) {
    ASSERT_EQ(got.m, want.m) << what;
    ASSERT_EQ(got.n, want.n) << what;
    if (got.v.empty() || std::memcmp(got.v.data(), want.v.data(), got.v.size() * 8) == 0) return;
    // Two NaNs count as the same: when NaN meets NaN, the sign and payload
    // that come out follow the operand order the optimiser picks for a
    // commutative step. Values the kernels set to NaN on purpose are checked
    // by pattern where they are made.
    for (std::size_t k = 0; k < got.v.size(); ++k) {
        if (std::isnan(got.v[k]) && std::isnan(want.v[k])) continue;
        if (matrix_test::Bits(got.v[k]) != matrix_test::Bits(want.v[k])) {
            ADD_FAILURE() << what << ": first difference at (" << k % got.m << ", " << k / got.m
                          << "): " << got.v[k] << " instead of " << want.v[k];
            return;
        }
    }
}

void ExpectSameBits(const CMatrix *got, const Dense &want, const std::string &what) {
    ASSERT_EQ(got->GetNoDimensions(), 2u) << what;
    ASSERT_EQ(mxGetClassID(got), mxClassDouble) << what;
    ASSERT_FALSE(mxIsComplex(got)) << what;
    ExpectSameBits(FromArray(got), want, what);
}

void ExpectSameBits(const std::vector<double> &got, const std::vector<double> &want,
                    const std::string &what) {
    Dense g(got.size(), 1), w(want.size(), 1);
    g.v = got;
    w.v = want;
    ExpectSameBits(g, w, what);
}

void ExpectRefusal(const std::function<void()> &call, Error error,
                   const std::vector<const CMatrix *> &args, const std::string &what) {
    SCOPED_TRACE(what);
    const matrix_test::Snapshots before(args);
    const matrix_test::LiveBlocks blocks;
#define LINALG_REFUSAL(e, Class, message) \
    case Error::e: EXPECT_THROW_MSG(call(), Class, message); break
    switch (error) {
        LINALG_REFUSAL(kNotImplemented, CNotImplementedException,
                       L"Operation not implemented! :-(");
        LINALG_REFUSAL(kNDArray, COperationOnNDArrayNotDefinedException,
                       L"Operation on ND array is not defined");
        LINALG_REFUSAL(kSquare, CMatrixMustBeSquareException, L"Matrix must be square");
        LINALG_REFUSAL(kInnerDims, CInnerMatrixDimsMustAgreeException,
                       L"Inner matrix dimensions must agree");
        LINALG_REFUSAL(kDims, CMatrixDimsMustAgreeException, L"Matrix dimensions must agree");
        LINALG_REFUSAL(kTransposeND, CTransposeOnNDArrayNotDefinedException,
                       L"Transpose on ND array is not defined");
        LINALG_REFUSAL(kNotTwo, CFunctionErrorException,
                       L"Matrix must be a column of two elements");
        LINALG_REFUSAL(kNotPermitted, COperationNotDefinedOnClassException,
                       L"Operation not permetted on input data");
        LINALG_REFUSAL(kNotPositive, CFunctionErrorException, L"Matrix must be positive definite");
        LINALG_REFUSAL(kOnlyNorms, CFunctionErrorException,
                       L"The only matrix norms available are 1, 2, inf and fro");
    }
#undef LINALG_REFUSAL
    EXPECT_EQ(blocks.Delta(), 0) << "leaked";
    EXPECT_TRUE(before.Unchanged()) << "changed an argument";
}

void ExpectNull(std::initializer_list<const CMatrix *> outputs, const std::string &what) {
    for (const CMatrix *x : outputs) EXPECT_EQ(x, nullptr) << what;
}

Padded::Padded(std::size_t m, std::size_t n, std::size_t extraRows)
    : m_m(m),
      m_n(n),
      m_ld(std::max<std::size_t>(m, 1) + extraRows),
      m_buf(m_ld * std::max<std::size_t>(n, 1), PaddingValue()) {}

Padded::Padded(const Dense &a, std::size_t extraRows) : Padded(a.m, a.n, extraRows) {
    for (std::size_t j = 0; j < a.n; ++j) {
        std::copy(a.v.begin() + j * a.m, a.v.begin() + (j + 1) * a.m, m_buf.begin() + j * m_ld);
    }
}

Dense Padded::Contents() const {
    Dense a(m_m, m_n);
    for (std::size_t j = 0; j < m_n; ++j) {
        std::copy(m_buf.begin() + j * m_ld, m_buf.begin() + j * m_ld + m_m, a.v.begin() + j * m_m);
    }
    return a;
}

bool Padded::PaddingIntact() const {
    for (std::size_t k = 0; k < m_buf.size(); ++k) {
        const bool padding = k % m_ld >= m_m || k / m_ld >= m_n;
        if (padding && matrix_test::Bits(m_buf[k]) != kPaddingBits) return false;
    }
    return true;
}

double Norm1(const Dense &a) {
    if (a.m == 0 || a.n == 0) return 0.0;
    const int m = static_cast<int>(a.m), n = static_cast<int>(a.n);
    return dlange_("1", &m, &n, a.v.data(), &m, nullptr, 1);
}

Dense Gemm(char ta, char tb, double alpha, const Dense &a, const Dense &b, double beta,
           const Dense &c) {
    Dense r = c;
    const int m = static_cast<int>(c.m), n = static_cast<int>(c.n);
    const int k = static_cast<int>(ta == 'N' ? a.n : a.m);
    const int lda = static_cast<int>(std::max<std::size_t>(a.m, 1));
    const int ldb = static_cast<int>(std::max<std::size_t>(b.m, 1));
    const int ldc = std::max(m, 1);
    if (m > 0 && n > 0) {
        dgemm_(&ta, &tb, &m, &n, &k, &alpha, a.v.data(), &lda, b.v.data(), &ldb, &beta, r.v.data(),
               &ldc, 1, 1);
    }
    return r;
}

std::vector<double> Dgesvd(Dense a) {
    const int m = static_cast<int>(a.m), n = static_cast<int>(a.n), one = 1;
    std::vector<double> s(std::min(a.m, a.n));
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dgesvd_("N", "N", &m, &n, a.v.data(), &m, s.data(), nullptr, &one, nullptr, &one, work,
                lwork, info, 1, 1);
    });
    return s;
}

Dense Identity(std::size_t n) {
    Dense a(n, n);
    for (std::size_t i = 0; i < n; ++i) a(i, i) = 1.0;
    return a;
}

}  // namespace linalg_test
