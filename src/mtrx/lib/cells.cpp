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

const Record &RecordArg(const Args &args, std::size_t k) {
    const auto *r = dynamic_cast<const Record *>(args[k].object());
    if (!r) args.Refuse(k, "a struct");
    return *r;
}

Outs Fieldnames(const Args &args, BuiltinCall &) {
    const Record &r = RecordArg(args, 0);
    Array names =
        Array::Adopt(km::mxCreateCellMatrix(static_cast<unsigned int>(r.fields.size()), 1));
    for (std::size_t k = 0; k < r.fields.size(); ++k) {
        Array name(r.fields[k].first);
        km::mxSetCell(names.get(), static_cast<int>(k), name.release());
    }
    return {names};
}

Outs Isfield(const Args &args, BuiltinCall &) {
    const auto *r = dynamic_cast<const Record *>(args[0].object());
    return {Logical(r && args.IsText(1) && r->Find(args.GetText(1)) != nullptr)};
}

Outs Isstruct(const Args &args, BuiltinCall &) {
    return {Logical(dynamic_cast<const Record *>(args[0].object()) != nullptr)};
}

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
