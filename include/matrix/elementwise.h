// include/matrix/elementwise.h: element-wise arithmetic, comparisons, functions, max and min.
#ifndef MATRIX_ELEMENTWISE_H
#define MATRIX_ELEMENTWISE_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Arithmetic: two arrays, scalar left, scalar right.
MATRIX_API CMatrix *Plus(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Plus(double a, const CMatrix *B);
MATRIX_API CMatrix *Plus(const CMatrix *A, double b);
MATRIX_API CMatrix *Minus(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Minus(double a, const CMatrix *B);
MATRIX_API CMatrix *Minus(const CMatrix *A, double b);
MATRIX_API CMatrix *Times(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Times(double a, const CMatrix *B);
MATRIX_API CMatrix *Times(const CMatrix *A, double b);
MATRIX_API CMatrix *Rdivide(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Rdivide(double a, const CMatrix *B);
MATRIX_API CMatrix *Rdivide(const CMatrix *A, double b);
MATRIX_API CMatrix *Ldivide(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Ldivide(double a, const CMatrix *B);
MATRIX_API CMatrix *Ldivide(const CMatrix *A, double b);
MATRIX_API CMatrix *Power(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Power(double a, const CMatrix *B);
MATRIX_API CMatrix *Power(const CMatrix *A, double b);
MATRIX_API CMatrix *MaxVal(double a, const CMatrix *B);
MATRIX_API CMatrix *MaxVal(const CMatrix *A, double b);
MATRIX_API CMatrix *MinVal(double a, const CMatrix *B);
MATRIX_API CMatrix *MinVal(const CMatrix *A, double b);

// Comparisons (logical results).
MATRIX_API CMatrix *Eq(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Eq(double a, const CMatrix *B);
MATRIX_API CMatrix *Eq(const CMatrix *A, double b);
MATRIX_API CMatrix *Ne(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Ne(double a, const CMatrix *B);
MATRIX_API CMatrix *Ne(const CMatrix *A, double b);
MATRIX_API CMatrix *Lt(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Lt(double a, const CMatrix *B);
MATRIX_API CMatrix *Lt(const CMatrix *A, double b);
MATRIX_API CMatrix *Le(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Le(double a, const CMatrix *B);
MATRIX_API CMatrix *Le(const CMatrix *A, double b);
MATRIX_API CMatrix *Gt(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Gt(double a, const CMatrix *B);
MATRIX_API CMatrix *Gt(const CMatrix *A, double b);
MATRIX_API CMatrix *Ge(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Ge(double a, const CMatrix *B);
MATRIX_API CMatrix *Ge(const CMatrix *A, double b);

// Logical operators (logical results).
MATRIX_API CMatrix *And(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *And(double a, const CMatrix *B);
MATRIX_API CMatrix *And(const CMatrix *A, double b);
MATRIX_API CMatrix *Or(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Or(double a, const CMatrix *B);
MATRIX_API CMatrix *Or(const CMatrix *A, double b);
MATRIX_API CMatrix *Not(const CMatrix *A);

// One-argument functions.
MATRIX_API CMatrix *Abs(const CMatrix *A);
MATRIX_API CMatrix *Exp(const CMatrix *A);
MATRIX_API CMatrix *Round(const CMatrix *A);
MATRIX_API CMatrix *Sign(const CMatrix *A);
MATRIX_API CMatrix *Sqrt(const CMatrix *A);
MATRIX_API CMatrix *Uminus(const CMatrix *A);
MATRIX_API CMatrix *Unaryminus(const CMatrix *A);
MATRIX_API CMatrix *Real(const CMatrix *A);
MATRIX_API CMatrix *Isinf(const CMatrix *A);
MATRIX_API CMatrix *Isnan(const CMatrix *A);
MATRIX_API CMatrix *Isfinite(const CMatrix *A);

// Remainder (operands are not changed).
MATRIX_API CMatrix *Mod(CMatrix *X, double y);
MATRIX_API CMatrix *Mod(CMatrix *X, CMatrix *Y);

// Maxima and minima: along a dimension (1-based), with positions, two arrays.
MATRIX_API CMatrix *Max(const CMatrix *A);
MATRIX_API CMatrix *Max(const CMatrix *A, unsigned int dim);
MATRIX_API void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A);
MATRIX_API void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim);
MATRIX_API CMatrix *Max(const CMatrix *A, const CMatrix *B);
MATRIX_API CMatrix *Min(const CMatrix *A);
MATRIX_API CMatrix *Min(const CMatrix *A, unsigned int dim);
MATRIX_API void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A);
MATRIX_API void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int dim);
MATRIX_API CMatrix *Min(const CMatrix *A, const CMatrix *B);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_ELEMENTWISE_H
