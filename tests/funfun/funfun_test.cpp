// tests/funfun/funfun_test.cpp: zeros, minima, integrals and ODE solutions
// of standard problems against their closed forms or stored references.
#include <matrix/exceptions.h>
#include <matrix/funfun.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace kiv::matrix;

// The message of a library exception thrown by call, or "" when none is.
template <class Call>
std::string Thrown(Call call) {
    try {
        call();
    } catch (const CFunctionErrorException &e) {
        return e.what();
    }
    return "";
}

// Brent's own examples; the roots computed once in 50-digit arithmetic.
TEST(Fzero, BrentExamplesFromBracketAndStart) {
    struct Case {
        const char *name;
        double (*f)(double);
        double a, b, x0, root;
    };
    const Case cases[] = {
        {"cos(x)-x", [](double x) { return std::cos(x) - x; }, 0, 1, 1, 0.73908513321516064166},
        {"x^3-2x-5", [](double x) { return x * x * x - 2 * x - 5; }, 2, 3, 2,
         2.0945514815423265915},
    };
    for (const Case &c : cases) {
        const ScalarOptimum br = Fzero(c.f, c.a, c.b);
        const ScalarOptimum st = Fzero(c.f, c.x0);
        for (const ScalarOptimum *r : {&br, &st}) {
            EXPECT_EQ(r->exitflag, 1) << c.name;
            EXPECT_NEAR(r->x, c.root, 4 * DBL_EPSILON * c.root) << c.name;
            EXPECT_EQ(r->fval, c.f(r->x)) << c.name;
        }
        std::printf("Fzero %s: bracket %d values, start %d values (%d widenings)\n", c.name,
                    br.funcCount, st.funcCount, st.intervalIterations);
    }
    // A zero at an end or at the start needs no iteration.
    EXPECT_EQ(Fzero([](double x) { return x; }, 0.0, 1.0).x, 0.0);
    EXPECT_EQ(Fzero([](double x) { return x - 3; }, 3.0).funcCount, 1);
}

TEST(Fzero, FailuresAndDisplay) {
    EXPECT_EQ(Thrown([] { Fzero([](double x) { return x * x + 1; }, -1.0, 1.0); }),
              "Fzero: The function values at the interval endpoints must differ in sign.");
    EXPECT_NE(Thrown([] { Fzero([](double x) { return x; }, NAN, 1.0); }), "");
    EXPECT_NE(Thrown([] { Fzero([](double) { return NAN; }, 1.0); }), "");
    // No sign change anywhere: the search ends, x is NaN.
    std::vector<std::string> lines;
    OptimOptions o;
    o.print = [&](const std::string &l) { lines.push_back(l); };
    const ScalarOptimum none = Fzero([](double x) { return x * x + 1; }, 1.0, o);
    EXPECT_TRUE(std::isnan(none.x));
    EXPECT_LE(none.exitflag, 0);
    EXPECT_EQ(lines.size(), 1u);  // notify: the failure only
    // A pole: the bracket closes on a sign change where f grows.
    const ScalarOptimum pole = Fzero([](double x) { return 1 / x; }, -1.0, 2.0);
    EXPECT_EQ(pole.exitflag, -5);
    // A callback's exception passes through.
    EXPECT_THROW(Fzero([](double) -> double { throw CFunctionErrorException(L"inside"); }, 1.0),
                 CFunctionErrorException);
    lines.clear();
    o.display = FunfunDisplay::kIter;
    Fzero([](double x) { return std::cos(x) - x; }, 0.0, 1.0, o);
    EXPECT_GT(lines.size(), 4u);
    EXPECT_EQ(lines.back().rfind("Zero found in the interval", 0), 0u);
}

TEST(Fminbnd, MinimaOnIntervals) {
    const ScalarOptimum c = Fminbnd([](double x) { return std::cos(x); }, 3, 4);
    EXPECT_EQ(c.exitflag, 1);
    EXPECT_NEAR(c.x, M_PI, 1e-4);
    // Rosenbrock's function along y = 1.
    const auto rosen = [](double x) { return (1 - x) * (1 - x) + 100 * (1 - x * x) * (1 - x * x); };
    OptimOptions tight;
    tight.tolX = 1e-10;
    const ScalarOptimum r = Fminbnd(rosen, -2, 2.5, tight);
    EXPECT_NEAR(r.x, 1.0, 1e-7);
    std::printf("Fminbnd cos on [3, 4]: %d values; Rosenbrock(x, 1): %d values\n", c.funcCount,
                r.funcCount);
    OptimOptions few;
    few.maxFunEvals = 5;
    EXPECT_EQ(Fminbnd(rosen, -2, 2.5, few).exitflag, 0);
    EXPECT_NE(Thrown([&] { Fminbnd(rosen, 1, 0); }), "");
}

TEST(Fminsearch, RosenbrockFromTheClassicalStart) {
    const auto rosen = [](const std::vector<double> &x) {
        return 100 * (x[1] - x[0] * x[0]) * (x[1] - x[0] * x[0]) + (1 - x[0]) * (1 - x[0]);
    };
    const SimplexOptimum r = Fminsearch(rosen, {-1.2, 1});
    EXPECT_EQ(r.exitflag, 1);
    EXPECT_NEAR(r.x[0], 1, 1e-3);
    EXPECT_NEAR(r.x[1], 1, 1e-3);
    std::printf("Fminsearch Rosenbrock: %d iterations, %d values\n", r.iterations, r.funcCount);
    OptimOptions tight;
    tight.tolX = tight.tolFun = 1e-10;
    const SimplexOptimum t = Fminsearch(rosen, {-1.2, 1}, tight);
    EXPECT_NEAR(t.x[0], 1, 1e-8);
    EXPECT_NEAR(t.x[1], 1, 1e-8);
    // Zero components start 0.00025 away; a limit stops with exitflag 0.
    OptimOptions few;
    few.maxIter = 3;
    EXPECT_EQ(Fminsearch(rosen, {0, 0}, few).exitflag, 0);
    EXPECT_EQ(Fminsearch([](const std::vector<double> &) { return 2.0; }, {}).fval, 2.0);
    // NaN values sort last: the search walks away from them.
    const SimplexOptimum nan = Fminsearch(
        [](const std::vector<double> &x) { return x[0] > 2 ? NAN : (x[0] - 1) * (x[0] - 1); }, {2});
    EXPECT_NEAR(nan.x[0], 1, 1e-3);
}

TEST(Integral, StandardIntegrals) {
    struct Case {
        const char *name;
        double (*f)(double);
        double a, b, exact;
    };
    const Case cases[] = {
        {"exp(-x^2) on R", [](double x) { return std::exp(-x * x); }, -INFINITY, INFINITY,
         std::sqrt(M_PI)},
        {"exp(-x^2) on [0, Inf)", [](double x) { return std::exp(-x * x); }, 0, INFINITY,
         std::sqrt(M_PI) / 2},
        {"exp(x) on (-Inf, 0]", [](double x) { return std::exp(x); }, -INFINITY, 0, 1},
        {"1/sqrt(x) on (0, 1)", [](double x) { return 1 / std::sqrt(x); }, 0, 1, 2},
        {"sin(100x) on [0, 1]", [](double x) { return std::sin(100 * x); }, 0, 1,
         (1 - std::cos(100.0)) / 100},
        {"x^2 on [1, 0]", [](double x) { return x * x; }, 1, 0, -1.0 / 3},
    };
    for (const Case &c : cases) {
        const IntegralResult r = Integral(ScalarFunction(c.f), c.a, c.b);
        EXPECT_EQ(r.status, 0) << c.name << ": " << r.message;
        EXPECT_NEAR(r.value, c.exact, std::max(1e-10, 1e-6 * std::fabs(c.exact))) << c.name;
        std::printf("Integral %s: %d values, error bound %.2g\n", c.name, r.funcCount,
                    r.errorBound);
    }
    // One call per pass with every node of the pass.
    int calls = 0;
    const IntegralResult v = Integral(
        [&](const double *x, double *fx, std::size_t n) {
            ++calls;
            for (std::size_t k = 0; k < n; ++k) fx[k] = std::exp(x[k]);
        },
        0.0, 1.0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(v.funcCount, 150);
    EXPECT_EQ(Integral(ScalarFunction([](double) { return 1.0; }), 2, 2).funcCount, 0);
    EXPECT_EQ(Integral(ScalarFunction([](double x) { return 1 / x; }), -1, 1).status != 0, true);
    EXPECT_EQ(Integral(ScalarFunction([](double) { return NAN; }), 0, 1).status, 3);
}

TEST(Quad, AdaptiveSimpson) {
    const IntegralResult r = Quad(
        [](const double *x, double *fx, std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) fx[k] = std::exp(-x[k] * x[k]);
        },
        0, 2);
    EXPECT_EQ(r.status, 0);
    EXPECT_NEAR(r.value, std::sqrt(M_PI) / 2 * std::erf(2.0), 1e-6);
    std::printf("Quad exp(-x^2) on [0, 2]: %d values\n", r.funcCount);
    EXPECT_NE(Thrown([] { Quad([](const double *, double *, std::size_t) {}, 0, INFINITY); }), "");
}

// The ODE problems: their right sides, closed forms where they have one.
struct OdeCase {
    const char *name;
    OdeFunction f;
    std::vector<double> tspan, y0;
    std::vector<double> (*exact)(double t);
};

const std::vector<OdeCase> &OdeCases() {
    static const std::vector<OdeCase> cases = {
        {"decay",
         [](double, const double *y, double *dy) { dy[0] = -y[0]; },
         {0, 5},
         {1},
         [](double t) { return std::vector<double>{std::exp(-t)}; }},
        {"oscillator",
         [](double, const double *y, double *dy) {
             dy[0] = y[1];
             dy[1] = -y[0];
         },
         {0, 10},
         {1, 0},
         [](double t) {
             return std::vector<double>{std::cos(t), -std::sin(t)};
         }},
        {"oscillator backwards",
         [](double, const double *y, double *dy) {
             dy[0] = y[1];
             dy[1] = -y[0];
         },
         {0, -6},
         {1, 0},
         [](double t) {
             return std::vector<double>{std::cos(t), -std::sin(t)};
         }},
    };
    return cases;
}

TEST(Ode, ClosedFormsAtEveryOutput) {
    for (const bool fifth : {true, false}) {
        for (const OdeCase &c : OdeCases()) {
            for (const double tol : {1e-3, 1e-8}) {
                OdeOptions o;
                o.relTol = tol;
                o.absTol = {tol * 1e-3};
                const OdeSolution s =
                    fifth ? Ode45(c.f, c.tspan, c.y0, o) : Ode23(c.f, c.tspan, c.y0, o);
                ASSERT_EQ(s.status, 0);
                ASSERT_EQ(s.t.size() * c.y0.size(), s.y.size());
                EXPECT_EQ(s.t.size(), static_cast<std::size_t>(s.steps * (fifth ? 4 : 1) + 1));
                EXPECT_EQ(s.t.back(), c.tspan.back());
                EXPECT_EQ(s.funcCount, 1 + (fifth ? 6 : 3) * (s.steps + s.failedSteps));
                double worst = 0;
                for (std::size_t k = 0; k < s.t.size(); ++k) {
                    const std::vector<double> e = c.exact(s.t[k]);
                    for (std::size_t j = 0; j < e.size(); ++j)
                        worst = std::max(worst, std::fabs(s.y[k * e.size() + j] - e[j]));
                }
                // The global error stays within a modest multiple of the
                // local tolerance over these spans.
                EXPECT_LT(worst, 20 * tol) << c.name << (fifth ? " ode45 " : " ode23 ") << tol;
                std::printf("%s %s rtol %g: %d steps, %d failed, %d values, max error %.2g\n",
                            fifth ? "Ode45" : "Ode23", c.name, tol, s.steps, s.failedSteps,
                            s.funcCount, worst);
            }
        }
    }
}

// Van der Pol, mu = 1, y(0) = [2; 0]: values computed once with SciPy's
// solve_ivp (DOP853, rtol 1e-13, atol 1e-14).
TEST(Ode, VanDerPolAtRequestedTimes) {
    const OdeFunction vdp = [](double, const double *y, double *dy) {
        dy[0] = y[1];
        dy[1] = (1 - y[0] * y[0]) * y[1] - y[0];
    };
    const double expected[][2] = {{2, 0},
                                  {1.5081442369756108, -0.7802180746296999},
                                  {-0.8370774502947567, 1.307088937799663},
                                  {-2.008340782579706, 0.032907065863315196},
                                  {2.008149762174943, -0.04250887527320065}};
    OdeOptions o;
    o.relTol = 1e-9;
    o.absTol = {1e-11, 1e-11};
    for (const bool fifth : {true, false}) {
        const OdeSolution s = fifth ? Ode45(vdp, {0, 1, 5, 10, 20}, {2, 0}, o)
                                    : Ode23(vdp, {0, 1, 5, 10, 20}, {2, 0}, o);
        ASSERT_EQ(s.t.size(), 5u);
        for (std::size_t k = 0; k < 5; ++k)
            for (std::size_t j = 0; j < 2; ++j)
                EXPECT_NEAR(s.y[2 * k + j], expected[k][j], fifth ? 1e-7 : 1e-6) << k << " " << j;
        std::printf("%s van der Pol mu = 1 on [0, 20], rtol 1e-9: %d steps, %d failed, %d values\n",
                    fifth ? "Ode45" : "Ode23", s.steps, s.failedSteps, s.funcCount);
    }
}

TEST(Ode, RefusalsAndFailure) {
    const OdeFunction f = [](double, const double *y, double *dy) { dy[0] = y[0]; };
    OdeOptions bad;
    bad.absTol = {1e-6, 1e-6};
    OdeOptions neg;
    neg.relTol = -1;
    const struct {
        std::vector<double> tspan, y0;
        OdeOptions o;
        const char *message;
    } cases[] = {
        {{0}, {1}, {}, "Ode45: tspan must hold at least two times"},
        {{1, 1}, {1}, {}, "Ode45: the first and last times of tspan must differ"},
        {{0, 2, 1}, {1}, {}, "Ode45: the times of tspan must be strictly increasing or decreasing"},
        {{0, NAN}, {1}, {}, "Ode45: the times of tspan must be finite"},
        {{-DBL_MAX, DBL_MAX}, {1}, {}, "Ode45: the span of tspan must be finite"},
        {{0, 1}, {}, {}, "Ode45: the initial value must not be empty"},
        {{0, 1}, {1}, bad, "Ode45: AbsTol must be a scalar or hold one value per component"},
        {{0, 1}, {1}, neg, "Ode45: RelTol must be positive"},
    };
    for (const auto &c : cases) EXPECT_EQ(Thrown([&] { Ode45(f, c.tspan, c.y0, c.o); }), c.message);
    EXPECT_EQ(Thrown([&] { Ode23(f, {0}, {1}); }), "Ode23: tspan must hold at least two times");
    EXPECT_EQ(Thrown([&] {
                  Ode15s(f, {0, 1}, std::vector<double>(5000, 1.0));
              }),
              "Ode15s: more than 4096 components (the Jacobian is n x n)");
    // A blow-up (y' = y^2, y(0) = 1, pole at t = 1): the step collapses.
    const OdeSolution s =
        Ode45([](double, const double *y, double *dy) { dy[0] = y[0] * y[0]; }, {0, 2}, {1});
    EXPECT_EQ(s.status, 1);
    EXPECT_LT(s.t.back(), 1.0);
    EXPECT_NE(s.message.find("Unable to meet integration tolerances"), std::string::npos);
}

// Events and dense output: a falling ball (y'' = -g from height h) lands at
// sqrt(2h/g); both pairs integrate the quadratic exactly, so the located
// time is within a few ulps. OdeEvaluate gives the stored values at the
// output times and refuses times outside the solved interval.
TEST(Ode, EventsAndDenseOutput) {
    const double g = 9.81, h = 10;
    const OdeFunction ball = [g](double, const double *y, double *dy) {
        dy[0] = y[1];
        dy[1] = -g;
    };
    OdeOptions o;
    o.dense = true;
    o.stepsOnly = true;
    o.events = [](double, const double *y, OdeEventValues &e) {
        e.value = {y[0], y[0] - 5};
        e.terminal = {1, 0};
        e.direction = {-1, 1};  // the second never rises: never reported
    };
    for (bool fifth : {true, false}) {
        const OdeSolution s = fifth ? Ode45(ball, {0, 5}, {h, 0}, o) : Ode23(ball, {0, 5}, {h, 0}, o);
        ASSERT_EQ(s.te.size(), 1u);
        EXPECT_NEAR(s.te[0], std::sqrt(2 * h / g), 8 * DBL_EPSILON);
        EXPECT_EQ(s.ie[0], 0);
        EXPECT_EQ(s.t.back(), s.te[0]);
        EXPECT_EQ(s.end, s.te[0]);
        EXPECT_EQ(OdeEvaluate(s, s.t), s.y);
        const std::vector<double> mid = OdeEvaluate(s, {1.0});
        EXPECT_NEAR(mid[0], h - g / 2, 1e-12);
        EXPECT_EQ(Thrown([&] { OdeEvaluate(s, {2.0}); }),
                  "OdeEvaluate: a time lies outside the interval the solution covers");
    }
    o.events = [](double, const double *y, OdeEventValues &e) { e.value = {y[0]}; };
    EXPECT_EQ(Thrown([&] { Ode15s(ball, {0, 1}, {1, 0}, o); }),
              "Ode15s: events and dense output are not provided by this solver");
    EXPECT_EQ(Thrown([&] { OdeEvaluate(OdeSolution{}, {0.0}); }),
              "OdeEvaluate: the solution has no dense output");
    int calls = 0;
    o.events = [&calls](double, const double *, OdeEventValues &e) {
        e.value.assign(++calls == 1 ? 1 : 2, 1.0);
    };
    EXPECT_EQ(Thrown([&] { Ode45(ball, {0, 1}, {1, 0}, o); }),
              "Ode45: the event function must give the same number of values at every call");
}

}  // namespace

namespace {

// Stiff problems: van der Pol with mu = 1000 and Robertson's kinetics, the
// references at the two later times computed once with SciPy's solve_ivp
// (Radau, rtol 1e-12).
TEST(Ode15s, StiffProblems) {
    const OdeFunction vdp = [](double, const double *y, double *dy) {
        dy[0] = y[1];
        dy[1] = 1000 * (1 - y[0] * y[0]) * y[1] - y[0];
    };
    const OdeFunction robertson = [](double, const double *y, double *dy) {
        dy[0] = -0.04 * y[0] + 1e4 * y[1] * y[2];
        dy[1] = 0.04 * y[0] - 1e4 * y[1] * y[2] - 3e7 * y[1] * y[1];
        dy[2] = 3e7 * y[1] * y[1];
    };
    struct Case {
        const char *name;
        const OdeFunction *f;
        std::vector<double> tspan, y0, expected;
        double tol;
    };
    const Case cases[] = {
        {"van der Pol mu = 1000",
         &vdp,
         {0, 1500, 3000},
         {2, 0},
         {-1.3547459194980611, 0.0016217887275523344, -1.5106069367600334, 0.0011783800006990054},
         1e-3},
        {"Robertson",
         &robertson,
         {0, 40, 1e4},
         {1, 0, 0},
         {0.7158270687194159, 9.1855347645587e-06, 0.2841637457458215, 0.10730042853793235,
          4.800166972578056e-07, 0.8926990914453747},
         1e-4},
        {"decay", nullptr, {0, 1, 2}, {1}, {std::exp(-1.0), std::exp(-2.0)}, 1e-5},
    };
    const OdeFunction decay = [](double, const double *y, double *dy) { dy[0] = -y[0]; };
    for (const Case &c : cases) {
        OdeOptions o;
        o.relTol = 1e-6;
        o.absTol = {1e-10};
        const OdeSolution s = Ode15s(c.f ? *c.f : decay, c.tspan, c.y0, o);
        ASSERT_EQ(s.status, 0) << c.name << ": " << s.message;
        ASSERT_EQ(s.t.size(), 3u);
        for (std::size_t j = 0; j < c.expected.size(); ++j)
            EXPECT_NEAR(s.y[c.y0.size() + j], c.expected[j],
                        c.tol * std::max(1.0, std::fabs(c.expected[j])))
                << c.name << " " << j;
        std::printf("Ode15s %s: %d steps, %d failed, %d values\n", c.name, s.steps, s.failedSteps,
                    s.funcCount);
    }
}

}  // namespace
