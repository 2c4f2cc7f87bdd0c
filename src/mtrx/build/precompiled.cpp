// src/mtrx/build/precompiled.cpp: the runtime's headers precompiled for the
// C++ that `mtrx build` writes, which includes them first. Reading them
// precompiled saves about a third of a second of every build; the object
// code is the same. Only the build tree holds them, made by the compiler
// that built mtrx with the options of every build, and once more with
// -fPIC below pic/ for the libraries of `mtrx build --function`: GCC finds
// runtime/runtime.h.gch ahead of the header on the include path and passes
// over it when it does not fit the compilation; clang reads runtime.pch
// when told to (-include-pch).
#include "build/paths.h"

#include "build_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace mtrx {

namespace {

const char kHeaders[] =
    "// The headers the C++ of a compiled program includes first.\n"
    "#include \"runtime/runtime.h\"\n"
    "#include \"error.h\"\n"
    "\n"
    "#include <cmath>\n";

bool Clang() { return std::string(MTRX_BUILD_CXX_ID).find("Clang") != std::string::npos; }

// The file the compiler reads below `dir`.
std::string PrecompiledFile(const std::string &dir) {
    return dir + (Clang() ? "/runtime.pch" : "/runtime/runtime.h.gch");
}

// The build tree's folder of them: pch/ beside the running mtrx.
std::string Folder() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return std::string();
    const std::string path(exe, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash) + "/pch";
}

}  // namespace

std::string PrecompiledOptions(bool pic) {
    const BuildPaths &p = Paths();
    if (p.installed || p.cxx != MTRX_BUILD_CXX) return std::string();
    std::string dir = Folder();
    if (dir.empty()) return std::string();
    if (pic) dir += "/pic";
    if (access(PrecompiledFile(dir).c_str(), R_OK) != 0) return std::string();
    // The headers are precompiled after mtrx is linked; a file older than
    // the running mtrx may hold headers since changed (building only the
    // mtrx target leaves it), and GCC would take it without looking at
    // them: the headers are read instead.
    struct stat made {}, self {};
    if (stat(PrecompiledFile(dir).c_str(), &made) == 0 && stat("/proc/self/exe", &self) == 0 &&
        made.st_mtime < self.st_mtime)
        return std::string();
    return Clang() ? " -include-pch " + ShellWord(PrecompiledFile(dir)) : " -I" + ShellWord(dir);
}

namespace {

// The headers precompiled into `dir` with CompilerOptions() and `extra`.
int Precompile(const std::string &dir, const std::string &extra) {
    const std::string header = dir + "/runtime_headers.h";
    const std::string out = PrecompiledFile(dir);
    if (std::system(("mkdir -p " + ShellWord(dir + "/runtime")).c_str()) != 0 ||
        !Write(header, kHeaders))
        return 1;
    // Written beside and moved in place, so that a build running meanwhile
    // reads the old file or the new one, never a part.
    const std::string part = out + ".part";
    const std::string command = ShellWord(MTRX_BUILD_CXX) + CompilerOptions() + extra +
                                " -x c++-header " + ShellWord(header) + " -o " + ShellWord(part);
    if (std::system(command.c_str()) != 0 || std::rename(part.c_str(), out.c_str()) != 0) {
        std::remove(part.c_str());
        std::cerr << "mtrx build: precompiling the runtime's headers failed: " << command << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int PrecompileHeaders(const std::string &dir) {
    return Precompile(dir, "") != 0 || Precompile(dir + "/pic", " -fPIC") != 0 ? 1 : 0;
}

}  // namespace mtrx
