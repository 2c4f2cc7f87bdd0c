// tests/linalg/linalg_test_util.h: test matrices, padded buffers, LAPACK oracles.
#ifndef MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H
#define MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H

#include <gtest/gtest.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace linalg_test {

using kiv::matrix::CMatrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::Bits;
using matrix_test::DimList;
using matrix_test::Dims;
using matrix_test::Matrix;
using matrix_test::Seed;
using matrix_test::Values;

const double kEps = 0x1p-52;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
/// The bits of the NaN the library reports for values it gave up on.
const std::uint64_t kGiveUpBits = 0x7FFFFFFFFFFFFFFFull;

/// A dense column-major matrix of the tests, leading dimension = rows.
struct Dense {
    std::size_t m = 0;
    std::size_t n = 0;
    std::vector<double> v;

    Dense() = default;
    Dense(std::size_t rows, std::size_t cols, double fill = 0.0)
        : m(rows), n(cols), v(rows * cols, fill) {}
    double &operator()(std::size_t i, std::size_t j) { return v[i + j * m]; }
    double operator()(std::size_t i, std::size_t j) const { return v[i + j * m]; }
};

/// Shapes from a flat list m0, n0, m1, n1, ...
std::vector<DimList> Shapes(std::initializer_list<unsigned int> flat);
/// Uniform in [-1, 1).
Dense Random(std::size_t m, std::size_t n, std::mt19937_64 &rng);
/// Random with n added to the diagonal: well conditioned.
Dense DiagonallyDominant(std::size_t n, std::mt19937_64 &rng);
/// A matrix of rank k: the product of random m x k and k x n factors.
Dense OfRank(std::size_t m, std::size_t n, std::size_t k, std::mt19937_64 &rng);

ArrayPtr ToArray(const Dense &a);
Dense FromArray(const CMatrix *a);

/// A kernel argument in a buffer whose leading dimension exceeds its rows,
/// the padding filled with a NaN that the kernel must leave alone.
class Padded {
public:
    explicit Padded(const Dense &a, std::size_t extraRows = 3);
    double *Data() { return m_buf.data(); }
    std::size_t Ld() const { return m_ld; }
    Dense Contents() const;
    bool PaddingIntact() const;

private:
    std::size_t m_m, m_n, m_ld;
    std::vector<double> m_buf;
};

// Reference BLAS and LAPACK: the 1-norm, alpha*op(A)*op(B) + beta*C (op 'N'
// or 'T'), and the singular values of dgesvd, largest first.
double Norm1(const Dense &a);
Dense Gemm(char ta, char tb, double alpha, const Dense &a, const Dense &b, double beta,
           const Dense &c);
Dense Identity(std::size_t n);
std::vector<double> Dgesvd(Dense a);

/// Calls a LAPACK routine `call(work, lwork, info)` twice: a workspace
/// query, then the work itself, which must succeed.
template <typename Call>
void WithWorkspace(Call call) {
    double query = 0.0;
    int lwork = -1, info = 0;
    call(&query, &lwork, &info);
    lwork = static_cast<int>(query);
    std::vector<double> work(static_cast<std::size_t>(lwork));
    call(work.data(), &lwork, &info);
    EXPECT_EQ(info, 0);
}

}  // namespace linalg_test

// Reference LAPACK and BLAS (Fortran calling convention, hidden string
// lengths last).
extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgels_(const char *trans, const int *m, const int *n, const int *nrhs, double *a,
            const int *lda, double *b, const int *ldb, double *work, const int *lwork, int *info,
            std::size_t transLength);
void dgesvd_(const char *jobu, const char *jobvt, const int *m, const int *n, double *a,
             const int *lda, double *s, double *u, const int *ldu, double *vt, const int *ldvt,
             double *work, const int *lwork, int *info, std::size_t jobuLength,
             std::size_t jobvtLength);
double dlange_(const char *norm, const int *m, const int *n, const double *a, const int *lda,
               double *work, std::size_t normLength);
void dgemm_(const char *transa, const char *transb, const int *m, const int *n, const int *k,
            const double *alpha, const double *a, const int *lda, const double *b, const int *ldb,
            const double *beta, double *c, const int *ldc, std::size_t transaLength,
            std::size_t transbLength);
void dpotrf_(const char *uplo, const int *n, double *a, const int *lda, int *info,
             std::size_t uploLength);
void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w,
            double *work, const int *lwork, int *info, std::size_t jobzLength,
            std::size_t uploLength);
void dgeev_(const char *jobvl, const char *jobvr, const int *n, double *a, const int *lda,
            double *wr, double *wi, double *vl, const int *ldvl, double *vr, const int *ldvr,
            double *work, const int *lwork, int *info, std::size_t jobvlLength,
            std::size_t jobvrLength);
}

#endif  // MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H
