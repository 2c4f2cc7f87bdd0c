// src/linalg/eig.cpp: eigenvalues by the shifted QR algorithm, eigenvectors by inverse iteration.
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
#include "kernels/qr_kernel.h"
#include "linalg/linalg_common.h"

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

// What the fast order's eigenvectors need of the reduction: the reduced
// matrix with its multipliers (n x n, leading dimension n), the
// interchanges, and the balancing scales (n entries, all 1.0 unbalanced).
struct Reduction {
    explicit Reduction(std::size_t n) : h(n * n), pivot(n), scale(n) {}
    linalg::Scratch<double> h;
    linalg::Scratch<std::size_t> pivot;
    linalg::Scratch<double> scale;
};

// The eigenvalues of A, complex ones replaced by their modulus, in the
// order of deflation; those the QR iteration could not find are NaN.
// Recording the reduction in *kept changes no bit of the eigenvalues.
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
    kernels::ComplexToModulus(n, wr, wi, mxGetEps());
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

// Column k of the result is a unit vector x with (A - wr[k]*I)\x parallel
// to x, from a normally distributed start. A solve whose normalisation is
// not finite (an exactly singular 1 x 1 system, overflow, a NaN
// eigenvalue) ends the iteration with the previous, already normalised
// iterate. A 1 x 1 shift solves by division, as Mldivide's scalar rule
// does; from n = 2 on each shifted matrix is factored once and every
// iterate solved from the factors, as Mldivide's elimination would.
CMatrix *InverseIteration(const CMatrix *A, const double *wr) {
    const std::size_t n = linalg::Rows(A);
    ArrayHolder V(mxCreateDoubleMatrix(static_cast<unsigned int>(n), static_cast<unsigned int>(n),
                                       mxComplexityReal));
    double *v = linalg::Data(V.get());
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
    for (std::size_t k = 0; k < n; ++k) {
        std::memcpy(b, A->GetPr(), n * n * sizeof(double));
        for (std::size_t i = 0; i < n; ++i) b[i + i * n] = b[i + i * n] - wr[k];
        kernels::GaussFactor(n, b, n, pivot.Get(), r.Get());
        Iterate(n, solve, StatedLength, x, y, solved);
        std::memcpy(v + k * n, x, n * sizeof(double));
    }
    return V.release();
}

// The fast order's eigenvectors: the same iteration, start and stopping
// rule as InverseIteration, but each shifted matrix is the Hessenberg form
// of the reduction, factored in O(n^2); the chosen iterate is mapped back
// through the reduction and the balancing and normalised to length 1. An
// exactly singular shifted matrix has its zero pivots replaced by eps
// times the largest magnitude of the Hessenberg form (or by the square
// solve's replacement when the form is zero).
CMatrix *InverseIterationFast(std::size_t n, const Reduction &kept, const double *wr) {
    ArrayHolder V(mxCreateDoubleMatrix(static_cast<unsigned int>(n), static_cast<unsigned int>(n),
                                       mxComplexityReal));
    double *v = linalg::Data(V.get());
    const double *h = kept.h.Get();
    double largest = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i <= std::min(j + 1, n - 1); ++i)
            largest = std::max(largest, std::fabs(h[i + j * n]));
    }
    const double tiny = largest > 0.0 ? largest * mxGetEps() : kernels::kGaussZeroPivot;
    // Every start drawn first, in the order the stated iteration draws
    // them, so that the eigenvalues can be shared between threads: each
    // column depends on its own shift and start alone.
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
        for (std::size_t k = begin; k < end; ++k) {
            kernels::HessenbergShiftedFactor(n, h, n, wr[k], tiny, work.Get());
            Iterate(n, solve, FastLength, x, y, solved, starts.Get() + k * n);
            double *vk = v + k * n;
            std::memcpy(vk, x, n * sizeof(double));
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
    const unsigned int n = RequireSquareOperand(A);
    linalg::Scratch<double> wr(n);
    linalg::Scratch<double> wi(n);
    EigValues(A, n, wr.Get(), wi.Get(), balance);
    return mxDoubleMatrix(n, 1, wr.Get(), nullptr);
}

void Eig(CMatrix *&D, CMatrix *&V, const CMatrix *A, bool balance) {
    D = nullptr;
    V = nullptr;
    ArrayHolder d;
    ArrayHolder v;
    if (IsEmptyMatrix(A)) {
        d.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        v.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
    } else {
        const unsigned int n = RequireSquareOperand(A);
        linalg::Scratch<double> wr(n);
        linalg::Scratch<double> wi(n);
        if (GetOrder() == Order::kFast) {
            Reduction kept(n);
            EigValues(A, n, wr.Get(), wi.Get(), balance, &kept);
            d.reset(Diag(n, wr.Get(), 0));
            v.reset(InverseIterationFast(n, kept, wr.Get()));
        } else {
            EigValues(A, n, wr.Get(), wi.Get(), balance);
            d.reset(Diag(n, wr.Get(), 0));
            v.reset(InverseIteration(A, wr.Get()));
        }
    }
    D = d.release();
    V = v.release();
}

}  // namespace matrix
}  // namespace kiv
