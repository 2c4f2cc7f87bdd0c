// src/mtrx/build/paths.h: where `mtrx build` finds the compiler, the
// headers and the libraries a compiled program needs.
#ifndef MTRX_BUILD_PATHS_H
#define MTRX_BUILD_PATHS_H

#include <string>
#include <vector>

namespace mtrx {

struct BuildPaths {
    std::string cxx;                     // $CXX, else the compiler that built mtrx
    std::string ar;                      // the archiver of static libraries
    std::vector<std::string> includes;   // the library's and the runtime's headers
    std::vector<std::string> libraries;  // the runtime first, in link order
    std::vector<std::string> rpath;      // where the shared libraries are found
    std::vector<std::string> flags;      // the build's options (its sanitizers), no warnings
    bool installed = false;
};

/// The paths of the installed tree this mtrx runs from (PREFIX/bin/mtrx,
/// with the runtime's headers in PREFIX/include/mtrx), else those of the
/// build tree that built it.
const BuildPaths &Paths();

/// The compiler's options for the C++ of a program, before the source: its
/// optimisation, the build's flags, never fused floating-point operations,
/// no warnings, the include folders.
std::string CompilerOptions();

/// The options that make the compiler read the runtime's headers
/// precompiled (precompiled.cpp), when the build tree holds them for this
/// compiler; none otherwise. `pic`: for CompilerOptions() -fPIC.
std::string PrecompiledOptions(bool pic = false);
/// `mtrx build --precompile-header DIR`: the runtime's headers, as the
/// generated C++ includes them first, precompiled into DIR by the compiler
/// that built mtrx, with CompilerOptions(), and into DIR/pic with -fPIC
/// too. Returns the exit status.
int PrecompileHeaders(const std::string &dir);

/// The words of a ';'-separated list, empty ones left out.
std::vector<std::string> SplitList(const std::string &list);
/// A word for the shell, quoted.
std::string ShellWord(const std::string &word);
/// The file name of `path` without its folder and its extension.
std::string BaseName(const std::string &path);
/// Writes `text` to the file `path`; false, with a message naming the
/// file, when it cannot.
bool Write(const std::string &path, const std::string &text);

}  // namespace mtrx

#endif  // MTRX_BUILD_PATHS_H
