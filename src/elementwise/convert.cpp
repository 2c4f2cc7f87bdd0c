// src/elementwise/convert.cpp: conversions between the numeric classes and
// char (Cast and its named forms).
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "core/array_holder.h"
#include "elementwise/scalar/element_scalars.h"

namespace kiv {
namespace matrix {

namespace {

bool IsIntegerId(mxClassID id) { return id >= mxClassInt8 && id <= mxClassUint64; }
bool IsConvertible(mxClassID id) {
    return id == mxClassChar || (id >= mxClassDouble && id <= mxClassUint64);
}

// One element converted to the integer class T. Floating values: NaN gives
// 0, halves round away from zero, values beyond the class give its limits.
// Integer (and char) values are compared exactly, so saturation is exact.
template <class T, class S>
T ToIntegerElement(S x) {
    if constexpr (std::is_floating_point_v<S>) {
        return elements::ToInteger<T>(static_cast<double>(x));
    } else {
        __extension__ typedef __int128 Wide;
        const Wide w = static_cast<Wide>(x);
        if (w > static_cast<Wide>(std::numeric_limits<T>::max()))
            return std::numeric_limits<T>::max();
        if (w < static_cast<Wide>(std::numeric_limits<T>::min()))
            return std::numeric_limits<T>::min();
        return static_cast<T>(w);
    }
}

// One element converted to a code unit: rounded toward zero, NaN gives 0,
// values beyond 0..65535 give the nearer limit.
template <class S>
std::uint16_t ToCodeUnit(S x) {
    if constexpr (std::is_floating_point_v<S>) {
        if (std::isnan(x)) return 0;
        const double t = std::trunc(static_cast<double>(x));
        if (t <= 0) return 0;
        if (t >= 65535.0) return 65535;
        return static_cast<std::uint16_t>(t);
    } else {
        return ToIntegerElement<std::uint16_t>(x);
    }
}

// Converts n elements of type S at `from` to class `to` (element type T).
template <class T, class S>
void ConvertPart(const void *from, void *into, std::size_t n, bool toChar) {
    const S *x = static_cast<const S *>(from);
    T *r = static_cast<T *>(into);
    for (std::size_t k = 0; k < n; ++k) {
        if constexpr (std::is_floating_point_v<T>) {
            r[k] = static_cast<T>(x[k]);
        } else if constexpr (std::is_same_v<T, std::uint16_t>) {
            // uint16 and char share the element type; only char truncates.
            r[k] = toChar ? ToCodeUnit(x[k]) : ToIntegerElement<T>(x[k]);
        } else {
            r[k] = ToIntegerElement<T>(x[k]);
        }
    }
}

template <class T>
void ConvertFrom(mxClassID source, const void *from, void *into, std::size_t n, bool toChar) {
    switch (source) {
        case mxClassDouble: ConvertPart<T, double>(from, into, n, toChar); break;
        case mxClassSingle: ConvertPart<T, float>(from, into, n, toChar); break;
        case mxClassInt8: ConvertPart<T, std::int8_t>(from, into, n, toChar); break;
        case mxClassUint8: ConvertPart<T, std::uint8_t>(from, into, n, toChar); break;
        case mxClassInt16: ConvertPart<T, std::int16_t>(from, into, n, toChar); break;
        case mxClassChar:  // one 16-bit code unit per element
        case mxClassUint16: ConvertPart<T, std::uint16_t>(from, into, n, toChar); break;
        case mxClassInt32: ConvertPart<T, std::int32_t>(from, into, n, toChar); break;
        case mxClassUint32: ConvertPart<T, std::uint32_t>(from, into, n, toChar); break;
        case mxClassInt64: ConvertPart<T, std::int64_t>(from, into, n, toChar); break;
        default: ConvertPart<T, std::uint64_t>(from, into, n, toChar); break;  // uint64
    }
}

void Convert(mxClassID source, mxClassID target, const void *from, void *into, std::size_t n) {
    const bool toChar = target == mxClassChar;
    switch (target) {
        case mxClassDouble: ConvertFrom<double>(source, from, into, n, toChar); break;
        case mxClassSingle: ConvertFrom<float>(source, from, into, n, toChar); break;
        case mxClassInt8: ConvertFrom<std::int8_t>(source, from, into, n, toChar); break;
        case mxClassUint8: ConvertFrom<std::uint8_t>(source, from, into, n, toChar); break;
        case mxClassInt16: ConvertFrom<std::int16_t>(source, from, into, n, toChar); break;
        case mxClassChar:
        case mxClassUint16: ConvertFrom<std::uint16_t>(source, from, into, n, toChar); break;
        case mxClassInt32: ConvertFrom<std::int32_t>(source, from, into, n, toChar); break;
        case mxClassUint32: ConvertFrom<std::uint32_t>(source, from, into, n, toChar); break;
        case mxClassInt64: ConvertFrom<std::int64_t>(source, from, into, n, toChar); break;
        default: ConvertFrom<std::uint64_t>(source, from, into, n, toChar); break;
    }
}

}  // namespace

CMatrix *Cast(const CMatrix *A, mxClassID target) {
    if (!IsConvertible(target)) throw CNotImplementedException();
    const mxClassID source = A->GetClassID();
    if (!IsConvertible(source)) throw CNotImplementedException();
    const bool complex = A->IsComplex();
    if (complex && IsIntegerId(target))
        throw CFunctionErrorException(
            L"Cast: complex values cannot be converted to an integer class");
    if (complex && target == mxClassChar)
        throw CFunctionErrorException(L"Cast: complex values cannot be converted to char");
    if (source == target) {
        // Same class: the data are shared; only the logical flag goes.
        ArrayHolder R(A->CreateShareArray());
        R->ClearLogical();
        return R.release();
    }
    ArrayHolder R(mxCreateNumericArray(A->GetNoDimensions(), A->GetDimensions(), target,
                                       complex ? mxComplexityComplex : mxComplexityReal));
    const std::size_t n = A->GetNoElems();
    Convert(source, target, A->GetPr(), R->GetPr(), n);
    if (complex) Convert(source, target, A->GetPi(), R->GetPi(), n);
    return R.release();
}

CMatrix *Double(const CMatrix *A) { return Cast(A, mxClassDouble); }
CMatrix *Single(const CMatrix *A) { return Cast(A, mxClassSingle); }

}  // namespace matrix
}  // namespace kiv
