// src/mtrx/build/paths.cpp: the build tree's paths, or the installed tree's
// found from the running command's own place.
#include "build/paths.h"

#include "build_paths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace mtrx {

namespace {

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// The prefix this mtrx is installed in: the folder above its own
// MTRX_INSTALL_BINDIR, when the runtime's headers are installed there.
std::string InstalledPrefix() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return std::string();
    std::string dir(exe, static_cast<std::size_t>(n));
    dir.resize(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
    std::string bindir = MTRX_INSTALL_BINDIR;
    while (!bindir.empty() && bindir.back() == '/') bindir.pop_back();
    if (bindir.empty() || bindir[0] == '/') return std::string();
    // One folder up per component of the bin folder.
    std::string prefix = dir;
    std::stringstream parts(bindir);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == ".") continue;
        const std::size_t slash = prefix.rfind('/');
        if (slash == std::string::npos) return std::string();
        prefix.resize(slash);
    }
    const std::vector<std::string> includes = SplitList(MTRX_INSTALL_INCLUDE_DIRS);
    if (includes.empty() || !Exists(prefix + "/" + includes[0] + "/runtime/runtime.h"))
        return std::string();
    return prefix.empty() ? std::string("/") : prefix;
}

// Relative entries of `list` below `prefix`; absolute ones (the system's
// libraries) and flags (-pthread) as they are.
std::vector<std::string> Below(const std::string &prefix, const std::string &list) {
    std::vector<std::string> out;
    for (const std::string &item : SplitList(list))
        out.push_back(item[0] == '/' || item[0] == '-' || prefix.empty() ? item : prefix + "/" + item);
    return out;
}

BuildPaths Find() {
    BuildPaths p;
    const char *cxx = std::getenv("CXX");
    p.cxx = cxx && *cxx ? cxx : MTRX_BUILD_CXX;
    p.ar = MTRX_BUILD_AR;
    if (!Exists(p.ar)) p.ar = "ar";
    for (const std::string &flag : SplitList(MTRX_BUILD_FLAGS))
        if (flag.rfind("-W", 0) != 0) p.flags.push_back(flag);
    const std::string prefix = InstalledPrefix();
    if (!prefix.empty()) {
        p.installed = true;
        p.includes = Below(prefix, MTRX_INSTALL_INCLUDE_DIRS);
        p.libraries = Below(prefix, MTRX_INSTALL_LIBRARIES);
        p.rpath = Below(prefix, MTRX_INSTALL_RPATH);
    } else {
        p.includes = SplitList(MTRX_BUILD_INCLUDE_DIRS);
        p.libraries = SplitList(MTRX_BUILD_LIBRARIES);
        p.rpath = SplitList(MTRX_BUILD_RPATH);
    }
    return p;
}

}  // namespace

const BuildPaths &Paths() {
    static const BuildPaths paths = Find();
    return paths;
}

std::string CompilerOptions() {
    std::string options = " -O2 -std=c++17";
    for (const std::string &flag : Paths().flags) options += " " + ShellWord(flag);
    // The generated code is not held to the project's warnings.
    options += " -ffp-contract=off -fno-fast-math -w";
    // -pthread, given with the libraries, changes the compilation too (it
    // defines _REENTRANT): the precompiled headers must be made with it.
    for (const std::string &lib : Paths().libraries)
        if (lib == "-pthread") options += " -pthread";
    for (const std::string &dir : Paths().includes) options += " -I" + ShellWord(dir);
    return options;
}

std::vector<std::string> SplitList(const std::string &list) {
    std::vector<std::string> out;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ';'))
        if (!item.empty()) out.push_back(item);
    return out;
}

std::string ShellWord(const std::string &word) {
    std::string out = "'";
    for (const char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string BaseName(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

bool Write(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "mtrx build: cannot write '" << path << "'\n";
        return false;
    }
    return true;
}

}  // namespace mtrx
