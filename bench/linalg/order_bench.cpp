// bench/linalg/order_bench.cpp: the fast order's Qr, least squares and eigenvectors beside LAPACK.
//
// Rows of issue-sized work in the fast order, each beside the LAPACK
// routines a user would call instead (OpenBLAS's LAPACK, one thread):
// least-squares A\b of 128x64, 256x128 and 512x256 against dgelsy; the
// three-output Qr of n = 200 and 500 against dgeqp3 followed by dorgqr;
// the two-output Eig of n = 100 and 300 against dgeev with right vectors.
// The stated order runs the smallest size of each, for scale: its cost
// grows a power of n faster. Our pivoted QR applies one reflection at a
// time (every column's update is a fixed-order sum, so the columns can be
// split between threads), while dgeqp3 blocks half its work into products.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <kiv/random.h>

#include <cstddef>
#include <vector>

#include "bench_util.h"

#if defined(MATRIX_HAVE_OPENBLAS)
extern "C" {
using Fint = const int *;
void dgelsy_(Fint m, Fint n, Fint nrhs, double *a, Fint lda, double *b, Fint ldb, int *jpvt,
             const double *rcond, int *rank, double *work, Fint lwork, int *info);
void dgeqp3_(Fint m, Fint n, double *a, Fint lda, int *jpvt, double *tau, double *work, Fint lwork,
             int *info);
void dorgqr_(Fint m, Fint n, Fint k, double *a, Fint lda, const double *tau, double *work,
             Fint lwork, int *info);
void dgeev_(const char *jobvl, const char *jobvr, Fint n, double *a, Fint lda, double *wr,
            double *wi, double *vl, Fint ldvl, double *vr, Fint ldvr, double *work, Fint lwork,
            int *info, std::size_t, std::size_t);
void openblas_set_num_threads(int);
}
#endif

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

// range(0) = columns n of a 2n x n system; range(1) = 1 for the fast order.
void LeastSquaresSizes(benchmark::internal::Benchmark *b) {
    b->Args({64, 0});
    for (int n : {64, 128, 256}) b->Args({n, 1});
    b->ArgNames({"n", "fast"})->Unit(benchmark::kMicrosecond);
}

void QrSizes(benchmark::internal::Benchmark *b) {
    b->Args({200, 0});
    for (int n : {200, 500}) b->Args({n, 1});
    b->ArgNames({"n", "fast"})->Unit(benchmark::kMicrosecond);
}

void EigSizes(benchmark::internal::Benchmark *b) {
    b->Args({100, 0});
    for (int n : {100, 300}) b->Args({n, 1});
    b->ArgNames({"n", "fast"})->Unit(benchmark::kMicrosecond);
}

Order OrderOf(const benchmark::State &state) {
    return state.range(1) != 0 ? Order::kFast : Order::kStated;
}

void BM_MldivideLeastSquares(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(2 * n, n, Values(2 * n, n));
    const ArrayPtr b = ToArray(2 * n, 1, Values(2 * n, 1, false, 7));
    const Order saved = GetOrder();
    SetOrder(OrderOf(state));
    for (auto _ : state) {
        ArrayPtr x(Mldivide(a.get(), b.get()));
        benchmark::DoNotOptimize(x.get());
    }
    SetOrder(saved);
}
BENCHMARK(BM_MldivideLeastSquares)->Apply(LeastSquaresSizes);

void BM_QrThreeOutputs(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    const Order saved = GetOrder();
    SetOrder(OrderOf(state));
    for (auto _ : state) {
        CMatrix *q, *r, *e;
        Qr(q, r, e, a.get(), false);
        mxDestroyArray(q);
        mxDestroyArray(r);
        mxDestroyArray(e);
    }
    SetOrder(saved);
}
BENCHMARK(BM_QrThreeOutputs)->Apply(QrSizes);

void BM_EigVectorsOrder(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    const Order saved = GetOrder();
    SetOrder(OrderOf(state));
    kiv::RandSeed(1);
    for (auto _ : state) {
        CMatrix *d, *v;
        Eig(d, v, a.get(), true);
        mxDestroyArray(d);
        mxDestroyArray(v);
    }
    SetOrder(saved);
}
BENCHMARK(BM_EigVectorsOrder)->Apply(EigSizes);

#if defined(MATRIX_HAVE_OPENBLAS)
// LAPACK's workspace query, then the call itself, with a workspace kept
// across iterations as a user would.
template <class Call>
std::vector<double> Workspace(Call call) {
    double query = 0.0;
    const int lwork = -1;
    call(&query, &lwork);
    return std::vector<double>(static_cast<std::size_t>(query) + 1);
}

void Sizes(benchmark::internal::Benchmark *b, std::initializer_list<int> sizes) {
    for (int n : sizes) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

void BM_LapackDgelsy(benchmark::State &state) {
    openblas_set_num_threads(1);
    const int n = static_cast<int>(state.range(0)), m = 2 * n, one = 1;
    const std::vector<double> av = Values(m, n), bv = Values(m, 1, false, 7);
    std::vector<double> a(av.size()), b(bv.size());
    std::vector<int> jpvt(n);
    const double rcond = 1e-12;
    int rank = 0, info = 0;
    std::vector<double> work = Workspace([&](double *w, const int *lw) {
        dgelsy_(&m, &n, &one, a.data(), &m, b.data(), &m, jpvt.data(), &rcond, &rank, w, lw, &info);
    });
    const int lwork = static_cast<int>(work.size());
    for (auto _ : state) {
        a = av;
        b = bv;
        std::fill(jpvt.begin(), jpvt.end(), 0);
        dgelsy_(&m, &n, &one, a.data(), &m, b.data(), &m, jpvt.data(), &rcond, &rank, work.data(),
                &lwork, &info);
        benchmark::DoNotOptimize(b.data());
    }
}
BENCHMARK(BM_LapackDgelsy)->Apply([](benchmark::internal::Benchmark *b) {
    Sizes(b, {64, 128, 256});
});

void BM_LapackDgeqp3Dorgqr(benchmark::State &state) {
    openblas_set_num_threads(1);
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> av = Values(n, n);
    std::vector<double> a(av.size()), tau(n);
    std::vector<int> jpvt(n);
    int info = 0;
    std::vector<double> work = Workspace([&](double *w, const int *lw) {
        dgeqp3_(&n, &n, a.data(), &n, jpvt.data(), tau.data(), w, lw, &info);
    });
    const std::vector<double> more = Workspace([&](double *w, const int *lw) {
        dorgqr_(&n, &n, &n, a.data(), &n, tau.data(), w, lw, &info);
    });
    if (more.size() > work.size()) work = more;
    const int lwork = static_cast<int>(work.size());
    for (auto _ : state) {
        a = av;
        std::fill(jpvt.begin(), jpvt.end(), 0);
        dgeqp3_(&n, &n, a.data(), &n, jpvt.data(), tau.data(), work.data(), &lwork, &info);
        // R would be copied out before Q overwrites it.
        std::vector<double> r(a);
        dorgqr_(&n, &n, &n, a.data(), &n, tau.data(), work.data(), &lwork, &info);
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_LapackDgeqp3Dorgqr)->Apply([](benchmark::internal::Benchmark *b) {
    Sizes(b, {200, 500});
});

void BM_LapackDgeevVectors(benchmark::State &state) {
    openblas_set_num_threads(1);
    const int n = static_cast<int>(state.range(0)), one = 1;
    const std::vector<double> av = Values(n, n);
    std::vector<double> a(av.size()), wr(n), wi(n), vr(av.size());
    int info = 0;
    std::vector<double> work = Workspace([&](double *w, const int *lw) {
        dgeev_("N", "V", &n, a.data(), &n, wr.data(), wi.data(), nullptr, &one, vr.data(), &n, w,
               lw, &info, 1, 1);
    });
    const int lwork = static_cast<int>(work.size());
    for (auto _ : state) {
        a = av;
        dgeev_("N", "V", &n, a.data(), &n, wr.data(), wi.data(), nullptr, &one, vr.data(), &n,
               work.data(), &lwork, &info, 1, 1);
        benchmark::DoNotOptimize(vr.data());
    }
}
BENCHMARK(BM_LapackDgeevVectors)->Apply([](benchmark::internal::Benchmark *b) {
    Sizes(b, {100, 300});
});
#endif

}  // namespace
