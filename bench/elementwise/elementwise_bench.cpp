// bench/elementwise/elementwise_bench.cpp: element-wise operators and Exp
// against a plain loop and Eigen array expressions over the same data.
//
// Every variant pays for its result as a caller does: the library returns a
// new array that is destroyed in the loop; the plain loop allocates a 64-byte
// aligned buffer (as the library's) and frees it; Eigen evaluates into a new
// ArrayXd. The peers read the library operands' own data (through
// Eigen::Map), so all three see the same bytes. A fourth variant, the plain
// loop writing into a buffer allocated once outside the timed loop
// (_Loop_Preallocated), is the memory-bandwidth bound: the difference to
// _Loop is what a fresh result costs (for 10^7 elements mostly the page
// faults of its first touch; the library keeps freed large blocks for the
// next result, and the _Uncached rows show it without them). Sizes: 16
// elements (the fixed cost of checks, result creation and release; also the
// size the smoke test runs), 1000 (call overhead still visible), 2^15
// (256 KiB, in L2) and 10^7 (80 MB per array).
#include <benchmark/benchmark.h>
#include <matrix/elementwise.h>
#include <matrix/memory.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>

#include "bench_support.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#endif

namespace {

using namespace kiv::matrix;

using bench_support::AlignedBuffer;
using bench_support::kAlignment;

void Sizes(benchmark::internal::Benchmark *b) {
    for (long n : {16L, 1000L, 1L << 15, 10000000L}) b->Arg(n);
}

std::size_t Count(const benchmark::State &state) {
    return static_cast<std::size_t>(state.range(0));
}

// Bytes moved per call: each operand read once, the result written once.
void SetRate(benchmark::State &state, int arrays) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) *
                            arrays * static_cast<std::int64_t>(sizeof(double)));
}

// Two n x 1 operands with values spread over [lo, hi), from a fixed linear
// congruential sequence so every run sees the same data.
struct Operands {
    Operands(std::size_t n, double lo, double hi)
        : A(mxCreateDoubleMatrix(static_cast<unsigned int>(n), 1, mxComplexityReal)),
          B(mxCreateDoubleMatrix(static_cast<unsigned int>(n), 1, mxComplexityReal)) {
        std::uint64_t state = 0x2545F4914F6CDD1D;
        for (CMatrix *m : {A, B}) {
            double *p = mxGetPr(m);
            for (std::size_t i = 0; i < n; ++i) {
                state = state * 6364136223846793005 + 1442695040888963407;
                p[i] = lo + (hi - lo) * static_cast<double>(state >> 11) * 0x1p-53;
            }
        }
    }
    ~Operands() {
        mxDestroyArray(A);
        mxDestroyArray(B);
    }
    Operands(const Operands &) = delete;
    Operands &operator=(const Operands &) = delete;
    CMatrix *A;
    CMatrix *B;
};

// --- Runners --------------------------------------------------------------------

template <class Call>
void RunLibrary(benchmark::State &state, int arrays, double lo, double hi, Call call) {
    const Operands in(Count(state), lo, hi);
    for (auto _ : state) {
        CMatrix *r = call(in.A, in.B);
        benchmark::DoNotOptimize(r->GetPr());
        mxDestroyArray(r);
    }
    SetRate(state, arrays);
}

// The plain loop: r[i] = f(a[i], b[i]) into a fresh buffer.
template <class F>
void RunLoop(benchmark::State &state, int arrays, double lo, double hi, F f) {
    const std::size_t n = Count(state);
    const Operands in(n, lo, hi);
    const double *a = mxGetPr(in.A);
    const double *b = mxGetPr(in.B);
    for (auto _ : state) {
        AlignedBuffer r(n);
        for (std::size_t i = 0; i < n; ++i) r.data[i] = f(a[i], b[i]);
        benchmark::DoNotOptimize(r.data);
        benchmark::ClobberMemory();
    }
    SetRate(state, arrays);
}

// The same loop into one buffer reused by every iteration.
template <class F>
void RunLoopPreallocated(benchmark::State &state, int arrays, double lo, double hi, F f) {
    const std::size_t n = Count(state);
    const Operands in(n, lo, hi);
    const double *a = mxGetPr(in.A);
    const double *b = mxGetPr(in.B);
    AlignedBuffer r(n);
    for (std::size_t i = 0; i < n; ++i) r.data[i] = 0.0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) r.data[i] = f(a[i], b[i]);
        benchmark::DoNotOptimize(r.data);
        benchmark::ClobberMemory();
    }
    SetRate(state, arrays);
}

// RunLibrary with freed blocks going straight back to the system: what a
// fresh result costs without the thread's cache of large blocks.
template <class Call>
void RunLibraryUncached(benchmark::State &state, int arrays, double lo, double hi, Call call) {
    const std::size_t cap = GetBlockCacheBytes();
    SetBlockCacheBytes(0);
    RunLibrary(state, arrays, lo, hi, call);
    SetBlockCacheBytes(cap);
}

void LargeSize(benchmark::internal::Benchmark *b) { b->Arg(10000000L); }

#if defined(MATRIX_HAVE_EIGEN)
using ConstArrayMap = Eigen::Map<const Eigen::ArrayXd>;

template <class Expression>
void RunEigen(benchmark::State &state, int arrays, double lo, double hi, Expression expr) {
    const Operands in(Count(state), lo, hi);
    const auto n = static_cast<Eigen::Index>(Count(state));
    const ConstArrayMap a(mxGetPr(in.A), n);
    const ConstArrayMap b(mxGetPr(in.B), n);
    for (auto _ : state) {
        Eigen::ArrayXd r = expr(a, b);
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetRate(state, arrays);
}
#endif

// --- Plus -------------------------------------------------------------------------

void BM_Plus(benchmark::State &state) {
    RunLibrary(state, 3, -1, 1, [](const CMatrix *a, const CMatrix *b) { return Plus(a, b); });
}
void BM_Plus_Loop(benchmark::State &state) {
    RunLoop(state, 3, -1, 1, [](double a, double b) { return a + b; });
}
BENCHMARK(BM_Plus)->Apply(Sizes);
void BM_Plus_Uncached(benchmark::State &state) {
    RunLibraryUncached(state, 3, -1, 1,
                       [](const CMatrix *a, const CMatrix *b) { return Plus(a, b); });
}
BENCHMARK(BM_Plus_Uncached)->Apply(LargeSize);
BENCHMARK(BM_Plus_Loop)->Apply(Sizes);
void BM_Plus_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated(state, 3, -1, 1, [](double a, double b) { return a + b; });
}
BENCHMARK(BM_Plus_Loop_Preallocated)->Apply(Sizes);
#if defined(MATRIX_HAVE_EIGEN)
void BM_Plus_Eigen(benchmark::State &state) {
    RunEigen(state, 3, -1, 1, [](const ConstArrayMap &a, const ConstArrayMap &b) { return a + b; });
}
BENCHMARK(BM_Plus_Eigen)->Apply(Sizes);
#endif

// --- Plus with a scalar -------------------------------------------------------------

void BM_Plus_Scalar(benchmark::State &state) {
    RunLibrary(state, 2, -1, 1, [](const CMatrix *a, const CMatrix *) { return Plus(a, 5.0); });
}
void BM_Plus_Scalar_Loop(benchmark::State &state) {
    RunLoop(state, 2, -1, 1, [](double a, double) { return a + 5.0; });
}
BENCHMARK(BM_Plus_Scalar)->Apply(Sizes);
BENCHMARK(BM_Plus_Scalar_Loop)->Apply(Sizes);
void BM_Plus_Scalar_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated(state, 2, -1, 1, [](double a, double) { return a + 5.0; });
}
BENCHMARK(BM_Plus_Scalar_Loop_Preallocated)->Apply(Sizes);
#if defined(MATRIX_HAVE_EIGEN)
void BM_Plus_Scalar_Eigen(benchmark::State &state) {
    RunEigen(state, 2, -1, 1,
             [](const ConstArrayMap &a, const ConstArrayMap &) { return a + 5.0; });
}
BENCHMARK(BM_Plus_Scalar_Eigen)->Apply(Sizes);
#endif

// --- Times --------------------------------------------------------------------------

void BM_Times(benchmark::State &state) {
    RunLibrary(state, 3, -1, 1, [](const CMatrix *a, const CMatrix *b) { return Times(a, b); });
}
void BM_Times_Loop(benchmark::State &state) {
    RunLoop(state, 3, -1, 1, [](double a, double b) { return a * b; });
}
BENCHMARK(BM_Times)->Apply(Sizes);
void BM_Times_Uncached(benchmark::State &state) {
    RunLibraryUncached(state, 3, -1, 1,
                       [](const CMatrix *a, const CMatrix *b) { return Times(a, b); });
}
BENCHMARK(BM_Times_Uncached)->Apply(LargeSize);
BENCHMARK(BM_Times_Loop)->Apply(Sizes);
void BM_Times_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated(state, 3, -1, 1, [](double a, double b) { return a * b; });
}
BENCHMARK(BM_Times_Loop_Preallocated)->Apply(Sizes);
#if defined(MATRIX_HAVE_EIGEN)
void BM_Times_Eigen(benchmark::State &state) {
    RunEigen(state, 3, -1, 1, [](const ConstArrayMap &a, const ConstArrayMap &b) { return a * b; });
}
BENCHMARK(BM_Times_Eigen)->Apply(Sizes);
#endif

// --- Gt: results are doubles 0.0 and 1.0 in every variant ------------------------------

void BM_Gt(benchmark::State &state) {
    RunLibrary(state, 3, -1, 1, [](const CMatrix *a, const CMatrix *b) { return Gt(a, b); });
}
void BM_Gt_Loop(benchmark::State &state) {
    RunLoop(state, 3, -1, 1, [](double a, double b) { return a > b ? 1.0 : 0.0; });
}
BENCHMARK(BM_Gt)->Apply(Sizes);
BENCHMARK(BM_Gt_Loop)->Apply(Sizes);
void BM_Gt_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated(state, 3, -1, 1, [](double a, double b) { return a > b ? 1.0 : 0.0; });
}
BENCHMARK(BM_Gt_Loop_Preallocated)->Apply(Sizes);
#if defined(MATRIX_HAVE_EIGEN)
void BM_Gt_Eigen(benchmark::State &state) {
    RunEigen(state, 3, -1, 1,
             [](const ConstArrayMap &a, const ConstArrayMap &b) { return (a > b).cast<double>(); });
}
BENCHMARK(BM_Gt_Eigen)->Apply(Sizes);
#endif

// --- Exp: the goal is the loop calling std::exp. The library's exp has bits
// of its own (correctly rounded in nearly all cases), as Eigen's vectorised
// one, shown for reference, has others -------------------------------------------------

void BM_Exp(benchmark::State &state) {
    RunLibrary(state, 2, -10, 10, [](const CMatrix *a, const CMatrix *) { return Exp(a); });
}
void BM_Exp_Loop(benchmark::State &state) {
    RunLoop(state, 2, -10, 10, [](double a, double) { return std::exp(a); });
}
BENCHMARK(BM_Exp)->Apply(Sizes);
BENCHMARK(BM_Exp_Loop)->Apply(Sizes);
void BM_Exp_Loop_Preallocated(benchmark::State &state) {
    RunLoopPreallocated(state, 2, -10, 10, [](double a, double) { return std::exp(a); });
}
BENCHMARK(BM_Exp_Loop_Preallocated)->Apply(Sizes);
#if defined(MATRIX_HAVE_EIGEN)
void BM_Exp_Eigen(benchmark::State &state) {
    RunEigen(state, 2, -10, 10,
             [](const ConstArrayMap &a, const ConstArrayMap &) { return a.exp(); });
}
BENCHMARK(BM_Exp_Eigen)->Apply(Sizes);
#endif

}  // namespace
