// src/linalg/real_schur.cpp: the real Schur form by the Francis
// double-shift QR algorithm with accumulated transformations.
#include "linalg/real_schur.h"

#include <matrix/exceptions.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace kiv {
namespace matrix {
namespace linalg {

namespace {

// The reflector P = I - beta*v*v' with P*x = (alpha, 0, ...): v = x with
// v(0) = x(0) - alpha, alpha = -sign(x(0))*norm(x). Returns 0 for x = 0.
double Reflector(std::size_t count, double *v) {
    double s = 0.0;
    for (std::size_t i = 0; i < count; ++i) s += v[i] * v[i];
    if (s == 0.0) return 0.0;
    const double norm = std::sqrt(s);
    const double alpha = v[0] >= 0 ? -norm : norm;
    s -= v[0] * v[0];
    v[0] -= alpha;
    s += v[0] * v[0];
    return 2.0 / s;
}

// Rows first..first+count-1 of columns c0..c1 of A take P from the left.
void ApplyLeft(Dense<double> &A, const double *v, double beta, std::size_t count,
               std::size_t first, std::size_t c0, std::size_t c1) {
    for (std::size_t j = c0; j <= c1; ++j) {
        double s = 0.0;
        for (std::size_t i = 0; i < count; ++i) s += v[i] * A(first + i, j);
        s *= beta;
        for (std::size_t i = 0; i < count; ++i) A(first + i, j) -= s * v[i];
    }
}

// Rows 0..r1 of columns first..first+count-1 of A take P from the right.
void ApplyRight(Dense<double> &A, const double *v, double beta, std::size_t count,
                std::size_t first, std::size_t r1) {
    for (std::size_t i = 0; i <= r1; ++i) {
        double s = 0.0;
        for (std::size_t k = 0; k < count; ++k) s += A(i, first + k) * v[k];
        s *= beta;
        for (std::size_t k = 0; k < count; ++k) A(i, first + k) -= s * v[k];
    }
}

// Splits the 2 x 2 block at rows i, i+1 when its eigenvalues are real: a
// rotation whose first column is an eigenvector makes T(i+1,i) zero.
void SplitBlock(Dense<double> &T, Dense<double> &Z, std::size_t i) {
    const std::size_t n = T.m;
    const double a = T(i, i), b = T(i, i + 1), c = T(i + 1, i), d = T(i + 1, i + 1);
    const double p = 0.5 * (a - d);
    const double disc = p * p + b * c;
    if (disc < 0) return;
    const double root = std::sqrt(disc);
    const double lambda = d + (p >= 0 ? p + root : p - root);
    double x0 = b, x1 = lambda - a;
    if (std::hypot(lambda - d, c) > std::hypot(x0, x1)) {
        x0 = lambda - d;
        x1 = c;
    }
    const double r = std::hypot(x0, x1);
    if (r == 0.0) return;
    const double cs = x0 / r, sn = x1 / r;
    for (std::size_t j = i; j < n; ++j) {
        const double u = T(i, j), w = T(i + 1, j);
        T(i, j) = cs * u + sn * w;
        T(i + 1, j) = -sn * u + cs * w;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (k <= i + 1) {
            const double u = T(k, i), w = T(k, i + 1);
            T(k, i) = cs * u + sn * w;
            T(k, i + 1) = -sn * u + cs * w;
        }
        const double u = Z(k, i), w = Z(k, i + 1);
        Z(k, i) = cs * u + sn * w;
        Z(k, i + 1) = -sn * u + cs * w;
    }
    T(i + 1, i) = 0.0;
}

}  // namespace

void RealSchurForm(Dense<double> &T, Dense<double> &Z) {
    const std::size_t n = T.m;
    Z = Dense<double>::Identity(n);
    std::vector<double> v(n);
    // Hessenberg form: reflector k zeroes column k below the subdiagonal.
    for (std::size_t k = 0; k + 2 < n; ++k) {
        const std::size_t count = n - k - 1;
        for (std::size_t i = 0; i < count; ++i) v[i] = T(k + 1 + i, k);
        const double beta = Reflector(count, v.data());
        if (beta == 0.0) continue;
        ApplyLeft(T, v.data(), beta, count, k + 1, k, n - 1);
        ApplyRight(T, v.data(), beta, count, k + 1, n - 1);
        ApplyRight(Z, v.data(), beta, count, k + 1, n - 1);
        for (std::size_t i = k + 2; i < n; ++i) T(i, k) = 0.0;
    }
    const double eps = std::numeric_limits<double>::epsilon();
    double norm = 0.0;
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i <= std::min(j + 1, n - 1); ++i) norm += std::fabs(T(i, j));
    std::size_t hi = n == 0 ? 0 : n - 1;
    int tries = 0;
    while (hi >= 1) {
        std::size_t l = hi;
        for (; l > 0; --l) {
            double s = std::fabs(T(l - 1, l - 1)) + std::fabs(T(l, l));
            if (s == 0.0) s = norm;
            if (std::fabs(T(l, l - 1)) <= eps * s) {
                T(l, l - 1) = 0.0;
                break;
            }
        }
        if (l == hi) {
            --hi;
            tries = 0;
            continue;
        }
        if (l + 1 == hi) {
            SplitBlock(T, Z, l);
            if (hi < 2) break;
            hi -= 2;
            tries = 0;
            continue;
        }
        if (++tries > 30 * static_cast<int>(n))
            throw CFunctionErrorException(L"Schur: the QR algorithm did not converge");
        // The shifts: the eigenvalues of the trailing 2 x 2 block, their
        // sum s and product t, or exceptional ones.
        double s = T(hi - 1, hi - 1) + T(hi, hi);
        double t = T(hi - 1, hi - 1) * T(hi, hi) - T(hi - 1, hi) * T(hi, hi - 1);
        if (tries % 10 == 0) {
            const double w = std::fabs(T(hi, hi - 1)) + std::fabs(T(hi - 1, hi - 2));
            s = 1.5 * w;
            t = w * w;
        }
        double x = T(l, l) * T(l, l) + T(l, l + 1) * T(l + 1, l) - s * T(l, l) + t;
        double y = T(l + 1, l) * (T(l, l) + T(l + 1, l + 1) - s);
        double z = T(l + 1, l) * T(l + 2, l + 1);
        const std::size_t p = hi - l + 1;
        for (std::size_t k = 0; k + 3 <= p; ++k) {
            double u[3] = {x, y, z};
            const double beta = Reflector(3, u);
            const std::size_t row = l + k;
            if (beta != 0.0) {
                ApplyLeft(T, u, beta, 3, row, l + (k > 0 ? k - 1 : 0), n - 1);
                ApplyRight(T, u, beta, 3, row, std::min(row + 3, hi));
                ApplyRight(Z, u, beta, 3, row, n - 1);
            }
            x = T(row + 1, row);
            y = T(row + 2, row);
            if (k + 3 < p) z = T(row + 3, row);
        }
        double u[2] = {x, y};
        const double beta = Reflector(2, u);
        if (beta != 0.0) {
            ApplyLeft(T, u, beta, 2, hi - 1, hi - 2, n - 1);
            ApplyRight(T, u, beta, 2, hi - 1, hi);
            ApplyRight(Z, u, beta, 2, hi - 1, n - 1);
        }
        // Entries the bulge chase leaves below the subdiagonal are zero.
        for (std::size_t j = l; j + 2 <= hi; ++j)
            for (std::size_t i = j + 2; i <= hi; ++i) T(i, j) = 0.0;
    }
}

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv
