// src/core/threads.cpp: the public setting of the number of threads.
#include <matrix/exceptions.h>
#include <matrix/threads.h>

#include "kernels/parallel.h"

namespace kiv {
namespace matrix {

void SetNumThreads(unsigned int n) {
    if (n > kernels::kMaxThreads) {
        throw CFunctionErrorException(L"The number of threads must be at most 256");
    }
    kernels::SetThreadCount(n);
}

unsigned int GetNumThreads() { return kernels::ThreadCount(); }

}  // namespace matrix
}  // namespace kiv
