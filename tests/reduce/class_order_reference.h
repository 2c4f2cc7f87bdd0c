// tests/reduce/class_order_reference.h: the order of the elements of every
// class, written once with the C++ types, for the tests of Sort, Max and
// Min: real elements by value in their own type, complex ones by std::abs,
// then std::arg with -pi counted as pi; an element with a NaN part is
// unordered.
#ifndef MATRIX_TESTS_REDUCE_CLASS_ORDER_REFERENCE_H
#define MATRIX_TESTS_REDUCE_CLASS_ORDER_REFERENCE_H

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "support/matrix_test.h"

namespace matrix_test {

/// True when element i of `a` (or a part of it) is NaN.
inline bool NaNAt(const CMatrix *a, std::size_t i) {
    const bool complex = a->GetPi() != nullptr;
    return std::isnan(AnyValues(a)[i]) || (complex && std::isnan(AnyValues(a, true)[i]));
}

/// -1, 0 or 1 as element i of `a` is less than, equal to or greater than
/// element j; neither may be NaN.
inline int CompareAt(const CMatrix *a, std::size_t i, std::size_t j) {
    int out = 0;
    WithElementType(a->GetClassID(), [&](auto t) {
        using T = decltype(t);
        const T *re = static_cast<const T *>(a->GetPr());
        const T *im = static_cast<const T *>(a->GetPi());
        if (im == nullptr) {
            out = (re[i] > re[j]) - (re[i] < re[j]);
            return;
        }
        const auto at = [&](std::size_t k) {
            return std::complex<double>(static_cast<double>(re[k]), static_cast<double>(im[k]));
        };
        const std::complex<double> x = at(i), y = at(j);
        const double pi = std::acos(-1.0);
        const auto angle = [pi](std::complex<double> z) {
            const double theta = std::arg(z);
            return theta == -pi ? pi : theta;
        };
        const double ax = std::abs(x), ay = std::abs(y);
        out = ax != ay ? (ax < ay ? -1 : 1) : (angle(x) > angle(y)) - (angle(x) < angle(y));
    });
    return out;
}

/// The 1-based positions of the elements of the vector `a` sorted stably,
/// NaNs last ascending and first descending.
inline ValueList ReferenceSort(const CMatrix *a, bool descend) {
    std::vector<std::size_t> at(a->GetNoElems());
    std::iota(at.begin(), at.end(), std::size_t{0});
    std::stable_sort(at.begin(), at.end(), [&](std::size_t i, std::size_t j) {
        const bool ni = NaNAt(a, i), nj = NaNAt(a, j);
        if (ni || nj) return descend ? ni && !nj : !ni && nj;
        return descend ? CompareAt(a, i, j) > 0 : CompareAt(a, i, j) < 0;
    });
    ValueList positions;
    for (std::size_t k : at) positions.push_back(double(k) + 1.0);
    return positions;
}

/// The 1-based position of the maximum (or minimum) of the vector `a`: the
/// first of the greatest (least) elements that are not NaN, or 1 when it
/// holds only NaNs. A complex vector that starts with a NaN part still
/// gives 1.
inline double ReferenceExtreme(const CMatrix *a, bool max) {
    const std::size_t n = a->GetNoElems();
    if (a->GetPi() != nullptr && NaNAt(a, 0)) return 1.0;
    std::size_t best = n;
    for (std::size_t k = 0; k < n; ++k) {
        if (NaNAt(a, k)) continue;
        const int c = best == n ? 1 - 2 * !max : CompareAt(a, k, best);
        if (max ? c > 0 : c < 0) best = k;
    }
    return best == n ? 1.0 : double(best) + 1.0;
}

/// `a` with the elements in a column, its class, flags and parts kept.
inline ArrayPtr AsColumn(const CMatrix *a) {
    ArrayPtr c = Array({a->GetNoElems(), 1}, a->GetClassID(), a->GetComplexity());
    std::memcpy(c->GetPr(), a->GetPr(), a->GetAllocSize());
    if (a->GetPi() != nullptr) std::memcpy(c->GetPi(), a->GetPi(), a->GetAllocSize());
    if (a->IsLogical()) c->SetLogical();
    return c;
}

/// Rows of every kind of element the order meets: the limits of the 64-bit
/// integers (neighbours that one double cannot tell apart), NaN, infinities,
/// both zeros and the least subnormal in single, char and logical, and
/// complex values tied in modulus (1, -1, i, -i, -1 - 0i, 3 + 4i and 5),
/// with NaN parts.
inline std::vector<ArrayPtr> ClassOrderRows() {
    using special::kInf;
    using special::kNaN;
    constexpr std::uint64_t kTop = ~std::uint64_t{0};
    constexpr std::int64_t kLeast = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    const ValueList re = {1, -1, 0, 3, kNaN, -1, 0, 5, 1, -kInf};
    const ValueList im = {0, 0, 1, 4, 0, -0.0, -1, 0, kNaN, 0};
    std::vector<ArrayPtr> rows;
    rows.push_back(TypedRow(mxClassInt8, {5, -128, 127, 0, -1, 5, -128}));
    rows.push_back(Typed<std::uint64_t>(mxClassUint64, {1, 6},
                                        {kTop, 0, kTop - 1, (1ull << 53) + 1, 1ull << 53, kTop}));
    rows.push_back(
        Typed<std::int64_t>(mxClassInt64, {1, 5}, {kMost - 1, kLeast, kMost, -1, kLeast + 1}));
    rows.push_back(TypedRow(mxClassSingle, {1, kNaN, -0.0, 0.0, -kInf, kInf, kNaN, 1e-45, -1, 1}));
    rows.push_back(TypedRow(mxClassSingle, {kNaN, 2, 3, kNaN}));
    rows.push_back(Chars({1, 6}, "baCab "));
    rows.push_back(Mask({1, 0, 1, 0, 0}));
    rows.push_back(TypedRow(mxClassDouble, re, im));
    rows.push_back(TypedRow(mxClassSingle, re, im));
    return rows;
}

}  // namespace matrix_test

#endif  // MATRIX_TESTS_REDUCE_CLASS_ORDER_REFERENCE_H
