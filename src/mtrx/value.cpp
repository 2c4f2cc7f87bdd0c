// src/mtrx/value.cpp: the tagged value: its payloads, copy on write, and the
// conversion of cells to and from the library's cell arrays.
#include "value.h"

#include "error.h"

#include <matrix/mx.h>

namespace mtrx {

namespace km = kiv::matrix;

std::size_t Count(const Dims &dims) {
    std::size_t n = 1;
    for (unsigned int d : dims) n *= d;
    return n;
}

std::string DimsText(const Dims &dims) {
    std::string out;
    for (std::size_t k = 0; k < dims.size(); ++k)
        out += (k ? "x" : "") + std::to_string(dims[k]);
    return out;
}

Value::Value(Array a) : m_tag(Tag::Array) {
    if (!a.get()->IsCell()) {
        m_array.emplace(std::move(a));
        return;
    }
    // A cell the library made (cell(), a built-in's result): its elements
    // become values, so that the cell can hold any value from here on.
    CellArray c;
    c.dims = a.Dims();
    const unsigned int n = a.Numel();
    c.items.reserve(n);
    for (unsigned int k = 0; k < n; ++k) {
        const km::CMatrix *slot = km::mxGetCell(a.get(), k);
        c.items.push_back(slot ? Value(Array::Share(slot)) : Value());
    }
    m_tag = Tag::Cell;
    m_payload = std::make_shared<CellArray>(std::move(c));
}

Value::Value(CellArray c) : m_tag(Tag::Cell), m_payload(std::make_shared<CellArray>(std::move(c))) {}
Value::Value(StructArray s)
    : m_tag(Tag::Struct), m_payload(std::make_shared<StructArray>(std::move(s))) {}
Value::Value(StringArray s)
    : m_tag(Tag::String), m_payload(std::make_shared<StringArray>(std::move(s))) {}
Value::Value(std::shared_ptr<const Handle> h)
    : m_tag(Tag::Handle), m_payload(std::const_pointer_cast<Handle>(std::move(h))) {}

const Array &Value::array() const {
    switch (m_tag) {
        case Tag::Array:
        case Tag::Scalar:
            if (!m_array) m_tag == Tag::Scalar ? m_array.emplace(m_scalar) : m_array.emplace();
            return *m_array;
        case Tag::Cell:
            // Kept until the cell is next written (MutableCell drops it).
            if (!m_array) m_array.emplace(ToLibrary(cell()));
            return *m_array;
        case Tag::Unset:
            if (!m_array) m_array.emplace();
            return *m_array;
        default: ThrowNotArray();
    }
}

Array &Value::MutableArray() {
    if (m_tag != Tag::Scalar && m_tag != Tag::Array) ThrowNotArray();
    array();
    m_tag = Tag::Array;
    return *m_array;
}

CellArray &Value::MutableCell() {
    if (m_payload.use_count() > 1) m_payload = std::make_shared<CellArray>(cell());
    m_array.reset();
    return *static_cast<CellArray *>(m_payload.get());
}

StructArray &Value::MutableStruct() {
    if (m_payload.use_count() > 1) m_payload = std::make_shared<StructArray>(structure());
    return *static_cast<StructArray *>(m_payload.get());
}

Dims Value::Dimensions() const {
    switch (m_tag) {
        case Tag::Scalar: return {1, 1};
        case Tag::Array: return array().Dims();
        case Tag::Cell: return cell().dims;
        case Tag::Struct: return structure().dims;
        case Tag::String: return strings().dims;
        case Tag::Handle: return {1, 1};
        case Tag::Unset: break;
    }
    return {0, 0};
}

namespace {

const char *ArrayClassName(const Array &a) {
    if (a.IsLogical()) return "logical";
    switch (a.ClassID()) {
        case km::mxClassChar: return "char";
        case km::mxClassSingle: return "single";
        case km::mxClassInt8: return "int8";
        case km::mxClassUint8: return "uint8";
        case km::mxClassInt16: return "int16";
        case km::mxClassUint16: return "uint16";
        case km::mxClassInt32: return "int32";
        case km::mxClassUint32: return "uint32";
        case km::mxClassInt64: return "int64";
        case km::mxClassUint64: return "uint64";
        default: return "double";
    }
}

}  // namespace

const char *Value::ClassName() const {
    switch (m_tag) {
        case Tag::Scalar: return "double";
        case Tag::Array: return ArrayClassName(array());
        case Tag::Cell: return "cell";
        case Tag::Struct: return "struct";
        case Tag::String: return "string";
        case Tag::Handle: return "function_handle";
        case Tag::Unset: break;
    }
    return "double";
}

void Value::ThrowNotArray() const {
    if (m_tag == Tag::Cell)
        throw Error("A cell holding a struct, a string or a function_handle cannot be used as an "
                    "array here");
    throw Error(std::string("A ") + ClassName() + " cannot be used as an array here");
}

int StructArray::Field(const std::string &name) const {
    for (std::size_t k = 0; k < fields.size(); ++k)
        if (fields[k] == name) return static_cast<int>(k);
    return -1;
}

std::size_t StructArray::AddField(const std::string &name) {
    const int found = Field(name);
    if (found >= 0) return static_cast<std::size_t>(found);
    const std::size_t n = Count(dims);
    const std::size_t old = fields.size();
    fields.push_back(name);
    std::vector<Value> grown;
    grown.reserve(n * fields.size());
    for (std::size_t e = 0; e < n; ++e) {
        for (std::size_t f = 0; f < old; ++f) grown.push_back(std::move(values[e * old + f]));
        grown.emplace_back();
    }
    values = std::move(grown);
    return old;
}

Array ToLibrary(const CellArray &c) {
    Array out = Array::Adopt(
        km::mxCreateCellArray(static_cast<unsigned int>(c.dims.size()), c.dims.data()));
    for (std::size_t k = 0; k < c.items.size(); ++k) {
        Array item = c.items[k].array();
        km::mxSetCell(out.get(), static_cast<int>(k), item.release());
    }
    return out;
}

bool Displayable(const Value &v) {
    if (v.IsArray()) return true;
    if (!v.IsCell()) return false;
    for (const Value &item : v.cell().items)
        if (!Displayable(item)) return false;
    return true;
}

Value ScalarStruct(std::vector<std::pair<std::string, Value>> fields) {
    StructArray s;
    for (auto &f : fields) {
        s.fields.push_back(std::move(f.first));
        s.values.push_back(std::move(f.second));
    }
    return Value(std::move(s));
}

}  // namespace mtrx
