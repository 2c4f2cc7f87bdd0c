// src/linalg/lu.cpp: the LU factorisation in both forms, and the determinant.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/array_holder.h"
#include "kernels/kernel_support.h"
#include "kernels/lu_kernel.h"
#include "kernels/parallel.h"
#include "linalg/class_operands.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

namespace {

// Checks shared by both forms, in order; returns the order n.
unsigned int RequireSquareMatrix(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    linalg::RequireRealDouble(A);
    if (linalg::Rows(A) != linalg::Columns(A)) throw CMatrixMustBeSquareException();
    return linalg::Rows(A);
}

// The factorisation of a square, non-empty A: U, the unit lower triangular
// L (in the factored copy itself) and the row permutation of P*A.
struct Factors {
    ArrayHolder L;
    ArrayHolder U;
    linalg::Scratch<std::uint32_t> perm;

    explicit Factors(unsigned int n) : perm(n) {}
};

// The copies and fills around the factorisation of an n x n matrix of at
// least this many elements are shared among the threads, by blocks of
// kColumnGrain columns: for a fresh result, most of their cost is the first
// touch of its pages.
constexpr std::size_t kSplitElements = std::size_t(1) << 16;
constexpr std::size_t kColumnGrain = 16;

// Calls columns(j0, j1) over blocks of the n columns that cover them once.
template <class Columns>
void ForColumns(std::size_t n, const Columns &columns) {
    if (n * n < kSplitElements) {
        columns(std::size_t(0), n);
        return;
    }
    kernels::ParallelFor(n, kColumnGrain, columns);
}

void Factorise(const CMatrix *A, unsigned int n, Factors &f) {
    // The factored copy is L itself, or a scratch copy at the spread
    // leading dimension. L holds computed values, never a logical mask.
    f.L.reset(mxCreateDoubleMatrix(n, n, mxComplexityReal));
    double *l = linalg::Data(f.L.get());
    const linalg::WorkingMatrix work(f.L.get(), n, n);
    double *lu = work.Data();
    const std::size_t ld = work.Ld();
    const double *a = static_cast<const double *>(A->GetPr());
    ForColumns(n, [&](std::size_t j0, std::size_t j1) {
        for (std::size_t j = j0; j < j1; ++j)
            std::memcpy(lu + j * ld, a + j * n, n * sizeof(double));
    });
    linalg::Scratch<std::int32_t> ipiv(n);
    linalg::Scratch<double> scale(n);
    int parity;
    kernels::LuCrout(n, lu, ld, ipiv.Get(), parity, scale.Get());

    // U takes the upper triangle, zeros below; L the multipliers below the
    // diagonal, with a unit diagonal and zeros above.
    f.U.reset(mxCreateDoubleMatrix(n, n, mxComplexityReal));
    double *u = linalg::Data(f.U.get());
    ForColumns(n, [&](std::size_t j0, std::size_t j1) {
        for (std::size_t j = j0; j < j1; ++j) {
            std::memcpy(u + j * n, lu + j * ld, (j + 1) * sizeof(double));
            std::memset(u + j * n + j + 1, 0, (n - j - 1) * sizeof(double));
            if (lu != l) {
                std::memcpy(l + j * n + j + 1, lu + j * ld + j + 1, (n - j - 1) * sizeof(double));
            }
            std::memset(l + j * n, 0, j * sizeof(double));
            l[j + j * n] = 1.0;
        }
    });
    kernels::PivotsToPermutation(n, ipiv.Get(), f.perm.Get());
}

}  // namespace

void Lu(CMatrix *&L, CMatrix *&U, CMatrix *&P, const CMatrix *A) {
    L = nullptr;
    U = nullptr;
    P = nullptr;
    if (!linalg::IsRealDouble(A)) return linalg::LuClasses(L, U, &P, A);
    const unsigned int n = RequireSquareMatrix(A);

    Factors f(n);
    ArrayHolder p;
    if (n == 0) {
        f.L.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        f.U.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        p.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
    } else {
        Factorise(A, n, f);
        p.reset(mxCreateDoubleMatrix(n, n, mxComplexityReal));
        double *pp = linalg::Data(p.get());
        ForColumns(n, [&](std::size_t j0, std::size_t j1) {
            std::memset(pp + j0 * n, 0, (j1 - j0) * n * sizeof(double));
        });
        for (std::size_t i = 0; i < n; ++i) pp[i + f.perm.Get()[i] * std::size_t{n}] = 1.0;
    }
    L = f.L.release();
    U = f.U.release();
    P = p.release();
}

void Lu(CMatrix *&L, CMatrix *&U, const CMatrix *A) {
    L = nullptr;
    U = nullptr;
    if (!linalg::IsRealDouble(A)) return linalg::LuClasses(L, U, nullptr, A);
    const unsigned int n = RequireSquareMatrix(A);

    Factors f(n);
    if (n == 0) {
        f.L.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        f.U.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
    } else {
        Factorise(A, n, f);
        // L := P'*L, so that A = L*U.
        linalg::Scratch<unsigned char> moved(n);
        linalg::Scratch<double> row(n);
        kernels::MoveRows(n, n, linalg::Data(f.L.get()), n, f.perm.Get(), moved.Get(), row.Get());
    }
    L = f.L.release();
    U = f.U.release();
}

double Det(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    if (!linalg::IsRealDouble(A)) {
        // A complex determinant has no double value; DetArray returns it.
        if (A->IsComplex())
            throw CFunctionErrorException(
                L"Det: the determinant of a complex matrix is complex; use DetArray");
        const ArrayHolder D(linalg::DeterminantClasses(A));
        if (D->GetClassID() == mxClassSingle) return *static_cast<const float *>(D->GetPr());
        return *static_cast<const double *>(D->GetPr());
    }
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    if (m == 0 && n == 0) return 1.0;
    if (m != n) throw CMatrixMustBeSquareException();

    const std::size_t ld = kernels::SpreadLeadingDimension(n);
    linalg::Scratch<double> lu(ld * n);
    linalg::CopyMatrix(lu.Get(), ld, linalg::Data(A), n, n, n);
    linalg::Scratch<std::int32_t> ipiv(n);
    linalg::Scratch<double> scale(n);
    int parity;
    kernels::LuCrout(n, lu.Get(), ld, ipiv.Get(), parity, scale.Get(),
                     kernels::KernelPath::kFastest, kernels::LuWanted::kDiagonal);

    double det = 1.0;
    for (std::size_t i = 0; i < n; ++i) det = det * lu.Get()[i + i * ld];
    return parity < 0 ? -det : det;
}

CMatrix *DetArray(const CMatrix *A) {
    if (linalg::IsRealDouble(A)) return Scalar(Det(A));
    return linalg::DeterminantClasses(A);
}

}  // namespace matrix
}  // namespace kiv
