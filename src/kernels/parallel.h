// src/kernels/parallel.h: the library's worker threads and the split of work among them.
#ifndef MATRIX_SRC_KERNELS_PARALLEL_H
#define MATRIX_SRC_KERNELS_PARALLEL_H

#include <cstddef>
#include <type_traits>

namespace kiv {
namespace matrix {
namespace kernels {

/// The largest number of threads the library runs work on.
constexpr unsigned int kMaxThreads = 256;

/// One turn of a spin-wait: tells the processor the thread is waiting, so
/// that it yields resources to the thread it waits for.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

/// Returns the number of cores this process may run on (its affinity mask),
/// at least 1 and at most kMaxThreads.
unsigned int AvailableCores();

/// Returns the number of threads ParallelFor spreads work over, the calling
/// thread included: the last SetThreadCount, or else RUL2MTRX_NUM_THREADS
/// when it holds a whole number from 1 to kMaxThreads (0 means the cores),
/// or else AvailableCores().
unsigned int ThreadCount();

/// Sets the number of threads, the calling thread included; 0 means
/// AvailableCores(). n must be at most kMaxThreads. Waits for a ParallelFor
/// running on another thread to finish, stops the workers, and leaves the
/// new ones to start on the next ParallelFor that needs them. Must not be
/// called from inside a piece of work.
void SetThreadCount(unsigned int n);

/// How ParallelFor calls a piece: fn(context, begin, end).
using PieceFunction = void (*)(void *context, std::size_t begin, std::size_t end);

/// ParallelFor's engine, with the piece behind a plain function pointer.
void RunPieces(std::size_t count, std::size_t grain, PieceFunction fn, void *context);

/// Calls fn(begin, end) on pieces [begin, end) that together cover
/// [0, count) once each, on the calling thread and the pool's workers, and
/// returns when every piece is done. Pieces are whole multiples of `grain`
/// (at least 1) apart from the last, and run at the same time: fn must
/// write nothing that another piece reads or writes, unless it orders the
/// two itself. Pieces start in increasing order: the one that begins at 0
/// is under way, on a thread that runs it to its end, before any other
/// starts.
///
/// The whole range is one call fn(0, count) on the calling thread when it
/// holds a single grain, when ThreadCount() is 1, when called from inside a
/// piece (nested work stays on its thread), or when the pool is busy with
/// another caller's work: the workers never number more than
/// ThreadCount() - 1, however many threads call. The workers start on the
/// first call that needs them; between calls each watches for the next one
/// for at most 100 microseconds, then sleeps on a condition variable. If
/// they cannot be started, the work runs on fewer threads.
///
/// An exception thrown by a piece stops the pieces not yet started and is
/// thrown again here once the others have finished; of several, the one of
/// the piece nearest the start of the range.
template <class Fn>
void ParallelFor(std::size_t count, std::size_t grain, Fn &&fn) {
    using Callable = std::remove_reference_t<Fn>;
    RunPieces(
        count, grain,
        [](void *context, std::size_t begin, std::size_t end) {
            (*static_cast<Callable *>(context))(begin, end);
        },
        const_cast<void *>(static_cast<const void *>(&fn)));
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_PARALLEL_H
