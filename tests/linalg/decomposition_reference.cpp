// tests/linalg/decomposition_reference.cpp: plain versions of the stated orders of operations of the rotation, Cholesky, SVD and eigenvalue procedures.
#include "linalg/decomposition_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace linalg_test {
namespace ref {

namespace {

// x with the sign of y.
double Sign(double x, double y) { return y >= 0.0 ? std::fabs(x) : -std::fabs(x); }

// Element (i, j) counted from 1.
struct One {
    Dense &d;
    double &operator()(std::size_t i, std::size_t j) { return d.v[(i - 1) + (j - 1) * d.m]; }
};

}  // namespace

double GiveUpNaN() {
    const std::uint64_t bits = 0x7FFFFFFFFFFFFFFFull;
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

double SafeHypot(double a, double b) {
    const double p = std::fabs(a), q = std::fabs(b);
    if (std::isinf(p) || std::isinf(q)) return INFINITY;
    if (p > q) return std::sqrt((q / p) * (q / p) + 1.0) * p;
    if (q == 0.0) return p;
    return std::sqrt((p / q) * (p / q) + 1.0) * q;
}

Dense Planerot(double x0, double x1, double &r) {
    r = SafeHypot(x0, x1);
    Dense g = Identity(2);
    if (r != 0.0) {
        const double c = x0 / r, s = x1 / r;
        g.v = {c, -s, s, c};
    }
    return g;
}

Dense Chol(const Dense &a, bool &ok) {
    const std::size_t n = a.m;
    Dense r(n, n);
    ok = true;
    for (std::size_t j = 0; j < n; ++j) {
        double x = a(j, j);
        for (std::size_t k = j; k-- > 0;) x = x - r(k, j) * r(k, j);
        if (x < 0.0) {
            ok = false;
            return Dense();
        }
        r(j, j) = std::sqrt(x);
        for (std::size_t i = j + 1; i < n; ++i) {
            double s = a(j, i);
            for (std::size_t k = 0; k < j; ++k) s = s - r(k, j) * r(k, i);
            r(j, i) = s / r(j, j);
        }
    }
    return r;
}

std::size_t SvdDecompose(Dense &a_, std::vector<double> &w_, Dense &v_) {
    const std::size_t m = a_.m, n = a_.n;
    One a{a_};
    v_ = Dense(n, n);
    One v{v_};
    std::vector<double> w0(n + 1), e0(n + 1);
    double *w = w0.data(), *e = e0.data();  // w[1..n], e[1..n]
    double anorm = 0.0, g = 0.0, scale = 0.0, s = 0.0, f, h;
    std::size_t l = 0;

    // Phase 1.
    for (std::size_t i = 1; i <= n; ++i) {
        l = i + 1;
        e[i] = scale * g;
        g = s = scale = 0.0;
        if (i <= m) {
            for (std::size_t k = i; k <= m; ++k) scale = scale + std::fabs(a(k, i));
            if (scale != 0.0) {
                for (std::size_t k = i; k <= m; ++k) {
                    a(k, i) = a(k, i) / scale;
                    s = s + a(k, i) * a(k, i);
                }
                f = a(i, i);
                g = -Sign(std::sqrt(s), f);
                h = f * g - s;
                a(i, i) = f - g;
                for (std::size_t j = l; j <= n; ++j) {
                    s = 0.0;
                    for (std::size_t k = i; k <= m; ++k) s = s + a(k, j) * a(k, i);
                    f = s / h;
                    for (std::size_t k = i; k <= m; ++k) a(k, j) = a(k, j) + f * a(k, i);
                }
                for (std::size_t k = i; k <= m; ++k) a(k, i) = a(k, i) * scale;
            }
        }
        w[i] = scale * g;
        g = s = scale = 0.0;
        if (i <= m && i != n) {
            for (std::size_t k = l; k <= n; ++k) scale = scale + std::fabs(a(i, k));
            if (scale != 0.0) {
                for (std::size_t k = l; k <= n; ++k) {
                    a(i, k) = a(i, k) / scale;
                    s = s + a(i, k) * a(i, k);
                }
                f = a(i, l);
                g = -Sign(std::sqrt(s), f);
                h = f * g - s;
                a(i, l) = f - g;
                for (std::size_t k = l; k <= n; ++k) e[k] = a(i, k) / h;
                for (std::size_t j = l; j <= m; ++j) {
                    s = 0.0;
                    for (std::size_t k = l; k <= n; ++k) s = s + a(j, k) * a(i, k);
                    for (std::size_t k = l; k <= n; ++k) a(j, k) = a(j, k) + s * e[k];
                }
                for (std::size_t k = l; k <= n; ++k) a(i, k) = a(i, k) * scale;
            }
        }
        const double t = std::fabs(w[i]) + std::fabs(e[i]);
        if (t > anorm) anorm = t;
    }

    // Phase 2.
    for (std::size_t i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                for (std::size_t j = l; j <= n; ++j) v(j, i) = (a(i, j) / a(i, l)) / g;
                for (std::size_t j = l; j <= n; ++j) {
                    s = 0.0;
                    for (std::size_t k = l; k <= n; ++k) s = s + a(i, k) * v(k, j);
                    for (std::size_t k = l; k <= n; ++k) v(k, j) = v(k, j) + s * v(k, i);
                }
            }
            for (std::size_t j = l; j <= n; ++j) v(i, j) = v(j, i) = 0.0;
        }
        v(i, i) = 1.0;
        g = e[i];
        l = i;
    }

    // Phase 3.
    for (std::size_t i = std::min(m, n); i >= 1; --i) {
        l = i + 1;
        g = w[i];
        for (std::size_t j = l; j <= n; ++j) a(i, j) = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            for (std::size_t j = l; j <= n; ++j) {
                s = 0.0;
                for (std::size_t k = l; k <= m; ++k) s = s + a(k, i) * a(k, j);
                f = (s / a(i, i)) * g;
                for (std::size_t k = i; k <= m; ++k) a(k, j) = a(k, j) + f * a(k, i);
            }
            for (std::size_t j = i; j <= m; ++j) a(j, i) = a(j, i) * g;
        } else {
            for (std::size_t j = i; j <= m; ++j) a(j, i) = 0.0;
        }
        a(i, i) = a(i, i) + 1.0;
    }

    // Phase 4.
    std::size_t gaveUp = 0;
    for (std::size_t k = n; k >= 1 && gaveUp == 0; --k) {
        for (int its = 1;; ++its) {
            bool flag = true;
            std::size_t nm = 0;
            for (l = k; l >= 1; --l) {
                nm = l - 1;
                if (std::fabs(e[l]) + anorm == anorm) {
                    flag = false;
                    break;
                }
                if (std::fabs(w[nm]) + anorm == anorm) break;
            }
            if (flag) {
                double c = 0.0;
                s = 1.0;
                for (std::size_t i = l; i <= k; ++i) {
                    f = s * e[i];
                    e[i] = c * e[i];
                    if (std::fabs(f) + anorm == anorm) break;
                    g = w[i];
                    h = SafeHypot(f, g);
                    w[i] = h;
                    h = 1.0 / h;
                    c = g * h;
                    s = -f * h;
                    for (std::size_t j = 1; j <= m; ++j) {
                        const double y = a(j, nm), z = a(j, i);
                        a(j, nm) = y * c + z * s;
                        a(j, i) = z * c - y * s;
                    }
                }
            }
            double z = w[k];
            if (l == k) {
                if (z < 0.0) {
                    w[k] = -z;
                    for (std::size_t j = 1; j <= n; ++j) v(j, k) = -v(j, k);
                }
                break;
            }
            if (its == 30) {
                gaveUp = k;
                break;
            }
            double x = w[l];
            nm = k - 1;
            double y = w[nm];
            g = e[nm];
            h = e[k];
            f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = SafeHypot(f, 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + Sign(g, f))) - h)) / x;
            double c = 1.0;
            s = 1.0;
            for (std::size_t j = l; j <= nm; ++j) {
                const std::size_t i = j + 1;
                g = e[i];
                y = w[i];
                h = s * g;
                g = c * g;
                z = SafeHypot(f, h);
                e[j] = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y = y * c;
                for (std::size_t jj = 1; jj <= n; ++jj) {
                    x = v(jj, j);
                    z = v(jj, i);
                    v(jj, j) = x * c + z * s;
                    v(jj, i) = z * c - x * s;
                }
                z = SafeHypot(f, h);
                w[j] = z;
                if (z != 0.0) {
                    z = 1.0 / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                for (std::size_t jj = 1; jj <= m; ++jj) {
                    y = a(jj, j);
                    z = a(jj, i);
                    a(jj, j) = y * c + z * s;
                    a(jj, i) = z * c - y * s;
                }
            }
            e[l] = 0.0;
            e[k] = f;
            w[k] = x;
        }
    }
    for (std::size_t i = 1; i <= gaveUp; ++i) w[i] = GiveUpNaN();
    w_.assign(w + 1, w + n + 1);
    return gaveUp;
}

std::vector<std::uint32_t> SortDescending(const std::vector<double> &values) {
    std::vector<std::uint32_t> p;
    for (std::uint32_t i = 0; i < values.size(); ++i) {
        p.push_back(i);
        for (std::size_t j = i; j > 0 && values[p[j]] > values[p[j - 1]]; --j) {
            std::swap(p[j], p[j - 1]);
        }
    }
    return p;
}

void PermuteColumns(Dense &a, const std::vector<std::uint32_t> &positions) {
    const Dense old = a;
    for (std::size_t j = 0; j < a.n; ++j) {
        for (std::size_t i = 0; i < a.m; ++i) a(i, j) = old(i, positions[j]);
    }
}

std::vector<double> SvdValues(const Dense &a) {
    Dense u = a, v;
    std::vector<double> w;
    SvdDecompose(u, w, v);
    const std::vector<std::uint32_t> p = SortDescending(w);
    std::vector<double> s;
    for (std::size_t i = 0; i < std::min(a.m, a.n); ++i) s.push_back(w[p[i]]);
    return s;
}

void Svd(const Dense &a, bool economy, Dense &u, Dense &s, Dense &v) {
    const bool wide = a.m < a.n;
    Dense b(std::max(a.m, a.n), std::min(a.m, a.n));
    for (std::size_t i = 0; i < a.m; ++i) {
        for (std::size_t j = 0; j < a.n; ++j) (wide ? b(j, i) : b(i, j)) = a(i, j);
    }
    const std::size_t p = b.m, q = b.n;
    // Without economy the working matrix has p columns, the last zero.
    Dense x(p, economy ? q : p);
    std::copy(b.v.begin(), b.v.end(), x.v.begin());
    Dense vx;
    std::vector<double> w;
    SvdDecompose(x, w, vx);
    const std::vector<std::uint32_t> pos = SortDescending(w);
    s = economy ? Dense(q, q) : Dense(a.m, a.n);
    for (std::size_t i = 0; i < q; ++i) s(i, i) = w[pos[i]];
    PermuteColumns(x, pos);
    PermuteColumns(vx, pos);
    Dense lead(q, q);
    for (std::size_t j = 0; j < q; ++j) {
        for (std::size_t i = 0; i < q; ++i) lead(i, j) = vx(i, j);
    }
    u = wide ? lead : x;
    v = wide ? x : lead;
}

double Norm(const Dense &a, double p, bool &valid) {
    valid = true;
    if (a.v.empty()) return 0.0;
    if (a.m == 1 || a.n == 1) {
        if (p == 0.0) return INFINITY;
        if (p == INFINITY || p == -INFINITY) {
            double r = std::fabs(a.v[0]);
            for (double x : a.v) {
                if (p > 0 ? std::fabs(x) > r : std::fabs(x) < r) r = std::fabs(x);
            }
            return r;
        }
        double sum = 0.0;
        if (p == 1.0) {
            for (double x : a.v) sum = sum + std::fabs(x);
            return sum;
        }
        for (double x : a.v) sum = sum + std::pow(std::fabs(x), p);
        return std::pow(sum, 1.0 / p);
    }
    if (p == 2.0) {
        Dense u = a, v;
        std::vector<double> w;
        SvdDecompose(u, w, v);
        double r = w[0];
        for (double x : w) {
            if (std::fabs(x) > std::fabs(r)) r = x;
        }
        return r;
    }
    double best = 0.0;
    if (p == 1.0) {
        for (std::size_t j = 0; j < a.n; ++j) {
            double sum = 0.0;
            for (std::size_t i = 0; i < a.m; ++i) sum = sum + std::fabs(a(i, j));
            if (sum > best) best = sum;
        }
        return best;
    }
    if (p == INFINITY) {
        for (std::size_t i = 0; i < a.m; ++i) {
            double sum = 0.0;
            for (std::size_t j = 0; j < a.n; ++j) sum = sum + std::fabs(a(i, j));
            if (sum > best) best = sum;
        }
        return best;
    }
    valid = false;
    return 0.0;
}

double NormFro(const Dense &a) {
    double sum = 0.0;
    for (double x : a.v) sum = sum + x * x;
    return std::sqrt(sum);
}

void Balance(Dense &a_) {
    const std::size_t n = a_.m;
    One a{a_};
    bool done = false;
    while (!done) {
        done = true;
        for (std::size_t i = 1; i <= n; ++i) {
            double c = 0.0, r = 0.0;
            for (std::size_t j = 1; j <= n; ++j) {
                if (j != i) {
                    c = c + std::fabs(a(j, i));
                    r = r + std::fabs(a(i, j));
                }
            }
            if (c == 0.0 || r == 0.0 || std::isinf(c) || std::isinf(r) || std::isnan(c) ||
                std::isnan(r)) {
                continue;
            }
            double f = 1.0;
            const double s = c + r;
            while (c < r / 2) {
                c = c * 4;
                f = f * 2;
            }
            while (c > r * 2) {
                c = c * 0.25;
                f = f * 0.5;
            }
            if ((c + r) / f < 0.95 * s) {
                done = false;
                for (std::size_t j = 1; j <= n; ++j) a(i, j) = a(i, j) * (1.0 / f);
                for (std::size_t j = 1; j <= n; ++j) a(j, i) = a(j, i) * f;
            }
        }
    }
}

void ReduceToHessenberg(Dense &a_) {
    const std::size_t n = a_.m;
    One a{a_};
    for (std::size_t m = 2; m < n; ++m) {
        double x = 0.0;
        std::size_t i = m;
        for (std::size_t j = m; j <= n; ++j) {
            if (std::fabs(a(j, m - 1)) > std::fabs(x)) {
                x = a(j, m - 1);
                i = j;
            }
        }
        if (i != m) {
            for (std::size_t j = m - 1; j <= n; ++j) std::swap(a(i, j), a(m, j));
            for (std::size_t j = 1; j <= n; ++j) std::swap(a(j, i), a(j, m));
        }
        if (x != 0.0) {
            for (i = m + 1; i <= n; ++i) {
                double y = a(i, m - 1);
                if (y != 0.0) {
                    y = y / x;
                    a(i, m - 1) = y;
                    for (std::size_t j = m; j <= n; ++j) a(i, j) = a(i, j) - y * a(m, j);
                    for (std::size_t j = 1; j <= n; ++j) a(j, m) = a(j, m) + y * a(j, i);
                }
            }
        }
    }
}

std::size_t HessenbergEigenvalues(Dense &a_, std::vector<double> &wr_, std::vector<double> &wi_) {
    const std::size_t n = a_.m;
    One a{a_};
    std::vector<double> wr(n + 1), wi(n + 1);
    double anorm = 0.0;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = std::max<std::size_t>(i - 1, 1); j <= n; ++j) {
            anorm = anorm + std::fabs(a(i, j));
        }
    }
    double p = 0, q = 0, r = 0, s = 0, t = 0, w = 0, x = 0, y = 0, z = 0;
    std::size_t nn = n, gaveUp = 0;
    while (nn >= 1 && gaveUp == 0) {
        int its = 0;
        for (bool found = false; !found;) {
            std::size_t l;
            for (l = nn; l >= 2; --l) {
                s = std::fabs(a(l - 1, l - 1)) + std::fabs(a(l, l));
                if (s == 0.0) s = anorm;
                if (std::fabs(a(l, l - 1)) + s == s) break;
            }
            x = a(nn, nn);
            if (l == nn) {
                wr[nn] = x + t;
                wi[nn] = 0.0;
                nn = nn - 1;
                found = true;
            } else {
                y = a(nn - 1, nn - 1);
                w = a(nn, nn - 1) * a(nn - 1, nn);
                if (l == nn - 1) {
                    p = 0.5 * (y - x);
                    q = p * p + w;
                    z = std::sqrt(std::fabs(q));
                    x = x + t;
                    if (q >= 0.0) {
                        z = p + Sign(z, p);
                        wr[nn - 1] = wr[nn] = x + z;
                        if (z != 0.0) wr[nn] = x - w / z;
                        wi[nn - 1] = wi[nn] = 0.0;
                    } else {
                        wr[nn - 1] = wr[nn] = x + p;
                        wi[nn] = z;
                        wi[nn - 1] = -z;
                    }
                    nn = nn - 2;
                    found = true;
                } else {
                    if (its == 30) {
                        gaveUp = nn;
                        break;
                    }
                    if (its == 10 || its == 20) {
                        t = t + x;
                        for (std::size_t i = 1; i <= nn; ++i) a(i, i) = a(i, i) - x;
                        s = std::fabs(a(nn, nn - 1)) + std::fabs(a(nn - 1, nn - 2));
                        x = y = 0.75 * s;
                        w = -0.4375 * s * s;
                    }
                    its = its + 1;
                    std::size_t m;
                    for (m = nn - 2; m >= l; --m) {
                        z = a(m, m);
                        r = x - z;
                        s = y - z;
                        p = (r * s - w) / a(m + 1, m) + a(m, m + 1);
                        q = a(m + 1, m + 1) - z - r - s;
                        r = a(m + 2, m + 1);
                        s = std::fabs(p) + std::fabs(q) + std::fabs(r);
                        p = p / s;
                        q = q / s;
                        r = r / s;
                        if (m == l) break;
                        const double u = std::fabs(a(m, m - 1)) * (std::fabs(q) + std::fabs(r));
                        const double v = std::fabs(p) * (std::fabs(a(m - 1, m - 1)) + std::fabs(z) +
                                                         std::fabs(a(m + 1, m + 1)));
                        if (u + v == v) break;
                    }
                    for (std::size_t i = m + 2; i <= nn; ++i) {
                        a(i, i - 2) = 0.0;
                        if (i != m + 2) a(i, i - 3) = 0.0;
                    }
                    for (std::size_t k = m; k <= nn - 1; ++k) {
                        if (k != m) {
                            p = a(k, k - 1);
                            q = a(k + 1, k - 1);
                            r = k != nn - 1 ? a(k + 2, k - 1) : 0.0;
                            x = std::fabs(p) + std::fabs(q) + std::fabs(r);
                            if (x != 0.0) {
                                p = p / x;
                                q = q / x;
                                r = r / x;
                            }
                        }
                        s = Sign(std::sqrt(p * p + q * q + r * r), p);
                        if (s == 0.0) continue;
                        if (k != m) {
                            a(k, k - 1) = -s * x;
                        } else if (l != m) {
                            a(k, k - 1) = -a(k, k - 1);
                        }
                        p = p + s;
                        x = p / s;
                        y = q / s;
                        z = r / s;
                        q = q / p;
                        r = r / p;
                        for (std::size_t j = k; j <= nn; ++j) {
                            p = a(k, j) + q * a(k + 1, j);
                            if (k != nn - 1) {
                                p = p + r * a(k + 2, j);
                                a(k + 2, j) = a(k + 2, j) - p * z;
                            }
                            a(k + 1, j) = a(k + 1, j) - p * y;
                            a(k, j) = a(k, j) - p * x;
                        }
                        for (std::size_t i = l; i <= std::min(nn, k + 3); ++i) {
                            p = x * a(i, k) + y * a(i, k + 1);
                            if (k != nn - 1) {
                                p = p + z * a(i, k + 2);
                                a(i, k + 2) = a(i, k + 2) - p * r;
                            }
                            a(i, k + 1) = a(i, k + 1) - p * q;
                            a(i, k) = a(i, k) - p;
                        }
                    }
                }
            }
        }
    }
    for (std::size_t i = 1; i <= gaveUp; ++i) wr[i] = wi[i] = GiveUpNaN();
    wr_.assign(wr.begin() + 1, wr.end());
    wi_.assign(wi.begin() + 1, wi.end());
    return gaveUp;
}

std::vector<double> EigValues(const Dense &a, bool balance) {
    Dense h = a;
    if (balance) Balance(h);
    ReduceToHessenberg(h);
    std::vector<double> wr, wi;
    HessenbergEigenvalues(h, wr, wi);
    const double eps = std::ldexp(1.0, -52);
    for (std::size_t i = 0; i < wr.size(); ++i) {
        if (std::fabs(wi[i]) > eps) {
            wr[i] = std::sqrt(wr[i] * wr[i] + wi[i] * wi[i]);
            wi[i] = 0.0;
        }
    }
    return wr;
}

}  // namespace ref
}  // namespace linalg_test
