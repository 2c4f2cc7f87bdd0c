// src/kernels/typed_kernels.h: the factorisations on the element types other
// than double: float, std::complex<double> and std::complex<float>.
#ifndef MATRIX_SRC_KERNELS_TYPED_KERNELS_H
#define MATRIX_SRC_KERNELS_TYPED_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_support.h"
#include "kernels/scalar_types.h"

namespace kiv {
namespace matrix {
namespace kernels {

// Every kernel here is declared for a template element type T and
// instantiated for float, std::complex<double> and std::complex<float>
// (the Hermitian ones for the complex types and float). Arithmetic follows
// scalar_types.h; a real type R = RealType<T> computes in R throughout, so
// single stays single. Matrices are column-major.

/// The Cholesky factor of a Hermitian positive definite A, R'*R = A with R
/// upper triangular and a real diagonal, from the upper triangle of A (the
/// diagonal's imaginary parts are not read). For each row j = 0..n-1:
///   x = Re A(j,j) - |R(j-1,j)|^2 - ... - |R(0,j)|^2 (SquaredModulus), in
///       that decreasing order; x < 0: stop and return j + 1 (0 and NaN
///       pass); R(j,j) = sqrt(x);
///   R(j,i) = (A(j,i) - conj(R(0,j))*R(0,i) - ... - conj(R(j-1,j))*R(j-1,i))
///       / R(j,j) for i > j, products (ConjMul) subtracted in increasing k,
///       each part divided by the real R(j,j).
///   r [out] R, ldr >= max(1, n), its strictly lower triangle set to zero;
///           after a failure at row j only rows 0..j-1 and the zeros are
///           defined.
///   path [in] kPlain: row by row as written; otherwise blocks of rows
///           whose earlier products are subtracted first, the columns
///           shared among the threads for large n. The same bits either
///           way.
/// Returns 0, or the row (from 1) whose x was negative.
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Section 4.2.5.
template <class T>
KernelStatus CholeskyUpperTyped(std::size_t n, const T *a, std::size_t lda, T *r, std::size_t ldr,
                                KernelPath path = KernelPath::kFastest);

/// The reflector H = I - tau*v*v' (v(0) = 1) of LAPACK's convention
/// (larfg) with H'*[alpha; x] = [beta; 0], beta real: for x = 0 and a real
/// alpha, tau = 0 (H = I) and nothing changes; otherwise
/// beta = -(hypot(|alpha|, |x|) with the sign of Re alpha), tau =
/// ((beta - Re alpha)/beta, -Im alpha/beta), x(i) = x(i)/(alpha - beta)
/// (Div) and alpha = beta. |x| is the scaled 2-norm: s = max |x(i)| parts,
/// sqrt of the sum of SquaredModulus(x(i)/s) in increasing i, times s.
///   count [in] elements of x; x at stride inc
/// Returns tau.
template <class T>
T MakeReflector(std::size_t count, T &alpha, T *x, std::size_t inc);

/// Applies H = I - tau*v*v' (conj_tau: H' instead) from the left to the
/// rows x cols block c (ldc): each column y takes s = sum of ConjMul(v(i),
/// y(i)) in increasing i (from zero), then y(i) = y(i) - v(i)*(tau*s).
/// v(0) is taken as 1 whatever is stored there.
template <class T>
void ApplyReflectorLeft(std::size_t rows, std::size_t cols, const T *v, T tau, bool conj_tau, T *c,
                        std::size_t ldc);

/// Reduces a Hermitian (real symmetric for float) A, given by its lower
/// triangle, to a real symmetric tridiagonal T = Q'*A*Q,
/// Q = H(0)*H(1)*...*H(n-3)... by reflectors: for k = 0..n-2, H(k) = I -
/// tau(k) v v' from MakeReflector on A(k+1..n-1, k) (so every off-diagonal
/// is real), then the trailing block B takes p = tau*(B*v), K = -0.5*tau*
/// (p'*v), w = p + K*v, B = B - v*w' - w*v' on and below its diagonal,
/// whose imaginary parts are then zero.
///   a    [in,out] lower triangle of A; on exit v(k) in rows k+2.. of
///                 column k; lda >= n
///   d    [out] n diagonal entries; e [out] n-1 subdiagonal entries
///   tau  [out] n-1 factors
///   work [out] 2n elements
template <class T>
void HermitianTridiagonalize(std::size_t n, T *a, std::size_t lda, RealType<T> *d, RealType<T> *e,
                             T *tau, T *work);

/// Z = Q*Z for HermitianTridiagonalize's Q, Z n x cols (ldz): the
/// reflectors from the last to the first, each by ApplyReflectorLeft on
/// rows k+1.. .
template <class T>
void HermitianBackTransform(std::size_t n, const T *a, std::size_t lda, const T *tau,
                            std::size_t cols, T *z, std::size_t ldz);

/// Householder QR of the m x n matrix A in place (LAPACK's geqr2 layout):
/// for k = 0..min(m,n)-1 (with perm: first the remaining column of largest
/// 2-norm, the first such, swapped into place, norms computed afresh at
/// each step) H(k) from MakeReflector on A(k..m-1, k), and H(k)' applied
/// to the columns to its right. R on and above the diagonal (its diagonal
/// real), v(k) below it, tau[k].
///   perm [out] null, or n column indices: new column j is old perm[j]
///   work [out] n reals (with perm)
template <class T>
void HouseholderQrTyped(std::size_t m, std::size_t n, T *a, std::size_t lda, T *tau,
                        std::uint32_t *perm, RealType<T> *work);

/// Q's first cols columns (m x cols, ldq), k reflectors of
/// HouseholderQrTyped: from the identity, H(k-1), ..., H(0) applied in turn.
template <class T>
void HouseholderFormQTyped(std::size_t m, std::size_t k, const T *a, std::size_t lda, const T *tau,
                           std::size_t cols, T *q, std::size_t ldq);

/// The SVD of an m x n matrix A, m >= n >= 1: bidiagonalisation by
/// reflectors (LAPACK's gebd2 order: for i, column reflector on A(i..,i),
/// then row reflector on conj(A(i,i+1..))), whose betas make the
/// bidiagonal real, then SvdDecompose's phase 4 (implicitly shifted QR
/// sweeps, at most kSvdMaxTests tests a value) on it in type R.
///   a [in,out] A, destroyed
///   w [out]    n singular values, unsorted, NaN where given up
///   u [out]    null, or m x n U (ldu)
///   v [out]    null, or n x n V (ldv), A = U*diag(w)*V'
///   work [out] SvdTypedWorkspace(m, n) elements
/// Returns as SvdDecompose.
template <class T>
KernelStatus SvdTyped(std::size_t m, std::size_t n, T *a, std::size_t lda, RealType<T> *w, T *u,
                      std::size_t ldu, T *v, std::size_t ldv, T *work);
inline std::size_t SvdTypedWorkspace(std::size_t m, std::size_t n) { return 4 * n + m; }

/// Reduces a general complex A to upper Hessenberg form H = Q'*A*Q: for
/// k = 0..n-3, H(k) from MakeReflector on A(k+1.., k), H(k)' applied from
/// the left to columns k+1.. and H(k) from the right to every row.
///   a    [in,out] A; on exit H on and above the subdiagonal, v(k) in rows
///                 k+2.. of column k (the layout of HermitianTridiagonalize)
///   tau  [out] n-2 factors; work [out] n elements
template <class T>
void HessenbergReduceTyped(std::size_t n, T *a, std::size_t lda, T *tau, T *work);

/// The Schur form T = Z'*H*Z of an upper Hessenberg H (entries below the
/// subdiagonal are cleared first) by the single-shift QR algorithm: a
/// subdiagonal entry h(l,l-1) with |h| <= eps*(|h(l-1,l-1)| + |h(l,l)|)
/// (Abs1 sizes; the largest |h| when both are zero) is set to zero; the
/// shift is the eigenvalue of the trailing 2 x 2 block nearer its last
/// diagonal entry (h(i,i) + 0.75*|Re h(i,i-1)| at every 10th try); each
/// sweep chases the bulge with rotations [c s; -conj(s) c], c real.
///   w [out] n eigenvalues, in the order of deflation (from the last)
///   z [in,out] null (values only: only the active block is updated), or
///             n x n (ldz) taking every rotation from the right: Q gives
///             A's Schur vectors
/// Returns 0, or the order of the block whose eigenvalue was not found by
/// its kComplexSchurMaxTests-th try (w(0..that-1) NaN).
constexpr int kComplexSchurMaxTests = 30;
template <class T>
KernelStatus ComplexSchur(std::size_t n, T *h, std::size_t ldh, T *w, T *z, std::size_t ldz);

/// Overwrites the Schur vectors z with unit eigenvectors: for k from the
/// last, y solves (T(0..k-1, 0..k-1) - t(k,k))y = -T(0..k-1, k) by back
/// substitution (a divisor smaller than eps*max|t| replaced by that), y(k)
/// = 1, and column k becomes Z*y scaled to 2-norm 1.
///   work [out] 2n elements
template <class T>
void SchurEigenvectors(std::size_t n, const T *t, std::size_t ldt, T *z, std::size_t ldz, T *work);

/// sqrt(a^2 + b^2) as SafeHypot computes it, in R.
template <class R>
R SafeHypotOf(R a, R b);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_TYPED_KERNELS_H
