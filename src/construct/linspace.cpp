// src/construct/linspace.cpp: Linspace, rows of equally spaced points.
#include <matrix/construct.h>

#include <matrix/mx.h>

#include <cstddef>

namespace kiv {
namespace matrix {

namespace {

// The number of points of the two-argument form, as the language has it.
constexpr unsigned int kDefaultPoints = 100;

}  // namespace

CMatrix *Linspace(double a, double b) { return Linspace(a, b, kDefaultPoints); }

CMatrix *Linspace(double a, double b, unsigned int n) {
    CMatrix *R = mxCreateDoubleMatrix(1, n, mxComplexityReal);
    if (n == 0) return R;
    double *r = static_cast<double *>(R->GetPr());
    // The ends are exact; each interior point is computed on its own from
    // the ends, so no rounding error accumulates along the row.
    const double span = b - a;
    const double intervals = static_cast<double>(n - 1);
    if (n > 1) r[0] = a;
    for (std::size_t k = 1; k + 1 < n; ++k) r[k] = a + static_cast<double>(k) * span / intervals;
    r[n - 1] = b;
    return R;
}

}  // namespace matrix
}  // namespace kiv
