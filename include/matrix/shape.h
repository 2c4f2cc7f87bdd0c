// include/matrix/shape.h: transposes, triangular parts, reshaping and shape queries.
#ifndef MATRIX_SHAPE_H
#define MATRIX_SHAPE_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

MATRIX_API CMatrix *Transpose(const CMatrix *a);
MATRIX_API CMatrix *Ctranspose(const CMatrix *a);
MATRIX_API CMatrix *Tril(const CMatrix *a, int k);
MATRIX_API CMatrix *Triu(const CMatrix *a, int k);

// Shared copies with another shape.
MATRIX_API CMatrix *Reshape(CMatrix *a, unsigned int m, unsigned int n);
MATRIX_API CMatrix *Reshape(CMatrix *a, unsigned int m, unsigned int n, unsigned int p);
MATRIX_API CMatrix *Reshape(CMatrix *a, unsigned int nDims, const unsigned int *dims);
MATRIX_API CMatrix *Tocolumn(const CMatrix *a);
MATRIX_API CMatrix *Tomatrix(const CMatrix *a);

// Queries.
MATRIX_API unsigned int End(const CMatrix *a, unsigned int k, unsigned int n);
MATRIX_API unsigned int Length(const CMatrix *a);
MATRIX_API CMatrix *Isempty(const CMatrix *a);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SHAPE_H
