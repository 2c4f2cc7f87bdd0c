// src/polyfun/interpolation.cpp: one-dimensional interpolation (piecewise
// constant, linear and cubic Hermite: pchip, spline, makima), the pp form of
// the cubics, and bilinear and nearest interpolation on a grid.
#include "polyfun/polyfun_common.h"

#include "core/array_holder.h"

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/polyfun.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

namespace kiv {
namespace matrix {

using polyfun::Fail;
using polyfun::Make;
using polyfun::Operand;
using polyfun::Read;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The interval i (0 <= i <= n-2) whose [x(i), x(i+1)) holds t, the first or
// last one outside the range; x ascending, n >= 2.
inline std::size_t Interval(const double *x, std::size_t n, double t) {
    const std::size_t i = static_cast<std::size_t>(std::upper_bound(x, x + n, t) - x);
    if (i == 0) return 0;
    return std::min(i - 1, n - 2);
}

// Slopes of the shape-preserving cubic (pchip).
std::vector<double> PchipSlopes(const std::vector<double> &x, const double *y) {
    const std::size_t n = x.size();
    std::vector<double> h(n - 1), del(n - 1), d(n, 0.0);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        h[k] = x[k + 1] - x[k];
        del[k] = (y[k + 1] - y[k]) / h[k];
    }
    if (n == 2) {
        d[0] = d[1] = del[0];
        return d;
    }
    for (std::size_t k = 1; k + 1 < n; ++k) {
        if ((del[k - 1] > 0 && del[k] > 0) || (del[k - 1] < 0 && del[k] < 0)) {
            const double w1 = 2 * h[k] + h[k - 1], w2 = h[k] + 2 * h[k - 1];
            d[k] = (w1 + w2) / (w1 / del[k - 1] + w2 / del[k]);
        }
    }
    const auto sign = [](double t) { return t > 0 ? 1 : (t < 0 ? -1 : 0); };
    // The shape-preserving three-point end formula.
    const auto end = [&](double h0, double h1, double d0, double d1) {
        double s = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
        if (sign(s) != sign(d0))
            s = 0;
        else if (sign(d0) != sign(d1) && std::fabs(s) > std::fabs(3 * d0))
            s = 3 * d0;
        return s;
    };
    d[0] = end(h[0], h[1], del[0], del[1]);
    d[n - 1] = end(h[n - 2], h[n - 3], del[n - 2], del[n - 3]);
    return d;
}

// Slopes of the modified Akima cubic (makima).
std::vector<double> MakimaSlopes(const std::vector<double> &x, const double *y) {
    const std::size_t n = x.size();
    // del(k) at position k+2, two extended slopes at each end.
    std::vector<double> del(n + 3);
    for (std::size_t k = 0; k + 1 < n; ++k) del[k + 2] = (y[k + 1] - y[k]) / (x[k + 1] - x[k]);
    if (n == 2) return {del[2], del[2]};
    del[1] = 2 * del[2] - del[3];
    del[0] = 2 * del[1] - del[2];
    del[n + 1] = 2 * del[n] - del[n - 1];
    del[n + 2] = 2 * del[n + 1] - del[n];
    std::vector<double> d(n);
    for (std::size_t k = 0; k < n; ++k) {
        // Around point k: del(k-2..k+1) at positions k..k+3.
        const double dm2 = del[k], dm1 = del[k + 1], d0 = del[k + 2], d1 = del[k + 3];
        const double w1 = std::fabs(d1 - d0) + std::fabs(d1 + d0) / 2;
        const double w2 = std::fabs(dm1 - dm2) + std::fabs(dm1 + dm2) / 2;
        d[k] = w1 + w2 == 0 ? 0.0 : (w1 / (w1 + w2)) * dm1 + (w2 / (w1 + w2)) * d0;
    }
    return d;
}

// Slopes of the C2 cubic spline: not-a-knot ends, or the given end slopes
// when clamped. Solves the tridiagonal system by elimination without
// pivoting (its rows are diagonally dominant but for the not-a-knot ends,
// which elimination takes as they are).
std::vector<double> SplineSlopes(const std::vector<double> &x, const double *y, bool clamped,
                                 double s0, double s1) {
    const std::size_t n = x.size();
    std::vector<double> h(n - 1), del(n - 1);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        h[k] = x[k + 1] - x[k];
        del[k] = (y[k + 1] - y[k]) / h[k];
    }
    if (!clamped && n == 2) return {del[0], del[0]};
    if (!clamped && n == 3) {
        // The parabola through the three points.
        const double c = (del[1] - del[0]) / (x[2] - x[0]);
        return {del[0] - c * h[0], del[0] + c * h[0], del[1] + c * h[1]};
    }
    std::vector<double> lo(n, 0.0), di(n, 0.0), up(n, 0.0), rhs(n, 0.0);
    for (std::size_t k = 1; k + 1 < n; ++k) {
        lo[k] = h[k];
        di[k] = 2 * (h[k - 1] + h[k]);
        up[k] = h[k - 1];
        rhs[k] = 3 * (h[k] * del[k - 1] + h[k - 1] * del[k]);
    }
    if (clamped) {
        di[0] = 1;
        rhs[0] = s0;
        di[n - 1] = 1;
        rhs[n - 1] = s1;
    } else {
        const double r = h[0] + h[1];
        di[0] = h[1];
        up[0] = r;
        rhs[0] = ((h[0] + 2 * r) * h[1] * del[0] + h[0] * h[0] * del[1]) / r;
        const double a = h[n - 2], b = h[n - 3], q = a + b;
        lo[n - 1] = q;
        di[n - 1] = b;
        rhs[n - 1] = (a * a * del[n - 3] + (2 * q + a) * b * del[n - 2]) / q;
    }
    for (std::size_t k = 1; k < n; ++k) {
        const double f = lo[k] / di[k - 1];
        di[k] = di[k] - f * up[k - 1];
        rhs[k] = rhs[k] - f * rhs[k - 1];
    }
    std::vector<double> d(n);
    d[n - 1] = rhs[n - 1] / di[n - 1];
    for (std::size_t k = n - 1; k-- > 0;) d[k] = (rhs[k] - up[k] * d[k + 1]) / di[k];
    return d;
}

// The cubic Hermite piece on [x(i), x(i+1)] at t.
inline double Hermite(const double *x, const double *y, const double *d, std::size_t i, double t) {
    const double h = x[i + 1] - x[i];
    const double del = (y[i + 1] - y[i]) / h;
    const double c2 = (3 * del - 2 * d[i] - d[i + 1]) / h;
    const double c3 = (d[i] - 2 * del + d[i + 1]) / (h * h);
    const double s = t - x[i];
    return y[i] + s * (d[i] + s * (c2 + s * c3));
}

// Sample points: a vector of distinct non-NaN values, ascending; `order`
// the positions of the given points in ascending order (empty when they
// were ascending already).
struct Samples {
    std::vector<double> x;
    std::vector<std::size_t> order;
};

Samples SortedSamples(const Operand &xs, const char *fn) {
    if (xs.complex()) Fail(fn, "the sample points must be real");
    Samples s;
    s.x = xs.re;
    for (double t : s.x)
        if (std::isnan(t)) Fail(fn, "the sample points must not be NaN");
    if (!std::is_sorted(s.x.begin(), s.x.end())) {
        s.order.resize(s.x.size());
        std::iota(s.order.begin(), s.order.end(), std::size_t(0));
        std::stable_sort(s.order.begin(), s.order.end(),
                         [&](std::size_t a, std::size_t b) { return xs.re[a] < xs.re[b]; });
        for (std::size_t k = 0; k < s.x.size(); ++k) s.x[k] = xs.re[s.order[k]];
    }
    for (std::size_t k = 1; k < s.x.size(); ++k)
        if (s.x[k] == s.x[k - 1]) Fail(fn, "the sample points must be distinct");
    return s;
}

std::vector<double> Slopes(InterpMethod method, const std::vector<double> &x, const double *y,
                           bool clamped = false, double s0 = 0, double s1 = 0) {
    switch (method) {
        case InterpMethod::kPchip: return PchipSlopes(x, y);
        case InterpMethod::kMakima: return MakimaSlopes(x, y);
        default: return SplineSlopes(x, y, clamped, s0, s1);
    }
}

// Interpolates one column y (n values at the ascending x) at q[0..m) into out.
void Column(InterpMethod method, InterpExtrap extrap, double value, const std::vector<double> &x,
            const double *y, const double *q, std::size_t m, double *out) {
    const std::size_t n = x.size();
    const double lo = x[0], hi = x[n - 1];
    const double *xp = x.data();
    const bool cubic = method == InterpMethod::kPchip || method == InterpMethod::kSpline ||
                       method == InterpMethod::kMakima;
    std::vector<double> d;
    if (cubic) d = Slopes(method, x, y);
    for (std::size_t k = 0; k < m; ++k) {
        const double t = q[k];
        if (std::isnan(t)) {
            out[k] = kNaN;
            continue;
        }
        const bool outside = t < lo || t > hi;
        if (outside && extrap == InterpExtrap::kNaN) {
            out[k] = kNaN;
            continue;
        }
        if (outside && extrap == InterpExtrap::kValue) {
            out[k] = value;
            continue;
        }
        switch (method) {
            case InterpMethod::kLinear: {
                const std::size_t i = Interval(xp, n, t);
                const double s = (t - xp[i]) / (xp[i + 1] - xp[i]);
                // At the last point v(n) itself, even beside an infinite v(n-1).
            out[k] = s == 1 ? y[i + 1] : (1 - s) * y[i] + s * y[i + 1];
                break;
            }
            case InterpMethod::kNearest: {
                if (n == 1) {
                    out[k] = y[0];
                    break;
                }
                const std::size_t i = Interval(xp, n, t);
                out[k] = t >= xp[i] + (xp[i + 1] - xp[i]) / 2 ? y[i + 1] : y[i];
                break;
            }
            case InterpMethod::kPrevious: {
                const std::size_t i =
                    static_cast<std::size_t>(std::upper_bound(xp, xp + n, t) - xp);
                out[k] = i == 0 ? kNaN : y[i - 1];
                break;
            }
            case InterpMethod::kNext: {
                const std::size_t i =
                    static_cast<std::size_t>(std::lower_bound(xp, xp + n, t) - xp);
                out[k] = i == n ? kNaN : y[i];
                break;
            }
            default: out[k] = Hermite(xp, y, d.data(), Interval(xp, n, t), t);
        }
    }
}

}  // namespace

CMatrix *Interp1(const CMatrix *x, const CMatrix *v, const CMatrix *xq, InterpMethod method,
                 InterpExtrap extrap, double extrapValue) {
    if (method == InterpMethod::kCubic) method = InterpMethod::kPchip;
    const Operand xs = Read(x, "Interp1");
    const Operand vs = Read(v, "Interp1");
    // The query points are read in place when they are real double (the
    // common case, and the long operand).
    const bool direct = xq && xq->GetClassID() == mxClassDouble && !xq->IsComplex();
    const Operand qs = direct ? Operand() : Read(xq, "Interp1");
    if (!xs.isVector()) Fail("Interp1", "the sample points must be a vector");
    if (qs.complex()) Fail("Interp1", "the query points must be real");
    const std::vector<unsigned int> qdims =
        direct ? std::vector<unsigned int>(xq->GetDimensions(),
                                           xq->GetDimensions() + xq->GetNoDimensions())
               : qs.dims;
    const bool qVector = qdims.size() == 2 && (qdims[0] == 1 || qdims[1] == 1);
    const std::size_t n = xs.size();
    std::size_t columns = 1;
    if (vs.isVector()) {
        if (vs.size() != n) Fail("Interp1", "the values must have one row for each sample point");
    } else {
        if (vs.dims.size() != 2 || vs.dims[0] != n)
            Fail("Interp1", "the values must have one row for each sample point");
        columns = vs.dims[1];
    }
    const bool cubic = method == InterpMethod::kPchip || method == InterpMethod::kSpline ||
                       method == InterpMethod::kMakima;
    const bool constant = method == InterpMethod::kNearest || method == InterpMethod::kPrevious ||
                          method == InterpMethod::kNext;
    if (n < (constant ? 1u : 2u))
        Fail("Interp1", constant ? "there must be at least 1 sample point"
                                 : "there must be at least 2 sample points");
    if (vs.complex() && (method == InterpMethod::kPchip || method == InterpMethod::kMakima))
        Fail("Interp1", "pchip and makima interpolate real values only");
    if (extrap == InterpExtrap::kDefault)
        extrap = cubic ? InterpExtrap::kExtrap : InterpExtrap::kNaN;
    const Samples s = SortedSamples(xs, "Interp1");
    const bool single = xs.single || vs.single || qs.single;
    const std::size_t m = direct ? xq->GetNoElems() : qs.size();
    const double *q = direct ? static_cast<const double *>(xq->GetPr()) : qs.re.data();
    std::vector<unsigned int> dims;
    if (vs.isVector())
        dims = qdims;
    else if (qVector)
        dims = {static_cast<unsigned int>(m), static_cast<unsigned int>(columns)};
    else {
        dims = qdims;
        dims.push_back(static_cast<unsigned int>(columns));
    }
    ArrayHolder out(new CMatrix(static_cast<unsigned int>(dims.size()), dims.data(), mxClassDouble,
                                0, vs.complex() ? mxComplexityComplex : mxComplexityReal));
    double *re = static_cast<double *>(out->GetPr());
    double *im = vs.complex() ? static_cast<double *>(out->GetPi()) : nullptr;
    std::vector<double> y(n);
    for (int part = 0; part < (vs.complex() ? 2 : 1); ++part) {
        const std::vector<double> &src = part ? vs.im : vs.re;
        double *dst = part ? im : re;
        for (std::size_t c = 0; c < columns; ++c) {
            for (std::size_t k = 0; k < n; ++k)
                y[k] = src[c * n + (s.order.empty() ? k : s.order[k])];
            Column(method, extrap, part ? 0.0 : extrapValue, s.x, y.data(), q, m, dst + c * m);
            // Outside the points both parts take the real NaN.
            if (part && extrap == InterpExtrap::kNaN)
                for (std::size_t k = 0; k < m; ++k)
                    if (std::isnan(dst[c * m + k])) dst[c * m + k] = 0;
        }
    }
    if (im) {
        bool any = false;
        for (std::size_t k = 0; k < m * columns && !any; ++k) any = im[k] != 0.0;
        if (!any) out->ToReal();
    }
    if (!single) return out.release();
    return Single(out.get());
}

namespace {

// The count of values per point of y: 1 for a vector, else the product of
// every length but the last (which runs along x).
std::size_t ValuesPerPoint(const Operand &ys) {
    if (ys.isVector() || ys.dims.empty()) return 1;
    std::size_t d = 1;
    for (std::size_t k = 0; k + 1 < ys.dims.size(); ++k) d *= ys.dims[k];
    return d;
}

// The pieces (breaks, coefs) of a cubic Hermite interpolant of y at x; y
// may carry two extra end slopes (clamped spline). A y of d values per point
// gives d * (n - 1) rows, row i * d + r the piece i of component r.
void Pieces(CMatrix *&breaks, CMatrix *&coefs, const CMatrix *x, const CMatrix *y,
            InterpMethod method, const char *fn) {
    breaks = nullptr;
    coefs = nullptr;
    const Operand xs = Read(x, fn);
    const Operand ys = Read(y, fn);
    if (!xs.isVector()) Fail(fn, "X must be a vector");
    if (ys.complex()) Fail(fn, "the values must be real");
    const std::size_t n = xs.size();
    const std::size_t d = ValuesPerPoint(ys);
    const std::size_t m = ys.isVector() ? ys.size() : ys.dims.back();
    const bool clamped = method == InterpMethod::kSpline && m == n + 2;
    if (m != n && !clamped)
        Fail(fn, method == InterpMethod::kSpline
                     ? "Y must have as many values as X, or two more (the end slopes), along its "
                       "last dimension"
                     : "Y must have as many values as X along its last dimension");
    if (n < 2) Fail(fn, "there must be at least 2 sample points");
    if (d == 0) Fail(fn, "Y must not be empty");
    const Samples s = SortedSamples(xs, fn);
    const std::size_t l = n - 1;
    std::vector<double> c(d * l * 4);
    std::vector<double> yv(n);
    const std::size_t shift = clamped ? 1 : 0;
    for (std::size_t r = 0; r < d; ++r) {
        for (std::size_t k = 0; k < n; ++k)
            yv[k] = ys.re[r + d * (shift + (s.order.empty() ? k : s.order[k]))];
        const std::vector<double> dv =
            Slopes(method, s.x, yv.data(), clamped, clamped ? ys.re[r] : 0,
                   clamped ? ys.re[r + d * (n + 1)] : 0);
        for (std::size_t i = 0; i < l; ++i) {
            const double h = s.x[i + 1] - s.x[i];
            const double del = (yv[i + 1] - yv[i]) / h;
            const std::size_t row = i * d + r, rows = d * l;
            c[row] = (dv[i] - 2 * del + dv[i + 1]) / (h * h);
            c[row + rows] = (3 * del - 2 * dv[i] - dv[i + 1]) / h;
            c[row + 2 * rows] = dv[i];
            c[row + 3 * rows] = yv[i];
        }
    }
    const bool single = xs.single || ys.single;
    ArrayHolder b(Make(1, static_cast<unsigned int>(n), s.x.data(), nullptr, single));
    ArrayHolder co(Make(static_cast<unsigned int>(d * l), 4, c.data(), nullptr, single));
    breaks = b.release();
    coefs = co.release();
}

// The shape of a cubic's values at xq for y: xq's shape for one value per
// point, else y's lengths but the last, then numel(xq) for a vector xq or
// xq's shape.
std::vector<unsigned int> ValuesShape(const Operand &ys, const CMatrix *xq) {
    const std::vector<unsigned int> q(xq->GetDimensions(),
                                      xq->GetDimensions() + xq->GetNoDimensions());
    if (ys.isVector()) return q;
    std::vector<unsigned int> dims(ys.dims.begin(), ys.dims.end() - 1);
    const bool vector = q.size() == 2 && (q[0] == 1 || q[1] == 1);
    if (vector)
        dims.push_back(static_cast<unsigned int>(xq->GetNoElems()));
    else
        dims.insert(dims.end(), q.begin(), q.end());
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    if (dims.size() == 1) dims.push_back(1);
    return dims;
}

// The values of the cubic of `Piecewise` through (x, y) at xq, y of one or
// more values per point.
template <class Piecewise>
CMatrix *CubicValues(const CMatrix *x, const CMatrix *y, const CMatrix *xq, const char *fn,
                     Piecewise pieces) {
    const Operand ys = Read(y, fn);
    if (!xq) Fail(fn, "the query points are missing");
    CMatrix *b = nullptr, *c = nullptr;
    pieces(b, c, x, y);
    ArrayHolder hb(b), hc(c);
    const std::size_t d = ValuesPerPoint(ys);
    ArrayHolder v(Ppval(b, c, static_cast<unsigned int>(d), xq));
    if (d == 1) return v.release();
    std::vector<unsigned int> dims = ValuesShape(ys, xq);
    v->Reshape(static_cast<unsigned int>(dims.size()), dims.data());
    return v.release();
}

}  // namespace

void SplinePieces(CMatrix *&breaks, CMatrix *&coefs, const CMatrix *x, const CMatrix *y) {
    Pieces(breaks, coefs, x, y, InterpMethod::kSpline, "Spline");
}

void PchipPieces(CMatrix *&breaks, CMatrix *&coefs, const CMatrix *x, const CMatrix *y) {
    Pieces(breaks, coefs, x, y, InterpMethod::kPchip, "Pchip");
}

CMatrix *Ppval(const CMatrix *breaks, const CMatrix *coefs, const CMatrix *xq) {
    return Ppval(breaks, coefs, 1, xq);
}

CMatrix *Ppval(const CMatrix *breaks, const CMatrix *coefs, unsigned int d, const CMatrix *xq) {
    const Operand b = Read(breaks, "Ppval");
    const Operand c = Read(coefs, "Ppval");
    const Operand q = Read(xq, "Ppval");
    if (b.complex() || c.complex() || q.complex()) Fail("Ppval", "the arguments must be real");
    if (d == 0 || !b.isVector() || b.size() < 2 || c.dims.size() != 2 ||
        c.dims[0] != std::size_t{d} * (b.size() - 1) || c.dims[1] < 1)
        Fail("Ppval", "the coefficients must have one row for each piece and component");
    const std::size_t n = b.size(), rows = c.dims[0], order = c.dims[1];
    std::vector<double> out(q.size() * d);
    for (std::size_t k = 0; k < q.size(); ++k) {
        const double t = q.re[k];
        const std::size_t i = std::isnan(t) ? 0 : Interval(b.re.data(), n, t);
        const double s = t - b.re[i];
        for (std::size_t r = 0; r < d; ++r) {
            if (std::isnan(t)) {
                out[k * d + r] = kNaN;
                continue;
            }
            const std::size_t row = i * d + r;
            double y = c.re[row];
            for (std::size_t j = 1; j < order; ++j) y = y * s + c.re[row + j * rows];
            out[k * d + r] = y;
        }
    }
    std::vector<unsigned int> dims = q.dims;
    if (d > 1) {
        const bool vector = q.isVector();
        dims = {d};
        if (vector)
            dims.push_back(static_cast<unsigned int>(q.size()));
        else
            dims.insert(dims.end(), q.dims.begin(), q.dims.end());
    }
    return Make(dims, out.data(), nullptr, b.single || c.single || q.single);
}

CMatrix *Spline(const CMatrix *x, const CMatrix *y, const CMatrix *xq) {
    if (y && y->IsComplex()) {
        // The spline is linear in the values: each part on its own.
        const Operand ys = Read(y, "Spline");
        const ArrayHolder yr(Make(ys.dims, ys.re.data(), nullptr, false));
        const ArrayHolder yi(Make(ys.dims, ys.im.data(), nullptr, false));
        const ArrayHolder vr(Spline(x, yr.get(), xq)), vi(Spline(x, yi.get(), xq));
        const Operand r = Read(vr.get(), "Spline"), i = Read(vi.get(), "Spline");
        return Make(r.dims, r.re.data(), i.re.data(), ys.single || r.single);
    }
    return CubicValues(x, y, xq, "Spline", SplinePieces);
}

CMatrix *Pchip(const CMatrix *x, const CMatrix *y, const CMatrix *xq) {
    return CubicValues(x, y, xq, "Pchip", PchipPieces);
}

namespace {

// Keys' cubic convolution kernel (a = -1/2) at s.
inline double Keys(double s) {
    s = std::fabs(s);
    if (s <= 1) return (1.5 * s - 2.5) * s * s + 1;
    if (s < 2) return ((-0.5 * s + 2.5) * s - 4) * s + 2;
    return 0;
}

// The cubic convolution of f[0 .. n) (n >= 3, uniform points) on interval j
// at the fraction t: f[j-1], f[j], f[j+1], f[j+2] weighted by the kernel,
// the points beyond the ends extended as f[-1] = 3 f[0] - 3 f[1] + f[2]
// (and alike at the far end), so that quadratics are reproduced exactly.
double Convolve(const double *f, std::size_t stride, std::size_t n, std::size_t j, double t) {
    const auto at = [&](std::ptrdiff_t k) {
        if (k < 0) return 3 * f[0] - 3 * f[stride] + f[2 * stride];
        if (static_cast<std::size_t>(k) >= n)
            return 3 * f[(n - 1) * stride] - 3 * f[(n - 2) * stride] + f[(n - 3) * stride];
        return f[static_cast<std::size_t>(k) * stride];
    };
    const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(j);
    return at(i - 1) * Keys(t + 1) + at(i) * Keys(t) + at(i + 1) * Keys(1 - t) +
           at(i + 2) * Keys(2 - t);
}

// Whether the points g are equally spaced (within rounding of their size).
bool Uniform(const std::vector<double> &g) {
    if (g.size() < 3) return true;
    const double h = g[1] - g[0];
    const double tol = 64 * std::numeric_limits<double>::epsilon() *
                       std::max(std::fabs(g.front()), std::fabs(g.back()));
    for (std::size_t k = 2; k < g.size(); ++k)
        if (!(std::fabs((g[k] - g[k - 1]) - h) <= tol)) return false;
    return true;
}

// The cubic interpolants of V (ny x nx, column-major) on the grid (gx, gy):
// the bicubic not-a-knot spline (the splines of V's rows along x at tx, then
// the spline of those values along y at ty) or Keys' cubic convolution
// (along x for the four rows around ty, then along y).
class GridCubic {
  public:
    GridCubic(const std::vector<double> &gx, const std::vector<double> &gy, const double *v,
              bool spline)
        : gx_(gx), gy_(gy), v_(v), spline_(spline), nx_(gx.size()), ny_(gy.size()) {
        if (!spline_) return;
        rows_.resize(nx_ * ny_);
        slopes_.resize(nx_ * ny_);
        for (std::size_t i = 0; i < ny_; ++i) {
            for (std::size_t j = 0; j < nx_; ++j) rows_[i * nx_ + j] = v_[i + j * ny_];
            const std::vector<double> d = SplineSlopes(gx_, rows_.data() + i * nx_, false, 0, 0);
            std::copy(d.begin(), d.end(), slopes_.begin() + static_cast<std::ptrdiff_t>(i * nx_));
        }
        column_.resize(ny_);
    }

    double At(double tx, double ty) {
        const std::size_t j = Interval(gx_.data(), nx_, tx), i = Interval(gy_.data(), ny_, ty);
        if (spline_) {
            for (std::size_t r = 0; r < ny_; ++r)
                column_[r] = Hermite(gx_.data(), rows_.data() + r * nx_, slopes_.data() + r * nx_, j, tx);
            const std::vector<double> d = SplineSlopes(gy_, column_.data(), false, 0, 0);
            return Hermite(gy_.data(), column_.data(), d.data(), i, ty);
        }
        const double sx = (tx - gx_[j]) / (gx_[j + 1] - gx_[j]);
        const double sy = (ty - gy_[i]) / (gy_[i + 1] - gy_[i]);
        // Along x on each of the ny rows the y-convolution reads (the four
        // around i, the ends extended by Convolve).
        double along[4];
        for (int r = 0; r < 4; ++r) {
            const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(i) - 1 + r;
            const auto rowValue = [&](std::size_t k) {
                return Convolve(v_ + k, ny_, nx_, j, sx);
            };
            if (row < 0)
                along[r] = 3 * rowValue(0) - 3 * rowValue(1) + rowValue(2);
            else if (static_cast<std::size_t>(row) >= ny_)
                along[r] = 3 * rowValue(ny_ - 1) - 3 * rowValue(ny_ - 2) + rowValue(ny_ - 3);
            else
                along[r] = rowValue(static_cast<std::size_t>(row));
        }
        return along[0] * Keys(sy + 1) + along[1] * Keys(sy) + along[2] * Keys(1 - sy) +
               along[3] * Keys(2 - sy);
    }

  private:
    const std::vector<double> &gx_, &gy_;
    const double *v_;
    bool spline_;
    std::size_t nx_, ny_;
    std::vector<double> rows_, slopes_, column_;
};

}  // namespace

CMatrix *Interp2(const CMatrix *x, const CMatrix *y, const CMatrix *V, const CMatrix *Xq,
                 const CMatrix *Yq, InterpMethod method, double extrapValue) {
    const Operand vs = Read(V, "Interp2");
    if (vs.dims.size() != 2) Fail("Interp2", "V must be a matrix");
    const std::size_t ny = vs.dims[0], nx = vs.dims[1];
    if (method == InterpMethod::kPchip) method = InterpMethod::kCubic;
    if (method != InterpMethod::kLinear && method != InterpMethod::kNearest &&
        method != InterpMethod::kCubic && method != InterpMethod::kSpline)
        Fail("Interp2", "the method must be 'linear', 'nearest', 'cubic' or 'spline'");
    if (nx < 1 || ny < 1) Fail("Interp2", "V must not be empty");
    // Grid vectors: given as vectors, or as the matrices of a mesh grid (the
    // first row of X, the first column of Y).
    const auto grid = [&](const CMatrix *g, std::size_t count, bool alongRows) {
        std::vector<double> out(count);
        if (!g) {
            for (std::size_t k = 0; k < count; ++k) out[k] = static_cast<double>(k + 1);
            return out;
        }
        const Operand o = Read(g, "Interp2");
        if (o.complex()) Fail("Interp2", "the grid must be real");
        if (o.isVector() && o.size() == count) return o.re;
        if (o.dims.size() == 2 && o.dims[0] == ny && o.dims[1] == nx) {
            for (std::size_t k = 0; k < count; ++k) out[k] = alongRows ? o.re[k * ny] : o.re[k];
            return out;
        }
        Fail("Interp2", "the grid must match the size of V");
    };
    const std::vector<double> gx = grid(x, nx, true), gy = grid(y, ny, false);
    for (const std::vector<double> *g : {&gx, &gy})
        for (std::size_t k = 0; k < g->size(); ++k)
            if (std::isnan((*g)[k]) || (k && !((*g)[k] > (*g)[k - 1])))
                Fail("Interp2", "the grid vectors must be strictly ascending");
    if (method == InterpMethod::kLinear && (nx < 2 || ny < 2))
        Fail("Interp2", "linear interpolation needs at least 2 grid points in each direction");
    // Cubic convolution wants equal spacing; on other grids the spline.
    if (method == InterpMethod::kCubic && !(Uniform(gx) && Uniform(gy))) method = InterpMethod::kSpline;
    if (method == InterpMethod::kCubic && (nx < 3 || ny < 3))
        Fail("Interp2", "cubic interpolation needs at least 3 grid points in each direction");
    if (method == InterpMethod::kSpline && (nx < 2 || ny < 2))
        Fail("Interp2", "spline interpolation needs at least 2 grid points in each direction");
    const Operand xq = Read(Xq, "Interp2");
    const Operand yq = Read(Yq, "Interp2");
    if (xq.complex() || yq.complex()) Fail("Interp2", "the query points must be real");
    std::vector<double> qx, qy;
    std::vector<unsigned int> dims;
    if (xq.isVector() && yq.isVector() && !xq.isColumn() && yq.isColumn() && xq.size() > 1) {
        // A row of x and a column of y: the grid of their pairs.
        dims = {static_cast<unsigned int>(yq.size()), static_cast<unsigned int>(xq.size())};
        for (std::size_t j = 0; j < xq.size(); ++j)
            for (std::size_t i = 0; i < yq.size(); ++i) {
                qx.push_back(xq.re[j]);
                qy.push_back(yq.re[i]);
            }
    } else {
        if (xq.dims != yq.dims) Fail("Interp2", "Xq and Yq must be of the same size");
        dims = xq.dims;
        qx = xq.re;
        qy = yq.re;
    }
    const std::vector<double> vim = vs.im;
    std::vector<double> re(qx.size()), im(vs.complex() ? qx.size() : 0);
    if (method == InterpMethod::kCubic || method == InterpMethod::kSpline) {
        const bool spline = method == InterpMethod::kSpline;
        GridCubic real(gx, gy, vs.re.data(), spline);
        std::unique_ptr<GridCubic> imag;
        if (!im.empty()) imag.reset(new GridCubic(gx, gy, vs.im.data(), spline));
        for (std::size_t k = 0; k < qx.size(); ++k) {
            const double tx = qx[k], ty = qy[k];
            if (!(tx >= gx[0] && tx <= gx[nx - 1] && ty >= gy[0] && ty <= gy[ny - 1])) {
                re[k] = extrapValue;
                continue;
            }
            re[k] = real.At(tx, ty);
            if (imag) im[k] = imag->At(tx, ty);
        }
        return Make(dims, re.data(), im.empty() ? nullptr : im.data(),
                    vs.single || xq.single || yq.single);
    }
    for (std::size_t k = 0; k < qx.size(); ++k) {
        const double tx = qx[k], ty = qy[k];
        if (!(tx >= gx[0] && tx <= gx[nx - 1] && ty >= gy[0] && ty <= gy[ny - 1])) {
            re[k] = extrapValue;
            continue;
        }
        if (method == InterpMethod::kNearest) {
            std::size_t j = 0, i = 0;
            if (nx > 1) {
                j = Interval(gx.data(), nx, tx);
                if (tx >= gx[j] + (gx[j + 1] - gx[j]) / 2) ++j;
            }
            if (ny > 1) {
                i = Interval(gy.data(), ny, ty);
                if (ty >= gy[i] + (gy[i + 1] - gy[i]) / 2) ++i;
            }
            re[k] = vs.re[i + j * ny];
            if (!im.empty()) im[k] = vs.im[i + j * ny];
            continue;
        }
        const std::size_t j = Interval(gx.data(), nx, tx), i = Interval(gy.data(), ny, ty);
        const double sx = (tx - gx[j]) / (gx[j + 1] - gx[j]);
        const double sy = (ty - gy[i]) / (gy[i + 1] - gy[i]);
        const auto blend = [&](const std::vector<double> &w) {
            const double v00 = w[i + j * ny], v01 = w[i + (j + 1) * ny];
            const double v10 = w[i + 1 + j * ny], v11 = w[i + 1 + (j + 1) * ny];
            return (1 - sy) * ((1 - sx) * v00 + sx * v01) + sy * ((1 - sx) * v10 + sx * v11);
        };
        re[k] = blend(vs.re);
        if (!im.empty()) im[k] = blend(vs.im);
    }
    return Make(dims, re.data(), im.empty() ? nullptr : im.data(),
                vs.single || xq.single || yq.single);
}

}  // namespace matrix
}  // namespace kiv
