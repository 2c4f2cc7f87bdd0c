// tests/array/compile/traps.cpp: lines a program written with Array must not
// get past the compiler; check_compile.cmake compiles one case at a time.
#include <matrix/array.h>

namespace km = kiv::matrix;

void Sink(int count, ...);

int main() {
    using namespace kiv::matrix::values;
    Array v = {1, 2, 3};
    Array A = Zeros(2, 2);
    (void)A;
#if defined(DISCARDED_RAW_RESULT)
    // A dropped owning pointer is a leak: [[nodiscard]] makes it a warning.
    km::Zeros(3, 3);
#endif
#if defined(ELEMENT_THROUGH_VARARGS)
    // The proxy of an element is no double: it must not pass through `...`.
    Sink(1, v(1));
#endif
#if defined(NAMED_ELEMENT_READ)
    // A named proxy would go on seeing later writes to v: it cannot be read.
    auto x = v(1);
    v(1) = 42.0;
    double y = x;
    (void)y;
#endif
#if defined(NUMBER_AS_DIMENSION)
    // A dimension is a Dim, never a number.
    Array s = Sum(A, 2);
#endif
#if defined(UNSIGNED_AS_DIMENSION)
    Array s = Cumsum(A, 2u);
#endif
}
