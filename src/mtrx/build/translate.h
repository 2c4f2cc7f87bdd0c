// src/mtrx/build/translate.h: a program of the language as C++ over the
// runtime (runtime/runtime.h).
#ifndef MTRX_BUILD_TRANSLATE_H
#define MTRX_BUILD_TRANSLATE_H

#include <stdexcept>
#include <string>

namespace mtrx {

/// A program that cannot be compiled: the message names the construct and
/// its place, "mtrx build: ... (FILE:LINE)".
class BuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The C++ of the script `file` (its text `source`) and its local
/// functions: one C++ function per function, each statement preceded by a
/// comment with its place and text, and a main that runs the script as
/// `mtrx FILE` does. Function files and built-ins it calls run through the
/// interpreter's registry. Throws BuildError for a construct not translated
/// yet and for a syntax error.
std::string Translate(const std::string &file, const std::string &source);

}  // namespace mtrx

#endif  // MTRX_BUILD_TRANSLATE_H
