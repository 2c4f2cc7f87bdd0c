// include/matrix/polyfun.h: polynomials (values, fits, roots, products,
// quotients, derivatives, integrals, partial fractions) and interpolation in
// one and two dimensions.
//
// A polynomial is a vector of coefficients, highest power first:
// [2 0 -1] is 2x^2 - 1. Operands may be double, single, char or logical
// (taken as double), real or complex; integer operands throw
// CFunctionErrorException "<Function>: integer arguments are not
// supported; convert them with double or single". The arithmetic runs in
// double (complex double when an operand is complex) and a result is single
// when an operand is, rounded once at the end; a complex result whose
// imaginary parts are all zero is made real, as the element-wise arithmetic
// does. Cell, struct and other classes throw CNotImplementedException.
// Results are new arrays owned by the caller; out-parameters are set to
// null first and stay null when a call throws.
#ifndef MATRIX_POLYFUN_H
#define MATRIX_POLYFUN_H

#include <matrix/array.h>
#include <matrix/cmatrix.h>
#include <matrix/export.h>

#include <limits>

namespace kiv {
namespace matrix {

/// Values of the polynomial p (a vector, or an empty array: the zero
/// polynomial) at each element of x, by Horner's rule: y = p(0), then
/// y = y*x + p(k) for k = 1, ..., n-1, each product rounded, then added
/// (complex: the product as re = yr*xr - yi*xi, im = yr*xi + yi*xr). The
/// result has x's shape. Throws CFunctionErrorException "Polyval: the
/// coefficients must be a vector" (a matrix p).
[[nodiscard]] MATRIX_API CMatrix *Polyval(const CMatrix *p, const CMatrix *x);

/// The standard error of Polyval's prediction at each element of x for
/// a fit Polyfit described by R ((n+1) x (n+1)), df and normr:
/// normr/sqrt(df)*sqrt(1 + |a*inv(R)|^2), a = [x^n ... x 1], the row
/// a*inv(R) by forward substitution; Inf everywhere when df is 0. Real
/// operands only; the result has x's shape. Throws CFunctionErrorException
/// "Polyval: R must be square with one row for each coefficient".
[[nodiscard]] MATRIX_API CMatrix *PolyvalDelta(const CMatrix *p, const CMatrix *x, const CMatrix *R,
                                               double df, double normr);

/// What Polyfit tells besides the coefficients: R of the QR factorisation of
/// the Vandermonde matrix (in Polyfit's R), the degrees of freedom
/// max(0, m - (n+1)), the 2-norm of the residual y - V*p, mu = [mean(x),
/// std(x)] when the fit was centred (else mu is [0, 1]), and what the
/// caller should warn of: notUnique (the degree is at least the number of
/// points) or badlyConditioned (the 1-norm condition number of R above 1/eps).
struct PolyfitInfo {
    double df = 0;
    double normr = 0;
    double mu[2] = {0, 1};
    bool notUnique = false;
    bool badlyConditioned = false;
};

/// Fits a polynomial of degree n to the points (x(k), y(k)) by least
/// squares: V(k, j) = x(k)^(n-j) built by repeated products (the last
/// column 1, each column to its left the one to its right times x), the
/// factorisation V = Q*R by Qr (Householder reflections), p the solution of
/// R(1:n+1, :)*p = (Q(:, 1:n+1)'*y) by back substitution, or by Mldivide
/// when there are fewer points than coefficients. With centre, x is first
/// replaced by (x - mean(x))/std(x) (std normalised by m-1). x and y must
/// have the same number of elements (their shapes are not compared); either
/// may be complex (the products then complex, Q' the conjugate transpose;
/// centring takes a real x only). Sets p (a row of
/// n+1 coefficients) and R (the square (n+1) x (n+1) factor, or m x (n+1)
/// when m < n+1), of the class the operands give. Throws
/// CFunctionErrorException "Polyfit: X and Y must have the same number of
/// elements", "Polyfit: the degree must be a whole number from 0 up",
/// "Polyfit: degrees above 10000 are not supported" (a wider factorisation
/// would not end in useful time), "Polyfit: centring and scaling take real
/// X only".
MATRIX_API void Polyfit(CMatrix *&p, CMatrix *&R, PolyfitInfo &info, const CMatrix *x,
                        const CMatrix *y, double n, bool centre);
/// Returns the p of Polyfit(p, R, info, x, y, n, false).
[[nodiscard]] MATRIX_API CMatrix *Polyfit(const CMatrix *x, const CMatrix *y, double n);

/// Roots of the polynomial p (a vector): leading zeros dropped, each
/// trailing zero a root 0 (listed last), the other roots the eigenvalues of
/// the companion matrix (first row -p(2:end)/p(1), ones below the diagonal)
/// by Eig with balancing, in its order. Returns a column, complex when a
/// root is; no roots (an empty or constant p, or all zeros) give 0 x 1.
/// Throws CFunctionErrorException "Roots: the coefficients must be a
/// vector", "Roots: the coefficients must not contain NaN or Inf".
[[nodiscard]] MATRIX_API CMatrix *Roots(const CMatrix *p);

/// The polynomial whose roots are the elements of the vector r, or the
/// characteristic polynomial of the square matrix r (its roots the
/// eigenvalues Eig gives): c = 1, then for each root z in turn
/// c(k) = c(k) - z*c(k-1) for k from the last down to 2 with c grown by a
/// zero. A result of roots that pair up as conjugates (the positive and
/// negative imaginary parts the same multiset) is made real. Returns a row;
/// an empty r gives 1. Throws CFunctionErrorException "Poly: the argument
/// must be a vector or a square matrix".
[[nodiscard]] MATRIX_API CMatrix *Poly(const CMatrix *r);

/// The part of the full convolution that Conv returns.
enum class ConvShape { kFull, kSame, kValid };

/// Convolution of the vectors u and v (the product of their polynomials):
/// full c(k) = sum over j of u(j)*v(k-j), the terms added in increasing j
/// from 0.0 (complex: products and sums part by part). kFull has
/// length m+n-1 and is a column when the longer operand is (v when the
/// lengths are equal); kSame is the central part of u's length
/// (c(floor(n/2) + (0..m-1))), kValid the part computed without zero
/// padding (length max(m-n+1, 0), 0 when n is 0), both shaped as u. An
/// empty operand gives an empty full result (1 x 0 or 0 x 1 as the rule
/// above). Throws CFunctionErrorException "Conv: the arguments must be
/// vectors".
[[nodiscard]] MATRIX_API CMatrix *Conv(const CMatrix *u, const CMatrix *v,
                                       ConvShape shape = ConvShape::kFull);

/// Divides polynomial b by a: b = conv(a, q) + r, by long division
/// (q(k) = (b(k) - a(1)*q(k-1) - ... ) / a(0), terms in increasing
/// distance). Sets q (a row of length(b)-length(a)+1, or 0 when b is
/// shorter) and r (b's shape, b - conv(a, q), zero where q was computed
/// exactly). Throws CFunctionErrorException "Deconv: the arguments must be
/// vectors", "Deconv: the first coefficient of A must be nonzero" (an
/// empty A too).
MATRIX_API void Deconv(CMatrix *&q, CMatrix *&r, const CMatrix *b, const CMatrix *a);

/// Derivative of p: p(k)*(n-1-k) for k < n-1, leading zeros dropped (the
/// zero polynomial is 0). A row.
[[nodiscard]] MATRIX_API CMatrix *Polyder(const CMatrix *p);
/// Derivative of the product conv(a, b), as conv(a', b) + conv(a, b')
/// aligned at the constant term, leading zeros dropped. A row.
[[nodiscard]] MATRIX_API CMatrix *PolyderProduct(const CMatrix *a, const CMatrix *b);
/// Derivative of the quotient b/a: q/d with q = conv(b', a) - conv(b, a')
/// and d = conv(a, a), leading zeros of each dropped. Rows.
MATRIX_API void PolyderQuotient(CMatrix *&q, CMatrix *&d, const CMatrix *b, const CMatrix *a);
/// Integral of p with constant of integration k (a scalar):
/// [p(0)/n, p(1)/(n-1), ..., p(n-1)/1, k]. A row.
[[nodiscard]] MATRIX_API CMatrix *Polyint(const CMatrix *p, const CMatrix *k = nullptr);

/// Partial fractions of b(s)/a(s) = sum r(j)/(s - p(j))^e(j) + k(s): k the
/// quotient of Deconv (empty when b is shorter than a), p the roots of a
/// ordered by decreasing magnitude (a stable sort), poles within 0.001
/// relative distance (0.001 absolute near zero) of a group's first taken
/// as one pole of multiplicity m, each replaced by the group's mean; the
/// group then lists r for (s - p)^1, ..., (s - p)^m. Residues from the
/// Taylor coefficients at the pole of b over a with the group's factor
/// taken out. Sets r, p (columns) and k (a row, 1 x 0 when there is no
/// direct term), complex when any residue or pole is. Throws
/// CFunctionErrorException "Residue: the arguments must be vectors",
/// "Residue: the denominator must not be zero".
MATRIX_API void Residue(CMatrix *&r, CMatrix *&p, CMatrix *&k, const CMatrix *b, const CMatrix *a);

/// The inverse of Residue: b(s)/a(s) from residues r, poles p (vectors of
/// one length) and the direct term k (a vector, possibly empty). a is the
/// polynomial of the poles as Poly builds it; poles in a run within
/// Residue's tolerance of the run's first are one pole whose residues are
/// for the powers 1, 2, ... in turn, and each term adds r times the
/// polynomial of the other poles (every pole but that many of the run's),
/// aligned at the constant term, in the order given; then conv(k, a).
/// Leading zeros of b dropped. b is made real when every imaginary part is
/// within 1e-8 times its largest magnitude (conjugate terms cancel only to
/// rounding). Sets rows b and a. Throws CFunctionErrorException "Residue:
/// the residues and poles must be vectors of one length".
MATRIX_API void ResidueInverse(CMatrix *&b, CMatrix *&a, const CMatrix *r, const CMatrix *p,
                               const CMatrix *k);

/// The interpolation methods of Interp1 and Interp2 (kCubic: Interp2's
/// cubic convolution; Interp1 takes it as kPchip).
enum class InterpMethod { kLinear, kNearest, kPrevious, kNext, kPchip, kSpline, kMakima, kCubic };

/// What Interp1 gives outside [x(0), x(n-1)]: NaN, the method's own
/// extension of its end pieces, or one fixed value. kDefault is kExtrap for
/// pchip, spline and makima and kNaN for the others.
enum class InterpExtrap { kDefault, kNaN, kExtrap, kValue };

/// Interpolates the values v at the sample points x at the points xq. x is
/// a vector of n distinct, non-NaN points, sorted first when it is not
/// ascending (v's rows go with it); v a vector of n values, or an n x c
/// matrix whose columns are interpolated each. The result has xq's shape
/// for a vector v, or (numel(xq) x c) for a vector xq and (size(xq) x c)
/// otherwise. On the interval [x(i), x(i+1)] (the last one closed) with
/// h = x(i+1) - x(i), t = (xq - x(i))/h:
///   kLinear: (1 - t)*v(i) + t*v(i+1) (v(i+1) itself where t is 1);
///   kNearest: v(i+1) from the midpoint on, else v(i);
///   kPrevious / kNext: the value at the nearest sample at or below / at
///   or above xq;
///   kPchip, kSpline, kMakima: the cubic Hermite piece with slopes d,
///   s = xq - x(i), y = v(i) + s*(d(i) + s*(c2 + s*c3)) with
///   c2 = (3*delta - 2*d(i) - d(i+1))/h, c3 = (d(i) - 2*delta + d(i+1))/h^2,
///   delta = (v(i+1) - v(i))/h. pchip slopes: F. N. Fritsch and R. E.
///   Carlson, "Monotone piecewise cubic interpolation", SIAM J. Numer.
///   Anal. 17(2), 1980, 238-246, with the weighted harmonic mean of F. N.
///   Fritsch and J. Butland, SIAM J. Sci. Stat. Comput. 5(2), 1984,
///   300-304, for interior points (0 where the slopes on either side
///   differ in sign or one is 0) and the shape-preserving three-point
///   formula at the ends; spline slopes: the C2 cubic with the not-a-knot
///   end conditions (3 points: the parabola through them; 2 points: the
///   line); makima: H. Akima's weights |d(i+1)-d(i)| + |d(i+1)+d(i)|/2.
/// Outside the range: extrap as above (kExtrap continues the end pieces;
/// linear continues its end lines, nearest/previous/next their end
/// values). Needs 2 points at least (1 for nearest, previous, next).
/// Throws CFunctionErrorException "Interp1: ..." naming what was wrong.
[[nodiscard]] MATRIX_API CMatrix *Interp1(const CMatrix *x, const CMatrix *v, const CMatrix *xq,
                                          InterpMethod method = InterpMethod::kLinear,
                                          InterpExtrap extrap = InterpExtrap::kDefault,
                                          double extrapValue = 0);

/// The cubic spline through (x(k), y(k)): y a vector of n values (not-a-knot
/// ends) or n+2 values (the first and the last the end slopes, the clamped
/// spline), evaluated at xq (xq's shape). Extrapolates with the end pieces.
/// A complex y gives the splines of its real and imaginary parts. An array
/// y of size [d1 .. dk, n] (or n+2) is vector-valued: its last dimension
/// runs along x, each of its d = d1*..*dk components splined on its own,
/// and the values have size [d1 .. dk, numel(xq)] for a vector xq, else
/// [d1 .. dk, size(xq)].
/// Throws CFunctionErrorException "Spline: ...".
[[nodiscard]] MATRIX_API CMatrix *Spline(const CMatrix *x, const CMatrix *y, const CMatrix *xq);
/// The piecewise cubic of Spline as breaks (a row of n points) and coefs
/// ((n-1) x 4, each row [c3 c2 c1 c0] of (xq - breaks(i))): a pp form. x
/// is sorted first as Interp1 sorts it; y must be real ("Spline: the values
/// must be real"). A vector-valued y of d components gives d*(n-1) rows,
/// row (i-1)*d + r the piece i of component r.
MATRIX_API void SplinePieces(CMatrix *&breaks, CMatrix *&coefs, const CMatrix *x, const CMatrix *y);
/// The shape-preserving cubic of Interp1's kPchip through (x, y) at xq; y
/// real, of x's length or vector-valued as Spline's ("Pchip: ..."
/// otherwise).
[[nodiscard]] MATRIX_API CMatrix *Pchip(const CMatrix *x, const CMatrix *y, const CMatrix *xq);
/// The pp form of Pchip, as SplinePieces.
MATRIX_API void PchipPieces(CMatrix *&breaks, CMatrix *&coefs, const CMatrix *x, const CMatrix *y);
/// Values of the piecewise polynomial (breaks, coefs: l pieces of order k,
/// rows highest power first in xq - breaks(i)) at xq: the piece i with
/// breaks(i) <= xq < breaks(i+1), the first and last pieces extended
/// outward, NaN at NaN. Result of xq's shape.
[[nodiscard]] MATRIX_API CMatrix *Ppval(const CMatrix *breaks, const CMatrix *coefs,
                                        const CMatrix *xq);
/// Ppval of a d-valued piecewise polynomial: coefs has d rows per piece
/// (row (i-1)*d + r for component r); the values have size [d, numel(xq)]
/// for a vector xq, [d, size(xq)] otherwise (xq's shape when d is 1).
[[nodiscard]] MATRIX_API CMatrix *Ppval(const CMatrix *breaks, const CMatrix *coefs,
                                        unsigned int d, const CMatrix *xq);

/// Interpolates V (ny x nx) given at the grid x (nx points) by y (ny
/// points), each strictly ascending (vectors, or the matrices of a mesh
/// grid, whose first row and first column are taken; null: 1, 2, ...), at
/// the points (Xq(k), Yq(k)): Xq and Yq of one shape, the result's, or a
/// row Xq and a column Yq, which make the grid of their pairs (length(Yq) x
/// length(Xq)). kLinear is bilinear, with tx, ty the fractions of the cell,
/// (1-ty)*((1-tx)*V00 + tx*V01) + ty*((1-tx)*V10 + tx*V11); kNearest the
/// nearest grid value (the upper one from the midpoint on). kSpline is the
/// bicubic not-a-knot spline (Spline's along each row of V at Xq, then
/// Spline's of those values along y at Yq; it reproduces cubics exactly);
/// kCubic (kPchip too) R. Keys' cubic convolution ("Cubic convolution
/// interpolation for digital image processing", IEEE Trans. ASSP 29(6),
/// 1981), the kernel's a = -1/2, the grid extended past each end by f(-1) =
/// 3 f(0) - 3 f(1) + f(2), applied along x then along y (it reproduces
/// quadratics exactly); it needs 3 points each way and equal spacing,
/// within 64 eps of the largest coordinate, else it is kSpline. Outside the
/// grid: extrapValue (NaN by default). A complex V interpolates both
/// parts. Throws CFunctionErrorException "Interp2: ..." naming what was
/// wrong.
[[nodiscard]] MATRIX_API CMatrix *Interp2(
    const CMatrix *x, const CMatrix *y, const CMatrix *V, const CMatrix *Xq, const CMatrix *Yq,
    InterpMethod method = InterpMethod::kLinear,
    double extrapValue = std::numeric_limits<double>::quiet_NaN());

// The same over Array: each returns what its CMatrix form returns, owned by
// the Array, and throws what it throws.
inline Array Polyval(const Array &p, const Array &x) {
    return Array::Adopt(Polyval(p.get(), x.get()));
}
inline Array Polyfit(const Array &x, const Array &y, double n) {
    return Array::Adopt(Polyfit(x.get(), y.get(), n));
}
inline Array Roots(const Array &p) { return Array::Adopt(Roots(p.get())); }
inline Array Poly(const Array &r) { return Array::Adopt(Poly(r.get())); }
inline Array Conv(const Array &u, const Array &v, ConvShape shape = ConvShape::kFull) {
    return Array::Adopt(Conv(u.get(), v.get(), shape));
}
inline Array Polyder(const Array &p) { return Array::Adopt(Polyder(p.get())); }
inline Array Polyint(const Array &p) { return Array::Adopt(Polyint(p.get())); }
inline Array Interp1(const Array &x, const Array &v, const Array &xq,
                     InterpMethod method = InterpMethod::kLinear,
                     InterpExtrap extrap = InterpExtrap::kDefault, double extrapValue = 0) {
    return Array::Adopt(Interp1(x.get(), v.get(), xq.get(), method, extrap, extrapValue));
}
inline Array Spline(const Array &x, const Array &y, const Array &xq) {
    return Array::Adopt(Spline(x.get(), y.get(), xq.get()));
}
inline Array Pchip(const Array &x, const Array &y, const Array &xq) {
    return Array::Adopt(Pchip(x.get(), y.get(), xq.get()));
}
inline Array Interp2(const Array &x, const Array &y, const Array &V, const Array &Xq,
                     const Array &Yq, InterpMethod method = InterpMethod::kLinear,
                     double extrapValue = std::numeric_limits<double>::quiet_NaN()) {
    return Array::Adopt(
        Interp2(x.get(), y.get(), V.get(), Xq.get(), Yq.get(), method, extrapValue));
}

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_POLYFUN_H
