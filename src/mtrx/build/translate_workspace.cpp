// src/mtrx/build/translate_workspace.cpp: what a compiled function needs of
// the files and workspace around it: the function and script files its
// calls find on the path, and whether it keeps its variables in its
// interpreter frame for the built-ins that reach them by name.
#include "build/translator.h"

#include <cstdlib>
#include <fstream>

namespace mtrx {
namespace build {

const std::set<std::string> kWorkspaceBuiltins = {
    "eval", "evalin", "evalc", "assignin", "input", "keyboard", "clear", "clearvars",
    "who",  "whos",   "exist", "save",     "load",  "inputname"};

std::vector<std::string> Translator::SearchFolders() const {
    std::vector<std::string> folders{m_unit->folder.empty() ? "." : m_unit->folder, "."};
    if (const char *path = std::getenv("MTRXPATH")) {
        std::stringstream list(path);
        std::string folder;
        while (std::getline(list, folder, ':'))
            if (!folder.empty()) folders.push_back(folder);
    }
    return folders;
}

bool Translator::ScriptFile(const std::string &name) {
    const auto known = m_scripts.find(name);
    if (known != m_scripts.end()) return known->second;
    const std::vector<std::string> folders = SearchFolders();
    bool script = false;
    for (const std::string &folder : folders) {
        const std::string path = folder + "/" + name + ".mtrx";
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        bool functions = false;
        try {
            functions = !Compile(text.str(), path)->program.functions.empty();
            script = !functions;
        } catch (const Error &) {
            // A file that does not parse fails when called, as it does there.
        }
        if (functions) m_functionFiles.insert(name);
        // A script file is compiled in as well: its statements run in the
        // frame of whichever caller runs it.
        if ((functions || script) && !m_files->index.count(path)) {
            m_files->index.emplace(path, m_files->files.size());
            m_files->files.push_back({path, text.str(), {}, {}, {}, {}, {}});
        }
        break;
    }
    m_scripts.emplace(name, script);
    return script;
}

void Translator::FindFunctionFile(const std::string &name) { (void)ScriptFile(name); }

bool Translator::UsesWorkspace(const Expr &e) {
    // An anonymous function's body runs in a frame of its own.
    if (e.kind == Expr::Kind::AnonFunction) return false;
    if ((e.kind == Expr::Kind::Name || e.kind == Expr::Kind::Call) && !m_functions.count(e.text) &&
        (kWorkspaceBuiltins.count(e.text) || ScriptFile(e.text)))
        return true;
    return AnyOperand(e, [this](const Expr &a) { return UsesWorkspace(a); });
}

bool Translator::UsesWorkspace(const Block &block) {
    for (const Stmt &s : block) {
        if (s.value && UsesWorkspace(*s.value)) return true;
        for (const Target &t : s.targets)
            for (const Accessor &a : t.path)
                for (const ExprPtr &e : a.subscripts)
                    if (UsesWorkspace(*e)) return true;
        for (const auto &branch : s.branches)
            if ((branch.first && UsesWorkspace(*branch.first)) || UsesWorkspace(branch.second))
                return true;
        if (UsesWorkspace(s.body) || UsesWorkspace(s.handler)) return true;
    }
    return false;
}

void Translator::KeepInFrame(Scope &scope, std::size_t names) {
    // A name no statement assigns may still be a variable: a script, load
    // or input may make it.
    scope.workspace = true;
    for (std::size_t slot = 0; slot < names; ++slot) scope.assigned.insert(static_cast<int>(slot));
    scope.scalars.clear();
}

void Translator::FileFunctions() {
    MakeVersions();
    SplitAll();
    // Its functions over doubles and typed ones, for the calls inside it.
    std::vector<std::string> doubles;
    TypedFunctions(doubles);
    std::ostringstream saved;
    saved.swap(m_out);
    const std::string script = m_unit->program.functions.empty() ? ScriptStatements() : "";
    std::vector<std::string> names;
    for (std::size_t k = 0; k < m_unit->program.functions.size(); ++k) {
        FunctionVersions(k);
        names.push_back(FunctionName(m_unit->program.functions[k].name));
    }
    std::vector<std::string> bodies;
    AnonymousBodies(bodies);
    // Set only once every function is written: a file that cannot be
    // compiled is left to the interpreter.
    SourceFiles::File &file = m_files->files[m_index];
    file.code = m_out.str();
    file.functions = std::move(names);
    file.anonymous = std::move(bodies);
    file.script = script;
    file.declarations = std::move(doubles);
    m_out.swap(saved);
}

std::string Translator::ScriptStatements() {
    // Its variables are the caller's: always in the frame, by name.
    const Program &p = m_unit->program;
    Scope scope;
    scope.names = &p.names;
    KeepInFrame(scope, p.names.size());
    m_scope = &scope;
    std::ostringstream saved;
    saved.swap(m_out);
    Body(p.statements, false);
    const std::string statements = m_out.str();
    m_out.swap(saved);
    const std::string name = "sc" + std::to_string(m_index);
    Line(0, "// The statements of the script file " + m_file + ", run in its caller's frame.");
    Line(0, "void " + name + "(Runtime &rt) {");
    Line(1, "Scope call(rt);");
    Line(1, "call.Workspace(" + std::to_string(m_index) + ");");
    Guarded(statements);
    if (scope.usesDone) Line(0, "done:;");
    Line(0, "}");
    Line(0, "");
    m_scope = nullptr;
    return name;
}

void Translator::AnonymousBodies(std::vector<std::string> &names) {
    for (std::size_t k = 0; k < m_anonymous.size(); ++k) {
        const Expr &a = *m_anonymous[k];
        const Expr &body = *a.args[0];
        // The call's frame holds the parameters, then the captured values and
        // the other names the body reads.
        Scope scope;
        scope.names = &a.scope;
        KeepInFrame(scope, a.scope.size());
        m_scope = &scope;
        std::string code;
        if (body.kind == Expr::Kind::Name && body.slot >= 0) {
            // As the interpreter evaluates a body for its outputs: a handle
            // named alone is called when none is wanted.
            code = "(!" + Var(body.slot) + ".IsUnset() ? rt.Named(" + VarValue(body.slot) +
                   ", nargout) : " + FunctionCall(body, "nargout") + ")";
        } else if (body.kind == Expr::Kind::Name || body.kind == Expr::Kind::Call) {
            code = CallList(body, "nargout");
        } else {
            code = "Values{" + Expression(body) + "}";
        }
        std::string text = a.text;
        for (char &c : text)
            if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        if (text.size() > 72) text = text.substr(0, 69) + "...";
        while (!text.empty() && text.back() == '\\') text.pop_back();
        names.push_back("an" + (m_index ? std::to_string(m_index) : std::string()) + "_" +
                        std::to_string(k));
        Line(0, "// " + text + "  (" + m_file + ":" + std::to_string(a.line) + ")");
        Line(0, "Values " + names.back() + "(Runtime &rt, unsigned int nargout) {");
        Line(1, "Scope call(rt);");
        Line(1, "return " + code + ";");
        Line(0, "}");
        Line(0, "");
        m_scope = nullptr;
    }
}

}  // namespace build
}  // namespace mtrx
