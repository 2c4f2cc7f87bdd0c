// src/funfun/ode_setup.h: what every ODE solver checks and derives from its
// arguments before the first call of f (private to src/funfun).
#ifndef MATRIX_SRC_FUNFUN_ODE_SETUP_H
#define MATRIX_SRC_FUNFUN_ODE_SETUP_H

#include <matrix/funfun.h>

#include <cstddef>
#include <string>
#include <vector>

namespace kiv {
namespace matrix {
namespace funfun {

/// The checked problem: its direction, tolerances and step bound.
struct OdeSetup {
    double t0, tfinal, tdir;        // tdir = +1 or -1
    double rtol;                    // RelTol, raised to 100*eps at least
    std::vector<double> threshold;  // AbsTol/rtol per component
    double hmax;                    // MaxStep, or a tenth of the span
};

/// Checks tspan, y0 and options as the solvers' header states and returns
/// the setup; throws CFunctionErrorException "NAME: ..." otherwise.
/// `maxComponents` bounds the length of y0 (0: no bound).
OdeSetup CheckOde(const wchar_t *name, const std::vector<double> &tspan,
                  const std::vector<double> &y0, const OdeOptions &options,
                  std::size_t maxComponents = 0);

/// The gap between |t| and the next larger double: 16 of them are the
/// shortest step.
double Spacing(double t);

/// The message of a solver that gave up at t because a step below hmin
/// would have been needed.
std::string StepTooSmallMessage(double t, double hmin);

/// Emits what a finished step from t to tnew = t + h owes the output: the
/// requested times up to tnew when tspan names them (`next` is the first
/// not yet emitted; tnew itself exactly, the rest through `interpolate`),
/// else refine - 1 points evenly inside the step and then tnew.
template <class Interpolate, class Emit>
void EmitStep(bool fixedTimes, const std::vector<double> &tspan, std::size_t &next, double tdir,
              double t, double tnew, double h, int refine, const double *ynew,
              const Interpolate &interpolate, const Emit &emit) {
    if (fixedTimes) {
        while (next < tspan.size() && tdir * (tspan[next] - tnew) <= 0) {
            if (tspan[next] == tnew)
                emit(tnew, ynew);
            else
                interpolate(tspan[next]);
            ++next;
        }
        return;
    }
    for (int r = 1; r < refine; ++r) interpolate(t + h * r / refine);
    emit(tnew, ynew);
}

/// Throws CFunctionErrorException "NAME: WHAT".
[[noreturn]] void RefuseOde(const wchar_t *name, const wchar_t *what);

}  // namespace funfun
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_FUNFUN_ODE_SETUP_H
