// tests/linalg/digest_test.cpp: golden digests of the bits of every linear-algebra kernel.
//
// Each case runs a kernel (or public function) on a fixed input and hashes
// the bit patterns of everything it returns, every NaN first made the same
// (which NaN comes out of NaN meeting NaN depends on the operand order the
// compiler picks for a commutative step). The digests sit in one data file,
// one `name digest` row per case; a changed digest fails naming the case.
// The residual and LAPACK tests then say whether the new bits are still a
// correct result; if they are and the change was meant, rerun with
// MATRIX_UPDATE_DIGESTS=1 to rewrite the rows of the cases that run.
//
// Kernels run on padded buffers (ld > m, NaN padding) that they must leave
// alone. Inputs come from fixed seeds through raw generator output, so they
// depend neither on MATRIX_TEST_SEED nor on the standard library's
// distributions.
#include <kiv/random.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "kernels/chol_kernel.h"
#include "kernels/eig_kernel.h"
#include "kernels/lu_kernel.h"
#include "kernels/mldivide_kernel.h"
#include "kernels/mtimes_kernel.h"
#include "kernels/norm_kernel.h"
#include "kernels/planerot_kernel.h"
#include "kernels/qr_kernel.h"
#include "kernels/svd_kernel.h"
#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
namespace kernels = kiv::matrix::kernels;
using kernels::SumOrder;
using kernels::UpdateSign;

// The product's plain path, whose bits every faster path must repeat.
constexpr kernels::KernelPath kPlain = kernels::KernelPath::kPlain;

// A quiet NaN with a payload that no arithmetic produces.
const std::uint64_t kPaddingBits = 0x7FF8DEADBEEF0001ull;

/// A kernel argument in a buffer whose leading dimension exceeds its rows,
/// the padding filled with a NaN that the kernel must leave alone (checked
/// when the buffer goes).
struct Padded {
    Dense a;
    std::size_t ld;
    std::vector<double> buf;
    double *p;

    explicit Padded(const Dense &dense, std::size_t extraRows = 3)
        : a(dense),
          ld(std::max<std::size_t>(a.m, 1) + extraRows),
          buf(ld * std::max<std::size_t>(a.n, 1), matrix_test::FromBits(kPaddingBits)),
          p(buf.data()) {
        for (std::size_t k = 0; k < a.v.size(); ++k) p[k % a.m + k / a.m * ld] = a.v[k];
    }
    Padded(const Padded &) = delete;
    ~Padded() {
        bool intact = true;
        for (std::size_t k = 0; k < buf.size(); ++k)
            intact &= (k % ld < a.m && k / ld < a.n) || Bits(buf[k]) == kPaddingBits;
        EXPECT_TRUE(intact) << "a kernel wrote outside its matrix";
    }
    const Dense &Contents() {
        for (std::size_t k = 0; k < a.v.size(); ++k) a.v[k] = p[k % a.m + k / a.m * ld];
        return a;
    }
};

/// FNV-1a over 64-bit words, least significant byte first.
struct Digest {
    std::uint64_t hash = 0xCBF29CE484222325ull;

    void Word(std::uint64_t x) {
        for (int b = 0; b < 8; ++b) hash = (hash ^ ((x >> (8 * b)) & 0xFF)) * 0x100000001B3ull;
    }
    void Value(double x) { Word(std::isnan(x) ? 0x7FF8000000000000ull : Bits(x)); }
    void Values(const double *p, std::size_t count, std::size_t inc = 1) {
        Word(count);
        for (std::size_t i = 0; i < count; ++i) Value(p[i * inc]);
    }
    template <typename T>
    void Words(const std::vector<T> &w) {
        for (T x : w) Word(static_cast<std::uint64_t>(x));
    }
    void Buffer(Padded &p) {
        const Dense &a = p.Contents();
        Word(a.m);
        Values(a.v.data(), a.v.size());
    }
    /// Shape, class, flags and data of arrays, the imaginary part after the
    /// real one.
    void Arrays(std::initializer_list<const CMatrix *> arrays) {
        for (const CMatrix *a : arrays) {
            for (unsigned int d : Dims(a)) Word(d);
            Word(static_cast<std::uint64_t>(mxGetClassID(a)) * 4 + mxIsLogical(a) * 2 +
                 mxIsComplex(a));
            Values(mxGetPr(a), a->GetNoElems());
            if (mxIsComplex(a)) Values(mxGetPi(a), a->GetNoElems());
        }
    }
};

/// Checks the digest of a case against its row of the data file, or with
/// MATRIX_UPDATE_DIGESTS set records it there.
void Check(const std::string &name, const Digest &d) {
    static std::map<std::string, std::string> rows = [] {
        std::map<std::string, std::string> read;
        std::ifstream in(MATRIX_LINALG_DIGESTS);
        for (std::string key, hex; in >> key >> hex;) read[key] = hex;
        return read;
    }();
    std::ostringstream hex;
    hex << std::hex << d.hash;
    if (std::getenv("MATRIX_UPDATE_DIGESTS") != nullptr) {
        rows[name] = hex.str();
        std::ofstream out(MATRIX_LINALG_DIGESTS);
        for (const auto &row : rows) out << row.first << ' ' << row.second << '\n';
    }
    EXPECT_EQ(rows[name], hex.str())
        << name << ": digest changed; if the residual and LAPACK tests pass and the change was "
        << "meant, rerun with MATRIX_UPDATE_DIGESTS=1";
}

/// Raw generator output turned into doubles: uniform in [-1, 1), or scaled
/// by 2^-8..2^7 with one in eight a zero of either sign.
struct Source {
    std::mt19937_64 rng;

    explicit Source(const std::string &name) {
        Digest d;
        for (char c : name) d.Word(static_cast<unsigned char>(c));
        rng.seed(d.hash);
    }
    double Uniform() { return static_cast<double>(rng() >> 11) * 0x1p-52 - 1.0; }
    double General() {
        const std::uint64_t r = rng();
        if (r % 16 < 2) return r % 16 == 0 ? 0.0 : -0.0;
        return std::ldexp(Uniform(), static_cast<int>(r >> 60) - 8);
    }
};

// general: Source::General; zeroline: a row and a column of signed zeros;
// rank2: a product of m x 2 and 2 x n; graded: uniform scaled by
// 2^(3(i-j)); huge: general near overflow; zero: +0.0; nan: one NaN.
const char *const kKinds[] = {"general", "zeroline", "rank2", "graded", "huge", "zero", "nan"};

Dense Input(const std::string &kind, std::size_t m, std::size_t n) {
    Source src(kind + "/" + std::to_string(m) + "x" + std::to_string(n));
    Dense a(m, n), f(m, 2), g(2, n);
    if (kind == "zero" || a.v.empty()) return a;
    for (double &x : kind == "rank2" ? f.v : a.v)
        x = kind == "graded" ? src.Uniform() : src.General();
    for (double &x : g.v) x = src.Uniform();
    const std::size_t row = src.rng() % m, col = src.rng() % n;
    for (std::size_t k = 0; k < a.v.size(); ++k) {
        const std::size_t i = k % m, j = k / m;
        if (kind == "rank2") a.v[k] = f(i, 0) * g(0, j) + f(i, 1) * g(1, j);
        if (kind == "zeroline" && (i == row || j == col)) a.v[k] = (i + j) % 2 ? -0.0 : 0.0;
        if (kind == "graded") a.v[k] = std::ldexp(a.v[k], 3 * (int(i) - int(j)));
        if (kind == "huge") a.v[k] = std::ldexp(a.v[k], 1000);
    }
    if (kind == "nan") a(m / 2, n - 1) = kNaN;
    return a;
}

using Run = std::function<void(Digest &, const Dense &)>;

/// Runs `run` on one input and checks the digest of what it added.
void Case(const std::string &name, const Dense &a, const Run &run) {
    SCOPED_TRACE(name);
    Digest d;
    run(d, a);
    Check(name, d);
}

// Balance (or not), ReduceToHessenberg and HessenbergEigenvalues.
void HessenbergQr(Digest &d, const Dense &a) {
    for (bool balance : {true, false}) {
        Padded pa(a);
        std::vector<double> wr(a.m), wi(a.m);
        if (balance) kernels::Balance(a.m, pa.p, pa.ld);
        d.Buffer(pa);
        kernels::ReduceToHessenberg(a.m, pa.p, pa.ld);
        d.Buffer(pa);
        d.Word(kernels::HessenbergEigenvalues(a.m, pa.p, pa.ld, wr.data(), wi.data()));
        d.Values(wr.data(), a.m);
        d.Values(wi.data(), a.m);
        d.Buffer(pa);
    }
}

struct Kernel {
    const char *name;
    bool squareOnly, withEmpty;
    Run run;
};

const Kernel kKernels[] = {
    // A*A' through the plain path, then every update variant on C preset from A.
    {"MatrixProduct", false, true,
     [](Digest &d, const Dense &a) {
         Dense at(a.n, a.m), c(a.m, a.m);
         for (std::size_t k = 0; k < a.v.size(); ++k) at(k / a.m, k % a.m) = a.v[k];
         for (std::size_t k = 0; k < c.v.size(); ++k) c.v[k] = a.v[k % a.v.size()];
         Padded pa(a, 2), pb(at, 5), pc(Dense(a.m, a.m, kNaN), 3);
         kernels::MatrixProduct(a.m, a.m, a.n, pa.p, pa.ld, pb.p, pb.ld, pc.p, pc.ld, nullptr,
                                kPlain);
         d.Buffer(pc);
         const kernels::UpdateSign signs[] = {UpdateSign::kAdd, UpdateSign::kSubtract,
                                              UpdateSign::kAddUnlessZero};
         for (int form = 0; form < 6; ++form) {
             Padded pu(c, 1);
             kernels::MatrixProductUpdate(
                 a.m, a.m, a.n, pa.p, pa.ld, pb.p, pb.ld, pu.p, pu.ld, nullptr, signs[form / 2],
                 form % 2 ? SumOrder::kDecreasing : SumOrder::kIncreasing, kPlain);
             d.Buffer(pu);
         }
     }},
    // The factor, then its rows moved as the pivots say; the determinant.
    {"LuCrout", true, true,
     [](Digest &d, const Dense &a) {
         Padded pa(a);
         std::vector<std::int32_t> ipiv(a.m);
         std::vector<std::uint32_t> perm(a.m);
         std::vector<double> scale(a.m);
         std::vector<unsigned char> moved(a.m);
         int parity = 0;
         d.Word(kernels::LuCrout(a.m, pa.p, pa.ld, ipiv.data(), parity, scale.data()));
         d.Word(static_cast<std::uint64_t>(parity));
         d.Words(ipiv);
         d.Buffer(pa);
         kernels::PivotsToPermutation(a.m, ipiv.data(), perm.data());
         kernels::MoveRows(a.m, a.n, pa.p, pa.ld, perm.data(), moved.data(), scale.data());
         d.Buffer(pa);
         d.Value(Det(ToArray(a).get()));
     }},
    // The one-pass solve (the factored one must repeat its bits), and a back
    // substitution against the eliminated A with B's first column, x a row of
    // a padded matrix.
    {"GaussSolve", true, true,
     [](Digest &d, const Dense &a) {
         const std::size_t n = a.m;
         Dense b(n, 3);
         for (std::size_t k = 0; k < b.v.size(); ++k) b.v[k] = 1.0 + static_cast<double>(k % 7);
         Padded pa(a), pb(b, 2), px(Dense(n, 3, kNaN), 1), bx(Dense(1, n, kNaN), 3);
         kernels::GaussSolve(n, 3, pa.p, pa.ld, pb.p, pb.ld, px.p, px.ld);
         d.Buffer(pa);
         d.Buffer(pb);
         d.Buffer(px);
         for (std::size_t i = 0; i < n; ++i) pa.p[i * (pa.ld + 1)] = 1.0 + i % 3;
         kernels::BackSubstitute(n, pa.p, pa.ld, pb.p, 1, bx.p, bx.ld);
         d.Buffer(bx);
     }},
    // A'*A + n*I above the diagonal and A's garbage below, then the same with
    // a negative diagonal element.
    {"CholeskyUpper", true, true,
     [](Digest &d, const Dense &a) {
         const std::size_t n = a.m;
         Dense s = a;
         for (std::size_t j = 0; j < n; ++j) {
             for (std::size_t i = 0; i <= j; ++i) {
                 s(i, j) = i == j ? static_cast<double>(n) : 0.0;
                 for (std::size_t p = 0; p < n; ++p) s(i, j) += a(p, i) * a(p, j);
             }
         }
         for (int failing = 0; failing < 2; ++failing) {
             if (failing && n > 0) s(n / 2, n / 2) = -1.0;
             Padded ps(s), pr(Dense(n, n, kNaN), 5);
             d.Word(kernels::CholeskyUpper(n, ps.p, ps.ld, pr.p, pr.ld));
             if (!failing) d.Buffer(pr);
         }
     }},
    // Every output of the three kernels, with and without pivoting.
    {"HouseholderQr", false, false,
     [](Digest &d, const Dense &a) {
         const std::size_t m = a.m, n = a.n, steps = m > n ? n : m - 1;
         for (bool pivot : {false, true}) {
             Padded pa(a), pq(Dense(m, m, kNaN), 4);
             std::vector<double> c(steps), diag(std::min(m, n)),
                 work(kernels::HouseholderFormQWorkspace(m));
             std::vector<std::uint32_t> perm(pivot ? n : 0);
             kernels::HouseholderQr(m, n, pa.p, pa.ld, pivot ? perm.data() : nullptr, c.data(),
                                    diag.data());
             d.Buffer(pa);
             d.Words(perm);
             d.Values(c.data(), c.size());
             d.Values(diag.data(), diag.size());
             kernels::HouseholderFormQ(m, steps, pa.p, pa.ld, c.data(), pq.p, pq.ld, work.data());
             kernels::HouseholderFinishR(m, n, pa.p, pa.ld, diag.data());
             d.Buffer(pq);
             d.Buffer(pa);
         }
     }},
    // With U and V, then the values alone; w with stride 2, its gaps kept;
    // then the columns of U sorted as the values.
    {"SvdDecompose", false, false,
     [](Digest &d, const Dense &a) {
         for (bool vectors : {true, false}) {
             Padded pa(a), pv(Dense(a.n, a.n, kNaN), 2);
             std::vector<double> w(2 * a.n, -3.0), work(kernels::SvdDecomposeWorkspace(a.m, a.n));
             std::vector<std::uint32_t> positions(a.n);
             std::vector<unsigned char> visited(a.n);
             d.Word(kernels::SvdDecompose(a.m, a.n, pa.p, pa.ld, w.data(), 2,
                                          vectors ? pv.p : nullptr, pv.ld, work.data()));
             d.Values(w.data(), a.n, 2);
             for (std::size_t i = 0; i < a.n; ++i) EXPECT_EQ(w[2 * i + 1], -3.0);
             if (!vectors) continue;
             d.Buffer(pa);
             d.Buffer(pv);
             kernels::SortDescending(a.n, w.data(), 2, positions.data());
             kernels::PermuteColumns(a.m, a.n, pa.p, pa.ld, positions.data(), work.data(),
                                     visited.data());
             d.Words(positions);
             d.Buffer(pa);
         }
     }},
    {"HessenbergQr", true, true, HessenbergQr},
    // The public functions that add kernels of their own, every form.
    {"Eig", true, true,
     [](Digest &d, const Dense &a) {
         const ArrayPtr arg = ToArray(a), values(Eig(arg.get(), false));
         Outs dv;
         kiv::RandSeed(20261206);
         Eig(dv[0], dv[1], arg.get(), true);
         d.Arrays({ArrayPtr(Eig(arg.get(), true)).get(), values.get(), dv[0], dv[1]});
     }},
    // The matrix norms, then the first columns and rows as vectors with every
    // kind of p; the kernels on a padded A (rows as strided vectors) give the
    // functions' bits.
    {"Norm", false, true,
     [](Digest &d, const Dense &a) {
         Padded pa(a);
         std::vector<double> work(a.m);
         const ArrayPtr arg = ToArray(a);
         d.Value(Norm(arg.get(), 2.0));
         const std::vector<double> norms = {Norm(arg.get(), 1.0), Norm(arg.get(), kInf),
                                            NormFro(arg.get())};
         d.Values(norms.data(), 3);
         const std::vector<double> kernelNorms = {
             kernels::MatrixNorm1(a.m, a.n, pa.p, pa.ld),
             kernels::MatrixNormInf(a.m, a.n, pa.p, pa.ld, work.data()),
             kernels::FrobeniusNorm(a.m, a.n, pa.p, pa.ld)};
         // A 1 x 1 A is a vector to the functions.
         EXPECT_TRUE(a.m == 1 || matrix_test::BitsOf(norms) == matrix_test::BitsOf(kernelNorms));
         for (std::size_t k = 0; k < std::min<std::size_t>(a.m, 3); ++k) {
             Dense col(a.m, 1), row(1, a.n);
             for (std::size_t i = 0; i < a.m; ++i) col(i, 0) = a(i, k);
             for (std::size_t j = 0; j < a.n; ++j) row(0, j) = a(k, j);
             for (double p : {0.0, kInf, -kInf, 1.0, 2.0, 3.0, 0.5, -1.0, -2.5, kNaN}) {
                 const double r = Norm(ToArray(row).get(), p);
                 d.Value(Norm(ToArray(col).get(), p));
                 d.Value(r);
                 EXPECT_EQ(Bits(kernels::VectorNorm(a.n, pa.p + k, pa.ld, p)), Bits(r));
             }
         }
     }},
    // Square, tall and wide systems with three right-hand sides, and the same
    // through Mrdivide's transposes.
    {"Mldivide", false, true,
     [](Digest &d, const Dense &a) {
         const ArrayPtr arg = ToArray(a), rhs = ToArray(Input("general", a.m, 3));
         const ArrayPtr at(Transpose(arg.get())), bt(Transpose(rhs.get()));
         d.Arrays({ArrayPtr(Mldivide(arg.get(), rhs.get())).get(),
                   ArrayPtr(Mrdivide(bt.get(), at.get())).get()});
     }},
};

// Every kernel on every kind of input at the sizes 0, 1, 2, 3, 5, 10, 50,
// tall and wide (square only, or without 0, as the kernel asks).
TEST(Digest, EveryKernel) {
    const std::size_t sizes[][2] = {{0, 0},   {1, 1},   {2, 2},   {3, 3},  {5, 5},
                                    {10, 10}, {50, 50}, {50, 10}, {10, 50}};
    for (const Kernel &kernel : kKernels) {
        for (const char *kind : kKinds) {
            for (const auto &s : sizes) {
                if ((kernel.squareOnly && s[0] != s[1]) || (!kernel.withEmpty && s[0] == 0))
                    continue;
                Case(std::string(kernel.name) + "/" + kind + "/" + std::to_string(s[0]) + "x" +
                         std::to_string(s[1]),
                     Input(kind, s[0], s[1]), kernel.run);
            }
        }
    }
}

// The cyclic shift and companion matrices of repeated roots on the unit
// circle reach the exceptional shifts and the give-up.
TEST(Digest, HessenbergQrHardCases) {
    std::map<std::string, Dense> cases;
    for (std::size_t n : {3, 10, 50}) {
        Dense &cyclic = cases["cyclic/" + std::to_string(n)] = Dense(n, n);
        for (std::size_t i = 0; i < n; ++i) cyclic((i + 1) % n, i) = 1.0;
    }
    // x^4 + c3 x^3 + ... + c0 for (x^2 + x + 1)^2, (x^2 + 1)^2, (x^2 - 1)^2.
    for (const auto &c : std::map<std::string, std::vector<double>>{
             {"cube-roots", {1, 2, 3, 2}}, {"plus-i", {1, 0, 2, 0}}, {"plus-one", {1, 0, -2, 0}}}) {
        Dense &a = cases["companion/" + c.first] = Dense(4, 4);
        for (std::size_t i = 0; i < 4; ++i) a(i, 3) = -c.second[i];
        for (std::size_t i = 0; i < 3; ++i) a(i + 1, i) = 1.0;
    }
    for (const auto &c : cases) Case("HessenbergQr/" + c.first, c.second, HessenbergQr);
}

// Magnitudes that would overflow or underflow a plain sum of squares.
TEST(Digest, PlaneRotation) {
    Case("PlaneRotation", Dense(), [](Digest &d, const Dense &) {
        Source src("PlaneRotation");
        // The draws in sequence: the order of a call's arguments is unspecified.
        auto draw = [&] {
            const double u = src.Uniform();
            return std::ldexp(u, static_cast<int>(src.rng() % 1201) - 600);
        };
        for (int k = 0; k < 2000; ++k) {
            const double a = draw();
            const double b = k % 7 == 0 ? a : k % 11 == 0 ? 0.0 : draw();
            Padded pg(Dense(2, 2, kNaN));
            d.Value(kernels::SafeHypot(a, b));
            d.Value(kernels::PlaneRotation(a, b, pg.p, pg.ld));
            d.Buffer(pg);
            if (k % 100 == 0) {
                Outs f;
                Planerot(f[0], f[1], Matrix(2, 1, {a, b}).get());
                d.Arrays({f[0], f[1]});
            }
        }
    });
}

}  // namespace
