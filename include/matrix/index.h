// include/matrix/index.h: indexed reference, assignment and deletion.
#ifndef MATRIX_INDEX_H
#define MATRIX_INDEX_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// A(I), A(I,J)
MATRIX_API CMatrix *Indexref(const CMatrix *A, const CMatrix *I);
MATRIX_API CMatrix *Indexref(const CMatrix *A, const CMatrix *I, const CMatrix *J);

// A(I) = B, A(I,J) = B
MATRIX_API void Indexassign(CMatrix *&A, const CMatrix *I, const CMatrix *B);
MATRIX_API void Indexassign(CMatrix *&A, const CMatrix *I, const CMatrix *J, const CMatrix *B);

// A(I) = [], A(I,J) = [], A(I,:) = [], A(:,J) = []
MATRIX_API void Indexdelete(CMatrix *&A, const CMatrix *I);
MATRIX_API void Indexdelete(CMatrix *&A, const CMatrix *I, const CMatrix *J);
MATRIX_API void IndexdeleteRow(CMatrix *&A, const CMatrix *I);
MATRIX_API void IndexdeleteColumn(CMatrix *&A, const CMatrix *J);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_INDEX_H
