// src/mtrx/lib/polyfun.cpp: polynomials (values, fits, roots, products,
// quotients, derivatives, integrals, partial fractions) and interpolation,
// through the library's polyfun functions.
#include "lib/options.h"
#include "lib/support.h"

#include "evaluator.h"

#include <matrix/polyfun.h>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace mtrx {

namespace km = kiv::matrix;
using km::CMatrix;

namespace {

// Argument k as a numeric, char or logical array (cells refused).
const Array &Numeric(const Args &args, std::size_t k) {
    const Array &a = args.GetArray(k);
    if (IsCell(a)) args.Refuse(k, "a numeric array");
    return a;
}

const CMatrix *Ptr(const Args &args, std::size_t k) { return Numeric(args, k).get(); }

Array Adopt(CMatrix *a) { return Array::Adopt(a); }

// A struct of one element with the fields and values given.
Value Record(std::vector<std::string> fields, std::vector<Value> values) {
    StructArray s;
    s.fields = std::move(fields);
    s.values = std::move(values);
    return Value(std::move(s));
}

// The field `name` of a 1x1 struct argument k, refused when missing.
const Value &FieldOf(const Args &args, std::size_t k, const char *name, const char *what) {
    if (!args[k].IsStruct() || Count(args[k].structure().dims) != 1) args.Refuse(k, what);
    const StructArray &s = args[k].structure();
    const int f = s.Field(name);
    if (f < 0) args.Refuse(k, what);
    return s.At(0, static_cast<std::size_t>(f));
}

const Array &FieldArray(const Args &args, std::size_t k, const char *name, const char *what) {
    const Value &v = FieldOf(args, k, name, what);
    if (!v.IsArray()) args.Refuse(k, what);
    return v.array();
}

bool IsEmptyArg(const Args &args, std::size_t k) {
    return args[k].IsArray() && !IsChar(args[k].array()) && args[k].array().Numel() == 0;
}

// x with (x - mu(1))/mu(2) applied when mu is given at position k.
Array Centred(const Args &args, const Array &x, std::size_t k) {
    if (!args.Has(k)) return x;
    const Array &mu = Numeric(args, k);
    if (mu.Numel() != 2 || IsComplex(mu)) args.Refuse(k, "a two-element vector [mean std]");
    const Array m = Array::Adopt(km::Double(mu.get()));
    const Array shifted = Array::Adopt(km::Minus(x.get(), Array(m.Data()[0]).get()));
    return Array::Adopt(km::Rdivide(shifted.get(), Array(m.Data()[1]).get()));
}

Outs Polyval(const Args &args, BuiltinCall &c) {
    const Array x = Centred(args, Numeric(args, 1), 3);
    Outs out{Adopt(km::Polyval(Ptr(args, 0), x.get()))};
    if (c.nargout >= 2) {
        if (!args.Has(2) || IsEmptyArg(args, 2))
            throw Error("'polyval': the second output needs the structure S from polyfit");
        const char *what = "the structure S from polyfit";
        const Array &R = FieldArray(args, 2, "R", what);
        double df, normr;
        if (!FieldOf(args, 2, "df", what).RealScalar(df) ||
            !FieldOf(args, 2, "normr", what).RealScalar(normr))
            args.Refuse(2, what);
        out.push_back(Adopt(km::PolyvalDelta(Ptr(args, 0), x.get(), R.get(), df, normr)));
    } else if (args.Has(2) && !IsEmptyArg(args, 2)) {
        FieldOf(args, 2, "R", "the structure S from polyfit");
    }
    return out;
}

Outs Polyfit(const Args &args, BuiltinCall &c) {
    const double n = args.GetScalar(2);
    CMatrix *p = nullptr, *R = nullptr;
    km::PolyfitInfo info;
    km::Polyfit(p, R, info, Ptr(args, 0), Ptr(args, 1), n, c.nargout >= 3);
    Array pa = Adopt(p), Ra = Adopt(R);
    if (info.notUnique)
        c.evaluator.Warn("mtrx:polyfit:notUnique",
                         "Polynomial is not unique; degree >= number of data points.");
    else if (info.badlyConditioned)
        c.evaluator.Warn("mtrx:polyfit:badlyConditioned",
                         "Polynomial is badly conditioned. Add points with distinct X values, "
                         "reduce the degree of the polynomial, or try centering and scaling "
                         "as described in HELP POLYFIT.");
    Outs out{pa};
    if (c.nargout >= 2)
        out.push_back(Record({"R", "df", "normr"}, {Value(Ra), Value(info.df), Value(info.normr)}));
    if (c.nargout >= 3)
        out.push_back(Value(Array(2, 1, std::vector<double>{info.mu[0], info.mu[1]})));
    return out;
}

Outs Roots(const Args &args, BuiltinCall &) { return {Adopt(km::Roots(Ptr(args, 0)))}; }

Outs Poly(const Args &args, BuiltinCall &) { return {Adopt(km::Poly(Ptr(args, 0)))}; }

Outs Conv(const Args &args, BuiltinCall &) {
    km::ConvShape shape = km::ConvShape::kFull;
    if (args.Has(2)) {
        static const km::ConvShape kShapes[] = {km::ConvShape::kFull, km::ConvShape::kSame,
                                                km::ConvShape::kValid};
        const int word = WordIndex(args, 2, {"full", "same", "valid"});
        if (word < 0) args.Refuse(2, "'full', 'same' or 'valid'");
        shape = kShapes[word];
    }
    return {Adopt(km::Conv(Ptr(args, 0), Ptr(args, 1), shape))};
}

Outs Deconv(const Args &args, BuiltinCall &) {
    CMatrix *q = nullptr, *r = nullptr;
    km::Deconv(q, r, Ptr(args, 0), Ptr(args, 1));
    Array qa = Adopt(q), ra = Adopt(r);
    return {qa, ra};
}

Outs Polyder(const Args &args, BuiltinCall &c) {
    if (!args.Has(1)) return {Adopt(km::Polyder(Ptr(args, 0)))};
    if (c.nargout < 2) return {Adopt(km::PolyderProduct(Ptr(args, 0), Ptr(args, 1)))};
    CMatrix *q = nullptr, *d = nullptr;
    km::PolyderQuotient(q, d, Ptr(args, 0), Ptr(args, 1));
    Array qa = Adopt(q), da = Adopt(d);
    return {qa, da};
}

Outs Polyint(const Args &args, BuiltinCall &) {
    return {Adopt(km::Polyint(Ptr(args, 0), args.Has(1) ? Ptr(args, 1) : nullptr))};
}

Outs Residue(const Args &args, BuiltinCall &c) {
    if (args.Has(2)) {
        if (c.nargout > 2) throw Error("Too many output arguments for 'residue'");
        CMatrix *b = nullptr, *a = nullptr;
        km::ResidueInverse(b, a, Ptr(args, 0), Ptr(args, 1), Ptr(args, 2));
        Array ba = Adopt(b), aa = Adopt(a);
        return {ba, aa};
    }
    CMatrix *r = nullptr, *p = nullptr, *k = nullptr;
    km::Residue(r, p, k, Ptr(args, 0), Ptr(args, 1));
    Array ra = Adopt(r), pa = Adopt(p), ka = Adopt(k);
    if (ka.Numel() == 0) ka = Array();  // no direct term: []
    return {ra, pa, ka};
}

km::InterpMethod Method(const Args &args, std::size_t k, bool twoD) {
    const std::string m = LowerWord(args.GetText(k));
    if (m == "linear") return km::InterpMethod::kLinear;
    if (m == "nearest") return km::InterpMethod::kNearest;
    if (!twoD) {
        if (m == "previous") return km::InterpMethod::kPrevious;
        if (m == "next") return km::InterpMethod::kNext;
        if (m == "pchip" || m == "cubic") return km::InterpMethod::kPchip;
        if (m == "spline") return km::InterpMethod::kSpline;
        if (m == "makima") return km::InterpMethod::kMakima;
        throw Error("'" + args.Name() + "': unknown method '" + args.GetText(k) +
                    "' (linear, nearest, previous, next, pchip, cubic, spline or makima)");
    }
    if (m == "cubic") return km::InterpMethod::kCubic;
    if (m == "spline") return km::InterpMethod::kSpline;
    throw Error("'" + args.Name() + "': unknown method '" + args.GetText(k) +
                "' (linear, nearest, cubic or spline)");
}

// The numbers 1..n as a column.
Array Counting(std::size_t n) {
    std::vector<double> v(n);
    for (std::size_t k = 0; k < n; ++k) v[k] = static_cast<double>(k + 1);
    return Array(v);
}

Outs Interp1(const Args &args, BuiltinCall &) {
    std::size_t numeric = 0;
    while (numeric < args.size() && numeric < 3 && !args.IsText(numeric)) ++numeric;
    std::size_t k = numeric;
    Array x, v, xq;
    if (numeric == 3) {
        x = Numeric(args, 0);
        v = Numeric(args, 1);
        xq = Numeric(args, 2);
    } else if (numeric == 2) {
        v = Numeric(args, 0);
        xq = Numeric(args, 1);
        const bool vector = v.NDims() == 2 && (v.Rows() == 1 || v.Cols() == 1);
        x = Counting(vector ? v.Numel() : v.Rows());
    } else {
        throw Error("'interp1' needs the values and the query points");
    }
    km::InterpMethod method = km::InterpMethod::kLinear;
    if (args.Has(k) && args.IsText(k) && !IsWord(args, k, "extrap"))
        method = Method(args, k++, false);
    km::InterpExtrap extrap = km::InterpExtrap::kDefault;
    double value = 0;
    if (args.Has(k)) {
        if (args.IsText(k)) {
            if (!IsWord(args, k, "extrap")) args.Refuse(k, "'extrap' or a scalar");
            extrap = km::InterpExtrap::kExtrap;
        } else {
            value = args.GetScalar(k);
            extrap = km::InterpExtrap::kValue;
        }
        ++k;
    }
    if (args.Has(k)) throw Error("Too many input arguments for 'interp1'");
    return {Adopt(km::Interp1(x.get(), v.get(), xq.get(), method, extrap, value))};
}

// The pp form as a struct.
// The pp struct; dim the lengths of each point's values (a number, or a
// row for an array of them), coefs d rows per piece for d = prod(dim).
Value PpStruct(CMatrix *breaks, CMatrix *coefs, const std::vector<double> &dim = {1.0}) {
    Array b = Adopt(breaks), c = Adopt(coefs);
    double d = 1;
    for (double v : dim) d *= v;
    const double pieces = d > 0 ? c.Rows() / d : 0, order = c.Cols();
    Array dims = dim.size() == 1 ? Array(dim[0]) : Array(1, static_cast<unsigned int>(dim.size()), dim);
    return Record({"form", "breaks", "coefs", "pieces", "order", "dim"},
                  {Value(CharArray("pp")), Value(b), Value(c), Value(pieces), Value(order),
                   Value(dims)});
}

// The lengths of y but the last (the one along x): 1 for a vector.
std::vector<double> ValueDims(const Array &y) {
    const std::vector<unsigned int> d = y.Dims();
    if (d.size() == 2 && (d[0] == 1 || d[1] == 1)) return {1.0};
    std::vector<double> out(d.begin(), d.end() - 1);
    return out;
}

template <void (*Pieces)(CMatrix *&, CMatrix *&, const CMatrix *, const CMatrix *),
          CMatrix *(*Values)(const CMatrix *, const CMatrix *, const CMatrix *)>
Outs Cubic(const Args &args, BuiltinCall &) {
    if (args.Has(2)) return {Adopt(Values(Ptr(args, 0), Ptr(args, 1), Ptr(args, 2)))};
    CMatrix *b = nullptr, *c = nullptr;
    Pieces(b, c, Ptr(args, 0), Ptr(args, 1));
    return {PpStruct(b, c, ValueDims(Numeric(args, 1)))};
}

const char *const kPp = "a piecewise polynomial (a struct from mkpp, spline or pchip)";

Outs Ppval(const Args &args, BuiltinCall &) {
    const Value &form = FieldOf(args, 0, "form", kPp);
    if (!IsText(form) || km::Utf8Text(form.array().get()) != "pp") args.Refuse(0, kPp);
    // dim: the lengths of each point's values (the struct without the field
    // is scalar-valued).
    std::vector<double> dim = {1.0};
    if (args[0].IsStruct() && args[0].structure().Field("dim") >= 0) {
        const Array &d = FieldArray(args, 0, "dim", kPp);
        dim = Array::Adopt(km::Double(d.get())).ToVector();
    }
    double d = 1;
    for (double v : dim) {
        if (!(v >= 1 && v == std::floor(v) && v < 4294967296.0)) args.Refuse(0, kPp);
        d *= v;
    }
    if (d >= 4294967296.0) args.Refuse(0, kPp);
    Array v = Adopt(km::Ppval(FieldArray(args, 0, "breaks", kPp).get(),
                              FieldArray(args, 0, "coefs", kPp).get(),
                              static_cast<unsigned int>(d), Ptr(args, 1)));
    if (dim.size() > 1) {
        // [d1 .. dk, rest]: the leading d split into the value lengths.
        std::vector<unsigned int> dims(dim.begin(), dim.end());
        const std::vector<unsigned int> got = v.Dims();
        dims.insert(dims.end(), got.begin() + 1, got.end());
        while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
        v.get()->Reshape(static_cast<unsigned int>(dims.size()), dims.data());
    }
    return {std::move(v)};
}

Outs Mkpp(const Args &args, BuiltinCall &) {
    const Array &b = Numeric(args, 0);
    Array c = Numeric(args, 1);
    if (b.Numel() < 2 || !(b.NDims() == 2 && (b.Rows() == 1 || b.Cols() == 1)))
        throw Error("'mkpp': the breaks must be a vector of 2 points at least");
    // d: the lengths of each point's values, the coefficients d rows per piece.
    std::vector<double> dim = {1.0};
    double d = 1;
    if (args.Has(2)) {
        const Array &given = Numeric(args, 2);
        dim = Array::Adopt(km::Double(given.get())).ToVector();
        d = dim.empty() ? 0 : 1;
        for (double v : dim) d = v >= 1 && v == std::floor(v) ? d * v : 0;
        if (!(d >= 1 && d < 4294967296.0))
            args.Refuse(2, "the positive whole lengths of each point's values");
    }
    const double rows = (b.Numel() - 1) * d;
    if (rows >= 4294967296.0) throw Error("'mkpp': too many pieces and values");
    const unsigned int l = static_cast<unsigned int>(rows);
    if (c.Numel() == 0 || c.Numel() % l != 0)
        throw Error("'mkpp': the coefficients must hold the same number for each of the " +
                    std::to_string(l) + " pieces and values");
    const unsigned int order = c.Numel() / l;
    const unsigned int dims[2] = {l, order};
    Array shaped = Array::Adopt(c.get()->CreateDuplicateArray());
    shaped.get()->Reshape(2, dims);
    Array row = Array::Adopt(b.get()->CreateDuplicateArray());
    const unsigned int rdims[2] = {1, b.Numel()};
    row.get()->Reshape(2, rdims);
    return {PpStruct(row.release(), shaped.release(), dim)};
}

Outs Unmkpp(const Args &args, BuiltinCall &) {
    const Value &form = FieldOf(args, 0, "form", kPp);
    if (!IsText(form) || km::Utf8Text(form.array().get()) != "pp") args.Refuse(0, kPp);
    const Array &c = FieldArray(args, 0, "coefs", kPp);
    const Value &breaks = FieldOf(args, 0, "breaks", kPp);
    const Value dim = args[0].structure().Field("dim") >= 0 ? FieldOf(args, 0, "dim", kPp)
                                                            : Value(1.0);
    const double pieces = breaks.IsArray() && breaks.array().Numel() > 0
                              ? breaks.array().Numel() - 1.0
                              : static_cast<double>(c.Rows());
    return {breaks, Value(c), Value(pieces), Value(double(c.Cols())), dim};
}

Outs Interp2(const Args &args, BuiltinCall &) {
    std::size_t numeric = 0;
    while (numeric < args.size() && numeric < 5 && !args.IsText(numeric)) ++numeric;
    const CMatrix *x = nullptr, *y = nullptr, *V, *xq, *yq;
    std::size_t k = numeric;
    double value = std::nan("");
    if (numeric == 5 || numeric == 4) {
        // interp2(X, Y, V, Xq, Yq), or (V, Xq, Yq, method, extrapval) read as four numbers.
        if (numeric == 4) {
            V = Ptr(args, 0);
            xq = Ptr(args, 1);
            yq = Ptr(args, 2);
            k = 3;
        } else {
            x = Ptr(args, 0);
            y = Ptr(args, 1);
            V = Ptr(args, 2);
            xq = Ptr(args, 3);
            yq = Ptr(args, 4);
        }
    } else if (numeric == 3) {
        V = Ptr(args, 0);
        xq = Ptr(args, 1);
        yq = Ptr(args, 2);
    } else {
        throw Error("'interp2' needs the values and the query points");
    }
    km::InterpMethod method = km::InterpMethod::kLinear;
    if (args.Has(k) && args.IsText(k)) method = Method(args, k++, true);
    if (args.Has(k)) value = args.GetScalar(k++);
    if (args.Has(k)) throw Error("Too many input arguments for 'interp2'");
    return {Adopt(km::Interp2(x, y, V, xq, yq, method, value))};
}

const BuiltinEntry kEntries[] = {
    {"polyval", Polyval, 2, 4, 2, "[y, delta] = polyval(p, x, S, mu)",
     "Values of the polynomial p (coefficients highest power first) at x by Horner's rule; "
     "delta the error estimate from polyfit's S; mu centres and scales x."},
    {"polyfit", Polyfit, 3, 3, 3, "[p, S, mu] = polyfit(x, y, n)",
     "The least-squares polynomial of degree n through (x, y), by QR; S has R, df and normr; "
     "with mu the fit is in (x - mu(1))/mu(2)."},
    {"roots", Roots, 1, 1, 1, "r = roots(p)",
     "The roots of the polynomial p: eigenvalues of its companion matrix, zeros last."},
    {"poly", Poly, 1, 1, 1, "p = poly(r), poly(A)",
     "The polynomial with roots r, or the characteristic polynomial of the square matrix A."},
    {"conv", Conv, 2, 3, 1, "w = conv(u, v, 'full'|'same'|'valid')",
     "Convolution of two vectors: the product of their polynomials; 'same' the central part "
     "of u's length, 'valid' the part without zero padding."},
    {"deconv", Deconv, 2, 2, 2, "[q, r] = deconv(b, a)",
     "Polynomial division: b = conv(a, q) + r."},
    {"polyder", Polyder, 1, 2, 2, "k = polyder(p), polyder(a, b), [q, d] = polyder(b, a)",
     "Derivative of a polynomial, of the product a*b, or of the quotient b/a as q/d."},
    {"polyint", Polyint, 1, 2, 1, "q = polyint(p, k)",
     "Integral of a polynomial, with constant of integration k (0)."},
    {"residue", Residue, 2, 3, 3, "[r, p, k] = residue(b, a), [b, a] = residue(r, p, k)",
     "Partial fractions of b(s)/a(s): residues r, poles p (repeated ones grouped) and the "
     "direct term k; with three inputs the polynomials back."},
    {"interp1", Interp1, 2, 5, 1, "vq = interp1(x, v, xq, method, 'extrap'|value)",
     "1-D interpolation: 'linear' (default), 'nearest', 'previous', 'next', 'pchip', 'spline', "
     "'makima'; NaN outside the points but for the cubic methods; columns of a matrix v each."},
    {"spline", Cubic<km::SplinePieces, km::Spline>, 2, 3, 1,
     "yq = spline(x, y, xq), pp = spline(x, y)",
     "The not-a-knot cubic spline through (x, y), clamped when y has two more values (the end "
     "slopes); an array y is vector-valued along its last dimension; without xq its pp form."},
    {"pchip", Cubic<km::PchipPieces, km::Pchip>, 2, 3, 1, "yq = pchip(x, y, xq), pp = pchip(x, y)",
     "The shape-preserving piecewise cubic through (x, y), an array y vector-valued along its "
     "last dimension; without xq its pp form."},
    {"ppval", Ppval, 2, 2, 1, "v = ppval(pp, xq)",
     "Values of a piecewise polynomial at xq (the end pieces extended); [d, numel(xq)] for a "
     "d-valued one."},
    {"mkpp", Mkpp, 2, 3, 1, "pp = mkpp(breaks, coefs), pp = mkpp(breaks, coefs, d)",
     "A piecewise polynomial from its breaks and a row of coefficients for each piece (d rows "
     "each for d-valued pieces)."},
    {"unmkpp", Unmkpp, 1, 1, 5, "[breaks, coefs, l, k, d] = unmkpp(pp)",
     "The parts of a piecewise polynomial: breaks, coefficients, pieces, order, dimension."},
    {"interp2", Interp2, 3, 7, 1,
     "Vq = interp2(X, Y, V, Xq, Yq, method, extrapval), interp2(V, Xq, Yq)",
     "2-D interpolation on a grid: 'linear' (default), 'nearest', 'cubic' (cubic convolution; "
     "the spline on unequal spacing) or 'spline'; extrapval (NaN) outside; a row Xq and a "
     "column Yq make a grid."},
};

}  // namespace

Library PolyfunLibrary() {
    return {"polyfun", "Polynomials and interpolation", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
