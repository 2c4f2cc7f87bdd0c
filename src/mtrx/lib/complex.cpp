// src/mtrx/lib/complex.cpp: complex numbers: the imaginary unit and the
// parts of complex values.
#include "lib/support.h"

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// i and j: the unit, until a variable of that name hides it.
Outs Unit(const Args &, BuiltinCall &) { return {ImaginaryScalar(1.0)}; }

// The library's function of one array, its failures naming the operation.
template <km::CMatrix *(*F)(const km::CMatrix *), const char *Name>
Array Part(const Array &a) {
    return km::detail::Named(Name, 1, a.get(), nullptr, [&] { return F(a.get()); });
}
constexpr char kImag[] = "imag";
constexpr char kConj[] = "conj";
constexpr char kAngle[] = "angle";

// complex(a) makes a complex with zero imaginary parts; complex(a, b) is
// a + b*i, complex even where b is zero.
Outs ComplexOf(const Args &args, BuiltinCall &) {
    const Array &re = args.GetArray(0);
    const Array im = args.Has(1) ? args.GetArray(1) : Array(0.0);
    return {km::detail::Named("complex", 2, re.get(), im.get(),
                              [&] { return km::Complex(re.get(), im.get()); })};
}

const BuiltinEntry kEntries[] = {
    {"i", Unit, 0, 0, 1, "i", "The imaginary unit, sqrt(-1), unless i is a variable."},
    {"j", Unit, 0, 0, 1, "j", "The imaginary unit, sqrt(-1), unless j is a variable."},
    {"imag", Unary<Part<km::Imag, kImag>>, 1, 1, 1, "imag(Z)", "Imaginary part of each element."},
    {"conj", Unary<Part<km::Conj, kConj>>, 1, 1, 1, "conj(Z)", "Complex conjugate of each element."},
    {"angle", Unary<Part<km::Angle, kAngle>>, 1, 1, 1, "angle(Z)", "Phase angle of each element, in radians."},
    {"complex", ComplexOf, 1, 2, 1, "complex(A), complex(A, B)",
     "A + B*i from real parts A and imaginary parts B, complex even when B is 0."},
};

}  // namespace

Library ComplexLibrary() {
    return {"complex", "Complex numbers: the imaginary unit and the parts of a value", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
