// include/matrix/concat.h: horizontal and vertical concatenation.
#ifndef MATRIX_CONCAT_H
#define MATRIX_CONCAT_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// [A, B, ...] and [A; B; ...]. In the forms with separate operands, `a`
// counts as the first operand and the list ends at the first null pointer
// after it; a single operand gives a shared copy of it.
MATRIX_API CMatrix *Horzcat(unsigned int n, const CMatrix **arrays);
MATRIX_API CMatrix *Horzcat(const CMatrix *a);
MATRIX_API CMatrix *Horzcat(const CMatrix *a, const CMatrix *b);
MATRIX_API CMatrix *Horzcat(const CMatrix *a, const CMatrix *b, const CMatrix *c);
MATRIX_API CMatrix *Horzcat(const CMatrix *a, const CMatrix *b, const CMatrix *c,
                            const CMatrix *d, ...);
MATRIX_API CMatrix *Vertcat(unsigned int n, const CMatrix **arrays);
MATRIX_API CMatrix *Vertcat(const CMatrix *a);
MATRIX_API CMatrix *Vertcat(const CMatrix *a, const CMatrix *b);
MATRIX_API CMatrix *Vertcat(const CMatrix *a, const CMatrix *b, const CMatrix *c);
MATRIX_API CMatrix *Vertcat(const CMatrix *a, const CMatrix *b, const CMatrix *c,
                            const CMatrix *d, ...);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_CONCAT_H
