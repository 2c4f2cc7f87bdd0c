// src/mtrx/session.cpp: parses and runs source text, turning every failure
// into a ScriptError with its place.
#include "session.h"

#include "error.h"
#include "evaluator.h"
#include "lexer.h"
#include "parser.h"

#include <exception>

namespace mtrx {

std::shared_ptr<const Unit> Compile(const std::string &source, const std::string &file) {
    auto unit = std::make_shared<Unit>();
    unit->file = file;
    const std::size_t slash = file.rfind('/');
    unit->folder = file.empty() ? "" : slash == std::string::npos ? "." : file.substr(0, slash);
    unit->program = Parse(Lex(source), source);
    for (const Function &f : unit->program.functions) unit->functions.emplace(f.name, &f);
    return unit;
}

Session::Session(std::ostream &display, const Limits &limits)
    : m_evaluator(new Evaluator(display, limits)) {}

Session::~Session() = default;

void Session::Run(const std::string &source, const std::string &file) {
    std::shared_ptr<const Unit> unit;
    try {
        unit = Compile(source, file);
    } catch (const Error &e) {
        throw ScriptError(e.what(), file, e.Line());
    } catch (const std::exception &e) {
        throw ScriptError(e.what(), file, 0);
    }
    try {
        m_evaluator->Run(unit);
    } catch (const InterruptError &e) {
        throw Interrupted(e.what(), m_evaluator->FailedFile(), m_evaluator->FailedLine());
    } catch (const std::exception &e) {
        throw ScriptError(e.what(), m_evaluator->FailedFile(), m_evaluator->FailedLine());
    }
}

bool NeedsMoreInput(const std::string &source) {
    try {
        Parse(Lex(source), source);
        return false;
    } catch (const Error &e) {
        return e.AtEnd();
    }
}

}  // namespace mtrx
