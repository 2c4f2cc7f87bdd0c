// tests/linalg/errors_test.cpp: every refusal and every allocation failure of the linear algebra.
#include <matrix/matrix.h>

#include <array>
#include <functional>
#include <string>
#include <tuple>

#include "linalg/linalg_test_util.h"

namespace {

using namespace kiv::matrix;
using namespace linalg_test;
using matrix_test::Expected;

/// A call of one function and the arguments it must leave as they were.
struct Op {
    std::function<void()> call;
    std::vector<const CMatrix *> args;
};

/// A form with N outputs, preset to a sentinel array made beforehand: a
/// throw must leave them null, a success has them destroyed.
template <std::size_t N, typename Form>
Op Outputs(const CMatrix *a, Form form) {
    static const ArrayPtr sentinel(Scalar(1.0));
    return {[a, form] {
                std::array<CMatrix *, N> out;
                out.fill(sentinel.get());
                try {
                    form(out.data(), a);
                } catch (...) {
                    for (CMatrix *o : out) EXPECT_EQ(o, nullptr) << "an output was not reset";
                    throw;
                }
                for (CMatrix *o : out) mxDestroyArray(o);
            },
            {a}};
}

Op MtimesOp(const CMatrix *a, const CMatrix *b) {
    return {[=] { ArrayPtr(Mtimes(a, b)); }, {a, b}};
}
Op MldivideOp(const CMatrix *a, const CMatrix *b) {
    return {[=] { ArrayPtr(Mldivide(a, b)); }, {a, b}};
}
Op MrdivideOp(const CMatrix *a, const CMatrix *b) {
    return {[=] { ArrayPtr(Mrdivide(a, b)); }, {a, b}};
}
Op LuOp(const CMatrix *a) {
    return Outputs<3>(a, [](CMatrix **o, const CMatrix *x) { Lu(o[0], o[1], o[2], x); });
}
Op Lu2Op(const CMatrix *a) {
    return Outputs<2>(a, [](CMatrix **o, const CMatrix *x) { Lu(o[0], o[1], x); });
}
Op DetOp(const CMatrix *a) {
    return {[=] { Det(a); }, {a}};
}
// The form with ok leaves ok true when it throws.
Op CholOp(const CMatrix *a) {
    return {[=] {
                bool ok = true;
                try {
                    ArrayPtr(Chol(a, ok));
                } catch (...) {
                    EXPECT_TRUE(ok);
                    throw;
                }
            },
            {a}};
}
Op CholThrowingOp(const CMatrix *a) {
    return {[=] { ArrayPtr(Chol(a)); }, {a}};
}
Op QrOp(const CMatrix *a, bool economy) {
    return Outputs<3>(a, [=](CMatrix **o, const CMatrix *x) { Qr(o[0], o[1], o[2], x, economy); });
}
Op Qr2Op(const CMatrix *a, bool economy) {
    return Outputs<2>(a, [=](CMatrix **o, const CMatrix *x) { Qr(o[0], o[1], x, economy); });
}
Op SvdOp(const CMatrix *a, bool economy) {
    return Outputs<3>(a, [=](CMatrix **o, const CMatrix *x) { Svd(o[0], o[1], o[2], x, economy); });
}
Op SvdValuesOp(const CMatrix *a) {
    return {[=] { ArrayPtr(Svd(a, false)); }, {a}};
}
Op RankOp(const CMatrix *a) {
    return {[=] { Rank(a, 0.5); }, {a}};
}
Op NormOp(const CMatrix *a, double p) {
    return {[=] { Norm(a, p); }, {a}};
}
Op NormFroOp(const CMatrix *a) {
    return {[=] { NormFro(a); }, {a}};
}
Op EigOp(const CMatrix *a) {
    return Outputs<2>(a, [](CMatrix **o, const CMatrix *x) { Eig(o[0], o[1], x, true); });
}
Op EigValuesOp(const CMatrix *a) {
    return {[=] { ArrayPtr(Eig(a, false)); }, {a}};
}
Op PlanerotOp(const CMatrix *a) {
    return Outputs<2>(a, [](CMatrix **o, const CMatrix *x) { Planerot(o[0], o[1], x); });
}
Op PlanerotOneOp(const CMatrix *a) {
    return {[=] { ArrayPtr(Planerot(a)); }, {a}};
}

/// Keeps the arrays of a test alive and hands out plain pointers.
struct Arrays {
    std::vector<ArrayPtr> owned;
    const CMatrix *operator()(ArrayPtr a) {
        owned.push_back(std::move(a));
        return owned.back().get();
    }
};

// Each function's checks in their order: each row fails one check and
// passes the ones before it.
TEST(Linalg, RefusesBadArguments) {
    const Expected notImpl = matrix_test::NotImplemented();
    const Expected nd = Expected::Throws<COperationOnNDArrayNotDefinedException>();
    const Expected square = Expected::Throws<CMatrixMustBeSquareException>();
    const Expected dims = Expected::Throws<CMatrixDimsMustAgreeException>();
    const Expected notTwo =
        Expected::Throws(CFunctionErrorException(L"Matrix must be a column of two elements"));
    const Expected onlyNorms = Expected::Throws(
        CFunctionErrorException(L"The only matrix norms available are 1, 2, inf and fro"));
    Arrays keep;
    const mxClassID single = mxClassSingle;
    const mxComplexity complex = mxComplexityComplex;
    const CMatrix *d22 = keep(Matrix(2, 2, {1, 2, 3, 4})), *scalar = keep(Matrix(1, 1, {2}));
    const CMatrix *eye3 = keep(Matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}));
    const CMatrix *row3 = keep(Matrix(1, 3, {1, 2, 3})), *col3 = keep(Matrix(3, 1, {1, 2, 3}));
    const CMatrix *wide = keep(Matrix(2, 3, {1, 2, 3, 4, 5, 6})), *m45 = keep(Array({4, 5}));
    const CMatrix *m34 = keep(Array({3, 4})), *b21 = keep(Array({2, 1})), *e = keep(Array({0, 0}));
    const CMatrix *e03 = keep(Array({0, 3})), *e02 = keep(Array({0, 2}));
    const CMatrix *nd222 = keep(Array({2, 2, 2})), *eNd = keep(Array({0, 2, 2}));
    const CMatrix *e002 = keep(Array({0, 0, 2})), *s22 = keep(Array({2, 2}, single));
    const CMatrix *s23 = keep(Array({2, 3}, single)), *s21 = keep(Array({2, 1}, single));
    const CMatrix *s31 = keep(Array({3, 1}, single)), *se = keep(Array({0, 0}, single));
    const CMatrix *se02 = keep(Array({0, 2}, single)), *sNd = keep(Array({2, 2, 2}, single));
    const CMatrix *i8Nd = keep(Array({2, 2, 2}, mxClassInt8)),
                  *i32 = keep(Array({1, 1}, mxClassInt32));
    const CMatrix *cell22 = keep(Array({2, 2}, mxClassCell)),
                  *cell21 = keep(Array({2, 1}, mxClassCell));
    const CMatrix *c22 = keep(Array({2, 2}, mxClassDouble, complex));
    const CMatrix *c33 = keep(Array({3, 3}, mxClassDouble, complex));
    const CMatrix *c11 = keep(Array({1, 1}, mxClassDouble, complex));
    const CMatrix *c21 = keep(Array({2, 1}, mxClassDouble, complex));
    const CMatrix *c12 = keep(Array({1, 2}, mxClassDouble, complex));
    const CMatrix *cNd = keep(Array({2, 2, 2}, mxClassDouble, complex));
    const CMatrix *indefinite = keep(Matrix(2, 2, {4, -7, 100, 3}));
    struct Row {
        std::string what;
        Op op;
        Expected expected;
    };
    const Expected onClass = Expected::Throws(COperationNotDefinedOnClassException(s22));
    std::vector<Row> rows = {
        // Mtimes: the classes of both operands, then N-d, then the inner dimensions.
        {"Mtimes single", MtimesOp(d22, s22), notImpl},
        {"Mtimes complex scalar", MtimesOp(c11, d22), notImpl},
        {"Mtimes N-d int8", MtimesOp(i8Nd, d22), notImpl},
        {"Mtimes N-d", MtimesOp(m34, nd222), nd},
        {"Mtimes inner", MtimesOp(wide, m45),
         Expected::Throws<CInnerMatrixDimsMustAgreeException>()},
        // Mldivide: a scalar A hands B to the element-wise division; N-d of
        // either operand, then the classes, then the rows.
        {"Mldivide scalar A", MldivideOp(scalar, s21), notImpl},
        {"Mldivide N-d A", MldivideOp(sNd, b21), nd},
        {"Mldivide N-d B", MldivideOp(eye3, sNd), nd},
        {"Mldivide complex", MldivideOp(c33, col3), notImpl},
        {"Mldivide single", MldivideOp(eye3, s31), notImpl},
        {"Mldivide rows", MldivideOp(eye3, b21), dims},
        {"Mldivide empty B", MldivideOp(eye3, e), dims},
        // Mrdivide: the classes first (before any transpose), then the
        // transposes' N-d test, then Mldivide's rows.
        {"Mrdivide complex", MrdivideOp(d22, c22), notImpl},
        {"Mrdivide N-d single", MrdivideOp(sNd, d22), notImpl},
        {"Mrdivide N-d", MrdivideOp(nd222, scalar),
         Expected::Throws<CTransposeOnNDArrayNotDefinedException>()},
        {"Mrdivide rows", MrdivideOp(d22, row3), dims},
        {"Mrdivide scalar A", MrdivideOp(scalar, row3), dims},
        // Lu: N-d, then the class, then the shape. Det: N-d, then the class
        // (any imaginary part allowed), then the shape.
        {"Lu N-d", LuOp(sNd), nd},
        {"Lu single", LuOp(s23), notImpl},
        {"Lu complex", LuOp(c22), notImpl},
        {"Lu wide", LuOp(wide), square},
        {"Lu2 wide", Lu2Op(wide), square},
        {"Det N-d", DetOp(sNd), nd},
        {"Det single", DetOp(se), notImpl},
        {"Det 0x3", DetOp(e03), square},
        {"Det wide", DetOp(wide), square},
        // Chol: the shape (N-d included), then the class, then the
        // imaginary part; the throwing form refuses an indefinite matrix.
        {"Chol wide", CholOp(wide), square},
        {"Chol N-d", CholOp(nd222), square},
        {"Chol single wide", CholOp(s23), square},
        {"Chol complex N-d", CholOp(cNd), square},
        {"Chol single", CholOp(s22), onClass},
        {"Chol int32", CholOp(i32), onClass},
        {"Chol cell", CholOp(cell22), onClass},
        {"Chol complex", CholOp(c22), notImpl},
        {"Chol indefinite", CholThrowingOp(indefinite),
         Expected::Throws(CFunctionErrorException(L"Matrix must be positive definite"))},
        // Qr: economy size first, then N-d, then other classes and complex.
        {"Qr economy", QrOp(d22, true), notImpl},
        {"Qr economy N-d", QrOp(sNd, true), notImpl},
        {"Qr N-d", QrOp(eNd, false), nd},
        {"Qr single", QrOp(s22, false), notImpl},
        {"Qr complex", QrOp(c22, false), notImpl},
        {"Qr2 economy", Qr2Op(d22, true), notImpl},
        {"Qr2 economy N-d", Qr2Op(sNd, true), notImpl},
        {"Qr2 N-d", Qr2Op(eNd, false), nd},
        {"Qr2 single", Qr2Op(s22, false), notImpl},
        {"Qr2 complex", Qr2Op(c22, false), notImpl},
        // Svd: N-d first (empty too), then other classes and complex; Rank
        // likewise, but an empty operand has rank 0 before any check.
        {"Svd N-d", SvdOp(sNd, true), nd},
        {"Svd empty N-d", SvdOp(eNd, true), nd},
        {"Svd single", SvdOp(s22, true), notImpl},
        {"Svd empty single", SvdOp(se02, true), notImpl},
        {"Svd cell", SvdOp(cell21, true), notImpl},
        {"Svd complex", SvdOp(c22, true), notImpl},
        {"Svd values N-d", SvdValuesOp(sNd), nd},
        {"Rank N-d", RankOp(sNd), nd},
        {"Rank single", RankOp(s22), notImpl},
        {"Rank cell", RankOp(cell21), notImpl},
        {"Rank complex", RankOp(c22), notImpl},
        // Norm: N-d first (empty too), then other classes and complex
        // (empty too), then the matrix p: only 1, 2 and +Inf.
        {"Norm empty N-d", NormOp(eNd, 3), nd},
        {"Norm N-d", NormOp(i8Nd, 2), nd},
        {"Norm single", NormOp(s22, 2), notImpl},
        {"Norm empty single", NormOp(se, 2), notImpl},
        {"Norm complex", NormOp(c12, 2), notImpl},
        {"NormFro empty N-d", NormFroOp(eNd), nd},
        {"NormFro N-d", NormFroOp(i8Nd), nd},
        {"NormFro single", NormFroOp(s22), notImpl},
        {"NormFro empty single", NormFroOp(se), notImpl},
        {"NormFro complex", NormFroOp(c12), notImpl},
        // Eig: N-d first (0 x 0 x 2 too), other classes and complex, then the shape.
        {"Eig N-d", EigOp(sNd), nd},
        {"Eig empty N-d", EigOp(e002), nd},
        {"Eig single", EigOp(s23), notImpl},
        {"Eig complex", EigOp(c22), notImpl},
        {"Eig wide", EigOp(wide), square},
        {"Eig 0x3", EigOp(e03), square},
        {"Eig values wide", EigValuesOp(wide), square},
        // Planerot: the count first, then the class and the imaginary part.
        {"Planerot three", PlanerotOp(col3), notTwo},
        {"Planerot empty", PlanerotOp(e02), notTwo},
        {"Planerot single three", PlanerotOp(s31), notTwo},
        {"Planerot complex one", PlanerotOp(c11), notTwo},
        {"Planerot single", PlanerotOp(s21), notImpl},
        {"Planerot cell", PlanerotOp(cell21), notImpl},
        {"Planerot complex", PlanerotOp(c21), notImpl},
        {"Planerot one output", PlanerotOneOp(col3), notTwo},
    };
    for (double p : {0.0, -kInf, 3.0, 0.5, -1.0, -2.0, kNaN}) {
        rows.push_back({"Norm p = " + std::to_string(p), NormOp(wide, p), onlyNorms});
    }
    std::vector<matrix_test::Refusal> table;
    for (const Row &r : rows) table.push_back({r.what, r.op.call, r.expected, r.op.args});
    matrix_test::ExpectRefusals(table);
    EXPECT_EQ(Rank(eNd), 0u);
    EXPECT_EQ(Rank(se02, 1.0), 0u);
}

// Each operation with its n-th allocation failing, for every n until it
// succeeds: nothing leaks, the arguments stay, multi-output forms leave
// their outputs null; each has at least the failure points listed.
TEST(Linalg, AllocationFailureLeaksNothing) {
    std::mt19937_64 rng(Seed());
    Arrays keep;
    const CMatrix *a = keep(ToArray(Random(40, 50, rng))), *b = keep(ToArray(Random(50, 30, rng)));
    const CMatrix *sq = keep(ToArray(DiagonallyDominant(6, rng)));
    const CMatrix *rhs = keep(ToArray(Random(6, 2, rng))), *rhs3 = keep(ToArray(Random(3, 2, rng)));
    const CMatrix *tall = keep(ToArray(Random(6, 3, rng))),
                  *wide = keep(ToArray(Random(3, 6, rng)));
    const CMatrix *e03 = keep(Array({0, 3})), *x = keep(Matrix(2, 1, {3, 4}));
    const CMatrix *spd =
        keep(ToArray(Gemm('T', 'N', 1.0, FromArray(sq), FromArray(sq), 0.0, Dense(6, 6))));
    const CMatrix *indefinite = keep(Matrix(2, 2, {4, -7, 100, 3})), *s1 = keep(Matrix(1, 1, {5}));
    const std::vector<std::tuple<std::string, Op, int>> rows = {
        {"Mtimes", MtimesOp(a, b), 1},
        {"Mldivide square", MldivideOp(sq, rhs), 2},
        {"Mldivide tall", MldivideOp(tall, rhs), 2},
        {"Mldivide wide", MldivideOp(wide, rhs3), 2},
        {"Mrdivide", MrdivideOp(wide, sq), 2},
        {"Lu", LuOp(sq), 3},
        {"Lu two outputs", Lu2Op(sq), 3},
        {"Det", DetOp(sq), 1},
        {"Chol", CholThrowingOp(spd), 1},
        {"Chol with ok", CholOp(spd), 1},
        {"Chol indefinite", CholOp(indefinite), 1},
        {"Qr tall", QrOp(tall, false), 2},
        {"Qr wide", QrOp(wide, false), 2},
        {"Qr empty", QrOp(e03, false), 2},
        {"Qr two outputs", Qr2Op(tall, false), 2},
        {"Svd tall", SvdOp(tall, false), 2},
        {"Svd tall economy", SvdOp(tall, true), 2},
        {"Svd wide", SvdOp(wide, false), 2},
        {"Svd empty", SvdOp(e03, false), 2},
        {"Svd values", SvdValuesOp(sq), 1},
        {"Rank", RankOp(tall), 1},
        {"Norm 2", NormOp(tall, 2.0), 1},
        {"Norm Inf", NormOp(tall, kInf), 0},
        {"Eig", EigOp(sq), 5},
        {"Eig 1x1", EigOp(s1), 5},
        {"Eig values", EigValuesOp(sq), 1},
        {"Planerot", PlanerotOp(x), 1},
        {"Planerot one output", PlanerotOneOp(x), 1},
    };
    for (const auto &[what, op, atLeast] : rows) {
        SCOPED_TRACE(what);
        const matrix_test::Snapshots before(op.args);
        EXPECT_GE(matrix_test::ForEachAllocationFailure(op.call,
                                                        [&] { EXPECT_TRUE(before.Unchanged()); }),
                  atLeast);
    }
}

}  // namespace
