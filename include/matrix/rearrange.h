// include/matrix/rearrange.h: rearranging the elements of arrays of any
// class: flips, rotations, circular shifts, permutations of dimensions,
// squeeze, Kronecker products, block diagonals and coordinate grids.
#ifndef MATRIX_REARRANGE_H
#define MATRIX_REARRANGE_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

#include <vector>

namespace kiv {
namespace matrix {

// A rearrangement moves elements without computing with them, so it is one
// plan for every class: the result's lengths and, for each of its elements
// in column-major order, the linear index (0-based) of the operand element
// it takes. The plan functions below compute plans from the operand's
// lengths alone (at least two of them, as GetDimensions gives them), so that
// a container of elements of another kind (an interpreter's cells or
// records) moves its elements by the same logic. Each throws
// kiv::CExhaustedMemoryException when the plan cannot be stored.
struct Rearrangement {
    std::vector<unsigned int> dims;    // of the result, trailing lengths of 1 dropped
    std::vector<unsigned int> source;  // source[k]: operand index of result element k
};

/// The first dimension (1-based) whose length is not 1, or 1 when every
/// length is 1: the dimension flip, circshift and the reductions work along
/// by default.
MATRIX_API unsigned int FirstNonSingleton(const std::vector<unsigned int> &dims);

/// flip along dimension dim (1-based): element i of dimension dim goes to
/// position n-1-i. A dimension beyond the last keeps every element in place.
MATRIX_API Rearrangement FlipPlan(const std::vector<unsigned int> &dims, unsigned int dim);
/// rot90 by k quarter turns counterclockwise (k of any sign, taken modulo 4)
/// of every page: each m x n page becomes n x m (k odd) or stays m x n.
MATRIX_API Rearrangement Rot90Plan(const std::vector<unsigned int> &dims, long long k);
/// circshift: element i of dimension d + 1 moves to position (i + shifts[d])
/// modulo that length, for each d below shifts.size(); shifts beyond the
/// last dimension change nothing.
MATRIX_API Rearrangement CircshiftPlan(const std::vector<unsigned int> &dims,
                                       const std::vector<long long> &shifts);
/// permute: result dimension k is operand dimension order[k] (1-based).
/// `order` must hold each of 1..order.size() once and have at least as many
/// entries as the operand has dimensions (trailing lengths of 1 included
/// only when order names them). Throws CFunctionErrorException
/// "permute: the order must have at least N elements, one per dimension of
/// the array" and
/// "permute: the order must be a permutation of 1..N".
MATRIX_API Rearrangement PermutePlan(const std::vector<unsigned int> &dims,
                                     const std::vector<unsigned int> &order);
/// ipermute: the plan that undoes PermutePlan(.., order); throws as it with
/// "ipermute" in the messages.
MATRIX_API Rearrangement IpermutePlan(const std::vector<unsigned int> &dims,
                                      const std::vector<unsigned int> &order);
/// squeeze: the lengths without the dimensions of length 1, at least two of
/// them (a single remaining length n gives n x 1); two-dimensional lengths
/// are returned unchanged. The elements keep their order.
MATRIX_API std::vector<unsigned int> SqueezeDims(const std::vector<unsigned int> &dims);

/// Returns the array of plan.dims whose element k is element plan.source[k]
/// of `a`: numeric classes, char and logical (flags kept) copy the bits of
/// each part, a cell array shares each slot's array. Throws
/// CNotImplementedException for a struct array and
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Rearrange(const CMatrix *a, const Rearrangement &plan);

// The C-style forms: each returns a new array owned by the caller, of the
// class of `a` (every class but struct), and leaves `a` unchanged.

/// flip(A): along the first dimension whose length is not 1.
[[nodiscard]] MATRIX_API CMatrix *Flip(const CMatrix *a);
/// flip(A, dim), dim 1-based (0 throws CFunctionErrorException).
[[nodiscard]] MATRIX_API CMatrix *Flip(const CMatrix *a, unsigned int dim);
/// rot90(A, k).
[[nodiscard]] MATRIX_API CMatrix *Rot90(const CMatrix *a, long long k);
/// circshift(A, k): along the first dimension whose length is not 1.
[[nodiscard]] MATRIX_API CMatrix *Circshift(const CMatrix *a, long long k);
/// circshift(A, k, dim), dim 1-based (0 throws CFunctionErrorException).
[[nodiscard]] MATRIX_API CMatrix *Circshift(const CMatrix *a, long long k, unsigned int dim);
/// circshift(A, [k1 k2 ...]): shifts[d] along dimension d + 1.
[[nodiscard]] MATRIX_API CMatrix *Circshift(const CMatrix *a, const std::vector<long long> &shifts);
/// permute(A, order), order 1-based; throws as PermutePlan.
[[nodiscard]] MATRIX_API CMatrix *Permute(const CMatrix *a, const std::vector<unsigned int> &order);
/// ipermute(A, order): Ipermute(Permute(A, order), order) is A.
[[nodiscard]] MATRIX_API CMatrix *Ipermute(const CMatrix *a, const std::vector<unsigned int> &order);
/// squeeze(A): a new array sharing the data of `a` (any class) shaped
/// SqueezeDims of its lengths.
[[nodiscard]] MATRIX_API CMatrix *Squeeze(const CMatrix *a);

/// kron(A, B) of two matrices: the (mA mB) x (nA nB) array whose block
/// (i, j) is A(i, j) .* B, each element one product A(i, j) * B(k, l) of
/// Times, so the classes combine as Times combines them (integer with
/// double, complex, logical and char as numbers). Throws
/// CFunctionErrorException "kron: the operands must be matrices" for more
/// than two dimensions, and what Times throws.
[[nodiscard]] MATRIX_API CMatrix *Kron(const CMatrix *a, const CMatrix *b);
/// blkdiag(A1, ..., An): the arrays (matrices, none null) on the diagonal
/// of a (sum of rows) x (sum of columns) array of zeros, of the class and
/// complexity Horzcat gives the operands (the logical flag when all are
/// logical). n == 0 gives 0x0 double. Throws CFunctionErrorException
/// "blkdiag: the operands must be matrices" for more than two dimensions,
/// what Horzcat throws for their classes (a cell or struct included), and
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Blkdiag(unsigned int n, const CMatrix **arrays);

/// The grids of ndgrid(x1, ..., xn) (n >= 1, arrays of a numeric class,
/// char or logical, each read as x(:); one input stands for max(nOutputs, 2)
/// copies of it): grid k has lengths numel(x1) x ... x numel(xn) and holds
/// x_k(i_k) at (i_1, ..., i_n), of x_k's class. Only the first nOutputs
/// grids (at least one) are made.
/// With `mesh` (meshgrid) the first two inputs swap roles: the grids are
/// numel(x2) x numel(x1) x numel(x3) ..., grid 1 varying along columns and
/// grid 2 along rows; meshgrid takes two or three inputs (one meaning
/// (x, x), or (x, x, x) for three outputs). The arrays are new and owned by
/// the caller. Throws CFunctionErrorException "ndgrid: the inputs must be
/// numeric, char or logical arrays" (or "meshgrid: ..."), also for no
/// input, and kiv::CExhaustedMemoryException when a grid's byte size does
/// not fit in 32 bits.
[[nodiscard]] MATRIX_API std::vector<CMatrix *> Grids(const std::vector<const CMatrix *> &inputs,
                                                      unsigned int nOutputs, bool mesh);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_REARRANGE_H
