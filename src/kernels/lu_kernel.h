// src/kernels/lu_kernel.h: Crout LU with scaled partial pivoting, row permutations.
#ifndef MATRIX_SRC_KERNELS_LU_KERNEL_H
#define MATRIX_SRC_KERNELS_LU_KERNEL_H

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// The value that replaces a pivot that is exactly zero (either sign), so
/// that a singular matrix is factorised without error: its determinant
/// comes out tiny rather than 0. Fixed by the library's definition of the
/// factorisation, not scaled to the data.
constexpr double kLuZeroPivot = 1.0e-20;

/// What of LuCrout's results its caller reads.
enum class LuWanted {
    kFactors,   // L and U, as documented
    kDiagonal,  // U's diagonal, ipiv and parity; U above the diagonal is as
                // documented, the multipliers below it may lack interchanges
                // of later steps (no later step reads them)
};

/// Factorises P*A = L*U in place by Crout's method with implicit (row-scaled)
/// partial pivoting. With indices from 1 and s(i) = 1 / max_j |A(i,j)| (0
/// for a zero row; NaN entries do not count), for j = 1..n:
///   a(i,j) -= a(i,k)*a(k,j) for k = 1..min(i,j)-1, one product at a time in
///             increasing k, for every row i;
///   the pivot row is the last i >= j with the largest s(i)*|a(i,j)| (a NaN
///   never wins; row j when every one is NaN); rows j and pivot are
///   interchanged over all n columns, with their scale factors;
///   a pivot that is exactly 0.0 becomes kLuZeroPivot;
///   a(i,j) *= 1.0/a(j,j) for i > j.
/// The updates are made column by column (column k of L into column j), an
/// order that gives every element exactly the text's sequence of operations.
///   n      [in]     order of A, n >= 0
///   a      [in,out] A on entry; on exit the multipliers of the unit lower
///                   triangular L below the diagonal and U on and above it;
///                   column-major, lda >= max(1, n)
///   ipiv   [out]    n entries: at step j (from 1) row j was interchanged
///                   with row ipiv[j-1] (from 1; j itself when none was)
///   parity [out]    +1, or -1 after an odd number of interchanges
///   scale  [out]    workspace of n doubles (the row scale factors)
///   path   [in]     kFastest: halves of the columns meet through the
///                   product kernel, or on several threads from order 256
///                   panels of 64 to 192 columns, narrower towards the end,
///                   the next factored while the rest take the current one;
///                   kPlain: column by column over the whole matrix, as
///                   written above
///   wanted [in]     kDiagonal spares the interchanges of the multipliers
///                   that nothing reads afterwards (a determinant's)
/// Returns 0, or the first column j (from 1) whose pivot was exactly zero
/// and was replaced.
/// Source: Crout's algorithm with implicit pivoting, Press, Teukolsky,
/// Vetterling & Flannery, Numerical Recipes, 3rd ed., Section 2.3.1.
KernelStatus LuCrout(std::size_t n, double *a, std::size_t lda, std::int32_t *ipiv, int &parity,
                     double *scale, KernelPath path = KernelPath::kFastest,
                     LuWanted wanted = LuWanted::kFactors);

/// Turns LuCrout's interchange record into the row permutation of P*A:
/// starting from the identity, perm[j] and perm[ipiv[j] - 1] are swapped for
/// j = 0..n-1 in that order. Row i of P*A is then row perm[i] of A.
///   n    [in]  number of rows
///   ipiv [in]  n entries, each in 1..n
///   perm [out] n entries, a permutation of 0..n-1
void PivotsToPermutation(std::size_t n, const std::int32_t *ipiv, std::uint32_t *perm);

/// Rearranges the rows of an m x n matrix in place so that row i moves to
/// row perm[i] (A := P'*A for the P whose row i is e(perm[i])). Follows the
/// cycles of perm, swapping each row through one scratch row; the elements
/// are moved, never computed.
///   m, n  [in]     rows and columns of A
///   a     [in,out] A, column-major, lda >= max(1, m)
///   perm  [in]     m entries, a permutation of 0..m-1
///   moved [out]    workspace of m bytes (a mark per row)
///   row   [out]    workspace of n doubles (the scratch row)
void MoveRows(std::size_t m, std::size_t n, double *a, std::size_t lda, const std::uint32_t *perm,
              unsigned char *moved, double *row);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_LU_KERNEL_H
