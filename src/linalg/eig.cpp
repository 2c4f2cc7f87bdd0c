// src/linalg/eig.cpp: eigenvalues by the shifted QR algorithm, eigenvectors by inverse iteration.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/array_holder.h"
#include "linalg/kernels/eig_kernel.h"
#include "linalg/kernels/mldivide_kernel.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

namespace {

// Solves per eigenvector, and the agreement (up to sign) between two
// successive normalised iterates at which the iteration stops. The
// iteration's own limits, fixed by the library's definition of Eig.
constexpr int kInverseIterations = 10;
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

// The leading dimension of the working copy: the reduction and the QR
// sweeps walk rows, and a stride of a multiple of 16 doubles (128 bytes)
// maps a row's elements onto few cache sets, which at n = 256 costs a
// factor of 4 to 8. Four more rows break the pattern.
std::size_t WorkingLeadingDimension(std::size_t n) { return n % 16 == 0 ? n + 4 : n; }

// The eigenvalues of A, complex ones replaced by their modulus, in the
// order of deflation; those the QR iteration could not find are NaN.
void EigValues(const CMatrix *A, std::size_t n, double *wr, double *wi, bool balance) {
    const std::size_t ld = WorkingLeadingDimension(n);
    linalg::Scratch<double> h(ld * n);
    const double *a = linalg::Data(A);
    for (std::size_t j = 0; j < n; ++j) std::memcpy(h.Get() + j * ld, a + j * n, n * sizeof(double));
    if (balance) kernels::Balance(n, h.Get(), ld);
    kernels::ReduceToHessenberg(n, h.Get(), ld);
    kernels::HessenbergEigenvalues(n, h.Get(), ld, wr, wi);
    kernels::ComplexToModulus(n, wr, wi, mxGetEps());
}

// B\x for an n x n B (n >= 2) that GaussFactor has factored, as a new
// n x 1 array: the bits Mldivide(B, x) gives for the unfactored B, which
// runs the same factorisation and solve on copies. rhs is n doubles of
// workspace.
CMatrix *SolveFactored(std::size_t n, const double *lu, const std::size_t *pivot,
                       const double *r, const CMatrix *x, double *rhs) {
    ArrayHolder solved(mxCreateDoubleMatrix(static_cast<unsigned int>(n), 1, mxComplexityReal));
    std::memcpy(rhs, x->GetPr(), n * sizeof(double));
    kernels::GaussSolveFactored(n, 1, lu, n, pivot, r, rhs, n, linalg::Data(solved.get()), n);
    return solved.release();
}

// Column k of the result is a unit vector x with (A - wr[k]*I)\x parallel
// to x, from a normally distributed start. A solve whose normalisation is
// not finite (an exactly singular 1 x 1 system, overflow, a NaN
// eigenvalue) ends the iteration with the previous, already normalised
// iterate. From n = 2 on each shifted matrix is factored once and every
// iterate solved from the factors, with the bits of Mldivide; a 1 x 1
// shift goes through Mldivide itself, whose scalar rule is element-wise
// division.
CMatrix *InverseIteration(const CMatrix *A, const double *wr) {
    const std::size_t n = linalg::Rows(A);
    ArrayHolder V(mxCreateDoubleMatrix(static_cast<unsigned int>(n),
                                       static_cast<unsigned int>(n), mxComplexityReal));
    ArrayHolder B(mxCreateDoubleMatrix(static_cast<unsigned int>(n),
                                       static_cast<unsigned int>(n), mxComplexityReal));
    const bool factored = n >= 2;
    linalg::Scratch<std::size_t> pivot(factored ? n : 0);
    linalg::Scratch<double> r(factored ? n : 0);
    linalg::Scratch<double> rhs(factored ? n : 0);
    double *b = linalg::Data(B.get());
    for (std::size_t k = 0; k < n; ++k) {
        std::memcpy(b, A->GetPr(), n * n * sizeof(double));
        for (std::size_t i = 0; i < n; ++i) b[i + i * n] = b[i + i * n] - wr[k];
        if (factored) kernels::GaussFactor(n, b, n, pivot.Get(), r.Get());

        ArrayHolder start(Randn(static_cast<unsigned int>(n), 1));
        ArrayHolder x(Rdivide(start.get(), Norm(start.get(), 2.0)));
        start.reset();
        for (int iteration = 0; iteration < kInverseIterations; ++iteration) {
            ArrayHolder solved(factored
                                   ? SolveFactored(n, b, pivot.Get(), r.Get(), x.get(), rhs.Get())
                                   : Mldivide(B.get(), x.get()));
            const double length = Norm(solved.get(), 2.0);
            if (!(std::isfinite(length) && length > 0.0)) break;
            ArrayHolder y(Rdivide(solved.get(), length));
            solved.reset();
            const double *xv = linalg::Data(x.get());
            const double *yv = linalg::Data(y.get());
            const double sign = (xv[0] >= 0.0 ? 1.0 : -1.0) * (yv[0] >= 0.0 ? 1.0 : -1.0);
            bool converged = true;
            for (std::size_t i = 0; i < n && converged; ++i) {
                converged = std::fabs(xv[i] - sign * yv[i]) <= kIterateTolerance;
            }
            if (converged) break;
            x = std::move(y);
        }
        std::memcpy(linalg::Data(V.get()) + k * n, x->GetPr(), n * sizeof(double));
    }
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
        EigValues(A, n, wr.Get(), wi.Get(), balance);
        d.reset(Diag(n, wr.Get(), 0));
        v.reset(InverseIteration(A, wr.Get()));
    }
    D = d.release();
    V = v.release();
}

}  // namespace matrix
}  // namespace kiv
