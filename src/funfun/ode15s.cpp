// src/funfun/ode15s.cpp: a stiff solver: the numerical differentiation
// formulas of orders 1 to 5 with quasi-constant steps, solved by a
// simplified Newton iteration on a finite-difference Jacobian.
#include <matrix/exceptions.h>
#include <matrix/funfun.h>

#include "funfun/ode_setup.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace kiv {
namespace matrix {

namespace {

constexpr int kMaxOrder = 5;
// Shampine and Reichelt 1997, table 1: the NDFs' kappa, chosen for
// stability angle and a smaller error constant than the BDFs'.
constexpr double kKappa[kMaxOrder + 1] = {0, -0.1850, -1.0 / 9, -0.0823, -0.0415, 0};
// Newton: at most this many iterations per attempt, each no slower than
// this rate of contraction.
constexpr int kMaxNewton = 4;
constexpr double kSlowRate = 0.9;
// A failed Newton iteration with a current Jacobian cuts the step to this.
constexpr double kNewtonCut = 0.3;

// A dense n x n matrix, factorised in place with partial pivoting
// (Doolittle, row interchanges in piv); Solve overwrites b with M\b.
struct Dense {
    std::size_t n;
    std::vector<double> a;  // column-major
    std::vector<std::size_t> piv;
    double &At(std::size_t i, std::size_t j) { return a[j * n + i]; }
    // False for a singular matrix (a zero pivot).
    bool Factor() {
        piv.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t p = k;
            for (std::size_t i = k + 1; i < n; ++i)
                if (std::fabs(At(i, k)) > std::fabs(At(p, k))) p = i;
            piv[k] = p;
            if (At(p, k) == 0) return false;
            if (p != k)
                for (std::size_t j = 0; j < n; ++j) std::swap(At(k, j), At(p, j));
            for (std::size_t i = k + 1; i < n; ++i) At(i, k) /= At(k, k);
            for (std::size_t j = k + 1; j < n; ++j)
                for (std::size_t i = k + 1; i < n; ++i) At(i, j) -= At(i, k) * At(k, j);
        }
        return true;
    }
    void Solve(double *b) {
        for (std::size_t k = 0; k < n; ++k) std::swap(b[k], b[piv[k]]);
        for (std::size_t k = 0; k < n; ++k)
            for (std::size_t i = k + 1; i < n; ++i) b[i] -= At(i, k) * b[k];
        for (std::size_t k = n; k-- > 0;) {
            b[k] /= At(k, k);
            for (std::size_t i = 0; i < k; ++i) b[i] -= At(i, k) * b[k];
        }
    }
};

}  // namespace

using funfun::EmitStep;
using funfun::Spacing;
using funfun::StepTooSmallMessage;

OdeSolution Ode15s(const OdeFunction &f, const std::vector<double> &tspan,
                   const std::vector<double> &y0, const OdeOptions &options) {
    // The Jacobian and its factors are n x n: a bound keeps them sane.
    constexpr std::size_t kMaxComponents = 4096;
    const funfun::OdeSetup setup = funfun::CheckOde(L"Ode15s", tspan, y0, options, kMaxComponents);
    if (options.events || options.dense)
        funfun::RefuseOde(L"Ode15s", L"events and dense output are not provided by this solver");
    const double t0 = setup.t0, tfinal = setup.tfinal, tdir = setup.tdir, rtol = setup.rtol;
    const double hmax = setup.hmax;
    const double htspan = std::fabs(tfinal - t0);
    const std::vector<double> &threshold = setup.threshold;
    const std::size_t n = y0.size();
    const bool fixedTimes = tspan.size() > 2 && !options.stepsOnly;

    double gamma[kMaxOrder + 2] = {0};  // gamma[k] = 1 + 1/2 + ... + 1/k
    double erconst[kMaxOrder + 2] = {0};
    for (int k = 1; k <= kMaxOrder + 1; ++k) gamma[k] = gamma[k - 1] + 1.0 / k;
    for (int k = 1; k <= kMaxOrder; ++k) erconst[k] = kKappa[k] * gamma[k] + 1.0 / (k + 1);

    OdeSolution sol;
    sol.n = n;
    const auto emit = [&](double t, const double *y) {
        sol.t.push_back(t);
        sol.y.insert(sol.y.end(), y, y + n);
    };
    double t = t0;
    std::vector<double> y = y0, yp(n), ynew(n), ypred(n), d(n), del(n), rhs(n), fnew(n), ftmp(n),
                        ytmp(n);
    f(t, y.data(), yp.data());
    sol.funcCount = 1;
    emit(t0, y0.data());
    std::size_t next = 1;

    // The weighted max norm of v.
    const auto norm = [&](const std::vector<double> &v, const std::vector<double> &a,
                          const std::vector<double> &b) {
        double m = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double w = std::max(std::max(std::fabs(a[i]), std::fabs(b[i])), threshold[i]);
            const double r = std::fabs(v[i]) / w;
            if (std::isnan(r)) return r;
            m = std::max(m, r);
        }
        return m;
    };

    // The Jacobian by forward differences, each column's increment
    // sqrt(eps) times the component's size or threshold.
    std::vector<double> jac(n * n);
    bool jcurrent = false;
    bool ypCurrent = true;  // yp holds f(t, y)
    const auto jacobian = [&]() {
        if (!ypCurrent) {
            f(t, y.data(), yp.data());
            ++sol.funcCount;
            ypCurrent = true;
        }
        const double delta = std::sqrt(DBL_EPSILON);
        for (std::size_t j = 0; j < n; ++j) {
            ytmp = y;
            double h = delta * std::max(std::fabs(y[j]), threshold[j]);
            if (y[j] < 0) h = -h;
            ytmp[j] = y[j] + h;
            h = ytmp[j] - y[j];
            f(t, ytmp.data(), ftmp.data());
            ++sol.funcCount;
            for (std::size_t i = 0; i < n; ++i) jac[j * n + i] = (ftmp[i] - yp[i]) / h;
        }
        jcurrent = true;
    };
    jacobian();

    // The first step, as ode15s of the paper chooses it: about
    // sqrt(rtol) relative change from the slope.
    double hmin = 16 * Spacing(t);
    double absh = std::min(hmax, htspan);
    if (options.initialStep > 0) {
        absh = std::min(absh, options.initialStep);
    } else {
        double rh = 0;
        for (std::size_t i = 0; i < n; ++i)
            rh = std::max(rh, std::fabs(yp[i]) / std::max(std::fabs(y[i]), threshold[i]));
        rh = 1.25 * rh / std::sqrt(rtol);
        if (absh * rh > 1) absh = 1 / rh;
    }
    absh = std::max(absh, hmin);
    double h = tdir * absh;

    // dif[m] (m = 0 .. kMaxOrder+1) holds the backward difference
    // nabla^(m+1) y at the current point for spacing h.
    std::vector<std::vector<double>> dif(kMaxOrder + 2, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) dif[0][i] = h * yp[i];
    int k = 1;
    int stepsAtOrder = 0;  // constant steps taken at order k
    // Rescales the differences up to order k for the step ratio rho: the
    // interpolating polynomial evaluated on the new grid, differenced again.
    const auto rescale = [&](double rho) {
        if (rho == 1) return;
        std::vector<std::vector<double>> p(static_cast<std::size_t>(k) + 1, std::vector<double>(n));
        for (int j = 0; j <= k; ++j) {
            const double s = -j * rho;
            double coef = 1;
            std::vector<double> &pj = p[static_cast<std::size_t>(j)];
            pj = y;
            for (int m = 1; m <= k; ++m) {
                coef *= (s + m - 1) / m;
                for (std::size_t i = 0; i < n; ++i) pj[i] += coef * dif[m - 1][i];
            }
        }
        for (int m = 1; m <= k; ++m) {
            double binom = 1;
            std::vector<double> &out = dif[static_cast<std::size_t>(m - 1)];
            std::fill(out.begin(), out.end(), 0.0);
            for (int j = 0; j <= m; ++j) {
                const double c = (j % 2 == 0 ? 1 : -1) * binom;
                for (std::size_t i = 0; i < n; ++i) out[i] += c * p[static_cast<std::size_t>(j)][i];
                binom = binom * (m - j) / (j + 1);
            }
        }
    };

    Dense miter{n, std::vector<double>(n * n), {}};
    double factoredFor = 0;  // the h/((1-kappa)gamma) miter holds, 0 for none
    bool done = false;
    while (!done) {
        hmin = 16 * Spacing(t);
        // Never below hmin, even for a smaller MaxStep: t must advance.
        double newAbsh = std::max(hmin, std::min(hmax, absh));
        if (1.1 * newAbsh >= std::fabs(tfinal - t)) {
            newAbsh = std::fabs(tfinal - t);
            done = true;
        }
        if (newAbsh != absh) {
            rescale(newAbsh / absh);
            absh = newAbsh;
            stepsAtOrder = 0;
        }
        int failures = 0;
        double tnew, err;
        for (;;) {
            h = tdir * absh;
            tnew = done ? tfinal : t + h;
            if (done) h = tnew - t;
            const double hinvGak = h / ((1 - kKappa[k]) * gamma[k]);
            // Predictor and the known part of the formula.
            std::vector<double> psi(n, 0.0);
            ypred = y;
            for (int m = 1; m <= k; ++m)
                for (std::size_t i = 0; i < n; ++i) {
                    ypred[i] += dif[m - 1][i];
                    psi[i] += dif[m - 1][i] * (gamma[m] / ((1 - kKappa[k]) * gamma[k]));
                }
            if (factoredFor != hinvGak) {
                for (std::size_t j = 0; j < n; ++j)
                    for (std::size_t i = 0; i < n; ++i)
                        miter.At(i, j) = (i == j ? 1.0 : 0.0) - hinvGak * jac[j * n + i];
                factoredFor = miter.Factor() ? hinvGak : -1;
            }
            // Simplified Newton on d = y(n+1) - predictor.
            bool converged = false;
            if (factoredFor == hinvGak) {
                std::fill(d.begin(), d.end(), 0.0);
                ynew = ypred;
                double minnrm = 0;
                {
                    std::vector<double> zero(n, 0.0);
                    minnrm = 100 * DBL_EPSILON * norm(ypred, ypred, zero);
                }
                double rate = 0, oldnrm = 0;
                for (int iter = 1; iter <= kMaxNewton; ++iter) {
                    f(tnew, ynew.data(), fnew.data());
                    ++sol.funcCount;
                    for (std::size_t i = 0; i < n; ++i) del[i] = hinvGak * fnew[i] - psi[i] - d[i];
                    miter.Solve(del.data());
                    for (std::size_t i = 0; i < n; ++i) {
                        d[i] += del[i];
                        ynew[i] = ypred[i] + d[i];
                    }
                    const double newnrm = norm(del, y, ynew);
                    if (std::isnan(newnrm)) break;
                    if (newnrm <= minnrm) {
                        converged = true;
                        break;
                    }
                    if (iter > 1) {
                        if (newnrm > kSlowRate * oldnrm) break;
                        rate = std::max(kSlowRate * rate, newnrm / oldnrm);
                        const double errit = newnrm * rate / (1 - rate);
                        if (errit <= 0.5 * rtol) {
                            converged = true;
                            break;
                        }
                        if (0.5 * rtol < errit * std::pow(rate, kMaxNewton - iter)) break;
                    }
                    oldnrm = newnrm;
                }
            }
            if (!converged) {
                // A fresh Jacobian first; with a current one, a shorter step.
                if (!jcurrent) {
                    jacobian();
                    factoredFor = 0;
                    continue;
                }
                if (absh <= hmin) {
                    sol.status = 1;
                    sol.message = StepTooSmallMessage(t, hmin);
                    return sol;
                }
                const double newh = std::max(hmin, kNewtonCut * absh);
                rescale(newh / absh);
                absh = newh;
                done = false;
                stepsAtOrder = 0;
                continue;
            }
            // The local error estimate.
            err = norm(d, y, ynew) * erconst[k];
            if (err <= rtol) break;
            ++sol.failedSteps;
            ++failures;
            if (absh <= hmin) {
                sol.status = 1;
                sol.message = StepTooSmallMessage(t, hmin);
                return sol;
            }
            double newh;
            if (failures == 1) {
                newh = absh * std::max(0.1, 0.833 * std::pow(rtol / err, 1.0 / (k + 1)));
            } else {
                newh = 0.5 * absh;
                // Repeated failures lower the order too.
                if (k > 1) --k;
            }
            newh = std::max(hmin, newh);
            rescale(newh / absh);
            absh = newh;
            done = false;
            stepsAtOrder = 0;
        }
        ++sol.steps;
        // The differences at the new point: nabla^(k+1) y(n+1) = d.
        for (std::size_t i = 0; i < n; ++i) {
            dif[k + 1][i] = d[i] - dif[k][i];
            dif[k][i] = d[i];
        }
        for (int j = k - 1; j >= 0; --j)
            for (std::size_t i = 0; i < n; ++i) dif[j][i] += dif[j + 1][i];

        // Output from the interpolating polynomial through the new point.
        const auto interpolate = [&](double tint) {
            const double s = (tint - tnew) / h;
            std::vector<double> v = ynew;
            double coef = 1;
            for (int m = 1; m <= k; ++m) {
                coef *= (s + m - 1) / m;
                for (std::size_t i = 0; i < n; ++i) v[i] += coef * dif[m - 1][i];
            }
            emit(tint, v.data());
        };
        EmitStep(fixedTimes, tspan, next, tdir, t, tnew, h,
                 options.refine > 0 && !options.stepsOnly ? options.refine : 1, ynew.data(),
                 interpolate, emit);
        if (done) break;
        t = tnew;
        y = ynew;
        jcurrent = false;
        ypCurrent = false;
        ++stepsAtOrder;
        // A new step size and order, considered after k + 1 steps at this
        // order and size without failure.
        if (failures == 0 && stepsAtOrder >= k + 1) {
            const double temp = 1.2 * std::pow(err / rtol, 1.0 / (k + 1));
            double hopt = temp > 0.1 ? absh / temp : 10 * absh;
            int kopt = k;
            if (k > 1) {
                const double errkm1 = norm(dif[k - 1], y, y) * erconst[k - 1];
                const double t1 = 1.3 * std::pow(errkm1 / rtol, 1.0 / k);
                const double h1 = t1 > 0.1 ? absh / t1 : 10 * absh;
                if (h1 > hopt) {
                    hopt = h1;
                    kopt = k - 1;
                }
            }
            if (k < kMaxOrder) {
                const double errkp1 = norm(dif[k + 1], y, y) * erconst[k + 1];
                const double t2 = 1.4 * std::pow(errkp1 / rtol, 1.0 / (k + 2));
                const double h2 = t2 > 0.1 ? absh / t2 : 10 * absh;
                if (h2 > hopt) {
                    hopt = h2;
                    kopt = k + 1;
                }
            }
            if (hopt > absh) {
                k = kopt;
                const double newh = std::min(hmax, hopt);
                rescale(newh / absh);
                absh = newh;
                stepsAtOrder = 0;
            }
        }
    }
    return sol;
}

}  // namespace matrix
}  // namespace kiv
