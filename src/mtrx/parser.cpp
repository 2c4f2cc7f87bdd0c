// src/mtrx/parser.cpp: a recursive-descent parser, one function per precedence level.
#include "parser.h"

#include "error.h"

namespace mtrx {

namespace {

class Parser {
public:
    explicit Parser(const std::vector<Token> &t) : m_t(t) {}

    Block Program() {
        Block b = Statements({});
        if (Peek().kind != Tok::End) Fail("Unexpected '" + Peek().text + "'");
        return b;
    }

private:
    const Token &Peek(std::size_t k = 0) const {
        const std::size_t i = m_pos + k;
        return i < m_t.size() ? m_t[i] : m_t.back();
    }
    bool IsOp(const char *op, std::size_t k = 0) const {
        return Peek(k).kind == Tok::Op && Peek(k).text == op;
    }
    bool IsKeyword(const char *w) const { return Peek().kind == Tok::Keyword && Peek().text == w; }
    const Token &Next() { return m_t[m_pos < m_t.size() - 1 ? m_pos++ : m_pos]; }
    [[noreturn]] void Fail(const std::string &message) const {
        throw Error("Parse error: " + message, Peek().line, Peek().kind == Tok::End);
    }
    void Expect(const char *op) {
        if (!IsOp(op)) Fail(std::string("Expected '") + op + "'");
        Next();
    }
    void SkipSeparators() {
        while (Peek().kind == Tok::Newline || IsOp(",") || IsOp(";")) Next();
    }

    // Statements up to one of the keywords in `stops` (or the end).
    Block Statements(std::initializer_list<const char *> stops) {
        Block out;
        for (;;) {
            SkipSeparators();
            if (Peek().kind == Tok::End) return out;
            for (const char *s : stops)
                if (IsKeyword(s)) return out;
            out.push_back(Statement());
        }
    }

    void EndStatement(Stmt &s) {
        if (IsOp(";")) {
            s.show = false;
            Next();
        } else if (IsOp(",") || Peek().kind == Tok::Newline) {
            Next();
        } else if (Peek().kind != Tok::End && !IsKeyword("end") && !IsKeyword("else") &&
                   !IsKeyword("elseif")) {
            Fail("Unexpected '" + Peek().text + "'");
        }
    }

    void ExpectEnd() {
        if (!IsKeyword("end")) Fail("Expected 'end'");
        Next();
    }

    Stmt Statement() {
        Stmt s{};
        s.line = Peek().line;
        if (IsKeyword("if")) {
            Next();
            for (;;) {
                ExprPtr cond = Expression();
                Block body = Statements({"elseif", "else", "end"});
                s.branches.emplace_back(std::move(cond), std::move(body));
                if (IsKeyword("elseif")) {
                    Next();
                    continue;
                }
                if (IsKeyword("else")) {
                    Next();
                    s.body = Statements({"end"});
                }
                break;
            }
            ExpectEnd();
            s.kind = Stmt::Kind::If;
        } else if (IsKeyword("while")) {
            Next();
            s.kind = Stmt::Kind::While;
            s.value = Expression();
            s.body = Statements({"end"});
            ExpectEnd();
        } else if (IsKeyword("for")) {
            Next();
            s.kind = Stmt::Kind::For;
            if (Peek().kind != Tok::Ident) Fail("Expected a loop variable");
            s.name = Next().text;
            Expect("=");
            s.value = Expression();
            s.body = Statements({"end"});
            ExpectEnd();
        } else if (IsKeyword("break") || IsKeyword("continue")) {
            s.kind = IsKeyword("break") ? Stmt::Kind::Break : Stmt::Kind::Continue;
            Next();
        } else if (Peek().kind == Tok::Keyword) {
            Fail("Unexpected '" + Peek().text + "'");
        } else if (IsAssignment()) {
            s.kind = Stmt::Kind::Assign;
            s.name = Next().text;
            if (IsOp("(")) {
                Next();
                s.indexed = true;
                s.subscripts = Arguments();
            }
            Expect("=");
            s.value = Expression();
        } else {
            s.kind = Stmt::Kind::Expression;
            s.value = Expression();
        }
        EndStatement(s);
        return s;
    }

    // name = ... or name(...) = ...
    bool IsAssignment() const {
        if (Peek().kind != Tok::Ident) return false;
        if (IsOp("=", 1)) return true;
        if (!IsOp("(", 1)) return false;
        int depth = 0;
        for (std::size_t k = 1;; ++k) {
            const Token &t = Peek(k);
            if (t.kind == Tok::End || t.kind == Tok::Newline) return false;
            if (t.kind != Tok::Op) continue;
            if (t.text == "(" || t.text == "[") ++depth;
            if (t.text == ")" || t.text == "]") --depth;
            if (depth == 0) return IsOp("=", k + 1);
        }
    }

    // Arguments after "(", through the closing ")".
    std::vector<ExprPtr> Arguments() {
        std::vector<ExprPtr> args;
        if (IsOp(")")) {
            Next();
            return args;
        }
        for (;;) {
            if (IsOp(":") && (IsOp(",", 1) || IsOp(")", 1))) {
                args.push_back(Make(Expr::Kind::Colon));
                Next();
            } else {
                ++m_subscriptDepth;
                args.push_back(Expression());
                --m_subscriptDepth;
            }
            if (IsOp(")")) {
                Next();
                return args;
            }
            Expect(",");
        }
    }

    ExprPtr Make(Expr::Kind kind) const {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->line = Peek().line;
        return e;
    }
    ExprPtr Binary(Expr::Kind kind, const std::string &op, ExprPtr a, ExprPtr b) const {
        ExprPtr e = Make(kind);
        e->text = op;
        e->args.push_back(std::move(a));
        e->args.push_back(std::move(b));
        return e;
    }

    ExprPtr Expression() { return OrOr(); }

    ExprPtr OrOr() {
        ExprPtr a = AndAnd();
        while (IsOp("||")) {
            Next();
            a = Binary(Expr::Kind::ShortCircuit, "||", std::move(a), AndAnd());
        }
        return a;
    }
    ExprPtr AndAnd() {
        ExprPtr a = Or();
        while (IsOp("&&")) {
            Next();
            a = Binary(Expr::Kind::ShortCircuit, "&&", std::move(a), Or());
        }
        return a;
    }
    ExprPtr Or() {
        ExprPtr a = And();
        while (IsOp("|")) {
            Next();
            a = Binary(Expr::Kind::Binary, "|", std::move(a), And());
        }
        return a;
    }
    ExprPtr And() {
        ExprPtr a = Comparison();
        while (IsOp("&")) {
            Next();
            a = Binary(Expr::Kind::Binary, "&", std::move(a), Comparison());
        }
        return a;
    }
    ExprPtr Comparison() {
        ExprPtr a = Range();
        while (IsOp("==") || IsOp("~=") || IsOp("!=") || IsOp("<") || IsOp("<=") || IsOp(">") ||
               IsOp(">=")) {
            std::string op = Next().text;
            if (op == "!=") op = "~=";
            a = Binary(Expr::Kind::Binary, op, std::move(a), Range());
        }
        return a;
    }
    ExprPtr Range() {
        ExprPtr a = Additive();
        if (!IsOp(":")) return a;
        ExprPtr r = Make(Expr::Kind::Range);
        r->args.push_back(std::move(a));
        Next();
        r->args.push_back(Additive());
        if (IsOp(":")) {
            Next();
            r->args.push_back(Additive());
        }
        return r;
    }
    ExprPtr Additive() {
        ExprPtr a = Multiplicative();
        while (IsOp("+") || IsOp("-")) {
            const std::string op = Next().text;
            a = Binary(Expr::Kind::Binary, op, std::move(a), Multiplicative());
        }
        return a;
    }
    ExprPtr Multiplicative() {
        ExprPtr a = Unary();
        while (IsOp("*") || IsOp("/") || IsOp("\\") || IsOp(".*") || IsOp("./") || IsOp(".\\")) {
            const std::string op = Next().text;
            a = Binary(Expr::Kind::Binary, op, std::move(a), Unary());
        }
        return a;
    }
    ExprPtr Unary() {
        if (IsOp("-") || IsOp("+") || IsOp("~") || IsOp("!")) {
            ExprPtr e = Make(Expr::Kind::Unary);
            e->text = Next().text;
            if (e->text == "!") e->text = "~";
            e->args.push_back(Unary());
            return e;
        }
        return Power();
    }
    ExprPtr Power() {
        ExprPtr a = Postfix();
        while (IsOp("^") || IsOp(".^")) {
            const std::string op = Next().text;
            // The exponent may carry its own signs: 2^-1.
            ExprPtr b;
            if (IsOp("-") || IsOp("+") || IsOp("~") || IsOp("!")) {
                b = Make(Expr::Kind::Unary);
                b->text = Next().text;
                if (b->text == "!") b->text = "~";
                b->args.push_back(Power());
            } else {
                b = Postfix();
            }
            a = Binary(Expr::Kind::Binary, op, std::move(a), std::move(b));
        }
        return a;
    }
    ExprPtr Postfix() {
        ExprPtr a = Primary();
        while (IsOp("'") || IsOp(".'")) {
            ExprPtr e = Make(Expr::Kind::Postfix);
            e->text = Next().text;
            e->args.push_back(std::move(a));
            a = std::move(e);
        }
        return a;
    }
    ExprPtr Primary() {
        const Token &t = Peek();
        if (t.kind == Tok::Number) {
            ExprPtr e = Make(Expr::Kind::Number);
            e->number = Next().value;
            return e;
        }
        if (t.kind == Tok::String) {
            ExprPtr e = Make(Expr::Kind::String);
            e->text = Next().text;
            return e;
        }
        if (t.kind == Tok::Ident) {
            ExprPtr e = Make(Expr::Kind::Name);
            e->text = Next().text;
            if (IsOp("(")) {
                Next();
                e->kind = Expr::Kind::Call;
                e->args = Arguments();
            }
            return e;
        }
        if (t.kind == Tok::Keyword && t.text == "end" && m_subscriptDepth > 0) {
            Next();
            return Make(Expr::Kind::EndWord);
        }
        if (IsOp("(")) {
            Next();
            const int saved = m_subscriptDepth;
            ExprPtr e = Expression();
            m_subscriptDepth = saved;
            Expect(")");
            return e;
        }
        if (IsOp("[")) return Matrix();
        Fail(t.kind == Tok::End
                 ? "Unexpected end of input"
                 : "Unexpected '" + (t.kind == Tok::Newline ? "newline" : t.text) + "'");
    }
    ExprPtr Matrix() {
        ExprPtr m = Make(Expr::Kind::Matrix);
        Next();
        // end inside brackets within a subscript still refers to the subscript.
        std::vector<ExprPtr> row;
        for (;;) {
            if (IsOp("]")) {
                Next();
                if (!row.empty()) m->rows.push_back(std::move(row));
                return m;
            }
            if (IsOp(";")) {
                Next();
                if (!row.empty()) m->rows.push_back(std::move(row));
                row.clear();
                continue;
            }
            if (IsOp(",")) {
                Next();
                continue;
            }
            if (Peek().kind == Tok::End) Fail("Expected ']'");
            row.push_back(Expression());
        }
    }

    const std::vector<Token> &m_t;
    std::size_t m_pos = 0;
    int m_subscriptDepth = 0;
};

}  // namespace

Block Parse(const std::vector<Token> &tokens) { return Parser(tokens).Program(); }

}  // namespace mtrx
