// src/kernels/planerot_kernel.cpp: the overflow-avoiding hypotenuse and the 2 x 2 Givens rotation.
#include "kernels/planerot_kernel.h"

#include <cmath>

namespace kiv {
namespace matrix {
namespace kernels {

double SafeHypot(double a, double b) {
    const double p = std::fabs(a);
    const double q = std::fabs(b);
    // The plain scaled formula returns 0.0 whenever q is 0.0 (a NaN a
    // included) and Inf/Inf = NaN for two infinities. Returning p, and +Inf
    // beside any infinity (as C's hypot does), keeps every finite result.
    if (std::isinf(p) || std::isinf(q)) return HUGE_VAL;
    if (p > q) {
        const double t = q / p;
        return std::sqrt(t * t + 1.0) * p;
    }
    if (q == 0.0) return p;
    const double t = p / q;
    return std::sqrt(t * t + 1.0) * q;
}

double PlaneRotation(double x0, double x1, double *g, std::size_t ldg) {
    const double r = SafeHypot(x0, x1);
    // r = 0.0 gives the exact identity: +0.0 off the diagonal, which -s
    // would turn into -0.0.
    double c = 1.0;
    double s = 0.0;
    double minusS = 0.0;
    if (r != 0.0) {
        c = x0 / r;
        s = x1 / r;
        minusS = -s;
    }
    g[0] = c;
    g[1] = minusS;
    g[ldg] = s;
    g[ldg + 1] = c;
    return r;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
