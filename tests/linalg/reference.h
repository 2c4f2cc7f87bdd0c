// tests/linalg/reference.h: plain versions of the stated orders of operations.
//
// Each function follows the library's definition step by step, row by row
// where the definition is row by row, with no blocking and no reordering:
// as simple as the text, and deliberately sharing no code with the library.
#ifndef MATRIX_TESTS_LINALG_REFERENCE_H
#define MATRIX_TESTS_LINALG_REFERENCE_H

#include <cstdint>
#include <vector>

#include "linalg/linalg_test_util.h"

namespace linalg_test {
namespace ref {

Dense Mtimes(const Dense &a, const Dense &b);

/// Crout LU in place; returns the pivot record (from 1) and the parity.
std::vector<std::int32_t> LuCrout(Dense &a, int &parity);
/// The three-output factors; with P empty (0 x 0) for n = 0.
void Lu(const Dense &a, Dense &l, Dense &u, Dense &p);
/// The two-output L (rows moved) and U.
void Lu(const Dense &a, Dense &l, Dense &u);
double Det(const Dense &a);

std::vector<double> BackSubstitute(const Dense &u, std::size_t n, const std::vector<double> &b);
/// Gaussian elimination on copies; returns X.
Dense GaussSolve(Dense a, Dense b);

double ColumnNorm(const double *x, std::size_t count);
/// Q, R and (when pivot) E with A*E = Q*R; also the raw parts for kernel
/// tests: the reduced matrix before Q is formed, c, d and perm.
struct QrParts {
    Dense q, r, e;
    Dense reduced;
    std::vector<double> c, d;
    std::vector<std::uint32_t> perm;
};
QrParts Qr(const Dense &a, bool pivot);

Dense Mldivide(const Dense &a, const Dense &b);

}  // namespace ref
}  // namespace linalg_test

#endif  // MATRIX_TESTS_LINALG_REFERENCE_H
