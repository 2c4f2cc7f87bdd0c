// tests/support/stdout_capture.h: captures what a piece of code writes to stdout.
#ifndef MATRIX_TESTS_SUPPORT_STDOUT_CAPTURE_H
#define MATRIX_TESTS_SUPPORT_STDOUT_CAPTURE_H

#include <cstdio>
#include <string>
#include <unistd.h>

namespace matrix_test {

/// Runs `body` with file descriptor 1 redirected into a temporary file and
/// returns the bytes written, through stdio or directly.
template <typename Body>
std::string CaptureStdout(Body body) {
    std::fflush(stdout);
    std::FILE *sink = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(sink), 1);
    body();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    std::rewind(sink);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, sink)) > 0;) out.append(chunk, n);
    std::fclose(sink);
    return out;
}

}  // namespace matrix_test

#endif  // MATRIX_TESTS_SUPPORT_STDOUT_CAPTURE_H
