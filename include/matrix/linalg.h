// include/matrix/linalg.h: matrix product, factorisations, solves, norms, eigenvalues.
#ifndef MATRIX_LINALG_H
#define MATRIX_LINALG_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

MATRIX_API CMatrix *Mtimes(const CMatrix *A, const CMatrix *B);

MATRIX_API void Lu(CMatrix *&L, CMatrix *&U, CMatrix *&P, const CMatrix *A);
MATRIX_API void Lu(CMatrix *&L, CMatrix *&U, const CMatrix *A);
MATRIX_API double Det(const CMatrix *A);
MATRIX_API CMatrix *Mldivide(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Mrdivide(const CMatrix *A, const CMatrix *B);

MATRIX_API CMatrix *Chol(const CMatrix *A, bool &ok);
MATRIX_API CMatrix *Chol(const CMatrix *A);

MATRIX_API void Qr(CMatrix *&Q, CMatrix *&R, CMatrix *&E, const CMatrix *A, bool economy);
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
