// tests/array/array_test.cpp: tests of Array's ownership, construction, reading out, display and exceptions.
#include <matrix/array.h>
#include <matrix/display.h>

#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using kiv::matrix::Array;
using kiv::matrix::CMatrix;
using matrix_test::Expected;
using matrix_test::LiveBlocks;
namespace km = kiv::matrix;

std::vector<unsigned int> DimsOf(const Array &a) { return a.Dims(); }

TEST(Array, CopiesShareAndWritesUnshare) {
    const LiveBlocks blocks;
    {
        Array a = {{1, 2}, {3, 4}};
        Array b = a;
        EXPECT_EQ(b.get()->GetPr(), a.get()->GetPr());
        b.MutableData()[0] = 100.0;
        EXPECT_NE(b.get()->GetPr(), a.get()->GetPr());
        EXPECT_EQ(a.ToVector(), (std::vector<double>{1, 3, 2, 4}));
        EXPECT_EQ(b.ToVector(), (std::vector<double>{100, 3, 2, 4}));

        // Element stores and indexed assignment unshare too.
        Array c = a;
        c(1, 2) = -1.0;
        Array d = a;
        d(km::All, 1) = 0.0;
        EXPECT_EQ(a.ToVector(), (std::vector<double>{1, 3, 2, 4}));
        EXPECT_EQ(c.ToVector(), (std::vector<double>{1, 3, -1, 4}));
        EXPECT_EQ(d.ToVector(), (std::vector<double>{0, 0, 2, 4}));

        // Reading through a const Array never unshares.
        const Array e = a;
        EXPECT_EQ(e.Data(), a.Data());
        EXPECT_EQ(e(2, 1), 3.0);
        EXPECT_EQ(e.get()->GetPr(), a.get()->GetPr());
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Array, MovesTransferAndReleaseHandsOver) {
    const LiveBlocks blocks;
    {
        Array a = {1, 2, 3};
        const CMatrix *raw = a.get();
        Array b = std::move(a);
        EXPECT_EQ(b.get(), raw);
        a = b;  // a moved-from Array can be assigned again
        EXPECT_EQ(a.ToVector(), b.ToVector());

        CMatrix *owned = b.release();
        EXPECT_EQ(owned, raw);
        EXPECT_EQ(b.get(), nullptr);
        Array c = Array::Adopt(owned);
        EXPECT_EQ(c.get(), raw);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

// The borrowed result of mxGetCell is shared, never taken: the cell still
// owns its element, and writing the Array leaves the element as it was.
TEST(Array, ShareOfABorrowedCellElementNeverFreesIt) {
    const LiveBlocks blocks;
    {
        matrix_test::ArrayPtr cell(km::mxCreateCellMatrix(1, 1));
        km::mxSetCell(cell.get(), 0, km::Scalar(5.0));
        {
            Array e = Array::Share(km::mxGetCell(cell.get(), 0));
            e(1) = 6.0;
            EXPECT_EQ(e.Scalar(), 6.0);
        }
        EXPECT_EQ(km::mxGetScalar(km::mxGetCell(cell.get(), 0)), 5.0);
    }
    EXPECT_EQ(blocks.Delta(), 0);
}

TEST(Array, Constructs) {
    struct Case {
        const char *what;
        Array value;
        std::vector<unsigned int> dims;
        std::vector<double> values;
    };
    const double raw[] = {1, 2, 3, 4, 5, 6};
    const Case cases[] = {
        {"default", Array(), {0, 0}, {}},
        {"scalar", Array(2.5), {1, 1}, {2.5}},
        {"int", Array(7), {1, 1}, {7}},
        {"row", Array{1, 2, 3}, {1, 3}, {1, 2, 3}},
        {"rows", Array{{1, 2, 3}, {4, 5, 6}}, {2, 3}, {1, 4, 2, 5, 3, 6}},
        {"no rows", Array(std::initializer_list<std::initializer_list<double>>{}), {0, 0}, {}},
        {"column", Array(std::vector<double>{1, 2}), {2, 1}, {1, 2}},
        {"vector with shape",
         Array(2, 3, std::vector<double>(raw, raw + 6)),
         {2, 3},
         {1, 2, 3, 4, 5, 6}},
        {"span with shape", Array(3, 2, raw), {3, 2}, {1, 2, 3, 4, 5, 6}},
        {"empty", Array(km::Empty()), {0, 0}, {}},
        {"range", Array(km::Range(1, 2, 6)), {1, 3}, {1, 3, 5}},
        {"zeros", Array::Zeros({2, 1, 2}), {2, 1, 2}, {0, 0, 0, 0}},
        {"eye", Array::Eye(2), {2, 2}, {1, 0, 0, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DimsOf(c.value), c.dims);
        EXPECT_EQ(c.value.ToVector(), c.values);
        EXPECT_EQ(c.value.ClassID(), km::mxClassDouble);
    }
    const Array text("héllo");
    EXPECT_EQ(text.ClassID(), km::mxClassChar);
    EXPECT_EQ(text.Numel(), std::strlen("héllo"));
}

// Numel, NDims, IsEmpty, Rows and Scalar are the built-ins' readers, pinned
// by the golden scripts.
TEST(Array, ReadsOut) {
    const Array a = Array::Zeros({2, 3, 4});
    EXPECT_EQ(a.Cols(), 3u);
    EXPECT_EQ(a.Size(3), 4u);
    EXPECT_EQ(a.Size(4), 1u);

    // Two subscripts fold the trailing dimensions, as the language does.
    const Array b(2, 3, std::vector<double>{1, 2, 3, 4, 5, 6});
    EXPECT_EQ(b.At(2, 3), 6.0);
    EXPECT_EQ(b.At(5), 5.0);
    EXPECT_EQ(Array::Ones({2, 2, 2}).At(2, 4), 1.0);
}

TEST(Array, RefusesBadReadsAndShapes) {
    const Array b = {{1, 2}, {3, 4}};
    const Array text("ab");
    const auto fn = [](const wchar_t *message) {
        return Expected::Throws(km::CFunctionErrorException(message));
    };
    const Expected zero = Expected::Throws<km::CIndexIntoMatrixNegativeOrZeroException>();
    const Expected exceeds = Expected::Throws<km::CIndexExceedsMatrixDimensionsException>();
    const Expected no = matrix_test::NotImplemented();
    matrix_test::ExpectRefusals({
        {"row 0", [&] { (void)b.At(0, 1); }, zero, {b.get()}},
        {"column -1", [&] { (void)b.At(1, -1); }, zero, {b.get()}},
        {"row 3", [&] { (void)b.At(3, 1); }, exceeds, {b.get()}},
        {"column 3", [&] { (void)b.At(1, 3); }, exceeds, {b.get()}},
        {"linear 5", [&] { (void)b(5); }, exceeds, {b.get()}},
        {"char element", [&] { (void)text.At(1); }, no, {text.get()}},
        {"char data", [&] { (void)text.ToVector(); }, no, {text.get()}},
        {"scalar of 4", [&] { (void)b.Scalar(); }, fn(L"The array is not a scalar"), {b.get()}},
        {"size 0", [&] { (void)b.Size(0); }, zero, {b.get()}},
        {"ragged rows",
         [] {
             Array r = {{1, 2}, {3}};
         },
         Expected::Throws<km::CAllRowsMustHaveSameColumns>(),
         {}},
        {"values for shape",
         [] { Array r(2, 2, std::vector<double>(3, 1.0)); },
         fn(L"The number of values does not match the size"),
         {}},
        {"adopt null", [] { Array::Adopt(nullptr); }, fn(L"Null array"), {}},
        {"end outside a subscript",
         [] { Array r = km::Range(1, km::End()); },
         fn(L"End is only valid in a subscript"),
         {}},
    });
}

TEST(Array, DisplaysThroughTheLibraryFormatter) {
    const Array a = {{1, -2.5}, {3, 4}};
    EXPECT_EQ(a.ToString("A"), km::DisplayText(a.get(), "A"));
    EXPECT_EQ(a.ToString(), km::DisplayText(a.get(), ""));
    std::ostringstream out;
    out << a;
    EXPECT_EQ(out.str(), a.ToString());
    testing::internal::CaptureStdout();
    a.Disp();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), a.ToString());
}

// Every exception of the libraries is a std::exception whose what() is its
// message in UTF-8; a message too long for the inline text is cut on a
// character boundary.
TEST(IException, WhatIsTheMessageInUtf8) {
    const km::CFunctionErrorException accented(L"\u00e9t\u00e9 \u20ac \U0001F600");
    EXPECT_STREQ(accented.what(), "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");

    std::wstring longText(300, L'x');
    longText[251] = L'\u20ac';  // fits, but leaves no room for the ellipsis
    const km::CFunctionErrorException cut(longText.c_str());
    const std::string what = cut.what();
    EXPECT_EQ(what.size(), 254u);
    EXPECT_EQ(what.substr(0, 251), std::string(251, 'x'));
    EXPECT_EQ(what.substr(251), "...");
    const km::CFunctionErrorException copy(cut);
    EXPECT_STREQ(copy.what(), cut.what());
}

TEST(IException, OutOfMemoryIsThrownAndReadWithoutAllocating) {
    const LiveBlocks blocks;
    matrix_test::FailNthAllocation(1);
    try {
        throw kiv::CExhaustedMemoryException();
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "Out of memory");
    }
    EXPECT_TRUE(matrix_test::AllocationFailurePending());
    matrix_test::FailNthAllocation(0);
    EXPECT_EQ(blocks.Delta(), 0);
}

}  // namespace
