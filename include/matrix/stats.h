// include/matrix/stats.h: data analysis: differences, order statistics,
// weighted spreads, covariance, moving windows, trapezoidal integrals and
// rescaling.
//
// Common rules. Dimensions count from 1; a dim of 0 in the functions below
// means the default dimension of Sum (reduce.h: a vector along its length,
// else dimension 1 or, for three or more dimensions with a first length of
// 1, the first length that is not 1); a dimension beyond the last is a
// trailing length of 1. The `dims` lists of the reductions name several
// dimensions at once (the elements that differ only in those subscripts
// form one line, taken in column-major order of those subscripts); an empty
// list means every dimension (the 'all' form). Unless a function says
// otherwise it computes in double: double, logical and char arrays give
// double results, single arrays give single results rounded once from the
// double ones, and integer and complex arrays throw CFunctionErrorException
// "NAME: the argument must be real double or single". Cell, struct and the
// other classes throw CNotImplementedException. A is never changed, results
// are new arrays owned by the caller, and a failed call leaves nothing
// allocated. Every order of arithmetic stated below is a contract: the same
// bits on every run, path and thread count (these functions run on the
// calling thread).
#ifndef MATRIX_STATS_H
#define MATRIX_STATS_H

#include <matrix/array.h>
#include <matrix/cmatrix.h>
#include <matrix/export.h>
#include <matrix/reduce.h>

#include <vector>

namespace kiv {
namespace matrix {

// NanFlag (reduce.h): whether NaN elements take part ('includenan') or are
// passed over ('omitnan').

/// The n-th differences of A along dim: each step replaces a line x of
/// length m by x[k+1] - x[k], k = 0 .. m-2, computed by Minus in A's class
/// (so integers saturate, single stays single, complex stays complex, and
/// logical and char give double). With dim 0 each step works along the
/// default dimension of the current array; when a step reduces that length
/// to 1 and steps remain, they go on along the next length that is not 1,
/// and when none is left the result has length 0 there. With a dim, n steps
/// along it (a length of at most n gives length 0). Order 0 returns A's
/// copy. Every numeric class and char.
[[nodiscard]] MATRIX_API CMatrix *Diff(const CMatrix *A, unsigned int order, unsigned int dim);

/// The medians along dim (0: default), or over the dimensions in `dims`
/// (the overload with a list). Each line's elements are ordered by value;
/// an odd count gives the middle one, an even count the lower and upper
/// middles a and b averaged as (a + b) / 2, or as a/2 + b/2 when that sum
/// overflows although a and b are finite. Integer classes keep their class:
/// the exact (a + b) / 2 rounded half away from zero. Single gives single
/// (a and b as doubles, the average rounded once). A line holding NaN gives
/// NaN with NanFlag::kInclude; kOmit passes NaNs over. A line of no
/// elements (or only NaNs under kOmit) gives NaN (0 for integers); the 0x0
/// array gives the 1x1 NaN. A complex array (double or single) is taken
/// along one dimension or over all of them (else CFunctionErrorException):
/// its lines ordered as Sort orders complex values (modulus, then angle; a
/// value with a NaN part counts as NaN), the middles averaged part by part
/// as above; the result is complex.
[[nodiscard]] MATRIX_API CMatrix *Median(const CMatrix *A, unsigned int dim, NanFlag nan);
[[nodiscard]] MATRIX_API CMatrix *Median(const CMatrix *A, const std::vector<unsigned int> &dims,
                                         NanFlag nan);

/// The most frequent value of each line along dim (0: default) into M, the
/// smallest of equally frequent ones; its count into F (double); and, when C
/// is not null, into *C a cell array of M's shape whose elements are the
/// columns of every value of that count, ascending. NaNs are passed over; a
/// line of no elements or only NaNs gives NaN (0 for integers) with count
/// 0 and an empty 0x1 column. M keeps A's class (logical stays logical,
/// char stays char); values compare exactly in their class (+0 and -0 are
/// one value). Complex arrays throw as above. M, F (and *C) are set to null
/// first; after a failure they stay null.
MATRIX_API void Mode(CMatrix *&M, CMatrix *&F, CMatrix **C, const CMatrix *A, unsigned int dim);

/// Max minus Min along dim (0: default), computed by Minus in A's class
/// (integers saturate). NaNs are passed over as Max and Min do.
[[nodiscard]] MATRIX_API CMatrix *Range(const CMatrix *A, unsigned int dim);
/// The smallest (S) and largest (L) elements along dim (0: default): Min
/// and Max. S and L are set to null first.
MATRIX_API void Bounds(CMatrix *&S, CMatrix *&L, const CMatrix *A, unsigned int dim);

/// The variance (root false) or standard deviation (root true) of A along
/// the dimensions in `dims` (empty: every dimension; the list {0}: the
/// default dimension, the 0x0 array giving the 1x1 NaN), with the weight w:
///   - null, 0x0 or the scalar 0: divide by n - 1 (by 1 when n is 1); along
///     one dimension this is Var(A, dim) or Std(A, dim), bit for bit, every
///     class rule included; over several dimensions the same order: the
///     in-order sum from 0.0 over n, then the in-order sum of squared
///     deviations from 0.0 over n - 1;
///   - the scalar 1: the same sums, the second divided by n;
///   - a vector of n weights w_k >= 0 (n the line's length): mu = (the
///     in-order sum of w_k * x_k) / (the in-order sum of w_k), then the
///     in-order sum of w_k * ((x_k - mu) * (x_k - mu)) over the sum of w_k.
/// A line of no elements gives NaN. Throws CFunctionErrorException for any
/// other weight ("Var: the weight must be 0, 1 or a vector of nonnegative
/// weights of the line's length"), and for complex A with a weight or
/// several dimensions.
[[nodiscard]] MATRIX_API CMatrix *VarWeighted(const CMatrix *A, const CMatrix *w,
                                              const std::vector<unsigned int> &dims, bool root);

/// VarWeighted into V, and into M the means the deviations were taken from:
/// with no weight, 0 or 1, Mean's (MeanAll's for every dimension; single
/// stays single); with a vector of weights, (the in-order sum of w_k * x_k)
/// / (the in-order sum of w_k) per line, rounded once to single for single
/// A. V and M are set to null first and stay null after a failure.
MATRIX_API void VarWeighted(CMatrix *&V, CMatrix *&M, const CMatrix *A, const CMatrix *w,
                            const std::vector<unsigned int> &dims, bool root);

/// The covariance matrix of the columns of X (rows are observations; a
/// vector is one variable): C(i, j) = (the in-order sum over rows k of
/// (x_ki - mu_i) * (x_kj - mu_j)) / (n - 1) (n with `byN`; 1 when n is 1),
/// mu the column means as Mean gives them; C(j, i) is C(i, j). X with no
/// rows gives NaN entries; the 0x0 array the 1x1 NaN.
[[nodiscard]] MATRIX_API CMatrix *Cov(const CMatrix *X, bool byN);
/// The 2x2 covariance of x(:) and y(:), which must have as many elements.
[[nodiscard]] MATRIX_API CMatrix *Cov(const CMatrix *x, const CMatrix *y, bool byN);
/// The correlation coefficients: with C = Cov(X, false), R(i, j) =
/// C(i, j) / sqrt(C(i, i) * C(j, j)), clamped to [-1, 1] (NaN stays), and
/// R(i, i) = C(i, i) / C(i, i) (1, or NaN for a constant column).
[[nodiscard]] MATRIX_API CMatrix *Corrcoef(const CMatrix *X);
/// Complex X (double or single) gives the complex covariance: C(i, j) the
/// in-order sum of conj(x_ki - mu_i) * (x_kj - mu_j), each product formed
/// as (ar*br + ai*bi) + (ar*bi - ai*br)i, the diagonal real (the result
/// real when every imaginary part is zero); Corrcoef of it
/// divides by sqrt(C(i, i) * C(j, j)) without clamping.
/// Corrcoef of the two columns x(:) and y(:).
[[nodiscard]] MATRIX_API CMatrix *Corrcoef(const CMatrix *x, const CMatrix *y);

/// The percentiles p (in [0, 100]) of A along dim (0: default; a vector
/// along its length). NaNs are passed over. With the line's n sorted values
/// x_1 .. x_n taken as the percentiles 100 * (k - 0.5) / n, the position of
/// p is h = n * p / 100 + 0.5; h <= 1 gives x_1, h >= n gives x_n, else with
/// k = floor(h) the value x_k + (h - k) * (x_{k+1} - x_k) (x_k itself when
/// h is whole or x_k equals x_{k+1}). A line of no values gives NaN. The
/// result has A's shape with dimension dim of length numel(p) (a row A
/// gives a row, whatever p's shape). Throws CFunctionErrorException
/// ("Prctile: the percentages must be in [0, 100]") for p outside or NaN.
[[nodiscard]] MATRIX_API CMatrix *Prctile(const CMatrix *A, const CMatrix *p, unsigned int dim);
/// Prctile with probabilities in [0, 1]: the same as Prctile(A, 100 * p).
[[nodiscard]] MATRIX_API CMatrix *Quantile(const CMatrix *A, const CMatrix *p, unsigned int dim);

/// The window statistics of Movsum and its kin.
enum class MovingKind { kSum, kMean, kMax, kMin, kMedian, kProd, kVar, kStd, kMad };

/// The statistic of the window of kb elements before and kf after each
/// element along dim (0: default), the window shrunk at the ends. A's shape
/// is kept. kSum: the in-order sum of the window from 0.0; kMean: that sum
/// over the window's count; kMax/kMin: the largest/smallest; kMedian: as
/// Median; kProd: the in-order product from 1.0; kVar: the in-order sum of
/// (x - mean)^2 from 0.0 over count - 1 (0 for one element), kStd its
/// square root; kMad: the median of |x - median|. With NanFlag::kInclude a
/// window holding NaN gives NaN; with kOmit NaNs are passed over (a window
/// of only NaNs gives NaN; kSum gives 0, kProd 1). Integer A (computed in
/// double): kSum, kProd, kMax, kMin and kMedian give A's class (rounded,
/// saturated), kMean gives double, and kVar, kStd and kMad throw
/// CFunctionErrorException "Moving: the argument must be double or
/// single". Complex A throws "Moving: complex values are not supported".
[[nodiscard]] MATRIX_API CMatrix *Moving(const CMatrix *A, MovingKind kind, unsigned int kb,
                                         unsigned int kf, unsigned int dim, NanFlag nan);

/// What the windows that do not fit in a line give ('Endpoints'): the
/// statistic of the shrunk window, nothing (the line keeps only the
/// elements whose whole window fits: n - kb - kf of them, or none), or
/// `value` (NaN for 'fill').
struct MovingEnds {
    enum class Kind { kShrink, kDiscard, kFill } kind = Kind::kShrink;
    double value = 0;
};
/// Moving with the ends as `ends` says.
[[nodiscard]] MATRIX_API CMatrix *Moving(const CMatrix *A, MovingKind kind, unsigned int kb,
                                         unsigned int kf, unsigned int dim, NanFlag nan,
                                         const MovingEnds &ends);

/// The trapezoidal integral of the lines of Y along dim (0: default): the
/// in-order sum from 0.0 of the panels ((x_{k+1} - x_k) * (y_k + y_{k+1}))
/// / 2. X null means unit spacing, panels (y_k + y_{k+1}) / 2; a scalar X
/// is the spacing h, panels (h * (y_k + y_{k+1})) / 2; a vector X gives the
/// points and must have the line's length ("Trapz: the points must be as
/// many as the lines' length"). A line of 0 or 1 element gives 0.
/// Dimension dim becomes 1; with dim 0 the 0x0 array gives the 1x1 0.
[[nodiscard]] MATRIX_API CMatrix *Trapz(const CMatrix *X, const CMatrix *Y, unsigned int dim);
/// The running sums of Trapz's panels, starting at 0; Y's shape.
[[nodiscard]] MATRIX_API CMatrix *Cumtrapz(const CMatrix *X, const CMatrix *Y, unsigned int dim);

/// An estimate of the 2-norm of the real matrix A by power iteration on
/// A'A: e = ||x|| for x the column sums of |A|, x = x / e; then, while
/// |e - e0| > tol * e: e0 = e, Ax = A x (when Ax is 0, x is first replaced
/// by (1, 2, .., n) over its norm and Ax taken again), x = A' Ax, e = ||x||
/// / ||Ax||, x = x / ||x||. Products are in-order sums from 0.0 and ||v|| is
/// sqrt of the in-order sum of squares. A zero or empty A gives 0 in no
/// steps; a NaN ends the iteration with NaN. After 100 steps it stops, with
/// `count` (the steps made, when not null) set to 101 to say so.
MATRIX_API double Normest(const CMatrix *A, double tol, unsigned int *count);

/// A scaled linearly to [l, u] over all its elements: with mn and mx A's
/// least and largest elements (NaNs passed over), each element becomes l +
/// ((a - mn) / (mx - mn)) * (u - l); a constant A gives l everywhere, and a
/// NaN element stays NaN. Integer A gives double.
[[nodiscard]] MATRIX_API CMatrix *Rescale(const CMatrix *A, double l, double u);

/// The ways Normalize centres and scales each line.
enum class NormalizeMethod {
    kZscore,     // (a - mean) / std, std as Std (n - 1); with statistic kMad
                 // ('robust') (a - median) / mad; a scale of 0 divides by 1
    kRange,      // l + ((a - min) / (max - min)) * (u - l) per line, as Rescale
    kNorm,       // a / (the p-norm of the line)
    kCenter,     // a - c: c the mean (centre kMean), the median, or a value
    kScale,      // a / s: s the std (kStd), mad, first element, iqr or a value
    kMedianIqr,  // (a - median) / iqr; an iqr of 0 divides by 1
    kCenterScale,  // (a - c) / s: c as kCenter (statistic, value), s as
                   // kScale (scaleStatistic, scaleValue)
};
/// The centre or scale of kCenter and kScale. mad is the median of |a -
/// median|; iqr is the 75th minus the 25th percentile as Prctile gives
/// them; kFirst is the line's first element.
enum class NormalizeStatistic { kMean, kMedian, kStd, kValue, kMad, kFirst, kIqr };

/// The parameters of Normalize; unused ones are ignored.
struct NormalizeOptions {
    NormalizeMethod method = NormalizeMethod::kZscore;
    double p = 2;         // kNorm: p >= 1 or Inf
    double l = 0, u = 1;  // kRange
    NormalizeStatistic statistic = NormalizeStatistic::kMean;
    double value = 0;  // kCenter / kScale with kValue
    NormalizeStatistic scaleStatistic = NormalizeStatistic::kStd;  // kCenterScale
    double scaleValue = 1;
};
/// Normalizes the lines of A along dim (0: default) as `options` say; A's
/// shape is kept. Means are Mean's, std Std's (n - 1), medians Median's; the
/// p-norm is (the in-order sum of |a|^p)^(1/p) (sqrt of the sum of squares
/// for 2, the largest |a| for Inf). zscore is the kZscore method.
[[nodiscard]] MATRIX_API CMatrix *Normalize(const CMatrix *A, unsigned int dim,
                                            const NormalizeOptions &options);

// The Array forms: the functions above, results adopted; dim 0 is the
// default dimension.
MATRIX_API Array Diff(const Array &a, unsigned int order = 1, unsigned int dim = 0);
MATRIX_API Array Median(const Array &a, unsigned int dim = 0, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array Prctile(const Array &a, const Array &p, unsigned int dim = 0);
MATRIX_API Array Trapz(const Array &y, unsigned int dim = 0);
MATRIX_API Array Trapz(const Array &x, const Array &y, unsigned int dim = 0);
MATRIX_API Array Cov(const Array &x);
MATRIX_API Array Corrcoef(const Array &x);
MATRIX_API Array Moving(const Array &a, MovingKind kind, unsigned int kb, unsigned int kf,
                        unsigned int dim = 0, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array Normalize(const Array &a, unsigned int dim = 0,
                           const NormalizeOptions &options = NormalizeOptions());

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_STATS_H
