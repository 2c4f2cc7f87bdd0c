// examples/power_iteration.cpp: the dominant eigenvalue of a symmetric matrix by power iteration.
#include <matrix/matrix.h>

#include <cmath>
#include <iostream>

using namespace kiv::matrix::values;

int main() {
    kiv::RandSeed(2026);
    const Array B = Randn(100, 100) / 10.0;
    const Array A = Transpose(B) * B + Ones(100, 100) / 10.0;  // symmetric
    Array v = Ones(100, 1) / 10.0;                             // unit length
    Array history;  // the estimate after each step, grown by appending
    double estimate = 0.0, previous = 0.0;
    do {
        previous = estimate;
        const Array w = A * v;
        estimate = (Transpose(v) * w).Scalar();
        history(End() + 1) = estimate;
        v = w / Norm(w);
    } while (std::abs(estimate - previous) > 1e-12 * estimate && history.Numel() < 500);
    auto [largest, position] = Max(Eig(A));
    std::cout.precision(15);
    std::cout << "steps: " << history.Numel() << "\npower iteration: " << estimate
              << "\nEig: " << largest.Scalar() << "\nfirst estimates: " << history(Range(1, 3));
}
