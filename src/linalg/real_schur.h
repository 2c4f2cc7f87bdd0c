// src/linalg/real_schur.h: the real Schur form of a real square matrix.
#ifndef MATRIX_SRC_LINALG_REAL_SCHUR_H
#define MATRIX_SRC_LINALG_REAL_SCHUR_H

#include "linalg/dense.h"

namespace kiv {
namespace matrix {
namespace linalg {

/// Overwrites A with its real Schur form T = Z'*A*Z and sets Z orthogonal:
/// Householder reduction to Hessenberg form, then the Francis double-shift
/// QR algorithm (Golub & Van Loan, Matrix Computations, 4th ed., Algorithms
/// 7.4.2 and 7.5.2), every transformation applied to the whole of T and
/// to Z. A subdiagonal entry at most eps*(|T(l-1,l-1)| + |T(l,l)|) is set
/// to zero; the 10th and 20th tries of a block take an exceptional shift.
/// 2 x 2 diagonal blocks with real eigenvalues are split by a rotation, so
/// only complex pairs remain as blocks. Throws CFunctionErrorException
/// "Schur: the QR algorithm did not converge" after 30*n tries of a block.
void RealSchurForm(Dense<double> &A, Dense<double> &Z);

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_LINALG_REAL_SCHUR_H
