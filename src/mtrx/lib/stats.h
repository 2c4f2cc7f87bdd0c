// src/mtrx/lib/stats.h: what data.cpp takes from stats.cpp.
#ifndef MTRX_LIB_STATS_H
#define MTRX_LIB_STATS_H

#include "lib/support.h"

namespace mtrx {

/// var(A), var(A, w), var(A, w, dim), var(A, w, vecdim), var(A, w, 'all')
/// (std with root): w is 0 or [] (n - 1), 1 (n) or a vector of weights.
Outs Spread(const Args &args, bool root, int nargout);

}  // namespace mtrx

#endif  // MTRX_LIB_STATS_H
