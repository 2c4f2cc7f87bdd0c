// src/mtrx/lib/shape.cpp: rearranging values of every kind (flip, rot90,
// circshift, permute, squeeze, concatenation of records), Kronecker products
// and block diagonals, coordinate grids, the gallery of test matrices,
// random integers and permutations, and the shape queries.
#include "lib/shape.h"

#include "lib/support.h"
#include "text.h"

#include <matrix/gallery.h>
#include <matrix/rearrange.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// --- Rearranging values of any kind ---------------------------------------------

// The value rearranged by `plan`: arrays through the library, cells, string
// arrays and struct arrays moving their elements by the same plan.
Value Apply(const Value &v, const km::Rearrangement &plan) {
    if (v.IsCell()) {
        CellArray out;
        out.dims = plan.dims;
        for (unsigned int k : plan.source) out.items.push_back(v.cell().items[k]);
        return Value(std::move(out));
    }
    if (v.tag() == Tag::String) {
        StringArray out;
        out.dims = plan.dims;
        for (unsigned int k : plan.source) out.items.push_back(v.strings().items[k]);
        return Value(std::move(out));
    }
    if (v.IsStruct()) {
        const StructArray &s = v.structure();
        StructArray out;
        out.dims = plan.dims;
        out.fields = s.fields;
        for (unsigned int k : plan.source)
            for (std::size_t f = 0; f < s.fields.size(); ++f) out.values.push_back(s.At(k, f));
        return Value(std::move(out));
    }
    return Value(Array::Adopt(km::Rearrange(v.array().get(), plan)));
}

// Argument k, any value but a function handle.
const Value &Rearrangeable(const Args &args, std::size_t k) {
    if (args[k].IsHandle() || args[k].IsUnset()) args.Refuse(k, "an array, a cell or a struct");
    return args[k];
}

Outs FlipBuiltin(const Args &args, BuiltinCall &) {
    const Value &v = Rearrangeable(args, 0);
    const Dims dims = v.Dimensions();
    const unsigned int dim = args.Has(1) ? args.GetPositive(1) : km::FirstNonSingleton(dims);
    return {Apply(v, km::FlipPlan(dims, dim))};
}

template <unsigned int kDim>
Outs FlipAlong(const Args &args, BuiltinCall &) {
    const Value &v = Rearrangeable(args, 0);
    return {Apply(v, km::FlipPlan(v.Dimensions(), kDim))};
}

Outs Rot90Builtin(const Args &args, BuiltinCall &) {
    const Value &v = Rearrangeable(args, 0);
    return {Apply(v, km::Rot90Plan(v.Dimensions(), args.GetWhole(1, 1)))};
}

// A whole number of any size, as circshift takes its shifts.
long long Shift(const Args &args, std::size_t k, double x) {
    if (!(x == std::floor(x)) || std::fabs(x) > 9007199254740992.0)
        args.Refuse(k, "whole numbers");
    return static_cast<long long>(x);
}

Outs CircshiftBuiltin(const Args &args, BuiltinCall &) {
    const Value &v = Rearrangeable(args, 0);
    const Dims dims = v.Dimensions();
    const Array &k = args.GetArray(1);
    if (IsComplex(k) || IsCell(k)) args.Refuse(1, "whole numbers");
    const std::vector<double> values = km::Array::Adopt(km::Double(k.get())).ToVector();
    std::vector<long long> shifts;
    if (args.Has(2)) {
        if (values.size() != 1) args.Refuse(1, "a whole number when a dimension is given");
        shifts.assign(args.GetPositive(2), 0);
        shifts.back() = Shift(args, 1, values[0]);
    } else if (values.size() == 1) {
        shifts.assign(km::FirstNonSingleton(dims), 0);
        shifts.back() = Shift(args, 1, values[0]);
    } else {
        for (double x : values) shifts.push_back(Shift(args, 1, x));
    }
    return {Apply(v, km::CircshiftPlan(dims, shifts))};
}

template <bool kInverse>
Outs PermuteBuiltin(const Args &args, BuiltinCall &) {
    const Value &v = Rearrangeable(args, 0);
    const Array &o = args.GetArray(1);
    std::vector<unsigned int> order;
    for (double x : km::Array::Adopt(km::Double(o.get())).ToVector()) {
        if (!(x >= 1 && x == std::floor(x) && x < 4294967296.0))
            args.Refuse(1, "a permutation of the dimensions");
        order.push_back(static_cast<unsigned int>(x));
    }
    const Dims dims = v.Dimensions();
    return {Apply(v, kInverse ? km::IpermutePlan(dims, order) : km::PermutePlan(dims, order))};
}

Outs SqueezeBuiltin(const Args &args, BuiltinCall &) {
    const Value &v = Rearrangeable(args, 0);
    const Dims dims = v.Dimensions();
    km::Rearrangement plan;
    plan.dims = km::SqueezeDims(dims);
    if (plan.dims == dims) return {v};
    plan.source.resize(Count(dims));
    for (std::size_t k = 0; k < plan.source.size(); ++k)
        plan.source[k] = static_cast<unsigned int>(k);
    return {Apply(v, plan)};
}

Outs KronBuiltin(const Args &args, BuiltinCall &) {
    for (std::size_t k = 0; k < 2; ++k)
        if (!args[k].IsArray()) args.Refuse(k, "a numeric, char or logical matrix");
    return {Array::Adopt(km::Kron(args.GetArray(0).get(), args.GetArray(1).get()))};
}

Outs BlkdiagBuiltin(const Args &args, BuiltinCall &) {
    std::vector<const km::CMatrix *> raw;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args[k].IsArray()) args.Refuse(k, "a numeric, char or logical matrix");
        raw.push_back(args.GetArray(k).get());
    }
    return {Array::Adopt(km::Blkdiag(static_cast<unsigned int>(raw.size()), raw.data()))};
}

// --- Concatenation of values of every kind ----------------------------------------

// Containers of elements that are not arrays (struct arrays, cells of any
// values) join by their element positions: a double array of each operand's
// shape numbering its elements goes through the library's Cat, whose shape
// rules and messages apply, and the numbers in the result say which element
// goes where. Returns the joined lengths; `from` gets, for each element of
// the result, its number (elements counted across the operands in order).
Dims JoinedPositions(unsigned int dim, const std::vector<Dims> &shapes,
                     std::vector<std::size_t> &from) {
    std::vector<Array> numbers;
    double next = 0;
    for (const Dims &d : shapes) {
        Array index = Array::Adopt(km::mxCreateNumericArray(
            static_cast<unsigned int>(d.size()), d.data(), km::mxClassDouble,
            km::mxComplexityReal));
        double *p = static_cast<double *>(index.get()->GetPr());
        for (std::size_t k = 0, n = Count(d); k < n; ++k) p[k] = next++;
        numbers.push_back(std::move(index));
    }
    std::vector<const km::CMatrix *> raw;
    for (const Array &a : numbers) raw.push_back(a.get());
    const Array joined =
        raw.size() == 1 ? numbers[0]
                        : Array::Adopt(km::Cat(dim, static_cast<unsigned int>(raw.size()), raw.data()));
    const double *where = static_cast<const double *>(joined.get()->GetPr());
    from.assign(joined.Numel(), 0);
    for (std::size_t k = 0; k < from.size(); ++k) from[k] = static_cast<std::size_t>(where[k]);
    return joined.Dims();
}

// Struct arrays: the same field names (in any order; the result takes the
// first operand's), [] operands skipped as concatenation skips them.
Value JoinRecords(unsigned int dim, const std::vector<Value> &items, const std::string &name) {
    std::vector<const StructArray *> records;
    std::vector<Dims> shapes;
    for (const Value &v : items) {
        if (!v.IsStruct()) {
            if (v.IsArray() && v.array().Numel() == 0) continue;
            throw Error("'" + name + "' cannot join a struct array with a value of class " +
                        v.ClassName());
        }
        const StructArray &s = v.structure();
        if (!records.empty()) {
            std::vector<std::string> a = s.fields, b = records[0]->fields;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            if (a != b)
                throw Error("'" + name +
                            "': names of fields in structure arrays being concatenated do not "
                            "match; concatenation of structure arrays requires that these arrays "
                            "have the same set of fields");
        }
        records.push_back(&s);
        shapes.push_back(s.dims);
    }
    std::vector<std::pair<const StructArray *, std::size_t>> element;
    for (const StructArray *s : records)
        for (std::size_t k = 0; k < Count(s->dims); ++k) element.emplace_back(s, k);
    const StructArray &first = *records[0];
    std::vector<std::size_t> from;
    StructArray out;
    out.dims = JoinedPositions(dim, shapes, from);
    out.fields = first.fields;
    for (std::size_t k : from) {
        const auto &e = element[k];
        for (const std::string &f : first.fields)
            out.values.push_back(e.first->At(e.second, static_cast<std::size_t>(e.first->Field(f))));
    }
    return Value(std::move(out));
}

}  // namespace

Value TransposeRecords(const Value &v) {
    const Dims dims = v.structure().dims;
    if (dims.size() > 2) throw Error("Transpose on N-D arrays is not defined; use permute");
    return Apply(v, km::PermutePlan(dims, {2, 1}));
}

Value CellOfOne(Value v) {
    CellArray c;
    if (v.IsArray() && v.array().Numel() == 0) {
        c.dims = {0, 0};
        return Value(std::move(c));
    }
    c.dims = {1, 1};
    c.items.push_back(std::move(v));
    return Value(std::move(c));
}

Value JoinValues(unsigned int dim, const std::vector<Value> &items, const std::string &name) {
    if (items.empty()) return Value();
    bool anyCell = false, allCells = true, anyString = false;
    for (const Value &v : items) {
        anyCell = anyCell || v.IsCell();
        allCells = allCells && v.IsCell();
        anyString = anyString || v.tag() == Tag::String;
    }
    if (anyCell && !allCells && !anyString) {
        std::vector<Value> cells;
        for (const Value &v : items) cells.push_back(v.IsCell() ? v : CellOfOne(v));
        return JoinValues(dim, cells, name);
    }
    for (const Value &v : items)
        if (v.IsStruct()) return JoinRecords(dim, items, name);
    for (const Value &v : items) {
        if (v.tag() != Tag::String) continue;
        // String arrays join as the brackets join them: one row, or one
        // row per operand.
        if (dim > 2) throw Error("'" + name + "' joins string arrays along dimension 1 or 2 only");
        std::vector<std::vector<Value>> rows;
        for (const Value &item : items) {
            if (rows.empty() || dim == 1) rows.emplace_back();
            rows.back().push_back(item);
        }
        return JoinStrings(rows);
    }
    // Cells of anything join slot by slot, as a cell of arrays does.
    bool cells = true;
    for (const Value &v : items) cells = cells && v.IsCell();
    if (cells) {
        std::vector<Dims> shapes;
        std::vector<const Value *> element;
        for (const Value &v : items) {
            shapes.push_back(v.cell().dims);
            for (const Value &e : v.cell().items) element.push_back(&e);
        }
        std::vector<std::size_t> from;
        CellArray out;
        out.dims = JoinedPositions(dim, shapes, from);
        for (std::size_t k : from) out.items.push_back(*element[k]);
        return Value(std::move(out));
    }
    std::vector<const km::CMatrix *> raw;
    for (const Value &v : items) raw.push_back(v.array().get());
    return Value(Array::Adopt(km::Cat(dim, static_cast<unsigned int>(raw.size()), raw.data())));
}

Value RangeValue(const Value &first, const Value *step, const Value &last) {
    const Value *operands[3] = {&first, step, &last};
    km::mxClassID id = km::mxClassDouble;
    bool text = true;
    for (const Value *v : operands) {
        if (!v) continue;
        if (!v->IsArray()) throw Error("Colon operands must be numeric, char or logical scalars");
        const Array &a = v->array();
        const km::mxClassID c = a.ClassID();
        text = text && IsChar(a);
        if (c >= km::mxClassInt8 && c <= km::mxClassUint64) {
            if (id >= km::mxClassInt8 && id != c)
                throw Error("Colon operands of integer classes must be of the same class");
            id = c;
        } else if (c == km::mxClassSingle && id == km::mxClassDouble) {
            id = km::mxClassSingle;
        }
    }
    double values[3] = {0, 1, 0};
    for (int k = 0; k < 3; ++k) {
        if (!operands[k]) continue;
        const Array &a = operands[k]->array();
        if (a.Numel() != 1) (void)a.Scalar();  // throws as a double operand's range does
        // Doubles beside an integer class take its values first.
        const Array in = id >= km::mxClassInt8 ? Array::Adopt(km::Cast(a.get(), id)) : a;
        values[k] = km::mxGetScalar(Array::Adopt(km::Double(in.get())).get());
    }
    Array range = Array::Adopt(km::Colon(values[0], values[1], values[2]));
    if (text) return Value(Array::Adopt(km::Cast(range.get(), km::mxClassChar)));
    if (id == km::mxClassDouble) return Value(range);
    return Value(Array::Adopt(km::Cast(range.get(), id)));
}

namespace {

Outs ColonBuiltin(const Args &args, BuiltinCall &) {
    return {args.size() == 2 ? RangeValue(args[0], nullptr, args[1])
                             : RangeValue(args[0], &args[1], args[2])};
}

template <unsigned int kDim>
Outs Concatenate(const Args &args, BuiltinCall &c) {
    for (std::size_t k = 0; k < args.size(); ++k) Rearrangeable(args, k);
    return {JoinValues(kDim, args.All(), c.name)};
}

Outs CatBuiltin(const Args &args, BuiltinCall &c) {
    const unsigned int dim = args.GetPositive(0);
    for (std::size_t k = 1; k < args.size(); ++k) Rearrangeable(args, k);
    return {JoinValues(dim, args.From(1), c.name)};
}

// --- Grids ------------------------------------------------------------------------

template <bool kMesh>
Outs GridBuiltin(const Args &args, BuiltinCall &c) {
    std::vector<const km::CMatrix *> raw;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const Array &a = args.GetArray(k);
        if (IsCell(a)) args.Refuse(k, "a numeric, char or logical vector");
        raw.push_back(a.get());
    }
    const unsigned int want = std::max(c.nargout, 1u);
    if (kMesh && ((raw.size() == 2 && want > 2) || want > 3))
        throw Error("Too many output arguments for 'meshgrid'");
    if (!kMesh && raw.size() > 1 && want > raw.size())
        throw Error("Too many output arguments for 'ndgrid'");
    std::vector<km::CMatrix *> grids = km::Grids(raw, want, kMesh);
    Outs out;
    for (km::CMatrix *g : grids) out.emplace_back(Array::Adopt(g));
    return out;
}

// --- Gallery ----------------------------------------------------------------------

// A gallery matrix in the class a trailing 'double' or 'single' names, at
// argument `k` when there is one.
Value InClass(const Args &args, std::size_t k, km::CMatrix *made) {
    Array a = Array::Adopt(made);
    if (!args.Has(k)) return Value(a);
    const std::string name = args.IsText(k) ? args.GetText(k) : std::string();
    if (name == "single") return Value(Array::Adopt(km::Single(a.get())));
    if (name != "double") args.Refuse(k, "'double' or 'single'");
    return Value(a);
}

template <km::CMatrix *(*Make)(unsigned int)>
Outs OfOrder(const Args &args, BuiltinCall &) {
    return {InClass(args, 1, Make(args.GetLength(0)))};
}

// Argument k: an array of a numeric class, char or logical.
const Array &Plain(const Args &args, std::size_t k) {
    if (!args[k].IsArray()) args.Refuse(k, "a numeric, char or logical vector");
    return args.GetArray(k);
}

Outs VanderBuiltin(const Args &args, BuiltinCall &) {
    return {Array::Adopt(km::Vander(Plain(args, 0).get()))};
}

template <bool kToeplitz>
Outs TwoVectors(const Args &args, BuiltinCall &) {
    const km::CMatrix *c = Plain(args, 0).get();
    const km::CMatrix *r = args.Has(1) ? Plain(args, 1).get() : nullptr;
    return {Array::Adopt(kToeplitz ? km::Toeplitz(c, r) : km::Hankel(c, r))};
}

Outs RosserBuiltin(const Args &args, BuiltinCall &) {
    return {InClass(args, 0, km::Rosser())};
}

Outs CompanBuiltin(const Args &args, BuiltinCall &) {
    const Array &p = args.GetArray(0);
    const bool floating = IsDouble(p) || p.get()->GetClassID() == km::mxClassSingle;
    if (!floating || IsChar(p) || p.get()->IsLogical())
        args.Refuse(0, "a double or single vector");
    return {Array::Adopt(km::Compan(p.get()))};
}

// --- Random integers and permutations, logarithmic rows ----------------------------

Outs RandiBuiltin(const Args &args, BuiltinCall &) {
    const Array &range = args.GetArray(0);
    if (IsComplex(range) || IsCell(range) || (range.Numel() != 1 && range.Numel() != 2))
        args.Refuse(0, "imax or [imin imax]");
    const std::vector<double> r = km::Array::Adopt(km::Double(range.get())).ToVector();
    const double lo = r.size() == 2 ? r[0] : 1.0, hi = r.back();
    std::size_t count = args.size();
    km::mxClassID id = km::mxClassDouble;
    if (count > 1 && args.IsText(count - 1)) {
        static const std::pair<const char *, km::mxClassID> kNames[] = {
            {"double", km::mxClassDouble}, {"single", km::mxClassSingle},
            {"int8", km::mxClassInt8},     {"uint8", km::mxClassUint8},
            {"int16", km::mxClassInt16},   {"uint16", km::mxClassUint16},
            {"int32", km::mxClassInt32},   {"uint32", km::mxClassUint32},
            {"int64", km::mxClassInt64},   {"uint64", km::mxClassUint64}};
        const std::string name = args.GetText(count - 1);
        bool known = false;
        for (const auto &entry : kNames)
            if (name == entry.first) {
                id = entry.second;
                known = true;
            }
        if (!known) args.Refuse(count - 1, "a class name: double, single or an integer class");
        --count;
    }
    std::vector<unsigned int> dims;
    if (count == 1) {
        dims = {1, 1};
    } else {
        std::vector<Value> rest(args.All().begin() + 1,
                                args.All().begin() + static_cast<std::ptrdiff_t>(count));
        const std::string &name = args.Name();
        dims = Lengths(Args(rest, name));
    }
    if (!(lo == std::floor(lo) && hi == std::floor(hi)) || !(lo <= hi) || std::isinf(lo) ||
        std::isinf(hi))
        throw Error("'randi': the range must be whole numbers with imin <= imax");
    if (!(hi - lo < 9007199254740992.0))
        throw Error("'randi': the range imax - imin must be below 2^53");
    if (id != km::mxClassDouble) {
        // The range must lie in the class, checked before anything is drawn.
        const Array bounds(1, 2, std::vector<double>{lo, hi});
        const Array kept = Array::Adopt(km::Cast(bounds.get(), id));
        if (Array::Adopt(km::Double(kept.get())).ToVector() != std::vector<double>{lo, hi})
            throw Error("'randi': the range does not fit in class " + std::string(ClassName(kept)));
    }
    Array drawn =
        Array::Adopt(km::Randi(lo, hi, static_cast<unsigned int>(dims.size()), dims.data()));
    if (id == km::mxClassDouble) return {drawn};
    return {Array::Adopt(km::Cast(drawn.get(), id))};
}

Outs RandpermBuiltin(const Args &args, BuiltinCall &) {
    const unsigned int n = args.GetLength(0);
    const unsigned int k = args.Has(1) ? args.GetLength(1) : n;
    if (k > n) throw Error("'randperm': k must not exceed n");
    return {Array::Adopt(km::Randperm(n, k))};
}

Outs LogspaceBuiltin(const Args &args, BuiltinCall &) {
    const unsigned int n = args.Has(2) ? args.GetLength(2) : 50u;
    return {Array::Adopt(km::Logspace(args.GetScalar(0), args.GetScalar(1), n))};
}

// --- Shape queries ----------------------------------------------------------------

template <int kWhich>
Outs ShapeTest(const Args &args, BuiltinCall &) {
    const Dims d = args[0].Dimensions();
    const bool two = d.size() == 2;
    bool answer = false;
    switch (kWhich) {
        case 0: answer = two && d[0] == 1; break;                    // isrow
        case 1: answer = two && d[1] == 1; break;                    // iscolumn
        case 2: answer = two && (d[0] == 1 || d[1] == 1); break;     // isvector
        case 3: answer = two; break;                                 // ismatrix
        case 4: answer = two && d[0] == d[1]; break;                 // issquare
        case 5: answer = Count(d) == 1; break;                       // isscalar
        default: answer = Count(d) == 0; break;                      // isempty
    }
    return {Logical(answer)};
}

// The lengths of sz for n subscripts: those beyond n folded into the last,
// missing ones 1.
std::vector<double> Folded(const std::vector<double> &sz, std::size_t n) {
    std::vector<double> out(n, 1.0);
    for (std::size_t k = 0; k < sz.size(); ++k) {
        if (k < n)
            out[k] = sz[k];
        else
            out[n - 1] *= sz[k];
    }
    return out;
}

std::vector<double> SizeVector(const Args &args) {
    const Array &a = args.GetArray(0);
    if (IsComplex(a) || IsCell(a) || a.Numel() < 2) args.Refuse(0, "a size vector of at least two lengths");
    std::vector<double> sz = km::Array::Adopt(km::Double(a.get())).ToVector();
    for (double x : sz)
        if (!(x >= 0 && x == std::floor(x))) args.Refuse(0, "a size vector of whole numbers");
    return sz;
}

Outs Sub2ind(const Args &args, BuiltinCall &) {
    const std::vector<double> sz = Folded(SizeVector(args), args.size() - 1);
    Array first = args.GetArray(1);
    std::vector<std::vector<double>> subs;
    for (std::size_t k = 1; k < args.size(); ++k) {
        const Array &s = args.GetArray(k);
        if (IsCell(s) || IsComplex(s)) args.Refuse(k, "an array of subscripts");
        if (s.Dims() != first.Dims())
            throw Error("'sub2ind': the subscripts must all have the same size");
        subs.push_back(km::Array::Adopt(km::Double(s.get())).ToVector());
    }
    Array out = Array::Adopt(km::mxCreateNumericArray(first.NDims(), first.get()->GetDimensions(),
                                                      km::mxClassDouble, km::mxComplexityReal));
    double *p = static_cast<double *>(out.get()->GetPr());
    for (std::size_t e = 0; e < first.Numel(); ++e) {
        double index = 0, stride = 1;
        for (std::size_t k = 0; k < subs.size(); ++k) {
            const double s = subs[k][e];
            if (!(s >= 1 && s == std::floor(s)))
                throw Error("'sub2ind': subscripts must be positive whole numbers");
            if (s > sz[k]) throw Error("'sub2ind': subscript out of range");
            index += (s - 1) * stride;
            stride *= sz[k];
        }
        p[e] = index + 1;
    }
    return {out};
}

Outs Ind2sub(const Args &args, BuiltinCall &c) {
    const std::size_t n = std::max(c.nargout, 1u);
    const std::vector<double> whole = SizeVector(args);
    const std::vector<double> sz = Folded(whole, n);
    double total = 1;
    for (double x : whole) total *= x;
    const Array &ind = args.GetArray(1);
    if (IsCell(ind) || IsComplex(ind)) args.Refuse(1, "an array of linear indices");
    const std::vector<double> k = km::Array::Adopt(km::Double(ind.get())).ToVector();
    std::vector<Array> outs;
    std::vector<double *> data;
    for (std::size_t j = 0; j < n; ++j) {
        outs.push_back(Array::Adopt(km::mxCreateNumericArray(
            ind.NDims(), ind.get()->GetDimensions(), km::mxClassDouble, km::mxComplexityReal)));
        data.push_back(static_cast<double *>(outs.back().get()->GetPr()));
    }
    for (std::size_t e = 0; e < k.size(); ++e) {
        if (!(k[e] >= 1 && k[e] == std::floor(k[e])))
            throw Error("'ind2sub': indices must be positive whole numbers");
        if (k[e] > total) {
            char count[32];
            std::snprintf(count, sizeof count, "%.17g", total);
            throw Error("'ind2sub': index exceeds the number of array elements (" +
                        std::string(count) + ")");
        }
        double rest = k[e] - 1;
        for (std::size_t j = 0; j < n; ++j) {
            if (j + 1 == n) {
                data[j][e] = rest + 1;
            } else {
                const double q = std::floor(rest / sz[j]);
                data[j][e] = rest - q * sz[j] + 1;
                rest = q;
            }
        }
    }
    return Outs(outs.begin(), outs.end());
}

const BuiltinEntry kEntries[] = {
    {"flip", FlipBuiltin, 1, 2, 1, "flip(A), flip(A, dim)",
     "The elements of A in reverse order along dim (default: the first of length not 1)."},
    {"fliplr", FlipAlong<2>, 1, 1, 1, "fliplr(A)", "The columns in reverse order."},
    {"flipud", FlipAlong<1>, 1, 1, 1, "flipud(A)", "The rows in reverse order."},
    {"rot90", Rot90Builtin, 1, 2, 1, "rot90(A), rot90(A, k)",
     "A turned k quarter turns counterclockwise (default 1), each page of an N-D array."},
    {"circshift", CircshiftBuiltin, 2, 3, 1, "circshift(A, k), circshift(A, [k1 k2 ...]), circshift(A, k, dim)",
     "The elements of A shifted circularly k places along a dimension, or along each."},
    {"permute", PermuteBuiltin<false>, 2, 2, 1, "permute(A, order)",
     "A with its dimensions in the given order."},
    {"ipermute", PermuteBuiltin<true>, 2, 2, 1, "ipermute(A, order)",
     "Undoes permute(A, order)."},
    {"squeeze", SqueezeBuiltin, 1, 1, 1, "squeeze(A)",
     "A without its dimensions of length 1 (a matrix unchanged)."},
    {"kron", KronBuiltin, 2, 2, 1, "kron(A, B)", "The Kronecker product: each A(i, j) times B."},
    {"blkdiag", BlkdiagBuiltin, 0, kAny, 1, "blkdiag(A, B, ...)",
     "The matrices on the diagonal of a block matrix of zeros."},
    {"cat", CatBuiltin, 1, kAny, 1, "cat(dim, A, B, ...)",
     "Concatenation along dimension dim, of arrays, cells or struct arrays."},
    {"horzcat", Concatenate<2>, 0, kAny, 1, "horzcat(A, B, ...)", "[A, B, ...]."},
    {"vertcat", Concatenate<1>, 0, kAny, 1, "vertcat(A, B, ...)", "[A; B; ...]."},
    {"colon", ColonBuiltin, 2, 3, 1, "colon(a, b), colon(a, step, b)",
     "The range a:b or a:step:b, of the operands' class (integer, single, char or double)."},
    {"meshgrid", GridBuiltin<true>, 1, 3, 3, "[X, Y] = meshgrid(x, y), meshgrid(x), [X, Y, Z] = meshgrid(x, y, z)",
     "Grids of coordinates: x along the columns, y along the rows, z along the pages."},
    {"ndgrid", GridBuiltin<false>, 1, kAny, kAny, "[X1, X2, ...] = ndgrid(x1, x2, ...), ndgrid(x)",
     "Grids of coordinates: x1 along the first dimension, x2 along the second, ..."},
    {"magic", OfOrder<km::Magic>, 1, 1, 1, "magic(n)",
     "The n x n magic square: equal sums of rows, columns and diagonals (n >= 3)."},
    {"hilb", OfOrder<km::Hilb>, 1, 2, 1, "hilb(n), hilb(n, 'single')", "The Hilbert matrix, 1 / (i + j - 1)."},
    {"invhilb", OfOrder<km::Invhilb>, 1, 2, 1, "invhilb(n), invhilb(n, 'single')",
     "The exact inverse of the Hilbert matrix, in whole numbers."},
    {"vander", VanderBuiltin, 1, 1, 1, "vander(c)", "The Vandermonde matrix, c(i)^(n-j)."},
    {"toeplitz", TwoVectors<true>, 1, 2, 1, "toeplitz(c), toeplitz(c, r)",
     "The Toeplitz matrix of first column c and first row r (c(1) on the diagonal)."},
    {"hankel", TwoVectors<false>, 1, 2, 1, "hankel(c), hankel(c, r)",
     "The Hankel matrix of first column c and last row r (zeros below the anti-diagonal)."},
    {"pascal", OfOrder<km::Pascal>, 1, 2, 1, "pascal(n), pascal(n, 'single')", "The Pascal matrix of binomial coefficients."},
    {"rosser", RosserBuiltin, 0, 1, 1, "rosser, rosser('single')", "The 8 x 8 Rosser eigenvalue test matrix."},
    {"wilkinson", OfOrder<km::Wilkinson>, 1, 2, 1, "wilkinson(n), wilkinson(n, 'single')",
     "The Wilkinson eigenvalue test matrix: tridiagonal, ones beside the diagonal."},
    {"compan", CompanBuiltin, 1, 1, 1, "compan(p)",
     "The companion matrix of the polynomial p, whose eigenvalues are its roots."},
    {"randi", RandiBuiltin, 1, kAny, 1,
     "randi(imax), randi(imax, m, n, ...), randi([imin imax], ...), randi(..., 'class')",
     "Uniformly distributed random whole numbers from 1 (or imin) to imax."},
    {"randperm", RandpermBuiltin, 1, 2, 1, "randperm(n), randperm(n, k)",
     "A random permutation of 1..n, or k distinct numbers drawn from them."},
    {"logspace", LogspaceBuiltin, 2, 3, 1, "logspace(a, b), logspace(a, b, n)",
     "n (default 50) points from 10^a to 10^b, equally spaced in the exponent (to pi when b is pi)."},
    {"isrow", ShapeTest<0>, 1, 1, 1, "isrow(A)", "True for a 1 x n array."},
    {"iscolumn", ShapeTest<1>, 1, 1, 1, "iscolumn(A)", "True for an n x 1 array."},
    {"isvector", ShapeTest<2>, 1, 1, 1, "isvector(A)", "True for a 1 x n or n x 1 array."},
    {"ismatrix", ShapeTest<3>, 1, 1, 1, "ismatrix(A)", "True for an array of two dimensions."},
    {"issquare", ShapeTest<4>, 1, 1, 1, "issquare(A)", "True for an n x n array."},
    {"isscalar", ShapeTest<5>, 1, 1, 1, "isscalar(A)", "True for a 1 x 1 value of any kind."},
    {"isempty", ShapeTest<6>, 1, 1, 1, "isempty(A)", "True when A has no elements."},
    {"sub2ind", Sub2ind, 2, kAny, 1, "sub2ind(sz, i, j, ...)",
     "Linear indices of subscripts into an array of size sz."},
    {"ind2sub", Ind2sub, 2, 2, kAny, "[i, j, ...] = ind2sub(sz, k)",
     "Subscripts of linear indices into an array of size sz, the last output taking the rest."},
};

}  // namespace

Library ShapeLibrary() {
    return {"shape", "Rearranging, gallery matrices, grids and shape queries", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
