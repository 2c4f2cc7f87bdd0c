// src/linalg/class_operands.h: the linear algebra's operands of the classes other than real double.
#ifndef MATRIX_SRC_LINALG_CLASS_OPERANDS_H
#define MATRIX_SRC_LINALG_CLASS_OPERANDS_H

#include <matrix/cmatrix.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>

#include <string>

#include "core/array_holder.h"

namespace kiv {
namespace matrix {
namespace linalg {

// The matrix functions compute in double or in single, real or complex.
// char and logical operands take part with their values, as double; an
// integer class has no matrix arithmetic (its element-wise arithmetic
// saturates element by element, which no factorisation or sum of products
// can keep), and cell, struct and the other codes none at all.

inline bool IsIntegerClass(mxClassID id) { return id >= mxClassInt8 && id <= mxClassUint64; }

/// Throws unless A's class is double, single or char: for an integer class
/// CFunctionErrorException "<fn>: integer matrices have no matrix
/// arithmetic; convert them with double or single", for any other class
/// CNotImplementedException.
inline void RequireFloatingClass(const CMatrix *A, const wchar_t *fn) {
    const mxClassID id = A->GetClassID();
    if (IsIntegerClass(id))
        throw CFunctionErrorException(
            (std::wstring(fn) + L": integer matrices have no matrix arithmetic; convert them "
                                L"with double or single")
                .c_str());
    if (id != mxClassDouble && id != mxClassSingle && id != mxClassChar)
        throw CNotImplementedException();
}

/// The class a result of these operands computes in: single when one of
/// them is single, else double.
inline mxClassID WorkingClass(const CMatrix *A, const CMatrix *B = nullptr) {
    return A->GetClassID() == mxClassSingle || (B != nullptr && B->GetClassID() == mxClassSingle)
               ? mxClassSingle
               : mxClassDouble;
}

/// A in class `id` (double or single): A itself when it is already of it
/// (nothing owned), else a converted copy (owned), each value rounded
/// once as Cast does.
class InClass {
public:
    InClass(const CMatrix *A, mxClassID id)
        : m_owned(A->GetClassID() == id ? nullptr : Cast(A, id)),
          m_a(m_owned ? m_owned.get() : A) {}
    const CMatrix *get() const { return m_a; }
    const CMatrix *operator->() const { return m_a; }

private:
    ArrayHolder m_owned;
    const CMatrix *m_a;
};

/// Mtimes of operands that are not both real double (see Mtimes in
/// matrix/linalg.h); neither is a one-element array.
CMatrix *MtimesClasses(const CMatrix *A, const CMatrix *B);

/// Lu of an operand that is not real double: the outputs as Lu's (P null
/// for the two-output form). Checks, in order: more than two dimensions,
/// the class (RequireFloatingClass), square.
void LuClasses(CMatrix *&L, CMatrix *&U, CMatrix **P, const CMatrix *A);

/// DetArray of an operand that is not real double.
CMatrix *DeterminantClasses(const CMatrix *A);

/// Mldivide (with the estimate when rcond is not null) of operands that are
/// not both real double, after the scalar and dimension checks.
CMatrix *SolveClasses(const CMatrix *A, const CMatrix *B, double *rcond);

/// The conjugate transpose of a double, single or char matrix (char as
/// double), complex or real, for the solves: Ctranspose's result and
/// exceptions (CTransposeOnNDArrayNotDefinedException for more than two
/// dimensions) on the classes the linear algebra computes in.
CMatrix *ConjugateTransposeClasses(const CMatrix *A);

/// Rcond of an operand that is not real double.
double RcondClasses(const CMatrix *A);

/// TraceArray, Dot and Cross of operands that are not both real double.
CMatrix *TraceClasses(const CMatrix *A);
CMatrix *DotClasses(const CMatrix *A, const CMatrix *B);
CMatrix *CrossClasses(const CMatrix *A, const CMatrix *B);

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_LINALG_CLASS_OPERANDS_H
