// tests/kiv0lang/print_test.cpp: kiv_wprintf formatting and UTF-8 output.
#include <kiv/print.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "support/stdout_capture.h"

namespace {

using matrix_test::CaptureStdout;

TEST(KivWprintf, FormatsLikeSwprintfAndWritesUtf8) {
    int result = 0;
    std::string out = CaptureStdout(
        [&] { result = kiv_wprintf(L"%d|%x|%e|%ls|%5.2f", -42, 255u, 1.5, L"wide", 3.14159); });
    EXPECT_EQ(out, "-42|ff|1.500000e+00|wide| 3.14");
    EXPECT_EQ(result, static_cast<int>(out.size()));
    out = CaptureStdout([&] { result = kiv_wprintf(L"\u00e9\u20ac\U0001F600"); });
    EXPECT_EQ(out, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(result, 3);  // wide characters, not bytes
    const std::wstring longText(100000, L'q');
    out = CaptureStdout([&] { kiv_wprintf(L"<%ls>", longText.c_str()); });
    EXPECT_EQ(out, "<" + std::string(100000, 'q') + ">");
    EXPECT_LT(kiv_wprintf(nullptr), 0);
    // Stdout stays byte oriented.
    out = CaptureStdout([] {
        kiv_wprintf(L"a");
        std::printf("b");
        kiv_wprintf(L"c");
        std::printf("d");
    });
    EXPECT_EQ(out, "abcd");
    EXPECT_LT(std::fwide(stdout, 0), 1);
}

}  // namespace
