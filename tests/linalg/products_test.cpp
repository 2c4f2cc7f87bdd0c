// tests/linalg/products_test.cpp: Trace, Dot and Cross on known values and in
// their stated order, Inv and Pinv against Mldivide and the Penrose
// conditions, Mpower on closed forms and in its stated order, and the
// refusals of all six.
#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "linalg/linalg_test_util.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using matrix_test::Col;
using matrix_test::Expected;
using matrix_test::Row;
using matrix_test::SameArray;

TEST(Products, TraceDotAndCrossInTheirOrder) {
    // 1e16 + 1 rounds back to 1e16, so only the stated order gives 0.
    EXPECT_EQ(Trace(Matrix(2, 2, {1, 3, 2, 4}).get()), 5.0);
    EXPECT_EQ(Trace(Array({0, 0}).get()), 0.0);
    const ArrayPtr big = Matrix(3, 3, {1e16, 0, 0, 0, 1, 0, 0, 0, -1e16});
    EXPECT_EQ(Trace(big.get()), 0.0);
    const ArrayPtr ones = Row({1, 1, 1}), ordered = Col({1e16, 1, -1e16});
    EXPECT_EQ(Values(ArrayPtr(Dot(ordered.get(), ones.get())).get()), std::vector<double>({0}));
    const ArrayPtr columns(Dot(Matrix(2, 2, {1, 2, 3, 4}).get(), Matrix(2, 2, {5, 6, 7, 8}).get()));
    EXPECT_EQ(Dims(columns.get()), DimList({1, 2}));
    EXPECT_EQ(Values(columns.get()), std::vector<double>({17, 53}));
    EXPECT_EQ(Values(ArrayPtr(Dot(Array({0, 0}).get(), Array({0, 0}).get())).get()),
              std::vector<double>({0}));
    const ArrayPtr z(Cross(Row({1, 0, 0}).get(), Row({0, 1, 0}).get()));
    EXPECT_TRUE(Dims(z.get()) == DimList({1, 3}) &&
                Values(z.get()) == std::vector<double>({0, 0, 1}));
    const ArrayPtr c(Cross(Col({1, 2, 3}).get(), Col({4, 5, 6}).get()));
    EXPECT_TRUE(Dims(c.get()) == DimList({3, 1}) &&
                Values(c.get()) == std::vector<double>({-3, 6, -3}));
}

// Complex and single operands: the product part by part in its stated
// order (each part one sum continued by the second), a real operand's part
// through the real product bit for bit, single with double in single, char
// as double, an all-zero imaginary result made real; Trace, Dot (its first
// operand conjugated) and Cross on known values.
TEST(Products, ComplexAndSingleInTheirOrder) {
    using matrix_test::AnyValues;
    using matrix_test::Complex;
    using matrix_test::ValueList;
    // Re = ((0 + 1e16*1) + 1*1) - 1e16*1 - 0*0 = 0 only in the stated order.
    const ArrayPtr a = Complex(1, 2, {1e16, 1}, {1e16, 0}), b = Complex(2, 1, {1, 1}, {1, 0});
    const ArrayPtr ab(Mtimes(a.get(), b.get()));
    EXPECT_EQ(AnyValues(ab.get()), ValueList{0});
    EXPECT_EQ(AnyValues(ab.get(), true), ValueList{2e16});
    EXPECT_FALSE(ArrayPtr(Mtimes(Complex(1, 2, {0, 1}, {1, 0}).get(),
                                 Complex(2, 1, {0, 1}, {1, 0}).get()))
                     ->IsComplex());  // i*i + 1*1
    std::mt19937_64 rng(Seed());
    const ArrayPtr z = Complex(7, 5, Random(7, 5, rng).v, Random(7, 5, rng).v);
    const ArrayPtr r = ToArray(Random(5, 4, rng)), re(Real(z.get())), im(Imag(z.get()));
    const ArrayPtr zr(Mtimes(z.get(), r.get()));
    EXPECT_EQ(AnyValues(zr.get()), AnyValues(ArrayPtr(Mtimes(re.get(), r.get())).get()));
    EXPECT_EQ(AnyValues(zr.get(), true), AnyValues(ArrayPtr(Mtimes(im.get(), r.get())).get()));
    const ArrayPtr zs(Single(z.get()));
    const ArrayPtr mixed(Mtimes(zs.get(), r.get())), single(Mtimes(zs.get(), ArrayPtr(Single(r.get())).get()));
    EXPECT_EQ(mixed->GetClassID(), mxClassSingle);
    EXPECT_EQ(AnyValues(mixed.get()), AnyValues(single.get()));
    EXPECT_EQ(AnyValues(mixed.get(), true), AnyValues(single.get(), true));
    const ArrayPtr text(mxCreateString("ab"));
    EXPECT_EQ(AnyValues(ArrayPtr(Mtimes(text.get(), Col({1, 2}).get())).get()), ValueList{293});
    // Trace, Dot and Cross.
    const ArrayPtr t(TraceArray(ArrayPtr(Single(Complex(2, 2, {1, 0, 0, 2}, {1, 0, 0, -3}).get())).get()));
    EXPECT_EQ(t->GetClassID(), mxClassSingle);
    EXPECT_EQ(AnyValues(t.get()), ValueList{3});
    EXPECT_EQ(AnyValues(t.get(), true), ValueList{-2});
    const ArrayPtr d(Dot(Complex(1, 2, {1, 3}, {2, 0}).get(), Complex(1, 2, {4, 0}, {0, 5}).get()));
    EXPECT_EQ(AnyValues(d.get()), ValueList{4});
    EXPECT_EQ(AnyValues(d.get(), true), ValueList{7});
    const ArrayPtr x(Cross(Complex(1, 3, {0, 0, 0}, {1, 0, 0}).get(), Row({0, 1, 0}).get()));
    EXPECT_EQ(AnyValues(x.get()), (ValueList{0, 0, 0}));
    EXPECT_EQ(AnyValues(x.get(), true), (ValueList{0, 0, 1}));
}

// Inv is Mldivide(A, I) bit for bit, singular matrices included, and a
// true inverse of a well-conditioned matrix.
TEST(Inv, IsTheSquareSolveAgainstTheIdentity) {
    std::mt19937_64 rng(Seed());
    for (std::size_t n : {1, 2, 3, 5, 10, 50}) {
        Dense a = Random(n, n, rng);
        for (std::size_t i = 0; i < n; ++i) a(i, i) += double(n);  // diagonally dominant
        const ArrayPtr A = ToArray(a), I(Eye(unsigned(n))), X(Inv(A.get()));
        EXPECT_TRUE(SameArray(X.get(), ArrayPtr(Mldivide(A.get(), I.get())).get()));
        Dense r = Times(a, FromArray(X.get()));
        for (std::size_t i = 0; i < n; ++i) r(i, i) -= 1.0;
        EXPECT_LT(Norm1(r) / (n * Norm1(a) * kEps), 30.0) << n;
    }
    const ArrayPtr singular = Matrix(2, 2, {1, 2, 2, 4}), I2(Eye(2));
    EXPECT_TRUE(SameArray(ArrayPtr(Inv(singular.get())).get(),
                          ArrayPtr(Mldivide(singular.get(), I2.get())).get()));
    EXPECT_EQ(Dims(ArrayPtr(Inv(Array({0, 0}).get())).get()), DimList({0, 0}));
}

// ||P - Q||_1 / (scale * ||Q||_1 * eps), with a floor for a zero Q.
double Scaled(const Dense &p, const Dense &q, double scale) {
    Dense d = p;
    for (std::size_t i = 0; i < d.v.size(); ++i) d.v[i] -= q.v[i];
    return Norm1(d) / (scale * std::max(Norm1(q), 1.0) * kEps);
}

// The four Penrose conditions, on full-rank and rank-deficient matrices of
// every orientation.
TEST(Pinv, SatisfiesThePenroseConditions) {
    std::mt19937_64 rng(Seed());
    const struct {
        std::size_t m, n, rank;
    } cases[] = {{1, 1, 1},   {5, 3, 3},  {3, 5, 3}, {10, 10, 10},
                 {10, 10, 4}, {12, 7, 2}, {7, 12, 5}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.m << 'x' << c.n << " rank " << c.rank);
        const Dense a = Times(Random(c.m, c.rank, rng), Random(c.rank, c.n, rng));
        const ArrayPtr X(Pinv(ToArray(a).get()));
        ASSERT_EQ(Dims(X.get()), DimList({unsigned(c.n), unsigned(c.m)}));
        const Dense x = FromArray(X.get()), ax = Times(a, x), xa = Times(x, a);
        const double scale = double(std::max(c.m, c.n)) * Norm1(a) * Norm1(x);
        EXPECT_LT(Scaled(Times(ax, a), a, scale), 30.0);
        EXPECT_LT(Scaled(Times(xa, x), x, scale), 30.0);
        EXPECT_LT(Scaled(Gemm('T', 'N', 1.0, ax, Identity(c.m), 0.0, Dense(c.m, c.m)), ax, scale),
                  30.0);
        EXPECT_LT(Scaled(Gemm('T', 'N', 1.0, xa, Identity(c.n), 0.0, Dense(c.n, c.n)), xa, scale),
                  30.0);
    }
    const ArrayPtr zero(Pinv(Matrix(2, 3, {0, 0, 0, 0, 0, 0}).get()));
    EXPECT_TRUE(Dims(zero.get()) == DimList({3, 2}) &&
                Values(zero.get()) == std::vector<double>(6, 0.0));
    EXPECT_EQ(Dims(ArrayPtr(Pinv(Array({0, 4}).get())).get()), DimList({4, 0}));
}

// Closed forms: the shear [1 1; 0 1]^p = [1 p; 0 1], its inverse included;
// [1 1; 1 0]^70 = [F71 F70; F70 F69] of the Fibonacci numbers, exact as
// every product and sum stays below 2^53; rotations R(t)^p = R(p*t).
TEST(Mpower, WholePowersOfSquareMatrices) {
    const ArrayPtr shear = Matrix(2, 2, {1, 0, 1, 1});
    for (const double p : {0.0, -0.0, 1.0, 2.0, 5.0, 13.0, 100.0, -1.0, -3.0, -64.0}) {
        const ArrayPtr P(Mpower(shear.get(), Row({p}).get()));
        EXPECT_EQ(Values(P.get()), std::vector<double>({1, 0, p, 1})) << p;
    }
    const ArrayPtr fibonacci(Mpower(Matrix(2, 2, {1, 1, 1, 0}).get(), Row({70}).get()));
    EXPECT_EQ(Values(fibonacci.get()), std::vector<double>({308061521170129, 190392490709135,
                                                            190392490709135, 117669030460994}));
    const double t = 0.3;
    const ArrayPtr rotation = Matrix(2, 2, {std::cos(t), std::sin(t), -std::sin(t), std::cos(t)});
    for (const double p : {7.0, -5.0, 33.0}) {
        const std::vector<double> r =
            Values(ArrayPtr(Mpower(rotation.get(), Row({p}).get())).get());
        const std::vector<double> exact = {std::cos(p * t), std::sin(p * t), -std::sin(p * t),
                                           std::cos(p * t)};
        for (int k = 0; k < 4; ++k)
            EXPECT_LT(std::fabs(r[k] - exact[k]) / kEps, 30.0 * std::fabs(p));
    }
    // The identity for p = 0, the empty matrix stays empty.
    EXPECT_TRUE(SameArray(
        ArrayPtr(Mpower(Matrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10}).get(), Row({0}).get())).get(),
        ArrayPtr(Eye(3)).get()));
    EXPECT_EQ(Dims(ArrayPtr(Mpower(Array({0, 0}).get(), Row({5}).get())).get()), DimList({0, 0}));
    EXPECT_EQ(Dims(ArrayPtr(Mpower(Array({0, 0}).get(), Row({-2}).get())).get()), DimList({0, 0}));
}

// The stated order: squares of X between the bits of |p|, lowest bit first,
// R multiplied on the right; X = Inv(A) for a negative p.
TEST(Mpower, MultipliesInTheStatedOrder) {
    std::mt19937_64 rng(Seed());
    Dense a = Random(5, 5, rng);
    for (std::size_t i = 0; i < 5; ++i) a(i, i) += 5.0;
    const ArrayPtr A = ToArray(a);
    const auto mul = [](const ArrayPtr &x, const ArrayPtr &y) {
        return ArrayPtr(Mtimes(x.get(), y.get()));
    };
    const ArrayPtr X2 = mul(A, A), X4 = mul(X2, X2), X8 = mul(X4, X4);
    // 11 = 1 + 2 + 8, 6 = 2 + 4.
    EXPECT_TRUE(
        SameArray(ArrayPtr(Mpower(A.get(), Row({11}).get())).get(), mul(mul(A, X2), X8).get()));
    EXPECT_TRUE(SameArray(ArrayPtr(Mpower(A.get(), Row({6}).get())).get(), mul(X2, X4).get()));
    const ArrayPtr V(Inv(A.get())), V2 = mul(V, V);
    EXPECT_TRUE(SameArray(ArrayPtr(Mpower(A.get(), Row({-3}).get())).get(), mul(V, V2).get()));
    EXPECT_TRUE(SameArray(ArrayPtr(Mpower(A.get(), Row({1}).get())).get(), A.get()));
    // Two scalars are Power's.
    for (const auto &[x, y] : {std::pair{2.0, 10.0}, {-8.0, 1.0 / 3}, {0.0, -1.0}, {1.5, 0.5}}) {
        EXPECT_TRUE(SameArray(ArrayPtr(Mpower(Row({x}).get(), Row({y}).get())).get(),
                              ArrayPtr(Power(Row({x}).get(), Row({y}).get())).get()));
    }
}

// A one-element operand of another class makes * and / element-wise, in the
// class the element-wise engine gives; two matrices stay real double only.
TEST(Products, ScalarsOfOtherClassesActElementwise) {
    using matrix_test::AnyValues;
    using matrix_test::TypedRow;
    using matrix_test::ValueList;
    const ArrayPtr ints = TypedRow(mxClassInt32, {7, -7, 2147483647}), two = Row({2});
    const ArrayPtr product(Mtimes(ints.get(), two.get()));
    EXPECT_EQ(product->GetClassID(), mxClassInt32);
    EXPECT_EQ(AnyValues(product.get()), (ValueList{14, -14, 2147483647}));  // saturated
    double rcond = 0;
    const ArrayPtr quotient(Mrdivide(ints.get(), two.get(), rcond));
    EXPECT_EQ(AnyValues(quotient.get()), (ValueList{4, -4, 1073741824}));  // halves away from 0
    EXPECT_TRUE(std::isnan(rcond));
    const ArrayPtr half = TypedRow(mxClassSingle, {0.5});
    const ArrayPtr scaled(Mtimes(Row({1, 3}).get(), half.get()));
    EXPECT_EQ(scaled->GetClassID(), mxClassSingle);
    EXPECT_EQ(AnyValues(scaled.get()), (ValueList{0.5, 1.5}));
    EXPECT_THROW(ArrayPtr(Mtimes(ints.get(), TypedRow(mxClassInt32, {1, 2, 3}, {}, true).get())),
                 CFunctionErrorException);
}

TEST(Products, Refusals) {
    const Expected nd = Expected::Throws<COperationOnNDArrayNotDefinedException>();
    const Expected square = Expected::Throws<CMatrixMustBeSquareException>();
    const Expected agree = Expected::Throws<CMatrixDimsMustAgreeException>();
    const Expected length3 = Expected::Throws(CFunctionErrorException(
        L"A and B must be of length 3 in the dimension in which the cross product is taken"));
    std::vector<ArrayPtr> others = matrix_test::NonRealDoubleOperands();
    ArrayPtr cube = matrix_test::Counted({2, 2, 2}), wide = matrix_test::Counted({2, 3});
    ArrayPtr r3 = Row({1, 2, 3}), c3 = Col({1, 2, 3}), r4 = Row({1, 2, 3, 4});
    const CMatrix *k = cube.get(), *w = wide.get(), *r = r3.get(), *c = c3.get(), *f = r4.get();
    std::vector<matrix_test::Refusal> t = {
        {"trace nd", [k] { Trace(k); }, nd, {k}},
        {"trace square", [w] { Trace(w); }, square, {w}},
        {"dot nd", [k, w] { ArrayPtr(Dot(w, k)); }, nd, {k, w}},
        {"dot shapes", [w, r] { ArrayPtr(Dot(w, r)); }, agree, {w, r}},
        {"dot lengths", [f, r] { ArrayPtr(Dot(f, r)); }, agree, {f, r}},
        {"cross row and column", [r, c] { ArrayPtr(Cross(r, c)); }, length3, {r, c}},
        {"cross four", [f] { ArrayPtr(Cross(f, f)); }, length3, {f}},
        {"inv nd", [k] { ArrayPtr(Inv(k)); }, nd, {k}},
        {"inv square", [w] { ArrayPtr(Inv(w)); }, square, {w}},
        {"pinv nd", [k] { ArrayPtr(Pinv(k)); }, nd, {k}}};
    ArrayPtr two = Row({2}), half = Row({2.5});
    ArrayPtr m2 = Matrix(2, 2, {1, 2, 3, 4});
    const CMatrix *s2 = two.get(), *m = m2.get();
    const Expected matrixExponent = Expected::Throws(CFunctionErrorException(
        L"Mpower: the exponent must be a scalar; a matrix exponent is not supported"));
    t.push_back(
        {"mpower scalar to a wide matrix", [=] { ArrayPtr(Mpower(s2, w)); }, square, {s2, w}});
    t.push_back(
        {"mpower matrix to a matrix", [=] { ArrayPtr(Mpower(m, m)); }, matrixExponent, {m}});
    t.push_back(
        {"mpower matrix exponent first", [=] { ArrayPtr(Mpower(w, m)); }, matrixExponent, {w, m}});
    t.push_back({"mpower nd", [=] { ArrayPtr(Mpower(k, s2)); }, nd, {k, s2}});
    t.push_back({"mpower square", [=] { ArrayPtr(Mpower(w, s2)); }, square, {w, s2}});
    const CMatrix *h = half.get();
    t.push_back({"mpower square, fractional", [=] { ArrayPtr(Mpower(w, h)); }, square, {w, h}});
    for (const ArrayPtr &other : others) {
        const CMatrix *o = other.get();
        if (o->GetNoDimensions() > 2) continue;
        // Complex, single and char compute; integers are refused by name.
        const mxClassID id = o->GetClassID();
        const bool integer = id >= mxClassInt8 && id <= mxClassUint64;
        auto refusal = [integer](const wchar_t *fn) {
            if (!integer) return matrix_test::NotImplemented();
            return Expected::Throws(CFunctionErrorException(
                (std::wstring(fn) + L": integer matrices have no matrix arithmetic; convert "
                                    L"them with double or single")
                    .c_str()));
        };
        if (integer || o->IsCell()) {
            t.push_back({"trace", [o] { Trace(o); }, refusal(L"Trace"), {o}});
            t.push_back({"dot", [o, r] { ArrayPtr(Dot(r, o)); }, refusal(L"Dot"), {o, r}});
            t.push_back({"cross", [o, r] { ArrayPtr(Cross(o, r)); }, refusal(L"Cross"), {o, r}});
            t.push_back({"inv", [o] { ArrayPtr(Inv(o)); }, refusal(L"Inv"), {o}});
        }
        if (!o->IsDouble() && !o->IsSingle()) {  // complex and single are taken
            t.push_back({"pinv", [o] { ArrayPtr(Pinv(o)); }, matrix_test::NotImplemented(), {o}});
        }
        // Complex, single, char and logical powers compute: only the shapes
        // are refused; integers by name, the rest as not implemented.
        const bool numeric = !integer && (o->IsDouble() || o->IsSingle() || o->IsChar() ||
                                          o->IsLogical());
        const bool scalar = o->GetNoElems() == 1;
        const Expected power = integer    ? refusal(L"Mpower")
                               : !numeric ? matrix_test::NotImplemented()
                               : scalar   ? square
                                          : matrixExponent;
        t.push_back({"mpower", [o, c] { ArrayPtr(Mpower(o, c)); }, power, {o}});
        t.push_back({"mpower", [o, c] { ArrayPtr(Mpower(c, o)); }, power, {o}});
    }
    matrix_test::ExpectRefusals(t);
}

}  // namespace
