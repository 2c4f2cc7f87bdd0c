// tests/mtrx/display_test.cpp: the session text of the kinds only the
// interpreter has (string arrays, structs, handles, cells holding them),
// and the format words, where scripts cannot yet build the value.
#include "display.h"
#include "error.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using mtrx::DisplayState;
using mtrx::Value;
namespace km = kiv::matrix;

std::string Shown(const std::string &name, const Value &v, const DisplayState &state = {}) {
    std::ostringstream out;
    mtrx::Show(out, name, v, state);
    return out.str();
}

std::string Disp(const Value &v, const DisplayState &state = {}) {
    std::ostringstream out;
    mtrx::ShowValue(out, v, state);
    return out.str();
}

Value Strings(mtrx::Dims dims, std::vector<std::string> items) {
    mtrx::StringArray s;
    s.dims = std::move(dims);
    s.items = std::move(items);
    return Value(std::move(s));
}

Value Cell(mtrx::Dims dims, std::vector<Value> items) {
    mtrx::CellArray c;
    c.dims = std::move(dims);
    c.items = std::move(items);
    return Value(std::move(c));
}

TEST(MtrxDisplay, StringArrays) {
    const Value one = Strings({1, 1}, {"abc"});
    EXPECT_EQ(Shown("s", one), "s =\n\n    \"abc\"\n\n");
    EXPECT_EQ(Disp(one), "abc\n");
    // Columns as wide as their widest element, left-aligned, trailing
    // blanks dropped; a UTF-8 character takes one column.
    const Value grid = Strings({2, 2}, {"a", "\xC3\xA9t\xC3\xA9", "bc", "d"});
    EXPECT_EQ(Shown("s", grid),
              "s =\n\n  2x2 string array\n\n    \"a\"      \"bc\"\n    \"\xC3\xA9t\xC3\xA9\"    "
              "\"d\"\n\n");
    EXPECT_EQ(Disp(grid), "    \"a\"      \"bc\"\n    \"\xC3\xA9t\xC3\xA9\"    \"d\"\n");
    DisplayState compact;
    compact.compact = true;
    EXPECT_EQ(
        Shown("s", grid, compact),
        "s =\n  2x2 string array\n    \"a\"      \"bc\"\n    \"\xC3\xA9t\xC3\xA9\"    \"d\"\n");
    EXPECT_EQ(Shown("s", Strings({0, 3}, {})), "s =\n\n  0x3 empty string array\n\n");
    EXPECT_EQ(Disp(Strings({0, 3}, {})), "");
}

TEST(MtrxDisplay, StringsInStructsAndCells) {
    const Value s = mtrx::ScalarStruct(
        {{"name", Strings({1, 1}, {"x"})}, {"list", Strings({1, 3}, {"a", "b", "c"})}});
    EXPECT_EQ(Shown("r", s),
              "r =\n\n  struct with fields:\n\n    name: \"x\"\n    list: [1x3 string]\n\n");
    const Value c =
        Cell({1, 3}, {Strings({1, 1}, {"str"}), Strings({2, 1}, {"a", "b"}), Value(2.0)});
    EXPECT_EQ(Shown("c", c),
              "c =\n\n  1x3 cell array\n\n    {[\"str\"]}    {2x1 string}    {[2]}\n\n");
}

TEST(MtrxDisplay, MixedCellPagesAndColumnBlocks) {
    // A cell holding a struct is laid out here, not by the library: its
    // pages and column blocks follow the library's rules.
    const Value st = mtrx::ScalarStruct({{"a", Value(1.0)}});
    const Value pages = Cell({1, 1, 2}, {st, Value(3.0)});
    EXPECT_EQ(Shown("c", pages), "c(:,:,1) =\n\n    {1x1 struct}\n\nc(:,:,2) =\n\n    {[3]}\n\n");
    EXPECT_EQ(Disp(pages), "(:,:,1) =\n    {1x1 struct}\n(:,:,2) =\n    {[3]}\n");
    // Five fields of 16 columns (4 + 12) fill 80; the sixth starts a block.
    std::vector<Value> items(8, st);
    const Value wide = Cell({1, 8}, items);
    const std::string row5 =
        "    {1x1 struct}    {1x1 struct}    {1x1 struct}    {1x1 struct}    {1x1 struct}\n";
    EXPECT_EQ(Shown("c", wide), "c =\n\n  1x8 cell array\n\n  Columns 1 through 5\n\n" + row5 +
                                    "\n  Columns 6 through 8\n\n"
                                    "    {1x1 struct}    {1x1 struct}    {1x1 struct}\n\n");
}

TEST(MtrxDisplay, FieldSummariesFollowTheFormat) {
    const Value s = mtrx::ScalarStruct({{"x", Value(0.75)}});
    DisplayState state;
    mtrx::ApplyFormat(state, {"rat"});
    EXPECT_EQ(Shown("s", s, state), "s =\n\n  struct with fields:\n\n    x: 3/4\n\n");
    mtrx::ApplyFormat(state, {"long", "E"});
    EXPECT_EQ(Disp(s, state), "    x: 7.500000000000000e-01\n");
}

TEST(MtrxDisplay, FormatWords) {
    DisplayState state;
    mtrx::ApplyFormat(state, {"longG", "compact"});
    EXPECT_EQ(state.format, km::NumberFormat::kLongG);
    EXPECT_TRUE(state.compact);
    mtrx::ApplyFormat(state, {"short", "e"});
    EXPECT_EQ(state.format, km::NumberFormat::kShortE);
    EXPECT_TRUE(state.compact);
    // An unknown word changes nothing, even after a known one.
    try {
        mtrx::ApplyFormat(state, {"long", "wide"});
        ADD_FAILURE() << "format wide was accepted";
    } catch (const mtrx::Error &e) {
        EXPECT_NE(std::string(e.what()).find("format: unknown mode 'wide'"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(state.format, km::NumberFormat::kShortE);
    mtrx::ApplyFormat(state, {});
    EXPECT_EQ(state.format, km::NumberFormat::kShort);
    EXPECT_FALSE(state.compact);
}

}  // namespace
