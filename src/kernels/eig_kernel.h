// src/kernels/eig_kernel.h: eigenvalue kernels: Hessenberg QR, complex shifted solves, symmetric tridiagonal QL.
#ifndef MATRIX_SRC_KERNELS_EIG_KERNEL_H
#define MATRIX_SRC_KERNELS_EIG_KERNEL_H

#include <cmath>
#include <cstddef>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// Convergence tests allowed per eigenvalue (the current active block)
/// before HessenbergEigenvalues gives up; exceptional shifts are made before
/// the 11th and the 21st. The limits of the Francis QR procedure as published
/// (Numerical Recipes, hqr; EISPACK hqr).
constexpr int kEigMaxTests = 30;
constexpr int kEigFirstExceptionalShift = 10;
constexpr int kEigSecondExceptionalShift = 20;

/// Balance's stopping factor: a scaling is applied only when it reduces the
/// row and column sums by more than 5 percent (Parlett & Reinsch).
constexpr double kBalanceGain = 0.95;

/// Scales rows and columns of a square matrix by powers of 2 until their
/// off-diagonal sums are balanced, A := D^-1*A*D. Passes over i = 1..n
/// repeat until a pass changes nothing; for each i, with c and r the sums
/// of |a(j,i)| and |a(i,j)| over j != i (from 0.0, increasing j), skipped
/// when c or r is 0.0 or not finite:
///   f = 1.0, s = c + r; while c < r/2: c *= 4, f *= 2; while c > r*2:
///   c *= 0.25, f *= 0.5; if (c + r)/f < kBalanceGain*s: row i *= 1.0/f,
///   then column i *= f.
/// The scalings are exact (powers of 2), so the eigenvalues are unchanged.
///   n     [in]     order, n >= 0
///   a     [in,out] column-major, lda >= max(1, n)
///   scale [out]    null, or n entries: D(i,i), the product of the f applied
///                  to row and column i (1.0 for none), so that the result
///                  is D^-1*A*D; recording changes no element of A
/// Source: Parlett & Reinsch, Numer. Math. 13 (1969) 293-304, in the form
/// of Numerical Recipes, 2nd ed., Section 11.5 (balanc).
void Balance(std::size_t n, double *a, std::size_t lda, double *scale = nullptr);
/// The same steps in single.
void Balance(std::size_t n, float *a, std::size_t lda, float *scale = nullptr);

/// Reduces a square matrix to upper Hessenberg form by Gaussian elimination
/// with pivoting (similarity transformations), indices from 1: for
/// m = 2..n-1, the first j >= m of largest |a(j,m-1)| is the pivot x (rows
/// and then columns j and m interchanged when j != m); if x != 0.0, for
/// each i = m+1..n with y = a(i,m-1) != 0.0: y /= x, a(i,m-1) = y, a(i,j) -=
/// y*a(m,j) for j = m..n, a(j,m) += y*a(j,i) for j = 1..n. Nothing happens
/// for n < 3.
///   n     [in]     order, n >= 0
///   a     [in,out] column-major, lda >= max(1, n); on exit the Hessenberg
///                  matrix on and above the subdiagonal, the multipliers
///                  below it
///   pivot [out]    null, or n entries: pivot[m-1] is the row (from 1)
///                  interchanged with row m at step m (m itself for none);
///                  entries 0 and n-1 are set to 1 and n. Recording changes
///                  no element of A
///   path  [in]     kPlain: the steps as written, row by row; otherwise
///                  column by column in vector registers (each element of
///                  the columns right of m meets its one update before the
///                  column is read, column m its updates in the same order),
///                  the same bits either way
/// Source: Wilkinson & Reinsch, Handbook for Automatic Computation II
/// (elmhes), in the form of Numerical Recipes, 2nd ed., Section 11.5.
void ReduceToHessenberg(std::size_t n, double *a, std::size_t lda, std::size_t *pivot = nullptr,
                        KernelPath path = KernelPath::kFastest);
/// The same steps in single.
void ReduceToHessenberg(std::size_t n, float *a, std::size_t lda, std::size_t *pivot = nullptr);

/// Maps a vector of the Hessenberg matrix back to the matrix it was
/// reduced from (Balance, when scale is not null, then ReduceToHessenberg):
/// for m = n-1 down to 2 (from 1), z(i) = z(i) + a(i,m-1)*z(m) for
/// i = m+1..n, then z(m) and z(pivot[m-1]) are interchanged; finally
/// z(i) = z(i)*scale[i-1]. Each element takes its operations in that order.
///   n     [in]     order
///   a     [in]     ReduceToHessenberg's a (only the multipliers are read)
///   pivot [in]     ReduceToHessenberg's pivot record
///   scale [in]     Balance's scale record, or null when not balanced
///   z     [in,out] n entries
void HessenbergBackTransform(std::size_t n, const double *a, std::size_t lda,
                             const std::size_t *pivot, const double *scale, double *z);

/// Returns the number of doubles of workspace that HessenbergShiftedFactor
/// needs for order n.
std::size_t HessenbergShiftedWorkspace(std::size_t n);

/// Factors H - shift*I for an upper Hessenberg H by Gaussian elimination
/// with partial pivoting between neighbouring rows, for
/// HessenbergShiftedSolve. For j = 0..n-2, rows j and j+1 are interchanged
/// when |U(j+1,j)| > |U(j,j)|; a pivot that is exactly 0.0 is replaced by
/// tiny; l(j) = U(j+1,j)/U(j,j) and U(j+1,c) -= l(j)*U(j,c) for c > j.
/// A last diagonal element of exactly 0.0 is replaced by tiny as well.
///   n     [in]  order, n >= 1
///   h     [in]  H on and above the subdiagonal (entries below it are not
///               read), column-major, ldh >= n
///   shift [in]  the shift
///   tiny  [in]  the replacement of a zero pivot (> 0)
///   work  [out] HessenbergShiftedWorkspace(n) doubles: the factors
///   path  [in]  kPlain: the steps one at a time across the columns;
///               otherwise blocks of steps column by column. The same bits
///               either way: each element meets the steps in order.
void HessenbergShiftedFactor(std::size_t n, const double *h, std::size_t ldh, double shift,
                             double tiny, double *work, KernelPath path = KernelPath::kFastest);

/// Solves (H - shift*I)*x = b from HessenbergShiftedFactor's work: the
/// interchanges and multipliers applied to b in increasing j, then U's
/// back substitution column by column from the last: x(c) = x(c)/U(c,c),
/// then x(r) -= x(c)*U(r,c) for every r < c.
///   n    [in]  order
///   work [in]  the factors
///   b    [in]  n entries
///   x    [out] n entries; may not overlap b
///   path [in]  as DotFast: the same bits either way
void HessenbergShiftedSolve(std::size_t n, const double *work, const double *b, double *x,
                            KernelPath path = KernelPath::kFastest);

/// Finds the eigenvalues of an upper Hessenberg matrix by the Francis
/// double-shift QR algorithm with exceptional shifts, deflating one real
/// root or a 2 x 2 block at a time from the bottom (indices from 1, sums
/// from 0.0 in increasing index): a subdiagonal a(l,l-1) is negligible when
/// |a(l,l-1)| + s == s, s = |a(l-1,l-1)| + |a(l,l)| (anorm, the sum of the
/// Hessenberg part's magnitudes, when s is 0.0); a 2 x 2 block gives
/// p = 0.5*(y - x), q = p*p + w, z = sqrt(|q|) and either two real roots
/// x + z, x - w/z (z = p + (z with the sign of p)) or the pair x + p +/- zi;
/// each new shift is preceded by kEigMaxTests, kEigFirstExceptionalShift and
/// kEigSecondExceptionalShift tests of the active block, the last giving up.
///   n  [in]     order, n >= 0
///   a  [in,out] the Hessenberg matrix (entries below the subdiagonal are
///               overwritten, never read as matrix elements); destroyed;
///               column-major, lda >= max(1, n)
///   wr [out]    n real parts; element i is the eigenvalue deflated at
///               diagonal position i (not sorted)
///   wi [out]    n imaginary parts: a complex pair at i, i+1 as +z, -z
///               (z > 0.0, the positive imaginary part first)
/// Returns 0 when every eigenvalue was found. Otherwise nn > 0: the active
/// block 1..nn was abandoned at its kEigMaxTests-th test, and wr(1..nn) and
/// wi(1..nn) are set to NaN.
///   path [in]   kFastest on a processor with AVX-512: the columns beyond
///               the reach of a block of 22 sweep steps take the block's row
///               parts together, eight to a vector, and the column parts
///               run in vector registers; otherwise each step's row part
///               across its columns at once. The same bits either way:
///               every element meets the same operations in the same order.
/// Source: Francis (1961-62); Martin, Peters & Wilkinson, Numer. Math. 14
/// (1970) 219-231 (hqr), in the form of Numerical Recipes, 2nd ed.,
/// Section 11.6.
KernelStatus HessenbergEigenvalues(std::size_t n, double *a, std::size_t lda, double *wr,
                                   double *wi, KernelPath path = KernelPath::kFastest);
/// The same steps in single (the constants rounded to single).
KernelStatus HessenbergEigenvalues(std::size_t n, float *a, std::size_t lda, float *wr, float *wi);

/// The magnitude by which the complex eliminations below choose pivots:
/// |re| + |im| (cheaper than the modulus, and within a factor sqrt(2) of it).
inline double ComplexPivotMagnitude(double re, double im) { return std::fabs(re) + std::fabs(im); }

/// Complex arithmetic of the eigenvector kernels, each step rounded in this
/// order: (a + bi)*(c + di) = (a*c - b*d) + (a*d + b*c)i; the quotient
/// (a + bi)/(c + di) by Smith's rule: when |c| >= |d|, t = d/c,
/// q = c + d*t, ((a + b*t)/q) + ((b - a*t)/q)i; otherwise t = c/d,
/// q = c*t + d, ((a*t + b)/q) + ((b*t - a)/q)i.
/// Source: R. L. Smith, "Algorithm 116: Complex division", CACM 5(8), 1962.
inline void ComplexMultiply(double a, double b, double c, double d, double &re, double &im) {
    const double r = a * c - b * d;
    im = a * d + b * c;
    re = r;
}
void ComplexDivide(double a, double b, double c, double d, double &re, double &im);

/// The complex multiply-add of the eliminations: y += f*u as
/// re(y) = (re(y) + re(f)*re(u)) - im(f)*im(u) and
/// im(y) = (im(y) + re(f)*im(u)) + im(f)*re(u), each product rounded and
/// then added; the two products with re(f) are left out when re(f) is
/// 0.0, the two with im(f) when im(f) is 0.0 (so a zero multiplier leaves y
/// as it is even beside an infinite u, as the real elimination does).
inline void ComplexMultiplyAdd(double fr, double fi, double ur, double ui, double &yr, double &yi) {
    if (fr != 0.0) {
        yr = yr + fr * ur;
        yi = yi + fr * ui;
    }
    if (fi != 0.0) {
        yr = yr - fi * ui;
        yi = yi + fi * ur;
    }
}

/// GaussFactor's elimination in complex arithmetic, on A = ar + ai*i with
/// its rows interchanged whole. For each column j = 0..n-1: the pivot is
/// the first largest ComplexPivotMagnitude of A(i,j), i >= j (a later one
/// wins only if strictly larger); rows j and pivot are interchanged;
/// piv = A(j,j), or tiny (real) when both its parts are exactly 0.0;
/// r = 1.0/piv (ComplexDivide); A(j,j) = 1.0; unless r is exactly
/// 1.0 + 0.0i, A(j,c) = A(j,c)*r (ComplexMultiply) for c > j; for each row
/// i > j, f = -A(i,j) is kept in A(i,j) and A(i,c) += f*A(j,c)
/// (ComplexMultiplyAdd) for c > j. The zero pivot's replacement is the
/// caller's tiny rather than kGaussZeroPivot, so that it can follow A's
/// scale.
///   n      [in]     order, n >= 1
///   ar, ai [in,out] real and imaginary parts of A, column-major,
///                   lda >= n; on exit the unit upper triangle and the f
///   pivot  [out]    n entries: the row interchanged with row j at step j
///   rr, ri [out]    n entries each: the r of step j
///   tiny   [in]     the replacement of a zero pivot (> 0)
///   path   [in]     kPlain: the steps one after the other over the whole
///                   matrix; otherwise panels of 32 columns, the rows below
///                   a panel taking its steps through two real
///                   MatrixProductUpdate calls (the multipliers' parts
///                   interleaved as 2*32 columns). Each element meets the
///                   same operations in the same order either way.
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithm 3.4.1
/// and Section 3.2.11 (block LU).
void ComplexGaussFactor(std::size_t n, double *ar, double *ai, std::size_t lda, std::size_t *pivot,
                        double *rr, double *ri, double tiny,
                        KernelPath path = KernelPath::kFastest);

/// Solves A*x = b from ComplexGaussFactor's record, as GaussSolveFactored
/// does in real arithmetic: for j = 0..n-1, b(j) and b(pivot[j]) are
/// interchanged, b(j) *= r(j) (ComplexMultiply) unless r(j) is
/// 1.0 + 0.0i, and b(i) += f(i,j)*b(j) (ComplexMultiplyAdd) for i > j;
/// then x(n-1) = b(n-1) and x(i) = b(i) - s(i), s(i) = 0.0 +
/// U(i,n-1)*x(n-1) + ... + U(i,i+1)*x(i+1) (decreasing column, each
/// product by ComplexMultiply, then added part by part).
///   br, bi [in,out] n entries each, destroyed
///   xr, xi [out]    n entries each; may not overlap b
void ComplexGaussSolveFactored(std::size_t n, const double *ar, const double *ai, std::size_t lda,
                               const std::size_t *pivot, const double *rr, const double *ri,
                               double *br, double *bi, double *xr, double *xi);

/// Returns the number of doubles of workspace that
/// HessenbergShiftedFactorComplex needs for order n.
std::size_t HessenbergShiftedComplexWorkspace(std::size_t n);

/// HessenbergShiftedFactor with a complex shift, in complex arithmetic
/// (ComplexMultiply, ComplexDivide): U = H - (sr + si*i)*I; for
/// j = 0..n-2, rows j and j+1 are interchanged when
/// ComplexPivotMagnitude(U(j+1,j)) > ComplexPivotMagnitude(U(j,j)); a pivot
/// with both parts exactly 0.0 is replaced by tiny (real);
/// l(j) = U(j+1,j)/U(j,j) and U(j+1,c) -= l(j)*U(j,c) for c > j. A last
/// diagonal element of exactly 0.0 + 0.0i is replaced by tiny as well.
///   n      [in]  order, n >= 1
///   h      [in]  H as HessenbergShiftedFactor reads it
///   sr, si [in]  the shift's real and imaginary parts
///   tiny   [in]  the replacement of a zero pivot (> 0)
///   work   [out] HessenbergShiftedComplexWorkspace(n) doubles
///   path   [in]  as HessenbergShiftedFactor: the same bits either way
void HessenbergShiftedFactorComplex(std::size_t n, const double *h, std::size_t ldh, double sr,
                                    double si, double tiny, double *work,
                                    KernelPath path = KernelPath::kFastest);

/// Solves (H - shift*I)*x = b from HessenbergShiftedFactorComplex's work,
/// in the order of HessenbergShiftedSolve's plain path: the interchanges
/// and multipliers in increasing j, then x(c) = x(c)/U(c,c) and
/// x(r) -= x(c)*U(r,c) for every r < c, column by column from the last.
///   br, bi [in]  n entries each
///   xr, xi [out] n entries each; may not overlap b
///   path   [in]  as DotFast: the same bits either way
void HessenbergShiftedSolveComplex(std::size_t n, const double *work, const double *br,
                                   const double *bi, double *xr, double *xi,
                                   KernelPath path = KernelPath::kFastest);

/// Tests allowed per eigenvalue by TridiagonalQl before it gives up (the
/// limit of tql2 as published).
constexpr int kTridiagonalMaxTests = 30;

/// Orders from which SymmetricTridiagonalize reduces in panels
/// (SymmetricTridiagonalizeBlocked); below it the unblocked steps cost less.
constexpr std::size_t kTridiagonalBlockedMin = 192;

/// Columns in each panel of SymmetricTridiagonalize's blocked reduction.
constexpr std::size_t kTridiagonalBlock = 16;

/// Returns the number of doubles of workspace that SymmetricTridiagonalize
/// (panels of nb columns) needs for order n.
std::size_t SymmetricTridiagonalizeWorkspace(std::size_t n, std::size_t nb = kTridiagonalBlock);

/// Reduces a symmetric matrix, given by its lower triangle, to tridiagonal
/// form T = Q'*A*Q by n-2 Householder reflections, in the fast order: for
/// n >= kTridiagonalBlockedMin by SymmetricTridiagonalizeBlocked with
/// kTridiagonalBlock columns a panel, otherwise by the steps below. For
/// step k = 0..n-3, with x = A(k+1..n-1, k) and B = A(k+1.., k+1..):
///   the reflection is HouseholderQr's for x: scale = max |x(i)| (from
///     |x(0)|; NaN does not raise it); if scale is 0.0, c[k] = e[k] = 0.0
///     and nothing else changes; otherwise x(i) /= scale, sum = 0.0 +
///     x(0)^2 + x(1)^2 + ... (increasing i), sigma = sqrt(sum) negated
///     unless x(0) >= 0.0, x(0) += sigma, c[k] = x(0)*sigma,
///     e[k] = -(sigma*scale), and H(k) = I - v v'/c[k] with v = x;
///   with tau = 1.0/c[k]: q = B*v from B's lower triangle, column j of B in
///     increasing j giving q(j) = (q(j) + B(j,j)*v(j)) + DotFast(B(j+1..,j),
///     v(j+1..)) and then q(i) += v(j)*B(i,j) for every i > j (q from 0.0);
///     p(i) = tau*q(i); K = (0.5*tau)*DotFast(p, v); w(i) = p(i) - K*v(i);
///     B(i,j) = (B(i,j) - v(i)*w(j)) - w(i)*v(j) on and below the diagonal;
///   d[k] = A(k,k).
/// Finally d[n-2], d[n-1] and e[n-2] are taken from A (d[0] alone for
/// n = 1). Each element meets its operations in a fixed order, so any
/// vectorisation gives the same bits.
///   n    [in]     order, n >= 1
///   a    [in,out] the lower triangle of A (the strict upper triangle is
///                 not read); on exit v(k) in rows k+1..n-1 of column k, in
///                 HouseholderFormQ's layout for the (n-1) x (n-1) matrix
///                 starting at A(1,0); column-major, lda >= n
///   d    [out]    n diagonal entries of T
///   e    [out]    n entries: e[k] = T(k+1,k) for k < n-1; e[n-1] = 0.0
///   c    [out]    max(n-2, 0) normalising factors
///   work [out]    SymmetricTridiagonalizeWorkspace(n) doubles
///   path [in]     as DotFast: the same bits either way. The update of step
///                 k is held back and applied to each column of B just
///                 before step k+1 reads it, so B is read once per step.
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithm 8.3.1
/// (Householder tridiagonalisation), with the reflections of Algorithm 5.4.1
/// as HouseholderQr forms them.
void SymmetricTridiagonalize(std::size_t n, double *a, std::size_t lda, double *d, double *e,
                             double *c, double *work, KernelPath path = KernelPath::kFastest);

/// SymmetricTridiagonalize in panels of nb columns (nb >= 1; 0 counts as
/// 1): the same reflections, formed in another order. While n - k0 >= nb + 2,
/// the panel k0..k0+nb-1 is reduced against the trailing matrix as the
/// previous panels left it, with the pairs (v(p), w(p)), p = 0..t-1, of
/// its earlier columns held aside; for its column j = k0 + t:
///   A(j..n-1, j) takes, for p = 0..t-1 in turn, A(i,j) = (A(i,j) -
///     v(p)(i)*w(p)(j)) - w(p)(i)*v(p)(j);
///   d[j], c[j], e[j] and v = v(t) as in SymmetricTridiagonalize (scale 0.0
///     leaves the column, and the pair, out);
///   q = B*v with B = A(j+1.., j+1..) as the previous panels left it, by
///     SymmetricTridiagonalize's column order (q(j') = (q(j') +
///     B(j',j')*v(j')) + DotFast(B(j'+1..,j'), v(j'+1..)), then q(i) +=
///     v(j')*B(i,j')); then for p = 0..t-1 in turn, with a = DotFast(w(p),
///     v) and b = DotFast(v(p), v) over rows j+1..n-1, q(i) = (q(i) -
///     v(p)(i)*a) - w(p)(i)*b;
///   q(i) = tau*q(i), K = (0.5*tau)*DotFast(q, v), w(t)(i) = q(i) - K*v(i).
/// Then every element of the trailing matrix on and below the diagonal,
/// rows and columns k0+nb.., takes A(i,j) = (...((A(i,j) -
/// v(0)(i)*w(0)(j)) - w(0)(i)*v(0)(j)) - v(1)(i)*w(1)(j)) - ...) -
/// w(nb-1)(i)*v(nb-1)(j) by MatrixProductUpdate (a pair left out counts as
/// two 0.0 vectors), in blocks of columns from the diagonal down; the
/// strict upper triangle is left as it was. The last n - k0 < nb + 2
/// columns are reduced by SymmetricTridiagonalize's unblocked steps. Every
/// element meets its operations in this order on every path and thread
/// count.
///   work [out]    SymmetricTridiagonalizeWorkspace(n, nb) doubles
/// Other arguments as SymmetricTridiagonalize.
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Section 8.3;
/// Dongarra, Sorensen & Hammarling, "Block reduction of matrices to
/// condensed forms for eigenvalue computations", J. Comput. Appl. Math. 27
/// (1989) 215-227.
void SymmetricTridiagonalizeBlocked(std::size_t n, double *a, std::size_t lda, double *d,
                                    double *e, double *c, double *work, std::size_t nb,
                                    KernelPath path = KernelPath::kFastest);

/// Finds the eigenvalues (and, with z, the eigenvectors) of a symmetric
/// tridiagonal matrix by the implicit QL algorithm with Wilkinson's shift,
/// in the fast order. For l = 0..n-1 (sums and tests as written; pythag(a,
/// b) is sqrt(a*a + b*b) when that sum of squares lies strictly between
/// 2^-900 and 2^900, SafeHypot otherwise): repeat: m is the first m >= l with m = n-1 or
/// |e(m)| + dd == dd, dd = |d(m)| + |d(m+1)|; if m = l, d(l) is found;
/// otherwise (after at most kTridiagonalMaxTests sweeps) g = (d(l+1) -
/// d(l))/(2.0*e(l)), r = pythag(g, 1.0), g = d(m) - d(l) + e(l)/(g + (r with
/// the sign of g)), s = c = 1.0, p = 0.0, and for i = m-1 down to l:
/// f = s*e(i), b = c*e(i), r = pythag(f, g), e(i+1) = r; if r is 0.0,
/// d(i+1) -= p, e(m) = 0.0 and the sweep ends here; else s = f/r, c = g/r,
/// g = d(i+1) - p, r = (d(i) - g)*s + 2.0*c*b, p = s*r, d(i+1) = g + p,
/// g = c*r - b, and columns i and i+1 of Z take the rotation
/// z(k,i+1) = s*z(k,i) + c*f', z(k,i) = c*z(k,i) - s*f' (f' the old
/// z(k,i+1)); a sweep that ran to its end sets d(l) -= p, e(l) = g,
/// e(m) = 0.0. Each element of Z meets the rotations in the order given,
/// whatever the vectorisation: the rotations of up to 64 sweeps are held
/// and then applied to Z's rows in blocks that stay in cache (and on
/// several threads from 256 rows, each row on its own).
///   n    [in]     order, n >= 0
///   d    [in,out] n diagonal entries; on exit the eigenvalues, not sorted
///   e    [in,out] n entries, e[k] = T(k+1,k) for k < n-1; destroyed
///   z    [in,out] null, or an n x n matrix (column-major, ldz >= n) that
///                 the rotations are applied to: the identity gives T's
///                 eigenvectors, the Q of SymmetricTridiagonalize A's
///   work [out]    TridiagonalQlWorkspace(n) doubles
///   path [in]     kPlain: scalar loops, one row at a time; otherwise
///                 vector registers. The same bits either way.
/// Returns 0 when every eigenvalue was found. Otherwise l + 1 > 0: the
/// eigenvalue l was abandoned after kTridiagonalMaxTests sweeps, and
/// d(l..n-1) are set to NaN.
/// Source: Bowdler, Martin, Reinsch & Wilkinson, Numer. Math. 11 (1968)
/// 293-306 (tql2), in the form of Numerical Recipes, 2nd ed., Section 11.3
/// (tqli); Golub & Van Loan, 4th ed., Section 8.3.
KernelStatus TridiagonalQl(std::size_t n, double *d, double *e, double *z, std::size_t ldz,
                           double *work, KernelPath path = KernelPath::kFastest);

/// Returns the number of doubles of workspace that TridiagonalQl needs for
/// order n.
std::size_t TridiagonalQlWorkspace(std::size_t n);

/// TridiagonalQl's steps in single, with single's range in pythag (the
/// sum of squares strictly between 2^-100 and 2^100); the rotations reach
/// Z by scalar loops in the same order on every path.
KernelStatus TridiagonalQl(std::size_t n, float *d, float *e, float *z, std::size_t ldz,
                           float *work, KernelPath path = KernelPath::kFastest);

/// The floats of workspace the single TridiagonalQl needs for order n.
std::size_t TridiagonalQlWorkspaceSingle(std::size_t n);

/// Blocks of at most this order are solved by TridiagonalQl inside
/// TridiagonalDivideConquer; larger ones are split in two.
constexpr std::size_t kDivideConquerLeaf = 32;

/// Iterations allowed to each root of the secular equation in
/// TridiagonalDivideConquer; after the first half of them every other step
/// bisects the root's bracket, so the last of them leaves the bracket
/// narrower than rounding can tell.
constexpr int kSecularMaxIterations = 200;

/// Finds the eigenvalues and eigenvectors of a symmetric tridiagonal
/// matrix T by divide and conquer. A block of order n > kDivideConquerLeaf
/// is split at n1 = n/2 as T = diag(T1, T2) + rho*u*u', with
/// beta = e(n1-1), rho = |beta|, u = e_(n1-1) + sign(beta)*e_n1 (so
/// T1's last and T2's first diagonal entries lose rho); each half is solved
/// the same way (a leaf by TridiagonalQl from the identity), and the two
/// are merged: with Q1, Q2 the halves' vectors, z = (last row of Q1,
/// sign(beta)*first row of Q2)/sqrt(2) and rho doubled, the problem is
/// D + rho*z*z' with D the halves' values, taken in ascending order (ties
/// in the order of the halves). Deflation, in that order, with
/// tol = 8*eps*max(max|d(i)|, rho): a z(i) with rho*|z(i)| <= tol is
/// dropped, d(i) being an eigenvalue; of two neighbouring kept poles p < i,
/// the rotation c = z(i)/t, s = z(p)/t, t = hypot(z(p), z(i)), is taken
/// when |c*s*(d(i) - d(p))| <= tol, making c^2*d(p) + s^2*d(i) an
/// eigenvalue and leaving z(i) = t. Each remaining root of
/// 1/rho + sum z(i)^2/(d(i) - x) is found from the nearer of its poles by
/// the rational interpolation of Li's "middle way" (a Newton step on the
/// last root) inside a bracket that shrinks with every step; the vectors
/// come from the Loewner weights of the computed roots (Gu & Eisenstat),
/// so they are orthogonal to working precision however close the roots.
/// The merged vectors are products through MatrixProduct, T1's and T2's
/// rows apart. Every step is in a fixed order, so the bits do not depend
/// on the vectorisation or the thread count.
///   n    [in]     order, n >= 0
///   d    [in,out] n diagonal entries; on exit the eigenvalues, not sorted
///   e    [in]     n - 1 entries, e[k] = T(k+1,k)
///   q    [out]    n x n eigenvectors of T, column-major, ldq >= n
///   path [in]     as MatrixProduct
/// Returns 0, or 1 when an entry of T is infinite or NaN or TridiagonalQl
/// gave up on a leaf (d is then NaN).
/// Source: Cuppen, Numer. Math. 36 (1981) 177-195; Gu & Eisenstat, SIAM J.
/// Matrix Anal. Appl. 16 (1995) 172-191; R.-C. Li, "Solving secular
/// equations stably and efficiently", LAPACK Working Note 89 (1993).
KernelStatus TridiagonalDivideConquer(std::size_t n, double *d, const double *e, double *q,
                                      std::size_t ldq, KernelPath path = KernelPath::kFastest);

/// Sweeps allowed to SymmetricJacobi, and the magnitude at or below which
/// an off-diagonal entry is never rotated away (far below any that matters
/// beside the diagonal, it keeps rounding noise from rotating forever).
constexpr int kJacobiMaxSweeps = 60;
constexpr double kJacobiFloor = 0x1p-1000;

/// Finds the eigenvalues and eigenvectors of a symmetric matrix by the
/// cyclic Jacobi method, for the matrices on which TridiagonalQl gives up
/// (strongly graded ones, whose implicit shift dies out before the sweep
/// reaches their small end). Sweeps over the pairs p < q in row-cyclic
/// order; a pair is rotated when |a(q,p)| > eps*sqrt(|a(p,p)|)*sqrt(|a(q,q)|)
/// and |a(q,p)| > kJacobiFloor (the relative test keeps small eigenvalues
/// of graded matrices accurate), by the rotation that zeroes it:
/// tau = (a(q,q) - a(p,p))/(2*a(q,p)), t = (1 with the sign of tau)/(|tau| +
/// sqrt(1 + tau^2)) (0.5/tau beyond 2^500), c = 1/sqrt(1 + t^2), s = t*c;
/// columns p, q of A take x' = c*x - s*y, y' = s*x + c*y, then rows p, q
/// the same, then a(q,p) = a(p,q) = 0.0, and columns p, q of V the column
/// rotation. Stops after a sweep without rotations.
///   n    [in]     order
///   a    [in,out] the full symmetric matrix (both triangles), destroyed;
///                 lda >= n
///   d    [out]    n eigenvalues (a's diagonal at the end), not sorted
///   v    [out]    n x n eigenvectors, ldv >= n
/// Returns 0, or 1 when kJacobiMaxSweeps sweeps did not settle it (d then
/// NaN).
/// Source: Golub & Van Loan, Matrix Computations, 4th ed., Algorithms
/// 8.5.1-8.5.3; the relative threshold of Demmel & Veselic, SIAM J. Matrix
/// Anal. Appl. 13(4), 1992.
KernelStatus SymmetricJacobi(std::size_t n, double *a, std::size_t lda, double *d, double *v,
                             std::size_t ldv);

/// Sorts eigenvalues ascending with their eigenvectors and fixes each
/// vector's sign: selection sort, position i taking the first smallest of
/// d(i..n-1) (NaN never moves), columns of Z swapped alongside; then every
/// column whose entry of largest magnitude (the first such on ties) is
/// negative is negated.
///   n [in]     order
///   d [in,out] n values
///   z [in,out] null, or n x n, ldz >= n
void SortSymmetricEigen(std::size_t n, double *d, double *z, std::size_t ldz);

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_EIG_KERNEL_H
