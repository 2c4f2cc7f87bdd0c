// tests/kiv0lang/kiv0lang_test.cpp: the wide string, the out-of-memory exception and
// kiv_wprintf.
#include <kiv/exception.h>
#include <kiv/print.h>
#include <kiv/wstring.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>

#include "support/matrix_test.h"
#include "support/refusal.h"
#include "support/stdout_capture.h"

namespace {

using kiv::WString;

TEST(WString, CopiesAreIndependentAndMovesLeaveTheSourceEmpty) {
    EXPECT_TRUE(WString(nullptr).GetLength() == 0 && *WString(nullptr).c_str() == L'\0');
    // Both the inline and the heap representation.
    for (const wchar_t *text : {L"short", L"a text longer than the inline capacity"}) {
        WString a(text), b(a), c;
        EXPECT_EQ(a.GetLength(), int(std::wcslen(text)));
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
    }
}

TEST(WString, GetBufferSetLengthKeepsThePrefixAndTerminates) {
    WString s(L"abc");
    wchar_t *buffer = s.GetBufferSetLength(40);
    EXPECT_EQ(std::wstring(buffer, 41), std::wstring(L"abc") + std::wstring(38, L'\0'));
    for (int i = 0; i < 40; ++i) buffer[i] = L'z';
    EXPECT_TRUE(std::wcslen(s.c_str()) == 40u && s.GetLength() == 40);
    s.GetBufferSetLength(2);
    EXPECT_STREQ(s.c_str(), L"zz");
    s.GetBufferSetLength(-5);
    EXPECT_EQ(s.GetLength(), 0);
    // Equality compares the lengths, then the characters.
    WString withNul;
    withNul.GetBufferSetLength(2)[0] = L'a';  // "a\0" of length 2
    EXPECT_TRUE(WString(L"a") != withNul);
    EXPECT_TRUE(WString(L"abc") != WString(L"abd"));
}

// A failed growth throws and keeps the text.
TEST(CExhaustedMemoryException, ThrownByAFailedGrowthThatKeepsTheText) {
    WString s(L"kept");
    const auto grow = [&] {
        matrix_test::FailNthAllocation(1);
        s.GetBufferSetLength(1000);
    };
    const auto expected = matrix_test::Expected::Throws<kiv::CExhaustedMemoryException>();
    matrix_test::ExpectRefusal(grow, expected, {});
    EXPECT_STREQ(s.c_str(), L"kept");
}

TEST(KivWprintf, FormatsLikeSwprintfAndWritesUtf8) {
    int result = 0;
    const std::string out = matrix_test::CaptureStdout([&] {
        result = kiv_wprintf(L"%d|%x|%e|%ls|%5.2f|\u00e9\u20ac\U0001F600", -42, 255u, 1.5, L"wide",
                             3.14159);
    });
    EXPECT_EQ(out, "-42|ff|1.500000e+00|wide| 3.14|\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(result, 34);  // wide characters, not bytes
}

}  // namespace
