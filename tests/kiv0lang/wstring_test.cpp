// tests/kiv0lang/wstring_test.cpp: the wide string and the out-of-memory exception.
#include <kiv/exception.h>
#include <kiv/wstring.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using kiv::WString;

TEST(WString, ConstructsFromTextAndNull) {
    EXPECT_EQ(WString().GetLength(), 0);
    EXPECT_STREQ(WString().c_str(), L"");
    EXPECT_STREQ(WString(nullptr).c_str(), L"");
    const WString s(L"Index exceeds matrix dimensions");
    EXPECT_EQ(s.GetLength(), 31);
    EXPECT_STREQ(s.c_str(), L"Index exceeds matrix dimensions");
}

TEST(WString, CopiesAreIndependentAndMovesLeaveTheSourceEmpty) {
    // Both the inline and the heap representation.
    for (const wchar_t *text : {L"short", L"a text longer than the inline capacity"}) {
        WString a(text), b(a), c;
        b.GetBufferSetLength(2)[0] = L'X';
        EXPECT_STREQ(a.c_str(), text);
        EXPECT_TRUE(a != b);
        c = a;
        const WString &alias = c;
        c = alias;  // self-assignment keeps the text
        EXPECT_TRUE(c == a);
        WString d(std::move(c));
        EXPECT_STREQ(d.c_str(), text);
        EXPECT_EQ(c.GetLength(), 0);  // NOLINT(bugprone-use-after-move)
        c = std::move(d);
        EXPECT_STREQ(c.c_str(), text);
        c = WString(L"x");
        EXPECT_STREQ(c.c_str(), L"x");
    }
}

TEST(WString, GetBufferSetLengthKeepsThePrefixAndTerminates) {
    WString s(L"abc");
    wchar_t *buffer = s.GetBufferSetLength(40);
    EXPECT_EQ(s.GetLength(), 40);
    EXPECT_EQ(std::wstring(buffer, 41), std::wstring(L"abc") + std::wstring(38, L'\0'));
    for (int i = 0; i < 40; ++i) buffer[i] = L'z';
    EXPECT_EQ(std::wcslen(s.c_str()), 40u);
    s.GetBufferSetLength(2);
    EXPECT_STREQ(s.c_str(), L"zz");
    s.GetBufferSetLength(-5);
    EXPECT_EQ(s.GetLength(), 0);

    // Equality compares the lengths, then the characters.
    WString withNul;
    withNul.GetBufferSetLength(2)[0] = L'a';  // "a\0" of length 2
    EXPECT_TRUE(WString(L"a") != withNul);
    EXPECT_TRUE(WString(L"abc") == WString(L"abc"));
    EXPECT_TRUE(WString(L"abc") != WString(L"abd"));
}

TEST(WString, FailedGrowthThrowsAndKeepsTheText) {
    WString s(L"kept");
    matrix_test::ExpectRefusal(
        [&] {
            matrix_test::FailNthAllocation(1);
            s.GetBufferSetLength(1000);
        },
        matrix_test::Expected::Throws<kiv::CExhaustedMemoryException>(), {});
    matrix_test::FailNthAllocation(0);
    EXPECT_STREQ(s.c_str(), L"kept");
}

TEST(CExhaustedMemoryException, IsThrownAndCopiedWithoutAllocating) {
    // Throwing it must not need the memory that just ran out.
    matrix_test::FailNthAllocation(1);
    try {
        const kiv::CExhaustedMemoryException original;
        throw kiv::CExhaustedMemoryException(original);
    } catch (const kiv::IException &e) {
        EXPECT_TRUE(matrix_test::AllocationFailurePending());
        EXPECT_TRUE(e.GetMessage() == kiv::CExhaustedMemoryException().GetMessage());
    }
    matrix_test::FailNthAllocation(0);
}

}  // namespace
