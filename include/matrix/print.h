// include/matrix/print.h: printing an array through kiv_wprintf.
#ifndef MATRIX_PRINT_H
#define MATRIX_PRINT_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// Writes a diagnostic description of `a` (not null) to standard output
/// through kiv_wprintf. The first line, " Print <address> - <m>x<n>\n",
/// gives the array object's address in hexadecimal and its first two
/// lengths. A real or complex double array of 1 to 25 elements then gets
/// its real values, one line per row, each value written as "%e\t" and each
/// row ended by "\n"; the pages of an N-d array follow one another without
/// a separator. Every other array gets the first line only. Throws nothing;
/// `a` is not changed.
MATRIX_API void PrintMatrix(const CMatrix *a);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_PRINT_H
