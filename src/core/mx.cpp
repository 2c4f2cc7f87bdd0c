// src/core/mx.cpp: the mx access functions.
#include <matrix/mx.h>

#include <kiv/exception.h>
#include <matrix/exceptions.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "core/bits.h"

namespace kiv {
namespace matrix {

namespace {

// Allocates an array object; a constructor failure propagates, a failed
// allocation of the object itself throws.
template <typename... Args>
CMatrix *NewArray(Args... args) {
    auto *a = new (std::nothrow) CMatrix(args...);
    if (a == nullptr) throw kiv::CExhaustedMemoryException();
    return a;
}

template <typename T>
T ReadFirst(const CMatrix *a) {
    T value;
    std::memcpy(&value, a->GetPr(), sizeof value);
    return value;
}

CMatrix **CellSlots(const CMatrix *cell, std::uint64_t i) {
    if (!cell->IsCell()) throw CNotImplementedException();
    if (i >= cell->GetNoElems()) throw CIndexExceedsMatrixDimensionsException();
    return static_cast<CMatrix **>(cell->GetPr()) + i;
}

}  // namespace

// --- Creation -------------------------------------------------------------------

CMatrix *mxCreateDoubleMatrix(unsigned int m, unsigned int n, mxComplexity complexity) {
    const unsigned int dims[] = {m, n};
    return NewArray(2u, dims, mxClassDouble, static_cast<unsigned short>(0), complexity);
}

CMatrix *mxCreateNumericArray(unsigned int nDims, const unsigned int *dims, mxClassID classId,
                              mxComplexity complexity) {
    return NewArray(nDims, dims, classId, static_cast<unsigned short>(0), complexity);
}

CMatrix *mxCreateCellArray(unsigned int nDims, const unsigned int *dims) {
    return NewArray(nDims, dims, mxClassCell, static_cast<unsigned short>(0), mxComplexityReal);
}

CMatrix *mxCreateCellMatrix(unsigned int m, unsigned int n) {
    const unsigned int dims[] = {m, n};
    return mxCreateCellArray(2, dims);
}

CMatrix *mxCreateString(const char *text) {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    const unsigned int dims[] = {1, static_cast<unsigned int>(length)};
    CMatrix *a = mxCreateNumericArray(2, dims, mxClassChar, mxComplexityReal);
    auto *units = static_cast<std::uint16_t *>(a->GetPr());
    for (std::size_t i = 0; i < length; ++i) units[i] = static_cast<unsigned char>(text[i]);
    return a;
}

CMatrix *mxCreateColonIndex() { return mxCreateString(":"); }

CMatrix *mxDoubleMatrix(unsigned int m, unsigned int n, const double *pr, const double *pi) {
    return mxDoubleMatrix(m, n, 1, pr, pi);
}

CMatrix *mxDoubleMatrix(unsigned int m, unsigned int n, unsigned int p, const double *pr,
                        const double *pi) {
    const unsigned int dims[] = {m, n, p};
    CMatrix *a = mxCreateNumericArray(3, dims, mxClassDouble,
                                      pi != nullptr ? mxComplexityComplex : mxComplexityReal);
    const std::size_t bytes = a->GetAllocSize();
    if (pr != nullptr) {
        if (bytes > 0) std::memcpy(a->GetPr(), pr, bytes);
    } else {
        std::memset(a->GetPr(), 0, bytes);
    }
    if (pi != nullptr && bytes > 0) std::memcpy(a->GetPi(), pi, bytes);
    return a;
}

CMatrix *mxDuplicateArray(const CMatrix *a) { return a->CreateDuplicateArray(); }

void mxDestroyArray(CMatrix *&a) {
    delete a;
    a = nullptr;
}

// --- Conversions ----------------------------------------------------------------

double mxGetScalar(const CMatrix *a) {
    if (a->GetNoElems() == 0) throw CIndexExceedsMatrixDimensionsException();
    switch (a->GetClassID()) {
        case mxClassDouble: return ReadFirst<double>(a);
        case mxClassSingle: return ReadFirst<float>(a);
        case mxClassUint8: return ReadFirst<std::uint8_t>(a);
        case mxClassInt8: return ReadFirst<std::int8_t>(a);
        case mxClassChar:
        case mxClassUint16: return ReadFirst<std::uint16_t>(a);
        case mxClassInt16: return ReadFirst<std::int16_t>(a);
        case mxClassUint32: return ReadFirst<std::uint32_t>(a);
        case mxClassInt32: return ReadFirst<std::int32_t>(a);
        // Both 64-bit classes read as signed: a uint64 of 2^63 or more
        // comes out negative.
        case mxClassInt64:
        case mxClassUint64: return static_cast<double>(ReadFirst<std::int64_t>(a));
        default: return 0.0;
    }
}

kiv::WString mxGetString(const CMatrix *a) {
    kiv::WString text;
    if (!a->IsChar()) return text;
    const unsigned int n = a->GetNoElems();
    if (n > static_cast<unsigned int>(INT_MAX - 1)) throw kiv::CExhaustedMemoryException();
    wchar_t *chars = text.GetBufferSetLength(static_cast<int>(n));
    const auto *units = static_cast<const std::uint16_t *>(a->GetPr());
    for (unsigned int i = 0; i < n; ++i) chars[i] = static_cast<wchar_t>(units[i]);
    return text;
}

kiv::WString mxArrayToString(const CMatrix *a) { return mxGetString(a); }

unsigned int mxGetString(const CMatrix *a, char *buf, unsigned int len) {
    if (!a->IsChar() || len == 0) return 0;
    const unsigned int n = a->GetNoElems();
    const unsigned int k = n < len ? n : len - 1;
    const auto *units = static_cast<const std::uint16_t *>(a->GetPr());
    for (unsigned int i = 0; i < k; ++i)
        buf[i] = units[i] < 0x100 ? static_cast<char>(units[i]) : '?';
    buf[k] = '\0';
    return k;
}

// --- Cells ----------------------------------------------------------------------

CMatrix *mxGetCell(const CMatrix *cell, unsigned int i) { return *CellSlots(cell, i); }

void mxSetCell(CMatrix *cell, int i, CMatrix *value) {
    if (i < 0) {
        if (!cell->IsCell()) throw CNotImplementedException();
        throw CIndexExceedsMatrixDimensionsException();
    }
    CMatrix **slot = CellSlots(cell, static_cast<std::uint64_t>(i));
    if (*slot == value) return;
    CMatrix *old = *slot;
    *slot = value;
    mxDestroyArray(old);
}

// --- Subscripts -----------------------------------------------------------------

unsigned int mxCalcSingleSubscript(const CMatrix *a, unsigned int nSubs, const unsigned int *subs) {
    unsigned int k = nSubs;
    while (k > 0 && subs[k - 1] == 0) --k;
    if (k == 0) return 0;
    if (k > a->GetNoDimensions()) throw CIndexExceedsMatrixDimensionsException();
    const unsigned int *dims = a->GetDimensions();
    unsigned int index = subs[k - 1];
    for (unsigned int pos = k - 1; pos-- > 0;) index = index * dims[pos] + subs[pos];
    return index;
}

// --- Special values -------------------------------------------------------------

double mxGetEps() { return 0x1.0p-52; }
double mxGetInf() { return bits::ToDouble(bits::kPositiveInf); }
double mxGetNaN() { return bits::ToDouble(bits::kLibraryNaN); }

bool mxIsInf(double x) { return bits::IsInf(x); }

bool mxIsNaN(double x) { return bits::IsNaN(x); }

bool mxIsFinite(double x) { return !mxIsInf(x) && !mxIsNaN(x); }

// --- Thin accessors -------------------------------------------------------------

double *mxGetPr(const CMatrix *a) { return static_cast<double *>(a->GetPr()); }
double *mxGetPi(const CMatrix *a) { return static_cast<double *>(a->GetPi()); }
mxClassID mxGetClassID(const CMatrix *a) { return a->GetClassID(); }
const unsigned int *mxGetDimensions(const CMatrix *a) { return a->GetDimensions(); }
unsigned int mxGetNumberOfDimensions(const CMatrix *a) { return a->GetNoDimensions(); }
unsigned int mxGetNumberOfElements(const CMatrix *a) { return a->GetNoElems(); }
unsigned int mxGetElementSize(const CMatrix *a) { return a->GetElementSize(); }
unsigned int mxGetM(const CMatrix *a) { return a->GetDimensions()[0]; }
unsigned int mxGetN(const CMatrix *a) { return a->GetDimensions()[1]; }
bool mxIsCell(const CMatrix *a) { return a->IsCell(); }
bool mxIsChar(const CMatrix *a) { return a->IsChar(); }
bool mxIsComplex(const CMatrix *a) { return a->IsComplex(); }
bool mxIsDouble(const CMatrix *a) { return a->IsDouble(); }
bool mxIsEmpty(const CMatrix *a) { return a->IsEmpty(); }
bool mxIsInt8(const CMatrix *a) { return a->IsInt8(); }
bool mxIsInt16(const CMatrix *a) { return a->IsInt16(); }
bool mxIsInt32(const CMatrix *a) { return a->IsInt32(); }
bool mxIsLogical(const CMatrix *a) { return a->IsLogical(); }
bool mxIsNumeric(const CMatrix *a) { return a->IsNumeric(); }
bool mxIsSingle(const CMatrix *a) { return a->IsSingle(); }
bool mxIsSparse(const CMatrix *a) { return a->IsSparse(); }
bool mxIsStruct(const CMatrix *a) { return a->IsStruct(); }
bool mxIsUint8(const CMatrix *a) { return a->IsUint8(); }
bool mxIsUint16(const CMatrix *a) { return a->IsUint16(); }
bool mxIsUint32(const CMatrix *a) { return a->IsUint32(); }
void mxSetLogical(CMatrix *a) { a->SetLogical(); }
void mxClearLogical(CMatrix *a) { a->ClearLogical(); }

}  // namespace matrix
}  // namespace kiv
