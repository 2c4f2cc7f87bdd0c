// src/linalg/linalg_extra.cpp: condition numbers, null spaces and ranges,
// non-negative and structured solves, vector norms, the generalized
// symmetric eigenproblem, partial Cholesky, least squares of every class
// and matrix powers beyond whole exponents.
#include <matrix/linalg_extra.h>

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/construct.h>
#include <matrix/linalg.h>
#include <matrix/mx.h>
#include <matrix/shape.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/array_holder.h"
#include "kernels/chol_kernel.h"
#include "kernels/typed_kernels.h"
#include "linalg/class_operands.h"
#include "linalg/dense.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

namespace {

using Cx = linalg::Complex;
using linalg::Dense;

mxClassID ClassOf(const CMatrix *A) {
    return A->GetClassID() == mxClassSingle ? mxClassSingle : mxClassDouble;
}

double ClassEps(mxClassID id) {
    return id == mxClassSingle ? std::numeric_limits<float>::epsilon()
                               : std::numeric_limits<double>::epsilon();
}

// The spacing of the class's numbers at x > 0 (eps(x)).
double SpacingAt(double x, mxClassID id) {
    if (!(x > 0) || std::isinf(x)) return x;
    int e;
    std::frexp(x, &e);
    return std::ldexp(1.0, e - (id == mxClassSingle ? 24 : 53));
}

// The singular values (largest first) and, when asked, U and V of A.
void Decompose(const CMatrix *A, std::vector<double> &s, Dense<Cx> *U, Dense<Cx> *V) {
    CMatrix *u;
    CMatrix *S;
    CMatrix *v;
    Svd(u, S, v, A, false);
    ArrayHolder UH(u), SH(S), VH(v);
    const Dense<Cx> d = linalg::LoadComplex(S);
    s.resize(std::min(d.m, d.n));
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = d(i, i).real();
    if (U) *U = linalg::LoadComplex(u);
    if (V) *V = linalg::LoadComplex(v);
}

// The number of singular values above max(m, n)*eps(s(0)).
std::size_t NumericalRank(const CMatrix *A, const std::vector<double> &s) {
    if (s.empty()) return 0;
    const double tol = std::max(linalg::Rows(A), linalg::Columns(A)) * SpacingAt(s[0], ClassOf(A));
    std::size_t r = 0;
    while (r < s.size() && s[r] > tol) ++r;
    return r;
}

Dense<Cx> Columns(const Dense<Cx> &X, std::size_t first, std::size_t count) {
    Dense<Cx> out(X.m, count);
    for (std::size_t j = 0; j < count; ++j)
        for (std::size_t i = 0; i < X.m; ++i) out(i, j) = X(i, first + j);
    return out;
}

// Substitution with the triangle of A (lower or upper), no interchanges.
Dense<Cx> Substitute(const Dense<Cx> &A, Dense<Cx> B, bool lower) {
    const std::size_t n = A.m;
    for (std::size_t j = 0; j < B.n; ++j) {
        if (lower) {
            for (std::size_t k = 0; k < n; ++k) {
                B(k, j) /= A(k, k);
                for (std::size_t i = k + 1; i < n; ++i) B(i, j) -= A(i, k) * B(k, j);
            }
        } else {
            for (std::size_t k = n; k-- > 0;) {
                B(k, j) /= A(k, k);
                for (std::size_t i = 0; i < k; ++i) B(i, j) -= A(i, k) * B(k, j);
            }
        }
    }
    return B;
}

// An LU factorisation with partial pivoting kept for repeated solves.
struct LuSolver {
    Dense<Cx> lu;
    std::vector<std::size_t> perm;

    explicit LuSolver(Dense<Cx> A) : lu(std::move(A)), perm(lu.m) {
        const std::size_t n = lu.m;
        for (std::size_t i = 0; i < n; ++i) perm[i] = i;
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t p = k;
            for (std::size_t i = k + 1; i < n; ++i)
                if (std::abs(lu(i, k)) > std::abs(lu(p, k))) p = i;
            if (p != k) {
                for (std::size_t j = 0; j < n; ++j) std::swap(lu(k, j), lu(p, j));
                std::swap(perm[k], perm[p]);
            }
            for (std::size_t i = k + 1; i < n; ++i) {
                lu(i, k) /= lu(k, k);
                for (std::size_t j = k + 1; j < n; ++j) lu(i, j) -= lu(i, k) * lu(k, j);
            }
        }
    }
    // x = A\b, or with adjoint A'\b.
    std::vector<Cx> Solve(const std::vector<Cx> &b, bool adjoint) const {
        const std::size_t n = lu.m;
        std::vector<Cx> x(n);
        if (!adjoint) {
            for (std::size_t i = 0; i < n; ++i) x[i] = b[perm[i]];
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t k = 0; k < i; ++k) x[i] -= lu(i, k) * x[k];
            for (std::size_t i = n; i-- > 0;) {
                for (std::size_t k = i + 1; k < n; ++k) x[i] -= lu(i, k) * x[k];
                x[i] /= lu(i, i);
            }
            return x;
        }
        // A = P'LU, A' = U'L'P: U'y = b, L'z = y, x = P'z.
        std::vector<Cx> y = b;
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t k = 0; k < i; ++k) y[i] -= std::conj(lu(k, i)) * y[k];
            y[i] /= std::conj(lu(i, i));
        }
        for (std::size_t i = n; i-- > 0;)
            for (std::size_t k = i + 1; k < n; ++k) y[i] -= std::conj(lu(k, i)) * y[k];
        for (std::size_t i = 0; i < n; ++i) x[perm[i]] = y[i];
        return x;
    }
};

double Norm1Of(const std::vector<Cx> &x) {
    double s = 0.0;
    for (const Cx &z : x) s += std::abs(z);
    return s;
}

// A's leading k x k block, of A's class and complexity.
CMatrix *LeadingBlock(const CMatrix *A, std::size_t k) {
    Dense<Cx> a = linalg::LoadComplex(A);
    Dense<Cx> b(k, k);
    for (std::size_t j = 0; j < k; ++j)
        for (std::size_t i = 0; i < k; ++i) b(i, j) = a(i, j);
    return linalg::StoreComplex(b, ClassOf(A), A->GetPi() == nullptr);
}

// The first row (from 1) at which the Cholesky steps of the upper triangle
// meet a negative (or NaN-free non-positive-definite) pivot, or 0.
std::size_t CholeskyFailure(const Dense<Cx> &A) {
    const std::size_t n = A.m;
    Dense<Cx> R(n, n);
    for (std::size_t j = 0; j < n; ++j) {
        double x = A(j, j).real();
        for (std::size_t k = j; k-- > 0;) x -= std::norm(R(k, j));
        if (x < 0) return j + 1;
        R(j, j) = std::sqrt(x);
        for (std::size_t i = j + 1; i < n; ++i) {
            Cx s = A(j, i);
            for (std::size_t k = 0; k < j; ++k) s -= std::conj(R(k, j)) * R(k, i);
            R(j, i) = s / R(j, j).real();
        }
    }
    return 0;
}

bool IsHermitian(const Dense<Cx> &A) {
    for (std::size_t j = 0; j < A.n; ++j)
        for (std::size_t i = 0; i <= j; ++i)
            if (A(i, j) != std::conj(A(j, i))) return false;
    return true;
}

// Whether any eigenvalue lies on the closed negative real axis.
bool OnNegativeAxis(const std::vector<Cx> &w) {
    for (const Cx &z : w)
        if (z.real() <= 0 &&
            std::fabs(z.imag()) <= 100 * std::numeric_limits<double>::epsilon() *
                                       std::max(1.0, std::abs(z)))
            return true;
    return false;
}

// x^y, in real arithmetic where both are real and x is positive.
Cx RealPow(Cx x, Cx y) {
    if (x.imag() == 0 && y.imag() == 0 && x.real() > 0) return std::pow(x.real(), y.real());
    return std::pow(x, y);
}

// f(A) = V*diag(f(w))*inv(V) from the eigenvectors of the Schur form.
template <class F>
Dense<Cx> EigenFunction(const Dense<Cx> &A, F f, std::vector<Cx> &w) {
    const std::size_t n = A.m;
    Dense<Cx> T, V;
    linalg::ComplexSchurForm(A, T, V, L"Mpower");
    w.resize(n);
    for (std::size_t i = 0; i < n; ++i) w[i] = T(i, i);
    std::vector<Cx> work(2 * n);
    if (n > 0) kernels::SchurEigenvectors(n, T.Data(), n, V.Data(), n, work.data());
    Dense<Cx> Y = V;
    for (std::size_t j = 0; j < n; ++j) {
        const Cx fj = f(w[j]);
        for (std::size_t i = 0; i < n; ++i) Y(i, j) *= fj;
    }
    // X = Y*inv(V) as (V'\Y')'.
    return linalg::Adjoint(linalg::Solve(linalg::Adjoint(V), linalg::Adjoint(Y)));
}

}  // namespace

double Cond(const CMatrix *A) {
    linalg::RequireFloatMatrix(A, L"Cond", false);
    if (A->GetNoElems() == 0) return 0.0;
    std::vector<double> s;
    Decompose(A, s, nullptr, nullptr);
    for (double v : s)
        if (std::isnan(v)) return v;
    if (s.back() == 0.0) return std::numeric_limits<double>::infinity();
    return s.front() / s.back();
}

namespace {
double CondOf(const CMatrix *A, double p, bool fro) {
    if (!fro && p == 2) return Cond(A);
    linalg::RequireFloatMatrix(A, L"Cond", false);
    if (!fro && p != 1 && !(std::isinf(p) && p > 0))
        throw CFunctionErrorException(L"Cond: p must be 1, 2, Inf or 'fro'");
    if (linalg::Rows(A) != linalg::Columns(A))
        throw CFunctionErrorException(L"Cond: A must be square for p other than 2");
    if (A->GetNoElems() == 0) return 0.0;
    const double rc = Rcond(A);
    if (std::isnan(rc)) return rc;
    if (rc == 0.0) return std::numeric_limits<double>::infinity();
    ArrayHolder X(Inv(A));
    if (fro) return NormFro(A) * NormFro(X.get());
    return Norm(A, p) * Norm(X.get(), p);
}
}  // namespace

double Cond(const CMatrix *A, double p) { return CondOf(A, p, false); }
double CondFro(const CMatrix *A) { return CondOf(A, 0, true); }

double Condest(const CMatrix *A) {
    linalg::RequireFloatMatrix(A, L"Condest", true);
    const std::size_t n = linalg::Rows(A);
    if (n == 0) return 0.0;
    const Dense<Cx> a = linalg::LoadComplex(A);
    const double anorm = linalg::Norm1(a);
    if (std::isnan(anorm)) return anorm;
    if (anorm == 0.0) return std::numeric_limits<double>::infinity();
    const LuSolver lu(a);
    for (std::size_t i = 0; i < n; ++i)
        if (lu.lu(i, i) == Cx(0.0)) return std::numeric_limits<double>::infinity();
    const bool real = A->GetPi() == nullptr;
    std::vector<Cx> x(n, Cx(1.0 / n));
    double est = 0.0;
    std::size_t last = n;
    for (int iter = 0; iter < 5; ++iter) {
        const std::vector<Cx> y = lu.Solve(x, false);
        const double norm = Norm1Of(y);
        if (iter > 0 && norm <= est) break;
        est = norm;
        std::vector<Cx> xi(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double m = std::abs(y[i]);
            xi[i] = real ? Cx(y[i].real() >= 0 ? 1.0 : -1.0) : (m == 0 ? 1.0 : y[i] / m);
        }
        const std::vector<Cx> z = lu.Solve(xi, true);
        std::size_t j = 0;
        for (std::size_t i = 1; i < n; ++i)
            if (std::abs(z[i]) > std::abs(z[j])) j = i;
        Cx zx = 0.0;
        for (std::size_t i = 0; i < n; ++i) zx += std::conj(z[i]) * x[i];
        if (iter > 0 && (std::abs(z[j]) <= zx.real() || j == last)) break;
        last = j;
        std::fill(x.begin(), x.end(), Cx(0.0));
        x[j] = 1.0;
    }
    // Higham's alternative vector guards against the estimate's traps.
    std::vector<Cx> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = (i % 2 ? -1.0 : 1.0) * (1.0 + (n > 1 ? double(i) / double(n - 1) : 0.0));
    const double alt = 2.0 * Norm1Of(lu.Solve(b, false)) / (3.0 * n);
    return anorm * std::max(est, alt);
}

CMatrix *Null(const CMatrix *A) {
    linalg::RequireFloatMatrix(A, L"Null", false);
    std::vector<double> s;
    Dense<Cx> V;
    Decompose(A, s, nullptr, &V);
    const std::size_t r = NumericalRank(A, s);
    return linalg::StoreComplex(Columns(V, r, V.n - r), ClassOf(A), A->GetPi() == nullptr);
}

CMatrix *Orth(const CMatrix *A) {
    linalg::RequireFloatMatrix(A, L"Orth", false);
    std::vector<double> s;
    Dense<Cx> U;
    Decompose(A, s, &U, nullptr);
    const std::size_t r = NumericalRank(A, s);
    return linalg::StoreComplex(Columns(U, 0, r), ClassOf(A), A->GetPi() == nullptr);
}

void Lsqnonneg(CMatrix *&x, double &resnorm, CMatrix *&residual, const CMatrix *C,
               const CMatrix *d) {
    x = residual = nullptr;
    linalg::RequireFloatMatrix(C, L"Lsqnonneg", false);
    linalg::RequireFloatMatrix(d, L"Lsqnonneg", false);
    if (C->GetPi() != nullptr || d->GetPi() != nullptr)
        throw CFunctionErrorException(L"Lsqnonneg: C and d must be real");
    const std::size_t m = linalg::Rows(C), n = linalg::Columns(C);
    if (linalg::Columns(d) != 1 || linalg::Rows(d) != m)
        throw CFunctionErrorException(
            L"Lsqnonneg: d must be a column with as many rows as C");
    const Dense<double> c = linalg::LoadReal(C);
    const Dense<double> b = linalg::LoadReal(d);
    for (double v : c.a)
        if (!std::isfinite(v)) throw CFunctionErrorException(L"Lsqnonneg: C must be finite");
    for (double v : b.a)
        if (!std::isfinite(v)) throw CFunctionErrorException(L"Lsqnonneg: d must be finite");
    double cnorm = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        double s = 0.0;
        for (std::size_t i = 0; i < m; ++i) s += std::fabs(c(i, j));
        cnorm = std::max(cnorm, s);
    }
    const double tol = 10 * std::numeric_limits<double>::epsilon() * cnorm * std::max(m, n);
    std::vector<double> sol(n, 0.0), z(n, 0.0), w(n), res(m);
    std::vector<bool> passive(n, false);
    auto update = [&] {
        for (std::size_t i = 0; i < m; ++i) {
            double s = b.a[i];
            for (std::size_t j = 0; j < n; ++j) s -= c(i, j) * sol[j];
            res[i] = s;
        }
        for (std::size_t j = 0; j < n; ++j) {
            double s = 0.0;
            for (std::size_t i = 0; i < m; ++i) s += c(i, j) * res[i];
            w[j] = s;
        }
    };
    // The unconstrained least-squares solution on the passive columns.
    auto solve = [&] {
        std::vector<std::size_t> cols;
        for (std::size_t j = 0; j < n; ++j)
            if (passive[j]) cols.push_back(j);
        ArrayHolder Cp(mxCreateDoubleMatrix(static_cast<unsigned>(m),
                                            static_cast<unsigned>(cols.size()), mxComplexityReal));
        for (std::size_t k = 0; k < cols.size(); ++k)
            for (std::size_t i = 0; i < m; ++i) linalg::Data(Cp.get())[i + k * m] = c(i, cols[k]);
        ArrayHolder D(linalg::StoreReal(b, mxClassDouble));
        ArrayHolder Z(Mldivide(Cp.get(), D.get()));
        std::fill(z.begin(), z.end(), 0.0);
        for (std::size_t k = 0; k < cols.size(); ++k) z[cols[k]] = linalg::Data(Z.get())[k];
    };
    update();
    for (std::size_t outer = 0; outer < 3 * n + 1; ++outer) {
        std::size_t t = n;
        for (std::size_t j = 0; j < n; ++j)
            if (!passive[j] && w[j] > tol && (t == n || w[j] > w[t])) t = j;
        if (t == n) break;
        passive[t] = true;
        solve();
        for (std::size_t inner = 0; inner < 3 * n + 1; ++inner) {
            bool feasible = true;
            for (std::size_t j = 0; j < n; ++j)
                if (passive[j] && z[j] <= 0) feasible = false;
            if (feasible) break;
            double alpha = std::numeric_limits<double>::infinity();
            for (std::size_t j = 0; j < n; ++j)
                if (passive[j] && z[j] <= 0) alpha = std::min(alpha, sol[j] / (sol[j] - z[j]));
            for (std::size_t j = 0; j < n; ++j) sol[j] += alpha * (z[j] - sol[j]);
            for (std::size_t j = 0; j < n; ++j)
                if (passive[j] && std::fabs(sol[j]) <= tol) {
                    passive[j] = false;
                    sol[j] = 0.0;
                }
            solve();
        }
        sol = z;
        update();
    }
    update();
    resnorm = 0.0;
    for (double r : res) resnorm += r * r;
    Dense<double> X(n, 1), Res(m, 1);
    X.a = sol;
    Res.a = res;
    const mxClassID id = linalg::WorkingClass(C, d);
    ArrayHolder XH(linalg::StoreReal(X, id));
    residual = linalg::StoreReal(Res, id);
    x = XH.release();
}

CMatrix *Linsolve(const CMatrix *A, const CMatrix *B, const LinsolveOptions &opts, double &r) {
    linalg::RequireFloatMatrix(A, L"Linsolve", false);
    linalg::RequireFloatMatrix(B, L"Linsolve", false);
    if (opts.lowerTriangular && opts.upperTriangular)
        throw CFunctionErrorException(L"Linsolve: LT and UT cannot both be set");
    const std::size_t m = linalg::Rows(A), n = linalg::Columns(A);
    const bool triangular = opts.lowerTriangular || opts.upperTriangular;
    if (triangular && m != n)
        throw CFunctionErrorException(L"Linsolve: a triangular A must be square");
    if (linalg::Rows(B) != (opts.transposed ? n : m)) throw CMatrixDimsMustAgreeException();
    const mxClassID id = linalg::WorkingClass(A, B);
    const bool complex = A->GetPi() != nullptr || B->GetPi() != nullptr;
    if (triangular) {
        Dense<Cx> a = linalg::LoadComplex(A);
        bool lower = opts.lowerTriangular;
        if (opts.transposed) {
            a = linalg::Adjoint(a);
            lower = !lower;
        }
        // Only the triangle named is read.
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < n; ++i)
                if (lower ? i < j : i > j) a(i, j) = 0.0;
        const CMatrix *const owned = linalg::StoreComplex(a, id, !complex);
        ArrayHolder T(const_cast<CMatrix *>(owned));
        r = n == 0 ? std::numeric_limits<double>::infinity() : Rcond(T.get());
        return linalg::StoreComplex(Substitute(a, linalg::LoadComplex(B), lower), id);
    }
    ArrayHolder At;
    const CMatrix *a = A;
    if (opts.transposed) {
        At.reset(Ctranspose(A));
        a = At.get();
    }
    if (opts.positiveDefinite && opts.symmetric && m == n && n > 0) {
        bool ok;
        ArrayHolder R(Chol(a, ok));
        if (ok) {
            const Dense<Cx> rr = linalg::LoadComplex(R.get());
            r = Rcond(a);
            Dense<Cx> y = Substitute(linalg::Adjoint(rr), linalg::LoadComplex(B), true);
            return linalg::StoreComplex(Substitute(rr, y, false), id);
        }
    }
    if (linalg::Rows(a) == linalg::Columns(a)) {
        r = n == 0 ? std::numeric_limits<double>::infinity() : Rcond(a);
        return Mldivide(a, B);
    }
    r = static_cast<double>(Rank(a));
    return Mldivide(a, B);
}

CMatrix *Vecnorm(const CMatrix *A, double p, unsigned int dim) {
    const mxClassID cls = A->GetClassID();
    if ((cls != mxClassDouble && cls != mxClassSingle) || A->IsLogical())
        throw CFunctionErrorException(L"Vecnorm: the operand must be double or single");
    if (!(p > 0)) throw CFunctionErrorException(L"Vecnorm: p must be positive or Inf");
    const unsigned int nd = A->GetNoDimensions();
    const unsigned int *dims = A->GetDimensions();
    if (dim == 0) {
        dim = 1;
        for (unsigned int k = 0; k < nd; ++k)
            if (dims[k] != 1) {
                dim = k + 1;
                break;
            }
    }
    // A dimension beyond the last holds vectors of one element each.
    std::vector<unsigned int> out(dims, dims + nd);
    const std::size_t along = dim <= nd ? out[dim - 1] : 1;
    std::size_t before = 1, after = 1;
    for (unsigned int k = 0; k + 1 < std::min(dim, nd + 1); ++k) before *= out[k];
    for (std::size_t k = dim; k < out.size(); ++k) after *= out[k];
    if (dim <= nd) out[dim - 1] = 1;
    ArrayHolder R(mxCreateNumericArray(static_cast<unsigned int>(out.size()), out.data(), cls,
                                       mxComplexityReal));
    const bool single = cls == mxClassSingle;
    auto modulus = [&](std::size_t i) -> double {
        double re, im = 0.0;
        if (single) {
            re = static_cast<const float *>(A->GetPr())[i];
            if (A->GetPi()) im = static_cast<const float *>(A->GetPi())[i];
        } else {
            re = static_cast<const double *>(A->GetPr())[i];
            if (A->GetPi()) im = static_cast<const double *>(A->GetPi())[i];
        }
        return im == 0.0 ? std::fabs(re) : std::hypot(re, im);
    };
    for (std::size_t o = 0; o < after; ++o)
        for (std::size_t b = 0; b < before; ++b) {
            double s = 0.0;
            bool nan = false;
            for (std::size_t k = 0; k < along; ++k) {
                const double v = modulus(b + before * (k + along * o));
                if (std::isnan(v)) nan = true;
                if (std::isinf(p)) {
                    s = std::max(s, v);
                } else if (p == 1) {
                    s += v;
                } else if (p == 2) {
                    s += v * v;
                } else {
                    s += std::pow(v, p);
                }
            }
            if (nan) {
                s = std::numeric_limits<double>::quiet_NaN();
            } else if (p == 2) {
                s = std::sqrt(s);
            } else if (!std::isinf(p) && p != 1) {
                s = std::pow(s, 1.0 / p);
            }
            const std::size_t at = b + before * o;
            if (single) {
                static_cast<float *>(R->GetPr())[at] = static_cast<float>(s);
            } else {
                static_cast<double *>(R->GetPr())[at] = s;
            }
        }
    return R.release();
}

void EigGeneralized(CMatrix *&V, CMatrix *&D, const CMatrix *A, const CMatrix *B) {
    V = D = nullptr;
    linalg::RequireFloatMatrix(A, L"Eig", true);
    linalg::RequireFloatMatrix(B, L"Eig", true);
    if (linalg::Rows(A) != linalg::Rows(B))
        throw CFunctionErrorException(L"Eig: A and B must be square matrices of one size");
    const Dense<Cx> a = linalg::LoadComplex(A);
    const Dense<Cx> b = linalg::LoadComplex(B);
    if (!IsHermitian(a) || !IsHermitian(b))
        throw CFunctionErrorException(L"Eig: the two-matrix form needs symmetric A and B");
    const std::size_t n = a.m;
    const mxClassID id = linalg::WorkingClass(A, B);
    bool ok;
    ArrayHolder RH(Chol(B, ok));
    if (!ok) throw CFunctionErrorException(L"Eig: B must be symmetric positive definite");
    const Dense<Cx> R = linalg::LoadComplex(RH.get());
    // C = R'\A/R, exactly Hermitian.
    const Dense<Cx> Y = Substitute(linalg::Adjoint(R), a, true);
    Dense<Cx> C = linalg::Adjoint(Substitute(linalg::Adjoint(R), linalg::Adjoint(Y), true));
    for (std::size_t j = 0; j < n; ++j) {
        C(j, j) = C(j, j).real();
        for (std::size_t i = 0; i < j; ++i) {
            const Cx h = 0.5 * (C(i, j) + std::conj(C(j, i)));
            C(i, j) = h;
            C(j, i) = std::conj(h);
        }
    }
    // The Hermitian solver, whichever the order: C as a complex array.
    ArrayHolder CH(linalg::StoreComplex(C, mxClassDouble, false));
    CMatrix *d;
    CMatrix *w;
    Eig(d, w, CH.get(), false);
    ArrayHolder DH(d), WH(w);
    const Dense<Cx> X = Substitute(R, linalg::LoadComplex(w), false);
    const bool real = A->GetPi() == nullptr && B->GetPi() == nullptr;
    ArrayHolder VH(linalg::StoreComplex(X, id, real));
    D = linalg::StoreComplex(linalg::LoadComplex(d), id, true);
    V = VH.release();
}

CMatrix *EigGeneralized(const CMatrix *A, const CMatrix *B) {
    CMatrix *V;
    CMatrix *D;
    EigGeneralized(V, D, A, B);
    ArrayHolder VH(V), DH(D);
    return Diag(D, 0);
}

CMatrix *LeftEigenvectors(const CMatrix *V) {
    linalg::RequireFloatMatrix(V, L"Eig", true);
    const Dense<Cx> v = linalg::LoadComplex(V);
    Dense<Cx> W = linalg::Adjoint(linalg::Solve(v, Dense<Cx>::Identity(v.m)));
    for (std::size_t j = 0; j < W.n; ++j) {
        double s = 0.0;
        for (std::size_t i = 0; i < W.m; ++i) s += std::norm(W(i, j));
        s = std::sqrt(s);
        if (s > 0)
            for (std::size_t i = 0; i < W.m; ++i) W(i, j) /= s;
    }
    return linalg::StoreComplex(W, ClassOf(V), V->GetPi() == nullptr);
}

CMatrix *CholPartial(const CMatrix *A, bool lower, unsigned int &p) {
    bool ok;
    ArrayHolder R(Chol(A, ok));
    std::size_t failed = 0;
    if (!ok) {
        // The failing row by the same steps in double; the factor of the
        // block before it by Chol itself (one row back while that fails).
        failed = CholeskyFailure(linalg::LoadComplex(A));
        if (failed == 0) failed = linalg::Rows(A);
        for (;; --failed) {
            ArrayHolder block(LeadingBlock(A, failed - 1));
            R.reset(Chol(block.get(), ok));
            if (ok || failed == 1) break;
        }
        if (!ok) R.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
    }
    if (lower) R.reset(Ctranspose(R.get()));
    p = static_cast<unsigned int>(failed);
    return R.release();
}

CMatrix *LeastSquares(const CMatrix *A, const CMatrix *B, unsigned int &rank, double &tol,
                      bool right) {
    linalg::RequireTwoDimensions(A);
    linalg::RequireTwoDimensions(B);
    linalg::RequireFloatingClass(A, right ? L"Mrdivide" : L"Mldivide");
    linalg::RequireFloatingClass(B, right ? L"Mrdivide" : L"Mldivide");
    if (right ? linalg::Columns(A) != linalg::Columns(B) : linalg::Rows(B) != linalg::Rows(A))
        throw CMatrixDimsMustAgreeException();
    const mxClassID id = linalg::WorkingClass(A, B);
    const linalg::InClass a(A, id);
    const linalg::InClass b(B, id);
    // X*B = A as B'*X' = A'.
    Dense<Cx> qr = linalg::LoadComplex(right ? b.get() : a.get());
    Dense<Cx> y = linalg::LoadComplex(right ? a.get() : b.get());
    if (right) {
        qr = linalg::Adjoint(qr);
        y = linalg::Adjoint(y);
    }
    const std::size_t m = qr.m, n = qr.n, k = y.n;
    const std::size_t steps = std::min(m, n);
    rank = 0;
    tol = 0.0;
    Dense<Cx> X(n, k);
    if (steps > 0 && k > 0) {
        std::vector<Cx> tau(steps);
        std::vector<std::uint32_t> perm(n);
        std::vector<double> work(n);
        kernels::HouseholderQrTyped(m, n, qr.Data(), m, tau.data(), perm.data(), work.data());
        for (std::size_t s = 0; s < steps; ++s)
            kernels::ApplyReflectorLeft(m - s, k, qr.Data() + s + s * m, tau[s], true,
                                        y.Data() + s, m);
        tol = std::max(m, n) * ClassEps(id) * std::abs(qr(0, 0));
        while (rank < steps && std::abs(qr(rank, rank)) > tol) ++rank;
        for (std::size_t j = 0; j < k; ++j)
            for (std::size_t i = rank; i-- > 0;) {
                Cx s = y(i, j);
                for (std::size_t c = i + 1; c < rank; ++c) s -= qr(i, c) * X(perm[c], j);
                X(perm[i], j) = s / qr(i, i);
            }
    }
    return linalg::StoreComplex(right ? linalg::Adjoint(X) : X, id);
}

namespace linalg {

CMatrix *MpowerGeneral(const CMatrix *A, const CMatrix *B) {
    if (A->GetNoElems() == 1 && B->GetNoElems() == 1) return Power(A, B);
    RequireFloatingClass(A, L"Mpower");
    RequireFloatingClass(B, L"Mpower");
    RequireTwoDimensions(A);
    RequireTwoDimensions(B);
    const mxClassID id = WorkingClass(A, B);
    const InClass a(A, id);
    const InClass b(B, id);
    if (B->GetNoElems() == 1) {
        if (Rows(A) != Columns(A)) throw CMatrixMustBeSquareException();
        const Cx p = LoadComplex(b.get()).a[0];
        const std::size_t n = Rows(A);
        if (p.imag() == 0 && std::isfinite(p.real()) && p.real() == std::trunc(p.real())) {
            if (p.real() == 0) {
                ArrayHolder I(Eye(static_cast<unsigned int>(n)));
                return Cast(I.get(), id);
            }
            // Repeated squaring over the bits of |p|, lowest first.
            ArrayHolder X(p.real() < 0 ? Inv(a.get()) : mxDuplicateArray(a.get()));
            ArrayHolder R;
            for (double rest = std::fabs(p.real());;) {
                const double half = std::floor(rest / 2);
                if (rest - 2 * half != 0)
                    R.reset(R ? Mtimes(R.get(), X.get()) : mxDuplicateArray(X.get()));
                rest = half;
                if (rest == 0) break;
                X.reset(Mtimes(X.get(), X.get()));
            }
            return R.release();
        }
        std::vector<Cx> w;
        Dense<Cx> X = EigenFunction(
            LoadComplex(a.get()), [&](Cx z) { return RealPow(z, p); }, w);
        if (a->GetPi() == nullptr && p.imag() == 0 && !OnNegativeAxis(w))
            for (Cx &z : X.a) z = z.real();
        return StoreComplex(X, id);
    }
    if (A->GetNoElems() == 1) {
        if (Rows(B) != Columns(B)) throw CMatrixMustBeSquareException();
        const Cx base = LoadComplex(a.get()).a[0];
        std::vector<Cx> w;
        Dense<Cx> X = EigenFunction(
            LoadComplex(b.get()), [&](Cx z) { return RealPow(base, z); }, w);
        if (b->GetPi() == nullptr && base.imag() == 0 && base.real() > 0)
            for (Cx &z : X.a) z = z.real();
        return StoreComplex(X, id);
    }
    throw CFunctionErrorException(
        L"Mpower: the exponent must be a scalar; a matrix exponent is not supported");
}

}  // namespace linalg

}  // namespace matrix
}  // namespace kiv
