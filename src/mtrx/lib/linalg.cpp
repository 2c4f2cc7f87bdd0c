// src/mtrx/lib/linalg.cpp: linear algebra: determinants, inverses,
// factorizations, norms and ranks.
#include "lib/support.h"

#include "evaluator.h"

#include <limits>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

Array DetOf(const Array &a) { return Array::Adopt(km::DetArray(a.get())); }
Array RcondOf(const Array &a) { return Array(km::Rcond(a.get())); }
Array TraceOf(const Array &a) { return Array::Adopt(km::TraceArray(a.get())); }
Array DotOf(const Array &a, const Array &b) { return km::Dot(a, b); }
Array CrossOf(const Array &a, const Array &b) { return km::Cross(a, b); }
Array PinvOf(const Array &a) { return km::Pinv(a); }

// inv(A), with the warning its condition estimate calls for.
Outs Inv(const Args &args, BuiltinCall &c) {
    double rcond;
    Outs out{Array::Adopt(km::Inv(args.GetArray(0).get(), rcond))};
    WarnIfIllConditioned(c.evaluator, rcond);
    return out;
}

// The second argument 0 or 'econ' asks for the economy size.
bool Economy(const Args &args, const BuiltinCall &c) {
    if (args.size() < 2) return false;
    if (args.IsText(1) && args.GetText(1) == "econ") return true;
    if (!args.IsText(1) && args[1].IsArray() && args[1].array().Numel() == 1 &&
        args[1].array().Scalar() == 0)
        return true;
    throw Error("'" + c.name + "' takes 0 or 'econ' as its second argument");
}

Outs Lu(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    if (c.nargout == 3) {
        km::ThreeArrays r = km::LuPivots(a);
        return {std::move(r.first), std::move(r.second), std::move(r.third)};
    }
    km::TwoArrays r = km::Lu(a);
    if (c.nargout < 2) return {std::move(r.first)};
    return {std::move(r.first), std::move(r.second)};
}

Outs Qr(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    const bool economy = Economy(args, c);
    if (c.nargout == 3) {
        km::ThreeArrays r = km::QrPivots(a, economy);
        return {std::move(r.first), std::move(r.second), std::move(r.third)};
    }
    km::TwoArrays r = km::Qr(a, economy);
    // One output is R.
    if (c.nargout < 2) return {std::move(r.second)};
    return {std::move(r.first), std::move(r.second)};
}

Outs Chol(const Args &args, BuiltinCall &) { return {km::Chol(args.GetArray(0))}; }

Outs Svd(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    const bool economy = Economy(args, c);
    if (c.nargout <= 1) return {km::Svd(a, economy)};
    if (c.nargout != 3) throw Error("'svd' gives one or three outputs");
    km::ThreeArrays r = km::SvdVectors(a, economy);
    return {std::move(r.first), std::move(r.second), std::move(r.third)};
}

Outs Eig(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    if (c.nargout <= 1) return {km::Eig(a)};
    km::TwoArrays r = km::EigVectors(a);
    return {std::move(r.first), std::move(r.second)};
}

Outs Planerot(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    if (c.nargout <= 1) return {km::Planerot(a)};
    km::TwoArrays r = km::PlanerotApplied(a);
    return {std::move(r.first), std::move(r.second)};
}

Outs Rank(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    if (args.size() == 2) return {Array(km::Rank(a, args.GetScalar(1)))};
    return {Array(km::Rank(a))};
}

// A norm in its operand's precision: single for a single operand (the
// value, computed in single, converts exactly).
Array NormOf(const Array &a, double value) {
    Array out(value);
    if (a.get()->GetClassID() != km::mxClassSingle) return out;
    return Array::Adopt(km::Cast(out.get(), km::mxClassSingle));
}

Outs Norm(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    if (args.size() == 1) return {NormOf(a, km::Norm(a))};
    if (args.IsText(1)) {
        const std::string p = args.GetText(1);
        if (p == "fro") return {NormOf(a, km::NormFro(a))};
        if (p == "inf" || p == "Inf")
            return {NormOf(a, km::Norm(a, std::numeric_limits<double>::infinity()))};
        throw Error("'norm' takes 1, 2, Inf or 'fro'");
    }
    return {NormOf(a, km::Norm(a, args.GetScalar(1)))};
}

const BuiltinEntry kEntries[] = {
    {"det", Unary<DetOf>, 1, 1, 1, "det(A)", "Determinant of a square matrix."},
    {"inv", Inv, 1, 1, 1, "inv(A)",
     "Inverse of a square matrix; warns when it is ill-conditioned."},
    {"rcond", Unary<RcondOf>, 1, 1, 1, "rcond(A)",
     "Estimate of the reciprocal condition number in the 1-norm."},
    {"pinv", Unary<PinvOf>, 1, 1, 1, "pinv(A)", "Pseudo-inverse from the singular values."},
    {"trace", Unary<TraceOf>, 1, 1, 1, "trace(A)", "Sum of the diagonal."},
    {"dot", Binary<DotOf>, 2, 2, 1, "dot(a, b)", "Dot product of two vectors."},
    {"cross", Binary<CrossOf>, 2, 2, 1, "cross(a, b)", "Cross product of two 3-vectors."},
    {"lu", Lu, 1, 1, 3, "[L, U] = lu(A), [L, U, P] = lu(A)", "LU factorization with pivoting."},
    {"qr", Qr, 1, 2, 3, "R = qr(A), [Q, R] = qr(A), [Q, R, P] = qr(A), qr(A, 0)",
     "QR factorization; 0 or 'econ' for the economy size."},
    {"chol", Chol, 1, 1, 1, "R = chol(A)", "Cholesky factor R'*R = A of a positive definite A."},
    {"svd", Svd, 1, 2, 3, "s = svd(A), [U, S, V] = svd(A), svd(A, 'econ')",
     "Singular values, or the singular value decomposition."},
    {"eig", Eig, 1, 1, 2, "e = eig(A), [V, D] = eig(A)",
     "Eigenvalues, or eigenvectors and values."},
    {"planerot", Planerot, 1, 1, 2, "G = planerot(x), [G, y] = planerot(x)",
     "Givens rotation that zeroes x(2)."},
    {"rank", Rank, 1, 2, 1, "rank(A), rank(A, tol)", "Number of singular values above tol."},
    {"norm", Norm, 1, 2, 1, "norm(A), norm(A, p), norm(A, 'fro')",
     "Matrix or vector norm: p is 1, 2 or Inf."},
};

}  // namespace

Library LinalgLibrary() { return {"linalg", "Linear algebra", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
