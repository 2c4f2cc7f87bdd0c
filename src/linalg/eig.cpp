// src/linalg/eig.cpp: eigenvalues by shifted QR (symmetric QL in the fast order), eigenvectors by inverse iteration.
#include <matrix/linalg.h>

#include <kiv/random.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/order.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/array_holder.h"
#include "kernels/eig_kernel.h"
#include "kernels/kernel_support.h"
#include "kernels/mldivide_kernel.h"
#include "kernels/norm_kernel.h"
#include "kernels/parallel.h"
#include "kernels/planerot_kernel.h"
#include "kernels/qr_kernel.h"
#include "linalg/linalg_common.h"
#include "linalg/typed_factor.h"

namespace kiv {
namespace matrix {

namespace {

// Solves per eigenvector, and the agreement (up to sign) between two
// successive normalised iterates at which the iteration stops. The
// iteration's own limits, fixed by the library's definition of Eig.
constexpr int kInverseIterations = 10;

// The fast order's eigenvectors are shared between threads from this order
// on (each costs some ten O(n^2) solves), in pieces of this many columns.
constexpr std::size_t kParallelEigenvectorOrder = 64;
constexpr std::size_t kEigenvectorGrain = 4;
constexpr double kIterateTolerance = 1.0e-6;

bool IsEmptyMatrix(const CMatrix *A) {
    return A->GetNoDimensions() == 2 && linalg::Rows(A) == 0 && linalg::Columns(A) == 0;
}

// Checks shared by both forms after the 0 x 0 case, in order; returns n.
unsigned int RequireSquareOperand(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    linalg::RequireRealDouble(A);
    if (linalg::Rows(A) != linalg::Columns(A)) throw CMatrixMustBeSquareException();
    return linalg::Rows(A);
}

// Whether A is complex or single, for the Hermitian solver, after the
// checks of its dimensions in RequireSquareOperand's order.
bool IsTypedSquareOperand(const CMatrix *A) {
    if (!linalg::IsTypedOperand(A)) return false;
    linalg::RequireTwoDimensions(A);
    if (linalg::Rows(A) != linalg::Columns(A)) throw CMatrixMustBeSquareException();
    return true;
}

// What the fast order's eigenvectors need of the reduction: the reduced
// matrix with its multipliers (n x n, leading dimension n), the
// interchanges, and the balancing scales (n entries, all 1.0 unbalanced).
struct Reduction {
    explicit Reduction(std::size_t n) : h(n * n), pivot(n), scale(n) {}
    linalg::Scratch<double> h;
    linalg::Scratch<std::size_t> pivot;
    linalg::Scratch<double> scale;
};

// The eigenvalues of A in the order of deflation, a conjugate pair side by
// side with its positive imaginary part first; an imaginary part of at
// most eps in magnitude (NaN included) is set to 0.0, its real part kept.
// Those the QR iteration could not find are NaN (real). Recording the
// reduction in *kept changes no bit of the eigenvalues.
void EigValues(const CMatrix *A, std::size_t n, double *wr, double *wi, bool balance,
               Reduction *kept = nullptr) {
    const std::size_t ld = kernels::SpreadLeadingDimension(n);
    linalg::Scratch<double> h(ld * n);
    const double *a = linalg::Data(A);
    for (std::size_t j = 0; j < n; ++j)
        std::memcpy(h.Get() + j * ld, a + j * n, n * sizeof(double));
    double *scale = kept != nullptr ? kept->scale.Get() : nullptr;
    if (balance) {
        kernels::Balance(n, h.Get(), ld, scale);
    } else if (scale != nullptr) {
        std::fill(scale, scale + n, 1.0);
    }
    kernels::ReduceToHessenberg(n, h.Get(), ld, kept != nullptr ? kept->pivot.Get() : nullptr);
    if (kept != nullptr) {
        for (std::size_t j = 0; j < n; ++j)
            std::memcpy(kept->h.Get() + j * n, h.Get() + j * ld, n * sizeof(double));
    }
    kernels::HessenbergEigenvalues(n, h.Get(), ld, wr, wi);
    const double eps = mxGetEps();
    for (std::size_t i = 0; i < n; ++i) {
        if (!(std::fabs(wi[i]) > eps)) wi[i] = 0.0;
    }
}

bool AnyComplex(std::size_t n, const double *wi) {
    for (std::size_t i = 0; i < n; ++i) {
        if (wi[i] != 0.0) return true;
    }
    return false;
}

// Whether A (n x n) equals its transpose exactly; a NaN off the diagonal
// makes it unequal.
bool IsSymmetric(const CMatrix *A, std::size_t n) {
    const double *a = linalg::Data(A);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = j + 1; i < n; ++i) {
            if (!(a[i + j * n] == a[j + i * n])) return false;
        }
    }
    return true;
}

// The order from which the symmetric solver finds vectors by divide and
// conquer rather than by QL on the whole matrix: below it the rotations
// cost less than the merges' products.
constexpr std::size_t kSymmetricDivideConquerMin = 64;

// The fast order's symmetric eigensolver: Householder tridiagonalisation,
// implicit QL (the Jacobi method on A when QL gives up), values ascending; with z (n x n, leading dimension n) the
// orthonormal eigenvectors, each with its largest-magnitude entry (the
// first on ties) positive. Values not found are NaN.
void SymmetricEig(const CMatrix *A, std::size_t n, double *d, double *z) {
    linalg::Scratch<double> a(n * n);
    std::memcpy(a.Get(), linalg::Data(A), n * n * sizeof(double));
    linalg::Scratch<double> e(n);
    linalg::Scratch<double> c(n);
    linalg::Scratch<double> work(kernels::SymmetricTridiagonalizeWorkspace(n));
    kernels::SymmetricTridiagonalize(n, a.Get(), n, d, e.Get(), c.Get(), work.Get());
    bool found;
    if (z != nullptr && n >= kSymmetricDivideConquerMin) {
        // Divide and conquer gives T's vectors W; A's are Q*W, the
        // reflections applied to W's rows 1.. in blocks (Q = diag(1, Q1)).
        found = kernels::TridiagonalDivideConquer(n, d, e.Get(), z, n) == 0;
        if (found) {
            linalg::Scratch<double> qwork(kernels::HouseholderApplyQFastWorkspace(n - 1, n));
            kernels::HouseholderApplyQFast(n - 1, n - 2, a.Get() + 1, n, c.Get(), n, z + 1, n,
                                           qwork.Get());
        }
    } else {
        if (z != nullptr) {
            std::fill(z, z + n * n, 0.0);
            z[0] = 1.0;
            if (n >= 3) {
                linalg::Scratch<double> qwork(kernels::HouseholderFormQFastWorkspace(n - 1));
                kernels::HouseholderFormQFast(n - 1, n - 2, a.Get() + 1, n, c.Get(), z + 1 + n,
                                              n, qwork.Get());
            } else if (n == 2) {
                z[3] = 1.0;
            }
        }
        linalg::Scratch<double> qlwork(kernels::TridiagonalQlWorkspace(n));
        found = kernels::TridiagonalQl(n, d, e.Get(), z, n, qlwork.Get()) == 0;
    }
    if (!found) {
        // QL gave up: the Jacobi method on A itself, with the vectors
        // (the values alone need them as scratch anyway).
        std::memcpy(a.Get(), linalg::Data(A), n * n * sizeof(double));
        linalg::Scratch<double> vectors(z != nullptr ? 0 : n * n);
        kernels::SymmetricJacobi(n, a.Get(), n, d, z != nullptr ? z : vectors.Get(), n);
    }
    kernels::SortSymmetricEigen(n, d, z, n);
}

// The column of eigenvalues: real, or complex when any is.
CMatrix *ValuesColumn(unsigned int n, const double *wr, const double *wi) {
    if (!AnyComplex(n, wi)) return mxDoubleMatrix(n, 1, wr, nullptr);
    CMatrix *w = mxCreateDoubleMatrix(n, 1, mxComplexityComplex);
    std::memcpy(mxGetPr(w), wr, n * sizeof(double));
    std::memcpy(mxGetPi(w), wi, n * sizeof(double));
    return w;
}

// D: Diag of the eigenvalues, complex when any is.
CMatrix *ValuesDiagonal(unsigned int n, const double *wr, const double *wi) {
    if (!AnyComplex(n, wi)) return Diag(n, wr, 0);
    CMatrix *d = mxCreateDoubleMatrix(n, n, mxComplexityComplex);
    double *dr = mxGetPr(d), *di = mxGetPi(d);
    std::fill(dr, dr + std::size_t(n) * n, 0.0);
    std::fill(di, di + std::size_t(n) * n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        dr[k + k * n] = wr[k];
        di[k + k * n] = wi[k];
    }
    return d;
}

// Whether successive normalised iterates x and y agree up to sign: the
// sign is that of x(0) times that of y(0) (+1 for zeros), and every
// |x(i) - sign*y(i)| must be at most kIterateTolerance.
bool Converged(std::size_t n, const double *x, const double *y) {
    const double sign = kernels::WithSignOf(1.0, x[0]) * kernels::WithSignOf(1.0, y[0]);
    for (std::size_t i = 0; i < n; ++i) {
        if (!(std::fabs(x[i] - sign * y[i]) <= kIterateTolerance)) return false;
    }
    return true;
}

// The iteration for one shifted matrix of order n, on raw vectors. In the
// stated order it has exactly the arithmetic of the public functions it
// stands for: the start is Randn(n, 1) (kiv::Randn() for each element in
// turn), each norm is Norm(., 2) of a vector (length_of is StatedLength),
// each division Rdivide's element-wise one, and each solve Mldivide's:
// solve(x, solved) sets solved to the shifted matrix \ x. The fast order
// passes its own solve and length, and its starts drawn beforehand
// (start, n values; null draws them here). Leaves the chosen iterate in x;
// y and solved are n doubles each.
template <class Solve, class Length>
void Iterate(std::size_t n, Solve solve, Length length_of, double *x, double *y, double *solved,
             const double *start_values = nullptr) {
    for (std::size_t i = 0; i < n; ++i)
        x[i] = start_values != nullptr ? start_values[i] : kiv::Randn();
    const double start = length_of(n, x);
    for (std::size_t i = 0; i < n; ++i) x[i] = x[i] / start;
    for (int iteration = 0; iteration < kInverseIterations; ++iteration) {
        solve(x, solved);
        const double length = length_of(n, solved);
        if (!(std::isfinite(length) && length > 0.0)) return;
        for (std::size_t i = 0; i < n; ++i) y[i] = solved[i] / length;
        if (Converged(n, x, y)) return;
        std::memcpy(x, y, n * sizeof(double));
    }
}

// Norm(x, 2) of a vector, as the stated order computes it.
double StatedLength(std::size_t n, const double *x) { return kernels::VectorNorm(n, x, 1, 2.0); }

// The fast order's Euclidean length: the square root of a DotFast sum of
// squares, or StatedLength where that sum could have over- or underflowed.
double FastLength(std::size_t n, const double *x) {
    const double sum = kernels::DotFast(n, x, x);
    if (sum > 0x1p-900 && sum < 0x1p900) return std::sqrt(sum);
    return StatedLength(n, x);
}

// Whether successive normalised complex iterates x and y agree up to a
// unimodular factor: with c = sum over i of conj(y(i))*x(i) (increasing i,
// from 0.0) and s = c/|c| (|c| by SafeHypot; s = 1 when |c| is 0.0 or not
// finite), both the real and the imaginary part of every x(i) - s*y(i)
// must be at most kIterateTolerance in magnitude.
bool ConvergedComplex(std::size_t n, const double *xr, const double *xi, const double *yr,
                      const double *yi) {
    double cr = 0.0, ci = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        cr = cr + (yr[i] * xr[i] + yi[i] * xi[i]);
        ci = ci + (yr[i] * xi[i] - yi[i] * xr[i]);
    }
    const double size = kernels::SafeHypot(cr, ci);
    double sr = 1.0, si = 0.0;
    if (size > 0.0 && std::isfinite(size)) {
        sr = cr / size;
        si = ci / size;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double tr, ti;
        kernels::ComplexMultiply(sr, si, yr[i], yi[i], tr, ti);
        if (!(std::fabs(xr[i] - tr) <= kIterateTolerance)) return false;
        if (!(std::fabs(xi[i] - ti) <= kIterateTolerance)) return false;
    }
    return true;
}

// Iterate in complex arithmetic, for a complex shift: the start is real
// (start, n values, imaginary parts 0.0), each iterate is divided by its
// length part by part, and ConvergedComplex stops it. Unlike Iterate it
// keeps the newer of the two agreeing iterates: one more solve with the
// nearly singular matrix, so a residual near eps*norm(A) rather than one
// limited by the zero-pivot replacement. solve(xr, xi, sr, si)
// sets s to the shifted matrix \ x; length_of(xr, xi) is the Euclidean
// length. Leaves the chosen iterate in x; y and s are n doubles each part.
template <class Solve, class Length>
void IterateComplex(std::size_t n, Solve solve, Length length_of, double *xr, double *xi,
                    double *yr, double *yi, double *sr, double *si, const double *start_values) {
    for (std::size_t i = 0; i < n; ++i) {
        xr[i] = start_values[i];
        xi[i] = 0.0;
    }
    const double start = length_of(xr, xi);
    for (std::size_t i = 0; i < n; ++i) {
        xr[i] = xr[i] / start;
        xi[i] = xi[i] / start;
    }
    for (int iteration = 0; iteration < kInverseIterations; ++iteration) {
        solve(xr, xi, sr, si);
        const double length = length_of(sr, si);
        if (!(std::isfinite(length) && length > 0.0)) return;
        for (std::size_t i = 0; i < n; ++i) {
            yr[i] = sr[i] / length;
            yi[i] = si[i] / length;
        }
        const bool converged = ConvergedComplex(n, xr, xi, yr, yi);
        std::memcpy(xr, yr, n * sizeof(double));
        std::memcpy(xi, yi, n * sizeof(double));
        if (converged) return;
    }
}

// The stated order's length of a complex vector: Norm(., 2) of the 2n
// real numbers re(0), im(0), re(1), im(1), ... (the same Euclidean length);
// pairs is 2n doubles of scratch.
double StatedComplexLength(std::size_t n, const double *xr, const double *xi, double *pairs) {
    for (std::size_t i = 0; i < n; ++i) {
        pairs[2 * i] = xr[i];
        pairs[2 * i + 1] = xi[i];
    }
    return StatedLength(2 * n, pairs);
}

// The fast order's length of a complex vector: the square root of the sum
// of the two parts' DotFast sums of squares, or the stated length where
// that could have over- or underflowed.
double FastComplexLength(std::size_t n, const double *xr, const double *xi, double *pairs) {
    const double sum = kernels::DotFast(n, xr, xr) + kernels::DotFast(n, xi, xi);
    if (sum > 0x1p-900 && sum < 0x1p900) return std::sqrt(sum);
    return StatedComplexLength(n, xr, xi, pairs);
}

// Writes x into column k of V and its conjugate into column k+1.
void StorePair(std::size_t n, const double *xr, const double *xi, double *vr, double *vi,
               std::size_t k) {
    std::memcpy(vr + k * n, xr, n * sizeof(double));
    std::memcpy(vi + k * n, xi, n * sizeof(double));
    std::memcpy(vr + (k + 1) * n, xr, n * sizeof(double));
    for (std::size_t i = 0; i < n; ++i) vi[(k + 1) * n + i] = -xi[i];
}

// Column k of the result is a unit vector x with (A - lambda(k)*I)\x
// parallel to x, from a normally distributed start. A solve whose
// normalisation is not finite (an exactly singular 1 x 1 system, overflow,
// a NaN eigenvalue) ends the iteration with the previous, already
// normalised iterate. A 1 x 1 shift solves by division, as Mldivide's
// scalar rule does; from n = 2 on each shifted matrix is factored once and
// every iterate solved from the factors, as Mldivide's elimination would.
// A real eigenvalue's column is exactly the real iteration's. For a
// complex pair (k, k+1) the iteration runs for lambda(k), the one with the
// positive imaginary part, in complex arithmetic (ComplexGaussFactor,
// pivoting as the real elimination does, but with a zero pivot replaced by
// eps times the largest ComplexPivotMagnitude of the shifted matrix, as
// the fast order does, rather than by the absolute kGaussZeroPivot: an
// exactly singular shift then still gives a residual near eps*norm(A))
// from the real start drawn for column k; column k+1 is its conjugate. Every
// column draws its n starting values in turn, column k+1 of a pair too
// (those are not used), so the stream advances by n*n whatever the
// spectrum. V is complex when any eigenvalue is.
CMatrix *InverseIteration(const CMatrix *A, const double *wr, const double *wi) {
    const std::size_t n = linalg::Rows(A);
    const bool complex = AnyComplex(n, wi);
    ArrayHolder V(mxCreateDoubleMatrix(static_cast<unsigned int>(n), static_cast<unsigned int>(n),
                                       complex ? mxComplexityComplex : mxComplexityReal));
    double *v = linalg::Data(V.get());
    double *vi = complex ? mxGetPi(V.get()) : nullptr;
    linalg::Scratch<double> vectors(4 * n);
    double *y = vectors.Get(), *rhs = y + n, *solved = rhs + n, *x = solved + n;
    if (n == 1) {
        const double shifted = linalg::Data(A)[0] - wr[0];
        auto divide = [shifted](const double *in, double *out) { out[0] = in[0] / shifted; };
        Iterate(1, divide, StatedLength, x, y, solved);
        v[0] = x[0];
        return V.release();
    }

    ArrayHolder B(mxCreateDoubleMatrix(static_cast<unsigned int>(n), static_cast<unsigned int>(n),
                                       mxComplexityReal));
    double *b = linalg::Data(B.get());
    linalg::Scratch<std::size_t> pivot(n);
    linalg::Scratch<double> r(n);
    auto solve = [&](const double *in, double *out) {
        std::memcpy(rhs, in, n * sizeof(double));
        kernels::GaussSolveFactored(n, 1, b, n, pivot.Get(), r.Get(), rhs, n, out, n);
    };
    // The complex iteration's matrices and vectors, made when needed.
    const std::size_t cn = complex ? n : 0;
    linalg::Scratch<double> bi(cn * n);
    linalg::Scratch<double> ri(cn);
    linalg::Scratch<double> cvectors(11 * cn);
    double *xr = cvectors.Get(), *xi = xr + cn, *yr = xi + cn, *yi = yr + cn, *sr = yi + cn,
           *si = sr + cn, *br = si + cn, *bim = br + cn, *start = bim + cn, *pairs = start + cn;
    auto csolve = [&](const double *inr, const double *ini, double *outr, double *outi) {
        std::memcpy(br, inr, n * sizeof(double));
        std::memcpy(bim, ini, n * sizeof(double));
        kernels::ComplexGaussSolveFactored(n, b, bi.Get(), n, pivot.Get(), r.Get(), ri.Get(), br,
                                           bim, outr, outi);
    };
    auto clength = [&](const double *pr, const double *pi) {
        return StatedComplexLength(n, pr, pi, pairs);
    };
    for (std::size_t k = 0; k < n; ++k) {
        if (wi[k] == 0.0) {
            std::memcpy(b, A->GetPr(), n * n * sizeof(double));
            for (std::size_t i = 0; i < n; ++i) b[i + i * n] = b[i + i * n] - wr[k];
            kernels::GaussFactor(n, b, n, pivot.Get(), r.Get());
            Iterate(n, solve, StatedLength, x, y, solved);
            std::memcpy(v + k * n, x, n * sizeof(double));
            if (vi != nullptr) std::fill(vi + k * n, vi + (k + 1) * n, 0.0);
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) start[i] = kiv::Randn();
        if (wi[k] < 0.0) continue;  // the conjugate of column k-1, already stored
        std::memcpy(b, A->GetPr(), n * n * sizeof(double));
        std::fill(bi.Get(), bi.Get() + n * n, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            b[i + i * n] = b[i + i * n] - wr[k];
            bi.Get()[i + i * n] = 0.0 - wi[k];
        }
        double largest = 0.0;
        for (std::size_t i = 0; i < n * n; ++i) {
            largest = std::max(largest, kernels::ComplexPivotMagnitude(b[i], bi.Get()[i]));
        }
        const double tiny = largest > 0.0 ? largest * mxGetEps() : kernels::kGaussZeroPivot;
        kernels::ComplexGaussFactor(n, b, bi.Get(), n, pivot.Get(), r.Get(), ri.Get(), tiny);
        IterateComplex(n, csolve, clength, xr, xi, yr, yi, sr, si, start);
        StorePair(n, xr, xi, v, vi, k);
    }
    return V.release();
}

// The fast order's eigenvectors: the same iteration, start and stopping
// rule as InverseIteration, but each shifted matrix is the Hessenberg form
// of the reduction, factored in O(n^2) (in complex arithmetic for a complex
// pair's first eigenvalue, HessenbergShiftedFactorComplex); the chosen
// iterate is mapped back through the reduction and the balancing (real and
// imaginary parts alike) and normalised to length 1, and a pair's second
// column is the conjugate of its first. An exactly singular shifted matrix
// has its zero pivots replaced by eps times the largest magnitude of the
// Hessenberg form (or by the square solve's replacement when the form is
// zero).
CMatrix *InverseIterationFast(std::size_t n, const Reduction &kept, const double *wr,
                              const double *wi) {
    const bool complex = AnyComplex(n, wi);
    ArrayHolder V(mxCreateDoubleMatrix(static_cast<unsigned int>(n), static_cast<unsigned int>(n),
                                       complex ? mxComplexityComplex : mxComplexityReal));
    double *v = linalg::Data(V.get());
    double *vi = complex ? mxGetPi(V.get()) : nullptr;
    const double *h = kept.h.Get();
    double largest = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i <= std::min(j + 1, n - 1); ++i)
            largest = std::max(largest, std::fabs(h[i + j * n]));
    }
    const double tiny = largest > 0.0 ? largest * mxGetEps() : kernels::kGaussZeroPivot;
    // Every start drawn first, in the order the stated iteration draws
    // them, so that the eigenvalues can be shared between threads: each
    // column depends on its own shift and start alone, and a pair's second
    // column is written by the piece that holds its first.
    linalg::Scratch<double> starts(n * n);
    for (std::size_t i = 0; i < n * n; ++i) starts.Get()[i] = kiv::Randn();
    const std::size_t grain = n < kParallelEigenvectorOrder ? n : kEigenvectorGrain;
    kernels::ParallelFor(n, grain, [&](std::size_t begin, std::size_t end) {
        linalg::Scratch<double> vectors(3 * n);
        linalg::Scratch<double> work(kernels::HessenbergShiftedWorkspace(n));
        double *y = vectors.Get(), *solved = y + n, *x = solved + n;
        auto solve = [&](const double *in, double *out) {
            kernels::HessenbergShiftedSolve(n, work.Get(), in, out);
        };
        const std::size_t cn = complex ? n : 0;
        linalg::Scratch<double> cwork(complex ? kernels::HessenbergShiftedComplexWorkspace(n) : 0);
        linalg::Scratch<double> cvectors(8 * cn);
        double *xr = cvectors.Get(), *xi = xr + cn, *yr = xi + cn, *yi = yr + cn, *sr = yi + cn,
               *si = sr + cn, *pairs = si + cn;
        auto csolve = [&](const double *inr, const double *ini, double *outr, double *outi) {
            kernels::HessenbergShiftedSolveComplex(n, cwork.Get(), inr, ini, outr, outi);
        };
        auto clength = [&](const double *pr, const double *pi) {
            return FastComplexLength(n, pr, pi, pairs);
        };
        for (std::size_t k = begin; k < end; ++k) {
            if (wi[k] < 0.0) continue;
            if (wi[k] > 0.0) {
                kernels::HessenbergShiftedFactorComplex(n, h, n, wr[k], wi[k], tiny, cwork.Get());
                IterateComplex(n, csolve, clength, xr, xi, yr, yi, sr, si, starts.Get() + k * n);
                kernels::HessenbergBackTransform(n, h, n, kept.pivot.Get(), kept.scale.Get(), xr);
                kernels::HessenbergBackTransform(n, h, n, kept.pivot.Get(), kept.scale.Get(), xi);
                const double length = clength(xr, xi);
                if (std::isfinite(length) && length > 0.0) {
                    for (std::size_t i = 0; i < n; ++i) {
                        xr[i] = xr[i] / length;
                        xi[i] = xi[i] / length;
                    }
                }
                StorePair(n, xr, xi, v, vi, k);
                continue;
            }
            kernels::HessenbergShiftedFactor(n, h, n, wr[k], tiny, work.Get());
            Iterate(n, solve, FastLength, x, y, solved, starts.Get() + k * n);
            double *vk = v + k * n;
            std::memcpy(vk, x, n * sizeof(double));
            if (vi != nullptr) std::fill(vi + k * n, vi + (k + 1) * n, 0.0);
            kernels::HessenbergBackTransform(n, h, n, kept.pivot.Get(), kept.scale.Get(), vk);
            const double length = FastLength(n, vk);
            if (!(std::isfinite(length) && length > 0.0)) continue;
            for (std::size_t i = 0; i < n; ++i) vk[i] = vk[i] / length;
        }
    });
    return V.release();
}

}  // namespace

CMatrix *Eig(const CMatrix *A, bool balance) {
    if (IsEmptyMatrix(A)) return mxCreateDoubleMatrix(0, 1, mxComplexityReal);
    if (IsTypedSquareOperand(A)) return linalg::EigTyped(A, balance);
    const unsigned int n = RequireSquareOperand(A);
    linalg::Scratch<double> wr(n);
    linalg::Scratch<double> wi(n);
    if (GetOrder() == Order::kFast && IsSymmetric(A, n)) {
        SymmetricEig(A, n, wr.Get(), nullptr);
        return mxDoubleMatrix(n, 1, wr.Get(), nullptr);
    }
    EigValues(A, n, wr.Get(), wi.Get(), balance);
    return ValuesColumn(n, wr.Get(), wi.Get());
}

void Eig(CMatrix *&D, CMatrix *&V, const CMatrix *A, bool balance) {
    D = nullptr;
    V = nullptr;
    ArrayHolder d;
    ArrayHolder v;
    if (IsEmptyMatrix(A)) {
        d.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        v.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
    } else if (IsTypedSquareOperand(A)) {
        linalg::EigTyped(D, V, A);
        return;
    } else {
        const unsigned int n = RequireSquareOperand(A);
        linalg::Scratch<double> wr(n);
        linalg::Scratch<double> wi(n);
        if (GetOrder() == Order::kFast && IsSymmetric(A, n)) {
            v.reset(mxCreateDoubleMatrix(n, n, mxComplexityReal));
            SymmetricEig(A, n, wr.Get(), linalg::Data(v.get()));
            d.reset(Diag(n, wr.Get(), 0));
        } else if (GetOrder() == Order::kFast) {
            Reduction kept(n);
            EigValues(A, n, wr.Get(), wi.Get(), balance, &kept);
            d.reset(ValuesDiagonal(n, wr.Get(), wi.Get()));
            v.reset(InverseIterationFast(n, kept, wr.Get(), wi.Get()));
        } else {
            EigValues(A, n, wr.Get(), wi.Get(), balance);
            d.reset(ValuesDiagonal(n, wr.Get(), wi.Get()));
            v.reset(InverseIteration(A, wr.Get(), wi.Get()));
        }
    }
    D = d.release();
    V = v.release();
}

}  // namespace matrix
}  // namespace kiv
