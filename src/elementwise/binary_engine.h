// src/elementwise/binary_engine.h: the element-wise binary engines (arithmetic,
// comparison, logical) with implicit expansion, and their element operations.
//
// Private to the library. The element-wise binary operators, MaxVal, MinVal,
// Max(A, B) and Min(A, B) are each one of these engines applied to one
// element operation (Mod, with rules of its own, is not); the engines own the
// operand checks, the expansion, the shape check and the creation of the
// result, so the operations do not. The helpers in namespace engine
// (RequireRealDouble, SameShape, Expand, NewRealDoubleLike, RealData) are
// shared with the other element-wise functions and the reductions.
//
// Contract shared by the engines:
//   - Real double operands (class mxClassDouble, no imaginary part; the
//     logical flag is ignored) take the loops of this file. Any other
//     operand goes to the class engine (class_engine.h), which states the
//     result class of each mix of classes and throws for the ones it cannot
//     combine.
//   - Shapes: two operands are compatible when in every dimension their
//     lengths are equal or one of them is 1 (a dimension an operand does not
//     have counts as 1); the result takes the larger length, and an operand
//     of length 1 is reused along that dimension. Otherwise
//     CArrayDimsMustMatchForBinaryOpException is thrown. A one-element
//     operand (a scalar) and two operands of one shape are the fast paths:
//     the left operand is tested for being a scalar first, and a 0-element
//     operand is never a scalar.
//   - Every check runs before the result is created, so a failed call
//     leaves nothing allocated and the operands as they were.
//   - The result is a new array owned by the caller, never sharing data
//     with an operand. Its logical flag is clear for BinaryArrayOp and set
//     for RelationalArrayOp and LogicalArrayOp, also when it is empty.
//   - On real doubles the element operation is called exactly once per
//     result element, with a from the left operand and b from the right; an
//     empty result calls it never. Large arrays are split into ranges of
//     elements (of runs along the first dimension, when expanding) worked
//     on several threads, each range in increasing column-major order, so
//     the operations must be stateless; each element's result is the same
//     whichever thread computes it.
//
// Each engine takes the element operation as a template argument, so that
// the compiler can inline it and vectorise the loop:
//     BinaryArrayOp<ElementMax>(A, B)
#ifndef MATRIX_SRC_ELEMENTWISE_BINARY_ENGINE_H
#define MATRIX_SRC_ELEMENTWISE_BINARY_ENGINE_H

#include <matrix/cmatrix.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

#include "core/array_fields.h"
#include "core/array_holder.h"
#include "core/operand_checks.h"
#include "elementwise/scalar/element_scalars.h"
#include "kernels/kernel_support.h"
#include "kernels/parallel.h"

namespace kiv {
namespace matrix {

/// Element operation of the arithmetic engine: a from the left operand, b
/// from the right. Stateless.
typedef double (*ElementOp)(double a, double b);
/// Element predicate of the comparison engine (and the better-than test of
/// the Max and Min reductions): a from the left operand, b from the right.
typedef bool (*ElementPredicate)(double a, double b);
/// Element operation of the logical engine, on the truth of the two elements.
typedef bool (*LogicalElementOp)(bool p, bool q);

// --- Element operations -----------------------------------------------------
// Each is one IEEE double operation with no test for division by zero,
// overflow or NaN: a NaN operand passes through with its bit pattern.

inline double ElementPlus(double a, double b) { return a + b; }
inline double ElementMinus(double a, double b) { return a - b; }
inline double ElementTimes(double a, double b) { return a * b; }
inline double ElementRdivide(double a, double b) { return a / b; }
inline double ElementLdivide(double a, double b) { return b / a; }
inline double ElementPower(double a, double b) { return std::pow(a, b); }

/// Maximum and minimum: the scalar routines of element_scalars.h (NaN is
/// missing data: the other operand is the result, NaN only when both are).
inline double ElementMax(double a, double b) { return elements::Max(a, b); }
inline double ElementMin(double a, double b) { return elements::Min(a, b); }

// Comparisons: false whenever a or b is NaN, except ElementNe, which is then
// true. ElementGt and ElementLt are the better-than tests of Max and Min.
inline bool ElementEq(double a, double b) { return a == b; }
inline bool ElementNe(double a, double b) { return !(a == b); }
inline bool ElementLt(double a, double b) { return a < b; }
inline bool ElementLe(double a, double b) { return a <= b; }
inline bool ElementGt(double a, double b) { return a > b; }
inline bool ElementGe(double a, double b) { return a >= b; }

inline bool ElementAnd(bool p, bool q) { return p && q; }
inline bool ElementOr(bool p, bool q) { return p || q; }

/// True when an element counts as true for And, Or and Not: it is not equal
/// to 0.0, so NaN and the infinities are true and both zeros false.
inline bool IsTrue(double x) { return x != 0.0; }

// --- Operand checks and results ---------------------------------------------

namespace engine {

using matrix::IsRealDouble;
using matrix::RequireRealDouble;
using matrix::ThrowNotImplemented;

// Throw helpers keep the checks on the hot path short.
[[noreturn]] inline void ThrowDimsMustMatch() { throw CArrayDimsMustMatchForBinaryOpException(); }

/// Throws CArrayDimsMustMatchForBinaryOpException unless A and B have the
/// same number of dimensions and the same lengths (Mod's shape rule).
/// Lengths are compared from the last dimension to the first.
inline void RequireSameShape(const CMatrix *A, const CMatrix *B) {
    const unsigned int nDims = ArrayFields::NoDimensions(A);
    if (nDims != ArrayFields::NoDimensions(B)) ThrowDimsMustMatch();
    const unsigned int *dimsA = ArrayFields::Dimensions(A);
    const unsigned int *dimsB = ArrayFields::Dimensions(B);
    for (unsigned int d = nDims; d-- > 0;) {
        if (dimsA[d] != dimsB[d]) ThrowDimsMustMatch();
    }
}

/// Returns a new real double array of `shape`'s dimensions, flags clear and
/// data uninitialised; throws kiv::CExhaustedMemoryException.
inline CMatrix *NewRealDoubleLike(const CMatrix *shape) {
    return ArrayFields::NewRealDoubleLike(shape);
}

inline const double *RealData(const CMatrix *a) {
    return static_cast<const double *>(ArrayFields::Pr(a));
}
inline double *RealData(CMatrix *a) { return static_cast<double *>(ArrayFields::Pr(a)); }

/// Which engine a result map belongs to, for the class engine's dispatch.
enum class MapKind { kArithmetic, kRelational, kLogical };

// Result maps: how an engine turns one pair of elements into one result
// element, and whether the result is logical. Each calls its operation once.
template <ElementOp kOp>
struct ArithmeticMap {
    static constexpr bool kLogical = false;
    static constexpr MapKind kKind = MapKind::kArithmetic;
    static constexpr ElementOp kOperation = kOp;
    double operator()(double a, double b) const { return kOp(a, b); }
};
template <ElementPredicate kPredicate>
struct RelationalMap {
    static constexpr bool kLogical = true;
    static constexpr MapKind kKind = MapKind::kRelational;
    static constexpr ElementPredicate kTest = kPredicate;
    double operator()(double a, double b) const { return kPredicate(a, b) ? 1.0 : 0.0; }
};
template <LogicalElementOp kOp>
struct LogicalMap {
    static constexpr bool kLogical = true;
    static constexpr MapKind kKind = MapKind::kLogical;
    static constexpr LogicalElementOp kConnective = kOp;
    double operator()(double a, double b) const { return kOp(IsTrue(a), IsTrue(b)) ? 1.0 : 0.0; }
};

// The other classes (see class_engine.h): A and B of any classes, at least
// one of them not real double.
// Kept out of line and cold, so that the real double paths stay as short
// as they were.
template <class Map>
[[gnu::noinline, gnu::cold]] CMatrix *ApplyOnClasses(const CMatrix *A, const CMatrix *B);
template <class Map>
[[gnu::noinline, gnu::cold]] CMatrix *ApplyOnClasses(double a, const CMatrix *B);
template <class Map>
[[gnu::noinline, gnu::cold]] CMatrix *ApplyOnClasses(const CMatrix *A, double b);

// Arrays of at least this many elements are shared among the threads: below
// it, waking them costs about as much as a cheap loop such as Plus (measured
// slower on two threads at 10^5 elements).
constexpr std::size_t kSplitElements = std::size_t(1) << 18;
// Threads take whole multiples of this many elements: 32 KB of doubles, so
// that two threads rarely write one cache line or page.
constexpr std::size_t kElementGrain = std::size_t(1) << 12;

/// Calls loop(begin, end) over ranges that cover [0, n) once each: the
/// whole range on the calling thread when it is small, else ranges on
/// several threads (see kernels::ParallelFor).
template <class Loop>
void OverElements(std::size_t n, const Loop &loop) {
    if (n < kSplitElements) {
        loop(std::size_t(0), n);
        return;
    }
    kernels::ParallelFor(n, kElementGrain, loop);
}

// The three loops. The result is freshly allocated, so it aliases no
// operand; saying so lets the compiler vectorise without run-time overlap
// tests. Elements are visited in increasing order, one call each.
//
// Each loop is compiled twice, the second time for AVX2 and taken where
// the processor has it (kernels::HasAvx2): four lanes instead of two halve
// the instructions of a short loop, which is most of a call's time below
// some thousands of elements. Each lane computes its element exactly as
// the scalar operation does, so the results are the same bits.
#define MATRIX_ELEMENT_LOOPS(attributes, suffix)                                                \
    template <class Map>                                                                        \
    attributes void MapPairs##suffix(const Map &map, std::size_t n, const double *__restrict a, \
                                     const double *__restrict b, double *__restrict r) {        \
        for (std::size_t i = 0; i < n; ++i) r[i] = map(a[i], b[i]);                             \
    }                                                                                           \
    template <class Map>                                                                        \
    attributes void MapScalarLeft##suffix(const Map &map, std::size_t n, double a,              \
                                          const double *__restrict b, double *__restrict r) {   \
        for (std::size_t i = 0; i < n; ++i) r[i] = map(a, b[i]);                                \
    }                                                                                           \
    template <class Map>                                                                        \
    attributes void MapScalarRight##suffix(const Map &map, std::size_t n,                       \
                                           const double *__restrict a, double b,                \
                                           double *__restrict r) {                              \
        for (std::size_t i = 0; i < n; ++i) r[i] = map(a[i], b);                                \
    }

MATRIX_ELEMENT_LOOPS(, Portable)
#if defined(MATRIX_HAVE_AVX2_PATHS)
MATRIX_ELEMENT_LOOPS(__attribute__((target("avx2"))), Avx2)
#endif
#undef MATRIX_ELEMENT_LOOPS

template <class Map>
void MapPairs(const Map &map, std::size_t n, const double *a, const double *b, double *r) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (kernels::HasAvx2()) return MapPairsAvx2(map, n, a, b, r);
#endif
    MapPairsPortable(map, n, a, b, r);
}
template <class Map>
void MapScalarLeft(const Map &map, std::size_t n, double a, const double *b, double *r) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (kernels::HasAvx2()) return MapScalarLeftAvx2(map, n, a, b, r);
#endif
    MapScalarLeftPortable(map, n, a, b, r);
}
template <class Map>
void MapScalarRight(const Map &map, std::size_t n, const double *a, double b, double *r) {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    if (kernels::HasAvx2()) return MapScalarRightAvx2(map, n, a, b, r);
#endif
    MapScalarRightPortable(map, n, a, b, r);
}

/// Scalar-left form: R(i) = map(a, B(i)), shaped like B; B of another class
/// than real double goes to the class engine.
template <class Map>
CMatrix *ApplyScalarLeft(const Map &map, double a, const CMatrix *B) {
    if (!IsRealDouble(B)) return ApplyOnClasses<Map>(a, B);
    CMatrix *R = NewRealDoubleLike(B);
    if (Map::kLogical) ArrayFields::SetLogical(R);
    const double *b = RealData(B);
    double *r = RealData(R);
    OverElements(ArrayFields::NoElems(R), [&](std::size_t begin, std::size_t end) {
        MapScalarLeft(map, end - begin, a, b + begin, r + begin);
    });
    return R;
}

/// Scalar-right form: R(i) = map(A(i), b), shaped like A.
template <class Map>
CMatrix *ApplyScalarRight(const Map &map, const CMatrix *A, double b) {
    if (!IsRealDouble(A)) return ApplyOnClasses<Map>(A, b);
    CMatrix *R = NewRealDoubleLike(A);
    if (Map::kLogical) ArrayFields::SetLogical(R);
    const double *a = RealData(A);
    double *r = RealData(R);
    OverElements(ArrayFields::NoElems(R), [&](std::size_t begin, std::size_t end) {
        MapScalarRight(map, end - begin, a + begin, b, r + begin);
    });
    return R;
}

/// True when A and B have the same number of dimensions and the same lengths.
inline bool SameShape(const CMatrix *A, const CMatrix *B) {
    const unsigned int nDims = ArrayFields::NoDimensions(A);
    if (nDims != ArrayFields::NoDimensions(B)) return false;
    const unsigned int *dimsA = ArrayFields::Dimensions(A);
    const unsigned int *dimsB = ArrayFields::Dimensions(B);
    for (unsigned int d = nDims; d-- > 0;) {
        if (dimsA[d] != dimsB[d]) return false;
    }
    return true;
}

/// The layout of two operands under implicit expansion: the result's
/// lengths and, for each dimension, the step in elements that one step of
/// the result takes in A and in B (0 where that operand's length is 1, so
/// its one slice is reused).
struct Expansion {
    std::vector<unsigned int> dims;
    std::vector<std::size_t> strideA;
    std::vector<std::size_t> strideB;
    std::size_t count = 1;
};

/// Lays out A and B for implicit expansion: in every dimension the lengths
/// must be equal or one of them 1 (a dimension an operand does not have
/// counts as 1), and the result takes the larger. Throws
/// CArrayDimsMustMatchForBinaryOpException otherwise, and
/// kiv::CExhaustedMemoryException.
inline Expansion Expand(const CMatrix *A, const CMatrix *B) {
    const unsigned int nA = ArrayFields::NoDimensions(A), nB = ArrayFields::NoDimensions(B);
    const unsigned int *dimsA = ArrayFields::Dimensions(A);
    const unsigned int *dimsB = ArrayFields::Dimensions(B);
    const unsigned int nDims = nA > nB ? nA : nB;
    for (unsigned int d = nDims; d-- > 0;) {
        const unsigned int la = d < nA ? dimsA[d] : 1, lb = d < nB ? dimsB[d] : 1;
        if (la != lb && la != 1 && lb != 1) ThrowDimsMustMatch();
    }
    Expansion e;
    try {
        e.dims.resize(nDims);
        e.strideA.resize(nDims);
        e.strideB.resize(nDims);
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
    std::size_t stepA = 1, stepB = 1;
    for (unsigned int d = 0; d < nDims; ++d) {
        const unsigned int la = d < nA ? dimsA[d] : 1, lb = d < nB ? dimsB[d] : 1;
        e.dims[d] = la == 1 ? lb : la;
        e.strideA[d] = la == 1 ? 0 : stepA;
        e.strideB[d] = lb == 1 ? 0 : stepB;
        stepA *= la;
        stepB *= lb;
        e.count *= e.dims[d];
    }
    return e;
}

/// A zeroed subscript per dimension, for walking an expansion; throws
/// kiv::CExhaustedMemoryException.
inline std::vector<unsigned int> Subscripts(std::size_t nDims) {
    try {
        return std::vector<unsigned int>(nDims, 0);
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

/// Calls column(r, offA, offB) for every run of the result along its first
/// dimension: r is the offset of the run's first result element, offA and
/// offB those of its first elements of A and B; the run has e.dims[0]
/// elements, and steps of e.strideA[0] and e.strideB[0] (each 0 or 1) in
/// the operands. Runs go to several threads when the result is large; each
/// thread takes its runs in increasing order.
template <class Column>
void OverRuns(const Expansion &e, const Column &column) {
    if (e.count == 0) return;
    const std::size_t length = e.dims[0];
    const std::size_t nDims = e.dims.size();
    auto runs = [&](std::size_t begin, std::size_t end) {
        // Subscripts of run `begin` in dimensions 1 and up, then one step at
        // a time like an odometer.
        std::vector<unsigned int> sub = Subscripts(nDims);
        std::size_t offA = 0, offB = 0, rest = begin;
        for (std::size_t d = 1; d < nDims; ++d) {
            sub[d] = static_cast<unsigned int>(rest % e.dims[d]);
            rest /= e.dims[d];
            offA += sub[d] * e.strideA[d];
            offB += sub[d] * e.strideB[d];
        }
        for (std::size_t run = begin; run < end; ++run) {
            column(run * length, offA, offB);
            for (std::size_t d = 1; d < nDims; ++d) {
                offA += e.strideA[d];
                offB += e.strideB[d];
                if (++sub[d] < e.dims[d]) break;
                offA -= e.strideA[d] * e.dims[d];
                offB -= e.strideB[d] * e.dims[d];
                sub[d] = 0;
            }
        }
    };
    const std::size_t nRuns = e.count / length;
    if (e.count < kSplitElements) {
        runs(0, nRuns);
        return;
    }
    const std::size_t grain = length >= kElementGrain ? 1 : kElementGrain / length;
    kernels::ParallelFor(nRuns, grain, runs);
}

/// Two real double operands of one shape: R(i) = map(A(i), B(i)).
template <class Map>
CMatrix *ApplySameShape(const Map &map, const CMatrix *A, const CMatrix *B) {
    CMatrix *R = NewRealDoubleLike(A);
    if (Map::kLogical) ArrayFields::SetLogical(R);
    const double *a = RealData(A);
    const double *b = RealData(B);
    double *r = RealData(R);
    OverElements(ArrayFields::NoElems(R), [&](std::size_t begin, std::size_t end) {
        MapPairs(map, end - begin, a + begin, b + begin, r + begin);
    });
    return R;
}

/// Two real double operands of compatible shapes that differ: each run of
/// the result along the first dimension is one of the three loops.
template <class Map>
[[gnu::noinline]] CMatrix *ApplyExpanded(const Map &map, const CMatrix *A, const CMatrix *B) {
    const Expansion e = Expand(A, B);
    ArrayHolder holder(mxCreateNumericArray(static_cast<unsigned int>(e.dims.size()), e.dims.data(),
                                            mxClassDouble, mxComplexityReal));
    CMatrix *R = holder.get();
    if (Map::kLogical) ArrayFields::SetLogical(R);
    const double *a = RealData(A);
    const double *b = RealData(B);
    double *r = RealData(R);
    const std::size_t n = e.dims[0];
    const bool runA = e.strideA[0] != 0, runB = e.strideB[0] != 0;
    OverRuns(e, [&](std::size_t at, std::size_t offA, std::size_t offB) {
        if (runA && runB) {
            MapPairs(map, n, a + offA, b + offB, r + at);
        } else if (runB) {
            MapScalarLeft(map, n, a[offA], b + offB, r + at);
        } else if (runA) {
            MapScalarRight(map, n, a + offA, b[offB], r + at);
        } else {
            r[at] = map(a[offA], b[offB]);
        }
    });
    return holder.release();
}

/// Two-array form: real doubles take the scalar forms, then the same-shape
/// loop, then implicit expansion; any other class goes to the class engine.
template <class Map>
CMatrix *ApplyExpanding(const Map &map, const CMatrix *A, const CMatrix *B) {
    if (!IsRealDouble(A) || !IsRealDouble(B)) return ApplyOnClasses<Map>(A, B);
    if (ArrayFields::NoElems(A) == 1) return ApplyScalarLeft(map, RealData(A)[0], B);
    if (ArrayFields::NoElems(B) == 1) return ApplyScalarRight(map, A, RealData(B)[0]);
    if (SameShape(A, B)) return ApplySameShape(map, A, B);
    return ApplyExpanded(map, A, B);
}

}  // namespace engine

// --- The engines ------------------------------------------------------------

/// Applies an arithmetic element operation with implicit expansion; see the
/// contract at the top of this file. Returns a new array, logical flag
/// clear, real double for real double operands (see class_engine.h for the
/// others). Throws CNotImplementedException,
/// CIntegersCanOnlyBeCombinedException,
/// CArrayDimsMustMatchForBinaryOpException, kiv::CExhaustedMemoryException.
template <ElementOp kOp>
CMatrix *BinaryArrayOp(const CMatrix *A, const CMatrix *B) {
    return engine::ApplyExpanding(engine::ArithmeticMap<kOp>(), A, B);
}
template <ElementOp kOp>
CMatrix *BinaryArrayOp(double a, const CMatrix *B) {
    return engine::ApplyScalarLeft(engine::ArithmeticMap<kOp>(), a, B);
}
template <ElementOp kOp>
CMatrix *BinaryArrayOp(const CMatrix *A, double b) {
    return engine::ApplyScalarRight(engine::ArithmeticMap<kOp>(), A, b);
}

/// Applies a comparison with implicit expansion, exactly as BinaryArrayOp;
/// each result element is 1.0 where the predicate holds and 0.0 elsewhere,
/// and the result carries the logical flag. Throws as BinaryArrayOp.
template <ElementPredicate kPredicate>
CMatrix *RelationalArrayOp(const CMatrix *A, const CMatrix *B) {
    return engine::ApplyExpanding(engine::RelationalMap<kPredicate>(), A, B);
}
template <ElementPredicate kPredicate>
CMatrix *RelationalArrayOp(double a, const CMatrix *B) {
    return engine::ApplyScalarLeft(engine::RelationalMap<kPredicate>(), a, B);
}
template <ElementPredicate kPredicate>
CMatrix *RelationalArrayOp(const CMatrix *A, double b) {
    return engine::ApplyScalarRight(engine::RelationalMap<kPredicate>(), A, b);
}

/// Applies a logical operation to the truth (IsTrue) of the elements of two
/// real double arrays of compatible shapes (implicit expansion, no scalar
/// shortcut and no class check, which And and Or make before calling).
/// Returns a new logical double array holding 0.0 and 1.0. Throws
/// CArrayDimsMustMatchForBinaryOpException, kiv::CExhaustedMemoryException.
template <LogicalElementOp kOp>
CMatrix *LogicalArrayOp(const CMatrix *A, const CMatrix *B) {
    if (engine::SameShape(A, B)) return engine::ApplySameShape(engine::LogicalMap<kOp>(), A, B);
    return engine::ApplyExpanded(engine::LogicalMap<kOp>(), A, B);
}

}  // namespace matrix
}  // namespace kiv

#include "elementwise/class_engine.h"

#endif  // MATRIX_SRC_ELEMENTWISE_BINARY_ENGINE_H
