// bench/threads/sharing_bench.cpp: what the machine charges when two threads share data.
//
// Not the library's own work: these rows measure the cost that decides how
// the library splits work among its threads. BM_Handoff is one cache line
// passed back and forth between two threads, per one-way trip. BM_Passes
// is two threads making passes over a 1000x300 column-major matrix (2.4 MB,
// more than one core's L2), each element updated once per pass, with a
// barrier between passes, per pass:
//   0  each thread keeps the same half of the columns in every pass;
//   1  each thread keeps the same half of the rows (half of every column);
//   2  halves of the rows in one pass and of the columns in the next, so
//      that half of the matrix moves to the other core at every pass;
//   3  one thread alone, for comparison.
// Where lines move between cores slowly, 1 and 2 run far slower than 0,
// and can run slower than one thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>
#include <vector>

namespace {

// Waits for `value` to reach at least `target`.
void SpinUntil(const std::atomic<long> &value, long target) {
    for (unsigned int spins = 0; value.load(std::memory_order_acquire) < target; ++spins) {
        if (spins > 4096) std::this_thread::yield();
    }
}

void BM_Handoff(benchmark::State &state) {
    alignas(64) std::atomic<long> turn{0};
    std::atomic<bool> stop{false};
    // The partner answers every odd turn, until told to stop.
    std::thread partner([&] {
        for (long t = 1;; t += 2) {
            for (unsigned int spins = 0; turn.load(std::memory_order_acquire) < t; ++spins) {
                if (stop.load(std::memory_order_relaxed)) return;
                if (spins > 4096) std::this_thread::yield();
            }
            turn.store(t + 1, std::memory_order_release);
        }
    });
    constexpr long kTrips = 1000;
    long next = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (long i = 0; i < kTrips; ++i) {
            turn.store(next + 1, std::memory_order_release);
            SpinUntil(turn, next + 2);
            next += 2;
        }
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    stop.store(true);
    partner.join();
    state.counters["ns_per_trip"] = spent.count() / static_cast<double>(next);
}
BENCHMARK(BM_Handoff)->UseRealTime();

constexpr std::size_t kRows = 1000, kColumns = 300;

// Rows r0..r1 - 1 of columns c0..c1 - 1, each element updated once, in
// the widest vectors the processor has, so that a pass is bound by memory
// and the caches rather than by arithmetic.
#if defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void Pass(double *a, std::size_t r0, std::size_t r1, std::size_t c0, std::size_t c1) {
    for (std::size_t j = c0; j < c1; ++j) {
        double *c = a + j * kRows;
        for (std::size_t i = r0; i < r1; ++i) c[i] = c[i] * 0.5 + 1.0;
    }
}

// Thread `me` of two: its part of pass number p in the given split.
void Part(double *a, int split, int me, long p) {
    const std::size_t r0 = me * kRows / 2, r1 = (me + 1) * kRows / 2;
    const std::size_t c0 = me * kColumns / 2, c1 = (me + 1) * kColumns / 2;
    const bool byRows = split == 1 || (split == 2 && p % 2 == 0);
    if (byRows) {
        Pass(a, r0, r1, 0, kColumns);
    } else {
        Pass(a, 0, kRows, c0, c1);
    }
}

void BM_Passes(benchmark::State &state) {
    const int split = static_cast<int>(state.range(0));
    std::vector<double> a(kRows * kColumns, 1.0);
    constexpr long kPasses = 100;
    if (split == 3) {
        for (auto _ : state) {
            for (long p = 0; p < kPasses; ++p) Pass(a.data(), 0, kRows, 0, kColumns);
            benchmark::DoNotOptimize(a.data());
        }
    } else {
        // Pass p starts once both threads have finished pass p - 1: each
        // thread counts its finished passes.
        alignas(64) std::atomic<long> mine{0};
        alignas(64) std::atomic<long> theirs{0};
        alignas(64) std::atomic<long> wanted{0};
        std::atomic<bool> stop{false};
        std::thread partner([&] {
            for (long p = 0;; ++p) {
                for (unsigned int spins = 0; wanted.load(std::memory_order_acquire) < p + 1;
                     ++spins) {
                    if (stop.load(std::memory_order_acquire)) return;
                    if (spins > 4096) std::this_thread::yield();
                }
                SpinUntil(mine, p);
                Part(a.data(), split, 1, p);
                theirs.store(p + 1, std::memory_order_release);
            }
        });
        long p = 0;
        for (auto _ : state) {
            for (long q = 0; q < kPasses; ++q, ++p) {
                wanted.store(p + 1, std::memory_order_release);
                SpinUntil(theirs, p);
                Part(a.data(), split, 0, p);
                mine.store(p + 1, std::memory_order_release);
            }
            SpinUntil(theirs, p);
        }
        stop.store(true, std::memory_order_release);
        partner.join();
    }
    // Passes per second, shown inverted: seconds per pass.
    state.counters["per_pass"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kPasses),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Passes)->DenseRange(0, 3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
