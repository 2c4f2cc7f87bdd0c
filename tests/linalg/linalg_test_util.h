// tests/linalg/linalg_test_util.h: test matrices, owned outputs, reference BLAS and LAPACK.
#ifndef MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H
#define MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H

#include <gtest/gtest.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

// Reference LAPACK and BLAS (Fortran calling convention: every argument by
// address, hidden string lengths last).
extern "C" {
using Fint = const int *;
using Flen = std::size_t;
void dgetrf_(Fint m, Fint n, double *a, Fint lda, int *ipiv, int *info);
void dgesvd_(const char *jobu, const char *jobvt, Fint m, Fint n, double *a, Fint lda, double *s,
             double *u, Fint ldu, double *vt, Fint ldvt, double *work, Fint lwork, int *info, Flen,
             Flen);
double dlange_(const char *norm, Fint m, Fint n, const double *a, Fint lda, double *work, Flen);
void dgemm_(const char *ta, const char *tb, Fint m, Fint n, Fint k, const double *alpha,
            const double *a, Fint lda, const double *b, Fint ldb, const double *beta, double *c,
            Fint ldc, Flen, Flen);
void dpotrf_(const char *uplo, Fint n, double *a, Fint lda, int *info, Flen);
void dgeev_(const char *jobvl, const char *jobvr, Fint n, double *a, Fint lda, double *wr,
            double *wi, double *vl, Fint ldvl, double *vr, Fint ldvr, double *work, Fint lwork,
            int *info, Flen, Flen);
void dsyev_(const char *jobz, const char *uplo, Fint n, double *a, Fint lda, double *w,
            double *work, Fint lwork, int *info, Flen, Flen);
}

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
    std::size_t m = 0, n = 0;
    std::vector<double> v;

    Dense(std::size_t rows = 0, std::size_t cols = 0, double fill = 0.0)
        : m(rows), n(cols), v(rows * cols, fill) {}
    double &operator()(std::size_t i, std::size_t j) { return v[i + j * m]; }
    double operator()(std::size_t i, std::size_t j) const { return v[i + j * m]; }
};

/// The outputs of a multi-output form, destroyed with this.
struct Outs {
    CMatrix *o[3] = {nullptr, nullptr, nullptr};
    Outs() = default;
    Outs(const Outs &) = delete;
    ~Outs() {
        for (CMatrix *&x : o) kiv::matrix::mxDestroyArray(x);
    }
    CMatrix *&operator[](std::size_t i) { return o[i]; }
};

/// Uniform in [-1, 1), from MATRIX_TEST_SEED's generator.
inline Dense Random(std::size_t m, std::size_t n, std::mt19937_64 &rng) {
    Dense a(m, n);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (double &x : a.v) x = uniform(rng);
    return a;
}

inline ArrayPtr ToArray(const Dense &a) {
    ArrayPtr r(kiv::matrix::mxCreateDoubleMatrix(static_cast<unsigned int>(a.m),
                                                 static_cast<unsigned int>(a.n),
                                                 kiv::matrix::mxComplexityReal));
    std::copy(a.v.begin(), a.v.end(), kiv::matrix::mxGetPr(r.get()));
    return r;
}

inline Dense FromArray(const CMatrix *a) {
    Dense r(kiv::matrix::mxGetM(a), kiv::matrix::mxGetN(a));
    std::copy_n(kiv::matrix::mxGetPr(a), r.v.size(), r.v.begin());
    return r;
}

/// A possibly complex array as its two parts (zeros for a real one).
struct Split {
    Dense re, im;
};

inline Split FromSplitArray(const CMatrix *a) {
    Split s{FromArray(a), FromArray(a)};
    const double *pi = kiv::matrix::mxGetPi(a);
    for (std::size_t k = 0; k < s.im.v.size(); ++k) s.im.v[k] = pi != nullptr ? pi[k] : 0.0;
    return s;
}

/// Reference LAPACK's 1-norm.
inline double Norm1(const Dense &a) {
    const int m = static_cast<int>(a.m), n = static_cast<int>(a.n);
    return a.v.empty() ? 0.0 : dlange_("1", &m, &n, a.v.data(), &m, nullptr, 1);
}

/// Reference BLAS: alpha*op(A)*op(B) + beta*C, op 'N' or 'T'.
inline Dense Gemm(char ta, char tb, double alpha, const Dense &a, const Dense &b, double beta,
                  Dense c) {
    const int m = static_cast<int>(c.m), n = static_cast<int>(c.n);
    const int k = static_cast<int>(ta == 'N' ? a.n : a.m), ldc = std::max(m, 1);
    const int lda = static_cast<int>(std::max<std::size_t>(a.m, 1));
    const int ldb = static_cast<int>(std::max<std::size_t>(b.m, 1));
    if (m > 0 && n > 0) {
        dgemm_(&ta, &tb, &m, &n, &k, &alpha, a.v.data(), &lda, b.v.data(), &ldb, &beta, c.v.data(),
               &ldc, 1, 1);
    }
    return c;
}

/// A*B by reference BLAS.
inline Dense Times(const Dense &a, const Dense &b) {
    return Gemm('N', 'N', 1.0, a, b, 0.0, Dense(a.m, b.n));
}

inline Dense Identity(std::size_t n) {
    Dense a(n, n);
    for (std::size_t i = 0; i < n; ++i) a(i, i) = 1.0;
    return a;
}

/// ‖A'*A - I‖: how far A's columns are from orthonormal.
inline double Orthonormality(const Dense &a) {
    return Norm1(Gemm('T', 'N', 1.0, a, a, -1.0, Identity(a.n)));
}

/// ‖A*B - C‖.
inline double Misfit(const Dense &a, const Dense &b, const Dense &c) {
    return Norm1(Gemm('N', 'N', 1.0, a, b, -1.0, c));
}

/// Matrices with real eigenvalues: B + B', H*T*H (H a reflection, T upper
/// triangular with the spectrum i - n/2 + 1/4), the identity (every vector
/// an eigenvector, every shifted matrix zero) and D^-1*H*T*H*D with D's
/// diagonal 2^(3*(i % 4)), which balancing scales back.
inline std::vector<Dense> RealSpectrum(std::size_t n, std::mt19937_64 &rng) {
    const Dense b = Random(n, n, rng), v = Random(n, 1, rng);
    Dense t = Random(n, n, rng);
    for (std::size_t k = 0; k < t.v.size(); ++k) {
        if (k % n >= k / n) t.v[k] = k % n == k / n ? (k / n) - 0.5 * n + 0.25 : 0.0;
    }
    const double vv = Gemm('T', 'N', 1.0, v, v, 0.0, Dense(1, 1)).v[0];
    const Dense h = Gemm('N', 'T', -2.0 / vv, v, v, 1.0, Identity(n));
    Dense scaled = Times(Times(h, t), h);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) scaled(i, j) *= std::ldexp(1.0, 3 * int(i % 4 - j % 4));
    }
    return {Gemm('N', 'T', 1.0, Identity(n), b, 1.0, b), Times(Times(h, t), h), Identity(n),
            scaled};
}

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

/// Checks [V, D] = eig(A) for a real A with complex D and V: D diagonal
/// with every complex pair side by side as a + bi, a - bi (b > 0 first),
/// each pair's vectors conjugate, real columns of V real, every column of
/// unit length, and the length of each column of A*V - V*D within tol for
/// a complex eigenvalue, realTol for a real one.
inline void ExpectComplexEigenpairs(const Dense &a, const CMatrix *dArray, const CMatrix *vArray,
                                    double tol, double realTol, const std::string &what) {
    const std::size_t n = a.m;
    const Split d = FromSplitArray(dArray), v = FromSplitArray(vArray);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j) continue;
            EXPECT_EQ(d.re(i, j), 0.0) << what;
            EXPECT_EQ(d.im(i, j), 0.0) << what;
        }
    }
    for (std::size_t k = 0; k < n; ++k) {
        const double b = d.im(k, k);
        if (b > 0.0) {
            ASSERT_LT(k + 1, n) << what;
            EXPECT_EQ(d.re(k + 1, k + 1), d.re(k, k)) << what;
            EXPECT_EQ(d.im(k + 1, k + 1), -b) << what;
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_EQ(v.re(i, k + 1), v.re(i, k)) << what;
                EXPECT_EQ(v.im(i, k + 1), -v.im(i, k)) << what;
            }
        } else if (b < 0.0) {
            EXPECT_TRUE(k > 0 && d.im(k - 1, k - 1) == -b) << what << " unpaired " << k;
        } else {
            for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(v.im(i, k), 0.0) << what;
        }
    }
    // A*V - V*D, part by part.
    const Dense avr = Times(a, v.re), avi = Times(a, v.im);
    for (std::size_t k = 0; k < n; ++k) {
        double length = 0.0, worst = 0.0;  // squared lengths of v and of A*v - v*d
        const double dr = d.re(k, k), di = d.im(k, k);
        for (std::size_t i = 0; i < n; ++i) {
            length += v.re(i, k) * v.re(i, k) + v.im(i, k) * v.im(i, k);
            const double rr = avr(i, k) - (v.re(i, k) * dr - v.im(i, k) * di);
            const double ri = avi(i, k) - (v.re(i, k) * di + v.im(i, k) * dr);
            worst += rr * rr + ri * ri;
        }
        EXPECT_NEAR(std::sqrt(length), 1.0, 1e-14) << what << " column " << k;
        worst = std::sqrt(worst);
        EXPECT_LE(worst, di != 0.0 ? tol : realTol) << what << " column " << k;
    }
}

}  // namespace linalg_test

#endif  // MATRIX_TESTS_LINALG_LINALG_TEST_UTIL_H
