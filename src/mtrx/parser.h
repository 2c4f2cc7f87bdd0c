// src/mtrx/parser.h: the syntax tree and the parser that builds it from tokens.
#ifndef MTRX_PARSER_H
#define MTRX_PARSER_H

#include "lexer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mtrx {

/// The operators, resolved once by the parser. The binary ones come first,
/// in the order of the operator table (lib/operators.cpp), then the unary
/// ones in theirs, then the short-circuit pair.
enum class Op : std::uint8_t {
    Plus,
    Minus,
    Mtimes,
    Mrdivide,
    Mldivide,
    Mpower,
    Times,
    Rdivide,
    Ldivide,
    Power,
    Or,
    And,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    Uminus,
    Uplus,
    Not,
    Ctranspose,
    Transpose,
    AndAnd,
    OrOr,
    None
};
constexpr int kBinaryOps = static_cast<int>(Op::Uminus);
constexpr int kFirstUnaryOp = static_cast<int>(Op::Uminus);
constexpr int kUnaryOps = static_cast<int>(Op::AndAnd) - kFirstUnaryOp;

/// The operator written `text` as a binary (or short-circuit) operator, or
/// as a prefix or postfix one; Op::None when there is none.
Op BinaryOp(const std::string &text);
Op UnaryOp(const std::string &text);

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    enum class Kind {
        Number,
        Imaginary,  // a number written with i or j: number is its imaginary part
        String,
        // "...", a string; String is '...', a char row.
        StringScalar,
        Name,         // a variable or a function called without arguments
        Call,         // name(args): indexing when name is a variable
        Index,        // args[0](args[1..]): a later subscript in a chain
        CellIndex,    // args[0]{args[1..]}
        Field,        // args[0].text, or args[0].(args[1])
        Colon,        // a bare : as a subscript
        EndWord,      // end inside a subscript
        Matrix,       // [rows]
        CellLiteral,  // {rows}
        Range,        // a:b or a:s:b (args: first, [step,] last)
        Binary,
        Unary,
        Postfix,
        ShortCircuit,  // && and ||
        AnonFunction,  // @(params) args[0]; text is its source
        FuncHandle     // @name
    };
    Kind kind;
    int line = 0;
    int height = 1;  // of the tree below and including this node
    Op op = Op::None;  // of Binary, Unary, Postfix, ShortCircuit
    int slot = -1;     // of a Name or Call: its variable in the scope (resolver)
    int site = -1;     // of a Name or Call: the call site (Program::sites)
    // args[0] and args[1] when there are (the resolver's), for the scalar
    // path to reach operands without going through the list.
    const Expr *lhs = nullptr;
    const Expr *rhs = nullptr;
    double number = 0.0;
    std::string text;  // name, string contents, operator or field
    std::vector<ExprPtr> args;
    std::vector<std::vector<ExprPtr>> rows;
    std::vector<std::string> params;  // of an anonymous function
    // Of an anonymous function: the names of its own slots (its parameters
    // first), and for each name after the parameters the slot of the scope
    // around it whose value it captures.
    std::vector<std::string> scope;
    std::vector<int> captures;
};

struct Stmt;
using Block = std::vector<Stmt>;

/// One step of an assignment target: (I), {I}, .name or .(expression), the
/// expression then the only subscript.
struct Accessor {
    enum class Kind { Paren, Brace, Field };
    Kind kind;
    std::vector<ExprPtr> subscripts;
    std::string field;
};

/// The left side of an assignment: a variable and the steps into it. An
/// empty name is the ~ placeholder of a multiple assignment.
struct Target {
    std::string name;
    int slot = -1;
    std::vector<Accessor> path;
};

struct Stmt {
    enum class Kind {
        Expression,
        Assign,  // targets = value (one target, or several for [a, b] = f(...))
        If,
        While,
        For,
        Switch,
        Try,
        Break,
        Continue,
        Return
    };
    Kind kind;
    int line = 0;
    bool show = true;        // no trailing ;
    std::string name;  // loop variable, or the catch variable (may be empty)
    int slot = -1;     // of that variable; of ans for an expression statement
    std::vector<Target> targets;
    bool bracketed = false;  // the targets were written in [...]
    ExprPtr value;  // expression, right-hand side, condition, loop range or switch value
    // if / elseif conditions, or switch cases, with their blocks
    std::vector<std::pair<ExprPtr, Block>> branches;
    Block body;     // loop body, else, otherwise, try block
    Block handler;  // catch block
};

/// A function defined with `function [outs] = name(params) ... end`.
struct Function {
    std::string name;
    std::vector<std::string> params;
    std::vector<std::string> outputs;
    Block body;
    int line = 0;
    // The resolver's: the names of the function's slots, and the slots of
    // its parameters (-1 for ~) and outputs.
    std::vector<std::string> names;
    std::vector<int> paramSlots;
    std::vector<int> outputSlots;
    bool varargin = false;  // the last parameter is varargin
};

/// The call site numbers a program holds. Numbers are unique among the
/// programs alive in the process and go back to a pool when the program
/// dies, so they stay as few as the sites alive (an evaluator's callee
/// cache is indexed by them); Program::serial, never reused, tells a reused
/// number's programs apart.
class SiteIds {
public:
    SiteIds() = default;
    SiteIds(SiteIds &&other) noexcept : m_ids(std::move(other.m_ids)) { other.m_ids.clear(); }
    SiteIds &operator=(SiteIds &&other) noexcept;
    SiteIds(const SiteIds &) = delete;
    SiteIds &operator=(const SiteIds &) = delete;
    ~SiteIds() { Release(); }
    /// A number of the pool, held until this object dies.
    int Take();

private:
    void Release() noexcept;
    std::vector<int> m_ids;
};

/// A parsed source text: its statements (a script's) and the functions it
/// defines, in order.
struct Program {
    Block statements;
    std::vector<Function> functions;
    // The names of the slots the statements use. Statements run in a
    // workspace of their caller (the base one, or a function's, for a script
    // file): the evaluator maps these slots to that workspace's by name.
    std::vector<std::string> names;
    // The resolver's: the call site numbers of the program's nodes, and a
    // number unique to this program in the process.
    SiteIds sites;
    std::uint64_t serial = 0;
};

/// Parses a whole program. Throws mtrx::Error naming the line on a syntax
/// error, and for nesting deeper than the parser's fixed limit. A function
/// in a file may end at the next function or the end of the file; with
/// `functionsNeedEnd`, as for text typed at the prompt, each must end with
/// its `end`, and a missing one is an error at the end of the input.
Program Parse(const std::vector<Token> &tokens, const std::string &source,
              bool functionsNeedEnd = false);

}  // namespace mtrx

#endif  // MTRX_PARSER_H
