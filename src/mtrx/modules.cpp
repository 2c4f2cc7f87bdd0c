// src/mtrx/modules.cpp: finds and loads the modules of optional libraries.
#include "modules.h"

#include "error.h"
#include "evaluator.h"
#include "lib/support.h"
#include "lib/workspace_files.h"
#include "module_imports.h"
#include "plot/figure.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

namespace mtrx {

namespace {

struct ModuleFile {
    const char *file;
    const char *entry;
};

constexpr ModuleFile kModules[] = {
    {"mtrx_hdf5.so", "mtrx_hdf5_module"},
    {"mtrx_plplot.so", "mtrx_plplot_module"},
};

// The folder of the shared library librul2mtrx as the loader found it (the
// build tree's or an installed prefix's lib folder); empty when the library
// is linked statically.
std::string LibraryFolder() {
    std::string found;
    dl_iterate_phdr(
        [](dl_phdr_info *info, std::size_t, void *out) {
            const char *name = info->dlpi_name;
            const char *slash = name ? std::strrchr(name, '/') : nullptr;
            if (slash == nullptr || std::strncmp(slash, "/librul2mtrx.so", 15) != 0) return 0;
            *static_cast<std::string *>(out) = std::string(name, slash);
            return 1;
        },
        &found);
    return found;
}

// Without the shared library: the folder of the program, or its ../lib.
std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string exe(path, static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : exe.substr(0, slash);
    const std::string lib = folder + "/../lib";
    return access((lib + "/mtrx").c_str(), F_OK) == 0 ? lib : folder;
}

// The interpreter's side of every module's imports.
const ModuleImports kImports = {
    sizeof(ModuleImports),
    [](Array a) { return Value(std::move(a)); },
    [](CellArray c) { return Value(std::move(c)); },
    [](StructArray s) { return Value(std::move(s)); },
    [](StringArray s) { return Value(std::move(s)); },
    [](std::shared_ptr<const Handle> h) { return Value(std::move(h)); },
    [](const Value &v) -> const Array & { return v.array(); },
    Count,
    Compile,
    CharRows,
    [](Evaluator &e, const std::shared_ptr<const Unit> &unit) { return e.EvaluateHere(unit); },
    SelectedVariables,
    plot::NiceTicks,
    plot::NiceLimits,
};

std::string Named(const std::string &who) { return who.empty() ? who : "'" + who + "': "; }

}  // namespace

std::string ModulePath(Module module) {
    std::string folder = LibraryFolder();
    if (folder.empty()) folder = ProgramFolder();
    return folder + "/mtrx/" + kModules[static_cast<int>(module)].file;
}

const void *LoadModule(Module module, const std::string &who, const std::string &what) {
    static std::mutex lock;
    static const void *loaded[std::size(kModules)] = {};
    const int k = static_cast<int>(module);
    const std::lock_guard<std::mutex> hold(lock);
    if (loaded[k] != nullptr) return loaded[k];
    const std::string path = ModulePath(module);
    // Never closed: its functions and the libraries under it stay in use
    // (HDF5 and the drawing libraries keep process-wide state).
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *error = dlerror();
        std::string reason = error ? error : "unknown reason";
        if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
        throw Error(Named(who) + what + " (cannot load '" + path + "': " + reason + ")");
    }
    // Every entry is extern "C" const void *NAME(void), called once the
    // module has the interpreter's functions.
    using Entry = const void *(*)();
    using Imports = bool (*)(const ModuleImports *);
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, kModules[k].entry));
    const auto imports = reinterpret_cast<Imports>(dlsym(handle, "mtrx_module_imports"));
    if (entry == nullptr || imports == nullptr || !imports(&kImports)) {
        dlclose(handle);
        throw Error(Named(who) + what + " ('" + path + "' is not a module of this mtrx)");
    }
    loaded[k] = entry();
    return loaded[k];
}

}  // namespace mtrx
