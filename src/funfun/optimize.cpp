// src/funfun/optimize.cpp: zeros and minima of callbacks: Fzero (Brent),
// Fminbnd (Brent's localmin) and Fminsearch (Nelder-Mead).
#include <matrix/exceptions.h>
#include <matrix/funfun.h>

#include <algorithm>
#include <cfloat>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

namespace kiv {
namespace matrix {

namespace {

constexpr double kEps = DBL_EPSILON;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The defaults of the routines' limits, as their header states them.
// Fzero has no limits by default: the search ends when its interval
// overflows (about 4100 values), and Brent's method always converges.
constexpr double kFzeroMaxIter = INFINITY;
constexpr double kFzeroMaxFunEvals = INFINITY;
constexpr double kFminbndTolX = 1e-4;
constexpr double kFminbndMaxIter = 500;
constexpr double kSimplexTol = 1e-4;
constexpr double kSimplexEvalsPerVariable = 200;
// The simplex holds (n + 1) * n values: 4096 variables take 128 MiB.
constexpr std::size_t kSimplexMaxVariables = 4096;

double OrDefault(double value, double fallback) { return value > 0 ? value : fallback; }

// Sends one line to the sink when the display level asks for lines of this
// kind: per-iteration lines only at kIter.
class Reporter {
public:
    explicit Reporter(const OptimOptions &o) : m_options(o) {}
    bool Iter() const { return m_options.print && m_options.display == FunfunDisplay::kIter; }
    [[gnu::format(printf, 2, 3)]] void Line(const char *format, ...) const {
        char text[256];
        va_list values;
        va_start(values, format);
        std::vsnprintf(text, sizeof text, format, values);
        va_end(values);
        m_options.print(text);
    }
    // The outcome's message: shown at kIter and kFinal, and at kNotify
    // when it is not a success.
    void Outcome(const std::string &message, int exitflag) const {
        if (!m_options.print || message.empty()) return;
        const FunfunDisplay d = m_options.display;
        if (d == FunfunDisplay::kOff || (d == FunfunDisplay::kNotify && exitflag > 0)) return;
        m_options.print(message);
    }

private:
    const OptimOptions &m_options;
};

std::string Number(double x) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", x);
    return text;
}

bool SameSign(double x, double y) { return (x > 0) == (y > 0); }

// Brent's zero on a bracket: fa and fb differ in sign or one is 0. `count`
// holds the function values taken before; the result's counts add to it.
ScalarOptimum BrentZero(const ScalarFunction &f, double a, double fa, double b, double fb,
                        const OptimOptions &options, int count) {
    const double tolx = OrDefault(options.tolX, kEps);
    const double maxIter = OrDefault(options.maxIter, kFzeroMaxIter);
    const double maxEvals = OrDefault(options.maxFunEvals, kFzeroMaxFunEvals);
    const Reporter report(options);
    ScalarOptimum r;
    r.algorithm = "bisection, interpolation";
    r.funcCount = count;
    const double fa0 = std::fabs(fa), fb0 = std::fabs(fb);
    if (report.Iter()) {
        report.Line(" Func-count    x          f(x)             Procedure");
        report.Line("%5d   %13.6g %13.6g        %s", r.funcCount - 1, a, fa, "initial");
        report.Line("%5d   %13.6g %13.6g        %s", r.funcCount, b, fb, "initial");
    }
    if (fa == 0) {
        std::swap(a, b);
        std::swap(fa, fb);
    }
    // c is the other end of the bracket [b, c]; b the best point, a the
    // previous b. d is the step just taken, e the one before.
    double c = a, fc = fa, d = b - a, e = d;
    int exitflag = 1;
    while (fb != 0) {
        if (SameSign(fb, fc)) {
            c = a;
            fc = fa;
            d = b - a;
            e = d;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        // Brent's tolerance: the bracket has converged when |m| <= toler.
        const double toler = 2.0 * kEps * std::fabs(b) + 0.5 * tolx;
        // Halved before the difference, which overflows for a bracket as
        // wide as the doubles.
        const double m = 0.5 * c - 0.5 * b;
        if (std::fabs(m) <= toler) break;
        if (r.iterations >= maxIter || r.funcCount >= maxEvals) {
            exitflag = 0;
            break;
        }
        const char *procedure = "bisection";
        if (std::fabs(e) < toler || std::fabs(fa) <= std::fabs(fb)) {
            d = m;
            e = m;
        } else {
            // Interpolate: a secant through (a, b) when a == c, otherwise an
            // inverse quadratic through a, b and c.
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2.0 * m * s;
                q = 1.0 - s;
                procedure = "interpolation";
            } else {
                const double qa = fa / fc, rb = fb / fc;
                p = s * (2.0 * m * qa * (qa - rb) - (b - a) * (rb - 1.0));
                q = (qa - 1.0) * (rb - 1.0) * (s - 1.0);
                procedure = "interpolation";
            }
            if (p > 0)
                q = -q;
            else
                p = -p;
            // Take the interpolated step only inside the bracket and while
            // it shrinks faster than bisection would.
            if (2.0 * p < 3.0 * m * q - std::fabs(toler * q) && p < std::fabs(0.5 * e * q)) {
                e = d;
                d = p / q;
            } else {
                d = m;
                e = m;
                procedure = "bisection";
            }
        }
        a = b;
        fa = fb;
        if (std::fabs(d) > toler)
            b += d;
        else
            b += (m > 0 ? toler : -toler);
        fb = f(b);
        ++r.funcCount;
        ++r.iterations;
        if (report.Iter())
            report.Line("%5d   %13.6g %13.6g        %s", r.funcCount, b, fb, procedure);
    }
    r.x = b;
    r.fval = fb;
    if (exitflag == 1 && std::fabs(fb) > std::max(fa0, fb0)) {
        exitflag = -5;
        r.message = "Current point x may be near a singular point. The interval [" +
                    Number(std::min(b, c)) + ", " + Number(std::max(b, c)) +
                    "] reduced to the requested tolerance and the function changes sign "
                    "in the interval, but f(x) increased in magnitude as the interval "
                    "reduced.";
    } else if (exitflag == 1) {
        r.message = "Zero found in the interval [" + Number(std::min(b, c)) + ", " +
                    Number(std::max(b, c)) + "]";
    } else {
        r.message =
            "Exiting: Maximum number of iterations or function evaluations has been "
            "exceeded - increase MaxIter or MaxFunEvals option.";
    }
    r.exitflag = exitflag;
    report.Outcome(r.message, exitflag);
    return r;
}

}  // namespace

ScalarOptimum Fzero(const ScalarFunction &f, double a, double b, const OptimOptions &options) {
    if (!std::isfinite(a) || !std::isfinite(b))
        throw CFunctionErrorException(L"Fzero: the interval endpoints must be finite");
    const double fa = f(a);
    const double fb = f(b);
    if (std::isnan(fa) || std::isnan(fb) || (fa != 0 && fb != 0 && SameSign(fa, fb)))
        throw CFunctionErrorException(
            L"Fzero: The function values at the interval endpoints must differ in sign.");
    return BrentZero(f, a, fa, b, fb, options, 2);
}

ScalarOptimum Fzero(const ScalarFunction &f, double x0, const OptimOptions &options) {
    const double fx = f(x0);
    if (!std::isfinite(fx) || !std::isfinite(x0))
        throw CFunctionErrorException(
            L"Fzero: the function value at the starting point must be finite and real");
    const Reporter report(options);
    ScalarOptimum r;
    r.funcCount = 1;
    r.algorithm = "bisection, interpolation";
    if (fx == 0) {
        r.x = x0;
        r.fval = 0;
        r.exitflag = 1;
        r.message = "Zero found at the starting point";
        report.Outcome(r.message, 1);
        return r;
    }
    // Widen [x0 - dx, x0 + dx] by sqrt(2) each time until f changes sign.
    const double grow = std::sqrt(2.0);
    const double maxEvals = OrDefault(options.maxFunEvals, kFzeroMaxFunEvals);
    double dx = x0 != 0 ? std::fabs(x0) / 50.0 : 1.0 / 50.0;
    double a = x0, b = x0, fa = fx, fb = fx;
    if (report.Iter()) {
        report.Line("Search for an interval around %g containing a sign change:", x0);
        report.Line(" Func-count    a          f(a)             b          f(b)        Procedure");
        report.Line("%5d   %13.6g %13.6g %13.6g %13.6g   initial interval", r.funcCount, a, fa, b,
                    fb);
    }
    int exitflag = 1;
    const auto row = [&](const char *what) {
        if (report.Iter())
            report.Line("%5d   %13.6g %13.6g %13.6g %13.6g   %s", r.funcCount, a, fa, b, fb, what);
    };
    // Each widening moves the lower end first and stops at the first end
    // whose value differs in sign from the other end's.
    for (;;) {
        if (r.funcCount >= maxEvals) {
            exitflag = 0;
            break;
        }
        dx *= grow;
        if (!std::isfinite(x0 - dx) || !std::isfinite(x0 + dx)) {
            exitflag = -6;
            break;
        }
        a = x0 - dx;
        fa = f(a);
        ++r.funcCount;
        ++r.intervalIterations;
        if (!std::isfinite(fa)) {
            exitflag = -3;
            break;
        }
        if (fa == 0 || !SameSign(fa, fb)) {
            row("search");
            break;
        }
        b = x0 + dx;
        fb = f(b);
        ++r.funcCount;
        row("search");
        if (!std::isfinite(fb)) {
            exitflag = -3;
            break;
        }
        if (fb == 0 || !SameSign(fa, fb)) break;
    }
    if (exitflag != 1) {
        r.x = kNaN;
        r.fval = kNaN;
        r.exitflag = exitflag;
        r.message =
            exitflag == -3   ? "Exiting fzero: aborting search for an interval containing a sign "
                               "change because NaN or Inf function value encountered during search."
            : exitflag == -6 ? "Exiting fzero: aborting search for an interval containing a sign "
                               "change because no sign change is detected."
                             : "Exiting fzero: aborting search for an interval containing a sign "
                               "change because the maximum number of function evaluations was "
                               "reached.";
        report.Outcome(r.message, exitflag);
        return r;
    }
    if (report.Iter())
        report.Line("Search for a zero in the interval [%g, %g]:", std::min(a, b), std::max(a, b));
    ScalarOptimum z = BrentZero(f, a, fa, b, fb, options, r.funcCount);
    z.intervalIterations = r.intervalIterations;
    return z;
}

ScalarOptimum Fminbnd(const ScalarFunction &f, double ax, double bx, const OptimOptions &options) {
    if (!std::isfinite(ax) || !std::isfinite(bx) || ax > bx)
        throw CFunctionErrorException(L"Fminbnd: the bounds must be finite with a <= b");
    const double tolx = OrDefault(options.tolX, kFminbndTolX);
    const double maxIter = OrDefault(options.maxIter, kFminbndMaxIter);
    const double maxEvals = OrDefault(options.maxFunEvals, kFminbndMaxIter);
    const Reporter report(options);
    ScalarOptimum r;
    r.algorithm = "golden section search, parabolic interpolation";
    // The square of the inverse golden ratio: the golden section step.
    const double c = 0.5 * (3.0 - std::sqrt(5.0));
    const double sqrteps = std::sqrt(kEps);
    double a = ax, b = bx;
    double v = a + c * (b - a), w = v, x = v;
    double d = 0, e = 0;
    double fx = f(x);
    r.funcCount = 1;
    double fv = fx, fw = fx;
    if (report.Iter()) {
        report.Line(" Func-count     x          f(x)         Procedure");
        report.Line("%5d   %12.6g %12.6g        %s", r.funcCount, x, fx, "initial");
    }
    int exitflag = 1;
    for (;;) {
        const double xm = 0.5 * (a + b);
        const double tol1 = sqrteps * std::fabs(x) + tolx / 3.0;
        const double tol2 = 2.0 * tol1;
        if (std::fabs(x - xm) <= tol2 - 0.5 * (b - a)) break;
        if (r.iterations >= maxIter || r.funcCount >= maxEvals) {
            exitflag = 0;
            break;
        }
        bool golden = true;
        const char *procedure = "golden";
        if (std::fabs(e) > tol1) {
            // A parabola through x, w and v: its minimum at x + p/q.
            double rr = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * rr;
            q = 2.0 * (q - rr);
            if (q > 0) p = -p;
            q = std::fabs(q);
            rr = e;
            e = d;
            if (std::fabs(p) < std::fabs(0.5 * q * rr) && p > q * (a - x) && p < q * (b - x)) {
                d = p / q;
                const double u = x + d;
                // Not closer than tol2 to either bound.
                if (u - a < tol2 || b - u < tol2) d = xm >= x ? tol1 : -tol1;
                golden = false;
                procedure = "parabolic";
            }
        }
        if (golden) {
            e = x >= xm ? a - x : b - x;
            d = c * e;
        }
        // Never evaluate closer than tol1 to x.
        const double u = x + (std::fabs(d) >= tol1 ? d : (d > 0 ? tol1 : -tol1));
        const double fu = f(u);
        ++r.funcCount;
        ++r.iterations;
        if (report.Iter())
            report.Line("%5d   %12.6g %12.6g        %s", r.funcCount, u, fu, procedure);
        if (fu <= fx) {
            if (u >= x)
                a = x;
            else
                b = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    r.x = x;
    r.fval = fx;
    r.exitflag = exitflag;
    r.message = exitflag == 1
                    ? "Optimization terminated: the current x satisfies the termination "
                      "criteria using OPTIONS.TolX of " +
                          Number(tolx)
                    : "Exiting: Maximum number of function evaluations or iterations has been "
                      "exceeded - increase MaxFunEvals or MaxIter option.";
    report.Outcome(r.message, exitflag);
    return r;
}

SimplexOptimum Fminsearch(const MultivariateFunction &f, const std::vector<double> &x0,
                          const OptimOptions &options) {
    const std::size_t n = x0.size();
    if (n > kSimplexMaxVariables)
        throw CFunctionErrorException(
            L"Fminsearch: more than 4096 variables (the simplex holds n + 1 copies of x)");
    const Reporter report(options);
    SimplexOptimum r;
    r.algorithm = "Nelder-Mead simplex direct search";
    const double tolx = OrDefault(options.tolX, kSimplexTol);
    const double tolf = OrDefault(options.tolFun, kSimplexTol);
    const double maxIter = OrDefault(options.maxIter, kSimplexEvalsPerVariable * n);
    const double maxEvals = OrDefault(options.maxFunEvals, kSimplexEvalsPerVariable * n);
    // The coefficients of Lagarias et al.: reflection, expansion,
    // contraction, shrink.
    const double rho = 1, chi = 2, psi = 0.5, sigma = 0.5;
    // The first simplex: x0 and one vertex per component moved by 5%, or
    // to 0.00025 when it is 0.
    constexpr double kDelta = 0.05, kZeroDelta = 0.00025;
    std::vector<std::vector<double>> v(n + 1, x0);
    std::vector<double> fv(n + 1);
    fv[0] = f(v[0]);
    r.funcCount = 1;
    for (std::size_t j = 0; j < n; ++j) {
        double &y = v[j + 1][j];
        y = y != 0 ? (1 + kDelta) * y : kZeroDelta;
        fv[j + 1] = f(v[j + 1]);
        ++r.funcCount;
    }
    // Keeps the vertices in increasing order of their values, NaN last; a
    // stable sort leaves ties in their order.
    std::vector<std::size_t> order(n + 1);
    const auto sort = [&]() {
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
            return !std::isnan(fv[i]) && (std::isnan(fv[j]) || fv[i] < fv[j]);
        });
        std::vector<std::vector<double>> sv(n + 1);
        std::vector<double> sf(n + 1);
        for (std::size_t k = 0; k <= n; ++k) {
            sv[k] = std::move(v[order[k]]);
            sf[k] = fv[order[k]];
        }
        v = std::move(sv);
        fv = std::move(sf);
    };
    sort();
    if (report.Iter()) {
        report.Line(" Iteration   Func-count     min f(x)         Procedure");
        report.Line("%6d        %5d     %12.6g         %s", 0, 1, fv[0], "");
        report.Line("%6d        %5d     %12.6g         %s", 1, r.funcCount, fv[0],
                    "initial simplex");
    }
    r.iterations = n > 0 ? 1 : 0;
    int exitflag = 1;
    std::vector<double> xbar(n), xr(n), xe(n), xc(n);
    const auto point = [&](std::vector<double> &out, double s) {
        // out = (1 + s)*xbar - s*worst
        for (std::size_t i = 0; i < n; ++i) out[i] = (1 + s) * xbar[i] - s * v[n][i];
    };
    while (n > 0) {
        // Converged: every value within tolf and every vertex within tolx
        // of the best (each at least 10 units in the last place).
        double fspread = 0, xspread = 0, xbest = 0;
        for (std::size_t k = 1; k <= n; ++k) {
            fspread = std::max(fspread, std::fabs(fv[0] - fv[k]));
            for (std::size_t i = 0; i < n; ++i)
                xspread = std::max(xspread, std::fabs(v[k][i] - v[0][i]));
        }
        for (std::size_t i = 0; i < n; ++i) xbest = std::max(xbest, v[0][i]);
        const auto ulp = [](double x) {
            x = std::fabs(x);
            return std::isfinite(x) ? std::nextafter(x, INFINITY) - x : kNaN;
        };
        if (fspread <= std::max(tolf, 10 * ulp(fv[0])) &&
            xspread <= std::max(tolx, 10 * ulp(xbest)))
            break;
        if (r.funcCount >= maxEvals || r.iterations >= maxIter) {
            exitflag = 0;
            break;
        }
        // The centroid of the best n vertices, summed in vertex order.
        for (std::size_t i = 0; i < n; ++i) {
            double s = 0;
            for (std::size_t k = 0; k < n; ++k) s += v[k][i];
            xbar[i] = s / static_cast<double>(n);
        }
        point(xr, rho);
        const double fxr = f(xr);
        ++r.funcCount;
        const char *how;
        if (fxr < fv[0]) {
            point(xe, rho * chi);
            const double fxe = f(xe);
            ++r.funcCount;
            if (fxe < fxr) {
                v[n] = xe;
                fv[n] = fxe;
                how = "expand";
            } else {
                v[n] = xr;
                fv[n] = fxr;
                how = "reflect";
            }
        } else if (fxr < fv[n - 1]) {
            v[n] = xr;
            fv[n] = fxr;
            how = "reflect";
        } else {
            bool shrink = false;
            if (fxr < fv[n]) {
                point(xc, psi * rho);
                const double fxc = f(xc);
                ++r.funcCount;
                if (fxc <= fxr) {
                    v[n] = xc;
                    fv[n] = fxc;
                    how = "contract outside";
                } else {
                    shrink = true;
                }
            } else {
                point(xc, -psi);
                const double fxcc = f(xc);
                ++r.funcCount;
                if (fxcc < fv[n]) {
                    v[n] = xc;
                    fv[n] = fxcc;
                    how = "contract inside";
                } else {
                    shrink = true;
                }
            }
            if (shrink) {
                for (std::size_t k = 1; k <= n; ++k) {
                    for (std::size_t i = 0; i < n; ++i)
                        v[k][i] = v[0][i] + sigma * (v[k][i] - v[0][i]);
                    fv[k] = f(v[k]);
                    ++r.funcCount;
                }
                how = "shrink";
            }
        }
        sort();
        ++r.iterations;
        if (report.Iter())
            report.Line("%6d        %5d     %12.6g         %s", r.iterations, r.funcCount, fv[0],
                        how);
    }
    r.x = v[0];
    r.fval = fv[0];
    r.exitflag = exitflag;
    r.message =
        exitflag == 1
            ? "Optimization terminated:\n the current x satisfies the termination "
              "criteria using OPTIONS.TolX of " +
                  Number(tolx) +
                  "\n and F(X) satisfies the convergence criteria using OPTIONS.TolFun of " +
                  Number(tolf)
            : std::string("Exiting: Maximum number of ") +
                  (r.funcCount >= maxEvals ? "function evaluations" : "iterations") +
                  " has been exceeded\n         - increase " +
                  (r.funcCount >= maxEvals ? "MaxFunEvals" : "MaxIter") + " option.";
    report.Outcome(r.message, exitflag);
    return r;
}

}  // namespace matrix
}  // namespace kiv
