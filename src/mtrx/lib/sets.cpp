// src/mtrx/lib/sets.cpp: sets (of numbers, chars and texts), sorting by
// rows, running extremes and counting.
#include "evaluator.h"
#include "lib/options.h"
#include "lib/support.h"
#include "lib/texts.h"

#include <matrix/sets.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

bool IsTexts(const Value &v) { return v.IsCell() || v.tag() == Tag::String; }

Array Positions(const std::vector<std::uint32_t> &idx) {
    Array out = Array::Adopt(km::mxCreateDoubleMatrix(static_cast<unsigned int>(idx.size()), 1,
                                                      km::mxComplexityReal));
    km::DoubleSpan d = out.MutableData();
    for (std::size_t k = 0; k < idx.size(); ++k) d[k] = idx[k] + 1.0;
    return out;
}

// The options of the set functions after the arrays.
km::SetOptions SetOptionsOf(const Args &args, std::size_t first, BuiltinCall &c, bool unique) {
    km::SetOptions o;
    for (std::size_t k = first; k < args.size(); ++k) {
        const int word = WordIndex(args, k, {"stable", "sorted", "rows", "first", "last"});
        if (word == 0 || word == 1) {
            o.stable = word == 0;
        } else if (word == 2) {
            o.rows = true;
        } else if (unique && word >= 3) {
            o.last = word == 4;
        } else {
            throw Error("'" + c.name + "' takes the options " +
                        std::string(unique ? "'stable', 'sorted', 'rows', 'first' and 'last'"
                                           : "'stable', 'sorted' and 'rows'"));
        }
    }
    return o;
}

// Texts as sortable keys (UTF-16 code units, as sort orders texts).
struct TextItems {
    Texts texts;
    std::vector<std::vector<std::uint16_t>> keys;
};

TextItems TextItemsOf(const Args &args, std::size_t k) {
    TextItems t{TextsOf(args, k), {}};
    for (const std::string &s : t.texts.s.items) t.keys.push_back(TextUnits(s));
    return t;
}

km::SetGroups GroupTexts(const std::vector<std::vector<std::uint16_t>> &keys) {
    std::vector<std::uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t x, std::uint32_t y) { return keys[x] < keys[y]; });
    std::vector<char> same(order.size(), 0);
    for (std::size_t k = 1; k < order.size(); ++k) same[k] = keys[order[k]] == keys[order[k - 1]];
    return km::GroupsFromOrder(std::move(order), same);
}

// The texts idx of `items` in the form of the inputs (a string array when
// either is one, else a cell), as a row or a column.
Value TextsBack(const std::vector<std::string> &items, const std::vector<std::uint32_t> &idx, bool row,
                bool strings) {
    StringArray s;
    const unsigned int n = static_cast<unsigned int>(idx.size());
    s.dims = row ? Dims{1, n} : Dims{n, 1};
    for (std::uint32_t i : idx) s.items.push_back(items[i]);
    return Back(strings ? Texts::Form::String : Texts::Form::Cell, std::move(s));
}

bool RowDims(const Dims &d) { return d.size() == 2 && d[0] == 1; }

Outs UniqueTexts(const Args &args, BuiltinCall &c, const km::SetOptions &o) {
    TextItems t = TextItemsOf(args, 0);
    km::UniqueIndex u = km::UniqueIndices(GroupTexts(t.keys), o.stable, o.last);
    const bool strings = t.texts.form == Texts::Form::String;
    Outs out{TextsBack(t.texts.s.items, u.take, RowDims(t.texts.s.dims), strings)};
    if (c.nargout > 1) out.emplace_back(Positions(u.take));
    if (c.nargout > 2) out.emplace_back(Positions(u.ic));
    return out;
}

Outs Unique(const Args &args, BuiltinCall &c) {
    const km::SetOptions o = SetOptionsOf(args, 1, c, true);
    if (IsTexts(args[0])) return UniqueTexts(args, c, o);
    km::UniqueResult r = km::Unique(args.GetArray(0), o);
    return {std::move(r.values), std::move(r.ia), std::move(r.ic)};
}

template <km::SetOperation Op>
Outs SetOf(const Args &args, BuiltinCall &c) {
    const km::SetOptions o = SetOptionsOf(args, 2, c, false);
    if (IsTexts(args[0]) || IsTexts(args[1])) {
        TextItems a = TextItemsOf(args, 0);
        TextItems b = TextItemsOf(args, 1);
        const std::uint32_t nA = static_cast<std::uint32_t>(a.keys.size());
        std::vector<std::vector<std::uint16_t>> keys = a.keys;
        keys.insert(keys.end(), b.keys.begin(), b.keys.end());
        std::vector<std::string> items = a.texts.s.items;
        items.insert(items.end(), b.texts.s.items.begin(), b.texts.s.items.end());
        km::SetIndex s = km::SetIndices(GroupTexts(keys), nA, Op, o.stable);
        const bool row = Op == km::SetOperation::kSetdiff
                             ? RowDims(a.texts.s.dims)
                             : RowDims(a.texts.s.dims) && RowDims(b.texts.s.dims);
        const bool strings = a.texts.form == Texts::Form::String || b.texts.form == Texts::Form::String;
        return {TextsBack(items, s.take, row, strings), Positions(s.ia), Positions(s.ib)};
    }
    const Array &a = args.GetArray(0);
    const Array &b = args.GetArray(1);
    km::SetResult r = Op == km::SetOperation::kUnion       ? km::Union(a, b, o)
                      : Op == km::SetOperation::kIntersect ? km::Intersect(a, b, o)
                      : Op == km::SetOperation::kSetdiff   ? km::Setdiff(a, b, o)
                                                           : km::Setxor(a, b, o);
    if (Op == km::SetOperation::kSetdiff) return {std::move(r.values), std::move(r.ia)};
    return {std::move(r.values), std::move(r.ia), std::move(r.ib)};
}

Outs Ismember(const Args &args, BuiltinCall &c) {
    bool rows = false;
    for (std::size_t k = 2; k < args.size(); ++k) {
        if (!IsWord(args, k, "rows")) throw Error("'ismember' takes the option 'rows'");
        rows = true;
    }
    if (IsTexts(args[0]) || IsTexts(args[1])) {
        TextItems a = TextItemsOf(args, 0);
        TextItems s = TextItemsOf(args, 1);
        const std::uint32_t nA = static_cast<std::uint32_t>(a.keys.size());
        std::vector<std::vector<std::uint16_t>> keys = a.keys;
        keys.insert(keys.end(), s.keys.begin(), s.keys.end());
        std::vector<std::uint32_t> loc = km::MemberIndices(GroupTexts(keys), nA);
        const Dims dims = a.texts.form == Texts::Form::Char ? Dims{1, 1} : a.texts.s.dims;
        Array l = Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                                        km::mxClassDouble, km::mxComplexityReal));
        km::DoubleSpan d = l.MutableData();
        for (std::size_t k = 0; k < loc.size(); ++k) d[k] = loc[k];
        Array tf = Array::Adopt(km::Logical(l.get()));
        if (c.nargout < 2) return {tf};
        return {tf, l};
    }
    km::MemberResult r = km::Ismember(args.GetArray(0), args.GetArray(1), rows);
    return {std::move(r.tf), std::move(r.loc)};
}

// sortrows(A), sortrows(A, columns), sortrows(A, 'descend'); of a cell of
// texts by its texts.
Outs Sortrows(const Args &args, BuiltinCall &c) {
    std::vector<int> cols;
    bool descend = false;
    for (std::size_t k = 1; k < args.size(); ++k) {
        if (args.IsText(k)) {
            const int word = WordIndex(args, k, {"ascend", "descend"});
            if (word < 0) throw Error("'sortrows' takes 'ascend' or 'descend'");
            descend = word == 1;
        } else {
            const Array &v = args.GetArray(k);
            if (!v.IsEmpty())
                for (double x : Array::Adopt(km::Cast(v.get(), km::mxClassDouble)).ToVector()) {
                    if (x != std::floor(x) || x == 0 || std::fabs(x) > 2147483647.0)
                        throw Error("'sortrows' takes nonzero whole column numbers");
                    cols.push_back(static_cast<int>(x));
                }
        }
    }
    if (IsTexts(args[0])) {
        TextItems t = TextItemsOf(args, 0);
        const Dims &d = t.texts.s.dims;
        if (d.size() != 2 || d[1] > 1) throw Error("'sortrows' takes a cell of texts as one column");
        for (int col : cols)
            if (col != 1 && col != -1) throw Error("'sortrows' of a cell of texts takes the column 1 or -1");
        if (!cols.empty() && cols[0] < 0) descend = true;
        std::vector<std::uint32_t> order(t.keys.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
            return descend ? t.keys[y] < t.keys[x] : t.keys[x] < t.keys[y];
        });
        Outs out{TextsBack(t.texts.s.items, order, false, t.texts.form == Texts::Form::String)};
        if (c.nargout > 1) out.emplace_back(Positions(order));
        return out;
    }
    const Array &a = args.GetArray(0);
    if (descend) {
        if (cols.empty())
            for (unsigned int j = 1; j <= a.Cols(); ++j) cols.push_back(static_cast<int>(j));
        for (int &col : cols) col = -col;
    }
    km::ValuesPositions r = km::Sortrows(a, cols);
    return {std::move(r.values), std::move(r.positions)};
}

// issorted(A), issorted(A, 'descend'), issorted(A, 'rows'), issorted(A,
// 'rows', 'descend'), and the direction 'ascend'.
Outs Issorted(const Args &args, BuiltinCall &) {
    bool rows = false;
    km::SortOrder order = km::SortOrder::kAscend;
    for (std::size_t k = 1; k < args.size(); ++k) {
        const int word = WordIndex(args, k, {"rows", "ascend", "descend"});
        if (word == 0) {
            rows = true;
        } else if (word > 0) {
            order = word == 2 ? km::SortOrder::kDescend : km::SortOrder::kAscend;
        } else {
            throw Error("'issorted' takes 'ascend', 'descend' and 'rows'");
        }
    }
    if (IsTexts(args[0])) {
        TextItems t = TextItemsOf(args, 0);
        bool sorted = true;
        for (std::size_t k = 1; k < t.keys.size() && sorted; ++k)
            sorted = order == km::SortOrder::kAscend ? !(t.keys[k] < t.keys[k - 1]) : !(t.keys[k - 1] < t.keys[k]);
        return {Logical(sorted)};
    }
    const Array &a = args.GetArray(0);
    return {Logical(rows ? km::IssortedRows(a, order) : km::Issorted(a, order))};
}

Outs Nonzeros(const Args &args, BuiltinCall &) { return {km::Nonzeros(args.GetArray(0))}; }

// cummax(A), cummax(A, dim), each with 'forward' or 'reverse' last.
template <bool IsMax>
Outs Cumulative(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    bool reverse = false;
    const std::size_t n = TakeDirection(args, reverse);
    if (n > 1) {
        const km::Dim dim(args.GetLength(1));
        return {IsMax ? km::Cummax(a, dim, reverse) : km::Cummin(a, dim, reverse)};
    }
    return {IsMax ? km::Cummax(a, reverse) : km::Cummin(a, reverse)};
}

Outs Histc(const Args &args, BuiltinCall &) {
    const unsigned int dim = GetDimension(args, 2);
    km::CountsBins r = km::Histc(args.GetArray(0), args.GetArray(1), dim);
    return {std::move(r.counts), std::move(r.bins)};
}

// histcounts(x), histcounts(x, nbins), histcounts(x, edges), then the
// names 'Normalization', 'BinEdges' and 'NumBins' with their values.
Outs Histcounts(const Args &args, BuiltinCall &) {
    const Array &x = args.GetArray(0);
    std::size_t k = 1;
    km::Histogram h;
    bool binned = false;
    auto bins = [&](const Array &binning) {
        if (binning.Numel() == 1) {
            const double n = binning.Scalar();
            if (!(n >= 1 && n == std::floor(n) && n <= 1e7))
                throw Error("'histcounts' takes a positive whole number of bins");
            h = km::Histcounts(x, static_cast<unsigned int>(n));
        } else {
            h = km::Histcounts(x, binning);
        }
        binned = true;
    };
    if (args.Has(1) && !args.IsText(1)) {
        bins(args.GetArray(1));
        k = 2;
    }
    km::HistNormalization how = km::HistNormalization::kCount;
    for (; k < args.size(); k += 2) {
        const std::string name = args.IsText(k) ? args.GetText(k) : std::string();
        if (!args.Has(k + 1)) throw Error("'histcounts' takes names each with a value");
        if (name == "Normalization") {
            const std::string v = args.GetText(k + 1);
            if (v == "count") how = km::HistNormalization::kCount;
            else if (v == "probability") how = km::HistNormalization::kProbability;
            else if (v == "pdf") how = km::HistNormalization::kPdf;
            else if (v == "cdf") how = km::HistNormalization::kCdf;
            else if (v == "countdensity") how = km::HistNormalization::kCountDensity;
            else if (v == "cumcount") how = km::HistNormalization::kCumCount;
            else
                throw Error("'histcounts' normalises by 'count', 'probability', 'pdf', 'cdf', 'countdensity' or "
                            "'cumcount'");
        } else if (name == "BinEdges" || name == "NumBins") {
            bins(args.GetArray(k + 1));
        } else {
            throw Error("'histcounts' takes the names 'Normalization', 'BinEdges' and 'NumBins'");
        }
    }
    if (!binned) h = km::Histcounts(x);
    Array counts = km::Normalized(h, x.Numel(), how);
    return {counts, std::move(h.edges), std::move(h.bins)};
}

km::AccumOp OpOf(const Handle &f, bool &known) {
    known = f.anon == nullptr;
    if (f.name == "sum") return km::AccumOp::kSum;
    if (f.name == "prod") return km::AccumOp::kProd;
    if (f.name == "max") return km::AccumOp::kMax;
    if (f.name == "min") return km::AccumOp::kMin;
    if (f.name == "mean") return km::AccumOp::kMean;
    known = false;
    return km::AccumOp::kSum;
}

// accumarray(subs, val), accumarray(subs, val, sz), accumarray(subs, val,
// sz, fun), accumarray(subs, val, sz, fun, fillval); sz and fun may be [].
Outs Accumarray(const Args &args, BuiltinCall &c) {
    const Array &subs = args.GetArray(0);
    const Array &val = args.GetArray(1);
    std::vector<unsigned int> size;
    if (args.Has(2) && !(args[2].IsArray() && args.GetArray(2).IsEmpty())) size = args.GetLengths(2);
    double fill = 0.0;
    if (args.Has(4)) fill = args.GetScalar(4);
    const Handle *f = nullptr;
    if (args.Has(3) && !(args[3].IsArray() && args.GetArray(3).IsEmpty())) f = &args.GetHandle(3);
    bool known = true;
    const km::AccumOp op = f ? OpOf(*f, known) : km::AccumOp::kSum;
    if (known) return {km::Accumarray(subs, val, size, op, fill)};
    // Any other function is called once per position a row names, on the
    // column of its values in the order of the rows.
    std::vector<unsigned int> dims;
    const std::vector<std::uint32_t> pos = km::AccumPositions(subs, size, dims);
    if (val.Numel() != 1 && val.Numel() != pos.size())
        throw Error("'accumarray' takes one value or one per subscript row");
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    Array out = Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                                      km::mxClassDouble, km::mxComplexityReal));
    km::DoubleSpan r = out.MutableData();
    std::vector<std::vector<std::uint32_t>> rows(r.size);
    for (std::size_t i = 0; i < pos.size(); ++i) rows[pos[i]].push_back(static_cast<std::uint32_t>(i));
    for (std::size_t k = 0; k < r.size; ++k) {
        if (rows[k].empty()) {
            r[k] = fill;
            continue;
        }
        Array which = val.Numel() == 1 ? Array::Adopt(km::mxCreateDoubleMatrix(
                                             static_cast<unsigned int>(rows[k].size()), 1, km::mxComplexityReal))
                                       : Positions(rows[k]);
        if (val.Numel() == 1) std::fill(which.MutableData().begin(), which.MutableData().end(), 1.0);
        Array values = km::Reshape(Array::Adopt(km::Indexref(val.get(), which.get())),
                                   static_cast<unsigned int>(rows[k].size()), 1);
        std::vector<Value> got = c.evaluator.Invoke(args[3], {Value(values)}, 1);
        if (got.empty() || !got[0].IsArray() || got[0].array().Numel() != 1)
            throw Error("'accumarray': the function must return one number for each position");
        r[k] = got[0].array().Scalar();
    }
    return {out};
}

const BuiltinEntry kEntries[] = {
    {"unique", Unique, 1, 4, 3,
     "C = unique(A), [C, ia, ic] = unique(A), unique(A, 'stable'), unique(A, 'rows'), unique(A, 'last')",
     "Distinct elements (or rows, or texts), sorted or in order of appearance, with C = A(ia), A = C(ic)."},
    {"union", SetOf<km::SetOperation::kUnion>, 2, 4, 3,
     "C = union(A, B), [C, ia, ib] = union(A, B), union(A, B, 'stable'), union(A, B, 'rows')",
     "Elements in either array, each once."},
    {"intersect", SetOf<km::SetOperation::kIntersect>, 2, 4, 3,
     "C = intersect(A, B), [C, ia, ib] = intersect(A, B), intersect(..., 'stable'), intersect(..., 'rows')",
     "Elements in both arrays, each once."},
    {"setdiff", SetOf<km::SetOperation::kSetdiff>, 2, 4, 2,
     "C = setdiff(A, B), [C, ia] = setdiff(A, B), setdiff(..., 'stable'), setdiff(..., 'rows')",
     "Elements of A that are not in B, each once."},
    {"setxor", SetOf<km::SetOperation::kSetxor>, 2, 4, 3,
     "C = setxor(A, B), [C, ia, ib] = setxor(A, B), setxor(..., 'stable'), setxor(..., 'rows')",
     "Elements in exactly one of the arrays, each once."},
    {"ismember", Ismember, 2, 3, 2, "tf = ismember(A, S), [tf, loc] = ismember(A, S), ismember(A, S, 'rows')",
     "True where an element of A is in S, with its lowest position there."},
    {"sortrows", Sortrows, 1, 3, 2,
     "B = sortrows(A), sortrows(A, cols), sortrows(A, 'descend'), [B, i] = sortrows(A)",
     "Rows sorted by the columns given (negative ones descending), stable."},
    {"issorted", Issorted, 1, 3, 1, "issorted(A), issorted(A, 'descend'), issorted(A, 'rows')",
     "True when the elements (or rows) are in sorted order."},
    {"nonzeros", Nonzeros, 1, 1, 1, "v = nonzeros(A)", "The nonzero elements as a column."},
    {"cummax", Cumulative<true>, 1, 3, 1, "cummax(A), cummax(A, dim), cummax(..., 'reverse')",
     "Running maximum, NaN passed over."},
    {"cummin", Cumulative<false>, 1, 3, 1, "cummin(A), cummin(A, dim), cummin(..., 'reverse')",
     "Running minimum, NaN passed over."},
    {"histc", Histc, 2, 3, 2, "n = histc(x, edges), histc(x, edges, dim), [n, bin] = histc(...)",
     "Counts between edges, the last edge a bin of its own."},
    {"histcounts", Histcounts, 1, 7, 3,
     "N = histcounts(x), histcounts(x, nbins), histcounts(x, edges), [N, edges, bin] = histcounts(...), "
     "histcounts(..., 'Normalization', how)",
     "Histogram counts; automatic bins: width 1 for whole numbers spanning at most 50, else Scott's "
     "width made 1, 2, 3, 5 or 10 times a power of ten."},
    {"accumarray", Accumarray, 2, 5, 1,
     "A = accumarray(subs, val), accumarray(subs, val, sz), accumarray(subs, val, sz, fun, fillval)",
     "Values gathered by subscript and combined (sum by default, or fun per position)."},
};

}  // namespace

Library SetsLibrary() { return {"sets", "Sets, sorting by rows and counting", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
