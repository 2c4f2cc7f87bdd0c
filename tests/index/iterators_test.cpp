// tests/index/iterators_test.cpp: walking index arrays and masks by class.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;

ArrayPtr Uint32Row(std::vector<std::uint32_t> values) {
    ArrayPtr a = matrix_test::Array({1, static_cast<unsigned int>(values.size())}, mxClassUint32);
    std::memcpy(a->GetPr(), values.data(), values.size() * sizeof(std::uint32_t));
    return a;
}

TEST(CMatrixIndexIterator, ConvertsDoublesByTheRoundingRule) {
    const ArrayPtr index = matrix_test::Matrix(
        1, 9, {0.5, 0.49, 2.5, -0.5, -0.6, -1, 0x1p32 + 1, NAN, 0x1p63});
    CMatrixIndexIterator it(index.get());
    const std::uint32_t expected[] = {1, 0, 3, 0, 4294967295u, 4294967295u, 1, 0, 0};
    for (std::uint32_t e : expected) EXPECT_EQ(it.GetNextIndex(), e);
}

TEST(CMatrixIndexIterator, ReadsUint32Unchanged) {
    const ArrayPtr index = Uint32Row({7, 0, 4294967295u});
    CMatrixIndexIterator it(index.get());
    CMatrixIndexIterator copy = it;  // copies share nothing but the data
    EXPECT_EQ(it.GetNextIndex(), 7u);
    EXPECT_EQ(it.GetNextIndex(), 0u);
    EXPECT_EQ(copy.GetNextIndex(), 7u);
    copy = it;
    EXPECT_EQ(copy.GetNextIndex(), 4294967295u);
}

TEST(CMatrixLogicalIterator, TruthOfDoubleAndUint32) {
    const ArrayPtr mask = matrix_test::Matrix(1, 4, {0, NAN, -0.0, 2});
    CMatrixLogicalIterator it(mask.get());
    for (bool e : {false, true, false, true}) EXPECT_EQ(it.GetNextLogical(), e);
    const ArrayPtr umask = Uint32Row({0, 5});
    CMatrixLogicalIterator uit(umask.get());
    EXPECT_FALSE(uit.GetNextLogical());
    EXPECT_TRUE(uit.GetNextLogical());
}

TEST(Iterators, RefuseOtherClasses) {
    for (mxClassID id : {mxClassInt32, mxClassSingle, mxClassChar, mxClassUint8, mxClassCell}) {
        const ArrayPtr a = matrix_test::Array({1, 2}, id);
        EXPECT_THROW_MSG(CMatrixIndexIterator{a.get()}, CNotImplementedException,
                         L"Operation not implemented! :-(");
        EXPECT_THROW_MSG(CMatrixLogicalIterator{a.get()}, CNotImplementedException,
                         L"Operation not implemented! :-(");
    }
}

}  // namespace
