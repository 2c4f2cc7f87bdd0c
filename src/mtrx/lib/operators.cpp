// src/mtrx/lib/operators.cpp: the operator table.
#include "lib/operators.h"

#include "arrays.h"
#include "error.h"
#include "evaluator.h"
#include "lib/registry.h"

#include <matrix/matrix.h>
#include <matrix/rearrange.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace mtrx {

namespace km = kiv::matrix;

using Outs = std::vector<Value>;

namespace {

// A^B through the library's matrix power (two scalars: Power).
Array Mpower(const Array &a, const Array &b, Evaluator &) {
    return Array::Adopt(km::Mpower(a.get(), b.get()));
}

// A/B and A\B, with the warning their condition estimate calls for.
Array LeastSquares(const Array &a, const Array &b, Evaluator &evaluator, bool right);

Array Mrdivide(const Array &a, const Array &b, Evaluator &evaluator) {
    const bool typed = b.get()->GetClassID() == km::mxClassSingle || b.get()->IsComplex() ||
                       a.get()->GetClassID() == km::mxClassSingle || a.get()->IsComplex();
    const auto floating = [](const Array &x) {
        const km::mxClassID id = x.get()->GetClassID();
        return (id == km::mxClassDouble || id == km::mxClassSingle) && x.NDims() == 2;
    };
    if (typed && b.Numel() != 1 && floating(a) && floating(b) && b.Rows() != b.Cols())
        return LeastSquares(a, b, evaluator, true);
    double rcond;
    Array x = Array::Adopt(km::Mrdivide(a.get(), b.get(), rcond));
    WarnIfIllConditioned(evaluator, rcond);
    return x;
}

// Whether A\B is a least-squares solve of complex or single operands,
// which reports a rank deficiency.
bool TypedLeastSquares(const Array &a, const Array &b) {
    const auto floating = [](const Array &x) {
        const km::mxClassID id = x.get()->GetClassID();
        return (id == km::mxClassDouble || id == km::mxClassSingle) && x.NDims() == 2;
    };
    const auto typed = [](const Array &x) {
        return x.get()->GetClassID() == km::mxClassSingle || x.get()->IsComplex();
    };
    return a.Numel() != 1 && floating(a) && floating(b) && a.Rows() != a.Cols() &&
           (typed(a) || typed(b));
}

Array LeastSquares(const Array &a, const Array &b, Evaluator &evaluator, bool right = false) {
    unsigned int rank;
    double tol;
    Array x = Array::Adopt(km::LeastSquares(a.get(), b.get(), rank, tol, right));
    const Array &m = right ? b : a;
    if (rank < std::min(m.Rows(), m.Cols())) {
        char text[80];
        std::snprintf(text, sizeof text, "Rank deficient, rank = %u, tol = %e.", rank, tol);
        evaluator.Warn("mtrx:rankDeficientMatrix", text);
    }
    return x;
}

Array Mldivide(const Array &a, const Array &b, Evaluator &evaluator) {
    if (TypedLeastSquares(a, b)) return LeastSquares(a, b, evaluator);
    double rcond;
    Array x = Array::Adopt(km::Mldivide(a.get(), b.get(), rcond));
    WarnIfIllConditioned(evaluator, rcond);
    return x;
}

template <Array (*F)(const Array &, const Array &)>
Array Plain(const Array &a, const Array &b, Evaluator &) {
    return F(a, b);
}

Array PlusOf(const Array &a, const Array &b) { return km::Plus(a, b); }
Array MinusOf(const Array &a, const Array &b) { return km::Minus(a, b); }
Array MtimesOf(const Array &a, const Array &b) { return km::Mtimes(a, b); }
Array TimesOf(const Array &a, const Array &b) { return km::Times(a, b); }
Array RdivideOf(const Array &a, const Array &b) { return km::Rdivide(a, b); }
Array LdivideOf(const Array &a, const Array &b) { return km::Ldivide(a, b); }
Array PowerOf(const Array &a, const Array &b) { return km::Power(a, b); }
Array OrOf(const Array &a, const Array &b) { return km::Or(a, b); }
Array AndOf(const Array &a, const Array &b) { return km::And(a, b); }
Array EqOf(const Array &a, const Array &b) { return km::Eq(a, b); }
Array NeOf(const Array &a, const Array &b) { return km::Ne(a, b); }
Array LtOf(const Array &a, const Array &b) { return km::Lt(a, b); }
Array LeOf(const Array &a, const Array &b) { return km::Le(a, b); }
Array GtOf(const Array &a, const Array &b) { return km::Gt(a, b); }
Array GeOf(const Array &a, const Array &b) { return km::Ge(a, b); }

Array UminusOf(const Array &a) { return km::Uminus(a); }
Array UplusOf(const Array &a) { return a; }
Array NotOf(const Array &a) { return km::Not(a); }
// The library's transposes take doubles (logical ones included); arrays of
// the other classes, cells too, move their elements by the permutation plan
// (a complex one conjugated for ').
Array OtherTranspose(const Array &a, bool conjugate) {
    if (a.NDims() > 2) throw Error("Transpose on N-D arrays is not defined; use permute");
    Array t = Array::Adopt(km::Rearrange(a.get(), km::PermutePlan(a.Dims(), {2, 1})));
    return conjugate && a.get()->IsComplex() ? Array::Adopt(km::Conj(t.get())) : t;
}
Array CtransposeOf(const Array &a) {
    return a.get()->IsDouble() ? km::Ctranspose(a) : OtherTranspose(a, true);
}
Array TransposeOf(const Array &a) {
    return a.get()->IsDouble() ? km::Transpose(a) : OtherTranspose(a, false);
}

const BinaryOperator kBinary[] = {
    {"+", "plus", Plain<PlusOf>},
    {"-", "minus", Plain<MinusOf>},
    {"*", "mtimes", Plain<MtimesOf>},
    {"/", "mrdivide", Mrdivide},
    {"\\", "mldivide", Mldivide},
    {"^", "mpower", Mpower},
    {".*", "times", Plain<TimesOf>},
    {"./", "rdivide", Plain<RdivideOf>},
    {".\\", "ldivide", Plain<LdivideOf>},
    {".^", "power", Plain<PowerOf>},
    {"|", "or", Plain<OrOf>},
    {"&", "and", Plain<AndOf>},
    {"==", "eq", Plain<EqOf>},
    {"~=", "ne", Plain<NeOf>},
    {"<", "lt", Plain<LtOf>},
    {"<=", "le", Plain<LeOf>},
    {">", "gt", Plain<GtOf>},
    {">=", "ge", Plain<GeOf>},
};

const UnaryOperator kUnary[] = {
    {"-", "uminus", UminusOf},         {"+", "uplus", UplusOf},          {"~", "not", NotOf},
    {"'", "ctranspose", CtransposeOf}, {".'", "transpose", TransposeOf},
};

}  // namespace

// Row K of each table is the operator Op(K) (binary) or Op(kFirstUnaryOp + K).
static_assert(std::size(kBinary) == kBinaryOps, "one row per binary operator");
static_assert(std::size(kUnary) == kUnaryOps, "one row per unary operator");

const BinaryOperator &BinaryRow(Op op) { return kBinary[static_cast<int>(op)]; }

const UnaryOperator &UnaryRow(Op op) {
    return kUnary[static_cast<int>(op) - kFirstUnaryOp];
}

namespace {

// The operators as functions: plus(a, b) is a + b. Entry K calls row K of
// its table; the registry's tests check that the names agree.
template <std::size_t K>
Outs BinaryCall(const Args &args, BuiltinCall &c) {
    return {kBinary[K].apply(args.GetArray(0), args.GetArray(1), c.evaluator)};
}

template <std::size_t K>
Outs UnaryCall(const Args &args, BuiltinCall &) {
    return {kUnary[K].apply(args.GetArray(0))};
}

const BuiltinEntry kEntries[] = {
    {"plus", BinaryCall<0>, 2, 2, 1, "plus(A, B)", "A + B."},
    {"minus", BinaryCall<1>, 2, 2, 1, "minus(A, B)", "A - B."},
    {"mtimes", BinaryCall<2>, 2, 2, 1, "mtimes(A, B)", "A * B, the matrix product."},
    {"mrdivide", BinaryCall<3>, 2, 2, 1, "mrdivide(A, B)", "A / B, the solve of x*B = A."},
    {"mldivide", BinaryCall<4>, 2, 2, 1, "mldivide(A, B)", "A \\ B, the solve of A*x = B."},
    {"mpower", BinaryCall<5>, 2, 2, 1, "mpower(A, k)", "A ^ k, the matrix power."},
    {"times", BinaryCall<6>, 2, 2, 1, "times(A, B)", "A .* B, element by element."},
    {"rdivide", BinaryCall<7>, 2, 2, 1, "rdivide(A, B)", "A ./ B, element by element."},
    {"ldivide", BinaryCall<8>, 2, 2, 1, "ldivide(A, B)", "A .\\ B, element by element."},
    {"power", BinaryCall<9>, 2, 2, 1, "power(A, B)", "A .^ B, element by element."},
    {"or", BinaryCall<10>, 2, 2, 1, "or(A, B)", "A | B, element by element."},
    {"and", BinaryCall<11>, 2, 2, 1, "and(A, B)", "A & B, element by element."},
    {"eq", BinaryCall<12>, 2, 2, 1, "eq(A, B)", "A == B."},
    {"ne", BinaryCall<13>, 2, 2, 1, "ne(A, B)", "A ~= B."},
    {"lt", BinaryCall<14>, 2, 2, 1, "lt(A, B)", "A < B."},
    {"le", BinaryCall<15>, 2, 2, 1, "le(A, B)", "A <= B."},
    {"gt", BinaryCall<16>, 2, 2, 1, "gt(A, B)", "A > B."},
    {"ge", BinaryCall<17>, 2, 2, 1, "ge(A, B)", "A >= B."},
    {"uminus", UnaryCall<0>, 1, 1, 1, "uminus(A)", "-A."},
    {"uplus", UnaryCall<1>, 1, 1, 1, "uplus(A)", "+A."},
    {"not", UnaryCall<2>, 1, 1, 1, "not(A)", "~A."},
};

}  // namespace

Library OpsLibrary() {
    return {"ops", "The operators as functions", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
