// src/mtrx/lib/construct.cpp: construction and shape: filled arrays, ranges,
// the random generators, sizes, reshaping and concatenation.
#include "lib/options.h"
#include "lib/support.h"

#include <kiv/random.h>

#include <cmath>
#include <utility>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// The class a constructor's trailing arguments name: 'like', p (p's class,
// complexity and logical flag) or a class name; double when none. `count`
// is left as the number of arguments before them.
struct Kind {
    km::mxClassID id = km::mxClassDouble;
    bool complex = false;
    bool logical = false;
};

Kind TrailingKind(const Args &args, std::size_t &count, bool integers) {
    static const std::pair<const char *, km::mxClassID> kNames[] = {
        {"double", km::mxClassDouble}, {"single", km::mxClassSingle}, {"int8", km::mxClassInt8},
        {"uint8", km::mxClassUint8},   {"int16", km::mxClassInt16},   {"uint16", km::mxClassUint16},
        {"int32", km::mxClassInt32},   {"uint32", km::mxClassUint32}, {"int64", km::mxClassInt64},
        {"uint64", km::mxClassUint64}};
    const char *allowed = integers ? "a numeric class name or 'like'" : "'double', 'single' or 'like'";
    Kind kind;
    count = args.size();
    if (count >= 2 && IsWord(args, count - 2, "like")) {
        count -= 2;
        if (!args[count + 1].IsArray()) args.Refuse(count + 1, "a numeric or logical array after 'like'");
        const Array &p = args.GetArray(count + 1);
        kind.id = p.ClassID();
        kind.complex = IsComplex(p);
        kind.logical = p.IsLogical();
        if (IsChar(p) || (!integers && kind.id != km::mxClassDouble && kind.id != km::mxClassSingle))
            args.Refuse(count + 1, integers ? "a numeric or logical array after 'like'"
                                            : "a double or single array after 'like'");
        return kind;
    }
    if (count == 0 || !args.IsText(count - 1)) return kind;
    const std::string name = args.GetText(--count);
    for (const auto &entry : kNames)
        if (name == entry.first && (integers || entry.second == km::mxClassDouble ||
                                    entry.second == km::mxClassSingle)) {
            kind.id = entry.second;
            return kind;
        }
    args.Refuse(count, allowed);
}

// The lengths in the first `count` arguments, as Lengths reads them.
std::vector<unsigned int> LeadingLengths(const Args &args, std::size_t count) {
    if (count == args.size()) return Lengths(args);
    const std::vector<Value> head(args.All().begin(),
                                  args.All().begin() + static_cast<std::ptrdiff_t>(count));
    return Lengths(Args(head, args.Name()));
}

// A double array made as it is, in the class `kind` names.
Array InKind(Array a, const Kind &kind) {
    if (kind.id != km::mxClassDouble) a = Array::Adopt(km::Cast(a.get(), kind.id));
    if (kind.complex) {
        const Array zero(0.0);
        a = Array::Adopt(km::Complex(a.get(), Array::Adopt(km::Cast(zero.get(), kind.id)).get()));
    }
    if (kind.logical) a = Array::Adopt(km::Logical(a.get()));
    return a;
}

template <km::CMatrix *(*Make)(unsigned int, const unsigned int *), bool kIntegers>
Outs Filled(const Args &args, BuiltinCall &c) {
    // rand('seed', s) and randn('seed', s) restart the generator.
    if (args.size() == 2 && args.IsText(0)) {
        if (args.GetText(0) != "seed")
            throw Error("'" + c.name + "' takes 'seed' and a number here");
        kiv::RandSeed(static_cast<unsigned long long>(args.GetLength(1)));
        return {};
    }
    std::size_t count = 0;
    const Kind kind = TrailingKind(args, count, kIntegers);
    const std::vector<unsigned int> dims = LeadingLengths(args, count);
    return {InKind(Array::Adopt(Make(static_cast<unsigned int>(dims.size()), dims.data())), kind)};
}

// true(m, n, ...) and false(m, n, ...): logical arrays.
template <bool kValue>
Outs Truth(const Args &args, BuiltinCall &) {
    const std::vector<unsigned int> dims = Lengths(args);
    const auto n = static_cast<unsigned int>(dims.size());
    Array a = Array::Adopt(kValue ? km::Ones(n, dims.data()) : km::Zeros(n, dims.data()));
    km::mxSetLogical(a.get());
    return {a};
}

Outs Rng(const Args &args, BuiltinCall &) {
    kiv::RandSeed(static_cast<unsigned long long>(args.GetLength(0)));
    return {};
}

Outs Eye(const Args &args, BuiltinCall &) {
    std::size_t count = 0;
    const Kind kind = TrailingKind(args, count, true);
    const std::vector<unsigned int> dims = LeadingLengths(args, count);
    if (dims.size() != 2) throw Error("'eye' takes at most two lengths");
    return {InKind(Array::Eye(dims[0], dims[1]), kind)};
}

Outs Size(const Args &args, BuiltinCall &c) {
    const Array a = args.GetShape(0);
    const std::vector<unsigned int> dims = a.Dims();
    if (args.size() >= 2) {
        // size(A, dim), size(A, [d1 d2 ...]), size(A, d1, d2, ...): the
        // lengths of the dimensions named, 1 beyond the last.
        std::vector<double> row;
        for (std::size_t k = 1; k < args.size(); ++k) {
            const Array &d = args.GetArray(k);
            if (IsCell(d) || IsComplex(d) || (args.size() > 2 && d.Numel() != 1))
                args.Refuse(k, "a positive whole number");
            for (double x : Array::Adopt(km::Double(d.get())).ToVector()) {
                if (!(x >= 1 && x == std::floor(x))) args.Refuse(k, "a positive whole number");
                row.push_back(x <= dims.size() ? dims[static_cast<std::size_t>(x) - 1] : 1.0);
            }
        }
        if (c.nargout <= 1) return {Array(1, static_cast<unsigned int>(row.size()), row)};
        if (c.nargout > row.size()) throw Error("Too many output arguments for 'size'");
        Outs out;
        for (double x : row) out.emplace_back(Array(x));
        return out;
    }
    if (c.nargout <= 1) {
        std::vector<double> row(dims.begin(), dims.end());
        return {Array(1, static_cast<unsigned int>(row.size()), row)};
    }
    // [m, n] = size(A): the last output takes the product of the rest.
    Outs out;
    for (unsigned int k = 0; k < c.nargout; ++k) {
        double length = k < dims.size() ? dims[k] : 1.0;
        if (k + 1 == c.nargout)
            for (std::size_t j = k + 1; j < dims.size(); ++j) length *= dims[j];
        out.emplace_back(Array(length));
    }
    return out;
}

Array NumelOf(const Array &a) { return Array(a.Numel()); }
Array NdimsOf(const Array &a) { return Array(a.NDims()); }
Array LengthOf(const Array &a) { return Array(km::Length(a)); }
Array TransposeOf(const Array &a) { return km::Transpose(a); }
Array CtransposeOf(const Array &a) { return km::Ctranspose(a); }

Outs Diag(const Args &args, BuiltinCall &) {
    return {km::Diag(args.GetArray(0), args.GetWhole(1, 0))};
}

template <bool Lower>
Outs Triangle(const Args &args, BuiltinCall &) {
    const int k = args.GetWhole(1, 0);
    return {Lower ? km::Tril(args.GetArray(0), k) : km::Triu(args.GetArray(0), k)};
}

Outs Reshape(const Args &args, BuiltinCall &) {
    std::vector<unsigned int> dims;
    if (args.size() == 2) {
        dims = args.GetLengths(1);
    } else {
        for (std::size_t k = 1; k < args.size(); ++k) dims.push_back(args.GetLength(k));
    }
    const Array &a = args.GetArray(0);
    if (dims.size() == 2) return {km::Reshape(a, dims[0], dims[1])};
    if (dims.size() == 3) return {km::Reshape(a, dims[0], dims[1], dims[2])};
    throw Error("'reshape' takes two or three lengths");
}

Outs Linspace(const Args &args, BuiltinCall &) {
    const double a = args.GetScalar(0);
    const double b = args.GetScalar(1);
    if (args.size() == 2) return {Array::Linspace(a, b)};
    return {Array::Linspace(a, b, args.GetLength(2))};
}

Outs Repmat(const Args &args, BuiltinCall &) {
    std::vector<unsigned int> counts;
    if (args.size() == 2 && args.GetArray(1).Numel() != 1) {
        counts = args.GetLengths(1);
        if (counts.size() != 2) throw Error("'repmat' takes two counts");
    } else {
        counts.push_back(args.GetLength(1));
        counts.push_back(args.size() == 3 ? args.GetLength(2) : counts[0]);
    }
    return {km::Repmat(args.GetArray(0), counts[0], counts[1])};
}

const BuiltinEntry kEntries[] = {
    {"zeros", Filled<km::Zeros, true>, 0, kAny, 1,
     "zeros(n), zeros(m, n, ...), zeros([m n ...]), zeros(..., 'class'), zeros(..., 'like', p)",
     "Array of zeros, of double or the class named."},
    {"ones", Filled<km::Ones, true>, 0, kAny, 1,
     "ones(n), ones(m, n, ...), ones([m n ...]), ones(..., 'class'), ones(..., 'like', p)",
     "Array of ones, of double or the class named."},
    {"eye", Eye, 0, 4, 1, "eye(n), eye(m, n), eye([m n]), eye(..., 'class'), eye(..., 'like', p)",
     "Identity matrix."},
    {"rand", Filled<km::Rand, false>, 0, kAny, 1,
     "rand(n), rand(m, n, ...), rand(..., 'single'), rand('seed', s)",
     "Uniform random numbers in (0, 1)."},
    {"randn", Filled<km::Randn, false>, 0, kAny, 1,
     "randn(n), randn(m, n, ...), randn(..., 'single'), randn('seed', s)",
     "Normally distributed random numbers."},
    {"true", Truth<true>, 0, kAny, 1, "true, true(n), true(m, n, ...), true([m n ...])",
     "The logical 1, or a logical array of ones."},
    {"false", Truth<false>, 0, kAny, 1, "false, false(n), false(m, n, ...), false([m n ...])",
     "The logical 0, or a logical array of zeros."},
    {"rng", Rng, 1, 1, 0, "rng(seed)", "Restarts the random generators from a seed."},
    {"linspace", Linspace, 2, 3, 1, "linspace(a, b), linspace(a, b, n)",
     "n (default 100) equally spaced points from a to b."},
    {"size", Size, 1, kAny, kAny,
     "size(A), size(A, dim), size(A, [d1 d2 ...]), size(A, d1, d2, ...), [m, n, ...] = size(A)",
     "Lengths of the dimensions."},
    {"numel", Shape<NumelOf>, 1, 1, 1, "numel(A)", "Number of elements."},
    {"ndims", Shape<NdimsOf>, 1, 1, 1, "ndims(A)", "Number of dimensions."},
    {"length", Shape<LengthOf>, 1, 1, 1, "length(A)", "Largest dimension, 0 when empty."},
    {"reshape", Reshape, 2, 4, 1, "reshape(A, m, n), reshape(A, m, n, p), reshape(A, [m n])",
     "The elements of A in a new shape."},
    {"repmat", Repmat, 2, 3, 1, "repmat(A, n), repmat(A, m, n), repmat(A, [m n])",
     "A tiled m by n times."},
    {"diag", Diag, 1, 2, 1, "diag(v), diag(A), diag(A, k)",
     "Diagonal matrix of a vector, or the k-th diagonal of a matrix."},
    {"tril", Triangle<true>, 1, 2, 1, "tril(A), tril(A, k)",
     "Lower triangle from diagonal k down."},
    {"triu", Triangle<false>, 1, 2, 1, "triu(A), triu(A, k)", "Upper triangle from diagonal k up."},
    {"transpose", Unary<TransposeOf>, 1, 1, 1, "transpose(A)", "A.'"},
    {"ctranspose", Unary<CtransposeOf>, 1, 1, 1, "ctranspose(A)", "A', the conjugate transpose."},
};

}  // namespace

Library ConstructLibrary() {
    return {"construct", "Construction and shape", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
