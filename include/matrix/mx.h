// include/matrix/mx.h: the flat access functions: create, destroy, read, convert.
#ifndef MATRIX_MX_H
#define MATRIX_MX_H

#include <kiv/wstring.h>
#include <matrix/cmatrix.h>
#include <matrix/export.h>

namespace kiv {
namespace matrix {

// Creation. Each function returns a new array owned by the caller and throws
// kiv::CExhaustedMemoryException when storage cannot be obtained or the
// shape's element count or byte size does not fit in 32 bits.

/// Returns an m x n double array, flags 0, data not initialised; complex when
/// asked.
[[nodiscard]] MATRIX_API CMatrix *mxCreateDoubleMatrix(unsigned int m, unsigned int n,
                                                       mxComplexity complexity);
/// Returns an array of the shape `dims[0..nDims)` (trailing lengths of 1
/// beyond the second dropped) and class, flags 0; numeric data not
/// initialised, cell and struct slots empty.
[[nodiscard]] MATRIX_API CMatrix *mxCreateNumericArray(unsigned int nDims, const unsigned int *dims,
                                                       mxClassID classId, mxComplexity complexity);
/// Returns a real cell array of that shape with every slot empty.
[[nodiscard]] MATRIX_API CMatrix *mxCreateCellArray(unsigned int nDims, const unsigned int *dims);
/// Returns an m x n cell array with every slot empty.
[[nodiscard]] MATRIX_API CMatrix *mxCreateCellMatrix(unsigned int m, unsigned int n);
/// Returns a 1 x L char array of the L bytes of a NUL-terminated text, each
/// byte the code unit of its value (U+0000 to U+00FF, Latin-1; CharFromUtf8
/// decodes UTF-8), 1x0 for the empty text or a null pointer.
[[nodiscard]] MATRIX_API CMatrix *mxCreateString(const char *text);
/// Returns the colon index: a 1x1 char array holding ':'.
[[nodiscard]] MATRIX_API CMatrix *mxCreateColonIndex();
/// Returns an m x n double array, complex exactly when `pi` is not null, with
/// the real data copied from `pr` (zeros when null) and the imaginary data
/// from `pi`.
[[nodiscard]] MATRIX_API CMatrix *mxDoubleMatrix(unsigned int m, unsigned int n, const double *pr,
                                                 const double *pi);
/// As the two-dimensional form, for an m x n x p array (p of 1 gives m x n).
[[nodiscard]] MATRIX_API CMatrix *mxDoubleMatrix(unsigned int m, unsigned int n, unsigned int p,
                                                 const double *pr, const double *pi);
/// Returns a copy of `a` with buffers of its own.
[[nodiscard]] MATRIX_API CMatrix *mxDuplicateArray(const CMatrix *a);

/// Releases `a` when it is not null, and sets it to null in every case.
MATRIX_API void mxDestroyArray(CMatrix *&a);

/// Returns the first real element converted to double. Unsigned classes and
/// char read as unsigned values, signed classes as signed values; int64 and
/// uint64 both read as signed 64-bit; cell, struct and the other non-numeric
/// codes give 0.0. Throws CIndexExceedsMatrixDimensionsException when `a`
/// has no elements.
MATRIX_API double mxGetScalar(const CMatrix *a);
/// Returns the characters of a char array, each 16-bit code unit widened, in
/// column-major order; an empty string for any other class.
MATRIX_API kiv::WString mxGetString(const CMatrix *a);
/// Same as mxGetString(a).
MATRIX_API kiv::WString mxArrayToString(const CMatrix *a);
/// Copies the characters of a char array into `buf`: all of them when there
/// are fewer than `len`, else the first len - 1; then a NUL. Each becomes
/// one byte: a code unit below 0x100 its value, any other '?' (Utf8Text
/// gives the whole text). Returns the number of characters copied. Other classes, and `len` 0, write nothing
/// and return 0.
MATRIX_API unsigned int mxGetString(const CMatrix *a, char *buf, unsigned int len);

/// Returns the array in slot `i` (zero-based) of a cell array, or null for
/// an empty slot. The cell keeps ownership. Throws
/// CIndexExceedsMatrixDimensionsException when `i` is not a slot of `cell`,
/// and CNotImplementedException when `cell` is not a cell array.
MATRIX_API CMatrix *mxGetCell(const CMatrix *cell, unsigned int i);
/// Stores `value` (may be null) in slot `i` of a cell array, which takes
/// ownership of it; the array that was there is destroyed, unless it is
/// `value` itself. The slot is written in place: a caller whose cell shares
/// its buffer calls GetOwnCopy() first. Throws
/// CIndexExceedsMatrixDimensionsException when `i` is negative or not below
/// the number of slots, and CNotImplementedException when `cell` is not a
/// cell array; `value` stays the caller's then.
MATRIX_API void mxSetCell(CMatrix *cell, int i, CMatrix *value);

/// Turns zero-based subscripts into a zero-based linear index (Horner form,
/// 32-bit arithmetic). Trailing zero subscripts are ignored; subscripts are
/// not compared with the lengths. Throws
/// CIndexExceedsMatrixDimensionsException when more subscripts are
/// significant than `a` has dimensions.
MATRIX_API unsigned int mxCalcSingleSubscript(const CMatrix *a, unsigned int nSubs,
                                              const unsigned int *subs);

/// Returns 2^-52.
MATRIX_API double mxGetEps();
/// Returns positive infinity.
MATRIX_API double mxGetInf();
/// Returns the library's NaN, bits 0x7FFFFFFFFFFFFFFF.
MATRIX_API double mxGetNaN();
/// True exactly for +Inf and -Inf.
MATRIX_API bool mxIsInf(double x);
/// True for every NaN, whatever its sign and payload, quiet or signalling.
MATRIX_API bool mxIsNaN(double x);
/// False for the infinities and every NaN, true for every other value.
MATRIX_API bool mxIsFinite(double x);

// Thin accessors: each forwards to the CMatrix member named below, reads or
// changes nothing else and throws nothing. `a` must not be null.

/// Returns a->GetPr() typed as double *: the real data, owned by the array.
MATRIX_API double *mxGetPr(const CMatrix *a);
/// Returns a->GetPi() typed as double *: the imaginary data, null when real.
MATRIX_API double *mxGetPi(const CMatrix *a);
/// Returns a->GetClassID().
MATRIX_API mxClassID mxGetClassID(const CMatrix *a);
/// Returns a->GetDimensions(): the dimension list, owned by the array.
MATRIX_API const unsigned int *mxGetDimensions(const CMatrix *a);
/// Returns a->GetNoDimensions(), at least 2.
MATRIX_API unsigned int mxGetNumberOfDimensions(const CMatrix *a);
/// Returns a->GetNoElems().
MATRIX_API unsigned int mxGetNumberOfElements(const CMatrix *a);
/// Returns a->GetElementSize(): the bytes of one element of a's class.
MATRIX_API unsigned int mxGetElementSize(const CMatrix *a);
/// Returns the first length.
MATRIX_API unsigned int mxGetM(const CMatrix *a);
/// Returns the second length only, not the product of the remaining ones.
MATRIX_API unsigned int mxGetN(const CMatrix *a);
/// Returns a->IsCell().
MATRIX_API bool mxIsCell(const CMatrix *a);
/// Returns a->IsChar().
MATRIX_API bool mxIsChar(const CMatrix *a);
/// Returns a->IsComplex(): true when a has an imaginary part.
MATRIX_API bool mxIsComplex(const CMatrix *a);
/// Returns a->IsDouble().
MATRIX_API bool mxIsDouble(const CMatrix *a);
/// Returns a->IsEmpty(): true for a 0x0 array only.
MATRIX_API bool mxIsEmpty(const CMatrix *a);
/// Returns a->IsInt8().
MATRIX_API bool mxIsInt8(const CMatrix *a);
/// Returns a->IsInt16().
MATRIX_API bool mxIsInt16(const CMatrix *a);
/// Returns a->IsInt32().
MATRIX_API bool mxIsInt32(const CMatrix *a);
/// Returns a->IsLogical(): the logical flag, whatever the class.
MATRIX_API bool mxIsLogical(const CMatrix *a);
/// Returns a->IsNumeric(): true for every class but cell, struct and
/// mxClassReserved.
MATRIX_API bool mxIsNumeric(const CMatrix *a);
/// Returns a->IsSingle().
MATRIX_API bool mxIsSingle(const CMatrix *a);
/// Returns a->IsSparse().
MATRIX_API bool mxIsSparse(const CMatrix *a);
/// Returns a->IsStruct().
MATRIX_API bool mxIsStruct(const CMatrix *a);
/// Returns a->IsUint8().
MATRIX_API bool mxIsUint8(const CMatrix *a);
/// Returns a->IsUint16().
MATRIX_API bool mxIsUint16(const CMatrix *a);
/// Returns a->IsUint32().
MATRIX_API bool mxIsUint32(const CMatrix *a);
/// Sets a's logical flag (a->SetLogical()); the data stay as they are.
MATRIX_API void mxSetLogical(CMatrix *a);
/// Clears a's logical flag (a->ClearLogical()).
MATRIX_API void mxClearLogical(CMatrix *a);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_MX_H
