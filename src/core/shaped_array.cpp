// src/core/shaped_array.cpp: a new real double array of an existing array's
// shape, the result of most element-wise operations.
#include <matrix/exceptions.h>

#include <cstdint>
#include <new>

#include "core/array_fields.h"
#include "core/buffer.h"

namespace kiv {
namespace matrix {

CMatrix *ArrayFields::NewRealDoubleLike(const CMatrix *shape) {
    // The shape of an existing array is already in its stored form (trailing
    // lengths of 1 beyond the second dropped, the element count known), so
    // the copy constructor takes it over as it is, where creating from a
    // dimension list would normalise and multiply it again. The same array
    // as mxCreateNumericArray makes: class double, flags clear, real buffer
    // of count 1 and uninitialised data.
    const std::uint64_t bytes = std::uint64_t{shape->m_nElems} * sizeof(double);
    if (bytes > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    CMatrix *a = new (std::nothrow) CMatrix(*shape);
    if (a == nullptr) throw kiv::CExhaustedMemoryException();
    a->m_classID = mxClassDouble;
    a->m_flags = 0;
    a->m_pr = buffer::Allocate(static_cast<std::uint32_t>(bytes));
    if (a->m_pr == nullptr) {
        delete a;
        throw kiv::CExhaustedMemoryException();
    }
    return a;
}

}  // namespace matrix
}  // namespace kiv
