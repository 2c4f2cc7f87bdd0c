// src/construct/gallery.cpp: the classic test matrices, random integers and
// permutations, logarithmic rows.
#include <matrix/gallery.h>

#include <kiv/exception.h>
#include <kiv/random.h>
#include <matrix/concat.h>
#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/rearrange.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/array_holder.h"

namespace kiv {
namespace matrix {

namespace {

constexpr double kPi = 3.14159265358979323846;

// An m x n real double array of zeros and its data.
CMatrix *ZeroMatrix(unsigned int m, unsigned int n, double *&data) {
    if (std::uint64_t{m} * n > UINT32_MAX / 8) throw kiv::CExhaustedMemoryException();
    CMatrix *r = Zeros(m, n);
    data = static_cast<double *>(r->GetPr());
    return r;
}

// The elements of a real double array, in column-major order.
std::vector<double> Elements(const CMatrix *a) {
    if (!a->IsDouble() || a->IsComplex() || a->IsLogical()) throw CNotImplementedException();
    const double *p = static_cast<const double *>(a->GetPr());
    return std::vector<double>(p, p + a->GetNoElems());
}

// magic(n) for odd n: M(i, j) = n * mod(i + j - (n+3)/2, n) +
// mod(i + 2j - 2, n) + 1 (1-based i, j).
void OddMagic(unsigned int n, double *m, std::size_t ld) {
    const long long nn = n;
    for (long long j = 1; j <= nn; ++j)
        for (long long i = 1; i <= nn; ++i) {
            const long long a = ((i + j - (nn + 3) / 2) % nn + nn) % nn;
            const long long b = ((i + 2 * j - 2) % nn + nn) % nn;
            m[(i - 1) + (j - 1) * ld] = static_cast<double>(nn * a + b + 1);
        }
}

}  // namespace

CMatrix *Magic(unsigned int n) {
    double *m = nullptr;
    ArrayHolder r(ZeroMatrix(n, n, m));
    if (n == 0) return r.release();
    const std::size_t ld = n;
    if (n % 2 == 1) {
        OddMagic(n, m, ld);
    } else if (n % 4 == 0) {
        // Row-major 1..n^2, complemented where the row and the column lie
        // in the same half of their block of four.
        const double top = double(n) * n + 1;
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < n; ++i) {
                const double v = double(i) * n + double(j) + 1;
                const bool flip = ((i + 1) % 4) / 2 == ((j + 1) % 4) / 2;
                m[i + j * ld] = flip ? top - v : v;
            }
    } else {
        // Quadrants A, A + 2p^2 / A + 3p^2, A + p^2 of A = magic(p), then
        // the exchanges between the upper and lower halves.
        const unsigned int p = n / 2;
        std::vector<double> a(std::size_t{p} * p);
        OddMagic(p, a.data(), p);
        const double q = double(p) * p;
        const double add[2][2] = {{0, 2 * q}, {3 * q, q}};
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < n; ++i)
                m[i + j * ld] = a[(i % p) + (j % p) * p] + add[i / p][j / p];
        if (n > 2) {
            const std::size_t k = (n - 2) / 4;
            std::vector<std::size_t> cols;
            for (std::size_t j = 0; j < k; ++j) cols.push_back(j);
            for (std::size_t j = n - k + 1; j < n; ++j) cols.push_back(j);
            for (std::size_t j : cols)
                for (std::size_t i = 0; i < p; ++i) std::swap(m[i + j * ld], m[i + p + j * ld]);
            for (std::size_t j : {std::size_t{0}, k}) std::swap(m[k + j * ld], m[k + p + j * ld]);
        }
    }
    return r.release();
}

CMatrix *Hilb(unsigned int n) {
    double *h = nullptr;
    ArrayHolder r(ZeroMatrix(n, n, h));
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i) h[i + j * n] = 1.0 / double(i + j + 1);
    return r.release();
}

CMatrix *Invhilb(unsigned int n) {
    double *h = nullptr;
    ArrayHolder r(ZeroMatrix(n, n, h));
    // The closed form of the entries as products of binomials, built
    // factor by factor along each row so every intermediate is whole.
    const double nn = n;
    double p = nn;
    for (std::size_t i = 1; i <= n; ++i) {
        const double di = double(i);
        if (i > 1) p = ((nn - di + 1) * p * (nn + di - 1)) / ((di - 1) * (di - 1));
        double s = p * p;
        h[(i - 1) * (n + 1)] = s / (2 * di - 1);
        for (std::size_t j = i + 1; j <= n; ++j) {
            const double dj = double(j);
            s = -((nn - dj + 1) * s * (nn + dj - 1)) / ((dj - 1) * (dj - 1));
            h[(i - 1) + (j - 1) * n] = s / (di + dj - 1);
            h[(j - 1) + (i - 1) * n] = s / (di + dj - 1);
        }
    }
    return r.release();
}

CMatrix *Vander(const CMatrix *c) {
    if (!c->IsNumeric()) throw CNotImplementedException();
    const unsigned int n = c->GetNoElems();
    if (std::uint64_t{n} * n > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    if (n == 0) return Zeros(0u, 0u);
    // Column n is ones, each column before it c .* the next: Times and then
    // Cat combine the classes as the operators do.
    const unsigned int column[2] = {n, 1};
    ArrayHolder x(c->CreateShareArray());
    x->Reshape(2, column);
    std::vector<ArrayHolder> cols(n);
    cols[n - 1].reset(Ones(n, 1u));
    for (unsigned int j = n - 1; j-- > 0;) cols[j].reset(Times(x.get(), cols[j + 1].get()));
    std::vector<const CMatrix *> raw;
    for (const ArrayHolder &col : cols) raw.push_back(col.get());
    return Cat(2, n, raw.data());
}

namespace {

// The elements of `a` (a numeric class, char or logical) as a 1 x n row
// sharing its data.
ArrayHolder AsRow(const CMatrix *a) {
    if (!a->IsNumeric()) throw CNotImplementedException();
    const unsigned int row[2] = {1, a->GetNoElems()};
    ArrayHolder r(a->CreateShareArray());
    r->Reshape(2, row);
    return r;
}

// The m x n array whose element (i, j) is element Pick(i, j) of [col, row]
// (Cat combining their classes).
template <typename PickFn>
CMatrix *FromColumnAndRow(const CMatrix *col, const CMatrix *row, PickFn pick) {
    const unsigned int m = col->GetNoElems(), n = row->GetNoElems();
    if (std::uint64_t{m} * n > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    ArrayHolder x(Cat(2, col, row));
    Rearrangement plan;
    plan.dims = {m, n};
    plan.source.resize(std::size_t{m} * n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < m; ++i)
            plan.source[i + j * m] = static_cast<unsigned int>(pick(i, j, m));
    return Rearrange(x.get(), plan);
}

}  // namespace

CMatrix *Toeplitz(const CMatrix *c, const CMatrix *r) {
    ArrayHolder col(AsRow(c)), row(AsRow(r ? r : c));
    // One complex argument gives the Hermitian matrix: conj(c) below the
    // diagonal, c(1) on it.
    const bool hermitian = !r && c->IsComplex();
    if (hermitian) col.reset(Conj(col.get()));
    return FromColumnAndRow(col.get(), row.get(),
                            [hermitian](std::size_t i, std::size_t j, std::size_t m) {
                                if (i > j || (i == j && !hermitian)) return i - j;
                                return m + (j - i);
                            });
}

CMatrix *Hankel(const CMatrix *c, const CMatrix *r) {
    ArrayHolder col(AsRow(c));
    ArrayHolder row(r ? AsRow(r) : ArrayHolder(Zeros(1u, c->GetNoElems())));
    return FromColumnAndRow(col.get(), row.get(), [](std::size_t i, std::size_t j, std::size_t m) {
        return i + j < m ? i + j : m + (i + j - m + 1);
    });
}

CMatrix *Pascal(unsigned int n) {
    double *p = nullptr;
    ArrayHolder r(ZeroMatrix(n, n, p));
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i)
            p[i + j * n] = i == 0 || j == 0 ? 1.0 : p[(i - 1) + j * n] + p[i + (j - 1) * n];
    return r.release();
}

CMatrix *Rosser() {
    static const double kRows[8][8] = {
        {611, 196, -192, 407, -8, -52, -49, 29},     {196, 899, 113, -192, -71, -43, -8, -44},
        {-192, 113, 899, 196, 61, 49, 8, 52},        {407, -192, 196, 611, 8, 44, 59, -23},
        {-8, -71, 61, 8, 411, -599, 208, 208},       {-52, -43, 49, 44, -599, 411, 208, 208},
        {-49, -8, 8, 59, 208, 208, 99, -911},        {29, -44, 52, -23, 208, 208, -911, 99}};
    double *a = nullptr;
    ArrayHolder r(ZeroMatrix(8, 8, a));
    for (std::size_t j = 0; j < 8; ++j)
        for (std::size_t i = 0; i < 8; ++i) a[i + 8 * j] = kRows[i][j];
    return r.release();
}

CMatrix *Wilkinson(unsigned int n) {
    double *w = nullptr;
    ArrayHolder r(ZeroMatrix(n, n, w));
    const double m = (double(n) - 1) / 2;
    for (std::size_t i = 0; i < n; ++i) {
        w[i * (n + std::size_t{1})] = std::fabs(double(i) - m);
        if (i + 1 < n) {
            w[(i + 1) + i * std::size_t{n}] = 1.0;
            w[i + (i + 1) * std::size_t{n}] = 1.0;
        }
    }
    return r.release();
}

namespace {

// Compan of a single or complex vector: the first row -p(2:n) ./ p(1) by
// Rdivide in p's class, ones below the diagonal.
CMatrix *CompanOfClass(const CMatrix *p) {
    const std::size_t count = p->GetNoElems();
    const unsigned int n = count < 2 ? 0 : static_cast<unsigned int>(count - 1);
    const unsigned int dims[2] = {n, n};
    const mxComplexity cx = p->IsComplex() ? mxComplexityComplex : mxComplexityReal;
    ArrayHolder r(mxCreateNumericArray(2, dims, p->GetClassID(), cx));
    if (n == 0) return r.release();
    const std::size_t es = mxGetElementSize(p);
    std::memset(r->GetPr(), 0, es * n * n);
    if (r->IsComplex()) std::memset(r->GetPi(), 0, es * n * n);
    const unsigned int one[2] = {1, 1}, row[2] = {1, n};
    ArrayHolder head(mxCreateNumericArray(2, one, p->GetClassID(), cx));
    ArrayHolder tail(mxCreateNumericArray(2, row, p->GetClassID(), cx));
    for (int part = 0; part < (p->IsComplex() ? 2 : 1); ++part) {
        const char *src = static_cast<const char *>(part ? p->GetPi() : p->GetPr());
        std::memcpy(part ? head->GetPi() : head->GetPr(), src, es);
        std::memcpy(part ? tail->GetPi() : tail->GetPr(), src + es, es * n);
    }
    ArrayHolder negated(Uminus(tail.get()));
    ArrayHolder first(Rdivide(negated.get(), head.get()));
    const bool single = p->GetClassID() == mxClassSingle;
    for (int part = 0; part < (first->IsComplex() ? 2 : 1); ++part) {
        const char *src = static_cast<const char *>(part ? first->GetPi() : first->GetPr());
        char *dst = static_cast<char *>(part ? r->GetPi() : r->GetPr());
        for (std::size_t j = 0; j < n; ++j) std::memcpy(dst + j * n * es, src + j * es, es);
    }
    for (std::size_t j = 0; j + 1 < n; ++j) {
        const std::size_t at = (j + 1) + j * std::size_t{n};
        if (single)
            static_cast<float *>(r->GetPr())[at] = 1.0f;
        else
            static_cast<double *>(r->GetPr())[at] = 1.0;
    }
    return r.release();
}

}  // namespace

CMatrix *Compan(const CMatrix *p) {
    const unsigned int *d = p->GetDimensions();
    if (p->GetNoDimensions() > 2 || (d[0] != 1 && d[1] != 1 && p->GetNoElems() != 0))
        throw CFunctionErrorException(L"compan: the input must be a vector");
    const mxClassID id = p->GetClassID();
    if (id != mxClassDouble && id != mxClassSingle)
        throw CFunctionErrorException(L"compan: the input must be double or single");
    if (id == mxClassSingle || p->IsComplex()) return CompanOfClass(p);
    const std::vector<double> c = Elements(p);
    const unsigned int n = c.size() < 2 ? 0 : static_cast<unsigned int>(c.size() - 1);
    double *a = nullptr;
    ArrayHolder r(ZeroMatrix(n, n, a));
    for (std::size_t j = 0; j < n; ++j) {
        a[j * n] = -c[j + 1] / c[0];
        if (j + 1 < n) a[(j + 1) + j * std::size_t{n}] = 1.0;
    }
    return r.release();
}

CMatrix *Randi(double lo, double hi, unsigned int nDims, const unsigned int *dims) {
    if (!(lo == std::floor(lo)) || !(hi == std::floor(hi)) || !(lo <= hi) ||
        !(hi - lo < 9007199254740992.0) || std::isinf(lo) || std::isinf(hi))
        throw CFunctionErrorException(L"randi: the bounds must be whole numbers with lo <= hi");
    ArrayHolder r(Zeros(nDims, dims));
    double *x = static_cast<double *>(r->GetPr());
    const double span = hi - lo + 1;
    for (std::size_t k = 0, n = r->GetNoElems(); k < n; ++k)
        x[k] = lo + std::floor(kiv::Rand() * span);
    return r.release();
}

CMatrix *Randperm(unsigned int n, unsigned int k) {
    if (k > n) throw CFunctionErrorException(L"randperm: k must not exceed n");
    double *x = nullptr;
    ArrayHolder r(ZeroMatrix(1, k, x));
    // Only the displaced positions are stored, so a short draw from a long
    // range takes memory for k elements, not n.
    std::unordered_map<unsigned int, unsigned int> moved;
    const auto at = [&moved](unsigned int q) {
        const auto it = moved.find(q);
        return it == moved.end() ? q + 1 : it->second;
    };
    for (unsigned int i = 0; i < k; ++i) {
        auto j = i + static_cast<unsigned int>(std::floor(kiv::Rand() * double(n - i)));
        if (j >= n) j = n - 1;
        const unsigned int picked = at(j);
        moved[j] = at(i);
        x[i] = picked;
    }
    return r.release();
}

CMatrix *Logspace(double a, double b, unsigned int n) {
    ArrayHolder r(Linspace(a, b == kPi ? std::log10(kPi) : b, n));
    double *x = static_cast<double *>(r->GetPr());
    for (std::size_t k = 0, count = r->GetNoElems(); k < count; ++k) x[k] = std::pow(10.0, x[k]);
    return r.release();
}

}  // namespace matrix
}  // namespace kiv
