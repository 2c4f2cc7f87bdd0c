// src/kernels/panel_schedule.h: a factorisation by panels of columns, the next panel factored
// while the rest of the matrix takes the current one.
#ifndef MATRIX_SRC_KERNELS_PANEL_SCHEDULE_H
#define MATRIX_SRC_KERNELS_PANEL_SCHEDULE_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>

#include "kernels/kernel_support.h"
#include "kernels/parallel.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Whether the panel that FactorInPanels factors during a step is done.
class PanelReady {
public:
    /// Returns once the panel is factored. For work that needs it late in
    /// a block: the thread factoring it never waits, and it starts before
    /// any block does, so this ends.
    void Wait() const {
        while (!m_done.load(std::memory_order_acquire)) SpinPause();
    }
    void Set() { m_done.store(true, std::memory_order_release); }

private:
    std::atomic<bool> m_done{false};
};

/// How the work of a step spreads over the columns right of its panels.
enum class PanelWork {
    kEven,     // every column the same: all rows below the panel
    kGrowing,  // column c in proportion to c - k1: the rows down to its diagonal
};

/// The end of the panel that starts at column k of an order-n matrix: its
/// width about (n - k) / 8, in whole multiples of 32 from 64 to 192. Wide
/// panels read and write the trailing columns fewer times, while the
/// narrower ones at the end shorten the factorisations that the last steps
/// wait for.
constexpr std::size_t PanelEnd(std::size_t n, std::size_t k) {
    const std::size_t width =
        std::min<std::size_t>(192, std::max<std::size_t>(64, ((n - k) / 8 + 16) / 32 * 32));
    return std::min(n, k + width);
}

/// Runs an elimination over the columns 0 .. n - 1 of a matrix of n rows
/// and `columns` >= n columns (or the rows, for a row-oriented one) in the
/// panels of PanelEnd, on the pool's threads:
///   factorNext(k0, k1, j1)        brings the panel k1 .. j1 - 1 up to date
///                                 with the factored panel k0 .. k1 - 1 (none
///                                 when k0 == k1), whose predecessors it has
///                                 taken already, and factors it; returns 0,
///                                 or else a status that ends the elimination
///                                 after the current step;
///   updateRest(k0, k1, j1, c0, c1, ready)
///                                 gives columns c0 .. c1 - 1 (all at or
///                                 right of j1) the rest of panel k0 .. k1 -
///                                 1's steps, what factorNext does not; it
///                                 may go on to work of panel k1 .. j1 - 1
///                                 after ready.Wait().
/// Calls on different panels and columns must touch different places, as
/// they run side by side: while the columns right of the next panel take
/// the current panel's steps in blocks, one thread brings the next panel up
/// to date and factors it, so the factorisations, which do not split well,
/// overlap the updates, which do. Every column takes the panels in
/// increasing order, so each element meets the same operations in the same
/// order as in any other grouping by panels. The columns from n on, which
/// no panel holds, take the last panel's steps too, through updateRest(k0,
/// n, n, c0, c1, ready) once the elimination is over. Returns the first
/// panel's nonzero status, or 0. The blocks of columns carry equal shares
/// of the work as `work` describes it.
template <class FactorNext, class UpdateRest>
KernelStatus FactorInPanels(std::size_t n, std::size_t columns, PanelWork work,
                            FactorNext &&factorNext, UpdateRest &&updateRest) {
    if (n == 0) return 0;
    // Three blocks per thread: a thread left idle finds work, and each
    // block is one piece of the pool's split.
    const std::size_t threads = ThreadCount();
    constexpr std::size_t kMinBlock = 32;
    auto blocksOf = [&](std::size_t rest) {
        return std::max<std::size_t>(std::min(3 * threads, rest / kMinBlock), rest > 0 ? 1 : 0);
    };
    std::size_t k0 = 0, k1 = PanelEnd(n, 0);
    KernelStatus status = factorNext(0, 0, k1);
    for (; status == 0 && k1 < n; k0 = k1, k1 = PanelEnd(n, k1)) {
        const std::size_t j1 = PanelEnd(n, k1);
        const std::size_t rest = columns - j1;
        const std::size_t blocks = blocksOf(rest);
        // The first column of block t (from 0), on a multiple of 8 from j1.
        auto start = [&](std::size_t t) -> std::size_t {
            if (t >= blocks) return columns;
            double share = static_cast<double>(t) / static_cast<double>(blocks);
            if (work == PanelWork::kGrowing) {
                const double a = static_cast<double>(j1 - k1), b = static_cast<double>(n - k1);
                share = (std::sqrt(a * a + share * (b * b - a * a)) - a) / (b - a);
            }
            const auto offset = static_cast<std::size_t>(share * static_cast<double>(rest));
            return std::min(columns, j1 + (offset + 7) / 8 * 8);
        };
        // The pool hands out pieces in increasing order, so the first, the
        // one that signals `ready`, is under way before any block waits.
        PanelReady ready;
        ParallelFor(1 + blocks, 1, [&](std::size_t begin, std::size_t end) {
            for (std::size_t t = begin; t < end; ++t) {
                if (t == 0) {
                    // Set however factorNext ends, so that no block waits
                    // for ever.
                    struct SetOnExit {
                        PanelReady &ready;
                        ~SetOnExit() { ready.Set(); }
                    } setOnExit{ready};
                    status = factorNext(k0, k1, j1);
                } else {
                    const std::size_t c0 = start(t - 1), c1 = start(t);
                    if (c0 < c1) updateRest(k0, k1, j1, c0, c1, ready);
                }
            }
        });
    }
    if (status == 0 && columns > n) {
        // The last panel, k0 .. n - 1, for the columns after the matrix.
        PanelReady ready;
        ready.Set();
        const std::size_t rest = columns - n, blocks = blocksOf(rest);
        ParallelFor(blocks, 1, [&](std::size_t t0, std::size_t t1) {
            updateRest(k0, n, n, n + t0 * rest / blocks, n + t1 * rest / blocks, ready);
        });
    }
    return status;
}

/// Calls finish(q0, q1) for every panel q0 .. q1 - 1 of FactorInPanels'
/// split, the panels shared among the threads: for the work the later
/// panels leave for the columns to their left, once all are factored.
template <class Finish>
void FinishPanels(std::size_t n, Finish &&finish) {
    std::size_t panels = 0;
    for (std::size_t k = 0; k < n; k = PanelEnd(n, k)) ++panels;
    ParallelFor(panels, 1, [&](std::size_t begin, std::size_t end) {
        std::size_t k = 0;
        for (std::size_t q = 0; q < begin; ++q) k = PanelEnd(n, k);
        for (std::size_t q = begin; q < end; ++q, k = PanelEnd(n, k)) finish(k, PanelEnd(n, k));
    });
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_PANEL_SCHEDULE_H
