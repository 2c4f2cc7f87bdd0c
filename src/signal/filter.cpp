// src/signal/filter.cpp: Filter (direct form II transposed), Conv2 and
// Filter2.
#include <kiv/exception.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/fft.h>
#include <matrix/mx.h>

#include <algorithm>
#include <complex>
#include <new>
#include <stdexcept>
#include <vector>

#include "core/array_holder.h"

namespace kiv {
namespace matrix {

namespace {

using Zd = std::complex<double>;

void RequireNumeric(const CMatrix *X) {
    if (X->IsCell() || X->IsStruct()) throw CNotImplementedException();
}

// Runs `body`, its failures to obtain memory for std::vector working
// space thrown as the library's kiv::CExhaustedMemoryException.
template <class Body>
CMatrix *MemoryGuarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    } catch (const std::length_error &) {
        throw kiv::CExhaustedMemoryException();
    }
}

// Throws kiv::CExhaustedMemoryException for a result beyond 32-bit element
// counts, before any work space is sized for it.
void RequireResultSize(std::size_t rows, std::size_t cols) {
    if (rows != 0 && cols > 0xFFFFFFFFu / rows) throw kiv::CExhaustedMemoryException();
}

// X's elements as complex doubles (converted with Cast; exact for every
// class but 64-bit integers beyond 2^53).
std::vector<Zd> Values(const CMatrix *X) {
    ArrayHolder D(X->IsDouble() ? X->CreateShareArray() : Cast(X, mxClassDouble));
    const double *pr = static_cast<const double *>(D->GetPr());
    const double *pi = static_cast<const double *>(D->GetPi());
    std::vector<Zd> v(D->GetNoElems());
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = Zd(pr[k], pi ? pi[k] : 0.0);
    return v;
}

// Y's storage from `values`: real parts, and imaginary parts when Y is
// complex; then converted to single when `single`.
CMatrix *Store(ArrayHolder Y, const std::vector<Zd> &values, bool single) {
    double *pr = static_cast<double *>(Y->GetPr());
    double *pi = static_cast<double *>(Y->GetPi());
    for (std::size_t k = 0; k < values.size(); ++k) {
        pr[k] = values[k].real();
        if (pi) pi[k] = values[k].imag();
    }
    if (single) return Cast(Y.get(), mxClassSingle);
    return Y.release();
}

bool IsVectorOrScalar(const CMatrix *X) {
    return X->GetNoDimensions() == 2 && X->GetNoElems() > 0 &&
           (X->GetDimensions()[0] == 1 || X->GetDimensions()[1] == 1);
}

// The direct form II transposed recurrence of one line, S double or Zd:
// b and a normalised and of length L, z the L states (z[L-1] stays 0).
template <typename S>
void FilterLine(const S *b, const S *a, std::size_t L, S *z, const S *x, S *y, std::size_t n,
                std::size_t stride) {
    for (std::size_t k = 0; k < n; ++k) {
        const S xk = x[k * stride];
        const S yk = L > 1 ? b[0] * xk + z[0] : b[0] * xk;
        for (std::size_t i = 0; i + 1 < L; ++i) z[i] = b[i + 1] * xk + z[i + 1] - a[i + 1] * yk;
        y[k * stride] = yk;
    }
}

template <typename S>
S Cast_(const Zd &c);
template <>
double Cast_<double>(const Zd &c) {
    return c.real();
}
template <>
Zd Cast_<Zd>(const Zd &c) {
    return c;
}

template <typename S>
void FilterAll(std::vector<Zd> b, std::vector<Zd> a, std::vector<Zd> &zi, const std::vector<Zd> &x,
               std::vector<Zd> &y, std::size_t before, std::size_t n, std::size_t after) {
    const std::size_t L = std::max(a.size(), b.size());
    b.resize(L, 0.0);
    a.resize(L, 0.0);
    std::vector<S> bs(L), as(L), xs(x.size()), ys(x.size()), z(L);
    const Zd a0 = a[0];
    for (std::size_t i = 0; i < L; ++i) {
        bs[i] = Cast_<S>(b[i] / a0);
        as[i] = Cast_<S>(a[i] / a0);
    }
    for (std::size_t k = 0; k < x.size(); ++k) xs[k] = Cast_<S>(x[k]);
    for (std::size_t line = 0; line < before * after; ++line) {
        const std::size_t p = line % before, o = line / before, start = p + before * n * o;
        for (std::size_t i = 0; i + 1 < L; ++i) z[i] = Cast_<S>(zi[line * (L - 1) + i]);
        z[L - 1] = S(0);
        FilterLine<S>(bs.data(), as.data(), L, z.data(), xs.data() + start, ys.data() + start, n,
                      before);
        for (std::size_t i = 0; i + 1 < L; ++i) zi[line * (L - 1) + i] = z[i];
    }
    for (std::size_t k = 0; k < x.size(); ++k) y[k] = ys[k];
}

// The full two-dimensional convolution of A (ma x na) and B (mb x nb):
// C(k+p, l+q) += A(k,l)*B(p,q), A's elements taken in column-major order.
template <typename S>
void ConvolveFull(const std::vector<S> &A, std::size_t ma, std::size_t na, const std::vector<S> &B,
                  std::size_t mb, std::size_t nb, std::vector<S> &C) {
    const std::size_t mc = ma + mb - 1;
    C.assign(mc * (na + nb - 1), S(0));
    for (std::size_t l = 0; l < na; ++l)
        for (std::size_t k = 0; k < ma; ++k) {
            const S a = A[k + ma * l];
            for (std::size_t q = 0; q < nb; ++q) {
                S *c = C.data() + k + mc * (l + q);
                const S *b = B.data() + mb * q;
                for (std::size_t p = 0; p < mb; ++p) c[p] += a * b[p];
            }
        }
}

struct Region {
    std::size_t rows, cols, row0, col0;
};

// The part of the full convolution a shape keeps. Full lengths count an
// empty operand dimension as 0.
Region ShapeRegion(std::size_t ma, std::size_t na, std::size_t mb, std::size_t nb,
                   ConvShape shape) {
    const auto full = [](std::size_t x, std::size_t y) { return x + y > 0 ? x + y - 1 : 0; };
    const auto valid = [](std::size_t x, std::size_t y) {
        const std::size_t cut = y > 0 ? y - 1 : 0;
        return x > cut ? x - cut : 0;
    };
    switch (shape) {
        case ConvShape::kFull: return {full(ma, mb), full(na, nb), 0, 0};
        case ConvShape::kSame: return {ma, na, mb / 2, nb / 2};
        default: return {valid(ma, mb), valid(na, nb), mb > 0 ? mb - 1 : 0, nb > 0 ? nb - 1 : 0};
    }
}

struct Operand {
    std::vector<Zd> values;
    std::size_t m, n;
};

Operand Matrix(const CMatrix *X) {
    RequireNumeric(X);
    if (X->GetNoDimensions() > 2)
        throw CFunctionErrorException(L"Conv2: the operands must be matrices");
    return {Values(X), X->GetDimensions()[0], X->GetDimensions()[1]};
}

// The region of the full convolution of A and B: complex when either is.
std::vector<Zd> Convolve(const Operand &A, const Operand &B, bool complex, const Region &r) {
    RequireResultSize(r.rows, r.cols);
    std::vector<Zd> out(r.rows * r.cols, 0.0);
    if (A.values.empty() || B.values.empty()) return out;
    RequireResultSize(A.m + B.m - 1, A.n + B.n - 1);
    const std::size_t mc = A.m + B.m - 1;
    std::vector<Zd> full;
    if (complex) {
        ConvolveFull(A.values, A.m, A.n, B.values, B.m, B.n, full);
    } else {
        std::vector<double> a(A.values.size()), b(B.values.size()), c;
        for (std::size_t k = 0; k < a.size(); ++k) a[k] = A.values[k].real();
        for (std::size_t k = 0; k < b.size(); ++k) b[k] = B.values[k].real();
        ConvolveFull(a, A.m, A.n, b, B.m, B.n, c);
        full.assign(c.begin(), c.end());
    }
    for (std::size_t j = 0; j < r.cols; ++j)
        for (std::size_t i = 0; i < r.rows; ++i)
            out[i + r.rows * j] = full[(r.row0 + i) + mc * (r.col0 + j)];
    return out;
}

CMatrix *Result(std::size_t rows, std::size_t cols, bool complex, bool single,
                const std::vector<Zd> &values) {
    ArrayHolder Y(mxCreateDoubleMatrix(static_cast<unsigned int>(rows),
                                       static_cast<unsigned int>(cols),
                                       complex ? mxComplexityComplex : mxComplexityReal));
    return Store(std::move(Y), values, single);
}

CMatrix *FilterBody(const CMatrix *b, const CMatrix *a, const CMatrix *x, const CMatrix *zi,
                    unsigned int dim, CMatrix **zf) {
    RequireNumeric(b);
    RequireNumeric(a);
    RequireNumeric(x);
    if (zi) RequireNumeric(zi);
    if (!IsVectorOrScalar(b) || !IsVectorOrScalar(a))
        throw CFunctionErrorException(L"Filter: the coefficients must be vectors");
    const std::vector<Zd> bv = Values(b), av = Values(a);
    if (av[0] == 0.0)
        throw CFunctionErrorException(L"Filter: the first denominator coefficient must be nonzero");
    const std::size_t L = std::max(av.size(), bv.size());

    // x as before x n x after around dim.
    const unsigned int nd = x->GetNoDimensions();
    const unsigned int *dims = x->GetDimensions();
    if (dim == 0) {
        dim = 1;
        for (unsigned int d = 0; d < nd; ++d)
            if (dims[d] != 1) {
                dim = d + 1;
                break;
            }
    }
    std::size_t before = 1, n = 1, after = 1;
    for (unsigned int d = 0; d < nd; ++d) {
        if (d + 1 < dim) before *= dims[d];
        if (d + 1 == dim) n = dims[d];
        if (d + 1 > dim) after *= dims[d];
    }
    const std::size_t lines = before * after;
    std::vector<Zd> states((L - 1) * lines, 0.0);
    if (zi && zi->GetNoElems() > 0) {
        const bool fits =
            zi->GetNoElems() == states.size() && (lines == 1 || (zi->GetDimensions()[0] == L - 1));
        if (!fits)
            throw CFunctionErrorException(
                L"Filter: the initial states must have max(numel(a), numel(b)) - 1 rows and a "
                L"column per vector");
        states = Values(zi);
    }
    const bool complex =
        b->IsComplex() || a->IsComplex() || x->IsComplex() || (zi && zi->IsComplex());
    const bool single = b->IsSingle() || a->IsSingle() || x->IsSingle() || (zi && zi->IsSingle());
    const std::vector<Zd> xv = Values(x);
    std::vector<Zd> yv(xv.size());
    if (complex)
        FilterAll<Zd>(bv, av, states, xv, yv, before, n, after);
    else
        FilterAll<double>(bv, av, states, xv, yv, before, n, after);

    ArrayHolder Y(
        Store(ArrayHolder(mxCreateNumericArray(nd, dims, mxClassDouble,
                                               complex ? mxComplexityComplex : mxComplexityReal)),
              yv, single));
    if (zf) *zf = Result(L - 1, lines, complex, single, states);
    return Y.release();
}

}  // namespace

CMatrix *Filter(const CMatrix *b, const CMatrix *a, const CMatrix *x, const CMatrix *zi,
                unsigned int dim, CMatrix **zf) {
    return MemoryGuarded([&] { return FilterBody(b, a, x, zi, dim, zf); });
}

namespace {

CMatrix *Conv2Body(const CMatrix *A, const CMatrix *B, ConvShape shape) {
    const Operand a = Matrix(A), b = Matrix(B);
    const bool complex = A->IsComplex() || B->IsComplex();
    const bool single = A->IsSingle() || B->IsSingle();
    const Region r = ShapeRegion(a.m, a.n, b.m, b.n, shape);
    return Result(r.rows, r.cols, complex, single, Convolve(a, b, complex, r));
}

CMatrix *SeparableBody(const CMatrix *u, const CMatrix *v, const CMatrix *A, ConvShape shape) {
    RequireNumeric(u);
    RequireNumeric(v);
    const auto isVector = [](const CMatrix *w) {
        return w->GetNoDimensions() == 2 &&
               (w->GetDimensions()[0] <= 1 || w->GetDimensions()[1] <= 1);
    };
    if (!isVector(u) || !isVector(v))
        throw CFunctionErrorException(L"Conv2: u and v must be vectors");
    const Operand a = Matrix(A);
    const Operand cu{Values(u), u->GetNoElems(), 1}, rv{Values(v), 1, v->GetNoElems()};
    const bool complex = A->IsComplex() || u->IsComplex() || v->IsComplex();
    const bool single = A->IsSingle() || u->IsSingle() || v->IsSingle();
    // Columns with u, then rows with v, each in full; then the region (all
    // zeros when an operand is empty).
    const Region columns = ShapeRegion(a.m, a.n, cu.m, 1, ConvShape::kFull);
    const Operand t{Convolve(a, cu, complex, columns), columns.rows, columns.cols};
    const Region rows = ShapeRegion(t.m, t.n, 1, rv.n, ConvShape::kFull);
    const Operand full{Convolve(t, rv, complex, rows), rows.rows, rows.cols};
    const Region r = ShapeRegion(a.m, a.n, cu.m, rv.n, shape);
    std::vector<Zd> out(r.rows * r.cols, 0.0);
    if (!a.values.empty() && !cu.values.empty() && !rv.values.empty())
        for (std::size_t j = 0; j < r.cols; ++j)
            for (std::size_t i = 0; i < r.rows; ++i)
                out[i + r.rows * j] = full.values[(r.row0 + i) + full.m * (r.col0 + j)];
    return Result(r.rows, r.cols, complex, single, out);
}

}  // namespace

CMatrix *Conv2(const CMatrix *A, const CMatrix *B, ConvShape shape) {
    return MemoryGuarded([&] { return Conv2Body(A, B, shape); });
}

CMatrix *Conv2(const CMatrix *u, const CMatrix *v, const CMatrix *A, ConvShape shape) {
    return MemoryGuarded([&] { return SeparableBody(u, v, A, shape); });
}

CMatrix *Filter2(const CMatrix *h, const CMatrix *X, ConvShape shape) {
    const Operand hm = Matrix(h);
    RequireNumeric(X);
    // h turned by 180 degrees.
    ArrayHolder R(mxCreateDoubleMatrix(static_cast<unsigned int>(hm.m),
                                       static_cast<unsigned int>(hm.n),
                                       h->IsComplex() ? mxComplexityComplex : mxComplexityReal));
    std::vector<Zd> turned(hm.values.rbegin(), hm.values.rend());
    ArrayHolder T(Store(std::move(R), turned, h->IsSingle()));
    return Conv2(X, T.get(), shape);
}

Array Filter(const Array &b, const Array &a, const Array &x) {
    return Array::Adopt(Filter(b.get(), a.get(), x.get()));
}
Array Conv2(const Array &A, const Array &B, ConvShape shape) {
    return Array::Adopt(Conv2(A.get(), B.get(), shape));
}

}  // namespace matrix
}  // namespace kiv
