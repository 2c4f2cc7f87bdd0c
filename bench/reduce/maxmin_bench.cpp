// bench/reduce/maxmin_bench.cpp: benchmarks of Max along a dimension,
// with and without positions, and of two arrays, beside plain loops and Eigen.
//
// The plain loops scan one line at a time with the same strict comparison
// (first of equal maxima wins). Eigen's maxCoeff does not promise which of
// equal maxima it reports, nor what it does with NaN, so it is a speed
// reference only. Rates are bytes of the argument read per second; the
// library functions include the allocation of their results, which each
// iteration destroys.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/array_holder.h"

#if defined(MATRIX_HAVE_EIGEN)
#include <Eigen/Core>
#endif

namespace {

using namespace kiv::matrix;

using ArrayPtr = ArrayHolder;

// A pseudo-random permutation of values, so that the position of the
// maximum moves from line to line and branches are not trivially predicted.
double Value(std::size_t k) { return static_cast<double>((k * 2654435761u) % 1000003u); }

ArrayPtr Filled(unsigned int m, unsigned int n) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    double *p = mxGetPr(a.get());
    for (std::size_t k = 0; k < std::size_t{m} * n; ++k) p[k] = Value(k);
    return a;
}

std::vector<double> FilledVector(std::size_t m, std::size_t n, std::size_t offset = 0) {
    std::vector<double> a(m * n);
    for (std::size_t k = 0; k < a.size(); ++k) a[k] = Value(k + offset);
    return a;
}

void SetBytes(benchmark::State &state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// Square sizes: 10 (call overhead dominates), 100 (in L2), 1000 (8 MB, the
// target size), 3000 (72 MB, from memory).
void SquareSizes(benchmark::internal::Benchmark *b) {
    for (int n : {10, 100, 1000, 3000}) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

// --- Max along dimension 1 with positions ---------------------------------------

void BM_MaxWithIndex_Dim1(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        CMatrix *y = nullptr, *i = nullptr;
        Max(y, i, a.get(), 1);
        benchmark::DoNotOptimize(y);
        benchmark::DoNotOptimize(i);
        mxDestroyArray(y);
        mxDestroyArray(i);
    }
    SetBytes(state, std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_MaxWithIndex_Dim1)->Apply(SquareSizes);

void BM_MaxWithIndexLoop_Dim1(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = FilledVector(n, n);
    std::vector<double> y(n), index(n);
    for (auto _ : state) {
        for (std::size_t j = 0; j < n; ++j) {
            const double *column = a.data() + j * n;
            double best = column[0];
            std::size_t at = 0;
            for (std::size_t k = 1; k < n; ++k) {
                if (column[k] > best) {
                    best = column[k];
                    at = k;
                }
            }
            y[j] = best;
            index[j] = static_cast<double>(at + 1);
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::DoNotOptimize(index.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, n * n * sizeof(double));
}
BENCHMARK(BM_MaxWithIndexLoop_Dim1)->Apply(SquareSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenColwiseMaxWithIndex(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> data = FilledVector(n, n);
    const Eigen::Map<const Eigen::MatrixXd> a(data.data(), n, n);
    Eigen::RowVectorXd y(n), index(n);
    for (auto _ : state) {
        for (Eigen::Index j = 0; j < n; ++j) {
            Eigen::Index at;
            y[j] = a.col(j).maxCoeff(&at);
            index[j] = static_cast<double>(at + 1);
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::DoNotOptimize(index.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, static_cast<std::size_t>(n * n) * sizeof(double));
}
BENCHMARK(BM_EigenColwiseMaxWithIndex)->Apply(SquareSizes);
#endif

// --- Max along dimension 1 and 2, values only -----------------------------------

void BM_Max_Dim1(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        ArrayPtr r(Max(a.get(), 1));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_Max_Dim1)->Apply(SquareSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenColwiseMax(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> data = FilledVector(n, n);
    const Eigen::Map<const Eigen::MatrixXd> a(data.data(), n, n);
    Eigen::RowVectorXd y(n);
    for (auto _ : state) {
        y.noalias() = a.colwise().maxCoeff();
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, static_cast<std::size_t>(n * n) * sizeof(double));
}
BENCHMARK(BM_EigenColwiseMax)->Apply(SquareSizes);
#endif

void BM_MaxWithIndex_Dim2(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    for (auto _ : state) {
        CMatrix *y = nullptr, *i = nullptr;
        Max(y, i, a.get(), 2);
        benchmark::DoNotOptimize(y);
        mxDestroyArray(y);
        mxDestroyArray(i);
    }
    SetBytes(state, std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_MaxWithIndex_Dim2)->Apply(SquareSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenRowwiseMax(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> data = FilledVector(n, n);
    const Eigen::Map<const Eigen::MatrixXd> a(data.data(), n, n);
    Eigen::VectorXd y(n);
    for (auto _ : state) {
        y.noalias() = a.rowwise().maxCoeff();
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, static_cast<std::size_t>(n * n) * sizeof(double));
}
BENCHMARK(BM_EigenRowwiseMax)->Apply(SquareSizes);
#endif

// --- Max of two arrays ----------------------------------------------------------

void BM_MaxTwoArrays(benchmark::State &state) {
    const auto n = static_cast<unsigned int>(state.range(0));
    ArrayPtr a = Filled(n, n);
    ArrayPtr b = Filled(n, n);
    std::reverse(mxGetPr(b.get()), mxGetPr(b.get()) + std::size_t{n} * n);
    for (auto _ : state) {
        ArrayPtr r(Max(a.get(), b.get()));
        benchmark::DoNotOptimize(r.get());
    }
    SetBytes(state, 2 * std::size_t{n} * n * sizeof(double));
}
BENCHMARK(BM_MaxTwoArrays)->Apply(SquareSizes);

void BM_MaxTwoArraysLoop(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> a = FilledVector(n, n);
    std::vector<double> b = FilledVector(n, n);
    std::reverse(b.begin(), b.end());
    std::vector<double> r(n * n);
    for (auto _ : state) {
        for (std::size_t k = 0; k < n * n; ++k) r[k] = b[k] > a[k] ? b[k] : a[k];
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, 2 * n * n * sizeof(double));
}
BENCHMARK(BM_MaxTwoArraysLoop)->Apply(SquareSizes);

#if defined(MATRIX_HAVE_EIGEN)
void BM_EigenCwiseMax(benchmark::State &state) {
    const auto n = static_cast<Eigen::Index>(state.range(0));
    const std::vector<double> data = FilledVector(n, n);
    const Eigen::MatrixXd a = Eigen::Map<const Eigen::MatrixXd>(data.data(), n, n);
    const Eigen::MatrixXd b = a.reverse();
    Eigen::MatrixXd r(n, n);
    for (auto _ : state) {
        r.noalias() = a.cwiseMax(b);
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, 2 * static_cast<std::size_t>(n * n) * sizeof(double));
}
BENCHMARK(BM_EigenCwiseMax)->Apply(SquareSizes);
#endif

}  // namespace
