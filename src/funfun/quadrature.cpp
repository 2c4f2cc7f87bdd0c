// src/funfun/quadrature.cpp: integrals of callbacks: adaptive Gauss-Kronrod
// (Integral) and adaptive Simpson (Quad).
#include <matrix/exceptions.h>
#include <matrix/funfun.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <limits>

namespace kiv {
namespace matrix {

namespace {

// The 15-point Kronrod extension of the 7-point Gauss-Legendre rule on
// [-1, 1] (A. S. Kronrod, "Nodes and weights of quadrature formulas",
// 1965; the values as tabulated by R. Piessens et al., QUADPACK, 1983):
// the nodes from the left end to the middle; the odd ones (1, 3, 5, 7) are
// the Gauss nodes, the rest mirror them.
constexpr double kNodes[8] = {
    -0.991455371120812639206854697526329, -0.949107912342758524526189684047851,
    -0.864864423359769072789712788640926, -0.741531185599394439863864773280788,
    -0.586087235467691130294144845693013, -0.405845151377397166906606412076961,
    -0.207784955007898467600689403773245, 0.0};
constexpr double kKronrod[8] = {
    0.022935322010529224963732008058970, 0.063092092629978553290700663189204,
    0.104790010322250183839876322541518, 0.140653259715525918745189590510238,
    0.169004726639267902826583426598550, 0.190350578064785409913256402421014,
    0.204432940075298892414161999234649, 0.209482141084727828012999174891714};
constexpr double kGauss[4] = {  // at nodes 1, 3, 5 and 7
    0.129484966168869693270611432679082, 0.279705391489276667901467771423780,
    0.381830050505118944950369775488975, 0.417959183673469387755102040816327};
constexpr int kPoints = 15;
// The pieces the mapped interval is first cut into.
constexpr int kFirstPieces = 10;

// Node k of 15 on [-1, 1], left to right.
double Node(int k) { return k < 8 ? kNodes[k] : -kNodes[14 - k]; }
double KronrodWeight(int k) { return kKronrod[k < 8 ? k : 14 - k]; }
// The Gauss weight at node k, 0 where node k is a Kronrod node only.
double GaussWeight(int k) {
    const int m = k < 8 ? k : 14 - k;
    return m % 2 == 1 ? kGauss[m / 2] : 0.0;
}

// The map from the integration variable t to x and its derivative: the
// interval [lo, hi] of t, x(t) and dx/dt.
struct Mapping {
    enum Kind { kFinite, kUpper, kLower, kBoth } kind;
    double a, b;  // the finite ends that the kind uses
    double lo, hi;
    double X(double t) const {
        switch (kind) {
            case kFinite: return (b / 4 - a / 4) * t * (3 - t * t) + (a / 2 + b / 2);
            case kUpper: return a + t / (1 - t);
            case kLower: return b - t / (1 - t);
            default: return t / (1 - t * t);
        }
    }
    double Dx(double t) const {
        switch (kind) {
            case kFinite: return 3 * (b / 4 - a / 4) * (1 - t * t);
            case kUpper:
            case kLower: return 1 / ((1 - t) * (1 - t));
            default: return (1 + t * t) / ((1 - t * t) * (1 - t * t));
        }
    }
};

std::string Number(double x) {
    char text[48];
    std::snprintf(text, sizeof text, "%.1e", x);
    return text;
}

struct Piece {
    double lo, hi, q, err;
};

}  // namespace

IntegralResult Integral(const BatchFunction &f, double a, double b,
                        const IntegralOptions &options) {
    if (std::isnan(a) || std::isnan(b))
        throw CFunctionErrorException(L"Integral: the limits must not be NaN");
    IntegralResult r;
    if (a == b) return r;
    const double sign = b < a ? -1.0 : 1.0;
    if (b < a) std::swap(a, b);
    Mapping map{Mapping::kFinite, a, b, -1, 1};
    if (std::isinf(a) && std::isinf(b))
        map = {Mapping::kBoth, 0, 0, -1, 1};
    else if (std::isinf(b))
        map = {Mapping::kUpper, a, 0, 0, 1};
    else if (std::isinf(a))
        map = {Mapping::kLower, 0, b, 0, 1};
    const double span = map.hi - map.lo;
    const double absTol = std::max(options.absTol, 0.0);
    const double relTol = std::max(options.relTol, 0.0);
    std::vector<Piece> active;
    for (int k = 0; k < kFirstPieces; ++k)
        active.push_back({map.lo + span * k / kFirstPieces,
                          k + 1 == kFirstPieces ? map.hi : map.lo + span * (k + 1) / kFirstPieces,
                          0, 0});
    double doneQ = 0, doneErr = 0;
    std::vector<double> x, fx;
    for (;;) {
        // Every piece's 15 nodes in one call of f.
        const std::size_t m = active.size();
        x.resize(m * kPoints);
        fx.assign(m * kPoints, 0.0);
        for (std::size_t p = 0; p < m; ++p) {
            const double mid = 0.5 * (active[p].lo + active[p].hi);
            const double half = 0.5 * (active[p].hi - active[p].lo);
            for (int k = 0; k < kPoints; ++k) x[p * kPoints + k] = map.X(mid + half * Node(k));
        }
        f(x.data(), fx.data(), x.size());
        r.funcCount += static_cast<int>(x.size());
        // Each piece's Kronrod value and its distance from the Gauss value.
        double q = doneQ, err = doneErr;
        for (std::size_t p = 0; p < m; ++p) {
            const double mid = 0.5 * (active[p].lo + active[p].hi);
            const double half = 0.5 * (active[p].hi - active[p].lo);
            double kq = 0, gq = 0;
            for (int k = 0; k < kPoints; ++k) {
                const double v = fx[p * kPoints + k] * map.Dx(mid + half * Node(k));
                kq += KronrodWeight(k) * v;
                gq += GaussWeight(k) * v;
            }
            active[p].q = half * kq;
            active[p].err = std::fabs(half * (kq - gq));
            q += active[p].q;
            err += active[p].err;
        }
        r.value = sign * q;
        r.errorBound = err;
        if (!std::isfinite(q) || std::isnan(err)) {
            r.status = 3;
            r.message = "Infinite or Not-a-Number value encountered.";
            return r;
        }
        const double tol = std::max(absTol, relTol * std::fabs(q));
        if (err <= tol) return r;
        // Keep the pieces whose error is within their share of the
        // tolerance; halve the others.
        std::vector<Piece> next;
        bool tooShort = false;
        for (const Piece &p : active) {
            if (p.err <= tol * (p.hi - p.lo) / span) {
                doneQ += p.q;
                doneErr += p.err;
                continue;
            }
            const double mid = 0.5 * (p.lo + p.hi);
            // A half whose ends x cannot tell apart ends the refinement.
            if (!(p.lo < mid && mid < p.hi) || map.X(p.lo) == map.X(mid) ||
                map.X(mid) == map.X(p.hi))
                tooShort = true;
            next.push_back({p.lo, mid, 0, 0});
            next.push_back({mid, p.hi, 0, 0});
        }
        if (next.empty()) return r;
        if (tooShort) {
            r.status = 2;
            r.message = "Minimum step size reached near x = " + Number(map.X(next[0].lo)) +
                        "; singularity possible.";
            return r;
        }
        if (next.size() > static_cast<std::size_t>(std::max(options.maxIntervalCount, 1))) {
            r.status = 1;
            r.message =
                "Reached the limit on the maximum number of intervals in use. The "
                "integral may be inaccurate: the error bound is " +
                Number(err) + ".";
            return r;
        }
        active = std::move(next);
    }
}

IntegralResult Integral(const ScalarFunction &f, double a, double b,
                        const IntegralOptions &options) {
    return Integral(
        [&f](const double *x, double *fx, std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) fx[k] = f(x[k]);
        },
        a, b, options);
}

namespace {

// One step of adaptive Simpson on [a, b] with the values at a, the middle
// and b known: compares the one- and two-panel rules and halves until they
// agree within tol.
class Simpson {
public:
    Simpson(const BatchFunction &f, double hmin, const IntegralOptions &o, IntegralResult &r)
        : m_f(f), m_hmin(hmin), m_options(o), m_r(r) {}

    double Step(double a, double b, double fa, double fc, double fb) {
        const double h = b - a;
        const double c = 0.5 * (a + b);
        double x[2] = {0.5 * (a + c), 0.5 * (c + b)};
        double y[2] = {0, 0};
        m_f(x, y, 2);
        m_r.funcCount += 2;
        const double fd = y[0], fe = y[1];
        const double q1 = h / 6 * (fa + 4 * fc + fb);
        const double q2 = h / 12 * (fa + 4 * fd + 2 * fc + 4 * fe + fb);
        if (!std::isfinite(q2)) {
            Mark(3, "Infinite or Not-a-Number function value encountered.");
            return q2;
        }
        if (std::fabs(h) < m_hmin || c <= a || c >= b) {
            Mark(2, "Minimum step size reached; singularity possible.");
            return q2;
        }
        if (m_r.funcCount > m_options.maxFunEvals) {
            Mark(1, "Maximum function count exceeded; singularity likely.");
            return q2;
        }
        // Lyness: accept and extrapolate.
        if (std::fabs(q2 - q1) <= m_options.absTol) return q2 + (q2 - q1) / 15;
        return Step(a, c, fa, fd, fc) + Step(c, b, fc, fe, fb);
    }

private:
    void Mark(int status, const char *message) {
        if (m_r.status != 0) return;
        m_r.status = status;
        m_r.message = message;
    }
    const BatchFunction &m_f;
    double m_hmin;
    const IntegralOptions &m_options;
    IntegralResult &m_r;
};

}  // namespace

IntegralResult Quad(const BatchFunction &f, double a, double b, const IntegralOptions &options) {
    if (!std::isfinite(a) || !std::isfinite(b))
        throw CFunctionErrorException(L"Quad: the limits must be finite");
    IntegralResult r;
    if (a == b) return r;
    // Seven first nodes at uneven places, so that a symmetric or periodic
    // integrand is not sampled only where it vanishes.
    constexpr double kFirst = 0.13579;
    const double h = kFirst * (b - a);
    double x[7] = {a, a + h, a + 2 * h, 0.5 * (a + b), b - 2 * h, b - h, b};
    double y[7] = {0, 0, 0, 0, 0, 0, 0};
    f(x, y, 7);
    r.funcCount = 7;
    // The shortest piece: 1024 units of roundoff of the whole.
    const double hmin = DBL_EPSILON / 1024 * std::fabs(b - a);
    Simpson s(f, hmin, options, r);
    const double q = s.Step(x[0], x[2], y[0], y[1], y[2]) + s.Step(x[2], x[4], y[2], y[3], y[4]) +
                     s.Step(x[4], x[6], y[4], y[5], y[6]);
    r.value = q;
    r.errorBound = options.absTol;
    return r;
}

}  // namespace matrix
}  // namespace kiv
