// examples/clean_data.cpp: rows with a missing value dropped, then column means and maxima.
#include <matrix/matrix.h>

#include <iostream>

using namespace kiv::matrix::values;

int main() {
    kiv::RandSeed(2026);
    Array X = Rand(1000, 5);
    X(Rand(1000, 5) < 0.03) = mxGetNaN();     // about 3% of the values are missing
    X(Any(Isnan(X), Dim(2)), All) = Empty();  // drop every row with a missing value
    std::cout << "rows kept: " << X.Rows() << "\n\n";
    std::cout << (Sum(X) / X.Rows()).ToString("means");
    auto [maxima, rows] = Max(X);
    std::cout << maxima.ToString("maxima") << rows.ToString("rows");
}
