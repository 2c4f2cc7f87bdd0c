// include/matrix/linalg.h: matrix product, factorisations, solves, norms, eigenvalues.
#ifndef MATRIX_LINALG_H
#define MATRIX_LINALG_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// Multiplies matrices (A*B). A one-element operand gives the element-wise
/// product Times with its value, of the other operand's shape (N-d
/// included). Otherwise both must be matrices, m x k and k x n; the result
/// is a new m x n matrix owned by the caller. Real double operands (the
/// logical flag is ignored) give a real double result, element (i, j) the
/// in-order sum 0.0 + A(i,0)*B(0,j) + ... + A(i,k-1)*B(k-1,j) (each product
/// rounded, then added, so results are reproducible bit for bit). An inner
/// length of 0 on one side only gives a 0 x 0 matrix; on both sides an
/// m x n matrix of zeros. A one-element operand of another class (integer,
/// single, char, complex) makes the product Times(A, B), where every class
/// computes (an int32 matrix times 2 is int32).
/// Matrices of other classes: the product is single when either operand is
/// single (a double operand rounded to single first, the sums in single),
/// else double (char takes part with its values). Complex operands are
/// taken part by part, each part of C one real in-order sum as above,
/// continued by a second when both are complex, each product rounded:
///   Re C(i,j) = (0 + Ar(i,0)*Br(0,j) + ... + Ar(i,k-1)*Br(k-1,j))
///               - Ai(i,0)*Bi(0,j) - ... - Ai(i,k-1)*Bi(k-1,j)
///   Im C(i,j) = (0 + Ar(i,0)*Bi(0,j) + ... + Ar(i,k-1)*Bi(k-1,j))
///               + Ai(i,0)*Br(0,j) + ... + Ai(i,k-1)*Br(k-1,j)
/// left to right; with one complex operand each part is the one sum of
/// the real operand with that part (Re C = Ar*Br, Im C = Ai*Br or Ar*Bi).
/// A result whose imaginary parts are all zero is made real, as the
/// element-wise arithmetic does. Throws, in this order:
/// CFunctionErrorException "Mtimes: integer matrices have no matrix
/// arithmetic; convert them with double or single" (an integer operand of
/// two or more elements with a non-scalar other), CNotImplementedException
/// (cell, struct or another class), COperationOnNDArrayNotDefinedException
/// (more than two dimensions, neither operand a scalar),
/// CInnerMatrixDimsMustAgreeException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Mtimes(const CMatrix *A, const CMatrix *B);

/// Raises to a matrix power (A^B). Two one-element operands, of any
/// classes Power takes, give Power(A, B), 1 x 1, with its class rules and
/// refusals. Real double arrays (the logical flag is ignored) take the
/// steps below; other classes, fractional exponents and a one-element A
/// with a square B take those of "Other powers" further down.
/// Otherwise B must hold one whole number p and A be a square matrix (n x n,
/// 0 x 0 included): p = 0 gives Eye(n); p > 0 gives A^p by repeated
/// squaring: with X = A and the bits of p taken from the lowest, the lowest
/// set bit sets R = X, each further set bit R = Mtimes(R, X), and X =
/// Mtimes(X, X) between bits (A^6: X2 = A*A, R = X2, X4 = X2*X2, R =
/// R*X4); p < 0 gives the same with X = Inv(A) (a singular A gives the huge
/// or non-finite values Inv gives). Returns a new real double array owned by the caller.
/// Other powers: complex, single and char operands (a single one makes the
/// result single) take the same repeated squaring in their class's Mtimes
/// and Inv for a whole p; a fractional, complex or non-finite p, and a
/// one-element A raised to a square B, are computed as V*diag(f(w))*inv(V)
/// from the eigenvalues w and eigenvectors V of the complex Schur form
/// (f(w) = w^p, or A^w), made real when the operands are real and no
/// eigenvalue lies on the closed negative real axis (for A^w: A > 0).
/// Throws, in this order: CFunctionErrorException "Mpower: integer
/// matrices have no matrix arithmetic; convert them with double or single",
/// CNotImplementedException (cell, struct or another class),
/// COperationOnNDArrayNotDefinedException (more than two dimensions),
/// CFunctionErrorException "Mpower: the exponent must be a scalar; a
/// matrix exponent is not supported" (neither operand one element),
/// CMatrixMustBeSquareException, CFunctionErrorException "Mpower: the QR
/// algorithm did not converge" (the Schur form failed, as on NaN),
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Mpower(const CMatrix *A, const CMatrix *B);

/// Other classes. Lu, Det, DetArray, Mldivide, Mrdivide, Inv, Rcond, Trace,
/// TraceArray, Dot and Cross also take single and complex operands (and char
/// as double): a single operand makes the computation single (a double one
/// is rounded to single first), and it runs in that precision throughout.
/// Complex arithmetic is that of kernels/scalar_types.h in a stated order:
/// quotients by Div (Smith's method); the updates of Lu's Crout steps and of
/// the elimination part by part, a - x*t as re = (re - xr*tr) + xi*ti,
/// im = (im - xr*ti) - xi*tr, and y + f*t as re = (re + fr*tr) - fi*ti,
/// im = (im + fr*ti) + fi*tr with the two products of a zero part of f
/// left out; the substitutions' sums and Det's product by Mul (re =
/// xr*yr - xi*yi, im = xr*yi + xi*yr), each then added part by part. The
/// factorisations and solves take the
/// steps of the real double text below one at a time, with |x| replaced by
/// |re(x)| + |im(x)| in the row scales and pivot searches (the measure of
/// the reference BLAS's icamax and izamax) and a pivot zero when both its
/// parts are. Lu's outputs are of A's class (P real), complex when A is;
/// a solve's result is complex when an operand is, and made real when its
/// imaginary parts are all zero (as the element-wise arithmetic does);
/// the estimates of the reciprocal condition are Higham's complex
/// algorithm for complex operands (signs y/|y|, solves with the conjugate
/// transpose, moduli in the norms). Non-square systems of these classes
/// are solved as LeastSquares (linalg_extra.h) states: a complex
/// Householder QR with column pivoting, the basic solution with
/// max(m, n)*eps*|R(0,0)| as the rank tolerance. An integer operand (of two or more
/// elements where a scalar would divide element-wise) throws
/// CFunctionErrorException "<Function>: integer matrices have no matrix
/// arithmetic; convert them with double or single"; cell, struct and
/// other classes CNotImplementedException. Det and Trace return a double
/// and so refuse a complex A with CFunctionErrorException ("... use
/// DetArray", "... use TraceArray"); a single A's value is widened.
/// Dot conjugates its first operand: the sum of Conj(A(i))*B(i) by ConjMul,
/// re = ar*br + ai*bi, im = ar*bi - ai*br, in increasing i.

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
/// Returns the determinant as a new 1 x 1 array owned by the caller: Det(A)
/// for a real double A; for other classes (see "Other classes" below) the
/// product of the diagonal of their Lu in the same order, in the class's
/// arithmetic (complex products by Mul of kernels/scalar_types.h: re =
/// xr*yr - xi*yi, im = xr*yi + xi*yr), of class single or double, complex
/// when A is. Throws as Det, with Det's class exceptions replaced by those
/// of the other classes.
[[nodiscard]] MATRIX_API CMatrix *DetArray(const CMatrix *A);
/// Solves A*X = B (A\B) for real double matrices, A m x n and B m x k. A
/// one-element A divides B element-wise (Ldivide), whatever B's shape. A
/// square A is solved by Gaussian elimination with partial pivoting (a zero
/// pivot becomes 1e-14: a singular A gives huge values, not an error),
/// except in the fast order (order.h), where an upper or lower triangular A
/// (every element on the other side of the diagonal zero; upper when
/// diagonal) is solved by back or forward substitution without
/// interchanges: x(q) = (b(q) - s(q))/A(q,q), s(q) = 0.0 + A(q,c)*x(c) + ...
/// over the rows c solved before q, in the order they were solved (the
/// first row solved is b/A(q,q)); a zero on the diagonal gives the
/// infinities and NaNs of that arithmetic. A
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
[[nodiscard]] MATRIX_API CMatrix *Mldivide(const CMatrix *A, const CMatrix *B);
/// Solves A*X = B exactly as Mldivide(A, B) does (the same X, bit for bit,
/// and the same exceptions) and sets rcond to an estimate of the reciprocal
/// condition number of a square A in the 1-norm, as Rcond states, from the
/// factors of the solve itself: those of the elimination, or of the
/// triangle that the fast order substitutes with. A one-element or
/// non-square A gives NaN (no estimate); rcond is not changed when the
/// call throws.
[[nodiscard]] MATRIX_API CMatrix *Mldivide(const CMatrix *A, const CMatrix *B, double &rcond);
/// Returns an estimate of the reciprocal condition number of a square real
/// double matrix in the 1-norm, 1/(norm(A,1)*norm(inv(A),1)), from its
/// Gaussian elimination with partial pivoting and Hager's and Higham's
/// estimate of norm(inv(A),1) (within a factor of 3 of it, usually exact):
/// near 1 for a well-conditioned A, near eps or below for one that is
/// singular to working precision. 0.0 for a zero A or an exactly zero
/// pivot, NaN when A holds NaN, Inf for the 0 x 0 matrix. Throws, in this
/// order: COperationOnNDArrayNotDefinedException, CNotImplementedException
/// (not double, or complex), CMatrixMustBeSquareException,
/// kiv::CExhaustedMemoryException.
MATRIX_API double Rcond(const CMatrix *A);
/// Solves X*B = A (A/B) for real double matrices, as
/// Ctranspose(Mldivide(Ctranspose(B), Ctranspose(A))) with no other rule: a
/// one-element B divides A element-wise, a one-element A and a k x 1 B give
/// a 1 x k basic solution. A one-element B with an operand of another class
/// gives Rdivide(A, B), where every class computes (int32(7)/2 is 4), and an
/// rcond of NaN. Returns a new real double matrix owned by the caller, with
/// as many rows as A and as many as B has columns. Throws, in this order:
/// CNotImplementedException (otherwise an operand not double, or complex),
/// CTransposeOnNDArrayNotDefinedException (B, then A, of more than two
/// dimensions), CMatrixDimsMustAgreeException (columns of A differ from
/// columns of B), kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Mrdivide(const CMatrix *A, const CMatrix *B);
/// Solves X*B = A as Mrdivide(A, B) does (the same X and exceptions) and
/// sets rcond to the estimate that Mldivide(B', A', rcond) gives for B'
/// (in the 1-norm of B', the infinity norm of B); rcond is not changed when
/// the call throws.
[[nodiscard]] MATRIX_API CMatrix *Mrdivide(const CMatrix *A, const CMatrix *B, double &rcond);

/// Factorises a real symmetric positive definite matrix as A = R'*R, R
/// upper triangular, reading only A's upper triangle (the diagonal
/// included): a non-symmetric A is taken as the symmetric matrix of its
/// upper triangle. Row by row, x = A(j,j) - R(j-1,j)^2 - ... - R(0,j)^2
/// (subtracted from the last square up), R(j,j) = sqrt(x), and R(j,i) =
/// (A(j,i) - R(0,j)*R(0,i) - ... - R(j-1,j)*R(j-1,i)) / R(j,j). Sets ok to
/// true, then to false when some x is negative; a zero x passes and gives
/// infinities or NaNs without a report. Returns a new real double n x n
/// matrix owned by the caller: R, or 0 x 0 when ok is false. Any A without
/// elements (whatever its shape, class or dimensions) gives 0 x 0 with ok
/// true. A complex A (double or single) is taken as Hermitian from its upper
/// triangle: R'*R = A with R upper triangular and a real positive diagonal,
/// complex, of A's class; a single A gives single R (and a single 0 x 0
/// when ok is false); the steps as kernels::CholeskyUpperTyped states them.
/// Throws, in this order: CMatrixMustBeSquareException (also for more than
/// two dimensions), COperationNotDefinedOnClassException (class neither
/// double nor single), kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Chol(const CMatrix *A, bool &ok);
/// Returns R as the form with ok does (a new real double matrix owned by the
/// caller), or throws CFunctionErrorException "Matrix must be positive
/// definite" where that form reports ok false; its other exceptions, in the
/// same order, are those of that form.
[[nodiscard]] MATRIX_API CMatrix *Chol(const CMatrix *A);

/// Factorises a real double m x n matrix by Householder reflections with
/// column pivoting, A*E = Q*R. Each step brings forward the first longest of
/// the remaining columns (entries within 1e-12 of zero do not count); a wide
/// A has its last row pivoted once more. Sets Q (m x m orthogonal), R (m x n
/// upper trapezoidal; R(k,k) = -sign(a)*norm of the remaining column, a its
/// leading element, so a positive one gives a negative diagonal element) and
/// E (n x n permutation matrix): new real double arrays owned by the caller.
/// A without elements gives Q = m x m identity, R = a new array sharing A's
/// data, E = n x n identity. Only the full factorisation exists: economy
/// must be false. A complex or single non-empty A is factorised by the
/// reflectors of kernels::HouseholderQrTyped (LAPACK's convention: R's
/// diagonal real, -sign(Re a)*norm), pivoting on the first longest
/// remaining column; Q and R of A's class and complexity, E double. The
/// outputs are set to null first and stay null when the call throws, in
/// this order: CNotImplementedException (economy true, for any A),
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (class
/// neither double nor single), kiv::CExhaustedMemoryException.
MATRIX_API void Qr(CMatrix *&Q, CMatrix *&R, CMatrix *&E, const CMatrix *A, bool economy);
/// Factorises a real double m x n matrix by Householder reflections without
/// pivoting, A = Q*R. Sets Q and R as the three-output form (new real double
/// arrays owned by the caller); empty case, outputs and exceptions as there.
MATRIX_API void Qr(CMatrix *&Q, CMatrix *&R, const CMatrix *A, bool economy);

/// Computes the singular values of a real double m x n matrix by the
/// Golub-Kahan-Reinsch procedure (Householder bidiagonalisation, then
/// implicitly shifted QR sweeps, at most 30 convergence tests per value) on
/// A itself. Returns a new real double min(m, n) x 1 column owned by the
/// caller, largest first (equal values in the order the procedure left
/// them); an A without elements gives 0 x 1. economy has no effect. A value
/// still unsettled after its 30th test, and every value the procedure had
/// not reached by then, is reported as NaN. A complex or single A is
/// reduced by reflectors to a real bidiagonal (kernels::SvdTyped; a wide A
/// through A') and its values are real of A's class. Throws, in this order:
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (class
/// neither double nor single), kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Svd(const CMatrix *A, bool economy);
/// Decomposes a real double m x n matrix as A = U*S*V', S diagonal with the
/// singular values largest first, U and V with orthonormal columns in the
/// same order. A tall or square A is decomposed as it is, a wide one
/// through A' (U and V swap roles); without economy the decomposed p x q
/// matrix (p >= q) is padded with zero columns to p x p. Sets new real
/// double arrays owned by the caller, with k = min(m, n):
///   economy false: U m x m, S m x n, V n x n;
///   economy true:  U m x k, S k x k, V n x k (the same when m = n).
/// An A without elements gives the same shapes, U and V the leading
/// columns of the identity and S zeros. Values given up on are NaN, as for
/// the one-output form. A complex or single A gives U and V of its class
/// and complexity (A = U*S*V' with V' the conjugate transpose) and a real S
/// of its class. The outputs are set to null first and stay null when the
/// call throws, in this order: COperationOnNDArrayNotDefinedException,
/// CNotImplementedException (class neither double nor single),
/// kiv::CExhaustedMemoryException.
MATRIX_API void Svd(CMatrix *&U, CMatrix *&S, CMatrix *&V, const CMatrix *A, bool economy);
/// Returns the rank of a real double matrix with the default tolerance
/// eps*(max(m, n)*s(0)), s(0) the largest singular value of Svd(A, false):
/// the number of leading singular values strictly greater than the
/// tolerance (the zero matrix has rank 0; a NaN value neither counts nor
/// ends the count). An A without elements has rank 0 whatever its shape or
/// class. A single A takes single's eps. Throws what Svd(A, false) throws,
/// in the same order.
MATRIX_API unsigned int Rank(const CMatrix *A);
/// Returns the number of leading singular values of A strictly greater than
/// tol, as the default-tolerance form does.
MATRIX_API unsigned int Rank(const CMatrix *A, double tol);
/// Returns the p-norm of a real double vector or matrix. A vector (one row
/// or one column): p = 0 gives +Inf; p = +Inf the largest |v(i)|, p = -Inf
/// the smallest; p = 1 the sum of |v(i)| in storage order; any other p
/// (2 included) pow(sum of pow(|v(i)|, p), 1/p) in storage order. A matrix:
/// p = 1 the largest column sum of magnitudes, p = +Inf the largest row sum
/// (the maxima start at 0.0), p = 2 the largest singular value (NaN when
/// the SVD gave up on it). An A without elements gives 0.0. A complex or
/// single A sums moduli in its own precision (the 2-norm from Svd's
/// values; a NaN value gives NaN). Throws, in this order:
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (class
/// neither double nor single), CFunctionErrorException "The only matrix
/// norms available are 1, 2, inf and fro" (a matrix with another p),
/// kiv::CExhaustedMemoryException.
MATRIX_API double Norm(const CMatrix *A, double p);
/// Returns the Frobenius norm of a real double matrix: sqrt of the sum of
/// the squares of all elements, summed in storage order without scaling;
/// 0.0 for an A without elements; a complex or single A the squared moduli
/// in its own precision. Throws, in this order:
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (class
/// neither double nor single).
MATRIX_API double NormFro(const CMatrix *A);

/// Computes the eigenvalues of a real double square matrix: optional
/// balancing by powers of 2, reduction to Hessenberg form by elimination
/// with pivoting, and the Francis double-shift QR algorithm with
/// exceptional shifts, at most 30 tests per eigenvalue. Returns a new
/// double n x 1 column owned by the caller, in the order of deflation (not
/// sorted). An eigenvalue whose imaginary part exceeds eps in magnitude is
/// complex: a conjugate pair is reported side by side as a + bi, a - bi
/// (b > 0 first), and the column is then complex, the other eigenvalues
/// having imaginary part 0.0 exactly; an imaginary part of at most eps is
/// dropped (its real part kept). When every eigenvalue is real the column
/// is real. Eigenvalues not found by their 30th test are reported as NaN.
/// In the fast order (GetOrder()) a matrix exactly equal to its transpose
/// takes the symmetric solver instead (balance is then not used):
/// Householder reduction to tridiagonal form and implicit QL with
/// Wilkinson's shift (the cyclic Jacobi method on A instead, for the
/// strongly graded matrices on which QL gives up), the values real and
/// ascending. A 0 x 0 A gives 0 x 1
/// whatever its class. A complex or single A, in either order: Hermitian
/// (exactly equal to its conjugate transpose, the diagonal real; for real
/// single, symmetric) goes through kernels::HermitianTridiagonalize and QL
/// in its precision, the values real of its class and ascending; any other
/// complex A through kernels::HessenbergReduceTyped and ComplexSchur, the
/// values complex in the order of deflation; a real single A by this
/// function's double steps in single. Throws, in this order:
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (class
/// neither double nor single), CMatrixMustBeSquareException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Eig(const CMatrix *A, bool balance);
/// Computes the eigenvalues as the one-output form does and an eigenvector
/// for each by inverse iteration: from a normally distributed start (Randn,
/// so kiv::RandSeed repeats it), x = (A - lambda*I)\x normalised, at most
/// 10 solves, stopping when two iterates agree within 1e-6 up to sign; a
/// solve whose norm is not finite (a 1 x 1 A, a NaN eigenvalue) keeps the
/// previous iterate. Sets D, the n x n diagonal matrix of the eigenvalues,
/// and V, whose column k is a unit vector for the k-th (its sign depends on
/// the start): new double arrays owned by the caller, complex when any
/// eigenvalue is. For a complex pair (k, k+1) the iteration runs for the
/// eigenvalue with the positive imaginary part in complex arithmetic (the
/// start real, agreement judged up to a factor of modulus 1, the newer of
/// the two agreeing iterates kept) and column k+1 is the conjugate of
/// column k; real eigenvalues keep real columns (imaginary parts 0.0).
/// Every column takes n values from Randn in turn, a pair's second column
/// too (unused), so the generator advances by n*n whatever the spectrum.
/// In the fast order a symmetric A (exactly equal to its transpose) gets
/// the symmetric solver's real D, ascending, and orthonormal V, each
/// column's entry of largest magnitude (the first such on ties) positive;
/// no random values are drawn. From order 64 the tridiagonal problem is
/// then solved by divide and conquer (QL on blocks of at most 32), so D can
/// differ in its last bits from the one-output form's values. A 0 x 0 A gives two 0 x 0 matrices.
/// The outputs are set to null first and stay null when the call throws,
/// the exceptions of the one-output form in the same order, then those of
/// Mldivide, Norm, Randn and Rdivide in the iteration. A complex or single
/// Hermitian A gets real D of its class, ascending, and unitary V, each
/// column's first entry of largest modulus real and positive; any other
/// complex A gets complex D (the one-output form's values) and unit columns
/// of V from the Schur vectors (kernels::SchurEigenvectors); a real single
/// A that is not symmetric gets this form's D and V of A widened to double,
/// rounded to single.
MATRIX_API void Eig(CMatrix *&D, CMatrix *&V, const CMatrix *A, bool balance);

/// Builds the Givens rotation G = [c s; -s c] that turns a two-element real
/// double x into [r; 0], r = sqrt(x(0)^2 + x(1)^2) computed without overflow
/// (sqrt((q/p)^2 + 1.0)*p with p the larger magnitude), c = x(0)/r,
/// s = x(1)/r; G is the identity when r is 0.0. Only the element count is
/// tested: a row, a column or any array of two elements will do. Returns a
/// new real double 2 x 2 matrix owned by the caller. Throws, in this order:
/// CFunctionErrorException "Matrix must be a column of two elements",
/// CNotImplementedException (not double, or complex),
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Planerot(const CMatrix *x);
/// Sets G as the one-output form does and y = [r; 0] (computed directly,
/// not as G*x): new real double arrays owned by the caller, 2 x 2 and
/// 2 x 1. The outputs are set to null first and stay null when the call
/// throws, the exceptions of the one-output form in the same order.
MATRIX_API void Planerot(CMatrix *&G, CMatrix *&y, const CMatrix *x);

// Traces, dot and cross products, inverses.

/// Returns the trace of a square real double matrix: the in-order sum
/// 0.0 + A(0,0) + A(1,1) + ... (0.0 for the 0 x 0 matrix). Throws, in this
/// order: COperationOnNDArrayNotDefinedException, CNotImplementedException
/// (not double, or complex), CMatrixMustBeSquareException.
MATRIX_API double Trace(const CMatrix *A);
/// Returns the trace as a new 1 x 1 array owned by the caller: Trace(A) for
/// a real double A, else the sum of the diagonal in increasing order, part
/// by part, of class single or double, complex when A is.
[[nodiscard]] MATRIX_API CMatrix *TraceArray(const CMatrix *A);
/// Returns the dot product of two real double arrays. Two vectors with the
/// same number of elements (a row and a column will do) give the 1x1 in-order
/// sum 0.0 + A(0)*B(0) + A(1)*B(1) + ... (each product rounded, then added).
/// Two matrices of one shape m x n give the 1 x n row of the dot products
/// of their columns, each summed in the same order; the 0 x 0 pair gives the
/// 1x1 zero. Returns a new real double array owned by the caller. Throws, in
/// this order: COperationOnNDArrayNotDefinedException (A, then B),
/// CNotImplementedException (A, then B, not double or complex),
/// CMatrixDimsMustAgreeException (the shapes differ and the operands are not
/// two vectors of one length), kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Dot(const CMatrix *A, const CMatrix *B);
/// Returns the cross product of two real double 3-vectors of the same shape
/// (both rows or both columns): [A(1)*B(2) - A(2)*B(1), A(2)*B(0) -
/// A(0)*B(2), A(0)*B(1) - A(1)*B(0)], each product rounded, then subtracted.
/// Returns a new real double array shaped like A, owned by the caller.
/// Throws, in this order: CNotImplementedException (A, then B, not double or
/// complex), CFunctionErrorException "A and B must be of length 3 in the
/// dimension in which the cross product is taken" (any other shapes),
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Cross(const CMatrix *A, const CMatrix *B);
/// Returns the inverse of a square real double matrix as Mldivide(A, Eye(n))
/// computes it: Gaussian elimination with partial pivoting (substitution
/// for a triangular A in the fast order), so a singular A
/// gives huge or non-finite values, not an error, exactly as Mldivide does;
/// a 1 x 1 A gives 1/A(0); the 0 x 0 matrix gives 0 x 0. Returns a new real
/// double n x n matrix owned by the caller. Throws, in this order:
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (not
/// double, or complex), CMatrixMustBeSquareException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Inv(const CMatrix *A);
/// Returns Inv(A) (the same bits and exceptions) and sets rcond to the
/// estimate that Mldivide(A, Eye(n), rcond) gives: for a 1 x 1 A, 1.0, or
/// 0.0 when A is zero, NaN when it is NaN; not changed when the call throws.
[[nodiscard]] MATRIX_API CMatrix *Inv(const CMatrix *A, double &rcond);
/// Returns the Moore-Penrose pseudo-inverse of a real double m x n matrix
/// through Svd(U, S, V, A, true): with the tolerance of Rank(A),
/// eps*(max(m, n)*s(0)), the r leading singular values strictly above it
/// are kept (a NaN value neither counts nor ends the count), and the
/// result is W*U(:, kept)' by Mtimes, where W = V(:, kept) with each column
/// divided by its singular value. r = 0, and any A without elements, give
/// n x m zeros. Returns a new real double n x m matrix owned by the caller;
/// for a complex or single A one of its class and complexity, with its
/// class's eps in the tolerance and X(i,j) = sum over the kept c of
/// (V(i,c)/s(c))*conj(U(j,c)) in increasing c. Throws, in this order:
/// COperationOnNDArrayNotDefinedException, CNotImplementedException (class
/// neither double nor single), kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Pinv(const CMatrix *A);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_LINALG_H
