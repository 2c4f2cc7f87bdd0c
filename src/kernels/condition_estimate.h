// src/kernels/condition_estimate.h: the 1-norm estimate of an inverse from solves with the matrix and its transpose.
#ifndef MATRIX_SRC_KERNELS_CONDITION_ESTIMATE_H
#define MATRIX_SRC_KERNELS_CONDITION_ESTIMATE_H

#include <cmath>
#include <cstddef>

namespace kiv {
namespace matrix {
namespace kernels {

/// Iterations of the estimate after its first solve pair (Higham's limit).
constexpr int kNormEstimateIterations = 5;

/// Estimates ||A^-1||_1 of an n x n matrix A from solves with A and with
/// A', without forming A^-1 (a lower bound, usually within a factor of 3):
///   x = ones/n; y = A^-1 x; est = ||y||_1 (n = 1: est = |y|, done);
///   s = sign(y) (+1 for y >= 0); z = A^-T s; j = the first largest |z(i)|;
///   then up to kNormEstimateIterations - 1 times: y = A^-1 e_j; the new
///   est = ||y||_1; stop when sign(y) equals s or est did not grow;
///   s = sign(y); z = A^-T s; stop when the first largest |z(i)| has the
///   magnitude of z at the previous j, else j = its position.
/// Finally y = A^-1 x for x(i) = (-1)^i (1 + i/(n-1)), and est becomes
/// 2*||y||_1/(3n) when that is larger. Every sum runs in increasing i, so
/// the estimate depends on the solves' bits alone.
///   n      [in]  order, n >= 1
///   solve  [in]  solve(v) overwrites the n doubles at v with A^-1 v
///   solveT [in]  solveT(v) overwrites them with A^-T v
///   work   [out] 2n doubles
/// Returns the estimate; NaN when a solve gave NaN.
/// Source: Hager, SIAM J. Sci. Stat. Comput. 5 (1984) 311-316, with the
/// refinements of Higham, ACM TOMS 14 (1988) 381-396, Algorithm 4.1.
template <class Solve, class SolveTransposed>
double EstimateInverseNorm1(std::size_t n, const Solve &solve, const SolveTransposed &solveT,
                            double *work) {
    double *v = work, *sign = work + n;
    auto norm1 = [&] {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) s = s + std::fabs(v[i]);
        return s;
    };
    auto largestAt = [&] {
        std::size_t j = 0;
        for (std::size_t i = 1; i < n; ++i)
            if (std::fabs(v[i]) > std::fabs(v[j])) j = i;
        return j;
    };
    // Sets sign to sign(v); returns whether it was already that.
    auto takeSigns = [&] {
        bool same = true;
        for (std::size_t i = 0; i < n; ++i) {
            const double s = v[i] >= 0.0 ? 1.0 : -1.0;
            same = same && s == sign[i];
            sign[i] = s;
        }
        return same;
    };

    for (std::size_t i = 0; i < n; ++i) v[i] = 1.0 / static_cast<double>(n);
    solve(v);
    if (n == 1) return std::fabs(v[0]);
    double est = norm1();
    if (std::isnan(est)) return est;
    for (std::size_t i = 0; i < n; ++i) sign[i] = 0.0;
    takeSigns();
    for (std::size_t i = 0; i < n; ++i) v[i] = sign[i];
    solveT(v);
    std::size_t j = largestAt();
    for (int iteration = 1; iteration < kNormEstimateIterations; ++iteration) {
        for (std::size_t i = 0; i < n; ++i) v[i] = i == j ? 1.0 : 0.0;
        solve(v);
        const double previous = est;
        est = norm1();
        if (std::isnan(est)) return est;
        if (takeSigns() || est <= previous) break;
        for (std::size_t i = 0; i < n; ++i) v[i] = sign[i];
        solveT(v);
        const double atPrevious = std::fabs(v[j]);
        const std::size_t next = largestAt();
        if (std::fabs(v[next]) == atPrevious) break;
        j = next;
    }

    // An alternating vector catches what the iteration misses.
    for (std::size_t i = 0; i < n; ++i) {
        const double x = 1.0 + static_cast<double>(i) / static_cast<double>(n - 1);
        v[i] = i % 2 == 0 ? x : -x;
    }
    solve(v);
    const double alternative = 2.0 * norm1() / (3.0 * static_cast<double>(n));
    return alternative > est ? alternative : est;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_CONDITION_ESTIMATE_H
