// tests/mtrx/format_test.cpp: sprintf's conversions against the C library's
// snprintf, for every conversion, flag, width and precision that C defines.
#include "format.h"

#include "arrays.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using mtrx::Value;

// What snprintf prints for `format` with the '*' values `stars` before the
// value `x`.
template <typename T>
std::string C(const std::string &format, const std::vector<int> &stars, T x) {
    char buffer[512];
    int n = -1;
    switch (stars.size()) {
        case 0: n = std::snprintf(buffer, sizeof buffer, format.c_str(), x); break;
        case 1: n = std::snprintf(buffer, sizeof buffer, format.c_str(), stars[0], x); break;
        default: n = std::snprintf(buffer, sizeof buffer, format.c_str(), stars[0], stars[1], x);
    }
    return n < 0 ? "<snprintf failed>" : std::string(buffer, static_cast<std::size_t>(n));
}

// The C argument type a conversion is checked with.
enum class Arg { Signed, Unsigned, Double, Char, Text };

struct Case {
    char conversion;
    Arg arg;
    // The flags C defines for the conversion ('#' and '0' are undefined for
    // some), and whether a precision is defined.
    const char *flags;
    bool precision;
};

TEST(MtrxFormat, EqualsSnprintf) {
    const Case cases[] = {
        {'d', Arg::Signed, "-+ 0", true},    {'i', Arg::Signed, "-+ 0", true},
        {'u', Arg::Unsigned, "-+ 0", true},  {'x', Arg::Unsigned, "-+ 0#", true},
        {'X', Arg::Unsigned, "-+ 0#", true}, {'o', Arg::Unsigned, "-+ 0#", true},
        {'c', Arg::Char, "-", false},        {'s', Arg::Text, "-", true},
        {'f', Arg::Double, "-+ 0#", true},   {'e', Arg::Double, "-+ 0#", true},
        {'E', Arg::Double, "-+ 0#", true},   {'g', Arg::Double, "-+ 0#", true},
        {'G', Arg::Double, "-+ 0#", true},
    };
    const std::vector<double> signedValues = {0, 7, -7, 42, -123456, 2147483647, 1e15, -1e15};
    const std::vector<double> unsignedValues = {0, 7, 42, 255, 4294967295.0, 3735928559.0, 1e15};
    const std::vector<double> doubles = {0,   -0.0,     1,       -1.5,         3.14159265358979,
                                         0.5, 2.5,      1.0 / 3, -2.0 / 3,     1e-5,
                                         1e5, 123456.7, 1e21,    -9.87654e-300};
    const std::vector<double> chars = {'A', 'z', ' ', '0'};
    const std::vector<std::string> texts = {"", "a", "abc", "hello world"};
    // Widths and precisions as written; '*' takes the value that follows.
    const std::vector<std::pair<std::string, int>> widths = {{"", 0},   {"1", 0}, {"6", 0},
                                                             {"14", 0}, {"*", 9}, {"*", -9}};
    const std::vector<std::pair<std::string, int>> precisions = {
        {"", 0}, {".", 0}, {".0", 0}, {".3", 0}, {".12", 0}, {".*", 2}, {".*", -1}};

    std::vector<std::string> failures;
    std::size_t checked = 0;
    for (const Case &k : cases) {
        // Every subset of the defined flags, in the order they are listed.
        const std::string flagSet = k.flags;
        for (unsigned mask = 0; mask < (1u << flagSet.size()); ++mask) {
            std::string flags;
            for (std::size_t b = 0; b < flagSet.size(); ++b)
                if (mask & (1u << b)) flags += flagSet[b];
            for (const auto &w : widths) {
                for (const auto &p : precisions) {
                    if (!k.precision && !p.first.empty()) continue;
                    std::vector<int> stars;
                    if (w.first == "*") stars.push_back(w.second);
                    if (p.first == ".*") stars.push_back(p.second);
                    const std::string directive = "%" + flags + w.first + p.first;
                    const std::string format = "<" + directive + k.conversion + ">";
                    const auto check = [&](const Value &v, const std::string &expected,
                                           const std::string &shown) {
                        std::vector<Value> args;
                        for (int s : stars) args.emplace_back(static_cast<double>(s));
                        args.push_back(v);
                        const std::string got = mtrx::Format(format, args, "sprintf");
                        ++checked;
                        if (got != expected)
                            failures.push_back(format + " of " + shown + ": got '" + got +
                                               "', snprintf '" + expected + "'");
                    };
                    switch (k.arg) {
                        case Arg::Signed:
                            for (double x : signedValues)
                                check(Value(x),
                                      C("<" + directive + "ll" + k.conversion + ">", stars,
                                        static_cast<long long>(x)),
                                      std::to_string(x));
                            break;
                        case Arg::Unsigned:
                            for (double x : unsignedValues)
                                check(Value(x),
                                      C("<" + directive + "ll" + k.conversion + ">", stars,
                                        static_cast<unsigned long long>(x)),
                                      std::to_string(x));
                            break;
                        case Arg::Double:
                            for (double x : doubles)
                                check(Value(x), C("<" + directive + k.conversion + ">", stars, x),
                                      std::to_string(x));
                            break;
                        case Arg::Char:
                            for (double x : chars)
                                check(Value(x),
                                      C("<" + directive + k.conversion + ">", stars,
                                        static_cast<int>(x)),
                                      std::to_string(x));
                            break;
                        case Arg::Text:
                            for (const std::string &t : texts)
                                check(Value(kiv::matrix::Array(t)),
                                      C("<" + directive + k.conversion + ">", stars, t.c_str()),
                                      "'" + t + "'");
                            break;
                    }
                }
            }
        }
    }
    // The conversions outside the table: %% and a value that is not whole
    // under %d, which prints in the style of %e with the same flags, width
    // and precision.
    const auto text = [](const std::string &format, double x) {
        return mtrx::Format(format, {Value(x)}, "sprintf");
    };
    const std::pair<std::string, std::string> fixed[] = {
        {text("%%", 1), "%"},
        {text("a%%b%5.1f%%", 2.25), C("a%%b%5.1f%%", {}, 2.25)},
        {text("%d", 1.5), C("%e", {}, 1.5)},
        {text("%+12.3d", -0.25), C("%+12.3e", {}, -0.25)},
        {text("%i", 2.5e-7), C("%e", {}, 2.5e-7)},
        {text("%x", 0.5), C("%e", {}, 0.5)},
    };
    for (const auto &f : fixed) {
        ++checked;
        if (f.first != f.second) failures.push_back("'" + f.first + "' != '" + f.second + "'");
    }

    std::string report;
    for (std::size_t i = 0; i < failures.size() && i < 40; ++i) report += failures[i] + "\n";
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << checked
                                  << " formats differ from snprintf:\n"
                                  << report;
}

// Text goes in and out as UTF-8; a char argument gives its UTF-16 code
// units to numeric conversions, and %c of units written one by one joins a
// surrogate pair.
TEST(MtrxFormat, TextIsUtf8) {
    const auto chars = [](const std::string &t) { return Value(mtrx::CharArray(t)); };
    mtrx::StringArray two;
    two.dims = {1, 2};
    two.items = {"a", "\xC3\xA9"};
    const struct {
        std::string format;
        std::vector<Value> args;
        std::string expected;
    } rows[] = {
        {"%c|%s", {Value(233.0), Value(8364.0)}, "\xC3\xA9|\xE2\x82\xAC"},
        {"%c%c", {Value(55357.0), Value(56832.0)}, "\xF0\x9F\x98\x80"},
        {"%c.", {Value(56832.0)}, "\xEF\xBF\xBD."},
        {"%s", {chars("\xF0\x9F\x98\x80")}, "\xF0\x9F\x98\x80"},
        {"%d,", {chars("\xC3\xA9\xE2\x82\xAC")}, "233,8364,"},
        {"%3s|%-3s|", {chars("\xC3\xA9"), chars("\xC3\xA9")}, "  \xC3\xA9|\xC3\xA9  |"},
        {"%.1s|%.2s",
         {chars("\xF0\x9F\x98\x80x"), chars("\xF0\x9F\x98\x80x")},
         "\xEF\xBF\xBD|\xF0\x9F\x98\x80"},
        {"%s/", {Value(two)}, "a/\xC3\xA9/"},
        {"\xC3\xA9%d",
         {Value(1.0)},
         "\xC3\xA9"
         "1"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(mtrx::Format(row.format, row.args, "sprintf"), row.expected) << row.format;
}

}  // namespace
