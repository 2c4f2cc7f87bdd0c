// src/linalg/dense.cpp: the working matrices of the matrix functions.
#include "linalg/dense.h"

#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <string>
#include <utility>

#include "core/array_holder.h"
#include "kernels/typed_kernels.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {
namespace linalg {

namespace {

double Modulus(double x) { return std::fabs(x); }
double Modulus(const Complex &x) { return std::abs(x); }

template <class R>
void LoadParts(const CMatrix *A, Dense<Complex> &out) {
    const R *re = static_cast<const R *>(A->GetPr());
    const R *im = static_cast<const R *>(A->GetPi());
    for (std::size_t i = 0; i < out.a.size(); ++i)
        out.a[i] = Complex(static_cast<double>(re[i]), im ? static_cast<double>(im[i]) : 0.0);
}

}  // namespace

void RequireFloatMatrix(const CMatrix *A, const wchar_t *fn, bool square) {
    if (A->GetNoDimensions() > 2)
        throw CFunctionErrorException(
            (std::wstring(fn) + L": the operand must have two dimensions").c_str());
    const mxClassID id = A->GetClassID();
    if ((id != mxClassDouble && id != mxClassSingle) || A->IsLogical())
        throw CFunctionErrorException(
            (std::wstring(fn) + L": the operand must be double or single").c_str());
    if (square && Rows(A) != Columns(A))
        throw CFunctionErrorException((std::wstring(fn) + L": the matrix must be square").c_str());
}

Dense<Complex> LoadComplex(const CMatrix *A) {
    Dense<Complex> out(Rows(A), Columns(A));
    if (A->GetClassID() == mxClassSingle) {
        LoadParts<float>(A, out);
    } else {
        LoadParts<double>(A, out);
    }
    return out;
}

Dense<double> LoadReal(const CMatrix *A) {
    Dense<double> out(Rows(A), Columns(A));
    if (A->GetClassID() == mxClassSingle) {
        const float *re = static_cast<const float *>(A->GetPr());
        for (std::size_t i = 0; i < out.a.size(); ++i) out.a[i] = re[i];
    } else {
        const double *re = static_cast<const double *>(A->GetPr());
        for (std::size_t i = 0; i < out.a.size(); ++i) out.a[i] = re[i];
    }
    return out;
}

CMatrix *StoreComplex(const Dense<Complex> &x, mxClassID id, bool real_if_zero) {
    bool complex = !real_if_zero;
    for (std::size_t i = 0; i < x.a.size() && !complex; ++i) complex = x.a[i].imag() != 0.0;
    const unsigned int dims[2] = {static_cast<unsigned int>(x.m), static_cast<unsigned int>(x.n)};
    ArrayHolder out(
        mxCreateNumericArray(2, dims, id, complex ? mxComplexityComplex : mxComplexityReal));
    for (std::size_t i = 0; i < x.a.size(); ++i) {
        if (id == mxClassSingle) {
            static_cast<float *>(out->GetPr())[i] = static_cast<float>(x.a[i].real());
            if (complex) static_cast<float *>(out->GetPi())[i] = static_cast<float>(x.a[i].imag());
        } else {
            static_cast<double *>(out->GetPr())[i] = x.a[i].real();
            if (complex) static_cast<double *>(out->GetPi())[i] = x.a[i].imag();
        }
    }
    return out.release();
}

CMatrix *StoreReal(const Dense<double> &x, mxClassID id) {
    const unsigned int dims[2] = {static_cast<unsigned int>(x.m), static_cast<unsigned int>(x.n)};
    ArrayHolder out(mxCreateNumericArray(2, dims, id, mxComplexityReal));
    for (std::size_t i = 0; i < x.a.size(); ++i) {
        if (id == mxClassSingle) {
            static_cast<float *>(out->GetPr())[i] = static_cast<float>(x.a[i]);
        } else {
            static_cast<double *>(out->GetPr())[i] = x.a[i];
        }
    }
    return out.release();
}

template <class T>
Dense<T> Multiply(const Dense<T> &A, const Dense<T> &B) {
    Dense<T> C(A.m, B.n);
    for (std::size_t j = 0; j < B.n; ++j)
        for (std::size_t k = 0; k < A.n; ++k) {
            const T b = B(k, j);
            if (b == T(0)) continue;
            for (std::size_t i = 0; i < A.m; ++i) C(i, j) += A(i, k) * b;
        }
    return C;
}

template <class T>
Dense<T> Adjoint(const Dense<T> &A) {
    Dense<T> C(A.n, A.m);
    for (std::size_t j = 0; j < A.n; ++j)
        for (std::size_t i = 0; i < A.m; ++i) {
            if constexpr (std::is_same<T, Complex>::value) {
                C(j, i) = std::conj(A(i, j));
            } else {
                C(j, i) = A(i, j);
            }
        }
    return C;
}

template <class T>
double Norm1(const Dense<T> &A) {
    double best = 0.0;
    for (std::size_t j = 0; j < A.n; ++j) {
        double s = 0.0;
        for (std::size_t i = 0; i < A.m; ++i) s += Modulus(A(i, j));
        if (s > best || std::isnan(s)) best = s;
    }
    return best;
}

template <class T>
Dense<T> Solve(Dense<T> A, Dense<T> B) {
    const std::size_t n = A.m;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < n; ++i)
            if (Modulus(A(i, k)) > Modulus(A(p, k))) p = i;
        if (p != k) {
            for (std::size_t j = 0; j < n; ++j) std::swap(A(k, j), A(p, j));
            for (std::size_t j = 0; j < B.n; ++j) std::swap(B(k, j), B(p, j));
        }
        const T pivot = A(k, k);
        for (std::size_t i = k + 1; i < n; ++i) {
            const T l = A(i, k) / pivot;
            if (l == T(0)) continue;
            for (std::size_t j = k + 1; j < n; ++j) A(i, j) -= l * A(k, j);
            for (std::size_t j = 0; j < B.n; ++j) B(i, j) -= l * B(k, j);
        }
    }
    for (std::size_t j = 0; j < B.n; ++j)
        for (std::size_t k = n; k-- > 0;) {
            B(k, j) /= A(k, k);
            for (std::size_t i = 0; i < k; ++i) B(i, j) -= A(i, k) * B(k, j);
        }
    return B;
}

template Dense<double> Multiply(const Dense<double> &, const Dense<double> &);
template Dense<Complex> Multiply(const Dense<Complex> &, const Dense<Complex> &);
template Dense<double> Adjoint(const Dense<double> &);
template Dense<Complex> Adjoint(const Dense<Complex> &);
template double Norm1(const Dense<double> &);
template double Norm1(const Dense<Complex> &);
template Dense<double> Solve(Dense<double>, Dense<double>);
template Dense<Complex> Solve(Dense<Complex>, Dense<Complex>);

void HessenbergForm(const Dense<Complex> &A, Dense<Complex> &H, Dense<Complex> &P) {
    const std::size_t n = A.m;
    H = A;
    P = Dense<Complex>::Identity(n);
    if (n < 3) return;
    // The back transformation takes n-1 reflectors; the last is the identity.
    std::vector<Complex> tau(n - 1, Complex(0.0)), work(n);
    kernels::HessenbergReduceTyped(n, H.Data(), n, tau.data(), work.data());
    kernels::HermitianBackTransform(n, H.Data(), n, tau.data(), n, P.Data(), n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j + 2; i < n; ++i) H(i, j) = 0.0;
}

void ComplexSchurForm(const Dense<Complex> &A, Dense<Complex> &T, Dense<Complex> &U,
                      const wchar_t *fn) {
    const std::size_t n = A.m;
    HessenbergForm(A, T, U);
    if (n == 0) return;
    std::vector<Complex> w(n);
    if (kernels::ComplexSchur(n, T.Data(), n, w.data(), U.Data(), n) != 0)
        throw CFunctionErrorException(
            (std::wstring(fn) + L": the QR algorithm did not converge").c_str());
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j + 1; i < n; ++i) T(i, j) = 0.0;
}

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv
