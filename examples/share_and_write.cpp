// examples/share_and_write.cpp: arrays share their data until one is written.
//
// Builds a few arrays, shares one of them, writes through the shared copy
// after unsharing it, and shows that the original kept its values.
#include <matrix/matrix.h>

#include <cstdio>

using namespace kiv::matrix;

namespace {

void Show(const char *name, const CMatrix *a) {
    const unsigned int m = mxGetM(a);
    const unsigned int n = a->GetNoElems() / (m == 0 ? 1 : m);
    std::printf("%s = (%ux%u, data at %p, %s)\n", name, m, n, a->GetPr(),
                a->IsComplex() ? "complex" : "real");
    const double *pr = mxGetPr(a);
    for (unsigned int i = 0; i < m; ++i) {
        std::printf("   ");
        for (unsigned int j = 0; j < n; ++j) kiv_wprintf(L" %9.4f", pr[i + j * m]);
        std::printf("\n");
    }
}

}  // namespace

int main() {
    try {
        const double values[] = {1, 2, 3, 4, 5, 6};
        CMatrix *a = mxDoubleMatrix(2, 3, values, nullptr);
        CMatrix *b = mxDoubleMatrix(3, 1, nullptr, nullptr);
        const double re[] = {1.5, -2.0};
        const double im[] = {0.5, 0.25};
        CMatrix *c = mxDoubleMatrix(1, 2, re, im);

        // A shared copy holds the same data buffer: no element is copied.
        CMatrix *shared = a->CreateShareArray();
        std::printf("after sharing: same data? %s\n", shared->GetPr() == a->GetPr() ? "yes" : "no");

        // A writer unshares first; from then on the two arrays are independent.
        shared->GetOwnCopy();
        mxGetPr(shared)[0] = 100.0;
        std::printf("after writing the copy: same data? %s, a(1,1) = %g, copy(1,1) = %g\n",
                    shared->GetPr() == a->GetPr() ? "yes" : "no", mxGetPr(a)[0],
                    mxGetPr(shared)[0]);

        Show("a", a);
        Show("copy", shared);
        Show("b", b);
        Show("c (real part)", c);

        mxDestroyArray(shared);
        mxDestroyArray(c);
        mxDestroyArray(b);
        mxDestroyArray(a);
        return 0;
    } catch (const kiv::IException &e) {
        kiv_wprintf(L"error: %ls\n", e.GetMessage().c_str());
        return 1;
    }
}
