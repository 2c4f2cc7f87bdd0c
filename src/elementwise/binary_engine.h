// src/elementwise/binary_engine.h: the element-wise binary engines (arithmetic,
// comparison, logical) with scalar expansion, and their element operations.
//
// Private to the library. The element-wise binary operators, MaxVal, MinVal,
// Max(A, B) and Min(A, B) are each one of these engines applied to one
// element operation (Mod, with rules of its own, is not); the engines own the
// operand checks, the scalar expansion, the shape check and the creation of
// the result, so the operations do not. The helpers in namespace engine
// (RequireRealDouble, RequireSameShape, NewRealDoubleLike, RealData) are
// shared with the other element-wise functions and the reductions.
//
// Contract shared by the engines:
//   - Operands must be real arrays of class double (class mxClassDouble, no
//     imaginary part); the logical flag of an operand is ignored. Anything
//     else throws CNotImplementedException, also for 1-by-1 operands.
//   - An operand with exactly one element, whatever its number of
//     dimensions, is a scalar and is expanded over the other operand; the
//     left operand is tested first. A 0-element operand is never a scalar.
//   - Otherwise both operands must have the same number of dimensions and
//     the same lengths (no other broadcasting), or
//     CArrayDimsMustMatchForBinaryOpException is thrown.
//   - Every check runs before the result is created, so a failed call
//     allocates nothing and leaves the operands as they were.
//   - The result is a new real double array owned by the caller, shaped like
//     the array operand (like A when both are arrays), never sharing data
//     with an operand. Its logical flag is clear for BinaryArrayOp and set
//     for RelationalArrayOp and LogicalArrayOp, also when it is empty.
//   - The element operation is called exactly once per result element, with
//     a from the left operand and b from the right; an empty result calls it
//     never. Large arrays are split into ranges of elements worked on
//     several threads, each range in increasing column-major order, so the
//     operations must be stateless; each element's result is the same
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

#include "core/array_fields.h"
#include "core/operand_checks.h"
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

/// Maximum: b when b > a, otherwise a. With a NaN on either side the result
/// is a (a NaN survives only from the left); of two zeros, a.
inline double ElementMax(double a, double b) { return b > a ? b : a; }
/// Minimum: a when a < b, otherwise b. With a NaN on either side the result
/// is b (a NaN survives only from the right); of two zeros, b.
inline double ElementMin(double a, double b) { return a < b ? a : b; }

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
/// same number of dimensions and the same lengths. Lengths are compared from
/// the last dimension to the first.
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
    return mxCreateNumericArray(ArrayFields::NoDimensions(shape), ArrayFields::Dimensions(shape),
                                mxClassDouble, mxComplexityReal);
}

inline const double *RealData(const CMatrix *a) {
    return static_cast<const double *>(ArrayFields::Pr(a));
}
inline double *RealData(CMatrix *a) { return static_cast<double *>(ArrayFields::Pr(a)); }

// Result maps: how an engine turns one pair of elements into one result
// element, and whether the result is logical. Each calls its operation once.
template <ElementOp kOp>
struct ArithmeticMap {
    static constexpr bool kLogical = false;
    double operator()(double a, double b) const { return kOp(a, b); }
};
template <ElementPredicate kPredicate>
struct RelationalMap {
    static constexpr bool kLogical = true;
    double operator()(double a, double b) const { return kPredicate(a, b) ? 1.0 : 0.0; }
};
template <LogicalElementOp kOp>
struct LogicalMap {
    static constexpr bool kLogical = true;
    double operator()(double a, double b) const { return kOp(IsTrue(a), IsTrue(b)) ? 1.0 : 0.0; }
};

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
template <class Map>
void MapPairs(const Map &map, std::size_t n, const double *__restrict a, const double *__restrict b,
              double *__restrict r) {
    for (std::size_t i = 0; i < n; ++i) r[i] = map(a[i], b[i]);
}
template <class Map>
void MapScalarLeft(const Map &map, std::size_t n, double a, const double *__restrict b,
                   double *__restrict r) {
    for (std::size_t i = 0; i < n; ++i) r[i] = map(a, b[i]);
}
template <class Map>
void MapScalarRight(const Map &map, std::size_t n, const double *__restrict a, double b,
                    double *__restrict r) {
    for (std::size_t i = 0; i < n; ++i) r[i] = map(a[i], b);
}

/// Scalar-left form: R(i) = map(a, B(i)), shaped like B.
template <class Map>
CMatrix *ApplyScalarLeft(const Map &map, double a, const CMatrix *B) {
    RequireRealDouble(B);
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
    RequireRealDouble(A);
    CMatrix *R = NewRealDoubleLike(A);
    if (Map::kLogical) ArrayFields::SetLogical(R);
    const double *a = RealData(A);
    double *r = RealData(R);
    OverElements(ArrayFields::NoElems(R), [&](std::size_t begin, std::size_t end) {
        MapScalarRight(map, end - begin, a + begin, b, r + begin);
    });
    return R;
}

/// Two operands of one shape, classes already checked: R(i) = map(A(i), B(i)).
template <class Map>
CMatrix *ApplySameShape(const Map &map, const CMatrix *A, const CMatrix *B) {
    RequireSameShape(A, B);
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

/// Two-array form with scalar expansion: classes of A then B, then a
/// one-element A, then a one-element B, then the shapes.
template <class Map>
CMatrix *ApplyExpanding(const Map &map, const CMatrix *A, const CMatrix *B) {
    RequireRealDouble(A);
    RequireRealDouble(B);
    if (ArrayFields::NoElems(A) == 1) return ApplyScalarLeft(map, RealData(A)[0], B);
    if (ArrayFields::NoElems(B) == 1) return ApplyScalarRight(map, A, RealData(B)[0]);
    return ApplySameShape(map, A, B);
}

}  // namespace engine

// --- The engines ------------------------------------------------------------

/// Applies an arithmetic element operation with scalar expansion; see the
/// contract at the top of this file. Returns a new real double array, logical
/// flag clear. Throws CNotImplementedException,
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

/// Applies a comparison with scalar expansion, exactly as BinaryArrayOp;
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
/// arrays of one shape; no scalar expansion and no class check, which And and
/// Or make before calling. Returns a new logical double array of A's shape
/// holding 0.0 and 1.0. Throws CArrayDimsMustMatchForBinaryOpException,
/// kiv::CExhaustedMemoryException.
template <LogicalElementOp kOp>
CMatrix *LogicalArrayOp(const CMatrix *A, const CMatrix *B) {
    return engine::ApplySameShape(engine::LogicalMap<kOp>(), A, B);
}

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_ELEMENTWISE_BINARY_ENGINE_H
