// src/mtrx/module_imports.cpp: built into each module (never into the
// program): the interpreter's functions the module calls, defined here to
// call through the table the loader hands over. The module is linked
// -Bsymbolic with no undefined symbol left, so its calls land here whatever
// the program exports.
#include "module_imports.h"

#include "evaluator.h"
#include "lib/support.h"
#include "lib/workspace_files.h"
#include "plot/figure.h"

namespace {

const mtrx::ModuleImports *imports = nullptr;

const mtrx::ModuleImports &Imports() { return *imports; }

}  // namespace

extern "C" bool mtrx_module_imports(const mtrx::ModuleImports *table) {
    if (table == nullptr || table->size != sizeof(mtrx::ModuleImports)) return false;
    imports = table;
    return true;
}

namespace mtrx {

Value::Value(Array a) : Value(Imports().fromArray(std::move(a))) {}
Value::Value(CellArray c) : Value(Imports().fromCell(std::move(c))) {}
Value::Value(StructArray s) : Value(Imports().fromStruct(std::move(s))) {}
Value::Value(StringArray s) : Value(Imports().fromString(std::move(s))) {}
Value::Value(std::shared_ptr<const Handle> h) : Value(Imports().fromHandle(std::move(h))) {}

const Array &Value::array() const { return Imports().array(*this); }

std::size_t Count(const Dims &dims) { return Imports().count(dims); }

std::shared_ptr<const Unit> Compile(const std::string &source, const std::string &file) {
    return Imports().compile(source, file);
}

Array CharRows(const std::vector<std::string> &rows) { return Imports().charRows(rows); }

Value Evaluator::EvaluateHere(const std::shared_ptr<const Unit> &unit) {
    return Imports().evaluateHere(*this, unit);
}

std::vector<bool> SelectedVariables(const std::vector<std::string> &names,
                                    const std::vector<std::string> &patterns, BuiltinCall &c,
                                    const std::string &who, const std::string &missing) {
    return Imports().selectedVariables(names, patterns, c, who, missing);
}

namespace plot {

std::vector<double> NiceTicks(double lo, double hi, int most) {
    return Imports().niceTicks(lo, hi, most);
}

void NiceLimits(double &lo, double &hi) { Imports().niceLimits(lo, hi); }

}  // namespace plot

}  // namespace mtrx
