// tests/mtrx/lexer_test.cpp: the lexer's bracket and quote rules.
#include "lexer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The tokens of `source` as text, separated by blanks; char texts in
// quotes, string texts in quotes after an s, imaginary numbers with an i.
std::string Spell(const std::string &source) {
    std::string out;
    for (const mtrx::Token &t : mtrx::Lex(source)) {
        if (t.kind == mtrx::Tok::End) break;
        if (!out.empty()) out += ' ';
        if (t.kind == mtrx::Tok::String)
            out += "\"" + t.text + "\"";
        else if (t.kind == mtrx::Tok::DoubleQuoted)
            out += "s\"" + t.text + "\"";
        else
            out += t.text + (t.imaginary ? "i" : "");
    }
    return out;
}

// The golden scripts (matrices, literals, syntax) cover the common forms;
// these are the ones no script line reaches.
TEST(MtrxLexer, BracketsQuotesAndNumbers) {
    const struct {
        const char *source;
        const char *tokens;
    } rows[] = {
        {"[a 'x']", "[ a , \"x\" ]"},
        {"[f(1 -2) 3]", "[ f ( 1 - 2 ) , 3 ]"},
        {"[1 ~2]", "[ 1 , ~ 2 ]"},
        {"[1 ~= 2]", "[ 1 ~= 2 ]"},
        {"(a)'", "( a ) '"},
        {"1.*2", "1 .* 2"},
        {"{1 'a' -2}", "{ 1 , \"a\" , - 2 }"},
        {"t = \"it's \"\"q\"\"\"", "t = s\"it's \"q\"\""},
        {"[\"a\" 'b' \"\"]'", "[ s\"a\" , \"b\" , s\"\" ] '"},
        {"\"x\"'", "s\"x\" '"},
        {"\xEF\xBB\xBFx = 'h\xC3\xA9'", "x = \"h\xC3\xA9\""},
        {"s = \"a\xFF\" % \xFF", "s = s\"a\xEF\xBF\xBD\""},
        {"disp hello 'two words'", "disp ( \"hello\" , \"two words\" )"},
        {"x = 1; hold on % c", "x = 1 ; hold ( \"on\" )"},
        {"a b = 1", "a b = 1"},
        {"x y(2)", "x y ( 2 )"},
        {"pause 0.5; exit 2", "pause ( \"0.5\" ) ; exit ( \"2\" )"},
        {"x = a 1", "x = a 1"},
        // The imaginary unit belongs to its number, and only when no name
        // character follows it.
        {"[1 -2i 3J']", "[ 1 , - 2i , 3i ' ]"},
        {"1e3I^2 + .5j", "1e3i ^ 2 + .5i"},
        {"2ix 1i_ 3.i x2i", "2 ix 1 i_ 3.i x2i"},
    };
    for (const auto &row : rows) EXPECT_EQ(Spell(row.source), row.tokens) << row.source;
}

TEST(MtrxLexer, RefusesUnterminatedStringAndStrayCharacter) {
    const char *const rows[] = {"x = 'abc", "x = 1 $ 2", "x = 1 \xE2\x82\xAC 2",
                                "\xEF\xBB\xBF\xEF\xBB\xBF"};
    for (const char *source : rows) EXPECT_ANY_THROW(mtrx::Lex(source)) << source;
}

}  // namespace
