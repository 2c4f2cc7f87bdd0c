// src/construct/print.cpp: PrintMatrix, a diagnostic dump of an array to standard output.
#include <matrix/print.h>

#include <kiv/print.h>
#include <matrix/mx.h>

#include <cstdint>

namespace kiv {
namespace matrix {

namespace {

// Arrays with more elements than this print their header line only.
constexpr unsigned int kMaxPrintedElements = 25;

}  // namespace

void PrintMatrix(const CMatrix *a) {
    // The address goes out whole (a pointer does not fit %x on 64-bit
    // targets), and the lengths as unsigned, so that a length of 2^31 or
    // more does not print negative.
    const unsigned int *dims = a->GetDimensions();
    kiv_wprintf(L" Print %llx - %ux%u\n",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(a)), dims[0],
                dims[1]);

    const unsigned int count = a->GetNoElems();
    if (!a->IsDouble() || count == 0 || count > kMaxPrintedElements) return;

    // Every length is at least 1 here; the pages are the m x n slices along
    // the third and later dimensions.
    const unsigned int m = dims[0];
    const unsigned int n = dims[1];
    const unsigned int pages = count / (m * n);
    const double *p = mxGetPr(a);
    for (unsigned int page = 0; page < pages; ++page, p += m * n) {
        for (unsigned int i = 0; i < m; ++i) {
            for (unsigned int j = 0; j < n; ++j) kiv_wprintf(L"%e\t", p[i + j * m]);
            kiv_wprintf(L"\n");
        }
    }
}

}  // namespace matrix
}  // namespace kiv
