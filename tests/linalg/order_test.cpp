// tests/linalg/order_test.cpp: the stated and fast orders of Qr, least squares and eigenvectors
// against reference LAPACK, their reproducibility, and the order setting itself.
#include <matrix/order.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "linalg/linalg_test_util.h"

extern "C" {
void dgelsy_(Fint m, Fint n, Fint nrhs, double *a, Fint lda, double *b, Fint ldb, int *jpvt,
             const double *rcond, int *rank, double *work, Fint lwork, int *info);
void dtrtrs_(const char *uplo, const char *trans, const char *diag, Fint n, Fint nrhs,
             const double *a, Fint lda, double *b, Fint ldb, int *info, Flen, Flen, Flen);
}

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

/// Sets the calling thread's order for one scope.
class OrderScope {
public:
    explicit OrderScope(Order order) : m_saved(GetOrder()) { SetOrder(order); }
    ~OrderScope() { SetOrder(m_saved); }
    OrderScope(const OrderScope &) = delete;
    OrderScope &operator=(const OrderScope &) = delete;

private:
    Order m_saved;
};

const Order kOrders[] = {Order::kStated, Order::kFast};

std::string Name(Order order) { return order == Order::kFast ? "fast" : "stated"; }

/// The linear algebra test shapes: tall, wide, square, the benchmark
/// shapes, lines of one and no elements; `zeros` columns of A are zero
/// (at most all), which makes the tall and square ones rank deficient.
struct Shape {
    unsigned int m, n, zeros;
};
const Shape kShapes[] = {{0, 0, 0},    {0, 3, 0},    {3, 0, 0},   {1, 1, 0},  {1, 5, 0},
                         {5, 1, 0},    {3, 3, 0},    {7, 5, 0},   {5, 7, 0},  {100, 30, 0},
                         {30, 100, 0}, {128, 64, 0}, {64, 64, 0}, {7, 5, 2},  {5, 7, 3},
                         {100, 30, 7}, {40, 40, 5},  {6, 2, 2},   {9, 300, 0}};

Dense ShapeMatrix(const Shape &s, std::mt19937_64 &rng) {
    Dense a = Random(s.m, s.n, rng);
    for (unsigned int z = 0; z < s.zeros; ++z) {
        const std::size_t j = (z * 7 + 1) % s.n;
        for (std::size_t i = 0; i < s.m; ++i) a(i, j) = 0.0;
    }
    return a;
}

std::string What(const Shape &s, Order order) {
    return std::to_string(s.m) + "x" + std::to_string(s.n) + " zeros " + std::to_string(s.zeros) +
           " " + Name(order);
}

// Both forms in both orders: Q orthonormal, A*E = Q*R (or A = Q*R), R
// upper trapezoidal with +0.0 below, pivoted diagonals non-increasing; the
// zero columns end up last, with exact zeros on the diagonal.
TEST(OrderQr, FactorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kShapes) {
        const Dense a = ShapeMatrix(s, rng);
        for (Order order : kOrders) {
            const OrderScope scope(order);
            for (bool pivot : {false, true}) {
                Outs f;
                pivot ? Qr(f[0], f[1], f[2], ToArray(a).get(), false)
                      : Qr(f[0], f[1], ToArray(a).get(), false);
                const std::string what = What(s, order) + (pivot ? " pivoted" : "");
                ASSERT_EQ(Dims(f[0]), (DimList{s.m, s.m})) << what;
                ASSERT_EQ(Dims(f[1]), (DimList{s.m, s.n})) << what;
                const Dense q = FromArray(f[0]), r = FromArray(f[1]);
                const double tol = 30.0 * std::max(s.m, s.n) * kEps;
                EXPECT_LE(Orthonormality(q), tol) << what;
                EXPECT_LE(Misfit(q, r, pivot ? Times(a, FromArray(f[2])) : a), tol * Norm1(a))
                    << what;
                for (std::size_t k = 0; k < r.v.size(); ++k)
                    EXPECT_TRUE(k % s.m <= k / s.m || Bits(r.v[k]) == 0) << what;
                const std::size_t diagonal = std::min(s.m, s.n);
                for (std::size_t i = 0; pivot && i + 1 < diagonal; ++i)
                    EXPECT_GE(std::fabs(r(i, i)) * (1 + 1e-12), std::fabs(r(i + 1, i + 1))) << what;
                const std::size_t rank = std::min<std::size_t>(diagonal, s.n - s.zeros);
                for (std::size_t i = rank; pivot && i < diagonal && s.m > s.n; ++i)
                    EXPECT_EQ(r(i, i), 0.0) << what;
            }
        }
    }
}

// The non-square A\B in both orders against LAPACK's dgelsy: the same
// solution where it is unique (tall, the zero columns' components 0);
// wide systems get a basic solution, with at most rank non-zero components
// and dgelsy's (zero) residual.
TEST(OrderMldivide, LeastSquaresAgreesWithDgelsy) {
    std::mt19937_64 rng(Seed());
    for (const Shape &s : kShapes) {
        if (s.m == s.n || s.m == 0 || s.n == 0) continue;
        const Dense a = ShapeMatrix(s, rng), b = Random(s.m, 3, rng);
        const int m = static_cast<int>(s.m), n = static_cast<int>(s.n), nrhs = 3;
        const int ldb = std::max(m, n);
        Dense af = a, bf(ldb, 3);
        for (std::size_t j = 0; j < 3; ++j)
            for (std::size_t i = 0; i < s.m; ++i) bf(i, j) = b(i, j);
        std::vector<int> jpvt(s.n, 0);
        const double rcond = 1e-12;
        int rank = 0;
        WithWorkspace([&](double *work, const int *lwork, int *info) {
            dgelsy_(&m, &n, &nrhs, af.v.data(), &m, bf.v.data(), &ldb, jpvt.data(), &rcond, &rank,
                    work, lwork, info);
        });
        Dense want(s.n, 3);
        for (std::size_t j = 0; j < 3; ++j)
            for (std::size_t i = 0; i < s.n; ++i) want(i, j) = bf(i, j);
        const double tol = 1e3 * std::max(s.m, s.n) * kEps;
        for (Order order : kOrders) {
            const OrderScope scope(order);
            const std::string what = What(s, order);
            const Dense x = FromArray(ArrayPtr(Mldivide(ToArray(a).get(), ToArray(b).get())).get());
            ASSERT_EQ(x.m, s.n) << what;
            if (s.m > s.n) {
                for (std::size_t k = 0; k < x.v.size(); ++k)
                    EXPECT_NEAR(x.v[k], want.v[k], tol * std::max(1.0, std::fabs(want.v[k])))
                        << what;
            } else {
                EXPECT_LE(Misfit(a, x, b), tol * Norm1(a) * std::max(1.0, Norm1(x))) << what;
                EXPECT_LE(Misfit(a, want, b), tol * Norm1(a) * std::max(1.0, Norm1(want))) << what;
                for (std::size_t j = 0; j < 3; ++j) {
                    std::size_t nonzero = 0;
                    for (std::size_t i = 0; i < s.n; ++i) nonzero += x(i, j) != 0.0;
                    EXPECT_LE(nonzero, static_cast<std::size_t>(rank)) << what;
                }
            }
        }
    }
}

// The fast order solves a triangular A by substitution: exact where
// substitution is exact (the elimination interchanges the rows of these and
// rounds), as LAPACK's triangular solve does otherwise, with the
// infinities of a zero pivot, and A/B through the transposed triangle. A
// full A keeps the elimination's bits.
TEST(OrderMldivide, FastOrderSolvesTrianglesBySubstitution) {
    const OrderScope scope(Order::kFast);
    const auto solve = [](const ArrayPtr &a, const ArrayPtr &b) {
        return Values(ArrayPtr(Mldivide(a.get(), b.get())).get());
    };
    const ArrayPtr lower = Matrix(2, 2, {0.1, 3, 0, 1}), upper = Matrix(2, 2, {1, 0, 3, 0.1});
    EXPECT_EQ(solve(lower, Matrix(2, 1, {0.1, 2})), (std::vector<double>{1, -1}));
    EXPECT_EQ(solve(upper, Matrix(2, 1, {2, 0.1})), (std::vector<double>{-1, 1}));
    EXPECT_EQ(Values(ArrayPtr(Mrdivide(Matrix(1, 2, {2, 5.5}).get(),
                                       Matrix(2, 2, {1, 0, 3, 0.5}).get()))
                         .get()),
              (std::vector<double>{2, -1}));
    EXPECT_EQ(solve(Matrix(2, 2, {0, 1, 0, 2}), Matrix(2, 1, {1, 1})),
              (std::vector<double>{kInf, -kInf}));
    const ArrayPtr full = Matrix(2, 2, {0.1, 3, 2, 1}), rhs = Matrix(2, 1, {0.1, 2});
    std::vector<double> stated;
    {
        const OrderScope back(Order::kStated);
        stated = solve(full, rhs);
    }
    EXPECT_EQ(solve(full, rhs), stated);

    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1u, 7u, 40u, 200u}) {
        for (std::size_t k : {1u, 30u}) {
            for (const char *uplo : {"L", "U"}) {
                Dense t = Random(n, n, rng);
                for (std::size_t j = 0; j < n; ++j) {
                    for (std::size_t i = 0; i < n; ++i) {
                        if (*uplo == 'L' ? i < j : i > j) t(i, j) = 0.0;
                    }
                    t(j, j) += t(j, j) < 0 ? -2.0 : 2.0;
                }
                const Dense b = Random(n, k, rng);
                Dense want = b;
                const int ni = static_cast<int>(n), ki = static_cast<int>(k);
                int info = 0;
                dtrtrs_(uplo, "N", "N", &ni, &ki, t.v.data(), &ni, want.v.data(), &ni, &info, 1,
                        1, 1);
                ASSERT_EQ(info, 0);
                const std::vector<double> x = solve(ToArray(t), ToArray(b));
                for (std::size_t e = 0; e < x.size(); ++e)
                    EXPECT_NEAR(x[e], want.v[e], 1e2 * n * kEps * std::max(1.0, std::fabs(want.v[e])))
                        << n << "x" << k << " " << uplo;
            }
        }
    }
}

// Both orders, with and without balancing: the same eigenvalues bit for
// bit (unless A is symmetric, which the fast order solves apart, see
// SymmetricFastPath), and columns of V of unit length with a small
// residual A*v - lambda*v.
TEST(OrderEig, VectorsAgreeWithOracle) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 5, 12, 33, 100}) {
        for (const Dense &a : RealSpectrum(n, rng)) {
            bool symmetric = true;
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = 0; j < n; ++j) symmetric = symmetric && a(i, j) == a(j, i);
            }
            for (bool balance : {true, false}) {
                std::vector<std::uint64_t> values;
                for (Order order : kOrders) {
                    const OrderScope scope(order);
                    const std::string what =
                        std::to_string(n) + " " + Name(order) + (balance ? " balanced" : "");
                    Outs dv;
                    Eig(dv[0], dv[1], ToArray(a).get(), balance);
                    const Dense d = FromArray(dv[0]), x = FromArray(dv[1]);
                    if (values.empty()) values = matrix_test::BitsOf(d.v);
                    if (!symmetric) {
                        EXPECT_EQ(matrix_test::BitsOf(d.v), values) << what;
                    }
                    const Dense res = Gemm('N', 'N', -1.0, x, d, 1.0, Times(a, x));
                    const double tol = 1e3 * n * kEps * Norm1(a);
                    for (std::size_t k = 0; k < n; ++k) {
                        double length = 0.0, worst = 0.0;
                        for (std::size_t i = 0; i < n; ++i) {
                            length += x(i, k) * x(i, k);
                            worst = std::max(worst, std::fabs(res(i, k)));
                        }
                        EXPECT_NEAR(std::sqrt(length), 1.0, 1e-14) << what << " column " << k;
                        EXPECT_LE(worst, tol) << what << " column " << k;
                    }
                }
            }
        }
    }
}

// Random nonsymmetric matrices with complex pairs, in both orders, with
// and without balancing: D and V complex, pairs side by side (positive
// imaginary part first) with conjugate vectors, unit columns, and each
// complex column of A*V - V*D within 4*n*eps*norm(A) (a real column keeps
// the real iteration, which returns the earlier of two agreeing iterates:
// within 1e3 times that). The values are the same bits in both
// orders; the fast order gives the same bits on one thread and on two.
TEST(OrderEig, ComplexPairsInBothOrders) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {2, 6, 50, 80}) {
        const Dense a = Random(n, n, rng);
        const double tol = 4 * n * kEps * Norm1(a);
        for (bool balance : {true, false}) {
            std::vector<std::uint64_t> values;
            for (Order order : kOrders) {
                const OrderScope scope(order);
                const std::string what =
                    std::to_string(n) + " " + Name(order) + (balance ? " balanced" : "");
                kiv::RandSeed(11);
                Outs dv;
                Eig(dv[0], dv[1], ToArray(a).get(), balance);
                ASSERT_TRUE(mxIsComplex(dv[0]) || n == 2) << what;
                ExpectComplexEigenpairs(a, dv[0], dv[1], tol, 1e3 * tol, what);
                const std::vector<std::uint64_t> bits = matrix_test::BitsOf(dv[0]);
                if (values.empty()) values = bits;
                EXPECT_EQ(bits, values) << what;
                if (order != Order::kFast) continue;
                for (unsigned int threads : {1u, 2u}) {
                    SetNumThreads(threads);
                    kiv::RandSeed(11);
                    Outs again;
                    Eig(again[0], again[1], ToArray(a).get(), balance);
                    EXPECT_EQ(matrix_test::BitsOf(again[1]), matrix_test::BitsOf(dv[1])) << what;
                    EXPECT_EQ(matrix_test::BitsOf(FromSplitArray(again[1]).im.v),
                              matrix_test::BitsOf(FromSplitArray(dv[1]).im.v))
                        << what;
                }
                SetNumThreads(0);
            }
        }
    }
}

/// A's eigenvalues by dsyev, ascending.
std::vector<double> Dsyev(Dense a) {
    const int n = static_cast<int>(a.m);
    std::vector<double> w(a.m);
    WithWorkspace([&](double *work, const int *lwork, int *info) {
        dsyev_("N", "L", &n, a.v.data(), &n, w.data(), work, lwork, info, 1, 1);
    });
    return w;
}

// The fast order's symmetric solver: values ascending against dsyev (the
// one-output form the same bits), V'*V = I and A*V - V*D within n*eps*
// norm(A), each column's largest-magnitude entry (the first on ties)
// positive, the same bits on one thread and on two. Random B + B', a
// graded one, eye plus a tiny symmetric perturbation (a tight cluster),
// the identity, a matrix with a repeated eigenvalue, and [2 1; 1 2]; from
// 256 rows the rotations are shared between threads. The graded matrix of
// order 300 (entries down to 2^-598) makes QL give up, and takes the
// Jacobi method. From order 64 the vectors come by divide and conquer
// (orders 63, 64 and 65 straddle the switch; W+, glued W21+ and three
// distinct values among 150 deflate in its merges). The
// stated order keeps the general path (values in deflation order).
TEST(OrderEig, SymmetricFastPath) {
    std::mt19937_64 rng(Seed());
    std::vector<Dense> cases;
    for (std::size_t n : {1, 2, 3, 7, 40, 63, 64, 65, 129, 300}) {
        const Dense b = Random(n, n, rng);
        cases.push_back(Gemm('N', 'T', 1.0, Identity(n), b, 1.0, b));
        Dense graded = cases.back();
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) graded(i, j) *= std::ldexp(1.0, -int(i + j));
        }
        cases.push_back(graded);
        Dense near = Identity(n);
        for (std::size_t k = 0; k < near.v.size(); ++k) near.v[k] += 1e-13 * cases.back().v[k];
        cases.push_back(near);
        cases.push_back(Identity(n));
        // Q*diag(1, 1, ..., 1, 2)*Q' with Q a reflection: n - 1 equal values.
        const Dense v = Random(n, 1, rng);
        const double vv = Gemm('T', 'N', 1.0, v, v, 0.0, Dense(1, 1)).v[0];
        const Dense h = Gemm('N', 'T', -2.0 / vv, v, v, 1.0, Identity(n));
        Dense diag = Identity(n);
        diag(n - 1, n - 1) = 2.0;
        Dense repeated = Times(Times(h, diag), h);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < i; ++j) repeated(j, i) = repeated(i, j);
        }
        cases.push_back(repeated);
    }
    // Deflation in the merges of divide and conquer: Wilkinson's W+ of
    // order 101 (pairs of values equal to working precision), five copies
    // of W21+ glued by 1e-10 (clusters of five), and Q*diag*Q' with only
    // three distinct values among 150.
    {
        Dense w(101, 101);
        for (std::size_t i = 0; i < 101; ++i) {
            w(i, i) = std::fabs(50.0 - double(i));
            if (i + 1 < 101) w(i, i + 1) = w(i + 1, i) = 1.0;
        }
        cases.push_back(w);
        Dense glued(105, 105);
        for (std::size_t i = 0; i < 105; ++i) {
            glued(i, i) = std::fabs(10.0 - double(i % 21));
            if (i + 1 < 105) glued(i, i + 1) = glued(i + 1, i) = (i % 21 == 20) ? 1e-10 : 1.0;
        }
        cases.push_back(glued);
        const Dense v = Random(150, 1, rng);
        const double vv = Gemm('T', 'N', 1.0, v, v, 0.0, Dense(1, 1)).v[0];
        const Dense h = Gemm('N', 'T', -2.0 / vv, v, v, 1.0, Identity(150));
        Dense diag = Identity(150);
        for (std::size_t i = 0; i < 150; ++i) diag(i, i) = double(i % 3) - 1.0;
        Dense three = Times(Times(h, diag), h);
        for (std::size_t i = 0; i < 150; ++i) {
            for (std::size_t j = 0; j < i; ++j) three(j, i) = three(i, j);
        }
        cases.push_back(three);
    }
    const OrderScope scope(Order::kFast);
    for (const Dense &a : cases) {
        const std::size_t n = a.m;
        const std::string what = std::to_string(n) + " case " + std::to_string(&a - &cases[0]);
        Outs dv;
        Eig(dv[0], dv[1], ToArray(a).get(), true);
        ASSERT_FALSE(mxIsComplex(dv[0]));
        const Dense d = FromArray(dv[0]), x = FromArray(dv[1]);
        const std::vector<double> want = Dsyev(a);
        const double scale = std::max(Norm1(a), 1e-300);
        std::vector<double> diagonal(n);
        for (std::size_t k = 0; k < n; ++k) {
            diagonal[k] = d(k, k);
            EXPECT_NEAR(d(k, k), want[k], 4 * n * kEps * scale) << what;
            if (k > 0) {
                EXPECT_LE(d(k - 1, k - 1), d(k, k)) << what;
            }
            std::size_t big = 0;
            for (std::size_t i = 1; i < n; ++i) {
                if (std::fabs(x(i, k)) > std::fabs(x(big, k))) big = i;
            }
            EXPECT_GT(x(big, k), 0.0) << what << " column " << k;
        }
        // The values alone come from QL; with vectors from order 64 on,
        // from divide and conquer, which agrees to rounding.
        const std::vector<double> alone = Values(ArrayPtr(Eig(ToArray(a).get(), false)).get());
        if (n < 64) {
            EXPECT_EQ(matrix_test::BitsOf(alone), matrix_test::BitsOf(diagonal)) << what;
        } else {
            for (std::size_t k = 0; k < n; ++k) {
                EXPECT_NEAR(alone[k], diagonal[k], 4 * n * kEps * scale) << what;
            }
        }
        EXPECT_LE(Orthonormality(x), n * kEps * n) << what;
        const Dense res = Gemm('N', 'N', -1.0, x, d, 1.0, Times(a, x));
        EXPECT_LE(Norm1(res), n * kEps * scale * n) << what;
        for (unsigned int threads : {1u, 2u}) {
            SetNumThreads(threads);
            Outs again;
            Eig(again[0], again[1], ToArray(a).get(), false);
            EXPECT_EQ(matrix_test::BitsOf(again[1]), matrix_test::BitsOf(dv[1])) << what;
            EXPECT_EQ(matrix_test::BitsOf(again[0]), matrix_test::BitsOf(dv[0])) << what;
        }
        SetNumThreads(0);
    }
    // [2 1; 1 2]: 1 and 3 ascending, the vectors [1; -1] and [1; 1] over
    // sqrt(2) (ties of magnitude: the first entry is made positive).
    Outs two;
    Eig(two[0], two[1], Matrix(2, 2, {2, 1, 1, 2}).get(), true);
    const Dense d2 = FromArray(two[0]), v2 = FromArray(two[1]);
    EXPECT_NEAR(d2(0, 0), 1.0, 4 * kEps);
    EXPECT_NEAR(d2(1, 1), 3.0, 4 * kEps);
    const double h = std::sqrt(0.5);
    EXPECT_NEAR(v2(0, 0), h, 4 * kEps);
    EXPECT_NEAR(v2(1, 0), -h, 4 * kEps);
    EXPECT_NEAR(v2(0, 1), h, 4 * kEps);
    EXPECT_NEAR(v2(1, 1), h, 4 * kEps);
    Outs one;
    Eig(one[0], one[1], Matrix(1, 1, {-5}).get(), true);
    EXPECT_EQ(Values(one[0]), std::vector<double>{-5.0});
    EXPECT_EQ(Values(one[1]), std::vector<double>{1.0});
    // The checks come first, as in the stated order.
    Outs empty;
    Eig(empty[0], empty[1], Array({0, 0}).get(), true);
    EXPECT_EQ(Dims(empty[0]), (DimList{0, 0}));
    EXPECT_EQ(Dims(ArrayPtr(Eig(Array({0, 0}).get(), true)).get()), (DimList{0, 1}));
    const ArrayPtr wide = Matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const ArrayPtr cube = matrix_test::Filled({2, 2, 2}, {1, 0, 0, 1, 1, 0, 0, 1});
    EXPECT_THROW(ArrayPtr(Eig(wide.get(), true)), CMatrixMustBeSquareException);
    EXPECT_THROW(ArrayPtr(Eig(cube.get(), true)), COperationOnNDArrayNotDefinedException);
    Outs thrown;
    EXPECT_THROW(Eig(thrown[0], thrown[1], Matrix(2, 3, {1, 2, 3, 4, 5, 6}).get(), true),
                 CMatrixMustBeSquareException);
    EXPECT_EQ(thrown[0], nullptr);
    EXPECT_EQ(thrown[1], nullptr);
    const OrderScope stated(Order::kStated);
    EXPECT_EQ(Values(ArrayPtr(Eig(Matrix(2, 2, {2, 1, 1, 2}).get(), true)).get()),
              (std::vector<double>{3.0, 1.0}));
}

/// The bits of every output of the three functions in the calling thread's
/// current order; Eig's random starts are seeded first.
std::vector<std::vector<std::uint64_t>> Outputs(const Dense &square, const Dense &tall,
                                                const Dense &rhs) {
    std::vector<std::vector<std::uint64_t>> bits;
    Outs qr;
    Qr(qr[0], qr[1], qr[2], ToArray(tall).get(), false);
    for (int k = 0; k < 3; ++k) bits.push_back(matrix_test::BitsOf(qr[k]));
    bits.push_back(
        matrix_test::BitsOf(ArrayPtr(Mldivide(ToArray(tall).get(), ToArray(rhs).get())).get()));
    kiv::RandSeed(7);
    Outs dv;
    Eig(dv[0], dv[1], ToArray(square).get(), true);
    bits.push_back(matrix_test::BitsOf(dv[0]));
    bits.push_back(matrix_test::BitsOf(dv[1]));
    return bits;
}

// Each order gives the same bits on every run and on another thread, and
// switching back to the stated order gives its bits again: the fast order
// leaves no state behind.
TEST(OrderSetting, EachOrderIsReproducible) {
    std::mt19937_64 rng(Seed());
    const Dense square = RealSpectrum(40, rng)[0], tall = Random(90, 40, rng),
                rhs = Random(90, 2, rng);
    const auto stated = Outputs(square, tall, rhs);
    std::vector<std::vector<std::uint64_t>> fast, fastAgain, fastElsewhere;
    {
        const OrderScope scope(Order::kFast);
        fast = Outputs(square, tall, rhs);
        fastAgain = Outputs(square, tall, rhs);
    }
    std::thread([&] {
        SetOrder(Order::kFast);
        fastElsewhere = Outputs(square, tall, rhs);
    }).join();
    EXPECT_EQ(fastAgain, fast);
    EXPECT_EQ(fastElsewhere, fast);
    EXPECT_NE(fast[1], stated[1]);  // R: the orders really differ
    EXPECT_EQ(Outputs(square, tall, rhs), stated);
}

// The process default comes from RUL2MTRX_ORDER, and a new thread starts
// from it whatever the thread that started it had set (that SetOrder
// changes the calling thread only is checked by EachOrderIsReproducible).
// CTest runs this case once more for each value in the table of
// tests/linalg/CMakeLists.txt, naming the order it expects in
// MATRIX_TEST_EXPECTED_ORDER; without that name only an unset variable is
// checked.
TEST(OrderSetting, DefaultComesFromTheEnvironment) {
    const char *expected = std::getenv("MATRIX_TEST_EXPECTED_ORDER");
    if (expected == nullptr && std::getenv("RUL2MTRX_ORDER") != nullptr)
        GTEST_SKIP() << "RUL2MTRX_ORDER is set by the caller";
    const std::string want = expected != nullptr ? expected : "stated";
    const OrderScope other(want == "fast" ? Order::kStated : Order::kFast);
    Order seen = GetOrder();
    std::thread([&] { seen = GetOrder(); }).join();
    EXPECT_EQ(Name(seen), want);
}

}  // namespace
