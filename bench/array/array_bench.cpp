// bench/array/array_bench.cpp: Array against the function-call interface it wraps, in one run.
//
// Plus through Array (`C = A + B`, result released when C dies) beside the
// raw call (Plus, then mxDestroyArray): the wrapper's cost is the difference.
// Sizes: 16 elements (4 x 4, where fixed costs dominate, also the size the
// smoke test runs) and 10^6 (the element loop dominates). Element reads:
// every element of an n x n matrix through `A(i, j)` beside the same
// bounds-checked load written against mxGetM, mxGetNumberOfElements and
// mxGetPr, without and with the class check that A(i, j) makes. The fixed
// cost of Plus on 4 x 4 arrays beside the bare 16-element loop, and that of
// a shared copy.
#include <benchmark/benchmark.h>
#include <matrix/array.h>

#include <cstddef>

namespace {

using namespace kiv::matrix;

Array Counting(unsigned int n) {
    Array a = Array::Zeros(n, 1);
    double k = 0.0;
    for (double &x : a.MutableData()) x = k++;
    return a;
}

void BM_Plus_Raw(benchmark::State &state) {
    const Array a = Counting(static_cast<unsigned int>(state.range(0)));
    const Array b = Counting(static_cast<unsigned int>(state.range(0)));
    const CMatrix *A = a.get(), *B = b.get();
    for (auto _ : state) {
        CMatrix *C = Plus(A, B);
        benchmark::DoNotOptimize(C);
        mxDestroyArray(C);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Plus_Array(benchmark::State &state) {
    const Array a = Counting(static_cast<unsigned int>(state.range(0)));
    const Array b = Counting(static_cast<unsigned int>(state.range(0)));
    for (auto _ : state) {
        const Array c = a + b;
        benchmark::DoNotOptimize(c.get());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Plus_Raw)->Arg(16)->Arg(1000000);
BENCHMARK(BM_Plus_Array)->Arg(16)->Arg(1000000);

// The fixed cost of a call: Plus of two 4 x 4 arrays with the result created
// and released, beside its floor, the bare loop over the same 16 elements
// into a buffer that already exists, and beside a shared copy made and
// released (object, dimension list and two count changes).
void BM_Plus4x4_CreateRelease(benchmark::State &state) {
    const Array a = Array::Ones(4, 4), b = Array::Ones(4, 4);
    const CMatrix *A = a.get(), *B = b.get();
    for (auto _ : state) {
        CMatrix *C = Plus(A, B);
        benchmark::DoNotOptimize(C);
        mxDestroyArray(C);
    }
}

void BM_Loop16_Peer(benchmark::State &state) {
    double a[16], b[16], r[16];
    for (int i = 0; i < 16; ++i) a[i] = b[i] = 1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        for (int i = 0; i < 16; ++i) r[i] = a[i] + b[i];
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
}

void BM_CreateShareArray(benchmark::State &state) {
    const Array a = Array::Ones(4, 4);
    const CMatrix *A = a.get();
    for (auto _ : state) {
        CMatrix *S = A->CreateShareArray();
        benchmark::DoNotOptimize(S);
        mxDestroyArray(S);
    }
}

BENCHMARK(BM_Plus4x4_CreateRelease)->Arg(4);
BENCHMARK(BM_Loop16_Peer)->Arg(4);
BENCHMARK(BM_CreateShareArray)->Arg(4);

// The raw interface's bounds-checked read of element (i, j), 1-based.
double RawAt(const CMatrix *a, unsigned int i, unsigned int j) {
    const unsigned int m = mxGetM(a);
    const unsigned int n = mxGetNumberOfElements(a) / (m ? m : 1);
    if (i < 1 || j < 1 || i > m || j > n) throw CIndexExceedsMatrixDimensionsException();
    return mxGetPr(a)[static_cast<std::size_t>(j - 1) * m + (i - 1)];
}

// The same read refusing arrays other than real double, as A(i, j) does.
double RawCheckedAt(const CMatrix *a, unsigned int i, unsigned int j) {
    if (!mxIsDouble(a) || mxIsComplex(a)) throw CNotImplementedException();
    return RawAt(a, i, j);
}

// Sums every element of an n x n matrix of ones through `read(a, i, j)`.
template <typename Read>
void SumElements(benchmark::State &state, Array &a, Read read) {
    const unsigned int n = static_cast<unsigned int>(state.range(0));
    for (auto _ : state) {
        double sum = 0.0;
        for (unsigned int j = 1; j <= n; ++j)
            for (unsigned int i = 1; i <= n; ++i) sum += read(a, i, j);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}

Array OnesSquare(const benchmark::State &state) {
    const unsigned int n = static_cast<unsigned int>(state.range(0));
    return Array::Ones(n, n);
}

void BM_Element_Raw(benchmark::State &state) {
    Array a = OnesSquare(state);
    const CMatrix *A = a.get();
    SumElements(state, a, [A](Array &, unsigned i, unsigned j) { return RawAt(A, i, j); });
}

void BM_Element_RawChecked(benchmark::State &state) {
    Array a = OnesSquare(state);
    const CMatrix *A = a.get();
    SumElements(state, a, [A](Array &, unsigned i, unsigned j) { return RawCheckedAt(A, i, j); });
}

// Not const: reads go through the element proxy, as in user code.
void BM_Element_Array(benchmark::State &state) {
    Array a = OnesSquare(state);
    SumElements(state, a, [](Array &x, unsigned i, unsigned j) -> double { return x(i, j); });
}

BENCHMARK(BM_Element_Raw)->Arg(10)->Arg(300);
BENCHMARK(BM_Element_RawChecked)->Arg(10)->Arg(300);
BENCHMARK(BM_Element_Array)->Arg(10)->Arg(300);

}  // namespace
