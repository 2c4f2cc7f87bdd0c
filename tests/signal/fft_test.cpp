// tests/signal/fft_test.cpp: the transforms against an exact DFT in long
// double (small n) and FFTW (large n), round trips, Parseval, determinism
// across thread counts, and filters against closed forms.
#include <matrix/array.h>
#include <matrix/exceptions.h>
#include <matrix/fft.h>
#include <matrix/mx.h>
#include <matrix/threads.h>

#include <fftw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>

#include "signal/fft_kernel.h"
#include <string>
#include <vector>

namespace {

using namespace kiv::matrix;
using Cld = std::complex<long double>;

// A complex column of n values from a fixed seed; pi null for a real one.
Array RandomColumn(unsigned int n, bool complex, unsigned int seed = 7) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> re(n), im(n);
    for (unsigned int k = 0; k < n; ++k) re[k] = u(gen), im[k] = u(gen);
    return Array::Adopt(mxDoubleMatrix(n, 1, re.data(), complex ? im.data() : nullptr));
}

std::vector<Cld> Values(const Array &a) {
    const double *pr = static_cast<const double *>(a.get()->GetPr());
    const double *pi = static_cast<const double *>(a.get()->GetPi());
    std::vector<Cld> v(a.get()->GetNoElems());
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = Cld(pr[k], pi ? pi[k] : 0.0);
    return v;
}

// The relative RMS difference of two sequences.
long double RelativeRms(const std::vector<Cld> &got, const std::vector<Cld> &want) {
    long double err = 0, norm = 0;
    for (std::size_t k = 0; k < want.size(); ++k) {
        err += std::norm(got[k] - want[k]);
        norm += std::norm(want[k]);
    }
    return std::sqrt(err / norm);
}

// The oracle: the O(n^2) definition in long double, angles reduced exactly.
std::vector<Cld> ExactDft(const std::vector<Cld> &x, int sign) {
    const std::size_t n = x.size();
    const long double pi = 3.14159265358979323846264338327950288L;
    std::vector<Cld> y(n);
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t j = 0; j < n; ++j) {
            const long double a = 2 * pi * static_cast<long double>(j * k % n) / n;
            y[k] += x[j] * Cld(std::cos(a), sign * std::sin(a));
        }
    return y;
}

bool SameBits(const Array &a, const Array &b) {
    const CMatrix *x = a.get(), *y = b.get();
    const std::size_t bytes = x->GetNoElems() * x->GetElementSize();
    return x->GetNoElems() == y->GetNoElems() && x->IsComplex() == y->IsComplex() &&
           std::memcmp(x->GetPr(), y->GetPr(), bytes) == 0 &&
           (!x->IsComplex() || std::memcmp(x->GetPi(), y->GetPi(), bytes) == 0);
}

// Radix 8, 4, 2, 3, 5, general primes up to 31, Bluestein lengths (37, 97,
// 127 and mixes with them); real input (every third length) of even length
// through the half-length transform.
TEST(Fft, MatchesExactDftForManyLengths) {
    for (unsigned int n :
         {1u,  2u,  3u,  4u,  5u,  6u,  7u,  8u,   9u,   11u,  12u,  13u,  16u,  25u, 29u,
          30u, 31u, 37u, 60u, 64u, 74u, 97u, 100u, 127u, 210u, 243u, 256u, 341u, 385u}) {
        const Array x = RandomColumn(n, n % 3 != 0, n);
        const long double bound = 1.2e-16L * std::max(1.0, std::log2(n)) + 1e-17L;
        EXPECT_LT(RelativeRms(Values(Fft(x)), ExactDft(Values(x), -1)), bound) << n;
        std::vector<Cld> inverse = ExactDft(Values(x), 1);
        for (Cld &v : inverse) v /= static_cast<long double>(n);
        EXPECT_LT(RelativeRms(Values(Ifft(x)), inverse), bound) << n;
    }
}

TEST(Fft, SingleIsComputedInSingle) {
    for (unsigned int n : {8u, 45u, 101u}) {
        const Array x = RandomColumn(n, true, n);
        const Array y = Fft(Array::Adopt(Single(x.get())));
        ASSERT_TRUE(y.get()->IsSingle() && y.get()->IsComplex());
        const Array yd = Array::Adopt(Double(y.get()));
        EXPECT_LT(RelativeRms(Values(yd), ExactDft(Values(x), -1)), 1e-7L * std::log2(n)) << n;
    }
}

// Large lengths against FFTW's estimate-planned transform: powers of two, a
// prime (Bluestein) and a mixed length.
TEST(Fft, MatchesFftwForLargeLengths) {
    for (unsigned int n : {65536u, 65537u, 3u * 5u * 7u * 11u * 64u, 1u << 20}) {
        const Array x = RandomColumn(n, true, n);
        std::vector<fftw_complex> in(n), out(n);
        const std::vector<Cld> xv = Values(x);
        for (unsigned int k = 0; k < n; ++k)
            in[k][0] = double(xv[k].real()), in[k][1] = double(xv[k].imag());
        fftw_plan plan = fftw_plan_dft_1d(static_cast<int>(n), in.data(), out.data(), FFTW_FORWARD,
                                          FFTW_ESTIMATE);
        fftw_execute(plan);
        fftw_destroy_plan(plan);
        std::vector<Cld> want(n);
        for (unsigned int k = 0; k < n; ++k) want[k] = Cld(out[k][0], out[k][1]);
        EXPECT_LT(RelativeRms(Values(Fft(x)), want), 4e-16L * std::log2(n)) << n;
    }
}

// ifft(fft(x)) is x to rounding and real for real x; Parseval's
// sum |X|^2 = n * sum |x|^2 holds to rounding.
TEST(Fft, RoundTripAndParseval) {
    for (unsigned int n : {1u, 10u, 64u, 97u, 360u, 4099u}) {
        for (bool complex : {false, true}) {
            const Array x = RandomColumn(n, complex, n + 1);
            const Array X = Fft(x);
            const Array back = Ifft(X);
            EXPECT_EQ(back.get()->IsComplex(), complex) << n;
            EXPECT_LT(RelativeRms(Values(back), Values(x)), 1e-15L) << n;
            long double ex = 0, eX = 0;
            for (const Cld &v : Values(x)) ex += std::norm(v);
            for (const Cld &v : Values(X)) eX += std::norm(v);
            EXPECT_NEAR(double(eX / (n * ex)), 1.0, 1e-14) << n;
        }
    }
}

// The AVX2 and AVX-512 paths against the plain one: every radix, both lane
// layouts (across groups at stride 1, across columns after), leftovers of
// one to three lanes, Bluestein, the outputs of a real transform, and the
// transform of a line in split storage (the first stage reading it, the last
// writing it).
TEST(FftKernel, FastPathMatchesPlainBitForBit) {
    for (std::size_t n :
         {2u, 6u, 8u, 12u, 15u, 28u, 45u, 64u, 98u, 121u, 243u, 1000u, 2310u, 4096u, 10007u,
          135u, 189u, 5u * 5u * 7u * 13u, 13u, 169u, 91u, 455u, 7u * 25u, 25u * 13u, 37u, 74u}) {
        const auto plan = kernels::FftPlan<double>::Get(n);
        std::vector<double> x(2 * n), work(plan->WorkSize());
        std::mt19937_64 gen(n);
        for (double &v : x) v = std::uniform_real_distribution<double>(-1, 1)(gen);
        x[3] = -0.0;
        std::vector<double> plain = x;
        plan->Forward(plain.data(), work.data(), kernels::KernelPath::kPlain);
        // The transform of the 2n reals in x, to split parts at stride 1.
        const auto real = [&](kernels::KernelPath path) {
            std::vector<double> in = x, out(4 * n);
            plan->ForwardReal(in.data(), work.data(), out.data(), out.data() + 2 * n, 1, path);
            return out;
        };
        const std::vector<double> plainReal = real(kernels::KernelPath::kPlain);
        // The split line in and out: the interleaved result's parts, and
        // for an inverse conj(.)/n of the transform of conj(x).
        std::vector<double> re(n), im(n), want(4 * n), got(4 * n);
        for (std::size_t k = 0; k < n; ++k) {
            re[k] = x[2 * k], im[k] = -x[2 * k + 1];
            want[k] = plain[2 * k], want[n + k] = plain[2 * k + 1];
        }
        std::vector<double> conj = x;
        for (std::size_t k = 0; k < n; ++k) conj[2 * k + 1] = -x[2 * k + 1];
        plan->Forward(conj.data(), work.data(), kernels::KernelPath::kPlain);
        for (std::size_t k = 0; k < n; ++k)
            want[2 * n + k] = conj[2 * k] / double(n), want[3 * n + k] = -conj[2 * k + 1] / double(n);
        std::vector<double> splitWork(plan->SplitWorkSize());
        for (const auto path : {kernels::KernelPath::kPlain, kernels::KernelPath::kAvx2,
                                kernels::KernelPath::kFastest}) {
            double *g = got.data();
            plan->ForwardSplit({re.data(), im.data(), -1.0, g, g + n, false, 1}, splitWork.data(),
                               path);
            plan->ForwardSplit({re.data(), im.data(), 1.0, g + 2 * n, g + 3 * n, true, double(n)},
                               splitWork.data(), path);
            EXPECT_EQ(0, std::memcmp(got.data(), want.data(), 4 * n * sizeof(double)))
                << n << " split, path " << int(path);
        }
        for (const auto path : {kernels::KernelPath::kAvx2, kernels::KernelPath::kFastest}) {
            std::vector<double> fast = x;
            plan->Forward(fast.data(), work.data(), path);
            EXPECT_EQ(0, std::memcmp(plain.data(), fast.data(), x.size() * sizeof(double)))
                << n << " path " << int(path);
            EXPECT_EQ(0, std::memcmp(real(path).data(), plainReal.data(), 4 * n * sizeof(double)))
                << n << " real, path " << int(path);
        }
    }
}

// Lines spread over threads, and the stages of one long transform (power
// of two, mixed, Bluestein, real through the half length, inverse) cut
// among them: the same bits on any number of threads.
TEST(Fft, SameBitsOnAnyNumberOfThreads) {
    const Array x = Array::Adopt(mxCreateDoubleMatrix(4096, 64, mxComplexityReal));
    std::mt19937_64 gen(3);
    double *p = static_cast<double *>(x.get()->GetPr());
    for (std::size_t k = 0; k < 4096 * 64; ++k)
        p[k] = std::uniform_real_distribution<double>(-1, 1)(gen);
    const Array long2 = RandomColumn(1u << 17, true), mixed = RandomColumn(73920, true),
                prime = RandomColumn(65537, true), real = RandomColumn(1u << 18, false);
    const auto all = [&] {
        return std::vector<Array>{Fft(x),      Fft(x, kFftNaturalLength, 2), Fft(long2),
                                  Fft(mixed),  Fft(prime),                   Fft(real),
                                  Ifft(long2)};
    };
    const unsigned int threads = GetNumThreads();
    SetNumThreads(1);
    const std::vector<Array> one = all();
    for (unsigned int count : {2u, 3u, 8u}) {
        SetNumThreads(count);
        const std::vector<Array> many = all();
        for (std::size_t k = 0; k < one.size(); ++k)
            EXPECT_TRUE(SameBits(one[k], many[k])) << count << " threads, case " << k;
    }
    SetNumThreads(threads);
}

TEST(Fft, ShapesPaddingAndExactValues) {
    const Array a =
        Array::Adopt(mxDoubleMatrix(2, 2, std::vector<double>{1, 2, 3, 4}.data(), nullptr));
    const Array y = Fft(a, 4, 2);
    ASSERT_EQ(y.get()->GetDimensions()[0], 2u);
    ASSERT_EQ(y.get()->GetDimensions()[1], 4u);
    // Row 1 is [1 3 0 0]: its transform is [4, 1-3i, -2, 1+3i], exactly.
    const std::vector<Cld> v = Values(y);
    EXPECT_EQ(v[0], Cld(4, 0));
    EXPECT_EQ(v[2], Cld(1, -3));
    EXPECT_EQ(v[4], Cld(-2, 0));
    EXPECT_EQ(v[6], Cld(1, 3));
    EXPECT_EQ(Fft(a, 0).get()->GetNoElems(), 0u);
    EXPECT_EQ(Values(Fft(a, 1))[1], Cld(3, 0));
    EXPECT_FALSE(Ifft(Fft(a), kFftNaturalLength, 0, FftSymmetry::kSymmetric).get()->IsComplex());
}

TEST(Filter, RecursionClosedFormAndStateContinuation) {
    // y[k] = x[k] + 0.5*y[k-1] on ones: y[k] = 2 - 2^-k exactly.
    const Array b = Array(1.0), a = Array({1.0, -0.5});
    const Array y =
        Filter(b, a, Array::Adopt(mxDoubleMatrix(1, 6, std::vector<double>(6, 1).data(), nullptr)));
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(static_cast<const double *>(y.get()->GetPr())[k], 2 - std::ldexp(1.0, -k));
    // Filtering in two parts with the states carried over gives the same bits.
    const Array x = RandomColumn(50, false);
    const Array bb = Array({0.2, 0.3, 0.1}), aa = Array({2.0, -0.4, 0.1, 0.05});
    const Array whole = Filter(bb, aa, x);
    CMatrix *zf = nullptr;
    const Array x1 =
        Array::Adopt(mxDoubleMatrix(20, 1, static_cast<const double *>(x.get()->GetPr()), nullptr));
    const Array x2 = Array::Adopt(
        mxDoubleMatrix(30, 1, static_cast<const double *>(x.get()->GetPr()) + 20, nullptr));
    const Array y1 = Array::Adopt(Filter(bb.get(), aa.get(), x1.get(), nullptr, 0, &zf));
    const Array z = Array::Adopt(zf);
    const Array y2 = Array::Adopt(Filter(bb.get(), aa.get(), x2.get(), z.get(), 0, nullptr));
    EXPECT_EQ(0, std::memcmp(y1.get()->GetPr(), whole.get()->GetPr(), 20 * sizeof(double)));
    EXPECT_EQ(0,
              std::memcmp(y2.get()->GetPr(), static_cast<const double *>(whole.get()->GetPr()) + 20,
                          30 * sizeof(double)));
}

}  // namespace
