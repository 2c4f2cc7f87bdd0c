// src/mtrx/lib/structs.cpp: struct arrays and the lists their fields make.
#include "lib/support.h"

#include <algorithm>
#include <numeric>

namespace mtrx {

namespace {

// [a, b, ...] = deal(x): x to every output; deal(x1, ..., xn): xk to
// output k.
Outs Deal(const Args &args, BuiltinCall &call) {
    const std::size_t wanted = std::max(call.nargout, 1u);
    if (args.size() == 1) return Outs(wanted, args[0]);
    if (args.size() != wanted)
        throw Error("'deal' takes one input, or as many inputs as outputs (" +
                    std::to_string(args.size()) + " inputs for " + std::to_string(wanted) +
                    " outputs)");
    return args.All();
}

// The field `name` of the struct at argument k, refused when it has none.
std::size_t FieldIn(const Args &args, std::size_t k, const std::string &name) {
    const int field = args.GetStruct(k).Field(name);
    if (field < 0) throw Error("Unrecognized field name \"" + name + "\".");
    return static_cast<std::size_t>(field);
}

Outs Getfield(const Args &args, BuiltinCall &) {
    const StructArray &s = args.GetStruct(0);
    const std::size_t field = FieldIn(args, 0, args.GetText(1));
    if (Count(s.dims) != 1)
        throw Error("'getfield' reads a field of one struct, not of a " + DimsText(s.dims) +
                    " struct array");
    return {s.At(0, field)};
}

Outs Setfield(const Args &args, BuiltinCall &) {
    StructArray s = args.GetStruct(0);
    const std::string name = args.GetText(1);
    if (name.empty()) args.Refuse(1, "a field name");
    if (Count(s.dims) != 1)
        throw Error("'setfield' sets a field of one struct, not of a " + DimsText(s.dims) +
                    " struct array");
    s.At(0, s.AddField(name)) = args[2];
    return {Value(std::move(s))};
}

// The values of the fields, one field per row: a cell of the fields by the
// struct array's dimensions (trailing ones of 1 dropped).
Outs Struct2cell(const Args &args, BuiltinCall &) {
    const StructArray &s = args.GetStruct(0);
    CellArray c;
    c.dims = {static_cast<unsigned int>(s.fields.size())};
    c.dims.insert(c.dims.end(), s.dims.begin(), s.dims.end());
    while (c.dims.size() > 2 && c.dims.back() == 1) c.dims.pop_back();
    c.items = s.values;
    return {Value(std::move(c))};
}

// cell2struct(c, fields, dim): the cells along dimension dim (1 or 2 of a
// matrix cell) become the fields, the other dimension the elements (a
// column of structs).
Outs Cell2struct(const Args &args, BuiltinCall &) {
    const CellArray &c = args.GetCell(0);
    std::vector<std::string> names;
    if (args.IsText(1)) {
        names.push_back(args.GetText(1));
    } else if (args[1].IsCell()) {
        for (const Value &v : args[1].cell().items) {
            if (!IsText(v)) args.Refuse(1, "a cell of field names");
            names.push_back(Text(v.array()));
        }
    } else {
        args.Refuse(1, "a field name or a cell of field names");
    }
    const int dim = args.GetWhole(2, 1);
    if (c.dims.size() > 2 || (dim != 1 && dim != 2))
        throw Error("'cell2struct' takes a matrix cell and the dimension 1 or 2 along which the "
                    "fields lie");
    const std::size_t rows = c.dims[0];
    const std::size_t cols = c.dims[1];
    const std::size_t along = dim == 1 ? rows : cols;
    if (names.size() != along)
        throw Error("'cell2struct' needs one field name per cell along dimension " +
                    std::to_string(dim) + " (" + std::to_string(along) + "), not " +
                    std::to_string(names.size()));
    StructArray s;
    for (const std::string &name : names) {
        if (name.empty()) args.Refuse(1, "field names that are not empty");
        if (s.Field(name) >= 0) throw Error("Field '" + name + "' is given twice to 'cell2struct'");
        s.fields.push_back(name);
    }
    const std::size_t count = dim == 1 ? cols : rows;
    s.dims = {static_cast<unsigned int>(count), 1};
    s.values.reserve(count * names.size());
    for (std::size_t e = 0; e < count; ++e)
        for (std::size_t f = 0; f < names.size(); ++f)
            s.values.push_back(dim == 1 ? c.items[f + e * rows] : c.items[e + f * rows]);
    return {Value(std::move(s))};
}

// orderfields(s): the fields in the order of their names' bytes;
// orderfields(s, t) in t's order (a struct with the same fields, or a cell
// of their names); the second output is the permutation, as a column.
Outs Orderfields(const Args &args, BuiltinCall &) {
    const StructArray &s = args.GetStruct(0);
    std::vector<std::string> order;
    if (!args.Has(1)) {
        order = s.fields;
        std::sort(order.begin(), order.end());
    } else if (args[1].IsStruct()) {
        order = args[1].structure().fields;
    } else if (args[1].IsCell()) {
        for (const Value &v : args[1].cell().items) {
            if (!IsText(v)) args.Refuse(1, "a struct or a cell of field names");
            order.push_back(Text(v.array()));
        }
    } else {
        args.Refuse(1, "a struct or a cell of field names");
    }
    std::vector<std::size_t> from;
    for (const std::string &name : order) {
        const int k = s.Field(name);
        if (k < 0 || std::find(from.begin(), from.end(), static_cast<std::size_t>(k)) != from.end())
            throw Error("The names given to 'orderfields' must be the fields of its struct");
        from.push_back(static_cast<std::size_t>(k));
    }
    if (from.size() != s.fields.size())
        throw Error("The names given to 'orderfields' must be the fields of its struct");
    StructArray out;
    out.dims = s.dims;
    out.fields = order;
    const std::size_t n = Count(s.dims);
    out.values.reserve(n * order.size());
    for (std::size_t e = 0; e < n; ++e)
        for (std::size_t f : from) out.values.push_back(s.At(e, f));
    Array permutation = Array::Zeros(static_cast<unsigned int>(from.size()), 1);
    for (std::size_t k = 0; k < from.size(); ++k)
        permutation.MutableData()[k] = static_cast<double>(from[k] + 1);
    return {Value(std::move(out)), permutation};
}

}  // namespace

Library StructsLibrary() {
    static const BuiltinEntry kEntries[] = {
        {"deal", Deal, 1, kAny, kAny, "[a, b, ...] = deal(x), [a, b, ...] = deal(x1, x2, ...)",
         "Copies one input to every output, or each input to its output."},
        {"getfield", Getfield, 2, 2, 1, "getfield(s, name)", "The field name of the struct s."},
        {"setfield", Setfield, 3, 3, 1, "setfield(s, name, v)",
         "The struct s with the field name set to v (added when missing)."},
        {"struct2cell", Struct2cell, 1, 1, 1, "struct2cell(s)",
         "The field values as a cell: one row per field, then the struct array's dimensions."},
        {"cell2struct", Cell2struct, 2, 3, 1, "cell2struct(c, fields, dim)",
         "A struct column whose fields are the cells along dimension dim (default 1)."},
        {"orderfields", Orderfields, 1, 2, 2, "[t, p] = orderfields(s), orderfields(s, order)",
         "The struct with its fields sorted by name, or in the order of a struct or cell."},
    };
    return {"structs", "Struct arrays and their fields", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
