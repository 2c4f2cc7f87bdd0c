// src/mtrx/runtime/scalars.cpp: the out-of-line scalar routines of
// scalars.h, each the library's element routine.
#include "runtime/scalars.h"

namespace mtrx {
namespace scalars {

namespace el = kiv::matrix::elements;

double Sin(double x) { return el::Sin(x); }
double Cos(double x) { return el::Cos(x); }
double Tan(double x) { return el::Tan(x); }
double Atan(double x) { return el::Atan(x); }
double Sinh(double x) { return el::Sinh(x); }
double Cosh(double x) { return el::Cosh(x); }
double Tanh(double x) { return el::Tanh(x); }
double Atan2(double y, double x) { return el::Atan2(y, x); }
double Hypot(double a, double b) { return el::Hypot(a, b); }

}  // namespace scalars
}  // namespace mtrx
