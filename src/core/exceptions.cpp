// src/core/exceptions.cpp: messages and members of the exception classes.
#include <matrix/exceptions.h>

#include <utility>

namespace kiv {
namespace matrix {

IMatrixException::IMatrixException(const kiv::WString &message) : kiv::IException(message) {}
IMatrixException::IMatrixException(const IMatrixException &other) = default;
IMatrixException::IMatrixException(IMatrixException &&other) noexcept
    : kiv::IException(std::move(other)) {}
IMatrixException &IMatrixException::operator=(const IMatrixException &other) = default;
IMatrixException &IMatrixException::operator=(IMatrixException &&other) noexcept {
    kiv::IException::operator=(std::move(other));
    return *this;
}
IMatrixException::~IMatrixException() = default;

// The classes with exported copy and move members all follow one pattern.
#define MATRIX_DEFINE_EXCEPTION_MEMBERS(Class)                                   \
    Class::Class(const Class &other) = default;                                  \
    Class::Class(Class &&other) noexcept : IMatrixException(std::move(other)) {} \
    Class &Class::operator=(const Class &other) = default;                       \
    Class &Class::operator=(Class &&other) noexcept {                            \
        IMatrixException::operator=(std::move(other));                           \
        return *this;                                                            \
    }                                                                            \
    Class::~Class() = default;

CFunctionErrorException::CFunctionErrorException(const kiv::WString &message)
    : IMatrixException(message) {}
MATRIX_DEFINE_EXCEPTION_MEMBERS(CFunctionErrorException)

CNotImplementedException::CNotImplementedException()
    : IMatrixException(L"Operation not implemented! :-(") {}
MATRIX_DEFINE_EXCEPTION_MEMBERS(CNotImplementedException)

COperationNotDefinedOnClassException::COperationNotDefinedOnClassException(const CMatrix *)
    : IMatrixException(L"Operation not permetted on input data") {}
MATRIX_DEFINE_EXCEPTION_MEMBERS(COperationNotDefinedOnClassException)

CUnknownOptionException::CUnknownOptionException() : IMatrixException(L"Unknonw command option") {}
MATRIX_DEFINE_EXCEPTION_MEMBERS(CUnknownOptionException)

#undef MATRIX_DEFINE_EXCEPTION_MEMBERS

CAllColumnsMustHaveSameRows::CAllColumnsMustHaveSameRows()
    : IMatrixException(
          L"All matrices on a row in the bracketed expression must have the same number of rows") {}
CAllRowsMustHaveSameColumns::CAllRowsMustHaveSameColumns()
    : IMatrixException(
          L"All rows in the bracketed expression must have the same number of columns") {}
CArrayDimsMustMatchForBinaryOpException::CArrayDimsMustMatchForBinaryOpException()
    : IMatrixException(L"Array dimensions must match for binary array op") {}
CAssignHasMoreRHSDimsThanSubsExcpetion::CAssignHasMoreRHSDimsThanSubsExcpetion()
    : IMatrixException(L"Assignment has more rhs dimensions than subscripts") {}
CInAssignAColonBElementsMustBeSameException::CInAssignAColonBElementsMustBeSameException()
    : IMatrixException(
          L"In an assignment  A(:) = B, the number of elements in A and B must be the same") {}
CInAssignAIBElementsMustBeSameException::CInAssignAIBElementsMustBeSameException()
    : IMatrixException(
          L"In an assignment  A(I) = B, the number of elements in B and I must be the same") {}
CInAssignAMBACantBeResizedException::CInAssignAMBACantBeResizedException()
    : IMatrixException(
          L"In an assignment  A(matrix) = B, a vector A can't be resized to a matrix") {}
CInAssignAMMBDimensionMustBeSameException::CInAssignAMMBDimensionMustBeSameException()
    : IMatrixException(
          L"In an assignment  A(matrix,matrix) = B, the number of rows in B and the number of "
          L"elements in the A row index matrix must be the same") {}
CIndexExceedsMatrixDimensionsException::CIndexExceedsMatrixDimensionsException()
    : IMatrixException(L"Index exceeds matrix dimensions") {}
CIndexIntoMatrixNegativeOrZeroException::CIndexIntoMatrixNegativeOrZeroException()
    : IMatrixException(L"Index into matrix is negative or zero") {}
CInnerMatrixDimsMustAgreeException::CInnerMatrixDimsMustAgreeException()
    : IMatrixException(L"Inner matrix dimensions must agree") {}
CMatrixDimsMustAgreeException::CMatrixDimsMustAgreeException()
    : IMatrixException(L"Matrix dimensions must agree") {}
CMatrixMustBeSquareException::CMatrixMustBeSquareException()
    : IMatrixException(L"Matrix must be square") {}
COperationOnNDArrayNotDefinedException::COperationOnNDArrayNotDefinedException()
    : IMatrixException(L"Operation on ND array is not defined") {}
CTransposeOnNDArrayNotDefinedException::CTransposeOnNDArrayNotDefinedException()
    : IMatrixException(L"Transpose on ND array is not defined") {}
CIntegersCanOnlyBeCombinedException::CIntegersCanOnlyBeCombinedException()
    : IMatrixException(
          L"Integers can only be combined with integers of the same class, or scalars of class "
          L"double.") {}

}  // namespace matrix
}  // namespace kiv
