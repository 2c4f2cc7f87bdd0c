// tests/kiv0lang/exception_test.cpp: the exception root and the out-of-memory exception.
#include <kiv/exception.h>

#include <gtest/gtest.h>

#include "support/matrix_test.h"

namespace {

TEST(CExhaustedMemoryException, IsCaughtAsRootWithoutAllocating) {
    // Throwing it must not need the memory that just ran out.
    matrix_test::FailNthAllocation(1);
    try {
        throw kiv::CExhaustedMemoryException();
    } catch (const kiv::IException &e) {
        EXPECT_TRUE(matrix_test::AllocationFailurePending());
        EXPECT_GT(e.GetMessage().GetLength(), 0);
    }
    matrix_test::FailNthAllocation(0);
}

TEST(CExhaustedMemoryException, CopyKeepsMessage) {
    const kiv::CExhaustedMemoryException original;
    const kiv::CExhaustedMemoryException copy(original);
    EXPECT_TRUE(copy.GetMessage() == original.GetMessage());
}

}  // namespace
