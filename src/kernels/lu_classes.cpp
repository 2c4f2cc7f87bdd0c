// src/kernels/lu_classes.cpp: the LU family's kernels written once over the element type.
#include "kernels/lu_classes.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "kernels/condition_estimate.h"
#include "kernels/lu_kernel.h"
#include "kernels/mldivide_kernel.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/mtimes_single.h"

namespace kiv {
namespace matrix {
namespace kernels {
namespace typed {

namespace {

template <class T>
inline bool IsZero(T x) {
    return x == T(0);
}

template <class T>
inline T Negate(T x) {
    if constexpr (kIsComplex<T>) {
        return T(-x.real(), -x.imag());
    } else {
        return -x;
    }
}

// x - y and x + y part by part.
template <class T>
inline T Sub(T x, T y) {
    if constexpr (kIsComplex<T>) {
        return T(x.real() - y.real(), x.imag() - y.imag());
    } else {
        return x - y;
    }
}
template <class T>
inline T Add(T x, T y) {
    if constexpr (kIsComplex<T>) {
        return T(x.real() + y.real(), x.imag() + y.imag());
    } else {
        return x + y;
    }
}

// y - x*t part by part, the Crout update: re = (yr - xr*tr) + xi*ti,
// im = (yi - xr*ti) - xi*tr, each product rounded, then met.
template <class T>
inline T SubProduct(T y, T x, T t) {
    if constexpr (kIsComplex<T>) {
        const auto re = y.real() - x.real() * t.real();
        const auto im = y.imag() - x.real() * t.imag();
        return T(re + x.imag() * t.imag(), im - x.imag() * t.real());
    } else {
        return y - x * t;
    }
}

// y + f*t part by part, the elimination update: the two products with
// re(f) are left out when re(f) is 0, the two with im(f) when im(f) is 0
// (so a zero multiplier leaves y as it is even beside an infinite t):
// re = (yr + fr*tr) - fi*ti, im = (yi + fr*ti) + fi*tr.
template <class T>
inline T AddProductUnlessZero(T y, T f, T t) {
    if constexpr (kIsComplex<T>) {
        auto re = y.real(), im = y.imag();
        if (f.real() != 0) {
            re = re + f.real() * t.real();
            im = im + f.real() * t.imag();
        }
        if (f.imag() != 0) {
            re = re - f.imag() * t.imag();
            im = im + f.imag() * t.real();
        }
        return T(re, im);
    } else {
        return f != 0 ? y + f * t : y;
    }
}

// The unit upper back substitution of the Gauss solve: as TriangularSolve's
// upper one with every diagonal element exactly 1, by which nothing is
// divided (Div by 1 + 0i would turn an infinite part into NaN).
template <class T>
void UnitBackSubstitute(std::size_t n, const T *u, std::size_t ldu, const T *b, T *x) {
    for (std::size_t i = 0; i + 1 < n; ++i) x[i] = T(0);
    for (std::size_t q = n; q-- > 0;) {
        const T *uq = u + q * ldu;
        const T xq = q + 1 == n ? b[q] : Sub(b[q], x[q]);
        x[q] = xq;
        for (std::size_t i = 0; i < q; ++i) x[i] = Add(x[i], Mul(uq[i], xq));
    }
}

// EstimateInverseNorm1 (condition_estimate.h) on T; see
// GaussReciprocalCondition for what a complex T changes.
template <class T, class Solve, class SolveAdjoint>
RealType<T> EstimateInverseNorm1(std::size_t n, const Solve &solve, const SolveAdjoint &solveH,
                                 T *work) {
    using R = RealType<T>;
    T *v = work, *sign = work + n;
    auto norm1 = [&] {
        R s = 0;
        for (std::size_t i = 0; i < n; ++i) s = s + Modulus(v[i]);
        return s;
    };
    auto largestAt = [&] {
        std::size_t j = 0;
        for (std::size_t i = 1; i < n; ++i)
            if (Modulus(v[i]) > Modulus(v[j])) j = i;
        return j;
    };
    auto takeSigns = [&] {
        bool same = true;
        for (std::size_t i = 0; i < n; ++i) {
            T s;
            if constexpr (kIsComplex<T>) {
                const R m = Modulus(v[i]);
                s = m == 0 ? T(1) : T(v[i].real() / m, v[i].imag() / m);
                same = false;
            } else {
                s = v[i] >= 0 ? T(1) : T(-1);
                same = same && s == sign[i];
            }
            sign[i] = s;
        }
        return same;
    };

    for (std::size_t i = 0; i < n; ++i) v[i] = T(R(1) / static_cast<R>(n));
    solve(v);
    if (n == 1) return Modulus(v[0]);
    R est = norm1();
    if (std::isnan(est)) return est;
    for (std::size_t i = 0; i < n; ++i) sign[i] = T(0);
    takeSigns();
    for (std::size_t i = 0; i < n; ++i) v[i] = sign[i];
    solveH(v);
    std::size_t j = largestAt();
    for (int iteration = 1; iteration < kNormEstimateIterations; ++iteration) {
        for (std::size_t i = 0; i < n; ++i) v[i] = T(i == j ? 1 : 0);
        solve(v);
        const R previous = est;
        est = norm1();
        if (std::isnan(est)) return est;
        if (takeSigns() || est <= previous) break;
        for (std::size_t i = 0; i < n; ++i) v[i] = sign[i];
        solveH(v);
        const R atPrevious = Modulus(v[j]);
        const std::size_t next = largestAt();
        if (Modulus(v[next]) == atPrevious) break;
        j = next;
    }

    // An alternating vector catches what the iteration misses.
    for (std::size_t i = 0; i < n; ++i) {
        const R x = R(1) + static_cast<R>(i) / static_cast<R>(n - 1);
        v[i] = T(i % 2 == 0 ? x : -x);
    }
    solve(v);
    const R alternative = R(2) * norm1() / (R(3) * static_cast<R>(n));
    return alternative > est ? alternative : est;
}

}  // namespace

namespace {

// Blocks of at most this many columns are worked column by column; larger
// ones are halved, and the halves meet through the float product kernel.
constexpr std::size_t kLeaf = 16;

// The columns a blocked path halves down to: kLeaf on a path other than
// the plain one (for a complex T only with workspace), else the whole
// matrix (one block). Double has its own kernels.
template <class T>
std::size_t LeafOf(std::size_t n, KernelPath path, const RealType<T> *work) {
    const bool blocked = !std::is_same<T, double>::value && path != KernelPath::kPlain &&
                         (!kIsComplex<T> || work != nullptr);
    return blocked ? kLeaf : n;
}

// C (rows x cols, leading dimension lda) meets the products of F (rows x
// depth, lda) with X (depth x cols, lda) through the real product kernel,
// every element in increasing p as the leaf's steps take them: kSubtract as
// SubProduct, kAddUnlessZero as AddProductUnlessZero. A real T is one
// product. A complex one is two real products of depth 2*depth on
// interleaved copies: the real parts meet the columns (fr(p), -fi(p))
// with the rows (xr(p); xi(p)), the imaginary parts the columns (fr(p),
// fi(p)) with the rows (xi(p); xr(p)), which takes each part's products in
// the order of those functions (x - (-f)*t is x + f*t exactly, and a zero
// part of f skips its product under kAddUnlessZero). work holds
// BlockedWorkspace(n) reals.
template <class T>
void BlockUpdate(std::size_t rows, std::size_t cols, std::size_t depth, const T *f,
                 std::size_t lda, const T *x, T *c, UpdateSign sign, RealType<T> *work) {
    using R = RealType<T>;
    if constexpr (!kIsComplex<T>) {
        (void)work;
        MatrixProductUpdate(rows, cols, depth, f, lda, x, lda, c, lda, sign);
    } else {
        const std::size_t d2 = 2 * depth;
        R *fre = work, *fim = fre + rows * d2, *xre = fim + rows * d2, *xim = xre + d2 * cols;
        R *cre = xim + d2 * cols, *cim = cre + rows * cols;
        for (std::size_t p = 0; p < depth; ++p) {
            const T *fp = f + p * lda;
            for (std::size_t i = 0; i < rows; ++i) {
                fre[i + 2 * p * rows] = fp[i].real();
                fre[i + (2 * p + 1) * rows] = -fp[i].imag();
                fim[i + 2 * p * rows] = fp[i].real();
                fim[i + (2 * p + 1) * rows] = fp[i].imag();
            }
        }
        for (std::size_t j = 0; j < cols; ++j) {
            const T *xj = x + j * lda;
            for (std::size_t p = 0; p < depth; ++p) {
                xre[2 * p + j * d2] = xj[p].real();
                xre[2 * p + 1 + j * d2] = xj[p].imag();
                xim[2 * p + j * d2] = xj[p].imag();
                xim[2 * p + 1 + j * d2] = xj[p].real();
            }
            for (std::size_t i = 0; i < rows; ++i) {
                cre[i + j * rows] = c[i + j * lda].real();
                cim[i + j * rows] = c[i + j * lda].imag();
            }
        }
        if constexpr (std::is_same<R, double>::value) {
            MatrixProductUpdate(rows, cols, d2, fre, rows, xre, d2, cre, rows,
                                PackingSpace(rows, cols, d2), sign);
            MatrixProductUpdate(rows, cols, d2, fim, rows, xim, d2, cim, rows,
                                PackingSpace(rows, cols, d2), sign);
        } else {
            MatrixProductUpdate(rows, cols, d2, fre, rows, xre, d2, cre, rows, sign);
            MatrixProductUpdate(rows, cols, d2, fim, rows, xim, d2, cim, rows, sign);
        }
        for (std::size_t j = 0; j < cols; ++j)
            for (std::size_t i = 0; i < rows; ++i)
                c[i + j * lda] = T(cre[i + j * rows], cim[i + j * rows]);
    }
}

// Rows r0 .. r1 - 1 of columns c0 .. c1 - 1 take the steps r0 .. r1 - 1 of
// the unit lower triangle in those rows and columns: for each step k in
// turn (scaling row k by r(k) first when r is given, unless it is exactly
// 1), every row i of the block below k meets a(i,k) times row k, as
// SubProduct (kSubtract: Crout's rows of U) or AddProductUnlessZero
// (kAddUnlessZero: the elimination's). A block of more rows than the leaf
// is halved, the lower half meeting the upper one's rows through
// BlockUpdate, each element still in increasing k.
template <class T>
void SolveTop(T *a, std::size_t lda, const T *r, std::size_t r0, std::size_t r1, std::size_t c0,
              std::size_t c1, UpdateSign sign, std::size_t leaf, RealType<T> *work) {
    if (r1 - r0 > leaf) {
        const std::size_t q = r0 + (r1 - r0) / 2;
        SolveTop(a, lda, r, r0, q, c0, c1, sign, leaf, work);
        BlockUpdate(r1 - q, c1 - c0, q - r0, a + q + r0 * lda, lda, a + r0 + c0 * lda,
                    a + q + c0 * lda, sign, work);
        SolveTop(a, lda, r, q, r1, c0, c1, sign, leaf, work);
        return;
    }
    for (std::size_t c = c0; c < c1; ++c) {
        T *ac = a + c * lda;
        for (std::size_t k = r0; k < r1; ++k) {
            if (r != nullptr && !(r[k] == T(1))) ac[k] = Mul(ac[k], r[k]);
            const T t = ac[k];
            const T *f = a + k * lda;
            for (std::size_t i = k + 1; i < r1; ++i) {
                ac[i] = sign == UpdateSign::kSubtract ? SubProduct(ac[i], f[i], t)
                                                      : AddProductUnlessZero(ac[i], f[i], t);
            }
        }
    }
}


// The state of one Crout factorisation.
template <class T>
struct Crout {
    std::size_t n;
    T *a;
    std::size_t lda;
    std::int32_t *ipiv;
    int parity;
    RealType<T> *scale;
    KernelStatus info;
    std::size_t leaf;
    RealType<T> *work;
};

// Factors columns j0 .. j1 - 1, which carry the products of every column
// before j0 already. Interchanges move whole rows as they are chosen
// (partial sums of later columns included, which commutes with their
// later products). A block wider than the leaf is halved: the right half
// takes the left half's products, its rows of U by the unit lower solve
// and the rows below through MatrixProductUpdate (kSubtract), each element
// still in increasing k.
template <class T>
void CroutColumns(Crout<T> &s, std::size_t j0, std::size_t j1) {
    using R = RealType<T>;
    const std::size_t n = s.n, lda = s.lda;
    T *a = s.a;
    if (j1 - j0 > s.leaf) {
        if constexpr (!std::is_same<T, double>::value) {
            const std::size_t mid = j0 + (j1 - j0) / 2;
            CroutColumns(s, j0, mid);
            SolveTop<T>(a, lda, nullptr, j0, mid, mid, j1, UpdateSign::kSubtract, s.leaf, s.work);
            BlockUpdate(n - mid, j1 - mid, mid - j0, a + mid + j0 * lda, lda, a + j0 + mid * lda,
                        a + mid + mid * lda, UpdateSign::kSubtract, s.work);
            CroutColumns(s, mid, j1);
            return;
        }
    }
    for (std::size_t j = j0; j < j1; ++j) {
        T *aj = a + j * lda;
        // Column k of L into column j, for each earlier k of the block in turn.
        for (std::size_t k = j0; k < j; ++k) {
            const T akj = aj[k];
            const T *ak = a + k * lda;
            for (std::size_t i = k + 1; i < n; ++i) aj[i] = SubProduct(aj[i], ak[i], akj);
        }
        R big = 0;
        std::size_t imax = j;
        for (std::size_t i = j; i < n; ++i) {
            const R d = s.scale[i] * Abs1(aj[i]);
            if (d >= big) {
                big = d;
                imax = i;
            }
        }
        if (imax != j) {
            for (std::size_t c = 0; c < n; ++c) std::swap(a[imax + c * lda], a[j + c * lda]);
            s.parity = -s.parity;
            s.scale[imax] = s.scale[j];
        }
        s.ipiv[j] = static_cast<std::int32_t>(imax + 1);
        if (IsZero(aj[j])) {
            aj[j] = T(static_cast<R>(kLuZeroPivot));
            if (s.info == 0) s.info = j + 1;
        }
        if (j + 1 < n) {
            const T r = Div(T(1), aj[j]);
            for (std::size_t i = j + 1; i < n; ++i) aj[i] = Mul(aj[i], r);
        }
    }
}

// GaussFactor's steps on columns j0 .. j1 - 1, which carry the steps before
// j0 already; rows are interchanged whole as the pivots are chosen, and a
// step scales and updates the columns of its block only. A block wider
// than the leaf is halved: the right half takes the left half's steps, its
// rows j0 .. mid - 1 one step after the other and the rows below through
// MatrixProductUpdate (kAddUnlessZero), each element still in increasing j.
template <class T>
void EliminateColumns(std::size_t n, T *a, std::size_t lda, std::size_t *pivot, T *r,
                      std::size_t j0, std::size_t j1, std::size_t leaf, RealType<T> *work) {
    using R = RealType<T>;
    if (j1 - j0 > leaf) {
        if constexpr (!std::is_same<T, double>::value) {
            const std::size_t mid = j0 + (j1 - j0) / 2;
            EliminateColumns(n, a, lda, pivot, r, j0, mid, leaf, work);
            SolveTop(a, lda, r, j0, mid, mid, j1, UpdateSign::kAddUnlessZero, leaf, work);
            BlockUpdate(n - mid, j1 - mid, mid - j0, a + mid + j0 * lda, lda, a + j0 + mid * lda,
                        a + mid + mid * lda, UpdateSign::kAddUnlessZero, work);
            EliminateColumns(n, a, lda, pivot, r, mid, j1, leaf, work);
            return;
        }
    }
    for (std::size_t j = j0; j < j1; ++j) {
        T *aj = a + j * lda;
        std::size_t p = j;
        R big = Abs1(aj[j]);
        for (std::size_t i = j + 1; i < n; ++i) {
            const R t = Abs1(aj[i]);
            if (t > big) {
                big = t;
                p = i;
            }
        }
        if (p != j) {
            for (std::size_t c = 0; c < n; ++c) std::swap(a[j + c * lda], a[p + c * lda]);
        }
        pivot[j] = p;
        const T piv = IsZero(aj[j]) ? T(static_cast<R>(kGaussZeroPivot)) : aj[j];
        const T rj = Div(T(1), piv);
        r[j] = rj;
        aj[j] = T(1);
        if (!(rj == T(1))) {
            for (std::size_t c = j + 1; c < j1; ++c) a[j + c * lda] = Mul(a[j + c * lda], rj);
        }
        for (std::size_t i = j + 1; i < n; ++i) aj[i] = Negate(aj[i]);
        for (std::size_t c = j + 1; c < j1; ++c) {
            T *ac = a + c * lda;
            const T t = ac[j];
            for (std::size_t i = j + 1; i < n; ++i) ac[i] = AddProductUnlessZero(ac[i], aj[i], t);
        }
    }
}

}  // namespace

std::size_t BlockedWorkspace(std::size_t n) {
    // The largest update: n rows, n - n/2 columns and n/2 products (twice
    // over in the interleaved copies), and its parts of C.
    const std::size_t depth = n / 2, cols = n - n / 2;
    return 2 * n * 2 * depth + 2 * 2 * depth * cols + 2 * n * cols;
}

template <class T>
KernelStatus LuCrout(std::size_t n, T *a, std::size_t lda, std::int32_t *ipiv, int &parity,
                     RealType<T> *scale, KernelPath path, RealType<T> *work) {
    using R = RealType<T>;
    for (std::size_t i = 0; i < n; ++i) scale[i] = 0;
    for (std::size_t c = 0; c < n; ++c) {
        for (std::size_t i = 0; i < n; ++i) {
            const R t = Abs1(a[i + c * lda]);
            scale[i] = t > scale[i] ? t : scale[i];
        }
    }
    for (std::size_t i = 0; i < n; ++i) scale[i] = scale[i] == 0 ? R(0) : R(1) / scale[i];
    Crout<T> state{n, a, lda, ipiv, 1, scale, 0, LeafOf<T>(n, path, work), work};
    CroutColumns(state, 0, n);
    parity = state.parity;
    return state.info;
}

template <class T>
void GaussFactor(std::size_t n, T *a, std::size_t lda, std::size_t *pivot, T *r,
                 KernelPath path, RealType<T> *work) {
    EliminateColumns(n, a, lda, pivot, r, 0, n, LeafOf<T>(n, path, work), work);
}

template <class T>
void GaussSolveFactored(std::size_t n, std::size_t k, const T *a, std::size_t lda,
                        const std::size_t *pivot, const T *r, T *b, std::size_t ldb, T *x,
                        std::size_t ldx) {
    for (std::size_t c = 0; c < k; ++c) {
        T *bc = b + c * ldb;
        for (std::size_t j = 0; j < n; ++j) {
            if (pivot[j] != j) std::swap(bc[j], bc[pivot[j]]);
        }
        for (std::size_t j = 0; j < n; ++j) {
            if (!(r[j] == T(1))) bc[j] = Mul(bc[j], r[j]);
            const T *f = a + j * lda;
            const T t = bc[j];
            for (std::size_t i = j + 1; i < n; ++i) bc[i] = AddProductUnlessZero(bc[i], f[i], t);
        }
        UnitBackSubstitute(n, a, lda, bc, x + c * ldx);
    }
}

template <class T>
void TriangularSolve(std::size_t n, std::size_t k, bool lower, const T *t, std::size_t ldt,
                     const T *b, std::size_t ldb, T *x, std::size_t ldx) {
    if (n == 0) return;
    for (std::size_t c = 0; c < k; ++c) {
        const T *bc = b + c * ldb;
        T *xc = x + c * ldx;
        // xc holds the running sums until their rows are solved.
        if (lower) {
            for (std::size_t i = 1; i < n; ++i) xc[i] = T(0);
            for (std::size_t q = 0; q < n; ++q) {
                const T *tq = t + q * ldt;
                const T xq = q == 0 ? Div(bc[q], tq[q]) : Div(Sub(bc[q], xc[q]), tq[q]);
                xc[q] = xq;
                for (std::size_t i = q + 1; i < n; ++i) xc[i] = Add(xc[i], Mul(tq[i], xq));
            }
        } else {
            for (std::size_t i = 0; i + 1 < n; ++i) xc[i] = T(0);
            for (std::size_t q = n; q-- > 0;) {
                const T *tq = t + q * ldt;
                const T xq = q + 1 == n ? Div(bc[q], tq[q]) : Div(Sub(bc[q], xc[q]), tq[q]);
                xc[q] = xq;
                for (std::size_t i = 0; i < q; ++i) xc[i] = Add(xc[i], Mul(tq[i], xq));
            }
        }
    }
}

template <class T>
RealType<T> MatrixNorm1(std::size_t m, std::size_t n, const T *a, std::size_t lda) {
    using R = RealType<T>;
    R best = 0;
    for (std::size_t j = 0; j < n; ++j) {
        R sum = 0;
        for (std::size_t i = 0; i < m; ++i) sum = sum + Modulus(a[i + j * lda]);
        if (sum > best) best = sum;
    }
    return best;
}

template <class T>
RealType<T> GaussReciprocalCondition(std::size_t n, const T *a, std::size_t lda,
                                     const std::size_t *pivot, const T *r, RealType<T> anorm,
                                     T *work) {
    using R = RealType<T>;
    if (anorm == 0) return 0;
    const T replaced = Div(T(1), T(static_cast<R>(kGaussZeroPivot)));
    for (std::size_t j = 0; j < n; ++j) {
        if (r[j] == replaced) return 0;
    }
    T *rhs = work + 2 * n;
    auto solve = [&](T *v) {
        std::copy(v, v + n, rhs);
        GaussSolveFactored(n, 1, a, lda, pivot, r, rhs, n, v, n);
    };
    auto solveAdjoint = [&](T *v) {
        // U^H w = v, U unit upper.
        for (std::size_t i = 1; i < n; ++i) {
            const T *ui = a + i * lda;
            T s = v[i];
            for (std::size_t k = 0; k < i; ++k) s = Sub(s, ConjMul(ui[k], v[k]));
            v[i] = s;
        }
        // L^H x = w from the last row up; L(i,j) is minus the stored
        // multiplier and L(j,j) is 1/r(j).
        for (std::size_t j = n; j-- > 0;) {
            const T *lj = a + j * lda;
            T s = v[j];
            for (std::size_t i = j + 1; i < n; ++i) s = Add(s, ConjMul(lj[i], v[i]));
            v[j] = Mul(s, Conj(r[j]));
        }
        for (std::size_t j = n; j-- > 0;) {
            if (pivot[j] != j) std::swap(v[j], v[pivot[j]]);
        }
    };
    const R estimate = EstimateInverseNorm1<T>(n, solve, solveAdjoint, work);
    return R(1) / estimate / anorm;
}

template <class T>
RealType<T> TriangularReciprocalCondition(std::size_t n, bool lower, const T *t, std::size_t ldt,
                                          RealType<T> anorm, T *work) {
    using R = RealType<T>;
    if (anorm == 0) return 0;
    for (std::size_t j = 0; j < n; ++j) {
        if (IsZero(t[j + j * ldt])) return 0;
    }
    T *rhs = work + 2 * n;
    auto solve = [&](T *v) {
        std::copy(v, v + n, rhs);
        TriangularSolve(n, 1, lower, t, ldt, rhs, n, v, n);
    };
    // T^H w = v: column i of T holds row i of T^H, conjugated.
    auto solveAdjoint = [&](T *v) {
        auto row = [&](std::size_t i) {
            const T *ti = t + i * ldt;
            T s = v[i];
            if (lower) {
                for (std::size_t k = i + 1; k < n; ++k) s = Sub(s, ConjMul(ti[k], v[k]));
            } else {
                for (std::size_t k = 0; k < i; ++k) s = Sub(s, ConjMul(ti[k], v[k]));
            }
            v[i] = Div(s, Conj(ti[i]));
        };
        if (lower) {
            for (std::size_t i = n; i-- > 0;) row(i);
        } else {
            for (std::size_t i = 0; i < n; ++i) row(i);
        }
    };
    const R estimate = EstimateInverseNorm1<T>(n, solve, solveAdjoint, work);
    return R(1) / estimate / anorm;
}

#define MATRIX_LU_CLASSES_INSTANTIATE(T)                                                          \
    template KernelStatus LuCrout<T>(std::size_t, T *, std::size_t, std::int32_t *, int &,        \
                                     RealType<T> *, KernelPath, RealType<T> *);                   \
    template void GaussFactor<T>(std::size_t, T *, std::size_t, std::size_t *, T *, KernelPath,   \
                                 RealType<T> *);                                                  \
    template void GaussSolveFactored<T>(std::size_t, std::size_t, const T *, std::size_t,         \
                                        const std::size_t *, const T *, T *, std::size_t, T *,    \
                                        std::size_t);                                             \
    template void TriangularSolve<T>(std::size_t, std::size_t, bool, const T *, std::size_t,      \
                                     const T *, std::size_t, T *, std::size_t);                   \
    template RealType<T> MatrixNorm1<T>(std::size_t, std::size_t, const T *, std::size_t);        \
    template RealType<T> GaussReciprocalCondition<T>(std::size_t, const T *, std::size_t,         \
                                                     const std::size_t *, const T *, RealType<T>, \
                                                     T *);                                        \
    template RealType<T> TriangularReciprocalCondition<T>(std::size_t, bool, const T *,           \
                                                          std::size_t, RealType<T>, T *);

MATRIX_LU_CLASSES_INSTANTIATE(double)
MATRIX_LU_CLASSES_INSTANTIATE(float)
MATRIX_LU_CLASSES_INSTANTIATE(std::complex<double>)
MATRIX_LU_CLASSES_INSTANTIATE(std::complex<float>)

#undef MATRIX_LU_CLASSES_INSTANTIATE

}  // namespace typed
}  // namespace kernels
}  // namespace matrix
}  // namespace kiv
