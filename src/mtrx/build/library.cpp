// src/mtrx/build/library.cpp: `mtrx build --function`: the C++ of a
// function file as a library, its header, its CMake package, and the
// commands that build it.
#include "build/library.h"

#include "build/paths.h"
#include "build/translator.h"

#include "error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace mtrx {

namespace build {

std::string Translator::Library(const std::string &header, const std::string &entries,
                                const std::string &path) {
    const std::string sources =
        Code(false,
             {"// Compiled by mtrx build --function from " + m_file + ": one C++ function per",
              "// function of the file and of the function and script files it calls, each statement",
              "// after a comment with its place and text, and the library's entries,",
              "// declared in " + header + ", at the end."},
             path);
    // The entries' header after the runtime's, which must come first for
    // the compiler to read them precompiled.
    Line(0, "#include \"" + header + "\"");
    Line(0, "");
    Line(0, "namespace {");
    Line(0, "");
    Line(0, "Values LibraryCall(Values args, unsigned int nargout) {");
    Line(1, "static const std::vector<SourceFile> sources = " + sources + ";");
    Line(1, "return Runtime::CallLibrary(sources, " +
                FunctionName(m_unit->program.functions[0].name) + ", std::move(args), nargout);");
    Line(0, "}");
    Line(0, "");
    Line(0, "}  // namespace");
    Line(0, "");
    m_out << entries;
    return m_out.str();
}

}  // namespace build

namespace {

const std::set<std::string> kCxxWords = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break",
    "case", "catch", "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept",
    "const", "consteval", "constexpr", "constinit", "const_cast", "continue", "co_await",
    "co_return", "co_yield", "decltype", "default", "delete", "do", "double", "dynamic_cast",
    "else", "enum", "explicit", "export", "extern", "false", "float", "for", "friend", "goto",
    "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
    "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register",
    "reinterpret_cast", "requires", "return", "short", "signed", "sizeof", "static",
    "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local",
    "throw", "true", "try", "typedef", "typeid", "typename", "union", "unsigned", "using",
    "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq", "main", "kiv"};

// Names the compiled code uses unqualified: an entry of that name would
// hide them.
const std::set<std::string> kRuntimeNames = {
    "mtrx", "Array", "Value", "Values", "Runtime", "Scope", "List", "Loop", "ScalarLoop", "Step",
    "Fill", "Detach", "Error", "LimitError", "Op", "SourceFile", "HUGE_VAL", "NAN",
    "LibraryCall"};

// A name of the language as a C++ name in the header: a C++ keyword, or a
// name the entries give their own parameters, gets a trailing underscore.
std::string CxxName(const std::string &name) {
    return kCxxWords.count(name) || name == "nargout" || name == "inputs" || name == "varargin"
               ? name + "_"
               : name;
}

bool Identifier(const std::string &name) {
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return name.find("__") == std::string::npos;
}

bool MakeFolder(const std::string &dir) {
    std::string path;
    std::stringstream parts(dir);
    std::string part;
    if (!dir.empty() && dir[0] == '/') path = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty()) continue;
        path += part + "/";
        if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
            std::cerr << "mtrx build: cannot make the folder '" << dir << "'\n";
            return false;
        }
    }
    return true;
}

bool Run(const std::string &command, const char *what) {
    if (std::system(command.c_str()) == 0) return true;
    std::cerr << "mtrx build: " << what << " failed: " << command << '\n';
    return false;
}

// The entry points as C++: the header's text and their definitions.
struct Entry {
    std::string header;
    std::string code;
};

std::string Join(const std::vector<std::string> &items, const std::string &separator) {
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) out += (k ? separator : "") + items[k];
    return out;
}

std::string Quoted(const std::vector<std::string> &names) {
    std::vector<std::string> quoted;
    for (const std::string &name : names) quoted.push_back("\"" + name + "\"");
    return "{" + Join(quoted, ", ") + "}";
}

// The fewest inputs the function `f` (its text `body`) can be called with:
// all its named inputs unless it reads nargin or asks whether an input
// exists. A comparison of nargin with a number, narginchk(LO, ...) and
// exist('NAME') bound it; nargin read otherwise allows none.
std::size_t FewestInputs(const Function &f, std::size_t named, std::string body) {
    // Comments out of the way (a % in a quoted format only shortens a line).
    body = std::regex_replace(body, std::regex("%[^\n]*"), "");
    std::size_t fewest = named;
    bool bounded = false;
    const auto bound = [&](long n) {
        bounded = true;
        fewest = std::min<std::size_t>(fewest, n < 0 ? 0 : static_cast<std::size_t>(n));
    };
    const std::regex compared("\\bnargin\\s*(<=|<|==|>=|>)\\s*([0-9]+)");
    for (auto m = std::sregex_iterator(body.begin(), body.end(), compared);
         m != std::sregex_iterator(); ++m) {
        const std::string op = (*m)[1];
        const long n = std::stol((*m)[2]);
        bound(op == "<" || op == ">=" ? n - 1 : n);
    }
    const std::regex checked("\\bnarginchk\\s*\\(\\s*([0-9]+)");
    for (auto m = std::sregex_iterator(body.begin(), body.end(), checked);
         m != std::sregex_iterator(); ++m)
        bound(std::stol((*m)[1]));
    const std::regex exists("\\bexist\\s*\\(\\s*'([A-Za-z_][A-Za-z0-9_]*)'");
    for (auto m = std::sregex_iterator(body.begin(), body.end(), exists);
         m != std::sregex_iterator(); ++m)
        for (std::size_t j = 0; j < named; ++j)
            if (f.params[j] == (*m)[1]) bound(static_cast<long>(j));
    if (!bounded && std::regex_search(body, std::regex("\\bnargin\\b"))) fewest = 0;
    return fewest;
}

Entry Describe(const std::string &name, const std::string &file, const Function &f,
               const std::string &declaration, const std::string &body) {
    const bool varargout = !f.outputs.empty() && f.outputs.back() == "varargout";
    const std::size_t named = f.params.size() - (f.varargin ? 1 : 0);
    const std::size_t outputs = f.outputs.size() - (varargout ? 1 : 0);
    std::vector<std::string> inNames, inCxx, outNames;
    for (std::size_t j = 0; j < named; ++j) {
        inCxx.push_back(f.params[j] == "~" ? "unused" + std::to_string(j + 1) : CxxName(f.params[j]));
        inNames.push_back(f.params[j] == "~" ? inCxx.back() : f.params[j]);
    }
    std::vector<std::string> outCxx;
    for (std::size_t k = 0; k < outputs; ++k) {
        outNames.push_back(f.outputs[k]);
        outCxx.push_back(CxxName(f.outputs[k]));
    }
    const std::size_t fewest = FewestInputs(f, named, body);
    const std::string quotedName = "\"" + name + "\"";
    const std::string structName = name + "_outputs";
    const std::string vector = "std::vector<kiv::matrix::Array>";

    // What each named overload returns, and how.
    std::string type = "void";
    std::string result;
    std::string fields;
    if (varargout) {
        type = vector;
        result = "Runtime::LibraryOutputs(_out, nargout, " + quotedName + ", " + Quoted(outNames) + ")";
    } else if (outputs == 1) {
        type = "kiv::matrix::Array";
        result = "Runtime::LibraryOutput(_out, 0, " + quotedName + ", \"" + outNames[0] + "\")";
    } else if (outputs > 1) {
        type = structName;
        std::vector<std::string> parts;
        for (std::size_t k = 0; k < outputs; ++k) {
            fields += "    kiv::matrix::Array " + outCxx[k] + ";\n";
            parts.push_back("Runtime::LibraryOutput(_out, " + std::to_string(k) + ", " +
                            quotedName + ", \"" + outNames[k] + "\")");
        }
        result = structName + "{" + Join(parts, ", ") + "}";
    }
    const std::string count = varargout ? "nargout" : std::to_string(outputs);

    std::vector<std::string> declarations;
    std::ostringstream code;
    for (std::size_t n = fewest; n <= named + (f.varargin ? 1 : 0); ++n) {
        std::vector<std::string> params;
        if (varargout) params.push_back("unsigned int nargout");
        for (std::size_t j = 0; j < n && j < named; ++j)
            params.push_back("const kiv::matrix::Array &" + inCxx[j]);
        if (n > named) params.push_back("const " + vector + " &varargin");
        const std::string signature = type + " " + name + "(" + Join(params, ", ") + ")";
        declarations.push_back(signature);
        code << signature << " {\n    Values _args;\n";
        for (std::size_t j = 0; j < n && j < named; ++j)
            code << "    _args.push_back(Runtime::LibraryInput(" << inCxx[j] << ", " << quotedName
                 << ", \"" << inNames[j] << "\"));\n";
        if (n > named)
            code << "    Runtime::LibraryInputs(_args, varargin, " << quotedName << ", "
                 << Quoted(inNames) << ");\n";
        if (result.empty()) {
            code << "    LibraryCall(std::move(_args), " << count << ");\n}\n\n";
        } else {
            code << "    const Values _out = LibraryCall(std::move(_args), " << count << ");\n"
                 << "    return " << result << ";\n}\n\n";
        }
    }
    const std::string general = vector + " " + name + "_n(unsigned int nargout, const " + vector +
                                " &inputs)";
    code << general << " {\n    Values _args;\n"
         << "    Runtime::LibraryInputs(_args, inputs, " << quotedName << ", " << Quoted(inNames)
         << ");\n"
         << "    return Runtime::LibraryOutputs(LibraryCall(std::move(_args), nargout), nargout, "
         << quotedName << ", " << Quoted(outNames) << ");\n}\n";

    std::string guard = name + "_MTRX_FUNCTION_H";
    for (char &c : guard) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string call = f.outputs.size() > 1 ? "[" + Join(f.outputs, ", ") + "] = "
                       : f.outputs.empty()  ? ""
                                            : f.outputs[0] + " = ";
    call += name + "(" + Join(f.params, ", ") + ")";
    std::ostringstream h;
    h << "// " << name << ".h: written by mtrx build --function from " << file << ":\n"
      << "//   " << declaration << "\n"
      << "// compiled to C++ over the rul2mtrx library and the mtrx runtime; link\n"
      << "// the CMake target " << name << "::" << name << " (find_package(" << name
      << ")) to call it.\n"
      << "#ifndef " << guard << "\n#define " << guard << "\n\n#include <matrix/array.h>\n\n"
      << "#include <vector>\n\n";
    if (type == structName) {
        h << "/// The outputs of " << name << ", in the function's order, so that\n"
          << "/// `auto [" << Join(outCxx, ", ")
          << "] = " << name << "(...);` takes them all.\n"
          << "struct " << structName << " {\n" << fields << "};\n\n";
    }
    h << "/// Runs " << name << " as the interpreter runs\n"
      << "///   " << call << "\n"
      << "/// with the inputs given (nargin is their count";
    if (fewest < named) h << ";\n/// the overloads take the first " << fewest << " to " << named;
    if (f.varargin) h << ";\n/// the vector's arrays are varargin's cells";
    h << ")\n";
    if (varargout)
        h << "/// and `nargout` outputs requested, returned in order (varargout's cells\n"
          << "/// after the named outputs; none for nargout 0),\n";
    else
        h << "/// and every output requested (nargout " << outputs << "),\n";
    h << "/// with the interpreter's results bit for bit. Inputs and outputs are\n"
      << "/// arrays of any class (a null, moved-from input is an error); an output that\n"
      << "/// is a cell, struct, string or function handle is an error. Function files\n"
      << "/// it calls are looked up when it runs, as the interpreter looks them up:\n"
      << "/// in the folder " << file << " was compiled from, the current folder,\n"
      << "/// then MTRXPATH.\n"
      << "/// Computes in the interpreter's order (kiv::matrix::Order::kFast unless\n"
      << "/// RUL2MTRX_ORDER is set) and restores the calling thread's order after.\n"
      << "/// Calls from several threads run one at a time.\n"
      << "/// Throws kiv::matrix::CFunctionErrorException, whose message (what() in\n"
      << "/// UTF-8) is the interpreter's, for an error raised inside and for an\n"
      << "/// output that is not an array; kiv::CExhaustedMemoryException when storage\n"
      << "/// runs out.\n";
    for (const std::string &d : declarations) h << d << ";\n";
    h << "\n/// Any call: `inputs` in order (nargin inputs.size(), varargin's cells\n"
      << "/// after the named inputs), `nargout` outputs requested, returned in order\n"
      << "/// (none for nargout 0; fewer outputs than the function has are allowed).\n"
      << "/// Counts the function cannot take are the interpreter's errors.\n"
      << general << ";\n\n#endif  // " << guard << "\n";
    return {h.str(), code.str()};
}

// A list for CMake, each item quoted.
std::string CMakeList(const std::vector<std::string> &items, const std::string &indent) {
    std::string out;
    for (const std::string &item : items) out += "\n" + indent + "\"" + item + "\"";
    return out;
}

// What the imported target of the package and the emitted CMakeLists.txt
// both need: the library's headers (the last include folder is the
// library's own; the others hold the runtime's, for the compiled code only),
// the libraries, the build's options.
std::string PublicInclude() { return Paths().includes.back(); }

std::string LinkOptions() {
    std::string out;
    for (const std::string &flag : Paths().flags) out += flag + ";";
    for (const std::string &dir : Paths().rpath) out += "-Wl,-rpath," + dir + ";";
    if (!out.empty()) out.pop_back();
    return out;
}

std::string Targets(const std::string &name) {
    std::string libraries;
    for (const std::string &lib : Paths().libraries) libraries += (libraries.empty() ? "" : ";") + lib;
    return "# Written by mtrx build --function: the imported target " + name + "::" + name +
           ",\n# the compiled function " + name +
           " with the runtime and the library it needs.\n"
           "if(NOT TARGET " + name + "::" + name + ")\n"
           "  add_library(" + name + "::" + name + " STATIC IMPORTED)\n"
           "  set_target_properties(" + name + "::" + name + " PROPERTIES\n"
           "    IMPORTED_LOCATION \"${CMAKE_CURRENT_LIST_DIR}/lib" + name + ".a\"\n"
           "    IMPORTED_LINK_INTERFACE_LANGUAGES CXX\n"
           "    INTERFACE_INCLUDE_DIRECTORIES \"${CMAKE_CURRENT_LIST_DIR};" + PublicInclude() + "\"\n"
           "    INTERFACE_COMPILE_FEATURES cxx_std_17\n"
           "    INTERFACE_LINK_LIBRARIES \"" + libraries + "\"\n"
           "    INTERFACE_LINK_OPTIONS \"" + LinkOptions() + "\")\n"
           "endif()\n";
}

std::string Config(const std::string &name, const std::string &file) {
    return "# Written by mtrx build --function: the package " + name + ", the function\n# of " +
           file + " compiled to C++. Use it with\n"
           "#   find_package(" + name + " REQUIRED PATHS <this folder>)\n"
           "#   target_link_libraries(<program> PRIVATE " + name + "::" + name + ")\n"
           "include(\"${CMAKE_CURRENT_LIST_DIR}/" + name + "Targets.cmake\")\n";
}

std::string EmittedCMakeLists(const std::string &name) {
    std::string options;
    for (const std::string &flag : Paths().flags) options += (options.empty() ? "" : " ") + flag;
    return "# Written by mtrx build --function: the library " + name +
           " over the library and the\n# interpreter's runtime of the build that wrote it.\n"
           "cmake_minimum_required(VERSION 3.16)\n"
           "project(" + name + " CXX)\n"
           "set(MTRX_INCLUDE_DIRS" + CMakeList(Paths().includes, "  ") +
           "\n  CACHE STRING \"The headers of the runtime and the library\")\n"
           "set(MTRX_LIBRARIES" + CMakeList(Paths().libraries, "  ") +
           "\n  CACHE STRING \"The runtime and the library\")\n"
           "add_library(" + name + " STATIC " + name + ".cpp)\n"
           "set_target_properties(" + name + " PROPERTIES POSITION_INDEPENDENT_CODE ON)\n"
           "target_compile_features(" + name + " PUBLIC cxx_std_17)\n"
           "# The library fixes the order of floating-point operations: never fuse them.\n"
           "target_compile_options(" + name + " PRIVATE " + options +
           " -ffp-contract=off -fno-fast-math -w)\n"
           "target_link_options(" + name + " INTERFACE " + options + ")\n"
           "target_include_directories(" + name + " PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} \"" +
           PublicInclude() + "\" PRIVATE ${MTRX_INCLUDE_DIRS})\n"
           "target_link_libraries(" + name + " PUBLIC ${MTRX_LIBRARIES})\n";
}

// Compiles `cpp` (its header in `headers`) to the static library `archive`.
bool Archive(const std::string &cpp, const std::string &headers, const std::string &archive) {
    const BuildPaths &p = Paths();
    const std::string object = cpp.substr(0, cpp.size() - 4) + ".o";
    const std::string rest = CompilerOptions() + " -fPIC -I" + ShellWord(headers) + " -c " +
                             ShellWord(cpp) + " -o " + ShellWord(object);
    // The precompiled headers first, as for a program (command.cpp).
    const std::string precompiled = PrecompiledOptions(true);
    bool ok = !precompiled.empty() &&
              std::system((ShellWord(p.cxx) + precompiled + rest + " 2>/dev/null").c_str()) == 0;
    ok = ok || Run(ShellWord(p.cxx) + rest, "the C++ compiler");
    std::remove(archive.c_str());
    ok = ok && Run(ShellWord(p.ar) + " rcs " + ShellWord(archive) + " " + ShellWord(object),
                   "the archiver");
    std::remove(object.c_str());
    return ok;
}

}  // namespace

int BuildFunction(const std::string &file, const std::string &source, const std::string &dir,
                  const std::string &emit) {
    const std::string name = BaseName(file);
    std::unique_ptr<build::Translator> t;
    try {
        t = std::make_unique<build::Translator>(file, source);
    } catch (const Error &e) {
        std::cerr << "error: " << file << ":" << e.Line() << ": " << e.what() << '\n';
        return 1;
    }
    const Program &p = t->program();
    const auto refuse = [&](const std::string &why, int line) {
        std::cerr << "mtrx build: " << why << " (" << file << ":" << line << ")\n";
        return 1;
    };
    if (p.functions.empty() || !p.statements.empty())
        return refuse("--function needs a function file, and " + file + " is a script",
                      p.statements.empty() ? 1 : p.statements[0].line);
    const Function &f = p.functions[0];
    if (!Identifier(name) || kCxxWords.count(name) || kRuntimeNames.count(name))
        return refuse("--function: '" + name +
                          "' cannot name the C++ function (a C++ keyword, a name of the runtime "
                          "or not a C++ name); rename the file",
                      f.line);
    std::string declaration;
    {
        std::stringstream lines(source);
        for (int k = 0; k < f.line && std::getline(lines, declaration);) ++k;
        const std::size_t start = declaration.find_first_not_of(" \t");
        declaration = start == std::string::npos ? std::string() : declaration.substr(start);
        for (char &c : declaration)
            if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        while (!declaration.empty() && declaration.back() == '\\') declaration.pop_back();
    }
    std::string body;
    {
        // The function's own lines, up to the next function of the file.
        const int last = p.functions.size() > 1 ? p.functions[1].line : 1 << 30;
        std::stringstream lines(source);
        std::string line;
        for (int k = 1; std::getline(lines, line) && k < last; ++k)
            if (k >= f.line) body += line + "\n";
    }
    const Entry entry = Describe(name, file, f, declaration, body);
    std::string cpp;
    try {
        // The file's own folder is searched first for the function files it
        // calls, from wherever the program that links the library runs.
        char *absolute = realpath(file.c_str(), nullptr);
        const std::string path = absolute ? absolute : file;
        std::free(absolute);
        cpp = t->Library(name + ".h", entry.code, path);
    } catch (const BuildError &e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    if (!emit.empty()) {
        return MakeFolder(emit) && Write(emit + "/" + name + ".cpp", cpp) &&
                       Write(emit + "/" + name + ".h", entry.header) &&
                       Write(emit + "/CMakeLists.txt", EmittedCMakeLists(name))
                   ? 0
                   : 1;
    }
    const std::string out = dir.empty() ? name : dir;
    if (!MakeFolder(out) || !Write(out + "/" + name + ".h", entry.header)) return 1;
    char folder[] = "/tmp/mtrx-build-XXXXXX";
    if (!mkdtemp(folder)) {
        std::cerr << "mtrx build: cannot make a temporary folder\n";
        return 1;
    }
    const std::string cppPath = std::string(folder) + "/" + name + ".cpp";
    const bool ok = Write(cppPath, cpp) && Archive(cppPath, out, out + "/lib" + name + ".a") &&
                    Write(out + "/" + name + "Targets.cmake", Targets(name)) &&
                    Write(out + "/" + name + "Config.cmake", Config(name, file));
    std::remove(cppPath.c_str());
    rmdir(folder);
    return ok ? 0 : 1;
}

}  // namespace mtrx
