// src/mtrx/resolver.h: gives every variable of a parsed program a slot and
// every call a site number, once, before the program runs.
#ifndef MTRX_RESOLVER_H
#define MTRX_RESOLVER_H

#include "parser.h"

namespace mtrx {

/// Fills in the slots of `program`: each function's names (its parameters
/// first, then its outputs, then every other name in order of appearance),
/// the script statements' names (Program::names), the scopes of anonymous
/// functions, and a call site number, unique in the process, on every name
/// that may call a function. A name that turns out to be a function keeps
/// its slot, which then stays unset.
void ResolveProgram(Program &program);

}  // namespace mtrx

#endif  // MTRX_RESOLVER_H
