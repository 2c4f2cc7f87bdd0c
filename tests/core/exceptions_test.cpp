// tests/core/exceptions_test.cpp: every exception class with its message, copy and move.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::Narrow;

// Throws `e` and reports the message seen by a handler of the base class,
// proving the class is catchable as IMatrixException and kiv::IException.
template <typename E>
std::string MessageThroughBases(const E &e) {
    std::string viaMatrix, viaRoot;
    try {
        throw e;
    } catch (const IMatrixException &caught) {
        viaMatrix = Narrow(caught.GetMessage());
    }
    try {
        throw e;
    } catch (const kiv::IException &caught) {
        viaRoot = Narrow(caught.GetMessage());
    }
    EXPECT_EQ(viaMatrix, viaRoot);
    return viaMatrix;
}

TEST(Exceptions, EachClassCarriesItsMessage) {
    EXPECT_EQ(MessageThroughBases(CAllColumnsMustHaveSameRows()),
              "All matrices on a row in the bracketed expression must have the same number of "
              "rows");
    EXPECT_EQ(MessageThroughBases(CAllRowsMustHaveSameColumns()),
              "All rows in the bracketed expression must have the same number of columns");
    EXPECT_EQ(MessageThroughBases(CArrayDimsMustMatchForBinaryOpException()),
              "Array dimensions must match for binary array op");
    EXPECT_EQ(MessageThroughBases(CAssignHasMoreRHSDimsThanSubsExcpetion()),
              "Assignment has more rhs dimensions than subscripts");
    EXPECT_EQ(MessageThroughBases(CInAssignAColonBElementsMustBeSameException()),
              "In an assignment  A(:) = B, the number of elements in A and B must be the same");
    EXPECT_EQ(MessageThroughBases(CInAssignAIBElementsMustBeSameException()),
              "In an assignment  A(I) = B, the number of elements in B and I must be the same");
    EXPECT_EQ(MessageThroughBases(CInAssignAMBACantBeResizedException()),
              "In an assignment  A(matrix) = B, a vector A can't be resized to a matrix");
    EXPECT_EQ(MessageThroughBases(CInAssignAMMBDimensionMustBeSameException()),
              "In an assignment  A(matrix,matrix) = B, the number of rows in B and the number of "
              "elements in the A row index matrix must be the same");
    EXPECT_EQ(MessageThroughBases(CIndexExceedsMatrixDimensionsException()),
              "Index exceeds matrix dimensions");
    EXPECT_EQ(MessageThroughBases(CIndexIntoMatrixNegativeOrZeroException()),
              "Index into matrix is negative or zero");
    EXPECT_EQ(MessageThroughBases(CInnerMatrixDimsMustAgreeException()),
              "Inner matrix dimensions must agree");
    EXPECT_EQ(MessageThroughBases(CMatrixDimsMustAgreeException()), "Matrix dimensions must agree");
    EXPECT_EQ(MessageThroughBases(CMatrixMustBeSquareException()), "Matrix must be square");
    EXPECT_EQ(MessageThroughBases(CNotImplementedException()), "Operation not implemented! :-(");
    EXPECT_EQ(MessageThroughBases(COperationOnNDArrayNotDefinedException()),
              "Operation on ND array is not defined");
    EXPECT_EQ(MessageThroughBases(CTransposeOnNDArrayNotDefinedException()),
              "Transpose on ND array is not defined");
    EXPECT_EQ(MessageThroughBases(CUnknownOptionException()), "Unknonw command option");
    EXPECT_EQ(MessageThroughBases(CFunctionErrorException(L"Unknown command option")),
              "Unknown command option");
}

TEST(COperationNotDefinedOnClassException, AcceptsNullArray) {
    const matrix_test::ArrayPtr a = matrix_test::Matrix(1, 1, {1});
    EXPECT_EQ(MessageThroughBases(COperationNotDefinedOnClassException(nullptr)),
              "Operation not permetted on input data");
    EXPECT_EQ(MessageThroughBases(COperationNotDefinedOnClassException(a.get())),
              "Operation not permetted on input data");
}

TEST(CFunctionErrorException, CopyAndMoveKeepMessage) {
    CFunctionErrorException original(L"The only matrix norms available are 1, 2, inf and fro");
    CFunctionErrorException copy(original);
    EXPECT_TRUE(copy.GetMessage() == original.GetMessage());
    CFunctionErrorException moved(std::move(original));
    EXPECT_TRUE(moved.GetMessage() == copy.GetMessage());
    CFunctionErrorException assigned(L"x");
    assigned = copy;
    EXPECT_TRUE(assigned.GetMessage() == copy.GetMessage());
    assigned = std::move(moved);
    EXPECT_TRUE(assigned.GetMessage() == copy.GetMessage());
    // The moved-from objects stay usable and destructible.
    original = CFunctionErrorException(L"again");
    EXPECT_EQ(Narrow(original.GetMessage()), "again");
}

TEST(CExhaustedMemoryException, IsNotAMatrixException) {
    bool caughtAsMatrix = false, caughtAsRoot = false;
    try {
        try {
            throw kiv::CExhaustedMemoryException();
        } catch (const IMatrixException &) {
            caughtAsMatrix = true;
        }
    } catch (const kiv::IException &) {
        caughtAsRoot = true;
    }
    EXPECT_FALSE(caughtAsMatrix);
    EXPECT_TRUE(caughtAsRoot);
}

}  // namespace
