// include/matrix/construct.h: constructors of filled arrays, ranges and diagonals.
#ifndef MATRIX_CONSTRUCT_H
#define MATRIX_CONSTRUCT_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

#include <cstdint>

namespace kiv {
namespace matrix {

// Filled arrays. Zeros, Ones, Rand and Randn come in four forms: n gives
// n x n; m, n gives m x n; m, n, p gives m x n x p; nDims, dims gives the
// shape dims[0..nDims). Trailing lengths of 1 beyond the second are dropped
// (2 x 3 x 1 is 2 x 3), no lengths give 0x0 and a single length n gives
// n x 1. The result is a new real mxClassDouble array, flags 0, owned by the
// caller. A shape whose element count or byte size does not fit in 32 bits,
// and a failed allocation, throw kiv::CExhaustedMemoryException. Write a
// zero length as 0u: a plain 0 also converts to a null `dims`, and the call
// is ambiguous.
//
// Every function of the library that returns a new CMatrix is
// [[nodiscard]]: a dropped result is a leak. Programs written with Array
// call the constructors of namespace kiv::matrix::values (<matrix/array.h>),
// which return Array.

/// Creates an n x n array of zeros (every byte zero). See "Filled arrays".
[[nodiscard]] MATRIX_API CMatrix *Zeros(unsigned int n);
/// Creates an m x n array of zeros.
[[nodiscard]] MATRIX_API CMatrix *Zeros(unsigned int m, unsigned int n);
/// Creates an m x n x p array of zeros.
[[nodiscard]] MATRIX_API CMatrix *Zeros(unsigned int m, unsigned int n, unsigned int p);
/// Creates an array of zeros shaped dims[0..nDims).
[[nodiscard]] MATRIX_API CMatrix *Zeros(unsigned int nDims, const unsigned int *dims);

/// Creates an n x n array of ones. See "Filled arrays".
[[nodiscard]] MATRIX_API CMatrix *Ones(unsigned int n);
/// Creates an m x n array of ones.
[[nodiscard]] MATRIX_API CMatrix *Ones(unsigned int m, unsigned int n);
/// Creates an m x n x p array of ones.
[[nodiscard]] MATRIX_API CMatrix *Ones(unsigned int m, unsigned int n, unsigned int p);
/// Creates an array of ones shaped dims[0..nDims).
[[nodiscard]] MATRIX_API CMatrix *Ones(unsigned int nDims, const unsigned int *dims);

// Random arrays make one call of kiv::Rand() (uniform) or kiv::Randn()
// (normal) per element, in column-major order, and only once the array
// exists: a refused shape draws nothing.

/// Creates an n x n array of uniform random numbers. See "Filled arrays".
[[nodiscard]] MATRIX_API CMatrix *Rand(unsigned int n);
/// Creates an m x n array of uniform random numbers.
[[nodiscard]] MATRIX_API CMatrix *Rand(unsigned int m, unsigned int n);
/// Creates an m x n x p array of uniform random numbers.
[[nodiscard]] MATRIX_API CMatrix *Rand(unsigned int m, unsigned int n, unsigned int p);
/// Creates an array of uniform random numbers shaped dims[0..nDims).
[[nodiscard]] MATRIX_API CMatrix *Rand(unsigned int nDims, const unsigned int *dims);

/// Creates an n x n array of normal random numbers. See "Filled arrays".
[[nodiscard]] MATRIX_API CMatrix *Randn(unsigned int n);
/// Creates an m x n array of normal random numbers.
[[nodiscard]] MATRIX_API CMatrix *Randn(unsigned int m, unsigned int n);
/// Creates an m x n x p array of normal random numbers.
[[nodiscard]] MATRIX_API CMatrix *Randn(unsigned int m, unsigned int n, unsigned int p);
/// Creates an array of normal random numbers shaped dims[0..nDims).
[[nodiscard]] MATRIX_API CMatrix *Randn(unsigned int nDims, const unsigned int *dims);

/// Creates the n x n identity matrix: Eye(n, n).
[[nodiscard]] MATRIX_API CMatrix *Eye(unsigned int n);
/// Creates an m x n real double array of zeros with 1.0 at (i, i) for every
/// i below min(m, n): a new array owned by the caller. Throws
/// kiv::CExhaustedMemoryException as the filled arrays above.
[[nodiscard]] MATRIX_API CMatrix *Eye(unsigned int m, unsigned int n);

/// Creates a 1x1 real double array holding x (every bit pattern kept): a new
/// array owned by the caller. Throws kiv::CExhaustedMemoryException when
/// storage cannot be obtained.
[[nodiscard]] MATRIX_API CMatrix *Scalar(double x);

/// The shape of the range start:step:end: its element count (a whole
/// number, 0 for none, without Colon's bound) and whether its last element
/// is end itself.
struct ColonShape {
    double count;
    bool reachesEnd;
};
/// The shape of start:step:end as Colon counts it (see below), without
/// building it; never throws.
[[nodiscard]] MATRIX_API ColonShape ColonCount(double start, double step, double end);
/// Element k (0-based, k < shape.count) of start:step:end, of the shape
/// ColonCount gave: the value Colon stores there, bit for bit. Every
/// element is computed on its own, so no rounding accumulates along the
/// row: the first half from start, the second from end when the range
/// reaches it. The last element is then end exactly and the range is
/// symmetric about its middle; integer ranges are exact either way. The
/// first element is start itself (an infinite step times 0 would be NaN).
inline double ColonElement(const ColonShape &shape, double start, double step, double end,
                           std::uint64_t k) {
    const std::uint64_t count = static_cast<std::uint64_t>(shape.count);
    const std::uint64_t half =
        shape.reachesEnd ? (count / 2 > 1 ? count / 2 : std::uint64_t{1}) : count;
    if (k == 0) return start;
    if (k < half) return start + static_cast<double>(k) * step;
    return end - static_cast<double>(count - 1 - k) * step;
}

/// Creates the range start:end with step 1: Colon(start, 1.0, end).
[[nodiscard]] MATRIX_API CMatrix *Colon(double start, double end);
/// Creates the row vector start:step:end, a new real double array owned by
/// the caller. With q = (end - start) / step, taken as the nearest integer
/// when it lies within 3 eps * max(|start|, |end|) / |step| of it, the count
/// is floor(q) + 1: 0:0.1:0.3 has 4 elements, 1:0.5 none. Each element is
/// computed on its own: element k is start + k*step, except that when q was
/// (or was taken as) an integer, the second half, from element count/2 on,
/// is end - (count-1-k)*step, so that the last element is end exactly. The
/// first element is always start. A step of 0, a NaN quotient and a
/// negative count give a 1x0 array. Throws kiv::CExhaustedMemoryException
/// when the count exceeds 2147483647 (an infinite end included), its byte
/// size does not fit in 32 bits, or storage cannot be obtained.
[[nodiscard]] MATRIX_API CMatrix *Colon(double start, double step, double end);

/// Creates the row of 100 points from a to b: Linspace(a, b, 100).
[[nodiscard]] MATRIX_API CMatrix *Linspace(double a, double b);
/// Creates the 1 x n row of equally spaced points from a to b, a new real
/// double array owned by the caller. The first element is a and the last
/// exactly b; each interior element k (0-based) is computed on its own as
/// a + k*(b - a)/(n - 1), in that order (the product, then the quotient,
/// then the sum), so no error accumulates along the row. n = 1 gives [b];
/// n = 0 gives a 1x0 row. Non-finite ends give what the formula gives (the
/// interior of Linspace(0, Inf, 3) is Inf, of Linspace(-Inf, Inf, 3) NaN).
/// Throws kiv::CExhaustedMemoryException when n's byte size does not fit
/// in 32 bits or storage cannot be obtained.
[[nodiscard]] MATRIX_API CMatrix *Linspace(double a, double b, unsigned int n);

/// Replicates A in an m x n grid of blocks: the result has A's first length
/// times m, its second length times n, and A's further lengths, and block
/// (i, j) of every trailing slab is that slab of A. Any class holding plain
/// values (numeric and char; real or complex) is copied element by element
/// with its bits, and the logical flag is kept; m or n of 0 gives an empty
/// array of that shape. Returns a new array owned by the caller; A is not
/// changed. Throws CNotImplementedException for a cell or struct array and
/// kiv::CExhaustedMemoryException when a length or the byte size does not
/// fit in 32 bits or storage cannot be obtained.
[[nodiscard]] MATRIX_API CMatrix *Repmat(const CMatrix *A, unsigned int m, unsigned int n);

/// Creates the N x N matrix, N = n + |k|, of zeros with the n values of v on
/// diagonal k (k > 0 above the main diagonal, k < 0 below it): v[0] at row
/// max(0, -k), column max(0, k), each next value one row down and one
/// column right. `v` may be null when n is 0; then the result is the
/// |k| x |k| zero matrix. A new real double array owned by the caller.
/// Throws kiv::CExhaustedMemoryException when N x N does not fit in 32 bits
/// or storage cannot be obtained.
[[nodiscard]] MATRIX_API CMatrix *Diag(unsigned int n, const double *v, int k);
/// Builds a diagonal matrix from a vector or takes a diagonal of a matrix.
/// A real double array `a` with one row or one column (1x1 included) gives
/// Diag(number of elements, data of a, k). An m x n matrix gives the column
/// of its diagonal k, of length min(m, n - k) for k >= 0 and min(m + k, n)
/// for k < 0, or a 0x1 array when that length is not positive. An array
/// without elements gives 0x0. The result is a new real double array, flags
/// 0, owned by the caller; `a` is not changed. Throws CFunctionErrorException
/// "Unknown command option" for an array of more than two dimensions,
/// CNotImplementedException for an array that is complex or not of class
/// mxClassDouble, and kiv::CExhaustedMemoryException as Diag(n, v, k).
[[nodiscard]] MATRIX_API CMatrix *Diag(const CMatrix *a, int k);

/// Sets every element of the caller's real or complex double array `a`
/// (not null) to x, in place: `a` becomes real, takes buffers of its own so
/// that arrays it shared data with keep their values, and keeps its shape,
/// class, flags and counter. Throws CNotImplementedException for an array
/// not of class mxClassDouble and kiv::CExhaustedMemoryException when the
/// shared data cannot be copied; `a` is unchanged after either.
MATRIX_API void Initialize(CMatrix *&a, double x);
/// Makes `a` an empty array. An array that is already 0x0 (any class, real
/// or complex) is left as it is; otherwise a new 0x0 real double array is
/// created, the old array (when `a` is not null) is destroyed and `a` points
/// to the new one, which the caller owns. Throws
/// kiv::CExhaustedMemoryException, leaving `a` as it was, when storage
/// cannot be obtained.
MATRIX_API void Empty(CMatrix *&a);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_CONSTRUCT_H
