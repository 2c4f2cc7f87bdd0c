// src/linalg/dense.h: small column-major working matrices for the matrix
// functions and the solvers built on the factorisations, in double or
// complex double, with the copies in from and out to arrays.
#ifndef MATRIX_SRC_LINALG_DENSE_H
#define MATRIX_SRC_LINALG_DENSE_H

#include <matrix/cmatrix.h>

#include <complex>
#include <cstddef>
#include <vector>

namespace kiv {
namespace matrix {
namespace linalg {

using Complex = std::complex<double>;

/// An m x n column-major matrix of T (double or Complex).
template <class T>
struct Dense {
    std::size_t m = 0;
    std::size_t n = 0;
    std::vector<T> a;

    Dense() = default;
    Dense(std::size_t rows, std::size_t cols) : m(rows), n(cols), a(rows * cols) {}
    T &operator()(std::size_t i, std::size_t j) { return a[i + j * m]; }
    const T &operator()(std::size_t i, std::size_t j) const { return a[i + j * m]; }
    T *Data() { return a.data(); }
    const T *Data() const { return a.data(); }
    static Dense Identity(std::size_t order) {
        Dense d(order, order);
        for (std::size_t i = 0; i < order; ++i) d(i, i) = T(1);
        return d;
    }
};

/// The operand checks the matrix functions share, in this order, each a
/// CFunctionErrorException naming fn: "<fn>: the operand must have two
/// dimensions", "<fn>: the operand must be double or single" (logical
/// and char too), and with square "<fn>: the matrix must be square".
void RequireFloatMatrix(const CMatrix *A, const wchar_t *fn, bool square);

/// A's elements in double (single widened), imaginary parts 0 for a real A.
Dense<Complex> LoadComplex(const CMatrix *A);
/// A's real parts in double.
Dense<double> LoadReal(const CMatrix *A);

/// A new array of class id (double or single, the values rounded) holding
/// x: real when x has no imaginary part other than zero and real_if_zero
/// is set, else complex.
CMatrix *StoreComplex(const Dense<Complex> &x, mxClassID id, bool real_if_zero = true);
CMatrix *StoreReal(const Dense<double> &x, mxClassID id);

/// C = A*B, each element the in-order sum over k of A(i,k)*B(k,j).
template <class T>
Dense<T> Multiply(const Dense<T> &A, const Dense<T> &B);
/// The conjugate transpose.
template <class T>
Dense<T> Adjoint(const Dense<T> &A);
/// The largest column sum of moduli.
template <class T>
double Norm1(const Dense<T> &A);
/// X = A\B for square A by Gaussian elimination with partial pivoting (a
/// zero pivot left as it is: the infinities of that arithmetic follow).
template <class T>
Dense<T> Solve(Dense<T> A, Dense<T> B);

/// The complex Schur form A = U*T*U' (T upper triangular, U unitary) by
/// kernels::HessenbergReduceTyped and ComplexSchur. Throws
/// CFunctionErrorException "<fn>: the QR algorithm did not converge" when
/// an eigenvalue was not found.
void ComplexSchurForm(const Dense<Complex> &A, Dense<Complex> &T, Dense<Complex> &U,
                      const wchar_t *fn);
/// The Hessenberg form A = P*H*P' by reflectors (HessenbergReduceTyped);
/// a real A gives real reflectors, so imaginary parts stay 0.
void HessenbergForm(const Dense<Complex> &A, Dense<Complex> &H, Dense<Complex> &P);

/// Mpower's forms beyond a real double matrix to a whole power: other
/// classes (integer ones refused as Mtimes refuses them), fractional or
/// complex exponents and a scalar raised to a matrix, the last two as
/// V*diag(f(w))*inv(V) from the eigenvectors of the Schur form; a real
/// result when the operands are real and the principal power is.
CMatrix *MpowerGeneral(const CMatrix *A, const CMatrix *B);

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_LINALG_DENSE_H
