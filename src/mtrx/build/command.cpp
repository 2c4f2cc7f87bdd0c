// src/mtrx/build/command.cpp: the `mtrx build` command line.
#include "build/command.h"

#include "build/library.h"
#include "build/paths.h"
#include "build/translate.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace mtrx {

namespace {

const char kBuildUsage[] =
    "Usage: mtrx build PROGRAM.mtrx [-o NAME] [--emit-cpp DIR]\n"
    "       mtrx build --function NAME.mtrx [-o DIR] [--emit-cpp DIR]\n"
    "Compiles the script PROGRAM.mtrx, its local functions and the function\n"
    "and script files it calls to a native program NAME (by default PROGRAM) that\n"
    "behaves as `mtrx PROGRAM.mtrx`: the same output, errors and exit status.\n"
    "Built-ins run through the interpreter's own routines.\n"
    "\n"
    "  -o NAME         the program to write\n"
    "  --emit-cpp DIR  write DIR/NAME.cpp and DIR/CMakeLists.txt instead\n"
    "\n"
    "With --function, the function file NAME.mtrx becomes a C++ library in\n"
    "DIR (by default NAME): libNAME.a, the header NAME.h declaring\n"
    "kiv::matrix::Array NAME(const kiv::matrix::Array &, ...) (an overload per\n"
    "count of inputs it can take, a vector for varargin, and NAME_n for any\n"
    "inputs and outputs), and the CMake\n"
    "package NAMEConfig.cmake, so that a C++ program calls it after\n"
    "find_package(NAME REQUIRED PATHS DIR) and\n"
    "target_link_libraries(PROGRAM PRIVATE NAME::NAME). --emit-cpp DIR writes\n"
    "NAME.cpp, NAME.h and a CMakeLists.txt that builds the library instead.\n"
    "\n"
    "The compiler is $CXX, else the one that built mtrx; always -O2\n"
    "-std=c++17 -ffp-contract=off, so floating-point operations are never\n"
    "fused or reordered.\n";

std::string CMakeLists(const std::string &name) {
    std::string includes;
    for (const std::string &dir : Paths().includes) includes += "\n  \"" + dir + "\"";
    std::string libraries;
    for (const std::string &lib : Paths().libraries) libraries += "\n  \"" + lib + "\"";
    // The build's own options: its sanitizers must link with the runtime's.
    std::string options;
    for (const std::string &flag : Paths().flags) options += (options.empty() ? "" : " ") + flag;
    return "# Written by mtrx build: the program " + name +
           " over the library and the interpreter's\n"
           "# runtime of the build that wrote it.\n"
           "cmake_minimum_required(VERSION 3.16)\n"
           "project(" + name + " CXX)\n"
           "set(MTRX_INCLUDE_DIRS" + includes + "\n  CACHE STRING \"The headers of the library and the runtime\")\n"
           "set(MTRX_LIBRARIES" + libraries + "\n  CACHE STRING \"The runtime and the library\")\n"
           "add_executable(" + name + " " + name + ".cpp)\n"
           "target_compile_features(" + name + " PRIVATE cxx_std_17)\n"
           "# The library fixes the order of floating-point operations: never fuse them.\n"
           "target_compile_options(" + name + " PRIVATE " + options + " -ffp-contract=off -fno-fast-math -w)\n"
           "target_link_options(" + name + " PRIVATE " + options + ")\n"
           "target_include_directories(" + name + " PRIVATE ${MTRX_INCLUDE_DIRS})\n"
           "target_link_libraries(" + name + " PRIVATE ${MTRX_LIBRARIES})\n";
}

// Runs the compiler on `cpp` for the program `out`; its status.
int Compile(const std::string &cpp, const std::string &out) {
    std::string rest = CompilerOptions() + " " + ShellWord(cpp) + " -o " + ShellWord(out);
    for (const std::string &lib : Paths().libraries) rest += " " + ShellWord(lib);
    for (const std::string &dir : Paths().rpath) rest += " -Wl,-rpath," + ShellWord(dir);
    const std::string command = ShellWord(Paths().cxx) + rest;
    // The precompiled headers first; clang refuses them outright when a
    // header has changed since, and the headers themselves are read then.
    const std::string precompiled = PrecompiledOptions();
    if (!precompiled.empty() &&
        std::system((ShellWord(Paths().cxx) + precompiled + rest + " 2>/dev/null").c_str()) == 0)
        return 0;
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::cerr << "mtrx build: the C++ compiler failed: " << command << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int BuildCommand(int argc, char **argv) {
    std::string program;
    std::string name;
    std::string emit;
    bool function = false;
    for (int k = 0; k < argc; ++k) {
        const std::string word = argv[k];
        if (word == "--function") {
            function = true;
        } else if ((word == "-o" || word == "--emit-cpp") && k + 1 < argc) {
            (word == "-o" ? name : emit) = argv[++k];
        } else if (word == "--precompile-header" && k + 1 < argc && argc == 2) {
            // The build's own step (src/mtrx/CMakeLists.txt), not for users.
            return PrecompileHeaders(argv[k + 1]);
        } else if (word == "--help" || word == "-h") {
            std::cout << kBuildUsage;
            return 0;
        } else if (program.empty() && !word.empty() && word[0] != '-') {
            program = word;
        } else {
            std::cerr << kBuildUsage;
            return 2;
        }
    }
    if (program.empty()) {
        std::cerr << kBuildUsage;
        return 2;
    }
    std::ifstream file(program, std::ios::binary);
    if (!file) {
        std::cerr << "mtrx build: cannot open '" << program << "'\n";
        return 1;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (function) return BuildFunction(program, text.str(), name, emit);
    std::string cpp;
    try {
        cpp = Translate(program, text.str());
    } catch (const BuildError &e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    if (name.empty()) name = BaseName(program);
    if (!emit.empty()) {
        const std::string base = BaseName(name);
        return Write(emit + "/" + base + ".cpp", cpp) &&
                       Write(emit + "/CMakeLists.txt", CMakeLists(base))
                   ? 0
                   : 1;
    }
    char folder[] = "/tmp/mtrx-build-XXXXXX";
    if (!mkdtemp(folder)) {
        std::cerr << "mtrx build: cannot make a temporary folder\n";
        return 1;
    }
    const std::string source = std::string(folder) + "/" + BaseName(name) + ".cpp";
    int status = Write(source, cpp) ? Compile(source, name) : 1;
    std::remove(source.c_str());
    rmdir(folder);
    return status;
}

}  // namespace mtrx
