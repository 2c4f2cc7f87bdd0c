// tests/core/cmatrix_test.cpp: shape normalisation, buffer layout, flags and predicates.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/matrix_test.h"

namespace {

using namespace kiv::matrix;
using matrix_test::Array;
using matrix_test::ArrayPtr;
using matrix_test::Dims;
using Shape = std::vector<unsigned int>;

std::uint16_t HeaderCount(const void *data) {
    std::uint16_t count;
    std::memcpy(&count, static_cast<const char *>(data) - 6, sizeof count);
    return count;
}

std::uint32_t HeaderBytes(const void *data) {
    std::uint32_t bytes;
    std::memcpy(&bytes, static_cast<const char *>(data) - 4, sizeof bytes);
    return bytes;
}

TEST(CMatrix, NormalisesShape) {
    struct Case {
        Shape request, stored;
        unsigned int elements;
    };
    const Case cases[] = {
        {{5}, {5, 1}, 5},        {{}, {0, 0}, 0},          {{2, 3, 1, 1}, {2, 3}, 6},
        {{2, 1}, {2, 1}, 2},     {{1, 1, 4}, {1, 1, 4}, 4}, {{2, 0, 3}, {2, 0, 3}, 0},
        {{1, 1, 1}, {1, 1}, 1},  {{3, 1, 2, 1}, {3, 1, 2}, 6},
    };
    for (const Case &c : cases) {
        const ArrayPtr a = Array(c.request);
        EXPECT_EQ(Dims(a.get()), c.stored);
        EXPECT_EQ(a->GetNoElems(), c.elements);
    }
}

TEST(CMatrix, BufferHeaderAndAlignment) {
    const ArrayPtr a = Array({3, 5}, mxClassInt16, mxComplexityComplex);
    for (const void *data : {a->GetPr(), a->GetPi()}) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 64, 0u);
        EXPECT_EQ(HeaderCount(data), 1);
        EXPECT_EQ(HeaderBytes(data), 30u);
    }
    EXPECT_EQ(a->GetAllocSize(), 30u);
    // Even an array without elements has a buffer.
    const ArrayPtr empty = Array({0, 0});
    EXPECT_TRUE(empty->IsInitialized());
    EXPECT_EQ(HeaderBytes(empty->GetPr()), 0u);
}

TEST(CMatrix, ElementSizesByClass) {
    const unsigned int expected[] = {0, 8, 8, 8, 1, 0, 8, 4, 1, 1, 2, 2, 4, 4, 8, 8};
    for (int id = 0; id < 16; ++id) {
        const ArrayPtr a = Array({2, 2}, static_cast<mxClassID>(id));
        EXPECT_EQ(a->GetElementSize(), expected[id]) << "class " << id;
        EXPECT_EQ(a->GetAllocSize(), 4 * expected[id]) << "class " << id;
    }
}

TEST(CMatrix, CellAndStructSlotsStartEmpty) {
    for (mxClassID id : {mxClassCell, mxClassStruct}) {
        const ArrayPtr a = Array({3, 2}, id);
        auto *const *slots = static_cast<CMatrix *const *>(a->GetPr());
        for (unsigned int i = 0; i < 6; ++i) EXPECT_EQ(slots[i], nullptr);
    }
}

TEST(CMatrix, FlagsAndCounter) {
    const unsigned int dims[] = {1, 1};
    ArrayPtr a(new CMatrix(2, dims, mxClassDouble, 0x0101, mxComplexityReal));
    EXPECT_TRUE(a->IsLogical());
    a->SetFlag(0x4, 0x1);
    EXPECT_EQ(a->GetFlags(), 0x0104u);
    a->SetFlag(0x3, 0x0);  // bits outside the mask are set as well
    EXPECT_EQ(a->GetFlags(), 0x0107u);
    a->ClearLogical();
    EXPECT_FALSE(a->IsLogical());
    a->SetLogical();
    EXPECT_TRUE(mxIsLogical(a.get()));

    EXPECT_EQ(a->GetCounter(), 0);
    EXPECT_EQ(a->IncCounter(), 1);
    EXPECT_EQ(a->DecCounter(), 0);
    EXPECT_EQ(a->DecCounter(), 0xFFFF);  // 16-bit wrap
}

TEST(CMatrix, ShapePredicates) {
    struct Case {
        Shape dims;
        mxClassID id;
        bool empty, scalar, vector, matrix, nd;
    };
    const Case cases[] = {
        {{0, 0}, mxClassDouble, true, false, false, false, false},
        {{0, 3}, mxClassDouble, false, false, false, false, false},
        {{1, 0}, mxClassDouble, false, false, false, false, false},
        {{1, 1}, mxClassDouble, false, true, true, false, false},
        {{1, 1}, mxClassCell, false, false, false, false, false},
        {{1, 5}, mxClassChar, false, false, true, false, false},
        {{5, 1}, mxClassUint8, false, false, true, false, false},
        {{2, 2}, mxClassDouble, false, false, false, true, false},
        {{2, 2, 2}, mxClassDouble, false, false, false, false, true},
        {{1, 1, 4}, mxClassStruct, false, false, false, false, false},
    };
    for (const Case &c : cases) {
        const ArrayPtr a = Array(c.dims, c.id);
        SCOPED_TRACE(::testing::PrintToString(c.dims) + " class " + std::to_string(c.id));
        EXPECT_EQ(a->IsEmpty(), c.empty);
        EXPECT_EQ(a->IsScalar(), c.scalar);
        EXPECT_EQ(a->IsVector(), c.vector);
        EXPECT_EQ(a->IsMatrix(), c.matrix);
        EXPECT_EQ(a->IsNDMatrix(), c.nd);
    }
}

TEST(CMatrix, ClassPredicates) {
    for (int id = 0; id < 16; ++id) {
        const ArrayPtr a = Array({1, 1}, static_cast<mxClassID>(id));
        const bool is[] = {false,          a->IsCell(),   a->IsStruct(), false,
                           a->IsChar(),    a->IsSparse(), a->IsDouble(), a->IsSingle(),
                           a->IsInt8(),    a->IsUint8(),  a->IsInt16(),  a->IsUint16(),
                           a->IsInt32(),   a->IsUint32(), a->IsInt64(),  a->IsUint64()};
        for (int other = 0; other < 16; ++other) {
            if (other == 0 || other == 3) continue;  // no predicate of their own
            EXPECT_EQ(is[other], other == id) << "class " << id << " predicate " << other;
        }
        EXPECT_EQ(a->IsNumeric(), id != 1 && id != 2 && id != 3);
        EXPECT_EQ(a->GetClassID(), id);
    }
}

TEST(CMatrix, ComplexAndRealConversions) {
    ArrayPtr a = matrix_test::Matrix(2, 2, {1, 2, 3, 4});
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(a->GetComplexity(), mxComplexityReal);
    a->ToComplex();
    EXPECT_TRUE(a->IsComplex());
    EXPECT_EQ(a->GetComplexity(), mxComplexityComplex);
    EXPECT_EQ(matrix_test::ImagValues(a.get()), (std::vector<double>{0, 0, 0, 0}));
    const void *imag = a->GetPi();
    a->ToComplex();  // no effect on a complex array
    EXPECT_EQ(a->GetPi(), imag);
    a->ToReal();
    EXPECT_FALSE(a->IsComplex());
    EXPECT_EQ(a->GetPi(), nullptr);
    EXPECT_EQ(matrix_test::Values(a.get()), (std::vector<double>{1, 2, 3, 4}));
}

TEST(CMatrix, IsColon) {
    EXPECT_TRUE(ArrayPtr(mxCreateColonIndex())->IsColon());
    EXPECT_FALSE(ArrayPtr(mxCreateString(";"))->IsColon());
    EXPECT_FALSE(ArrayPtr(mxCreateString("::"))->IsColon());
    ArrayPtr d = matrix_test::Matrix(1, 1, {58.0});  // ':' as a double
    EXPECT_FALSE(d->IsColon());
}

TEST(CMatrix, ShapeTooLargeForThirtyTwoBits) {
    const matrix_test::LiveBlocks blocks;
    // The element count overflows (also when it would wrap to a small
    // number), or the count fits but its byte size does not.
    EXPECT_THROW(Array({65536, 65536, 1}), kiv::CExhaustedMemoryException);
    EXPECT_THROW(Array({65536, 65536, 2}), kiv::CExhaustedMemoryException);
    EXPECT_THROW(Array({2, 1u << 30}), kiv::CExhaustedMemoryException);  // 2^31 doubles
    EXPECT_THROW(Array({1u << 31, 1}, mxClassInt16), kiv::CExhaustedMemoryException);
    EXPECT_EQ(blocks.Delta(), 0);
    // A zero length anywhere makes the count 0, whatever the other lengths.
    EXPECT_EQ(Array({70000, 70000, 0})->GetNoElems(), 0u);
}

}  // namespace
