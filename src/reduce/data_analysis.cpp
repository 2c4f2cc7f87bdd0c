// src/reduce/data_analysis.cpp: differences, order statistics, weighted
// spreads, covariance, moving windows, trapezoidal integrals and rescaling.
// Contracts are in include/matrix/stats.h.
#include <matrix/stats.h>

#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/reduce.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "core/array_holder.h"
#include "reduce/dimension_walk.h"

namespace kiv {
namespace matrix {

namespace {

[[noreturn]] void Fail(const std::string &message) {
    const std::wstring wide(message.begin(), message.end());
    throw CFunctionErrorException(kiv::WString(wide.c_str()));
}

bool IsInteger(mxClassID id) { return id >= mxClassInt8 && id <= mxClassUint64; }

void RequireNumbers(const CMatrix *A) {
    const mxClassID id = A->GetClassID();
    if (id != mxClassDouble && id != mxClassSingle && id != mxClassChar && !IsInteger(id))
        throw CNotImplementedException();
}

// A real double copy (sharing A's data when A is double) of an array the
// double-only functions take; `single` says the result goes back to single.
struct Work {
    ArrayHolder D;
    bool single = false;
    const double *Data() const { return static_cast<const double *>(D->GetPr()); }
};

Work ToWork(const CMatrix *A, const char *name) {
    RequireNumbers(A);
    if (A->IsComplex() || IsInteger(A->GetClassID()))
        Fail(std::string(name) + ": the argument must be real double or single");
    Work w;
    w.single = A->GetClassID() == mxClassSingle;
    w.D.reset(Cast(A, mxClassDouble));
    return w;
}

CMatrix *Finish(ArrayHolder R, bool single) {
    if (!single) return R.release();
    return Cast(R.get(), mxClassSingle);
}

std::vector<unsigned int> DimsOf(const CMatrix *A) {
    return std::vector<unsigned int>(A->GetDimensions(), A->GetDimensions() + A->GetNoDimensions());
}

std::size_t LengthAlong(const CMatrix *A, unsigned int dim) {
    return dim > A->GetNoDimensions() ? 1 : A->GetDimensions()[dim - 1];
}

unsigned int DefaultDim(const CMatrix *A) {
    return reduce::DefaultDimension(A, reduce::LeadingOnes::kSkip);
}

bool IsEmpty00(const CMatrix *A) {
    return A->GetNoDimensions() == 2 && A->GetDimensions()[0] == 0 && A->GetDimensions()[1] == 0;
}

CMatrix *NewDouble(const std::vector<unsigned int> &dims) {
    return mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(), mxClassDouble,
                                mxComplexityReal);
}

// The lines of A over a set of dimensions: the offsets of a line's elements
// from its start (the first listed dimension fastest) and the start of each
// line, in the order of the result's elements; outDims is A's shape with the
// listed dimensions set to 1.
struct Layout {
    std::vector<std::size_t> offsets, bases;
    std::vector<unsigned int> outDims;
};

Layout LayoutOver(const CMatrix *A, std::vector<unsigned int> set) {
    for (unsigned int d : set) reduce::RequireDimension(d);
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    Layout l;
    l.outDims = DimsOf(A);
    l.offsets.assign(1, 0);
    l.bases.assign(1, 0);
    std::size_t stride = 1;
    for (unsigned int d = 1; d <= l.outDims.size(); ++d) {
        const std::size_t len = l.outDims[d - 1];
        std::vector<std::size_t> &list =
            std::binary_search(set.begin(), set.end(), d) ? l.offsets : l.bases;
        std::vector<std::size_t> grown;
        grown.reserve(list.size() * len);
        for (std::size_t j = 0; j < len; ++j)
            for (std::size_t o : list) grown.push_back(o + j * stride);
        list.swap(grown);
        if (std::binary_search(set.begin(), set.end(), d)) l.outDims[d - 1] = 1;
        stride *= len;
    }
    return l;
}

// The dimension a reduction with `dim` (0: default) works along.
unsigned int Along(const CMatrix *A, unsigned int dim) { return dim == 0 ? DefaultDim(A) : dim; }

// Calls f(x, n, y) for every line of the double array D along dim, the line
// gathered into x and its m results scattered from y; the result is D's
// shape with that dimension of length m.
template <class F>
ArrayHolder MapLines(const CMatrix *D, unsigned int dim, std::size_t m, F f) {
    std::vector<unsigned int> dims = DimsOf(D);
    while (dims.size() < dim) dims.push_back(1);
    const std::size_t n = dims[dim - 1];
    dims[dim - 1] = static_cast<unsigned int>(m);
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    ArrayHolder R(NewDouble(dims));
    std::size_t before = 1, after = 1;
    for (unsigned int d = 1; d <= dims.size(); ++d) {
        if (d < dim) before *= dims[d - 1];
        if (d > dim) after *= dims[d - 1];
    }
    if (R->GetNoElems() == 0 && n == 0) return R;
    const double *a = static_cast<const double *>(D->GetPr());
    double *r = static_cast<double *>(R->GetPr());
    std::vector<double> x(n), y(m);
    for (std::size_t o = 0; o < after; ++o) {
        for (std::size_t p = 0; p < before; ++p) {
            for (std::size_t k = 0; k < n; ++k) x[k] = a[(o * n + k) * before + p];
            f(x.data(), n, y.data());
            for (std::size_t k = 0; k < m; ++k) r[(o * m + k) * before + p] = y[k];
        }
    }
    return R;
}

// Calls r = f(x, n) for every line of D over the dimensions `set`.
template <class F>
ArrayHolder ReduceLines(const CMatrix *D, const std::vector<unsigned int> &set, F f) {
    const Layout l = LayoutOver(D, set);
    ArrayHolder R(NewDouble(l.outDims));
    const double *a = static_cast<const double *>(D->GetPr());
    double *r = static_cast<double *>(R->GetPr());
    std::vector<double> x(l.offsets.size());
    for (std::size_t i = 0; i < l.bases.size(); ++i) {
        for (std::size_t k = 0; k < x.size(); ++k) x[k] = a[l.bases[i] + l.offsets[k]];
        r[i] = f(x.data(), x.size());
    }
    return R;
}

std::vector<unsigned int> EveryDim(const CMatrix *A) {
    std::vector<unsigned int> all;
    for (unsigned int d = 1; d <= A->GetNoDimensions(); ++d) all.push_back(d);
    return all;
}

// --- order statistics -------------------------------------------------------

// The order of the sorted lines: by value, -0 before +0, so that which zero
// a median or percentile gives does not depend on the selection algorithm.
bool TotalLess(double a, double b) {
    return a < b || (a == b && std::signbit(a) && !std::signbit(b));
}

// The average of the two middles a <= b, as the header states.
double MiddleOf(double a, double b) {
    const double m = (a + b) / 2;
    if (std::isinf(m) && std::isfinite(a) && std::isfinite(b)) return a / 2 + b / 2;
    return m;
}

// The median of x[0 .. n) (reordered), NaNs already handled.
double MedianOfFinite(double *x, std::size_t n) {
    if (n == 0) return mxGetNaN();
    const std::size_t hi = n / 2;
    // Selected by value alone (faster than TotalLess); a zero then takes the
    // sign its position has in the total order.
    const auto zeroAt = [x, n](std::size_t position) {
        std::size_t below = 0;
        for (std::size_t k = 0; k < n; ++k) below += x[k] < 0 || (x[k] == 0 && std::signbit(x[k]));
        return position < below ? -0.0 : 0.0;
    };
    std::nth_element(x, x + hi, x + n);
    double upper = x[hi];
    if (upper == 0) upper = zeroAt(hi);
    if (n % 2 == 1) return upper;
    double lower = *std::max_element(x, x + hi);
    if (lower == 0) lower = zeroAt(hi - 1);
    return MiddleOf(lower, upper);
}

// The medians of the lines of D that are `before` x n x `after` around one
// dimension (or the whole array as one line), into r: each line gathered
// without its NaNs.
void MedianLines(const double *a, double *r, std::size_t before, std::size_t n, std::size_t after,
                 NanFlag nan) {
    std::vector<double> x(n);
    for (std::size_t o = 0; o < after; ++o) {
        for (std::size_t p = 0; p < before; ++p) {
            const double *line = a + o * before * n + p;
            std::size_t kept = 0;
            for (std::size_t k = 0; k < n; ++k) {
                const double v = line[k * before];
                x[kept] = v;
                kept += v == v;
            }
            r[o * before + p] =
                kept < n && nan == NanFlag::kInclude ? mxGetNaN() : MedianOfFinite(x.data(), kept);
        }
    }
}

// Moves the NaNs of x[0 .. n) to the end; returns the count of the others.
std::size_t DropNaN(double *x, std::size_t n) {
    return static_cast<std::size_t>(std::remove_if(x, x + n, [](double v) { return v != v; }) - x);
}

double LineMedian(double *x, std::size_t n, NanFlag nan) {
    const std::size_t kept = DropNaN(x, n);
    if (kept < n && nan == NanFlag::kInclude) return mxGetNaN();
    return MedianOfFinite(x, kept);
}

// The exact (a + b) / 2 of two integers, rounded half away from zero,
// without a wider type: a/2 + b/2 and the remainders.
template <class T>
T IntegerAverage(T a, T b) {
    using W = std::conditional_t<std::is_signed<T>::value, std::int64_t, std::uint64_t>;
    const W h = static_cast<W>(a) / 2 + static_cast<W>(b) / 2;
    const W r = static_cast<W>(a) % 2 + static_cast<W>(b) % 2;
    if constexpr (std::is_signed<T>::value) {
        if (r == -2) return static_cast<T>(h - 1);
        if (r == -1) return static_cast<T>(h <= 0 ? h - 1 : h);
        if (r == 1) return static_cast<T>(h >= 0 ? h + 1 : h);
    } else {
        if (r == 1) return static_cast<T>(h + 1);
    }
    return static_cast<T>(r == 2 ? h + 1 : h);
}

template <class T>
T IntegerMedian(std::vector<T> &x) {
    if (x.empty()) return 0;
    const std::size_t hi = x.size() / 2;
    std::nth_element(x.begin(), x.begin() + hi, x.end());
    if (x.size() % 2 == 1) return x[hi];
    return IntegerAverage(*std::max_element(x.begin(), x.begin() + hi), x[hi]);
}

template <class T>
CMatrix *IntegerMedianLines(const CMatrix *A, const std::vector<unsigned int> &set) {
    const Layout l = LayoutOver(A, set);
    ArrayHolder R(mxCreateNumericArray(static_cast<unsigned int>(l.outDims.size()),
                                       l.outDims.data(), A->GetClassID(), mxComplexityReal));
    const T *a = static_cast<const T *>(A->GetPr());
    T *r = static_cast<T *>(R->GetPr());
    std::vector<T> x(l.offsets.size());
    for (std::size_t i = 0; i < l.bases.size(); ++i) {
        for (std::size_t k = 0; k < x.size(); ++k) x[k] = a[l.bases[i] + l.offsets[k]];
        r[i] = IntegerMedian(x);
    }
    return R.release();
}

// Calls f(T{}) with the C++ type of a real numeric class's elements.
template <class F>
auto WithElementType(mxClassID id, F f) {
    switch (id) {
        case mxClassDouble: return f(double{});
        case mxClassSingle: return f(float{});
        case mxClassInt8: return f(std::int8_t{});
        case mxClassUint8: return f(std::uint8_t{});
        case mxClassInt16: return f(std::int16_t{});
        case mxClassUint16: return f(std::uint16_t{});
        case mxClassInt32: return f(std::int32_t{});
        case mxClassUint32: return f(std::uint32_t{});
        case mxClassInt64: return f(std::int64_t{});
        case mxClassUint64: return f(std::uint64_t{});
        case mxClassChar: return f(std::uint16_t{});
        default: throw CNotImplementedException();
    }
}

std::vector<unsigned int> MedianSet(const CMatrix *A, unsigned int dim) {
    if (dim == 0 && IsEmpty00(A)) return EveryDim(A);
    return {Along(A, dim)};
}

// --- moving windows -------------------------------------------------------

double WindowStatistic(const double *x, std::size_t b, std::size_t e, MovingKind kind, NanFlag nan,
                       std::vector<double> &scratch) {
    double sum = 0.0, product = 1.0;
    std::size_t count = 0;
    bool sawNaN = false;
    double best = mxGetNaN();
    scratch.clear();
    for (std::size_t k = b; k < e; ++k) {
        const double v = x[k];
        if (v != v) {
            sawNaN = true;
            continue;
        }
        ++count;
        switch (kind) {
            case MovingKind::kSum:
            case MovingKind::kMean: sum = sum + v; break;
            case MovingKind::kMax:
                if (!(best >= v)) best = v;
                break;
            case MovingKind::kMin:
                if (!(best <= v)) best = v;
                break;
            case MovingKind::kMedian:
            case MovingKind::kMad:
            case MovingKind::kVar:
            case MovingKind::kStd: scratch.push_back(v); break;
            case MovingKind::kProd: product = product * v; break;
        }
    }
    if (sawNaN && nan == NanFlag::kInclude) return mxGetNaN();
    switch (kind) {
        case MovingKind::kSum: return sum;
        case MovingKind::kMean: return sum / static_cast<double>(count);
        case MovingKind::kMax:
        case MovingKind::kMin: return best;
        case MovingKind::kMedian: return MedianOfFinite(scratch.data(), scratch.size());
        case MovingKind::kProd: return product;
        case MovingKind::kVar:
        case MovingKind::kStd: {
            if (count == 0) return mxGetNaN();
            double s = 0.0;
            for (double v : scratch) s = s + v;
            const double mean = s / static_cast<double>(count);
            double q = 0.0;
            for (double v : scratch) q = q + (v - mean) * (v - mean);
            const double var = q / static_cast<double>(count > 1 ? count - 1 : 1);
            return kind == MovingKind::kStd ? std::sqrt(var) : var;
        }
        case MovingKind::kMad: {
            if (count == 0) return mxGetNaN();
            std::vector<double> copy(scratch);
            const double m = MedianOfFinite(copy.data(), copy.size());
            for (double &v : scratch) v = std::fabs(v - m);
            return MedianOfFinite(scratch.data(), scratch.size());
        }
    }
    return sum;
}

// --- covariance ----------------------------------------------------------

// The covariance of the p columns of the n-by-p column-major x.
ArrayHolder CovColumns(const double *x, std::size_t n, std::size_t p, bool byN) {
    std::vector<unsigned int> dims = {static_cast<unsigned int>(p), static_cast<unsigned int>(p)};
    ArrayHolder C(NewDouble(dims));
    double *c = static_cast<double *>(C->GetPr());
    std::vector<double> mean(p);
    for (std::size_t j = 0; j < p; ++j) {
        double s = 0.0;
        for (std::size_t k = 0; k < n; ++k) s = s + x[j * n + k];
        mean[j] = s / static_cast<double>(n);
    }
    const double divisor = static_cast<double>(byN ? n : (n > 1 ? n - 1 : 1));
    for (std::size_t j = 0; j < p; ++j) {
        for (std::size_t i = 0; i <= j; ++i) {
            double s = 0.0;
            for (std::size_t k = 0; k < n; ++k)
                s = s + (x[i * n + k] - mean[i]) * (x[j * n + k] - mean[j]);
            c[j * p + i] = c[i * p + j] = n == 0 ? mxGetNaN() : s / divisor;
        }
    }
    return C;
}

ArrayHolder CorrFromCov(ArrayHolder C) {
    const std::size_t p = C->GetDimensions()[0];
    double *c = static_cast<double *>(C->GetPr());
    std::vector<double> d(p);
    for (std::size_t i = 0; i < p; ++i) d[i] = c[i * p + i];
    for (std::size_t j = 0; j < p; ++j) {
        for (std::size_t i = 0; i < p; ++i) {
            double r = i == j ? d[i] / d[i] : c[j * p + i] / std::sqrt(d[i] * d[j]);
            if (r > 1) r = 1;
            if (r < -1) r = -1;
            c[j * p + i] = r;
        }
    }
    return C;
}

// --- percentiles ----------------------------------------------------------

double PercentileOfSorted(const double *x, std::size_t n, double p) {
    if (n == 0) return mxGetNaN();
    const double h = static_cast<double>(n) * p / 100 + 0.5;
    if (h <= 1) return x[0];
    if (h >= static_cast<double>(n)) return x[n - 1];
    const double k = std::floor(h);
    const std::size_t i = static_cast<std::size_t>(k) - 1;
    if (h == k || x[i] == x[i + 1]) return x[i];
    return x[i] + (h - k) * (x[i + 1] - x[i]);
}

double Norm2(const std::vector<double> &v) {
    double s = 0.0;
    for (double e : v) s = s + e * e;
    return std::sqrt(s);
}

double PNorm(const double *x, std::size_t n, double p) {
    if (std::isinf(p)) {
        double m = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const double v = std::fabs(x[k]);
            if (v != v) return v;
            if (v > m) m = v;
        }
        return m;
    }
    double s = 0.0;
    for (std::size_t k = 0; k < n; ++k)
        s = s + (p == 2 ? x[k] * x[k] : std::pow(std::fabs(x[k]), p));
    return p == 2 ? std::sqrt(s) : std::pow(s, 1 / p);
}

void MeanStd(const double *x, std::size_t n, double &mean, double &sd) {
    double s = 0.0;
    for (std::size_t k = 0; k < n; ++k) s = s + x[k];
    mean = s / static_cast<double>(n);
    double q = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double d = x[k] - mean;
        q = q + d * d;
    }
    sd = std::sqrt(q / static_cast<double>(n > 1 ? n - 1 : 1));
}

// One slice x[k0 .. k0 + count) of every line of A along dim, in A's class.
ArrayHolder Slice(const CMatrix *A, unsigned int dim, std::size_t k0, std::size_t count) {
    std::vector<unsigned int> dims = DimsOf(A);
    while (dims.size() < dim) dims.push_back(1);
    const std::size_t n = dims[dim - 1];
    dims[dim - 1] = static_cast<unsigned int>(count);
    ArrayHolder S(mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                       A->GetClassID(),
                                       A->IsComplex() ? mxComplexityComplex : mxComplexityReal));
    if (A->IsLogical()) S->SetLogical();
    std::size_t before = 1, after = 1;
    for (unsigned int d = 1; d <= dims.size(); ++d) {
        if (d < dim) before *= dims[d - 1];
        if (d > dim) after *= dims[d - 1];
    }
    const std::size_t es = mxGetElementSize(A);
    const std::size_t run = count * before * es;
    if (run == 0) return S;
    for (int part = 0; part < (A->IsComplex() ? 2 : 1); ++part) {
        const char *a = static_cast<const char *>(part ? A->GetPi() : A->GetPr());
        char *s = static_cast<char *>(part ? S->GetPi() : S->GetPr());
        for (std::size_t o = 0; o < after; ++o)
            std::memcpy(s + o * run, a + (o * n + k0) * before * es, run);
    }
    return S;
}

// The medians of a complex A along one dimension or over all of them: each
// line ordered as Sort orders complex values (modulus, then angle; a value
// with a NaN part last), the middle one, or the two middles averaged part by
// part as MiddleOf does.
CMatrix *ComplexMedian(const CMatrix *A, const std::vector<unsigned int> &set, NanFlag nan) {
    const bool single = A->GetClassID() == mxClassSingle;
    ArrayHolder D(Cast(A, mxClassDouble));
    const bool whole = set.size() == D->GetNoDimensions() && set == EveryDim(D.get());
    if (set.size() != 1 && !whole) Fail("Median: complex values take one dimension or 'all'");
    if (whole) {
        const unsigned int column[2] = {D->GetNoElems(), 1};
        ArrayHolder C(mxCreateNumericArray(2, column, mxClassDouble, mxComplexityComplex));
        const std::size_t bytes = std::size_t{D->GetNoElems()} * sizeof(double);
        if (bytes) std::memcpy(C->GetPr(), D->GetPr(), bytes);
        if (bytes) std::memcpy(C->GetPi(), D->GetPi(), bytes);
        D = std::move(C);
    }
    const unsigned int dim = whole ? 1 : set[0];
    reduce::RequireDimension(dim);
    ArrayHolder S(Sort(D.get(), dim));
    std::vector<unsigned int> out = DimsOf(S.get());
    std::size_t before = 1, n = 1, after = 1;
    for (unsigned int d = 1; d <= out.size(); ++d) {
        if (d == dim) {
            n = out[d - 1];
            out[d - 1] = 1;
        } else {
            (d < dim ? before : after) *= out[d - 1];
        }
    }
    ArrayHolder R(mxCreateNumericArray(static_cast<unsigned int>(out.size()), out.data(),
                                       mxClassDouble, mxComplexityComplex));
    const double *re = static_cast<const double *>(S->GetPr());
    const double *im = static_cast<const double *>(S->GetPi());
    double *rr = static_cast<double *>(R->GetPr());
    double *ri = static_cast<double *>(R->GetPi());
    for (std::size_t o = 0; o < after; ++o) {
        for (std::size_t p = 0; p < before; ++p) {
            const std::size_t base = o * before * n + p;
            std::size_t kept = n;
            while (kept > 0 && (re[base + (kept - 1) * before] != re[base + (kept - 1) * before] ||
                                im[base + (kept - 1) * before] != im[base + (kept - 1) * before]))
                --kept;
            double mr = mxGetNaN(), mi = 0;
            if (kept > 0 && (kept == n || nan == NanFlag::kOmit)) {
                const std::size_t hi = base + (kept / 2) * before;
                mr = re[hi];
                mi = im[hi];
                if (kept % 2 == 0) {
                    mr = MiddleOf(re[hi - before], mr);
                    mi = MiddleOf(im[hi - before], mi);
                }
            }
            rr[o * before + p] = mr;
            ri[o * before + p] = mi;
        }
    }
    return Finish(std::move(R), single);
}

// Runs `body`, turning the std::bad_alloc of the standard containers into
// the library's exhaustion exception.
template <class Body>
auto Guarded(Body body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

}  // namespace

CMatrix *Diff(const CMatrix *A, unsigned int order, unsigned int dim) {
    return Guarded([&] {
        RequireNumbers(A);
        ArrayHolder cur(mxDuplicateArray(A));
        unsigned int d = dim == 0 ? DefaultDim(A) : dim;
        for (unsigned int step = 0; step < order; ++step) {
            std::size_t len = LengthAlong(cur.get(), d);
            if (dim == 0 && len == 1) {
                unsigned int next = d + 1;
                while (next <= cur->GetNoDimensions() && LengthAlong(cur.get(), next) == 1) ++next;
                if (next > cur->GetNoDimensions()) return Slice(cur.get(), d, 0, 0).release();
                d = next;
                len = LengthAlong(cur.get(), d);
            }
            if (len <= 1) return Slice(cur.get(), d, 0, 0).release();
            ArrayHolder hi(Slice(cur.get(), d, 1, len - 1));
            ArrayHolder lo(Slice(cur.get(), d, 0, len - 1));
            cur.reset(Minus(hi.get(), lo.get()));
        }
        return cur.release();
    });
}

CMatrix *Median(const CMatrix *A, const std::vector<unsigned int> &dims, NanFlag nan) {
    return Guarded([&] {
        RequireNumbers(A);
        const std::vector<unsigned int> set = dims.empty() ? EveryDim(A) : dims;
        const mxClassID id = A->GetClassID();
        if (IsInteger(id) && !A->IsComplex()) {
            return WithElementType(id, [&](auto t) -> CMatrix * {
                using T = decltype(t);
                if constexpr (std::is_integral<T>::value) {
                    return IntegerMedianLines<T>(A, set);
                } else {
                    throw CNotImplementedException();
                }
            });
        }
        if (A->IsComplex()) return ComplexMedian(A, set, nan);
        Work w = ToWork(A, "Median");
        const CMatrix *D = w.D.get();
        const bool whole = set.size() == D->GetNoDimensions() && set == EveryDim(D);
        if (set.size() != 1 && !whole) {
            return Finish(
                ReduceLines(D, set,
                            [nan](double *x, std::size_t n) { return LineMedian(x, n, nan); }),
                w.single);
        }
        // One dimension, or every one (the array as one line): gathered
        // by stride, without a list of offsets.
        const unsigned int dim = whole ? 1 : set[0];
        reduce::RequireDimension(dim);
        std::vector<unsigned int> out = DimsOf(D);
        std::size_t before = 1, n = 1, after = 1;
        for (unsigned int d = 1; d <= out.size(); ++d) {
            if (whole || d == dim) {
                n *= out[d - 1];
                out[d - 1] = 1;
            } else {
                (d < dim ? before : after) *= out[d - 1];
            }
        }
        ArrayHolder R(NewDouble(out));
        MedianLines(w.Data(), static_cast<double *>(R->GetPr()), before, n, after, nan);
        return Finish(std::move(R), w.single);
    });
}

CMatrix *Median(const CMatrix *A, unsigned int dim, NanFlag nan) {
    return Guarded([&] {
        RequireNumbers(A);
        return Median(A, MedianSet(A, dim), nan);
    });
}

void Mode(CMatrix *&M, CMatrix *&F, CMatrix **C, const CMatrix *A, unsigned int dim) {
    return Guarded([&] {
        RequireNumbers(A);
        if (A->IsComplex()) Fail("Mode: the argument must be real");
        const std::vector<unsigned int> set = MedianSet(A, dim);
        M = F = nullptr;
        if (C) *C = nullptr;
        const Layout l = LayoutOver(A, set);
        const unsigned int nd = static_cast<unsigned int>(l.outDims.size());
        ArrayHolder m(
            mxCreateNumericArray(nd, l.outDims.data(), A->GetClassID(), mxComplexityReal));
        if (A->IsLogical()) m->SetLogical();
        ArrayHolder f(NewDouble(l.outDims));
        ArrayHolder c(C ? mxCreateCellArray(nd, l.outDims.data()) : nullptr);
        WithElementType(A->GetClassID(), [&](auto t) {
            using T = decltype(t);
            const T *a = static_cast<const T *>(A->GetPr());
            T *mv = static_cast<T *>(m->GetPr());
            double *fv = static_cast<double *>(f->GetPr());
            std::vector<T> x;
            std::vector<T> winners;
            for (std::size_t i = 0; i < l.bases.size(); ++i) {
                x.clear();
                for (std::size_t o : l.offsets) {
                    const T v = a[l.bases[i] + o];
                    if (v == v) x.push_back(v);
                }
                std::sort(x.begin(), x.end());
                std::size_t best = 0;
                winners.clear();
                for (std::size_t k = 0; k < x.size();) {
                    std::size_t e = k + 1;
                    while (e < x.size() && x[e] == x[k]) ++e;
                    if (e - k > best) {
                        best = e - k;
                        winners.clear();
                    }
                    if (e - k == best) winners.push_back(x[k]);
                    k = e;
                }
                // Both zeros count as one value, given as +0.
                for (T &v : winners)
                    if (v == 0) v = T(0);
                mv[i] = winners.empty()
                            ? (std::is_floating_point<T>::value ? static_cast<T>(mxGetNaN()) : T(0))
                            : winners[0];
                fv[i] = static_cast<double>(best);
                if (C) {
                    CMatrix *col = mxCreateNumericArray(
                        2,
                        std::vector<unsigned int>{static_cast<unsigned int>(winners.size()), 1}
                            .data(),
                        A->GetClassID(), mxComplexityReal);
                    if (A->IsLogical()) col->SetLogical();
                    if (!winners.empty())
                        std::memcpy(col->GetPr(), winners.data(), winners.size() * sizeof(T));
                    mxSetCell(c.get(), static_cast<int>(i), col);
                }
            }
            return 0;
        });
        M = m.release();
        F = f.release();
        if (C) *C = c.release();
    });
}

CMatrix *Range(const CMatrix *A, unsigned int dim) {
    return Guarded([&] {
        ArrayHolder hi(dim == 0 ? Max(A) : Max(A, dim));
        ArrayHolder lo(dim == 0 ? Min(A) : Min(A, dim));
        return Minus(hi.get(), lo.get());
    });
}

void Bounds(CMatrix *&S, CMatrix *&L, const CMatrix *A, unsigned int dim) {
    return Guarded([&] {
        ArrayHolder lo(dim == 0 ? Min(A) : Min(A, dim));
        ArrayHolder hi(dim == 0 ? Max(A) : Max(A, dim));
        S = lo.release();
        L = hi.release();
    });
}

CMatrix *VarWeighted(const CMatrix *A, const CMatrix *w, const std::vector<unsigned int> &dims,
                     bool root) {
    return Guarded([&] {
        RequireNumbers(A);
        const char *name = root ? "Std" : "Var";
        const bool realWeight =
            w != nullptr && !w->IsComplex() &&
            (w->GetClassID() == mxClassDouble || w->GetClassID() == mxClassSingle);
        const bool zero = w == nullptr || (realWeight && w->GetNoElems() == 0) ||
                          (realWeight && w->GetNoElems() == 1 && mxGetScalar(w) == 0);
        const bool one = realWeight && w->GetNoElems() == 1 && mxGetScalar(w) == 1;
        const bool defaultDim = dims.size() == 1 && dims[0] == 0;
        if (zero && defaultDim) return root ? Std(A) : Var(A);
        if (zero && dims.size() == 1) return root ? Std(A, dims[0]) : Var(A, dims[0]);
        if (A->IsComplex() || IsInteger(A->GetClassID()) || A->GetClassID() == mxClassChar)
            Fail(std::string(name) + ": the argument must be real double or single");
        Work work = ToWork(A, name);
        std::vector<unsigned int> set = dims.empty() ? EveryDim(A) : dims;
        if (defaultDim) set = MedianSet(A, 0);
        std::vector<double> weights;
        if (!zero && !one) {
            const bool vector = w->GetNoDimensions() == 2 &&
                                (w->GetDimensions()[0] == 1 || w->GetDimensions()[1] == 1);
            ArrayHolder W;
            if (vector && realWeight) {
                W.reset(Cast(w, mxClassDouble));
                const double *wv = static_cast<const double *>(W->GetPr());
                weights.assign(wv, wv + W->GetNoElems());
            }
            const Layout l = LayoutOver(work.D.get(), set);
            bool good = !weights.empty() && weights.size() == l.offsets.size();
            for (double v : weights) good = good && v >= 0;
            if (!good)
                Fail(std::string(name) +
                     ": the weight must be 0, 1 or a vector of nonnegative weights of the line's "
                     "length");
        }
        ArrayHolder R(ReduceLines(work.D.get(), set, [&](double *x, std::size_t n) {
            if (n == 0) return mxGetNaN();
            double v;
            if (weights.empty()) {
                double s = 0.0;
                for (std::size_t k = 0; k < n; ++k) s = s + x[k];
                const double mean = s / static_cast<double>(n);
                double q = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    const double d = x[k] - mean;
                    q = q + d * d;
                }
                v = q / static_cast<double>(one ? n : (n > 1 ? n - 1 : 1));
            } else {
                double sw = 0.0, swx = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    sw = sw + weights[k];
                    swx = swx + weights[k] * x[k];
                }
                const double mean = swx / sw;
                double q = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    const double d = x[k] - mean;
                    q = q + weights[k] * (d * d);
                }
                v = q / sw;
            }
            return root ? std::sqrt(v) : v;
        }));
        return Finish(std::move(R), work.single);
    });
}

void VarWeighted(CMatrix *&V, CMatrix *&M, const CMatrix *A, const CMatrix *w,
                 const std::vector<unsigned int> &dims, bool root) {
    V = nullptr;
    M = nullptr;
    ArrayHolder v(VarWeighted(A, w, dims, root));
    ArrayHolder m;
    const bool weighted = w != nullptr && w->GetNoElems() > 0 &&
                          !(w->GetNoElems() == 1 && (mxGetScalar(w) == 0 || mxGetScalar(w) == 1));
    if (!weighted) {
        if (dims.size() == 1 && dims[0] == 0) {
            m.reset(Mean(A));
        } else if (dims.empty()) {
            m.reset(MeanAll(A));
        } else {
            m.reset(Mean(A, static_cast<unsigned int>(dims.size()), dims.data()));
        }
    } else {
        // The weights were checked by VarWeighted above.
        m.reset(Guarded([&] {
            Work work = ToWork(A, root ? "Std" : "Var");
            std::vector<unsigned int> set = dims.empty() ? EveryDim(A) : dims;
            if (dims.size() == 1 && dims[0] == 0) set = MedianSet(A, 0);
            ArrayHolder W(Cast(w, mxClassDouble));
            const double *wv = static_cast<const double *>(W->GetPr());
            ArrayHolder R(ReduceLines(work.D.get(), set, [&](double *x, std::size_t n) {
                double sw = 0.0, swx = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    sw = sw + wv[k];
                    swx = swx + wv[k] * x[k];
                }
                return swx / sw;
            }));
            return Finish(std::move(R), work.single);
        }));
    }
    V = v.release();
    M = m.release();
}

namespace {

// The covariance of the p columns of the complex n-by-p (re, im): C(i, j)
// the in-order sum over rows of conj(x_ki - mu_i) * (x_kj - mu_j), each
// product (ar*br + ai*bi) + (ar*bi - ai*br)i, over n - 1 (n with byN); the
// means part by part as Mean takes them. The diagonal is real.
ArrayHolder ComplexCovColumns(const double *re, const double *im, std::size_t n, std::size_t p,
                              bool byN) {
    const unsigned int dims[2] = {static_cast<unsigned int>(p), static_cast<unsigned int>(p)};
    ArrayHolder C(mxCreateNumericArray(2, dims, mxClassDouble, mxComplexityComplex));
    double *cr = static_cast<double *>(C->GetPr());
    double *ci = static_cast<double *>(C->GetPi());
    std::vector<double> mr(p), mi(p);
    for (std::size_t j = 0; j < p; ++j) {
        double sr = 0.0, si = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            sr = sr + re[j * n + k];
            si = si + im[j * n + k];
        }
        mr[j] = sr / static_cast<double>(n);
        mi[j] = si / static_cast<double>(n);
    }
    const double divisor = static_cast<double>(byN ? n : (n > 1 ? n - 1 : 1));
    for (std::size_t j = 0; j < p; ++j) {
        for (std::size_t i = 0; i < p; ++i) {
            double sr = 0.0, si = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                const double ar = re[i * n + k] - mr[i], ai = im[i * n + k] - mi[i];
                const double br = re[j * n + k] - mr[j], bi = im[j * n + k] - mi[j];
                sr = sr + (ar * br + ai * bi);
                si = si + (ar * bi - ai * br);
            }
            cr[j * p + i] = n == 0 ? mxGetNaN() : sr / divisor;
            ci[j * p + i] = n == 0 || i == j ? 0.0 : si / divisor;
        }
    }
    // All imaginary parts zero (one column, or real data): a real result.
    if (std::all_of(ci, ci + p * p, [](double v) { return v == 0.0; })) C->ToReal();
    return C;
}

// Cov of a complex X (double or single), or of the columns x(:), y(:).
CMatrix *ComplexCov(const CMatrix *X, const CMatrix *Y, bool byN) {
    const bool single = X->GetClassID() == mxClassSingle ||
                        (Y != nullptr && Y->GetClassID() == mxClassSingle);
    for (const CMatrix *a : {X, Y})
        if (a != nullptr && a->GetClassID() != mxClassDouble && a->GetClassID() != mxClassSingle)
            Fail("Cov: the argument must be double or single");
    ArrayHolder D(Cast(X, mxClassDouble));
    std::size_t n = D->GetDimensions()[0], p = D->GetDimensions()[1];
    if (D->GetNoDimensions() > 2) Fail("Cov: the argument must be 2-D");
    if (IsEmpty00(D.get()) && Y == nullptr) return Finish(ArrayHolder(Scalar(mxGetNaN())), single);
    std::vector<double> re(D->GetNoElems()), im(D->GetNoElems(), 0.0);
    const double *dr = static_cast<const double *>(D->GetPr());
    const double *di = static_cast<const double *>(D->GetPi());
    for (std::size_t k = 0; k < re.size(); ++k) {
        re[k] = dr[k];
        if (di) im[k] = di[k];
    }
    if (D->IsVector() || Y != nullptr) {
        n = D->GetNoElems();
        p = 1;
    }
    if (Y != nullptr) {
        ArrayHolder E(Cast(Y, mxClassDouble));
        if (E->GetNoElems() != n) Fail("Cov: x and y must have as many elements");
        const double *er = static_cast<const double *>(E->GetPr());
        const double *ei = static_cast<const double *>(E->GetPi());
        for (std::size_t k = 0; k < n; ++k) {
            re.push_back(er[k]);
            im.push_back(ei ? ei[k] : 0.0);
        }
        p = 2;
    }
    return Finish(ComplexCovColumns(re.data(), im.data(), n, p, byN), single);
}

// R(i, j) = C(i, j) / sqrt(C(i, i) * C(j, j)) of a complex C, the diagonal
// C(i, i) / C(i, i); the result stays complex.
CMatrix *ComplexCorr(CMatrix *Cptr) {
    ArrayHolder C(Cptr);
    const bool single = C->GetClassID() == mxClassSingle;
    ArrayHolder D(Cast(C.get(), mxClassDouble));
    const std::size_t p = D->GetDimensions()[0];
    double *cr = static_cast<double *>(D->GetPr());
    double *ci = static_cast<double *>(D->GetPi());
    if (ci == nullptr) return Finish(CorrFromCov(std::move(D)), single);
    std::vector<double> d(p);
    for (std::size_t i = 0; i < p; ++i) d[i] = cr[i * p + i];
    for (std::size_t j = 0; j < p; ++j) {
        for (std::size_t i = 0; i < p; ++i) {
            const double s = i == j ? d[i] : std::sqrt(d[i] * d[j]);
            cr[j * p + i] = cr[j * p + i] / s;
            ci[j * p + i] = ci[j * p + i] / s;
        }
    }
    return Finish(std::move(D), single);
}

}  // namespace

CMatrix *Cov(const CMatrix *X, bool byN) {
    return Guarded([&] {
        RequireNumbers(X);
        if (X->IsComplex()) return ComplexCov(X, nullptr, byN);
        Work w = ToWork(X, "Cov");
        if (w.D->GetNoDimensions() > 2) Fail("Cov: the argument must be 2-D");
        std::size_t n = w.D->GetDimensions()[0], p = w.D->GetDimensions()[1];
        if (IsEmpty00(w.D.get())) return Finish(ArrayHolder(Scalar(mxGetNaN())), w.single);
        if (w.D->IsVector()) {
            n = w.D->GetNoElems();
            p = 1;
        }
        return Finish(CovColumns(w.Data(), n, p, byN), w.single);
    });
}

CMatrix *Cov(const CMatrix *x, const CMatrix *y, bool byN) {
    return Guarded([&] {
        RequireNumbers(x);
        RequireNumbers(y);
        if (x->IsComplex() || y->IsComplex()) return ComplexCov(x, y, byN);
        Work a = ToWork(x, "Cov"), b = ToWork(y, "Cov");
        const std::size_t n = a.D->GetNoElems();
        if (b.D->GetNoElems() != n) Fail("Cov: x and y must have as many elements");
        std::vector<double> both(a.Data(), a.Data() + n);
        both.insert(both.end(), b.Data(), b.Data() + n);
        return Finish(CovColumns(both.data(), n, 2, byN), a.single || b.single);
    });
}

CMatrix *Corrcoef(const CMatrix *X) {
    return Guarded([&] {
        RequireNumbers(X);
        if (X->IsComplex()) return ComplexCorr(Cov(X, false));
        Work w = ToWork(X, "Corrcoef");
        ArrayHolder C(Cov(w.D.get(), false));
        return Finish(CorrFromCov(std::move(C)), w.single);
    });
}

CMatrix *Corrcoef(const CMatrix *x, const CMatrix *y) {
    return Guarded([&] {
        RequireNumbers(x);
        RequireNumbers(y);
        if (x->IsComplex() || y->IsComplex()) return ComplexCorr(Cov(x, y, false));
        Work a = ToWork(x, "Corrcoef"), b = ToWork(y, "Corrcoef");
        ArrayHolder C(Cov(a.D.get(), b.D.get(), false));
        return Finish(CorrFromCov(std::move(C)), a.single || b.single);
    });
}

namespace {

CMatrix *Percentiles(const CMatrix *A, const CMatrix *P, unsigned int dim, double scale,
                     const char *name) {
    Work w = ToWork(A, name);
    Work p = ToWork(P, name);
    std::vector<double> ps(p.Data(), p.Data() + p.D->GetNoElems());
    for (double &v : ps) {
        v = v * scale;
        if (!(v >= 0 && v <= 100))
            Fail(std::string(name) + (scale == 1 ? ": the percentages must be in [0, 100]"
                                                 : ": the probabilities must be in [0, 1]"));
    }
    const CMatrix *D = w.D.get();
    ArrayHolder column;
    if (dim == 0 && IsEmpty00(D)) {
        const unsigned int dims[2] = {0, 1};
        column.reset(mxCreateNumericArray(2, dims, mxClassDouble, mxComplexityReal));
        D = column.get();
    }
    const unsigned int along = Along(D, dim);
    ArrayHolder R(MapLines(D, along, ps.size(), [&](double *x, std::size_t n, double *y) {
        const std::size_t kept = DropNaN(x, n);
        std::sort(x, x + kept, TotalLess);
        for (std::size_t j = 0; j < ps.size(); ++j) y[j] = PercentileOfSorted(x, kept, ps[j]);
    }));
    return Finish(std::move(R), w.single);
}

}  // namespace

CMatrix *Prctile(const CMatrix *A, const CMatrix *p, unsigned int dim) {
    return Guarded([&] { return Percentiles(A, p, dim, 1, "Prctile"); });
}

CMatrix *Quantile(const CMatrix *A, const CMatrix *p, unsigned int dim) {
    return Guarded([&] { return Percentiles(A, p, dim, 100, "Quantile"); });
}

CMatrix *Moving(const CMatrix *A, MovingKind kind, unsigned int kb, unsigned int kf,
                unsigned int dim, NanFlag nan) {
    return Moving(A, kind, kb, kf, dim, nan, MovingEnds());
}

CMatrix *Moving(const CMatrix *A, MovingKind kind, unsigned int kb, unsigned int kf,
                unsigned int dim, NanFlag nan, const MovingEnds &ends) {
    return Guarded([&] {
        RequireNumbers(A);
        if (A->IsComplex()) Fail("Moving: complex values are not supported");
        const bool integer = IsInteger(A->GetClassID());
        if (integer && (kind == MovingKind::kVar || kind == MovingKind::kStd ||
                        kind == MovingKind::kMad))
            Fail("Moving: the argument must be double or single");
        Work w;
        if (integer) {
            w.D.reset(Cast(A, mxClassDouble));
        } else {
            w = ToWork(A, "Moving");
        }
        const unsigned int along = Along(w.D.get(), dim);
        const std::size_t n = LengthAlong(w.D.get(), along);
        const std::size_t reach = std::size_t{kb} + kf;
        const bool discard = ends.kind == MovingEnds::Kind::kDiscard;
        const std::size_t m = !discard ? n : (n > reach ? n - reach : 0);
        std::vector<double> scratch;
        ArrayHolder R(
            MapLines(w.D.get(), along, m, [&](const double *x, std::size_t len, double *y) {
                for (std::size_t k = discard ? kb : 0, out = 0; out < m; ++k, ++out) {
                    const bool fits = k >= kb && k + kf < len;
                    if (!fits && ends.kind == MovingEnds::Kind::kFill) {
                        y[out] = ends.value;
                        continue;
                    }
                    const std::size_t b = k >= kb ? k - kb : 0;
                    const std::size_t e = std::min<std::size_t>(len, k + std::size_t{kf} + 1);
                    y[out] = WindowStatistic(x, b, e, kind, nan, scratch);
                }
            }));
        if (integer && kind != MovingKind::kMean) return Cast(R.get(), A->GetClassID());
        return Finish(std::move(R), w.single);
    });
}

namespace {

// The points of Trapz and Cumtrapz: none (unit spacing), a spacing or a
// vector of n points.
struct Points {
    Work w;
    bool given = false;
    bool spacing = false;
    double h = 1;
};

Points PointsOf(const CMatrix *X, std::size_t n, const char *name) {
    Points p;
    if (!X) return p;
    p.w = ToWork(X, name);
    p.given = true;
    if (X->GetNoElems() == 1) {
        p.spacing = true;
        p.h = p.w.Data()[0];
        return p;
    }
    if (!X->IsVector() || X->GetNoElems() != n)
        Fail(std::string(name) + ": the points must be as many as the lines' length");
    return p;
}

double Panel(const Points &p, const double *y, std::size_t k) {
    if (!p.given) return (y[k] + y[k + 1]) / 2;
    if (p.spacing) return (p.h * (y[k] + y[k + 1])) / 2;
    const double *x = p.w.Data();
    return ((x[k + 1] - x[k]) * (y[k] + y[k + 1])) / 2;
}

}  // namespace

CMatrix *Trapz(const CMatrix *X, const CMatrix *Y, unsigned int dim) {
    return Guarded([&] {
        Work w = ToWork(Y, "Trapz");
        if (dim == 0 && IsEmpty00(w.D.get())) {
            if (X) PointsOf(X, 0, "Trapz");
            return Finish(ArrayHolder(Scalar(0.0)), w.single);
        }
        const unsigned int along = Along(w.D.get(), dim);
        const Points p = PointsOf(X, LengthAlong(w.D.get(), along), "Trapz");
        ArrayHolder R(MapLines(w.D.get(), along, 1, [&](const double *y, std::size_t n, double *r) {
            double s = 0.0;
            for (std::size_t k = 0; k + 1 < n; ++k) s = s + Panel(p, y, k);
            r[0] = s;
        }));
        return Finish(std::move(R), w.single || p.w.single);
    });
}

CMatrix *Cumtrapz(const CMatrix *X, const CMatrix *Y, unsigned int dim) {
    return Guarded([&] {
        Work w = ToWork(Y, "Cumtrapz");
        const unsigned int along = Along(w.D.get(), dim);
        const std::size_t n = LengthAlong(w.D.get(), along);
        const Points p = PointsOf(X, n, "Cumtrapz");
        ArrayHolder R(
            MapLines(w.D.get(), along, n, [&](const double *y, std::size_t len, double *r) {
                double s = 0.0;
                for (std::size_t k = 0; k < len; ++k) {
                    if (k > 0) s = s + Panel(p, y, k - 1);
                    r[k] = s;
                }
            }));
        return Finish(std::move(R), w.single || p.w.single);
    });
}

double Normest(const CMatrix *A, double tol, unsigned int *count) {
    return Guarded([&] {
        Work w = ToWork(A, "Normest");
        if (w.D->GetNoDimensions() > 2) Fail("Normest: the argument must be 2-D");
        const std::size_t m = w.D->GetDimensions()[0], n = w.D->GetDimensions()[1];
        const double *a = w.Data();
        std::vector<double> x(n, 0.0), ax(m);
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < m; ++i) x[j] = x[j] + std::fabs(a[j * m + i]);
        double e = Norm2(x);
        unsigned int steps = 0;
        if (count) *count = 0;
        if (e == 0 || e != e) return e;
        for (double &v : x) v = v / e;
        double e0 = 0;
        while (std::fabs(e - e0) > tol * e) {
            if (steps == 100) {
                steps = 101;
                break;
            }
            e0 = e;
            for (std::size_t i = 0; i < m; ++i) {
                double s = 0.0;
                for (std::size_t j = 0; j < n; ++j) s = s + a[j * m + i] * x[j];
                ax[i] = s;
            }
            double nax = Norm2(ax);
            if (nax == 0) {
                // x lies in A's null space: restart from a fixed vector off it.
                for (std::size_t j = 0; j < n; ++j) x[j] = static_cast<double>(j + 1);
                const double nx = Norm2(x);
                for (double &v : x) v = v / nx;
                for (std::size_t i = 0; i < m; ++i) {
                    double s = 0.0;
                    for (std::size_t j = 0; j < n; ++j) s = s + a[j * m + i] * x[j];
                    ax[i] = s;
                }
                nax = Norm2(ax);
            }
            for (std::size_t j = 0; j < n; ++j) {
                double s = 0.0;
                for (std::size_t i = 0; i < m; ++i) s = s + a[j * m + i] * ax[i];
                x[j] = s;
            }
            const double nx = Norm2(x);
            e = nx / nax;
            for (double &v : x) v = v / nx;
            ++steps;
            if (e != e) break;
        }
        if (count) *count = steps;
        return e;
    });
}

namespace {

void RescaleLine(const double *x, std::size_t n, double *y, double l, double u) {
    double mn = mxGetNaN(), mx = mxGetNaN();
    for (std::size_t k = 0; k < n; ++k) {
        if (!(mn <= x[k])) mn = x[k] == x[k] ? x[k] : mn;
        if (!(mx >= x[k])) mx = x[k] == x[k] ? x[k] : mx;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (x[k] != x[k]) {
            y[k] = x[k];
        } else if (mx == mn) {
            y[k] = l;
        } else {
            y[k] = l + ((x[k] - mn) / (mx - mn)) * (u - l);
        }
    }
}

}  // namespace

CMatrix *Rescale(const CMatrix *A, double l, double u) {
    return Guarded([&] {
        RequireNumbers(A);
        Work w;
        if (IsInteger(A->GetClassID()))
            w.D.reset(Cast(A, mxClassDouble));
        else
            w = ToWork(A, "Rescale");
        ArrayHolder R(mxCreateNumericArray(w.D->GetNoDimensions(), w.D->GetDimensions(),
                                           mxClassDouble, mxComplexityReal));
        RescaleLine(w.Data(), w.D->GetNoElems(), static_cast<double *>(R->GetPr()), l, u);
        return Finish(std::move(R), w.single);
    });
}

namespace {

// The median of x[0 .. n) (NaN included) without reordering x.
double MedianOf(const double *x, std::size_t n, std::vector<double> &scratch) {
    scratch.assign(x, x + n);
    return LineMedian(scratch.data(), n, NanFlag::kInclude);
}

// The median of |x - median(x)|.
double MadOf(const double *x, std::size_t n, std::vector<double> &scratch) {
    const double m = MedianOf(x, n, scratch);
    for (std::size_t k = 0; k < n; ++k) scratch[k] = std::fabs(x[k] - m);
    return LineMedian(scratch.data(), n, NanFlag::kInclude);
}

// The 75th minus the 25th percentile, NaNs passed over as Prctile does.
double IqrOf(const double *x, std::size_t n, std::vector<double> &scratch) {
    scratch.assign(x, x + n);
    const std::size_t kept = DropNaN(scratch.data(), n);
    std::sort(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(kept), TotalLess);
    return PercentileOfSorted(scratch.data(), kept, 75) -
           PercentileOfSorted(scratch.data(), kept, 25);
}

double CentreOf(const double *x, std::size_t n, NormalizeStatistic s, double value,
                std::vector<double> &scratch) {
    double mean = value, sd = 0;
    switch (s) {
        case NormalizeStatistic::kMean: MeanStd(x, n, mean, sd); return mean;
        case NormalizeStatistic::kMedian: return MedianOf(x, n, scratch);
        default: return value;
    }
}

double ScaleOf(const double *x, std::size_t n, NormalizeStatistic s, double value,
               std::vector<double> &scratch) {
    double mean = 0, sd = value;
    switch (s) {
        case NormalizeStatistic::kStd: MeanStd(x, n, mean, sd); return sd;
        case NormalizeStatistic::kMad: return MadOf(x, n, scratch);
        case NormalizeStatistic::kIqr: return IqrOf(x, n, scratch);
        case NormalizeStatistic::kFirst: return n > 0 ? x[0] : mxGetNaN();
        default: return value;
    }
}

}  // namespace

CMatrix *Normalize(const CMatrix *A, unsigned int dim, const NormalizeOptions &o) {
    return Guarded([&] {
        Work w = ToWork(A, "Normalize");
        if (o.method == NormalizeMethod::kNorm && !(o.p >= 1))
            Fail("Normalize: p must be at least 1");
        const unsigned int along = Along(w.D.get(), dim);
        const std::size_t n = LengthAlong(w.D.get(), along);
        std::vector<double> scratch;
        ArrayHolder R(
            MapLines(w.D.get(), along, n, [&](const double *x, std::size_t len, double *y) {
                double c = 0, s = 1;
                switch (o.method) {
                    case NormalizeMethod::kZscore:
                        if (o.statistic == NormalizeStatistic::kMad) {
                            c = MedianOf(x, len, scratch);
                            s = MadOf(x, len, scratch);
                        } else {
                            MeanStd(x, len, c, s);
                        }
                        if (s == 0) s = 1;
                        break;
                    case NormalizeMethod::kRange: RescaleLine(x, len, y, o.l, o.u); return;
                    case NormalizeMethod::kNorm: {
                        const double p = PNorm(x, len, o.p);
                        for (std::size_t k = 0; k < len; ++k) y[k] = x[k] / p;
                        return;
                    }
                    case NormalizeMethod::kCenter:
                        c = CentreOf(x, len, o.statistic, o.value, scratch);
                        for (std::size_t k = 0; k < len; ++k) y[k] = x[k] - c;
                        return;
                    case NormalizeMethod::kScale:
                        s = ScaleOf(x, len, o.statistic, o.value, scratch);
                        for (std::size_t k = 0; k < len; ++k) y[k] = x[k] / s;
                        return;
                    case NormalizeMethod::kMedianIqr:
                        c = MedianOf(x, len, scratch);
                        s = IqrOf(x, len, scratch);
                        if (s == 0) s = 1;
                        break;
                    case NormalizeMethod::kCenterScale:
                        c = CentreOf(x, len, o.statistic, o.value, scratch);
                        s = ScaleOf(x, len, o.scaleStatistic, o.scaleValue, scratch);
                        break;
                }
                for (std::size_t k = 0; k < len; ++k) y[k] = (x[k] - c) / s;
            }));
        return Finish(std::move(R), w.single);
    });
}

Array Diff(const Array &a, unsigned int order, unsigned int dim) {
    return Array::Adopt(Diff(a.get(), order, dim));
}
Array Median(const Array &a, unsigned int dim, NanFlag nan) {
    return Array::Adopt(Median(a.get(), dim, nan));
}
Array Prctile(const Array &a, const Array &p, unsigned int dim) {
    return Array::Adopt(Prctile(a.get(), p.get(), dim));
}
Array Trapz(const Array &y, unsigned int dim) { return Array::Adopt(Trapz(nullptr, y.get(), dim)); }
Array Trapz(const Array &x, const Array &y, unsigned int dim) {
    return Array::Adopt(Trapz(x.get(), y.get(), dim));
}
Array Cov(const Array &x) { return Array::Adopt(Cov(x.get(), false)); }
Array Corrcoef(const Array &x) { return Array::Adopt(Corrcoef(x.get())); }
Array Moving(const Array &a, MovingKind kind, unsigned int kb, unsigned int kf, unsigned int dim,
             NanFlag nan) {
    return Array::Adopt(Moving(a.get(), kind, kb, kf, dim, nan));
}
Array Normalize(const Array &a, unsigned int dim, const NormalizeOptions &options) {
    return Array::Adopt(Normalize(a.get(), dim, options));
}

}  // namespace matrix
}  // namespace kiv
