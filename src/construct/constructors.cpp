// src/construct/constructors.cpp: filled arrays, identity, ranges, diagonals and resets.
#include <matrix/construct.h>

#include <kiv/exception.h>
#include <kiv/random.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace kiv {
namespace matrix {

namespace {

// The largest element count of a range: an array's counts are signed
// 32-bit. A longer range is refused as any too-large shape is.
constexpr double kMaxColonCount = 2147483647.0;

// How close, in units of eps times the larger magnitude of the two ends
// (measured in steps), the quotient (end - start) / step must be to an
// integer for the range to end exactly at end. A few units absorb the
// rounding of the subtraction and the division: 0.3 / 0.1 is
// 2.9999999999999996 and 1.2 / 0.05 is 23.999999999999996.
constexpr double kColonToleranceUnits = 3.0;

enum class Fill { kZeros, kOnes, kUniform, kNormal };

double *RealData(const CMatrix *a) { return static_cast<double *>(a->GetPr()); }

// Sets p[0..n) to x. Eight elements per iteration, which the compiler turns
// into four vector stores: the one-store loop it makes of std::fill is bound
// by loop overhead and reaches about half the store rate (constructors_bench).
void FillWith(double *p, std::size_t n, double x) {
    std::size_t i = 0;
    for (; n - i >= 8; i += 8) {
        p[i] = x;
        p[i + 1] = x;
        p[i + 2] = x;
        p[i + 3] = x;
        p[i + 4] = x;
        p[i + 5] = x;
        p[i + 6] = x;
        p[i + 7] = x;
    }
    for (; i < n; ++i) p[i] = x;
}

CMatrix *NewRealDouble(unsigned int m, unsigned int n) {
    return mxCreateDoubleMatrix(m, n, mxComplexityReal);
}

// Creates a real double array of the shape dims[0..nDims) and fills it. The
// fills cannot throw, so the array is created first and nothing is drawn
// from the random generators for a shape that is refused.
CMatrix *Filled(unsigned int nDims, const unsigned int *dims, Fill fill) {
    CMatrix *a = mxCreateNumericArray(nDims, dims, mxClassDouble, mxComplexityReal);
    double *p = RealData(a);
    const std::uint32_t count = a->GetNoElems();
    switch (fill) {
        case Fill::kZeros: std::memset(p, 0, std::size_t{count} * sizeof(double)); break;
        case Fill::kOnes: FillWith(p, count, 1.0); break;
        case Fill::kUniform:
            for (std::uint32_t i = 0; i < count; ++i) p[i] = kiv::Rand();
            break;
        case Fill::kNormal:
            for (std::uint32_t i = 0; i < count; ++i) p[i] = kiv::Randn();
            break;
    }
    return a;
}

CMatrix *Filled(unsigned int m, unsigned int n, Fill fill) {
    const unsigned int dims[] = {m, n};
    return Filled(2, dims, fill);
}

CMatrix *Filled(unsigned int m, unsigned int n, unsigned int p, Fill fill) {
    const unsigned int dims[] = {m, n, p};
    return Filled(3, dims, fill);
}

}  // namespace

// Count floor(q) + 1 for q = (end - start) / step, q first taken as the
// nearest integer when within the tolerance of it. A step of 0, a NaN
// quotient and a negative count give 0 elements.
ColonShape ColonCount(double start, double step, double end) {
    if (step == 0.0) return {0.0, false};
    double q = (end - start) / step;
    if (std::isnan(q)) return {0.0, false};
    const double nearest = std::nearbyint(q);
    const double tolerance = kColonToleranceUnits * std::numeric_limits<double>::epsilon() *
                             std::max(std::fabs(start), std::fabs(end)) / std::fabs(step);
    const bool reachesEnd = std::fabs(q - nearest) <= tolerance;
    if (reachesEnd) q = nearest;
    const double count = std::floor(q) + 1.0;
    if (!(count > 0.0)) return {0.0, false};
    return {count, reachesEnd};
}

// --- Filled arrays ------------------------------------------------------------

CMatrix *Zeros(unsigned int n) { return Filled(n, n, Fill::kZeros); }
CMatrix *Zeros(unsigned int m, unsigned int n) { return Filled(m, n, Fill::kZeros); }
CMatrix *Zeros(unsigned int m, unsigned int n, unsigned int p) {
    return Filled(m, n, p, Fill::kZeros);
}
CMatrix *Zeros(unsigned int nDims, const unsigned int *dims) {
    return Filled(nDims, dims, Fill::kZeros);
}

CMatrix *Ones(unsigned int n) { return Filled(n, n, Fill::kOnes); }
CMatrix *Ones(unsigned int m, unsigned int n) { return Filled(m, n, Fill::kOnes); }
CMatrix *Ones(unsigned int m, unsigned int n, unsigned int p) {
    return Filled(m, n, p, Fill::kOnes);
}
CMatrix *Ones(unsigned int nDims, const unsigned int *dims) {
    return Filled(nDims, dims, Fill::kOnes);
}

CMatrix *Rand(unsigned int n) { return Filled(n, n, Fill::kUniform); }
CMatrix *Rand(unsigned int m, unsigned int n) { return Filled(m, n, Fill::kUniform); }
CMatrix *Rand(unsigned int m, unsigned int n, unsigned int p) {
    return Filled(m, n, p, Fill::kUniform);
}
CMatrix *Rand(unsigned int nDims, const unsigned int *dims) {
    return Filled(nDims, dims, Fill::kUniform);
}

CMatrix *Randn(unsigned int n) { return Filled(n, n, Fill::kNormal); }
CMatrix *Randn(unsigned int m, unsigned int n) { return Filled(m, n, Fill::kNormal); }
CMatrix *Randn(unsigned int m, unsigned int n, unsigned int p) {
    return Filled(m, n, p, Fill::kNormal);
}
CMatrix *Randn(unsigned int nDims, const unsigned int *dims) {
    return Filled(nDims, dims, Fill::kNormal);
}

// --- Identity and scalar --------------------------------------------------------

CMatrix *Eye(unsigned int n) { return Eye(n, n); }

CMatrix *Eye(unsigned int m, unsigned int n) {
    CMatrix *a = Zeros(m, n);
    double *p = RealData(a);
    const std::size_t stride = std::size_t{m} + 1;
    const unsigned int diagonal = std::min(m, n);
    for (unsigned int i = 0; i < diagonal; ++i) p[i * stride] = 1.0;
    return a;
}

CMatrix *Scalar(double x) {
    CMatrix *a = NewRealDouble(1, 1);
    *RealData(a) = x;
    return a;
}

// --- Ranges ---------------------------------------------------------------------

CMatrix *Colon(double start, double end) { return Colon(start, 1.0, end); }

CMatrix *Colon(double start, double step, double end) {
    const ColonShape shape = ColonCount(start, step, end);
    if (shape.count > kMaxColonCount) throw kiv::CExhaustedMemoryException();
    const auto count = static_cast<std::uint32_t>(shape.count);
    CMatrix *a = NewRealDouble(1, count);
    if (count == 0) return a;
    double *p = RealData(a);
    for (std::uint32_t k = 0; k < count; ++k) p[k] = ColonElement(shape, start, step, end, k);
    return a;
}

// --- Diagonals ------------------------------------------------------------------

CMatrix *Diag(unsigned int n, const double *v, int k) {
    // Order n + |k| in 64 bits: |INT_MIN| and the sum both overflow 32 bits.
    const std::uint64_t offset =
        k < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(static_cast<std::int64_t>(k))
              : static_cast<std::uint64_t>(k);
    const std::uint64_t order = std::uint64_t{n} + offset;
    if (order > UINT32_MAX) throw kiv::CExhaustedMemoryException();

    const auto size = static_cast<unsigned int>(order);
    CMatrix *a = Zeros(size, size);
    double *p = RealData(a);
    // First value at row -k, column 0 (k < 0) or row 0, column k; each next
    // one a row down and a column right.
    std::size_t position = k < 0 ? offset : std::size_t{size} * offset;
    const std::size_t step = std::size_t{size} + 1;
    for (unsigned int i = 0; i < n; ++i, position += step) p[position] = v[i];
    return a;
}

CMatrix *Diag(const CMatrix *a, int k) {
    if (a->GetNoDimensions() > 2) throw CFunctionErrorException(L"Unknown command option");
    // The data are read as doubles; an imaginary part would be lost silently.
    if (!a->IsDouble() || a->IsComplex()) throw CNotImplementedException();
    if (a->GetNoElems() == 0) return NewRealDouble(0, 0);

    const unsigned int m = a->GetDimensions()[0];
    const unsigned int n = a->GetDimensions()[1];
    const double *source = RealData(a);
    if (m == 1 || n == 1) return Diag(a->GetNoElems(), source, k);

    // Length of diagonal k of an m x n matrix, in signed 64-bit arithmetic so
    // that extreme offsets cannot wrap.
    const std::int64_t rows = m, columns = n, offset = k;
    const std::int64_t length =
        k >= 0 ? std::min(rows, columns - offset) : std::min(rows + offset, columns);
    if (length <= 0) return NewRealDouble(0, 1);

    CMatrix *d = NewRealDouble(static_cast<unsigned int>(length), 1);
    double *target = RealData(d);
    std::size_t position =
        k < 0 ? static_cast<std::size_t>(-offset) : std::size_t{m} * static_cast<std::size_t>(k);
    const std::size_t step = std::size_t{m} + 1;
    for (std::int64_t i = 0; i < length; ++i, position += step) target[i] = source[position];
    return d;
}

// --- Resetting the caller's array ---------------------------------------------

void Initialize(CMatrix *&a, double x) {
    // An 8-byte value does not fit narrower elements, and writing over cell
    // slots would lose the arrays they own.
    if (!a->IsDouble()) throw CNotImplementedException();

    // Unsharing is the one step that can fail, so it comes before the
    // imaginary part is dropped: a failure leaves the array as it was.
    a->GetOwnCopy();
    a->ToReal();
    FillWith(RealData(a), a->GetNoElems(), x);
}

void Empty(CMatrix *&a) {
    if (a != nullptr && a->IsEmpty()) return;
    // The replacement exists before the old array goes.
    CMatrix *empty = NewRealDouble(0, 0);
    mxDestroyArray(a);
    a = empty;
}

}  // namespace matrix
}  // namespace kiv
