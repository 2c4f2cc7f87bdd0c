// src/mtrx/modules.h: optional libraries that mtrx and compiled programs load
// on first use. HDF5 and PLplot bring some forty shared libraries between
// them; linked into the program, the loader would map and relocate them all
// before any script runs. Each lives instead in a module (a shared object
// beside the library, in its folder mtrx/) that calls the interpreter through
// a table handed to it at load (module_imports.h), so that the program need
// export nothing.
#ifndef MTRX_MODULES_H
#define MTRX_MODULES_H

#include <string>

namespace mtrx {

enum class Module {
    kHdf5,    // mtrx_hdf5.so: workspace files (extern "C" mtrx_hdf5_module)
    kPlplot,  // mtrx_plplot.so: pictures of figures (extern "C" mtrx_plplot_module)
};

/// The table of entry points of `module`, loaded the first time it is asked
/// for and kept for the life of the process (thread-safe). Throws
/// mtrx::Error "'WHO': WHAT (cannot load 'PATH': REASON)" (without "'WHO': "
/// when `who` is empty) when the module or one of its libraries is missing;
/// nothing is kept then, and the next call tries again.
const void *LoadModule(Module module, const std::string &who, const std::string &what);

/// The file `module` is loaded from.
std::string ModulePath(Module module);

}  // namespace mtrx

#endif  // MTRX_MODULES_H
