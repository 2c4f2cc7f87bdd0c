// tests/linalg/errors_test.cpp: every refusal and every allocation failure of the linear algebra.
#include <matrix/matrix.h>

#include <algorithm>
#include <utility>
#include <functional>
#include <string>

#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array
using matrix_test::Expected;

using A = const CMatrix *;
/// One function called on one or two arguments (b null for one); a result
/// is destroyed.
struct Fn {
    std::string name;
    std::function<void(A, A)> call;
};

/// A form with N outputs, preset to a sentinel array made beforehand: a
/// throw must leave them null, a success has them destroyed.
template <std::size_t N, typename Form>
Fn Outputs(const std::string &name, Form form) {
    static const ArrayPtr sentinel(Scalar(1.0));
    return {name, [name, form](A a, A) {
                Outs o;
                std::fill_n(o.o, N, sentinel.get());
                try {
                    form(o, a);
                } catch (...) {
                    for (CMatrix *&x : o.o) EXPECT_EQ(std::exchange(x, nullptr), nullptr) << name;
                    throw;
                }
            }};
}

const Fn kMtimes{"Mtimes", [](A a, A b) { ArrayPtr(Mtimes(a, b)); }};
const Fn kMldivide{"Mldivide", [](A a, A b) { ArrayPtr(Mldivide(a, b)); }};
const Fn kMrdivide{"Mrdivide", [](A a, A b) { ArrayPtr(Mrdivide(a, b)); }};
const Fn kLu = Outputs<3>("Lu", [](Outs &o, A a) { Lu(o[0], o[1], o[2], a); });
const Fn kLu2 = Outputs<2>("Lu2", [](Outs &o, A a) { Lu(o[0], o[1], a); });
const Fn kDet{"Det", [](A a, A) { Det(a); }};
// The form with ok leaves ok true when it throws.
const Fn kChol{"Chol", [](A a, A) {
                   bool ok = true;
                   try {
                       ArrayPtr(Chol(a, ok));
                   } catch (...) {
                       EXPECT_TRUE(ok);
                       throw;
                   }
               }};
const Fn kCholThrowing{"Chol throwing", [](A a, A) { ArrayPtr(Chol(a)); }};
const Fn kQr = Outputs<3>("Qr", [](Outs &o, A a) { Qr(o[0], o[1], o[2], a, false); });
const Fn kQrEconomy = Outputs<3>("Qr economy", [](Outs &o, A a) { Qr(o[0], o[1], o[2], a, true); });
const Fn kQr2 = Outputs<2>("Qr2", [](Outs &o, A a) { Qr(o[0], o[1], a, false); });
const Fn kQr2Economy = Outputs<2>("Qr2 economy", [](Outs &o, A a) { Qr(o[0], o[1], a, true); });
const Fn kSvdEconomy =
    Outputs<3>("Svd economy", [](Outs &o, A a) { Svd(o[0], o[1], o[2], a, true); });
const Fn kSvdValues{"Svd values", [](A a, A) { ArrayPtr(Svd(a, false)); }};
const Fn kRank{"Rank", [](A a, A) { Rank(a, 0.5); }};
const Fn kNorm2{"Norm 2", [](A a, A) { Norm(a, 2.0); }};
const Fn kNormFro{"NormFro", [](A a, A) { NormFro(a); }};
const Fn kEig = Outputs<2>("Eig", [](Outs &o, A a) { Eig(o[0], o[1], a, true); });
const Fn kEigValues{"Eig values", [](A a, A) { ArrayPtr(Eig(a, false)); }};
const Fn kPlanerot = Outputs<2>("Planerot", [](Outs &o, A a) { Planerot(o[0], o[1], a); });
const Fn kPlanerotOne{"Planerot one output", [](A a, A) { ArrayPtr(Planerot(a)); }};

/// Keeps the arrays of a test alive and hands out plain pointers.
struct Arrays {
    std::vector<ArrayPtr> owned;
    A operator()(ArrayPtr a) {
        owned.push_back(std::move(a));
        return owned.back().get();
    }
};

// Each function's checks in their order: each case fails one check and
// passes the ones before it.
TEST(Linalg, RefusesBadArguments) {
    Arrays keep;
    auto sg = [&](const DimList &d) { return keep(Array(d, mxClassSingle)); };
    auto cx = [&](const DimList &d) { return keep(Array(d, mxClassDouble, mxComplexityComplex)); };
    A d22 = keep(Matrix(2, 2, {1, 2, 3, 4})), scalar = keep(Matrix(1, 1, {2}));
    A eye3 = keep(Matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1})), row3 = keep(Matrix(1, 3, {1, 2, 3}));
    A col3 = keep(Matrix(3, 1, {1, 2, 3})), wide = keep(Matrix(2, 3, {1, 2, 3, 4, 5, 6}));
    A m45 = keep(Array({4, 5})), m34 = keep(Array({3, 4})), b21 = keep(Array({2, 1}));
    A e00 = keep(Array({0, 0})), e03 = keep(Array({0, 3})), e02 = keep(Array({0, 2}));
    A nd = keep(Array({2, 2, 2})), eNd = keep(Array({0, 2, 2})), e002 = keep(Array({0, 0, 2}));
    A s22 = sg({2, 2}), s23 = sg({2, 3}), s21 = sg({2, 1}), s31 = sg({3, 1});
    A s02 = sg({0, 2}), sNd = sg({2, 2, 2}), i8Nd = keep(Array({2, 2, 2}, mxClassInt8));
    A i32 = keep(Array({1, 1}, mxClassInt32)), cell22 = keep(Array({2, 2}, mxClassCell));
    A cell21 = keep(Array({2, 1}, mxClassCell)), c22 = cx({2, 2}), c33 = cx({3, 3});
    A c11 = cx({1, 1}), c21 = cx({2, 1}), cNd = cx({2, 2, 2});
    A indefinite = keep(Matrix(2, 2, {4, -7, 100, 3}));
    A i22 = keep(Array({2, 2}, mxClassInt32));

    const Expected no = matrix_test::NotImplemented();
    const Expected ndim = Expected::Throws<COperationOnNDArrayNotDefinedException>();
    const Expected sq = Expected::Throws<CMatrixMustBeSquareException>();
    const Expected dims = Expected::Throws<CMatrixDimsMustAgreeException>();
    const Expected onClass = Expected::Throws(COperationNotDefinedOnClassException(s22));
    auto integers = [](const wchar_t *fn) {
        return Expected::Throws(CFunctionErrorException(
            (std::wstring(fn) +
             L": integer matrices have no matrix arithmetic; convert them with double or single")
                .c_str()));
    };
    const Expected transposeNd = Expected::Throws<CTransposeOnNDArrayNotDefinedException>();
    const Expected two =
        Expected::Throws(CFunctionErrorException(L"Matrix must be a column of two elements"));
    struct Case {
        A a, b;
        Expected expected;
    };
    auto C = [](A a, auto... rest) {
        if constexpr (sizeof...(rest) == 1) {
            return Case{a, nullptr, rest...};
        } else {
            return Case{a, rest...};
        }
    };
    const std::vector<std::pair<Fn, std::vector<Case>>> table = {
        // The classes of both operands, then N-d, then the inner dimensions
        // (a scalar of another class multiplies element-wise instead).
        {kMtimes,
         {C(i22, d22, integers(L"Mtimes")), C(cell22, d22, no), C(i8Nd, d22, integers(L"Mtimes")),
          C(s22, nd, ndim), C(m34, nd, ndim),
          C(wide, m45, Expected::Throws<CInnerMatrixDimsMustAgreeException>())}},
        // A scalar A hands B to the element-wise division; N-d of either
        // operand, then the classes, then the rows.
        {kMldivide,
         {C(scalar, cell21, no), C(sNd, b21, ndim), C(eye3, sNd, ndim), C(cell22, b21, no),
          C(i22, b21, integers(L"Mldivide")), C(c33, b21, dims), C(eye3, b21, dims),
          C(eye3, e00, dims)}},
        // The classes first (before any transpose), then the transposes'
        // N-d test, then Mldivide's rows.
        {kMrdivide,
         {C(d22, cell22, no), C(i22, d22, integers(L"Mrdivide")), C(sNd, d22, transposeNd),
          C(nd, scalar, Expected::Throws<CTransposeOnNDArrayNotDefinedException>()),
          C(d22, row3, dims), C(scalar, row3, dims)}},
        // Lu: N-d, then the class, then the shape; Det the same, an
        // imaginary part allowed.
        {kLu,
         {C(sNd, ndim), C(i22, integers(L"Lu")), C(cell22, no), C(s23, sq), C(wide, sq)}},
        {kLu2, {C(wide, sq)}},
        {kDet,
         {C(sNd, ndim), C(i22, integers(L"Det")), C(e03, sq), C(wide, sq),
          C(c22, Expected::Throws(CFunctionErrorException(
                     L"Det: the determinant of a complex matrix is complex; use DetArray")))}},
        // The shape (N-d included), then the class (double and single taken,
        // complex too).
        {kChol,
         {C(wide, sq), C(nd, sq), C(s23, sq), C(cNd, sq), C(i32, onClass), C(cell22, onClass)}},
        {kCholThrowing,
         {C(indefinite,
            Expected::Throws(CFunctionErrorException(L"Matrix must be positive definite")))}},
        // Economy size first, then N-d, then other classes and complex.
        {kQrEconomy, {C(d22, no), C(sNd, no)}},
        {kQr2Economy, {C(d22, no), C(sNd, no)}},
        {kQr, {C(eNd, ndim), C(i32, no), C(cell22, no)}},
        {kQr2, {C(eNd, ndim), C(i32, no)}},
        // N-d first (empty too), then classes other than double and single.
        {kSvdEconomy, {C(sNd, ndim), C(eNd, ndim), C(cell21, no), C(i32, no)}},
        {kSvdValues, {C(sNd, ndim)}},
        {kRank, {C(sNd, ndim), C(cell21, no), C(i32, no)}},
        {kNorm2, {C(eNd, ndim), C(i8Nd, ndim), C(i32, no)}},
        {kNormFro, {C(eNd, ndim), C(i8Nd, ndim), C(i32, no)}},
        // N-d first (0 x 0 x 2 too), other classes, then the shape.
        {kEig,
         {C(sNd, ndim), C(e002, ndim), C(i32, no), C(wide, sq), C(e03, sq), C(s23, sq)}},
        {kEigValues, {C(wide, sq)}},
        // The count first, then the class and the imaginary part.
        {kPlanerot,
         {C(col3, two), C(e02, two), C(s31, two), C(c11, two), C(s21, no), C(cell21, no),
          C(c21, no)}},
        {kPlanerotOne, {C(col3, two)}},
    };
    std::vector<matrix_test::Refusal> rows;
    for (const auto &entry : table) {
        const Fn &fn = entry.first;
        for (std::size_t k = 0; k < entry.second.size(); ++k) {
            const Case &c = entry.second[k];
            rows.push_back({fn.name + " case " + std::to_string(k), [&fn, c] { fn.call(c.a, c.b); },
                            c.expected, c.b ? std::vector<A>{c.a, c.b} : std::vector<A>{c.a}});
        }
    }
    // A matrix p other than 1, 2 and +Inf.
    for (double p : {0.0, -kInf, 3.0, 0.5, -1.0, -2.0, kNaN}) {
        rows.push_back({"Norm p = " + std::to_string(p),
                        [=] { Norm(wide, p); },
                        Expected::Throws(CFunctionErrorException(
                            L"The only matrix norms available are 1, 2, inf and fro")),
                        {wide}});
    }
    matrix_test::ExpectRefusals(rows);
    // A scalar over a single column divides element-wise, in single.
    std::fill_n(static_cast<float *>(s21->GetPr()), 2, 3.0f);
    const ArrayPtr quotient(Mldivide(scalar, s21));
    EXPECT_TRUE(quotient->IsSingle() && Dims(quotient.get()) == (DimList{2, 1}));
    EXPECT_EQ(static_cast<const float *>(quotient->GetPr())[1], 1.5f);
    // An empty operand has rank 0 before any check.
    EXPECT_EQ(Rank(eNd), 0u);
    EXPECT_EQ(Rank(s02, 1.0), 0u);
}

}  // namespace
