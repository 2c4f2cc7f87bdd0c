// src/mtrx/session.cpp: parses and runs source text, turning every failure
// into a ScriptError with its place.
#include "session.h"

#include "error.h"
#include "evaluator.h"
#include "lexer.h"
#include "lib/plots.h"
#include "parser.h"
#include "resolver.h"

#include <matrix/order.h>

#include <cstdlib>
#include <exception>
#include <iostream>

namespace mtrx {

namespace {

std::shared_ptr<const Unit> CompileUnit(const std::string &source, const std::string &file,
                                        bool typed) {
    auto unit = std::make_shared<Unit>();
    unit->file = file;
    const std::size_t slash = file.rfind('/');
    unit->folder = file.empty() ? "" : slash == std::string::npos ? "." : file.substr(0, slash);
    unit->program = Parse(Lex(source), source, typed);
    ResolveProgram(unit->program);
    for (const Function &f : unit->program.functions) unit->functions.emplace(f.name, &f);
    return unit;
}

}  // namespace

std::shared_ptr<const Unit> Compile(const std::string &source, const std::string &file) {
    return CompileUnit(source, file, false);
}

Session::Session(std::ostream &display, const Limits &limits)
    : m_evaluator(new Evaluator(display, limits)) {
    // Scripts run in the fast order unless the environment chose one: its
    // triangular solves by substitution and symmetric eigenvalues in
    // ascending order are what the language's users expect to see.
    if (std::getenv("RUL2MTRX_ORDER") == nullptr) kiv::matrix::SetOrder(kiv::matrix::Order::kFast);
}

Session::~Session() = default;

void Session::Run(const std::string &source, const std::string &file) {
    RunSource(source, file, false);
}

void Session::RunTyped(const std::string &source) { RunSource(source, std::string(), true); }

std::vector<std::string> Session::WriteUnsavedFigures(const std::string &folder) {
    return mtrx::WriteUnsavedFigures(*m_evaluator, folder);
}

void Session::RunSource(const std::string &source, const std::string &file, bool typed) {
    std::shared_ptr<const Unit> unit;
    try {
        unit = CompileUnit(source, file, typed);
    } catch (const Error &e) {
        throw ScriptError(e.what(), file, e.Line());
    } catch (const std::exception &e) {
        throw ScriptError(e.what(), file, 0);
    }
    if (typed) m_evaluator->Define(unit);
    try {
        m_evaluator->Run(unit);
    } catch (const ExitError &e) {
        throw Exit(e.Status(), m_evaluator->FailedFile(), m_evaluator->FailedLine());
    } catch (const InterruptError &e) {
        throw Interrupted(e.what(), m_evaluator->FailedFile(), m_evaluator->FailedLine());
    } catch (const std::exception &e) {
        const auto *raised = dynamic_cast<const Error *>(&e);
        m_evaluator->SetLastError(e.what(), raised ? raised->Identifier() : std::string());
        throw ScriptError(e.what(), m_evaluator->FailedFile(), m_evaluator->FailedLine(),
                          m_evaluator->FailedStack());
    }
}

void ReportError(const ScriptError &e) {
    std::cout.flush();
    std::cerr << "error: ";
    if (!e.File().empty()) std::cerr << e.File() << ':' << e.Line() << ": ";
    std::cerr << e.what() << '\n';
    for (const StackEntry &frame : e.Stack()) {
        std::cerr << "Error in " << frame.name;
        if (frame.line > 0) std::cerr << " (line " << frame.line << ')';
        std::cerr << '\n';
    }
}

bool NeedsMoreInput(const std::string &source) {
    try {
        Parse(Lex(source), source, true);
        return false;
    } catch (const Error &e) {
        return e.AtEnd();
    }
}

}  // namespace mtrx
