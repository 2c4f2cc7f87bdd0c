// tests/linalg/decomposition_reference.h: plain versions of the stated orders of operations of the rotation, Cholesky, SVD and eigenvalue procedures.
//
// Each function follows the library's definition step by step with indices
// from 1 where the definition counts from 1: no blocking, no shortcuts, as
// simple as the text, and sharing no code with the library.
#ifndef MATRIX_TESTS_LINALG_DECOMPOSITION_REFERENCE_H
#define MATRIX_TESTS_LINALG_DECOMPOSITION_REFERENCE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "linalg/linalg_test_util.h"

namespace linalg_test {
namespace ref {

/// The library's NaN, reported for values a procedure gave up on.
double GiveUpNaN();

double SafeHypot(double a, double b);
/// G (2 x 2) and r of the rotation of [x0; x1].
Dense Planerot(double x0, double x1, double &r);

/// R with R'*R = A from A's upper triangle; ok false when an x < 0.
Dense Chol(const Dense &a, bool &ok);

/// SvdDecompose of an m x n matrix: a becomes U, w the n unsorted values,
/// v the n x n V. Returns the k at which it gave up (w(1..k) NaN), or 0.
std::size_t SvdDecompose(Dense &a, std::vector<double> &w, Dense &v);
std::vector<std::uint32_t> SortDescending(const std::vector<double> &values);
/// New column i := old column positions[i].
void PermuteColumns(Dense &a, const std::vector<std::uint32_t> &positions);
/// The one-output Svd: the min(m, n) largest values of the decomposition of
/// A itself.
std::vector<double> SvdValues(const Dense &a);
/// The three-output Svd with the conformant shapes (a wide A through A').
void Svd(const Dense &a, bool economy, Dense &u, Dense &s, Dense &v);

/// Vector and matrix norms as the library defines them; Norm returns false
/// in `valid` for a matrix p other than 1, 2 and +Inf.
double Norm(const Dense &a, double p, bool &valid);
double NormFro(const Dense &a);

void Balance(Dense &a);
void ReduceToHessenberg(Dense &a);
/// Returns the active block's size nn when it gave up (wr, wi NaN on
/// 1..nn), or 0.
std::size_t HessenbergEigenvalues(Dense &a, std::vector<double> &wr, std::vector<double> &wi);
/// The one-output Eig: complex values replaced by their modulus.
std::vector<double> EigValues(const Dense &a, bool balance);

}  // namespace ref
}  // namespace linalg_test

#endif  // MATRIX_TESTS_LINALG_DECOMPOSITION_REFERENCE_H
