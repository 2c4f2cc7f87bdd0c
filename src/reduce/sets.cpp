// src/reduce/sets.cpp: the set functions, sorting by rows, searching with a
// count, running extremes and counting (sets.h).
#include <matrix/sets.h>

#include <kiv/exception.h>
#include <matrix/concat.h>
#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/index.h>
#include <matrix/mx.h>
#include <matrix/shape.h>

#include "reduce/dimension_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <numeric>
#include <string>
#include <type_traits>
#include <vector>

namespace kiv {
namespace matrix {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Calls f(re, im) with the typed parts of A (im null when A is real).
template <typename F>
void WithParts(const CMatrix *A, F &&f) {
    const void *re = A->GetPr();
    const void *im = A->IsComplex() ? A->GetPi() : nullptr;
    switch (A->GetClassID()) {
        case mxClassDouble: f(static_cast<const double *>(re), static_cast<const double *>(im)); return;
        case mxClassSingle: f(static_cast<const float *>(re), static_cast<const float *>(im)); return;
        case mxClassInt8: f(static_cast<const std::int8_t *>(re), static_cast<const std::int8_t *>(im)); return;
        case mxClassUint8: f(static_cast<const std::uint8_t *>(re), static_cast<const std::uint8_t *>(im)); return;
        case mxClassInt16: f(static_cast<const std::int16_t *>(re), static_cast<const std::int16_t *>(im)); return;
        case mxClassUint16:
            f(static_cast<const std::uint16_t *>(re), static_cast<const std::uint16_t *>(im));
            return;
        case mxClassInt32: f(static_cast<const std::int32_t *>(re), static_cast<const std::int32_t *>(im)); return;
        case mxClassUint32:
            f(static_cast<const std::uint32_t *>(re), static_cast<const std::uint32_t *>(im));
            return;
        case mxClassInt64: f(static_cast<const std::int64_t *>(re), static_cast<const std::int64_t *>(im)); return;
        case mxClassUint64:
            f(static_cast<const std::uint64_t *>(re), static_cast<const std::uint64_t *>(im));
            return;
        case mxClassChar: f(static_cast<const std::uint16_t *>(re), static_cast<const std::uint16_t *>(im)); return;
        default: throw CNotImplementedException();
    }
}

void CheckNumbers(const CMatrix *A) {
    WithParts(A, [](auto, auto) {});
}

// Element i of A equals element j (both parts for complex).
struct ElementEqual {
    template <typename T>
    static bool Equal(const T *re, const T *im, std::size_t i, std::size_t j) {
        return re[i] == re[j] && (im == nullptr || im[i] == im[j]);
    }
};

Array Indices1(const std::vector<std::uint32_t> &idx, bool row) {
    const unsigned int n = static_cast<unsigned int>(idx.size());
    Array out = Array::Adopt(row ? mxCreateDoubleMatrix(1, n, mxComplexityReal) : mxCreateDoubleMatrix(n, 1, mxComplexityReal));
    DoubleSpan d = out.MutableData();
    for (std::size_t k = 0; k < idx.size(); ++k) d[k] = static_cast<double>(idx[k]) + 1.0;
    return out;
}

Array ColumnOf(const Array &a) { return Reshape(a, a.Numel(), 1); }

Array Shaped2(const Array &a, unsigned int m, unsigned int n) { return Reshape(a, m, n); }

// Elements gathered from a logical array stay logical.
Array LogicalLike(const Array &source, Array taken) {
    if (source.IsLogical() && !taken.IsLogical()) mxSetLogical(taken.get());
    return taken;
}

// The elements idx (0-based) of A in column-major order, as a row or a
// column.
Array TakeElements(const Array &a, const std::vector<std::uint32_t> &idx, bool row) {
    Array index = Indices1(idx, false);
    Array taken = Array::Adopt(Indexref(a.get(), index.get()));
    const unsigned int n = static_cast<unsigned int>(idx.size());
    return LogicalLike(a, row ? Shaped2(taken, 1, n) : Shaped2(taken, n, 1));
}

Array TakeRows(const Array &a, const std::vector<std::uint32_t> &idx) {
    Array rows = Indices1(idx, false);
    std::vector<std::uint32_t> cols(a.Cols());
    std::iota(cols.begin(), cols.end(), 0u);
    Array columns = Indices1(cols, true);
    Array taken = Array::Adopt(Indexref(a.get(), rows.get(), columns.get()));
    return LogicalLike(a, Shaped2(taken, static_cast<unsigned int>(idx.size()), a.Cols()));
}

bool IsRowVector(const Array &a) { return a.NDims() == 2 && a.Rows() == 1; }
bool Is00(const Array &a) { return a.NDims() == 2 && a.Rows() == 0 && a.Cols() == 0; }

void CheckTwoDims(const Array &a, const wchar_t *message) {
    if (a.NDims() != 2) throw CFunctionErrorException(message);
}

std::vector<std::uint32_t> Identity(std::size_t n) {
    std::vector<std::uint32_t> v(n);
    std::iota(v.begin(), v.end(), 0u);
    return v;
}

}  // namespace

// ---------------------------------------------------------------------------
// The index engine.

SetGroups GroupsFromOrder(std::vector<std::uint32_t> order, const std::vector<char> &sameAsPrevious) {
    SetGroups g;
    g.group.assign(order.size(), 0);
    std::uint32_t id = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && !sameAsPrevious[k]) ++id;
        g.group[order[k]] = id;
    }
    g.count = order.empty() ? 0 : id + 1;
    g.order = std::move(order);
    return g;
}

SetGroups GroupElements(const Array &a) {
    CheckNumbers(a.get());
    const std::size_t n = a.Numel();
    std::vector<std::uint32_t> order(n);
    std::vector<char> same(n, 0);
    if (n == 0) return GroupsFromOrder(std::move(order), same);
    ValuesPositions s = Sort(ColumnOf(a), Dim(1));
    const double *pos = s.positions.Data();
    for (std::size_t k = 0; k < n; ++k) order[k] = static_cast<std::uint32_t>(pos[k]) - 1;
    WithParts(s.values.get(), [&](auto re, auto im) {
        for (std::size_t k = 1; k < n; ++k) same[k] = ElementEqual::Equal(re, im, k, k - 1);
    });
    return GroupsFromOrder(std::move(order), same);
}

SetGroups GroupRows(const Array &a) {
    CheckTwoDims(a, L"With 'rows' the arrays must be two-dimensional");
    CheckNumbers(a.get());
    std::vector<std::uint32_t> order = SortrowsOrder(a);
    const std::size_t m = a.Rows();
    const std::size_t c = a.Cols();
    std::vector<char> same(m, 1);
    if (m != 0) same[0] = 0;
    WithParts(a.get(), [&](auto re, auto im) {
        for (std::size_t k = 1; k < m; ++k) {
            bool eq = true;
            for (std::size_t j = 0; j < c && eq; ++j)
                eq = ElementEqual::Equal(re, im, j * m + order[k], j * m + order[k - 1]);
            same[k] = eq;
        }
    });
    return GroupsFromOrder(std::move(order), same);
}

UniqueIndex UniqueIndices(const SetGroups &g, bool stable, bool last) {
    const std::size_t n = g.group.size();
    std::vector<std::uint32_t> rep(g.count, kNone);
    for (std::uint32_t item : g.order) {
        std::uint32_t &r = rep[g.group[item]];
        if (r == kNone || last) r = item;  // stable order: the first is the lowest, the last the highest
    }
    UniqueIndex u;
    std::vector<std::uint32_t> where(g.count);
    if (!stable) {
        u.take = rep;
        std::iota(where.begin(), where.end(), 0u);
    } else {
        std::vector<char> seen(g.count, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t gi = g.group[i];
            if (seen[gi]) continue;
            seen[gi] = 1;
            where[gi] = static_cast<std::uint32_t>(u.take.size());
            u.take.push_back(rep[gi]);
        }
    }
    u.ic.resize(n);
    for (std::size_t i = 0; i < n; ++i) u.ic[i] = where[g.group[i]];
    return u;
}

SetIndex SetIndices(const SetGroups &g, std::uint32_t nA, SetOperation op, bool stable) {
    std::vector<std::uint32_t> firstA(g.count, kNone), firstB(g.count, kNone);
    for (std::uint32_t item : g.order) {
        std::vector<std::uint32_t> &f = item < nA ? firstA : firstB;
        if (f[g.group[item]] == kNone) f[g.group[item]] = item;
    }
    auto chosen = [&](std::uint32_t gi) {
        const bool inA = firstA[gi] != kNone, inB = firstB[gi] != kNone;
        switch (op) {
            case SetOperation::kUnion: return true;
            case SetOperation::kIntersect: return inA && inB;
            case SetOperation::kSetdiff: return inA && !inB;
            case SetOperation::kSetxor: return inA != inB;
        }
        return false;
    };
    std::vector<std::uint32_t> groups;
    if (!stable) {
        for (std::uint32_t gi = 0; gi < g.count; ++gi)
            if (chosen(gi)) groups.push_back(gi);
    } else {
        std::vector<char> seen(g.count, 0);
        for (std::size_t i = 0; i < g.group.size(); ++i) {
            const std::uint32_t gi = g.group[i];
            if (seen[gi]) continue;
            seen[gi] = 1;
            if (chosen(gi)) groups.push_back(gi);
        }
    }
    SetIndex s;
    for (std::uint32_t gi : groups) {
        if (firstA[gi] != kNone) {
            s.take.push_back(firstA[gi]);
            s.ia.push_back(firstA[gi]);
            if (op == SetOperation::kIntersect) s.ib.push_back(firstB[gi] - nA);
        } else {
            s.take.push_back(firstB[gi]);
            s.ib.push_back(firstB[gi] - nA);
        }
    }
    return s;
}

std::vector<std::uint32_t> MemberIndices(const SetGroups &g, std::uint32_t nA) {
    std::vector<std::uint32_t> firstS(g.count, kNone);
    for (std::uint32_t item : g.order)
        if (item >= nA && firstS[g.group[item]] == kNone) firstS[g.group[item]] = item - nA;
    std::vector<std::uint32_t> loc(nA);
    for (std::uint32_t i = 0; i < nA; ++i) {
        const std::uint32_t f = firstS[g.group[i]];
        loc[i] = f == kNone ? 0 : f + 1;
    }
    return loc;
}

// ---------------------------------------------------------------------------
// Set functions of arrays.

UniqueResult Unique(const Array &a, SetOptions o) {
    if (o.rows) CheckTwoDims(a, L"Unique: with 'rows' the array must be two-dimensional");
    SetGroups g = o.rows ? GroupRows(a) : GroupElements(a);
    UniqueIndex u = UniqueIndices(g, o.stable, o.last);
    UniqueResult r;
    if (o.rows) {
        r.values = TakeRows(a, u.take);
    } else if (Is00(a)) {
        r.values = Reshape(a, 0u, 0u);
    } else {
        r.values = TakeElements(a, u.take, IsRowVector(a));
    }
    r.ia = Indices1(u.take, false);
    r.ic = Indices1(u.ic, false);
    return r;
}

namespace {

SetResult Combine(const Array &a, const Array &b, SetOptions o, SetOperation op) {
    if (o.rows && (a.NDims() != 2 || b.NDims() != 2 || (a.Cols() != b.Cols() && !Is00(a) && !Is00(b)))) {
        const wchar_t *name = op == SetOperation::kUnion       ? L"Union"
                              : op == SetOperation::kIntersect ? L"Intersect"
                              : op == SetOperation::kSetdiff   ? L"Setdiff"
                                                               : L"Setxor";
        const std::wstring m =
            std::wstring(name) + L": with 'rows' both arrays must be two-dimensional with the same number of columns";
        throw CFunctionErrorException(m.c_str());
    }
    CheckNumbers(a.get());
    CheckNumbers(b.get());
    const Array aItems = o.rows ? a : ColumnOf(a);
    const Array bItems = o.rows ? b : ColumnOf(b);
    Array joined = Array::Adopt(Vertcat(aItems.get(), bItems.get()));
    const std::uint32_t nA = o.rows ? a.Rows() : a.Numel();
    SetGroups g = o.rows ? GroupRows(joined) : GroupElements(joined);
    SetIndex s = SetIndices(g, nA, op, o.stable);
    SetResult r;
    if (o.rows) {
        r.values = TakeRows(joined, s.take);
    } else {
        const bool bothEmpty = Is00(a) && (Is00(b) || op == SetOperation::kSetdiff);
        const bool row = op == SetOperation::kSetdiff ? IsRowVector(a) || Is00(a)
                                                      : (IsRowVector(a) || Is00(a)) && (IsRowVector(b) || Is00(b));
        r.values = bothEmpty ? Reshape(joined, 0u, 0u)
                             : TakeElements(joined, s.take, row);
    }
    r.ia = Indices1(s.ia, false);
    r.ib = Indices1(s.ib, false);
    return r;
}

}  // namespace

SetResult Union(const Array &a, const Array &b, SetOptions o) { return Combine(a, b, o, SetOperation::kUnion); }
SetResult Intersect(const Array &a, const Array &b, SetOptions o) {
    return Combine(a, b, o, SetOperation::kIntersect);
}
SetResult Setdiff(const Array &a, const Array &b, SetOptions o) { return Combine(a, b, o, SetOperation::kSetdiff); }
SetResult Setxor(const Array &a, const Array &b, SetOptions o) { return Combine(a, b, o, SetOperation::kSetxor); }

MemberResult Ismember(const Array &a, const Array &s, bool rows) {
    if (rows && (a.NDims() != 2 || s.NDims() != 2 || (a.Cols() != s.Cols() && !Is00(s))))
        throw CFunctionErrorException(
            L"Ismember: with 'rows' both arrays must be two-dimensional with the same number of columns");
    CheckNumbers(a.get());
    CheckNumbers(s.get());
    const std::uint32_t nA = rows ? a.Rows() : a.Numel();
    std::vector<std::uint32_t> loc(nA, 0);
    if (!rows) {
        Array joined = Array::Adopt(Vertcat(ColumnOf(a).get(), ColumnOf(s).get()));
        loc = MemberIndices(GroupElements(joined), nA);
    } else if (!Is00(s) && !Is00(a)) {
        Array joined = Array::Adopt(Vertcat(a.get(), s.get()));
        loc = MemberIndices(GroupRows(joined), nA);
    }
    MemberResult r;
    std::vector<unsigned int> dims = rows ? std::vector<unsigned int>{nA, 1u} : a.Dims();
    r.loc = Array::Adopt(mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(), mxClassDouble,
                                              mxComplexityReal));
    DoubleSpan l = r.loc.MutableData();
    for (std::size_t i = 0; i < nA; ++i) l[i] = loc[i];
    r.tf = Array::Adopt(Logical(r.loc.get()));
    return r;
}

CMatrix *Unique(const CMatrix *A) { return Unique(Array::Share(A)).values.release(); }
CMatrix *Union(const CMatrix *A, const CMatrix *B) {
    return Union(Array::Share(A), Array::Share(B)).values.release();
}
CMatrix *Intersect(const CMatrix *A, const CMatrix *B) {
    return Intersect(Array::Share(A), Array::Share(B)).values.release();
}
CMatrix *Setdiff(const CMatrix *A, const CMatrix *B) {
    return Setdiff(Array::Share(A), Array::Share(B)).values.release();
}
CMatrix *Setxor(const CMatrix *A, const CMatrix *B) {
    return Setxor(Array::Share(A), Array::Share(B)).values.release();
}
CMatrix *Ismember(const CMatrix *A, const CMatrix *S) {
    return Ismember(Array::Share(A), Array::Share(S)).tf.release();
}

// ---------------------------------------------------------------------------
// Sorting by rows.

std::vector<std::uint32_t> SortrowsOrder(const Array &a, const std::vector<int> &columns) {
    CheckTwoDims(a, L"Sortrows: the array must have two dimensions");
    CheckNumbers(a.get());
    const unsigned int m = a.Rows();
    const unsigned int c = a.Cols();
    std::vector<int> cols = columns;
    if (cols.empty())
        for (unsigned int j = 1; j <= c; ++j) cols.push_back(static_cast<int>(j));
    for (int k : cols)
        if (k == 0 || static_cast<unsigned int>(k < 0 ? -k : k) > c)
            throw CFunctionErrorException(L"Sortrows: the column numbers must be nonzero and at most the number of columns");
    std::vector<std::uint32_t> order = Identity(m);
    if (m < 2) return order;
    // Stable sorts from the last key to the first: rows equal in the later
    // keys keep the order the earlier sorts gave them.
    for (std::size_t k = cols.size(); k-- > 0;) {
        const unsigned int j = static_cast<unsigned int>(cols[k] < 0 ? -cols[k] : cols[k]);
        Array rows = Indices1(order, false);
        Array column(static_cast<double>(j));
        Array keys = Array::Adopt(Indexref(a.get(), rows.get(), column.get()));
        ValuesPositions s = Sort(keys, Dim(1), cols[k] < 0 ? SortOrder::kDescend : SortOrder::kAscend);
        const double *p = s.positions.Data();
        std::vector<std::uint32_t> next(m);
        for (unsigned int i = 0; i < m; ++i) next[i] = order[static_cast<std::size_t>(p[i]) - 1];
        order.swap(next);
    }
    return order;
}

ValuesPositions Sortrows(const Array &a, const std::vector<int> &columns) {
    std::vector<std::uint32_t> order = SortrowsOrder(a, columns);
    return {TakeRows(a, order), Indices1(order, false)};
}

CMatrix *Sortrows(const CMatrix *A) { return Sortrows(Array::Share(A)).values.release(); }

bool Issorted(const Array &a, SortOrder order) {
    CheckNumbers(a.get());
    if (a.Numel() < 2) return true;
    const bool vector = a.NDims() == 2 && (a.Rows() == 1 || a.Cols() == 1);
    ValuesPositions s = vector ? Sort(ColumnOf(a), Dim(1), order) : Sort(a, Dim(1), order);
    const double *p = s.positions.Data();
    const std::size_t m = vector ? a.Numel() : a.Rows();
    for (std::size_t k = 0; k < a.Numel(); ++k)
        if (p[k] != static_cast<double>(k % m + 1)) return false;
    return true;
}

bool IssortedRows(const Array &a, SortOrder order) {
    std::vector<int> cols;
    for (unsigned int j = 1; j <= a.Cols(); ++j)
        cols.push_back(order == SortOrder::kDescend ? -static_cast<int>(j) : static_cast<int>(j));
    std::vector<std::uint32_t> o = SortrowsOrder(a, cols);
    for (std::size_t k = 0; k < o.size(); ++k)
        if (o[k] != k) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Searching.

namespace {

// The positions 1..n of Find's output to keep.
Array KeptPart(unsigned int n, unsigned int k, FindDirection direction) {
    const unsigned int keep = std::min(n, k);
    std::vector<std::uint32_t> idx(keep);
    std::iota(idx.begin(), idx.end(), direction == FindDirection::kFirst ? 0u : n - keep);
    return Indices1(idx, false);
}

Array Kept(const Array &found, unsigned int k, FindDirection direction) {
    if (found.Numel() <= k) return found;
    Array idx = KeptPart(found.Numel(), k, direction);
    return Array::Adopt(Indexref(found.get(), idx.get()));
}

}  // namespace

Array Find(const Array &a, unsigned int k, FindDirection direction) { return Kept(Find(a), k, direction); }

ThreeArrays FindRowsColsValues(const Array &a, unsigned int k, FindDirection direction) {
    ThreeArrays all = FindRowsColsValues(a);
    return {Kept(all.first, k, direction), Kept(all.second, k, direction), Kept(all.third, k, direction)};
}

Array Nonzeros(const Array &a) {
    Array positions = Find(a);
    Array values = Array::Adopt(Indexref(a.get(), positions.get()));
    return Reshape(values, values.Numel(), 1);
}

// ---------------------------------------------------------------------------
// Running extremes.

namespace {

template <typename T>
bool IsNaNValue(T x) {
    if constexpr (std::is_floating_point_v<T>) {
        return std::isnan(x);
    } else {
        (void)x;
        return false;
    }
}

template <bool kMax>
Array RunningExtreme(const Array &a, unsigned int dim, bool reverse) {
    if (dim == 0) throw CFunctionErrorException(L"Dimension argument must be a positive integer");
    CheckNumbers(a.get());
    if (a.get()->IsComplex())
        throw CFunctionErrorException(kMax ? L"Cummax: complex arrays are not supported"
                                           : L"Cummin: complex arrays are not supported");
    Array source = a.ClassID() == mxClassChar ? Array::Adopt(Cast(a.get(), mxClassDouble)) : a;
    CMatrix *out = source.get()->CreateShareArray();
    Array result = Array::Adopt(out);
    if (dim > source.NDims() || source.Size(dim) < 2 || source.IsEmpty()) return result;
    out->GetOwnCopy();
    const unsigned int *len = source.get()->GetDimensions();
    std::size_t stride = 1;
    for (unsigned int d = 0; d + 1 < dim; ++d) stride *= len[d];
    const std::size_t L = len[dim - 1];
    const std::size_t outer = source.Numel() / (stride * L);
    auto run = [&](auto *data) {
        using T = std::remove_pointer_t<decltype(data)>;
        for (std::size_t o = 0; o < outer; ++o)
            for (std::size_t s = 0; s < stride; ++s) {
                T *base = data + o * stride * L + s;
                bool have = false;
                T best{};
                for (std::size_t j = 0; j < L; ++j) {
                    T &x = base[(reverse ? L - 1 - j : j) * stride];
                    if (IsNaNValue(x)) {
                        if (have) x = best;
                        continue;
                    }
                    if (!have || (kMax ? x > best : x < best)) {
                        best = x;
                        have = true;
                    }
                    x = best;
                }
            }
    };
    void *pr = out->GetPr();
    switch (out->GetClassID()) {
        case mxClassDouble: run(static_cast<double *>(pr)); break;
        case mxClassSingle: run(static_cast<float *>(pr)); break;
        case mxClassInt8: run(static_cast<std::int8_t *>(pr)); break;
        case mxClassUint8: run(static_cast<std::uint8_t *>(pr)); break;
        case mxClassInt16: run(static_cast<std::int16_t *>(pr)); break;
        case mxClassUint16: run(static_cast<std::uint16_t *>(pr)); break;
        case mxClassInt32: run(static_cast<std::int32_t *>(pr)); break;
        case mxClassUint32: run(static_cast<std::uint32_t *>(pr)); break;
        case mxClassInt64: run(static_cast<std::int64_t *>(pr)); break;
        case mxClassUint64: run(static_cast<std::uint64_t *>(pr)); break;
        default: throw CNotImplementedException();
    }
    return result;
}

unsigned int DefaultDim(const Array &a) {
    return reduce::DefaultDimension(a.get(), reduce::LeadingOnes::kSkip);
}

}  // namespace

Array Cummax(const Array &a, bool reverse) { return RunningExtreme<true>(a, DefaultDim(a), reverse); }
Array Cummax(const Array &a, Dim dim, bool reverse) { return RunningExtreme<true>(a, dim.value, reverse); }
Array Cummin(const Array &a, bool reverse) { return RunningExtreme<false>(a, DefaultDim(a), reverse); }
Array Cummin(const Array &a, Dim dim, bool reverse) { return RunningExtreme<false>(a, dim.value, reverse); }
CMatrix *Cummax(const CMatrix *A, unsigned int dim) {
    return RunningExtreme<true>(Array::Share(A), dim, false).release();
}
CMatrix *Cummin(const CMatrix *A, unsigned int dim) {
    return RunningExtreme<false>(Array::Share(A), dim, false).release();
}

// ---------------------------------------------------------------------------
// Counting.

namespace {

std::vector<double> RealValues(const Array &x, const wchar_t *name) {
    CheckNumbers(x.get());
    if (x.get()->IsComplex()) {
        std::wstring m = std::wstring(name) + L": complex values are not supported";
        throw CFunctionErrorException(m.c_str());
    }
    Array d = x.ClassID() == mxClassDouble ? x : Array::Adopt(Cast(x.get(), mxClassDouble));
    return std::vector<double>(d.Data(), d.Data() + d.Numel());
}

std::vector<double> Edges(const Array &edges, const wchar_t *name) {
    std::vector<double> e = RealValues(edges, name);
    bool ok = edges.NDims() == 2 && (edges.Rows() == 1 || edges.Cols() == 1) && !e.empty();
    for (std::size_t k = 0; ok && k < e.size(); ++k) ok = !std::isnan(e[k]) && (k == 0 || e[k - 1] <= e[k]);
    if (!ok) {
        std::wstring m = std::wstring(name) + L": the edges must be a non-decreasing vector";
        throw CFunctionErrorException(m.c_str());
    }
    return e;
}

// The 0-based bin of x among edges e (bins [e(k), e(k+1)), the last one also
// holding e(end) when `closeLast`), or -1.
long BinOf(double x, const std::vector<double> &e, bool closeLast) {
    if (!(x >= e.front() && x <= e.back())) return -1;
    const std::size_t nb = e.size() - 1;
    if (x == e.back()) return closeLast ? static_cast<long>(nb == 0 ? 0 : nb - 1) : static_cast<long>(nb);
    const std::size_t k = static_cast<std::size_t>(std::upper_bound(e.begin(), e.end(), x) - e.begin()) - 1;
    return static_cast<long>(k);
}

Array Zeros2(unsigned int m, unsigned int n) { return Array::Zeros(m, n); }

Array ShapedLike(const Array &x) {
    std::vector<unsigned int> d = x.Dims();
    Array out = Array::Adopt(
        mxCreateNumericArray(static_cast<unsigned int>(d.size()), d.data(), mxClassDouble, mxComplexityReal));
    DoubleSpan z = out.MutableData();
    std::fill(z.begin(), z.end(), 0.0);
    return out;
}

Array RowOf(const std::vector<double> &v) {
    Array r = Zeros2(1, static_cast<unsigned int>(v.size()));
    std::copy(v.begin(), v.end(), r.MutableData().begin());
    return r;
}

Histogram CountIn(const Array &x, const std::vector<double> &e) {
    std::vector<double> v = RealValues(x, L"Histcounts");
    Histogram h;
    h.edges = RowOf(e);
    h.counts = Zeros2(1, static_cast<unsigned int>(e.size() - 1));
    h.bins = ShapedLike(x);
    DoubleSpan c = h.counts.MutableData();
    DoubleSpan b = h.bins.MutableData();
    for (std::size_t i = 0; i < v.size(); ++i) {
        const long k = BinOf(v[i], e, true);
        if (k < 0) continue;
        c[static_cast<std::size_t>(k)] += 1.0;
        b[i] = static_cast<double>(k + 1);
    }
    return h;
}

}  // namespace

CountsBins Histc(const Array &x, const Array &edges) {
    std::vector<double> e = Edges(edges, L"Histc");
    std::vector<double> v = RealValues(x, L"Histc");
    const unsigned int ne = static_cast<unsigned int>(e.size());
    const bool vector = x.NDims() == 2 && (x.Rows() == 1 || x.Cols() == 1);
    CountsBins r;
    const unsigned int cols = vector ? 1 : x.Numel() / std::max(1u, x.Rows());
    const std::size_t m = vector ? v.size() : x.Rows();
    r.counts = vector && x.Rows() == 1 && x.Cols() != 1 ? Zeros2(1, ne) : Zeros2(ne, cols);
    r.bins = ShapedLike(x);
    DoubleSpan c = r.counts.MutableData();
    DoubleSpan b = r.bins.MutableData();
    for (std::size_t i = 0; i < v.size(); ++i) {
        const long k = BinOf(v[i], e, false);
        if (k < 0) continue;
        c[(m == 0 ? 0 : i / m) * ne + static_cast<std::size_t>(k)] += 1.0;
        b[i] = static_cast<double>(k + 1);
    }
    return r;
}

CountsBins Histc(const Array &x, const Array &edges, unsigned int dim) {
    if (dim == 0) return Histc(x, edges);
    std::vector<double> e = Edges(edges, L"Histc");
    std::vector<double> v = RealValues(x, L"Histc");
    std::vector<unsigned int> d = x.Dims();
    while (d.size() < dim) d.push_back(1);
    const std::size_t n = d[dim - 1], ne = e.size();
    std::size_t before = 1;
    for (unsigned int k = 1; k < dim; ++k) before *= d[k - 1];
    d[dim - 1] = static_cast<unsigned int>(ne);
    CountsBins r;
    r.counts = Array::Adopt(
        mxCreateNumericArray(static_cast<unsigned int>(d.size()), d.data(), mxClassDouble, mxComplexityReal));
    r.bins = ShapedLike(x);
    DoubleSpan c = r.counts.MutableData();
    std::fill(c.begin(), c.end(), 0.0);
    DoubleSpan b = r.bins.MutableData();
    for (std::size_t i = 0; i < v.size(); ++i) {
        const long k = BinOf(v[i], e, false);
        if (k < 0) continue;
        const std::size_t p = i % before, o = i / before / n;
        c[(o * ne + static_cast<std::size_t>(k)) * before + p] += 1.0;
        b[i] = static_cast<double>(k + 1);
    }
    return r;
}

CMatrix *Histc(const CMatrix *x, const CMatrix *edges) {
    return Histc(Array::Share(x), Array::Share(edges)).counts.release();
}

Histogram Histcounts(const Array &x, const Array &edges) {
    std::vector<double> e = Edges(edges, L"Histcounts");
    if (e.size() < 2) throw CFunctionErrorException(L"Histcounts: at least two edges are needed");
    return CountIn(x, e);
}

namespace {

// The least and greatest finite elements; false when there is none.
bool FiniteSpan(const std::vector<double> &v, double &lo, double &hi) {
    bool any = false;
    for (double d : v) {
        if (!std::isfinite(d)) continue;
        if (!any || d < lo) lo = d;
        if (!any || d > hi) hi = d;
        any = true;
    }
    return any;
}

}  // namespace

Histogram Histcounts(const Array &x, unsigned int nbins) {
    if (nbins == 0) throw CFunctionErrorException(L"Histcounts: the number of bins must be a positive integer");
    std::vector<double> v = RealValues(x, L"Histcounts");
    double lo = 0.0, hi = 1.0;
    if (!FiniteSpan(v, lo, hi)) {
        lo = 0.0;
        hi = 1.0;
    } else if (lo == hi) {
        lo -= 0.5;
        hi += 0.5;
    }
    // The step from the two quotients: hi - lo may overflow, they do not.
    const double step = hi / nbins - lo / nbins;
    std::vector<double> e(std::size_t{nbins} + 1);
    for (unsigned int k = 0; k < nbins; ++k) e[k] = lo + step * k;
    e[nbins] = hi;
    return CountIn(x, e);
}

namespace {

// The automatic edges of integer data spanning at most 50: one bin of width
// 1 centred on each whole number from lo to hi.
std::vector<double> IntegerEdges(double lo, double hi) {
    std::vector<double> e;
    for (double c = lo; c <= hi; c += 1.0) e.push_back(c - 0.5);
    e.push_back(hi + 0.5);
    return e;
}

// Scott's width raw placed as a "nice" width (1, 2, 3, 5 or 10 times the
// power of ten below raw, whichever is nearest on the ladder's thresholds
// 1.5, 2.5, 4 and 7.5), the edges at its whole multiples from the one at or
// below lo, the last edge max(that grid's end, hi).
std::vector<double> NiceEdges(double lo, double hi, double raw) {
    const double scale = std::max(std::fabs(lo), std::fabs(hi));
    const double tiny = std::nextafter(scale, HUGE_VAL) - scale;  // eps(scale)
    raw = std::max(raw, tiny);
    if (!(hi - lo > std::max(std::sqrt(tiny), std::numeric_limits<double>::min()))) {
        // Nearly constant data: one bin from the half-integer at or below
        // lo - 1/4 to the one at or above hi + 1/4.
        return {std::floor(2 * (lo - 0.25)) / 2, std::ceil(2 * (hi + 0.25)) / 2};
    }
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double rel = raw / power;
    const double w = (rel < 1.5 ? 1.0 : rel < 2.5 ? 2.0 : rel < 4 ? 3.0 : rel < 7.5 ? 5.0 : 10.0) * power;
    const double big = std::numeric_limits<double>::max();
    const double left = std::max(std::min(w * std::floor(lo / w), lo), -big);
    const double bins = std::max(1.0, std::ceil((hi - left) / w));
    if (!(bins <= 65536.0)) return {};
    const double right = std::min(std::max(left + bins * w, hi), big);
    std::vector<double> e;
    e.push_back(left);
    for (double k = 1; k < bins; ++k) e.push_back(left + k * w);
    e.push_back(right);
    return e;
}

}  // namespace

Histogram Histcounts(const Array &x) {
    std::vector<double> v = RealValues(x, L"Histcounts");
    double lo = 0.0, hi = 0.0;
    if (!FiniteSpan(v, lo, hi)) return CountIn(x, {0.0, 1.0});
    std::vector<double> f;
    bool whole = true;
    for (double d : v) {
        if (!std::isfinite(d)) continue;
        f.push_back(d);
        whole = whole && d == std::round(d);
    }
    const double flint = 9007199254740992.0;
    if (whole && hi - lo <= 50 && hi <= flint / 2 && lo >= -flint / 2)
        return CountIn(x, IntegerEdges(lo, hi));
    // Scott's width over the finite elements, sums in order.
    double sum = 0.0;
    for (double d : f) sum += d;
    const double mean = sum / static_cast<double>(f.size());
    double ss = 0.0;
    for (double d : f) ss += (d - mean) * (d - mean);
    const double sd = f.size() > 1 ? std::sqrt(ss / static_cast<double>(f.size() - 1)) : 0.0;
    const double raw = 3.5 * sd / std::cbrt(static_cast<double>(f.size()));
    // Data too spread for the width or the count of bins to be a number:
    // ten equal bins.
    if (!std::isfinite(raw) || !std::isfinite(hi - lo)) return Histcounts(x, 10u);
    std::vector<double> e = NiceEdges(lo, hi, raw);
    if (e.empty()) return Histcounts(x, 65536u);
    return CountIn(x, e);
}

CMatrix *Histcounts(const CMatrix *x, const CMatrix *edges) {
    return Histcounts(Array::Share(x), Array::Share(edges)).counts.release();
}

Array Normalized(const Histogram &h, unsigned int n, HistNormalization how) {
    Array out = h.counts;
    DoubleSpan c = out.MutableData();
    const double *e = h.edges.Data();
    const double total = static_cast<double>(n);
    double run = 0.0;
    for (std::size_t k = 0; k < c.size; ++k) {
        const double w = e[k + 1] - e[k];
        switch (how) {
            case HistNormalization::kCount: break;
            case HistNormalization::kProbability: c[k] = c[k] / total; break;
            case HistNormalization::kPdf: c[k] = c[k] / (total * w); break;
            case HistNormalization::kCdf:
                run += c[k];
                c[k] = run / total;
                break;
            case HistNormalization::kCountDensity: c[k] = c[k] / w; break;
            case HistNormalization::kCumCount:
                run += c[k];
                c[k] = run;
                break;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Accumulation by subscript.

std::vector<std::uint32_t> AccumPositions(const Array &subs, const std::vector<unsigned int> &size,
                                          std::vector<unsigned int> &dims) {
    if (subs.NDims() != 2 || subs.get()->IsComplex())
        throw CFunctionErrorException(L"Accumarray: the subscripts must be a two-dimensional real array");
    std::vector<double> s = RealValues(subs, L"Accumarray");
    const std::size_t m = subs.Rows();
    const std::size_t d = subs.Cols();
    if (d == 0 && m != 0) throw CFunctionErrorException(L"Accumarray: the subscripts need at least one column");
    for (double v : s)
        if (!(v >= 1.0 && v == std::floor(v) && v <= 4294967295.0))
            throw CFunctionErrorException(L"Accumarray: the subscripts must be positive integers");
    std::vector<unsigned int> len(std::max<std::size_t>(d, 1), 0);
    for (std::size_t j = 0; j < d; ++j)
        for (std::size_t i = 0; i < m; ++i) len[j] = std::max(len[j], static_cast<unsigned int>(s[j * m + i]));
    if (size.empty()) {
        dims = len;
        if (dims.size() == 1) dims.push_back(1);
    } else {
        dims = size;
        bool ok = dims.size() >= std::max<std::size_t>(d, 2);
        if (d == 1 && dims.size() == 2 && dims[0] == 1 && dims[1] >= len[0]) {
            // A row of the given length: the single subscript runs along it.
            std::vector<std::uint32_t> pos(m);
            for (std::size_t i = 0; i < m; ++i) pos[i] = static_cast<std::uint32_t>(s[i]) - 1;
            return pos;
        }
        for (std::size_t j = 0; ok && j < d; ++j) ok = dims[j] >= len[j];
        if (!ok)
            throw CFunctionErrorException(L"Accumarray: the size must have a length for each subscript column, each at least the greatest subscript");
    }
    unsigned long long total = 1;
    for (unsigned int l : dims) total *= l;
    if (total > 0xFFFFFFFFull) throw CFunctionErrorException(L"Accumarray: the result would be too large");
    std::vector<std::uint32_t> pos(m);
    for (std::size_t i = 0; i < m; ++i) {
        unsigned long long p = 0, stride = 1;
        for (std::size_t j = 0; j < d; ++j) {
            p += (static_cast<unsigned long long>(s[j * m + i]) - 1) * stride;
            stride *= dims[j];
        }
        pos[i] = static_cast<std::uint32_t>(p);
    }
    return pos;
}

namespace {

Array Accumulated(const std::vector<std::uint32_t> &pos, std::vector<unsigned int> dims, const Array &val,
                  AccumOp op, double fill) {
    std::vector<double> v = RealValues(val, L"Accumarray");
    if (v.size() != 1 && v.size() != pos.size())
        throw CFunctionErrorException(L"Accumarray: the values must be a scalar or have one element per subscript row");
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    Array out = Array::Adopt(
        mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(), mxClassDouble, mxComplexityReal));
    DoubleSpan r = out.MutableData();
    std::vector<double> count(r.size, 0.0);
    for (std::size_t i = 0; i < pos.size(); ++i) {
        const double x = v.size() == 1 ? v[0] : v[i];
        double &acc = r[pos[i]];
        double &n = count[pos[i]];
        switch (op) {
            case AccumOp::kSum:
            case AccumOp::kMean: acc = (n == 0.0 ? 0.0 : acc) + x; break;
            case AccumOp::kProd: acc = (n == 0.0 ? 1.0 : acc) * x; break;
            case AccumOp::kMax:
                // As Max: NaN only while every value so far is NaN.
                if (n == 0.0 || (std::isnan(acc) && !std::isnan(x)) || x > acc) acc = x;
                break;
            case AccumOp::kMin:
                if (n == 0.0 || (std::isnan(acc) && !std::isnan(x)) || x < acc) acc = x;
                break;
        }
        n += 1.0;
    }
    for (std::size_t k = 0; k < r.size; ++k) {
        if (count[k] == 0.0) {
            r[k] = fill;
        } else if (op == AccumOp::kMean) {
            r[k] /= count[k];
        }
    }
    const mxClassID cls = val.ClassID();
    if (cls != mxClassDouble && cls != mxClassChar)
        return Array::Adopt(Cast(out.get(), cls));
    return out;
}

}  // namespace

Array Accumarray(const Array &subs, const Array &val, const std::vector<unsigned int> &size, AccumOp op,
                 double fill) {
    std::vector<unsigned int> dims;
    std::vector<std::uint32_t> pos = AccumPositions(subs, size, dims);
    try {
        return Accumulated(pos, dims, val, op, fill);
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

CMatrix *Accumarray(const CMatrix *subs, const CMatrix *val) {
    return Accumarray(Array::Share(subs), Array::Share(val)).release();
}

// ---------------------------------------------------------------------------
// Array forms of the reduction options.

namespace {

const unsigned int *DimsData(const std::vector<unsigned int> &d) { return d.empty() ? nullptr : d.data(); }
unsigned int DimsCount(const std::vector<unsigned int> &d) { return static_cast<unsigned int>(d.size()); }

template <void (*F)(CMatrix *&, CMatrix *&, const CMatrix *, NanFlag)>
ValuesPositions TwoAll(const Array &a, NanFlag nan) {
    CMatrix *y = nullptr;
    CMatrix *i = nullptr;
    F(y, i, a.get(), nan);
    Array values = Array::Adopt(y);
    return {std::move(values), Array::Adopt(i)};
}

template <void (*F)(CMatrix *&, CMatrix *&, const CMatrix *, unsigned int, const unsigned int *, NanFlag)>
ValuesPositions TwoDims(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan) {
    CMatrix *y = nullptr;
    CMatrix *i = nullptr;
    F(y, i, a.get(), DimsCount(dims), DimsData(dims), nan);
    Array values = Array::Adopt(y);
    return {std::move(values), Array::Adopt(i)};
}

}  // namespace

Array SumAll(const Array &a, NanFlag nan) { return Array::Adopt(SumAll(a.get(), nan)); }
Array Sum(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan) {
    return Array::Adopt(Sum(a.get(), DimsCount(dims), DimsData(dims), nan));
}
Array ProdAll(const Array &a, NanFlag nan) { return Array::Adopt(ProdAll(a.get(), nan)); }
Array Prod(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan) {
    return Array::Adopt(Prod(a.get(), DimsCount(dims), DimsData(dims), nan));
}
Array MeanAll(const Array &a, NanFlag nan) { return Array::Adopt(MeanAll(a.get(), nan)); }
Array Mean(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan) {
    return Array::Adopt(Mean(a.get(), DimsCount(dims), DimsData(dims), nan));
}
Array AllAll(const Array &a) { return Array::Adopt(AllAll(a.get())); }
Array All(const Array &a, const std::vector<unsigned int> &dims) {
    return Array::Adopt(All(a.get(), DimsCount(dims), DimsData(dims)));
}
Array AnyAll(const Array &a) { return Array::Adopt(AnyAll(a.get())); }
Array Any(const Array &a, const std::vector<unsigned int> &dims) {
    return Array::Adopt(Any(a.get(), DimsCount(dims), DimsData(dims)));
}
ValuesPositions MaxAll(const Array &a, NanFlag nan) { return TwoAll<MaxAll>(a, nan); }
ValuesPositions Max(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan) {
    return TwoDims<Max>(a, dims, nan);
}
ValuesPositions MinAll(const Array &a, NanFlag nan) { return TwoAll<MinAll>(a, nan); }
ValuesPositions Min(const Array &a, const std::vector<unsigned int> &dims, NanFlag nan) {
    return TwoDims<Min>(a, dims, nan);
}

}  // namespace matrix
}  // namespace kiv
