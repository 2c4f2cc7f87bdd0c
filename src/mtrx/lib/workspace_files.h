// src/mtrx/lib/workspace_files.h: save and load of variables of every class
// in HDF5 workspace files (the layout: docs/hdf5-layout.md).
#ifndef MTRX_LIB_WORKSPACE_FILES_H
#define MTRX_LIB_WORKSPACE_FILES_H

#include "lib/support.h"

#include <string>
#include <utility>
#include <vector>

namespace mtrx {

/// Variables by name, in the order of their file.
using NamedValues = std::vector<std::pair<std::string, Value>>;

/// True when load's arguments ask for a workspace file: no -ascii, and
/// -mat, or a file named without an extension or with .mat, or a file that
/// starts with the HDF5 signature.
bool LoadsWorkspace(const Args &args);

/// load FILE [names...], S = load(FILE, names...): the variables of a
/// workspace file (names may hold '*'), into the workspace or as the fields
/// of a struct. Throws mtrx::Error naming load and the file for a missing,
/// damaged or foreign file and for a named variable the file lacks.
Outs LoadWorkspace(const Args &args, BuiltinCall &c);

/// save FILE [names...] [-append] [-struct S [fields...]]: writes the
/// variables to a new HDF5 file put in place by a rename, so that a failed
/// save leaves the old file whole; -append adds them to a copy of the old
/// file (a variable of the same name replaced).
Outs SaveWorkspace(const Args &args, BuiltinCall &c);

/// The variables of the workspace file `file` (".mat" added to a name
/// without an extension) whose names match one of `patterns` (all when
/// empty), for whos -file. Throws as load does, naming `who`.
NamedValues ReadWorkspaceFile(const std::string &file, const std::vector<std::string> &patterns,
                              BuiltinCall &c, const std::string &who);

/// Which of `names` the patterns select (all when there is none). A plain
/// name missing from `names` is an error naming `who`; a pattern that
/// matches nothing only warns. `missing` ends both messages (" in 'f.mat'").
std::vector<bool> SelectedVariables(const std::vector<std::string> &names,
                                    const std::vector<std::string> &patterns, BuiltinCall &c,
                                    const std::string &who, const std::string &missing);

/// The HDF5 side of workspace files (lib/workspace_hdf5.cpp): `read` gives
/// the variables of the file `path` that `patterns` select, in its order;
/// `write` writes `values` to `path` (added to a copy of it with `append`)
/// through a temporary file renamed over it. Both throw mtrx::Error naming
/// `who` (save for write) and the file.
struct WorkspaceModule {
    NamedValues (*read)(const std::string &who, const std::string &path,
                        const std::vector<std::string> &patterns, BuiltinCall &c);
    void (*write)(const std::string &path, const NamedValues &values, bool append, BuiltinCall &c);
};

}  // namespace mtrx

/// The entry of the HDF5 module: its mtrx::WorkspaceModule, which lives as
/// long as the process. Exported: the interpreter finds it with dlsym.
extern "C" __attribute__((visibility("default"))) const void *mtrx_hdf5_module();

#endif  // MTRX_LIB_WORKSPACE_FILES_H
