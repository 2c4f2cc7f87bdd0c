// bench/linalg/lapack_peers.h: the LAPACK routines the benchmarks run beside the library.
#ifndef MATRIX_BENCH_LINALG_LAPACK_PEERS_H
#define MATRIX_BENCH_LINALG_LAPACK_PEERS_H

#include <algorithm>
#include <cstddef>
#include <vector>

#include "bench_util.h"

extern "C" {
using Fint = const int *;
void dgetrf_(Fint m, Fint n, double *a, Fint lda, int *ipiv, int *info);
void dgesv_(Fint n, Fint nrhs, double *a, Fint lda, int *ipiv, double *b, Fint ldb, int *info);
void dpotrf_(const char *uplo, Fint n, double *a, Fint lda, int *info, std::size_t);
void dgelsy_(Fint m, Fint n, Fint nrhs, double *a, Fint lda, double *b, Fint ldb, int *jpvt,
             const double *rcond, int *rank, double *work, Fint lwork, int *info);
void dgeqp3_(Fint m, Fint n, double *a, Fint lda, int *jpvt, double *tau, double *work, Fint lwork,
             int *info);
void dorgqr_(Fint m, Fint n, Fint k, double *a, Fint lda, const double *tau, double *work,
             Fint lwork, int *info);
void dgesvd_(const char *jobu, const char *jobvt, Fint m, Fint n, double *a, Fint lda, double *s,
             double *u, Fint ldu, double *vt, Fint ldvt, double *work, Fint lwork, int *info,
             std::size_t, std::size_t);
void dgeev_(const char *jobvl, const char *jobvr, Fint n, double *a, Fint lda, double *wr,
            double *wi, double *vl, Fint ldvl, double *vr, Fint ldvr, double *work, Fint lwork,
            int *info, std::size_t, std::size_t);
void dsyevd_(const char *jobz, const char *uplo, Fint n, double *a, Fint lda, double *w,
             double *work, Fint lwork, int *iwork, Fint liwork, int *info, std::size_t,
             std::size_t);
}

namespace linalg_bench {

/// LAPACK's workspace query: call(work, lwork) with lwork = -1, and a
/// workspace of the size it reports, kept across calls as a user would.
template <class Call>
std::vector<double> LapackWorkspace(Call call) {
    double query = 0.0;
    const int lwork = -1;
    call(&query, &lwork);
    return std::vector<double>(static_cast<std::size_t>(query) + 1);
}

// Each peer below holds its input, the buffers LAPACK writes and its
// workspace, all made once; Run() solves again from a fresh copy of the
// input, as the library's call does from its argument.

/// Least squares A\b of a 2n x n system by dgelsy (rcond 1e-12).
class LeastSquaresPeer {
public:
    explicit LeastSquaresPeer(int n)
        : m_(2 * n),
          n_(n),
          av_(Values(m_, n_)),
          bv_(Values(m_, 1, false, 7)),
          a_(av_.size()),
          b_(bv_.size()),
          jpvt_(n_) {
        work_ = LapackWorkspace([this](double *w, const int *lw) { Call(w, lw); });
    }
    void Run() {
        a_ = av_;
        b_ = bv_;
        std::fill(jpvt_.begin(), jpvt_.end(), 0);
        const int lwork = static_cast<int>(work_.size());
        Call(work_.data(), &lwork);
        benchmark::DoNotOptimize(b_.data());
    }

private:
    void Call(double *work, const int *lwork) {
        const int one = 1;
        const double rcond = 1e-12;
        int rank = 0, info = 0;
        dgelsy_(&m_, &n_, &one, a_.data(), &m_, b_.data(), &m_, jpvt_.data(), &rcond, &rank, work,
                lwork, &info);
    }
    int m_, n_;
    std::vector<double> av_, bv_, a_, b_, work_;
    std::vector<int> jpvt_;
};

/// The three outputs of a pivoted QR of an n x n matrix: dgeqp3, R copied
/// out, then Q formed by dorgqr.
class QrPeer {
public:
    explicit QrPeer(int n)
        : n_(n), av_(Values(n_, n_)), a_(av_.size()), r_(av_.size()), tau_(n_), jpvt_(n_) {
        int info = 0;
        work_ = LapackWorkspace([&](double *w, const int *lw) {
            dgeqp3_(&n_, &n_, a_.data(), &n_, jpvt_.data(), tau_.data(), w, lw, &info);
        });
        const std::vector<double> more = LapackWorkspace([&](double *w, const int *lw) {
            dorgqr_(&n_, &n_, &n_, a_.data(), &n_, tau_.data(), w, lw, &info);
        });
        if (more.size() > work_.size()) work_ = more;
    }
    void Run() {
        const int lwork = static_cast<int>(work_.size());
        int info = 0;
        a_ = av_;
        std::fill(jpvt_.begin(), jpvt_.end(), 0);
        dgeqp3_(&n_, &n_, a_.data(), &n_, jpvt_.data(), tau_.data(), work_.data(), &lwork, &info);
        r_ = a_;  // R is kept before Q overwrites it
        dorgqr_(&n_, &n_, &n_, a_.data(), &n_, tau_.data(), work_.data(), &lwork, &info);
        benchmark::DoNotOptimize(a_.data());
        benchmark::DoNotOptimize(r_.data());
    }

private:
    int n_;
    std::vector<double> av_, a_, r_, tau_, work_;
    std::vector<int> jpvt_;
};

/// Eigenvalues and right eigenvectors of an n x n matrix by dgeev.
class EigVectorsPeer {
public:
    explicit EigVectorsPeer(int n)
        : n_(n), av_(Values(n_, n_)), a_(av_.size()), wr_(n_), wi_(n_), vr_(av_.size()) {
        work_ = LapackWorkspace([this](double *w, const int *lw) { Call(w, lw); });
    }
    void Run() {
        a_ = av_;
        const int lwork = static_cast<int>(work_.size());
        Call(work_.data(), &lwork);
        benchmark::DoNotOptimize(vr_.data());
    }

private:
    void Call(double *work, const int *lwork) {
        const int one = 1;
        int info = 0;
        dgeev_("N", "V", &n_, a_.data(), &n_, wr_.data(), wi_.data(), nullptr, &one, vr_.data(),
               &n_, work, lwork, &info, 1, 1);
    }
    int n_;
    std::vector<double> av_, a_, wr_, wi_, vr_, work_;
};

/// The eigenvalues and eigenvectors of the symmetric B + B' by dsyevd
/// (divide and conquer), from the lower triangle.
class SymmetricEigPeer {
public:
    explicit SymmetricEigPeer(int n) : n_(n), av_(Symmetric(n)), a_(av_.size()), w_(n_) {
        double query = 0.0;
        int iquery = 0;
        const int minus = -1;
        int info = 0;
        dsyevd_("V", "L", &n_, a_.data(), &n_, w_.data(), &query, &minus, &iquery, &minus, &info, 1,
                1);
        work_.resize(static_cast<std::size_t>(query) + 1);
        iwork_.resize(static_cast<std::size_t>(iquery) + 1);
    }
    void Run() {
        a_ = av_;
        const int lwork = static_cast<int>(work_.size()), liwork = static_cast<int>(iwork_.size());
        int info = 0;
        dsyevd_("V", "L", &n_, a_.data(), &n_, w_.data(), work_.data(), &lwork, iwork_.data(),
                &liwork, &info, 1, 1);
        benchmark::DoNotOptimize(a_.data());
    }
    /// B + B' for B = Values(n, n): the input of both sides.
    static std::vector<double> Symmetric(int n) {
        const auto m = static_cast<std::size_t>(n);
        std::vector<double> b = Values(m, m), s(m * m);
        for (std::size_t j = 0; j < m; ++j) {
            for (std::size_t i = 0; i < m; ++i) s[i + j * m] = b[i + j * m] + b[j + i * m];
        }
        return s;
    }

private:
    int n_;
    std::vector<double> av_, a_, w_, work_;
    std::vector<int> iwork_;
};

}  // namespace linalg_bench

#endif  // MATRIX_BENCH_LINALG_LAPACK_PEERS_H
