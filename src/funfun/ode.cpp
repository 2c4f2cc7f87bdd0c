// src/funfun/ode.cpp: explicit Runge-Kutta solvers of initial value
// problems with embedded error estimates: Ode45 (Dormand-Prince 5(4)) and
// Ode23 (Bogacki-Shampine 3(2)).
#include <matrix/exceptions.h>
#include <matrix/funfun.h>

#include "funfun/ode_setup.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

namespace kiv {
namespace matrix {

namespace {

// An embedded pair whose last stage is evaluated at the new point (first
// same as last): stage i (0-based, i >= 1) is f(t + c[i]*h, y + h*sum_j
// a[i][j]*k[j]); the last stage's argument is the new solution. e holds
// the coefficients of the error estimate (higher minus lower order), bi
// the continuous extension: y(t + s*h) = y + h*sum_i k[i]*sum_p
// bi[i][p]*s^(p+1).
struct Pair {
    int stages;
    double c[7];
    double a[7][7];
    double e[7];
    int degree;  // of the continuous extension in s
    double bi[7][4];
    double power;  // 1/(order of the lower formula + 1)
    int refine;
    const wchar_t *name;
};

// Dormand and Prince 1980, the RK5(4)7M pair; its continuous extension as
// Shampine and Reichelt 1997 give it.
const Pair kDormandPrince = {
    7,
    {0, 1.0 / 5, 3.0 / 10, 4.0 / 5, 8.0 / 9, 1, 1},
    {{0},
     {1.0 / 5},
     {3.0 / 40, 9.0 / 40},
     {44.0 / 45, -56.0 / 15, 32.0 / 9},
     {19372.0 / 6561, -25360.0 / 2187, 64448.0 / 6561, -212.0 / 729},
     {9017.0 / 3168, -355.0 / 33, 46732.0 / 5247, 49.0 / 176, -5103.0 / 18656},
     {35.0 / 384, 0, 500.0 / 1113, 125.0 / 192, -2187.0 / 6784, 11.0 / 84}},
    {71.0 / 57600, 0, -71.0 / 16695, 71.0 / 1920, -17253.0 / 339200, 22.0 / 525, -1.0 / 40},
    4,
    {{1, -183.0 / 64, 37.0 / 12, -145.0 / 128},
     {0, 0, 0, 0},
     {0, 1500.0 / 371, -1000.0 / 159, 1000.0 / 371},
     {0, -125.0 / 32, 125.0 / 12, -375.0 / 64},
     {0, 9477.0 / 3392, -729.0 / 106, 25515.0 / 6784},
     {0, -11.0 / 7, 11.0 / 3, -55.0 / 28},
     {0, 3.0 / 2, -4, 5.0 / 2}},
    1.0 / 5,
    4,
    L"Ode45"};

// Bogacki and Shampine 1989; the continuous extension is the cubic Hermite
// interpolant through both ends' values and slopes.
const Pair kBogackiShampine = {
    4,
    {0, 1.0 / 2, 3.0 / 4, 1},
    {{0}, {1.0 / 2}, {0, 3.0 / 4}, {2.0 / 9, 1.0 / 3, 4.0 / 9}},
    {-5.0 / 72, 1.0 / 12, 1.0 / 9, -1.0 / 8},
    3,
    {{1, -4.0 / 3, 5.0 / 9}, {0, 1, -2.0 / 3}, {0, 4.0 / 3, -8.0 / 9}, {0, -1, 1}},
    1.0 / 3,
    1,
    L"Ode23"};

// Step control of Shampine and Reichelt 1997: a failed step shrinks by at
// most 10 (first failure) or by 2 (later ones), a good step grows by at
// most 5, aiming at 0.8 of the tolerance.
constexpr double kSafety = 0.8;
constexpr double kMaxShrink = 0.1;
constexpr double kMaxGrowth = 5;
// Relative tolerances below this many units of roundoff are raised to it.
constexpr double kMinRelTolUlps = 100;

}  // namespace

namespace funfun {

[[noreturn]] void RefuseOde(const wchar_t *name, const wchar_t *what) {
    const std::wstring text = std::wstring(name) + L": " + what;
    throw CFunctionErrorException(kiv::WString(text.c_str()));
}

std::string StepTooSmallMessage(double t, double hmin) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Failure at t=%e.  Unable to meet integration tolerances without reducing the "
                  "step size below the smallest value allowed (%e) at time t.",
                  t, hmin);
    return text;
}

double Spacing(double t) {
    t = std::fabs(t);
    return std::nextafter(t, INFINITY) - t;
}

OdeSetup CheckOde(const wchar_t *name, const std::vector<double> &tspan,
                  const std::vector<double> &y0, const OdeOptions &options,
                  std::size_t maxComponents) {
    if (tspan.size() < 2) RefuseOde(name, L"tspan must hold at least two times");
    for (const double t : tspan)
        if (!std::isfinite(t)) RefuseOde(name, L"the times of tspan must be finite");
    OdeSetup s;
    s.t0 = tspan.front();
    s.tfinal = tspan.back();
    if (s.t0 == s.tfinal) RefuseOde(name, L"the first and last times of tspan must differ");
    // An infinite span would make every step infinite.
    if (!std::isfinite(s.tfinal - s.t0)) RefuseOde(name, L"the span of tspan must be finite");
    s.tdir = s.tfinal > s.t0 ? 1.0 : -1.0;
    for (std::size_t k = 1; k < tspan.size(); ++k)
        if (!(s.tdir * (tspan[k] - tspan[k - 1]) > 0))
            RefuseOde(name, L"the times of tspan must be strictly increasing or decreasing");
    const std::size_t n = y0.size();
    if (n == 0) RefuseOde(name, L"the initial value must not be empty");
    if (maxComponents != 0 && n > maxComponents)
        RefuseOde(name, L"more than 4096 components (the Jacobian is n x n)");
    if (!(options.relTol > 0)) RefuseOde(name, L"RelTol must be positive");
    if (options.absTol.size() != 1 && options.absTol.size() != n)
        RefuseOde(name, L"AbsTol must be a scalar or hold one value per component");
    for (const double a : options.absTol)
        if (!(a > 0)) RefuseOde(name, L"AbsTol must be positive");
    if (options.maxStep < 0 || std::isnan(options.maxStep) || options.initialStep < 0 ||
        std::isnan(options.initialStep))
        RefuseOde(name, L"MaxStep and InitialStep must be positive");
    s.rtol = std::max(options.relTol, kMinRelTolUlps * DBL_EPSILON);
    s.threshold.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        s.threshold[i] = options.absTol[options.absTol.size() == 1 ? 0 : i] / s.rtol;
    const double htspan = std::fabs(s.tfinal - s.t0);
    s.hmax = options.maxStep > 0 ? std::min(options.maxStep, htspan) : 0.1 * htspan;
    return s;
}

}  // namespace funfun

namespace {

using funfun::EmitStep;
using funfun::Spacing;
using funfun::StepTooSmallMessage;

OdeSolution Solve(const Pair &pair, const OdeFunction &f, const std::vector<double> &tspan,
                  const std::vector<double> &y0, const OdeOptions &options) {
    // Check the arguments before the first call of f.
    const funfun::OdeSetup setup = funfun::CheckOde(pair.name, tspan, y0, options);
    const double t0 = setup.t0, tfinal = setup.tfinal, tdir = setup.tdir, rtol = setup.rtol;
    const double hmax = setup.hmax;
    const double htspan = std::fabs(tfinal - t0);
    const std::vector<double> &threshold = setup.threshold;
    const std::size_t n = y0.size();
    const int refine = options.refine > 0 ? options.refine : pair.refine;
    const bool fixedTimes = tspan.size() > 2;

    OdeSolution sol;
    sol.n = n;
    const auto emit = [&](double t, const double *y) {
        sol.t.push_back(t);
        sol.y.insert(sol.y.end(), y, y + n);
    };
    const int s = pair.stages;
    std::vector<double> k(static_cast<std::size_t>(s) * n), y = y0, ynew(n), ystage(n), yout(n);
    double *const k0 = k.data();
    double t = t0;
    f(t, y.data(), k0);
    sol.funcCount = 1;
    emit(t0, y0.data());
    std::size_t next = 1;  // the next time of tspan to give, when fixed

    // The first step: at most hmax, and small enough that it changes y by
    // about rtol^power relative to its weight.
    double hmin = 16 * Spacing(t);
    double absh = std::min(hmax, htspan);
    if (options.initialStep > 0) {
        absh = std::min(absh, options.initialStep);
    } else {
        double rh = 0;
        for (std::size_t i = 0; i < n; ++i)
            rh = std::max(rh, std::fabs(k0[i]) / std::max(std::fabs(y[i]), threshold[i]));
        rh /= kSafety * std::pow(rtol, pair.power);
        if (absh * rh > 1) absh = 1 / rh;
    }
    absh = std::max(absh, hmin);

    bool done = false;
    while (!done) {
        hmin = 16 * Spacing(t);
        // Never below hmin, even for a smaller MaxStep: t must advance.
        absh = std::max(hmin, std::min(hmax, absh));
        double h = tdir * absh;
        // Stretch the step to the end when it is close.
        if (1.1 * absh >= std::fabs(tfinal - t)) {
            h = tfinal - t;
            absh = std::fabs(h);
            done = true;
        }
        bool nofailed = true;
        double tnew, err;
        for (;;) {
            // The stages; the last one's argument is the new solution.
            for (int i = 1; i < s; ++i) {
                for (std::size_t j = 0; j < n; ++j) {
                    double sum = 0;
                    for (int m = 0; m < i; ++m) sum += pair.a[i][m] * k[m * n + j];
                    ystage[j] = y[j] + h * sum;
                }
                const double ti = i + 1 == s ? (done ? tfinal : t + h) : t + pair.c[i] * h;
                f(ti, ystage.data(), k.data() + i * n);
                ++sol.funcCount;
            }
            ynew = ystage;
            tnew = done ? tfinal : t + h;
            h = tnew - t;  // the step really taken
            // The error estimate in the max norm, relative to each
            // component's size over the step or its threshold.
            err = 0;
            for (std::size_t j = 0; j < n; ++j) {
                double e = 0;
                for (int m = 0; m < s; ++m) e += pair.e[m] * k[m * n + j];
                const double w =
                    std::max(std::max(std::fabs(y[j]), std::fabs(ynew[j])), threshold[j]);
                err = std::max(err, std::fabs(e) / w);
                if (std::isnan(e)) err = e;
            }
            err = absh * err;
            if (err <= rtol) break;
            ++sol.failedSteps;
            if (absh <= hmin) {
                sol.status = 1;
                sol.message = StepTooSmallMessage(t, hmin);
                return sol;
            }
            if (nofailed) {
                nofailed = false;
                const double shrink =
                    std::isnan(err)
                        ? kMaxShrink
                        : std::max(kMaxShrink, kSafety * std::pow(rtol / err, pair.power));
                absh = std::max(hmin, absh * shrink);
            } else {
                absh = std::max(hmin, 0.5 * absh);
            }
            h = tdir * absh;
            done = false;
        }
        ++sol.steps;

        // Output: the points inside the step by the continuous extension.
        const auto interpolate = [&](double tint) {
            const double sv = (tint - t) / h;
            double powers[4];
            double p = 1;
            for (int q = 0; q < pair.degree; ++q) powers[q] = (p *= sv);
            for (std::size_t j = 0; j < n; ++j) {
                double sum = 0;
                for (int m = 0; m < s; ++m) {
                    double w = 0;
                    for (int q = 0; q < pair.degree; ++q) w += pair.bi[m][q] * powers[q];
                    sum += k[m * n + j] * w;
                }
                yout[j] = y[j] + h * sum;
            }
            emit(tint, yout.data());
        };
        EmitStep(fixedTimes, tspan, next, tdir, t, tnew, h, refine, ynew.data(), interpolate, emit);
        if (done) break;
        // Grow the next step after a step that did not fail.
        if (nofailed) {
            const double temp = 1.25 * std::pow(err / rtol, pair.power);
            absh = temp > 1 / kMaxGrowth ? absh / temp : kMaxGrowth * absh;
        }
        t = tnew;
        y = ynew;
        std::copy(k.begin() + (s - 1) * static_cast<std::ptrdiff_t>(n), k.end(), k.begin());
    }
    return sol;
}

}  // namespace

OdeSolution Ode45(const OdeFunction &f, const std::vector<double> &tspan,
                  const std::vector<double> &y0, const OdeOptions &options) {
    return Solve(kDormandPrince, f, tspan, y0, options);
}

OdeSolution Ode23(const OdeFunction &f, const std::vector<double> &tspan,
                  const std::vector<double> &y0, const OdeOptions &options) {
    return Solve(kBogackiShampine, f, tspan, y0, options);
}

}  // namespace matrix
}  // namespace kiv
