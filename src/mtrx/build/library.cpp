// src/mtrx/build/library.cpp: `mtrx build --function`: the C++ of a
// function file as a library, its header, its CMake package, and the
// commands that build it.
#include "build/library.h"

#include "build/paths.h"
#include "build/translator.h"

#include "error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace mtrx {

namespace build {

std::string Translator::Library(const std::string &header, const std::string &signature,
                                const std::string &args, unsigned int nargout,
                                const std::string &result, const std::string &path) {
    const std::string sources =
        Code(false,
             {"// Compiled by mtrx build --function from " + m_file + ": one C++ function per",
              "// function of the file and of the function files it calls, each statement",
              "// after a comment with its place and text, and the library's entry,",
              "// declared in " + header + ", at the end.",
              "#include \"" + header + "\"", ""},
             path);
    Line(0, signature + " {");
    Line(1, "static const std::vector<SourceFile> sources = " + sources + ";");
    const std::string call = "Runtime::CallLibrary(sources, " +
                             FunctionName(m_unit->program.functions[0].name) + ", Values{" + args +
                             "}, " + std::to_string(nargout) + ")";
    if (result.empty()) {
        Line(1, call + ";");
    } else {
        Line(1, "const Values out = " + call + ";");
        Line(1, "return " + result + ";");
    }
    Line(0, "}");
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
    "Fill", "Detach", "Error", "LimitError", "Op", "SourceFile", "HUGE_VAL", "NAN"};

// A name of the language as a C++ name in the header: a C++ keyword gets
// a trailing underscore.
std::string CxxName(const std::string &name) {
    return kCxxWords.count(name) ? name + "_" : name;
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

// The entry as C++: the header's text, and what the translator needs to
// write its body.
struct Entry {
    std::string header;
    std::string signature;
    std::string args;
    std::string result;
    unsigned int nargout = 0;
};

Entry Describe(const std::string &name, const std::string &file, const Function &f,
               const std::string &declaration) {
    Entry e;
    std::string params;
    for (std::size_t j = 0; j < f.params.size(); ++j) {
        const std::string param =
            f.params[j] == "~" ? "unused" + std::to_string(j + 1) : CxxName(f.params[j]);
        params += std::string(j ? ", " : "") + "const kiv::matrix::Array &" + param;
        e.args += std::string(j ? ", " : "") + "Runtime::LibraryInput(" + param + ", \"" + name +
                  "\", \"" + (f.params[j] == "~" ? param : f.params[j]) + "\")";
    }
    e.nargout = static_cast<unsigned int>(f.outputs.size());
    const std::string outputs = name + "_outputs";
    std::string type = "void";
    std::string fields;
    if (f.outputs.size() == 1) {
        type = "kiv::matrix::Array";
        e.result = "Runtime::LibraryOutput(out, 0, \"" + name + "\", \"" + f.outputs[0] + "\")";
    } else if (f.outputs.size() > 1) {
        type = outputs;
        e.result = outputs + "{";
        for (std::size_t k = 0; k < f.outputs.size(); ++k) {
            fields += "    kiv::matrix::Array " + CxxName(f.outputs[k]) + ";\n";
            e.result += std::string(k ? ", " : "") + "Runtime::LibraryOutput(out, " +
                        std::to_string(k) + ", \"" + name + "\", \"" + f.outputs[k] + "\")";
        }
        e.result += "}";
    }
    e.signature = type + " " + name + "(" + params + ")";
    std::string guard = name + "_MTRX_FUNCTION_H";
    for (char &c : guard) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string call = f.outputs.size() > 1 ? "[" : "";
    for (std::size_t k = 0; k < f.outputs.size(); ++k) call += (k ? ", " : "") + f.outputs[k];
    call += f.outputs.size() > 1 ? "] = " : f.outputs.empty() ? "" : " = ";
    std::string given;
    for (std::size_t j = 0; j < f.params.size(); ++j) given += (j ? ", " : "") + f.params[j];
    call += name + "(" + given + ")";
    std::ostringstream h;
    h << "// " << name << ".h: written by mtrx build --function from " << file << ":\n"
      << "//   " << declaration << "\n"
      << "// compiled to C++ over the rul2mtrx library and the mtrx runtime; link\n"
      << "// the CMake target " << name << "::" << name << " (find_package(" << name
      << ")) to call it.\n"
      << "#ifndef " << guard << "\n#define " << guard << "\n\n#include <matrix/array.h>\n\n";
    if (f.outputs.size() > 1) {
        h << "/// The outputs of " << name << ", in the function's order, so that\n"
          << "/// `auto [" << CxxName(f.outputs[0]);
        for (std::size_t k = 1; k < f.outputs.size(); ++k) h << ", " << CxxName(f.outputs[k]);
        h << "] = " << name << "(...);` takes them all.\n"
          << "struct " << outputs << " {\n" << fields << "};\n\n";
    }
    h << "/// Runs " << name << " as the interpreter runs\n"
      << "///   " << call << "\n"
      << "/// every input given (nargin " << f.params.size() << ") and every output requested (nargout "
      << f.outputs.size() << "),\n"
      << "/// with the interpreter's results bit for bit. Inputs and outputs are\n"
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
      << "/// runs out.\n"
      << e.signature << ";\n\n#endif  // " << guard << "\n";
    e.header = h.str();
    return e;
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
    std::string command = ShellWord(p.cxx) + " -O2 -std=c++17 -fPIC";
    for (const std::string &flag : p.flags) command += " " + ShellWord(flag);
    // The generated code is not held to the project's warnings.
    command += " -ffp-contract=off -fno-fast-math -w -I" + ShellWord(headers);
    for (const std::string &dir : p.includes) command += " -I" + ShellWord(dir);
    command += " -c " + ShellWord(cpp) + " -o " + ShellWord(object);
    bool ok = Run(command, "the C++ compiler");
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
    if (f.varargin || (!f.outputs.empty() && f.outputs.back() == "varargout"))
        return refuse("--function: '" + name +
                          "' takes varargin or gives varargout; a C++ function has fixed "
                          "inputs and outputs",
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
    const Entry entry = Describe(name, file, f, declaration);
    std::string cpp;
    try {
        // The file's own folder is searched first for the function files it
        // calls, from wherever the program that links the library runs.
        char *absolute = realpath(file.c_str(), nullptr);
        const std::string path = absolute ? absolute : file;
        std::free(absolute);
        cpp = t->Library(name + ".h", entry.signature, entry.args, entry.nargout, entry.result,
                         path);
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
