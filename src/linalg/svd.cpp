// src/linalg/svd.cpp: the singular value decomposition with one and three outputs, and the rank.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/array_holder.h"
#include "kernels/kernel_support.h"
#include "kernels/svd_kernel.h"
#include "linalg/linalg_common.h"
#include "linalg/typed_factor.h"

namespace kiv {
namespace matrix {

namespace linalg {

void SingularValues(std::size_t m, std::size_t n, const double *a, double *w) {
    const std::size_t ld = kernels::SpreadLeadingDimension(m);
    Scratch<double> copy(ld * n);
    Scratch<double> work(kernels::SvdDecomposeWorkspace(m, n));
    CopyMatrix(copy.Get(), ld, a, m, m, n);
    // The values alone: U and V would not change them.
    kernels::SvdDecompose(m, n, copy.Get(), ld, w, 1, nullptr, 0, work.Get());
}

}  // namespace linalg

namespace {

// Checks shared by every form, in order.
void RequireSvdOperand(const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    linalg::RequireRealDouble(A);
}

// The three factors of a non-empty A, conformant for every shape. A tall
// or square A is decomposed as it is; a wide one through its transpose,
// whose left and right factors are A's right and left ones. Without
// economy the decomposed p x q matrix (p >= q) is padded with zero columns
// to p x p, and only the leading q x q block of its V is kept.
void Decompose(ArrayHolder &U, ArrayHolder &S, ArrayHolder &V, const CMatrix *A, bool economy) {
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    const bool wide = m < n;
    const unsigned int p = wide ? n : m;
    const unsigned int q = wide ? m : n;
    const unsigned int cols = economy ? q : p;

    // The working matrix: A or A', then zero columns up to cols.
    ArrayHolder left(mxCreateDoubleMatrix(p, cols, mxComplexityReal));
    ArrayHolder right(mxCreateDoubleMatrix(cols, cols, mxComplexityReal));
    {
        const linalg::WorkingMatrix work(left.get(), p, cols);
        const linalg::WorkingMatrix rightWork(right.get(), cols, cols);
        double *x = work.Data();
        const std::size_t ldx = work.Ld();
        const double *a = linalg::Data(A);
        for (std::size_t j = 0; j < q; ++j) {
            double *xj = x + j * ldx;
            if (wide) {
                for (std::size_t i = 0; i < p; ++i) xj[i] = a[j + i * std::size_t{m}];
            } else {
                std::memcpy(xj, a + j * std::size_t{m}, std::size_t{m} * sizeof(double));
            }
        }
        for (std::size_t j = q; j < cols; ++j) std::memset(x + j * ldx, 0, p * sizeof(double));

        linalg::Scratch<double> w(cols);
        linalg::Scratch<double> scratch(kernels::SvdDecomposeWorkspace(p, cols));
        linalg::Scratch<std::uint32_t> positions(cols);
        kernels::SvdDecompose(p, cols, x, ldx, w.Get(), 1, rightWork.Data(), rightWork.Ld(),
                              scratch.Get());
        kernels::SortDescending(cols, w.Get(), 1, positions.Get());

        const unsigned int sRows = economy ? q : m;
        const unsigned int sCols = economy ? q : n;
        S.reset(Zeros(sRows, sCols));
        double *s = linalg::Data(S.get());
        for (std::size_t i = 0; i < q; ++i) s[i + i * sRows] = w.Get()[positions.Get()[i]];

        linalg::Scratch<double> column(std::max(p, cols));
        linalg::Scratch<unsigned char> visited(cols);
        kernels::PermuteColumns(p, cols, x, ldx, positions.Get(), column.Get(), visited.Get());
        kernels::PermuteColumns(cols, cols, rightWork.Data(), rightWork.Ld(), positions.Get(),
                                column.Get(), visited.Get());
        work.Finish();
        rightWork.Finish();
    }
    if (cols != q) {
        ArrayHolder block(mxCreateDoubleMatrix(q, q, mxComplexityReal));
        const double *full = linalg::Data(right.get());
        double *lead = linalg::Data(block.get());
        for (std::size_t j = 0; j < q; ++j) {
            std::memcpy(lead + j * q, full + j * cols, q * sizeof(double));
        }
        right = std::move(block);
    }
    if (wide) {
        U = std::move(right);
        V = std::move(left);
    } else {
        U = std::move(left);
        V = std::move(right);
    }
}

// The rank from the singular values, largest first: only values strictly
// above the tolerance count, so a zero matrix has rank 0; the count stops
// at the first value at or below it, and a NaN (a value that did not
// converge) neither counts nor stops it.
unsigned int CountAbove(const CMatrix *s, double tol) {
    const double *sv = linalg::Data(s);
    const std::size_t k = s->GetNoElems();
    unsigned int rank = 0;
    for (std::size_t i = 0; i < k; ++i) {
        if (sv[i] > tol) {
            ++rank;
        } else if (sv[i] <= tol) {
            break;
        }
    }
    return rank;
}

}  // namespace

CMatrix *Svd(const CMatrix *A, bool economy) {
    // The values are the same whatever the size asked for.
    static_cast<void>(economy);
    linalg::RequireTwoDimensions(A);
    if (linalg::IsTypedOperand(A)) return linalg::SvdTyped(A);
    RequireSvdOperand(A);
    if (A->GetNoElems() == 0) return mxCreateDoubleMatrix(0, 1, mxComplexityReal);

    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    linalg::Scratch<double> w(n);
    linalg::Scratch<std::uint32_t> positions(n);
    linalg::SingularValues(m, n, linalg::Data(A), w.Get());
    kernels::SortDescending(n, w.Get(), 1, positions.Get());

    const unsigned int k = std::min(m, n);
    CMatrix *s = mxCreateDoubleMatrix(k, 1, mxComplexityReal);
    double *sv = linalg::Data(s);
    for (std::size_t i = 0; i < k; ++i) sv[i] = w.Get()[positions.Get()[i]];
    return s;
}

void Svd(CMatrix *&U, CMatrix *&S, CMatrix *&V, const CMatrix *A, bool economy) {
    U = nullptr;
    S = nullptr;
    V = nullptr;
    linalg::RequireTwoDimensions(A);
    if (linalg::IsTypedOperand(A)) {
        linalg::SvdTyped(U, S, V, A, economy);
        return;
    }
    RequireSvdOperand(A);
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);
    ArrayHolder u;
    ArrayHolder s;
    ArrayHolder v;
    if (A->GetNoElems() == 0) {
        // The same shapes as for any other A, U and V the leading columns
        // of the identity.
        const unsigned int k = std::min(m, n);
        u.reset(Eye(m, economy ? k : m));
        s.reset(Zeros(economy ? k : m, economy ? k : n));
        v.reset(Eye(n, economy ? k : n));
    } else {
        Decompose(u, s, v, A, economy);
    }
    U = u.release();
    S = s.release();
    V = v.release();
}

unsigned int Rank(const CMatrix *A, double tol) {
    if (A->GetNoElems() == 0) return 0;
    linalg::RequireTwoDimensions(A);
    if (linalg::IsTypedOperand(A)) return linalg::RankTyped(A, true, tol);
    const ArrayHolder s(Svd(A, false));
    return CountAbove(s.get(), tol);
}

unsigned int Rank(const CMatrix *A) {
    if (A->GetNoElems() == 0) return 0;
    linalg::RequireTwoDimensions(A);
    if (linalg::IsTypedOperand(A)) return linalg::RankTyped(A, false, 0.0);
    const ArrayHolder s(Svd(A, false));
    // max(m, n)*s(0) first, then times eps.
    const double largest = static_cast<double>(std::max(linalg::Rows(A), linalg::Columns(A))) *
                           linalg::Data(s.get())[0];
    return CountAbove(s.get(), mxGetEps() * largest);
}

}  // namespace matrix
}  // namespace kiv
