// src/reduce/class_order.cpp: sorting, maxima and minima of the arrays that
// are not real double, on the order of class_order.h.
#include "reduce/class_order.h"

#include <kiv/exception.h>
#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/array_holder.h"
#include "elementwise/class_engine.h"
#include "reduce/dimension_walk.h"

namespace kiv {
namespace matrix {
namespace reduce {

namespace {

// Calls f with a value of the element type of class id; char is its code
// units. Other classes throw CNotImplementedException.
template <class F>
void WithElementType(mxClassID id, F &&f) {
    switch (id) {
        case mxClassDouble: f(double{}); return;
        case mxClassSingle: f(float{}); return;
        case mxClassInt8: f(std::int8_t{}); return;
        case mxClassUint8: f(std::uint8_t{}); return;
        case mxClassInt16: f(std::int16_t{}); return;
        case mxClassChar:
        case mxClassUint16: f(std::uint16_t{}); return;
        case mxClassInt32: f(std::int32_t{}); return;
        case mxClassUint32: f(std::uint32_t{}); return;
        case mxClassInt64: f(std::int64_t{}); return;
        case mxClassUint64: f(std::uint64_t{}); return;
        default: throw CNotImplementedException();
    }
}

// The order of real elements of type T: their values.
template <class T>
struct RealOrder {
    using Key = T;
    static bool IsNaN(T x) {
        if constexpr (std::is_floating_point_v<T>) {
            return std::isnan(x);
        } else {
            (void)x;
            return false;
        }
    }
    static bool Less(T x, T y) { return x < y; }
};

// The order of complex elements: modulus, then angle in (-pi, pi].
constexpr double kPi = 3.14159265358979323846;  // atan2(+0, -1)
struct ComplexKey {
    double modulus;
    double angle;
    bool nan;
};
struct ComplexOrder {
    using Key = ComplexKey;
    static bool IsNaN(const ComplexKey &x) { return x.nan; }
    static bool Less(const ComplexKey &x, const ComplexKey &y) {
        return x.modulus < y.modulus || (x.modulus == y.modulus && x.angle < y.angle);
    }
};

template <class T>
ComplexKey MakeComplexKey(T re, T im) {
    const double x = static_cast<double>(re);
    const double y = static_cast<double>(im);
    if (std::isnan(x) || std::isnan(y)) return {0.0, 0.0, true};
    const double angle = std::atan2(y, x);
    return {std::hypot(x, y), angle == -kPi ? kPi : angle, false};
}

// The keys of every element of A in the order Order; for a real array the
// elements themselves.
template <class T>
std::vector<ComplexKey> ComplexKeys(const CMatrix *A) {
    const T *re = static_cast<const T *>(A->GetPr());
    const T *im = static_cast<const T *>(A->GetPi());
    std::vector<ComplexKey> keys(A->GetNoElems());
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = MakeComplexKey(re[i], im[i]);
    return keys;
}

// Runs body(Order, key) with key(i) the key of element i of A.
template <class T, class Body>
void WithOrder(const CMatrix *A, Body &&body) {
    if (A->GetPi() == nullptr) {
        const T *re = static_cast<const T *>(A->GetPr());
        body(RealOrder<T>{}, [re](std::size_t i) { return re[i]; });
    } else {
        const std::vector<ComplexKey> keys = ComplexKeys<T>(A);
        body(ComplexOrder{}, [&keys](std::size_t i) { return keys[i]; });
    }
}

// Calls visit(first, stride, n, line) for every line of A along dim, line
// counting from 0 in the order of the reduced array's elements.
template <class Visit>
void ForEachLine(const DimensionSplit &split, Visit &&visit) {
    std::size_t line = 0;
    for (std::size_t o = 0; o < split.after; ++o) {
        for (std::size_t p = 0; p < split.before; ++p, ++line)
            visit(o * split.before * split.n + p, split.before, line);
    }
}

// Runs f, turning the standard library's failed allocation into the
// library's.
template <class F>
void WithMemory(F &&f) {
    try {
        f();
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

void RequireNumeric(const CMatrix *A) {
    if (!A->IsNumeric() || A->IsSparse()) throw CNotImplementedException();
}

}  // namespace

void SortOtherClass(const CMatrix *A, unsigned int dim, SortOrder order, CMatrix *Y,
                    double *positions) {
    RequireNumeric(A);
    const DimensionSplit split = SplitAround(A, dim);
    if (split.n == 0 || split.before == 0 || split.after == 0) return;
    const std::size_t n = split.n;
    WithMemory([&] {
        WithElementType(A->GetClassID(), [&](auto element) {
            using T = decltype(element);
            const T *re = static_cast<const T *>(A->GetPr());
            const T *im = static_cast<const T *>(A->GetPi());
            T *yr = static_cast<T *>(Y->GetPr());
            T *yi = static_cast<T *>(Y->GetPi());
            WithOrder<T>(A, [&](auto orderTag, auto key) {
                using Order = decltype(orderTag);
                std::vector<std::uint32_t> at(n);
                std::vector<typename Order::Key> keys(n);
                const bool descend = order == SortOrder::kDescend;
                // Equal elements keep their order in the line: ties go by
                // position, so that the sort needs no scratch of its own.
                const auto before = [&](std::uint32_t i, std::uint32_t j) {
                    const auto &x = keys[i];
                    const auto &y = keys[j];
                    const bool nx = Order::IsNaN(x), ny = Order::IsNaN(y);
                    if (nx != ny) return descend ? nx : ny;
                    if (!nx) {
                        if (descend ? Order::Less(y, x) : Order::Less(x, y)) return true;
                        if (descend ? Order::Less(x, y) : Order::Less(y, x)) return false;
                    }
                    return i < j;
                };
                ForEachLine(split, [&](std::size_t first, std::size_t stride, std::size_t) {
                    for (std::size_t k = 0; k < n; ++k) {
                        at[k] = static_cast<std::uint32_t>(k);
                        keys[k] = key(first + k * stride);
                    }
                    std::sort(at.begin(), at.end(), before);
                    for (std::size_t k = 0; k < n; ++k) {
                        const std::size_t to = first + k * stride;
                        const std::size_t from = first + at[k] * stride;
                        yr[to] = re[from];
                        if (yi != nullptr) yi[to] = im[from];
                        if (positions != nullptr) positions[to] = static_cast<double>(at[k]) + 1.0;
                    }
                });
            });
        });
    });
}

template <bool kMax>
CMatrix *ExtremeOtherClass(const CMatrix *A, unsigned int dim, CMatrix **I) {
    RequireNumeric(A);
    ArrayHolder values;
    ArrayHolder positions;
    if (dim > A->GetNoDimensions()) {
        // Every line has the one element at position 1.
        values.reset(A->CreateShareArray());
        if (I != nullptr) positions.reset(Ones(A->GetNoDimensions(), A->GetDimensions()));
    } else {
        const ReducedDims dims(A, dim, EmptyDimension::kStaysZero);
        values.reset(
            mxCreateNumericArray(dims.Count(), dims.Data(), A->GetClassID(), A->GetComplexity()));
        if (I != nullptr)
            positions.reset(
                mxCreateNumericArray(dims.Count(), dims.Data(), mxClassDouble, mxComplexityReal));
        if (values->GetNoElems() != 0) {
            const DimensionSplit split = SplitAround(A, dim);
            double *at = positions ? static_cast<double *>(positions->GetPr()) : nullptr;
            WithMemory([&] {
                WithElementType(A->GetClassID(), [&](auto element) {
                    using T = decltype(element);
                    const T *re = static_cast<const T *>(A->GetPr());
                    const T *im = static_cast<const T *>(A->GetPi());
                    T *yr = static_cast<T *>(values->GetPr());
                    T *yi = static_cast<T *>(values->GetPi());
                    WithOrder<T>(A, [&](auto orderTag, auto key) {
                        using Order = decltype(orderTag);
                        ForEachLine(split,
                                    [&](std::size_t first, std::size_t stride, std::size_t line) {
                                        std::size_t best = 0;
                                        auto s = key(first);
                                        for (std::size_t k = 1; k < split.n; ++k) {
                                            const auto x = key(first + k * stride);
                                            // NaN is passed over: a line's
                                            // first other element takes its
                                            // place; only an all-NaN line
                                            // gives its first NaN.
                                            if (Order::IsNaN(x)) continue;
                                            if (Order::IsNaN(s) ||
                                                (kMax ? Order::Less(s, x) : Order::Less(x, s))) {
                                                best = k;
                                                s = x;
                                            }
                                        }
                                        yr[line] = re[first + best * stride];
                                        if (yi != nullptr) yi[line] = im[first + best * stride];
                                        if (at != nullptr)
                                            at[line] = static_cast<double>(best) + 1.0;
                                    });
                    });
                });
            });
        }
    }
    if (I != nullptr) *I = positions.release();
    return values.release();
}

template <bool kMax>
CMatrix *ComplexPairExtreme(const CMatrix *A, const CMatrix *B) {
    const auto operand = [](const CMatrix *X) {
        const mxClassID id = X->GetClassID();
        // An integer class holds no complex values.
        if (id >= mxClassInt8 && id <= mxClassUint64)
            throw CFunctionErrorException(L"Complex integer arithmetic is not supported.");
        if (id != mxClassDouble && id != mxClassSingle && id != mxClassChar)
            throw CNotImplementedException();
    };
    operand(A);
    operand(B);
    const engine::Expansion e = engine::Expand(A, B);
    const bool single = A->GetClassID() == mxClassSingle || B->GetClassID() == mxClassSingle;
    ArrayHolder R = engine::NewResult(e, single ? mxClassSingle : mxClassDouble, true);
    // Element i of X as a complex double (exact for every class taken).
    const auto read = [](const CMatrix *X, std::size_t i) {
        double re = 0.0, im = 0.0;
        WithElementType(X->GetClassID(), [&](auto element) {
            using T = decltype(element);
            re = static_cast<double>(static_cast<const T *>(X->GetPr())[i]);
            if (X->GetPi() != nullptr)
                im = static_cast<double>(static_cast<const T *>(X->GetPi())[i]);
        });
        return std::pair<double, double>(re, im);
    };
    const auto fill = [&](auto element) {
        using F = decltype(element);
        F *rr = static_cast<F *>(R->GetPr());
        F *ri = static_cast<F *>(R->GetPi());
        engine::OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            const auto [ar, ai] = read(A, ia);
            const auto [br, bi] = read(B, ib);
            const ComplexKey a = MakeComplexKey(ar, ai), b = MakeComplexKey(br, bi);
            const bool ordered = !a.nan && !b.nan;
            const bool takeB =
                kMax ? ordered && ComplexOrder::Less(a, b) : !(ordered && ComplexOrder::Less(a, b));
            rr[i] = static_cast<F>(takeB ? br : ar);
            ri[i] = static_cast<F>(takeB ? bi : ai);
        });
        engine::RealWhenPossible<F>(R.get());
    };
    if (single) {
        fill(float{});
    } else {
        fill(double{});
    }
    return R.release();
}

template CMatrix *ComplexPairExtreme<true>(const CMatrix *A, const CMatrix *B);
template CMatrix *ComplexPairExtreme<false>(const CMatrix *A, const CMatrix *B);
template CMatrix *ExtremeOtherClass<true>(const CMatrix *A, unsigned int dim, CMatrix **I);
template CMatrix *ExtremeOtherClass<false>(const CMatrix *A, unsigned int dim, CMatrix **I);

}  // namespace reduce
}  // namespace matrix
}  // namespace kiv
