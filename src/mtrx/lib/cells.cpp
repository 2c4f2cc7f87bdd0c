// src/mtrx/lib/cells.cpp: cells and records.
#include "lib/support.h"

namespace mtrx {

namespace km = kiv::matrix;

namespace {

Outs Cell(const Args &args, BuiltinCall &) {
    const std::vector<unsigned int> dims = Lengths(args);
    return {
        Array::Adopt(km::mxCreateCellArray(static_cast<unsigned int>(dims.size()), dims.data()))};
}

Outs Fieldnames(const Args &args, BuiltinCall &) {
    const StructArray &s = args.GetStruct(0);
    CellArray names;
    names.dims = {static_cast<unsigned int>(s.fields.size()), 1};
    for (const std::string &f : s.fields) names.items.emplace_back(Array(f));
    return {Value(std::move(names))};
}

// isfield(s, name), or for a cell of names a logical array of its size
// (false for an element that is not text).
Outs Isfield(const Args &args, BuiltinCall &) {
    const bool record = args[0].IsStruct();
    if (args[1].IsCell()) {
        const CellArray &names = args[1].cell();
        Array out = Array::Adopt(kiv::matrix::Zeros(static_cast<unsigned int>(names.dims.size()),
                                                    names.dims.data()));
        kiv::matrix::mxSetLogical(out.get());
        for (std::size_t k = 0; k < names.items.size(); ++k) {
            const Value &v = names.items[k];
            if (record && IsText(v) && args[0].structure().Field(Text(v.array())) >= 0)
                out.MutableData()[k] = 1.0;
        }
        return {out};
    }
    return {Logical(record && args.IsText(1) && args[0].structure().Field(args.GetText(1)) >= 0)};
}

Outs Isstruct(const Args &args, BuiltinCall &) { return {Logical(args[0].IsStruct())}; }

// struct('a', 1, 'b', {x, y}): a value that is a cell gives each element
// of the struct array its own cell (a 1x1 cell is one value for all); all
// cells of more than one element must agree in size.
Outs Struct(const Args &args, BuiltinCall &) {
    if (args.size() % 2 != 0) throw Error("'struct' takes names and values in pairs");
    StructArray s;
    bool sized = false;
    for (std::size_t k = 1; k < args.size(); k += 2) {
        if (!args[k].IsCell() || args[k].cell().items.size() == 1) continue;
        const Dims dims = args[k].cell().dims;
        if (sized && dims != s.dims)
            throw Error("The cell values of 'struct' must be of one size");
        s.dims = dims;
        sized = true;
    }
    for (std::size_t k = 0; k < args.size(); k += 2) {
        const std::string name = args.GetText(k);
        if (name.empty()) args.Refuse(k, "a field name");
        if (s.Field(name) >= 0) throw Error("Field '" + name + "' is given twice to 'struct'");
        s.fields.push_back(name);
    }
    const std::size_t n = Count(s.dims);
    s.values.reserve(n * s.fields.size());
    for (std::size_t e = 0; e < n; ++e) {
        for (std::size_t k = 1; k < args.size(); k += 2) {
            const Value &v = args[k];
            if (!v.IsCell())
                s.values.push_back(v);
            else if (v.cell().items.size() == 1)
                s.values.push_back(v.cell().items[0]);
            else
                s.values.push_back(v.cell().items[e]);
        }
    }
    return {Value(std::move(s))};
}

Outs Rmfield(const Args &args, BuiltinCall &) {
    const StructArray &s = args.GetStruct(0);
    const std::string name = args.GetText(1);
    const int gone = s.Field(name);
    if (gone < 0) throw Error("There is no field '" + name + "' to remove");
    StructArray out;
    out.dims = s.dims;
    for (std::size_t f = 0; f < s.fields.size(); ++f)
        if (static_cast<int>(f) != gone) out.fields.push_back(s.fields[f]);
    const std::size_t n = Count(s.dims);
    for (std::size_t e = 0; e < n; ++e)
        for (std::size_t f = 0; f < s.fields.size(); ++f)
            if (static_cast<int>(f) != gone) out.values.push_back(s.At(e, f));
    return {Value(std::move(out))};
}

const BuiltinEntry kEntries[] = {
    {"cell", Cell, 0, kAny, 1, "cell(n), cell(m, n, ...), cell([m n ...])",
     "Cell array of empty slots."},
    {"fieldnames", Fieldnames, 1, 1, 1, "fieldnames(s)",
     "The field names of a struct, as a cell column."},
    {"isfield", Isfield, 2, 2, 1, "isfield(s, name), isfield(s, {names})",
     "True when the struct s has the field name; for a cell, one answer per name."},
    {"isstruct", Isstruct, 1, 1, 1, "isstruct(x)", "True for a struct."},
    {"struct", Struct, 0, kAny, 1, "struct(name, value, ...)",
     "A struct of the named fields; cell values make a struct array of their size."},
    {"rmfield", Rmfield, 2, 2, 1, "rmfield(s, name)", "The struct s without the field name."},
};

}  // namespace

Library CellsLibrary() { return {"cells", "Cells and records", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
