// tests/support/alloc_tracker.h: counting global allocator with failure injection.
#ifndef MATRIX_TESTS_SUPPORT_ALLOC_TRACKER_H
#define MATRIX_TESTS_SUPPORT_ALLOC_TRACKER_H

namespace matrix_test {

/// Returns the number of blocks obtained from operator new (any form) and
/// not yet returned.
long LiveAllocations();

/// Makes the n-th allocation from now on fail (n >= 1): the throwing forms
/// throw std::bad_alloc, the nothrow forms return null. Only that one
/// allocation fails. n = 0 disarms.
void FailNthAllocation(long n);

/// True while an armed failure has not happened yet.
bool AllocationFailurePending();

}  // namespace matrix_test

#endif  // MATRIX_TESTS_SUPPORT_ALLOC_TRACKER_H
