// src/mtrx/lexer.h: splits program text into tokens for the parser.
#ifndef MTRX_LEXER_H
#define MTRX_LEXER_H

#include <cstddef>
#include <string>
#include <vector>

namespace mtrx {

enum class Tok {
    Number,
    String,        // '...' (and the words of a command)
    DoubleQuoted,  // "...": a string scalar
    Ident,
    Keyword,
    Op,       // operators and punctuation: + - * ( ) [ ] , ; = ' .' ...
    Newline,  // end of a line (statements also end at , and ;)
    End       // end of input
};

struct Token {
    Tok kind;
    std::string text;  // the operator, name, keyword or string contents
    double value = 0.0;
    int line = 1;
    std::size_t pos = 0;  // offset of the token's first character in the source
    // Of a Number: written with an imaginary unit (2i, 1.5e3j), the value
    // being its imaginary part.
    bool imaginary = false;
};

/// Splits `source` into tokens ending with one Tok::End. Inside brackets and
/// braces a + or - after a blank and touching the next operand starts a new
/// element (a "," token is inserted), blanks between elements become ","; a '
/// after a name, ), ], }, a number or another ' is a transpose. A number
/// followed at once by i, j, I or J that no letter, digit or _ follows is
/// one imaginary Number token (2i, 1e3j, .5I). A statement
/// of the command form `name word 'two words'` becomes the call
/// `name('word', 'two words')`. The source is UTF-8; a leading byte-order
/// mark is skipped, and bytes of a quoted text that are not well-formed UTF-8
/// stand for U+FFFD. Comments run from % to the end of the line,
/// or between lines holding only %{ and %}, which nest. Throws mtrx::Error
/// for a bad character or an unterminated string.
std::vector<Token> Lex(const std::string &source);

/// True for a word the language reserves: if, end, function, ...
bool IsKeyword(const std::string &word);

}  // namespace mtrx

#endif  // MTRX_LEXER_H
