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
    const char *method;  // as OdeSolution::method names it
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
    L"Ode45",
    "ode45"};

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
    L"Ode23",
    "ode23"};

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

// y(t + sv*h) by the pair's continuous extension of the step from (t, y)
// of length h with stage slopes k (stage after stage, n each).
void Extend(const Pair &pair, std::size_t n, const double *y, const double *k, double h,
            double sv, double *out) {
    double powers[4];
    double p = 1;
    for (int q = 0; q < pair.degree; ++q) powers[q] = (p *= sv);
    for (std::size_t j = 0; j < n; ++j) {
        double sum = 0;
        for (int m = 0; m < pair.stages; ++m) {
            double w = 0;
            for (int q = 0; q < pair.degree; ++q) w += pair.bi[m][q] * powers[q];
            sum += k[m * n + j] * w;
        }
        out[j] = y[j] + h * sum;
    }
}

// The event function's values at (t, y), checked: as many as `count` (set
// by the first call), terminal and direction lists of that length or
// empty, no NaN.
void EventsAt(const Pair &pair, const OdeEventFunction &events, double t, const double *y,
              std::size_t &count, bool first, OdeEventValues &out) {
    out.value.clear();
    out.terminal.clear();
    out.direction.clear();
    events(t, y, out);
    if (first) count = out.value.size();
    if (out.value.size() != count)
        funfun::RefuseOde(pair.name, L"the event function must give the same number of values at every call");
    if ((!out.terminal.empty() && out.terminal.size() != count) ||
        (!out.direction.empty() && out.direction.size() != count))
        funfun::RefuseOde(pair.name, L"the event function's terminal and direction lists must have one entry per value");
    for (const double v : out.value)
        if (std::isnan(v)) funfun::RefuseOde(pair.name, L"the event function gave NaN");
}

int Sign(double v) { return (v > 0) - (v < 0); }

// An event located in a step: its time, its index and whether it stops.
struct Located {
    double t;
    int index;
    bool terminal;
};

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
    const int refine = options.stepsOnly ? 1 : options.refine > 0 ? options.refine : pair.refine;
    const bool fixedTimes = tspan.size() > 2 && !options.stepsOnly;

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
    if (options.dense) {
        sol.method = pair.method;
        sol.stages = s;
    }
    sol.end = t0;
    // The event values at the start of the current step.
    const bool watching = static_cast<bool>(options.events);
    std::size_t eventCount = 0;
    OdeEventValues before, after, probe;
    if (watching) EventsAt(pair, options.events, t0, y0.data(), eventCount, true, before);

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
        if (options.dense) {
            sol.stepStart.push_back(t);
            sol.stepLength.push_back(h);
            sol.stepY.insert(sol.stepY.end(), y.begin(), y.end());
            sol.stepK.insert(sol.stepK.end(), k.begin(), k.end());
        }

        // Output: the points inside the step by the continuous extension.
        const auto interpolate = [&](double tint) {
            Extend(pair, n, y.data(), k.data(), h, (tint - t) / h, yout.data());
            emit(tint, yout.data());
        };
        bool stop = false;
        double stopAt = tnew;
        if (watching) {
            EventsAt(pair, options.events, tnew, ynew.data(), eventCount, false, after);
            std::vector<Located> found;
            for (std::size_t i = 0; i < eventCount; ++i) {
                const double vl = before.value[i], vr = after.value[i];
                const int direction = after.direction.empty() ? 0 : after.direction[i];
                // From a nonzero value to zero or the other sign, counted
                // only in the direction asked for.
                if (vl == 0 || Sign(vl) == Sign(vr) || direction * (vr - vl) < 0) continue;
                // Illinois: regula falsi whose retained end has its value
                // halved when the same end is kept twice.
                double a = t, fa = vl, b = tnew, fb = vr;
                int side = 0;
                for (int iteration = 0; fb != 0 && iteration < 200; ++iteration) {
                    const double tol = 128 * DBL_EPSILON * std::max(std::fabs(a), std::fabs(b));
                    if (std::fabs(b - a) <= tol) break;
                    double c = b - fb * (b - a) / (fb - fa);
                    if (!(tdir * (c - a) > 0 && tdir * (b - c) > 0)) c = a + 0.5 * (b - a);
                    if (c == a || c == b) break;
                    Extend(pair, n, y.data(), k.data(), h, (c - t) / h, yout.data());
                    EventsAt(pair, options.events, c, yout.data(), eventCount, false, probe);
                    const double fc = probe.value[i];
                    if (fc == 0 || Sign(fc) == Sign(fb)) {
                        b = c;
                        fb = fc;
                        if (side == -1) fa /= 2;
                        side = -1;
                    } else {
                        a = c;
                        fa = fc;
                        if (side == +1) fb /= 2;
                        side = +1;
                    }
                }
                const bool terminal = !after.terminal.empty() && after.terminal[i] != 0;
                found.push_back({b, static_cast<int>(i), terminal});
            }
            // In time order (ties by index); a terminal event ends the list
            // after the events at its own time.
            std::stable_sort(found.begin(), found.end(), [tdir](const Located &p, const Located &q) {
                return tdir * (p.t - q.t) < 0;
            });
            for (const Located &e : found) {
                if (stop && e.t != stopAt) break;
                sol.te.push_back(e.t);
                if (e.t == tnew) {
                    sol.ye.insert(sol.ye.end(), ynew.begin(), ynew.end());
                } else {
                    Extend(pair, n, y.data(), k.data(), h, (e.t - t) / h, yout.data());
                    sol.ye.insert(sol.ye.end(), yout.begin(), yout.end());
                }
                sol.ie.push_back(e.index);
                if (e.terminal && !stop) {
                    stop = true;
                    stopAt = e.t;
                }
            }
            std::swap(before, after);
        }
        if (stop) {
            // The output up to the event, then the event's point.
            if (fixedTimes) {
                while (next < tspan.size() && tdir * (tspan[next] - stopAt) < 0)
                    interpolate(tspan[next++]);
            } else {
                for (int r = 1; r < refine; ++r) {
                    const double tr = t + h * r / refine;
                    if (tdir * (tr - stopAt) >= 0) break;
                    interpolate(tr);
                }
            }
            if (stopAt == tnew) {
                emit(tnew, ynew.data());
            } else {
                interpolate(stopAt);
            }
            sol.end = stopAt;
            break;
        }
        EmitStep(fixedTimes, tspan, next, tdir, t, tnew, h, refine, ynew.data(), interpolate, emit);
        sol.end = tnew;
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

std::vector<double> OdeEvaluate(const OdeSolution &solution, const std::vector<double> &times) {
    const wchar_t *const name = L"OdeEvaluate";
    const Pair *pair = solution.method == "ode45"   ? &kDormandPrince
                       : solution.method == "ode23" ? &kBogackiShampine
                                                    : nullptr;
    if (!pair) funfun::RefuseOde(name, L"the solution has no dense output");
    const std::size_t n = solution.n;
    const std::size_t steps = solution.stepStart.size();
    const std::size_t slopes = static_cast<std::size_t>(pair->stages) * n;
    if (n == 0 || steps == 0 || solution.stages != pair->stages ||
        solution.stepLength.size() != steps || solution.stepY.size() != steps * n ||
        solution.stepK.size() != steps * slopes)
        funfun::RefuseOde(name, L"the solution's dense output is inconsistent");
    const double t0 = solution.stepStart.front(), tend = solution.end;
    const double tdir = solution.stepLength.front() > 0 ? 1.0 : -1.0;
    std::vector<double> out(times.size() * n);
    for (std::size_t q = 0; q < times.size(); ++q) {
        const double tq = times[q];
        if (!(tdir * (tq - t0) >= 0 && tdir * (tend - tq) >= 0))
            funfun::RefuseOde(name, L"a time lies outside the interval the solution covers");
        // The last step starting at or before tq: a step's start gives its
        // stored value exactly.
        std::size_t lo = 0, hi = steps - 1;
        while (lo < hi) {
            const std::size_t mid = hi - (hi - lo) / 2;
            if (tdir * (tq - solution.stepStart[mid]) >= 0)
                lo = mid;
            else
                hi = mid - 1;
        }
        // The last output time gives its stored value: the end of a
        // completed step is the step's own new value, not its extension.
        if (!solution.t.empty() && tq == solution.t.back() && solution.y.size() == solution.t.size() * n) {
            std::copy(solution.y.end() - static_cast<std::ptrdiff_t>(n), solution.y.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(q * n));
            continue;
        }
        const double h = solution.stepLength[lo];
        Extend(*pair, n, solution.stepY.data() + lo * n, solution.stepK.data() + lo * slopes, h,
               (tq - solution.stepStart[lo]) / h, out.data() + q * n);
    }
    return out;
}

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
