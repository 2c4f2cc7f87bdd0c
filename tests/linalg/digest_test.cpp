// tests/linalg/digest_test.cpp: golden digests of the bits of every linear-algebra kernel.
//
// Each case runs one kernel (or public function) on a fixed input and hashes
// the bit patterns of everything it returns, every NaN first made the same
// (which NaN comes out of NaN meeting NaN depends on the operand order the
// compiler picks for a commutative step). The digests sit in one data file,
// one `name digest` row per case; a changed digest fails naming the case.
// The residual and LAPACK tests then say whether the new bits are still a
// correct result; if they are and the change was meant, run the test with
// MATRIX_UPDATE_DIGESTS=1 to rewrite the rows of the cases that ran.
//
// Every kernel runs on padded buffers (ld > m, NaN padding) that it must
// leave alone. Inputs come from fixed seeds through raw generator output, so
// they do not depend on the standard library's distributions.
#include <gtest/gtest.h>
#include <matrix/matrix.h>

#include <kiv/random.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "linalg/kernels/chol_kernel.h"
#include "linalg/kernels/eig_kernel.h"
#include "linalg/kernels/lu_kernel.h"
#include "linalg/kernels/mldivide_kernel.h"
#include "linalg/kernels/mtimes_kernel.h"
#include "linalg/kernels/planerot_kernel.h"
#include "linalg/kernels/qr_kernel.h"
#include "linalg/kernels/svd_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
namespace kernels = kiv::matrix::kernels;

// The product's plain path, whose bits every faster path must repeat.
constexpr kernels::ProductPath kPlainProduct = kernels::ProductPath::kPortable;

constexpr std::uint64_t kCanonicalNaN = 0x7FF8000000000000ull;

/// FNV-1a over 64-bit words, least significant byte first.
class Digest {
public:
    void Word(std::uint64_t x) {
        for (int b = 0; b < 8; ++b) {
            m_hash ^= (x >> (8 * b)) & 0xFF;
            m_hash *= 0x100000001B3ull;
        }
    }
    void Value(double x) { Word(std::isnan(x) ? kCanonicalNaN : matrix_test::Bits(x)); }
    void Values(const double *p, std::size_t count, std::size_t inc = 1) {
        Word(count);
        for (std::size_t i = 0; i < count; ++i) Value(p[i * inc]);
    }
    void Values(const std::vector<double> &v) { Values(v.data(), v.size()); }
    void Matrix(const Dense &a) {
        Word(a.m);
        Values(a.v);
    }
    /// Shape, class, flags and the real data of an array.
    void Array(const CMatrix *a) {
        for (unsigned int d : matrix_test::Dims(a)) Word(d);
        Word(static_cast<std::uint64_t>(mxGetClassID(a)));
        Word(mxIsLogical(a) ? 1 : 0);
        Word(mxIsComplex(a) ? 1 : 0);
        Values(mxGetPr(a), a->GetNoElems());
    }
    std::uint64_t Hash() const { return m_hash; }

private:
    std::uint64_t m_hash = 0xCBF29CE484222325ull;
};

/// The recorded digests, read once; in update mode the new ones are merged
/// in and the file rewritten when the program ends.
class DigestFile {
public:
    static DigestFile &Get() {
        static DigestFile file;
        return file;
    }
    void Check(const std::string &name, std::uint64_t got) {
        if (m_update) {
            m_rows[name] = got;
            m_dirty = true;
            return;
        }
        const auto it = m_rows.find(name);
        if (it == m_rows.end()) {
            ADD_FAILURE() << name << ": no digest recorded in " << kPath;
        } else if (it->second != got) {
            ADD_FAILURE() << name << ": digest " << Hex(got) << " instead of " << Hex(it->second)
                          << "; if the residual and LAPACK tests pass and the change was "
                             "meant, rerun with MATRIX_UPDATE_DIGESTS=1";
        }
    }
    ~DigestFile() {
        if (!m_dirty) return;
        std::ofstream out(kPath);
        for (const auto &row : m_rows) out << row.first << ' ' << Hex(row.second) << '\n';
    }

private:
    static constexpr const char *kPath = MATRIX_LINALG_DIGESTS;

    DigestFile() {
        const char *update = std::getenv("MATRIX_UPDATE_DIGESTS");
        m_update = update != nullptr && std::string(update) == "1";
        std::ifstream in(kPath);
        std::string name, hex;
        while (in >> name >> hex) m_rows[name] = std::stoull(hex, nullptr, 16);
        if (!m_update && m_rows.empty()) ADD_FAILURE() << "no digests in " << kPath;
    }
    static std::string Hex(std::uint64_t x) {
        std::ostringstream s;
        s << std::hex << std::setw(16) << std::setfill('0') << x;
        return s.str();
    }

    std::map<std::string, std::uint64_t> m_rows;
    bool m_update = false;
    bool m_dirty = false;
};

void Expect(const std::string &name, const Digest &d) { DigestFile::Get().Check(name, d.Hash()); }

// Fixed inputs ---------------------------------------------------------------

/// Raw generator output turned into doubles without the standard
/// distributions, whose algorithms differ between libraries.
class Source {
public:
    explicit Source(const std::string &name) : m_rng(Seed(name)) {}
    /// Uniform in [-1, 1).
    double Uniform() { return static_cast<double>(m_rng() >> 11) * 0x1p-52 - 1.0; }
    /// Uniform scaled by 2^-8..2^7, one in eight a zero of either sign.
    double General() {
        const std::uint64_t r = m_rng();
        if (r % 16 < 2) return r % 16 == 0 ? 0.0 : -0.0;
        return std::ldexp(Uniform(), static_cast<int>(r >> 60) - 8);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(m_rng() % n); }

private:
    static std::uint64_t Seed(const std::string &name) {
        Digest d;
        for (char c : name) d.Word(static_cast<unsigned char>(c));
        return d.Hash();
    }
    std::mt19937_64 m_rng;
};

struct Size {
    std::size_t m, n;
};

// 0, 1, 2, 3, 5, 10, 50, tall and wide.
const std::vector<Size> kSizes = {{0, 0},   {1, 1},   {2, 2},   {3, 3},  {5, 5},
                                  {10, 10}, {50, 50}, {50, 10}, {10, 50}};

// general: magnitudes below 2^7, down to 2^-60 or so, and signed zeros; zeroline: a row and a
// column of signed zeros; rank2: a product of m x 2 and 2 x n; graded:
// entries scaled by 2^(3(i-j)); huge: general near overflow; zero: +0.0
// everywhere; nan: general with one NaN.
const std::vector<std::string> kKinds = {"general", "zeroline", "rank2", "graded",
                                         "huge",    "zero",     "nan"};

Dense Input(const std::string &kind, std::size_t m, std::size_t n) {
    Source src(kind + "/" + std::to_string(m) + "x" + std::to_string(n));
    Dense a(m, n);
    if (kind == "zero") return a;
    if (kind == "rank2") {
        Dense f(m, 2), g(2, n);
        for (double &x : f.v) x = src.Uniform();
        for (double &x : g.v) x = src.Uniform();
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < m; ++i) a(i, j) = f(i, 0) * g(0, j) + f(i, 1) * g(1, j);
        }
        return a;
    }
    for (double &x : a.v) x = kind == "graded" ? src.Uniform() : src.General();
    if (a.v.empty()) return a;
    if (kind == "zeroline") {
        const std::size_t row = src.Below(m), col = src.Below(n);
        for (std::size_t j = 0; j < n; ++j) a(row, j) = j % 2 ? -0.0 : 0.0;
        for (std::size_t i = 0; i < m; ++i) a(i, col) = i % 2 ? 0.0 : -0.0;
    } else if (kind == "graded") {
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < m; ++i)
                a(i, j) = std::ldexp(a(i, j), 3 * (int(i) - int(j)));
        }
    } else if (kind == "huge") {
        for (double &x : a.v) x = std::ldexp(x, 1000);
    } else if (kind == "nan") {
        a(m / 2, n - 1) = kNaN;
    }
    return a;
}

/// The case name: what/kind/mxn.
std::string Name(const std::string &what, const std::string &kind, const Size &s) {
    return what + "/" + kind + "/" + std::to_string(s.m) + "x" + std::to_string(s.n);
}

/// Adds a padded buffer's contents and checks its padding.
void AddPadded(Digest &d, const Padded &p, const std::string &name) {
    d.Matrix(p.Contents());
    EXPECT_TRUE(p.PaddingIntact()) << name << ": a kernel wrote outside its matrix";
}

/// Runs `body(name, kind, size, input)` over the table; square only when asked.
template <typename Body>
void ForEachCase(const std::string &what, bool squareOnly, bool withEmpty, Body body) {
    for (const std::string &kind : kKinds) {
        for (const Size &s : kSizes) {
            if ((squareOnly && s.m != s.n) || (!withEmpty && s.m == 0)) continue;
            const std::string name = Name(what, kind, s);
            SCOPED_TRACE(name);
            body(name, Input(kind, s.m, s.n));
        }
    }
}

// Kernels ----------------------------------------------------------------------

TEST(Digest, MatrixProduct) {
    // A*A' through the plain path, and every update variant on A*A' with C
    // preset from A's own leading block.
    ForEachCase("MatrixProduct", false, true, [](const std::string &name, const Dense &a) {
        Dense at(a.n, a.m);
        for (std::size_t k = 0; k < a.v.size(); ++k) at(k / a.m, k % a.m) = a.v[k];
        Padded pa(a, 2), pb(at, 5), pc(a.m, a.m, 3);
        Digest d;
        kernels::MatrixProduct(a.m, a.m, a.n, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(), pc.Data(),
                               pc.Ld(), nullptr, kPlainProduct);
        AddPadded(d, pc, name);
        for (auto sign : {kernels::UpdateSign::kAdd, kernels::UpdateSign::kSubtract,
                          kernels::UpdateSign::kAddUnlessZero}) {
            for (auto order : {kernels::SumOrder::kIncreasing, kernels::SumOrder::kDecreasing}) {
                Dense c(a.m, a.m);
                for (std::size_t k = 0; k < c.v.size(); ++k) c.v[k] = a.v[k % a.v.size()];
                Padded pu(c, 1);
                kernels::MatrixProductUpdate(a.m, a.m, a.n, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(),
                                             pu.Data(), pu.Ld(), nullptr, sign, order,
                                             kPlainProduct);
                AddPadded(d, pu, name);
            }
        }
        EXPECT_TRUE(pa.PaddingIntact() && pb.PaddingIntact());
        Expect(name, d);
    });
}

TEST(Digest, LuCrout) {
    ForEachCase("LuCrout", true, true, [](const std::string &name, const Dense &a) {
        Padded pa(a);
        std::vector<std::int32_t> ipiv(a.m);
        std::vector<double> scale(a.m);
        int parity = 0;
        Digest d;
        d.Word(static_cast<std::uint64_t>(
            kernels::LuCrout(a.m, pa.Data(), pa.Ld(), ipiv.data(), parity, scale.data())));
        d.Word(static_cast<std::uint64_t>(parity));
        for (std::int32_t p : ipiv) d.Word(static_cast<std::uint64_t>(p));
        AddPadded(d, pa, name);
        Expect(name, d);
    });
}

TEST(Digest, GaussSolve) {
    // The one-pass solve, the factored solve of the same system, and a back
    // substitution against A's upper triangle with its diagonal made 1, 2, 3.
    ForEachCase("GaussSolve", true, true, [](const std::string &name, const Dense &a) {
        const std::size_t n = a.m;
        Dense b(n, 3);
        for (std::size_t k = 0; k < b.v.size(); ++k) b.v[k] = 1.0 + static_cast<double>(k % 7);
        Padded pa(a), pb(b, 2), px(n, 3, 1);
        kernels::GaussSolve(n, 3, pa.Data(), pa.Ld(), pb.Data(), pb.Ld(), px.Data(), px.Ld());
        Digest d;
        AddPadded(d, pa, name);
        AddPadded(d, pb, name);
        AddPadded(d, px, name);
        Padded fa(a), fb(b), fx(n, 3, 2);
        std::vector<std::size_t> pivot(n);
        std::vector<double> r(n);
        kernels::GaussFactor(n, fa.Data(), fa.Ld(), pivot.data(), r.data());
        kernels::GaussSolveFactored(n, 3, fa.Data(), fa.Ld(), pivot.data(), r.data(), fb.Data(),
                                    fb.Ld(), fx.Data(), fx.Ld());
        Digest f;
        AddPadded(f, fx, name);
        Digest one;
        AddPadded(one, px, name);
        EXPECT_EQ(f.Hash(), one.Hash()) << name << ": GaussSolveFactored differs from GaussSolve";
        Dense u = a;
        for (std::size_t i = 0; i < n; ++i) u(i, i) = 1.0 + static_cast<double>(i % 3);
        Padded pu(u), bx(1, n, 3);
        kernels::BackSubstitute(n, pu.Data(), pu.Ld(), pb.Data(), 1, bx.Data(), bx.Ld());
        AddPadded(d, bx, name);
        Expect(name, d);
    });
}

TEST(Digest, CholeskyUpper) {
    // A'*A + n*I with the lower triangle of A'*A's input left as garbage;
    // then the same with one diagonal element made negative.
    ForEachCase("CholeskyUpper", true, true, [](const std::string &name, const Dense &a) {
        const std::size_t n = a.m;
        Dense s(n, n);
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < n; ++i) {
                double x = i == j ? static_cast<double>(n) : 0.0;
                for (std::size_t p = 0; p < n; ++p) x += a(p, i) * a(p, j);
                s(i, j) = i > j ? a(i, j) : x;
            }
        }
        Digest d;
        for (int failing = 0; failing < 2; ++failing) {
            if (failing && n > 0) s(n / 2, n / 2) = -1.0;
            Padded ps(s), pr(n, n, 5);
            d.Word(kernels::CholeskyUpper(n, ps.Data(), ps.Ld(), pr.Data(), pr.Ld()));
            if (!failing) AddPadded(d, pr, name);
            EXPECT_TRUE(ps.PaddingIntact() && pr.PaddingIntact());
        }
        Expect(name, d);
    });
}

TEST(Digest, HouseholderQr) {
    ForEachCase("HouseholderQr", false, false, [](const std::string &name, const Dense &a) {
        const std::size_t m = a.m, n = a.n, steps = m > n ? n : m - 1;
        Digest d;
        for (bool pivot : {false, true}) {
            Padded pa(a), pq(m, m, 4);
            std::vector<double> c(steps), diag(std::min(m, n)),
                work(kernels::HouseholderFormQWorkspace(m));
            std::vector<std::uint32_t> perm(pivot ? n : 0);
            kernels::HouseholderQr(m, n, pa.Data(), pa.Ld(), pivot ? perm.data() : nullptr,
                                   c.data(), diag.data());
            AddPadded(d, pa, name);
            for (std::uint32_t p : perm) d.Word(p);
            d.Values(c);
            d.Values(diag);
            kernels::HouseholderFormQ(m, steps, pa.Data(), pa.Ld(), c.data(), pq.Data(), pq.Ld(),
                                      work.data());
            kernels::HouseholderFinishR(m, n, pa.Data(), pa.Ld(), diag.data());
            AddPadded(d, pq, name);
            AddPadded(d, pa, name);
        }
        Expect(name, d);
    });
}

TEST(Digest, SvdDecompose) {
    // With U and V, then the values alone; w with stride 2, its gaps kept.
    ForEachCase("SvdDecompose", false, false, [](const std::string &name, const Dense &a) {
        Digest d;
        for (bool vectors : {true, false}) {
            Padded pa(a), pv(a.n, a.n, 2);
            std::vector<double> w(2 * a.n, -3.0), work(kernels::SvdDecomposeWorkspace(a.m, a.n));
            d.Word(kernels::SvdDecompose(a.m, a.n, pa.Data(), pa.Ld(), w.data(), 2,
                                         vectors ? pv.Data() : nullptr, pv.Ld(), work.data()));
            d.Values(w.data(), a.n, 2);
            for (std::size_t i = 0; i < a.n; ++i) EXPECT_EQ(w[2 * i + 1], -3.0) << name;
            EXPECT_TRUE(pa.PaddingIntact() && pv.PaddingIntact()) << name;
            if (vectors) {
                AddPadded(d, pa, name);
                AddPadded(d, pv, name);
            }
        }
        Expect(name, d);
    });
}

TEST(Digest, HessenbergQr) {
    // Balance (or not), ReduceToHessenberg, HessenbergEigenvalues; the
    // cyclic shift and companion matrices of repeated roots on the unit
    // circle reach the exceptional shifts and the give-up.
    auto run = [](const std::string &name, const Dense &a) {
        const std::size_t n = a.m;
        Digest d;
        for (bool balance : {true, false}) {
            Padded pa(a);
            if (balance) kernels::Balance(n, pa.Data(), pa.Ld());
            AddPadded(d, pa, name);
            kernels::ReduceToHessenberg(n, pa.Data(), pa.Ld());
            AddPadded(d, pa, name);
            std::vector<double> wr(n), wi(n);
            d.Word(kernels::HessenbergEigenvalues(n, pa.Data(), pa.Ld(), wr.data(), wi.data()));
            d.Values(wr);
            d.Values(wi);
            AddPadded(d, pa, name);
        }
        Expect(name, d);
    };
    ForEachCase("HessenbergQr", true, true, run);
    for (std::size_t n : {3, 10, 50}) {
        Dense cyclic(n, n);
        for (std::size_t i = 0; i < n; ++i) cyclic((i + 1) % n, i) = 1.0;
        run(Name("HessenbergQr", "cyclic", {n, n}), cyclic);
    }
    // (x^2 + x + 1)^2, (x^2 + 1)^2 and (x^2 - 1)^2: x^4 + c0 x^3 + ... + c3,
    // subdiagonal ones and the last column -c3, -c2, -c1, -c0.
    const std::vector<std::pair<std::string, std::vector<double>>> companions = {
        {"cube-roots", {2, 3, 2, 1}}, {"plus-i", {0, 2, 0, 1}}, {"plus-one", {0, -2, 0, 1}}};
    for (const auto &c : companions) {
        Dense a(4, 4);
        for (std::size_t i = 1; i < 4; ++i) a(i, i - 1) = 1.0;
        for (std::size_t i = 0; i < 4; ++i) a(i, 3) = -c.second[3 - i];
        run(Name("HessenbergQr", "companion-" + c.first, {4, 4}), a);
    }
}

// Public functions ---------------------------------------------------------

TEST(Digest, Eig) {
    ForEachCase("Eig", true, true, [](const std::string &name, const Dense &a) {
        const ArrayPtr arg = ToArray(a);
        Digest d;
        for (bool balance : {true, false}) d.Array(ArrayPtr(Eig(arg.get(), balance)).get());
        kiv::RandSeed(20261206);
        CMatrix *dm = nullptr, *vm = nullptr;
        Eig(dm, vm, arg.get(), true);
        const ArrayPtr dp(dm), vp(vm);
        d.Array(dm);
        d.Array(vm);
        Expect(name, d);
    });
}

TEST(Digest, Svd) {
    ForEachCase("Svd", false, true, [](const std::string &name, const Dense &a) {
        const ArrayPtr arg = ToArray(a);
        Digest d;
        d.Array(ArrayPtr(Svd(arg.get(), false)).get());
        for (bool economy : {false, true}) {
            CMatrix *u = nullptr, *s = nullptr, *v = nullptr;
            Svd(u, s, v, arg.get(), economy);
            const ArrayPtr up(u), sp(s), vp(v);
            for (const CMatrix *x : {u, s, v}) d.Array(x);
        }
        d.Word(Rank(arg.get()));
        d.Word(Rank(arg.get(), 0.5));
        Expect(name, d);
    });
}

TEST(Digest, Norm) {
    ForEachCase("Norm", false, true, [](const std::string &name, const Dense &a) {
        const ArrayPtr arg = ToArray(a);
        Digest d;
        for (double p : {1.0, 2.0, kInf}) d.Value(Norm(arg.get(), p));
        d.Value(NormFro(arg.get()));
        // Each column and each row as a vector, with every kind of p.
        for (std::size_t j = 0; j < std::min<std::size_t>(a.n, 3); ++j) {
            Dense col(a.m, 1), row(1, a.m);
            for (std::size_t i = 0; i < a.m; ++i) col(i, 0) = row(0, i) = a(i, j);
            for (double p : {0.0, kInf, -kInf, 1.0, 2.0, 3.0, 0.5, -1.0, -2.5, kNaN}) {
                d.Value(Norm(ToArray(col).get(), p));
                d.Value(Norm(ToArray(row).get(), p));
            }
        }
        Expect(name, d);
    });
}

TEST(Digest, Qr) {
    ForEachCase("Qr", false, true, [](const std::string &name, const Dense &a) {
        const ArrayPtr arg = ToArray(a);
        CMatrix *q = nullptr, *r = nullptr, *e = nullptr, *q2 = nullptr, *r2 = nullptr;
        Qr(q, r, e, arg.get(), false);
        Qr(q2, r2, arg.get(), false);
        const ArrayPtr qp(q), rp(r), ep(e), q2p(q2), r2p(r2);
        Digest d;
        for (const CMatrix *x : {q, r, e, q2, r2}) d.Array(x);
        Expect(name, d);
    });
}

TEST(Digest, Lu) {
    ForEachCase("Lu", true, true, [](const std::string &name, const Dense &a) {
        const ArrayPtr arg = ToArray(a);
        CMatrix *l = nullptr, *u = nullptr, *p = nullptr, *l2 = nullptr, *u2 = nullptr;
        Lu(l, u, p, arg.get());
        Lu(l2, u2, arg.get());
        const ArrayPtr lp(l), up(u), pp(p), l2p(l2), u2p(u2);
        Digest d;
        for (const CMatrix *x : {l, u, p, l2, u2}) d.Array(x);
        d.Value(Det(arg.get()));
        Expect(name, d);
    });
}

TEST(Digest, Chol) {
    // A'*A + I (whose lower triangle is A's), then A itself (rarely definite).
    ForEachCase("Chol", true, true, [](const std::string &name, const Dense &a) {
        const ArrayPtr b = ToArray(a), bt(Transpose(b.get()));
        const ArrayPtr s(Mtimes(bt.get(), b.get()));
        for (std::size_t i = 0; i < a.m; ++i) mxGetPr(s.get())[i * (a.m + 1)] += 1.0;
        for (std::size_t k = 0; k < a.v.size(); ++k) {
            if (k % a.m > k / a.m) mxGetPr(s.get())[k] = a.v[k];
        }
        Digest d;
        for (const CMatrix *x : {s.get(), b.get()}) {
            bool ok = false;
            d.Array(ArrayPtr(Chol(x, ok)).get());
            d.Word(ok);
        }
        Expect(name, d);
    });
}

TEST(Digest, Mldivide) {
    // Square, tall and wide systems with three right-hand sides, and the
    // same through Mrdivide's transposes.
    ForEachCase("Mldivide", false, true, [](const std::string &name, const Dense &a) {
        Dense b = Input("general", a.m, 3);
        const ArrayPtr arg = ToArray(a), rhs = ToArray(b);
        const ArrayPtr at(Transpose(arg.get())), bt(Transpose(rhs.get()));
        Digest d;
        d.Array(ArrayPtr(Mldivide(arg.get(), rhs.get())).get());
        d.Array(ArrayPtr(Mrdivide(bt.get(), at.get())).get());
        Expect(name, d);
    });
}

TEST(Digest, PlaneRotation) {
    // Magnitudes that would overflow or underflow a plain sum of squares.
    Source src("PlaneRotation");
    Digest d;
    for (int k = 0; k < 2000; ++k) {
        const double a = std::ldexp(src.Uniform(), static_cast<int>(src.Below(1201)) - 600);
        const double b = k % 7 == 0    ? a
                         : k % 11 == 0 ? 0.0
                                       : std::ldexp(src.Uniform(), int(src.Below(1201)) - 600);
        d.Value(kernels::SafeHypot(a, b));
        Padded pg(2, 2);
        d.Value(kernels::PlaneRotation(a, b, pg.Data(), pg.Ld()));
        AddPadded(d, pg, "PlaneRotation");
        if (k % 100 == 0) {
            CMatrix *g = nullptr, *y = nullptr;
            const ArrayPtr x = matrix_test::Matrix(2, 1, {a, b});
            Planerot(g, y, x.get());
            const ArrayPtr gp(g), yp(y);
            d.Array(g);
            d.Array(y);
        }
    }
    Expect("PlaneRotation", d);
}

}  // namespace
