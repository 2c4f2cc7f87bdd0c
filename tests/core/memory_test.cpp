// tests/core/memory_test.cpp: the cache of freed large data blocks.
#include "support/matrix_test.h"

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace matrix_test;

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kDefaultCap = 256 * kMiB;

// An m x n double array with every byte 0xA5: what a freed block looks like
// to the array that gets it next.
ArrayPtr Garbage(unsigned int m, unsigned int n) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    std::memset(a->GetPr(), 0xA5, a->GetAllocSize());
    return a;
}

bool AllBytesZero(const void *data, std::size_t bytes) {
    const auto *p = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < bytes; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

// Gives back the calling thread's blocks and keeps the setting.
void Flush() { LiveBlocks::Settle(); }

// Every test starts with the calling thread's cache empty and the default
// bound, and leaves it so. Sanitizer builds have no cache: there the bound
// reads 0 and nothing is ever kept.
class BlockCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_enabled = GetBlockCacheBytes() != 0;
        Flush();
    }
    void TearDown() override {
        SetBlockCacheBytes(m_enabled ? kDefaultCap : 0);
        Flush();
    }
    bool m_enabled = false;
};

// Blocks the calling thread keeps after freeing arrays of `shapes`, all
// alive together, under the bound `cap`: live blocks after the release,
// beyond those left with the cache off.
long KeptBlocks(std::size_t cap, const std::vector<DimList> &shapes) {
    long left[2] = {0, 0};
    for (int on = 0; on < 2; ++on) {
        SetBlockCacheBytes(on != 0 ? cap : 0);
        std::vector<ArrayPtr> arrays;
        for (const DimList &dims : shapes) arrays.push_back(matrix_test::Array(dims));
        const long start = LiveAllocations();
        arrays.clear();
        left[on] = LiveAllocations() - start;
        SetBlockCacheBytes(0);
    }
    return left[1] - left[0];
}

TEST_F(BlockCacheTest, KeepsWhatTheBoundAllows) {
    const DimList k2MiB = {512, 512};
    const DimList k1MiB = {512, 256};
    struct Row {
        std::string what;
        std::size_t cap;
        std::vector<DimList> shapes;
        long kept;
    };
    const std::vector<Row> table = {
        {"one 2 MiB block", kDefaultCap, {k2MiB}, 1},
        {"a result of 10^7 elements", kDefaultCap, {{10000000, 1}}, 1},
        {"two of three within 5 MiB", 5 * kMiB, {k2MiB, k2MiB, k2MiB}, 2},
        {"a block above the bound", 4 * kMiB, {{1024, 1024}}, 0},
        {"blocks below 128 KiB", kDefaultCap, {{128, 127}, {1000, 10}}, 0},
        {"a block of 128 KiB", kDefaultCap, {{128, 128}}, 1},
        {"at most 8 blocks", kDefaultCap, std::vector<DimList>(10, k1MiB), 8},
        {"exactly the bound", 4 * kMiB, {k2MiB, k2MiB}, 2},
        {"turned off", 0, {k2MiB}, 0},
    };
    for (const Row &row : table) {
        EXPECT_EQ(KeptBlocks(row.cap, row.shapes), m_enabled ? row.kept : 0) << row.what;
    }
}

TEST_F(BlockCacheTest, LoweringTheBoundGivesBlocksBackAtOnce) {
    std::vector<ArrayPtr> held;
    for (int i = 0; i < 3; ++i) held.push_back(Garbage(512, 512));
    held.clear();
    const long start = LiveAllocations();
    SetBlockCacheBytes(4 * kMiB);
    EXPECT_EQ(LiveAllocations() - start, m_enabled ? -1 : 0);
    // Turning the cache off also gives back the three array objects (each
    // one block with its dimension list), kept for reuse in the same builds.
    SetBlockCacheBytes(0);
    EXPECT_EQ(LiveAllocations() - start, m_enabled ? -3 - 3 : 0);
}

// Each row frees a block full of 0xA5 bytes and then makes an array that
// promises zeros where that block fits; the block must be reused and
// cleared.
TEST_F(BlockCacheTest, ReusedBlocksAreClearedWhereZerosArePromised) {
    if (!m_enabled) GTEST_SKIP() << "no block cache in this build";
    struct Row {
        std::string what;
        unsigned int m, n;                            // the freed block's shape
        std::function<void(ArrayPtr &)> make;         // makes the new array
        std::function<bool(const CMatrix *)> zeroed;  // checks the promised zeros
    };
    const auto allZero = [](const CMatrix *a) {
        return AllBytesZero(a->GetPr(), a->GetAllocSize());
    };
    const std::vector<Row> table = {
        {"Zeros", 512, 512, [](ArrayPtr &a) { a.reset(Zeros(512, 512)); }, allZero},
        {"Zeros, a smaller size that fits", 512, 512, [](ArrayPtr &a) { a.reset(Zeros(300, 500)); },
         allZero},
        {"mxDoubleMatrix without data", 512, 512,
         [](ArrayPtr &a) { a.reset(mxDoubleMatrix(512, 512, nullptr, nullptr)); }, allZero},
        {"cell array", 512, 256, [](ArrayPtr &a) { a.reset(mxCreateCellMatrix(512, 256)); },
         [](const CMatrix *a) {
             for (unsigned int i = 0; i < a->GetNoElems(); ++i) {
                 if (mxGetCell(a, i) != nullptr) return false;
             }
             return true;
         }},
        {"growth by assignment past the end", 512, 512,
         [](ArrayPtr &a) {
             a.reset(Zeros(1, 1000));
             ArrayPtr index(Scalar(512.0 * 512.0));
             ArrayPtr value(Scalar(7.0));
             CMatrix *grown = a.release();
             Indexassign(grown, index.get(), value.get());
             a.reset(grown);
         },
         [](const CMatrix *a) {
             const double *p = mxGetPr(a);
             const unsigned int last = a->GetNoElems() - 1;
             return last == 512 * 512 - 1 && p[last] == 7.0 &&
                    AllBytesZero(p, last * sizeof(double));
         }},
    };
    for (const Row &row : table) {
        Flush();
        ArrayPtr garbage = Garbage(row.m, row.n);
        const void *old = garbage->GetPr();
        garbage.reset();
        ArrayPtr a;
        row.make(a);
        EXPECT_EQ(a->GetPr(), old) << row.what << ": block not reused";
        EXPECT_TRUE(row.zeroed(a.get())) << row.what << ": old data visible";
    }
}

TEST_F(BlockCacheTest, BlocksMuchLargerThanTheRequestAreNotHandedOut) {
    ArrayPtr large = Garbage(1024, 1024);
    const void *old = large->GetPr();
    large.reset();
    const ArrayPtr a(Zeros(512, 512));  // half the freed block
    EXPECT_NE(a->GetPr(), old);
    EXPECT_TRUE(AllBytesZero(a->GetPr(), a->GetAllocSize()));
}

TEST_F(BlockCacheTest, FreshResultsOfElementWiseWorkReuseBlocks) {
    if (!m_enabled) GTEST_SKIP() << "no block cache in this build";
    const ArrayPtr x = Counted({1000, 1000});
    const ArrayPtr y = Counted({1000, 1000}, -5.0);
    ArrayPtr sum(Plus(x.get(), y.get()));
    const void *old = sum->GetPr();
    sum.reset();
    sum.reset(Plus(x.get(), y.get()));
    EXPECT_EQ(sum->GetPr(), old);
    for (unsigned int k = 0; k < 1000000; k += 9973)
        EXPECT_EQ(mxGetPr(sum.get())[k], 2.0 * k - 4.0);
}

// When the system refuses a block, the thread gives back the blocks it keeps
// and asks once more, so a failure that more memory would have avoided does
// not reach the caller.
TEST_F(BlockCacheTest, RefusedRequestGivesBackKeptBlocksFirst) {
    if (!m_enabled) GTEST_SKIP() << "no block cache in this build";
    int rescued = 0;
    for (long n = 1; n <= 100; ++n) {
        Flush();
        Garbage(1024, 1024).reset();  // kept, and too large to be handed out below
        const long before = LiveAllocations();
        bool threw = false;
        FailNthAllocation(n);
        try {
            const ArrayPtr a(Zeros(512, 512));
            EXPECT_TRUE(AllBytesZero(a->GetPr(), a->GetAllocSize()));
        } catch (const kiv::CExhaustedMemoryException &) {
            threw = true;
        }
        const bool failed = !AllocationFailurePending();
        FailNthAllocation(0);
        if (!failed) break;
        // A rescued request gave back the large block and keeps its own.
        EXPECT_EQ(LiveAllocations(), before) << "after allocation " << n << " failed";
        if (!threw) ++rescued;
    }
    EXPECT_EQ(rescued, 1);
}

TEST_F(BlockCacheTest, ThreadExitGivesBlocksBack) {
    long keptInThread[2] = {0, 0};
    for (int on = 0; on < 2; ++on) {
        SetBlockCacheBytes(on != 0 ? kDefaultCap : 0);
        const long before = LiveAllocations();
        std::thread worker([&] {
            Garbage(512, 512).reset();
            keptInThread[on] = LiveAllocations() - before;
        });
        worker.join();
        EXPECT_EQ(LiveAllocations(), before) << (on != 0 ? "cache on" : "cache off");
    }
    EXPECT_EQ(keptInThread[1] - keptInThread[0], m_enabled ? 1 : 0);
}

}  // namespace
