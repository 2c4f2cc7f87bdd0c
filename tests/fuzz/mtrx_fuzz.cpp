// tests/fuzz/mtrx_fuzz.cpp: libFuzzer target: each input is a program for
// one fresh session. A failing program is an expected outcome; a crash, a
// leak, an escaping exception or a run past the time limit is a finding.
#include "session.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

namespace {

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
    mtrx::Session session(display, limits);
    try {
        session.Run(std::string(reinterpret_cast<const char *>(data), size));
    } catch (const mtrx::ScriptError &) {}
    return 0;
}
