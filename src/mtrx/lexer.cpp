// src/mtrx/lexer.cpp: the tokenizer, including the bracket rules for blanks.
#include "lexer.h"

#include "error.h"

#include <cctype>
#include <cstdlib>

namespace mtrx {

namespace {

const char *const kKeywords[] = {"if",  "elseif", "else",     "end",  "while",
                                 "for", "break",  "continue", nullptr};

bool IsKeyword(const std::string &s) {
    for (const char *const *k = kKeywords; *k; ++k)
        if (s == *k) return true;
    return false;
}

// Whether the last token ends an operand: a ' after it is a transpose, and
// in brackets a blank after it may separate elements.
bool EndsOperand(const std::vector<Token> &out) {
    if (out.empty()) return false;
    const Token &t = out.back();
    if (t.kind == Tok::Number || t.kind == Tok::Ident) return true;
    if (t.kind == Tok::Keyword) return t.text == "end";
    return t.kind == Tok::Op && (t.text == ")" || t.text == "]" || t.text == "'" || t.text == ".'");
}

bool StartsOperand(const std::string &src, std::size_t i) {
    if (i >= src.size()) return false;
    const char c = src[i];
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '(' || c == '[' ||
           c == '\'' || c == '~' || c == '!' ||
           (c == '.' && i + 1 < src.size() && std::isdigit(static_cast<unsigned char>(src[i + 1])));
}

}  // namespace

std::vector<Token> Lex(const std::string &src) {
    std::vector<Token> out;
    // Brackets and parentheses nested; blanks separate elements only when the
    // innermost is a bracket.
    std::string nest;
    int line = 1;
    std::size_t i = 0;
    const auto push = [&](Tok kind, std::string text, double v = 0.0) {
        Token t{kind, std::move(text), v, line};
        out.push_back(std::move(t));
    };
    const auto inBracket = [&] { return !nest.empty() && nest.back() == '['; };
    while (i < src.size()) {
        bool space = false;
        while (i < src.size() && (src[i] == ' ' || src[i] == '\t' || src[i] == '\r')) {
            ++i;
            space = true;
        }
        if (i >= src.size()) break;
        const char c = src[i];
        if (c == '%') {
            while (i < src.size() && src[i] != '\n') ++i;
            continue;
        }
        if (c == '.' && i + 2 < src.size() && src[i + 1] == '.' && src[i + 2] == '.') {
            // Continuation: the rest of the line is ignored.
            while (i < src.size() && src[i] != '\n') ++i;
            if (i < src.size()) ++i, ++line;
            continue;
        }
        if (c == '\n') {
            if (inBracket())
                push(Tok::Op, ";");
            else
                push(Tok::Newline, "\n");
            ++line;
            ++i;
            continue;
        }
        // Elements of a bracket row are separated by blanks: a blank before an
        // operand that follows an operand is a comma, and so is a blank before
        // a sign that touches its operand ([1 -2]).
        if (inBracket() && space && EndsOperand(out)) {
            const bool touches = i + 1 < src.size() && src[i + 1] != ' ' && src[i + 1] != '\t';
            const bool sign = (c == '+' || c == '-') && touches;
            const bool negation = (c == '~' || c == '!') && !(touches && src[i + 1] == '=');
            if (sign || negation || ((c != '~' && c != '!') && StartsOperand(src, i)))
                push(Tok::Op, ",");
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && i + 1 < src.size() &&
             std::isdigit(static_cast<unsigned char>(src[i + 1])))) {
            // Scanned by hand: strtod would also read hex and "inf".
            std::size_t j = i;
            while (j < src.size() &&
                   (std::isdigit(static_cast<unsigned char>(src[j])) || src[j] == '.'))
                ++j;
            if (j < src.size() && (src[j] == 'e' || src[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < src.size() && (src[k] == '+' || src[k] == '-')) ++k;
                if (k < src.size() && std::isdigit(static_cast<unsigned char>(src[k]))) {
                    j = k;
                    while (j < src.size() && std::isdigit(static_cast<unsigned char>(src[j]))) ++j;
                }
            }
            // "1.*2" is 1 .* 2: a trailing '.' before an operator belongs to it.
            if (j > i + 1 && src[j - 1] == '.' && j < src.size() &&
                (src[j] == '*' || src[j] == '/' || src[j] == '\\' || src[j] == '^' ||
                 src[j] == '\''))
                --j;
            const std::size_t len = j - i;
            const std::string text = src.substr(i, len);
            push(Tok::Number, text, std::strtod(text.c_str(), nullptr));
            i += len;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t j = i;
            while (j < src.size() &&
                   (std::isalnum(static_cast<unsigned char>(src[j])) || src[j] == '_'))
                ++j;
            std::string word = src.substr(i, j - i);
            push(IsKeyword(word) ? Tok::Keyword : Tok::Ident, word);
            i = j;
            continue;
        }
        if (c == '\'') {
            if (EndsOperand(out)) {
                push(Tok::Op, "'");
                ++i;
                continue;
            }
            std::string text;
            ++i;
            for (;;) {
                if (i >= src.size() || src[i] == '\n')
                    throw Error("String is not terminated properly", line);
                if (src[i] == '\'') {
                    if (i + 1 < src.size() && src[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += src[i++];
            }
            push(Tok::String, text);
            continue;
        }
        static const char *const kOps[] = {"==", "~=", "!=",  "<=", ">=", "&&",   "||",
                                           ".*", "./", ".\\", ".^", ".'", nullptr};
        bool matched = false;
        for (const char *const *op = kOps; *op; ++op) {
            if (src.compare(i, 2, *op) == 0) {
                push(Tok::Op, *op);
                i += 2;
                matched = true;
                break;
            }
        }
        if (matched) continue;
        if (std::string("+-*/\\^<>&|~!=(),;:[]").find(c) == std::string::npos)
            throw Error(std::string("Invalid character '") + c + "'", line);
        if (c == '(' || c == '[') nest += c;
        if ((c == ')' || c == ']') && !nest.empty()) nest.pop_back();
        push(Tok::Op, std::string(1, c));
        ++i;
    }
    push(Tok::End, "");
    return out;
}

}  // namespace mtrx
