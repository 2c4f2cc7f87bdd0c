// examples/function_library/caller.cpp: a C++ program calling gram_schmidt,
// a function compiled by `mtrx build --function gram_schmidt.mtrx`.
#include "gram_schmidt.h"
#include "stash.h"

#include <unistd.h>

#include <cstdio>
#include <string>

using kiv::matrix::Array;

// Every element, column by column, with the digits that read back as the
// same double.
static void Print(const char *name, const Array &a) {
    std::printf("%s:", name);
    for (unsigned int k = 1; k <= a.Numel(); ++k) std::printf(" %.17g", a.At(k));
    std::printf("\n");
}

int main() {
    const Array A = {{4, 1, 2}, {2, 3, 0}, {1, 0, 5}, {3, 2, 1}};
    const auto [Q, R] = gram_schmidt(A);
    Print("Q", Q);
    Print("R", R);
    // An error inside the function comes out as the library's exception,
    // with the interpreter's message.
    try {
        gram_schmidt(Array{{1, 2}, {2, 4}});
    } catch (const kiv::matrix::CFunctionErrorException &e) {
        std::printf("error: %s\n", e.what());
    }
    // Fewer outputs: gram_schmidt_n asks for Q alone (nargout 1).
    Print("Q", gram_schmidt_n(1, {A})[0]);
    // varargin and varargout: two arrays saved to a workspace file and read
    // back, as many as asked for; given the file alone (nargin 1), stash
    // reads it again.
    const std::string file = "/tmp/function_library_" + std::to_string(getpid()) + ".h5";
    const std::vector<Array> both = stash(2, Array(file), R, {Array{7, 8, 9}});
    Print("x1", both[0]);
    Print("x2", both[1]);
    Print("x1", stash(1, Array(file))[0]);
    std::remove(file.c_str());
    return 0;
}
