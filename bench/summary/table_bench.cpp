// bench/table/table_bench.cpp: the rows of the performance table, each
// library call beside the peer a user would pick instead, on one thread and
// on every core.
//
// Every benchmark is named "work|side|threads": side is lib or peer,
// threads 1 or all. The library's threads are set with SetNumThreads,
// OpenBLAS's with openblas_set_num_threads and Eigen's with
// Eigen::setNbThreads. Plain loops and Eigen's reductions have no threads
// of their own: they run once, and bench/table shows that one time in both
// columns. Peers work in preallocated buffers; LAPACK's inputs are copied
// in each iteration, as it overwrites them. Times are wall-clock. Inputs
// are uniform random values; the square systems are not diagonally
// dominant, so their factorisations interchange rows as a user's would.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <kiv/random.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "linalg/bench_util.h"
#include "linalg/lapack_peers.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#endif

#include <cblas.h>

namespace {

using namespace kiv::matrix;
using linalg_bench::ArrayPtr;
using linalg_bench::ToArray;
using linalg_bench::Values;
using Body = std::function<void(benchmark::State &)>;

// --- Registration ----------------------------------------------------------------

// Every side on one thread, or on the cores this process may use (as the
// library counts them).
void UseThreads(bool all) {
    SetNumThreads(all ? 0 : 1);
    const int n = static_cast<int>(GetNumThreads());
    openblas_set_num_threads(n);
#if defined(MATRIX_HAVE_EIGEN)
    Eigen::setNbThreads(n);
#endif
}

void Register(const std::string &work, const char *side, bool all, const Body &body) {
    benchmark::RegisterBenchmark((work + "|" + side + "|" + (all ? "all" : "1")).c_str(),
                                 [body, all](benchmark::State &state) {
                                     UseThreads(all);
                                     body(state);
                                     state.SetLabel(openblas_get_corename());
                                 })
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
}

// One row: the library on one thread and on all, the peer likewise unless
// it has no threads of its own.
void Row(const std::string &work, const Body &library, const Body &peer, bool peerThreads) {
    for (bool all : {false, true}) {
        Register(work, "lib", all, library);
        if (!all || peerThreads) Register(work, "peer", all, peer);
    }
}

void Keep(const void *p) { benchmark::DoNotOptimize(p); }

// One untimed call, then the timed ones: every side is measured in its
// steady state, its caches and first-touched pages warm (one call of the
// slowest rows takes seconds, so the benchmark may stop after it).
template <class Call>
void Timed(benchmark::State &state, Call call) {
    call();
    for (auto _ : state) call();
}

// A preallocated output, its pages touched before the timing starts.
struct Output : bench_support::AlignedBuffer {
    explicit Output(std::size_t n) : AlignedBuffer(n) { std::fill(data, data + n, 0.0); }
};

// The library's order for the duration of a benchmark.
Body InOrder(Order order, Body body) {
    return [order, body](benchmark::State &state) {
        const Order saved = GetOrder();
        SetOrder(order);
        body(state);
        SetOrder(saved);
    };
}

// --- Linear algebra --------------------------------------------------------------

void ProductRow(const std::string &work, int m, int k, int n) {
    Row(
        work,
        [=](benchmark::State &state) {
            const ArrayPtr a = ToArray(m, k, Values(m, k, false, 1));
            const ArrayPtr b = ToArray(k, n, Values(k, n, false, 2));
            Timed(state, [&] { ArrayPtr c(Mtimes(a.get(), b.get())); });
        },
        [=](benchmark::State &state) {
            const std::vector<double> a = Values(m, k, false, 1), b = Values(k, n, false, 2);
            std::vector<double> c(static_cast<std::size_t>(m) * n);
            Timed(state, [&] {
                cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, m, n, k, 1.0, a.data(), m,
                            b.data(), k, 0.0, c.data(), m);
                Keep(c.data());
            });
        },
        true);
}

// dgetrf on a fresh copy of A; `then` runs after it on the factors.
Body Dgetrf(int n, std::function<void(const std::vector<double> &)> then = nullptr) {
    return [=](benchmark::State &state) {
        const std::vector<double> av = Values(n, n);
        std::vector<double> a(av.size());
        std::vector<int> pivots(n);
        int info = 0;
        Timed(state, [&] {
            a = av;
            dgetrf_(&n, &n, a.data(), &n, pivots.data(), &info);
            if (then) then(a);
            Keep(a.data());
        });
    };
}

void LuRows() {
    for (int n : {500, 1000}) {
        Row(
            "Lu (3 outputs) n=" + std::to_string(n),
            [n](benchmark::State &state) {
                const ArrayPtr a = ToArray(n, n, Values(n, n));
                Timed(state, [&] {
                    CMatrix *l, *u, *p;
                    Lu(l, u, p, a.get());
                    ArrayPtr hold[] = {ArrayPtr(l), ArrayPtr(u), ArrayPtr(p)};
                });
            },
            Dgetrf(n), true);
    }
    const int n = 1000;
    Row(
        "Det n=1000",
        [=](benchmark::State &state) {
            const ArrayPtr a = ToArray(n, n, Values(n, n));
            Timed(state, [&] { benchmark::DoNotOptimize(Det(a.get())); });
        },
        Dgetrf(n,
               [=](const std::vector<double> &lu) {
                   double d = 1.0;
                   for (int i = 0; i < n; ++i) d *= lu[static_cast<std::size_t>(i) * (n + 1)];
                   benchmark::DoNotOptimize(d);
               }),
        true);
    for (int rhs : {1, 100}) {
        Row(
            "Mldivide square n=1000, " + std::to_string(rhs) + " rhs",
            [=](benchmark::State &state) {
                const ArrayPtr a = ToArray(n, n, Values(n, n));
                const ArrayPtr b = ToArray(n, rhs, Values(n, rhs, false, 7));
                Timed(state, [&] { ArrayPtr x(Mldivide(a.get(), b.get())); });
            },
            [n, rhs](benchmark::State &state) {
                const std::vector<double> av = Values(n, n), bv = Values(n, rhs, false, 7);
                std::vector<double> a(av.size()), b(bv.size());
                std::vector<int> pivots(n);
                int info = 0;
                Timed(state, [&] {
                    a = av;
                    b = bv;
                    dgesv_(&n, &rhs, a.data(), &n, pivots.data(), b.data(), &n, &info);
                    Keep(b.data());
                });
            },
            true);
    }
    Row(
        "Chol n=1000",
        [=](benchmark::State &state) {
            const ArrayPtr a = ToArray(n, n, Values(n, n, true));
            const ArrayPtr t(Transpose(a.get()));
            const ArrayPtr spd(Mtimes(t.get(), a.get()));
            Timed(state, [&] { ArrayPtr r(Chol(spd.get())); });
        },
        [n](benchmark::State &state) {
            const ArrayPtr a = ToArray(n, n, Values(n, n, true));
            const ArrayPtr t(Transpose(a.get()));
            const ArrayPtr spd(Mtimes(t.get(), a.get()));
            const double *s = mxGetPr(spd.get());
            std::vector<double> r(static_cast<std::size_t>(n) * n);
            int info = 0;
            Timed(state, [&] {
                std::memcpy(r.data(), s, r.size() * sizeof(double));
                dpotrf_("U", &n, r.data(), &n, &info, 1);
                Keep(r.data());
            });
        },
        true);
}

void OrderRows() {
    for (int n : {64, 128, 256}) {
        const int m = 2 * n;
        const Body dgelsy = [n](benchmark::State &state) {
            linalg_bench::LeastSquaresPeer peer(n);
            Timed(state, [&] { peer.Run(); });
        };
        for (Order order : {Order::kStated, Order::kFast}) {
            Row("least squares " + std::to_string(m) + "x" + std::to_string(n) + " vs dgelsy, " +
                    (order == Order::kFast ? "fast" : "stated"),
                InOrder(order,
                        [m, n](benchmark::State &state) {
                            const ArrayPtr a = ToArray(m, n, Values(m, n));
                            const ArrayPtr b = ToArray(m, 1, Values(m, 1, false, 7));
                            Timed(state, [&] { ArrayPtr x(Mldivide(a.get(), b.get())); });
                        }),
                dgelsy, true);
        }
    }
    for (int n : {200, 500}) {
        const Body lapack = [n](benchmark::State &state) {
            linalg_bench::QrPeer peer(n);
            Timed(state, [&] { peer.Run(); });
        };
        for (Order order : {Order::kStated, Order::kFast}) {
            Row("Qr (3 outputs) n=" + std::to_string(n) + " vs dgeqp3+dorgqr, " +
                    (order == Order::kFast ? "fast" : "stated"),
                InOrder(order,
                        [n](benchmark::State &state) {
                            const ArrayPtr a = ToArray(n, n, Values(n, n));
                            Timed(state, [&] {
                                CMatrix *q, *r, *e;
                                Qr(q, r, e, a.get(), false);
                                ArrayPtr hold[] = {ArrayPtr(q), ArrayPtr(r), ArrayPtr(e)};
                            });
                        }),
                lapack, true);
        }
    }
}

// Svd of an m x n matrix: values only (job "N"), or U, S, V full ("A") or
// economy ("S").
void SvdRow(const std::string &work, int m, int n, char job) {
    Row(
        work,
        [=](benchmark::State &state) {
            const ArrayPtr a = ToArray(m, n, Values(m, n));
            Timed(state, [&] {
                if (job == 'N') {
                    ArrayPtr s(Svd(a.get(), false));
                } else {
                    CMatrix *u, *s, *v;
                    Svd(u, s, v, a.get(), job == 'S');
                    ArrayPtr hold[] = {ArrayPtr(u), ArrayPtr(s), ArrayPtr(v)};
                }
            });
        },
        [=](benchmark::State &state) {
            const std::vector<double> av = Values(m, n);
            const int p = m < n ? m : n;
            const int ucols = job == 'A' ? m : p;
            std::vector<double> a(av.size()), s(p),
                u(job == 'N' ? 1 : static_cast<std::size_t>(m) * ucols),
                vt(job == 'N' ? 1 : static_cast<std::size_t>(n) * n);
            const int ldu = job == 'N' ? 1 : m, ldvt = job == 'N' ? 1 : n;
            const char jobs[] = {job, 0};
            int info = 0;
            std::vector<double> workspace =
                linalg_bench::LapackWorkspace([&](double *w, const int *lw) {
                    dgesvd_(jobs, jobs, &m, &n, a.data(), &m, s.data(), u.data(), &ldu, vt.data(),
                            &ldvt, w, lw, &info, 1, 1);
                });
            const int lwork = static_cast<int>(workspace.size());
            Timed(state, [&] {
                a = av;
                dgesvd_(jobs, jobs, &m, &n, a.data(), &m, s.data(), u.data(), &ldu, vt.data(),
                        &ldvt, workspace.data(), &lwork, &info, 1, 1);
                Keep(s.data());
            });
        },
        true);
}

void EigRows() {
    for (int n : {100, 300}) {
        const Body dgeev = [n](benchmark::State &state) {
            linalg_bench::EigVectorsPeer peer(n);
            Timed(state, [&] { peer.Run(); });
        };
        for (Order order : {Order::kStated, Order::kFast}) {
            Row("Eig with vectors n=" + std::to_string(n) + " vs dgeev, " +
                    (order == Order::kFast ? "fast" : "stated"),
                InOrder(order,
                        [n](benchmark::State &state) {
                            const ArrayPtr a = ToArray(n, n, Values(n, n));
                            kiv::RandSeed(1);
                            Timed(state, [&] {
                                CMatrix *d, *v;
                                Eig(d, v, a.get(), true);
                                ArrayPtr hold[] = {ArrayPtr(d), ArrayPtr(v)};
                            });
                        }),
                dgeev, true);
        }
    }
}

// The fast order's symmetric solver (values and vectors) beside dsyevd.
void SymmetricEigRows() {
    for (int n : {100, 500}) {
        Row(
            "Eig symmetric with vectors n=" + std::to_string(n) + " vs dsyevd, fast",
            InOrder(Order::kFast,
                    [n](benchmark::State &state) {
                        const auto m = static_cast<std::size_t>(n);
                        const ArrayPtr a =
                            ToArray(m, m, linalg_bench::SymmetricEigPeer::Symmetric(n));
                        Timed(state, [&] {
                            CMatrix *d, *v;
                            Eig(d, v, a.get(), true);
                            ArrayPtr hold[] = {ArrayPtr(d), ArrayPtr(v)};
                        });
                    }),
            [n](benchmark::State &state) {
                linalg_bench::SymmetricEigPeer peer(n);
                Timed(state, [&] { peer.Run(); });
            },
            true);
    }
}

// --- Element-wise work, reductions, gathers --------------------------------------

// m x n operands: a in [-1, 1), b in [0.5, 1.5).
struct Pair {
    explicit Pair(std::size_t m, std::size_t n = 1)
        : a(ToArray(m, n, Values(m, n, false, 1))), b(ToArray(m, n, Values(m, n, false, 2))) {
        for (std::size_t k = 0; k < m * n; ++k)
            mxGetPr(b.get())[k] = 1.0 + 0.5 * mxGetPr(b.get())[k];
    }
    ArrayPtr a, b;
};

template <class Library, class Element>
void ElementwiseRow(const std::string &work, std::size_t n, Library library, Element element) {
    // 16 elements are the 4x4 case.
    const std::size_t m = n == 16 ? 4 : n, columns = n / m;
    Row(
        work,
        [=](benchmark::State &state) {
            const Pair x(m, columns);
            Timed(state, [&] { ArrayPtr r(library(x.a.get(), x.b.get())); });
        },
        [=](benchmark::State &state) {
            const Pair x(m, columns);
            const double *a = mxGetPr(x.a.get()), *b = mxGetPr(x.b.get());
            Output r(n);
            Timed(state, [&] {
                for (std::size_t k = 0; k < n; ++k) r.data[k] = element(a[k], b[k]);
                Keep(r.data);
                benchmark::ClobberMemory();
            });
        },
        false);
}

void ElementwiseRows() {
    for (std::size_t n : {std::size_t{1000}, std::size_t{100000}, std::size_t{10000000}}) {
        const std::string size = " n=10^" + std::to_string(static_cast<int>(std::log10(n) + 0.5));
        ElementwiseRow(
            "Plus" + size, n, [](const CMatrix *a, const CMatrix *b) { return Plus(a, b); },
            [](double a, double b) { return a + b; });
        ElementwiseRow(
            "Times" + size, n, [](const CMatrix *a, const CMatrix *b) { return Times(a, b); },
            [](double a, double b) { return a * b; });
        ElementwiseRow(
            "Gt" + size, n, [](const CMatrix *a, const CMatrix *b) { return Gt(a, b); },
            [](double a, double b) { return a > b ? 1.0 : 0.0; });
        ElementwiseRow(
            "Plus(A, s)" + size, n, [](const CMatrix *a, const CMatrix *) { return Plus(a, 0.5); },
            [](double a, double) { return a + 0.5; });
    }
    ElementwiseRow(
        "Plus 4x4 with creation and release, vs a 16-element loop", 16,
        [](const CMatrix *a, const CMatrix *b) { return Plus(a, b); },
        [](double a, double b) { return a + b; });
    const std::size_t n = 10000000;
    Row(
        "Exp n=10^7",
        [=](benchmark::State &state) {
            const Pair x(n);
            Timed(state, [&] { ArrayPtr r(Exp(x.a.get())); });
        },
        [=](benchmark::State &state) {
            const Pair x(n);
            const double *a = mxGetPr(x.a.get());
            Output r(n);
            Timed(state, [&] {
                for (std::size_t k = 0; k < n; ++k) r.data[k] = std::exp(a[k]);
                Keep(r.data);
                benchmark::ClobberMemory();
            });
        },
        false);
}

// 10 x 100000, values from a scrambled sequence so that the maximum moves.
std::vector<double> ShortColumns() {
    std::vector<double> v(1000000);
    for (std::size_t k = 0; k < v.size(); ++k) {
        v[k] = static_cast<double>((k * 2654435761u) % 1000003u);
    }
    return v;
}

void MaxRow() {
    const int m = 10, n = 100000;
    Row(
        "Max with positions along dim 1 of 10x100000, vs Eigen",
        [=](benchmark::State &state) {
            const ArrayPtr a = ToArray(m, n, ShortColumns());
            Timed(state, [&] {
                CMatrix *y, *i;
                Max(y, i, a.get(), 1);
                ArrayPtr hold[] = {ArrayPtr(y), ArrayPtr(i)};
            });
        },
        [=](benchmark::State &state) {
#if defined(MATRIX_HAVE_EIGEN)
            const std::vector<double> data = ShortColumns();
            const Eigen::Map<const Eigen::MatrixXd> a(data.data(), m, n);
            Eigen::RowVectorXd y(n), index(n);
            Timed(state, [&] {
                for (Eigen::Index j = 0; j < n; ++j) {
                    Eigen::Index at;
                    y[j] = a.col(j).maxCoeff(&at);
                    index[j] = static_cast<double>(at + 1);
                }
                Keep(y.data());
                Keep(index.data());
                benchmark::ClobberMemory();
            });
#else
            state.SkipWithError("built without Eigen");
#endif
        },
        false);
}

// 10^6 pseudo-random whole positions in 1..10^7.
std::vector<double> Positions() {
    std::vector<double> p(1000000);
    for (std::size_t k = 0; k < p.size(); ++k) {
        p[k] = static_cast<double>((k * 2654435761u) % 10000000u + 1);
    }
    return p;
}

void IndexRows() {
    const std::size_t n = 10000000, k = 1000000;
    Row(
        "gather of 10^6 positions from 10^7",
        [=](benchmark::State &state) {
            const ArrayPtr a = bench_support::CountingMatrix(n, 1);
            const ArrayPtr index = ToArray(k, 1, Positions());
            Timed(state, [&] { ArrayPtr r(Indexref(a.get(), index.get())); });
        },
        [=](benchmark::State &state) {
            const ArrayPtr a = bench_support::CountingMatrix(n, 1);
            const std::vector<double> index = Positions();
            const double *source = mxGetPr(a.get());
            Output r(k);
            Timed(state, [&] {
                for (std::size_t i = 0; i < k; ++i) {
                    r.data[i] = source[static_cast<std::size_t>(index[i]) - 1];
                }
                Keep(r.data);
                benchmark::ClobberMemory();
            });
        },
        false);
    Row(
        "scatter of 10^6 positions into 10^7",
        [=](benchmark::State &state) {
            ArrayPtr a = bench_support::CountingMatrix(n, 1);
            const ArrayPtr index = ToArray(k, 1, Positions());
            const ArrayPtr b = ToArray(k, 1, Values(k, 1));
            CMatrix *target = a.release();
            Timed(state, [&] {
                Indexassign(target, index.get(), b.get());
                Keep(mxGetPr(target));
                benchmark::ClobberMemory();
            });
            a.reset(target);
        },
        [=](benchmark::State &state) {
            const ArrayPtr a = bench_support::CountingMatrix(n, 1);
            const std::vector<double> index = Positions(), b = Values(k, 1);
            double *target = mxGetPr(a.get());
            Timed(state, [&] {
                for (std::size_t i = 0; i < k; ++i) {
                    target[static_cast<std::size_t>(index[i]) - 1] = b[i];
                }
                Keep(target);
                benchmark::ClobberMemory();
            });
        },
        false);
}

[[maybe_unused]] const bool kRegistered = [] {
    for (int n : {64, 256, 512, 1024}) ProductRow("Mtimes n=" + std::to_string(n), n, n, n);
    ProductRow("Mtimes 2000x33 by 33x2100", 2000, 33, 2100);
    // Products with one and with four columns, which sweep A column by
    // column, beside dgemm.
    ProductRow("Mtimes 2000x2000 by 2000x1", 2000, 2000, 1);
    ProductRow("Mtimes 2000x2000 by 2000x4", 2000, 2000, 4);
    LuRows();
    OrderRows();
    SvdRow("Svd values 300x300", 300, 300, 'N');
    SvdRow("Svd values 1000x300", 1000, 300, 'N');
    // A power-of-two order, whose columns are worked in a copy with a
    // longer leading dimension.
    SvdRow("Svd values 512x512", 512, 512, 'N');
    SvdRow("Svd U,S,V full 1000x300", 1000, 300, 'A');
    SvdRow("Svd U,S,V economy 1000x300", 1000, 300, 'S');
    EigRows();
    SymmetricEigRows();
    ElementwiseRows();
    MaxRow();
    IndexRows();
    return true;
}();

}  // namespace
