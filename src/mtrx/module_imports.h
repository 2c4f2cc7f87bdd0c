// src/mtrx/module_imports.h: what the modules (modules.h) take from the
// interpreter, handed to them as a table of functions when they are loaded,
// so that they load in any program: one that exports none of its symbols,
// or a library that links the runtime statically into a host of its own.
#ifndef MTRX_MODULE_IMPORTS_H
#define MTRX_MODULE_IMPORTS_H

#include "value.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace mtrx {

class Evaluator;
struct BuiltinCall;

/// The interpreter's functions a module calls, each standing for the
/// function of the same name (a constructor of Value for the from*).
/// `size` is sizeof(ModuleImports) of the program, so that a module of
/// another build is refused rather than misread.
struct ModuleImports {
    std::size_t size;
    Value (*fromArray)(Array);
    Value (*fromCell)(CellArray);
    Value (*fromStruct)(StructArray);
    Value (*fromString)(StringArray);
    Value (*fromHandle)(std::shared_ptr<const Handle>);
    const Array &(*array)(const Value &);
    std::size_t (*count)(const Dims &);
    std::shared_ptr<const Unit> (*compile)(const std::string &, const std::string &);
    Array (*charRows)(const std::vector<std::string> &);
    Value (*evaluateHere)(Evaluator &, const std::shared_ptr<const Unit> &);
    std::vector<bool> (*selectedVariables)(const std::vector<std::string> &,
                                           const std::vector<std::string> &, BuiltinCall &,
                                           const std::string &, const std::string &);
    std::vector<double> (*niceTicks)(double, double, int);
    void (*niceLimits)(double &, double &);
};

}  // namespace mtrx

/// Every module's first entry, called once by the loader before the
/// module's own: the table it calls the interpreter through (kept for the
/// life of the process). False when the table is not of this build.
extern "C" __attribute__((visibility("default"))) bool mtrx_module_imports(
    const mtrx::ModuleImports *imports);

#endif  // MTRX_MODULE_IMPORTS_H
