// src/linalg/typed_factor.cpp: the factorisations of complex and single
// operands: the array copied into the kernels' elements once, the results
// copied out.
#include "linalg/typed_factor.h"

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/linalg.h>
#include <matrix/mx.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstring>
#include <limits>

#include "core/array_holder.h"
#include "kernels/eig_kernel.h"
#include "kernels/typed_kernels.h"
#include "linalg/complex_storage.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {
namespace linalg {

namespace {

using kernels::kIsComplex;
using kernels::RealType;

template <class R>
constexpr mxClassID kClassOf = std::is_same<R, float>::value ? mxClassSingle : mxClassDouble;

// A scratch array of n elements of T: complex ones as pairs of reals, the
// layout std::complex guarantees.
template <class T>
class Elements {
public:
    explicit Elements(std::size_t n) : m_reals(kIsComplex<T> ? 2 * n : n) {}
    T *Get() const { return reinterpret_cast<T *>(m_reals.Get()); }

private:
    Scratch<RealType<T>> m_reals;
};

// Calls f(T()) with the element type of A's class and complexity.
template <class F>
decltype(auto) WithElementType(const CMatrix *A, F &&f) {
    const bool complex = A->GetPi() != nullptr;
    if (A->GetClassID() == mxClassSingle) {
        if (complex) return f(std::complex<float>());
        return f(float());
    }
    return f(std::complex<double>());
}

// A's count elements as T.
template <class T>
void Read(const CMatrix *A, T *to, std::size_t count) {
    if constexpr (kIsComplex<T>) {
        Interleave(A, to, count);
    } else {
        if (count > 0) std::memcpy(to, A->GetPr(), count * sizeof(T));
    }
}

// A new m x n array of T's class and complexity (a real one for real T).
template <class T>
CMatrix *NewArray(std::size_t m, std::size_t n) {
    const unsigned int dims[2] = {static_cast<unsigned int>(m), static_cast<unsigned int>(n)};
    return mxCreateNumericArray(2, dims, kClassOf<RealType<T>>,
                                kIsComplex<T> ? mxComplexityComplex : mxComplexityReal);
}

template <class T>
void Write(const T *from, CMatrix *out, std::size_t count) {
    if constexpr (kIsComplex<T>) {
        Split(from, out, count);
    } else {
        if (count > 0) std::memcpy(out->GetPr(), from, count * sizeof(T));
    }
}

// A new m x n array holding the m x n elements `from` (leading dimension m).
template <class T>
CMatrix *ArrayOf(const T *from, std::size_t m, std::size_t n) {
    CMatrix *out = NewArray<T>(m, n);
    Write(from, out, m * n);
    return out;
}

// The machine epsilon of R.
template <class R>
constexpr R kEps = std::numeric_limits<R>::epsilon();

// Whether the n x n a equals its conjugate transpose exactly, the diagonal
// real; a NaN makes it unequal.
template <class T>
bool IsHermitian(std::size_t n, const T *a) {
    using R = RealType<T>;
    for (std::size_t j = 0; j < n; ++j) {
        const std::complex<R> d(a[j + j * n]);
        if (!(d.imag() == R(0))) return false;
        for (std::size_t i = j + 1; i < n; ++i) {
            const std::complex<R> x(a[i + j * n]), y(a[j + i * n]);
            if (!(x.real() == y.real() && x.imag() == -y.imag())) return false;
        }
    }
    return true;
}

kernels::KernelStatus QlSolve(std::size_t n, double *d, double *e, double *z) {
    Scratch<double> work(kernels::TridiagonalQlWorkspace(n));
    return kernels::TridiagonalQl(n, d, e, z, n, work.Get());
}
kernels::KernelStatus QlSolve(std::size_t n, float *d, float *e, float *z) {
    Scratch<float> work(kernels::TridiagonalQlWorkspaceSingle(n));
    return kernels::TridiagonalQl(n, d, e, z, n, work.Get());
}

// The eigenvalues of a Hermitian a (n x n), ascending (selection sort, the
// first smallest taking each place, a NaN never moving), and with z the
// unitary eigenvectors, each scaled so that its entry of largest modulus
// (the first such) is real and positive.
template <class T>
void HermitianEig(std::size_t n, const CMatrix *A, RealType<T> *d, T *z) {
    using R = RealType<T>;
    Elements<T> a(n * n), tau(n), work(2 * n);
    Scratch<R> e(n), zr(z != nullptr ? n * n : 0);
    Read(A, a.Get(), n * n);
    kernels::HermitianTridiagonalize(n, a.Get(), n, d, e.Get(), tau.Get(), work.Get());
    e.Get()[n - 1] = R(0);
    if (z != nullptr) {
        std::fill(zr.Get(), zr.Get() + n * n, R(0));
        for (std::size_t i = 0; i < n; ++i) zr.Get()[i + i * n] = R(1);
    }
    QlSolve(n, d, e.Get(), zr.Get());
    for (std::size_t i = 0; i + 1 < n; ++i) {
        std::size_t best = i;
        for (std::size_t j = i + 1; j < n; ++j) {
            if (d[j] < d[best]) best = j;
        }
        if (best == i) continue;
        std::swap(d[i], d[best]);
        if (z != nullptr)
            std::swap_ranges(zr.Get() + i * n, zr.Get() + (i + 1) * n, zr.Get() + best * n);
    }
    if (z == nullptr) return;
    for (std::size_t i = 0; i < n * n; ++i) z[i] = T(zr.Get()[i]);
    kernels::HermitianBackTransform(n, a.Get(), n, tau.Get(), n, z, n);
    for (std::size_t j = 0; j < n; ++j) {
        T *col = z + j * n;
        std::size_t big = 0;
        for (std::size_t i = 1; i < n; ++i) {
            if (kernels::Modulus(col[i]) > kernels::Modulus(col[big])) big = i;
        }
        const R size = kernels::Modulus(col[big]);
        if (!(size > R(0))) continue;
        const T phase = kernels::Div(kernels::Conj(col[big]), T(size));
        for (std::size_t i = 0; i < n; ++i) col[i] = kernels::Mul(col[i], phase);
        col[big] = T(size);
    }
}

// The eigenvalues w of a general complex A (n x n), in the order the QR
// algorithm deflates them, and with v unit eigenvectors from its Schur form.
template <class T>
void GeneralEig(std::size_t n, const CMatrix *A, T *w, T *v) {
    Elements<T> a(n * n), tau(n), work(2 * n);
    Read(A, a.Get(), n * n);
    kernels::HessenbergReduceTyped(n, a.Get(), n, tau.Get(), work.Get());
    if (v != nullptr) {
        // Q = diag(1, Q1), Q1 from the reflectors below the subdiagonal.
        for (std::size_t i = 0; i < n * n; ++i) v[i] = T(i % (n + 1) == 0 ? 1 : 0);
        if (n >= 3) {
            kernels::HouseholderFormQTyped(n - 1, n - 2, a.Get() + 1, n, tau.Get(), n - 1,
                                           v + 1 + n, n);
        }
    }
    kernels::ComplexSchur(n, a.Get(), n, w, v, n);
    if (v != nullptr) kernels::SchurEigenvectors(n, a.Get(), n, v, n, work.Get());
}

// The eigenvalues of a real single a (n x n, destroyed) by the double
// kernels' steps in single: balancing when asked, elimination to
// Hessenberg form and the double-shift QR algorithm; in the order of
// deflation, an imaginary part of at most single's eps dropped, the column
// complex when any is left.
CMatrix *RealGeneralEigValues(std::size_t n, float *a, bool balance) {
    Scratch<float> wr(n), wi(n);
    if (balance) kernels::Balance(n, a, n);
    kernels::ReduceToHessenberg(n, a, n);
    kernels::HessenbergEigenvalues(n, a, n, wr.Get(), wi.Get());
    bool complex = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(std::fabs(wi.Get()[i]) > kEps<float>)) wi.Get()[i] = 0.0f;
        complex = complex || wi.Get()[i] != 0.0f;
    }
    if (!complex) return ArrayOf(wr.Get(), n, 1);
    Elements<std::complex<float>> w(n);
    for (std::size_t i = 0; i < n; ++i) w.Get()[i] = std::complex<float>(wr.Get()[i], wi.Get()[i]);
    return ArrayOf(w.Get(), n, 1);
}

// Positions 0..n-1 ordered so that w decreases: an insertion sort in which
// a value passes an earlier one only while strictly greater (NaNs stay).
template <class R>
void SortDown(std::size_t n, const R *w, std::uint32_t *pos) {
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t j = i;
        for (; j > 0 && w[i] > w[pos[j - 1]]; --j) pos[j] = pos[j - 1];
        pos[j] = static_cast<std::uint32_t>(i);
    }
}

// The p x q working matrix of an m x n A: A itself when it is tall or
// square, else its conjugate transpose; then zero columns up to cols.
template <class T>
void WorkingCopy(const CMatrix *A, T *x, std::size_t cols) {
    const std::size_t m = Rows(A), n = Columns(A);
    Elements<T> a(m * n);
    Read(A, a.Get(), m * n);
    const bool wide = m < n;
    const std::size_t p = wide ? n : m, q = wide ? m : n;
    for (std::size_t j = 0; j < q; ++j) {
        for (std::size_t i = 0; i < p; ++i) {
            x[i + j * p] = wide ? kernels::Conj(a.Get()[j + i * m]) : a.Get()[i + j * m];
        }
    }
    std::fill(x + q * p, x + cols * p, T(0));
}

// The singular values of A, largest first (min(m, n) of them).
template <class T>
void SingularValuesOf(const CMatrix *A, RealType<T> *s) {
    using R = RealType<T>;
    const std::size_t m = Rows(A), n = Columns(A);
    const std::size_t p = std::max(m, n), q = std::min(m, n);
    Elements<T> x(p * q), work(kernels::SvdTypedWorkspace(p, q));
    Scratch<R> w(q);
    Scratch<std::uint32_t> pos(q);
    WorkingCopy(A, x.Get(), q);
    kernels::SvdTyped(p, q, x.Get(), p, w.Get(), static_cast<T *>(nullptr), 0,
                      static_cast<T *>(nullptr), 0, work.Get());
    SortDown(q, w.Get(), pos.Get());
    for (std::size_t i = 0; i < q; ++i) s[i] = w.Get()[pos.Get()[i]];
}

// The rank's count: leading values strictly above tol, a NaN neither
// counting nor ending it.
template <class R>
std::size_t CountAbove(std::size_t k, const R *s, double tol) {
    std::size_t rank = 0;
    for (std::size_t i = 0; i < k; ++i) {
        if (s[i] > tol) {
            ++rank;
        } else if (s[i] <= tol) {
            break;
        }
    }
    return rank;
}

// The three factors of a non-empty A, as Svd's real double form makes them.
template <class T>
void Decompose(ArrayHolder &U, ArrayHolder &S, ArrayHolder &V, const CMatrix *A, bool economy) {
    using R = RealType<T>;
    const std::size_t m = Rows(A), n = Columns(A);
    const bool wide = m < n;
    const std::size_t p = wide ? n : m, q = wide ? m : n;
    const std::size_t cols = economy ? q : p;
    Elements<T> x(p * cols), left(p * cols), right(cols * cols);
    Elements<T> work(kernels::SvdTypedWorkspace(p, cols));
    Scratch<R> w(cols);
    Scratch<std::uint32_t> pos(cols);
    WorkingCopy(A, x.Get(), cols);
    kernels::SvdTyped(p, cols, x.Get(), p, w.Get(), left.Get(), p, right.Get(), cols, work.Get());
    SortDown(cols, w.Get(), pos.Get());
    const std::size_t sRows = economy ? q : m, sCols = economy ? q : n;
    S.reset(NewArray<R>(sRows, sCols));
    R *sv = static_cast<R *>(S->GetPr());
    std::fill(sv, sv + sRows * sCols, R(0));
    for (std::size_t i = 0; i < q; ++i) sv[i + i * sRows] = w.Get()[pos.Get()[i]];
    // The columns in the values' order; V keeps its leading q x q block.
    ArrayHolder l(NewArray<T>(p, cols)), r(NewArray<T>(q, q));
    Elements<T> column(std::max(p, q) * cols);
    for (std::size_t j = 0; j < cols; ++j) {
        std::copy(left.Get() + pos.Get()[j] * p, left.Get() + (pos.Get()[j] + 1) * p,
                  column.Get() + j * p);
    }
    Write(column.Get(), l.get(), p * cols);
    for (std::size_t j = 0; j < q; ++j) {
        std::copy(right.Get() + pos.Get()[j] * cols, right.Get() + pos.Get()[j] * cols + q,
                  column.Get() + j * q);
    }
    Write(column.Get(), r.get(), q * q);
    if (wide) {
        U = std::move(r);
        V = std::move(l);
    } else {
        U = std::move(l);
        V = std::move(r);
    }
}

}  // namespace

bool IsTypedOperand(const CMatrix *A) {
    return A->GetClassID() == mxClassSingle ||
           (A->GetClassID() == mxClassDouble && A->GetPi() != nullptr);
}

CMatrix *CholTyped(const CMatrix *A, bool &ok) {
    return WithElementType(A, [&](auto zero) -> CMatrix * {
        using T = decltype(zero);
        const std::size_t n = Rows(A);
        Elements<T> a(n * n), r(n * n);
        Read(A, a.Get(), n * n);
        ok = kernels::CholeskyUpperTyped(n, a.Get(), n, r.Get(), n) == 0;
        if (!ok) return NewArray<T>(0, 0);
        return ArrayOf(r.Get(), n, n);
    });
}

CMatrix *EigTyped(const CMatrix *A, bool balance) {
    return WithElementType(A, [&](auto zero) -> CMatrix * {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t n = Rows(A);
        {
            Elements<T> a(n * n);
            Read(A, a.Get(), n * n);
            if (!IsHermitian(n, a.Get())) {
                if constexpr (!kIsComplex<T>) {
                    return RealGeneralEigValues(n, a.Get(), balance);
                } else {
                    Elements<T> w(n);
                    GeneralEig<T>(n, A, w.Get(), static_cast<T *>(nullptr));
                    return ArrayOf(w.Get(), n, 1);
                }
            }
        }
        ArrayHolder d(NewArray<R>(n, 1));
        HermitianEig<T>(n, A, static_cast<R *>(d->GetPr()), nullptr);
        return d.release();
    });
}

void EigTyped(CMatrix *&D, CMatrix *&V, const CMatrix *A) {
    WithElementType(A, [&](auto zero) {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t n = Rows(A);
        {
            Elements<T> a(n * n);
            Read(A, a.Get(), n * n);
            if (!IsHermitian(n, a.Get())) {
                if constexpr (!kIsComplex<T>) {
                    // The double steps on A widened (inverse iteration
                    // there keeps real eigenvalues' vectors real), the
                    // results rounded to single.
                    ArrayHolder wide(Cast(A, mxClassDouble));
                    CMatrix *dw;
                    CMatrix *vw;
                    Eig(dw, vw, wide.get(), true);
                    ArrayHolder dHeld(dw), vHeld(vw);
                    ArrayHolder dArray(Cast(dw, mxClassSingle));
                    V = Cast(vw, mxClassSingle);
                    D = dArray.release();
                    return;
                } else {
                    Elements<T> w(n), z(n * n), dd(n * n);
                    GeneralEig<T>(n, A, w.Get(), z.Get());
                    std::fill(dd.Get(), dd.Get() + n * n, T(0));
                    for (std::size_t i = 0; i < n; ++i) dd.Get()[i + i * n] = w.Get()[i];
                    ArrayHolder dArray(ArrayOf(dd.Get(), n, n)), vArray(ArrayOf(z.Get(), n, n));
                    D = dArray.release();
                    V = vArray.release();
                    return;
                }
            }
        }
        Scratch<R> d(n);
        Elements<T> z(n * n);
        HermitianEig<T>(n, A, d.Get(), z.Get());
        ArrayHolder dd(NewArray<R>(n, n)), vv(ArrayOf(z.Get(), n, n));
        R *dv = static_cast<R *>(dd->GetPr());
        std::fill(dv, dv + n * n, R(0));
        for (std::size_t i = 0; i < n; ++i) dv[i + i * n] = d.Get()[i];
        D = dd.release();
        V = vv.release();
    });
}

void QrTyped(CMatrix *&Q, CMatrix *&R, CMatrix **E, const CMatrix *A, bool) {
    WithElementType(A, [&](auto zero) {
        using T = decltype(zero);
        using Real = RealType<T>;
        const std::size_t m = Rows(A), n = Columns(A);
        ArrayHolder q, r, e;
        Elements<T> a(m * n), tau(std::min(m, n)), qq(m * m);
        Scratch<Real> norms(n);
        Scratch<std::uint32_t> perm(E != nullptr ? n : 0);
        Read(A, a.Get(), m * n);
        kernels::HouseholderQrTyped(m, n, a.Get(), m, tau.Get(), perm.Get(), norms.Get());
        kernels::HouseholderFormQTyped(m, std::min(m, n), a.Get(), m, tau.Get(), m, qq.Get(), m);
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = j + 1; i < m; ++i) a.Get()[i + j * m] = T(0);
        }
        q.reset(ArrayOf(qq.Get(), m, m));
        r.reset(ArrayOf(a.Get(), m, n));
        if (E != nullptr) {
            e.reset(mxCreateDoubleMatrix(static_cast<unsigned int>(n), static_cast<unsigned int>(n),
                                         mxComplexityReal));
            double *ee = Data(e.get());
            std::fill(ee, ee + n * n, 0.0);
            for (std::size_t j = 0; j < n; ++j) ee[perm.Get()[j] + j * n] = 1.0;
        }
        Q = q.release();
        R = r.release();
        if (E != nullptr) *E = e.release();
    });
}

CMatrix *SvdTyped(const CMatrix *A) {
    return WithElementType(A, [&](auto zero) -> CMatrix * {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t k = std::min(Rows(A), Columns(A));
        ArrayHolder s(NewArray<R>(k, 1));
        if (k > 0) SingularValuesOf<T>(A, static_cast<R *>(s->GetPr()));
        return s.release();
    });
}

void SvdTyped(CMatrix *&U, CMatrix *&S, CMatrix *&V, const CMatrix *A, bool economy) {
    WithElementType(A, [&](auto zero) {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t m = Rows(A), n = Columns(A), k = std::min(m, n);
        ArrayHolder u, s, v;
        if (k == 0) {
            // The shapes of any other A: U and V the leading columns of the
            // identity, S zeros.
            const std::size_t uc = economy ? k : m, vc = economy ? k : n;
            const std::size_t sr = economy ? k : m, sc = economy ? k : n;
            u.reset(NewArray<T>(m, uc));
            v.reset(NewArray<T>(n, vc));
            s.reset(NewArray<R>(sr, sc));
            Elements<T> eye(std::max(m * uc, n * vc));
            for (std::size_t i = 0; i < m * uc; ++i) eye.Get()[i] = T(i % (m + 1) == 0 ? 1 : 0);
            Write(eye.Get(), u.get(), m * uc);
            for (std::size_t i = 0; i < n * vc; ++i) eye.Get()[i] = T(i % (n + 1) == 0 ? 1 : 0);
            Write(eye.Get(), v.get(), n * vc);
        } else {
            Decompose<T>(u, s, v, A, economy);
        }
        U = u.release();
        S = s.release();
        V = v.release();
    });
}

double NormTyped(const CMatrix *A, double p) {
    return WithElementType(A, [&](auto zero) -> double {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t m = Rows(A), n = Columns(A);
        if (m * n == 0) return 0.0;
        Elements<T> a(m * n);
        Read(A, a.Get(), m * n);
        const T *x = a.Get();
        if (m == 1 || n == 1) {
            const std::size_t count = m * n;
            if (p == 0.0) return HUGE_VAL;
            if (std::isinf(p)) {
                R best = kernels::Modulus(x[0]);
                for (std::size_t i = 1; i < count; ++i) {
                    const R v = kernels::Modulus(x[i]);
                    if (p > 0 ? !(v <= best) : !(v >= best)) best = v;
                }
                return best;
            }
            R sum = 0;
            if (p == 1.0) {
                for (std::size_t i = 0; i < count; ++i) sum = sum + kernels::Modulus(x[i]);
                return sum;
            }
            const R power = static_cast<R>(p);
            for (std::size_t i = 0; i < count; ++i)
                sum = sum + std::pow(kernels::Modulus(x[i]), power);
            return std::pow(sum, R(1) / power);
        }
        if (p == 2.0) {
            Scratch<R> s(std::min(m, n));
            SingularValuesOf<T>(A, s.Get());
            for (std::size_t i = 0; i < std::min(m, n); ++i) {
                if (std::isnan(s.Get()[i])) return s.Get()[i];
            }
            return s.Get()[0];
        }
        if (p == 1.0 || p == HUGE_VAL) {
            // Column sums, or row sums, of the moduli, each in increasing
            // index; the largest from 0 (a NaN sum wins).
            const bool rows = p != 1.0;
            Scratch<R> sums(rows ? m : n);
            std::fill(sums.Get(), sums.Get() + (rows ? m : n), R(0));
            for (std::size_t j = 0; j < n; ++j) {
                for (std::size_t i = 0; i < m; ++i) {
                    R &t = sums.Get()[rows ? i : j];
                    t = t + kernels::Modulus(x[i + j * m]);
                }
            }
            R best = 0;
            for (std::size_t i = 0; i < (rows ? m : n); ++i) {
                if (!(sums.Get()[i] <= best)) best = sums.Get()[i];
            }
            return best;
        }
        throw CFunctionErrorException(L"The only matrix norms available are 1, 2, inf and fro");
    });
}

double NormFroTyped(const CMatrix *A) {
    return WithElementType(A, [&](auto zero) -> double {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t count = A->GetNoElems();
        Elements<T> a(count);
        Read(A, a.Get(), count);
        R sum = 0;
        for (std::size_t i = 0; i < count; ++i) sum = sum + kernels::SquaredModulus(a.Get()[i]);
        return std::sqrt(sum);
    });
}

unsigned int RankTyped(const CMatrix *A, bool given, double tol) {
    return WithElementType(A, [&](auto zero) -> unsigned int {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t m = Rows(A), n = Columns(A), k = std::min(m, n);
        if (k == 0) return 0;
        Scratch<R> s(k);
        SingularValuesOf<T>(A, s.Get());
        // max(m, n)*s(0) first, then times the class's eps.
        const double limit =
            given ? tol
                  : static_cast<double>(kEps<R> * (static_cast<R>(std::max(m, n)) * s.Get()[0]));
        return static_cast<unsigned int>(CountAbove(k, s.Get(), limit));
    });
}

CMatrix *PinvTyped(const CMatrix *A) {
    return WithElementType(A, [&](auto zero) -> CMatrix * {
        using T = decltype(zero);
        using R = RealType<T>;
        const std::size_t m = Rows(A), n = Columns(A), k = std::min(m, n);
        ArrayHolder x(NewArray<T>(n, m));
        Elements<T> out(n * m);
        std::fill(out.Get(), out.Get() + n * m, T(0));
        if (k > 0) {
            CMatrix *u = nullptr, *s = nullptr, *v = nullptr;
            SvdTyped(u, s, v, A, true);
            const ArrayHolder U(u), S(s), V(v);
            Elements<T> uu(m * k), vv(n * k);
            Read(U.get(), uu.Get(), m * k);
            Read(V.get(), vv.Get(), n * k);
            const R *sv = static_cast<const R *>(S->GetPr());
            const R tol = kEps<R> * (static_cast<R>(std::max(m, n)) * sv[0]);
            std::size_t r = 0;
            Scratch<std::size_t> kept(k);
            for (std::size_t i = 0; i < k; ++i) {
                const R value = sv[i * k + i];
                if (value > tol) {
                    kept.Get()[r++] = i;
                } else if (value <= tol) {
                    break;
                }
            }
            // X(i,j) = sum over the kept c of (V(i,c)/s(c))*conj(U(j,c)), in
            // increasing c.
            Elements<T> wc(n);
            for (std::size_t c = 0; c < r; ++c) {
                const std::size_t col = kept.Get()[c];
                const R value = sv[col * k + col];
                const T *uc = uu.Get() + col * m, *vc = vv.Get() + col * n;
                for (std::size_t i = 0; i < n; ++i) wc.Get()[i] = kernels::Div(vc[i], T(value));
                for (std::size_t j = 0; j < m; ++j) {
                    const T uj = kernels::Conj(uc[j]);
                    for (std::size_t i = 0; i < n; ++i) {
                        T &o = out.Get()[i + j * n];
                        o = o + kernels::Mul(wc.Get()[i], uj);
                    }
                }
            }
        }
        Write(out.Get(), x.get(), n * m);
        return x.release();
    });
}

}  // namespace linalg
}  // namespace matrix
}  // namespace kiv
