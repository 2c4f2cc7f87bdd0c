// src/mtrx/arrays.h: small questions about arrays that the interpreter asks
// often.
#ifndef MTRX_ARRAYS_H
#define MTRX_ARRAYS_H

#include <matrix/array.h>
#include <matrix/display.h>
#include <matrix/mx.h>

#include <string>

namespace mtrx {

inline bool IsChar(const kiv::matrix::Array &a) { return a.get()->IsChar(); }
inline bool IsCell(const kiv::matrix::Array &a) { return a.get()->IsCell(); }
inline bool IsDouble(const kiv::matrix::Array &a) { return a.get()->IsDouble(); }
inline bool IsComplex(const kiv::matrix::Array &a) { return a.get()->IsComplex(); }

/// The UTF-8 text of a char array's code units in column-major order; ""
/// for other classes.
inline std::string Text(const kiv::matrix::Array &a) { return kiv::matrix::Utf8Text(a.get()); }

/// The 1 x L char array of the UTF-16 code units of UTF-8 `text`; a byte
/// that is not well-formed UTF-8 becomes U+FFFD.
inline kiv::matrix::Array CharArray(const std::string &text) {
    return kiv::matrix::Array::Adopt(kiv::matrix::CharFromUtf8(text));
}

/// The complex double scalar 0 + im*i: the value of an imaginary literal,
/// and of i and j (im = 1).
inline kiv::matrix::Array ImaginaryScalar(double im) {
    kiv::matrix::CMatrix *z =
        kiv::matrix::mxCreateDoubleMatrix(1, 1, kiv::matrix::mxComplexityComplex);
    *static_cast<double *>(z->GetPr()) = 0.0;
    *static_cast<double *>(z->GetPi()) = im;
    return kiv::matrix::Array::Adopt(z);
}

/// The class name class() reports: "double", "logical", "char", "cell", ...
inline const char *ClassName(const kiv::matrix::Array &a) {
    if (a.IsLogical()) return "logical";
    switch (a.ClassID()) {
        case kiv::matrix::mxClassCell: return "cell";
        case kiv::matrix::mxClassChar: return "char";
        case kiv::matrix::mxClassSingle: return "single";
        case kiv::matrix::mxClassInt8: return "int8";
        case kiv::matrix::mxClassUint8: return "uint8";
        case kiv::matrix::mxClassInt16: return "int16";
        case kiv::matrix::mxClassUint16: return "uint16";
        case kiv::matrix::mxClassInt32: return "int32";
        case kiv::matrix::mxClassUint32: return "uint32";
        case kiv::matrix::mxClassInt64: return "int64";
        case kiv::matrix::mxClassUint64: return "uint64";
        default: return "double";
    }
}

}  // namespace mtrx

#endif  // MTRX_ARRAYS_H
