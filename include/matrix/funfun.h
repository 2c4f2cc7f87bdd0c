// include/matrix/funfun.h: functions of functions: zeros, minima, integrals
// and initial value problems of functions given as callbacks.
//
// Every routine here is deterministic: the same callback values give the
// same evaluations in the same order and the same bits. Callbacks may throw;
// the exception leaves the routine unchanged (nothing is kept or leaked).
// Progress text, when asked for, goes to a caller's sink one line at a time.
#ifndef MATRIX_FUNFUN_H
#define MATRIX_FUNFUN_H

#include <matrix/export.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kiv {
namespace matrix {

/// f(x) of one real variable.
using ScalarFunction = std::function<double(double)>;
/// f(x) of a vector of real variables.
using MultivariateFunction = std::function<double(const std::vector<double> &x)>;
/// fx[k] = f(x[k]) for k < n: an integrand evaluated at n points in one call.
using BatchFunction = std::function<void(const double *x, double *fx, std::size_t n)>;
/// dy = f(t, y) of a system of n first-order equations (n = the length of
/// the initial value).
using OdeFunction = std::function<void(double t, const double *y, double *dy)>;

/// How much a routine reports through its sink: nothing, a line per
/// iteration and the outcome, the outcome, or the outcome only when it is
/// not a success.
enum class FunfunDisplay { kOff, kIter, kFinal, kNotify };

/// The options of Fzero, Fminbnd and Fminsearch. A tolerance or limit left
/// at 0 takes the routine's default (stated with each routine).
struct OptimOptions {
    double tolX = 0;
    double tolFun = 0;
    double maxIter = 0;
    double maxFunEvals = 0;
    FunfunDisplay display = FunfunDisplay::kNotify;
    /// Receives each line of text (without its newline); null prints nothing.
    std::function<void(const std::string &line)> print;
};

/// The outcome of a one-variable search. exitflag: 1 converged; 0 stopped
/// by MaxIter or MaxFunEvals; -3 a NaN or infinite value met while looking
/// for a sign change; -5 Fzero's last bracket shrank onto a point where f
/// does not vanish (a pole or jump, not a zero); -6 no sign change found.
struct ScalarOptimum {
    double x = 0;
    double fval = 0;
    int exitflag = 0;
    int iterations = 0;
    int intervalIterations = 0;  // Fzero's search for a bracket
    int funcCount = 0;
    std::string algorithm;
    std::string message;
};

/// The outcome of Fminsearch; the fields as ScalarOptimum's.
struct SimplexOptimum {
    std::vector<double> x;
    double fval = 0;
    int exitflag = 0;
    int iterations = 0;
    int funcCount = 0;
    std::string algorithm;
    std::string message;
};

/// Finds a zero of f in the bracket [a, b], where f(a) and f(b) differ in
/// sign (or one is 0), by Brent's method: R. P. Brent, "Algorithms for
/// Minimization without Derivatives", Prentice-Hall, 1973, chapter 4
/// (zero): inverse quadratic and linear interpolation safeguarded by
/// bisection, converged when the bracket is shorter than 2*(2*eps*|x| +
/// TolX/2). Defaults: TolX eps, MaxIter and MaxFunEvals unlimited. The result's
/// x is the end of the last bracket with the smaller |f|. Throws
/// CFunctionErrorException "Fzero: The function values at the interval
/// endpoints must differ in sign." (also for a NaN end value), and
/// "Fzero: the interval endpoints must be finite" for an infinite or NaN
/// end, and what f throws.
MATRIX_API ScalarOptimum Fzero(const ScalarFunction &f, double a, double b,
                               const OptimOptions &options = {});
/// Finds a zero of f near x0: first widens an interval around x0 until f
/// changes sign (the interval x0 -+ dx with dx = x0/50, or 1/50 for x0 = 0,
/// grown by sqrt(2) per step, f at the lower end first), then as the
/// bracket form. A zero at x0 returns at once. A search that meets a NaN or
/// infinite value ends with exitflag -3, one whose interval overflows with
/// -6; x is then NaN. Throws CFunctionErrorException "Fzero: the function
/// value at the starting point must be finite and real" and what f throws.
MATRIX_API ScalarOptimum Fzero(const ScalarFunction &f, double x0,
                               const OptimOptions &options = {});

/// Finds a local minimum of f on [a, b] (a <= b, both finite) by golden
/// section search and successive parabolic interpolation: Brent 1973,
/// chapter 5 (localmin), with tolerance sqrt(eps)*|x| + TolX/3. Defaults:
/// TolX 1e-4, MaxIter 500, MaxFunEvals 500. Throws CFunctionErrorException
/// "Fminbnd: the bounds must be finite with a <= b", and what f throws.
MATRIX_API ScalarOptimum Fminbnd(const ScalarFunction &f, double a, double b,
                                 const OptimOptions &options = {});

/// Finds a local minimum of f from x0 by the Nelder-Mead simplex method as
/// J. C. Lagarias, J. A. Reeds, M. H. Wright and P. E. Wright, "Convergence
/// properties of the Nelder-Mead simplex method in low dimensions", SIAM J.
/// Optim. 9(1), 1998, 112-147, state it (reflection 1, expansion 2,
/// contraction 1/2, shrink 1/2; the simplex kept sorted by a stable sort of
/// its values). The first simplex is x0 and, per component, x0 with that
/// component times 1.05, or set to 0.00025 when it is 0. Stops when every
/// vertex is within TolX of the best in each component and every value
/// within TolFun of the best. Defaults: TolX 1e-4, TolFun 1e-4, MaxIter and
/// MaxFunEvals 200*n. An empty x0 returns f of it. Throws
/// CFunctionErrorException for more than 4096 variables, and what f throws.
MATRIX_API SimplexOptimum Fminsearch(const MultivariateFunction &f, const std::vector<double> &x0,
                                     const OptimOptions &options = {});

/// The options of Integral, Quadgk and Quad.
struct IntegralOptions {
    double absTol = 1e-10;
    double relTol = 1e-6;
    /// Integral and Quadgk: the most subintervals in use at once.
    int maxIntervalCount = 650;
    /// Quad: the most function values.
    int maxFunEvals = 10000;
};

/// The outcome of an integral: its value, an estimate of its error, the
/// number of integrand values, and status 0 (within tolerance), 1 (the
/// interval limit reached), 2 (a subinterval too short for the precision
/// of x: a singularity is likely) or 3 (a NaN or infinite value met).
/// message says what went wrong, empty for status 0.
struct IntegralResult {
    double value = 0;
    double errorBound = 0;
    int funcCount = 0;
    int status = 0;
    std::string message;
};

/// Integrates f over [a, b] by adaptive Gauss-Kronrod quadrature (7 Gauss
/// points within 15 Kronrod points) as L. F. Shampine, "Vectorized
/// adaptive quadrature in a matrix language", J. Comput. Appl. Math.
/// 211(2), 2008, 131-140, describes it: the interval is first mapped so
/// that endpoint singularities weaken (x = (b-a)/4*t*(3-t^2) + (b+a)/2 on
/// [-1, 1]; an infinite end by x = a + t/(1-t), x = b - t/(1-t) or x =
/// t/(1-t^2)), cut into 10 pieces, and every piece not yet accurate is
/// halved, all the nodes of one pass given to f in one call. Converged when
/// the summed error estimate is within max(AbsTol, RelTol*|Q|). b < a gives
/// the negated integral over [b, a]; a == b gives 0 without calling f.
/// Throws CFunctionErrorException "Integral: the limits must not be NaN",
/// and what f throws.
MATRIX_API IntegralResult Integral(const BatchFunction &f, double a, double b,
                                   const IntegralOptions &options = {});
MATRIX_API IntegralResult Integral(const ScalarFunction &f, double a, double b,
                                   const IntegralOptions &options = {});

/// Integrates f over finite [a, b] by recursive adaptive Simpson quadrature
/// (G. F. Kuncir, "Algorithm 103: Simpson's rule integrator", Comm. ACM
/// 5(6), 1962; the extrapolated acceptance test of J. N. Lyness, "Notes on
/// the adaptive Simpson quadrature routine", J. ACM 16(3), 1969): a piece
/// is accepted when its one- and two-panel Simpson values agree within
/// AbsTol (default 1e-6 for this routine: pass the options to change it).
/// Status 2 for a piece shorter than eps*(b-a)/1024, 1 past MaxFunEvals, 3
/// for a NaN or infinite value. Throws CFunctionErrorException "Quad: the
/// limits must be finite", and what f throws.
MATRIX_API IntegralResult Quad(const BatchFunction &f, double a, double b,
                               const IntegralOptions &options = {1e-6, 1e-6, 650, 10000});

/// What an event function gives at (t, y): one value per event (an event
/// happens where its value crosses zero), and per event whether it stops
/// the integration (terminal, nonzero) and the crossings it counts
/// (direction: +1 rising only, -1 falling only, 0 both). terminal and
/// direction may be left empty (no event terminal, both directions).
struct OdeEventValues {
    std::vector<double> value;
    std::vector<int> terminal;
    std::vector<int> direction;
};
/// The event function of an ODE solve: fills `out` for (t, y). It must give
/// as many values at every call as at the first.
using OdeEventFunction = std::function<void(double t, const double *y, OdeEventValues &out)>;

/// The options of Ode45 and Ode23. absTol holds one tolerance for every
/// component or one per component; maxStep 0 means a tenth of the span;
/// initialStep 0 lets the solver choose; refine 0 takes the solver's own
/// (4 for Ode45, 1 for Ode23). events, when set, is watched after every
/// step; dense keeps each step's data for OdeEvaluate; stepsOnly makes the
/// output each step's end alone, whatever tspan's inner times and refine.
struct OdeOptions {
    double relTol = 1e-3;
    std::vector<double> absTol = {1e-6};
    double maxStep = 0;
    double initialStep = 0;
    int refine = 0;
    OdeEventFunction events;
    bool dense = false;
    bool stepsOnly = false;
};

/// A solution: times t (length m) and values y (m x n, row k at t[k], held
/// row after row), and the solver's counts. status 0: reached the end (or
/// a terminal event); 1: stopped because the step fell below 16*eps(t)
/// (message says so, the values up to there kept).
///
/// Events found, in the order they happen: te (times), ye (values, n each,
/// row after row) and ie (the event's position in the event function's
/// values, from 0). A terminal event ends the output at its time.
///
/// With dense, each accepted step k: stepStart[k], its length stepLength[k]
/// (signed), the value at its start (stepY, n each) and its stage slopes
/// (stepK, stages x n each, stage after stage); `end` is the last time the
/// solution reaches, and `method` names the pair ("ode45", "ode23"); empty
/// when the solution has no dense data.
struct OdeSolution {
    std::vector<double> t;
    std::vector<double> y;
    std::size_t n = 0;
    int steps = 0;
    int failedSteps = 0;
    int funcCount = 0;
    int status = 0;
    std::string message;
    std::vector<double> te, ye;
    std::vector<int> ie;
    std::string method;
    int stages = 0;
    double end = 0;
    std::vector<double> stepStart, stepLength, stepY, stepK;
};

/// The solution at the times `times` by the continuous extension of the
/// step that holds each one (at a step boundary the step starting there,
/// whose start value it gives exactly; at t.back() the last row of y): n
/// values per time, time after time (an n x m column-major array). Throws
/// CFunctionErrorException "OdeEvaluate: ..." for a solution without dense
/// data or inconsistent data, and for a time outside [t0, end] or NaN.
MATRIX_API std::vector<double> OdeEvaluate(const OdeSolution &solution,
                                           const std::vector<double> &times);

/// Solves y' = f(t, y), y(tspan[0]) = y0, from tspan[0] to tspan.back()
/// (either direction) by the Dormand-Prince 5(4) pair (J. R. Dormand and
/// P. J. Prince, "A family of embedded Runge-Kutta formulae", J. Comput.
/// Appl. Math. 6(1), 1980) with local extrapolation, its continuous
/// extension, and the step control and initial step of L. F. Shampine and
/// M. W. Reichelt, "The MATLAB ODE suite", SIAM J. Sci. Comput. 18(1),
/// 1997: error measured in the max norm relative to max(|y|, AbsTol/RelTol)
/// per component. With two times in tspan the output holds each step's end
/// and `refine` - 1 interpolated points inside each step; with more it
/// holds exactly the times of tspan, which must be strictly monotone.
/// Events: the event function is evaluated at t0 and at the end of every
/// step; an event whose value goes from nonzero to zero or the other sign
/// across a step, in a counted direction, is located on the continuous
/// extension by the Illinois variant of regula falsi until the bracket is
/// within 128 eps of its times (the time reported is the bracket's end
/// past the crossing). The events of a step are reported in time order; a
/// terminal one ends the solve at its time, the output then closing with
/// the event's time and value (after the times of tspan before it).
/// Throws CFunctionErrorException "Ode45: ..." for tspan with fewer than
/// two times, equal ends, non-finite or non-monotone times or span, an empty y0,
/// non-positive tolerances or an AbsTol of neither 1 nor n values, an
/// event function whose count of values changes, whose terminal or
/// direction lists are of another length, or that gives NaN, and what f
/// or the event function throws.
MATRIX_API OdeSolution Ode45(const OdeFunction &f, const std::vector<double> &tspan,
                             const std::vector<double> &y0, const OdeOptions &options = {});
/// As Ode45 with the Bogacki-Shampine 3(2) pair (P. Bogacki and L. F.
/// Shampine, "A 3(2) pair of Runge-Kutta formulas", Appl. Math. Lett. 2(4),
/// 1989) and its cubic Hermite interpolant; refine defaults to 1.
MATRIX_API OdeSolution Ode23(const OdeFunction &f, const std::vector<double> &tspan,
                             const std::vector<double> &y0, const OdeOptions &options = {});

/// Solves a stiff y' = f(t, y) by the numerical differentiation formulas
/// of orders 1 to 5 in backward difference form with quasi-constant steps
/// (Shampine and Reichelt 1997, section 2; kappa from their table 1): each
/// step solved by a simplified Newton iteration whose Jacobian is formed by
/// forward differences at the step's start, refreshed when the iteration
/// fails to converge before the step is cut. The error estimate, step and
/// order choices follow the same paper; output and refusals as Ode45
/// (refine defaults to 1), plus more than 4096 components and the events
/// and dense options, which it does not provide.
MATRIX_API OdeSolution Ode15s(const OdeFunction &f, const std::vector<double> &tspan,
                              const std::vector<double> &y0, const OdeOptions &options = {});

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_FUNFUN_H
