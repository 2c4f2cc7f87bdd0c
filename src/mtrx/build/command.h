// src/mtrx/build/command.h: `mtrx build`, compiling a program to a native one.
#ifndef MTRX_BUILD_COMMAND_H
#define MTRX_BUILD_COMMAND_H

namespace mtrx {

/// Runs `mtrx build` with the words after "build": translates the program,
/// then compiles it with the system's C++ compiler against this build of
/// the library and interpreter (or writes the C++ and a CMakeLists.txt).
/// Returns the command's exit status; messages go to standard error.
int BuildCommand(int argc, char **argv);

}  // namespace mtrx

#endif  // MTRX_BUILD_COMMAND_H
