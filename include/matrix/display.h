// include/matrix/display.h: the text the language shows for an array.
#ifndef MATRIX_DISPLAY_H
#define MATRIX_DISPLAY_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

#include <string>

namespace kiv {
namespace matrix {

/// Returns the UTF-8 text the language shows for `name = value`; an empty
/// name gives the value alone, as disp. Throws
/// kiv::CExhaustedMemoryException.
MATRIX_API std::string DisplayText(const CMatrix *a, const std::string &name);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_DISPLAY_H
