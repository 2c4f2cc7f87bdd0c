// tests/fuzz/mtrx_fuzz.cpp: libFuzzer target: each input is a program for
// one fresh session. A failing program is an expected outcome; a crash, a
// leak, an escaping exception or a run past the time limit is a finding.
#include "session.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The file built-ins of the fuzz build reach only names below the working
// folder: make it a fresh temporary folder of this process, emptied after
// every input so that no program sees another's files and nothing piles up.
char g_folder[] = "/tmp/mtrx_fuzz.XXXXXX";

void RemoveWorkFolder() {
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
}

const char *WorkFolder() {
    static const bool made = [] {
        if (!mkdtemp(g_folder) || chdir(g_folder) != 0) std::abort();
        std::atexit(RemoveWorkFolder);
        return true;
    }();
    (void)made;
    return g_folder;
}

void EmptyWorkFolder() {
    std::error_code ec;
    for (fs::directory_iterator it(WorkFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

// Displayed results are formatted in full and then dropped.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static NullBuffer sink;
    static std::ostream display(&sink);
    // Every loop iteration and statement counts, and the fuzz build bounds
    // the bytes live arrays hold, so that no input runs for long (10000 steps
    // on arrays of a few MiB took over a minute); the depth stays far below
    // what the native stack can take.
    mtrx::Limits limits;
    limits.max_steps = 2000;
    limits.max_call_depth = 64;
    WorkFolder();
    {
        // The session closes the files it opened when it ends.
        mtrx::Session session(display, limits);
        try {
            session.Run(std::string(reinterpret_cast<const char *>(data), size));
        } catch (const mtrx::ScriptError &) {}
    }
    EmptyWorkFolder();
    return 0;
}
