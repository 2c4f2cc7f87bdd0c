// src/mtrx/lexer.cpp: the tokenizer, including the bracket rules for blanks.
#include "lexer.h"

#include "arrays.h"
#include "error.h"

#include <cctype>
#include <cstdlib>

namespace mtrx {

namespace {

const char *const kKeywords[] = {"if",    "elseif",   "else",     "end",    "while", "for",
                                 "break", "continue", "return",   "switch", "case",  "otherwise",
                                 "try",   "catch",    "function", nullptr};

bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Whether the last token ends an operand: a ' after it is a transpose, and
// in brackets a blank after it may separate elements.
bool EndsOperand(const std::vector<Token> &out) {
    if (out.empty()) return false;
    const Token &t = out.back();
    if (t.kind == Tok::Number || t.kind == Tok::Ident || t.kind == Tok::String ||
        t.kind == Tok::DoubleQuoted)
        return true;
    if (t.kind == Tok::Keyword) return t.text == "end";
    return t.kind == Tok::Op &&
           (t.text == ")" || t.text == "]" || t.text == "}" || t.text == "'" || t.text == ".'");
}

bool StartsOperand(const std::string &src, std::size_t i) {
    if (i >= src.size()) return false;
    const char c = src[i];
    return IsAlnum(c) || c == '(' || c == '[' || c == '{' || c == '\'' || c == '"' || c == '@' ||
           (c == '.' && i + 1 < src.size() && IsDigit(src[i + 1]));
}

// Whether the line holding position `i` holds nothing but `mark` (and blanks).
bool LineIs(const std::string &src, std::size_t i, const char *mark) {
    std::size_t begin = i;
    while (begin > 0 && src[begin - 1] != '\n') --begin;
    std::size_t end = src.find('\n', i);
    if (end == std::string::npos) end = src.size();
    std::string line;
    for (std::size_t k = begin; k < end; ++k)
        if (!IsBlank(src[k])) line += src[k];
    return line == mark;
}

class Lexer {
public:
    explicit Lexer(const std::string &src) : m_src(src) {
        // A byte-order mark is no part of the text. Offsets stay those of
        // the source.
        if (m_src.compare(0, 3, "\xEF\xBB\xBF") == 0) m_i = 3;
    }

    std::vector<Token> Run() {
        while (m_i < m_src.size()) {
            bool space = false;
            while (m_i < m_src.size() && IsBlank(m_src[m_i])) {
                ++m_i;
                space = true;
            }
            if (m_i >= m_src.size()) break;
            Token1(space);
        }
        Push(Tok::End, "", m_i);
        return std::move(m_out);
    }

private:
    void Push(Tok kind, std::string text, std::size_t pos, double v = 0.0) {
        m_out.push_back(Token{kind, std::move(text), v, m_line, pos});
    }
    bool InBrackets() const {
        return !m_nest.empty() && (m_nest.back() == '[' || m_nest.back() == '{');
    }
    bool AtStatementStart() const {
        if (m_out.empty()) return true;
        const Token &t = m_out.back();
        return t.kind == Tok::Newline ||
               (m_nest.empty() && t.kind == Tok::Op && (t.text == ";" || t.text == ","));
    }

    void Token1(bool space) {
        const char c = m_src[m_i];
        if (c == '%') {
            if (m_i + 1 < m_src.size() && m_src[m_i + 1] == '{' && LineIs(m_src, m_i, "%{")) {
                BlockComment();
                return;
            }
            while (m_i < m_src.size() && m_src[m_i] != '\n') ++m_i;
            return;
        }
        if (m_src.compare(m_i, 3, "...") == 0) {
            // Continuation: the rest of the line is ignored.
            while (m_i < m_src.size() && m_src[m_i] != '\n') ++m_i;
            if (m_i < m_src.size()) ++m_i, ++m_line;
            return;
        }
        if (c == '\n') {
            if (InBrackets())
                Push(Tok::Op, ";", m_i);
            else
                Push(Tok::Newline, "\n", m_i);
            ++m_line;
            ++m_i;
            return;
        }
        // Elements of a bracket row are separated by blanks: a blank before an
        // operand that follows an operand is a comma, and so is a blank before
        // a sign that touches its operand ([1 -2]).
        if (InBrackets() && space && EndsOperand(m_out)) {
            const bool touches = m_i + 1 < m_src.size() && !IsBlank(m_src[m_i + 1]);
            const bool sign = (c == '+' || c == '-') && touches;
            const bool negation = (c == '~' || c == '!') && !(touches && m_src[m_i + 1] == '=');
            if (sign || negation || ((c != '~' && c != '!') && StartsOperand(m_src, m_i)))
                Push(Tok::Op, ",", m_i);
        }
        if (IsDigit(c) || (c == '.' && m_i + 1 < m_src.size() && IsDigit(m_src[m_i + 1]))) {
            Number();
            return;
        }
        if (IsAlpha(c)) {
            const bool start = AtStatementStart();
            std::size_t j = m_i;
            while (j < m_src.size() && IsAlnum(m_src[j])) ++j;
            std::string word = m_src.substr(m_i, j - m_i);
            const bool keyword = IsKeyword(word);
            Push(keyword ? Tok::Keyword : Tok::Ident, word, m_i);
            m_i = j;
            if (!keyword && start && (IsCommandForm() || IsOptionCommand(word))) CommandArguments();
            return;
        }
        if (c == '\'' && EndsOperand(m_out)) {
            Push(Tok::Op, "'", m_i);
            ++m_i;
            return;
        }
        if (c == '\'' || c == '"') {
            const std::size_t at = m_i;
            std::string text = Quoted(c);
            if (c == '"') {
                // Well-formed from here on: a string holds valid UTF-8.
                for (unsigned char b : text)
                    if (b >= 0x80) {
                        text = Text(CharArray(text));
                        break;
                    }
            }
            Push(c == '"' ? Tok::DoubleQuoted : Tok::String, std::move(text), at);
            return;
        }
        // A field name after an operand: err.message, or s.(name).
        if (c == '.' && m_i + 1 < m_src.size() &&
            (IsAlpha(m_src[m_i + 1]) || m_src[m_i + 1] == '(') && EndsOperand(m_out)) {
            Push(Tok::Op, ".", m_i);
            ++m_i;
            return;
        }
        static const char *const kOps[] = {"==", "~=", "!=",  "<=", ">=", "&&",   "||",
                                           ".*", "./", ".\\", ".^", ".'", nullptr};
        for (const char *const *op = kOps; *op; ++op) {
            if (m_src.compare(m_i, 2, *op) == 0) {
                Push(Tok::Op, *op, m_i);
                m_i += 2;
                return;
            }
        }
        if (std::string("+-*/\\^<>&|~!=(),;:[]{}@").find(c) == std::string::npos)
            throw Error("Invalid character '" + Character() + "'", m_line);
        if (c == '(' || c == '[' || c == '{') m_nest += c;
        if ((c == ')' || c == ']' || c == '}') && !m_nest.empty()) m_nest.pop_back();
        Push(Tok::Op, std::string(1, c), m_i);
        ++m_i;
    }

    // The character at m_i as written: all the bytes of a UTF-8 sequence, a
    // byte that starts none as U+FFFD.
    std::string Character() const {
        std::size_t j = m_i + 1;
        while (j < m_src.size() && j < m_i + 4 &&
               (static_cast<unsigned char>(m_src[j]) & 0xC0) == 0x80)
            ++j;
        return Text(CharArray(m_src.substr(m_i, j - m_i)));
    }

    void Number() {
        // Scanned by hand: strtod would also read hex and "inf".
        std::size_t j = m_i;
        while (j < m_src.size() &&
               (IsDigit(m_src[j]) || (m_src[j] == '.' && m_src.compare(j, 3, "...") != 0)))
            ++j;
        if (j < m_src.size() && (m_src[j] == 'e' || m_src[j] == 'E')) {
            std::size_t k = j + 1;
            if (k < m_src.size() && (m_src[k] == '+' || m_src[k] == '-')) ++k;
            if (k < m_src.size() && IsDigit(m_src[k])) {
                j = k;
                while (j < m_src.size() && IsDigit(m_src[j])) ++j;
            }
        }
        // "1.*2" is 1 .* 2: a trailing '.' before an operator belongs to it.
        if (j > m_i + 1 && m_src[j - 1] == '.' && j < m_src.size() &&
            std::string("*/\\^'").find(m_src[j]) != std::string::npos)
            --j;
        const std::string text = m_src.substr(m_i, j - m_i);
        if (text.find('.') != text.rfind('.')) throw Error("Invalid number '" + text + "'", m_line);
        Push(Tok::Number, text, m_i, std::strtod(text.c_str(), nullptr));
        m_i = j;
        // The imaginary unit belongs to the number: 2i^2 is (2i)^2.
        if (j < m_src.size() && std::string("ijIJ").find(m_src[j]) != std::string::npos &&
            (j + 1 >= m_src.size() || !IsAlnum(m_src[j + 1]))) {
            m_out.back().imaginary = true;
            m_i = j + 1;
        }
    }

    // A string in `quote`s, a doubled quote standing for one.
    std::string Quoted(char quote) {
        std::string text;
        ++m_i;
        for (;;) {
            if (m_i >= m_src.size() || m_src[m_i] == '\n')
                throw Error("String is not terminated properly", m_line);
            if (m_src[m_i] == quote) {
                if (m_i + 1 < m_src.size() && m_src[m_i + 1] == quote) {
                    text += quote;
                    m_i += 2;
                    continue;
                }
                ++m_i;
                return text;
            }
            text += m_src[m_i++];
        }
    }

    void BlockComment() {
        int depth = 0;
        while (m_i < m_src.size()) {
            if (LineIs(m_src, m_i, "%{")) ++depth;
            if (LineIs(m_src, m_i, "%}")) --depth;
            const std::size_t end = m_src.find('\n', m_i);
            if (end == std::string::npos) {
                m_i = m_src.size();
                break;
            }
            m_i = end + 1;
            ++m_line;
            if (depth == 0) break;
        }
        // The comment's lines end a statement like one line break.
        Push(Tok::Newline, "\n", m_i);
    }

    // After a name that starts a statement: `name word ...` with a blank,
    // then a letter, a digit or a quote, and no = or ( next, is a command.
    bool IsCommandForm() const {
        std::size_t j = m_i;
        if (j >= m_src.size() || !IsBlank(m_src[j])) return false;
        while (j < m_src.size() && IsBlank(m_src[j])) ++j;
        if (j >= m_src.size()) return false;
        const char c = m_src[j];
        if (c == '\'' || c == '"') return true;
        // A command whose words are options, `print -dpng file`: `-` and a
        // letter start its first word (elsewhere `a -b` stays a difference).
        if (c == '-' && j + 1 < m_src.size() && IsAlpha(m_src[j + 1]) && !m_out.empty() &&
            m_out.back().text == "print")
            return true;
        if (!IsAlpha(c) && !IsDigit(c)) return false;
        // `a b = 1` and `x y(2)` stay expressions (and fail as such).
        std::size_t k = j;
        while (k < m_src.size() && IsAlnum(m_src[k])) ++k;
        while (k < m_src.size() && IsBlank(m_src[k])) ++k;
        return k >= m_src.size() || (m_src[k] != '=' && m_src[k] != '(');
    }

    // `save -append f x`, `whos -file f`: the workspace commands whose
    // options start with '-' are commands when one comes first, a blank
    // before the '-' and a letter after it (`save - x` stays arithmetic).
    bool IsOptionCommand(const std::string &word) const {
        if (word != "save" && word != "load" && word != "whos") return false;
        std::size_t j = m_i;
        if (j >= m_src.size() || !IsBlank(m_src[j])) return false;
        while (j < m_src.size() && IsBlank(m_src[j])) ++j;
        return j + 1 < m_src.size() && m_src[j] == '-' && IsAlpha(m_src[j + 1]);
    }

    // The words of a command, as the arguments of a call.
    void CommandArguments() {
        Push(Tok::Op, "(", m_i);
        bool first = true;
        for (;;) {
            while (m_i < m_src.size() && IsBlank(m_src[m_i])) ++m_i;
            if (m_i >= m_src.size()) break;
            const char c = m_src[m_i];
            if (c == '\n' || c == ';' || c == ',' || c == '%') break;
            const std::size_t at = m_i;
            std::string word;
            while (m_i < m_src.size() && !IsBlank(m_src[m_i]) && m_src[m_i] != '\n' &&
                   m_src[m_i] != ';' && m_src[m_i] != ',') {
                if (m_src[m_i] == '\'' || m_src[m_i] == '"')
                    word += Quoted(m_src[m_i]);
                else
                    word += m_src[m_i++];
            }
            if (!first) Push(Tok::Op, ",", at);
            Push(Tok::String, word, at);
            first = false;
        }
        Push(Tok::Op, ")", m_i);
    }

    const std::string &m_src;
    std::vector<Token> m_out;
    // Brackets, braces and parentheses nested; blanks separate elements only
    // when the innermost is a bracket or a brace.
    std::string m_nest;
    int m_line = 1;
    std::size_t m_i = 0;
};

}  // namespace

std::vector<Token> Lex(const std::string &source) { return Lexer(source).Run(); }

bool IsKeyword(const std::string &word) {
    for (const char *const *k = kKeywords; *k; ++k)
        if (word == *k) return true;
    return false;
}

}  // namespace mtrx
