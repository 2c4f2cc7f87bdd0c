// include/matrix/print.h: printing an array through kiv_wprintf.
#ifndef MATRIX_PRINT_H
#define MATRIX_PRINT_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

MATRIX_API void PrintMatrix(const CMatrix *a);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_PRINT_H
