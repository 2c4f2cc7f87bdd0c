// src/mtrx/parser.h: the syntax tree and the parser that builds it from tokens.
#ifndef MTRX_PARSER_H
#define MTRX_PARSER_H

#include "lexer.h"

#include <memory>
#include <string>
#include <vector>

namespace mtrx {

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    enum class Kind {
        Number,
        String,
        Name,     // a variable or a function called without arguments
        Call,     // name(args): indexing when name is a variable
        Colon,    // a bare : as a subscript
        EndWord,  // end inside a subscript
        Matrix,   // [rows]
        Range,    // a:b or a:s:b (args: first, [step,] last)
        Binary,
        Unary,
        Postfix,
        ShortCircuit  // && and ||
    };
    Kind kind;
    int line = 0;
    double number = 0.0;
    std::string text;  // name, string contents or operator
    std::vector<ExprPtr> args;
    std::vector<std::vector<ExprPtr>> rows;
};

struct Stmt;
using Block = std::vector<Stmt>;

struct Stmt {
    enum class Kind { Expression, Assign, If, While, For, Break, Continue };
    Kind kind;
    int line = 0;
    bool show = true;  // no trailing ;
    std::string name;  // assigned variable or loop variable
    bool indexed = false;
    std::vector<ExprPtr> subscripts;  // of A(I) = e
    ExprPtr value;                    // expression, right-hand side, condition or loop range
    std::vector<std::pair<ExprPtr, Block>> branches;  // if / elseif
    Block body;                                       // loop body or else
};

/// Parses a whole program. Throws mtrx::Error naming the line on a syntax
/// error.
Block Parse(const std::vector<Token> &tokens);

}  // namespace mtrx

#endif  // MTRX_PARSER_H
