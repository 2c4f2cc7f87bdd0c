// include/matrix/iterators.h: iterators over index arrays and masks.
#ifndef MATRIX_ITERATORS_H
#define MATRIX_ITERATORS_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// Walks an index array (class double or uint32) element by element.
class MATRIX_API CMatrixIndexIterator {
public:
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

/// Walks a mask (class double or uint32) element by element.
class MATRIX_API CMatrixLogicalIterator {
public:
    CMatrixLogicalIterator(const CMatrix *mask);
    CMatrixLogicalIterator(const CMatrixLogicalIterator &other) = default;
    CMatrixLogicalIterator(CMatrixLogicalIterator &&other) = default;
    CMatrixLogicalIterator &operator=(const CMatrixLogicalIterator &other);
    CMatrixLogicalIterator &operator=(CMatrixLogicalIterator &&other);

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
