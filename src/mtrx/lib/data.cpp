// src/mtrx/lib/data.cpp: data analysis: sums and products, extremes,
// searching, statistics and sorting.
#include "lib/options.h"
#include "lib/stats.h"
#include "lib/support.h"
#include "lib/texts.h"

#include <matrix/sets.h>

#include <algorithm>
#include <cmath>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// The dimension a reduction without one works along: a vector along its
// length, else the first length that is not 1.
unsigned int FirstDimension(const Array &a) {
    if (a.NDims() == 2 && a.Rows() == 1) return 2;
    for (unsigned int d = 1; d <= a.NDims(); ++d)
        if (a.Size(d) != 1) return d;
    return 1;
}

// Takes the trailing NaN flag ('omitnan', 'includenan') off the arguments:
// returns how many remain before it.
std::size_t NanFlagOf(const Args &args, km::NanFlag &nan) {
    return TakeTrailingWords(args, 1, {"omitnan", "includenan"}, [&](int word, std::size_t) {
        if (word >= 0) nan = word == 0 ? km::NanFlag::kOmit : km::NanFlag::kInclude;
        return word >= 0;
    });
}

// The dimensions of argument k: 'all' (all set), or a positive whole number
// or a vector of them.
std::vector<unsigned int> DimsOf(const Args &args, std::size_t k, BuiltinCall &c, bool &all) {
    all = false;
    if (args.IsText(k)) {
        if (!IsWord(args, k, "all"))
            throw Error("'" + c.name + "' takes a dimension, a vector of dimensions or 'all', not '" +
                        args.GetText(k) + "'");
        all = true;
        return {};
    }
    std::vector<unsigned int> dims = args.GetLengths(k);
    if (dims.empty())
        throw Error("'" + c.name + "' takes a dimension, a vector of dimensions or 'all'");
    return dims;
}

template <bool IsMax>
Outs Extreme(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    km::NanFlag nan = km::NanFlag::kOmit;
    std::size_t n = NanFlagOf(args, nan);
    // max(A, [], 'includenan'): [] and no dimension.
    if (n == 2 && n < args.size() && !args.IsText(1) && args.GetArray(1).IsEmpty()) n = 1;
    if (n == 2) {
        if (c.nargout > 1) throw Error("'" + c.name + "' of two arrays has one output");
        const Array &b = args.GetArray(1);
        Array r = IsMax ? km::Max(a, b) : km::Min(a, b);
        if (nan == km::NanFlag::kInclude) {
            // A NaN on either side gives NaN.
            Array mask = km::Or(km::Isnan(a), km::Isnan(b));
            if (km::Nnz(mask) != 0) {
                km::CMatrix *out = r.release();
                try {
                    km::Indexassign(out, mask.get(), Array(std::nan("")).get());
                } catch (...) {
                    km::mxDestroyArray(out);
                    throw;
                }
                r = Array::Adopt(out);
            }
        }
        return {r};
    }
    if (n == 3 && !(args.GetArray(1).IsEmpty() && !args.IsText(1)))
        throw Error("'" + c.name + "' with a dimension takes [] as its second argument");
    if (n > 3) throw Error("'" + c.name + "' takes one dimension argument before its options");
    km::ValuesPositions r;
    if (n == 3) {
        bool all = false;
        std::vector<unsigned int> dims = DimsOf(args, 2, c, all);
        if (all) {
            r = IsMax ? km::MaxAll(a, nan) : km::MinAll(a, nan);
        } else if (dims.size() == 1 && nan == km::NanFlag::kOmit) {
            r = IsMax ? km::Max(a, km::Dim(dims[0])) : km::Min(a, km::Dim(dims[0]));
        } else {
            r = IsMax ? km::Max(a, dims, nan) : km::Min(a, dims, nan);
        }
    } else if (nan == km::NanFlag::kOmit || a.IsEmpty()) {
        r = IsMax ? km::Max(a) : km::Min(a);
    } else {
        const std::vector<unsigned int> dims{FirstDimension(a)};
        r = IsMax ? km::Max(a, dims, nan) : km::Min(a, dims, nan);
    }
    if (c.nargout < 2) return {std::move(r.values)};
    return {std::move(r.values), std::move(r.positions)};
}

enum class Fold { kSum, kProd, kMean, kAll, kAny };

// sum(A), sum(A, dim), sum(A, vecdim), sum(A, 'all'), then the options:
// 'omitnan' or 'includenan' (sum, prod, mean), and the class of the result
// 'default', 'double' or 'native' (sum, prod, mean).
template <Fold F>
Outs Reduce(const Args &args, BuiltinCall &c) {
    constexpr bool kOptions = F == Fold::kSum || F == Fold::kProd || F == Fold::kMean;
    Array a = args.GetArray(0);
    km::NanFlag nan = km::NanFlag::kInclude;
    std::string type = "default";
    // Words 0 and 1 the NaN flag, 2 to 4 the class; 'all' only as the
    // dimension argument.
    static const Words kWords = {"omitnan", "includenan", "default", "double", "native", "all"};
    const std::size_t n = TakeTrailingWords(args, 1, kWords, [&](int word, std::size_t k) {
        if (word == 5 && k == 1) return false;
        if (word < 0 || word == 5 || !kOptions) RefuseOption(args, k);
        if (word < 2)
            nan = word == 0 ? km::NanFlag::kOmit : km::NanFlag::kInclude;
        else
            type = kWords.begin()[word];
        return true;
    });
    if (n > 2) throw Error("'" + c.name + "' takes one dimension argument before its options");
    const km::mxClassID cls = a.ClassID();
    const bool integer = cls >= km::mxClassInt8 && cls <= km::mxClassUint64;
    if (type == "native" && (a.IsLogical() || cls == km::mxClassChar))
        throw Error("'" + c.name + "' with 'native' takes numeric arrays");
    if (type == "double" && (cls != km::mxClassDouble || a.IsLogical()))
        a = Array::Adopt(km::Cast(a.get(), km::mxClassDouble));
    Array r;
    auto fold = [&](const std::vector<unsigned int> &dims, bool all) -> Array {
        switch (F) {
            case Fold::kSum: return all ? km::SumAll(a, nan) : km::Sum(a, dims, nan);
            case Fold::kProd: return all ? km::ProdAll(a, nan) : km::Prod(a, dims, nan);
            case Fold::kMean: return all ? km::MeanAll(a, nan) : km::Mean(a, dims, nan);
            case Fold::kAll: return all ? km::AllAll(a) : km::All(a, dims);
            case Fold::kAny: return all ? km::AnyAll(a) : km::Any(a, dims);
        }
        return a;
    };
    if (n == 1) {
        // An empty array holds no NaN: the plain form, with its shapes.
        if (nan == km::NanFlag::kOmit && !a.IsEmpty()) {
            r = fold({FirstDimension(a)}, false);
        } else {
            switch (F) {
                case Fold::kSum: r = km::Sum(a); break;
                case Fold::kProd: r = km::Prod(a); break;
                case Fold::kMean: r = km::Mean(a); break;
                case Fold::kAll: r = km::All(a); break;
                case Fold::kAny: r = km::Any(a); break;
            }
        }
    } else {
        bool all = false;
        std::vector<unsigned int> dims = DimsOf(args, 1, c, all);
        if (!all && dims.size() == 1 && nan == km::NanFlag::kInclude) {
            switch (F) {
                case Fold::kSum: r = km::Sum(a, km::Dim(dims[0])); break;
                case Fold::kProd: r = km::Prod(a, km::Dim(dims[0])); break;
                case Fold::kMean: r = km::Mean(a, km::Dim(dims[0])); break;
                case Fold::kAll: r = km::All(a, km::Dim(dims[0])); break;
                case Fold::kAny: r = km::Any(a, km::Dim(dims[0])); break;
            }
        } else {
            r = fold(dims, all);
        }
    }
    if (F == Fold::kMean && type == "native" && integer) r = Array::Adopt(km::Cast(r.get(), cls));
    return {r};
}

// The elements of A in reverse order along dim.
Array Flipped(const Array &a, unsigned int dim) {
    std::vector<Array> subs;
    std::vector<const km::CMatrix *> list;
    const unsigned int nd = std::max(a.NDims(), dim);
    for (unsigned int d = 1; d <= nd; ++d) {
        const unsigned int n = a.Size(d);
        Array s = Array::Adopt(km::mxCreateDoubleMatrix(1, n, km::mxComplexityReal));
        km::DoubleSpan v = s.MutableData();
        for (unsigned int k = 0; k < n; ++k) v[k] = d == dim ? n - k : k + 1.0;
        subs.push_back(std::move(s));
    }
    for (const Array &s : subs) list.push_back(s.get());
    return Array::Adopt(km::Indexref(a.get(), list));
}

// cumsum(A), cumsum(A, dim), each with 'reverse' (or 'forward') last.
template <bool IsSum>
Outs Running(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    bool reverse = false;
    const std::size_t n = TakeDirection(args, reverse);
    const bool hasDim = n > 1;
    const unsigned int dim = hasDim ? args.GetLength(1) : FirstDimension(a);
    if (hasDim && dim == 0) (void)(IsSum ? km::Cumsum(a, km::Dim(0)) : km::Cumprod(a, km::Dim(0)));
    if (!reverse) {
        if (!hasDim) return {IsSum ? km::Cumsum(a) : km::Cumprod(a)};
        return {IsSum ? km::Cumsum(a, km::Dim(dim)) : km::Cumprod(a, km::Dim(dim))};
    }
    const Array f = Flipped(a, dim);
    return {Flipped(IsSum ? km::Cumsum(f, km::Dim(dim)) : km::Cumprod(f, km::Dim(dim)), dim)};
}

Array NnzOf(const Array &a) { return Array(km::Nnz(a)); }

Outs Var(const Args &args, BuiltinCall &c) { return Spread(args, false, c.nargout); }
Outs Std(const Args &args, BuiltinCall &c) { return Spread(args, true, c.nargout); }

Outs Find(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    if (args.size() > 1) {
        // find(X, k) and find(X, k, 'first' | 'last'): k of them.
        const double k = args.GetScalar(1);
        if (!(k >= 1 && k == std::floor(k)))
            throw Error("'find' takes a positive whole number of elements to find");
        km::FindDirection direction = km::FindDirection::kFirst;
        if (args.size() > 2) {
            const int word = WordIndex(args, 2, {"first", "last"});
            if (word < 0) throw Error("'find' takes 'first' or 'last'");
            direction = word == 1 ? km::FindDirection::kLast : km::FindDirection::kFirst;
        }
        const unsigned int count = k > 4294967295.0 ? 4294967295u : static_cast<unsigned int>(k);
        if (c.nargout <= 1) return {km::Find(a, count, direction)};
        km::ThreeArrays r = km::FindRowsColsValues(a, count, direction);
        if (c.nargout == 2) return {std::move(r.first), std::move(r.second)};
        return {std::move(r.first), std::move(r.second), std::move(r.third)};
    }
    if (c.nargout <= 1) return {km::Find(a)};
    if (c.nargout == 2) {
        km::TwoArrays r = km::FindRowsCols(a);
        return {std::move(r.first), std::move(r.second)};
    }
    km::ThreeArrays r = km::FindRowsColsValues(a);
    return {std::move(r.first), std::move(r.second), std::move(r.third)};
}

Outs Sort(const Args &args, BuiltinCall &c) {
    if (args[0].IsCell() || args[0].tag() == Tag::String) return SortCellOfTexts(args, c);
    km::SortOrder order = km::SortOrder::kAscend;
    unsigned int dim = 0;
    for (std::size_t k = 1; k < args.size(); ++k) {
        if (args.IsText(k)) {
            const int word = WordIndex(args, k, {"ascend", "descend"});
            if (word < 0) throw Error("'sort' takes 'ascend' or 'descend'");
            order = word == 1 ? km::SortOrder::kDescend : km::SortOrder::kAscend;
        } else if (k == 1) {
            dim = args.GetLength(k);
        } else {
            throw Error("'sort' takes a dimension and then a direction");
        }
    }
    const Array &a = args.GetArray(0);
    km::ValuesPositions r = args.size() == 1 || (args.size() == 2 && dim == 0 && args.IsText(1))
                                ? km::Sort(a, order)
                                : km::Sort(a, km::Dim(dim), order);
    if (c.nargout < 2) return {std::move(r.values)};
    return {std::move(r.values), std::move(r.positions)};
}

const BuiltinEntry kEntries[] = {
    {"sum", Reduce<Fold::kSum>, 1, 4, 1,
     "sum(A), sum(A, dim), sum(A, vecdim), sum(A, 'all'), sum(..., 'omitnan'), sum(..., 'double')",
     "Sum along the first non-singleton dimension, along dims or over all, NaN omitted on request."},
    {"prod", Reduce<Fold::kProd>, 1, 4, 1,
     "prod(A), prod(A, dim), prod(A, vecdim), prod(A, 'all'), prod(..., 'omitnan'), prod(..., 'native')",
     "Product along the first non-singleton dimension, along dims or over all."},
    {"cumsum", Running<true>, 1, 3, 1, "cumsum(A), cumsum(A, dim), cumsum(..., 'reverse')",
     "Running sum, from the first element or from the last."},
    {"cumprod", Running<false>, 1, 3, 1, "cumprod(A), cumprod(A, dim), cumprod(..., 'reverse')",
     "Running product, from the first element or from the last."},
    {"all", Reduce<Fold::kAll>, 1, 2, 1, "all(A), all(A, dim), all(A, vecdim), all(A, 'all')",
     "True where every element is nonzero."},
    {"any", Reduce<Fold::kAny>, 1, 2, 1, "any(A), any(A, dim), any(A, vecdim), any(A, 'all')",
     "True where some element is nonzero."},
    {"max", Extreme<true>, 1, 4, 2,
     "max(A), [m, k] = max(A), max(A, B), max(A, [], dim), max(A, [], 'all'), max(..., 'includenan')",
     "Largest elements and their positions, or the larger of two arrays; NaN passed over unless included."},
    {"min", Extreme<false>, 1, 4, 2,
     "min(A), [m, k] = min(A), min(A, B), min(A, [], dim), min(A, [], 'all'), min(..., 'includenan')",
     "Smallest elements and their positions, or the smaller of two arrays; NaN passed over unless included."},
    {"mean", Reduce<Fold::kMean>, 1, 4, 1,
     "mean(A), mean(A, dim), mean(A, vecdim), mean(A, 'all'), mean(..., 'omitnan')", "Average."},
    {"var", Var, 1, 3, 2,
     "var(A), var(A, w), var(A, w, dim), var(A, w, vecdim), var(A, w, 'all'), [V, M] = var(...)",
     "Variance, dividing by n - 1 (w 0), by n (w 1), or weighted by a vector w; M the mean."},
    {"std", Std, 1, 3, 2,
     "std(A), std(A, w), std(A, w, dim), std(A, w, vecdim), std(A, w, 'all'), [S, M] = std(...)",
     "Standard deviation, dividing by n - 1 (w 0), by n (w 1), or weighted by a vector w; M the "
     "mean."},
    {"sort", Sort, 1, 3, 2, "sort(A), sort(A, dim), sort(A, 'descend'), [B, k] = sort(A)",
     "Sorted elements and where they came from."},
    {"find", Find, 1, 3, 3,
     "k = find(A), find(A, n), find(A, n, 'last'), [i, j] = find(A), [i, j, v] = find(A)",
     "Positions of the nonzero elements, or of the first or last n of them."},
    {"nnz", Unary<NnzOf>, 1, 1, 1, "nnz(A)", "Number of nonzero elements."},
};

}  // namespace

Library DataLibrary() { return {"data", "Data analysis", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
