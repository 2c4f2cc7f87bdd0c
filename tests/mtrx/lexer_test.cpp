// tests/mtrx/lexer_test.cpp: the lexer's bracket and quote rules.
#include "lexer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The tokens of `source` as text, separated by blanks; strings in quotes.
std::string Spell(const std::string &source) {
    std::string out;
    for (const mtrx::Token &t : mtrx::Lex(source)) {
        if (t.kind == mtrx::Tok::End) break;
        if (!out.empty()) out += ' ';
        out += t.kind == mtrx::Tok::String ? "\"" + t.text + "\"" : t.text;
    }
    return out;
}

TEST(MtrxLexer, BracketsQuotesAndNumbers) {
    const struct {
        const char *source;
        const char *tokens;
    } rows[] = {
        {"[1 -2]", "[ 1 , - 2 ]"},
        {"[1 - 2]", "[ 1 - 2 ]"},
        {"[1 -2 + 3]", "[ 1 , - 2 + 3 ]"},
        {"[a' b']", "[ a ' , b ' ]"},
        {"[a 'x']", "[ a , \"x\" ]"},
        {"[f(1 -2) 3]", "[ f ( 1 - 2 ) , 3 ]"},
        {"[1 ~2]", "[ 1 , ~ 2 ]"},
        {"[1 ~= 2]", "[ 1 ~= 2 ]"},
        {"[1 2\n3 4]", "[ 1 , 2 ; 3 , 4 ]"},
        {"a'", "a '"},
        {"a''", "a ' '"},
        {"(a)'", "( a ) '"},
        {"x = 'it''s'", "x = \"it's\""},
        {"1.*2", "1 .* 2"},
        {".5e1+1e-3", ".5e1 + 1e-3"},
        {"x % note\ny", "x \n y"},
        {"{1 'a' -2}", "{ 1 , \"a\" , - 2 }"},
        {"c{1}'", "c { 1 } '"},
        {"e.message", "e . message"},
        {"f = @(x) x+1", "f = @ ( x ) x + 1"},
        {"t = \"it's \"\"q\"\"\"", "t = \"it's \"q\"\""},
        {"disp hello 'two words'", "disp ( \"hello\" , \"two words\" )"},
        {"x = 1; hold on % c", "x = 1 ; hold ( \"on\" )"},
        {"a b = 1", "a b = 1"},
        {"x y(2)", "x y ( 2 )"},
        {"a\n%{\nb\n%}\nc", "a \n \n c"},
        {"1...\n+2", "1 + 2"},
    };
    for (const auto &row : rows) EXPECT_EQ(Spell(row.source), row.tokens) << row.source;
}

TEST(MtrxLexer, RefusesUnterminatedStringAndStrayCharacter) {
    const char *const rows[] = {"x = 'abc", "x = 1 $ 2"};
    for (const char *source : rows) EXPECT_ANY_THROW(mtrx::Lex(source)) << source;
}

}  // namespace
