// tests/support/refusal.cpp: the one check of a refused call.
#include "support/refusal.h"

namespace matrix_test {

Expected NotImplemented() { return Expected::Throws<kiv::matrix::CNotImplementedException>(); }

void ExpectRefusal(const std::function<void()> &call, const Expected &expected,
                   const std::vector<const CMatrix *> &unchanged, const std::string &what) {
    const Snapshots before(unchanged);
    const LiveBlocks blocks;
    std::exception_ptr thrown;
    try {
        call();
    } catch (...) {
        thrown = std::current_exception();
    }
    if (!thrown) {
        ADD_FAILURE() << what << ": did not throw " << expected.ClassName();
    } else {
        std::string message;
        if (!expected.Matches(thrown, message)) {
            ADD_FAILURE() << what << ": threw something other than " << expected.ClassName();
        } else {
            EXPECT_EQ(message, expected.Message()) << what;
        }
    }
    thrown = nullptr;  // the exception object itself is not a leak
    EXPECT_EQ(blocks.Delta(), 0) << what << ": leaked";
    EXPECT_TRUE(before.Unchanged()) << what << ": changed an argument";
}

void ExpectRefusals(const std::vector<Refusal> &table) {
    for (const Refusal &row : table) ExpectRefusal(row.call, row.expected, row.unchanged, row.what);
}

}  // namespace matrix_test
