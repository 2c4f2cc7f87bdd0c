// src/linalg/matrix_functions.cpp: the matrix exponential, logarithm and
// square root; Hessenberg and Schur forms; balancing.
#include <matrix/linalg_extra.h>

#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>
#include <vector>

#include "core/array_holder.h"
#include "linalg/dense.h"
#include "linalg/linalg_common.h"
#include "linalg/real_schur.h"

namespace kiv {
namespace matrix {

namespace {

using Cx = linalg::Complex;
using linalg::Dense;

mxClassID ClassOf(const CMatrix *A) {
    return A->GetClassID() == mxClassSingle ? mxClassSingle : mxClassDouble;
}

bool AllFinite(const CMatrix *A) {
    const Dense<Cx> a = linalg::LoadComplex(A);
    for (const Cx &z : a.a)
        if (!std::isfinite(z.real()) || !std::isfinite(z.imag())) return false;
    return true;
}

// An n x n array of NaN of A's class: the value of a matrix function whose
// operand holds NaN or an infinity.
CMatrix *NaNMatrix(const CMatrix *A) {
    Dense<double> x(linalg::Rows(A), linalg::Columns(A));
    for (double &v : x.a) v = std::numeric_limits<double>::quiet_NaN();
    return linalg::StoreReal(x, ClassOf(A));
}

template <class T>
void AddScaled(Dense<T> &to, double c, const Dense<T> &x) {
    for (std::size_t i = 0; i < to.a.size(); ++i) to.a[i] += c * x.a[i];
}

// Expm's steps on real or complex elements.
template <class T>
Dense<T> Exponential(Dense<T> A) {
    // Degrees 3, 5, 7, 9 and 13, their largest 1-norms (theta) and the
    // coefficients of the [m/m] Pade approximant (Higham 2005, Table 2.3).
    static const double kTheta[] = {1.495585217958292e-2, 2.539398330063230e-1,
                                    9.504178996162932e-1, 2.097847961257068e0,
                                    5.371920351148152e0};
    static const double kB3[] = {120, 60, 12, 1};
    static const double kB5[] = {30240, 15120, 3360, 420, 30, 1};
    static const double kB7[] = {17297280, 8648640, 1995840, 277200, 25200, 1512, 56, 1};
    static const double kB9[] = {17643225600., 8821612800., 2075673600., 302702400., 30270240.,
                                 2162160.,     110880.,     3960.,       90.,        1.};
    static const double kB13[] = {64764752532480000., 32382376266240000., 7771770303897600.,
                                  1187353796428800.,  129060195264000.,   10559470521600.,
                                  670442572800.,      33522128640.,       1323241920.,
                                  40840800.,          960960.,            16380.,
                                  182.,               1.};
    const std::size_t n = A.m;
    const Dense<T> I = Dense<T>::Identity(n);
    const double norm = linalg::Norm1(A);
    const double *const coefficients[] = {kB3, kB5, kB7, kB9};
    Dense<T> U, V;
    int squarings = 0;
    int degree = -1;
    for (int d = 0; d < 4; ++d)
        if (norm <= kTheta[d]) {
            degree = d;
            break;
        }
    if (degree >= 0) {
        // U = A*(sum of b(k) A^(k-1), k odd), V = sum of b(k) A^k, k even.
        const double *b = coefficients[degree];
        const int m = 3 + 2 * degree;
        const Dense<T> A2 = linalg::Multiply(A, A);
        Dense<T> power = I;
        Dense<T> odd(n, n);
        V = Dense<T>(n, n);
        for (int k = 0; k <= m; k += 2) {
            AddScaled(V, b[k], power);
            AddScaled(odd, b[k + 1], power);
            if (k + 2 <= m) power = linalg::Multiply(power, A2);
        }
        U = linalg::Multiply(A, odd);
    } else {
        squarings = static_cast<int>(std::ceil(std::log2(norm / kTheta[4])));
        if (squarings < 0) squarings = 0;
        const double scale = std::ldexp(1.0, -squarings);
        for (T &x : A.a) x *= scale;
        const double *b = kB13;
        const Dense<T> A2 = linalg::Multiply(A, A);
        const Dense<T> A4 = linalg::Multiply(A2, A2);
        const Dense<T> A6 = linalg::Multiply(A4, A2);
        Dense<T> inner(n, n);
        AddScaled(inner, b[13], A6);
        AddScaled(inner, b[11], A4);
        AddScaled(inner, b[9], A2);
        Dense<T> odd = linalg::Multiply(A6, inner);
        AddScaled(odd, b[7], A6);
        AddScaled(odd, b[5], A4);
        AddScaled(odd, b[3], A2);
        AddScaled(odd, b[1], I);
        U = linalg::Multiply(A, odd);
        Dense<T> innerV(n, n);
        AddScaled(innerV, b[12], A6);
        AddScaled(innerV, b[10], A4);
        AddScaled(innerV, b[8], A2);
        V = linalg::Multiply(A6, innerV);
        AddScaled(V, b[6], A6);
        AddScaled(V, b[4], A4);
        AddScaled(V, b[2], A2);
        AddScaled(V, b[0], I);
    }
    // (V - U) X = (V + U), then X squared s times.
    Dense<T> P = V, Q = V;
    AddScaled(P, 1.0, U);
    AddScaled(Q, -1.0, U);
    Dense<T> X = linalg::Solve(Q, P);
    for (int s = 0; s < squarings; ++s) X = linalg::Multiply(X, X);
    return X;
}

// The principal square root of upper triangular T (Bjorck-Hammarling),
// column by column.
Dense<Cx> TriangularSqrt(const Dense<Cx> &T) {
    const std::size_t n = T.m;
    Dense<Cx> R(n, n);
    for (std::size_t j = 0; j < n; ++j) {
        R(j, j) = std::sqrt(T(j, j));
        for (std::size_t i = j; i-- > 0;) {
            Cx s = T(i, j);
            for (std::size_t k = i + 1; k < j; ++k) s -= R(i, k) * R(k, j);
            R(i, j) = s / (R(i, i) + R(j, j));
        }
    }
    return R;
}

// Whether every eigenvalue (the diagonal of T) of a real matrix is off
// the closed negative real axis, so its principal logarithm and square
// root are real.
bool OffNegativeAxis(const Dense<Cx> &T) {
    const double eps = std::numeric_limits<double>::epsilon();
    for (std::size_t i = 0; i < T.m; ++i) {
        const Cx z = T(i, i);
        if (z.real() <= 0 && std::fabs(z.imag()) <= 100 * eps * std::max(1.0, std::abs(z)))
            return false;
    }
    return true;
}

// U*X*U', made real when A was real and the result is meant to be real.
CMatrix *Transformed(const CMatrix *A, const Dense<Cx> &U, const Dense<Cx> &X,
                     bool real) {
    Dense<Cx> Y = linalg::Multiply(linalg::Multiply(U, X), linalg::Adjoint(U));
    if (real)
        for (Cx &z : Y.a) z = Cx(z.real(), 0.0);
    return linalg::StoreComplex(Y, ClassOf(A));
}

// The nodes and weights of the m-point Gauss-Legendre rule on [0, 1], by
// Newton's method on the Legendre polynomial from the Chebyshev guesses.
void GaussLegendre(int m, std::vector<double> &x, std::vector<double> &w) {
    x.assign(m, 0.0);
    w.assign(m, 0.0);
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < m; ++i) {
        double z = std::cos(pi * (i + 0.75) / (m + 0.5));
        double dp = 1.0;
        for (int it = 0; it < 100; ++it) {
            double p0 = 1.0, p1 = z;
            for (int k = 2; k <= m; ++k) {
                const double p2 = ((2.0 * k - 1.0) * z * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            dp = m * (z * p1 - p0) / (z * z - 1.0);
            const double dz = p1 / dp;
            z -= dz;
            if (std::fabs(dz) <= 1e-16) break;
        }
        x[i] = 0.5 * (1.0 - z);
        w[i] = 1.0 / ((1.0 - z * z) * dp * dp);
    }
}

// Balances rows and columns lo .. hi-1 of A in place, A := D^-1*A*D with
// D = diag(scale), powers of 2: sweeps over i in that range until one
// changes nothing; c and r the 2-norms of column and row i within the range
// (diagonal included), ca the largest magnitude of column i in rows 0 ..
// hi-1 and ra of row i in columns lo .. n-1 (the rest of them is zero after
// Isolate); f
// doubles while c < r/2 (c, ca doubled, r, ra halved), then halves while
// c/2 >= r; the scaling is kept when c + r < 0.95*(c0 + r0) and stays
// within the range of the doubles. Source: R. James, J. Langou and B. R.
// Lowery, "On matrix balancing and eigenvector computation", 2014
// (Parlett and Reinsch's method with 2-norms).
void BalanceByNorms(Dense<double> &A, std::vector<double> &scale, std::size_t lo,
                    std::size_t hi) {
    const std::size_t n = A.m;
    const double sfmin1 = std::numeric_limits<double>::min() / std::numeric_limits<double>::epsilon();
    const double sfmax1 = 1.0 / sfmin1;
    const double sfmin2 = sfmin1 * 2, sfmax2 = 1.0 / sfmin2;
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = lo; i < hi; ++i) {
            double c = 0.0, r = 0.0, ca = 0.0, ra = 0.0;
            for (std::size_t k = lo; k < hi; ++k) {
                c = std::hypot(c, A(k, i));
                r = std::hypot(r, A(i, k));
            }
            for (std::size_t k = 0; k < hi; ++k) ca = std::max(ca, std::fabs(A(k, i)));
            for (std::size_t k = lo; k < n; ++k) ra = std::max(ra, std::fabs(A(i, k)));
            if (c == 0.0 || r == 0.0) continue;
            const double s = c + r;
            double f = 1.0, g = r / 2;
            while (c < g && std::max(f, std::max(c, ca)) < sfmax2 &&
                   std::min(r, std::min(g, ra)) > sfmin2) {
                f *= 2;
                c *= 2;
                ca *= 2;
                r /= 2;
                g /= 2;
                ra /= 2;
            }
            g = c / 2;
            while (g >= r && std::max(r, ra) < sfmax2 &&
                   std::min(std::min(f, c), std::min(g, ca)) > sfmin2) {
                f /= 2;
                c /= 2;
                g /= 2;
                ca /= 2;
                r *= 2;
                ra *= 2;
            }
            if (c + r >= 0.95 * s) continue;
            if (f < 1 && scale[i] < 1 && f * scale[i] <= sfmin1) continue;
            if (f > 1 && scale[i] > 1 && scale[i] >= sfmax1 / f) continue;
            scale[i] *= f;
            changed = true;
            for (std::size_t k = lo; k < n; ++k) A(i, k) /= f;
            for (std::size_t k = 0; k < hi; ++k) A(k, i) *= f;
        }
    }
}

// Swaps rows and columns j and m of A: columns over rows 0 .. hi-1, rows
// over columns lo .. n-1 (the other elements of those rows and columns are
// zero).
void SwapLines(Dense<double> &A, std::size_t j, std::size_t m, std::size_t lo, std::size_t hi) {
    if (j == m) return;
    for (std::size_t i = 0; i < hi; ++i) std::swap(A(i, j), A(i, m));
    for (std::size_t k = lo; k < A.m; ++k) std::swap(A(j, k), A(m, k));
}

// Permutes A in place so that it is upper triangular outside rows and
// columns lo .. hi-1: first, from the last row up, a row j whose elements
// in columns 0 .. hi-1 other than the diagonal are all zero (a NaN is not)
// is swapped with row and column hi-1 and hi shrinks, the search starting
// again; then, from column lo on, a column j whose elements in rows lo ..
// hi-1 other than the diagonal are all zero is swapped with lo and lo
// grows. swaps[i] records the line swapped with position i (outside lo ..
// hi-1).
void Isolate(Dense<double> &A, std::vector<std::size_t> &swaps, std::size_t &lo,
             std::size_t &hi) {
    const std::size_t n = A.m;
    lo = 0;
    hi = n;
    for (bool found = true; found && hi > 0;) {
        found = false;
        for (std::size_t j = hi; j-- > 0 && !found;) {
            bool isolated = true;
            for (std::size_t i = 0; i < hi && isolated; ++i) isolated = i == j || A(j, i) == 0.0;
            if (!isolated) continue;
            swaps[hi - 1] = j;
            SwapLines(A, j, hi - 1, lo, hi);
            found = true;
            if (hi == 1) {
                hi = 0;
                break;
            }
            --hi;
        }
    }
    if (hi == 0) {
        // Triangular already: every line isolated, nothing left to scale.
        return;
    }
    for (bool found = true; found;) {
        found = false;
        for (std::size_t j = lo; j < hi && !found; ++j) {
            bool isolated = true;
            for (std::size_t i = lo; i < hi && isolated; ++i) isolated = i == j || A(i, j) == 0.0;
            if (!isolated) continue;
            swaps[lo] = j;
            SwapLines(A, j, lo, lo, hi);
            ++lo;
            found = true;
        }
    }
}

}  // namespace

CMatrix *Expm(const CMatrix *A) {
    linalg::RequireFloatMatrix(A, L"Expm", true);
    if (!AllFinite(A)) return NaNMatrix(A);
    if (A->GetPi() == nullptr)
        return linalg::StoreReal(Exponential(linalg::LoadReal(A)), ClassOf(A));
    return linalg::StoreComplex(Exponential(linalg::LoadComplex(A)), ClassOf(A));
}

CMatrix *Sqrtm(const CMatrix *A) {
    linalg::RequireFloatMatrix(A, L"Sqrtm", true);
    if (!AllFinite(A)) return NaNMatrix(A);
    Dense<Cx> T, U;
    linalg::ComplexSchurForm(linalg::LoadComplex(A), T, U, L"Sqrtm");
    const bool real = A->GetPi() == nullptr && OffNegativeAxis(T);
    return Transformed(A, U, TriangularSqrt(T), real);
}

CMatrix *Logm(const CMatrix *A) {
    linalg::RequireFloatMatrix(A, L"Logm", true);
    if (!AllFinite(A)) return NaNMatrix(A);
    {
        // A diagonal A: the logarithms of its diagonal (log(0) = -Inf).
        Dense<Cx> a = linalg::LoadComplex(A);
        bool diagonal = true, real = A->GetPi() == nullptr;
        for (std::size_t j = 0; j < a.n && diagonal; ++j)
            for (std::size_t i = 0; i < a.m && diagonal; ++i)
                diagonal = i == j || a(i, j) == Cx(0.0);
        if (diagonal) {
            for (std::size_t i = 0; i < a.m; ++i) {
                const Cx z = a(i, i);
                real = real && z.imag() == 0 && z.real() >= 0;
                a(i, i) = z.imag() == 0 && z.real() >= 0 ? Cx(std::log(z.real())) : std::log(z);
            }
            return linalg::StoreComplex(a, ClassOf(A), real);
        }
    }
    Dense<Cx> T, U;
    linalg::ComplexSchurForm(linalg::LoadComplex(A), T, U, L"Logm");
    const bool real = A->GetPi() == nullptr && OffNegativeAxis(T);
    const std::size_t n = T.m;
    bool diagonal = true;
    for (std::size_t j = 0; j < n && diagonal; ++j)
        for (std::size_t i = 0; i < j && diagonal; ++i) diagonal = T(i, j) == Cx(0.0);
    if (diagonal) {
        // A normal A: the logarithms of its eigenvalues, each as exact as log.
        Dense<Cx> L(n, n);
        for (std::size_t i = 0; i < n; ++i)
            L(i, i) = T(i, i).imag() == 0 && T(i, i).real() > 0 ? Cx(std::log(T(i, i).real()))
                                                                : std::log(T(i, i));
        return Transformed(A, U, L, real);
    }
    // Square roots until T is near I: log(T) = 2^k log(T^(1/2^k)).
    int k = 0;
    Dense<Cx> X;
    for (;; ++k) {
        X = T;
        for (std::size_t i = 0; i < n; ++i) X(i, i) -= 1.0;
        if (linalg::Norm1(X) <= 0.25 || k == 64) break;
        T = TriangularSqrt(T);
    }
    // log(I + X) = sum of w(j) (I + x(j) X)^-1 X over the Gauss nodes.
    std::vector<double> nodes, weights;
    GaussLegendre(8, nodes, weights);
    Dense<Cx> L(n, n);
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        Dense<Cx> M = X;
        for (Cx &z : M.a) z *= nodes[j];
        for (std::size_t i = 0; i < n; ++i) M(i, i) += 1.0;
        const Dense<Cx> Y = linalg::Solve(M, X);
        for (std::size_t i = 0; i < L.a.size(); ++i) L.a[i] += weights[j] * Y.a[i];
    }
    for (Cx &z : L.a) z *= std::ldexp(1.0, k);
    return Transformed(A, U, L, real);
}

void Hess(CMatrix *&P, CMatrix *&H, const CMatrix *A) {
    P = H = nullptr;
    linalg::RequireFloatMatrix(A, L"Hess", true);
    Dense<Cx> h, p;
    linalg::HessenbergForm(linalg::LoadComplex(A), h, p);
    const bool real = A->GetPi() == nullptr;
    ArrayHolder PH(linalg::StoreComplex(p, ClassOf(A), real));
    H = linalg::StoreComplex(h, ClassOf(A), real);
    P = PH.release();
}

CMatrix *Hess(const CMatrix *A) {
    CMatrix *P;
    CMatrix *H;
    Hess(P, H, A);
    mxDestroyArray(P);
    return H;
}

void Schur(CMatrix *&U, CMatrix *&T, const CMatrix *A, bool complex) {
    U = T = nullptr;
    linalg::RequireFloatMatrix(A, L"Schur", true);
    if (!AllFinite(A)) {
        ArrayHolder N(NaNMatrix(A));
        T = NaNMatrix(A);
        U = N.release();
        return;
    }
    if (A->GetPi() == nullptr && !complex) {
        Dense<double> t = linalg::LoadReal(A), u;
        linalg::RealSchurForm(t, u);
        ArrayHolder UH(linalg::StoreReal(u, ClassOf(A)));
        T = linalg::StoreReal(t, ClassOf(A));
        U = UH.release();
        return;
    }
    Dense<Cx> t, u;
    linalg::ComplexSchurForm(linalg::LoadComplex(A), t, u, L"Schur");
    ArrayHolder UH(linalg::StoreComplex(u, ClassOf(A), false));
    T = linalg::StoreComplex(t, ClassOf(A), false);
    U = UH.release();
}

CMatrix *Schur(const CMatrix *A, bool complex) {
    CMatrix *U;
    CMatrix *T;
    Schur(U, T, A, complex);
    mxDestroyArray(U);
    return T;
}

namespace {

// The balancing of A: the balanced B, the permutation p (T(k, p[k]) is the
// only element of row k of T) and the scales s (that element).
struct Balanced {
    Dense<double> b;
    std::vector<std::size_t> p;
    std::vector<double> s;
};

Balanced BalanceOf(const CMatrix *A, bool permute) {
    linalg::RequireFloatMatrix(A, L"Balance", true);
    if (A->GetPi() != nullptr)
        throw CFunctionErrorException(L"Balance: complex matrices are not supported");
    Balanced r;
    r.b = linalg::LoadReal(A);
    const std::size_t n = r.b.m;
    std::vector<double> scale(n, 1.0);
    std::vector<std::size_t> swaps(n);
    for (std::size_t i = 0; i < n; ++i) swaps[i] = i;
    std::size_t lo = 0, hi = n;
    if (AllFinite(A)) {
        if (permute) Isolate(r.b, swaps, lo, hi);
        BalanceByNorms(r.b, scale, lo, hi);
    }
    // T = P*D: the rows of diag(scale) swapped back, the swaps of the
    // columns undone from lo-1 down to 0, then those of the rows from hi up.
    // Row k of T then holds scale[p[k]] in column p[k].
    r.p.resize(n);
    for (std::size_t k = 0; k < n; ++k) r.p[k] = k;
    for (std::size_t k = lo; k-- > 0;) std::swap(r.p[k], r.p[swaps[k]]);
    for (std::size_t k = hi; k < n; ++k) std::swap(r.p[k], r.p[swaps[k]]);
    r.s.resize(n);
    for (std::size_t k = 0; k < n; ++k) r.s[k] = scale[r.p[k]];
    return r;
}

CMatrix *Column(const std::vector<double> &v, mxClassID id) {
    Dense<double> c(v.size(), 1);
    for (std::size_t k = 0; k < v.size(); ++k) c(k, 0) = v[k];
    return linalg::StoreReal(c, id);
}

}  // namespace

void Balance(CMatrix *&T, CMatrix *&B, const CMatrix *A, bool permute) {
    T = B = nullptr;
    Balanced r = BalanceOf(A, permute);
    const std::size_t n = r.b.m;
    Dense<double> t(n, n);
    for (std::size_t k = 0; k < n; ++k) t(k, r.p[k]) = r.s[k];
    ArrayHolder TH(linalg::StoreReal(t, ClassOf(A)));
    B = linalg::StoreReal(r.b, ClassOf(A));
    T = TH.release();
}

void Balance(CMatrix *&T, CMatrix *&B, const CMatrix *A) { Balance(T, B, A, true); }

void Balance(CMatrix *&S, CMatrix *&P, CMatrix *&B, const CMatrix *A, bool permute) {
    S = P = B = nullptr;
    Balanced r = BalanceOf(A, permute);
    std::vector<double> p(r.p.size());
    for (std::size_t k = 0; k < p.size(); ++k) p[k] = static_cast<double>(r.p[k] + 1);
    ArrayHolder SH(Column(r.s, ClassOf(A)));
    ArrayHolder PH(Column(p, mxClassDouble));
    B = linalg::StoreReal(r.b, ClassOf(A));
    S = SH.release();
    P = PH.release();
}

CMatrix *Balance(const CMatrix *A, bool permute) {
    CMatrix *T;
    CMatrix *B;
    Balance(T, B, A, permute);
    mxDestroyArray(T);
    return B;
}

CMatrix *Balance(const CMatrix *A) { return Balance(A, true); }

}  // namespace matrix
}  // namespace kiv
