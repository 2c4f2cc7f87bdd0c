// src/mtrx/runtime/scalars.cpp: the out-of-line scalar routines of
// scalars.h, each the library's element routine.
#include "runtime/scalars.h"

#include <cmath>

#include <matrix/elementwise.h>
#include <matrix/mx.h>

#include "kernels/exp_kernel.h"

namespace mtrx {
namespace scalars {

namespace el = kiv::matrix::elements;
namespace km = kiv::matrix;

double Sin(double x) { return el::Sin(x); }
double Cos(double x) { return el::Cos(x); }
double Tan(double x) { return el::Tan(x); }
double Atan(double x) { return el::Atan(x); }
double Sinh(double x) { return el::Sinh(x); }
double Cosh(double x) { return el::Cosh(x); }
double Tanh(double x) { return el::Tanh(x); }
double Atan2(double y, double x) { return el::Atan2(y, x); }
double Hypot(double a, double b) { return el::Hypot(a, b); }
// The library's element engine raises with std::pow too (ElementPower).
double Power(double x, double y) { return std::pow(x, y); }
double Exp(double x) { return km::kernels::ExpOf(x); }

namespace {

template <class T>
Value Boxed(T x, km::mxClassID id) {
    const unsigned int dims[2] = {1, 1};
    km::CMatrix *raw = km::mxCreateNumericArray(2, dims, id, km::mxComplexityReal);
    *static_cast<T *>(raw->GetPr()) = x;
    return Value(Array::Adopt(raw));
}

}  // namespace

Value Box(std::int8_t x) { return Boxed(x, km::mxClassInt8); }
Value Box(std::uint8_t x) { return Boxed(x, km::mxClassUint8); }
Value Box(std::int16_t x) { return Boxed(x, km::mxClassInt16); }
Value Box(std::uint16_t x) { return Boxed(x, km::mxClassUint16); }
Value Box(std::int32_t x) { return Boxed(x, km::mxClassInt32); }
Value Box(std::uint32_t x) { return Boxed(x, km::mxClassUint32); }

}  // namespace scalars
}  // namespace mtrx
