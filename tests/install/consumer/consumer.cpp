// tests/install/consumer/consumer.cpp: uses the installed headers and libraries.
#include <matrix/matrix.h>

#include <cstdio>

// Built with -std=c++20 the package's flags must leave the standard alone.
#if defined(CONSUMER_CXX20)
static_assert(__cplusplus >= 202002L, "the package lowered the C++ standard");
#endif

int main() {
    using namespace kiv::matrix;
    const double values[] = {1, 2, 3, 4};
    CMatrix *a = mxDoubleMatrix(2, 2, values, nullptr);
    CMatrix *b = a->CreateShareArray();
    b->GetOwnCopy();
    mxGetPr(b)[0] = 10;
    // Random numbers only through the array library, so that kiv1math is a
    // dependency of rul2mtrx and not of this program.
    CMatrix *r = Rand(1);
    bool ok = mxGetPr(a)[0] == 1 && mxGetPr(b)[0] == 10 && mxGetScalar(r) > 0.0;
    mxDestroyArray(r);
    CMatrix *empty = mxCreateDoubleMatrix(0, 0, mxComplexityReal);
    try {
        mxGetScalar(empty);
        ok = false;
    } catch (const IMatrixException &e) {
        ok = ok && e.GetMessage() == kiv::WString(L"Index exceeds matrix dimensions");
    }
    mxDestroyArray(empty);
    mxDestroyArray(b);
    mxDestroyArray(a);
    std::printf(ok ? "consumer ok\n" : "consumer FAILED\n");
    return ok ? 0 : 1;
}
