// src/polyfun/polynomials.cpp: values, fits, roots, products, quotients,
// derivatives and integrals of polynomials.
#include "polyfun/polyfun_common.h"

#include "core/array_holder.h"

#include <matrix/exceptions.h>
#include <matrix/linalg.h>
#include <matrix/mx.h>
#include <matrix/polyfun.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kiv {
namespace matrix {

using polyfun::Cplx;
using polyfun::Fail;
using polyfun::Make;
using polyfun::MakeComplex;
using polyfun::Operand;
using polyfun::Read;

namespace {

// a*b part by part in the stated order.
inline Cplx Mul(Cplx a, Cplx b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

std::vector<Cplx> Values(const Operand &a) {
    std::vector<Cplx> v(a.size());
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = a.at(k);
    return v;
}

// Drops leading zeros, keeping one element at least (the zero polynomial 0).
std::vector<Cplx> Trim(std::vector<Cplx> p) {
    std::size_t first = 0;
    while (first + 1 < p.size() && p[first] == 0.0) ++first;
    p.erase(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(first));
    if (p.empty()) p.push_back(0.0);
    return p;
}

std::vector<Cplx> FullConv(const std::vector<Cplx> &u, const std::vector<Cplx> &v) {
    if (u.empty() || v.empty()) return {};
    std::vector<Cplx> c(u.size() + v.size() - 1, Cplx(0.0, 0.0));
    for (std::size_t j = 0; j < u.size(); ++j)
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Cplx t = Mul(u[j], v[i]);
            c[j + i] = {c[j + i].real() + t.real(), c[j + i].imag() + t.imag()};
        }
    return c;
}

std::vector<Cplx> Derivative(const std::vector<Cplx> &p) {
    if (p.size() < 2) return {0.0};
    std::vector<Cplx> d(p.size() - 1);
    for (std::size_t k = 0; k + 1 < p.size(); ++k) {
        const double e = static_cast<double>(p.size() - 1 - k);
        d[k] = {p[k].real() * e, p[k].imag() * e};
    }
    return Trim(d);
}

// a - b (or a + b) aligned at the constant term.
std::vector<Cplx> AddAligned(const std::vector<Cplx> &a, const std::vector<Cplx> &b, double sign) {
    const std::size_t n = std::max(a.size(), b.size());
    std::vector<Cplx> c(n, Cplx(0.0, 0.0));
    for (std::size_t k = 0; k < a.size(); ++k) c[n - a.size() + k] = a[k];
    for (std::size_t k = 0; k < b.size(); ++k) {
        Cplx &t = c[n - b.size() + k];
        t = {t.real() + sign * b[k].real(), t.imag() + sign * b[k].imag()};
    }
    return c;
}

CMatrix *Row(const std::vector<Cplx> &v, bool single) {
    return MakeComplex(1, static_cast<unsigned int>(v.size()), v, single);
}

Operand Vector(const CMatrix *a, const char *fn, const char *what) {
    Operand o = Read(a, fn);
    if (!o.isVector() && o.size() > 0) Fail(fn, what);
    return o;
}

}  // namespace

std::vector<Cplx> polyfun::RootsOf(const std::vector<Cplx> &v, bool complex) {
    std::size_t first = 0, last = v.size();
    while (first < last && v[first] == 0.0) ++first;
    while (last > first && v[last - 1] == 0.0) --last;
    const std::size_t zeros = v.size() - last;
    std::vector<Cplx> roots;
    if (first == last) return roots;
    const unsigned int n = static_cast<unsigned int>(last - first - 1);
    if (n > 0) {
        ArrayHolder A(mxCreateDoubleMatrix(n, n, complex ? mxComplexityComplex : mxComplexityReal));
        double *ar = mxGetPr(A.get());
        double *ai = complex ? mxGetPi(A.get()) : nullptr;
        std::fill(ar, ar + static_cast<std::size_t>(n) * n, 0.0);
        if (ai) std::fill(ai, ai + static_cast<std::size_t>(n) * n, 0.0);
        const Cplx lead = v[first];
        for (unsigned int j = 0; j < n; ++j) {
            Cplx q;
            if (complex) {
                // -c(j+1)/c(0) by Smith's method.
                const Cplx a = v[first + 1 + j], b = lead;
                if (std::fabs(b.real()) >= std::fabs(b.imag())) {
                    const double r = b.imag() / b.real(), d = b.real() + b.imag() * r;
                    q = {(a.real() + a.imag() * r) / d, (a.imag() - a.real() * r) / d};
                } else {
                    const double r = b.real() / b.imag(), d = b.real() * r + b.imag();
                    q = {(a.real() * r + a.imag()) / d, (a.imag() * r - a.real()) / d};
                }
            } else {
                q = v[first + 1 + j].real() / lead.real();
            }
            ar[static_cast<std::size_t>(j) * n] = -q.real();
            if (ai) ai[static_cast<std::size_t>(j) * n] = -q.imag();
        }
        for (unsigned int i = 1; i < n; ++i) ar[i + static_cast<std::size_t>(i - 1) * n] = 1.0;
        ArrayHolder e(Eig(A.get(), true));
        const double *er = mxGetPr(e.get());
        const double *ei = e->IsComplex() ? mxGetPi(e.get()) : nullptr;
        for (unsigned int k = 0; k < n; ++k) roots.emplace_back(er[k], ei ? ei[k] : 0.0);
    }
    roots.resize(roots.size() + zeros, Cplx(0.0, 0.0));
    return roots;
}

CMatrix *Polyval(const CMatrix *p, const CMatrix *x) {
    const Operand c = Read(p, "Polyval");
    if (!c.isVector() && c.size() > 0) Fail("Polyval", "the coefficients must be a vector");
    const Operand xs = Read(x, "Polyval");
    const bool single = c.single || xs.single;
    const std::size_t n = xs.size(), m = c.size();
    std::vector<double> re(n, 0.0);
    if (!c.complex() && !xs.complex()) {
        if (m > 0)
            for (std::size_t k = 0; k < n; ++k) {
                const double t = xs.re[k];
                double y = c.re[0];
                for (std::size_t j = 1; j < m; ++j) y = y * t + c.re[j];
                re[k] = y;
            }
        return Make(xs.dims, re.data(), nullptr, single);
    }
    std::vector<double> im(n, 0.0);
    if (m > 0)
        for (std::size_t k = 0; k < n; ++k) {
            const Cplx t = xs.at(k);
            Cplx y = c.at(0);
            for (std::size_t j = 1; j < m; ++j) {
                const Cplx yt = Mul(y, t);
                const Cplx cj = c.at(j);
                y = {yt.real() + cj.real(), yt.imag() + cj.imag()};
            }
            re[k] = y.real();
            im[k] = y.imag();
        }
    return Make(xs.dims, re.data(), im.data(), single);
}

CMatrix *PolyvalDelta(const CMatrix *p, const CMatrix *x, const CMatrix *R, double df,
                      double normr) {
    const Operand c = Read(p, "Polyval");
    const Operand xs = Read(x, "Polyval");
    const Operand r = Read(R, "Polyval");
    const std::size_t nc = c.size();
    if (r.dims.size() != 2 || r.dims[0] != nc || r.dims[1] != nc || nc == 0)
        Fail("Polyval", "R must be square with one row for each coefficient");
    if (c.complex() || xs.complex() || r.complex())
        Fail("Polyval", "the error estimate takes real operands only");
    std::vector<double> out(xs.size(), std::numeric_limits<double>::infinity());
    std::vector<double> a(nc), w(nc);
    if (df > 0)
        for (std::size_t k = 0; k < xs.size(); ++k) {
            a[nc - 1] = 1.0;
            for (std::size_t j = nc - 1; j-- > 0;) a[j] = a[j + 1] * xs.re[k];
            // w*R = a: w(j) = (a(j) - sum over i < j of w(i)*R(i, j)) / R(j, j).
            double ss = 0.0;
            for (std::size_t j = 0; j < nc; ++j) {
                double s = a[j];
                for (std::size_t i = 0; i < j; ++i) s -= w[i] * r.re[i + j * nc];
                w[j] = s / r.re[j + j * nc];
                ss += w[j] * w[j];
            }
            out[k] = normr / std::sqrt(df) * std::sqrt(1.0 + ss);
        }
    return Make(xs.dims, out.data(), nullptr, c.single || xs.single || r.single);
}

void Polyfit(CMatrix *&p, CMatrix *&R, PolyfitInfo &info, const CMatrix *x, const CMatrix *y,
             double n, bool centre) {
    p = nullptr;
    R = nullptr;
    Operand xs = Read(x, "Polyfit");
    const Operand ys = Read(y, "Polyfit");
    if (xs.size() != ys.size()) Fail("Polyfit", "X and Y must have the same number of elements");
    if (!(n >= 0) || n != std::floor(n))
        Fail("Polyfit", "the degree must be a whole number from 0 up");
    // The factorisation of a wider Vandermonde matrix would not end in any
    // useful time, and its fit would mean nothing.
    if (n > 10000) Fail("Polyfit", "degrees above 10000 are not supported");
    const bool single = xs.single || ys.single;
    const bool complexX = xs.complex(), complex = complexX || ys.complex();
    const std::size_t m = xs.size();
    const unsigned int nc = static_cast<unsigned int>(n) + 1;
    std::vector<Cplx> xv = Values(xs);
    const std::vector<Cplx> yv = Values(ys);
    PolyfitInfo result;
    if (centre) {
        if (complexX) Fail("Polyfit", "centring and scaling take real X only");
        double sum = 0.0;
        for (const Cplx &t : xv) sum += t.real();
        const double mean = sum / static_cast<double>(m);
        double ss = 0.0;
        for (const Cplx &t : xv) ss += (t.real() - mean) * (t.real() - mean);
        const double sd = std::sqrt(ss / static_cast<double>(m > 1 ? m - 1 : 1));
        for (Cplx &t : xv) t = (t.real() - mean) / sd;
        result.mu[0] = mean;
        result.mu[1] = sd;
    }
    // V(i, j) = x(i)^(nc-1-j): the last column 1, each to its left the one
    // to its right times x.
    const unsigned int mm = static_cast<unsigned int>(m);
    const auto at = [mm](unsigned int i, unsigned int j) {
        return i + static_cast<std::size_t>(j) * mm;
    };
    std::vector<Cplx> v(static_cast<std::size_t>(mm) * nc);
    for (unsigned int i = 0; i < mm; ++i) v[at(i, nc - 1)] = 1.0;
    for (unsigned int j = nc - 1; j-- > 0;)
        for (unsigned int i = 0; i < mm; ++i)
            v[at(i, j)] = complexX ? Mul(xv[i], v[at(i, j + 1)])
                                   : Cplx(xv[i].real() * v[at(i, j + 1)].real());
    std::vector<double> vre(v.size()), vim(complexX ? v.size() : 0);
    for (std::size_t k = 0; k < v.size(); ++k) {
        vre[k] = v[k].real();
        if (complexX) vim[k] = v[k].imag();
    }
    ArrayHolder V(mxDoubleMatrix(mm, nc, vre.data(), complexX ? vim.data() : nullptr));
    CMatrix *qRaw = nullptr, *rRaw = nullptr;
    Qr(qRaw, rRaw, V.get(), false);
    ArrayHolder Q(qRaw), Rfull(rRaw);
    const auto entries = [](const CMatrix *a) {
        std::vector<Cplx> out(a->GetNoElems());
        const double *re = static_cast<const double *>(a->GetPr());
        const double *im = a->IsComplex() ? static_cast<const double *>(a->GetPi()) : nullptr;
        for (std::size_t k = 0; k < out.size(); ++k) out[k] = Cplx(re[k], im ? im[k] : 0.0);
        return out;
    };
    const std::vector<Cplx> q = entries(Q.get()), r = entries(Rfull.get());
    const unsigned int k = std::min(mm, nc);  // the rows of R kept
    const auto rat = [k](unsigned int i, unsigned int j) {
        return i + static_cast<std::size_t>(j) * k;
    };
    std::vector<Cplx> rk(static_cast<std::size_t>(k) * nc, Cplx(0.0, 0.0));
    for (unsigned int j = 0; j < nc; ++j)
        for (unsigned int i = 0; i < k && i <= j; ++i) rk[rat(i, j)] = r[at(i, j)];
    // Q(:, 1:k)' * y, each in increasing row order.
    std::vector<Cplx> qty(k);
    for (unsigned int i = 0; i < k; ++i) {
        Cplx sum(0.0, 0.0);
        for (unsigned int t = 0; t < mm; ++t) sum += Mul(std::conj(q[at(t, i)]), yv[t]);
        qty[i] = sum;
    }
    std::vector<Cplx> coef(nc, Cplx(0.0, 0.0));
    if (mm >= nc) {
        for (unsigned int i = nc; i-- > 0;) {
            Cplx sum = qty[i];
            for (unsigned int j = i + 1; j < nc; ++j) sum -= Mul(rk[rat(i, j)], coef[j]);
            coef[i] = complex ? sum / rk[rat(i, i)] : Cplx(sum.real() / rk[rat(i, i)].real());
        }
        // The 1-norm condition number of the triangular R, from its inverse.
        std::vector<Cplx> inv(static_cast<std::size_t>(nc) * nc, Cplx(0.0, 0.0));
        for (unsigned int c = 0; c < nc; ++c)
            for (unsigned int i = c + 1; i-- > 0;) {
                Cplx sum = i == c ? 1.0 : 0.0;
                for (unsigned int j = i + 1; j <= c; ++j)
                    sum -= Mul(rk[rat(i, j)], inv[j + static_cast<std::size_t>(c) * nc]);
                inv[i + static_cast<std::size_t>(c) * nc] = sum / rk[rat(i, i)];
            }
        double normR = 0.0, normInv = 0.0;
        for (unsigned int c = 0; c < nc; ++c) {
            double a = 0.0, b = 0.0;
            for (unsigned int i = 0; i <= c; ++i) {
                a += std::abs(rk[rat(i, c)]);
                b += std::abs(inv[i + static_cast<std::size_t>(c) * nc]);
            }
            normR = std::max(normR, a);
            normInv = std::max(normInv, b);
        }
        const double cond = normR * normInv;
        result.badlyConditioned = !(cond <= 1.0 / std::numeric_limits<double>::epsilon());
    } else {
        result.notUnique = true;
        std::vector<double> re(rk.size()), im(rk.size()), bre(k), bim(k);
        for (std::size_t t = 0; t < rk.size(); ++t) re[t] = rk[t].real(), im[t] = rk[t].imag();
        for (unsigned int t = 0; t < k; ++t) bre[t] = qty[t].real(), bim[t] = qty[t].imag();
        ArrayHolder Rk(mxDoubleMatrix(k, nc, re.data(), complex ? im.data() : nullptr));
        ArrayHolder b(mxDoubleMatrix(k, 1, bre.data(), complex ? bim.data() : nullptr));
        ArrayHolder sol(Mldivide(Rk.get(), b.get()));
        const std::vector<Cplx> values = entries(sol.get());
        std::copy(values.begin(), values.begin() + nc, coef.begin());
    }
    double rr = 0.0;
    for (unsigned int i = 0; i < mm; ++i) {
        Cplx fit(0.0, 0.0);
        for (unsigned int j = 0; j < nc; ++j) fit += Mul(v[at(i, j)], coef[j]);
        rr += std::norm(yv[i] - fit);
    }
    result.normr = std::sqrt(rr);
    result.df = m > nc ? static_cast<double>(m - nc) : 0.0;
    ArrayHolder pOut(MakeComplex(1, nc, coef, single));
    ArrayHolder rOut(MakeComplex(k, nc, rk, single));
    info = result;
    p = pOut.release();
    R = rOut.release();
}

CMatrix *Polyfit(const CMatrix *x, const CMatrix *y, double n) {
    CMatrix *p = nullptr, *R = nullptr;
    PolyfitInfo info;
    Polyfit(p, R, info, x, y, n, false);
    mxDestroyArray(R);
    return p;
}

CMatrix *Roots(const CMatrix *p) {
    const Operand c = Vector(p, "Roots", "the coefficients must be a vector");
    for (std::size_t k = 0; k < c.size(); ++k) {
        const Cplx z = c.at(k);
        if (!std::isfinite(z.real()) || !std::isfinite(z.imag()))
            Fail("Roots", "the coefficients must not contain NaN or Inf");
    }
    const std::vector<Cplx> roots = polyfun::RootsOf(Values(c), c.complex());
    return MakeComplex(static_cast<unsigned int>(roots.size()), 1, roots, c.single);
}

CMatrix *Poly(const CMatrix *r) {
    const Operand a = Read(r, "Poly");
    std::vector<Cplx> z;
    bool single = a.single;
    if (a.isVector() || a.size() == 0) {
        z = Values(a);
    } else {
        if (a.dims.size() != 2 || a.dims[0] != a.dims[1])
            Fail("Poly", "the argument must be a vector or a square matrix");
        for (double t : a.re)
            if (!std::isfinite(t)) Fail("Poly", "the matrix must not contain NaN or Inf");
        for (double t : a.im)
            if (!std::isfinite(t)) Fail("Poly", "the matrix must not contain NaN or Inf");
        ArrayHolder d(Make(a.dims, a.re.data(), a.complex() ? a.im.data() : nullptr, false));
        ArrayHolder e(Eig(d.get(), true));
        const double *er = mxGetPr(e.get());
        const double *ei = e->IsComplex() ? mxGetPi(e.get()) : nullptr;
        for (unsigned int k = 0; k < e->GetNoElems(); ++k) z.emplace_back(er[k], ei ? ei[k] : 0.0);
    }
    std::vector<Cplx> c(1, Cplx(1.0, 0.0));
    for (const Cplx &root : z) {
        c.push_back(Cplx(0.0, 0.0));
        for (std::size_t k = c.size() - 1; k >= 1; --k) {
            const Cplx t = Mul(root, c[k - 1]);
            c[k] = {c[k].real() - t.real(), c[k].imag() - t.imag()};
        }
    }
    // Roots in conjugate pairs give a real polynomial.
    std::vector<double> pos, neg;
    for (const Cplx &root : z) {
        if (root.imag() > 0) pos.push_back(root.real()), pos.push_back(root.imag());
        if (root.imag() < 0) neg.push_back(root.real()), neg.push_back(-root.imag());
    }
    std::vector<std::pair<double, double>> ps, ns;
    for (std::size_t k = 0; k < pos.size(); k += 2) ps.emplace_back(pos[k], pos[k + 1]);
    for (std::size_t k = 0; k < neg.size(); k += 2) ns.emplace_back(neg[k], neg[k + 1]);
    std::sort(ps.begin(), ps.end());
    std::sort(ns.begin(), ns.end());
    if (ps == ns)
        for (Cplx &t : c) t = t.real();
    return Row(c, single);
}

CMatrix *Conv(const CMatrix *u, const CMatrix *v, ConvShape shape) {
    const Operand a = Read(u, "Conv");
    const Operand b = Read(v, "Conv");
    if (!a.isVector() || !b.isVector()) Fail("Conv", "the arguments must be vectors");
    const bool single = a.single || b.single;
    const std::size_t m = a.size(), n = b.size();
    const std::size_t full = m && n ? m + n - 1 : 0;
    std::size_t offset = 0, length = full;
    bool column;
    if (shape == ConvShape::kFull) {
        column = (m > n ? a : b).isColumn();
    } else {
        column = a.isColumn();
        if (shape == ConvShape::kSame) {
            offset = n / 2;
            length = m;
        } else {
            length = n == 0 ? 0 : (m >= n ? m - n + 1 : 0);
            offset = n ? n - 1 : 0;
        }
    }
    std::vector<double> re(full, 0.0), im;
    // Each c(k) gathers its terms in increasing j: the loop over j outside.
    // An empty operand leaves nothing to gather (and re without storage).
    for (std::size_t j = 0; full != 0 && j < m; ++j) {
        const double x = a.re[j];
        double *c = re.data() + j;
        for (std::size_t i = 0; i < n; ++i) c[i] += x * b.re[i];
    }
    if (a.complex() || b.complex()) {
        // re = sum(ar*br) - sum(ai*bi) term by term; im likewise.
        im.assign(full, 0.0);
        std::fill(re.begin(), re.end(), 0.0);
        for (std::size_t j = 0; j < m; ++j) {
            const Cplx x = a.at(j);
            for (std::size_t i = 0; i < n; ++i) {
                const Cplx t = Mul(x, b.at(i));
                re[j + i] += t.real();
                im[j + i] += t.imag();
            }
        }
    }
    std::vector<double> outRe(length, 0.0), outIm(im.empty() ? 0 : length, 0.0);
    for (std::size_t k = 0; k < length; ++k) {
        const std::size_t at = offset + k;
        if (at < full) {
            outRe[k] = re[at];
            if (!im.empty()) outIm[k] = im[at];
        }
    }
    const unsigned int len = static_cast<unsigned int>(length);
    return Make(column ? len : 1, column ? 1 : len, outRe.data(),
                outIm.empty() ? nullptr : outIm.data(), single);
}

void Deconv(CMatrix *&q, CMatrix *&r, const CMatrix *b, const CMatrix *a) {
    q = nullptr;
    r = nullptr;
    const Operand nb = Read(b, "Deconv");
    const Operand da = Read(a, "Deconv");
    if (!nb.isVector() || !da.isVector()) Fail("Deconv", "the arguments must be vectors");
    if (da.size() == 0 || da.at(0) == 0.0)
        Fail("Deconv", "the first coefficient of A must be nonzero");
    const bool single = nb.single || da.single;
    const std::vector<Cplx> bv = Values(nb), av = Values(da);
    const bool complex = nb.complex() || da.complex();
    std::vector<Cplx> qv;
    std::vector<Cplx> rv = bv;
    if (bv.size() >= av.size()) {
        const std::size_t nq = bv.size() - av.size() + 1;
        qv.assign(nq, Cplx(0.0, 0.0));
        const Cplx lead = av[0];
        for (std::size_t k = 0; k < nq; ++k) {
            Cplx s = bv[k];
            for (std::size_t j = 1; j < av.size() && j <= k; ++j) {
                const Cplx t = Mul(av[j], qv[k - j]);
                s = {s.real() - t.real(), s.imag() - t.imag()};
            }
            qv[k] = complex ? s / lead : Cplx(s.real() / lead.real(), 0.0);
        }
        const std::vector<Cplx> back = FullConv(av, qv);
        for (std::size_t k = 0; k < rv.size(); ++k)
            rv[k] = {rv[k].real() - back[k].real(), rv[k].imag() - back[k].imag()};
    } else {
        qv.assign(1, Cplx(0.0, 0.0));
    }
    ArrayHolder qOut(Row(qv, single));
    const unsigned int nr = static_cast<unsigned int>(rv.size());
    ArrayHolder rOut(MakeComplex(nb.isColumn() ? nr : 1, nb.isColumn() ? 1 : nr, rv, single));
    q = qOut.release();
    r = rOut.release();
}

CMatrix *Polyder(const CMatrix *p) {
    const Operand a = Vector(p, "Polyder", "the coefficients must be a vector");
    return Row(Derivative(Values(a)), a.single);
}

CMatrix *PolyderProduct(const CMatrix *a, const CMatrix *b) {
    const Operand x = Vector(a, "Polyder", "the coefficients must be vectors");
    const Operand y = Vector(b, "Polyder", "the coefficients must be vectors");
    const std::vector<Cplx> u = Values(x), v = Values(y);
    std::vector<Cplx> d = AddAligned(FullConv(Derivative(u), v), FullConv(u, Derivative(v)), 1.0);
    return Row(Trim(d), x.single || y.single);
}

void PolyderQuotient(CMatrix *&q, CMatrix *&d, const CMatrix *b, const CMatrix *a) {
    q = nullptr;
    d = nullptr;
    const Operand x = Vector(b, "Polyder", "the coefficients must be vectors");
    const Operand y = Vector(a, "Polyder", "the coefficients must be vectors");
    const bool single = x.single || y.single;
    const std::vector<Cplx> u = Values(x), v = Values(y);
    ArrayHolder qOut(Row(
        Trim(AddAligned(FullConv(Derivative(u), v), FullConv(u, Derivative(v)), -1.0)), single));
    ArrayHolder dOut(Row(Trim(FullConv(v, v)), single));
    q = qOut.release();
    d = dOut.release();
}

CMatrix *Polyint(const CMatrix *p, const CMatrix *k) {
    const Operand a = Vector(p, "Polyint", "the coefficients must be a vector");
    Cplx constant = 0.0;
    bool single = a.single;
    if (k) {
        const Operand c = Read(k, "Polyint");
        if (c.size() != 1) Fail("Polyint", "the constant of integration must be a scalar");
        constant = c.at(0);
        single = single || c.single;
    }
    const std::size_t n = a.size();
    std::vector<Cplx> out(n + 1);
    for (std::size_t j = 0; j < n; ++j) {
        const double e = static_cast<double>(n - j);
        const Cplx t = a.at(j);
        out[j] = {t.real() / e, t.imag() / e};
    }
    out[n] = constant;
    return Row(out, single);
}

}  // namespace matrix
}  // namespace kiv

namespace kiv {
namespace matrix {

namespace {

// The coefficients of p(z + t) in powers of t, lowest first, up to t^(count-1):
// repeated synthetic division by (s - z).
std::vector<Cplx> TaylorAt(std::vector<Cplx> p, Cplx z, std::size_t count) {
    std::vector<Cplx> out;
    for (std::size_t i = 0; i < count; ++i) {
        if (p.empty()) {
            out.push_back(0.0);
            continue;
        }
        Cplx acc = p[0];
        std::vector<Cplx> quotient;
        for (std::size_t k = 1; k < p.size(); ++k) {
            quotient.push_back(acc);
            const Cplx t = Mul(acc, z);
            acc = {t.real() + p[k].real(), t.imag() + p[k].imag()};
        }
        out.push_back(acc);
        p.swap(quotient);
    }
    return out;
}

}  // namespace

void Residue(CMatrix *&r, CMatrix *&p, CMatrix *&k, const CMatrix *b, const CMatrix *a) {
    r = nullptr;
    p = nullptr;
    k = nullptr;
    const Operand nb = Read(b, "Residue");
    const Operand da = Read(a, "Residue");
    if ((!nb.isVector() && nb.size()) || (!da.isVector() && da.size()))
        Fail("Residue", "the arguments must be vectors");
    const bool single = nb.single || da.single;
    std::vector<Cplx> bv = Values(nb), av = Trim(Values(da));
    if (av.size() == 1 && av[0] == 0.0) Fail("Residue", "the denominator must not be zero");
    if (bv.empty()) bv.push_back(0.0);
    bv = Trim(bv);
    std::vector<Cplx> direct;
    if (bv.size() >= av.size()) {
        const std::size_t nq = bv.size() - av.size() + 1;
        direct.assign(nq, Cplx(0.0, 0.0));
        for (std::size_t i = 0; i < nq; ++i) {
            Cplx s = bv[i];
            for (std::size_t j = 1; j < av.size() && j <= i; ++j) s -= Mul(av[j], direct[i - j]);
            direct[i] = s / av[0];
        }
        const std::vector<Cplx> back = FullConv(av, direct);
        std::vector<Cplx> rem(bv.size());
        for (std::size_t i = 0; i < bv.size(); ++i) rem[i] = bv[i] - back[i];
        // The remainder has degree below a's.
        bv.assign(rem.end() - static_cast<std::ptrdiff_t>(av.size() - 1), rem.end());
        if (bv.empty()) bv.push_back(0.0);
    }
    std::vector<Cplx> poles = polyfun::RootsOf(av, nb.complex() || da.complex());
    std::stable_sort(poles.begin(), poles.end(),
                     [](const Cplx &x, const Cplx &y) { return std::abs(x) > std::abs(y); });
    // Groups of poles within the tolerance of their first.
    std::vector<std::vector<Cplx>> groups;
    std::vector<bool> taken(poles.size(), false);
    for (std::size_t i = 0; i < poles.size(); ++i) {
        if (taken[i]) continue;
        std::vector<Cplx> g{poles[i]};
        taken[i] = true;
        const double tol = 0.001 * std::max(std::abs(poles[i]), 1.0);
        for (std::size_t j = i + 1; j < poles.size(); ++j)
            if (!taken[j] && std::abs(poles[j] - poles[i]) <= tol) {
                g.push_back(poles[j]);
                taken[j] = true;
            }
        Cplx mean = 0.0;
        for (const Cplx &z : g) mean += z;
        mean /= static_cast<double>(g.size());
        for (Cplx &z : g) z = mean;
        groups.push_back(g);
    }
    std::vector<Cplx> rv, pv;
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        const Cplx z = groups[gi][0];
        const std::size_t m = groups[gi].size();
        // The denominator without this group's factor.
        std::vector<Cplx> d{av[0]};
        for (std::size_t gj = 0; gj < groups.size(); ++gj)
            if (gj != gi)
                for (const Cplx &w : groups[gj]) d = FullConv(d, {Cplx(1.0, 0.0), -w});
        const std::vector<Cplx> bt = TaylorAt(bv, z, m), dt = TaylorAt(d, z, m);
        std::vector<Cplx> c(m);
        for (std::size_t i = 0; i < m; ++i) {
            Cplx s = bt[i];
            for (std::size_t j = 1; j <= i; ++j) s -= dt[j] * c[i - j];
            c[i] = s / dt[0];
        }
        for (std::size_t e = 1; e <= m; ++e) {
            rv.push_back(c[m - e]);
            pv.push_back(z);
        }
    }
    const unsigned int np = static_cast<unsigned int>(pv.size());
    ArrayHolder rOut(MakeComplex(np, 1, rv, single));
    ArrayHolder pOut(MakeComplex(np, 1, pv, single));
    ArrayHolder kOut(direct.empty() ? Make(1, 0, nullptr, nullptr, single) : Row(direct, single));
    r = rOut.release();
    p = pOut.release();
    k = kOut.release();
}

void ResidueInverse(CMatrix *&b, CMatrix *&a, const CMatrix *r, const CMatrix *p,
                    const CMatrix *k) {
    b = nullptr;
    a = nullptr;
    const Operand rs = Read(r, "Residue");
    const Operand ps = Read(p, "Residue");
    const Operand ks = Read(k, "Residue");
    if ((!rs.isVector() && rs.size()) || (!ps.isVector() && ps.size()) || rs.size() != ps.size() ||
        (!ks.isVector() && ks.size()))
        Fail("Residue", "the residues and poles must be vectors of one length");
    const bool single = rs.single || ps.single || ks.single;
    const std::vector<Cplx> rv = Values(rs), pv = Values(ps), kv = Values(ks);
    const std::size_t n = pv.size();
    // The power of each pole within its run.
    std::vector<std::size_t> power(n, 1);
    for (std::size_t i = 1; i < n; ++i) {
        std::size_t first = i - power[i - 1];
        const double tol = 0.001 * std::max(std::abs(pv[first]), 1.0);
        if (std::abs(pv[i] - pv[first]) <= tol) power[i] = power[i - 1] + 1;
    }
    const auto polyOf = [&](std::size_t skipRun, std::size_t skipCount) {
        std::vector<Cplx> c{Cplx(1.0, 0.0)};
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t run = i + 1 - power[i];
            if (run == skipRun && power[i] <= skipCount) continue;
            c = FullConv(c, {Cplx(1.0, 0.0), -pv[i]});
        }
        return c;
    };
    std::vector<Cplx> av = polyOf(n, 0);
    std::vector<Cplx> bv{Cplx(0.0, 0.0)};
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<Cplx> term = polyOf(i + 1 - power[i], power[i]);
        for (Cplx &t : term) t = Mul(rv[i], t);
        bv = AddAligned(bv, term, 1.0);
    }
    if (!kv.empty()) bv = AddAligned(bv, FullConv(kv, av), 1.0);
    bv = Trim(bv);
    double largest = 0.0;
    for (const Cplx &t : bv) largest = std::max(largest, std::abs(t));
    bool real = true;
    for (const Cplx &t : bv) real = real && std::fabs(t.imag()) <= 1e-8 * largest;
    if (real)
        for (Cplx &t : bv) t = t.real();
    // The poles' polynomial is real when they pair up as conjugates (Poly).
    ArrayHolder pa(Make(1, static_cast<unsigned int>(n), ps.re.data(),
                        ps.complex() ? ps.im.data() : nullptr, single));
    ArrayHolder aOut(Poly(pa.get()));
    ArrayHolder bOut(Row(bv, single));
    b = bOut.release();
    a = aOut.release();
}

}  // namespace matrix
}  // namespace kiv
