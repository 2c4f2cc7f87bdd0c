// src/mtrx/lib/data.cpp: data analysis: sums and products, extremes,
// searching, statistics and sorting.
#include "lib/stats.h"
#include "lib/support.h"
#include "lib/texts.h"

namespace mtrx {

namespace km = kiv::matrix;

namespace {

template <Array (*F)(const Array &), Array (*FDim)(const Array &, unsigned int)>
Outs Reduction(const Args &args, BuiltinCall &) {
    if (args.size() == 1) return {F(args.GetArray(0))};
    return {FDim(args.GetArray(0), args.GetLength(1))};
}

template <bool IsMax>
Outs Extreme(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
    if (args.size() == 2) {
        if (c.nargout > 1) throw Error("'" + c.name + "' of two arrays has one output");
        return {IsMax ? km::Max(a, args.GetArray(1)) : km::Min(a, args.GetArray(1))};
    }
    if (args.size() == 3 && !args.GetArray(1).IsEmpty())
        throw Error("'" + c.name + "' with a dimension takes [] as its second argument");
    km::ValuesPositions r = args.size() == 3 ? (IsMax ? km::Max(a, km::Dim(args.GetLength(2)))
                                                      : km::Min(a, km::Dim(args.GetLength(2))))
                                             : (IsMax ? km::Max(a) : km::Min(a));
    if (c.nargout < 2) return {std::move(r.values)};
    return {std::move(r.values), std::move(r.positions)};
}

Array SumAll(const Array &a) { return km::Sum(a); }
Array SumDim(const Array &a, unsigned int d) { return km::Sum(a, km::Dim(d)); }
Array ProdAll(const Array &a) { return km::Prod(a); }
Array ProdDim(const Array &a, unsigned int d) { return km::Prod(a, km::Dim(d)); }
Array AllOf(const Array &a) { return km::All(a); }
Array AllDim(const Array &a, unsigned int d) { return km::All(a, km::Dim(d)); }
Array AnyOf(const Array &a) { return km::Any(a); }
Array AnyDim(const Array &a, unsigned int d) { return km::Any(a, km::Dim(d)); }
Array CumsumAll(const Array &a) { return km::Cumsum(a); }
Array CumsumDim(const Array &a, unsigned int d) { return km::Cumsum(a, km::Dim(d)); }
Array CumprodAll(const Array &a) { return km::Cumprod(a); }
Array CumprodDim(const Array &a, unsigned int d) { return km::Cumprod(a, km::Dim(d)); }
Array MeanAll(const Array &a) { return km::Mean(a); }
Array MeanDim(const Array &a, unsigned int d) { return km::Mean(a, km::Dim(d)); }
Array NnzOf(const Array &a) { return Array(km::Nnz(a)); }

Outs Var(const Args &args, BuiltinCall &) { return Spread(args, false); }
Outs Std(const Args &args, BuiltinCall &) { return Spread(args, true); }

Outs Find(const Args &args, BuiltinCall &c) {
    const Array &a = args.GetArray(0);
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
            const std::string word = args.GetText(k);
            if (word != "ascend" && word != "descend")
                throw Error("'sort' takes 'ascend' or 'descend'");
            order = word == "descend" ? km::SortOrder::kDescend : km::SortOrder::kAscend;
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
    {"sum", Reduction<SumAll, SumDim>, 1, 2, 1, "sum(A), sum(A, dim)",
     "Sum along the first non-singleton dimension, or along dim."},
    {"prod", Reduction<ProdAll, ProdDim>, 1, 2, 1, "prod(A), prod(A, dim)",
     "Product along the first non-singleton dimension, or along dim."},
    {"cumsum", Reduction<CumsumAll, CumsumDim>, 1, 2, 1, "cumsum(A), cumsum(A, dim)",
     "Running sum."},
    {"cumprod", Reduction<CumprodAll, CumprodDim>, 1, 2, 1, "cumprod(A), cumprod(A, dim)",
     "Running product."},
    {"all", Reduction<AllOf, AllDim>, 1, 2, 1, "all(A), all(A, dim)",
     "True where every element is nonzero."},
    {"any", Reduction<AnyOf, AnyDim>, 1, 2, 1, "any(A), any(A, dim)",
     "True where some element is nonzero."},
    {"max", Extreme<true>, 1, 3, 2, "max(A), [m, k] = max(A), max(A, B), max(A, [], dim)",
     "Largest elements and their positions, or the larger of two arrays."},
    {"min", Extreme<false>, 1, 3, 2, "min(A), [m, k] = min(A), min(A, B), min(A, [], dim)",
     "Smallest elements and their positions, or the smaller of two arrays."},
    {"mean", Reduction<MeanAll, MeanDim>, 1, 2, 1, "mean(A), mean(A, dim)", "Average."},
    {"var", Var, 1, 3, 1, "var(A), var(A, w), var(A, w, dim), var(A, w, vecdim), var(A, w, 'all')",
     "Variance, dividing by n - 1 (w 0), by n (w 1), or weighted by a vector w."},
    {"std", Std, 1, 3, 1, "std(A), std(A, w), std(A, w, dim), std(A, w, vecdim), std(A, w, 'all')",
     "Standard deviation, dividing by n - 1 (w 0), by n (w 1), or weighted by a vector w."},
    {"sort", Sort, 1, 3, 2, "sort(A), sort(A, dim), sort(A, 'descend'), [B, k] = sort(A)",
     "Sorted elements and where they came from."},
    {"find", Find, 1, 1, 3, "k = find(A), [i, j] = find(A), [i, j, v] = find(A)",
     "Positions of the nonzero elements."},
    {"nnz", Unary<NnzOf>, 1, 1, 1, "nnz(A)", "Number of nonzero elements."},
};

}  // namespace

Library DataLibrary() { return {"data", "Data analysis", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
