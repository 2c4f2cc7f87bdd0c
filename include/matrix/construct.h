// include/matrix/construct.h: constructors of filled arrays, ranges and diagonals.
#ifndef MATRIX_CONSTRUCT_H
#define MATRIX_CONSTRUCT_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Filled real double arrays: n x n, m x n, m x n x p, or the shape dims.
MATRIX_API CMatrix *Zeros(unsigned int n);
MATRIX_API CMatrix *Zeros(unsigned int m, unsigned int n);
MATRIX_API CMatrix *Zeros(unsigned int m, unsigned int n, unsigned int p);
MATRIX_API CMatrix *Zeros(unsigned int nDims, const unsigned int *dims);
MATRIX_API CMatrix *Ones(unsigned int n);
MATRIX_API CMatrix *Ones(unsigned int m, unsigned int n);
MATRIX_API CMatrix *Ones(unsigned int m, unsigned int n, unsigned int p);
MATRIX_API CMatrix *Ones(unsigned int nDims, const unsigned int *dims);
MATRIX_API CMatrix *Rand(unsigned int n);
MATRIX_API CMatrix *Rand(unsigned int m, unsigned int n);
MATRIX_API CMatrix *Rand(unsigned int m, unsigned int n, unsigned int p);
MATRIX_API CMatrix *Rand(unsigned int nDims, const unsigned int *dims);
MATRIX_API CMatrix *Randn(unsigned int n);
MATRIX_API CMatrix *Randn(unsigned int m, unsigned int n);
MATRIX_API CMatrix *Randn(unsigned int m, unsigned int n, unsigned int p);
MATRIX_API CMatrix *Randn(unsigned int nDims, const unsigned int *dims);

// Identity, scalar, ranges, diagonals.
MATRIX_API CMatrix *Eye(unsigned int n);
MATRIX_API CMatrix *Eye(unsigned int m, unsigned int n);
MATRIX_API CMatrix *Scalar(double x);
MATRIX_API CMatrix *Colon(double start, double end);
MATRIX_API CMatrix *Colon(double start, double step, double end);
MATRIX_API CMatrix *Diag(unsigned int n, const double *v, int k);
MATRIX_API CMatrix *Diag(const CMatrix *a, int k);

// Resetting an array held by the caller.
MATRIX_API void Initialize(CMatrix *&a, double x);
MATRIX_API void Empty(CMatrix *&a);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_CONSTRUCT_H
