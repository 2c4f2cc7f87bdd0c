// src/mtrx/session.cpp: parses and runs source text, turning every failure
// into a ScriptError with its place.
#include "session.h"

#include "error.h"
#include "evaluator.h"
#include "lexer.h"
#include "parser.h"

#include <exception>

namespace mtrx {

Session::Session(std::ostream &display, const Limits &limits)
    : m_evaluator(new Evaluator(display)) {
    (void)limits;
}

Session::~Session() = default;

void Session::Run(const std::string &source, const std::string &file) {
    try {
        m_evaluator->Run(Parse(Lex(source)));
    } catch (const Error &e) {
        throw ScriptError(e.what(), file, e.Line() ? e.Line() : m_evaluator->Line());
    } catch (const std::exception &e) {
        throw ScriptError(e.what(), file, m_evaluator->Line());
    }
}

bool NeedsMoreInput(const std::string &source) {
    try {
        Parse(Lex(source));
        return false;
    } catch (const Error &e) {
        return e.AtEnd();
    }
}

}  // namespace mtrx
