// include/matrix/reduce.h: reductions along a dimension, searches and tests.
#ifndef MATRIX_REDUCE_H
#define MATRIX_REDUCE_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Reductions along a dimension (1-based); without dim the default dimension.
MATRIX_API CMatrix *Sum(const CMatrix *A);
MATRIX_API CMatrix *Sum(const CMatrix *A, unsigned int dim);
MATRIX_API CMatrix *Prod(const CMatrix *A);
MATRIX_API CMatrix *Prod(const CMatrix *A, unsigned int dim);
MATRIX_API CMatrix *All(const CMatrix *A);
MATRIX_API CMatrix *All(const CMatrix *A, unsigned int dim);
MATRIX_API CMatrix *Any(const CMatrix *A);
MATRIX_API CMatrix *Any(const CMatrix *A, unsigned int dim);

// Searches and tests.
MATRIX_API unsigned int Nnz(const CMatrix *A);
MATRIX_API CMatrix *Find(const CMatrix *A);
MATRIX_API void Find(CMatrix *&R, CMatrix *&C, const CMatrix *A);
MATRIX_API void Find(CMatrix *&R, CMatrix *&C, CMatrix *&V, const CMatrix *A);
MATRIX_API bool Isequal(unsigned int n, const CMatrix **arrays);
MATRIX_API bool Isequal(const CMatrix *A, const CMatrix *B);
MATRIX_API bool Tobool(const CMatrix *A);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_REDUCE_H
