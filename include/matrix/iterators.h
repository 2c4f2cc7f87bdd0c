// include/matrix/iterators.h: iterators over index arrays and masks.
#ifndef MATRIX_ITERATORS_H
#define MATRIX_ITERATORS_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// Walks an index array (class double or uint32) element by element,
/// yielding 1-based positions.
///
/// A double index becomes floor(x + 0.5) truncated to a signed 64-bit
/// integer, of which the low 32 bits are kept (so -1 gives 4294967295 and
/// NaN gives 0); a uint32 index is returned unchanged. The iterator neither
/// owns nor copies the array, which must outlive it unchanged, and does not
/// know the element count: draw at most as many values as there are elements.
class MATRIX_API CMatrixIndexIterator {
public:
    /// Starts at the first element of `index`. Throws
    /// CNotImplementedException for classes other than double and uint32.
    CMatrixIndexIterator(const CMatrix *index);
    CMatrixIndexIterator(const CMatrixIndexIterator &other) = default;
    CMatrixIndexIterator(CMatrixIndexIterator &&other) = default;
    CMatrixIndexIterator &operator=(const CMatrixIndexIterator &other);
    CMatrixIndexIterator &operator=(CMatrixIndexIterator &&other);

    /// Returns the next 1-based position.
    unsigned int GetNextIndex();

protected:
    static unsigned int GetNextIndexDouble(const char *&cursor);
    static unsigned int GetNextIndexUint32(const char *&cursor);

private:
    unsigned int (*m_reader)(const char *&cursor);
    const char *m_cursor;
};

/// Walks a mask (class double or uint32) element by element, yielding
/// whether each element is true: not equal to 0, so NaN is true and -0 false.
/// Like CMatrixIndexIterator it neither owns the array nor knows its length.
class MATRIX_API CMatrixLogicalIterator {
public:
    /// Starts at the first element of `mask`. Throws CNotImplementedException
    /// for classes other than double and uint32.
    CMatrixLogicalIterator(const CMatrix *mask);
    CMatrixLogicalIterator(const CMatrixLogicalIterator &other) = default;
    CMatrixLogicalIterator(CMatrixLogicalIterator &&other) = default;
    CMatrixLogicalIterator &operator=(const CMatrixLogicalIterator &other);
    CMatrixLogicalIterator &operator=(CMatrixLogicalIterator &&other);

    /// Returns the truth of the next element.
    bool GetNextLogical();

protected:
    static bool GetNextLogicalDouble(const char *&cursor);
    static bool GetNextLogicalUint32(const char *&cursor);

private:
    bool (*m_reader)(const char *&cursor);
    const char *m_cursor;
};

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_ITERATORS_H
