// src/mtrx/lib/linalg.cpp: linear algebra: determinants, inverses,
// factorizations, norms and ranks.
#include "lib/options.h"
#include "lib/support.h"

#include "evaluator.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

Array DetOf(const Array &a) { return Array::Adopt(km::DetArray(a.get())); }
Array RcondOf(const Array &a) { return Array(km::Rcond(a.get())); }
Array TraceOf(const Array &a) { return Array::Adopt(km::TraceArray(a.get())); }
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
    if (IsWord(args, 1, "econ")) return true;
    if (!args.IsText(1) && args[1].IsArray() && args[1].array().Numel() == 1 &&
        args[1].array().Scalar() == 0)
        return true;
    throw Error("'" + c.name + "' takes 0 or 'econ' as its second argument");
}

// A permutation matrix as the row vector p of its rows (rows = true:
// P*A = A(p,:)) or of its columns (A*E = A(:,p)).
Array PermutationVector(const Array &P, bool rows) {
    const unsigned int n = P.Rows();
    Array p = Array::Zeros(1, n);
    const double *e = static_cast<const double *>(P.get()->GetPr());
    double *out = static_cast<double *>(p.get()->GetPr());
    for (unsigned int j = 0; j < n; ++j)
        for (unsigned int i = 0; i < n; ++i)
            if (e[i + j * n] != 0) out[rows ? i : j] = rows ? j + 1 : i + 1;
    return p;
}

Outs Lu(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    bool vector = false;
    if (args.size() == 2) {
        const int form = WordIndex(args, 1, {"vector", "matrix"});
        if (form < 0) throw Error("'lu' takes 'vector' or 'matrix' as its second argument");
        vector = form == 0;
    }
    // The column permutation Q of [L, U, P, Q] belongs to the sparse
    // factorization; a full matrix has no such form.
    if (c.nargout > 3)
        throw Error("'lu' gives four outputs [L, U, P, Q] only for sparse matrices; use [L, U, P] "
                    "= lu(A) for a full matrix");
    if (c.nargout == 3) {
        km::ThreeArrays r = km::LuPivots(a);
        if (vector) r.third = PermutationVector(r.third, true);
        return {std::move(r.first), std::move(r.second), std::move(r.third)};
    }
    km::TwoArrays r = km::Lu(a);
    if (c.nargout < 2) return {std::move(r.first)};
    return {std::move(r.first), std::move(r.second)};
}

// The leading columns 1..k of x (rows = false) or leading rows.
Array Leading(const Array &x, unsigned int k, bool rows) {
    Array all = Array::Adopt(km::mxCreateColonIndex());
    Array range = Array::Adopt(km::Colon(1.0, static_cast<double>(k)));
    return Array::Adopt(rows ? km::Indexref(x.get(), range.get(), all.get())
                              : km::Indexref(x.get(), all.get(), range.get()));
}

Outs Qr(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    const bool economy = Economy(args, c);
    const unsigned int k = std::min(a.Rows(), a.Cols());
    if (c.nargout == 3) {
        km::ThreeArrays r = km::QrPivots(a, false);
        if (!economy) return {std::move(r.first), std::move(r.second), std::move(r.third)};
        return {Leading(r.first, k, false), Leading(r.second, k, true),
                PermutationVector(r.third, false)};
    }
    km::TwoArrays r = km::Qr(a, false);
    if (economy) {
        r.first = Leading(r.first, k, false);
        r.second = Leading(r.second, k, true);
    }
    // One output is R.
    if (c.nargout < 2) return {std::move(r.second)};
    return {std::move(r.first), std::move(r.second)};
}

Outs Chol(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    bool lower = false;
    if (args.size() == 2) {
        const int form = WordIndex(args, 1, {"lower", "upper"});
        if (form < 0) throw Error("'chol' takes 'upper' or 'lower' as its second argument");
        lower = form == 0;
    }
    if (c.nargout >= 2) {
        unsigned int p;
        Array r = Array::Adopt(km::CholPartial(a.get(), lower, p));
        return {std::move(r), Array(static_cast<double>(p))};
    }
    Array r = km::Chol(a);
    if (lower) r = km::Ctranspose(r);
    return {std::move(r)};
}

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
    if (args.size() == 2) {
        const Array &b = args.GetArray(1);
        if (c.nargout <= 1) return {Array::Adopt(km::EigGeneralized(a.get(), b.get()))};
        if (c.nargout == 3) throw Error("'eig' with two matrices gives one or two outputs");
        km::CMatrix *v;
        km::CMatrix *d;
        km::EigGeneralized(v, d, a.get(), b.get());
        Array V = Array::Adopt(v);
        return {std::move(V), Array::Adopt(d)};
    }
    if (c.nargout <= 1) return {km::Eig(a)};
    km::TwoArrays r = km::EigVectors(a);
    if (c.nargout == 3) {
        Array w = Array::Adopt(km::LeftEigenvectors(r.first.get()));
        return {std::move(r.first), std::move(r.second), std::move(w)};
    }
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
        const int p = WordIndex(args, 1, {"fro", "inf", "-inf"});
        if (p == 0) return {NormOf(a, km::NormFro(a))};
        if (p > 0) return {NormOf(a, km::Norm(a, (p == 1 ? 1 : -1) * std::numeric_limits<double>::infinity()))};
        throw Error("'norm' takes a number, Inf, -Inf or 'fro'");
    }
    return {NormOf(a, km::Norm(a, args.GetScalar(1)))};
}


// cond(A), cond(A, p) with p 1, 2, Inf or 'fro'.
Outs Cond(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    double value;
    if (args.size() == 1) {
        value = km::Cond(a.get());
    } else if (args.IsText(1)) {
        const int p = WordIndex(args, 1, {"fro", "inf"});
        if (p == 0) {
            value = km::CondFro(a.get());
        } else if (p == 1) {
            value = km::Cond(a.get(), std::numeric_limits<double>::infinity());
        } else {
            throw Error("'cond' takes 1, 2, Inf or 'fro'");
        }
    } else {
        value = km::Cond(a.get(), args.GetScalar(1));
    }
    return {NormOf(a, value)};
}

Outs Condest(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    return {NormOf(a, km::Condest(a.get()))};
}

Array NullOf(const Array &a) { return km::Null(a); }
Array OrthOf(const Array &a) { return km::Orth(a); }
Array ExpmOf(const Array &a) { return km::Expm(a); }
Array LogmOf(const Array &a) { return km::Logm(a); }
Array SqrtmOf(const Array &a) { return km::Sqrtm(a); }

Outs Hess(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    if (c.nargout <= 1) return {Array::Adopt(km::Hess(a.get()))};
    km::CMatrix *p;
    km::CMatrix *h;
    km::Hess(p, h, a.get());
    Array P = Array::Adopt(p);
    return {std::move(P), Array::Adopt(h)};
}

Outs SchurForm(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    bool complex = false;
    if (args.size() == 2) {
        const int form = WordIndex(args, 1, {"real", "complex"});
        if (form < 0) throw Error("'schur' takes 'real' or 'complex' as its second argument");
        complex = form == 1;
    }
    if (c.nargout <= 1) return {Array::Adopt(km::Schur(a.get(), complex))};
    km::CMatrix *u;
    km::CMatrix *t;
    km::Schur(u, t, a.get(), complex);
    Array U = Array::Adopt(u);
    return {std::move(U), Array::Adopt(t)};
}

// balance(A), balance(A, 'noperm'); [T, B] = ...; [S, P, B] = ...
Outs Balance(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    bool permute = true;
    if (args.Has(1)) {
        if (!IsWord(args, 1, "noperm"))
            args.Refuse(1, "the option 'noperm'");
        permute = false;
    }
    if (c.nargout <= 1) return {Array::Adopt(km::Balance(a.get(), permute))};
    km::CMatrix *t;
    km::CMatrix *p;
    km::CMatrix *b;
    if (c.nargout == 3) {
        km::Balance(t, p, b, a.get(), permute);
        Array S = Array::Adopt(t), P = Array::Adopt(p);
        return {std::move(S), std::move(P), Array::Adopt(b)};
    }
    km::Balance(t, b, a.get(), permute);
    Array T = Array::Adopt(t);
    return {std::move(T), Array::Adopt(b)};
}

Outs Lsqnonneg(const Args &args, BuiltinCall &) {
    km::CMatrix *x;
    km::CMatrix *residual;
    double resnorm;
    km::Lsqnonneg(x, resnorm, residual, args.GetArray(0).get(), args.GetArray(1).get());
    Array X = Array::Adopt(x);
    Array R = Array::Adopt(residual);
    return {std::move(X), Array(resnorm), std::move(R)};
}

// linsolve(A, B, opts): the fields LT, UT, SYM, POSDEF, TRANSA (and UHESS,
// RECT, taken as no promise) hold logical scalars.
Outs Linsolve(const Args &args, BuiltinCall &c) {
    km::LinsolveOptions opts;
    if (args.size() == 3) {
        const StructArray &s = args.GetStruct(2);
        static const char *const kKnown[] = {"LT", "UT", "UHESS", "SYM", "POSDEF", "RECT",
                                             "TRANSA"};
        for (std::size_t f = 0; f < s.fields.size(); ++f) {
            const std::string &name = s.fields[f];
            if (std::find_if(std::begin(kKnown), std::end(kKnown),
                             [&](const char *k) { return name == k; }) == std::end(kKnown))
                throw Error("'linsolve' does not know the option '" + name + "'");
            const Value &v = s.At(0, f);
            if (!v.IsArray() || v.array().Numel() != 1)
                throw Error("'linsolve': option " + name + " must be true or false");
            const bool on = v.array().Scalar() != 0;
            if (name == "LT") opts.lowerTriangular = on;
            if (name == "UT") opts.upperTriangular = on;
            if (name == "SYM") opts.symmetric = on;
            if (name == "POSDEF") opts.positiveDefinite = on;
            if (name == "TRANSA") opts.transposed = on;
        }
    }
    double r;
    Array x = Array::Adopt(km::Linsolve(args.GetArray(0).get(), args.GetArray(1).get(), opts, r));
    if (c.nargout >= 2) return {std::move(x), Array(r)};
    const Array &a = args.GetArray(0);
    if (a.Rows() == a.Cols()) WarnIfIllConditioned(c.evaluator, r);
    return {std::move(x)};
}

Outs Vecnorm(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    double p = 2;
    if (args.size() >= 2) {
        if (args.IsText(1)) {
            if (!IsWord(args, 1, "inf")) throw Error("'vecnorm' takes a positive p or Inf");
            p = std::numeric_limits<double>::infinity();
        } else {
            p = args.GetScalar(1);
        }
    }
    const unsigned int dim = args.size() == 3 ? args.GetPositive(2) : 0;
    return {Array::Adopt(km::Vecnorm(a.get(), p, dim))};
}

// dot(a, b, dim): the sums of conj(a).*b along dim.
Outs Dot(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    const Array &b = args.GetArray(1);
    if (args.size() == 2) return {km::Dot(a, b)};
    if (a.Dims() != b.Dims()) throw Error("'dot': A and B must be of one size");
    const unsigned int dim = args.GetPositive(2);
    Array conj = Array::Adopt(km::Conj(a.get()));
    Array prod = km::Times(conj, b);
    return {Array::Adopt(km::Sum(prod.get(), dim))};
}

// cross(a, b, dim): the cross products of the 3-vectors along dim.
Outs Cross(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    const Array &b = args.GetArray(1);
    if (args.size() == 2) return {km::Cross(a, b)};
    if (a.Dims() != b.Dims()) throw Error("'cross': A and B must be of one size");
    const unsigned int dim = args.GetPositive(2);
    std::vector<unsigned int> dims = a.Dims();
    if (dim > dims.size() || dims[dim - 1] != 3)
        throw Error("'cross': A and B must have length 3 in dimension " + std::to_string(dim));
    std::vector<Array> subs(dims.size(), Array::Adopt(km::mxCreateColonIndex()));
    auto part = [&](const Array &x, int k) {
        subs[dim - 1] = Array(static_cast<double>(k));
        std::vector<const km::CMatrix *> list;
        for (const Array &s : subs) list.push_back(s.get());
        return Array::Adopt(km::Indexref(x.get(), list));
    };
    const Array a1 = part(a, 1), a2 = part(a, 2), a3 = part(a, 3);
    const Array b1 = part(b, 1), b2 = part(b, 2), b3 = part(b, 3);
    Array c1 = km::Minus(km::Times(a2, b3), km::Times(a3, b2));
    Array c2 = km::Minus(km::Times(a3, b1), km::Times(a1, b3));
    Array c3 = km::Minus(km::Times(a1, b2), km::Times(a2, b1));
    const km::CMatrix *parts[] = {c1.get(), c2.get(), c3.get()};
    return {Array::Adopt(km::Cat(dim, 3, parts))};
}

const BuiltinEntry kEntries[] = {
    {"det", Unary<DetOf>, 1, 1, 1, "det(A)", "Determinant of a square matrix."},
    {"inv", Inv, 1, 1, 1, "inv(A)",
     "Inverse of a square matrix; warns when it is ill-conditioned."},
    {"rcond", Unary<RcondOf>, 1, 1, 1, "rcond(A)",
     "Estimate of the reciprocal condition number in the 1-norm."},
    {"pinv", Unary<PinvOf>, 1, 1, 1, "pinv(A)", "Pseudo-inverse from the singular values."},
    {"trace", Unary<TraceOf>, 1, 1, 1, "trace(A)", "Sum of the diagonal."},
    {"dot", Dot, 2, 3, 1, "dot(a, b), dot(A, B, dim)",
     "Dot product of two vectors, or of the columns or vectors along dim."},
    {"cross", Cross, 2, 3, 1, "cross(a, b), cross(A, B, dim)",
     "Cross product of two 3-vectors, or of the 3-vectors along dim."},
    {"lu", Lu, 1, 2, 4, "[L, U] = lu(A), [L, U, P] = lu(A), [L, U, p] = lu(A, 'vector')",
     "LU factorization with pivoting; 'vector' gives the row permutation as a vector."},
    {"qr", Qr, 1, 2, 3, "R = qr(A), [Q, R] = qr(A), [Q, R, P] = qr(A), qr(A, 0)",
     "QR factorization; 0 or 'econ' for the economy size (the permutation then a vector)."},
    {"chol", Chol, 1, 2, 2, "R = chol(A), L = chol(A, 'lower'), [R, p] = chol(A)",
     "Cholesky factor R'*R = A of a positive definite A; p > 0 marks failure, not an error."},
    {"svd", Svd, 1, 2, 3, "s = svd(A), [U, S, V] = svd(A), svd(A, 'econ')",
     "Singular values, or the singular value decomposition."},
    {"eig", Eig, 1, 2, 3, "e = eig(A), [V, D] = eig(A), [V, D, W] = eig(A), eig(A, B)",
     "Eigenvalues, eigenvectors (W: left ones); eig(A, B) for symmetric A and definite B."},
    {"planerot", Planerot, 1, 1, 2, "G = planerot(x), [G, y] = planerot(x)",
     "Givens rotation that zeroes x(2)."},
    {"rank", Rank, 1, 2, 1, "rank(A), rank(A, tol)", "Number of singular values above tol."},
    {"norm", Norm, 1, 2, 1, "norm(A), norm(A, p), norm(A, 'fro')",
     "Matrix norm (p 1, 2, Inf or 'fro') or vector norm (any p, -Inf too)."},
    {"cond", Cond, 1, 2, 1, "cond(A), cond(A, p)",
     "Condition number in the 2-norm, or in the 1, Inf or 'fro' norm."},
    {"condest", Condest, 1, 1, 1, "condest(A)",
     "Estimate of the 1-norm condition number (Hager and Higham)."},
    {"null", Unary<NullOf>, 1, 1, 1, "null(A)", "Orthonormal basis of the null space."},
    {"orth", Unary<OrthOf>, 1, 1, 1, "orth(A)", "Orthonormal basis of the range."},
    {"expm", Unary<ExpmOf>, 1, 1, 1, "expm(A)", "Matrix exponential."},
    {"logm", Unary<LogmOf>, 1, 1, 1, "logm(A)", "Principal matrix logarithm."},
    {"sqrtm", Unary<SqrtmOf>, 1, 1, 1, "sqrtm(A)", "Principal matrix square root."},
    {"hess", Hess, 1, 1, 2, "H = hess(A), [P, H] = hess(A)",
     "Hessenberg form A = P*H*P'."},
    {"schur", SchurForm, 1, 2, 2, "T = schur(A), [U, T] = schur(A), schur(A, 'complex')",
     "Schur form A = U*T*U', real (quasi-triangular) or complex."},
    {"balance", Balance, 1, 2, 3,
     "B = balance(A), [T, B] = balance(A), [S, P, B] = balance(A), balance(A, 'noperm')",
     "Permutes to isolate eigenvalues (not with 'noperm'), then scales rows and columns by "
     "powers of 2 to balance them: B = T\\A*T."},
    {"lsqnonneg", Lsqnonneg, 2, 2, 3, "x = lsqnonneg(C, d), [x, resnorm, residual] = ...",
     "Non-negative least squares: min norm(C*x - d) with x >= 0."},
    {"linsolve", Linsolve, 2, 3, 2, "X = linsolve(A, B), linsolve(A, B, opts), [X, r] = ...",
     "Solve A*X = B using opts.LT, UT, SYM, POSDEF, TRANSA; r the rcond or rank."},
    {"vecnorm", Vecnorm, 1, 3, 1, "vecnorm(A), vecnorm(A, p), vecnorm(A, p, dim)",
     "p-norms of the vectors along a dimension (p 2 by default)."},
};

}  // namespace

Library LinalgLibrary() { return {"linalg", "Linear algebra", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
