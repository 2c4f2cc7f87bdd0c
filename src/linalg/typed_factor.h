// src/linalg/typed_factor.h: the factorisations of complex and single
// operands, behind the checks of the public functions.
#ifndef MATRIX_SRC_LINALG_TYPED_FACTOR_H
#define MATRIX_SRC_LINALG_TYPED_FACTOR_H

#include <matrix/cmatrix.h>

namespace kiv {
namespace matrix {
namespace linalg {

/// Whether A is complex double, single or complex single: the operands the
/// functions below take (a real double one takes the double kernels).
bool IsTypedOperand(const CMatrix *A);

/// Chol of a square non-empty typed A: R of A's class (complex when A is),
/// or a 0 x 0 of A's class with ok false.
CMatrix *CholTyped(const CMatrix *A, bool &ok);

/// Eigenvalues of a square non-empty Hermitian (real symmetric for single)
/// A, real of A's class, ascending; with V, D diagonal and V unitary of
/// A's class and complexity. Any other complex A: complex eigenvalues in
/// the order the QR algorithm deflates them, and unit eigenvectors. A real
/// single A that is not symmetric: the eigenvalues of the real double
/// kernels' steps in single (balance as asked), complex single when any
/// is; its eigenvectors those of the real double form on A widened, D and
/// V rounded to single.
CMatrix *EigTyped(const CMatrix *A, bool balance);
void EigTyped(CMatrix *&D, CMatrix *&V, const CMatrix *A);

/// Qr's forms on a two-dimensional typed A (E null: no pivoting).
void QrTyped(CMatrix *&Q, CMatrix *&R, CMatrix **E, const CMatrix *A, bool economy);

/// Singular values (real of A's class, largest first), and the vectors.
CMatrix *SvdTyped(const CMatrix *A);
void SvdTyped(CMatrix *&U, CMatrix *&S, CMatrix *&V, const CMatrix *A, bool economy);

/// Norm(A, p), NormFro(A), Rank(A, tol) (given false: the default) and
/// Pinv(A) of a two-dimensional typed A, in A's precision.
double NormTyped(const CMatrix *A, double p);
double NormFroTyped(const CMatrix *A);
unsigned int RankTyped(const CMatrix *A, bool given, double tol);
CMatrix *PinvTyped(const CMatrix *A);

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_LINALG_TYPED_FACTOR_H
