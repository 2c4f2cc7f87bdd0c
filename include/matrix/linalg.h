// include/matrix/linalg.h: matrix product, factorisations, solves, norms, eigenvalues.
#ifndef MATRIX_LINALG_H
#define MATRIX_LINALG_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// Multiplies matrices (A*B). Accepts real double arrays (the logical flag is
/// ignored). A one-element operand gives the element-wise product Times with
/// its value, of the other operand's shape (N-d included). Otherwise both
/// must be matrices, m x k and k x n; the result is a new real double m x n
/// matrix owned by the caller, element (i, j) the in-order sum 0.0 +
/// A(i,0)*B(0,j) + ... + A(i,k-1)*B(k-1,j) (each product rounded, then
/// added, so results are reproducible bit for bit). An inner length of 0 on
/// one side only gives a 0 x 0 matrix; on both sides an m x n matrix of
/// zeros. Throws, in this order: CNotImplementedException (an operand complex
/// or not double, scalars included), COperationOnNDArrayNotDefinedException
/// (more than two dimensions, neither operand a scalar),
/// CInnerMatrixDimsMustAgreeException, kiv::CExhaustedMemoryException.
MATRIX_API CMatrix *Mtimes(const CMatrix *A, const CMatrix *B);

/// Factorises a square real double matrix as P*A = L*U by Crout's method with
/// row-scaled partial pivoting (each candidate pivot weighed by 1/largest
/// magnitude of its row; the last of equal candidates wins). Sets L (n x n
/// unit lower triangular), U (n x n upper triangular) and P (n x n
/// permutation matrix): new real double arrays owned by the caller. A zero
/// pivot is replaced by 1e-20, so a singular A is factorised without error.
/// A 0 x 0 A gives three 0 x 0 matrices. The outputs are set to null first
/// and stay null when the call throws, in this order:
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (not
/// double, or complex), CMatrixMustBeSquareException,
/// kiv::CExhaustedMemoryException.
MATRIX_API void Lu(CMatrix *&L, CMatrix *&U, CMatrix *&P, const CMatrix *A);
/// Factorises a square real double matrix as A = L*U, where L is the unit
/// lower triangular factor of the three-output form with its rows permuted
/// (L = P'*L) and U is the same upper triangular factor. Sets new real
/// double arrays owned by the caller; outputs, empty case and exceptions as
/// the three-output form.
MATRIX_API void Lu(CMatrix *&L, CMatrix *&U, const CMatrix *A);
/// Returns the determinant of a square double matrix: the product of the
/// diagonal of the Lu factorisation, multiplied in increasing row order from
/// 1.0 and negated after an odd number of interchanges. An imaginary part is
/// ignored. A singular matrix gives a tiny value from its 1e-20 pivots (the
/// 2 x 2 zero matrix gives -1e-40), not 0; the 0 x 0 matrix gives 1.0.
/// Throws, in this order: COperationOnNDArrayNotDefinedException,
/// CNotImplementedException (not double), CMatrixMustBeSquareException (a
/// 0 x 3 matrix too), kiv::CExhaustedMemoryException.
MATRIX_API double Det(const CMatrix *A);
/// Solves A*X = B (A\B) for real double matrices, A m x n and B m x k. A
/// one-element A divides B element-wise (Ldivide), whatever B's shape. A
/// square A is solved by Gaussian elimination with partial pivoting (a zero
/// pivot becomes 1e-14: a singular A gives huge values, not an error). A
/// non-square A goes through Qr with column pivoting, A*E = Q*R: its rank r
/// is the number of leading |R(i,i)| above eps (not scaled by any norm of
/// A), and X has at most r non-zero components per column: the
/// least-squares solution when A is tall, a basic solution when it is wide.
/// With m = 0 the result is n x k zeros. Returns a new real double n x k
/// matrix owned by the caller. Throws, in this order: what Ldivide throws
/// (a one-element A), COperationOnNDArrayNotDefinedException,
/// CNotImplementedException (not double, or complex),
/// CMatrixDimsMustAgreeException (rows of B differ from m),
/// kiv::CExhaustedMemoryException.
MATRIX_API CMatrix *Mldivide(const CMatrix *A, const CMatrix *B);
/// Solves X*B = A (A/B) for real double matrices, as
/// Ctranspose(Mldivide(Ctranspose(B), Ctranspose(A))) with no other rule: a
/// one-element B divides A element-wise, a one-element A and a k x 1 B give
/// a 1 x k basic solution. Returns a new real double matrix owned by the
/// caller, with as many rows as A and as many as B has columns. Throws, in
/// this order: CNotImplementedException (an operand not double, or complex),
/// CTransposeOnNDArrayNotDefinedException (B, then A, of more than two
/// dimensions), CMatrixDimsMustAgreeException (columns of A differ from
/// columns of B), kiv::CExhaustedMemoryException.
MATRIX_API CMatrix *Mrdivide(const CMatrix *A, const CMatrix *B);

MATRIX_API CMatrix *Chol(const CMatrix *A, bool &ok);
MATRIX_API CMatrix *Chol(const CMatrix *A);

/// Factorises a real double m x n matrix by Householder reflections with
/// column pivoting, A*E = Q*R. Each step brings forward the first longest of
/// the remaining columns (entries within 1e-12 of zero do not count); a wide
/// A has its last row pivoted once more. Sets Q (m x m orthogonal), R (m x n
/// upper trapezoidal; R(k,k) = -sign(a)*norm of the remaining column, a its
/// leading element, so a positive one gives a negative diagonal element) and
/// E (n x n permutation matrix): new real double arrays owned by the caller.
/// A without elements gives Q = m x m identity, R = a new array sharing A's
/// data, E = n x n identity. Only the full factorisation exists: economy
/// must be false. The outputs are set to null first and stay null when the
/// call throws, in this order: CNotImplementedException (economy true, for
/// any A), COperationOnNDArrayNotDefinedException, CNotImplementedException
/// (not double, or complex), kiv::CExhaustedMemoryException.
MATRIX_API void Qr(CMatrix *&Q, CMatrix *&R, CMatrix *&E, const CMatrix *A, bool economy);
/// Factorises a real double m x n matrix by Householder reflections without
/// pivoting, A = Q*R. Sets Q and R as the three-output form (new real double
/// arrays owned by the caller); empty case, outputs and exceptions as there.
MATRIX_API void Qr(CMatrix *&Q, CMatrix *&R, const CMatrix *A, bool economy);

MATRIX_API CMatrix *Svd(const CMatrix *A, bool economy);
MATRIX_API void Svd(CMatrix *&U, CMatrix *&S, CMatrix *&V, const CMatrix *A, bool economy);
MATRIX_API unsigned int Rank(const CMatrix *A);
MATRIX_API unsigned int Rank(const CMatrix *A, double tol);
MATRIX_API double Norm(const CMatrix *A, double p);
MATRIX_API double NormFro(const CMatrix *A);

MATRIX_API CMatrix *Eig(const CMatrix *A, bool balance);
MATRIX_API void Eig(CMatrix *&D, CMatrix *&V, const CMatrix *A, bool balance);

MATRIX_API CMatrix *Planerot(const CMatrix *x);
MATRIX_API void Planerot(CMatrix *&G, CMatrix *&y, const CMatrix *x);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_LINALG_H
