// src/linalg/lu.cpp: the LU factorisation in both forms, and the determinant.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/shape.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/array_holder.h"
#include "kernels/lu_kernel.h"
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

void Factorise(const CMatrix *A, unsigned int n, Factors &f) {
    f.L.reset(A->CreateDuplicateArray());
    // L holds computed values, never a logical mask.
    f.L->ClearLogical();
    linalg::Scratch<std::int32_t> ipiv(n);
    linalg::Scratch<double> scale(n);
    int parity;
    double *l = linalg::Data(f.L.get());
    kernels::LuCrout(n, l, n, ipiv.Get(), parity, scale.Get());

    f.U.reset(Triu(f.L.get(), 0));

    // Keep the multipliers below the diagonal; unit diagonal, zeros above.
    for (std::size_t j = 0; j < n; ++j) {
        std::memset(l + j * n, 0, j * sizeof(double));
        l[j + j * n] = 1.0;
    }
    kernels::PivotsToPermutation(n, ipiv.Get(), f.perm.Get());
}

}  // namespace

void Lu(CMatrix *&L, CMatrix *&U, CMatrix *&P, const CMatrix *A) {
    L = nullptr;
    U = nullptr;
    P = nullptr;
    const unsigned int n = RequireSquareMatrix(A);

    Factors f(n);
    ArrayHolder p;
    if (n == 0) {
        f.L.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        f.U.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
        p.reset(mxCreateDoubleMatrix(0, 0, mxComplexityReal));
    } else {
        Factorise(A, n, f);
        p.reset(Zeros(n, n));
        double *pp = linalg::Data(p.get());
        for (std::size_t i = 0; i < n; ++i) pp[i + f.perm.Get()[i] * std::size_t{n}] = 1.0;
    }
    L = f.L.release();
    U = f.U.release();
    P = p.release();
}

void Lu(CMatrix *&L, CMatrix *&U, const CMatrix *A) {
    L = nullptr;
    U = nullptr;
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
    // The imaginary part, if any, is not looked at.
    if (!A->IsDouble()) throw CNotImplementedException();
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    if (m == 0 && n == 0) return 1.0;
    if (m != n) throw CMatrixMustBeSquareException();

    linalg::Scratch<double> lu(std::size_t{n} * n);
    std::memcpy(lu.Get(), A->GetPr(), std::size_t{n} * n * sizeof(double));
    linalg::Scratch<std::int32_t> ipiv(n);
    linalg::Scratch<double> scale(n);
    int parity;
    kernels::LuCrout(n, lu.Get(), n, ipiv.Get(), parity, scale.Get());

    double det = 1.0;
    for (std::size_t i = 0; i < n; ++i) det = det * lu.Get()[i + i * n];
    return parity < 0 ? -det : det;
}

}  // namespace matrix
}  // namespace kiv
