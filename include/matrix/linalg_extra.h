// include/matrix/linalg_extra.h: matrix functions (exponential, logarithm,
// square root), Schur and Hessenberg forms, balancing, condition numbers,
// null spaces, constrained and structured solves, vector norms.
#ifndef MATRIX_LINALG_EXTRA_H
#define MATRIX_LINALG_EXTRA_H

#include <matrix/array.h>
#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Unless a function says otherwise: operands are two-dimensional arrays of
// class double or single, real or complex, and each refusal is a
// CFunctionErrorException naming the function, in this order: "<Function>:
// the operand must have two dimensions", "<Function>: the operand must be
// double or single" (logical and char too), "<Function>: the matrix must
// be square" (where it must);
// a single operand is computed in double and its results rounded to
// single; results are new arrays owned by the caller, complex only when
// some imaginary part is not zero (or the function says so); outputs of the
// reference forms are set to null first and stay null when the call throws.
// A matrix holding NaN or an infinity gives NaN elements where the
// algorithm cannot say more.

/// The matrix exponential by scaling and squaring with Pade approximants
/// of degree 3, 5, 7, 9 or 13 chosen by the 1-norm of A, the (13) one
/// after scaling A by 2^-s, then s squarings. Source: N. J. Higham, "The
/// scaling and squaring method for the matrix exponential revisited",
/// SIAM J. Matrix Anal. Appl. 26 (2005) 1179-1193, Algorithm 2.3. Real A
/// gives a real result.
[[nodiscard]] MATRIX_API CMatrix *Expm(const CMatrix *A);
/// The principal matrix logarithm by inverse scaling and squaring on the
/// complex Schur form: square roots of the triangular factor (Bjorck and
/// Hammarling's recurrence) until norm(T - I, 1) <= 0.25, then the [8/8]
/// Pade approximant of log(I + X) in its partial fraction form (8-point
/// Gauss-Legendre nodes). Source: N. J. Higham, Functions of Matrices,
/// SIAM 2008, Section 11.5; Cheng, Higham, Kenney and Laub, SIAM J. Matrix
/// Anal. Appl. 22 (2001) 1112-1125. A real A with no eigenvalue on the
/// closed negative real axis gives a real result (the real part); a
/// singular A gives large or non-finite values.
[[nodiscard]] MATRIX_API CMatrix *Logm(const CMatrix *A);
/// The principal matrix square root by the Schur method: A = U*T*U', R
/// upper triangular with R(j,j) = sqrt(T(j,j)) and R(i,j) = (T(i,j) -
/// sum R(i,k)*R(k,j)) / (R(i,i) + R(j,j)), X = U*R*U'. Source: Bjorck and
/// Hammarling, Linear Algebra Appl. 52/53 (1983) 127-140; Higham, Functions
/// of Matrices, Algorithm 6.3. Real results as for Logm; a singular A may
/// have no square root, and gives the infinities or NaNs of the recurrence.
[[nodiscard]] MATRIX_API CMatrix *Sqrtm(const CMatrix *A);

/// The Hessenberg form A = P*H*P' by Householder reflectors: H with zeros
/// below the subdiagonal, P unitary (real for real A).
[[nodiscard]] MATRIX_API CMatrix *Hess(const CMatrix *A);
MATRIX_API void Hess(CMatrix *&P, CMatrix *&H, const CMatrix *A);
/// The Schur form A = U*T*U'. A complex A, or a real A with complex true,
/// gives the complex Schur form (T upper triangular) by the shifted QR
/// algorithm of Eig; a real A with complex false the real Schur form (T
/// quasi upper triangular: 2 x 2 blocks for the complex pairs, U real
/// orthogonal) by the Francis double-shift QR algorithm.
[[nodiscard]] MATRIX_API CMatrix *Schur(const CMatrix *A, bool complex);
MATRIX_API void Schur(CMatrix *&U, CMatrix *&T, const CMatrix *A, bool complex);
/// Balances a real A: B = T\A*T, the same eigenvalues exactly. With
/// `permute` (the default), rows and columns are first permuted to isolate
/// eigenvalues (from the last row up, a row zero off the diagonal within the
/// leading hi columns moves to position hi and hi shrinks; then from column
/// lo on, a column zero off the diagonal within rows lo .. hi moves to lo
/// and lo grows), leaving B upper triangular outside rows and columns lo ..
/// hi. Then those rows and columns are scaled by powers of 2 (Parlett and
/// Reinsch's sweeps on 2-norms of the rows and columns within lo .. hi, as
/// James, Langou and Lowery 2014 state them). T = P*D has one element per
/// row: row k holds S(k) in column P(k) (so T(:, P) = diag(S) and B(P, P) =
/// diag(1./S)*A*diag(S)). A holding NaN or Inf is left as it is (T = I).
/// Single A gives single T, S and B; P is double. Complex A throws
/// CFunctionErrorException "Balance: complex matrices are not supported".
[[nodiscard]] MATRIX_API CMatrix *Balance(const CMatrix *A);
[[nodiscard]] MATRIX_API CMatrix *Balance(const CMatrix *A, bool permute);
MATRIX_API void Balance(CMatrix *&T, CMatrix *&B, const CMatrix *A);
MATRIX_API void Balance(CMatrix *&T, CMatrix *&B, const CMatrix *A, bool permute);
/// The scales S and the permutation P (columns, P 1-based) of the balancing
/// separately, with B.
MATRIX_API void Balance(CMatrix *&S, CMatrix *&P, CMatrix *&B, const CMatrix *A, bool permute);

/// The 2-norm condition number s(1)/s(end) of any m x n A from Svd: 0 for
/// an A without elements, Inf when the smallest value is 0.
MATRIX_API double Cond(const CMatrix *A);
/// The condition number in the p-norm, p = 1, 2 or Inf (fro: CondFro), as
/// Norm(A, p)*Norm(Inv(A), p) for square A, Inf when Rcond(A) is 0. Throws
/// CFunctionErrorException "Cond: A must be square for p other than 2",
/// "Cond: p must be 1, 2, Inf or 'fro'".
MATRIX_API double Cond(const CMatrix *A, double p);
MATRIX_API double CondFro(const CMatrix *A);
/// A lower bound for the 1-norm condition number of square A, norm(A,1)
/// times Hager's estimate of norm(inv(A),1) with Higham's refinements (at
/// most five iterations, then the alternative vector b(i) = (-1)^i*(1 +
/// i/(n-1))). Source: W. W. Hager, SIAM J. Sci. Stat. Comput. 5 (1984)
/// 311-316; N. J. Higham, ACM TOMS 14 (1988) 381-396, Algorithm 4.1.
/// Inf for a singular A; 0 for 0 x 0.
MATRIX_API double Condest(const CMatrix *A);
/// An orthonormal basis of the null space (columns of V from the SVD whose
/// singular values are at most max(m, n)*eps(s(1))), n x (n - r).
[[nodiscard]] MATRIX_API CMatrix *Null(const CMatrix *A);
/// An orthonormal basis of the range (the first r columns of U), m x r.
[[nodiscard]] MATRIX_API CMatrix *Orth(const CMatrix *A);

/// The non-negative least-squares solution x >= 0 of min norm(C*x - d) by
/// Lawson and Hanson's active set method (Solving Least Squares Problems,
/// 1974, Chapter 23, NNLS), with tolerance 10*eps*norm(C,1)*max(m, n) and
/// at most 3n outer iterations. C real m x n, d real m x 1. Sets x (n x 1),
/// resnorm (the squared 2-norm of the residual) and residual d - C*x.
/// Throws CFunctionErrorException "Lsqnonneg: ..." for complex or
/// mismatched operands.
MATRIX_API void Lsqnonneg(CMatrix *&x, double &resnorm, CMatrix *&residual, const CMatrix *C,
                          const CMatrix *d);

/// What Linsolve may assume of A.
struct LinsolveOptions {
    bool lowerTriangular = false;  ///< LT: A is lower triangular
    bool upperTriangular = false;  ///< UT: A is upper triangular
    bool symmetric = false;        ///< SYM (with positiveDefinite: Cholesky)
    bool positiveDefinite = false; ///< POSDEF
    bool transposed = false;       ///< TRANSA: solve A'*X = B
};
/// Solves A*X = B (A'*X = B when transposed) using what opts say of A:
/// a triangle by substitution (only that triangle read), a symmetric
/// positive definite A by Chol (falling back to Mldivide when it fails),
/// otherwise Mldivide. Sets r to the reciprocal condition estimate of a
/// square A (Rcond), or the rank of a rectangular one. Throws
/// CFunctionErrorException "Linsolve: LT and UT cannot both be set",
/// "Linsolve: a triangular A must be square", CMatrixDimsMustAgreeException.
[[nodiscard]] MATRIX_API CMatrix *Linsolve(const CMatrix *A, const CMatrix *B,
                                           const LinsolveOptions &opts, double &r);

/// The p-norms of the vectors along dimension dim (1-based; 0 for the first
/// of more than one element): p > 0 or Inf, the sum of |x|^p in increasing
/// index order (p = 1: sum |x|; p = 2: sqrt of the sum of squares; Inf: the
/// largest |x|, NaN when any is). Real of A's class, any dimensions.
/// Throws CFunctionErrorException "Vecnorm: p must be positive or Inf".
[[nodiscard]] MATRIX_API CMatrix *Vecnorm(const CMatrix *A, double p, unsigned int dim);

/// The generalized eigenvalues of A*v = lambda*B*v for Hermitian A and
/// Hermitian positive definite B, by Cholesky reduction B = R'*R, C =
/// R'\A/R (made exactly Hermitian), ascending real values. Throws
/// CFunctionErrorException "Eig: B must be symmetric positive definite"
/// and "Eig: the two-matrix form needs symmetric A and B".
[[nodiscard]] MATRIX_API CMatrix *EigGeneralized(const CMatrix *A, const CMatrix *B);
/// Also V with A*V = B*V*D, each column scaled so that v'*B*v = 1.
MATRIX_API void EigGeneralized(CMatrix *&V, CMatrix *&D, const CMatrix *A, const CMatrix *B);
/// Left eigenvectors W (W'*A = D*W') from right ones V: the columns of
/// inv(V)' scaled to 2-norm 1.
[[nodiscard]] MATRIX_API CMatrix *LeftEigenvectors(const CMatrix *V);

/// Chol that does not throw on failure: p = 0 and R (R'*R = A) or, lower,
/// L = R' (L*L' = A); else p the row (from 1) where the factorisation
/// failed and R the (p-1) x (p-1) factor of A's leading block. Classes and
/// other exceptions as Chol.
[[nodiscard]] MATRIX_API CMatrix *CholPartial(const CMatrix *A, bool lower, unsigned int &p);

/// A\B for non-square A through a complex Householder QR with column
/// pivoting (kernels::HouseholderQrTyped in double): the basic solution,
/// r = the number of leading |R(i,i)| > tol = max(m, n)*eps(class)*
/// |R(0,0)| of non-zero components. Any double or single, real or complex
/// operands (a real double pair too, whose Mldivide takes its own path);
/// sets rank and tol for the caller's warning. With right, X*B = A (A/B)
/// solved as B'*X' = A'. Throws as Mldivide (Mrdivide).
[[nodiscard]] MATRIX_API CMatrix *LeastSquares(const CMatrix *A, const CMatrix *B,
                                               unsigned int &rank, double &tol,
                                               bool right = false);

// The same for C++ callers.
inline Array Expm(const Array &a) { return Array::Adopt(Expm(a.get())); }
inline Array Logm(const Array &a) { return Array::Adopt(Logm(a.get())); }
inline Array Sqrtm(const Array &a) { return Array::Adopt(Sqrtm(a.get())); }
inline Array Null(const Array &a) { return Array::Adopt(Null(a.get())); }
inline Array Orth(const Array &a) { return Array::Adopt(Orth(a.get())); }
inline double Cond(const Array &a) { return Cond(a.get()); }

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_LINALG_EXTRA_H
