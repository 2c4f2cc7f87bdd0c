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
#include <initializer_list>
#include <vector>

#include "bench_util.h"

#if defined(MATRIX_HAVE_OPENBLAS)
#include "lapack_peers.h"

extern "C" void openblas_set_num_threads(int);
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
// The LAPACK peers on one thread, range(0) their size.
template <class Peer>
void BM_Lapack(benchmark::State &state) {
    openblas_set_num_threads(1);
    Peer peer(static_cast<int>(state.range(0)));
    for (auto _ : state) peer.Run();
}

void Sizes(benchmark::internal::Benchmark *b, std::initializer_list<int> sizes) {
    for (int n : sizes) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK_TEMPLATE(BM_Lapack, LeastSquaresPeer)
    ->Name("BM_LapackDgelsy")
    ->Apply([](benchmark::internal::Benchmark *b) {
        Sizes(b, {64, 128, 256});
    });
BENCHMARK_TEMPLATE(BM_Lapack, QrPeer)
    ->Name("BM_LapackDgeqp3Dorgqr")
    ->Apply([](benchmark::internal::Benchmark *b) {
        Sizes(b, {200, 500});
    });
BENCHMARK_TEMPLATE(BM_Lapack, EigVectorsPeer)
    ->Name("BM_LapackDgeevVectors")
    ->Apply([](benchmark::internal::Benchmark *b) {
        Sizes(b, {100, 300});
    });
#endif

}  // namespace
