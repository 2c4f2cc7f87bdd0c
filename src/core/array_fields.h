// src/core/array_fields.h: inline reads of an array's fields for the
// library's hot paths.
#ifndef MATRIX_SRC_CORE_ARRAY_FIELDS_H
#define MATRIX_SRC_CORE_ARRAY_FIELDS_H

#include <matrix/cmatrix.h>

namespace kiv {
namespace matrix {

/// The same answers as the CMatrix members of the same names, without a call
/// through the library's exported symbols: the fixed cost of an operation on
/// a small array is mostly such calls.
struct ArrayFields {
    static unsigned int NoDimensions(const CMatrix *a) { return a->m_nDims; }
    static unsigned int NoElems(const CMatrix *a) { return a->m_nElems; }
    static const unsigned int *Dimensions(const CMatrix *a) { return a->m_pDims; }
    static mxClassID ClassID(const CMatrix *a) { return a->m_classID; }
    static void *Pr(const CMatrix *a) { return a->m_pr; }
    static void *Pi(const CMatrix *a) { return a->m_pi; }
    static bool IsLogical(const CMatrix *a) { return (a->m_flags & 1) != 0; }
    static void SetLogical(CMatrix *a) { a->m_flags = static_cast<unsigned short>(a->m_flags | 1); }
    /// A new real double array of `shape`'s dimensions, flags clear and data
    /// uninitialised, as mxCreateNumericArray makes it; throws
    /// kiv::CExhaustedMemoryException.
    /// Exported for the tests, which instantiate the engines themselves.
    MATRIX_API static CMatrix *NewRealDoubleLike(const CMatrix *shape);
};

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_ARRAY_FIELDS_H
