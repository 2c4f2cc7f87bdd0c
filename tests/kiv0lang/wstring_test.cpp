// tests/kiv0lang/wstring_test.cpp: the wide string.
#include <kiv/exception.h>
#include <kiv/wstring.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>

#include "support/matrix_test.h"

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

TEST(WString, CopiesAreIndependent) {
    // Both the inline and the heap representation.
    for (const wchar_t *text : {L"short", L"a text longer than the inline capacity"}) {
        WString a(text);
        WString b(a);
        EXPECT_TRUE(a == b);
        b.GetBufferSetLength(2)[0] = L'X';
        EXPECT_STREQ(a.c_str(), text);
        EXPECT_TRUE(a != b);
        WString c;
        c = a;
        EXPECT_TRUE(c == a);
        const WString &alias = c;
        c = alias;  // self-assignment keeps the text
        EXPECT_TRUE(c == a);
    }
}

TEST(WString, MoveLeavesSourceEmptyAndUsable) {
    for (const wchar_t *text : {L"short", L"a text longer than the inline capacity"}) {
        WString a(text);
        WString b(std::move(a));
        EXPECT_STREQ(b.c_str(), text);
        EXPECT_EQ(a.GetLength(), 0);  // NOLINT(bugprone-use-after-move)
        a = std::move(b);
        EXPECT_STREQ(a.c_str(), text);
        a = WString(L"x");
        EXPECT_STREQ(a.c_str(), L"x");
    }
}

TEST(WString, GetBufferSetLengthKeepsPrefixAndTerminates) {
    WString s(L"abc");
    wchar_t *buffer = s.GetBufferSetLength(40);
    EXPECT_EQ(s.GetLength(), 40);
    EXPECT_EQ(std::wstring(buffer, 3), L"abc");
    for (int i = 3; i < 40; ++i) EXPECT_EQ(buffer[i], L'\0');
    EXPECT_EQ(s.c_str()[40], L'\0');
    for (int i = 0; i < 40; ++i) buffer[i] = L'z';
    EXPECT_EQ(std::wcslen(s.c_str()), 40u);
    s.GetBufferSetLength(2);
    EXPECT_STREQ(s.c_str(), L"zz");
    s.GetBufferSetLength(-5);
    EXPECT_EQ(s.GetLength(), 0);
}

TEST(WString, EqualityComparesLengthAndCharacters) {
    WString withNul;
    withNul.GetBufferSetLength(2)[0] = L'a';  // "a\0" of length 2
    EXPECT_TRUE(WString(L"a") != withNul);
    EXPECT_TRUE(WString(L"abc") == WString(L"abc"));
    EXPECT_TRUE(WString(L"abc") != WString(L"abd"));
}

TEST(WString, FailedGrowthThrowsAndKeepsText) {
    WString s(L"kept");
    const matrix_test::LiveBlocks blocks;
    matrix_test::FailNthAllocation(1);
    EXPECT_THROW(s.GetBufferSetLength(1000), kiv::CExhaustedMemoryException);
    matrix_test::FailNthAllocation(0);
    EXPECT_STREQ(s.c_str(), L"kept");
    EXPECT_EQ(blocks.Delta(), 0);
}

}  // namespace
