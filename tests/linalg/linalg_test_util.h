// tests/linalg/linalg_test_util.h: test matrices, padded buffers, bit checks, LAPACK.
#ifndef MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H
#define MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H

#include <gtest/gtest.h>
#include <matrix/matrix.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/matrix_test.h"

namespace linalg_test {

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

struct Shape {
    unsigned int m;
    unsigned int n;
};
std::string ToString(const Shape &s);

/// The shapes of the bit-for-bit comparisons, empty ones included.
extern const std::vector<Shape> kShapes;
/// The square ones.
extern const std::vector<Shape> kSquareShapes;

/// The seed of every random test: MATRIX_TEST_SEED when set, else fixed.
std::uint64_t Seed();

enum class Fill {
    kGeneral,   // magnitudes 2^-8..2^8, about one entry in eight a signed zero
    kZeroLine,  // as kGeneral, with one zero row and one zero column
    kUniform,   // uniform in [-1, 1), no zeros
};
Dense Random(std::size_t m, std::size_t n, std::mt19937_64 &rng, Fill fill = Fill::kGeneral);
/// Random with n added to the diagonal: well conditioned.
Dense DiagonallyDominant(std::size_t n, std::mt19937_64 &rng);

matrix_test::ArrayPtr ToArray(const Dense &a);
Dense FromArray(const kiv::matrix::CMatrix *a);

/// Adds a failure unless got and want hold the same bits.
void ExpectSameBits(const Dense &got, const Dense &want, const std::string &what);
void ExpectSameBits(const kiv::matrix::CMatrix *got, const Dense &want, const std::string &what);

/// A kernel argument in a buffer whose leading dimension exceeds its rows,
/// the padding filled with a NaN that the kernel must leave alone.
class Padded {
public:
    explicit Padded(const Dense &a, std::size_t extraRows = 3);
    Padded(std::size_t m, std::size_t n, std::size_t extraRows = 3);
    double *Data() { return m_buf.data(); }
    std::size_t Ld() const { return m_ld; }
    Dense Contents() const;
    bool PaddingIntact() const;

private:
    std::size_t m_m;
    std::size_t m_n;
    std::size_t m_ld;
    std::vector<double> m_buf;
};

// Norms and products of the oracle, from reference BLAS and LAPACK.
double Norm1(const Dense &a);
/// Returns alpha*op(A)*op(B) + beta*C (op: 'N' or 'T').
Dense Gemm(char ta, char tb, double alpha, const Dense &a, const Dense &b, double beta,
           const Dense &c);
Dense Identity(std::size_t n);

}  // namespace linalg_test

// Reference LAPACK and BLAS (Fortran calling convention, hidden string
// lengths last).
extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgels_(const char *trans, const int *m, const int *n, const int *nrhs, double *a,
            const int *lda, double *b, const int *ldb, double *work, const int *lwork, int *info,
            std::size_t transLength);
double dlange_(const char *norm, const int *m, const int *n, const double *a, const int *lda,
               double *work, std::size_t normLength);
void dgemm_(const char *transa, const char *transb, const int *m, const int *n, const int *k,
            const double *alpha, const double *a, const int *lda, const double *b, const int *ldb,
            const double *beta, double *c, const int *ldc, std::size_t transaLength,
            std::size_t transbLength);
}

/// Expects `statement` to throw E with `message`, leaving every listed
/// argument unchanged and nothing allocated.
#define EXPECT_REJECTS(statement, E, message, ...)                                      \
    do {                                                                                \
        const std::vector<const ::kiv::matrix::CMatrix *> args_{__VA_ARGS__};           \
        std::vector<::matrix_test::ArraySnapshot> before_;                              \
        for (const auto *a_ : args_) before_.push_back(::matrix_test::ArraySnapshot::Of(a_)); \
        const ::matrix_test::LiveBlocks blocks_;                                        \
        EXPECT_THROW_MSG(statement, E, message);                                        \
        EXPECT_EQ(blocks_.Delta(), 0);                                                  \
        for (std::size_t i_ = 0; i_ < args_.size(); ++i_) {                             \
            EXPECT_TRUE(::matrix_test::ArraySnapshot::Of(args_[i_]) == before_[i_])     \
                << "argument " << i_ << " changed";                                     \
        }                                                                               \
    } while (0)

#endif  // MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H
