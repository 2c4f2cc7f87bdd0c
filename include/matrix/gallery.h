// include/matrix/gallery.h: classic test matrices and generated arrays:
// magic squares, Hilbert, Vandermonde, Toeplitz, Hankel, Pascal, Rosser,
// Wilkinson and companion matrices; random integers and permutations;
// logarithmically spaced rows.
#ifndef MATRIX_GALLERY_H
#define MATRIX_GALLERY_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Every function returns a new array owned by the caller, real double
// unless said otherwise, and leaves its arguments unchanged; each throws
// kiv::CExhaustedMemoryException when a length or byte size does not fit in
// 32 bits or storage cannot be obtained. Vector arguments are read in
// column-major order (any shape); a class a function does not take (cell
// and struct always) throws CNotImplementedException.

/// The n x n magic square (n = 0 gives 0x0; n = 2 gives [1 3; 4 2], which is
/// not magic): odd n by the diagonal (de la Loubere) stepping, n divisible
/// by 4 by complementing the elements on the two diagonal families, other
/// even n from four copies of magic(n/2) with the LUX exchanges. For n >= 3
/// every row, column and both diagonals sum to n (n^2 + 1) / 2.
[[nodiscard]] MATRIX_API CMatrix *Magic(unsigned int n);
/// The n x n Hilbert matrix, H(i, j) = 1 / (i + j - 1), one division each.
[[nodiscard]] MATRIX_API CMatrix *Hilb(unsigned int n);
/// The n x n inverse of the Hilbert matrix, computed in whole numbers (exact
/// while they stay below 2^53, up to n = 13).
[[nodiscard]] MATRIX_API CMatrix *Invhilb(unsigned int n);
/// The Vandermonde matrix of c (n elements of a numeric class, char or
/// logical, complex included): n x n, A(i, j) = c(i)^(n-j), column n ones
/// and each column before it c .* the next (Times), of the class Times and
/// Cat give (c's integer or single class; double for char and logical).
[[nodiscard]] MATRIX_API CMatrix *Vander(const CMatrix *c);
/// The Toeplitz matrix of first column c and first row r: numel(c) x
/// numel(r), T(i, j) = c(i-j+1) for i >= j and r(j-i+1) above; c(1) sits on
/// the diagonal whatever r(1) is. The elements are moved, not computed, of
/// the class Cat gives [c(:).', r(:).']. Toeplitz(c, nullptr) is
/// Toeplitz(c, c), and for a complex c the Hermitian matrix: conj(c) below
/// the diagonal, c(1) on it.
[[nodiscard]] MATRIX_API CMatrix *Toeplitz(const CMatrix *c, const CMatrix *r);
/// The Hankel matrix of first column c and last row r: numel(c) x numel(r),
/// H(i, j) = c(i+j-1) while i + j - 1 <= numel(c), else r(i+j-numel(c)); the
/// last element of c wins over r(1). Classes as Toeplitz. Hankel(c, nullptr)
/// puts zeros below the anti-diagonal (r of numel(c) double zeros).
[[nodiscard]] MATRIX_API CMatrix *Hankel(const CMatrix *c, const CMatrix *r);
/// The n x n Pascal matrix, P(i, j) = binomial(i+j-2, j-1), by additions.
[[nodiscard]] MATRIX_API CMatrix *Pascal(unsigned int n);
/// The 8 x 8 Rosser matrix, a classic symmetric eigenvalue test.
[[nodiscard]] MATRIX_API CMatrix *Rosser();
/// The n x n Wilkinson matrix: symmetric tridiagonal, ones off the diagonal,
/// |(1-n)/2 + i - 1| on it.
[[nodiscard]] MATRIX_API CMatrix *Wilkinson(unsigned int n);
/// The companion matrix of the polynomial p (coefficients from the highest
/// power): (n-1) x (n-1), first row -p(2:n) / p(1), ones below the diagonal;
/// fewer than two coefficients give 0x0. Single and complex p give their
/// class and complexity (the first row by Uminus and Rdivide). Throws
/// CFunctionErrorException "compan: the input must be a vector" for a
/// matrix, and "compan: the input must be double or single" for the others.
[[nodiscard]] MATRIX_API CMatrix *Compan(const CMatrix *p);

/// An array shaped dims[0..nDims) of random whole numbers from lo to hi, each
/// lo + floor(kiv::Rand() * (hi - lo + 1)), one draw per element in
/// column-major order. Throws CFunctionErrorException "randi: the bounds
/// must be whole numbers with lo <= hi" otherwise (also for a range beyond
/// 2^53), before drawing.
[[nodiscard]] MATRIX_API CMatrix *Randi(double lo, double hi, unsigned int nDims,
                                        const unsigned int *dims);
/// A 1 x k row of distinct whole numbers from 1 to n, random: the first k
/// steps of a Fisher-Yates shuffle of 1..n, step i swapping position i with
/// i + floor(kiv::Rand() * (n - i)). k = n gives a random permutation.
/// Throws CFunctionErrorException "randperm: k must not exceed n".
[[nodiscard]] MATRIX_API CMatrix *Randperm(unsigned int n, unsigned int k);
/// The 1 x n row 10 .^ Linspace(a, b, n), each element std::pow(10, x); b
/// equal to the double nearest pi stands for log10(pi), so the row ends at
/// pi.
[[nodiscard]] MATRIX_API CMatrix *Logspace(double a, double b, unsigned int n);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_GALLERY_H
