// src/mtrx/parser.h: the syntax tree and the parser that builds it from tokens.
#ifndef MTRX_PARSER_H
#define MTRX_PARSER_H

#include "lexer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mtrx {

class Value;

/// Where the evaluator last found the variable a name stands for: the
/// frame, by its number (never reused), and the slot in it. Slots do not
/// move, and a frame that loses variables (clear) takes a new number, so the
/// slot is right for as long as that frame is the running one under that
/// number, and the name is not looked up again. The evaluator fills it in; a unit runs on one evaluator at a time.
struct VariableCache {
    mutable std::uint64_t frame = 0;
    mutable Value *slot = nullptr;
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    enum class Kind {
        Number,
        String,
        Name,         // a variable or a function called without arguments
        Call,         // name(args): indexing when name is a variable
        Index,        // args[0](args[1..]): a later subscript in a chain
        CellIndex,    // args[0]{args[1..]}
        Field,        // args[0].text
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
    double number = 0.0;
    std::string text;        // name, string contents, operator or field
    VariableCache variable;  // of a Name or Call
    std::vector<ExprPtr> args;
    std::vector<std::vector<ExprPtr>> rows;
    std::vector<std::string> params;  // of an anonymous function
};

struct Stmt;
using Block = std::vector<Stmt>;

/// One step of an assignment target: (I), {I} or .name.
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
    VariableCache variable;
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
    std::string name;        // loop variable, or the catch variable (may be empty)
    VariableCache variable;  // of the loop variable
    std::vector<Target> targets;
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
};

/// A parsed source text: its statements (a script's) and the functions it
/// defines, in order.
struct Program {
    Block statements;
    std::vector<Function> functions;
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
