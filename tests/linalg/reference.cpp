// tests/linalg/reference.cpp: plain versions of the library's stated orders of operations.
#include "linalg/reference.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace linalg_test {
namespace ref {

Dense Mtimes(const Dense &a, const Dense &b) {
    Dense c(a.m, b.n);
    for (std::size_t j = 0; j < b.n; ++j) {
        for (std::size_t i = 0; i < a.m; ++i) {
            double s = 0.0;
            for (std::size_t p = 0; p < a.n; ++p) s = s + a(i, p) * b(p, j);
            c(i, j) = s;
        }
    }
    return c;
}

std::vector<std::int32_t> LuCrout(Dense &a, int &parity) {
    const std::size_t n = a.m;
    std::vector<std::int32_t> pivot(n);
    std::vector<double> scale(n);
    parity = 1;
    for (std::size_t i = 0; i < n; ++i) {
        double big = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            if (std::fabs(a(i, j)) > big) big = std::fabs(a(i, j));
        }
        scale[i] = big == 0.0 ? 0.0 : 1.0 / big;
    }
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < j; ++i) {
            for (std::size_t k = 0; k < i; ++k) a(i, j) = a(i, j) - a(i, k) * a(k, j);
        }
        double big = 0.0;
        std::size_t imax = j;
        for (std::size_t i = j; i < n; ++i) {
            for (std::size_t k = 0; k < j; ++k) a(i, j) = a(i, j) - a(i, k) * a(k, j);
            const double d = scale[i] * std::fabs(a(i, j));
            if (d >= big) {
                big = d;
                imax = i;
            }
        }
        if (imax != j) {
            for (std::size_t k = 0; k < n; ++k) std::swap(a(imax, k), a(j, k));
            parity = -parity;
            scale[imax] = scale[j];
        }
        pivot[j] = static_cast<std::int32_t>(imax + 1);
        if (a(j, j) == 0.0) a(j, j) = 1.0e-20;
        if (j + 1 < n) {
            const double r = 1.0 / a(j, j);
            for (std::size_t i = j + 1; i < n; ++i) a(i, j) = a(i, j) * r;
        }
    }
    return pivot;
}

namespace {

// The factored copy turned into L, U, and the row permutation.
void Factors(const Dense &a, Dense &l, Dense &u, std::vector<std::size_t> &perm) {
    const std::size_t n = a.m;
    l = a;
    int parity;
    const std::vector<std::int32_t> pivot = LuCrout(l, parity);
    u = Dense(n, n);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i <= j; ++i) u(i, j) = l(i, j);
    }
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < j; ++i) l(i, j) = 0.0;
        l(j, j) = 1.0;
    }
    perm.resize(n);
    for (std::size_t i = 0; i < n; ++i) perm[i] = i;
    for (std::size_t j = 0; j < n; ++j) std::swap(perm[j], perm[pivot[j] - 1]);
}

}  // namespace

void Lu(const Dense &a, Dense &l, Dense &u, Dense &p) {
    std::vector<std::size_t> perm;
    Factors(a, l, u, perm);
    p = Dense(a.m, a.m);
    for (std::size_t i = 0; i < a.m; ++i) p(i, perm[i]) = 1.0;
}

void Lu(const Dense &a, Dense &l, Dense &u) {
    std::vector<std::size_t> perm;
    Dense unit;
    Factors(a, unit, u, perm);
    l = Dense(a.m, a.m);
    for (std::size_t i = 0; i < a.m; ++i) {
        for (std::size_t j = 0; j < a.m; ++j) l(perm[i], j) = unit(i, j);
    }
}

double Det(const Dense &a) {
    if (a.m == 0) return 1.0;
    Dense f = a;
    int parity;
    LuCrout(f, parity);
    double det = 1.0;
    for (std::size_t i = 0; i < f.m; ++i) det = det * f(i, i);
    return parity == -1 ? -det : det;
}

std::vector<double> BackSubstitute(const Dense &u, std::size_t n, const std::vector<double> &b) {
    std::vector<double> x(n);
    if (n == 0) return x;
    x[n - 1] = b[n - 1] / u(n - 1, n - 1);
    for (std::size_t i = n - 1; i-- > 0;) {
        double s = 0.0;
        for (std::size_t q = n - 1; q > i; --q) s = s + u(i, q) * x[q];
        x[i] = (b[i] - s) / u(i, i);
    }
    return x;
}

Dense GaussSolve(Dense a, Dense b) {
    const std::size_t n = a.m, k = b.n;
    for (std::size_t j = 0; j < n; ++j) {
        std::size_t p = 0;
        for (std::size_t i = j + 1; i < n; ++i) {
            if (std::fabs(a(i, j)) > std::fabs(a(j + p, j))) p = i - j;
        }
        if (p != 0) {
            for (std::size_t c = j; c < n; ++c) std::swap(a(j, c), a(j + p, c));
            for (std::size_t c = 0; c < k; ++c) std::swap(b(j, c), b(j + p, c));
        }
        const double piv = a(j, j) == 0.0 ? 1.0e-14 : a(j, j);
        const double r = 1.0 / piv;
        a(j, j) = 1.0;
        if (r != 1.0) {
            for (std::size_t c = j + 1; c < n; ++c) a(j, c) = a(j, c) * r;
            for (std::size_t c = 0; c < k; ++c) b(j, c) = b(j, c) * r;
        }
        for (std::size_t i = j + 1; i < n; ++i) {
            const double f = -a(i, j);
            a(i, j) = 0.0;
            if (f == 0.0) continue;
            for (std::size_t c = j + 1; c < n; ++c) a(i, c) = a(i, c) + f * a(j, c);
            for (std::size_t c = 0; c < k; ++c) b(i, c) = b(i, c) + f * b(j, c);
        }
    }
    Dense x(n, k);
    for (std::size_t c = 0; c < k; ++c) {
        const std::vector<double> col(b.v.begin() + c * n, b.v.begin() + (c + 1) * n);
        const std::vector<double> sol = BackSubstitute(a, n, col);
        std::copy(sol.begin(), sol.end(), x.v.begin() + c * n);
    }
    return x;
}

double ColumnNorm(const double *x, std::size_t count) {
    double scale = 1.0, sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = x[i];
        if (t > 1.0e-12 || t < -1.0e-12) {
            const double a = std::fabs(t);
            if (scale >= a) {
                sum = sum + (a / scale) * (a / scale);
            } else {
                sum = sum * ((scale / a) * (scale / a)) + 1.0;
                scale = a;
            }
        }
    }
    return std::sqrt(sum) * scale;
}

namespace {

void Pivot(Dense &r, std::vector<std::uint32_t> &perm, std::size_t k) {
    double best = 0.0;
    std::size_t winner = k;
    for (std::size_t j = k; j < r.n; ++j) {
        const double norm = ColumnNorm(&r(k, j), r.m - k);
        if (norm > best) {
            best = norm;
            winner = j;
        }
    }
    if (winner != k) {
        std::swap(perm[k], perm[winner]);
        for (std::size_t i = 0; i < r.m; ++i) std::swap(r(i, k), r(i, winner));
    }
}

}  // namespace

QrParts Qr(const Dense &a, bool pivot) {
    const std::size_t m = a.m, n = a.n;
    QrParts out;
    Dense &r = out.r;
    r = a;
    const std::size_t steps = m > n ? n : m - 1;
    out.c.assign(steps, 0.0);
    out.d.assign(std::min(m, n), 0.0);
    for (std::uint32_t j = 0; j < n; ++j) out.perm.push_back(j);

    for (std::size_t k = 0; k < steps; ++k) {
        if (pivot) Pivot(r, out.perm, k);
        double scale = std::fabs(r(k, k));
        for (std::size_t i = k; i < m; ++i) {
            if (std::fabs(r(i, k)) > scale) scale = std::fabs(r(i, k));
        }
        if (scale == 0.0) {
            out.c[k] = 0.0;
            out.d[k] = 0.0;
            continue;
        }
        double sum = 0.0;
        for (std::size_t i = k; i < m; ++i) {
            r(i, k) = r(i, k) / scale;
            sum = sum + r(i, k) * r(i, k);
        }
        double sigma = std::sqrt(sum);
        if (r(k, k) < 0.0) sigma = -sigma;
        r(k, k) = r(k, k) + sigma;
        out.c[k] = r(k, k) * sigma;
        out.d[k] = -(sigma * scale);
        for (std::size_t j = k + 1; j < n; ++j) {
            double s = 0.0;
            for (std::size_t i = k; i < m; ++i) s = s + r(i, j) * r(i, k);
            const double tau = s / out.c[k];
            for (std::size_t i = k; i < m; ++i) r(i, j) = r(i, j) - tau * r(i, k);
        }
    }
    if (pivot && m < n) Pivot(r, out.perm, m - 1);
    if (m <= n) out.d[m - 1] = r(m - 1, m - 1);
    out.reduced = r;

    Dense &q = out.q;
    q = Identity(m);
    if (m > 1) {
        if (std::fabs(out.c[0]) > 1.0e-15) {
            for (std::size_t j = 0; j < m; ++j) {
                const double f = (-1.0 / out.c[0]) * r(j, 0);
                for (std::size_t i = 0; i < m; ++i) q(i, j) = q(i, j) + f * r(i, 0);
            }
        }
        for (std::size_t k = 1; k < steps; ++k) {
            if (!(std::fabs(out.c[k]) > 1.0e-15)) continue;
            const std::size_t p = m - k;
            Dense w = Identity(p);
            for (std::size_t j = 0; j < p; ++j) {
                const double f = (-1.0 / out.c[k]) * r(k + j, k);
                for (std::size_t i = 0; i < p; ++i) w(i, j) = w(i, j) + f * r(k + i, k);
            }
            std::vector<double> row(p);
            for (std::size_t i = 0; i < m; ++i) {
                for (std::size_t t = 0; t < p; ++t) row[t] = q(i, k + t);
                for (std::size_t j = 0; j < p; ++j) {
                    double s = 0.0;
                    for (std::size_t t = 0; t < p; ++t) s = s + row[t] * w(t, j);
                    q(i, k + j) = s;
                }
            }
        }
    }

    for (std::size_t j = 0; j < std::min(m - 1, n); ++j) {
        for (std::size_t i = j + 1; i < m; ++i) r(i, j) = 0.0;
    }
    for (std::size_t i = 0; i < std::min(m, n); ++i) r(i, i) = out.d[i];
    out.e = Dense(n, n);
    for (std::size_t j = 0; j < n; ++j) out.e(out.perm[j], j) = 1.0;
    return out;
}

Dense Mldivide(const Dense &a, const Dense &b) {
    const std::size_t m = a.m, n = a.n, k = b.n;
    if (m * n == 1) {
        Dense x = b;
        for (double &t : x.v) t = t / a.v[0];
        return x;
    }
    if (m == 0 || n * k == 0) return Dense(n, k);
    if (m == n) return GaussSolve(a, b);

    const QrParts f = Qr(a, true);
    const double eps = std::ldexp(1.0, -52);
    std::size_t rank = 0;
    while (rank < std::min(m, n) && std::fabs(f.r(rank, rank)) > eps) ++rank;
    Dense x(n, k);
    for (std::size_t j = 0; j < k; ++j) {
        std::vector<double> y(m);
        for (std::size_t i = 0; i < m; ++i) {
            double s = 0.0;
            for (std::size_t p = 0; p < m; ++p) s = s + b(p, j) * f.q(p, i);
            y[i] = s;
        }
        const std::vector<double> sol = BackSubstitute(f.r, rank, y);
        for (std::size_t i = 0; i < rank; ++i) x(i, j) = sol[i];
    }
    return Mtimes(f.e, x);
}

}  // namespace ref
}  // namespace linalg_test
