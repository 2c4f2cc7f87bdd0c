// src/mtrx/assign.cpp: the evaluator's assignments: to a name, to a list of targets, and
// along paths of subscripts, fields and cell contents, growing and
// converting what is there (an empty [] becomes a cell or a struct).
#include "evaluator.h"

#include "arrays.h"
#include "error.h"
#include "lexer.h"
#include "lib/operators.h"
#include "resolver.h"
#include "subscripts.h"
#include "text.h"

#include <matrix/exceptions.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <new>
#include <set>
#include <sstream>


namespace mtrx {

namespace km = kiv::matrix;

namespace {

// True for the empty double [] that a name may hold before it becomes a
// cell or a struct.
bool EmptyDouble(const Value &v) {
    return v.tag() == Tag::Array && v.array().IsEmpty() && IsDouble(v.array()) &&
           !v.array().IsLogical();
}

// True for an empty double array such as [], which an assignment to its
// cells or fields replaces with a cell or a struct array.
bool IsEmptyDouble(const Value &v) {
    return v.tag() == Tag::Array && IsDouble(v.array()) && v.array().Numel() == 0;
}

}  // namespace

// The steps of a target as written, evaluated by the evaluator.
class Evaluator::TargetPath : public PathSource {
public:
    TargetPath(Evaluator &evaluator, const Target &t) : m_evaluator(evaluator), m_target(t) {}
    std::size_t Size() const override { return m_target.path.size(); }
    Accessor::Kind Kind(std::size_t k) const override { return m_target.path[k].kind; }
    SubscriptList Take(std::size_t k, const Array &a) override {
        return m_evaluator.Subscripts(a, m_target.path[k].subscripts);
    }
    std::string Field(std::size_t k) override { return m_evaluator.FieldName(m_target.path[k]); }

private:
    Evaluator &m_evaluator;
    const Target &m_target;
};

bool Evaluator::IsListTarget(const Target &t) {
    const std::size_t n = t.path.size();
    if (n == 1 && t.path[0].kind == Accessor::Kind::Brace) return true;
    if (n == 1 && t.path[0].kind == Accessor::Kind::Field) return true;
    return n == 2 && t.path[0].kind == Accessor::Kind::Paren &&
           t.path[1].kind == Accessor::Kind::Field;
}

std::size_t Evaluator::TargetCount(const Target &t) {
    if (t.name.empty() || !IsListTarget(t)) return 1;
    TargetPath path(*this, t);
    return ListCount(Lookup(t.slot), path);
}

std::size_t Evaluator::ListCount(const Value *current, PathSource &path) {
    const Accessor::Kind firstKind = path.Kind(0);
    if (!current || IsEmptyDouble(*current)) {
        // A variable yet to be made, or [], which a cell or a struct
        // replaces: c{I} and s(I).name name the places of I in an empty
        // one; s.name names one struct.
        if (firstKind == Accessor::Kind::Field) return 1;
        const Array positions = Positions({0, 0});
        return Count(Named(positions, path.Take(0, positions)));
    }
    if (firstKind == Accessor::Kind::Field)
        return current->IsStruct() ? Count(current->structure().dims) : 1;
    if (firstKind == Accessor::Kind::Brace && !current->IsCell()) return 1;
    if (firstKind == Accessor::Kind::Paren && !current->IsStruct()) return 1;
    const Dims dims = current->Dimensions();
    const Array positions = Positions(dims);
    const SubscriptList subs = path.Take(0, positions);
    // Cells: the places the subscripts name, also beyond the cell (which
    // then grows).
    if (firstKind == Accessor::Kind::Brace) return Count(Named(positions, subs));
    // Structs: the elements named, also beyond the array (which then
    // grows).
    return Count(Named(positions, subs));
}

void Evaluator::AssignList(const Target &t, std::vector<Value> values) {
    TargetPath path(*this, t);
    Value &slot = Var(t.slot);
    Value result = ListAssigned(slot.IsUnset() ? nullptr : &slot, path, std::move(values));
    Var(t.slot) = std::move(result);
}

Value Evaluator::ListAssigned(const Value *current, PathSource &path, std::vector<Value> values) {
    const Value unset = Value::Unset();
    const Value &slot = current ? *current : unset;
    const Accessor::Kind firstKind = path.Kind(0);
    if (firstKind == Accessor::Kind::Brace) {
        const CellArray none;
        const CellArray &cell = slot.IsUnset() || IsEmptyDouble(slot) ? none : slot.cell();
        const Array positions = Positions(cell.dims);
        const SubscriptList subs = path.Take(0, positions);
        CellArray part;
        part.dims = Named(positions, subs);
        part.items = std::move(values);
        return Value(StoreCells(cell, subs, &part));
    }
    StructArray record;
    if (slot.IsUnset() || IsEmptyDouble(slot))
        record.dims = {0, 0};
    else
        record = slot.structure();
    std::vector<std::size_t> taken;
    if (firstKind == Accessor::Kind::Paren) {
        const Array positions = Positions(record.dims);
        const SubscriptList subs = path.Take(0, positions);
        const Dims named = Named(positions, subs);
        std::vector<std::size_t> from;
        const Dims grown = Store(record.dims, subs, &named, from);
        // The places written, in the order of the values: from[k] is n + 1
        // + j where value j goes.
        const std::size_t n = Count(record.dims);
        if (grown != record.dims) record = GrowStructs(record, grown);
        taken.assign(Count(named), 0);
        for (std::size_t k = 0; k < from.size(); ++k)
            if (from[k] > n) taken[from[k] - n - 1] = k;
    } else {
        for (std::size_t k = 0; k < Count(record.dims); ++k) taken.push_back(k);
    }
    const std::size_t field = record.AddField(path.Field(path.Size() - 1));
    for (std::size_t k = 0; k < taken.size(); ++k) record.At(taken[k], field) = std::move(values[k]);
    return Value(std::move(record));
}

void Evaluator::AssignTarget(const Stmt &s, const Target &t, Value value, bool deletion) {
    if (t.name.empty()) return;  // ~
    if (!deletion && WriteElement(t, value)) {
        if (s.show) Show(m_display, t.name, Var(t.slot), m_displayState);
        return;
    }
    Value result;
    if (t.path.empty()) {
        result = std::move(value);
    } else {
        // Assign through a copy so that a failed assignment changes nothing.
        const Value *found = Lookup(t.slot);
        const std::optional<Value> current =
            found ? std::optional<Value>(*found) : std::optional<Value>();
        TargetPath path(*this, t);
        result = AssignPath(current ? &*current : nullptr, path, 0, value, deletion);
    }
    Value &slot = Var(t.slot);
    slot = std::move(result);
    if (s.show) Show(m_display, t.name, slot, m_displayState);
}

Value Evaluator::AssignPath(const Value *current, PathSource &t, std::size_t k, const Value &rhs,
                            bool deletion) {
    const bool last = k + 1 == t.Size();
    switch (t.Kind(k)) {
        case Accessor::Kind::Paren: {
            if (!last && t.Kind(k + 1) == Accessor::Kind::Field &&
                (!current || current->IsStruct() || EmptyDouble(*current)))
                return AssignElement(current, t, k, rhs, deletion);
            if (!last) throw Error("Only the last subscript of an assignment may use ()");
            // x = []; x(2) = {1} makes x a cell, as a new name would be.
            if (rhs.IsCell() && (!current || (current->tag() == Tag::Array &&
                                              current->array().IsEmpty() &&
                                              IsDouble(current->array())))) {
                const Value empty{CellArray{}};
                return AssignPath(&empty, t, k, rhs, deletion);
            }
            if (current && current->IsStruct() && (deletion || rhs.IsStruct())) {
                // s(I) = t (a struct whose fields are s's) or s(I) = [].
                const StructArray &base = current->structure();
                SubscriptList subs = t.Take(k, Positions(base.dims));
                return Value(StoreStructs(base, subs, deletion ? nullptr : &rhs.structure()));
            }
            if ((current && current->tag() == Tag::String) ||
                (rhs.tag() == Tag::String && (!current || EmptyDouble(*current)))) {
                // Stored as cells of strings; the right side converts as
                // string() converts it, and new elements in a gap are "".
                const StringArray base = current && current->tag() == Tag::String
                                             ? current->strings()
                                             : StringArray{{0, 0}, {}};
                const CellArray cell = StringCells(base);
                SubscriptList subs = t.Take(k, Positions(cell.dims));
                if (deletion) return Value(CellStrings(StoreCells(cell, subs, nullptr)));
                const CellArray items = StringCells(ToStrings(rhs, "subsasgn"));
                return Value(CellStrings(StoreCells(cell, subs, &items)));
            }
            if (current && current->IsCell()) {
                const CellArray &cell = current->cell();
                SubscriptList subs = t.Take(k, Positions(cell.dims));
                if (deletion) return Value(StoreCells(cell, subs, nullptr));
                if (!rhs.IsCell())
                    throw Error(std::string("Conversion to cell from ") + rhs.ClassName() +
                                " is not possible.");
                return Value(StoreCells(cell, subs, &rhs.cell()));
            }
            Array target = current ? current->array() : Array();
            SubscriptList subs = t.Take(k, target);
            if (deletion)
                IndexErase(target, subs);
            else
                IndexWrite(target, subs, rhs.array());
            return target;
        }
        case Accessor::Kind::Brace: {
            Value holder{CellArray{}};
            if (current && current->IsCell()) {
                holder = *current;
            } else if (current && !(current->tag() == Tag::Array && current->array().IsEmpty() &&
                                    IsDouble(current->array()))) {
                // x = []; x{2} = 1 makes x a cell, as a new name would be.
                throw Error("Brace indexing is only for cell arrays");
            }
            const CellArray &cell = holder.cell();
            SubscriptList subs = t.Take(k, Positions(cell.dims));
            Value inner;
            if (last) {
                inner = rhs;
            } else {
                // The slot as it is, when it exists, for the steps after it.
                const Value *existing = nullptr;
                try {
                    std::vector<std::size_t> taken;
                    Select(cell.dims, subs, taken);
                    if (taken.size() == 1) existing = &cell.items[taken[0]];
                } catch (const km::IMatrixException &) {}
                inner = AssignPath(existing, t, k + 1, rhs, deletion);
            }
            CellArray one;
            one.dims = {1, 1};
            one.items.push_back(std::move(inner));
            return Value(StoreCells(cell, subs, &one));
        }
        case Accessor::Kind::Field: {
            const std::string name = t.Field(k);
            StructArray record;
            // s = []; s.a = 1 makes s a struct, as a new name would be.
            if (current && !EmptyDouble(*current)) {
                if (!current->IsStruct()) throw Error("Fields can only be set on a struct");
                record = current->structure();
                if (Count(record.dims) != 1)
                    throw Error("Fields of a struct array are set one element at a time");
            }
            const int found = record.Field(name);
            const Value *field = found >= 0 ? &record.At(0, static_cast<std::size_t>(found)) : nullptr;
            Value inner = last ? rhs : AssignPath(field, t, k + 1, rhs, deletion);
            record.At(0, record.AddField(name)) = std::move(inner);
            return Value(std::move(record));
        }
    }
    throw Error("Unknown assignment");
}

const StructArray &Evaluator::FieldOf(const Value &base, const Expr &e, std::size_t &field) {
    return FieldOf(base, e.args.size() > 1 ? FieldNameOf(Evaluate(*e.args[1])) : e.text, field);
}

const StructArray &Evaluator::FieldOf(const Value &base, const std::string &name,
                                      std::size_t &field) {
    if (!base.IsStruct())
        throw Error("Dot indexing is not supported for variables of this type.");
    const StructArray &record = base.structure();
    const int k = record.Field(name);
    if (k < 0) throw Error("Unrecognized field name \"" + name + "\".");
    field = static_cast<std::size_t>(k);
    return record;
}

std::string Evaluator::FieldName(const Accessor &acc) {
    if (acc.subscripts.empty()) return acc.field;
    return FieldNameOf(Evaluate(*acc.subscripts[0]));
}

std::string Evaluator::FieldNameOf(const Value &v) {
    std::string name;
    if (!WordOf(v, name)) throw Error("Dynamic field names must be text");
    if (name.empty()) throw Error("Dynamic field names must not be empty");
    return name;
}

Value Evaluator::AssignElement(const Value *current, PathSource &t, std::size_t k,
                               const Value &rhs, bool deletion) {
    // s(I).rest = rhs: element I of a struct array (grown when I is beyond
    // it) gets rest assigned.
    StructArray base;
    base.dims = {0, 0};
    if (current && current->IsStruct()) base = current->structure();
    SubscriptList subs = t.Take(k, Positions(base.dims));
    std::optional<Value> element;
    try {
        std::vector<std::size_t> taken;
        Select(base.dims, subs, taken);
        if (taken.size() != 1) throw Error("Only one struct element can be assigned at a time");
        StructArray one;
        one.fields = base.fields;
        for (std::size_t f = 0; f < base.fields.size(); ++f) one.values.push_back(base.At(taken[0], f));
        element.emplace(std::move(one));
    } catch (const km::IMatrixException &) {
        // Beyond the array: a new element.
    }
    const Value inner = AssignPath(element ? &*element : nullptr, t, k + 1, rhs, deletion);
    const StructArray &part = inner.structure();
    StructArray out;
    out.fields = base.fields;
    for (const std::string &f : part.fields)
        if (out.Field(f) < 0) out.fields.push_back(f);
    const Dims one{1, 1};
    std::vector<std::size_t> from;
    out.dims = Store(base.dims, subs, &one, from);
    const std::size_t n = Count(base.dims);
    out.values.reserve(from.size() * out.fields.size());
    for (std::size_t p : from) {
        for (const std::string &f : out.fields) {
            if (p == 0) {
                out.values.emplace_back();
            } else if (p <= n) {
                const int i = base.Field(f);
                out.values.push_back(i >= 0 ? base.At(p - 1, static_cast<std::size_t>(i)) : Value());
            } else {
                const int i = part.Field(f);
                out.values.push_back(i >= 0 ? part.At(0, static_cast<std::size_t>(i)) : Value());
            }
        }
    }
    return Value(std::move(out));
}

}  // namespace mtrx
