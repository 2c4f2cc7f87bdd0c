// src/elementwise/relational.cpp: comparisons, the element-wise logical
// operators and the logical conversion, all with logical results.
#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/array_holder.h"

#include "elementwise/binary_engine.h"
#include "elementwise/unary_engine.h"

namespace kiv {
namespace matrix {

// --- Comparisons --------------------------------------------------------------

CMatrix *Eq(const CMatrix *A, const CMatrix *B) { return RelationalArrayOp<ElementEq>(A, B); }
CMatrix *Eq(double a, const CMatrix *B) { return RelationalArrayOp<ElementEq>(a, B); }
CMatrix *Eq(const CMatrix *A, double b) { return RelationalArrayOp<ElementEq>(A, b); }

CMatrix *Ne(const CMatrix *A, const CMatrix *B) { return RelationalArrayOp<ElementNe>(A, B); }
CMatrix *Ne(double a, const CMatrix *B) { return RelationalArrayOp<ElementNe>(a, B); }
CMatrix *Ne(const CMatrix *A, double b) { return RelationalArrayOp<ElementNe>(A, b); }

CMatrix *Lt(const CMatrix *A, const CMatrix *B) { return RelationalArrayOp<ElementLt>(A, B); }
CMatrix *Lt(double a, const CMatrix *B) { return RelationalArrayOp<ElementLt>(a, B); }
CMatrix *Lt(const CMatrix *A, double b) { return RelationalArrayOp<ElementLt>(A, b); }

CMatrix *Le(const CMatrix *A, const CMatrix *B) { return RelationalArrayOp<ElementLe>(A, B); }
CMatrix *Le(double a, const CMatrix *B) { return RelationalArrayOp<ElementLe>(a, B); }
CMatrix *Le(const CMatrix *A, double b) { return RelationalArrayOp<ElementLe>(A, b); }

CMatrix *Gt(const CMatrix *A, const CMatrix *B) { return RelationalArrayOp<ElementGt>(A, B); }
CMatrix *Gt(double a, const CMatrix *B) { return RelationalArrayOp<ElementGt>(a, B); }
CMatrix *Gt(const CMatrix *A, double b) { return RelationalArrayOp<ElementGt>(A, b); }

CMatrix *Ge(const CMatrix *A, const CMatrix *B) { return RelationalArrayOp<ElementGe>(A, B); }
CMatrix *Ge(double a, const CMatrix *B) { return RelationalArrayOp<ElementGe>(a, B); }
CMatrix *Ge(const CMatrix *A, double b) { return RelationalArrayOp<ElementGe>(A, b); }

// --- And, Or, Not -----------------------------------------------------------

namespace {

// A logical array of M's shape, every element `value`. M's class and
// complexity are not looked at: a scalar that decides the result alone makes
// the other operand's values irrelevant.
CMatrix *LogicalFilled(const CMatrix *M, bool value) {
    const unsigned int nDims = M->GetNoDimensions();
    CMatrix *R = value ? Ones(nDims, M->GetDimensions()) : Zeros(nDims, M->GetDimensions());
    R->SetLogical();
    return R;
}

// The scalar forms, with the scalar s and the array M: a false s decides
// And, a true s decides Or; otherwise the result is the truth of M.
CMatrix *AndScalar(double s, const CMatrix *M) {
    if (!IsTrue(s)) return LogicalFilled(M, false);
    return Ne(0.0, M);
}

CMatrix *OrScalar(double s, const CMatrix *M) {
    if (IsTrue(s)) return LogicalFilled(M, true);
    return Ne(0.0, M);
}

double ElementNot(double x) { return x == 0.0 ? 1.0 : 0.0; }

// The truth of a one-element operand of any numeric class, as 1.0 or 0.0.
double TruthOf(const CMatrix *M) { return engine::View(M).Truth(0) ? 1.0 : 0.0; }

template <LogicalElementOp kOp, CMatrix *(*kScalar)(double, const CMatrix *)>
CMatrix *Connect(const CMatrix *A, const CMatrix *B) {
    if (engine::IsRealDouble(A) && engine::IsRealDouble(B)) {
        if (A->GetNoElems() == 1) return kScalar(engine::RealData(A)[0], B);
        if (B->GetNoElems() == 1) return kScalar(engine::RealData(B)[0], A);
        return LogicalArrayOp<kOp>(A, B);
    }
    // Both class checks come before a scalar decides.
    engine::View(A);
    engine::View(B);
    if (A->GetNoElems() == 1) return kScalar(TruthOf(A), B);
    if (B->GetNoElems() == 1) return kScalar(TruthOf(B), A);
    return engine::LogicalOnClasses<kOp>(A, B);
}

}  // namespace

CMatrix *And(const CMatrix *A, const CMatrix *B) { return Connect<ElementAnd, AndScalar>(A, B); }
CMatrix *And(double a, const CMatrix *B) { return AndScalar(a, B); }
CMatrix *And(const CMatrix *A, double b) { return AndScalar(b, A); }

CMatrix *Or(const CMatrix *A, const CMatrix *B) { return Connect<ElementOr, OrScalar>(A, B); }
CMatrix *Or(double a, const CMatrix *B) { return OrScalar(a, B); }
CMatrix *Or(const CMatrix *A, double b) { return OrScalar(b, A); }

CMatrix *Not(const CMatrix *A) {
    if (engine::IsRealDouble(A)) return UnaryArrayOp<ElementNot, true>(A);
    // Not of any other class is the truth of Eq with zero, complex included.
    return Eq(A, 0.0);
}

// --- Logical ------------------------------------------------------------------

namespace {

// Refuses a NaN among the n elements of type T of `data`.
template <typename T>
void RequireNoNaN(const void *data, std::size_t n) {
    const T *x = static_cast<const T *>(data);
    for (std::size_t k = 0; k < n; ++k) {
        if (std::isnan(x[k]))
            throw CFunctionErrorException(L"NaN's cannot be converted to logicals.");
    }
}

// Writes 1.0 to r[k] where element k of `data` (n elements of type T) is not
// zero, else 0.0.
template <typename T>
void Truths(const void *data, std::size_t n, double *r) {
    const T *x = static_cast<const T *>(data);
    for (std::size_t k = 0; k < n; ++k) r[k] = x[k] != 0 ? 1.0 : 0.0;
}

}  // namespace

CMatrix *Logical(const CMatrix *A) {
    const mxClassID id = A->GetClassID();
    if (id != mxClassChar && (id < mxClassDouble || id > mxClassUint64))
        throw CNotImplementedException();
    if (A->IsComplex())
        throw CFunctionErrorException(L"Complex values cannot be converted to logicals.");
    const std::size_t n = A->GetNoElems();
    const void *p = A->GetPr();
    if (id == mxClassDouble) RequireNoNaN<double>(p, n);
    if (id == mxClassSingle) RequireNoNaN<float>(p, n);
    ArrayHolder R(mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(), mxClassDouble,
                                       mxComplexityReal));
    double *r = static_cast<double *>(R->GetPr());
    switch (id) {
        case mxClassDouble: Truths<double>(p, n, r); break;
        case mxClassSingle: Truths<float>(p, n, r); break;
        case mxClassInt8: Truths<std::int8_t>(p, n, r); break;
        case mxClassUint8: Truths<std::uint8_t>(p, n, r); break;
        case mxClassInt16: Truths<std::int16_t>(p, n, r); break;
        case mxClassChar:  // one 16-bit code unit per element
        case mxClassUint16: Truths<std::uint16_t>(p, n, r); break;
        case mxClassInt32: Truths<std::int32_t>(p, n, r); break;
        case mxClassUint32: Truths<std::uint32_t>(p, n, r); break;
        case mxClassInt64: Truths<std::int64_t>(p, n, r); break;
        default: Truths<std::uint64_t>(p, n, r); break;  // uint64
    }
    R->SetLogical();
    return R.release();
}

}  // namespace matrix
}  // namespace kiv
