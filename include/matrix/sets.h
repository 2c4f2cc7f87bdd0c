// include/matrix/sets.h: searching, sets, sorting by rows, running extremes
// and counting (histograms, accumulation by subscript).
//
// Classes: every class that holds numbers is taken (integers, single,
// complex, char, logical), each compared in its own class on Sort's order
// (reduce.h: real by value, complex by modulus then angle, NaN after every
// number ascending). Two elements are equal when == holds in their class
// (both parts for complex): +0 equals -0, and NaN never equals anything, so
// every NaN is a value of its own (unique([NaN NaN]) keeps both). Cell,
// struct and the classes that hold no numbers throw
// CNotImplementedException. Arguments are never changed; a failed call
// leaves nothing allocated. Positions are 1-based whole-number doubles.
// Everything is O(n log n) or better: the stable Sort of reduce.h, then
// linear passes.
#ifndef MATRIX_SETS_H
#define MATRIX_SETS_H

#include <matrix/array.h>
#include <matrix/cmatrix.h>
#include <matrix/export.h>
#include <matrix/reduce.h>

#include <cstdint>
#include <vector>

namespace kiv {
namespace matrix {

// ---------------------------------------------------------------------------
// The index engine of the set functions. Any list of n items that can be
// stably sorted and compared for equality (numbers, rows, texts) becomes
// SetGroups: its items in sorted order and, for each item, its group (the
// class of equal items), groups numbered from 0 in sorted order. The set
// functions are then pure index work on the groups, the same for every kind
// of item.

/// Items grouped by equality.
struct SetGroups {
    std::vector<std::uint32_t> order;  // the items (0-based) in stable sorted order
    std::vector<std::uint32_t> group;  // the group of each item, by item
    std::uint32_t count = 0;           // the number of groups
};

/// Groups items from their stable sorted order and, for each position k >= 1
/// of that order, whether the item there equals the one before it.
MATRIX_API SetGroups GroupsFromOrder(std::vector<std::uint32_t> order,
                                     const std::vector<char> &sameAsPrevious);
/// Groups the elements of A in column-major order. Throws
/// CNotImplementedException for the classes that hold no numbers.
MATRIX_API SetGroups GroupElements(const Array &a);
/// Groups the rows of a two-dimensional A. Throws CFunctionErrorException
/// for more dimensions, CNotImplementedException as GroupElements.
MATRIX_API SetGroups GroupRows(const Array &a);

/// Which item stands for each group of the output of unique, and where each
/// item went.
struct UniqueIndex {
    std::vector<std::uint32_t> take;  // the item (0-based) giving each output element
    std::vector<std::uint32_t> ic;    // the output element (0-based) of each item
};
/// The unique index of groups g: the groups in sorted order or, when
/// `stable`, in the order of their first item; each represented by its
/// first item, or its last when `last`.
MATRIX_API UniqueIndex UniqueIndices(const SetGroups &g, bool stable, bool last);

/// The set operations of two lists.
enum class SetOperation { kUnion, kIntersect, kSetdiff, kSetxor };

/// The items of two lists chosen by a set operation.
struct SetIndex {
    std::vector<std::uint32_t> take;  // the item of the joined list giving each output element
    std::vector<std::uint32_t> ia;    // the positions (0-based) in the first list taken
    std::vector<std::uint32_t> ib;    // the positions (0-based) in the second list taken
};
/// The set operation over groups g of the joined list (the nA items of the
/// first list, then those of the second): union takes every group,
/// intersect those in both, setdiff those only in the first, setxor those
/// in exactly one; in sorted order, or when `stable` in the order of their
/// first item. A group is represented by its first item in the first list
/// when it has one, else by its first in the second; ia lists the output
/// elements taken from the first list (for intersect, every one) and ib
/// those taken from the second (for intersect, every one's first in the
/// second).
MATRIX_API SetIndex SetIndices(const SetGroups &g, std::uint32_t nA, SetOperation op, bool stable);
/// For each of the nA items of the first list, 0 when no item of the
/// second list equals it, else 1 + the lowest position (0-based) in the
/// second list of an equal item.
MATRIX_API std::vector<std::uint32_t> MemberIndices(const SetGroups &g, std::uint32_t nA);

// ---------------------------------------------------------------------------
// Set functions of arrays.
//
// Without `rows` the elements of A (and B) are taken in column-major order
// whatever their shape, and values come out as a row when A (and B, for
// two arrays; A alone for Setdiff) is a row vector or 0x0, else as a
// column; 0x0 inputs give a 0x0 result. With `rows` the rows of
// two-dimensional arrays are the items (B with A's number of columns), and
// values come out as rows of a matrix. Two arrays of different classes are
// joined as the concatenation [A; B] joins them (its class rules), so
// Union(int8, double) is int8. Index outputs are columns.

struct SetOptions {
    bool stable = false;  // order of first appearance instead of sorted
    bool rows = false;    // rows are the items
    bool last = false;    // Unique: the last of equal items represents them
};

/// The values of Unique and where they came from: C = A(ia), A = C(ic).
struct UniqueResult {
    Array values;
    Array ia;
    Array ic;
};
/// Returns the distinct elements (or rows) of A, sorted unless
/// options.stable. Throws CNotImplementedException for cell and struct,
/// CFunctionErrorException for rows of an array of more than two dimensions.
MATRIX_API UniqueResult Unique(const Array &a, SetOptions options = {});

/// The values of a two-array set function: C sorted (or stable), from
/// A(ia) and B(ib).
struct SetResult {
    Array values;
    Array ia;
    Array ib;
};
MATRIX_API SetResult Union(const Array &a, const Array &b, SetOptions options = {});
MATRIX_API SetResult Intersect(const Array &a, const Array &b, SetOptions options = {});
/// C = A(ia); ib is empty.
MATRIX_API SetResult Setdiff(const Array &a, const Array &b, SetOptions options = {});
MATRIX_API SetResult Setxor(const Array &a, const Array &b, SetOptions options = {});

/// Ismember's truth (logical, shaped like A, or a column over A's rows)
/// and the lowest position in S of each member (0 for the others).
struct MemberResult {
    Array tf;
    Array loc;
};
MATRIX_API MemberResult Ismember(const Array &a, const Array &s, bool rows = false);

/// Returns the distinct elements of A, sorted: a new array owned by the
/// caller. Throws as Unique above.
[[nodiscard]] MATRIX_API CMatrix *Unique(const CMatrix *A);
/// Returns the sorted union of A and B.
[[nodiscard]] MATRIX_API CMatrix *Union(const CMatrix *A, const CMatrix *B);
/// Returns the sorted intersection of A and B.
[[nodiscard]] MATRIX_API CMatrix *Intersect(const CMatrix *A, const CMatrix *B);
/// Returns the sorted elements of A that are not in B.
[[nodiscard]] MATRIX_API CMatrix *Setdiff(const CMatrix *A, const CMatrix *B);
/// Returns the sorted elements in exactly one of A and B.
[[nodiscard]] MATRIX_API CMatrix *Setxor(const CMatrix *A, const CMatrix *B);
/// Returns a logical array shaped like A: true where A's element is in S.
[[nodiscard]] MATRIX_API CMatrix *Ismember(const CMatrix *A, const CMatrix *S);

// ---------------------------------------------------------------------------
// Sorting by rows and tests of order.

/// The stable order of the rows of a two-dimensional A by the columns in
/// `columns` (1-based; a negative one sorts that column in descending
/// order), the first column deciding first; empty `columns` means every
/// column ascending. Each column is compared on Sort's order (NaN last
/// ascending, first descending). Returns the 0-based rows in order. Throws
/// CFunctionErrorException for more dimensions or a column that is 0 or
/// beyond the last, CNotImplementedException for cell and struct.
MATRIX_API std::vector<std::uint32_t> SortrowsOrder(const Array &a, const std::vector<int> &columns = {});
/// Returns A's rows sorted as SortrowsOrder sorts them (values) and the
/// 1-based rows they came from (positions, a column).
MATRIX_API ValuesPositions Sortrows(const Array &a, const std::vector<int> &columns = {});
/// Returns A's rows sorted by every column ascending: a new array.
[[nodiscard]] MATRIX_API CMatrix *Sortrows(const CMatrix *A);
/// True when A is in the order Sort gives it (so equal neighbours are
/// allowed, NaN last ascending and first descending): a vector along its
/// length, any other array down every column.
MATRIX_API bool Issorted(const Array &a, SortOrder order = SortOrder::kAscend);
/// True when A's rows are in the order of SortrowsOrder(A).
MATRIX_API bool IssortedRows(const Array &a, SortOrder order = SortOrder::kAscend);

// ---------------------------------------------------------------------------
// Searching.

/// Which non-zero elements Find keeps when it keeps k of them.
enum class FindDirection { kFirst, kLast };
/// The first (or last) k of the positions Find(A) gives, in increasing
/// order, shaped as Find shapes them.
MATRIX_API Array Find(const Array &a, unsigned int k, FindDirection direction = FindDirection::kFirst);
/// The rows, columns and values of those k elements, as Find(R, C, V, A).
MATRIX_API ThreeArrays FindRowsColsValues(const Array &a, unsigned int k, FindDirection direction);
/// The values of the non-zero elements of A as a column, in column-major
/// order, of A's class (0x1... k x 1).
MATRIX_API Array Nonzeros(const Array &a);

// ---------------------------------------------------------------------------
// Running maxima and minima.
//
// Cummax and Cummin keep A's shape and class (char gives double): element
// k of a line (along dim, or from the last element to the first when
// `reverse`) is the greatest (least) of the line's elements up to k. NaN is
// missing data: it is passed over, so the running value is NaN only until
// the line's first number. Real classes only: complex throws
// CFunctionErrorException("Cummax: complex arrays are not supported", and
// "Cummin: ..."); cell and struct CNotImplementedException; a dim of 0
// CFunctionErrorException("Dimension argument must be a positive
// integer"). Without dim the default dimension of Sum.

MATRIX_API Array Cummax(const Array &a, bool reverse = false);
MATRIX_API Array Cummax(const Array &a, Dim dim, bool reverse = false);
MATRIX_API Array Cummin(const Array &a, bool reverse = false);
MATRIX_API Array Cummin(const Array &a, Dim dim, bool reverse = false);
[[nodiscard]] MATRIX_API CMatrix *Cummax(const CMatrix *A, unsigned int dim);
[[nodiscard]] MATRIX_API CMatrix *Cummin(const CMatrix *A, unsigned int dim);

// ---------------------------------------------------------------------------
// Counting. Values of every real numeric class are read as doubles; complex
// throws CFunctionErrorException. Counts are doubles.

/// Histc: count k (1-based) holds the elements x with edges(k) <= x <
/// edges(k+1), the last count those equal to edges(end); elements outside,
/// and NaN, are not counted and have bin 0. A vector x gives counts shaped
/// like x (as long as edges); a matrix, one column of counts per column.
/// bin is shaped like x. Edges must be a non-decreasing vector of numbers
/// ("Histc: the edges must be a non-decreasing vector").
struct CountsBins {
    Array counts;
    Array bins;
};
MATRIX_API CountsBins Histc(const Array &x, const Array &edges);
/// Histc along dimension dim (0: as above): the counts have x's shape with
/// that dimension as long as edges (a dimension beyond the last, each
/// element its own line).
MATRIX_API CountsBins Histc(const Array &x, const Array &edges, unsigned int dim);
[[nodiscard]] MATRIX_API CMatrix *Histc(const CMatrix *x, const CMatrix *edges);

/// Histcounts over the elements of x (any shape): bin k holds edges(k) <= x
/// < edges(k+1), the last bin closed on the right; elements outside and NaN
/// are not counted (bin 0). Counts form a row; edges come back as a row.
struct Histogram {
    Array counts;
    Array edges;
    Array bins;
};
/// The edges given: a non-decreasing vector of at least two numbers.
MATRIX_API Histogram Histcounts(const Array &x, const Array &edges);
/// nbins equal bins from the least to the greatest finite element (a data
/// span of 0 around the value v gives edges from v - 0.5 to v + 0.5; no
/// finite element, 0 to 1). The edges are lo + k * (hi / nbins - lo /
/// nbins), the last one hi exactly.
MATRIX_API Histogram Histcounts(const Array &x, unsigned int nbins);
/// The automatic bins, over the finite elements (lo the least, hi the
/// greatest, n of them): whole numbers spanning hi - lo <= 50 (within
/// 2^52) get one bin of width 1 centred on each whole number from lo to hi;
/// other data Scott's width raw = 3.5 * std / n^(1/3) (std dividing by n -
/// 1, sums in order), made "nice": with p the power of ten at or below raw
/// and r = raw / p, the width w is p times 1 (r < 1.5), 2 (< 2.5), 3 (< 4),
/// 5 (< 7.5) or 10; the edges start at min(w * floor(lo / w), lo), step by
/// w over max(1, ceil((hi - left) / w)) bins, the last edge max(left +
/// bins * w, hi). Data whose span is below sqrt(eps(max(|lo|, |hi|))) get
/// one bin from floor(2 * (lo - 1/4)) / 2 to ceil(2 * (hi + 1/4)) / 2. No
/// finite element gives the one bin [0, 1]; data too spread for the width
/// to be a number, ten equal bins as Histcounts(x, 10); more than 65536
/// bins, Histcounts(x, 65536).
MATRIX_API Histogram Histcounts(const Array &x);
[[nodiscard]] MATRIX_API CMatrix *Histcounts(const CMatrix *x, const CMatrix *edges);

/// The normalisations of histogram counts c over n elements of x and bin
/// widths w: count c; probability c / n; pdf c / (n * w); cdf the running
/// sum of c over n; countdensity c / w; cumcount the running sum of c.
enum class HistNormalization { kCount, kProbability, kPdf, kCdf, kCountDensity, kCumCount };
MATRIX_API Array Normalized(const Histogram &h, unsigned int n, HistNormalization how);

/// How Accumarray combines the values of one subscript.
enum class AccumOp { kSum, kProd, kMax, kMin, kMean };
/// The output positions of Accumarray: subs is an m x d array of positive
/// whole numbers, one subscript (of d dimensions) per row; `size` (empty:
/// the greatest subscript in each column, a column for d = 1) the output's
/// lengths, at least d of them (for d = 1 [n 1] or [1 n]). Returns the
/// 0-based linear output position of each row, and stores the lengths into
/// dims. Throws CFunctionErrorException naming Accumarray for subscripts
/// that are not positive whole numbers or exceed `size`.
MATRIX_API std::vector<std::uint32_t> AccumPositions(const Array &subs, const std::vector<unsigned int> &size,
                                                    std::vector<unsigned int> &dims);
/// Accumarray: the values of the rows with one subscript combined by `op`
/// in the order of the rows (sum from 0.0, product from 1.0, max and min
/// passing over NaN as Max does, mean the sum over the count); positions
/// no row names hold `fill`. val is a scalar (taken for every row) or has
/// one element per row; double, single, logical and the integer classes
/// are computed in double, and integer and single results converted back
/// to val's class (saturating). The result is a new array of `dims`.
MATRIX_API Array Accumarray(const Array &subs, const Array &val, const std::vector<unsigned int> &size = {},
                            AccumOp op = AccumOp::kSum, double fill = 0.0);
/// Returns Accumarray(subs, val) summing: a new array owned by the caller.
[[nodiscard]] MATRIX_API CMatrix *Accumarray(const CMatrix *subs, const CMatrix *val);

// ---------------------------------------------------------------------------
// The reduction options of reduce.h for C++ users of Array.

MATRIX_API Array SumAll(const Array &a, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array Sum(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array ProdAll(const Array &a, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array Prod(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array MeanAll(const Array &a, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array Mean(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan = NanFlag::kInclude);
MATRIX_API Array AllAll(const Array &a);
MATRIX_API Array All(const Array &a, const std::vector<unsigned int> &dims);
MATRIX_API Array AnyAll(const Array &a);
MATRIX_API Array Any(const Array &a, const std::vector<unsigned int> &dims);
MATRIX_API ValuesPositions MaxAll(const Array &a, NanFlag nan = NanFlag::kOmit);
MATRIX_API ValuesPositions Max(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan = NanFlag::kOmit);
MATRIX_API ValuesPositions MinAll(const Array &a, NanFlag nan = NanFlag::kOmit);
MATRIX_API ValuesPositions Min(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan = NanFlag::kOmit);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SETS_H
