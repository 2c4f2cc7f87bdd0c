// src/linalg/inverse.cpp: the inverse through the square solve and the
// pseudo-inverse through the singular value decomposition.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/array_holder.h"
#include "linalg/class_operands.h"
#include "linalg/linalg_common.h"
#include "linalg/typed_factor.h"

namespace kiv {
namespace matrix {

CMatrix *Inv(const CMatrix *A) {
    double rcond;
    return Inv(A, rcond);
}

CMatrix *Inv(const CMatrix *A, double &rcond) {
    linalg::RequireTwoDimensions(A);
    linalg::RequireFloatingClass(A, L"Inv");
    const unsigned int n = linalg::Rows(A);
    if (n != linalg::Columns(A)) throw CMatrixMustBeSquareException();
    const ArrayHolder identity(Eye(n));
    double estimate;
    CMatrix *X = Mldivide(A, identity.get(), estimate);
    // One element: |a| * |1/a| is 1, or 0 for a zero a.
    if (n == 1 && linalg::IsRealDouble(A)) {
        const double a = linalg::Data(A)[0];
        estimate = std::isnan(a) ? a : a == 0.0 ? 0.0 : 1.0;
    } else if (n == 1) {
        const ArrayHolder a(Cast(A, mxClassDouble));
        const double re = linalg::Data(a.get())[0];
        const double im = a->GetPi() != nullptr ? static_cast<const double *>(a->GetPi())[0] : 0.0;
        estimate = std::isnan(re) || std::isnan(im) ? mxGetNaN()
                   : re == 0.0 && im == 0.0         ? 0.0
                                                    : 1.0;
    }
    rcond = estimate;
    return X;
}

CMatrix *Pinv(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    if (linalg::IsTypedOperand(A)) return linalg::PinvTyped(A);
    linalg::RequireRealDouble(A);
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    if (A->GetNoElems() == 0) return Zeros(n, m);

    CMatrix *u = nullptr;
    CMatrix *s = nullptr;
    CMatrix *v = nullptr;
    Svd(u, s, v, A, true);
    const ArrayHolder U(u);
    const ArrayHolder S(s);
    const ArrayHolder V(v);
    const std::size_t k = std::min(m, n);
    const double *sv = linalg::Data(S.get());
    // Rank's tolerance: max(m, n)*s(0) first, then times eps; the values
    // counted are Rank's, the leading ones strictly above it (a NaN neither
    // counts nor ends the count).
    const double tol = mxGetEps() * (static_cast<double>(std::max(m, n)) * sv[0]);
    linalg::Scratch<std::size_t> kept(k);
    std::size_t r = 0;
    for (std::size_t i = 0; i < k; ++i) {
        const double value = sv[i * k + i];
        if (value > tol) {
            kept.Get()[r++] = i;
        } else if (value <= tol) {
            break;
        }
    }
    if (r == 0) return Zeros(n, m);

    // W = V(:, kept) with each column divided by its singular value, and
    // Ut = U(:, kept)'; the result is W*Ut by the matrix product.
    const ArrayHolder W(mxCreateDoubleMatrix(n, static_cast<unsigned int>(r), mxComplexityReal));
    const ArrayHolder Ut(mxCreateDoubleMatrix(static_cast<unsigned int>(r), m, mxComplexityReal));
    const double *uv = linalg::Data(U.get());
    const double *vv = linalg::Data(V.get());
    double *w = linalg::Data(W.get());
    double *ut = linalg::Data(Ut.get());
    for (std::size_t c = 0; c < r; ++c) {
        const std::size_t i = kept.Get()[c];
        const double value = sv[i * k + i];
        for (std::size_t row = 0; row < n; ++row) w[c * n + row] = vv[i * n + row] / value;
        for (std::size_t col = 0; col < m; ++col) ut[col * r + c] = uv[i * m + col];
    }
    return Mtimes(W.get(), Ut.get());
}

}  // namespace matrix
}  // namespace kiv
