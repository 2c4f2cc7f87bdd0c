// src/mtrx/parser.cpp: a recursive-descent parser, one function per precedence level.
#include "parser.h"

#include "error.h"

#include <algorithm>
#include <iterator>

namespace mtrx {

namespace {

// Deeper expressions or blocks are refused: evaluation recurses along the
// tree, and a bound here keeps any input within the stack.
constexpr int kMaxNesting = 200;

class Parser {
public:
    Parser(const std::vector<Token> &t, const std::string &source, bool functionsNeedEnd)
        : m_t(t), m_source(source), m_functionsNeedEnd(functionsNeedEnd) {}

    Program Whole() {
        Program p;
        p.statements = Statements({"function"});
        while (IsKeyword("function")) {
            p.functions.push_back(FunctionDefinition());
            SkipSeparators();
        }
        if (Peek().kind != Tok::End) Fail("Unexpected '" + Peek().text + "'");
        return p;
    }

private:
    // Counts the nesting of blocks and expressions being parsed.
    class Nest {
    public:
        explicit Nest(Parser &p) : m_p(p) {
            if (++m_p.m_nesting > kMaxNesting) m_p.Fail("Nesting is too deep");
        }
        ~Nest() { --m_p.m_nesting; }
        Nest(const Nest &) = delete;
        Nest &operator=(const Nest &) = delete;

    private:
        Parser &m_p;
    };

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
    [[noreturn]] void Unexpected() const {
        const Token &t = Peek();
        Fail(t.kind == Tok::End       ? "Unexpected end of input"
             : t.kind == Tok::Newline ? "Unexpected newline"
                                      : "Unexpected '" + t.text + "'");
    }
    void Expect(const char *op) {
        if (!IsOp(op)) Fail(std::string("Expected '") + op + "'");
        Next();
    }
    void SkipSeparators() {
        while (Peek().kind == Tok::Newline || IsOp(",") || IsOp(";")) Next();
    }
    bool AtStatementEnd() const {
        return Peek().kind == Tok::Newline || Peek().kind == Tok::End || IsOp(",") || IsOp(";");
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
        } else if (Peek().kind != Tok::End && Peek().kind != Tok::Keyword) {
            Unexpected();
        } else if (Peek().kind == Tok::Keyword) {
            static const char *const kClosers[] = {"end",       "else",  "elseif",  "case",
                                                   "otherwise", "catch", "function"};
            if (std::none_of(std::begin(kClosers), std::end(kClosers),
                             [&](const char *w) { return Peek().text == w; }))
                Unexpected();
        }
    }

    void ExpectEnd() {
        if (!IsKeyword("end")) Fail("Expected 'end'");
        Next();
    }

    Function FunctionDefinition() {
        Nest nest(*this);
        Function f;
        f.line = Peek().line;
        Next();
        // function name, function y = name, function [a, b] = name
        if (IsOp("[")) {
            Next();
            while (!IsOp("]")) {
                if (Peek().kind != Tok::Ident) Fail("Expected an output name");
                f.outputs.push_back(Next().text);
                if (IsOp(",")) Next();
            }
            Next();
            Expect("=");
        } else if (Peek().kind == Tok::Ident && IsOp("=", 1)) {
            f.outputs.push_back(Next().text);
            Next();
        }
        if (Peek().kind != Tok::Ident) Fail("Expected a function name");
        f.name = Next().text;
        if (IsOp("(")) {
            Next();
            while (!IsOp(")")) {
                if (Peek().kind == Tok::Ident)
                    f.params.push_back(Next().text);
                else if (IsOp("~"))
                    Next(), f.params.push_back("~");
                else
                    Fail("Expected a parameter name");
                if (IsOp(",")) Next();
            }
            Next();
        }
        // The body ends at its end, or without one at the next function.
        const int loops = m_loops;
        m_loops = 0;
        f.body = Statements({"end", "function"});
        m_loops = loops;
        if (IsKeyword("end"))
            Next();
        else if (m_functionsNeedEnd)
            Fail("Expected 'end' to close function '" + f.name + "'");
        return f;
    }

    Stmt Statement() {
        Nest nest(*this);
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
            s.body = LoopBody();
            ExpectEnd();
        } else if (IsKeyword("for")) {
            Next();
            s.kind = Stmt::Kind::For;
            const bool parenthesised = IsOp("(");
            if (parenthesised) Next();
            if (Peek().kind != Tok::Ident) Fail("Expected a loop variable");
            s.name = Next().text;
            Expect("=");
            s.value = Expression();
            if (parenthesised) Expect(")");
            s.body = LoopBody();
            ExpectEnd();
        } else if (IsKeyword("switch")) {
            Next();
            s.kind = Stmt::Kind::Switch;
            s.value = Expression();
            SkipSeparators();
            while (IsKeyword("case")) {
                Next();
                ExprPtr label = Expression();
                Block body = Statements({"case", "otherwise", "end"});
                s.branches.emplace_back(std::move(label), std::move(body));
            }
            if (IsKeyword("otherwise")) {
                Next();
                s.body = Statements({"end"});
            }
            ExpectEnd();
        } else if (IsKeyword("try")) {
            Next();
            s.kind = Stmt::Kind::Try;
            s.body = Statements({"catch", "end"});
            if (IsKeyword("catch")) {
                Next();
                if (Peek().kind == Tok::Ident &&
                    (Peek(1).kind == Tok::Newline || Peek(1).kind == Tok::End || IsOp(";", 1) ||
                     IsOp(",", 1)))
                    s.name = Next().text;
                s.handler = Statements({"end"});
            }
            ExpectEnd();
        } else if ((IsKeyword("break") || IsKeyword("continue")) && m_loops == 0) {
            Fail("'" + Peek().text + "' is only valid in a loop");
        } else if (IsKeyword("break") || IsKeyword("continue") || IsKeyword("return")) {
            s.kind = IsKeyword("break")      ? Stmt::Kind::Break
                     : IsKeyword("continue") ? Stmt::Kind::Continue
                                             : Stmt::Kind::Return;
            Next();
        } else if (Peek().kind == Tok::Keyword) {
            Unexpected();
        } else if (IsMultipleAssignment()) {
            s.kind = Stmt::Kind::Assign;
            s.bracketed = true;
            Next();
            while (!IsOp("]")) {
                if (IsOp("~")) {
                    Next();
                    s.targets.emplace_back();
                } else {
                    s.targets.push_back(AssignmentTarget());
                }
                if (IsOp(",")) Next();
            }
            Next();
            Expect("=");
            s.value = Expression();
        } else if (IsAssignment()) {
            s.kind = Stmt::Kind::Assign;
            s.targets.push_back(AssignmentTarget());
            Expect("=");
            s.value = Expression();
        } else {
            s.kind = Stmt::Kind::Expression;
            s.value = Expression();
        }
        EndStatement(s);
        return s;
    }

    Block LoopBody() {
        ++m_loops;
        Block body = Statements({"end"});
        --m_loops;
        return body;
    }

    Target AssignmentTarget() {
        if (Peek().kind != Tok::Ident) Fail("Expected a variable name");
        Target t;
        t.name = Next().text;
        for (;;) {
            Accessor a;
            if (IsOp("(") || IsOp("{")) {
                a.kind = IsOp("(") ? Accessor::Kind::Paren : Accessor::Kind::Brace;
                Next();
                a.subscripts = Arguments(a.kind == Accessor::Kind::Paren ? ")" : "}");
            } else if (IsOp(".")) {
                Next();
                a.kind = Accessor::Kind::Field;
                if (IsOp("(")) {
                    // s.(name): the name is the value of the expression.
                    Next();
                    a.subscripts.push_back(Expression());
                    Expect(")");
                } else {
                    if (Peek().kind != Tok::Ident) Fail("Expected a field name");
                    a.field = Next().text;
                }
            } else {
                return t;
            }
            t.path.push_back(std::move(a));
        }
    }

    // The index just after the bracket or parenthesis opening at `k`, or 0
    // when it does not close on this line.
    std::size_t Closing(std::size_t k) const {
        int depth = 0;
        for (;; ++k) {
            const Token &t = Peek(k);
            if (t.kind == Tok::End || t.kind == Tok::Newline) return 0;
            if (t.kind != Tok::Op) continue;
            if (t.text == "(" || t.text == "[" || t.text == "{") ++depth;
            if (t.text == ")" || t.text == "]" || t.text == "}") --depth;
            if (depth == 0) return k + 1;
        }
    }

    // [a, b] = ...
    bool IsMultipleAssignment() const {
        if (!IsOp("[")) return false;
        const std::size_t k = Closing(0);
        return k != 0 && IsOp("=", k);
    }

    // name = ..., name(...) = ..., name{...}.field = ...
    bool IsAssignment() const {
        if (Peek().kind != Tok::Ident) return false;
        std::size_t k = 1;
        for (;;) {
            if (IsOp("=", k)) return true;
            if (IsOp("(", k) || IsOp("{", k)) {
                k = Closing(k);
                if (k == 0) return false;
            } else if (IsOp(".", k) && Peek(k + 1).kind == Tok::Ident) {
                k += 2;
            } else if (IsOp(".", k) && IsOp("(", k + 1)) {
                k = Closing(k + 1);
                if (k == 0) return false;
            } else {
                return false;
            }
        }
    }

    // Arguments after "(" or "{", through the `close`.
    std::vector<ExprPtr> Arguments(const char *close) {
        std::vector<ExprPtr> args;
        if (IsOp(close)) {
            Next();
            return args;
        }
        for (;;) {
            if (IsOp(":") && (IsOp(",", 1) || IsOp(close, 1))) {
                args.push_back(Make(Expr::Kind::Colon));
                Next();
            } else {
                ++m_subscriptDepth;
                args.push_back(Expression());
                --m_subscriptDepth;
            }
            if (IsOp(close)) {
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
    ExprPtr Binary(Expr::Kind kind, const std::string &op, ExprPtr a, ExprPtr b) {
        ExprPtr e = Make(kind);
        e->text = op;
        e->op = BinaryOp(op);
        e->args.push_back(std::move(a));
        e->args.push_back(std::move(b));
        return Measured(std::move(e));
    }
    // Refuses trees taller than the limit: a long chain like 1+1+...+1 is
    // parsed by a loop but evaluated and destroyed by recursion.
    ExprPtr Measured(ExprPtr e) {
        int height = 0;
        for (const ExprPtr &a : e->args) height = std::max(height, a ? a->height : 0);
        for (const auto &row : e->rows)
            for (const ExprPtr &a : row) height = std::max(height, a->height);
        e->height = height + 1;
        if (e->height > kMaxNesting) Fail("Nesting is too deep");
        return e;
    }

    ExprPtr Expression() {
        Nest nest(*this);
        return OrOr();
    }

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
        return Measured(std::move(r));
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
    bool AtUnaryOperator() const { return IsOp("-") || IsOp("+") || IsOp("~") || IsOp("!"); }
    ExprPtr UnaryOf(ExprPtr (Parser::*operand)()) {
        Nest nest(*this);
        ExprPtr e = Make(Expr::Kind::Unary);
        e->text = Next().text;
        if (e->text == "!") e->text = "~";
        e->op = UnaryOp(e->text);
        e->args.push_back((this->*operand)());
        return Measured(std::move(e));
    }
    ExprPtr Unary() {
        if (AtUnaryOperator()) return UnaryOf(&Parser::Unary);
        return Power();
    }
    ExprPtr Power() {
        ExprPtr a = Postfix();
        while (IsOp("^") || IsOp(".^")) {
            const std::string op = Next().text;
            // The exponent may carry its own signs: 2^-1.
            ExprPtr b = AtUnaryOperator() ? UnaryOf(&Parser::Power) : Postfix();
            a = Binary(Expr::Kind::Binary, op, std::move(a), std::move(b));
        }
        return a;
    }
    ExprPtr Postfix() {
        ExprPtr a = Primary();
        while (IsOp("'") || IsOp(".'")) {
            ExprPtr e = Make(Expr::Kind::Postfix);
            e->text = Next().text;
            e->op = UnaryOp(e->text);
            e->args.push_back(std::move(a));
            a = Measured(std::move(e));
        }
        return a;
    }
    // Subscripts and fields after a name: f(x), c{2}(3), err.message.
    ExprPtr Chain(ExprPtr e) {
        for (;;) {
            if (IsOp("(") && e->kind == Expr::Kind::Name) {
                Next();
                e->kind = Expr::Kind::Call;
                e->args = Arguments(")");
                e = Measured(std::move(e));
                continue;
            }
            Expr::Kind kind;
            if (IsOp("("))
                kind = Expr::Kind::Index;
            else if (IsOp("{"))
                kind = Expr::Kind::CellIndex;
            else if (IsOp(".") && (Peek(1).kind == Tok::Ident || IsOp("(", 1)))
                kind = Expr::Kind::Field;
            else
                return e;
            ExprPtr outer = Make(kind);
            const Token &opener = Next();
            outer->args.push_back(std::move(e));
            if (kind == Expr::Kind::Field && IsOp("(")) {
                // s.(name): args[1] gives the name.
                Next();
                outer->args.push_back(Expression());
                Expect(")");
            } else if (kind == Expr::Kind::Field) {
                outer->text = Next().text;
            } else {
                for (ExprPtr &a : Arguments(opener.text == "(" ? ")" : "}"))
                    outer->args.push_back(std::move(a));
            }
            e = Measured(std::move(outer));
        }
    }
    ExprPtr Primary() {
        const Token &t = Peek();
        if (t.kind == Tok::Number) {
            ExprPtr e = Make(t.imaginary ? Expr::Kind::Imaginary : Expr::Kind::Number);
            e->number = Next().value;
            return e;
        }
        if (t.kind == Tok::String || t.kind == Tok::DoubleQuoted) {
            ExprPtr e = Make(t.kind == Tok::String ? Expr::Kind::String : Expr::Kind::StringScalar);
            e->text = Next().text;
            return e;
        }
        if (t.kind == Tok::Ident) {
            ExprPtr e = Make(Expr::Kind::Name);
            e->text = Next().text;
            return Chain(std::move(e));
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
        if (IsOp("[")) return Rows(Expr::Kind::Matrix, "]");
        if (IsOp("{")) return Chain(Rows(Expr::Kind::CellLiteral, "}"));
        if (IsOp("@")) return Handle();
        Unexpected();
    }
    ExprPtr Handle() {
        const std::size_t start = Peek().pos;
        Next();
        if (Peek().kind == Tok::Ident) {
            ExprPtr e = Make(Expr::Kind::FuncHandle);
            e->text = Next().text;
            return e;
        }
        ExprPtr e = Make(Expr::Kind::AnonFunction);
        Expect("(");
        while (!IsOp(")")) {
            if (Peek().kind == Tok::Ident)
                e->params.push_back(Next().text);
            else if (IsOp("~"))
                Next(), e->params.push_back("~");
            else
                Fail("Expected a parameter name");
            if (IsOp(",")) Next();
        }
        Next();
        // The body is parsed outside any subscript: end there is not an index.
        const int saved = m_subscriptDepth;
        m_subscriptDepth = 0;
        e->args.push_back(Expression());
        m_subscriptDepth = saved;
        std::size_t stop = Peek().pos;
        while (stop > start && (m_source[stop - 1] == ' ' || m_source[stop - 1] == '\t' ||
                                m_source[stop - 1] == '\n' || m_source[stop - 1] == '\r'))
            --stop;
        e->text = m_source.substr(start, stop - start);
        return Measured(std::move(e));
    }
    ExprPtr Rows(Expr::Kind kind, const char *close) {
        Nest nest(*this);
        ExprPtr m = Make(kind);
        Next();
        // end inside brackets within a subscript still refers to the subscript.
        std::vector<ExprPtr> row;
        for (;;) {
            if (IsOp(close)) {
                Next();
                if (!row.empty()) m->rows.push_back(std::move(row));
                return Measured(std::move(m));
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
            if (Peek().kind == Tok::End) Fail(std::string("Expected '") + close + "'");
            row.push_back(Expression());
        }
    }

    const std::vector<Token> &m_t;
    const std::string &m_source;
    std::size_t m_pos = 0;
    int m_subscriptDepth = 0;
    int m_nesting = 0;
    int m_loops = 0;  // loops around the statement being parsed
    bool m_functionsNeedEnd;
};

}  // namespace

namespace {

// The operators as written, in the order of Op.
const char *const kOpText[] = {"+",  "-",  "*", "/", "\\", "^", ".*", "./", ".\\",
                               ".^", "|",  "&", "==", "~=", "<", "<=", ">", ">=",
                               "-",  "+",  "~", "'",  ".'", "&&", "||"};
static_assert(std::size(kOpText) == static_cast<std::size_t>(Op::None), "one text per operator");

}  // namespace

Op BinaryOp(const std::string &text) {
    for (int k = 0; k < kBinaryOps; ++k)
        if (text == kOpText[k]) return static_cast<Op>(k);
    if (text == "&&") return Op::AndAnd;
    if (text == "||") return Op::OrOr;
    return Op::None;
}

Op UnaryOp(const std::string &text) {
    for (int k = kFirstUnaryOp; k < kFirstUnaryOp + kUnaryOps; ++k)
        if (text == kOpText[k]) return static_cast<Op>(k);
    return Op::None;
}

Program Parse(const std::vector<Token> &tokens, const std::string &source, bool functionsNeedEnd) {
    return Parser(tokens, source, functionsNeedEnd).Whole();
}

}  // namespace mtrx
