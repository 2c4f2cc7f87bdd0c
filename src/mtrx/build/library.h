// src/mtrx/build/library.h: `mtrx build --function`, a function file as a
// C++ library with a header and a CMake package.
#ifndef MTRX_BUILD_LIBRARY_H
#define MTRX_BUILD_LIBRARY_H

#include <string>

namespace mtrx {

/// Compiles the function file `file` (its text `source`) into the folder
/// `dir` (empty: the file's base name): libNAME.a, NAME.h and the CMake
/// package NAMEConfig.cmake with NAMETargets.cmake, NAME the file's base
/// name. With `emit`, writes NAME.cpp, NAME.h and a CMakeLists.txt that
/// builds the library there instead. Returns the exit status; messages go
/// to standard error.
int BuildFunction(const std::string &file, const std::string &source, const std::string &dir,
                  const std::string &emit);

}  // namespace mtrx

#endif  // MTRX_BUILD_LIBRARY_H
