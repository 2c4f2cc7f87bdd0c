// tests/linalg/linalg_test_util.cpp: test matrices, padded buffers, LAPACK oracles.
#include "linalg/linalg_test_util.h"

#include <algorithm>
#include <cstring>

namespace linalg_test {

using namespace kiv::matrix;

namespace {

// A quiet NaN with a payload that no arithmetic produces.
const std::uint64_t kPaddingBits = 0x7FF8DEADBEEF0001ull;

}  // namespace

std::vector<DimList> Shapes(std::initializer_list<unsigned int> flat) {
    std::vector<DimList> shapes;
    for (auto p = flat.begin(); p != flat.end(); p += 2) shapes.push_back({p[0], p[1]});
    return shapes;
}

Dense Random(std::size_t m, std::size_t n, std::mt19937_64 &rng) {
    Dense a(m, n);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (double &x : a.v) x = uniform(rng);
    return a;
}

Dense DiagonallyDominant(std::size_t n, std::mt19937_64 &rng) {
    Dense a = Random(n, n, rng);
    for (std::size_t i = 0; i < n; ++i) a(i, i) += static_cast<double>(n);
    return a;
}

Dense OfRank(std::size_t m, std::size_t n, std::size_t k, std::mt19937_64 &rng) {
    const Dense f = Random(m, k, rng), g = Random(k, n, rng);
    return Gemm('N', 'N', 1.0, f, g, 0.0, Dense(m, n));
}

ArrayPtr ToArray(const Dense &a) {
    ArrayPtr r(mxCreateDoubleMatrix(static_cast<unsigned int>(a.m), static_cast<unsigned int>(a.n),
                                    mxComplexityReal));
    std::copy(a.v.begin(), a.v.end(), mxGetPr(r.get()));
    return r;
}

Dense FromArray(const CMatrix *a) {
    Dense r(mxGetM(a), mxGetN(a));
    std::copy_n(mxGetPr(a), r.v.size(), r.v.begin());
    return r;
}

Padded::Padded(const Dense &a, std::size_t extraRows)
    : m_m(a.m), m_n(a.n), m_ld(std::max<std::size_t>(a.m, 1) + extraRows) {
    double padding;
    std::memcpy(&padding, &kPaddingBits, sizeof padding);
    m_buf.assign(m_ld * std::max<std::size_t>(a.n, 1), padding);
    for (std::size_t j = 0; j < a.n; ++j)
        std::copy_n(a.v.begin() + j * a.m, a.m, m_buf.begin() + j * m_ld);
}

Dense Padded::Contents() const {
    Dense a(m_m, m_n);
    for (std::size_t j = 0; j < m_n; ++j)
        std::copy_n(m_buf.begin() + j * m_ld, m_m, a.v.begin() + j * m_m);
    return a;
}

bool Padded::PaddingIntact() const {
    for (std::size_t k = 0; k < m_buf.size(); ++k) {
        const bool padding = k % m_ld >= m_m || k / m_ld >= m_n;
        if (padding && Bits(m_buf[k]) != kPaddingBits) return false;
    }
    return true;
}

double Norm1(const Dense &a) {
    if (a.m == 0 || a.n == 0) return 0.0;
    const int m = static_cast<int>(a.m), n = static_cast<int>(a.n);
    return dlange_("1", &m, &n, a.v.data(), &m, nullptr, 1);
}

Dense Gemm(char ta, char tb, double alpha, const Dense &a, const Dense &b, double beta,
           const Dense &c) {
    Dense r = c;
    const int m = static_cast<int>(c.m), n = static_cast<int>(c.n);
    const int k = static_cast<int>(ta == 'N' ? a.n : a.m);
    const int lda = static_cast<int>(std::max<std::size_t>(a.m, 1));
    const int ldb = static_cast<int>(std::max<std::size_t>(b.m, 1));
    const int ldc = std::max(m, 1);
    if (m > 0 && n > 0) {
        dgemm_(&ta, &tb, &m, &n, &k, &alpha, a.v.data(), &lda, b.v.data(), &ldb, &beta, r.v.data(),
               &ldc, 1, 1);
    }
    return r;
}

Dense Identity(std::size_t n) {
    Dense a(n, n);
    for (std::size_t i = 0; i < n; ++i) a(i, i) = 1.0;
    return a;
}

std::vector<double> Dgesvd(Dense a) {
    const int m = static_cast<int>(a.m), n = static_cast<int>(a.n), one = 1;
    std::vector<double> s(std::min(a.m, a.n));
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dgesvd_("N", "N", &m, &n, a.v.data(), &m, s.data(), nullptr, &one, nullptr, &one, work,
                lwork, info, 1, 1);
    });
    return s;
}

}  // namespace linalg_test
