// tests/core/alloc_failure_test.cpp: every failed allocation throws, leaks nothing
// and leaves the array as it was.
#include <gtest/gtest.h>

#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::ForEachAllocationFailure;

// A complex 2x3 double array, and a cell array whose two slots hold arrays.
ArrayPtr ComplexMatrix() {
    const double re[] = {1, 2, 3, 4, 5, 6}, im[] = {6, 5, 4, 3, 2, 1};
    return ArrayPtr(mxDoubleMatrix(2, 3, re, im));
}

ArrayPtr FilledCell() {
    ArrayPtr cell(mxCreateCellMatrix(1, 2));
    mxSetCell(cell.get(), 0, ComplexMatrix().release());
    mxSetCell(cell.get(), 1, matrix_test::Matrix(1, 1, {7}).release());
    return cell;
}

// Fails the 1st, 2nd, 3rd ... allocation of `change`, each time on a fresh
// target from `make()`, until `change` succeeds. Every failure must throw,
// leak nothing and leave the target as it was.
template <typename Make, typename Change>
void ExpectEachFailureLeavesTarget(Make make, Change change) {
    for (int n = 1; n <= 1000; ++n) {
        ArrayPtr target = make();
        const ArraySnapshot before = ArraySnapshot::Of(target.get());
        const matrix_test::LiveBlocks blocks;
        bool threw = false;
        matrix_test::FailNthAllocation(n);
        try {
            change(target.get());
        } catch (const kiv::CExhaustedMemoryException &) {
            threw = true;
        }
        matrix_test::FailNthAllocation(0);
        if (!threw) {
            EXPECT_GT(n, 1) << "no allocation could fail";
            return;
        }
        EXPECT_TRUE(ArraySnapshot::Of(target.get()) == before) << "failure " << n;
        EXPECT_EQ(blocks.Delta(), 0) << "failure " << n;
    }
    ADD_FAILURE() << "still failing after 1000 allocations";
}

TEST(AllocationFailure, Constructors) {
    const unsigned int dims[] = {4, 5, 2};
    for (mxClassID id : {mxClassDouble, mxClassCell, mxClassChar}) {
        const int points = ForEachAllocationFailure(
            [&] { ArrayPtr(mxCreateNumericArray(3, dims, id, mxComplexityComplex)); }, [] {});
        EXPECT_GE(points, 4);  // object, dimension list, real and imaginary buffers
    }
    EXPECT_GT(ForEachAllocationFailure([] { ArrayPtr(mxCreateString("text")); }, [] {}), 0);
    EXPECT_GT(ForEachAllocationFailure([] { ArrayPtr(mxCreateCellMatrix(2, 2)); }, [] {}), 0);
    EXPECT_GT(ForEachAllocationFailure(
                  [] {
                      const double v[] = {1, 2};
                      ArrayPtr(mxDoubleMatrix(1, 2, v, v));
                  },
                  [] {}),
              0);
}

TEST(AllocationFailure, CreateShareArray) {
    for (auto make : {ComplexMatrix, FilledCell}) {
        ExpectEachFailureLeavesTarget(make, [](CMatrix *t) { ArrayPtr(t->CreateShareArray()); });
        ExpectEachFailureLeavesTarget(make,
                                      [](CMatrix *t) { ArrayPtr(t->CreateDuplicateArray()); });
    }
}

TEST(AllocationFailure, GetOwnCopy) {
    for (auto make : {ComplexMatrix, FilledCell}) {
        const ArrayPtr original = make();
        const ArraySnapshot originalBefore = ArraySnapshot::Of(original.get());
        ExpectEachFailureLeavesTarget([&] { return ArrayPtr(original->CreateShareArray()); },
                                      [](CMatrix *t) { t->GetOwnCopy(); });
        EXPECT_TRUE(ArraySnapshot::Of(original.get()) == originalBefore);
    }
}

TEST(AllocationFailure, Extend) {
    const unsigned int grow[] = {3, 4, 2};
    auto extend = [&](CMatrix *t) { t->Extend(3, grow); };
    for (auto make : {ComplexMatrix, FilledCell}) {
        // A buffer of its own, whose cell elements are handed over, and a
        // shared one, whose cell elements are shared.
        ExpectEachFailureLeavesTarget(make, extend);
        const ArrayPtr original = make();
        const ArraySnapshot originalBefore = ArraySnapshot::Of(original.get());
        ExpectEachFailureLeavesTarget([&] { return ArrayPtr(original->CreateShareArray()); },
                                      extend);
        EXPECT_TRUE(ArraySnapshot::Of(original.get()) == originalBefore);
    }
}

TEST(AllocationFailure, ToComplex) {
    ExpectEachFailureLeavesTarget([] { return matrix_test::Matrix(2, 2, {1, 2, 3, 4}); },
                                  [](CMatrix *t) { t->ToComplex(); });
}

}  // namespace
