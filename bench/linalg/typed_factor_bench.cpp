// bench/linalg/typed_factor_bench.cpp: Chol, Eig (Hermitian), Qr and Svd on complex double and
// single beside LAPACK's zpotrf/spotrf, zheev/ssyev, zgeqrf/sgeqrf and zgesvd/sgesvd.
//
// LAPACK (the reference build, one thread) here is the peer for the values;
// the library's complex and single kernels are unblocked. Sizes 64 and 256.
#include <benchmark/benchmark.h>
#include <matrix/matrix.h>

#include <algorithm>
#include <complex>
#include <cstddef>
#include <vector>

#include "bench_util.h"

using cd = std::complex<double>;

extern "C" {
using Fint = const int *;
void zpotrf_(const char *, Fint, cd *, Fint, int *, std::size_t);
void spotrf_(const char *, Fint, float *, Fint, int *, std::size_t);
void zheev_(const char *, const char *, Fint, cd *, Fint, double *, cd *, Fint, double *, int *,
            std::size_t, std::size_t);
void ssyev_(const char *, const char *, Fint, float *, Fint, float *, float *, Fint, int *,
            std::size_t, std::size_t);
void zgeev_(const char *, const char *, Fint, cd *, Fint, cd *, cd *, Fint, cd *, Fint, cd *, Fint,
            double *, int *, std::size_t, std::size_t);
void sgeev_(const char *, const char *, Fint, float *, Fint, float *, float *, float *, Fint,
            float *, Fint, float *, Fint, int *, std::size_t, std::size_t);
void zgeqrf_(Fint, Fint, cd *, Fint, cd *, cd *, Fint, int *);
void sgeqrf_(Fint, Fint, float *, Fint, float *, float *, Fint, int *);
void zgesvd_(const char *, const char *, Fint, Fint, cd *, Fint, double *, cd *, Fint, cd *, Fint,
             cd *, Fint, double *, int *, std::size_t, std::size_t);
void sgesvd_(const char *, const char *, Fint, Fint, float *, Fint, float *, float *, Fint, float *,
             Fint, float *, Fint, int *, std::size_t, std::size_t);
}

namespace {

using namespace kiv::matrix;
using namespace linalg_bench;

// A Hermitian positive definite n x n operand, complex double (range(1) 0)
// or single (1): Values' entries, the imaginary parts their mirror, plus n on
// the diagonal.
ArrayPtr Operand(std::size_t n, bool single) {
    const std::vector<double> v = Values(n, n);
    ArrayPtr a(mxCreateNumericArray(2, std::vector<unsigned>{unsigned(n), unsigned(n)}.data(),
                                    single ? mxClassSingle : mxClassDouble,
                                    single ? mxComplexityReal : mxComplexityComplex));
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            const double re = (v[i + j * n] + v[j + i * n]) / 2 + (i == j ? double(n) : 0.0);
            const double im = i == j ? 0.0 : (v[i + j * n] - v[j + i * n]) / 2;
            if (single) {
                static_cast<float *>(a->GetPr())[i + j * n] = float(re);
            } else {
                mxGetPr(a.get())[i + j * n] = re;
                mxGetPi(a.get())[i + j * n] = im;
            }
        }
    }
    return a;
}

// Operand's matrix made general: its first row doubled.
ArrayPtr General(std::size_t n, bool single) {
    ArrayPtr a = Operand(n, single);
    for (std::size_t j = 1; j < n; ++j) {
        if (single) {
            static_cast<float *>(a->GetPr())[j * n] *= 2.0f;
        } else {
            mxGetPr(a.get())[j * n] *= 2.0;
        }
    }
    return a;
}

template <class Call>
void Library(benchmark::State &state, Call call, bool general = false) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = general ? General(n, state.range(1) != 0) : Operand(n, state.range(1) != 0);
    for (auto _ : state) call(a.get());
}

void BM_TypedChol(benchmark::State &state) {
    Library(state, [](const CMatrix *a) {
        CMatrix *r = Chol(a);
        mxDestroyArray(r);
    });
}
void BM_TypedEig(benchmark::State &state) {
    Library(state, [](const CMatrix *a) {
        CMatrix *d, *v;
        Eig(d, v, a, false);
        mxDestroyArray(d);
        mxDestroyArray(v);
    });
}
// A general matrix: the values (complex double: the Schur form's; single:
// the real double-shift QR in single), and complex double's vectors.
void BM_TypedEigGeneral(benchmark::State &state) {
    Library(
        state,
        [&state](const CMatrix *a) {
            if (state.range(1) == 0) {
                CMatrix *d, *v;
                Eig(d, v, a, false);
                mxDestroyArray(d);
                mxDestroyArray(v);
            } else {
                CMatrix *e = Eig(a, false);
                mxDestroyArray(e);
            }
        },
        true);
}

void BM_TypedQr(benchmark::State &state) {
    Library(state, [](const CMatrix *a) {
        CMatrix *q, *r;
        Qr(q, r, a, false);
        mxDestroyArray(q);
        mxDestroyArray(r);
    });
}
void BM_TypedSvd(benchmark::State &state) {
    Library(state, [](const CMatrix *a) {
        CMatrix *s = Svd(a, false);
        mxDestroyArray(s);
    });
}
void BM_TypedSvdFactors(benchmark::State &state) {
    Library(state, [](const CMatrix *a) {
        CMatrix *u, *s, *v;
        Svd(u, s, v, a, false);
        mxDestroyArray(u);
        mxDestroyArray(s);
        mxDestroyArray(v);
    });
}

// LAPACK on a copy of the same operand each time, as the library copies.
void BM_LapackTyped(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const bool single = state.range(1) != 0;
    const int what = static_cast<int>(state.range(2));
    const ArrayPtr a = what == 4 ? General(n, single) : Operand(n, single);
    const int ni = int(n), lwork = int(64 * n), one = 1;
    std::vector<cd> z(n * n), zw(lwork), zt(n), zu(n * n), zv(n * n);
    std::vector<float> s(n * n), sw(lwork), st(n), su(n * n), sv(n * n);
    std::vector<double> w(n), rw(5 * n);
    int info = 0;
    for (auto _ : state) {
        if (single) {
            std::copy_n(static_cast<const float *>(a->GetPr()), n * n, s.data());
        } else {
            for (std::size_t k = 0; k < n * n; ++k)
                z[k] = cd(mxGetPr(a.get())[k], mxGetPi(a.get())[k]);
        }
        switch (what) {
            case 0:
                single ? spotrf_("U", &ni, s.data(), &ni, &info, 1)
                       : zpotrf_("U", &ni, z.data(), &ni, &info, 1);
                break;
            case 1:
                single ? ssyev_("V", "L", &ni, s.data(), &ni, st.data(), sw.data(), &lwork, &info,
                                1, 1)
                       : zheev_("V", "L", &ni, z.data(), &ni, w.data(), zw.data(), &lwork,
                                rw.data(), &info, 1, 1);
                break;
            case 2:
                single ? sgeqrf_(&ni, &ni, s.data(), &ni, st.data(), sw.data(), &lwork, &info)
                       : zgeqrf_(&ni, &ni, z.data(), &ni, zt.data(), zw.data(), &lwork, &info);
                break;
            case 4:
                single ? sgeev_("N", "N", &ni, s.data(), &ni, st.data(), sv.data(), nullptr, &one,
                                nullptr, &one, sw.data(), &lwork, &info, 1, 1)
                       : zgeev_("N", "V", &ni, z.data(), &ni, zt.data(), nullptr, &one, zu.data(),
                                &ni, zw.data(), &lwork, rw.data(), &info, 1, 1);
                break;
            default:
                single ? sgesvd_("A", "A", &ni, &ni, s.data(), &ni, st.data(), su.data(), &ni,
                                 sv.data(), &ni, sw.data(), &lwork, &info, 1, 1)
                       : zgesvd_("A", "A", &ni, &ni, z.data(), &ni, w.data(), zu.data(), &ni,
                                 zv.data(), &ni, zw.data(), &lwork, rw.data(), &info, 1, 1);
                break;
        }
        benchmark::DoNotOptimize(info);
    }
}

void Kinds(benchmark::internal::Benchmark *b) {
    for (int n : {64, 256})
        for (int single : {0, 1}) b->Args({n, single});
    b->Unit(benchmark::kMicrosecond);
}
void LapackKinds(benchmark::internal::Benchmark *b) {
    for (int what : {0, 1, 2, 3, 4})
        for (int n : {64, 256})
            for (int single : {0, 1}) b->Args({n, single, what});
    b->Unit(benchmark::kMicrosecond);
}

// The real double kernels the single ones share their steps with: QL on a
// symmetric matrix (values, and vectors below the divide and conquer's
// order), and the bidiagonal sweeps of the SVD (values).
void BM_DoubleSymmetricEig(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = Operand(n, false);
    ArrayPtr real(mxCreateDoubleMatrix(unsigned(n), unsigned(n), mxComplexityReal));
    std::copy_n(mxGetPr(a.get()), n * n, mxGetPr(real.get()));
    for (auto _ : state) {
        CMatrix *d, *v = nullptr;
        if (state.range(1) != 0) {
            Eig(d, v, real.get(), false);
            mxDestroyArray(v);
        } else {
            d = Eig(real.get(), false);
        }
        mxDestroyArray(d);
    }
}
BENCHMARK(BM_DoubleSymmetricEig)->Args({256, 0})->Args({48, 1})->Unit(benchmark::kMicrosecond);

void BM_DoubleSvd(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const ArrayPtr a = ToArray(n, n, Values(n, n));
    for (auto _ : state) {
        CMatrix *s = Svd(a.get(), false);
        mxDestroyArray(s);
    }
}
BENCHMARK(BM_DoubleSvd)->Arg(256)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_TypedChol)->Apply(Kinds);
BENCHMARK(BM_TypedEig)->Apply(Kinds);
BENCHMARK(BM_TypedEigGeneral)->Apply(Kinds);
BENCHMARK(BM_TypedQr)->Apply(Kinds);
BENCHMARK(BM_TypedSvd)->Apply(Kinds);
BENCHMARK(BM_TypedSvdFactors)->Apply(Kinds);
BENCHMARK(BM_LapackTyped)->Apply(LapackKinds);

}  // namespace
