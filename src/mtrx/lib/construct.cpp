// src/mtrx/lib/construct.cpp: construction and shape: filled arrays, ranges,
// the random generators, sizes, reshaping and concatenation.
#include "lib/support.h"

#include <kiv/random.h>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

template <km::CMatrix *(*Make)(unsigned int, const unsigned int *)>
Outs Filled(const Args &args, BuiltinCall &c) {
    // rand('seed', s) and randn('seed', s) restart the generator.
    if (args.size() == 2 && args.IsText(0)) {
        if (args.GetText(0) != "seed")
            throw Error("'" + c.name + "' takes 'seed' and a number here");
        kiv::RandSeed(static_cast<unsigned long long>(args.GetLength(1)));
        return {};
    }
    const std::vector<unsigned int> dims = Lengths(args);
    return {Array::Adopt(Make(static_cast<unsigned int>(dims.size()), dims.data()))};
}

Outs Rng(const Args &args, BuiltinCall &) {
    kiv::RandSeed(static_cast<unsigned long long>(args.GetLength(0)));
    return {};
}

Outs Eye(const Args &args, BuiltinCall &) {
    const std::vector<unsigned int> dims = Lengths(args);
    if (dims.size() != 2) throw Error("'eye' takes at most two lengths");
    return {Array::Eye(dims[0], dims[1])};
}

Outs Size(const Args &args, BuiltinCall &c) {
    const Array a = args.GetShape(0);
    if (args.size() == 2) {
        if (c.nargout > 1) throw Error("Too many output arguments for 'size'");
        return {Array(a.Size(args.GetPositive(1)))};
    }
    const std::vector<unsigned int> dims = a.Dims();
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
Array IsemptyOf(const Array &a) { return km::Isempty(a); }
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

template <bool Horizontal>
Outs Concatenate(const Args &args, BuiltinCall &) {
    std::vector<const km::CMatrix *> raw;
    for (std::size_t k = 0; k < args.size(); ++k) raw.push_back(args.GetArray(k).get());
    const auto n = static_cast<unsigned int>(raw.size());
    return {Array::Adopt(Horizontal ? km::Horzcat(n, raw.data()) : km::Vertcat(n, raw.data()))};
}

Outs Cat(const Args &args, BuiltinCall &) {
    const unsigned int dim = args.GetPositive(0);
    std::vector<const km::CMatrix *> raw;
    for (std::size_t k = 1; k < args.size(); ++k) raw.push_back(args.GetArray(k).get());
    if (raw.empty()) return {Array()};
    return {Array::Adopt(km::Cat(dim, static_cast<unsigned int>(raw.size()), raw.data()))};
}

Outs ColonBuiltin(const Args &args, BuiltinCall &) {
    const double a = args.GetScalar(0);
    const double b = args.GetScalar(1);
    if (args.size() == 2) return {Array::Adopt(km::Colon(a, b))};
    return {Array::Adopt(km::Colon(a, b, args.GetScalar(2)))};
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
    {"zeros", Filled<km::Zeros>, 0, kAny, 1, "zeros(n), zeros(m, n, ...), zeros([m n ...])",
     "Array of zeros."},
    {"ones", Filled<km::Ones>, 0, kAny, 1, "ones(n), ones(m, n, ...), ones([m n ...])",
     "Array of ones."},
    {"eye", Eye, 0, 2, 1, "eye(n), eye(m, n)", "Identity matrix."},
    {"rand", Filled<km::Rand>, 0, kAny, 1, "rand(n), rand(m, n, ...), rand('seed', s)",
     "Uniform random numbers in (0, 1)."},
    {"randn", Filled<km::Randn>, 0, kAny, 1, "randn(n), randn(m, n, ...), randn('seed', s)",
     "Normally distributed random numbers."},
    {"rng", Rng, 1, 1, 0, "rng(seed)", "Restarts the random generators from a seed."},
    {"linspace", Linspace, 2, 3, 1, "linspace(a, b), linspace(a, b, n)",
     "n (default 100) equally spaced points from a to b."},
    {"colon", ColonBuiltin, 2, 3, 1, "colon(a, b), colon(a, step, b)",
     "The range a:b or a:step:b."},
    {"size", Size, 1, 2, kAny, "size(A), size(A, dim), [m, n, ...] = size(A)",
     "Lengths of the dimensions."},
    {"numel", Shape<NumelOf>, 1, 1, 1, "numel(A)", "Number of elements."},
    {"ndims", Shape<NdimsOf>, 1, 1, 1, "ndims(A)", "Number of dimensions."},
    {"length", Shape<LengthOf>, 1, 1, 1, "length(A)", "Largest dimension, 0 when empty."},
    {"isempty", Shape<IsemptyOf>, 1, 1, 1, "isempty(A)", "True when A has no elements."},
    {"reshape", Reshape, 2, 4, 1, "reshape(A, m, n), reshape(A, m, n, p), reshape(A, [m n])",
     "The elements of A in a new shape."},
    {"repmat", Repmat, 2, 3, 1, "repmat(A, n), repmat(A, m, n), repmat(A, [m n])",
     "A tiled m by n times."},
    {"cat", Cat, 1, kAny, 1, "cat(dim, A, B, ...)", "Concatenation along dimension dim."},
    {"horzcat", Concatenate<true>, 0, kAny, 1, "horzcat(A, B, ...)", "[A, B, ...]."},
    {"vertcat", Concatenate<false>, 0, kAny, 1, "vertcat(A, B, ...)", "[A; B; ...]."},
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
