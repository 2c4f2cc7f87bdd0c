// src/kernels/parallel.cpp: a fixed pool of worker threads that sleep between calls.
#include "kernels/parallel.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace kiv {
namespace matrix {
namespace kernels {

namespace {

// A call is split into at most this many pieces per thread, so that a
// thread slowed by other processes leaves its share to the others.
constexpr std::size_t kPiecesPerThread = 4;

// True on a thread while it runs a piece: work it starts stays on it.
thread_local bool t_inPiece = false;

// How long a thread watches for the event it waits for before it sleeps:
// a worker for the next job after finishing one, a caller for the workers
// to finish their last pieces. Waking a sleeping thread costs tens of
// microseconds on some systems (virtual machines most of all), as much as
// the pieces of a factorisation's mid-sized steps, which follow each other
// closely. The watch is bounded, so an idle pool sleeps.
constexpr auto kWatchBeforeSleep = std::chrono::microseconds(100);

// Returns once done() holds or kWatchBeforeSleep has passed.
template <class Done>
void WatchBriefly(Done done) {
    const auto until = std::chrono::steady_clock::now() + kWatchBeforeSleep;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (done()) return;
            SpinPause();
        }
        if (std::chrono::steady_clock::now() >= until) return;
    }
}

class Pool;
Pool &ThePool();

// One call's pieces: piece i covers grains [i * grains / pieces,
// (i + 1) * grains / pieces).
struct Job {
    PieceFunction fn;
    void *context;
    std::size_t count;
    std::size_t grain;
    std::size_t grains;
    std::size_t pieces;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    std::exception_ptr error;
    std::size_t errorPiece = 0;

    // Takes pieces until none is left or one has failed.
    void Work() {
        const bool outer = t_inPiece;
        t_inPiece = true;
        for (;;) {
            if (failed.load(std::memory_order_relaxed)) break;
            const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= pieces) break;
            const std::size_t begin = std::min(count, i * grains / pieces * grain);
            const std::size_t end = std::min(count, (i + 1) * grains / pieces * grain);
            try {
                fn(context, begin, end);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(errorMutex);
                if (!error || i < errorPiece) {
                    error = std::current_exception();
                    errorPiece = i;
                }
                failed.store(true, std::memory_order_relaxed);
            }
        }
        t_inPiece = outer;
    }
};

unsigned int CountFromEnvironment() {
    const char *text = std::getenv("RUL2MTRX_NUM_THREADS");
    if (text == nullptr || *text == '\0') return AvailableCores();
    unsigned long value = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || value > kMaxThreads) return AvailableCores();
        value = value * 10 + static_cast<unsigned long>(*c - '0');
    }
    if (value == 0 || value > kMaxThreads) return AvailableCores();
    return static_cast<unsigned int>(value);
}

class Pool {
public:
    Pool() {
        pthread_atfork(nullptr, nullptr, [] { ThePool().ForgetAfterFork(); });
    }
    ~Pool() { Stop(); }

    // In the child of a fork only the forking thread lives on: the workers
    // are forgotten without being joined (their handles name threads of the
    // parent), and the locks are made anew, as another thread may have held
    // them. The next large call starts new workers.
    void ForgetAfterFork() {
        for (unsigned int i = 0; i < m_workers; ++i) new (&m_threads[i]) std::thread();
        new (&m_dispatch) std::mutex();
        new (&m_mutex) std::mutex();
        new (&m_wake) std::condition_variable();
        new (&m_done) std::condition_variable();
        m_started = false;
        m_stopping = false;
        m_workers = 0;
        m_job = nullptr;
        m_active.store(0, std::memory_order_relaxed);
        t_inPiece = false;
    }

    unsigned int Count() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return CountLocked();
    }

    void SetCount(unsigned int n) {
        const std::lock_guard<std::mutex> owner(m_dispatch);
        Stop();
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_count = n == 0 ? AvailableCores() : std::min(n, kMaxThreads);
    }

    void Run(std::size_t count, std::size_t grain, PieceFunction fn, void *context) {
        if (count == 0) return;
        grain = std::max<std::size_t>(grain, 1);
        const std::size_t grains = (count + grain - 1) / grain;
        std::unique_lock<std::mutex> owner(m_dispatch, std::defer_lock);
        if (grains < 2 || t_inPiece || !owner.try_lock()) {
            fn(context, 0, count);
            return;
        }
        const unsigned int workers = Start();
        if (workers == 0) {
            owner.unlock();
            fn(context, 0, count);
            return;
        }
        Job job;
        job.fn = fn;
        job.context = context;
        job.count = count;
        job.grain = grain;
        job.grains = grains;
        job.pieces = std::min(grains, kPiecesPerThread * (workers + 1));
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_job = &job;
            ++m_generation;
            m_posted.store(m_generation, std::memory_order_release);
        }
        m_wake.notify_all();
        job.Work();
        // Every piece is taken now. Workers that have not joined yet never
        // will (a worker slow to wake costs the caller nothing); those that
        // have are finishing their pieces.
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_job = nullptr;
        }
        WatchBriefly([this] { return m_active.load(std::memory_order_acquire) == 0; });
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_done.wait(lock, [this] { return m_active.load(std::memory_order_acquire) == 0; });
        }
        owner.unlock();
        if (job.error) std::rethrow_exception(job.error);
    }

private:
    unsigned int CountLocked() {
        if (m_count == 0) m_count = CountFromEnvironment();
        return m_count;
    }

    // Starts the workers if they are not running; returns how many run.
    // Called by the owner of m_dispatch.
    unsigned int Start() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_started) return m_workers;
        m_started = true;
        const unsigned int wanted = CountLocked() - 1;
        // No work is posted before the workers are counted, so each waits
        // for the generation after this one.
        const unsigned long generation = m_generation;
        lock.unlock();
        unsigned int started = 0;
        for (; started < wanted; ++started) {
            try {
                m_threads[started] = std::thread([this, generation] { Serve(generation); });
            } catch (...) {
                // Too few resources for another thread: the work runs on
                // the threads there are.
                break;
            }
        }
        lock.lock();
        m_workers = started;
        return m_workers;
    }

    // Joins the workers; called with m_dispatch held (or at exit).
    void Stop() {
        unsigned int workers = 0;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_started) return;
            m_stopping = true;
            workers = m_workers;
        }
        m_wake.notify_all();
        for (unsigned int i = 0; i < workers; ++i) m_threads[i].join();
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
        m_started = false;
        m_workers = 0;
    }

    void Serve(unsigned long seen) {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            if (!m_stopping && m_generation == seen) {
                lock.unlock();
                WatchBriefly([&] { return m_posted.load(std::memory_order_acquire) != seen; });
                lock.lock();
            }
            m_wake.wait(lock, [&] { return m_stopping || m_generation != seen; });
            if (m_stopping) return;
            seen = m_generation;
            Job *job = m_job;
            if (job == nullptr) continue;
            m_active.fetch_add(1, std::memory_order_relaxed);
            lock.unlock();
            job->Work();
            lock.lock();
            // The job lives on the caller's stack: once the count is 0 the
            // caller may return, so nothing here touches it after this.
            if (m_active.fetch_sub(1, std::memory_order_acq_rel) == 1) m_done.notify_all();
        }
    }

    // Held by the one caller whose work the workers run, and by SetCount.
    std::mutex m_dispatch;
    // Guards everything below.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    unsigned int m_count = 0;
    bool m_started = false;
    bool m_stopping = false;
    unsigned int m_workers = 0;
    unsigned long m_generation = 0;
    // m_generation as last posted, for workers watching without the lock.
    std::atomic<unsigned long> m_posted{0};
    // The posted job, until its caller has taken every piece.
    Job *m_job = nullptr;
    // Workers inside the posted job; changed under m_mutex, read without it
    // by a caller watching for the last to finish.
    std::atomic<unsigned int> m_active{0};
    std::thread m_threads[kMaxThreads];
};

Pool &ThePool() {
    static Pool pool;
    return pool;
}

}  // namespace

unsigned int AvailableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int cores = 0;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) cores = CPU_COUNT(&set);
    if (cores <= 0) cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::min(static_cast<unsigned int>(std::max(cores, 1)), kMaxThreads);
}

unsigned int ThreadCount() { return ThePool().Count(); }

void SetThreadCount(unsigned int n) { ThePool().SetCount(n); }

void RunPieces(std::size_t count, std::size_t grain, PieceFunction fn, void *context) {
    ThePool().Run(count, grain, fn, context);
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
