// include/matrix/threads.h: how many threads the library's work runs on.
#ifndef MATRIX_THREADS_H
#define MATRIX_THREADS_H

#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// Sets the number of threads the library spreads large work over, the
/// calling thread included: the product, the updates of the factorisations,
/// solves with many right-hand sides, transposes and element-wise
/// operations. 0 means the number of cores this process may run on (its
/// affinity mask); 1 keeps all work on the calling thread.
///
/// Results never depend on the number: work is split only by output
/// element, column or block, and each piece is computed exactly as one
/// thread computes it, so every result is the same bit for bit with any
/// number of threads. Work below a size threshold always stays on the
/// calling thread.
///
/// Until the first call, the number comes from the environment variable
/// RUL2MTRX_NUM_THREADS when it holds a whole number from 1 to 256 (0, or
/// anything else, means the cores). The library starts its worker threads
/// (one fewer than the number) on the first large call and keeps them;
/// after a call a worker watches for the next one for at most 100
/// microseconds, since large calls often come in quick succession, and then
/// sleeps until one comes. Several caller threads share one set of workers:
/// a call that finds them busy with another caller's work runs on its own
/// thread, so the library never runs more worker threads than the number
/// less one. This call waits for work running on the workers to finish, and
/// must not be made while another thread waits in it.
/// Throws CFunctionErrorException ("The number of threads must be at most
/// 256") for a larger n, and changes nothing then.
MATRIX_API void SetNumThreads(unsigned int n);

/// Returns the number of threads the library spreads large work over, the
/// calling thread included (see SetNumThreads); at least 1.
MATRIX_API unsigned int GetNumThreads();

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_THREADS_H
