// include/matrix/cmatrix.h: the N-dimensional array and its shared data buffers.
#ifndef MATRIX_CMATRIX_H
#define MATRIX_CMATRIX_H

#include <matrix/export.h>

#include <cstddef>
#include <new>

namespace kiv {
namespace matrix {

/// Element class codes. "Numeric" means any code but 1, 2 and 3.
enum mxClassID {
    mxClassNone = 0,
    mxClassCell = 1,
    mxClassStruct = 2,
    mxClassReserved = 3,
    mxClassChar = 4,  // text: one UTF-16 code unit (16 bits) per element
    mxClassSparse = 5,
    mxClassDouble = 6,
    mxClassSingle = 7,
    mxClassInt8 = 8,
    mxClassUint8 = 9,
    mxClassInt16 = 10,
    mxClassUint16 = 11,
    mxClassInt32 = 12,
    mxClassUint32 = 13,
    mxClassInt64 = 14,
    mxClassUint64 = 15
};

enum mxComplexity { mxComplexityReal = 0, mxComplexityComplex = 1 };

/// A dense, column-major N-dimensional array of one element class, with an
/// optional imaginary part, a logical flag (bit 0 of the flags) and a counter
/// for the caller's use.
///
/// Shape: at least two dimensions, and no trailing length 1 beyond the
/// second; the element count is the product of the lengths and, like the
/// buffer's byte size, fits in 32 bits (larger shapes throw
/// kiv::CExhaustedMemoryException).
///
/// Storage: the real and the imaginary part each live in one data buffer, a
/// heap block whose data pointer is 64-byte aligned and preceded by a 16-bit
/// reference count (at data - 6) and the 32-bit byte size (at data - 4).
/// Several arrays may hold one buffer; a writer calls GetOwnCopy() first, so
/// that writing one array never changes another (copy on write). The real
/// buffer of a cell array owns the element arrays its slots point to: they
/// are destroyed when the last holder of that buffer lets go.
///
/// Ownership: arrays are created on the heap and released with
/// mxDestroyArray. An array owns its dimension list and one reference on
/// each buffer it points to.
///
/// Threads: reference counts change with atomic operations, so arrays that
/// share a buffer may be shared (CreateShareArray), duplicated and destroyed
/// on different threads at the same time. Writing an array while another
/// thread reads an array that shares its buffer is an error until
/// GetOwnCopy() has given the writer a buffer of its own; one array object
/// is never used by two threads at once when one of them changes it.
class MATRIX_API CMatrix {
public:
    /// Array objects are kept by the thread that frees them and handed out
    /// again to its next new array (a few dozen at most per thread), which
    /// makes a small result cheap; `new` and `delete` of a CMatrix go through
    /// these. The throwing form throws std::bad_alloc, the nothrow form
    /// returns null.
    static void *operator new(std::size_t bytes);
    static void *operator new(std::size_t bytes, const std::nothrow_t &) noexcept;
    static void *operator new(std::size_t, void *place) noexcept { return place; }
    static void operator delete(void *object, std::size_t bytes) noexcept;
    static void operator delete(void *object, const std::nothrow_t &) noexcept;
    static void operator delete(void *, void *) noexcept {}

    /// Builds an array of the shape `dims[0..nDims)`, with trailing lengths
    /// of 1 beyond the second dropped: no lengths give 0x0 and one length n
    /// gives n x 1. Counter 0. Numeric and char data are left uninitialised;
    /// cell and struct slots start empty. An imaginary buffer is allocated
    /// for mxComplexityComplex. Throws kiv::CExhaustedMemoryException when
    /// storage cannot be obtained or the shape does not fit in 32 bits.
    CMatrix(unsigned int nDims, const unsigned int *dims, mxClassID classId, unsigned short flags,
            mxComplexity complexity);
    /// Lets go of both buffers and frees the dimension list.
    ~CMatrix();

    /// Returns a new array that holds the same buffers as this one (each
    /// count rises by one). A buffer that already has 65,535 holders is
    /// copied for the new array instead. Throws kiv::CExhaustedMemoryException
    /// and changes nothing when storage cannot be obtained.
    [[nodiscard]] CMatrix *CreateShareArray() const;
    /// Returns a new array with the same shape, class, low flag byte and
    /// values whose buffers are its own.
    [[nodiscard]] CMatrix *CreateDuplicateArray() const;
    /// Gives this array buffers of its own (copies the shared ones), so that
    /// it can be written without changing another array. Leaves the array as
    /// it was when it throws kiv::CExhaustedMemoryException.
    void GetOwnCopy();

    /// Grows the array so that every dimension is at least the requested
    /// length, keeping each element at its subscripts; new elements are zero
    /// (empty slots for a cell array). A dimension never shrinks, and a
    /// dimension the array does not have yet counts as length 1, so a request
    /// of 0 for it is taken as 1. When the element count would not change,
    /// nothing changes. Leaves the array as it was when it throws
    /// kiv::CExhaustedMemoryException.
    ///
    /// Growth that appends (every old element keeps its linear position, as
    /// for a longer vector or more columns) reserves room to spare from the
    /// second growth of a buffer on, and later appends into a buffer that
    /// this array holds alone use that room without copying: appending n
    /// elements one at a time costs O(n) in all.
    void Extend(unsigned int nDims, const unsigned int *dims);
    /// Gives the array the shape `dims[0..nDims)` (trailing lengths of 1
    /// beyond the second dropped) without touching the data. Throws
    /// CFunctionErrorException "An array must have at least two dimensions"
    /// when nDims < 2, kiv::CExhaustedMemoryException when the product of the
    /// lengths does not fit in 32 bits, and CFunctionErrorException "The
    /// number of elements can't change" when it differs from the element
    /// count. The array is unchanged after a throw.
    void Reshape(unsigned int nDims, const unsigned int *dims);
    /// Adds an all-zero imaginary part to a real array; no effect on a
    /// complex one. Throws CNotImplementedException for the classes whose
    /// elements are slots (cell, struct), and kiv::CExhaustedMemoryException,
    /// leaving the array real, when storage cannot be obtained.
    void ToComplex();
    /// Drops the imaginary part, if any.
    void ToReal();

    unsigned int GetNoDimensions() const;
    unsigned int GetNoElems() const;
    /// Returns the dimension list, owned by the array.
    const unsigned int *GetDimensions() const;
    mxClassID GetClassID() const;
    /// Returns the real data pointer.
    void *GetPr() const;
    /// Returns the imaginary data pointer, null for a real array.
    void *GetPi() const;
    mxComplexity GetComplexity() const;
    /// Returns the byte size of the real buffer, 0 when there is none.
    unsigned int GetAllocSize() const;
    /// Returns the size in bytes of one element of the array's class.
    unsigned int GetElementSize() const;
    /// Returns the 16-bit flag word.
    unsigned int GetFlags() const;
    unsigned short GetCounter() const;
    unsigned short IncCounter();
    unsigned short DecCounter();

    /// Flags become (flags & ~mask) | value, in 16 bits.
    void SetFlag(unsigned int value, unsigned int mask);
    void SetLogical();
    void ClearLogical();

    bool IsCell() const;
    bool IsStruct() const;
    bool IsChar() const;
    bool IsSparse() const;
    bool IsDouble() const;
    bool IsSingle() const;
    bool IsInt8() const;
    bool IsUint8() const;
    bool IsInt16() const;
    bool IsUint16() const;
    bool IsInt32() const;
    bool IsUint32() const;
    bool IsInt64() const;
    bool IsUint64() const;
    /// True for every class but cell, struct and reserved.
    bool IsNumeric() const;
    /// True when flag bit 0 is set, whatever the class.
    bool IsLogical() const;
    bool IsComplex() const;
    bool IsInitialized() const;
    /// True for a 0x0 array only.
    bool IsEmpty() const;
    /// Numeric, two dimensions, 1x1.
    bool IsScalar() const;
    /// Numeric, two dimensions, one of them 1, at least one element.
    bool IsVector() const;
    /// Numeric, two dimensions, both at least 2.
    bool IsMatrix() const;
    /// Numeric with more than two dimensions.
    bool IsNDMatrix() const;
    /// A 1x1 char array holding ':'.
    bool IsColon() const;

protected:
    /// Copies the shape, class and low flag byte; holds no buffer.
    CMatrix(const CMatrix &other);

    /// Replaces a shared buffer by a copy of its own (see GetOwnCopy()).
    void GetOwnCopy(void *&buffer);

    /// Allocates the real buffer (and the imaginary one for
    /// mxComplexityComplex) for the current element count; returns the real
    /// buffer's byte size.
    unsigned int AllocMemory(mxComplexity complexity);
    /// Allocates one buffer for nElems elements of this array's class, count
    /// 1; returns its data pointer, or null when no memory was obtained.
    void *DoAllocMemory(unsigned int nElems);
    /// Frees a buffer whatever its count and sets the pointer to null.
    void DoDeallocMemory(void *&buffer);
    /// Lets go of the real, then the imaginary buffer.
    void DeallocMemory();
    /// Adds one holder; returns the new count.
    unsigned short IncRef(void *buffer);
    /// Removes one holder and sets the pointer to null; the last holder frees
    /// the buffer (and, for the real buffer of a cell array, its elements).
    /// Returns the new count.
    unsigned short DecRef(void *&buffer);
    unsigned short GetRef(void *buffer) const;

    static unsigned int GetElementSize(unsigned int classId);

private:
    // The value type reads single elements straight from the fields, so
    // that A(i, j) is an inline bounds-checked load.
    friend class Array;
    // The library's own hot paths read the fields inline as well.
    friend struct ArrayFields;

    unsigned int m_nDims;      // number of dimensions, at least 2
    unsigned int m_nElems;     // number of elements
    unsigned int *m_pDims;     // dimension list, owned
    mxClassID m_classID;       // element class
    unsigned short m_flags;    // bit 0: logical
    unsigned short m_counter;  // caller's counter
    void *m_pr;                // real data (just past the buffer header), or null
    void *m_pi;                // imaginary data, or null
};

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_CMATRIX_H
