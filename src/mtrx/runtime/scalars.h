// src/mtrx/runtime/scalars.h: built-in functions of real double scalars as
// compiled code calls them: the library's own element routines, so that
// abs(x), mod(a, b), max(a, b)... have the bits the interpreter's call of
// the built-in gives for those scalars.
#ifndef MTRX_RUNTIME_SCALARS_H
#define MTRX_RUNTIME_SCALARS_H

#include "element_scalars.h"
#include "value.h"

#include <cstdint>

namespace mtrx {
namespace scalars {

// Exact operations (the rounding functions, the sign bit, comparisons and
// fmod): inline, the compiler may fold them on constants without changing
// a bit.
using kiv::matrix::elements::Abs;
using kiv::matrix::elements::Ceil;
using kiv::matrix::elements::Fix;
using kiv::matrix::elements::Floor;
using kiv::matrix::elements::Max;
using kiv::matrix::elements::Min;
using kiv::matrix::elements::Mod;
using kiv::matrix::elements::Rem;
using kiv::matrix::elements::Round;
using kiv::matrix::elements::Sign;

// Integer scalars of a class of at most 32 bits: every operation is
// ToInteger<T>(x op y) of the operands' values, as the library computes it;
// Box makes the interpreter's value of the class.
using kiv::matrix::elements::ToInteger;
Value Box(std::int8_t x);
Value Box(std::uint8_t x);
Value Box(std::int16_t x);
Value Box(std::uint16_t x);
Value Box(std::int32_t x);
Value Box(std::uint32_t x);

// The standard library's transcendental functions: out of line, so that
// the compiler never folds a constant argument with its own arithmetic,
// whose last bit may differ from the library's run-time call.
double Sin(double x);
double Cos(double x);
double Tan(double x);
double Atan(double x);
double Sinh(double x);
double Cosh(double x);
double Tanh(double x);
double Atan2(double y, double x);
double Hypot(double a, double b);
// x^y and x.^y of real doubles whose result is real (a whole y): the
// library's real power, the standard library's at run time.
double Power(double x, double y);
// The library's exponential: its own scalar kernel, ExpOf.
double Exp(double x);

}  // namespace scalars
}  // namespace mtrx

#endif  // MTRX_RUNTIME_SCALARS_H
