// include/matrix/exceptions.h: the exception classes of the array library.
#ifndef MATRIX_EXCEPTIONS_H
#define MATRIX_EXCEPTIONS_H

#include <kiv/exception.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

class CMatrix;

/// Base of every library exception except kiv::CExhaustedMemoryException.
///
/// Every failure of the library is thrown by value as one of the classes
/// below; each carries one fixed message (CFunctionErrorException carries the
/// thrower's). None adds data or virtual members.
class MATRIX_API IMatrixException : public kiv::IException {
protected:
    IMatrixException(const kiv::WString &message);

public:
    IMatrixException(const IMatrixException &other);
    IMatrixException(IMatrixException &&other) noexcept;
    IMatrixException &operator=(const IMatrixException &other);
    IMatrixException &operator=(IMatrixException &&other) noexcept;
    ~IMatrixException();
};

/// A failure whose message is chosen by the thrower.
class MATRIX_API CFunctionErrorException : public IMatrixException {
public:
    CFunctionErrorException(const kiv::WString &message);
    CFunctionErrorException(const CFunctionErrorException &other);
    CFunctionErrorException(CFunctionErrorException &&other) noexcept;
    CFunctionErrorException &operator=(const CFunctionErrorException &other);
    CFunctionErrorException &operator=(CFunctionErrorException &&other) noexcept;
    ~CFunctionErrorException();
};

/// "Operation not implemented! :-(": an element class or combination of
/// classes that the operation does not support.
class MATRIX_API CNotImplementedException : public IMatrixException {
public:
    CNotImplementedException();
    CNotImplementedException(const CNotImplementedException &other);
    CNotImplementedException(CNotImplementedException &&other) noexcept;
    CNotImplementedException &operator=(const CNotImplementedException &other);
    CNotImplementedException &operator=(CNotImplementedException &&other) noexcept;
    ~CNotImplementedException();
};

/// "Operation not permetted on input data"; the array (may be null) is
/// neither kept nor read.
class MATRIX_API COperationNotDefinedOnClassException : public IMatrixException {
public:
    COperationNotDefinedOnClassException(const CMatrix *array);
    COperationNotDefinedOnClassException(const COperationNotDefinedOnClassException &other);
    COperationNotDefinedOnClassException(COperationNotDefinedOnClassException &&other) noexcept;
    COperationNotDefinedOnClassException &operator=(
        const COperationNotDefinedOnClassException &other);
    COperationNotDefinedOnClassException &operator=(
        COperationNotDefinedOnClassException &&other) noexcept;
    ~COperationNotDefinedOnClassException();
};

/// "Unknonw command option". Exported for callers; the library never throws it.
class MATRIX_API CUnknownOptionException : public IMatrixException {
public:
    CUnknownOptionException();
    CUnknownOptionException(const CUnknownOptionException &other);
    CUnknownOptionException(CUnknownOptionException &&other) noexcept;
    CUnknownOptionException &operator=(const CUnknownOptionException &other);
    CUnknownOptionException &operator=(CUnknownOptionException &&other) noexcept;
    ~CUnknownOptionException();
};

// Fixed-message classes, thrown only by the library; implicit copy, move and
// destructor.

/// "All matrices on a row in the bracketed expression must have the same number of rows"
class MATRIX_API CAllColumnsMustHaveSameRows : public IMatrixException {
public:
    CAllColumnsMustHaveSameRows();
};
/// "All rows in the bracketed expression must have the same number of columns"
class MATRIX_API CAllRowsMustHaveSameColumns : public IMatrixException {
public:
    CAllRowsMustHaveSameColumns();
};
/// "Array dimensions must match for binary array op"
class MATRIX_API CArrayDimsMustMatchForBinaryOpException : public IMatrixException {
public:
    CArrayDimsMustMatchForBinaryOpException();
};
/// "Assignment has more rhs dimensions than subscripts"
class MATRIX_API CAssignHasMoreRHSDimsThanSubsExcpetion : public IMatrixException {
public:
    CAssignHasMoreRHSDimsThanSubsExcpetion();
};
/// "In an assignment  A(:) = B, the number of elements in A and B must be the same"
class MATRIX_API CInAssignAColonBElementsMustBeSameException : public IMatrixException {
public:
    CInAssignAColonBElementsMustBeSameException();
};
/// "In an assignment  A(I) = B, the number of elements in B and I must be the same"
class MATRIX_API CInAssignAIBElementsMustBeSameException : public IMatrixException {
public:
    CInAssignAIBElementsMustBeSameException();
};
/// "In an assignment  A(matrix) = B, a vector A can't be resized to a matrix"
class MATRIX_API CInAssignAMBACantBeResizedException : public IMatrixException {
public:
    CInAssignAMBACantBeResizedException();
};
/// "In an assignment  A(matrix,matrix) = B, the number of rows in B and the
/// number of elements in the A row index matrix must be the same"
class MATRIX_API CInAssignAMMBDimensionMustBeSameException : public IMatrixException {
public:
    CInAssignAMMBDimensionMustBeSameException();
};
/// "Index exceeds matrix dimensions"
class MATRIX_API CIndexExceedsMatrixDimensionsException : public IMatrixException {
public:
    CIndexExceedsMatrixDimensionsException();
};
/// "Index into matrix is negative or zero"
class MATRIX_API CIndexIntoMatrixNegativeOrZeroException : public IMatrixException {
public:
    CIndexIntoMatrixNegativeOrZeroException();
};
/// "Inner matrix dimensions must agree"
class MATRIX_API CInnerMatrixDimsMustAgreeException : public IMatrixException {
public:
    CInnerMatrixDimsMustAgreeException();
};
/// "Integers can only be combined with integers of the same class, or
/// scalars of class double."
class MATRIX_API CIntegersCanOnlyBeCombinedException : public IMatrixException {
public:
    CIntegersCanOnlyBeCombinedException();
};
/// "Matrix dimensions must agree"
class MATRIX_API CMatrixDimsMustAgreeException : public IMatrixException {
public:
    CMatrixDimsMustAgreeException();
};
/// "Matrix must be square"
class MATRIX_API CMatrixMustBeSquareException : public IMatrixException {
public:
    CMatrixMustBeSquareException();
};
/// "Operation on ND array is not defined"
class MATRIX_API COperationOnNDArrayNotDefinedException : public IMatrixException {
public:
    COperationOnNDArrayNotDefinedException();
};
/// "Transpose on ND array is not defined"
class MATRIX_API CTransposeOnNDArrayNotDefinedException : public IMatrixException {
public:
    CTransposeOnNDArrayNotDefinedException();
};

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_EXCEPTIONS_H
