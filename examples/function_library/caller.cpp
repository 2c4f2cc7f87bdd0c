// examples/function_library/caller.cpp: a C++ program calling gram_schmidt,
// a function compiled by `mtrx build --function gram_schmidt.mtrx`.
#include "gram_schmidt.h"

#include <cstdio>

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
    return 0;
}
