// examples/least_squares.cpp: a cubic fitted to 200 noisy points by least squares.
#include <matrix/matrix.h>

#include <iostream>

using namespace kiv::matrix::values;

int main() {
    kiv::RandSeed(2026);
    const Array x = Transpose(Range(1, 200)) / 100.0 - 1.0;
    const Array y = 2.0 - x + 0.5 * Power(x, 3.0) + 0.1 * Randn(200, 1);
    const Array V = Horzcat(Ones(200, 1), x, Power(x, 2.0), Power(x, 3.0));
    const Array c = Mldivide(V, y);
    std::cout << c.ToString("c") << "residual norm = " << Norm(V * c - y) << '\n';
}
