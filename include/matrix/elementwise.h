// include/matrix/elementwise.h: element-wise arithmetic, comparisons and functions.
#ifndef MATRIX_ELEMENTWISE_H
#define MATRIX_ELEMENTWISE_H

#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Element-wise operations.
//
// Classes. Every function here takes every numeric class and char, real or
// complex, unless its contract says otherwise (Logical, Mod(X, y) and the
// restrictions named below); cell and struct operands throw
// CNotImplementedException ("Operation not implemented! :-("). The logical flag of an
// operand is ignored: a logical array takes part with its values. Result
// classes of arithmetic (the comparisons and logical operators always give
// logical double):
//   - real double with real double: real double, one IEEE double operation
//     per element;
//   - char and logical with double, char or logical: double;
//   - single with double, single, char or logical: single, the operation
//     on the operands rounded to single and its result rounded once (for
//     + - * / this is single arithmetic);
//   - an integer class (int8 to uint64) with itself, double, single, char
//     or logical: that integer class. The operation is computed in double
//     and converted once: NaN gives 0, halves round away from zero
//     (int32(7)./int32(2) is 4, int32(-7)./int32(2) is -4), results beyond
//     the class saturate at its limits (division by zero gives them by the
//     sign of the dividend, 0/0 gives 0). int64 and uint64 add, subtract,
//     multiply, divide, raise to a whole power of at least 0, take
//     remainders, maxima and minima exactly when both operands hold whole
//     numbers, also beyond 2^53 (a power saturates as soon as it leaves the
//     class). Any other mix with an
//     integer (two integer classes that differ) throws
//     CIntegersCanOnlyBeCombinedException; an integer with a complex operand
//     throws CFunctionErrorException "Complex integer arithmetic is not
//     supported." (an integer class holds no complex values);
//   - complex double or single (Plus, Minus, Times, Rdivide, Ldivide,
//     Power; the others throw CNotImplementedException for complex
//     operands): complex of the class above, and made real when every
//     imaginary part of the result is zero.
// Comparisons compare exact values, 64-bit integers against doubles
// included; with a complex operand Eq and Ne compare both parts and Lt, Le,
// Gt and Ge the real parts. An element is true for And, Or and Not when it
// is not zero (for a complex element, when either part is not).
//
// Shapes. Binary operations use implicit expansion: two operands are
// compatible when in every dimension their lengths are equal or one of them
// is 1 (a dimension an operand does not have counts as 1), and the result
// takes the larger length in each; an operand of length 1 in a dimension is
// reused along it. A scalar (one element, never an empty operand) is thus
// combined with every element of the other operand, and a 5x1 column with a
// 1x4 row gives 5x4. Other shapes throw
// CArrayDimsMustMatchForBinaryOpException ("Array dimensions must match for
// binary array op"). In every overload the left argument is the left
// operand: Minus(10.0, B) computes 10 - B(i).
//
// Every function returns a new array owned by the caller, who releases it
// with mxDestroyArray; it shares no data with an operand unless said so
// (Real). Results are computed element by element in column-major order, so
// they are reproducible bit for bit; on real doubles each element is one
// IEEE double operation, and division by zero, overflow and NaN are not
// errors. Arguments are never changed. All checks run before the result is
// created, so a failed call leaves nothing allocated; a failed allocation
// throws kiv::CExhaustedMemoryException.

/// Adds element-wise: R(i) = A(i) + B(i), with implicit expansion. Returns a
/// new array of the result class above (real double for real doubles),
/// logical flag clear, owned by the caller. Throws CNotImplementedException,
/// CIntegersCanOnlyBeCombinedException,
/// CArrayDimsMustMatchForBinaryOpException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Plus(const CMatrix *A, const CMatrix *B);
/// Adds a scalar on the left: R(i) = a + B(i), shaped like B. Throws
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Plus(double a, const CMatrix *B);
/// Adds a scalar on the right: R(i) = A(i) + b, shaped like A. Throws
/// CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Plus(const CMatrix *A, double b);
/// Subtracts element-wise: R(i) = A(i) - B(i), with implicit expansion. Returns
/// a new real double array owned by the caller. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Minus(const CMatrix *A, const CMatrix *B);
/// Computes R(i) = a - B(i), shaped like B. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Minus(double a, const CMatrix *B);
/// Computes R(i) = A(i) - b, shaped like A. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Minus(const CMatrix *A, double b);
/// Multiplies element-wise (A.*B): R(i) = A(i) * B(i), with implicit expansion.
/// Returns a new real double array owned by the caller. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Times(const CMatrix *A, const CMatrix *B);
/// Computes R(i) = a * B(i), shaped like B. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Times(double a, const CMatrix *B);
/// Computes R(i) = A(i) * b, shaped like A. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Times(const CMatrix *A, double b);
/// Divides element-wise (A./B): R(i) = A(i) / B(i), with implicit expansion;
/// x/0 gives a signed infinity and 0/0 NaN. Returns a new real double array
/// owned by the caller. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Rdivide(const CMatrix *A, const CMatrix *B);
/// Computes R(i) = a / B(i), shaped like B. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Rdivide(double a, const CMatrix *B);
/// Computes R(i) = A(i) / b, shaped like A. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Rdivide(const CMatrix *A, double b);
/// Divides from the left (A.\B): R(i) = B(i) / A(i), so Ldivide(A, B) equals
/// Rdivide(B, A); scalar expansion as Plus. Returns a new real double array
/// owned by the caller. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Ldivide(const CMatrix *A, const CMatrix *B);
/// Computes R(i) = B(i) / a, shaped like B. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Ldivide(double a, const CMatrix *B);
/// Computes R(i) = b / A(i), shaped like A. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Ldivide(const CMatrix *A, double b);
/// Raises element-wise (A.^B): R(i) = pow(A(i), B(i)) of the C runtime, with
/// implicit expansion. When some pair has a negative base and a finite
/// non-integer exponent, whose power is complex, the whole result is
/// complex: such pairs get the principal value exp(b log a), the others
/// their real power with imaginary part 0 (-8 .^ (1/3) is 1 + 1.7320508i).
/// An integer class holds no complex values: when the result is of an
/// integer class and some pair is such, CFunctionErrorException "Complex
/// integer arithmetic is not supported." is thrown (int8(-8) .^ (1/3)).
/// Returns a new double array owned by the caller. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Power(const CMatrix *A, const CMatrix *B);
/// Computes R(i) = pow(a, B(i)), shaped like B. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Power(double a, const CMatrix *B);
/// Computes R(i) = pow(A(i), b), shaped like A. Throws as Plus.
[[nodiscard]] MATRIX_API CMatrix *Power(const CMatrix *A, double b);
/// Takes the element-wise maximum with a scalar on the left: R(i) = B(i) when
/// B(i) > a or a is NaN, otherwise a. NaN is missing data: a NaN a leaves B
/// as it is, a NaN element gives a, and of two zeros a is kept. Returns a new real double array
/// shaped like B, owned by the caller. Throws CNotImplementedException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *MaxVal(double a, const CMatrix *B);
/// Takes the element-wise maximum with a scalar on the right: R(i) = b when
/// b > A(i) or A(i) is NaN, otherwise A(i). So a NaN b leaves A as it is
/// and a NaN element gives b; of two zeros A(i) is kept. Shaped like A; throws as the other
/// form.
[[nodiscard]] MATRIX_API CMatrix *MaxVal(const CMatrix *A, double b);
/// Takes the element-wise minimum with a scalar on the left: R(i) = a when
/// a < B(i) or B(i) is NaN, otherwise B(i). So a NaN a leaves B as it is and
/// a NaN element gives a; of two zeros B(i) is kept. Returns a new real double array
/// shaped like B, owned by the caller. Throws CNotImplementedException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *MinVal(double a, const CMatrix *B);
/// Takes the element-wise minimum with a scalar on the right: R(i) = A(i)
/// when A(i) < b or b is NaN, otherwise b. So a NaN b leaves A as it is, a
/// NaN element gives b, and of two zeros b is kept. Shaped like A; throws as the other
/// form.
[[nodiscard]] MATRIX_API CMatrix *MinVal(const CMatrix *A, double b);
/// Computes the element-wise maximum: B(i) where B(i) > A(i) or A(i) is NaN,
/// otherwise A(i): a NaN gives the other operand's element (NaN only when
/// both are NaN), and of two zeros A's. Operands
/// and result class as for Plus. Complex operands (with double, single, char
/// or logical ones; an integer class throws CNotImplementedException) are
/// ordered as Sort orders them (modulus, then angle), an element with a NaN
/// part counting as NaN; the result is complex of Plus's class, made real
/// when every imaginary part is zero. Returns a new array owned by the caller.
/// Throws CNotImplementedException, CIntegersCanOnlyBeCombinedException,
/// CArrayDimsMustMatchForBinaryOpException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Max(const CMatrix *A, const CMatrix *B);
/// Computes the element-wise minimum: A(i) where A(i) < B(i) or B(i) is NaN,
/// otherwise B(i): a NaN gives the other operand's element, and of two zeros
/// B's. Operands,
/// result and exceptions as Max(A, B).
[[nodiscard]] MATRIX_API CMatrix *Min(const CMatrix *A, const CMatrix *B);

// Comparisons. Each compares element-wise with the class and shape rules
// above and returns a new logical array owned by the caller: class
// double, elements 1.0 (true) and 0.0 (false), logical flag set (also when it
// is empty), shaped like the array operand (like A for two arrays). A
// comparison with NaN is false, except for Ne, where it is true. Each throws
// CNotImplementedException, CArrayDimsMustMatchForBinaryOpException (two
// arrays only) and kiv::CExhaustedMemoryException.

/// Tests element-wise equality (A == B); +0 equals -0.
[[nodiscard]] MATRIX_API CMatrix *Eq(const CMatrix *A, const CMatrix *B);
/// Tests a == B(i), shaped like B.
[[nodiscard]] MATRIX_API CMatrix *Eq(double a, const CMatrix *B);
/// Tests A(i) == b, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Eq(const CMatrix *A, double b);
/// Tests element-wise inequality (A ~= B), the negation of Eq.
[[nodiscard]] MATRIX_API CMatrix *Ne(const CMatrix *A, const CMatrix *B);
/// Tests a ~= B(i), shaped like B.
[[nodiscard]] MATRIX_API CMatrix *Ne(double a, const CMatrix *B);
/// Tests A(i) ~= b, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Ne(const CMatrix *A, double b);
/// Tests A < B element-wise.
[[nodiscard]] MATRIX_API CMatrix *Lt(const CMatrix *A, const CMatrix *B);
/// Tests a < B(i), shaped like B.
[[nodiscard]] MATRIX_API CMatrix *Lt(double a, const CMatrix *B);
/// Tests A(i) < b, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Lt(const CMatrix *A, double b);
/// Tests A <= B element-wise.
[[nodiscard]] MATRIX_API CMatrix *Le(const CMatrix *A, const CMatrix *B);
/// Tests a <= B(i), shaped like B.
[[nodiscard]] MATRIX_API CMatrix *Le(double a, const CMatrix *B);
/// Tests A(i) <= b, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Le(const CMatrix *A, double b);
/// Tests A > B element-wise.
[[nodiscard]] MATRIX_API CMatrix *Gt(const CMatrix *A, const CMatrix *B);
/// Tests a > B(i), shaped like B.
[[nodiscard]] MATRIX_API CMatrix *Gt(double a, const CMatrix *B);
/// Tests A(i) > b, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Gt(const CMatrix *A, double b);
/// Tests A >= B element-wise.
[[nodiscard]] MATRIX_API CMatrix *Ge(const CMatrix *A, const CMatrix *B);
/// Tests a >= B(i), shaped like B.
[[nodiscard]] MATRIX_API CMatrix *Ge(double a, const CMatrix *B);
/// Tests A(i) >= b, shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Ge(const CMatrix *A, double b);

// Logical operators. An element is true when it is not equal to 0.0 (NaN and
// the infinities are true, both zeros false). Results are new logical arrays
// as for the comparisons, owned by the caller.

/// Computes A & B element-wise. Both operands must be numeric or char
/// (CNotImplementedException, checked first); a one-element operand acts as
/// the scalar of And(s, M) with its truth as s; otherwise the shapes must be
/// compatible (CArrayDimsMustMatchForBinaryOpException). Also throws
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *And(const CMatrix *A, const CMatrix *B);
/// Computes a & B. A false a (+0 or -0) gives all zeros shaped like B without
/// looking at B's class or complexity; any other a, NaN included, gives the
/// truth of B, which must then be numeric or char (CNotImplementedException).
/// Throws kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *And(double a, const CMatrix *B);
/// Computes A & b; the same as And(b, A).
[[nodiscard]] MATRIX_API CMatrix *And(const CMatrix *A, double b);
/// Computes A | B element-wise, with the operand rules of And(A, B).
[[nodiscard]] MATRIX_API CMatrix *Or(const CMatrix *A, const CMatrix *B);
/// Computes a | B. A true a (anything but +0 and -0, NaN included) gives all
/// ones shaped like B without looking at B's class or complexity; a false a
/// gives the truth of B, which must then be numeric or char
/// (CNotImplementedException). Throws kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Or(double a, const CMatrix *B);
/// Computes A | b; the same as Or(b, A).
[[nodiscard]] MATRIX_API CMatrix *Or(const CMatrix *A, double b);
/// Negates element-wise (~A): 1.0 where A(i) is +0 or -0 (both parts, for a
/// complex element), else 0.0 (NaN gives 0.0). Any numeric class or char.
/// Returns a new logical double array shaped like A, owned by the caller.
/// Throws CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Not(const CMatrix *A);
/// Converts to logical (logical(A)): 1.0 where A(i) is not zero (the
/// infinities included), else 0.0 (both zeros). Accepts real arrays of the
/// double, single, integer and char classes, with or without the logical
/// flag. Returns a new real double array with the logical flag, shaped like
/// A, owned by the caller. Throws, in this order: CNotImplementedException
/// (cell, struct and the other classes), CFunctionErrorException "Complex
/// values cannot be converted to logicals.", CFunctionErrorException "NaN's
/// cannot be converted to logicals." (any NaN element),
/// kiv::CExhaustedMemoryException; nothing is left behind.
[[nodiscard]] MATRIX_API CMatrix *Logical(const CMatrix *A);

/// Converts A to the class `target` (double(A), single(A), int8(A), ...,
/// char(A)) and returns a new array of A's shape, owned by the caller,
/// without the logical flag. Any numeric class or char converts to any
/// other: to double and single as the C++ conversion does (rounding to
/// nearest); to an integer class rounding halves away from zero, NaN
/// giving 0 and values beyond the class its limits (integers saturate
/// exactly, 64-bit ones included); to char rounding toward zero, NaN giving
/// 0 and values beyond 0..65535 the nearer limit. Char reads as its code
/// units, a logical array as its 0/1 values. A complex A stays complex when
/// the target is double or single (each part converted). Same class gives
/// a copy sharing A's data. Throws, in this order: CNotImplementedException
/// (a target or an A of cell, struct or another class),
/// CFunctionErrorException "Cast: complex values cannot be converted to an
/// integer class" / "... to char", kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Cast(const CMatrix *A, mxClassID target);
/// Returns Cast(A, mxClassDouble).
[[nodiscard]] MATRIX_API CMatrix *Double(const CMatrix *A);
/// Returns Cast(A, mxClassSingle).
[[nodiscard]] MATRIX_API CMatrix *Single(const CMatrix *A);

// One-argument functions. Each returns a new array of A's shape owned by the
// caller; a real double A gives the double result its contract states. Each
// throws CNotImplementedException (cell, struct), CFunctionErrorException
// (see integers below) and kiv::CExhaustedMemoryException.
//
// One-argument functions on the other classes (Sign, Sqrt, Exp, Expm1, the
// logarithms, the trigonometric and hyperbolic functions and their
// inverses, Round, Floor, Ceil, Fix, Isinf, Isnan, Isfinite; Abs and Uminus
// state their own):
//   - char (logical or not) computes as the double array of its code units;
//     a logical double array is a double array.
//   - single computes in float (the float overloads of the C++ functions,
//     Round halves away from zero) and gives single.
//   - integers: Sign gives -1, 0 or 1 and Round, Floor, Ceil and Fix a copy,
//     in the operand's class; the others throw CFunctionErrorException
//     "NAME: not defined for values of class CLASS; convert them to double
//     or single first" (NAME the function in lower case).
//   - a real single element outside a function's real domain gives the
//     complex value the double functions give there, in float.
//   - complex double and single compute in their precision. An element
//     whose imaginary part is zero (either sign) is its real part: it gives
//     the function of that real number, as a real double or single would.
//     The others, for z = a + bi:
//       exp z = e^a cos b + i e^a sin b;
//       expm1 z = (expm1(a) cos b - 2 sin^2(b/2)) + i e^a sin b;
//       log z = log(hypot(a, b)) + i atan2(b, a); log2 and log10 divide
//         both parts of log z by log(2) and log(10); log1p z = log(1 + z);
//       sqrt z: t = sqrt((|a| + hypot(a, b)) / 2), then t + i b/(2t) for
//         a >= 0 and |b|/(2t) + i copysign(t, b) for a < 0;
//       sin z = sin a cosh b + i cos a sinh b; cos z = cos a cosh b -
//         i sin a sinh b; tan z = (sin 2a + i sinh 2b) / (cos 2a + cosh 2b),
//         copysign(0, sin 2a) + i copysign(1, b) where cosh 2b overflows;
//       sinh z = sinh a cos b + i cosh a sin b; cosh z = cosh a cos b +
//         i sinh a sin b; tanh z = (sinh 2a + i sin 2b) / (cosh 2a + cos
//         2b), copysign(1, a) + i copysign(0, sin 2b) where cosh 2a
//         overflows;
//       asin, acos, atan, asinh, acosh, atanh: the principal values of the
//         C++ standard library's complex functions;
//       sign z = z / hypot(a, b);
//       round, floor, ceil, fix: each part by the real rule.
//     Isinf and Isnan hold where they hold for either part, Isfinite where
//     both parts are finite.
//   - Every complex result, from a complex operand or a real one outside
//     the domain, is made real when all its imaginary parts are zero, as
//     the arithmetic's are. Isinf, Isnan and Isfinite give logical double.

/// Returns the absolute values: each element with its sign bit cleared, so
/// -0 gives +0 and a NaN keeps its payload. Also of the other classes:
/// integers saturate (abs(int8(-128)) is 127), single stays single, char
/// gives double, and a complex element gives hypot of its parts, real, in
/// its class's precision.
[[nodiscard]] MATRIX_API CMatrix *Abs(const CMatrix *A);
/// Returns exp(A(i)) for every element, the library's own exponential with
/// the same bits on every processor: within 0.503 ulp of the exact value
/// (so nearly always the correctly rounded one), subnormal results rounded
/// once; overflow gives +Inf, -Inf gives +0, NaN gives NaN.
[[nodiscard]] MATRIX_API CMatrix *Exp(const CMatrix *A);
/// Rounds every element to the nearest whole number, halves away from zero
/// (2.5 gives 3, -2.5 gives -3, 0.49999999999999994 gives 0); exact, so
/// whole numbers (2^52 + 1 too) stay as they are, and NaN and Inf pass.
[[nodiscard]] MATRIX_API CMatrix *Round(const CMatrix *A);
/// Returns the signs: 1.0 for x > 0, -1.0 for x < 0, and 0.0 for both zeros
/// and for NaN.
[[nodiscard]] MATRIX_API CMatrix *Sign(const CMatrix *A);
/// Takes square roots. Where A(i) >= 0 (-0 included) the element is
/// sqrt(A(i)); at the first negative or NaN element the result becomes
/// complex, and each such element is 0 + sqrt(-A(i))i, so NaN gives 0 + NaN i
/// and -Inf gives 0 + Inf i. Other elements keep an imaginary part of 0. The
/// result is real when no element is negative or NaN.
[[nodiscard]] MATRIX_API CMatrix *Sqrt(const CMatrix *A);
/// Negates every element by flipping its sign bit: 0 gives -0 and the
/// library's NaN gives its negation. Also of the other classes: both parts
/// of a complex element, single stays single, char gives double, and
/// integers saturate (-int8(-128) is 127, an unsigned class gives 0).
[[nodiscard]] MATRIX_API CMatrix *Uminus(const CMatrix *A);
/// Same as Uminus.
[[nodiscard]] MATRIX_API CMatrix *Unaryminus(const CMatrix *A);
/// Returns the real part: a new array of any class, A's shape and flags (the
/// logical flag included) that shares A's real data and has no imaginary
/// part. A itself keeps its imaginary part. Works on every class, char and
/// cell included. Throws kiv::CExhaustedMemoryException only.
[[nodiscard]] MATRIX_API CMatrix *Real(const CMatrix *A);
/// Returns the imaginary part of a double or single array: a new real array
/// of A's class and shape, zeros when A is real. Throws
/// CNotImplementedException for other classes, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Imag(const CMatrix *A);
/// Returns the complex conjugate of a double or single array: a new array of
/// A's class and shape whose imaginary parts have their sign bits flipped
/// (a copy when A is real). Throws CNotImplementedException for other
/// classes, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Conj(const CMatrix *A);
/// Returns the phase angles atan2(imag, real) of a double or single array,
/// in [-pi, pi]: a new real array of A's class and shape (0 or pi, with the
/// sign of a zero imaginary part, for real elements). Throws
/// CNotImplementedException for other classes, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Angle(const CMatrix *A);
/// Builds A + B*i from two real double or single arrays, with implicit
/// expansion: single when either is single. The result is complex even
/// where every imaginary part is zero. Throws CNotImplementedException (other
/// classes, or a complex operand), CArrayDimsMustMatchForBinaryOpException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Complex(const CMatrix *A, const CMatrix *B);
/// Tests for infinity: 1.0 where an element is +Inf or -Inf, else 0.0.
/// Returns a new logical array shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Isinf(const CMatrix *A);
/// Tests for NaN: 1.0 where an element is any NaN, whatever its sign and
/// payload (the library's own, 0/0, Inf - Inf, a quiet or signalling NaN
/// made elsewhere), else 0.0. Returns a new logical array shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Isnan(const CMatrix *A);
/// Tests for finiteness: 0.0 where Isinf or Isnan gives 1.0, else 1.0, so
/// exactly one of the three tests holds for each element. Returns a new
/// logical array shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Isfinite(const CMatrix *A);

// Trigonometric, hyperbolic, logarithmic and rounding functions. On a real
// double array each returns a new double array of its shape, owned by the
// caller (the other classes: see above); each throws as the one-argument
// functions above. On real doubles every element is one
// call of the C++ standard library function of the same name (trunc for
// Fix), so the results are that function's bits: +-0, +-Inf and subnormals
// come out as it gives them, and a NaN stays a real NaN.
//
// Asin, Acos and the logarithms turn complex part-way, as Sqrt does: the
// result starts real, and at the first element outside the real domain
// (below 0 for Log, Log2 and Log10, below -1 for Log1p, beyond +-1 for Asin
// and Acos, below 1 for Acosh, beyond +-1 for Atanh; never a NaN) it
// becomes complex. Each such element is the
// principal value computed through std::complex: log(x + 0i) for Log,
// log(x + 0i) / log(2) for Log2, log10(x + 0i) for Log10, log((1 + x) + 0i)
// for Log1p, and asin and acos of x - 0i above 1 and of x + 0i below -1, so
// that Asin(2) = pi/2 - 1.3170i and Acos(2) = 0 + 1.3170i, and acosh and
// atanh of x + 0i (Acosh(-2) = 1.3170 + 3.1416i, Atanh(2) = 0.5493 +
// 1.5708i). The other
// elements keep an imaginary part of 0.0. Log(0) is -Inf, real.

/// Returns sin(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Sin(const CMatrix *A);
/// Returns cos(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Cos(const CMatrix *A);
/// Returns tan(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Tan(const CMatrix *A);
/// Returns asin(A(i)): real on [-1, 1] and NaN, complex beyond (see above).
[[nodiscard]] MATRIX_API CMatrix *Asin(const CMatrix *A);
/// Returns acos(A(i)): real on [-1, 1] and NaN, complex beyond (see above).
[[nodiscard]] MATRIX_API CMatrix *Acos(const CMatrix *A);
/// Returns atan(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Atan(const CMatrix *A);
/// Returns asinh(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Asinh(const CMatrix *A);
/// Returns acosh(A(i)): real from 1 up and at NaN, complex below (see above).
[[nodiscard]] MATRIX_API CMatrix *Acosh(const CMatrix *A);
/// Returns atanh(A(i)): real on [-1, 1] (+-Inf at +-1) and NaN, complex
/// beyond (see above).
[[nodiscard]] MATRIX_API CMatrix *Atanh(const CMatrix *A);
/// Returns sinh(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Sinh(const CMatrix *A);
/// Returns cosh(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Cosh(const CMatrix *A);
/// Returns tanh(A(i)) for every element.
[[nodiscard]] MATRIX_API CMatrix *Tanh(const CMatrix *A);
/// Returns the natural logarithm log(A(i)): -Inf at +-0, complex below 0.
[[nodiscard]] MATRIX_API CMatrix *Log(const CMatrix *A);
/// Returns the base-2 logarithm log2(A(i)): -Inf at +-0, complex below 0.
[[nodiscard]] MATRIX_API CMatrix *Log2(const CMatrix *A);
/// Returns the base-10 logarithm log10(A(i)): -Inf at +-0, complex below 0.
[[nodiscard]] MATRIX_API CMatrix *Log10(const CMatrix *A);
/// Returns log1p(A(i)) = log(1 + A(i)) without the rounding of 1 + A(i):
/// -Inf at -1, complex below -1.
[[nodiscard]] MATRIX_API CMatrix *Log1p(const CMatrix *A);
/// Returns expm1(A(i)) = exp(A(i)) - 1 without the cancellation.
[[nodiscard]] MATRIX_API CMatrix *Expm1(const CMatrix *A);
/// Rounds every element toward -Inf: floor(A(i)).
[[nodiscard]] MATRIX_API CMatrix *Floor(const CMatrix *A);
/// Rounds every element toward +Inf: ceil(A(i)).
[[nodiscard]] MATRIX_API CMatrix *Ceil(const CMatrix *A);
/// Rounds every element toward zero: trunc(A(i)), so -0.5 gives -0.
[[nodiscard]] MATRIX_API CMatrix *Fix(const CMatrix *A);

// Functions of two arguments. Each takes the element-wise operands of Plus
// (real classes, result class and implicit expansion as Plus; complex
// operands throw CNotImplementedException), applies one call of the
// standard function per element in double and returns a new array owned by
// the caller; a single result is that double value rounded once. Atan2 and
// Hypot are not defined on the integer classes: an integer operand throws
// CFunctionErrorException "atan2: not defined for values of class CLASS;
// convert them to double or single first" (or "hypot: ..."). Rem of an
// integer class is exact in that class, 64-bit values included, with
// Rem(x, 0) = 0 (the NaN of the double rule). Each throws
// CNotImplementedException, CIntegersCanOnlyBeCombinedException,
// CArrayDimsMustMatchForBinaryOpException and
// kiv::CExhaustedMemoryException.

/// Returns the four-quadrant arctangent atan2(Y(i), X(i)), in [-pi, pi].
[[nodiscard]] MATRIX_API CMatrix *Atan2(const CMatrix *Y, const CMatrix *X);
/// Returns atan2(y, X(i)), shaped like X.
[[nodiscard]] MATRIX_API CMatrix *Atan2(double y, const CMatrix *X);
/// Returns atan2(Y(i), x), shaped like Y.
[[nodiscard]] MATRIX_API CMatrix *Atan2(const CMatrix *Y, double x);
/// Returns hypot(A(i), B(i)), sqrt(a^2 + b^2) without overflow or underflow
/// in between; an infinite operand gives +Inf even beside a NaN.
[[nodiscard]] MATRIX_API CMatrix *Hypot(const CMatrix *A, const CMatrix *B);
/// Returns hypot(a, B(i)), shaped like B.
[[nodiscard]] MATRIX_API CMatrix *Hypot(double a, const CMatrix *B);
/// Returns hypot(A(i), b), shaped like A.
[[nodiscard]] MATRIX_API CMatrix *Hypot(const CMatrix *A, double b);
/// Returns the remainder after division toward zero, fmod(X(i), Y(i)): the
/// exact value x - trunc(x / y) * y, with the sign of x (or zero of x's
/// sign). Rem(x, 0), Rem(Inf, y) and a NaN operand give NaN; Rem(x, Inf) is
/// x for a finite x.
[[nodiscard]] MATRIX_API CMatrix *Rem(const CMatrix *X, const CMatrix *Y);
/// Returns fmod(x, Y(i)), shaped like Y.
[[nodiscard]] MATRIX_API CMatrix *Rem(double x, const CMatrix *Y);
/// Returns fmod(X(i), y), shaped like X.
[[nodiscard]] MATRIX_API CMatrix *Rem(const CMatrix *X, double y);

// Remainder. Neither operand is changed, although they are passed as
// non-constant pointers. Operands other than real double take the classes
// and implicit expansion of Rem: an integer class is exact in that class
// (Mod(x, 0) is x, the sign is y's, 64-bit values included), single applies
// the rule below in float with eps 2^-23, and complex operands throw
// CNotImplementedException.

/// Computes the remainder after floored division, with the sign of y (or
/// zero): for y == 0 (either sign) a copy of X; for an integer-valued y
/// (the infinities included) x - floor(x / y) * y; otherwise, with
/// q = x / y snapped to the nearest integer when within a relative 2^-52 of
/// it, (q - floor(q)) * y, which can differ from the exact remainder in the
/// last bits (Mod(5.5, 2.5) is 0.5000000000000004). For y other than 0, an
/// infinite x or y, or a NaN, gives NaN. For a real double X returns a new
/// real double array shaped like X, owned by the caller (other classes: see
/// above). Throws CNotImplementedException, kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Mod(CMatrix *X, double y);
/// Computes the remainder element by element, each pair as Mod(X, y), with
/// X(i) returned where Y(i) is 0. A one-element Y is the scalar divisor of
/// Mod(X, y); a one-element X is expanded over Y (the result is shaped like
/// Y); other shapes expand as Plus's do
/// (CArrayDimsMustMatchForBinaryOpException). Returns a new array owned by
/// the caller, real double for real doubles; throws
/// CNotImplementedException, CIntegersCanOnlyBeCombinedException,
/// kiv::CExhaustedMemoryException.
[[nodiscard]] MATRIX_API CMatrix *Mod(CMatrix *X, CMatrix *Y);

// Integer division and the bit-wise functions. Each takes two operands with
// implicit expansion (shapes as Plus, CArrayDimsMustMatchForBinaryOpException)
// and returns a new real array owned by the caller; complex operands throw
// CNotImplementedException, two different integer classes
// CIntegersCanOnlyBeCombinedException; cell and struct operands
// CNotImplementedException. Every check runs before the result is made.

/// How Idivide rounds a quotient that is not a whole number.
enum class DivideRounding {
    kFix,    ///< toward zero
    kRound,  ///< to the nearest, halves away from zero
    kFloor,  ///< toward -Inf
    kCeil    ///< toward +Inf
};

/// Divides with a chosen rounding: R(i) = A(i) / B(i) rounded by `mode`, in
/// the integer class of the operands. At least one operand must be of an
/// integer class (CFunctionErrorException "idivide: at least one operand
/// must be of an integer class"); the other may be of the same class,
/// double, single, char or logical. Two whole values divide exactly (64-bit
/// ones included) and the quotient saturates (intmin / -1 is intmax); x / 0
/// gives intmax for x > 0, intmin for x < 0 and 0 for 0. Otherwise the
/// double quotient is rounded by `mode` and converted (NaN gives 0).
[[nodiscard]] MATRIX_API CMatrix *Idivide(const CMatrix *A, const CMatrix *B,
                                          DivideRounding mode = DivideRounding::kFix);

/// Bit-wise AND of the operands' bits. Both of one integer class: that
/// class, on the two's-complement patterns (signed classes included). An
/// integer class with double, char or logical: the integer class; the other
/// operand's elements must be whole numbers within that class. Double, char
/// or logical operands alone: double, each element a whole number from 0 to
/// flintmax (2^53) taken as an unsigned 64-bit integer (Bitor and Bitxor of
/// 2^53 and an odd number give a result above 2^53, rounded to double). A
/// value outside
/// these rules throws CFunctionErrorException "bitand: double operands must
/// be whole numbers within the range of CLASS" / "... must be non-negative
/// whole numbers no greater than flintmax"; a single operand throws
/// CFunctionErrorException "bitand: operands must be of an integer class or
/// double, not single".
[[nodiscard]] MATRIX_API CMatrix *Bitand(const CMatrix *A, const CMatrix *B);
/// Bit-wise OR, with the operands, classes and errors of Bitand ("bitor").
[[nodiscard]] MATRIX_API CMatrix *Bitor(const CMatrix *A, const CMatrix *B);
/// Bit-wise exclusive OR, as Bitand ("bitxor").
[[nodiscard]] MATRIX_API CMatrix *Bitxor(const CMatrix *A, const CMatrix *B);
/// Shifts the bits of A(i) by K(i) places: left for K(i) > 0, right for
/// K(i) < 0, with implicit expansion; the result has A's class. An integer
/// class shifts within its width: bits beyond it are dropped (so
/// Bitshift(int8(1), 7) is -128), and a signed class shifts right
/// arithmetically (the sign fills in). A double, char or logical A must hold
/// whole numbers from 0 to flintmax, shifted as unsigned 64-bit integers and
/// returned as double (exactly). K may be of any real numeric class and must
/// hold whole numbers (+-Inf shift everything out). Throws as Bitand
/// ("bitshift"), and CFunctionErrorException "bitshift: the number of
/// places must be a whole number".
[[nodiscard]] MATRIX_API CMatrix *Bitshift(const CMatrix *A, const CMatrix *K);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_ELEMENTWISE_H
