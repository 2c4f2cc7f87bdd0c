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

Outs Isfield(const Args &args, BuiltinCall &) {
    return {Logical(args[0].IsStruct() && args.IsText(1) &&
                    args[0].structure().Field(args.GetText(1)) >= 0)};
}

Outs Isstruct(const Args &args, BuiltinCall &) { return {Logical(args[0].IsStruct())}; }

const BuiltinEntry kEntries[] = {
    {"cell", Cell, 0, kAny, 1, "cell(n), cell(m, n, ...), cell([m n ...])",
     "Cell array of empty slots."},
    {"fieldnames", Fieldnames, 1, 1, 1, "fieldnames(s)",
     "The field names of a struct, as a cell column."},
    {"isfield", Isfield, 2, 2, 1, "isfield(s, name)", "True when the struct s has the field name."},
    {"isstruct", Isstruct, 1, 1, 1, "isstruct(x)", "True for a struct."},
};

}  // namespace

Library CellsLibrary() { return {"cells", "Cells and records", kEntries, std::size(kEntries)}; }

}  // namespace mtrx
